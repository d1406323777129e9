#include "geometry/mesh/faceEdits.h"
#include "geometry/mesh/meshPlacement.h"

#include <gtest/gtest.h>

#include <numeric>
#include <vector>

#include "tests/geometry/testMeshes.h"
#include "tests/testSupport.h"

namespace {

using Qmt::QmtMatrix3;
using Qmt::QmtVector3;
using meshtest::Indices;
using meshtest::Points;
using meshtest::corners;
using meshtest::cornerUVs;
using zyltest::expectNear;

constexpr std::uint32_t APEX = 1000;

Indices iota(std::uint32_t n, std::uint32_t first = 0) {
    Indices v(n);
    std::iota(v.begin(), v.end(), first);
    return v;
}

// Inline fan split of the loop 0..n-1: the pieces' corner lists.
std::vector<Indices> inlineSplit(std::uint32_t n, std::uint32_t limit) {
    const Indices loop = iota(n);
    std::vector<ZYLface> faces(n + 1);
    int count = 0;
    splitPolygonFanInline(APEX, loop.data(), static_cast<int>(n), faces.data(), &count, limit);
    std::vector<Indices> pieces;
    for (int i = 0; i < count; ++i) {
        pieces.push_back(corners(faces[i]));
    }
    return pieces;
}

std::vector<std::size_t> pieceSizes(std::uint32_t n, std::uint32_t limit) {
    std::vector<std::size_t> s;
    for (const Indices& p : inlineSplit(n, limit)) {
        s.push_back(p.size());
    }
    return s;
}

using Sizes = std::vector<std::size_t>;

// The cube [-1, 1]^3 with outward faces, local data equal to world data.
void buildCube(ZYLmesh& mesh) { buildAABoxMesh({{-1, -1, -1}, {1, 1, 1}}, &mesh); }

void setVertices(ZYL_DFmesh& mesh, const Points& world) {
    mesh.numVertices = static_cast<std::uint32_t>(world.size());
    mesh.worldVertices = new QmtVector3[world.size()];
    mesh.vertices = new QmtVector3[world.size()];
    std::copy(world.begin(), world.end(), mesh.worldVertices);
    std::copy(world.begin(), world.end(), mesh.vertices);
}

void setUVs(ZYL_DFmesh& mesh, const Points& uvs) {
    mesh.numUVs = static_cast<std::uint32_t>(uvs.size());
    mesh.uvs = new QmtVector3[uvs.size()];
    std::copy(uvs.begin(), uvs.end(), mesh.uvs);
}

void setFace(ZYL_DFface& face, const Indices& corners, const Indices& uvs, std::uint32_t uvSets = 1) {
    face.allocate(static_cast<std::uint32_t>(corners.size()), uvSets);
    std::copy(corners.begin(), corners.end(), face.vertices);
    std::copy(uvs.begin(), uvs.end(), face.uvs);
    face.numVertices = static_cast<std::uint32_t>(corners.size());
}

ZYLmesh pointMesh(const Points& points) {
    ZYLmesh m;
    m.numVertices = static_cast<std::uint32_t>(points.size());
    m.vertices = new QmtVector3[points.size()];
    std::copy(points.begin(), points.end(), m.vertices);
    return m;
}

}  // namespace

