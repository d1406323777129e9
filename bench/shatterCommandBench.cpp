// The shatter command through the host, in-process, at 100, 1,000 and 10,000 seeds of
// a unit cube, beside the Voronoi cutter alone on the same mesh and the same seeds: the
// command's own work (shard meshes, names, shading, blind data, grouping) should grow
// with the shard count as the cutter does.

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "bench/moduleSession.h"
#include "engine/world/engineApi.h"
#include "host/api/hostApi.h"
#include "host/core/runtime.h"
#include "host/mel/interpreter.h"
#include "src/meshReader.h"
#include "src/moduleRegistry.h"
#include "src/shatter/seedPatterns.h"
#include "src/shatter/voronoiCells.h"

namespace {

using Qmt::QmtVector3;

// A fresh scene with the module and the cube "src", as a batch run starts.
void freshScene() {
    host::Runtime& rt = benchdata::freshModuleSession();
    rt.mel().run("makeMesh -cube -name src", false);
}

// The command as a script statement runs it, with the grouping it queues for idle time.
void BM_ShatterCommand(benchmark::State& state) {
    const std::string command = "zylShatter -ns " + std::to_string(state.range(0)) + " -sed 7 src";
    for (auto _ : state) {
        state.PauseTiming();
        freshScene();
        state.ResumeTiming();
        host::runtime().mel().run(command, true);
        host::runtime().idle.flush();
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
    host::runtime().reset();
}
BENCHMARK(BM_ShatterCommand)->Arg(100)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond)->UseRealTime();

// The cutter alone: the cube read as the command reads it, the command's uniform seeds.
void BM_CutterAlone(benchmark::State& state) {
    freshScene();
    MSelectionList list;
    list.add("srcShape");
    MDagPath path;
    list.getDagPath(0, path);
    MFnMesh fn(path);
    MStringArray uvSets;
    ZYL_DFmesh* mesh = readMeshIntoDFmesh(fn, MIntArray(), uvSets);
    const auto count = static_cast<std::uint32_t>(state.range(0));
    std::vector<QmtVector3> seeds(count);
    uniformSeeds(mesh, seeds.data(), count, 7);
    std::uint32_t shards = 0;
    for (auto _ : state) {
        std::vector<QmtVector3> mine = seeds;
        VoronoiCellHooks hooks;
        hooks.shard = [&shards](ZYL_DFmesh&) { ++shards; };
        cutVoronoiCells(*mesh, mine, hooks);
    }
    state.counters["shards"] = static_cast<double>(shards) / static_cast<double>(state.iterations());
    deleteDFmesh(&mesh);
    host::runtime().reset();
}
BENCHMARK(BM_CutterAlone)->Arg(100)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
