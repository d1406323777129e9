#include "host/api/dagPath.h"

#include <algorithm>

#include "host/core/runtime.h"
#include "host/scene/dag.h"

using host::runtime;

namespace {

MStatus invalidPath() { return MStatus(MS::kInvalidParameter, "invalid DAG path"); }

template <typename T>
T answer(MStatus* status, bool ok, T value) {
    if (status) *status = ok ? MStatus(MS::kSuccess) : invalidPath();
    return value;
}

}  // namespace

MStatus MDagPath::getAPathTo(const MObject& node, MDagPath& path) {
    if (node.kind() != MObject::Kind::Node || !host::dag::isDagNode(node.id())) return invalidPath();
    path = MDagPath(host::dag::firstPathTo(node.id()));
    return MS::kSuccess;
}

MStatus MDagPath::getAllPathsTo(const MObject& node, MDagPathArray& paths) {
    paths.clear();
    if (node.kind() != MObject::Kind::Node || !host::dag::isDagNode(node.id())) return invalidPath();
    for (auto& p : host::dag::pathsTo(node.id())) paths.append(MDagPath(std::move(p)));
    return MS::kSuccess;
}

bool MDagPath::isValid(MStatus* status) const {
    if (status) *status = MS::kSuccess;
    // Every link of the way must still exist.
    for (std::size_t i = 0; i < nodes_.size(); ++i) {
        const host::Node* n = runtime().scene.find(nodes_[i]);
        if (!n) return false;
        if (i == 0 ? !n->parents.empty()
                   : std::find(n->parents.begin(), n->parents.end(), nodes_[i - 1]) == n->parents.end())
            return false;
    }
    return true;
}

MObject MDagPath::node(MStatus* status) const {
    if (nodes_.empty()) return answer(status, true, MObject());
    return answer(status, isValid(), MObject::fromNode(nodes_.back()));
}

MObject MDagPath::transform(MStatus* status) const {
    for (std::size_t i = nodes_.size(); i-- > 0;)
        if (MObject::fromNode(nodes_[i]).hasFn(MFn::kTransform)) return answer(status, true, MObject::fromNode(nodes_[i]));
    return answer(status, false, MObject());
}

MFn::Type MDagPath::apiType(MStatus* status) const {
    if (nodes_.empty()) return answer(status, true, MFn::kWorld);
    return answer(status, isValid(), MObject::fromNode(nodes_.back()).apiType());
}

bool MDagPath::hasFn(MFn::Type type, MStatus* status) const { return MFn::isA(apiType(status), type); }

unsigned MDagPath::length(MStatus* status) const { return answer(status, true, static_cast<unsigned>(nodes_.size())); }

MStatus MDagPath::push(const MObject& child) {
    const host::Node* c = child.kind() == MObject::Kind::Node ? runtime().scene.find(child.id()) : nullptr;
    if (!c) return invalidPath();
    const bool linked = nodes_.empty() ? c->parents.empty()
                                       : std::find(c->parents.begin(), c->parents.end(), nodes_.back()) != c->parents.end();
    if (!linked) return MStatus(MS::kInvalidParameter, "not a child of the path");
    nodes_.push_back(child.id());
    return MS::kSuccess;
}

MStatus MDagPath::pop(unsigned count) {
    if (count > nodes_.size()) return invalidPath();
    nodes_.resize(nodes_.size() - count);
    return MS::kSuccess;
}

unsigned MDagPath::childCount(MStatus* status) const {
    if (nodes_.empty()) return answer(status, true, static_cast<unsigned>(host::dag::roots().size()));
    const host::Node* n = runtime().scene.find(nodes_.back());
    return answer(status, n != nullptr, n ? static_cast<unsigned>(n->children.size()) : 0u);
}

MObject MDagPath::child(unsigned index, MStatus* status) const {
    std::vector<std::uint64_t> children;
    if (nodes_.empty()) {
        children = host::dag::roots();
    } else if (const host::Node* n = runtime().scene.find(nodes_.back())) {
        children = n->children;
    }
    const bool ok = index < children.size();
    return answer(status, ok, ok ? MObject::fromNode(children[index]) : MObject());
}

