#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <numeric>
#include <utility>
#include <set>
#include <vector>

#include "tests/geometry/testMeshes.h"
#include "tests/testSupport.h"

using namespace meshtest;
using Qmt::QmtMatrix3;
using Qmt::QmtVector3;
using zyltest::ROT_Z90;

TEST(ClipperWriteBack, EveryFaceTakesTheLowByteOfTheFirstPieceNumber) {
    const auto detailed = makeDFMesh(cube());
    for (std::uint32_t f = 0; f < 6; ++f) {
        detailed->faces[f].piece = f == 0 ? 300 : 7;
    }
    ASSERT_EQ(cutDF(detailed.get(), {0, 0, 1}, {0, 0, 0.5}).first, 0);
    ASSERT_EQ(detailed->numFaces, 6u);  // the cap too
    for (std::uint32_t f = 0; f < 6; ++f) {
        EXPECT_EQ(detailed->faces[f].piece, 44) << f;
    }

    const auto compact = makeMesh(cube());
    for (std::uint32_t f = 0; f < 6; ++f) {
        compact->faces[f].island = f == 0 ? 300 : 7;
    }
    ASSERT_EQ(clipCompact(compact.get(), {0, 0, 1}, {0, 0, 0.5}), std::make_pair(0, 160.0));
    ASSERT_EQ(compact->numFaces, 6u);
    for (std::uint32_t f = 0; f < 6; ++f) {
        EXPECT_EQ(compact->faces[f].island, 44) << f;
    }
}

TEST(ClipperWriteBack, SliversAreDropped) {
    // The plane passes 1e-3 (scaled) below the top: the side faces keep strips of that
    // height, every fan triangle of which is degenerate. The top and the cap remain.
    const auto mesh = makeDFMesh(cube());
    ASSERT_EQ(cutDF(mesh.get(), {0, 0, 1}, {0, 0, 1.0 - 6.25e-6}).first, 0);
    EXPECT_EQ(mesh->numVertices, 8u);
    ASSERT_EQ(mesh->numFaces, 2u);
    EXPECT_EQ(corners(mesh->faces[0]), (Indices{0, 1, 2, 3}));
    EXPECT_EQ(mesh->worldNormals[0], QmtVector3(0, 0, 1));
    EXPECT_EQ(mesh->faces[1].flags & FACE_CAP, FACE_CAP);
    EXPECT_EQ(mesh->worldNormals[1], QmtVector3(0, 0, -1));
}

TEST(ClipperWriteBack, ADroppedSliverPutsItsCornersIntoTheFaceAlongIt) {
    // A zero-area triangle lies along the top's front edge 4-5, its middle corner 8 in
    // the front face. The cut below the top drops it: the top takes corner 8 between 4
    // and 5, so that each edge keeps its reverse, with its UVs interpolated along 4-5.
    Shape s = cube();
    s.vertices.push_back({0.5, 0, 1});
    s.faces[2] = {0, 1, 5, 8, 4};
    s.faces.push_back({5, 4, 8});
    const DFOptions o{.uvSets = 2, .cornerNormals = true, .uv = [](auto f, const QmtVector3& p, auto set) {
        return QmtVector3(10.0 * f + p.x + 2.0 * p.y + 4.0 * p.z, 100.0 * set + f, 0);
    }};
    const auto detailed = makeDFMesh(s, o);
    const auto compact = makeMesh(s, true);
    ASSERT_EQ(cutDF(detailed.get(), {0, 0, 1}, {0, 0, 0.5}).first, 0);
    ASSERT_EQ(clipCompact(compact.get(), {0, 0, 1}, {0, 0, 0.5}).first, 0);
    expectValidIndices(*detailed);
    expectValidIndices(*compact);
    EXPECT_TRUE(closed(*detailed));
    EXPECT_TRUE(closed(*compact));
    EXPECT_EQ(compact->faces[0].numVertices, 5u);  // the top, with the corner between 4 and 5
    ASSERT_EQ(detailed->numFaces, 6u);             // the sliver is gone from both
    EXPECT_EQ(compact->numFaces, 6u);
    const ZYL_DFface& top = detailed->faces[0];
    ASSERT_EQ(top.numVertices, 5u);
    for (std::uint32_t k = 0; k < top.numVertices; ++k) {
        const QmtVector3& p = detailed->worldVertices[top.vertices[k]];
        EXPECT_EQ(p.z, 1.0);
        EXPECT_EQ(detailed->uvs[top.uvs[k]], o.uv(1, p, 0)) << k;
        EXPECT_EQ(detailed->uvSets[0][top.uvSets[0][k]], o.uv(1, p, 1)) << k;
        EXPECT_EQ(detailed->cornerNormals[top.normals[k]], QmtVector3(0, 0, 1)) << k;
    }
}

