#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <random>
#include <vector>

#include "tests/geometry/testMeshes.h"
#include "tests/testSupport.h"

using namespace meshtest;
using zyltest::randomDirection;
using Qmt::QmtVector3;

namespace {

double scaleOf(const Shape& s) {
    const auto mesh = makeDFMesh(s);
    return clipperVolume(mesh.get())->getClipper()->getScale();
}

template <class Mesh>
Faces faceLists(const Mesh& m) {
    Faces out;
    for (std::uint32_t f = 0; f < m.numFaces; ++f) {
        out.push_back(corners(m.faces[f]));
    }
    return out;
}

}  // namespace

TEST(ClipperSetUp, ScaleBringsTheThinnestHalfExtentTo80) {
    EXPECT_EQ(scaleOf(cube()), 160.0);
    EXPECT_EQ(scaleOf(box({}, {4, 2, 1})), 160.0);
    EXPECT_EQ(scaleOf(box({}, {400, 200, 100})), 1.6);
    EXPECT_EQ(scaleOf(cube(160.0)), 1.0);  // half extent 80: not below 80
    // Half extents of 1e-4 and less are scaled as well, unless flat for the mesh's size.
    EXPECT_DOUBLE_EQ(scaleOf(cube(1e-4)), 1.6e6);
    EXPECT_DOUBLE_EQ(scaleOf(box({}, {2, 2, 1e-4})), 1.6e6);
    EXPECT_EQ(scaleOf(box({}, {2, 2, 1e-6})), 1.0);

    // The compact path scales the same way, and a new clipper has scale 1.
    EXPECT_EQ(Clipper().getScale(), 1.0);
    const auto mesh = makeMesh(cube());
    EXPECT_EQ(clipperVolume(mesh.get())->getClipper()->getScale(), 160.0);
}

TEST(ClipperSetUp, WorkingDataIsTakenFromTheMeshWhenTheCutNeedsIt) {
    const DFOptions o{.uvSets = 2, .cornerNormals = true, .uv = [](auto f, const QmtVector3& p, auto set) {
        return QmtVector3(f + p.x + set, p.y, 0);
    }};
    const auto mesh = makeDFMesh(cube(), o);
    mesh->faces[3].alive = 0;
    const auto volume = clipperVolume(mesh.get());
    Clipper& c = *volume->getClipper();
    EXPECT_EQ(mesh->faces[3].alive, 1);  // set-up marks every face

    // Set-up scales the vertices only.
    ASSERT_EQ(c.getVertexCount(), 8u);
    EXPECT_EQ(c.getVertices()[6], QmtVector3(160, 160, 160));
    EXPECT_EQ(c.getFaceCount(), 0u);
    EXPECT_EQ(c.getNormalCount(), 0u);

    // A plane that misses is settled by the classification: nothing else is copied.
    EXPECT_EQ(c.clipDF(mesh.get(), {0, 0, 1}, {0, 0, -1}, CLIP_BUILD_CAPS), 1);
    EXPECT_EQ(c.getFaceCount(), 0u);
    EXPECT_EQ(c.getUVCount(), 0u);

    // A real cut copies the corner normals (unscaled) and UVs, then appends two of each
    // per crossing edge; the faces are copied with their world normals.
    volume->initClipper();
    Clipper& cut = *volume->getClipper();
    ASSERT_EQ(cut.clipDF(mesh.get(), {0, 0, 1}, {0, 0, 80}, 0), 0);
    ASSERT_EQ(cut.getNormalCount(), 6u + 8u);
    EXPECT_EQ(cut.getNormals()[3], QmtVector3(1, 0, 0));
    ASSERT_EQ(cut.getUVCount(), 24u + 8u);
    EXPECT_EQ(cut.getUVs()[5], QmtVector3(1 + 1, 0, 0));  // face 1, corner 1 at (1, 0, 1)
    EXPECT_EQ(cut.getFaceCount(), 6u);
    EXPECT_EQ(cut.getSplitFaceCount(), 6u);
    EXPECT_EQ(cut.getVertexCount(), 12u);
}

