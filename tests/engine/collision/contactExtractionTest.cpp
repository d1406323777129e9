#include <gtest/gtest.h>

#include "engine/fracture/fractureBody.h"
#include "tests/engine/collision/collisionScenes.h"

namespace {

using Qmt::QmtVector3;
using scenes::Scene;

void detect(Scene& s) {
    s.world->enableDetectMode();
    s.world->manageCollisions(scenes::HOST_DT);
}

TEST(ContactExtraction, TheUpperBodyIsLiftedOutOfTheOneBelow) {
    Scene s;
    HullBody* const slab = s.slab();
    HullBody* const low = s.box({0.0, 0.4, 0.0});
    HullBody* const high = s.box({0.0, 1.3, 0.0});
    low->setExtractionCoeff(1.0);
    high->setExtractionCoeff(1.0);
    detect(s);
    EXPECT_NEAR(low->getDyn().position.y, 0.5, 1e-9);
    EXPECT_NEAR(high->getDyn().position.y, 1.5, 1e-9);
    EXPECT_NEAR(low->getDyn().position.x, 0.0, 1e-12);
    EXPECT_EQ(slab->getDyn().position.y, -0.5);
}

TEST(ContactExtraction, WithoutAMarginABodyStaysWithinItsLastSweep) {
    Scene s;
    s.slab();
    HullBody* const box = s.box({0.0, 0.4, 0.0});
    detect(s);
    EXPECT_EQ(box->getDyn().position.y, 0.4);
}

TEST(ContactExtraction, CrackersAndOwnedFragmentsFollowTheirRules) {
    CollisionManager m;
    auto slab = coltest::hullBox({0.0, -0.5, 0.0}, {5.0, 0.5, 5.0});
    slab->enableStatic();
    auto box = coltest::hullBox({0.0, 0.4, 0.0});
    auto other = coltest::hullBox({1.0, 0.4, 0.0});
    box->setExtractionCoeff(1.0);
    box->setContactStage(1);
    slab->setContactStage(0);
    CollisionPair* const pair = m.takePairRecord(0);

    // A cracker moves nothing.
    auto cracker = coltest::capsuleAlong({-1.0, 0.0, -0.2}, {1.0, 0.4, 0.2}, true);
    cracker->setContactStage(0);
    if (m.testPair(box.get(), cracker.get(), pair, 0) != 0) {
        m.extractPair(pair);
    }
    EXPECT_EQ(box->getDyn().position.y, 0.4);

    // A fragment of a static fracture body is held. Of a moving one the whole body is
    // lifted, unturned, with its mass: the fragment alone would be put back in its
    // place by the body's next step, and a body resting on the ground would sink.
    FractureBody owner;
    for (HullBody* f : {box.get(), other.get()}) {
        owner.fragments.pushFront(f);
        f->setParent(&owner);
    }
    ASSERT_TRUE(owner.updateFromFragments());
    owner.setExtractionCoeff(1.0);
    owner.enableStatic();
    ASSERT_NE(m.testPair(box.get(), slab.get(), pair, 0), 0);
    m.extractPair(pair);
    EXPECT_EQ(box->getDyn().position.y, 0.4);
    owner.disableStatic();
    const Qmt::QmtMatrix3 turn = owner.getDyn().rotation;
    m.extractPair(pair);
    EXPECT_NEAR(pair->massWeightA, owner.getMass(), 1e-12);
    EXPECT_NEAR(owner.getDyn().position.y, 0.5, 1e-9);
    for (HullBody* f : {box.get(), other.get()}) {
        EXPECT_NEAR(f->getDyn().position.y, 0.5, 1e-9);
    }
    EXPECT_NEAR(other->getDyn().position.x - box->getDyn().position.x, 1.0, 1e-12);
    EXPECT_EQ(owner.getDyn().rotation, turn);
    m.returnPairToLane(pair, 0);
    owner.fragments.clear();
}

}  // namespace
