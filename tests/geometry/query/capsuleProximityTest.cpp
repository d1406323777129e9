#include "geometry/query/capsuleProximity.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "geometry/bounds/boundingVolumes.h"
#include "geometry/query/proximity.h"
#include "tests/geometry/query/distanceReferences.h"
#include "tests/testSupport.h"

namespace {

using Qmt::QmtVector3;
using V = QmtVector3;

constexpr double FLT_MAX_D = 3.4028234663852886e38;

using distref::unit;
using zyltest::expectNear;

ZYLcapsule makeCapsule(const V& centre, const V& axis, double length, double radius) {
    return {centre, axis, length, radius};
}

// Zero when the segment crosses the triangle, else the least of its ends' distances and
// its distances to the edges.
double refSegmentTriangle(const V& p0, const V& p1, const V* tri) {
    using namespace distref;
    const V n = unit((tri[1] - tri[0]).Cross(tri[2] - tri[0]));
    const double h0 = (p0 - tri[0]).Dot(n), h1 = (p1 - tri[0]).Dot(n);
    if (h0 * h1 < 0.0) {
        const V x = p0 + (p1 - p0) * (h0 / (h0 - h1));
        if (insideTriangle(x, tri, n)) {
            return 0.0;
        }
    }
    return std::min({pointTriangle(p0, tri), pointTriangle(p1, tri), segmentSegment(p0, p1, tri[0], tri[1]),
                     segmentSegment(p0, p1, tri[1], tri[2]), segmentSegment(p0, p1, tri[2], tri[0])});
}

const V RIGHT_TRI[3] = {V(0, 0, 0), V(1, 0, 0), V(0, 1, 0)};
const V BIG_TRI[3] = {V(-10, -10, 0), V(10, -10, 0), V(0, 10, 0)};
const V UP(0, 0, 1);

// Outputs of one capsule contact query against the plane z = 0 or a triangle facing +z.
struct Contact {
    V pts[2];
    V normal;
    std::uint32_t count = 0;
    double depth = 0.0;
    bool plane(const ZYLcapsule& c) { return capsulePlaneContact(c, V(0, 0, 0), UP, pts, normal, count, depth); }
    bool triangle(const ZYLcapsule& c, const V* tri) {
        return capsuleTriangleContact(c, tri, UP, pts, normal, count, depth);
    }
};

}  // namespace

TEST(SelectExtremePoints, TrivialCounts) {
    const V pts[3] = {V(1, 0, 0), V(2, 0, 0), V(3, 0, 0)};
    std::uint32_t idx[4] = {77, 77, 77, 77};

    std::uint32_t k = 6;
    selectExtremePoints(pts, 0, idx, k);  // empty set: nothing to give, nothing written
    EXPECT_EQ(k, 0u);
    EXPECT_EQ(idx[0], 77u);

    k = 6;
    selectExtremePoints(pts, 1, idx, k);
    EXPECT_EQ(k, 1u);
    EXPECT_EQ(idx[0], 0u);

    k = 3;  // k >= n gives every index
    selectExtremePoints(pts, 3, idx, k);
    EXPECT_EQ(k, 3u);
    EXPECT_EQ(idx[0], 0u);
    EXPECT_EQ(idx[1], 1u);
    EXPECT_EQ(idx[2], 2u);
    EXPECT_EQ(idx[3], 77u);
}

TEST(SelectExtremePoints, ScoresRawCoordinatesAndSortsAscending) {
    // Far from the origin along x: raw coordinates favour the largest x, so the two
    // picked last in the array win; centred scores would take both ends instead.
    const V pts[5] = {V(10, 0, 0), V(11, 0.1, 0), V(12, 0, 0), V(13, -0.1, 0), V(14, 0, 0)};
    std::uint32_t idx[2] = {};
    std::uint32_t k = 2;
    selectExtremePoints(pts, 5, idx, k);
    ASSERT_EQ(k, 2u);
    EXPECT_EQ(idx[0], 3u);  // picked second, reported first
    EXPECT_EQ(idx[1], 4u);
}

TEST(SelectExtremePoints, WeightsAreCovarianceEigenvalues) {
    // x reaches farther (3 against 2) but y carries more variance (3.2 against 1.8):
    // eigenvalue weights prefer the y points (6.4 against 5.4), half-extent weights
    // would prefer (3, 0, 0) (9 against 4). Equal scores go to the lowest index.
    V pts[10] = {V(3, 0, 0), V(-3, 0, 0)};
    for (int i = 2; i < 10; ++i) {
        pts[i] = V(0, (i % 2 == 0) ? 2.0 : -2.0, 0);
    }
    std::uint32_t idx[3] = {};
    std::uint32_t k = 1;
    selectExtremePoints(pts, 10, idx, k);
    ASSERT_EQ(k, 1u);
    EXPECT_EQ(idx[0], 2u);

    k = 3;
    selectExtremePoints(pts, 10, idx, k);
    ASSERT_EQ(k, 3u);
    EXPECT_EQ(idx[0], 2u);
    EXPECT_EQ(idx[1], 3u);
    EXPECT_EQ(idx[2], 4u);
}

