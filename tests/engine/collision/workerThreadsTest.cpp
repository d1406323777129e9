#include "engine/collision/workerTable.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "engine/bodies/sampleBody.h"
#include "engine/threads/processorCount.h"
#include "engine/world/privateWorld.h"
#include "tests/engine/collision/collisionTestBodies.h"
#include "tests/engine/collision/seededPile.h"

namespace {

using Qmt::QmtVector3;
using zyltest::place;
using zyltest::SampleBody;

// The processor count the next manager sees, restored when the test ends.
struct Processors {
    explicit Processors(int n) { setProcessorCountOverride(n); }
    ~Processors() { setProcessorCountOverride(0); }
    Processors(const Processors&) = delete;
    Processors& operator=(const Processors&) = delete;
};

bool listed(const PairList& list, const CollisionPair* pair) {
    for (const CollisionPair* p : list) {
        if (p == pair) {
            return true;
        }
    }
    return false;
}

TEST(WorkerThreads, WorkerTableFollowsTheProcessorCount) {
    {
        Processors one(1);
        auto m = std::make_unique<CollisionManager>();
        ASSERT_NE(getWorkerTable(), nullptr);
        EXPECT_EQ(getWorkerTable()->workerCount, 0);
        m->updateLaneCount();
        EXPECT_EQ(m->threadCount, 1u);
    }
    {
        Processors four(4);
        auto m = std::make_unique<CollisionManager>();
        const WorkerTable& table = *getWorkerTable();
        EXPECT_EQ(table.workerCount, 3);
        EXPECT_EQ(table.activeWorkerCount, 3);
        EXPECT_EQ(table.records[2].laneNumber, 3);
        EXPECT_EQ(table.records[2].output, &m->workerPairs[2]);
        EXPECT_NE(getLaneLsqSystem(3), nullptr);
        EXPECT_EQ(getLaneLsqSystem(4), nullptr);
        m->updateLaneCount();
        EXPECT_EQ(m->threadCount, 4u);
    }
    Processors many(64);
    auto m = std::make_unique<CollisionManager>();
    EXPECT_EQ(getWorkerTable()->workerCount, MAX_WORKERS);
    EXPECT_EQ(getCollisionWorkerCount(), 31);
    EXPECT_NE(getLaneLsqSystem(31), nullptr);
    EXPECT_EQ(m->destroyWorkerTable(), 0);
    EXPECT_EQ(getWorkerTable(), nullptr);
    EXPECT_EQ(m->laneWorkspaces, nullptr);
    EXPECT_EQ(m->destroyWorkerTable(), -1);
}

struct AssignmentScene {
    Processors processors{3};  // two workers
    std::unique_ptr<CollisionManager> m = std::make_unique<CollisionManager>();
    SampleBody bodies[5];
    CollisionPair pairs[4];
    PairList list;

