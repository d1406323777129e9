#include <benchmark/benchmark.h>

#include <cmath>

#include "bench/benchSupport.h"
#include "geometry/mesh/massProperties.h"
#include "geometry/mesh/meshPlacement.h"

namespace {

using Qmt::QmtMatrix3;
using Qmt::QmtVector3;

// A closed latitude-longitude sphere: rings x segments vertices plus two poles, quads
// between rings and triangle fans at the poles, wound outward.
void buildSphere(ZYLmesh& mesh, std::uint32_t rings, std::uint32_t segments) {
    benchdata::fillMesh(mesh, benchdata::latLongSphere(rings, segments));
    mesh.radius = 1.0;
}

// Places a 10 000-vertex sphere with `transform` once per iteration.
template <class Transform>
void placeSphere(benchmark::State& state, Transform transform) {
    ZYLmesh mesh;
    buildSphere(mesh, 100, 100);
    QmtMatrix3 R;
    R.FromAxisAngle(QmtVector3(1, 2, 3) / std::sqrt(14.0), 0.7);
    const QmtVector3 T(1, 2, 3);
    const QmtVector3 S(1.5, 1.5, 1.5);
    for (auto _ : state) {
        transform(&mesh, T, R, S);
        benchmark::DoNotOptimize(mesh.worldVertices);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * mesh.numVertices);
}

void BM_MeshTransformSRT(benchmark::State& state) {
    placeSphere(state, [](const auto&... placement) { meshTransformSRT(placement...); });
}
BENCHMARK(BM_MeshTransformSRT);

void BM_MeshTransformTRS(benchmark::State& state) {
    placeSphere(state, [](const auto&... placement) { meshTransformTRS(placement...); });
}
BENCHMARK(BM_MeshTransformTRS);

void BM_ComputeMassProperties(benchmark::State& state) {
    ZYLmesh mesh;
    buildSphere(mesh, 100, 100);
    QmtVector3 centre;
    for (auto _ : state) {
        benchmark::DoNotOptimize(ComputeMassProperties(&mesh, centre));
        benchmark::DoNotOptimize(centre);
    }
    state.SetItemsProcessed(state.iterations() * mesh.numFaces);
}
BENCHMARK(BM_ComputeMassProperties);

void BM_ComputeScaledMassProperties(benchmark::State& state) {
    ZYLmesh mesh;
    buildSphere(mesh, 100, 100);
    QmtMatrix3 inertia;
    const double mass = 2.0;
    for (auto _ : state) {
        computeScaledMassProperties(inertia, &mesh, mass, {0, 0, 0}, {1.5, 1, 2});
        benchmark::DoNotOptimize(inertia);
    }
    state.SetItemsProcessed(state.iterations() * mesh.numFaces);
}
BENCHMARK(BM_ComputeScaledMassProperties);

}  // namespace
