#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

#include "geometry/mesh/bvDFmesh.h"
#include "geometry/clip/clipper.h"
#include "geometry/clip/cutLoop.h"
#include "geometry/mesh/meshRecords.h"
#include "tests/geometry/testMeshes.h"

using Qmt::QmtVector3;
using meshtest::corners;

namespace {

const QmtVector3 kUp(0, 0, 1);

// Records made here carry UV index 100 + vertex at both ends.
std::uint32_t uvOf(std::uint32_t v) { return 100 + v; }

// A loop through the vertices in order; closed loops also run from the last to the first.
std::unique_ptr<CutLoop> makeLoop(CutEdgeStore& store, const std::vector<std::uint32_t>& vertices, bool closed) {
    auto loop = std::make_unique<CutLoop>();
    loop->store = &store;
    loop->closed = closed;
    auto* tail = loop->edges.head;
    const std::size_t n = vertices.size();
    for (std::size_t k = 0; k + (closed ? 0 : 1) < n; ++k) {
        const std::uint32_t a = vertices[k];
        const std::uint32_t b = vertices[(k + 1) % n];
        loop->edges.insertAfter(store.make(a, b, uvOf(a), uvOf(b)), tail);
        tail = tail->next;
        ++loop->edgeCount;
    }
    return loop;
}

std::vector<std::uint32_t> loopVertices(const CutLoop& loop) {
    std::vector<std::uint32_t> out;
    for (const connect_edge* e : loop.edges) {
        out.push_back(e->v0);
    }
    return out;
}

// Each edge ends where the next one (cyclically) starts.
bool intact(const CutLoop& loop) {
    std::vector<const connect_edge*> edges(loop.edges.begin(), loop.edges.end());
    for (std::size_t k = 0; k < edges.size(); ++k) {
        if (edges[k]->v1 != edges[(k + 1) % edges.size()]->v0) {
            return false;
        }
    }
    return loop.edgeCount == loop.edges.count;
}

// Area enclosed by a closed loop, positive when it runs counter-clockwise about +z.
double loopArea(const CutLoop& loop, const QmtVector3* V) {
    double area = 0.0;
    for (const connect_edge* e : loop.edges) {
        area += 0.5 * V[e->v0].Cross(V[e->v1]).z;
    }
    return area;
}

double faceArea(const ZYL_DFface& face, const QmtVector3* V) {
    double area = 0.0;
    for (std::uint32_t k = 0; k < face.numVertices; ++k) {
        area += 0.5 * V[face.vertices[k]].Cross(V[face.vertices[(k + 1) % face.numVertices]]).z;
    }
    return area;
}

bool faceConvex(const ZYL_DFface& face, const QmtVector3* V) {
    int positive = 0;
    int negative = 0;
    const std::uint32_t m = face.numVertices;
    for (std::uint32_t k = 0; k < m; ++k) {
        const QmtVector3 a = V[face.vertices[(k + 1) % m]] - V[face.vertices[k]];
        const QmtVector3 b = V[face.vertices[(k + 2) % m]] - V[face.vertices[(k + 1) % m]];
        const double z = a.Cross(b).z;
        positive += z > 1e-12 ? 1 : 0;
        negative += z < -1e-12 ? 1 : 0;
    }
    return positive == 0 || negative == 0;
}

// A clipper over a flat point set: the set has no thickness, so the clipper keeps scale
// 1 and its working vertices are the points themselves.
struct FlatClipper {
    std::unique_ptr<ZYL_DFmesh> mesh;
    BVDFmesh volume;
    Clipper* clipper = nullptr;
    const QmtVector3* V = nullptr;

