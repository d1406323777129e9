#include "host/api/itDag.h"

#include <deque>

#include "host/core/runtime.h"
#include "host/scene/dag.h"

using host::runtime;

MItDag::MItDag(TraversalType type, MFn::Type filter, MStatus* status) {
    const MStatus st = reset(MObject::kNullObj, type, filter);
    if (status) *status = st;
}

MStatus MItDag::reset(const MObject& root, TraversalType type, MFn::Type filter) {
    if (root.isNull()) {
        std::vector<std::vector<std::uint64_t>> starts;
        for (const auto r : host::dag::roots()) starts.push_back({r});
        build(starts, type, filter);
        return MS::kSuccess;
    }
    if (!host::dag::isDagNode(root.id())) return MStatus(MS::kInvalidParameter, "not a DAG node");
    build({host::dag::firstPathTo(root.id())}, type, filter);
    return MS::kSuccess;
}

MStatus MItDag::reset(const MDagPath& root, TraversalType type, MFn::Type filter) {
    if (!root.isValid()) return MStatus(MS::kInvalidParameter, "invalid path");
    build({root.nodes()}, type, filter);
    return MS::kSuccess;
}

void MItDag::build(const std::vector<std::vector<std::uint64_t>>& starts, TraversalType type, MFn::Type filter) {
    paths_.clear();
    at_ = 0;
    std::deque<std::vector<std::uint64_t>> todo(starts.begin(), starts.end());
    while (!todo.empty()) {
        std::vector<std::uint64_t> path = std::move(todo.front());
        todo.pop_front();
        const host::Node* n = runtime().scene.find(path.back());
        if (!n) continue;
        if (filter == MFn::kInvalid || MObject::fromNode(path.back()).hasFn(filter)) paths_.emplace_back(path);
        std::vector<std::vector<std::uint64_t>> below;
        for (const auto c : n->children) {
            auto p = path;
            p.push_back(c);
            below.push_back(std::move(p));
        }
        // Depth first: the children come next, in order; breadth first: after everything queued.
        if (type == kBreadthFirst)
            todo.insert(todo.end(), below.begin(), below.end());
        else
            todo.insert(todo.begin(), below.begin(), below.end());
    }
}

MStatus MItDag::next() {
    if (at_ < paths_.size()) ++at_;
    return MS::kSuccess;
}

MObject MItDag::currentItem(MStatus* status) const {
    if (status) *status = isDone() ? MStatus(MS::kFailure, "iterator done") : MStatus(MS::kSuccess);
    return isDone() ? MObject() : paths_[at_].node();
}

MStatus MItDag::getPath(MDagPath& path) const {
    if (isDone()) return MStatus(MS::kFailure, "iterator done");
    path = paths_[at_];
    return MS::kSuccess;
}

MString MItDag::fullPathName(MStatus* status) const {
    return isDone() ? MString() : paths_[at_].fullPathName(status);
}

MString MItDag::partialPathName(MStatus* status) const {
    return isDone() ? MString() : paths_[at_].partialPathName(status);
}

unsigned MItDag::depth(MStatus* status) const { return isDone() ? 0u : paths_[at_].length(status); }
