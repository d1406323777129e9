// Overlap tests of the convex proximity solver: hull-hull on two 200-vertex hulls far
// apart, just apart and overlapping, hull-box, and a random everyday mix; from a
// fresh cache (a pair's first frame) and from the cache the previous call left
// (every later frame).
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <memory>
#include <random>
#include <vector>

#include "bench/benchSupport.h"
#include "engine/collision/convex/pkJump.h"
#include "geometry/bounds/boundingVolumes.h"
#include "geometry/mesh/bvMesh.h"
#include "math/qmtMatrix3.h"
#include "math/qmtVector3.h"

namespace {

using Qmt::QmtMatrix3;
using Qmt::QmtVector3;

struct Hull {
    std::unique_ptr<ZYLmesh> mesh;
    BVmesh volume;
};

// Hull of n points on the unit sphere (all of them hull vertices), moved to T.
std::unique_ptr<Hull> sphereHull(std::uint32_t n, unsigned seed, const QmtVector3& T) {
    std::mt19937 rng(seed);
    std::normal_distribution<double> g;
    std::vector<QmtVector3> points(n);
    for (QmtVector3& p : points) {
        p = QmtVector3(g(rng), g(rng), g(rng));
        p.Unitize(QmtMatrix3::EPSILON);
    }
    auto hull = std::make_unique<Hull>();
    hull->mesh = benchdata::placedHull(points, T);
    if (hull->mesh) {
        hull->volume.init(hull->mesh.get(), BVMESH_EDGES | BVMESH_VERTICES);
    }
    return hull;
}

QmtMatrix3 rotationAbout(const QmtVector3& a, double angle) {
    const double c = std::cos(angle), s = std::sin(angle), t = 1.0 - c;
    return QmtMatrix3(t * a.x * a.x + c, t * a.x * a.y - s * a.z, t * a.x * a.z + s * a.y,
                      t * a.x * a.y + s * a.z, t * a.y * a.y + c, t * a.y * a.z - s * a.x,
                      t * a.x * a.z - s * a.y, t * a.y * a.z + s * a.x, t * a.z * a.z + c);
}

// range(0): centre distance in hundredths; range(1): 1 = keep the cache between calls.
void BM_TestHullHull(benchmark::State& state) {
    const double distance = static_cast<double>(state.range(0)) / 100.0;
    const bool warm = state.range(1) != 0;
    QmtVector3 offset(1.0, 0.4, -0.3);
    offset.Unitize(QmtMatrix3::EPSILON);
    const auto a = sphereHull(200, 1, {0.0, 0.0, 0.0});
    const auto b = sphereHull(200, 2, offset * distance);
    if (!a->mesh || !b->mesh) {
        state.SkipWithError("hull build failed");
        return;
    }
    const Pk_jump solver;
    ProximityCache cache;
    std::uint64_t overlaps = 0;
    for (auto _ : state) {
        if (!warm) {
            cache = ProximityCache{};
        }
        overlaps += solver.testHullHull(a->volume, b->volume, cache);
        benchmark::DoNotOptimize(cache);
    }
    state.counters["overlap"] = static_cast<double>(overlaps) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_TestHullHull)
    ->ArgNames({"dist100", "warm"})
    ->Args({400, 0})
    ->Args({400, 1})
    ->Args({205, 0})
    ->Args({205, 1})
    ->Args({100, 0})
    ->Args({100, 1});

// A 60-vertex sphere hull against a unit box turned about (1, 1, 1), centres
// dist100 / 100 apart.
void BM_TestHullBox(benchmark::State& state) {
    const double distance = static_cast<double>(state.range(0)) / 100.0;
    const bool warm = state.range(1) != 0;
    QmtVector3 offset(1.0, 0.4, -0.3);
    offset.Unitize(QmtMatrix3::EPSILON);
    const auto a = sphereHull(60, 3, {0.0, 0.0, 0.0});
    if (!a->mesh) {
        state.SkipWithError("hull build failed");
        return;
    }
    QmtVector3 axis(1.0, 1.0, 1.0);
    axis.Unitize(QmtMatrix3::EPSILON);
    ZYLbox record{offset * distance, rotationAbout(axis, 0.6), {1.0, 0.5, 0.25}};
    const BVbox box(&record);
    const Pk_jump solver;
    ProximityCache cache;
    std::uint64_t overlaps = 0;
    for (auto _ : state) {
        if (!warm) {
            cache = ProximityCache{};
        }
        overlaps += solver.testHullBox(a->volume, box, cache);
        benchmark::DoNotOptimize(cache);
    }
    state.counters["overlap"] = static_cast<double>(overlaps) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_TestHullBox)
    ->ArgNames({"dist100", "warm"})
    ->Args({300, 0})
    ->Args({300, 1})
    ->Args({100, 0})
    ->Args({100, 1});

// The everyday mix: 256 pairs of 60-vertex hulls, randomly turned and placed so that
// about half overlap, each from a fresh cache; time per pair.
void BM_TestHullHullMix(benchmark::State& state) {
    constexpr std::uint32_t kPairs = 256;
    std::mt19937 rng(11);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    std::vector<std::unique_ptr<Hull>> hulls;
    for (std::uint32_t i = 0; i < 2 * kPairs; ++i) {
        const QmtVector3 T = i % 2 == 0 ? QmtVector3{} : QmtVector3{2.0 * u(rng), 2.0 * u(rng), 2.0 * u(rng)};
        hulls.push_back(sphereHull(60, 100 + i, T));
        if (!hulls.back()->mesh) {
            state.SkipWithError("hull build failed");
            return;
        }
    }
    const Pk_jump solver;
    std::uint64_t overlaps = 0;
    for (auto _ : state) {
        for (std::uint32_t k = 0; k < kPairs; ++k) {
            ProximityCache cache;
            overlaps += solver.testHullHull(hulls[2 * k]->volume, hulls[2 * k + 1]->volume, cache);
        }
    }
    state.SetItemsProcessed(state.iterations() * kPairs);
    state.counters["overlap"] =
        static_cast<double>(overlaps) / static_cast<double>(state.iterations() * kPairs);
}
BENCHMARK(BM_TestHullHullMix);

}  // namespace
