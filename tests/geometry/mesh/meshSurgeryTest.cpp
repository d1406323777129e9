#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <vector>

#include "geometry/mesh/meshSurgery.h"
#include "tests/geometry/testMeshes.h"
#include "tests/testSupport.h"

using namespace meshtest;
using Qmt::QmtMatrix3;
using Qmt::QmtVector3;

namespace {

// An owned piece array as the surgery hands it out.
struct Pieces {
    ZYLmesh** array = nullptr;
    std::uint32_t count = 0;
    ~Pieces() {
        for (std::uint32_t i = 0; array && i < count; ++i) {
            delete array[i];
        }
        delete[] array;
    }
    ZYLmesh& operator[](std::uint32_t i) const { return *array[i]; }
};

std::unique_ptr<Pieces> nested(const std::vector<Shape>& shapes) {
    auto p = std::make_unique<Pieces>();
    p->count = static_cast<std::uint32_t>(shapes.size());
    p->array = new ZYLmesh*[p->count];
    for (std::uint32_t i = 0; i < p->count; ++i) {
        p->array[i] = makeMesh(shapes[i]).release();
    }
    return p;
}

// Split of a labelled mesh; every island's corners must point at the same positions and
// UVs as in the source.
std::unique_ptr<Pieces> splitChecked(const ZYLmesh& source, BVmesh& volume) {
    auto p = std::make_unique<Pieces>();
    p->array = volume.splitByIslands();
    if (!p->array) {
        ADD_FAILURE() << "no pieces";
        return p;
    }
    p->count = volume.getNumMeshGroups();
    std::vector<std::uint32_t> next(p->count, 0);
    for (std::uint32_t f = 0; f < source.numFaces; ++f) {
        const ZYLface& src = source.faces[f];
        const ZYLmesh& piece = (*p)[src.island - 1];
        const ZYLface& out = piece.faces[next[src.island - 1]++];
        EXPECT_EQ(out.numVertices, src.numVertices);
        for (std::uint32_t k = 0; k < src.numVertices; ++k) {
            EXPECT_EQ(piece.worldVertices[out.vertices[k]], source.worldVertices[src.vertices[k]]);
            EXPECT_EQ(piece.vertices[out.vertices[k]], source.vertices[src.vertices[k]]);
            if (source.uvs) {
                EXPECT_EQ(piece.uvs[out.uvs[k]], source.uvs[src.uvs[k]]);
            }
        }
    }
    for (std::uint32_t i = 0; i < p->count; ++i) {
        EXPECT_EQ((*p)[i].numFaces, next[i]);
        expectValidIndices((*p)[i]);
    }
    return p;
}

// Cut by the plane z = height keeping the top, then islands, split and nested merge.
std::unique_ptr<Pieces> cutSplitMerge(ZYLmesh* mesh, double height, std::uint32_t islands) {
    BVmesh volume;
    EXPECT_TRUE(volume.init(mesh, BVMESH_EDGES));
    volume.initClipper();
    const double s = volume.getClipper()->getScale();
    const std::int32_t result = volume.clip({0, 0, 1}, QmtVector3(0, 0, height) * s, CLIP_BUILD_CAPS);
    EXPECT_EQ(result, 0);
    volume.finishClip(result);
    EXPECT_TRUE(volume.init(mesh, BVMESH_EDGES | BVMESH_ISLANDS));
    EXPECT_EQ(volume.getNumMeshGroups(), islands);
    auto p = splitChecked(*mesh, volume);
    mergeNestedPieces(&volume, p->array, p->count);
    return p;
}

}  // namespace

TEST(MeshSurgery, CopyMeshFaceCopiesEverythingButTheMarker) {
    ZYLface src;
    src.numVertices = 3;
    src.numEdges = 4;
    for (std::uint32_t k = 0; k < 4; ++k) {
        src.vertices[k] = 10 + k;
        src.uvs[k] = 20 + k;
        src.edges[k] = 30 + k;
    }
    src.marker = 1;
    src.flags = FACE_CAP | FACE_SPLIT;
    src.island = 7;
    src.extra = 9;
    ZYLface dst;
    dst.vertices[3] = 99;  // past the vertex count: left alone
    copyMeshFace(src, dst);
    EXPECT_EQ(corners(dst), (Indices{10, 11, 12}));
    EXPECT_EQ(dst.vertices[3], 99u);
    EXPECT_EQ(dst.uvs[2], 22u);
    EXPECT_EQ(dst.numEdges, 4u);
    EXPECT_EQ(dst.edges[3], 33u);
    EXPECT_EQ(dst.marker, 0);
    EXPECT_EQ(dst.flags, FACE_CAP | FACE_SPLIT);
    EXPECT_EQ(dst.island, 7);
    EXPECT_EQ(dst.extra, 9);
}

