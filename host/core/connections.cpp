#include <algorithm>

#include "host/core/runtime.h"
#include "host/core/scene.h"

namespace host {

namespace {

using AttributeCounts = std::vector<std::pair<const Attribute*, int>>;

void count(AttributeCounts& counts, const Attribute* attr, int delta) {
    const auto it = std::ranges::find(counts, attr, &std::pair<const Attribute*, int>::first);
    if (it == counts.end()) {
        if (delta > 0) counts.emplace_back(attr, delta);
    } else if ((it->second += delta) <= 0) {
        counts.erase(it);
    }
}

bool listed(const AttributeCounts& counts, const Attribute* attr) {
    return std::ranges::find(counts, attr, &std::pair<const Attribute*, int>::first) != counts.end();
}

}  // namespace

void Scene::countConnection(const Connection& c, int delta) {
    if (Node* s = findIncludingLimbo(c.src.node)) count(s->sourceAttributes, c.src.attr->storage(), delta);
    if (Node* d = findIncludingLimbo(c.dst.node)) count(d->destinationAttributes, c.dst.attr->storage(), delta);
}

void Scene::addConnection(const Connection& c) {
    const Connection& stored = connections_.emplace(c.order, c).first->second;
    for (const std::uint64_t node : {c.src.node, c.dst.node}) {
        byNode_[node].insert(c.order);
        if (c.src.node == c.dst.node) break;
    }
    sources_.try_emplace(c.dst, c.order);
    outgoing_[SourceKey{c.src.node, c.src.attr->storage()}].emplace(c.order, &stored);
    countConnection(c, 1);
}

void Scene::removeConnection(std::uint64_t order) {
    const auto it = connections_.find(order);
    if (it == connections_.end()) return;
    const Connection& c = it->second;
    for (const std::uint64_t node : {c.src.node, c.dst.node}) {
        auto found = byNode_.find(node);
        if (found == byNode_.end()) continue;
        found->second.erase(order);
        if (found->second.empty()) byNode_.erase(found);
    }
    if (const auto source = sources_.find(c.dst); source != sources_.end() && source->second == order)
        sources_.erase(source);
    if (const auto out = outgoing_.find(SourceKey{c.src.node, c.src.attr->storage()}); out != outgoing_.end()) {
        out->second.erase(order);
        if (out->second.empty()) outgoing_.erase(out);
    }
    countConnection(c, -1);
    connections_.erase(it);
}

const Connection* Scene::sourceOf(const PlugKey& dst) const {
    if (const Node* n = findIncludingLimbo(dst.node); n && dst.attr && !listed(n->destinationAttributes, dst.attr->storage()))
        return nullptr;
    const auto it = sources_.find(dst);
    return it == sources_.end() ? nullptr : &connections_.at(it->second);
}

const Scene::Outgoing* Scene::outgoingOrders(std::uint64_t node, const Attribute* storage) const {
    if (const Node* n = findIncludingLimbo(node); n && !listed(n->sourceAttributes, storage)) return nullptr;
    const auto it = outgoing_.find(SourceKey{node, storage});
    return it == outgoing_.end() ? nullptr : &it->second;
}

bool Scene::hasConnections(std::uint64_t node) const {
    const auto orders = byNode_.find(node);
    return orders != byNode_.end() && !orders->second.empty();
}

bool Scene::feedsAnything(std::uint64_t node, const Attribute* attr) const {
    const auto* orders = attr ? outgoingOrders(node, attr->storage()) : nullptr;
    return orders && !orders->empty();
}

std::vector<Connection> Scene::connectionsFrom(const PlugKey& src) const {
    std::vector<Connection> out;
    forEachConnectionFrom(src, [&](const Connection& c) { out.push_back(c); });
    return out;
}

std::vector<Connection> Scene::connectionsOf(std::uint64_t node) const {
    std::vector<Connection> out;
    if (const auto orders = byNode_.find(node); orders != byNode_.end())
        for (const std::uint64_t o : orders->second) out.push_back(connections_.at(o));
    return out;
}

MStatus Scene::connect(const PlugKey& src, const PlugKey& dst, bool force) {
    Node* s = find(src.node);
    Node* d = find(dst.node);
    if (!s || !d || !src.attr || !dst.attr) return MStatus(MS::kInvalidParameter, "invalid plug");
    if (!src.attr->connectable || !dst.attr->connectable) return MStatus(MS::kFailure, "attribute is not connectable");
    if ((src.attr->array && src.index < 0) != (dst.attr->array && dst.index < 0) &&
        !(src.attr->isMessage() && dst.attr->isMessage()))
        return MStatus(MS::kInvalidParameter, "array and non-array plugs cannot be connected");
    if (plugLocked(dst)) return MStatus(MS::kFailure, "The destination attribute is locked.");
    if (const Connection* old = sourceOf(dst)) {
        if (old->src == src) return MStatus(MS::kFailure, "already connected");
        if (!force) return MStatus(MS::kFailure, "The destination attribute is already connected.");
        disconnect(old->src, dst);
    }
    if (dst.index >= 0) slot(*d, dst.attr.get(), dst.index, true);
    if (src.index >= 0) slot(*s, src.attr.get(), src.index, true);
    addConnection(Connection{src, dst, nextConnection_++});
    dirtyDestination(dst);
    return MS::kSuccess;
}

MStatus Scene::disconnect(const PlugKey& src, const PlugKey& dst) {
    const Connection* c = sourceOf(dst);
    if (!c || !(c->src == src)) return MStatus(MS::kFailure, "not connected");
    const std::uint64_t order = c->order;
    // The destination keeps the last value it received.
    if (find(dst.node)) read(dst);
    removeConnection(order);
    if (Node* d = find(dst.node)) {
        if (Slot* sl = slot(*d, dst.attr.get(), dst.index, false)) sl->dirty = false;
        dirtyFrom(*d, dst.attr.get(), dst.index, true);
    }
    return MS::kSuccess;
}

void Scene::breakConnections(std::uint64_t id, std::vector<Connection>* removed) {
    std::vector<Connection> mine = connectionsOf(id);
    for (const Connection& c : mine) removeConnection(c.order);
    for (const Connection& c : mine) {
        if (c.dst.node == id) continue;
        if (Node* d = find(c.dst.node)) dirtyFrom(*d, c.dst.attr.get(), c.dst.index, true);
    }
    // Several nodes may go in one deletion: each adds its connections to the record.
    if (removed) removed->insert(removed->end(), mine.begin(), mine.end());
}

}  // namespace host
