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
    // One sign for every decomposition: w >= 0.
    if (rotation_.w < 0) rotation_ = MQuaternion(-rotation_.x, -rotation_.y, -rotation_.z, -rotation_.w);
    euler_ = rotation_.asEulerRotation();
}

MTransformationMatrix& MTransformationMatrix::rotateTo(const MQuaternion& q) {
    rotation_ = q;
    euler_ = q.asEulerRotation();
    fromEuler_ = false;
    return *this;
}

MTransformationMatrix& MTransformationMatrix::rotateTo(const MEulerRotation& e) {
    euler_ = e;
    rotation_ = e.asQuaternion();
    fromEuler_ = true;
    return *this;
}

MStatus MTransformationMatrix::setRotatePivot(const MPoint& p, MSpace::Space, bool) {
    rotatePivot_ = MVector(p);
    return MS::kSuccess;
}

MStatus MTransformationMatrix::setRotatePivotTranslation(const MVector& v, MSpace::Space) {
    rotatePivotTranslation_ = v;
    return MS::kSuccess;
}

MStatus MTransformationMatrix::setScalePivot(const MPoint& p, MSpace::Space, bool) {
    scalePivot_ = MVector(p);
    return MS::kSuccess;
}

MStatus MTransformationMatrix::setScalePivotTranslation(const MVector& v, MSpace::Space) {
    scalePivotTranslation_ = v;
    return MS::kSuccess;
}

namespace {

MMatrix translation(const MVector& v) {
    MMatrix m;
    m[3][0] = v.x;
    m[3][1] = v.y;
    m[3][2] = v.z;
    return m;
}

}  // namespace

MMatrix MTransformationMatrix::asMatrix() const {
    MMatrix s;
    for (int i = 0; i < 3; ++i) s[i][i] = scale_[i];
    const MMatrix r = fromEuler_ ? euler_.asMatrix() : rotation_.asMatrix();
    return translation(-scalePivot_) * s * translation(scalePivot_ + scalePivotTranslation_) *
           translation(-rotatePivot_) * r * translation(rotatePivot_ + rotatePivotTranslation_) *
           translation(translation_);
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
