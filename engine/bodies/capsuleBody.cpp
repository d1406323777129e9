#include "engine/bodies/capsuleBody.h"

#include <cstring>

#include "engine/bodies/bodyShape.h"
#include "geometry/bounds/boxFit.h"
#include "geometry/mesh/meshPlacement.h"

using Qmt::QmtMatrix3;
using Qmt::QmtVector3;

namespace {

// Below this distance the segment's ends are one point and the capsule has no axis.
constexpr double AXIS_TOLERANCE = 1e-5;

const QmtVector3 UNIT_SCALE(1.0, 1.0, 1.0);

}  // namespace

CapsuleBody::CapsuleBody() : worldCapsule(&capsule) { type = HB_CAPSULE; }

ZylCrackerBody::ZylCrackerBody() { type = HB_CRACKER; }

void CapsuleBody::init(const QmtVector3& P, const QmtMatrix3& R, const QmtVector3& S) {
    // The local capsule comes first: the inertia tensor built on placing reads it.
    worldCapsule.transformTRS(-P, R.Transpose(), bodyshape::reciprocal(S), localCapsule);
    bodyshape::initBoxShaped(*this, P, R, S);
}

// A solid of the capsule's reach q across and 4q plus the box's length along it.
void CapsuleBody::computeInertiaTensor() {
    const double m = 1.0 / dyn.invMass;
    const QmtVector3& s = transform.scale;
    const QmtVector3& b = transform.boxSize;
    // Before init there is no local capsule yet: a capsule of no reach.
    const ZYLcapsule* const local = localCapsule.capsule;
    const double q = local ? local->length / 2.0 + local->radius : 0.0;
    const double r = q * (s.x > s.y ? s.x : s.y);
    const double h = (4.0 * q + b.z) * s.z;
    const double across = m * (r * r / 4.0 + h * h / 12.0);
    QmtMatrix3 I;
    I.MakeDiagonal(across, across, m * r * r / 2.0);
    inertiaLocal = bodyshape::shiftedTensor(bodyshape::rotatedTensor(transform.localAxes, I), m,
                                            transform.centreOffset);
    invInertiaLocal = inertiaLocal.Inverse(bodyshape::INVERSE_TOLERANCE);
    updateWorldTensors();
    setAngularVelocity(dyn.w);
}

void CapsuleBody::setMassCenter(const QmtVector3& c) {
    bodyshape::moveMassCentre(*this, c);
    if (localCapsule.capsule) {
        localCapsule.capsule->centre = transform.centreOffset;
    }
    computeInertiaTensor();
    if (mesh) {
        meshTransformSRT(mesh, c, dyn.rotation, transform.scale);
    }
    updateWorldState();
}

void CapsuleBody::modify(ZYLmesh* newMesh) {
    if (!newMesh) {
        return;
    }
    QmtVector3 p0;
    QmtVector3 p1;
    double r = 0.0;
    fitCapsule(bodyshape::readableVertices(*newMesh), newMesh->vertices, p0, p1, r);
    const double length = (p1 - p0).Length();
    ZYLcapsule segment;
    segment.centre = (p0 + p1) / 2.0;
    segment.axis = length > AXIS_TOLERANCE ? (p1 - p0) / length : QmtVector3::ZERO;
    segment.length = length;
    segment.radius = r;
    localCapsule.init(segment);

    transform.centreOffset = (p0 + p1) / 2.0;
    transform.boxSize = QmtVector3(r, r, length / 2.0 + r) * 2.0;
    // Box axes along the capsule's frame, so the box's third side runs along it.
    if (localCapsule.u.SquaredLength() <= AXIS_TOLERANCE) {
        transform.setRotation(QmtMatrix3::IDENTITY);
    } else {
        transform.setRotation(QmtMatrix3(localCapsule.u, localCapsule.v, localCapsule.capsule->axis));
    }
    bodyshape::rebuildBoxMesh(mesh, bodyshape::recordBox(transform));

    const QmtMatrix3 Rt = dyn.rotation.Transpose();
    const QmtVector3 t = Rt * -dyn.position;
    transform.centreOffset = Rt * transform.centreOffset + t;
    transform.setRotation(Rt * transform.localAxes);
    localCapsule.transformSRT(t, Rt, UNIT_SCALE, worldCapsule);
    localCapsule.init(*worldCapsule.capsule);
    if (mesh) {
        meshTransformSRT(mesh, t, Rt, UNIT_SCALE);
        bodyshape::adoptWorldArrays(*mesh);
    }

    transform.unscaledRadius = bodyshape::halfLargestSide(transform.boxSize);
    transform.radius = r * bodyshape::largestComponent(transform.scale);
    computeInertiaTensor();
    if (mesh) {
        meshTransformSRT(mesh, dyn.position, dyn.rotation, transform.scale);
    }
    updateWorldState();
}

ZYLcapsule* CapsuleBody::computeBboxAndAxis(bool world) {
    if (world) {
        return getWorldCapsule().capsule;
    }
    return localCapsule.capsule;
}

BCapsule& CapsuleBody::getWorldCapsule() {
    if (localCapsule.capsule) {
        // Detection lanes ask at once for the capsules they test: one already placed
        // where the body stands (they are placed before the lanes start) is only read.
        const ZYLcapsule placed = localCapsule.placedSRT(dyn.position, dyn.rotation, transform.scale);
        const auto same = [](const ZYLcapsule& a, const ZYLcapsule& b) { return std::memcmp(&a, &b, sizeof a) == 0; };
        if (!placedOnce_ || !worldCapsule.capsule || !same(placed, lastPlaced_) ||
            !same(*worldCapsule.capsule, placed)) {
            worldCapsule.init(placed);
            lastPlaced_ = placed;
            placedOnce_ = true;
        }
    }
    return worldCapsule;
}
