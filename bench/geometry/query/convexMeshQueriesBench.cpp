// Point tests against a convex hull, as the seed-point patterns run them once per
// candidate point.
#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

#include "bench/benchSupport.h"
#include "geometry/query/convexMeshQueries.h"

namespace {

using Qmt::QmtVector3;

// Hull of 256 points spread evenly over a unit sphere: 500 faces.
std::unique_ptr<ZYLmesh> sphereHull() { return benchdata::placedHull(benchdata::spherePoints(256)); }

// Candidates in the hull's bounding cube: about half of them inside.
std::vector<QmtVector3> candidates() { return benchdata::randomPoints(4096, 3, -1.0, 1.0); }

void BM_PointInConvexMesh(benchmark::State& state) {
    const auto hull = sphereHull();
    if (!hull) {
        state.SkipWithError("hull build failed");
        return;
    }
    state.counters["faces"] = hull->numFaces;
    const auto points = candidates();
    std::size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(pointInConvexMesh(points[i], hull.get(), 1e-5));
        i = (i + 1) & (points.size() - 1);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_PointInConvexMesh);

void BM_PushPointInsideConvexMesh(benchmark::State& state) {
    const auto hull = sphereHull();
    if (!hull) {
        state.SkipWithError("hull build failed");
        return;
    }
    const bool nearest = state.range(0) != 0;
    const auto points = candidates();
    std::size_t i = 0;
    for (auto _ : state) {
        QmtVector3 p = points[i] * 1.5;
        pushPointInsideConvexMesh(hull.get(), p, 0.01, nearest);
        benchmark::DoNotOptimize(p);
        i = (i + 1) & (points.size() - 1);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_PushPointInsideConvexMesh)->Arg(0)->Arg(1);

}  // namespace
