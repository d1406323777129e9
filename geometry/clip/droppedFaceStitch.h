#pragma once

#include <cstdint>
#include <vector>

#include "geometry/clip/cornerCompaction.h"
#include "geometry/mesh/meshRecords.h"
#include "math/qmtVector3.h"

// The compacted per-corner tables in which a corner put into a face takes its values;
// null where the faces carry no such attribute.
struct CornerTables {
    Compacted* normals = nullptr;  // interpolated normals are made unit
    Compacted* uvs = nullptr;
    Compacted* sets[MAX_EXTRA_UV_SETS] = {};
};

// A face that the write-back drops as degenerate (its corners on one line, or within
// the merge distance of one another) leaves the edges of its neighbours that ran along
// it without their reverse: a neighbour may run along the sliver's long side while the
// sliver's middle corner stays in another neighbour. The faces in `written` are mended:
// - corners of a dropped face within the merge distance of one another become one
//   vertex (the lowest index) in every written face; a corner equal to the one before it
//   goes, and a face left with fewer than 3 corners is emptied (numVertices 0);
// - each edge a -> b that is walked more often than its reverse then takes, in order
//   from a to b, the dropped faces' other corners that lie on it: within the merge
//   distance of the segment, farther than that from both ends, not yet corners of the
//   face. Such a corner takes the normal, UV and UV-set values interpolated along the
//   edge, appended to the tables (an index is kept where both ends share it);
// - when an edge at a corner of a dropped face still lacks its reverse (a long sliver
//   is wider than the merge distance: its short edges were not merged), both steps run
//   again with each dropped face's own distance, 4e-5 of its length (it lies within
//   1e-5 of its length of a line), in place of the merge distance.
// `dropped` lists the dropped faces, which hold new vertex indices (ABSENT_INDEX or any
// index from vertexCount up is not a vertex); the written faces hold new vertex indices
// and compacted attribute indices; positions are the new world vertices. Returns the
// number of corners put in; a face whose arrays cannot grow is left without them.
std::uint32_t stitchDroppedFaces(ZYL_DFface* faces, const std::vector<std::uint32_t>& written,
                                 const std::vector<std::uint32_t>& dropped, const Qmt::QmtVector3* world,
                                 std::uint32_t vertexCount, const CornerTables& tables);
