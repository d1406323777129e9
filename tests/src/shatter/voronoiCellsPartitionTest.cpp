// The Voronoi cells partition the mesh whatever the seeds: over a cube, a triangulated
// sphere and a torus, with a thousand seeds, every shard is closed with a positive
// volume, the shards' volumes add up to the mesh's, and random points of the mesh each
// lie in exactly one shard, all to the cutter's tolerances. The fixed seed sets are the
// hard cases met so far (repeated seeds, lattices whose planes pass through vertices or
// touch the surface); the random ones draw many sets of each kind: uniform, clustered
// (spreads from 0.5 % to 10 % of the diagonal), on a plane, and on a lattice, exact or
// jittered. ZYL_PARTITION_SETS sets how many random sets of each kind every mesh gets
// (2 by default).

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <numbers>
#include <random>
#include <string>
#include <vector>

#include "geometry/mesh/massProperties.h"
#include "geometry/testMeshes.h"
#include "src/shatter/shardChecks.h"
#include "src/shatter/voronoiCells.h"

namespace {

using Qmt::QmtVector3;
using Seeds = std::vector<QmtVector3>;

// A closed mesh as triangles (fans from each face's first corner), with its box.
struct Solid {
    std::vector<QmtVector3> corners;  // three per triangle
    QmtVector3 lo{1e300, 1e300, 1e300}, hi{-1e300, -1e300, -1e300};

    explicit Solid(const ZYL_DFmesh& m) {
        for (std::uint32_t f = 0; f < m.numFaces; ++f) {
            const ZYL_DFface& face = m.faces[f];
            for (std::uint32_t k = 1; k + 1 < face.numVertices; ++k) {
                for (const std::uint32_t v : {face.vertices[0], face.vertices[k], face.vertices[k + 1]}) {
                    corners.push_back(m.worldVertices[v]);
                }
            }
        }
        for (const QmtVector3& p : corners) {
            lo = {std::min(lo.x, p.x), std::min(lo.y, p.y), std::min(lo.z, p.z)};
            hi = {std::max(hi.x, p.x), std::max(hi.y, p.y), std::max(hi.z, p.z)};
        }
    }

    // Winding number of the surface about q (solid angles of its triangles over 4 pi).
    bool contains(const QmtVector3& q) const {
        if (q.x < lo.x || q.y < lo.y || q.z < lo.z || q.x > hi.x || q.y > hi.y || q.z > hi.z) return false;
        double angle = 0.0;
        for (std::size_t t = 0; t < corners.size(); t += 3) {
            const QmtVector3 a = corners[t] - q, b = corners[t + 1] - q, c = corners[t + 2] - q;
            const double la = a.Length(), lb = b.Length(), lc = c.Length();
            angle += 2.0 * std::atan2(a.Dot(b.Cross(c)), la * lb * lc + a.Dot(b) * lc + a.Dot(c) * lb + b.Dot(c) * la);
        }
        return angle > 2.0 * std::numbers::pi;
    }
};

meshtest::Shape triangulated(const meshtest::Shape& s) {
    meshtest::Shape out{s.vertices, {}};
    for (const auto& face : s.faces) {
        for (std::size_t k = 1; k + 1 < face.size(); ++k) out.faces.push_back({face[0], face[k], face[k + 1]});
    }
    return out;
}

// One mesh to cut, with its volume and points drawn inside it.
struct Source {
    std::string name;
    std::unique_ptr<ZYL_DFmesh> mesh;
    Solid whole;
    double volume;
    std::vector<QmtVector3> inside;

