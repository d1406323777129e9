#include "geometry/mesh/meshPlacement.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "tests/geometry/testMeshes.h"
#include "tests/testSupport.h"

namespace {

using Qmt::QmtMatrix3;
using Qmt::QmtVector3;
using meshtest::Indices;
using meshtest::Points;
using meshtest::corners;
using zyltest::expectWithin;
using zyltest::ROT_Z90;

ZYLbox makeBox(const QmtVector3& c, const QmtMatrix3& axes, const QmtVector3& e) {
    ZYLbox box;
    box.centre = c;
    box.axes = axes;
    box.halfExtents = e;
    return box;
}

// Unit normals pointing away from c and agreeing with the winding; local data is the
// world data brought back by the frame (c, R).
template <class Mesh>
void expectOutwardBox(const Mesh& mesh, const QmtVector3& c, const QmtMatrix3& R) {
    ASSERT_TRUE(mesh.numVertices == 8 && mesh.numFaces == 6);
    const QmtVector3* w = mesh.worldVertices;
    for (std::uint32_t k = 0; k < 6; ++k) {
        const Indices f = corners(mesh.faces[k]);
        ASSERT_EQ(f.size(), 4u);
        const QmtVector3& n = mesh.worldNormals[k];
        EXPECT_NEAR(n.Length(), 1.0, 1e-12);
        EXPECT_GT((w[f[0]] + w[f[2]] - c - c).Dot(n), 0.0) << "face " << k;
        EXPECT_GT((w[f[1]] - w[f[0]]).Cross(w[f[2]] - w[f[1]]).Dot(n), 0.0) << "face " << k;
        expectWithin(mesh.normals[k], R.Transpose() * n);
    }
    for (std::uint32_t i = 0; i < 8; ++i) {
        expectWithin(mesh.vertices[i], R.Transpose() * (w[i] - c));
    }
}

}  // namespace

TEST(MeshPlacement, BoxCorners) {
    const Points expected = {{2, 4, 6}, {2, 4, 0}, {2, 0, 0}, {2, 0, 6},
                             {0, 0, 0}, {0, 4, 0}, {0, 4, 6}, {0, 0, 6}};
    QmtVector3 corners[8];
    computeBoxCorners(makeBox({1, 2, 3}, QmtMatrix3::IDENTITY, {1, 2, 3}), corners);
    EXPECT_EQ(Points(corners, corners + 8), expected);
    ZYLAAbox aa{{0, 0, 0}, {2, 4, 6}};
    computeAABoxCorners(aa, corners);
    EXPECT_EQ(Points(corners, corners + 8), expected);

    // Rotated axes, and the same order as the oriented-box volume's corners, which the
    // collision code indexes interchangeably.
    ZYLbox rotated = makeBox({1, 0, 0}, ROT_Z90, {1, 2, 3});
    computeBoxCorners(rotated, corners);
    EXPECT_EQ(corners[0], QmtVector3(-1, 1, 3));
    EXPECT_EQ(corners[5], QmtVector3(-1, -1, -3));
    QmtVector3 fromVolume[8];
    BVbox(&rotated).computeVertexes(fromVolume);
    EXPECT_EQ(Points(corners, corners + 8), Points(fromVolume, fromVolume + 8));
}

