#pragma once

// Cube hulls and boxes, random directions and turns shared by the convex proximity tests.

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "geometry/bounds/boundingVolumes.h"
#include "geometry/mesh/bvMesh.h"
#include "geometry/hull/convexHull.h"
#include "geometry/mesh/meshPlacement.h"
#include "math/qmtMatrix3.h"
#include "tests/testSupport.h"

namespace hulltest {

using Qmt::QmtMatrix3;
using Qmt::QmtVector3;

// Vertex links: hull supports climb instead of scanning every vertex.
inline constexpr std::uint32_t LINKS = BVMESH_EDGES | BVMESH_VERTICES;

struct Hull {  // the mesh outlives the volume that refers to it
    std::unique_ptr<ZYLmesh> mesh = std::make_unique<ZYLmesh>();
    BVmesh volume;
};

// A random unit direction, drawn by rejection from the unit ball (away from its centre).
inline QmtVector3 unitDirection(zyltest::Lcg& rng) {
    for (;;) {
        QmtVector3 v{rng.Range(-1.0, 1.0), rng.Range(-1.0, 1.0), rng.Range(-1.0, 1.0)};
        if (v.SquaredLength() > 0.01 && v.SquaredLength() <= 1.0) {
            v.Unitize(QmtMatrix3::EPSILON);
            return v;
        }
    }
}

// The turn by angle about axis, which need not be of unit length.
inline QmtMatrix3 turnAbout(QmtVector3 axis, double angle) {
    axis.Unitize(QmtMatrix3::EPSILON);
    return zyltest::axisRotation(axis, angle);
}

inline ZYLbox makeBox(const QmtVector3& c, const QmtVector3& half, const QmtMatrix3& axes = QmtMatrix3::IDENTITY) {
    return ZYLbox{c, axes, half};
}

// A box hull; its vertex i is box corner i.
inline std::unique_ptr<Hull> boxHull(const QmtVector3& c, const QmtVector3& half,
                                     const QmtMatrix3& axes = QmtMatrix3::IDENTITY,
                                     std::uint32_t options = LINKS) {
    auto hull = std::make_unique<Hull>();
    buildBoxMesh(makeBox(c, half, axes), hull->mesh.get());
    EXPECT_TRUE(hull->volume.init(hull->mesh.get(), options));
    return hull;
}

// A cube hull of half size 1.
inline std::unique_ptr<Hull> cubeHull(const QmtVector3& c, const QmtMatrix3& axes = QmtMatrix3::IDENTITY,
                                      std::uint32_t options = LINKS) {
    return boxHull(c, {1.0, 1.0, 1.0}, axes, options);
}

// The hull of the points, placed by R and T; an empty hull when none can be built.
inline std::unique_ptr<Hull> pointHull(const std::vector<QmtVector3>& points, const QmtVector3& T,
                                       const QmtMatrix3& R = QmtMatrix3::IDENTITY,
                                       std::uint32_t options = LINKS) {
    auto hull = std::make_unique<Hull>();
    hull->mesh.reset(buildConvexHullMesh(points.data(), static_cast<std::uint32_t>(points.size())));
    if (!hull->mesh) {
        ADD_FAILURE() << "hull build failed";
        hull->mesh = std::make_unique<ZYLmesh>();
        return hull;
    }
    hull->mesh->worldVertices = new QmtVector3[hull->mesh->numVertices];
    meshTransformSRT(hull->mesh.get(), T, R, {1.0, 1.0, 1.0});
    EXPECT_TRUE(hull->volume.init(hull->mesh.get(), options));
    return hull;
}

}  // namespace hulltest
