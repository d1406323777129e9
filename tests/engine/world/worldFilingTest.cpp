#include <gtest/gtest.h>

#include <cstdint>
#include <memory>

#include "engine/fracture/dynamicStress.h"
#include "testSupport.h"
#include "worldTestBodies.h"

using Qmt::QmtVector3;
using zyltest::bodiesOf;
using zyltest::makeBody;
using zyltest::SampleBody;

using Bodies = std::vector<HardBody*>;

TEST(WorldFiling, OrderCountsIndicesAndLayers) {
    PrivateWorld world;
    HardBody* first5 = makeBody(5);
    HardBody* b3 = makeBody(3);
    HardBody* second5 = makeBody(5);
    for (HardBody* b : {first5, b3, second5}) {
        EXPECT_TRUE(world.addBody(b, 0));
    }
    EXPECT_EQ(bodiesOf(world.aBodies), (Bodies{b3, first5, second5}));
    EXPECT_TRUE(b3->isActive());

    // -1 takes the counter, which moves on; a higher given index lifts it.
    const std::int32_t next = bodyIndexCounter;
    HardBody* fresh = makeBody(-1);
    world.addBody(fresh, 0);
    EXPECT_EQ(fresh->transform.index, next);
    world.addBody(makeBody(next + 10), 0);
    EXPECT_EQ(bodyIndexCounter, next + 11);

    // Filed twice: one entry, counted twice; removed once.
    world.addBody(b3, 0);
    EXPECT_EQ(world.aBodies.count, 5u);
    EXPECT_EQ(world.nBodies, 6);
    EXPECT_TRUE(world.removeBody(b3));
    EXPECT_EQ(world.nBodies, 5);
    EXPECT_EQ(world.nDynamicBodies, 4);
    EXPECT_FALSE(world.contains(b3));
    delete b3;

    first5->setLayer(2);
    EXPECT_TRUE(world.removeBody(first5));  // a layered body stays filed
    EXPECT_TRUE(world.contains(first5));
    EXPECT_FALSE(world.addBody(nullptr, 0));
}

TEST(WorldFiling, FlaggedBodiesCrackersAndBarriers) {
    PrivateWorld world;
    auto fragment = std::unique_ptr<SampleBody>(makeBody(1));
    fragment->setLayer(3);
    EXPECT_TRUE(world.addBody(fragment.get(), 1));
    EXPECT_EQ(fragment->getLayer(), 3);
    EXPECT_FALSE(world.contains(fragment.get()));

    // Filed at the front whatever the flag, without index or counts, never found.
    HardBody* cracker = makeBody(-1, "cracker", HB_CRACKER);
    HardBody* cracker2 = makeBody(-1, "cracker2", HB_CRACKER);
    HardBody* barrier = makeBody(-1, "barrier", HB_BARRIER);
    for (HardBody* b : {cracker, cracker2, cracker2, barrier}) {
        EXPECT_TRUE(world.addBody(b, 1));
    }
    EXPECT_EQ(bodiesOf(world.aCrackers), (Bodies{cracker2, cracker}));
    EXPECT_TRUE(cracker->isActive());
    EXPECT_EQ(cracker->transform.index, -1);
    EXPECT_EQ(world.nBodies, 0);
    EXPECT_FALSE(world.contains(cracker));
    EXPECT_TRUE(world.contains(barrier));
    EXPECT_EQ(world.findBodyByName("cracker"), nullptr);
    EXPECT_EQ(world.findBodyByName("barrier"), nullptr);
}

