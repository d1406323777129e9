#pragma once

#include <cstdint>

#include "math/qmtVector3.h"

// Overlap tests between triangles, clipping of convex polygons in their plane and
// the contact set of two touching triangles.
//
// A triangle is three consecutive vectors V0, V1, V2 with the edges E0 = V1 - V0,
// E1 = V2 - V1, E2 = V0 - V2. A polygon is a count and an array of vectors, convex and
// in winding order. The 2D routines read the x and y of vectors whose z is 0 (points
// already expressed in a plane frame). Interval tests separate only strictly, so
// touching shapes count as intersecting.
//
// Collision worker threads call these routines concurrently: they keep their working
// storage in fixed local buffers, allocate nothing and share nothing. The buffer sizes
// are limits of the interface; input beyond them is refused (a count of 0 / false),
// never truncated into a wrong answer and never written past.

// Polygon vertices the frame-based routines accept (clipSegmentToPolygon,
// coplanarPolygonOverlap).
inline constexpr std::uint32_t POLYGON_MAX_VERTICES = 32;
// Largest polygon clipConvexPolygonByPlane builds; output arrays of the polygon
// clippers need room for this many points.
inline constexpr std::uint32_t CLIP_MAX_VERTICES = 64;
// Most points coplanarTriangleOverlap (and so triangleContactSet) can write: three
// clips of a triangle, allowing for rounding that makes the working polygon slightly
// non-convex.
inline constexpr std::uint32_t TRIANGLE_OVERLAP_MAX_POINTS = 9;
// Points segmentPolygonCrossings2D records.
inline constexpr std::uint32_t SEGMENT_CROSSINGS_MAX = 3;

// Separating-axis test of triangles A and B with their face normals. Normals within a
// sine of sqrt(1e-5) of parallel add the in-plane edge normals as axes; unless
// parallel to rounding, the axes of crossing planes are tried too, so that nearly
// coplanar triangles that meet nowhere are told apart. The same answer in either
// order.
bool trianglesIntersect(const Qmt::QmtVector3* A, const Qmt::QmtVector3& nA, const Qmt::QmtVector3* B,
                        const Qmt::QmtVector3& nB);

// trianglesIntersect with B's interval on nA widened by margin on both sides, so
// triangles up to margin apart along nA pass that axis.
bool trianglesIntersectWithMargin(const Qmt::QmtVector3* A, const Qmt::QmtVector3& nA,
                                  const Qmt::QmtVector3* B, const Qmt::QmtVector3& nB, double margin);

// Minimum and maximum of the corners' projections on axis.
void triangleProjectionInterval(const Qmt::QmtVector3& axis, const Qmt::QmtVector3* tri, double& min,
                                double& max);

// Keeps the part of the polygon where n·p - c > 0, in place. A corner exactly on the
// plane is not copied but returns as a crossing point. points must have room for
// CLIP_MAX_VERTICES vectors; a polygon of more than that, or a result that would
// exceed it, gives count 0.
void clipConvexPolygonByPlane(const Qmt::QmtVector3& n, double c, std::uint32_t& count,
                              Qmt::QmtVector3* points);

// Clips the 2D polygon poly (m vertices) to the inside of the counter-clockwise
// convex polygon (n vertices) into out (room for CLIP_MAX_VERTICES). False, with
// count 0, as soon as nothing is left, and for m outside [0, CLIP_MAX_VERTICES].
bool clipPolygonByConvexPolygon2D(const Qmt::QmtVector3* convex, std::uint32_t n, const Qmt::QmtVector3* poly,
                                  std::int32_t m, std::uint32_t& count, Qmt::QmtVector3* out);

// Lines P0 + s·D0 and P1 + t·D1 in 2D. quantity 1: one crossing with params[0] on
// line 0 and params[1] on line 1; 0: parallel and apart; 2: the same line. diff and
// sqrLen0 (|D0|²) are handed back for intersectSegments2D.
bool intersectLines2D(const Qmt::QmtVector3& P0, const Qmt::QmtVector3& D0, const Qmt::QmtVector3& P1,
                      const Qmt::QmtVector3& D1, Qmt::QmtVector3& diff, double& sqrLen0, std::uint32_t& quantity,
                      double params[2]);

// Segments P0..P1 and Q0..Q1 in 2D. quantity 1: one common point at params[0] on the
// first segment (params[1] on the second when they cross); 2: a collinear overlap from
// params[0] to params[1] as fractions of the first segment; 0: none.
bool intersectSegments2D(const Qmt::QmtVector3& P0, const Qmt::QmtVector3& P1, const Qmt::QmtVector3& Q0,
                         const Qmt::QmtVector3& Q1, std::uint32_t& quantity, double params[2]);

