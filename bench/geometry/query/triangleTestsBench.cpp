// Triangle-pair queries that collision runs once per candidate pair of triangles.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <utility>
#include <vector>

#include "bench/benchSupport.h"
#include "geometry/query/triangleTests.h"
#include "math/qmtMatrix3.h"
#include "math/qmtVector3.h"

namespace {

using Qmt::QmtVector3;

struct TrianglePair {
    QmtVector3 a[3];
    QmtVector3 nA;
    QmtVector3 b[3];
    QmtVector3 nB;
};

// Unit-sized triangles scattered in a box of the given size: a small box gives
// mostly overlapping pairs, a large one mostly separated ones.
std::vector<TrianglePair> randomPairs(std::size_t n, double spread, bool facing) {
    std::mt19937 rng(11);
    std::uniform_real_distribution<double> corner(-0.5, 0.5);
    std::uniform_real_distribution<double> offset(-spread, spread);
    std::vector<TrianglePair> pairs(n);
    for (TrianglePair& p : pairs) {
        const QmtVector3 ca(offset(rng), offset(rng), offset(rng));
        const QmtVector3 cb(offset(rng), offset(rng), offset(rng));
        for (int i = 0; i < 3; ++i) {
            p.a[i] = ca + QmtVector3(corner(rng), corner(rng), facing ? 0.0 : corner(rng));
            p.b[i] = cb + QmtVector3(corner(rng), corner(rng), facing ? 0.0 : corner(rng));
        }
        if (facing) {
            // Parallel, facing faces slightly interpenetrating: the many-point case.
            for (int i = 0; i < 3; ++i) {
                p.a[i].z = 0.0;
                p.b[i].z = -0.01;
            }
        }
        p.nA = benchdata::triangleNormal(p.a);
        p.nB = benchdata::triangleNormal(p.b);
        if (facing && p.nA.Dot(p.nB) > 0.0) {
            std::swap(p.b[1], p.b[2]);
            p.nB = benchdata::triangleNormal(p.b);
        }
    }
    return pairs;
}

void BM_TrianglesIntersect(benchmark::State& state) {
    const auto pairs = randomPairs(4096, static_cast<double>(state.range(0)) / 10.0, false);
    std::size_t i = 0;
    for (auto _ : state) {
        const TrianglePair& p = pairs[i++ & 4095];
        benchmark::DoNotOptimize(trianglesIntersect(p.a, p.nA, p.b, p.nB));
    }
}
BENCHMARK(BM_TrianglesIntersect)->Arg(5)->Arg(20);

void BM_TriangleContactSet(benchmark::State& state) {
    const bool facing = state.range(0) != 0;
    const auto pairs = randomPairs(4096, 0.3, facing);
    QmtVector3 points[TRIANGLE_OVERLAP_MAX_POINTS];
    QmtVector3 normal;
    std::uint32_t count = 0;
    double depth = 0.0;
    std::size_t i = 0;
    for (auto _ : state) {
        const TrianglePair& p = pairs[i++ & 4095];
        benchmark::DoNotOptimize(triangleContactSet(p.a, p.nA, p.b, p.nB, points, normal, count, depth));
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_TriangleContactSet)->Arg(0)->Arg(1);

}  // namespace
