#pragma once

#include <any>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "geometry/mesh/meshRecords.h"
#include "math/qmtVector3.h"

// Voronoi cells of a mesh: for each seed, a copy of the mesh clipped by the bisector
// plane of that seed and every other seed, nearest first. The core knows no host: the
// shatter command hands each shard it gets to the shard builder, the benchmark counts them.

// The point every seed sort measures from.
void setSeedReferencePoint(const Qmt::QmtVector3& point);
// qsort-style comparison of two seeds by squared distance from the reference point:
// -1 when the first is nearer, 1 when the second is, 0 when equally far.
int compareSeedDistance(const void* a, const void* b);
// Sorts seeds by distance from the reference point; equally far seeds keep their order.
void sortSeedsByDistance(Qmt::QmtVector3* seeds, std::size_t count);

struct VoronoiCellHooks {
    // Asked before each cell; true stops the run.
    std::function<bool()> cancelled;
    // Each shard, its id in shardId: the cell number c (from 1) for a whole cell, or
    // k x 10000 + c in 16 bits for piece k of a cell that fell apart. The mesh is freed
    // when the call returns.
    std::function<void(ZYL_DFmesh& shard)> shard;
    // Instead of `shard`: `prepare` runs on the thread that cut the cell, for each shard
    // as soon as it is cut (so on several threads at once: it must read the shard only),
    // and the shard is freed there; `prepared` then gets what it made, on the calling
    // thread in shard order.
    std::function<std::any(const ZYL_DFmesh& shard)> prepare;
    std::function<void(std::any& made)> prepared;
    // After each cell that made shards: its index in cutting order and the seed count.
    std::function<void(std::uint32_t cell, std::uint32_t count)> cellBuilt;
};

// The distance below which the clipper merges the cut vertices of a mesh: its
// tolerance for a short edge, in the space it scales the mesh into, in world units. A
// cut may move a shard's faces by about that much.
double cutMergeDistance(const ZYL_DFmesh& mesh);

// How many seeds have a coordinate that is not a finite number.
std::size_t countNonFiniteSeeds(const std::vector<Qmt::QmtVector3>& seeds);

// Sorts the seeds by distance from the first one (the cutting order, which the shatter
// history records), then cuts one cell per seed out of a copy of the mesh. With fewer
// than two seeds no cell is made; seeds that coincide (closer than 1e-12 of their size)
// make one cell, the earliest's in cutting order. Labels the mesh's pieces once, to
// learn whether the clips must cut piece by piece. A cell of a closed mesh that comes
// out open is cut again clip by clip, each clip that opens it made again off the
// near-coincidence that caused it. False when cancelled, and, with nothing cut or
// sorted, when a seed is not finite.
//
// The cells are cut on worker threads, a few ahead of the one handed over; the hooks
// but `prepare` run on the calling thread only, in cell order, and see exactly what a
// cell-by-cell run gives. The mesh is only read while the cells are cut.
bool cutVoronoiCells(ZYL_DFmesh& mesh, std::vector<Qmt::QmtVector3>& seeds, const VoronoiCellHooks& hooks);
