// The cracker node: its engine body, the pushes of its change flags, its removal and
// its drawing.

#include <cmath>
#include <string>
#include <vector>

#include "crackerTestSupport.h"
#include "host/view/feedback.h"
#include "host/view/projection.h"
#include "src/glDraw.h"

namespace zyltest {
namespace {

using hosttest::FeedbackPrimitive;

class Cracker : public CrackerTest {};

TEST_F(Cracker, BuildsANumberedStaticCapsuleAtItsMeshInTheWorld) {
    run("makeMesh -cube -n block; xform -t 1 2 3 -ro 0 30 0 -s 2 1 1 block");
    zylCrackerNode* first = cracker("block");
    ASSERT_TRUE(first && first->getBody());
    const ZylCrackerBody& body = *first->getBody();
    EXPECT_EQ(body.getType(), HB_CRACKER);
    EXPECT_EQ(first->crackerId(), 5257);
    EXPECT_EQ(body.transform.tail, 5257u);
    EXPECT_STREQ(body.transform.name, "Zylblock");
    EXPECT_TRUE(body.isStatic());
    EXPECT_TRUE(inWorld(&body));
    EXPECT_NEAR(body.getMass(), 1000.0, 1e-3);  // volume 2 × 500
    EXPECT_EQ(body.getRestitutionCoeff(), 0.3);
    EXPECT_EQ(body.getFrictionCoeff(), 0.7);
    EXPECT_NEAR((body.getDyn().position - Qmt::QmtVector3(1, 2, 3)).Length(), 0.0, 1e-6);
    // The default mass centre gave way to the body's; the flags and switches are set.
    EXPECT_NEAR(number("Zylblock.massCenterY"), 2.0, 1e-6);
    EXPECT_EQ(number("Zylblock.cacr"), 1.0);
    EXPECT_EQ(number("Zylblock.enabled"), 1.0);
    EXPECT_EQ(number("Zylblock.usercommand"), 0.0);
    EXPECT_TRUE(first->isActive());
    // The offset ties the body to the transform: B = compose(E, inverse(O)).
    EXPECT_TRUE(composeTransform(worldMatrix(*first), first->offsetMatrix().inverse())
                    .isEquivalent(placement(body), 1e-6));

    run("makeMesh -cube -n other");
    EXPECT_EQ(cracker("other")->crackerId(), 5259);
}

TEST_F(Cracker, MassFollowsUnitsVolumeAndAUserCentre) {
    run("setAttr zylSolverNode1.fitUnitsToMayaScale 1; makeMesh -cube -n box");
    EXPECT_NEAR(cracker("box")->getBody()->getMass(), 7.5, 1e-6);  // 0.015 × 500 × 1

    // A flat mesh has no volume: mass 1 at its vertex mean, with the node named.
    run("makeMesh -plane -n sheet; xform -t 0 4 0 sheet");
    zylCrackerNode* flat = cracker("sheet");
    ASSERT_TRUE(flat->getBody());
    EXPECT_NEAR(flat->getBody()->getMass(), 1.0, 1e-9);
    EXPECT_NEAR(flat->getBody()->getDyn().position.y, 4.0, 1e-6);
    EXPECT_TRUE(logged(host::LogKind::Warning, "body Zylsheet has no volume"));

    // A user's mass centre above the epsilon is kept, and the body moves there while
    // its transform stays put.
    run("makeMesh -cube -n held");
    run("createNode zylCracker -n Zylheld -p held; setAttr Zylheld.massCenter 0.25 0.5 0");
    run("connectAttr zylSolverNode1.crackers Zylheld.solver; createNode zylCollisionShape -n heldShape2");
    run("connectAttr heldShape2.outCollisionType Zylheld.inCollisionType; connectAttr heldShape.worldMesh[0] "
        "heldShape2.inShape; setAttr heldShape2.type 6");
    auto* held = userNodeAs<zylCrackerNode>(node("Zylheld"), zylCrackerNode::id);
    held->evaluateAttributes();
    ASSERT_TRUE(held->getBody());
    EXPECT_NEAR(number("Zylheld.massCenterX"), 0.25, 1e-9);
    EXPECT_NEAR((held->getBody()->getDyn().position - Qmt::QmtVector3(0.25, 0.5, 0)).Length(), 0.0, 1e-6);
    EXPECT_TRUE(composeTransform(worldMatrix(*held), held->offsetMatrix().inverse())
                    .isEquivalent(placement(*held->getBody()), 1e-6));
}

// Only the default centre is replaced: one below it in every component is the user's.
TEST_F(Cracker, AUserCentreBelowTheDefaultIsKept) {
    run("makeMesh -cube -n low; createNode zylCracker -n Zyllow -p low; setAttr Zyllow.massCenter -1 -2 -0.5");
    run("connectAttr zylSolverNode1.crackers Zyllow.solver; createNode zylCollisionShape -n lowShape2");
    run("connectAttr lowShape2.outCollisionType Zyllow.inCollisionType; connectAttr lowShape.worldMesh[0] "
        "lowShape2.inShape; setAttr lowShape2.type 6");
    auto* low = userNodeAs<zylCrackerNode>(node("Zyllow"), zylCrackerNode::id);
    low->evaluateAttributes();
    ASSERT_TRUE(low->getBody());
    EXPECT_EQ(number("Zyllow.massCenterY"), -2.0);
    EXPECT_NEAR((low->getBody()->getDyn().position - Qmt::QmtVector3(-1, -2, -0.5)).Length(), 0.0, 1e-6);
}

TEST_F(Cracker, IndexSizeAndParametersReachTheBody) {
    run("makeMesh -cube -n box");
    zylCrackerNode* c = cracker("box");
    ZylCrackerBody* body = c->getBody();

    // The index is pushed on every read: the flag is never left clean.
    run("setAttr Zylbox.index 7");
    EXPECT_EQ(number("Zylbox.cidx"), 1.0);
    EXPECT_EQ(body->transform.index, 7);
    body->transform.index = 3;
    number("Zylbox.cidx");
    EXPECT_EQ(body->transform.index, 7);

    // A new size refreshes the body's pose from the transform and its capsule from the
    // mesh; the value itself is not read.
    const double radius = body->computeBboxAndAxis(false)->radius;
    run("xform -t 0 5 0 box; setAttr Zylbox.size 3");
    EXPECT_EQ(number("Zylbox.caz"), 0.0);
    EXPECT_EQ(c->getBody(), body);
    EXPECT_NEAR(body->getDyn().position.y, 5.0, 1e-6);
    EXPECT_NEAR(body->computeBboxAndAxis(false)->radius, radius, 1e-9);
    EXPECT_EQ(number("Zylbox.cacp"), 1.0);

    // Parameters: restitution and friction stay fixed; the impulse direction is unit.
    run("setAttr Zylbox.impulseDir 0 3 4; setAttr Zylbox.multiplier 2");
    body->setRestitutionCoeff(0.9);
    number("Zylbox.cacp");
    EXPECT_EQ(body->getRestitutionCoeff(), 0.3);

    // Disabled, the body leaves the world and the cracker is not active.
    run("setAttr Zylbox.enabled 0");
    EXPECT_FALSE(c->isActive());
    EXPECT_FALSE(inWorld(body));
    run("setAttr Zylbox.enabled 1");
    EXPECT_TRUE(c->isActive());
    EXPECT_TRUE(inWorld(body));
}

TEST_F(Cracker, WithoutACollisionShapeSaysSoAndBuildsNothing) {
    run("makeMesh -cube -n box; createNode zylCracker -n Zylbox -p box; createNode transform -n t");
    run("addAttr -ln count -at long t; connectAttr t.count Zylbox.inCollisionType");
    auto* c = userNodeAs<zylCrackerNode>(node("Zylbox"), zylCrackerNode::id);
    testing::internal::CaptureStdout();
    c->evaluateAttributes();
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("rigidBodyNode connected to a non-collision shape node!\n"), std::string::npos) << out;
    EXPECT_FALSE(c->getBody());
    EXPECT_FALSE(c->isActive());
    EXPECT_EQ(zylCrackerNode::bodyCounter, zylCrackerNode::kFirstBodyCounter);

