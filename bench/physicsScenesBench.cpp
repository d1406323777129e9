// Long property runs of the engine, measured rather than timed: each benchmark runs one
// scene once (1/300 s frames of manageCollisions then step, engine API only) and
// reports what it measured as counters.
//
//  Split*      momentum across a fracture-body split: two joined boxes or a 4 x 3 wall
//              struck by a box, zero gravity; pz is the sum of m v_z of striker and
//              fragments after the run (the striker brings -20 or -5), striker.z where
//              the striker ends (it starts at z = 2, the wall's back face is at -0.5)
//              and striker.vx how fast it leaves sideways.
//  HeavyStack  a box of ratio / 10 kg on a 1 kg box on the plane for 5 s, contact
//              groups on or off: how far the load sinks into the light box and the
//              light box into the plane, and the load's highest upward speed after 1 s.
//  Column      a 5 x 5 x 40 column of 1,000 boxes collapsing on the plane for 5 s,
//              contact groups off or on: boxes more than 5 cm inside the plane and the
//              lowest corner.
//  Lanes       64 tumbling boxes dropped apart on the plane (and a lone box): the
//              largest distance after 3 s between a run on one lane and on `lanes`,
//              and between two runs on `lanes`.
//  MeshGround  the plane (0), a two-triangle slab (1) or an open grid of 1 m cells (2)
//              as the ground: nine boxes set down on it (or dropped from 0.2 m, a
//              little tilted, and measured from 1 s on) for 5 s: their largest creep and
//              sink; a flat 2 x 0.2 x 2 box set down for 5 s: its sink; fifty boxes
//              thrown rolling at `speed` m/s for 3 s: the deepest corner of any and the
//              median of each box's deepest.
//
// Run: build/bench/bench_physicsScenesBench (add --benchmark_filter=Split etc.).

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <random>
#include <vector>

#include "bench/physicsScenes.h"
#include "engine/bodies/privateHardBody.h"
#include "engine/fracture/dynamicStress.h"
#include "engine/fracture/fractureBody.h"
#include "engine/threads/processorCount.h"
#include "engine/world/engineApi.h"
#include "engine/world/privateWorld.h"

