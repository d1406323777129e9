#include "math/qmtMatrix3.h"

#include <cmath>

namespace Qmt {

void QmtMatrix3::MakeDiagonal(double d0, double d1, double d2) {
    *this = QmtMatrix3(d0, 0.0, 0.0, 0.0, d1, 0.0, 0.0, 0.0, d2);
}

bool QmtMatrix3::operator==(const QmtMatrix3& M) const {
    for (int i = 0; i < 9; ++i) {
        if (!(m_afEntry[i] == M.m_afEntry[i])) {
            return false;
        }
    }
    return true;
}

QmtMatrix3 QmtMatrix3::operator+(const QmtMatrix3& M) const {
    QmtMatrix3 S;
    for (int i = 0; i < 9; ++i) {
        S.m_afEntry[i] = m_afEntry[i] + M.m_afEntry[i];
    }
    return S;
}

QmtMatrix3 QmtMatrix3::operator-(const QmtMatrix3& M) const {
    QmtMatrix3 D;
    for (int i = 0; i < 9; ++i) {
        D.m_afEntry[i] = m_afEntry[i] - M.m_afEntry[i];
    }
    return D;
}

QmtMatrix3 QmtMatrix3::operator-() const {
    QmtMatrix3 N;
    for (int i = 0; i < 9; ++i) {
        N.m_afEntry[i] = -m_afEntry[i];
    }
    return N;
}

QmtMatrix3 QmtMatrix3::operator*(const QmtMatrix3& M) const {
    QmtMatrix3 P;
    for (unsigned r = 0; r < 3; ++r) {
        for (unsigned c = 0; c < 3; ++c) {
            P.m_afEntry[3 * r + c] = m_afEntry[3 * r] * M.m_afEntry[c] +
                                     m_afEntry[3 * r + 1] * M.m_afEntry[3 + c] +
                                     m_afEntry[3 * r + 2] * M.m_afEntry[6 + c];
        }
    }
    return P;
}

QmtMatrix3 QmtMatrix3::operator*(double s) const {
    QmtMatrix3 P;
    for (int i = 0; i < 9; ++i) {
        P.m_afEntry[i] = m_afEntry[i] * s;
    }
    return P;
}

QmtMatrix3 QmtMatrix3::Transpose() const {
    const double* e = m_afEntry;
    return {e[0], e[3], e[6], e[1], e[4], e[7], e[2], e[5], e[8]};
}

bool QmtMatrix3::Inverse(QmtMatrix3& out, double tolerance) const {
    const double* e = m_afEntry;
    // Adjugate: the transposed cofactors.
    const double a00 = e[4] * e[8] - e[5] * e[7];
    const double a01 = e[2] * e[7] - e[1] * e[8];
    const double a02 = e[1] * e[5] - e[2] * e[4];
    const double a10 = e[5] * e[6] - e[3] * e[8];
    const double a11 = e[0] * e[8] - e[2] * e[6];
    const double a12 = e[2] * e[3] - e[0] * e[5];
    const double a20 = e[3] * e[7] - e[4] * e[6];
    const double a21 = e[1] * e[6] - e[0] * e[7];
    const double a22 = e[0] * e[4] - e[1] * e[3];

    const double det = e[0] * a00 + e[1] * a10 + e[2] * a20;
    if (std::fabs(det) <= tolerance) {
        return false;
    }
    const double inv = 1.0 / det;
    out = QmtMatrix3(a00 * inv, a01 * inv, a02 * inv,
                     a10 * inv, a11 * inv, a12 * inv,
                     a20 * inv, a21 * inv, a22 * inv);
    return true;
}

QmtMatrix3 QmtMatrix3::Inverse(double tolerance) const {
    QmtMatrix3 result = ZERO;
    Inverse(result, tolerance);
    return result;
}

double QmtMatrix3::Determinant() const {
    const double* e = m_afEntry;
    return e[0] * (e[4] * e[8] - e[7] * e[5]) +
           e[1] * (e[5] * e[6] - e[3] * e[8]) +
           e[2] * (e[7] * e[3] - e[4] * e[6]);
}

}  // namespace Qmt
