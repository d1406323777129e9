#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>

#include "math/quaternion.h"
#include "tests/testSupport.h"

using Qmt::Quaternion;
using Constraints = Qmt::Quaternion::Constraints;
using zyltest::NearUpToSign;

namespace {

constexpr double kPi = std::numbers::pi;

// Deterministic unit quaternions.
class Rng : public zyltest::Lcg {
public:
    Rng() : Lcg(0x9E3779B97F4A7C15ULL) {}
    Quaternion UnitQuaternion() {
        Quaternion q(Range(-1, 1), Range(-1, 1), Range(-1, 1), Range(-1, 1));
        while (q.Normalize() < 0.1) q = Quaternion(Range(-1, 1), Range(-1, 1), Range(-1, 1), Range(-1, 1));
        return q;
    }
};

// Rotation about axis 1 (x), 2 (y) or 3 (z) with the given half angle.
Quaternion AxisQ(int axis, double half) {
    double t[4] = {std::cos(half), 0, 0, 0};
    t[axis] = std::sin(half);
    return Quaternion(t[0], t[1], t[2], t[3]);
}

struct PairOrder {
    const char* name;
    int first, second;
    Quaternion (Quaternion::*closest)() const;
    Quaternion (Quaternion::*constrained)(const Constraints&, const Constraints&) const;
};

const PairOrder kPairs[6] = {
    {"XY", 1, 2, &Quaternion::GetClosestXY, &Quaternion::GetClosestXY},
    {"YX", 2, 1, &Quaternion::GetClosestYX, &Quaternion::GetClosestYX},
    {"ZX", 3, 1, &Quaternion::GetClosestZX, &Quaternion::GetClosestZX},
    {"XZ", 1, 3, &Quaternion::GetClosestXZ, &Quaternion::GetClosestXZ},
    {"YZ", 2, 3, &Quaternion::GetClosestYZ, &Quaternion::GetClosestYZ},
    {"ZY", 3, 2, &Quaternion::GetClosestZY, &Quaternion::GetClosestZY},
};

// Largest |q . product| over an n x n grid of half angles in [a0, a1] x [b0, b1].
double GridBest(const Quaternion& q, const PairOrder& o, double a0, double a1, double b0, double b1,
                int n = 81) {
    double best = 0;
    for (int i = 0; i < n; ++i) {
        const Quaternion qa = AxisQ(o.first, a0 + (a1 - a0) * i / (n - 1));
        for (int j = 0; j < n; ++j)
            best = std::max(best, std::fabs(q.Dot(qa * AxisQ(o.second, b0 + (b1 - b0) * j / (n - 1)))));
    }
    return best;
}

// The constrained result must be (near) an admissible product and at least as close to q
// as every admissible grid product.
void CheckConstrained(const Quaternion& q, const PairOrder& o, const Constraints& c1,
                      const Constraints& c2) {
    const Quaternion r = (q.*o.constrained)(c1, c2);
    EXPECT_NEAR(r.Length(), 1.0, 1e-12) << o.name;
    EXPECT_GE(GridBest(r, o, c1.m_fMinAngle, c1.m_fMaxAngle, c2.m_fMinAngle, c2.m_fMaxAngle), 1 - 1e-4)
        << o.name << " result outside the constraints";
    EXPECT_GE(std::fabs(q.Dot(r)) + 1e-12,
              GridBest(q, o, c1.m_fMinAngle, c1.m_fMaxAngle, c2.m_fMinAngle, c2.m_fMaxAngle))
        << o.name << " result not closest";
}

}  // namespace

TEST(QuaternionClosest, SingleAxis) {
    EXPECT_EQ(Quaternion(1e-5, 0, 1, 0).GetClosestX(), Quaternion::IDENTITY);
    EXPECT_EQ(Quaternion(0.3, 0.4, 7, 7).GetClosestX(), Quaternion(0.6, 0.8, 0, 0));
    EXPECT_EQ(Quaternion(0.3, 7, 0.4, 7).GetClosestY(), Quaternion(0.6, 0, 0.8, 0));
    EXPECT_EQ(Quaternion(0.3, 7, 7, -0.4).GetClosestZ(), Quaternion(0.6, 0, 0, -0.8));

    const Constraints c(0.1, 0.5);
    EXPECT_EQ(c.m_fDiffCosMaxMin, std::cos(0.5) - std::cos(0.1));
    EXPECT_EQ(c.m_fSinAvrAngle, std::sin(0.3));
    EXPECT_EQ(Quaternion(1e-5, 0, 1, 0).GetClosestX(c), Quaternion(std::cos(0.3), std::sin(0.3), 0, 0));
    EXPECT_TRUE(NearUpToSign((AxisQ(2, 0.15) * 2.0).GetClosestY(c), AxisQ(2, 0.15), 1e-15));
    EXPECT_TRUE(NearUpToSign((-AxisQ(3, 0.45)).GetClosestZ(c), -AxisQ(3, 0.45), 1e-15));  // antipode
    EXPECT_EQ(AxisQ(1, 0.6).GetClosestX(c), AxisQ(1, 0.5));                           // nearer end
    EXPECT_EQ(AxisQ(1, 0.0).GetClosestX(c), AxisQ(1, 0.1));
    EXPECT_EQ((-AxisQ(1, 0.7)).GetClosestX(c), Quaternion(-std::cos(0.5), -std::sin(0.5), 0, 0));  // facing the input
    // Equidistant ends: the maximum wins.
    EXPECT_EQ(Quaternion(0, 1, 0, 0).GetClosestX(Constraints(-0.2, 0.2)), AxisQ(1, 0.2));
}

