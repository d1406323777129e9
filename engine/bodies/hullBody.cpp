#include "engine/bodies/hullBody.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <new>

#include "engine/bodies/bodyShape.h"
#include "geometry/bounds/boxFit.h"
#include "geometry/hull/convexHull.h"
#include "geometry/mesh/massProperties.h"
#include "geometry/hull/reducedHull.h"

using Qmt::QmtMatrix3;
using Qmt::QmtVector3;

HullBody::HullBody() { type = HB_HULL; }

HullBody::~HullBody() { delete bound; }

ZYLmesh* HullBody::buildHullMesh(const QmtVector3* points, std::uint32_t count) {
    std::unique_ptr<ZYLmesh> hull(buildConvexHullMesh(points, count));
    if (!hull || !bodyshape::giveWorldVertices(*hull)) {
        return nullptr;
    }
    const std::uint32_t n = hull->numVertices;
    QmtVector3 sum;
    for (std::uint32_t i = 0; i < n; ++i) {
        sum += hull->vertices[i];
    }
    hull->centre = sum / static_cast<double>(n);
    double radius = 0.0;
    for (std::uint32_t i = 0; i < n; ++i) {
        const double d = (hull->vertices[i] - hull->centre).Length();
        if (d > radius) {
            radius = d;
        }
    }
    hull->radius = radius;
    return hull.release();
}

ZYLmesh* HullBody::hullOfMesh(const ZYLmesh& mesh) {
    if (!mesh.vertices) {
        return nullptr;
    }
    if (mesh.numVertices <= FULL_HULL_LIMIT) {
        return buildConvexHullMesh(mesh.vertices, mesh.numVertices);
    }
    return buildReducedHullMesh(&mesh, REDUCED_HULL_SIZE);
}

void HullBody::init(const QmtVector3& P, const QmtMatrix3& R, const QmtVector3& S) {
    bodyshape::meshIntoBodyFrame(mesh, P, R, S);
    bodyshape::recordIntoBodyFrame(transform, P, R, S);
    // The placed mesh's radius is the tighter bound when the box is long and thin.
    const double boxRadius = transform.boxSize.Length() / 2.0;
    transform.unscaledRadius = mesh ? std::min(mesh->radius, boxRadius) : boxRadius;
    transform.radius = transform.unscaledRadius * bodyshape::largestComponent(S);
    bodyshape::placeAtRest(*this, P, R);
    lastDyn = dyn;
    activate();
}

void HullBody::computeInertiaTensor() {
    if (!mesh) {
        return;
    }
    const double m = 1.0 / dyn.invMass;
    computeScaledMassProperties(inertiaLocal, mesh, m, QmtVector3::ZERO, transform.scale);
    invInertiaLocal = inertiaLocal.Inverse(bodyshape::INVERSE_TOLERANCE);
    updateWorldTensors();
    setAngularVelocity(dyn.w);
}

void HullBody::setMassCenter(const QmtVector3& c) {
    bodyshape::moveMassCentre(*this, c);
    computeInertiaTensor();
    updateWorldState();
}

void HullBody::modify(ZYLmesh* newMesh) {
    if (!newMesh) {
        return;
    }
    std::unique_ptr<ZYLmesh> hull(hullOfMesh(*newMesh));
    if (!hull || hull->numVertices == 0 || !bodyshape::giveWorldVertices(*hull)) {
        return;
    }
    std::unique_ptr<BVmesh> fresh(new (std::nothrow) BVmesh);
    if (!fresh) {
        return;
    }
    const ZYLbox box = fitOrientedBox(hull->numVertices, hull->vertices);
    hull->centre = box.centre;
    hull->radius = 2.0 * box.halfExtents.Length();
    bodyshape::takeBox(transform, box);

    bodyshape::refitIntoBodyFrame(hull.get(), transform, dyn.position, dyn.rotation);

    delete bound;
    bound = nullptr;
    releaseOwnedMesh();
    setMesh(hull.release());
    bound = fresh.release();
    bound->init(mesh, BOUND_OPTIONS);
    computeInertiaTensor();
    updateWorldState();
}
