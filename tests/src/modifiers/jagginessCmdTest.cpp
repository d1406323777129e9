// zylJagginess on the shards of the jagginess scene (a shattered 2-unit cube): history,
// subdivision, displacement, length, flags, bodies, progress and nested groups; the
// direction a cut-face vertex moves along and the faults the command steers clear of.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <set>

#include "modifierTestSupport.h"
#include "src/fractureBodyNode.h"
#include "src/modifiers/jagginessCmd.h"
#include "src/rigidBodyNode.h"

namespace {

class Jagginess : public zyltest::ModifierTest {
protected:
    void SetUp() override {
        ModifierTest::SetUp();
        rt().options.scriptPath.push_back(std::string(HOST_UI_DIR) + "/../../tests/scenes");
        run("source jagginess.mel");
        rt().commandTrace.clear();
    }
    static void jag(const std::string& args) { run("zylJagginess " + args), rt().idle.flush(); }
    static double boxVolume(const std::string& shape) {
        const MBoundingBox b = MFnDagNode(shapePath(shape)).boundingBox();
        return b.width() * b.height() * b.depth();
    }
    static bool traced(const std::string& text) { return !trace(text).empty(); }
    static bool logged(const std::string& text) {
        return std::ranges::any_of(rt().log.records(), [&](const auto& r) { return r.text == text; });
    }
};

TEST_F(Jagginess, SubdividesAndRoughensTheCutFacesOfOneShardThroughItsHistory) {
    // shard ← second node ← first node ← the shard as it was, kept as an intermediate copy
    EXPECT_EQ(sourceOf(plug("cubeShape_shard1", "inMesh")), "zylMeshOpNode2");
    EXPECT_EQ(sourceOf(plug("zylMeshOpNode2", "inMesh")), "zylMeshOpNode1");
    EXPECT_EQ(sourceOf(plug("zylMeshOpNode1", "inMesh")), "cubeShape_shard5");
    const MFnMesh before(shapePath("cubeShape_shard5")), after(shapePath("cubeShape_shard1"));
    EXPECT_TRUE(before.isIntermediateObject());

    // Level 2 makes 4n quads of a cut n-gon; vertices on no cut face stay bit for bit.
    const std::vector<int> values = cutValues(before);
    int expected = before.numPolygons();
    std::set<int> onCut;
    for (int f = 0; f < before.numPolygons(); ++f) {
        if (values[f] != 1) continue;
        MIntArray corners;
        before.getPolygonVertices(f, corners);
        expected += 4 * static_cast<int>(corners.length()) - 1;
        onCut.insert(corners.begin(), corners.end());
    }
    EXPECT_EQ(after.numPolygons(), expected);
    MFloatPointArray p0, p1;
    before.getPoints(p0);
    after.getPoints(p1);
    for (unsigned v = 0; v < p0.length(); ++v) EXPECT_TRUE(onCut.count(static_cast<int>(v)) || p0[v] == p1[v]) << v;
    const double mean = (boxVolume("cubeShape_shard5") + boxVolume("cubeShape_shard2") +
                         boxVolume("cubeShape_shard3") + boxVolume("cubeShape_shard4")) / 4;
    EXPECT_FLOAT_EQ(plug("voronoiNodeShape1", "jaggyLength").asFloat(), 0.02 * std::cbrt(mean));

    // A new strength pushes again from the undisplaced surface.
    MFloatPointArray base;
    MFnMesh(plug("zylMeshOpNode2", "outMesh").asMObject()).getPoints(base);
    const MFloatPointArray full = points("cubeShape_shard1");
    EXPECT_NE(full, base);
    jag("-st 0.5 cubeShape_shard1");
    const MFloatPointArray half = points("cubeShape_shard1");
    for (unsigned v = 0; v < base.length(); ++v) {
        const MVector pushed = MPoint(half[v]) - MPoint(base[v]), once = MPoint(full[v]) - MPoint(base[v]);
        EXPECT_TRUE(pushed.isEquivalent(once * 0.5, 1e-6)) << v;
    }

    // The whole group: the shard with history is left alone.
    jag("-com -res 1 -aff 1 cubeShape_shard2");
    EXPECT_EQ(nodesOfType("zylMeshOpNode").size(), 8u);
    EXPECT_EQ(points("cubeShape_shard1"), half);
    // Again on the shard: a further pair, its displacement kept in a tweak node.
    jag("-com -res 1 cubeShape_shard1");
    EXPECT_EQ(nodesOfType("zylMeshOpNode").size(), 10u);
    EXPECT_EQ(nodesOfType("polyTweak").size(), 1u);
    const auto locked = [] {
        const MFnMesh shard(shapePath("cubeShape_shard1"));
        int count = 0;
        for (int i = 0; i < shard.numFaceVertices(); ++i) count += shard.isNormalLocked(i);
        return count;
    };
    const int hard = locked();
    jag("-sn 1 cubeShape_shard1");
    EXPECT_GT(locked(), hard);

    // A body of the jagged shard is built from the shard before jagginess.
    run("zylSolver; select -r cubeShape_shard1; new_ZYLBody");
    EXPECT_EQ(answer("getAttr meshZylBody1.isJaggy"), "1");
    EXPECT_EQ(sourceOf(plug("meshZylBody1Shape", "inShape")), "cubeShape_shard5");
}

TEST_F(Jagginess, AsksBeforeBodiesLeaveTheSimulation) {
    run("zylSolver; select -r cubeShape_shard2; new_ZYLBody; hostOption -confirm No");
    EXPECT_FALSE(mel("zylJagginess -com cubeShape_shard2"));
    EXPECT_EQ(nodesOfType("zylMeshOpNode").size(), 2u);
    const std::string body = nodesOfType("zylRigidBody")[0];
    EXPECT_TRUE(traced("confirmDialog -title \"ZYL Info\" -message \"WARNNING: rigid body group for " + body +
                       " must be deleted to add jagginess, do you want to proceed?\" -button \"Yes\" -button \"No\" "
                       "-defaultButton \"Yes\"-cancelButton \"No\" -dismissString \"No\""));
    EXPECT_TRUE(logged("you have to delete zyl bodies before adding jagginess"));

    run("hostOption -confirm Yes; createNode fBodyNode -n fb");
    auto* member = userNodeAs<rigidBodyNode>(node(body), rigidBodyNode::id);
    member->setOwner(userNodeAs<FractureBodyNode>(node("fb"), FractureBodyNode::id));
    jag("-com cubeShape_shard2");
    EXPECT_TRUE(traced("deleteZylFBody -deleteBodies fb"));
    member->setOwner(nullptr);
    run("select -r cubeShape_shard3; new_ZYLBody");
    jag("-com cubeShape_shard2");  // a free body: the group's bodies go
    EXPECT_TRUE(nodesOfType("zylRigidBody").empty());
    EXPECT_EQ(nodesOfType("zylMeshOpNode").size(), 6u);
}

// A strength that would push vertices past single precision is refused before anything
// changes: no question about the bodies, no subdivision, no point or setting moved.
TEST_F(Jagginess, RefusesAStrengthWhoseDisplacementIsNotFinite) {
    run("zylSolver; select -r cubeShape_shard2; new_ZYLBody");
    const MFloatPointArray jagged = points("cubeShape_shard1");
    const float strength = plug("voronoiNodeShape1", "jaggyStrenght").asFloat();
    rt().commandTrace.clear();
    for (const char* flags : {"-com -st 1e300 -aff 1", "-st 1e300 -aff 1", "-st 1e300", "-st 1e39 -aff 2"})
        EXPECT_FALSE(mel(std::string("zylJagginess ") + flags + " cubeShape_shard2")) << flags;
    EXPECT_EQ(errors().back(), "strength 1e+39 is too large: the displaced vertices would not be finite");
    EXPECT_TRUE(rt().commandTrace.empty());
    EXPECT_EQ(nodesOfType("zylRigidBody").size(), 1u);
    EXPECT_EQ(nodesOfType("zylMeshOpNode").size(), 2u);
    EXPECT_EQ(points("cubeShape_shard1"), jagged);
    EXPECT_EQ(plug("voronoiNodeShape1", "jaggyStrenght").asFloat(), strength);
}

TEST_F(Jagginess, HonoursRecordingAndTheProgressWindow) {
    const int count = MFnMesh(shapePath("cubeShape_shard4")).numPolygons();
    run("constructionHistory -tgl false");
    jag("-com -res 2 cubeShape_shard4");
    EXPECT_EQ(MFnMesh(shapePath("cubeShape_shard4")).numPolygons(), count);
    EXPECT_EQ(nodesOfType("zylMeshOpNode").size(), 2u);
    run("constructionHistory -tgl true; hostOption -failProgressCall reserve");
    EXPECT_FALSE(mel("zylJagginess -com -aff 1 cubeShape_shard2"));
    EXPECT_EQ(errors().back(), "Progress window already in use.");
    EXPECT_EQ(rt().commandTrace.back(), "undoInfo -swf on");

    run("hostOption -failProgressCall \"\" -cancelProgressAfter 2");  // the third child is not reached
    jag("-com -res 1 -aff 1 cubeShape_shard2");
    EXPECT_EQ(nodesOfType("zylMeshOpNode").size(), 4u);
    EXPECT_TRUE(logged("jaggyness interrupted!"));
    MFloatPointArray undisplaced;
    MFnMesh(plug("zylMeshOpNode4", "outMesh").asMObject()).getPoints(undisplaced);
    EXPECT_NE(points("cubeShape_shard2"), undisplaced);

    run("hostOption -cancelProgressAfter -1 -failProgressCall setTitle");
    testing::internal::CaptureStderr();
    jag("-com -aff 1 cubeShape_shard2");
    EXPECT_NE(testing::internal::GetCapturedStderr().find("\nAPI error detected in src/modifiers/jagginessCmd at line "),
              std::string::npos);
    EXPECT_EQ(nodesOfType("zylMeshOpNode").size(), 8u);
}

TEST_F(Jagginess, WorksThroughNestedShatterGroupsWithTheOutermostLength) {
    run("zylShatter -ns 2 -sed 1 cubeShape_shard3; flushIdle");
    jag("-com -res 1 -aff 2 cubeShape_shard3_shard1");
    // the outer group's four shards (the one with history skipped) and the inner two
    EXPECT_EQ(nodesOfType("zylMeshOpNode").size(), 2u + 2 * 3 + 2 * 2);
    EXPECT_EQ(plug("voronoiNodeShape2", "jaggyLength").asFloat(), plug("voronoiNodeShape1", "jaggyLength").asFloat());
}

TEST_F(Jagginess, RemovesTheSoftNormalNodePastMergeNodesOnlyWithSoftnormal) {
    run("createNode polyTweakUV -n uv; createNode polyMerge -n merge; connectAttr uv.output merge.inMesh");
    run("connectAttr -f merge.output cubeShape_shard2.inMesh");
    jag("-del cubeShape_shard2");
    EXPECT_FALSE(node("uv").isNull());
    jag("-del -sn 1 cubeShape_shard2");
    EXPECT_TRUE(node("uv").isNull());
    EXPECT_FALSE(node("merge").isNull());
}

// The direction at a vertex on every face of the table (normals, cut-face marks).
JaggyDirection around(std::vector<MVector> normals, std::vector<char> cut) {
    MIntArray faces;
    for (unsigned f = 0; f < normals.size(); ++f) faces.append(static_cast<int>(f));
    return jaggyDirection(faces, {std::move(normals), std::move(cut)});
}

TEST(JaggyDirection, FollowsTheCutNormalsAndStaysPutWhereTheyDisagree) {
    EXPECT_EQ(around({{0, -1, 0}}, {1}).direction, MVector(0, 1, 0));
    EXPECT_EQ(around({{0, 0.6, -0.8}, {0.8, 0, 0.6}, {0.8, 0, 0.6}}, {1, 1, 1}).direction, MVector(0.8, 0, 0.6));
    const JaggyDirection three = around({{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}, {1, 1, 1});
    EXPECT_EQ(three.direction, MVector());
    EXPECT_EQ(three.flags, kJaggyCutFace);
    EXPECT_FALSE(around({{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}, {1, 1, 0}).moves());
    EXPECT_EQ(around({{0, 0, 1}}, {0}).flags, kJaggyOtherFace);
    // A cut face in the outer face's plane: nowhere to go, and no NaN.
    EXPECT_EQ(around({{0, 0, 1}, {0, 0, -1}}, {1, 0}).direction, MVector());

    // One cut and one outer direction: the cut normal made perpendicular to the outer one.
    std::mt19937 random(11);
    std::normal_distribution<double> gauss;
    for (int i = 0; i < 200; ++i) {
        const MVector c = MVector(gauss(random), gauss(random), gauss(random)).normal();
        const MVector a = MVector(gauss(random), gauss(random), gauss(random)).normal();
        if (std::fabs(c * a) > 0.99) continue;
        const JaggyDirection r = around({c, a}, {1, 0});
        EXPECT_EQ(r.flags, kJaggyCutFace | kJaggyOtherFace);
        EXPECT_NEAR(r.direction.length(), 1.0, 1e-12);
        EXPECT_NEAR(r.direction * a, 0.0, 1e-6);
        EXPECT_GT(r.direction * around({c}, {1}).direction, 0.0);
    }
}

TEST_F(Jagginess, DefaultLengthAndSoftNormalsSurviveDegenerateInput) {
    run("createNode transform -n empty");
    const MDagPath empty = path("empty");
    EXPECT_EQ(jagginessCmd::defaultJaggyLength(empty), 0.30000001192092896);
    // Two cut faces back to back: their normals cancel, so the corners keep their own.
    run("makeMesh -pts \"0 0 0 1 0 0 0 1 0\" -fc \"0 1 2; 0 2 1\" -n sheet");
    run("polyBlindData -id 70111001 -associationType \"face\" -ldn \"zylCutFace\" -ind 1 sheetShape.f[0:1]");
    jagginessCmd::softenCutFaceNormals(shapePath("sheet"));
    const MFnMesh sheet(shapePath("sheet"));
    for (int i = 0; i < sheet.numFaceVertices(); ++i) EXPECT_FALSE(sheet.isNormalLocked(i)) << i;
}

}  // namespace
