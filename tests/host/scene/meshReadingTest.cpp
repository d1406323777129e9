#include <cmath>

#include "hostTestSupport.h"
#include "host/scene/meshGeometry.h"
#include "host/scene/meshShape.h"

namespace hosttest {
namespace {

using MeshReading = HostTest;

MDagPath shapePath(const char* name) {
    MSelectionList list;
    list.add(name);
    MDagPath p;
    list.getDagPath(0, p);
    p.extendToShape();
    return p;
}

TEST_F(MeshReading, CubeInWorldAndObjectSpace) {
    mel("makeMesh -cube -s 2 -n c; xform -t 10 0 0 -ro 0 0 90 -s 1 3 1 c");
    MFnMesh fn(shapePath("c"));
    EXPECT_EQ(fn.numVertices(), 8);
    EXPECT_EQ(fn.numPolygons(), 6);
    MPointArray obj, world;
    fn.getPoints(obj, MSpace::kObject);
    fn.getPoints(world, MSpace::kWorld);
    EXPECT_TRUE(obj[0].isEquivalent(MPoint(-1, -1, 1)));
    // Scaled by (1, 3, 1), turned 90° about z, moved by 10 in x.
    EXPECT_TRUE(world[0].isEquivalent(MPoint(13, -1, 1), 1e-6)) << world[0].x << " " << world[0].y;
    // Normal ids: first face-vertex of the polygon + corner, in every reader.
    MIntArray ids;
    fn.getFaceNormalIds(2, ids);
    EXPECT_EQ(ids, (MIntArray{8, 9, 10, 11}));
    MItMeshPolygon it(MObject(shapePath("c").node()));
    int prev;
    it.setIndex(2, prev);
    EXPECT_EQ(it.normalIndex(3), 11);
    // Object-space polygon normals beside world-space normals (inverse transpose, renormalised).
    MVector n;
    it.getNormal(n, MSpace::kObject);
    EXPECT_TRUE(n.isEquivalent(MVector(0, 0, -1)));
    MFloatVectorArray normals;
    fn.getNormals(normals, MSpace::kWorld);
    ASSERT_EQ(normals.length(), 24u);
    EXPECT_NEAR(normals[0].length(), 1.0f, 1e-6f);
    // UV sets.
    MStringArray sets;
    fn.getUVSetNames(sets);
    EXPECT_EQ(sets, (MStringArray{"map1"}));
    EXPECT_EQ(fn.numUVs("map1"), 4);
    EXPECT_EQ(melText("getAttr cShape.uvSet[0].uvSetName"), "map1");
    int uv;
    ASSERT_TRUE(it.getUVIndex(2, uv));
    EXPECT_EQ(uv, 2);
    // Vertex iteration: connected faces ascending.
    MItMeshVertex v(shapePath("c"));
    MIntArray faces;
    v.getConnectedFaces(faces);
    EXPECT_EQ(faces, (MIntArray{0, 3, 5}));
    // Bounding box in object space.
    const MBoundingBox box = MFnDagNode(shapePath("c")).boundingBox();
    EXPECT_EQ(box.width(), 2.0);
}

TEST_F(MeshReading, ConcaveAndHoledPolygonsTriangulate) {
    // A concave pentagon, a holed quad, and a quad with a collinear corner.
    mel("makeMesh -n m -pts \"0 0 0 4 0 0 4 4 0 2 1 0 0 4 0  10 0 0 14 0 0 14 4 0 10 4 0 11 1 0 13 1 0 13 3 0 11 3 0"
        "  20 0 0 21 0 0 22 0 0 22 2 0 20 2 0\" -fc \"0 1 2 3 4; 5 6 7 8, 9 12 11 10; 13 14 15 16 17\"");
    MItMeshPolygon it(shapePath("m"));
    int count = 0;
    EXPECT_FALSE(it.isConvex());
    ASSERT_TRUE(it.numTriangles(count));
    EXPECT_EQ(count, 3);
    // The triangles of the concave pentagon cover it exactly: total area 10.
    double area = 0;
    for (int t = 0; t < count; ++t) {
        MPointArray pts;
        MIntArray vs;
        it.getTriangle(t, pts, vs);
        area += ((pts[1] - pts[0]) ^ (pts[2] - pts[0])).length() / 2;
    }
    EXPECT_NEAR(area, 10.0, 1e-9);
    it.next();
    EXPECT_TRUE(it.isHoled());
    EXPECT_FALSE(it.isConvex());
    ASSERT_TRUE(it.numTriangles(count));
    EXPECT_EQ(count, 8);  // 4 + 4 corners - 2 + 2 for the bridge
    MIntArray corners;
    it.getVertices(corners);
    EXPECT_EQ(corners.length(), 8u);
    area = 0;
    bool usesHole = false;
    for (int t = 0; t < count; ++t) {
        MPointArray pts;
        MIntArray vs;
        it.getTriangle(t, pts, vs);
        for (const int v : vs) usesHole = usesHole || v >= 9;
        area += ((pts[1] - pts[0]) ^ (pts[2] - pts[0])).length() / 2;
    }
    EXPECT_TRUE(usesHole);
    EXPECT_NEAR(area, 16.0 - 4.0, 1e-9);
    it.next();
    EXPECT_TRUE(it.isConvex());
    ASSERT_TRUE(it.numTriangles(count));
    EXPECT_EQ(count, 3);
}

// Stars with a square hole, in several planes: the triangles cover exactly the
// star minus the hole, and their count is corners − 2 + 2 per hole.
TEST(Triangulation, StarsWithHolesCoverTheirArea) {
    for (int n = 3; n <= 24; ++n)
        for (const double tilt : {0.0, 0.7, 1.5707963267948966}) {
            host::MeshGeometry m;
            std::vector<int> outer, hole;
            double area = 0;
            std::vector<std::array<double, 2>> flat;
            for (int i = 0; i < 2 * n; ++i) {
                const double a = 3.14159265358979 * i / n, r = i % 2 ? 4.0 : 10.0;
                flat.push_back({r * std::cos(a), r * std::sin(a)});
            }
            for (const auto& [x, y] : {std::pair{1.0, 1.0}, {1.0, -1.0}, {-1.0, -1.0}, {-1.0, 1.0}}) flat.push_back({x, y});
            for (std::size_t i = 0; i < flat.size(); ++i) {
                const auto [x, y] = flat[i];
                m.points.push_back({static_cast<float>(x), static_cast<float>(y * std::cos(tilt)),
                                    static_cast<float>(y * std::sin(tilt))});
                (i < static_cast<std::size_t>(2 * n) ? outer : hole).push_back(static_cast<int>(i));
            }
            // The tilt is a rotation: the flat shoelace area is the area.
            for (int i = 0; i < 2 * n; ++i) {
                const auto& p = flat[static_cast<std::size_t>(i)];
                const auto& q = flat[static_cast<std::size_t>((i + 1) % (2 * n))];
                area += (p[0] * q[1] - q[0] * p[1]) / 2;
            }
            m.addPolygon({outer, hole});
            const auto tris = host::triangulatePolygon(m, 0);
            ASSERT_EQ(tris.size(), static_cast<std::size_t>(2 * n + 4 - 2 + 2)) << n;
            double sum = 0;
            for (const auto& t : tris) {
                auto pt = [&](int c) {
                    const auto& v = m.points[static_cast<std::size_t>(m.faceVertices[static_cast<std::size_t>(c)])];
                    return MVector(v[0], v[1], v[2]);
                };
                sum += ((pt(t[1]) - pt(t[0])) ^ (pt(t[2]) - pt(t[0]))).length() / 2;
            }
            EXPECT_NEAR(sum, std::abs(area) - 4.0, 1e-4) << n << " " << tilt;
        }
}

TEST_F(MeshReading, BlindDataAndDataObjects) {
    mel("makeMesh -cube -n c");
    const MDagPath shape = shapePath("c");
    // Blind data written on the stored geometry, as the mesh writers will.
    auto data = host::shapeMeshData(shape.node().id());
    auto copy = std::make_shared<host::MeshData>(*data);
    copy->geometry.blindData[70111001][MFn::kMeshPolygonComponent][1]["zylCutFace"] = 1;
    MPlug(shape.node(), MFnDependencyNode(shape.node()).attribute("outMesh")).setValue(MObject::fromData(copy));
    MFnMesh fn(shape);
    EXPECT_TRUE(fn.hasBlindData(MFn::kMeshPolygonComponent, 70111001));
    int value = -1;
    EXPECT_TRUE(fn.getIntBlindData(1, MFn::kMeshPolygonComponent, 70111001, "zylCutFace", value));
    EXPECT_EQ(value, 1);
    EXPECT_FALSE(fn.getIntBlindData(2, MFn::kMeshPolygonComponent, 70111001, "zylCutFace", value));
    // A data object reads its own points; its shaders answer none.
    MFnMesh onData(MObject::fromData(copy));
    EXPECT_EQ(onData.numPolygons(), 6);
    MObjectArray shaders;
    MIntArray indices;
    onData.getConnectedShaders(0, shaders, indices);
    EXPECT_EQ(shaders.length(), 0u);
    EXPECT_EQ(indices, MIntArray(6, -1));
}

}  // namespace
}  // namespace hosttest
