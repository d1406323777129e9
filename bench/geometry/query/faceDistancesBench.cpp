// Facing-face distances between two shard-sized hulls, as fracture joint creation
// measures every shard pair.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>

#include "bench/benchSupport.h"
#include "geometry/mesh/bvMesh.h"
#include "geometry/query/faceDistances.h"

namespace {

using Qmt::QmtVector3;

// Hull of 256 points spread evenly over a unit sphere (508 faces), placed at T.
std::unique_ptr<ZYLmesh> sphereHull(const QmtVector3& T) {
    return benchdata::placedHull(benchdata::spherePoints(256), T);
}

struct HullPair {
    std::unique_ptr<ZYLmesh> meshA = sphereHull({0.0, 0.0, 0.0});
    std::unique_ptr<ZYLmesh> meshB = sphereHull({2.1, 0.3, -0.2});
    BVmesh a;
    BVmesh b;
    HullPair() {
        a.init(meshA.get(), BVMESH_EDGES | BVMESH_VERTICES);
        b.init(meshB.get(), BVMESH_EDGES | BVMESH_VERTICES);
    }
};

void BM_ClosestFacingFacesSampled(benchmark::State& state) {
    const HullPair pair;
    std::uint32_t ua, ub, fa, fb;
    QmtVector3 pa, pb;
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            closestFacingFacesSampled(&pair.a, &pair.b, ua, ub, fa, fb, pa, pb));
    }
}
BENCHMARK(BM_ClosestFacingFacesSampled)->Unit(benchmark::kMillisecond);

void BM_ClosestFacingFaces(benchmark::State& state) {
    const HullPair pair;
    std::uint32_t fa, fb;
    QmtVector3 pa, pb;
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            closestFacingFaces(pair.meshA.get(), pair.meshB.get(), fa, fb, pa, pb));
    }
}
BENCHMARK(BM_ClosestFacingFaces)->Unit(benchmark::kMillisecond);

}  // namespace
