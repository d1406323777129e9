#include "engine/collision/collisionManager.h"

#include <gtest/gtest.h>

#include <memory>

#include "engine/collision/convex/pkJump.h"
#include "engine/collision/convex/pkJumpQueries.h"
#include "engine/world/privateWorld.h"
#include "tests/engine/collision/collisionTestBodies.h"

namespace {

const ::testing::Environment* const singleLane =
    ::testing::AddGlobalTestEnvironment(new coltest::SingleLaneEnvironment);

template <class List>
std::uint32_t spareCount(const List& list) {
    std::uint32_t n = 0;
    for (auto* s = list.spare; s; s = s->next) {
        ++n;
    }
    return n;
}

// Takes n lane-0 records and lends them to the list.
void lend(CollisionManager& m, PairList& list, int n) {
    for (int i = 0; i < n; ++i) {
        list.pushFront(m.takePairRecord(0));
    }
}

TEST(CollisionManager, ConstructionPublishesAndDestructionWithdraws) {
    auto m = std::make_unique<CollisionManager>();
    EXPECT_EQ(m->threadCount, 1u);
    EXPECT_FALSE(m->contactGroupsEnabled);
    EXPECT_EQ(m->pairCount + m->usedGroupCount + m->groupCounter + m->lastLinkCount + m->linkCountSum, 0u);
    EXPECT_EQ(getPkJumpInstance(), m->convexSolver.get());
    EXPECT_EQ(getLaneLsqSystem(0), m->lsqSystem.get());
    EXPECT_EQ(getCollisionWorkerCount(), 0);
    EXPECT_EQ(getLaneLsqSystem(1), nullptr);
    EXPECT_EQ(getLaneLsqSystem(MAX_LANES), nullptr);
    // The node reserve goes to the eleven listed lists only; freeGroups waits for clear.
    for (const PairList* l : {&m->crackerPairs, &m->activePairs, &m->collisionReport, &m->newPairs,
                              &m->fragmentPairs, &m->groupPairs, &m->pairPool}) {
        EXPECT_EQ(spareCount(*l), 1024u);
    }
    for (const GroupList* l : {&m->extraGroups, &m->usedGroups}) {
        EXPECT_EQ(spareCount(*l), 1024u);
    }
    EXPECT_EQ(spareCount(m->looseBodies) + spareCount(m->frontier), 2048u);
    EXPECT_EQ(spareCount(m->groundBodies) + spareCount(m->freeGroups), 0u);
    EXPECT_EQ(m->freeGroups.count, 0u);

    // Only the live manager's objects are withdrawn.
    auto newer = std::make_unique<CollisionManager>();
    m.reset();
    EXPECT_EQ(getPkJumpInstance(), newer->convexSolver.get());
    EXPECT_EQ(getLaneLsqSystem(0), newer->lsqSystem.get());
    newer.reset();
    EXPECT_EQ(getPkJumpInstance(), nullptr);
    EXPECT_EQ(getLaneLsqSystem(0), nullptr);
}

TEST(CollisionManager, ClearTwiceAndLentRecordsAreReclaimed) {
    const auto owned = std::make_unique<CollisionManager>();
    CollisionManager& m = *owned;
    m.threadCount = 3;
    m.contactGroupsEnabled = true;
    for (int round = 0; round < 2; ++round) {
        lend(m, m.activePairs, 3);
        lend(m, m.crackerPairs, 2);
        lend(m, m.collisionReport, 20);
        m.newPairs.pushFront(m.activePairs.head->next->value);  // an alias, freed once
        m.usedGroups.pushFront(&m.groups[5]);
        m.usedGroupCount = 1;
        m.pairCount = 3;
        m.clear();
        EXPECT_EQ(m.freeGroups.count, 1024u);
        EXPECT_EQ(m.freeGroups.head->next->value, &m.groups[1023]);
        EXPECT_EQ(m.pairPool.count, 0u);
        EXPECT_EQ(spareCount(m.pairPool), 1024u);
        EXPECT_EQ(m.activePairs.count + m.crackerPairs.count + m.collisionReport.count + m.newPairs.count +
                      m.usedGroups.count + m.usedGroupCount + m.pairCount,
                  0u);
    }
    EXPECT_EQ(m.threadCount, 3u);
    EXPECT_TRUE(m.contactGroupsEnabled);
    // Records still lent at destruction are freed with the manager (the leak checker
    // of the sanitized build watches both).
    lend(m, m.activePairs, 2);
    lend(m, m.collisionReport, 1);
}

TEST(CollisionManager, PairPoolsRefillBySixteenAndReuseLastIn) {
    const auto owned = std::make_unique<CollisionManager>();
    CollisionManager& m = *owned;
    EXPECT_EQ(m.takePairRecord(1), nullptr);  // no worker lanes
    EXPECT_EQ(m.takePairRecord(-1), nullptr);
    CollisionPair* a = m.takePairRecord(0);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(m.pairPool.count, 15u);
    CollisionPair* b = m.takePairRecord(0);
    a->contactCount = 7;
    m.returnPairToLane(a, 0);
    m.returnPairToLane(b, 0);
    m.returnPairToLane(b, 1);  // no such lane: ignored
    EXPECT_EQ(m.pairPool.count, 16u);
    EXPECT_EQ(m.takePairRecord(0), b);
    CollisionPair* again = m.takePairRecord(0);
    EXPECT_EQ(again, a);
    EXPECT_EQ(again->contactCount, 7u);  // not reset
    m.returnPairToLane(again, 0);
    m.returnPairToLane(b, 0);
    EXPECT_TRUE(m.pushResolvedPair(nullptr));
    EXPECT_EQ(m.newPairs.count, 1u);
}

TEST(CollisionManager, ReleasesReturnPairsAndGroups) {
    const auto owned = std::make_unique<CollisionManager>();
    CollisionManager& m = *owned;
    m.clear();
    auto body = coltest::hullBox({});
    body->enableInContact();
    lend(m, m.activePairs, 2);
    lend(m, m.crackerPairs, 1);
    m.freeGroups.clear();
    m.groups[0].body = body.get();
    m.usedGroups.pushFront(&m.groups[0]);
    m.usedGroupCount = 1;

    // With pairCount 0 only the cracker pairs go back.
    m.releasePairs();
    EXPECT_EQ(m.activePairs.count, 2u);
    EXPECT_EQ(m.crackerPairs.count, 0u);
    EXPECT_EQ(m.pairPool.count, 14u);
    m.pairCount = 2;
    m.releasePairs();
    EXPECT_EQ(m.activePairs.count + m.pairCount + m.usedGroupCount + m.usedGroups.count, 0u);
    EXPECT_EQ(m.pairPool.count, 16u);
    EXPECT_EQ(m.freeGroups.count, 1u);
    EXPECT_TRUE(body->isInContact());  // pairs release leaves the bodies' flags

    m.freeGroups.clear();
    m.usedGroups.pushFront(&m.groups[0]);
    m.usedGroupCount = 1;
    m.releaseContactGroups();
    EXPECT_FALSE(body->isInContact());
    EXPECT_EQ(m.freeGroups.count, 1u);
    EXPECT_EQ(m.usedGroupCount, 0u);
}

TEST(CollisionManager, WorldOwnsTheManagerAndItsForwardsReachIt) {
    auto hull = coltest::hullBox({});
    ZYLbox far{{5.0, 0.0, 0.0}, Qmt::QmtMatrix3::IDENTITY, {0.5, 0.5, 0.5}};
    const BVbox box(&far);
    EXPECT_EQ(pkJumpHullBoxQuery(hull->bound, &box, 0), 1u);  // no solver: overlap assumed
    PublicWorld* world = createWorld();
    ASSERT_NE(world, nullptr);
    EXPECT_EQ(pkJumpHullBoxQuery(hull->bound, &box, 0), 0u);
    EXPECT_EQ(world->getThreadCount(), 1u);
    world->setThreadCount(4);
    world->useAllThreads();
    EXPECT_EQ(world->getThreadCount(), 1u);
    HardBody** colliding = nullptr;
    EXPECT_EQ(world->getCollidingBodies(hull.get(), &colliding), 0);
    EXPECT_NE(colliding, nullptr);
    auto& manager = *static_cast<PrivateWorld*>(world)->collisionManager;
    lend(manager, manager.collisionReport, 2);
    world->clearCollisionReport();
    EXPECT_EQ(manager.collisionReport.count, 0u);
    EXPECT_EQ(manager.pairPool.count, 16u);
    // A reset world reclaims what was lent and stays usable.
    lend(manager, manager.activePairs, 1);
    EXPECT_TRUE(world->reset());
    EXPECT_EQ(manager.freeGroups.count, 1024u);
    EXPECT_TRUE(world->manageCollisions(0.01));
    EXPECT_TRUE(world->step(0.01, nullptr));
    destroyWorld(&world);
    EXPECT_EQ(getPkJumpInstance(), nullptr);
    EXPECT_EQ(pkJumpHullBoxQuery(hull->bound, &box, 0), 1u);
}

}  // namespace
