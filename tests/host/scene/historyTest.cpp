#include <filesystem>
#include <fstream>
#include <sstream>

#include "host/io/sceneFile.h"
#include "host/scene/dag.h"
#include "hostTestSupport.h"

namespace hosttest {
namespace {

using History = HostTest;

MDagPath pathOf(const std::string& name) {
    MSelectionList list;
    list.add(MString(name.c_str()));
    MDagPath p;
    list.getDagPath(0, p);
    p.extendToShape();
    return p;
}

MPlug plugOf(const std::string& name, const char* attr) {
    MSelectionList list;
    list.add(MString(name.c_str()));
    MObject n;
    list.getDependNode(0, n);
    return MPlug(n, MFnDependencyNode(n).attribute(attr));
}

TEST_F(History, TweaksStayOutOfOutMesh) {
    mel("makeMesh -plane -s 2 -n p; setAttr pShape.pnts[1] 0 1 0");
    MFnMesh fn(pathOf("p"));
    MFloatPointArray read, own;
    fn.getPoints(read);
    MFnMesh(plugOf("pShape", "outMesh").asMObject()).getPoints(own);
    EXPECT_EQ(read[1].y, own[1].y + 1.0f);  // function-set reads include the tweak, outMesh does not
    EXPECT_EQ(read[0], own[0]);
}

TEST_F(History, DuplicateIntermediateCopyAndPolyTweakRestoreExactly) {
    mel("makeMesh -cube -n c; setAttr cShape.pnts[2] 0 0 1");
    MFloatPointArray original;
    MFnMesh(pathOf("c")).getPoints(original);
    // The copy: a new transform whose first child is the copied shape.
    MFnDagNode shape(pathOf("c"));
    MStatus st;
    const MObject copy = shape.duplicate(false, false, &st);
    ASSERT_TRUE(st);
    MFnDagNode copyFn(copy);
    const MObject copyShape = copyFn.child(0);
    ASSERT_TRUE(copyShape.hasFn(MFn::kMesh));
    MFnDagNode(copyShape).setIntermediateObject(true);
    EXPECT_TRUE(MFnDagNode(copyShape).isIntermediateObject());
    EXPECT_EQ(MFnMesh(copyShape).numPolygons(), 6);

    // History through a polyTweak carrying the tweak: input, tweak node, shape.
    const std::string tweak = melText("createNode polyTweak");
    const std::string copyName = MFnDependencyNode(copyShape).name().str();
    ASSERT_TRUE(mel("setAttr cShape.pnts[2] 0 0 0; setAttr " + tweak + ".tweak[2] 0 0 1"));
    ASSERT_TRUE(mel("connectAttr " + copyName + ".outMesh " + tweak + ".inputPolymesh"));
    ASSERT_TRUE(mel("connectAttr " + tweak + ".output cShape.inMesh"));
    ASSERT_TRUE(mel("dgeval -src cShape.inMesh"));
    MFloatPointArray through;
    MFnMesh(pathOf("c")).getPoints(through);
    // The copy held the untweaked outMesh; the tweak node adds the tweak back once.
    EXPECT_EQ(through, original);
    EXPECT_EQ(MObject(pathOf("c").node()).apiType(), MFn::kMesh);
    EXPECT_EQ(node(tweak).apiType(), MFn::kPolyTweak);

    // Undone by hand: disconnect, the shape keeps its last input; the tweak back on the shape.
    ASSERT_TRUE(mel("disconnectAttr " + tweak + ".output cShape.inMesh"));
    ASSERT_TRUE(mel("delete " + tweak));
    MFnMesh(pathOf("c")).getPoints(through);
    EXPECT_EQ(through[2].z, original[2].z);
    EXPECT_EQ(melText("duplicate c"), "c2\n");  // c1 is the first copy
    EXPECT_EQ(MFnMesh(pathOf("c2")).numVertices(), 8);
}

TEST_F(History, ColourNodesPassTheirMeshThroughUnderTheirKinds) {
    mel("makeMesh -cube -n src; makeMesh -plane -n dst");
    const std::string source = melText("createNode colourSetSource");
    const std::string colour = melText("createNode vertexColour");
    EXPECT_EQ(node(source).apiType(), 723);
    EXPECT_EQ(node(colour).apiType(), 722);
    EXPECT_GE(node(melText("createNode polyTweak")).apiType(), MFn::kBase);
    ASSERT_TRUE(mel("connectAttr srcShape.outMesh " + source + ".inMesh"));
    ASSERT_TRUE(mel("connectAttr " + source + ".output " + colour + ".inputPolymesh"));
    ASSERT_TRUE(mel("connectAttr " + colour + ".output dstShape.inMesh"));
    EXPECT_EQ(MFnMesh(pathOf("dst")).numPolygons(), 6);
}

TEST_F(History, EditsOnAShapeWithHistoryOutliveReevaluation) {
    mel("makeMesh -cube -n src; makeMesh -cube -n dst; connectAttr srcShape.outMesh dstShape.inMesh");
    MFnMesh dst(pathOf("dst"));
    ASSERT_TRUE(dst.createBlindDataType(9, MStringArray{"tag"}, MStringArray{"tg"}, MStringArray{"int"}));
    ASSERT_TRUE(dst.setIntBlindData(MIntArray{1, 5}, MFn::kMeshPolygonComponent, 9, "tag", 4));
    ASSERT_TRUE(dst.setFaceVertexNormals(MVectorArray{MVector(0, 1, 0)}, MIntArray{0}, MIntArray{0}));
    MIntArray face5;
    dst.getPolygonVertices(5, face5);
    ASSERT_TRUE(dst.setFaceVertexNormals(MVectorArray{MVector(1, 0, 0)}, MIntArray{5}, MIntArray{face5[0]}));
    dst.setCurrentColorSetName(dst.createColorSetWithName("paint"));
    ASSERT_TRUE(dst.setVertexColors(MColorArray{MColor(1, 0, 0, 1)}, MIntArray{7}));
    MFnMesh src(pathOf("src"));
    MFloatPointArray cubePoints;
    MIntArray cubeCounts, cubeConnects;
    src.getPoints(cubePoints);
    src.getVertices(cubeCounts, cubeConnects);
    // The input changes to two faces: the overlay follows, face 5's value is dropped.
    const MFloatPointArray pts{{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {2, 0, 0}};
    ASSERT_TRUE(src.createInPlace(5, 2, pts, MIntArray{4, 3}, MIntArray{0, 1, 2, 3, 1, 4, 2}));
    EXPECT_EQ(dst.numPolygons(), 2);
    int value = 0;
    EXPECT_TRUE(dst.getIntBlindData(1, MFn::kMeshPolygonComponent, 9, "tag", value));
    EXPECT_EQ(value, 4);
    EXPECT_FALSE(dst.getIntBlindData(5, MFn::kMeshPolygonComponent, 9, "tag", value));
    EXPECT_TRUE(dst.isNormalLocked(0));
    EXPECT_FALSE(src.hasBlindData(MFn::kMeshPolygonComponent));  // the input is never changed
    // Back to six faces: what went past the end stays gone; what fitted stays.
    ASSERT_TRUE(src.createInPlace(8, 6, cubePoints, cubeCounts, cubeConnects));
    ASSERT_EQ(dst.numPolygons(), 6);
    EXPECT_FALSE(dst.getIntBlindData(5, MFn::kMeshPolygonComponent, 9, "tag", value));
    EXPECT_TRUE(dst.getIntBlindData(1, MFn::kMeshPolygonComponent, 9, "tag", value));
    EXPECT_TRUE(dst.isNormalLocked(0));
    EXPECT_FALSE(dst.isNormalLocked(20));  // face 5's first corner
    MColorArray colours;
    ASSERT_TRUE(dst.getVertexColors(colours));
    ASSERT_EQ(colours.length(), 8u);
    EXPECT_EQ(colours[7], MColor(0, 0, 0, 1));
}

// The modifier-command sequence as a module runs it, through graph and DAG
// modifiers: apply (history path or direct path), then revert.
class ModifierSequence {
public:
    explicit ModifierSequence(const std::string& shape) : shape_(plugOf(shape, "message").node()), name_(shape) {}

    MStatus apply(bool recordHistory) {
        history_ = recordHistory;
        const MPlug pnts = plugOf(name_, "pnts");
        for (unsigned i = 0; i < pnts.numElements(); ++i) {
            const MPlug e = pnts.elementByPhysicalIndex(i);
            float x = 0, y = 0, z = 0;
            MFnNumericData(e.asMObject()).getData(x, y, z);
            indices_.append(static_cast<int>(e.logicalIndex()));
            tweaks_.append(MFloatVector(x, y, z));
        }
        if (!history_) {
            // Direct path: the data saved through a throw-away copy, then the mesh edited in place.
            const MObject copy = MFnDagNode(shape_).duplicate();
            saved_ = MPlug(MFnDagNode(copy).child(0), MFnDependencyNode(shape_).attribute("outMesh")).asMObject();
            MGlobal::deleteNode(copy);
            MFloatPointArray points;
            MFnMesh(pathOf(name_)).getPoints(points);
            for (unsigned i = 0; i < points.length(); ++i) points[i].y += 3;
            return MFnMesh(pathOf(name_)).setPoints(points);
        }
        const MObject first = dg_.createNode("polyMerge"), second = dg_.createNode("polyMerge");
        const MObject transform = MFnDagNode(shape_).parent(0);
        // No history: an intermediate copy of the shape under the same transform feeds the chain.
        const MObject copyTransform = MFnDagNode(shape_).duplicate();
        copy_ = MFnDagNode(copyTransform).child(0);
        dag_.reparentNode(copy_, transform);
        dag_.doIt();
        MFnDagNode(copy_).setIntermediateObject(true);
        dag_.deleteNode(copyTransform);
        dag_.doIt();
        const MPlug templ = plugOf(name_, "blindDataNodes").elementByLogicalIndex(0);
        if (!templ.source().isNull()) {
            dg_.disconnect(templ.source(), templ);
            const MPlug copyTemplates(copy_, MFnDependencyNode(copy_).attribute("blindDataNodes"));
            dg_.connect(templ.source(), copyTemplates.elementByLogicalIndex(0));
            dg_.doIt();
        }
        MPlug upstream(copy_, MFnDependencyNode(copy_).attribute("outMesh"));
        if (indices_.length()) {
            // The tweaks move to a polyTweak node, driven channels with them.
            const MObject tweak = dg_.createNode("polyTweak");
            const MPlug tweakArray(tweak, MFnDependencyNode(tweak).attribute("tweak"));
            for (unsigned i = 0; i < indices_.length(); ++i) {
                const MPlug from = pnts.elementByLogicalIndex(indices_[i]);
                MPlug to = tweakArray.elementByLogicalIndex(indices_[i]);
                to.setValue(from.asMObject());
                for (unsigned c = 0; c < 3; ++c)
                    if (const MPlug driver = from.child(c).source(); !driver.isNull()) {
                        dg_.disconnect(driver, from.child(c));
                        dg_.connect(driver, to.child(c));
                    }
            }
            dg_.connect(upstream, MPlug(tweak, MFnDependencyNode(tweak).attribute("inputPolymesh")));
            upstream = MPlug(tweak, MFnDependencyNode(tweak).attribute("output"));
        }
        dg_.connect(upstream, MPlug(first, MFnDependencyNode(first).attribute("inMesh")));
        dg_.connect(MPlug(first, MFnDependencyNode(first).attribute("output")),
                    MPlug(second, MFnDependencyNode(second).attribute("inMesh")));
        dg_.connect(MPlug(second, MFnDependencyNode(second).attribute("output")), plugOf(name_, "inMesh"));
        if (MStatus st = dg_.doIt(); !st) return st;
        plugOf(name_, "inMesh").asMObject();
        return MGlobal::executeCommand(MString("sets -e -fe initialShadingGroup ") + name_.c_str());
    }

    MStatus revert() {
        if (history_) {
            dg_.undoIt();
            pullFrom(copy_);
            dag_.undoIt();
        } else if (indices_.length()) {
            const MObject copy = MFnDagNode(shape_).duplicate();
            const MObject copyShape = MFnDagNode(copy).child(0);
            MPlug(copyShape, MFnDependencyNode(copyShape).attribute("outMesh")).setValue(saved_);
            pullFrom(copyShape);
            MGlobal::deleteNode(copy);
        } else {
            plugOf(name_, "outMesh").setValue(saved_);
        }
        for (unsigned i = 0; i < indices_.length(); ++i) {
            MFnNumericData data;
            const MObject value = data.create(MFnNumericData::k3Float);
            data.setData(tweaks_[i].x, tweaks_[i].y, tweaks_[i].z);
            if (MStatus st = plugOf(name_, "pnts").elementByLogicalIndex(indices_[i]).setValue(value); !st) return st;
        }
        return MS::kSuccess;
    }

    MObject copy() const { return copy_; }

private:
    // The shape's outMesh taken from another shape through a connection made and undone.
    void pullFrom(const MObject& source) {
        MDGModifier temporary;
        temporary.connect(MPlug(source, MFnDependencyNode(source).attribute("outMesh")), plugOf(name_, "inMesh"));
        temporary.doIt();
        MGlobal::executeCommand(MString("dgeval -src ") + name_.c_str() + ".inMesh");
        temporary.undoIt();
    }

    MObject shape_;
    std::string name_;
    bool history_ = false;
    MIntArray indices_;
    MFloatVectorArray tweaks_;
    MObject saved_, copy_;
    MDGModifier dg_;
    MDagModifier dag_;
};

TEST_F(History, EditsOnAShapeWithHistoryOutliveSaveAndOpen) {
    mel("makeMesh -cube -n src; makeMesh -cube -n dst; connectAttr srcShape.outMesh dstShape.inMesh");
    MFnMesh dst(pathOf("dst"));
    ASSERT_TRUE(dst.createBlindDataType(9, MStringArray{"tag"}, MStringArray{"tg"}, MStringArray{"int"}));
    ASSERT_TRUE(dst.setIntBlindData(MIntArray{2}, MFn::kMeshPolygonComponent, 9, "tag", 4));
    dst.setCurrentColorSetName(dst.createColorSetWithName("paint"));
    ASSERT_TRUE(dst.setVertexColors(MColorArray{MColor(1, 0, 0, 1)}, MIntArray{7}));
    const auto dir = std::filesystem::path(::testing::TempDir()) / "historyOverlay";
    std::filesystem::create_directories(dir);
    const std::string first = (dir / "a.scene").string(), second = (dir / "b.scene").string();
    ASSERT_TRUE(host::io::saveScene(first));
    ASSERT_TRUE(host::io::openScene(first));
    // The input evaluates again after the open: the edits are laid over it as before.
    MFnMesh src(pathOf("src"));
    MFloatPointArray points;
    src.getPoints(points);
    points[0].x += 0.5f;
    ASSERT_TRUE(src.setPoints(points));
    MFnMesh reopened(pathOf("dst"));
    EXPECT_EQ(reopened.numVertices(), 8);
    int value = 0;
    EXPECT_TRUE(reopened.getIntBlindData(2, MFn::kMeshPolygonComponent, 9, "tag", value));
    EXPECT_EQ(value, 4);
    MColorArray colours;
    ASSERT_TRUE(reopened.getVertexColors(colours));
    ASSERT_EQ(colours.length(), 8u);
    EXPECT_EQ(colours[7], MColor(1, 0, 0, 1));
    // Put back as saved and evaluated, the scene saves to the same bytes.
    points[0].x -= 0.5f;
    ASSERT_TRUE(src.setPoints(points));
    EXPECT_EQ(reopened.numVertices(), 8);
    ASSERT_TRUE(host::io::saveScene(second));
    const auto bytes = [](const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    };
    EXPECT_EQ(bytes(first), bytes(second));
}

TEST_F(History, ModifierSequenceUndoRestoresTheMeshOnBothPaths) {
    for (const bool recordHistory : {true, false}) {
        SCOPED_TRACE(recordHistory ? "history path" : "direct path");
        rt().reset();
        rt().log.setQuiet(true);
        mel("makeMesh -cube -n c; createNode transform -n drv; setAttr drv.translateX 0.25; "
            "setAttr cShape.pnts[2] 0 0 1; connectAttr drv.translateX cShape.pnts[5].pntsZ; "
            "createNode transform -n templ; connectAttr templ.message cShape.blindDataNodes[0]");
        const auto text = [](const MFloatPointArray& a) {
            std::string s;
            for (unsigned i = 0; i < a.length(); ++i)
                s += std::to_string(a[i].x) + "," + std::to_string(a[i].y) + "," + std::to_string(a[i].z) + " ";
            return s;
        };
        MFloatPointArray original, ownBefore;
        MFnMesh(pathOf("c")).getPoints(original);
        MFnMesh(plugOf("cShape", "outMesh").asMObject()).getPoints(ownBefore);
        ASSERT_EQ(original[5].z, ownBefore[5].z + 0.25f);

        ModifierSequence sequence("cShape");
        ASSERT_TRUE(sequence.apply(recordHistory));
        MFloatPointArray changed;
        MFnMesh(pathOf("c")).getPoints(changed);
        EXPECT_NE(changed, original);
        if (recordHistory) {
            // The intermediate copy sits under the mesh's transform and holds the blind-data
            // template; the tweak driver feeds the polyTweak node now.
            const MObject copy = sequence.copy();
            EXPECT_TRUE(MFnDagNode(copy).isIntermediateObject());
            EXPECT_EQ(MFnDependencyNode(copy).findPlug("blindDataNodes").elementByLogicalIndex(0).source().name(),
                      MString("templ.message"));
            EXPECT_EQ(MFnDagNode(MFnDagNode(copy).parent(0)).name(), MString("c"));
            EXPECT_TRUE(plugOf("cShape", "pnts").elementByLogicalIndex(5).child(2).source().isNull());
        }

        ASSERT_TRUE(sequence.revert());
        MFloatPointArray restored, ownAfter;
        MFnMesh(pathOf("c")).getPoints(restored);
        MFnMesh(plugOf("cShape", "outMesh").asMObject()).getPoints(ownAfter);
        EXPECT_EQ(restored, original) << text(restored) << "\n" << text(original);
        EXPECT_EQ(ownAfter, ownBefore) << text(ownAfter) << "\n" << text(ownBefore);
        EXPECT_FALSE(plugOf("cShape", "inMesh").isConnected());
        EXPECT_EQ(plugOf("cShape", "pnts").elementByLogicalIndex(5).child(2).source().name(),
                  plugOf("drv", "translateX").name());
        EXPECT_EQ(plugOf("cShape", "blindDataNodes").elementByLogicalIndex(0).source().name(), MString("templ.message"));
    }
}

TEST_F(History, DuplicateCarriesDynamicAttributesAndKeepsInstancesInside) {
    ASSERT_TRUE(mel("makeMesh -cube -n a; createNode transform -n g; createNode transform -n b -p g; parent a g; "
                    "addAttr -ln extra -at double -dv 1 aShape; setAttr aShape.extra 4"));
    host::Scene& scene = rt().scene;
    ASSERT_TRUE(host::dag::addChild(scene.findByName("b")->id, scene.findByName("aShape")->id));
    ASSERT_EQ(melText("duplicate g"), "g1\n");
    // One copy of the shape, instanced under both copied transforms, with its own attribute.
    const host::Node* copy = scene.findByName("aShape1");
    ASSERT_NE(copy, nullptr);
    std::vector<std::string> parents;
    for (const auto p : copy->parents) parents.push_back(scene.find(p)->name);
    EXPECT_EQ(parents, (std::vector<std::string>{"a1", "b1"}));
    EXPECT_EQ(scene.findByName("aShape2"), nullptr);
    EXPECT_EQ(melText("getAttr aShape1.extra"), "4");
    ASSERT_TRUE(mel("setAttr aShape1.extra 7"));
    EXPECT_EQ(melText("getAttr aShape.extra"), "4");
    // A shape alone comes under a copy of its first transform, attribute and all.
    const MObject top = MFnDagNode(plugOf("aShape", "message").node()).duplicate();
    EXPECT_EQ(MFnDependencyNode(MFnDagNode(top).child(0)).findPlug("extra").asDouble(), 4.0);
}

TEST_F(History, ModifierNodesCanBeSetUpBeforeDoIt) {
    MDagModifier dag;
    const MObject transform = dag.createNode("mesh");
    // Set up before the modifier runs: the transform's first child is the shape, plugs take values.
    const MObject shape = MFnDagNode(transform).child(0);
    ASSERT_TRUE(shape.hasFn(MFn::kMesh));
    ASSERT_TRUE(MFnDependencyNode(shape).findPlug("pnts").elementByLogicalIndex(1).child(1).setValue(2.0));
    EXPECT_EQ(melText("ls -type mesh"), "");  // not shown yet
    ASSERT_TRUE(dag.doIt());
    EXPECT_EQ(melText("ls -type mesh"), "meshShape1\n");
    EXPECT_EQ(melText("getAttr meshShape1.pnts[1]"), "0\n2\n0\n");
    ASSERT_TRUE(dag.undoIt());
    EXPECT_EQ(melText("ls -type mesh"), "");
    EXPECT_TRUE(MFnDependencyNode(shape).findPlug("pnts").isNull());  // gone again
}

}  // namespace
}  // namespace hosttest
