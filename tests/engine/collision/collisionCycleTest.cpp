#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "engine/fracture/fractureBody.h"
#include "engine/threads/processorCount.h"
#include "tests/allocationHooks.h"
#include "tests/engine/collision/collisionScenes.h"

// The engine's own containers allocate through the throwing forms; counted here too.
namespace {
int plainAllocations = 0;
}  // namespace

// Out of line so that the compiler does not pair a caller's new with this free.
[[gnu::noinline]] void* operator new(std::size_t size) {
    ++plainAllocations;
    if (void* p = std::malloc(size == 0 ? 1 : size)) {
        return p;
    }
    throw std::bad_alloc();
}
[[gnu::noinline]] void* operator new[](std::size_t size) { return operator new(size); }
[[gnu::noinline]] void operator delete(void* p) noexcept { std::free(p); }
[[gnu::noinline]] void operator delete[](void* p) noexcept { std::free(p); }
[[gnu::noinline]] void operator delete(void* p, std::size_t) noexcept { std::free(p); }
[[gnu::noinline]] void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

namespace {

using Qmt::QmtVector3;
using scenes::OVERLAP;
using scenes::Scene;

std::vector<CollisionPair*> pairsOf(const PairList& list) { return {list.begin(), list.end()}; }

bool joins(const CollisionPair* pair, const HardBody* x, const HardBody* y) {
    return (pair->bodyA == x && pair->bodyB == y) || (pair->bodyA == y && pair->bodyB == x);
}

// A stack of n unit boxes on the slab, each OVERLAP into the one below.
std::vector<HullBody*> stack(Scene& s, int n, double x = 0.0) {
    std::vector<HullBody*> boxes;
    for (int i = 0; i < n; ++i) {
        boxes.push_back(s.boxOn(i * (1.0 - OVERLAP), x));
    }
    return boxes;
}

TEST(CollisionCycle, StagesGrowFromTheGroundAndPairsFollowDiscovery) {
    Scene s;
    HullBody* const slab = s.slab();
    const std::vector<HullBody*> boxes = stack(s, 5);
    HullBody* const loner = s.box({20.0, 10.0, 0.0});
    s.world->enableDetectMode();
    EXPECT_TRUE(s.world->manageCollisions(scenes::HOST_DT));

    EXPECT_EQ(slab->getContactStage(), 0);
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(boxes[i]->getContactStage(), i + 1) << i;
        EXPECT_TRUE(boxes[i]->isInContact());
    }
    EXPECT_EQ(loner->getContactStage(), -1);
    EXPECT_FALSE(loner->isInContact());
    const std::vector<CollisionPair*> pairs = pairsOf(s.manager().activePairs);
    ASSERT_EQ(pairs.size(), 5u);
    EXPECT_EQ(s.manager().pairCount, 5u);
    EXPECT_TRUE(joins(pairs[0], boxes[0], slab));
    for (int i = 1; i < 5; ++i) {
        EXPECT_TRUE(joins(pairs[i], boxes[i - 1], boxes[i])) << i;
        EXPECT_EQ(pairs[i]->state, 1u);
    }
    // Without a sweep to move within, extraction leaves the overlaps alone.
    EXPECT_EQ(boxes[0]->getDyn().position.y, 0.5 - OVERLAP);
}

TEST(CollisionCycle, BodiesOffTheGroundShareTheLastStageAndStay) {
    Scene s;
    s.slab();
    HullBody* const a = s.box({0.0, 10.0, 0.0});
    HullBody* const b = s.box({1.0 - OVERLAP, 10.0, 0.0});
    a->setExtractionCoeff(1.0);
    b->setExtractionCoeff(1.0);
    s.world->enableDetectMode();
    EXPECT_TRUE(s.world->manageCollisions(scenes::HOST_DT));
    EXPECT_EQ(a->getContactStage(), 1);
    EXPECT_EQ(b->getContactStage(), 1);
    EXPECT_EQ(s.manager().activePairs.count, 1u);
    EXPECT_EQ(a->getDyn().position.x, 0.0);
    EXPECT_EQ(b->getDyn().position.x, 1.0 - OVERLAP);
}

