// The collision cycle at work: world frames of colliding boxes (stack, pyramid, pile),
// one pair's impulse solve by contact count, one extraction, and the staged detection
// over many resting boxes.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "bench/benchSupport.h"
#include "engine/bodies/hullBody.h"
#include "engine/world/engineApi.h"
#include "engine/world/privateWorld.h"
#include "tests/allocationHooks.h"

namespace {

using Qmt::QmtVector3;

const double HOST_DT = (1.0 / 30.0) / 5.0;
constexpr double OVERLAP = 1e-4;  // how far a box is placed into the body below it

// A world with gravity (0, -10, 0) and boxes of mass 1 (the slab is static).
struct Scene {
    std::unique_ptr<PrivateWorld> world = std::make_unique<PrivateWorld>();

    explicit Scene(double gravity = -10.0) { world->SetGravity({0.0, gravity, 0.0}); }
    CollisionManager& manager() { return *world->collisionManager; }

    HullBody* box(const QmtVector3& c, const QmtVector3& h = {0.5, 0.5, 0.5}, bool isStatic = false) {
        benchdata::Points corners;
        for (int k = 0; k < 8; ++k) {
            corners.push_back({c.x + ((k & 1) ? h.x : -h.x), c.y + ((k & 2) ? h.y : -h.y), c.z + ((k & 4) ? h.z : -h.z)});
        }
        const auto mesh = benchdata::placedHull(corners);
        auto* const body = static_cast<HullBody*>(createHullBody(mesh.get()));
        body->init(c, Qmt::QmtMatrix3::IDENTITY, {1.0, 1.0, 1.0});
        body->setMass(1.0f);
        if (isStatic) {
            body->enableStatic();
        }
        world->addBody(body, 0);
        return body;
    }
    HullBody* slab() { return box({0.0, -0.5, 0.0}, {20.0, 0.5, 20.0}, true); }
    HullBody* boxOn(double base, double x = 0.0) { return box({x, base + 0.5 - OVERLAP, 0.0}); }
    void frame() {
        world->manageCollisions(HOST_DT);
        world->step(HOST_DT, nullptr);
    }
};

void moving(HardBody* body, const QmtVector3& v) {
    body->setLinearVelocity(v);
    body->getLastDyn().v = v;
}

// 0: a stack of 10; 1: a pyramid of 55 (rows of 10 down to 1); 2: a pile of 500
// (10 x 10 stacks of 5, a small gap between stacks).
void build(Scene& s, int kind) {
    s.slab();
    if (kind == 0) {
        for (int i = 0; i < 10; ++i) {
            s.boxOn(i * (1.0 - OVERLAP));
        }
    } else if (kind == 1) {
        for (int row = 0; row < 10; ++row) {
            for (int i = 0; i < 10 - row; ++i) {
                s.boxOn(row * (1.0 - OVERLAP), -4.5 + 0.5 * row + 1.001 * i);
            }
        }
    } else {
        for (int gx = 0; gx < 10; ++gx) {
            for (int gz = 0; gz < 10; ++gz) {
                for (int level = 0; level < 5; ++level) {
                    s.box({-4.5 + 1.05 * gx, level * (1.0 - OVERLAP) + 0.5 - OVERLAP, -4.5 + 1.05 * gz});
                }
            }
        }
    }
}

// One host substep ((1/30)/5 s: collision management and a step of two substeps) per
// iteration; ms per simulated second = 150 x the time per iteration.
void BM_HostFrame(benchmark::State& state) {
    Scene s;
    build(s, static_cast<int>(state.range(0)));
    for (int i = 0; i < 30; ++i) {
        s.frame();
    }
    const int before = zyltest::nothrowAllocations + zyltest::nothrowArrayAllocations;
    for (auto _ : state) {
        s.frame();
    }
    state.counters["allocs/frame"] = benchmark::Counter(
        static_cast<double>(zyltest::nothrowAllocations + zyltest::nothrowArrayAllocations - before) /
        static_cast<double>(state.iterations()));
    state.counters["pairs"] = s.manager().activePairs.count;
}
BENCHMARK(BM_HostFrame)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

// A world step of N colliding boxes at 1/300 s (stack 10, pyramid 55, pile 500).
void BM_Step300(benchmark::State& state) {
    Scene s;
    build(s, static_cast<int>(state.range(0)));
    const double dt = PrivateWorld::SUBSTEP;
    for (int i = 0; i < 60; ++i) {
        s.world->manageCollisions(dt);
        s.world->step(dt, nullptr);
    }
    for (auto _ : state) {
        s.world->manageCollisions(dt);
        s.world->step(dt, nullptr);
    }
    state.counters["bodies"] = s.world->aBodies.count;
}
BENCHMARK(BM_Step300)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

// A box falling flat on the slab with n contacts spread over its bottom face; or
// falling while it slides at 3 m/s on friction 0.5, which cannot stop it in one solve.
void resolvePair(benchmark::State& state, const QmtVector3& velocity, double friction) {
    Scene s(0.0);
    s.slab();
    HullBody* const box = s.boxOn(0.0);
    box->setFrictionCoeff(friction);
    s.world->enableDetectMode();
    s.world->manageCollisions(HOST_DT);
    CollisionPair* const pair = *s.manager().activePairs.begin();
    const auto n = static_cast<std::uint32_t>(state.range(0));
    const QmtVector3 centre = box->getDyn().position;
    std::vector<QmtVector3> points;
    const int side = n <= 4 ? 2 : (n <= 9 ? 3 : 5);
    for (std::uint32_t i = 0; i < n; ++i) {
        const double u = (static_cast<int>(i) % side) / static_cast<double>(side - 1) - 0.5;
        const double v = ((static_cast<int>(i) / side) % side) / static_cast<double>(side - 1) - 0.5;
        points.push_back({u * 0.98 + 0.001 * (i / (side * side)), -0.5, v * 0.98});
    }
    const auto reset = [&] {
        box->setPosition(centre);
        moving(box, velocity);
        box->setAngularVelocity(QmtVector3::ZERO);
        pair->state = 1;
        pair->contactCount = n;
        for (std::uint32_t i = 0; i < n; ++i) {
            pair->points[i] = points[i];
            pair->pointsB[i] = points[i] + centre - pair->bodyB->getDyn().position;
            pair->normals[i] = {0.0, 1.0, 0.0};
            pair->armsA[i] = points[i];
            pair->armsB[i] = pair->pointsB[i];
            pair->depths[i] = -OVERLAP;
        }
    };
    for (auto _ : state) {
        reset();
        benchmark::DoNotOptimize(s.manager().resolvePair(pair, 1, 0));
    }
    state.SetItemsProcessed(state.iterations());
}
void BM_ResolvePair(benchmark::State& state) { resolvePair(state, {0.0, -1.0, 0.0}, 0.0); }
BENCHMARK(BM_ResolvePair)->Arg(4)->Arg(8)->Arg(24);
void BM_ResolveSlidingPair(benchmark::State& state) { resolvePair(state, {3.0, -1.0, 0.0}, 0.5); }
BENCHMARK(BM_ResolveSlidingPair)->Arg(4)->Arg(8)->Arg(24);

void BM_ExtractPair(benchmark::State& state) {
    Scene s;
    s.slab();
    HullBody* const box = s.box({0.0, 0.4, 0.0});
    s.world->enableDetectMode();
    s.world->manageCollisions(HOST_DT);
    CollisionPair* const pair = *s.manager().activePairs.begin();
    box->setExtractionCoeff(1.0);
    for (auto _ : state) {
        box->setPosition({0.0, 0.4, 0.0});
        s.manager().extractPair(pair);
        benchmark::DoNotOptimize(box->getDyn().position.y);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ExtractPair);

// Staged detection over n boxes resting side by side on a wide slab.
void BM_DetectCollisions(benchmark::State& state) {
    Scene s;
    const auto n = static_cast<int>(state.range(0));
    const int row = 50;
    s.box({0.0, -0.5, 0.0}, {60.0, 0.5, 60.0}, true);
    for (int i = 0; i < n; ++i) {
        s.box({-55.0 + 1.1 * (i % row), 0.5 - OVERLAP, -55.0 + 1.1 * (i / row)});
    }
    CollisionManager& m = s.manager();
    PrivateWorld& w = *s.world;
    for (auto _ : state) {
        m.releasePairs();
        benchmark::DoNotOptimize(m.detectCollisions(w.aBodies.nodes(), w.aStaticBodies.nodes(),
                                                      w.aReactivationBodies.nodes(), w.aBarriers.nodes()));
    }
    state.counters["pairs"] = m.activePairs.count;
    state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_DetectCollisions)->Arg(100)->Arg(500)->Arg(1000)->Arg(2000)->Unit(benchmark::kMillisecond);

}  // namespace