TEST(WorldFiling, StaticBodiesAndSwitches) {
    PrivateWorld world;
    SampleBody* body = makeBody(4);
    body->enableStatic();
    body->setLinearVelocity({1, 2, 3});
    body->setAngularVelocity({0, 1, 0});
    body->setContactStage(7);
    world.addBody(body, 0);
    EXPECT_EQ(body->getDyn().v, QmtVector3::ZERO);
    EXPECT_EQ(body->getDyn().w, QmtVector3::ZERO);
    EXPECT_EQ(body->getContactStage(), 0);
    EXPECT_EQ(bodiesOf(world.aStaticBodies), (Bodies{body}));

    world.makeDynamic(body, nullptr);
    EXPECT_EQ(bodiesOf(world.aBodies), (Bodies{body}));
    EXPECT_EQ(world.nStaticBodies, 0);
    EXPECT_EQ(world.nDynamicBodies, 1);
    EXPECT_EQ(world.nBodies, 1);

    // Deactivated, then switched to static: zero velocities, nBodies and the index
    // counter unchanged.
    EXPECT_TRUE(world.deactivateBody(body));
    EXPECT_FALSE(body->isActive());
    EXPECT_EQ(world.nBodies, 0);
    body->setLinearVelocity({0, 5, 0});
    const std::int32_t counter = bodyIndexCounter;
    world.switchStaticDynamic(body, false);
    EXPECT_TRUE(body->isActive());
    EXPECT_EQ(body->getDyn().v, QmtVector3::ZERO);
    EXPECT_EQ(bodiesOf(world.aStaticBodies), (Bodies{body}));
    EXPECT_EQ(world.adeActivatedBodies.count, 0u);
    EXPECT_EQ(world.nBodies, 0);
    EXPECT_EQ(world.nDynamicBodies, -1);
    EXPECT_EQ(world.nStaticBodies, 1);
    EXPECT_EQ(bodyIndexCounter, counter);
}

TEST(WorldFiling, JointBreakabilityFollowsStaticState) {
    PrivateWorld world;
    SampleBody* a = makeBody(1);
    SampleBody* b = makeBody(2);
    DynamicStress toB, toWorld;
    ASSERT_TRUE(toB.attach({}, 1, a, b));
    ASSERT_TRUE(toWorld.attach({}, 1, a, nullptr));
    a->joints.pushFront(&toB);
    a->joints.pushFront(&toWorld);
    auto fracture = std::unique_ptr<SampleBody>(makeBody(-1, "", HB_FRACTURE));

    world.makeDynamic(a, fracture.get());
    EXPECT_TRUE(toB.isBreakableByForce() && toWorld.isBreakableByForce());
    b->enableStatic();
    world.makeStatic(a, fracture.get());
    EXPECT_FALSE(toB.isBreakableByForce());
    EXPECT_TRUE(toWorld.isBreakableByForce());  // a missing second body is not static
    world.makeDynamic(a, nullptr);              // no fracture body: joints untouched
    EXPECT_FALSE(toB.isBreakableByForce());

    EXPECT_FALSE(world.breakFractureJoint(&toB, nullptr));
    EXPECT_TRUE(world.breakFractureJoint(&toB, b));
    EXPECT_FALSE(world.addFractureJoint(nullptr, fracture.get()));
    a->joints.clear();
    delete b;
}

TEST(WorldLookup, FindByNameOrderAndTeardown) {
    PrivateWorld world;
    HardBody* dynamic = makeBody(1, "twin");
    HardBody* asleep = makeBody(2, "twin");
    HardBody* fixed = makeBody(3, "twin");
    fixed->enableStatic();
    for (HardBody* b : {dynamic, asleep, fixed}) {
        world.addBody(b, 0);
    }
    world.deactivateBody(asleep);
    world.addBody(makeBody(-1, "", HB_CRACKER), 0);
    world.addBody(makeBody(-1, "", HB_BARRIER), 0);
    EXPECT_EQ(world.findBodyByName("twin"), dynamic);
    world.deactivateBody(dynamic);  // at the front of adeActivatedBodies
    EXPECT_EQ(world.findBodyByName("twin"), dynamic);
    world.removeBody(dynamic);
    world.removeBody(asleep);
    EXPECT_EQ(world.findBodyByName("twin"), fixed);
    EXPECT_EQ(world.findBodyByName("twi"), nullptr);
    delete dynamic;
    delete asleep;

    for (std::int32_t i = 4; i < 7; ++i) {
        world.addBody(makeBody(i), 0);
    }
    world.deactivateBody(world.aBodies.head->next->value);
    ASSERT_EQ(world.nDynamicBodies, 2);
    world.timeScale = 0.5;
    EXPECT_EQ(world.deleteFreeBodies(), 2);
    EXPECT_EQ(world.nBodies, 1);
    EXPECT_EQ(world.countBodies(), 1u);
    world.deleteAllBodies();
    EXPECT_EQ(world.nBodies + world.nStaticBodies, 0);
    EXPECT_EQ(world.aCrackers.count + world.aBarriers.count + world.aStaticBodies.count, 0u);
    EXPECT_EQ(world.timeScale, 1.0);

    // clearAllLists keeps the bodies; the destructor deletes what is filed (ASan).
    const Bodies kept = {makeBody(8), makeBody(9), makeBody(-1, "", HB_BARRIER)};
    for (HardBody* b : kept) {
        world.addBody(b, 0);
    }
    EXPECT_EQ(world.clearDynamicLists(), 2);
    EXPECT_EQ(world.nBodies, 0);
    world.clearAllLists();
    EXPECT_EQ(world.aBarriers.count, 0u);
    for (HardBody* b : kept) {
        delete b;
    }
    world.addBody(makeBody(10), 0);
}

