// Oriented-box fitting (body creation, tree refits, the clipper's set-up) and the
// box-box overlap test of the broad phase.
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "bench/benchSupport.h"
#include "geometry/bounds/boxFit.h"

namespace {

using Qmt::QmtMatrix3;
using Qmt::QmtVector3;

// A flattened, sheared cloud so that the eigen solver has real work to do.
std::vector<QmtVector3> randomPoints(std::size_t n) {
    std::vector<QmtVector3> points = benchdata::randomPoints(n, 11, -1.0, 1.0);
    for (auto& p : points) {
        const double x = 4.0 * p.x, y = 2.0 * p.y, z = 0.5 * p.z;
        p = QmtVector3(x + 0.3 * y, y - 0.2 * z, z + 0.1 * x);
    }
    return points;
}

void BM_FitOrientedBox(benchmark::State& state) {
    const auto points = randomPoints(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {
        benchmark::DoNotOptimize(fitOrientedBox(static_cast<std::uint32_t>(points.size()), points.data()));
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_FitOrientedBox)->Arg(1000)->Arg(100000);

void BM_OrientedBoxesOverlap(benchmark::State& state) {
    // Random pairs, about half of them overlapping.
    std::mt19937 rng(5);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    std::vector<ZYLbox> boxes(1024);
    for (auto& box : boxes) {
        QmtVector3 axis(u(rng), u(rng), u(rng) + 2.0);
        axis.Unitize(QmtMatrix3::EPSILON);
        QmtMatrix3 R;
        R.FromAxisAngle(axis, 3.0 * u(rng));
        box = ZYLbox{QmtVector3(3.0 * u(rng), 3.0 * u(rng), 3.0 * u(rng)), R,
                     QmtVector3(1.0 + 0.5 * u(rng), 1.0 + 0.5 * u(rng), 1.0 + 0.5 * u(rng))};
    }
    std::size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(orientedBoxesOverlap(boxes[i & 1023], boxes[(i * 7 + 3) & 1023]));
        ++i;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_OrientedBoxesOverlap);

}  // namespace
