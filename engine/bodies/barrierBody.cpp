#include "engine/bodies/barrierBody.h"

#include "engine/bodies/bodyShape.h"

using Qmt::QmtMatrix3;
using Qmt::QmtVector3;

BarrierBody::BarrierBody() { type = HB_BARRIER; }

void BarrierBody::init(const QmtVector3& P, const QmtMatrix3& R, const QmtVector3& S) {
    planePoint = P;
    transform.centreOffset = P;
    transform.setRotation(R);
    transform.scale = S;
    transform.unscaledRadius = bodyshape::halfLargestSide(transform.boxSize);
    transform.radius = transform.unscaledRadius * bodyshape::largestComponent(S);
    bodyshape::placeAtRest(*this, P, R);
    lastDyn = dyn;
    activate();
    enableStatic();
}

void BarrierBody::initPlane(const QmtVector3& point, const QmtVector3& normal) {
    planeNormal = normal;
    init(point, QmtMatrix3::IDENTITY, QmtVector3(1.0, 1.0, 1.0));
}

void BarrierBody::computeInertiaTensor() {
    const double m = 1.0 / dyn.invMass;
    const QmtMatrix3 turned = bodyshape::rotatedTensor(transform.localAxes, QmtMatrix3::IDENTITY);
    inertiaLocal = bodyshape::shiftedTensor(turned, m, transform.centreOffset);
    invInertiaLocal = inertiaLocal.Inverse(bodyshape::INVERSE_TOLERANCE);
    updateWorldTensors();
    setAngularVelocity(dyn.w);
}

void BarrierBody::setMassCenter(const QmtVector3& centre) { planePoint = centre; }

void BarrierBody::modify(ZYLmesh*) {}
