#include "host/api/dgModifier.h"

#include "host/api/global.h"
#include "host/core/modifierOp.h"
#include "host/core/runtime.h"
#include "host/scene/shading.h"

using host::runtime;

namespace host {

namespace {

// A node the modifier made: built at once in limbo (pending), shown by doIt.
struct CreateOp : ModifierOp {
    explicit CreateOp(std::uint64_t id) : node(id) {}
    ~CreateOp() override { runtime().scene.destroyLimbo(node); }
    MStatus doIt() override { return runtime().scene.restoreFromLimbo(node, {}); }
    MStatus undoIt() override { return runtime().scene.sendToLimbo(node, nullptr); }
    std::uint64_t node;
};

// A node with the DAG subtree only it holds: children go first, come back last.
struct DeleteOp : ModifierOp {
    explicit DeleteOp(std::uint64_t id) : node(id) {}
    ~DeleteOp() override {
        for (auto it = gone.rbegin(); it != gone.rend(); ++it) runtime().scene.destroyLimbo(*it);
        // Deleted for good: the sets forget the faces they kept for these members.
        if (!gone.empty()) shading::forgetMembers(removed);
    }
    void collect(std::uint64_t id, std::vector<std::uint64_t>& out) {
        const Node* n = runtime().scene.find(id);
        if (!n) return;
        for (const auto c : n->children)
            if (const Node* child = runtime().scene.find(c); child && child->parents.size() == 1) collect(c, out);
        out.push_back(id);
    }
    MStatus doIt() override {
        std::vector<std::uint64_t> order;
        collect(node, order);
        if (order.empty()) return MStatus(MS::kInvalidParameter, "no such node");
        for (const auto id : order)
            if (const Node* n = runtime().scene.find(id); n && (n->locked || !n->type->deletable))
                return MStatus(MS::kFailure, "Cannot delete locked node '" + n->name + "'.");
        gone.clear();
        removed.clear();
        for (const auto id : order) {
            const MStatus st = runtime().scene.sendToLimbo(id, &removed);
            if (!st) return st;
            gone.push_back(id);
        }
        return MS::kSuccess;
    }
    MStatus undoIt() override {
        MStatus result;
        for (auto it = gone.rbegin(); it != gone.rend(); ++it) {
            const MStatus st = runtime().scene.restoreFromLimbo(*it, removed);
            if (!st) result = st;
        }
        gone.clear();
        return result;
    }
    std::uint64_t node;
    std::vector<std::uint64_t> gone;  // deletion order
    std::vector<Connection> removed;
};

struct RenameOp : ModifierOp {
    RenameOp(std::uint64_t id, std::string n) : node(id), name(std::move(n)) {}
    MStatus doIt() override {
        const Node* n = runtime().scene.find(node);
        if (!n) return MStatus(MS::kInvalidParameter, "no such node");
        old = n->name;
        return runtime().scene.rename(node, name);
    }
    MStatus undoIt() override { return runtime().scene.rename(node, old); }
    std::uint64_t node;
    std::string name, old;
};

struct ConnectOp : ModifierOp {
    ConnectOp(PlugKey s, PlugKey d, bool c) : src(std::move(s)), dst(std::move(d)), connecting(c) {}
    MStatus doIt() override {
        return connecting ? runtime().scene.connect(src, dst) : runtime().scene.disconnect(src, dst);
    }
    MStatus undoIt() override {
        return connecting ? runtime().scene.disconnect(src, dst) : runtime().scene.connect(src, dst);
    }
    PlugKey src, dst;
    bool connecting;
};

struct ValueOp : ModifierOp {
    ValueOp(PlugKey p, const Value& v) : plug(std::move(p)), value(v) {}
    MStatus doIt() override {
        MStatus st;
        old = runtime().scene.read(plug, &st);
        return runtime().scene.write(plug, value);
    }
    MStatus undoIt() override { return runtime().scene.write(plug, old); }
    PlugKey plug;
    Value value, old;
};

struct AddAttributeOp : ModifierOp {
    AddAttributeOp(std::uint64_t id, AttributePtr a) : node(id), attr(std::move(a)) {}
    MStatus doIt() override {
        Node* n = runtime().scene.find(node);
        return n ? runtime().scene.addDynamicAttribute(*n, attr) : MStatus(MS::kInvalidParameter, "no such node");
    }
    MStatus undoIt() override {
        Node* n = runtime().scene.find(node);
        return n ? runtime().scene.removeDynamicAttribute(*n, attr.get())
                 : MStatus(MS::kInvalidParameter, "no such node");
    }
    std::uint64_t node;
    AttributePtr attr;
};

struct CommandOp : ModifierOp {
    explicit CommandOp(std::string c) : mel(std::move(c)) {}
    MStatus doIt() override { return MGlobal::executeCommand(MString(mel)); }
    MStatus undoIt() override { return MS::kSuccess; }
    std::string mel;
};

MStatus invalid() { return MStatus(MS::kInvalidParameter, "invalid argument"); }

}  // namespace
}  // namespace host

