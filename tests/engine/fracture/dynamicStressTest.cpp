#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "engine/bodies/sampleBody.h"
#include "engine/fracture/dynamicStress.h"
#include "testSupport.h"

using Qmt::QmtMatrix3;
using Qmt::QmtVector3;
using Qmt::Quaternion;
using zyltest::expectNear;
using zyltest::expectVec;
using zyltest::place;
using zyltest::SampleBody;

TEST(DynamicStress, DefaultsFlagsAndCopies) {
    DynamicStress j;
    EXPECT_STREQ(j.getName(), "");
    EXPECT_EQ(j.nPoints, 1);
    EXPECT_EQ(j.getNPoints(), 1);
    EXPECT_EQ(j.getIndex(), 0u);
    EXPECT_EQ(j.flags, 0u);
    EXPECT_EQ(j.getCNode(), nullptr);
    EXPECT_EQ(j.getPNode(), nullptr);
    EXPECT_EQ(j.getNDofs(), 3);
    j.enableTorsion();
    EXPECT_EQ(j.getNDofs(), 6);

    j.applyExternalForce({1, 0, 0});
    j.applyExternalForce({1, 0, 0});
    expectVec(j.getExternalForce(), 2, 0, 0);
    j.clearExternalForces();
    expectVec(j.getExternalForce(), 0, 0, 0);

    // The saved word records the mask's bits as set when any of them is set.
    j.flags = JOINT_ACTIVE;
    j.storeInitialState(0x3);
    EXPECT_EQ(j.initialFlags, 0x3u);
    j.storeInitialState(JOINT_TORSION);  // clear in the flags: recorded clear
    EXPECT_EQ(j.initialFlags, 0x3u);
    j.applyInitialState();
    EXPECT_EQ(j.flags, 0x3u);

    // Names are cut to 255 characters.
    const std::string longName(300, 'n');
    j.setName(longName.c_str());
    EXPECT_EQ(std::strlen(j.getName()), 255u);
    j.setName("str_a_b");
    j.enableProcessedThread(5);
    j.set_break_tolerance(0.5);
    const DynamicStress copy(j);
    EXPECT_STREQ(copy.getName(), "str_a_b");
    EXPECT_TRUE(copy.isProcessedThread(5));
    EXPECT_EQ(copy.get_break_tolerance(), 0.5);
}

TEST(DynamicStress, AttachAnchorsAndAxis) {
    SampleBody a, b;
    place(a, {0, 0, 0});
    b.init({2, 0, 0}, zyltest::ROT_Z90, {1, 1, 1});

    DynamicStress refused;
    EXPECT_FALSE(refused.attach({1, 0, 0}, 1, nullptr, nullptr));
    EXPECT_FALSE(refused.attach({1, 0, 0}, -1, &a, &b));
    EXPECT_EQ(refused.flags, 0u);
    EXPECT_FALSE(a.isJoined());

    // Two bodies: first is the PNode, second the CNode; anchors in their frames.
    DynamicStress two;
    ASSERT_TRUE(two.attach({1, 1, 0}, 1, &a, &b));
    EXPECT_EQ(two.getPNode(), &a);
    EXPECT_EQ(two.getCNode(), &b);
    EXPECT_TRUE(a.isJoined() && b.isJoined() && two.isActive());
    expectVec(two.PNodeAnchor, 1, 1, 0);
    expectNear(two.CNodeAnchor, {1, 1, 0});  // R^T (p - x) with x = (2, 0, 0)
    QmtVector3 anchor;
    two.getAnchorState(anchor);
    expectNear(anchor, {1, 1, 0});
    a.translate({0, 0, 2});
    two.getAnchorState(anchor);
    expectNear(anchor, {1, 1, 1});
    QmtVector3 axis;
    expectNear(two.getAxis(axis), QmtVector3(-2, 0, 2) * (1 / std::sqrt(8.0)));

    // One body: it is the CNode and the PNode anchor stays a world point.
    SampleBody c;
    place(c, {0, 5, 0});
    DynamicStress one;
    ASSERT_TRUE(one.attach({0, 6, 0}, 1, nullptr, &c));
    EXPECT_EQ(one.getCNode(), &c);
    EXPECT_EQ(one.getPNode(), nullptr);
    EXPECT_TRUE(c.isJoined() && one.isActive());
    expectVec(one.PNodeAnchor, 0, 6, 0);
    one.getAnchorState(anchor);
    expectVec(anchor, 0, 6, 0);
    c.setOrientation(Quaternion(QmtVector3::UNIT_Z, 1.5707963267948966));
    one.getAnchorState(anchor);
    expectNear(anchor, {-0.5, 5.5, 0});
    // The world point stands in for the missing PNode.
    expectNear(one.getAxis(axis), {0, 1, 0});

    // Coincident centres give the short difference; no CNode gives zero.
    c.setPosition({0, 6, 0});
    expectVec(one.getAxis(axis), 0, 0, 0);
    DynamicStress loose;
    loose.setPNode(&a);
    expectVec(loose.getAxis(axis), 0, 0, 0);
}
