#include "engine/solver/lsqr.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "tests/allocationHooks.h"

namespace {

// A problem set of capacity rowCap x colCap sized to m x n, freed however the test ends.
struct Problem {
    LsqrProblemSet set;
    Problem(int m, int n, int rowCap, int colCap) : set(alloc_lsqr_set(rowCap, colCap)) {
        EXPECT_TRUE(resize_lsqr_set(set, m, n));
        set.input->iterLimit = 3 * n / 2;
    }
    Problem(int m, int n, const std::vector<double>& a, const std::vector<double>& b) : Problem(m, n, m, n) {
        fill(a);
        std::copy(b.begin(), b.end(), set.input->b->elements);
    }
    Problem(const Problem&) = delete;
    ~Problem() { free_lsqr_set(set); }
    MatrixView& A() { return *set.function->matrix; }
    std::vector<double> x() const { return {set.input->x->elements, set.input->x->elements + set.input->n}; }
    const lsqr_output& out() const { return *set.output; }
    void solve() { lsqr(set.input, set.output, set.work, set.function, set.function->matrix); }
    void fill(const std::vector<double>& a) {
        for (int i = 0; i < A().rows; ++i) {
            std::copy_n(&a[i * A().cols], A().cols, &A().at(i, 0));
        }
    }
};

}  // namespace

TEST(Lsqr, ExactCases) {
    Problem identity(3, 3, {1, 0, 0, 0, 1, 0, 0, 0, 1}, {2, 0, 0});
    identity.solve();
    EXPECT_EQ(identity.out().istop * 10 + identity.out().iter, 11);
    EXPECT_EQ(identity.out().rnorm, 0.0);
    EXPECT_EQ(identity.x(), (std::vector<double>{2, 0, 0}));
    EXPECT_EQ(identity.set.input->b->elements[0], 0.0);  // b now holds u, which the step drove to 0

    Problem start(2, 2, {2, 1, 1, 3}, {0, 0});  // b = 0; then b = A x with x given
    start.solve();
    EXPECT_EQ(start.out().istop * 10 + start.out().iter, 0);
    std::copy_n(std::vector<double>{1, 2}.data(), 2, start.set.input->x->elements);
    std::copy_n(std::vector<double>{4, 7}.data(), 2, start.set.input->b->elements);
    start.solve();
    EXPECT_EQ(start.out().istop * 10 + start.out().iter, 0);
    EXPECT_EQ(start.x(), (std::vector<double>{1, 2}));

    Problem limited(3, 3, {4, 1, 0, 1, 3, 1, 0, 1, 2}, {1, 2, 3});
    limited.set.input->iterLimit = 1;
    limited.solve();
    EXPECT_EQ(limited.out().istop * 10 + limited.out().iter, 71);

    Problem singular(2, 2, {1, 1, 2, 2}, {2, 4});  // consistent: the minimum-norm solution
    singular.solve();
    EXPECT_NEAR(singular.x()[0], 1.0, 1e-14);
    EXPECT_NEAR(singular.x()[1], 1.0, 1e-14);
}

// Diagonally dominant systems with a known solution reach it within floor(3n/2)
// iterations; a wider stride with NaN in the padding changes no bit of the result.
TEST(Lsqr, RandomDominantSystems) {
    std::mt19937 rng(19);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    for (const int n : {3, 6, 18, 48}) {
        std::vector<double> a(n * n), truth(n), b(n, 0.0);
        std::generate(truth.begin(), truth.end(), [&] { return u(rng); });
        for (int i = 0; i < n; ++i) {
            for (int j = 0; j < n; ++j) {
                a[i * n + j] = (i == j ? n : 0) + u(rng);
                b[i] += a[i * n + j] * truth[j];
            }
        }
        Problem tight(n, n, a, b);
        Problem padded(n, n, n + 2, n + 3);
        std::fill_n(padded.A().data, (n + 2) * (n + 3), std::numeric_limits<double>::quiet_NaN());
        padded.fill(a);
        std::copy(b.begin(), b.end(), padded.set.input->b->elements);
        tight.solve();
        padded.solve();
        EXPECT_LE(tight.out().iter, 3 * n / 2);
        for (int i = 0; i < n; ++i) {
            EXPECT_NEAR(tight.x()[i], truth[i], 1e-12) << "n " << n << " i " << i;
        }
        EXPECT_EQ(tight.out().istop, padded.out().istop);
        EXPECT_EQ(tight.x(), padded.x());
    }
}

