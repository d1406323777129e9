#include "geometry/mesh/bvMesh.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <random>
#include <vector>

#include "geometry/clip/clipper.h"
#include "tests/geometry/testMeshes.h"

namespace {

using Qmt::QmtMatrix3;
using Qmt::QmtVector3;
using namespace meshtest;

// Points spread over a unit sphere.
Points spherePoints(std::uint32_t n) {
    Points points;
    const double golden = 3.14159265358979323846 * (3.0 - std::sqrt(5.0));
    for (std::uint32_t i = 0; i < n; ++i) {
        const double z = 1.0 - 2.0 * (i + 0.5) / n;
        const double r = std::sqrt(1.0 - z * z);
        points.emplace_back(r * std::cos(golden * i), r * std::sin(golden * i), z);
    }
    return points;
}

// The connectivity build written the plain way: linked open and closed lists, the open
// list searched from its newest entry, indices handed out from the top down.
struct ReferenceEdge {
    std::uint32_t v0, v1, faceA, faceB, posA, posB, uvs[4];
};
struct Reference {
    std::vector<ReferenceEdge> table;
    std::vector<Indices> slots;
};
Reference referenceBuild(const ZYLmesh& mesh) {
    std::vector<ReferenceEdge> open;    // front = back of the vector
    std::vector<ReferenceEdge> closed;  // front = back of the vector
    Reference ref;
    ref.slots.resize(mesh.numFaces);
    for (std::uint32_t f = 0; f < mesh.numFaces; ++f) {
        const ZYLface& face = mesh.faces[f];
        const std::uint32_t n = face.numVertices;
        ref.slots[f].assign(n, 0);
        for (std::uint32_t k = 0; k < n; ++k) {
            const std::uint32_t a = face.vertices[k], b = face.vertices[(k + 1) % n];
            const std::uint32_t ua = face.uvs[k], ub = face.uvs[(k + 1) % n];
            bool found = false;
            for (std::size_t j = open.size(); j-- > 0;) {
                ReferenceEdge& e = open[j];
                if ((e.v0 == a && e.v1 == b) || (e.v0 == b && e.v1 == a)) {
                    e.faceB = f;
                    e.posB = k;
                    e.uvs[1] = a == e.v0 ? ua : ub;
                    e.uvs[3] = a == e.v0 ? ub : ua;
                    closed.push_back(e);
                    open.erase(open.begin() + static_cast<std::ptrdiff_t>(j));
                    found = true;
                    break;
                }
            }
            if (!found) {
                open.push_back(ReferenceEdge{a, b, f, f, k, k, {ua, 0, ub, 0}});
            }
        }
    }
    const std::size_t total = open.size() + closed.size();
    ref.table.resize(total);
    std::size_t i = total;
    for (auto* list : {&closed, &open}) {
        for (std::size_t j = list->size(); j-- > 0;) {
            const ReferenceEdge& e = (*list)[j];
            ref.table[--i] = e;
            ref.slots[e.faceA][e.posA] = static_cast<std::uint32_t>(i);
            ref.slots[e.faceB][e.posB] = static_cast<std::uint32_t>(i);
        }
    }
    return ref;
}

}  // namespace

