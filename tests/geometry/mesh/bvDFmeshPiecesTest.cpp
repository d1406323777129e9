#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

#include "geometry/mesh/bvDFmesh.h"
#include "geometry/query/faceDistances.h"
#include "tests/geometry/testMeshes.h"

namespace {

using Qmt::QmtVector3;
using namespace meshtest;

// Cube A at the origin and cube B at (3, 0, 0), faces interleaved B0, A0, B1, A1, ... so
// that face 0 belongs to B. The extra UV set of the corner with UV u is 47 - u: each
// cube uses the other cube's range of set entries, tagged (i, 1, 0).
MeshBuilder interleavedCubes() {
    MeshBuilder cubes;
    cubes.addCube({0, 0, 0});
    cubes.addCube({3, 0, 0});
    MeshBuilder out = cubes;
    out.faces.clear();
    out.normals.clear();
    out.uvs.clear();
    out.cornerNormals.clear();
    out.extraSets.emplace_back();
    out.extraSetTables.push_back(tags(48, 1.0));
    for (std::size_t f = 0; f < 12; ++f) {
        const std::size_t from = f % 2 == 0 ? 6 + f / 2 : f / 2;
        out.faces.push_back(cubes.faces[from]);
        out.normals.push_back(cubes.normals[from]);
        out.uvs.push_back(cubes.uvs[from]);
        out.cornerNormals.push_back(cubes.cornerNormals[from]);
        out.extraSets[0].emplace_back();
        for (const std::uint32_t u : cubes.uvs[from]) {
            out.extraSets[0].back().push_back(47 - u);
        }
    }
    return out;
}

void setPieces(ZYL_DFmesh& mesh, std::uint16_t piece) {
    for (std::uint32_t f = 0; f < mesh.numFaces; ++f) {
        mesh.faces[f].piece = piece;
    }
}

}  // namespace

TEST(BVDFmeshPieces, LabelAndFloodFill) {
    const auto mesh = interleavedCubes().dfMesh();
    BVDFmesh volume;
    ASSERT_TRUE(volume.init(mesh.get(), BVDF_PIECES));
    EXPECT_EQ(volume.flags, BVDF_BUILT_EDGES);  // labelling builds its edge table
    EXPECT_EQ(mesh->numPieces, 2u);
    for (std::uint32_t f = 0; f < 12; ++f) {
        EXPECT_EQ(mesh->faces[f].piece, f % 2 == 0 ? 1 : 2);
    }
    // The fill spreads a number over the faces still at 0 only.
    setPieces(*mesh, 0);
    mesh->faces[1].piece = 7;
    mesh->faces[3].piece = 9;
    volume.floodFillPiece(&mesh->faces[1]);
    // An unlabelled seed, a null seed and a face of another mesh change nothing.
    volume.floodFillPiece(&mesh->faces[0]);
    volume.floodFillPiece(nullptr);
    ZYL_DFface stranger(3, 1);
    stranger.piece = 5;
    volume.floodFillPiece(&stranger);
    for (std::uint32_t f = 0; f < 12; ++f) {
        EXPECT_EQ(mesh->faces[f].piece, f == 3 ? 9 : (f % 2 == 1 ? 7 : 0));
    }
    // A mesh without faces has no piece, and so no piece mesh.
    ZYL_DFmesh none;
    ASSERT_TRUE(volume.init(&none, BVDF_PIECES));
    EXPECT_EQ(none.numPieces, 0u);
    EXPECT_EQ(volume.findPieces(), nullptr);
}