MStatus MDagPath::numberOfShapesDirectlyBelow(unsigned& count) const {
    count = 0;
    const host::Node* n = nodes_.empty() ? nullptr : runtime().scene.find(nodes_.back());
    if (!n) return invalidPath();
    for (const auto c : n->children)
        if (const host::Node* cn = runtime().scene.find(c); cn && host::dag::isShapeType(*cn->type)) ++count;
    return MS::kSuccess;
}

MStatus MDagPath::extendToShapeDirectlyBelow(unsigned index) {
    const host::Node* n = nodes_.empty() ? nullptr : runtime().scene.find(nodes_.back());
    if (!n) return invalidPath();
    unsigned k = 0;
    for (const auto c : n->children)
        if (const host::Node* cn = runtime().scene.find(c); cn && host::dag::isShapeType(*cn->type) && k++ == index) {
            nodes_.push_back(c);
            return MS::kSuccess;
        }
    return MStatus(MS::kInvalidParameter, "no such shape");
}

MStatus MDagPath::extendToShape() {
    const host::Node* n = nodes_.empty() ? nullptr : runtime().scene.find(nodes_.back());
    if (!n) return invalidPath();
    if (host::dag::isShapeType(*n->type)) return MS::kSuccess;
    std::vector<std::uint64_t> shapes;
    for (const auto c : n->children)
        if (const host::Node* cn = runtime().scene.find(c); cn && host::dag::isShapeType(*cn->type)) shapes.push_back(c);
    if (shapes.empty()) return MStatus(MS::kInvalidParameter, "no shape below");
    // Several shapes: the first that is not an intermediate object.
    std::uint64_t pick = shapes.front();
    for (const auto s : shapes)
        if (!host::dag::isIntermediate(s)) {
            pick = s;
            break;
        }
    if (shapes.size() > 1 && pick == shapes.front() && host::dag::isIntermediate(pick))
        return MStatus(MS::kInvalidParameter, "several shapes below");
    nodes_.push_back(pick);
    return MS::kSuccess;
}

MMatrix MDagPath::inclusiveMatrix(MStatus* status) const {
    return answer(status, isValid(), host::dag::pathMatrix(nodes_, nodes_.size()));
}

MMatrix MDagPath::exclusiveMatrix(MStatus* status) const {
    return answer(status, isValid(), host::dag::pathMatrix(nodes_, nodes_.empty() ? 0 : nodes_.size() - 1));
}

unsigned MDagPath::instanceNumber(MStatus* status) const {
    if (nodes_.empty()) return answer(status, true, 0u);
    const auto all = host::dag::pathsTo(nodes_.back());
    const auto it = std::find(all.begin(), all.end(), nodes_);
    return answer(status, it != all.end(), it == all.end() ? 0u : static_cast<unsigned>(it - all.begin()));
}

bool MDagPath::isInstanced(MStatus* status) const {
    if (status) *status = MS::kSuccess;
    for (const auto id : nodes_)
        if (const host::Node* n = runtime().scene.find(id); n && n->parents.size() > 1) return true;
    return false;
}

bool MDagPath::isVisible(MStatus* status) const { return answer(status, isValid(), !host::dag::hidden(nodes_)); }

MString MDagPath::fullPathName(MStatus* status) const {
    std::string s;
    for (const auto id : nodes_)
        if (const host::Node* n = runtime().scene.find(id)) s += "|" + n->name;
    return answer(status, isValid(), MString(s));
}

MString MDagPath::partialPathName(MStatus* status) const {
    // Names are unique, so the node's own name is the shortest unique path.
    const host::Node* n = nodes_.empty() ? nullptr : runtime().scene.find(nodes_.back());
    return answer(status, n != nullptr, n ? MString(n->name) : MString());
}
