#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <numbers>
#include <random>
#include <vector>

#include "math/qmtMatrix3.h"
#include "tests/testSupport.h"

using Qmt::QmtMatrix3;
using Qmt::QmtVector3;
using zyltest::maxAbsDifference;
using zyltest::randomMatrix3;

namespace {

constexpr double kPi = std::numbers::pi;

// Exposes the protected cubic root finder.
struct CubicProbe : QmtMatrix3 {
    using QmtMatrix3::MaxCubicRoot;
};

double maxAbsEntry(const QmtMatrix3& A) { return maxAbsDifference(A, QmtMatrix3::ZERO); }

double orthogonalityError(const QmtMatrix3& Q) {
    return maxAbsDifference(Q.TransposeTimes(Q), QmtMatrix3::IDENTITY);
}

QmtVector3 randomVector(std::mt19937& rng) {
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    return {u(rng), u(rng), u(rng)};
}

QmtMatrix3 rotX(double a) { return {1, 0, 0, 0, std::cos(a), -std::sin(a), 0, std::sin(a), std::cos(a)}; }
QmtMatrix3 rotY(double a) { return {std::cos(a), 0, std::sin(a), 0, 1, 0, -std::sin(a), 0, std::cos(a)}; }
QmtMatrix3 rotZ(double a) { return {std::cos(a), -std::sin(a), 0, std::sin(a), std::cos(a), 0, 0, 0, 1}; }

// Checks A = L * diag(S) * R with L, R orthogonal and S >= 0; the reconstruction
// tolerance is relative to the largest entry of A.
void expectValidSvd(const QmtMatrix3& A, double relativeTolerance) {
    QmtMatrix3 L;
    QmtMatrix3 R;
    QmtVector3 S(-7.0, -7.0, -7.0);  // must be overwritten
    A.SingularValueDecomposition(L, S, R);
    EXPECT_GE(S.x, 0.0);
    EXPECT_GE(S.y, 0.0);
    EXPECT_GE(S.z, 0.0);
    EXPECT_LT(orthogonalityError(L), 1e-12);
    EXPECT_LT(orthogonalityError(R), 1e-12);
    QmtMatrix3 D;
    D.MakeDiagonal(S.x, S.y, S.z);
    QmtMatrix3 M;
    M.SingularValueComposition(L, D, R);
    EXPECT_LE(maxAbsDifference(M, A), relativeTolerance * std::max(maxAbsEntry(A), 1e-300))
        << "entries " << A(0, 0) << ' ' << A(0, 1) << ' ' << A(0, 2) << ' ' << A(1, 0) << ' '
        << A(1, 1) << ' ' << A(1, 2) << ' ' << A(2, 0) << ' ' << A(2, 1) << ' ' << A(2, 2);
}

}  // namespace

TEST(QmtMatrix3Svd, ClosedFormPaths) {
    // Bidiagonal form with e0 = 0: the lower block is finished in closed form.
    expectValidSvd(QmtMatrix3(2, 0, 0, 0, 1, 1, 0, 0, 3), 1e-14);
    // e1 = 0: the upper block. The shifted closed form must diagonalise it.
    expectValidSvd(QmtMatrix3(1, 1, 0, 0, 2, 0, 0, 0, 3), 1e-14);
    // Both negligible at once: already diagonal.
    expectValidSvd(QmtMatrix3(-2, 0, 0, 0, 5, 0, 0, 0, -1), 0.0);

    QmtMatrix3 L;
    QmtMatrix3 R;
    QmtVector3 S;
    QmtMatrix3::IDENTITY.SingularValueDecomposition(L, S, R);
    EXPECT_EQ(S, QmtVector3(1, 1, 1));
    // Singular values match the known ones of the upper-block case: the
    // eigenvalues of [(2, 2), (2, 4)] are 3 -+ sqrt(5).
    QmtMatrix3(1, 1, 0, 0, 2, 0, 0, 0, 3).SingularValueDecomposition(L, S, R);
    EXPECT_NEAR(S.z, 3.0, 1e-15);
    EXPECT_NEAR(S.x * S.x + S.y * S.y, 6.0, 1e-13);
    EXPECT_NEAR(S.x * S.y, 2.0, 1e-13);
}

