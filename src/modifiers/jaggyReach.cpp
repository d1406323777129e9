// Whether the displacement zylJagginess is asked for stays within single precision,
// worked out before the command changes anything: the points of a mesh, and its
// tweaks, are floats, and one beyond their range becomes infinity, then NaN.

#include <algorithm>
#include <cmath>
#include <limits>

#include "host/api/boundingBox.h"
#include "host/api/fnDagNode.h"
#include "src/modifiers/jagginessCmd.h"
#include "src/sceneUtils.h"
#include "src/shatter/voronoiNode.h"

namespace {

constexpr double kFloatMax = std::numeric_limits<float>::max();

double reach(const MBoundingBox& box) {
    const MPoint lo = box.min(), hi = box.max();
    return std::max({std::fabs(lo.x), std::fabs(lo.y), std::fabs(lo.z), std::fabs(hi.x), std::fabs(hi.y),
                     std::fabs(hi.z)});
}

// Moving any vertex of the mesh by up to `amplitude` keeps it a float in world space
// and back in the mesh's own space. NaN fits nowhere.
bool meshKeepsFinite(const MDagPath& shape, double amplitude) {
    if (!shape.isValid()) return true;
    MBoundingBox box = MFnDagNode(shape).boundingBox();
    const double own = reach(box);
    const MMatrix toWorld = shape.inclusiveMatrix();
    const double world = reach(box.transformUsing(toWorld));
    // How much a world offset can grow on its way back into the mesh's space.
    const MMatrix toObject = toWorld.inverse();
    double stretch = 0.0;
    for (unsigned i = 0; i < 3; ++i)
        for (unsigned j = 0; j < 3; ++j) stretch += std::fabs(toObject[i][j]);
    return world + amplitude <= kFloatMax && own + amplitude * stretch <= kFloatMax;
}

}  // namespace

double jagginessCmd::plannedJaggyLength(const MDagPath& group, double current) {
    MObject voronoi;
    findVoronoiNodeChild(group, voronoi);
    if (voronoi.isNull()) return current;
    const double own = MPlug(voronoi, voronoiNode::jaggyLength).asFloat();
    if (own != 0.0) return own;
    if (isInShatterGroup(group)) {
        MObject outer;
        MDagPath top;
        if (!findShatterGroupVoronoiNode(group, outer, top)) return own;
        if (const double outerLength = MPlug(outer, voronoiNode::jaggyLength).asFloat(); outerLength != 0.0)
            return outerLength;
    }
    return defaultJaggyLength(group);
}

bool jagginessCmd::groupKeepsFinite(const MDagPath& group, double& length, bool nested) const {
    length = plannedJaggyLength(group, length);
    const double amplitude = std::fabs(strength_ * length);
    for (const MDagPath& mesh : shatterGroupMeshes(group))
        if (!meshKeepsFinite(mesh, amplitude)) return false;
    if (!nested) return true;
    for (unsigned i = 0, n = group.childCount(); i < n; ++i) {
        MDagPath child = group;
        child.push(group.child(i));
        // Each nested group starts from the length its parent left.
        double inherited = length;
        if (isShatterGroup(child) && !groupKeepsFinite(child, inherited, true)) return false;
    }
    return true;
}

bool jagginessCmd::displacementKeepsFinite(const MDagPath& shard, const MDagPath& group) const {
    if (options_.remove || (!options_.compute && !options_.strengthGiven)) return true;
    // The strength is stored in single precision too.
    if (!(std::fabs(strength_) <= kFloatMax)) return false;
    double length = jaggyLength_;
    switch (options_.affect) {
    case 1: return groupKeepsFinite(group, length, false);
    case 2: {
        MDagPath top;
        if (!findTopShatterGroup(group, top)) top = group;
        return groupKeepsFinite(top, length, true);
    }
    default: return meshKeepsFinite(shard, std::fabs(strength_ * plannedJaggyLength(group, length)));
    }
}
