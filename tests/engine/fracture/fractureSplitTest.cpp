#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "engine/fracture/dynamicStress.h"
#include "engine/fracture/fractureBody.h"
#include "fractureRig.h"

using Qmt::QmtVector3;
using zyltest::FractureRig;
using zyltest::listOf;
using zyltest::SampleBody;

namespace {

struct Wall {
    FractureRig rig;
    FractureBody body;

    explicit Wall(int n, double mass = 1.0) {
        rig.row(body, n, mass);
        std::strcpy(body.transform.name, "wall");
        body.transform.index = 7;
        EXPECT_TRUE(body.setUp());
    }
    ~Wall() { body.applyInitialState(); }  // destroys the children the split made
    SampleBody* cube(int i) { return rig.bodies[static_cast<std::size_t>(i)].get(); }
    DynamicStress* joint(int i) { return rig.joints[static_cast<std::size_t>(i) - 1]; }
    FractureBody* child(int k) { return listOf(body.children)[static_cast<std::size_t>(k)]; }
};

}  // namespace

TEST(FractureSplit, ChainLosesItsEndAndRoundTrips) {
    Wall w(3);
    w.body.dyn.v = QmtVector3(1, 0, 0);
    w.body.dyn.w = QmtVector3(0, 0, 1);
    const QmtVector3 centre = w.body.dyn.position;
    w.body.split();  // nothing recorded: nothing happens
    EXPECT_EQ(w.body.children.count, 0u);

    w.joint(2)->deActivate();
    w.body.split();  // broken in place only: still nothing
    EXPECT_EQ(w.body.children.count, 0u);
    w.body.removeDeactivatedJointsFromActiveList();
    w.body.split();

    ASSERT_EQ(w.body.numDisconectBodies(), 1u);
    EXPECT_EQ(listOf(w.body.disconnectedBodies)[0], w.cube(2));
    const QmtVector3 expected = QmtVector3(1, 0, 0) + QmtVector3(0, 0, 1).Cross(w.cube(2)->dyn.position - centre);
    EXPECT_EQ(w.cube(2)->dyn.v, expected);
    EXPECT_FALSE(w.cube(2)->isJoined());
    EXPECT_EQ(w.cube(2)->getParent(), nullptr);

    ASSERT_EQ(w.body.children.count, 1u);
    EXPECT_STREQ(w.child(0)->transform.name, "wall_1");
    EXPECT_EQ(w.child(0)->transform.index, 8);
    EXPECT_EQ(w.child(0)->getNJointBodies(), 2u);
    EXPECT_EQ(w.cube(0)->getParent(), w.child(0));
    EXPECT_FALSE(w.body.isActive());
    EXPECT_EQ(w.body.getNJointBodies(), 0u);
    EXPECT_EQ(listOf(w.body.ownJoints), (std::vector<DynamicStress*>{w.joint(2), w.joint(1)}));
    EXPECT_EQ(listOf(w.body.offJoints), (std::vector<DynamicStress*>{w.joint(2)}));
    EXPECT_EQ(w.body.brokenCount, 1u);
    EXPECT_EQ(w.body.pendingBreaks, 0u);

    w.body.applyInitialState();
    EXPECT_EQ(w.body.children.count, 0u);
    EXPECT_EQ(w.body.getNActiveJoints(), 2u);
    EXPECT_EQ(w.body.getNJointBodies(), 3u);
    EXPECT_TRUE(w.joint(2)->isActive());
}

