#pragma once

#include "host/api/fnDagNode.h"
#include "host/api/transformationMatrix.h"

// A transform node's channels. World-space edits go through the parent's world
// matrix: setRotation(kWorld) keeps the world rotate pivot where it is.
class MFnTransform : public MFnDagNode {
public:
    MFnTransform() = default;
    explicit MFnTransform(const MObject& node, MStatus* status = nullptr);
    explicit MFnTransform(const MDagPath& path, MStatus* status = nullptr);

    MObject create(const MObject& parent = MObject::kNullObj, MStatus* status = nullptr);

    MTransformationMatrix transformation(MStatus* status = nullptr) const;
    MStatus set(const MTransformationMatrix& m);

    MVector getTranslation(MSpace::Space space, MStatus* status = nullptr) const;
    MVector translation(MSpace::Space space, MStatus* status = nullptr) const { return getTranslation(space, status); }
    MStatus setTranslation(const MVector& v, MSpace::Space space);
    MStatus translateBy(const MVector& v, MSpace::Space space);

    MStatus getRotation(MQuaternion& q, MSpace::Space space = MSpace::kTransform) const;
    MStatus getRotation(MEulerRotation& e) const;
    MStatus setRotation(const MQuaternion& q, MSpace::Space space = MSpace::kTransform);
    MStatus setRotation(const MEulerRotation& e);

    MStatus getScale(double scale[3]) const;
    MStatus setScale(const double scale[3]);

    MPoint rotatePivot(MSpace::Space space, MStatus* status = nullptr) const;
    MStatus setRotatePivot(const MPoint& p, MSpace::Space space, bool balance = true);
    MVector rotatePivotTranslation(MSpace::Space space, MStatus* status = nullptr) const;
    MPoint scalePivot(MSpace::Space space, MStatus* status = nullptr) const;
    MStatus setScalePivot(const MPoint& p, MSpace::Space space, bool balance = true);

    // The rest position is the whole transformation, channels and pivots.
    MStatus setRestPosition(const MTransformationMatrix& m);
    MTransformationMatrix restPosition(MStatus* status = nullptr) const;
    MStatus resetFromRestPosition();

private:
    MMatrix parentWorld() const;
};
