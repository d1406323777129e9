#pragma once

#include <compare>
#include <cstddef>
#include <memory>
#include <span>
#include <utility>
#include <vector>

#include "host/core/attribute.h"

namespace host {

struct SlotKey {
    const Attribute* attr = nullptr;
    int index = -1;  // logical index of an array element; -1 otherwise
    auto operator<=>(const SlotKey&) const = default;
};

struct Slot {
    Value value;
    bool dirty = false;
    bool propagated = false;  // this slot's dirtiness already reached its dependents
    bool locked = false;
    bool evaluating = false;
    bool reported = false;    // a failed compute was logged
};

// A node's stored plug values by key, visited in key order (by attribute, then by index:
// the whole plug, -1, before the elements). Attributes sit in one array sorted by
// address, each with its elements in a sorted array of its own: a look-up touches a few
// cache lines, and elements appended to one array never move another's. Adding a slot
// may move the other slots of its node (not those of other nodes): hold no slot across it.
class SlotTable {
public:
    using Element = std::pair<int, Slot>;

    // What iteration yields: the key and the slot it names.
    struct Entry {
        SlotKey first;
        Slot& second;
    };

    class Iterator {
    public:
        // At the first slot from the position on.
        Iterator(const SlotTable* table, std::size_t attr, std::size_t at) : table_(table), attr_(attr), at_(at) {
            settle();
        }
        Entry operator*() const;
        Iterator& operator++();
        bool operator==(const Iterator&) const = default;

    private:
        void settle();
        const SlotTable* table_;
        std::size_t attr_;
        std::size_t at_;  // position among the attribute's slots in index order
    };

    Slot* find(const SlotKey& key);
    const Slot* find(const SlotKey& key) const { return const_cast<SlotTable*>(this)->find(key); }
    // Throws std::out_of_range when the slot is missing.
    const Slot& at(const SlotKey& key) const;
    // The slot, made from `fresh` when missing.
    Slot& findOrAdd(const SlotKey& key, const Slot& fresh);
    // The attribute's elements in index order (none when it has no slot).
    std::span<const Element> elements(const Attribute* attr) const;
    // Every slot of the attribute goes.
    void eraseAttribute(const Attribute* attr);
    // Replaces the table by the whole plugs of the attributes that are no arrays, each
    // with its default value and stale when computed.
    void assignWholes(std::span<const AttributePtr> attrs);

    Iterator begin() const;
    Iterator end() const { return Iterator(this, attributes_.size(), 0); }

private:
    struct Attr {
        const Attribute* attr = nullptr;
        Slot whole;  // index -1
        bool hasWhole = false;
        // Every other index, ascending; made with the first (most attributes have none).
        std::unique_ptr<std::vector<Element>> elements;
        std::span<Element> list() const { return elements ? std::span<Element>(*elements) : std::span<Element>(); }
        std::size_t size() const { return list().size() + (hasWhole ? 1 : 0); }
        // The slot at a position in index order (a cast-down index below -1 comes first).
        std::pair<int, Slot*> slotAt(std::size_t at);
    };
    // The first attribute at or after `attr` by address.
    std::vector<Attr>::iterator lowerBound(const Attribute* attr);
    std::vector<Attr> attributes_;
};

}  // namespace host
