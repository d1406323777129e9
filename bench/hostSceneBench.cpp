// The host stand-in's scene work per frame: a time change through keyed
// transforms to the world meshes read below them, a shape with history evaluated
// again (with and without edits laid over it), mesh reading, and the triangulation of
// concave and holed polygons.

#include <benchmark/benchmark.h>

#include <cmath>

#include "host/api/hostApi.h"
#include "host/core/runtime.h"
#include "host/mel/interpreter.h"
#include "host/scene/meshGeometry.h"

namespace {

void run(const std::string& mel) { host::runtime().mel().run(mel, false); }

MPlug worldMesh(const std::string& shape) {
    MSelectionList list;
    list.add(MString(shape.c_str()));
    MObject node;
    list.getDependNode(0, node);
    return MPlug(node, MFnDependencyNode(node).attribute("worldMesh")).elementByLogicalIndex(0);
}

// n keyed groups, each holding a sphere whose world mesh is read every frame.
void BM_FrameThroughKeyedTransforms(benchmark::State& state) {
    host::runtime().reset();
    host::runtime().log.setQuiet(true);
    const int n = static_cast<int>(state.range(0));
    std::vector<MPlug> meshes;
    for (int i = 0; i < n; ++i) {
        const std::string id = std::to_string(i);
        std::string mel = "makeMesh -sphere -d 16 -n s#; group -n g# s#; setKeyframe -t 1 -v 0 -at translateX g#;"
                          "setKeyframe -t 100 -v 50 -at translateX g#";
        for (auto at = mel.find('#'); at != std::string::npos; at = mel.find('#')) mel.replace(at, 1, id);
        run(mel);
        meshes.push_back(worldMesh(std::string("s").append(id).append("Shape")));
    }
    int frame = 1;
    for (auto _ : state) {
        MAnimControl::setCurrentTime(MTime(frame));
        frame = frame % 100 + 1;
        for (const MPlug& p : meshes) benchmark::DoNotOptimize(p.asMObject());
    }
    state.SetItemsProcessed(state.iterations() * n);
    host::runtime().reset();
}
BENCHMARK(BM_FrameThroughKeyedTransforms)->Arg(8)->Arg(64);

// A sphere's shape fed through a tweak node whose tweak changes every round, so that
// the shape computes its outMesh again; with range(1) set the shape holds a colour set
// painted on it, laid over every new input.
void BM_ShapeWithHistoryReevaluates(benchmark::State& state) {
    host::runtime().reset();
    host::runtime().log.setQuiet(true);
    run("makeMesh -sphere -d " + std::to_string(state.range(0)) + " -n src; makeMesh -sphere -d " +
        std::to_string(state.range(0)) + " -n dst; createNode polyTweak -n tw;"
        "connectAttr srcShape.outMesh tw.inputPolymesh; connectAttr tw.output dstShape.inMesh");
    MSelectionList list;
    list.add("dstShape");
    MDagPath path;
    list.getDagPath(0, path);
    if (state.range(1) != 0) {
        MFnMesh fn(path);
        fn.setCurrentColorSetName(fn.createColorSetWithName("paint"));
        fn.setVertexColors(MColorArray{MColor(1, 0, 0, 1)}, MIntArray{0});
    }
    const MPlug out(path.node(), MFnDependencyNode(path.node()).attribute("outMesh"));
    int round = 0;
    for (auto _ : state) {
        run("setAttr tw.tweak[0] 0 " + std::to_string(round++ % 2) + " 0");
        benchmark::DoNotOptimize(out.asMObject());
    }
    host::runtime().reset();
}
BENCHMARK(BM_ShapeWithHistoryReevaluates)->Args({16, 0})->Args({16, 1})->Args({64, 0})->Args({64, 1});

// What a mesh reader does: points and normals in world space, then every polygon's corners and normal.
void BM_ReadMeshWorldSpace(benchmark::State& state) {
    host::runtime().reset();
    host::runtime().log.setQuiet(true);
    std::string mel = "makeMesh -sphere -n s; xform -t 1 2 3 -ro 10 20 30 s";
    mel.insert(16, std::string(" -d ").append(std::to_string(state.range(0))));
    run(mel);
    MSelectionList list;
    list.add("sShape");
    MDagPath path;
    list.getDagPath(0, path);
    for (auto _ : state) {
        MFnMesh fn(path);
        MPointArray points;
        MFloatVectorArray normals;
        fn.getPoints(points, MSpace::kWorld);
        fn.getNormals(normals, MSpace::kWorld);
        MIntArray vertices;
        MVector n;
        for (MItMeshPolygon it(path.node()); !it.isDone(); it.next()) {
            it.getVertices(vertices);
            it.getNormal(n);
        }
        benchmark::DoNotOptimize(points.length() + normals.length());
    }
    host::runtime().reset();
}
BENCHMARK(BM_ReadMeshWorldSpace)->Arg(16)->Arg(64);

// A star-shaped polygon of n points with a square hole: ear clipping after the bridge.
void BM_TriangulateHoledStar(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    host::MeshGeometry mesh;
    std::vector<int> outer, hole;
    for (int i = 0; i < 2 * n; ++i) {
        const double a = M_PI * i / n, r = i % 2 ? 4.0 : 10.0;
        mesh.points.push_back({static_cast<float>(r * std::cos(a)), static_cast<float>(r * std::sin(a)), 0.0f});
        outer.push_back(i);
    }
    for (const auto& [x, y] : {std::pair{1, 1}, {1, -1}, {-1, -1}, {-1, 1}}) {
        hole.push_back(static_cast<int>(mesh.points.size()));
        mesh.points.push_back({static_cast<float>(x), static_cast<float>(y), 0.0f});
    }
    mesh.addPolygon({outer, hole});
    for (auto _ : state) benchmark::DoNotOptimize(host::triangulatePolygon(mesh, 0));
    state.SetItemsProcessed(state.iterations() * 2 * n);
}
BENCHMARK(BM_TriangulateHoledStar)->Arg(8)->Arg(64);

}  // namespace
