#include "host/api/pxNode.h"

#include "host/core/runtime.h"

using host::runtime;

namespace {

host::AttributePtr makeBuiltinMessage() {
    auto a = std::make_shared<host::Attribute>();
    a->longName = "message";
    a->shortName = "msg";
    a->kind = host::AttrKind::Message;
    a->storable = false;
    a->hidden = true;
    a->added = true;
    return a;
}

host::AttributePtr makeBuiltinState() {
    auto a = std::make_shared<host::Attribute>();
    a->longName = "state";
    a->shortName = "st";
    a->kind = host::AttrKind::Enum;
    a->defaultValue = 0;
    a->fields = {{"normal", 0}, {"hasNoEffect", 1}, {"blocking", 2}};
    a->added = true;
    return a;
}

}  // namespace

// Built at load with no runtime access: plain attribute definitions.
const MObject MPxNode::message = MObject::fromAttribute(makeBuiltinMessage());
const MObject MPxNode::state = MObject::fromAttribute(makeBuiltinState());

MStatus MPxNode::compute(const MPlug&, MDataBlock&) { return MS::kUnknownParameter; }
MStatus MPxNode::setDependentsDirty(const MPlug&, MPlugArray&) { return MS::kSuccess; }
bool MPxNode::setInternalValueInContext(const MPlug&, const MDataHandle&, MDGContext&) { return false; }

MTypeId MPxNode::typeId() const {
    const host::Node* n = runtime().scene.findIncludingLimbo(self_.id());
    return n ? n->type->id : MTypeId();
}

MString MPxNode::typeName() const {
    const host::Node* n = runtime().scene.findIncludingLimbo(self_.id());
    return n ? MString(n->type->name) : MString();
}

MString MPxNode::name() const {
    const host::Node* n = runtime().scene.findIncludingLimbo(self_.id());
    return n ? MString(n->name) : MString();
}

MStatus MPxNode::setExistWithoutOutConnections(bool flag) {
    host::Node* n = runtime().scene.findIncludingLimbo(self_.id());
    if (!n) return MStatus(MS::kFailure, "no node");
    n->existWithoutOutConnections = flag;
    return MS::kSuccess;
}

bool MPxNode::existWithoutOutConnections(MStatus* status) const {
    const host::Node* n = runtime().scene.findIncludingLimbo(self_.id());
    if (status) *status = n ? MStatus(MS::kSuccess) : MStatus(MS::kFailure, "no node");
    return n && n->existWithoutOutConnections;
}

MStatus MPxNode::addAttribute(const MObject& attr) {
    host::NodeType* type = runtime().initializingType;
    if (!type) return MStatus(MS::kFailure, "addAttribute outside a node type's initialize");
    const auto& a = attr.attribute();
    if (!a || a->parent) return MStatus(MS::kInvalidParameter, "not an attribute");
    if (type->findAttribute(a->longName) || type->findAttribute(a->shortName))
        return MStatus(MS::kInvalidParameter, "attribute '" + a->longName + "' exists");
    a->added = true;
    type->attributes.push_back(a);
    return MS::kSuccess;
}

MStatus MPxNode::attributeAffects(const MObject& whenChanges, const MObject& isAffected) {
    if (!runtime().initializingType) return MStatus(MS::kFailure, "attributeAffects outside initialize");
    auto* from = whenChanges.attribute().get();
    auto* to = isAffected.attribute().get();
    if (!from || !to) return MStatus(MS::kInvalidParameter, "not an attribute");
    from->affects.push_back(to->storage() == to ? to : const_cast<host::Attribute*>(to->storage()));
    const_cast<host::Attribute*>(to->storage())->affected = true;
    return MS::kSuccess;
}
