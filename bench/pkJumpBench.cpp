// Hull-hull overlap test of the convex proximity solver on two 200-vertex hulls:
// far apart, just apart and overlapping, from a fresh cache (a pair's first frame)
// and from the cache the previous call left (every later frame).
#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>
#include <random>
#include <vector>

#include "bench/benchSupport.h"
#include "engine/collision/convex/pkJump.h"
#include "geometry/bvMesh.h"
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

}  // namespace
