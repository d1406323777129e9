#include "geometry/mesh/dmeshSubdivision.h"
#include "geometry/mesh/meshPlacement.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <set>
#include <utility>
#include <vector>

#include "tests/geometry/testMeshes.h"
#include "tests/testSupport.h"

namespace {

using Qmt::QmtMatrix3;
using Qmt::QmtVector3;
using meshtest::Indices;
using meshtest::Points;
using zyltest::expectNear;
using zyltest::ROT_Z90;

template <class T>
void append(PooledList<T>& list, const std::vector<T>& values) {
    auto* tail = list.head;
    while (tail->next) {
        tail = tail->next;
    }
    for (const T& v : values) {
        list.insertAfter(v, tail);
        tail = tail->next;
    }
}

Points listOf(const PooledList<QmtVector3>& list) { return Points(list.begin(), list.end()); }

std::vector<ZYL_DFface*> facesOf(const ZYL_DMesh& mesh) {
    return std::vector<ZYL_DFface*>(mesh.faces.begin(), mesh.faces.end());
}

Indices cornersOf(const ZYL_DFface* f) { return meshtest::corners(*f); }
Indices uvsOf(const ZYL_DFface* f) { return meshtest::cornerUVs(*f); }

// The final faces belong to the caller.
void deleteFaces(ZYL_DMesh& mesh) {
    for (ZYL_DFface* f : mesh.faces) {
        delete f;
    }
    mesh.faces.clear();
}

ZYL_DFface* newFace(const Indices& corners, std::uint32_t uvSets = 1) {
    auto* f = new ZYL_DFface(static_cast<std::uint32_t>(corners.size()), uvSets);
    std::copy(corners.begin(), corners.end(), f->vertices);
    std::copy(corners.begin(), corners.end(), f->uvs);
    f->numVertices = static_cast<std::uint32_t>(corners.size());
    return f;
}

void place(ZYL_DMesh& mesh, const QmtMatrix3& R, const QmtVector3& T, const QmtVector3& S) {
    mesh.rotation = R;
    mesh.translation = T;
    mesh.scale = S;
}

// Unit square in z = 0 as one face, identity placement, UVs equal to the positions.
struct SquareMesh {
    ZYL_DMesh mesh;
    ZYL_DFface* face;  // owned by the test, never by the subdivision
    SquareMesh() : face(newFace({0, 1, 2, 3})) {
        const Points corners = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};
        append(mesh.worldVertices, corners);
        append(mesh.vertices, corners);
        append(mesh.uvs, corners);
        append(mesh.worldNormals, Points{{0, 0, 1}});
        append(mesh.normals, Points{{0, 0, 1}});
        face->flags = 8;
        face->piece = 5;
        face->material = 3;
        mesh.faces.pushFront(face);
        place(mesh, QmtMatrix3::IDENTITY, {}, {1, 1, 1});
    }
    ~SquareMesh() {
        deleteFaces(mesh);
        delete face;
    }
};

// Keeps the first of every run of points within squared distance 1e-5, comparing each
// kept point with all later points not yet merged.
Points bruteForceMerge(const Points& p) {
    std::vector<bool> merged(p.size(), false);
    Points kept;
    for (std::size_t i = 0; i < p.size(); ++i) {
        if (merged[i]) {
            continue;
        }
        kept.push_back(p[i]);
        for (std::size_t j = i + 1; j < p.size(); ++j) {
            if (!merged[j] && (p[j] - p[i]).SquaredLength() < 1e-5) {
                merged[j] = true;
            }
        }
    }
    return kept;
}

// Faces of one corner: each yields three copies of its point, so the merge sees
// exactly the given point sequence (each point thrice).
struct PointFaces {
    ZYL_DMesh mesh;
    std::vector<ZYL_DFface*> faces;
    explicit PointFaces(const Points& points) {
        append(mesh.worldVertices, points);
        append(mesh.vertices, points);
        for (std::uint32_t i = 0; i < points.size(); ++i) {
            faces.push_back(newFace({i}));
        }
        // Pushed in reverse so the face list runs in point order.
        for (auto it = faces.rbegin(); it != faces.rend(); ++it) {
            mesh.faces.pushFront(*it);
        }
        place(mesh, QmtMatrix3::IDENTITY, {}, {1, 1, 1});
    }
    ~PointFaces() {
        deleteFaces(mesh);
        for (ZYL_DFface* f : faces) {
            delete f;
        }
    }
};

}  // namespace

