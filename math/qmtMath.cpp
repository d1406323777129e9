#include "math/qmtMath.h"

#include <bit>
#include <cstdint>
#include <numbers>

namespace Qmt {

namespace {

// The one generator state of the module.
std::uint32_t g_randomState = 1u;

// A positive seed restarts the sequence. The truncated seed saturates instead of
// overflowing the unsigned conversion (undefined for seeds of 2^32 and above).
void ReseedIfPositive(double seed) {
    if (seed > 0.0) {
        Math::SeedRandom(seed >= 4294967295.0 ? 0xFFFFFFFFu : static_cast<unsigned int>(seed));
    }
}

// Coefficients are single-precision values widened to double; the checks keep a
// mistyped digit from slipping in.
constexpr bool IsWidenedFloat(double c) { return static_cast<double>(static_cast<float>(c)) == c; }

constexpr double kSin0[] = {-0.1660500019788742, 0.00761000020429492};
constexpr double kSin1[] = {-0.1666666716337204, 0.008333331905305386, -0.00019840900495182723,
                            2.7526000394573202e-6, -2.3900000201138027e-8};
constexpr double kCos0[] = {-0.4966999888420105, 0.037050001323223114};
constexpr double kCos1[] = {0.04166664183139801, -0.001388839678838849, 2.476090048730839e-5,
                            -2.605000020139414e-7};
constexpr double kTan0[] = {0.31755000352859497, 0.20329999923706055};
constexpr double kTan1[] = {0.3333314061164856, 0.13339239358901978, 0.05337405949831009,
                            0.024565089493989944, 0.0029005249962210655, 0.00951680913567543};
constexpr double kInvCos[] = {1.5707287788391113, -0.2121143937110901, 0.07426100224256516,
                              -0.018729299306869507};
constexpr double kInvTan0[] = {0.9998660087585449, -0.3302994966506958, 0.18014100193977356,
                               -0.08513300120830536, 0.02083509974181652};
constexpr double kInvTan1[] = {-0.33333146572113037, 0.19993551075458527, -0.14208899438381195,
                               0.10656263679265976, -0.07528963685035706, 0.042909614741802216,
                               -0.016165737062692642, 0.0028662257827818394};

template <std::size_t N>
constexpr bool AllWidenedFloats(const double (&c)[N]) {
    for (double v : c) {
        if (!IsWidenedFloat(v)) {
            return false;
        }
    }
    return true;
}
static_assert(AllWidenedFloats(kSin0) && AllWidenedFloats(kSin1) && AllWidenedFloats(kCos0) &&
              AllWidenedFloats(kCos1) && AllWidenedFloats(kTan0) && AllWidenedFloats(kTan1) &&
              AllWidenedFloats(kInvCos) && AllWidenedFloats(kInvTan0) && AllWidenedFloats(kInvTan1));

constexpr double kHalfPi = 1.5707963267948966;
static_assert(kHalfPi == std::numbers::pi / 2.0);

// sqrt(1 - x) times the inverse-cosine polynomial, shared by FastInvCos and FastInvSin.
double InvCosPolynomial(double x) {
    return std::sqrt(1.0 - x) * (kInvCos[0] + x * (kInvCos[1] + x * (kInvCos[2] + x * kInvCos[3])));
}

}  // namespace

double Math::ACos(double x) {
    if (!(x > -1.0)) {
        return std::numbers::pi;
    }
    if (x >= 1.0) {
        return 0.0;
    }
    return std::acos(x);
}

double Math::ASin(double x) {
    if (!(x > -1.0)) {
        return -kHalfPi;
    }
    if (x >= 1.0) {
        return kHalfPi;
    }
    return std::asin(x);
}

double Math::ATan(double x) { return std::atan(x); }
double Math::ATan2(double y, double x) { return std::atan2(y, x); }
double Math::Ceil(double x) { return std::ceil(x); }
double Math::Floor(double x) { return std::floor(x); }
double Math::Cos(double x) { return std::cos(x); }
double Math::Sin(double x) { return std::sin(x); }
double Math::Tan(double x) { return std::tan(x); }
double Math::Exp(double x) { return std::exp(x); }
double Math::Log(double x) { return std::log(x); }
double Math::Pow(double x, double y) { return std::pow(x, y); }

void Math::SeedRandom(unsigned int seed) { g_randomState = seed; }

int Math::Rand() {
    g_randomState = g_randomState * 214013u + 2531011u;
    return static_cast<int>((g_randomState >> 16) & 0x7FFFu);
}

double Math::UnitRandom(double seed) {
    ReseedIfPositive(seed);
    return Rand() / 32767.0;
}

double Math::SymmetricRandom(double seed) {
    ReseedIfPositive(seed);
    return 2.0 * Rand() / 32767.0 - 1.0;
}

double Math::IntervalRandom(double min, double max, double seed) {
    ReseedIfPositive(seed);
    return Rand() * (max - min) / 32767.0 + min;
}

double Math::GaussRandom(double mean, double deviation, double /*seed*/) {
    double u = 0.0;
    double v = 0.0;
    double s = 0.0;
    do {
        u = 2.0 * Rand() / 32767.0 - 1.0;
        v = 2.0 * Rand() / 32767.0 - 1.0;
        s = u * u + v * v;
    } while (!(s < 1.0));
    // s cannot be 0: a draw maps to 0 only for r = 16383.5.
    const double f = std::sqrt(-2.0 * std::log(s) / s);
    return mean + deviation * (f * u + f * v) / 2.0;
}

double Math::FastSin0(double x) {
    const double s = x * x;
    return x * (1.0 + s * (kSin0[0] + s * kSin0[1]));
}

double Math::FastSin1(double x) {
    const double s = x * x;
    return x * (1.0 + s * (kSin1[0] + s * (kSin1[1] + s * (kSin1[2] + s * (kSin1[3] + s * kSin1[4])))));
}

double Math::FastCos0(double x) {
    const double s = x * x;
    return 1.0 + s * (kCos0[0] + s * kCos0[1]);
}

double Math::FastCos1(double x) {
    const double s = x * x;
    return 1.0 + s * (-0.5 + s * (kCos1[0] + s * (kCos1[1] + s * (kCos1[2] + s * kCos1[3]))));
}

double Math::FastTan0(double x) {
    const double s = x * x;
    return x * (1.0 + s * (kTan0[0] + s * kTan0[1]));
}

double Math::FastTan1(double x) {
    const double s = x * x;
    return x * (1.0 + s * (kTan1[0] + s * (kTan1[1] + s * (kTan1[2] + s * (kTan1[3] +
                          s * (kTan1[4] + s * kTan1[5]))))));
}

double Math::FastInvSin(double x) { return kHalfPi - InvCosPolynomial(x); }

double Math::FastInvCos(double x) { return InvCosPolynomial(x); }

double Math::FastInvTan0(double x) {
    const double s = x * x;
    return x * (kInvTan0[0] + s * (kInvTan0[1] + s * (kInvTan0[2] + s * (kInvTan0[3] + s * kInvTan0[4]))));
}

double Math::FastInvTan1(double x) {
    const double s = x * x;
    return x * (1.0 + s * (kInvTan1[0] + s * (kInvTan1[1] + s * (kInvTan1[2] + s * (kInvTan1[3] +
                          s * (kInvTan1[4] + s * (kInvTan1[5] + s * (kInvTan1[6] + s * kInvTan1[7]))))))));
}

double Math::FastSqrt(double x) {
    if (!(x > 0.0)) {
        return std::sqrt(x);
    }
    // Halving the biased exponent (with the mantissa bits riding along) gives a
    // first guess within about 6 %; one Newton step brings it below 0.2 %.
    constexpr std::int64_t kOneBits = 0x3FF0000000000000;
    const std::int64_t bits = std::bit_cast<std::int64_t>(x);
    const double guess = std::bit_cast<double>(((bits - kOneBits) >> 1) + kOneBits);
    return 0.5 * (guess + x / guess);
}

}  // namespace Qmt
