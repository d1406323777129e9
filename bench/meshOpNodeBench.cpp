// The mesh-operation node subdividing a shard's cut faces at level 3: a corner shard of
// a 2-unit cube (four cut faces made by the engine's clipper) feeds a zylMeshOpNode,
// and each iteration dirties the node and pulls its output mesh once.

#include <benchmark/benchmark.h>

#include <string>

#include "engine/tools/meshTools.h"
#include "engine/world/engineApi.h"
#include "host/api/hostApi.h"
#include "host/core/runtime.h"
#include "host/mel/interpreter.h"
#include "src/meshReader.h"
#include "src/meshWriter.h"
#include "src/moduleRegistry.h"

namespace {

using Qmt::QmtVector3;

void mel(const std::string& text) { host::runtime().mel().run(text, false, nullptr); }

MDagPath pathOf(const std::string& name) {
    MSelectionList list;
    MDagPath path;
    list.add(MString(name));
    list.getDagPath(0, path);
    path.extendToShape();
    return path;
}

// The shard "cube_shard1", its cut faces tagged 1, wired into "op" (subdivide, level 3).
void makeShardScene() {
    host::Runtime& rt = host::runtime();
    rt.reset();
    rt.log.setQuiet(true);
    rt.loadStaticModule(initializeModule, uninitializeModule, "zylMaya3x");
    mel("blindDataType -id " + std::to_string(cutFace::kBlindDataId) +
        " -dataType \"int\" -longDataName \"zylCutFace\" -shortDataName \"zcut\"");
    mel("makeMesh -cube -s 2 -n cube");
    MFnMesh cube(pathOf("cube"));
    MStringArray uvSets;
    ZYL_DFmesh* cell = readMeshIntoDFmesh(cube, MIntArray(), uvSets);
    const QmtVector3 planes[][2] = {{{-1, -0.2, -0.1}, {0.3, 0, 0}},
                                    {{-0.1, -1, -0.3}, {0, 0.2, 0}},
                                    {{-0.2, -0.1, -1}, {0, 0, 0.1}},
                                    {{1, 1, 1}, {-0.6, -0.6, -0.6}}};
    for (const auto& [normal, point] : planes) clipDFmeshByPlane(cell, normal, point, false);
    cell->shardId = 1;
    MStatus status;
    MObjectArray objects;
    MStringArray names;
    const MStringArray links[8];
    createShardMeshes(status, cell, false, "cube", "", MObjectArray(), uvSets, links, objects, names);
    deleteDFmesh(&cell);
    mel("createNode zylMeshOpNode -n op; connectAttr " + names[0].str() + ".outMesh op.inMesh");
    mel("setAttr op.operationType 1; setAttr op.operationIter 3");
}

void BM_SubdivideShardCutFacesLevel3(benchmark::State& state) {
    makeShardScene();
    MSelectionList list;
    MObject op;
    list.add("op");
    list.getDependNode(0, op);
    MPlug mode = MFnDependencyNode(op).findPlug("operationMode");
    const MPlug out = MFnDependencyNode(op).findPlug("outMesh");
    const int inputFaces = MFnMesh(MFnDependencyNode(op).findPlug("inMesh").asMObject()).numPolygons();
    int faces = 0;
    int flip = 0;
    for (auto _ : state) {
        mode.setValue(flip ^= 1);  // read by no operation: it only dirties the output
        faces = MFnMesh(out.asMObject()).numPolygons();
        benchmark::DoNotOptimize(faces);
    }
    state.counters["inputFaces"] = inputFaces;
    state.counters["faces"] = faces;
    state.SetItemsProcessed(state.iterations());
    host::runtime().reset();
}
BENCHMARK(BM_SubdivideShardCutFacesLevel3)->Unit(benchmark::kMicrosecond);

}  // namespace
