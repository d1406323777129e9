#pragma once

#include "host/api/matrix.h"

class MEulerRotation;

// Unit rotation quaternion stored x, y, z, w.
class MQuaternion {
public:
    double x = 0, y = 0, z = 0, w = 1;

    constexpr MQuaternion() = default;
    constexpr MQuaternion(double x_, double y_, double z_, double w_) : x(x_), y(y_), z(z_), w(w_) {}
    // Rotation of angle radians about axis.
    MQuaternion(double angle, const MVector& axis);
    // From the rotation part of a row-vector matrix.
    explicit MQuaternion(const MMatrix& m);

    double operator[](unsigned i) const { return i == 0 ? x : (i == 1 ? y : (i == 2 ? z : w)); }
    // Hamilton product: (a * b) rotates by b first, then by a.
    MQuaternion operator*(const MQuaternion& o) const;
    bool operator==(const MQuaternion& o) const { return x == o.x && y == o.y && z == o.z && w == o.w; }
    bool isEquivalent(const MQuaternion& o, double tol = 1e-10) const;
    MQuaternion conjugate() const { return {-x, -y, -z, w}; }
    MQuaternion inverse() const;
    MQuaternion normal() const;
    // Row-vector rotation matrix: p · M rotates p by this quaternion.
    MMatrix asMatrix() const;
    MEulerRotation asEulerRotation() const;
    void get(double d[4]) const { d[0] = x; d[1] = y; d[2] = z; d[3] = w; }
};

// Euler angles in radians, applied x first, then y, then z.
class MEulerRotation {
public:
    enum RotationOrder { kXYZ = 0 };

    double x = 0, y = 0, z = 0;
    RotationOrder order = kXYZ;

    constexpr MEulerRotation() = default;
    constexpr MEulerRotation(double x_, double y_, double z_, RotationOrder o = kXYZ) : x(x_), y(y_), z(z_), order(o) {}
    explicit MEulerRotation(const MVector& v) : x(v.x), y(v.y), z(v.z) {}

    MVector asVector() const { return {x, y, z}; }
    MQuaternion asQuaternion() const;
    MMatrix asMatrix() const;
    // Same rotation: every element of the two rotation matrices within tol.
    bool isEquivalent(const MEulerRotation& o, double tol = 1e-10) const;
    bool operator==(const MEulerRotation& o) const { return x == o.x && y == o.y && z == o.z; }
    static MEulerRotation decompose(const MMatrix& m, RotationOrder order = kXYZ);
};