    AssignmentScene() {
        for (SampleBody& b : bodies) {
            place(b);
        }
    }
    ~AssignmentScene() {
        m->newPairs.clear();  // the pairs are not the manager's records
        for (PairList& l : m->workerPairs) {
            l.clear();
        }
    }
    // Lists the pairs (i, j) in order.
    void pairUp(std::initializer_list<std::pair<int, int>> ends) {
        int k = 0;
        for (const auto& [i, j] : ends) {
            pairs[k].bodyA = &bodies[i];
            pairs[k].bodyB = &bodies[j];
            ++k;
        }
        for (int p = k - 1; p >= 0; --p) {
            list.pushFront(&pairs[p]);
        }
    }
};

TEST(WorkerThreads, AssignmentClaimsEachDynamicBodyForOneWorker) {
    {
        AssignmentScene s;  // P Q R S = 0 1 2 3
        s.pairUp({{0, 1}, {2, 3}, {1, 2}});
        s.m->assignPairsToWorkers(s.list, 2);
        EXPECT_TRUE(listed(s.m->workerPairs[0], &s.pairs[0]));
        EXPECT_TRUE(listed(s.m->workerPairs[1], &s.pairs[1]));
        EXPECT_TRUE(listed(s.m->newPairs, &s.pairs[2]));
        EXPECT_EQ(s.bodies[3].getProcessedThreadID(), 1);
    }
    {
        AssignmentScene s;  // a chain stays with worker 0
        s.pairUp({{0, 1}, {1, 2}, {2, 3}});
        s.m->assignPairsToWorkers(s.list, 2);
        EXPECT_EQ(s.m->workerPairs[0].count, 3u);
        EXPECT_EQ(s.m->workerPairs[1].count + s.m->newPairs.count, 0u);
    }
    {
        AssignmentScene s;  // a static body is never claimed
        s.bodies[4].enableStatic();
        s.pairUp({{0, 4}, {1, 4}, {2, 4}});
        s.m->assignPairsToWorkers(s.list, 2);
        EXPECT_EQ(s.m->workerPairs[0].count, 2u);
        EXPECT_EQ(s.m->workerPairs[1].count, 1u);
        EXPECT_FALSE(s.bodies[4].isProcessed());
    }
    {
        AssignmentScene s;  // one waiting for its first hit is: it turns dynamic when resolved
        s.bodies[4].enableStatic();
        s.bodies[4].enableFirstHit();
        s.pairUp({{0, 4}, {1, 4}, {2, 4}});
        s.m->assignPairsToWorkers(s.list, 2);
        EXPECT_EQ(s.m->workerPairs[0].count, 3u);
        EXPECT_EQ(s.bodies[4].getProcessedThreadID(), 0);
    }
    {
        // A stale claim on a body outside the dynamic list is cleared before the
        // assignment, so its pair does not land with a worker that is not started.
        AssignmentScene s;
        s.m->threadCount = 3;
        s.bodies[0].enableProcessedThread(5);
        s.bodies[0].enableProcessed();
        s.pairUp({{0, 1}});
        BodyList none;
        s.m->resolveActivePairsThreaded(s.list, none, 2);
        EXPECT_EQ(s.m->workerPairs[5].count, 0u);
        EXPECT_TRUE(listed(s.m->workerPairs[0], &s.pairs[0]));
    }
}

TEST(WorkerThreads, SharesPoolsAndLaneStatuses) {
    Processors four(4);  // three workers
    auto m = std::make_unique<CollisionManager>();
    std::vector<SampleBody> bodies(100);
    const auto loose = [&](int n) {
        m->looseBodies.clear();
        for (int i = 0; i < n; ++i) {
            m->looseBodies.pushFront(&bodies[i]);
        }
    };
    loose(100);
    m->fillDetectionShares(3, 100);  // c = max(8, 200 / 20)
    EXPECT_EQ(m->bodyShares[0].count, 20u);
    EXPECT_EQ(m->bodyShares[1].count, 30u);
    EXPECT_EQ(m->bodyShares[2].count, 40u);
    EXPECT_EQ(m->looseBodies.count, 10u);
    EXPECT_EQ(*m->bodyShares[0].begin(), &bodies[80]);  // taken from the head, so reversed
    loose(10);
    m->fillDetectionShares(2, 10);  // c = 8
    EXPECT_EQ(m->bodyShares[0].count, 10u);
    EXPECT_EQ(m->bodyShares[1].count + m->looseBodies.count, 0u);

    for (int i = 0; i < 10; ++i) {
        m->pairPool.pushFront(new CollisionPair);
    }
    m->distributePairStore();
    for (int lane = 0; lane < 3; ++lane) {
        EXPECT_EQ(m->lanePairPools[lane].count, 2u);
    }
    EXPECT_EQ(m->pairPool.count, 4u);
    m->collectLanePairs();
    EXPECT_EQ(m->pairPool.count, 10u);
    EXPECT_EQ(m->lanePairPools[0].count + m->lanePairPools[1].count + m->lanePairPools[2].count, 0u);

    WorkerTable& table = *getWorkerTable();
    std::uint32_t counter = 0;
    const auto statuses = [&](std::uint32_t a, std::uint32_t b, std::uint32_t c) {
        table.records[0].laneWord = a;
        table.records[1].laneWord = b;
        table.records[2].laneWord = c;
    };
    statuses(0, 2, 1);
    EXPECT_EQ(m->mergeLaneHits(counter), 1);
    statuses(0, 2, 3);
    EXPECT_EQ(m->mergeLaneHits(counter), 2);
    auto* const hit = new CollisionPair;
    hit->bodyA = &bodies[0];
    hit->bodyB = &bodies[1];
    m->workerPairs[1].pushFront(hit);
    statuses(0, 0, 0);
    EXPECT_EQ(m->mergeLaneHitsStaged(1), 0);
    EXPECT_EQ(bodies[1].getContactStage(), 1);
    EXPECT_TRUE(bodies[0].isInContact());
    EXPECT_TRUE(listed(m->newPairs, hit));
    EXPECT_EQ(m->pairCount, 1u);
    EXPECT_EQ(m->workerPairs[1].count, 0u);
}

// ---- threaded scenes ----

// Boxes in a grid inside four walls on a floor, dropped and run for `cycles` host
// substeps; returns every box's final state.
std::vector<RBDynamics> runPile(int processors, unsigned threads, int boxes, int cycles) {
    Processors chosen(processors);
    PrivateWorld world;
    world.setThreadCount(threads);
    const QmtVector3 walls[5][2] = {{{0, 0, 0}, {0, 1, 0}},
                                    {{-3.5, 0, 0}, {1, 0, 0}},
                                    {{3.5, 0, 0}, {-1, 0, 0}},
                                    {{0, 0, -3.5}, {0, 0, 1}},
                                    {{0, 0, 3.5}, {0, 0, -1}}};
    for (const auto& [point, normal] : walls) {
        QmtVector3 n = normal;
        world.addBody(createBarrierBody(point, n), 0);
    }
    std::vector<HardBody*> pile;
    for (int i = 0; i < boxes; ++i) {
        // Layers pressed slightly into each other, rows just apart.
        const QmtVector3 centre{-2.04 + 1.02 * (i % 5), 0.5 + 0.995 * (i / 25), -2.04 + 1.02 * ((i / 5) % 5)};
        pile.push_back(coltest::hullBox(centre).release());
        world.addBody(pile.back(), 0);
    }
    std::uint32_t mostPairs = 0;
    for (int c = 0; c < cycles; ++c) {
        world.manageCollisions(1.0 / 150.0);
        mostPairs = std::max(mostPairs, world.collisionManager->activePairs.count);
        world.step(1.0 / 150.0, nullptr);
    }
    EXPECT_EQ(world.getThreadCount(), threads);
    EXPECT_GE(mostPairs, static_cast<std::uint32_t>(boxes));  // every box rests on something
    std::vector<RBDynamics> out;
    for (const HardBody* body : pile) {
        out.push_back(body->getDyn());
    }
    return out;
}

bool bitwiseEqual(const std::vector<RBDynamics>& a, const std::vector<RBDynamics>& b) {
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(RBDynamics)) == 0;
}

