#pragma once

#include "host/api/dataBlock.h"
#include "host/api/dgContext.h"
#include "host/api/object.h"
#include "host/api/plug.h"
#include "host/api/status.h"
#include "host/api/typeId.h"

// Base of module node classes. The host owns the object: it is created by the
// type's creator and destroyed when the node is deleted.
class MPxNode {
public:
    enum Type {
        kDependNode = 0,
        kLocatorNode,
        kDeformerNode,
        kManipContainer,
        kSurfaceShape,
        kFieldNode,
        kEmitterNode,
        kTransformNode,
        kLast
    };

    MPxNode() = default;
    MPxNode(const MPxNode&) = delete;
    MPxNode& operator=(const MPxNode&) = delete;
    virtual ~MPxNode() = default;

    virtual void postConstructor() {}
    // Answers MS::kUnknownParameter for plugs it does not handle.
    virtual MStatus compute(const MPlug& plug, MDataBlock& data);
    // Called when an input is dirtied; may add plugs to dirty as well.
    virtual MStatus setDependentsDirty(const MPlug& plug, MPlugArray& affected);
    // Called on each write of one of the node's plugs, once the value is stored
    // (the host keeps it whatever the answer).
    virtual bool setInternalValueInContext(const MPlug& plug, const MDataHandle& handle, MDGContext& ctx);
    virtual Type type() const { return kDependNode; }

    MObject thisMObject() const { return self_; }
    MTypeId typeId() const;
    MString typeName() const;
    MString name() const;
    // Stored only: no node is ever deleted for want of connections here.
    MStatus setExistWithoutOutConnections(bool flag);
    bool existWithoutOutConnections(MStatus* status = nullptr) const;

    // Valid only while the type's initialize runs inside registerNode.
    static MStatus addAttribute(const MObject& attr);
    static MStatus attributeAffects(const MObject& whenChanges, const MObject& isAffected);

    static const MObject message;
    static const MObject state;  // enum, 1 = no effect

    // Host side.
    void setThisObject(const MObject& self) { self_ = self; }

private:
    MObject self_;
};
