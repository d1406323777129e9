// Proximity queries that contact generation runs for every close pair: segment
// distances of capsules and hull edges, point and line against triangles, the
// degenerate-triangle test and the sphere contact.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <vector>

#include "geometry/proximity.h"
#include "math/qmtVector3.h"

namespace {

using Qmt::QmtVector3;

constexpr std::size_t COUNT = 1024;

std::vector<QmtVector3> randomPoints(std::size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> u(-2.0, 2.0);
    std::vector<QmtVector3> v(n);
    for (auto& p : v) {
        p = QmtVector3(u(rng), u(rng), u(rng));
    }
    return v;
}

void BM_SegmentSegment(benchmark::State& state) {
    const auto p = randomPoints(COUNT * 4, 1);
    for (auto _ : state) {
        double sum = 0.0;
        for (std::size_t i = 0; i < p.size(); i += 4) {
            double s = 0.0, t = 0.0;
            sum += sqrDistanceSegmentSegment(p[i], p[i + 1], p[i + 2], p[i + 3], s, t) + s + t;
        }
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(COUNT));
}
BENCHMARK(BM_SegmentSegment);

// Parallel pairs: the branch capsules resting side by side take.
void BM_SegmentSegmentParallel(benchmark::State& state) {
    auto p = randomPoints(COUNT * 4, 2);
    for (std::size_t i = 0; i < p.size(); i += 4) {
        p[i + 3] = p[i + 2] + (p[i + 1] - p[i]) * -0.7;
    }
    for (auto _ : state) {
        double sum = 0.0;
        for (std::size_t i = 0; i < p.size(); i += 4) {
            double s = 0.0, t = 0.0;
            sum += sqrDistanceSegmentSegment(p[i], p[i + 1], p[i + 2], p[i + 3], s, t) + s + t;
        }
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(COUNT));
}
BENCHMARK(BM_SegmentSegmentParallel);

void BM_PointTriangle(benchmark::State& state) {
    const auto p = randomPoints(COUNT * 4, 3);
    for (auto _ : state) {
        double sum = 0.0;
        for (std::size_t i = 0; i < p.size(); i += 4) {
            double s = 0.0, t = 0.0;
            sum += sqrDistancePointTriangle(p[i], &p[i + 1], s, t) + s + t;
        }
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(COUNT));
}
BENCHMARK(BM_PointTriangle);

void BM_LineTriangle(benchmark::State& state) {
    const auto p = randomPoints(COUNT * 5, 4);
    for (auto _ : state) {
        double sum = 0.0;
        for (std::size_t i = 0; i < p.size(); i += 5) {
            double r = 0.0, s = 0.0, t = 0.0;
            sum += sqrDistanceLineTriangle(p[i], p[i + 1], &p[i + 2], r, s, t) + r;
        }
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(COUNT));
}
BENCHMARK(BM_LineTriangle);

void BM_IsDegenerateTriangle(benchmark::State& state) {
    const auto p = randomPoints(COUNT * 3, 5);
    for (auto _ : state) {
        int count = 0;
        for (std::size_t i = 0; i < p.size(); i += 3) {
            count += isDegenerateTriangle(p[i], p[i + 1], p[i + 2], true, 1e-5) ? 1 : 0;
        }
        benchmark::DoNotOptimize(count);
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(COUNT));
}
BENCHMARK(BM_IsDegenerateTriangle);

void BM_SphereSphereContact(benchmark::State& state) {
    const auto p = randomPoints(COUNT * 2, 6);
    for (auto _ : state) {
        double sum = 0.0;
        for (std::size_t i = 0; i < p.size(); i += 2) {
            QmtVector3 point, normal;
            double separation = 0.0;
            sphereSphereContact(p[i], 0.5, p[i + 1], 0.75, point, normal, separation);
            sum += separation + point.x + normal.y;
        }
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(COUNT));
}
BENCHMARK(BM_SphereSphereContact);

}  // namespace
