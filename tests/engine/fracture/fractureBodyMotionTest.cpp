#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "engine/fracture/fractureBody.h"
#include "fractureRig.h"
#include "testSupport.h"

using Qmt::QmtMatrix3;
using Qmt::QmtVector3;
using Qmt::Quaternion;
using zyltest::expectNear;
using zyltest::FractureRig;
using zyltest::SampleBody;

namespace {

// One world step by hand: the state saved once, then substeps of gravity and both
// integrations.
void fall(FractureBody& body, double dt, int substeps, const QmtVector3& g = {0.0, -10.0, 0.0}) {
    body.storeDynState();
    const double h = dt / substeps;
    for (int k = 0; k < substeps; ++k) {
        body.clearDynForces();
        body.addDynForces(g * body.getMass());
        body.integrateVelocities(h, true);
        body.integratePositions(h);
    }
}

}  // namespace

TEST(FractureBodyCompound, MassCentreAndStaticFragments) {
    FractureRig rig;
    FractureBody body;
    SampleBody* light = rig.cube({0, 0, 0}, 1.0);
    SampleBody* heavy = rig.cube({4, 0, 0}, 3.0);
    body.addJoint(rig.join(light, heavy, 1));
    ASSERT_TRUE(body.updateFromFragments());
    EXPECT_DOUBLE_EQ(body.getMass(), 4.0);
    expectNear(body.getDyn().position, {3, 0, 0});
    EXPECT_FALSE(body.isStatic());
    EXPECT_TRUE(body.isActive());

    heavy->enableStatic();
    ASSERT_TRUE(body.updateFromFragments());
    EXPECT_DOUBLE_EQ(body.getMass(), 1.0);
    expectNear(body.getDyn().position, {0, 0, 0});
    EXPECT_TRUE(body.isStatic());

    // Without fragments nothing is derived and the body sleeps.
    FractureBody empty;
    empty.activate();
    QmtVector3 c(7, 7, 7);
    empty.computeCompoundCentre(c);
    expectNear(c, {7, 7, 7});
    EXPECT_DOUBLE_EQ(empty.getInvMass(), 1.0);
    EXPECT_FALSE(empty.updateFromFragments());
    EXPECT_FALSE(empty.isActive());
}

// A row of unit cubes: inertia about the centre diag(1, 18.5, 18.5) whatever the
// direction the fitted box takes, a proper rotation even where the fit is a
// reflection (the row along y), and fragments left where they were.
TEST(FractureBodyCompound, RowInertiaAndProperRotation) {
    for (const QmtVector3& step : {QmtVector3(1, 0, 0), QmtVector3(0, 1, 0)}) {
        FractureRig rig;
        FractureBody body;
        rig.row(body, 6, 1.0, step);
        std::vector<QmtVector3> before;
        for (const auto& f : rig.bodies) {
            before.push_back(f->getDyn().position);
        }
        ASSERT_TRUE(body.setUp());
        const QmtMatrix3 expected = step.x == 1 ? QmtMatrix3(1, 0, 0, 0, 18.5, 0, 0, 0, 18.5)
                                                : QmtMatrix3(18.5, 0, 0, 0, 1, 0, 0, 0, 18.5);
        expectNear(body.getDyn().inertiaWorld, expected, 1e-9);
        EXPECT_NEAR(body.getDyn().rotation.Determinant(), 1.0, 1e-12);
        expectNear(body.getDyn().position, step * 2.5);
        for (std::size_t i = 0; i < before.size(); ++i) {
            expectNear(rig.bodies[i]->getDyn().position, before[i]);
            expectNear(rig.bodies[i]->getDyn().rotation, QmtMatrix3::IDENTITY);
        }
        expectNear(body.transform.boxSize, {1, 1, 6}, 1e-9);  // ascending spread
        expectNear(body.computeWCenter(), step * 2.5, 1e-9);

        // Moving the centre of mass keeps the box where it is.
        const QmtVector3 box = body.computeWCenter();
        const QmtVector3 offset = body.transform.centreOffset;
        body.setMassCenter(body.getDyn().position);
        expectNear(body.transform.centreOffset, offset);
        body.setMassCenter({1, 2, 3});
        expectNear(body.computeWCenter(), box, 1e-12);
        expectNear(body.getLastDyn().position, {1, 2, 3});
    }
}

