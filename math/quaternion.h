#pragma once

#include <cassert>
#include <cstring>

#include "math/qmtMath.h"
#include "math/qmtMatrix3.h"
#include "math/qmtVector3.h"

namespace Qmt {

// Rotation quaternion (w, x, y, z), scalar part first.
class Quaternion {
public:
    // Admissible interval of one half angle for the constrained closest-rotation
    // functions; the trigonometric values are cached once at construction.
    class Constraints {
    public:
        Constraints(double fMinAngle, double fMaxAngle);

        double m_fMinAngle;
        double m_fMaxAngle;
        double m_fCosMinAngle;
        double m_fSinMinAngle;
        double m_fCosMaxAngle;
        double m_fSinMaxAngle;
        double m_fDiffCosMaxMin;
        double m_fDiffSinMaxMin;
        double m_fCosAvrAngle;
        double m_fSinAvrAngle;
    };

    // All four components zero.
    constexpr Quaternion() : m_afTuple{0.0, 0.0, 0.0, 0.0} {}
    constexpr Quaternion(double fW, double fX, double fY, double fZ) : m_afTuple{fW, fX, fY, fZ} {}
    constexpr Quaternion(const Quaternion&) = default;
    constexpr Quaternion& operator=(const Quaternion&) = default;

    explicit Quaternion(const QmtMatrix3& rkRot);
    Quaternion(const QmtVector3& rkAxis, double fAngle);
    // The three vectors are the columns of a rotation matrix.
    explicit Quaternion(const QmtVector3 akRotColumn[3]);

    // Component access: 0 = w, 1 = x, 2 = y, 3 = z.
    constexpr double operator[](int i) const {
        assert(i >= 0 && i < 4);
        return m_afTuple[i];
    }
    constexpr double W() const { return m_afTuple[0]; }
    constexpr double X() const { return m_afTuple[1]; }
    constexpr double Y() const { return m_afTuple[2]; }
    constexpr double Z() const { return m_afTuple[3]; }
    constexpr double& X() { return m_afTuple[1]; }
    constexpr double& Y() { return m_afTuple[2]; }
    constexpr double& Z() { return m_afTuple[3]; }

    // Bitwise comparisons of the 32 bytes: +0 and -0 differ, identical NaNs are equal.
    // The order is arbitrary but consistent (for sorting and keyed containers).
    bool operator==(const Quaternion& rkQ) const { return CompareArrays(rkQ) == 0; }
    bool operator!=(const Quaternion& rkQ) const { return CompareArrays(rkQ) != 0; }
    bool operator<(const Quaternion& rkQ) const { return CompareArrays(rkQ) < 0; }
    bool operator<=(const Quaternion& rkQ) const { return CompareArrays(rkQ) <= 0; }
    bool operator>(const Quaternion& rkQ) const { return CompareArrays(rkQ) > 0; }
    bool operator>=(const Quaternion& rkQ) const { return CompareArrays(rkQ) >= 0; }

    Quaternion operator+(const Quaternion& rkQ) const;
    Quaternion operator-(const Quaternion& rkQ) const;
    Quaternion operator*(const Quaternion& rkQ) const;  // Hamilton product
    Quaternion operator*(double fScalar) const;
    Quaternion operator/(double fScalar) const;
    Quaternion operator-() const;

    Quaternion& operator+=(const Quaternion& rkQ);
    Quaternion& operator-=(const Quaternion& rkQ);
    Quaternion& operator*=(double fScalar);
    Quaternion& operator/=(double fScalar);

    // Conversions between representations. The matrix must be a rotation; the
    // quaternion is taken as unit length by the conversions out of it.
    Quaternion& FromRotationMatrix(const QmtMatrix3& rkRot);
    void ToRotationMatrix(QmtMatrix3& rkRot) const;
    Quaternion& FromRotationMatrix(const QmtVector3 akRotColumn[3]);
    void ToRotationMatrix(QmtVector3 akRotColumn[3]) const;
    Quaternion& FromAxisAngle(const QmtVector3& rkAxis, double fAngle);
    void ToAxisAngle(QmtVector3& rkAxis, double& rfAngle) const;

    double Length() const;
    double SquaredLength() const;
    double Dot(const Quaternion& rkQ) const;
    double Normalize();
    Quaternion Inverse() const;
    Quaternion Conjugate() const;
    Quaternion Exp() const;
    Quaternion Log() const;

