#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>

#include "math/quaternion.h"
#include "tests/testSupport.h"

using Qmt::QmtMatrix3;
using Qmt::QmtVector3;
using Qmt::Quaternion;
using zyltest::Near;
using zyltest::NearUpToSign;

namespace {

constexpr double kPi = std::numbers::pi;
constexpr double kMax = 1.7976931348623157e308;

// Deterministic directions and rotations.
class Rng : public zyltest::Lcg {
public:
    Rng() : Lcg(0x2545F4914F6CDD1DULL) {}
    QmtVector3 Direction() {
        QmtVector3 v(Range(-1, 1), Range(-1, 1), Range(-1, 1));
        while (v.Unitize(0.1) == 0.0) v = QmtVector3(Range(-1, 1), Range(-1, 1), Range(-1, 1));
        return v;
    }
    Quaternion Rotation() { return Quaternion(Direction(), Range(-kPi, kPi)); }
};

bool NearVec(const QmtVector3& a, const QmtVector3& b, double tol) {
    return std::fabs(a.x - b.x) <= tol && std::fabs(a.y - b.y) <= tol && std::fabs(a.z - b.z) <= tol;
}
bool NearMat(const QmtMatrix3& a, const QmtMatrix3& b, double tol) {
    for (unsigned r = 0; r < 3; ++r)
        for (unsigned c = 0; c < 3; ++c)
            if (!(std::fabs(a(r, c) - b(r, c)) <= tol)) return false;
    return true;
}
QmtMatrix3 Matrix(const Quaternion& q) {
    QmtMatrix3 m;
    q.ToRotationMatrix(m);
    return m;
}

}  // namespace

TEST(Quaternion, ConstantsComparisonAndAlgebra) {
    EXPECT_EQ(Quaternion::ms_fRootTwo, std::sqrt(2.0));
    EXPECT_EQ(Quaternion::ms_fRootHalf, std::sqrt(0.5));
    EXPECT_EQ(Quaternion::ms_iNext[0] * 100 + Quaternion::ms_iNext[1] * 10 + Quaternion::ms_iNext[2], 120);
    Quaternion c(1.0, 2.0, 3.0, 4.0);
    c.X() = 5.0;
    EXPECT_EQ(c[0] + 10 * c[1] + 100 * c[2] + 1000 * c.Z(), 4351.0);

    // Bitwise: signed zeros differ, identical NaNs are equal; the order is consistent.
    const Quaternion a(1, 0, 0, 0), b(1, -0.0, 0, 0);
    EXPECT_FALSE(a == b);
    EXPECT_TRUE(a != b);
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_TRUE(Quaternion(nan, 0, 0, 0) == Quaternion(nan, 0, 0, 0));
    EXPECT_NE(a < b, b < a);
    EXPECT_EQ(a < b, !(a >= b));
    EXPECT_EQ(a > b, !(a <= b));
    EXPECT_TRUE(a <= a && a >= a && !(a < a));

    // Hamilton order: i j = k; (p * q) rotates by q first, then by p.
    const Quaternion i(0, 1, 0, 0), j(0, 0, 1, 0), k(0, 0, 0, 1);
    EXPECT_EQ(i * j, k);
    EXPECT_EQ(k * i, j);
    EXPECT_EQ(j * i, Quaternion(0, 0, 0, -1));
    Rng rng;
    for (int n = 0; n < 50; ++n) {
        const Quaternion p = rng.Rotation(), q = rng.Rotation();
        EXPECT_TRUE(NearMat(Matrix(p * q), Matrix(p) * Matrix(q), 1e-14));
    }
    c = a + Quaternion(0.5, -1, 2, 8) - Quaternion(1, 1, 1, 1);
    c *= 2.0;
    EXPECT_EQ(-c, Quaternion(-1, 4, -2, -14));

    // Division multiplies by the reciprocal (5 * (1/3) differs from 5 / 3 in the last bit);
    // either zero gives MAX_REAL everywhere.
    c = Quaternion(5, 7, 2.9, 1);
    c /= 3.0;
    EXPECT_EQ(c, Quaternion(5 * (1.0 / 3), 7 * (1.0 / 3), 2.9 * (1.0 / 3), 1.0 / 3));
    EXPECT_EQ(Quaternion(5, 0, 0, 0) / 3.0, Quaternion(5 * (1.0 / 3), 0, 0, 0));
    const Quaternion kMaxQ(kMax, kMax, kMax, kMax);
    EXPECT_EQ(Quaternion(-1, 2, -3, 0) / 0.0, kMaxQ);
    EXPECT_EQ(Quaternion(-1, 2, -3, 0) / -0.0, kMaxQ);
    c = Quaternion(-1, 0, 0, 0);
    c /= -0.0;
    EXPECT_EQ(c, kMaxQ);

    // Normalize and Inverse of zero give ZERO (+0 written back).
    Quaternion q(-0.0, 0, 0, 0);
    EXPECT_EQ(q.Normalize(), 0.0);
    EXPECT_EQ(q, Quaternion::ZERO);
    q = Quaternion(2, 0, 0, 0);
    EXPECT_EQ(q.Normalize(), 2.0);
    EXPECT_EQ(q, Quaternion::IDENTITY);
    q = Quaternion(1, 2, 2, 4);
    EXPECT_EQ(q.Normalize(), 5.0);
    EXPECT_TRUE(Near(q, Quaternion(0.2, 0.4, 0.4, 0.8), 1e-16));
    EXPECT_EQ(Quaternion::ZERO.Inverse(), Quaternion::ZERO);
    const Quaternion d(1, -2, 0.5, 3);
    EXPECT_TRUE(Near(d * d.Inverse(), Quaternion::IDENTITY, 1e-15));
    EXPECT_TRUE(Near(d.Inverse() * d, Quaternion::IDENTITY, 1e-15));
}

