#include "geometry/triangleTests.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

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
