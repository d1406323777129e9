#pragma once

#include "host/api/boundingBox.h"
#include "host/api/dagPath.h"
#include "host/api/fnDependencyNode.h"

// Reads and edits a DAG node, attached to a node or to one of its paths.
class MFnDagNode : public MFnDependencyNode {
public:
    MFnDagNode() = default;
    explicit MFnDagNode(const MObject& node, MStatus* status = nullptr);
    explicit MFnDagNode(const MDagPath& path, MStatus* status = nullptr);
    MStatus setObject(const MObject& node);
    MStatus setObject(const MDagPath& path);

    // A shape without a parent gets a new transform, which is returned.
    MObject create(const MString& type, const MObject& parent = MObject::kNullObj, MStatus* status = nullptr);
    MObject create(const MString& type, const MString& name, const MObject& parent = MObject::kNullObj,
                   MStatus* status = nullptr);

    unsigned parentCount(MStatus* status = nullptr) const;
    MObject parent(unsigned index, MStatus* status = nullptr) const;
    unsigned childCount(MStatus* status = nullptr) const;
    MObject child(unsigned index, MStatus* status = nullptr) const;
    MStatus addChild(MObject& child, unsigned index = 0xffffffffu, bool keepExistingParents = false);
    MStatus removeChild(MObject& child);
    bool hasChild(const MObject& node) const;
    bool isChildOf(const MObject& node) const;
    bool isParentOf(const MObject& node) const { return hasChild(node); }

    MStatus getPath(MDagPath& path) const;
    MDagPath dagPath(MStatus* status = nullptr) const;
    MString fullPathName(MStatus* status = nullptr) const;
    MString partialPathName(MStatus* status = nullptr) const;
    bool isInstanced(bool indirect = true, MStatus* status = nullptr) const;
    unsigned instanceCount(bool total, MStatus* status = nullptr) const;
    // Object space: the node's own geometry (a transform: its shapes below, in its space).
    MBoundingBox boundingBox(MStatus* status = nullptr) const;
    // A copy at the world root (no instancing: both flags must be false); a shape comes
    // under a copy of its transform, which is returned.
    MObject duplicate(bool instance = false, bool instanceLeaf = false, MStatus* status = nullptr) const;
    bool isIntermediateObject(MStatus* status = nullptr) const;
    MStatus setIntermediateObject(bool intermediate);
    MMatrix transformationMatrix(MStatus* status = nullptr) const;

protected:
    MDagPath path_;  // empty when attached to a node only
};