TEST(ClipperWriteBack, ASliverWiderThanTheMergeDistanceIsWeldedAcrossItsShortEdges) {
    // A thin cell, cut 1.9e-6 beside its edge 4-5: the cap is a quad 1 long and 1.9e-6
    // wide (about 1e-2 in the clipper's scale of 5,500), dropped as a line for its
    // length. Its short edges, too long to merge, are welded, and the cell stays closed.
    Shape s;
    s.vertices = {{-0.3450615469476454, -0.18717881676008749, 0.49999999999999994},
                  {-0.3450615469476454, -0.18717881676008749, -0.49999999999999994},
                  {-0.35788865924706292, -0.16481217205457024, 0.49999999999999994},
                  {-0.35788865924706276, -0.16481217205457022, -0.49999999999999989},
                  {-0.34026946243801814, -0.14594667566604824, -0.49999999999999989},
                  {-0.34026946243801814, -0.14594667566604824, 0.49999999999999994},
                  {-0.31421266101947171, -0.15825729767779828, -0.49999999999999994},
                  {-0.31421266101947171, -0.15825729767779828, 0.49999999999999994}};
    s.faces = {{3, 4, 6, 1}, {7, 5, 2, 0}, {1, 0, 2, 3}, {0, 1, 6, 7}, {2, 5, 4, 3}, {4, 5, 7, 6}};
    const auto mesh = makeDFMesh(s);
    const auto [result, scale] = cutDF(mesh.get(), {0.00098056574215937831, -0.054614779559977344, 0},
                                       {-0.34362464746178734, -0.14600754412802244, 0});
    ASSERT_EQ(result, 0);
    EXPECT_GT(scale, 5000.0);
    expectValidIndices(*mesh);
    EXPECT_TRUE(closed(*mesh));
}

TEST(ClipperWriteBack, UnusedAttributeTablesKeepOneZeroEntry) {
    // Only a loose vertex survives: no face, so no UV or corner normal is used.
    Shape s;
    s.vertices = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
    s.faces = {{0, 1, 2}, {0, 2, 1}};
    const DFOptions o{.uvSets = 1, .cornerNormals = true, .uv = [](auto, const QmtVector3& p, auto) {
        return QmtVector3(p.x + 1, p.y + 1, 0);
    }};
    const auto detailed = makeDFMesh(s, o);
    ASSERT_EQ(cutDF(detailed.get(), {0, 0, 1}, {0, 0, 0.5}).first, 0);
    EXPECT_EQ(detailed->numFaces, 0u);
    EXPECT_EQ(detailed->numVertices, 1u);
    EXPECT_EQ(detailed->worldVertices[0], QmtVector3(0, 0, 1));
    ASSERT_EQ(detailed->numUVs, 1u);
    EXPECT_EQ(detailed->uvs[0], QmtVector3::ZERO);
    ASSERT_EQ(detailed->numCornerNormals, 1u);
    EXPECT_EQ(detailed->cornerNormals[0], QmtVector3::ZERO);

    const auto compact = makeMesh(s, true);
    ASSERT_EQ(clipCompact(compact.get(), {0, 0, 1}, {0, 0, 0.5}).first, 0);
    EXPECT_EQ(compact->numFaces, 0u);
    ASSERT_EQ(compact->numUVs, 1u);
    EXPECT_EQ(compact->uvs[0], QmtVector3::ZERO);
}