TEST(ClipperCut, ResultCodesLeaveUncutMeshesUntouched) {
    const QmtVector3 up(0, 0, 1);
    const auto untouched = [](const ZYL_DFmesh& m) {
        const Shape unit = cube();
        ASSERT_EQ(m.numVertices, 8u);
        ASSERT_EQ(m.numFaces, 6u);
        EXPECT_EQ(Points(m.worldVertices, m.worldVertices + 8), unit.vertices);
        EXPECT_EQ(faceLists(m), unit.faces);
    };
    struct Case {
        QmtVector3 n, p;
        std::int32_t result;
    };
    const Case cases[] = {
        {up, {0, 0, -1}, 1},            // wholly above
        {up, {0, 0, 0}, 1},             // bottom on the plane, the rest above
        {up, {0, 0, 1}, -1},            // top on the plane, the rest below
        {up, {0, 0, 2}, -1},            // wholly below
        {up, {0, 0, 1e-8}, 1},          // within 1e-5 (scaled) of the plane counts as on it
        {-up, {0, 0, 1 - 1e-8}, 1},
    };
    for (const Case& c : cases) {
        const auto mesh = makeDFMesh(cube());
        EXPECT_EQ(cutDF(mesh.get(), c.n, c.p).first, c.result) << c.p.z;
        untouched(*mesh);
    }

    // A flat square lying in the plane: nothing below.
    Shape square;
    square.vertices = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};
    square.faces = {{0, 1, 2, 3}, {3, 2, 1, 0}};
    const auto flat = makeDFMesh(square);
    EXPECT_EQ(cutDF(flat.get(), up, {0, 0, 0}).first, 1);
    EXPECT_EQ(flat->numFaces, 2u);

    // A mesh without vertices, and a clipper that was never set up.
    ZYL_DFmesh empty;
    Clipper bare;
    EXPECT_EQ(bare.clipDF(&empty, up, {}, CLIP_BUILD_CAPS), 1);
    EXPECT_EQ(bare.clipDF(nullptr, up, {}, CLIP_BUILD_CAPS), 1);

    // The compact path gives the same codes.
    const auto compact = makeMesh(cube());
    EXPECT_EQ(clipCompact(compact.get(), up, {0, 0, 1}), std::make_pair(-1, 160.0));
    EXPECT_EQ(compact->numVertices, 8u);
    EXPECT_EQ(compact->worldVertices[6], QmtVector3(1, 1, 1));
    BVmesh noClipper;
    EXPECT_EQ(noClipper.clip(up, {}, CLIP_BUILD_CAPS), 0);
}

TEST(ClipperCut, NormalIsRenormalisedOnlyOutsideTheBand) {
    // Distances of the top vertices (80 above a plane at mid height) show the normal used.
    const auto topDistance = [](const QmtVector3& n, QmtVector3* stored) {
        const auto mesh = makeDFMesh(cube());
        const auto volume = clipperVolume(mesh.get());
        Clipper& c = *volume->getClipper();
        EXPECT_EQ(c.clipDF(mesh.get(), n, QmtVector3(0, 0, 80), CLIP_BUILD_CAPS), 0);
        *stored = c.getPlaneNormal();
        return c.getDistances()[6];
    };
    QmtVector3 stored;
    const double nearUnit = std::sqrt(1.000005);
    EXPECT_EQ(topDistance({0, 0, nearUnit}, &stored), 80.0 * nearUnit);
    EXPECT_EQ(stored, QmtVector3(0, 0, nearUnit));
    EXPECT_EQ(topDistance({0, 0, 2}, &stored), 80.0);
    EXPECT_EQ(stored, QmtVector3(0, 0, 1));
}

