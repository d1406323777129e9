#pragma once

#include "host/api/dataBlock.h"
#include "host/api/fnMesh.h"
#include "host/api/object.h"
#include "host/api/plug.h"
#include "host/api/status.h"
#include "src/modifiers/modifierBaseNode.h"

// The modifier node that the modifier commands insert into a mesh's history: its
// output mesh is its input passed through ("clean"), with the cut faces subdivided
// "operationIter" times, tagged as cut faces and their normals softened
// ("subdivideFaces"), or with UVs assigned at given points ("assignUVs").
// "inputComponents" and "operationMode" are stored and dirty the output, but no
// operation reads them.
class zylMeshOpNode : public zylModifierBaseNode {
public:
    enum Operation : short { kClean = 0, kSubdivideFaces = 1, kSubdivideEdges = 2, kAssignUVs = 3 };

    static void* creator();
    static MStatus initialize();

    MStatus compute(const MPlug& plug, MDataBlock& data) override;
    MStatus performOperation(MObject& meshData, int operationType, int operationMode, short iterations) override;

    static MObject inputComponents;
    static MObject operationType;
    static MObject operationMode;
    static MObject operationIter;
    static MObject inMesh;
    static MObject outMesh;
    static MObject jaggyPoints;   // array of points (x, y, z), inputs for scripts
    static MObject indexBPoints;  // array of (face, vertex) pairs of the output mesh

private:
    MStatus subdivideCutFaces(MObject& meshData, short iterations);
    MStatus writeCutFaceValues(MFnMesh& mesh) const;
    void unlockCutFaceNormals(MFnMesh& mesh) const;
    void assignUVsAtPoints(MObject& meshData) const;

    MObject inputMeshData_;  // the input of the last subdivide or UV operation
};
