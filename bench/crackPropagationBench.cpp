// Fracture work of an impact: the lane walk over joint grids, the stress solves it
// makes per joint, the split of a grid into its connected parts, and joint building by
// contact.

#include <benchmark/benchmark.h>

#include <cfloat>
#include <memory>
#include <vector>

#include "engine/collision/collisionManager.h"
#include "engine/collision/collisionPair.h"
#include "engine/fracture/dynamicStress.h"
#include "engine/fracture/fractureBody.h"
#include "bench/benchSupport.h"
#include "engine/bodies/hullBody.h"
#include "engine/world/engineApi.h"
#include "tests/engine/bodies/sampleBody.h"

namespace {

using Qmt::QmtVector3;
using zyltest::SampleBody;

// An n x n plane of unit cubes joined to their right and lower neighbours; strong
// joints, so a walk reaches every cube and breaks nothing.
struct Grid {
    std::unique_ptr<CollisionManager> manager = std::make_unique<CollisionManager>();
    std::vector<std::unique_ptr<SampleBody>> cubes;
    std::vector<std::unique_ptr<DynamicStress>> joints;
    FractureBody body;

    explicit Grid(int n) {
        for (int i = 0; i < n; ++i) {
            for (int j = 0; j < n; ++j) {
                auto c = std::make_unique<SampleBody>(HB_HULL);
                c->moments = QmtVector3(1.0, 1.0, 1.0) * (1.0 / 6.0);
                zyltest::place(*c, {static_cast<double>(i), static_cast<double>(j), 0.0});
                c->setMass(1.0f);
                c->activate();
                cubes.push_back(std::move(c));
            }
        }
        const auto at = [&](int i, int j) { return cubes[static_cast<std::size_t>(i * n + j)].get(); };
        for (int i = 0; i < n; ++i) {
            for (int j = 0; j < n; ++j) {
                if (i + 1 < n) {
                    join(at(i, j), at(i + 1, j));
                }
                if (j + 1 < n) {
                    join(at(i, j), at(i, j + 1));
                }
            }
        }
        body.setUp();
        body.storeInitialState(1);
    }
    void join(SampleBody* a, SampleBody* b) {
        auto joint = std::make_unique<DynamicStress>();
        joint->attach((a->getDyn().position + b->getDyn().position) * 0.5, 1, a, b);
        joint->setIndex(static_cast<unsigned>(joints.size()));
        joint->enableBreakableByForce();
        joint->set_break_tolerance(1e6);
        body.addJoint(joint.get());
        joints.push_back(std::move(joint));
    }
};

// A unit hull box of mass 1 placed at c.
std::unique_ptr<HullBody> hullBox(const QmtVector3& c) {
    benchdata::Points corners;
    for (int k = 0; k < 8; ++k) {
        corners.push_back({c.x + ((k & 1) ? 0.5 : -0.5), c.y + ((k & 2) ? 0.5 : -0.5), c.z + ((k & 4) ? 0.5 : -0.5)});
    }
    const auto mesh = benchdata::placedHull(corners);
    std::unique_ptr<HullBody> body(static_cast<HullBody*>(createHullBody(mesh.get())));
    body->init(c, Qmt::QmtMatrix3::IDENTITY, {1.0, 1.0, 1.0});
    body->setMass(1.0f);
    body->updateWorldState();
    return body;
}

int sideFor(int joints) {
    int n = 2;
    while (2 * n * (n - 1) < joints) {
        ++n;
    }
    return n;
}

void BM_LaneWalk(benchmark::State& state) {
    Grid grid(sideFor(static_cast<int>(state.range(0))));
    grid.body.setMaxCracks(1 << 30);
    SampleBody* struck = grid.cubes.front().get();
    for (auto _ : state) {
        grid.body.beginCrackThread(0);
        struck->laneDyn[0].v = QmtVector3(0.0, 0.0, 1.0);
        grid.body.propagateStressThread(struck, false, 0, FLT_MAX);
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(grid.joints.size()));
    state.counters["joints"] = static_cast<double>(grid.joints.size());
}
BENCHMARK(BM_LaneWalk)->Arg(64)->Arg(512)->Arg(4096);

void BM_StressSolve(benchmark::State& state) {
    Grid grid(2);
    DynamicStress* joint = grid.joints.front().get();
    if (state.range(0) == 6) {
        joint->enableTorsion();
    }
    SampleBody* c = static_cast<SampleBody*>(joint->getCNode());
    grid.body.beginCrackThread(0);
    c->laneDyn[0].v = QmtVector3(0.0, 0.3, 1.0);
    c->laneDyn[0].w = QmtVector3(0.5, 0.0, 0.2);
    for (auto _ : state) {
        benchmark::DoNotOptimize(joint->computeStressImpulse(c, 0));
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_StressSolve)->Arg(3)->Arg(6);

// One broken joint on the grid's edge: the graph stays connected, so the split
// collects one group of every other joint. Timed with the reset that restores the grid.
void BM_SplitAndReset(benchmark::State& state) {
    Grid grid(sideFor(static_cast<int>(state.range(0))));
    DynamicStress* edge = grid.joints.front().get();
    for (auto _ : state) {
        edge->deActivate();
        grid.body.removeDeactivatedJointsFromActiveList();
        grid.body.split();
        grid.body.applyInitialState();
    }
    state.counters["joints"] = static_cast<double>(grid.joints.size());
}
BENCHMARK(BM_SplitAndReset)->Arg(64)->Arg(512)->Unit(benchmark::kMicrosecond);

void BM_BuildJointsByContact(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    std::vector<std::unique_ptr<HullBody>> boxes;
    for (int i = 0; i < n; ++i) {
        for (int j = 0; j < n; ++j) {
            for (int k = 0; k < n; ++k) {
                boxes.push_back(hullBox(QmtVector3(i, j, k)));
            }
        }
    }
    FractureBody body;
    for (auto _ : state) {
        body.fragments.clear();
        for (auto& b : boxes) {
            body.addDisconectBody(b.get());
        }
        body.buildJointsByContact(0.1);
        state.PauseTiming();
        body.clearFragmentJointLists();
        state.ResumeTiming();
    }
    state.counters["fragments"] = static_cast<double>(boxes.size());
}
BENCHMARK(BM_BuildJointsByContact)->Arg(4)->Arg(8)->Unit(benchmark::kMillisecond);

}  // namespace