TEST(FaceEdits, FanSplitPieceSizesAndSharedIndices) {
    EXPECT_EQ(pieceSizes(30, 32), Sizes{31});
    EXPECT_EQ(pieceSizes(31, 32), (Sizes{16, 18}));
    EXPECT_EQ(pieceSizes(32, 32), (Sizes{17, 18}));  // a 33-gon split from its corner 0
    EXPECT_EQ(pieceSizes(14, 16), Sizes{15});
    EXPECT_EQ(pieceSizes(15, 16), (Sizes{8, 10}));
    EXPECT_EQ(pieceSizes(40, 16), (Sizes{21, 22}));  // after the first halving the limit is 32
    EXPECT_TRUE(inlineSplit(1, 32).empty());
    // A limit beyond 32 cannot overfill a 32-corner record.
    EXPECT_EQ(pieceSizes(60, 100), (Sizes{31, 16, 18}));

    // Pieces run in order, each starting on the previous piece's last index, together
    // covering the loop, none over 31 corners.
    for (std::uint32_t limit : {16u, 32u}) {
        for (std::uint32_t n = 2; n <= 300; ++n) {
            std::uint32_t start = 0;
            for (const Indices& p : inlineSplit(n, limit)) {
                ASSERT_TRUE(p.size() <= 31 && p[0] == APEX && p[1] == start) << n;
                for (std::size_t i = 2; i < p.size(); ++i) {
                    ASSERT_EQ(p[i], p[i - 1] + 1);
                }
                start = p.back();
            }
            EXPECT_EQ(start, n - 1);
        }
    }
}

TEST(FaceEdits, FanSplitRecordFields) {
    const Indices loop = iota(31, 10);
    const Indices loopUV = iota(31, 500);
    int count = 0;

    // Inline sets the flags to 1; Ptrs keeps them and writes the UV runs beside.
    ZYLface inl[2];
    inl[0].flags = 8;
    inl[0].numEdges = 5;
    splitPolygonFanInline(7, loop.data(), 31, inl, &count, 32);
    EXPECT_TRUE(count == 2 && inl[0].flags == FACE_CAP && inl[0].marker == 1 && inl[0].numEdges == 0);
    ZYLface ptrs[2];
    ptrs[1].flags = 8;
    count = 0;
    splitPolygonFanPtrs(7, loop.data(), 99, loopUV.data(), 31, ptrs, &count, 32);
    ASSERT_EQ(count, 2);
    EXPECT_EQ(corners(ptrs[1])[1], 24u);
    EXPECT_EQ(cornerUVs(ptrs[1]), (Indices{99, 514, 515, 516, 517, 518, 519, 520, 521, 522, 523, 524, 525, 526, 527,
                                           528, 529, 530}));
    EXPECT_TRUE(ptrs[1].flags == 8 && ptrs[1].marker == 1);

    // DF forms are sized per piece with one UV set; the plain split ORs in flag 1, the
    // attribute split leaves the flags.
    ZYL_DFface df[2];
    df[0].flags = 8;
    count = 0;
    splitPolygonFan(7, loop.data(), 31, df, &count, 32);
    ASSERT_EQ(count, 2);
    EXPECT_TRUE(df[0].flags == (FACE_CAP | 8) && df[1].flags == FACE_CAP);
    EXPECT_TRUE(df[1].alive == 1 && df[1].numUVSets == 1 && df[1].numEdges == 0 && df[1].capacity == 18);
    EXPECT_EQ(corners(df[1]).back(), 40u);
    ZYL_DFface dfa[2];
    dfa[0].flags = 8;
    count = 0;
    splitPolygonFanWithAttr(7, loop.data(), 99, loopUV.data(), 31, dfa, &count, 32);
    ASSERT_EQ(count, 2);
    EXPECT_TRUE(dfa[0].flags == 8 && dfa[1].flags == 0);
    EXPECT_EQ(cornerUVs(dfa[0]), (Indices{99, 500, 501, 502, 503, 504, 505, 506, 507, 508, 509, 510, 511, 512, 513, 514}));
}

