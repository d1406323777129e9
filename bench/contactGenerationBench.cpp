// Contact generation per pair kind, as a detection test runs it on a pair: reset,
// overlap test, contacts, manifold. Hull on a barrier, hull on hull (resting boxes)
// and capsule on a barrier; and one collision-report update over 1,000 active pairs.
#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

#include "engine/bodies/barrierBody.h"
#include "engine/bodies/capsuleBody.h"
#include "engine/bodies/hullBody.h"
#include "engine/collision/collisionManager.h"
#include "engine/world/engineApi.h"
#include "geometry/mesh/meshRecords.h"
#include "math/qmtMatrix3.h"
#include "math/qmtVector3.h"

namespace {

using Qmt::QmtMatrix3;
using Qmt::QmtVector3;

// A vertex-only mesh of the box's eight corners; the creators fit their shapes to it.
std::unique_ptr<ZYLmesh> boxCorners(const QmtVector3& lo, const QmtVector3& hi) {
    auto mesh = std::make_unique<ZYLmesh>();
    mesh->numVertices = 8;
    mesh->vertices = new QmtVector3[8];
    for (int i = 0; i < 8; ++i) {
        mesh->vertices[i] = QmtVector3(i & 1 ? hi.x : lo.x, i & 2 ? hi.y : lo.y, i & 4 ? hi.z : lo.z);
    }
    return mesh;
}

template <class Body>
std::unique_ptr<Body> placed(HardBody* (*create)(const ZYLmesh*), const QmtVector3& lo, const QmtVector3& hi) {
    const auto mesh = boxCorners(lo, hi);
    std::unique_ptr<Body> body(static_cast<Body*>(create(mesh.get())));
    body->init((lo + hi) / 2.0, QmtMatrix3::IDENTITY, QmtVector3(1.0, 1.0, 1.0));
    body->setMass(1.0f);
    body->setLinearVelocity({0.3, -1.0, 0.1});
    return body;
}

std::unique_ptr<BarrierBody> floorPlane() {
    QmtVector3 normal = QmtVector3::UNIT_Y;
    return std::unique_ptr<BarrierBody>(static_cast<BarrierBody*>(createBarrierBody({}, normal)));
}

void testPair(benchmark::State& state, HardBody* a, HardBody* b) {
    const auto owned = std::make_unique<CollisionManager>();
    CollisionManager& manager = *owned;
    CollisionPair pair;
    for (auto _ : state) {
        pair.resetForDetection(a, b);
        if (manager.overlapTestByKind(a, b, &pair, 0) && manager.generatePairContacts(a, b, &pair, 0)) {
            CollisionManager::buildManifold(&pair);
        }
        benchmark::DoNotOptimize(pair.contactCount);
    }
    if (pair.state != 1) {
        state.SkipWithError("the pair found no contact");
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_HullOnBarrier(benchmark::State& state) {
    const auto floor = floorPlane();
    const auto box = placed<HullBody>(createHullBody, {-0.4, -0.01, -0.3}, {0.6, 0.99, 0.7});
    testPair(state, box.get(), floor.get());
}
BENCHMARK(BM_HullOnBarrier);

void BM_HullOnHullResting(benchmark::State& state) {
    const auto bottom = placed<HullBody>(createHullBody, {-0.5, 0.0, -0.5}, {0.5, 1.0, 0.5});
    const auto top = placed<HullBody>(createHullBody, {-0.4, 0.99, -0.3}, {0.6, 1.99, 0.7});
    testPair(state, top.get(), bottom.get());
}
BENCHMARK(BM_HullOnHullResting);

void BM_CapsuleOnBarrier(benchmark::State& state) {
    const auto floor = floorPlane();
    const auto rod = placed<CapsuleBody>(createCapsuleBody, {-1.0, -0.05, -0.2}, {1.0, 0.35, 0.2});
    testPair(state, rod.get(), floor.get());
}
BENCHMARK(BM_CapsuleOnBarrier);

// One report update over 1,000 active pairs of distinct bodies, all already reported
// (every frame after the first): each pair finds and overwrites its record.
void BM_ReportUpdate1000(benchmark::State& state) {
    constexpr int PAIRS = 1000;
    const auto owned = std::make_unique<CollisionManager>();
    CollisionManager& manager = *owned;
    manager.clear();
    std::vector<std::unique_ptr<HardBody>> bodies;
    for (int i = 0; i <= PAIRS; ++i) {
        bodies.emplace_back(createPhantomBody(nullptr));
    }
    for (int i = 0; i < PAIRS; ++i) {
        CollisionPair* pair = manager.takePairRecord(0);
        pair->bodyA = bodies[i].get();
        pair->bodyB = bodies[i + 1].get();
        pair->contactCount = 4;
        manager.activePairs.pushFront(pair);
    }
    manager.updateCollisionReport();
    for (auto _ : state) {
        manager.updateCollisionReport();
        benchmark::DoNotOptimize(manager.collisionReport.count);
    }
    state.SetItemsProcessed(state.iterations() * PAIRS);
}
BENCHMARK(BM_ReportUpdate1000);

}  // namespace