    // Rotation of a vector: the rotation matrix of this times v.
    QmtVector3 Rotate(const QmtVector3& rkVector) const;

    // Spherical interpolation; no sign flip toward the shorter arc.
    Quaternion& Slerp(double fT, const Quaternion& rkP, const Quaternion& rkQ);
    Quaternion& SlerpExtraSpins(double fT, const Quaternion& rkP, const Quaternion& rkQ,
                                int iExtraSpins);
    Quaternion& Intermediate(const Quaternion& rkQ0, const Quaternion& rkQ1,
                             const Quaternion& rkQ2);
    Quaternion& Squad(double fT, const Quaternion& rkQ0, const Quaternion& rkA0,
                      const Quaternion& rkA1, const Quaternion& rkQ1);

    // Rotation taking unit V1 to unit V2.
    Quaternion& Align(const QmtVector3& rkV1, const QmtVector3& rkV2);

    // this = twist * swing or swing * twist, where the twist is about V1.
    void DecomposeTwistTimesSwing(const QmtVector3& rkV1, Quaternion& rkTwist,
                                  Quaternion& rkSwing) const;
    void DecomposeSwingTimesTwist(const QmtVector3& rkV1, Quaternion& rkSwing,
                                  Quaternion& rkTwist) const;

    // Closest rotation about one axis, or closest product of rotations about two axes.
    Quaternion GetClosestX() const;
    Quaternion GetClosestY() const;
    Quaternion GetClosestZ() const;
    Quaternion GetClosestXY() const;
    Quaternion GetClosestYX() const;
    Quaternion GetClosestZX() const;
    Quaternion GetClosestXZ() const;
    Quaternion GetClosestYZ() const;
    Quaternion GetClosestZY() const;

    // The same with the half angles limited to the given intervals.
    Quaternion GetClosestX(const Constraints& rkXCon) const;
    Quaternion GetClosestY(const Constraints& rkYCon) const;
    Quaternion GetClosestZ(const Constraints& rkZCon) const;
    Quaternion GetClosestXY(const Constraints& rkXCon, const Constraints& rkYCon) const;
    Quaternion GetClosestYX(const Constraints& rkYCon, const Constraints& rkXCon) const;
    Quaternion GetClosestZX(const Constraints& rkZCon, const Constraints& rkXCon) const;
    Quaternion GetClosestXZ(const Constraints& rkXCon, const Constraints& rkZCon) const;
    Quaternion GetClosestZY(const Constraints& rkZCon, const Constraints& rkYCon) const;
    Quaternion GetClosestYZ(const Constraints& rkYCon, const Constraints& rkZCon) const;

    // this = q1 * q2 * q3 with qi the single-axis rotations of the name's axis order;
    // the outputs are cosine and sine of each half angle, in that order.
    void FactorXYZ(double& rfCx, double& rfSx, double& rfCy, double& rfSy, double& rfCz,
                   double& rfSz) const;
    void FactorXZY(double& rfCx, double& rfSx, double& rfCz, double& rfSz, double& rfCy,
                   double& rfSy) const;
    void FactorYZX(double& rfCy, double& rfSy, double& rfCz, double& rfSz, double& rfCx,
                   double& rfSx) const;
    void FactorYXZ(double& rfCy, double& rfSy, double& rfCx, double& rfSx, double& rfCz,
                   double& rfSz) const;
    void FactorZXY(double& rfCz, double& rfSz, double& rfCx, double& rfSx, double& rfCy,
                   double& rfSy) const;
    void FactorZYX(double& rfCz, double& rfSz, double& rfCy, double& rfSy, double& rfCx,
                   double& rfSx) const;

    static const Quaternion IDENTITY;
    static const Quaternion ZERO;
    static constexpr double ms_fTolerance = 1e-8;
    static constexpr double ms_fRootTwo = 1.4142135623730951;   // sqrt(2), correctly rounded
    static constexpr double ms_fRootHalf = 0.7071067811865476;  // sqrt(0.5), correctly rounded
    static constexpr int ms_iNext[3] = {1, 2, 0};

private:
    int CompareArrays(const Quaternion& rkQ) const {
        return std::memcmp(m_afTuple, rkQ.m_afTuple, sizeof(m_afTuple));
    }

    // Closest rotation about the axis whose component index is iAxis (1, 2 or 3).
    Quaternion GetClosest(int iAxis) const;
    Quaternion GetClosest(int iAxis, const Constraints& rkCon) const;

