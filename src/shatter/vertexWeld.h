#pragma once

#include <cstdint>

#include "geometry/mesh/meshRecords.h"

// Vertices that lie at exactly the same place (local and world positions alike, -0 and
// 0 taken as one) become the first of them: the faces use that one and the others leave
// the vertex arrays, the rest keeping their order. Many exporters give every face its
// own corners; the cutter needs the faces to share them to see one closed surface.
// Corners that then repeat their neighbour are dropped, and so are faces left with
// fewer than three. Corner normals and UVs stay as they were. Returns the number of
// vertices merged away.
std::uint32_t weldCoincidentVertices(ZYL_DFmesh& mesh);
