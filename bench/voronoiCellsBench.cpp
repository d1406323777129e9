// Voronoi cells of 100 and 1,000 seeds in a 2-unit cube and in a 5,000-face sphere,
// side by side with voro++ computing the cells of the same seeds in the same box.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <random>
#include <vector>

#if defined(ZYL_HAVE_VORO)
#include <voro++/voro++.hh>
#endif

#include "bench/benchSupport.h"
#include "src/shatter/voronoiCells.h"

namespace {

using Qmt::QmtVector3;

benchdata::Shape twoUnitCube() {
    return {{{-1, -1, -1}, {1, -1, -1}, {1, 1, -1}, {-1, 1, -1}, {-1, -1, 1}, {1, -1, 1}, {1, 1, 1}, {-1, 1, 1}},
            {{0, 3, 2, 1}, {4, 5, 6, 7}, {0, 1, 5, 4}, {1, 2, 6, 5}, {2, 3, 7, 6}, {3, 0, 4, 7}}};
}

// 49 rings of 100 vertices: 100 x 50 = 5,000 faces.
benchdata::Shape sphere() { return benchdata::latLongSphere(49, 100); }

// Seeds uniform in [-1, 1]^3, inside the unit ball when `inBall`.
std::vector<QmtVector3> seedsIn(std::size_t n, bool inBall) {
    std::mt19937 rng(17);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    std::vector<QmtVector3> seeds;
    while (seeds.size() < n) {
        const QmtVector3 p(u(rng), u(rng), u(rng));
        if (!inBall || p.SquaredLength() < 0.98) {
            seeds.push_back(p);
        }
    }
    return seeds;
}

// The shard count of one run.
std::uint32_t ourCells(ZYL_DFmesh& mesh, std::vector<QmtVector3> seeds) {
    std::uint32_t shards = 0;
    VoronoiCellHooks hooks;
    hooks.shard = [&shards](ZYL_DFmesh&) { ++shards; };
    cutVoronoiCells(mesh, seeds, hooks);
    return shards;
}

#if defined(ZYL_HAVE_VORO)
// voro++'s cells of the seeds in [-1, 1]^3, about five seeds per block; the sum of their volumes.
double voroCells(const std::vector<QmtVector3>& seeds) {
    const int blocks = std::max(1, static_cast<int>(std::cbrt(seeds.size() / 5.0)));
    voro::container con(-1, 1, -1, 1, -1, 1, blocks, blocks, blocks, false, false, false, 8);
    for (std::size_t i = 0; i < seeds.size(); ++i) {
        con.put(static_cast<int>(i), seeds[i].x, seeds[i].y, seeds[i].z);
    }
    double volume = 0.0;
    voro::c_loop_all loop(con);
    voro::voronoicell cell;
    if (loop.start()) {
        do {
            if (con.compute_cell(cell, loop)) {
                volume += cell.volume();
            }
        } while (loop.inc());
    }
    return volume;
}
#endif

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0.0 : v[v.size() / 2];
}

// Each iteration cuts the cells with both, in turns, so that neither always runs on a
// warm cache; the counters are median milliseconds and our median over voro++'s.
template <benchdata::Shape (*Make)(), bool InBall>
void BM_versusVoro(benchmark::State& state) {
    ZYL_DFmesh mesh;
    benchdata::fillMesh(mesh, Make());
    const auto seeds = seedsIn(static_cast<std::size_t>(state.range(0)), InBall);
    std::vector<double> times[2];
    const auto timed = [&times](int side, auto&& run) {
        const auto start = std::chrono::steady_clock::now();
        benchmark::DoNotOptimize(run());
        times[side].push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    };
    std::uint32_t shards = 0;
    int turn = 0;
    for (auto _ : state) {
        for (int k = 0; k < 2; ++k) {
            if ((turn + k) % 2 == 0) {
                timed(0, [&] { return shards = ourCells(mesh, seeds); });
            } else {
#if defined(ZYL_HAVE_VORO)
                timed(1, [&] { return voroCells(seeds); });
#endif
            }
        }
        ++turn;
    }
    state.counters["shards"] = shards;
    state.counters["ours_ms"] = median(times[0]);
#if defined(ZYL_HAVE_VORO)
    state.counters["voro_ms"] = median(times[1]);
    state.counters["ratio"] = median(times[0]) / median(times[1]);
#else
    state.SetLabel("voro++ absent: no comparison");
#endif
}

}  // namespace

BENCHMARK_TEMPLATE(BM_versusVoro, twoUnitCube, false)->Arg(100)->Iterations(21)->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_versusVoro, twoUnitCube, false)->Arg(1000)->Iterations(7)->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_versusVoro, sphere, true)->Arg(100)->Iterations(7)->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_versusVoro, sphere, true)->Arg(1000)->Iterations(3)->Unit(benchmark::kMillisecond);
