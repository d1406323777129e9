// The fracture-body commands and the scene open through the host, in-process, on the
// demo's wall shattered into 100, 400 and 1,600 shards: binding (with and without
// -nearest), a cluster and a detach of half the fragments, the stress reset and mass
// scaling, and opening the saved wall. Each should grow about linearly with the
// fragments and joints it touches.
//
// A scene is built afresh for every timed command that changes it, so those run one
// iteration each: take medians with --benchmark_repetitions=3.

#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>

#include "bench/moduleSession.h"
#include "host/core/runtime.h"
#include "host/io/sceneFile.h"
#include "host/mel/interpreter.h"
#include "src/moduleRegistry.h"

namespace {

// The demo's solver and block, shattered into n shards that become rigid bodies.
void shardScene(long n) {
    host::Runtime& rt = benchdata::freshModuleSession();
    rt.mel().run("playbackOptions -min 1 -max 120 -ast 1 -aet 120; currentTime 1;"
                 "zylSolver; setAttr zylSolverNode1.useGroundGrid 1;"
                 "makeMesh -cube -name block; xform -ws -t 0 0.5 0 -s 2 1 2 block;"
                 "string $shards[] = `zylShatter -ns " +
                     std::to_string(n) +
                     " -sed 7 block`;"
                     "new_ZYLBody -st 2 -a 0 $shards;",
                 false);
    rt.idle.flush();
}

void run(const std::string& command) {
    host::runtime().mel().run(command, true);
    host::runtime().idle.flush();
}

const char* const kBind = "string $bodies[] = `ls -type zylRigidBody`; zylFractureBody -dTh 0.02 -n wall $bodies;";

// The wall bound into one fracture body with the demo's threshold.
void wallScene(long n) {
    shardScene(n);
    run(kBind);
    run("setAttr wall.stressThreshold 2; getAttr wall.ca_stressThreshold;");
}

// The first half of the shards' rigid bodies, by name.
std::string firstHalf(long n) {
    std::string names;
    for (long i = 1; i <= n / 2; ++i) names += " meshZylBody" + std::to_string(i);
    return names;
}

// One iteration per scene: the command alone is timed.
template <class Setup>
void timeOnFreshScene(benchmark::State& state, Setup setup, const std::string& command) {
    for (auto _ : state) {
        state.PauseTiming();
        setup(state.range(0));
        state.ResumeTiming();
        run(command);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
    host::runtime().reset();
}

void BM_FractureBody(benchmark::State& state) { timeOnFreshScene(state, shardScene, kBind); }
void BM_FractureBodyNearest(benchmark::State& state) {
    timeOnFreshScene(state, shardScene,
                     "string $bodies[] = `ls -type zylRigidBody`; zylFractureBody -dTh 0.02 -nea -n wall $bodies;");
}
void BM_ClusterHalf(benchmark::State& state) {
    timeOnFreshScene(state, wallScene, "zylCluster -as -n grp" + firstHalf(state.range(0)) + ";");
}
void BM_DetachHalf(benchmark::State& state) {
    timeOnFreshScene(state, wallScene, "Detach_FBody" + firstHalf(state.range(0)) + ";");
}

// Commands that leave the wall's joints as they are run again on the same scene.
void timeOnWall(benchmark::State& state, const std::string& command) {
    wallScene(state.range(0));
    for (auto _ : state) run(command);
    state.SetItemsProcessed(state.iterations() * state.range(0));
    host::runtime().reset();
}

void BM_ResetAllStresses(benchmark::State& state) { timeOnWall(state, "fBody_selStresses -ra wall;"); }
void BM_StressesToMass(benchmark::State& state) { timeOnWall(state, "fBody_selStresses -stm wall;"); }

// The saved wall opened again: the scene read, the bodies and the fracture body rebuilt.
void BM_OpenWall(benchmark::State& state) {
    wallScene(state.range(0));
    const std::string path =
        (std::filesystem::temp_directory_path() / ("zylWall" + std::to_string(state.range(0)) + ".scene")).string();
    host::io::saveScene(path);
    for (auto _ : state) {
        host::io::openScene(path);
        host::runtime().idle.flush();
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
    host::runtime().reset();
    std::filesystem::remove(path);
}

#define WALL_SIZES ->Arg(100)->Arg(400)->Arg(1600)->Unit(benchmark::kMillisecond)->UseRealTime()
BENCHMARK(BM_FractureBody) WALL_SIZES->Iterations(1);
BENCHMARK(BM_FractureBodyNearest) WALL_SIZES->Iterations(1);
BENCHMARK(BM_ClusterHalf) WALL_SIZES->Iterations(1);
BENCHMARK(BM_DetachHalf) WALL_SIZES->Iterations(1);
BENCHMARK(BM_ResetAllStresses) WALL_SIZES;
BENCHMARK(BM_StressesToMass) WALL_SIZES;
BENCHMARK(BM_OpenWall) WALL_SIZES;

}  // namespace
