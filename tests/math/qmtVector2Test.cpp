#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "math/qmtVector2.h"
#include "math/qmtVector3.h"
#include "tests/testSupport.h"

using Qmt::QmtVector2;
using zyltest::expectVec;

namespace {

constexpr double kEps = 9.999999974752427e-7;
constexpr double kMax = 1.7976931348623157e308;
const double kNaN = std::numeric_limits<double>::quiet_NaN();
using FuzzGuard = zyltest::FuzzGuard<QmtVector2>;

}  // namespace

TEST(QmtVector2, AlgebraAndPerpendicular) {
    const double tuple[2] = {3.0, -2.0};
    QmtVector2 v(tuple);
    v[1] = 4.0;
    expectVec(v, 3.0, 4.0);
    const QmtVector2 a(1.0, 2.0);
    expectVec(-(a - v) * 3.0 + QmtVector2::UNIT_Y, 6.0, 7.0);
    EXPECT_EQ(a.Dot(v), 11.0);

    expectVec(QmtVector2(1.0, 0.0).Cross(), 0.0, -1.0);
    expectVec(QmtVector2(0.0, -3.0).UnitCross(), -1.0, 0.0);
    expectVec(QmtVector2(0.0, 0.0).UnitCross(), 0.0, -0.0);

    QmtVector2 b(-1.0, 0.0);
    b /= -0.0;
    expectVec(b, kMax, kMax);
    QmtVector2 c(3.0, 4.0);
    EXPECT_EQ(c.Unitize(kEps), 5.0);
    expectVec(c, 0.6000000000000001, 0.8);
    QmtVector2 tiny(kEps, 0.0);
    EXPECT_EQ(tiny.Unitize(kEps), 0.0);
    expectVec(tiny, kEps, 0.0);
}

TEST(QmtVector2, ComparisonsUseTheirOwnFuzz) {
    const QmtVector2 withNaN(0.0, kNaN);
    EXPECT_TRUE(QmtVector2(-0.0, 0.0) == QmtVector2(0.0, 0.0));
    EXPECT_TRUE(withNaN != withNaN);
    {
        FuzzGuard guard(0.1);
        EXPECT_EQ(Qmt::QmtVector3::FUZZ, 0.0);
        EXPECT_TRUE(QmtVector2(1.0, 1.0) == QmtVector2(1.05, 0.95));
        EXPECT_TRUE(QmtVector2(1.0, 1.0) != QmtVector2(1.0, 1.2));
        EXPECT_FALSE(withNaN == withNaN);
        EXPECT_FALSE(withNaN != withNaN);
        // y ties under the tolerance, so x decides on its low-bit key.
        EXPECT_TRUE(QmtVector2(0.3, 0.1) < QmtVector2(0.1, 0.15));
    }
    EXPECT_TRUE(QmtVector2(0.3, 0.1) > QmtVector2(0.1, 0.15));
    // y first, keyed by the low 32 bits (0.3 sorts before 0.1; 1.0 ties with 2.0).
    EXPECT_TRUE(QmtVector2(5.0, 0.3) < QmtVector2(0.0, 0.1));
    const QmtVector2 one(1.0, 1.0), two(2.0, 2.0);
    EXPECT_TRUE(one <= two && one >= two && !(one < two));
}

TEST(QmtVector2, Orthonormalize) {
    QmtVector2 v[2] = {QmtVector2(3.0, 4.0), QmtVector2(1.0, 0.0)};
    QmtVector2::Orthonormalize(v);
    expectVec(v[0], 0.6000000000000001, 0.8);
    EXPECT_NEAR(v[1].Length(), 1.0, 1e-15);
    EXPECT_NEAR(v[0].Dot(v[1]), 0.0, 1e-15);
    // A too-short second vector keeps its projected value.
    QmtVector2 w[2] = {QmtVector2(2.0, 0.0), QmtVector2(5.0, 1e-7)};
    QmtVector2::Orthonormalize(w);
    expectVec(w[0], 1.0, 0.0);
    expectVec(w[1], 0.0, 1e-7);
}
