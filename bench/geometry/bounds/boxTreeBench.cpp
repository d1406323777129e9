// Box-tree builds (stress trees over fragments, trees over mesh elements) and the
// per-step placement of a built tree.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "bench/benchSupport.h"
#include "geometry/bounds/boxTree.h"

namespace {

using Qmt::QmtMatrix3;
using Qmt::QmtVector3;

struct Cloud {
    std::vector<QmtVector3> points;
    std::vector<std::uint32_t> codes;
    Binary_Tree<BVbox> tree;

    explicit Cloud(std::size_t n) : points(benchdata::randomPoints(n, 7, -1.0, 1.0)), codes(n, 0) {
        for (auto& p : points) {
            p = QmtVector3(20.0 * p.x, 5.0 * p.y, 2.0 * p.z);
        }
        BoxTreeElementList::Node* tail = tree.elements.head;
        for (std::size_t i = 0; i < n; ++i) {
            tree.elements.insertAfter(new BoxTreeElement{&points[i], &codes[i]}, tail);
            tail = tail->next;
        }
    }
};

void BM_BoxTreeBuild(benchmark::State& state) {
    Cloud cloud(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {
        benchmark::DoNotOptimize(cloud.tree.build(cloud.tree.elements));
    }
    state.counters["leaves"] = cloud.tree.leafCount;
    state.counters["levels"] = cloud.tree.levelCount;
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_BoxTreeBuild)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

void BM_BoxTreeTransformSRT(benchmark::State& state) {
    Cloud cloud(static_cast<std::size_t>(state.range(0)));
    cloud.tree.build(cloud.tree.elements);
    QmtMatrix3 R;
    R.FromAxisAngle(QmtVector3(1, 2, 3) / QmtVector3(1, 2, 3).Length(), 0.7);
    const QmtVector3 T(1, -2, 3);
    const QmtVector3 S(1.5, 1.0, 0.5);
    for (auto _ : state) {
        cloud.tree.root->transformSRT(T, R, S);
        benchmark::DoNotOptimize(cloud.tree.root->worldRadius);
    }
    state.SetItemsProcessed(state.iterations() * cloud.tree.leafCount);
}
BENCHMARK(BM_BoxTreeTransformSRT)->Arg(10000)->Unit(benchmark::kMicrosecond);

}  // namespace