TEST(SelectExtremePoints, LargeSetPicksDistinctIndices) {
    std::mt19937 rng(5);
    std::uniform_real_distribution<double> u(-3.0, 3.0);
    std::vector<V> pts(200);
    for (auto& p : pts) {
        p = V(u(rng), 0.3 * u(rng), 0.1 * u(rng));
    }
    std::uint32_t idx[12] = {};
    std::uint32_t k = 12;
    selectExtremePoints(pts.data(), 200, idx, k);
    ASSERT_EQ(k, 12u);
    for (int i = 1; i < 12; ++i) {
        EXPECT_LT(idx[i - 1], idx[i]);
    }
    EXPECT_LT(idx[11], 200u);
}

TEST(CapsuleContacts, Plane) {
    Contact hit;

    // Lying parallel: both ends, top first.
    EXPECT_TRUE(hit.plane(makeCapsule(V(0, 0, 1), V(1, 0, 0), 2.0, 0.5)));
    EXPECT_EQ(hit.count, 2u);
    expectNear(hit.pts[0], V(1, 0, 0.5));
    expectNear(hit.pts[1], V(-1, 0, 0.5));
    EXPECT_DOUBLE_EQ(hit.depth, 0.5);
    expectNear(hit.normal, UP);

    // Tilted: the lower end alone, whichever end of the axis it is.
    EXPECT_TRUE(hit.plane(makeCapsule(V(0, 0, 2), V(0.6, 0, 0.8), 2.0, 0.5)));
    EXPECT_EQ(hit.count, 1u);
    expectNear(hit.pts[0], V(-0.6, 0, 0.7));
    EXPECT_NEAR(hit.depth, 0.7, 1e-12);
    EXPECT_TRUE(hit.plane(makeCapsule(V(0, 0, 2), V(0.6, 0, -0.8), 2.0, 0.5)));
    EXPECT_EQ(hit.count, 1u);
    expectNear(hit.pts[0], V(0.6, 0, 0.7));

    // Far below the plane still answers true, with a negative depth.
    EXPECT_TRUE(hit.plane(makeCapsule(V(0, 0, -5), V(0, 0, 1), 0.0, 0.5)));
    EXPECT_EQ(hit.count, 1u);
    EXPECT_DOUBLE_EQ(hit.depth, -5.5);
}

TEST(CapsuleContacts, TriangleDegenerateAxisAndClip) {
    Contact hit;

    // Zero length: the top end minus r n, depth measured from V0's plane.
    EXPECT_TRUE(hit.triangle(makeCapsule(V(0.2, 0.2, 1), V(0, 0, 1), 0.0, 0.5), RIGHT_TRI));
    EXPECT_EQ(hit.count, 1u);
    expectNear(hit.pts[0], V(0.2, 0.2, 0.5));
    EXPECT_DOUBLE_EQ(hit.depth, 0.5);
    expectNear(hit.normal, UP);

    // Lying flat over the interior: both clip points, depth d - r.
    EXPECT_TRUE(hit.triangle(makeCapsule(V(0, 0, 0.3), V(1, 0, 0), 2.0, 0.5), BIG_TRI));
    EXPECT_EQ(hit.count, 2u);
    expectNear(hit.pts[0], V(-1, 0, -0.2), 1e-9);
    expectNear(hit.pts[1], V(1, 0, -0.2), 1e-9);
    EXPECT_NEAR(hit.depth, -0.2, 1e-9);

    // Depths within 1e-5: two points, the depth of the second.
    const V nearlyFlat = unit(V(1, 0, 2.5e-6));
    EXPECT_TRUE(hit.triangle(makeCapsule(V(0, 0, 0.3), nearlyFlat, 2.0, 0.5), BIG_TRI));
    EXPECT_EQ(hit.count, 2u);
    EXPECT_NEAR(hit.depth, 0.3 + 2.5e-6 - 0.5, 1e-10);

    // Tilted: the clip points are the ends' shadows (-0.3, 0, 0) and (0.3, 0, 0),
    // carried up to the axis points above them, the ends at heights 0.6 and 1.4 (not
    // to their feet on the axis line, which lie below the lower end and would report
    // a hovering capsule as sunk 0.284 deep). Only the lower stays, as the first
    // output, whichever clip point it was.
    EXPECT_TRUE(hit.triangle(makeCapsule(V(0, 0, 1), V(0.6, 0, 0.8), 1.0, 0.5), BIG_TRI));
    EXPECT_EQ(hit.count, 1u);
    expectNear(hit.pts[0], V(-0.3, 0, 0.1), 1e-9);
    EXPECT_NEAR(hit.depth, 0.1, 1e-9);
    EXPECT_TRUE(hit.triangle(makeCapsule(V(0, 0, 1), V(-0.6, 0, -0.8), 1.0, 0.5), BIG_TRI));
    EXPECT_EQ(hit.count, 1u);
    expectNear(hit.pts[0], V(-0.3, 0, 0.1), 1e-9);
    EXPECT_NEAR(hit.depth, 0.1, 1e-9);
}

