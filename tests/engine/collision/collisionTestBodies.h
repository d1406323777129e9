#pragma once

// Placed bodies of every kind for the collision tests.

#include <gtest/gtest.h>

#include <memory>

#include "engine/bodies/barrierBody.h"
#include "engine/bodies/capsuleBody.h"
#include "engine/bodies/hullBody.h"
#include "engine/threads/processorCount.h"
#include "engine/world/engineApi.h"
#include "tests/geometry/testMeshes.h"

namespace coltest {

using Qmt::QmtMatrix3;
using Qmt::QmtVector3;

inline const QmtVector3 UNIT_SCALE{1.0, 1.0, 1.0};

// A hull body of the box with the given half sides around `centre`, placed there
// unturned, with mass 1.
inline std::unique_ptr<HullBody> hullBox(const QmtVector3& centre, const QmtVector3& half = {0.5, 0.5, 0.5}) {
    const auto mesh = meshtest::makeMesh(meshtest::box(centre - half, centre + half));
    std::unique_ptr<HullBody> body(static_cast<HullBody*>(createHullBody(mesh.get())));
    body->init(centre, QmtMatrix3::IDENTITY, UNIT_SCALE);
    body->setMass(1.0f);
    return body;
}

// A capsule body fitted to a long box along the axis from a to b (boxes of side 2r
// around the segment), placed at its centre.
inline std::unique_ptr<CapsuleBody> capsuleAlong(const QmtVector3& lo, const QmtVector3& hi, bool cracker = false) {
    const auto mesh = meshtest::makeMesh(meshtest::box(lo, hi));
    std::unique_ptr<CapsuleBody> body(
        static_cast<CapsuleBody*>(cracker ? createCrackerBody(mesh.get()) : createCapsuleBody(mesh.get())));
    body->init((lo + hi) / 2.0, QmtMatrix3::IDENTITY, UNIT_SCALE);
    body->setMass(1.0f);
    return body;
}

inline std::unique_ptr<BarrierBody> floorPlane(double height = 0.0) {
    QmtVector3 normal = QmtVector3::UNIT_Y;
    return std::unique_ptr<BarrierBody>(static_cast<BarrierBody*>(createBarrierBody({0.0, height, 0.0}, normal)));
}

// The pair set up as a detection test leaves it before its first test.
inline void resetPair(CollisionPair& pair, HardBody* a, HardBody* b) { pair.resetForDetection(a, b); }

// Managers made while this environment is registered have no worker threads, whatever
// the machine's processor count: tests that count lanes and pools see one lane.
struct SingleLaneEnvironment : ::testing::Environment {
    void SetUp() override { setProcessorCountOverride(1); }
    void TearDown() override { setProcessorCountOverride(0); }
};

}  // namespace coltest
