#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>
#include <random>
#include <vector>

#include "math/qmtMatrix2.h"
#include "tests/testSupport.h"

using Qmt::QmtMatrix2;
using Qmt::QmtVector2;
using zyltest::maxAbsDifference;

namespace {

static_assert(QmtMatrix2::IDENTITY[1][1] == 1.0 && QmtMatrix2::ZERO[0][1] == 0.0);

constexpr double kPi = std::numbers::pi;

QmtMatrix2 randomMatrix(std::mt19937& rng) {
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    return {u(rng), u(rng), u(rng), u(rng)};
}

double orthogonalityError(const QmtMatrix2& Q) {
    return maxAbsDifference(Q.Transpose() * Q, QmtMatrix2::IDENTITY);
}

void expectValidSvd(const QmtMatrix2& A, double tolerance) {
    QmtMatrix2 L;
    QmtMatrix2 R;
    QmtVector2 S;
    A.SingularValueDecomposition(L, S, R);
    EXPECT_GE(S.x, 0.0);
    EXPECT_GE(S.y, 0.0);
    EXPECT_LT(orthogonalityError(L), 1e-12);
    EXPECT_LT(orthogonalityError(R), 1e-12);
    QmtMatrix2 M;
    M.SingularValueComposition(L, S, R);
    EXPECT_LE(maxAbsDifference(M, A), tolerance)
        << A[0][0] << ' ' << A[0][1] << ' ' << A[1][0] << ' ' << A[1][1];
}

}  // namespace

TEST(QmtMatrix2, BasicAlgebra) {
    const double raw[2][2] = {{1, 2}, {3, 4}};
    const QmtMatrix2 A(raw);
    EXPECT_EQ(A, QmtMatrix2(1, 2, 3, 4));
    EXPECT_EQ(A[1][0], 3.0);
    EXPECT_EQ(A.GetColumn(1), QmtVector2(2, 4));
    const QmtMatrix2 B(-1, 0.5, 2, 3);
    EXPECT_EQ(A + B, QmtMatrix2(0, 2.5, 5, 7));
    EXPECT_EQ(A - B, QmtMatrix2(2, 1.5, 1, 1));
    EXPECT_EQ(-A, QmtMatrix2(-1, -2, -3, -4));
    EXPECT_EQ(A * B, QmtMatrix2(3, 6.5, 5, 13.5));
    EXPECT_EQ(A * 3.0, QmtMatrix2(3, 6, 9, 12));
    EXPECT_EQ(3.0 * A, A * 3.0);
    EXPECT_EQ(A * QmtVector2(1, -1), QmtVector2(-1, -1));
    EXPECT_EQ(QmtVector2(1, -1) * A, A.Transpose() * QmtVector2(1, -1));
    EXPECT_EQ(QmtVector2(1, -1) * A, QmtVector2(-2, -2));
    EXPECT_EQ(A.Transpose(), QmtMatrix2(1, 3, 2, 4));
    EXPECT_EQ(A.Determinant(), -2.0);
    EXPECT_EQ(A.L2NormSqr(), 30.0);

    QmtMatrix2 N = A;
    EXPECT_FALSE(N != A);
    N[0][1] = std::numeric_limits<double>::quiet_NaN();
    EXPECT_FALSE(N == N);
    EXPECT_TRUE(N != A);

    QmtMatrix2 T;
    QmtMatrix2::TensorProduct(QmtVector2(1, 2), QmtVector2(3, 4), T);
    EXPECT_EQ(T, QmtMatrix2(3, 4, 6, 8));
}

TEST(QmtMatrix2, Inverse) {
    const QmtMatrix2 A(1, 2, 3, 4);
    QmtMatrix2 inv = QmtMatrix2::ZERO;
    ASSERT_TRUE(A.Inverse(inv, QmtMatrix2::EPSILON));
    EXPECT_EQ(inv, QmtMatrix2(-2, 1, 1.5, -0.5));

    std::mt19937 rng(2);
    for (int i = 0; i < 1000; ++i) {
        const QmtMatrix2 M = randomMatrix(rng);
        if (M.Inverse(inv, 1e-3)) {
            const double scale = 1.0 + std::fabs(1.0 / M.Determinant());
            EXPECT_LT(maxAbsDifference(inv * M, QmtMatrix2::IDENTITY), 1e-14 * scale);
            EXPECT_EQ(M.Inverse(1e-3), inv);
        }
    }

    // Singular: false, output untouched, ZERO from the value form.
    const QmtMatrix2 singular(1, 2, 2, 4);
    const QmtMatrix2 sentinel(5, 6, 7, 8);
    QmtMatrix2 out = sentinel;
    EXPECT_FALSE(singular.Inverse(out, QmtMatrix2::EPSILON));
    EXPECT_EQ(out, sentinel);
    EXPECT_EQ(singular.Inverse(QmtMatrix2::EPSILON), QmtMatrix2::ZERO);
    EXPECT_FALSE(QmtMatrix2(0.5, 0, 0, 0.5).Inverse(out, 0.25));  // |det| == tolerance
    EXPECT_EQ(out, sentinel);
}

TEST(QmtMatrix2, Angles) {
    QmtMatrix2 M;
    M.FromAngle(0.5);
    EXPECT_EQ(M, QmtMatrix2(std::cos(0.5), -std::sin(0.5), std::sin(0.5), std::cos(0.5)));
    const std::vector<double> angles = {kPi, -kPi + 1e-9, -2.0, -0.3, 0.0, 1e-12, 1.0, 3.0};
    for (const double a : angles) {
        M.FromAngle(a);
        double back = 100.0;
        M.ToAngle(back);
        EXPECT_NEAR(back, a, 1e-15) << a;
    }
}

