#include <benchmark/benchmark.h>

#include "bench/benchSupport.h"
#include "geometry/mesh/bvMesh.h"

namespace {

// init with the edge table and vertex lists (and islands) on a 10 000-face mesh.
void BM_BVmeshInitConnectivity(benchmark::State& state) {
    ZYLmesh mesh;
    benchdata::fillMesh(mesh, benchdata::torus(100, 100));
    const auto options = static_cast<std::uint32_t>(state.range(0));
    for (auto _ : state) {
        BVmesh volume;
        benchmark::DoNotOptimize(volume.init(&mesh, options));
        benchmark::DoNotOptimize(volume.getEdgeCount());
    }
    state.SetItemsProcessed(state.iterations() * mesh.numFaces);
}
BENCHMARK(BM_BVmeshInitConnectivity)
    ->Arg(BVMESH_EDGES)
    ->Arg(BVMESH_EDGES | BVMESH_VERTICES)
    ->Arg(BVMESH_EDGES | BVMESH_VERTICES | BVMESH_ISLANDS)
    ->Unit(benchmark::kMicrosecond);

}  // namespace
