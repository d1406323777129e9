#pragma once

#include "math/qmtVector2.h"

namespace Qmt {

// 2x2 matrix of doubles, row-major (m00, m01, m10, m11). Vectors multiply as
// columns on the right unless the free v * M is used.
class QmtMatrix2 {
public:
    static const QmtMatrix2 ZERO;
    static const QmtMatrix2 IDENTITY;
    static constexpr double EPSILON = 9.999999974752427e-7;

    // Leaves the entries unset; every user assigns the matrix before reading it.
    QmtMatrix2() = default;
    constexpr explicit QmtMatrix2(const double entries[2][2])
        : m_afEntry{entries[0][0], entries[0][1], entries[1][0], entries[1][1]} {}
    constexpr QmtMatrix2(double m00, double m01, double m10, double m11)
        : m_afEntry{m00, m01, m10, m11} {}
    constexpr QmtMatrix2(const QmtMatrix2&) = default;
    constexpr QmtMatrix2& operator=(const QmtMatrix2&) = default;

    // Row r as a pointer to its two doubles.
    constexpr double* operator[](unsigned r) { return m_afEntry + 2 * r; }
    constexpr const double* operator[](unsigned r) const { return m_afEntry + 2 * r; }
    constexpr QmtVector2 GetColumn(unsigned c) const { return {m_afEntry[c], m_afEntry[2 + c]}; }

    // Exact entry-by-entry comparison; a NaN entry is never equal.
    bool operator==(const QmtMatrix2& M) const;
    bool operator!=(const QmtMatrix2& M) const { return !(*this == M); }

    QmtMatrix2 operator+(const QmtMatrix2& M) const;
    QmtMatrix2 operator-(const QmtMatrix2& M) const;
    QmtMatrix2 operator-() const;
    QmtMatrix2 operator*(const QmtMatrix2& M) const;
    QmtMatrix2 operator*(double s) const;
    // this * v, v a column vector.
    QmtVector2 operator*(const QmtVector2& v) const {
        return {m_afEntry[0] * v.x + m_afEntry[1] * v.y, m_afEntry[2] * v.x + m_afEntry[3] * v.y};
    }

    QmtMatrix2 Transpose() const;
    // Returns false and leaves out untouched when |determinant| <= tolerance.
    bool Inverse(QmtMatrix2& out, double tolerance) const;
    // The inverse, or ZERO when the matrix is singular within tolerance.
    QmtMatrix2 Inverse(double tolerance) const;
    double Determinant() const;

    // Sum of the squares of the four entries.
    double L2NormSqr() const;
    // The rotation angle of a rotation matrix: atan2(m10, m00).
    void ToAngle(double& angle) const;
    // Rows (cos a, -sin a), (sin a, cos a).
    void FromAngle(double angle);

    // this = L * diag(S) * R with L, R orthogonal and S >= 0, in closed form.
    void SingularValueDecomposition(QmtMatrix2& L, QmtVector2& S, QmtMatrix2& R) const;
    // this = L * diag(S) * R.
    void SingularValueComposition(const QmtMatrix2& L, const QmtVector2& S, const QmtMatrix2& R);
    // Gram-Schmidt on the two columns, in place; a zero column divides by zero.
    void Orthonormalize();
    // this = Q * diag(D) * [(1, U), (0, 1)] with Q a rotation.
    void QDUDecomposition(QmtMatrix2& Q, QmtVector2& D, double& U) const;
    // The largest singular value (0 for the zero matrix).
    double SpectralNorm() const;
    // Eigenvalues and unit eigenvectors of a symmetric matrix; the eigenvectors
    // form a right-handed pair.
    void EigenSolveSymmetric(double values[2], QmtVector2 vectors[2]) const;

    // M(r, c) = U[r] * V[c].
    static void TensorProduct(const QmtVector2& U, const QmtVector2& V, QmtMatrix2& M);

protected:
    // The stages of the symmetric eigen solver; both work on this matrix in place.
    void Tridiagonal(double diag[2], double subd[2]);
    bool QLAlgorithm(double diag[2], double subd[2]);

private:
    double m_afEntry[4];
};

inline constexpr QmtMatrix2 QmtMatrix2::ZERO{0.0, 0.0, 0.0, 0.0};
inline constexpr QmtMatrix2 QmtMatrix2::IDENTITY{1.0, 0.0, 0.0, 1.0};

// vT * M: result[c] = v.x * M(0, c) + v.y * M(1, c).
inline QmtVector2 operator*(const QmtVector2& v, const QmtMatrix2& M) {
    return {v.x * M[0][0] + v.y * M[1][0], v.x * M[0][1] + v.y * M[1][1]};
}

inline QmtMatrix2 operator*(double s, const QmtMatrix2& M) { return M * s; }

}  // namespace Qmt
