#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "testSupport.h"
#include "worldTestBodies.h"

using Qmt::QmtVector3;
using zyltest::bodiesOf;
using zyltest::indicesOf;
using zyltest::makeBody;
using zyltest::SampleBody;

using Bodies = std::vector<HardBody*>;

namespace {

constexpr double S = PrivateWorld::SUBSTEP;

// Counts its integrations and falls asleep in the substep given.
class CountingBody : public SampleBody {
public:
    int velocitySteps = 0;
    int positionSteps = 0;
    int sleepAt = -1;

    void integrateVelocities(double dt, bool damping) override {
        SampleBody::integrateVelocities(dt, damping);
        if (++velocitySteps == sleepAt) {
            deActivate();
        }
    }
    void integratePositions(double dt) override {
        SampleBody::integratePositions(dt);
        ++positionSteps;
    }
};

struct FreeFall {
    double v = 0.0;
    double y = 0.0;
};

// Free fall at g = -10 from rest over the given substeps: each substep adds g h to the
// velocity and moves by the mean of the step's start velocity and the new one.
FreeFall freeFall(const std::vector<double>& substeps) {
    FreeFall f;
    for (const double h : substeps) {
        f.v += -10.0 * h;
        f.y += f.v * (h / 2.0);
    }
    return f;
}

}  // namespace

TEST(WorldStep, SubstepScheduleInFreeFall) {
    struct Case {
        double dt;
        std::vector<double> substeps;
    };
    const double r5 = (1.0 / 30.0) / 5.0 / S;  // one unit in the last place below 2
    const std::vector<Case> cases = {
        {1.0 / 30.0, std::vector<double>(10, S)},
        {1.0 / 120.0, {S, S, 0.5 * S}},
        {(1.0 / 30.0) / 5.0, {S, (r5 - 1.0) * S}},
        {1.0 / 150.0, {S, S}},
        {(1.0 / 60.0) / 5.0, {(1.0 / 60.0) / 5.0}},
        {1.0 / 600.0, {1.0 / 600.0}},
        {0.0, {0.0}},
    };
    for (const Case& c : cases) {
        PrivateWorld world;
        SampleBody* body = makeBody(1);
        world.addBody(body, 0);
        std::uint64_t out = 99;
        EXPECT_TRUE(world.step(c.dt, &out));
        EXPECT_EQ(out, 0u);
        const FreeFall expected = freeFall(c.substeps);
        EXPECT_DOUBLE_EQ(body->getDyn().v.y, expected.v) << c.dt;
        EXPECT_DOUBLE_EQ(body->getDyn().position.y, expected.y) << c.dt;
        EXPECT_EQ(world.currentDt, c.substeps.back()) << c.dt;
        EXPECT_EQ(world.activeBodyCount, 1u);
    }
}

TEST(WorldStep, GravityFlagMassAndDamping) {
    PrivateWorld world;
    SampleBody* heavy = makeBody(1);
    heavy->setMass(2.0f);
    world.addBody(heavy, 0);
    world.step(1.0 / 600.0, nullptr);
    EXPECT_EQ(heavy->getDyn().force, QmtVector3(0, -20, 0));
    EXPECT_DOUBLE_EQ(heavy->getDyn().v.y, -10.0 / 600.0);

    // m |v|^2 + L . w; m v; L + m x cross v.
    heavy->setAngularVelocity({0, 0, 1});
    EXPECT_DOUBLE_EQ(world.computeEnergyAndMomentum(), 2.0 * heavy->getDyn().v.SquaredLength() + 2.0);
    EXPECT_EQ(world.GetMomentumLineal(), heavy->getDyn().v * 2.0);
    EXPECT_EQ(world.GetMomentumAngular(), QmtVector3(0, 0, 2));

    world.disableGravity();
    const RBDynamics before = heavy->getDyn();
    world.step(1.0 / 30.0, nullptr);
    EXPECT_EQ(heavy->getDyn().force, QmtVector3::ZERO);
    EXPECT_EQ(heavy->getDyn().v, before.v);
    EXPECT_NEAR(heavy->getDyn().position.y, before.position.y + before.v.y / 30.0, 1e-15);

    // Air damping 0.5 halves the velocity every 1/100 s, only with the world's switch.
    for (const bool damping : {true, false}) {
        PrivateWorld w;
        SampleBody* body = makeBody(1);
        body->setAirDampingCoeff(0.5);
        w.addBody(body, 0);
        if (!damping) {
            w.disableAirDamping();
        }
        w.step(1.0 / 30.0, nullptr);
        const double f = damping ? std::pow(0.5, 100.0 * S) : 1.0;
        double v = 0.0;
        for (int k = 0; k < 10; ++k) {
            v = (v - 10.0 * S) * f;
        }
        EXPECT_NEAR(body->getDyn().v.y, v, 1e-15) << damping;
    }
}

