#include <fstream>
#include <iterator>

#include "host/io/sceneFile.h"
#include "hostTestSupport.h"

namespace hosttest {
namespace {

using Shading = HostTest;

MDagPath pathOf(const std::string& name) {
    MSelectionList list;
    list.add(MString(name.c_str()));
    MDagPath p;
    list.getDagPath(0, p);
    p.extendToShape();
    return p;
}

// Per polygon the name of its group ("" for none), from getConnectedShaders.
std::vector<std::string> groupsOf(const std::string& mesh) {
    MObjectArray sets;
    MIntArray indices;
    EXPECT_TRUE(MFnMesh(pathOf(mesh)).getConnectedShaders(0, sets, indices));
    std::vector<std::string> out;
    for (const int i : indices) out.push_back(i < 0 ? "" : MFnDependencyNode(sets[static_cast<unsigned>(i)]).name().str());
    return out;
}

TEST_F(Shading, DefaultsAndExclusiveFaceMembership) {
    EXPECT_EQ(melText("ls -et lambert"), "lambert1\n");
    // Primitives join the initial group whole; meshes made through the API join nothing.
    mel("makeMesh -cube -n c");
    EXPECT_EQ(groupsOf("c"), std::vector<std::string>(6, "initialShadingGroup"));
    MFnMesh api;
    api.create(4, 1, MFloatPointArray{{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}}, MIntArray{4}, MIntArray{0, 1, 2, 3});
    EXPECT_EQ(groupsOf("mesh1"), std::vector<std::string>{""});

    EXPECT_EQ(melText("sets -renderable true -noSurfaceShader true -empty -name cutSG"), "cutSG");
    EXPECT_TRUE(mel("sets -e -fe cutSG"));  // no face: nothing changes
    ASSERT_TRUE(mel("sets -e -fe cutSG c.f[1] c.f[3:4]"));
    const std::string I = "initialShadingGroup", C = "cutSG";
    EXPECT_EQ(groupsOf("c"), (std::vector<std::string>{I, C, I, C, C, I}));
    // The order is that of each group's first face.
    ASSERT_TRUE(mel("sets -e  -fe cutSG c.f[0]"));
    MObjectArray sets;
    MIntArray indices;
    MFnMesh(pathOf("c")).getConnectedShaders(0, sets, indices);
    EXPECT_EQ(MFnDependencyNode(sets[0]).name(), "cutSG");
    EXPECT_EQ(indices, (MIntArray{0, 0, 1, 0, 0, 1}));
    // Removing leaves the faces in no group; the whole object back in one group leaves the other.
    ASSERT_TRUE(mel("sets -rm cutSG c.f[0]"));
    EXPECT_EQ(groupsOf("c")[0], "");
    ASSERT_TRUE(mel("sets -e -fe initialShadingGroup c"));
    EXPECT_EQ(groupsOf("c"), std::vector<std::string>(6, I));
    EXPECT_FALSE(mel("sets -e -fe noSuchSG c"));
}

// A member deleted for good leaves no faces behind in its sets; one whose deletion is
// undone comes back with its faces.
TEST_F(Shading, DeletedMembersLeaveNoFacesBehind) {
    mel("makeMesh -cube -n a; makeMesh -cube -n b; makeMesh -cube -n c");
    mel("sets -renderable true -noSurfaceShader true -empty -name cutSG; sets -e -fe cutSG a.f[1] b.f[2] c.f[3]");
    {
        MDagModifier undone;
        undone.deleteNode(node("b"));
        ASSERT_TRUE(undone.doIt() && undone.undoIt());
        MDagModifier kept;
        kept.deleteNode(node("c"));
        ASSERT_TRUE(kept.doIt());
    }
    mel("delete a");
    EXPECT_EQ(groupsOf("b")[2], "cutSG");
    const std::string path = ::testing::TempDir() + "members.scene";
    ASSERT_TRUE(host::io::saveScene(path));
    std::ifstream in(path);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(text.find("memberFaces[0]"), std::string::npos);
    EXPECT_EQ(text.find("memberFaces[2]"), std::string::npos);
    EXPECT_NE(text.find("memberFaces[1]\" -type \"components\" 541 2;"), std::string::npos) << text;
}

TEST_F(Shading, CutMaterialIsMadeOnceAndFoundAgain) {
    mel("makeMesh -cube -n c");
    // The material script of a shatter: the attribute lands on the new shader (the selection).
    EXPECT_EQ(melText("shadingNode -asShader lambert -n cutMat"), "cutMat");
    ASSERT_TRUE(mel("addAttr -sn \"cm\" -ln \"cutmat\" -at \"message\" "));
    EXPECT_EQ(melText("sets -renderable true -noSurfaceShader true -empty -name cutMatSG"), "cutMatSG");
    ASSERT_TRUE(mel("connectAttr -f cutMat.outColor cutMatSG.surfaceShader"));
    ASSERT_TRUE(mel("setAttr cutMat.color 0 0.5 0"));
    EXPECT_EQ(melText("getAttr cutMatSG.surfaceShader"), "0\n0.5\n0\n");
    ASSERT_TRUE(mel("sets -e -fe cutMatSG c.f[2]"));
    EXPECT_EQ(groupsOf("c")[2], "cutMatSG");
    // The next shatter finds it by name and marker instead of making another.
    EXPECT_EQ(melText("ls -et lambert"), "lambert1\ncutMat\n");
    EXPECT_EQ(melText("attributeQuery -node cutMat -ex \"cutmat\""), "1");
    EXPECT_EQ(melText("attributeQuery -node lambert1 -ex \"cutmat\""), "0");
    // Asking for a taken name gives a fresh one, which the caller then uses.
    EXPECT_EQ(melText("shadingNode -asShader lambert -n cutMat"), "cutMat1");
}

}  // namespace
}  // namespace hosttest
