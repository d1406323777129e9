#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

#include "math/qmtMatrix3.h"
#include "tests/testSupport.h"

using Qmt::QmtMatrix3;
using Qmt::QmtVector3;
using zyltest::maxAbsDifference;
using zyltest::randomMatrix3;

namespace {

// The constants must be usable at compile time (no static-initialisation order).
static_assert(QmtMatrix3::ZERO(1, 1) == 0.0);
static_assert(QmtMatrix3::IDENTITY(2, 2) == 1.0 && QmtMatrix3::IDENTITY(0, 2) == 0.0);
static_assert(QmtMatrix3::EPSILON == static_cast<double>(1e-6f));

}  // namespace

TEST(QmtMatrix3, ConstructionAndAccess) {
    const QmtMatrix3 Z;
    EXPECT_EQ(Z, QmtMatrix3::ZERO);

    const QmtMatrix3 M(1, 2, 3, 4, 5, 6, 7, 8, 9);
    EXPECT_EQ(M[1][2], 6.0);
    EXPECT_EQ(M(2, 0), 7.0);
    const double raw[9] = {1, 2, 3, 4, 5, 6, 7, 8, 9};
    EXPECT_EQ(QmtMatrix3(raw), M);

    // The three-vector constructor fills columns, not rows.
    const QmtMatrix3 C(QmtVector3(1, 2, 3), QmtVector3(4, 5, 6), QmtVector3(7, 8, 9));
    EXPECT_EQ(C, QmtMatrix3(1, 4, 7, 2, 5, 8, 3, 6, 9));
    EXPECT_EQ(C.GetColumn(0), QmtVector3(1, 2, 3));
    EXPECT_EQ(C.GetColumn(2), QmtVector3(7, 8, 9));

    QmtMatrix3 W = M;
    W(0, 1) = -5.0;
    W[2][2] = 11.0;
    EXPECT_EQ(W, QmtMatrix3(1, -5, 3, 4, 5, 6, 7, 8, 11));
    W.SetIdentity();
    EXPECT_EQ(W, QmtMatrix3::IDENTITY);
    W.MakeDiagonal(2, 3, 4);
    EXPECT_EQ(W, QmtMatrix3(2, 0, 0, 0, 3, 0, 0, 0, 4));
    W.SetZero();
    EXPECT_EQ(W, QmtMatrix3::ZERO);
}

TEST(QmtMatrix3, EqualityIsExact) {
    const QmtMatrix3 A(1, 2, 3, 4, 5, 6, 7, 8, 9);
    QmtMatrix3 B = A;
    EXPECT_TRUE(A == B);
    EXPECT_FALSE(A != B);
    B(2, 2) = std::nextafter(9.0, 10.0);
    EXPECT_FALSE(A == B);
    EXPECT_TRUE(A != B);

    // +0 equals -0; a NaN entry is never equal, not even to itself.
    EXPECT_EQ(QmtMatrix3::ZERO, -QmtMatrix3::ZERO);
    QmtMatrix3 N = A;
    N(1, 0) = std::numeric_limits<double>::quiet_NaN();
    EXPECT_FALSE(N == N);
    EXPECT_TRUE(N != N);
}

TEST(QmtMatrix3, Arithmetic) {
    const QmtMatrix3 A(1, 2, 3, 4, 5, 6, 7, 8, 10);
    const QmtMatrix3 B(-2, 1, 0, 3, -1, 4, 0.5, 2, -3);
    EXPECT_EQ(A + B, QmtMatrix3(-1, 3, 3, 7, 4, 10, 7.5, 10, 7));
    EXPECT_EQ(A - B, QmtMatrix3(3, 1, 3, 1, 6, 2, 6.5, 6, 13));
    EXPECT_EQ(-A, QmtMatrix3(-1, -2, -3, -4, -5, -6, -7, -8, -10));
    EXPECT_EQ(A * 2.0, QmtMatrix3(2, 4, 6, 8, 10, 12, 14, 16, 20));
    EXPECT_EQ(2.0 * A, A * 2.0);
    EXPECT_EQ(A * B, QmtMatrix3(5.5, 5, -1, 10, 11, 2, 15, 19, 2));
    EXPECT_EQ(A * QmtVector3(1, -1, 2), QmtVector3(5, 11, 19));
    EXPECT_EQ(A.Transpose(), QmtMatrix3(1, 4, 7, 2, 5, 8, 3, 6, 10));
    EXPECT_EQ(A.TransposeTimes(B), A.Transpose() * B);
    EXPECT_EQ(A.TimesTranspose(B), A * B.Transpose());

    std::mt19937 rng(11);
    std::uniform_real_distribution<double> u(-3.0, 3.0);
    for (int i = 0; i < 100; ++i) {
        const QmtMatrix3 M = randomMatrix3(rng);
        const QmtVector3 v(u(rng), u(rng), u(rng));
        // v * M is the product with the transpose.
        const QmtVector3 left = v * M;
        const QmtVector3 right = M.Transpose() * v;
        EXPECT_NEAR(left.x, right.x, 1e-15);
        EXPECT_NEAR(left.y, right.y, 1e-15);
        EXPECT_NEAR(left.z, right.z, 1e-15);
    }
}

