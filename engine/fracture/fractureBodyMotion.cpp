// The fracture body as a body: its own dynamic state, handed down to the fragments
// after every change so that they move as one rigid piece with it.

#include <algorithm>
#include <cmath>

#include "engine/bodies/poseStep.h"
#include "engine/bodies/privateHardBody.h"
#include "engine/fracture/dynamicStress.h"
#include "engine/fracture/fractureBody.h"
#include "geometry/query/convexMeshQueries.h"

using Qmt::QmtMatrix3;
using Qmt::QmtVector3;
using Qmt::Quaternion;

namespace {

constexpr double TOLERANCE = 1e-5;
constexpr double UNIT_TOLERANCE = 9.999999974752427e-7;  // single-precision 1e-6
constexpr double INVERSE_TOLERANCE = 9.9999998245167e-15;  // single-precision 1e-14
constexpr double STATIC_BODY_ENERGY = 3.4028234663852886e38;
constexpr double NO_EXTRACTION_LIMIT = 3.4028234663852886e38;

// A fragment's rotation relative to the compound.
QmtMatrix3 relativeRotation(const HardBody& f) { return f.getMatrixPivotCm().Transpose(); }

// A fragment's centre minus the compound's, in the compound's frame.
QmtVector3 relativeOffset(const HardBody& f) { return -(relativeRotation(f) * f.getTransPivotCm()); }

QmtVector3 componentwise(const QmtVector3& a, const QmtVector3& b) { return {a.x * b.x, a.y * b.y, a.z * b.z}; }

}  // namespace

// ---- placement of the fragments ----

void FractureBody::placeFragmentRotations() {
    for (PrivateHardBody* f : fragments) {
        f->setRotationMatrix(dyn.rotation * relativeRotation(*f));
    }
}

void FractureBody::handVelocitiesToFragments() {
    for (PrivateHardBody* f : fragments) {
        f->setLinearVelocity(dyn.v + dyn.w.Cross(f->getDyn().position - dyn.position));
        f->setAngularVelocity(dyn.w);
    }
}

// ---- coefficients and activity ----

void FractureBody::setRestitutionCoeff(double value) {
    for (PrivateHardBody* f : fragments) {
        f->setRestitutionCoeff(value);
    }
    restitution = value;
    restitutionInit = value;
}

void FractureBody::setFrictionCoeff(double value) {
    for (PrivateHardBody* f : fragments) {
        f->setFrictionCoeff(value);
    }
    friction = value;
    frictionInit = value;
}

void FractureBody::setAirDampingCoeff(double value) {
    for (PrivateHardBody* f : fragments) {
        f->setAirDampingCoeff(value);
    }
    airDamping = value;
}

void FractureBody::setAirDampingCoeff2(double value) {
    for (PrivateHardBody* f : fragments) {
        f->setAirDampingCoeff2(value);
    }
    airDamping2 = value;
}

void FractureBody::init(const QmtVector3& position, const QmtMatrix3& rotation, const QmtVector3& scale) {
    transform.centreOffset = position;
    transform.setRotation(rotation);
    transform.scale = scale;
    activate();
}

void FractureBody::activate() {
    computeBbox();
    for (PrivateHardBody* f : fragments) {
        f->activate();
    }
    flags |= BODY_ACTIVE | BODY_WORLD_UPDATED;
    sleepCount = 0;
}

void FractureBody::deActivate() {
    for (PrivateHardBody* f : fragments) {
        f->deActivate();
    }
    flags &= ~BODY_ACTIVE;
}

bool FractureBody::isFirstHit(bool /*askParent*/) const { return (flags & BODY_FIRST_HIT) != 0; }

void FractureBody::clearProcessed() {
    for (PrivateHardBody* f : fragments) {
        f->clearProcessed();
    }
    disableProcessed();
}

// ---- mass properties ----

// Inertia of the dynamic fragments about the compound's centre, in the compound's
// frame: each fragment's tensor moved by the parallel-axis terms in its own frame,
// then turned into the compound's by its pivot rotation.
void FractureBody::computeInertiaTensor() {
    inertiaLocal = QmtMatrix3::ZERO;
    for (const PrivateHardBody* f : fragments) {
        if (f->isStatic()) {
            continue;
        }
        const double m = 1.0 / f->getDyn().invMass;
        const QmtVector3 r = (f->getDyn().position - dyn.position) * f->getDyn().rotation;
        QmtMatrix3 I = f->inertiaLocal;
        I(0, 0) += m * (r.y * r.y + r.z * r.z);
        I(1, 1) += m * (r.x * r.x + r.z * r.z);
        I(2, 2) += m * (r.x * r.x + r.y * r.y);
        I(0, 1) -= m * r.x * r.y;
        I(1, 0) -= m * r.x * r.y;
        I(0, 2) -= m * r.x * r.z;
        I(2, 0) -= m * r.x * r.z;
        I(1, 2) -= m * r.y * r.z;
        I(2, 1) -= m * r.y * r.z;
        const QmtMatrix3& M = f->getMatrixPivotCm();
        inertiaLocal = inertiaLocal + M.TransposeTimes(I) * M;
    }
    invInertiaLocal = inertiaLocal.Inverse(INVERSE_TOLERANCE);
    const QmtMatrix3& R = dyn.rotation;
    dyn.inertiaWorld = (R * inertiaLocal).TimesTranspose(R);
    dyn.invInertiaWorld = (R * invInertiaLocal).TimesTranspose(R);
}

