#pragma once

#include <cstdint>

#include "geometry/mesh/meshRecords.h"
#include "geometry/mesh/pooledList.h"
#include "math/qmtVector3.h"

// Refines a ZYL_DMesh in place: every face of k corners becomes k quads (midpoint
// before corner i, corner i, midpoint after corner i, centroid), `levels` times (0
// runs one level, like 1). After each level the lists hold only the new data: world
// vertices and UVs in creation order (centroid, then the face's corner/midpoint loop,
// face after face), world vertices closer than squared distance 1e-5 merged onto the
// earlier one, local vertices rebuilt as (R^T (world - T)) / S, and the face-normal
// lists parallel to the face list. UVs are not merged. An empty UV list skips all UV
// work (extra sets included); an empty world face-normal list leaves both normal
// lists as they are. A face without corners is dropped.
//
// Preconditions: the caller sets the mesh's rotation, translation and scale (a mesh
// made from a ZYL_DFmesh starts with all three zero, and the scale divides), and face
// indices are valid for the lists.
//
// Ownership: faces in the list on entry are unlinked, never deleted (a mesh made from
// a ZYL_DFmesh points into that mesh's face array). Faces made by an intermediate
// level are deleted by the next one. The final faces are created with new and belong
// to the caller, who deletes them. New faces have edge count 0, alive 1 and normal
// indices 0xFFFFFFFF (absent).
//
// Returns the face count after the last level; 0 for a null mesh or when a scratch
// array cannot be allocated (the mesh then keeps the levels already done).
std::uint32_t subdivideDMeshFaces(ZYL_DMesh* mesh, std::uint32_t levels);

// Copies the list's vectors into out, front first; out needs room for list.count.
// Returns the number copied.
std::uint32_t copyVectorListToArray(const PooledList<Qmt::QmtVector3>& list, Qmt::QmtVector3* out);
