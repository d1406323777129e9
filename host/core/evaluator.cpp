#include <algorithm>
#include <iterator>
#include <limits>

#include "host/api/dataBlock.h"
#include "host/api/pxNode.h"
#include "host/core/runtime.h"
#include "host/core/scene.h"

namespace host {

namespace {

std::string plugName(const Node& node, const Attribute* attr, int index) {
    std::string s = node.name + "." + attr->longName;
    if (index >= 0) s.append("[").append(std::to_string(index)).append("]");
    return s;
}

Value component(const Value& v, const Attribute* attr) {
    if (attr->storage() == attr) return v;  // its own slot (children of generic compounds too)
    if (auto p = std::get_if<Vec3>(&v)) return (*p)[attr->childIndex];
    return 0.0;
}

}  // namespace

Slot* Scene::slot(Node& node, const Attribute* attr, int index, bool create) {
    const Attribute* st = attr->storage();
    if (Slot* s = node.slots.find(SlotKey{st, index})) return s;
    if (!create) return nullptr;
    return &node.slots.findOrAdd(SlotKey{st, index}, Slot{st->defaultValue, st->affected});
}

std::vector<int> Scene::elementIndices(const Node& node, const Attribute* attr) const {
    std::vector<int> out;
    const Attribute* st = attr->storage();
    for (const auto& [index, s] : node.slots.elements(st))
        if (index >= 0) out.push_back(index);
    return out;
}

int Scene::lastElementIndex(const Node& node, const Attribute* attr) const {
    const auto elements = node.slots.elements(attr->storage());
    return !elements.empty() && elements.back().first >= 0 ? elements.back().first : -1;
}

bool Scene::plugLocked(const PlugKey& plug) const {
    Node* node = find(plug.node);
    if (!node || !plug.attr) return false;
    const Attribute* st = plug.attr->storage();
    if (const Slot* s = node->slots.find(SlotKey{st, plug.index}); s && s->locked) return true;
    if (plug.index >= 0) {
        const Slot* whole = node->slots.find(SlotKey{st, -1});
        return whole && whole->locked;
    }
    return false;
}

void Scene::setPlugLocked(const PlugKey& plug, bool locked) {
    if (Node* node = find(plug.node))
        if (Slot* s = slot(*node, plug.attr.get(), plug.index, true)) s->locked = locked;
}

Value Scene::read(const PlugKey& plug, MStatus* status) {
    Node* node = find(plug.node);
    if (!node || !plug.attr) {
        if (status) *status = MStatus(MS::kInvalidParameter, "invalid plug");
        return {};
    }
    if (status) *status = MS::kSuccess;
    const Attribute* attr = plug.attr.get();
    const Attribute* st = attr->storage();
    const std::uint64_t id = node->id;
    Slot* s = slot(*node, attr, plug.index, true);
    s->propagated = false;
    if (!s->dirty) return component(s->value, attr);
    if (s->evaluating) {
        runtime().log.add(LogKind::Warning, "Cycle on '" + plugName(*node, st, plug.index) +
                                                "' may not evaluate as expected.");
        return component(s->value, attr);
    }

    // A compound fed child by child: pull every fed child, then the whole is clean.
    if (!st->children.empty() && !sourceOf(PlugKey{id, attributePtr(*node, st), plug.index})) {
        std::vector<Connection> feeds;
        for (const auto& child : st->children)
            if (const Connection* f = sourceOf(PlugKey{id, child, plug.index})) feeds.push_back(*f);
        if (!feeds.empty()) {
            s->evaluating = true;
            for (const Connection& f : feeds) {
                const Value v = read(f.src);
                if (!(node = find(id))) return {};
                s = slot(*node, st, plug.index, true);
                Vec3 vec = std::holds_alternative<Vec3>(s->value) ? std::get<Vec3>(s->value) : Vec3{};
                vec[f.dst.attr->childIndex] = valueAsDouble(v);
                s->value = vec;
            }
            s->evaluating = false;
            s->dirty = false;
            return component(s->value, attr);
        }
    }

    const Connection* c = sourceOf(plug);
    if (!c && attr != st) c = sourceOf(PlugKey{plug.node, attributePtr(*node, st), plug.index});
    if (c) {
        const PlugKey src = c->src;
        const PlugKey dst = c->dst;
        s->evaluating = true;
        Value v = read(src);
        if (!(node = find(id))) return v;
        s = slot(*node, attr, plug.index, true);
        s->evaluating = false;
        if (!dst.attr->isMessage()) {
            if (dst.attr.get() != dst.attr->storage()) {
                Slot* whole = slot(*node, dst.attr.get(), dst.index, true);
                Vec3 vec = std::holds_alternative<Vec3>(whole->value) ? std::get<Vec3>(whole->value) : Vec3{};
                vec[dst.attr->childIndex] = valueAsDouble(v);
                whole->value = vec;
            } else {
                s->value = std::move(v);
            }
        }
        s->dirty = false;
        return component(s->value, attr);
    }

    if (st->affected && node->user) {
        s->evaluating = true;
        MPlug p = makePlug(PlugKey{id, attributePtr(*node, st), plug.index});
        MDataBlock block(id);
        const MStatus r = node->user->compute(p, block);
        if (!(node = find(id))) return {};
        s = slot(*node, attr, plug.index, true);
        s->evaluating = false;
        if (r.statusCode() == MS::kUnknownParameter) {
            s->dirty = false;  // not the node's plug: the stored value stands
        } else if (r.error()) {
            if (!s->reported)
                runtime().log.add(LogKind::Error, "Compute of '" + plugName(*node, st, plug.index) +
                                                      "' failed: " + r.errorString().str());
            s->reported = true;
            if (status) *status = r;
        }
        return component(s->value, attr);
    }
    s->dirty = false;
    return component(s->value, attr);
}

MStatus Scene::write(const PlugKey& plug, Value value) {
    Node* node = find(plug.node);
    if (!node || !plug.attr) return MStatus(MS::kInvalidParameter, "invalid plug");
    if (plugLocked(plug))
        return MStatus(MS::kFailure, "The attribute '" + plugName(*node, plug.attr.get(), plug.index) + "' is locked.");
    const Attribute* attr = plug.attr.get();
    // A plug fed by a connection goes on following its source: an out-of-date source is
    // brought up to date first, so that its next change reaches this plug again.
    const Connection* feed = sourceOf(plug);
    if (!feed && attr != attr->storage())
        feed = sourceOf(PlugKey{plug.node, attributePtr(*node, attr->storage()), plug.index});
    if (feed && !readingFile) {
        const PlugKey src = feed->src;
        if (const Node* from = find(src.node)) {
            const Slot* s = from->slots.find(SlotKey{src.attr->storage(), src.index});
            if (s && s->dirty && !s->evaluating) read(src);
        }
        if (!(node = find(plug.node))) return MStatus(MS::kInvalidParameter, "invalid plug");
    }
    if ((attr->minValue || attr->maxValue) &&
        (std::holds_alternative<double>(value) || std::holds_alternative<int>(value))) {
        const double c = attr->clamp(valueAsDouble(value));
        if (std::holds_alternative<int>(value))
            value = static_cast<int>(c);
        else
            value = c;
    }
    Slot* s = slot(*node, attr, plug.index, true);
    if (attr != attr->storage()) {
        Vec3 vec = std::holds_alternative<Vec3>(s->value) ? std::get<Vec3>(s->value) : Vec3{};
        vec[attr->childIndex] = valueAsDouble(value);
        s->value = vec;
    } else {
        s->value = std::move(value);
    }
    if (!s->evaluating) s->dirty = false;
    s->propagated = false;
    s->reported = false;
    if (node->user && !readingFile) {
        MDGContext ctx;
        const std::uint64_t id = node->id;
        node->user->setInternalValueInContext(makePlug(plug), MDataHandle(id, attr, plug.index), ctx);
        if (!(node = find(id))) return MS::kSuccess;
    }
    dirtyFrom(*node, attr, plug.index, true);
    return MS::kSuccess;
}

void Scene::store(Node& node, const Attribute* attr, int index, Value value) {
    Slot* s = slot(node, attr, index, true);
    if (attr != attr->storage()) {
        Vec3 vec = std::holds_alternative<Vec3>(s->value) ? std::get<Vec3>(s->value) : Vec3{};
        vec[attr->childIndex] = valueAsDouble(value);
        s->value = vec;
    } else {
        s->value = std::move(value);
    }
}

void Scene::markClean(Node& node, const Attribute* attr, int index) {
    if (Slot* s = slot(node, attr, index, true)) s->dirty = false;
}

void Scene::dirtyFrom(Node& node, const Attribute* attr, int index, bool callHook) {
    const std::uint64_t id = node.id;
    const Attribute* st = attr->storage();
    if (callHook && node.user) {
        MPlugArray extra;
        node.user->setDependentsDirty(makePlug(PlugKey{id, attributePtr(node, attr), index}), extra);
        for (const MPlug& p : extra) {
            const PlugKey k = keyOf(p);
            if (Node* n = find(k.node)) dirtySlot(*n, k.attr.get(), k.index);
        }
    }
    Node* n = find(id);
    if (!n) return;
    // What the attribute, its own part (a child) and its children affect, in that order;
    // the lists are the types' own, read by index.
    const auto dirtyAll = [&](const std::vector<Attribute*>& deps) {
        for (std::size_t d = 0; d < deps.size(); ++d) {
            const Attribute* dep = deps[d];
            if (dep->storage()->array) {
                dirtyElements(id, dep);
                if (!(n = find(id))) return;
                if (slot(*n, dep, -1, false)) dirtySlot(*n, dep, -1);
            } else {
                dirtySlot(*n, dep, -1);
            }
        }
    };
    dirtyAll(st->affects);
    if (attr != st) dirtyAll(attr->affects);
    for (std::size_t c = 0; c < st->children.size(); ++c) dirtyAll(st->children[c]->affects);
    std::vector<PlugKey> targets;
    if (const auto* orders = outgoingOrders(id, st))
        for (const auto& [order, c] : *orders)
            if (c->src.index == index || index < 0 || c->src.index < 0) targets.push_back(c->dst);
    for (const PlugKey& t : targets) {
        Node* d = find(t.node);
        if (!d) continue;
        const Slot* s = slot(*d, t.attr.get(), t.index, true);
        if (!(s->dirty && s->propagated)) dirtyDestination(t);
    }
}

void Scene::dirtyPlug(const PlugKey& plug) {
    if (Node* n = find(plug.node)) dirtySlot(*n, plug.attr.get(), plug.index);
}

void Scene::dirtyElements(std::uint64_t id, const Attribute* attr) {
    const Attribute* st = attr->storage();
    for (int from = 0;;) {
        Node* n = find(id);
        if (!n) return;
        const auto elements = n->slots.elements(st);
        const auto it = std::ranges::lower_bound(elements, from, {}, &SlotTable::Element::first);
        if (it == elements.end()) return;
        const int index = it->first;
        dirtySlot(*n, attr, index);
        if (index == std::numeric_limits<int>::max()) return;
        from = index + 1;
    }
}

void Scene::dirtyDestination(const PlugKey& dst) {
    Node* d = find(dst.node);
    if (!d) return;
    Slot* s = slot(*d, dst.attr.get(), dst.index, true);
    if (s->evaluating) return;
    s->dirty = true;
    s->propagated = true;
    dirtyFrom(*d, dst.attr.get(), dst.index, true);
}

void Scene::dirtySlot(Node& node, const Attribute* attr, int index) {
    Slot* s = slot(node, attr, index, true);
    if (s->evaluating || (s->dirty && s->propagated)) return;
    s->dirty = true;
    s->propagated = true;
    dirtyFrom(node, attr, index, false);
}

}  // namespace host
