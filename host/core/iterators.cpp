#include "host/api/iterators.h"

#include <deque>
#include <set>

#include "host/core/runtime.h"

using host::runtime;

MItDependencyNodes::MItDependencyNodes(MFn::Type filter, MStatus* status) {
    const MStatus st = reset(filter);
    if (status) *status = st;
}

MStatus MItDependencyNodes::reset(MFn::Type filter) {
    ids_.clear();
    at_ = 0;
    for (const auto id : runtime().scene.nodeIds())
        if (filter == MFn::kInvalid || MObject::fromNode(id).hasFn(filter)) ids_.push_back(id);
    return MS::kSuccess;
}

void MItDependencyNodes::skipDead() {
    while (at_ < ids_.size() && !runtime().scene.find(ids_[at_])) ++at_;
}

bool MItDependencyNodes::isDone(MStatus* status) const {
    if (status) *status = MS::kSuccess;
    std::size_t i = at_;
    while (i < ids_.size() && !runtime().scene.find(ids_[i])) ++i;
    return i >= ids_.size();
}

MStatus MItDependencyNodes::next() {
    skipDead();
    if (at_ < ids_.size()) ++at_;
    return MS::kSuccess;
}

MObject MItDependencyNodes::thisNode(MStatus* status) const {
    std::size_t i = at_;
    while (i < ids_.size() && !runtime().scene.find(ids_[i])) ++i;
    if (status) *status = i < ids_.size() ? MStatus(MS::kSuccess) : MStatus(MS::kFailure, "iterator done");
    return i < ids_.size() ? MObject::fromNode(ids_[i]) : MObject();
}

MItDependencyGraph::MItDependencyGraph(const MObject& root, MFn::Type filter, Direction direction,
                                       Traversal traversal, Level, MStatus* status) {
    if (root.kind() != MObject::Kind::Node || root.isNull()) {
        if (status) *status = MStatus(MS::kInvalidParameter, "invalid root");
        return;
    }
    build(root.id(), nullptr, filter, direction, traversal);
    if (status) *status = MS::kSuccess;
}

MItDependencyGraph::MItDependencyGraph(const MPlug& root, MFn::Type filter, Direction direction,
                                       Traversal traversal, Level, MStatus* status) {
    if (root.isNull()) {
        if (status) *status = MStatus(MS::kInvalidParameter, "invalid root");
        return;
    }
    build(root.node().id(), &root, filter, direction, traversal);
    if (status) *status = MS::kSuccess;
}

void MItDependencyGraph::build(std::uint64_t root, const MPlug* rootPlug, MFn::Type filter, Direction direction,
                               Traversal traversal) {
    // Neighbours of a node in the walk's direction, in connection order.
    auto neighbours = [&](std::uint64_t node, const MPlug* onlyPlug) {
        std::vector<Item> out;
        for (const auto& c : runtime().scene.connectionsOf(node)) {
            const host::PlugKey& here = direction == kDownstream ? c.src : c.dst;
            const host::PlugKey& there = direction == kDownstream ? c.dst : c.src;
            if (here.node != node) continue;
            if (onlyPlug && !(here == host::keyOf(*onlyPlug))) continue;
            out.push_back(Item{there.node, host::makePlug(there)});
        }
        return out;
    };
    std::set<std::uint64_t> seen{root};
    items_.push_back(Item{root, rootPlug ? *rootPlug : MPlug()});
    std::deque<Item> work;
    // Depth first takes from the back: children go in reversed so the first is taken first.
    auto schedule = [&](std::vector<Item> next) {
        if (traversal == kBreadthFirst)
            for (auto& n : next) work.push_back(n);
        else
            for (auto r = next.rbegin(); r != next.rend(); ++r) work.push_back(*r);
    };
    schedule(neighbours(root, rootPlug));
    while (!work.empty()) {
        Item it = traversal == kBreadthFirst ? work.front() : work.back();
        if (traversal == kBreadthFirst)
            work.pop_front();
        else
            work.pop_back();
        if (!seen.insert(it.node).second) continue;
        items_.push_back(it);
        schedule(neighbours(it.node, nullptr));
    }
    if (filter != MFn::kInvalid)
        std::erase_if(items_, [&](const Item& i) { return !MObject::fromNode(i.node).hasFn(filter); });
}

MStatus MItDependencyGraph::next() {
    if (at_ < items_.size()) ++at_;
    return MS::kSuccess;
}

MObject MItDependencyGraph::currentItem(MStatus* status) const {
    if (status) *status = at_ < items_.size() ? MStatus(MS::kSuccess) : MStatus(MS::kFailure, "iterator done");
    return at_ < items_.size() ? MObject::fromNode(items_[at_].node) : MObject();
}

MPlug MItDependencyGraph::thisPlug(MStatus* status) const {
    if (status) *status = at_ < items_.size() ? MStatus(MS::kSuccess) : MStatus(MS::kFailure, "iterator done");
    return at_ < items_.size() ? items_[at_].plug : MPlug();
}

MStatus MItDependencyGraph::reset() {
    at_ = 0;
    return MS::kSuccess;
}