TEST(ClipperCut, GoldenCubeCutAtHalfHeight) {
    // Worked by hand from the scan orders: kept vertices 4..7 become 0..3, the cut
    // vertices on the vertical edges (made in edge-table order: 3-7, 4-0, 2-6, 1-5)
    // become 4..7; the top and the four trimmed sides survive, and the cap over the
    // four closing edges comes last, winding about -n.
    const std::vector<QmtVector3> vertices = {{0, 0, 1},   {1, 0, 1}, {1, 1, 1},   {0, 1, 1},
                                              {0, 1, 0.5}, {0, 0, 0.5}, {1, 1, 0.5}, {1, 0, 0.5}};
    const Faces faces = {{0, 1, 2, 3}, {1, 0, 5, 7}, {2, 1, 7, 6}, {3, 2, 6, 4}, {0, 3, 4, 5}, {6, 7, 5, 4}};
    const std::vector<QmtVector3> normals = {{0, 0, 1},  {0, -1, 0}, {1, 0, 0},
                                             {0, 1, 0}, {-1, 0, 0}, {0, 0, -1}};

    // Compact path, before any finish step: world vertices still carry the scale 160.
    {
        const auto mesh = makeMesh(cube());
        const auto volume = clipperVolume(mesh.get());
        const Clipper& c = *volume->getClipper();
        ASSERT_EQ(volume->clip({0, 0, 1}, {0, 0, 80}, CLIP_BUILD_CAPS), 0);
        EXPECT_EQ(c.getEdgeCount(), 12u);
        EXPECT_EQ(c.getEdgeTotal(), 16u);  // four closing edges in the plane
        EXPECT_EQ(c.getSplitFaceCount(), 6u);
        const connect_edge* e = c.getEdges();
        EXPECT_EQ(e[0].faceA, 4u);  // the last edge closed comes first
        EXPECT_EQ(e[0].faceB, 5u);
        EXPECT_EQ(e[11].faceA, 2u);  // the first open edge made comes last
        // The split leaves the closing edges without a face B; the cap builder then
        // writes each one's own index there.
        for (std::uint32_t i = 12; i < 16; ++i) {
            EXPECT_EQ(e[i].faceB, i);
            EXPECT_EQ(c.getDistances()[0], -80.0);
        }
        ASSERT_EQ(mesh->numVertices, 8u);
        for (std::uint32_t i = 0; i < 8; ++i) {
            EXPECT_EQ(mesh->worldVertices[i], vertices[i] * 160.0) << i;
            EXPECT_EQ(mesh->vertices[i], vertices[i] * 160.0) << i;
        }
        EXPECT_EQ(faceLists(*mesh), faces);
        for (std::uint32_t f = 0; f < 6; ++f) {
            EXPECT_EQ(mesh->worldNormals[f], normals[f]);
            EXPECT_EQ(mesh->normals[f], normals[f]);
            EXPECT_EQ(mesh->faces[f].flags & FACE_STRADDLING, 0);
            EXPECT_EQ(mesh->faces[f].flags & FACE_CAP, f == 5 ? FACE_CAP : 0);
        }
        EXPECT_EQ(mesh->worldCentre, QmtVector3(80, 80, 120));
    }

    // Detailed path through the volume's finish step.
    {
        const auto mesh = makeDFMesh(cube());
        const auto [result, scale] = cutDF(mesh.get(), {0, 0, 1}, {0, 0, 0.5});
        ASSERT_EQ(result, 0);
        EXPECT_EQ(scale, 160.0);
        ASSERT_EQ(mesh->numVertices, 8u);
        for (std::uint32_t i = 0; i < 8; ++i) {
            EXPECT_EQ(mesh->worldVertices[i], vertices[i]) << i;
            EXPECT_EQ(mesh->vertices[i], vertices[i]) << i;
        }
        EXPECT_EQ(faceLists(*mesh), faces);
        for (std::uint32_t f = 0; f < 6; ++f) {
            EXPECT_EQ(mesh->worldNormals[f], normals[f]);
        }
        EXPECT_EQ(mesh->worldCentre, QmtVector3(0.5, 0.5, 0.75));
    }
}