TEST(FaceEdits, EdgeMidpointsAndFlagRenaming) {
    const Points p = {{0, 0, 0}, {2, 0, 0}, {0, 4, 0}, {9, 9, 9}};
    const Indices tri = {0, 1, 2};
    QmtVector3 out[6];
    EXPECT_EQ(computeFaceEdgeMidpoints(tri.data(), 3, p.data(), out), 6u);
    EXPECT_EQ(Points(out, out + 6), (Points{{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {1, 2, 0}, {0, 4, 0}, {0, 2, 0}}));
    EXPECT_EQ(computeFaceEdgeMidpoints(tri.data(), 0, p.data(), out), 0u);

    ZYL_DFmesh mesh;
    mesh.numFaces = 4;
    mesh.faces = new ZYL_DFface[4];
    const std::uint16_t before[4] = {1, 3, 2, 9};
    for (int i = 0; i < 4; ++i) {
        mesh.faces[i].flags = before[i];
    }
    replaceDFmeshFaceFlags(&mesh, FACE_CAP, FACE_SPLIT);
    EXPECT_EQ(mesh.faces[0].flags, 16);
    EXPECT_EQ(mesh.faces[1].flags, 18);
    EXPECT_EQ(mesh.faces[2].flags, 2);   // no shared bit: untouched
    EXPECT_EQ(mesh.faces[3].flags, 24);
    replaceDFmeshFaceFlags(nullptr, 1, 1);
}

TEST(FaceEdits, SubdivideDFmeshFaceQuad) {
    // A triangle and a 2 x 2 quad in z = 1, placed by a rotation, translation and scale.
    ZYL_DFmesh mesh;
    mesh.rotation = zyltest::ROT_Z90;
    mesh.translation = {1, 2, 3};
    mesh.scale = {2, 2, 2};
    setVertices(mesh, {{5, 5, 1}, {0, 0, 1}, {2, 0, 1}, {2, 2, 1}, {0, 2, 1}});
    setUVs(mesh, {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}});
    mesh.numFaces = 2;
    mesh.faces = new ZYL_DFface[2];
    setFace(mesh.faces[0], {0, 1, 2}, {0, 1, 2});
    setFace(mesh.faces[1], {1, 2, 3, 4}, {0, 1, 2, 3});
    mesh.faces[1].flags = 8;
    mesh.faces[1].piece = 3;
    mesh.worldNormals = new QmtVector3[2]{{0, 0, 1}, {0, 0, 1}};
    mesh.normals = new QmtVector3[2]{{0, 0, 1}, {0, 0, 1}};

    subdivideDFmeshFace(&mesh, 1);
    ASSERT_TRUE(mesh.numVertices == 14 && mesh.numFaces == 5 && mesh.numUVs == 13);
    // Corners, midpoints and centre are new vertices, even where a corner existed.
    EXPECT_EQ(Points(mesh.worldVertices + 5, mesh.worldVertices + 14),
              (Points{{0, 0, 1}, {1, 0, 1}, {2, 0, 1}, {2, 1, 1}, {2, 2, 1}, {1, 2, 1}, {0, 2, 1}, {0, 1, 1}, {1, 1, 1}}));
    EXPECT_EQ(mesh.uvs[11], QmtVector3(0, 0.5, 0));
    EXPECT_EQ(mesh.uvs[12], QmtVector3(0.5, 0.5, 0));
    for (std::uint32_t i = 5; i < 14; ++i) {
        const QmtVector3& l = mesh.vertices[i];
        expectNear(mesh.rotation * QmtVector3(l.x * 2, l.y * 2, l.z * 2) + mesh.translation, mesh.worldVertices[i]);
    }
    // All four quads share the centre 13.
    EXPECT_EQ(corners(mesh.faces[1]), (Indices{12, 5, 6, 13}));
    EXPECT_EQ(cornerUVs(mesh.faces[1]), (Indices{11, 4, 5, 12}));
    EXPECT_EQ(corners(mesh.faces[2]), (Indices{6, 7, 8, 13}));
    EXPECT_EQ(corners(mesh.faces[3]), (Indices{8, 9, 10, 13}));
    EXPECT_EQ(corners(mesh.faces[4]), (Indices{10, 11, 12, 13}));
    EXPECT_EQ(cornerUVs(mesh.faces[4]), (Indices{9, 10, 11, 12}));
    for (std::uint32_t f = 1; f < 5; ++f) {
        EXPECT_EQ(mesh.faces[f].flags, 8 | FACE_SPLIT) << f;
        EXPECT_TRUE(mesh.faces[f].piece == 3 && mesh.faces[f].alive == 1);
        EXPECT_EQ(mesh.worldNormals[f], QmtVector3(0, 0, 1));
        expectNear(mesh.normals[f], {0, 0, 1});
    }
    EXPECT_EQ(corners(mesh.faces[0]), (Indices{0, 1, 2}));  // copied into the new array
    EXPECT_EQ(mesh.faces[0].flags, 0);

    subdivideDFmeshFace(&mesh, 5);  // out of range
    subdivideDFmeshFace(nullptr, 0);
    EXPECT_EQ(mesh.numFaces, 5u);
}

