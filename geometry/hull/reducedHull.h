#pragma once

#include <cstdint>

#include "geometry/mesh/meshRecords.h"

// Convex hull of a mesh's local vertices with a bounded cost. A mesh of at most m
// vertices gets the hull of all of them; a larger one gets the hull of h = m / 2
// evenly strided vertices widened by up to h of the vertices lying more than 0.0001
// outside that first hull.
//
// Both return a new ZYLmesh owned by the caller, or null when there is no mesh, when a
// hull cannot be built (see buildConvexHullMesh), or when m < 2 for a mesh of more
// than m vertices.
ZYLmesh* buildReducedHullMesh(const ZYLmesh* mesh, std::uint32_t m);
ZYLmesh* buildReducedHullMeshDF(const ZYL_DFmesh* mesh, std::uint32_t m);
