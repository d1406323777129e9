#pragma once

#include <cstdint>

#include "geometry/mesh/meshRecords.h"
#include "math/qmtVector3.h"

// Small editing tools on faces and vertex sets: fan splits of long vertex loops,
// splitting a detailed-mesh face into quads around its centre, renaming face flags,
// clipping a loop by a plane, and the vertex filters used by the reduced hull.

// ---------------------------------------------------------------------------------
// Fan split family.
//
// The polygon apex, loop[0], ..., loop[n-1] is cut into fan pieces: each piece is the
// apex followed by a run of consecutive loop indices, and consecutive pieces share the
// last loop index of the previous piece. Each piece is written into faces[*faceCount],
// after which *faceCount is incremented; the caller provides enough records.
//
// Only the first halving test uses `limit` (n >= limit - 1); from then on the limit is
// 32, so with 32 every piece has at most 31 corners. n < 2 writes nothing.
// ---------------------------------------------------------------------------------

// Pieces are sized with ZYL_DFface::allocate(n' + 1, 1); vertex indices written, edge
// count 0, alive 1, FACE_CAP ORed into the flags. UV indices are set to 0; normal
// indices of both DF members to 0xFFFFFFFF (absent). A piece whose allocation fails is
// skipped without taking a record.
void splitPolygonFan(std::uint32_t apex, const std::uint32_t* loop, int n, ZYL_DFface* faces,
                     int* faceCount, std::uint32_t limit);

// As splitPolygonFan with UV indices (apexUV, loopUV run) beside the vertex indices;
// flags are left as they are.
void splitPolygonFanWithAttr(std::uint32_t apex, const std::uint32_t* loop, std::uint32_t apexUV,
                             const std::uint32_t* loopUV, int n, ZYL_DFface* faces, int* faceCount,
                             std::uint32_t limit);

// ZYLface pieces: vertex indices, corner count n' + 1, edge count 0, marker 1, flags
// set to FACE_CAP. A limit above 32 is treated as 32, since a ZYLface holds 32 corners.
void splitPolygonFanInline(std::uint32_t apex, const std::uint32_t* loop, int n, ZYLface* faces,
                           int* faceCount, std::uint32_t limit);

// ZYLface pieces with vertex and UV indices; corner count n' + 1, edge count 0,
// marker 1, flags left as they are. A limit above 32 is treated as 32.
void splitPolygonFanPtrs(std::uint32_t apex, const std::uint32_t* loop, std::uint32_t apexUV,
                         const std::uint32_t* loopUV, int n, ZYLface* faces, int* faceCount,
                         std::uint32_t limit);

// ---------------------------------------------------------------------------------
// Face edits.
// ---------------------------------------------------------------------------------

// Interleaves the loop's corners with its edge midpoints: out[2i] = points[idx[i]],
// out[2i+1] = 0.5 (points[idx[(i+1) mod n]] + points[idx[i]]). out needs 2n entries.
// Returns 2n (0 for n = 0).
std::uint32_t computeFaceEdgeMidpoints(const std::uint32_t* idx, std::uint32_t n,
                                       const Qmt::QmtVector3* points, Qmt::QmtVector3* out);

// Replaces face `face` (n corners) by n quads around its centre. Its corners, edge
// midpoints and centre are appended as 2n + 1 new vertices (world data first, local
// data as (R^T (p - T)) / S from the mesh placement, so the scale must have no zero
// component); UVs and any extra UV sets grow the same way (a set the face carries no
// index array for gets zero entries); n - 1 copies of the face's normal are appended.
// The face array is rebuilt with n - 1 more records; every quad carries the old flags
// ORed with FACE_SPLIT, alive 1, edge count 0 and normal indices 0xFFFFFFFF.
// Does nothing for a null mesh, a face index out of range, a face without corners, or
// when an allocation fails (the mesh is then left as it was).
void subdivideDFmeshFace(ZYL_DFmesh* mesh, std::uint32_t face);

// Every face whose flags share a bit with mask: flags = (flags & ~mask) | value.
void replaceDFmeshFaceFlags(ZYL_DFmesh* mesh, std::uint16_t mask, std::uint16_t value);

// Splits a loop of n corners (at most 32) by the plane through `point` with `normal`.
// Corners within 1e-5 of the plane count as on it and go to both sides; an edge whose
// ends lie strictly on opposite sides adds its crossing point to both. Each output is
// a closed loop in input order, so `below` and `above` each need room for 2n points.
// No corner below: everything goes to `above`, returns 0. No corner above: everything
// goes to `below`, aboveCount 0, returns n. n > 32 is refused: returns 0, aboveCount 0.
// `unused` is not read.
std::uint32_t clipPolygonByPlane(const Qmt::QmtVector3* loop, const std::uint32_t& n,
                                 std::uint32_t unused, const Qmt::QmtVector3& point,
                                 const Qmt::QmtVector3& normal, Qmt::QmtVector3* below,
                                 Qmt::QmtVector3* above, std::uint32_t& aboveCount);

// ---------------------------------------------------------------------------------
// Vertex filters.
// ---------------------------------------------------------------------------------

// The source's local vertices that lie outside the convex mesh (some face has
// float(n_f . (x - q_f)) > 0.0001 on the convex mesh's local data), gathered from the
// last vertex to the first; writes min(c, n) of the c gathered at a stride of
// max(c / n, 1) and returns that count. Both meshes must be in the same space.
// Null meshes or n = 0 return 0.
std::uint32_t sampleVerticesOutsideConvex(const ZYLmesh* source, const ZYLmesh* convex,
                                          std::uint32_t n, Qmt::QmtVector3* out);

// Writes, in index order, the local vertices that are not on a straight line through
// two faces (faces read as their first three corners; a vertex is dropped when a
// triple (other corner of face i, v, neighbour of v in face j) is degenerate, relative
// tolerance 1e-5). out needs room for the vertex count. Returns the number written;
// 0 for a null mesh.
std::uint32_t collectCornerVertices(const ZYLmesh* mesh, Qmt::QmtVector3* out);

// Turn from edge e0 (U -> V) to edge e1 (X -> W) about `normal`: 1 for a clockwise
// turn seen from the normal's tip, -1 for a counter-clockwise one, 0 for none. When
// U, V, W lie in a line: 0 when V lies strictly between U and W (straight on),
// otherwise -1 (folding back).
int classifyEdgeTurn(const std::uint32_t e0[2], const std::uint32_t e1[2],
                     const Qmt::QmtVector3* points, const Qmt::QmtVector3& normal);
