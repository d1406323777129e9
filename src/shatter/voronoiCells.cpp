#include "src/shatter/voronoiCells.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <numeric>

#include "engine/threads/processorCount.h"
#include "engine/tools/meshTools.h"
#include "engine/world/engineApi.h"
#include "geometry/bounds/boxFit.h"
#include "src/shatter/inOrderWorkers.h"
#include "src/shatter/shardChecks.h"

using Qmt::QmtVector3;

namespace {

// The point the seed sorts measure from.
QmtVector3 seedReferencePoint;

struct DFmeshDeleter {
    void operator()(ZYL_DFmesh* mesh) const { deleteDFmesh(&mesh); }
};
using OwnedDFmesh = std::unique_ptr<ZYL_DFmesh, DFmeshDeleter>;

// Squared distance that stops at the largest double instead of overflowing (seeds
// farther apart than about 1e154): such seeds then tie, and every test below that reads
// a distance takes the one it is given as a lower bound.
double squaredDistance(const QmtVector3& a, const QmtVector3& b) {
    const double d = (a - b).SquaredLength();
    return d <= std::numeric_limits<double>::max() ? d : std::numeric_limits<double>::max();
}

// The largest coordinate, by size.
double largestCoordinate(const QmtVector3& v) { return std::max({std::fabs(v.x), std::fabs(v.y), std::fabs(v.z)}); }

// Two seeds closer than a millionth of a millionth of their size make one cell: a
// bisector between them would sit at the rounding of their coordinates.
bool seedsCoincide(const QmtVector3& a, const QmtVector3& b) {
    return largestCoordinate(a - b) <= 1e-12 * (1.0 + largestCoordinate(a) + largestCoordinate(b));
}

// The clipper normalises a plane normal only when it is longer than a millionth: one far
// shorter (seeds very close together), or one whose squared length would overflow
// (seeds very far apart), goes to it scaled by a power of two, which leaves every bit
// of its direction as it is.
QmtVector3 clipNormal(const QmtVector3& m) {
    const double largest = largestCoordinate(m);
    if (!(largest > 0.0) || !std::isfinite(largest) || (largest >= 0x1p-19 && largest <= 0x1p510)) {
        return m;
    }
    const int e = std::ilogb(largest) - 1;  // the largest coordinate lands in [2, 4)
    return {std::scalbn(m.x, -e), std::scalbn(m.y, -e), std::scalbn(m.z, -e)};
}

// The other seeds of one cell in clipping order, nearest first.
//
// The cutting re-sorts one working array stably for every cell, so seeds equally far
// from seed i keep the order the earlier cells left them in: the order is by distance
// from seed i, then from seed i - 1, ..., then from seed 0, then by cutting order.
// Only the front of it is ever needed, since farther planes cannot reach the cell: it
// is sorted in growing runs, each picked out of the rest first.
class CellOrder {
public:
    explicit CellOrder(const std::vector<QmtVector3>& seeds)
        : seeds_(seeds), order_(seeds.size()), distance_(seeds.size()),
          far_(std::ranges::any_of(seeds, [](const QmtVector3& s) { return largestCoordinate(s) > 0x1p510; })) {}

    void start(std::uint32_t cell) {
        cell_ = cell;
        sorted_ = 0;
        std::iota(order_.begin(), order_.end(), 0u);
        const QmtVector3& s = seeds_[cell];
        // Only seeds beyond 2^510 can overflow a squared distance.
        if (far_) {
            for (std::size_t j = 0; j < seeds_.size(); ++j) {
                distance_[j] = squaredDistance(seeds_[j], s);
            }
            return;
        }
        for (std::size_t j = 0; j < seeds_.size(); ++j) {
            distance_[j] = (seeds_[j] - s).SquaredLength();
        }
    }

