#include <gtest/gtest.h>

#include "engine/fracture/fractureBody.h"
#include "engine/fracture/fractureWorldFiling.h"
#include "engine/world/engineApi.h"
#include "engine/world/privateWorld.h"
#include "fractureRig.h"

using zyltest::FractureRig;
using zyltest::SampleBody;

using FractureWorld = PrivateWorld;

// Filing, re-filing and resetting a fracture body with its fragments and loose pieces.
TEST(FractureWorld, FilingAndReset) {
    FractureRig rig;
    FractureBody body;
    FractureWorld world;
    rig.row(body, 3);
    SampleBody* loose = rig.cube({0, 5, 0});
    ASSERT_TRUE(body.setUp());
    body.storeInitialState(1);
    for (const auto& f : rig.bodies) {
        world.addBody(f.get(), 0);
    }
    EXPECT_EQ(world.nBodies, 4);
    body.addDisconectBody(loose);
    world.removeBody(loose);
    world.addBody(&body, 0);
    EXPECT_EQ(world.nBodies, 2);  // the compound and its loose piece
    EXPECT_TRUE(world.contains(&body));
    EXPECT_TRUE(world.contains(loose));
    EXPECT_FALSE(world.contains(rig.bodies[0].get()));
    EXPECT_EQ(body.numDisconectBodies(), 0u);
    EXPECT_EQ(world.countBodies(), 4u);

    world.removeBody(&body);
    EXPECT_EQ(world.nBodies, 4);
    EXPECT_TRUE(world.contains(rig.bodies[1].get()));

    world.addBody(&body, 0);
    world.restoreInitialState(&body);
    EXPECT_EQ(world.nBodies, 2);
    EXPECT_TRUE(world.contains(&body));
    EXPECT_FALSE(world.contains(rig.bodies[2].get()));
    EXPECT_EQ(body.getNJointBodies(), 3u);
    world.checkWorld();
    world.clearAllLists();
}

TEST(FractureWorld, StaticFragmentsAndBrokenJoints) {
    FractureRig rig;
    FractureBody body;
    FractureWorld world;
    rig.row(body, 3);
    ASSERT_TRUE(body.setUp());
    world.addBody(&body, 0);
    for (DynamicStress* j : rig.joints) {
        j->enableBreakableByForce();
    }
    world.makeStatic(rig.bodies[0].get(), &body);
    world.makeStatic(rig.bodies[1].get(), &body);
    EXPECT_TRUE(body.isStatic());
    EXPECT_FALSE(rig.joints[0]->isBreakableByForce());  // both ends static
    EXPECT_TRUE(rig.joints[1]->isBreakableByForce());
    world.makeDynamic(rig.bodies[0].get(), &body);
    world.makeDynamic(rig.bodies[1].get(), &body);
    EXPECT_FALSE(body.isStatic());
    EXPECT_TRUE(rig.joints[0]->isBreakableByForce());
    world.removeBody(rig.bodies[0].get());
    world.removeBody(rig.bodies[1].get());

    // The end cube loses its only joint and is filed on its own; the middle joint
    // leaves both its bodies joined elsewhere... until the last one goes.
    const int before = world.nBodies;
    EXPECT_TRUE(world.breakFractureJoint(rig.joints[0], &body));
    EXPECT_FALSE(body.hasFragment(rig.bodies[0].get()));
    EXPECT_TRUE(world.contains(rig.bodies[0].get()));
    EXPECT_EQ(world.nBodies, before + 1);
    EXPECT_TRUE(world.breakFractureJoint(rig.joints[1], &body));
    EXPECT_EQ(body.getNJointBodies(), 0u);
    EXPECT_EQ(world.nBodies, before + 3);
    EXPECT_FALSE(world.breakFractureJoint(rig.joints[1], nullptr));

    FractureBody other;
    EXPECT_TRUE(world.addFractureJoint(rig.joints[0], &other));
    EXPECT_EQ(other.getNActiveJoints(), 1u);
    EXPECT_FALSE(world.addFractureJoint(nullptr, &other));
    world.clearAllLists();
}

// A body that came apart is retired with its pieces filed, dropped by clear, and
// deleted through the flat function with its joints.
TEST(FractureWorld, SplitBodiesAndDeletion) {
    FractureRig rig;
    FractureWorld world;
    auto* body = new FractureBody();
    rig.row(*body, 3);
    ASSERT_TRUE(body->setUp());
    world.addBody(body, 0);
    SampleBody* loose = rig.cube({0, 4, 0});
    body->addDisconectBody(loose);
    world.postCollisionUpdate();
    EXPECT_TRUE(world.contains(loose));
    EXPECT_FALSE(listContains(world.aBodies, body));
    EXPECT_TRUE(listContains(world.adeActivatedBodies, body));
    EXPECT_FALSE(body->isActive());
    EXPECT_EQ(world.nDynamicBodies, 1);
    world.clear();
    EXPECT_FALSE(world.contains(body));

    body->removeDisconectBodies();
    world.addBody(body, 0);
    engineWorld() = &world;
    rig.releaseJoints();
    FractureBody* doomed = body;
    deleteFractureBody(&doomed);
    engineWorld() = nullptr;
    EXPECT_EQ(doomed, nullptr);
    EXPECT_TRUE(world.contains(rig.bodies[0].get()));
    EXPECT_EQ(rig.bodies[0]->jointCount, 0);
    EXPECT_EQ(rig.bodies[0]->getParent(), nullptr);
    deleteFractureBody(&doomed);

    HardBody* made = createFractureBody();
    ASSERT_NE(made, nullptr);
    EXPECT_EQ(made->getType(), HB_FRACTURE);
    delete made;
    world.clearAllLists();
}
