// Thousands of bodies: N unit-cube hull bodies (mass 1, friction 0.25, restitution 0)
// in a grid 1.2 m apart from y = 1, dropped onto a plane at y = 0 (friction 0.25) under
// gravity -9.81, in 1/300 s frames (manageCollisions, then step) for 2 simulated
// seconds. Reported: ms/frame, the heap the scene holds (MiB), and, when Bullet
// (libbullet-dev) was found at configure time, the same scene in Bullet
// (btDiscreteDynamicsWorld, btConvexHullShape of the 8 corners, btStaticPlaneShape,
// default friction and restitution, one thread) with the ratio of the two. The two run
// side by side, 60 frames of one then 60 of the other, so a change in the machine's
// load falls on both alike. Arguments: N and the lane count (setThreadCount on a world
// that sees 9 processors); Bullet runs beside the one-lane rows only.
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
constexpr int CHUNK = 60;    // frames of one engine before the other's turn
constexpr double SPACING = 1.2;

// Grid position of cube i: layers of side x side, centres from y = 1.
QmtVector3 gridPoint(int i, int side) {
    const double start = -0.5 * SPACING * (side - 1);
    const int layer = i / (side * side);
    return {start + SPACING * (i % side), 1.0 + SPACING * layer, start + SPACING * ((i / side) % side)};
}

int gridSide(int n) { return static_cast<int>(std::ceil(std::cbrt(static_cast<double>(n)) - 1e-9)); }

double heapMiB() { return static_cast<double>(mallinfo2().uordblks) / (1024.0 * 1024.0); }

// Milliseconds that `run` takes.
template <class Run>
double timed(Run&& run) {
    const auto start = std::chrono::steady_clock::now();
    run();
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

class ZylPile {
public:
    ZylPile(int n, unsigned lanes) : world_(GRAVITY, 9) {
        world_.world->setThreadCount(lanes);
        HardBody* const ground = plane();
        ground->setFrictionCoeff(0.25);
        world_.world->addBody(ground, 0);
        const int side = gridSide(n);
        for (int i = 0; i < n; ++i) {
            HardBody* const cube = box(gridPoint(i, side));
            cube->setFrictionCoeff(0.25);
            cube->setRestitutionCoeff(0.0);
            world_.world->addBody(cube, 0);
        }
    }
    void frames(int n) { world_.frames(n); }

private:
    World world_;
};

#ifdef ZYL_HAVE_BULLET
class BulletPile {
public:
    explicit BulletPile(int n)
        : dispatcher_(&configuration_), world_(&dispatcher_, &broadphase_, &solver_, &configuration_),
          planeShape_(btVector3(0, 1, 0), 0),
          ground_(btRigidBody::btRigidBodyConstructionInfo(0, &planeMotion_, &planeShape_)) {
        world_.setGravity(btVector3(0, static_cast<btScalar>(GRAVITY), 0));
        world_.addRigidBody(&ground_);
        for (int k = 0; k < 8; ++k) {
            cubeShape_.addPoint(btVector3(k & 1 ? 0.5f : -0.5f, k & 2 ? 0.5f : -0.5f, k & 4 ? 0.5f : -0.5f), false);
        }
        cubeShape_.recalcLocalAabb();
        btVector3 inertia;
        cubeShape_.calculateLocalInertia(1, inertia);
        const int side = gridSide(n);
        for (int i = 0; i < n; ++i) {
            const QmtVector3 p = gridPoint(i, side);
            btTransform t;
            t.setIdentity();
            t.setOrigin(btVector3(static_cast<btScalar>(p.x), static_cast<btScalar>(p.y), static_cast<btScalar>(p.z)));
            motions_.push_back(std::make_unique<btDefaultMotionState>(t));
            cubes_.push_back(std::make_unique<btRigidBody>(
                btRigidBody::btRigidBodyConstructionInfo(1, motions_.back().get(), &cubeShape_, inertia)));
            world_.addRigidBody(cubes_.back().get());
        }
    }
    ~BulletPile() {
        for (auto& cube : cubes_) {
            world_.removeRigidBody(cube.get());
        }
        world_.removeRigidBody(&ground_);
    }
    BulletPile(const BulletPile&) = delete;
    BulletPile& operator=(const BulletPile&) = delete;

    void frames(int n) {
        for (int f = 0; f < n; ++f) {
            world_.stepSimulation(static_cast<btScalar>(FRAME), 0);
        }
    }

private:
    btDefaultCollisionConfiguration configuration_;
    btCollisionDispatcher dispatcher_;
    btDbvtBroadphase broadphase_;
    btSequentialImpulseConstraintSolver solver_;
    btDiscreteDynamicsWorld world_;
    btStaticPlaneShape planeShape_;
    btDefaultMotionState planeMotion_;
    btRigidBody ground_;
    btConvexHullShape cubeShape_;
    std::vector<std::unique_ptr<btDefaultMotionState>> motions_;
    std::vector<std::unique_ptr<btRigidBody>> cubes_;
};
#endif

void BM_PileDrop(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    const auto lanes = static_cast<unsigned>(state.range(1));
    for (auto _ : state) {
        // The heap each scene holds once built, its world included.
        double heap = heapMiB();
        ZylPile zyl(n, lanes);
        state.counters["MiB"] = heapMiB() - heap;
        double zylMs = 0.0;
#ifdef ZYL_HAVE_BULLET
        if (lanes == 1) {
            heap = heapMiB();
            BulletPile bullet(n);
            state.counters["bullet MiB"] = heapMiB() - heap;
            double bulletMs = 0.0;
            for (int done = 0; done < FRAMES; done += CHUNK) {
                zylMs += timed([&] { zyl.frames(CHUNK); });
                bulletMs += timed([&] { bullet.frames(CHUNK); });
            }
            state.counters["bullet ms/frame"] = bulletMs / FRAMES;
            state.counters["ratio"] = zylMs / bulletMs;
        } else {
            zylMs = timed([&] { zyl.frames(FRAMES); });
        }
#else
        zylMs = timed([&] { zyl.frames(FRAMES); });
        static bool told = false;
        if (!told) {
            std::fprintf(stderr, "Bullet (libbullet-dev) not found at configure time: no comparison.\n");
            told = true;
        }
#endif
        state.counters["ms/frame"] = zylMs / FRAMES;
    }
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