TEST(Quaternion, FromRotationMatrixBranches) {
    // Trace branch and the three largest-diagonal branches, checked by round trip.
    Rng rng;
    const QmtVector3 axes[4] = {{0.3, 0.2, -0.4}, {1, 0.2, 0.1}, {0.1, -1, 0.3}, {0.2, 0.1, 1}};
    const double angles[4] = {0.7, 3.0, 2.9, -3.1};
    for (int b = 0; b < 4; ++b) {
        QmtVector3 axis = axes[b];
        axis.Unitize(1e-6);
        const Quaternion q(axis, angles[b]);
        const QmtMatrix3 m = Matrix(q);
        const double trace = m(0, 0) + m(1, 1) + m(2, 2);
        EXPECT_EQ(trace > 0.0, b == 0);
        if (b > 0) {
            const unsigned i = static_cast<unsigned>(b - 1);
            EXPECT_TRUE(m(i, i) > m((i + 1) % 3, (i + 1) % 3) && m(i, i) > m((i + 2) % 3, (i + 2) % 3));
        }
        const Quaternion back(m);
        EXPECT_TRUE(NearUpToSign(back, q, 1e-15)) << b;
        EXPECT_TRUE(NearMat(Matrix(back), m, 1e-15)) << b;
    }
    for (int n = 0; n < 200; ++n) {
        const Quaternion q = rng.Rotation();
        EXPECT_TRUE(NearUpToSign(Quaternion(Matrix(q)), q, 1e-14));
    }

    EXPECT_EQ(Quaternion(QmtMatrix3(1, 0, 0, 0, -1, 0, 0, 0, -1)), Quaternion(0, 1, 0, 0));
    EXPECT_EQ(Quaternion(QmtMatrix3(-1, 0, 0, 0, 1, 0, 0, 0, -1)), Quaternion(0, 0, 1, 0));
    EXPECT_EQ(Quaternion(QmtMatrix3(-1, 0, 0, 0, -1, 0, 0, 0, 1)), Quaternion(0, 0, 0, 1));
    // Half turns about (1, -1, 0) and (0, 1, -1): equal largest diagonal entries keep the
    // lower index, which decides which component comes out positive.
    const double h = std::sqrt(0.5);
    const Quaternion t01(QmtMatrix3(0, -1, 0, -1, 0, 0, 0, 0, -1));
    EXPECT_TRUE(Near(t01, Quaternion(0, h, -h, 0), 1e-15));
    const Quaternion t12(QmtMatrix3(-1, 0, 0, 0, 0, -1, 0, -1, 0));
    EXPECT_TRUE(Near(t12, Quaternion(0, 0, h, -h), 1e-15));
}

