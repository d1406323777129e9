#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "engine/bodies/privateHardBody.h"
#include "engine/fracture/fractureBody.h"
#include "engine/world/engineApi.h"
#include "geometry/mesh/meshPlacement.h"
#include "fractureRig.h"
#include "testSupport.h"

using Qmt::QmtMatrix3;
using Qmt::QmtVector3;
using zyltest::expectNear;
using zyltest::FractureRig;
using zyltest::listOf;
using zyltest::SampleBody;

namespace {

void run(FractureBody& body, int steps, const QmtVector3& g = {0.0, -10.0, 0.0}) {
    for (int s = 0; s < steps; ++s) {
        body.storeDynState();
        for (int k = 0; k < 10; ++k) {
            body.clearDynForces();
            body.addDynForces(g * body.getMass());
            body.integrateVelocities(1.0 / 300.0, true);
            body.integratePositions(1.0 / 300.0);
        }
    }
}

}  // namespace

TEST(FractureBodyReset, StoreInitialStateMasks) {
    FractureRig rig;
    FractureBody body;
    rig.row(body, 2);
    ASSERT_TRUE(body.setUp());
    body.setLinearVelocity({1, 2, 3});
    body.setAngularVelocity({0, 0, 1});
    body.storeInitialState(6);  // bit 1 before bit 2: only v
    expectNear(body.getDynInit().v, {1, 2, 3});
    expectNear(body.getDynInit().w, {0, 0, 0});
    expectNear(rig.bodies[0]->getDynInit().v, rig.bodies[0]->getDyn().v);
    body.storeInitialState(3);  // bit 0 wins: the whole state
    expectNear(body.getDynInit().w, {0, 0, 1});
    expectNear(body.initialBoxSize, body.transform.boxSize);
    expectNear(body.initialCentreOffset, body.transform.centreOffset);
}

// A compound set up from its fragments falls and spins as one body, breaks, sheds
// pieces and children, and comes back exactly to its start: lists, joint bits, its
// own state and every fragment's pose, which then follow the compound again.
TEST(FractureBodyReset, ApplyInitialStateRestoresEverything) {
    FractureRig rig;
    FractureBody body;
    rig.row(body, 4);  // joints 1, 2, 3
    ASSERT_TRUE(body.setUp());
    for (DynamicStress* j : rig.joints) {
        j->storeInitialState(JOINT_ACTIVE);
    }
    body.storeInitialState(1);
    std::vector<QmtVector3> startPositions;
    std::vector<QmtMatrix3> startRotations;
    for (const auto& f : rig.bodies) {
        startPositions.push_back(f->getDyn().position);
        startRotations.push_back(f->getDyn().rotation);
    }
    const RBDynamics start = body.getDyn();

    body.setAngularVelocity({0.4, 1.2, -0.7});
    run(body, 20);
    DynamicStress* j1 = rig.joints[0];
    DynamicStress* j2 = rig.joints[1];
    DynamicStress* j3 = rig.joints[2];
    // j2 broke without a split; j3 went away with a split that left c3 loose and
    // made a child, which split again.
    body.deActivateJoint(j2);
    body.activeJoints.remove(j3);
    body.ownJoints.pushFront(j3);
    body.offJoints.pushFront(j3);
    body.brokenCount = 1;
    SampleBody* c3 = rig.bodies[3].get();
    body.fragments.remove(c3);
    c3->joints.clear();
    c3->jointCount = 0;
    c3->disableJoined();
    body.addDisconectBody(c3);
    auto* child = new FractureBody();
    child->children.pushFront(new FractureBody());
    body.children.pushFront(child);
    body.childCounter = 1;

    body.applyInitialState();
    EXPECT_EQ(listOf(body.activeJoints), (std::vector<DynamicStress*>{j1, j2, j3}));
    for (DynamicStress* j : rig.joints) {
        EXPECT_TRUE(j->isActive());
    }
    EXPECT_EQ(body.deactivatedJoints.count, 0u);
    EXPECT_EQ(body.ownJoints.count, 0u);
    EXPECT_EQ(body.offJoints.count, 0u);
    EXPECT_EQ(body.pendingBreaks, 0u);
    EXPECT_EQ(body.brokenCount, 0u);
    EXPECT_EQ(body.children.count, 0u);
    EXPECT_EQ(body.childCounter, 0u);
    EXPECT_EQ(body.numDisconectBodies(), 0u);
    // Bodies pushed at the head joint by joint: the order is reversed.
    const auto& b = rig.bodies;
    EXPECT_EQ(listOf(body.fragments), (std::vector<PrivateHardBody*>{b[3].get(), b[2].get(), b[0].get(), b[1].get()}));
    EXPECT_EQ(c3->jointCount, 1);
    EXPECT_EQ(b[1]->jointCount, 2);
    for (const auto& f : b) {
        EXPECT_EQ(f->getParent(), &body);
        EXPECT_TRUE(f->isJoined());
    }
    expectNear(body.getDyn().position, start.position);
    expectNear(body.getDyn().rotation, start.rotation);
    expectNear(body.getDyn().w, QmtVector3::ZERO);
    for (std::size_t i = 0; i < b.size(); ++i) {
        expectNear(b[i]->getDyn().position, startPositions[i]);
        expectNear(b[i]->getDyn().rotation, startRotations[i]);
    }

    // The next steps carry the fragments along unturned, exactly as the compound.
    run(body, 3);
    const QmtVector3 drop = body.getDyn().position - start.position;
    for (std::size_t i = 0; i < b.size(); ++i) {
        expectNear(b[i]->getDyn().position, startPositions[i] + drop, 1e-9);
        expectNear(b[i]->getDyn().rotation, startRotations[i], 1e-9);
    }
}

