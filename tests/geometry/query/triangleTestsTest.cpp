#include "geometry/query/triangleTests.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <utility>
#include <vector>

#include "tests/geometry/query/distanceReferences.h"
#include "tests/testSupport.h"

namespace {

using V = Qmt::QmtVector3;
using Points = std::vector<V>;
using zyltest::expectNear;

const V UP(0, 0, 1);
const V DOWN(0, 0, -1);
const V SENTINEL(123, 456, 789);
const double R3 = std::sqrt(3.0);

bool contains(const V* points, std::uint32_t count, const V& q) {
    for (std::uint32_t i = 0; i < count; ++i) {
        if ((points[i] - q).SquaredLength() < 1e-20) return true;
    }
    return false;
}

// Regular n-gon of radius r about the origin in z = 0, counter-clockwise.
std::vector<V> regularPolygon(std::uint32_t n, double r) {
    std::vector<V> v(n);
    for (std::uint32_t i = 0; i < n; ++i) {
        v[i] = V(r * std::cos(2.0 * M_PI * i / n), r * std::sin(2.0 * M_PI * i / n), 0.0);
    }
    return v;
}

TEST(TrianglesIntersect, TouchingParallelAndMargin) {
    const V A[3] = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
    const V shared[3] = {{1, 0, 0}, {1, 1, 0}, {0, 1, 0}};  // touching intervals do not separate
    EXPECT_TRUE(trianglesIntersect(A, UP, shared, UP));
    const V apart[3] = {{1.1, 0.1, 0}, {2, 0.1, 0}, {1.1, 1, 0}};
    EXPECT_FALSE(trianglesIntersect(A, UP, apart, UP));
    EXPECT_FALSE(trianglesIntersectWithMargin(A, UP, apart, UP, 0.5));  // the margin acts on nA only

    const V above[3] = {{0, 0, 0.01}, {1, 0, 0.01}, {0, 1, 0.01}};
    EXPECT_FALSE(trianglesIntersect(above, UP, A, UP));
    EXPECT_TRUE(trianglesIntersectWithMargin(above, UP, A, UP, 0.02));
    EXPECT_FALSE(trianglesIntersectWithMargin(above, UP, A, UP, 0.005));
    EXPECT_TRUE(trianglesIntersectWithMargin(A, UP, above, UP, 0.01));  // exactly the gap
}

TEST(TrianglesIntersect, CrossingPlanes) {
    const V A[3] = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
    const V n45 = V(1, 1, 0) * (1.0 / std::sqrt(2.0));
    // Vertical triangles in x + y = 0.75.
    const V piercing[3] = {{0.5, 0.25, -1}, {0.25, 0.5, 1}, {0.6, 0.15, 1}};
    EXPECT_TRUE(trianglesIntersect(A, UP, piercing, n45));
    EXPECT_TRUE(trianglesIntersect(piercing, n45, A, UP));
    const V beside[3] = {{2, -1.25, -1}, {2, -1.25, 1}, {3, -2.25, 0}};  // only an edge axis separates
    EXPECT_FALSE(trianglesIntersect(A, UP, beside, n45));
    EXPECT_FALSE(trianglesIntersect(beside, n45, A, UP));
    const V high[3] = {{0.5, 0.25, 0.5}, {0.25, 0.5, 2}, {0.6, 0.15, 2}};
    EXPECT_FALSE(trianglesIntersect(A, UP, high, n45));
    EXPECT_FALSE(trianglesIntersect(high, n45, A, UP));
    const V corner[3] = {{0.5, 0.25, 0}, {0.25, 0.5, 1}, {0.6, 0.15, 1}};  // touches A from above
    EXPECT_TRUE(trianglesIntersect(A, UP, corner, n45));

    double lo = 0.0, hi = 0.0;
    triangleProjectionInterval(V(1, 2, 3), piercing, lo, hi);
    EXPECT_DOUBLE_EQ(lo, -2.0);
    EXPECT_DOUBLE_EQ(hi, 4.25);
}

TEST(ClipConvexPolygonByPlane, SidesAndZeroDistanceCorners) {
    // Two corners on x = 0, two above: unchanged. All at or below x = 1: nothing.
    V square[CLIP_MAX_VERTICES] = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};
    std::uint32_t count = 4;
    clipConvexPolygonByPlane(V(1, 0, 0), 0.0, count, square);
    ASSERT_EQ(count, 4u);
    EXPECT_EQ(square[3], V(0, 1, 0));
    clipConvexPolygonByPlane(V(1, 0, 0), 1.0, count, square);
    EXPECT_EQ(count, 0u);

    // Through the middle: from the first kept corner, crossings in walk order.
    V big[CLIP_MAX_VERTICES] = {{0, 0, 0}, {2, 0, 0}, {2, 2, 0}, {0, 2, 0}};
    count = 4;
    clipConvexPolygonByPlane(V(1, 0, 0), 1.0, count, big);
    ASSERT_EQ(count, 4u);
    EXPECT_EQ(Points(big, big + 4), (Points{{2, 0, 0}, {2, 2, 0}, {1, 2, 0}, {1, 0, 0}}));

