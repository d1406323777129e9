#include "engine/bodies/barrierBody.h"

#include <gtest/gtest.h>

#include <memory>

#include "engine/world/engineApi.h"
#include "tests/engine/bodies/bodyKindMeshes.h"

namespace {

using Qmt::QmtMatrix3;
using Qmt::QmtVector3;

std::unique_ptr<BarrierBody> barrierAt(const QmtVector3& point, QmtVector3& normal) {
    return std::unique_ptr<BarrierBody>(static_cast<BarrierBody*>(createBarrierBody(point, normal)));
}

}  // namespace

TEST(BarrierBody, CreatedPlaneIsActiveStaticAndEndless) {
    QmtVector3 normal;  // too short: the plane becomes horizontal
    const QmtVector3 P(1.0, -2.0, 3.0);
    const auto body = barrierAt(P, normal);
    ASSERT_NE(body, nullptr);
    zyltest::expectVec(normal, 0.0, 1.0, 0.0);
    zyltest::expectVec(body->planeNormal, 0.0, 1.0, 0.0);
    EXPECT_EQ(body->planePoint, P);
    EXPECT_EQ(body->getType(), HB_BARRIER);
    EXPECT_TRUE(body->isActive());
    EXPECT_TRUE(body->isStatic());
    EXPECT_EQ(body->computeEnergy(), 3.4028234663852886e38);
    EXPECT_EQ(body->getRestitutionCoeff(), 0.30000001192092896);
    EXPECT_EQ(body->getFrictionCoeff(), 0.699999988079071);
    EXPECT_EQ(body->getDyn().position, P);
    EXPECT_EQ(body->getLastDyn().position, P);
    // Identity moved to the plane point (unit mass).
    zyltest::expectNear(body->inertiaLocal, QmtMatrix3(14, 2, -3, 2, 11, 6, -3, 6, 6), 1e-12);

    // A normal is kept as given, unit or not.
    QmtVector3 tilted(0.0, 0.0, 2.0);
    const auto other = barrierAt(P, tilted);
    zyltest::expectVec(other->planeNormal, 0.0, 0.0, 2.0);
}

TEST(BarrierBody, MassCentreMovesThePlaneOnlyAndModifyDoesNothing) {
    QmtVector3 normal(0.0, 1.0, 0.0);
    const auto body = barrierAt({0.0, 0.0, 0.0}, normal);
    const kindtest::ShapeSnapshot snapshot(*body);
    const auto mesh = meshtest::makeMesh(meshtest::cube());
    body->modify(mesh.get());
    snapshot.expectUnchanged(*body);
    body->setMassCenter({0.0, 5.0, 0.0});
    zyltest::expectVec(body->planePoint, 0.0, 5.0, 0.0);
    zyltest::expectVec(body->getDyn().position, 0.0, 0.0, 0.0);
}
