#include "geometry/mesh/bvDFmesh.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "geometry/clip/clipper.h"
#include "geometry/mesh/massProperties.h"
#include "tests/geometry/testMeshes.h"
#include "tests/testSupport.h"

namespace {

using Qmt::QmtMatrix3;
using Qmt::QmtVector3;
using namespace meshtest;
using zyltest::ROT_Z90;
using zyltest::expectWithin;

const Points CUBE_POINTS = cube().vertices;

// A DF mesh with one UV set; world = local, normal and UV indices 0.
std::unique_ptr<ZYL_DFmesh> makeDFmesh(const Points& points, const Faces& faces, const Points& normals) {
    return MeshBuilder({points, faces}, normals).dfMesh();
}

// Cuts the mesh through its own volume as the flat cut wrapper does, then checks it is
// one closed piece.
std::int32_t cutThroughVolume(ZYL_DFmesh* mesh, const QmtVector3& normal, const QmtVector3& point) {
    const std::int32_t result = cutDF(mesh, normal, point).first;
    BVDFmesh check;
    EXPECT_TRUE(check.init(mesh, BVDF_EDGES | BVDF_VERTICES | BVDF_PIECES));
    EXPECT_EQ(mesh->numPieces, 1u);
    EXPECT_FALSE(check.hasOpenEdge());
    EXPECT_TRUE(check.checkIndices());
    return result;
}

}  // namespace

TEST(BVDFmeshVolume, InitClearAndOwnership) {
    BVDFmesh volume;
    EXPECT_EQ(volume.getOwnership(), -1);
    EXPECT_EQ(volume.getMesh(), nullptr);
    EXPECT_EQ(volume.getClipper(), nullptr);
    EXPECT_EQ(volume.getEdgeCount(), 0u);
    EXPECT_EQ(volume.flags, 0u);
    EXPECT_FALSE(volume.buildElementAdjacency(0));

    const auto cube = makeDFMesh(meshtest::cube());
    ASSERT_TRUE(volume.init(cube.get(), 0));
    EXPECT_EQ(volume.getMesh(), cube.get());
    EXPECT_EQ(volume.getOwnership(), 0);
    EXPECT_EQ(volume.numVertexRecords, 8u);
    EXPECT_EQ(volume.flags, 0u);
    EXPECT_EQ(volume.edges, nullptr);
    EXPECT_TRUE(volume.buildElementAdjacency(0));

    ASSERT_TRUE(volume.init(cube.get(), BVDF_VOLUME));
    EXPECT_NEAR(volume.getVolume(), 1.0, 1e-12);
    expectWithin(cube->centre, {0.5, 0.5, 0.5});

    // A face index equal to the vertex count is refused; no mesh is held afterwards.
    cube->faces[3].vertices[1] = 8;
    EXPECT_FALSE(volume.init(cube.get(), 0));
    EXPECT_EQ(volume.getMesh(), nullptr);
    EXPECT_EQ(volume.getOwnership(), -1);
    cube->faces[3].vertices[1] = 2;
    EXPECT_FALSE(volume.init(nullptr, 0));

    // An owned mesh goes when another one is attached (the leak checker watches) and
    // stays owned when it is given again.
    volume.mesh = makeDFMesh(meshtest::cube()).release();
    volume.state = 1;
    ASSERT_TRUE(volume.init(volume.mesh, 0));
    EXPECT_EQ(volume.getOwnership(), 1);
    ASSERT_TRUE(volume.init(cube.get(), 0));
    EXPECT_EQ(volume.getOwnership(), 0);

    // clear releases the tables and the clipper and keeps the mesh and the flags.
    volume.initClipper();
    ASSERT_NE(volume.getClipper(), nullptr);
    volume.flags = BVDF_BUILT_EDGES;
    volume.clear();
    EXPECT_EQ(volume.getClipper(), nullptr);
    EXPECT_EQ(volume.numVertexRecords, 0u);
    EXPECT_EQ(volume.flags, BVDF_BUILT_EDGES);
    EXPECT_EQ(volume.getMesh(), cube.get());
}

