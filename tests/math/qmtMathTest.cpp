#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>

#include "math/qmtMath.h"

using Qmt::Math;

namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kHalfPi = 1.5707963267948966;

// Seed whose first draw is `target`.
unsigned SeedForFirstDraw(int target) {
    for (unsigned seed = 1;; ++seed) {
        Math::SeedRandom(seed);
        if (Math::Rand() == target) {
            return seed;
        }
    }
}

// True when value == f(k) for the k in [0, 32767] that value maps back to.
template <class F>
bool IsDrawValue(double value, double kGuess, F f) {
    const double k = std::round(kGuess);
    return k >= 0.0 && k <= 32767.0 && f(k) == value;
}

}  // namespace

TEST(QmtMath, ClampedInverseTrigAndSign) {
    EXPECT_EQ(Math::ACos(1.0000001), 0.0);
    EXPECT_EQ(Math::ACos(-2.0), std::numbers::pi);
    EXPECT_EQ(Math::ACos(kNaN), std::numbers::pi);
    EXPECT_EQ(Math::ACos(0.5), std::acos(0.5));
    EXPECT_EQ(Math::ASin(1.0), kHalfPi);
    EXPECT_EQ(Math::ASin(-1.0), -kHalfPi);
    EXPECT_EQ(Math::ASin(kNaN), -kHalfPi);
    EXPECT_EQ(Math::ASin(-0.25), std::asin(-0.25));

    EXPECT_EQ(Math::Sign(-5), -1);
    EXPECT_EQ(Math::Sign(0), 0);
    EXPECT_EQ(Math::Sign(-0.0), 0.0);
    EXPECT_FALSE(std::signbit(Math::Sign(-0.0)));
    EXPECT_EQ(Math::Sign(kNaN), 0.0);
    EXPECT_EQ(Math::Sign(-1e-300), -1.0);
    EXPECT_FALSE(std::signbit(Math::FAbs(-0.0)));
}

TEST(QmtMath, GeneratorAndReseeding) {
    // The recurrence from seed 1.
    Math::SeedRandom(1);
    for (int expected : {41, 18467, 6334, 26500, 19169}) {
        EXPECT_EQ(Math::Rand(), expected);
    }
    const double first = Math::UnitRandom(7.0);
    EXPECT_EQ(Math::UnitRandom(7.0), first);
    EXPECT_EQ(Math::UnitRandom(7.9), first);
    Math::SeedRandom(7);
    Math::Rand();
    const int second = Math::Rand();
    const int third = Math::Rand();
    Math::UnitRandom(7.0);
    EXPECT_EQ(Math::UnitRandom(0.0), second / 32767.0);
    EXPECT_EQ(Math::UnitRandom(-3.0), third / 32767.0);

    // Seeds beyond the unsigned range saturate instead of overflowing.
    Math::SeedRandom(0xFFFFFFFFu);
    const double saturated = Math::SymmetricRandom();
    EXPECT_EQ(Math::SymmetricRandom(1e300), saturated);
    EXPECT_EQ(Math::SymmetricRandom(std::numeric_limits<double>::infinity()), saturated);
}

TEST(QmtMath, RandomValuesAreDrawsOver32767) {
    Math::SeedRandom(2024);
    for (int i = 0; i < 5000; ++i) {
        const double u = Math::UnitRandom();
        EXPECT_TRUE(IsDrawValue(u, u * 32767.0, [](double k) { return k / 32767.0; })) << u;
        const double s = Math::SymmetricRandom();
        EXPECT_TRUE(IsDrawValue(s, (s + 1.0) * 32767.0 / 2.0, [](double k) { return 2.0 * k / 32767.0 - 1.0; }))
            << s;
        const double r = Math::IntervalRandom(-2.0, 5.0);
        EXPECT_TRUE(IsDrawValue(r, (r + 2.0) * 32767.0 / 7.0, [](double k) { return k * 7.0 / 32767.0 + -2.0; }))
            << r;
        EXPECT_TRUE(u >= 0.0 && u <= 1.0 && s >= -1.0 && s <= 1.0 && r >= -2.0 && r <= 5.0);
    }
    const unsigned top = SeedForFirstDraw(32767);
    EXPECT_EQ(Math::UnitRandom(top), 1.0);
    EXPECT_EQ(Math::SymmetricRandom(top), 1.0);
    EXPECT_EQ(Math::IntervalRandom(-2.0, 5.0, top), 5.0);
    const unsigned bottom = SeedForFirstDraw(0);
    EXPECT_EQ(Math::UnitRandom(bottom), 0.0);
    EXPECT_EQ(Math::SymmetricRandom(bottom), -1.0);
    EXPECT_EQ(Math::IntervalRandom(-2.0, 5.0, bottom), -2.0);
}