    // A corner exactly on the plane is not copied but comes back, exactly, as a crossing.
    V tri[CLIP_MAX_VERTICES] = {{0, 0, 0}, {2, 0, 0}, {1, 2, 0}};
    count = 3;
    clipConvexPolygonByPlane(V(1, 0, 0), 1.0, count, tri);
    ASSERT_EQ(count, 3u);
    EXPECT_EQ(Points(tri, tri + 3), (Points{{2, 0, 0}, {1, 2, 0}, {1, 0, 0}}));
}

TEST(ClipConvexPolygonByPlane, RefusesWhatDoesNotFit) {
    // 64 corners with one cut off would need 65: refused.
    std::vector<V> poly = regularPolygon(CLIP_MAX_VERTICES, 1.0);
    poly.push_back(SENTINEL);
    std::uint32_t count = CLIP_MAX_VERTICES;
    clipConvexPolygonByPlane(V(-1, 0, 0), -0.999, count, poly.data());
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(poly[CLIP_MAX_VERTICES], SENTINEL);
    std::vector<V> fits = regularPolygon(CLIP_MAX_VERTICES - 1, 1.0);
    fits.resize(CLIP_MAX_VERTICES);
    count = CLIP_MAX_VERTICES - 1;
    clipConvexPolygonByPlane(V(-1, 0, 0), -0.999, count, fits.data());
    EXPECT_EQ(count, CLIP_MAX_VERTICES);
    std::vector<V> tooMany = regularPolygon(CLIP_MAX_VERTICES + 1, 1.0);
    count = CLIP_MAX_VERTICES + 1;
    clipConvexPolygonByPlane(V(-1, 0, 0), -0.999, count, tooMany.data());
    EXPECT_EQ(count, 0u);

    // The 2D polygon clipper refuses bad counts the same way.
    const V unit[4] = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};
    const V shifted[4] = {{0.5, 0.5, 0}, {1.5, 0.5, 0}, {1.5, 1.5, 0}, {0.5, 1.5, 0}};
    V out[CLIP_MAX_VERTICES];
    ASSERT_TRUE(clipPolygonByConvexPolygon2D(unit, 4, shifted, 4, count, out));
    ASSERT_EQ(count, 4u);
    for (const V& q : {V(0.5, 0.5, 0), V(1, 0.5, 0), V(1, 1, 0), V(0.5, 1, 0)}) EXPECT_TRUE(contains(out, 4, q));
    const V far[3] = {{3, 3, 0}, {4, 3, 0}, {3, 4, 0}};
    EXPECT_FALSE(clipPolygonByConvexPolygon2D(unit, 4, far, 3, count, out));
    EXPECT_EQ(count, 0u);
    count = 7;
    EXPECT_FALSE(clipPolygonByConvexPolygon2D(unit, 4, shifted, -1, count, out));
    EXPECT_EQ(count, 0u);
    EXPECT_FALSE(clipPolygonByConvexPolygon2D(unit, 4, tooMany.data(), CLIP_MAX_VERTICES + 1, count, out));
}

TEST(Segments2D, LinesCrossingParallelAndCollinear) {
    V diff;
    double sqrLen0 = 0.0;
    std::uint32_t quantity = 9;
    double params[2] = {0.0, 0.0};
    ASSERT_TRUE(intersectLines2D(V(0, 0, 0), V(2, 0, 0), V(1, -1, 0), V(0, 4, 0), diff, sqrLen0, quantity, params));
    EXPECT_EQ(quantity, 1u);
    EXPECT_DOUBLE_EQ(params[0], 0.5);
    EXPECT_DOUBLE_EQ(params[1], 0.25);
    EXPECT_EQ(diff, V(1, -1, 0));
    EXPECT_EQ(sqrLen0, 4.0);

    // Collinear overlaps as fractions of the first segment, either direction.
    ASSERT_TRUE(intersectSegments2D(V(0, 0, 0), V(2, 0, 0), V(1, 0, 0), V(3, 0, 0), quantity, params));
    EXPECT_EQ(quantity, 2u);
    EXPECT_EQ(params[0], 0.5);
    EXPECT_EQ(params[1], 1.0);
    ASSERT_TRUE(intersectSegments2D(V(0, 0, 0), V(4, 0, 0), V(3, 0, 0), V(1, 0, 0), quantity, params));
    EXPECT_EQ(params[0], 0.25);
    EXPECT_EQ(params[1], 0.75);
    // End to end, either way round: one point.
    ASSERT_TRUE(intersectSegments2D(V(0, 0, 0), V(1, 0, 0), V(1, 0, 0), V(2, 0, 0), quantity, params));
    EXPECT_EQ(quantity, 1u);
    EXPECT_EQ(params[0], 1.0);
    ASSERT_TRUE(intersectSegments2D(V(1, 0, 0), V(2, 0, 0), V(0, 0, 0), V(1, 0, 0), quantity, params));
    EXPECT_EQ(quantity, 1u);
    EXPECT_EQ(params[0], 0.0);
    EXPECT_FALSE(intersectSegments2D(V(0, 0, 0), V(1, 0, 0), V(1.5, 0, 0), V(2, 0, 0), quantity, params));
    EXPECT_FALSE(intersectSegments2D(V(0, 0, 0), V(1, 0, 0), V(2, -1, 0), V(2, 1, 0), quantity, params));
    EXPECT_EQ(quantity, 0u);
    ASSERT_TRUE(intersectSegments2D(V(0, 0, 0), V(1, 0, 0), V(1, 0, 0), V(1, 1, 0), quantity, params));
    EXPECT_EQ(params[0], 1.0);
    EXPECT_EQ(params[1], 0.0);
}