TEST(QmtMatrix3Svd, DegenerateBlocksAndSingularMatrices) {
    // Blocks with a zero diagonal entry, where the closed form would divide by zero,
    // and rank-deficient matrices whose zero diagonal stalls the shifted iteration.
    const std::vector<QmtMatrix3> cases = {
        {1, 1, 0, 0, 0, 0, 0, 0, 3},  {2, 0, 0, 0, 1, 1, 0, 0, 0},   {2, 0, 0, 0, 0, 1, 0, 0, 1},
        {-1, -1, -1, 0, -1, 1, 0, 0, 0}, {1, 1, 2, 2, -2, 0, 0, 1, 1}, {1, 1, 0, 0, 0, 1, 0, 0, 1},
        {0, 1, 0, 0, 0, 1, 0, 0, 0},  {1, 2, 3, 2, 4, 6, 3, 6, 9},   QmtMatrix3::ZERO,
    };
    for (const QmtMatrix3& A : cases) {
        expectValidSvd(A, 1e-5);
    }

    std::mt19937 rng(21);
    std::uniform_int_distribution<int> small(-2, 2);
    for (int i = 0; i < 3000; ++i) {
        QmtMatrix3 rank1;
        QmtMatrix3 second;
        QmtMatrix3::TensorProduct(randomVector(rng), randomVector(rng), rank1);
        QmtMatrix3::TensorProduct(randomVector(rng), randomVector(rng), second);
        expectValidSvd(rank1, 1e-3);
        expectValidSvd(rank1 + second, 1e-3);
        expectValidSvd(QmtMatrix3(small(rng), small(rng), small(rng), small(rng), small(rng),
                                  small(rng), small(rng), small(rng), small(rng)),
                       1e-3);
    }
}

TEST(QmtMatrix3Svd, RandomMatricesConverge) {
    // The iteration stops on a relative superdiagonal test of about 1e-4, so the
    // reconstruction is good to that order; unconverged results would be far off.
    std::mt19937 rng(1234);
    for (int i = 0; i < 10000; ++i) {
        expectValidSvd(randomMatrix3(rng), 1e-3);
    }
}

TEST(QmtMatrix3Svd, SpectralNormAndComposition) {
    EXPECT_EQ(QmtMatrix3::ZERO.SpectralNorm(), 0.0);
    EXPECT_NEAR(QmtMatrix3(1, 0, 0, 0, -5, 0, 0, 0, 2).SpectralNorm(), 5.0, 1e-15);

    std::mt19937 rng(8);
    for (int i = 0; i < 200; ++i) {
        const QmtMatrix3 A = randomMatrix3(rng);
        double values[3];
        QmtVector3 vectors[3];
        A.TransposeTimes(A).EigenSolveSymmetric(values, vectors);
        const double largest = std::max(values[0], std::max(values[1], values[2]));
        EXPECT_NEAR(A.SpectralNorm(), std::sqrt(largest), 1e-3 * std::sqrt(largest));
    }

    QmtMatrix3 M;
    const QmtMatrix3 L = rotZ(0.3);
    const QmtMatrix3 R = rotX(-1.1);
    M.SingularValueComposition(L, QmtMatrix3(2, 0, 0, 0, 3, 0, 0, 0, 4), R);
    EXPECT_LT(maxAbsDifference(M, L * QmtMatrix3(2, 0, 0, 0, 3, 0, 0, 0, 4) * R), 1e-15);
}

