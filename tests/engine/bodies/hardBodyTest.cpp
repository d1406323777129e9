#include <gtest/gtest.h>

#include <cstring>
#include <new>

#include "engine/bodies/sampleBody.h"
#include "geometry/testMeshes.h"
#include "testSupport.h"

using Qmt::QmtMatrix3;
using Qmt::QmtVector3;
using Qmt::Quaternion;
using zyltest::expectVec;
using zyltest::place;
using zyltest::SampleBody;

namespace {

bool allZero(const void* p, std::size_t n) {
    const auto* bytes = static_cast<const unsigned char*>(p);
    for (std::size_t i = 0; i < n; ++i) {
        if (bytes[i] != 0) {
            return false;
        }
    }
    return true;
}

}  // namespace

TEST(RBDynamics, DefaultIsAllZeroEvenOverAFilledBuffer) {
    alignas(RBDynamics) unsigned char buffer[sizeof(RBDynamics)];
    std::memset(buffer, 0xFF, sizeof buffer);
    const RBDynamics* d = new (buffer) RBDynamics();
    EXPECT_TRUE(allZero(d, sizeof(RBDynamics)));
    d->~RBDynamics();
}

TEST(HardBody, ConstructionStates) {
    const SampleBody b;
    // The interface's initial state: identity rotation, unit quaternion and inverse mass.
    EXPECT_EQ(b.dynInit.rotation, QmtMatrix3::IDENTITY);
    EXPECT_EQ(b.dynInit.invInertiaWorld, QmtMatrix3::IDENTITY);
    EXPECT_EQ(b.dynInit.orientation, Quaternion::IDENTITY);
    EXPECT_EQ(b.dynInit.invMass, 1.0);
    // The implementation then clears the current and last states, rotations included.
    for (const RBDynamics* d : {&b.dyn, &b.lastDyn}) {
        EXPECT_EQ(d->rotation, QmtMatrix3::ZERO);
        EXPECT_EQ(d->orientation, Quaternion::ZERO);
        EXPECT_EQ(d->invMass, 1.0);
    }
    EXPECT_EQ(b.flags, 0u);
    EXPECT_EQ(b.transform.index, -1);
    EXPECT_EQ(b.getProcessedThreadID(), -1);
}

TEST(HardBody, CopiesShareTheMeshAndOnlyTheOwnerDeletesIt) {
    auto* owner = new SampleBody;
    owner->setMesh(meshtest::makeMesh(meshtest::cube()).release());
    owner->setCellCode(7);
    owner->jointCursorActive = 1;
    {
        SampleBody copy(*owner);
        EXPECT_EQ(copy.mesh, owner->mesh);
        EXPECT_FALSE(copy.ownsMesh());
        EXPECT_EQ(copy.getCellCode(), 7u);
        EXPECT_EQ(copy.jointCursorActive, 0);
    }
    // The source dies before a second copy: the copy must not free the mesh again.
    auto* late = new SampleBody(*owner);
    delete owner;
    delete late;

    // Assignment frees the mesh the target owned, except when it is the same one.
    SampleBody a, b;
    a.setMesh(meshtest::makeMesh(meshtest::cube()).release());
    b.setMesh(meshtest::makeMesh(meshtest::cube()).release());
    SampleBody keep(b);
    b = keep;  // same mesh: b keeps owning it
    EXPECT_TRUE(b.ownsMesh());
    a = b;     // a's own mesh is freed (ASan reports a leak otherwise)
    EXPECT_EQ(a.mesh, b.mesh);
    EXPECT_FALSE(a.ownsMesh());
}

TEST(HardBody, InitialStateMasksAndRestore) {
    SampleBody b(HB_HULL);
    place(b);
    b.setRestitutionCoeff(0.3);
    b.setFrictionCoeff(0.6);
    b.storeInitialState(1);
    const RBDynamics start = b.dyn;

    b.setMass(4.0f);
    b.setLinearVelocity({1, 2, 3});
    b.setAngularVelocity({0, 0, 5});
    b.restitution = 0.9;
    b.storeInitialState(6);  // only v
    expectVec(b.dynInit.v, 1, 2, 3);
    expectVec(b.dynInit.w, 0, 0, 0);
    EXPECT_EQ(b.dynInit.invMass, 1.0);
    b.storeInitialState(4);
    expectVec(b.dynInit.w, 0, 0, 5);
    expectVec(b.dynInit.L, 0, 0, 20);
    b.storeInitialState(8);
    EXPECT_EQ(b.dynInit.invMass, 0.25);
    EXPECT_EQ(b.restitutionInit, 0.3);
    b.storeInitialState(3);  // bit 1 wins: everything
    EXPECT_EQ(b.restitutionInit, 0.9);
    EXPECT_EQ(std::memcmp(&b.dynInit, &b.dyn, sizeof(RBDynamics)), 0);

    b.dynInit = start;
    b.restitutionInit = 0.3;
    b.setPosition({5, 5, 5});
    b.restitution = 0.1;
    b.friction = 0.1;
    b.enableFirstHit();
    b.applyInitialState();
    EXPECT_EQ(std::memcmp(&b.dyn, &start, sizeof(RBDynamics)), 0);
    EXPECT_EQ(std::memcmp(&b.lastDyn, &start, sizeof(RBDynamics)), 0);
    EXPECT_EQ(b.restitution, 0.3);
    EXPECT_EQ(b.friction, 0.6);
    EXPECT_TRUE(b.isStatic());
    EXPECT_TRUE(b.isWorldModified());
}

TEST(HardBody, LoadsAndImpulses) {
    SampleBody b;
    place(b, {1, 0, 0});
    b.setMass(2.0f);
    EXPECT_FALSE(b.isExternalForces());
    b.applyExternalTorque({0, 0, 1e-3});
    EXPECT_TRUE(b.isExternalForces());
    b.clearExternalForces();
    b.applyExternalForce({0, 3, 0}, {3, 0, 0});  // lever (2, 0, 0)
    b.applyExternalForce({1, 0, 0});
    expectVec(b.getExternalForces(), 1, 3, 0);
    expectVec(b.getExternalTorques(), 0, 0, 6);

    // An impulse at the reference point changes v only; the sleeping body wakes.
    b.sleepCount = 3;
    b.setAngularVelocity({0, 1, 0});
    b.applyImpulse({2, 0, 0}, {1, 0, 0});
    expectVec(b.dyn.v, 1, 0, 0);
    expectVec(b.dyn.L, 0, 2, 0);
    expectVec(b.dyn.w, 0, 1, 0);
    EXPECT_TRUE(b.isActive());
    EXPECT_EQ(b.getsleepCount(), 0);

    // Off centre: L gains (P - x) x J and w follows from the world inverse tensor.
    b.countSleeping();
    b.applyImpulse({0, 0, 2}, {1, 1, 0});
    expectVec(b.dyn.v, 1, 0, 1);
    expectVec(b.dyn.L, 2, 2, 0);
    expectVec(b.dyn.w, 1, 1, 0);
    EXPECT_EQ(b.getsleepCount(), 1);  // already awake: not activated again
    b.applyTorque({0, 0, 4});
    expectVec(b.dyn.w, 1, 1, 2);
    b.applyImpulse({4, 0, 0});
    expectVec(b.dyn.v, 3, 0, 1);
    expectVec(b.getPointVelocity({1, 0, 1}), 3 + 1, 0 - 1, 1);
}