TEST(QmtMatrix2, SingularValueDecomposition) {
    QmtMatrix2 L;
    QmtMatrix2 R;
    QmtVector2 S;
    QmtMatrix2::IDENTITY.SingularValueDecomposition(L, S, R);
    EXPECT_EQ(L, QmtMatrix2::IDENTITY);
    EXPECT_EQ(R, QmtMatrix2::IDENTITY);
    EXPECT_EQ(S, QmtVector2(1, 1));

    // Diagonal input keeps R = IDENTITY up to row signs.
    QmtMatrix2(2, 0, 0, -3).SingularValueDecomposition(L, S, R);
    EXPECT_EQ(S, QmtVector2(2, 3));
    EXPECT_EQ(R, QmtMatrix2(1, 0, 0, -1));

    // Diagonal AT * A whose eigenvectors do not pair with L in column order:
    // rotations, a rotation times a stretch of the second axis, anti-diagonals.
    QmtMatrix2 rot;
    rot.FromAngle(0.7);
    expectValidSvd(rot, 1e-15);
    expectValidSvd(rot * QmtMatrix2(1, 0, 0, 2), 1e-14);
    expectValidSvd(QmtMatrix2(1, -2, 1, 2), 1e-14);
    expectValidSvd(QmtMatrix2(0, 2, 3, 0), 1e-15);
    expectValidSvd(QmtMatrix2(0, 1, 1, 0), 1e-15);
    expectValidSvd(QmtMatrix2(0, 0, 0, 0), 0.0);
    expectValidSvd(QmtMatrix2(0, 0, 5, 0), 1e-15);
    expectValidSvd(QmtMatrix2(1, 2, 2, 4), 1e-14);

    std::mt19937 rng(42);
    for (int i = 0; i < 10000; ++i) {
        expectValidSvd(randomMatrix(rng), 1e-9);
    }
}

TEST(QmtMatrix2, SpectralNorm) {
    // The zero matrix has norm 0 (its largest entry cannot scale it).
    EXPECT_EQ(QmtMatrix2::ZERO.SpectralNorm(), 0.0);
    EXPECT_NEAR(QmtMatrix2(3, 0, 0, -4).SpectralNorm(), 4.0, 1e-15);
    EXPECT_NEAR(QmtMatrix2(0, 2, 0, 0).SpectralNorm(), 2.0, 1e-15);

    std::mt19937 rng(6);
    for (int i = 0; i < 1000; ++i) {
        const QmtMatrix2 A = randomMatrix(rng);
        QmtMatrix2 L;
        QmtMatrix2 R;
        QmtVector2 S;
        A.SingularValueDecomposition(L, S, R);
        EXPECT_NEAR(A.SpectralNorm(), std::max(S.x, S.y), 1e-7);
    }
}

TEST(QmtMatrix2, OrthonormalizeAndQdu) {
    const QmtMatrix2 A(3, 1, 4, 2);
    QmtMatrix2 Q;
    QmtVector2 D;
    double U = 0.0;
    A.QDUDecomposition(Q, D, U);
    EXPECT_NEAR(Q.Determinant(), 1.0, 1e-15);
    EXPECT_LT(orthogonalityError(Q), 1e-15);
    EXPECT_LT(maxAbsDifference(Q * QmtMatrix2(D.x, D.x * U, 0, D.y), A), 1e-14);

    std::mt19937 rng(9);
    for (int i = 0; i < 1000; ++i) {
        const QmtMatrix2 M = randomMatrix(rng);
        QmtMatrix2 O = M;
        O.Orthonormalize();
        EXPECT_LT(orthogonalityError(O), 1e-9);
        // The first column keeps its direction.
        EXPECT_NEAR(O[0][0] * M[1][0] - O[1][0] * M[0][0], 0.0, 1e-12);
        EXPECT_GT(O[0][0] * M[0][0] + O[1][0] * M[1][0], 0.0);

        M.QDUDecomposition(Q, D, U);
        EXPECT_NEAR(Q.Determinant(), 1.0, 1e-9);
        EXPECT_LT(maxAbsDifference(Q * QmtMatrix2(D.x, D.x * U, 0, D.y), M), 1e-9 * (1.0 + std::fabs(U)));
    }
}

TEST(QmtMatrix2, EigenSolveSymmetric) {
    double values[2];
    QmtVector2 vectors[2];
    QmtMatrix2(5, 0, 0, -2).EigenSolveSymmetric(values, vectors);
    EXPECT_EQ(values[0], 5.0);
    EXPECT_EQ(values[1], -2.0);
    EXPECT_EQ(vectors[0], QmtVector2(1, 0));
    EXPECT_EQ(vectors[1], QmtVector2(0, 1));

    std::mt19937 rng(10);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    for (int i = 0; i < 2000; ++i) {
        const double offDiagonal = i % 10 == 0 ? 1e-20 : u(rng);
        const QmtMatrix2 A(u(rng), offDiagonal, offDiagonal, u(rng));
        A.EigenSolveSymmetric(values, vectors);
        for (int k = 0; k < 2; ++k) {
            EXPECT_NEAR(vectors[k].Length(), 1.0, 1e-14);
            EXPECT_LT((A * vectors[k] - vectors[k] * values[k]).Length(), 1e-14);
        }
        EXPECT_NEAR(vectors[0].Dot(vectors[1]), 0.0, 1e-14);
        // A right-handed pair.
        EXPECT_NEAR(vectors[0].x * vectors[1].y - vectors[0].y * vectors[1].x, 1.0, 1e-14);
    }
}
