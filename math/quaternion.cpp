#include "math/quaternion.h"

#include <cmath>
#include <numbers>

namespace Qmt {

namespace {

constexpr double kPi = std::numbers::pi;

// Whether the unit pair (cs, sn) lies on the arc of the interval, or its antipode
// does: the point must be on the far side of the chord from the minimum to the
// maximum end.
bool accepts(const Quaternion::Constraints& con, double cs, double sn) {
    if ((cs - con.m_fCosMinAngle) * con.m_fDiffSinMaxMin >=
        (sn - con.m_fSinMinAngle) * con.m_fDiffCosMaxMin) {
        return true;
    }
    return (sn + con.m_fSinMinAngle) * con.m_fDiffCosMaxMin >=
           (cs + con.m_fCosMinAngle) * con.m_fDiffSinMaxMin;
}

// A zero pair, which only degenerate input produces, stays as it is rather than
// turning into NaN.
void normalizePair(double& c, double& s) {
    const double length = std::sqrt(c * c + s * s);
    if (length > 0.0) {
        const double inv = 1.0 / length;
        c *= inv;
        s *= inv;
    }
}

// Half-angle pairs (c0, s0) of the X factor and (c1, s1) of the Y factor of the X*Y
// product closest to q, for |det| below one half.
void closestXYPairs(const Quaternion& q, double det, double& c0, double& s0, double& c1,
                    double& s1) {
    const double w = q.W(), x = q.X(), y = q.Y(), z = q.Z();
    const double d = std::sqrt(std::fabs(1.0 - 4.0 * det * det));
    const double a = w * x + y * z;
    const double b = w * w - x * x + y * y - z * z;
    if (b >= 0.0) {
        c0 = 0.5 * (b + d);
        s0 = a;
    } else {
        c0 = a;
        s0 = 0.5 * (d - b);
    }
    normalizePair(c0, s0);
    c1 = w * c0 + x * s0;
    s1 = y * c0 + z * s0;
    normalizePair(c1, s1);
}

}  // namespace

Quaternion::Constraints::Constraints(double fMinAngle, double fMaxAngle)
    : m_fMinAngle(fMinAngle),
      m_fMaxAngle(fMaxAngle),
      m_fCosMinAngle(std::cos(fMinAngle)),
      m_fSinMinAngle(std::sin(fMinAngle)),
      m_fCosMaxAngle(std::cos(fMaxAngle)),
      m_fSinMaxAngle(std::sin(fMaxAngle)),
      m_fDiffCosMaxMin(m_fCosMaxAngle - m_fCosMinAngle),
      m_fDiffSinMaxMin(m_fSinMaxAngle - m_fSinMinAngle),
      m_fCosAvrAngle(std::cos(0.5 * (fMinAngle + fMaxAngle))),
      m_fSinAvrAngle(std::sin(0.5 * (fMinAngle + fMaxAngle))) {}

Quaternion::Quaternion(const QmtMatrix3& rkRot) { FromRotationMatrix(rkRot); }

Quaternion::Quaternion(const QmtVector3& rkAxis, double fAngle) {
    FromAxisAngle(rkAxis, fAngle);
}

Quaternion::Quaternion(const QmtVector3 akRotColumn[3]) { FromRotationMatrix(akRotColumn); }

Quaternion& Quaternion::FromRotationMatrix(const QmtMatrix3& rkRot) {
    const double fTrace = rkRot(0, 0) + rkRot(1, 1) + rkRot(2, 2);
    if (fTrace > 0.0) {
        const double fRoot = std::sqrt(fTrace + 1.0);
        m_afTuple[0] = 0.5 * fRoot;
        const double f = 0.5 / fRoot;
        m_afTuple[1] = (rkRot(2, 1) - rkRot(1, 2)) * f;
        m_afTuple[2] = (rkRot(0, 2) - rkRot(2, 0)) * f;
        m_afTuple[3] = (rkRot(1, 0) - rkRot(0, 1)) * f;
        return *this;
    }

    // The largest diagonal entry gives the best-conditioned component; ties keep the
    // lower index.
    unsigned i = 0;
    if (rkRot(1, 1) > rkRot(0, 0)) i = 1;
    if (rkRot(2, 2) > rkRot(i, i)) i = 2;
    const unsigned j = static_cast<unsigned>(ms_iNext[i]);
    const unsigned k = static_cast<unsigned>(ms_iNext[j]);

    double* const afVec = m_afTuple + 1;
    const double fRoot = std::sqrt(rkRot(i, i) - rkRot(j, j) - rkRot(k, k) + 1.0);
    afVec[i] = 0.5 * fRoot;
    const double f = 0.5 / fRoot;
    m_afTuple[0] = (rkRot(k, j) - rkRot(j, k)) * f;
    afVec[j] = (rkRot(j, i) + rkRot(i, j)) * f;
    afVec[k] = (rkRot(k, i) + rkRot(i, k)) * f;
    return *this;
}

void Quaternion::ToRotationMatrix(QmtMatrix3& rkRot) const {
    const double w = m_afTuple[0], x = m_afTuple[1], y = m_afTuple[2], z = m_afTuple[3];
    const double tx = 2.0 * x, ty = 2.0 * y, tz = 2.0 * z;
    rkRot(0, 0) = 1.0 - (y * ty + z * tz);
    rkRot(0, 1) = x * ty - w * tz;
    rkRot(0, 2) = x * tz + w * ty;
    rkRot(1, 0) = x * ty + w * tz;
    rkRot(1, 1) = 1.0 - (x * tx + z * tz);
    rkRot(1, 2) = y * tz - w * tx;
    rkRot(2, 0) = x * tz - w * ty;
    rkRot(2, 1) = y * tz + w * tx;
    rkRot(2, 2) = 1.0 - (x * tx + y * ty);
}

Quaternion& Quaternion::FromRotationMatrix(const QmtVector3 akRotColumn[3]) {
    return FromRotationMatrix(QmtMatrix3(akRotColumn[0], akRotColumn[1], akRotColumn[2]));
}

void Quaternion::ToRotationMatrix(QmtVector3 akRotColumn[3]) const {
    QmtMatrix3 kRot;
    ToRotationMatrix(kRot);
    for (unsigned c = 0; c < 3; ++c) akRotColumn[c] = kRot.GetColumn(c);
}

Quaternion& Quaternion::FromAxisAngle(const QmtVector3& rkAxis, double fAngle) {
    const double fHalfAngle = 0.5 * fAngle;
    const double fSin = std::sin(fHalfAngle);
    m_afTuple[0] = std::cos(fHalfAngle);
    m_afTuple[1] = fSin * rkAxis.x;
    m_afTuple[2] = fSin * rkAxis.y;
    m_afTuple[3] = fSin * rkAxis.z;
    return *this;
}

void Quaternion::ToAxisAngle(QmtVector3& rkAxis, double& rfAngle) const {
    const double fSqrLength =
        m_afTuple[1] * m_afTuple[1] + m_afTuple[2] * m_afTuple[2] + m_afTuple[3] * m_afTuple[3];
    if (fSqrLength > 0.0) {
        rfAngle = 2.0 * Math::ACos(m_afTuple[0]);
        const double fInvLength = 1.0 / std::sqrt(fSqrLength);
        rkAxis = QmtVector3(m_afTuple[1] * fInvLength, m_afTuple[2] * fInvLength,
                            m_afTuple[3] * fInvLength);
    } else {
        rfAngle = 0.0;
        rkAxis = QmtVector3::UNIT_X;
    }
}

double Quaternion::Length() const { return std::sqrt(SquaredLength()); }

double Quaternion::Normalize() {
    const double fLength = Length();
    if (fLength > 0.0) {
        const double fInvLength = 1.0 / fLength;
        for (double& f : m_afTuple) f *= fInvLength;
        return fLength;
    }
    *this = ZERO;
    return 0.0;
}

Quaternion Quaternion::Inverse() const {
    const double fNorm = SquaredLength();
    if (fNorm > 0.0) {
        const double fInvNorm = 1.0 / fNorm;
        return Quaternion(m_afTuple[0] * fInvNorm, -m_afTuple[1] * fInvNorm,
                          -m_afTuple[2] * fInvNorm, -m_afTuple[3] * fInvNorm);
    }
    return ZERO;
}

Quaternion Quaternion::Exp() const {
    const double fAngle = std::sqrt(m_afTuple[1] * m_afTuple[1] + m_afTuple[2] * m_afTuple[2] +
                                    m_afTuple[3] * m_afTuple[3]);
    const double fSin = std::sin(fAngle);
    Quaternion kResult(std::cos(fAngle), m_afTuple[1], m_afTuple[2], m_afTuple[3]);
    if (fSin != 0.0) {
        const double fCoeff = fSin / fAngle;
        for (int i = 1; i < 4; ++i) kResult.m_afTuple[i] *= fCoeff;
    }
    return kResult;
}

Quaternion Quaternion::Log() const {
    Quaternion kResult(0.0, m_afTuple[1], m_afTuple[2], m_afTuple[3]);
    if (std::fabs(m_afTuple[0]) < 1.0) {
        const double fAngle = Math::ACos(m_afTuple[0]);
        const double fSin = std::sin(fAngle);
        if (fSin != 0.0) {
            const double fCoeff = fAngle / fSin;
            for (int i = 1; i < 4; ++i) kResult.m_afTuple[i] *= fCoeff;
        }
    }
    return kResult;
}

QmtVector3 Quaternion::Rotate(const QmtVector3& rkVector) const {
    QmtMatrix3 kRot;
    ToRotationMatrix(kRot);
    return kRot * rkVector;
}

Quaternion& Quaternion::Slerp(double fT, const Quaternion& rkP, const Quaternion& rkQ) {
    const double fAngle = Math::ACos(rkP.Dot(rkQ));
    if (fAngle == 0.0) {
        *this = rkP;
        return *this;
    }
    const double fSin = std::sin(fAngle);
    const double fCoeff0 = std::sin((1.0 - fT) * fAngle) / fSin;
    const double fCoeff1 = std::sin(fT * fAngle) / fSin;
    *this = rkP * fCoeff0 + rkQ * fCoeff1;
    return *this;
}

Quaternion& Quaternion::SlerpExtraSpins(double fT, const Quaternion& rkP, const Quaternion& rkQ,
                                        int iExtraSpins) {
    const double fAngle = Math::ACos(rkP.Dot(rkQ));
    if (fAngle == 0.0) {
        *this = rkP;
        return *this;
    }
    const double fSin = std::sin(fAngle);
    const double fPhase = kPi * iExtraSpins * fT;
    const double fCoeff0 = std::sin((1.0 - fT) * fAngle - fPhase) / fSin;
    const double fCoeff1 = std::sin(fT * fAngle + fPhase) / fSin;
    *this = rkP * fCoeff0 + rkQ * fCoeff1;
    return *this;
}

Quaternion& Quaternion::Intermediate(const Quaternion& rkQ0, const Quaternion& rkQ1,
                                     const Quaternion& rkQ2) {
    const Quaternion kQ1Conj = rkQ1.Conjugate();
    const Quaternion kLog2 = (kQ1Conj * rkQ2).Log();
    const Quaternion kLog0 = (kQ1Conj * rkQ0).Log();
    const Quaternion kArg(0.0, -0.25 * (kLog2.m_afTuple[1] + kLog0.m_afTuple[1]),
                          -0.25 * (kLog2.m_afTuple[2] + kLog0.m_afTuple[2]),
                          -0.25 * (kLog2.m_afTuple[3] + kLog0.m_afTuple[3]));
    *this = rkQ1 * kArg.Exp();
    return *this;
}

Quaternion& Quaternion::Squad(double fT, const Quaternion& rkQ0, const Quaternion& rkA0,
                              const Quaternion& rkA1, const Quaternion& rkQ1) {
    Quaternion kSlerpQ, kSlerpA;
    kSlerpQ.Slerp(fT, rkQ0, rkQ1);
    kSlerpA.Slerp(fT, rkA0, rkA1);
    return Slerp(2.0 * fT * (1.0 - fT), kSlerpQ, kSlerpA);
}

Quaternion& Quaternion::Align(const QmtVector3& rkV1, const QmtVector3& rkV2) {
    // The half-way vector B gives the rotation by twice the angle between V1 and B.
    QmtVector3 kBisector = rkV1 + rkV2;
    const double fBisectorLength = kBisector.Unitize(QmtMatrix3::EPSILON);
    const double fCosHalfAngle = rkV1.Dot(kBisector);

    // Opposite (or nearly opposite) vectors have no usable bisector: turn by pi about
    // any axis perpendicular to V1.
    if (fBisectorLength == 0.0 || fCosHalfAngle == 0.0) {
        m_afTuple[0] = 0.0;
        if (std::fabs(rkV1.x) >= std::fabs(rkV1.y)) {
            const double fInvLength = 1.0 / std::sqrt(rkV1.x * rkV1.x + rkV1.z * rkV1.z);
            m_afTuple[1] = -rkV1.z * fInvLength;
            m_afTuple[2] = 0.0;
            m_afTuple[3] = rkV1.x * fInvLength;
        } else {
            const double fInvLength = 1.0 / std::sqrt(rkV1.y * rkV1.y + rkV1.z * rkV1.z);
            m_afTuple[1] = 0.0;
            m_afTuple[2] = rkV1.z * fInvLength;
            m_afTuple[3] = -rkV1.y * fInvLength;
        }
        return *this;
    }

    const QmtVector3 kCross = rkV1.Cross(kBisector);
    m_afTuple[0] = fCosHalfAngle;
    m_afTuple[1] = kCross.x;
    m_afTuple[2] = kCross.y;
    m_afTuple[3] = kCross.z;
    return *this;
}

void Quaternion::DecomposeTwistTimesSwing(const QmtVector3& rkV1, Quaternion& rkTwist,
                                          Quaternion& rkSwing) const {
    Quaternion kSwing;
    kSwing.Align(rkV1, Rotate(rkV1));
    const Quaternion kTwist = *this * kSwing.Conjugate();
    rkSwing = kSwing;
    rkTwist = kTwist;
}

void Quaternion::DecomposeSwingTimesTwist(const QmtVector3& rkV1, Quaternion& rkSwing,
                                          Quaternion& rkTwist) const {
    Quaternion kSwing;
    kSwing.Align(rkV1, Rotate(rkV1));
    const Quaternion kTwist = kSwing.Conjugate() * *this;
    rkSwing = kSwing;
    rkTwist = kTwist;
}

// ---------------------------------------------------------------------------
// Closest rotations

Quaternion Quaternion::GetClosest(int iAxis) const {
    const double fSqrLength = m_afTuple[0] * m_afTuple[0] + m_afTuple[iAxis] * m_afTuple[iAxis];
    if (fSqrLength > ms_fTolerance) {
        const double fInvLength = 1.0 / std::sqrt(fSqrLength);
        Quaternion kResult(m_afTuple[0] * fInvLength, 0.0, 0.0, 0.0);
        kResult.m_afTuple[iAxis] = m_afTuple[iAxis] * fInvLength;
        return kResult;
    }
    return IDENTITY;
}

Quaternion Quaternion::GetClosestX() const { return GetClosest(1); }
Quaternion Quaternion::GetClosestY() const { return GetClosest(2); }
Quaternion Quaternion::GetClosestZ() const { return GetClosest(3); }

Quaternion Quaternion::GetClosestXY() const {
    const double w = m_afTuple[0], x = m_afTuple[1], y = m_afTuple[2], z = m_afTuple[3];
    const double fDet = w * z - x * y;
    if (std::fabs(fDet) < 0.5 - ms_fTolerance) {
        double c0, s0, c1, s1;
        closestXYPairs(*this, fDet, c0, s0, c1, s1);
        return Quaternion(c0 * c1, s0 * c1, c0 * s1, s0 * s1);
    }
    // The two axes act as one: the closest rotation is about X alone.
    const double fInvLength = 1.0 / std::sqrt(std::fabs(fDet));
    return Quaternion(w * fInvLength, x * fInvLength, 0.0, 0.0);
}

Quaternion Quaternion::GetClosestYX() const {
    Quaternion kResult = Quaternion(m_afTuple[0], m_afTuple[1], m_afTuple[2], -m_afTuple[3])
                             .GetClosestXY();
    kResult.m_afTuple[3] = -kResult.m_afTuple[3];
    return kResult;
}

Quaternion Quaternion::GetClosestZX() const {
    const Quaternion kAlt = Quaternion(m_afTuple[0], m_afTuple[1], m_afTuple[3], m_afTuple[2])
                                .GetClosestXY();
    return Quaternion(kAlt.m_afTuple[0], kAlt.m_afTuple[1], kAlt.m_afTuple[3], kAlt.m_afTuple[2]);
}

Quaternion Quaternion::GetClosestXZ() const {
    const Quaternion kAlt = Quaternion(m_afTuple[0], m_afTuple[1], -m_afTuple[3], m_afTuple[2])
                                .GetClosestXY();
    return Quaternion(kAlt.m_afTuple[0], kAlt.m_afTuple[1], kAlt.m_afTuple[3], -kAlt.m_afTuple[2]);
}

Quaternion Quaternion::GetClosestYZ() const {
    const Quaternion kAlt = Quaternion(m_afTuple[0], m_afTuple[2], m_afTuple[3], m_afTuple[1])
                                .GetClosestXY();
    return Quaternion(kAlt.m_afTuple[0], kAlt.m_afTuple[3], kAlt.m_afTuple[1], kAlt.m_afTuple[2]);
}

Quaternion Quaternion::GetClosestZY() const {
    const Quaternion kAlt = Quaternion(m_afTuple[0], m_afTuple[2], m_afTuple[3], -m_afTuple[1])
                                .GetClosestXY();
    return Quaternion(kAlt.m_afTuple[0], -kAlt.m_afTuple[3], kAlt.m_afTuple[1], kAlt.m_afTuple[2]);
}

Quaternion Quaternion::GetClosest(int iAxis, const Constraints& rkCon) const {
    Quaternion kResult(0.0, 0.0, 0.0, 0.0);
    const double fSqrLength = m_afTuple[0] * m_afTuple[0] + m_afTuple[iAxis] * m_afTuple[iAxis];
    if (fSqrLength <= ms_fTolerance) {
        // No preferred angle: the middle of the interval.
        kResult.m_afTuple[0] = rkCon.m_fCosAvrAngle;
        kResult.m_afTuple[iAxis] = rkCon.m_fSinAvrAngle;
        return kResult;
    }

    const double fInvLength = 1.0 / std::sqrt(fSqrLength);
    const double fCos = m_afTuple[0] * fInvLength;
    const double fSin = m_afTuple[iAxis] * fInvLength;
    if (accepts(rkCon, fCos, fSin)) {
        kResult.m_afTuple[0] = fCos;
        kResult.m_afTuple[iAxis] = fSin;
        return kResult;
    }

    // Outside the interval: the nearer end, taken with the sign that faces the pair.
    double fCosMin = rkCon.m_fCosMinAngle, fSinMin = rkCon.m_fSinMinAngle;
    double fDotMin = fCosMin * fCos + fSinMin * fSin;
    if (fDotMin < 0.0) {
        fDotMin = -fDotMin;
        fCosMin = -fCosMin;
        fSinMin = -fSinMin;
    }
    double fCosMax = rkCon.m_fCosMaxAngle, fSinMax = rkCon.m_fSinMaxAngle;
    double fDotMax = fCosMax * fCos + fSinMax * fSin;
    if (fDotMax < 0.0) {
        fDotMax = -fDotMax;
        fCosMax = -fCosMax;
        fSinMax = -fSinMax;
    }
    if (fDotMax >= fDotMin) {
        kResult.m_afTuple[0] = fCosMax;
        kResult.m_afTuple[iAxis] = fSinMax;
    } else {
        kResult.m_afTuple[0] = fCosMin;
        kResult.m_afTuple[iAxis] = fSinMin;
    }
    return kResult;
}

Quaternion Quaternion::GetClosestX(const Constraints& rkXCon) const { return GetClosest(1, rkXCon); }
Quaternion Quaternion::GetClosestY(const Constraints& rkYCon) const { return GetClosest(2, rkYCon); }
Quaternion Quaternion::GetClosestZ(const Constraints& rkZCon) const { return GetClosest(3, rkZCon); }

Quaternion Quaternion::GetClosestXY(const Constraints& rkXCon, const Constraints& rkYCon) const {
    const double w = m_afTuple[0], x = m_afTuple[1], y = m_afTuple[2], z = m_afTuple[3];
    const double fDet = w * z - x * y;

    if (std::fabs(fDet) < 0.5 - ms_fTolerance) {
        double c0, s0, c1, s1;
        closestXYPairs(*this, fDet, c0, s0, c1, s1);
        if (accepts(rkXCon, c0, s0) && accepts(rkYCon, c1, s1)) {
            return Quaternion(c0 * c1, s0 * c1, c0 * s1, s0 * s1);
        }

        // The unconstrained optimum lies outside: search the edges of the rectangle
        // of admissible angles; the first candidate stands unless strictly beaten.
        Quaternion kBest;
        double fBestScore = 0.0;
        bool bHaveBest = false;
        const auto consider = [&](const Quaternion& kCandidate, double fScore) {
            if (!bHaveBest || fScore > fBestScore) {
                kBest = kCandidate;
                fBestScore = fScore;
                bHaveBest = true;
            }
        };
        const double afXCos[2] = {rkXCon.m_fCosMinAngle, rkXCon.m_fCosMaxAngle};
        const double afXSin[2] = {rkXCon.m_fSinMinAngle, rkXCon.m_fSinMaxAngle};
        for (int i = 0; i < 2; ++i) {
            const Quaternion kP = Quaternion(afXCos[i], -afXSin[i], 0.0, 0.0) * *this;
            const Quaternion kR = kP.GetClosestY(rkYCon);
            consider(Quaternion(afXCos[i], afXSin[i], 0.0, 0.0) * kR, kP.Dot(kR));
        }
        const double afYCos[2] = {rkYCon.m_fCosMinAngle, rkYCon.m_fCosMaxAngle};
        const double afYSin[2] = {rkYCon.m_fSinMinAngle, rkYCon.m_fSinMaxAngle};
        for (int i = 0; i < 2; ++i) {
            const Quaternion kP = *this * Quaternion(afYCos[i], 0.0, -afYSin[i], 0.0);
            const Quaternion kR = kP.GetClosestX(rkXCon);
            consider(kR * Quaternion(afYCos[i], 0.0, afYSin[i], 0.0), kP.Dot(kR));
        }
        return kBest;
    }

    // The two axes act as one: only the difference (det > 0) or the sum (det < 0) of
    // the two angles matters. Find the best combined angle, then split it over the two
    // intervals so that both factors stay admissible.
    const double fMin = (fDet > 0.0 ? rkXCon.m_fMinAngle - rkYCon.m_fMaxAngle
                                    : rkXCon.m_fMinAngle + rkYCon.m_fMinAngle);
    const double fMax = (fDet > 0.0 ? rkXCon.m_fMaxAngle - rkYCon.m_fMinAngle
                                    : rkXCon.m_fMaxAngle + rkYCon.m_fMaxAngle);
    const Quaternion kR = GetClosestX(Constraints(fMin, fMax));
    double fTheta = std::atan2(kR.m_afTuple[1], kR.m_afTuple[0]);
    if (fTheta < fMin || fTheta > fMax) fTheta += (kR.m_afTuple[1] >= 0.0 ? -kPi : kPi);

    // fTheta = X angle - Y angle (det > 0) or X angle + Y angle (det < 0).
    double fXAngle, fYAngle;
    if (fDet > 0.0) {
        if (rkXCon.m_fMaxAngle - rkYCon.m_fMaxAngle >= fTheta) {
            fYAngle = rkYCon.m_fMaxAngle;
            fXAngle = fTheta + rkYCon.m_fMaxAngle;
        } else {
            fXAngle = rkXCon.m_fMaxAngle;
            fYAngle = rkXCon.m_fMaxAngle - fTheta;
        }
    } else {
        if (fTheta >= rkYCon.m_fMaxAngle + rkXCon.m_fMinAngle) {
            fYAngle = rkYCon.m_fMaxAngle;
            fXAngle = fTheta - rkYCon.m_fMaxAngle;
        } else {
            // Below Y max + X min: X at its minimum keeps the Y angle inside its interval.
            fXAngle = rkXCon.m_fMinAngle;
            fYAngle = fTheta - rkXCon.m_fMinAngle;
        }
    }
    const double cX = std::cos(fXAngle), sX = std::sin(fXAngle);
    const double cY = std::cos(fYAngle), sY = std::sin(fYAngle);
    Quaternion kResult(cX * cY, sX * cY, cX * sY, sX * sY);
    if (Dot(kResult) < 0.0) kResult = -kResult;
    return kResult;
}

// Z*X and Z*Y products are X*Y products in a frame turned so that the first axis
// becomes X and the second Y. The turn is a proper rotation, so products map to
// products and the X*Y search carries over unchanged.

Quaternion Quaternion::GetClosestZX(const Constraints& rkZCon, const Constraints& rkXCon) const {
    // Frame (x', y', z') = (z, x, y); determinant w*y - x*z.
    const Quaternion kAlt = Quaternion(m_afTuple[0], m_afTuple[3], m_afTuple[1], m_afTuple[2])
                                .GetClosestXY(rkZCon, rkXCon);
    return Quaternion(kAlt.m_afTuple[0], kAlt.m_afTuple[2], kAlt.m_afTuple[3], kAlt.m_afTuple[1]);
}

Quaternion Quaternion::GetClosestZY(const Constraints& rkZCon, const Constraints& rkYCon) const {
    // Frame (x', y', z') = (z, y, -x); determinant -(w*x + y*z), so the angle
    // difference matters when w*x + y*z < 0 and the sum when it is > 0.
    const Quaternion kAlt = Quaternion(m_afTuple[0], m_afTuple[3], m_afTuple[2], -m_afTuple[1])
                                .GetClosestXY(rkZCon, rkYCon);
    return Quaternion(kAlt.m_afTuple[0], -kAlt.m_afTuple[3], kAlt.m_afTuple[2], kAlt.m_afTuple[1]);
}

Quaternion Quaternion::GetClosestYX(const Constraints& rkYCon, const Constraints& rkXCon) const {
    Quaternion kResult = Quaternion(m_afTuple[0], m_afTuple[1], m_afTuple[2], -m_afTuple[3])
                             .GetClosestXY(rkXCon, rkYCon);
    kResult.m_afTuple[3] = -kResult.m_afTuple[3];
    return kResult;
}

Quaternion Quaternion::GetClosestXZ(const Constraints& rkXCon, const Constraints& rkZCon) const {
    Quaternion kResult = Quaternion(m_afTuple[0], m_afTuple[1], -m_afTuple[2], m_afTuple[3])
                             .GetClosestZX(rkZCon, rkXCon);
    kResult.m_afTuple[2] = -kResult.m_afTuple[2];
    return kResult;
}

Quaternion Quaternion::GetClosestYZ(const Constraints& rkYCon, const Constraints& rkZCon) const {
    Quaternion kResult = Quaternion(m_afTuple[0], -m_afTuple[1], m_afTuple[2], m_afTuple[3])
                             .GetClosestZY(rkZCon, rkYCon);
    kResult.m_afTuple[1] = -kResult.m_afTuple[1];
    return kResult;
}

// ---------------------------------------------------------------------------
// Factorisations

void Quaternion::FactorXYZ(double& rfCx, double& rfSx, double& rfCy, double& rfSy, double& rfCz,
                           double& rfSz) const {
    const double w = m_afTuple[0], x = m_afTuple[1], y = m_afTuple[2], z = m_afTuple[3];
    const double a = w * x - y * z;
    const double b = 0.5 * (w * w - x * x - y * y + z * z);
    const double fLength = std::sqrt(a * a + b * b);
    if (fLength > ms_fTolerance) {
        const double fB = b / fLength;
        const double fA = a / fLength;
        if (fB >= 0.0) {
            rfCx = std::sqrt(0.5 * (fB + 1.0));
            rfSx = fA / (2.0 * rfCx);
        } else {
            rfSx = std::sqrt(0.5 * (1.0 - fB));
            rfCx = fA / (2.0 * rfSx);
        }
        // With the X factor known, qX^-1 * this = qY * qZ gives cy*(cz, sz).
        const double t0 = rfCx * z - rfSx * y;
        const double t1 = rfCx * w + rfSx * x;
        double fCz = t1, fSz = t0;
        normalizePair(fCz, fSz);
        rfCz = fCz;
        rfSz = fSz;
        if (std::fabs(fCz) >= std::fabs(fSz)) {
            rfCy = t1 / fCz;
            rfSy = (rfSx * z + rfCx * y) / fCz;
        } else {
            rfCy = t0 / fSz;
            rfSy = (rfCx * x - rfSx * w) / fSz;
        }
        return;
    }

    // Gimbal lock (Y at +-90 degrees): X and Z turn about the same axis; put it all in Z.
    rfCx = 1.0;
    rfSx = 0.0;
    rfCy = ms_fRootHalf;
    if (w * y + x * z > 0.0) {
        rfSy = ms_fRootHalf;
        rfCz = ms_fRootTwo * w;
        rfSz = ms_fRootTwo * x;
    } else {
        rfSy = -ms_fRootHalf;
        rfCz = ms_fRootTwo * w;
        rfSz = -ms_fRootTwo * x;
    }
}

// The other orders are XYZ in a turned frame; sign changes undo the axes that the
// turn reverses.

void Quaternion::FactorXZY(double& rfCx, double& rfSx, double& rfCz, double& rfSz, double& rfCy,
                           double& rfSy) const {
    Quaternion(m_afTuple[0], m_afTuple[1], m_afTuple[3], -m_afTuple[2])
        .FactorXYZ(rfCx, rfSx, rfCz, rfSz, rfCy, rfSy);
    rfSy = -rfSy;
}

void Quaternion::FactorYZX(double& rfCy, double& rfSy, double& rfCz, double& rfSz, double& rfCx,
                           double& rfSx) const {
    Quaternion(m_afTuple[0], -m_afTuple[2], m_afTuple[3], -m_afTuple[1])
        .FactorXYZ(rfCy, rfSy, rfCz, rfSz, rfCx, rfSx);
    rfSy = -rfSy;
    rfSx = -rfSx;
}

void Quaternion::FactorYXZ(double& rfCy, double& rfSy, double& rfCx, double& rfSx, double& rfCz,
                           double& rfSz) const {
    Quaternion(m_afTuple[0], -m_afTuple[2], m_afTuple[1], m_afTuple[3])
        .FactorXYZ(rfCy, rfSy, rfCx, rfSx, rfCz, rfSz);
    rfSy = -rfSy;
}

void Quaternion::FactorZXY(double& rfCz, double& rfSz, double& rfCx, double& rfSx, double& rfCy,
                           double& rfSy) const {
    Quaternion(m_afTuple[0], -m_afTuple[3], m_afTuple[1], -m_afTuple[2])
        .FactorXYZ(rfCz, rfSz, rfCx, rfSx, rfCy, rfSy);
    rfSz = -rfSz;
    rfSy = -rfSy;
}

void Quaternion::FactorZYX(double& rfCz, double& rfSz, double& rfCy, double& rfSy, double& rfCx,
                           double& rfSx) const {
    Quaternion(m_afTuple[0], m_afTuple[3], -m_afTuple[2], m_afTuple[1])
        .FactorXYZ(rfCz, rfSz, rfCy, rfSy, rfCx, rfSx);
    rfSy = -rfSy;
}

}  // namespace Qmt
