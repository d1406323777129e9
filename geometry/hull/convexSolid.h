#pragma once

#include "geometry/mesh/meshRecords.h"

// A quick answer for the nearly-convex test, which compares a mesh's volume with the
// volume of the convex hull of its local vertices: true when the mesh surely is the
// boundary of a convex solid whose hull (as buildConvexHullMesh builds it, within its
// stated tolerances) has a volume within a few percent of `volume`, the mesh's own
// volume. False means only "not known": the hull has to be built.
//
// It holds when the mesh has fewer than 512 vertices, the faces are planar, every
// vertex lies behind every face's plane, every directed edge has exactly one reverse
// (a closed surface), the surface winds once around the mean of the vertices, no two
// faces on distinct planes are nearly parallel (so the hull merges none across them),
// and the cloud is large and thick enough for the hull's tolerances not to move its
// volume by a tenth of the mesh's. The mesh is then its own hull.
bool surelyConvexSolid(const ZYL_DFmesh& mesh, double volume);
