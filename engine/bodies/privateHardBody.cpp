#include "engine/bodies/privateHardBody.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <iterator>

#include "engine/fracture/dynamicStress.h"
#include "geometry/mesh/meshPlacement.h"

using Qmt::QmtMatrix3;
using Qmt::QmtVector3;
using Qmt::Quaternion;

namespace {

// computeEnergy's answer for a body that never moves: the largest float.
constexpr double STATIC_BODY_ENERGY = 3.4028234663852886e38;

// Tolerance of the motion tests.
constexpr double MOTION_TOLERANCE = 1e-5;

}  // namespace

PrivateHardBody::PrivateHardBody() {
    type = HB_PHANTOM;
    mesh = nullptr;
    dyn = RBDynamics();
    lastDyn = RBDynamics();
    dyn.invMass = 1.0;
    lastDyn.invMass = 1.0;
    collisionState = MOTION_FREE;
}

PrivateHardBody::PrivateHardBody(const PrivateHardBody& other)
    : HardBody(other), jointCount(other.jointCount), joints(other.joints), laneDyn(other.laneDyn) {}

PrivateHardBody& PrivateHardBody::operator=(const PrivateHardBody& other) {
    if (this == &other) {
        return *this;
    }
    HardBody::operator=(other);
    jointCount = other.jointCount;
    joints = other.joints;
    jointCursor = nullptr;
    jointCursorActive = 0;
    laneDyn = other.laneDyn;
    return *this;
}

void PrivateHardBody::setRestitutionCoeff(double value) {
    restitution = value;
    restitutionInit = value;
}

void PrivateHardBody::setFrictionCoeff(double value) {
    friction = value;
    frictionInit = value;
}

void PrivateHardBody::activate() {
    updateWorldState();
    flags |= BODY_ACTIVE;
    sleepCount = 0;
}

void PrivateHardBody::deActivate() { flags &= ~BODY_ACTIVE; }

bool PrivateHardBody::isFirstHit(bool askParent) const {
    if (flags & BODY_FIRST_HIT) {
        return true;
    }
    return askParent && parent && parent->isFirstHit(false);
}

void PrivateHardBody::clearProcessed() {
    std::fill(std::begin(processedThread), std::end(processedThread), std::uint8_t{0});
    disableProcessed();
}

void PrivateHardBody::modify(ZYLmesh* newMesh) {
    if (newMesh == mesh) {
        return;
    }
    releaseOwnedMesh();
    setMesh(newMesh);
}

void PrivateHardBody::placeHullBound() {
    if (mesh) {
        meshTransformSRT(mesh, dyn.position, dyn.rotation, transform.scale);
    }
}

void PrivateHardBody::updateWorldState() {
    computeBbox();
    if (type == HB_HULL) {
        placeHullBound();
    }
    // A phantom's bit is left alone, so its mesh is placed again at every getMesh.
    if (type != HB_PHANTOM) {
        enableWorldUpdate();
    }
}

double PrivateHardBody::energyOf(const RBDynamics& state) {
    if (isStatic()) {
        return STATIC_BODY_ENERGY;
    }
    const double m = 1.0 / state.invMass;
    const double linear = m * state.v.SquaredLength();
    const double angular = state.L.Dot(state.w);
    // Detection lanes ask for the energy of bodies they share with other lanes, all
    // storing the same terms at once: the stores are atomic.
    std::atomic_ref<double>(linearEnergy).store(linear, std::memory_order_relaxed);
    std::atomic_ref<double>(angularEnergy).store(angular, std::memory_order_relaxed);
    return linear + angular;
}

double PrivateHardBody::computeEnergy() { return energyOf(dyn); }

double PrivateHardBody::computeLaneEnergy(int lane) { return energyOf(laneDyn[lane]); }

double PrivateHardBody::velocityChangeMeasure(double k) const {
    return ((dyn.v - lastDyn.v).SquaredLength() + (dyn.w - lastDyn.w).SquaredLength()) / k;
}

bool PrivateHardBody::hasMoved() {
    if (!isActive()) {
        return false;
    }
    // A deforming mesh always counts as moving.
    if (const ZYLmesh* const placed = getMesh(); placed && placed->velocityFlag != 0) {
        return true;
    }
    if ((dyn.position - lastDyn.position).SquaredLength() > MOTION_TOLERANCE) {
        return true;
    }
    const QmtMatrix3 M = lastDyn.rotation.TimesTranspose(dyn.rotation);
    for (unsigned r = 0; r < 3; ++r) {
        for (unsigned c = 0; c < 3; ++c) {
            const double deviation = r == c ? M(r, c) - 1.0 : M(r, c);
            if (std::fabs(deviation) >= MOTION_TOLERANCE) {
                return true;
            }
        }
    }
    return false;
}

// Pushes the two bodies of a breaking joint apart along its axis: the PNode along
// it, the CNode against it.
void PrivateHardBody::ApplyBreakEnergy(DynamicStress* joint) {
    if (!joint) {
        return;
    }
    const double e = joint->getBreakEnergy();
    if (!(e > MOTION_TOLERANCE)) {
        return;
    }
    QmtVector3 axis;
    QmtVector3 J = joint->getAxis(axis) * (e * e);
    if (joint->getCNode() == this) {
        J = -J;
    }
    dyn.v += J * dyn.invMass;
    if (!isActive()) {
        activate();
    }
}

