#pragma once

#include <cstdint>

#include "geometry/bounds/boundingVolumes.h"
#include "geometry/mesh/meshRecords.h"
#include "math/qmtMatrix3.h"
#include "math/qmtVector3.h"

// Placement of mesh records in the world, box meshes, vertex sampling and small face
// lookups. Box corner order (shared with BVbox::computeVertexes), with A_k = e_k * axis_k:
//   0 c+A0+A1+A2   1 c+A0+A1-A2   2 c+A0-A1-A2   3 c+A0-A1+A2
//   4 c-A0-A1-A2   5 c-A0+A1-A2   6 c-A0+A1+A2   7 c-A0-A1+A2

inline constexpr std::uint32_t BOX_CORNER_COUNT = 8;
inline constexpr std::uint32_t BOX_FACE_COUNT = 6;
// Face table of the box meshes as corner indices; the builders reverse any quad
// whose normal would point inward.
inline constexpr std::uint32_t BOX_FACE_TABLE[BOX_FACE_COUNT][4] = {
    {0, 1, 2, 3}, {4, 5, 6, 7}, {6, 5, 1, 0}, {7, 3, 2, 4}, {3, 7, 6, 0}, {4, 2, 1, 5}};

// Scale, rotate, translate: world vertex = R*(S o v) + T, world normal = unit(R*(n / S)),
// world centre likewise, world radius = |S| * radius * 0.577f. Stores S, R, T.
void meshTransformSRT(ZYLmesh* mesh, const Qmt::QmtVector3& T, const Qmt::QmtMatrix3& R,
                      const Qmt::QmtVector3& S);
void meshTransformSRT(ZYL_DFmesh* mesh, const Qmt::QmtVector3& T, const Qmt::QmtMatrix3& R,
                      const Qmt::QmtVector3& S);

// Translate, rotate, scale: world vertex = S o (R*(v + T)), world normal =
// unit((R*n) / S), centre likewise, radius and stored placement as for SRT.
void meshTransformTRS(ZYLmesh* mesh, const Qmt::QmtVector3& T, const Qmt::QmtMatrix3& R,
                      const Qmt::QmtVector3& S);
void meshTransformTRS(ZYL_DFmesh* mesh, const Qmt::QmtVector3& T, const Qmt::QmtMatrix3& R,
                      const Qmt::QmtVector3& S);

// The eight corners in the order above.
void computeBoxCorners(const ZYLbox& box, Qmt::QmtVector3 corners[8]);
void computeAABoxCorners(const ZYLAAbox& box, Qmt::QmtVector3 corners[8]);

// (Re)build the mesh as the box: 8 vertices, 6 outward quads, local and world normals.
// Arrays already large enough are reused. Scale, radii, UVs and face flags are kept.
// A null mesh is ignored.
void buildBoxMesh(const ZYLbox& box, ZYLmesh* mesh);
void buildBoxDFmesh(const ZYLbox& box, ZYL_DFmesh* mesh);
void buildAABoxMesh(const ZYLAAbox& box, ZYLmesh* mesh);
void buildAABoxDFmesh(const ZYLAAbox& box, ZYL_DFmesh* mesh);

// Evenly spaced local vertices. Returns the count written: n, or the vertex count when
// the mesh has fewer than n vertices. n must not be 0.
std::uint32_t sampleMeshVertices(const ZYLmesh& mesh, std::uint32_t n, Qmt::QmtVector3* out);
// n local vertices: every stride-th, or for strides below 2 the even-indexed vertices
// followed by the odd-indexed ones. n is limited to the vertex count; returns the
// count written.
std::uint32_t sampleDFmeshVertices(const ZYL_DFmesh& mesh, std::uint32_t n,
                                   Qmt::QmtVector3* out);
// Up to n local vertices of mesh lying more than 0.0001 outside some face plane of the
// convex mesh (last vertex first), evenly spaced over the outside ones. Returns the
// count written. Both meshes must be in the same space.
std::uint32_t sampleVerticesOutsideConvex(const ZYL_DFmesh& mesh, const ZYLmesh& convex,
                                          std::uint32_t n, Qmt::QmtVector3* out);

inline constexpr std::uint32_t NO_TRIANGLE_INDEX = 0xFFFFFFFF;

// Corner position (0..2) of vertex among the face's first three corners, or 0xFFFFFFFF.
std::uint32_t vertexIndexInTriangle(const ZYLface& face, std::uint32_t vertex);
// Edge of the first three corners joining a and b (either order): {V0,V1} -> 0,
// {V1,V2} -> 1, {V0,V2} -> 2, else 0xFFFFFFFF.
std::uint32_t edgeIndexInTriangle(const ZYLface& face, std::uint32_t a, std::uint32_t b);
std::uint32_t edgeIndexInDFTriangle(const std::uint32_t edge[2], const ZYL_DFface& face);

// centroid = mean of the corners; radius = distance from it to the nearest corner, ties
// falling through to the later corners.
void triangleCentroidRadius(const Qmt::QmtVector3 corners[3], Qmt::QmtVector3& centroid,
                            double& radius);

// Axis-aligned bounds of n points; the zero box for n = 0.
ZYLAAbox computeAABoxOfPoints(std::uint32_t n, const Qmt::QmtVector3* points);