    explicit FlatClipper(const std::vector<QmtVector3>& points)
        : mesh(meshtest::MeshBuilder({points, {}}).dfMesh()) {
        volume.init(mesh.get(), 0);
        volume.initClipper();
        clipper = volume.getClipper();
        V = clipper->getVertices();
    }
};

// Outer square 0-3 (side 4), inner square 4-7, a square 8-11 crossing the outer one,
// a far square 12-15, and L corners 16-21.
const std::vector<QmtVector3> kPoints = {
    {0, 0, 0},  {4, 0, 0},  {4, 4, 0},  {0, 4, 0},  {1, 1, 0},  {2, 1, 0},  {2, 2, 0},  {1, 2, 0},
    {3, 3, 0},  {5, 3, 0},  {5, 5, 0},  {3, 5, 0},  {10, 0, 0}, {11, 0, 0}, {11, 1, 0}, {10, 1, 0},
    {20, 0, 0}, {22, 0, 0}, {22, 1, 0}, {21, 1, 0}, {21, 2, 0}, {20, 2, 0}};

}  // namespace

TEST(CutLoopRecords, TurnedRecordsKeepTheAttributesOfEachEnd) {
    connect_edge e;
    makeCutEdge(e, 3, 7, 13, 17);
    e.normals[EDGE_SLOT_START_B] = 21;
    e.uvSetEnd[2][0] = 31;
    reverseCutEdge(e);
    EXPECT_EQ(e.v0, 7u);
    EXPECT_EQ(e.v1, 3u);
    EXPECT_EQ(e.uvs[EDGE_SLOT_START_A], 17u);
    EXPECT_EQ(e.uvs[EDGE_SLOT_END_A], 13u);
    EXPECT_EQ(e.normals[EDGE_SLOT_END_B], 21u);
    EXPECT_EQ(e.normals[EDGE_SLOT_START_B], ABSENT_INDEX);
    EXPECT_EQ(e.uvSetStart[2][0], 31u);
    EXPECT_EQ(e.uvSetEnd[2][0], ABSENT_INDEX);
}

TEST(CutLoopRelations, CrossingAndContainment) {
    CutEdgeStore store;
    const QmtVector3* V = kPoints.data();
    const auto outer = makeLoop(store, {0, 1, 2, 3}, true);
    const auto outerReversed = makeLoop(store, {3, 2, 1, 0}, true);
    const auto outerOpen = makeLoop(store, {0, 1, 2, 3}, false);
    const auto inner = makeLoop(store, {4, 5, 6, 7}, true);
    const auto crossing = makeLoop(store, {8, 9, 10, 11}, true);
    const auto far = makeLoop(store, {12, 13, 14, 15}, true);
    const auto touching = makeLoop(store, {1, 13, 14}, true);  // shares vertex 1
    const CutLoop empty;

    EXPECT_FALSE(cutLoopsCross(outer.get(), inner.get(), kUp, V));
    EXPECT_TRUE(cutLoopsCross(outer.get(), crossing.get(), kUp, V));
    EXPECT_TRUE(cutLoopsCross(outer.get(), touching.get(), kUp, V));
    EXPECT_FALSE(cutLoopsCross(outerOpen.get(), crossing.get(), kUp, V));
    EXPECT_FALSE(cutLoopsCross(nullptr, crossing.get(), kUp, V));
    // Meeting only at a shared vertex is touching; a point off the outline then tells
    // inside from outside, whichever vertex comes first.
    const auto touchingInside = makeLoop(store, {0, 4, 5}, true);
    EXPECT_TRUE(cutLoopsOnlyTouch(outer.get(), touching.get(), V));
    EXPECT_TRUE(cutLoopsOnlyTouch(outer.get(), touchingInside.get(), V));
    EXPECT_FALSE(cutLoopsOnlyTouch(outer.get(), crossing.get(), V));
    EXPECT_FALSE(cutLoopsOnlyTouch(outer.get(), inner.get(), V));
    EXPECT_TRUE(cutLoopHoldsTouchingLoop(outer.get(), touchingInside.get(), kUp, V));
    EXPECT_FALSE(cutLoopHoldsTouchingLoop(outer.get(), touching.get(), kUp, V));
    EXPECT_FALSE(cutLoopHoldsTouchingLoop(touchingInside.get(), outer.get(), kUp, V));

    // Containment tests the hole's first vertex against every edge, in either winding.
    EXPECT_TRUE(cutLoopContainsLoop(outer.get(), inner.get(), kUp, V));
    EXPECT_TRUE(cutLoopContainsLoop(outerReversed.get(), inner.get(), kUp, V));
    EXPECT_FALSE(cutLoopContainsLoop(outer.get(), far.get(), kUp, V));
    // Only the first vertex is tested: (3, 3) lies inside; the pairing asks about
    // crossings first.
    EXPECT_TRUE(cutLoopContainsLoop(outer.get(), crossing.get(), kUp, V));
    EXPECT_FALSE(cutLoopContainsLoop(inner.get(), outer.get(), kUp, V));
    EXPECT_FALSE(cutLoopContainsLoop(outerOpen.get(), inner.get(), kUp, V));
    EXPECT_FALSE(cutLoopContainsLoop(outer.get(), &empty, kUp, V));

    EXPECT_TRUE(pointInCutLoop({2, 3, 0}, outer.get(), kUp, V));
    EXPECT_TRUE(pointInCutLoop({2, 3, 0}, outerReversed.get(), kUp, V));
    EXPECT_FALSE(pointInCutLoop({5, 3, 0}, outer.get(), kUp, V));
    EXPECT_TRUE(pointInCutLoop({50, 50, 0}, &empty, kUp, V));
    EXPECT_FALSE(pointInCutLoop({2, 3, 0}, nullptr, kUp, V));
}

