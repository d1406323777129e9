#pragma once

#include <cstdint>

#include "geometry/mesh/meshRecords.h"
#include "math/qmtVector3.h"

class BVmesh;

// Face-to-face adjacency of convex pieces and distances between facing faces.
// Every routine reads world vertices and world face normals. A face loop holds at
// most 32 corners; longer faces are read through their first 32.

// Result of a minimum search that found nothing: the largest single-precision value.
inline constexpr double FACE_DISTANCE_NONE = 3.4028234663852886e38;

// True when p lies on the inner side of every edge of the loop, within 1e-5 in the
// direction cosine; true for an empty loop.
bool pointWithinPolygonEdges(const Qmt::QmtVector3& p, const Qmt::QmtVector3* loop,
                             std::uint32_t n, const Qmt::QmtVector3& normal);

// The first face pair (a's faces outermost) whose normals are parallel or opposed
// (|na . nb| > 0.99999) and whose centroids each lie within the other face's edges.
// The plane offset is not checked. Both indices are 0xFFFFFFFF when there is none.
bool findOverlappingParallelFaces(const ZYLmesh* a, const ZYLmesh* b, std::uint32_t& faceA,
                                  std::uint32_t& faceB);

// True when an opposed face pair (na . nb < -0.999) has a corner of one face strictly
// within tol of the other face's plane.
bool convexPiecesShareFace(const ZYLmesh* a, const ZYLmesh* b, double tol);

// True when the closest vertex pair of the two meshes is strictly within tol of the
// plane of a face holding one of its two vertices: |(pb - pa) . n| < tol. The axis
// is not read.
bool closestVertexPair(const ZYLmesh* a, const ZYLmesh* b, const Qmt::QmtVector3& axis,
                       double tol);

// Squared distance between two triangles with the closest point on each. The normals
// are not read.
double distanceSq_tri2tri(const Qmt::QmtVector3* triangleA, const Qmt::QmtVector3& normalA,
                          const Qmt::QmtVector3* triangleB, const Qmt::QmtVector3& normalB,
                          Qmt::QmtVector3& closestA, Qmt::QmtVector3& closestB);

// Least squared distance over every pair of fan triangles of the two convex loops,
// with the closest points of the first least pair. FACE_DISTANCE_NONE, outputs
// untouched, when a loop has fewer than 3 points. Given a bound, triangle pairs that
// cannot come within it are passed: the answer is the same whenever it is within the
// bound, and beyond the bound otherwise.
double distanceSqConvexPolygons(const Qmt::QmtVector3* loopA, std::uint32_t nA,
                                const Qmt::QmtVector3& normalA, const Qmt::QmtVector3* loopB,
                                std::uint32_t nB, const Qmt::QmtVector3& normalB,
                                Qmt::QmtVector3& closestA, Qmt::QmtVector3& closestB,
                                double bound = FACE_DISTANCE_NONE);

// Least squared distance over the face pairs with na . nb < 1e-5 (facing, and
// perpendicular too). FACE_DISTANCE_NONE and both indices 0xFFFFFFFF when no pair
// faces; the points are then untouched. Given a bound, pairs that cannot come within
// it are not measured: the answer is the same whenever the least distance is below
// the bound, and not below it otherwise.
double closestFacingFaces(const ZYLmesh* a, const ZYLmesh* b, std::uint32_t& faceA,
                          std::uint32_t& faceB, Qmt::QmtVector3& pointA, Qmt::QmtVector3& pointB,
                          double bound = FACE_DISTANCE_NONE);

// Distance between two hull or triangle-mesh volumes by sampled vertices: at most
// 512 vertices of each mesh are paired, and over the faces at those vertices the
// opposed pair (na . nb < -1e-5) nearest along a's face normal is chosen; a nearer
// pair that is less opposed than the best so far does not replace it. Returns the
// squared distance of the chosen faces (FACE_DISTANCE_NONE when no pair faces). The
// volumes need their vertex face lists (built with BVMESH_EDGES | BVMESH_VERTICES);
// without them nothing is found.
double closestFacingFacesSampled(const BVmesh* a, const BVmesh* b, std::uint32_t& vertexA,
                                 std::uint32_t& vertexB, std::uint32_t& faceA,
                                 std::uint32_t& faceB, Qmt::QmtVector3& pointA,
                                 Qmt::QmtVector3& pointB);