TEST(Segments2D, ZeroLengthFirstSegmentMeetsOnlyWhatItTouches) {
    std::uint32_t quantity = 9;
    double params[2] = {0.0, 0.0};
    const V p(5, 5, 0), on(0.25, 0, 0);
    EXPECT_FALSE(intersectSegments2D(p, p, V(0, 0, 0), V(1, 0, 0), quantity, params));
    EXPECT_EQ(quantity, 0u);
    ASSERT_TRUE(intersectSegments2D(on, on, V(0, 0, 0), V(1, 0, 0), quantity, params));
    EXPECT_EQ(quantity, 1u);
    EXPECT_EQ(params[1], 0.25);
    EXPECT_FALSE(intersectSegments2D(on, on, V(2, 0, 0), V(3, 0, 0), quantity, params));
    EXPECT_TRUE(intersectSegments2D(on, on, on, on, quantity, params));
    EXPECT_FALSE(intersectSegments2D(on, on, p, p, quantity, params));
}

TEST(LocatePoint, ConvexPolygonAndTriangle) {
    const V square[4] = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};
    const std::uint32_t four = 4;
    std::int32_t edge = 77;
    EXPECT_TRUE(locatePointInConvexPolygon(V(0.5, 0.5, 0), square, four, UP, edge));
    EXPECT_EQ(edge, 77);  // untouched when inside
    EXPECT_TRUE(locatePointInConvexPolygon(V(1, 0.5, 0), square, four, UP, edge));  // on an edge
    EXPECT_FALSE(locatePointInConvexPolygon(V(1.5, 0.5, 0), square, four, UP, edge));
    EXPECT_EQ(edge, 1);
    EXPECT_FALSE(locatePointInConvexPolygon(V(-0.5, 0.5, 0), square, four, UP, edge));
    EXPECT_EQ(edge, 3);  // the closing edge
    const V clockwise[4] = {{0, 0, 0}, {0, 1, 0}, {1, 1, 0}, {1, 0, 0}};
    EXPECT_TRUE(locatePointInConvexPolygon(V(0.5, 0.5, 0), clockwise, four, UP, edge));
    EXPECT_FALSE(locatePointInConvexPolygon(V(0.5, 1.5, 0), clockwise, four, UP, edge));
    EXPECT_EQ(edge, 1);

    const V tri[3] = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
    std::int32_t code = 5;
    EXPECT_TRUE(locatePointInTriangle(V(0.2, 0.2, 0), tri, UP, code));
    EXPECT_EQ(code, -1);
    EXPECT_FALSE(locatePointInTriangle(V(0.2, -0.2, 0), tri, UP, code));
    EXPECT_EQ(code, 0);
    EXPECT_FALSE(locatePointInTriangle(V(0.8, 0.8, 0), tri, UP, code));
    EXPECT_EQ(code, 1);
    EXPECT_FALSE(locatePointInTriangle(V(-0.2, 0.2, 0), tri, UP, code));
    EXPECT_EQ(code, 2);
}

TEST(SegmentPolygonCrossings2D, VerticesEdgesAndLimit) {
    const V square[4] = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};
    V points[SEGMENT_CROSSINGS_MAX + 1] = {{}, {}, {}, SENTINEL};
    std::int32_t found = -1;
    // Through two corners: each once, in edge order.
    ASSERT_TRUE(segmentPolygonCrossings2D(square, 4, V(-1, -1, 0), V(2, 2, 0), found, points));
    ASSERT_EQ(found, 2);
    EXPECT_EQ(points[0], V(0, 0, 0));
    EXPECT_EQ(points[1], V(1, 1, 0));
    // Along the bottom edge: the start of the overlap, then the corner the next edge meets.
    ASSERT_TRUE(segmentPolygonCrossings2D(square, 4, V(0.25, 0, 0), V(2, 0, 0), found, points));
    ASSERT_EQ(found, 2);
    EXPECT_EQ(points[0], V(0.25, 0, 0));
    EXPECT_EQ(points[1], V(1, 0, 0));
    // Crossed five times: three recorded, nothing written past them.
    const V zigzag[6] = {{0, 0, 0}, {1, 2, 0}, {2, 0, 0}, {3, 2, 0}, {4, 0, 0}, {5, 2, 0}};
    ASSERT_TRUE(segmentPolygonCrossings2D(zigzag, 6, V(-1, 1, 0), V(6, 1, 0), found, points));
    EXPECT_EQ(found, 3);
    EXPECT_EQ(points[2], V(2.5, 1, 0));
    EXPECT_EQ(points[3], SENTINEL);
}

