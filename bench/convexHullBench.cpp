#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>
#include <random>
#include <vector>

#include "geometry/convexHull.h"

namespace {

using Qmt::QmtVector3;

// Unit sphere: at 100,000 points neighbours come closer than the hull's absolute
// tolerances (edges below sqrt(1e-5) make no face), which the wide sphere avoids.
std::vector<QmtVector3> onSphere(std::uint32_t n, double radius) {
    std::mt19937 rng(12345);
    std::normal_distribution<double> g(0.0, 1.0);
    std::vector<QmtVector3> pts;
    pts.reserve(n);
    while (pts.size() < n) {
        QmtVector3 p(g(rng), g(rng), g(rng));
        if (p.Unitize(1e-9) > 0.0) {
            pts.push_back(p * radius);
        }
    }
    return pts;
}

std::vector<QmtVector3> onUnitSphere(std::uint32_t n) { return onSphere(n, 1.0); }
std::vector<QmtVector3> onWideSphere(std::uint32_t n) { return onSphere(n, 100.0); }

std::vector<QmtVector3> inCube(std::uint32_t n) {
    std::mt19937 rng(12345);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    std::vector<QmtVector3> pts;
    pts.reserve(n);
    for (std::uint32_t i = 0; i < n; ++i) {
        pts.emplace_back(u(rng), u(rng), u(rng));
    }
    return pts;
}

template <std::vector<QmtVector3> (*Make)(std::uint32_t)>
void BM_buildConvexHullMesh(benchmark::State& state) {
    const auto pts = Make(static_cast<std::uint32_t>(state.range(0)));
    std::uint32_t faces = 0;
    std::uint32_t vertices = 0;
    for (auto _ : state) {
        const std::unique_ptr<ZYLmesh> hull(
            buildConvexHullMesh(pts.data(), static_cast<std::uint32_t>(pts.size())));
        faces = hull ? hull->numFaces : 0;
        vertices = hull ? hull->numVertices : 0;
        benchmark::DoNotOptimize(faces);
    }
    state.counters["hullVertices"] = vertices;
    state.counters["hullFaces"] = faces;
}

// The face-by-face builder once stalled on the dense unit sphere (10,000 points): holes
// left by dropped slivers kept feeding it faces to grow from.
template <std::vector<QmtVector3> (*Make)(std::uint32_t)>
void BM_buildConvexHullDFmesh(benchmark::State& state) {
    const auto pts = Make(static_cast<std::uint32_t>(state.range(0)));
    std::uint32_t faces = 0;
    std::uint32_t vertices = 0;
    for (auto _ : state) {
        const std::unique_ptr<ZYL_DFmesh> hull(
            buildConvexHullDFmesh(pts.data(), static_cast<std::uint32_t>(pts.size())));
        faces = hull ? hull->numFaces : 0;
        vertices = hull ? hull->numVertices : 0;
        benchmark::DoNotOptimize(faces);
    }
    state.counters["hullVertices"] = vertices;
    state.counters["hullFaces"] = faces;
}

}  // namespace

BENCHMARK_TEMPLATE(BM_buildConvexHullDFmesh, onUnitSphere)->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_buildConvexHullMesh, onUnitSphere)->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_buildConvexHullMesh, onUnitSphere)->Arg(512)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_buildConvexHullMesh, onWideSphere)->Arg(512)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_buildConvexHullMesh, inCube)->Arg(512)->Arg(100000)->Unit(benchmark::kMillisecond);