TEST(FaceEdits, SubdivideDFmeshFaceUVSets) {
    // Three UV sets on the mesh; face 0 carries its own set indices, face 1 only set 1
    // (count 1 although flag 4 is set, as allocate leaves it).
    ZYL_DFmesh mesh;
    setVertices(mesh, {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}});
    setUVs(mesh, {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}});
    mesh.numUVSets = 3;
    mesh.flags = MESH_UV_SETS;
    for (int s = 0; s < 2; ++s) {
        mesh.uvSets[s] = new QmtVector3[3]{{2, 0, 0}, {2, 2, 0}, {2, 4, 0}};
    }
    mesh.numFaces = 2;
    mesh.faces = new ZYL_DFface[2];
    setFace(mesh.faces[0], {0, 1, 2}, {0, 1, 2}, 3);
    std::copy_n(Indices{2, 1, 0}.data(), 3, mesh.faces[0].uvSets[0]);
    std::copy_n(Indices{0, 0, 0}.data(), 3, mesh.faces[0].uvSets[1]);
    mesh.faces[1].flags = FACE_UV_SETS;
    setFace(mesh.faces[1], {0, 2, 3}, {0, 1, 2});

    subdivideDFmeshFace(&mesh, 1);
    ASSERT_EQ(mesh.numUVs, 10u);
    for (int s = 0; s < 2; ++s) {
        // The sets stay parallel to the UV array, with zeros for the face's missing sets.
        EXPECT_EQ(Points(mesh.uvSets[s] + 2, mesh.uvSets[s] + 10), (Points{{2, 4, 0}, {}, {}, {}, {}, {}, {}, {}}));
    }
    EXPECT_EQ(mesh.faces[1].uvSets[0], nullptr);

    subdivideDFmeshFace(&mesh, 0);
    ASSERT_TRUE(mesh.numUVs == 17 && mesh.numFaces == 6);
    // Set 2 through the face's indices (2, 1, 0): corner, midpoint, ..., centre.
    EXPECT_EQ(mesh.uvSets[0][10], QmtVector3(2, 4, 0));
    EXPECT_EQ(mesh.uvSets[0][11], QmtVector3(2, 3, 0));
    EXPECT_EQ(mesh.uvSets[0][16], QmtVector3(2, 2, 0));
    EXPECT_EQ(mesh.uvSets[1][16], QmtVector3(2, 0, 0));
    // Each quad's extra set indices repeat its UV indices.
    const ZYL_DFface& quad = mesh.faces[5];
    ASSERT_EQ(quad.numUVSets, 3);
    EXPECT_EQ(cornerUVs(quad), (Indices{13, 14, 15, 16}));
    EXPECT_EQ(Indices(quad.uvSets[1], quad.uvSets[1] + 4), cornerUVs(quad));

    // A mesh without UVs keeps none.
    ZYL_DFmesh bare;
    setVertices(bare, {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}});
    bare.numFaces = 1;
    bare.faces = new ZYL_DFface[1];
    setFace(bare.faces[0], {0, 1, 2}, {0, 1, 2});
    subdivideDFmeshFace(&bare, 0);
    EXPECT_TRUE(bare.numVertices == 10 && bare.numFaces == 3 && bare.numUVs == 0 && bare.uvs == nullptr);
}

