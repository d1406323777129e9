// The face tessellation command called directly, as it is not registered: its texts,
// its selection walk, its undo and redo, and the in-place path's shading.

#include "src/modifiers/tesselateFacesCmd.h"

#include "modifierTestSupport.h"
#include "src/typeIds.h"

namespace zyltest {
namespace {

using Strings = std::vector<std::string>;

class TesselateFacesCmd : public ModifierTest {
protected:
    void SetUp() override {
        ModifierTest::SetUp();
        rt().resultStack.push_back(&result_);
    }
    void TearDown() override {
        rt().resultStack.pop_back();
        ModifierTest::TearDown();
    }
    static MArgList args(const Strings& words) {
        MArgList list;
        for (const auto& w : words) list.addArg(MString(w));
        return list;
    }
    std::string result() const { return host::resultText(result_); }

    host::Result result_;
};

TEST_F(TesselateFacesCmd, WrongArgumentCountListsTheTypes) {
    for (const Strings& words : {Strings{}, Strings{"1", "2"}}) {
        tesselateFacesCmd cmd;
        testing::internal::CaptureStderr();
        EXPECT_FALSE(cmd.doIt(args(words)));
        const std::string printed = testing::internal::GetCapturedStderr();
        EXPECT_EQ(printed.rfind("Expecting one parameter: the operation type.\nValid types are: \n"
                                "   0 - Subdivide edge(s).\n   1 - Subdivide face(s).\n   2 - Extrude edge(s).\n"
                                "   3 - Extrude face(s).\n   4 - Collapse edge(s).\n   5 - Collapse face(s).\n"
                                "   6 - Duplicate face(s).\n   7 - Extract face(s).\n   8 - Split face(s).\n",
                                0),
                  0u)
            << printed;
    }
    EXPECT_EQ(messages(host::LogKind::Error), (Strings{" Expecting one parameter: the operation type.",
                                                       " Expecting one parameter: the operation type."}));
}

TEST_F(TesselateFacesCmd, FirstObjectWithSelectedFacesIsChangedAndUndoneAndRedone) {
    tesselateFacesCmd none;
    EXPECT_FALSE(none.doIt(args({"1"})));
    EXPECT_EQ(messages(host::LogKind::Error), (Strings{"meshOp command failed: Unable to find selected components"}));

    makeShard("a", 3);
    run("makeMesh -cube -n b; select -r a.f[3] a.f[1] b.f[0]");
    tesselateFacesCmd cmd;
    ASSERT_TRUE(cmd.doIt(args({"1"})));
    EXPECT_EQ(result(), "meshOp command succeeded!");
    EXPECT_EQ(messages(host::LogKind::Warning),
              (Strings{"Found more than one object with selected components.",
                       "Only operating on first found object."}));
    EXPECT_EQ(cmd.getMeshPath(), shapePath("a"));
    EXPECT_EQ(plug("zylMeshOpNode1", "operationType").asInt(), 1);
    EXPECT_EQ(plug("zylMeshOpNode1", "operationIter").asInt(), 0);  // never set by doIt: starts at 0
    const MFnComponentListData components(plug("zylMeshOpNode1", "inputComponents").asMObject());
    ASSERT_EQ(components.length(), 1u);
    MIntArray faces;
    MFnSingleIndexedComponent(components[0]).getElements(faces);
    EXPECT_EQ(faces.length(), 2u);
    EXPECT_EQ(sourceOf(plug("aShape", "inMesh")), "zylMeshOpNode2");
    EXPECT_FALSE(plug("bShape", "inMesh").isConnected());

    ASSERT_TRUE(cmd.undoIt());
    EXPECT_EQ(result(), "meshOp undo succeeded!");
    EXPECT_FALSE(plug("aShape", "inMesh").isConnected());
    ASSERT_TRUE(cmd.redoIt());
    EXPECT_EQ(result(), "meshOp command succeeded!");
    EXPECT_EQ(sourceOf(plug("aShape", "inMesh")), "zylMeshOpNode2");
}

TEST_F(TesselateFacesCmd, AFailedApplicationSaysSo) {
    run("makeMesh -cube -n c; select -r c.f[0]");
    ASSERT_EQ(rt().modules.unload(kModule), MS::kSuccess);  // no zylMeshOpNode type to make
    tesselateFacesCmd cmd;
    EXPECT_FALSE(cmd.doIt(args({"1"})));
    EXPECT_EQ(messages(host::LogKind::Error),
              (Strings{"Invalid Modifier Node: inMesh and outMesh attributes are required.",
                       "meshOp command failed!"}));
}

TEST_F(TesselateFacesCmd, DefaultsAreAnEmptyComponentListAndOperationZero) {
    makeShard("s", 1);
    tesselateFacesCmd cmd;
    cmd.setMeshPath(shapePath("s"));
    cmd.setModifierNodeType(zylTypes::kMeshOp);
    ASSERT_TRUE(cmd.applyModifier());
    const MObject components = plug("zylMeshOpNode1", "inputComponents").asMObject();
    EXPECT_FALSE(components.isNull());
    EXPECT_EQ(MFnComponentListData(components).length(), 0u);
    EXPECT_EQ(plug("zylMeshOpNode1", "operationType").asInt(), 0);
    EXPECT_EQ(plug("zylMeshOpNode1", "operationMode").asInt(), 0);
    EXPECT_EQ(MFnMesh(shapePath("s")).numPolygons(), 6);
}

TEST_F(TesselateFacesCmd, InPlaceEachFaceReturnsToItsGroup) {
    run("constructionHistory -tgl off");
    run("makeMesh -cube -n one; makeMesh -cube -n two; sets -renderable true -empty -n sgA");
    run("sets -e -fe sgA twoShape.f[1] twoShape.f[4]");
    rt().commandTrace.clear();
    for (const std::string name : {"one", "two"}) {
        tesselateFacesCmd cmd;
        cmd.setMeshPath(shapePath(name));
        cmd.setModifierNodeType(zylTypes::kMeshOp);
        ASSERT_TRUE(cmd.applyModifier()) << name;
    }
    EXPECT_TRUE(nodesOfType("zylMeshOpNode").empty());
    EXPECT_EQ(trace("sets"),
              (Strings{"sets -e -fe initialShadingGroup oneShape.f[0] oneShape.f[1] oneShape.f[2] oneShape.f[3] "
                       "oneShape.f[4] oneShape.f[5]",
                       "sets -e  -fe initialShadingGroup twoShape.f[0]", "sets -e  -fe sgA twoShape.f[1]",
                       "sets -e  -fe initialShadingGroup twoShape.f[2]",
                       "sets -e  -fe initialShadingGroup twoShape.f[3]",
                       "sets -e  -fe sgA twoShape.f[4]", "sets -e  -fe initialShadingGroup twoShape.f[5]"}));
}

}  // namespace
}  // namespace zyltest