    // The seed at place k of the order, and its squared distance from the cell's seed.
    std::uint32_t at(std::size_t k) {
        if (k >= sorted_) {
            const std::size_t end = std::min(order_.size(), std::max<std::size_t>(2 * sorted_, k + 32));
            const auto nearer = [this](std::uint32_t a, std::uint32_t b) { return precedes(a, b); };
            std::nth_element(order_.begin() + sorted_, order_.begin() + (end - 1), order_.end(), nearer);
            std::sort(order_.begin() + sorted_, order_.begin() + end, nearer);
            sorted_ = end;
        }
        return order_[k];
    }
    double distance(std::uint32_t seed) const { return distance_[seed]; }

private:
    bool precedes(std::uint32_t a, std::uint32_t b) const {
        if (distance_[a] != distance_[b]) {
            return distance_[a] < distance_[b];
        }
        return precedesAtEqualDistance(a, b);
    }
    // Seeds equally far from this cell's seed: by the earlier cells' seeds, then by index.
    [[gnu::noinline]] bool precedesAtEqualDistance(std::uint32_t a, std::uint32_t b) const {
        const QmtVector3& p = seeds_[a];
        const QmtVector3& q = seeds_[b];
        if (p.x != q.x || p.y != q.y || p.z != q.z) {
            for (std::uint32_t t = cell_; t-- > 0;) {
                const double da = squaredDistance(p, seeds_[t]);
                const double db = squaredDistance(q, seeds_[t]);
                if (da != db) {
                    return da < db;
                }
            }
        }
        return a < b;
    }

