#pragma once

#include "host/api/object.h"
#include "host/api/plug.h"
#include "host/api/pxNode.h"
#include "host/api/status.h"
#include "host/api/typeId.h"

// Reads and edits one dependency node.
class MFnDependencyNode {
public:
    enum MAttrClass { kLocalDynamicAttr = 1, kNormalAttr, kExtensionAttr, kInvalidAttr };

    MFnDependencyNode() = default;
    explicit MFnDependencyNode(const MObject& node, MStatus* status = nullptr);
    MStatus setObject(const MObject& node);
    MObject object(MStatus* status = nullptr) const;

    // Creates a node of the type; an empty name picks a default one.
    MObject create(const MString& typeName, const MString& name = MString(), MStatus* status = nullptr);
    MObject create(const MTypeId& typeId, const MString& name = MString(), MStatus* status = nullptr);

    MString name(MStatus* status = nullptr) const;
    // Returns the name given (raised when taken); locked nodes refuse.
    MString setName(const MString& name, bool = false, MStatus* status = nullptr);
    MTypeId typeId(MStatus* status = nullptr) const;
    MString typeName(MStatus* status = nullptr) const;
    // The module's object of the node, or null for host types.
    MPxNode* userNode(MStatus* status = nullptr) const;

    MPlug findPlug(const MString& name, bool wantNetworkedPlug = true, MStatus* status = nullptr) const;
    MPlug findPlug(const MObject& attr, bool wantNetworkedPlug = true, MStatus* status = nullptr) const;
    MPlug findPlug(const char* name, MStatus* status) const { return findPlug(MString(name), true, status); }
    MObject attribute(const MString& name, MStatus* status = nullptr) const;
    bool hasAttribute(const MString& name, MStatus* status = nullptr) const;
    unsigned attributeCount(MStatus* status = nullptr) const;
    MObject attribute(unsigned index, MStatus* status = nullptr) const;
    MStatus addAttribute(const MObject& attr, MAttrClass type = kLocalDynamicAttr);
    MStatus removeAttribute(const MObject& attr, MAttrClass type = kLocalDynamicAttr);
    MStatus getConnections(MPlugArray& out) const;

    bool isLocked(MStatus* status = nullptr) const;
    MStatus setLocked(bool locked);

private:
    MObject node_;
};