TEST(ClipSegmentToPolygon, InsideOutsideCrossingAndWinding) {
    const V tri[3] = {{0, 0, 0}, {4, 0, 0}, {0, 4, 0}};
    const std::uint32_t three = 3;
    V out[2];
    ASSERT_EQ(clipSegmentToPolygon(V(1, 1, 0), V(2, 1, 0), tri, three, UP, out), 2u);  // lying inside
    expectNear(out[0], V(1, 1, 0));
    expectNear(out[1], V(2, 1, 0));
    EXPECT_EQ(clipSegmentToPolygon(V(5, 5, 0), V(6, 5, 0), tri, three, UP, out), 0u);
    // Both crossings, in the edge order of the frame polygon (V0, V2, V1): hypotenuse first.
    ASSERT_EQ(clipSegmentToPolygon(V(1, -1, 0), V(1, 5, 0), tri, three, UP, out), 2u);
    expectNear(out[0], V(1, 3, 0));
    expectNear(out[1], V(1, 0, 0));
    // One end inside: the crossing, then that end.
    ASSERT_EQ(clipSegmentToPolygon(V(1, 5, 0), V(1, 1, 0), tri, three, UP, out), 2u);
    expectNear(out[0], V(1, 3, 0));
    expectNear(out[1], V(1, 1, 0));
    ASSERT_EQ(clipSegmentToPolygon(V(-1, 3, 0), V(1, 5, 0), tri, three, UP, out), 1u);  // a corner only
    expectNear(out[0], V(0, 4, 0));
    // Clockwise with the opposite normal: the same polygon, its frame order now bottom edge first.
    const V clockwise[3] = {{0, 0, 0}, {0, 4, 0}, {4, 0, 0}};
    ASSERT_EQ(clipSegmentToPolygon(V(1, -1, 0), V(1, 5, 0), clockwise, three, DOWN, out), 2u);
    expectNear(out[0], V(1, 0, 0));
    expectNear(out[1], V(1, 3, 0));

    // A tilted square with the segment parallel to it, 0.5 off: the points stay on the segment.
    const V n = V(0, -1, 1) * (1.0 / std::sqrt(2.0));
    const V quad[4] = {{0, 0, 0}, {2, 0, 0}, {2, 1, 1}, {0, 1, 1}};
    const std::uint32_t four = 4;
    const V lift = V(0, 0.5, 0.5) + n * 0.5;
    ASSERT_EQ(clipSegmentToPolygon(V(-1, 0, 0) + lift, V(1, 0, 0) + lift, quad, four, n, out), 2u);
    expectNear(out[0], lift);
    expectNear(out[1], V(1, 0, 0) + lift);
}

TEST(ClipSegmentToPolygon, PolygonSizeLimits) {
    V out[2] = {SENTINEL, SENTINEL};
    const std::vector<V> fits = regularPolygon(POLYGON_MAX_VERTICES, 2.0);
    std::uint32_t count = POLYGON_MAX_VERTICES;
    EXPECT_EQ(clipSegmentToPolygon(V(-5, 0.1, 0), V(5, 0.1, 0), fits.data(), count, UP, out), 2u);
    out[0] = out[1] = SENTINEL;
    const std::vector<V> tooMany = regularPolygon(POLYGON_MAX_VERTICES + 1, 2.0);
    count = POLYGON_MAX_VERTICES + 1;
    EXPECT_EQ(clipSegmentToPolygon(V(-5, 0.1, 0), V(5, 0.1, 0), tooMany.data(), count, UP, out), 0u);
    count = 2;
    EXPECT_EQ(clipSegmentToPolygon(V(-5, 0, 0), V(5, 0, 0), fits.data(), count, UP, out), 0u);
    EXPECT_EQ(out[0], SENTINEL);
}

TEST(CoplanarOverlap, TrianglesInAPlane) {
    const V A[3] = {{0, 0, 0}, {2, 0, 0}, {0, 2, 0}};
    V out[TRIANGLE_OVERLAP_MAX_POINTS];
    ASSERT_EQ(coplanarTriangleOverlap(A, UP, A, out), 3);
    for (const V& corner : A) EXPECT_TRUE(contains(out, 3, corner));
    // B lies 1 above A's plane and is projected into it.
    const V B[3] = {{1, -1, 1}, {3, 1, 1}, {1, 1, 1}};
    ASSERT_EQ(coplanarTriangleOverlap(A, UP, B, out), 3);
    for (const V& q : {V(1, 0, 0), V(2, 0, 0), V(1, 1, 0)}) EXPECT_TRUE(contains(out, 3, q));
    const V far[3] = {{5, 5, 0}, {6, 5, 0}, {5, 6, 0}};
    EXPECT_EQ(coplanarTriangleOverlap(A, UP, far, out), 0);
    const V up3[3] = {{0, 2, 0}, {-R3, -1, 0}, {R3, -1, 0}};
    const V down3[3] = {{0, -2, 0}, {R3, 1, 0}, {-R3, 1, 0}};
    EXPECT_EQ(coplanarTriangleOverlap(up3, UP, down3, out), 6);
}

