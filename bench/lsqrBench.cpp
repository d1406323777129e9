// The least-squares solves of contact and joint resolution: plain LSQR on dense systems,
// the block masked solve of a pair's contacts with some of them dropped, and the small
// joint systems. Every allocation of the program is counted so that each benchmark can
// report the allocations made per solve (expected: none).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <random>
#include <vector>

#include "engine/solver/lsqSystem.h"
#include "engine/solver/lsqr.h"
#include "math/qmtVector3.h"

namespace {

std::atomic<std::int64_t> allocationCount{0};

void* countedAllocation(std::size_t size) noexcept {
    allocationCount.fetch_add(1, std::memory_order_relaxed);
    return std::malloc(size == 0 ? 1 : size);
}

}  // namespace

void* operator new(std::size_t size) {
    if (void* p = countedAllocation(size)) {
        return p;
    }
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return operator new(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return countedAllocation(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return countedAllocation(size); }
// GCC cannot tell that these deletes pair with the replaced news above.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
#pragma GCC diagnostic pop

namespace {

using Qmt::QmtVector3;

// Row-major n x n matrix, diagonally dominant, with entries in [-1, 1) off the diagonal.
std::vector<double> dominantMatrix(int n, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    std::vector<double> a(static_cast<std::size_t>(n) * n);
    for (int i = 0; i < n; ++i) {
        for (int j = 0; j < n; ++j) {
            a[i * n + j] = u(rng) + (i == j ? n : 0);
        }
    }
    return a;
}

std::vector<double> product(const std::vector<double>& a, const std::vector<double>& x) {
    const std::size_t n = x.size();
    std::vector<double> b(n, 0.0);
    for (std::size_t i = 0; i < n; ++i) {
        for (std::size_t j = 0; j < n; ++j) {
            b[i] += a[i * n + j] * x[j];
        }
    }
    return b;
}

void copyInto(MatrixView& A, const std::vector<double>& a) {
    for (int i = 0; i < A.rows; ++i) {
        std::copy_n(&a[static_cast<std::size_t>(i) * A.cols], A.cols, &A.at(i, 0));
    }
}

void reportAllocations(benchmark::State& state, std::int64_t before, std::int64_t solves) {
    const double made = static_cast<double>(allocationCount.load() - before);
    state.counters["allocs_per_solve"] = solves > 0 ? made / static_cast<double>(solves) : 0.0;
    state.SetItemsProcessed(solves);
}

// lsqr alone on an n x n system; each solve restores b and clears x first.
void BM_Lsqr(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    LsqrProblemSet set = alloc_lsqr_set(n, n);
    set.input->iterLimit = 3 * n / 2;
    const std::vector<double> a = dominantMatrix(n, 5);
    const std::vector<double> rhs = product(a, std::vector<double>(n, 1.0));
    copyInto(*set.function->matrix, a);
    const std::int64_t before = allocationCount.load();
    for (auto _ : state) {
        std::copy(rhs.begin(), rhs.end(), set.input->b->elements);
        std::fill_n(set.input->x->elements, n, 0.0);
        lsqr(set.input, set.output, set.work, set.function, set.function->matrix);
        benchmark::DoNotOptimize(set.input->x->elements[0]);
    }
    reportAllocations(state, before, state.iterations());
    free_lsqr_set(set);
}
BENCHMARK(BM_Lsqr)->Arg(3)->Arg(6)->Arg(18)->Arg(36)->Arg(72);

// A pair's block solve: contacts with normal +x; the first `removals` contacts pull
// (their impulse points along -x), so they are dropped one pass each. Counts the fill of
// A and b as a caller pays it.
void BM_ContactBlockSolve(benchmark::State& state) {
    const int contacts = static_cast<int>(state.range(0));
    const int removals = static_cast<int>(state.range(1));
    const int n = 3 * contacts;
    const std::vector<double> a = dominantMatrix(n, 11);
    std::vector<double> impulses(n, 0.5);
    for (int i = 0; i < contacts; ++i) {
        impulses[3 * i] = i < removals ? -1.0 : 1.0;
    }
    const std::vector<double> rhs = product(a, impulses);
    const std::vector<QmtVector3> normals(contacts, QmtVector3(1, 0, 0));
    std::vector<std::uint8_t> skip(contacts);
    ContactLsqWorkspace ws;
    MatrixView* A = nullptr;
    dvec* b = nullptr;
    dvec* x = nullptr;
    const std::int64_t before = allocationCount.load();
    for (auto _ : state) {
        ws.setupRows(contacts, 0, A, b, x);
        copyInto(*A, a);
        std::copy(rhs.begin(), rhs.end(), b->elements);
        benchmark::DoNotOptimize(solveContactBlockSystem(ws, contacts, A, b, x, normals.data(), skip.data()));
    }
    reportAllocations(state, before, state.iterations());
    state.counters["kept"] = static_cast<double>(std::count(skip.begin(), skip.end(), 0));
}
BENCHMARK(BM_ContactBlockSolve)->ArgsProduct({{6, 12, 24}, {0, 1, 3}});

// The joint systems: set up, fill and solve 3 x 3 (linear) or 6 x 6 (with torsion).
void BM_LsqSystem(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    const std::vector<double> a = dominantMatrix(n, 3);
    const std::vector<double> rhs = product(a, std::vector<double>(n, 1.0));
    LsqSystem system;
    MatrixView* A = nullptr;
    dvec* b = nullptr;
    dvec* x = nullptr;
    const std::int64_t before = allocationCount.load();
    for (auto _ : state) {
        system.setup(n, A, b, x);
        copyInto(*A, a);
        std::copy(rhs.begin(), rhs.end(), b->elements);
        system.solve(A, b, x);
        benchmark::DoNotOptimize(x->elements[0]);
    }
    reportAllocations(state, before, state.iterations());
}
BENCHMARK(BM_LsqSystem)->Arg(3)->Arg(6);

}  // namespace