TEST(CutLoopRelations, MostlyContainsAndOutwardNormals) {
    CutEdgeStore store;
    std::vector<QmtVector3> points = kPoints;
    points.insert(points.end(), {{2, -1, 0}, {2, 2, 0}, {5, 2, 0}, {5, 5, 0}, {2, -2, 0}});  // 22-26
    const QmtVector3* V = points.data();
    const auto outer = makeLoop(store, {0, 1, 2, 3}, true);
    // The first vertex lies below the first edge; the next one is inside.
    EXPECT_TRUE(cutLoopMostlyContains(outer.get(), makeLoop(store, {22, 23, 26}, true).get(), kUp, V));
    // Beyond one side of four (3/4 inside) is enough, beyond two (2/4) is not.
    EXPECT_TRUE(cutLoopMostlyContains(outer.get(), makeLoop(store, {24, 12}, true).get(), kUp, V));
    EXPECT_FALSE(cutLoopContainsLoop(outer.get(), makeLoop(store, {24, 12}, true).get(), kUp, V));
    EXPECT_FALSE(cutLoopMostlyContains(outer.get(), makeLoop(store, {25, 12}, true).get(), kUp, V));
    EXPECT_FALSE(cutLoopMostlyContains(outer.get(), makeLoop(store, {22, 26}, true).get(), kUp, V));
    EXPECT_FALSE(cutLoopMostlyContains(makeLoop(store, {0, 1, 2, 3}, false).get(),
                                       makeLoop(store, {4, 5, 6}, true).get(), kUp, V));

    // The bottom edge points down and out whichever way the loop runs.
    const auto reversed = makeLoop(store, {1, 0, 3, 2}, true);
    QmtVector3 out;
    cutLoopEdgeOutwardNormal(out, *outer->edges.begin(), outer.get(), kUp, V);
    EXPECT_EQ(out, QmtVector3(0, -1, 0));
    cutLoopEdgeOutwardNormal(out, *reversed->edges.begin(), reversed.get(), kUp, V);
    EXPECT_EQ(out, QmtVector3(0, -1, 0));
    cutLoopEdgeOutwardNormal(out, nullptr, outer.get(), kUp, V);
    EXPECT_EQ(out, QmtVector3::ZERO);
}

