#include "host/scene/dagEdit.h"

#include "host/core/runtime.h"
#include "host/scene/dag.h"
#include "host/scene/transformChannels.h"

namespace host::dag {

namespace {

// The channels `m` (the transform's as they stand) set so that its local matrix becomes `local`.
MStatus applyLocalMatrix(std::uint64_t transform, MTransformationMatrix m, const MMatrix& local) {
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

}  // namespace

MStatus setLocalMatrix(std::uint64_t transform, const MMatrix& local) {
    if (!hasChannels(transform)) return MStatus(MS::kInvalidParameter, "not a transform");
    return applyLocalMatrix(transform, readChannels(transform), local);
}

MMatrix firstPathMatrix(std::uint64_t node) {
    const Path path = firstPathTo(node);
    return pathMatrix(path, path.size());
}

MStatus reparentKeepingWorld(std::uint64_t node, std::uint64_t parent) {
    return reparentKeepingWorld(node, parent, parent ? firstPathMatrix(parent) : MMatrix());
}

MStatus reparentKeepingWorld(std::uint64_t node, std::uint64_t parent, const MMatrix& parentWorld) {
    Node* n = runtime().scene.find(node);
    if (!n || !isDagNode(node)) return MStatus(MS::kInvalidParameter, "not a DAG node");
    if (n->locked) return MStatus(MS::kFailure, "Cannot reparent locked node '" + n->name + "'.");
    if (parent && (parent == node || isAncestor(node, parent)))
        return MStatus(MS::kInvalidParameter, "Cannot parent a node under itself or its descendant.");
    // The node's channels are read for its world matrix (the products pathMatrix makes)
    // and, unless a connection feeds them, kept as those its new local matrix starts from.
    const Path path = firstPathTo(node);
    const bool channels = hasChannels(node);
    const MTransformationMatrix own = channels ? readChannels(node) : MTransformationMatrix();
    MMatrix world;
    for (std::size_t i = path.size(); i-- > 0;)
        world = world * (i + 1 == path.size() ? (channels ? own.asMatrix() : MMatrix()) : localMatrix(path[i]));
    const std::vector<std::uint64_t> old = n->parents;
    for (const auto p : old) removeChild(p, node);
    const MStatus st = addChild(parent, node);
    if (!st) return st;
    if (!channels) return MS::kSuccess;
    return applyLocalMatrix(node, channelsFed(node) ? readChannels(node) : own, world * parentWorld.inverse());
}

}  // namespace host::dag