TEST(QuaternionClosest, PairsRecoverProductsAndAreClosest) {
    Rng rng;
    for (const PairOrder& o : kPairs) {
        for (int n = 0; n < 40; ++n) {
            const Quaternion p = AxisQ(o.first, rng.Range(-kPi, kPi)) * AxisQ(o.second, rng.Range(-kPi, kPi));
            EXPECT_TRUE(NearUpToSign((p.*o.closest)(), p, 1e-12)) << o.name;
        }
        for (int n = 0; n < 10; ++n) {
            const Quaternion q = rng.UnitQuaternion();
            const Quaternion r = (q.*o.closest)();
            EXPECT_TRUE(NearUpToSign((r.*o.closest)(), r, 1e-12)) << o.name;  // r is a product
            EXPECT_GE(std::fabs(q.Dot(r)) + 1e-12, GridBest(q, o, -kPi, kPi, -kPi, kPi, 121)) << o.name;
        }
    }
}

TEST(QuaternionClosest, ConstrainedPairs) {
    Rng rng;
    for (const PairOrder& o : kPairs) {
        // Products inside the constraints come back unchanged.
        const Constraints c1(-0.4, 0.6), c2(0.2, 1.1);
        const Quaternion p = AxisQ(o.first, 0.3) * AxisQ(o.second, 0.7);
        EXPECT_TRUE(NearUpToSign((p.*o.constrained)(c1, c2), p, 1e-12)) << o.name;

        for (int n = 0; n < 12; ++n) {
            const double a0 = rng.Range(-1.2, 0.3), b0 = rng.Range(-1.2, 0.3);
            CheckConstrained(rng.UnitQuaternion(), o, Constraints(a0, a0 + rng.Range(0.1, 1.2)),
                             Constraints(b0, b0 + rng.Range(0.1, 1.2)));
        }

        // Inputs a quarter turn about the third axis away from the torus of products:
        // only the sum or the difference of the two angles matters.
        const int third = 6 - o.first - o.second;
        const Constraints box[3][2] = {{{0.0, 0.5}, {0.0, 0.5}},
                                       {{-0.3, 0.4}, {0.1, 0.9}},
                                       {{0.2, 0.6}, {-0.7, -0.1}}};
        for (const auto& b : box) {
            for (double u : {0.3, -0.2, 0.8, 1.4}) {
                for (double s : {-1.0, 1.0}) {
                    CheckConstrained(AxisQ(o.first, u) * AxisQ(third, s * kPi / 4), o, b[0], b[1]);
                }
            }
        }
    }
}

TEST(QuaternionFactor, AllOrdersRebuildTheRotation) {
    using Factor = void (Quaternion::*)(double&, double&, double&, double&, double&, double&) const;
    struct Order {
        const char* name;
        int axes[3];
        Factor factor;
    };
    const Order orders[6] = {{"XYZ", {1, 2, 3}, &Quaternion::FactorXYZ},
                             {"XZY", {1, 3, 2}, &Quaternion::FactorXZY},
                             {"YZX", {2, 3, 1}, &Quaternion::FactorYZX},
                             {"YXZ", {2, 1, 3}, &Quaternion::FactorYXZ},
                             {"ZXY", {3, 1, 2}, &Quaternion::FactorZXY},
                             {"ZYX", {3, 2, 1}, &Quaternion::FactorZYX}};
    Rng rng;
    for (const Order& o : orders) {
        for (int n = 0; n < 60; ++n) {
            // The last ones put the middle axis at a quarter turn (gimbal lock).
            const double mid = n < 56 ? rng.Range(-1.5, 1.5) : (n % 2 ? 1 : -1) * kPi / 4;
            const Quaternion q = AxisQ(o.axes[0], rng.Range(-1.5, 1.5)) * AxisQ(o.axes[1], mid) *
                                 AxisQ(o.axes[2], rng.Range(-1.5, 1.5));
            double f[6];
            (q.*o.factor)(f[0], f[1], f[2], f[3], f[4], f[5]);
            Quaternion r = Quaternion::IDENTITY;
            for (int k = 0; k < 3; ++k) {
                EXPECT_NEAR(f[2 * k] * f[2 * k] + f[2 * k + 1] * f[2 * k + 1], 1.0, 1e-12) << o.name;
                double t[4] = {f[2 * k], 0, 0, 0};
                t[o.axes[k]] = f[2 * k + 1];
                r = r * Quaternion(t[0], t[1], t[2], t[3]);
            }
            EXPECT_TRUE(NearUpToSign(r, q, 1e-12)) << o.name << " sample " << n;
        }
    }

    // Gimbal lock puts the whole first-and-third turn into the third factor.
    double cx, sx, cy, sy, cz, sz;
    (AxisQ(1, 0.3) * AxisQ(2, kPi / 4) * AxisQ(3, 0.2)).FactorXYZ(cx, sx, cy, sy, cz, sz);
    EXPECT_EQ(cx, 1.0);
    EXPECT_EQ(sx, 0.0);
    EXPECT_EQ(cy, Quaternion::ms_fRootHalf);
    EXPECT_EQ(sy, Quaternion::ms_fRootHalf);
    EXPECT_NEAR(cz, std::cos(0.5), 1e-15);
    EXPECT_NEAR(sz, std::sin(0.5), 1e-15);
}
