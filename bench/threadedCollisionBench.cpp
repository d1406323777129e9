// Threaded detection and resolution: one collision-management pass (detection and the
// resolution after it) and one world step (two substep resolutions) on piles of hull
// boxes for 1, 2, 4 and 8 lanes; the start-and-join cost of one resolution phase; and
// pair resolutions per second on a stack of 10 boxes with contact groups on and off.
#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

#include "engine/collision/workerTable.h"
#include "engine/threads/processorCount.h"
#include "engine/world/engineApi.h"
#include "engine/world/privateWorld.h"

namespace {

using Qmt::QmtMatrix3;
using Qmt::QmtVector3;

constexpr double DT = 1.0 / 150.0;

// A hull box of side 1 around the centre, of mass 1.
HardBody* hullBox(const QmtVector3& centre) {
    ZYLmesh mesh;
    QmtVector3 corners[8];
    for (int i = 0; i < 8; ++i) {
        corners[i] = centre + QmtVector3(i & 1 ? 0.5 : -0.5, i & 2 ? 0.5 : -0.5, i & 4 ? 0.5 : -0.5);
    }
    mesh.numVertices = 8;
    mesh.vertices = corners;
    HardBody* const body = createHullBody(&mesh);
    mesh.vertices = nullptr;
    mesh.numVertices = 0;
    body->init(centre, QmtMatrix3::IDENTITY, QmtVector3(1.0, 1.0, 1.0));
    body->setMass(1.0f);
    return body;
}

// A world of 9 processors (8 workers) using `lanes` lanes, with a pile of `boxes`
// boxes in layers of `side` x `side`, pressed slightly into each other, inside walls
// on a floor.
std::unique_ptr<PrivateWorld> pileWorld(unsigned lanes, int boxes, int side, bool groups = false) {
    setProcessorCountOverride(9);
    auto world = std::make_unique<PrivateWorld>();
    setProcessorCountOverride(0);
    world->setThreadCount(lanes);
    world->collisionManager->contactGroupsEnabled = groups;
    const double wall = 0.51 * side + 0.5;
    const QmtVector3 planes[5][2] = {{{0, 0, 0}, {0, 1, 0}},
                                     {{-wall, 0, 0}, {1, 0, 0}},
                                     {{wall, 0, 0}, {-1, 0, 0}},
                                     {{0, 0, -wall}, {0, 0, 1}},
                                     {{0, 0, wall}, {0, 0, -1}}};
    for (const auto& [point, normal] : planes) {
        QmtVector3 n = normal;
        world->addBody(createBarrierBody(point, n), 0);
    }
    const double start = -0.51 * (side - 1);
    for (int i = 0; i < boxes; ++i) {
        const int layer = i / (side * side);
        const int row = (i / side) % side;
        world->addBody(hullBox({start + 1.02 * (i % side), 0.5 + 0.995 * layer, start + 1.02 * row}), 0);
    }
    // Settle into contact first, so the measured passes find a full pile.
    for (int c = 0; c < 5; ++c) {
        world->manageCollisions(DT);
        world->step(DT, nullptr);
    }
    return world;
}

void BM_ManageCollisions(benchmark::State& state) {
    const auto lanes = static_cast<unsigned>(state.range(0));
    const int boxes = static_cast<int>(state.range(1));
    auto world = pileWorld(lanes, boxes, boxes >= 2000 ? 10 : 8);
    for (auto _ : state) {
        world->manageCollisions(DT);
        state.PauseTiming();
        world->step(DT, nullptr);
        state.ResumeTiming();
    }
    state.counters["pairs"] = world->collisionManager->activePairs.count;
}
BENCHMARK(BM_ManageCollisions)
    ->ArgsProduct({{1, 2, 4, 8}, {500, 2000}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

void BM_StepResolution(benchmark::State& state) {
    const auto lanes = static_cast<unsigned>(state.range(0));
    const int boxes = static_cast<int>(state.range(1));
    auto world = pileWorld(lanes, boxes, boxes >= 2000 ? 10 : 8);
    for (auto _ : state) {
        state.PauseTiming();
        world->manageCollisions(DT);
        state.ResumeTiming();
        world->step(DT, nullptr);
    }
}
BENCHMARK(BM_StepResolution)
    ->ArgsProduct({{1, 2, 4, 8}, {500, 2000}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// One resolution phase whose lanes have nothing to do: the cost of starting and
// joining the workers.
void BM_PhaseStartAndJoin(benchmark::State& state) {
    const int workers = static_cast<int>(state.range(0));
    setProcessorCountOverride(workers + 1);
    auto m = std::make_unique<CollisionManager>();
    setProcessorCountOverride(0);
    m->threadCount = static_cast<std::uint32_t>(workers + 1);
    std::vector<std::unique_ptr<HardBody>> bodies;
    std::vector<std::unique_ptr<CollisionPair>> pairs;
    PairList list;
    for (int i = 0; i < workers; ++i) {
        bodies.emplace_back(hullBox({3.0 * i, 0.0, 0.0}));
        bodies.emplace_back(hullBox({3.0 * i, 5.0, 0.0}));
        bodies[2 * i]->deActivate();
        bodies[2 * i + 1]->deActivate();
        pairs.push_back(std::make_unique<CollisionPair>());
        pairs.back()->bodyA = bodies[2 * i].get();
        pairs.back()->bodyB = bodies[2 * i + 1].get();
    }
    for (auto it = pairs.rbegin(); it != pairs.rend(); ++it) {
        list.pushFront(it->get());
    }
    BodyList none;
    for (auto _ : state) {
        m->resolveActivePairsThreaded(list, none, 2);
    }
    m->newPairs.clear();
    for (PairList& l : m->workerPairs) {
        l.clear();
    }
}
BENCHMARK(BM_PhaseStartAndJoin)->Arg(1)->Arg(3)->Arg(7)->Unit(benchmark::kMicrosecond)->UseRealTime();

// Collision management of a stack of 10 boxes (detection and the resolution after it,
// where contact groups join the pair solves) with contact groups on and off: pairs
// resolved per second.
void BM_StackResolution(benchmark::State& state) {
    const bool groups = state.range(0) != 0;
    auto world = pileWorld(1, 10, 1, groups);
    std::uint64_t resolved = 0;
    for (auto _ : state) {
        state.PauseTiming();
        world->step(DT, nullptr);
        state.ResumeTiming();
        world->manageCollisions(DT);
        resolved += world->collisionManager->activePairs.count;
    }
    state.counters["pairs/s"] = benchmark::Counter(static_cast<double>(resolved), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_StackResolution)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

}  // namespace