    Source(std::string n, const meshtest::Shape& shape, std::size_t points)
        : name(std::move(n)), mesh(meshtest::makeDFMesh(shape)), whole(*mesh), volume(computeMeshVolume(mesh.get())) {
        std::mt19937 rng(6);
        while (inside.size() < points) {
            const QmtVector3 q = uniform(rng);
            if (whole.contains(q)) inside.push_back(q);
        }
    }
    QmtVector3 uniform(std::mt19937& rng) const {
        std::uniform_real_distribution<double> u(0.0, 1.0);
        const QmtVector3 &lo = whole.lo, &hi = whole.hi;
        return {lo.x + (hi.x - lo.x) * u(rng), lo.y + (hi.y - lo.y) * u(rng), lo.z + (hi.z - lo.z) * u(rng)};
    }
    double diagonal() const { return (whole.hi - whole.lo).Length(); }
};

std::vector<Source> sources(std::size_t points) {
    std::vector<Source> out;
    out.emplace_back("cube", meshtest::box({-0.5, -0.5, -0.5}, {0.5, 0.5, 0.5}), points);
    out.emplace_back("sphere", triangulated(meshtest::sphere(10, 20, 0.5)), points);
    out.emplace_back("torus", meshtest::torus(24, 12, 0.35, 0.15), points);
    return out;
}

// The distance from q to the boundary between the cells of its two nearest seeds (seeds
// at one place make one cell).
double distanceToCellBoundary(const QmtVector3& q, const Seeds& seeds) {
    const auto nearest = [&](const QmtVector3* other) {
        std::size_t best = seeds.size();
        for (std::size_t i = 0; i < seeds.size(); ++i) {
            if ((!other || !(seeds[i] == *other)) &&
                (best == seeds.size() || (seeds[i] - q).SquaredLength() < (seeds[best] - q).SquaredLength())) {
                best = i;
            }
        }
        return best;
    };
    const std::size_t a = nearest(nullptr);
    const std::size_t b = nearest(&seeds[a]);
    if (b == seeds.size()) return 1e300;
    return ((seeds[b] - q).SquaredLength() - (seeds[a] - q).SquaredLength()) / (2.0 * (seeds[a] - seeds[b]).Length());
}

// Cuts the source with the seeds and checks the partition; false after a failure. The
// cutter works to tolerances: it merges cut vertices closer than its merge distance, so
// each shard may miss its area times that in volume, and points nearer a cell boundary
// than twice the mesh's merge distance may fall in a slit or an overlap as thin.
bool partitions(const Source& source, Seeds seeds, const std::string& what) {
    std::vector<Solid> shards;
    double total = 0.0;
    double moved = 0.0;
    int open = 0;
    int inverted = 0;
    VoronoiCellHooks hooks;
    hooks.shard = [&](ZYL_DFmesh& shard) {
        if (!meshtest::closed(shard)) ++open;
        const double v = computeMeshVolume(&shard);
        if (!(v > 0.0)) ++inverted;
        total += v;
        moved += measureSurface(shard, {}).area * cutMergeDistance(shard);
        shards.emplace_back(shard);
    };
    EXPECT_TRUE(cutVoronoiCells(*source.mesh, seeds, hooks)) << what;
    const double band = 2.0 * cutMergeDistance(*source.mesh);
    int wrong = 0;
    for (const QmtVector3& q : source.inside) {
        const auto holds = [&q](const Solid& s) { return s.contains(q); };
        wrong += std::count_if(shards.begin(), shards.end(), holds) != 1 && distanceToCellBoundary(q, seeds) > band;
    }
    const double allowed = 1e-6 * source.volume + moved;
    EXPECT_EQ(open, 0) << what;
    EXPECT_EQ(inverted, 0) << what;
    EXPECT_NEAR(total, source.volume, allowed) << what;
    EXPECT_EQ(wrong, 0) << what;
    return open == 0 && inverted == 0 && wrong == 0 && std::fabs(total - source.volume) <= allowed;
}

constexpr std::size_t kSeeds = 1000;

TEST(VoronoiCellsPartition, HardSeedSetsFillEachMeshOnce) {
    for (const Source& source : sources(5000)) {
        std::mt19937 rng(6);
        std::normal_distribution<double> g(0.0, 0.03 * source.diagonal());
        const Seeds centres = {source.uniform(rng), source.uniform(rng), source.uniform(rng)};
        Seeds clustered, plane, repeated;
        while (clustered.size() < kSeeds) {
            clustered.push_back(centres[clustered.size() % 3] + QmtVector3(g(rng), g(rng), g(rng)));
            plane.push_back({source.uniform(rng).x, source.uniform(rng).y, 0.0});
            // A quarter repeat earlier seeds.
            repeated.push_back(repeated.size() % 4 == 3 ? repeated[rng() % repeated.size()] : source.uniform(rng));
        }
        // Axis-aligned lattices: planes through rings of vertices, touching the torus's
        // inner ring at a vertex, and (the coarse one, reaching past the mesh) lying on the
        // cube's faces and tangent to the sphere's poles and the torus's outer ring.
        const auto lattice = [](int side, double step) {
            Seeds out;
            const auto at = [&](int k) { return k * step - 0.5 * (side - 1) * step; };
            for (int i = 0; i < side * side * side; ++i) out.push_back({at(i % side), at(i / side % side), at(i / (side * side))});
            return out;
        };
        partitions(source, clustered, source.name + " clustered");
        partitions(source, plane, source.name + " plane");
        partitions(source, repeated, source.name + " repeated");
        partitions(source, lattice(10, 0.1), source.name + " lattice");
        partitions(source, lattice(6, 0.25), source.name + " coarse lattice");
    }
}

std::string shortNumber(double x) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3g", x);
    return text;
}