namespace {

using namespace physicsscenes;

// ---- Split ----------------------------------------------------------------------------

// Boxes in a fracture body joined where they touch (tolerance 1, breakable by force),
// struck by a box that starts at (x, y, 2) moving at -speed along z.
void runSplit(benchmark::State& state, int columns, int rows, double x, double y, double speed, bool breakable,
              int frames) {
    World w(0.0);
    std::vector<HardBody*> cubes;
    for (int y = 0; y < rows; ++y) {
        for (int x = 0; x < columns; ++x) {
            cubes.push_back(box({double(x), double(y), 0.0}));
        }
    }
    auto* fb = static_cast<FractureBody*>(createFractureBody());
    const auto join = [&](int a, int b) {
        DynamicStress* j = createDynamicStress();
        j->attach((cubes[a]->getDyn().position + cubes[b]->getDyn().position) * 0.5, 1,
                  static_cast<PrivateHardBody*>(cubes[a]), static_cast<PrivateHardBody*>(cubes[b]));
        j->enableBreakableByForce();
        j->set_break_tolerance(breakable ? 1.0 : 1e30);
        fb->addJoint(j);
    };
    for (int y = 0; y < rows; ++y) {
        for (int x = 0; x < columns; ++x) {
            if (x + 1 < columns) {
                join(y * columns + x, y * columns + x + 1);
            }
            if (y + 1 < rows) {
                join(y * columns + x, (y + 1) * columns + x);
            }
        }
    }
    fb->setUp();
    fb->storeInitialState(1);
    for (HardBody* c : cubes) {
        w.world->addBody(c, 0);
    }
    w.world->addBody(fb, 0);
    HardBody* striker = box({x, y, 2.0});
    striker->setLinearVelocity({0.0, 0.0, -speed});
    w.world->addBody(striker, 0);

    const auto momentum = [&] {
        QmtVector3 p = striker->getDyn().v * striker->getMass();
        double e = striker->getMass() * striker->getDyn().v.SquaredLength();
        for (HardBody* c : cubes) {
            const QmtVector3 pc = fragmentMomentum(c);
            p += pc;
            e += pc.SquaredLength() / c->getMass();
        }
        return std::pair{p, e};
    };
    for (auto _ : state) {
        w.frames(frames);
    }
    int broken = 0;
    for (DynamicStress* j = fb->getFirstOffJoint(); j; j = fb->getNextOffJoint()) {
        ++broken;
    }
    const auto [p, e] = momentum();
    state.counters["pz"] = p.z;
    state.counters["striker.vz"] = striker->getDyn().v.z;
    state.counters["striker.z"] = striker->getDyn().position.z;
    state.counters["striker.vx"] = striker->getDyn().v.x;
    state.counters["|pxy|"] = std::hypot(p.x, p.y);
    state.counters["lin.energy/start"] = e / (speed * speed);
    state.counters["broken"] = broken;
    state.counters["children"] = fb->children.count;
}

void BM_SplitTwoBoxes(benchmark::State& state) { runSplit(state, 2, 1, 0.0, 0.0, 20.0, state.range(0) != 0, 300); }
BENCHMARK(BM_SplitTwoBoxes)->ArgName("breakable")->Arg(1)->Arg(0)->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_SplitWall(benchmark::State& state) {
    // At the wall's centre, a little above it.
    runSplit(state, 4, 3, 1.5, 1.2, static_cast<double>(state.range(0)), true, 300);
}
BENCHMARK(BM_SplitWall)->ArgName("speed")->Arg(20)->Arg(5)->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_SplitWallFlush(benchmark::State& state) {
    // Level with the middle row (its top and bottom faces flush with the faces between
    // the rows), at the wall's centre (x = 1.5) or level with a column too (x = 1).
    runSplit(state, 4, 3, state.range(0) / 10.0, 1.0, 20.0, state.range(1) != 0, 300);
}
BENCHMARK(BM_SplitWallFlush)
    ->ArgNames({"x10", "breakable"})
    ->ArgsProduct({{15, 10}, {1, 0}})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

// ---- Heavy loads ----------------------------------------------------------------------

void BM_HeavyStack(benchmark::State& state) {
    const double ratio = static_cast<double>(state.range(0)) / 10.0;
    World w(GRAVITY);
    if (state.range(1) != 0) {
        enableContactGroups();
    }
    w.world->addBody(plane(), 0);
    HardBody* light = box({0.0, 0.5, 0.0});
    HardBody* heavy = box({0.0, 1.5, 0.0}, ratio);
    w.world->addBody(light, 0);
    w.world->addBody(heavy, 0);
    double upward = 0.0;
    for (auto _ : state) {
        for (int i = 0; i < 1500; ++i) {
            w.frame();
            if (i >= 300) {
                upward = std::max(upward, heavy->getDyn().v.y);
            }
        }
    }
    state.counters["load.in.light.mm"] = 1e3 * std::max(0.0, (light->getDyn().position.y + 0.5) -
                                                                 (heavy->getDyn().position.y - 0.5));
    state.counters["light.in.plane.mm"] = 1e3 * std::max(0.0, -lowestCorner(light));
    state.counters["top.up.speed"] = upward;
}
BENCHMARK(BM_HeavyStack)
    ->ArgNames({"ratio_x10", "groups"})
    ->ArgsProduct({{1, 400, 1000}, {0, 1}})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

void BM_Column(benchmark::State& state) {
    World w(GRAVITY);
    if (state.range(0) != 0) {
        enableContactGroups();
    }
    w.world->addBody(plane(), 0);
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> jitter(-0.01, 0.01);
    std::vector<HardBody*> boxes;
    for (int level = 0; level < 40; ++level) {
        for (int i = 0; i < 25; ++i) {
            boxes.push_back(box({(i % 5) * 1.001 + jitter(rng), 0.5 + level * 1.0001, (i / 5) * 1.001 + jitter(rng)}));
            w.world->addBody(boxes.back(), 0);
        }
    }
    for (auto _ : state) {
        w.frames(1500);
    }
    int deep = 0;
    double lowest = 0.0;
    for (const HardBody* b : boxes) {
        const double y = lowestCorner(b);
        deep += y < -0.05;
        lowest = std::min(lowest, y);
    }
    state.counters["deeper.5cm"] = deep;
    state.counters["lowest.cm"] = 100.0 * lowest;
}
BENCHMARK(BM_Column)->ArgName("groups")->Arg(0)->Arg(1)->Iterations(1)->Unit(benchmark::kSecond);

// ---- Lanes ----------------------------------------------------------------------------

// Final positions of n boxes dropped with random turns and spins 3 m apart on the plane.
std::vector<QmtVector3> dropApart(int n, unsigned lanes) {
    World w(GRAVITY, 9);
    w.world->setThreadCount(lanes);
    w.world->addBody(plane(), 0);
    std::mt19937 rng(11);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    std::vector<HardBody*> boxes;
    for (int i = 0; i < n; ++i) {
        QmtVector3 axis(u(rng), u(rng), u(rng));
        axis.Unitize(1e-6);
        const double angle = 3.0 * u(rng);
        QmtMatrix3 R;
        R.FromAxisAngle(axis, angle);
        boxes.push_back(box({3.0 * (i % 8), 1.0 + 0.3 * u(rng), 3.0 * (i / 8)}, 1.0, {0.5, 0.5, 0.5}, R));
        boxes.back()->setLinearVelocity({u(rng), 0.0, u(rng)});
        boxes.back()->setAngularVelocity({2.0 * u(rng), 2.0 * u(rng), 2.0 * u(rng)});
        w.world->addBody(boxes.back(), 0);
    }
    w.frames(900);
    std::vector<QmtVector3> out;
    for (const HardBody* b : boxes) {
        out.push_back(b->getDyn().position);
    }
    return out;
}

void BM_Lanes(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    const auto lanes = static_cast<unsigned>(state.range(1));
    double apart = 0.0;
    double repeat = 0.0;
    for (auto _ : state) {
        const auto one = dropApart(n, 1);
        const auto many = dropApart(n, lanes);
        const auto again = dropApart(n, lanes);
        for (int i = 0; i < n; ++i) {
            apart = std::max(apart, (one[i] - many[i]).Length());
            repeat = std::max(repeat, (again[i] - many[i]).Length());
        }
    }
    state.counters["max.apart.m"] = apart;
    state.counters["repeat.apart.m"] = repeat;
}
BENCHMARK(BM_Lanes)
    ->ArgNames({"boxes", "lanes"})
    ->ArgsProduct({{1, 64}, {4, 8}})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

// ---- Triangle-mesh ground ---------------------------------------------------------------

enum Ground { PLANE = 0, SLAB = 1, GRID = 2 };

// 40 m across: two triangles, or 1 m cells.
HardBody* ground(int kind) {
    return kind == PLANE ? plane() : kind == SLAB ? meshGround(20.0, 1) : meshGround(20.0, 40);
}

void BM_MeshGroundResting(benchmark::State& state) {
    const bool dropped = state.range(1) != 0;
    World w(GRAVITY);
    w.world->addBody(ground(static_cast<int>(state.range(0))), 0);
    std::mt19937 rng(17);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    std::vector<HardBody*> boxes;
    for (int i = 0; i < 9; ++i) {
        QmtMatrix3 R;
        R.FromAxisAngle({0.0, 1.0, 0.0}, 0.37 * i);
        if (dropped) {
            QmtMatrix3 tilt;
            tilt.FromAxisAngle(QmtVector3(u(rng), 0.0, u(rng)).UnitCross({0.0, 1.0, 0.0}), 0.05 * u(rng));
            R = tilt * R;
        }
        boxes.push_back(box({-6.3 + 1.55 * i, dropped ? 0.7 : 0.5, 0.35 * i - 1.3}, 1.0, {0.5, 0.5, 0.5}, R));
        w.world->addBody(boxes.back(), 0);
    }
    std::vector<QmtVector3> start;
    double sink = 0.0;
    for (auto _ : state) {
        for (int f = 0; f < 1500; ++f) {
            if (f == (dropped ? 300 : 0)) {
                start.clear();
                for (const HardBody* b : boxes) {
                    start.push_back(b->getDyn().position);
                }
            }
            w.frame();
            if (f >= (dropped ? 300 : 0)) {
                for (const HardBody* b : boxes) {
                    sink = std::max(sink, -lowestCorner(b));
                }
            }
        }
    }
    double creep = 0.0;
    for (std::size_t i = 0; i < boxes.size(); ++i) {
        const QmtVector3 d = boxes[i]->getDyn().position - start[i];
        creep = std::max(creep, std::hypot(d.x, d.z));
    }
    state.counters["creep.mm"] = 1e3 * creep;
    state.counters["sink.mm"] = 1e3 * sink;
}
BENCHMARK(BM_MeshGroundResting)
    ->ArgNames({"ground", "dropped"})
    ->ArgsProduct({{0, 1, 2}, {0, 1}})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

void BM_MeshGroundFlatBox(benchmark::State& state) {
    World w(GRAVITY);
    w.world->addBody(ground(static_cast<int>(state.range(0))), 0);
    const QmtVector3 h(1.0, 0.1, 1.0);
    HardBody* flat = box({0.3, 0.1, 0.2}, 1.0, h);
    w.world->addBody(flat, 0);
    double sink = 0.0;
    for (auto _ : state) {
        for (int f = 0; f < 1500; ++f) {
            w.frame();
            sink = std::max(sink, -lowestCorner(flat, h));
        }
    }
    state.counters["sink.mm"] = 1e3 * sink;
}
BENCHMARK(BM_MeshGroundFlatBox)->ArgName("ground")->DenseRange(0, 2)->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_MeshGroundRolling(benchmark::State& state) {
    const double speed = static_cast<double>(state.range(1));
    World w(GRAVITY);
    w.world->addBody(ground(static_cast<int>(state.range(0))), 0);
    std::mt19937 rng(1);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    std::vector<HardBody*> boxes;
    for (int i = 0; i < 50; ++i) {
        QmtMatrix3 R;
        R.FromAxisAngle({0.0, 1.0, 0.0}, 3.0 * u(rng));
        const double x = -15.0 + 3.0 * (i % 10) + 0.5 * u(rng);
        const double z = -12.0 + 3.0 * (i / 10) + 0.5 * u(rng);
        boxes.push_back(box({x, 0.55, z}, 1.0, {0.5, 0.5, 0.5}, R));
        const double heading = 3.14159 * u(rng);
        const QmtVector3 direction(std::cos(heading), 0.0, std::sin(heading));
        boxes.back()->setLinearVelocity(direction * (speed * (0.7 + 0.3 * u(rng))));
        boxes.back()->setAngularVelocity(QmtVector3(0.0, 1.0, 0.0).Cross(direction) * (2.0 * speed * (0.7 + 0.3 * u(rng))));
        w.world->addBody(boxes.back(), 0);
    }
    std::vector<double> deepest(boxes.size(), 0.0);
    for (auto _ : state) {
        for (int f = 0; f < 900; ++f) {
            w.frame();
            for (std::size_t i = 0; i < boxes.size(); ++i) {
                deepest[i] = std::min(deepest[i], lowestCorner(boxes[i]));
            }
        }
    }
    std::sort(deepest.begin(), deepest.end());
    state.counters["deepest.mm"] = 1e3 * deepest.front();
    state.counters["median.mm"] = 1e3 * deepest[deepest.size() / 2];
}
BENCHMARK(BM_MeshGroundRolling)
    ->ArgNames({"ground", "speed"})
    ->ArgsProduct({{0, 1, 2}, {1, 2, 4}})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

}  // namespace
