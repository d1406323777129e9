// The cluster node over a hand-built fracture body: defaults, the pushes into its
// stress nodes, joints rebuilt from the stress nodes, and field samples and forces.

#include <string>
#include <vector>

#include "fractureTestSupport.h"
#include "host/api/arrays.h"
#include "src/clusterNode.h"

namespace zyltest {
namespace {

class Cluster : public FractureTest {
protected:
    // Cluster "k" takes cubes first..last and the listed stress nodes from fb.
    using Names = std::vector<std::string>;
    clusterFractureNode* makeCluster(int first, int last, const Names& inner, const Names& outer) {
        run("createNode ClusterZylNode -n k; connectAttr fb.clusters k.fracture");
        for (int i = first; i <= last; ++i)
            run("disconnectAttr fb.rigidBodies c" + std::to_string(i) + "Body.fracture; connectAttr k.rigidBodies c" +
                std::to_string(i) + "Body.fracture");
        for (const auto& [list, plug] : {std::pair{inner, "instresses"}, std::pair{outer, "outstresses"}})
            for (const std::string& s : list)
                run("disconnectAttr fb.stresses " + s + ".fracture; connectAttr k." + plug + " " + s + ".fracture");
        return user<clusterFractureNode>("k");
    }
};

TEST_F(Cluster, DefaultsPushesAssignAndRelease) {
    run("createNode ClusterZylNode -n lone");
    const auto value = [](const std::string& plug) { return answer("getAttr " + plug); };
    EXPECT_EQ(value("lone.stressThreshold") + value("lone.breakFrame") + value("lone.bbf") + value("lone.bre"), "50100");
    run("setAttr lone.stressThreshold 2e6");
    EXPECT_EQ(value("lone.stressThreshold"), "1000000");
    EXPECT_FALSE(user<clusterFractureNode>("lone")->assignStresses());  // no fracture body

    buildRow();
    clusterFractureNode* k = makeCluster(1, 3, {"s1", "s2"}, {"s0", "s3"});
    EXPECT_TRUE(k->assignStresses());
    EXPECT_EQ(strength(0) + strength(3), 0.0);
    EXPECT_EQ(strength(1), 50.0);
    EXPECT_EQ(stresses[2]->getJoint()->get_break_tolerance(), 50.0);

    // Threshold and energy reach the inner stresses only, the by-frame settings all.
    run("setAttr k.stressThreshold 80; setAttr k.breakEnergy 2; setAttr k.breakFrame 9; setAttr k.breakByFrame 1");
    for (const char* f : {"k.csth", "k.caen", "k.cbkf", "k.cbbf"}) EXPECT_TRUE(flag(f)) << f;
    for (int i = 0; i < 4; ++i) {
        const bool inner = i == 1 || i == 2;
        EXPECT_EQ(strength(i), inner ? 80.0 : 0.0) << i;
        EXPECT_EQ(stresses[i]->getDoubleProperty("breakEnergy"), inner ? 2.0 : 0.0) << i;
        EXPECT_EQ(stresses[i]->getIntProperty("frameToBreak"), 9) << i;
        EXPECT_TRUE(stresses[i]->getBoolProperty("breakByFrame")) << i;
    }
    EXPECT_EQ(fb->byFrameStresses.size(), 4u);
    run("setAttr k.selected 1");
    EXPECT_TRUE(flag("k.csel") && k->isSelected());

    // Snapshot, change, back; members stay locked.
    k->storeInitialState(MTime(1.0));
    run("setAttr s1.forceStrenght 7");
    k->restoreInitialState();
    EXPECT_EQ(strength(1), 80.0);
    EXPECT_TRUE(MFnDependencyNode(node("c2Body")).isLocked());

    // Deleting the cluster gives every stress still wired to it the body's threshold.
    run("setAttr fb.stressThreshold 40; delete k");
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(strength(i), 40.0) << i;
        EXPECT_FALSE(stresses[i]->getBoolProperty("breakByFrame")) << i;
    }
    EXPECT_TRUE(fb->byFrameStresses.empty());
    run("lockNode -l 0 c1Body c2Body c3Body");  // for the tear-down
}

TEST_F(Cluster, JointsFromStressNodesAndFieldForces) {
    buildRow();
    for (int i = 0; i < kJoints; ++i) {
        const std::string s = numbered('s', i);
        run("setAttr " + s + ".body1Name -type \"string\" c" + std::to_string(i + 1) + "Body; setAttr " + s +
            ".body2Name -type \"string\" c" + std::to_string(i) + "Body; setAttr " + s + ".position " +
            std::to_string(i + 0.5) + " 0 0; setAttr " + s + ".enabled 1; setAttr " + s + ".forceStrenght 5");
    }
    run("createNode stressNode -n sx; connectAttr fb.stresses sx.fracture");
    SceneStress* stray = user<SceneStress>("sx");
    clusterFractureNode* k = makeCluster(1, 4, {"s1", "s2", "s3"}, {"s0", "sx", "s4"});
    // A rebuild: the engine's joints are gone, the stray node keeps a stale one.
    fb->fractureBody->clearFragmentJointLists();
    for (SceneStress* s : stresses) s->setJoint(nullptr);
    stray->setJoint(createDynamicStress(), true);

    k->buildJoints();
    EXPECT_EQ(fb->fractureBody->getNActiveJoints(), 5u);
    EXPECT_FALSE(stray->getJoint());
    for (int i = 1; i <= 4; ++i) EXPECT_EQ(user<rigidBodyNode>(numbered('c', i) + "Body")->getOwner(), fb);
    // Inner s1 s2 s3 and outer s0 - s4 numbered by list position, first two exchanged.
    const unsigned index[kJoints] = {1, 1, 0, 2, 2};
    for (int i = 0; i < kJoints; ++i) {
        const DynamicStress* j = stresses[i]->getJoint();
        ASSERT_TRUE(j) << i;
        EXPECT_EQ(j->getIndex(), index[i]) << i;
        EXPECT_EQ(std::string(j->getName()), numbered('s', i));
        EXPECT_EQ(j->getCNode(), bodies[i + 1]);
        EXPECT_EQ(j->getPNode(), bodies[i]);
        EXPECT_EQ(j->get_break_tolerance(), 5.0);
        EXPECT_EQ(stresses[i]->getOwner(), fb);
    }

    // Samples inner then outer; without apply the inner samples are skipped, the outer
    // joints still take theirs, and tiny forces are consumed unused.
    MVectorArray positions, velocities, forces;
    MDoubleArray masses;
    k->collectFieldSamples(positions, velocities, masses);
    ASSERT_EQ(positions.length(), 5u);
    const double x[] = {1.5, 2.5, 3.5, 0.5, 4.5};
    for (unsigned i = 0; i < 5; ++i) EXPECT_NEAR(positions[i].x, x[i], 1e-12);
    EXPECT_EQ(masses[4], 1.0);
    for (const MVector f : {MVector(9, 9, 9), MVector(1, 0, 0), MVector(1, 0, 0), MVector(1, 0, 0), MVector(2, 0, 0),
                            MVector(0.003, 0, 0)})
        forces.append(f);
    unsigned cursor = 1;
    k->applyFieldForces(forces, cursor, false, true);
    EXPECT_EQ(cursor, 6u);
    EXPECT_EQ(stresses[1]->getJoint()->getExternalForce(), Qmt::QmtVector3::ZERO);
    EXPECT_EQ(stresses[0]->getJoint()->getExternalForce(), Qmt::QmtVector3(2, 0, 0));
    EXPECT_EQ(stresses[4]->getJoint()->getExternalForce(), Qmt::QmtVector3::ZERO);
    cursor = 1;
    k->applyFieldForces(forces, cursor, true, false);
    EXPECT_EQ(cursor, 4u);
    EXPECT_EQ(stresses[3]->getJoint()->getExternalForce(), Qmt::QmtVector3(1, 0, 0));

    // A new world takes the engine body: the cluster's stresses forget their joints.
    run("createNode zylSolverNode");
    for (const SceneStress* s : stresses) EXPECT_FALSE(s->getJoint());
}

}  // namespace
}  // namespace zyltest
