#include "host/api/matrix.h"

#include <cmath>
#include <utility>

const MMatrix MMatrix::identity;

MMatrix::MMatrix() {
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) matrix[r][c] = r == c ? 1.0 : 0.0;
}

MMatrix::MMatrix(const double m[4][4]) {
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) matrix[r][c] = m[r][c];
}

MMatrix MMatrix::operator*(const MMatrix& o) const {
    MMatrix r;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) {
            double s = 0;
            for (int k = 0; k < 4; ++k) s += matrix[i][k] * o.matrix[k][j];
            r.matrix[i][j] = s;
        }
    return r;
}

bool MMatrix::operator==(const MMatrix& o) const { return isEquivalent(o, 0.0); }

bool MMatrix::isEquivalent(const MMatrix& o, double tol) const {
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            if (std::fabs(matrix[r][c] - o.matrix[r][c]) > tol) return false;
    return true;
}

MMatrix MMatrix::transpose() const {
    MMatrix r;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) r.matrix[i][j] = matrix[j][i];
    return r;
}

MMatrix MMatrix::inverse() const {
    double a[4][8];
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) {
            a[r][c] = matrix[r][c];
            a[r][c + 4] = r == c ? 1.0 : 0.0;
        }
    for (int col = 0; col < 4; ++col) {
        int pivot = col;
        for (int r = col + 1; r < 4; ++r)
            if (std::fabs(a[r][col]) > std::fabs(a[pivot][col])) pivot = r;
        if (a[pivot][col] == 0.0) return MMatrix();
        if (pivot != col)
            for (int c = 0; c < 8; ++c) std::swap(a[pivot][c], a[col][c]);
        const double inv = 1.0 / a[col][col];
        for (int c = 0; c < 8; ++c) a[col][c] *= inv;
        for (int r = 0; r < 4; ++r) {
            if (r == col || a[r][col] == 0.0) continue;
            const double f = a[r][col];
            for (int c = 0; c < 8; ++c) a[r][c] -= f * a[col][c];
        }
    }
    MMatrix r;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) r.matrix[i][j] = a[i][j + 4];
    return r;
}

double MMatrix::det3x3() const {
    const auto& m = matrix;
    return m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) - m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
           m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
}

double MMatrix::det4x4() const {
    double det = 0;
    for (int c = 0; c < 4; ++c) {
        double minor[3][3];
        for (int r = 1; r < 4; ++r)
            for (int k = 0, mc = 0; k < 4; ++k)
                if (k != c) minor[r - 1][mc++] = matrix[r][k];
        const double d = minor[0][0] * (minor[1][1] * minor[2][2] - minor[1][2] * minor[2][1]) -
                         minor[0][1] * (minor[1][0] * minor[2][2] - minor[1][2] * minor[2][0]) +
                         minor[0][2] * (minor[1][0] * minor[2][1] - minor[1][1] * minor[2][0]);
        det += (c % 2 ? -1.0 : 1.0) * matrix[0][c] * d;
    }
    return det;
}

void MMatrix::get(double m[4][4]) const {
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) m[r][c] = matrix[r][c];
}

MVector MVector::operator*(const MMatrix& m) const {
    return {x * m[0][0] + y * m[1][0] + z * m[2][0], x * m[0][1] + y * m[1][1] + z * m[2][1],
            x * m[0][2] + y * m[1][2] + z * m[2][2]};
}

bool MVector::isEquivalent(const MVector& o, double tol) const {
    return std::fabs(x - o.x) <= tol && std::fabs(y - o.y) <= tol && std::fabs(z - o.z) <= tol;
}

MVector MVector::normal() const {
    const double l = length();
    return l > 0 ? *this / l : *this;
}

MPoint MPoint::operator*(const MMatrix& m) const {
    MPoint r;
    for (int c = 0; c < 4; ++c) r[c] = x * m[0][c] + y * m[1][c] + z * m[2][c] + w * m[3][c];
    return r;
}

bool MPoint::isEquivalent(const MPoint& o, double tol) const {
    return std::fabs(x - o.x) <= tol && std::fabs(y - o.y) <= tol && std::fabs(z - o.z) <= tol &&
           std::fabs(w - o.w) <= tol;
}

MPoint MPoint::cartesianize() const {
    if (w == 0 || w == 1) return *this;
    return {x / w, y / w, z / w, 1};
}