TEST(CollisionCycle, ALandingBodyWakesTheSleeperUnderIt) {
    Scene s;
    s.slab();
    HullBody* const sleeper = s.boxOn(0.0);
    sleeper->deActivate();
    s.world->step(scenes::HOST_DT, nullptr);  // files it as asleep
    ASSERT_TRUE(listContains(s.world->aReactivationBodies, sleeper));
    HullBody* const lander = s.boxOn(1.0 - OVERLAP);
    scenes::moving(lander, {0.0, -1.0, 0.0});
    s.world->manageCollisions(scenes::HOST_DT);
    EXPECT_TRUE(sleeper->isActive());
    EXPECT_EQ(lander->getContactStage(), 1);
    s.world->step(scenes::HOST_DT, nullptr);
    EXPECT_TRUE(listContains(s.world->aBodies, sleeper));
}

TEST(CollisionCycle, WithoutWorkersEveryThreadCountResolvesSerially) {
    // One processor: the manager makes no worker.
    setProcessorCountOverride(1);
    std::vector<double> heights[2];
    for (unsigned threads : {1u, 4u}) {
        Scene s;
        ASSERT_EQ(getCollisionWorkerCount(), 0);
        s.slab();
        const std::vector<HullBody*> boxes = stack(s, 3);
        s.world->setThreadCount(threads);
        s.world->manageCollisions(scenes::HOST_DT);
        const std::vector<CollisionPair*> before = pairsOf(s.manager().activePairs);
        s.world->step(scenes::HOST_DT, nullptr);
        // Resolved in place: same order, and the contacts held.
        EXPECT_EQ(pairsOf(s.manager().activePairs), before) << threads;
        for (const HullBody* b : boxes) {
            heights[threads == 4u].push_back(b->getDyn().position.y);
            heights[threads == 4u].push_back(b->getDyn().v.y);
        }
        EXPECT_GT(boxes[0]->getDyn().v.y, -0.05) << threads;
    }
    setProcessorCountOverride(0);
    EXPECT_EQ(heights[0], heights[1]);
}

