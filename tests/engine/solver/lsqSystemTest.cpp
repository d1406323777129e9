#include "engine/solver/lsqSystem.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "tests/allocationHooks.h"

using Qmt::QmtVector3;

namespace {

// What a setup hands out, with the caller's fill: A := the given rows (the identity when
// none are given), b := rhs.
struct Handles {
    MatrixView* A = nullptr;
    dvec* b = nullptr;
    dvec* x = nullptr;
    std::uint8_t* skip = nullptr;

    void fill(const std::vector<double>& rhs, const std::vector<double>& rows = {}) {
        MatrixView::setZero(*A, rows.empty() ? 1.0 : 0.0);
        for (std::size_t k = 0; k < rows.size(); ++k) {
            A->at(static_cast<int>(k) / A->cols, static_cast<int>(k) % A->cols) = rows[k];
        }
        std::copy(rhs.begin(), rhs.end(), b->elements);
    }
    std::vector<double> x_() const { return {x->elements, x->elements + x->length}; }
    std::vector<double> b_() const { return {b->elements, b->elements + b->length}; }
    std::vector<int> skips(int n) const { return {skip, skip + n}; }
    int dims() const { return A->rows * 1000 + A->cols; }
};

struct Scalar : Handles {
    ContactLsqWorkspace ws;
    bool setup(int n) { return ws.setup(n, A, b, x, skip); }
    double solve(int p, int q) { return solveMaskedContactSystem(ws, p, q, A, b, x, skip, skip + p); }
};

void expectNear(const std::vector<double>& got, const std::vector<double>& want) {
    ASSERT_EQ(got.size(), want.size());
    for (std::size_t i = 0; i < got.size(); ++i) {
        EXPECT_NEAR(got[i], want[i], 1e-12) << "entry " << i;
    }
}

}  // namespace

TEST(LsqSystem, SetupBoundsAndSolve) {
    LsqSystem system;
    Handles h;
    EXPECT_FALSE(system.setup(0, h.A, h.b, h.x));
    EXPECT_FALSE(system.setup(17, h.A, h.b, h.x));
    for (const auto& [n, limit] : {std::pair{1, 1}, {3, 4}, {16, 24}}) {
        ASSERT_TRUE(system.setup(n, h.A, h.b, h.x));
        EXPECT_EQ(system.getInput()->iterLimit, limit);
        EXPECT_EQ(h.dims(), n * 1001);
        EXPECT_EQ(h.b->length + h.x->length, 2 * n);
    }
    ASSERT_TRUE(system.setup(3, h.A, h.b, h.x));
    h.fill({1, 2, 3}, {4, 1, 0, 1, 3, 1, 0, 1, 2});
    std::fill_n(h.x->elements, 3, 123.0);  // a caller's x does not matter
    EXPECT_TRUE(system.solve(h.A, h.b, h.x));
    EXPECT_EQ(h.b_(), (std::vector<double>{1, 2, 3}));  // restored after the solve
    const std::vector<double> first = h.x_();
    expectNear(first, {2.0 / 9, 1.0 / 9, 13.0 / 9});
    EXPECT_TRUE(system.solve(h.A, h.b, h.x));
    EXPECT_EQ(h.x_(), first);
}