TEST(Quaternion, AxisAngleAndColumns) {
    const Quaternion q(QmtVector3(0, 0, 1), kPi / 2);
    EXPECT_EQ(q, Quaternion(std::cos(kPi / 4), 0, 0, std::sin(kPi / 4)));
    EXPECT_TRUE(NearMat(Matrix(q), QmtMatrix3(0, -1, 0, 1, 0, 0, 0, 0, 1), 1e-15));
    EXPECT_TRUE(NearVec(q.Rotate(QmtVector3(1, 0, 0)), QmtVector3(0, 1, 0), 1e-15));

    Rng rng;
    for (int n = 0; n < 50; ++n) {
        const QmtVector3 axis = rng.Direction();
        const double angle = rng.Range(0.01, 2 * kPi - 0.01);
        QmtVector3 outAxis;
        double outAngle = -1;
        Quaternion(axis, angle).ToAxisAngle(outAxis, outAngle);
        EXPECT_NEAR(outAngle, angle, 1e-12);
        EXPECT_TRUE(NearVec(outAxis, axis, 1e-12));

        // Columns in and out.
        const Quaternion r = rng.Rotation();
        const QmtMatrix3 m = Matrix(r);
        QmtVector3 cols[3];
        r.ToRotationMatrix(cols);
        for (unsigned c = 0; c < 3; ++c) EXPECT_TRUE(NearVec(cols[c], m.GetColumn(c), 0.0));
        EXPECT_EQ(Quaternion(cols), Quaternion(m));
        const QmtVector3 v = rng.Direction();
        EXPECT_TRUE(NearVec(r.Rotate(v), m * v, 0.0));
    }

    QmtVector3 axis(5, 5, 5);
    double angle = -1;
    Quaternion(-3, 0, 0, 0).ToAxisAngle(axis, angle);
    EXPECT_EQ(angle, 0.0);
    EXPECT_TRUE(NearVec(axis, QmtVector3(1, 0, 0), 0.0));
    Quaternion(1.0000000000000002, 1e-9, 0, 0).ToAxisAngle(axis, angle);  // w past 1: clamped
    EXPECT_EQ(angle, 0.0);
    Quaternion(-1.0000000000000002, 0, 1e-9, 0).ToAxisAngle(axis, angle);
    EXPECT_EQ(angle, 2 * kPi);
    EXPECT_TRUE(NearVec(axis, QmtVector3(0, 1, 0), 1e-15));
}