TEST(BVDFmeshPieces, FindPiecesOfTwoCubes) {
    const auto mesh = interleavedCubes().dfMesh();
    mesh->translation = {1, 2, 3};
    BVDFmesh volume;
    ASSERT_TRUE(volume.init(mesh.get(), BVDF_PIECES));
    ZYL_DFmesh** pieces = volume.findPieces();
    ASSERT_NE(pieces, nullptr);
    for (std::uint32_t p = 0; p < 2; ++p) {
        // Piece 1 is cube B (it holds face 0): source vertices 8..15, UVs 24..47.
        const ZYL_DFmesh& piece = *pieces[p];
        const std::uint32_t vertexBase = p == 0 ? 8 : 0;
        const std::uint32_t uvBase = p == 0 ? 24 : 0;
        ASSERT_EQ(Indices({piece.numVertices, piece.numFaces, piece.numUVs, piece.numCornerNormals}),
                  (Indices{8, 6, 24, 24}));
        for (std::uint32_t v = 0; v < 8; ++v) {
            EXPECT_EQ(piece.worldVertices[v], mesh->worldVertices[vertexBase + v]);
            EXPECT_EQ(piece.vertices[v], mesh->vertices[vertexBase + v]);
        }
        for (std::uint32_t f = 0; f < 6; ++f) {
            const ZYL_DFface& face = piece.faces[f];
            EXPECT_EQ(corners(face), CUBE_FACES[f]);
            EXPECT_EQ(face.piece, p + 1);
            EXPECT_EQ(piece.worldNormals[f], CUBE_NORMALS[f]);
            for (std::uint32_t k = 0; k < 4; ++k) {
                const std::uint32_t u = uvBase + 4 * f + k;  // source UV of the corner
                EXPECT_EQ(face.uvs[k], 4 * f + k);
                EXPECT_EQ(piece.uvs[face.uvs[k]], QmtVector3(u, 0, 0));
                EXPECT_EQ(piece.cornerNormals[face.normals[k]], QmtVector3(0, 0, u));
                ASSERT_LT(face.uvSets[0][k], 24u);
                EXPECT_EQ(piece.uvSets[0][face.uvSets[0][k]], QmtVector3(47 - u, 1, 0));
            }
        }
        EXPECT_EQ(piece.flags, MESH_UV_SETS);
        EXPECT_EQ(piece.numUVSets, 2u);
        EXPECT_EQ(piece.translation, mesh->translation);
        delete pieces[p];
    }
    delete[] pieces;
    // Faces must carry numbers within 1..piece count.
    mesh->faces[5].piece = 0;
    EXPECT_EQ(volume.findPieces(), nullptr);
    mesh->faces[5].piece = 3;
    EXPECT_EQ(volume.findPieces(), nullptr);
}