TEST(CapsuleContacts, TriangleEdgeBranch) {
    Contact hit;
    // Beside the triangle past V1: the normal points from the edge to the axis and
    // the depth is r minus the gap.
    EXPECT_TRUE(hit.triangle(makeCapsule(V(2, 0, 0), V(0, 1, 0), 1.0, 0.25), RIGHT_TRI));
    EXPECT_EQ(hit.count, 1u);
    expectNear(hit.normal, V(1, 0, 0));
    expectNear(hit.pts[0], V(1.75, 0, 0));
    EXPECT_DOUBLE_EQ(hit.depth, -0.75);

    // Overlapping an edge from outside: positive depth.
    EXPECT_TRUE(hit.triangle(makeCapsule(V(0.5, -0.3, 0), V(0, 0, 1), 0.5, 0.5), RIGHT_TRI));
    EXPECT_EQ(hit.count, 1u);
    expectNear(hit.normal, V(0, -1, 0));
    EXPECT_NEAR(hit.depth, 0.2, 1e-12);
    expectNear(hit.pts[0], V(0.5, 0.2, 0), 1e-12);
}

TEST(CapsuleContacts, CapsulePairs) {
    V point;
    V normal;
    double separation = 0.0;
    // Parallel, overlapping by 0.2.
    const ZYLcapsule a = makeCapsule(V(0, 0, 0), V(1, 0, 0), 2.0, 0.5);
    EXPECT_TRUE(capsuleCapsuleContact(a, makeCapsule(V(0, 0.8, 0), V(1, 0, 0), 2.0, 0.5), point, normal, separation));
    EXPECT_NEAR(separation, -0.2, 1e-12);
    expectNear(normal, V(0, 1, 0));
    EXPECT_NEAR(point.y, 0.5, 1e-12);
    // Crossing 3 apart: still true, positive separation along the gap.
    EXPECT_TRUE(capsuleCapsuleContact(a, makeCapsule(V(0, 0, 3), V(0, 1, 0), 2.0, 0.5), point, normal, separation));
    EXPECT_NEAR(separation, 2.0, 1e-12);
    expectNear(normal, V(0, 0, 1));
    expectNear(point, V(0, 0, 0.5));
}

TEST(CapsuleContacts, OverlapStrictnessAtTheBoundary) {
    const ZYLcapsule a = makeCapsule(V(0, 0, 0), V(1, 0, 0), 2.0, 0.5);
    EXPECT_TRUE(capsulesOverlap(a, makeCapsule(V(0, 1, 0), V(1, 0, 0), 2.0, 0.5)));  // touching counts
    EXPECT_FALSE(capsulesOverlap(a, makeCapsule(V(0, 1.000001, 0), V(1, 0, 0), 2.0, 0.5)));

    // Bottom end exactly r above V0: touching does not count for triangles.
    EXPECT_FALSE(capsuleOverlapsTriangle(makeCapsule(V(0, 0, 1.5), V(0, 0, 1), 2.0, 0.5), RIGHT_TRI, UP));
    EXPECT_TRUE(capsuleOverlapsTriangle(makeCapsule(V(0, 0, 1.5), V(0, 0, 1), 2.0, 0.500001), RIGHT_TRI, UP));
    // Zero length measures the point.
    EXPECT_FALSE(capsuleOverlapsTriangle(makeCapsule(V(0, 0, 0.5), V(0, 0, 1), 0.0, 0.5), RIGHT_TRI, UP));
    EXPECT_TRUE(capsuleOverlapsTriangle(makeCapsule(V(0, 0, 0.5), V(0, 0, 1), 0.0, 0.500001), RIGHT_TRI, UP));
}

TEST(PrimitiveDistances, LineTriangle) {
    V x;
    // The triangle lies behind the origin: the unbounded line still hits it.
    EXPECT_TRUE(intersectLineTriangle(V(0.2, 0.2, 5), V(0, 0, 1), RIGHT_TRI, x));
    expectNear(x, V(0.2, 0.2, 0), 1e-12);
    // A miss reports the origin.
    EXPECT_FALSE(intersectLineTriangle(V(5, 5, 1), V(0, 0, 1), RIGHT_TRI, x));
    expectNear(x, V(5, 5, 1), 0.0);
}