TEST(Quaternion, ExpLogAndInterpolation) {
    EXPECT_EQ(Quaternion::ZERO.Exp(), Quaternion::IDENTITY);
    EXPECT_EQ(Quaternion::IDENTITY.Log(), Quaternion::ZERO);
    EXPECT_EQ(Quaternion(-1, 0, 0, 0).Log(), Quaternion::ZERO);
    Rng rng;
    for (int n = 0; n < 50; ++n) {
        const Quaternion q = rng.Rotation();
        EXPECT_EQ(q.Log().W(), 0.0);
        EXPECT_TRUE(Near(q.Log().Exp(), q, 1e-14));
    }

    const Quaternion p = rng.Rotation();
    Quaternion s;
    EXPECT_EQ(s.Slerp(0.5, p, p), p);  // zero angle: P itself, not NaN
    // No shortest-arc flip: halfway from 0 to 300 degrees about z is 150 degrees.
    const QmtVector3 z(0, 0, 1);
    s.Slerp(0.5, Quaternion::IDENTITY, Quaternion(z, 300 * kPi / 180));
    EXPECT_TRUE(Near(s, Quaternion(z, 150 * kPi / 180), 1e-15));
    const Quaternion q = rng.Rotation();
    EXPECT_TRUE(Near(s.Slerp(0.0, p, q), p, 1e-15));
    EXPECT_TRUE(Near(s.Slerp(1.0, p, q), q, 1e-14));
    Quaternion e;
    EXPECT_EQ(e.SlerpExtraSpins(0.3, p, q, 0), s.Slerp(0.3, p, q));
    EXPECT_TRUE(Near(e.SlerpExtraSpins(1.0, p, q, 1), -q, 1e-14));  // one extra turn
    EXPECT_TRUE(Near(e.SlerpExtraSpins(0.5, Quaternion::IDENTITY, Quaternion(z, 1.0), 1),
                     Quaternion(z, 0.5 + 2 * kPi * 0.5), 1e-15));

    Quaternion a;
    EXPECT_TRUE(Near(a.Intermediate(Quaternion(z, 0.2), Quaternion(z, 0.5), Quaternion(z, 0.8)),
                     Quaternion(z, 0.5), 1e-15));
    const Quaternion q0 = rng.Rotation(), q1 = rng.Rotation(), a0 = rng.Rotation(), a1 = rng.Rotation();
    EXPECT_TRUE(Near(s.Squad(0.0, q0, a0, a1, q1), q0, 1e-15));
    EXPECT_TRUE(Near(s.Squad(1.0, q0, a0, a1, q1), q1, 1e-14));
    s = q0;
    s.Squad(0.5, s, a0, a1, q1);  // aliased output
    EXPECT_TRUE(Near(s, a.Squad(0.5, q0, a0, a1, q1), 0.0));
}

TEST(Quaternion, AlignAndDecompose) {
    Rng rng;
    for (int n = 0; n < 100; ++n) {
        const QmtVector3 v1 = rng.Direction(), v2 = rng.Direction();
        Quaternion q;
        q.Align(v1, v2);
        EXPECT_NEAR(q.Length(), 1.0, 1e-14);
        EXPECT_TRUE(NearVec(q.Rotate(v1), v2, 1e-14));
    }
    Quaternion q;
    EXPECT_EQ(q.Align(QmtVector3(1, 0, 0), QmtVector3(1, 0, 0)), Quaternion::IDENTITY);
    const QmtVector3 opposite[3] = {{1, 0, 0}, {0, 1, 0}, {0.6, 0, -0.8}};
    for (const QmtVector3& v : opposite) {
        q.Align(v, -v);
        EXPECT_EQ(q.W(), 0.0);
        EXPECT_NEAR(q.Length(), 1.0, 1e-15);
        EXPECT_TRUE(NearVec(q.Rotate(v), -v, 1e-15));
    }
    // Nearly opposite: the bisector is too short to normalise, so the half turn is used
    // instead of a tiny, non-unit quaternion.
    const double eps = 5e-7;
    const QmtVector3 v1(1, 0, 0), v2(-std::cos(eps), std::sin(eps), 0);
    q.Align(v1, v2);
    EXPECT_NEAR(q.Length(), 1.0, 1e-15);
    EXPECT_TRUE(NearVec(q.Rotate(v1), v2, 1e-6));

    for (int n = 0; n < 50; ++n) {
        const Quaternion r = rng.Rotation();
        const Quaternion copy = r;
        const QmtVector3 v = rng.Direction(), rv = r.Rotate(v);
        Quaternion twist, swing;
        r.DecomposeTwistTimesSwing(v, twist, swing);
        EXPECT_EQ(r, copy);
        EXPECT_TRUE(Near(twist * swing, r, 1e-14));
        EXPECT_TRUE(NearVec(swing.Rotate(v), rv, 1e-13));
        EXPECT_TRUE(NearVec(twist.Rotate(rv), rv, 1e-13));  // twist about the image of v
        r.DecomposeSwingTimesTwist(v, swing, twist);
        EXPECT_EQ(r, copy);
        EXPECT_TRUE(Near(swing * twist, r, 1e-14));
        EXPECT_TRUE(NearVec(twist.Rotate(v), v, 1e-13));  // twist about v
    }
}
