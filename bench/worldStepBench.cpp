// The world's list work: the substep loop over free bodies, filing by ordered
// insertion, the re-sort of clear, and lookups.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <random>
#include <vector>

#include "bench/benchSupport.h"
#include "engine/bodies/privateHardBody.h"
#include "engine/world/privateWorld.h"
#include "math/qmtMatrix3.h"
#include "math/qmtVector3.h"

namespace {

using Qmt::QmtMatrix3;
using Qmt::QmtVector3;

using benchdata::BenchBody;

// n placed, spinning bodies with shuffled indices (none when `fresh`: filing hands
// them out in order) and names "b<i>"; the caller owns them until they are filed.
std::vector<HardBody*> makeBodies(std::int64_t n, bool fresh = false) {
    std::mt19937 rng(7);
    std::vector<std::int32_t> indices(static_cast<std::size_t>(n));
    for (std::int64_t i = 0; i < n; ++i) {
        indices[static_cast<std::size_t>(i)] = static_cast<std::int32_t>(i);
    }
    std::shuffle(indices.begin(), indices.end(), rng);
    std::vector<HardBody*> bodies;
    for (std::int64_t i = 0; i < n; ++i) {
        auto* body = new BenchBody;
        body->init({static_cast<double>(i), 0.0, 0.0}, QmtMatrix3::IDENTITY, {1.0, 1.0, 1.0});
        body->setAngularVelocity({0.1, 0.2, 0.3});
        body->setAirDampingCoeff(0.01);
        body->transform.index = fresh ? -1 : indices[static_cast<std::size_t>(i)];
        std::snprintf(body->transform.name, sizeof body->transform.name, "b%lld", static_cast<long long>(i));
        bodies.push_back(body);
    }
    return bodies;
}

void fill(PrivateWorld& world, const std::vector<HardBody*>& bodies) {
    for (HardBody* body : bodies) {
        world.addBody(body, 0);
    }
}

// One host frame of 1/30 s: ten substeps over every body.
void BM_StepFrame(benchmark::State& state) {
    PrivateWorld world;
    fill(world, makeBodies(state.range(0)));
    for (auto _ : state) {
        world.step(1.0 / 30.0, nullptr);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0) * 10);
    state.SetLabel("body-substeps");
}
BENCHMARK(BM_StepFrame)->Arg(100)->Arg(1000)->Arg(10000);

// Filing n bodies one by one: shuffled indices land anywhere in the dynamic list,
// fresh ones (as the module files new bodies) at its end.
void fillWorld(benchmark::State& state, bool fresh) {
    for (auto _ : state) {
        state.PauseTiming();
        auto* world = new PrivateWorld;
        const std::vector<HardBody*> bodies = makeBodies(state.range(0), fresh);
        state.ResumeTiming();
        fill(*world, bodies);
        state.PauseTiming();
        delete world;
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
void BM_FillWorld(benchmark::State& state) { fillWorld(state, false); }
BENCHMARK(BM_FillWorld)->Arg(100)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);
void BM_FillWorldFreshIndices(benchmark::State& state) { fillWorld(state, true); }
BENCHMARK(BM_FillWorldFreshIndices)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMicrosecond);

// clear after every body has fallen asleep: each wakes at the front and the dynamic
// list is sorted back into index order.
void BM_ClearResort(benchmark::State& state) {
    PrivateWorld world;
    fill(world, makeBodies(state.range(0)));
    for (auto _ : state) {
        state.PauseTiming();
        for (HardBody* body : world.aBodies) {
            body->deActivate();
        }
        world.updateBodyActivity(0.0);
        state.ResumeTiming();
        world.clear();
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_ClearResort)->Arg(100)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);

// Lookups of every body in turn.
void BM_Contains(benchmark::State& state) {
    PrivateWorld world;
    const std::vector<HardBody*> bodies = makeBodies(state.range(0));
    fill(world, bodies);
    std::size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(world.contains(bodies[i]));
        i = (i + 1) % bodies.size();
    }
}
BENCHMARK(BM_Contains)->Arg(100)->Arg(1000)->Arg(10000);

void BM_FindBodyByName(benchmark::State& state) {
    PrivateWorld world;
    const std::vector<HardBody*> bodies = makeBodies(state.range(0));
    fill(world, bodies);
    std::size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(world.findBodyByName(bodies[i]->transform.name));
        i = (i + 1) % bodies.size();
    }
}
BENCHMARK(BM_FindBodyByName)->Arg(100)->Arg(1000)->Arg(10000);

}  // namespace