TEST(DMeshSubdivision, CopyVectorListToArray) {
    PooledList<QmtVector3> list;
    QmtVector3 out[3];
    EXPECT_EQ(copyVectorListToArray(list, out), 0u);
    append(list, Points{{1, 0, 0}, {2, 0, 0}});
    list.pushFront({0, 0, 0});
    EXPECT_EQ(copyVectorListToArray(list, out), 3u);
    EXPECT_EQ(Points(out, out + 3), (Points{{0, 0, 0}, {1, 0, 0}, {2, 0, 0}}));
}

TEST(DMeshSubdivision, SquareOneLevel) {
    for (std::uint32_t levels : {0u, 1u}) {
        SquareMesh sq;
        EXPECT_EQ(subdivideDMeshFaces(&sq.mesh, levels), 4u);
        // Creation order: centroid, then corner / midpoint loop.
        const Points expected = {{0.5, 0.5, 0}, {0, 0, 0}, {0.5, 0, 0}, {1, 0, 0}, {1, 0.5, 0},
                                 {1, 1, 0},     {0.5, 1, 0}, {0, 1, 0}, {0, 0.5, 0}};
        EXPECT_EQ(listOf(sq.mesh.worldVertices), expected);
        EXPECT_EQ(listOf(sq.mesh.vertices), expected);
        EXPECT_EQ(listOf(sq.mesh.uvs), expected);
        // New faces are pushed at the front: the last quad made comes first.
        const auto faces = facesOf(sq.mesh);
        ASSERT_EQ(faces.size(), 4u);
        EXPECT_EQ(cornersOf(faces[0]), (Indices{6, 7, 8, 0}));
        EXPECT_EQ(cornersOf(faces[1]), (Indices{4, 5, 6, 0}));
        EXPECT_EQ(cornersOf(faces[2]), (Indices{2, 3, 4, 0}));
        EXPECT_EQ(cornersOf(faces[3]), (Indices{8, 1, 2, 0}));
        EXPECT_EQ(uvsOf(faces[3]), (Indices{8, 1, 2, 0}));
        for (const ZYL_DFface* f : faces) {
            EXPECT_TRUE(f != sq.face && f->flags == 8 && f->piece == 5 && f->material == 3 && f->alive == 1);
            EXPECT_EQ(f->numUVSets, 1);
        }
        EXPECT_EQ(listOf(sq.mesh.worldNormals), Points(4, {0, 0, 1}));
        EXPECT_EQ(listOf(sq.mesh.normals), Points(4, {0, 0, 1}));
        // The original face is unlinked but intact.
        EXPECT_EQ(cornersOf(sq.face), (Indices{0, 1, 2, 3}));
    }
}

TEST(DMeshSubdivision, SquareTwoLevelsMergesSharedVertices) {
    SquareMesh sq;
    EXPECT_EQ(subdivideDMeshFaces(&sq.mesh, 2), 16u);
    const Points world = listOf(sq.mesh.worldVertices);
    ASSERT_EQ(world.size(), 25u);  // the 5 x 5 grid of a quarter spacing
    std::set<std::pair<double, double>> grid;
    for (const QmtVector3& p : world) {
        grid.insert({p.x * 4, p.y * 4});
        EXPECT_TRUE(p.x * 4 == std::floor(p.x * 4) && p.y * 4 == std::floor(p.y * 4));
    }
    EXPECT_EQ(grid.size(), 25u);  // all distinct
    // Every face is a quarter-sized square ending in its centroid.
    std::vector<bool> used(world.size(), false);
    for (const ZYL_DFface* f : facesOf(sq.mesh)) {
        const Indices c = cornersOf(f);
        ASSERT_EQ(c.size(), 4u);
        for (std::uint32_t i : c) {
            ASSERT_LT(i, world.size());
            used[i] = true;
        }
        EXPECT_DOUBLE_EQ((world[c[1]] - world[c[0]]).Length(), 0.25);
        EXPECT_DOUBLE_EQ((world[c[2]] - world[c[1]]).Length(), 0.25);
        expectNear(world[c[3]], world[c[0]] + world[c[2]] - world[c[1]]);
    }
    EXPECT_EQ(std::count(used.begin(), used.end(), true), 25);
    EXPECT_EQ(sq.mesh.uvs.count, 4u * 9u);  // UVs are not merged
    EXPECT_EQ(sq.mesh.worldNormals.count, 16u);
}