TEST(MeshPlacement, BoxMeshWinding) {
    // Identity axes: the table winds inward, so every face is reversed.
    ZYLmesh mesh;
    const ZYLbox box = makeBox({1, 2, 3}, QmtMatrix3::IDENTITY, {1, 2, 3});
    buildBoxMesh(box, &mesh);
    EXPECT_EQ(corners(mesh.faces[0]), (Indices{3, 2, 1, 0}));
    EXPECT_EQ(mesh.worldNormals[0], QmtVector3(1, 0, 0));
    for (std::uint32_t k = 0; k < 6; ++k) {
        const std::uint32_t* t = BOX_FACE_TABLE[k];
        EXPECT_EQ(corners(mesh.faces[k]), (Indices{t[3], t[2], t[1], t[0]}));
    }
    expectOutwardBox(mesh, box.centre, box.axes);
    EXPECT_TRUE(mesh.translation == box.centre && mesh.worldCentre == box.centre &&
                mesh.centre == QmtVector3::ZERO);

    // Determinant -1: the table already winds outward.
    const QmtMatrix3 mirror(1, 0, 0, 0, 1, 0, 0, 0, -1);
    buildBoxMesh(makeBox({0, 0, 0}, mirror, {1, 1, 1}), &mesh);
    for (std::uint32_t k = 0; k < 6; ++k) {
        const std::uint32_t* t = BOX_FACE_TABLE[k];
        EXPECT_EQ(corners(mesh.faces[k]), (Indices{t[0], t[1], t[2], t[3]}));
    }
    expectOutwardBox(mesh, {0, 0, 0}, mirror);

    // A general rotation: local vertices are the signed half extents.
    const QmtMatrix3 turn = zyltest::axisRotation(QmtVector3(1, 2, 3) / std::sqrt(14.0), 0.7);
    buildBoxMesh(makeBox({-1, 5, 2}, turn, {0.5, 1, 2}), &mesh);
    expectOutwardBox(mesh, {-1, 5, 2}, turn);
    expectWithin(mesh.vertices[2], {0.5, -1, -2});
    EXPECT_EQ(mesh.rotation, turn);

    // Zero third half extent: table faces 0 to 3 get zero normals; nothing flips,
    // not even the faces 4 and 5 through the centre.
    buildBoxMesh(makeBox({0, 0, 0}, QmtMatrix3::IDENTITY, {1, 1, 0}), &mesh);
    for (std::uint32_t k = 0; k < 6; ++k) {
        const std::uint32_t* t = BOX_FACE_TABLE[k];
        EXPECT_EQ(corners(mesh.faces[k]), (Indices{t[0], t[1], t[2], t[3]}));
        EXPECT_EQ(mesh.worldNormals[k].SquaredLength(), k < 4 ? 0.0 : 1.0);
    }
    buildBoxMesh(box, nullptr);  // ignored
}

TEST(MeshPlacement, BoxMeshStorage) {
    // Arrays large enough are reused; scale, radius, UVs and face data stay.
    ZYLmesh mesh;
    mesh.numVertices = 10;
    mesh.vertices = new QmtVector3[10];
    mesh.worldVertices = new QmtVector3[10];
    mesh.numFaces = 7;
    mesh.faces = new ZYLface[7];
    mesh.normals = new QmtVector3[7];
    mesh.worldNormals = new QmtVector3[7];
    mesh.faces[2].flags = FACE_CAP;
    mesh.faces[2].uvs[1] = 42;
    mesh.scale = {2, 2, 2};
    mesh.radius = 5;
    const void* arrays[] = {mesh.vertices, mesh.worldVertices, mesh.faces, mesh.normals,
                            mesh.worldNormals};
    const ZYLbox box = makeBox({0, 0, 1}, QmtMatrix3::IDENTITY, {1, 1, 1});
    for (int pass = 0; pass < 2; ++pass) {
        buildBoxMesh(box, &mesh);
        const void* now[] = {mesh.vertices, mesh.worldVertices, mesh.faces, mesh.normals,
                             mesh.worldNormals};
        EXPECT_TRUE(std::equal(arrays, arrays + 5, now));
        EXPECT_TRUE(mesh.numVertices == 8 && mesh.numFaces == 6);
    }
    EXPECT_TRUE(mesh.faces[2].flags == FACE_CAP && mesh.faces[2].uvs[1] == 42);
    EXPECT_TRUE(mesh.scale == QmtVector3(2, 2, 2) && mesh.radius == 5);

    // DF form: old faces destroyed and resized to four corners and one UV set; the
    // corner normals no longer fit and are dropped.
    ZYL_DFmesh df;
    df.numFaces = 3;
    df.faces = new ZYL_DFface[3];
    df.faces[0].allocate(9, 3);
    df.numCornerNormals = 24;
    df.cornerNormals = new QmtVector3[24];
    buildBoxDFmesh(box, &df);
    EXPECT_TRUE(df.cornerNormals == nullptr && df.numCornerNormals == 0);
    for (std::uint32_t k = 0; k < 6; ++k) {
        EXPECT_TRUE(df.faces[k].capacity == 4 && df.faces[k].numUVSets == 1);
    }
    expectOutwardBox(df, box.centre, box.axes);

    // Axis-aligned forms: rotation and translation stay; local = world - centre.
    const ZYLAAbox aa{{0, 0, 0}, {2, 4, 6}};
    ZYLmesh aaMesh;
    aaMesh.translation = {9, 9, 9};
    aaMesh.rotation = ROT_Z90;
    buildAABoxMesh(aa, &aaMesh);
    EXPECT_TRUE(aaMesh.translation == QmtVector3(9, 9, 9) && aaMesh.rotation == ROT_Z90);
    EXPECT_EQ(aaMesh.worldCentre, QmtVector3(1, 2, 3));
    EXPECT_EQ(aaMesh.vertices[0], QmtVector3(1, 2, 3));
    expectOutwardBox(aaMesh, {1, 2, 3}, QmtMatrix3::IDENTITY);
    ZYL_DFmesh aaDf;
    aaDf.numCornerNormals = 2;
    aaDf.cornerNormals = new QmtVector3[2];
    buildAABoxDFmesh(aa, &aaDf);
    EXPECT_TRUE(aaDf.cornerNormals != nullptr && aaDf.numCornerNormals == 2);
    expectOutwardBox(aaDf, {1, 2, 3}, QmtMatrix3::IDENTITY);
}

