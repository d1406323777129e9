#include "src/modifiers/modifierBaseNode.h"

#include "host/api/fnMesh.h"
#include "src/sceneUtils.h"

void zylModifierBaseNode::saveShadingAndUVSets(MDagPath mesh) {
    shadingSets_.clear();
    faceSetIndices_.clear();
    uvSetNames_.clear();
    getMeshShaders(mesh, shadingSets_, faceSetIndices_);
    MFnMesh(mesh).getUVSetNames(uvSetNames_);
}