TEST(BVDFmeshClip, FinishUndoesTheScaleAndDropsDegenerateFaces) {
    // A 2-corner face in the middle of a cube that is turned 90 degrees about z.
    std::vector<Indices> faces = CUBE_FACES;
    std::vector<QmtVector3> normals = CUBE_NORMALS;
    faces.insert(faces.begin() + 2, Indices{0, 1});
    normals.insert(normals.begin() + 2, QmtVector3(9, 9, 9));
    const auto mesh = makeDFmesh(CUBE_POINTS, faces, normals);
    mesh->rotation = ROT_Z90;
    mesh->worldCentre = {0.5, 0.5, 0.5};

    BVDFmesh volume;
    ASSERT_TRUE(volume.init(mesh.get(), 0));
    volume.initClipper();
    ASSERT_NE(volume.getClipper(), nullptr);
    const double s = volume.getClipper()->getScale();
    EXPECT_EQ(s, 160.0);

    // A result other than 0 only clears.
    volume.finishClip(1);
    EXPECT_EQ(volume.getClipper(), nullptr);
    EXPECT_EQ(mesh->numFaces, 7u);
    EXPECT_EQ(mesh->worldVertices[6], QmtVector3(1, 1, 1));

    // Result 0: what a cut leaves is scaled; the finish divides it back.
    volume.initClipper();
    for (std::uint32_t i = 0; i < 8; ++i) {
        mesh->worldVertices[i] = mesh->worldVertices[i] * s;
        mesh->vertices[i] = mesh->vertices[i] * s;
    }
    mesh->worldCentre = mesh->worldCentre * s;
    volume.finishClip(0);
    EXPECT_EQ(volume.getClipper(), nullptr);
    for (std::uint32_t i = 0; i < 8; ++i) {
        expectWithin(mesh->worldVertices[i], CUBE_POINTS[i]);
        expectWithin(mesh->vertices[i], CUBE_POINTS[i]);
    }
    expectWithin(mesh->worldCentre, {0.5, 0.5, 0.5});
    ASSERT_EQ(mesh->numFaces, 6u);
    for (std::uint32_t f = 0; f < 6; ++f) {
        EXPECT_EQ(corners(mesh->faces[f]), CUBE_FACES[f]);
        EXPECT_EQ(mesh->worldNormals[f], CUBE_NORMALS[f]);
        expectWithin(mesh->normals[f], ROT_Z90.Transpose() * CUBE_NORMALS[f]);
    }
}

TEST(BVDFmeshClip, CutThroughTheVolume) {
    const auto cube = makeDFMesh(meshtest::cube());
    EXPECT_EQ(cutDF(cube.get(), QmtVector3::UNIT_Z, {0, 0, 0.5}).first, 0);
    ASSERT_GT(cube->numVertices, 0u);
    for (std::uint32_t i = 0; i < cube->numVertices; ++i) {
        EXPECT_GE(cube->worldVertices[i].z, 0.5 - 1e-9);
        EXPECT_LE(cube->worldVertices[i].z, 1.0 + 1e-9);
        EXPECT_GE(cube->vertices[i].z, 0.5 - 1e-9);
    }
    for (std::uint32_t f = 0; f < cube->numFaces; ++f) {
        EXPECT_GE(cube->faces[f].numVertices, 3u);
        for (std::uint32_t k = 0; k < cube->faces[f].numVertices; ++k) {
            EXPECT_LT(cube->faces[f].vertices[k], cube->numVertices);
        }
    }
}