TEST(QmtMatrix3, SkewSymmetricIsTheCrossProduct) {
    const QmtVector3 v(1, 2, 3);
    EXPECT_EQ(Qmt::SkewSymmetric(v), QmtMatrix3(0, -3, 2, 3, 0, -1, -2, 1, 0));
    EXPECT_EQ(Qmt::SkewSymmetric(v) * QmtVector3(4, 5, 6), QmtVector3(-3, 6, -3));

    std::mt19937 rng(3);
    std::uniform_real_distribution<double> u(-2.0, 2.0);
    for (int i = 0; i < 100; ++i) {
        const QmtVector3 a(u(rng), u(rng), u(rng));
        const QmtVector3 b(u(rng), u(rng), u(rng));
        EXPECT_EQ(Qmt::SkewSymmetric(a) * b, a.Cross(b));
        EXPECT_NEAR(Qmt::SkewSymmetric(a).Determinant(), 0.0, 1e-15);
    }
}

TEST(QmtMatrix3, Determinant) {
    EXPECT_EQ(QmtMatrix3::IDENTITY.Determinant(), 1.0);
    EXPECT_EQ(QmtMatrix3(2, 0, 0, 0, 4, 0, 0, 0, 8).Determinant(), 64.0);
    EXPECT_EQ(QmtMatrix3(1, 2, 3, 4, 5, 6, 7, 8, 10).Determinant(), -3.0);
    // Two equal rows.
    EXPECT_EQ(QmtMatrix3(1, 2, 3, 1, 2, 3, 0, 5, 1).Determinant(), 0.0);

    std::mt19937 rng(5);
    for (int i = 0; i < 100; ++i) {
        const QmtMatrix3 A = randomMatrix3(rng);
        const QmtMatrix3 B = randomMatrix3(rng);
        EXPECT_NEAR((A * B).Determinant(), A.Determinant() * B.Determinant(), 1e-13);
        EXPECT_NEAR(A.Transpose().Determinant(), A.Determinant(), 1e-15);
    }
}

TEST(QmtMatrix3, Inverse) {
    const double rigidTolerance = static_cast<double>(1e-14f);
    EXPECT_EQ(QmtMatrix3(2, 0, 0, 0, 4, 0, 0, 0, 8).Inverse(rigidTolerance),
              QmtMatrix3(0.5, 0, 0, 0, 0.25, 0, 0, 0, 0.125));

    std::mt19937 rng(7);
    int inverted = 0;
    for (int i = 0; i < 1000; ++i) {
        const QmtMatrix3 M = randomMatrix3(rng);
        QmtMatrix3 inv;
        if (!M.Inverse(inv, 1e-3)) {
            continue;
        }
        ++inverted;
        const double scale = std::fabs(1.0 / M.Determinant());
        EXPECT_LT(maxAbsDifference(inv * M, QmtMatrix3::IDENTITY), 1e-13 * (1.0 + scale));
        EXPECT_LT(maxAbsDifference(M * inv, QmtMatrix3::IDENTITY), 1e-13 * (1.0 + scale));
        EXPECT_EQ(M.Inverse(1e-3), inv);
    }
    EXPECT_GT(inverted, 900);
}

TEST(QmtMatrix3, SingularInverseLeavesOutputUntouched) {
    const QmtMatrix3 equalRows(1, 2, 3, 1, 2, 3, 0, 5, 1);
    const QmtMatrix3 sentinel(9, 8, 7, 6, 5, 4, 3, 2, 1);
    QmtMatrix3 out = sentinel;
    EXPECT_FALSE(equalRows.Inverse(out, static_cast<double>(1e-14f)));
    EXPECT_EQ(out, sentinel);
    EXPECT_EQ(equalRows.Inverse(static_cast<double>(1e-14f)), QmtMatrix3::ZERO);

    // The tolerance is absolute and inclusive: |det| == tolerance is singular.
    const QmtMatrix3 small(0.5, 0, 0, 0, 0.5, 0, 0, 0, 0.5);  // det 0.125
    EXPECT_FALSE(small.Inverse(out, 0.125));
    EXPECT_EQ(out, sentinel);
    EXPECT_FALSE((-small).Inverse(out, 0.125));
    EXPECT_TRUE(small.Inverse(out, std::nextafter(0.125, 0.0)));
    EXPECT_EQ(out, QmtMatrix3(2, 0, 0, 0, 2, 0, 0, 0, 2));
}
