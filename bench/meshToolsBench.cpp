#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>
#include <random>
#include <vector>

#include "bench/benchSupport.h"
#include "engine/tools/meshTools.h"
#include "engine/world/engineApi.h"
#include "geometry/mesh/meshRecords.h"
#include "math/qmtVector3.h"

// The shatter's inner loop: one plane cut of a fresh copy of the cell mesh per
// bisector, and the tessellation of the jagginess step. Every cut works on its own
// copy; BM_CopyOnly_* measure the copy alone so that it can be taken off.

namespace {

using Qmt::QmtVector3;

benchdata::Shape cubeShape() {
    benchdata::Shape cube;
    cube.points = {{-1, -1, -1}, {1, -1, -1}, {1, 1, -1}, {-1, 1, -1},
                   {-1, -1, 1},  {1, -1, 1},  {1, 1, 1},  {-1, 1, 1}};
    cube.faces = {{0, 3, 2, 1}, {4, 5, 6, 7}, {0, 1, 5, 4}, {1, 2, 6, 5}, {2, 3, 7, 6}, {3, 0, 4, 7}};
    return cube;
}

std::unique_ptr<ZYL_DFmesh> meshOf(const benchdata::Shape& shape) {
    auto mesh = std::make_unique<ZYL_DFmesh>();
    benchdata::fillMesh(*mesh, shape);
    return mesh;
}

// 5 000 faces: 100 segments by 49 rings.
std::unique_ptr<ZYL_DFmesh> sphereMesh() { return meshOf(benchdata::latLongSphere(49, 100)); }

struct Plane {
    QmtVector3 normal;
    QmtVector3 point;
};

// Planes through points near the centre in random directions: every one cuts.
std::vector<Plane> cuttingPlanes(std::size_t n) {
    const benchdata::Points directions = benchdata::randomPoints(n, 7, -1.0, 1.0);
    const benchdata::Points points = benchdata::randomPoints(n, 11, -0.5, 0.5);
    std::vector<Plane> planes;
    for (std::size_t i = 0; i < n; ++i) {
        planes.push_back({directions[i], points[i]});
    }
    return planes;
}

void cutCopies(benchmark::State& state, const ZYL_DFmesh& source, bool cut) {
    const std::vector<Plane> planes = cuttingPlanes(64);
    std::size_t i = 0;
    for (auto _ : state) {
        ZYL_DFmesh* copy = copyDFmesh(&source);
        if (cut) {
            const Plane& plane = planes[i++ % planes.size()];
            benchmark::DoNotOptimize(clipDFmeshByPlane(copy, plane.normal, plane.point, false));
        }
        deleteDFmesh(&copy);
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_ClipDFmeshByPlane_Cube(benchmark::State& state) { cutCopies(state, *meshOf(cubeShape()), true); }
void BM_CopyOnly_Cube(benchmark::State& state) { cutCopies(state, *meshOf(cubeShape()), false); }
void BM_ClipDFmeshByPlane_Sphere5000(benchmark::State& state) { cutCopies(state, *sphereMesh(), true); }
void BM_CopyOnly_Sphere5000(benchmark::State& state) { cutCopies(state, *sphereMesh(), false); }

void BM_TessellateDFmesh_Cube(benchmark::State& state) {
    const auto source = meshOf(cubeShape());
    const auto level = static_cast<std::uint16_t>(state.range(0));
    for (auto _ : state) {
        ZYL_DFmesh* copy = copyDFmesh(source.get());
        benchmark::DoNotOptimize(tessellateDFmesh(copy, level, false));
        deleteDFmesh(&copy);
    }
    state.SetItemsProcessed(state.iterations());
}

}  // namespace

BENCHMARK(BM_ClipDFmeshByPlane_Cube);
BENCHMARK(BM_CopyOnly_Cube);
BENCHMARK(BM_ClipDFmeshByPlane_Sphere5000);
BENCHMARK(BM_CopyOnly_Sphere5000);
BENCHMARK(BM_TessellateDFmesh_Cube)->DenseRange(1, 3);