// Moves the centre of mass and keeps the box where it is.
void FractureBody::setMassCenter(const QmtVector3& c) {
    const QmtVector3 b = computeWCenter();
    const QmtVector3 local = (b - c) * dyn.rotation;
    const QmtVector3& s = transform.scale;
    transform.centreOffset = QmtVector3(local.x / s.x, local.y / s.y, local.z / s.z);
    dyn.position = c;
    lastDyn.position = c;
    computeInertiaTensor();
    setAngularVelocity(dyn.w);
}

void FractureBody::setScale(const QmtVector3& s) {
    const QmtVector3& old = transform.scale;
    const double mass = getMass() * (s.x * s.y * s.z) / (old.x * old.y * old.z);
    setMass(static_cast<float>(mass));
    for (PrivateHardBody* f : fragments) {
        f->setScale(s);
    }
}

// The compound's mass shared out by the fragment buffer; a buffer that is missing or
// was made for another fragment order is made again first.
void FractureBody::setMass(float mass) {
    if (mass < 1e-5f) {
        mass = 1e-5f;
    }
    if (!fragmentBufferMatches()) {
        buildFragmentBuffer();
    }
    std::uint32_t i = 0;
    for (PrivateHardBody* f : fragments) {
        if (!f->isStatic()) {
            f->setMass(static_cast<float>(mass * fragmentBuffer[i]));
        }
        ++i;
    }
    dyn.invMass = 1.0 / static_cast<double>(mass);
    computeInertiaTensor();
    setAngularVelocity(dyn.w);
}

QmtVector3& FractureBody::computeCompoundCentre(QmtVector3& out) {
    double dynamicMass = 0.0;
    double staticMass = 0.0;
    QmtVector3 dynamicSum;
    QmtVector3 staticSum;
    for (const PrivateHardBody* f : fragments) {
        const double m = 1.0 / f->getDyn().invMass;
        if (f->isStatic()) {
            staticMass += m;
            staticSum += f->getDyn().position * m;
        } else {
            dynamicMass += m;
            dynamicSum += f->getDyn().position * m;
        }
    }
    if (dynamicMass > 0.0) {
        dyn.invMass = 1.0 / dynamicMass;
        out = dynamicSum / dynamicMass;
    } else if (staticMass > 0.0) {
        dyn.invMass = 1.0 / staticMass;
        out = staticSum / staticMass;
    }
    return out;
}

// ---- state setters ----

void FractureBody::updateInertiaTensor() {
    const QmtMatrix3& R = dyn.rotation;
    dyn.inertiaWorld = (R * inertiaLocal).TimesTranspose(R);
    dyn.invInertiaWorld = (R * invInertiaLocal).TimesTranspose(R);
    dyn.w = dyn.invInertiaWorld * dyn.L;
}

void FractureBody::setAngularVelocity(const QmtVector3& w) {
    dyn.w = w;
    dyn.L = dyn.inertiaWorld * w;
    handVelocitiesToFragments();
}

void FractureBody::resetDynamics() {}

void FractureBody::setOrientation(const Quaternion& q) {
    dyn.orientation = q;
    q.ToRotationMatrix(dyn.rotation);
    const QmtMatrix3& R = dyn.rotation;
    dyn.inertiaWorld = (R * inertiaLocal).TimesTranspose(R);
    dyn.invInertiaWorld = (R * invInertiaLocal).TimesTranspose(R);
    placeFragmentRotations();
    disableWorldUpdate();
}

void FractureBody::setRotationMatrix(const QmtMatrix3& R) {
    dyn.rotation = R;
    dyn.orientation.FromRotationMatrix(R);
    dyn.integratedOrientation = dyn.orientation;
    dyn.inertiaWorld = (R * inertiaLocal).TimesTranspose(R);
    dyn.invInertiaWorld = (R * invInertiaLocal).TimesTranspose(R);
    placeFragmentRotations();
    disableWorldUpdate();
}