// A sleeping body sits in adeActivatedBodies and aReactivationBodies; filing it
// elsewhere or removing it must take it out of both.
TEST(WorldFiling, SleepersLeaveTheReactivationList) {
    PrivateWorld world;
    world.disableGravity();
    SampleBody* sleeper = makeBody(1);
    world.addBody(sleeper, 0);
    sleeper->deActivate();
    world.step(PrivateWorld::SUBSTEP, nullptr);
    ASSERT_EQ(bodiesOf(world.aReactivationBodies), (Bodies{sleeper}));
    world.removeBody(sleeper);
    EXPECT_EQ(world.aReactivationBodies.count, 0u);
    delete sleeper;
    world.step(PrivateWorld::SUBSTEP, nullptr);  // reads no deleted body (ASan)

    // Re-filed while asleep: one entry, integrated once per substep.
    SampleBody* body = makeBody(2);
    world.addBody(body, 0);
    body->deActivate();
    world.step(PrivateWorld::SUBSTEP, nullptr);
    world.makeDynamic(body, nullptr);
    body->setLinearVelocity({1, 0, 0});
    world.step(PrivateWorld::SUBSTEP, nullptr);
    EXPECT_EQ(bodiesOf(world.aBodies), (Bodies{body}));
    EXPECT_DOUBLE_EQ(body->getDyn().position.x, PrivateWorld::SUBSTEP);

    body->deActivate();
    world.step(PrivateWorld::SUBSTEP, nullptr);
    world.reinsertBody(body);
    EXPECT_EQ(world.aReactivationBodies.count, 0u);
    EXPECT_EQ(bodiesOf(world.aBodies), (Bodies{body}));
}

TEST(WorldGuards, NoCollisionManager) {
    PrivateWorld world;
    // A world always makes its manager; without one every forward must still be safe.
    world.collisionManager.reset();
    HardBody* body = makeBody(1);
    world.addBody(body, 0);
    QmtVector3 pointVelocity(1, 2, 3);
    world.applyImpulseAtPoint(body, 0.5, 0.5, {}, 1.0, {0, 1, 0}, pointVelocity);
    EXPECT_EQ(pointVelocity, QmtVector3(1, 2, 3));
    EXPECT_EQ(body->getDyn().v, QmtVector3::ZERO);
    world.useAllThreads();
    world.setThreadCount(4);
    world.enableContactGroups();
    EXPECT_EQ(world.getThreadCount(), 0u);
    EXPECT_GE(world.getProcessorCount(), 1);
    HardBody** colliding = nullptr;
    EXPECT_EQ(world.getCollidingBodies(body, &colliding), 0);

    world.enableDetectMode();
    EXPECT_FALSE(world.manageCollisions(0.01));
    world.disableDetectMode();
    world.enableBodyChangeState();
    EXPECT_TRUE(world.manageCollisions(0.02));
    EXPECT_FALSE(world.isBodyChangeState());

    // Unit boxes 0.8 apart overlap, their half-size boxes do not.
    auto a = std::unique_ptr<SampleBody>(makeBody(1, "", HB_HULL));
    auto b = std::unique_ptr<SampleBody>(makeBody(2, "", HB_HULL, {0.8, 0, 0}));
    auto c = std::unique_ptr<SampleBody>(makeBody(3, "", HB_HULL, {0.4, 0, 0}));
    for (SampleBody* x : {a.get(), b.get(), c.get()}) {
        x->computeBbox();
    }
    EXPECT_FALSE(world.bboxOverlap(a.get(), b.get()));
    EXPECT_TRUE(world.bboxOverlap(a.get(), c.get()));
    std::uint32_t va = 7, vb = 7, fa = 7, fb = 7;
    QmtVector3 pa, pb;
    EXPECT_EQ(world.bodyDistance(a.get(), b.get(), va, vb, fa, fb, pa, pb), 3.4028234663852886e38);
    EXPECT_EQ(va + vb + fa + fb, 28u);
}
