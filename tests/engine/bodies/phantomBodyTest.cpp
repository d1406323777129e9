#include "engine/bodies/phantomBody.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "engine/world/engineApi.h"
#include "tests/engine/bodies/bodyKindMeshes.h"

namespace {

using kindtest::UNIT_SCALE;
using Qmt::QmtMatrix3;
using Qmt::QmtVector3;
using zyltest::expectNear;
using zyltest::ROT_Z90;

// A phantom of the box [0,1] x [0,2] x [0,4]: sides 1, 2, 4.
std::unique_ptr<HardBody> boxPhantom() {
    const auto mesh = meshtest::makeMesh(meshtest::box({0, 0, 0}, {1, 2, 4}));
    return std::unique_ptr<HardBody>(createPhantomBody(mesh.get()));
}

QmtMatrix3 diagonal(double a, double b, double c) {
    QmtMatrix3 m;
    m.MakeDiagonal(a, b, c);
    return m;
}

}  // namespace

TEST(PhantomBody, CreatorRecordsTheWorldBox) {
    const auto body = boxPhantom();
    ASSERT_NE(body, nullptr);
    EXPECT_EQ(body->getType(), HB_PHANTOM);
    expectNear(body->transform.centreOffset, {0.5, 1.0, 2.0});
    expectNear(body->transform.boxSize, {1.0, 2.0, 4.0});
    for (unsigned i = 0; i < 3; ++i) {
        EXPECT_NEAR(std::fabs(body->transform.localAxes(i, i)), 1.0, 1e-12);
    }
    ASSERT_NE(body->mesh, nullptr);
    EXPECT_EQ(body->mesh->numVertices, 8u);
    // The box mesh carries its own corner distance, not 0.
    EXPECT_NEAR(body->mesh->radius, std::sqrt(5.25), 1e-12);
    EXPECT_FALSE(body->isActive());
}

TEST(PhantomBody, InitKeepsTheBoxInTheWorldAndBuildsTheTensor) {
    const auto body = boxPhantom();
    const QmtVector3 S(2.0, 1.0, 0.5);
    body->init({3.0, -1.0, 2.0}, ROT_Z90, S);
    EXPECT_TRUE(body->isActive());
    EXPECT_EQ(body->transform.unscaledRadius, 2.0);
    EXPECT_EQ(body->transform.radius, 4.0);
    // Every placed vertex is still a corner of the original box.
    for (const QmtVector3& p : kindtest::worldVertices(*body)) {
        for (const auto& [value, side] : {std::pair{p.x, 1.0}, {p.y, 2.0}, {p.z, 4.0}}) {
            EXPECT_NEAR(std::fmin(std::fabs(value), std::fabs(value - side)), 0.0, 1e-12);
        }
    }

    // Centred on the box: the plain box tensor m/12 (sides squared).
    const auto centred = boxPhantom();
    centred->init({0.5, 1.0, 2.0}, QmtMatrix3::IDENTITY, UNIT_SCALE);
    centred->setMass(12.0f);
    expectNear(centred->inertiaLocal, diagonal(20.0, 17.0, 5.0), 1e-12);
    expectNear(centred->invInertiaLocal * centred->inertiaLocal, QmtMatrix3::IDENTITY, 1e-12);

    // About the box's corner: shifted by c = (0.5, 1, 2).
    const auto corner = boxPhantom();
    corner->init({0.0, 0.0, 0.0}, QmtMatrix3::IDENTITY, UNIT_SCALE);
    corner->setMass(12.0f);
    expectNear(corner->inertiaLocal, QmtMatrix3(80, -6, -12, -6, 68, -24, -12, -24, 20), 1e-12);
}

TEST(PhantomBody, MassCentreMovesNoGeometryEvenScaled) {
    const auto body = boxPhantom();
    body->init({0.5, 1.0, 2.0}, ROT_Z90, {2.0, 2.0, 2.0});
    const QmtVector3 centre = body->computeWCenter();
    const auto before = kindtest::worldVertices(*body);
    const QmtVector3 c(0.7, -0.4, 1.1);
    body->setMassCenter(c);
    EXPECT_EQ(body->getDyn().position, c);
    EXPECT_EQ(body->getLastDyn().position, c);
    zyltest::expectWithin(body->computeWCenter(), centre, 1e-12);
    kindtest::expectSamePoints(kindtest::worldVertices(*body), before, 1e-12);
}

TEST(PhantomBody, ModifyRefitsTheBoxOrIgnoresNull) {
    const auto body = boxPhantom();
    body->init({1.0, 0.0, 0.0}, ROT_Z90, UNIT_SCALE);
    const kindtest::ShapeSnapshot snapshot(*body);
    body->modify(nullptr);
    snapshot.expectUnchanged(*body);
    const auto cube = meshtest::makeMesh(meshtest::cube(3.0));
    body->modify(cube.get());
    zyltest::expectWithin(body->computeWCenter(), {1.5, 1.5, 1.5}, 1e-12);
    expectNear(body->transform.boxSize, {3.0, 3.0, 3.0});
}
