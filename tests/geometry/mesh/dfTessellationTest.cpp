#include "geometry/mesh/dfTessellation.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <vector>

#include "geometry/mesh/bvDFmesh.h"
#include "geometry/mesh/meshRecords.h"
#include "math/qmtVector3.h"
#include "tests/geometry/testMeshes.h"
#include "tests/testSupport.h"

namespace {

using Qmt::QmtVector3;
using namespace meshtest;

struct Options {
    std::uint32_t uvSets;    // 0: no UV array at all
    bool cornerNormals;
    QmtVector3 worldOffset;  // world = local + offset

    Options(std::uint32_t sets = 0, bool normals = false, const QmtVector3& offset = QmtVector3::ZERO)
        : uvSets(sets), cornerNormals(normals), worldOffset(offset) {}
};

// Faces of piece 1 and material 7 with normal +z. Every corner has its own UV entry: the
// point's x and y, shifted per face so that the two sides of a shared edge differ, and
// the set number in z. Corner normals, one per corner too: (face, corner, 1).
std::unique_ptr<ZYL_DFmesh> detailedMesh(const Shape& shape, const Options& o = {}) {
    MeshBuilder b(shape, Points(shape.faces.size(), {0, 0, 1}));
    b.worldOffset = o.worldOffset;
    b.piece = 1;
    b.material = 7;
    b.setCornerUVs(o.uvSets, [&](std::uint32_t f, std::uint32_t k, std::uint32_t set) {
        const QmtVector3& p = shape.vertices[shape.faces[f][k]];
        return QmtVector3(p.x + 10.0 * f, p.y, static_cast<double>(set));
    });
    if (o.cornerNormals) {
        b.cornerNormals = cornerNumbers(shape.faces);
        for (std::uint32_t f = 0; f < shape.faces.size(); ++f) {
            for (std::uint32_t k = 0; k < shape.faces[f].size(); ++k) {
                b.cornerNormalTable.push_back({static_cast<double>(f), static_cast<double>(k), 1.0});
            }
        }
    }
    return b.dfMesh();
}

void select(ZYL_DFmesh& mesh, const Indices& faces) {
    for (const std::uint32_t f : faces) {
        mesh.faces[f].flags |= FACE_CAP;
    }
}

void selectAll(ZYL_DFmesh& mesh) {
    for (std::uint32_t f = 0; f < mesh.numFaces; ++f) {
        mesh.faces[f].flags |= FACE_CAP;
    }
}

void expectVec(const QmtVector3& a, const QmtVector3& b) { zyltest::expectVec(a, b.x, b.y, b.z); }

// Every face slot names an edge record that has the face on one side at that slot and
// joins the face's corners k and k + 1.
void expectEdgeTableConsistent(const BVDFmesh& volume) {
    const ZYL_DFmesh& mesh = *volume.getMesh();
    for (std::uint32_t f = 0; f < mesh.numFaces; ++f) {
        const ZYL_DFface& face = mesh.faces[f];
        ASSERT_EQ(face.numEdges, face.numVertices) << "face " << f;
        for (std::uint32_t k = 0; k < face.numEdges; ++k) {
            ASSERT_LT(face.edges[k], volume.getEdgeCount());
            const connect_edge& e = volume.getConnectEdges(face.edges[k]);
            const bool sideA = e.faceA == f && e.posA == k;
            const bool sideB = e.faceB == f && e.posB == k;
            EXPECT_TRUE(sideA || sideB) << "face " << f << " slot " << k;
            const std::uint32_t a = face.vertices[k];
            const std::uint32_t b = face.vertices[(k + 1) % face.numVertices];
            EXPECT_TRUE((e.v0 == a && e.v1 == b) || (e.v0 == b && e.v1 == a)) << "face " << f << " slot " << k;
        }
    }
}

double totalArea(const ZYL_DFmesh& mesh) {
    double area = 0.0;
    for (std::uint32_t f = 0; f < mesh.numFaces; ++f) {
        const ZYL_DFface& face = mesh.faces[f];
        const QmtVector3& p0 = mesh.worldVertices[face.vertices[0]];
        QmtVector3 sum;
        for (std::uint32_t k = 1; k + 1 < face.numVertices; ++k) {
            sum += (mesh.worldVertices[face.vertices[k]] - p0).Cross(mesh.worldVertices[face.vertices[k + 1]] - p0);
        }
        area += 0.5 * sum.Length();
    }
    return area;
}

}  // namespace