TEST(FractureBodyCompound, SetMassSharesAndClamps) {
    FractureRig rig;
    FractureBody body;
    SampleBody* light = rig.cube({0, 0, 0}, 1.0);
    SampleBody* heavy = rig.cube({4, 0, 0}, 3.0);
    body.addJoint(rig.join(light, heavy, 1));
    ASSERT_TRUE(body.setUp());
    body.setMass(8.0f);
    EXPECT_DOUBLE_EQ(light->getMass(), 2.0);
    EXPECT_DOUBLE_EQ(heavy->getMass(), 6.0);
    EXPECT_DOUBLE_EQ(body.getMass(), 8.0);

    // The buffer follows the fragments: reversed order and a missing buffer.
    body.fragments.clear();
    body.fragments.pushFront(heavy);
    body.fragments.pushFront(light);
    body.setMass(4.0f);
    EXPECT_DOUBLE_EQ(light->getMass(), 1.0);
    EXPECT_DOUBLE_EQ(heavy->getMass(), 3.0);
    FractureRig rig2;
    FractureBody bare;
    rig2.row(bare, 2, 2.0);
    QmtVector3 centre;
    bare.computeCompoundCentre(centre);  // mass 4, never set up: no buffer yet
    bare.setMass(8.0f);
    EXPECT_DOUBLE_EQ(rig2.bodies[0]->getMass(), 4.0);

    heavy->enableStatic();
    body.setMass(0.0f);
    EXPECT_DOUBLE_EQ(body.getMass(), 1.0 / (1.0 / static_cast<double>(1e-5f)));
    EXPECT_DOUBLE_EQ(heavy->getMass(), 3.0);

    // Scaling by one keeps the mass and the compound's scale field.
    body.setMass(4.0f);
    body.setScale({1, 1, 1});
    EXPECT_DOUBLE_EQ(body.getMass(), 4.0);
    expectNear(body.transform.scale, {1, 1, 1});
}

TEST(FractureBodyMotion, FallsAsOneBody) {
    FractureRig rig;
    FractureBody body;
    rig.row(body, 2);
    ASSERT_TRUE(body.setUp());
    const QmtVector3 start = body.getDyn().position;
    fall(body, 1.0 / 30.0, 10);
    EXPECT_NEAR(body.getDyn().v.y, -1.0 / 3.0, 1e-12);
    EXPECT_NEAR(body.getDyn().position.y - start.y, -55.0 / 18000.0, 1e-12);
    for (int i = 0; i < 2; ++i) {
        EXPECT_NEAR(rig.bodies[i]->getDyn().v.y, -1.0 / 3.0, 1e-12);
        expectNear(rig.bodies[i]->getDyn().position, {static_cast<double>(i), -55.0 / 18000.0, 0}, 1e-12);
    }
}

TEST(FractureBodyMotion, SpinsRigidly) {
    FractureRig rig;
    FractureBody body;
    SampleBody* a = rig.cube({0, 0, 0});
    SampleBody* b = rig.cube({1, 0, 0});
    SampleBody* c = rig.cube({1, 1, 0}, 2.0);
    body.addJoint(rig.join(a, b, 1));
    body.addJoint(rig.join(b, c, 2));
    ASSERT_TRUE(body.setUp());
    body.setLinearVelocity({0.5, 0, 0});
    body.setAngularVelocity({0.3, 1.0, -0.4});
    const double ab = (a->getDyn().position - b->getDyn().position).Length();
    const double ac = (a->getDyn().position - c->getDyn().position).Length();
    for (int s = 0; s < 30; ++s) {
        fall(body, 1.0 / 30.0, 10, QmtVector3::ZERO);
    }
    EXPECT_NEAR((a->getDyn().position - b->getDyn().position).Length(), ab, 1e-9);
    EXPECT_NEAR((a->getDyn().position - c->getDyn().position).Length(), ac, 1e-9);
    const RBDynamics& d = body.getDyn();
    for (const SampleBody* f : {a, b, c}) {
        expectNear(f->getDyn().rotation, d.rotation * f->getMatrixPivotCm().Transpose(), 1e-12);
        expectNear(f->getDyn().w, d.w);
    }
    // Velocities handed down are those of points of the compound.
    body.setLinearVelocity({0, 0, 1});
    expectNear(c->getDyn().v, QmtVector3(0, 0, 1) + d.w.Cross(c->getDyn().position - d.position));
    EXPECT_TRUE(body.hasMoved());
    body.storeDynState();
    EXPECT_FALSE(body.hasMoved());
}