TEST(CoplanarOverlap, ThinningDropsMidEdgePointsAndClosesWithTheFartherOne) {
    const std::vector<V> big = regularPolygon(4, 10.0);
    const std::uint32_t four = 4, five = 5;
    V out[CLIP_MAX_VERTICES];
    // An extra point in the middle of an edge goes.
    const V midEdge[5] = {{0, 0, 0}, {1, 0, 0}, {1, 0.5, 0}, {1, 1, 0}, {0, 1, 0}};
    ASSERT_EQ(coplanarPolygonOverlap(big.data(), four, UP, midEdge, five, out), 4u);
    EXPECT_FALSE(contains(out, 4, V(1, 0.5, 0)));
    for (const V& q : {V(0, 0, 0), V(1, 0, 0), V(1, 1, 0), V(0, 1, 0)}) EXPECT_TRUE(contains(out, 4, q));
    // The extra point last, on the closing edge: dropped, and the corner before it,
    // farther from Q0, closes the list although it was kept already.
    const V square[4] = {{-10, -10, 0}, {10, -10, 0}, {10, 10, 0}, {-10, 10, 0}};
    const V midClosing[5] = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {0, 0.5, 0}};
    ASSERT_EQ(coplanarPolygonOverlap(square, four, UP, midClosing, five, out), 5u);
    const V expected[5] = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {0, 1, 0}};
    for (std::uint32_t i = 0; i < 5; ++i) expectNear(out[i], expected[i], 1e-12);
}

TEST(CoplanarOverlap, PolygonsAndSizeLimits) {
    const std::vector<V> A = regularPolygon(POLYGON_MAX_VERTICES, 1.0);
    std::vector<V> B = regularPolygon(POLYGON_MAX_VERTICES, 1.0);
    for (V& p : B) p = p + V(1.0, 0.0, 0.5);  // off A's plane
    std::vector<V> out(CLIP_MAX_VERTICES + 1, SENTINEL);
    const std::uint32_t n = POLYGON_MAX_VERTICES, over = POLYGON_MAX_VERTICES + 1, two = 2;
    const std::uint32_t m = coplanarPolygonOverlap(A.data(), n, UP, B.data(), n, out.data());
    ASSERT_GE(m, 3u);
    ASSERT_LE(m, CLIP_MAX_VERTICES);
    EXPECT_EQ(out[CLIP_MAX_VERTICES], SENTINEL);
    for (std::uint32_t i = 0; i < m; ++i) {  // on A's plane, inside both
        EXPECT_NEAR(out[i].z, 0.0, 1e-12);
        EXPECT_LE(out[i].SquaredLength(), 1.0 + 1e-9);
        EXPECT_LE((out[i] - V(1, 0, 0)).SquaredLength(), 1.0 + 1e-9);
    }
    const std::vector<V> tooMany = regularPolygon(over, 1.0);
    out.assign(out.size(), SENTINEL);
    EXPECT_EQ(coplanarPolygonOverlap(tooMany.data(), over, UP, B.data(), n, out.data()), 0u);
    EXPECT_EQ(coplanarPolygonOverlap(A.data(), n, UP, tooMany.data(), over, out.data()), 0u);
    EXPECT_EQ(coplanarPolygonOverlap(A.data(), two, UP, B.data(), n, out.data()), 0u);
    EXPECT_EQ(out[0], SENTINEL);
}

struct Contact {
    V points[TRIANGLE_OVERLAP_MAX_POINTS];
    V normal;
    std::uint32_t count = 42;
    double depth = 1.0;
    bool run(const V* A, const V& nA, const V* B, const V& nB) {
        return triangleContactSet(A, nA, B, nB, points, normal, count, depth);
    }
};

V unitNormal(const V* t) {
    V n = (t[2] - t[0]).Cross(t[1] - t[0]);
    n.Unitize(1e-12);
    return n;
}

