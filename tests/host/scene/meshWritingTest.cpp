#include "hostTestSupport.h"
#include "host/scene/meshGeometry.h"

namespace hosttest {
namespace {

using MeshWriting = HostTest;

// A unit quad and a triangle beside it: 5 vertices, 2 polygons.
struct Input {
    MFloatPointArray points{{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {2, 0, 0}};
    MIntArray counts{4, 3};
    MIntArray connects{0, 1, 2, 3, 1, 4, 2};
};

MDagPath pathOf(const MObject& node) {
    MDagPath p;
    MDagPath::getAPathTo(node, p);
    return p;
}

TEST_F(MeshWriting, CreateInEachMode) {
    const Input in;
    MFnMesh fn;
    MStatus st;
    // No parent: a new transform and mesh; the transform comes back.
    const MObject t = fn.create(5, 2, in.points, in.counts, in.connects, MObject::kNullObj, &st);
    ASSERT_TRUE(st);
    EXPECT_TRUE(t.hasFn(MFn::kTransform));
    EXPECT_EQ(MFnDagNode(t).name(), "mesh1");
    EXPECT_EQ(MFnDagNode(MFnDagNode(t).child(0)).name(), "meshShape1");
    EXPECT_EQ(fn.numPolygons(), 2);
    MDagPath path;
    EXPECT_TRUE(fn.getPath(path));
    // Under a transform: the mesh comes back, named by the host (and renamable).
    MFnMesh under;
    const MObject shape = under.create(5, 2, in.points, in.counts, in.connects, t, &st);
    ASSERT_TRUE(st);
    EXPECT_TRUE(shape.hasFn(MFn::kMesh));
    EXPECT_EQ(MFnDagNode(t).childCount(), 2u);
    EXPECT_EQ(MFnDependencyNode(shape).setName("shard_1"), "shard_1");
    // In a data object: filled and returned; no DAG path.
    MFnMeshData dataFn;
    const MObject data = dataFn.create();
    MFnMesh onData;
    EXPECT_EQ(onData.create(5, 2, in.points, in.counts, in.connects, data, &st), data);
    ASSERT_TRUE(st);
    EXPECT_FALSE(onData.getPath(path));
    EXPECT_EQ(MFnMesh(data).numFaceVertices(), 7);
    // Bad input fails and makes nothing.
    const MIntArray badConnects{0, 1, 2, 9, 1, 4, 2};
    MFnMesh bad;
    EXPECT_TRUE(bad.create(5, 2, in.points, in.counts, badConnects, MObject::kNullObj, &st).isNull());
    EXPECT_FALSE(st);
    EXPECT_EQ(melText("ls -type mesh").find("meshShape2"), std::string::npos);
    // Made to fail on purpose after one more mesh.
    mel("hostOption -failMeshCreateAfter 1");
    EXPECT_FALSE(fn.create(5, 2, in.points, in.counts, in.connects, MObject::kNullObj, &st).isNull());
    EXPECT_TRUE(fn.create(5, 2, in.points, in.counts, in.connects, MObject::kNullObj, &st).isNull());
    EXPECT_EQ(st.errorString(), "mesh creation made to fail");
}

TEST_F(MeshWriting, CreateInPlaceNormalsAndUVSets) {
    mel("makeMesh -cube -n c");
    MFnMesh fn(pathOf(node("cShape")));
    const Input in;
    ASSERT_TRUE(fn.createInPlace(5, 2, in.points, in.counts, in.connects));
    EXPECT_EQ(fn.numPolygons(), 2);
    EXPECT_EQ(fn.currentUVSetName(), "map1");
    EXPECT_EQ(fn.numUVs(), 0);

    // Normals set per face-vertex are locked; unlocking returns the smooth one.
    MFloatVectorArray smooth, n;
    fn.getNormals(smooth);
    ASSERT_TRUE(fn.setFaceVertexNormals(MVectorArray{MVector(1, 0, 0)}, MIntArray{1}, MIntArray{4}));
    fn.getNormals(n);
    EXPECT_EQ(n[5], MFloatVector(1, 0, 0));
    EXPECT_TRUE(fn.isNormalLocked(5));
    EXPECT_FALSE(fn.setFaceVertexNormals(MVectorArray{MVector(1, 0, 0)}, MIntArray{1}, MIntArray{3}));
    ASSERT_TRUE(fn.unlockFaceVertexNormals(MIntArray{1}, MIntArray{4}));
    fn.getNormals(n);
    EXPECT_EQ(n, smooth);
    // Vertex normals given in world space are stored in object space.
    mel("xform -ro 0 0 90 c");
    fn.setObject(pathOf(node("cShape")));
    ASSERT_TRUE(fn.setVertexNormals(MVectorArray{MVector(0, 1, 0)}, MIntArray{1}, MSpace::kWorld));
    fn.getNormals(n);
    EXPECT_TRUE(MVector(n[1]).isEquivalent(MVector(1, 0, 0), 1e-6));
    EXPECT_TRUE(MVector(n[4]).isEquivalent(MVector(1, 0, 0), 1e-6));

    // UV sets: renamed, created, filled, assigned, partly set.
    ASSERT_TRUE(fn.renameUVSet("map1", "uvA"));
    EXPECT_EQ(melText("getAttr cShape.uvSet[0].uvSetName"), "uvA");
    MStatus st;
    EXPECT_EQ(fn.createUVSetWithName("uvB", nullptr, &st), "uvB");
    EXPECT_FALSE(fn.createUVSetWithName("uvB").length());
    EXPECT_FALSE(fn.createUVSetDataMeshWithName("uvC").length());  // only on mesh data
    const MString b("uvB");
    ASSERT_TRUE(fn.setUVs(MFloatArray{0, 1, 0.5f}, MFloatArray{0, 0, 1}, &b));
    EXPECT_FALSE(fn.assignUVs(MIntArray{4, 3}, MIntArray{0, 1, 2, 3, 0, 1, 2}, &b));  // 3 is no UV
    ASSERT_TRUE(fn.assignUVs(MIntArray{4, 3}, MIntArray{0, 1, 2, 2, 0, 1, 2}, &b));
    ASSERT_TRUE(fn.setSomeUVs(MIntArray{2}, MFloatArray{0.25f}, MFloatArray{0.75f}, &b));
    int id = -1;
    ASSERT_TRUE(fn.getPolygonUVid(1, 2, id, &b));
    MFloatArray u, v;
    fn.getUVs(u, v, &b);
    EXPECT_EQ(u[static_cast<unsigned>(id)], 0.25f);
    EXPECT_FALSE(fn.getPolygonUVid(1, 2, id));  // the current set has none
    ASSERT_TRUE(fn.setCurrentUVSetName("uvB"));
    EXPECT_TRUE(fn.getPolygonUVid(1, 2, id));
}

TEST_F(MeshWriting, BlindDataAndColourSets) {
    mel("makeMesh -cube -n c");
    MFnMesh fn(pathOf(node("cShape")));
    const MStringArray ln{"zylCutFace"}, sn{"zcut"}, fmt{"int"};
    EXPECT_FALSE(fn.setIntBlindData(0, MFn::kMeshPolygonComponent, 70111001, "zylCutFace", 1));
    EXPECT_FALSE(fn.isBlindDataTypeUsed(70111001));
    ASSERT_TRUE(fn.createBlindDataType(70111001, ln, sn, fmt));
    EXPECT_FALSE(fn.createBlindDataType(70111001, ln, sn, fmt));  // not a second copy
    EXPECT_TRUE(fn.isBlindDataTypeUsed(70111001));
    ASSERT_TRUE(fn.setIntBlindData(MIntArray{1, 3}, MFn::kMeshPolygonComponent, 70111001, "zylCutFace", 2));
    ASSERT_TRUE(fn.setIntBlindData(0, MFn::kMeshPolygonComponent, 70111001, "zcut", 1));
    EXPECT_FALSE(fn.setIntBlindData(MIntArray{2, 6}, MFn::kMeshPolygonComponent, 70111001, "zylCutFace", 2));
    int value = -1;
    ASSERT_TRUE(fn.getIntBlindData(3, MFn::kMeshPolygonComponent, 70111001, "zylCutFace", value));
    EXPECT_EQ(value, 2);
    EXPECT_FALSE(fn.getIntBlindData(2, MFn::kMeshPolygonComponent, 70111001, "zylCutFace", value));  // failed list wrote none
    EXPECT_TRUE(fn.hasBlindData(MFn::kMeshPolygonComponent));
    // Written on a data object and read through another function set on it.
    MFnMesh data;
    const Input in;
    MObject owner = MFnMeshData().create();
    data.create(5, 2, in.points, in.counts, in.connects, owner);
    ASSERT_TRUE(data.setIntBlindData(MIntArray{0, 1}, MFn::kMeshPolygonComponent, 70111001, "zylCutFace", 7));
    ASSERT_TRUE(MFnMesh(owner).getIntBlindData(1, MFn::kMeshPolygonComponent, 70111001, "zylCutFace", value));
    EXPECT_EQ(value, 7);

    // Colour set made, made current, written per vertex, deleted.
    EXPECT_FALSE(fn.setVertexColors(MColorArray{MColor(1, 0, 0)}, MIntArray{0}));  // none current
    EXPECT_EQ(fn.createColorSetWithName("colorStresses"), "colorStresses");
    ASSERT_TRUE(fn.setCurrentColorSetName("colorStresses"));
    ASSERT_TRUE(fn.setVertexColors(MColorArray{MColor(1, 0, 0), MColor(0, 0, 1)}, MIntArray{0, 7}));
    MColorArray colors;
    ASSERT_TRUE(fn.getVertexColors(colors));
    ASSERT_EQ(colors.length(), 8u);
    EXPECT_EQ(colors[7], MColor(0, 0, 1));
    ASSERT_TRUE(fn.deleteColorSet("colorStresses"));
    EXPECT_EQ(fn.numColorSets(), 0);
    EXPECT_EQ(fn.currentColorSetName(), "");
    EXPECT_TRUE(fn.updateSurface());
    EXPECT_TRUE(fn.syncObject());
}

TEST_F(MeshWriting, SetPointsWithAndWithoutHistoryAndWorldArea) {
    mel("makeMesh -plane -s 2 -n p; makeMesh -plane -s 2 -n src; setAttr pShape.pnts[0] 0 5 0");
    mel("xform -s 2 2 2 p");
    MFnMesh fn(pathOf(node("pShape")));
    MFloatPointArray pts;
    fn.getPoints(pts, MSpace::kWorld);
    pts[0].y += 1;
    // Without history: the points themselves; the tweak no longer moves them.
    ASSERT_TRUE(fn.setPoints(pts, MSpace::kWorld));
    MFloatPointArray back;
    fn.getPoints(back, MSpace::kWorld);
    EXPECT_EQ(back, pts);
    const MPlug pnts(node("pShape"), MFnDependencyNode(node("pShape")).attribute("pnts"));
    EXPECT_EQ(pnts.elementByLogicalIndex(0).child(1).asFloat(), 0.0f);

    // With history: tweaks over the evaluated input, which stays as it was.
    mel("connectAttr srcShape.outMesh pShape.inMesh");
    fn.getPoints(pts);
    pts[1].z += 3;
    ASSERT_TRUE(fn.setPoints(pts));
    fn.getPoints(back);
    EXPECT_EQ(back[1].z, pts[1].z);
    MFloatPointArray input;
    MFnMesh(pathOf(node("srcShape"))).getPoints(input);
    EXPECT_EQ(back[0], input[0]);
    EXPECT_EQ(pnts.elementByLogicalIndex(1).child(2).asFloat(), 3.0f);
    EXPECT_FALSE(fn.setPoints(MFloatPointArray(2, MFloatPoint())));

    // Areas in world space scale with the transform.
    MItMeshPolygon it(pathOf(node("srcShape")));
    double area = 0;
    ASSERT_TRUE(it.getArea(area, MSpace::kWorld));
    EXPECT_DOUBLE_EQ(area, 4.0);
    MItMeshPolygon scaled(pathOf(node("pShape")));
    scaled.getArea(area, MSpace::kObject);
    EXPECT_GT(area, 4.0);
}

TEST_F(MeshWriting, OutputDataIsDetachedFromItsInput) {
    mel("makeMesh -cube -n a; makeMesh -cube -n b");
    // b's output holds a's data itself, as a compute passing its input through would.
    const MObject a = node("aShape"), b = node("bShape");
    const MObject out = MFnDependencyNode(b).attribute("outMesh");
    MPlug(b, out).setMObject(MPlug(a, out).asMObject());
    MDataBlock block(b.id());
    MFnMesh edit(block.outputValue(out).data());
    ASSERT_TRUE(edit.createColorSetWithName("c").length());
    EXPECT_EQ(edit.numColorSets(), 1);
    EXPECT_EQ(MFnMesh(pathOf(a)).numColorSets(), 0);
    EXPECT_EQ(MFnMesh(pathOf(b)).numColorSets(), 1);
}

// An edit changes the geometry in place only while the shape alone holds it: a data
// object or another shape holding it keeps what it had.
TEST_F(MeshWriting, AnEditLeavesGeometryHeldElsewhereAsItWas) {
    mel("makeMesh -cube -n a; makeMesh -cube -n b");
    const MObject a = node("aShape"), b = node("bShape");
    const MObject out = MFnDependencyNode(a).attribute("outMesh");
    MPlug(b, out).setMObject(MPlug(a, out).asMObject());
    const MObject held = MPlug(a, out).asMObject();
    MFnMesh fn(pathOf(a));
    ASSERT_TRUE(fn.createColorSetWithName("c").length());
    ASSERT_TRUE(fn.createColorSetWithName("d").length());
    EXPECT_EQ(fn.numColorSets(), 2);
    EXPECT_EQ(MFnMesh(held).numColorSets(), 0);
    EXPECT_EQ(MFnMesh(pathOf(b)).numColorSets(), 0);
}

TEST_F(MeshWriting, DataObjects) {
    mel("makeMesh -cube -n c");
    // A three-float value object moves a tweak in and out of a "pnts" element.
    MFnNumericData num;
    const MObject value = num.create(MFnNumericData::k3Float);
    ASSERT_TRUE(num.setData(1.0f, 2.0f, 3.0f));
    EXPECT_FALSE(num.setData(1, 2));
    MPlug element = MPlug(node("cShape"), MFnDependencyNode(node("cShape")).attribute("pnts")).elementByLogicalIndex(2);
    ASSERT_TRUE(element.setMObject(value));
    float x = 0, y = 0, z = 0;
    ASSERT_TRUE(MFnNumericData(element.asMObject()).getData(x, y, z));
    EXPECT_EQ(y, 2.0f);
    EXPECT_EQ(MFnNumericData(element.asMObject()).numericType(), MFnNumericData::k3Float);
    // Component lists hold polygon components.
    MFnSingleIndexedComponent faces;
    const MObject comp = faces.create(MFn::kMeshPolygonComponent);
    faces.addElements(MIntArray{4, 1});
    MFnComponentListData list;
    const MObject data = list.create();
    ASSERT_TRUE(list.add(comp));
    EXPECT_FALSE(list.add(value));
    EXPECT_EQ(MFnComponentListData(data).length(), 1u);
    MIntArray ids;
    MFnSingleIndexedComponent(MFnComponentListData(data)[0]).getElements(ids);
    EXPECT_EQ(ids, (MIntArray{1, 4}));
    EXPECT_TRUE(list[1].isNull());
}

}  // namespace
}  // namespace hosttest