TEST(ClipperWriteBack, LocalVerticesFollowThePlacementAfterTheFinish) {
    // A placed cube: the translation must come out of the local vertices exactly once,
    // although the world vertices still carry the clipper's scale when they are written.
    const QmtMatrix3 R = ROT_Z90;
    const QmtVector3 T(5, -3, 2);
    const QmtVector3 S(2, 1, 0.5);
    const auto mesh = makeDFMesh(cube());
    mesh->rotation = R;
    mesh->translation = T;
    mesh->scale = S;
    for (std::uint32_t i = 0; i < mesh->numVertices; ++i) {
        const QmtVector3& p = mesh->vertices[i];
        mesh->worldVertices[i] = R * QmtVector3(S.x * p.x, S.y * p.y, S.z * p.z) + T;
    }
    for (std::uint32_t f = 0; f < mesh->numFaces; ++f) {
        mesh->worldNormals[f] = R * mesh->normals[f];
    }
    // The world box spans z from 2 to 2.5: cut at 2.2, keeping the top.
    const auto [result, scale] = cutDF(mesh.get(), {0, 0, 1}, {0, 0, 2.2});
    ASSERT_EQ(result, 0);
    EXPECT_NE(scale, 1.0);
    ASSERT_EQ(mesh->numVertices, 8u);
    const QmtMatrix3 Rt = R.Transpose();
    for (std::uint32_t i = 0; i < mesh->numVertices; ++i) {
        const QmtVector3 back = Rt * (mesh->worldVertices[i] - T);
        EXPECT_NEAR(mesh->vertices[i].x, back.x / S.x, 1e-12) << i;
        EXPECT_NEAR(mesh->vertices[i].y, back.y / S.y, 1e-12) << i;
        EXPECT_NEAR(mesh->vertices[i].z, back.z / S.z, 1e-12) << i;
    }
    for (std::uint32_t f = 0; f < mesh->numFaces; ++f) {
        const QmtVector3 local = Rt * mesh->worldNormals[f];
        EXPECT_NEAR((mesh->normals[f] - local).Length(), 0.0, 1e-12) << f;
    }
}

TEST(ClipperWriteBack, WithoutTheCapsFlagTheCutFacesAreStillWritten) {
    const auto capped = makeDFMesh(cube());
    const auto plain = makeDFMesh(cube());
    ASSERT_EQ(cutDF(capped.get(), {0, 0, 1}, {0, 0, 0.5}, CLIP_BUILD_CAPS).first, 0);
    ASSERT_EQ(cutDF(plain.get(), {0, 0, 1}, {0, 0, 0.5}, 0).first, 0);
    expectValidIndices(*plain);
    Faces cappedFaces;
    for (std::uint32_t f = 0; f < capped->numFaces; ++f) {
        if (!(capped->faces[f].flags & FACE_CAP)) {
            cappedFaces.push_back(corners(capped->faces[f]));
        }
    }
    Faces plainFaces;
    for (std::uint32_t f = 0; f < plain->numFaces; ++f) {
        EXPECT_EQ(plain->faces[f].flags & FACE_CAP, 0) << f;
        plainFaces.push_back(corners(plain->faces[f]));
    }
    EXPECT_EQ(plainFaces.size(), 5u);
    EXPECT_EQ(plainFaces, cappedFaces);
}

