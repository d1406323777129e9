#include "engine/bodies/triMeshBody.h"

#include <algorithm>

#include "engine/bodies/bodyShape.h"
#include "geometry/massProperties.h"
#include "geometry/meshPlacement.h"

using Qmt::QmtMatrix3;
using Qmt::QmtVector3;

TriMeshBody::TriMeshBody() { type = HB_TRIMESH; }

TriMeshBody::~TriMeshBody() {
    delete bound;
    delete tree;
}

void TriMeshBody::init(const QmtVector3& P, const QmtMatrix3& R, const QmtVector3& S) {
    if (!mesh) {
        return;
    }
    bodyshape::meshIntoBodyFrame(mesh, P, R, S);
    bodyshape::recordIntoBodyFrame(transform, P, R, S);
    transform.unscaledRadius = std::min(mesh->radius, transform.boxSize.Length() / 2.0);
    transform.radius = transform.unscaledRadius * bodyshape::largestComponent(S);
    setRotationMatrix(R);
    computeInertiaTensor();
    dyn.force = QmtVector3::ZERO;
    dyn.torque = QmtVector3::ZERO;
    lastDyn = dyn;
    activate();
}

void TriMeshBody::computeInertiaTensor() {
    if (!mesh) {
        return;
    }
    const double m = 1.0 / dyn.invMass;
    computeScaledMassProperties(inertiaLocal, mesh, m, QmtVector3::ZERO, transform.scale);
    invInertiaLocal = inertiaLocal.Inverse(bodyshape::INVERSE_TOLERANCE);
    updateWorldTensors();
    setAngularVelocity(dyn.w);
}

void TriMeshBody::setMassCenter(const QmtVector3& c) {
    const QmtVector3 w = computeWCenter();
    const QmtMatrix3 Rt = dyn.rotation.Transpose();
    const QmtVector3& s = transform.scale;
    transform.centreOffset = bodyshape::divided(Rt * (w - c), s);
    // Unscaled local vertices move by the unscaled shift (see PhantomBody).
    if (mesh) {
        bodyshape::shiftLocalMesh(*mesh, bodyshape::divided(Rt * (dyn.position - c), s));
    }
    dyn.position = c;
    lastDyn.position = c;
    computeInertiaTensor();
    updateWorldState();
}

void TriMeshBody::updateWorldState() {
    PrivateHardBody::updateWorldState();
    if (mesh) {
        meshTransformSRT(mesh, dyn.position, dyn.rotation, transform.scale);
    }
}

void TriMeshBody::modify(ZYLmesh*) {}
