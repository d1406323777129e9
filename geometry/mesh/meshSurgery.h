#pragma once

#include <cstdint>

#include "geometry/mesh/bvMesh.h"
#include "geometry/mesh/meshRecords.h"

// Surgery on compact meshes around a plane cut: face copies, joining two meshes into
// one and joining pieces that lie inside one another. The BVmesh members of the same
// family (splitByIslands, finishClip, hasOpenEdge, setConvexHull) live in
// meshSurgery.cpp too.
//
// Edge indices of copied faces keep referring to the source's edge table; whoever uses
// them on the result rebuilds the connectivity first. Meshes made here keep the default
// centres and radii.

// Copies the edge count and edge indices, the vertex count with the vertex and UV
// indices, the flags, island and extra. The marker is not copied. At most 32 entries of
// each list are copied, whatever the counts say.
void copyMeshFace(const ZYLface& source, ZYLface& destination);

// A new mesh holding A's vertices, UVs and faces followed by B's. B's faces take the low
// byte of the island of A's first face (0 when A has no faces); their vertex and UV
// indices move up by A's counts, and an index that then is not below the joined count
// becomes 0. Edge indices are left alone. Placement (scale, translation, rotation) is
// A's. The caller owns the result; null when A or B is null or memory runs out. The
// volume is not used.
ZYLmesh* mergeMeshPieces(const BVmesh* volume, const ZYLmesh* a, const ZYLmesh* b);

// Repeatedly joins the first pair i < j (scan order) where every world vertex of one
// lies strictly inside the other (as a convex mesh): the joined mesh replaces slot i,
// both originals are deleted, the pieces after j move down one slot and their faces'
// island fields take their new 0-based slot index, the freed last slot becomes null and
// count drops by one. Null pieces take no part. Stops, leaving the pieces as they are,
// when a join cannot be made. The volume is passed on, not used.
void mergeNestedPieces(const BVmesh* volume, ZYLmesh** pieces, std::uint32_t& count);