TEST(MeshPlacement, Transforms) {
    ZYLmesh mesh;
    mesh.numVertices = 1;
    mesh.vertices = new QmtVector3[1]{{1, 2, 3}};
    mesh.worldVertices = new QmtVector3[1];
    mesh.numFaces = 2;
    mesh.normals = new QmtVector3[2]{QmtVector3(1, 1, 0) / std::sqrt(2.0), {0, 0, 0}};
    mesh.worldNormals = new QmtVector3[2];
    mesh.centre = {1, 2, 3};
    mesh.radius = 1;
    const QmtVector3 T(10, 20, 30);
    const QmtVector3 S(2, 3, 4);

    // SRT: R (S o v) + T and unit(R (n / S)); TRS: S o (R (v + T)) and unit((R n) / S).
    meshTransformSRT(&mesh, T, ROT_Z90, S);
    EXPECT_EQ(mesh.worldVertices[0], QmtVector3(4, 22, 42));
    EXPECT_EQ(mesh.worldCentre, mesh.worldVertices[0]);
    expectWithin(mesh.worldNormals[0], QmtVector3(-2, 3, 0) / std::sqrt(13.0));
    EXPECT_EQ(mesh.worldNormals[1], QmtVector3::ZERO);
    EXPECT_TRUE(mesh.scale == S && mesh.rotation == ROT_Z90 && mesh.translation == T);
    EXPECT_EQ(mesh.worldRadius, S.Length() * 0.5770000219345093);
    meshTransformTRS(&mesh, T, ROT_Z90, S);
    EXPECT_EQ(mesh.worldVertices[0], QmtVector3(-44, 33, 132));
    EXPECT_EQ(mesh.worldCentre, mesh.worldVertices[0]);
    expectWithin(mesh.worldNormals[0], QmtVector3(-3, 2, 0) / std::sqrt(13.0));
    EXPECT_EQ(mesh.worldNormals[1], QmtVector3::ZERO);

    // Uniform scale 2: radius 2 sqrt(3) 0.577f, close to 2.
    meshTransformSRT(&mesh, {1, 0, 0}, QmtMatrix3::IDENTITY, {2, 2, 2});
    EXPECT_NEAR(mesh.worldRadius, 1.99879, 1e-5);

    // Passing the mesh's own placement back in is safe.
    meshTransformSRT(&mesh, T, ROT_Z90, S);
    meshTransformTRS(&mesh, mesh.translation, mesh.rotation, mesh.scale);
    EXPECT_EQ(mesh.worldVertices[0], QmtVector3(-44, 33, 132));

    ZYL_DFmesh df;
    df.numVertices = 1;
    df.vertices = new QmtVector3[1]{{1, 2, 3}};
    df.worldVertices = new QmtVector3[1];
    df.radius = 2;
    meshTransformTRS(&df, T, ROT_Z90, S);
    EXPECT_EQ(df.worldVertices[0], QmtVector3(-44, 33, 132));
    meshTransformSRT(&df, T, ROT_Z90, S);
    EXPECT_EQ(df.worldVertices[0], QmtVector3(4, 22, 42));
    EXPECT_EQ(df.worldRadius, S.Length() * 2 * 0.5770000219345093);
}

