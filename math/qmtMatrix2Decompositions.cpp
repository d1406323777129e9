#include <algorithm>
#include <cmath>

#include "math/qmtMatrix2.h"

namespace Qmt {

namespace {

double squaredError(const QmtMatrix2& A, const QmtMatrix2& L, const QmtVector2& S, const QmtMatrix2& R) {
    QmtMatrix2 M;
    M.SingularValueComposition(L, S, R);
    return (A - M).L2NormSqr();
}

}  // namespace

void QmtMatrix2::SingularValueDecomposition(QmtMatrix2& L, QmtVector2& S, QmtMatrix2& R) const {
    const double a = m_afEntry[0];
    const double b = m_afEntry[1];
    const double c = m_afEntry[2];
    const double d = m_afEntry[3];

    // Left vectors: eigenvectors of A * AT.
    const double p00 = a * a + b * b;
    const double p11 = c * c + d * d;
    const double p01 = a * c + b * d;
    if (std::fabs(p01) > 0.0) {
        const double sigma = p00 + p11;
        const double delta = std::sqrt(std::fabs(sigma * sigma - 4.0 * (p00 * p11 - p01 * p01)));
        S = QmtVector2((sigma + delta) / 2.0, (sigma - delta) / 2.0);
        const double t = S.x - p00;
        const double n = std::sqrt(t * t + p01 * p01);
        L = QmtMatrix2(p01 / n, -t / n, t / n, p01 / n);
    } else {
        S = QmtVector2(p00, p11);
        L = IDENTITY;
    }

    // Right vectors: eigenvectors of AT * A.
    const double q01 = a * b + c * d;
    if (std::fabs(q01) > 0.0) {
        const double t = S.x - (a * a + c * c);
        const double n = std::sqrt(t * t + q01 * q01);
        R = QmtMatrix2(q01 / n, t / n, -t / n, q01 / n);
    } else {
        // AT * A is diagonal, but its eigenvectors need not pair with the columns of
        // L in order (a rotation, or orthogonal columns with the second longer).
        // The rows of LT * A are the right vectors scaled by the singular values.
        const QmtMatrix2 B = L.Transpose() * (*this);
        R = IDENTITY;
        if (B[0][1] != 0.0 || B[1][0] != 0.0) {
            const double n0 = std::sqrt(B[0][0] * B[0][0] + B[0][1] * B[0][1]);
            if (n0 > 0.0) {
                const double x = B[0][0] / n0;
                const double y = B[0][1] / n0;
                R = QmtMatrix2(x, y, -y, x);
            } else {
                const double n1 = std::sqrt(B[1][0] * B[1][0] + B[1][1] * B[1][1]);
                const double x = B[1][0] / n1;
                const double y = B[1][1] / n1;
                R = QmtMatrix2(y, -x, x, y);
            }
        }
    }

    S.x = std::sqrt(std::fabs(S.x));
    S.y = std::sqrt(std::fabs(S.y));

    // Pick the row signs of R that reproduce the matrix best; ties keep the earlier.
    const QmtMatrix2 candidates[4] = {
        R,
        QmtMatrix2(-R[0][0], -R[0][1], R[1][0], R[1][1]),
        -R,
        QmtMatrix2(R[0][0], R[0][1], -R[1][0], -R[1][1]),
    };
    int best = 0;
    double bestError = squaredError(*this, L, S, candidates[0]);
    for (int i = 1; i < 4; ++i) {
        const double error = squaredError(*this, L, S, candidates[i]);
        if (error < bestError) {
            bestError = error;
            best = i;
        }
    }
    R = candidates[best];
}

void QmtMatrix2::SingularValueComposition(const QmtMatrix2& L, const QmtVector2& S, const QmtMatrix2& R) {
    const QmtMatrix2 SR(S.x * R[0][0], S.x * R[0][1], S.y * R[1][0], S.y * R[1][1]);
    *this = L * SR;
}

void QmtMatrix2::Orthonormalize() {
    double* e = m_afEntry;
    const double inv0 = 1.0 / std::sqrt(e[0] * e[0] + e[2] * e[2]);
    e[0] *= inv0;
    e[2] *= inv0;

    const double dot = e[0] * e[1] + e[2] * e[3];
    e[1] -= dot * e[0];
    e[3] -= dot * e[2];
    const double inv1 = 1.0 / std::sqrt(e[1] * e[1] + e[3] * e[3]);
    e[1] *= inv1;
    e[3] *= inv1;
}

void QmtMatrix2::QDUDecomposition(QmtMatrix2& Q, QmtVector2& D, double& U) const {
    Q = *this;
    Q.Orthonormalize();
    if (Q.Determinant() < 0.0) {
        Q[0][1] = -Q[0][1];
        Q[1][1] = -Q[1][1];
    }
    const QmtVector2 q0 = Q.GetColumn(0);
    const QmtVector2 q1 = Q.GetColumn(1);
    const QmtVector2 c0 = GetColumn(0);
    const QmtVector2 c1 = GetColumn(1);
    D = QmtVector2(q0.Dot(c0), q1.Dot(c1));
    U = q0.Dot(c1) / D.x;
}

double QmtMatrix2::SpectralNorm() const {
    const double a = m_afEntry[0];
    const double b = m_afEntry[1];
    const double c = m_afEntry[2];
    const double d = m_afEntry[3];
    double p00 = a * a + c * c;
    double p01 = a * b + c * d;
    double p10 = b * a + d * c;
    double p11 = b * b + d * d;

    const double m = std::max(std::max(p00, p01), std::max(p10, p11));
    if (m == 0.0) {
        return 0.0;  // the zero matrix; scaling by 1/m would give 0/0
    }
    p00 /= m;
    p01 /= m;
    p10 /= m;
    p11 /= m;
    const double bq = -(p00 + p11);
    const double cq = p00 * p11 - p01 * p10;
    return std::sqrt(m * (std::sqrt(std::fabs(bq * bq - 4.0 * cq)) - bq) / 2.0);
}

void QmtMatrix2::Tridiagonal(double diag[2], double subd[2]) {
    diag[0] = m_afEntry[0];
    diag[1] = m_afEntry[3];
    subd[0] = m_afEntry[1];
    subd[1] = 0.0;
    *this = IDENTITY;
}

bool QmtMatrix2::QLAlgorithm(double diag[2], double subd[2]) {
    constexpr int kSize = 2;
    constexpr int kMaxIterations = 32;
    for (int i0 = 0; i0 < kSize; ++i0) {
        int iteration = 0;
        for (; iteration < kMaxIterations; ++iteration) {
            int i1 = i0;
            for (; i1 <= kSize - 2; ++i1) {
                const double sum = std::fabs(diag[i1]) + std::fabs(diag[i1 + 1]);
                if (std::fabs(subd[i1]) + sum == sum) {
                    break;
                }
            }
            if (i1 == i0) {
                break;
            }

            double g = (diag[i0 + 1] - diag[i0]) / (2.0 * subd[i0]);
            double r = std::sqrt(g * g + 1.0);
            if (g < 0.0) {
                g = diag[i1] - diag[i0] + subd[i0] / (g - r);
            } else {
                g = diag[i1] - diag[i0] + subd[i0] / (g + r);
            }
            double s = 1.0;
            double c = 1.0;
            double p = 0.0;
            for (int i2 = i1 - 1; i2 >= i0; --i2) {
                const double f = s * subd[i2];
                const double b = c * subd[i2];
                if (std::fabs(f) >= std::fabs(g)) {
                    c = g / f;
                    r = std::sqrt(c * c + 1.0);
                    subd[i2 + 1] = f * r;
                    s = 1.0 / r;
                    c *= s;
                } else {
                    s = f / g;
                    r = std::sqrt(s * s + 1.0);
                    subd[i2 + 1] = g * r;
                    c = 1.0 / r;
                    s *= c;
                }
                g = diag[i2 + 1] - p;
                r = (diag[i2] - g) * s + 2.0 * c * b;
                p = s * r;
                diag[i2 + 1] = g + p;
                g = c * r - b;

                for (unsigned row = 0; row < 2; ++row) {
                    double* rowEntries = (*this)[row];
                    const double next = rowEntries[i2 + 1];
                    rowEntries[i2 + 1] = s * rowEntries[i2] + c * next;
                    rowEntries[i2] = c * rowEntries[i2] - s * next;
                }
            }
            diag[i0] -= p;
            subd[i0] = g;
            subd[i1] = 0.0;
        }
        if (iteration == kMaxIterations) {
            return false;
        }
    }
    return true;
}

void QmtMatrix2::EigenSolveSymmetric(double values[2], QmtVector2 vectors[2]) const {
    QmtMatrix2 M = *this;
    double subd[2];
    M.Tridiagonal(values, subd);
    M.QLAlgorithm(values, subd);
    vectors[0] = M.GetColumn(0);
    vectors[1] = M.GetColumn(1);
    // Orient the pair like the axes (x, y).
    if (vectors[0].x * vectors[1].y - vectors[0].y * vectors[1].x < 0.0) {
        vectors[1] = -vectors[1];
    }
}

}  // namespace Qmt
