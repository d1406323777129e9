// The cracker's body following its animated transform: velocities per alignment mode,
// placements inside a frame, the rest pose, and a solver run.

#include <cmath>
#include <numbers>
#include <string>

#include "crackerTestSupport.h"
#include "math/qmtMath.h"
#include "src/glDraw.h"
#include "src/sceneUtils.h"

namespace zyltest {
namespace {

class CrackerMotion : public CrackerTest {
protected:
    // The cracker's frame runs from the transform's pose now to its pose after `move`.
    static void frameMove(zylCrackerNode& c, const std::string& move) {
        c.updateBodyFromNodeTransform(MTime());
        run(move);
        c.readNodeTransformWithScale(MTime());
    }
    static double distance(const Qmt::QmtVector3& a, const Qmt::QmtVector3& b) { return (a - b).Length(); }
};

TEST_F(CrackerMotion, VelocityFollowsTheAlignmentMode) {
    zylCrackerNode& c = *striker("ball", 0, 0, 0);
    ASSERT_TRUE(c.getBody());
    frameMove(c, "xform -t 0.3 0 0.4 ball");
    const double dt = 0.01;

    // Along the path, scaled by the multiplier; the spin does not take it.
    run("setAttr Zylball.multiplier 2");
    c.computeBodyVelocityFromAnimation(dt);
    EXPECT_LT(distance(velocity(c), {60, 0, 80}), 1e-4);
    EXPECT_EQ(spin(c).Length(), 0.0);

    // A random factor: one draw per frame, above 1 - r faster, below r slower.
    run("setAttr Zylball.multiplier 1; setAttr Zylball.multrand 0.2");
    int fast = 0, slow = 0;
    for (unsigned k = 0; k < 200; ++k) {
        const unsigned seed = 1 + k * 99991u;
        Qmt::Math::SeedRandom(seed);
        const double u = Qmt::Math::UnitRandom();
        Qmt::Math::SeedRandom(seed);
        c.computeBodyVelocityFromAnimation(dt);
        const double factor = u > 0.8 ? 1.5 : (u < 0.2 ? 0.75 : 1.0);
        fast += factor == 1.5;
        slow += factor == 0.75;
        EXPECT_NEAR(velocity(c).Length(), 50.0 * factor, 1e-4) << seed;
    }
    EXPECT_GT(fast, 0);
    EXPECT_GT(slow, 0);
    run("setAttr Zylball.multrand 0");
    Qmt::Math::SeedRandom(7);
    const double first = Qmt::Math::UnitRandom();
    Qmt::Math::SeedRandom(7);
    c.computeBodyVelocityFromAnimation(dt);
    EXPECT_EQ(Qmt::Math::UnitRandom(), first);

    // Custom: the motion's speed along the unit impulse direction.
    run("setAttr Zylball.type 2; setAttr Zylball.impulseDir 0 3 4");
    c.computeBodyVelocityFromAnimation(dt);
    EXPECT_LT(distance(velocity(c), {0, 30, 40}), 1e-4);

    // A cracker that stands still has no velocity in any mode.
    frameMove(c, "xform -t 0.3 0 0.4 ball");
    for (int mode = 0; mode < 3; ++mode) {
        run("setAttr Zylball.type " + std::to_string(mode));
        c.computeBodyVelocityFromAnimation(dt);
        EXPECT_EQ(velocity(c).Length(), 0.0) << mode;
        EXPECT_EQ(spin(c).Length(), 0.0) << mode;
    }

    // A quarter turn in half a second.
    frameMove(c, "xform -ro 0 90 0 ball");
    c.computeBodyVelocityFromAnimation(0.5);
    EXPECT_LT(distance(spin(c), {0, std::numbers::pi, 0}), 1e-5);
}

// "align to surface": across the motion and the path's tangent ahead, turned against
// the view; without a path, straight (0, 0, 1).
TEST_F(CrackerMotion, SurfaceDirectionLiesAcrossThePathAwayFromTheView) {
    run("xform -t 0 0 -20 -ro 0 180 0 viewCamera");  // looking along +z
    MVector view;
    getActiveViewDirection(view);
    ASSERT_GT(view.z, 0.9);

    zylCrackerNode& still = *striker("loose", 0, 0, 0);
    EXPECT_EQ(distance(still.surfaceImpulseDirection({0, 0, 0}, {1, 0, 0}), {0, 0, 1}), 0.0);
    EXPECT_TRUE(still.findPathCurve().isNull());

    // Paths along x that turn to +y and to -y; the motion runs along x.
    for (const char* turn : {"4", "-4"}) {
        run(std::string("makeCurve -d 1 -pt 0 0 0 -pt 4 0 0 -pt 4 ") + turn + " 0 -n rail" + turn);
        run(std::string("makeMesh -sphere -n ball; makeMotionPath -c rail") + turn + " ball");
        zylCrackerNode& c = *cracker("ball");
        EXPECT_FALSE(c.findPathCurve().isNull());
        EXPECT_LT(distance(c.surfaceImpulseDirection({-1, 0, 0}, {0, 0, 0}), {0, 0, -1}), 1e-12) << turn;

        run("setAttr Zylball.type 1");
        frame(1);
        c.updateBodyFromNodeTransform(MTime());
        frame(2);
        c.readNodeTransformWithScale(MTime());
        c.computeBodyVelocityFromAnimation(0.1);
        const double x = number("ball.translateX");
        ASSERT_GT(x, 0.0);
        EXPECT_LT(distance(velocity(c), {0, 0, -x / 0.1}), 1e-5) << turn;
        run("delete ball");
    }
}

TEST_F(CrackerMotion, PlacementsInsideAFrameMatchTheTransformAtBothEnds) {
    run("makeMesh -sphere -n ball; xform -t 1 2 3 -ro 10 20 30 -s 0.5 0.5 0.5 ball");
    zylCrackerNode& c = *cracker("ball");
    // A centre off the pivot shows the scale in the offset.
    run("setAttr Zylball.massCenter 1.5 2 3; getAttr Zylball.cacm");
    ZylCrackerBody& body = *c.getBody();
    c.updateBodyFromNodeTransform(MTime());
    const MMatrix start = composeTransform(worldMatrix(c), c.offsetMatrix().inverse());
    EXPECT_TRUE(placement(body).isEquivalent(start, 1e-6));
    run("xform -t 2 2 3 -ro 10 50 30 ball");
    c.readNodeTransformWithScale(MTime());
    const MMatrix end = composeTransform(worldMatrix(c), c.offsetMatrix().inverse());

    c.interpolateBodyPlacement(1.0);
    EXPECT_TRUE(placement(body).isEquivalent(end, 1e-5));
    c.interpolateBodyPlacement(0.0);
    EXPECT_TRUE(placement(body).isEquivalent(start, 1e-5));
    c.interpolateBodyPlacement(0.5);
    EXPECT_NEAR(body.getDyn().position.x, (start[3][0] + end[3][0]) / 2, 0.05);
}

TEST_F(CrackerMotion, ResetReturnsTransformAndBodyToRest) {
    zylCrackerNode& c = *striker("ball", 0, 1, 0);
    c.storeRestPosition(MTime());
    frameMove(c, "xform -t 5 1 0 -ro 0 45 0 ball");
    c.updateBodyFromNodeTransform(MTime());
    ASSERT_NEAR(c.getBody()->getDyn().position.x, 5.0, 1e-6);
    c.resetNodeToRestPosition();
    EXPECT_EQ(number("ball.translateX"), 0.0);
    EXPECT_EQ(number("ball.rotateY"), 0.0);
    EXPECT_LT(distance(c.getBody()->getDyn().position, {0, 1, 0}), 1e-6);
    c.computeBodyVelocityFromAnimation(0.1);  // previous and current are the rest pose
    EXPECT_EQ(velocity(c).Length(), 0.0);

    // Without a body the transform goes back all the same.
    run("createNode transform -n free; createNode zylCracker -n Zylfree -p free");
    auto& loose = *userNodeAs<zylCrackerNode>(node("Zylfree"), zylCrackerNode::id);
    loose.storeRestPosition(MTime());
    run("xform -t 3 0 0 free");
    loose.resetNodeToRestPosition();
    EXPECT_EQ(number("free.translateX"), 0.0);
}

TEST_F(CrackerMotion, ASolverRunCarriesTheBodyWithTheAnimation) {
    box("crate", 10);
    run("makeMesh -sphere -n ball; setKeyframe -t 1 -at translateX -v 0 ball; "
        "setKeyframe -t 25 -at translateX -v 2.4 ball");
    zylCrackerNode& c = *cracker("ball");
    for (int f = 1; f <= 4; ++f) frame(f);
    // The frame from 3 to 4 moved 0.1 in 1/24 s.
    EXPECT_LT(distance(velocity(c), {2.4, 0, 0}), 1e-5);
    EXPECT_LT(distance(c.getBody()->getDyn().position, {0.3, 0, 0}), 1e-6);
    frame(1);
    EXPECT_LT(distance(c.getBody()->getDyn().position, {0, 0, 0}), 1e-6);
}

}  // namespace
}  // namespace zyltest
