#pragma once

#include "host/api/arrays.h"
#include "host/api/dagPath.h"
#include "host/api/object.h"
#include "host/api/pxNode.h"
#include "host/api/status.h"
#include "host/api/text.h"

// Base of the module's mesh modifier nodes. Every concrete type has mesh attributes
// "inMesh" and "outMesh" and turns the one into the other by performOperation. The
// node remembers the shading groups and UV-set names of the mesh it was inserted
// above, so that the inserting command can give the rebuilt mesh its shading back.
class zylModifierBaseNode : public MPxNode {
public:
    zylModifierBaseNode() = default;
    ~zylModifierBaseNode() override = default;

    // Edits or fills the mesh data by the operation; each concrete node supplies it.
    virtual MStatus performOperation(MObject& meshData, int operationType, int operationMode,
                                     short iterations) = 0;

    // The shading groups of the mesh instance with each polygon's group index, and the
    // mesh's UV-set names.
    void saveShadingAndUVSets(MDagPath mesh);

    const MObjectArray& shadingSets() const { return shadingSets_; }
    // Per face of the last output, its index into shadingSets (an index naming no set: none).
    const MIntArray& faceSetIndices() const { return faceSetIndices_; }
    // Faces the last operation produced, ascending.
    const MIntArray& changedFaces() const { return changedFaces_; }
    const MStringArray& uvSetNames() const { return uvSetNames_; }

protected:
    MObjectArray shadingSets_;
    MIntArray faceSetIndices_;
    MIntArray changedFaces_;
    MStringArray uvSetNames_;
};
