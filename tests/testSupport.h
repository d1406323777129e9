#pragma once

// Comparisons, small fixtures and deterministic generators shared by the tests.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <iomanip>
#include <ostream>
#include <random>

#include "math/qmtMatrix2.h"
#include "math/qmtMatrix3.h"
#include "math/qmtVector2.h"
#include "math/qmtVector3.h"
#include "math/quaternion.h"

namespace Qmt {

// Lets GoogleTest print vectors in failure messages (found by argument lookup).
inline void PrintTo(const QmtVector3& v, std::ostream* os) {
    *os << std::setprecision(17) << '(' << v.x << ", " << v.y << ", " << v.z << ')';
}

}  // namespace Qmt

namespace zyltest {

using Qmt::QmtMatrix2;
using Qmt::QmtMatrix3;
using Qmt::QmtVector2;
using Qmt::QmtVector3;

// A quarter turn about z: x -> y, y -> -x.
inline constexpr QmtMatrix3 ROT_Z90(0, -1, 0, 1, 0, 0, 0, 0, 1);

// Every component within tol.
inline void expectNear(const QmtVector3& a, const QmtVector3& b, double tol = 1e-12) {
    EXPECT_NEAR(a.x, b.x, tol);
    EXPECT_NEAR(a.y, b.y, tol);
    EXPECT_NEAR(a.z, b.z, tol);
}

// Every entry within tol.
inline void expectNear(const QmtMatrix3& a, const QmtMatrix3& b, double tol = 1e-12) {
    for (unsigned i = 0; i < 9; ++i) {
        EXPECT_NEAR(a(i / 3, i % 3), b(i / 3, i % 3), tol) << "entry " << i;
    }
}

// |a - b| within tol.
inline void expectWithin(const QmtVector3& a, const QmtVector3& b, double tol = 1e-12) {
    EXPECT_NEAR((a - b).Length(), 0.0, tol) << a.x << " " << a.y << " " << a.z;
}

// Exact components, whatever the vector type's comparison tolerance is.
inline void expectVec(const QmtVector3& v, double x, double y, double z) {
    EXPECT_EQ(v.x, x);
    EXPECT_EQ(v.y, y);
    EXPECT_EQ(v.z, z);
}

inline void expectVec(const QmtVector2& v, double x, double y) {
    EXPECT_EQ(v.x, x);
    EXPECT_EQ(v.y, y);
}

// Every component within tol (a NaN never is); up to sign: q or -q.
inline bool Near(const Qmt::Quaternion& a, const Qmt::Quaternion& b, double tol) {
    for (int i = 0; i < 4; ++i) {
        if (!(std::fabs(a[i] - b[i]) <= tol)) {
            return false;
        }
    }
    return true;
}
inline bool NearUpToSign(const Qmt::Quaternion& a, const Qmt::Quaternion& b, double tol) {
    return Near(a, b, tol) || Near(a, -b, tol);
}

// Largest entry difference; a NaN entry counts as no difference.
template <unsigned N, class Matrix>
double maxAbsEntryDifference(const Matrix& A, const Matrix& B) {
    double worst = 0.0;
    for (unsigned r = 0; r < N; ++r) {
        for (unsigned c = 0; c < N; ++c) {
            worst = std::max(worst, std::fabs(A[r][c] - B[r][c]));
        }
    }
    return worst;
}

inline double maxAbsDifference(const QmtMatrix2& A, const QmtMatrix2& B) { return maxAbsEntryDifference<2>(A, B); }
inline double maxAbsDifference(const QmtMatrix3& A, const QmtMatrix3& B) { return maxAbsEntryDifference<3>(A, B); }

// Entries uniform in [-1, 1), drawn row by row.
inline QmtMatrix3 randomMatrix3(std::mt19937& rng) {
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    double e[9];
    for (double& x : e) {
        x = u(rng);
    }
    return QmtMatrix3(e);
}

// Unit direction from a point drawn uniformly in the ball of radius 1 (and not within 0.1
// of its centre).
inline QmtVector3 randomDirection(std::mt19937& rng) {
    std::uniform_real_distribution<double> unit(-1.0, 1.0);
    QmtVector3 d;
    do {
        d = {unit(rng), unit(rng), unit(rng)};
    } while (d.SquaredLength() < 0.01 || d.SquaredLength() > 1.0);
    d.Unitize(QmtMatrix3::EPSILON);
    return d;
}

// Rotation by angle about a unit axis.
inline QmtMatrix3 axisRotation(const QmtVector3& axis, double angle) {
    QmtMatrix3 R;
    R.FromAxisAngle(axis, angle);
    return R;
}

// Sets a vector type's comparison tolerance for one scope, then restores the exact 0.
template <class Vector>
class FuzzGuard {
public:
    explicit FuzzGuard(double fuzz) { Vector::FUZZ = fuzz; }
    ~FuzzGuard() { Vector::FUZZ = 0.0; }
    FuzzGuard(const FuzzGuard&) = delete;
    FuzzGuard& operator=(const FuzzGuard&) = delete;
};

// 64-bit linear congruential generator drawing the top 53 bits: the same numbers on
// every platform and standard library.
class Lcg {
public:
    explicit Lcg(std::uint64_t seed) : m_uState(seed) {}
    double Unit() {
        m_uState = m_uState * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<double>(m_uState >> 11) * 0x1.0p-53;
    }
    double Range(double a, double b) { return a + (b - a) * Unit(); }

private:
    std::uint64_t m_uState;
};

}  // namespace zyltest