TEST(TriangleContactSet, ParallelAndNearlyParallelFaces) {
    // Facing faces 0.1 into each other, turned so the overlap is a hexagon: every point at one depth.
    const V A[3] = {{0, 2, 0}, {-R3, -1, 0}, {R3, -1, 0}};
    const V B[3] = {{0, -2, -0.1}, {-R3, 1, -0.1}, {R3, 1, -0.1}};
    Contact c;
    ASSERT_TRUE(c.run(A, UP, B, DOWN));
    EXPECT_EQ(c.normal, DOWN);  // -nA: A is the reference on a tie
    EXPECT_NEAR(c.depth, -0.1, 1e-12);
    ASSERT_EQ(c.count, 6u);
    for (std::uint32_t i = 0; i < c.count; ++i) {
        EXPECT_NEAR(c.points[i].z, -0.1, 1e-12);
        for (std::uint32_t j = i + 1; j < c.count; ++j) EXPECT_GT((c.points[i] - c.points[j]).SquaredLength(), 0.1);
    }

    // A small B tilted slightly inside a large A: its deepest point is not the first overlap
    // point, and still every overlap point appears once, in order, at the common depth.
    const double tilt = 1e-3;
    const V large[3] = {{0, 0, 0}, {4, 0, 0}, {0, 4, 0}};
    const V small[3] = {{0.5, 0.5, -0.1 - tilt * 0.5}, {2, 0.5, -0.1 - tilt * 2}, {0.5, 2, -0.1 - tilt * 0.5}};
    V overlap[TRIANGLE_OVERLAP_MAX_POINTS];
    ASSERT_EQ(coplanarTriangleOverlap(large, UP, small, overlap), 3);
    ASSERT_TRUE(c.run(large, UP, small, unitNormal(small)));
    EXPECT_EQ(c.normal, DOWN);
    EXPECT_NEAR(c.depth, -0.1 - tilt * 2, 1e-9);
    ASSERT_EQ(c.count, 3u);
    for (int i = 0; i < 3; ++i) expectNear(c.points[i], V(overlap[i].x, overlap[i].y, c.depth));

    // Swapped sizes: B reaches deeper below A than A below B, so B is the reference, the normal
    // is nB and the points are A's corners on B's plane moved along nB.
    const V wide[3] = {{-1, -1, -0.1 + tilt}, {3, -1, -0.1 - tilt * 3}, {-1, 3, -0.1 + tilt}};
    const V nWide = unitNormal(wide);
    const V A2[3] = {{0, 0, 0}, {2, 0, 0}, {0, 2, 0}};
    ASSERT_TRUE(c.run(A2, UP, wide, nWide));
    EXPECT_EQ(c.normal, nWide);
    EXPECT_NEAR(c.depth, -0.1 - tilt * 2, 1e-6);
    ASSERT_EQ(c.count, 3u);
    ASSERT_EQ(coplanarTriangleOverlap(wide, nWide, A2, overlap), 3);
    for (int i = 0; i < 3; ++i) expectNear(c.points[i], overlap[i] + nWide * c.depth);

    // Shallower than 1e-5 counts as touching.
    const V kiss[3] = {{0.1, 0.1, -1e-7}, {0.6, 0.1, -1e-7}, {0.1, 0.6, -1e-7}};
    ASSERT_TRUE(c.run(A2, UP, kiss, DOWN));
    EXPECT_EQ(c.depth, 0.0);
    EXPECT_NEAR(c.points[0].z, 0.0, 1e-12);
}

TEST(TriangleContactSet, PerpendicularObliqueAndApart) {
    const V A[3] = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
    Contact c;
    // A wall in x = 0.25 dipping 0.2 below A: A is shallower and the reference; the raw overlap
    // points come back with A's penetration.
    const V wall[3] = {{0.25, 0.1, -0.2}, {0.25, 0.5, 1}, {0.25, 0.1, 1}};
    ASSERT_TRUE(c.run(A, UP, wall, V(1, 0, 0)));
    EXPECT_EQ(c.normal, DOWN);
    EXPECT_EQ(c.depth, -0.2);
    V overlap[TRIANGLE_OVERLAP_MAX_POINTS];
    ASSERT_EQ(c.count, static_cast<std::uint32_t>(coplanarTriangleOverlap(A, UP, wall, overlap)));
    ASSERT_GE(c.count, 1u);
    for (std::uint32_t i = 0; i < c.count; ++i) {
        expectNear(c.points[i], overlap[i]);
        EXPECT_NEAR(c.points[i].x, 0.25, 1e-12);
    }

    // A 45-degree face 0.1 below A: one point, at the deepest level and on B's plane.
    const V nSlope = V(-1, 0, -1) * (1.0 / std::sqrt(2.0));
    const V slope[3] = {{0.4, 0, -0.1}, {0.4, 1, -0.1}, {-0.6, 0.5, 0.9}};
    ASSERT_TRUE(c.run(A, UP, slope, nSlope));
    ASSERT_EQ(c.count, 1u);
    EXPECT_NEAR(c.depth, -0.1, 1e-12);
    EXPECT_NEAR(c.points[0].z, c.depth, 1e-12);
    EXPECT_NEAR((c.points[0] - slope[0]).Dot(nSlope), 0.0, 1e-12);

    const V far[3] = {{5, 5, -0.1}, {6, 5, -0.1}, {5, 6, -0.1}};
    c.count = 42;
    EXPECT_FALSE(c.run(A, UP, far, DOWN));
    EXPECT_EQ(c.count, 0u);
}

}  // namespace

// ---- properties at every size, against the exact references ------------------------