    const std::vector<QmtVector3>& seeds_;
    std::vector<std::uint32_t> order_;
    std::vector<double> distance_;
    bool far_;
    std::uint32_t cell_ = 0;
    std::size_t sorted_ = 0;
};

// Squared distance from the seed to the cell's farthest vertex (the clipper's space).
double reachSquared(const ZYL_DFmesh& cell, const QmtVector3& seed) {
    double reach = 0.0;
    for (std::uint32_t v = 0; v < cell.numVertices; ++v) {
        reach = std::max(reach, squaredDistance(cell.worldVertices[v], seed));
    }
    return reach;
}

// Rounding allowance for deciding that a vertex lies strictly on the kept side of a
// bisector plane: far above the error of the clipper's own classification.
double sideMargin(double distance, double reach, const QmtVector3& seed) {
    return 1e-9 * (1.0 + distance + reach + seed.Length());
}

// A bisector plane whose other seed lies farther than twice the cell's reach from its
// seed leaves the whole cell on the kept side; so does every farther one.
bool planesMissFromHere(double distanceSquared, double reachSq, const QmtVector3& seed) {
    const double d = std::sqrt(distanceSquared);
    const double reach = std::sqrt(reachSq);
    return 0.5 * d - reach > sideMargin(d, reach, seed);
}

// Every vertex lies on the kept side of the plane through p with normal m (length d).
bool planeMissesCell(const ZYL_DFmesh& cell, const QmtVector3& m, double d, const QmtVector3& p, double reachSq,
                     const QmtVector3& seed) {
    const double margin = sideMargin(d, std::sqrt(reachSq), seed) * d;
    for (std::uint32_t v = 0; v < cell.numVertices; ++v) {
        if (!((cell.worldVertices[v] - p).Dot(m) > margin)) {
            return false;
        }
    }
    return true;
}

// What a thread reuses from cell to cell.
struct CellScratch {
    CellOrder order;
    std::vector<std::uint8_t> keep;  // faces copied for the first clip
};

// The shards of one cell, their ids set: the whole cell when it is nearly convex or
// one piece, else each of its pieces. Empty when the cell was dropped.
struct CellShards {
    std::vector<OwnedDFmesh> meshes;
    std::vector<std::any> prepared;  // made of the meshes, which are then freed
    bool built = false;
};

void collectShards(OwnedDFmesh cell, std::uint32_t number, CellShards& out) {
    out.built = true;
    const auto add = [&out](OwnedDFmesh mesh, std::uint32_t id) {
        mesh->shardId = static_cast<std::uint16_t>(id);
        out.meshes.push_back(std::move(mesh));
    };
    if (isNearlyConvex(cell.get())) {
        add(std::move(cell), number);
        return;
    }
    ZYL_DFmesh** pieces = nullptr;
    const int count = splitDFmeshPieces(cell.get(), &pieces);
    if (count <= 1) {
        add(std::move(cell), number);
        return;
    }
    std::unique_ptr<ZYL_DFmesh*[]> array(pieces);
    std::vector<OwnedDFmesh> owned;
    for (int k = 0; k < count; ++k) {
        owned.emplace_back(pieces[k]);
    }
    for (int k = 0; k < count; ++k) {
        add(std::move(owned[k]), static_cast<std::uint32_t>(k) * 10000u + number);
    }
}

// The copy of the mesh that the first clip starts from. That clip drops every face
// lying wholly below its plane (beyond the clipper's snapping distance, with room to
// spare: the clipper's scale is 1 or more) without reading it again, and classifies
// by vertices alone, so such faces need not be copied. The first face always is (the
// clip reads its piece number), and a face with an index out of range stops the
// shortcut (the clip refuses the whole mesh). A mesh cut piece by piece is copied
// whole, as its pieces follow from all of its faces.
OwnedDFmesh copyForFirstClip(const ZYL_DFmesh& mesh, const QmtVector3& m, const QmtVector3& p, bool pieceAware,
                             std::vector<std::uint8_t>& keep) {
    const double length = m.Length();
    if (pieceAware || !mesh.worldVertices || !mesh.faces || !(length > 0.0)) {
        return OwnedDFmesh(copyDFmesh(&mesh));
    }
    const QmtVector3 n = m / length;
    const double margin = 1e-4 + 1e-9 * p.Length();
    keep.assign(mesh.numFaces, 1);
    for (std::uint32_t f = 1; f < mesh.numFaces; ++f) {
        const ZYL_DFface& face = mesh.faces[f];
        if (!face.vertices || face.numVertices > face.capacity) {
            return OwnedDFmesh(copyDFmesh(&mesh));
        }
        bool below = face.numVertices > 0;
        for (std::uint32_t k = 0; k < face.numVertices; ++k) {
            const std::uint32_t v = face.vertices[k];
            if (v >= mesh.numVertices) {
                return OwnedDFmesh(copyDFmesh(&mesh));
            }
            const QmtVector3& q = mesh.worldVertices[v];
            below = below && n.Dot(q - p) < -(margin + 1e-9 * q.Length());
        }
        keep[f] = below ? 0 : 1;
    }
    return OwnedDFmesh(copyDFmeshFaces(&mesh, keep.data()));
}

// Whatever lies below the plane (through p with unit normal n) lies within `depth` of it.
bool onlySliverBelow(const ZYL_DFmesh& cell, const QmtVector3& n, const QmtVector3& p, double depth) {
    for (std::uint32_t v = 0; v < cell.numVertices; ++v) {
        if (n.Dot(cell.worldVertices[v] - p) < -depth) {
            return false;
        }
    }
    return true;
}

// A clip that opens a closed cell. Where seeds lie almost in a lattice, a plane can pass
// within the clipper's tolerances of a corner or an edge of the cell, and the cut can
// leave a slit that no cap closes. The cell as it was before the clip comes back when
// the plane only shaves a sliver thinner than the clipper's merge distance off it (its
// neighbour keeps the sliver too), else the plane moves by a few merge distances either
// way, off the near-coincidence, until a cut leaves the cell closed; the faces move by
// no more than the clipper's own merges move them. When nothing helps, the open cut
// stays, for the checks after the cut to find.
int reclipClosed(OwnedDFmesh& cell, OwnedDFmesh before, const QmtVector3& normal, const QmtVector3& p,
                 bool pieceAware, int result) {
    if (!before || before->numVertices == 0) {
        return result;
    }
    const QmtVector3 n = normal / normal.Length();
    const double merge = cutMergeDistance(*before);
    if (onlySliverBelow(*before, n, p, 2.0 * merge)) {
        cell = std::move(before);
        return 1;
    }
    for (const double shift : {2.0, -2.0, 4.0, -4.0, 8.0, -8.0}) {
        OwnedDFmesh attempt(copyDFmesh(before.get()));
        if (!attempt) {
            break;
        }
        const int moved = clipDFmeshByPlane(attempt.get(), normal, p + n * (shift * merge), pieceAware);
        if (moved == 0 && isClosedSurface(*attempt)) {
            cell = std::move(attempt);
            return 0;
        }
    }
    return result;
}

// Cuts cell i (seeds already in cutting order) out of a copy of the mesh. A cell of a
// closed mesh that comes out open is cut again with care: a copy before each clip, and
// every clip that opens the cell made again (reclipClosed).
CellShards cutCell(const ZYL_DFmesh& mesh, const std::vector<QmtVector3>& seeds, std::uint32_t i, bool pieceAware,
                   bool closedMesh, CellScratch& scratch, bool careful = false) {
    CellShards shards;
    const auto count = static_cast<std::uint32_t>(seeds.size());
    CellOrder& order = scratch.order;
    order.start(i);
    if (count < 2 || !mesh.worldVertices || mesh.numVertices == 0 || mesh.numFaces == 0 || !mesh.faces) {
        return shards;
    }
    const QmtVector3& s = seeds[i];
    // Seeds that coincide with this one (itself included) lie within this reach of it, at
    // the front of its order: the earliest of them alone makes the cell, and no plane
    // lies between them.
    const double together = 2e-12 * (1.0 + 2.0 * largestCoordinate(s));
    const double togetherSq = 3.0 * together * together;
    // The copy is made at the first plane that cuts; until then the mesh stands in.
    OwnedDFmesh cell;
    double reach = reachSquared(mesh, s);
    bool kept = true;
    bool lastMissed = false;
    for (std::uint32_t k = 0; k < count && kept; ++k) {
        // The seed itself is first in its order, unless an equal one with a smaller index is.
        const std::uint32_t j = order.at(k);
        if (order.distance(j) <= togetherSq && seedsCoincide(s, seeds[j])) {
            if (j < i) {
                return shards;
            }
            continue;
        }
        // A clip by a plane that misses the cell only marks every face alive, so
        // such planes are left out and the marks set at the end. A mesh cut piece
        // by piece is rebuilt even by a plane that misses: it takes every plane.
        if (!pieceAware && planesMissFromHere(order.distance(j), reach, s)) {
            lastMissed = true;
            break;
        }
        const QmtVector3& w = seeds[j];
        const QmtVector3 m = s - w;
        const QmtVector3 p = (s + w) * 0.5;
        if (!pieceAware && planeMissesCell(cell ? *cell : mesh, m, std::sqrt(order.distance(j)), p, reach, s)) {
            lastMissed = true;
            continue;
        }
        const QmtVector3 normal = clipNormal(m);
        if (!cell) {
            cell = careful ? OwnedDFmesh(copyDFmesh(&mesh)) : copyForFirstClip(mesh, normal, p, pieceAware, scratch.keep);
            if (!cell) {
                return shards;
            }
        }
        OwnedDFmesh before(careful ? copyDFmesh(cell.get()) : nullptr);
        int result = clipDFmeshByPlane(cell.get(), normal, p, pieceAware);
        if (careful && result == 0 && !isClosedSurface(*cell)) {
            result = reclipClosed(cell, std::move(before), normal, p, pieceAware, result);
        }
        kept = result >= 0;
        lastMissed = false;
        if (result == 0) {
            reach = reachSquared(*cell, s);
        }
    }
    if (!kept) {
        return shards;
    }
    if (!cell) {
        cell.reset(copyDFmesh(&mesh));
        if (!cell) {
            return shards;
        }
    }
    if (closedMesh && !careful && !isClosedSurface(*cell)) {
        return cutCell(mesh, seeds, i, pieceAware, closedMesh, scratch, true);
    }
    if (lastMissed) {
        for (std::uint32_t f = 0; f < cell->numFaces; ++f) {
            cell->faces[f].alive = 1;
        }
    }
    collectShards(std::move(cell), i + 1, shards);
    return shards;
}

// Cells are cut on every processor, each from its own copy of the mesh, and handed
// over in cutting order; a caller that works on every cell it takes keeps a processor of
// its own. Workers keep a few cells each ahead of the one handed over.
unsigned cellThreads(bool callerWorks) {
    const int processors = std::max(1, getSystemProcessorCount());
    return static_cast<unsigned>(callerWorks && processors > 2 ? processors - 1 : processors);
}

}  // namespace