    double m_afTuple[4];
};

inline constexpr Quaternion Quaternion::IDENTITY{1.0, 0.0, 0.0, 0.0};
inline constexpr Quaternion Quaternion::ZERO{0.0, 0.0, 0.0, 0.0};

inline Quaternion Quaternion::operator+(const Quaternion& rkQ) const {
    return Quaternion(m_afTuple[0] + rkQ.m_afTuple[0], m_afTuple[1] + rkQ.m_afTuple[1],
                      m_afTuple[2] + rkQ.m_afTuple[2], m_afTuple[3] + rkQ.m_afTuple[3]);
}

inline Quaternion Quaternion::operator-(const Quaternion& rkQ) const {
    return Quaternion(m_afTuple[0] - rkQ.m_afTuple[0], m_afTuple[1] - rkQ.m_afTuple[1],
                      m_afTuple[2] - rkQ.m_afTuple[2], m_afTuple[3] - rkQ.m_afTuple[3]);
}

// (this * q) rotates by q first, then by this.
inline Quaternion Quaternion::operator*(const Quaternion& rkQ) const {
    const double w1 = m_afTuple[0], x1 = m_afTuple[1], y1 = m_afTuple[2], z1 = m_afTuple[3];
    const double w2 = rkQ.m_afTuple[0], x2 = rkQ.m_afTuple[1], y2 = rkQ.m_afTuple[2],
                 z2 = rkQ.m_afTuple[3];
    return Quaternion(w1 * w2 - x1 * x2 - y1 * y2 - z1 * z2,
                      w1 * x2 + x1 * w2 + y1 * z2 - z1 * y2,
                      w1 * y2 + y1 * w2 + z1 * x2 - x1 * z2,
                      w1 * z2 + z1 * w2 + x1 * y2 - y1 * x2);
}

inline Quaternion Quaternion::operator*(double fScalar) const {
    return Quaternion(fScalar * m_afTuple[0], fScalar * m_afTuple[1], fScalar * m_afTuple[2],
                      fScalar * m_afTuple[3]);
}

// Division by either zero gives the largest finite double in every component.
inline Quaternion Quaternion::operator/(double fScalar) const {
    if (fScalar == 0.0) {
        return Quaternion(Math::MAX_REAL, Math::MAX_REAL, Math::MAX_REAL, Math::MAX_REAL);
    }
    const double fInv = 1.0 / fScalar;
    return Quaternion(fInv * m_afTuple[0], fInv * m_afTuple[1], fInv * m_afTuple[2],
                      fInv * m_afTuple[3]);
}

inline Quaternion Quaternion::operator-() const {
    return Quaternion(-m_afTuple[0], -m_afTuple[1], -m_afTuple[2], -m_afTuple[3]);
}

inline Quaternion& Quaternion::operator+=(const Quaternion& rkQ) {
    for (int i = 0; i < 4; ++i) m_afTuple[i] += rkQ.m_afTuple[i];
    return *this;
}

inline Quaternion& Quaternion::operator-=(const Quaternion& rkQ) {
    for (int i = 0; i < 4; ++i) m_afTuple[i] -= rkQ.m_afTuple[i];
    return *this;
}

inline Quaternion& Quaternion::operator*=(double fScalar) {
    for (double& f : m_afTuple) f *= fScalar;
    return *this;
}

inline Quaternion& Quaternion::operator/=(double fScalar) {
    if (fScalar == 0.0) {
        for (double& f : m_afTuple) f = Math::MAX_REAL;
        return *this;
    }
    const double fInv = 1.0 / fScalar;
    for (double& f : m_afTuple) f *= fInv;
    return *this;
}

inline double Quaternion::SquaredLength() const {
    return m_afTuple[0] * m_afTuple[0] + m_afTuple[1] * m_afTuple[1] +
           m_afTuple[2] * m_afTuple[2] + m_afTuple[3] * m_afTuple[3];
}

inline double Quaternion::Dot(const Quaternion& rkQ) const {
    return m_afTuple[0] * rkQ.m_afTuple[0] + m_afTuple[1] * rkQ.m_afTuple[1] +
           m_afTuple[2] * rkQ.m_afTuple[2] + m_afTuple[3] * rkQ.m_afTuple[3];
}

inline Quaternion Quaternion::Conjugate() const {
    return Quaternion(m_afTuple[0], -m_afTuple[1], -m_afTuple[2], -m_afTuple[3]);
}

}  // namespace Qmt
