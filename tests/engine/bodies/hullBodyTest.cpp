#include "engine/bodies/hullBody.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "engine/bodies/bodyDistance.h"
#include "engine/world/engineApi.h"
#include "geometry/query/faceDistances.h"
#include "geometry/hull/reducedHull.h"
#include "tests/engine/bodies/bodyKindMeshes.h"

namespace {

using kindtest::UNIT_SCALE;
using Qmt::QmtMatrix3;
using Qmt::QmtVector3;
using zyltest::expectNear;
using zyltest::ROT_Z90;

// Hull body of the cube [-1,1]^3 + offset, not yet placed.
std::unique_ptr<HullBody> cubeHull(const QmtVector3& offset = {}) {
    const auto mesh = meshtest::makeMesh(meshtest::cube(2.0, offset - QmtVector3(1, 1, 1)));
    return std::unique_ptr<HullBody>(static_cast<HullBody*>(createHullBody(mesh.get())));
}

bool identical(const QmtVector3& a, const QmtVector3& b) { return a.x == b.x && a.y == b.y && a.z == b.z; }

}  // namespace

TEST(HullBody, CubeRecordBoundTensorAndRadius) {
    const auto body = cubeHull();
    ASSERT_NE(body, nullptr);
    ASSERT_NE(body->mesh, nullptr);
    EXPECT_EQ(body->mesh->numVertices, 8u);
    EXPECT_EQ(body->mesh->numFaces, 6u);
    EXPECT_NEAR(body->mesh->radius, std::sqrt(3.0), 1e-12);
    ASSERT_NE(body->bound, nullptr);
    EXPECT_EQ(body->bound->mesh, body->mesh);
    EXPECT_EQ(body->bound->state, 0);
    EXPECT_NEAR(body->bound->volume, 8.0, 1e-12);
    expectNear(body->transform.boxSize, {2.0, 2.0, 2.0});
    expectNear(body->transform.centreOffset, {0.0, 0.0, 0.0});

    body->init({0.0, 0.0, 0.0}, QmtMatrix3::IDENTITY, UNIT_SCALE);
    body->setMass(6.0f);
    QmtMatrix3 four;
    four.MakeDiagonal(4.0, 4.0, 4.0);
    expectNear(body->inertiaLocal, four, 1e-12);
    // The placed mesh radius (3 * 0.577f) is below half the box diagonal (sqrt 3).
    EXPECT_DOUBLE_EQ(body->transform.unscaledRadius, 1.7310000658035278);

    const std::unique_ptr<ZYLmesh> built(HullBody::buildHullMesh(body->mesh->vertices, 8));
    ASSERT_NE(built, nullptr);
    zyltest::expectWithin(built->centre, {0.0, 0.0, 0.0}, 1e-12);
    EXPECT_NEAR(built->radius, std::sqrt(3.0), 1e-12);
    EXPECT_NE(built->worldVertices, nullptr);
}

TEST(HullBody, MassCentreMovesNoGeometryEvenScaled) {
    const auto body = cubeHull({0.5, 0.0, 0.0});
    body->init({0.5, 0.0, 0.0}, ROT_Z90, {2.0, 2.0, 2.0});
    const QmtVector3 centre = body->computeWCenter();
    const auto before = kindtest::worldVertices(*body);
    body->setMassCenter({1.0, -0.5, 0.25});
    zyltest::expectWithin(body->computeWCenter(), centre, 1e-12);
    kindtest::expectSamePoints(kindtest::worldVertices(*body), before, 1e-12);
}

TEST(HullBody, ModifyUsesFullOrReducedHullAndResetsScale) {
    const auto body = cubeHull();
    body->init({0.0, 0.0, 0.0}, QmtMatrix3::IDENTITY, {2.0, 2.0, 2.0});
    const kindtest::ShapeSnapshot snapshot(*body);
    body->modify(nullptr);
    snapshot.expectUnchanged(*body);

    const auto full = kindtest::spherePoints(511, 10.0);
    body->modify(full.get());
    EXPECT_EQ(body->mesh->numVertices, 511u);
    EXPECT_EQ(body->bound->mesh, body->mesh);
    EXPECT_EQ(body->transform.scale, UNIT_SCALE);
    // The radius still carries the scale the body had (2), then the scale is reset.
    const QmtVector3 b = body->transform.boxSize;
    EXPECT_DOUBLE_EQ(body->transform.radius, 0.5 * std::sqrt(4 * b.x * b.x + 4 * b.y * b.y + 4 * b.z * b.z));
    EXPECT_DOUBLE_EQ(body->transform.unscaledRadius, b.Length() / 2.0);

    // From 512 vertices on, the reduced hull of 512.
    const auto many = kindtest::spherePoints(512, 10.0);
    const std::unique_ptr<ZYLmesh> reduced(buildReducedHullMesh(many.get(), 512));
    body->modify(many.get());
    ASSERT_EQ(body->mesh->numVertices, reduced->numVertices);
    bool sameAsReduced = true;
    for (std::uint32_t i = 0; i < reduced->numVertices; ++i) {
        sameAsReduced = sameAsReduced && identical(body->mesh->vertices[i], reduced->vertices[i]);
    }
    EXPECT_TRUE(sameAsReduced);
    const auto dense = kindtest::spherePoints(2000, 10.0);
    body->modify(dense.get());
    EXPECT_LE(body->mesh->numVertices, 512u);
}

TEST(HullBody, BoundDistanceOnlyBetweenBounds) {
    const auto a = cubeHull();
    const auto b = cubeHull({3.0, 0.0, 0.0});
    a->init({0.0, 0.0, 0.0}, QmtMatrix3::IDENTITY, UNIT_SCALE);
    b->init({3.0, 0.0, 0.0}, QmtMatrix3::IDENTITY, UNIT_SCALE);
    std::uint32_t v[4] = {7, 7, 7, 7};
    std::uint32_t w[4] = {7, 7, 7, 7};
    QmtVector3 p[4];
    const double d = boundDistance(a.get(), b.get(), v[0], v[1], v[2], v[3], p[0], p[1]);
    const double expected = closestFacingFacesSampled(a->bound, b->bound, w[0], w[1], w[2], w[3], p[2], p[3]);
    EXPECT_LT(d, FACE_DISTANCE_NONE);
    EXPECT_EQ(d, expected);
    EXPECT_EQ(p[0], p[2]);

    const auto mesh = meshtest::makeMesh(meshtest::cube());
    const std::unique_ptr<HardBody> capsule(createCapsuleBody(mesh.get()));
    std::uint32_t u[4] = {7, 7, 7, 7};
    QmtVector3 q(5.0, 5.0, 5.0);
    EXPECT_EQ(boundDistance(a.get(), capsule.get(), u[0], u[1], u[2], u[3], q, q), FACE_DISTANCE_NONE);
    EXPECT_EQ(u[0], 7u);
    EXPECT_EQ(q, QmtVector3(5.0, 5.0, 5.0));
}