    // A collision shape fed no mesh gives no body either, and no warning.
    run("createNode zylCollisionShape -n empty; setAttr empty.type 6; connectAttr -f empty.outCollisionType "
        "Zylbox.inCollisionType");
    c->evaluateAttributes();
    EXPECT_FALSE(c->getBody());
    EXPECT_EQ(count(host::LogKind::Warning), 0u);
}

TEST_F(Cracker, RemovalDeletesTheBodyAndRefreshesAnOpenPanel) {
    run("makeMesh -cube -n a; makeMesh -cube -n b");
    const HardBody* first = cracker("a")->getBody();
    cracker("b");
    run("delete Zyla");
    rt().idle.flush();
    EXPECT_FALSE(inWorld(first));
    EXPECT_FALSE(logged(host::LogKind::Recorded, "updateZylCrackersPanel"));
    run("hostOption -ow zylCrakersWin; delete b");
    rt().idle.flush();
    EXPECT_TRUE(logged(host::LogKind::Recorded, "updateZylCrackersPanel"));
    EXPECT_TRUE(static_cast<PrivateWorld*>(world())->aCrackers.count == 0u);

    // A world made anew leaves no cracker pointing into the old one; the body comes back
    // on the next read.
    run("makeMesh -cube -n c");
    zylCrackerNode* c = cracker("c");
    run("createNode zylSolverNode");
    EXPECT_FALSE(c->getBody());
    c->evaluateAttributes();
    ASSERT_TRUE(c->getBody());
    EXPECT_TRUE(inWorld(c->getBody()));
}

class CrackerDraw : public CrackerTest {
protected:
    void SetUp() override {
        CrackerTest::SetUp();
        if (std::string why; !hosttest::haveView(why)) GTEST_SKIP() << why;
    }
};

TEST_F(CrackerDraw, DrawsItsCapsuleWhereTheBodyIsInTheSelectionColours) {
    run("makeMesh -sphere -n box; xform -t 1 0 -2 -ro 0 0 90 box");
    zylCrackerNode* c = cracker("box");
    ASSERT_TRUE(c->getBody());
    run("select -cl");
    EXPECT_TRUE(hosttest::feedbackDraw("Zylbox").empty());

    run("select -r box");
    std::vector<FeedbackPrimitive> prims = hosttest::feedbackDraw("Zylbox");
    ASSERT_EQ(prims.size(), 1444u);  // four lines, then per end a ring and two half rings
    const float* colour = prims[0].vertices[0].color;
    EXPECT_EQ(std::vector<float>(colour, colour + 4), (std::vector<float>{0, 1, 1, 1}));

    // The first side line runs along the world capsule, a radius off its core along
    // the transform's y.
    const ZYLcapsule& world = *c->getBody()->computeBboxAndAxis(true);
    const Qmt::QmtVector3 half = world.axis * (world.length / 2);
    const Qmt::QmtVector3 ends[2] = {world.centre - half, world.centre + half};
    const MVector offset = MVector(0, world.radius, 0) * worldMatrix(*c);
    for (int k = 0; k < 2; ++k) {
        const MPoint expected = hosttest::windowPoint(MPoint(ends[k].x, ends[k].y, ends[k].z) + offset);
        const auto& v = prims[0].vertices[static_cast<std::size_t>(k)];
        EXPECT_NEAR(v.x, expected.x, 0.01);
        EXPECT_NEAR(v.y, expected.y, 0.01);
    }

    displaySelected = false;
    run("select -r Zylbox");
    EXPECT_EQ(hosttest::feedbackDraw("Zylbox").size(), 1444u);
    run("select -cl");
    prims = hosttest::feedbackDraw("Zylbox");
    ASSERT_FALSE(prims.empty());
    colour = prims[0].vertices[0].color;
    EXPECT_EQ(std::vector<float>(colour, colour + 4), (std::vector<float>{0, 0, 1, 1}));
    run("hostOption -busy 1");
    EXPECT_TRUE(hosttest::feedbackDraw("Zylbox").empty());
}

}  // namespace
}  // namespace zyltest
