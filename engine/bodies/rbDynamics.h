#pragma once

#include "math/qmtMatrix3.h"
#include "math/qmtVector3.h"
#include "math/quaternion.h"

// Dynamic state of a rigid body: a plain record of 63 doubles. Every body keeps an
// initial, a last and a current copy (plus two saved copies and per-lane copies), so
// the record is copied often and stays a flat block without pointers.
class RBDynamics {
public:
    Qmt::QmtVector3 position;            // world position of the reference point
    Qmt::QmtVector3 integratedPosition;  // position at the end of the last position step
    Qmt::QmtMatrix3 rotation;            // world rotation, row-major
    Qmt::Quaternion orientation;         // the same rotation as a unit quaternion
    Qmt::Quaternion integratedOrientation;
    Qmt::QmtVector3 v;                   // linear velocity
    Qmt::QmtVector3 w;                   // angular velocity
    Qmt::QmtVector3 L;                   // angular momentum about the reference point
    Qmt::QmtVector3 force;               // accumulated force of the step
    Qmt::QmtVector3 torque;              // accumulated torque of the step
    Qmt::QmtVector3 externalForce;       // loads applied from outside (force fields)
    Qmt::QmtVector3 externalTorque;
    double invMass = 0.0;
    Qmt::QmtMatrix3 inertiaWorld;     // R * I * R^T
    Qmt::QmtMatrix3 invInertiaWorld;  // R * I^-1 * R^T

    // Every value zero, the quaternions and the inverse mass included: a state that
    // is copied before it is written must not carry indeterminate values.
    RBDynamics() = default;
    RBDynamics(const RBDynamics&) = default;
    RBDynamics& operator=(const RBDynamics&) = default;
};

static_assert(sizeof(RBDynamics) == 504, "RBDynamics is 63 doubles");