TEST(CutLoopSurgery, BridgeHoleRunsAroundTheHoleAgainstTheOuterWinding) {
    const QmtVector3* V = kPoints.data();
    // Hole given in the outer loop's winding (turned around) and against it (kept).
    for (const bool sameWinding : {true, false}) {
        SCOPED_TRACE(sameWinding);
        CutEdgeStore store;
        const auto outer = makeLoop(store, {0, 1, 2, 3}, true);
        const auto hole = makeLoop(store, sameWinding ? std::vector<std::uint32_t>{4, 5, 6, 7}
                                                       : std::vector<std::uint32_t>{7, 6, 5, 4},
                                   true);
        bridgeHole(outer.get(), hole.get(), kUp, V);
        EXPECT_EQ(hole->edges.count, 0u);
        EXPECT_EQ(hole->edgeCount, 0u);
        ASSERT_EQ(outer->edgeCount, 10u);
        EXPECT_TRUE(intact(*outer));
        EXPECT_DOUBLE_EQ(loopArea(*outer, V), 16.0 - 1.0);
        // The bridges join the closest pair: outer corner 0 and hole corner 4.
        int bridges = 0;
        for (const connect_edge* e : outer->edges) {
            bridges += ((e->v0 == 0 && e->v1 == 4) || (e->v0 == 4 && e->v1 == 0)) ? 1 : 0;
            // Every record, turned or new, reads the UV entry of its own end.
            EXPECT_EQ(e->uvs[EDGE_SLOT_END_A], uvOf(e->v1));
            EXPECT_EQ(e->uvs[EDGE_SLOT_START_A], uvOf(e->v0));
        }
        EXPECT_EQ(bridges, 2);
        EXPECT_EQ(store.size(), 8u + 2u);
    }

    // Without a store for the bridges nothing changes.
    CutEdgeStore store;
    auto outer = makeLoop(store, {0, 1, 2, 3}, true);
    const auto hole = makeLoop(store, {4, 5, 6, 7}, true);
    outer->store = nullptr;
    bridgeHole(outer.get(), hole.get(), kUp, V);
    EXPECT_EQ(outer->edgeCount, 4u);
    EXPECT_EQ(hole->edgeCount, 4u);
    EXPECT_EQ(loopVertices(*outer), (std::vector<std::uint32_t>{0, 1, 2, 3}));
}

TEST(CutLoopSurgery, CrossingLoopsSplitAtTheirCrossings) {
    CutEdgeStore store;
    std::vector<QmtVector3> V = {{0, 0, 0}, {2, 0, 0}, {2, 2, 0}, {0, 2, 0},
                                 {1, 1, 0}, {3, 1, 0}, {3, 3, 0}, {1, 3, 0}, {}, {}};
    const auto a = makeLoop(store, {0, 1, 2, 3}, true);
    const auto b = makeLoop(store, {4, 5, 6, 7}, true);
    std::uint32_t count = 8;
    splitCrossingCutLoops(a.get(), b.get(), kUp, V.data(), count, 8);  // no room: nothing
    EXPECT_EQ(count, 8u);
    EXPECT_EQ(a->edgeCount, 4u);

    splitCrossingCutLoops(a.get(), b.get(), kUp, V.data(), count, 10);
    ASSERT_EQ(count, 10u);
    EXPECT_TRUE((V[8] == QmtVector3(2, 1, 0) && V[9] == QmtVector3(1, 2, 0)) ||
                (V[8] == QmtVector3(1, 2, 0) && V[9] == QmtVector3(2, 1, 0)));
    EXPECT_EQ(a->edgeCount, 6u);
    EXPECT_EQ(b->edgeCount, 6u);
    EXPECT_TRUE(intact(*a));
    EXPECT_TRUE(intact(*b));
    EXPECT_DOUBLE_EQ(loopArea(*a, V.data()), 4.0);
    // The pieces only touch now.
    splitCrossingCutLoops(a.get(), b.get(), kUp, V.data(), count, 10);
    EXPECT_EQ(a->edgeCount, 6u);
}

