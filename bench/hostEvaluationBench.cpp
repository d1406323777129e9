// The host stand-in's evaluator: one write at the head of a chain of nodes
// dirties the chain, one read at its tail pulls every compute back.

#include <benchmark/benchmark.h>

#include "host/api/hostApi.h"
#include "host/core/runtime.h"
#include "host/mel/interpreter.h"

namespace {

class Doubler : public MPxNode {
public:
    static void* creator() { return new Doubler; }
    static MStatus initialize() {
        MFnNumericAttribute n;
        input = n.create("input", "in", MFnNumericData::kDouble, 1.0);
        output = n.create("output", "out", MFnNumericData::kDouble);
        addAttribute(input);
        addAttribute(output);
        return attributeAffects(input, output);
    }
    MStatus compute(const MPlug& plug, MDataBlock& data) override {
        if (plug.attribute() != output) return MS::kUnknownParameter;
        data.outputValue(output).setDouble(data.inputValue(input).asDouble() * 1.0000001);
        data.setClean(plug);
        return MS::kSuccess;
    }
    static MObject input, output;
};
MObject Doubler::input, Doubler::output;

MStatus initialize(MObject obj) {
    MFnPlugin plugin(obj, "bench", "1.0", "Any");
    return plugin.registerNode("doubler", MTypeId(0x7F01), Doubler::creator, Doubler::initialize);
}
MStatus uninitialize(MObject obj) { return MFnPlugin(obj).deregisterNode(MTypeId(0x7F01)); }

// A chain of n nodes: node[i].output -> node[i+1].input.
std::vector<MObject> makeChain(int n) {
    host::Runtime& rt = host::runtime();
    rt.reset();
    rt.log.setQuiet(true);
    rt.loadStaticModule(initialize, uninitialize, "bench");
    std::vector<MObject> nodes;
    MDGModifier mod;
    for (int i = 0; i < n; ++i) {
        nodes.push_back(MFnDependencyNode().create("doubler"));
        if (i > 0) mod.connect(MPlug(nodes[i - 1], Doubler::output), MPlug(nodes[i], Doubler::input));
    }
    mod.doIt();
    return nodes;
}

void BM_ChainWriteRead(benchmark::State& state) {
    const auto nodes = makeChain(static_cast<int>(state.range(0)));
    MPlug head(nodes.front(), Doubler::input), tail(nodes.back(), Doubler::output);
    double v = 1;
    for (auto _ : state) {
        head.setValue(v += 1);
        benchmark::DoNotOptimize(tail.asDouble());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
    host::runtime().reset();
}
BENCHMARK(BM_ChainWriteRead)->Arg(10)->Arg(100);

void BM_MelSetGetAttr(benchmark::State& state) {
    makeChain(2);
    for (auto _ : state) {
        host::Result r;
        host::runtime().mel().run("setAttr doubler1.input 3; getAttr doubler2.output", false, &r);
        benchmark::DoNotOptimize(r);
    }
    host::runtime().reset();
}
BENCHMARK(BM_MelSetGetAttr);

}  // namespace
