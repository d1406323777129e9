#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

#include "math/qmtVector3.h"
#include "tests/testSupport.h"

using Qmt::QmtVector3;
using zyltest::expectVec;

namespace {

constexpr double kEps = 9.999999974752427e-7;
constexpr double kMax = 1.7976931348623157e308;
const double kNaN = std::numeric_limits<double>::quiet_NaN();
// Restores the shared comparison tolerance whatever the test does.
using FuzzGuard = zyltest::FuzzGuard<QmtVector3>;

}  // namespace

TEST(QmtVector3, AlgebraAndDivision) {
    const double tuple[3] = {4.0, 5.0, 6.0};
    QmtVector3 v(tuple);
    v[2] = 7.0;
    expectVec(v, 4.0, 5.0, 7.0);
    const QmtVector3 a(1.0, 2.0, 3.0);
    expectVec(a + v - QmtVector3::UNIT_Y, 5.0, 6.0, 10.0);
    expectVec(-a * 2.0, -2.0, -4.0, -6.0);
    EXPECT_EQ(a.Dot(v), 35.0);
    EXPECT_EQ(QmtVector3(3.0, 4.0, 12.0).Length(), 13.0);
    expectVec(a.Cross(v), -1.0, 5.0, -3.0);

    // Division by either zero gives +MAX_REAL everywhere, whatever the signs.
    expectVec(a / 0.0, kMax, kMax, kMax);
    expectVec(QmtVector3(-1.0, 0.0, 0.0) / -0.0, kMax, kMax, kMax);
    QmtVector3 b(-4.0, -5.0, 6.0);
    b /= -0.0;
    expectVec(b, kMax, kMax, kMax);
    // The reciprocal is formed once: 3 * (1/5) differs from 3/5 in the last bit.
    QmtVector3 c(3.0, 0.0, 0.0);
    c /= 5.0;
    EXPECT_EQ(c.x, 0.6000000000000001);
}

TEST(QmtVector3, UnitizeTolerance) {
    QmtVector3 zero;
    EXPECT_EQ(zero.Unitize(kEps), 0.0);
    expectVec(zero, 0.0, 0.0, 0.0);
    QmtVector3 atTol(kEps, 0.0, 0.0);
    ASSERT_EQ(atTol.Length(), kEps);
    EXPECT_EQ(atTol.Unitize(kEps), 0.0);
    expectVec(atTol, kEps, 0.0, 0.0);
    QmtVector3 above(2.0 * kEps, 0.0, 0.0);
    EXPECT_EQ(above.Unitize(kEps), 2.0 * kEps);
    expectVec(above, 1.0, 0.0, 0.0);
    QmtVector3 nan(kNaN, 1.0, 2.0);
    EXPECT_EQ(nan.Unitize(kEps), 0.0);
    EXPECT_TRUE(std::isnan(nan.x));
    EXPECT_EQ(nan.y, 1.0);
    EXPECT_EQ(nan.z, 2.0);
    QmtVector3 v(3.0, 4.0, 0.0);
    EXPECT_EQ(v.Unitize(kEps), 5.0);
    expectVec(v, 0.6000000000000001, 0.8, 0.0);

    expectVec(QmtVector3(1.0, 2.0, 3.0).UnitCross(QmtVector3(2.0, 4.0, 6.0)), 0.0, 0.0, 0.0);
    expectVec(QmtVector3(0.0, 2.0, 0.0).UnitCross(QmtVector3(0.0, 0.0, 3.0)), 1.0, 0.0, 0.0);
}

TEST(QmtVector3, EqualityWithAndWithoutFuzz) {
    const QmtVector3 withNaN(kNaN, 0.0, 0.0);
    {
        FuzzGuard guard(0.0);
        EXPECT_TRUE(QmtVector3(0.0, 0.0, 0.0) == QmtVector3(-0.0, 0.0, 0.0));
        EXPECT_FALSE(QmtVector3(0.0, 0.0, 0.0) != QmtVector3(-0.0, 0.0, 0.0));
        EXPECT_FALSE(withNaN == withNaN);
        EXPECT_TRUE(withNaN != withNaN);
    }
    {
        FuzzGuard guard(0.1);
        EXPECT_TRUE(QmtVector3(1.0, 1.0, 1.0) == QmtVector3(1.05, 0.95, 1.0));
        EXPECT_TRUE(QmtVector3(1.0, 1.0, 1.0) != QmtVector3(1.2, 1.0, 1.0));
        // A NaN component satisfies neither test under a positive tolerance.
        EXPECT_FALSE(withNaN == withNaN);
        EXPECT_FALSE(withNaN != withNaN);
    }
}