TEST(BVDFmeshAdjacency, ClosedCubeAndOpenQuad) {
    const auto cube = makeDFMesh(meshtest::cube());
    BVDFmesh volume;
    ASSERT_TRUE(volume.init(cube.get(), BVDF_EDGES | BVDF_VERTICES));
    EXPECT_EQ(volume.flags, BVDF_BUILT_EDGES | BVDF_BUILT_VERTICES);
    ASSERT_EQ(volume.getEdgeCount(), 12u);
    for (std::uint32_t i = 0; i < 12; ++i) {
        const connect_edge& e = volume.getConnectEdges(i);
        EXPECT_NE(e.faceA, e.faceB);
        // Face A walks the edge from v0 to v1 at slot posA; face B lists it at posB.
        EXPECT_EQ(cube->faces[e.faceA].vertices[e.posA], e.v0);
        EXPECT_EQ(cube->faces[e.faceA].edges[e.posA], i);
        EXPECT_EQ(cube->faces[e.faceB].vertices[(e.posB + 1) % 4], e.v0);
        EXPECT_EQ(cube->faces[e.faceB].edges[e.posB], i);
    }
    for (std::uint32_t v = 0; v < 8; ++v) {
        EXPECT_EQ(volume.getConnectVertex(v).numFaces, 3u);
        EXPECT_EQ(volume.getConnectVertex(v).numEdges, 3u);
    }
    EXPECT_FALSE(volume.hasOpenEdge());
    EXPECT_TRUE(volume.checkIndices());

    // An open quad: 4 edges in corner order, face B = face A, position B = position A.
    const auto quad = makeDFmesh({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}}, {{0, 1, 2, 3}}, {{0, 0, 1}});
    ASSERT_TRUE(volume.init(quad.get(), BVDF_EDGES | BVDF_VERTICES));
    ASSERT_EQ(volume.getEdgeCount(), 4u);
    EXPECT_EQ(edgeSlots(quad->faces[0]), (Indices{0, 1, 2, 3}));
    for (std::uint32_t k = 0; k < 4; ++k) {
        const connect_edge& e = volume.getConnectEdges(k);
        EXPECT_EQ(std::vector<std::uint32_t>({e.v0, e.v1, e.faceA, e.faceB, e.posA, e.posB}),
                  std::vector<std::uint32_t>({k, (k + 1) % 4, 0, 0, k, k}));
        EXPECT_EQ(vertexFaces(volume.getConnectVertex(k)), Indices{0});
    }
    EXPECT_EQ(vertexEdges(volume.getConnectVertex(0)), (Indices{0, 3}));
    EXPECT_TRUE(volume.hasOpenEdge());
}