void FractureBody::setPosition(const QmtVector3& p) {
    dyn.position = p;
    dyn.integratedPosition = p;
    for (PrivateHardBody* f : fragments) {
        f->setPosition(dyn.rotation * relativeOffset(*f) + p);
    }
    disableWorldUpdate();
}

void FractureBody::setLinearVelocity(const QmtVector3& v) {
    dyn.v = v;
    for (PrivateHardBody* f : fragments) {
        f->setLinearVelocity(v + dyn.w.Cross(f->getDyn().position - dyn.position));
    }
}

// ---- boxes and queries ----

void FractureBody::modify(ZYLmesh* /*newMesh*/) {}

void FractureBody::updateWorldState() {
    computeBbox();
    for (PrivateHardBody* f : fragments) {
        f->updateWorldState();
    }
    enableWorldUpdate();
}

double FractureBody::computeEnergy() {
    if (isStatic()) {
        return STATIC_BODY_ENERGY;
    }
    linearEnergy = getMass() * dyn.v.SquaredLength();
    angularEnergy = dyn.L.Dot(dyn.w);
    return linearEnergy + angularEnergy;
}

bool FractureBody::hasMoved() {
    if ((dyn.position - lastDyn.position).SquaredLength() > TOLERANCE) {
        return true;
    }
    const QmtMatrix3 M = lastDyn.rotation.TimesTranspose(dyn.rotation);
    for (unsigned r = 0; r < 3; ++r) {
        for (unsigned c = 0; c < 3; ++c) {
            if (std::fabs(r == c ? M(r, c) - 1.0 : M(r, c)) >= TOLERANCE) {
                return true;
            }
        }
    }
    return false;
}

// Pushes the compound away from the other side of a breaking joint.
void FractureBody::ApplyBreakEnergy(DynamicStress* joint) {
    if (!joint) {
        return;
    }
    const double e = joint->getBreakEnergy();
    if (!(e > TOLERANCE)) {
        return;
    }
    QmtVector3 axis;
    QmtVector3 d = joint->getAxis(axis) * (e * e);
    if (hasFragment(joint->getCNode())) {
        d = -d;
    }
    dyn.v += d * dyn.invMass;
    if (!isActive()) {
        activate();
    }
}

const ZYLbox& FractureBody::computeBbox() {
    bbox.centre = computeWCenter();
    bbox.axes = dyn.rotation * transform.localAxes;
    bbox.halfExtents = componentwise(transform.boxSize, transform.scale) * 0.5;
    return bbox;
}

// The main axis is the longest side of the unscaled box; ties go to z, then y.
ZYLcapsule* FractureBody::computeBboxAndAxis(bool /*world*/) {
    computeBbox();
    const QmtVector3& size = transform.boxSize;
    int axis = 0;
    if (size.z >= size.x && size.z >= size.y) {
        axis = 2;
    } else if (size.y >= size.x && size.y >= size.z) {
        axis = 1;
    }
    const QmtVector3& half = bbox.halfExtents;
    capsule.centre = bbox.centre;
    capsule.axis = bbox.axes.GetColumn(static_cast<unsigned>(axis));
    capsule.length = 2.0 * half[axis];
    capsule.radius = 2.0 * std::max(half[(axis + 1) % 3], half[(axis + 2) % 3]);
    return &capsule;
}

ZYLmesh* FractureBody::getMesh() { return mesh; }

// ---- saved states ----

void FractureBody::storeDynState() {
    savedLastDyn = lastDyn;
    savedDyn = dyn;
    lastDyn = dyn;
    for (PrivateHardBody* f : fragments) {
        f->storeDynState();
    }
}

void FractureBody::restoreDynState() {
    dyn = savedDyn;
    lastDyn = savedLastDyn;
    for (PrivateHardBody* f : fragments) {
        f->restoreDynState();
    }
}

// The fragments feel no loads of their own while they are held; the loose pieces do.
void FractureBody::clearExternalForces() {
    HardBody::clearExternalForces();
    for (PrivateHardBody* d : disconnectedBodies) {
        d->clearExternalForces();
    }
    for (FractureBody* child : children) {
        child->clearExternalForces();
    }
}

void FractureBody::clearJointExternalForces() {
    for (DynamicStress* joint : activeJoints) {
        joint->clearExternalForces();
    }
    for (FractureBody* child : children) {
        child->clearJointExternalForces();
    }
}

// ---- time integration ----

