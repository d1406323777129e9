#pragma once

#include "math/qmtVector3.h"

namespace Qmt {

// 3x3 matrix of doubles, row-major: entry (r, c) is stored at 3r + c. Vectors
// multiply as columns on the right (M * v) unless the free v * M is used.
class QmtMatrix3 {
public:
    static const QmtMatrix3 ZERO;
    static const QmtMatrix3 IDENTITY;
    // Single-precision 1e-6 widened to double: the engine's unit-length tolerance.
    static constexpr double EPSILON = 9.999999974752427e-7;
    // Single-precision 1e-4 widened to double: the SVD's negligible-superdiagonal ratio.
    static constexpr double ms_fSvdEpsilon = 9.999999747378752e-5;
    static constexpr int ms_iSvdMaxIterations = 32;

    constexpr QmtMatrix3() : m_afEntry{} {}
    // Nine doubles in row-major order.
    constexpr explicit QmtMatrix3(const double* entries)
        : m_afEntry{entries[0], entries[1], entries[2], entries[3], entries[4],
                    entries[5], entries[6], entries[7], entries[8]} {}
    constexpr QmtMatrix3(double m00, double m01, double m02,
                         double m10, double m11, double m12,
                         double m20, double m21, double m22)
        : m_afEntry{m00, m01, m02, m10, m11, m12, m20, m21, m22} {}
    // The three vectors become the COLUMNS of the matrix.
    constexpr QmtMatrix3(const QmtVector3& a, const QmtVector3& b, const QmtVector3& c)
        : m_afEntry{a.x, b.x, c.x, a.y, b.y, c.y, a.z, b.z, c.z} {}
    constexpr QmtMatrix3(const QmtMatrix3&) = default;
    constexpr QmtMatrix3& operator=(const QmtMatrix3&) = default;

    // Row r as a pointer to its three doubles.
    constexpr double* operator[](unsigned r) { return m_afEntry + 3 * r; }
    constexpr const double* operator[](unsigned r) const { return m_afEntry + 3 * r; }
    constexpr double& operator()(unsigned r, unsigned c) { return m_afEntry[3 * r + c]; }
    constexpr double operator()(unsigned r, unsigned c) const { return m_afEntry[3 * r + c]; }

    void SetIdentity() { *this = IDENTITY; }
    void SetZero() { *this = ZERO; }
    void MakeDiagonal(double d0, double d1, double d2);
    constexpr QmtVector3 GetColumn(unsigned c) const {
        return {m_afEntry[c], m_afEntry[3 + c], m_afEntry[6 + c]};
    }

    // Exact entry-by-entry comparison; a NaN entry is never equal.
    bool operator==(const QmtMatrix3& M) const;
    bool operator!=(const QmtMatrix3& M) const { return !(*this == M); }

    QmtMatrix3 operator+(const QmtMatrix3& M) const;
    QmtMatrix3 operator-(const QmtMatrix3& M) const;
    QmtMatrix3 operator-() const;
    QmtMatrix3 operator*(const QmtMatrix3& M) const;
    QmtMatrix3 operator*(double s) const;

    // this * v, v a column vector.
    QmtVector3 operator*(const QmtVector3& v) const {
        const double* e = m_afEntry;
        return {e[0] * v.x + e[1] * v.y + e[2] * v.z,
                e[3] * v.x + e[4] * v.y + e[5] * v.z,
                e[6] * v.x + e[7] * v.y + e[8] * v.z};
    }

    // thisT * M
    QmtMatrix3 TransposeTimes(const QmtMatrix3& M) const {
        QmtMatrix3 P;
        for (unsigned r = 0; r < 3; ++r) {
            for (unsigned c = 0; c < 3; ++c) {
                P.m_afEntry[3 * r + c] = m_afEntry[r] * M.m_afEntry[c] +
                                         m_afEntry[3 + r] * M.m_afEntry[3 + c] +
                                         m_afEntry[6 + r] * M.m_afEntry[6 + c];
            }
        }
        return P;
    }
    // this * MT
    QmtMatrix3 TimesTranspose(const QmtMatrix3& M) const {
        QmtMatrix3 P;
        for (unsigned r = 0; r < 3; ++r) {
            for (unsigned c = 0; c < 3; ++c) {
                P.m_afEntry[3 * r + c] = m_afEntry[3 * r] * M.m_afEntry[3 * c] +
                                         m_afEntry[3 * r + 1] * M.m_afEntry[3 * c + 1] +
                                         m_afEntry[3 * r + 2] * M.m_afEntry[3 * c + 2];
            }
        }
        return P;
    }
    QmtMatrix3 Transpose() const;

    // Inverse by cofactors. Returns false and leaves out untouched when
    // |determinant| <= tolerance.
    bool Inverse(QmtMatrix3& out, double tolerance) const;
    // The inverse, or ZERO when the matrix is singular within tolerance.
    QmtMatrix3 Inverse(double tolerance) const;
    double Determinant() const;