TEST(CutLoopSurgery, LoopThroughAVertexTwiceSplitsWhereBothRunsWindAlike) {
    CutEdgeStore store;
    const QmtVector3* V = kPoints.data();
    // A square with a triangle beyond its corner 2, and one with a hole run from there.
    const auto lobes = makeLoop(store, {0, 1, 2, 10, 11, 2, 3}, true);
    const auto holed = makeLoop(store, {0, 1, 2, 6, 7, 2, 3}, true);
    EXPECT_EQ(splitCutLoopAtPinch(holed.get(), kUp, V), nullptr);
    const std::unique_ptr<CutLoop> piece(splitCutLoopAtPinch(lobes.get(), kUp, V));
    ASSERT_NE(piece, nullptr);
    EXPECT_EQ(loopVertices(*piece), (std::vector<std::uint32_t>{2, 10, 11}));
    EXPECT_EQ(loopVertices(*lobes), (std::vector<std::uint32_t>{0, 1, 2, 3}));
    EXPECT_TRUE(intact(*piece) && intact(*lobes) && piece->closed);
}

TEST(CutLoopSurgery, ChainEnds) {
    CutEdgeStore store;
    std::uint32_t first = 0;
    std::uint32_t second = 0;
    EXPECT_TRUE(cutLoopChainEnds(makeLoop(store, {5, 1, 2, 9}, false).get(), first, second));
    EXPECT_EQ(first, 5u);
    EXPECT_EQ(second, 9u);
    EXPECT_FALSE(cutLoopChainEnds(makeLoop(store, {5, 1, 2, 9}, true).get(), first, second));
    EXPECT_EQ(first, ABSENT_INDEX);
    EXPECT_EQ(second, ABSENT_INDEX);
    EXPECT_FALSE(cutLoopChainEnds(nullptr, first, second));
}

TEST(CutLoopCaps, DegenerateEdgesAndSpikesAreDropped) {
    // Square 0-3; 4 sits on corner 1; 5 overshoots corner 2 along the right side.
    FlatClipper flat({{0, 0, 0}, {4, 0, 0}, {4, 4, 0}, {0, 4, 0}, {4, 0, 0}, {4, 4.01, 0}});
    ASSERT_EQ(flat.clipper->getScale(), 1.0);
    CutEdgeStore store;
    auto loop = makeLoop(store, {0, 1, 4, 2, 3}, true);
    std::uint32_t count = loop->edgeCount;
    flat.clipper->dropDegenerateEdges(loop.get(), count);
    EXPECT_EQ(count, 4u);
    EXPECT_TRUE(intact(*loop));
    EXPECT_EQ(loopVertices(*loop), (std::vector<std::uint32_t>{0, 1, 2, 3}));  // 1 -> 4 gone, 4 -> 2 re-anchored

    // The fold-back corner 1 -> 5 -> 2: the edge after the tip goes, the next one starts there.
    loop = makeLoop(store, {0, 1, 5, 2, 3}, true);
    count = loop->edgeCount;
    flat.clipper->dropDegenerateEdges(loop.get(), count);
    EXPECT_EQ(count, 4u);
    EXPECT_TRUE(intact(*loop));
    EXPECT_EQ(loopVertices(*loop), (std::vector<std::uint32_t>{0, 1, 5, 3}));
}

