// Per-body costs of the substep: velocity and position integration, and impulses.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>
#include <random>
#include <vector>

#include "bench/benchSupport.h"
#include "engine/bodies/privateHardBody.h"
#include "math/qmtMatrix3.h"
#include "math/qmtVector3.h"

namespace {

using Qmt::QmtMatrix3;
using Qmt::QmtVector3;

using benchdata::BenchBody;

constexpr std::size_t BODY_COUNT = 256;
constexpr double SUBSTEP = 0.0033333333333333335;

std::vector<std::unique_ptr<BenchBody>> makeBodies(bool spinning) {
    std::mt19937 rng(5);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    std::vector<std::unique_ptr<BenchBody>> bodies;
    for (std::size_t i = 0; i < BODY_COUNT; ++i) {
        auto b = std::make_unique<BenchBody>();
        b->init({u(rng), u(rng), u(rng)}, QmtMatrix3::IDENTITY, {1.0, 1.0, 1.0});
        b->setMass(2.0f);
        b->setAirDampingCoeff(0.01);
        b->setAirDampingCoeff2(0.01);
        b->setLinearVelocity({u(rng), u(rng), u(rng)});
        if (spinning) {
            b->setAngularVelocity({3.0 * u(rng), 3.0 * u(rng), 3.0 * u(rng)});
        }
        b->activate();
        b->storeDynState();
        bodies.push_back(std::move(b));
    }
    return bodies;
}

// One substep of every body: velocities under gravity, then positions.
void BM_IntegrateSubstep(benchmark::State& state) {
    auto bodies = makeBodies(state.range(0) != 0);
    const QmtVector3 gravity(0.0, -19.6, 0.0);
    for (auto _ : state) {
        for (auto& b : bodies) {
            b->clearDynForces();
            b->addDynForces(gravity);
            b->integrateVelocities(SUBSTEP, true);
            b->integratePositions(SUBSTEP);
        }
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(BODY_COUNT));
    state.counters["sizeof(PrivateHardBody)"] = static_cast<double>(sizeof(PrivateHardBody));
}
BENCHMARK(BM_IntegrateSubstep)->ArgName("spinning")->Arg(0)->Arg(1);

// Off-centre impulses on awake bodies.
void BM_ApplyImpulseAtPoint(benchmark::State& state) {
    auto bodies = makeBodies(true);
    const QmtVector3 J(0.0, 1e-9, 0.0);
    for (auto _ : state) {
        for (auto& b : bodies) {
            b->applyImpulse(J, b->dyn.position + QmtVector3(0.5, 0.0, 0.25));
        }
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(BODY_COUNT));
}
BENCHMARK(BM_ApplyImpulseAtPoint);

}  // namespace