TEST(ClipperWriteBack, FacesTurnToAgreeWithTheirNormals) {
    // Face 2's stored normal points inwards: it is written reversed, entry k taking
    // entry count - 1 - k; the others keep their winding.
    const auto detailed = makeDFMesh(cube());
    detailed->worldNormals[2] = QmtVector3(0, 1, 0);
    ASSERT_EQ(cutDF(detailed.get(), {0, 0, 1}, {0, 0, 0.5}).first, 0);
    ASSERT_EQ(detailed->numFaces, 6u);
    EXPECT_EQ(corners(detailed->faces[1]), (Indices{7, 5, 0, 1}));
    EXPECT_EQ(detailed->worldNormals[1], QmtVector3(0, 1, 0));
    EXPECT_EQ(corners(detailed->faces[2]), (Indices{2, 1, 7, 6}));

    const auto compact = makeMesh(cube());
    compact->worldNormals[3] = QmtVector3(-1, 0, 0);
    ASSERT_EQ(clipCompact(compact.get(), {0, 0, 1}, {0, 0, 0.5}), std::make_pair(0, 160.0));
    ASSERT_EQ(compact->numFaces, 6u);
    EXPECT_EQ(corners(compact->faces[2]), (Indices{6, 7, 1, 2}));
    EXPECT_EQ(corners(compact->faces[1]), (Indices{1, 0, 5, 7}));
}

TEST(ClipperWriteBack, NonConvexFacesKeepTheirWindingWhenAReflexCornerDominates) {
    // The top of this prism winds counter-clockwise about +z, but seen from its corner 0
    // the widest fan triangle (0, I75, I15) runs clockwise: a short arc of many corners
    // outside, one long chord back inside. The face must not be turned over.
    std::vector<std::pair<double, double>> outline = {{0, 0}};
    for (int i = 0; i <= 8; ++i) {
        const double a = (10.0 + 8.75 * i) * std::numbers::pi / 180.0;
        outline.emplace_back(10.0 * std::cos(a), 10.0 * std::sin(a));
    }
    for (const double degrees : {75.0, 15.0}) {
        const double a = degrees * std::numbers::pi / 180.0;
        outline.emplace_back(8.0 * std::cos(a), 8.0 * std::sin(a));
    }
    const auto n = static_cast<std::uint32_t>(outline.size());
    const Shape fan = extruded(outline, 1.0);
    const QmtVector3 up(0, 0, 1);
    Indices top(n);
    std::iota(top.begin(), top.end(), 0u);  // the kept top corners come first, in their order
    // Signed area of the face about +z.
    const auto areaAboutUp = [](const auto& face, const QmtVector3* V) {
        double area = 0.0;
        for (std::uint32_t k = 0; k < face.numVertices; ++k) {
            area += 0.5 * V[face.vertices[k]].Cross(V[face.vertices[(k + 1) % face.numVertices]]).z;
        }
        return area;
    };
    const auto detailed = makeDFMesh(fan);
    const double area = areaAboutUp(detailed->faces[n + 1], detailed->worldVertices);  // the top
    ASSERT_GT(area, 0.0);

    ASSERT_EQ(cutDF(detailed.get(), up, {0, 0, 0.5}).first, 0);
    expectValidIndices(*detailed);
    ASSERT_GT(detailed->numFaces, n);
    EXPECT_EQ(corners(detailed->faces[n]), top);
    EXPECT_EQ(detailed->worldNormals[n], up);
    EXPECT_NEAR(areaAboutUp(detailed->faces[n], detailed->worldVertices), area, 1e-12);

    const auto compact = makeMesh(fan);
    const auto [result, scale] = clipCompact(compact.get(), up, {0, 0, 0.5});
    ASSERT_EQ(result, 0);
    expectValidIndices(*compact);
    ASSERT_GT(compact->numFaces, n);
    EXPECT_EQ(corners(compact->faces[n]), top);
    EXPECT_EQ(compact->worldNormals[n], up);
    EXPECT_NEAR(areaAboutUp(compact->faces[n], compact->worldVertices), area * scale * scale, 1e-9);
}

