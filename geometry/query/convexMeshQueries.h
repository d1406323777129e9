#pragma once

#include <cstdint>

#include "geometry/bounds/boundingVolumes.h"
#include "geometry/mesh/meshRecords.h"
#include "math/qmtMatrix3.h"
#include "math/qmtVector3.h"
#include "math/quaternion.h"

// Point, segment and plane tests against convex meshes, pushing a point inside a
// convex mesh, Gaussian points in an oriented frame and small clamps.
//
// A convex mesh is a ZYLmesh or ZYL_DFmesh whose face planes all face outward. A face
// stands for the plane through its first vertex with its stored normal; the signed
// distance n_f . (p - q_f) is positive outside. Convexity is never checked. The
// tolerance is 1e-5 unless an argument gives one.
//
// Two spaces are used. pointInConvexMesh, segmentMayTouchConvexMesh and
// pushPointInsideConvexMesh take world points, map them to the mesh's local space by
// (R^T (p - T)) / S (component-wise; the scale must have no zero component) and read
// the local vertices and normals. pointsInsideConvexMesh, classifyMeshAgainstPlane and
// convexMeshesIntersect read the world vertices and world normals.
//
// Faces whose first vertex index is not below the vertex count (or, on a ZYL_DFmesh,
// that have no corners) define no plane. A null mesh is treated as noted per routine.

// True when every face has a local signed distance <= tol; true for a mesh without
// faces. False for a null mesh or a face that defines no plane.
bool pointInConvexMesh(const Qmt::QmtVector3& p, const ZYLmesh* mesh, double tol);

// False when one face plane has both points more than 1e-5 outside it (the segment
// cannot touch the mesh); true otherwise. Faces without a plane are skipped; false for
// a null mesh.
bool segmentMayTouchConvexMesh(const Qmt::QmtVector3& p, const Qmt::QmtVector3& q,
                               const ZYLmesh* mesh);

// Moves p (world) by k = 1 + margin times its distance along face normals.
// nearestFaceOnly: only the face with the smallest |d| (first of equals), whatever the
// sign of d, so a point inside is carried margin * |d| beyond that face's plane.
// Otherwise: exactly one Qmt::Math::UnitRandom(0) draw picks the start face; the faces
// are visited cyclically from there and each one with d > 1e-5 moves p. A point that
// no face moves is left bit-for-bit as given (so is any point for a mesh without
// faces, or a null mesh, which draws nothing).
void pushPointInsideConvexMesh(const ZYLmesh* mesh, Qmt::QmtVector3& p, double margin,
                               bool nearestFaceOnly);

// True when every point lies below every face plane by more than 1e-5 (world data).
// False at the first point with distance > -1e-5, at a face that defines no plane, and
// for a null mesh. count <= 0 checks only the faces.
bool pointsInsideConvexMesh(const ZYLmesh* mesh, const Qmt::QmtVector3* points, int count);
bool pointsInsideConvexMesh(const ZYL_DFmesh* mesh, const Qmt::QmtVector3* points, int count);

// Class of the world vertices against the plane through point with normal (normalised
// first unless its squared length lies in [0.99999, 1.00001]): 1 when none lies 1e-5
// or more below, else 0 when some lie 1e-5 or more above, else -1. A mesh with no
// vertices (or a null mesh) gives 1.
int classifyMeshAgainstPlane(const ZYLmesh* mesh, const Qmt::QmtVector3& normal,
                             const Qmt::QmtVector3& point);
int classifyMeshAgainstPlane(const ZYL_DFmesh* mesh, const Qmt::QmtVector3& normal,
                             const Qmt::QmtVector3& point);

// True when some pair of faces, b's faces outer and a's inner, with world normals
// n_b . n_a <= 1e-5 intersects as the triangles of their first three world vertices.
// Faces with fewer than three corners or corners out of range are skipped; false when
// either mesh is null.
bool convexMeshesIntersect(const ZYLmesh* a, const ZYLmesh* b);

// True when p lies inside (or within 1e-5 outside) every edge's inward half-space of
// the convex loop L(0)..L(n-1), either winding about normal; false when n < 3.
bool pointInConvexPolygon(const Qmt::QmtVector3& p, const Qmt::QmtVector3* loop, std::uint32_t n,
                          const Qmt::QmtVector3& normal);

// Two points centre + spread o (frame * g), g with standard normal coordinates drawn by
// the polar method on Qmt::Math::SymmetricRandom(0).
void gaussianPointInBox(const Qmt::QmtVector3& centre, const Qmt::QmtVector3& spread,
                        const Qmt::QmtMatrix3& frame, Qmt::QmtVector3 out[2]);

// Pushes p inside the oriented box (random-start push with margin 1e-5 on the box's
// mesh).
void clampPointToOrientedBox(const ZYLbox& box, Qmt::QmtVector3& p);

// Per axis, with lo = min(a, b) and hi = max(a, b): a component below lo - margin
// becomes lo, else one above hi + margin becomes hi. p is changed in place and copied
// to result.
void clampPointToBox(Qmt::QmtVector3& result, Qmt::QmtVector3& p, const Qmt::QmtVector3& a,
                     const Qmt::QmtVector3& b, double margin);

// The same rule on the four components (w, x, y, z).
void clampPointToBounds(Qmt::Quaternion& result, Qmt::Quaternion& value, const Qmt::Quaternion& a,
                        const Qmt::Quaternion& b, double margin);

// True when both indices are equal (the vertices are not read) or the squared edge
// length is below 1e-5.
bool isDegenerateEdge(const std::uint32_t edge[2], const Qmt::QmtVector3* vertices);
