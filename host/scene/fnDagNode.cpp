#include "host/api/fnDagNode.h"

#include <algorithm>

#include "host/core/runtime.h"
#include "host/scene/dag.h"
#include "host/scene/duplicate.h"
#include "host/scene/geometryBox.h"

using host::runtime;

namespace {

const host::Node* dagNode(const MObject& o) {
    return o.kind() == MObject::Kind::Node && host::dag::isDagNode(o.id()) ? runtime().scene.find(o.id()) : nullptr;
}

MStatus notDag() { return MStatus(MS::kInvalidParameter, "not a DAG node"); }

template <typename T>
T answer(MStatus* status, bool ok, T value) {
    if (status) *status = ok ? MStatus(MS::kSuccess) : notDag();
    return value;
}

MBoundingBox boxBelow(std::uint64_t id) {
    MBoundingBox box = host::geometryBoundingBox(id);
    if (const host::Node* n = runtime().scene.find(id))
        for (const auto c : n->children) {
            MBoundingBox child = boxBelow(c);
            if (child.isEmpty()) continue;
            box.expand(child.transformUsing(host::dag::localMatrix(c)));
        }
    return box;
}

}  // namespace

MFnDagNode::MFnDagNode(const MObject& node, MStatus* status) {
    const MStatus st = setObject(node);
    if (status) *status = st;
}

MFnDagNode::MFnDagNode(const MDagPath& path, MStatus* status) {
    const MStatus st = setObject(path);
    if (status) *status = st;
}

MStatus MFnDagNode::setObject(const MObject& node) {
    if (!dagNode(node)) return notDag();
    path_ = MDagPath(host::dag::firstPathTo(node.id()));
    return MFnDependencyNode::setObject(node);
}

MStatus MFnDagNode::setObject(const MDagPath& path) {
    if (!path.isValid() || path.length() == 0) return MStatus(MS::kInvalidParameter, "invalid DAG path");
    path_ = path;
    return MFnDependencyNode::setObject(path.node());
}

MObject MFnDagNode::create(const MString& type, const MObject& parent, MStatus* status) {
    return create(type, MString(), parent, status);
}

MObject MFnDagNode::create(const MString& type, const MString& name, const MObject& parent, MStatus* status) {
    host::NodeType* t = runtime().registry.findType(type.str());
    if (!t) return answer(status, false, MObject());
    MStatus st;
    const auto made = host::dag::createNode(*t, name.str(), parent.isNull() ? 0 : parent.id(), false, &st);
    if (status) *status = st;
    if (made.empty()) return {};
    setObject(MObject::fromNode(made.back()));
    return MObject::fromNode(made.front());
}

unsigned MFnDagNode::parentCount(MStatus* status) const {
    const host::Node* n = dagNode(object());
    return answer(status, n != nullptr, n ? static_cast<unsigned>(n->parents.size()) : 0u);
}

MObject MFnDagNode::parent(unsigned index, MStatus* status) const {
    const host::Node* n = dagNode(object());
    const bool ok = n && index < n->parents.size();
    return answer(status, ok, ok ? MObject::fromNode(n->parents[index]) : MObject());
}

unsigned MFnDagNode::childCount(MStatus* status) const {
    const host::Node* n = dagNode(object());
    return answer(status, n != nullptr, n ? static_cast<unsigned>(n->children.size()) : 0u);
}

MObject MFnDagNode::child(unsigned index, MStatus* status) const {
    const host::Node* n = dagNode(object());
    const bool ok = n && index < n->children.size();
    return answer(status, ok, ok ? MObject::fromNode(n->children[index]) : MObject());
}

MStatus MFnDagNode::addChild(MObject& child, unsigned, bool keepExistingParents) {
    const host::Node* n = dagNode(object());
    const host::Node* c = dagNode(child);
    if (!n || !c) return notDag();
    if (!keepExistingParents) {
        const std::vector<std::uint64_t> parents = c->parents;
        for (const auto p : parents) host::dag::removeChild(p, child.id());
    }
    return host::dag::addChild(object().id(), child.id());
}

MStatus MFnDagNode::removeChild(MObject& child) {
    if (!dagNode(object()) || !dagNode(child)) return notDag();
    return host::dag::removeChild(object().id(), child.id());
}

bool MFnDagNode::hasChild(const MObject& node) const {
    const host::Node* n = dagNode(object());
    return n && std::find(n->children.begin(), n->children.end(), node.id()) != n->children.end();
}

bool MFnDagNode::isChildOf(const MObject& node) const {
    const host::Node* n = dagNode(object());
    return n && std::find(n->parents.begin(), n->parents.end(), node.id()) != n->parents.end();
}

MStatus MFnDagNode::getPath(MDagPath& path) const {
    if (!path_.isValid() || path_.length() == 0) return notDag();
    path = path_;
    return MS::kSuccess;
}

MDagPath MFnDagNode::dagPath(MStatus* status) const {
    MDagPath p;
    const MStatus st = getPath(p);
    if (status) *status = st;
    return p;
}

MString MFnDagNode::fullPathName(MStatus* status) const { return path_.fullPathName(status); }
MString MFnDagNode::partialPathName(MStatus* status) const { return path_.partialPathName(status); }

bool MFnDagNode::isInstanced(bool indirect, MStatus* status) const {
    const host::Node* n = dagNode(object());
    if (!n) return answer(status, false, false);
    if (!indirect) return answer(status, true, n->parents.size() > 1);
    return answer(status, true, host::dag::instanceCount(object().id()) > 1);
}

unsigned MFnDagNode::instanceCount(bool total, MStatus* status) const {
    const host::Node* n = dagNode(object());
    if (!n) return answer(status, false, 0u);
    return answer(status, true, total ? host::dag::instanceCount(object().id()) : static_cast<unsigned>(std::max<std::size_t>(1, n->parents.size())));
}

MBoundingBox MFnDagNode::boundingBox(MStatus* status) const {
    const host::Node* n = dagNode(object());
    return answer(status, n != nullptr, n ? boxBelow(object().id()) : MBoundingBox());
}

MObject MFnDagNode::duplicate(bool instance, bool instanceLeaf, MStatus* status) const {
    if (instance || instanceLeaf) {
        if (status) *status = MStatus(MS::kInvalidParameter, "instanced duplicates are not supported");
        return MObject();
    }
    const std::uint64_t top = host::dag::duplicate(object().id(), status);
    return top ? MObject::fromNode(top) : MObject();
}

bool MFnDagNode::isIntermediateObject(MStatus* status) const {
    return answer(status, dagNode(object()) != nullptr, host::dag::isIntermediate(object().id()));
}

MStatus MFnDagNode::setIntermediateObject(bool intermediate) {
    MStatus st;
    MPlug p = findPlug("intermediateObject", true, &st);
    return st ? p.setValue(intermediate) : st;
}

MMatrix MFnDagNode::transformationMatrix(MStatus* status) const {
    return answer(status, dagNode(object()) != nullptr, host::dag::localMatrix(object().id()));
}