TEST(BVDFmeshAdjacency, TableOrderAndCrossedSecondFaceSlots) {
    // Face 1 walks the shared edge 1-2 backwards (2 -> 1).
    MeshBuilder builder({{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}}, {{0, 1, 2}, {2, 1, 3}}},
                        {{0, 0, 1}, {0, 0, 1}});
    builder.uvs = {{0, 1, 2}, {3, 4, 5}};
    builder.cornerNormals = {{10, 11, 12}, {13, 14, 15}};
    builder.extraSets = {{{20, 21, 22}, {23, 24, 25}}};
    builder.uvTable = tags(26);
    builder.cornerNormalTable = tags(16, 0.0, true);
    builder.extraSetTables = {tags(26, 1.0)};
    const auto mesh = builder.dfMesh();
    BVDFmesh volume;
    ASSERT_TRUE(volume.init(mesh.get(), BVDF_EDGES | BVDF_VERTICES));
    ASSERT_EQ(volume.getEdgeCount(), 5u);
    // Open edges in the order made (0-1, 2-0, 1-3, 3-2), then the shared one.
    const Indices ends = {0, 1, 2, 0, 1, 3, 3, 2, 1, 2};
    for (std::uint32_t i = 0; i < 5; ++i) {
        EXPECT_EQ(volume.getConnectEdges(i).v0, ends[2 * i]);
        EXPECT_EQ(volume.getConnectEdges(i).v1, ends[2 * i + 1]);
    }
    EXPECT_EQ(edgeSlots(mesh->faces[0]), (Indices{0, 4, 1}));
    EXPECT_EQ(edgeSlots(mesh->faces[1]), (Indices{4, 2, 3}));

    // v0 = 1 is corner 1 of face 1 and v1 = 2 its corner 0: the B slots are crossed.
    const connect_edge& shared = volume.getConnectEdges(4);
    EXPECT_EQ(Indices({shared.faceA, shared.posA, shared.faceB, shared.posB}), (Indices{0, 1, 1, 0}));
    EXPECT_EQ(Indices(shared.uvs, shared.uvs + 4), (Indices{1, 4, 2, 3}));
    EXPECT_EQ(Indices(shared.normals, shared.normals + 4), (Indices{11, 14, 12, 13}));
    EXPECT_EQ(Indices({shared.uvSetStart[0][0], shared.uvSetStart[0][1], shared.uvSetEnd[0][0], shared.uvSetEnd[0][1]}),
              (Indices{21, 24, 22, 23}));
    EXPECT_EQ(shared.flags, EDGE_UV_SETS);
    EXPECT_EQ(shared.numUVSets, 2u);
    // An open edge of face 1: B is A, the B slots stay 0.
    const connect_edge& border = volume.getConnectEdges(2);
    EXPECT_EQ(Indices({border.faceA, border.posA, border.faceB, border.posB}), (Indices{1, 1, 1, 1}));
    EXPECT_EQ(Indices(border.uvs, border.uvs + 4), (Indices{4, 0, 5, 0}));

    // One face entry per corner on the vertex; edges in table order.
    EXPECT_EQ(vertexFaces(volume.getConnectVertex(1)), (Indices{0, 1}));
    EXPECT_EQ(vertexEdges(volume.getConnectVertex(1)), (Indices{0, 2, 4}));
    EXPECT_EQ(vertexEdges(volume.getConnectVertex(2)), (Indices{1, 3, 4}));

    // Without corner normals the normal slots are not read from the faces.
    mesh->numCornerNormals = 0;
    ASSERT_TRUE(volume.buildElementAdjacency(BVDF_EDGES));
    EXPECT_EQ(volume.flags, BVDF_BUILT_EDGES);
    EXPECT_EQ(volume.getConnectEdges(4).normals[EDGE_SLOT_START_A], 0u);
    // Vertex records alone get no entries.
    ASSERT_TRUE(volume.buildElementAdjacency(BVDF_VERTICES));
    EXPECT_EQ(volume.flags, BVDF_BUILT_VERTICES);
    EXPECT_EQ(volume.getEdgeCount(), 0u);
    EXPECT_EQ(volume.getConnectVertex(1).numFaces + volume.getConnectVertex(1).numEdges, 0u);
}

TEST(BVDFmeshAdjacency, RefusedAndRepairedInput) {
    // Faces without corners give no edge: the build fails and the flags stay clear.
    const auto mesh = makeDFmesh(CUBE_POINTS, {{0, 1, 2}}, {{0, 0, 1}});
    mesh->faces[0].numVertices = 0;
    BVDFmesh volume;
    ASSERT_TRUE(volume.init(mesh.get(), 0));
    volume.flags = BVDF_BUILT_EDGES;
    EXPECT_FALSE(volume.buildElementAdjacency(BVDF_EDGES | BVDF_VERTICES));
    EXPECT_EQ(volume.flags, 0u);
    EXPECT_FALSE(volume.hasOpenEdge());
    // An index put out of range after init is refused.
    mesh->faces[0].numVertices = 3;
    mesh->faces[0].vertices[2] = 99;
    EXPECT_FALSE(volume.buildElementAdjacency(BVDF_EDGES));

    // An edge array shorter than the corner count grows instead of being overrun.
    const auto cube = makeDFMesh(meshtest::cube());
    ZYL_DFface& face = cube->faces[2];
    delete[] face.edges;
    face.edges = new std::uint32_t[1];
    face.edgeCapacity = 1;
    ASSERT_TRUE(volume.init(cube.get(), BVDF_EDGES));
    EXPECT_EQ(volume.getEdgeCount(), 12u);
    EXPECT_GE(face.edgeCapacity, 4u);
    EXPECT_EQ(corners(face), CUBE_FACES[2]);
    EXPECT_TRUE(volume.checkIndices());
}