TEST(MeshSurgery, MergeMeshPiecesConcatenatesAndShiftsTheSecondMesh) {
    const auto a = makeMesh(cube(), true);         // 8 vertices, 6 faces, 24 UVs
    const auto b = makeMesh(tetrahedron(), true);  // 4 vertices, 4 faces, 12 UVs
    a->faces[0].island = 0x1203;
    a->translation = {1, 2, 3};
    a->centre = {5, 5, 5};
    b->translation = {9, 9, 9};
    b->faces[1].edges[0] = 17;
    b->faces[1].numEdges = 3;
    b->faces[2].vertices[0] = 4;       // one past b's vertices: past the merged ones too
    b->faces[2].uvs[1] = 0xFFFFFFFFu;  // must not wrap round into range

    std::unique_ptr<ZYLmesh> m(mergeMeshPieces(nullptr, a.get(), b.get()));
    ASSERT_TRUE(m);
    EXPECT_EQ(m->numVertices, 12u);
    EXPECT_EQ(m->numFaces, 10u);
    EXPECT_EQ(m->numUVs, 36u);
    EXPECT_EQ(m->vertices[7], a->vertices[7]);
    EXPECT_EQ(m->worldVertices[11], b->worldVertices[3]);
    EXPECT_EQ(m->uvs[29], b->uvs[5]);
    EXPECT_EQ(corners(m->faces[0]), corners(a->faces[0]));
    EXPECT_EQ(m->faces[0].island, 0x1203);
    EXPECT_EQ(m->faces[1].island, 1);
    for (std::uint32_t f = 6; f < 10; ++f) {
        EXPECT_EQ(m->faces[f].island, 0x03) << f;
    }
    EXPECT_EQ(corners(m->faces[9]), (Indices{9, 10, 11}));  // 1, 2, 3 + 8
    EXPECT_EQ(m->faces[9].uvs[0], 33u);
    EXPECT_EQ(m->faces[8].vertices[0], 0u);  // 4 + 8 = 12: out of range
    EXPECT_EQ(m->faces[8].uvs[1], 0u);
    EXPECT_EQ(m->faces[7].edges[0], 17u);    // edges untouched
    EXPECT_EQ(m->worldNormals[9], b->worldNormals[3]);
    EXPECT_EQ(m->translation, QmtVector3(1, 2, 3));
    EXPECT_EQ(m->centre, QmtVector3::ZERO);

    // A mesh without faces gives island 0 to B's faces; a missing mesh gives nothing.
    ZYLmesh empty;
    std::unique_ptr<ZYLmesh> m2(mergeMeshPieces(nullptr, &empty, b.get()));
    ASSERT_TRUE(m2);
    EXPECT_EQ(m2->faces[0].island, 0);
    EXPECT_EQ(corners(m2->faces[3]), corners(b->faces[3]));
    EXPECT_EQ(mergeMeshPieces(nullptr, nullptr, b.get()), nullptr);
}

TEST(MeshSurgery, MergeNestedPiecesJoinsPiecesLyingInsideOneAnother) {
    const Shape big = cube(10.0);
    const Shape far = cube(1.0, {20, 0, 0});
    const Shape inner = cube(1.0, {4, 4, 4});

    // Piece 2 inside piece 0: the join goes to slot 0, piece 1 stays and keeps its label.
    auto p = nested({big, far, inner});
    (*p)[1].faces[0].island = 42;
    mergeNestedPieces(nullptr, p->array, p->count);
    ASSERT_EQ(p->count, 2u);
    EXPECT_EQ(p->array[2], nullptr);
    EXPECT_EQ((*p)[0].numFaces, 12u);
    EXPECT_EQ((*p)[0].worldVertices[8], inner.vertices[0]);
    EXPECT_EQ((*p)[1].worldVertices[0], far.vertices[0]);
    EXPECT_EQ((*p)[1].faces[0].island, 42);

    // Piece 0 inside piece 1: piece i comes first; piece 2 moves down and is relabelled.
    p = nested({inner, big, far});
    mergeNestedPieces(nullptr, p->array, p->count);
    ASSERT_EQ(p->count, 2u);
    EXPECT_EQ((*p)[0].worldVertices[0], inner.vertices[0]);
    EXPECT_EQ((*p)[1].worldVertices[0], far.vertices[0]);
    for (std::uint32_t f = 0; f < 6; ++f) {
        EXPECT_EQ((*p)[1].faces[f].island, 1) << f;
    }

    // Touching, overlapping and separate pieces stay as they are.
    p = nested({big, cube(1.0, {10, 0, 0}), cube(1.0, {9.5, 5, 5})});
    mergeNestedPieces(nullptr, p->array, p->count);
    EXPECT_EQ(p->count, 3u);
    EXPECT_EQ((*p)[2].numVertices, 8u);

    // Joins repeat; a joined piece is tested with all its faces, so a piece inside both
    // cubes joins it again and one beside the inner cube does not.
    p = nested({big, cube(6.0, {2, 2, 2}), inner});
    mergeNestedPieces(nullptr, p->array, p->count);
    ASSERT_EQ(p->count, 1u);
    EXPECT_EQ((*p)[0].numVertices, 24u);
    p = nested({big, inner, cube(1.0, {7, 7, 7})});
    mergeNestedPieces(nullptr, p->array, p->count);
    EXPECT_EQ(p->count, 2u);
}

