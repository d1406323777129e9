#include "engine/bodies/phantomBody.h"

#include "engine/bodies/bodyShape.h"
#include "geometry/bounds/boxFit.h"
#include "geometry/mesh/meshPlacement.h"

using Qmt::QmtMatrix3;
using Qmt::QmtVector3;

PhantomBody::PhantomBody() { type = HB_PHANTOM; }

void PhantomBody::init(const QmtVector3& P, const QmtMatrix3& R, const QmtVector3& S) {
    bodyshape::initBoxShaped(*this, P, R, S);
}

void PhantomBody::computeInertiaTensor() {
    const double m = 1.0 / dyn.invMass;
    const QmtVector3& s = transform.scale;
    const QmtVector3& b = transform.boxSize;
    const double x = s.x * b.x;
    const double y = s.y * b.y;
    const double z = s.z * b.z;
    QmtMatrix3 I;
    I.MakeDiagonal(m / 12.0 * (y * y + z * z), m / 12.0 * (x * x + z * z), m / 12.0 * (x * x + y * y));
    inertiaLocal = bodyshape::shiftedTensor(bodyshape::rotatedTensor(transform.localAxes, I), m,
                                            transform.centreOffset);
    invInertiaLocal = inertiaLocal.Inverse(bodyshape::INVERSE_TOLERANCE);
    updateWorldTensors();
    setAngularVelocity(dyn.w);
}

void PhantomBody::setMassCenter(const QmtVector3& c) {
    bodyshape::moveMassCentre(*this, c);
    computeInertiaTensor();
    if (mesh) {
        meshTransformSRT(mesh, c, dyn.rotation, transform.scale);
    }
    updateWorldState();
}

void PhantomBody::modify(ZYLmesh* newMesh) {
    if (!newMesh) {
        return;
    }
    const ZYLbox box = fitOrientedBox(bodyshape::readableVertices(*newMesh), newMesh->vertices);
    bodyshape::takeBox(transform, box);
    bodyshape::rebuildBoxMesh(mesh, box);
    bodyshape::meshIntoBodyFrame(mesh, dyn.position, dyn.rotation, QmtVector3(1.0, 1.0, 1.0));
    const QmtMatrix3 Rt = dyn.rotation.Transpose();
    transform.setRotation(Rt * transform.localAxes);
    transform.centreOffset = Rt * (transform.centreOffset - dyn.position);
    transform.unscaledRadius = bodyshape::halfLargestSide(transform.boxSize);
    transform.radius = transform.unscaledRadius * bodyshape::largestComponent(transform.scale);
    computeInertiaTensor();
    if (mesh) {
        meshTransformSRT(mesh, dyn.position, dyn.rotation, transform.scale);
    }
    updateWorldState();
}
