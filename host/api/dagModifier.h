#pragma once

#include "host/api/dgModifier.h"

// A graph modifier that also edits the DAG.
class MDagModifier : public MDGModifier {
public:
    // A shape made without a parent gets a new transform: the transform is returned.
    MObject createNode(const MString& type, const MObject& parent = MObject::kNullObj, MStatus* status = nullptr);
    MObject createNode(const MTypeId& typeId, const MObject& parent = MObject::kNullObj, MStatus* status = nullptr);
    MObject createNode(const MString& type, MStatus* status) { return createNode(type, MObject::kNullObj, status); }
    MObject createNode(const MTypeId& typeId, MStatus* status) { return createNode(typeId, MObject::kNullObj, status); }
    // Keeps the node's local values; a null parent is the world.
    MStatus reparentNode(const MObject& node, const MObject& newParent = MObject::kNullObj);
};