TEST(MeshSurgery, SplitByIslandsMakesOneMeshPerIsland) {
    // Two cubes with a stray vertex between them that no face uses.
    Shape s = cube();
    s.vertices.push_back({5, 5, 5});
    const auto mesh = makeMesh(joined(s, cube(1.0, {3, 0, 0})), true);
    mesh->translation = {1, 2, 3};
    mesh->scale = {1, 2, 1};
    BVmesh volume;
    ASSERT_TRUE(volume.init(mesh.get(), BVMESH_EDGES | BVMESH_ISLANDS));
    ASSERT_EQ(volume.getNumMeshGroups(), 2u);
    auto p = splitChecked(*mesh, volume);
    ASSERT_EQ(p->count, 2u);
    for (std::uint32_t i = 0; i < 2; ++i) {
        EXPECT_EQ((*p)[i].numVertices, 8u);
        EXPECT_EQ((*p)[i].numUVs, 24u);
        EXPECT_EQ((*p)[i].faces[0].island, i + 1);
        EXPECT_EQ((*p)[i].normals[5], mesh->normals[6 * i + 5]);
        EXPECT_EQ((*p)[i].scale, QmtVector3(1, 2, 1));
        EXPECT_EQ((*p)[i].translation, QmtVector3(1, 2, 3));
    }
    // Old vertices 9..16 become 0..7 of the second piece, in order; the source is kept.
    EXPECT_EQ(corners((*p)[1].faces[0]), (Indices{0, 3, 2, 1}));
    EXPECT_EQ(mesh->numVertices, 17u);
    EXPECT_EQ(mesh->faces[6].vertices[0], 9u);

    // Nothing to split without a mesh or without labels.
    EXPECT_EQ(BVmesh().splitByIslands(), nullptr);
    mesh->numMeshGroups = 0;
    EXPECT_EQ(volume.splitByIslands(), nullptr);
}

TEST(MeshSurgery, SplitByIslandsGivesEachIslandItsOwnSharedVertices) {
    // Two tetrahedra meeting only at vertex 3 (and, here, sharing a UV entry): two
    // islands, each of which needs that vertex.
    Shape s = tetrahedron();
    s.vertices.insert(s.vertices.end(), {{1, 1, 2}, {0, 1, 2}, {0, 0, 2}});
    s.faces.insert(s.faces.end(), {{3, 4, 5}, {3, 5, 6}, {3, 6, 4}, {4, 6, 5}});
    const auto mesh = makeMesh(s, true);
    mesh->faces[7].uvs[0] = mesh->faces[0].uvs[0];
    BVmesh volume;
    ASSERT_TRUE(volume.init(mesh.get(), BVMESH_ISLANDS));
    ASSERT_EQ(volume.getNumMeshGroups(), 2u);
    auto p = splitChecked(*mesh, volume);
    ASSERT_EQ(p->count, 2u);
    EXPECT_EQ((*p)[0].numVertices, 4u);
    EXPECT_EQ((*p)[1].numVertices, 4u);
    EXPECT_EQ((*p)[1].numUVs, 12u);
    EXPECT_EQ((*p)[0].vertices[3], QmtVector3(0, 0, 1));
    EXPECT_EQ((*p)[1].vertices[0], QmtVector3(0, 0, 1));
}