TEST(QmtMatrix3Decompositions, OrthonormalizeAndQdu) {
    std::mt19937 rng(17);
    for (int i = 0; i < 500; ++i) {
        const QmtMatrix3 A = randomMatrix3(rng);
        QmtMatrix3 Q = A;
        Q.Orthonormalize();
        EXPECT_LT(orthogonalityError(Q), 1e-9);
        // Gram-Schmidt keeps the flag of the columns: QT * A is upper triangular
        // with a positive diagonal.
        const QmtMatrix3 T = Q.TransposeTimes(A);
        EXPECT_NEAR(T(1, 0), 0.0, 1e-9);
        EXPECT_NEAR(T(2, 0), 0.0, 1e-9);
        EXPECT_NEAR(T(2, 1), 0.0, 1e-9);
        EXPECT_GT(T(0, 0), 0.0);
        EXPECT_GT(T(1, 1), 0.0);
        EXPECT_GT(T(2, 2), 0.0);

        QmtMatrix3 D;
        QmtMatrix3 U;
        A.QDUDecomposition(Q, D, U);
        EXPECT_NEAR(Q.Determinant(), 1.0, 1e-9);
        EXPECT_LT(orthogonalityError(Q), 1e-9);
        EXPECT_EQ(D(0, 1), 0.0);
        EXPECT_EQ(D(2, 0), 0.0);
        EXPECT_EQ(U(0, 0), 1.0);
        EXPECT_EQ(U(2, 2), 1.0);
        EXPECT_EQ(U(1, 0), 0.0);
        EXPECT_EQ(U(2, 1), 0.0);
        EXPECT_LT(maxAbsDifference(Q * D * U, A), 1e-9 * (1.0 + maxAbsEntry(U)));
    }
    // A negative determinant flips Q's sign, not its handedness.
    QmtMatrix3 Q;
    QmtMatrix3 D;
    QmtMatrix3 U;
    const QmtMatrix3 mirror(1, 2, 0, 0, 1, 0, 0, 0, -3);
    mirror.QDUDecomposition(Q, D, U);
    EXPECT_NEAR(Q.Determinant(), 1.0, 1e-15);
    EXPECT_LT(maxAbsDifference(Q * D * U, mirror), 1e-15);
}

TEST(QmtMatrix3Decompositions, MaxCubicRoot) {
    // (x - 3)(x^2 + 1): p(1) < 0, Newton's method from 4 reaches 3.
    const double c1[3] = {-3, 1, -3};
    EXPECT_NEAR(CubicProbe::MaxCubicRoot(c1), 3.0, 1e-9);
    // (x - 1)(x - 2)(x - 3): p(1) = 0, so the start value is returned.
    const double c2[3] = {-6, 11, -6};
    EXPECT_EQ(CubicProbe::MaxCubicRoot(c2), 1.0);
    // At most one turning point: -c2/3 in single precision, even when not a root.
    const double c3[3] = {0, 0, 0};
    EXPECT_EQ(CubicProbe::MaxCubicRoot(c3), 0.0);
    const double c4[3] = {-8, 0, 0};
    EXPECT_EQ(CubicProbe::MaxCubicRoot(c4), 0.0);
    const double c5[3] = {-27, 27, -9};  // (x - 3)^3
    EXPECT_EQ(CubicProbe::MaxCubicRoot(c5), -9 * -0.3333333432674408);
}

