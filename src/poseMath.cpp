#include "src/poseMath.h"

#include "host/api/transformationMatrix.h"
#include "math/quaternion.h"

MMatrix poseMatrix(const MQuaternion& q, const MVector& t) {
    MTransformationMatrix pose;
    pose.rotateTo(q);
    pose.setTranslation(t, MSpace::kTransform);
    return pose.asMatrix();
}

Qmt::QmtVector3 spinBetween(const MQuaternion& q0, const MQuaternion& q1, double dt) {
    const MQuaternion d = (q0.inverse() * q1).normal();
    Qmt::QmtVector3 axis;
    double angle = 0.0;
    Qmt::Quaternion(d.w, d.x, d.y, d.z).ToAxisAngle(axis, angle);
    return axis * (angle / dt);
}
