#include "engine/bodies/poseStep.h"

#include "geometry/query/convexMeshQueries.h"

using Qmt::QmtVector3;
using Qmt::Quaternion;

namespace {

constexpr double TURN_TOLERANCE = 1e-5;

}  // namespace

Quaternion rotationAbout(const QmtVector3& unitAxis, double angle) {
    Quaternion dq;
    dq.FromAxisAngle(unitAxis, angle);
    return dq;
}

void stepPose(RBDynamics& dyn, const RBDynamics& last, double dt) {
    dyn.position += (last.v + dyn.v) * (dt / 2.0);
    if (dt == 0.0) {
        return;
    }
    const QmtVector3 tau = (dyn.L - last.L) / dt;
    const QmtVector3 alpha = dyn.invInertiaWorld * (tau + dyn.L.Cross(dyn.w));
    const QmtVector3 omega = dyn.w + alpha * (dt / 2.0) + alpha.Cross(dyn.w) * (dt * dt * 0.08333333333333333);
    const double rate = omega.Length();
    if (rate > TURN_TOLERANCE) {
        dyn.orientation = rotationAbout(omega / rate, dt * rate) * dyn.orientation;
        dyn.orientation.Normalize();
        // Stay on the same side of the quaternion sphere as the last orientation.
        if (dyn.orientation.Dot(last.orientation) < -TURN_TOLERANCE) {
            dyn.orientation = -dyn.orientation;
        }
        dyn.orientation.ToRotationMatrix(dyn.rotation);
    }
}

bool turnWithinLastStep(RBDynamics& dyn, const RBDynamics& last, const QmtVector3& a) {
    const QmtVector3 b = dyn.invInertiaWorld * a;
    const double angle = b.Length();
    if (!(angle > TURN_TOLERANCE)) {
        return false;
    }
    Quaternion q = rotationAbout(b / angle, angle) * dyn.orientation;
    clampPointToBounds(q, q, last.orientation, dyn.integratedOrientation, 0.0);
    const double norm = q.Length();
    if (!(norm > 0.0)) {
        return false;
    }
    dyn.orientation = q / norm;
    dyn.orientation.ToRotationMatrix(dyn.rotation);
    return true;
}