TEST(ClipperWriteBack, LongCompactFacesAreFanSplitInPlace) {
    // Cutting one corner off a 32-gon prism leaves 33-corner caps, which a ZYLface cannot
    // hold: each is replaced at its position by fan pieces of 17 and 18 corners.
    const auto mesh = makeMesh(prism(32, 1.0, 0.5));
    for (std::uint32_t f = 0; f < mesh->numFaces; ++f) {
        mesh->faces[f].island = 3;
        mesh->faces[f].flags = f >= 32 ? FACE_CUT : 0;
    }
    const QmtVector3 capNormals[] = {mesh->worldNormals[32], mesh->worldNormals[33]};
    ASSERT_EQ(clipCompact(mesh.get(), {-1, 0, 0}, {0.99, 0, 0}, 0).first, 0);
    expectValidIndices(*mesh);
    ASSERT_EQ(mesh->numFaces, 36u);
    EXPECT_EQ(mesh->numVertices, 66u);
    for (std::uint32_t f = 0; f < 32; ++f) {
        EXPECT_EQ(mesh->faces[f].numVertices, 4u) << f;
    }
    for (std::uint32_t cap = 0; cap < 2; ++cap) {
        const ZYLface& a = mesh->faces[32 + 2 * cap];
        const ZYLface& b = mesh->faces[33 + 2 * cap];
        EXPECT_EQ(a.numVertices, 17u);
        EXPECT_EQ(b.numVertices, 18u);
        EXPECT_EQ(a.vertices[0], b.vertices[0]);                 // the shared apex
        EXPECT_EQ(a.vertices[16], b.vertices[1]);                // consecutive pieces share a corner
        std::set<std::uint32_t> distinct(a.vertices, a.vertices + a.numVertices);
        distinct.insert(b.vertices, b.vertices + b.numVertices);
        EXPECT_EQ(distinct.size(), 33u);
        for (const ZYLface* piece : {&a, &b}) {
            EXPECT_EQ(piece->numEdges, 0u);
            EXPECT_EQ(piece->island, 3);
            EXPECT_EQ(piece->flags, FACE_CUT);
            const std::uint32_t index = static_cast<std::uint32_t>(piece - mesh->faces);
            EXPECT_EQ(mesh->worldNormals[index], capNormals[cap]);
            const QmtVector3* V = mesh->worldVertices;
            const QmtVector3 winding = (V[piece->vertices[1]] - V[piece->vertices[0]])
                                           .Cross(V[piece->vertices[2]] - V[piece->vertices[1]]);
            EXPECT_GT(winding.Dot(capNormals[cap]), 0.0);
        }
    }
}