// The mass follows the scaled box volume at constant density.
void PrivateHardBody::setScale(const QmtVector3& s) {
    const QmtVector3 old = transform.scale;
    const QmtVector3 size = transform.boxSize;
    const double m = 1.0 / dyn.invMass;
    const double oldVolume = (size.x * old.x) * (size.y * old.y) * (size.z * old.z);
    transform.scale = s;
    if (oldVolume != 0.0) {
        const double density = m / oldVolume;
        setMass(static_cast<float>(density * (size.x * s.x) * (size.y * s.y) * (size.z * s.z)));
    } else {
        // A flat box gives no density: the mass stays, only the tensor follows the scale.
        computeInertiaTensor();
    }

    const double sx = s.x * size.x;
    const double sy = s.y * size.y;
    const double sz = s.z * size.z;
    switch (type) {
        case HB_PHANTOM:
            break;
        case HB_CAPSULE:
        case HB_CRACKER:
            transform.radius = 0.5 * std::sqrt(sx * sx + sz * sz);
            break;
        case HB_HULL:
            transform.radius = 0.5 * std::sqrt(sx * sx + sy * sy + sz * sz);
            placeHullBound();
            break;
        case HB_BARRIER:
            transform.radius = 1.0;
            break;
        default:
            transform.radius = 0.5 * std::sqrt(sx * sx + sy * sy + sz * sz);
            break;
    }
}

void PrivateHardBody::setMass(float mass) {
    dyn.invMass = 1.0 / static_cast<double>(mass);
    computeInertiaTensor();
}

void PrivateHardBody::resetDynamics() {
    dyn = RBDynamics();
    lastDyn = RBDynamics();
}

const ZYLbox& PrivateHardBody::computeBbox() {
    ZYLbox box;
    box.centre = computeWCenter();
    box.axes = dyn.rotation * transform.localAxes;
    const QmtVector3& b = transform.boxSize;
    const QmtVector3& s = transform.scale;
    box.halfExtents = QmtVector3(0.5 * (b.x * s.x), 0.5 * (b.y * s.y), 0.5 * (b.z * s.z));
    // A body whose world bit stays clear (a phantom) is refreshed by every detection
    // lane that tests it; the box is only stored when it changed, so once it is current
    // (brought up to date before the lanes start) they merely read it.
    static_assert(sizeof(ZYLbox) == 15 * sizeof(double), "the box is compared as its bytes");
    if (std::memcmp(&box, &bbox, sizeof box) != 0) {
        bbox = box;
    }
    return bbox;
}

// The main axis is the longest side of the unscaled box; ties go to z, then y.
ZYLcapsule* PrivateHardBody::computeBboxAndAxis(bool /*world*/) {
    computeBbox();
    const QmtVector3& size = transform.boxSize;
    unsigned axis = 0;
    if (size.z >= size.x && size.z >= size.y) {
        axis = 2;
    } else if (size.y >= size.x && size.y >= size.z) {
        axis = 1;
    }
    const unsigned other1 = (axis + 1) % 3;
    const unsigned other2 = (axis + 2) % 3;
    const QmtVector3& half = bbox.halfExtents;
    capsule.centre = bbox.centre;
    capsule.axis = bbox.axes.GetColumn(axis);
    capsule.length = 2.0 * half[static_cast<int>(axis)];
    capsule.radius = 2.0 * std::max(half[static_cast<int>(other1)], half[static_cast<int>(other2)]);
    return &capsule;
}

ZYLmesh* PrivateHardBody::getMesh() {
    if (mesh && !isWorldModified()) {
        meshTransformSRT(mesh, dyn.position, dyn.rotation, transform.scale);
    }
    return mesh;
}

// ---- joints ----

DynamicStress* PrivateHardBody::getFirstJoint() {
    JointList::Node* const first = joints.head ? joints.head->next : nullptr;
    if (!first) {
        return nullptr;
    }
    jointCursor = first;
    jointCursorActive = 1;
    return first->value;
}

DynamicStress* PrivateHardBody::getNextJoint() {
    if (jointCursor) {
        jointCursor = jointCursor->next;
    }
    if (!jointCursor) {
        jointCursorActive = 0;
        return nullptr;
    }
    return jointCursor->value;
}

bool PrivateHardBody::hasActiveJoint() {
    for (DynamicStress* j = getFirstJoint(); j; j = getNextJoint()) {
        if (j->isActive()) {
            // Leaving the mark set would tell later walks the list is still in use.
            jointCursor = nullptr;
            jointCursorActive = 0;
            return true;
        }
    }
    jointCursorActive = 0;
    return false;
}

int PrivateHardBody::countActiveJoints() {
    int n = 0;
    for (DynamicStress* j = getFirstJoint(); j; j = getNextJoint()) {
        if (j->isActive()) {
            ++n;
        }
    }
    return n;
}