TEST(CutLoopCaps, ConvexityAndOrientation) {
    FlatClipper flat(kPoints);
    const Clipper& c = *flat.clipper;
    CutEdgeStore store;
    const auto ccw = makeLoop(store, {0, 1, 2, 3}, true);
    const auto cw = makeLoop(store, {3, 2, 1, 0}, true);
    const auto ell = makeLoop(store, {16, 17, 18, 19, 20, 21}, true);
    const auto single = makeLoop(store, {0, 1}, false);

    EXPECT_FALSE(c.isCutLoopNonConvex(ccw.get(), 4, kUp));
    EXPECT_FALSE(c.isCutLoopNonConvex(cw.get(), 4, kUp));
    EXPECT_TRUE(c.isCutLoopNonConvex(ell.get(), 6, kUp));
    // The normal about which the loop winds clockwise.
    EXPECT_EQ(c.cutLoopOrientation(ccw.get(), 4, kUp), -kUp);
    EXPECT_EQ(c.cutLoopOrientation(cw.get(), 4, kUp), kUp);
    EXPECT_EQ(c.cutLoopOrientation(ell.get(), 6, kUp), -kUp);
    EXPECT_EQ(c.cutLoopOrientation(single.get(), 1, kUp), QmtVector3::ZERO);  // no corner decides

    std::uint32_t positives = 0;
    std::uint32_t negatives = 0;
    QmtVector3 n = kUp;
    c.countLoopTurns(ell.get(), 6, n, positives, negatives);
    EXPECT_EQ(positives, 1u);  // the reflex corner
    EXPECT_EQ(negatives, 5u);
    EXPECT_EQ(n, -kUp);
    n = kUp;
    c.countLoopTurns(cw.get(), 4, n, positives, negatives);
    EXPECT_EQ(positives, 4u);
    EXPECT_EQ(negatives, 0u);
    EXPECT_EQ(n, kUp);

    // Diagonal checks on the square 0-3 and the L.
    connect_edge diagonal;
    makeCutEdge(diagonal, 0, 2, ABSENT_INDEX, ABSENT_INDEX);
    const auto* first = ccw->edges.head->next;  // 0 -> 1
    EXPECT_FALSE(c.checkDiagonalTurn(diagonal, first->next, ccw.get(), kUp));  // 2 -> 3 turns back left
    EXPECT_TRUE(c.checkDiagonalTurn(diagonal, first->next, ccw.get(), -kUp));
    EXPECT_TRUE(c.checkDiagonalTurn(diagonal, first->next->next, ccw.get(), kUp));  // 3 -> 0 ends at its start
    EXPECT_TRUE(c.checkDiagonalTurn(diagonal, nullptr, ccw.get(), kUp));  // the head 0 -> 1 turns right
    makeCutEdge(diagonal, 17, 21, ABSENT_INDEX, ABSENT_INDEX);  // through the reflex corner
    EXPECT_TRUE(c.segmentCrossesLoop(diagonal, ell.get()));
    makeCutEdge(diagonal, 16, 19, ABSENT_INDEX, ABSENT_INDEX);
    EXPECT_FALSE(c.segmentCrossesLoop(diagonal, ell.get()));
}