namespace {

using exact::L3;

class TriangleTestsAtSize : public ::testing::TestWithParam<double> {};

V normalOf(const V* t) {
    V n = (t[1] - t[0]).Cross(t[2] - t[0]);
    n.Unitize(0.0);
    return n;
}

// A random plane: origin and two orthonormal in-plane axes.
struct Plane {
    V origin, u, v;
    V at(double x, double y) const { return origin + u * x + v * y; }
    V normal() const { return u.Cross(v); }
    double x(const V& p) const { return (p - origin).Dot(u); }
    double y(const V& p) const { return (p - origin).Dot(v); }
};

Plane randomPlane(exact::Generator& gen) {
    const V u = gen.direction();
    V v = u.Cross(gen.direction());
    v.Unitize(0.0);
    return {gen.point(), u, v};
}

// A triangle in the plane: anywhere, small inside the unit cell, or sharing a corner.
std::array<V, 3> planeTriangle(exact::Generator& gen, const Plane& pl, int kind, const std::array<V, 3>* other) {
    const double s = gen.size();
    const auto any = [&] { return pl.at(gen.uniform(-1, 1) * s, gen.uniform(-1, 1) * s); };
    switch (kind) {
        case 1: {  // small, 1e-3 of the size, somewhere in the first
            const V c = other ? (*other)[0] * 0.6 + (*other)[1] * 0.2 + (*other)[2] * 0.2 : any();
            const double k = s * 1e-3;
            return {c, c + pl.u * (k * gen.uniform(0.5, 1)), c + pl.v * (k * gen.uniform(0.5, 1))};
        }
        case 2:  // a shared corner
            return {other ? (*other)[gen.pick(3)] : any(), any(), any()};
        default:
            return {any(), any(), any()};
    }
}

// Area of a convex point list in the plane's coordinates (its order as given).
double area(const Plane& pl, const V* p, std::uint32_t n) {
    double a = 0;
    for (std::uint32_t i = 0; i < n; ++i) {
        const V& q = p[(i + 1) % n];
        a += pl.x(p[i]) * pl.y(q) - pl.x(q) * pl.y(p[i]);
    }
    return std::fabs(a) / 2;
}

double exactArea(const Plane& pl, const V* a, std::uint32_t na, const V* b, std::uint32_t nb) {
    std::vector<L3> pa, pb;
    for (std::uint32_t i = 0; i < na; ++i) pa.push_back(L3(pl.x(a[i]), pl.y(a[i]), 0));
    for (std::uint32_t i = 0; i < nb; ++i) pb.push_back(L3(pl.x(b[i]), pl.y(b[i]), 0));
    return static_cast<double>(exact::overlapArea(pb, pa));
}

}  // namespace

// Separating axes: the verdict matches the exact gap wherever it is clear, in both
// orders, for triangles crossing, coplanar, nearly coplanar and touching.
TEST_P(TriangleTestsAtSize, TrianglesIntersect) {
    exact::Generator gen(GetParam(), 41);
    const double clear = 1e-9 * GetParam();
    for (int i = 0; i < 4000; ++i) {
        const Plane pl = randomPlane(gen);
        const auto A = planeTriangle(gen, pl, 0, nullptr);
        auto B = planeTriangle(gen, pl, i % 3, &A);
        if (i % 4 == 1) {  // tilted about a line in the plane, by 1e-3 or 1e-8 rad
            const double angle = gen.pick(2) ? 1e-3 : 1e-8;
            const V pivot = pl.at(gen.uniform(-1, 1) * GetParam(), 0);
            for (V& p : B) p = p + pl.normal() * (angle * pl.x(p) - angle * pl.x(pivot));
        } else if (i % 4 == 2) {  // crossing the plane
            B[gen.pick(3)] = B[0] + pl.normal() * (GetParam() * gen.uniform(-1, 1));
        } else if (i % 4 == 3) {  // anywhere
            B = {gen.point(), gen.point(), gen.point()};
        }
        const L3 LA[3] = {A[0], A[1], A[2]}, LB[3] = {B[0], B[1], B[2]};
        const double gap = static_cast<double>(exact::triangleGap(LA, LB));
        const V nA = normalOf(A.data()), nB = normalOf(B.data());
        const bool ab = trianglesIntersect(A.data(), nA, B.data(), nB);
        if (std::fabs(gap) > clear) {
            ASSERT_EQ(ab, gap < 0) << "case " << i << " gap " << gap;
            ASSERT_EQ(trianglesIntersect(B.data(), nB, A.data(), nA), gap < 0) << "case " << i;
        }
        ASSERT_EQ(trianglesIntersectWithMargin(A.data(), nA, B.data(), nB, 0.0), ab);
    }
}

