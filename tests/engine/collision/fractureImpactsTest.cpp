#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

#include "engine/collision/collisionManager.h"
#include "engine/fracture/dynamicStress.h"
#include "engine/fracture/fractureBody.h"
#include "../fracture/fractureRig.h"
#include "tests/engine/collision/collisionScenes.h"

using Qmt::QmtVector3;
using zyltest::FractureRig;
using zyltest::SampleBody;

namespace {

// Two joined unit cubes at x = 0 and 1 and a free striker cube at x = 2 moving
// towards them with the given speed; the pair holds one contact at x = 1.5.
struct Scene {
    std::unique_ptr<CollisionManager> manager = std::make_unique<CollisionManager>();
    FractureRig rig;
    FractureBody wall;
    SampleBody* striker = nullptr;
    CollisionPair pair;

    explicit Scene(double speed, double sortKey = 1000.0, bool withTree = true) {
        rig.row(wall, 2);
        rig.joints[0]->enableBreakableByForce();
        rig.joints[0]->set_break_tolerance(1.0);
        EXPECT_TRUE(withTree ? wall.setUp() : wall.updateFromFragments());
        striker = rig.cube({2, 0, 0});
        striker->lastDyn.position = QmtVector3(2.5, 0, 0);  // it has moved
        striker->setLinearVelocity(QmtVector3(-speed, 0, 0));
        pair.bodyA = struck();
        pair.bodyB = striker;
        pair.contactCount = 1;
        pair.points[0] = QmtVector3(0.5, 0, 0);
        pair.normals[0] = QmtVector3(-1, 0, 0);
        pair.sortKey = sortKey;
    }
    SampleBody* struck() { return rig.bodies[1].get(); }
    bool cracked() const { return !rig.joints[0]->isActive(); }
    bool hit(bool force = false) {
        manager->resolveFractureImpacts(&pair, 0, force);
        return cracked();
    }
};

}  // namespace

TEST(FractureImpacts, ImpulseOnTheLaneCopiesStartsTheCrack) {
    Scene s(5.0);
    EXPECT_TRUE(s.hit());
    EXPECT_EQ(s.wall.pendingBreaks, 1u);
    EXPECT_EQ(s.wall.getCrackCount(), 1);
    EXPECT_NEAR(s.struck()->laneDyn[0].v.x, -5.0, 1e-12);  // j = 2 * 5 / 2
    EXPECT_NEAR(s.striker->laneDyn[0].v.x, 0.0, 1e-12);
    EXPECT_EQ(s.struck()->dyn.v, QmtVector3::ZERO);  // the current state is untouched

    // Either order of the bodies finds the fragment.
    Scene swapped(5.0);
    swapped.pair.bodyA = swapped.striker;
    swapped.pair.bodyB = swapped.struck();
    swapped.pair.points[0] = QmtVector3(-0.5, 0, 0);
    swapped.pair.normals[0] = QmtVector3(1, 0, 0);
    EXPECT_TRUE(swapped.hit());

    Scene separating(-5.0);
    EXPECT_FALSE(separating.hit());
    EXPECT_EQ(separating.wall.getCrackCount(), 0);
}

TEST(FractureImpacts, ThresholdForceAndUnbreakableSides) {
    const auto cracksAt = [](double sortKey) {
        Scene s(5.0, sortKey);
        s.wall.setGlobalStressThreshold(0.5);
        return s.hit();
    };
    EXPECT_FALSE(cracksAt(50.0));
    EXPECT_TRUE(cracksAt(50.5));

    Scene gentle(0.1, 0.0);
    EXPECT_FALSE(gentle.hit());
    Scene forced(0.1, 0.0);
    EXPECT_TRUE(forced.hit(true));
    Scene resting(0.0, 0.0);
    EXPECT_FALSE(resting.hit(true));  // vn = 0: even a forced impulse is zero
    EXPECT_EQ(resting.wall.getCrackCount(), 1);

    Scene unbreakable(5.0);
    unbreakable.wall.setUnBreakable();
    EXPECT_FALSE(unbreakable.hit(true));
    EXPECT_EQ(unbreakable.struck()->laneDyn[0].v, QmtVector3::ZERO);

    Scene staticSide(5.0);
    staticSide.struck()->enableStatic();
    EXPECT_FALSE(staticSide.hit(true));
    EXPECT_EQ(staticSide.wall.getCrackCount(), 0);
}