TEST(ClipperCut, DiagonalCutThroughTheCentre) {
    const QmtVector3 n(1, 1, 1);
    const auto mesh = makeDFMesh(cube());
    ASSERT_EQ(cutDF(mesh.get(), n, {0.5, 0.5, 0.5}).first, 0);
    EXPECT_EQ(mesh->numVertices, 10u);
    std::vector<std::uint32_t> counts;
    for (std::uint32_t f = 0; f < mesh->numFaces; ++f) {
        counts.push_back(mesh->faces[f].numVertices);
    }
    EXPECT_EQ(counts, (std::vector<std::uint32_t>{3, 5, 3, 5, 5, 3, 6}));  // the hexagonal cap last
    expectValidIndices(*mesh);
    QmtVector3 u = n;
    u.Unitize(Qmt::QmtMatrix3::EPSILON);
    for (std::uint32_t i = 0; i < mesh->numVertices; ++i) {
        EXPECT_GT(u.Dot(mesh->worldVertices[i] - QmtVector3(0.5, 0.5, 0.5)), -1e-12);
    }

    // The compact path makes the same faces.
    const auto compact = makeMesh(cube());
    ASSERT_EQ(clipCompact(compact.get(), n, {0.5, 0.5, 0.5}).first, 0);
    EXPECT_EQ(faceLists(*compact), faceLists(*mesh));
}

TEST(ClipperCut, PlaneThroughVerticesMakesNoCutVertexThere) {
    // x + y = 1 runs through the vertical edges 1-5 and 3-7: the front and left faces
    // only touch the plane from below and vanish. An edge from an on-plane vertex down
    // leaves nothing but that vertex: no cut vertex is made at its position, and the
    // trimmed faces and the cap close through the on-plane vertices themselves; 1-5 and
    // 3-7 bound the opening.
    const QmtVector3 n(1, 1, 0);
    const QmtVector3 p(1, 0, 0);
    const auto detailed = makeDFMesh(cube());
    const auto compact = makeMesh(cube());
    const auto volume = clipperVolume(compact.get());
    const Clipper& c = *volume->getClipper();
    ASSERT_EQ(volume->clip(n, p * 160.0, CLIP_BUILD_CAPS), 0);

    EXPECT_EQ(c.getEdgeTotal() - c.getEdgeCount(), 4u);  // 2 edges in the plane, 2 closing
    // No active edge keeps a vertex the cut removed.
    for (std::uint32_t i = 0; i < c.getEdgeCount(); ++i) {
        const connect_edge& e = c.getEdges()[i];
        if (e.active) {
            EXPECT_TRUE(e.v0 >= 8 || c.getKeepFlags()[e.v0]) << i;
            EXPECT_TRUE(e.v1 >= 8 || c.getKeepFlags()[e.v1]) << i;
        }
    }
    ASSERT_EQ(compact->numVertices, 6u);  // the kept vertices, no cut vertex
    expectValidIndices(*compact);
    EXPECT_TRUE(closed(*compact));
    std::vector<std::uint32_t> counts;
    for (std::uint32_t f = 0; f < compact->numFaces; ++f) {
        counts.push_back(compact->faces[f].numVertices);
    }
    EXPECT_EQ(counts, (std::vector<std::uint32_t>{3, 3, 4, 4, 4}));  // the rectangular cap last
    const ZYLface& cap = compact->faces[4];
    EXPECT_EQ(cap.flags & FACE_CAP, FACE_CAP);
    const QmtVector3 onPlane[] = {{1, 0, 0}, {0, 1, 0}, {1, 0, 1}, {0, 1, 1}};
    for (std::uint32_t k = 0; k < cap.numVertices; ++k) {
        bool matches = false;
        for (const QmtVector3& q : onPlane) {
            matches = matches || compact->worldVertices[cap.vertices[k]] == q * 160.0;
        }
        EXPECT_TRUE(matches) << k;
    }

    ASSERT_EQ(cutDF(detailed.get(), n, p).first, 0);
    EXPECT_EQ(faceLists(*detailed), faceLists(*compact));
}