TEST(PrimitiveDistances, SegmentTriangleRegions) {
    double s = -1, w0 = -1, w1 = -1;
    // Piercing the interior.
    EXPECT_EQ(sqrDistanceSegmentTriangle(V(0.2, 0.2, -1), V(0.2, 0.2, 1), RIGHT_TRI, UP, s, w0, w1), 0.0);
    EXPECT_NEAR(s, 0.5, 1e-12);
    EXPECT_NEAR(w0, 0.2, 1e-12);
    EXPECT_NEAR(w1, 0.2, 1e-12);
    // Wholly above the interior: the lower end.
    EXPECT_NEAR(sqrDistanceSegmentTriangle(V(0.2, 0.2, 1), V(0.2, 0.2, 3), RIGHT_TRI, UP, s, w0, w1), 1.0, 1e-12);
    EXPECT_EQ(s, 0.0);
    EXPECT_NEAR(w0, 0.2, 1e-12);
    // Crossing the plane beyond the hypotenuse.
    EXPECT_NEAR(sqrDistanceSegmentTriangle(V(2, 2, -1), V(2, 2, 1), RIGHT_TRI, UP, s, w0, w1), 4.5, 1e-12);
    EXPECT_NEAR(s, 0.5, 1e-12);
    EXPECT_NEAR(w0, 0.5, 1e-12);
    EXPECT_NEAR(w1, 0.5, 1e-12);
    // Parallel to the plane beside an edge.
    V onSeg, onTri;
    EXPECT_NEAR(closestPointsSegmentTriangle(V(-1, -1, 0), V(3, -1, 0), RIGHT_TRI, UP, onSeg, onTri), 1.0, 1e-12);
    EXPECT_NEAR((onSeg - onTri).SquaredLength(), 1.0, 1e-12);
    EXPECT_NEAR(onTri.y, 0.0, 1e-12);

    // A zero-length segment and a collapsed triangle give finite answers.
    EXPECT_NEAR(sqrDistanceSegmentTriangle(V(0.2, 0.2, 1), V(0.2, 0.2, 1), RIGHT_TRI, UP, s, w0, w1), 1.0, 1e-12);
    EXPECT_NEAR(w0, 0.2, 1e-12);
    EXPECT_TRUE(std::isfinite(s));
    const V flat[3] = {V(0, 0, 0), V(1, 0, 0), V(2, 0, 0)};
    EXPECT_NEAR(sqrDistanceSegmentTriangle(V(0.5, 1, 1), V(0.5, 1, 3), flat, UP, s, w0, w1), 2.0, 1e-12);
    EXPECT_TRUE(std::isfinite(w0) && std::isfinite(w1));
}

TEST(PrimitiveDistances, SegmentTriangleAgreesWithReference) {
    std::mt19937 rng(11);
    std::uniform_real_distribution<double> u(-2.0, 2.0);
    for (int trial = 0; trial < 2000; ++trial) {
        const V tri[3] = {V(u(rng), u(rng), u(rng)), V(u(rng), u(rng), u(rng)), V(u(rng), u(rng), u(rng))};
        const V p0(u(rng), u(rng), u(rng));
        // Every fourth segment lies parallel to the triangle's plane.
        V p1(u(rng), u(rng), u(rng));
        if (trial % 4 == 0) {
            const V n = unit((tri[1] - tri[0]).Cross(tri[2] - tri[0]));
            p1 = p1 - n * (p1 - p0).Dot(n);
        }
        double s = 0, w0 = 0, w1 = 0;
        const double d = sqrDistanceSegmentTriangle(p0, p1, tri, V(), s, w0, w1);
        ASSERT_NEAR(d, refSegmentTriangle(p0, p1, tri), 1e-9) << "trial " << trial;
        ASSERT_GE(s, -1e-12);
        ASSERT_LE(s, 1.0 + 1e-12);
        ASSERT_GE(w0, -1e-9);
        ASSERT_GE(w1, -1e-9);
        ASSERT_LE(w0 + w1, 1.0 + 1e-9);
        const V a = p0 + (p1 - p0) * s;
        const V b = tri[0] + (tri[1] - tri[0]) * w0 + (tri[2] - tri[0]) * w1;
        ASSERT_NEAR((a - b).SquaredLength(), d, 1e-9) << "trial " << trial;
    }
}

TEST(PrimitiveDistances, SegmentPolygon) {
    const V square[4] = {V(0, 0, 0), V(2, 0, 0), V(2, 2, 0), V(0, 2, 0)};
    V onSeg(9, 9, 9), onPoly(9, 9, 9);
    // Above the second fan triangle (0, 2, 3).
    EXPECT_NEAR(sqrDistanceSegmentPolygon(V(0.5, 1.5, 1), V(0.5, 1.5, 4), square, 4, UP, onSeg, onPoly), 1.0, 1e-12);
    expectNear(onSeg, V(0.5, 1.5, 1), 1e-12);
    expectNear(onPoly, V(0.5, 1.5, 0), 1e-12);

    // Loops of fewer than three points: nothing found, outputs untouched.
    for (std::uint32_t n = 0; n < 3; ++n) {
        V a(7, 7, 7), b(8, 8, 8);
        EXPECT_EQ(sqrDistanceSegmentPolygon(V(0, 0, 1), V(1, 0, 1), square, n, UP, a, b), FLT_MAX_D);
        expectNear(a, V(7, 7, 7), 0.0);
        expectNear(b, V(8, 8, 8), 0.0);
    }
}