TEST(WorkerThreads, ThreadedPilesRepeatBitwiseAndStayAboveTheFloor) {
    for (const unsigned workers : {1u, 2u, 4u}) {
        const auto first = runPile(5, workers + 1, 200, 12);
        for (const RBDynamics& d : first) {
            EXPECT_GT(d.position.y, 0.0);
        }
        for (int again = 0; again < 2; ++again) {
            EXPECT_TRUE(bitwiseEqual(first, runPile(5, workers + 1, 200, 12))) << workers << " workers";
        }
    }
}

TEST(WorkerThreads, MoreLanesThanWorkersRunSerially) {
    // Four lanes asked for without any worker: the serial passes, bit for bit.
    EXPECT_TRUE(bitwiseEqual(runPile(1, 4, 50, 12), runPile(1, 1, 50, 12)));
    // A lane count of 0 is held at one lane too.
    EXPECT_TRUE(bitwiseEqual(runPile(3, 0, 50, 12), runPile(3, 1, 50, 12)));
}

TEST(WorkerThreads, PhantomsAmongThreadedBodiesRepeatBitwise) {
    // Phantoms take part in no pair but are still refreshed by every lane that tests
    // them; mixed into a pile the lanes share them.
    const auto run = [] {
        Processors chosen(5);
        PrivateWorld world;
        world.setThreadCount(4);
        QmtVector3 up{0, 1, 0};
        world.addBody(createBarrierBody({0, 0, 0}, up), 0);
        const auto shape = meshtest::makeMesh(meshtest::box({-0.5, -0.5, -0.5}, {0.5, 0.5, 0.5}));
        std::vector<HardBody*> bodies;
        for (int i = 0; i < 60; ++i) {
            const QmtVector3 centre{1.02 * (i % 6), 0.5 + 1.1 * (i / 6), 0.0};
            HardBody* body = nullptr;
            if (i % 2) {
                body = createPhantomBody(shape.get());
                body->init(centre, Qmt::QmtMatrix3::IDENTITY, coltest::UNIT_SCALE);
                body->setMass(1.0f);
            } else {
                body = coltest::hullBox(centre).release();
            }
            world.addBody(body, 0);
            bodies.push_back(body);
        }
        for (int c = 0; c < 6; ++c) {
            world.manageCollisions(1.0 / 150.0);
            world.step(1.0 / 150.0, nullptr);
        }
        std::vector<RBDynamics> out;
        for (const HardBody* body : bodies) {
            out.push_back(body->getDyn());
        }
        return out;
    };
    EXPECT_TRUE(bitwiseEqual(run(), run()));
}