TEST(QmtMatrix3Decompositions, AxisAngle) {
    QmtVector3 axis;
    double angle = -1.0;
    QmtMatrix3::IDENTITY.ToAxisAngle(axis, angle);
    EXPECT_EQ(angle, 0.0);
    EXPECT_EQ(axis, QmtVector3(1, 0, 0));

    QmtMatrix3(1, 0, 0, 0, -1, 0, 0, 0, -1).ToAxisAngle(axis, angle);
    EXPECT_EQ(angle, kPi);
    EXPECT_EQ(axis, QmtVector3(1, 0, 0));
    QmtMatrix3(-1, 0, 0, 0, 1, 0, 0, 0, -1).ToAxisAngle(axis, angle);
    EXPECT_EQ(axis, QmtVector3(0, 1, 0));
    QmtMatrix3(-1, 0, 0, 0, -1, 0, 0, 0, 1).ToAxisAngle(axis, angle);
    EXPECT_EQ(axis, QmtVector3(0, 0, 1));

    QmtMatrix3 M;
    M.FromAxisAngle(QmtVector3(0, 0, 1), 0.5);
    EXPECT_LT(maxAbsDifference(M, rotZ(0.5)), 1e-16);
    M.ToAxisAngle(axis, angle);
    EXPECT_NEAR(angle, 0.5, 1e-15);
    EXPECT_NEAR(axis.z, 1.0, 1e-15);

    std::mt19937 rng(4);
    std::uniform_real_distribution<double> angles(0.01, kPi - 0.01);
    for (int i = 0; i < 300; ++i) {
        QmtVector3 w = randomVector(rng);
        w.Unitize(QmtMatrix3::EPSILON);
        const double a = angles(rng);
        M.FromAxisAngle(w, a);
        EXPECT_LT(orthogonalityError(M), 1e-14);
        EXPECT_NEAR(M.Determinant(), 1.0, 1e-14);
        EXPECT_LT((M * w - w).Length(), 1e-14);  // the axis is fixed
        M.ToAxisAngle(axis, angle);
        EXPECT_NEAR(angle, a, 1e-7);
        EXPECT_LT((axis - w).Length(), 1e-7);

        // (Nearly) half turns about a general axis: the axis comes back up to sign
        // although the antisymmetric part has all but vanished.
        for (const double halfTurn : {kPi, kPi - 1e-9}) {
            M.FromAxisAngle(w, halfTurn);
            M.ToAxisAngle(axis, angle);
            EXPECT_NEAR(angle, halfTurn, 1e-7);
            EXPECT_NEAR(std::fabs(axis.Dot(w)), 1.0, 1e-7);
        }
    }
}

TEST(QmtMatrix3Decompositions, TensorProductAndSlerp) {
    QmtMatrix3 T;
    QmtMatrix3::TensorProduct(QmtVector3(1, 2, 3), QmtVector3(4, 5, 6), T);
    EXPECT_EQ(T, QmtMatrix3(4, 5, 6, 8, 10, 12, 12, 15, 18));

    const QmtMatrix3 R0 = rotX(0.4) * rotY(-0.2);
    const QmtMatrix3 R1 = rotZ(1.0) * rotX(0.3);
    // Only the relative rotation R0T * R1 is interpolated.
    EXPECT_EQ(QmtMatrix3::Slerp(0.0, R0, R1), QmtMatrix3::IDENTITY);
    EXPECT_LT(maxAbsDifference(QmtMatrix3::Slerp(1.0, R0, R1), R0.TransposeTimes(R1)), 1e-14);
    const QmtMatrix3 half = QmtMatrix3::Slerp(0.5, R0, R1);
    EXPECT_LT(maxAbsDifference(half * half, R0.TransposeTimes(R1)), 1e-14);
}

namespace {

using Extractor = bool (QmtMatrix3::*)(double&, double&, double&) const;

struct EulerOrder {
    const char* name;
    Extractor extract;
    std::function<QmtMatrix3(double)> first;
    std::function<QmtMatrix3(double)> second;
    std::function<QmtMatrix3(double)> third;
    bool twoAxis;
    void (QmtMatrix3::*build)(double, double, double);
};

std::vector<EulerOrder> eulerOrders() {
    return {
        {"XYZ", &QmtMatrix3::ToEulerAnglesXYZ, rotX, rotY, rotZ, false, &QmtMatrix3::FromEulerAnglesXYZ},
        {"XZY", &QmtMatrix3::ToEulerAnglesXZY, rotX, rotZ, rotY, false, &QmtMatrix3::FromEulerAnglesXZY},
        {"YXZ", &QmtMatrix3::ToEulerAnglesYXZ, rotY, rotX, rotZ, false, &QmtMatrix3::FromEulerAnglesYXZ},
        {"YZX", &QmtMatrix3::ToEulerAnglesYZX, rotY, rotZ, rotX, false, &QmtMatrix3::FromEulerAnglesYZX},
        {"ZXY", &QmtMatrix3::ToEulerAnglesZXY, rotZ, rotX, rotY, false, &QmtMatrix3::FromEulerAnglesZXY},
        {"ZYX", &QmtMatrix3::ToEulerAnglesZYX, rotZ, rotY, rotX, false, &QmtMatrix3::FromEulerAnglesZYX},
        {"XYX", &QmtMatrix3::ToEulerAnglesXYX, rotX, rotY, rotX, true, nullptr},
        {"XZX", &QmtMatrix3::ToEulerAnglesXZX, rotX, rotZ, rotX, true, nullptr},
        {"YXY", &QmtMatrix3::ToEulerAnglesYXY, rotY, rotX, rotY, true, nullptr},
        {"YZY", &QmtMatrix3::ToEulerAnglesYZY, rotY, rotZ, rotY, true, nullptr},
        {"ZXZ", &QmtMatrix3::ToEulerAnglesZXZ, rotZ, rotX, rotZ, true, nullptr},
        {"ZYZ", &QmtMatrix3::ToEulerAnglesZYZ, rotZ, rotY, rotZ, true, nullptr},
    };
}

QmtMatrix3 compose(const EulerOrder& order, double a, double b, double c) {
    return order.first(a) * order.second(b) * order.third(c);
}

}  // namespace