// A random set of seeds of one kind around the source, and what it was.
Seeds randomSeeds(const Source& source, int kind, std::mt19937& rng, std::string& what) {
    std::uniform_real_distribution<double> u(0.0, 1.0);
    const double diagonal = source.diagonal();
    const QmtVector3 middle = (source.whole.lo + source.whole.hi) * 0.5;
    Qmt::QmtMatrix3 turn;
    turn.FromEulerAnglesXYZ(6.3 * u(rng), 6.3 * u(rng), 6.3 * u(rng));
    Seeds out;
    switch (kind) {
        case 0:
            what = "uniform";
            while (out.size() < kSeeds) out.push_back(source.uniform(rng));
            break;
        case 1: {
            const int count = 1 + static_cast<int>(rng() % 5);
            const double spread = diagonal * 0.005 * std::pow(20.0, u(rng));
            what = "clustered " + std::to_string(count) + " spread " + shortNumber(spread / diagonal);
            Seeds centres;
            for (int c = 0; c < count; ++c) centres.push_back(source.uniform(rng));
            std::normal_distribution<double> g(0.0, spread);
            while (out.size() < kSeeds) out.push_back(centres[out.size() % centres.size()] + QmtVector3(g(rng), g(rng), g(rng)));
            break;
        }
        case 2: {
            // Half the planes lie across a coordinate axis, the others at any angle.
            const bool aligned = u(rng) < 0.5;
            const QmtVector3 a = aligned ? QmtVector3(1, 0, 0) : turn.GetColumn(0);
            const QmtVector3 b = aligned ? QmtVector3(0, 1, 0) : turn.GetColumn(1);
            const QmtVector3 at = source.uniform(rng);
            what = std::string(aligned ? "aligned" : "turned") + " plane";
            while (out.size() < kSeeds) out.push_back(at + a * (diagonal * (u(rng) - 0.5)) + b * (diagonal * (u(rng) - 0.5)));
            break;
        }
        default: {
            // 10 x 10 x 10 points, a third of the lattices exact, the others jittered by up
            // to a third of their step; half of them turned.
            const double step = diagonal * (0.06 + 0.05 * u(rng));
            const double jitter = u(rng) < 1.0 / 3.0 ? 0.0 : step * 0.3 * std::pow(1e-8, u(rng));
            const bool turned = u(rng) < 0.5;
            what = std::string(turned ? "turned" : "aligned") + " lattice jitter " + shortNumber(jitter / step);
            const QmtVector3 shift = (QmtVector3(u(rng), u(rng), u(rng)) - QmtVector3(0.5, 0.5, 0.5)) * step;
            for (int i = 0; i < 1000; ++i) {
                const QmtVector3 p((i % 10 - 4.5) * step, (i / 10 % 10 - 4.5) * step, (i / 100 - 4.5) * step);
                const QmtVector3 noise = (QmtVector3(u(rng), u(rng), u(rng)) - QmtVector3(0.5, 0.5, 0.5)) * (2.0 * jitter);
                out.push_back(middle + shift + (turned ? turn * p : p) + noise);
            }
        }
    }
    return out;
}

TEST(VoronoiCellsPartition, RandomSeedSetsOfEveryKindFillEachMeshOnce) {
    const char* asked = std::getenv("ZYL_PARTITION_SETS");
    const int sets = asked ? std::max(1, std::atoi(asked)) : 2;
    int run = 0;
    int failed = 0;
    for (const Source& source : sources(2000)) {
        for (int kind = 0; kind < 4; ++kind) {
            for (int set = 0; set < sets; ++set) {
                std::mt19937 rng(static_cast<unsigned>(1000003 * kind + set));
                std::string what;
                const Seeds seeds = randomSeeds(source, kind, rng, what);
                failed += !partitions(source, seeds, source.name + " " + what + " (set " + std::to_string(set) + ")");
                ++run;
            }
        }
    }
    std::printf("%d random seed sets of %zu seeds, %d failed\n", run, kSeeds, failed);
}

}  // namespace