TEST(BVDFmeshChecks, CheckIndicesAndOpenEdges) {
    MeshBuilder builder;
    builder.addCube({0, 0, 0});
    const auto mesh = builder.dfMesh();
    BVDFmesh volume;
    EXPECT_FALSE(volume.checkIndices());
    ASSERT_TRUE(volume.init(mesh.get(), BVDF_EDGES));
    EXPECT_TRUE(volume.checkIndices());
    // Each bad index alone fails the check.
    const auto failsWith = [&](std::uint32_t& slot, std::uint32_t bad) {
        const std::uint32_t good = slot;
        slot = bad;
        EXPECT_FALSE(volume.checkIndices());
        slot = good;
    };
    failsWith(mesh->faces[4].uvs[2], mesh->numUVs);
    failsWith(mesh->faces[1].edges[3], 12);
    failsWith(volume.getConnectEdges(5).v1, 8);
    failsWith(mesh->faces[0].vertices[0], 8);
    ASSERT_TRUE(volume.checkIndices());
    delete[] mesh->worldNormals;
    mesh->worldNormals = nullptr;
    EXPECT_FALSE(volume.checkIndices());

    // Without its top face the cube is open; the 4 edges of the hole lead the table.
    Faces faces = CUBE_FACES;
    faces.erase(faces.begin() + 1);
    const auto open = makeDFmesh(CUBE_POINTS, faces, Points(5));
    ASSERT_TRUE(volume.init(open.get(), BVDF_EDGES));
    EXPECT_TRUE(volume.hasOpenEdge());
    for (std::uint32_t i = 0; i < 12; ++i) {
        const connect_edge& e = volume.getConnectEdges(i);
        EXPECT_EQ(e.faceA == e.faceB, i < 4);
        EXPECT_EQ(e.v0 >= 4 && e.v1 >= 4, i < 4);
    }
}

