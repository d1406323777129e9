// The modifier command framework on host scenes: which path a change takes, how the
// chain is wired, what happens to tweaks, blind-data templates and shading, and undo.

#include "src/modifiers/modifierCmd.h"

#include "modifierTestSupport.h"
#include "src/modifiers/modifierBaseNode.h"
#include "src/modifiers/tesselateFacesCmd.h"
#include "src/typeIds.h"

namespace zyltest {
namespace {

using Strings = std::vector<std::string>;

// Counts its calls; the first node takes the shading of `shadingFrom` (default: the
// mesh); the in-place change lifts every point by 1.
class ProbeCmd : public zylModifierCmd {
public:
    MStatus doIt(const MArgList&) override { return applyModifier(); }
    MStatus setupModifierNode(MObject node) override {
        ++setups;
        if (auto* base = dynamic_cast<zylModifierBaseNode*>(MFnDependencyNode(node).userNode()))
            base->saveShadingAndUVSets(shadingFrom.length() > 0 ? shadingFrom : getMeshPath());
        return MS::kFailure;  // not the command's status
    }
    MStatus modifyMeshDirectly(MObject) override {
        ++direct;
        MFnMesh mesh(getMeshPath());
        MFloatPointArray p;
        mesh.getPoints(p);
        for (auto& q : p) q.y += 1.0f;
        return mesh.setPoints(p);
    }
    int setups = 0;
    int direct = 0;
    MDagPath shadingFrom;
};

class ModifierCmd : public ModifierTest {
protected:
    static MPlug pntsChild(const std::string& shape, unsigned index, unsigned child) {
        return plug(shape, "pnts").elementByLogicalIndex(index).child(child);
    }
    static MFloatVector tweak(const std::string& shape, unsigned index) {
        float x = 0, y = 0, z = 0;
        MFnNumericData(plug(shape, "pnts").elementByLogicalIndex(index).asMObject()).getData(x, y, z);
        return {x, y, z};
    }
};

TEST_F(ModifierCmd, HistoryFeedsTheFirstNodeAndZeroTweaksMakeNoPolyTweak) {
    run("makeMesh -cube -n src; makeMesh -cube -n dst; connectAttr srcShape.outMesh dstShape.inMesh");
    run("setAttr dstShape.pnts[3] 0 0 0");
    ProbeCmd cmd;
    MDagPath transform;
    MSelectionList list;
    list.add("dst");
    list.getDagPath(0, transform);
    cmd.setMeshPath(transform);
    cmd.setModifierNodeType(zylTypes::kMeshOp);
    ASSERT_TRUE(cmd.applyModifier());

    EXPECT_EQ(cmd.getMeshPath(), shapePath("dst"));
    EXPECT_EQ(cmd.setups, 1);
    EXPECT_EQ(cmd.direct, 0);
    EXPECT_EQ(nodesOfType("zylMeshOpNode"), (Strings{"zylMeshOpNode1", "zylMeshOpNode2"}));
    EXPECT_EQ(sourceOf(plug("zylMeshOpNode1", "inMesh")), "srcShape");
    EXPECT_EQ(sourceOf(plug("zylMeshOpNode2", "inMesh")), "zylMeshOpNode1");
    EXPECT_EQ(sourceOf(plug("dstShape", "inMesh")), "zylMeshOpNode2");
    EXPECT_TRUE(nodesOfType("polyTweak").empty());
    EXPECT_EQ(MFnDagNode(node("dst")).childCount(), 1u);  // no intermediate copy
    EXPECT_EQ(points("dst"), points("src"));
    EXPECT_EQ(trace("sets"), (Strings{"sets -e -fe initialShadingGroup dstShape.f[0] dstShape.f[1] dstShape.f[2] "
                                      "dstShape.f[3] dstShape.f[4] dstShape.f[5]"}));
}

TEST_F(ModifierCmd, WithoutHistoryTheMeshAsItWasBecomesAnIntermediateCopyWithTheBlindDataTemplate) {
    makeShard("c", 5);
    run("createNode polyMerge -n template; connectAttr template.message cShape.blindDataNodes[0]");
    const auto transforms = nodesOfType("transform");
    ProbeCmd cmd;
    cmd.setMeshPath(shapePath("c"));
    cmd.setModifierNodeType(zylTypes::kMeshOpName);
    ASSERT_TRUE(cmd.applyModifier());

    EXPECT_EQ(cmd.setups, 1);
    EXPECT_EQ(nodesOfType("transform"), transforms);  // the copy's own transform is gone
    MFnDagNode c(node("c"));
    ASSERT_EQ(c.childCount(), 2u);
    MFnDagNode copy(c.child(1));
    EXPECT_TRUE(copy.isIntermediateObject());
    EXPECT_FALSE(MFnDagNode(c.child(0)).isIntermediateObject());
    EXPECT_EQ(sourceOf(plug("zylMeshOpNode1", "inMesh")), copy.name().str());
    EXPECT_EQ(sourceOf(copy.findPlug("blindDataNodes").elementByLogicalIndex(0)), "template");
    EXPECT_FALSE(plug("cShape", "blindDataNodes").elementByLogicalIndex(0).isConnected());
    EXPECT_EQ(cutValues(MFnMesh(copy.object())), (std::vector<int>{0, 0, 0, 0, 0, 1}));
    // The second node keeps its defaults: operation 0 passes the mesh on.
    EXPECT_EQ(plug("zylMeshOpNode2", "operationType").asInt(), 0);
    EXPECT_EQ(points("c"), points(copy.name().str()));
}

TEST_F(ModifierCmd, RecordingOffChangesTheMeshInPlaceAndUndoBringsItBack) {
    run("constructionHistory -tgl off");
    run("makeMesh -cube -n t; setAttr tShape.pnts[1] 0 0.5 0; makeMesh -cube -n u");
    for (const std::string name : {"t", "u"}) {
        const MFloatPointArray before = points(name);
        const auto transforms = nodesOfType("transform");
        ProbeCmd cmd;
        cmd.setMeshPath(shapePath(name));
        cmd.setModifierNodeType(zylTypes::kMeshOp);
        ASSERT_TRUE(cmd.applyModifier()) << name;
        EXPECT_EQ(cmd.direct, 1);
        EXPECT_EQ(cmd.setups, 0);
        EXPECT_TRUE(nodesOfType("zylMeshOpNode").empty());
        EXPECT_EQ(points(name)[0].y, before[0].y + 1.0f);

        ASSERT_TRUE(cmd.revertModifier()) << name;
        EXPECT_EQ(points(name), before) << name;
        EXPECT_FALSE(plug(name + "Shape", "inMesh").isConnected());
        EXPECT_EQ(nodesOfType("transform"), transforms);
        ASSERT_TRUE(cmd.reapplyModifier());
        EXPECT_EQ(cmd.direct, 2);
        EXPECT_EQ(points(name)[0].y, before[0].y + 1.0f);
    }
}

TEST_F(ModifierCmd, ADrivenTweakMovesIntoThePolyTweakAndCountsOnce) {
    run("makeMesh -cube -n c; setAttr cShape.pnts[2] 0.5 0.25 0; createNode transform -n drv; setAttr drv.ty 0.25");
    {
        MDGModifier wire;
        wire.connect(plug("drv", "translateY"), pntsChild("cShape", 2, 1));
        wire.connect(pntsChild("cShape", 2, 0), plug("drv", "translateX"));
        ASSERT_TRUE(wire.doIt());
    }
    const MFloatPointArray before = points("c");
    ProbeCmd cmd;
    cmd.setMeshPath(shapePath("c"));
    cmd.setModifierNodeType(zylTypes::kMeshOp);
    ASSERT_TRUE(cmd.applyModifier());

    ASSERT_EQ(nodesOfType("polyTweak"), (Strings{"polyTweak1"}));
    EXPECT_EQ(sourceOf(plug("polyTweak1", "inputPolymesh")), MFnDagNode(MFnDagNode(node("c")).child(1)).name().str());
    EXPECT_EQ(sourceOf(plug("zylMeshOpNode1", "inMesh")), "polyTweak1");
    const MPlug tweak2 = plug("polyTweak1", "tweak").elementByLogicalIndex(2);
    EXPECT_EQ(sourceOf(tweak2.child(1)), "drv");
    EXPECT_EQ(sourceOf(plug("drv", "translateX")), "polyTweak1");
    EXPECT_FALSE(pntsChild("cShape", 2, 1).isConnected());
    EXPECT_EQ(tweak("cShape", 2), MFloatVector(0, 0, 0));
    EXPECT_EQ(points("c"), before);  // through the polyTweak only

    ASSERT_TRUE(cmd.revertModifier());
    EXPECT_TRUE(nodesOfType("polyTweak").empty());
    EXPECT_EQ(sourceOf(pntsChild("cShape", 2, 1)), "drv");
    EXPECT_EQ(sourceOf(plug("drv", "translateX")), "cShape");
    EXPECT_EQ(tweak("cShape", 2), MFloatVector(0.5f, 0.25f, 0));
    EXPECT_EQ(points("c"), before);

    ASSERT_TRUE(cmd.reapplyModifier());
    EXPECT_EQ(tweak("cShape", 2), MFloatVector(0, 0, 0));
    EXPECT_EQ(points("c"), before);
}

TEST_F(ModifierCmd, NoMeshOrNoValidNodeTypeFailsAndWiresNothing) {
    run("makeMesh -cube -n c; createNode transform -n empty");
    ProbeCmd unset;
    EXPECT_FALSE(unset.applyModifier());  // no path
    ProbeCmd notMesh;
    MSelectionList list;
    list.add("empty");
    MDagPath path;
    list.getDagPath(0, path);
    notMesh.setMeshPath(path);
    notMesh.setModifierNodeType(zylTypes::kMeshOp);
    EXPECT_FALSE(notMesh.applyModifier());
    ProbeCmd noType;
    noType.setMeshPath(shapePath("c"));
    EXPECT_FALSE(noType.applyModifier());
    EXPECT_TRUE(errors().empty());

    ProbeCmd wrongType;
    wrongType.setMeshPath(shapePath("c"));
    wrongType.setModifierNodeType("polyMerge");  // no "outMesh"
    EXPECT_FALSE(wrongType.applyModifier());
    EXPECT_EQ(errors(), (Strings{"Invalid Modifier Node: inMesh and outMesh attributes are required."}));
    EXPECT_EQ(wrongType.setups, 0);
    EXPECT_FALSE(plug("cShape", "inMesh").isConnected());
    EXPECT_TRUE(nodesOfType("polyMerge").empty());
    EXPECT_EQ(MFnDagNode(node("c")).childCount(), 1u);
}

TEST_F(ModifierCmd, ShadingGroupsComeBackOneCommandPerGroupInFirstFaceOrder) {
    run("makeMesh -cube -n c; makeMesh -n p -pts \"0 0 0 1 0 0 2 0 0 0 1 0 1 1 0 2 1 0\" -fc \"0 1 4 3; 1 2 5 4\"");
    run("sets -renderable true -empty -n sgA; sets -renderable true -empty -n sgB");
    run("sets -e -fe sgA cShape.f[1:2] cShape.f[4:5]; sets -e -fe sgB cShape.f[0] cShape.f[3]");
    run("sets -e -fe sgB pShape.f[0]; sets -e -fe sgA pShape.f[1]");
    rt().commandTrace.clear();

    tesselateFacesCmd cmd;
    cmd.setMeshPath(shapePath("c"));
    cmd.setModifierNodeType(zylTypes::kMeshOp);
    ASSERT_TRUE(cmd.applyModifier());
    EXPECT_EQ(trace("sets"), (Strings{"sets -rm sgB cShape", "sets -e  -fe sgB cShape.f[0] cShape.f[3]",
                                      "sets -e  -fe sgA cShape.f[1] cShape.f[2] cShape.f[4] cShape.f[5]"}));
    EXPECT_EQ(groupsOf("c"), (Strings{"sgB", "sgA", "sgA", "sgB", "sgA", "sgA"}));

    // Face set indices shorter than the mesh's faces: the faces past them belong to no set.
    rt().commandTrace.clear();
    run("makeMesh -cube -n d");
    ProbeCmd shorter;
    shorter.setMeshPath(shapePath("d"));
    shorter.shadingFrom = shapePath("p");
    shorter.setModifierNodeType(zylTypes::kMeshOp);
    ASSERT_TRUE(shorter.applyModifier());
    EXPECT_EQ(trace("sets"), (Strings{"sets -e  -fe sgB dShape.f[0]", "sets -e  -fe sgA dShape.f[1]"}));
}

TEST_F(ModifierCmd, RevertAndReapplyAlternateOnASubdividedShard) {
    makeShard("c", 2);
    run("setAttr cShape.pnts[0] 0 0.125 0");
    const MFloatPointArray before = points("c");
    tesselateFacesCmd cmd;
    cmd.setMeshPath(shapePath("c"));
    cmd.setModifierNodeType(zylTypes::kMeshOp);
    cmd.setOperationType(1);
    cmd.setOperationIterations(1);
    ASSERT_TRUE(cmd.applyModifier());
    EXPECT_EQ(MFnMesh(shapePath("c")).numPolygons(), 9);
    EXPECT_EQ(points("c")[0], before[0]);  // the tweak, moved into the polyTweak, counts once

    for (int round = 0; round < 2; ++round) {
        ASSERT_TRUE(cmd.revertModifier());
        EXPECT_EQ(MFnMesh(shapePath("c")).numPolygons(), 6);
        EXPECT_EQ(points("c"), before);
        EXPECT_EQ(tweak("cShape", 0), MFloatVector(0, 0.125f, 0));
        EXPECT_FALSE(plug("cShape", "inMesh").isConnected());
        EXPECT_TRUE(nodesOfType("zylMeshOpNode").empty());
        EXPECT_TRUE(nodesOfType("polyTweak").empty());
        EXPECT_EQ(MFnDagNode(node("c")).childCount(), 1u);
        EXPECT_EQ(cutValues(MFnMesh(shapePath("c"))), (std::vector<int>{0, 0, 1, 0, 0, 0}));

        ASSERT_TRUE(cmd.reapplyModifier());
        EXPECT_EQ(MFnMesh(shapePath("c")).numPolygons(), 9);
        EXPECT_EQ(sourceOf(plug("cShape", "inMesh")), "zylMeshOpNode2");
        EXPECT_EQ(tweak("cShape", 0), MFloatVector(0, 0, 0));
        EXPECT_EQ(points("c")[0], before[0]);
    }
}

}  // namespace
}  // namespace zyltest