TEST(PrimitiveDistances, TrianglePairClosestPoints) {
    const V* A = RIGHT_TRI;
    double wA0 = -1, wA1 = -1, wB0 = -1, wB1 = -1;
    const auto point = [](const V* t, double w0, double w1) {
        return t[0] + (t[1] - t[0]) * w0 + (t[2] - t[0]) * w1;
    };

    // B's lowest corner hovers over A's interior.
    const V B1[3] = {V(0.25, 0.25, 0.5), V(0.25, 0.25, 2), V(1, 1, 2)};
    EXPECT_DOUBLE_EQ(sqrDistanceTriangleTriangle(A, UP, B1, UP, wA0, wA1, wB0, wB1), 0.25);
    expectNear(point(A, wA0, wA1), V(0.25, 0.25, 0), 1e-12);
    expectNear(point(B1, wB0, wB1), B1[0], 1e-12);

    // A's corner V1 points at B's face: edge A0A1 at s = 1 gives (1, 0).
    const V B2[3] = {V(2, -5, -5), V(2, 5, -5), V(2, 0, 5)};
    EXPECT_DOUBLE_EQ(sqrDistanceTriangleTriangle(A, UP, B2, UP, wA0, wA1, wB0, wB1), 1.0);
    EXPECT_DOUBLE_EQ(wA0, 1.0);
    EXPECT_DOUBLE_EQ(wA1, 0.0);
    EXPECT_NEAR(wB0, 0.25, 1e-12);
    EXPECT_NEAR(wB1, 0.5, 1e-12);

    // A's V2 points at B's face: edge A0A2 gives (0, s).
    const V B3[3] = {V(-5, 2, -5), V(5, 2, -5), V(0, 2, 5)};
    EXPECT_DOUBLE_EQ(sqrDistanceTriangleTriangle(A, UP, B3, UP, wA0, wA1, wB0, wB1), 1.0);
    EXPECT_DOUBLE_EQ(wA0, 0.0);
    EXPECT_DOUBLE_EQ(wA1, 1.0);

    // B's corner beyond the hypotenuse: A1A2 at s = 0.25 gives (0.75, 0.25).
    const V B4[3] = {V(1.25, 0.75, 0), V(2.25, 0.75, 0), V(1.25, 1.75, 0)};
    EXPECT_DOUBLE_EQ(sqrDistanceTriangleTriangle(A, UP, B4, UP, wA0, wA1, wB0, wB1), 0.5);
    EXPECT_DOUBLE_EQ(wA0, 0.75);
    EXPECT_DOUBLE_EQ(wA1, 0.25);
    expectNear(point(B4, wB0, wB1), B4[0], 1e-12);

    // The pair is symmetric in distance.
    EXPECT_DOUBLE_EQ(sqrDistanceTriangleTriangle(B4, UP, A, UP, wA0, wA1, wB0, wB1), 0.5);
    expectNear(point(B4, wA0, wA1), B4[0], 1e-12);
    expectNear(point(A, wB0, wB1), V(0.75, 0.25, 0), 1e-12);
}

TEST(PrimitiveDistances, TetrahedronRegionWeights) {
    const V p[4] = {V(0, 0, 0), V(1, 0, 0), V(0, 1, 0), V(0, 0, 1)};
    double w[4];
    const auto expectWeights = [&](const V& q, double a, double b, double c, double d) {
        ASSERT_TRUE(closestPointOnTetrahedron(p, q, w));
        EXPECT_NEAR(w[0], a, 1e-12);
        EXPECT_NEAR(w[1], b, 1e-12);
        EXPECT_NEAR(w[2], c, 1e-12);
        EXPECT_NEAR(w[3], d, 1e-12);
    };
    expectWeights(V(-1, -1, -1), 1, 0, 0, 0);                            // vertex
    expectWeights(V(3, 0.5, -2), 0, 1, 0, 0);                            // another vertex
    expectWeights(V(0.5, -1, -1), 0.5, 0.5, 0, 0);                       // edge 01
    expectWeights(V(-1, 0.6, 0.6), 0, 0, 0.5, 0.5);                      // edge 23
    expectWeights(V(0.25, 0.25, -1), 0.5, 0.25, 0.25, 0);                // face 012
    expectWeights(V(1, 1, 1), 0, 1.0 / 3.0, 1.0 / 3.0, 1.0 / 3.0);      // face 123
    expectWeights(V(0.1, 0.2, 0.3), 0.5, 0, 0.2, 0.3);                   // inside: nearest face 023

    // A flat quad (the corners as the caller passes them), q on its face 012: the
    // weights rebuild q.
    const V quad[4] = {V(0, 0, 0), V(2, 0, 1), V(2, 2, 1), V(0, 2, 0)};
    const V q(1.1, 0.9, 0.55);
    ASSERT_TRUE(closestPointOnTetrahedron(quad, q, w));
    EXPECT_NEAR(w[0], 0.45, 1e-12);
    EXPECT_NEAR(w[1], 0.1, 1e-12);
    EXPECT_NEAR(w[2], 0.45, 1e-12);
    EXPECT_NEAR(w[3], 0.0, 1e-12);
    expectNear(quad[0] * w[0] + quad[1] * w[1] + quad[2] * w[2] + quad[3] * w[3], q, 1e-12);

    // A collapsed simplex answers its first point; earlier weights are cleared.
    const V same[4] = {V(1, 2, 3), V(1, 2, 3), V(1, 2, 3), V(1, 2, 3)};
    w[0] = w[1] = w[2] = w[3] = 5.0;
    ASSERT_TRUE(closestPointOnTetrahedron(same, V(0, 0, 0), w));
    EXPECT_EQ(w[0], 1.0);
    EXPECT_EQ(w[1] + w[2] + w[3], 0.0);
}

