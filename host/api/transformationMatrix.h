#pragma once

#include "host/api/quaternion.h"
#include "host/api/space.h"
#include "host/api/status.h"

// A transformation: scale, rotation and translation, with the pivots of a
// transform node. Built from a matrix it splits into T, quaternion and S by row
// normalisation (no shear, zero pivots). The Euler angles it was given are kept,
// so a transform's channels come back exactly from a stored transformation.
//   matrix = [-Sp]·S·[Sp+St]·[-Rp]·R·[Rp+Rt]·T   (row vectors)
class MTransformationMatrix {
public:
    MTransformationMatrix() = default;
    explicit MTransformationMatrix(const MMatrix& m);

    MMatrix asMatrix() const;
    MVector getTranslation(MSpace::Space space = MSpace::kTransform) const;
    MStatus setTranslation(const MVector& t, MSpace::Space space = MSpace::kTransform);
    MQuaternion rotation() const { return rotation_; }
    MEulerRotation eulerRotation() const { return euler_; }
    MTransformationMatrix& rotateTo(const MQuaternion& q);
    MTransformationMatrix& rotateTo(const MEulerRotation& e);
    MStatus getScale(double scale[3], MSpace::Space space = MSpace::kTransform) const;
    MStatus setScale(const double scale[3], MSpace::Space space = MSpace::kTransform);

    MPoint rotatePivot(MSpace::Space = MSpace::kTransform, MStatus* = nullptr) const { return MPoint(rotatePivot_); }
    MStatus setRotatePivot(const MPoint& p, MSpace::Space = MSpace::kTransform, bool = false);
    MVector rotatePivotTranslation(MSpace::Space = MSpace::kTransform) const { return rotatePivotTranslation_; }
    MStatus setRotatePivotTranslation(const MVector& v, MSpace::Space = MSpace::kTransform);
    MPoint scalePivot(MSpace::Space = MSpace::kTransform, MStatus* = nullptr) const { return MPoint(scalePivot_); }
    MStatus setScalePivot(const MPoint& p, MSpace::Space = MSpace::kTransform, bool = false);
    MVector scalePivotTranslation(MSpace::Space = MSpace::kTransform) const { return scalePivotTranslation_; }
    MStatus setScalePivotTranslation(const MVector& v, MSpace::Space = MSpace::kTransform);

private:
    MVector translation_;
    MQuaternion rotation_;
    MEulerRotation euler_;
    bool fromEuler_ = false;  // the matrix uses the Euler angles as given
    double scale_[3] = {1, 1, 1};
    MVector rotatePivot_, rotatePivotTranslation_, scalePivot_, scalePivotTranslation_;
};
