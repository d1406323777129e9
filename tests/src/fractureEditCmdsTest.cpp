// The fracture-body edit commands on a chain a–b–c of touching cubes bound by
// zylFractureBody into "fb" (joints a_b and b_c), as users run them.

#include <string>
#include <vector>

#include "engine/fracture/fractureBody.h"
#include "engine/world/engineApi.h"
#include "engine/world/publicWorld.h"
#include "host/api/animControl.h"
#include "moduleTestSupport.h"
#include "src/fractureBodyNode.h"
#include "src/nodeHelpers.h"
#include "src/rigidBodyNode.h"
#include "src/stressNode.h"

namespace zyltest {
namespace {

using Strings = std::vector<std::string>;
const std::string kAB = "str_aZylBody_bZylBody", kBC = "str_bZylBody_cZylBody";

class FractureEdit : public BatchModuleTest {
protected:
    void SetUp() override {
        BatchModuleTest::SetUp();
        run("playbackOptions -min 1 -max 30; zylSolver; setAttr zylSolverNode1.useGroundGrid 1");
        run("makeMesh -cube -n a; xform -t 0 1.5 0 a; makeMesh -cube -n b; xform -t 1 1.5 0 b");
        run("makeMesh -cube -n c; xform -t 2 1.5 0 c; new_ZYLBody -st 2 -a 0 a b c");
        run("zylFractureBody -dTh 0.01 -n fb aZylBody bZylBody cZylBody");
    }
    static rigidBodyNode* body(const char* name) { return user<rigidBodyNode>(std::string(name) + "ZylBody"); }
    static FractureBodyNode* fbody(const std::string& name = "fb") { return user<FractureBodyNode>(name); }
};

TEST_F(FractureEdit, ListsJoints) {
    EXPECT_EQ(words("fBody_selStresses bZylBody"), (Strings{kBC, kAB}));
    EXPECT_EQ(words("fBody_selStresses -t 0 aZylBody bZylBody cZylBody"), (Strings{kAB, kBC}));
    EXPECT_EQ(words("fBody_selStresses -t 1 aZylBody bZylBody"), Strings{kBC});
    EXPECT_TRUE(words("fBody_selStresses -t 2 aZylBody bZylBody").empty());
    EXPECT_TRUE(failsWith("fBody_selStresses fb", "invalid selection"));
    EXPECT_TRUE(failsWith("fBody_selStresses -glb aZylBody", "not fracture body selected"));
    EXPECT_TRUE(words("fBody_selStresses -glb fb").empty());  // nothing broke yet (runs: reopenChain)
}

TEST_F(FractureEdit, StaticFragmentsWeakenOnlyTheJointsLeavingThem) {
    run("update_dFBody -stf true aZylBody bZylBody");
    EXPECT_EQ(attr(kAB + ".forceStrenght"), attr("fb.stressThreshold"));
    EXPECT_EQ(attr(kBC + ".forceStrenght"), "0");
    EXPECT_EQ(attr("aZylBody.passive") + attr("bZylBody.passive") + attr("cZylBody.passive"), "110");
    EXPECT_EQ(attr("fb.passive") + attr("fb.firstHitActive"), "11");  // waits for a hit
    run("update_dFBody -stf false aZylBody bZylBody");
    EXPECT_EQ(std::stod(attr(kBC + ".forceStrenght")), std::stod(attr("fb.stressThreshold")) * 0.5);
    EXPECT_TRUE(traced("updateZylBasicFracturesPanel") && traced("showWindow $zylAdvancedFracturesWindow"));
    // A free body only takes the setting; so does a member never built, whose joints are
    // not walked, and neither is an engine body the fracture body no longer has.
    run("makeMesh -cube -n d; new_ZYLBody d; createNode zylRigidBody -n bare");
    run("connectAttr fb.rigidBodies bare.fracture");
    fbody()->releaseEngineBody();
    run("update_dFBody -stf true dZylBody bare");
    EXPECT_EQ(attr("dZylBody.passive") + attr("bare.passive"), "11");
    EXPECT_TRUE(words("fBody_selStresses -glb fb").empty() && words("fBody_selStresses -stm fb").empty());
    EXPECT_TRUE(words("fBody_selStresses bare").empty());
    run("lockNode -l 1 bare; setAttr -l 0 bare.fha; setAttr bare.fha 1; deleteZylFBody fb");  // bare: no body
    EXPECT_TRUE(failsWith("select -cl; update_dFBody", "invalid selection"));
}

// A joint whose stress node a cluster holds is the cluster's: it keeps its strength.
// Deleting the fracture body dissolves the cluster first.
TEST_F(FractureEdit, StaticFragmentsLeaveClusterJoints) {
    run("zylCluster -as bZylBody cZylBody; update_dFBody -stf false aZylBody");
    EXPECT_EQ(attr(kAB + ".forceStrenght"), "0");
    run("deleteZylFBody fb");
    EXPECT_TRUE(words("ls -typ ClusterZylNode").empty() && !body("c")->getOwner());
}

TEST_F(FractureEdit, DeleteFreesOrDeletesTheMembers) {
    EXPECT_TRUE(failsWith("select -cl; deleteZylFBody", "invalid selection"));
    run("lockNode -l 0 aZylBody; setAttr -l 0 aZylBody.firstHitActive; setAttr aZylBody.firstHitActive 1");
    run("lockNode -l 1 aZylBody");
    MAnimControl::setCurrentTime(MTime(5, MTime::uiUnit()));
    run("deleteZylFBody fb");
    EXPECT_TRUE(words("ls -typ fBodyNode").empty() && words("ls -typ stressNode").empty());
    for (const char* name : {"a", "b", "c"}) {
        HardBody* b = body(name)->getBody(false);
        EXPECT_TRUE(!body(name)->getOwner() && engineWorld()->contains(b)) << name;
        EXPECT_EQ(words(std::string("lockNode -q ") + name + "ZylBody"), Strings{"0"}) << name;
        // Nothing of the fracture body stays on it: a new build has no group, cell or pivot.
        EXPECT_TRUE(b->getGroupID() == 0 && b->getCellCode() == 0 && b->getTransPivotCm() == Qmt::QmtVector3::ZERO)
            << name;
    }
    // Waiting for its first hit, a member starts the next run passive.
    EXPECT_EQ(attr("aZylBody.passive"), "1");
    EXPECT_TRUE(body("a")->getBody(false)->isStatic() && (body("a")->getBody(false)->flags & BODY_FIRST_HIT));
    run("zylFractureBody -dTh 0.01 -n fb aZylBody bZylBody cZylBody; deleteZylFBody -db fb");
    EXPECT_TRUE(words("ls -typ zylRigidBody").empty());
    EXPECT_TRUE(traced("updateZylAdvancedFracturesPanel") && traced("updateZylManagePanel"));
    run("delete zylSolverNode1; createNode fBodyNode -n lone");
    EXPECT_TRUE(failsWith("deleteZylFBody lone", "no zyl solver found, abort"));
}

// The new fracture body is named after the old one, whatever the name's length.
TEST_F(FractureEdit, DetachTakesOwnFragmentsAloneOrAsANewBody) {
    const std::string name(130, 'w');
    run("rename fb " + name);
    EXPECT_TRUE(failsWith("Detach_FBody " + name, "invalid selection"));
    // A second fracture body, whose member is selected along: it stays there.
    run("makeMesh -cube -s 1 -n d; xform -t 5 1.5 0 d; makeMesh -cube -s 1 -n e; xform -t 6 1.5 0 e");
    run("new_ZYLBody -st 2 -a 0 d e; zylFractureBody -dTh 0.01 -n other dZylBody eZylBody");
    MAnimControl::setCurrentTime(MTime(5, MTime::uiUnit()));
    run("Detach_FBody bZylBody cZylBody dZylBody");
    EXPECT_TRUE(rt().log.contains(host::LogKind::Warning, " time set to start frame to detach fracture body"));
    FractureBodyNode* created = fbody(name + "1");
    ASSERT_TRUE(created && created->fractureBody);
    EXPECT_TRUE(body("b")->getOwner() == created && body("c")->getOwner() == created);
    EXPECT_EQ(body("d")->getOwner(), fbody("other"));
    EXPECT_EQ(words("fBody_selStresses cZylBody"), Strings{kBC});
    EXPECT_EQ(words("lockNode -q bZylBody cZylBody"), (Strings{"1", "1"}));
    EXPECT_TRUE(engineWorld()->contains(created->fractureBody));
    EXPECT_EQ(firstConnectedNode(MPlug(created->thisMObject(), FractureBodyNode::solver)), node("zylSolverNode1"));
    // One fragment, or static ones, leave alone and become free bodies.
    run("Detach_FBody cZylBody");
    EXPECT_TRUE(!body("c")->getOwner() && engineWorld()->contains(body("c")->getBody(false)));
    run("update_dFBody -stf true dZylBody eZylBody; Detach_FBody dZylBody eZylBody");
    EXPECT_TRUE(!body("d")->getOwner() && !body("e")->getOwner());
    EXPECT_TRUE(words("ls -typ fBodyNode") == (Strings{name, "other", name + "1"}));
}

// A detach that cannot be done, and a detach undone, leave every fragment in the fracture
// body with its joints and their settings, locked, the body in the world.
TEST_F(FractureEdit, FailedOrUndoneDetachLeavesTheFragmentsInPlace) {
    run("setAttr " + kBC + ".forceStrenght 7");
    const auto inPlace = [&](const char* step) {
        FractureBodyNode* fb = fbody();
        ASSERT_TRUE(fb && fb->fractureBody) << step;
        for (const char* name : {"a", "b", "c"}) {
            EXPECT_EQ(body(name)->getOwner(), fb) << step << name;
            EXPECT_TRUE(fb->fractureBody->hasFragment(body(name)->getBody(false))) << step << name;
        }
        EXPECT_TRUE(engineWorld()->contains(fb->fractureBody)) << step;
        EXPECT_EQ(words("fBody_selStresses -t 0 aZylBody bZylBody cZylBody"), (Strings{kAB, kBC})) << step;
        EXPECT_EQ(attr(kBC + ".forceStrenght"), "7") << step;
        EXPECT_EQ(words("lockNode -q aZylBody bZylBody cZylBody"), (Strings{"1", "1", "1"})) << step;
        EXPECT_EQ(nodesOfType("fBodyNode"), Strings{"fb"}) << step;
    };
    EXPECT_TRUE(failsWith("Detach_FBody aZylBody cZylBody", "selected fragments are not joined to each other, abort"));
    inPlace("failed");
    run("Detach_FBody bZylBody cZylBody; undo; redo");
    EXPECT_TRUE(body("b")->getOwner() == fbody("fb1") && body("c")->getOwner() == fbody("fb1"));
    run("undo");
    inPlace("undone");
    run("Detach_FBody bZylBody; undo; flushUndo");
    inPlace("undone alone");
}

// Members that a cluster held when it was deleted by hand forget their fracture body
// once it goes too.
TEST_F(FractureEdit, MembersForgetAFractureBodyThatIsGone) {
    run("zylCluster -as -n cl1 aZylBody bZylBody; delete cl1; delete fb");
    EXPECT_TRUE(!body("a")->getOwner() && !body("b")->getOwner());
}

// A detached fragment's joint to a cluster is gone from the engine body: the cluster's
// stress node keeps none (the joint is freed).
TEST_F(FractureEdit, DetachDropsTheClusterJointsOfItsFragment) {
    run("zylCluster -as -n cl1 aZylBody bZylBody; Detach_FBody cZylBody");
    EXPECT_EQ(user<SceneStress>(kBC)->getJoint(), nullptr);
}

// A stress node wired to the fracture body by another plug of its own still leaves with
// its fragment.
TEST_F(FractureEdit, DetachLetsGoOfAStressWiredByHand) {
    run("disconnectAttr fb.stresses " + kAB + ".fracture; connectAttr fb.stresses " + kAB + ".message");
    run("Detach_FBody aZylBody");
    EXPECT_TRUE(!body("a")->getOwner() && plug(kAB + ".message").source().isNull());
}

// Under an animated group the members are refreshed after the group's placement moved
// into them, and stay locked.
TEST_F(FractureEdit, RefreshUnderAnAnimatedGroup) {
    run("group -n g a b c; setKeyframe -t 1 -at translateX -v 0 g; setKeyframe -t 20 -at translateX -v 3 g");
    run("update_dFBody fb");
    EXPECT_TRUE(traced("makeIdentity -apply true g"));
    EXPECT_EQ(words("lockNode -q aZylBody cZylBody"), (Strings{"1", "1"}));
    EXPECT_EQ(count(host::LogKind::Error), 0u);
}

}  // namespace
}  // namespace zyltest
