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

TEST_F(History, EditsOnAShapeWithHistoryOutliveReevaluation) {
    mel("makeMesh -cube -n src; makeMesh -cube -n dst; connectAttr srcShape.outMesh dstShape.inMesh");
    MFnMesh dst(pathOf("dst"));
    ASSERT_TRUE(dst.createBlindDataType(9, MStringArray{"tag"}, MStringArray{"tg"}, MStringArray{"int"}));
    ASSERT_TRUE(dst.setIntBlindData(MIntArray{1, 5}, MFn::kMeshPolygonComponent, 9, "tag", 4));
    ASSERT_TRUE(dst.setFaceVertexNormals(MVectorArray{MVector(0, 1, 0)}, MIntArray{0}, MIntArray{0}));
    // The input changes to two faces: the overlay follows, face 5's value is dropped.
    const MFloatPointArray pts{{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {2, 0, 0}};
    MFnMesh src(pathOf("src"));
    ASSERT_TRUE(src.createInPlace(5, 2, pts, MIntArray{4, 3}, MIntArray{0, 1, 2, 3, 1, 4, 2}));
    EXPECT_EQ(dst.numPolygons(), 2);
    int value = 0;
    EXPECT_TRUE(dst.getIntBlindData(1, MFn::kMeshPolygonComponent, 9, "tag", value));
    EXPECT_EQ(value, 4);
    EXPECT_FALSE(dst.getIntBlindData(5, MFn::kMeshPolygonComponent, 9, "tag", value));
    EXPECT_TRUE(dst.isNormalLocked(0));
    EXPECT_FALSE(src.hasBlindData(MFn::kMeshPolygonComponent));  // the input is never changed
}

}  // namespace
}  // namespace hosttest
