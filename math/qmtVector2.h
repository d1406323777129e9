#pragma once

#include <cassert>
#include <cmath>

#include "math/qmtMath.h"

namespace Qmt {

// Two doubles x, y: geometry projected onto a plane. Same rules as QmtVector3,
// with its own FUZZ.
class QmtVector2 {
public:
    double x;
    double y;

    static const QmtVector2 ZERO;
    static const QmtVector2 UNIT_X;
    static const QmtVector2 UNIT_Y;
    // Comparison tolerance, independent of QmtVector3::FUZZ; 0 makes comparisons exact.
    static double FUZZ;

    constexpr QmtVector2() : x(0.0), y(0.0) {}
    constexpr QmtVector2(double fx, double fy) : x(fx), y(fy) {}
    constexpr explicit QmtVector2(const double* tuple) : x(tuple[0]), y(tuple[1]) {}
    constexpr QmtVector2(const QmtVector2&) = default;
    constexpr QmtVector2& operator=(const QmtVector2&) = default;

    constexpr double& operator[](int i) {
        assert(i == 0 || i == 1);
        return i == 0 ? x : y;
    }
    constexpr double operator[](int i) const {
        assert(i == 0 || i == 1);
        return i == 0 ? x : y;
    }

    // Equality and ordering as for QmtVector3; the order compares y, then x.
    bool operator==(const QmtVector2& v) const;
    bool operator!=(const QmtVector2& v) const;
    bool operator<(const QmtVector2& v) const;
    bool operator<=(const QmtVector2& v) const;
    bool operator>(const QmtVector2& v) const;
    bool operator>=(const QmtVector2& v) const;

    constexpr QmtVector2 operator+(const QmtVector2& v) const { return {x + v.x, y + v.y}; }
    constexpr QmtVector2 operator-(const QmtVector2& v) const { return {x - v.x, y - v.y}; }
    constexpr QmtVector2 operator*(double s) const { return {x * s, y * s}; }
    // Division by +0 or -0 gives MAX_REAL in both components.
    constexpr QmtVector2 operator/(double s) const {
        if (s == 0.0) {
            return {Math::MAX_REAL, Math::MAX_REAL};
        }
        const double inv = 1.0 / s;
        return {x * inv, y * inv};
    }
    constexpr QmtVector2 operator-() const { return {-x, -y}; }

    constexpr QmtVector2& operator+=(const QmtVector2& v) {
        x += v.x; y += v.y;
        return *this;
    }
    constexpr QmtVector2& operator-=(const QmtVector2& v) {
        x -= v.x; y -= v.y;
        return *this;
    }
    constexpr QmtVector2& operator*=(double s) {
        x *= s; y *= s;
        return *this;
    }
    constexpr QmtVector2& operator/=(double s) {
        *this = *this / s;
        return *this;
    }

    constexpr double SquaredLength() const { return x * x + y * y; }
    double Length() const { return std::sqrt(SquaredLength()); }
    constexpr double Dot(const QmtVector2& v) const { return x * v.x + y * v.y; }
    // The perpendicular (y, -x).
    constexpr QmtVector2 Cross() const { return {y, -x}; }
    // (y, -x) made unit length with tolerance QmtMatrix3::EPSILON.
    QmtVector2 UnitCross() const;

    // Scales to unit length when the length exceeds the tolerance and returns the old
    // length; otherwise (NaN included) leaves the vector unchanged and returns 0.
    double Unitize(double tolerance) {
        const double length = Length();
        if (length > tolerance) {
            const double inv = 1.0 / length;
            x *= inv;
            y *= inv;
            return length;
        }
        return 0.0;
    }

    // Gram-Schmidt on v[0], v[1] in place.
    static void Orthonormalize(QmtVector2 v[2]);
};

inline constexpr QmtVector2 QmtVector2::ZERO{0.0, 0.0};
inline constexpr QmtVector2 QmtVector2::UNIT_X{1.0, 0.0};
inline constexpr QmtVector2 QmtVector2::UNIT_Y{0.0, 1.0};

}  // namespace Qmt