TEST(ClipperCut, NearbyCutPointsShareOneVertex) {
    // x + y + z = 1 + 1e-6 passes just past vertices 1, 3 and 4 (6e-5 below it in the
    // clipper's units), each with two neighbours above: the two edges from each of them
    // are cut within the merge distance of one another and share one cut vertex.
    const auto mesh = makeDFMesh(cube());
    ASSERT_EQ(cutDF(mesh.get(), {1, 1, 1}, {1.0 + 1e-6, 0, 0}).first, 0);
    ASSERT_EQ(mesh->numVertices, 7u);  // 2, 5, 6, 7 kept, then three cut vertices
    const QmtVector3 near[] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
    for (std::uint32_t i = 0; i < 3; ++i) {
        const QmtVector3& v = mesh->worldVertices[4 + i];
        EXPECT_LT(std::min({(v - near[0]).Length(), (v - near[1]).Length(), (v - near[2]).Length()}), 1e-5) << i;
    }
    EXPECT_EQ(mesh->numFaces, 7u);  // six trimmed faces and the triangular cap
    expectValidIndices(*mesh);
    EXPECT_TRUE(closed(*mesh));

    // Through 2, 5 and 7 themselves, the corner keeps those vertices: no cut vertex.
    const auto corner = makeDFMesh(cube());
    ASSERT_EQ(cutDF(corner.get(), {1, 1, 1}, {1, 1, 0}).first, 0);
    ASSERT_EQ(corner->numVertices, 4u);
    EXPECT_EQ(corner->worldVertices[0], QmtVector3(1, 1, 0));
    EXPECT_EQ(corner->worldVertices[1], QmtVector3(1, 0, 1));
    EXPECT_EQ(corner->worldVertices[3], QmtVector3(0, 1, 1));
    EXPECT_EQ(corner->numFaces, 4u);  // three trimmed faces and the triangular cap
    expectValidIndices(*corner);
    EXPECT_TRUE(closed(*corner));
}

TEST(ClipperCut, CornerAttributesFollowTheirOwnFace) {
    // Each face has its own UVs (two sets) and corner normal: a cut corner must take
    // the values of the face it belongs to, not those of its neighbour across the edge.
    const DFOptions o{.uvSets = 2, .cornerNormals = true, .uv = [](auto f, const QmtVector3& p, auto set) {
        return QmtVector3(10.0 * f + p.x + 2.0 * p.y + 4.0 * p.z, 100.0 * set + f, 0);
    }};
    const auto mesh = makeDFMesh(cube(), o);
    ASSERT_EQ(cutDF(mesh.get(), {0, 0, 1}, {0, 0, 0.5}).first, 0);
    ASSERT_EQ(mesh->numFaces, 6u);  // five kept faces, then the cap
    expectValidIndices(*mesh);
    const std::uint32_t origin[] = {1, 2, 3, 4, 5};  // the source face of each kept face
    for (std::uint32_t f = 0; f < 5; ++f) {
        const ZYL_DFface& face = mesh->faces[f];
        ASSERT_EQ(face.numUVSets, 2);
        for (std::uint32_t k = 0; k < face.numVertices; ++k) {
            const QmtVector3& p = mesh->worldVertices[face.vertices[k]];
            EXPECT_EQ(mesh->uvs[face.uvs[k]], o.uv(origin[f], p, 0)) << f << ' ' << k;
            EXPECT_EQ(mesh->uvSets[0][face.uvSets[0][k]], o.uv(origin[f], p, 1)) << f << ' ' << k;
            EXPECT_EQ(mesh->cornerNormals[face.normals[k]], mesh->worldNormals[f]) << f << ' ' << k;
        }
    }
    // The cap's corners share its own normal, -n, and reuse UV entries a side face
    // made at the same cut vertex.
    const ZYL_DFface& cap = mesh->faces[5];
    EXPECT_EQ(mesh->worldNormals[5], QmtVector3(0, 0, -1));
    for (std::uint32_t k = 0; k < cap.numVertices; ++k) {
        const QmtVector3& p = mesh->worldVertices[cap.vertices[k]];
        EXPECT_EQ(cap.normals[k], cap.normals[0]);
        EXPECT_EQ(mesh->cornerNormals[cap.normals[k]], QmtVector3(0, 0, -1));
        bool fromASide = false;
        for (std::uint32_t side = 2; side < 6; ++side) {
            fromASide = fromASide || mesh->uvs[cap.uvs[k]] == o.uv(side, p, 0);
        }
        EXPECT_TRUE(fromASide) << k;
    }
    // Compaction: only the used entries remain (4 top corners + 4 per side face).
    EXPECT_EQ(mesh->numUVs, 20u);
    // The top's, per side its own and two new, and the cap's.
    EXPECT_EQ(mesh->numCornerNormals, 1u + 4u * 3u + 1u);
}

