#include "host/api/quaternion.h"

#include <cmath>

MQuaternion::MQuaternion(double angle, const MVector& axis) {
    const MVector a = axis.normal();
    const double s = std::sin(angle / 2);
    x = a.x * s;
    y = a.y * s;
    z = a.z * s;
    w = std::cos(angle / 2);
}

MQuaternion::MQuaternion(const MMatrix& m) {
    // The column-vector rotation is the transpose of the row-vector matrix: R(i,j) = m[j][i].
    const double r00 = m[0][0], r11 = m[1][1], r22 = m[2][2];
    const double trace = r00 + r11 + r22;
    if (trace > 0) {
        const double s = std::sqrt(trace + 1.0) * 2;
        w = 0.25 * s;
        x = (m[1][2] - m[2][1]) / s;
        y = (m[2][0] - m[0][2]) / s;
        z = (m[0][1] - m[1][0]) / s;
    } else if (r00 > r11 && r00 > r22) {
        const double s = std::sqrt(1.0 + r00 - r11 - r22) * 2;
        w = (m[1][2] - m[2][1]) / s;
        x = 0.25 * s;
        y = (m[1][0] + m[0][1]) / s;
        z = (m[2][0] + m[0][2]) / s;
    } else if (r11 > r22) {
        const double s = std::sqrt(1.0 + r11 - r00 - r22) * 2;
        w = (m[2][0] - m[0][2]) / s;
        x = (m[1][0] + m[0][1]) / s;
        y = 0.25 * s;
        z = (m[2][1] + m[1][2]) / s;
    } else {
        const double s = std::sqrt(1.0 + r22 - r00 - r11) * 2;
        w = (m[0][1] - m[1][0]) / s;
        x = (m[2][0] + m[0][2]) / s;
        y = (m[2][1] + m[1][2]) / s;
        z = 0.25 * s;
    }
}

MQuaternion MQuaternion::operator*(const MQuaternion& o) const {
    return {w * o.x + x * o.w + y * o.z - z * o.y, w * o.y - x * o.z + y * o.w + z * o.x,
            w * o.z + x * o.y - y * o.x + z * o.w, w * o.w - x * o.x - y * o.y - z * o.z};
}

bool MQuaternion::isEquivalent(const MQuaternion& o, double tol) const {
    return std::fabs(x - o.x) <= tol && std::fabs(y - o.y) <= tol && std::fabs(z - o.z) <= tol &&
           std::fabs(w - o.w) <= tol;
}

MQuaternion MQuaternion::normal() const {
    const double l = std::sqrt(x * x + y * y + z * z + w * w);
    return l > 0 ? MQuaternion(x / l, y / l, z / l, w / l) : *this;
}

MQuaternion MQuaternion::inverse() const {
    const double n = x * x + y * y + z * z + w * w;
    return n > 0 ? MQuaternion(-x / n, -y / n, -z / n, w / n) : *this;
}

MMatrix MQuaternion::asMatrix() const {
    MMatrix m;
    const double xx = x * x, yy = y * y, zz = z * z, xy = x * y, xz = x * z, yz = y * z, wx = w * x, wy = w * y,
                 wz = w * z;
    // Row-vector form: the transpose of the usual column-vector rotation.
    m[0][0] = 1 - 2 * (yy + zz);
    m[0][1] = 2 * (xy + wz);
    m[0][2] = 2 * (xz - wy);
    m[1][0] = 2 * (xy - wz);
    m[1][1] = 1 - 2 * (xx + zz);
    m[1][2] = 2 * (yz + wx);
    m[2][0] = 2 * (xz + wy);
    m[2][1] = 2 * (yz - wx);
    m[2][2] = 1 - 2 * (xx + yy);
    return m;
}

MEulerRotation MQuaternion::asEulerRotation() const { return MEulerRotation::decompose(asMatrix()); }

MQuaternion MEulerRotation::asQuaternion() const {
    const MQuaternion qx(x, MVector(1, 0, 0)), qy(y, MVector(0, 1, 0)), qz(z, MVector(0, 0, 1));
    return qz * qy * qx;
}

MMatrix MEulerRotation::asMatrix() const { return asQuaternion().asMatrix(); }

bool MEulerRotation::isEquivalent(const MEulerRotation& o, double tol) const {
    return asMatrix().isEquivalent(o.asMatrix(), tol);
}

MEulerRotation MEulerRotation::decompose(const MMatrix& m, RotationOrder order) {
    // Row-vector M = Rx · Ry · Rz, so m[0][2] = -sin(y).
    const double sy = -m[0][2];
    MEulerRotation e;
    e.order = order;
    if (std::fabs(sy) < 1.0 - 1e-12) {
        e.y = std::asin(sy);
        e.x = std::atan2(m[1][2], m[2][2]);
        e.z = std::atan2(m[0][1], m[0][0]);
    } else {
        e.y = sy > 0 ? M_PI / 2 : -M_PI / 2;
        e.z = 0;
        e.x = std::atan2(-m[2][1], m[1][1]);
    }
    return e;
}
