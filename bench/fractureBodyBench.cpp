// Costs of a fracture body over N fragments: one substep of the compound (which
// places every fragment), setting it up, rebuilding its state and its stress tree, and
// taking members out of a wall of them (dropBody).

#include <benchmark/benchmark.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "engine/bodies/privateHardBody.h"
#include "engine/fracture/dynamicStress.h"
#include "engine/fracture/fractureBody.h"
#include "math/qmtMatrix3.h"
#include "math/qmtVector3.h"

namespace {

using Qmt::QmtMatrix3;
using Qmt::QmtVector3;

constexpr double SUBSTEP = 0.0033333333333333335;

// A unit cube fragment with the cube's tensor.
class CubeFragment : public PrivateHardBody {
public:
    void init(const QmtVector3& position, const QmtMatrix3& rotation, const QmtVector3& scale) override {
        transform.scale = scale;
        transform.boxSize = QmtVector3(1.0, 1.0, 1.0);
        setPosition(position);
        setRotationMatrix(rotation);
        computeInertiaTensor();
        lastDyn = dyn;
    }
    void computeInertiaTensor() override {
        const double m = 1.0 / dyn.invMass / 6.0;
        inertiaLocal.MakeDiagonal(m, m, m);
        invInertiaLocal = inertiaLocal.Inverse(9.9999998245167e-15);
        updateWorldTensors();
        setAngularVelocity(dyn.w);
    }
    void setMassCenter(const QmtVector3&) override {}
};

// Unit cubes on a grid and the joints between them, bound into one fracture body.
struct JointedCubes {
    std::vector<std::unique_ptr<CubeFragment>> fragments;
    std::vector<std::unique_ptr<DynamicStress>> joints;
    FractureBody body;

    void addCube(int x, int y, int z) {
        auto f = std::make_unique<CubeFragment>();
        f->init({1.0 * x, 1.0 * y, 1.0 * z}, QmtMatrix3::IDENTITY, {1.0, 1.0, 1.0});
        f->setMass(1.0f + 0.01f * static_cast<float>(x));
        f->activate();
        fragments.push_back(std::move(f));
    }
    void join(std::size_t a, std::size_t b) {
        auto j = std::make_unique<DynamicStress>();
        j->attach((fragments[a]->getDyn().position + fragments[b]->getDyn().position) * 0.5, 1, fragments[a].get(),
                  fragments[b].get());
        j->setIndex(static_cast<unsigned>(joints.size()));
        joints.push_back(std::move(j));
    }
    // Every joint into the body, in the order made, and the body set up.
    void bind() {
        for (const auto& j : joints) {
            body.activeJoints.pushFront(j.get());
        }
        body.setUpActiveJoints();
        body.setUp();
    }
};

// n = side^3 cubes on a grid, chained in a snake by joints; the body is set up.
struct Compound : JointedCubes {
    explicit Compound(int side) {
        for (int z = 0; z < side; ++z) {
            for (int y = 0; y < side; ++y) {
                for (int x = 0; x < side; ++x) {
                    addCube(x, y, z);
                    if (fragments.size() > 1) join(fragments.size() - 2, fragments.size() - 1);
                }
            }
        }
        bind();
        body.setAngularVelocity({0.1, 0.2, 0.3});
        body.storeDynState();
    }
};

void BM_CompoundSubstep(benchmark::State& state) {
    Compound c(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        c.body.clearDynForces();
        c.body.addDynForces(QmtVector3(0.0, -10.0, 0.0) * c.body.getMass());
        c.body.integrateVelocities(SUBSTEP, true);
        c.body.integratePositions(SUBSTEP);
        benchmark::DoNotOptimize(c.body.getDyn().position);
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(c.fragments.size()));
}

void BM_SetUp(benchmark::State& state) {
    Compound c(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        benchmark::DoNotOptimize(c.body.setUp());
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(c.fragments.size()));
}

void BM_UpdateFromFragments(benchmark::State& state) {
    Compound c(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        benchmark::DoNotOptimize(c.body.updateFromFragments());
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(c.fragments.size()));
}

void BM_BuildStressTree(benchmark::State& state) {
    Compound c(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        benchmark::DoNotOptimize(c.body.buildStressTree());
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(c.fragments.size()));
}

// A wall of side x side cubes, each jointed to its right and upper neighbours, set up
// with its stress tree, as a shattered wall bound into a fracture body is.
struct Wall : JointedCubes {
    explicit Wall(int side) {
        const auto at = [side](int x, int y) { return static_cast<std::size_t>(y * side + x); };
        for (int y = 0; y < side; ++y) {
            for (int x = 0; x < side; ++x) {
                addCube(x, y, 0);
            }
        }
        for (int y = 0; y < side; ++y) {
            for (int x = 0; x < side; ++x) {
                if (x + 1 < side) join(at(x, y), at(x + 1, y));
                if (y + 1 < side) join(at(x, y), at(x, y + 1));
            }
        }
        bind();
        body.buildStressTree();
    }
};

// Members taken out of a wall of side^2 fragments, one by one, spread over the wall;
// the wall is built anew outside the timing for every round.
void BM_DropBody(benchmark::State& state) {
    const int side = static_cast<int>(state.range(0));
    const auto drops = static_cast<std::size_t>(state.range(1));
    for (auto _ : state) {
        state.PauseTiming();
        auto wall = std::make_unique<Wall>(side);
        const std::size_t stride = wall->fragments.size() / drops;
        state.ResumeTiming();
        for (std::size_t i = 0; i < drops; ++i) {
            benchmark::DoNotOptimize(wall->body.dropBody(wall->fragments[i * stride + stride / 2].get()));
        }
        state.PauseTiming();
        wall.reset();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * state.range(1));
}

// Sides 4, 8, 16: 64, 512 and 4096 fragments.
BENCHMARK(BM_CompoundSubstep)->Arg(4)->Arg(8)->Arg(16);
BENCHMARK(BM_SetUp)->Arg(4)->Arg(8)->Arg(16);
BENCHMARK(BM_UpdateFromFragments)->Arg(4)->Arg(8)->Arg(16);
BENCHMARK(BM_BuildStressTree)->Arg(4)->Arg(8)->Arg(16);
// Walls of 400 and 1,600 fragments; one member dropped, and a hundred.
BENCHMARK(BM_DropBody)->Args({20, 1})->Args({40, 1})->Args({40, 100})->Unit(benchmark::kMicrosecond);

}  // namespace