TEST(ClipperCut, CombFacesSplitIntoPiecesBeyondTheSetUpCapacities) {
    // A flat double-sided comb of T teeth cut across the teeth: each face falls apart
    // into T quads, which needs more vertices, edges, normals and UVs than the mesh's
    // own counts suggest.
    constexpr std::uint32_t T = 60;
    Shape comb;
    comb.vertices = {{0, 0, 0}, {2.0 * T - 1, 0, 0}};
    for (std::uint32_t i = T; i-- > 0;) {
        const double right = 2.0 * i + 1;
        const double left = 2.0 * i;
        comb.vertices.insert(comb.vertices.end(), {{right, 1, 0}, {right, 3, 0}, {left, 3, 0}, {left, 1, 0}});
    }
    std::vector<std::uint32_t> front, back;
    for (std::uint32_t i = 0; i < comb.vertices.size(); ++i) {
        front.push_back(i);
        back.push_back(static_cast<std::uint32_t>(comb.vertices.size()) - 1 - i);
    }
    comb.faces = {front, back};
    const DFOptions o{.uvSets = 1, .cornerNormals = true, .uv = [](auto, const QmtVector3& p, auto) {
        return QmtVector3(p.x, p.y, 0);
    }};
    const auto mesh = makeDFMesh(comb, o);
    // The corner normal counts stay tiny while the cut makes 4 per crossing edge.
    ASSERT_EQ(cutDF(mesh.get(), {0, 1, 0}, {0, 2, 0}).first, 0);

    EXPECT_EQ(mesh->numVertices, 4 * T);
    ASSERT_EQ(mesh->numFaces, 2 * T);
    expectValidIndices(*mesh);
    std::uint32_t up = 0;
    for (std::uint32_t f = 0; f < mesh->numFaces; ++f) {
        const ZYL_DFface& face = mesh->faces[f];
        ASSERT_EQ(face.numVertices, 4u) << f;
        double minX = 1e9;
        double maxX = -1e9;
        for (std::uint32_t k = 0; k < 4; ++k) {
            const QmtVector3& p = mesh->worldVertices[face.vertices[k]];
            EXPECT_TRUE(p.y == 2.0 || p.y == 3.0);
            EXPECT_EQ(mesh->uvs[face.uvs[k]], QmtVector3(p.x, p.y, 0));
            minX = std::min(minX, p.x);
            maxX = std::max(maxX, p.x);
        }
        EXPECT_EQ(maxX - minX, 1.0) << f;  // one tooth per piece
        // Every piece keeps its source face's normal and winds around it.
        const QmtVector3* V = mesh->worldVertices;
        const QmtVector3 winding = (V[face.vertices[1]] - V[face.vertices[0]])
                                       .Cross(V[face.vertices[2]] - V[face.vertices[1]]);
        EXPECT_GT(winding.Dot(mesh->worldNormals[f]), 0.0) << f;
        up += mesh->worldNormals[f].z > 0.0 ? 1u : 0u;
    }
    EXPECT_EQ(up, T);
}

