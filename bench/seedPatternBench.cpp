// Seed patterns on a 2,000-vertex sphere: 10,000 seeds per run, uniform and clustered.

#include <benchmark/benchmark.h>

#include <vector>

#include "bench/benchSupport.h"
#include "src/shatter/seedPatterns.h"

namespace {

using Qmt::QmtVector3;

// The sphere's vertices are all the patterns read: its hull is built from 256 of them.
// Filled where it lives, since a copy of the record would share its arrays.
ZYL_DFmesh* sphereMesh() {
    static ZYL_DFmesh mesh;
    if (!mesh.vertices) {
        const auto points = benchdata::spherePoints(2000);
        mesh.numVertices = static_cast<std::uint32_t>(points.size());
        mesh.vertices = new QmtVector3[points.size()];
        mesh.worldVertices = new QmtVector3[points.size()];
        for (std::size_t i = 0; i < points.size(); ++i) {
            mesh.vertices[i] = mesh.worldVertices[i] = points[i];
        }
    }
    return &mesh;
}

void BM_RunSeedPattern(benchmark::State& state) {
    constexpr std::uint32_t kSeeds = 10000;
    std::vector<QmtVector3> points(kSeeds);
    zyl_shatter_params params;
    params.points = points.data();
    params.requested = kSeeds;
    params.style = static_cast<std::uint16_t>(state.range(0));
    params.seed = 7;
    params.width = 0.5;
    params.numCentres = 3;
    params.centres[0] = {-0.5, 0.0, 0.0};
    params.centres[1] = {0.5, 0.0, 0.0};
    params.centres[2] = {0.0, 0.5, 0.0};
    for (auto _ : state) {
        params.produced = kSeeds;
        benchmark::DoNotOptimize(runSeedPattern(params, sphereMesh()));
        benchmark::DoNotOptimize(points.data());
    }
    state.SetItemsProcessed(state.iterations() * kSeeds);
    state.SetLabel(params.style == 1 ? "clustered" : "uniform");
}
BENCHMARK(BM_RunSeedPattern)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace
