#pragma once

#include <cstdint>

#include "math/qmtVector3.h"

class BVmesh;
class HardBody;

// The convex bound of a hull or triangle-mesh body; null for every other kind and for
// such a body that has none.
BVmesh* convexBoundOf(HardBody* body);

// Distance between two bodies by the facing faces of their convex bounds, sampled
// (closestFacingFacesSampled; its outputs are passed through). Only hull and
// triangle-mesh bodies with bounds have one: for any other pair the answer is
// 3.4028234663852886e38 (the largest float) and nothing is written.
double boundDistance(HardBody* a, HardBody* b, std::uint32_t& vertexA, std::uint32_t& vertexB,
                     std::uint32_t& faceA, std::uint32_t& faceB, Qmt::QmtVector3& pointA,
                     Qmt::QmtVector3& pointB);