TEST(FractureImpacts, SecondaryCracksOnlyOnce) {
    Scene s(0.0, 1000.0, false);
    s.striker->enableStatic();
    s.striker->lastDyn.position = s.striker->dyn.position;  // a resting static partner
    s.wall.enableSecImpacts();
    s.wall.setSecImpactsParams(0, 1.0);
    ASSERT_TRUE(s.wall.checkSecImpactsCond());
    s.hit();
    EXPECT_NE(s.wall.getTreeMesh(), nullptr);  // the secondary cracks built the tree
    EXPECT_LT(s.rig.joints[0]->get_break_tolerance(), 1.0);
    EXPECT_EQ(s.wall.getCrackCount(), 1);

    s.rig.joints[0]->set_break_tolerance(5.0);
    s.rig.joints[0]->activate();
    s.hit();
    EXPECT_EQ(s.rig.joints[0]->get_break_tolerance(), 5.0);
    EXPECT_TRUE(s.rig.joints[0]->isActive());
    EXPECT_EQ(s.wall.getCrackCount(), 2);
}

TEST(FractureImpacts, ImpactThenSplitRepeatsBitwise) {
    const auto run = [] {
        Scene s(5.0);
        s.hit();
        s.wall.removeDeactivatedJointsFromActiveList();
        s.wall.split();
        EXPECT_EQ(s.wall.numDisconectBodies(), 2u);
        EXPECT_FALSE(s.wall.isActive());
        const RBDynamics lane = s.rig.bodies[0]->laneDyn[0];
        s.wall.applyInitialState();
        return lane;
    };
    const RBDynamics a = run();
    const RBDynamics b = run();
    EXPECT_EQ(std::memcmp(&a, &b, sizeof a), 0);
}

namespace {

struct CrackerRun {
    bool broken = false;
    std::uint32_t disconnected = 0;
    bool retired = false;
    std::vector<double> motion;
};

// A cracker moving into the left fragment of a two-fragment wall floating at y = 5.
CrackerRun crackWall(bool breakable) {
    CrackerRun out;
    std::vector<std::unique_ptr<DynamicStress>> joints;
    std::unique_ptr<HullBody> left = coltest::hullBox({0.0, 5.0, 0.0});
    std::unique_ptr<HullBody> right = coltest::hullBox({1.0, 5.0, 0.0});
    std::unique_ptr<CapsuleBody> cracker = coltest::capsuleAlong({-1.4, 4.8, -0.2}, {-0.45, 5.2, 0.2}, true);
    FractureBody wall;
    {
        scenes::Scene s(0.0);
        joints.push_back(std::make_unique<DynamicStress>());
        DynamicStress* joint = joints.back().get();
        joint->attach({0.5, 5.0, 0.0}, 1, left.get(), right.get());
        joint->enableBreakableByForce();
        joint->set_break_tolerance(1.0);
        wall.addJoint(joint);
        if (!breakable) {
            wall.setUnBreakable();
        }
        EXPECT_TRUE(wall.setUp());
        wall.storeInitialState(1);
        s.world->addBody(&wall, 0);
        s.world->addBody(cracker.get(), 0);
        scenes::moving(cracker.get(), {1.0, 0.0, 0.0});
        for (int frame = 0; frame < 3; ++frame) {
            s.frame();
        }
        out.broken = !joint->isActive();
        out.disconnected = wall.numDisconectBodies();
        for (const HardBody* b : s.world->adeActivatedBodies) {
            out.retired = out.retired || b == &wall;
        }
        for (const HullBody* b : {left.get(), right.get()}) {
            const RBDynamics& d = b->getDyn();
            out.motion.insert(out.motion.end(), {d.position.x, d.position.y, d.v.x, d.v.y, d.w.z});
        }
        s.world->clearAllLists();  // the test owns every body
    }
    wall.applyInitialState();
    return out;
}

}  // namespace

TEST(FractureImpacts, ACrackerBreaksTheWallItHits) {
    const CrackerRun run = crackWall(true);
    EXPECT_TRUE(run.broken);
    EXPECT_EQ(run.disconnected, 2u);
    EXPECT_TRUE(run.retired);
    const CrackerRun again = crackWall(true);
    EXPECT_EQ(std::memcmp(run.motion.data(), again.motion.data(), run.motion.size() * sizeof(double)), 0);

    const CrackerRun whole = crackWall(false);
    EXPECT_FALSE(whole.broken);
    EXPECT_EQ(whole.disconnected, 0u);
    EXPECT_FALSE(whole.retired);
}

