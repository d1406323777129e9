#include "math/qmtVector3.h"

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

// Compares z, then y; returns -1 or 1 when one of them decides, else 0 with the
// x keys left for the caller's strict or non-strict test.
int CompareZY(const QmtVector3& a, const QmtVector3& b, std::uint32_t& ax, std::uint32_t& bx) {
    const double fuzz = QmtVector3::FUZZ;
    const std::uint32_t az = OrderKey(a.z);
    const std::uint32_t bz = OrderKey(Fuzzed(a.z, b.z, fuzz));
    if (az != bz) {
        return az < bz ? -1 : 1;
    }
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

double QmtVector3::FUZZ = 0.0;

bool QmtVector3::operator==(const QmtVector3& v) const {
    if (FUZZ == 0.0) {
        return x == v.x && y == v.y && z == v.z;
    }
    return std::fabs(x - v.x) <= FUZZ && std::fabs(y - v.y) <= FUZZ && std::fabs(z - v.z) <= FUZZ;
}

bool QmtVector3::operator!=(const QmtVector3& v) const {
    if (FUZZ == 0.0) {
        return !(x == v.x && y == v.y && z == v.z);
    }
    return std::fabs(x - v.x) > FUZZ || std::fabs(y - v.y) > FUZZ || std::fabs(z - v.z) > FUZZ;
}

bool QmtVector3::operator<(const QmtVector3& v) const {
    std::uint32_t ax = 0, bx = 0;
    const int c = CompareZY(*this, v, ax, bx);
    return c != 0 ? c < 0 : ax < bx;
}

bool QmtVector3::operator<=(const QmtVector3& v) const {
    std::uint32_t ax = 0, bx = 0;
    const int c = CompareZY(*this, v, ax, bx);
    return c != 0 ? c < 0 : ax <= bx;
}

bool QmtVector3::operator>(const QmtVector3& v) const {
    std::uint32_t ax = 0, bx = 0;
    const int c = CompareZY(*this, v, ax, bx);
    return c != 0 ? c > 0 : ax > bx;
}

bool QmtVector3::operator>=(const QmtVector3& v) const {
    std::uint32_t ax = 0, bx = 0;
    const int c = CompareZY(*this, v, ax, bx);
    return c != 0 ? c > 0 : ax >= bx;
}

QmtVector3 QmtVector3::UnitCross(const QmtVector3& v) const {
    QmtVector3 cross = Cross(v);
    cross.Unitize(kUnitTolerance);
    return cross;
}

void QmtVector3::Orthonormalize(QmtVector3 v[3]) {
    v[0].Unitize(kUnitTolerance);

    const double d01 = v[0].Dot(v[1]);
    v[1] -= v[0] * d01;
    v[1].Unitize(kUnitTolerance);

    // Both projections are taken from v[2] as it was before this step.
    const double d02 = v[0].Dot(v[2]);
    const double d12 = v[1].Dot(v[2]);
    v[2] = v[2] - v[0] * d02 - v[1] * d12;
    v[2].Unitize(kUnitTolerance);
}

void QmtVector3::GenerateOrthonormalBasis(QmtVector3& U, QmtVector3& V, QmtVector3& W, bool unitLengthW) {
    if (!unitLengthW) {
        W.Unitize(kUnitTolerance);
    }
    QmtVector3 u;
    if (std::fabs(W.x) >= std::fabs(W.y)) {
        const double r = 1.0 / std::sqrt(W.x * W.x + W.z * W.z);
        u = QmtVector3(-W.z * r, 0.0, W.x * r);
    } else {
        const double r = 1.0 / std::sqrt(W.y * W.y + W.z * W.z);
        u = QmtVector3(0.0, W.z * r, -W.y * r);
    }
    const QmtVector3 v = W.Cross(u);
    U = u;
    V = v;
}

}  // namespace Qmt
