#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "engine/collision/collisionManager.h"
#include "engine/fracture/fractureBody.h"
#include "tests/engine/collision/collisionTestBodies.h"

namespace {

using coltest::QmtVector3;

// n contacts at distinct points in bodyA's frame.
void fill(CollisionPair& pair, HardBody* a, HardBody* b, std::uint32_t n, double x0 = 0.0) {
    pair.bodyA = a;
    pair.bodyB = b;
    pair.contactCount = n;
    for (std::uint32_t i = 0; i < n; ++i) {
        pair.points[i] = QmtVector3(x0 + i, 0.0, 0.0);
        pair.normals[i] = QmtVector3(0, 1, 0);
        pair.depths[i] = -0.01 * (i + 1);
        pair.relativeVelocities[i] = QmtVector3(1, 2, 3);
        pair.frictionDirections[i] = QmtVector3(1, 0, 0);
        pair.features[i] = {i, 100 + i, {}};
    }
}

TEST(PairMerging, AppendsInTheDestinationFramesUpToTwentyFour) {
    auto a = coltest::hullBox({0, 1, 0});
    auto b = coltest::hullBox({0, 3, 0});
    CollisionPair destination;
    CollisionPair source;
    fill(destination, a.get(), b.get(), 20);
    fill(source, b.get(), a.get(), 10, 50.0);
    CollisionManager::mergePairContacts(&destination, &source, -1.0f);
    ASSERT_EQ(destination.contactCount, 24u);
    // Source contact 0 sits at (50, 3, 0) in the world.
    const QmtVector3 world(50, 3, 0);
    EXPECT_EQ(destination.points[20], world - a->getDyn().position);
    EXPECT_EQ(destination.pointsB[20], world - b->getDyn().position);
    EXPECT_EQ(destination.armsA[20], world - a->getDyn().position);
    EXPECT_EQ(destination.normals[20], QmtVector3(0, -1, 0));
    EXPECT_EQ(destination.frictionDirections[20], QmtVector3(-1, 0, 0));
    EXPECT_EQ(destination.relativeVelocities[20], QmtVector3(-1, -2, -3));
    EXPECT_EQ(destination.depths[23], source.depths[3]);
    EXPECT_EQ(destination.features[21].featureA, 101u);
    EXPECT_EQ(destination.features[21].featureB, 1u);
}

TEST(PairMerging, CoincidentPointsAndOpposingNormals) {
    auto a = coltest::hullBox({0, 1, 0});
    auto b = coltest::hullBox({0, 3, 0});
    CollisionPair pair;
    fill(pair, a.get(), b.get(), 3);
    // Contacts 0 and 2 lie 0.001 apart: the larger signed depth (-0.1) survives.
    pair.points[2] = QmtVector3(0.001, 0, 0);
    pair.depths[0] = -0.2;
    pair.depths[2] = -0.1;
    pair.pointsB[2] = QmtVector3(7, 7, 7);
    CollisionManager::mergeCoincidentContacts(&pair);
    ASSERT_EQ(pair.contactCount, 2u);
    EXPECT_EQ(pair.points[0], QmtVector3(1, 0, 0));
    EXPECT_EQ(pair.depths[1], -0.1);
    EXPECT_EQ(pair.pointsB[1], QmtVector3(7, 7, 7));  // the survivor keeps its own data

    // A shallower opposing normal is bent off the deeper one, or dropped when
    // nothing is left of it.
    pair.contactCount = 3;
    pair.depths[0] = -0.1;
    pair.depths[1] = -0.3;
    pair.depths[2] = -0.2;
    pair.normals[0] = QmtVector3(0, 1, 0);
    pair.normals[1] = QmtVector3(std::sqrt(0.5), -std::sqrt(0.5), 0);
    pair.normals[2] = QmtVector3(0, -1, 0);
    CollisionManager::resolveOpposingNormals(&pair);
    ASSERT_EQ(pair.contactCount, 2u);
    EXPECT_EQ(pair.depths[0], -0.1);
    EXPECT_EQ(pair.normals[1], QmtVector3(1, 0, 0));
    EXPECT_EQ(pair.depths[1], -0.3);
}

// A striker touching a fragment on the rim of the face it shares with its neighbour
// (at the top edge of the seam) pushes on the compound's outside, not along the seam:
// those contacts go. The same rim of an outer face keeps its contacts.
TEST(PairMerging, ContactsOnTheRimOfASharedFaceAreInternal) {
    auto striker = coltest::hullBox({0.5, 1.0, 0.0});
    auto left = coltest::hullBox({0.0, 0.0, 0.0});
    auto right = coltest::hullBox({1.0, 0.0, 0.0});
    std::unique_ptr<FractureBody> compound(static_cast<FractureBody*>(createFractureBody()));
    for (HullBody* fragment : {left.get(), right.get()}) {
        compound->fragments.pushFront(fragment);
        fragment->setParent(compound.get());
    }
    for (const double side : {1.0, -1.0}) {
        CollisionPair pair;
        fill(pair, striker.get(), left.get(), 2);
        for (std::uint32_t i = 0; i < 2; ++i) {
            pair.points[i] = QmtVector3(0.5 * side, 0.5, i == 0 ? 0.3 : -0.3) - striker->getDyn().position;
            pair.normals[i] = QmtVector3(side, 0.0, 0.0);
            pair.depths[i] = 0.0;
        }
        CollisionManager::dropInternalFaceContacts(&pair);
        EXPECT_EQ(pair.contactCount, side > 0.0 ? 0u : 2u) << side;
    }
}

TEST(CollisionReport, QueriesInEitherOrderAndReportLimits) {
    const auto owned = std::make_unique<CollisionManager>();
    CollisionManager& m = *owned;
    m.clear();
    auto x = coltest::hullBox({0, 1, 0});
    auto y = coltest::hullBox({0, 3, 0});
    std::vector<std::unique_ptr<HullBody>> others;
    for (int i = 0; i < 30; ++i) {
        others.push_back(coltest::hullBox({double(i), 5, 0}));
        CollisionPair* pair = m.takePairRecord(0);
        fill(*pair, i % 2 ? x.get() : others.back().get(), i % 2 ? others.back().get() : x.get(), 1);
        m.activePairs.pushFront(pair);
    }
    CollisionPair* xy = m.takePairRecord(0);
    fill(*xy, x.get(), y.get(), 2);
    m.activePairs.pushFront(xy);
    m.updateCollisionReport();
    ASSERT_EQ(m.collisionReport.count, 31u);

    QmtVector3* points = nullptr;
    ASSERT_EQ(m.getReportedContactPoints(y.get(), x.get(), &points), 2);
    EXPECT_EQ(points[1], QmtVector3(1, 1, 0));
    HardBody** colliding = nullptr;
    EXPECT_EQ(m.getCollidingBodies(x.get(), &colliding), 24);
    EXPECT_EQ(m.getCollidingBodies(y.get(), &colliding), 1);
    EXPECT_EQ(colliding[0], x.get());
    colliding = nullptr;
    EXPECT_EQ(m.getCollidingBodies(nullptr, &colliding), 0);
    EXPECT_NE(colliding, nullptr);

    QmtVector3* normals = nullptr;
    double* depths = nullptr;
    EXPECT_EQ(m.getPairContactPoints(y.get(), x.get(), &normals, &depths), 0);
    ASSERT_NE(normals, nullptr);
    EXPECT_EQ(normals[1], QmtVector3(0, -1, 0));
    EXPECT_EQ(depths[1], -0.02);
    normals = nullptr;
    EXPECT_EQ(m.getPairContactPoints(y.get(), others[0].get(), &normals, &depths), 0);
    EXPECT_EQ(normals, nullptr);  // no pair: outputs left alone
    EXPECT_EQ(m.getReportedContactPoints(y.get(), others[0].get(), &points), 0);

    const std::uint32_t pooled = m.pairPool.count;
    m.clearCollisionReport();
    EXPECT_EQ(m.collisionReport.count, 0u);
    EXPECT_EQ(m.pairPool.count, pooled + 31);
    EXPECT_EQ(m.getCollidingBodies(x.get(), &colliding), 0);
    m.pairCount = 31;
    m.releasePairs();
    EXPECT_EQ(m.pairPool.count, pooled + 62);
}

}  // namespace