TEST(PrimitiveDistances, BoxCorners) {
    ZYLbox a;
    a.axes.SetIdentity();
    a.halfExtents = V(0.5, 0.5, 0.5);
    ZYLbox b = a;
    b.centre = V(3, 0, 0);
    EXPECT_DOUBLE_EQ(minCornerDistanceSq(a, b), 4.0);
    // Turned 45 degrees about z, b's nearest corner points at a.
    const double h = std::sqrt(0.5);
    b.axes = Qmt::QmtMatrix3(V(h, h, 0), V(-h, h, 0), V(0, 0, 1));
    const double reach = 3.0 - std::sqrt(0.5);
    EXPECT_NEAR(minCornerDistanceSq(a, b), (reach - 0.5) * (reach - 0.5) + 0.25, 1e-12);
}

TEST(PrimitiveDistances, RaySphere) {
    V pts[2];
    std::uint32_t count = 9;
    // Ahead: entry, then exit.
    EXPECT_TRUE(intersectRaySphere(V(-5, 0, 0), V(1, 0, 0), V(0, 0, 0), 1.0, count, pts));
    EXPECT_EQ(count, 2u);
    expectNear(pts[0], V(-1, 0, 0));
    expectNear(pts[1], V(1, 0, 0));
    // From inside: the exit point only.
    EXPECT_TRUE(intersectRaySphere(V(0, 0, 0), V(0, 2, 0), V(0, 0, 0), 1.0, count, pts));
    EXPECT_EQ(count, 1u);
    expectNear(pts[0], V(0, 1, 0));
    // Behind the origin.
    EXPECT_FALSE(intersectRaySphere(V(5, 0, 0), V(1, 0, 0), V(0, 0, 0), 1.0, count, pts));
    EXPECT_EQ(count, 0u);
    // Tangent ahead and behind.
    EXPECT_TRUE(intersectRaySphere(V(-5, 1, 0), V(1, 0, 0), V(0, 0, 0), 1.0, count, pts));
    EXPECT_EQ(count, 1u);
    expectNear(pts[0], V(0, 1, 0));
    EXPECT_FALSE(intersectRaySphere(V(5, 1, 0), V(1, 0, 0), V(0, 0, 0), 1.0, count, pts));
    // Missing.
    count = 9;
    EXPECT_FALSE(intersectRaySphere(V(-5, 2, 0), V(1, 0, 0), V(0, 0, 0), 1.0, count, pts));
    EXPECT_EQ(count, 0u);
}

TEST(PrimitiveDistances, ComparePrefix) {
    EXPECT_EQ(comparePrefix("abc", "abd"), -1);
    EXPECT_EQ(comparePrefix("abd", "abc"), 1);
    EXPECT_EQ(comparePrefix("ab", "abc"), 0);
    EXPECT_EQ(comparePrefix("abc", "abc"), 0);
    EXPECT_EQ(comparePrefix("", "abc"), 0);
    EXPECT_EQ(comparePrefix("x", ""), 0);
    // Signed characters: 0x80 sorts below 'a'.
    EXPECT_EQ(comparePrefix("\x80", "a"), -1);
    EXPECT_EQ(comparePrefix(nullptr, "a"), 0);
}

// ---- properties at every size, against the exact references ------------------------

