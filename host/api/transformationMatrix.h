#pragma once

#include "host/api/quaternion.h"
#include "host/api/space.h"
#include "host/api/status.h"

// A matrix split into scale, rotation and translation (no shear): rows 0-2
// normalised give the rotation and their lengths the scale; row 3 is the translation.
class MTransformationMatrix {
public:
    MTransformationMatrix() = default;
    explicit MTransformationMatrix(const MMatrix& m);

    MMatrix asMatrix() const;
    MVector getTranslation(MSpace::Space space = MSpace::kTransform) const;
    MStatus setTranslation(const MVector& t, MSpace::Space space = MSpace::kTransform);
    MQuaternion rotation() const { return rotation_; }
    MEulerRotation eulerRotation() const { return rotation_.asEulerRotation(); }
    MTransformationMatrix& rotateTo(const MQuaternion& q) { rotation_ = q; return *this; }
    MTransformationMatrix& rotateTo(const MEulerRotation& e) { rotation_ = e.asQuaternion(); return *this; }
    MStatus getScale(double scale[3], MSpace::Space space = MSpace::kTransform) const;
    MStatus setScale(const double scale[3], MSpace::Space space = MSpace::kTransform);

private:
    MVector translation_;
    MQuaternion rotation_;
    double scale_[3] = {1, 1, 1};
};
