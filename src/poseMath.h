#pragma once

#include "host/api/matrix.h"
#include "host/api/quaternion.h"
#include "host/api/vectors.h"
#include "math/qmtVector3.h"

// Host-side pose arithmetic shared by the bodies that follow host animation.

// The transformation of rotation q and translation t, as a host matrix.
MMatrix poseMatrix(const MQuaternion& q, const MVector& t);

// The angular velocity that turns q0 into q1 in dt: the axis of q0⁻¹ · q1 scaled by its
// angle over dt, with no turn to the shorter arc; zero when there is no turn.
Qmt::QmtVector3 spinBetween(const MQuaternion& q0, const MQuaternion& q1, double dt);
