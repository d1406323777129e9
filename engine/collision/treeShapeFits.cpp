#include "engine/collision/treeShapeFits.h"

#include "geometry/bounds/boundingVolumes.h"
#include "geometry/bounds/boxFit.h"
#include "geometry/bounds/treeGeometry.h"

using Qmt::QmtVector3;

namespace {

bool takeCapsule(BCapsule& capsule, const QmtVector3& end0, const QmtVector3& end1, double radius) {
    if (!capsule.capsule && !capsule.createCap()) {
        return false;
    }
    ZYLcapsule& c = *capsule.capsule;
    c.centre = (end0 + end1) * 0.5;
    QmtVector3 axis = end1 - end0;
    if (axis.SquaredLength() < 1e-5) {
        c.axis = QmtVector3(1.0, 0.0, 0.0);
        c.length = 0.0;
    } else {
        c.length = axis.Length();
        c.axis = axis / c.length;
    }
    c.radius = radius;
    generateOrthonormalBasis(c.axis, capsule.u, capsule.v);
    return true;
}

}  // namespace

std::uint32_t convexHull2DAlternate(const Qmt::QmtVector2* points, std::int32_t n, std::uint32_t* hull) {
    return convexHull2D(points, n, hull);
}

bool fitCapsuleBound(BCapsule& capsule, const QmtVector3* points, std::uint32_t n) {
    QmtVector3 end0, end1;
    double radius = 0.0;
    fitCapsule(n, points, end0, end1, radius);
    takeCapsule(capsule, end0, end1, radius);
    return true;
}

bool fitCapsuleBoundIndexed(BCapsule& capsule, const QmtVector3* points, const std::uint32_t* indices,
                            std::uint32_t n) {
    QmtVector3 end0, end1;
    double radius = 0.0;
    fitCapsuleIndexed(n, indices, points, end0, end1, radius);
    takeCapsule(capsule, end0, end1, radius);
    return true;
}