TEST(ContactLsqWorkspace, MaskedSolveRemovesOnePullPerGroupAndPass) {
    Scalar s;
    ASSERT_TRUE(s.setup(3));  // nothing negative: no skip byte, size kept
    s.fill({1, 2, 3});
    EXPECT_NEAR(s.solve(2, 1), 0.0, 1e-15);
    expectNear(s.x_(), {1, 2, 3});
    EXPECT_EQ(s.skips(3), (std::vector<int>{0, 0, 0}));
    EXPECT_EQ(s.dims(), 3003);

    // x = (-1, -0.5); without variable 0, variable 1 comes out +0.5. Within one group only
    // the first pull goes per pass, so variable 1 stays; in two groups both go at once.
    const std::vector<double> coupled = {1, 0, -1, 1};
    ASSERT_TRUE(s.setup(2));
    s.fill({-1, 0.5}, coupled);
    s.solve(2, 0);
    EXPECT_EQ(s.skips(2), (std::vector<int>{1, 0}));
    expectNear(s.x_(), {0.5});
    expectNear(s.b_(), {0.5});
    EXPECT_EQ(s.dims(), 1001);
    EXPECT_EQ(s.A->at(0, 0), 1.0);
    ASSERT_TRUE(s.setup(2));
    s.fill({-1, 0.5}, coupled);
    s.solve(1, 1);
    EXPECT_EQ(s.skips(2), (std::vector<int>{1, 1}));
    EXPECT_EQ(s.x->length + s.b->length + s.dims(), 0);

    // Two independent pulls in one group go one pass each; the rest keeps its value.
    ASSERT_TRUE(s.setup(4));
    s.fill({2, -2, -3, 8}, {2, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 4});
    s.solve(3, 1);
    EXPECT_EQ(s.skips(4), (std::vector<int>{0, 1, 1, 0}));
    expectNear(s.x_(), {1, 2});

    // The limit itself stays, a hair below it goes. A = (1e5), b = -1 gives exactly -1e-5.
    for (const auto& [rhs, dropped] : {std::pair{-1.0, 0}, {-1.01, 1}, {-0.99, 0}}) {
        ASSERT_TRUE(s.setup(1));
        s.fill({rhs}, {1e5});
        s.solve(1, 0);
        EXPECT_EQ(s.skip[0], dropped) << rhs;
        EXPECT_EQ(s.x->length, 1 - dropped);
        EXPECT_TRUE(rhs != -1.0 || s.x->elements[0] == -1e-5);
    }

    // Compaction on its own keeps the order, the first group before the second.
    ASSERT_TRUE(s.setup(4));
    s.fill({10, 11, 12, 13}, {0, 1, 2, 3, 10, 11, 12, 13, 20, 21, 22, 23, 30, 31, 32, 33});
    std::copy_n(std::vector<double>{0, 1, 2, 3}.data(), 4, s.x->elements);
    const std::uint8_t skip1[] = {0, 1};
    const std::uint8_t skip2[] = {1, 0};
    compactMaskedSystem(s.ws, 2, 2, s.A, s.x, s.b, skip1, skip2);
    EXPECT_EQ(s.x_(), (std::vector<double>{0, 3}));
    EXPECT_EQ(s.b_(), (std::vector<double>{10, 13}));
    EXPECT_EQ(s.dims(), 2002);
    EXPECT_EQ(s.A->stride, ContactLsqWorkspace::INITIAL_CAPACITY);
    EXPECT_EQ((std::vector<double>{s.A->at(0, 0), s.A->at(0, 1), s.A->at(1, 0), s.A->at(1, 1)}),
              (std::vector<double>{0, 3, 30, 33}));
}

TEST(ContactLsqWorkspace, BlockSolveDropsContactsPullingAgainstTheirNormal) {
    ContactLsqWorkspace ws;
    Handles h;
    EXPECT_FALSE(ws.setupRows(0, 3, h.A, h.b, h.x));
    ASSERT_TRUE(ws.setupRows(2, 0, h.A, h.b, h.x));
    EXPECT_EQ(h.dims(), 6006);
    EXPECT_EQ(ws.getBlockSet().input->iterLimit, 9);
    // Contact 0 pushes along its normal despite a negative component; contact 1 pulls.
    h.fill({1, -2, 0.5, -1, 0.2, -0.3});
    const QmtVector3 normals[] = {{1, 0, 0}, {1, 0, 0}};
    std::uint8_t skip[2] = {7, 7};
    solveContactBlockSystem(ws, 2, h.A, h.b, h.x, normals, skip);
    EXPECT_EQ(std::vector<int>(skip, skip + 2), (std::vector<int>{0, 1}));
    expectNear(h.x_(), {1, -2, 0.5});
    expectNear(h.b_(), {1, -2, 0.5});
    EXPECT_EQ(h.dims(), 3003);

    // Compaction by blocks on its own, after the caller has marked contacts itself.
    ASSERT_TRUE(ws.setupRows(3, 0, h.A, h.b, h.x));
    for (int i = 0; i < 9; ++i) {
        h.x->elements[i] = i;
        h.b->elements[i] = -i;
        for (int j = 0; j < 9; ++j) {
            h.A->at(i, j) = 100 * i + j;
        }
    }
    const std::uint8_t marks[] = {1, 0, 0};
    compactBlockSystem(ws, 3, h.A, h.x, h.b, marks);
    EXPECT_EQ(h.x_(), (std::vector<double>{3, 4, 5, 6, 7, 8}));
    EXPECT_EQ(h.b_(), (std::vector<double>{-3, -4, -5, -6, -7, -8}));
    EXPECT_EQ(h.dims(), 6006);
    for (int i = 0; i < 36; ++i) {
        EXPECT_EQ(h.A->at(i / 6, i % 6), 100 * (i / 6 + 3) + i % 6 + 3);
    }
}