    // this = L * diag(S) * R with L, R orthogonal and S >= 0.
    void SingularValueDecomposition(QmtMatrix3& L, QmtVector3& S, QmtMatrix3& R) const;
    // this = L * (S * R).
    void SingularValueComposition(const QmtMatrix3& L, const QmtMatrix3& S, const QmtMatrix3& R);

    // Gram-Schmidt on the columns, in place; a zero column divides by zero.
    void Orthonormalize();
    // this = Q * D * U: Q orthogonal with determinant +1, D diagonal, U unit upper
    // triangular.
    void QDUDecomposition(QmtMatrix3& Q, QmtMatrix3& D, QmtMatrix3& U) const;

    // The largest singular value.
    double SpectralNorm() const;

    void ToAxisAngle(QmtVector3& axis, double& angle) const;
    void FromAxisAngle(const QmtVector3& axis, double angle);

    // Each returns (a, b, c) with this = R_A(a) * R_B(b) * R_C(c) for the order ABC
    // (R_A(a) * R_B(b) * R_A(c) for the two-axis orders). False at the gimbal
    // boundary, where c = 0 and a carries the whole remaining rotation.
    bool ToEulerAnglesXYZ(double& a, double& b, double& c) const;
    bool ToEulerAnglesXZY(double& a, double& b, double& c) const;
    bool ToEulerAnglesYXZ(double& a, double& b, double& c) const;
    bool ToEulerAnglesYZX(double& a, double& b, double& c) const;
    bool ToEulerAnglesZXY(double& a, double& b, double& c) const;
    bool ToEulerAnglesZYX(double& a, double& b, double& c) const;
    bool ToEulerAnglesXYX(double& a, double& b, double& c) const;
    bool ToEulerAnglesXZX(double& a, double& b, double& c) const;
    bool ToEulerAnglesYXY(double& a, double& b, double& c) const;
    bool ToEulerAnglesYZY(double& a, double& b, double& c) const;
    bool ToEulerAnglesZXZ(double& a, double& b, double& c) const;
    bool ToEulerAnglesZYZ(double& a, double& b, double& c) const;
    // this = R_first(a) * R_second(b) * R_third(c).
    void FromEulerAnglesXYZ(double a, double b, double c);
    void FromEulerAnglesXZY(double a, double b, double c);
    void FromEulerAnglesYXZ(double a, double b, double c);
    void FromEulerAnglesYZX(double a, double b, double c);
    void FromEulerAnglesZXY(double a, double b, double c);
    void FromEulerAnglesZYX(double a, double b, double c);

    // Eigenvalues in the order of the reduced diagonal (not sorted) and unit
    // eigenvectors forming a right-handed set, of a symmetric matrix.
    void EigenSolveSymmetric(double values[3], QmtVector3 vectors[3]) const;

    // M(r, c) = U[r] * V[c].
    static void TensorProduct(const QmtVector3& U, const QmtVector3& V, QmtMatrix3& M);
    // The rotation about the axis of R0T * R1 by t times its angle: only the
    // relative rotation, so t = 0 gives IDENTITY.
    static QmtMatrix3 Slerp(double t, const QmtMatrix3& R0, const QmtMatrix3& R1);

protected:
    // The two stages of the singular value decomposition.
    static void Bidiagonalize(QmtMatrix3& A, QmtMatrix3& L, QmtMatrix3& R);
    static void GolubKahanStep(QmtMatrix3& A, QmtMatrix3& L, QmtMatrix3& R);

    // A real root of x^3 + c[2] x^2 + c[1] x + c[0] by Newton's method.
    static double MaxCubicRoot(const double coefficients[3]);

    // The stages of the symmetric eigen solver; both work on this matrix in place.
    void Tridiagonal(double diag[3], double subd[3]);
    bool QLAlgorithm(double diag[3], double subd[3]);

private:
    double m_afEntry[9];
};

inline constexpr QmtMatrix3 QmtMatrix3::ZERO{0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0};
inline constexpr QmtMatrix3 QmtMatrix3::IDENTITY{1.0, 0.0, 0.0, 0.0, 1.0, 0.0, 0.0, 0.0, 1.0};

// vT * M: result[c] = sum over r of v[r] * M(r, c).
inline QmtVector3 operator*(const QmtVector3& v, const QmtMatrix3& M) {
    return {v.x * M(0, 0) + v.y * M(1, 0) + v.z * M(2, 0),
            v.x * M(0, 1) + v.y * M(1, 1) + v.z * M(2, 1),
            v.x * M(0, 2) + v.y * M(1, 2) + v.z * M(2, 2)};
}

inline QmtMatrix3 operator*(double s, const QmtMatrix3& M) { return M * s; }

// The cross-product matrix of v: SkewSymmetric(v) * w = v x w.
constexpr QmtMatrix3 SkewSymmetric(const QmtVector3& v) {
    return {0.0, -v.z, v.y,
            v.z, 0.0, -v.x,
            -v.y, v.x, 0.0};
}

}  // namespace Qmt
