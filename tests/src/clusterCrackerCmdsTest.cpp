#include <sstream>
#include <string>
#include <vector>

#include "engine/bodies/capsuleBody.h"
#include "engine/world/bodyList.h"
#include "engine/world/engineApi.h"
#include "engine/world/privateWorld.h"
#include "host/api/animControl.h"
#include "host/io/sceneFile.h"
#include "fractureTestSupport.h"
#include "moduleTestSupport.h"
#include "src/clusterNode.h"
#include "src/crackerNode.h"
#include "src/nodeHelpers.h"

namespace zyltest {
namespace {

class CrackerCmd : public BatchModuleTest {
protected:
    static zylCrackerNode* cracker(const std::string& name) { return user<zylCrackerNode>(name); }
    static std::uint32_t crackersInWorld() { return static_cast<PrivateWorld*>(engineWorld())->aCrackers.count; }
};

TEST_F(CrackerCmd, MakesAWiredCrackerPerSelectedMesh) {
    run("zylSolver; makeMesh -sphere -n striker; makeMesh -cube -n pCylinder1; select -r striker pCylinder1");
    // -diameter and -new change nothing.
    EXPECT_EQ(answer("zylCracker -dia 2.5 -new"), "ZylpCylinder1");
    EXPECT_EQ(nodesOfType("zylCracker"), (std::vector<std::string>{"Zylstriker", "ZylpCylinder1"}));
    EXPECT_EQ(source("Zylstriker.solver"), "zylSolverNode1.crackers");
    EXPECT_EQ(source("Zylstriker.inCollisionType"), "ZylstrikerShape.outCollisionType");
    EXPECT_EQ(source("ZylstrikerShape.inShape"), "strikerShape.worldMesh[0]");
    EXPECT_EQ(answer("getAttr ZylstrikerShape.type"), "6");
    zylCrackerNode* c = cracker("Zylstriker");
    ASSERT_TRUE(c && c->getBody());
    EXPECT_TRUE(c->isActive());
    EXPECT_EQ(crackersInWorld(), 2u);
    EXPECT_EQ(answer("getAttr Zylstriker.usercommand"), "0");
    EXPECT_EQ(count(host::LogKind::Error) + count(host::LogKind::Warning), 0u);
}

TEST_F(CrackerCmd, RefusesWithoutSolverAndPassesOverWhatIsNoMesh) {
    run("makeMesh -cube -n crate");
    EXPECT_FALSE(mel("zylCracker crate"));
    EXPECT_TRUE(rt().log.contains(host::LogKind::Error, "no zyl solver found"));

    // Surfaces silently, then the failure.
    run("zylSolver; createNode transform -n sheet; createNode nurbsSurface -p sheet");
    rt().log.clear();
    EXPECT_FALSE(mel("zylCracker sheet"));
    ASSERT_EQ(count(host::LogKind::Info), 1u);
    EXPECT_TRUE(rt().log.contains(host::LogKind::Info, " error creating cracker"));

    // An instance is refused by name, yet the command succeeds with nothing made.
    run("instance -n crateCopy crate");
    EXPECT_TRUE(mel("zylCracker crateCopy"));
    EXPECT_TRUE(rt().log.contains(host::LogKind::Error, "Object crateShape is an instance, convert it to object"));
    EXPECT_TRUE(nodesOfType("zylCracker").empty());

    // An animated selection is taken at the start of the play range.
    run("makeMesh -sphere -n ball; setKeyframe -t 1 -at translateX -v 0 ball; setKeyframe -t 10 -at translateX -v 9 "
        "ball; currentTime 5");
    run("zylCracker ball");
    EXPECT_TRUE(rt().log.contains(host::LogKind::Warning, " time set to start frame becouse animated object selected"));
    EXPECT_EQ(MAnimControl::currentTime(), MAnimControl::minTime());
    EXPECT_NEAR(cracker("Zylball")->getBody()->getDyn().position.x, 0.0, 1e-6);
}

TEST_F(CrackerCmd, UndoTakesCrackersBackAndRedoMakesThemAgain) {
    run("zylSolver; makeMesh -sphere -n striker; makeMesh -cube -n box; select -r box");
    run("xform -t -4 0 0 striker; setKeyframe -t 1 -at translateX -v -4 striker; setKeyframe -t 30 -at translateX "
        "-v 2 striker");
    const auto scene = [] {
        std::ostringstream text;
        host::io::writeScene(text);
        return text.str();
    };
    const std::string before = scene();
    run("zylCracker striker");
    ASSERT_EQ(crackersInWorld(), 1u);
    run("select -cl; undo");
    EXPECT_TRUE(nodesOfType("zylCracker").empty());
    EXPECT_TRUE(nodesOfType("zylCollisionShape").empty());
    EXPECT_EQ(crackersInWorld(), 0u);
    EXPECT_EQ(scene(), before);  // the striker's keys as they were, nothing evaluated stored
    host::Result selected;
    mel("ls -sl", &selected);
    EXPECT_EQ(host::resultWords(selected), std::vector<std::string>{"striker"});
    run("redo");
    EXPECT_EQ(nodesOfType("zylCracker"), std::vector<std::string>{"Zylstriker"});
    ASSERT_TRUE(cracker("Zylstriker")->getBody());
    EXPECT_EQ(crackersInWorld(), 1u);
    run("undo; redo; undo");
    EXPECT_EQ(crackersInWorld(), 0u);
}

// The users' road: a cluster over the middle of a fracture body made by zylFractureBody
// gets its joints back when the body is rebuilt from its stress nodes, and goes with it.
using ClusterRoad = CrackerCmd;
TEST_F(ClusterRoad, RebuiltWithItsFractureBodyAndDissolvedWithIt) {
    run("zylSolver");
    for (const char* i : {"0", "1", "2", "3"})
        run(std::string("makeMesh -cube -n c") + i + "; xform -t " + i + " 3 0 c" + i + "; new_ZYLBody -st 2 -a 0 c" + i);
    run("zylFractureBody -dTh 0.01 -n fb cZylBody0 cZylBody1 cZylBody2 cZylBody3");
    EXPECT_EQ(answer("zylCluster -as cZylBody1 cZylBody2"), "zylCluster0");
    auto* fb = user<FractureBodyNode>("fb");
    auto* cluster = user<clusterFractureNode>("zylCluster0");
    ASSERT_TRUE(fb && cluster);
    fb->buildFractureBody(MAnimControl::minTime());
    EXPECT_EQ(fb->fractureBody->getNActiveJoints(), 3u);
    ASSERT_EQ(cluster->innerStresses().size() + cluster->outerStresses().size(), 3u);
    EXPECT_EQ(cluster->innerStresses()[0]->getJoint()->get_break_tolerance(), 50 * 1.2000000476837158);
    for (const SceneStress* s : cluster->outerStresses()) EXPECT_EQ(s->getJoint()->get_break_tolerance(), 0.0);
    run("delete fb");
    EXPECT_TRUE(nodesOfType("ClusterZylNode").empty());
}

// zylCluster over a row of six cubes c0..c5 joined by s0..s4 under fb.
class ClusterCmd : public FractureTest {
protected:
    using Names = std::vector<std::string>;
    static Names destinations(const std::string& plugName) {
        MPlugArray ends;
        plug(plugName).connectedTo(ends, false, true);
        Names out;
        for (unsigned i = 0; i < ends.length(); ++i) out.push_back(MFnDependencyNode(ends[i].node()).name().asChar());
        return out;
    }
    static void fails(const std::string& command, const std::string& error) {
        rt().log.clear();
        EXPECT_FALSE(mel(command)) << command;
        if (error.empty())  // only the host's own report of the failure
            EXPECT_EQ(count(host::LogKind::Error), 1u) << command << "\n" << rt().log.text();
        else
            EXPECT_TRUE(rt().log.contains(host::LogKind::Error, error)) << command << "\n" << rt().log.text();
    }
};

// P, Q, R = c1, c2, c3: the joints among them go inside, every other joint of theirs
// outside; -remove hands everything back at the body's threshold.
TEST_F(ClusterCmd, AssignTakesThreeFragmentsAndRemoveHandsThemBack) {
    run("createNode zylSolverNode");
    buildRow();
    run("select -r c1Body c2Body c3Body");
    const double untouched = strength(4);
    host::Result r;
    ASSERT_TRUE(mel("zylCluster -as", &r)) << rt().log.text();
    EXPECT_EQ(host::resultText(r), "zylCluster0");
    EXPECT_EQ(destinations("zylCluster0.instresses"), (Names{"s1", "s2"}));
    EXPECT_EQ(destinations("zylCluster0.outstresses"), (Names{"s0", "s3"}));
    EXPECT_EQ(destinations("zylCluster0.rigidBodies"), (Names{"c1Body", "c2Body", "c3Body"}));
    EXPECT_EQ(destinations("fb.rigidBodies"), (Names{"c0Body", "c4Body", "c5Body"}));
    EXPECT_EQ(destinations("fb.stresses"), Names{"s4"});
    EXPECT_EQ(destinations("fb.clusters"), Names{"zylCluster0"});
    const double k = 50 * 1.2000000476837158;
    EXPECT_EQ(MPlug(node("zylCluster0"), clusterFractureNode::stressThreshold).asDouble(), k);
    const double assigned[kJoints] = {0, k, k, 0, untouched};
    for (int i = 0; i < kJoints; ++i) EXPECT_EQ(strength(i), assigned[i]) << i;

    run("setAttr fb.stressThreshold 30; zylCluster -rem zylCluster0");
    EXPECT_TRUE(node("zylCluster0").isNull());
    EXPECT_EQ(destinations("fb.rigidBodies"), (Names{"c0Body", "c4Body", "c5Body", "c1Body", "c2Body", "c3Body"}));
    EXPECT_EQ(destinations("fb.stresses"), (Names{"s4", "s0", "s3", "s1", "s2"}));
    for (int i = 0; i < 4; ++i) EXPECT_EQ(strength(i), 30.0) << i;
}

TEST_F(ClusterCmd, RefusalsAndFragmentsThatCannotJoin) {
    run("createNode transform -n t; select -cl");
    EXPECT_FALSE(mel("zylCluster -as"));  // the syntax asks for an object
    fails("zylCluster -as t", "no zyl solver found, abort");
    run("createNode zylSolverNode");
    buildRow();
    fails("zylCluster -as fb", "invalid selection, abort");
    fails("zylCluster c1Body c2Body", "");
    bodies[2]->enableStatic();
    fails("zylCluster -as c1Body c2Body", "not enough fragments to create a cluster, abort");
    bodies[2]->disableStatic();
    // A fragment whose body was never built is no member.
    run("createNode zylRigidBody -n ghost; connectAttr fb.rigidBodies ghost.fracture");
    fails("zylCluster -as -n g c1Body ghost", "not enough fragments to create a cluster, abort");
    cube(6);
    fails("zylCluster -as c6Body", "fracture node not found, abort");
    EXPECT_TRUE(node("g").isNull() && node("zylCluster0").isNull());
}

}  // namespace
}  // namespace zyltest
