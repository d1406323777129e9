#include <sys/resource.h>

#include <cmath>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "host/io/sceneAttributes.h"
#include "host/io/sceneFile.h"
#include "host/scene/dag.h"
#include "host/scene/meshGeometry.h"
#include "host/scene/meshShape.h"
#include "hostTestSupport.h"

namespace hosttest {
namespace {

std::vector<std::string> seen;
void sceneCode(void* code) { seen.push_back("scene " + std::to_string(*static_cast<int*>(code))); }
void nodeAdded(MObject&, void*) { seen.push_back("added"); }

class SceneFileTest : public HostTest {
protected:
    std::string file(const std::string& name) const {
        const auto dir = std::filesystem::path(::testing::TempDir()) /
                         ::testing::UnitTest::GetInstance()->current_test_info()->name();
        std::filesystem::create_directories(dir);
        return (dir / name).string();
    }
    static std::string bytes(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }
    // A square face with a square hole, a plain triangle, two UV sets (one partly
    // set), a colour set, a locked normal and blind data on a face.
    static host::MeshGeometry holedMesh() {
        host::MeshGeometry g;
        g.points = {{0, 0, 0}, {4, 0, 0}, {4, 4, 0}, {0, 4, 0}, {1, 1, 0}, {1, 3, 0}, {3, 3, 0}, {3, 1, 0}, {5, 0, 0.1f}};
        g.uvSets.push_back(host::UVSetData{"map1", {}, {}, {}});
        g.addPolygon({{0, 1, 2, 3}, {4, 5, 6, 7}});
        g.addPolygon({{1, 8, 2}});
        auto& uv = g.uvSets[0];
        for (int k = 0; k < g.numFaceVertices(); ++k) {
            uv.u.push_back(0.125f * k);
            uv.v.push_back(1.0f / 3.0f);
            uv.ids[k] = k == 3 ? -1 : k;
        }
        g.uvSets.push_back(host::UVSetData{"second", {0.5f}, {0.25f}, std::vector<int>(g.numFaceVertices(), 0)});
        g.currentUVSet = 1;
        g.colorSets.push_back(host::ColorSetData{"colorStresses", std::vector<std::array<float, 4>>(9, {0.1f, 0.2f, 0.3f, 1}),
                                                 std::vector<char>(9, 1)});
        g.colorSets[0].has[4] = 0;
        g.currentColorSet = 0;
        g.normalLocked[2] = 1;
        g.lockedNormals[2] = {0, 0.6f, 0.8f};
        g.blindData[70111001][static_cast<int>(MFn::kMeshPolygonComponent)][1]["cellId"] = 7;
        return g;
    }
};

TEST_F(SceneFileTest, SaveOpenSaveKeepsEverything) {
    loadToy(true);
    const host::MeshGeometry mesh = holedMesh();
    ASSERT_TRUE(mel("createNode toyNode -n t; addAttr -ln extra -at double -dv 2 t; setAttr t.extra 4.5; "
                    "setAttr t.input 2.5; setAttr t.kind 1; createNode toyNode -n u; connectAttr t.output u.input; "
                    "setKeyframe -t 3 -v 1.5 -at nested t; setKeyframe -t 9 -v 4 -at nested t; "
                    "createNode transform -n holed; createNode mesh -n holedShape -p holed; "
                    "lockNode -l true u; playbackOptions -min 2 -max 30; currentTime 5"));
    rt().blindDataTypes[70111001] = host::BlindDataType{{"cellId"}, {"cid"}, {"int"}};
    ASSERT_TRUE(host::setShapeGeometry(node("holedShape").id(), mesh));
    ASSERT_TRUE(mel("sets -e -fe initialShadingGroup holed.f[1]"));

    const std::string first = file("a.scene"), second = file("b.scene");
    ASSERT_TRUE(mel("file -rename \"" + first + "\"; file -save"));
    ASSERT_TRUE(mel("file -open \"" + first + "\"")) << bytes(first);
    ASSERT_TRUE(mel("file -rename \"" + second + "\"; file -save"));
    EXPECT_EQ(bytes(first), bytes(second));

    // Module node: stored values back, connected destinations and locks as they were.
    EXPECT_EQ(plug("t", MFnDependencyNode(node("t")).attribute("extra")).asDouble(), 4.5);
    EXPECT_EQ(melText("getAttr t.input"), "2.5");
    EXPECT_TRUE(rt().scene.findByName("u")->locked);
    EXPECT_FALSE(mel("delete u"));
    EXPECT_NE(bytes(first).find("connectAttr \"t.output\" \"u.input\""), std::string::npos);
    EXPECT_NE(bytes(first).find("setAttr \".memberFaces[0]\" -type \"components\" 541 1;"), std::string::npos);

    const auto back = host::shapeMeshData(node("holedShape").id());
    ASSERT_TRUE(back);
    const host::MeshGeometry& g = back->geometry;
    EXPECT_EQ(g.points, mesh.points);
    EXPECT_EQ(g.faceVertices, mesh.faceVertices);
    EXPECT_EQ(g.polygonLoops, mesh.polygonLoops);
    EXPECT_EQ(g.normalLocked, mesh.normalLocked);
    EXPECT_EQ(g.lockedNormals[2], mesh.lockedNormals[2]);
    ASSERT_EQ(g.uvSets.size(), 2u);
    EXPECT_EQ(g.uvSets[0].ids, mesh.uvSets[0].ids);
    EXPECT_EQ(g.uvSets[0].u, mesh.uvSets[0].u);
    EXPECT_EQ(g.uvSets[1].name, "second");
    EXPECT_EQ(g.currentUVSet, 1);
    ASSERT_EQ(g.colorSets.size(), 1u);
    EXPECT_EQ(g.colorSets[0].has, mesh.colorSets[0].has);
    EXPECT_EQ(g.colorSets[0].colors, mesh.colorSets[0].colors);
    EXPECT_EQ(g.blindData, mesh.blindData);
    EXPECT_EQ(rt().blindDataTypes.count(70111001), 1u);
}

TEST_F(SceneFileTest, OpenSendsFiveThenSixWithoutNodeAddedOrComputes) {
    loadToy(true);
    ASSERT_TRUE(mel("createNode toyNode -n t; setAttr t.input 3"));
    const std::string path = file("m.scene");
    ASSERT_TRUE(host::io::saveScene(path));
    int before = 5, after = 6;
    MSceneMessage::addCallback(MSceneMessage::kBeforeOpen, sceneCode, &before);
    MSceneMessage::addCallback(MSceneMessage::kAfterOpen, sceneCode, &after);
    MDGMessage::addNodeAddedCallback(nodeAdded);
    seen.clear();
    const int destroyed = toy::Stats::destroyed, constructed = toy::Stats::constructed;
    const int computes = toy::Stats::unmarkedComputes;
    ASSERT_TRUE(mel("file -f -open \"" + path + "\""));
    EXPECT_EQ(seen, (std::vector<std::string>{"scene 5", "scene 6"}));
    // The old module node was destroyed and a fresh one built, without computes.
    EXPECT_EQ(toy::Stats::destroyed, destroyed + 1);
    EXPECT_EQ(toy::Stats::constructed, constructed + 1);
    EXPECT_EQ(toy::Stats::unmarkedComputes, computes);
    EXPECT_EQ(melText("getAttr t.input"), "3");
    EXPECT_EQ(rt().undo.size(), 0u);
}

TEST_F(SceneFileTest, UnknownTypeIsReportedAndOpenFails) {
    const std::string path = file("u.scene");
    std::ofstream(path) << "createNode noSuchType -n \"x\";\nsetAttr \".a\" 1.0;\ncreateNode transform -n \"kept\";\n"
                           "endScene;\n";
    const MStatus st = host::io::openScene(path);
    EXPECT_FALSE(st);
    EXPECT_EQ(st.errorString().str(), path + ":1: unknown node types were skipped.");
    EXPECT_TRUE(rt().log.contains(host::LogKind::Error, "noSuchType"));
    EXPECT_TRUE(node("kept").id() != 0);
}

TEST_F(SceneFileTest, InstancesCompoundsAndDataValuesRoundTrip) {
    ASSERT_TRUE(mel("makeMesh -cube -n box; instance -n copy box; createNode transform -n late; "
                    "makeCurve -pt 0 0 0 -pt 1 2 0 -pt 2 0 1 -pt 3 1 0 -n crv"));
    host::Scene& scene = rt().scene;
    host::Node* shape = scene.findByName("boxShape");
    host::Node* late = scene.findByName("late");
    ASSERT_TRUE(host::dag::addChild(late->id, shape->id));  // a parent made after its child

    // A dynamic array of compounds (a string and a float3), a matrix and a time.
    auto cells = std::make_shared<host::Attribute>();
    cells->longName = cells->shortName = "cells";
    cells->kind = host::AttrKind::Compound;
    cells->array = true;
    MFnTypedAttribute typed;
    MFnNumericAttribute numeric;
    const MObject label = typed.create("cellName", "cn", MFnData::kString);
    const MObject pos = numeric.createColor("cellPos", "cp");
    for (const MObject& child : {label, pos}) {
        child.attribute()->parent = cells.get();
        child.attribute()->childIndex = static_cast<int>(cells->children.size());
        cells->children.push_back(child.attribute());
    }
    host::Node* box = scene.findByName("box");
    ASSERT_TRUE(scene.addDynamicAttribute(*box, cells));
    MFnDependencyNode fn(node("box"));
    ASSERT_TRUE(fn.addAttribute(typed.create("pose", "ps", MFnData::kMatrix)));
    MFnUnitAttribute unit;
    ASSERT_TRUE(fn.addAttribute(unit.create("when", "wh", MTime(2.0, MTime::kFilm))));
    const MPlug element = fn.findPlug("cells").elementByLogicalIndex(3);
    ASSERT_TRUE(element.child(0).setValue(MString("a \"quoted\" name")));
    ASSERT_TRUE(element.child(1).child(2).setValue(-0.125));
    MMatrix m;
    m[3][0] = 1.0 / 3.0;
    MFnMatrixData matrix;
    ASSERT_TRUE(fn.findPlug("pose").setValue(matrix.create(m)));
    ASSERT_TRUE(fn.findPlug("when").setValue(MTime(7.5, MTime::kPALFrame)));

    const std::string first = file("a.scene"), second = file("b.scene");
    ASSERT_TRUE(host::io::saveScene(first));
    ASSERT_TRUE(host::io::openScene(first)) << bytes(first);
    ASSERT_TRUE(host::io::saveScene(second));
    EXPECT_EQ(bytes(first), bytes(second));

    std::vector<std::string> parents;
    for (const auto p : rt().scene.findByName("boxShape")->parents) parents.push_back(rt().scene.find(p)->name);
    EXPECT_EQ(parents, (std::vector<std::string>{"box", "copy", "late"}));
    MFnDependencyNode back(node("box"));
    const MPlug e = back.findPlug("cells").elementByLogicalIndex(3);
    EXPECT_EQ(e.child(0).asString(), MString("a \"quoted\" name"));
    EXPECT_EQ(e.child(1).child(2).asDouble(), -0.125);
    EXPECT_EQ(MFnMatrixData(back.findPlug("pose").asMObject()).matrix()[3][0], 1.0 / 3.0);
    EXPECT_EQ(back.findPlug("when").asMTime().value(), 7.5);
    EXPECT_EQ(back.findPlug("when").asMTime().unit(), MTime::kPALFrame);
    MDagPath curve;
    MSelectionList list;
    list.add("crvShape");
    list.getDagPath(0, curve);
    MPointArray cvs;
    MFnNurbsCurve(curve).getCVs(cvs);
    ASSERT_EQ(cvs.length(), 4u);
    EXPECT_EQ(cvs[1].y, 2.0);
}

TEST_F(SceneFileTest, FilesOnlyBuildScenesAndImportsKeepTheirOwnNames) {
    // Anything beyond the scene statements is refused before it runs, as are malformed
    // values; the error names the failing statement's line.
    const std::pair<const char*, const char*> bad[] = {
        {"print \"ran\";\n", "2"},
        {"string $a = \"x\";\n", "2"},
        {"createNode transform -n `ls`;\n", "2"},
        {"loadPlugin \"nowhere.so\";\n", "2"},
        {"createNode mesh -n \"m\" -p \"t\";\nsetAttr \".outMesh\" -type \"mesh\"\n  f 1 3 0 1 2;\n", "3"},
        {"createNode nurbsCurve -n \"c\" -p \"t\";\nsetAttr \".local\" -type \"nurbsCurve\"\n  degree 3\n  knots 0;\n",
         "3"}};
    for (const auto& [text, line] : bad) {
        const std::string path = file("bad.scene");
        std::ofstream(path) << "createNode transform -n \"t\";\n" << text << "endScene;\n";
        const MStatus st = host::io::openScene(path);
        EXPECT_FALSE(st) << text;
        EXPECT_NE(st.errorString().str().find(std::string("bad.scene:") + line + ": "), std::string::npos)
            << st.errorString().str();
        EXPECT_EQ(count(host::LogKind::Print), 0u);
    }
    // Importing next to nodes of the same names: the file's statements reach the file's nodes.
    loadToy(true);
    ASSERT_TRUE(mel("createNode toyNode -n p; createNode toyNode -n q; connectAttr p.output q.input"));
    const std::string path = file("i.scene");
    ASSERT_TRUE(host::io::exportScene(path));
    ASSERT_TRUE(mel("file -import \"" + path + "\""));
    EXPECT_EQ(melText("ls -type toyNode"), "p\nq\np1\nq1\n");
    EXPECT_TRUE(plug("q1", toy::ToyNode::input).isConnected());
    EXPECT_EQ(plug("q1", toy::ToyNode::input).source().node(), node("p1"));
}

TEST_F(SceneFileTest, OpenLoadsAMissingRequiredModule) {
    ASSERT_TRUE(mel(std::string("loadPlugin \"") + TOY_MODULE_PATH + "\"; createNode toyNode -n t; setAttr t.input 2"));
    const std::string path = file("r.scene");
    ASSERT_TRUE(host::io::saveScene(path));
    ASSERT_TRUE(mel("unloadPlugin toyModule"));
    ASSERT_TRUE(host::io::openScene(path)) << bytes(path);
    EXPECT_NE(rt().modules.find("toyModule"), nullptr);
    EXPECT_EQ(melText("getAttr t.input"), "2");
}

TEST_F(SceneFileTest, AFailedSaveKeepsTheOldFile) {
    ASSERT_TRUE(mel("makeMesh -cube -n box"));
    const std::string path = file("s.scene");
    ASSERT_TRUE(host::io::saveScene(path));
    const std::string good = bytes(path);
    ASSERT_TRUE(mel("makeMesh -plane -d 100"));
    // A file-size limit stops the write part-way (its signal ignored, as hostrun does).
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    rlimit small = old;
    small.rlim_cur = 4096;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const MStatus st = host::io::saveScene(path);
    setrlimit(RLIMIT_FSIZE, &old);
    EXPECT_FALSE(st);
    EXPECT_EQ(bytes(path), good);
    const auto folder = std::filesystem::path(path).parent_path();
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), {}), 1);  // no temporary file left
    EXPECT_FALSE(host::io::saveScene(folder.string()));                           // nor is a folder replaced

    // A number that is not finite fails the save, naming its plug: no file holds one.
    ASSERT_TRUE(host::io::saveScene(path));
    const std::string saved = bytes(path);
    MFnDependencyNode box(node("box"));
    for (const double v : {std::nan(""), -HUGE_VAL}) {
        ASSERT_TRUE(box.findPlug("translateY").setValue(v));
        const MStatus refused = host::io::saveScene(path);
        EXPECT_FALSE(refused);
        EXPECT_NE(refused.errorString().str().find("'box.translate' holds a number that is not finite"),
                  std::string::npos)
            << refused.errorString().str();
        EXPECT_EQ(bytes(path), saved);
    }
    // Nor does a value the reader would refuse: a float set beyond single precision.
    ASSERT_TRUE(box.findPlug("translateY").setValue(0.0));
    const MPlug point = MFnDependencyNode(node("boxShape")).findPlug("pnts").elementByLogicalIndex(0);
    ASSERT_TRUE(point.child(1).setValue(1e39));
    const MStatus refused = host::io::saveScene(path);
    EXPECT_NE(refused.errorString().str().find("'boxShape.pnts[0]' takes no 1e+39"), std::string::npos)
        << refused.errorString().str();
    EXPECT_EQ(bytes(path), saved);
}