// Boxes dropped tumbling, apart from each other, on a floor: every pair holds one box and
// the floor, so the order in which the lanes meet the pairs cannot matter, and a box
// must move the same on one lane as on four.
TEST(WorkerThreads, SeparatedBodiesMoveAlikeOnOneLaneAndOnFour) {
    const auto run = [](unsigned lanes) {
        Processors chosen(5);
        PrivateWorld world;
        world.setThreadCount(lanes);
        QmtVector3 up{0, 1, 0};
        world.addBody(createBarrierBody({0, 0, 0}, up), 0);
        std::mt19937 rng(3);
        std::uniform_real_distribution<double> u(-1.0, 1.0);
        std::vector<HardBody*> boxes;
        for (int i = 0; i < 12; ++i) {
            HardBody* const box = coltest::hullBox({3.0 * (i % 4), 0.9 + 0.2 * u(rng), 3.0 * (i / 4)}).release();
            Qmt::QmtMatrix3 turn;
            turn.FromAxisAngle(QmtVector3(u(rng), 1.0, u(rng)).UnitCross(QmtVector3(1.0, u(rng), 0.0)), 2.0 * u(rng));
            box->setRotationMatrix(turn);
            box->setLinearVelocity({u(rng), 0.0, u(rng)});
            box->setAngularVelocity({3.0 * u(rng), 3.0 * u(rng), 3.0 * u(rng)});
            world.addBody(box, 0);
            boxes.push_back(box);
        }
        for (int c = 0; c < 120; ++c) {
            world.manageCollisions(1.0 / 300.0);
            world.step(1.0 / 300.0, nullptr);
        }
        std::vector<RBDynamics> out;
        for (const HardBody* box : boxes) {
            EXPECT_GT(box->getDyn().position.y, 0.3);
            out.push_back(box->getDyn());
        }
        return out;
    };
    EXPECT_TRUE(bitwiseEqual(run(1), run(4)));
}

TEST(WorkerThreads, ThreadedDetectionWakesASleeperItHits) {
    Processors chosen(5);
    PrivateWorld world;
    world.setThreadCount(4);
    QmtVector3 up{0, 1, 0};
    world.addBody(createBarrierBody({0, 0, 0}, up), 0);
    HardBody* const sleeper = coltest::hullBox({0, 0.5, 0}).release();
    HardBody* const dropped = coltest::hullBox({0.2, 1.7, 0}).release();
    world.addBody(sleeper, 0);
    sleeper->deActivate();
    world.step(1.0 / 150.0, nullptr);
    ASSERT_TRUE(listContains(world.aReactivationBodies, sleeper));
    world.addBody(dropped, 0);
    for (int c = 0; c < 40 && !sleeper->isActive(); ++c) {
        world.manageCollisions(1.0 / 150.0);
        world.step(1.0 / 150.0, nullptr);
    }
    EXPECT_TRUE(sleeper->isActive());
    EXPECT_GT(dropped->getDyn().position.y, 1.0);  // it did not pass through
}

// The threaded detection and resolution give each lane count its own trajectory,
// recorded from the literal all-pairs detection; however the work is spread or
// skipped, and whether the lanes run on threads or one after another on the calling
// thread, a lane count keeps its trajectory to the last bit. The piles with many small
// fracture bodies share out extractions that lift fracture bodies whole.
TEST(WorkerThreads, ThreadedPilesKeepTheirRecordedHashes) {
    struct Recorded {
        unsigned lanes;
        bool groups;
        std::uint64_t hash;
        int fractureEvery = 0;
    };
    for (const Recorded& r : {Recorded{3, false, 0x51dfc85e064f4fedull}, Recorded{8, false, 0x296291e6eb17979bull},
                              Recorded{8, true, 0xb4d8b64ff0d9279cull}, Recorded{8, false, 0x21a5d4ff94c98761ull, 4},
                              Recorded{8, true, 0xe6a418cef1686911ull, 4}}) {
        for (const bool threads : {true, false}) {
            seededpile::Pile pile(150, 5, r.lanes, 9, r.groups, 20240601, r.fractureEvery);
            CollisionManager& m = *pile.world().collisionManager;
            m.detectionBodiesPerThread = m.resolutionPairsPerThread = m.extractionPairsPerThread =
                m.bodyPassBodiesPerThread = threads ? 0 : UINT32_MAX;
            pile.frames(60);
            EXPECT_EQ(pile.hash(), r.hash)
                << std::hex << r.lanes << " lanes, threads " << threads << ", groups " << r.groups << ", fracture every "
                << r.fractureEvery << ": 0x" << pile.hash();
        }
    }
}

}  // namespace