// Fragment pairs go over to the fracture body that owns the fragments, are merged per
// body pair and follow the other active pairs.
TEST(CollisionCycle, FragmentPairsMergeOnTheirOwners) {
    CollisionManager m;
    auto owner = coltest::hullBox({0.0, 0.0, 0.0});
    auto f1 = coltest::hullBox({1.0, 0.0, 0.0});
    auto f2 = coltest::hullBox({-1.0, 0.0, 0.0});
    auto other = coltest::hullBox({0.0, -1.0, 0.0});
    auto far = coltest::hullBox({5.0, 5.0, 5.0});
    f1->setParent(owner.get());
    f2->setParent(owner.get());
    for (HardBody* b : {static_cast<HardBody*>(owner.get()), static_cast<HardBody*>(other.get()),
                        static_cast<HardBody*>(far.get())}) {
        b->deActivate();  // nothing to resolve afterwards
    }
    const auto make = [&](HardBody* a, HardBody* b, const QmtVector3& local, const QmtVector3& normal) {
        CollisionPair* const p = m.takePairRecord(0);
        coltest::resetPair(*p, a, b);
        p->contactCount = 1;
        p->points[0] = local;
        p->normals[0] = normal;
        return p;
    };
    CollisionPair* const plain = make(other.get(), far.get(), {}, {0.0, 1.0, 0.0});
    CollisionPair* const p1 = make(f1.get(), other.get(), {0.0, -0.5, 0.0}, {0.0, 1.0, 0.0});
    CollisionPair* const p2 = make(other.get(), f2.get(), {-1.0, 0.5, -0.2}, {0.0, -1.0, 0.0});
    CollisionPair* const p3 = make(f2.get(), other.get(), {0.0, -0.5, 0.2}, {0.0, 1.0, 0.0});
    for (CollisionPair* p : {p3, p2, p1, plain}) {
        m.activePairs.pushFront(p);
    }
    m.pairCount = 4;
    std::uint32_t flags = 0;
    BodyList none;
    m.resolveCollisions(1, {0.0, -1.0, 0.0}, none, none, flags);

    EXPECT_EQ(pairsOf(m.activePairs), (std::vector<CollisionPair*>{plain, p3}));
    EXPECT_EQ(p3->bodyA, owner.get());
    EXPECT_EQ(p3->bodyB, other.get());
    ASSERT_EQ(p3->contactCount, 3u);
    // Own contact, then the swapped pair's (normal turned), then the same-order pair's.
    EXPECT_EQ(p3->points[0], QmtVector3(-1.0, -0.5, 0.2));
    EXPECT_EQ(p3->armsB[0], QmtVector3(-1.0, 0.5, 0.2));
    EXPECT_EQ(p3->points[1], QmtVector3(-1.0, -0.5, -0.2));
    EXPECT_EQ(p3->normals[1], QmtVector3(0.0, 1.0, 0.0));
    EXPECT_EQ(p3->points[2], QmtVector3(1.0, -0.5, 0.0));
    EXPECT_EQ(p3->armsA[2], QmtVector3(1.0, -0.5, 0.0));
    const std::vector<CollisionPair*> pool = pairsOf(m.pairPool);
    EXPECT_EQ(std::count(pool.begin(), pool.end(), p1) + std::count(pool.begin(), pool.end(), p2), 2);
}

// A fracture body may touch what one of its fragments touches; a fragment that no
// pair record can be had for (a lane without a pool) counts as apart.
TEST(CollisionCycle, FractureBodiesOverlapThroughTheirFragments) {
    CollisionManager m;
    FractureBody fracture;
    auto f1 = coltest::hullBox({0.0, 0.5 - OVERLAP, 0.0});
    auto f2 = coltest::hullBox({1.0, 0.5 - OVERLAP, 0.0});
    for (HullBody* f : {f1.get(), f2.get()}) {
        fracture.fragments.pushFront(f);
        f->setParent(&fracture);
    }
    ASSERT_TRUE(fracture.updateFromFragments());
    auto slab = coltest::hullBox({0.0, -0.5, 0.0}, {5.0, 0.5, 5.0});
    auto plane = coltest::floorPlane();
    CollisionPair* const pair = m.takePairRecord(0);
    const std::uint32_t pooled = m.pairPool.count;
    EXPECT_EQ(m.overlapTest(&fracture, slab.get(), pair, 0), 1);
    EXPECT_EQ(m.overlapTest(slab.get(), &fracture, pair, 0), 1);
    EXPECT_EQ(m.overlapTest(&fracture, plane.get(), pair, 0), 1);
    EXPECT_EQ(m.pairPool.count, pooled);
    EXPECT_EQ(m.overlapTest(&fracture, slab.get(), pair, getCollisionWorkerCount() + 1), 0);
    auto far = coltest::hullBox({0.0, 9.0, 0.0});
    EXPECT_EQ(m.overlapTest(&fracture, far.get(), pair, 0), 0);
    m.returnPairToLane(pair, 0);
    fracture.fragments.clear();
}