TEST(FaceEdits, ClipPolygonByPlane) {
    const Points square = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};
    const std::uint32_t four = 4;
    QmtVector3 below[8];
    QmtVector3 above[8];
    std::uint32_t aboveCount = 99;

    // The plane x = 0.25 cuts edges 0-1 and 2-3.
    EXPECT_EQ(clipPolygonByPlane(square.data(), four, 0, {0.25, 0, 0}, {1, 0, 0}, below, above, aboveCount), 4u);
    EXPECT_EQ(Points(below, below + 4), (Points{{0, 0, 0}, {0.25, 0, 0}, {0.25, 1, 0}, {0, 1, 0}}));
    ASSERT_EQ(aboveCount, 4u);
    EXPECT_EQ(Points(above, above + 4), (Points{{0.25, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0.25, 1, 0}}));
    // Corners within 1e-5 of the plane go to both sides without crossing points.
    EXPECT_EQ(clipPolygonByPlane(square.data(), four, 0, {0.5, 0.5, 0}, {1, 1, 0}, below, above, aboveCount), 3u);
    EXPECT_EQ(Points(below, below + 3), (Points{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}));
    EXPECT_EQ(aboveCount, 3u);
    // Wholly on one side, or in the plane (nothing below).
    EXPECT_EQ(clipPolygonByPlane(square.data(), four, 0, {2, 0, 0}, {1, 0, 0}, below, above, aboveCount), 4u);
    EXPECT_EQ(aboveCount, 0u);
    EXPECT_EQ(Points(below, below + 4), square);
    EXPECT_EQ(clipPolygonByPlane(square.data(), four, 0, {0, 0, 0}, {0, 0, 1}, below, above, aboveCount), 0u);
    EXPECT_EQ(aboveCount, 4u);

    // A zigzag crossing the plane on every edge fills 1.5 n of the 2n slots per side;
    // 33 corners are refused rather than overrunning the distance table.
    Points zig(33);
    for (std::uint32_t i = 0; i < 33; ++i) {
        zig[i] = {double(i), i % 2 ? 1.0 : -1.0, 0};
    }
    std::vector<QmtVector3> lo(66), hi(66);
    for (const std::uint32_t n : {32u, 33u}) {
        EXPECT_EQ(clipPolygonByPlane(zig.data(), n, 0, {0, 0, 0}, {0, 1, 0}, lo.data(), hi.data(), aboveCount),
                  n == 32 ? 48u : 0u);
        EXPECT_EQ(aboveCount, n == 32 ? 48u : 0u);
    }
    // The count may be passed in the variable that receives aboveCount.
    std::uint32_t shared = 4;
    EXPECT_EQ(clipPolygonByPlane(square.data(), shared, 0, {0.25, 0, 0}, {1, 0, 0}, below, above, shared), 4u);
    EXPECT_EQ(shared, 4u);
}

TEST(FaceEdits, SampleVerticesOutsideConvex) {
    ZYLmesh cube;
    buildCube(cube);
    // Indices 1, 3, 4, 6 lie outside (5 is on a corner); visits run last to first.
    ZYLmesh source = pointMesh({{0, 0, 0}, {3, 0, 0}, {0.2, 0.2, 0.2}, {0, -4, 0}, {0, 0, 5}, {1, 1, 1}, {-6, 0, 0}});
    QmtVector3 out[8];
    EXPECT_EQ(sampleVerticesOutsideConvex(&source, &cube, 8, out), 4u);  // fewer than n: all of them
    EXPECT_EQ(Points(out, out + 4), (Points{{-6, 0, 0}, {0, 0, 5}, {0, -4, 0}, {3, 0, 0}}));
    EXPECT_EQ(sampleVerticesOutsideConvex(&source, &cube, 2, out), 2u);  // stride 2
    EXPECT_EQ(Points(out, out + 2), (Points{{-6, 0, 0}, {0, -4, 0}}));
    EXPECT_EQ(sampleVerticesOutsideConvex(&source, &cube, 3, out), 3u);  // stride 1
    EXPECT_EQ(out[2], QmtVector3(0, -4, 0));
    EXPECT_EQ(sampleVerticesOutsideConvex(&source, &cube, 0, out), 0u);
    EXPECT_EQ(sampleVerticesOutsideConvex(nullptr, &cube, 3, out), 0u);

    // The distance is rounded to single precision before the 0.0001 test: 1.00000001e-4
    // is above 0.0001 as a double but not as a float.
    ZYLmesh near = pointMesh({{1.0 + 1.00000001e-4, 0, 0}});
    const double d = near.vertices[0].x - 1.0;
    ASSERT_TRUE(d > 0.0001 && static_cast<double>(static_cast<float>(d)) <= 0.0001);
    EXPECT_EQ(sampleVerticesOutsideConvex(&near, &cube, 1, out), 0u);
    near.vertices[0].x = 1.0 + 1.001e-4;
    EXPECT_EQ(sampleVerticesOutsideConvex(&near, &cube, 1, out), 1u);
}

