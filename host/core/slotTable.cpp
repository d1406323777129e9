#include "host/core/slotTable.h"

#include <algorithm>
#include <functional>
#include <stdexcept>

namespace host {

namespace {

bool elementBefore(const SlotTable::Element& e, int index) { return e.first < index; }

}  // namespace

std::vector<SlotTable::Attr>::iterator SlotTable::lowerBound(const Attribute* attr) {
    return std::lower_bound(attributes_.begin(), attributes_.end(), attr, [](const Attr& a, const Attribute* b) {
        return std::less<const Attribute*>{}(a.attr, b);
    });
}

Slot* SlotTable::find(const SlotKey& key) {
    const auto a = lowerBound(key.attr);
    if (a == attributes_.end() || a->attr != key.attr) return nullptr;
    if (key.index == -1) return a->hasWhole ? &a->whole : nullptr;
    const auto elements = a->list();
    const auto e = std::lower_bound(elements.begin(), elements.end(), key.index, elementBefore);
    return e != elements.end() && e->first == key.index ? &e->second : nullptr;
}

const Slot& SlotTable::at(const SlotKey& key) const {
    if (const Slot* s = find(key)) return *s;
    throw std::out_of_range("no such slot");
}

Slot& SlotTable::findOrAdd(const SlotKey& key, const Slot& fresh) {
    auto a = lowerBound(key.attr);
    if (a == attributes_.end() || a->attr != key.attr) {
        a = attributes_.insert(a, Attr{});
        a->attr = key.attr;
    }
    if (key.index == -1) {
        if (!a->hasWhole) {
            a->whole = fresh;
            a->hasWhole = true;
        }
        return a->whole;
    }
    if (!a->elements) a->elements = std::make_unique<std::vector<Element>>();
    auto& elements = *a->elements;
    // Elements mostly come in index order: try the end first.
    if (elements.empty() || elements.back().first < key.index) return elements.emplace_back(key.index, fresh).second;
    const auto e = std::lower_bound(elements.begin(), elements.end(), key.index, elementBefore);
    if (e != elements.end() && e->first == key.index) return e->second;
    return elements.emplace(e, key.index, fresh)->second;
}

std::span<const SlotTable::Element> SlotTable::elements(const Attribute* attr) const {
    const auto a = const_cast<SlotTable*>(this)->lowerBound(attr);
    if (a == attributes_.end() || a->attr != attr) return {};
    return a->list();
}

void SlotTable::eraseAttribute(const Attribute* attr) {
    if (const auto a = lowerBound(attr); a != attributes_.end() && a->attr == attr) attributes_.erase(a);
}

void SlotTable::assignWholes(std::span<const AttributePtr> attrs) {
    attributes_.clear();
    attributes_.reserve(attrs.size());
    for (const auto& a : attrs) {
        if (a->array) continue;  // elements appear on demand
        Attr& made = attributes_.emplace_back();
        made.attr = a.get();
        made.whole = Slot{a->defaultValue, a->affected};
        made.hasWhole = true;
    }
    std::sort(attributes_.begin(), attributes_.end(),
              [](const Attr& a, const Attr& b) { return std::less<const Attribute*>{}(a.attr, b.attr); });
    // An attribute listed twice keeps one slot.
    attributes_.erase(std::unique(attributes_.begin(), attributes_.end(),
                                  [](const Attr& a, const Attr& b) { return a.attr == b.attr; }),
                      attributes_.end());
}

SlotTable::Iterator SlotTable::begin() const { return Iterator(this, 0, 0); }

std::pair<int, Slot*> SlotTable::Attr::slotAt(std::size_t at) {
    const auto elements = list();
    if (hasWhole) {
        const auto below = static_cast<std::size_t>(
            std::lower_bound(elements.begin(), elements.end(), -1, elementBefore) - elements.begin());
        if (at == below) return {-1, &whole};
        if (at > below) --at;
    }
    return {elements[at].first, &elements[at].second};
}

SlotTable::Entry SlotTable::Iterator::operator*() const {
    auto& a = const_cast<Attr&>(table_->attributes_[attr_]);
    const auto [index, slot] = a.slotAt(at_);
    return Entry{SlotKey{a.attr, index}, *slot};
}

SlotTable::Iterator& SlotTable::Iterator::operator++() {
    ++at_;
    settle();
    return *this;
}

// Moves on to the next slot that exists, from the current position on.
void SlotTable::Iterator::settle() {
    const auto& attrs = table_->attributes_;
    while (attr_ < attrs.size() && at_ >= attrs[attr_].size()) {
        ++attr_;
        at_ = 0;
    }
    if (attr_ >= attrs.size()) at_ = 0;  // equal to end()
}

}  // namespace host