TEST(DMeshSubdivision, PlacedCubeFromDFmesh) {
    for (std::uint32_t levels : {1u, 2u}) {
        ZYL_DFmesh cube;  // [-1, 1]^3 with outward quads
        buildAABoxDFmesh({{-1, -1, -1}, {1, 1, 1}}, &cube);
        ZYL_DMesh mesh(&cube);
        const QmtVector3 T(1, 2, 3);
        const QmtVector3 S(2, 2, 2);
        place(mesh, ROT_Z90, T, S);

        const std::uint32_t faces = subdivideDMeshFaces(&mesh, levels);
        EXPECT_EQ(faces, levels == 1 ? 24u : 96u);
        const Points world = listOf(mesh.worldVertices);
        const Points local = listOf(mesh.vertices);
        ASSERT_EQ(world.size(), levels == 1 ? 26u : 98u);  // closed: V = F + 2
        ASSERT_EQ(local.size(), world.size());
        for (std::size_t i = 0; i < world.size(); ++i) {
            const QmtVector3& l = local[i];
            expectNear(ROT_Z90 * QmtVector3(l.x * S.x, l.y * S.y, l.z * S.z) + T, world[i]);
        }

        // The normal lists run parallel to the face list: each normal is the outward
        // normal of the face at the same position.
        const auto list = facesOf(mesh);
        const Points worldNormals = listOf(mesh.worldNormals);
        const Points localNormals = listOf(mesh.normals);
        ASSERT_EQ(worldNormals.size(), list.size());
        ASSERT_EQ(localNormals.size(), list.size());
        for (std::size_t f = 0; f < list.size(); ++f) {
            const Indices c = cornersOf(list[f]);
            const QmtVector3& n = worldNormals[f];
            EXPECT_NEAR((world[c[1]] - world[c[0]]).Dot(n), 0.0, 1e-12) << f;
            EXPECT_NEAR((world[c[2]] - world[c[1]]).Dot(n), 0.0, 1e-12) << f;
            EXPECT_GT(world[c[3]].Dot(n), 0.5) << f;  // the centroid lies on the outer side
            expectNear(localNormals[f], ROT_Z90.Transpose() * n);
        }

        // The DF mesh still owns its untouched faces; the new ones are ours.
        for (std::uint32_t i = 0; i < 6; ++i) {
            EXPECT_EQ(cube.faces[i].numVertices, 4u);
            EXPECT_EQ(std::count(list.begin(), list.end(), &cube.faces[i]), 0);
        }
        deleteFaces(mesh);
    }
}