TEST(BVDFmeshPieces, BowTieSplitGivesEachPieceItsOwnEntries) {
    // Two triangles touching at vertex 2 (and UV 2) only: two pieces.
    MeshBuilder builder({{{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {2, 1, 0}, {2, 2, 0}}, {{0, 1, 2}, {2, 3, 4}}},
                        {{0, 0, 1}, {0, 0, 1}});
    builder.uvs = builder.faces;
    builder.uvTable = tags(5);
    const auto mesh = builder.dfMesh();
    BVDFmesh volume;
    ASSERT_TRUE(volume.init(mesh.get(), BVDF_PIECES));
    ASSERT_EQ(mesh->numPieces, 2u);
    ZYL_DFmesh** pieces = volume.findPieces();
    ASSERT_NE(pieces, nullptr);
    for (std::uint32_t p = 0; p < 2; ++p) {
        const ZYL_DFmesh& piece = *pieces[p];
        ASSERT_EQ(piece.numVertices, 3u);
        ASSERT_EQ(piece.numUVs, 3u);
        const ZYL_DFface& face = piece.faces[0];
        EXPECT_EQ(corners(face), (Indices{0, 1, 2}));
        for (std::uint32_t k = 0; k < 3; ++k) {
            const std::uint32_t source = builder.faces[p][k];
            EXPECT_EQ(piece.worldVertices[face.vertices[k]], mesh->worldVertices[source]);
            ASSERT_LT(face.uvs[k], 3u);
            EXPECT_EQ(piece.uvs[face.uvs[k]], QmtVector3(source, 0, 0));
        }
        delete pieces[p];
    }
    delete[] pieces;
}

TEST(BVDFmeshPieces, MergeMeshesShiftsTheSecondMesh) {
    MeshBuilder builderA;
    builderA.addCube({0, 0, 0}, 4.0);
    MeshBuilder builderB;
    builderB.addCube({1, 1, 1});
    const auto a = builderA.dfMesh();
    const auto b = builderB.dfMesh();
    setPieces(*a, 3);
    setPieces(*b, 5);
    a->scale = {2, 1, 1};
    b->faces[0].vertices[0] = 8;  // reaches the merged count once shifted

    BVDFmesh withNormals;
    ASSERT_TRUE(withNormals.init(a.get(), 0));
    ZYL_DFmesh* merged = withNormals.mergeMeshes(a.get(), b.get());
    ASSERT_NE(merged, nullptr);
    ASSERT_EQ(Indices({merged->numVertices, merged->numFaces, merged->numUVs, merged->numCornerNormals}),
              (Indices{16, 12, 48, 48}));
    EXPECT_EQ(merged->worldVertices[6], QmtVector3(4, 4, 4));
    EXPECT_EQ(merged->vertices[14], QmtVector3(2, 2, 2));
    EXPECT_EQ(merged->uvs[30], QmtVector3(6, 0, 0));
    for (std::uint32_t f = 0; f < 6; ++f) {
        EXPECT_EQ(corners(merged->faces[f]), CUBE_FACES[f]);
        const ZYL_DFface& moved = merged->faces[6 + f];
        EXPECT_EQ(moved.piece, 3);
        EXPECT_EQ(merged->worldNormals[6 + f], CUBE_NORMALS[f]);
        for (std::uint32_t k = 0; k < 4; ++k) {
            EXPECT_EQ(moved.vertices[k], f == 0 && k == 0 ? 0 : CUBE_FACES[f][k] + 8);
            EXPECT_EQ(moved.uvs[k], 24 + 4 * f + k);
            EXPECT_EQ(moved.normals[k], 24 + 4 * f + k);
        }
    }
    EXPECT_EQ(merged->scale, a->scale);
    delete merged;

    // The normal indices move only when the volume's own mesh has corner normals.
    const auto plain = makeDFMesh(cube());
    BVDFmesh withoutNormals;
    ASSERT_TRUE(withoutNormals.init(plain.get(), 0));
    merged = withoutNormals.mergeMeshes(a.get(), b.get());
    ASSERT_NE(merged, nullptr);
    EXPECT_EQ(merged->faces[7].normals[1], 5u);
    EXPECT_EQ(merged->faces[7].uvs[1], 29u);
    EXPECT_EQ(withoutNormals.mergeMeshes(a.get(), nullptr), nullptr);
    delete merged;
}

TEST(BVDFmeshPieces, MergeOverlappingPieces) {
    BVDFmesh volume;
    // The nested pair merges into the lower place; the pieces behind move down and
    // take their new place + 1 as piece number.
    ZYL_DFmesh* pieces[4] = {makeDFMesh(cube(1.0, {10, 0, 0})).release(), makeDFMesh(cube(4.0)).release(),
                             makeDFMesh(cube(1.0, {1, 1, 1})).release(), makeDFMesh(cube(1.0, {20, 0, 0})).release()};
    for (std::uint16_t p = 0; p < 4; ++p) {
        setPieces(*pieces[p], p + 1);
    }
    ZYL_DFmesh* const first = pieces[0];
    ZYL_DFmesh* const last = pieces[3];
    std::uint32_t count = 4;
    volume.mergeOverlappingPieces(pieces, &count);
    ASSERT_EQ(count, 3u);
    EXPECT_EQ(pieces[0], first);
    EXPECT_EQ(pieces[2], last);
    EXPECT_EQ(pieces[3], nullptr);
    ASSERT_EQ(pieces[1]->numVertices, 16u);
    EXPECT_EQ(pieces[1]->worldVertices[6], QmtVector3(4, 4, 4));
    EXPECT_EQ(pieces[1]->faces[11].piece, 2);
    EXPECT_EQ(pieces[2]->faces[0].piece, 3);
    EXPECT_EQ(pieces[0]->faces[0].piece, 1);
    for (std::uint32_t p = 0; p < count; ++p) {
        delete pieces[p];
    }

    // The inner piece first: the merge holds it, then the outer one.
    ZYL_DFmesh* nested[2] = {makeDFMesh(cube(1.0, {1, 1, 1})).release(), makeDFMesh(cube(4.0)).release()};
    count = 2;
    volume.mergeOverlappingPieces(nested, &count);
    ASSERT_EQ(count, 1u);
    EXPECT_EQ(nested[0]->worldVertices[14], QmtVector3(4, 4, 4));
    delete nested[0];

    // Cubes side by side share a face plane, and neither lies strictly inside.
    ZYL_DFmesh* touching[2] = {makeDFMesh(cube(1.0, {0, 0, 0})).release(), makeDFMesh(cube(1.0, {1, 0, 0})).release()};
    ZYL_DFmesh* const second = touching[1];
    count = 2;
    volume.mergeOverlappingPieces(touching, &count);
    EXPECT_EQ(count, 2u);
    EXPECT_EQ(touching[1], second);
    delete touching[0];
    delete touching[1];
}

TEST(BVDFmeshQueries, ClosestFacingFaces) {
    std::uint32_t vertexHere = 0, vertexThere = 0, faceHere = 0, faceThere = 0;
    QmtVector3 here, there;
    auto a = makeDFMesh(cube());
    auto b = makeDFMesh(cube(1.0, {1.5, 0, 0}));
    BVDFmesh va;
    BVDFmesh vb;
    ASSERT_TRUE(va.init(a.get(), BVDF_EDGES | BVDF_VERTICES));
    ASSERT_TRUE(vb.init(b.get(), BVDF_EDGES | BVDF_VERTICES));
    EXPECT_NEAR(va.closestFacingFaces(vb, vertexHere, vertexThere, faceHere, faceThere, here, there), 0.25, 1e-12);
    EXPECT_EQ(Indices({faceHere, faceThere}), (Indices{3, 5}));
    EXPECT_EQ(a->worldVertices[vertexHere].x, 1.0);
    EXPECT_EQ(b->worldVertices[vertexThere].x, 1.5);
    EXPECT_NEAR(here.x, 1.0, 1e-12);
    EXPECT_NEAR(there.x, 1.5, 1e-12);
    // Without vertex records nothing is found.
    ASSERT_TRUE(vb.init(b.get(), BVDF_EDGES));
    EXPECT_EQ(va.closestFacingFaces(vb, vertexHere, vertexThere, faceHere, faceThere, here, there),
              FACE_DISTANCE_NONE);
    EXPECT_EQ(Indices({vertexHere, faceThere}), (Indices{ABSENT_INDEX, ABSENT_INDEX}));

    // Faces longer than 32 corners are read whole: a 40-gon of radius 1 at z = 0 facing
    // up, and a triangle at z = 1 facing down whose nearest corner lies 0.5 outside
    // corner 36. Every pair lies 1 apart along the normal, so the nearest vertex pair
    // decides.
    const auto angle = [](double k) { return 2.0 * std::numbers::pi * k / 40; };
    Shape disc;
    disc.faces = {{}};
    for (std::uint32_t k = 0; k < 40; ++k) {
        disc.vertices.push_back({std::cos(angle(k)), std::sin(angle(k)), 0});
        disc.faces[0].push_back(k);
    }
    const double t = angle(36);
    const Shape tri{{{1.5 * std::cos(t), 1.5 * std::sin(t), 1},
                     {3 * std::cos(t + 0.2), 3 * std::sin(t + 0.2), 1},
                     {3 * std::cos(t - 0.2), 3 * std::sin(t - 0.2), 1}},
                    {{0, 1, 2}}};
    a = MeshBuilder(disc, {{0, 0, 1}}).dfMesh();
    b = MeshBuilder(tri, {{0, 0, -1}}).dfMesh();
    ASSERT_TRUE(va.init(a.get(), BVDF_EDGES | BVDF_VERTICES));
    ASSERT_TRUE(vb.init(b.get(), BVDF_EDGES | BVDF_VERTICES));
    EXPECT_NEAR(va.closestFacingFaces(vb, vertexHere, vertexThere, faceHere, faceThere, here, there), 1.25, 1e-9);
    EXPECT_EQ(Indices({vertexHere, vertexThere}), (Indices{36, 0}));
    EXPECT_NEAR((here - a->worldVertices[36]).Length(), 0.0, 1e-9);
}