TEST(DFTessellation, RefusedPassesLeaveTheMeshAlone) {
    BVDFmesh empty;
    EXPECT_FALSE(empty.tessellateFaces(1));
    EXPECT_FALSE(empty.tessellateFacesKeepEdges(1));

    auto mesh = detailedMesh(cube(2.0));
    selectAll(*mesh);
    BVDFmesh noTable;
    ASSERT_TRUE(noTable.init(mesh.get(), 0));
    EXPECT_FALSE(noTable.tessellateFaces(1));

    BVDFmesh volume;
    ASSERT_TRUE(volume.init(mesh.get(), BVDF_EDGES));
    const ZYL_DFface* faces = mesh->faces;
    for (const std::uint16_t level : {std::uint16_t{0}, std::uint16_t{4}}) {
        EXPECT_FALSE(volume.tessellateFaces(level));
        EXPECT_FALSE(volume.tessellateFacesKeepEdges(level));
    }
    EXPECT_EQ(mesh->faces, faces);
    EXPECT_EQ(mesh->numFaces, 6u);
    EXPECT_EQ(mesh->numVertices, 8u);
    EXPECT_EQ(mesh->faces[1].spare, QmtVector3::ZERO);

    // Nothing selected: false, the mesh keeps its faces.
    for (std::uint32_t f = 0; f < mesh->numFaces; ++f) {
        mesh->faces[f].flags = 0;
    }
    EXPECT_FALSE(volume.tessellateFaces(1));
    EXPECT_EQ(mesh->faces, faces);
    EXPECT_EQ(mesh->numVertices, 8u);
}

TEST(DFTessellation, OneTopQuadOfACube) {
    auto mesh = detailedMesh(cube(2.0), {0, false, {10.0, 0.0, 0.0}});
    select(*mesh, {1});
    BVDFmesh volume;
    ASSERT_TRUE(volume.init(mesh.get(), BVDF_EDGES));
    ASSERT_TRUE(volume.tessellateFaces(1));

    // Four midpoints in the top face's edge order, then its centre (world positions).
    ASSERT_EQ(mesh->numVertices, 13u);
    const QmtVector3 expected[] = {{11, 0, 2}, {12, 1, 2}, {11, 2, 2}, {10, 1, 2}, {11, 1, 2}};
    for (std::uint32_t i = 0; i < 5; ++i) {
        expectVec(mesh->worldVertices[8 + i], expected[i]);
    }
    for (std::uint32_t i = 0; i < mesh->numVertices; ++i) {
        expectVec(mesh->vertices[i], mesh->worldVertices[i]);
    }

    // Unselected faces first, each neighbour holding the shared edge's midpoint; the
    // left face's walk stops at its last corner.
    ASSERT_EQ(mesh->numFaces, 9u);
    EXPECT_EQ(corners(mesh->faces[0]), (Indices{0, 3, 2, 1}));
    EXPECT_EQ(corners(mesh->faces[1]), (Indices{0, 1, 5, 8, 4}));
    EXPECT_EQ(corners(mesh->faces[2]), (Indices{1, 2, 6, 9, 5}));
    EXPECT_EQ(corners(mesh->faces[3]), (Indices{2, 3, 7, 10, 6}));
    EXPECT_EQ(corners(mesh->faces[4]), (Indices{3, 0, 4, 11, 7}));
    // Quads (corner, next midpoint, centre, previous midpoint); the closing edge's
    // midpoint 11 was appended after the top face's last corner.
    EXPECT_EQ(corners(mesh->faces[5]), (Indices{4, 8, 12, 11}));
    EXPECT_EQ(corners(mesh->faces[6]), (Indices{5, 9, 12, 8}));
    EXPECT_EQ(corners(mesh->faces[7]), (Indices{6, 10, 12, 9}));
    EXPECT_EQ(corners(mesh->faces[8]), (Indices{7, 11, 12, 10}));
    for (std::uint32_t f = 0; f < 9; ++f) {
        const ZYL_DFface& face = mesh->faces[f];
        EXPECT_EQ(face.flags & FACE_CAP, f >= 5 ? FACE_CAP : 0) << f;
        EXPECT_EQ(face.material, 7) << f;
        EXPECT_EQ(face.spare, QmtVector3::ZERO) << f;
        expectVec(mesh->normals[f], QmtVector3::ZERO);
        expectVec(mesh->worldNormals[f], QmtVector3::ZERO);
    }
    EXPECT_EQ(mesh->numUVs, 0u);
    EXPECT_EQ(mesh->uvs, nullptr);

    // The rebuilt table closes the mesh: 12 - 4 + 8 halves + 4 spokes.
    EXPECT_EQ(volume.getEdgeCount(), 20u);
    EXPECT_FALSE(volume.hasOpenEdge());
    expectEdgeTableConsistent(volume);
}

