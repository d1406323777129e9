// Fracture bodies made the way users make them: a solver, unit cubes turned into
// dynamic hull bodies by new_ZYLBody, and zylFractureBody; then rebuilt, taken apart
// and deleted in every order.

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "engine/bodies/barrierBody.h"
#include "engine/bodies/privateHardBody.h"
#include "engine/fracture/dynamicStress.h"
#include "engine/fracture/fractureBody.h"
#include "engine/world/engineApi.h"
#include "engine/world/publicWorld.h"
#include "host/api/animControl.h"
#include "moduleTestSupport.h"
#include "src/fractureBodyNode.h"
#include "src/nodeHelpers.h"
#include "src/rigidBodyNode.h"
#include "src/solverNode.h"
#include "src/stressConnections.h"
#include "src/stressNode.h"

namespace zyltest {
namespace {

using Strings = std::vector<std::string>;

class FractureBodyBuild : public BatchModuleTest {
protected:
    void SetUp() override {
        BatchModuleTest::SetUp();
        run("zylSolver");
    }

    // Cube "c<i>" at (x, y, 0) with its body "cZylBody<i>".
    static void cube(int i, double x, double y = 3) {
        std::string name = "c";
        name += std::to_string(i);
        run("makeMesh -cube -s 1 -n " + name + "; xform -t " + std::to_string(x) + " " + std::to_string(y) + " 0 " +
            name + "; new_ZYLBody -st 2 -a 0 " + name);
    }
    static rigidBodyNode* body(int i) { return user<rigidBodyNode>("cZylBody" + std::to_string(i)); }
    // n touching cubes in a row along x, bound into "fb".
    static FractureBodyNode* row(int n) {
        std::string bodies;
        for (int i = 0; i < n; ++i) {
            cube(i, i);
            bodies += " cZylBody" + std::to_string(i);
        }
        run("zylFractureBody -dTh 0.01 -n fb" + bodies);
        return user<FractureBodyNode>("fb");
    }
    static bool locked(const std::string& node) { return words("lockNode -q " + node) == Strings{"1"}; }
};

TEST_F(FractureBodyBuild, BindsTwoTouchingCubesIntoOneJoint) {
    cube(0, 0);
    cube(1, 1);
    EXPECT_EQ(words("zylFractureBody -dTh 0.01 -n \"\" cZylBody0 cZylBody1"), Strings{"ZylFractureBody"});
    auto* fb = user<FractureBodyNode>("ZylFractureBody");
    ASSERT_EQ(words("ls -typ stressNode"), Strings{"str_cZylBody0_cZylBody1"});
    auto* stress = user<SceneStress>("str_cZylBody0_cZylBody1");
    const DynamicStress* joint = stress->getJoint();
    ASSERT_TRUE(joint && stress->getOwner() == fb);
    EXPECT_STREQ(joint->getName(), "str_cZylBody0_cZylBody1");
    EXPECT_EQ(stress->getBody1Name() + stress->getBody2Name(), "cZylBody1cZylBody0");  // CNode, PNode
    EXPECT_EQ(joint->getCNode(), body(1)->getBody(false));
    EXPECT_EQ(joint->getIndex(), 0u);
    EXPECT_EQ(joint->flags, JOINT_ACTIVE | JOINT_BREAK_BY_FORCE | JOINT_TORSION);
    EXPECT_EQ(joint->get_break_tolerance(), stress->getDoubleProperty("forceStrenght"));
    float x = 0, y = 0, z = 0;
    stress->getPosition(x, y, z);
    EXPECT_EQ(MFloatVector(x, y, z), MFloatVector(0.5f, 3, 0));
    for (int i : {0, 1}) {
        EXPECT_TRUE(body(i)->getOwner() == fb && locked("cZylBody" + std::to_string(i))) << i;
        EXPECT_EQ(body(i)->fractureParamsFollow(), i == 0) << i;
    }
    EXPECT_EQ(MPlug(fb->thisMObject(), FractureBodyNode::mass).asDouble(), 1.0 / fb->fractureBody->getInvMass());
    EXPECT_EQ(attr("ZylFractureBody.passive"), "0");  // in the air
    EXPECT_TRUE(engineWorld()->contains(fb->fractureBody));
}

TEST_F(FractureBodyBuild, RefusesAndWarnsWithoutMakingANode) {
    cube(0, 0);
    cube(1, 1.5);  // half a unit apart
    EXPECT_TRUE(words("zylFractureBody -chk true cZylBody0 cZylBody1").empty());
    EXPECT_FALSE(mel("zylFractureBody cZylBody0"));
    EXPECT_TRUE(logged(host::LogKind::Error, "Select at least two valid nodes"));
    EXPECT_FALSE(mel("zylFractureBody -dTh 0.01 cZylBody0 cZylBody1"));
    EXPECT_TRUE(logged(host::LogKind::Warning, "distance streshold too short, increase it for the actual selection"));
    // No node is left; the bodies are free, unlocked and awake again.
    EXPECT_TRUE(words("ls -typ fBodyNode").empty() && words("ls -typ stressNode").empty());
    for (int i : {0, 1}) {
        HardBody* b = body(i)->getBody(false);
        EXPECT_TRUE(b->isActive() && engineWorld()->contains(b) && !body(i)->getOwner()) << i;
        EXPECT_FALSE(locked("cZylBody" + std::to_string(i))) << i;
    }
    run("disconnectAttr zylSolverNode1.rigidBodies cZylBody1.solver");  // no solver: no build
    EXPECT_FALSE(mel("zylFractureBody -nea cZylBody0 cZylBody1"));
    EXPECT_TRUE(logged(host::LogKind::Warning, "invalid selection, most objects are passive"));
    run("connectAttr zylSolverNode1.rigidBodies cZylBody1.solver");
    EXPECT_EQ(words("zylFractureBody -nea -n far cZylBody0 cZylBody1"), Strings{"far"});  // at any distance
}

TEST_F(FractureBodyBuild, ShardsKeepTheirGroupAndOtherBodiesJoinOnlyTheirOwn) {
    run("makeMesh -cube -n block; xform -t 0 3 0 -s 2 1 1 block");
    run("string $shards[] = `zylShatter -ns 2 -sed 7 block`; flushIdle; new_ZYLBody -st 2 -a 0 $shards");
    cube(0, 6);   // far off, of no shatter
    cube(1, -6);  // the same
    run("string $all[] = `ls -typ zylRigidBody`; zylFractureBody -dTh 0.01 -n shards $all");
    EXPECT_EQ(words("ls -typ stressNode").size(), 1u);
    for (int i : {0, 1}) EXPECT_TRUE(!body(i)->getOwner() && body(i)->getBody(false)->isActive()) << i;
    // Bodies of no shatter share their group: a loose one joins its nearest at any distance.
    cube(2, 7);
    run("zylFractureBody -dTh 0.01 -n cubes cZylBody0 cZylBody1 cZylBody2");
    EXPECT_EQ(words("ls -typ stressNode").size(), 3u);
    EXPECT_EQ(body(1)->getOwner(), user<FractureBodyNode>("cubes"));
}

// Resting on the ground needs the ground in use and a member's vertex near it.
TEST_F(FractureBodyBuild, RestsOnTheGroundOnlyWhenTheGroundIsUsedAndNear) {
    for (int i : {0, 1, 2, 3}) cube(i, i % 2, i < 2 ? 0.5 : 3);
    run("zylFractureBody -dTh 0.01 -n air cZylBody2 cZylBody3; zylFractureBody -dTh 0.01 -n low cZylBody0 cZylBody1");
    EXPECT_EQ(attr("low.passive"), "0");
    run("delete low; lockNode -l 0 cZylBody0 cZylBody1; setAttr zylSolverNode1.useGroundGrid 1");
    auto* ground = dynamic_cast<const BarrierBody*>(user<zylSolverNode>("zylSolverNode1")->getGroundPlane());
    ASSERT_TRUE(ground);
    EXPECT_FALSE(user<FractureBodyNode>("air")->touchesGround(*ground));
    run("zylFractureBody -dTh 0.01 -n low cZylBody0 cZylBody1");
    EXPECT_EQ(attr("low.passive") + attr("low.firstHitActive"), "11");
    EXPECT_TRUE(user<FractureBodyNode>("low")->fractureBody->isStatic());
}

TEST_F(FractureBodyBuild, RidesOnTheTopmostAnimatedAncestor) {
    cube(0, 0);
    cube(1, 1);
    run("group -n inner c0 c1; group -n outer inner");
    for (const char* group : {"inner", "outer"})
        run(std::string("setKeyframe -at translateY -t 1 -v 0 ") + group + "; setKeyframe -at translateY -t 9 -v 1 " +
            group);
    run("zylFractureBody -dTh 0.01 -n ride cZylBody0 cZylBody1");
    EXPECT_EQ(user<FractureBodyNode>("ride")->animBodyPath.partialPathName(), "outer");
    EXPECT_EQ(attr("ride.passive") + attr("ride.firstHitActive"), "11");
    EXPECT_NE(std::ranges::find(rt().commandTrace, std::string("update_dFBody ride")), rt().commandTrace.end());
}

// The demo's wall: one stress node per engine joint, named as its joint, joints
// numbered 0 to n - 1, every member locked and owned.
TEST_F(FractureBodyBuild, DemoWallHasOneStressNodePerJoint) {
    run(std::string("source \"") + HOST_UI_DIR + "/../../scenes/demo.mel\"");
    auto* wall = user<FractureBodyNode>("wall");
    const std::vector<SceneStress*> stresses = wall->stressNodes();
    EXPECT_EQ(stresses.size(), 45u);
    EXPECT_EQ(wall->fractureBody->getNActiveJoints(), stresses.size());
    std::set<unsigned> indices;
    for (const SceneStress* stress : stresses) {
        EXPECT_EQ(stress->getNodeName(), stress->getJoint()->getName());
        indices.insert(stress->getJoint()->getIndex());
    }
    EXPECT_TRUE(indices.size() == stresses.size() && *indices.rbegin() == stresses.size() - 1);
    EXPECT_EQ(wall->memberNodes().size(), 12u);
    for (const rigidBodyNode* rb : wall->memberNodes())
        EXPECT_TRUE(rb->getOwner() == wall && locked(MFnDependencyNode(rb->thisMObject()).name().asChar()));
}

// The demo's wall, with one cluster made and another made and removed, saved and opened
// again is the wall the session held, to the last bit: its joints in the same order with
// the same numbers and anchors, its fragments in the same order and groups, its start
// state.
TEST_F(FractureBodyBuild, OpenedDemoWallIsTheOneSaved) {
    const auto state = [] {
        std::vector<double> numbers;
        std::string names;
        FractureBody* wall = user<FractureBodyNode>("wall")->fractureBody;
        for (const DynamicStress* joint : wall->activeJoints) {
            names += std::string(joint->getName()) + ' ';
            for (const Qmt::QmtVector3& a : {joint->PNodeAnchor, joint->CNodeAnchor})
                numbers.insert(numbers.end(), {double(joint->getIndex()), a.x, a.y, a.z});
        }
        for (const PrivateHardBody* fragment : wall->fragments)
            names += std::string(fragment->transform.name) + ':' + std::to_string(fragment->getGroupID()) + ' ';
        const RBDynamics& start = wall->getDynInit();
        numbers.insert(numbers.end(), {start.position.x, start.position.y, start.position.z});
        for (const Qmt::QmtMatrix3* m : {&start.rotation, &start.inertiaWorld, &start.invInertiaWorld})
            for (int i = 0; i < 9; ++i) numbers.push_back((*m)[i / 3][i % 3]);
        return std::pair(names, numbers);
    };
    run(std::string("source \"") + HOST_UI_DIR + "/../../scenes/demo.mel\"");
    run("zylCluster -as -n kept meshZylBody4 meshZylBody5 meshZylBody6");
    run("zylCluster -as -n gone meshZylBody1 meshZylBody2 meshZylBody3; zylCluster -rem gone");
    const auto saved = state();
    run("file -rename \"" + ::testing::TempDir() + "wall.scene\"; file -save; file -open \"" + ::testing::TempDir() +
        "wall.scene\"");
    const auto opened = state();
    EXPECT_EQ(opened.first, saved.first);
    EXPECT_EQ(opened.second, saved.second);
}

// The rebuild after a scene was read: joints from the stress nodes, numbered by their
// position as the first build numbered them, strengths as stored. A node whose bodies are gone
// keeps no joint.
TEST_F(FractureBodyBuild, RebuildsTheJointsFromTheStressNodes) {
    FractureBodyNode* fb = row(5);
    std::vector<SceneStress*> stresses = fb->stressNodes();
    ASSERT_EQ(stresses.size(), 4u);
    stresses[2]->setDoubleProperty("forceStrenght", 7.5);
    stresses[3]->setBody1Name("nobody");
    stresses[1]->setBoolProperty("enabled", false);
    const double strength = stresses[0]->getDoubleProperty("forceStrenght");

    fb->buildFractureBody(MAnimControl::minTime());
    // The disabled stress stays disabled; the unmatched one keeps no joint.
    EXPECT_TRUE(fb->fractureBody->getNActiveJoints() == 2 && !stresses[3]->getJoint());
    EXPECT_FALSE(stresses[1]->getJoint()->isActive());
    const unsigned indices[] = {0, 1, 2};
    for (int i = 0; i < 3; ++i) {
        const DynamicStress* joint = stresses[i]->getJoint();
        ASSERT_TRUE(joint) << i;
        EXPECT_EQ(stresses[i]->getNodeName(), joint->getName()) << i;
        EXPECT_EQ(joint->getIndex(), indices[i]) << i;
        EXPECT_EQ(joint->get_break_tolerance(), stresses[i]->getDoubleProperty("forceStrenght")) << i;
    }
    EXPECT_EQ(stresses[0]->getDoubleProperty("forceStrenght") + stresses[2]->getDoubleProperty("forceStrenght"),
              strength + 7.5);
    for (int i = 0; i < 5; ++i) EXPECT_EQ(body(i)->getOwner(), fb) << i;
}

// A member deleted first hands its joints to their stress nodes, which outlive the
// fracture body; deleting the node lets every member go.
TEST_F(FractureBodyBuild, MembersAndStressNodesOutliveEachOther) {
    FractureBodyNode* fb = row(3);
    run("lockNode -l 0 cZylBody2; delete cZylBody2");
    EXPECT_TRUE(fb->fractureBody->getNActiveJoints() == 1 && fb->stressNodes().size() == 1);
    // The stress node let go keeps no joint: the one it had tied a body that is gone.
    auto* loose = user<SceneStress>("str_cZylBody1_cZylBody2");
    EXPECT_TRUE(!loose->getJoint() && !loose->getOwner());

    run("delete fb");
    EXPECT_EQ(words("ls -typ stressNode"), Strings{"str_cZylBody1_cZylBody2"});
    for (int i : {0, 1}) EXPECT_FALSE(body(i)->getOwner() || body(i)->fractureParamsFollow()) << i;
    run("zylFractureBody -dTh 0.01 -n again cZylBody0 cZylBody1; delete zylSolverNode1");
    EXPECT_FALSE(engineWorld());
}

// Two of three members move into a new fracture body with the stress between them;
// the stress to the member left behind is cut, its joint deleted with the cut.
TEST_F(FractureBodyBuild, TakesMembersFromAnotherFractureBody) {
    FractureBodyNode* source = row(3);
    run("createNode fBodyNode -n part");
    auto* part = user<FractureBodyNode>("part");
    MSelectionList list;
    list.add("cZylBody1");
    list.add("cZylBody2");
    ASSERT_TRUE(part->takeBodies(list, source, true));
    EXPECT_TRUE(part->fractureBody->getNJointBodies() == 2 && part->fractureBody->getNActiveJoints() == 1);
    ASSERT_EQ(part->stressNodes().size(), 1u);
    SceneStress* moved = part->stressNodes().front();
    EXPECT_EQ(moved->getNodeName(), "str_cZylBody1_cZylBody2");
    EXPECT_TRUE(moved->getOwner() == part && !moved->ownsJoint());
    EXPECT_TRUE(source->stressNodes().empty());
    EXPECT_FALSE(user<SceneStress>("str_cZylBody0_cZylBody1")->getJoint());
    EXPECT_TRUE(body(1)->getOwner() == part && body(1)->fractureParamsFollow());
    EXPECT_TRUE(engineWorld()->contains(part->fractureBody));
}

// Two like grids of touching cubes: on one the stress nodes of every joint and body are
// found through StressConnections as findStressNode and a walk over the connections find
// them, and taking stress nodes out of it one after another with their numbering kept
// waiting gives every joint, leaving or staying, the number that removeStressNode gives
// it one removal at a time on the other.
TEST_F(FractureBodyBuild, StressConnectionsAnswerAsTheWalksDo) {
    const auto grid = [&](int first, double y, const std::string& name) {
        std::string bodies;
        for (int i = 0; i < 9; ++i) {
            cube(first + i, i % 3, y + i / 3);
            bodies += " cZylBody" + std::to_string(first + i);
        }
        run("zylFractureBody -dTh 0.01 -n " + name + bodies);
        return user<FractureBodyNode>(name);
    };
    FractureBodyNode* one = grid(0, 3, "one");
    FractureBodyNode* other = grid(10, 10, "other");
    const std::vector<SceneStress*> stresses = one->stressNodes();
    const std::vector<SceneStress*> twins = other->stressNodes();
    ASSERT_TRUE(stresses.size() >= 12 && stresses.size() == twins.size());

    StressConnections connections(*one);
    for (const SceneStress* stress : stresses)
        EXPECT_EQ(connections.holding(stress->getJoint()), one->findStressNode(stress->getJoint()));
    for (rigidBodyNode* rb : one->memberNodes()) {
        const HardBody* body = rb->getBody(false);
        std::vector<SceneStress*> walked;
        for (SceneStress* stress : stresses)
            if (stress->getJoint()->getCNode() == body || stress->getJoint()->getPNode() == body)
                walked.push_back(stress);
        EXPECT_EQ(connections.touching(body), walked);
        // The nodes of the body's joints, of all of them and of every other one.
        std::vector<DynamicStress*> joints, some;
        for (const SceneStress* stress : walked) joints.push_back(stress->getJoint());
        std::vector<SceneStress*> someWalked;
        for (std::size_t k = 0; k < walked.size(); k += 2) {
            some.push_back(joints[k]);
            someWalked.push_back(walked[k]);
        }
        EXPECT_EQ(connections.holdingAny(joints), walked);
        EXPECT_EQ(connections.holdingAny(some), someWalked);
    }

    // Every third node leaves, from the back half first: positions shift under the later ones.
    std::vector<std::size_t> leaving;
    for (std::size_t k = stresses.size() / 2; k < stresses.size(); k += 3) leaving.push_back(k);
    for (std::size_t k = 0; k < stresses.size() / 2; k += 3) leaving.push_back(k);
    for (const std::size_t k : leaving) {
        DynamicStress* joint = stresses[k]->getJoint();
        DynamicStress* twin = twins[k]->getJoint();
        one->removeStressNode(stresses[k], connections);
        other->removeStressNode(twins[k]);
        EXPECT_EQ(joint->getIndex(), twin->getIndex()) << k;
    }
    connections.renumber();
    for (std::size_t k = 0; k < stresses.size(); ++k) {
        if (std::ranges::find(leaving, k) == leaving.end()) {
            EXPECT_EQ(stresses[k]->getJoint()->getIndex(), twins[k]->getJoint()->getIndex()) << k;
        }
    }
}

// Within nested scopes the stress nodes are read once; once the last scope ends, a
// link broken meanwhile shows.
TEST_F(FractureBodyBuild, StressListScopeReadsTheConnectionsOnce) {
    FractureBodyNode* fb = row(4);
    const std::vector<SceneStress*> all = fb->stressNodes();
    ASSERT_EQ(all.size(), 3u);
    {
        const FractureBodyNode::StressListScope outer(*fb);
        EXPECT_EQ(fb->stressNodes(), all);
        {
            const FractureBodyNode::StressListScope inner(*fb);
            EXPECT_EQ(fb->stressNodes(ConnectionSide::either), all);
        }
        fb->removeStressNode(all[1]);
        EXPECT_EQ(fb->stressNodes(), all);
    }
    EXPECT_EQ(fb->stressNodes(), (std::vector<SceneStress*>{all[0], all[2]}));
}

}  // namespace
}  // namespace zyltest