TEST(ClipperCut, RandomPlanesKeepEveryIndexValid) {
    std::mt19937 random(12345);
    std::uniform_real_distribution<double> unit(-1.0, 1.0);

    const DFOptions o{.uvSets = 2, .cornerNormals = true, .uv = [](auto f, const QmtVector3& p, auto set) {
        return QmtVector3(p.x + f, p.y + set, 0);
    }};

    // Open edges of the kept part lie on the plane (the opening; slivers dropped right
    // at the plane may widen it slightly), and no edge is shared by more than two faces.
    const auto checkOpening = [](const auto* faces, std::uint32_t numFaces, const QmtVector3* vertices,
                                 double divisor, const QmtVector3& n, const QmtVector3& p) {
        std::map<std::pair<std::uint32_t, std::uint32_t>, int> uses;
        for (std::uint32_t f = 0; f < numFaces; ++f) {
            const auto& face = faces[f];
            for (std::uint32_t k = 0; k < face.numVertices; ++k) {
                const std::uint32_t a = face.vertices[k];
                const std::uint32_t b = face.vertices[(k + 1) % face.numVertices];
                if (a != b) {
                    ++uses[{std::min(a, b), std::max(a, b)}];
                }
            }
        }
        for (const auto& [edge, count] : uses) {
            EXPECT_LE(count, 2);
            if (count == 1) {
                EXPECT_NEAR(n.Dot(vertices[edge.first] / divisor - p), 0.0, 1e-3);
                EXPECT_NEAR(n.Dot(vertices[edge.second] / divisor - p), 0.0, 1e-3);
            }
        }
    };

    // The detailed path through its volume on a 100-gon prism and a convex 502-vertex
    // sphere; the compact path (without the caps flag) on a 32-gon prism, whose cut caps
    // outgrow a ZYLface, and on the sphere.
    const Shape shapes[] = {prism(100, 1.0, 0.5), prism(32, 1.0, 0.5), sphere(20, 25, 1.0)};
    int cuts = 0;
    for (const Shape& shape : shapes) {
        const bool compactToo = shape.faces.size() != 102;
        for (int i = 0; i < 200; ++i) {
            const QmtVector3 n = randomDirection(random);
            const QmtVector3 p(0.4 * unit(random), 0.4 * unit(random), 0.25 + 0.2 * unit(random));

            SCOPED_TRACE(testing::Message() << "shape " << (&shape - shapes) << " plane " << i);
            const auto detailed = makeDFMesh(shape, o);
            const std::int32_t result = cutDF(detailed.get(), n, p).first;
            ASSERT_NE(result, -1);
            expectValidIndices(*detailed);
            if (result == 0) {
                ++cuts;
                for (std::uint32_t v = 0; v < detailed->numVertices; ++v) {
                    ASSERT_GT(n.Dot(detailed->worldVertices[v] - p), -1e-9);
                }
                checkOpening(detailed->faces, detailed->numFaces, detailed->worldVertices, 1.0, n, p);
            }
            if (!compactToo) {
                continue;
            }

            const auto compact = makeMesh(shape, true);
            const auto [compactResult, s] = clipCompact(compact.get(), n, p, 0);
            ASSERT_EQ(compactResult, result);
            expectValidIndices(*compact);
            if (result == 0) {
                SCOPED_TRACE("compact");
                checkOpening(compact->faces, compact->numFaces, compact->worldVertices, s, n, p);
            }
        }
    }
    EXPECT_GT(cuts, 400);  // most planes through the middle do cut
}
