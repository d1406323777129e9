#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>

#include "engine/bodies/sampleBody.h"
#include "geometry/testMeshes.h"
#include "testSupport.h"

using Qmt::QmtMatrix3;
using Qmt::QmtVector3;
using Qmt::Quaternion;
using zyltest::expectNear;
using zyltest::expectVec;
using zyltest::place;
using zyltest::SampleBody;

namespace {

void step(SampleBody& b, double dt) {
    b.integrateVelocities(dt, true);
    b.integratePositions(dt);
}

}  // namespace

TEST(BodyMotion, ClosedFormsOfOneWorldStep) {
    // Constant force on mass 2: lastDyn is stored once, so every substep's trapezoid
    // uses the velocity of the step's start.
    SampleBody b;
    place(b, {0, 10, 0});
    b.setMass(2.0f);
    b.setLinearVelocity({1, 2, 0});
    b.addDynForces({0, -19.6, 0});
    b.storeDynState();
    const double dt = 0.01;
    for (int i = 0; i < 10; ++i) {
        step(b, dt);
    }
    expectNear(b.dyn.v, {1, 2 - 10 * dt * 9.8, 0}, 1e-12);
    EXPECT_NEAR(b.dyn.position.y, 10 + 10 * dt * 2 - dt * dt * 9.8 / 2 * 55, 1e-12);
    EXPECT_NEAR(b.dyn.position.x, 10 * dt, 1e-12);
    EXPECT_EQ(b.dyn.integratedPosition.y, b.dyn.position.y);

    // Isotropic spin without torque turns by exactly dt |w| per step.
    SampleBody s;
    place(s);
    s.setAngularVelocity({0, 0, 2});
    s.storeDynState();
    for (int i = 1; i <= 5; ++i) {
        s.integratePositions(dt);
        const double angle = i * dt * 2;
        EXPECT_TRUE(zyltest::Near(s.dyn.orientation, Quaternion(std::cos(angle / 2), 0, 0, std::sin(angle / 2)), 1e-12));
    }
    expectVec(s.dyn.w, 0, 0, 2);

    // Damping 0.5 over 1/100 s halves v and L; a static body does not move at all.
    SampleBody d;
    place(d);
    d.airDamping = 0.5;
    d.airDamping2 = 0.5;
    d.setLinearVelocity({4, 0, 0});
    d.setAngularVelocity({0, 8, 0});
    d.integrateVelocities(0.01, true);
    expectNear(d.dyn.v, {2, 0, 0}, 1e-15);
    expectNear(d.dyn.L, {0, 4, 0}, 1e-15);
    d.enableStatic();
    const RBDynamics before = d.dyn;
    d.integratePositions(0.01);
    EXPECT_EQ(std::memcmp(&before, &d.dyn, sizeof(RBDynamics)), 0);

    // A zero step leaves the state finite.
    d.disableStatic();
    d.applyTorque({1, 0, 0});
    d.integratePositions(0.0);
    EXPECT_TRUE(std::isfinite(d.dyn.orientation.W()));
    EXPECT_EQ(d.dyn.orientation, Quaternion::IDENTITY);
}

TEST(BodyMotion, OrientationStaysOnTheSideOfTheLastOne) {
    std::mt19937 rng(11);
    std::uniform_real_distribution<double> u(-400.0, 400.0);
    for (int trial = 0; trial < 200; ++trial) {
        SampleBody b;
        b.moments = {1.0, 2.0, 3.0};
        place(b);
        b.setAngularVelocity({u(rng), u(rng), u(rng)});
        for (int k = 0; k < 20; ++k) {
            b.storeDynState();
            b.integratePositions(0.01);
            ASSERT_GE(b.dyn.orientation.Dot(b.lastDyn.orientation), -1e-5) << trial << " " << k;
            ASSERT_NEAR(b.dyn.orientation.Length(), 1.0, 1e-12);
        }
    }
}

