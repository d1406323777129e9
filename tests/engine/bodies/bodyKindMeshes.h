#pragma once

// Meshes and snapshots shared by the body-kind tests.

#include <cmath>
#include <cstdint>
#include <memory>
#include <numbers>
#include <vector>

#include "engine/bodies/hardBody.h"
#include "geometry/mesh/meshRecords.h"
#include "math/qmtVector3.h"
#include "tests/geometry/testMeshes.h"
#include "tests/testSupport.h"

namespace kindtest {

using Qmt::QmtMatrix3;
using Qmt::QmtVector3;

inline const QmtVector3 UNIT_SCALE{1.0, 1.0, 1.0};

// n points spread evenly over a sphere of radius r (a golden-angle spiral), every one
// a hull vertex; the mesh has no faces.
inline std::unique_ptr<ZYLmesh> spherePoints(std::uint32_t n, double r) {
    auto mesh = std::make_unique<ZYLmesh>();
    mesh->numVertices = n;
    mesh->vertices = new QmtVector3[n];
    const double golden = std::numbers::pi * (3.0 - std::sqrt(5.0));
    for (std::uint32_t i = 0; i < n; ++i) {
        const double z = 1.0 - 2.0 * (i + 0.5) / n;
        const double ring = std::sqrt(1.0 - z * z);
        const double a = golden * i;
        mesh->vertices[i] = QmtVector3(r * ring * std::cos(a), r * ring * std::sin(a), r * z);
    }
    return mesh;
}

// The world vertices of the body's placed mesh.
inline std::vector<QmtVector3> worldVertices(HardBody& body) {
    const ZYLmesh* mesh = body.getMesh();
    return {mesh->worldVertices, mesh->worldVertices + mesh->numVertices};
}

inline void expectSamePoints(const std::vector<QmtVector3>& a, const std::vector<QmtVector3>& b, double tol) {
    ASSERT_EQ(a.size(), b.size());
    for (std::size_t i = 0; i < a.size(); ++i) {
        zyltest::expectWithin(a[i], b[i], tol);
    }
}

// The state modify(null) must leave alone.
struct ShapeSnapshot {
    BodyTransformRecord record;
    const ZYLmesh* mesh;
    std::vector<QmtVector3> local;
    QmtMatrix3 inertia;

    explicit ShapeSnapshot(const HardBody& body)
        : record(body.transform), mesh(body.mesh), inertia(body.inertiaLocal) {
        if (mesh) {
            local.assign(mesh->vertices, mesh->vertices + mesh->numVertices);
        }
    }

    void expectUnchanged(const HardBody& body) const {
        EXPECT_EQ(body.mesh, mesh);
        EXPECT_EQ(body.transform.centreOffset, record.centreOffset);
        EXPECT_EQ(body.transform.boxSize, record.boxSize);
        EXPECT_EQ(body.transform.radius, record.radius);
        EXPECT_EQ(body.transform.scale, record.scale);
        zyltest::expectNear(body.inertiaLocal, inertia, 0.0);
        if (mesh) {
            expectSamePoints({mesh->vertices, mesh->vertices + mesh->numVertices}, local, 0.0);
        }
    }
};

}  // namespace kindtest