TEST(FractureBodyMotion, DampingEnergyAndBreakPush) {
    FractureRig rig;
    FractureBody body;
    rig.row(body, 2);
    ASSERT_TRUE(body.setUp());
    body.setAirDampingCoeff(0.5);
    body.setAirDampingCoeff2(0.5);
    EXPECT_EQ(rig.bodies[0]->getAirDampingCoeff(), 0.5);
    body.setLinearVelocity({2, 0, 0});
    body.setAngularVelocity({0, 0, 1});
    const QmtVector3 L = body.getDyn().L;
    // Linear damping over 1/100 s; angular damping once per call whatever dt.
    body.integrateVelocities(0.01, true);
    expectNear(body.getDyn().v, {1, 0, 0});
    expectNear(body.getDyn().L, L * 0.5);
    body.integrateVelocities(0.001, true);
    expectNear(body.getDyn().L, L * 0.25);

    // A joint to an outside body breaking with energy 2 pushes the compound away.
    FractureRig outside;
    SampleBody* other = outside.cube({0, 3, 0});
    DynamicStress* joint = outside.join(other, rig.bodies[0].get());  // CNode is ours
    body.setLinearVelocity(QmtVector3::ZERO);
    body.setAngularVelocity(QmtVector3::ZERO);
    body.deActivate();
    joint->setBreakEnergy(1e-5);
    body.ApplyBreakEnergy(joint);
    EXPECT_FALSE(body.isActive());
    joint->setBreakEnergy(2.0);
    body.ApplyBreakEnergy(joint);
    expectNear(body.getDyn().v, {0, -4.0 * body.getInvMass(), 0});
    EXPECT_TRUE(body.isActive());
    body.enableStatic();
    EXPECT_EQ(body.computeEnergy(), 3.4028234663852886e38);
}

// Corrections stay within what the compound swept in the last step.
TEST(FractureBodyMotion, TranslateRotateAndDisplacementClamps) {
    FractureRig rig;
    FractureBody body;
    rig.row(body, 2);
    ASSERT_TRUE(body.setUp());
    const QmtVector3 x0 = body.getDyn().position;
    body.storeDynState();
    body.translate({1, 0, 0});  // at rest: no room
    expectNear(body.getDyn().position, x0);
    body.setPosition(x0 + QmtVector3(0.2, 0, 0));
    body.translate({1, 0, 0});  // back onto the ball around the middle
    expectNear(body.getDyn().position, x0 + QmtVector3(0.2, 0, 0));
    const QmtVector3 offset = rig.bodies[1]->getDyn().position - body.getDyn().position;
    body.translate({-0.15, 0, 0});
    expectNear(body.getDyn().position, x0 + QmtVector3(0.05, 0, 0));
    expectNear(rig.bodies[1]->getDyn().position - body.getDyn().position, offset);

    // The displacement clamps to the swept interval and keeps the integrated copy.
    body.extraction = 0.0;
    const QmtVector3 integrated = body.getDyn().integratedPosition;
    body.applyDisplacement({5, 0, 0}, QmtVector3::ZERO);
    EXPECT_NEAR(body.getDyn().position.x, std::fmax(x0.x, integrated.x), 1e-12);
    expectNear(body.getDyn().integratedPosition, integrated);

    // A rotation whose clamped quaternion has zero length leaves the orientation.
    body.setRotationMatrix(QmtMatrix3::IDENTITY);
    body.dyn.invInertiaWorld = QmtMatrix3::IDENTITY;
    body.lastDyn.orientation = Quaternion(0, 1, 0, 0);
    body.rotate({-1.5 * 3.141592653589793, 0, 0});
    EXPECT_EQ(body.getDyn().orientation, Quaternion(1, 0, 0, 0));
    expectNear(body.getDyn().rotation, QmtMatrix3::IDENTITY);
    EXPECT_FALSE(body.isWorldModified());
}

// A resting container carries its static children along as points of itself.
TEST(FractureBodyMotion, StaticChildrenFollowTheContainer) {
    FractureBody parent;
    auto* child = new FractureBody();
    auto* moving = new FractureBody();
    parent.children.pushFront(child);
    parent.children.pushFront(moving);
    child->enableStatic();
    child->setMatrixPivotCm(zyltest::ROT_Z90.Transpose());  // turned a quarter about z
    child->setTransPivotCm({-1, 0, 0});  // offset (0, 1, 0) in the parent's frame
    parent.setLinearVelocity({1, 0, 0});
    parent.setAngularVelocity({0, 0, 0.5});
    parent.deActivate();
    parent.integratePositionsWithChildren(0.1);
    const RBDynamics& d = parent.getDyn();
    expectNear(d.position, {0.1, 0, 0});
    expectNear(child->getDyn().rotation, d.rotation * zyltest::ROT_Z90);
    expectNear(child->getDyn().position, d.rotation * QmtVector3(0, 1, 0) + d.position);
    // The velocity of the point where the child stood before it was placed.
    expectNear(child->getDyn().v, QmtVector3(1, 0, 0) + d.w.Cross(QmtVector3::ZERO - d.position));
    expectNear(moving->getDyn().position, QmtVector3::ZERO);

    DynamicStress joint;
    child->activeJoints.pushFront(&joint);
    joint.applyExternalForce({1, 2, 3});
    parent.clearJointExternalForces();
    expectNear(joint.getExternalForce(), QmtVector3::ZERO);
    child->activeJoints.clear();
    delete child;
    delete moving;
    parent.children.clear();
}