TEST(BodyMotion, HasMovedThresholds) {
    SampleBody b;
    place(b);
    b.storeDynState();
    EXPECT_FALSE(b.hasMoved());  // inactive
    b.activate();
    b.translate({0.003, 0, 0});  // 9e-6
    EXPECT_FALSE(b.hasMoved());
    b.translate({0.001, 0, 0});  // 1.6e-5
    EXPECT_TRUE(b.hasMoved());
    b.setPosition(b.lastDyn.position);
    b.setOrientation(Quaternion(QmtVector3::UNIT_Y, 1e-6));
    EXPECT_FALSE(b.hasMoved());
    b.setOrientation(Quaternion(QmtVector3::UNIT_Y, 1e-4));
    EXPECT_TRUE(b.hasMoved());

    // A deforming mesh always counts, and getMesh places it first.
    b.setOrientation(Quaternion::IDENTITY);
    b.setMesh(meshtest::makeMesh(meshtest::cube()).release());
    b.mesh->velocityFlag = 1;
    b.setPosition({0, 0, 0.001});
    EXPECT_TRUE(b.hasMoved());
    EXPECT_EQ(b.mesh->translation.z, 0.001);
}

TEST(BodyMotion, CorrectionsStayInsideTheSweptRange) {
    auto sweptBody = [](double extraction) {
        SampleBody b;
        place(b);
        b.storeDynState();
        b.setLinearVelocity({2, 0, 0});
        b.integratePositions(1.0);  // swept x from 0 to 1
        b.enableWorldUpdate();
        b.setExtractionCoeff(extraction);
        return b;
    };
    for (const double e : {0.0, 0.25}) {
        SampleBody b = sweptBody(e);
        b.applyDisplacement({3, 0, 0}, {});
        expectVec(b.dyn.position, 1, 0, 0);  // snapped to the end, not to the margin
        EXPECT_FALSE(b.isWorldModified());
        b.applyDisplacement({-1.2, 0.1, 0}, {});
        expectNear(b.dyn.position, {e == 0.0 ? 0.0 : -0.2, e == 0.0 ? 0.0 : 0.1, 0}, 1e-15);
    }
    SampleBody free = sweptBody(1.0);
    free.applyDisplacement({3, 0, 0}, {});
    expectVec(free.dyn.position, 4, 0, 0);

    // The turn is clamped into the orientations of the step: none here.
    free.applyDisplacement({}, {0, 0, 0.5});
    EXPECT_EQ(free.dyn.orientation, Quaternion::IDENTITY);

    // rotate turns only above |b|^2 = 1e-5 and always clears the world-state bit.
    SampleBody r;
    place(r);
    r.enableWorldUpdate();
    r.rotate({0.003, 0, 0});
    EXPECT_EQ(r.dyn.orientation, Quaternion::IDENTITY);
    EXPECT_FALSE(r.isWorldModified());
    r.rotate({0.004, 0, 0});
    EXPECT_TRUE(zyltest::Near(r.dyn.orientation, Quaternion(QmtVector3::UNIT_X, 0.004), 1e-15));
}

TEST(BodyMotion, SettersAndTheirSideEffects) {
    SampleBody b;
    place(b);
    b.setMass(2.0f);
    b.setAngularVelocity({0, 0, 1});
    b.enableWorldUpdate();
    b.setLinearVelocity({1, 0, 0});
    EXPECT_TRUE(b.isWorldModified());
    expectVec(b.dyn.L, 0, 0, 2);
    const QmtVector3 w = b.dyn.w;
    b.setOrientation(Quaternion(QmtVector3::UNIT_X, 0.5));
    EXPECT_FALSE(b.isWorldModified());
    expectVec(b.dyn.w, w.x, w.y, w.z);  // w is not recomputed
    EXPECT_EQ(b.dyn.integratedOrientation, b.dyn.orientation);
    b.setRotationMatrix(QmtMatrix3::IDENTITY);
    EXPECT_EQ(b.dyn.orientation, Quaternion::IDENTITY);
    b.setPosition({1, 2, 3});
    expectVec(b.dyn.integratedPosition, 1, 2, 3);

    b.storeDynState();
    b.translate({1, 0, 0});
    b.storeDynState();
    b.restoreDynState();
    expectVec(b.dyn.position, 2, 2, 3);
    expectVec(b.lastDyn.position, 1, 2, 3);
}
