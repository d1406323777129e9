#include "host/api/fnDependencyNode.h"

#include "host/core/runtime.h"

using host::runtime;

namespace {

MStatus noNode() { return MStatus(MS::kInvalidParameter, "Object is not a valid node."); }

}  // namespace

MFnDependencyNode::MFnDependencyNode(const MObject& node, MStatus* status) {
    const MStatus st = setObject(node);
    if (status) *status = st;
}

MStatus MFnDependencyNode::setObject(const MObject& node) {
    if (node.kind() != MObject::Kind::Node || node.isNull()) return noNode();
    node_ = node;
    return MS::kSuccess;
}

MObject MFnDependencyNode::object(MStatus* status) const {
    if (status) *status = node_.isNull() ? noNode() : MStatus(MS::kSuccess);
    return node_;
}

MObject MFnDependencyNode::create(const MString& typeName, const MString& name, MStatus* status) {
    host::NodeType* type = runtime().registry.findType(typeName.str());
    if (!type) {
        if (status) *status = MStatus(MS::kInvalidParameter, "Unknown object type: " + typeName.str());
        return {};
    }
    MStatus st;
    const auto id = runtime().scene.createNode(*type, name.str(), false, &st);
    if (status) *status = st;
    if (!st) return {};
    node_ = MObject::fromNode(id);
    return node_;
}

MObject MFnDependencyNode::create(const MTypeId& typeId, const MString& name, MStatus* status) {
    host::NodeType* type = runtime().registry.findType(typeId);
    if (!type) {
        if (status) *status = MStatus(MS::kInvalidParameter, "Unknown type id");
        return {};
    }
    return create(MString(type->name), name, status);
}

MString MFnDependencyNode::name(MStatus* status) const {
    const host::Node* n = runtime().scene.find(node_.id());
    if (status) *status = n ? MStatus(MS::kSuccess) : noNode();
    return n ? MString(n->name) : MString();
}

MString MFnDependencyNode::setName(const MString& name, bool, MStatus* status) {
    std::string given;
    const MStatus st = node_.isNull() ? noNode() : runtime().scene.rename(node_.id(), name.str(), &given);
    if (status) *status = st;
    return st ? MString(given) : this->name();
}

MTypeId MFnDependencyNode::typeId(MStatus* status) const {
    const host::Node* n = runtime().scene.find(node_.id());
    if (status) *status = n ? MStatus(MS::kSuccess) : noNode();
    return n ? n->type->id : MTypeId();
}

MString MFnDependencyNode::typeName(MStatus* status) const {
    const host::Node* n = runtime().scene.find(node_.id());
    if (status) *status = n ? MStatus(MS::kSuccess) : noNode();
    return n ? MString(n->type->name) : MString();
}

MPxNode* MFnDependencyNode::userNode(MStatus* status) const {
    const host::Node* n = runtime().scene.find(node_.id());
    const bool module = n && n->user && !n->type->builtin;
    if (status) *status = module ? MStatus(MS::kSuccess) : MStatus(MS::kFailure, "not a module node");
    return module ? n->user.get() : nullptr;
}

MPlug MFnDependencyNode::findPlug(const MString& name, bool, MStatus* status) const {
    const host::Node* n = runtime().scene.find(node_.id());
    const host::Attribute* a = n ? runtime().scene.findAttribute(*n, name.str()) : nullptr;
    if (!a) {
        if (status) *status = MStatus(MS::kInvalidParameter, "No attribute '" + name.str() + "'.");
        return {};
    }
    if (status) *status = MS::kSuccess;
    return MPlug(node_, runtime().scene.attributePtr(*n, a), -1);
}

MPlug MFnDependencyNode::findPlug(const MObject& attr, bool, MStatus* status) const {
    const host::Node* n = runtime().scene.find(node_.id());
    if (!n || !runtime().scene.hasAttribute(*n, attr.attribute().get())) {
        if (status) *status = MStatus(MS::kInvalidParameter, "attribute not on node");
        return {};
    }
    if (status) *status = MS::kSuccess;
    return MPlug(node_, attr.attribute(), -1);
}

MObject MFnDependencyNode::attribute(const MString& name, MStatus* status) const {
    MStatus st;
    const MPlug p = findPlug(name, true, &st);
    if (status) *status = st;
    return st ? p.attribute() : MObject();
}

bool MFnDependencyNode::hasAttribute(const MString& name, MStatus* status) const {
    const host::Node* n = runtime().scene.find(node_.id());
    if (status) *status = n ? MStatus(MS::kSuccess) : noNode();
    return n && runtime().scene.findAttribute(*n, name.str());
}

unsigned MFnDependencyNode::attributeCount(MStatus* status) const {
    const host::Node* n = runtime().scene.find(node_.id());
    if (status) *status = n ? MStatus(MS::kSuccess) : noNode();
    return n ? static_cast<unsigned>(n->type->attributes.size() + n->dynamicAttributes.size()) : 0;
}

MObject MFnDependencyNode::attribute(unsigned index, MStatus* status) const {
    const host::Node* n = runtime().scene.find(node_.id());
    if (!n || index >= n->type->attributes.size() + n->dynamicAttributes.size()) {
        if (status) *status = MStatus(MS::kInvalidParameter, "index out of range");
        return {};
    }
    if (status) *status = MS::kSuccess;
    const auto& statics = n->type->attributes;
    return MObject::fromAttribute(index < statics.size() ? statics[index]
                                                         : n->dynamicAttributes[index - statics.size()]);
}

MStatus MFnDependencyNode::addAttribute(const MObject& attr, MAttrClass) {
    host::Node* n = runtime().scene.find(node_.id());
    if (!n) return noNode();
    return runtime().scene.addDynamicAttribute(*n, attr.attribute());
}

MStatus MFnDependencyNode::removeAttribute(const MObject& attr, MAttrClass) {
    host::Node* n = runtime().scene.find(node_.id());
    if (!n) return noNode();
    return runtime().scene.removeDynamicAttribute(*n, attr.attribute().get());
}

MStatus MFnDependencyNode::getConnections(MPlugArray& out) const {
    out.clear();
    if (node_.isNull()) return noNode();
    for (const auto& c : runtime().scene.connectionsOf(node_.id())) {
        const host::PlugKey& mine = c.src.node == node_.id() ? c.src : c.dst;
        if (c.src.node != node_.id() && c.dst.node != node_.id()) continue;
        const MPlug p = host::makePlug(mine);
        bool seen = false;
        for (const MPlug& q : out) seen = seen || q == p;
        if (!seen) out.append(p);
    }
    return MS::kSuccess;
}

bool MFnDependencyNode::isLocked(MStatus* status) const {
    const host::Node* n = runtime().scene.find(node_.id());
    if (status) *status = n ? MStatus(MS::kSuccess) : noNode();
    return n && n->locked;
}

MStatus MFnDependencyNode::setLocked(bool locked) {
    host::Node* n = runtime().scene.find(node_.id());
    if (!n) return noNode();
    n->locked = locked;
    return MS::kSuccess;
}
