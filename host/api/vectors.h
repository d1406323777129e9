#pragma once

#include <cmath>

#include "host/api/arrays.h"

class MMatrix;

// Double-precision direction. Products with matrices are row-vector products:
// v' = v · M (a direction ignores the translation row).
class MVector {
public:
    double x = 0, y = 0, z = 0;

    constexpr MVector() = default;
    constexpr MVector(double x_, double y_, double z_ = 0) : x(x_), y(y_), z(z_) {}
    explicit MVector(const double d[3]) : x(d[0]), y(d[1]), z(d[2]) {}
    explicit MVector(const class MPoint& p);
    explicit MVector(const class MFloatVector& v);

    double operator[](unsigned i) const { return i == 0 ? x : (i == 1 ? y : z); }
    double& operator[](unsigned i) { return i == 0 ? x : (i == 1 ? y : z); }
    MVector operator+(const MVector& o) const { return {x + o.x, y + o.y, z + o.z}; }
    MVector operator-(const MVector& o) const { return {x - o.x, y - o.y, z - o.z}; }
    MVector operator-() const { return {-x, -y, -z}; }
    MVector operator*(double s) const { return {x * s, y * s, z * s}; }
    MVector operator/(double s) const { return {x / s, y / s, z / s}; }
    friend MVector operator*(double s, const MVector& v) { return v * s; }
    double operator*(const MVector& o) const { return x * o.x + y * o.y + z * o.z; }
    MVector operator^(const MVector& o) const { return {y * o.z - z * o.y, z * o.x - x * o.z, x * o.y - y * o.x}; }
    MVector& operator+=(const MVector& o) { return *this = *this + o; }
    MVector& operator-=(const MVector& o) { return *this = *this - o; }
    MVector& operator*=(double s) { return *this = *this * s; }
    MVector operator*(const MMatrix& m) const;
    bool operator==(const MVector& o) const { return x == o.x && y == o.y && z == o.z; }
    bool isEquivalent(const MVector& o, double tol = 1e-10) const;
    double length() const { return std::sqrt(x * x + y * y + z * z); }
    MVector normal() const;
    void normalize() { *this = normal(); }
    void get(double d[3]) const { d[0] = x; d[1] = y; d[2] = z; }
};

class MFloatVector {
public:
    float x = 0, y = 0, z = 0;

    constexpr MFloatVector() = default;
    constexpr MFloatVector(float x_, float y_, float z_ = 0) : x(x_), y(y_), z(z_) {}
    explicit MFloatVector(const MVector& v)
        : x(static_cast<float>(v.x)), y(static_cast<float>(v.y)), z(static_cast<float>(v.z)) {}

    float operator[](unsigned i) const { return i == 0 ? x : (i == 1 ? y : z); }
    float& operator[](unsigned i) { return i == 0 ? x : (i == 1 ? y : z); }
    MFloatVector operator+(const MFloatVector& o) const { return {x + o.x, y + o.y, z + o.z}; }
    MFloatVector operator-(const MFloatVector& o) const { return {x - o.x, y - o.y, z - o.z}; }
    MFloatVector operator*(float s) const { return {x * s, y * s, z * s}; }
    float operator*(const MFloatVector& o) const { return x * o.x + y * o.y + z * o.z; }
    bool operator==(const MFloatVector& o) const { return x == o.x && y == o.y && z == o.z; }
    float length() const { return std::sqrt(x * x + y * y + z * z); }
};

// Homogeneous point; p' = p · M with the translation row applied.
class MPoint {
public:
    double x = 0, y = 0, z = 0, w = 1;

    constexpr MPoint() = default;
    constexpr MPoint(double x_, double y_, double z_ = 0, double w_ = 1) : x(x_), y(y_), z(z_), w(w_) {}
    explicit MPoint(const MVector& v) : x(v.x), y(v.y), z(v.z) {}
    explicit MPoint(const class MFloatPoint& p);

    double operator[](unsigned i) const { return i == 0 ? x : (i == 1 ? y : (i == 2 ? z : w)); }
    double& operator[](unsigned i) { return i == 0 ? x : (i == 1 ? y : (i == 2 ? z : w)); }
    MVector operator-(const MPoint& o) const { return {x - o.x, y - o.y, z - o.z}; }
    MPoint operator+(const MVector& v) const { return {x + v.x, y + v.y, z + v.z, w}; }
    MPoint operator-(const MVector& v) const { return {x - v.x, y - v.y, z - v.z, w}; }
    MPoint& operator+=(const MVector& v) { return *this = *this + v; }
    MPoint operator*(const MMatrix& m) const;
    bool operator==(const MPoint& o) const { return x == o.x && y == o.y && z == o.z && w == o.w; }
    bool isEquivalent(const MPoint& o, double tol = 1e-10) const;
    double distanceTo(const MPoint& o) const { return (*this - o).length(); }
    // Divides by w.
    MPoint cartesianize() const;
};

class MFloatPoint {
public:
    float x = 0, y = 0, z = 0, w = 1;

    constexpr MFloatPoint() = default;
    constexpr MFloatPoint(float x_, float y_, float z_ = 0, float w_ = 1) : x(x_), y(y_), z(z_), w(w_) {}
    explicit MFloatPoint(const MPoint& p)
        : x(static_cast<float>(p.x)), y(static_cast<float>(p.y)), z(static_cast<float>(p.z)),
          w(static_cast<float>(p.w)) {}
    bool operator==(const MFloatPoint& o) const { return x == o.x && y == o.y && z == o.z && w == o.w; }
};

inline MVector::MVector(const MPoint& p) : x(p.x), y(p.y), z(p.z) {}
inline MVector::MVector(const MFloatVector& v) : x(v.x), y(v.y), z(v.z) {}
inline MPoint::MPoint(const MFloatPoint& p) : x(p.x), y(p.y), z(p.z), w(p.w) {}

class MVectorArray : public host::ValueArray<MVector> {
public:
    using ValueArray::ValueArray;
};
class MFloatVectorArray : public host::ValueArray<MFloatVector> {
public:
    using ValueArray::ValueArray;
};
class MPointArray : public host::ValueArray<MPoint> {
public:
    using ValueArray::ValueArray;
};
class MFloatPointArray : public host::ValueArray<MFloatPoint> {
public:
    using ValueArray::ValueArray;
};