TEST_F(SceneFileTest, FilesCutShortOrNotRegularChangeNothing) {
    ASSERT_TRUE(mel("makeMesh -sphere -n ball; createNode transform -n keep"));
    const std::string whole = file("whole.scene"), cut = file("cut.scene");
    ASSERT_TRUE(mel("file -rename \"" + whole + "\"; file -save"));
    const std::string text = bytes(whole);
    const auto nodes = rt().scene.nodeIds().size();
    // Cut at every line end and inside every line: refused, naming the file and a line.
    for (std::size_t n = 0; n + 1 < text.size(); n = text.find('\n', n + 1)) {
        for (const std::size_t at : {n, n > 3 ? n - 3 : n}) {
            std::ofstream(cut, std::ios::binary | std::ios::trunc) << text.substr(0, at);
            const MStatus st = host::io::openScene(cut);
            EXPECT_FALSE(st) << at;
            EXPECT_EQ(st.errorString().str().rfind(cut + ":", 0), 0u) << st.errorString().str();
        }
    }
    const std::string folder = std::filesystem::path(cut).parent_path().string();
    EXPECT_FALSE(mel("file -open \"" + folder + "\""));
    EXPECT_TRUE(rt().log.contains(host::LogKind::Error, "not a regular file"));
    EXPECT_EQ(melText("file -q -sn"), whole);  // the scene and its name as they were
    EXPECT_EQ(rt().scene.nodeIds().size(), nodes);
    EXPECT_NE(rt().scene.findByName("keep"), nullptr);
}