TEST(FractureSplit, GroupsCyclesAndTheStaticHeir) {
    Wall two(4);
    two.body.deActivateJoint(two.joint(2));
    two.body.split();
    ASSERT_EQ(two.body.children.count, 2u);
    EXPECT_EQ(two.body.numDisconectBodies(), 0u);
    EXPECT_STREQ(two.child(0)->transform.name, "wall_1");
    EXPECT_STREQ(two.child(1)->transform.name, "wall_2");
    EXPECT_TRUE(two.child(0)->hasFragment(two.cube(0)));
    EXPECT_TRUE(two.child(1)->hasFragment(two.cube(3)));

    // A cycle that lost one joint stays one piece.
    Wall ring(3);
    ring.body.addJoint(ring.rig.join(ring.cube(2), ring.cube(0), 9));
    ring.body.deActivateJoint(ring.joint(1));
    ring.body.split();
    EXPECT_EQ(ring.body.children.count, 0u);
    EXPECT_EQ(ring.body.getNActiveJoints(), 2u);
    EXPECT_TRUE(ring.body.isActive());
    EXPECT_EQ(listOf(ring.body.ownJoints), (std::vector<DynamicStress*>{ring.joint(1)}));
    EXPECT_EQ(ring.body.offJoints.count, 1u);

    // Static parent, children of mass 2, 5 and 5: the first 5 becomes static.
    FractureRig rig;
    FractureBody body;
    SampleBody* cubes[6];
    const double masses[6] = {1, 1, 2.5, 2.5, 2.5, 2.5};
    for (int i = 0; i < 6; ++i) {
        cubes[i] = rig.cube({static_cast<double>(i), 0, 0}, masses[i]);
        if (i > 0) {
            body.addJoint(rig.join(cubes[i - 1], cubes[i], static_cast<unsigned>(i)));
        }
    }
    ASSERT_TRUE(body.setUp());
    body.enableStatic();
    body.deActivateJoint(rig.joints[1]);
    body.deActivateJoint(rig.joints[3]);
    body.split();
    ASSERT_EQ(body.children.count, 3u);
    const auto kids = listOf(body.children);
    EXPECT_FALSE(kids[0]->isStatic());
    EXPECT_TRUE(kids[1]->isStatic());
    EXPECT_FALSE(kids[2]->isStatic());
    body.applyInitialState();
}

TEST(FractureSplit, BreakEnergyOnceAndStaticPiecesKeepTheirMotion) {
    Wall w(3);
    w.joint(1)->setBreakEnergy(1.0);
    w.joint(2)->setBreakEnergy(2.0);
    w.body.deActivateJoint(w.joint(1));
    w.body.deActivateJoint(w.joint(2));
    w.body.split();
    EXPECT_EQ(w.body.numDisconectBodies(), 3u);
    EXPECT_EQ(w.body.children.count, 0u);
    // The middle cube is the CNode of the first energy joint: pushed along +x by 1.
    EXPECT_NEAR(w.cube(1)->dyn.v.x, 1.0, 1e-12);

    Wall s(2);
    s.cube(1)->enableStatic();
    s.cube(1)->dyn.v = QmtVector3(0, 5, 0);
    s.body.dyn.v = QmtVector3(1, 0, 0);
    s.body.deActivateJoint(s.joint(1));
    s.body.split();
    EXPECT_EQ(s.body.numDisconectBodies(), 2u);
    EXPECT_EQ(s.cube(1)->dyn.v, QmtVector3(0, 5, 0));
    EXPECT_FALSE(s.cube(1)->isJoined());
    EXPECT_EQ(s.cube(0)->dyn.v, QmtVector3(1, 0, 0));
}

TEST(FractureSplit, RecursiveBreaksOverloadedJointsAndLongNames) {
    const auto splitsAt = [](double force) {
        Wall w(2);
        w.joint(1)->enableBreakableByForce();
        w.joint(1)->set_break_tolerance(4.0);
        w.joint(1)->applyExternalForce(QmtVector3(force, 0, 0));
        w.body.splitRecursive();
        return w.body.numDisconectBodies() == 2u;
    };
    EXPECT_FALSE(splitsAt(1.9));  // 3.61 <= 4
    EXPECT_TRUE(splitsAt(2.1));   // 4.41 > 4

    Wall w(3);
    const std::string longName(253, 'n');
    std::strcpy(w.body.transform.name, longName.c_str());
    w.body.deActivateJoint(w.joint(2));
    w.body.splitByExternalBrokenJoints();
    ASSERT_EQ(w.body.children.count, 1u);
    EXPECT_STREQ(w.child(0)->transform.name, (longName + "_1").c_str());
    // A split body's later break always makes a child, named after the child.
    w.child(0)->deActivateJoint(w.joint(1));
    w.body.splitByExternalBrokenJoints();
    EXPECT_EQ(w.child(0)->numDisconectBodies(), 2u);

    Wall tooLong(3);
    std::strcpy(tooLong.body.transform.name, std::string(254, 'n').c_str());
    tooLong.body.deActivateJoint(tooLong.joint(2));
    tooLong.body.split();
    EXPECT_STREQ(tooLong.child(0)->transform.name, "splitted");
}
