#include "engine/bodies/hardBody.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <iterator>

using Qmt::QmtMatrix3;
using Qmt::QmtVector3;
using Qmt::Quaternion;

HardBody::HardBody() {
    dynInit.rotation = QmtMatrix3::IDENTITY;
    dynInit.inertiaWorld = QmtMatrix3::IDENTITY;
    dynInit.invInertiaWorld = QmtMatrix3::IDENTITY;
    dynInit.orientation = Quaternion::IDENTITY;
    dynInit.invMass = 1.0;
    lastDyn = dynInit;
    dyn = dynInit;
}

// A copy shares the source's mesh but never owns it.
HardBody::HardBody(const HardBody& other) { copyFields(other); }

HardBody& HardBody::operator=(const HardBody& other) {
    if (this == &other) {
        return *this;
    }
    if (mesh != other.mesh) {
        releaseOwnedMesh();
        meshOwned = false;
    }
    // Sharing the mesh this body already owns keeps the ownership.
    const std::int32_t index = transform.index;
    copyFields(other);
    if (transform.index != index) {
        filing.indexChanged();
    }
    return *this;
}

void HardBody::setIndex(std::int32_t index) {
    if (transform.index != index) {
        transform.index = index;
        filing.indexChanged();
    }
}

HardBody::~HardBody() {
    releaseOwnedMesh();
    parent = nullptr;
}

void HardBody::copyFields(const HardBody& other) {
    contactStage = other.contactStage;
    layer = other.layer;
    groupID = other.groupID;
    parent = other.parent;
    flags = other.flags;
    std::copy(std::begin(other.processedThread), std::end(other.processedThread), processedThread);
    type = other.type;
    invInertiaLocal = other.invInertiaLocal;
    inertiaLocal = other.inertiaLocal;
    matrixPivotCm = other.matrixPivotCm;
    transPivotCm = other.transPivotCm;
    restitution = other.restitution;
    restitutionInit = other.restitutionInit;
    friction = other.friction;
    frictionInit = other.frictionInit;
    extraction = other.extraction;
    airDamping = other.airDamping;
    airDamping2 = other.airDamping2;
    linearEnergy = other.linearEnergy;
    angularEnergy = other.angularEnergy;
    minEnergy = other.minEnergy;
    sleepCount = other.sleepCount;
    dynInit = other.dynInit;
    lastDyn = other.lastDyn;
    dyn = other.dyn;
    savedLastDyn = other.savedLastDyn;
    savedDyn = other.savedDyn;
    collisionState = other.collisionState;
    mesh = other.mesh;
    capsule = other.capsule;
    bbox = other.bbox;
    transform = other.transform;
    cellCode = other.cellCode;
}

void HardBody::releaseOwnedMesh() {
    if (meshOwned) {
        delete mesh;
    }
}

void HardBody::setAirDampingCoeff(double value) { airDamping = value; }

void HardBody::setAirDampingCoeff2(double value) { airDamping2 = value; }

void HardBody::resetDynamics() {}

// Only the first of the bits 1, 8, 2, 4 found in the mask is stored.
void HardBody::storeInitialState(unsigned int mask) {
    if (mask & 1u) {
        dynInit = dyn;
        restitutionInit = restitution;
        frictionInit = friction;
    } else if (mask & 8u) {
        dynInit.invMass = dyn.invMass;
    } else if (mask & 2u) {
        dynInit.v = dyn.v;
    } else if (mask & 4u) {
        dynInit.w = dyn.w;
        dynInit.L = dyn.L;
    }
}

void HardBody::applyInitialState() {
    dyn = dynInit;
    lastDyn = dynInit;
    restitution = restitutionInit;
    friction = frictionInit;
    // A run from the start counts the body's rest afresh, as a body just built does.
    sleepCount = 0;
    if (isFirstHit(false) && !isStatic()) {
        enableStatic();
    }
    updateWorldState();
}

void HardBody::clearExternalForces() {
    dyn.externalForce = QmtVector3::ZERO;
    dyn.externalTorque = QmtVector3::ZERO;
}

void HardBody::applyExternalForce(QmtVector3 force, QmtVector3 point) {
    dyn.externalForce += force;
    dyn.externalTorque += (point - dyn.position).Cross(force);
}

void HardBody::applyExternalForce(QmtVector3 force) { dyn.externalForce += force; }

void HardBody::applyExternalTorque(QmtVector3 torque) { dyn.externalTorque += torque; }

int HardBody::getProcessedThreadID() const {
    for (int lane = 0; lane < BODY_LANES; ++lane) {
        if (processedThread[lane]) {
            return lane;
        }
    }
    return -1;
}

QmtVector3 HardBody::computeWCenter() {
    const QmtVector3& s = transform.scale;
    const QmtVector3& c = transform.centreOffset;
    const QmtVector3 centre = dyn.position + dyn.rotation * QmtVector3(s.x * c.x, s.y * c.y, s.z * c.z);
    // Detection lanes ask for the centres of bodies they share with other lanes; the
    // centre is only stored when it changed, so once it is current (brought up to date
    // before the lanes start) they merely read it.
    const QmtVector3& stored = transform.worldCentre;
    if (std::bit_cast<std::uint64_t>(centre.x) != std::bit_cast<std::uint64_t>(stored.x) ||
        std::bit_cast<std::uint64_t>(centre.y) != std::bit_cast<std::uint64_t>(stored.y) ||
        std::bit_cast<std::uint64_t>(centre.z) != std::bit_cast<std::uint64_t>(stored.z)) {
        transform.worldCentre = centre;
    }
    return centre;
}

void HardBody::getBSphere(QmtVector3& centre, double& radius) {
    centre = computeWCenter();
    radius = transform.radius;
}

void HardBody::applyImpulse(const QmtVector3& J) {
    dyn.v += J * dyn.invMass;
    if (!isActive()) {
        activate();
    }
}

void HardBody::applyImpulse(const QmtVector3& J, const QmtVector3& P) {
    dyn.v += J * dyn.invMass;
    dyn.L += (P - dyn.position).Cross(J);
    dyn.w = dyn.invInertiaWorld * dyn.L;
    if (!isActive()) {
        activate();
    }
}

void HardBody::applyTorque(const QmtVector3& T) {
    dyn.L += T;
    dyn.w = dyn.invInertiaWorld * dyn.L;
    if (!isActive()) {
        activate();
    }
}
