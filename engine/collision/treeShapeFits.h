#pragma once

#include <cstdint>

#include "math/qmtVector2.h"
#include "math/qmtVector3.h"

class BCapsule;

// Shape fits offered beside the tree queries; nothing in the engine calls them.

// The same hull as convexHull2D (points sorted by x, then y; room for n + 1 indices).
std::uint32_t convexHull2DAlternate(const Qmt::QmtVector2* points, std::int32_t n, std::uint32_t* hull);

// Fits the capsule to the points (fitCapsule), giving it an owned zeroed record first
// when it has none: centre between the fitted ends, unit axis from the first end to
// the second with its length (axis (1, 0, 0) and length 0 when the ends lie within
// sqrt(1e-5)), the fitted radius, and the frame vectors u, v around the axis. True.
bool fitCapsuleBound(BCapsule& capsule, const Qmt::QmtVector3* points, std::uint32_t n);
// The same over points[indices[0 .. n-1]] (fitCapsuleIndexed).
bool fitCapsuleBoundIndexed(BCapsule& capsule, const Qmt::QmtVector3* points, const std::uint32_t* indices,
                            std::uint32_t n);