// The linear damping follows the step length; the angular one is applied once per
// call.
void FractureBody::integrateVelocities(double dt, bool damping) {
    const double dtInvMass = dt * dyn.invMass;
    dyn.v += dyn.force * dtInvMass;
    dyn.v += dyn.externalForce * dtInvMass;
    if (damping) {
        dyn.v *= std::pow(1.0 - airDamping, 100.0 * dt);
    }
    dyn.L += dyn.torque * dt;
    dyn.L += dyn.externalTorque * dt;
    if (damping) {
        dyn.L *= 1.0 - airDamping2;
    }
    dyn.w = dyn.invInertiaWorld * dyn.L;
    handVelocitiesToFragments();
}

// The ordinary body's position step: trapezoidal move from the state saved at the
// start of the world step, and a turn by the mean angular velocity of the step.
void FractureBody::stepOwnPose(double dt) {
    stepPose(dyn, lastDyn, dt);
    updateInertiaTensor();
}

void FractureBody::integratePositions(double dt) {
    if (isStatic()) {
        return;
    }
    stepOwnPose(dt);
    const QmtMatrix3& R = dyn.rotation;
    const QmtVector3& x = dyn.position;
    for (PrivateHardBody* f : fragments) {
        const QmtMatrix3 Q = relativeRotation(*f);
        f->setLinearVelocity(dyn.v + dyn.w.Cross(f->getDyn().position - x));
        f->setAngularVelocity(dyn.w);
        f->setRotationMatrix(R * Q);
        f->setPosition(R * -(Q * f->getTransPivotCm()) + x);
    }
    dyn.integratedPosition = dyn.position;
    dyn.integratedOrientation = dyn.orientation;
}

void FractureBody::integratePositionsWithChildren(double dt) {
    lastDyn = dyn;
    stepOwnPose(dt);
    dyn.integratedPosition = dyn.position;
    dyn.integratedOrientation = dyn.orientation;
    if (!isActive()) {
        placeStaticChildren();
    }
}

void FractureBody::placeStaticChildren() {
    for (FractureBody* child : children) {
        if (!child->isStatic()) {
            continue;
        }
        const QmtMatrix3 Q = relativeRotation(*child);
        const QmtVector3 o = relativeOffset(*child);
        child->setLinearVelocity(dyn.v + dyn.w.Cross(child->dyn.position - dyn.position));
        child->setAngularVelocity(dyn.w);
        child->setRotationMatrix(dyn.rotation * Q);
        child->setPosition(dyn.rotation * o + dyn.position);
        if (!child->isActive()) {
            child->placeStaticChildren();
        }
    }
}

// ---- position corrections ----

// A correction never leaves what the compound swept in the last step; the
// integrated-position copy keeps its value so later corrections clamp alike.
void FractureBody::applyDisplacement(const QmtVector3& d, const QmtVector3& a) {
    const QmtVector3 integrated = dyn.integratedPosition;
    const double margin = extraction >= 1.0 ? NO_EXTRACTION_LIMIT : extraction;
    QmtVector3 p = dyn.position + d;
    clampPointToBox(p, p, lastDyn.position, dyn.integratedPosition, margin);
    setPosition(p);
    dyn.integratedPosition = integrated;

    if (turnWithinLastStep(dyn, lastDyn, a)) {
        updateInertiaTensor();
    }
    placeFragmentRotations();
    disableWorldUpdate();
}

// Never takes the centre farther from the middle of the last step than it is now.
void FractureBody::translate(const QmtVector3& d) {
    QmtVector3 p = dyn.position + d;
    const QmtVector3 mid = (lastDyn.position + dyn.position) * 0.5;
    const double r2 = (dyn.position - mid).SquaredLength();
    if ((p - mid).SquaredLength() > r2) {
        QmtVector3 dir = p - mid;
        dir.Unitize(UNIT_TOLERANCE);
        p = mid + dir * std::sqrt(r2);
    }
    setPosition(p);
}

// The same ball rule on the quaternion, around the middle of the last step.
void FractureBody::rotate(const QmtVector3& a) {
    const QmtVector3 b = dyn.invInertiaWorld * a;
    if (b.SquaredLength() > TOLERANCE) {
        const double angle = b.Length();
        Quaternion q = rotationAbout(b / angle, angle) * dyn.orientation;
        const Quaternion mid = (dyn.orientation + lastDyn.orientation) * 0.5;
        const double radius = (dyn.orientation - mid).Length();
        const Quaternion away = q - mid;
        const double distance = away.Length();
        if (distance > radius) {
            q = mid + away * (radius / distance);
        }
        // A quaternion of zero length names no rotation: the orientation stays.
        if (q.Length() > 0.0) {
            q.Normalize();
            dyn.orientation = q;
            dyn.orientation.ToRotationMatrix(dyn.rotation);
            updateInertiaTensor();
        }
    }
    placeFragmentRotations();
    disableWorldUpdate();
}