// A fragment reached from a frontier body lifts its whole fracture body out, and the
// broad phase follows every fragment the lift moved: the other fragment, brought onto
// the frontier body, is met in the same walk, as the walk over every pair meets it.
TEST(CollisionCycle, AFractureBodyLiftedWholeMeetsWhatItsLiftReaches) {
    CollisionManager m;
    auto slab = coltest::hullBox({0.0, -0.5, 0.0}, {5.0, 0.5, 5.0});
    slab->enableStatic();
    auto base = coltest::hullBox({0.0, 0.5 - OVERLAP, 0.0});
    // One fragment 0.3 into the base along x, the other 0.2 short of it: further than
    // the broad phase's leaves reach beyond their bodies.
    auto pushed = coltest::hullBox({0.7, 0.6, 0.0});
    auto sibling = coltest::hullBox({-1.2, 0.6, 0.0});
    FractureBody owner;
    for (HullBody* f : {pushed.get(), sibling.get()}) {
        owner.fragments.pushFront(f);
        f->setParent(&owner);
    }
    ASSERT_TRUE(owner.updateFromFragments());
    owner.setExtractionCoeff(1.0);
    BodyList bodies, statics, none;
    bodies.pushFront(&owner);
    bodies.pushFront(base.get());
    statics.pushFront(slab.get());
    m.detectCollisions(bodies, statics, none, none);
    const std::vector<CollisionPair*> pairs = pairsOf(m.activePairs);
    EXPECT_GT(sibling->getDyn().position.x, -1.1);
    const auto meetsBase = [&](const CollisionPair* p) { return joins(p, sibling.get(), base.get()); };
    EXPECT_EQ(std::count_if(pairs.begin(), pairs.end(), meetsBase), 1);
    owner.fragments.clear();
}

TEST(CollisionCycle, ACrackerPushesAWholeBody) {
    Scene s(0.0);
    HullBody* const box = s.box({0.0, 5.0, 0.0});
    EXPECT_EQ(s.manager().detectPairs(s.world->aCrackers.nodes(), s.world->aBodies.nodes(),
                                      s.world->aStaticBodies.nodes()), 0);
    CapsuleBody* const cracker = coltest::capsuleAlong({-1.4, 4.8, -0.2}, {-0.45, 5.2, 0.2}, true).release();
    s.world->addBody(cracker, 0);
    scenes::moving(cracker, {1.0, 0.0, 0.0});
    s.world->manageCollisions(scenes::HOST_DT);
    ASSERT_EQ(s.manager().crackerPairs.count, 1u);
    const CollisionPair* const pair = *s.manager().crackerPairs.begin();
    EXPECT_EQ(pair->bodyA, box);
    EXPECT_EQ(pair->bodyB, cracker);
    EXPECT_GT(box->getDyn().v.x, 0.1);
}

std::vector<double> runDropOnStack() {
    Scene s;
    s.slab();
    std::vector<HullBody*> boxes = stack(s, 5);
    boxes.push_back(s.box({0.3, 6.5, 0.2}));
    std::vector<double> out;
    for (int frame = 0; frame < 60; ++frame) {
        s.frame();
    }
    for (const HullBody* b : boxes) {
        const RBDynamics& d = b->getDyn();
        out.insert(out.end(), {d.position.x, d.position.y, d.position.z, d.v.x, d.v.y, d.v.z, d.w.x, d.w.y, d.w.z});
    }
    return out;
}

TEST(CollisionCycle, SerialRunsRepeatBitwise) {
    const std::vector<double> first = runDropOnStack();
    const std::vector<double> second = runDropOnStack();
    ASSERT_EQ(first.size(), second.size());
    EXPECT_EQ(std::memcmp(first.data(), second.data(), first.size() * sizeof(double)), 0);
}

TEST(CollisionCycle, SteadyFramesAllocateNothing) {
    Scene s;
    s.slab();
    stack(s, 5);
    for (int frame = 0; frame < 20; ++frame) {
        s.frame();
    }
    const int nothrowBefore = zyltest::nothrowAllocations + zyltest::nothrowArrayAllocations;
    const int plainBefore = plainAllocations;
    for (int frame = 0; frame < 20; ++frame) {
        s.frame();
    }
    EXPECT_EQ(zyltest::nothrowAllocations + zyltest::nothrowArrayAllocations, nothrowBefore);
    EXPECT_EQ(plainAllocations, plainBefore);
}

}  // namespace
