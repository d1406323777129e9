#pragma once

#include <cassert>
#include <cmath>

#include "math/qmtMath.h"

namespace Qmt {

// Three doubles x, y, z: the point and direction type of the engine. Plain value
// type; component i is x, y, z for i = 0, 1, 2.
class QmtVector3 {
public:
    double x;
    double y;
    double z;

    static const QmtVector3 ZERO;
    static const QmtVector3 UNIT_X;
    static const QmtVector3 UNIT_Y;
    static const QmtVector3 UNIT_Z;
    // Tolerance of the comparison operators; 0 makes every comparison exact.
    // Not synchronised: change it only while no comparison runs.
    static double FUZZ;

    constexpr QmtVector3() : x(0.0), y(0.0), z(0.0) {}
    constexpr QmtVector3(double fx, double fy, double fz) : x(fx), y(fy), z(fz) {}
    constexpr explicit QmtVector3(const double* tuple) : x(tuple[0]), y(tuple[1]), z(tuple[2]) {}
    constexpr QmtVector3(const QmtVector3&) = default;
    constexpr QmtVector3& operator=(const QmtVector3&) = default;

    constexpr double& operator[](int i) {
        assert(i >= 0 && i < 3);
        return i == 0 ? x : (i == 1 ? y : z);
    }
    constexpr double operator[](int i) const {
        assert(i >= 0 && i < 3);
        return i == 0 ? x : (i == 1 ? y : z);
    }

    constexpr void Set(double fx, double fy, double fz) { x = fx; y = fy; z = fz; }
    constexpr void SetX(double fx) { x = fx; }
    constexpr void SetY(double fy) { y = fy; }
    constexpr void SetZ(double fz) { z = fz; }

    // With FUZZ = 0 numeric equality (+0 == -0, NaN never equal) and != is its
    // negation; with FUZZ > 0 component distances are compared with FUZZ, and a NaN
    // component makes both == and != false.
    bool operator==(const QmtVector3& v) const;
    bool operator!=(const QmtVector3& v) const;
    // A consistent order for sorting, not a geometric one: z, then y, then x, each
    // keyed by the low 32 bits of its IEEE pattern, after FUZZ makes near-equal
    // components tie.
    bool operator<(const QmtVector3& v) const;
    bool operator<=(const QmtVector3& v) const;
    bool operator>(const QmtVector3& v) const;
    bool operator>=(const QmtVector3& v) const;

    constexpr QmtVector3 operator+(const QmtVector3& v) const { return {x + v.x, y + v.y, z + v.z}; }
    constexpr QmtVector3 operator-(const QmtVector3& v) const { return {x - v.x, y - v.y, z - v.z}; }
    constexpr QmtVector3 operator*(double s) const { return {x * s, y * s, z * s}; }
    // Division by +0 or -0 gives MAX_REAL in every component; otherwise the
    // reciprocal is formed once and multiplied in.
    constexpr QmtVector3 operator/(double s) const {
        if (s == 0.0) {
            return {Math::MAX_REAL, Math::MAX_REAL, Math::MAX_REAL};
        }
        const double inv = 1.0 / s;
        return {x * inv, y * inv, z * inv};
    }
    constexpr QmtVector3 operator-() const { return {-x, -y, -z}; }

    constexpr QmtVector3& operator+=(const QmtVector3& v) {
        x += v.x; y += v.y; z += v.z;
        return *this;
    }
    constexpr QmtVector3& operator-=(const QmtVector3& v) {
        x -= v.x; y -= v.y; z -= v.z;
        return *this;
    }
    constexpr QmtVector3& operator*=(double s) {
        x *= s; y *= s; z *= s;
        return *this;
    }
    constexpr QmtVector3& operator/=(double s) {
        *this = *this / s;
        return *this;
    }

    constexpr double SquaredLength() const { return x * x + y * y + z * z; }
    double Length() const { return std::sqrt(SquaredLength()); }
    constexpr double Dot(const QmtVector3& v) const { return x * v.x + y * v.y + z * v.z; }
    constexpr QmtVector3 Cross(const QmtVector3& v) const {
        return {y * v.z - z * v.y, z * v.x - x * v.z, x * v.y - y * v.x};
    }
    // Cross product made unit length with tolerance QmtMatrix3::EPSILON; a
    // (near-)zero product is returned unchanged.
    QmtVector3 UnitCross(const QmtVector3& v) const;

    // Scales to unit length when the length exceeds the tolerance and returns the old
    // length; otherwise (NaN included) leaves the vector unchanged and returns 0.
    double Unitize(double tolerance) {
        const double length = Length();
        if (length > tolerance) {
            const double inv = 1.0 / length;
            x *= inv;
            y *= inv;
            z *= inv;
            return length;
        }
        return 0.0;
    }

    // Gram-Schmidt on v[0], v[1], v[2] in place; a vector too short to normalise
    // keeps its projected value.
    static void Orthonormalize(QmtVector3 v[3]);
    // Completes W to a right-handed orthonormal frame (U, V, W); unitizes W first
    // unless unitLengthW says it already is unit length.
    static void GenerateOrthonormalBasis(QmtVector3& U, QmtVector3& V, QmtVector3& W, bool unitLengthW);
};

inline constexpr QmtVector3 QmtVector3::ZERO{0.0, 0.0, 0.0};
inline constexpr QmtVector3 QmtVector3::UNIT_X{1.0, 0.0, 0.0};
inline constexpr QmtVector3 QmtVector3::UNIT_Y{0.0, 1.0, 0.0};
inline constexpr QmtVector3 QmtVector3::UNIT_Z{0.0, 0.0, 1.0};

}  // namespace Qmt
