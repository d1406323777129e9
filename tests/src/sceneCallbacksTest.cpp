// What the module does when a scene is opened or made new and when nodes are added.

#include <string>
#include <vector>

#include "engine/bodies/hardBody.h"
#include "engine/world/engineApi.h"
#include "engine/world/publicWorld.h"
#include "moduleTestSupport.h"
#include "src/nodeHelpers.h"
#include "src/rigidBodyNode.h"

namespace zyltest {
namespace {

class SceneCallbacks : public BatchModuleTest {
protected:
    void SetUp() override {
        BatchModuleTest::SetUp();
        run("zylSolver");
    }
    // Saves to, or opens, a file of the test's own.
    static void file(const char* flags, const char* name) {
        std::string path(1, '"');
        path += ::testing::TempDir() + name;
        run(std::string("file ") + flags + path + '"' + (flags[1] == 'r' ? "; file -save" : ""));
    }
    static void shatter(const std::string& mesh) { run("makeMesh -cube -n " + mesh + "; zylShatter -ns 2 " + mesh); }
    static std::string lastIndex() { return attr(words("ls -type voronoiNode").back() + ".index"); }
};

TEST_F(SceneCallbacks, FieldsJoinTheBodiesAndHostRigidBodiesAreRefused) {
    run("makeMesh -cube -n a; makeMesh -cube -n b; new_ZYLBody a b; setAttr aZylBody.affectForceFields 1");
    run("makeField -n wind");
    EXPECT_EQ(source("aZylBody.fieldList[0]"), "wind.zylfield");
    EXPECT_EQ(source("bZylBody.fieldList[0]"), "");
    run("createNode rigidBody -n ours -p a; makeMesh -cube -n c; createNode rigidBody -n theirs -p c");
    rt().idle.flush();
    EXPECT_TRUE(rt().log.contains(host::LogKind::Error, "cannot add a Maya rigid body to a Zyl object"));
    EXPECT_TRUE(words("ls ours").empty());
    EXPECT_EQ(words("ls theirs").size(), 1u);
}

// The counter follows the opened scene's largest index, also down; a scene without
// history leaves it. Bodies are rebuilt with the masses and centres the user gave.
TEST_F(SceneCallbacks, OpenedScenesResumeTheShatterIndexAndRebuildBodies) {
    run("makeMesh -cube -n a; new_ZYLBody a; setAttr aZylBody.mass 7; setAttr aZylBody.massCenter 0.25 0 0");
    shatter("s");
    file("-rename ", "one.scene");
    shatter("t"), shatter("u");
    file("-open ", "one.scene");
    shatter("v");
    EXPECT_EQ(lastIndex(), "3");
    auto* rb = user<rigidBodyNode>("aZylBody");
    ASSERT_TRUE(rb && rb->getBody(false));
    EXPECT_EQ(1.0 / rb->getBody(false)->getInvMass(), 7.0);
    EXPECT_EQ(attr("aZylBody.mass") + " " + attr("aZylBody.massCenterX"), "7 0.25");
    run("file -new; zylSolver");
    file("-rename ", "none.scene"), file("-open ", "none.scene");
    shatter("w");
    EXPECT_EQ(lastIndex(), "4");
}

// Older scenes tied collision shapes through `animated` and `inCollisionShape`; a
// fracture member's group was not its shatter's index.
// The opened scene holds the bodies as the session left them: one taken out of the
// world stays out, and each keeps the mark new_ZYLBody gave its engine body.
TEST_F(SceneCallbacks, OpenedBodiesStayWhereTheSessionLeftThem) {
    run("makeMesh -cube -n a; makeMesh -cube -n b; new_ZYLBody a b; ManageZylListCmd -add false bZylBody");
    file("-rename ", "world.scene"), file("-open ", "world.scene");
    HardBody* a = user<rigidBodyNode>("aZylBody")->getBody(false);
    HardBody* b = user<rigidBodyNode>("bZylBody")->getBody(false);
    ASSERT_TRUE(a && b);
    EXPECT_TRUE(engineWorld()->contains(a) && !engineWorld()->contains(b));
    EXPECT_EQ(attr("bZylBody.enabled"), "0");
    EXPECT_TRUE(a->hasJagginess() && b->hasJagginess());
}

TEST_F(SceneCallbacks, OlderScenesAreUpgradedOnce) {
    run("createNode zylCollisionShape -n shape; makeMesh -cube -n box; createNode zylRigidBody -n body -p box");
    run("connectAttr shape.ac body.anim; connectAttr zylSolverNode1.rigidBodies body.solver");
    run("createNode zylCollisionShape -n crackShape; makeMesh -cube -n hit; createNode zylCracker -n cracker -p hit");
    run("connectAttr crackShape.outCollisionShape cracker.incs; connectAttr zylSolverNode1.crackers cracker.solver");
    run("makeMesh -cube -n s; string $shards[] = `zylShatter -ns 2 s`; new_ZYLBody -st 2 $shards");
    rt().idle.flush();  // the shards join their group
    run("zylFractureBody -dTh 0.01 -n fb meshZylBody1 meshZylBody2");
    run("lockNode -l 0 meshZylBody1; setAttr meshZylBody1.groupid 5");
    run("setAttr zylSolverNode1.version -type \"string\" \"0.0\"");
    file("-rename ", "old.scene"), file("-open ", "old.scene");
    EXPECT_EQ(source("body.inCollisionType"), "shape.outCollisionType");
    EXPECT_EQ(source("cracker.inCollisionType"), "crackShape.outCollisionType");
    EXPECT_EQ(source("cracker.inCollisionShape"), "");
    EXPECT_EQ(attr("zylSolverNode1.version"), "3.5");
    EXPECT_EQ(attr("meshZylBody1.groupid"), "1");
    file("-rename ", "new.scene"), file("-open ", "new.scene");
    EXPECT_EQ(rt().log.count(host::LogKind::Info), 1u);
}

}  // namespace
}  // namespace zyltest
