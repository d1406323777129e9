#pragma once

#include <cstdint>

#include "geometry/bounds/boundingVolumes.h"
#include "math/qmtVector3.h"

// Distance and contact routines between capsules, planes, triangles, segments,
// spheres, rays, boxes and small simplices, plus the pick of the extreme points of a
// point set. Collision worker threads call them concurrently: every scratch buffer
// lives in the call.
//
// A capsule's core segment runs from its bottom end P0 = centre - axis·length/2 to
// its top end P1 = centre + axis·length/2. Triangles are three consecutive vectors;
// a triangle point is V0 + w0·(V1 - V0) + w1·(V2 - V0). Segments are P0 + s·(P1 - P0)
// with s in [0, 1]. Squared distances are never negative; 3.4028234663852886e38 (the
// largest float) stands for "nothing found".

// Largest single-precision value held as a double: start and "no result" value of the
// least-distance searches.
inline constexpr double CAPSULE_PROXIMITY_NO_DISTANCE = 3.4028234663852886e38;

// Picks k of the n points that lie farthest out along the covariance axes of the set
// (score |(p·a0)·e0| + |(p·a1)·e1| + |(p·a2)·e2| over raw coordinates, e the
// covariance eigenvalues) and writes their indices ascending. k is in: wanted, out:
// given. n = 1 gives the index 0 and k = 1, n = 0 gives k = 0, k >= n gives every
// index. indices needs room for the given k.
void selectExtremePoints(const Qmt::QmtVector3* points, std::uint32_t n, std::uint32_t* indices,
                         std::uint32_t& k);

// Contact of a capsule with a triangle of unit normal n: the part of the core segment
// over the triangle (one or two points of equal depth within 1e-5, an absolute contact
// margin), or else the closest point to the nearest edge. An axis shorter than
// sqrt(1e-5) of the radius makes a sphere about the top end. Points lie on the
// capsule's surface (moved by -r along the output normal). Always true.
bool capsuleTriangleContact(const ZYLcapsule& capsule, const Qmt::QmtVector3 tri[3],
                            const Qmt::QmtVector3& triangleNormal, Qmt::QmtVector3 points[2],
                            Qmt::QmtVector3& normal, std::uint32_t& count, double& depth);

// Contact of a capsule with the plane through planePoint with normal planeNormal: the
// end nearer the back side, or both ends when the axis lies parallel to the plane;
// depth = (points[0] - planePoint)·planeNormal. Always true.
bool capsulePlaneContact(const ZYLcapsule& capsule, const Qmt::QmtVector3& planePoint,
                         const Qmt::QmtVector3& planeNormal, Qmt::QmtVector3 points[2],
                         Qmt::QmtVector3& normal, std::uint32_t& count, double& depth);

// Contact of two capsules as sphereSphereContact of the spheres about the closest
// points of their core segments (closest points within sqrt(1e-5) take its
// coincident-centre rule). Always true.
bool capsuleCapsuleContact(const ZYLcapsule& a, const ZYLcapsule& b, Qmt::QmtVector3& point,
                           Qmt::QmtVector3& normal, double& separation);

// True when the core segments come within ra + rb (boundary included).
bool capsulesOverlap(const ZYLcapsule& a, const ZYLcapsule& b);

// True when the core segment comes strictly within the radius of the triangle.
bool capsuleOverlapsTriangle(const ZYLcapsule& capsule, const Qmt::QmtVector3 tri[3],
                             const Qmt::QmtVector3& triangleNormal);

// True when the unbounded line origin + s·direction comes within squared distance
// 1e-5 of the triangle (an absolute hit margin); point is then the line point,
// otherwise origin.
bool intersectLineTriangle(const Qmt::QmtVector3& origin, const Qmt::QmtVector3& direction,
                           const Qmt::QmtVector3 tri[3], Qmt::QmtVector3& point);

// Squared distance of the segment P0..P1 to the triangle with the parameters of the
// closest points. A segment nearly parallel to the plane (to a sine of sqrt(1e-5)) or
// a triangle too thin to have one is measured over every feature pair: the ends
// against the triangle, the segment against the edges, and its crossing of the plane.
// The normal is not read.
double sqrDistanceSegmentTriangle(const Qmt::QmtVector3& P0, const Qmt::QmtVector3& P1,
                                  const Qmt::QmtVector3 tri[3], const Qmt::QmtVector3& triangleNormal,
                                  double& s, double& w0, double& w1);

// The same, answering the closest points themselves.
double closestPointsSegmentTriangle(const Qmt::QmtVector3& P0, const Qmt::QmtVector3& P1,
                                    const Qmt::QmtVector3 tri[3], const Qmt::QmtVector3& triangleNormal,
                                    Qmt::QmtVector3& onSegment, Qmt::QmtVector3& onTriangle);

// Least squared distance of the segment to the fan triangles (loop[0], loop[k],
// loop[k+1]) of a polygon with the closest points. A loop of fewer than 3 points
// answers CAPSULE_PROXIMITY_NO_DISTANCE and leaves the outputs untouched. The normal
// is not read.
double sqrDistanceSegmentPolygon(const Qmt::QmtVector3& P0, const Qmt::QmtVector3& P1,
                                 const Qmt::QmtVector3* loop, std::uint32_t n,
                                 const Qmt::QmtVector3& polygonNormal, Qmt::QmtVector3& onSegment,
                                 Qmt::QmtVector3& onPolygon);

// Squared distance between two triangles with the edge weights of the closest point
// on each (A0 + wA0·(A1 - A0) + wA1·(A2 - A0), likewise on B). Normals are not read.
double sqrDistanceTriangleTriangle(const Qmt::QmtVector3 triA[3], const Qmt::QmtVector3& normalA,
                                   const Qmt::QmtVector3 triB[3], const Qmt::QmtVector3& normalB,
                                   double& wA0, double& wA1, double& wB0, double& wB1);

// Barycentric weights over p[0..3] of the point nearest to q on the proper
// sub-simplices (vertices, edges, faces) of the four points, by the distance
// subalgorithm of the GJK method; a q inside a solid tetrahedron gets its nearest
// face's point. False, with all weights 0, when no sub-simplex qualifies.
bool closestPointOnTetrahedron(const Qmt::QmtVector3 p[4], const Qmt::QmtVector3& q, double w[4]);

// Least squared distance between the eight corners of a and the eight of b.
double minCornerDistanceSq(const ZYLbox& a, const ZYLbox& b);

// Where the ray origin + t·direction (t >= 0) meets the sphere: two points (entry
// first) when both crossings lie ahead, one when the origin is inside or the ray is
// tangent. False with count 0 when it misses.
bool intersectRaySphere(const Qmt::QmtVector3& origin, const Qmt::QmtVector3& direction,
                        const Qmt::QmtVector3& centre, double radius, std::uint32_t& count,
                        Qmt::QmtVector3 points[2]);

// -1, 0 or 1 comparing the first min(len a, len b) characters as signed chars; 0 when
// either string is empty (or null).
int comparePrefix(const char* a, const char* b);