TEST(QmtMatrix3Euler, RegularAnglesRoundTrip) {
    double a = 0.0;
    double b = 0.0;
    double c = 0.0;
    EXPECT_TRUE((rotX(0.1) * rotY(0.2) * rotZ(0.3)).ToEulerAnglesXYZ(a, b, c));
    EXPECT_NEAR(a, 0.1, 1e-15);
    EXPECT_NEAR(b, 0.2, 1e-15);
    EXPECT_NEAR(c, 0.3, 1e-15);

    std::mt19937 rng(12);
    std::uniform_real_distribution<double> outer(-kPi + 1e-3, kPi - 1e-3);
    std::uniform_real_distribution<double> middle3(-kPi / 2 + 1e-3, kPi / 2 - 1e-3);
    std::uniform_real_distribution<double> middle2(1e-3, kPi - 1e-3);
    for (const EulerOrder& order : eulerOrders()) {
        SCOPED_TRACE(order.name);
        for (int i = 0; i < 200; ++i) {
            const double a0 = outer(rng);
            const double b0 = order.twoAxis ? middle2(rng) : middle3(rng);
            const double c0 = outer(rng);
            QmtMatrix3 M = compose(order, a0, b0, c0);
            if (order.build) {
                QmtMatrix3 built;
                (built.*order.build)(a0, b0, c0);
                EXPECT_LT(maxAbsDifference(built, M), 1e-15);
            }
            ASSERT_TRUE((M.*order.extract)(a, b, c));
            EXPECT_NEAR(a, a0, 1e-9);
            EXPECT_NEAR(b, b0, 1e-9);
            EXPECT_NEAR(c, c0, 1e-9);
        }
    }
}

TEST(QmtMatrix3Euler, GimbalBoundary) {
    std::mt19937 rng(13);
    std::uniform_real_distribution<double> outer(-kPi + 1e-3, kPi - 1e-3);
    for (const EulerOrder& order : eulerOrders()) {
        SCOPED_TRACE(order.name);
        const std::vector<double> boundaries =
            order.twoAxis ? std::vector<double>{0.0, kPi} : std::vector<double>{kPi / 2, -kPi / 2};
        for (const double b0 : boundaries) {
            for (int i = 0; i < 20; ++i) {
                const QmtMatrix3 M = compose(order, outer(rng), b0, outer(rng));
                double a = 0.0;
                double b = 0.0;
                double c = 1.0;
                EXPECT_FALSE((M.*order.extract)(a, b, c));
                EXPECT_EQ(b, b0);
                EXPECT_EQ(c, 0.0);
                // a carries the whole remaining rotation.
                EXPECT_LT(maxAbsDifference(compose(order, a, b, c), M), 1e-12);
            }
        }
    }

    // The documented boundary case and the NaN rule (NaN takes the t >= 1 branch).
    const QmtMatrix3 M = rotX(0.5) * rotY(kPi / 2);
    double a = 0.0;
    double b = 0.0;
    double c = 1.0;
    EXPECT_FALSE(M.ToEulerAnglesXYZ(a, b, c));
    EXPECT_EQ(b, kPi / 2);
    EXPECT_EQ(c, 0.0);
    EXPECT_EQ(a, std::atan2(M(1, 0), M(1, 1)));
    QmtMatrix3 rebuilt;
    rebuilt.FromEulerAnglesXYZ(a, b, c);
    EXPECT_LT(maxAbsDifference(rebuilt, M), 1e-15);

    QmtMatrix3 N = QmtMatrix3::IDENTITY;
    N(0, 2) = std::numeric_limits<double>::quiet_NaN();
    EXPECT_FALSE(N.ToEulerAnglesXYZ(a, b, c));
    EXPECT_EQ(b, kPi / 2);
    EXPECT_EQ(a, 0.0);
    N = QmtMatrix3::IDENTITY;
    N(2, 2) = std::numeric_limits<double>::quiet_NaN();
    EXPECT_FALSE(N.ToEulerAnglesZYZ(a, b, c));
    EXPECT_EQ(b, 0.0);
}

