// One displacement pass of zylJagginess over a shard whose cut faces were subdivided
// three times: a shard of a 2-unit cube broken into four, roughened once by the
// command; each iteration zeroes its tweaks, finds every vertex's direction and writes
// the pushed points back.

#include <benchmark/benchmark.h>

#include <string>

#include "bench/moduleSession.h"
#include "host/api/hostApi.h"
#include "host/core/runtime.h"
#include "host/mel/interpreter.h"
#include "src/modifiers/jagginessCmd.h"
#include "src/moduleRegistry.h"

namespace {

void mel(const std::string& text) { host::runtime().mel().run(text, false, nullptr); }

void BM_DisplaceShardLevel3(benchmark::State& state) {
    host::Runtime& rt = benchdata::freshModuleSession();
    mel("makeMesh -cube -s 2 -name cube; zylShatter -ns 4 -sed 3 cube; flushIdle");
    mel("zylJagginess -com -res 3 -aff 0 cubeShape_shard1; flushIdle");

    MSelectionList list;
    list.add("cubeShape_shard1");
    MDagPathArray shard(1);
    list.getDagPath(0, shard[0]);
    jagginessCmd command;
    command.setJaggyLength(0.02);
    for (auto _ : state) command.displaceMeshes(shard);
    const MFnMesh mesh(shard[0]);
    state.counters["vertices"] = mesh.numVertices();
    state.counters["faces"] = mesh.numPolygons();
    state.SetItemsProcessed(state.iterations() * mesh.numVertices());
    rt.reset();
}
BENCHMARK(BM_DisplaceShardLevel3)->Unit(benchmark::kMillisecond);

}  // namespace
