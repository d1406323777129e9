// Thousands of bodies: N unit-cube hull bodies (mass 1, friction 0.25, restitution 0)
// in a grid 1.2 m apart from y = 1, dropped onto a plane at y = 0 (friction 0.25) under
// gravity -9.81, in 1/300 s frames (manageCollisions, then step) for 2 simulated
// seconds. Reported: ms/frame, the heap the scene holds (MiB), and, when Bullet
// (libbullet-dev) was found at configure time, the same scene in Bullet run right
// after it (btDiscreteDynamicsWorld, btConvexHullShape of the 8 corners,
// btStaticPlaneShape, default friction and restitution, one thread) with the ratio
// of the two. Arguments: N and the lane count (setThreadCount on a world that sees 9
// processors).
//
// Run: build/bench/bench_pileDropBench  (add --benchmark_filter=/N:1000/ etc.). N = 10,000
// takes over a minute in each engine; --benchmark_filter=-/N:10000 leaves it out, and
// --benchmark_repetitions=3 repeats every run (the machine's load moves the figures).

#include <benchmark/benchmark.h>
#include <malloc.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <memory>
#include <vector>

#include "bench/physicsScenes.h"
#include "engine/world/privateWorld.h"

#ifdef ZYL_HAVE_BULLET
#include <btBulletDynamicsCommon.h>
#endif

namespace {

using namespace physicsscenes;

constexpr int FRAMES = 600;  // 2 s
constexpr double SPACING = 1.2;

// Grid position of cube i: layers of side x side, centres from y = 1.
QmtVector3 gridPoint(int i, int side) {
    const double start = -0.5 * SPACING * (side - 1);
    const int layer = i / (side * side);
    return {start + SPACING * (i % side), 1.0 + SPACING * layer, start + SPACING * ((i / side) % side)};
}

int gridSide(int n) { return static_cast<int>(std::ceil(std::cbrt(static_cast<double>(n)) - 1e-9)); }

double heapMiB() { return static_cast<double>(mallinfo2().uordblks) / (1024.0 * 1024.0); }

struct Measured {
    double msPerFrame = 0.0;
    double heap = 0.0;  // MiB held by the scene
};

Measured runZyl(int n, unsigned lanes) {
    const double heapBefore = heapMiB();
    Measured m;
    {
        World w(GRAVITY, 9);
        w.world->setThreadCount(lanes);
        HardBody* const ground = plane();
        ground->setFrictionCoeff(0.25);
        w.world->addBody(ground, 0);
        const int side = gridSide(n);
        for (int i = 0; i < n; ++i) {
            HardBody* const cube = box(gridPoint(i, side));
            cube->setFrictionCoeff(0.25);
            cube->setRestitutionCoeff(0.0);
            w.world->addBody(cube, 0);
        }
        m.heap = heapMiB() - heapBefore;
        const auto start = std::chrono::steady_clock::now();
        w.frames(FRAMES);
        const std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
        m.msPerFrame = took.count() / FRAMES;
    }
    return m;
}

#ifdef ZYL_HAVE_BULLET
Measured runBullet(int n) {
    const double heapBefore = heapMiB();
    Measured m;
    btDefaultCollisionConfiguration configuration;
    btCollisionDispatcher dispatcher(&configuration);
    btDbvtBroadphase broadphase;
    btSequentialImpulseConstraintSolver solver;
    btDiscreteDynamicsWorld world(&dispatcher, &broadphase, &solver, &configuration);
    world.setGravity(btVector3(0, static_cast<btScalar>(GRAVITY), 0));

    btStaticPlaneShape planeShape(btVector3(0, 1, 0), 0);
    btDefaultMotionState planeMotion;
    btRigidBody ground(btRigidBody::btRigidBodyConstructionInfo(0, &planeMotion, &planeShape));
    world.addRigidBody(&ground);

    btConvexHullShape cubeShape;
    for (int k = 0; k < 8; ++k) {
        cubeShape.addPoint(btVector3(k & 1 ? 0.5f : -0.5f, k & 2 ? 0.5f : -0.5f, k & 4 ? 0.5f : -0.5f), false);
    }
    cubeShape.recalcLocalAabb();
    btVector3 inertia;
    cubeShape.calculateLocalInertia(1, inertia);
    std::vector<std::unique_ptr<btDefaultMotionState>> motions;
    std::vector<std::unique_ptr<btRigidBody>> cubes;
    const int side = gridSide(n);
    for (int i = 0; i < n; ++i) {
        const QmtVector3 p = gridPoint(i, side);
        btTransform t;
        t.setIdentity();
        t.setOrigin(btVector3(static_cast<btScalar>(p.x), static_cast<btScalar>(p.y), static_cast<btScalar>(p.z)));
        motions.push_back(std::make_unique<btDefaultMotionState>(t));
        cubes.push_back(std::make_unique<btRigidBody>(
            btRigidBody::btRigidBodyConstructionInfo(1, motions.back().get(), &cubeShape, inertia)));
        world.addRigidBody(cubes.back().get());
    }
    m.heap = heapMiB() - heapBefore;
    const auto start = std::chrono::steady_clock::now();
    for (int f = 0; f < FRAMES; ++f) {
        world.stepSimulation(static_cast<btScalar>(FRAME), 0);
    }
    const std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
    m.msPerFrame = took.count() / FRAMES;
    for (auto& cube : cubes) {
        world.removeRigidBody(cube.get());
    }
    world.removeRigidBody(&ground);
    return m;
}
#endif

void BM_PileDrop(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    const auto lanes = static_cast<unsigned>(state.range(1));
    Measured zyl;
    for (auto _ : state) {
        zyl = runZyl(n, lanes);
    }
    state.counters["ms/frame"] = zyl.msPerFrame;
    state.counters["MiB"] = zyl.heap;
#ifdef ZYL_HAVE_BULLET
    if (lanes == 1) {
        const Measured bullet = runBullet(n);
        state.counters["bullet ms/frame"] = bullet.msPerFrame;
        state.counters["bullet MiB"] = bullet.heap;
        state.counters["ratio"] = zyl.msPerFrame / bullet.msPerFrame;
    }
#else
    static bool told = false;
    if (!told) {
        std::fprintf(stderr, "Bullet (libbullet-dev) not found at configure time: no comparison.\n");
        told = true;
    }
#endif
}
BENCHMARK(BM_PileDrop)
    ->ArgNames({"N", "lanes"})
    ->Args({125, 1})
    ->Args({1000, 1})
    ->Args({3375, 1})
    ->Args({10000, 1})
    ->Args({125, 8})
    ->Args({1000, 8})
    ->Args({3375, 8})
    ->Iterations(1)
    ->Unit(benchmark::kSecond)
    ->UseRealTime();

}  // namespace
