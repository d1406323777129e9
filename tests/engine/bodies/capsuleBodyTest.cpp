#include "engine/bodies/capsuleBody.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "engine/world/engineApi.h"
#include "geometry/bounds/boxFit.h"
#include "tests/engine/bodies/bodyKindMeshes.h"

namespace {

using kindtest::UNIT_SCALE;
using Qmt::QmtMatrix3;
using Qmt::QmtVector3;
using zyltest::expectNear;
using zyltest::expectWithin;
using zyltest::ROT_Z90;

// A mesh of the points alone (no faces).
std::unique_ptr<ZYLmesh> pointMesh(const std::vector<QmtVector3>& points) {
    auto mesh = std::make_unique<ZYLmesh>();
    mesh->numVertices = static_cast<std::uint32_t>(points.size());
    mesh->vertices = new QmtVector3[points.size()];
    std::copy(points.begin(), points.end(), mesh->vertices);
    return mesh;
}

std::unique_ptr<CapsuleBody> capsuleOf(const ZYLmesh* mesh, bool cracker = false) {
    return std::unique_ptr<CapsuleBody>(
        static_cast<CapsuleBody*>(cracker ? createCrackerBody(mesh) : createCapsuleBody(mesh)));
}

void expectSameCapsule(const ZYLcapsule& a, const ZYLcapsule& b, double tol) {
    expectWithin(a.centre, b.centre, tol);
    expectWithin(a.axis, b.axis, tol);
    EXPECT_NEAR(a.length, b.length, tol);
    EXPECT_NEAR(a.radius, b.radius, tol);
}

}  // namespace

TEST(CapsuleBody, CreatorRecordsTheFittedCapsuleAndItsBox) {
    const auto mesh = pointMesh({{-2, 0.5, 0}, {2, 0.5, 0}, {0, 1.5, 0}, {0, -0.5, 0}});
    QmtVector3 a;
    QmtVector3 b;
    double r = 0.0;
    fitCapsule(4, mesh->vertices, a, b, r);
    const auto body = capsuleOf(mesh.get());
    ASSERT_NE(body, nullptr);
    EXPECT_EQ(body->getType(), HB_CAPSULE);
    const double L = (b - a).Length();
    ASSERT_GT(L, 1.0);
    const ZYLcapsule& record = body->capsule;
    EXPECT_EQ(body->worldCapsule.capsule, &body->capsule);
    expectWithin(record.centre, (a + b) / 2.0);
    expectWithin(record.axis, (b - a) / L);
    EXPECT_EQ(record.length, L);
    EXPECT_EQ(record.radius, r);
    expectWithin(body->transform.centreOffset, (a + b) / 2.0);
    expectWithin(body->transform.boxSize, {2 * r, 2 * r, L + 2 * r});
    expectWithin(body->transform.localAxes.GetColumn(2), record.axis);
    EXPECT_EQ(body->localCapsule.capsule, nullptr);

    // Points on one spot: no record axis, but a frame along x.
    const auto octahedron = pointMesh({{1, 0, 0}, {-1, 0, 0}, {0, 1, 0}, {0, -1, 0}, {0, 0, 1}, {0, 0, -1}});
    const auto ball = capsuleOf(octahedron.get());
    zyltest::expectVec(ball->capsule.axis, 0, 0, 0);
    EXPECT_EQ(ball->capsule.length, 0.0);
    const double R = ball->capsule.radius;
    expectWithin(ball->transform.boxSize, {2 * R, 2 * R, 2 * R});
    expectWithin(ball->transform.localAxes.GetColumn(2), {1, 0, 0});
}

TEST(CapsuleBody, CrackerDiffersOnlyInKind) {
    const auto mesh = meshtest::makeMesh(meshtest::box({0, 0, 0}, {1, 1, 3}));
    const auto capsule = capsuleOf(mesh.get());
    const auto cracker = capsuleOf(mesh.get(), true);
    const ZYLcapsule created = capsule->capsule;
    for (CapsuleBody* body : {capsule.get(), cracker.get()}) {
        body->init({0.2, 0.3, 1.4}, ROT_Z90, {2.0, 2.0, 2.0});
        body->setMass(3.0f);
    }
    EXPECT_EQ(capsule->getType(), HB_CAPSULE);
    EXPECT_EQ(cracker->getType(), HB_CRACKER);
    expectNear(capsule->inertiaLocal, cracker->inertiaLocal, 0.0);
    expectWithin(capsule->getBbox().centre, cracker->getBbox().centre, 0.0);
    expectSameCapsule(*capsule->computeBboxAndAxis(true), *cracker->computeBboxAndAxis(true), 0.0);
    // Placed back in the world, the local capsule is the one the creator made.
    EXPECT_EQ(capsule->computeBboxAndAxis(true), &capsule->capsule);
    expectSameCapsule(capsule->capsule, created, 1e-12);
    EXPECT_EQ(capsule->computeBboxAndAxis(false), capsule->localCapsule.capsule);
}

TEST(CapsuleBody, MassCentreMovesNoGeometryEvenScaled) {
    const auto mesh = meshtest::makeMesh(meshtest::box({0, 0, 0}, {1, 1, 3}));
    const auto body = capsuleOf(mesh.get());
    body->init({0.5, 0.5, 1.5}, ROT_Z90, {2.0, 2.0, 2.0});
    const QmtVector3 centre = body->computeWCenter();
    const auto before = kindtest::worldVertices(*body);
    body->setMassCenter({0.1, 0.9, 2.0});
    expectWithin(body->computeWCenter(), centre, 1e-12);
    expectWithin(body->localCapsule.capsule->centre, body->transform.centreOffset, 0.0);
    kindtest::expectSamePoints(kindtest::worldVertices(*body), before, 1e-12);
}

TEST(CapsuleBody, ModifyRefitsOrIgnoresNull) {
    const auto mesh = meshtest::makeMesh(meshtest::box({0, 0, 0}, {1, 1, 3}));
    const auto body = capsuleOf(mesh.get());
    body->init({0.5, 0.5, 1.5}, ROT_Z90, UNIT_SCALE);
    const kindtest::ShapeSnapshot snapshot(*body);
    body->modify(nullptr);
    snapshot.expectUnchanged(*body);

    // A world mesh along x: the placed capsule is the capsule fitted to it.
    const auto longBox = meshtest::makeMesh(meshtest::box({-3, 0, 0}, {3, 1, 1}));
    QmtVector3 a;
    QmtVector3 b;
    double r = 0.0;
    fitCapsule(8, longBox->vertices, a, b, r);
    body->modify(longBox.get());
    const ZYLcapsule& placed = *body->computeBboxAndAxis(true);
    expectWithin(placed.centre, (a + b) / 2.0, 1e-12);
    EXPECT_NEAR(placed.length, (b - a).Length(), 1e-12);
    EXPECT_NEAR(std::fabs(placed.axis.Dot((b - a) / (b - a).Length())), 1.0, 1e-12);
    expectWithin(body->computeWCenter(), (a + b) / 2.0, 1e-12);
}