TEST(BVDFmeshVolume, InitHullOwnsItsHull) {
    const Points points = meshtest::cube(2.0, {1, 2, 3}).vertices;
    const auto cube = makeDFMesh(meshtest::cube());
    BVDFmesh volume;
    ASSERT_TRUE(volume.init(cube.get(), BVDF_EDGES | BVDF_VERTICES));
    ASSERT_TRUE(volume.initHull(points.data(), 8));
    EXPECT_EQ(volume.getOwnership(), 1);
    ASSERT_NE(volume.getMesh(), nullptr);
    // Nothing is built over the hull, and the cube's tables are gone.
    EXPECT_EQ(volume.flags, 0u);
    EXPECT_EQ(volume.getEdgeCount(), 0u);
    EXPECT_EQ(volume.vertexRecords, nullptr);
    QmtVector3 centre;
    EXPECT_NEAR(ComputeMassProperties(volume.getMesh(), centre), 8.0, 1e-9);
    expectWithin(centre, {2, 3, 4}, 1e-9);
    // The second form ignores its middle argument; the first hull is deleted.
    ASSERT_TRUE(volume.initHull(points.data(), 12345, 8));
    EXPECT_EQ(volume.getMesh()->numVertices, 8u);
    // The held hull's own vertices: they must be read before that hull is deleted
    // (the sanitizer build watches the reads).
    const ZYL_DFmesh* const previous = volume.getMesh();
    ASSERT_TRUE(volume.initHull(volume.getMesh()->vertices, volume.getMesh()->numVertices));
    ASSERT_NE(volume.getMesh(), nullptr);
    EXPECT_NE(volume.getMesh(), previous);
    EXPECT_EQ(volume.getOwnership(), 1);
    EXPECT_EQ(volume.getMesh()->numFaces, 6u);
    EXPECT_EQ(volume.getMesh()->numVertices, 8u);
    EXPECT_NEAR(ComputeMassProperties(volume.getMesh(), centre), 8.0, 1e-9);
    expectWithin(centre, {2, 3, 4}, 1e-9);
    // Collinear points give no hull and no mesh is held.
    const std::vector<QmtVector3> line = {{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {3, 0, 0}};
    EXPECT_FALSE(volume.initHull(line.data(), 4));
    EXPECT_EQ(volume.getMesh(), nullptr);
    EXPECT_EQ(volume.getOwnership(), -1);
    EXPECT_EQ(cube->numFaces, 6u);
}

TEST(BVDFmeshClip, GoldenCubeCut) {
    const auto cube = makeDFMesh(meshtest::cube());
    ASSERT_EQ(cutThroughVolume(cube.get(), QmtVector3::UNIT_Z, {0.3, 0.7, 0.5}), 0);
    ASSERT_EQ(cube->numVertices, 8u);
    ASSERT_EQ(cube->numFaces, 6u);
    std::uint32_t caps = 0;
    for (std::uint32_t f = 0; f < 6; ++f) {
        EXPECT_EQ(cube->faces[f].numVertices, 4u);
        if (cube->faces[f].flags & FACE_CAP) {
            ++caps;
            expectWithin(cube->worldNormals[f], {0, 0, -1});
        }
        expectWithin(cube->normals[f], cube->worldNormals[f]);
    }
    EXPECT_EQ(caps, 1u);
    for (std::uint32_t i = 0; i < 8; ++i) {
        const QmtVector3& p = cube->worldVertices[i];
        EXPECT_TRUE(std::fabs(p.z - 0.5) < 1e-12 || std::fabs(p.z - 1.0) < 1e-12) << p.z;
        EXPECT_TRUE(std::fabs(p.x) < 1e-12 || std::fabs(p.x - 1.0) < 1e-12) << p.x;
        expectWithin(cube->vertices[i], p);
    }
    QmtVector3 centre;
    EXPECT_NEAR(ComputeMassProperties(cube.get(), centre), 0.5, 1e-12);
    expectWithin(centre, {0.5, 0.5, 0.75}, 1e-12);
}

TEST(BVDFmeshClip, CutOfAPlacedMesh) {
    // A cube turned 90 degrees about z and moved: world = R local + T.
    const auto cube = makeDFMesh(meshtest::cube());
    const QmtMatrix3& rotZ = ROT_Z90;
    const QmtVector3 T(5, -2, 1);
    cube->rotation = rotZ;
    cube->translation = T;
    for (std::uint32_t i = 0; i < 8; ++i) {
        cube->worldVertices[i] = rotZ * cube->vertices[i] + T;
    }
    for (std::uint32_t f = 0; f < 6; ++f) {
        cube->worldNormals[f] = rotZ * cube->normals[f];
    }
    // Keep world x below 4.5, which is local y above 0.5.
    ASSERT_EQ(cutThroughVolume(cube.get(), {-1, 0, 0}, {4.5, 0, 0}), 0);
    ASSERT_EQ(cube->numVertices, 8u);
    for (std::uint32_t i = 0; i < 8; ++i) {
        EXPECT_LE(cube->worldVertices[i].x, 4.5 + 1e-12);
        EXPECT_GE(cube->worldVertices[i].x, 4.0 - 1e-12);
        expectWithin(cube->vertices[i], rotZ.Transpose() * (cube->worldVertices[i] - T), 1e-12);
    }
    for (std::uint32_t f = 0; f < cube->numFaces; ++f) {
        expectWithin(cube->normals[f], rotZ.Transpose() * cube->worldNormals[f], 1e-12);
    }
    QmtVector3 centre;
    EXPECT_NEAR(ComputeMassProperties(cube.get(), centre), 0.5, 1e-12);
    expectWithin(centre, {0.5, 0.75, 0.5}, 1e-12);
}
