#include <algorithm>
#include <cmath>
#include <numbers>

#include "math/qmtMath.h"
#include "math/qmtMatrix3.h"

namespace Qmt {

namespace {

constexpr double kHalfPi = std::numbers::pi / 2.0;

// Columns i, j of M become c * col_i - s * col_j and s * col_i + c * col_j.
void rotateColumns(QmtMatrix3& M, unsigned i, unsigned j, double c, double s) {
    for (unsigned r = 0; r < 3; ++r) {
        const double mi = M(r, i);
        const double mj = M(r, j);
        M(r, i) = c * mi - s * mj;
        M(r, j) = s * mi + c * mj;
    }
}

// Rows i, j of M become c * row_i - s * row_j and s * row_i + c * row_j.
void rotateRows(QmtMatrix3& M, unsigned i, unsigned j, double c, double s) {
    for (unsigned k = 0; k < 3; ++k) {
        const double mi = M(i, k);
        const double mj = M(j, k);
        M(i, k) = c * mi - s * mj;
        M(j, k) = s * mi + c * mj;
    }
}

// Rotation (c, s) with s * a + c * b = 0; false when a and b are both zero.
bool givens(double a, double b, double& c, double& s) {
    const double r = std::sqrt(a * a + b * b);
    if (!(r > 0.0)) {
        return false;
    }
    s = b / r;
    c = -a / r;
    return true;
}

// Finishes the SVD of the upper bidiagonal block [(p, e), (0, q)] sitting at rows
// and columns i, i + 1: rotates columns i, i + 1 of L and rows i, i + 1 of R and
// returns the two diagonal values.
void solveUpperBlock(double p, double e, double q, unsigned i, QmtMatrix3& L, QmtMatrix3& R,
                     double& si, double& sj) {
    const double t = (p * p - q * q + e * e) / (q * e);
    const double tau = (t + std::sqrt(t * t + 4.0)) / 2.0;
    double c = 1.0 / std::sqrt(1.0 + tau * tau);
    double s = tau * c;
    const double u = (e - q * tau) / p;
    double cp = 1.0 / std::sqrt(1.0 + u * u);
    double sp = -u * cp;
    si = c * cp * p - sp * (c * e - s * q);
    sj = s * sp * p + cp * (s * e + c * q);

    if (!std::isfinite(si) || !std::isfinite(sj) || !std::isfinite(s) || !std::isfinite(sp)) {
        // A zero (or vanishingly small) p or q makes the closed form divide by zero;
        // factor the block as Rot(phi) * diag(si, sj) * Rot(theta) instead.
        const double E = (p + q) / 2.0;
        const double F = (p - q) / 2.0;
        const double G = e / 2.0;
        const double H = -e / 2.0;
        const double rq = std::sqrt(E * E + H * H);
        const double rr = std::sqrt(F * F + G * G);
        const double a1 = std::atan2(G, F);
        const double a2 = std::atan2(H, E);
        const double theta = (a2 - a1) / 2.0;
        const double phi = (a2 + a1) / 2.0;
        c = std::cos(phi);
        s = -std::sin(phi);
        cp = std::cos(theta);
        sp = std::sin(theta);
        si = rq + rr;
        sj = rq - rr;
    }

    rotateColumns(L, i, i + 1, c, s);
    rotateRows(R, i, i + 1, cp, sp);
}

// Rotation (c, s) that turns x into 0 and pivot into the length of (x, pivot)
// when applied as c * x - s * pivot, s * x + c * pivot.
void annihilate(double x, double pivot, double& c, double& s) {
    const double r = std::sqrt(x * x + pivot * pivot);
    if (!(r > 0.0)) {
        c = 1.0;
        s = 0.0;
        return;
    }
    c = pivot / r;
    s = x / r;
}

// A diagonal entry of the bidiagonal A that is (almost) zero stalls the shifted
// iteration. Such an entry is set to zero and its row (or, for the last one, its
// column) cleared by rotations, which splits off a converged superdiagonal
// entry. Returns false when no diagonal entry is negligible.
bool deflateZeroDiagonal(QmtMatrix3& A, QmtMatrix3& L, QmtMatrix3& R) {
    const double scale = std::fabs(A(0, 0)) + std::fabs(A(1, 1)) + std::fabs(A(2, 2)) +
                         std::fabs(A(0, 1)) + std::fabs(A(1, 2));
    const double tolerance = QmtMatrix3::EPSILON * scale;
    double c = 1.0;
    double s = 0.0;
    if (std::fabs(A(0, 0)) <= tolerance) {
        A(0, 0) = 0.0;
        for (unsigned j = 1; j < 3; ++j) {
            annihilate(A(0, j), A(j, j), c, s);
            rotateRows(A, 0, j, c, s);
            rotateColumns(L, 0, j, c, s);
            A(0, j) = 0.0;
        }
        return true;
    }
    if (std::fabs(A(1, 1)) <= tolerance) {
        A(1, 1) = 0.0;
        annihilate(A(1, 2), A(2, 2), c, s);
        rotateRows(A, 1, 2, c, s);
        rotateColumns(L, 1, 2, c, s);
        A(1, 2) = 0.0;
        return true;
    }
    if (std::fabs(A(2, 2)) <= tolerance) {
        A(2, 2) = 0.0;
        for (int j = 1; j >= 0; --j) {
            const unsigned k = static_cast<unsigned>(j);
            annihilate(A(k, 2), A(k, k), c, s);
            rotateColumns(A, 2, k, c, s);
            rotateRows(R, 2, k, c, s);
            A(k, 2) = 0.0;
        }
        return true;
    }
    return false;
}

}  // namespace

void QmtMatrix3::Bidiagonalize(QmtMatrix3& A, QmtMatrix3& L, QmtMatrix3& R) {
    // Reflection of column 0, accumulated into L.
    double length = std::sqrt(A(0, 0) * A(0, 0) + A(1, 0) * A(1, 0) + A(2, 0) * A(2, 0));
    if (length > 0.0) {
        const double sign = A(0, 0) > 0.0 ? 1.0 : -1.0;
        const double divisor = A(0, 0) + sign * length;
        const double v[3] = {1.0, A(1, 0) / divisor, A(2, 0) / divisor};
        const double beta = -2.0 / (v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
        for (unsigned c = 0; c < 3; ++c) {
            const double w = beta * (v[0] * A(0, c) + v[1] * A(1, c) + v[2] * A(2, c));
            for (unsigned r = 0; r < 3; ++r) {
                A(r, c) += w * v[r];
            }
        }
        for (unsigned r = 0; r < 3; ++r) {
            for (unsigned c = 0; c < 3; ++c) {
                L(r, c) = (r == c ? 1.0 : 0.0) + beta * v[r] * v[c];
            }
        }
        A(1, 0) = 0.0;
        A(2, 0) = 0.0;
    } else {
        L = IDENTITY;
    }

    // Reflection of row 0 right of the diagonal, accumulated into R.
    length = std::sqrt(A(0, 1) * A(0, 1) + A(0, 2) * A(0, 2));
    if (length > 0.0) {
        const double sign = A(0, 1) > 0.0 ? 1.0 : -1.0;
        const double divisor = A(0, 1) + sign * length;
        const double v1 = A(0, 2) / divisor;
        const double beta = -2.0 / (1.0 + v1 * v1);
        for (unsigned r = 0; r < 3; ++r) {
            const double w = beta * (A(r, 1) + v1 * A(r, 2));
            A(r, 1) += w;
            A(r, 2) += w * v1;
        }
        R = QmtMatrix3(1.0, 0.0, 0.0,
                       0.0, 1.0 + beta, beta * v1,
                       0.0, beta * v1, 1.0 + beta * v1 * v1);
        A(0, 2) = 0.0;
    } else {
        R = IDENTITY;
    }

    // Reflection of column 1 below the diagonal, accumulated into L.
    length = std::sqrt(A(1, 1) * A(1, 1) + A(2, 1) * A(2, 1));
    if (length > 0.0) {
        const double sign = A(1, 1) > 0.0 ? 1.0 : -1.0;
        const double divisor = A(1, 1) + sign * length;
        const double v1 = A(2, 1) / divisor;
        const double beta = -2.0 / (1.0 + v1 * v1);
        for (unsigned c = 0; c < 3; ++c) {
            const double w = beta * (A(1, c) + v1 * A(2, c));
            A(1, c) += w;
            A(2, c) += w * v1;
        }
        for (unsigned r = 0; r < 3; ++r) {
            const double w = beta * (L(r, 1) + v1 * L(r, 2));
            L(r, 1) += w;
            L(r, 2) += w * v1;
        }
        A(2, 1) = 0.0;
    }
}

void QmtMatrix3::GolubKahanStep(QmtMatrix3& A, QmtMatrix3& L, QmtMatrix3& R) {
    const double d0 = A(0, 0);
    const double e0 = A(0, 1);
    const double d1 = A(1, 1);
    const double e1 = A(1, 2);
    const double d2 = A(2, 2);

    // Shift: the eigenvalue of the trailing 2x2 block of AT * A nearer t22.
    const double t11 = e0 * e0 + d1 * d1;
    const double t22 = e1 * e1 + d2 * d2;
    const double t12 = d1 * e1;
    const double root = std::sqrt((t11 - t22) * (t11 - t22) + 4.0 * t12 * t12);
    const double larger = ((t11 + t22) + root) / 2.0;
    const double smaller = ((t11 + t22) - root) / 2.0;
    const double mu = std::fabs(larger - t22) <= std::fabs(smaller - t22) ? larger : smaller;

    double c = 1.0;
    double s = 0.0;
    if (givens(d0 * d0 - mu, d0 * e0, c, s)) {
        rotateColumns(A, 0, 1, c, s);
        rotateRows(R, 0, 1, c, s);
    }
    // Chase the bulge down the bidiagonal.
    if (givens(A(0, 0), A(1, 0), c, s)) {
        rotateRows(A, 0, 1, c, s);
        rotateColumns(L, 0, 1, c, s);
        A(1, 0) = 0.0;
    }
    if (givens(A(0, 1), A(0, 2), c, s)) {
        rotateColumns(A, 1, 2, c, s);
        rotateRows(R, 1, 2, c, s);
        A(0, 2) = 0.0;
    }
    if (givens(A(1, 1), A(2, 1), c, s)) {
        rotateRows(A, 1, 2, c, s);
        rotateColumns(L, 1, 2, c, s);
        A(2, 1) = 0.0;
    }
}

void QmtMatrix3::SingularValueDecomposition(QmtMatrix3& L, QmtVector3& S, QmtMatrix3& R) const {
    QmtMatrix3 A = *this;
    Bidiagonalize(A, L, R);

    bool finished = false;
    for (int iteration = 0; iteration < ms_iSvdMaxIterations && !finished; ++iteration) {
        const double d0 = A(0, 0);
        const double e0 = A(0, 1);
        const double d1 = A(1, 1);
        const double e1 = A(1, 2);
        const double d2 = A(2, 2);
        const bool test1 = std::fabs(e0) <= ms_fSvdEpsilon * (std::fabs(d0) + std::fabs(d1));
        const bool test2 = std::fabs(e1) <= ms_fSvdEpsilon * (std::fabs(d1) + std::fabs(d2));
        if (test1 && test2) {
            S = QmtVector3(d0, d1, d2);
            finished = true;
        } else if (test1) {
            S.x = d0;
            solveUpperBlock(d1, e1, d2, 1, L, R, S.y, S.z);
            finished = true;
        } else if (test2) {
            S.z = d2;
            solveUpperBlock(d0, e0, d1, 0, L, R, S.x, S.y);
            finished = true;
        } else if (!deflateZeroDiagonal(A, L, R)) {
            GolubKahanStep(A, L, R);
        }
    }
    if (!finished) {
        // Out of iterations: the diagonal is the best estimate there is.
        S = QmtVector3(A(0, 0), A(1, 1), A(2, 2));
    }

    for (int i = 0; i < 3; ++i) {
        if (S[i] < 0.0) {
            S[i] = -S[i];
            for (unsigned k = 0; k < 3; ++k) {
                R(static_cast<unsigned>(i), k) = -R(static_cast<unsigned>(i), k);
            }
        }
    }
}

void QmtMatrix3::SingularValueComposition(const QmtMatrix3& L, const QmtMatrix3& S, const QmtMatrix3& R) {
    *this = L * (S * R);
}

void QmtMatrix3::Orthonormalize() {
    QmtVector3 q0 = GetColumn(0);
    const QmtVector3 c1 = GetColumn(1);
    const QmtVector3 c2 = GetColumn(2);

    q0 *= 1.0 / q0.Length();
    QmtVector3 q1 = c1 - q0 * q0.Dot(c1);
    q1 *= 1.0 / q1.Length();
    const double dot0 = q0.Dot(c2);
    const double dot1 = q1.Dot(c2);
    QmtVector3 q2 = c2 - q0 * dot0 - q1 * dot1;
    q2 *= 1.0 / q2.Length();

    *this = QmtMatrix3(q0, q1, q2);
}

void QmtMatrix3::QDUDecomposition(QmtMatrix3& Q, QmtMatrix3& D, QmtMatrix3& U) const {
    Q = *this;
    Q.Orthonormalize();
    if (Q.Determinant() < 0.0) {
        Q = -Q;
    }
    const QmtMatrix3 T = Q.TransposeTimes(*this);
    D.MakeDiagonal(T(0, 0), T(1, 1), T(2, 2));
    U = QmtMatrix3(1.0, T(0, 1) / T(0, 0), T(0, 2) / T(0, 0),
                   0.0, 1.0, T(1, 2) / T(1, 1),
                   0.0, 0.0, 1.0);
}

double QmtMatrix3::MaxCubicRoot(const double coefficients[3]) {
    const double c0 = coefficients[0];
    const double c1 = coefficients[1];
    const double c2 = coefficients[2];

    // At most one turning point: the inflection point stands in for the root.
    if (c2 * c2 - 3.0 * c1 <= EPSILON) {
        return c2 * -0.3333333432674408;
    }

    const auto poly = [&](double x) { return ((x + c2) * x + c1) * x + c0; };
    double x = 1.0;
    if (poly(1.0) < 0.0) {
        x = std::max(std::fabs(c0), std::max(1.0 + std::fabs(c1), 1.0 + std::fabs(c2)));
    }
    for (int step = 0; step < 16; ++step) {
        const double value = poly(x);
        if (std::fabs(value) <= EPSILON) {
            return x;
        }
        x -= value / ((3.0 * x + 2.0 * c2) * x + c1);
    }
    return x;
}

double QmtMatrix3::SpectralNorm() const {
    QmtMatrix3 L;
    QmtMatrix3 R;
    QmtVector3 S;
    SingularValueDecomposition(L, S, R);
    return std::max(S.x, std::max(S.y, S.z));
}

void QmtMatrix3::TensorProduct(const QmtVector3& U, const QmtVector3& V, QmtMatrix3& M) {
    M = QmtMatrix3(U.x * V.x, U.x * V.y, U.x * V.z,
                   U.y * V.x, U.y * V.y, U.y * V.z,
                   U.z * V.x, U.z * V.y, U.z * V.z);
}

QmtMatrix3 QmtMatrix3::Slerp(double t, const QmtMatrix3& R0, const QmtMatrix3& R1) {
    QmtVector3 axis;
    double angle = 0.0;
    R0.TransposeTimes(R1).ToAxisAngle(axis, angle);
    QmtMatrix3 result;
    result.FromAxisAngle(axis, t * angle);
    return result;
}

void QmtMatrix3::ToAxisAngle(QmtVector3& axis, double& angle) const {
    const double* e = m_afEntry;
    const double t = (e[0] + e[4] + e[8] - 1.0) / 2.0;
    angle = Math::ACos(t);
    if (angle > 0.0) {
        if (angle < std::numbers::pi) {
            axis = QmtVector3(e[7] - e[5], e[2] - e[6], e[3] - e[1]);
            // Near a half turn the antisymmetric part is too short to carry the
            // axis; the symmetric part below still does.
            if (axis.Unitize(EPSILON) > 0.0 || angle < kHalfPi) {
                return;
            }
        }
        if (e[0] >= e[4] && e[0] >= e[8]) {
            axis.x = std::sqrt(e[0] - e[4] - e[8] + 1.0) / 2.0;
            axis.y = e[1] / (2.0 * axis.x);
            axis.z = e[2] / (2.0 * axis.x);
        } else if (e[4] >= e[8]) {
            axis.y = std::sqrt(e[4] - e[0] - e[8] + 1.0) / 2.0;
            axis.x = e[1] / (2.0 * axis.y);
            axis.z = e[5] / (2.0 * axis.y);
        } else {
            axis.z = std::sqrt(e[8] - e[0] - e[4] + 1.0) / 2.0;
            axis.x = e[2] / (2.0 * axis.z);
            axis.y = e[5] / (2.0 * axis.z);
        }
    } else {
        axis = QmtVector3::UNIT_X;
    }
}

void QmtMatrix3::FromAxisAngle(const QmtVector3& axis, double angle) {
    const double c = std::cos(angle);
    const double s = std::sin(angle);
    const double k = 1.0 - c;
    const double x = axis.x;
    const double y = axis.y;
    const double z = axis.z;
    *this = QmtMatrix3(x * x * k + c, x * y * k - z * s, x * z * k + y * s,
                       x * y * k + z * s, y * y * k + c, y * z * k - x * s,
                       x * z * k - y * s, y * z * k + x * s, z * z * k + c);
}

namespace {

QmtMatrix3 rotationX(double a) {
    const double c = std::cos(a);
    const double s = std::sin(a);
    return {1.0, 0.0, 0.0, 0.0, c, -s, 0.0, s, c};
}

QmtMatrix3 rotationY(double a) {
    const double c = std::cos(a);
    const double s = std::sin(a);
    return {c, 0.0, s, 0.0, 1.0, 0.0, -s, 0.0, c};
}

QmtMatrix3 rotationZ(double a) {
    const double c = std::cos(a);
    const double s = std::sin(a);
    return {c, -s, 0.0, s, c, 0.0, 0.0, 0.0, 1.0};
}

// The gimbal-boundary result of an Euler extraction: the t <= -1 row, or the
// t >= 1 row (which a NaN entry also takes).
bool atGimbalBoundary(double t, double lowB, double lowA, double highB, double highA,
                      double& a, double& b, double& c) {
    if (t < 1.0) {
        b = lowB;
        a = lowA;
    } else {
        b = highB;
        a = highA;
    }
    c = 0.0;
    return false;
}

}  // namespace

// Each extraction tests its entry t: -1 < t < 1 is the regular case; otherwise the
// middle angle takes its boundary value, c = 0 and a carries the rest. A NaN entry
// fails both comparisons and lands in the t >= 1 branch.

bool QmtMatrix3::ToEulerAnglesXYZ(double& a, double& b, double& c) const {
    const QmtMatrix3& m = *this;
    const double t = m(0, 2);
    if (t < 1.0 && t > -1.0) {
        b = std::asin(t);
        a = std::atan2(-m(1, 2), m(2, 2));
        c = std::atan2(-m(0, 1), m(0, 0));
        return true;
    }
    return atGimbalBoundary(t, -kHalfPi, -std::atan2(m(1, 0), m(1, 1)),
                            kHalfPi, std::atan2(m(1, 0), m(1, 1)), a, b, c);
}

bool QmtMatrix3::ToEulerAnglesXZY(double& a, double& b, double& c) const {
    const QmtMatrix3& m = *this;
    const double t = m(0, 1);
    if (t < 1.0 && t > -1.0) {
        b = std::asin(-t);
        a = std::atan2(m(2, 1), m(1, 1));
        c = std::atan2(m(0, 2), m(0, 0));
        return true;
    }
    return atGimbalBoundary(t, kHalfPi, -std::atan2(-m(2, 0), m(2, 2)),
                            -kHalfPi, std::atan2(-m(2, 0), m(2, 2)), a, b, c);
}

bool QmtMatrix3::ToEulerAnglesYXZ(double& a, double& b, double& c) const {
    const QmtMatrix3& m = *this;
    const double t = m(1, 2);
    if (t < 1.0 && t > -1.0) {
        b = std::asin(-t);
        a = std::atan2(m(0, 2), m(2, 2));
        c = std::atan2(m(1, 0), m(1, 1));
        return true;
    }
    return atGimbalBoundary(t, kHalfPi, -std::atan2(-m(0, 1), m(0, 0)),
                            -kHalfPi, std::atan2(-m(0, 1), m(0, 0)), a, b, c);
}

bool QmtMatrix3::ToEulerAnglesYZX(double& a, double& b, double& c) const {
    const QmtMatrix3& m = *this;
    const double t = m(1, 0);
    if (t < 1.0 && t > -1.0) {
        b = std::asin(t);
        a = std::atan2(-m(2, 0), m(0, 0));
        c = std::atan2(-m(1, 2), m(1, 1));
        return true;
    }
    return atGimbalBoundary(t, -kHalfPi, -std::atan2(m(2, 1), m(2, 2)),
                            kHalfPi, std::atan2(m(2, 1), m(2, 2)), a, b, c);
}

bool QmtMatrix3::ToEulerAnglesZXY(double& a, double& b, double& c) const {
    const QmtMatrix3& m = *this;
    const double t = m(2, 1);
    if (t < 1.0 && t > -1.0) {
        b = std::asin(t);
        a = std::atan2(-m(0, 1), m(1, 1));
        c = std::atan2(-m(2, 0), m(2, 2));
        return true;
    }
    return atGimbalBoundary(t, -kHalfPi, -std::atan2(m(0, 2), m(0, 0)),
                            kHalfPi, std::atan2(m(0, 2), m(0, 0)), a, b, c);
}

bool QmtMatrix3::ToEulerAnglesZYX(double& a, double& b, double& c) const {
    const QmtMatrix3& m = *this;
    const double t = m(2, 0);
    if (t < 1.0 && t > -1.0) {
        b = std::asin(-t);
        a = std::atan2(m(1, 0), m(0, 0));
        c = std::atan2(m(2, 1), m(2, 2));
        return true;
    }
    return atGimbalBoundary(t, kHalfPi, -std::atan2(m(0, 1), m(0, 2)),
                            -kHalfPi, std::atan2(-m(0, 1), -m(0, 2)), a, b, c);
}

bool QmtMatrix3::ToEulerAnglesXYX(double& a, double& b, double& c) const {
    const QmtMatrix3& m = *this;
    const double t = m(0, 0);
    if (t < 1.0 && t > -1.0) {
        b = std::acos(t);
        a = std::atan2(m(1, 0), -m(2, 0));
        c = std::atan2(m(0, 1), m(0, 2));
        return true;
    }
    return atGimbalBoundary(t, std::numbers::pi, -std::atan2(-m(1, 2), m(1, 1)),
                            0.0, std::atan2(-m(1, 2), m(1, 1)), a, b, c);
}

bool QmtMatrix3::ToEulerAnglesXZX(double& a, double& b, double& c) const {
    const QmtMatrix3& m = *this;
    const double t = m(0, 0);
    if (t < 1.0 && t > -1.0) {
        b = std::acos(t);
        a = std::atan2(m(2, 0), m(1, 0));
        c = std::atan2(m(0, 2), -m(0, 1));
        return true;
    }
    return atGimbalBoundary(t, std::numbers::pi, -std::atan2(m(2, 1), m(2, 2)),
                            0.0, std::atan2(m(2, 1), m(2, 2)), a, b, c);
}

bool QmtMatrix3::ToEulerAnglesYXY(double& a, double& b, double& c) const {
    const QmtMatrix3& m = *this;
    const double t = m(1, 1);
    if (t < 1.0 && t > -1.0) {
        b = std::acos(t);
        a = std::atan2(m(0, 1), m(2, 1));
        c = std::atan2(m(1, 0), -m(1, 2));
        return true;
    }
    return atGimbalBoundary(t, std::numbers::pi, -std::atan2(m(0, 2), m(0, 0)),
                            0.0, std::atan2(m(0, 2), m(0, 0)), a, b, c);
}

bool QmtMatrix3::ToEulerAnglesYZY(double& a, double& b, double& c) const {
    const QmtMatrix3& m = *this;
    const double t = m(1, 1);
    if (t < 1.0 && t > -1.0) {
        b = std::acos(t);
        a = std::atan2(m(2, 1), -m(0, 1));
        c = std::atan2(m(1, 2), m(1, 0));
        return true;
    }
    return atGimbalBoundary(t, std::numbers::pi, -std::atan2(-m(2, 0), m(2, 2)),
                            0.0, std::atan2(-m(2, 0), m(2, 2)), a, b, c);
}

bool QmtMatrix3::ToEulerAnglesZXZ(double& a, double& b, double& c) const {
    const QmtMatrix3& m = *this;
    const double t = m(2, 2);
    if (t < 1.0 && t > -1.0) {
        b = std::acos(t);
        a = std::atan2(m(0, 2), -m(1, 2));
        c = std::atan2(m(2, 0), m(2, 1));
        return true;
    }
    return atGimbalBoundary(t, std::numbers::pi, -std::atan2(-m(0, 1), m(0, 0)),
                            0.0, std::atan2(-m(0, 1), m(0, 0)), a, b, c);
}

bool QmtMatrix3::ToEulerAnglesZYZ(double& a, double& b, double& c) const {
    const QmtMatrix3& m = *this;
    const double t = m(2, 2);
    if (t < 1.0 && t > -1.0) {
        b = std::acos(t);
        a = std::atan2(m(1, 2), m(0, 2));
        c = std::atan2(m(2, 1), -m(2, 0));
        return true;
    }
    return atGimbalBoundary(t, std::numbers::pi, -std::atan2(m(1, 0), m(1, 1)),
                            0.0, std::atan2(m(1, 0), m(1, 1)), a, b, c);
}

void QmtMatrix3::FromEulerAnglesXYZ(double a, double b, double c) {
    *this = rotationX(a) * rotationY(b) * rotationZ(c);
}

void QmtMatrix3::FromEulerAnglesXZY(double a, double b, double c) {
    *this = rotationX(a) * rotationZ(b) * rotationY(c);
}

void QmtMatrix3::FromEulerAnglesYXZ(double a, double b, double c) {
    *this = rotationY(a) * rotationX(b) * rotationZ(c);
}

void QmtMatrix3::FromEulerAnglesYZX(double a, double b, double c) {
    *this = rotationY(a) * rotationZ(b) * rotationX(c);
}

void QmtMatrix3::FromEulerAnglesZXY(double a, double b, double c) {
    *this = rotationZ(a) * rotationX(b) * rotationY(c);
}

void QmtMatrix3::FromEulerAnglesZYX(double a, double b, double c) {
    *this = rotationZ(a) * rotationY(b) * rotationX(c);
}

void QmtMatrix3::Tridiagonal(double diag[3], double subd[3]) {
    const double a = m_afEntry[0];
    double b = m_afEntry[1];
    double c = m_afEntry[2];
    const double d = m_afEntry[4];
    const double e = m_afEntry[5];
    const double f = m_afEntry[8];

    diag[0] = a;
    subd[2] = 0.0;
    if (std::fabs(c) >= EPSILON) {
        // One Householder reflection in the (1, 2) plane zeroes m02.
        const double ell = std::sqrt(b * b + c * c);
        b /= ell;
        c /= ell;
        const double q = 2.0 * b * e + c * (f - d);
        diag[1] = d + c * q;
        diag[2] = f - c * q;
        subd[0] = ell;
        subd[1] = e - b * q;
        *this = QmtMatrix3(1.0, 0.0, 0.0, 0.0, b, c, 0.0, c, -b);
    } else {
        diag[1] = d;
        diag[2] = f;
        subd[0] = b;
        subd[1] = e;
        *this = IDENTITY;
    }
}

namespace {

// Diagonalises the symmetric block (p, e, q) at diagonal slots i, i + 1 in closed
// form: the slots receive the smaller then the larger eigenvalue, and columns i,
// i + 1 of M turn to the matching eigenvectors.
void solveSymmetricBlock(double diag[3], unsigned i, double e, QmtMatrix3& M) {
    const double p = diag[i];
    const double q = diag[i + 1];
    const double root = std::sqrt(4.0 * e * e + (p - q) * (p - q));
    const double lambda0 = ((p + q) - root) / 2.0;
    const double lambda1 = ((p + q) + root) / 2.0;
    diag[i] = lambda0;
    diag[i + 1] = lambda1;

    // Direction of lambda1; it vanishes only for p == q and e == 0, where the
    // block is already diagonal.
    double x = e;
    double y = q - lambda0;
    if (p >= q) {
        x = p - lambda0;
        y = e;
    }
    const double length = std::sqrt(x * x + y * y);
    if (length > 0.0) {
        x /= length;
        y /= length;
        // col_i -> (y, -x), col_i+1 -> (x, y) in the block: a proper rotation.
        rotateColumns(M, i, i + 1, y, x);
    }
}

}  // namespace

bool QmtMatrix3::QLAlgorithm(double diag[3], double subd[3]) {
    constexpr int kMaxSweeps = 32;
    for (int sweep = 0; sweep < kMaxSweeps; ++sweep) {
        double sum = std::fabs(diag[0]) + std::fabs(diag[1]);
        if (sum + std::fabs(subd[0]) == sum) {
            solveSymmetricBlock(diag, 1, subd[1], *this);
            subd[0] = 0.0;
            subd[1] = 0.0;
            return true;
        }
        sum = std::fabs(diag[1]) + std::fabs(diag[2]);
        if (sum + std::fabs(subd[1]) == sum) {
            solveSymmetricBlock(diag, 0, subd[0], *this);
            subd[0] = 0.0;
            subd[1] = 0.0;
            return true;
        }

        // One implicit-shift QL step over the whole tridiagonal matrix.
        double g = (diag[1] - diag[0]) / (2.0 * subd[0]);
        double r = std::sqrt(g * g + 1.0);
        if (g >= 0.0) {
            g = diag[2] - diag[0] + subd[0] / (g + r);
        } else {
            g = diag[2] - diag[0] + subd[0] / (g - r);
        }
        double s = 1.0;
        double c = 1.0;
        double p = 0.0;
        for (int i = 1; i >= 0; --i) {
            const double f = s * subd[i];
            const double b = c * subd[i];
            if (std::fabs(f) >= std::fabs(g)) {
                c = g / f;
                r = std::sqrt(c * c + 1.0);
                if (i == 0) {
                    subd[1] = f * r;
                }
                s = 1.0 / r;
                c *= s;
            } else {
                s = f / g;
                r = std::sqrt(s * s + 1.0);
                if (i == 0) {
                    subd[1] = g * r;
                }
                c = 1.0 / r;
                s *= c;
            }
            g = diag[i + 1] - p;
            r = (diag[i] - g) * s + 2.0 * c * b;
            p = s * r;
            diag[i + 1] = g + p;
            g = c * r - b;
            rotateColumns(*this, static_cast<unsigned>(i), static_cast<unsigned>(i + 1), c, s);
        }
        diag[0] -= p;
        subd[0] = g;
    }
    return false;
}

void QmtMatrix3::EigenSolveSymmetric(double values[3], QmtVector3 vectors[3]) const {
    QmtMatrix3 M = *this;
    double subd[3];
    M.Tridiagonal(values, subd);
    M.QLAlgorithm(values, subd);
    for (unsigned i = 0; i < 3; ++i) {
        vectors[i] = M.GetColumn(i);
    }
    // Make the set right-handed.
    if (vectors[0].Dot(vectors[1].Cross(vectors[2])) < 0.0) {
        vectors[2] = -vectors[2];
    }
}


}  // namespace Qmt