TEST(DFTessellation, WholeCubeLevelsAndOrder) {
    // Each level splits every quad into four; the mesh stays closed.
    struct Level {
        std::uint16_t level;
        std::uint32_t faces, vertices, edges;
    };
    for (const Level& l : {Level{1, 24, 26, 48}, Level{2, 96, 98, 192}, Level{3, 384, 386, 768}}) {
        SCOPED_TRACE(l.level);
        auto mesh = detailedMesh(cube(2.0));
        selectAll(*mesh);
        BVDFmesh volume;
        ASSERT_TRUE(volume.init(mesh.get(), BVDF_EDGES));
        ASSERT_TRUE(volume.tessellateFaces(l.level));
        EXPECT_EQ(mesh->numFaces, l.faces);
        EXPECT_EQ(mesh->numVertices, l.vertices);
        EXPECT_EQ(volume.getEdgeCount(), l.edges);
        EXPECT_FALSE(volume.hasOpenEdge());
        EXPECT_DOUBLE_EQ(totalArea(*mesh), 24.0);
        expectEdgeTableConsistent(volume);
        if (l.level > 1) {
            continue;
        }

        // The last selected face leads: the first midpoint is on the left face's first edge
        // (3, 0) and the first quad starts at that face's corner 0.
        expectVec(mesh->worldVertices[8], {0, 1, 0});
        EXPECT_EQ(corners(mesh->faces[0]), (Indices{3, 8, 20, 11}));
        expectVec(mesh->worldVertices[20], {0, 1, 1});  // centre of the left face
        // Every quad keeps one old corner at its first position, each old corner ends in
        // three quads, and every quad is selected for the next level.
        std::map<std::uint32_t, int> uses;
        for (std::uint32_t f = 0; f < mesh->numFaces; ++f) {
            ASSERT_EQ(mesh->faces[f].numVertices, 4u);
            EXPECT_LT(mesh->faces[f].vertices[0], 8u);
            EXPECT_GE(mesh->faces[f].vertices[2], 20u);
            EXPECT_TRUE(mesh->faces[f].flags & FACE_CAP);
            ++uses[mesh->faces[f].vertices[0]];
        }
        EXPECT_EQ(uses.size(), 8u);
        for (const auto& [vertex, count] : uses) {
            EXPECT_EQ(count, 3) << vertex;
        }
    }
}

