#include "host/api/transformationMatrix.h"

#include <cmath>

MTransformationMatrix::MTransformationMatrix(const MMatrix& m) {
    translation_ = MVector(m[3][0], m[3][1], m[3][2]);
    MMatrix r;
    for (int row = 0; row < 3; ++row) {
        const MVector v(m[row][0], m[row][1], m[row][2]);
        scale_[row] = v.length();
        const MVector n = scale_[row] > 0 ? v / scale_[row] : v;
        for (int c = 0; c < 3; ++c) r[row][c] = n[c];
    }
    // A mirrored matrix keeps a proper rotation by flipping the last scale.
    if (r.det3x3() < 0) {
        scale_[2] = -scale_[2];
        for (int c = 0; c < 3; ++c) r[2][c] = -r[2][c];
    }
    rotation_ = MQuaternion(r).normal();
}

MMatrix MTransformationMatrix::asMatrix() const {
    MMatrix s;
    for (int i = 0; i < 3; ++i) s[i][i] = scale_[i];
    MMatrix m = s * rotation_.asMatrix();
    m[3][0] = translation_.x;
    m[3][1] = translation_.y;
    m[3][2] = translation_.z;
    return m;
}

MVector MTransformationMatrix::getTranslation(MSpace::Space) const { return translation_; }

MStatus MTransformationMatrix::setTranslation(const MVector& t, MSpace::Space) {
    translation_ = t;
    return MS::kSuccess;
}

MStatus MTransformationMatrix::getScale(double scale[3], MSpace::Space) const {
    for (int i = 0; i < 3; ++i) scale[i] = scale_[i];
    return MS::kSuccess;
}

MStatus MTransformationMatrix::setScale(const double scale[3], MSpace::Space) {
    for (int i = 0; i < 3; ++i) scale_[i] = scale[i];
    return MS::kSuccess;
}
