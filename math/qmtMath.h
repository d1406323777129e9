#pragma once

#include <cmath>
#include <limits>

namespace Qmt {

// Scalar functions of the library: one set of names over the runtime's maths,
// sign and square helpers, the module's seeded 15-bit random numbers and
// polynomial approximations of the trigonometric functions.
class Math {
public:
    // Largest finite double; also what division of a vector or quaternion by zero yields.
    static constexpr double MAX_REAL = std::numeric_limits<double>::max();

    // Inverse cosine / sine clamped to the boundary angle outside (-1, 1); NaN gives
    // the lower boundary (pi, -pi/2).
    static double ACos(double x);
    static double ASin(double x);
    static double ATan(double x);
    static double ATan2(double y, double x);
    static double Ceil(double x);
    static double Floor(double x);
    static double FAbs(double x) { return std::fabs(x); }
    static double Cos(double x);
    static double Sin(double x);
    static double Tan(double x);
    static double Exp(double x);
    static double Log(double x);
    static double Pow(double x, double y);
    static double Sqrt(double x) { return std::sqrt(x); }
    static double InvSqrt(double x) { return 1.0 / std::sqrt(x); }
    static constexpr double Sqr(double x) { return x * x; }
    static constexpr int Sign(int n) { return n > 0 ? 1 : (n < 0 ? -1 : 0); }
    // 0.0 for +0, -0 and NaN.
    static constexpr double Sign(double x) { return x > 0.0 ? 1.0 : (x < 0.0 ? -1.0 : 0.0); }

    // The module's one random generator: state = state * 214013 + 2531011 (mod 2^32),
    // draw = (state >> 16) & 0x7FFF. The state starts at 1; SeedRandom sets it.
    // Not synchronised: callers draw from one thread.
    static void SeedRandom(unsigned int seed);
    static int Rand();  // 0 .. 32767

    // A seed > 0 restarts the sequence with the seed truncated toward zero (seeds
    // of 2^32 and above, +inf included, saturate at 4294967295); a seed <= 0 (or
    // NaN) continues the running sequence.
    static double UnitRandom(double seed = 0.0);                          // [0, 1]
    static double SymmetricRandom(double seed = 0.0);                     // [-1, 1]
    static double IntervalRandom(double min, double max, double seed = 0.0);  // [min, max]
    // Polar method; the seed is ignored and the generator never reseeded. Returns the
    // average of the two deviates, so the spread is deviation / sqrt(2).
    static double GaussRandom(double mean, double deviation, double seed = 0.0);

    // Polynomial approximations: no range reduction and no argument checks.
    static double FastSin0(double x);
    static double FastSin1(double x);
    static double FastCos0(double x);
    static double FastCos1(double x);
    static double FastTan0(double x);
    static double FastTan1(double x);
    static double FastInvSin(double x);  // NaN for x > 1
    static double FastInvCos(double x);  // NaN for x > 1
    static double FastInvTan0(double x);
    static double FastInvTan1(double x);
    // Exponent-halving estimate refined by one Newton step (relative error below 0.2 %);
    // zero, negative and NaN input behave as Sqrt.
    static double FastSqrt(double x);
};

}  // namespace Qmt