TEST(BVmeshVolume, OwnershipCopiesAndFlags) {
    BVmesh empty;
    EXPECT_EQ(empty.getOwnership(), -1);
    EXPECT_EQ(empty.clip(QmtVector3::UNIT_Z, QmtVector3::ZERO, 8), 0);

    const auto cube = makeMesh(meshtest::cube());
    {
        BVmesh volume(cube.get());
        EXPECT_EQ(volume.getOwnership(), 0);
        // The flag accessors build nothing.
        volume.enableConnectEdges();
        volume.enableConnectVertex();
        EXPECT_TRUE(volume.isConnectEdges() && volume.isConnectVertex());
        EXPECT_EQ(volume.edges, nullptr);
        EXPECT_EQ(volume.vertexRecords, nullptr);

        volume.setOrientation(QmtMatrix3(1, 2, 3, 4, 5, 6, 7, 8, 9));
        EXPECT_EQ(volume.getAxis(2), QmtVector3(3, 6, 9));
        EXPECT_EQ(volume.computeFaceCenter(1), QmtVector3(0.5, 0.5, 1));

        // Copies are shallow: same mesh, same tables, same state.
        ASSERT_TRUE(volume.buildConnectivity(BVMESH_EDGES));
        BVmesh copy(volume);
        EXPECT_EQ(copy.getMesh(), cube.get());
        EXPECT_EQ(copy.edges, volume.edges);
        EXPECT_EQ(copy.getOwnership(), 0);
        copy.edges = nullptr;  // only one of the sharing volumes may release them

        // destroy() releases the tables but keeps the mesh.
        volume.destroy();
        EXPECT_EQ(volume.edges, nullptr);
        EXPECT_EQ(volume.getEdgeCount(), 0u);
        EXPECT_EQ(volume.getMesh(), cube.get());
    }
    // A referenced mesh survives its volume.
    EXPECT_EQ(cube->numVertices, 8u);

    // createMesh owns its mesh (replaced and freed again: the leak checker watches);
    // deleteMesh leaves a referenced mesh alone.
    BVmesh owner;
    ASSERT_TRUE(owner.createMesh());
    EXPECT_EQ(owner.getOwnership(), 1);
    ASSERT_TRUE(owner.createMesh());
    BVmesh referencing(cube.get());
    referencing.deleteMesh();
    EXPECT_EQ(referencing.getMesh(), nullptr);
    EXPECT_EQ(cube->numVertices, 8u);
}

TEST(BVmeshConnectivity, TwoTrianglesSharingAnEdge) {
    // Face 1 walks the shared edge 1-2 backwards.
    MeshBuilder builder({{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}}, {{0, 1, 2}, {2, 1, 3}}});
    builder.uvs = {{10, 11, 12}, {20, 21, 23}};
    builder.uvTable = Points(30);
    const auto mesh = builder.mesh();
    BVmesh volume;
    ASSERT_TRUE(volume.init(mesh.get(), BVMESH_EDGES | BVMESH_VERTICES));
    EXPECT_EQ(volume.getOwnership(), 0);
    EXPECT_EQ(volume.numVertexRecords, 4u);
    ASSERT_EQ(volume.getEdgeCount(), 5u);
    EXPECT_TRUE(volume.isConnectEdges());
    EXPECT_TRUE(volume.isConnectVertex());

    // Boundary edges first in creation order, then the shared edge.
    const std::vector<Indices> expected = {
        {0, 1, 0, 0, 10, 0, 11, 0}, {2, 0, 0, 0, 12, 0, 10, 0}, {1, 3, 1, 1, 21, 0, 23, 0},
        {3, 2, 1, 1, 23, 0, 20, 0}, {1, 2, 0, 1, 11, 21, 12, 20}};
    for (std::uint32_t i = 0; i < 5; ++i) {
        const connect_edge& e = volume.getConnectEdges(i);
        EXPECT_EQ((Indices{e.v0, e.v1, e.faceA, e.faceB, e.uvs[0], e.uvs[1], e.uvs[2], e.uvs[3]}),
                  expected[i])
            << "edge " << i;
    }
    EXPECT_EQ(edgeSlots(mesh->faces[0]), (Indices{0, 4, 1}));
    EXPECT_EQ(edgeSlots(mesh->faces[1]), (Indices{4, 2, 3}));

    const std::vector<Indices> faces = {{0}, {0, 1}, {0, 1}, {1}};
    const std::vector<Indices> edges = {{0, 1}, {0, 2, 4}, {1, 3, 4}, {2, 3}};
    for (std::uint32_t v = 0; v < 4; ++v) {
        const connect_vertex& r = volume.getConnectVertex(v);
        EXPECT_EQ(vertexFaces(r), faces[v]) << "vertex " << v;
        EXPECT_EQ(vertexEdges(r), edges[v]) << "vertex " << v;
    }

    // Without UVs the UV fields are not filled.
    mesh->numUVs = 0;
    ASSERT_TRUE(volume.buildConnectivity(BVMESH_EDGES));
    EXPECT_EQ(volume.getConnectEdges(4).uvs[0], 0u);
    EXPECT_FALSE(volume.isConnectVertex());

    // Vertex lists without the edge table stay empty.
    ASSERT_TRUE(volume.buildConnectivity(BVMESH_VERTICES));
    EXPECT_FALSE(volume.isConnectEdges());
    EXPECT_TRUE(volume.isConnectVertex());
    for (std::uint32_t v = 0; v < 4; ++v) {
        EXPECT_EQ(volume.getConnectVertex(v).numFaces, 0u);
        EXPECT_EQ(volume.getConnectVertex(v).numEdges, 0u);
    }
}

