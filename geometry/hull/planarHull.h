#pragma once

#include <cstdint>

#include "math/qmtVector3.h"

// Corners of the convex hull of coplanar points, as indices into the input, in
// hull order. The points are projected onto the frame x = unit(first clear edge),
// y = x × normal (no origin subtracted), so the corners run counter-clockwise in
// that frame, i.e. clockwise about the given normal. Every corner of the hull of
// the projected points appears once, and no point inside it or on an edge between
// corners; of points that project to the same position the lowest index stands.
//
// Returns the number of corners. On success *indices receives an array made with
// new[] (room for n + 1 entries) that the caller releases with delete[]; the array
// is kept even when the count ends up 0. When no array is made (n < 2, all
// consecutive points within sqrt(1e-5) of each other, points that do not project
// to finite coordinates, allocation failure) *indices is null and 0 is returned.
std::int32_t convexHull2DOfPlanarPoints(const Qmt::QmtVector3* points, std::uint32_t n,
                                        const Qmt::QmtVector3& normal, std::uint32_t** indices);

// qsort comparator of two Qmt::QmtVector2: ascending x, then ascending y.
int comparePoints2D(const void* a, const void* b);

// qsort comparator of two std::uint32_t: ascending.
int compareIndices(const void* a, const void* b);
