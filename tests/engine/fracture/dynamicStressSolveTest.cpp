#include <gtest/gtest.h>

#include <memory>

#include "engine/collision/collisionManager.h"
#include "engine/fracture/dynamicStress.h"
#include "engine/solver/lsqSystem.h"
#include "fractureRig.h"

using Qmt::QmtVector3;
using zyltest::FractureRig;
using zyltest::SampleBody;

namespace {

constexpr double kTol = 1e-9;

// Unit cubes of mass 1 at x = 0 (PNode) and x = 1 (CNode), joined at (0.5, 0, 0).
struct Pair {
    std::unique_ptr<CollisionManager> manager = std::make_unique<CollisionManager>();
    FractureRig rig;
    SampleBody* p = rig.cube({0, 0, 0});
    SampleBody* c = rig.cube({1, 0, 0});
    DynamicStress* joint = rig.join(p, c);

    Pair() { syncLanes(); }
    void syncLanes() {
        p->laneDyn[0] = p->dyn;
        c->laneDyn[0] = c->dyn;
    }
};

void expectImpulse(const StressImpulse& got, const StressImpulse& want) {
    for (std::size_t i = 0; i < 6; ++i) {
        EXPECT_NEAR(got[i], want[i], kTol) << "component " << i;
    }
}

}  // namespace

TEST(DynamicStressSolve, ImpulseSeenFromEitherBodyAndTheTwoBodySolve) {
    Pair s;
    s.c->laneDyn[0].v = QmtVector3(0, 0, 1);
    expectImpulse(s.joint->computeStressImpulse(s.c, 0), {0, 0, 0.4, 0, 0, 0});
    expectImpulse(s.joint->computeStressImpulse(s.p, 0), {0, 0, -0.4, 0, 0, 0});

    // A pure relative spin with torsion: only the angular right-hand side is set.
    s.syncLanes();
    s.joint->enableTorsion();
    s.c->laneDyn[0].w = QmtVector3(1, 0, 0);
    expectImpulse(s.joint->computeStressImpulse(s.c, 0), {0, 0, 0, 1.0 / 6.0, 0, 0});
    s.joint->disableTorsion();
    expectImpulse(s.joint->computeStressImpulse(s.c, 0), {});  // no torsion: nothing to hold

    // At rest, the break energy alone pushes the sides apart along the axis.
    s.syncLanes();
    s.joint->setBreakEnergy(1.0);
    expectImpulse(s.joint->solveStressImpulse(), {1, 0, 0, 0, 0, 0});
    s.joint->setBreakEnergy(0.0);
    expectImpulse(s.joint->solveStressImpulse(), {});

    // Moving together: zero without a solve.
    s.p->dyn.v = s.c->dyn.v = QmtVector3(3, 2, 1);
    s.syncLanes();
    expectImpulse(s.joint->solveStressImpulse(), {});
    expectImpulse(s.joint->computeStressImpulse(s.c, 0), {});
}

TEST(DynamicStressSolve, NoManagerNoImpulse) {
    FractureRig rig;
    SampleBody* p = rig.cube({0, 0, 0});
    SampleBody* c = rig.cube({1, 0, 0});
    DynamicStress* joint = rig.join(p, c);
    c->laneDyn[0].v = QmtVector3(0, 0, 1);
    ASSERT_EQ(getLaneLsqSystem(0), nullptr);
    expectImpulse(joint->computeStressImpulse(c, 0), {});
}

TEST(DynamicStressSolve, ApplyImpulseSkipsEachHalfAtTheLimit) {
    Pair s;
    // Linear part exactly 1e-5 long: skipped; the angular part applies on its own.
    s.joint->applyImpulse({1e-5, 0, 0, 0, 0, 1}, 1.0);
    EXPECT_EQ(s.c->laneDyn[0].v, QmtVector3::ZERO);
    EXPECT_EQ(s.p->laneDyn[0].v, QmtVector3::ZERO);
    EXPECT_NEAR(s.c->laneDyn[0].w.z, -6.0, kTol);
    EXPECT_NEAR(s.p->laneDyn[0].w.z, 6.0, kTol);

    s.syncLanes();
    s.joint->applyImpulse({0, 0, 2, 0, 0, 0}, 0.5);
    EXPECT_NEAR(s.c->laneDyn[0].v.z, -1.0, kTol);
    EXPECT_NEAR(s.p->laneDyn[0].v.z, 1.0, kTol);
    // Off-centre: the lever arms spin both cubes the same way about y.
    EXPECT_NEAR(s.c->laneDyn[0].w.y, -3.0, kTol);
    EXPECT_NEAR(s.p->laneDyn[0].w.y, -3.0, kTol);

    s.syncLanes();
    s.joint->applyImpulseToBody({0, 0, 2, 0, 0, 0}, s.p, 1.0);
    EXPECT_NEAR(s.p->laneDyn[0].v.z, -2.0, kTol);
    EXPECT_EQ(s.c->laneDyn[0].v, QmtVector3::ZERO);

    applyImpulseThread(s.c, QmtVector3(1, 0, 0), s.c->dyn.position, 3);
    EXPECT_EQ(s.c->laneDyn[3].v, QmtVector3(1, 0, 0));
    EXPECT_EQ(s.c->dyn.v, QmtVector3::ZERO);
}

TEST(DynamicStressSolve, PositionCorrectionAndBlocks) {
    Pair s;
    LsqSystem* system = getLaneLsqSystem(0);
    MatrixView* A = nullptr;
    dvec* b = nullptr;
    dvec* x = nullptr;
    ASSERT_TRUE(system->setup(3, A, b, x));
    MatrixView::setZero(*A, 1.0);
    EXPECT_EQ(A->at(1, 1), 1.0);
    EXPECT_EQ(A->at(0, 1), 0.0);

    // Moving apart along x without spin: the gap closes by speed-weighted moves.
    s.p->setLinearVelocity(QmtVector3(-1, 0, 0));
    s.c->setLinearVelocity(QmtVector3(1, 0, 0));
    s.joint->buildSpeedWeightedBlock(A, 0);
    EXPECT_NEAR(A->at(0, 0), 2.0, kTol);
    b->elements[0] = 0.25;
    b->elements[1] = b->elements[2] = 0.0;
    s.joint->applyPositionCorrection(b, 0);
    EXPECT_NEAR(s.c->dyn.position.x, 1.25, kTol);
    EXPECT_NEAR(s.p->dyn.position.x, -0.25, kTol);
    EXPECT_EQ(s.c->dyn.rotation, Qmt::QmtMatrix3::IDENTITY);

    s.joint->computeAnchorGap(b, 0);
    EXPECT_NEAR(b->elements[0], -0.5, kTol);

    // A turn that cannot be normalised leaves the orientation as it was.
    s.c->setAngularVelocity(QmtVector3(0, 0, 1));
    s.c->dyn.orientation = Qmt::Quaternion(0, 0, 0, 0);
    b->elements[0] = b->elements[2] = 0.0;
    b->elements[1] = 0.25;
    s.joint->applyPositionCorrection(b, 0);
    EXPECT_EQ(s.c->dyn.orientation.W(), 0.0);
    EXPECT_EQ(s.c->dyn.orientation.X(), 0.0);
    const QmtVector3 point(0.5, 1, 0);
    EXPECT_TRUE(s.joint->setAnchorsFromPoint(&point));
    EXPECT_FALSE(s.joint->setAnchorsFromPoint(nullptr));
    s.joint->computeAnchorGap(b, 0);
    EXPECT_NEAR(b->elements[0], 0.0, kTol);
}