TEST(MeshPlacement, Samplers) {
    const auto xs = [](const QmtVector3* p, std::uint32_t n) {
        Indices out;
        for (std::uint32_t i = 0; i < n; ++i) {
            out.push_back(static_cast<std::uint32_t>(p[i].x));
        }
        return out;
    };
    QmtVector3 out[16];
    ZYLmesh mesh;
    ZYL_DFmesh df;
    mesh.numVertices = df.numVertices = 10;
    mesh.vertices = new QmtVector3[10];
    df.vertices = new QmtVector3[11];
    for (int i = 0; i < 11; ++i) {
        df.vertices[i] = {static_cast<double>(i), 0, 0};
        if (i < 10) {
            mesh.vertices[i] = df.vertices[i];
        }
    }
    EXPECT_EQ(sampleMeshVertices(mesh, 3, out), 3u);
    EXPECT_EQ(xs(out, 3), (Indices{0, 3, 6}));
    EXPECT_EQ(sampleMeshVertices(mesh, 20, out), 10u);
    EXPECT_EQ(xs(out, 10), (Indices{0, 1, 2, 3, 4, 5, 6, 7, 8, 9}));
    EXPECT_EQ(sampleMeshVertices(mesh, 0, out), 0u);

    EXPECT_EQ(sampleDFmeshVertices(df, 7, out), 7u);
    EXPECT_EQ(xs(out, 7), (Indices{0, 2, 4, 6, 8, 1, 3}));
    EXPECT_EQ(sampleDFmeshVertices(df, 5, out), 5u);
    EXPECT_EQ(xs(out, 5), (Indices{0, 2, 4, 6, 8}));
    EXPECT_EQ(sampleDFmeshVertices(df, 3, out), 3u);
    EXPECT_EQ(xs(out, 3), (Indices{0, 3, 6}));
    EXPECT_EQ(sampleDFmeshVertices(df, 12, out), 10u);  // limited to the vertex count
    // An odd count asked for all: the odds run one short; the last vertex completes.
    df.numVertices = 11;
    EXPECT_EQ(sampleDFmeshVertices(df, 11, out), 11u);
    EXPECT_EQ(xs(out, 11), (Indices{0, 2, 4, 6, 8, 1, 3, 5, 7, 9, 10}));
    EXPECT_EQ(sampleDFmeshVertices(df, 0, out), 0u);

    // Outside the cube [-0.5, 0.5]^3, gathered last to first: 5, 3, 2, 0. Vertex 4 is
    // within the 0.0001 tolerance until it moves out.
    ZYLmesh convex;
    buildAABoxMesh(ZYLAAbox{{-0.5, -0.5, -0.5}, {0.5, 0.5, 0.5}}, &convex);
    ZYL_DFmesh cloud;
    cloud.numVertices = 6;
    cloud.vertices = new QmtVector3[6]{{2, 0, 0},  {0, 0, 0},        {0, 3, 0},
                                       {0, 0, -4}, {0.50005, 0, 0}, {5, 5, 5}};
    EXPECT_EQ(sampleVerticesOutsideConvex(cloud, convex, 10, out), 4u);
    EXPECT_EQ(Points(out, out + 4), (Points{{5, 5, 5}, {0, 0, -4}, {0, 3, 0}, {2, 0, 0}}));
    EXPECT_EQ(sampleVerticesOutsideConvex(cloud, convex, 3, out), 3u);
    EXPECT_EQ(Points(out, out + 3), (Points{{5, 5, 5}, {0, 0, -4}, {0, 3, 0}}));
    EXPECT_EQ(sampleVerticesOutsideConvex(cloud, convex, 2, out), 2u);
    EXPECT_EQ(Points(out, out + 2), (Points{{5, 5, 5}, {0, 3, 0}}));
    EXPECT_EQ(sampleVerticesOutsideConvex(cloud, convex, 0, out), 0u);
    cloud.vertices[4] = {0.5002, 0, 0};
    EXPECT_EQ(sampleVerticesOutsideConvex(cloud, convex, 10, out), 5u);
    EXPECT_EQ(out[1], QmtVector3(0.5002, 0, 0));
    cloud.numVertices = 2;  // an inside point and a corner
    cloud.vertices[0] = {0.1, 0.2, 0.3};
    cloud.vertices[1] = {-0.5, 0.5, 0.5};
    EXPECT_EQ(sampleVerticesOutsideConvex(cloud, convex, 4, out), 0u);
}

