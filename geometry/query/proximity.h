#pragma once

#include <algorithm>
#include <cstdint>

#include "math/qmtVector3.h"

struct ZYLcapsule;

// Closed-form distance and incidence queries between points, lines, rays, segments,
// spheres, planes and triangles. Leaves of the geometric code: they take plain
// vectors and doubles, allocate nothing and keep no state, so worker threads may
// call them concurrently.
//
// Triangles are passed as three consecutive vectors V0, V1, V2 with E0 = V1 - V0 and
// E1 = V2 - V0. Distances are squared and never negative. Returned parameters rebuild
// the closest points: P0 + s·(P1 - P0) on a segment, P + r·D on a line,
// V0 + s·E0 + t·E1 on a triangle; they stay on their features (s in [0, 1] on a
// segment, s, t >= 0 and s + t <= 1 on a triangle).
//
// Thresholds that choose a branch ("parallel", "degenerate", "coplanar") compare like
// with like, 1e-5 of the inputs' own measure: a determinant a·c - b² against a·c, a
// cross product against the lengths it multiplies, a numerator against its
// determinant. So a query answers alike at any size. Where a branch cannot decide
// (nearly parallel, a sliver), the least over the feature pairs is taken instead.
// The tolerances that are margins of a contact rather than branch tests stay
// absolute, as each function says.

// The triangle's point V0 + s·E0 + t·E1.
inline Qmt::QmtVector3 trianglePoint(const Qmt::QmtVector3* tri, double s, double t) {
    return tri[0] + (tri[1] - tri[0]) * s + (tri[2] - tri[0]) * t;
}

// Contact of two spheres: the point on A's surface towards B, the unit normal from A
// towards B and the separation (negative while they overlap). Coincident centres
// (within sqrt(1e-5), an absolute margin) use the normal (1, 0, 0) and a separation
// of -max(rA, rB).
void sphereSphereContact(const Qmt::QmtVector3& A, double rA, const Qmt::QmtVector3& B, double rB,
                         Qmt::QmtVector3& point, Qmt::QmtVector3& normal, double& separation);

// True when no point lies more than 1e-5 below the plane through Q with normal n (an
// absolute contact margin); true for no points (a null count counts as none).
bool allPointsAbovePlane(const Qmt::QmtVector3* points, const std::uint32_t* count,
                         const Qmt::QmtVector3& Q, const Qmt::QmtVector3& n);

// True when the direction from Q to p makes a cosine below -1e-5 with n.
bool isPointBelowPlane(const Qmt::QmtVector3& n, const Qmt::QmtVector3& Q, const Qmt::QmtVector3& p);

// Crossing of the ray P + r·D (r >= 0) with the segment A..B, judged on the closest
// points of the two lines; their distance is left to the caller. False for
// (near-)parallel lines (|a·c - b²| below 1e-5, scaled with the squared lengths as the
// clipper's cap loops expect) or when a parameter leaves its range.
bool intersectRaySegment(const Qmt::QmtVector3& P, const Qmt::QmtVector3& D, const Qmt::QmtVector3& A,
                         const Qmt::QmtVector3& B, double& rayParam, double& segParam);

// The line P + r·D (any length of D; a zero D is the point P) against the segment.
double sqrDistanceLineSegment(const Qmt::QmtVector3& P, const Qmt::QmtVector3& D, const Qmt::QmtVector3& A,
                              const Qmt::QmtVector3& B, double& lineParam, double& segParam);

// The line against a triangle. A line parallel to the plane (or a triangle too thin
// to have one) is measured by the edges; of the edges it touches, within 1e-5 of the
// triangle's squared size, the first along the line (smallest r) is reported.
double sqrDistanceLineTriangle(const Qmt::QmtVector3& P, const Qmt::QmtVector3& D, const Qmt::QmtVector3* tri,
                               double& r, double& s, double& t);

// A sliver or collapsed triangle is measured by its edges and, when it has an
// interior, the foot in its plane.
double sqrDistancePointTriangle(const Qmt::QmtVector3& P, const Qmt::QmtVector3* tri, double& s, double& t);

// Symmetric in the two segments and their directions up to rounding. Segments within
// about 1e-7 rad of parallel are measured as parallel (within 1e-7 of their lengths);
// nearly parallel ones, and point segments, by their feature pairs.
double sqrDistanceSegmentSegment(const Qmt::QmtVector3& P0, const Qmt::QmtVector3& P1, const Qmt::QmtVector3& Q0,
                                 const Qmt::QmtVector3& Q1, double& s, double& t);

// Lines P0 + s·D0 and P1 + t·D1. Lines within about 1e-7 rad of parallel, whose
// closest points would lie beyond what double precision places, count as parallel.
double sqrDistanceLineLine(const Qmt::QmtVector3& P0, const Qmt::QmtVector3& D0, const Qmt::QmtVector3& P1,
                           const Qmt::QmtVector3& D1, double& s, double& t);

