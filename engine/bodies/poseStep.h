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
