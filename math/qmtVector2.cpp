#include "math/qmtVector2.h"

#include <bit>
#include <cstdint>

#include "math/qmtMatrix3.h"

namespace Qmt {

namespace {

constexpr double kUnitTolerance = QmtMatrix3::EPSILON;

// Sort key of a component: the low 32 bits of its IEEE pattern.
std::uint32_t OrderKey(double d) { return static_cast<std::uint32_t>(std::bit_cast<std::uint64_t>(d)); }

// Near-equal components of `other` take this vector's value so that they tie.
double Fuzzed(double mine, double other, double fuzz) {
    return (fuzz > 0.0 && std::fabs(mine - other) <= fuzz) ? mine : other;
}

// Compares y; returns -1 or 1 when it decides, else 0 with the x keys left for the
// caller's strict or non-strict test.
int CompareY(const QmtVector2& a, const QmtVector2& b, std::uint32_t& ax, std::uint32_t& bx) {
    const double fuzz = QmtVector2::FUZZ;
    const std::uint32_t ay = OrderKey(a.y);
    const std::uint32_t by = OrderKey(Fuzzed(a.y, b.y, fuzz));
    if (ay != by) {
        return ay < by ? -1 : 1;
    }
    ax = OrderKey(a.x);
    bx = OrderKey(Fuzzed(a.x, b.x, fuzz));
    return 0;
}

}  // namespace

double QmtVector2::FUZZ = 0.0;

bool QmtVector2::operator==(const QmtVector2& v) const {
    if (FUZZ == 0.0) {
        return x == v.x && y == v.y;
    }
    return std::fabs(x - v.x) <= FUZZ && std::fabs(y - v.y) <= FUZZ;
}

bool QmtVector2::operator!=(const QmtVector2& v) const {
    if (FUZZ == 0.0) {
        return !(x == v.x && y == v.y);
    }
    return std::fabs(x - v.x) > FUZZ || std::fabs(y - v.y) > FUZZ;
}

bool QmtVector2::operator<(const QmtVector2& v) const {
    std::uint32_t ax = 0, bx = 0;
    const int c = CompareY(*this, v, ax, bx);
    return c != 0 ? c < 0 : ax < bx;
}

bool QmtVector2::operator<=(const QmtVector2& v) const {
    std::uint32_t ax = 0, bx = 0;
    const int c = CompareY(*this, v, ax, bx);
    return c != 0 ? c < 0 : ax <= bx;
}

bool QmtVector2::operator>(const QmtVector2& v) const {
    std::uint32_t ax = 0, bx = 0;
    const int c = CompareY(*this, v, ax, bx);
    return c != 0 ? c > 0 : ax > bx;
}

bool QmtVector2::operator>=(const QmtVector2& v) const {
    std::uint32_t ax = 0, bx = 0;
    const int c = CompareY(*this, v, ax, bx);
    return c != 0 ? c > 0 : ax >= bx;
}

QmtVector2 QmtVector2::UnitCross() const {
    QmtVector2 perp = Cross();
    perp.Unitize(kUnitTolerance);
    return perp;
}

void QmtVector2::Orthonormalize(QmtVector2 v[2]) {
    v[0].Unitize(kUnitTolerance);
    const double d01 = v[0].Dot(v[1]);
    v[1] -= v[0] * d01;
    v[1].Unitize(kUnitTolerance);
}

}  // namespace Qmt
