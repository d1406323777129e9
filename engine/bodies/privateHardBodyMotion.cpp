// Time integration, state setters and the position corrections of contact resolution.

#include <cmath>

#include "engine/bodies/poseStep.h"
#include "engine/bodies/privateHardBody.h"
#include "geometry/query/convexMeshQueries.h"

using Qmt::QmtMatrix3;
using Qmt::QmtVector3;
using Qmt::Quaternion;

namespace {

constexpr double TURN_TOLERANCE = 1e-5;

// Unlimited correction margin: the largest float.
constexpr double NO_EXTRACTION_LIMIT = 3.4028234663852886e38;

}  // namespace

void PrivateHardBody::updateWorldTensors() {
    const QmtMatrix3& R = dyn.rotation;
    dyn.inertiaWorld = (R * inertiaLocal).TimesTranspose(R);
    dyn.invInertiaWorld = (R * invInertiaLocal).TimesTranspose(R);
}

void PrivateHardBody::updateInertiaTensor() {
    updateWorldTensors();
    dyn.w = dyn.invInertiaWorld * dyn.L;
}

void PrivateHardBody::setAngularVelocity(const QmtVector3& w) {
    dyn.w = w;
    dyn.L = dyn.inertiaWorld * w;
}

void PrivateHardBody::setOrientation(const Quaternion& q) {
    dyn.orientation = q;
    dyn.integratedOrientation = q;
    q.ToRotationMatrix(dyn.rotation);
    updateWorldTensors();
    disableWorldUpdate();
}

void PrivateHardBody::setRotationMatrix(const QmtMatrix3& R) {
    dyn.rotation = R;
    dyn.orientation.FromRotationMatrix(R);
    dyn.integratedOrientation = dyn.orientation;
    updateWorldTensors();
    disableWorldUpdate();
}

void PrivateHardBody::setPosition(const QmtVector3& p) {
    dyn.position = p;
    dyn.integratedPosition = p;
    disableWorldUpdate();
}

void PrivateHardBody::setLinearVelocity(const QmtVector3& v) { dyn.v = v; }

void PrivateHardBody::storeDynState() {
    savedLastDyn = lastDyn;
    savedDyn = dyn;
    lastDyn = dyn;
}

void PrivateHardBody::restoreDynState() {
    dyn = savedDyn;
    lastDyn = savedLastDyn;
}

// Air damping c removes the fraction c of the velocity per 1/100 s, whatever the step.
// A zero coefficient is skipped: its factor pow(1, x) is exactly 1.
void PrivateHardBody::integrateVelocities(double dt, bool damping) {
    const double dtInvMass = dt * dyn.invMass;
    dyn.v += dyn.force * dtInvMass;
    dyn.v += dyn.externalForce * dtInvMass;
    if (damping && airDamping != 0.0) {
        dyn.v *= std::pow(1.0 - airDamping, 100.0 * dt);
    }
    dyn.L += dyn.torque * dt;
    dyn.L += dyn.externalTorque * dt;
    if (damping && airDamping2 != 0.0) {
        dyn.L *= std::pow(1.0 - airDamping2, 100.0 * dt);
    }
    dyn.w = dyn.invInertiaWorld * dyn.L;
}

// Trapezoidal position step against the state saved at the start of the world step
// (lastDyn), and a turn by the mean angular velocity of the step corrected by Euler's
// equation.
void PrivateHardBody::integratePositions(double dt) {
    if (isStatic()) {
        return;
    }
    stepPose(dyn, lastDyn, dt);
    dyn.integratedPosition = dyn.position;
    dyn.integratedOrientation = dyn.orientation;
    updateInertiaTensor();
}

// A correction never leaves the interval the body swept in the last step (plus the
// extraction margin) and never turns it past the orientations it passed through.
void PrivateHardBody::applyDisplacement(const QmtVector3& d, const QmtVector3& a) {
    const double margin = extraction >= 1.0 ? NO_EXTRACTION_LIMIT : extraction;
    QmtVector3 p = dyn.position + d;
    clampPointToBox(p, p, lastDyn.position, dyn.integratedPosition, margin);
    dyn.position = p;

    if (turnWithinLastStep(dyn, lastDyn, a)) {
        updateInertiaTensor();
    }
    disableWorldUpdate();
}

void PrivateHardBody::translate(const QmtVector3& d) {
    dyn.position += d;
    disableWorldUpdate();
}

void PrivateHardBody::rotate(const QmtVector3& a) {
    const QmtVector3 b = dyn.invInertiaWorld * a;
    if (b.SquaredLength() > TURN_TOLERANCE) {
        const double angle = b.Length();
        dyn.orientation = rotationAbout(b / angle, angle) * dyn.orientation;
        dyn.orientation.Normalize();
        dyn.orientation.ToRotationMatrix(dyn.rotation);
        updateInertiaTensor();
    }
    disableWorldUpdate();
}