TEST(DFTessellation, TriangleWithoutUVsBecomesThreeQuads) {
    auto mesh = detailedMesh({{{0, 0, 0}, {3, 0, 0}, {0, 3, 0}}, {{0, 1, 2}}});
    select(*mesh, {0});
    // A stale per-vertex array the size of the old vertex count.
    mesh->vertexData = new QmtVector3[3]{{1, 1, 1}, {2, 2, 2}, {3, 3, 3}};
    BVDFmesh volume;
    ASSERT_TRUE(volume.init(mesh.get(), BVDF_EDGES));
    ASSERT_TRUE(volume.tessellateFaces(1));

    ASSERT_EQ(mesh->numVertices, 7u);
    expectVec(mesh->worldVertices[3], {1.5, 0, 0});
    expectVec(mesh->worldVertices[4], {1.5, 1.5, 0});
    expectVec(mesh->worldVertices[5], {0, 1.5, 0});
    expectVec(mesh->worldVertices[6], {1, 1, 0});
    ASSERT_EQ(mesh->numFaces, 3u);
    EXPECT_EQ(corners(mesh->faces[0]), (Indices{0, 3, 6, 5}));
    EXPECT_EQ(corners(mesh->faces[1]), (Indices{1, 4, 6, 3}));
    EXPECT_EQ(corners(mesh->faces[2]), (Indices{2, 5, 6, 4}));
    // No UV work without UVs; the per-vertex array follows the new vertex count.
    EXPECT_EQ(mesh->numUVs, 0u);
    EXPECT_EQ(mesh->uvs, nullptr);
    ASSERT_NE(mesh->vertexData, nullptr);
    for (std::uint32_t i = 0; i < mesh->numVertices; ++i) {
        expectVec(mesh->vertexData[i], QmtVector3::ZERO);
    }
    EXPECT_EQ(volume.getEdgeCount(), 9u);
    EXPECT_TRUE(volume.hasOpenEdge());
}

TEST(DFTessellation, UVsOfAMappedQuadAndASeam) {
    // One open quad: UV A sides average the corners' UVs, the centre takes the face's
    // mean UV.
    auto quad = detailedMesh({{{0, 0, 0}, {2, 0, 0}, {2, 2, 0}, {0, 2, 0}}, {{0, 1, 2, 3}}}, {1});
    select(*quad, {0});
    BVDFmesh volume;
    ASSERT_TRUE(volume.init(quad.get(), BVDF_EDGES));
    ASSERT_TRUE(volume.tessellateFaces(1));
    ASSERT_EQ(quad->numUVs, 4u + 2 * 4 + 1);
    ASSERT_EQ(quad->numFaces, 4u);
    EXPECT_EQ(cornerUVs(quad->faces[0]), (Indices{0, 4, 12, 10}));
    EXPECT_EQ(cornerUVs(quad->faces[1]), (Indices{1, 6, 12, 4}));
    expectVec(quad->uvs[4], {1, 0, 0});
    expectVec(quad->uvs[6], {2, 1, 0});
    expectVec(quad->uvs[10], {0, 1, 0});
    expectVec(quad->uvs[12], {1, 1, 0});

    // Two selected quads sharing the edge (1, 4): one midpoint vertex used by both
    // faces, with each side's own UV entry.
    auto pair = detailedMesh({{{0, 0, 0}, {2, 0, 0}, {4, 0, 0}, {0, 2, 0}, {2, 2, 0}, {4, 2, 0}},
                          {{0, 1, 4, 3}, {1, 2, 5, 4}}},
                         {1});
    selectAll(*pair);
    BVDFmesh pairVolume;
    ASSERT_TRUE(pairVolume.init(pair.get(), BVDF_EDGES));
    ASSERT_TRUE(pairVolume.tessellateFaces(1));
    EXPECT_EQ(pair->numVertices, 6u + 7 + 2);
    EXPECT_EQ(pair->numUVs, 8u + 2 * 7 + 2);
    // Face 1 leads; its quads come first.
    ASSERT_EQ(pair->numFaces, 8u);
    std::set<std::uint32_t> sharedUVs;
    std::uint32_t shared = ABSENT_INDEX;
    for (std::uint32_t f = 0; f < pair->numFaces; ++f) {
        const ZYL_DFface& face = pair->faces[f];
        for (std::uint32_t k = 0; k < 4; ++k) {
            const QmtVector3& p = pair->worldVertices[face.vertices[k]];
            if (p.x == 2.0 && p.y == 1.0) {
                EXPECT_TRUE(shared == ABSENT_INDEX || shared == face.vertices[k]);
                shared = face.vertices[k];
                sharedUVs.insert(face.uvs[k]);
            }
        }
    }
    ASSERT_EQ(sharedUVs.size(), 2u);
    std::set<double> us;
    for (const std::uint32_t uv : sharedUVs) {
        us.insert(pair->uvs[uv].x);
    }
    EXPECT_EQ(us, (std::set<double>{2.0, 12.0}));  // face 0 side, face 1 side
}