TEST(MeshPlacement, LookupsAndBounds) {
    ZYLface face;
    ZYL_DFface dfFace(4, 1);
    face.numVertices = dfFace.numVertices = 4;
    const std::uint32_t corners[4] = {7, 4, 9, 2};
    std::copy_n(corners, 4, face.vertices);
    std::copy_n(corners, 4, dfFace.vertices);
    EXPECT_EQ(vertexIndexInTriangle(face, 9), 2u);
    EXPECT_EQ(vertexIndexInTriangle(face, 2), NO_TRIANGLE_INDEX);
    constexpr std::uint32_t NONE = NO_TRIANGLE_INDEX;
    const std::uint32_t pairs[6][3] = {{7, 4, 0}, {4, 7, 0}, {9, 4, 1},
                                       {9, 7, 2}, {2, 9, NONE}, {7, 7, NONE}};
    for (const auto& p : pairs) {
        EXPECT_EQ(edgeIndexInTriangle(face, p[0], p[1]), p[2]);
        EXPECT_EQ(edgeIndexInDFTriangle(p, dfFace), p[2]);
    }
    ZYL_DFface small(2, 1);  // no third index to compare
    small.vertices[0] = 9;
    small.vertices[1] = 4;
    EXPECT_EQ(edgeIndexInDFTriangle(pairs[2], small), NO_TRIANGLE_INDEX);

    // Nearest corner; ties fall through (d0 = d1 < d2 gives d2).
    QmtVector3 centroid;
    double r = 0;
    const QmtVector3 tri[3][3] = {{{0, 0, 0}, {3, 0, 0}, {0, 6, 0}},
                                  {{0, 6, 0}, {0, 0, 0}, {3, 0, 0}},
                                  {{-1, 0, 0}, {1, 0, 0}, {0, 3, 0}}};
    const double radius[3] = {std::sqrt(5.0), std::sqrt(5.0), 2.0};
    for (int i = 0; i < 3; ++i) {
        triangleCentroidRadius(tri[i], centroid, r);
        EXPECT_NEAR(r, radius[i], 1e-12);
    }
    expectWithin(centroid, {0, 1, 0}, 1e-15);

    const QmtVector3 points[4] = {{1, -2, 3}, {-1, 5, 0}, {4, 0, -7}, {0, 0, 0}};
    ZYLAAbox box = computeAABoxOfPoints(4, points);
    EXPECT_TRUE(box.minCorner == QmtVector3(-1, -2, -7) && box.maxCorner == QmtVector3(4, 5, 3));
    box = computeAABoxOfPoints(0, points);  // the zero box; the array is not read
    EXPECT_TRUE(box.minCorner == QmtVector3::ZERO && box.maxCorner == QmtVector3::ZERO);
}
