#include <algorithm>

#include "host/core/runtime.h"
#include "host/core/scene.h"

namespace host {

void Scene::addConnection(const Connection& c) {
    connections_.emplace(c.order, c);
    for (const std::uint64_t node : {c.src.node, c.dst.node}) {
        auto& orders = byNode_[node];
        orders.insert(std::upper_bound(orders.begin(), orders.end(), c.order), c.order);
        if (c.src.node == c.dst.node) break;
    }
}

void Scene::removeConnection(std::uint64_t order) {
    const auto it = connections_.find(order);
    if (it == connections_.end()) return;
    for (const std::uint64_t node : {it->second.src.node, it->second.dst.node}) {
        auto found = byNode_.find(node);
        if (found == byNode_.end()) continue;
        std::erase(found->second, order);
        if (found->second.empty()) byNode_.erase(found);
    }
    connections_.erase(it);
}

const Connection* Scene::sourceOf(const PlugKey& dst) const {
    const auto orders = byNode_.find(dst.node);
    if (orders == byNode_.end()) return nullptr;
    for (const std::uint64_t o : orders->second) {
        const Connection& c = connections_.at(o);
        if (c.dst == dst) return &c;
    }
    return nullptr;
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