namespace {

void expectValidEigenSystem(const QmtMatrix3& A) {
    double values[3];
    QmtVector3 vectors[3];
    A.EigenSolveSymmetric(values, vectors);
    const double scale = std::max(maxAbsEntry(A), 1.0);
    for (int i = 0; i < 3; ++i) {
        EXPECT_NEAR(vectors[i].Length(), 1.0, 1e-12);
        EXPECT_LT((A * vectors[i] - vectors[i] * values[i]).Length(), 1e-12 * scale);
    }
    EXPECT_NEAR(vectors[0].Dot(vectors[1]), 0.0, 1e-12);
    EXPECT_NEAR(vectors[0].Dot(vectors[2]), 0.0, 1e-12);
    EXPECT_NEAR(vectors[0].Dot(vectors[1].Cross(vectors[2])), 1.0, 1e-12);
}

}  // namespace

TEST(QmtMatrix3Eigen, SymmetricSolver) {
    double values[3];
    QmtVector3 vectors[3];
    // Diagonal order, not sorted.
    QmtMatrix3(3, 0, 0, 0, 1, 0, 0, 0, 2).EigenSolveSymmetric(values, vectors);
    EXPECT_EQ(values[0], 3.0);
    EXPECT_EQ(values[1], 1.0);
    EXPECT_EQ(values[2], 2.0);
    EXPECT_EQ(vectors[0], QmtVector3(1, 0, 0));
    EXPECT_EQ(vectors[1], QmtVector3(0, 1, 0));
    EXPECT_EQ(vectors[2], QmtVector3(0, 0, 1));

    // Equal diagonal entries with a zero coupling: the block is already diagonal.
    QmtMatrix3::IDENTITY.EigenSolveSymmetric(values, vectors);
    EXPECT_EQ(values[1], 1.0);
    EXPECT_EQ(values[2], 1.0);
    EXPECT_EQ(vectors[1], QmtVector3(0, 1, 0));
    EXPECT_EQ(vectors[2], QmtVector3(0, 0, 1));

    // A left-handed raw set has its third vector negated.
    expectValidEigenSystem(QmtMatrix3(2, 0, 1, 0, 3, 0, 1, 0, 2));
    expectValidEigenSystem(QmtMatrix3(2, 1, 0, 1, 2, 0, 0, 0, 5));
    expectValidEigenSystem(QmtMatrix3(1, 2, 3, 2, 4, 6, 3, 6, 9));

    std::mt19937 rng(31);
    for (int i = 0; i < 2000; ++i) {
        const QmtMatrix3 B = randomMatrix3(rng);
        expectValidEigenSystem(B + B.Transpose());
        // m02 below the reduction threshold skips the Householder step.
        QmtMatrix3 C = B + B.Transpose();
        C(0, 2) = C(2, 0) = 0.0;
        expectValidEigenSystem(C);
    }
}