TEST(WorldStep, SleepAndWake) {
    PrivateWorld world;
    auto* sleeper = new CountingBody;
    zyltest::place(*sleeper);
    sleeper->transform.index = 2;
    sleeper->sleepAt = 4;
    HardBody* other = makeBody(1);
    HardBody* fixed = makeBody(5);
    fixed->enableStatic();
    for (HardBody* b : {static_cast<HardBody*>(sleeper), other, fixed}) {
        world.addBody(b, 0);
    }
    world.addBody(makeBody(0), 0);
    world.deactivateBody(world.aBodies.head->next->value);  // a deactivated body first in line

    world.step(1.0 / 30.0, nullptr);
    // Asleep in substep 4: integrated 3 times, then at the front of both sleep lists.
    EXPECT_EQ(sleeper->positionSteps, 3);
    EXPECT_EQ(world.adeActivatedBodies.head->next->value, sleeper);
    EXPECT_EQ(bodiesOf(world.aReactivationBodies), (Bodies{sleeper}));
    EXPECT_EQ(bodiesOf(world.aBodies), (Bodies{other}));
    EXPECT_EQ(world.nDynamicBodies, 2);  // counts unchanged
    EXPECT_EQ(world.nBodies, 3);
    EXPECT_EQ(world.activeBodyCount, 2u);  // one integrated + one static
    const QmtVector3 frozen = sleeper->getDyn().position;

    world.step(1.0 / 30.0, nullptr);
    EXPECT_EQ(sleeper->getDyn().position, frozen);
    EXPECT_EQ(sleeper->positionSteps, 3);

    // Woken: back at the front of aBodies in the next substep.
    sleeper->activate();
    world.step(S, nullptr);
    EXPECT_EQ(bodiesOf(world.aBodies), (Bodies{sleeper, other}));
    EXPECT_EQ(sleeper->positionSteps, 4);
    EXPECT_EQ(world.activeBodyCount, 3u);
}