TEST(BVmeshConnectivity, TetrahedronTriangleAndEmptyMesh) {
    const auto tetra = makeMesh(tetrahedron());
    BVmesh volume;
    ASSERT_TRUE(volume.init(tetra.get(), BVMESH_EDGES | BVMESH_VOLUME));
    ASSERT_EQ(volume.getEdgeCount(), 6u);
    for (std::uint32_t i = 0; i < 6; ++i) {
        EXPECT_NE(volume.getConnectEdges(i).faceA, volume.getConnectEdges(i).faceB);
    }
    for (std::uint32_t f = 0; f < 4; ++f) {
        const ZYLface& face = tetra->faces[f];
        ASSERT_EQ(face.numEdges, 3u);
        for (std::uint32_t k = 0; k < 3; ++k) {
            // Slot k is the edge from corner k to corner k + 1, in either direction.
            const connect_edge& e = volume.getConnectEdges(face.edges[k]);
            const std::uint32_t a = face.vertices[k], b = face.vertices[(k + 1) % 3];
            EXPECT_TRUE((e.v0 == a && e.v1 == b) || (e.v0 == b && e.v1 == a));
        }
    }
    EXPECT_NEAR(volume.getVolume(), 1.0 / 6.0, 1e-12);
    EXPECT_NEAR((tetra->centre - QmtVector3(0.25, 0.25, 0.25)).Length(), 0.0, 1e-12);

    const auto triangle = makeMesh({{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2}}});
    ASSERT_TRUE(volume.init(triangle.get(), BVMESH_EDGES));
    ASSERT_EQ(volume.getEdgeCount(), 3u);
    const Indices corners[3] = {{0, 1}, {1, 2}, {2, 0}};
    for (std::uint32_t i = 0; i < 3; ++i) {
        const connect_edge& e = volume.getConnectEdges(i);
        EXPECT_EQ((Indices{e.v0, e.v1}), corners[i]);
        EXPECT_EQ(e.faceA, 0u);
        EXPECT_EQ(e.faceB, 0u);
    }
    EXPECT_EQ(edgeSlots(triangle->faces[0]), (Indices{0, 1, 2}));

    // No face, no edge: the build fails, init still attaches the mesh.
    const auto bare = makeMesh({{{0, 0, 0}}, {}});
    EXPECT_TRUE(volume.init(bare.get(), BVMESH_EDGES | BVMESH_VERTICES));
    EXPECT_FALSE(volume.buildConnectivity(BVMESH_EDGES));
    EXPECT_FALSE(volume.isConnectEdges());
    EXPECT_EQ(volume.getEdgeCount(), 0u);
    EXPECT_FALSE(BVmesh().buildConnectivity(BVMESH_EDGES));
    volume.destroy();  // before the meshes made after it go
}