TEST(FaceEdits, CollectCornerVertices) {
    // Two triangles along y = 0 meet at vertex 1, which lies on the line 0-1-2; vertex 5
    // is in no face.
    ZYLmesh mesh = pointMesh({{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {0, 1, 0}, {2, 1, 0}, {7, 7, 7}});
    mesh.worldVertices = new QmtVector3[6]{};  // the filter reads local data only
    const std::uint32_t tris[3][3] = {{0, 1, 3}, {1, 4, 3}, {1, 2, 4}};
    mesh.numFaces = 3;
    mesh.faces = new ZYLface[3];
    for (int f = 0; f < 3; ++f) {
        mesh.faces[f].numVertices = 3;
        std::copy(tris[f], tris[f] + 3, mesh.faces[f].vertices);
    }
    QmtVector3 out[6];
    ASSERT_EQ(collectCornerVertices(&mesh, out), 5u);
    EXPECT_EQ(Points(out, out + 5), (Points{{0, 0, 0}, {2, 0, 0}, {0, 1, 0}, {2, 1, 0}, {7, 7, 7}}));

    // Bending vertex 1 off the line keeps it.
    mesh.vertices[1].y = -0.5;
    EXPECT_EQ(collectCornerVertices(&mesh, out), 6u);

    // Without faces every vertex is kept.
    mesh.numFaces = 0;
    EXPECT_EQ(collectCornerVertices(&mesh, out), 6u);
    EXPECT_EQ(collectCornerVertices(nullptr, out), 0u);
}

TEST(FaceEdits, ClassifyEdgeTurn) {
    const Points p = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {1, -1, 0}, {2, 0, 0}, {-1, 0, 0}, {3, 5, 0}};
    const QmtVector3 up(0, 0, 1);
    const std::uint32_t e0[2] = {0, 1};
    const std::uint32_t left[2] = {1, 2};
    const std::uint32_t right[2] = {1, 3};
    const std::uint32_t straight[2] = {1, 4};
    const std::uint32_t back[2] = {1, 5};
    EXPECT_EQ(classifyEdgeTurn(e0, left, p.data(), up), -1);  // counter-clockwise seen from the tip
    EXPECT_EQ(classifyEdgeTurn(e0, right, p.data(), up), 1);
    EXPECT_EQ(classifyEdgeTurn(e0, left, p.data(), -up), 1);
    EXPECT_EQ(classifyEdgeTurn(e0, straight, p.data(), up), 0);
    EXPECT_EQ(classifyEdgeTurn(e0, back, p.data(), up), -1);
    // A normal in the turn's plane sees no turn.
    EXPECT_EQ(classifyEdgeTurn(e0, left, p.data(), {1, 0, 0}), 0);
    // The second edge need not start where the first ends: its direction counts.
    const std::uint32_t apart[2] = {6, 2};  // from (3, 5) down to (1, 1): a right turn
    EXPECT_EQ(classifyEdgeTurn(e0, apart, p.data(), up), 1);
}
