// Proximity queries that contact generation runs for every close pair: segment
// distances of capsules and hull edges, point and line against triangles, the
// degenerate-triangle test and the sphere contact.
#include <benchmark/benchmark.h>

#include <vector>

#include "bench/benchSupport.h"
#include "geometry/query/proximity.h"
#include "math/qmtVector3.h"

namespace {

using Qmt::QmtVector3;

constexpr std::size_t COUNT = 1024;

std::vector<QmtVector3> randomPoints(std::size_t n, unsigned seed) {
    return benchdata::randomPoints(n, seed, -2.0, 2.0);
}

void BM_SegmentSegment(benchmark::State& state) {
    const auto p = randomPoints(COUNT * 4, 1);
    benchdata::sumOverItems(state, COUNT, [&p](std::size_t i) {
        double s = 0.0, t = 0.0;
        return sqrDistanceSegmentSegment(p[4 * i], p[4 * i + 1], p[4 * i + 2], p[4 * i + 3], s, t) + s + t;
    });
}
BENCHMARK(BM_SegmentSegment);

// Parallel pairs: the branch capsules resting side by side take.
void BM_SegmentSegmentParallel(benchmark::State& state) {
    auto p = randomPoints(COUNT * 4, 2);
    for (std::size_t i = 0; i < p.size(); i += 4) {
        p[i + 3] = p[i + 2] + (p[i + 1] - p[i]) * -0.7;
    }
    benchdata::sumOverItems(state, COUNT, [&p](std::size_t i) {
        double s = 0.0, t = 0.0;
        return sqrDistanceSegmentSegment(p[4 * i], p[4 * i + 1], p[4 * i + 2], p[4 * i + 3], s, t) + s + t;
    });
}
BENCHMARK(BM_SegmentSegmentParallel);

void BM_PointTriangle(benchmark::State& state) {
    const auto p = randomPoints(COUNT * 4, 3);
    benchdata::sumOverItems(state, COUNT, [&p](std::size_t i) {
        double s = 0.0, t = 0.0;
        return sqrDistancePointTriangle(p[4 * i], &p[4 * i + 1], s, t) + s + t;
    });
}
BENCHMARK(BM_PointTriangle);

void BM_LineTriangle(benchmark::State& state) {
    const auto p = randomPoints(COUNT * 5, 4);
    benchdata::sumOverItems(state, COUNT, [&p](std::size_t i) {
        double r = 0.0, s = 0.0, t = 0.0;
        return sqrDistanceLineTriangle(p[5 * i], p[5 * i + 1], &p[5 * i + 2], r, s, t) + r;
    });
}
BENCHMARK(BM_LineTriangle);

void BM_IsDegenerateTriangle(benchmark::State& state) {
    const auto p = randomPoints(COUNT * 3, 5);
    benchdata::sumOverItems(state, COUNT, [&p](std::size_t i) {
        return isDegenerateTriangle(p[3 * i], p[3 * i + 1], p[3 * i + 2], true, 1e-5) ? 1.0 : 0.0;
    });
}
BENCHMARK(BM_IsDegenerateTriangle);

void BM_SphereSphereContact(benchmark::State& state) {
    const auto p = randomPoints(COUNT * 2, 6);
    benchdata::sumOverItems(state, COUNT, [&p](std::size_t i) {
        QmtVector3 point, normal;
        double separation = 0.0;
        sphereSphereContact(p[2 * i], 0.5, p[2 * i + 1], 0.75, point, normal, separation);
        return separation + point.x + normal.y;
    });
}
BENCHMARK(BM_SphereSphereContact);

}  // namespace
