// Contact queries of the convex proximity solver: a box resting on a plane, a box
// resting on a box, random overlapping boxes, 64-vertex hulls, a capsule lying on a
// hull, and the capsule-box overlap test; each from a fresh cache (a pair's first
// frame, which runs the overlap test first) and from the cache the previous call
// left (every later frame). "allocs" counts heap allocations per call.
#include <benchmark/benchmark.h>

#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <new>
#include <random>
#include <vector>

#include "bench/benchSupport.h"
#include "engine/collision/convex/pkJump.h"
#include "geometry/bounds/boundingVolumes.h"
#include "geometry/mesh/bvMesh.h"
#include "geometry/mesh/meshPlacement.h"
#include "math/qmtMatrix3.h"
#include "math/qmtVector3.h"

namespace {

std::atomic<std::uint64_t> allocations{0};

}  // namespace

// The counting allocator: malloc and free behind every form of new and delete. The
// compiler cannot see that they pair up, hence the pragma.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(std::size_t size) {
    allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size ? size : 1)) {
        return p;
    }
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return operator new(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    allocations.fetch_add(1, std::memory_order_relaxed);
    return std::malloc(size ? size : 1);
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept { return operator new(size, tag); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
#pragma GCC diagnostic pop

namespace {

using Qmt::QmtMatrix3;
using Qmt::QmtVector3;

struct Hull {
    std::unique_ptr<ZYLmesh> mesh = std::make_unique<ZYLmesh>();
    BVmesh volume;
};

constexpr std::uint32_t LINKS = BVMESH_EDGES | BVMESH_VERTICES;

QmtMatrix3 rotationAbout(QmtVector3 a, double angle) {
    a.Unitize(QmtMatrix3::EPSILON);
    const double c = std::cos(angle), s = std::sin(angle), t = 1.0 - c;
    return QmtMatrix3(t * a.x * a.x + c, t * a.x * a.y - s * a.z, t * a.x * a.z + s * a.y,
                      t * a.x * a.y + s * a.z, t * a.y * a.y + c, t * a.y * a.z - s * a.x,
                      t * a.x * a.z - s * a.y, t * a.y * a.z + s * a.x, t * a.z * a.z + c);
}

std::unique_ptr<Hull> boxHull(const QmtVector3& c, const QmtVector3& half, const QmtMatrix3& axes) {
    auto hull = std::make_unique<Hull>();
    buildBoxMesh(ZYLbox{c, axes, half}, hull->mesh.get());
    hull->volume.init(hull->mesh.get(), LINKS);
    return hull;
}

std::unique_ptr<Hull> sphereHull(std::uint32_t n, const QmtVector3& T) {
    auto hull = std::make_unique<Hull>();
    hull->mesh = benchdata::placedHull(benchdata::spherePoints(n), T);
    if (hull->mesh) {
        hull->volume.init(hull->mesh.get(), LINKS);
    }
    return hull;
}

struct Outputs {
    QmtVector3 points[PK_MAX_CONTACTS], normals[PK_MAX_CONTACTS];
    double values[PK_MAX_CONTACTS];
    std::uint32_t count = 0, idA = 0, idB = 0;
};

// Runs query(cache) per iteration, resetting the cache when cold; reports contacts
// and allocations per call.
template <class Query>
void run(benchmark::State& state, Query query) {
    const bool warm = state.range(0) != 0;
    ProximityCache cache;
    std::uint64_t hits = 0;
    const std::uint64_t before = allocations.load(std::memory_order_relaxed);
    for (auto _ : state) {
        if (!warm) {
            cache = ProximityCache{};
        }
        hits += query(cache) ? 1 : 0;
        benchmark::DoNotOptimize(cache);
    }
    const double calls = static_cast<double>(state.iterations());
    state.counters["hit"] = static_cast<double>(hits) / calls;
    state.counters["allocs"] = static_cast<double>(allocations.load(std::memory_order_relaxed) - before) / calls;
}

void BM_ContactHullPlane(benchmark::State& state) {
    const auto box = boxHull({0.0, 0.0, 0.99}, {1.0, 1.0, 1.0}, QmtMatrix3::IDENTITY);
    const Pk_jump solver;
    Outputs o;
    run(state, [&](ProximityCache& c) {
        return solver.contactHullPlane(box->volume, {0.0, 0.0, 0.0}, {0.0, 0.0, 1.0}, c, o.points, o.normals,
                                       o.count, o.values, o.idA);
    });
}
BENCHMARK(BM_ContactHullPlane)->ArgName("warm")->Arg(0)->Arg(1);

void BM_ContactHullHullResting(benchmark::State& state) {
    const auto a = boxHull({0.0, 0.0, 0.0}, {1.0, 1.0, 1.0}, QmtMatrix3::IDENTITY);
    const auto b = boxHull({0.2, 0.1, 1.99}, {1.0, 1.0, 1.0}, rotationAbout({0, 0, 1}, 0.3));
    const Pk_jump solver;
    Outputs o;
    run(state, [&](ProximityCache& c) {
        return solver.contactHullHull(a->volume, b->volume, c, o.points, o.normals, o.count, o.values, o.idA, o.idB);
    });
}
BENCHMARK(BM_ContactHullHullResting)->ArgName("warm")->Arg(0)->Arg(1);

// 64 random overlapping box pairs per iteration, each from a fresh cache.
void BM_ContactHullHullRandomBoxes(benchmark::State& state) {
    std::mt19937 rng(5);
    std::uniform_real_distribution<double> u(-1.0, 1.0), h(0.3, 1.0);
    std::vector<std::unique_ptr<Hull>> hulls;
    for (int i = 0; i < 128; ++i) {
        const QmtVector3 T = i % 2 == 0 ? QmtVector3{} : QmtVector3{0.8 * u(rng), 0.8 * u(rng), 0.8 * u(rng)};
        hulls.push_back(boxHull(T, {h(rng), h(rng), h(rng)}, rotationAbout({u(rng), u(rng), u(rng) + 2.0}, 3.0 * u(rng))));
    }
    const Pk_jump solver;
    Outputs o;
    const std::uint64_t before = allocations.load(std::memory_order_relaxed);
    for (auto _ : state) {
        for (int k = 0; k < 64; ++k) {
            ProximityCache c;
            benchmark::DoNotOptimize(solver.contactHullHull(hulls[2 * k]->volume, hulls[2 * k + 1]->volume, c,
                                                            o.points, o.normals, o.count, o.values, o.idA, o.idB));
        }
    }
    state.SetItemsProcessed(state.iterations() * 64);
    state.counters["allocs"] = static_cast<double>(allocations.load(std::memory_order_relaxed) - before) /
                               static_cast<double>(state.iterations() * 64);
}
BENCHMARK(BM_ContactHullHullRandomBoxes);

void BM_ContactHullHull64(benchmark::State& state) {
    const auto a = sphereHull(64, {0.0, 0.0, 0.0});
    const auto b = sphereHull(64, {0.3, 1.7, 0.2});
    if (!a->mesh || !b->mesh) {
        state.SkipWithError("hull build failed");
        return;
    }
    const Pk_jump solver;
    Outputs o;
    run(state, [&](ProximityCache& c) {
        return solver.contactHullHull(a->volume, b->volume, c, o.points, o.normals, o.count, o.values, o.idA, o.idB);
    });
}
BENCHMARK(BM_ContactHullHull64)->ArgName("warm")->Arg(0)->Arg(1);

void BM_ContactHullCapsule(benchmark::State& state) {
    const auto box = boxHull({0.0, 0.0, 0.0}, {1.0, 1.0, 1.0}, QmtMatrix3::IDENTITY);
    QmtVector3 axis(1.0, 0.3, 0.0);
    axis.Unitize(QmtMatrix3::EPSILON);
    const ZYLcapsule capsule{{0.2, 0.0, 1.45}, axis, 1.0, 0.5};
    const Pk_jump solver;
    Outputs o;
    run(state, [&](ProximityCache& c) {
        return solver.contactHullCapsule(box->volume, capsule, c, o.points, o.normals, o.count, o.values, o.idA);
    });
}
BENCHMARK(BM_ContactHullCapsule)->ArgName("warm")->Arg(0)->Arg(1);

void BM_TestCapsuleBox(benchmark::State& state) {
    ZYLbox record{{0.0, 0.0, 0.0}, rotationAbout({1, 1, 1}, 0.5), {1.0, 0.5, 0.25}};
    const BVbox box(&record);
    QmtVector3 axis(0.2, 1.0, 0.3);
    axis.Unitize(QmtMatrix3::EPSILON);
    const ZYLcapsule capsule{{0.9, 0.6, 0.1}, axis, 1.0, 0.3};
    const Pk_jump solver;
    run(state, [&](ProximityCache& c) { return solver.testCapsuleBox(box, capsule, c) != 0; });
}
BENCHMARK(BM_TestCapsuleBox)->ArgName("warm")->Arg(0)->Arg(1);

}  // namespace
