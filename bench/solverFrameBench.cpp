// The solver's time line through the host, in-process, over a scene of N boxes dropped
// onto the ground beside a keyed cracker: a run from the start frame through 48 frames,
// and the same frames replayed from the caches after returns to the start.

#include <benchmark/benchmark.h>

#include <string>

#include "bench/moduleSession.h"
#include "host/api/hostApi.h"
#include "host/core/runtime.h"
#include "host/mel/interpreter.h"
#include "src/moduleRegistry.h"

namespace {

constexpr int kLastFrame = 48;

void run(const std::string& text) { host::runtime().mel().run(text, true); }

void frame(int f) { MAnimControl::setCurrentTime(MTime(f, MTime::uiUnit())); }

// A fresh batch scene: the solver with its ground, `boxes` boxes in rows of eight and a
// keyed sphere turned into a cracker sweeping past them.
void boxScene(int boxes) {
    benchdata::freshModuleSession();
    run("playbackOptions -min 1 -max " + std::to_string(kLastFrame) + "; currentTime 1; zylSolver; "
        "setAttr zylSolverNode1.useGroundGrid 1");
    std::string names;
    for (int i = 0; i < boxes; ++i) {
        const std::string name = "box" + std::to_string(i);
        run("makeMesh -cube -name " + name + "; xform -ws -t " + std::to_string(1.5 * (i % 8)) + " " +
            std::to_string(1 + i / 8) + " 0 -s 0.5 0.5 0.5 " + name);
        names += " " + name;
    }
    run("new_ZYLBody -st 2 -a 0" + names);
    run("makeMesh -sphere -name striker; xform -ws -t -4 0.5 3 -s 0.3 0.3 0.3 striker");
    run("setKeyframe -t 1 -at translateX -v -4 striker; setKeyframe -t 30 -at translateX -v 12 striker");
    run("zylCracker striker; select -cl");
}

// A whole run: the start pass, then every frame stepped.
void BM_RunFromTheStart(benchmark::State& state) {
    boxScene(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        run("setAttr zylSolverNode1.cachedMode 0");
        for (int f = 1; f <= kLastFrame; ++f) frame(f);
    }
    state.SetItemsProcessed(state.iterations() * kLastFrame);
    host::runtime().reset();
}
BENCHMARK(BM_RunFromTheStart)->Arg(16)->Arg(256)->Unit(benchmark::kMillisecond)->UseRealTime();

// The baked run served again: the return to the start (which checks that the bake still
// holds) and every frame replayed from the caches.
void BM_CachedReplay(benchmark::State& state) {
    boxScene(static_cast<int>(state.range(0)));
    for (int f = 1; f <= kLastFrame; ++f) frame(f);
    for (auto _ : state)
        for (int f = 1; f <= kLastFrame; ++f) frame(f);
    state.SetItemsProcessed(state.iterations() * kLastFrame);
    host::runtime().reset();
}
BENCHMARK(BM_CachedReplay)->Arg(16)->Arg(256)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