TEST(DFTessellation, CornerNormalsAndExtraUVSets) {
    auto mesh = detailedMesh({{{0, 0, 0}, {2, 0, 0}, {2, 2, 0}, {0, 2, 0}}, {{0, 1, 2, 3}}}, {3, true});
    select(*mesh, {0});
    BVDFmesh volume;
    ASSERT_TRUE(volume.init(mesh.get(), BVDF_EDGES));
    ASSERT_TRUE(volume.tessellateFaces(1));

    // Corner normals: two per split edge (A side averages its ends, unnormalised), one
    // mean per face.
    ASSERT_EQ(mesh->numCornerNormals, 4u + 2 * 4 + 1);
    expectVec(mesh->cornerNormals[4], {0, 0.5, 1});
    expectVec(mesh->cornerNormals[12], {0, 1.5, 1});
    const ZYL_DFface& first = mesh->faces[0];
    EXPECT_EQ(Indices(first.normals, first.normals + 4), (Indices{0, 4, 12, 10}));

    // Each extra set keeps the UV count and gets its entries at the same indices.
    ASSERT_EQ(mesh->numUVs, 13u);
    for (std::uint32_t s = 0; s < 2; ++s) {
        ASSERT_NE(mesh->uvSets[s], nullptr);
        expectVec(mesh->uvSets[s][4], {1, 0, s + 1.0});
        expectVec(mesh->uvSets[s][12], {1, 1, s + 1.0});
        EXPECT_EQ(Indices(first.uvSets[s], first.uvSets[s] + 4), (Indices{0, 4, 12, 10}));
    }
    EXPECT_TRUE(first.flags & FACE_UV_SETS);
    EXPECT_EQ(first.numUVSets, 3);
}

