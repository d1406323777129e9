// The host stand-in's scene files: a scene of n spheres under moved transforms, each
// with a tweaked point and a dynamic number, written to text and read back into a
// cleared scene (every number spelled, parsed and checked against its attribute's type).

#include <benchmark/benchmark.h>

#include <sstream>
#include <string>

#include "host/core/runtime.h"
#include "host/io/sceneFile.h"
#include "host/mel/interpreter.h"

namespace {

void buildScene(int n) {
    host::runtime().reset();
    host::runtime().log.setQuiet(true);
    for (int i = 0; i < n; ++i) {
        std::string mel = "makeMesh -sphere -d 32 -n s#; xform -t # 0.25 -3.5 -ro 10 20 30 -s 1 2 3 s#;"
                          "setAttr s#Shape.pnts[0] 0 0.5 0; addAttr -ln tint -at double s#; setAttr s#.tint 0.125";
        const std::string id = std::to_string(i);
        for (auto at = mel.find('#'); at != std::string::npos; at = mel.find('#')) mel.replace(at, 1, id);
        host::runtime().mel().run(mel, false);
    }
}

std::string sceneText() {
    std::ostringstream out;
    host::io::writeScene(out);
    return out.str();
}

void BM_SaveScene(benchmark::State& state) {
    buildScene(static_cast<int>(state.range(0)));
    std::size_t bytes = 0;
    for (auto _ : state) {
        const std::string text = sceneText();
        bytes += text.size();
        benchmark::DoNotOptimize(text.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(bytes));
    host::runtime().reset();
}
BENCHMARK(BM_SaveScene)->Arg(4)->Arg(32);

void BM_OpenScene(benchmark::State& state) {
    buildScene(static_cast<int>(state.range(0)));
    const std::string text = sceneText();
    for (auto _ : state) {
        host::io::clearScene();
        if (!host::io::readScene(text, "bench.scene")) state.SkipWithError("the scene does not read back");
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
    host::runtime().reset();
}
BENCHMARK(BM_OpenScene)->Arg(4)->Arg(32);

}  // namespace