TEST(DMeshSubdivision, ExtraUVSets) {
    ZYL_DMesh mesh;
    append(mesh.worldVertices, Points{{0, 0, 0}, {3, 0, 0}, {0, 3, 0}, {3, 3, 0}});
    append(mesh.vertices, Points{{0, 0, 0}, {3, 0, 0}, {0, 3, 0}, {3, 3, 0}});
    append(mesh.uvs, Points{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}});
    append(mesh.uvSets[0], Points{{6, 0, 0}, {9, 0, 0}, {6, 3, 0}, {9, 3, 0}});
    mesh.numUVSets = 2;
    mesh.flags = MESH_UV_SETS;
    place(mesh, QmtMatrix3::IDENTITY, {}, {1, 1, 1});
    ZYL_DFface* own = newFace({0, 1, 2}, 2);  // carries its own set-2 indices
    std::copy_n(Indices{1, 3, 2}.data(), 3, own->uvSets[0]);
    ZYL_DFface* plain = newFace({1, 3, 2}, 1);
    plain->flags = FACE_UV_SETS;  // the flag alone, without arrays
    mesh.faces.pushFront(plain);
    mesh.faces.pushFront(own);

    EXPECT_EQ(subdivideDMeshFaces(&mesh, 1), 6u);
    const Points uvs = listOf(mesh.uvs);
    const Points set2 = listOf(mesh.uvSets[0]);
    ASSERT_EQ(uvs.size(), 14u);
    ASSERT_EQ(set2.size(), 14u);
    // Face `own` (made first): centroid of set-2 corners 1, 3, 2, then the loop.
    expectNear(set2[0], {8, 2, 0});
    EXPECT_EQ(set2[1], QmtVector3(9, 0, 0));
    EXPECT_EQ(set2[2], QmtVector3(9, 1.5, 0));
    EXPECT_EQ(set2[6], QmtVector3(7.5, 1.5, 0));
    // Face `plain` has no set-2 indices: zero entries keep the set parallel.
    for (std::size_t i = 7; i < 14; ++i) {
        EXPECT_EQ(set2[i], QmtVector3::ZERO) << i;
    }
    EXPECT_EQ(uvs[7], (QmtVector3(1, 0, 0) + QmtVector3(1, 1, 0) + QmtVector3(0, 1, 0)) / 3.0);
    // Each new face's set-2 indices repeat its UV indices.
    const auto faces = facesOf(mesh);
    ASSERT_EQ(faces.size(), 6u);
    const ZYL_DFface* fromOwn = faces.back();
    ASSERT_NE(fromOwn->uvSets[0], nullptr);
    EXPECT_EQ(Indices(fromOwn->uvSets[0], fromOwn->uvSets[0] + 4), uvsOf(fromOwn));
    EXPECT_EQ(faces.front()->uvSets[0], nullptr);
    deleteFaces(mesh);
    delete own;
    delete plain;

    // No UVs at all: UV work is skipped.
    ZYL_DMesh bare;
    append(bare.worldVertices, Points{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}});
    append(bare.vertices, Points{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}});
    place(bare, QmtMatrix3::IDENTITY, {}, {1, 1, 1});
    ZYL_DFface* tri = newFace({0, 1, 2});
    bare.faces.pushFront(tri);
    EXPECT_EQ(subdivideDMeshFaces(&bare, 1), 3u);
    EXPECT_EQ(bare.uvs.count, 0u);
    EXPECT_EQ(bare.worldVertices.count, 7u);
    EXPECT_EQ(bare.worldNormals.count, 0u);
    deleteFaces(bare);
    delete tri;

    EXPECT_EQ(subdivideDMeshFaces(nullptr, 3), 0u);
}

TEST(DMeshSubdivision, DuplicatesMergeOntoTheEarliestKeptVertex) {
    // B is within the merge distance of A and of C, A and C are not: B merges onto A,
    // and C, whose only near neighbour was merged away, stays.
    const QmtVector3 A(0, 0, 0), B(0.002, 0, 0), C(0.004, 0, 0);
    {
        PointFaces pf({A, B, C});
        EXPECT_EQ(subdivideDMeshFaces(&pf.mesh, 1), 3u);
        EXPECT_EQ(listOf(pf.mesh.worldVertices), (Points{A, C}));
        // Face order is reversed by pushFront: C's quad first.
        const auto faces = facesOf(pf.mesh);
        EXPECT_EQ(cornersOf(faces[0]), (Indices{1, 1, 1, 1}));
        EXPECT_EQ(cornersOf(faces[1]), (Indices{0, 0, 0, 0}));
        EXPECT_EQ(cornersOf(faces[2]), (Indices{0, 0, 0, 0}));
        EXPECT_EQ(uvsOf(faces[0]), (Indices{8, 7, 8, 6}));  // UVs keep their numbering
    }

    // Clustered points around cell boundaries and far from the origin give the same
    // result as comparing every pair.
    std::mt19937 rng(12345);
    std::uniform_real_distribution<double> jitter(-0.004, 0.004);
    std::uniform_int_distribution<int> cellPick(-20, 20);
    Points points;
    for (int i = 0; i < 700; ++i) {
        const double base = i % 3 == 0 ? 1e6 : 0.0;
        points.push_back({base + 0.01 * cellPick(rng) + jitter(rng), 0.01 * (i % 2) + jitter(rng) * 0.5,
                          jitter(rng) * 0.25});
    }
    Points tripled;
    for (const QmtVector3& p : points) {
        tripled.insert(tripled.end(), 3, p);
    }
    PointFaces pf(points);
    EXPECT_EQ(subdivideDMeshFaces(&pf.mesh, 1), 700u);
    const Points expected = bruteForceMerge(tripled);
    EXPECT_LT(expected.size(), 500u);  // the set really has clusters
    EXPECT_EQ(listOf(pf.mesh.worldVertices), expected);
}
