#include "math/qmtVector2.h"

#include <cstdint>

#include "math/qmtMatrix3.h"
#include "math/qmtVectorOrder.h"

namespace Qmt {

namespace {

constexpr double kUnitTolerance = QmtMatrix3::EPSILON;

// y decides first, then x.
VectorOrder::Comparison CompareYX(const QmtVector2& a, const QmtVector2& b) {
    return VectorOrder::Compare({a.y}, {b.y}, a.x, b.x, QmtVector2::FUZZ);
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

bool QmtVector2::operator<(const QmtVector2& v) const { return VectorOrder::Less(CompareYX(*this, v)); }

bool QmtVector2::operator<=(const QmtVector2& v) const { return VectorOrder::LessEqual(CompareYX(*this, v)); }

bool QmtVector2::operator>(const QmtVector2& v) const { return VectorOrder::Greater(CompareYX(*this, v)); }

bool QmtVector2::operator>=(const QmtVector2& v) const { return VectorOrder::GreaterEqual(CompareYX(*this, v)); }

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
