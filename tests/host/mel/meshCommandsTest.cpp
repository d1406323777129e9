#include <sstream>

#include "host/io/sceneWriters.h"
#include "hostTestSupport.h"

namespace hosttest {
namespace {

using MeshCommands = HostTest;

MDagPath pathOf(const char* name) {
    MSelectionList list;
    list.add(name);
    MDagPath p;
    list.getDagPath(0, p);
    p.extendToShape();
    return p;
}

TEST_F(MeshCommands, BlindDataTypesAndFaceValues) {
    mel("makeMesh -cube -n c");
    // The query answers an empty array until the type exists; a second registration is an error.
    host::Result r;
    ASSERT_TRUE(mel("blindDataType -q -id 70111001", &r));
    EXPECT_EQ(std::get<std::vector<int>>(r), std::vector<int>{});
    const char* declare =
        "blindDataType -id 70111001 -dataType \"int\" -longDataName \"zylCutFace\" -shortDataName \"zcut\"";
    ASSERT_TRUE(mel(declare));
    EXPECT_FALSE(mel(declare));
    ASSERT_TRUE(mel("blindDataType -q -id 70111001", &r));
    EXPECT_EQ(std::get<std::vector<int>>(r), std::vector<int>{70111001});
    ASSERT_TRUE(mel("polyBlindData -id 70111001 -associationType \"face\" -ldn \"zylCutFace\" -ind 1  c.f[0] c.f[3:4]"));
    MIntArray faces, values;
    MFnMesh(pathOf("c")).getIntBlindData(MFn::kMeshPolygonComponent, 70111001, "zylCutFace", faces, values);
    EXPECT_EQ(faces, (MIntArray{0, 3, 4}));
    EXPECT_EQ(values, (MIntArray{1, 1, 1}));
    EXPECT_FALSE(mel("polyBlindData -id 5 -associationType \"face\" -ldn \"x\" -ind 1 c.f[0]"));
}

TEST_F(MeshCommands, EvaluateIdentityAndConfirm) {
    mel("makeMesh -cube -s 2 -n c; group -n P c; xform -t 1 2 3 -s 2 2 2 P");
    host::Result r;
    ASSERT_TRUE(mel("polyEvaluate -wa -ae c", &r));
    EXPECT_DOUBLE_EQ(std::get<std::vector<double>>(r).at(0), 96.0);  // 6 faces of 4x4
    EXPECT_EQ(melText("polyEvaluate -f c"), "6");
    EXPECT_EQ(melText("polyEvaluate -v c"), "8");
    // Folding P into what lies below keeps every world point and leaves P at identity.
    MPointArray before, after;
    MFnMesh(pathOf("c")).getPoints(before, MSpace::kWorld);
    ASSERT_TRUE(mel("makeIdentity -apply true P"));
    MFnMesh(pathOf("c")).getPoints(after, MSpace::kWorld);
    for (unsigned i = 0; i < before.length(); ++i) EXPECT_TRUE(after[i].isEquivalent(before[i], 1e-5)) << i;
    EXPECT_EQ(melText("getAttr P.translate"), "0\n0\n0\n");
    EXPECT_EQ(melText("getAttr P.scale"), "1\n1\n1\n");

    const char* ask = "confirmDialog -title \"ZYL\" -message \"Really?\" -button \"Yes\" -button \"No\" -defaultButton \"No\"";
    EXPECT_EQ(melText(ask), "No");
    mel("hostOption -confirm Yes");
    EXPECT_EQ(melText(ask), "Yes");
    EXPECT_NE(rt().mel().recorded().back().find("Really?"), std::string::npos);

    ASSERT_TRUE(mel("uvLink -uvSet cShape.uvSet[1].uvSetName -texture file1"));
    EXPECT_EQ(melText("uvLink -query -uvSet cShape.uvSet[1].uvSetName"), "file1\n");
    EXPECT_EQ(melText("constructionHistory -q -tgl"), "1");
    ASSERT_TRUE(mel("constructionHistory -tgl false"));
    EXPECT_EQ(melText("constructionHistory -q -tgl"), "0");
    EXPECT_TRUE(mel("dgeval -src cShape.inMesh"));
}

TEST_F(MeshCommands, NumbersIndicesAndValueKindsAreCheckedBeforeUse) {
    ASSERT_TRUE(mel("makeMesh -cube -n c; addAttr -ln count -at long c; "
                    "blindDataType -id 9 -dt \"int\" -ldn \"x\" -sdn \"x\""));
    // Each refused with an error naming what was wrong; nothing changes, nothing
    // overflows or allocates without bound.
    const std::pair<const char*, const char*> refused[] = {
        {"sets -e -forceElement initialShadingGroup c.f[2147483647]", "past the mesh's 6 faces"},
        {"polyBlindData -id 9 -at face -ldn x -ind 1 c.f[0:2000000000]", "past the mesh's 6 faces"},
        {"select c.vtx[8]", "c.vtx[8]"},
        {"makeMesh -plane -d 2147483647", "from 1 to 1000"},
        {"makeMesh -cube -size abc", "-size needs a finite number, not 'abc'"},
        {"setKeyframe -t abc -at translateX c", "-t needs a finite number"},
        {"setAttr c.translateX inf", "'c.translateX' needs a finite number"},
        {"setAttr c.translate 0 nan 0", "'c.translate' needs a finite number"},
        {"setAttr c.count nan", "'c.count' needs a finite number"},
        {"setAttr c.count 1e30", "'c.count' needs a whole number within the integer range"},
        {"setAttr c.tx[7] 5", "'c.tx[7]' is not an array"},
        {"setAttr cShape.outMesh foo", "'cShape.outMesh' takes no text"},
        {"connectAttr cShape.outMesh c.translate", "carry different kinds of data"}};
    for (const auto& [command, error] : refused) {
        EXPECT_FALSE(mel(command)) << command;
        EXPECT_TRUE(rt().log.contains(host::LogKind::Error, error)) << command << ": " << rt().log.text();
    }
    EXPECT_EQ(MFnMesh(pathOf("c")).numPolygons(), 6);
    EXPECT_EQ(melText("getAttr c.translateX"), "0");
    EXPECT_EQ(melText("ls -type mesh"), "cShape\n");
}

TEST_F(MeshCommands, ObjLeavesOutFacesOfFewerThanThreeCorners) {
    ASSERT_TRUE(mel("makeMesh -points \"0 0 0 1 0 0 0 1 0\" -faces \"0 1; 0 1 2; 2\" -n m"));
    std::ostringstream obj;
    EXPECT_EQ(host::io::writeObj(obj), 2);
    EXPECT_EQ(obj.str(), "o |m|mShape\nv 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n");
}

}  // namespace
}  // namespace hosttest
