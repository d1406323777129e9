#include <gtest/gtest.h>

#include <cfloat>
#include <memory>

#include "allocationHooks.h"
#include "engine/collision/collisionManager.h"
#include "engine/fracture/dynamicStress.h"
#include "engine/fracture/fractureBody.h"
#include "fractureRig.h"

using Qmt::QmtVector3;
using zyltest::FractureRig;
using zyltest::SampleBody;

namespace {

// A row of n unit cubes along x joined neighbour to neighbour, force-breakable with
// tolerance 1; joint i ties cube i - 1 (PNode) to cube i (CNode).
struct Row {
    std::unique_ptr<CollisionManager> manager = std::make_unique<CollisionManager>();
    FractureRig rig;
    FractureBody body;

    explicit Row(int n) {
        rig.row(body, n);
        for (DynamicStress* j : rig.joints) {
            j->enableBreakableByForce();
            j->set_break_tolerance(1.0);
        }
    }
    SampleBody* cube(int i) { return rig.bodies[static_cast<std::size_t>(i)].get(); }
    DynamicStress* joint(int i) { return rig.joints[static_cast<std::size_t>(i) - 1]; }

    // The impact's order: a crack in lane 0, then the struck cube's lane copy moves.
    void strike(int i, const QmtVector3& v, bool secondary = false) {
        body.beginCrackThread(0);
        cube(i)->laneDyn[0].v = v;
        body.propagateStressThread(cube(i), secondary, 0, FLT_MAX);
    }
};

}  // namespace

TEST(CrackPropagation, FirstJointBreaksOnLinearMotionAloneAndLaneMarks) {
    Row holds(2);
    holds.strike(1, {0, 0, 2});  // |u|^2 = 0.64 < 1: holds and passes the impulse on
    EXPECT_TRUE(holds.joint(1)->isActive());
    EXPECT_EQ(holds.body.pendingBreaks, 0u);
    EXPECT_NEAR(holds.cube(0)->laneDyn[0].v.z, 0.8, 1e-9);
    EXPECT_TRUE(holds.joint(1)->isProcessedThread(0));
    EXPECT_TRUE(holds.cube(0)->isProcessedThread(0));
    EXPECT_EQ(holds.body.getCrackCount(), 1);

    Row breaks(2);
    breaks.strike(1, {0, 0, 3});  // |u|^2 = 1.44
    EXPECT_FALSE(breaks.joint(1)->isActive());
    EXPECT_EQ(breaks.body.pendingBreaks, 1u);
    EXPECT_EQ(breaks.cube(0)->laneDyn[0].v, QmtVector3::ZERO);  // no energy, nothing passed

    // A broken joint still in the lists is tested and broken again by the next crack.
    breaks.strike(1, {0, 0, 3});
    EXPECT_EQ(breaks.body.pendingBreaks, 2u);
    EXPECT_EQ(breaks.body.getCrackCount(), 2);
}

TEST(CrackPropagation, IncomingLimitSpinAndZeroTolerance) {
    // Tolerance 2 behind tolerance 1: linear motion cannot break it, spin can.
    Row r(3);
    r.joint(2)->set_break_tolerance(2.0);
    r.body.beginCrackThread(0);
    r.cube(1)->laneDyn[0].v = QmtVector3(0, 0, 100);
    r.cube(0)->laneDyn[0].v = QmtVector3(0, 0, 1000);
    r.body.propagateStressThread(r.cube(0), false, 0, FLT_MAX);
    EXPECT_FALSE(r.joint(1)->isActive());
    EXPECT_TRUE(r.joint(2)->isActive());

    Row spin(3);
    spin.joint(2)->set_break_tolerance(2.0);
    spin.joint(2)->enableTorsion();
    spin.body.beginCrackThread(0);
    spin.cube(1)->laneDyn[0].w = QmtVector3(1000, 0, 0);
    spin.cube(0)->laneDyn[0].v = QmtVector3(0, 0, 1000);
    spin.body.propagateStressThread(spin.cube(0), false, 0, FLT_MAX);
    EXPECT_FALSE(spin.joint(2)->isActive());

    // Tolerance 0 breaks on any test, even at rest.
    Row zero(2);
    zero.joint(1)->set_break_tolerance(0.0);
    zero.strike(0, QmtVector3::ZERO);
    EXPECT_FALSE(zero.joint(1)->isActive());
}