TEST(FaceConversions, CompactAndWorkingFacesConvertBothWays) {
    ZYLface face;
    face.numVertices = 5;
    face.numEdges = 3;
    for (std::uint32_t k = 0; k < 5; ++k) {
        face.vertices[k] = 10 + k;
        face.uvs[k] = 20 + k;
    }
    for (std::uint32_t k = 0; k < 3; ++k) {
        face.edges[k] = 30 + k;
    }
    face.flags = FACE_CUT | FACE_CAP;
    face.island = 300;
    face.extra = 0x1FF;

    ZYL_DFface working;
    faceToWorkingFace(face, working);
    ASSERT_EQ(working.capacity, 5u);
    EXPECT_EQ(working.numVertices, 5u);
    EXPECT_EQ(working.numEdges, 3u);
    EXPECT_EQ(working.numUVSets, 1);
    EXPECT_EQ(working.flags, FACE_CUT | FACE_CAP);
    EXPECT_EQ(working.piece, 300);
    EXPECT_EQ(working.material, 0xFF);
    for (std::uint32_t k = 0; k < 5; ++k) {
        EXPECT_EQ(working.vertices[k], 10 + k);
        EXPECT_EQ(working.uvs[k], 20 + k);
        EXPECT_EQ(working.normals[k], ABSENT_INDEX);  // a ZYLface has no corner normals
    }
    EXPECT_EQ(working.edges[2], 32u);

    ZYLface same;
    workingFaceToFace(working, same);
    EXPECT_EQ(corners(same), corners(face));
    for (std::uint32_t k = 0; k < 5; ++k) {
        EXPECT_EQ(same.uvs[k], face.uvs[k]);
    }
    EXPECT_EQ(same.numEdges, 3u);
    EXPECT_EQ(same.edges[1], 31u);
    EXPECT_EQ(same.island, 300);
    EXPECT_EQ(same.extra, 0xFF);
    EXPECT_EQ(same.flags, FACE_CUT | FACE_CAP);

    // Reversal maps entry k to entry count - 1 - k, for corners and edges alike.
    ZYLface reversed;
    workingFaceToFaceReversed(working, reversed);
    ZYLface direct;
    reverseFace(face, direct);
    ZYLface inPlace = face;
    reverseFace(inPlace, inPlace);
    for (const ZYLface* r : {&reversed, &direct, &inPlace}) {
        ASSERT_EQ(r->numVertices, 5u);
        ASSERT_EQ(r->numEdges, 3u);
        for (std::uint32_t k = 0; k < 5; ++k) {
            EXPECT_EQ(r->vertices[k], face.vertices[4 - k]);
            EXPECT_EQ(r->uvs[k], face.uvs[4 - k]);
        }
        for (std::uint32_t k = 0; k < 3; ++k) {
            EXPECT_EQ(r->edges[k], face.edges[2 - k]);
        }
        EXPECT_EQ(r->island, 300);
        EXPECT_EQ(r->flags, FACE_CUT | FACE_CAP);
    }

    // Working face to working face, corner normals and UV sets included.
    ZYL_DFface source(6, 3);
    source.numVertices = 4;
    source.numEdges = 6;
    for (std::uint32_t k = 0; k < 6; ++k) {
        source.edges[k] = 100 + k;
    }
    for (std::uint32_t k = 0; k < 4; ++k) {
        source.vertices[k] = k;
        source.normals[k] = 40 + k;
        source.uvs[k] = 50 + k;
        source.uvSets[0][k] = 60 + k;
        source.uvSets[1][k] = 70 + k;
    }
    source.piece = 9;
    source.material = 4;
    ZYL_DFface target;
    reverseWorkingFace(source, target);
    ASSERT_EQ(target.capacity, 6u);
    EXPECT_EQ(target.numUVSets, 3);
    EXPECT_EQ(target.numEdges, 6u);
    EXPECT_EQ(target.edges[0], 105u);
    EXPECT_EQ(target.piece, 9);
    EXPECT_EQ(target.material, 4);
    for (std::uint32_t k = 0; k < 4; ++k) {
        EXPECT_EQ(target.vertices[k], 3 - k);
        EXPECT_EQ(target.normals[k], 43 - k);
        EXPECT_EQ(target.uvs[k], 53 - k);
        EXPECT_EQ(target.uvSets[0][k], 63 - k);
        EXPECT_EQ(target.uvSets[1][k], 73 - k);
    }
    reverseWorkingFace(target, target);
    EXPECT_EQ(corners(target), corners(source));
    EXPECT_EQ(target.uvSets[1][0], 70u);
}

TEST(ClipperHelpers, DistanceSqToSegmentClampsItsParameter) {
    const QmtVector3 a(0, 0, 0);
    const QmtVector3 b(4, 0, 0);
    double t = -1.0;
    EXPECT_EQ(distanceSqToSegment({1, 2, 0}, a, b, t), 4.0);
    EXPECT_EQ(t, 0.25);
    EXPECT_EQ(distanceSqToSegment({-3, 4, 0}, a, b, t), 25.0);  // before a: the foot is a
    EXPECT_EQ(t, 0.0);
    EXPECT_EQ(distanceSqToSegment({7, 0, 4}, a, b, t), 25.0);  // past b: the foot is b
    EXPECT_EQ(t, 1.0);
    t = 0.5;
    EXPECT_EQ(distanceSqToSegment({0, 3, 4}, a, QmtVector3(0.001, 0, 0), t), 25.0);  // too short
    EXPECT_EQ(t, 0.0);
}