TEST(MeshSurgery, FinishClipWithoutACutOnlyReleasesTheCutData) {
    for (const std::int32_t result : {1, -1}) {
        const auto mesh = makeMesh(cube(3.0));
        BVmesh volume;
        ASSERT_TRUE(volume.init(mesh.get(), BVMESH_EDGES | BVMESH_VERTICES));
        volume.initClipper();
        ZYLface* const faces = mesh->faces;
        volume.finishClip(result);
        EXPECT_EQ(volume.getClipper(), nullptr);
        EXPECT_EQ(volume.edges, nullptr);
        EXPECT_EQ(volume.vertexRecords, nullptr);
        EXPECT_EQ(mesh->faces, faces);
        EXPECT_EQ(mesh->worldVertices[6], QmtVector3(3, 3, 3));
        EXPECT_EQ(mesh->vertices[6], QmtVector3(3, 3, 3));
    }
}

TEST(MeshSurgery, FinishClipUndoesTheScaleAndRebuildsFacesAndNormals) {
    // A 32-sided prism (caps of exactly 32 corners), finished as the clipper's set-up left
    // it so that the scale can be checked on its own.
    const auto mesh = makeMesh(prism(32, 2.0, 1.0));
    const QmtMatrix3 R = zyltest::ROT_Z90;
    mesh->rotation = R;
    for (std::uint32_t f = 0; f < mesh->numFaces; ++f) {
        mesh->worldNormals[f] = R * mesh->normals[f] * 2.0;  // not unit: unitized on the way
        mesh->faces[f].extra = static_cast<std::uint16_t>(f);
    }
    mesh->worldCentre = {4, 8, 12};
    BVmesh volume;
    ASSERT_TRUE(volume.init(mesh.get(), BVMESH_EDGES));
    volume.initClipper();
    const double s = volume.getClipper()->getScale();
    ASSERT_NE(s, 1.0);
    const std::vector<QmtVector3> world(mesh->worldVertices, mesh->worldVertices + mesh->numVertices);
    const std::vector<QmtVector3> normals(mesh->worldNormals, mesh->worldNormals + mesh->numFaces);
    const Indices top = corners(mesh->faces[33]);
    ASSERT_EQ(top.size(), 32u);

    volume.finishClip(0);
    EXPECT_EQ(volume.getClipper(), nullptr);
    EXPECT_EQ(volume.edges, nullptr);
    ASSERT_EQ(mesh->numFaces, 34u);
    for (std::uint32_t i = 0; i < mesh->numVertices; ++i) {
        EXPECT_EQ(mesh->worldVertices[i], world[i] / s);
        EXPECT_EQ(mesh->vertices[i], world[i] / s);
    }
    EXPECT_EQ(mesh->worldCentre, QmtVector3(4, 8, 12) / s);
    EXPECT_EQ(corners(mesh->faces[33]), top);
    EXPECT_EQ(mesh->faces[33].extra, 33);
    EXPECT_EQ(mesh->faces[33].marker, 0);  // set by the clipper, not carried over
    for (std::uint32_t f = 0; f < mesh->numFaces; ++f) {
        EXPECT_EQ(mesh->worldNormals[f], normals[f]);
        EXPECT_NEAR(mesh->normals[f].Length(), 1.0, 1e-15);
    }
    // Side face 0 faced +x before the quarter turn: its local normal does again.
    EXPECT_NEAR(mesh->normals[0].x, std::cos(3.14159265358979323846 / 32), 1e-15);
    EXPECT_NEAR(mesh->normals[0].y, std::sin(3.14159265358979323846 / 32), 1e-15);
}

TEST(MeshSurgery, FinishClipFansAFaceThatClaimsMoreThan32Corners) {
    // A record claiming 40 corners holds only 32: those are fanned (16 + 18 corners),
    // the pieces keeping flags, island and extra.
    const auto mesh = makeMesh(prism(32, 2.0, 1.0));
    ZYLface& top = mesh->faces[33];
    top.numVertices = 40;
    top.flags = FACE_CAP;
    top.island = 3;
    top.extra = 4;
    const Indices loop(top.vertices, top.vertices + 32);
    const QmtVector3 normal = mesh->worldNormals[33];
    BVmesh volume(mesh.get());
    volume.initClipper();
    volume.finishClip(0);

    ASSERT_EQ(mesh->numFaces, 35u);
    Indices second{loop[0]};
    second.insert(second.end(), loop.begin() + 15, loop.end());
    EXPECT_EQ(corners(mesh->faces[33]), Indices(loop.begin(), loop.begin() + 16));
    EXPECT_EQ(corners(mesh->faces[34]), second);
    for (std::uint32_t f = 33; f < 35; ++f) {
        EXPECT_EQ(mesh->faces[f].flags, FACE_CAP);
        EXPECT_EQ(mesh->faces[f].island, 3);
        EXPECT_EQ(mesh->faces[f].extra, 4);
        EXPECT_EQ(mesh->faces[f].marker, 1);
        EXPECT_EQ(mesh->worldNormals[f], normal);
    }
}

