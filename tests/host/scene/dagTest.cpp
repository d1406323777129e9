#include <cmath>

#include "hostTestSupport.h"

namespace hosttest {
namespace {

using Dag = HostTest;

MDagPath pathOf(const std::string& name) {
    MSelectionList list;
    MDagPath p;
    if (list.add(MString(name.c_str()))) list.getDagPath(0, p);
    return p;
}

MMatrix world(const std::string& name) { return pathOf(name).inclusiveMatrix(); }

TEST_F(Dag, LocalMatrixFollowsThePivotChain) {
    mel("createNode transform -n t; setAttr t.translate 1 2 3; setAttr t.rotateZ 1.5707963267948966;"
        "setAttr t.scale 2 1 1; setAttr t.rotatePivot 1 0 0; setAttr t.scalePivot 0 1 0");
    // A point at the rotate pivot (after scaling) only moves by T.
    const MPoint p = MPoint(1, 0, 0) * world("t");
    // x: scaled about sp (0,1,0): (1,0,0) -> (2,0,0); rotated 90° about rp (1,0,0): (1,1,0); then + T.
    EXPECT_TRUE(p.isEquivalent(MPoint(2, 3, 3), 1e-12)) << p.x << " " << p.y << " " << p.z;
}

TEST_F(Dag, WorldSpaceEditsUnderARotatedScaledParent) {
    mel("createNode transform -n P; setAttr P.rotate 0.3 -0.7 1.1; setAttr P.scale 2 2 2; setAttr P.translate 4 5 6;"
        "createNode transform -n c -p P; setAttr c.rotatePivot 0.2 0.1 -0.3; setAttr c.rotate 0.5 0.1 0.2");
    MFnTransform fn(pathOf("c"));
    // A target pose: rotation q and rotate-pivot position P in the world.
    const MQuaternion q = MEulerRotation(0.4, -0.2, 0.9).asQuaternion();
    const MPoint target(1, -2, 0.5);
    ASSERT_TRUE(fn.translateBy(target - fn.rotatePivot(MSpace::kWorld), MSpace::kWorld));
    ASSERT_TRUE(fn.setRotation(q, MSpace::kWorld));
    EXPECT_TRUE(fn.rotatePivot(MSpace::kWorld).isEquivalent(target, 1e-9));
    MQuaternion back;
    fn.getRotation(back, MSpace::kWorld);
    EXPECT_GE(back.w, 0.0);  // decomposition gives w >= 0
    EXPECT_TRUE(back.asMatrix().isEquivalent(q.asMatrix(), 1e-9));
    // A world move under a non-uniformly scaled parent is exact too.
    mel("setAttr P.scale 2 0.5 3");
    const MPoint before = fn.rotatePivot(MSpace::kWorld);
    ASSERT_TRUE(fn.translateBy(MVector(1, 2, 3), MSpace::kWorld));
    EXPECT_TRUE(fn.rotatePivot(MSpace::kWorld).isEquivalent(before + MVector(1, 2, 3), 1e-9));

    // Rest position: the whole transformation comes back.
    fn.setRestPosition(fn.transformation());
    const MMatrix rest = world("c");
    mel("setAttr c.translate 9 9 9; setAttr c.rotatePivot 0 0 0");
    ASSERT_TRUE(fn.resetFromRestPosition());
    EXPECT_TRUE(world("c").isEquivalent(rest, 1e-12));
}

TEST_F(Dag, ParentGroupAndCenterPivotKeepWorldPlacement) {
    mel("makeMesh -cube -n a; xform -t 1 2 3 -ro 10 20 30 a; makeMesh -cube -n b;"
        "createNode transform -n P; setAttr P.rotate 0.2 0.4 0.1; setAttr P.scale 2 2 2; setAttr P.translate 0 1 0");
    const MMatrix wa = world("a");
    const MMatrix wb = world("b");
    // Shape names act on their transforms.
    EXPECT_EQ(melText("parent aShape P"), "a\n");
    EXPECT_TRUE(world("|P|a").isEquivalent(wa, 1e-9));
    EXPECT_EQ(melText("group -n g a b"), "g");
    EXPECT_TRUE(world("a").isEquivalent(wa, 1e-9));
    EXPECT_TRUE(world("b").isEquivalent(wb, 1e-9));
    EXPECT_EQ(pathOf("a").fullPathName(), "|g|a");
    // A clashing name is raised.
    EXPECT_EQ(melText("group -em -n g"), "g1");
    mel("setAttr aShape.pnts[0] 3 0 0");
    const MMatrix before = world("a");
    ASSERT_TRUE(mel("xform -cp a"));
    EXPECT_TRUE(world("a").isEquivalent(before, 1e-9));
    EXPECT_NE(MFnTransform(pathOf("a")).rotatePivot(MSpace::kTransform).x, 0.0);
    // reparentNode keeps local values.
    mel("setAttr b.translate 5 0 0");
    MDagModifier mod;
    ASSERT_TRUE(mod.reparentNode(node("b"), node("P")));
    ASSERT_TRUE(mod.doIt());
    EXPECT_EQ(MFnTransform(pathOf("b")).getTranslation(MSpace::kTransform), MVector(5, 0, 0));
}

TEST_F(Dag, InstancesPathsAndIteration) {
    mel("makeMesh -cube -n a; createNode transform -n top; parent a top; instance -n inst top; xform -t 10 0 0 inst");
    MDagPathArray paths;
    MDagPath::getAllPathsTo(node("aShape"), paths);
    ASSERT_EQ(paths.length(), 2u);
    EXPECT_EQ(paths[0].fullPathName(), "|top|a|aShape");
    EXPECT_EQ(paths[1].fullPathName(), "|inst|a|aShape");
    EXPECT_EQ(paths[1].instanceNumber(), 1u);
    EXPECT_TRUE(paths[0].isInstanced());  // through the instanced parent a
    EXPECT_FALSE(pathOf("top").isInstanced());
    MDagPath first;
    MDagPath::getAPathTo(node("aShape"), first);
    EXPECT_EQ(first, paths[0]);
    // worldMesh[k] is instance k in its world space.
    MFnMesh w0(MPlug(node("aShape"), MFnDependencyNode(node("aShape")).attribute("worldMesh")).elementByLogicalIndex(1).asMObject());
    MPoint p;
    w0.getPoint(0, p);
    EXPECT_DOUBLE_EQ(p.x, 9.5);
    EXPECT_EQ(paths[1].exclusiveMatrix()[3][0], 10.0);

    std::vector<std::string> order;
    for (MItDag it(MItDag::kDepthFirst, MFn::kMesh); !it.isDone(); it.next()) order.push_back(it.fullPathName().str());
    EXPECT_EQ(order, (std::vector<std::string>{"|top|a|aShape", "|inst|a|aShape"}));
    EXPECT_EQ(melText("delete |inst; ls -type mesh"), "aShape\n");
}

TEST_F(Dag, ModifierCreatesShapesUnderTransformsAndUndoesSubtreeDeletion) {
    MDagModifier create;
    const MObject t = create.createNode("mesh");
    ASSERT_TRUE(create.doIt());
    EXPECT_TRUE(t.hasFn(MFn::kTransform));
    EXPECT_EQ(MFnDagNode(t).name(), "mesh1");
    EXPECT_EQ(MFnDagNode(MFnDagNode(t).child(0)).name(), "meshShape1");

    mel("group -n g mesh1; makeMesh -cube -n other; connectAttr meshShape1.outMesh otherShape.inMesh");
    MDagModifier del;
    del.deleteNode(node("g"));
    ASSERT_TRUE(del.doIt());
    EXPECT_TRUE(node("meshShape1").isNull());
    ASSERT_TRUE(del.undoIt());
    EXPECT_EQ(pathOf("meshShape1").fullPathName(), "|g|mesh1|meshShape1");
    // The subtree's own connections come back with it.
    EXPECT_EQ(MFnDependencyNode(node("otherShape")).findPlug("inMesh").source().node(), node("meshShape1"));
    create.undoIt();  // the shape and transform go again; g stays
    EXPECT_EQ(melText("ls -type mesh"), "otherShape\n");
}

TEST_F(Dag, MelQueriesVisibilityAndUnits) {
    mel("createNode transform -n P; xform -t 1 0 0 -ro 0 0 90 P; createNode transform -n c -p P; xform -t 2 0 0 c;"
        "makeMesh -cube -n box -p c");
    EXPECT_EQ(melText("xform -q -t c"), "2\n0\n0\n");
    host::Result r;
    ASSERT_TRUE(mel("xform -q -ws -t c", &r));
    const auto world = std::get<std::vector<double>>(r);
    EXPECT_NEAR(world[0], 1.0, 1e-12);
    EXPECT_NEAR(world[1], 2.0, 1e-12);
    EXPECT_EQ(melText("xform -q -ro P"), "0\n0\n90\n");
    // Hidden through a parent or on the shape itself.
    mel("hide c");
    EXPECT_FALSE(pathOf("boxShape").isVisible());
    mel("showHidden c; hide boxShape");
    EXPECT_FALSE(pathOf("boxShape").isVisible());
    EXPECT_TRUE(pathOf("box").isVisible());
    EXPECT_EQ(melText("currentUnit -t ntsc; currentUnit -q -t"), "ntsc");
    EXPECT_EQ(MTime::uiUnit(), MTime::kNTSCFrame);
    EXPECT_FALSE(mel("createNode transform -p nowhere"));
}

}  // namespace
}  // namespace hosttest
