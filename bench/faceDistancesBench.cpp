// Facing-face distances between two shard-sized hulls, as fracture joint creation
// measures every shard pair.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <memory>
#include <vector>

#include "geometry/bvMesh.h"
#include "geometry/convexHull.h"
#include "geometry/faceDistances.h"
#include "geometry/meshPlacement.h"
#include "math/qmtMatrix3.h"

namespace {

using Qmt::QmtMatrix3;
using Qmt::QmtVector3;

// Hull of 256 points spread evenly over a unit sphere (508 faces), placed at T.
std::unique_ptr<ZYLmesh> sphereHull(const QmtVector3& T) {
    constexpr std::uint32_t n = 256;
    std::vector<QmtVector3> points(n);
    const double golden = M_PI * (3.0 - std::sqrt(5.0));
    for (std::uint32_t i = 0; i < n; ++i) {
        const double y = 1.0 - 2.0 * (i + 0.5) / n;
        const double r = std::sqrt(1.0 - y * y);
        points[i] = {r * std::cos(golden * i), y, r * std::sin(golden * i)};
    }
    std::unique_ptr<ZYLmesh> mesh(buildConvexHullMesh(points.data(), n));
    mesh->worldVertices = new QmtVector3[mesh->numVertices];
    meshTransformSRT(mesh.get(), T, QmtMatrix3::IDENTITY, {1.0, 1.0, 1.0});
    return mesh;
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