namespace {

using exact::L3;

class CapsuleProximityAtSize : public ::testing::TestWithParam<double> {
protected:
    double tol() const { return 1e-9 * GetParam() * GetParam(); }
};

bool onTriangle(double w0, double w1) { return w0 >= 0.0 && w1 >= 0.0 && w0 + w1 <= 1.0 + 1e-12; }

// A segment in a chosen relation to the triangle; kind in [0, 5).
std::array<V, 2> segmentNear(exact::Generator& gen, const std::array<V, 3>& T, int kind) {
    const V c = trianglePoint(T.data(), gen.uniform(0, 0.5), gen.uniform(0, 0.5));
    V n = (T[1] - T[0]).Cross(T[2] - T[0]);
    n.Unitize(0.0);
    const double size = gen.size();
    switch (kind) {
        case 1: {  // through the face (or its plane)
            const V d = gen.direction() * size;
            return {c + d * gen.uniform(0, 1), c - d * gen.uniform(0, 1)};
        }
        case 2: {  // nearly parallel to the face, through it or just beside it
            const V d = gen.tilt(T[1] - T[0], gen.pick(2) ? 1e-3 : 1e-8);
            const V lift = n * (gen.pick(2) ? 0.0 : size * 1e-4);
            return {c + lift - d * gen.uniform(0, 1), c + lift + d * gen.uniform(0, 1)};
        }
        case 3: {  // parallel to the face, above it
            const V d = (T[2] - T[1]) * gen.uniform(-1, 1);
            const V lift = n * (size * gen.uniform(0, 0.3));
            return {c + lift - d, c + lift + d};
        }
        case 4:  // from a corner
            return {T[gen.pick(3)], gen.point()};
        default:
            return {gen.point(), gen.point()};
    }
}

ZYLcapsule capsuleOn(const V& p0, const V& p1, double radius) {
    V axis = p1 - p0;
    const double length = axis.Length();
    if (length > 0.0) axis = axis * (1.0 / length);
    return {(p0 + p1) * 0.5, axis, length, radius};
}

// The capsule's core segment as the routines build it.
std::array<V, 2> coreOf(const ZYLcapsule& c) {
    const V aL = c.axis * c.length;
    return {c.centre - aL * 0.5, c.centre + aL * 0.5};
}

}  // namespace

// Segment against triangle and triangle against triangle: distances, parameters on
// their features that rebuild the distance, either order.
TEST_P(CapsuleProximityAtSize, SegmentAndTrianglePairs) {
    exact::Generator gen(GetParam(), 31);
    for (int i = 0; i < 3000; ++i) {
        const auto T = gen.triangle(i % 4);
        const L3 LT[3] = {T[0], T[1], T[2]};
        const auto [p0, p1] = segmentNear(gen, T, (i / 4) % 5);
        double s = -1, w0 = -1, w1 = -1;
        const double d = sqrDistanceSegmentTriangle(p0, p1, T.data(), V(), s, w0, w1);
        ASSERT_NEAR(d, static_cast<double>(exact::segmentTriangle(p0, p1, LT)), tol()) << "case " << i;
        ASSERT_TRUE(s >= 0.0 && s <= 1.0 && onTriangle(w0, w1)) << "case " << i;
        ASSERT_NEAR((p0 + (p1 - p0) * s - trianglePoint(T.data(), w0, w1)).SquaredLength(), d, tol()) << "case " << i;
        ASSERT_NEAR(sqrDistanceSegmentTriangle(p1, p0, T.data(), V(), s, w0, w1), d, tol()) << "case " << i;
        V onSeg, onTri;
        ASSERT_EQ(closestPointsSegmentTriangle(p0, p1, T.data(), V(), onSeg, onTri), d);
        ASSERT_NEAR((onSeg - onTri).SquaredLength(), d, tol()) << "case " << i;

        const V B[3] = {p0, p1, i % 3 ? gen.point() : p0 + (p1 - p0) * 0.5};
        const L3 LB[3] = {B[0], B[1], B[2]};
        double a0 = -1, a1 = -1, b0 = -1, b1 = -1;
        const double dt = sqrDistanceTriangleTriangle(T.data(), V(), B, V(), a0, a1, b0, b1);
        ASSERT_NEAR(dt, static_cast<double>(exact::triangleTriangle(LT, LB)), tol()) << "case " << i;
        ASSERT_TRUE(onTriangle(a0, a1) && onTriangle(b0, b1)) << "case " << i;
        ASSERT_NEAR((trianglePoint(T.data(), a0, a1) - trianglePoint(B, b0, b1)).SquaredLength(), dt, tol())
            << "case " << i;
        ASSERT_NEAR(sqrDistanceTriangleTriangle(B, V(), T.data(), V(), a0, a1, b0, b1), dt, tol()) << "case " << i;
    }
}