MDGModifier::MDGModifier() = default;

MDGModifier::~MDGModifier() {
    // Newest first, so a deleted node's limbo outlives nothing that refers to it.
    while (!ops_.empty()) ops_.pop_back();
}

MStatus MDGModifier::add(std::unique_ptr<host::ModifierOp> op) {
    ops_.push_back(std::move(op));
    return MS::kSuccess;
}

MObject MDGModifier::createNode(const MString& typeName, MStatus* status) {
    host::NodeType* type = runtime().registry.findType(typeName.str());
    if (!type) {
        if (status) *status = MStatus(MS::kInvalidParameter, "Unknown object type: " + typeName.str());
        return {};
    }
    MStatus st;
    const auto id = runtime().scene.createNode(*type, {}, true, &st);
    if (status) *status = st;
    if (!st) return {};
    // Pending: its plugs and function sets work before doIt, so a caller can set it up first.
    add(std::make_unique<host::CreateOp>(id));
    return MObject::fromNode(id);
}

MObject MDGModifier::createNode(const MTypeId& typeId, MStatus* status) {
    host::NodeType* type = runtime().registry.findType(typeId);
    if (!type) {
        if (status) *status = MStatus(MS::kInvalidParameter, "Unknown type id");
        return {};
    }
    return createNode(MString(type->name), status);
}

MStatus MDGModifier::deleteNode(const MObject& node) {
    if (node.kind() != MObject::Kind::Node || node.isNull()) return host::invalid();
    return add(std::make_unique<host::DeleteOp>(node.id()));
}

MStatus MDGModifier::renameNode(const MObject& node, const MString& name) {
    if (node.kind() != MObject::Kind::Node) return host::invalid();
    return add(std::make_unique<host::RenameOp>(node.id(), name.str()));
}

MStatus MDGModifier::connect(const MPlug& src, const MPlug& dst) {
    if (!src.attr() || !dst.attr()) return host::invalid();
    return add(std::make_unique<host::ConnectOp>(host::keyOf(src), host::keyOf(dst), true));
}

MStatus MDGModifier::connect(const MObject& srcNode, const MObject& srcAttr, const MObject& dstNode,
                             const MObject& dstAttr) {
    return connect(MPlug(srcNode, srcAttr), MPlug(dstNode, dstAttr));
}

MStatus MDGModifier::disconnect(const MPlug& src, const MPlug& dst) {
    if (!src.attr() || !dst.attr()) return host::invalid();
    return add(std::make_unique<host::ConnectOp>(host::keyOf(src), host::keyOf(dst), false));
}

MStatus MDGModifier::disconnect(const MObject& srcNode, const MObject& srcAttr, const MObject& dstNode,
                                const MObject& dstAttr) {
    return disconnect(MPlug(srcNode, srcAttr), MPlug(dstNode, dstAttr));
}

MStatus MDGModifier::newPlugValueBool(const MPlug& p, bool v) {
    return add(std::make_unique<host::ValueOp>(host::keyOf(p), v ? 1 : 0));
}
MStatus MDGModifier::newPlugValueInt(const MPlug& p, int v) {
    return add(std::make_unique<host::ValueOp>(host::keyOf(p), v));
}
MStatus MDGModifier::newPlugValueDouble(const MPlug& p, double v) {
    return add(std::make_unique<host::ValueOp>(host::keyOf(p), v));
}
MStatus MDGModifier::newPlugValueFloat(const MPlug& p, float v) {
    return add(std::make_unique<host::ValueOp>(host::keyOf(p), static_cast<double>(v)));
}
MStatus MDGModifier::newPlugValueString(const MPlug& p, const MString& v) {
    return add(std::make_unique<host::ValueOp>(host::keyOf(p), v.str()));
}

MStatus MDGModifier::addAttribute(const MObject& node, const MObject& attr) {
    if (node.kind() != MObject::Kind::Node || !attr.attribute()) return host::invalid();
    return add(std::make_unique<host::AddAttributeOp>(node.id(), attr.attribute()));
}

MStatus MDGModifier::commandToExecute(const MString& mel) { return add(std::make_unique<host::CommandOp>(mel.str())); }

MStatus MDGModifier::doIt() {
    while (done_ < ops_.size()) {
        const MStatus st = ops_[done_]->doIt();
        if (!st) {
            // A failed step is dropped so that a later doIt does not retry it.
            ops_.erase(ops_.begin() + static_cast<std::ptrdiff_t>(done_));
            return st;
        }
        ++done_;
    }
    return MS::kSuccess;
}

MStatus MDGModifier::undoIt() {
    MStatus result;
    while (done_ > 0) {
        const MStatus st = ops_[--done_]->undoIt();
        if (!st) result = st;
    }
    return result;
}