TEST(DFTessellation, FaceHelpers) {
    auto mesh = detailedMesh(cube(2.0), {2});
    BVDFmesh volume;
    ASSERT_TRUE(volume.init(mesh.get(), BVDF_EDGES));
    expectVec(volume.computeFaceCenter(nullptr), QmtVector3::ZERO);
    expectVec(volume.computeFaceCenter(&mesh->faces[1]), {1, 1, 2});
    expectVec(volume.computeFaceUVCenter(nullptr, 0), QmtVector3::ZERO);
    expectVec(volume.computeFaceUVCenter(&mesh->faces[1], 0), {11, 1, 1});

    // Face A walks every edge forwards, face B backwards.
    for (std::uint32_t e = 0; e < volume.getEdgeCount(); ++e) {
        volume.computeEdgeDirections(e);
        EXPECT_EQ(volume.getConnectEdges(e).dirA, 1) << e;
        EXPECT_EQ(volume.getConnectEdges(e).dirB, -1) << e;
    }

    // The copy takes indices, flags, piece and material but not the spare vector; a
    // source without normal indices is copied without them.
    ZYL_DFface source(3, 2);
    source.numVertices = 3;
    for (std::uint32_t k = 0; k < 3; ++k) {
        source.vertices[k] = 10 + k;
        source.uvs[k] = 20 + k;
        source.uvSets[0][k] = 30 + k;
        source.edges[k] = 40 + k;
    }
    source.numEdges = 3;
    delete[] source.normals;
    source.normals = nullptr;
    source.flags |= FACE_CAP;
    source.piece = 5;
    source.material = 9;
    source.spare = {1, 2, 3};
    ZYL_DFface destination;
    EXPECT_EQ(&assignDFmeshFace(destination, source), &destination);
    EXPECT_EQ(corners(destination), (Indices{10, 11, 12}));
    EXPECT_EQ(cornerUVs(destination), (Indices{20, 21, 22}));
    EXPECT_EQ(Indices(destination.uvSets[0], destination.uvSets[0] + 3), (Indices{30, 31, 32}));
    EXPECT_EQ(Indices(destination.edges, destination.edges + 3), (Indices{40, 41, 42}));
    EXPECT_EQ(destination.flags, FACE_CAP | FACE_UV_SETS);
    EXPECT_EQ(destination.piece, 5);
    EXPECT_EQ(destination.material, 9);
    EXPECT_EQ(destination.spare, QmtVector3::ZERO);
}

TEST(DFTessellation, KeepEdgesMatchesTheRebuild) {
    for (const Indices& chosen : {Indices{1}, Indices{0, 1, 2, 3, 4, 5}, Indices{2, 3}}) {
        for (const std::uint16_t level : {std::uint16_t{1}, std::uint16_t{2}}) {
            auto rebuilt = detailedMesh(cube(2.0), {1});
            auto kept = detailedMesh(cube(2.0), {1, true});
            select(*rebuilt, chosen);
            select(*kept, chosen);
            BVDFmesh rebuiltVolume;
            BVDFmesh keptVolume;
            ASSERT_TRUE(rebuiltVolume.init(rebuilt.get(), BVDF_EDGES));
            ASSERT_TRUE(keptVolume.init(kept.get(), BVDF_EDGES));
            ASSERT_TRUE(rebuiltVolume.tessellateFaces(level));
            ASSERT_TRUE(keptVolume.tessellateFacesKeepEdges(level));

            // Same mesh, no corner normals, and an edited table as complete as a
            // rebuilt one.
            ASSERT_EQ(kept->numFaces, rebuilt->numFaces);
            ASSERT_EQ(kept->numVertices, rebuilt->numVertices);
            EXPECT_EQ(kept->numUVs, rebuilt->numUVs);
            // The kept table may name an edge's faces the other way round, which orders
            // the two sides' new UV entries differently: compare UV values.
            for (std::uint32_t f = 0; f < kept->numFaces; ++f) {
                EXPECT_EQ(corners(kept->faces[f]), corners(rebuilt->faces[f])) << f;
                for (std::uint32_t k = 0; k < kept->faces[f].numVertices; ++k) {
                    expectVec(kept->uvs[kept->faces[f].uvs[k]], rebuilt->uvs[rebuilt->faces[f].uvs[k]]);
                }
            }
            EXPECT_EQ(kept->numCornerNormals, 0u);
            EXPECT_EQ(kept->cornerNormals, nullptr);
            EXPECT_EQ(keptVolume.getEdgeCount(), rebuiltVolume.getEdgeCount());
            EXPECT_FALSE(keptVolume.hasOpenEdge());
            expectEdgeTableConsistent(keptVolume);
            for (std::uint32_t e = 0; e < keptVolume.getEdgeCount(); ++e) {
                EXPECT_FALSE(keptVolume.getConnectEdges(e).flags & EDGE_SPLIT) << e;
            }
        }
    }
}
