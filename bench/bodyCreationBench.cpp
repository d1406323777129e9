#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>

#include "bench/benchSupport.h"
#include "engine/bodies/hardBody.h"
#include "engine/world/engineApi.h"
#include "geometry/mesh/meshRecords.h"

// Body creation from host meshes: the hull body (full hull up to 511 vertices, the
// reduced hull of 512 beyond) and the triangle-mesh body (fan split, bound with its
// connectivity and volume).

namespace {

// A mesh of n points on the unit sphere and no faces: every point is a hull vertex,
// the worst case for the hull builders.
std::unique_ptr<ZYLmesh> spherePointMesh(std::uint32_t n) {
    const benchdata::Points points = benchdata::spherePoints(n);
    auto mesh = std::make_unique<ZYLmesh>();
    mesh->numVertices = n;
    mesh->vertices = new Qmt::QmtVector3[n];
    std::copy(points.begin(), points.end(), mesh->vertices);
    return mesh;
}

void BM_CreateHullBody(benchmark::State& state) {
    const auto mesh = spherePointMesh(static_cast<std::uint32_t>(state.range(0)));
    for (auto _ : state) {
        std::unique_ptr<HardBody> body(createHullBody(mesh.get()));
        benchmark::DoNotOptimize(body.get());
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_CreateHullBody)->Arg(511)->Arg(10000)->Arg(100000)->Unit(benchmark::kMicrosecond);

// 10 000 faces: 100 segments by 99 rings (quads, triangle fans at the poles).
void BM_CreateTriMeshBody(benchmark::State& state) {
    auto mesh = std::make_unique<ZYLmesh>();
    benchdata::fillMesh(*mesh, benchdata::latLongSphere(99, 100));
    for (auto _ : state) {
        std::unique_ptr<HardBody> body(createTriMeshBody(mesh.get()));
        benchmark::DoNotOptimize(body.get());
    }
    state.SetItemsProcessed(state.iterations());
    state.counters["faces"] = mesh->numFaces;
}
BENCHMARK(BM_CreateTriMeshBody)->Unit(benchmark::kMicrosecond);

}  // namespace