// Capsule pairs and capsule against triangle: overlaps agree with the exact distances
// away from the boundary, separations and contact depths match them.
TEST_P(CapsuleProximityAtSize, Capsules) {
    exact::Generator gen(GetParam(), 32);
    const double size = GetParam();
    const double near = 1e-6 * size;
    for (int i = 0; i < 3000; ++i) {
        const auto pair = gen.segmentPair(i % 7);
        const ZYLcapsule a = capsuleOn(pair[0], pair[1], size * gen.uniform(0, 0.3));
        const ZYLcapsule b = capsuleOn(pair[2], pair[3], size * gen.uniform(0, 0.3));
        const auto ca = coreOf(a), cb = coreOf(b);
        const double gap = std::sqrt(static_cast<double>(exact::segmentSegment(ca[0], ca[1], cb[0], cb[1])));
        const double reach = a.radius + b.radius;
        if (std::fabs(gap - reach) > near) {
            ASSERT_EQ(capsulesOverlap(a, b), gap < reach) << "case " << i;
        }
        V point, normal;
        double separation = 0;
        capsuleCapsuleContact(a, b, point, normal, separation);
        // Closest points within sqrt(1e-5) count as coincident centres: the larger
        // radius alone is the depth.
        if (!(gap * gap <= 1e-5 && separation == -std::fmax(a.radius, b.radius))) {
            ASSERT_NEAR(separation, gap - reach, near) << "case " << i;
        }

        const auto T = gen.triangle(i % 8 < 6 ? 0 : i % 4);
        const L3 LT[3] = {T[0], T[1], T[2]};
        const auto seg = segmentNear(gen, T, (i / 8) % 5);
        const ZYLcapsule c = capsuleOn(seg[0], seg[1], size * gen.uniform(0.01, 0.3));
        const auto cc = coreOf(c);
        const double toTri = std::sqrt(static_cast<double>(exact::segmentTriangle(cc[0], cc[1], LT)));
        V n = (T[1] - T[0]).Cross(T[2] - T[0]);
        n.Unitize(0.0);
        if (std::fabs(toTri - c.radius) > near) {
            ASSERT_EQ(capsuleOverlapsTriangle(c, T.data(), n), toTri < c.radius) << "case " << i;
        }
        if (i % 8 >= 6) {
            continue;  // contacts need a face
        }

        // The contact: over the face, the lower end of the part of the core above it
        // (equal heights within 1e-5 give both); beside it, the nearest edge.
        if (gen.pick(2)) n = -n;  // either winding about the normal
        V pts[2];
        std::uint32_t count = 0;
        double depth = 0;
        capsuleTriangleContact(c, T.data(), n, pts, normal, count, depth);
        const L3 P0 = cc[0], D = L3(cc[1]) - L3(cc[0]), N = (LT[1] - LT[0]).cross(LT[2] - LT[0]);
        exact::Real lo = 0, hi = 1;
        for (int k = 0; k < 3; ++k) {  // the part of the core whose shadow is inside edge k
            const L3 e = LT[(k + 1) % 3] - LT[k];
            const exact::Real g0 = e.cross(P0 - LT[k]).dot(N), dg = e.cross(D).dot(N);
            if (dg != 0) {
                (dg > 0 ? lo : hi) = dg > 0 ? std::max(lo, -g0 / dg) : std::min(hi, -g0 / dg);
            } else if (g0 < 0) {
                lo = 2;
            }
        }
        const double slack = 1e-6;
        if (hi - lo > slack) {
            const double h0 = static_cast<double>((P0 + D * lo - LT[0]).dot(L3(n)));
            const double h1 = static_cast<double>((P0 + D * hi - LT[0]).dot(L3(n)));
            const bool either = std::fabs(h0 - h1) < 1e-5 + near;
            if (!either) {
                ASSERT_NEAR(depth, std::fmin(h0, h1) - c.radius, near) << "case " << i;
                ASSERT_EQ(count, 1u) << "case " << i;
            }
        } else if (lo - hi > slack || lo > 1 + slack || hi < -slack) {
            double edges = INFINITY;
            for (int k = 0; k < 3; ++k) {
                const double e = static_cast<double>(exact::segmentSegment(cc[0], cc[1], T[k], T[(k + 1) % 3]));
                edges = std::fmin(edges, e);
            }
            ASSERT_NEAR(depth, c.radius - std::sqrt(edges), near) << "case " << i;
        }
    }
}

// The smallest cases that went wrong with thresholds taken absolutely.
TEST(PrimitiveDistances, ThresholdsFollowTheInputsSize) {
    double s = -1, w0 = -1, w1 = -1;
    const V collinear[3] = {V(0, 0, 0), V(0.1, 0.1, 0.5), V(0.02, 0.02, 0.1)};
    const double d = sqrDistanceSegmentTriangle(V(-1, 1, 1), V(1, -0.5, -1), collinear, UP, s, w0, w1);
    EXPECT_NEAR(d, static_cast<double>(exact::segmentTriangle(L3(V(-1, 1, 1)), L3(V(1, -0.5, -1)),
                                                              std::array<L3, 3>{collinear[0], collinear[1],
                                                                                collinear[2]}.data())),
                1e-12);
    EXPECT_NEAR(d, 0.0488, 1e-4);

    // Crossing cores 0.02 long with radius 0.001 overlap.
    const ZYLcapsule a = makeCapsule(V(0, 0, 0), V(1, 0, 0), 0.02, 0.001);
    const ZYLcapsule b = makeCapsule(V(0, 0, 0.0015), V(0, 1, 0), 0.02, 0.001);
    EXPECT_TRUE(capsulesOverlap(a, b));

    // A core from over a corner down into the face: the lower end alone, 0.05 deep.
    Contact hit;
    const ZYLcapsule tilted = capsuleOn(V(0, 0, 0.5), V(0.3, 0.3, 0.1), 0.05);
    EXPECT_TRUE(hit.triangle(tilted, RIGHT_TRI));
    EXPECT_EQ(hit.count, 1u);
    EXPECT_NEAR(hit.depth, 0.05, 1e-12);
}

INSTANTIATE_TEST_SUITE_P(Sizes, CapsuleProximityAtSize, ::testing::ValuesIn(exact::SIZES));