TEST(CutLoopCaps, CapFacesTakeOneNormalSlotEach) {
    // 0-2: a triangle with a 100 long side and a 5e-4 apex; 3-5 a plain triangle.
    FlatClipper flat({{0, 0, 0}, {100, 0, 0}, {50, 5e-4, 0}, {0, 0, 0}, {2, 0, 0}, {0, 2, 0}});
    Clipper& c = *flat.clipper;
    CutEdgeStore store;
    const std::uint32_t normals = c.getNormalCount();

    // A sliver is made too: the write-back, not the cap, decides whether it stays.
    c.makeCapFace(makeLoop(store, {0, 1, 2}, true).get(), 3, kUp);
    EXPECT_EQ(c.getFaceCount(), 1u);
    EXPECT_EQ(c.getNormalCount(), normals + 1);

    const CutLoop empty;
    c.makeCapFace(&empty, 0, kUp);
    EXPECT_EQ(c.getFaceCount(), 1u);
    EXPECT_EQ(c.getNormalCount(), normals + 1);

    const auto triangle = makeLoop(store, {3, 4, 5}, true);
    QmtVector3 points[3];
    EXPECT_EQ(c.collectLoopPoints(triangle.get(), points), 3u);
    EXPECT_EQ(points[0], QmtVector3(2, 0, 0));  // the end of the first edge
    EXPECT_EQ(c.collectLoopPoints(makeLoop(store, {3, 4, 5}, false).get(), points), 1u);
    c.makeCapFace(triangle.get(), 3, kUp);
    ASSERT_EQ(c.getFaceCount(), 2u);
    EXPECT_EQ(c.getNormalCount(), normals + 2);
    const ZYL_DFface& face = c.getFaces()[1];
    EXPECT_EQ(corners(face), (std::vector<std::uint32_t>{4, 5, 3}));
    for (std::uint32_t k = 0; k < 3; ++k) {
        EXPECT_EQ(face.normals[k], normals + 1);
    }
    EXPECT_EQ(face.numEdges, 0u);
    EXPECT_EQ(face.alive, 1);
    EXPECT_EQ(face.flags, FACE_CAP);
    EXPECT_EQ(face.material, 0);

    // The fan form takes no normal slot and splits long loops into pieces.
    std::vector<QmtVector3> ring;
    for (int i = 0; i < 40; ++i) {
        ring.push_back({std::cos(i * 0.15707963267948966), std::sin(i * 0.15707963267948966), 0});
    }
    FlatClipper round(ring);
    std::vector<std::uint32_t> all;
    for (std::uint32_t i = 0; i < 40; ++i) {
        all.push_back(i);
    }
    round.clipper->makeCapFaceFan(makeLoop(store, all, true).get(), 40);
    ASSERT_GE(round.clipper->getFaceCount(), 2u);
    EXPECT_EQ(round.clipper->getNormalCount(), 0u);
    double area = 0.0;
    for (std::uint32_t f = 0; f < round.clipper->getFaceCount(); ++f) {
        const ZYL_DFface& piece = round.clipper->getFaces()[f];
        EXPECT_LE(piece.numVertices, 32u);
        EXPECT_EQ(piece.flags & FACE_CAP, FACE_CAP);
        area += faceArea(piece, round.V);
    }
    EXPECT_NEAR(area, 20.0 * std::sin(0.15707963267948966), 1e-12);
}

TEST(CutLoopCaps, NonConvexLoopsSplitIntoConvexCaps) {
    FlatClipper flat(kPoints);
    Clipper& c = *flat.clipper;
    CutEdgeStore store;
    for (const bool byDiagonal : {false, true}) {
        SCOPED_TRACE(byDiagonal);
        const std::uint32_t faces = c.getFaceCount();
        const std::uint32_t diagonals = c.getDiagonalCount();
        auto ell = makeLoop(store, {16, 17, 18, 19, 20, 21}, true);
        std::uint32_t count = 6;
        const QmtVector3 m = c.cutLoopOrientation(ell.get(), count, kUp);
        EXPECT_TRUE(byDiagonal ? c.splitNonConvexLoopByDiagonal(ell.get(), count, m)
                               : c.splitNonConvexLoop(ell.get(), count, m, 0));
        EXPECT_EQ(c.getDiagonalCount(), diagonals + 2);
        ASSERT_EQ(c.getFaceCount(), faces + 2);
        double area = 0.0;
        for (std::uint32_t f = faces; f < faces + 2; ++f) {
            EXPECT_TRUE(faceConvex(c.getFaces()[f], flat.V)) << f;
            area += faceArea(c.getFaces()[f], flat.V);
        }
        EXPECT_DOUBLE_EQ(area, 3.0);
    }

    // Corners closer together than the hull can tell apart: the loop is capped as it
    // is instead of being split around a hull of fewer than two corners.
    FlatClipper point({{1, 1, 0}, {1 + 1e-7, 1, 0}, {1, 1 + 1e-7, 0}, {1 - 1e-7, 1, 0}});
    std::uint32_t count = 4;
    EXPECT_TRUE(point.clipper->splitNonConvexLoop(makeLoop(store, {0, 1, 2, 3}, true).get(), count, kUp, 0));
    EXPECT_EQ(point.clipper->getFaceCount(), 1u);
    EXPECT_EQ(point.clipper->getNormalCount(), 1u);
    EXPECT_EQ(point.clipper->getDiagonalCount(), 0u);
}