TEST(BVmeshConnectivity, HashedMatchingEqualsTheListWalk) {
    // Few vertices and many faces: edges shared by three or four faces, walked in the
    // same direction twice, and degenerate corners.
    std::mt19937 random(7);
    for (int round = 0; round < 40; ++round) {
        const std::uint32_t vertexCount = 3 + round % 5;
        Shape shape{Points(vertexCount), Faces(6 + round % 13)};
        for (Indices& face : shape.faces) {
            face.resize(1 + random() % 5);
            for (std::uint32_t& v : face) {
                v = random() % vertexCount;
            }
        }
        const auto mesh = makeMesh(shape, true);
        const Reference ref = referenceBuild(*mesh);
        BVmesh volume;
        ASSERT_TRUE(volume.init(mesh.get(), BVMESH_EDGES | BVMESH_VERTICES));
        ASSERT_EQ(volume.getEdgeCount(), ref.table.size()) << "round " << round;
        for (std::uint32_t i = 0; i < ref.table.size(); ++i) {
            const connect_edge& e = volume.getConnectEdges(i);
            const ReferenceEdge& r = ref.table[i];
            ASSERT_EQ((Indices{e.v0, e.v1, e.faceA, e.faceB, e.uvs[0], e.uvs[1], e.uvs[2], e.uvs[3]}),
                      (Indices{r.v0, r.v1, r.faceA, r.faceB, r.uvs[0], r.uvs[1], r.uvs[2], r.uvs[3]}))
                << "round " << round << " edge " << i;
        }
        std::vector<std::uint32_t> edgeEnds(vertexCount, 0);
        for (std::uint32_t f = 0; f < mesh->numFaces; ++f) {
            ASSERT_EQ(edgeSlots(mesh->faces[f]), ref.slots[f]) << "round " << round << " face " << f;
        }
        for (const ReferenceEdge& r : ref.table) {
            ++edgeEnds[r.v0];
            ++edgeEnds[r.v1];
        }
        for (std::uint32_t v = 0; v < vertexCount; ++v) {
            EXPECT_EQ(volume.getConnectVertex(v).numEdges, edgeEnds[v]);
        }
    }
}

TEST(BVmeshIslands, TwoCubesAndLabelling) {
    // Two cubes with interleaved faces: face 0 belongs to the first cube.
    const Shape both = joined(meshtest::cube(), meshtest::cube(1.0, {3, 0, 0}));
    Shape cubes{both.vertices, {}};
    for (std::size_t f = 0; f < 6; ++f) {
        cubes.faces.push_back(both.faces[f]);
        cubes.faces.push_back(both.faces[6 + f]);
    }
    const auto mesh = makeMesh(cubes);
    BVmesh volume;
    ASSERT_TRUE(volume.init(mesh.get(), BVMESH_ISLANDS));
    // The islands built the missing edge table themselves.
    EXPECT_TRUE(volume.isConnectEdges());
    EXPECT_EQ(volume.getEdgeCount(), 24u);
    EXPECT_EQ(volume.getNumMeshGroups(), 2u);
    for (std::uint32_t f = 0; f < 12; ++f) {
        EXPECT_EQ(mesh->faces[f].island, f % 2 == 0 ? 1 : 2) << "face " << f;
    }

    // Stale labels are reset, and an unlabelled face spreads nothing.
    mesh->faces[3].island = 9;
    volume.labelIslands();
    EXPECT_EQ(mesh->faces[3].island, 2);
    for (std::uint32_t f = 0; f < 12; ++f) {
        mesh->faces[f].island = 0;
    }
    volume.fillIsland(&mesh->faces[0]);
    EXPECT_EQ(mesh->faces[2].island, 0);
    mesh->faces[1].island = 5;
    volume.fillIsland(&mesh->faces[1]);
    for (std::uint32_t f = 0; f < 12; ++f) {
        EXPECT_EQ(mesh->faces[f].island, f % 2 == 1 ? 5 : 0) << "face " << f;
    }
    volume.fillIsland(nullptr);

    // Faces that share only a vertex are separate islands.
    const auto bowtie = makeMesh({{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {-1, 0, 0}, {0, -1, 0}}, {{0, 1, 2}, {0, 3, 4}}});
    ASSERT_TRUE(volume.init(bowtie.get(), BVMESH_EDGES | BVMESH_ISLANDS));
    EXPECT_EQ(volume.getNumMeshGroups(), 2u);
    EXPECT_EQ(bowtie->faces[1].island, 2);
    volume.destroy();
}

