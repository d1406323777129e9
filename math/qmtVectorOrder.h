#pragma once

#include <bit>
#include <cmath>
#include <cstdint>

// The sorting order shared by QmtVector2 and QmtVector3 (see QmtVector3::operator<):
// components compared from the most significant down to x, each keyed by the low 32
// bits of its IEEE pattern after FUZZ has made near-equal components tie.
namespace Qmt::VectorOrder {

// Sort key of a component: the low 32 bits of its IEEE pattern.
inline std::uint32_t Key(double d) { return static_cast<std::uint32_t>(std::bit_cast<std::uint64_t>(d)); }

// Near-equal components of `other` take this vector's value so that they tie.
inline double Fuzzed(double mine, double other, double fuzz) {
    return (fuzz > 0.0 && std::fabs(mine - other) <= fuzz) ? mine : other;
}

// Outcome of comparing a with b: the leading components decide (-1 or 1), or leave
// it (0) to the x keys, which the caller tests strictly or not.
struct Comparison {
    int decided = 0;
    std::uint32_t ax = 0;
    std::uint32_t bx = 0;
};

// lead holds the components above x, most significant first, as (a, b) pairs.
template <int N>
Comparison Compare(const double (&leadA)[N], const double (&leadB)[N], double ax, double bx, double fuzz) {
    Comparison c;
    for (int i = 0; i < N; ++i) {
        const std::uint32_t ka = Key(leadA[i]);
        const std::uint32_t kb = Key(Fuzzed(leadA[i], leadB[i], fuzz));
        if (ka != kb) {
            c.decided = ka < kb ? -1 : 1;
            return c;
        }
    }
    c.ax = Key(ax);
    c.bx = Key(Fuzzed(ax, bx, fuzz));
    return c;
}

inline bool Less(const Comparison& c) { return c.decided != 0 ? c.decided < 0 : c.ax < c.bx; }
inline bool LessEqual(const Comparison& c) { return c.decided != 0 ? c.decided < 0 : c.ax <= c.bx; }
inline bool Greater(const Comparison& c) { return c.decided != 0 ? c.decided > 0 : c.ax > c.bx; }
inline bool GreaterEqual(const Comparison& c) { return c.decided != 0 ? c.decided > 0 : c.ax >= c.bx; }

}  // namespace Qmt::VectorOrder
