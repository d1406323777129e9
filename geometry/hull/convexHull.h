#pragma once

#include <cstdint>

#include "geometry/hull/convexHullContext.h"
#include "geometry/mesh/meshRecords.h"
#include "math/qmtVector3.h"

// Incremental 3D convex hull of a point array.
//
// The hull starts from a tetrahedron (buildHullSimplex), grows one point at a time
// (addPointToHull), merges coplanar triangles into convex polygons
// (mergeCoplanarHullFaces), drops vertices no face uses (removeUnusedHullVertices) and
// is written out with every face turning counter-clockwise seen from outside, unit
// outward normals and at most 32 corners per face (longer faces become fans).
// Tolerances are absolute in the points' own units.
//
// The result is always a closed surface: every directed edge has one reverse and
// sum(corners - 2) = 2V - 4. Where a plain rule would open it, the stages mend it (a
// horizon triangle too thin for the tolerances is still made, a widening that pinches
// the horizon is undone, a merge that would repeat a corner or leave fewer than three
// is not made, a corner dropped by one merged face but used by another is put back,
// and a face turns by its area vector when that is clear). A build that still does
// not close, or is not convex within the tolerances (a merged polygon with a reflex
// corner, a face tilted over points it once covered), or leaves an input point
// outside the bounds below, or that grows far more faces than a closed surface on its
// vertices can have, is built again without widening and with merges only into flat
// convex polygons that keep every corner.
// Every input point then lies below every face plane within 1e-5 of the cloud's size
// (at least 1e-5), plus 0.0045 of the face's extent (the angle of the 0.99999 merge
// test: a merged face keeps one triangle's normal, and a merge can leave a triangle).
// A careful build that still leaves a point outside those bounds gives no hull.
// Clouds that the plain rules close convexly come out exactly as before.
//
// All scratch state of a build lives in a ConvexHullContext, so builds are re-entrant
// and may run on several threads at once.

// The hull as a new ZYLmesh owned by the caller, or null when it cannot be built:
// fewer than 3 points, no three points that span a plane (all within sqrt(1e-5) of
// one another or collinear), 4 or more points that are all within 1e-5 of one plane,
// a non-finite coordinate, a careful build that cannot hold the cloud (see above), or
// allocation failure. The result holds faces, local
// vertices (hull vertices in the order they joined, the array keeps room for n),
// local face normals and a world face-normal array that stays zero except for the
// single-triangle result of n = 3. UVs, world vertices, centre and radius are unset.
ZYLmesh* buildConvexHullMesh(const Qmt::QmtVector3* points, std::uint32_t n);

// The same hull grown face by face (each face takes the point of largest projection on
// its normal), written as a ZYL_DFmesh whose faces own index arrays sized for their
// corners (UV-set count 0; normal and UV indices 0). Null on the same failures.
ZYL_DFmesh* buildConvexHullDFmesh(const Qmt::QmtVector3* points, std::uint32_t n);

// Stages, called in this order by both builders. `context` carries the face list, the
// edge list and the counts of one build; the mesh supplies the vertex array (room for
// n vertices) and its vertex count. The stages throw std::bad_alloc when memory runs
// out (the builders return null instead).

// Resets the context and the mesh's vertex count, then builds the starting
// tetrahedron (or, for n = 3, the single triangle of points 0, 1, 2). simplex receives
// the input indices of the vertices made (the fourth is 0xFFFFFFFF for n = 3).
// False when no simplex can be built (see buildConvexHullMesh).
bool buildHullSimplex(const Qmt::QmtVector3* points, std::uint32_t n, ZYLmesh& mesh,
                      std::uint32_t simplex[4], ConvexHullContext& context);
bool buildHullSimplex(const Qmt::QmtVector3* points, std::uint32_t n, ZYL_DFmesh& mesh,
                      std::uint32_t simplex[4], ConvexHullContext& context);

// Appends the point as the next vertex and replaces the faces it sees by a fan over
// their horizon, one face per horizon edge. `interior` is the fixed point the new
// normals face away from. False when the point sees no face (the appended vertex
// stays unused).
bool addPointToHull(ZYLmesh& mesh, const Qmt::QmtVector3& point,
                    const Qmt::QmtVector3& interior, ConvexHullContext& context);
bool addPointToHull(ZYL_DFmesh& mesh, const Qmt::QmtVector3& point,
                    const Qmt::QmtVector3& interior, ConvexHullContext& context);

// Merges pairs of faces with parallel normals across shared edges until nothing
// changes. A face's shared edges are looked for among its first three corners only.
// Corners dropped as collinear that another face still uses are put back at the end.
void mergeCoplanarHullFaces(ZYLmesh& mesh, ConvexHullContext& context);
void mergeCoplanarHullFaces(ZYL_DFmesh& mesh, ConvexHullContext& context);

// Whether the grown faces (before mergeCoplanarHullFaces) on vertices [0, vertexCount)
// are sure to fail the count of a closed surface after the merge and the removal of
// unused vertices: their count sum(corners - 2) is not 2V - 4 for the V vertices they
// use, and the corners a merge could drop cannot bring it there. Merging keeps the
// count's excess over 2V - 4; each corner dropped takes one off it, each corner put
// back adds one and each vertex left unused adds two. False where it cannot tell.
bool mergeCannotClose(const ConvexHullContext& context, const Qmt::QmtVector3* v, std::uint32_t vertexCount);

// Drops vertices that no face references, keeping the order of the others, and
// renumbers the faces.
void removeUnusedHullVertices(ZYLmesh& mesh, ConvexHullContext& context);
void removeUnusedHullVertices(ZYL_DFmesh& mesh, ConvexHullContext& context);