TEST_F(SceneFileTest, ValuesAFileCannotHoldAreRefusedAtTheirLine) {
    const std::pair<const char*, const char*> bad[] = {
        {"setAttr \"t.translateX\" inf;", "t.translateX: bad number 'inf'"},
        {"setAttr \"t.rotate\" -type \"double3\" 0 nan 0;", "t.rotate: bad number 'nan'"},
        {"setAttr \"t.translate\" -type \"string\" \"x\";", "'t.translate' takes no text"},
        {"setAttr \"t.translateX[7]\" 1.0;", "'t.translateX[7]' is not an array"},
        {"setAttr \"t.visibility\" 1e30;", "'t.visibility' needs a whole number"},
        {"setAttr \"mShape.outMesh\" -type \"mesh\"\n  v 0 1e40 0;", "bad number in mesh line 'v'"},
        {"connectAttr \"mShape.outMesh\" \"t.translate\";", "carry different kinds of data"},
        // Numbers beyond what the attribute's type holds; enumerators outside their enumeration.
        {"setAttr \"mShape.pnts[0]\" -type \"double3\" 0 -1e39 0;", "outside the single-precision range of 'pntsY'"},
        {"setAttr \"mShape.num\" -type \"numeric\" 12 1 3.5e38 0;", "'3.5e38' lies outside its numeric type's range"},
        {"setAttr \"mShape.num\" -type \"numeric\" 99999 1 2 3;", "unknown numeric type 99999"},
        {"setAttr \"mShape.faces\" -type \"components\" 99999 0;", "unknown component kind 99999"},
        {"addAttr -ln \"odd\" -at \"99999\";", "unknown attribute type '99999'"},
        {"addAttr -ln \"odd\" -dt \"-1\";", "unknown attribute type '-1'"}};
    for (const auto& [text, error] : bad) {
        const std::string path = file("v.scene");
        std::ofstream(path) << "createNode transform -n \"t\";\ncreateNode mesh -n \"mShape\" -p \"t\"; "
                            << "addAttr -ln \"num\" -dt \"numeric\"; addAttr -ln \"faces\" -dt \"componentList\";\n"
                            << text << "\nendScene;\n";
        const MStatus st = host::io::openScene(path);
        EXPECT_FALSE(st) << text;
        EXPECT_EQ(st.errorString().str().rfind(path + ":3: ", 0), 0u) << st.errorString().str();
        EXPECT_NE(st.errorString().str().find(error), std::string::npos) << st.errorString().str();
    }
}

