#include "host/scene/dagEdit.h"

#include "host/core/runtime.h"
#include "host/scene/dag.h"
#include "host/scene/transformChannels.h"

namespace host::dag {

MStatus setLocalMatrix(std::uint64_t transform, const MMatrix& local) {
    if (!hasChannels(transform)) return MStatus(MS::kInvalidParameter, "not a transform");
    MTransformationMatrix m = readChannels(transform);
    const MTransformationMatrix split(local);
    double s[3];
    split.getScale(s);
    m.setScale(s);
    m.rotateTo(split.eulerRotation());
    // With the pivots kept, the translation is what is left over.
    m.setTranslation(MVector());
    const MMatrix withoutT = m.asMatrix();
    m.setTranslation(MVector(local[3][0] - withoutT[3][0], local[3][1] - withoutT[3][1], local[3][2] - withoutT[3][2]));
    return writeChannels(transform, m);
}

MStatus reparentKeepingWorld(std::uint64_t node, std::uint64_t parent) {
    Node* n = runtime().scene.find(node);
    if (!n || !isDagNode(node)) return MStatus(MS::kInvalidParameter, "not a DAG node");
    if (n->locked) return MStatus(MS::kFailure, "Cannot reparent locked node '" + n->name + "'.");
    if (parent && (parent == node || isAncestor(node, parent)))
        return MStatus(MS::kInvalidParameter, "Cannot parent a node under itself or its descendant.");
    const Path path = firstPathTo(node);
    const MMatrix world = pathMatrix(path, path.size());
    MMatrix parentWorld;
    if (parent) {
        const Path pp = firstPathTo(parent);
        parentWorld = pathMatrix(pp, pp.size());
    }
    const std::vector<std::uint64_t> old = n->parents;
    for (const auto p : old) removeChild(p, node);
    const MStatus st = addChild(parent, node);
    if (!st) return st;
    return hasChannels(node) ? setLocalMatrix(node, world * parentWorld.inverse()) : MStatus(MS::kSuccess);
}

}  // namespace host::dag