TEST(QmtVector3, OrderingOnLowBitsZFirst) {
    // z decides before y and x.
    EXPECT_FALSE(QmtVector3(9.0, 9.0, 0.1) < QmtVector3(0.0, 0.0, 0.3));
    EXPECT_TRUE(QmtVector3(9.0, 9.0, 0.3) < QmtVector3(0.0, 0.0, 0.1));
    EXPECT_TRUE(QmtVector3(0.0, 0.0, 0.1) > QmtVector3(9.0, 9.0, 0.3));
    // Keys are the low 32 bits: 1.0, 2.0 and -1.0 all have zero low halves and tie.
    const QmtVector3 one(0.0, 0.0, 1.0), two(0.0, 0.0, 2.0), minus(0.0, 0.0, -1.0);
    EXPECT_TRUE(!(one < two) && !(one > two) && one <= two && one >= two && minus <= one && minus >= one);
    // y before x; x decides ties strictly or not.
    EXPECT_TRUE(QmtVector3(0.1, 0.3, 0.0) < QmtVector3(0.3, 0.1, 0.0));
    const QmtVector3 p(0.3, 1.0, 1.0), q(0.1, 1.0, 1.0);
    EXPECT_TRUE(p < q && p <= q && !(p > q) && !(p >= q));
    EXPECT_TRUE(p <= p && p >= p && !(p < p) && !(p > p));
    {
        // Near-equal components tie once FUZZ substitutes them; x then decides.
        FuzzGuard guard(0.1);
        EXPECT_TRUE(QmtVector3(0.1, 0.0, 0.3) > QmtVector3(0.3, 0.0, 0.35));
        EXPECT_TRUE(QmtVector3(0.1, 0.0, 0.3) <= QmtVector3(0.15, 0.0, 0.35));
        EXPECT_FALSE(QmtVector3(0.1, 0.0, 0.3) < QmtVector3(0.15, 0.0, 0.35));
    }
}

TEST(QmtVector3, Orthonormalize) {
    std::mt19937 rng(12345);
    std::uniform_real_distribution<double> dist(-10.0, 10.0);
    for (int i = 0; i < 200; ++i) {
        QmtVector3 v[3];
        for (QmtVector3& e : v) {
            e = QmtVector3(dist(rng), dist(rng), dist(rng));
        }
        QmtVector3::Orthonormalize(v);
        for (int a = 0; a < 3; ++a) {
            EXPECT_NEAR(v[a].Length(), 1.0, 1e-12);
            for (int b = a + 1; b < 3; ++b) {
                EXPECT_NEAR(v[a].Dot(v[b]), 0.0, 1e-9);
            }
        }
    }
    // A first vector too short to normalise stays as it is, and the third step
    // projects with dot products of the original v[2] (classical, not modified
    // Gram-Schmidt), which differs here because v[1] is not orthogonal to v[0].
    QmtVector3 v[3] = {QmtVector3(9e-7, 0.0, 0.0), QmtVector3(1.0, 1.0, 0.0), QmtVector3(1.0, 0.5, 1.0)};
    QmtVector3 v1 = v[1] - v[0] * v[0].Dot(v[1]);
    v1.Unitize(kEps);
    QmtVector3 classical = v[2] - v[0] * v[0].Dot(v[2]) - v1 * v1.Dot(v[2]);
    const QmtVector3 partial = v[2] - v[0] * v[0].Dot(v[2]);
    QmtVector3 modified = partial - v1 * v1.Dot(partial);
    classical.Unitize(kEps);
    modified.Unitize(kEps);
    ASSERT_NE(classical.x, modified.x);
    QmtVector3::Orthonormalize(v);
    expectVec(v[0], 9e-7, 0.0, 0.0);
    expectVec(v[2], classical.x, classical.y, classical.z);
}

TEST(QmtVector3, GenerateOrthonormalBasis) {
    QmtVector3 U, V, W(0.0, 0.0, 1.0);
    QmtVector3::GenerateOrthonormalBasis(U, V, W, true);
    expectVec(U, -1.0, 0.0, 0.0);
    expectVec(V, 0.0, -1.0, 0.0);
    W = QmtVector3(0.0, 1.0, 0.0);
    QmtVector3::GenerateOrthonormalBasis(U, V, W, true);
    expectVec(U, 0.0, 0.0, -1.0);
    expectVec(V, -1.0, 0.0, 0.0);
    // |W.x| == |W.y| takes the x branch: U = (-W.z, 0, W.x) scaled, not (0, W.z, -W.y).
    W = QmtVector3(1.0, 1.0, 1.0);
    QmtVector3::GenerateOrthonormalBasis(U, V, W, false);
    EXPECT_EQ(U.y, 0.0);
    EXPECT_LT(U.x, 0.0);
    EXPECT_GT(U.z, 0.0);

    std::mt19937 rng(777);
    std::uniform_real_distribution<double> dist(-5.0, 5.0);
    for (int i = 0; i < 500; ++i) {
        const QmtVector3 original(dist(rng), dist(rng), dist(rng));
        W = original;
        QmtVector3::GenerateOrthonormalBasis(U, V, W, false);
        EXPECT_NEAR(W.Length(), 1.0, 1e-14);
        EXPECT_NEAR(W.Dot(original), original.Length(), 1e-12);
        EXPECT_NEAR(U.Length(), 1.0, 1e-14);
        EXPECT_NEAR(V.Length(), 1.0, 1e-14);
        EXPECT_NEAR(U.Dot(V), 0.0, 1e-14);
        EXPECT_NEAR(U.Dot(W), 0.0, 1e-14);
        EXPECT_NEAR((U.Cross(V) - W).Length(), 0.0, 1e-14);
    }
}