TEST_F(SceneFileTest, CompoundsNestUpToAFixedDepth) {
    // A chain of compounds `depth` levels deep, a number at its end.
    const auto chain = [](int depth) {
        std::string text = "createNode transform -n \"t\";\naddAttr -ln \"c1\" -at \"compound\" -nc 1;\n";
        for (int i = 2; i <= depth; ++i)
            text += "addAttr -ln \"c" + std::to_string(i) + "\" -at \"compound\" -nc 1 -p \"c" + std::to_string(i - 1) +
                    "\";\n";
        return text + "addAttr -ln \"leaf\" -at \"double\" -p \"c" + std::to_string(depth) + "\";\nendScene;\n";
    };
    const int deepest = static_cast<int>(host::io::kMaxAttributeDepth) - 1;  // the leaf is one level more
    const std::string fits = file("fits.scene"), again = file("again.scene"), deep = file("deep.scene");
    std::ofstream(fits) << chain(deepest);
    ASSERT_TRUE(host::io::openScene(fits));
    ASSERT_TRUE(host::io::saveScene(again));
    EXPECT_TRUE(host::io::openScene(again)) << bytes(again);
    // A compound still waiting for children where the file ends is refused at its end.
    std::ofstream(deep) << "createNode transform -n \"t\";\naddAttr -ln \"c1\" -at \"compound\" -nc 2;\nendScene;\n";
    EXPECT_EQ(host::io::openScene(deep).errorString().str(), deep + ":3: a compound attribute misses children");
    // Deeper is refused at the first level too many, however deep the file goes.
    std::ofstream(deep) << chain(20000);
    const MStatus st = host::io::openScene(deep);
    EXPECT_FALSE(st);
    EXPECT_EQ(st.errorString().str().rfind(deep + ":" + std::to_string(deepest + 3) + ": ", 0), 0u)
        << st.errorString().str();
}

TEST_F(SceneFileTest, RequiresLoadsModulesByNameFromTheSearchPathOnly) {
    const std::string path = file("r.scene");
    std::ofstream(path) << "requires -p \"" TOY_MODULE_PATH "\" \"toyModule\";\ncreateNode toyNode -n \"t\";\nendScene;\n";
    unsetenv(host::io::kModulePathVariable);
    const MStatus st = host::io::openScene(path);
    EXPECT_FALSE(st);  // the path the file names is not used
    EXPECT_NE(st.errorString().str().find("module search path"), std::string::npos) << st.errorString().str();
    EXPECT_EQ(rt().modules.find("toyModule"), nullptr);
    setenv(host::io::kModulePathVariable, std::filesystem::path(TOY_MODULE_PATH).parent_path().c_str(), 1);
    EXPECT_TRUE(host::io::openScene(path));
    unsetenv(host::io::kModulePathVariable);
    EXPECT_NE(rt().modules.find("toyModule"), nullptr);
    EXPECT_TRUE(node("t").hasFn(MFn::kDependencyNode));
}

}  // namespace
}  // namespace hosttest