// A box strikes a row of three joined boxes floating in zero gravity, hard enough to
// break joints: the row splits, and the pieces must carry off the impulse that stops
// the striker. Over the striker and every fragment (each moving with the body that
// carries it) momentum is kept and no energy is gained.
TEST(FractureImpacts, ASplitKeepsTheStrikersMomentum) {
    for (const auto& [speed, offset] : {std::pair{20.0, 0.0}, std::pair{12.0, 0.3}, std::pair{25.0, -0.2}}) {
        std::vector<std::unique_ptr<HullBody>> cubes;
        std::vector<std::unique_ptr<DynamicStress>> joints;
        FractureBody row;
        std::unique_ptr<HullBody> striker = coltest::hullBox({offset, offset, 2.0});
        int brokenJoints = 0;
        QmtVector3 momentum;
        double energy = 0.0;
        {
            scenes::Scene s(0.0);
            for (int i = 0; i < 3; ++i) {
                cubes.push_back(coltest::hullBox({static_cast<double>(i), 0.0, 0.0}));
            }
            for (int i = 0; i < 2; ++i) {
                joints.push_back(std::make_unique<DynamicStress>());
                joints.back()->attach({i + 0.5, 0.0, 0.0}, 1, cubes[i].get(), cubes[i + 1].get());
                joints.back()->enableBreakableByForce();
                joints.back()->set_break_tolerance(1.0);
                row.addJoint(joints.back().get());
            }
            ASSERT_TRUE(row.setUp());
            row.storeInitialState(1);
            s.world->addBody(&row, 0);
            s.world->addBody(striker.get(), 0);
            scenes::moving(striker.get(), {0.0, 0.0, -speed});
            for (int frame = 0; frame < 60; ++frame) {
                s.frame();
            }
            momentum = striker->getDyn().v * striker->getMass();
            energy = striker->getMass() * striker->getDyn().v.SquaredLength();
            for (const auto& cube : cubes) {
                const HardBody* const carrier = cube->getParent() ? cube->getParent() : cube.get();
                const RBDynamics& d = carrier->getDyn();
                const QmtVector3 v = d.v + d.w.Cross(cube->getDyn().position - d.position);
                momentum += v * cube->getMass();
                energy += cube->getMass() * v.SquaredLength();
            }
            for (const auto& joint : joints) {
                brokenJoints += joint->isActive() ? 0 : 1;
            }
            s.world->clearAllLists();  // the test owns every body
        }
        row.applyInitialState();
        EXPECT_GT(brokenJoints, 0) << speed;
        EXPECT_NEAR(momentum.z, -speed, 1e-9 * speed) << speed;
        EXPECT_NEAR(momentum.x, 0.0, 1e-9 * speed);
        EXPECT_NEAR(momentum.y, 0.0, 1e-9 * speed);
        EXPECT_LE(energy, speed * speed * (1.0 + 1e-9)) << speed;
    }
}

// A box thrown at a wall of 2 x 3 joined boxes, in front of a box of the middle row:
// its side runs flush with the face between the columns, its top and bottom with (or a
// hair past) those between the rows unless raised, where the neighbouring fragments
// touch it along those faces. Just after the hit (before the wall, struck off-centre,
// turns much) it must be stopped and pushed back, not aside.
TEST(FractureImpacts, AStrikerFlushWithTheSeamsIsStopped) {
    for (const auto& [height, half] : {std::pair{1.0, 0.5}, std::pair{1.0, 0.502}, std::pair{1.2, 0.5}}) {
        std::vector<std::unique_ptr<HullBody>> cubes;
        std::vector<std::unique_ptr<DynamicStress>> joints;
        FractureBody wall;
        std::unique_ptr<HullBody> striker = coltest::hullBox({0.0, height, 2.0}, {0.5, half, 0.5});
        scenes::Scene s(0.0);
        for (int i = 0; i < 6; ++i) {
            cubes.push_back(coltest::hullBox({static_cast<double>(i % 2), static_cast<double>(i / 2), 0.0}));
        }
        for (const auto& [a, b] : {std::pair{0, 1}, {2, 3}, {4, 5}, {0, 2}, {2, 4}, {1, 3}, {3, 5}}) {
            joints.push_back(std::make_unique<DynamicStress>());
            joints.back()->attach((cubes[a]->getDyn().position + cubes[b]->getDyn().position) * 0.5, 1,
                                  cubes[a].get(), cubes[b].get());
            wall.addJoint(joints.back().get());
        }
        wall.setUnBreakable();
        ASSERT_TRUE(wall.setUp());
        s.world->addBody(&wall, 0);
        s.world->addBody(striker.get(), 0);
        scenes::moving(striker.get(), {0.0, 0.0, -20.0});
        for (int frame = 0; frame < 12; ++frame) {  // it hits in the eighth
            s.frame();
        }
        const RBDynamics& d = striker->getDyn();
        EXPECT_GT(d.position.z - wall.getDyn().position.z, 0.8) << height << " " << half;
        EXPECT_GT(d.v.z, -10.0) << height << " " << half;
        EXPECT_LT(std::fabs(d.v.x), 0.1) << height << " " << half;
        s.world->clearAllLists();  // the test owns every body
    }
}