TEST(WorldStep, FirstHitBodiesAndContactStates) {
    {
        PrivateWorld world;
        HardBody* hit = makeBody(3);  // static-listed and hit: becomes dynamic
        hit->enableStatic();
        world.addBody(hit, 0);
        hit->enableFirstHit();
        hit->disableStatic();
        HardBody* waiting = makeBody(4);  // dynamic-listed, static and waiting: becomes static
        world.addBody(waiting, 0);
        waiting->enableFirstHit();
        waiting->enableStatic();
        world.addBody(makeBody(1), 0);
        world.step(S, nullptr);
        EXPECT_EQ(indicesOf(world.aBodies), (std::vector<std::int32_t>{1, 3}));
        EXPECT_EQ(bodiesOf(world.aStaticBodies), (Bodies{waiting}));
        EXPECT_EQ(world.nDynamicBodies + world.nStaticBodies, world.nBodies);
    }
    PrivateWorld world;
    HardBody* hitStatic = makeBody(1);  // first hit, static bit clear, still static-listed
    hitStatic->enableStatic();
    world.addBody(hitStatic, 0);
    hitStatic->enableFirstHit();
    hitStatic->disableStatic();
    HardBody* held = makeBody(2);
    HardBody* touching = makeBody(3);
    HardBody* asleep = makeBody(4);
    for (HardBody* b : {held, touching, asleep}) {
        world.addBody(b, 0);
    }
    world.deactivateBody(asleep);
    asleep->getDyn().integratedPosition = QmtVector3(9, 9, 9);
    for (HardBody* b : {hitStatic, held, touching, asleep}) {
        b->setContactStage(5);
        b->enableInContact();
        b->enableWorldUpdate();
        b->setCollisionState(MOTION_TOUCHING);
    }
    held->setCollisionState(MOTION_HELD);

    EXPECT_TRUE(world.manageCollisions(0.25));
    EXPECT_TRUE(hitStatic->isStatic());
    for (HardBody* b : {hitStatic, held, touching, asleep}) {
        // Detection keeps the ground at stage 0; dynamic bodies it does not reach get -1.
        EXPECT_EQ(b->getContactStage(), b == held || b == touching ? -1 : 0);
        EXPECT_FALSE(b->isInContact());
        EXPECT_FALSE(b->isWorldModified());
    }
    EXPECT_EQ(held->getCollisionState(), MOTION_HELD);
    EXPECT_EQ(touching->getCollisionState(), MOTION_FREE);
    EXPECT_EQ(asleep->getDyn().integratedPosition, asleep->getDyn().position);
}

TEST(WorldStep, ClearAndReset) {
    PrivateWorld world;
    world.disableGravity();
    std::vector<HardBody*> bodies;
    for (const std::int32_t i : {1, 2, 3, 4}) {
        bodies.push_back(makeBody(i));
        world.addBody(bodies.back(), 0);
    }
    HardBody* fixed = makeBody(6);
    fixed->enableStatic();
    world.addBody(fixed, 0);
    bodies[0]->deActivate();  // falls asleep in the next step
    bodies[2]->deActivate();
    bodies[3]->enableFirstHit();
    world.step(S, nullptr);
    ASSERT_EQ(world.aReactivationBodies.count, 2u);
    world.lastStepTime = 3.0;

    world.clear();
    EXPECT_EQ(indicesOf(world.aBodies), (std::vector<std::int32_t>{1, 2, 3}));
    EXPECT_EQ(indicesOf(world.aStaticBodies), (std::vector<std::int32_t>{4, 6}));
    EXPECT_FALSE(bodies[3]->isStatic());  // its static bit waits for the contact reset
    EXPECT_EQ(world.aReactivationBodies.count + world.adeActivatedBodies.count, 0u);
    EXPECT_EQ((std::vector{world.nDynamicBodies, world.nStaticBodies, world.nBodies}),
              (std::vector{3, 2, 5}));
    EXPECT_EQ(world.lastStepTime, 0.0);

    world.timeScale = 0.5;
    EXPECT_TRUE(world.reset());
    EXPECT_EQ(world.nBodies, 0);
    EXPECT_EQ(world.timeScale, 1.0);
}

TEST(WorldStep, OneSecondOfFramesIsExactAndRepeatable) {
    const auto run = [] {
        PrivateWorld world;
        SampleBody* body = makeBody(1);
        world.addBody(body, 0);
        const double dt = (1.0 / 30.0) / 5.0;
        for (int frame = 0; frame < 30; ++frame) {
            for (int sub = 0; sub < 5; ++sub) {
                EXPECT_TRUE(world.manageCollisions(dt));
                world.step(dt, nullptr);
            }
        }
        return body->getDyn();
    };
    const RBDynamics a = run();
    EXPECT_NEAR(a.v.y, -10.0, 1e-12);
    EXPECT_NEAR(a.position.y, -4.9916666666666565, 1e-9);
    const RBDynamics b = run();
    EXPECT_EQ(std::memcmp(&a, &b, sizeof a), 0);
}
