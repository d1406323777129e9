#pragma once

#include "host/api/arrays.h"
#include "host/api/dagModifier.h"
#include "host/api/dagPath.h"
#include "host/api/dgModifier.h"
#include "host/api/object.h"
#include "host/api/plug.h"
#include "host/api/pxCommand.h"
#include "host/api/status.h"
#include "host/api/text.h"
#include "host/api/typeId.h"
#include "host/api/vectors.h"

// The nodes, plugs and attributes of one insertion of a modifier chain above a mesh;
// built per application and dropped afterwards.
struct ModifierInsertion {
    MObject meshTransform;
    MObject meshShape;
    MPlug meshInMeshPlug;
    MObject meshInMeshAttr;
    MObject duplicateTransform;  // the intermediate copy's own transform (no history)
    MObject upstreamNode;
    MPlug upstreamSourcePlug;
    MObject upstreamSourceAttr;
    MObject firstOutMeshAttr;
    MObject firstInMeshAttr;
    MObject secondOutMeshAttr;
    MObject secondInMeshAttr;
    MObject tweakNode;  // "polyTweak", when the mesh has tweaks
    MObject tweakOutputAttr;
    MObject tweakInputAttr;
};

// Base of the commands that change a polygon mesh through a modifier node.
//
// When the mesh keeps construction history, or history recording is on, the change
// enters the scene as two modifier nodes of the given type between the mesh's upstream
// data and the mesh: a mesh without history first gets an intermediate copy of itself
// as that upstream, the mesh's vertex tweaks move into a "polyTweak" node, and the
// mesh's shading groups and UV-set name are given back afterwards. Otherwise the
// derived command edits the mesh in place (modifyMeshDirectly) and the mesh data is
// kept for undo.
//
// The derived command sets the mesh path and the modifier node's type (by id or by
// name) and calls applyModifier; revertModifier and reapplyModifier then alternate.
class zylModifierCmd : public MPxCommand {
public:
    zylModifierCmd() = default;
    ~zylModifierCmd() override = default;

    // Sets up the first modifier node of the chain (the second keeps its defaults).
    virtual MStatus setupModifierNode(MObject node);
    // Changes the mesh shape in place: the path without history.
    virtual MStatus modifyMeshDirectly(MObject mesh);

    MDagPath getMeshPath() const { return meshPath_; }
    MStatus applyModifier();
    MStatus reapplyModifier();
    MStatus revertModifier();

    void setMeshPath(const MDagPath& path);
    void setModifierNodeType(const MTypeId& id);
    void setModifierNodeType(const MString& typeName);
    void setOperationType(int type) { operationType_ = type; }
    void setOperationMode(int mode) { operationMode_ = mode; }
    void setOperationIterations(short iterations) { operationIterations_ = iterations; }

protected:
    int operationType_ = 0;
    int operationMode_ = 0;
    short operationIterations_ = 0;
    bool meshPathSet_ = false;
    MDagPath meshPath_;
    MDagPath duplicatePath_;  // the intermediate copy made for a mesh without history
    bool nodeTypeIdSet_ = false;
    bool nodeTypeNameSet_ = false;
    MTypeId nodeTypeId_;
    MString nodeTypeName_;
    bool hasHistory_ = false;
    bool hasTweaks_ = false;
    bool recordHistory_ = false;
    MIntArray tweakIndices_;
    MFloatVectorArray tweakVectors_;
    MObject savedMeshData_;
    MDGModifier dgModifier_;
    MDagModifier dagModifier_;

private:
    MObject createModifierNode(MStatus& status);
    MStatus wireChain(const MObject& first, const MObject& second);
    MStatus insertIntermediateCopy(ModifierInsertion& insertion);
    void moveTweaks(ModifierInsertion& insertion);
    void zeroMovedTweaks();
    void restoreShadingAndUVSet(const ModifierInsertion& insertion, const MObject& first);
    void saveMeshData();
    void saveMeshTweaks();
    MStatus restoreFromIntermediateCopy();
    MStatus restoreTweaks();
    MString meshName() const;
};
