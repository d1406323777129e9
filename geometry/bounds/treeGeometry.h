#pragma once

#include <cstdint>

#include "math/qmtVector2.h"
#include "math/qmtVector3.h"

class BVbox;

// Fits an oriented box to the n points (fitOrientedBox) and copies its centre,
// axes and half extents into the box's record, creating an owned record first
// when the box has none. Returns false, leaving the box as it was, when n is 0
// or the record cannot be allocated.
bool refitBoxFromPoints(BVbox& box, const Qmt::QmtVector3* points, std::uint32_t n);

// The same over points[indices[0 .. n-1]] (fitOrientedBoxIndexed).
bool refitBoxFromIndexedPoints(BVbox& box, const Qmt::QmtVector3* points,
                               const std::uint32_t* indices, std::uint32_t n);

// Monotone-chain convex hull of n points sorted ascending by x, then y. Writes
// indices into points to hull[], counter-clockwise from index 0 (lower chain left
// to right, then the upper chain back) and closed on index 0 again; the closing
// entry is counted. Only strict left turns stay on a chain, judged exactly, so
// collinear points are dropped (a collinear set gives its two ends, [a, b, a])
// and a repeated point appears once, by one of its copies (index 0 for the first
// point). When every point has the first point's x the result is [0, 0] if the
// last point also has its y, else [0, n-1, 0].
// hull must have room for n + 1 entries; nothing is written beyond that. n < 1
// gives 0.
std::uint32_t convexHull2D(const Qmt::QmtVector2* points, std::int32_t n, std::uint32_t* hull);