void setSeedReferencePoint(const QmtVector3& point) { seedReferencePoint = point; }

int compareSeedDistance(const void* a, const void* b) {
    const double da = squaredDistance(*static_cast<const QmtVector3*>(a), seedReferencePoint);
    const double db = squaredDistance(*static_cast<const QmtVector3*>(b), seedReferencePoint);
    return da < db ? -1 : (db < da ? 1 : 0);
}

void sortSeedsByDistance(QmtVector3* seeds, std::size_t count) {
    std::stable_sort(seeds, seeds + count,
                     [](const QmtVector3& a, const QmtVector3& b) { return compareSeedDistance(&a, &b) < 0; });
}

std::size_t countNonFiniteSeeds(const std::vector<QmtVector3>& seeds) {
    return static_cast<std::size_t>(std::ranges::count_if(seeds, [](const QmtVector3& s) {
        return !(std::isfinite(s.x) && std::isfinite(s.y) && std::isfinite(s.z));
    }));
}

bool cutVoronoiCells(ZYL_DFmesh& mesh, std::vector<QmtVector3>& seeds, const VoronoiCellHooks& hooks) {
    if (countNonFiniteSeeds(seeds) > 0) {
        return false;
    }
    const bool pieceAware = dfmeshHasSeveralPieces(&mesh);
    const bool closedMesh = isClosedSurface(mesh);
    if (!seeds.empty()) {
        setSeedReferencePoint(seeds[0]);
        sortSeedsByDistance(seeds.data(), seeds.size());
    }
    const auto count = static_cast<std::uint32_t>(seeds.size());
    const unsigned threads = cellThreads(static_cast<bool>(hooks.prepared));
    const auto make = [&](CellScratch& scratch, std::uint32_t i) {
        CellShards cell = cutCell(mesh, seeds, i, pieceAware, closedMesh, scratch);
        if (hooks.prepare) {
            for (OwnedDFmesh& shard : cell.meshes) {
                cell.prepared.push_back(hooks.prepare(*shard));
                shard.reset();
            }
            cell.meshes.clear();
        }
        return cell;
    };
    const auto take = [&hooks, count](std::uint32_t i, CellShards& cell) {
        if (hooks.cancelled && hooks.cancelled()) {
            return false;
        }
        if (!cell.built) {
            return true;
        }
        for (OwnedDFmesh& shard : cell.meshes) {
            if (hooks.shard) {
                hooks.shard(*shard);
            }
            shard.reset();
        }
        for (std::any& made : cell.prepared) {
            if (hooks.prepared) {
                hooks.prepared(made);
            }
        }
        if (hooks.cellBuilt) {
            hooks.cellBuilt(i, count);
        }
        return true;
    };
    return makeInOrder<CellShards, CellScratch>(
        count, threads, 32 * threads, [&seeds] { return CellScratch{CellOrder(seeds), {}}; }, make, take);
}

double cutMergeDistance(const ZYL_DFmesh& mesh) {
    if (mesh.numVertices == 0 || !mesh.worldVertices) {
        return 0.0;
    }
    const QmtVector3 half = fitOrientedBox(mesh.numVertices, mesh.worldVertices).halfExtents;
    const double q = std::min({half.x, half.y, half.z}) / 10.0;
    const double scale = 1e-5 < q && q < 8.0 ? 8.0 / q : 1.0;
    return std::sqrt(1e-5) / scale;
}
