#include <string>

#include "engine/bodies/hardBody.h"
#include "engine/world/publicWorld.h"
#include "host/api/transformationMatrix.h"
#include "moduleTestSupport.h"
#include "src/nodeHelpers.h"
#include "src/rigidBodyNode.h"

namespace zyltest {
namespace {

class RigidBody : public BatchModuleTest {
protected:
    static std::size_t warnings() { return count(host::LogKind::Warning); }
};

TEST_F(RigidBody, CubeOfSideTwoGetsItsMassCentreAndPose) {
    run("makeMesh -cube -s 2 -n box; xform -t 1 2 3 -ro 0 0 90 box");
    rigidBodyNode* rb = wireBody("box");
    ASSERT_TRUE(rb);
    EXPECT_EQ(number("boxBody.carb"), 1.0);
    const HardBody* body = rb->getBody(false);
    ASSERT_TRUE(body);
    EXPECT_EQ(body->getType(), HB_HULL);
    EXPECT_EQ(number("boxBody.mass"), 4000.0);
    EXPECT_EQ(body->getMass(), 4000.0);
    EXPECT_NEAR(number("boxBody.massCenterX"), 1.0, 1e-9);
    EXPECT_NEAR(number("boxBody.massCenterY"), 2.0, 1e-9);
    EXPECT_NEAR(number("boxBody.massCenterZ"), 3.0, 1e-9);
    EXPECT_NEAR((body->getDyn().position - Qmt::QmtVector3(1, 2, 3)).Length(), 0.0, 1e-9);
    EXPECT_EQ(body->getDynInit().position, body->getDyn().position);
    EXPECT_STREQ(body->transform.name, "boxBody");
    EXPECT_EQ(rb->serialNumber() % 2, 1u);
    EXPECT_EQ(body->transform.tail, rb->serialNumber());
    EXPECT_EQ(number("boxBody.enb"), 1.0);
    EXPECT_EQ(number("boxBody.use"), 0.0);
    EXPECT_EQ(warnings(), 0u);
    // The offset ties the body's pose to the transform: W = O · B.
    EXPECT_TRUE((rb->offsetMatrix() * placement(*body)).isEquivalent(worldMatrix(*rb), 1e-6));

    // The build pushes the parameters as their change flag does: a tenth of the damping.
    EXPECT_EQ(body->getAirDampingCoeff(), 0.0010000000149011613);
    EXPECT_EQ(body->getRestitutionCoeff(), 0.3);
    EXPECT_EQ(body->getFrictionCoeff(), 0.7);
    EXPECT_EQ(rb->getBody(true)->getAirDampingCoeff(), 0.0010000000149011613);
    EXPECT_EQ(rb->getBody(true)->getAirDampingCoeff2(), 0.0010000000149011613);
    // A rebuild by the collision type alone (as in an opened scene) scales it too, with
    // the next serial.
    const std::uint32_t serial = rb->serialNumber();
    run("setAttr boxCollision.type 0");
    EXPECT_EQ(rb->getBody(true)->getType(), HB_PHANTOM);
    EXPECT_EQ(rb->getBody(true)->getAirDampingCoeff(), 0.0010000000149011613);
    EXPECT_EQ(rb->serialNumber(), serial + 2);
    run("setAttr boxCollision.type 1");
    EXPECT_EQ(rb->getBody(true)->transform.tail, serial + 4);
    EXPECT_EQ(rb->serialNumber(), serial + 4);
    run("setAttr boxBody.linearDamping 0.01");
    EXPECT_EQ(rb->getBody(true)->getAirDampingCoeff(), 0.0010000000149011613);
}

TEST_F(RigidBody, UserMassStaysAndUnsetMassIsComputed) {
    run("makeMesh -cube -s 2 -n a; makeMesh -cube -s 2 -n b");
    rigidBodyNode* user = wireBody("a");
    run("setAttr aBody.mass 2");
    EXPECT_EQ(user->getBody(true)->getMass(), 2.0);
    EXPECT_EQ(number("aBody.mass"), 2.0);
    rigidBodyNode* tiny = wireBody("b");
    run("setAttr bBody.mass 0.000001");
    EXPECT_EQ(tiny->getBody(true)->getMass(), 4000.0);
    EXPECT_EQ(number("bBody.mass"), 4000.0);

    // A user mass centre stays too, and moves the body's reference point.
    run("setAttr aBody.massCenter 0.5 0 0");
    rigidBodyNode& rb = *user;
    EXPECT_EQ(number("aBody.cacm"), 1.0);
    const HardBody& body = *rb.getBody(false);
    EXPECT_EQ(body.getDyn().position, Qmt::QmtVector3(0.5, 0, 0));
    EXPECT_TRUE((rb.offsetMatrix() * placement(body)).isEquivalent(worldMatrix(rb), 1e-6));
}

// A mass that counts as unset, pushed after the build by either change flag, leaves the
// body the mass the build computed rather than an infinite inverse.
TEST_F(RigidBody, UnsetMassPushedLaterKeepsTheBuiltMass) {
    run("makeMesh -cube -s 2 -n a");
    rigidBodyNode* rb = wireBody("a");
    run("setAttr aBody.mass 2");
    ASSERT_EQ(rb->getBody(true)->getMass(), 2.0);
    run("setAttr aBody.mass 0");
    EXPECT_EQ(rb->getBody(true)->getMass(), 4000.0);
    run("setAttr aBody.mass -3; setAttr aBody.passive 0; getAttr aBody.caas");
    EXPECT_EQ(rb->getBody(false)->getMass(), 4000.0);
    EXPECT_EQ(rb->getBody(true)->getDynInit().invMass, 1.0 / 4000.0);
}

// A vector beyond single precision reaches the engine as no infinity: velocities count
// as none, a mass centre leaves the body's own, a gravity the world's.
TEST_F(RigidBody, VectorsBeyondSinglePrecisionStayOutOfTheEngine) {
    run("zylSolver; makeMesh -cube -s 2 -n a; xform -t 1 2 3 a");
    rigidBodyNode* rb = wireBody("a");
    HardBody* body = rb->getBody(true);
    ASSERT_TRUE(body && engineWorld());
    // Scripts and files cannot set such values (the host refuses them); a connection or
    // a direct write still can.
    EXPECT_FALSE(mel("setAttr aBody.initialVelocity 1e39 0 0"));
    ASSERT_TRUE(plug("aBody.initialVelocity").child(0).setValue(1e39));
    ASSERT_TRUE(plug("aBody.initialSpin").child(1).setValue(1e39));
    ASSERT_TRUE(plug("aBody.massCenter").child(0).setValue(1e39));
    run("getAttr aBody.caiv; getAttr aBody.caiw; getAttr aBody.cacm");
    rb->applyInitialVelocities();
    EXPECT_EQ(body->getDyn().v, Qmt::QmtVector3::ZERO);
    EXPECT_EQ(body->getDyn().w, Qmt::QmtVector3::ZERO);
    EXPECT_EQ(number("aBody.velocityX"), 0.0);
    EXPECT_NEAR((body->getDyn().position - Qmt::QmtVector3(1, 2, 3)).Length(), 0.0, 1e-9);
    const Qmt::QmtVector3 g = engineWorld()->GetGravity();
    ASSERT_TRUE(plug("zylSolverNode1.gravity").child(1).setValue(-1e39));
    run("getAttr zylSolverNode1.cgr");
    EXPECT_EQ(engineWorld()->GetGravity(), g);
}

// Two unit-apart cubes in one mesh: far from convex, so the best-fitting body is a
// triangle mesh, and a jagged one asked for "Auto" is a hull.
TEST_F(RigidBody, BodyKindFollowsTheCollisionType) {
    std::string points, faces;
    const char* quads[] = {"0 1 3 2", "4 6 7 5", "0 4 5 1", "2 3 7 6", "0 2 6 4", "1 5 7 3"};
    for (int box = 0; box < 2; ++box) {
        for (int i = 0; i < 8; ++i)
            points += std::to_string((i & 4 ? 1 : 0) + 3 * box) + " " + std::to_string(i & 2 ? 1 : 0) + " " +
                      std::to_string(i & 1 ? 1 : 0) + " ";
        for (const char* quad : quads) {
            std::string shifted;
            for (const char c : std::string(quad))
                shifted += c == ' ' ? std::string(" ") : std::to_string(c - '0' + 8 * box);
            faces += shifted + ";";
        }
    }
    run("makeMesh -n pair -pts \"" + points + "\" -fc \"" + faces + "\"");
    rigidBodyNode* rb = wireBody("pair", 2, false);
    const std::pair<int, eHBodyType> kinds[] = {{0, HB_PHANTOM}, {1, HB_CAPSULE}, {2, HB_HULL}, {3, HB_TRIMESH},
                                                {4, HB_TRIMESH}, {6, HB_TRIMESH}, {7, HB_TRIMESH}};
    for (const auto& [type, kind] : kinds) {
        run("setAttr pairBody.inCollisionType " + std::to_string(type));
        ASSERT_TRUE(rb->getBody(true)) << type;
        EXPECT_EQ(rb->getBody(true)->getType(), kind) << "type " << type;
    }
    run("setAttr pairBody.isJaggy 1; setAttr pairBody.inCollisionType 3; setAttr pairBody.inCollisionType 4");
    EXPECT_EQ(rb->getBody(true)->getType(), HB_HULL);
    EXPECT_EQ(warnings(), 0u);
}

TEST_F(RigidBody, KeyedTransformStaysAnimatedUnlessTheKeysAreParked) {
    run("makeMesh -cube -s 2 -n box");
    run("setKeyframe -at translateX -t 1 -v 0 box; setKeyframe -at translateX -t 10 -v 5 box");
    rigidBodyNode* rb = wireBody("box");
    const std::size_t before = warnings();
    EXPECT_EQ(number("boxBody.carb"), 1.0);
    EXPECT_EQ(warnings(), before + 1);
    EXPECT_NE(rt().log.text().find("Object boxBody cannot be active becouse it has already animation keys"),
              std::string::npos);
    EXPECT_EQ(number("boxBody.passive"), 2.0);

    // Made active by the user: the same warning, and animated again.
    run("setAttr boxBody.usercommand 1; setAttr boxBody.passive 0");
    EXPECT_EQ(number("boxBody.caas"), 1.0);
    EXPECT_EQ(warnings(), before + 2);
    EXPECT_EQ(number("boxBody.passive"), 2.0);
    EXPECT_EQ(number("boxBody.usercommand"), 0.0);
    // Made active by anything else: dynamic, silently.
    run("setAttr boxBody.passive 0");
    EXPECT_EQ(number("boxBody.caas"), 1.0);
    EXPECT_EQ(warnings(), before + 2);
    EXPECT_EQ(number("boxBody.passive"), 0.0);
    EXPECT_FALSE(rb->getBody(false)->isStatic());
    // With its keys parked, the user may make it active, and first-hit too.
    run("setAttr boxBody.hasZylKeys 1; setAttr boxBody.usercommand 1; setAttr boxBody.passive 0;"
        " setAttr boxBody.firstHitActive 1");
    EXPECT_EQ(number("boxBody.caas"), 1.0);
    EXPECT_EQ(warnings(), before + 2);
    EXPECT_TRUE(rb->getBody(false)->isFirstHit(false));
    run("setAttr boxBody.hasZylKeys 0; setAttr boxBody.firstHitActive 1");
    EXPECT_EQ(number("boxBody.caas"), 1.0);
    EXPECT_EQ(warnings(), before + 3);
    EXPECT_EQ(number("boxBody.firstHitActive"), 0.0);
}

TEST_F(RigidBody, InitialVelocitiesAboveTheThresholdReachADynamicBody) {
    run("makeMesh -cube -s 2 -n box");
    rigidBodyNode* rb = wireBody("box");
    HardBody* body = rb->getBody(true);
    ASSERT_TRUE(body);
    run("setAttr boxBody.initialVelocity 0.001 0 0; setAttr boxBody.initialSpin 0 1 0");
    rb->setActiveState(0, true);
    EXPECT_EQ(body->getDyn().v, Qmt::QmtVector3(0, 0, 0));
    EXPECT_EQ(body->getDyn().w, Qmt::QmtVector3(0, 1, 0));
    run("setAttr boxBody.initialVelocity 0 0 1");
    rb->setActiveState(0, false);
    EXPECT_EQ(body->getDyn().v, Qmt::QmtVector3(0, 0, 1));
    EXPECT_EQ(number("boxBody.passive"), 0.0);
    rb->setActiveState(1, false);
    EXPECT_TRUE(body->isStatic());
    EXPECT_EQ(number("boxBody.passive"), 1.0);
    // Parameters keep to their ranges.
    run("setAttr boxBody.bounciness 2; setAttr boxBody.friction -1; setAttr boxBody.gapfactor 3");
    EXPECT_EQ(number("boxBody.bounciness"), 1.0);
    EXPECT_EQ(number("boxBody.friction"), 0.0);
    EXPECT_EQ(number("boxBody.gapfactor"), 1.0);
}

TEST_F(RigidBody, TransformPoseAndRestReachTheBody) {
    run("makeMesh -cube -s 2 -n box");
    rigidBodyNode* rb = wireBody("box");
    HardBody* body = rb->getBody(true);
    run("xform -t 0 5 0 -ro 90 0 0 box");
    rb->readAnimatedTransform(MAnimControl::currentTime(), false);
    EXPECT_NEAR((body->getDyn().position - Qmt::QmtVector3(0, 5, 0)).Length(), 0.0, 1e-6);
    EXPECT_TRUE((rb->offsetMatrix() * placement(*body)).isEquivalent(worldMatrix(*rb), 1e-6));
    EXPECT_EQ(body->getDynInit().position, Qmt::QmtVector3(0, 0, 0));
    rb->setRestFromCurrent(MAnimControl::animationStartTime());
    EXPECT_EQ(body->getDynInit().position, body->getDyn().position);
    EXPECT_NEAR(MFnTransform(node("box")).restPosition().getTranslation().y, 5.0, 1e-12);
}

// The aspects: 1 a keyed transform, 2 a deforming or generated collision mesh, 4 a
// keyed parameter, 8 a generated mesh. Deformers and generators are wired by hand.
TEST_F(RigidBody, AnimatedAspectsFollowTheirSources) {
    run("makeMesh -cube -s 2 -n box; makeMesh -cube -s 2 -n skinned; makeMesh -cube -s 2 -n made");
    run("createNode transform -n joint; createNode skinCluster -n skin; createNode polyCreator -n maker");
    run("connectAttr joint.worldMatrix[0] skin.matrix[0]; connectAttr skin.outputGeometry skinnedShape.inMesh");
    run("connectAttr maker.output madeShape.inMesh");
    const rigidBodyNode* box = wireBody("box");
    const rigidBodyNode* skinned = wireBody("skinned");
    const rigidBodyNode* made = wireBody("made");
    // A generated mesh counts as changing whatever feeds its generator.
    EXPECT_TRUE(made->isAnimatedAspect(2));
    EXPECT_TRUE(made->isAnimatedAspect(8));
    EXPECT_FALSE(made->isAnimatedAspect(1 | 4));
    // A deformer only when what moves it is animated.
    for (const rigidBodyNode* rb : {box, skinned}) EXPECT_FALSE(rb->isAnimatedAspect(1 | 2 | 4 | 8));
    run("setKeyframe -at translateX -t 1 -v 0 joint; setKeyframe -at translateX -t 5 -v 1 joint");
    EXPECT_TRUE(skinned->isAnimatedAspect(2));
    EXPECT_FALSE(skinned->isAnimatedAspect(1 | 4 | 8));

    run("setKeyframe -at friction -t 1 -v 0 boxBody");
    EXPECT_TRUE(box->isAnimatedAspect(4));
    EXPECT_FALSE(box->isAnimatedAspect(1 | 2 | 8));
    run("setKeyframe -at rotateY -t 1 -v 0 box");
    EXPECT_TRUE(box->isAnimatedAspect(1));
    EXPECT_FALSE(box->isParentAnimated());
    run("group -n rig box; setKeyframe -at translateY -t 1 -v 0 rig");
    EXPECT_TRUE(box->isParentAnimated());
}

TEST_F(RigidBody, NoBodyFromANodeThatIsNoCollisionShape) {
    run("makeMesh -cube -s 2 -n box; createNode zylRigidBody -n other -p box; createNode zylRigidBody -n body -p box");
    run("connectAttr other.inCollisionType body.inCollisionType");
    auto* rb = userNodeAs<rigidBodyNode>(node("body"), rigidBodyNode::id);
    testing::internal::CaptureStdout();
    EXPECT_EQ(number("body.carb"), 1.0);
    EXPECT_EQ(number("body.carb"), 1.0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "rigidBodyNode connected to a non-collision shape node!\n");
    EXPECT_EQ(rb->getBody(true), nullptr);
}

// A deforming mesh emptied in place leaves its shape with a mesh of no faces and no
// points: no body, and no mean of no vertices.
TEST_F(RigidBody, EmptiedDeformingMeshGivesNoBody) {
    run("makeMesh -cube -s 2 -n box; createNode mesh -n hollow");
    rigidBodyNode* rb = wireBody("box", 3, false);
    run("setAttr boxBody.inCollisionType 3; setAttr boxCollision.ac 1");
    ASSERT_TRUE(rb->getBody(true));
    ASSERT_TRUE(rb->getCollisionMesh());  // the shape holds a mesh again
    run("connectAttr -f hollow.worldMesh[0] boxCollision.inShape; setAttr boxBody.inCollisionType 3");
    EXPECT_EQ(rb->getBody(true), nullptr);
    EXPECT_EQ(warnings(), 0u);
    EXPECT_EQ(number("boxBody.massCenterX"), 0.0);
}

}  // namespace
}  // namespace zyltest
