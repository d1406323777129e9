#include "math/qmtVector3.h"

#include <cstdint>

#include "math/qmtMatrix3.h"
#include "math/qmtVectorOrder.h"

namespace Qmt {

namespace {

constexpr double kUnitTolerance = QmtMatrix3::EPSILON;

// z decides first, then y, then x.
VectorOrder::Comparison CompareZYX(const QmtVector3& a, const QmtVector3& b) {
    return VectorOrder::Compare({a.z, a.y}, {b.z, b.y}, a.x, b.x, QmtVector3::FUZZ);
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

bool QmtVector3::operator<(const QmtVector3& v) const { return VectorOrder::Less(CompareZYX(*this, v)); }

bool QmtVector3::operator<=(const QmtVector3& v) const { return VectorOrder::LessEqual(CompareZYX(*this, v)); }

bool QmtVector3::operator>(const QmtVector3& v) const { return VectorOrder::Greater(CompareZYX(*this, v)); }

bool QmtVector3::operator>=(const QmtVector3& v) const { return VectorOrder::GreaterEqual(CompareZYX(*this, v)); }

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