TEST(ContactLsqWorkspace, SetsGrowIndependentlyAndSolvesAllocateNothing) {
    Scalar s;
    Handles block;
    const auto capacities = [&] {
        return std::vector<int>{s.ws.getCapacity(), s.ws.getBlockCapacity(), s.ws.getSavedRhsCapacity()};
    };
    EXPECT_FALSE(s.setup(0));
    EXPECT_EQ(capacities(), (std::vector<int>{96, 96, 96}));
    ASSERT_TRUE(s.ws.setupRows(32, 0, block.A, block.b, block.x));  // 96 variables
    ASSERT_TRUE(s.setup(50));
    EXPECT_EQ(capacities(), (std::vector<int>{96, 97, 97}));
    ASSERT_TRUE(s.ws.setupRows(40, 0, block.A, block.b, block.x));  // 120
    ASSERT_TRUE(s.setup(100));
    EXPECT_EQ(capacities(), (std::vector<int>{101, 121, 121}));  // savedRhs never shrinks
    EXPECT_EQ(s.A->stride, 101);

    // Solves right after the growth allocate nothing.
    std::vector<double> rhs(100, 1.0);
    rhs[3] = -1;
    rhs[60] = -2;
    s.fill(rhs);
    ASSERT_TRUE(s.ws.setupRows(2, 0, block.A, block.b, block.x));
    block.fill({1, 0, 0, -1, 0, 0});
    const QmtVector3 normals[] = {{1, 0, 0}, {1, 0, 0}};
    std::uint8_t marks[2];
    LsqSystem system;
    Handles joint;
    ASSERT_TRUE(system.setup(3, joint.A, joint.b, joint.x));
    joint.fill({1, 2, 3});
    zyltest::nothrowAllocations = zyltest::nothrowArrayAllocations = 0;
    s.solve(50, 50);
    solveContactBlockSystem(s.ws, 2, block.A, block.b, block.x, normals, marks);
    system.solve(joint.A, joint.b, joint.x);
    EXPECT_EQ(zyltest::nothrowAllocations + zyltest::nothrowArrayAllocations, 0);
    EXPECT_EQ(s.skip[3] + s.skip[60], 2);
    expectNear(s.x_(), std::vector<double>(98, 1.0));
    EXPECT_EQ(marks[1], 1);
}

// Each allocation of a growth fails in turn: the set's own failures report their line,
// the setup refuses, and the workspace keeps its old system.
TEST(ContactLsqWorkspace, FailedGrowthKeepsTheOldSystem) {
    Scalar s;
    ASSERT_TRUE(s.setup(50));
    MatrixView* const before = s.A;
    const int setAllocations = 16;  // four records, five vectors and the matrix
    for (int k = 1; k <= setAllocations + 3; ++k) {  // then the skip bytes and savedRhs
        zyltest::failNthNothrowAllocation = k;
        testing::internal::CaptureStderr();
        EXPECT_FALSE(s.setup(96)) << k;
        EXPECT_EQ(testing::internal::GetCapturedStderr().empty(), k > setAllocations) << k;
        EXPECT_EQ(s.ws.getCapacity() + s.ws.getSavedRhsCapacity(), 2 * 96);
        ASSERT_TRUE(s.setup(50));
        EXPECT_EQ(s.A, before);
    }
    zyltest::failNthNothrowAllocation = 0;
    ASSERT_TRUE(s.setup(96));
    EXPECT_EQ(s.ws.getCapacity() + s.ws.getSavedRhsCapacity(), 2 * 97);
}
