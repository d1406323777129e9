#pragma once

#include "engine/bodies/rbDynamics.h"

// The turn by angle about a unit axis, as a quaternion.
Qmt::Quaternion rotationAbout(const Qmt::QmtVector3& unitAxis, double angle);

// The position step every dynamic body takes (plain bodies and compounds alike):
// a trapezoidal move against the state saved at the start of the world step (last),
// and a turn by the mean angular velocity of the step corrected by Euler's equation.
// A zero step turns by nothing, which keeps 0/0 out of the torque. The rotation
// matrix follows the orientation; the inertia tensors are the caller's to update.
void stepPose(RBDynamics& dyn, const RBDynamics& last, double dt);

// The turn of a position correction: by invInertiaWorld·a, clamped so that the
// orientation never passes those the body went through in the last step (from last
// to the integrated one). True when the orientation (and rotation matrix) changed;
// the inertia tensors are the caller's to update.
bool turnWithinLastStep(RBDynamics& dyn, const RBDynamics& last, const Qmt::QmtVector3& a);