TEST(QmtMath, GaussRandomAveragesTwoDeviates) {
    // The seed neither reseeds nor changes the value.
    Math::SeedRandom(3);
    const double a = Math::GaussRandom(10.0, 2.0, 5.0);
    Math::SeedRandom(3);
    EXPECT_EQ(Math::GaussRandom(10.0, 2.0, 0.0), a);
    EXPECT_NE(Math::GaussRandom(0.0, 1.0, 5.0), Math::GaussRandom(0.0, 1.0, 5.0));

    // Averaging the two polar deviates narrows the spread to deviation / sqrt(2).
    Math::SeedRandom(99);
    const int n = 200000;
    double sum = 0.0, sumSq = 0.0;
    for (int i = 0; i < n; ++i) {
        const double g = Math::GaussRandom(10.0, 2.0);
        sum += g;
        sumSq += (g - 10.0) * (g - 10.0);
    }
    EXPECT_NEAR(sum / n, 10.0, 0.02);
    EXPECT_NEAR(std::sqrt(sumSq / n), std::numbers::sqrt2, 0.02);
}

TEST(QmtMath, FastApproximationsExactValues) {
    EXPECT_EQ(Math::FastCos0(0.0), 1.0);
    EXPECT_EQ(Math::FastSin0(0.0), 0.0);
    EXPECT_EQ(Math::FastInvCos(1.0), 0.0);
    EXPECT_EQ(Math::FastInvSin(0.0), 1.5707963267948966 - 1.5707287788391113);
    EXPECT_TRUE(std::isnan(Math::FastInvCos(1.5)));
    EXPECT_TRUE(std::isnan(Math::FastInvSin(1.5)));

    // Reference values evaluated independently in double precision with the nested order.
    struct Case { double (*f)(double); double at07; double atM03; };
    const Case cases[] = {
        {Math::FastSin0, 0.6443238620555819, -0.2955351422470668},
        {Math::FastSin1, 0.6442176854930012, -0.29552020652450717},
        {Math::FastCos0, 0.7655127107851207, 0.9555971060149372},
        {Math::FastCos1, 0.7648421851625016, 0.9553364889577329},
        {Math::FastTan0, 0.8430882820820808, -0.30906786909341816},
        {Math::FastTan1, 0.8422883654423394, -0.309336254558515},
        {Math::FastInvCos, 0.7954095142398359, 1.8716575666596822},
        {Math::FastInvSin, 0.7753868125550607, -0.30086123986478563},
        {Math::FastInvTan0, 0.6107194796811883, -0.2914612503626123},
        {Math::FastInvTan1, 0.6107259604174974, -0.29145678956555776},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.f(0.7), c.at07);
        EXPECT_EQ(c.f(-0.3), c.atM03);
    }

    for (double x = 1e-300; x < 1e300; x *= 1.37) {
        EXPECT_NEAR(Math::FastSqrt(x) / std::sqrt(x), 1.0, 2e-3) << x;
    }
    EXPECT_EQ(Math::FastSqrt(0.0), 0.0);
    EXPECT_TRUE(std::isnan(Math::FastSqrt(-4.0)));
}
