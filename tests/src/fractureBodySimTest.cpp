// The fracture body through a solver's run, and its per-frame parts driven by hand, on
// the hand-built row of six cubes.

#include <cmath>
#include <string>

#include "fractureTestSupport.h"
#include "host/api/animControl.h"

namespace zyltest {
namespace {

class FractureRun : public FractureTest {
protected:
    // Members let go of their owner and are unlocked, so they can go after it.
    void TearDown() override {
        for (int i = 0; i < kBodies; ++i)
            if (auto* rb = user<rigidBodyNode>(numbered('c', i) + "Body")) rb->setOwner(nullptr);
        mel("lockNode -l 0 c0Body c1Body c2Body c3Body c4Body c5Body");
        FractureTest::TearDown();
    }
    // The row at height y, its joints as strong as `threshold`, owning its members, in
    // the world of a solver with a ground, prepared as a build leaves it.
    void simulatedRow(double y, const std::string& threshold = "100") {
        run("createNode zylSolverNode; connectAttr time1.outTime zylSolverNode1.inTime");
        run("setAttr zylSolverNode1.ugrid 1");
        buildRow(y);
        fb->rename("fb");
        for (int i = 0; i < kBodies; ++i) {
            user<rigidBodyNode>(numbered('c', i) + "Body")->setOwner(fb);
            run("connectAttr zylSolverNode1.rigidBodies " + numbered('c', i) + "Body.solver");
        }
        run("connectAttr zylSolverNode1.fractureBodies fb.solver; setAttr fb.randomThreshold 0");
        run("setAttr fb.stressThreshold " + threshold + "; getAttr fb.cast");
        // Its mass is its members' total, as a build leaves it.
        MPlug(fb->thisMObject(), FractureBodyNode::mass).setValue(1.0 / fb->fractureBody->getInvMass());
        run("getAttr fb.cmss");
        fb->updateStressPositions();
        fb->prepareAtTime(MAnimControl::currentTime());
        fb->addToWorld();
    }
    static double value(const std::string& name, const char* attr) {
        return MFnDependencyNode(node(name)).findPlug(attr).asDouble();
    }
    static void play(int from, int to) {
        for (int f = from; f <= to; ++f) MAnimControl::setCurrentTime(MTime(f, MTime::uiUnit()));
    }
    // The joints that hold in the body and its children.
    static unsigned held(const FractureBody* body) {
        unsigned n = body->getNActiveJoints();
        for (const FractureBody* child : body->children) n += held(child);
        return n;
    }
};

// Dropped 1 m, the row breaks on the ground at its weak joint into two children named
// after it; at the start again every joint, pose, lock and stress value is back.
// Unbreakable, it holds until its breakFrame; static with firstHitActive 2, it is let go
// at actFrame.
TEST_F(FractureRun, DroppedRowBreaksOnTheGroundAndResets) {
    simulatedRow(1.5);
    run("setAttr s1.forceStrenght 1; getAttr s1.cfrv; setAttr fb.secCracks 0");
    play(1, 20);
    EXPECT_EQ(fb->fractureBody->getNActiveJoints(), 0u);
    EXPECT_EQ(held(fb->fractureBody), 4u);
    ASSERT_EQ(fb->fractureBody->children.count, 2u);
    EXPECT_STREQ(fb->fractureBody->getFirstFBody()->transform.name, "fb_1");
    EXPECT_LT(value("s0", "positionY"), 1.0);
    play(1, 1);
    EXPECT_EQ(held(fb->fractureBody), 5u);
    EXPECT_EQ(fb->fractureBody->children.count, 0u);
    EXPECT_EQ(value("c0", "ty"), 1.5);
    EXPECT_EQ(value("s0", "positionY"), 1.5);
    EXPECT_EQ(stresses[1]->getJoint()->get_break_tolerance(), 1.0);
    EXPECT_TRUE(MFnDependencyNode(node("c0Body")).isLocked() && MPlug(node("c0Body"), rigidBodyNode::mass).isLocked());

    run("setAttr fb.unbreakable 1; setAttr fb.breakFrame 20");
    play(1, 19);
    EXPECT_EQ(held(fb->fractureBody), 5u);
    EXPECT_FALSE(fb->fractureBody->isBreakable());
    play(20, 20);
    EXPECT_TRUE(fb->fractureBody->isBreakable());

    run("setAttr fb.passive 1; setAttr fb.firstHitActive 2; setAttr fb.actFrame 10; getAttr fb.cpas; getAttr fb.cafh");
    play(1, 9);
    EXPECT_TRUE(fb->fractureBody->isStatic());
    play(10, 12);
    EXPECT_FALSE(fb->fractureBody->isStatic());
    EXPECT_LT(bodies[0]->getDyn().position.y, 1.5);
}

// A joint due at its frame breaks and splits the body; only with energy its impulse
// pushes the two sides apart (on the propagation's copies of their motion) and spreads
// from both ends. A joint that force can break only stops breaking by frame.
TEST_F(FractureRun, ByFrameStressesBreakAtTheirFrame) {
    simulatedRow(0, "0.01");
    run("setAttr s2.forceStrenght 0; setAttr s3.forceStrenght 50; getAttr s2.cfrv; getAttr s3.cfrv");
    for (const std::string s : {"s2", "s3"})
        run("setAttr " + s + ".frameToBreak 5; setAttr " + s + ".breakByFrame 1; getAttr " + s + ".cbfr");
    const auto lane = [&](int i) { return bodies[i]->laneDyn[0].v.x; };
    fb->breakStressesAtFrame(4);
    EXPECT_EQ(held(fb->fractureBody), 5u);
    fb->breakStressesAtFrame(5);
    EXPECT_FALSE(stresses[2]->getJoint()->isActive());
    EXPECT_FALSE(stresses[3]->getJoint()->isBreakableByFrame());
    EXPECT_EQ(held(fb->fractureBody), 4u);
    EXPECT_EQ(fb->fractureBody->children.count, 2u);
    for (int i = 0; i < kBodies; ++i) EXPECT_EQ(lane(i), 0.0) << i;

    fb->resetMembers();
    run("setAttr s2.breakEnergy 2; getAttr s2.cbre");
    fb->breakStressesAtFrame(5);
    EXPECT_FALSE(stresses[2]->getJoint()->isActive());
    EXPECT_LT(lane(2), 0.0);  // the PNode end
    EXPECT_EQ(lane(3), -lane(2));
    EXPECT_TRUE(lane(1) < 0.0 && lane(4) > 0.0);  // passed on from both ends
}

// Samples are the anchors of the enabled force-breakable joints in connection order; the
// fields' forces add up; a negligible force is dropped but its sample counts; a joint
// whose force outgrows its strength gives way. In the solver's pass each substep's forces
// replace the last ones, on the joints and on the bodies alike.
TEST_F(FractureRun, FieldForcesReachTheJoints) {
    simulatedRow(1.5, "200");
    run("setAttr s4.forceStrenght 50; getAttr s4.cfrv; setAttr s1.enabled 0; getAttr s1.cebl");
    run("makeField -t uniform -m 10 -d 1 0 0 -n east; makeField -t uniform -m 2 -d 0 1 0 -n up");
    MVectorArray positions, velocities;
    MDoubleArray masses;
    fb->collectStressFieldSamples(positions, velocities, masses);
    ASSERT_EQ(positions.length(), 4u);
    EXPECT_TRUE(positions[1] == MVector(2.5, 1.5, 0) && velocities[1] == MVector() && masses[1] == 1.0);
    MVectorArray forces(4, MVector());
    for (const char* field : {"east", "up"})
        fb->addFieldForces(node(field), positions, velocities, masses, forces, 0.01);
    forces[0] = MVector(0.003, 0, 0);
    fb->applyStressFieldForces(forces, 1);
    EXPECT_EQ(stresses[0]->getJoint()->getExternalForce(), Qmt::QmtVector3::ZERO);
    EXPECT_EQ(stresses[2]->getJoint()->getExternalForce(), Qmt::QmtVector3(10, 2, 0));
    fb->splitWeakJoints();
    EXPECT_FALSE(stresses[4]->getJoint()->isActive());
    EXPECT_EQ(held(fb->fractureBody), 3u);

    run("connectAttr east.message fb.fieldList[0]; setAttr fb.affectForceFields 1; getAttr fb.caff");
    play(1, 3);
    ASSERT_NE(fb->fractureBody->children.count, 0u);  // split at the start on s1
    for (const FractureBody* child : fb->fractureBody->children)
        EXPECT_EQ(child->getExternalForces(), Qmt::QmtVector3(10, 0, 0));
    EXPECT_EQ(stresses[0]->getJoint()->getExternalForce(), Qmt::QmtVector3(10, 0, 0));
}

// The topmost animated transform above the members carries the body: it takes that
// transform's motion (turned into the body's own frame: the speed stays), and the
// members their current poses.
TEST_F(FractureRun, RidesOnTheTopmostAnimatedParent) {
    buildRow();
    run("group -n inner c0 c1 c2 c3 c4 c5; group -n outer inner; setKeyframe -at translateY -t 9 -v 1 inner");
    run("setKeyframe -at translateX -t 1 -v 0 outer; setKeyframe -at translateX -t 25 -v 24 outer");
    run("setKeyframe -at rotateZ -t 1 -v 0 outer; setKeyframe -at rotateZ -t 25 -v 1 outer");
    ASSERT_TRUE(fb->detectAnimBody());
    EXPECT_EQ(fb->getAnimNode(), node("outer"));
    EXPECT_FALSE(fb->linkAnimBody());  // no rigid body under it
    fb->updateAnimOffset();
    play(5, 5);
    fb->followAnimBody(1.0 / 24, MTime(4, MTime::uiUnit()), MTime(5, MTime::uiUnit()));
    const RBDynamics& state = fb->fractureBody->getDyn();
    // One unit a frame along x, turning slowly about z: the body goes along x in world
    // axes, whatever its principal axes.
    EXPECT_NEAR(state.v.x, 24.0, 0.1);
    EXPECT_NEAR(state.v.z, 0.0, 1e-9);
    EXPECT_TRUE(state.w.z > 0.0 && std::abs(state.w.x) < 1e-9);
    const MDagPath c0 = path("c0");
    EXPECT_NEAR(bodies[0]->getDyn().position.x, c0.inclusiveMatrix()[3][0], 1e-6);
}

}  // namespace
}  // namespace zyltest