TEST(BVmeshIslands, MoreIslandsThanSixteenBitLabels) {
    // 65537 loose pairs of triangles: the 65536th number wraps to 0, which must neither
    // stall the spread nor split or merge that island; the count stays exact.
    const std::uint32_t pairs = 65537;
    const auto mesh = std::make_unique<ZYLmesh>();
    mesh->numVertices = 4 * pairs;
    mesh->numFaces = 2 * pairs;
    mesh->faces = new ZYLface[mesh->numFaces];
    for (std::uint32_t p = 0; p < pairs; ++p) {
        const std::uint32_t corners[2][3] = {{4 * p, 4 * p + 1, 4 * p + 2}, {4 * p + 2, 4 * p + 1, 4 * p + 3}};
        for (std::uint32_t t = 0; t < 2; ++t) {
            mesh->faces[2 * p + t].numVertices = 3;
            for (std::uint32_t k = 0; k < 3; ++k) {
                mesh->faces[2 * p + t].vertices[k] = corners[t][k];
            }
        }
    }
    BVmesh volume;
    ASSERT_TRUE(volume.init(mesh.get(), BVMESH_EDGES | BVMESH_ISLANDS));
    EXPECT_EQ(volume.getEdgeCount(), 5 * pairs);
    EXPECT_EQ(volume.getNumMeshGroups(), pairs);
    EXPECT_EQ(mesh->faces[2 * 65534 + 1].island, 65535);
    EXPECT_EQ(mesh->faces[2 * 65535].island, 0);
    EXPECT_EQ(mesh->faces[2 * 65535 + 1].island, 0);
    EXPECT_EQ(mesh->faces[2 * 65536 + 1].island, 1);
}

TEST(BVmeshInit, RefusesBadIndicesAndReleasesOwnedMeshes) {
    const auto cube = makeMesh(meshtest::cube());
    BVmesh volume;
    ASSERT_TRUE(volume.init(cube.get(), BVMESH_EDGES | BVMESH_VERTICES | BVMESH_VOLUME));
    EXPECT_NEAR(volume.getVolume(), 1.0, 1e-12);
    EXPECT_NEAR((cube->centre - QmtVector3(0.5, 0.5, 0.5)).Length(), 0.0, 1e-12);
    EXPECT_EQ(volume.getEdgeCount(), 12u);

    // A face index equal to the vertex count is refused and the volume holds no mesh.
    cube->faces[4].vertices[2] = 8;
    EXPECT_FALSE(volume.init(cube.get(), BVMESH_EDGES));
    EXPECT_EQ(volume.getMesh(), nullptr);
    EXPECT_EQ(volume.getOwnership(), -1);
    cube->faces[4].vertices[2] = 7;
    cube->faces[4].numVertices = 33;
    EXPECT_FALSE(volume.init(cube.get(), BVMESH_EDGES));
    cube->faces[4].numVertices = 4;
    EXPECT_FALSE(volume.init(nullptr, BVMESH_EDGES));

    // buildConnectivity refuses such a mesh too, leaving the flags clear.
    BVmesh direct(cube.get());
    cube->faces[0].vertices[0] = 8;
    EXPECT_FALSE(direct.buildConnectivity(BVMESH_EDGES | BVMESH_VERTICES));
    EXPECT_FALSE(direct.isConnectEdges());
    EXPECT_EQ(direct.vertexRecords, nullptr);
    cube->faces[0].vertices[0] = 0;

    // An owned mesh is deleted when another is attached (the leak checker watches),
    // and stays owned when it is given again.
    ASSERT_TRUE(volume.createMesh());
    ASSERT_TRUE(volume.init(cube.get(), BVMESH_EDGES));
    EXPECT_EQ(volume.getOwnership(), 0);
    ASSERT_TRUE(volume.createMesh());
    ZYLmesh* owned = volume.getMesh();
    ASSERT_TRUE(volume.init(owned, BVMESH_EDGES | BVMESH_VERTICES));
    EXPECT_EQ(volume.getOwnership(), 1);
    EXPECT_EQ(volume.numVertexRecords, 0u);

    // Vertex records sized for a bigger mesh are released before a smaller one is
    // attached (the sanitizer catches a walk over the old count).
    const auto triangle = makeMesh({{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2}}});
    ASSERT_TRUE(volume.init(cube.get(), BVMESH_EDGES | BVMESH_VERTICES));
    ASSERT_TRUE(volume.init(triangle.get(), BVMESH_EDGES));
    EXPECT_EQ(volume.numVertexRecords, 3u);
    EXPECT_EQ(volume.vertexRecords, nullptr);
    volume.destroy();
}

