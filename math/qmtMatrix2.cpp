#include "math/qmtMatrix2.h"

#include <cmath>

namespace Qmt {

bool QmtMatrix2::operator==(const QmtMatrix2& M) const {
    for (int i = 0; i < 4; ++i) {
        if (!(m_afEntry[i] == M.m_afEntry[i])) {
            return false;
        }
    }
    return true;
}

QmtMatrix2 QmtMatrix2::operator+(const QmtMatrix2& M) const {
    const double* e = m_afEntry;
    const double* f = M.m_afEntry;
    return {e[0] + f[0], e[1] + f[1], e[2] + f[2], e[3] + f[3]};
}

QmtMatrix2 QmtMatrix2::operator-(const QmtMatrix2& M) const {
    const double* e = m_afEntry;
    const double* f = M.m_afEntry;
    return {e[0] - f[0], e[1] - f[1], e[2] - f[2], e[3] - f[3]};
}

QmtMatrix2 QmtMatrix2::operator-() const {
    const double* e = m_afEntry;
    return {-e[0], -e[1], -e[2], -e[3]};
}

QmtMatrix2 QmtMatrix2::operator*(const QmtMatrix2& M) const {
    const double* e = m_afEntry;
    const double* f = M.m_afEntry;
    return {e[0] * f[0] + e[1] * f[2], e[0] * f[1] + e[1] * f[3],
            e[2] * f[0] + e[3] * f[2], e[2] * f[1] + e[3] * f[3]};
}

QmtMatrix2 QmtMatrix2::operator*(double s) const {
    const double* e = m_afEntry;
    return {e[0] * s, e[1] * s, e[2] * s, e[3] * s};
}

QmtMatrix2 QmtMatrix2::Transpose() const {
    const double* e = m_afEntry;
    return {e[0], e[2], e[1], e[3]};
}

bool QmtMatrix2::Inverse(QmtMatrix2& out, double tolerance) const {
    const double* e = m_afEntry;
    const double det = e[0] * e[3] - e[1] * e[2];
    if (std::fabs(det) <= tolerance) {
        return false;
    }
    const double inv = 1.0 / det;
    out = QmtMatrix2(e[3] * inv, -e[1] * inv, -e[2] * inv, e[0] * inv);
    return true;
}

QmtMatrix2 QmtMatrix2::Inverse(double tolerance) const {
    QmtMatrix2 result = ZERO;
    Inverse(result, tolerance);
    return result;
}

double QmtMatrix2::Determinant() const {
    const double* e = m_afEntry;
    return e[0] * e[3] - e[2] * e[1];
}

double QmtMatrix2::L2NormSqr() const {
    const double* e = m_afEntry;
    return e[0] * e[0] + e[1] * e[1] + e[2] * e[2] + e[3] * e[3];
}

void QmtMatrix2::ToAngle(double& angle) const {
    angle = std::atan2(m_afEntry[2], m_afEntry[0]);
}

void QmtMatrix2::FromAngle(double angle) {
    const double c = std::cos(angle);
    const double s = std::sin(angle);
    *this = QmtMatrix2(c, -s, s, c);
}

void QmtMatrix2::TensorProduct(const QmtVector2& U, const QmtVector2& V, QmtMatrix2& M) {
    M = QmtMatrix2(U.x * V.x, U.x * V.y, U.y * V.x, U.y * V.y);
}

}  // namespace Qmt