TEST(ClipperHelpers, EdgesFoldBackOnlyWhenTheCornerTurnsAround) {
    // A flat mesh keeps scale 1, so the working vertices are the mesh's own.
    const auto mesh = makeDFMesh({{{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {1, 1, 0}}, {{0, 1, 3}, {1, 2, 3}}});
    const auto volume = clipperVolume(mesh.get());
    const Clipper& c = *volume->getClipper();
    ASSERT_EQ(c.getScale(), 1.0);
    const std::uint32_t e01[2] = {0, 1}, g12[2] = {1, 2}, e02[2] = {0, 2}, g21[2] = {2, 1};
    const std::uint32_t g13[2] = {1, 3}, e12[2] = {1, 2}, g20[2] = {2, 0}, gFar[2] = {2, 99};
    EXPECT_FALSE(edgesFoldBack(c, e01, g12));  // straight on
    EXPECT_TRUE(edgesFoldBack(c, e02, g21));   // back towards the start
    EXPECT_TRUE(edgesFoldBack(c, e12, g20));   // back past the start
    EXPECT_FALSE(edgesFoldBack(c, e01, g13));  // a real corner
    EXPECT_FALSE(edgesFoldBack(c, e01, gFar));  // an index outside the working vertices
}

TEST(ClipperHelpers, MakeOrientedBoxWritesOnlyTheBoxRecord) {
    struct {
        ZYLbox box;
        double after;
    } record;
    record.box.centre = {9, 9, 9};
    record.after = 7.5;
    const double axes[9] = {0, 1, 0, -1, 0, 0, 0, 0, 1};
    ZYLbox* out = makeOrientedBox(&record.box, axes, {1, 2, 3}, {0.5, 1, 2});
    EXPECT_EQ(out, &record.box);
    EXPECT_EQ(record.box.centre, QmtVector3(1, 2, 3));
    EXPECT_EQ(record.box.halfExtents, QmtVector3(0.5, 1, 2));
    EXPECT_EQ(record.box.axes, QmtMatrix3(0, 1, 0, -1, 0, 0, 0, 0, 1));
    EXPECT_EQ(record.after, 7.5);
    EXPECT_EQ(makeOrientedBox(nullptr, axes, {}, {}), nullptr);
}

TEST(DFfaceResize, KeepsTheContentsWhileTheCapacityChanges) {
    ZYL_DFface face(4, 3);
    face.numVertices = 3;
    face.numEdges = 2;
    for (std::uint32_t k = 0; k < 3; ++k) {
        face.vertices[k] = k + 1;
        face.normals[k] = k + 11;
        face.uvs[k] = k + 21;
        face.uvSets[0][k] = k + 31;
        face.uvSets[1][k] = k + 41;
    }
    face.edges[0] = 51;
    face.edges[1] = 52;

    face.resize(40, 3);
    ASSERT_EQ(face.capacity, 40u);
    EXPECT_EQ(face.edgeCapacity, 40u);
    EXPECT_EQ(face.numVertices, 3u);
    EXPECT_EQ(face.numEdges, 2u);
    for (std::uint32_t k = 0; k < 3; ++k) {
        EXPECT_EQ(face.vertices[k], k + 1);
        EXPECT_EQ(face.normals[k], k + 11);
        EXPECT_EQ(face.uvs[k], k + 21);
        EXPECT_EQ(face.uvSets[0][k], k + 31);
        EXPECT_EQ(face.uvSets[1][k], k + 41);
    }
    EXPECT_EQ(face.edges[1], 52u);
    face.vertices[39] = 7;  // the new room is usable (checked by the sanitizers)

    // A capacity below the counts is raised to them; dropping to two sets frees the third.
    face.resize(1, 2);
    EXPECT_EQ(face.capacity, 3u);
    EXPECT_EQ(face.numUVSets, 2);
    EXPECT_EQ(face.uvSets[1], nullptr);
    EXPECT_EQ(face.uvSets[0][2], 33u);
    EXPECT_EQ(face.edges[0], 51u);

    // An empty face gets its arrays and the UV-set flag.
    ZYL_DFface empty;
    empty.resize(8, 2);
    EXPECT_EQ(empty.capacity, 8u);
    EXPECT_NE(empty.vertices, nullptr);
    EXPECT_NE(empty.uvSets[0], nullptr);
    EXPECT_EQ(empty.flags & FACE_UV_SETS, FACE_UV_SETS);
    EXPECT_EQ(empty.numUVSets, 2);
}