TEST(Lsqr, ProductAndVectorRoutines) {
    Problem p(5, 3, 6, 5);  // stride 5, a spare row; rows 0..3 go as a group of four
    std::fill_n(p.A().data, 30, 100.0);
    p.fill({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15});
    dvec* x = p.set.input->x;
    dvec* y = p.set.input->b;
    const auto entries = [](const dvec* v, int n) { return std::vector<double>(v->elements, v->elements + n); };
    std::copy_n(std::vector<double>{1, 1, 2}.data(), 3, x->elements);
    std::copy_n(std::vector<double>{10, 20, 30, 40, 50}.data(), 5, y->elements);
    lsqr_dense_product(0, x, y, &p.A());  // y += A x
    EXPECT_EQ(entries(y, 5), (std::vector<double>{19, 41, 63, 85, 107}));
    std::copy_n(std::vector<double>{1, -1, 1, -1, 1}.data(), 5, y->elements);
    lsqr_dense_product(1, x, y, &p.A());  // x += A^T y
    lsqr_dense_product(2, x, y, &p.A());  // nothing
    EXPECT_EQ(entries(x, 5), (std::vector<double>{8, 9, 11, 0, 0}));
    EXPECT_EQ(entries(y, 5), (std::vector<double>{1, -1, 1, -1, 1}));

    EXPECT_EQ(dvec_norm2(y), std::sqrt(5.0));
    dvec_zero_range(x, 1, 5);  // 5 is past the capacity: nothing
    EXPECT_EQ(x->elements[1], 9.0);
    dvec_zero_range(x, 1, 4);  // beyond the length but within the capacity
    EXPECT_EQ(entries(x, 5), (std::vector<double>{8, 0, 0, 0, 0}));
    EXPECT_FALSE(resize_lsqr_set(p.set, 7, 3));  // beyond the capacity: refused, unchanged
    EXPECT_FALSE(resize_lsqr_set(p.set, 4, 6));
    EXPECT_EQ(p.set.input->m, 5);
}

TEST(Lsqr, SolveAllocatesNothingAndLogsOnlyWhenAsked) {
    Problem p(3, 3, {4, 1, 0, 1, 3, 1, 0, 1, 2}, {1, 2, 3});
    std::FILE* log = std::tmpfile();
    ASSERT_NE(log, nullptr);
    p.set.input->log = log;
    zyltest::nothrowAllocations = zyltest::nothrowArrayAllocations = 0;
    p.solve();
    EXPECT_EQ(zyltest::nothrowAllocations + zyltest::nothrowArrayAllocations, 0);
    std::rewind(log);
    std::string text(4096, '\0');
    text.resize(std::fread(text.data(), 1, text.size(), log));
    std::fclose(log);
    EXPECT_NE(text.find("The iteration limit has been reached"), std::string::npos) << text;
}

// Every allocation of a problem set and of an integer vector fails in turn: the routine
// that made it reports its line and returns nothing (LSan checks that nothing leaks).
TEST(Lsqr, AllocationFailuresReportTheirLine) {
    const auto line = [](const std::string& what, const std::string& routine) {
        return "\tlsqr: " + what + " allocation failure in function " + routine + "()\n";
    };
    const std::string b = line("right hand side vector 'b'", "alloc_lsqr_in");
    const std::string x = line("solution vector 'x'", "alloc_lsqr_in");
    const std::string e = line("standard error vector 'e'", "alloc_lsqr_out");
    const std::string v = line("bidiagonalization work vector 'v'", "alloc_lsqr_wrk");
    const std::string w = line("search direction vector 'w'", "alloc_lsqr_wrk");
    const std::string mat = line("function structure mat 'v'", "alloc_lsqr_wrk");
    // Each vector, and the matrix, is a record and its elements.
    const std::vector<std::string> lines = {
        line("input structure", "alloc_lsqr_in"), b, b, x, x, line("output structure", "alloc_lsqr_out"), e, e,
        line("work structure", "alloc_lsqr_wrk"), v, v, w, w, line("function structure", "alloc_lsqr_fnc"), mat, mat};
    for (int k = 1; k <= static_cast<int>(lines.size()) + 1; ++k) {
        zyltest::failNthNothrowAllocation = k;
        testing::internal::CaptureStderr();
        LsqrProblemSet set = alloc_lsqr_set(4, 3);
        const bool made = k > static_cast<int>(lines.size());
        EXPECT_EQ(testing::internal::GetCapturedStderr(), made ? "" : lines[k - 1]) << "allocation " << k;
        EXPECT_EQ(set.input != nullptr && set.function != nullptr, made);
        if (made) {
            EXPECT_EQ(set.output->x, set.input->x);
            free_lsqr_set(set);
        }
    }
    zyltest::failNthNothrowAllocation = 0;

    for (int k = 1; k <= 2; ++k) {
        zyltest::failNthNothrowAllocation = k;
        testing::internal::CaptureStderr();
        EXPECT_EQ(alloc_lvec(5), nullptr);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), line(k == 1 ? "vector" : "element", "alloc_lvec"));
    }
    lvec* ints = alloc_lvec(5);
    ASSERT_NE(ints, nullptr);
    EXPECT_EQ(ints->length, 5);
    free_lvec(ints);
}
