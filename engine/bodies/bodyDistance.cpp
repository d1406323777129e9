#include "engine/bodies/bodyDistance.h"

#include "engine/bodies/hullBody.h"
#include "engine/bodies/triMeshBody.h"
#include "geometry/query/faceDistances.h"

BVmesh* convexBoundOf(HardBody* body) {
    if (!body) {
        return nullptr;
    }
    // The kind code alone does not prove the class: look it up.
    switch (body->getType()) {
        case HB_HULL:
            if (const auto* hull = dynamic_cast<HullBody*>(body)) {
                return hull->bound;
            }
            return nullptr;
        case HB_TRIMESH:
            if (const auto* triangles = dynamic_cast<TriMeshBody*>(body)) {
                return triangles->bound;
            }
            return nullptr;
        default:
            return nullptr;
    }
}

double boundDistance(HardBody* a, HardBody* b, std::uint32_t& vertexA, std::uint32_t& vertexB,
                     std::uint32_t& faceA, std::uint32_t& faceB, Qmt::QmtVector3& pointA,
                     Qmt::QmtVector3& pointB) {
    const BVmesh* const boundA = convexBoundOf(a);
    const BVmesh* const boundB = convexBoundOf(b);
    // An empty bound (a mesh with an index out of range) counts as none.
    if (!boundA || !boundB || !boundA->mesh || !boundB->mesh) {
        return FACE_DISTANCE_NONE;
    }
    return closestFacingFacesSampled(boundA, boundB, vertexA, vertexB, faceA, faceB, pointA, pointB);
}
