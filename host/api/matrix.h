#pragma once

#include "host/api/vectors.h"

// 4x4 double matrix for row vectors: p' = p · M, translation in row 3.
class MMatrix {
public:
    double matrix[4][4];

    MMatrix();  // identity
    explicit MMatrix(const double m[4][4]);

    double operator()(unsigned row, unsigned col) const { return matrix[row][col]; }
    double& operator()(unsigned row, unsigned col) { return matrix[row][col]; }
    const double* operator[](unsigned row) const { return matrix[row]; }
    double* operator[](unsigned row) { return matrix[row]; }

    MMatrix operator*(const MMatrix& o) const;
    MMatrix& operator*=(const MMatrix& o) { return *this = *this * o; }
    bool operator==(const MMatrix& o) const;
    bool isEquivalent(const MMatrix& o, double tol = 1e-10) const;
    MMatrix transpose() const;
    // General inverse by Gauss-Jordan with partial pivoting; a singular matrix gives identity.
    MMatrix inverse() const;
    double det4x4() const;
    double det3x3() const;
    MMatrix& setToIdentity() { return *this = MMatrix(); }
    void get(double m[4][4]) const;

    static const MMatrix identity;
};