// True when p lies inside or on the convex polygon with normal n (a cosine
// tolerance of 1e-5 per edge; a point within 1e-6 of an edge's length of its corner
// is on it); otherwise false with edge = the first edge that separates (edge i runs
// from V[i] to V[i+1], the closing edge last).
bool locatePointInConvexPolygon(const Qmt::QmtVector3& p, const Qmt::QmtVector3* V, const std::uint32_t& count,
                                const Qmt::QmtVector3& n, std::int32_t& edge);

// The same for a triangle: code 0, 1 or 2 for the first separating edge and false,
// -1 and true when p is inside.
bool locatePointInTriangle(const Qmt::QmtVector3& p, const Qmt::QmtVector3* tri, const Qmt::QmtVector3& n,
                           std::int32_t& code);

// Points where the 2D segment S0..S1 meets the polygon's edges, in edge order (the
// closing edge last), near-duplicates (closer than 1e-5 of the polygon's longest
// edge) dropped, at most SEGMENT_CROSSINGS_MAX; the scan ends when one more would be
// needed.
bool segmentPolygonCrossings2D(const Qmt::QmtVector3* V, std::uint32_t count, const Qmt::QmtVector3& S0,
                               const Qmt::QmtVector3& S1, std::int32_t& found,
                               Qmt::QmtVector3 points[SEGMENT_CROSSINGS_MAX]);

// The part of segment S0..S1 that lies over the convex polygon (normal n, either
// winding), as 0, 1 or 2 points on the segment: a segment parallel to the polygon
// gives the feet on its line, a tilted one the segment points right above. A segment
// that starts on the boundary and runs in keeps its inside end; where the edge scan
// misses an end of the part (rounding at a corner, a segment along an edge), the
// exact ends of its shadow's part are given. Polygons of fewer than 3 or more than
// POLYGON_MAX_VERTICES vertices give 0.
std::uint32_t clipSegmentToPolygon(const Qmt::QmtVector3& S0, const Qmt::QmtVector3& S1, const Qmt::QmtVector3* V,
                                   const std::uint32_t& count, const Qmt::QmtVector3& n, Qmt::QmtVector3 out[2]);

// The overlap of triangle B, projected into A's plane (normal n, either winding),
// with triangle A: its corners, in 3D on A's plane, with repeated points (closer than
// 1e-5 of the overlap's span; one of them stays) and corners within 1e-5 of the
// longest side of the line of their neighbours thinned. The closing step appends the
// farther of the last two corners, so the last point may repeat one already kept.
// Returns their count (0 when they do not overlap); out needs room for
// TRIANGLE_OVERLAP_MAX_POINTS.
std::int32_t coplanarTriangleOverlap(const Qmt::QmtVector3* A, const Qmt::QmtVector3& n, const Qmt::QmtVector3* B,
                                     Qmt::QmtVector3* out);

// The same for two convex polygons of up to POLYGON_MAX_VERTICES vertices each (A
// needs at least 3); out needs room for CLIP_MAX_VERTICES. Larger polygons give 0.
std::uint32_t coplanarPolygonOverlap(const Qmt::QmtVector3* A, const std::uint32_t& countA, const Qmt::QmtVector3& n,
                                     const Qmt::QmtVector3* B, const std::uint32_t& countB, Qmt::QmtVector3* out);

// Contact set of two touching triangles. The shallower penetration picks the
// reference face (A on ties); the points lie on the reference face's overlap,
// moved to the deepest level along its normal. normal is -nA (reference A) or nB
// (reference B); depth is negative while they interpenetrate, and a depth above
// -1e-5 (an absolute contact margin) is 0. Faces closer than
// 1e-5 to perpendicular report every overlap point at the reference penetration;
// nearly parallel faces (|nA·nB| > 0.99999) every overlap point at the same depth;
// other faces one point. False with count 0 when the overlap is empty. points needs
// room for TRIANGLE_OVERLAP_MAX_POINTS.
bool triangleContactSet(const Qmt::QmtVector3* A, const Qmt::QmtVector3& nA, const Qmt::QmtVector3* B,
                        const Qmt::QmtVector3& nB, Qmt::QmtVector3* points, Qmt::QmtVector3& normal,
                        std::uint32_t& count, double& depth);
