#include <string>

#include "engine/bodies/hardBody.h"
#include "engine/world/engineApi.h"
#include "engine/world/publicWorld.h"
#include "moduleTestSupport.h"
#include "src/nodeHelpers.h"
#include "src/rigidBodyNode.h"

namespace zyltest {
namespace {

// Bodies in an engine world of the test's own.
class RigidBodyWorld : public OwnWorldTest {
protected:
    static PublicWorld& world() { return *engineWorld(); }
    static int integer(const std::string& plug) { return MString(answer("getAttr " + plug).c_str()).asInt(); }
};

TEST_F(RigidBodyWorld, MembershipFollowsEnabledAndPassive) {
    run("makeMesh -cube -s 2 -n box");
    rigidBodyNode* rb = wireBody("box");
    HardBody* body = rb->getBody(true);
    ASSERT_TRUE(body);
    EXPECT_TRUE(world().contains(body));
    EXPECT_GE(body->transform.index, 0);
    EXPECT_EQ(integer("boxBody.index"), body->transform.index);
    EXPECT_EQ(integer("boxBody.caas"), 1);
    EXPECT_FALSE(body->isStatic());

    run("setAttr boxBody.enabled 0");
    EXPECT_EQ(integer("boxBody.caas"), 1);
    EXPECT_FALSE(world().contains(body));
    run("setAttr boxBody.enabled 1");
    EXPECT_EQ(integer("boxBody.caas"), 1);
    EXPECT_TRUE(world().contains(body));
    run("setAttr boxBody.passive 1");
    EXPECT_EQ(integer("boxBody.caas"), 1);
    EXPECT_TRUE(body->isStatic());
    EXPECT_TRUE(world().contains(body));
    // The index attribute is pushed on every read.
    run("setAttr boxBody.index 41");
    EXPECT_EQ(integer("boxBody.cidx"), 1);
    EXPECT_EQ(body->transform.index, 41);
}

// Each engine body and mesh is freed once whatever goes first: the removal handlers run
// before the destructors, and either may run again.
TEST_F(RigidBodyWorld, TeardownInAnyOrderFreesEachObjectOnce) {
    for (const char* mesh : {"a", "b", "c"}) {
        run(std::string("makeMesh -cube -s 2 -n ") + mesh);
        rigidBodyNode* rb = wireBody(mesh);
        ASSERT_TRUE(rb->getBody(true));
        ASSERT_TRUE(rb->getCollisionMesh());  // the shape holds a mesh again
    }
    run("delete aBody; delete aCollision");
    run("delete bCollision; delete bBody");
    MObject body = node("cBody");
    rigidBodyNode::nodeRemovedCallback(body, nullptr);
    rigidBodyNode::nodeRemovedCallback(body, nullptr);
    EXPECT_EQ(userNodeAs<rigidBodyNode>(body, rigidBodyNode::id)->getBody(false), nullptr);
    run("delete c");
    EXPECT_EQ(world().countBodies(), 0u);
}

// A deforming triangle mesh that loses faces while it touches another body: its new
// tree replaces the one whose pieces the pair between them was made from, so the body
// is filed anew and the pair goes.
TEST_F(RigidBodyWorld, ReshapedTriangleMeshLeavesNoStalePairs) {
    std::string points;
    for (int i = 0; i < 8; ++i)
        points += std::string(i & 4 ? "2 " : "-2 ") + (i & 2 ? "0.5 " : "-0.5 ") + (i & 1 ? "2 " : "-2 ");
    const std::string sides = "0 1 3 2; 4 6 7 5; 2 3 7 6; 0 2 6 4; 1 5 7 3";
    run("makeMesh -n slab -pts \"" + points + "\" -fc \"" + sides + "; 0 4 5 1\"");
    run("makeMesh -n lid -pts \"" + points + "\" -fc \"" + sides + "\"");
    run("makeMesh -cube -s 1 -n block; xform -t 0 0.7 0 block");
    rigidBodyNode* floor = wireBody("slab", 3);
    run("setAttr slabBody.passive 1; setAttr slabCollision.ac 1");
    rigidBodyNode* block = wireBody("block");
    HardBody* floorBody = floor->getBody(true);
    HardBody* blockBody = block->getBody(true);
    ASSERT_TRUE(floorBody && blockBody);
    EXPECT_EQ(integer("slabBody.caas"), 1);
    const auto touching = [&] {
        Qmt::QmtVector3* normals = nullptr;
        world().getPairContactPoints(floorBody, blockBody, &normals, nullptr);
        return normals != nullptr;
    };
    world().manageCollisions(1.0 / 300.0);
    ASSERT_TRUE(touching());

    run("connectAttr -f lidShape.worldMesh[0] slabCollision.inShape");
    floor->updateBodyMesh();
    EXPECT_EQ(floorBody->getMesh()->numFaces, 10u);
    EXPECT_TRUE(world().contains(floorBody));
    EXPECT_FALSE(touching());
    world().manageCollisions(1.0 / 300.0);
    EXPECT_TRUE(touching());
    world().step(1.0 / 24.0, nullptr);
}

}  // namespace
}  // namespace zyltest
