#include "host/api/dagModifier.h"

#include <algorithm>

#include "host/core/modifierOp.h"
#include "host/core/runtime.h"
#include "host/scene/dag.h"

using host::runtime;

namespace host {
namespace {

// A node the modifier made (with its links set): hidden until doIt.
struct DagCreateOp : ModifierOp {
    explicit DagCreateOp(std::uint64_t id) : node(id) {}
    ~DagCreateOp() override { runtime().scene.destroyLimbo(node); }
    MStatus doIt() override { return runtime().scene.restoreFromLimbo(node, {}); }
    MStatus undoIt() override { return runtime().scene.sendToLimbo(node, nullptr); }
    std::uint64_t node;
};

// Keeps local values: only the links change.
struct ReparentOp : ModifierOp {
    ReparentOp(std::uint64_t n, std::uint64_t p) : node(n), parent(p) {}
    static MStatus relink(std::uint64_t id, const std::vector<std::uint64_t>& to) {
        Node* n = runtime().scene.find(id);
        if (!n) return MStatus(MS::kInvalidParameter, "no such node");
        if (n->locked) return MStatus(MS::kFailure, "Cannot reparent locked node '" + n->name + "'.");
        for (const auto p : to)
            if (p == id || dag::isAncestor(id, p)) return MStatus(MS::kInvalidParameter, "would make a cycle");
        const std::vector<std::uint64_t> from = n->parents;
        for (const auto p : from) dag::removeChild(p, id);
        for (const auto p : to) {
            const MStatus st = dag::addChild(p, id);
            if (!st) return st;
        }
        return MS::kSuccess;
    }
    MStatus doIt() override {
        const Node* n = runtime().scene.find(node);
        if (!n) return MStatus(MS::kInvalidParameter, "no such node");
        old = n->parents;
        return relink(node, parent ? std::vector<std::uint64_t>{parent} : std::vector<std::uint64_t>{});
    }
    MStatus undoIt() override { return relink(node, old); }
    std::uint64_t node, parent;
    std::vector<std::uint64_t> old;
};

}  // namespace
}  // namespace host

MObject MDagModifier::createNode(const MString& type, const MObject& parent, MStatus* status) {
    host::NodeType* t = runtime().registry.findType(type.str());
    if (!t) {
        if (status) *status = MStatus(MS::kInvalidParameter, "Unknown object type: " + type.str());
        return {};
    }
    MStatus st;
    const auto made = host::dag::createNode(*t, {}, parent.isNull() ? 0 : parent.id(), true, &st);
    if (status) *status = st;
    if (made.empty()) return {};
    host::Scene& scene = runtime().scene;
    // Pending: its plugs and function sets work before doIt, so a caller can set it up first.
    for (const auto id : made) add(std::make_unique<host::DagCreateOp>(id));
    // A new transform knows its shape already: its first child is the node asked for.
    if (made.size() == 2) scene.findIncludingLimbo(made.front())->children = {made.back()};
    return MObject::fromNode(made.front());
}

MObject MDagModifier::createNode(const MTypeId& typeId, const MObject& parent, MStatus* status) {
    host::NodeType* t = runtime().registry.findType(typeId);
    if (!t) {
        if (status) *status = MStatus(MS::kInvalidParameter, "Unknown type id");
        return {};
    }
    return createNode(MString(t->name), parent, status);
}

MStatus MDagModifier::reparentNode(const MObject& node, const MObject& newParent) {
    if (node.kind() != MObject::Kind::Node || !host::dag::isDagNode(node.id()))
        return MStatus(MS::kInvalidParameter, "not a DAG node");
    if (!newParent.isNull() && !host::dag::isDagNode(newParent.id()))
        return MStatus(MS::kInvalidParameter, "parent is not a DAG node");
    return add(std::make_unique<host::ReparentOp>(node.id(), newParent.isNull() ? 0 : newParent.id()));
}
