// Point tests against a convex hull, as the seed-point patterns run them once per
// candidate point.
#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <random>
#include <vector>

#include "geometry/convexHull.h"
#include "geometry/convexMeshQueries.h"

namespace {

using Qmt::QmtVector3;

// Hull of 256 points spread evenly over a unit sphere: 500 faces.
std::unique_ptr<ZYLmesh> sphereHull() {
    constexpr std::uint32_t n = 256;
    std::vector<QmtVector3> points(n);
    const double golden = M_PI * (3.0 - std::sqrt(5.0));
    for (std::uint32_t i = 0; i < n; ++i) {
        const double y = 1.0 - 2.0 * (i + 0.5) / n;
        const double r = std::sqrt(1.0 - y * y);
        points[i] = {r * std::cos(golden * i), y, r * std::sin(golden * i)};
    }
    return std::unique_ptr<ZYLmesh>(buildConvexHullMesh(points.data(), n));
}

// Candidates in the hull's bounding cube: about half of them inside.
std::vector<QmtVector3> candidates() {
    std::mt19937 rng(3);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    std::vector<QmtVector3> points(4096);
    for (auto& p : points) {
        p = {u(rng), u(rng), u(rng)};
    }
    return points;
}

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
