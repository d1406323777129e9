#pragma once

#include <cstdint>

#include "geometry/mesh/meshRecords.h"
#include "math/qmtVector3.h"

// Mesh tools of the flat interface for the shatter and mesh-operation code. The
// detailed-mesh tools wrap the caller's mesh, for the length of one call, in a
// temporary BVDFmesh (the volume with face connectivity, piece labelling and a
// clipper) and free it before they return; the mesh stays the caller's.

// True when the mesh has more than one connected piece (faces joined by shared edges).
// False when the temporary volume cannot be made or refuses the mesh (a face vertex
// index at or above the vertex count).
bool dfmeshHasSeveralPieces(ZYL_DFmesh* mesh);

// Subdivides faces `level` times (levels 1 to 3; any other level changes nothing):
// every face, unless onlyFlagged, else only the faces carrying FACE_CAP. Without
// onlyFlagged, FACE_CAP is set on every face for the pass and cleared on every face
// afterwards, the faces the pass made included; with onlyFlagged the flags are left as
// the pass leaves them (the new quads carry FACE_CAP). True whenever the temporary
// volume took the mesh, whatever the level; false otherwise.
bool tessellateDFmesh(ZYL_DFmesh* mesh, std::uint16_t level, bool onlyFlagged);

// Splits the mesh into its connected pieces, pieces lying inside one another joined
// into one. With two or more pieces left, *out receives a new array of that many new
// meshes (the caller owns the array and the meshes). Returns the piece count; with a
// count of 0 or 1, *out is left as it was and nothing is handed over. -1 when the mesh
// is refused or memory runs out.
int splitDFmeshPieces(ZYL_DFmesh* mesh, ZYL_DFmesh*** out);

// Cuts the mesh in place by the plane through `point` (world space) keeping the side
// into which `normal` points, and caps the opening with faces carrying FACE_CAP.
// Results as the clipper gives them: 1 nothing lies below the plane (mesh untouched),
// 0 cut, -1 nothing remains (mesh untouched when it lay wholly below).
//
// With pieceAware the mesh's connected pieces are labelled first; whenever the mesh
// counts two or more pieces, each piece (pieces nested in one another taken as one) is
// cut on its own and the mesh is rebuilt from the pieces that keep something, piece
// after piece; the result is then the best piece result. -1 also when the mesh is
// refused, memory runs out (the mesh is then left as it was) or no face remains.
int clipDFmeshByPlane(ZYL_DFmesh* mesh, const Qmt::QmtVector3& normal, const Qmt::QmtVector3& point,
                      bool pieceAware);

// The offset from p to the nearest point of the segment a..b goes to `out`; returns its
// squared length. A segment of zero length is its point a.
double pointSegmentDistanceSq(const Qmt::QmtVector3& p, const Qmt::QmtVector3& a, const Qmt::QmtVector3& b,
                              Qmt::QmtVector3& out);

// qsort comparator over Qmt::QmtVector3 elements by squared length: 1 when the first
// is longer, -1 when the second is, else 0.
int compareSquaredLength(const void* a, const void* b);

// The compact-mesh counterpart of clipDFmeshByPlane:
//  1. the mesh's world vertices are classified against the plane; when they all lie on
//     one side the class is returned at once (1: nothing below, -1: nothing above) and
//     the mesh is not touched;
//  2. a temporary BVmesh takes the mesh (-1 when it cannot be made or refuses the mesh)
//     and gets a clipper; the mesh is cut with the plane point taken into the
//     clipper's scaled space and the opening capped, and the volume's finish step
//     undoes the scale and rebuilds the face normals;
//  3. with islandAware and a cut made, the cut mesh's face islands are labelled, the
//     mesh is split into one piece per island, pieces nested in one another are
//     joined, and the pieces are joined back into the mesh one after the other: the
//     faces then come grouped piece by piece, vertices and UVs no face uses are
//     dropped, and the mesh's island count holds the number of separate pieces. When
//     memory runs out on the way the mesh stays as the cut left it.
// Returns the cut's result (0 when cut). Face edge indices are not valid afterwards.
int clipMeshByPlane(ZYLmesh* mesh, const Qmt::QmtVector3& normal, const Qmt::QmtVector3& point,
                    bool islandAware);

// True when the mesh has more than one face island; false when the temporary volume
// cannot be made or refuses the mesh.
bool meshHasSeveralIslands(ZYLmesh* mesh);

// The first face (in face order) whose world normal n does not point along the ray
// (direction . n <= 1e-5) and one of whose fan triangles the line origin + s direction
// meets (squared distance at most 1e-5) writes the meeting point and n; true then.
// False when no face is met or the mesh lacks world vertices or normals.
bool rayHitsFrontFace(const ZYL_DFmesh* mesh, const Qmt::QmtVector3& origin, const Qmt::QmtVector3& direction,
                      Qmt::QmtVector3& point, Qmt::QmtVector3& normal);

// The engine's version number, 3.89.
float engineVersion();

class HardBody;
class BinaryTreeNode;

// The leaves of a body's box tree: a triangle-mesh body's tree (its world state
// brought up to date first when stale) or a fracture body's stress tree. With a
// negative nodeId, *out = the tree's leaf array and the result is its leaf count;
// otherwise *out points at the run of that array holding the leaves below the node
// numbered nodeId (the array lists leaves depth first, first child first, so every
// subtree's leaves lie together) and the result is their number. 0, *out untouched,
// for other kinds, a body without a tree or leaf array, or an unknown id.
std::uint32_t collectTreeLeaves(HardBody* body, BinaryTreeNode*** out, int nodeId);