TEST(MeshSurgery, CutThenSplitThenMergeNested) {
    // Two cubes side by side, cut through both: two closed pieces that stay apart.
    auto mesh = makeMesh(joined(cube(2.0), cube(2.0, {5, 0, 0})));
    auto p = cutSplitMerge(mesh.get(), 0.5, 2);
    ASSERT_EQ(p->count, 2u);
    for (std::uint32_t i = 0; i < 2; ++i) {
        EXPECT_EQ((*p)[i].numVertices, 8u);
        EXPECT_EQ((*p)[i].numFaces, 6u);
        for (std::uint32_t v = 0; v < 8; ++v) {
            const QmtVector3& w = (*p)[i].worldVertices[v];
            EXPECT_TRUE(w.z == 0.5 || w.z == 2.0) << w.z;
            EXPECT_TRUE(w.x == 5.0 * i || w.x == 5.0 * i + 2.0) << w.x;
        }
        BVmesh check;
        ASSERT_TRUE(check.init(p->array[i], BVMESH_EDGES));
        EXPECT_FALSE(check.hasOpenEdge());
    }

    // A small cube inside a big one, the plane cutting only the big one: two islands,
    // joined again because one lies inside the other.
    mesh = makeMesh(joined(cube(10.0, {-5, -5, -5}), cube(1.0, {-0.5, -0.5, -0.5})));
    p = cutSplitMerge(mesh.get(), -3.0, 2);
    ASSERT_EQ(p->count, 1u);
    EXPECT_EQ(p->array[1], nullptr);
    EXPECT_EQ((*p)[0].numFaces, 12u);
    std::set<double> heights;
    for (std::uint32_t v = 0; v < (*p)[0].numVertices; ++v) {
        heights.insert((*p)[0].worldVertices[v].z);
    }
    EXPECT_EQ(heights, (std::set<double>{-3.0, -0.5, 0.5, 5.0}));
}

TEST(MeshSurgery, HasOpenEdgeAndSetConvexHull) {
    const auto closed = makeMesh(cube());
    BVmesh volume;
    EXPECT_FALSE(volume.hasOpenEdge());  // no mesh
    ASSERT_TRUE(volume.init(closed.get(), 0));
    EXPECT_FALSE(volume.hasOpenEdge());  // no edge table
    ASSERT_TRUE(volume.init(closed.get(), BVMESH_EDGES));
    EXPECT_FALSE(volume.hasOpenEdge());
    Shape open = cube();
    open.faces.pop_back();
    const auto box = makeMesh(open);
    ASSERT_TRUE(volume.init(box.get(), BVMESH_EDGES));
    EXPECT_TRUE(volume.hasOpenEdge());

    // A referenced mesh is let go, not deleted (the test frees it); the hull is owned.
    ASSERT_TRUE(volume.setConvexHull(box->worldVertices, box->numVertices));
    EXPECT_NE(volume.getMesh(), box.get());
    EXPECT_EQ(volume.getOwnership(), 1);
    EXPECT_EQ(volume.getMesh()->numFaces, 6u);
    EXPECT_EQ(box->numFaces, 5u);
    // An owned mesh is replaced, even when the points are its own vertices.
    ZYLmesh* const first = volume.getMesh();
    ASSERT_TRUE(volume.setConvexHull(first->vertices, 0u, first->numVertices));
    EXPECT_NE(volume.getMesh(), first);
    EXPECT_EQ(volume.getOwnership(), 1);
    // Points that span no hull leave the volume as it was.
    ZYLmesh* const held = volume.getMesh();
    const QmtVector3 line[3] = {{0, 0, 0}, {1, 0, 0}, {2, 0, 0}};
    EXPECT_FALSE(volume.setConvexHull(line, 3));
    EXPECT_FALSE(volume.setConvexHull(nullptr, 3));
    EXPECT_EQ(volume.getMesh(), held);
}