TEST(FractureBodyReset, RebuildFromFragments) {
    FractureRig rig;
    FractureBody body;
    rig.row(body, 3);
    ASSERT_TRUE(body.setUp());
    const RBDynamics start = body.getDyn();
    // The host moves the fragments as a group; the compound follows.
    for (const auto& f : rig.bodies) {
        f->setPosition(f->getDyn().position + QmtVector3(0, 2, 0));
        f->setLinearVelocity({1, 0, 0});
    }
    body.recomputeCenterFromFragments(true);
    body.recomputeRotationFromFragments(true);
    body.recomputeVelocityFromFragments(true);
    expectNear(body.getDyn().position, start.position + QmtVector3(0, 2, 0));
    expectNear(body.getDyn().rotation, start.rotation);
    expectNear(body.getDyn().v, {1, 0, 0});
    expectNear(body.getDyn().w, QmtVector3::ZERO);

    // Without fragments nothing changes, the rotation included.
    FractureBody empty;
    empty.dyn.position = QmtVector3(1, 2, 3);
    empty.recomputeCenterFromFragments(false);
    empty.recomputeRotationFromFragments(false);
    expectNear(empty.getDyn().position, {1, 2, 3});
    expectNear(empty.getDyn().rotation, QmtMatrix3::IDENTITY);
}

// Hull fragments made by the engine's creator: the set-up compound falls and spins as
// one rigid body and comes back to its start.
TEST(FractureBodyReset, HullFragmentsMoveAndResetAsOneBody) {
    std::vector<std::unique_ptr<HardBody>> hulls;
    std::vector<std::unique_ptr<DynamicStress>> joints;
    FractureBody body;
    for (int i = 0; i < 4; ++i) {
        ZYLbox box;
        box.centre = QmtVector3(1.0 * i, 0.25 * i * i, 0.0);
        box.axes = QmtMatrix3::IDENTITY;
        box.halfExtents = QmtVector3(0.5, 0.5, 0.5);
        ZYLmesh* mesh = createMesh(8, 6);
        buildBoxMesh(box, mesh);
        hulls.emplace_back(createHullBody(mesh));
        deleteMesh(&mesh);
        ASSERT_NE(hulls.back(), nullptr);
        hulls.back()->init(box.centre, QmtMatrix3::IDENTITY, {1, 1, 1});
        hulls.back()->setMass(2.0f);
        if (i > 0) {
            auto* a = static_cast<PrivateHardBody*>(hulls[i - 1].get());
            auto* b = static_cast<PrivateHardBody*>(hulls[i].get());
            joints.push_back(std::make_unique<DynamicStress>());
            joints.back()->attach((a->getDyn().position + b->getDyn().position) * 0.5, 1, a, b);
            body.addJoint(joints.back().get());
        }
    }
    ASSERT_TRUE(body.setUp());
    body.storeInitialState(1);
    const RBDynamics start = body.getDyn();
    std::vector<RBDynamics> starts;
    for (const auto& h : hulls) {
        starts.push_back(h->getDyn());
    }

    body.setAngularVelocity({0.5, -1.0, 0.8});
    run(body, 30);
    const RBDynamics& d = body.getDyn();
    for (std::size_t i = 0; i < hulls.size(); ++i) {
        const HardBody& h = *hulls[i];
        // Where the start pose, carried rigidly by the compound, puts the fragment.
        const QmtMatrix3 turn = d.rotation.TimesTranspose(start.rotation);
        expectNear(h.getDyn().rotation, turn * starts[i].rotation, 1e-9);
        expectNear(h.getDyn().position, turn * (starts[i].position - start.position) + d.position, 1e-9);
    }

    body.applyInitialState();
    expectNear(body.getDyn().position, start.position, 1e-9);
    for (std::size_t i = 0; i < hulls.size(); ++i) {
        expectNear(hulls[i]->getDyn().position, starts[i].position, 1e-9);
        expectNear(hulls[i]->getDyn().rotation, starts[i].rotation, 1e-9);
    }
}