// True when the segments meet: coplanar within 1e-5 of the longer one's length and
// each straddling the other's line; parallel ones (to a sine of sqrt(1e-5)) must come
// within sqrt(1e-5) of the longer one's length of each other. The same answer in
// either order.
bool segmentsIntersect(const Qmt::QmtVector3& P0, const Qmt::QmtVector3& P1, const Qmt::QmtVector3& Q0,
                       const Qmt::QmtVector3& Q1);

// |(P1 - P0) × (Q1 - Q0)|² below 1e-5, absolute.
bool segmentsParallel(const Qmt::QmtVector3& P0, const Qmt::QmtVector3& P1, const Qmt::QmtVector3& Q0,
                      const Qmt::QmtVector3& Q1);

// True when the capsule's core segment ends straddle the plane through Q with normal
// n, or either end lies within the radius of it.
bool capsuleCrossesPlane(const ZYLcapsule& capsule, const Qmt::QmtVector3& Q, const Qmt::QmtVector3& n);

// True when an edge is shorter than sqrt(1e-5) (absolute, as the hull and the clipper
// rely on) or the height over the longest edge is below tol (below tol times that
// edge's length when relative).
bool isDegenerateTriangle(const Qmt::QmtVector3& T0, const Qmt::QmtVector3& T1, const Qmt::QmtVector3& T2,
                          bool relative, double tol);

// Whether a side of squared length `squared` is long enough for clearlyNotDegenerate
// to settle a triangle it bounds: one with a shorter side never is.
[[gnu::always_inline]] inline bool clearlyLongSide(double squared) { return squared > 1.001 * 1e-5; }

// clearlyNotDegenerate's answer from the squares it reads: of the sides b - a, p - b
// and a - p, of the corner farthest from the origin, and of the cross product.
[[gnu::always_inline]] inline bool clearlyNotDegenerateSquares(double abLength, double bpLength, double pa,
                                                               double farthest, double crossLength) {
    constexpr double TOLERANCE = 1e-5;
    constexpr double MARGIN = 1.001;
    const double longest = std::max({abLength, bpLength, pa});
    return clearlyLongSide(std::min({abLength, bpLength, pa})) && longest < 1e100 && farthest < 1e10 * longest &&
           crossLength > MARGIN * TOLERANCE * TOLERANCE * longest * longest;
}

// Whether isDegenerateTriangle(a, b, p, true, 1e-5) is false for certain, read off
// `cross` = (b - a) x (p - b), which callers often need anyway: every side's square
// and the square of the height over the longest side clear their tolerances by a
// thousandth. That is far above the rounding of either computation while the corners
// lie within 1e5 longest sides of the origin (the full test measures the height from
// the side's midpoint, whose rounding grows with the coordinates), and nothing
// overflows. Triangles this cannot settle go to the full test.
// `ab` and `bp` are b - a and p - b, which the cross product was made of.
[[gnu::always_inline]] inline bool clearlyNotDegenerate(const Qmt::QmtVector3& a, const Qmt::QmtVector3& b,
                                                        const Qmt::QmtVector3& p, const Qmt::QmtVector3& ab,
                                                        const Qmt::QmtVector3& bp, const Qmt::QmtVector3& cross) {
    return clearlyNotDegenerateSquares(ab.SquaredLength(), bp.SquaredLength(), (a - p).SquaredLength(),
                                       std::max({a.SquaredLength(), b.SquaredLength(), p.SquaredLength()}),
                                       cross.SquaredLength());
}

// Where the line P + r·D crosses the plane of the triangle, when that point lies
// inside it (edges included): r on the line and s, t on the triangle. False for a
// line parallel to the plane or a triangle without area (to rounding).
bool lineCrossesTriangle(const Qmt::QmtVector3& P, const Qmt::QmtVector3& D, const Qmt::QmtVector3* tri, double& r,
                         double& s, double& t);

// Cofactors and determinant of the symmetric matrix with rows (a00 a01 a02),
// (a01 a11 a12), (a02 a12 a22): the normal equations of the line- and
// segment-triangle distances, solved by cofactors.
struct SymmetricCofactors {
    double c00, c01, c02, c11, c12, c22;
    double det;  // a00·c00 + a01·c01 + a02·c02
};

inline SymmetricCofactors symmetricCofactors(double a00, double a01, double a02, double a11, double a12,
                                             double a22) {
    SymmetricCofactors m;
    m.c00 = a11 * a22 - a12 * a12;
    m.c01 = a02 * a12 - a01 * a22;
    m.c02 = a01 * a12 - a02 * a11;
    m.c11 = a00 * a22 - a02 * a02;
    m.c12 = a02 * a01 - a00 * a12;
    m.c22 = a00 * a11 - a01 * a01;
    m.det = a00 * m.c00 + a01 * m.c01 + a02 * m.c02;
    return m;
}