TEST(CrackPropagation, WalkLimitsByTypeCracksAndFrame) {
    const auto farJointBreaks = [](auto setUp) {
        Row r(3);
        r.joint(2)->set_break_tolerance(0.0);
        setUp(r);
        r.strike(0, {0, 0, 3});
        EXPECT_FALSE(r.joint(1)->isActive());
        return !r.joint(2)->isActive();
    };
    EXPECT_TRUE(farJointBreaks([](Row&) {}));
    EXPECT_FALSE(farJointBreaks([](Row& r) { r.body.setPropagationType(1); }));
    EXPECT_FALSE(farJointBreaks([](Row& r) { r.body.setMaxCracks(0); }));
    EXPECT_FALSE(farJointBreaks([](Row& r) { r.joint(2)->enableBreakableByFrame(); }));
    EXPECT_FALSE(farJointBreaks([](Row& r) { r.joint(2)->disableBreakableByForce(); }));

    // With maximum cracks 1 the first crack walks, the second does not until reset.
    Row r(3);
    r.body.setMaxCracks(1);
    r.strike(0, {0, 0, 0.5});
    EXPECT_TRUE(r.cube(2)->isProcessedThread(0));
    r.strike(0, {0, 0, 0.5});
    EXPECT_FALSE(r.cube(2)->isProcessedThread(0));
    r.body.resetCrackCount();
    r.strike(0, {0, 0, 0.5});
    EXPECT_TRUE(r.cube(2)->isProcessedThread(0));

    // The serial walk tests a by-frame joint like any other.
    Row serial(2);
    serial.joint(1)->enableBreakableByFrame();
    serial.body.resetStepFlags();
    serial.cube(1)->laneDyn[0].v = QmtVector3(0, 0, 3);
    serial.body.propagateStress(serial.cube(1), FLT_MAX);
    EXPECT_FALSE(serial.joint(1)->isActive());
    EXPECT_TRUE(serial.joint(1)->isProcessed());
}

TEST(CrackPropagation, SecondaryImpactsZeroTheThreshold) {
    const auto breaks = [](bool secondary, int type) {
        Row r(2);
        r.body.enableSecImpacts();
        r.body.setSecImpactsParams(0, 1.0);
        r.body.setPropagationType(static_cast<unsigned>(type));
        r.strike(1, {0, 0, 0.5}, secondary);
        return !r.joint(1)->isActive();
    };
    EXPECT_TRUE(breaks(true, 1));
    EXPECT_FALSE(breaks(false, 1));
    EXPECT_FALSE(breaks(true, 0));
}

TEST(CrackPropagation, SmallImpulsesAndBreakEnergy) {
    Row tiny(2);
    tiny.strike(1, {0, 0, 1e-4});
    EXPECT_TRUE(tiny.joint(1)->isActive());
    EXPECT_EQ(tiny.cube(0)->laneDyn[0].v, QmtVector3::ZERO);

    const auto energyReaches = [](double energy) {
        Row r(2);
        r.joint(1)->setBreakEnergy(energy);
        r.strike(1, {0, 0, 3});
        EXPECT_FALSE(r.joint(1)->isActive());
        return r.cube(0)->laneDyn[0].v != QmtVector3::ZERO;
    };
    EXPECT_FALSE(energyReaches(1e-5));
    EXPECT_TRUE(energyReaches(1.0));
}

TEST(CrackPropagation, WalksDoNotAllocate) {
    Row r(16);
    r.body.beginCrackThread(0);
    r.cube(0)->laneDyn[0].v = QmtVector3(0, 0, 0.5);
    const int before = zyltest::nothrowAllocations;
    r.body.propagateStressThread(r.cube(0), false, 0, FLT_MAX);
    r.body.resetStepFlags();
    r.body.propagateStress(r.cube(0), FLT_MAX);
    EXPECT_EQ(zyltest::nothrowAllocations, before);
    EXPECT_TRUE(r.cube(15)->isProcessedThread(0));
}

TEST(CrackPropagation, JointBreakResetsBeforeItsImpulseAndKeepsTheMotion) {
    Row r(2);
    r.joint(1)->setBreakEnergy(1.0);
    const RBDynamics before = r.cube(1)->dyn;
    r.body.propagateJointBreak(r.joint(1));
    EXPECT_FALSE(r.joint(1)->isActive());
    EXPECT_EQ(r.body.pendingBreaks, 1u);
    EXPECT_EQ(r.cube(1)->dyn.v, before.v);
    EXPECT_EQ(r.cube(1)->dyn.position, before.position);

    Row whole(2);
    whole.body.propagateJointBreak(whole.joint(1));  // no energy, at rest: holds
    EXPECT_TRUE(whole.joint(1)->isActive());
}

TEST(CrackPropagation, ToleranceTools) {
    Row r(3);
    r.joint(1)->set_break_tolerance(1.0);
    r.joint(2)->set_break_tolerance(3.0);
    EXPECT_DOUBLE_EQ(r.body.getAverageJointTolerance(r.cube(1)), 2.0);
    r.body.setFragmentJointTolerance(r.cube(2), 5.0, false);
    EXPECT_DOUBLE_EQ(r.joint(2)->get_break_tolerance(), 5.0);
    r.body.equalizeJointTolerance(r.cube(1));
    EXPECT_DOUBLE_EQ(r.joint(1)->get_break_tolerance(), 3.0);
    EXPECT_TRUE(r.joint(2)->isProcessed());
    EXPECT_TRUE(r.cube(1)->isProcessed());
    // Every joint processed: the mean of nothing is 0, not a division by zero.
    EXPECT_EQ(r.body.getAverageJointTolerance(r.cube(1)), 0.0);

    Row b(3);
    b.body.breakFragmentJointRecursive(b.cube(1));
    EXPECT_EQ(b.body.deactivatedJoints.count, 1u);
    EXPECT_TRUE(b.cube(1)->isProcessed());
    b.body.breakFragmentJointRecursive(b.cube(1));  // processed: nothing more
    EXPECT_EQ(b.body.deactivatedJoints.count, 1u);
}
