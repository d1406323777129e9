#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "host/api/object.h"
#include "host/api/plug.h"
#include "host/api/status.h"
#include "host/api/typeId.h"

namespace host {
struct ModifierOp;
}

// A journal of graph edits: doIt performs the pending ones, undoIt reverts
// everything done in reverse order. Nodes it deleted (or created and undid) wait
// in limbo and die with the modifier.
class MDGModifier {
public:
    MDGModifier();
    MDGModifier(const MDGModifier&) = delete;
    MDGModifier& operator=(const MDGModifier&) = delete;
    virtual ~MDGModifier();

    MObject createNode(const MString& typeName, MStatus* status = nullptr);
    MObject createNode(const MTypeId& typeId, MStatus* status = nullptr);
    MStatus deleteNode(const MObject& node);
    MStatus renameNode(const MObject& node, const MString& name);
    MStatus connect(const MPlug& src, const MPlug& dst);
    MStatus connect(const MObject& srcNode, const MObject& srcAttr, const MObject& dstNode, const MObject& dstAttr);
    MStatus disconnect(const MPlug& src, const MPlug& dst);
    MStatus disconnect(const MObject& srcNode, const MObject& srcAttr, const MObject& dstNode,
                       const MObject& dstAttr);
    MStatus newPlugValueBool(const MPlug& plug, bool v);
    MStatus newPlugValueInt(const MPlug& plug, int v);
    MStatus newPlugValueDouble(const MPlug& plug, double v);
    MStatus newPlugValueFloat(const MPlug& plug, float v);
    MStatus newPlugValueString(const MPlug& plug, const MString& v);
    MStatus addAttribute(const MObject& node, const MObject& attr);
    MStatus commandToExecute(const MString& mel);

    MStatus doIt();
    MStatus undoIt();

protected:
    MStatus add(std::unique_ptr<host::ModifierOp> op);

private:
    std::vector<std::unique_ptr<host::ModifierOp>> ops_;
    std::size_t done_ = 0;
};