TEST(BVmeshCopyAprox, HullsWorldOrSampledLocalPositions) {
    // A triangle over the points, placed 10 along x.
    const auto placed = [](const Points& points) {
        MeshBuilder builder({points, {{0, 1, 2}}});
        builder.worldOffset = {10, 0, 0};
        return builder.mesh();
    };

    // 100 vertices: the hull of the world positions.
    const auto small = placed(spherePoints(100));
    BVmesh volume;
    ASSERT_TRUE(volume.copyAprox(small.get(), BVMESH_EDGES | BVMESH_VERTICES | BVMESH_VOLUME));
    ZYLmesh* hull = volume.getMesh();
    ASSERT_NE(hull, nullptr);
    EXPECT_NE(hull, small.get());
    EXPECT_EQ(volume.getOwnership(), 1);
    EXPECT_EQ(volume.numVertexRecords, hull->numVertices);
    ASSERT_NE(hull->worldVertices, nullptr);
    for (std::uint32_t i = 0; i < hull->numVertices; ++i) {
        EXPECT_EQ(hull->worldVertices[i], hull->vertices[i]);
        EXPECT_NEAR(hull->vertices[i].x, 10.0, 1.0 + 1e-9);
    }
    EXPECT_GT(volume.getVolume(), 3.5);
    EXPECT_NEAR(hull->centre.x, 10.0, 1e-2);
    // A closed hull: every edge has two faces.
    ASSERT_GT(volume.getEdgeCount(), 0u);
    for (std::uint32_t i = 0; i < volume.getEdgeCount(); ++i) {
        EXPECT_NE(volume.getConnectEdges(i).faceA, volume.getConnectEdges(i).faceB);
    }

    // 600 vertices: the hull of the first 512 local positions (stride 1); a far point
    // past them stays out.
    Points points = spherePoints(600);
    points[599] = {0, 0, 5};
    const auto large = placed(points);
    ASSERT_TRUE(volume.copyAprox(large.get(), BVMESH_ISLANDS));
    hull = volume.getMesh();
    ASSERT_NE(hull, nullptr);
    EXPECT_EQ(volume.getNumMeshGroups(), 1u);
    for (std::uint32_t i = 0; i < hull->numVertices; ++i) {
        EXPECT_LE(hull->vertices[i].Length(), 1.0 + 1e-9);
        EXPECT_EQ(hull->worldVertices[i], hull->vertices[i]);
    }

    // The volume's own hull given back as the source: the new hull replaces it and
    // the old one is released (the leak checker watches).
    ZYLmesh* previous = volume.getMesh();
    ASSERT_TRUE(volume.copyAprox(previous, BVMESH_EDGES));
    EXPECT_NE(volume.getMesh(), nullptr);
    EXPECT_EQ(volume.getOwnership(), 1);

    // A mesh that gives no hull or has a bad index leaves the volume empty; the owned
    // hull is released.
    const auto flat = makeMesh({{{0, 0, 0}, {1, 0, 0}}, {{0, 1}}});
    EXPECT_FALSE(volume.copyAprox(flat.get(), BVMESH_EDGES));
    EXPECT_EQ(volume.getMesh(), nullptr);
    EXPECT_EQ(volume.getOwnership(), -1);
    flat->faces[0].vertices[1] = 2;
    EXPECT_FALSE(volume.copyAprox(flat.get(), BVMESH_EDGES));
    volume.destroy();
}

TEST(BVmeshClipper, OwnsItsClipper) {
    const auto cube = makeMesh(meshtest::cube());
    BVmesh volume;
    ASSERT_TRUE(volume.init(cube.get(), BVMESH_EDGES));
    volume.initClipper();
    Clipper* first = volume.getClipper();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->getScale(), 160.0);
    // The active byte of every edge is set by the set-up.
    for (std::uint32_t i = 0; i < volume.getEdgeCount(); ++i) {
        EXPECT_EQ(volume.getConnectEdges(i).active, 1);
    }
    volume.initClipper();
    EXPECT_NE(volume.getClipper(), nullptr);
    // A plane that misses the mesh leaves it untouched.
    EXPECT_EQ(volume.clip(QmtVector3::UNIT_Z, QmtVector3(0, 0, -160), 8), 1);
    EXPECT_EQ(cube->numFaces, 6u);
    volume.destroy();
    EXPECT_EQ(volume.getClipper(), nullptr);
    EXPECT_EQ(volume.getMesh(), cube.get());
}