// Overlaps in a plane keep the exact area, on either winding about the normal; the
// contact of facing parallel triangles keeps every overlap corner at the depth; the
// part of a segment over a polygon runs between the exact ends of its shadow's part.
TEST_P(TriangleTestsAtSize, OverlapsAndContactSets) {
    exact::Generator gen(GetParam(), 42);
    const double size = GetParam();
    const double areaTol = 1e-5 * size * size;
    for (int i = 0; i < 3000; ++i) {
        const Plane pl = randomPlane(gen);
        const auto A = planeTriangle(gen, pl, i % 4 == 3 ? 1 : 0, nullptr);
        const auto B = planeTriangle(gen, pl, i % 3, &A);
        const V n = gen.pick(2) ? pl.normal() : -pl.normal();
        const double ref = exactArea(pl, A.data(), 3, B.data(), 3);
        V out[CLIP_MAX_VERTICES];
        const std::int32_t m = coplanarTriangleOverlap(A.data(), n, B.data(), out);
        ASSERT_NEAR(area(pl, out, static_cast<std::uint32_t>(m)), ref, areaTol) << "case " << i;
        if (ref > 1e-3 * size * size) {
            ASSERT_GE(m, 3) << "case " << i;
        }

        const std::vector<V> flat = regularPolygon(3 + i % 6, size * gen.uniform(0.1, 1));
        const V shift = pl.u * (size * gen.uniform(-0.5, 0.5));
        std::vector<V> poly;
        for (const V& q : flat) poly.push_back(pl.at(q.x, q.y) + shift);
        const std::uint32_t np = static_cast<std::uint32_t>(poly.size()), three = 3;
        const std::uint32_t mp = coplanarPolygonOverlap(poly.data(), np, n, B.data(), three, out);
        ASSERT_NEAR(area(pl, out, mp), exactArea(pl, poly.data(), np, B.data(), 3), areaTol) << "case " << i;

        // B facing A from 1/20 of the size below: every corner of the overlap, at that depth.
        const double depth = 0.05 * size;
        const V nA = normalOf(A.data());
        std::array<V, 3> below = {B[0] - nA * depth, B[1] - nA * depth, B[2] - nA * depth};
        if (normalOf(below.data()).Dot(nA) > 0) std::swap(below[1], below[2]);
        Points contact(TRIANGLE_OVERLAP_MAX_POINTS);
        V normal;
        std::uint32_t count = 0;
        double reported = 0;
        const bool touching = triangleContactSet(A.data(), nA, below.data(), normalOf(below.data()), contact.data(),
                                                 normal, count, reported);
        if (ref > 1e-3 * size * size) {
            ASSERT_TRUE(touching) << "case " << i;
            ASSERT_NEAR(reported, -depth, 1e-9 * size) << "case " << i;
            ASSERT_NEAR(area(pl, contact.data(), count), ref, areaTol) << "case " << i;
        }

        // A segment in the plane, or parallel above it, or tilted through it.
        const V s0 = pl.at(gen.uniform(-1, 1) * size, gen.uniform(-1, 1) * size);
        const V s1 = pl.at(gen.uniform(-1, 1) * size, gen.uniform(-1, 1) * size);
        const double lift0 = size * gen.uniform(-1, 1);
        const double lift1 = i % 3 == 0 ? lift0 : size * gen.uniform(-1, 1);
        const V S0 = s0 + pl.normal() * (i % 3 == 1 ? 0.0 : lift0);
        const V S1 = s1 + pl.normal() * (i % 3 == 1 ? 0.0 : lift1);
        V part[2];
        const std::uint32_t parts = clipSegmentToPolygon(S0, S1, A.data(), three, n, part);
        exact::Real lo = 0, hi = 1;
        const L3 N = L3(pl.normal()), P0 = S0, D = L3(S1) - L3(S0);
        const double winding = (A[1] - A[0]).Cross(A[2] - A[0]).Dot(pl.normal()) > 0 ? 1.0 : -1.0;
        for (int k = 0; k < 3; ++k) {
            const L3 e = L3(A[(k + 1) % 3]) - L3(A[k]);
            const exact::Real g0 = e.cross(P0 - L3(A[k])).dot(N) * winding, dg = e.cross(D).dot(N) * winding;
            if (dg > 0) lo = std::max(lo, -g0 / dg);
            if (dg < 0) hi = std::min(hi, -g0 / dg);
            if (dg == 0 && g0 < 0) hi = -1;
        }
        if (hi - lo > 1e-6) {
            ASSERT_EQ(parts, 2u) << "case " << i;
            const V pLo = S0 + (S1 - S0) * static_cast<double>(lo), pHi = S0 + (S1 - S0) * static_cast<double>(hi);
            const bool inOrder = (part[0] - pLo).SquaredLength() < (part[0] - pHi).SquaredLength();
            zyltest::expectWithin(part[0], inOrder ? pLo : pHi, 1e-9 * size);
            zyltest::expectWithin(part[1], inOrder ? pHi : pLo, 1e-9 * size);
        }
    }
}

// The smallest cases that went wrong with thresholds taken absolutely.
TEST(TriangleTests, ThresholdsFollowTheInputsSize) {
    const std::uint32_t three = 3;
    V out[CLIP_MAX_VERTICES];
    const V tri[3] = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
    ASSERT_EQ(clipSegmentToPolygon(V(0.5, 0, 0), V(0.2, 0.3, 0), tri, three, UP, out), 2u);
    expectNear(out[0], V(0.5, 0, 0));
    expectNear(out[1], V(0.2, 0.3, 0));

    const V A[3] = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
    const V B[3] = {{-1, -1, 0.003}, {3, -1, -0.001}, {-1, 3, 0.003}};
    EXPECT_FALSE(trianglesIntersect(A, UP, B, normalOf(B)));
    EXPECT_FALSE(trianglesIntersect(B, normalOf(B), A, UP));

    const V small[3] = {{0, 0, 0}, {0.003, 0, 0}, {0, 0.003, 0}};
    const V inside[3] = {{0.0006, 0.0006, 0}, {0.0018, 0.0006, 0}, {0.0006, 0.0018, 0}};
    EXPECT_EQ(coplanarTriangleOverlap(small, DOWN, inside, out), 3);
    EXPECT_EQ(coplanarTriangleOverlap(small, UP, inside, out), 3);
    EXPECT_EQ(coplanarPolygonOverlap(small, three, DOWN, inside, three, out), 3u);
    EXPECT_EQ(clipSegmentToPolygon(V(0.0002, 0.0002, 0), V(0.0003, 0.0003, 0), small, three, DOWN, out), 2u);
}

INSTANTIATE_TEST_SUITE_P(Sizes, TriangleTestsAtSize, ::testing::ValuesIn(exact::SIZES));
