#include "geometry/query/proximity.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>

#include "geometry/bounds/boundingVolumes.h"
#include "tests/geometry/query/distanceReferences.h"
#include "tests/testSupport.h"

namespace {

using Qmt::QmtVector3;
using V = QmtVector3;

using zyltest::expectNear;

// Squared distance from a segment point to a line, minimised over the segment.
double refLineSegment(const V& p, V dir, const V& a, const V& b) {
    dir.Unitize(1e-12);
    const auto perp = [&](const V& v) { return v - dir * v.Dot(dir); };
    const V w = perp(a - p), e = perp(b - a);
    const double ee = e.Dot(e);
    const double u = ee > 0.0 ? std::clamp(-w.Dot(e) / ee, 0.0, 1.0) : 0.0;
    return (w + e * u).SquaredLength();
}

V randomPoint(std::mt19937& rng) {
    std::uniform_real_distribution<double> u(-2.0, 2.0);
    return V(u(rng), u(rng), u(rng));
}

const V tri01[3] = {V(0, 0, 0), V(1, 0, 0), V(0, 1, 0)};

}  // namespace

TEST(Proximity, SphereSphereContact) {
    V point, normal;
    double sep = 0.0;
    // Coincident centres: fixed normal, depth of the larger sphere alone.
    sphereSphereContact(V(1, 2, 3), 1.0, V(1, 2, 3), 2.0, point, normal, sep);
    expectNear(normal, V(1, 0, 0));
    EXPECT_DOUBLE_EQ(sep, -2.0);
    expectNear(point, V(2, 2, 3));
    sphereSphereContact(V(0, 0, 0), 1.0, V(0, 1.5, 0), 1.0, point, normal, sep);
    EXPECT_DOUBLE_EQ(sep, -0.5);
    expectNear(normal, V(0, 1, 0));
    expectNear(point, V(0, 1, 0));
    sphereSphereContact(V(0, 0, 0), 1.0, V(0, 0, -5), 2.0, point, normal, sep);
    EXPECT_DOUBLE_EQ(sep, 2.0);
    expectNear(normal, V(0, 0, -1));
}

TEST(Proximity, PlaneTests) {
    const V pts[3] = {V(0, 1, 0), V(5, -0.000005, 0), V(0, -0.00002, 0)};
    std::uint32_t two = 2, three = 3, none = 0;
    EXPECT_TRUE(allPointsAbovePlane(pts, &two, V(0, 0, 0), V(0, 1, 0)));    // within 1e-5 below
    EXPECT_FALSE(allPointsAbovePlane(pts, &three, V(0, 0, 0), V(0, 1, 0)));
    EXPECT_TRUE(allPointsAbovePlane(nullptr, &none, V(0, 0, 0), V(0, 1, 0)));
    EXPECT_TRUE(allPointsAbovePlane(nullptr, nullptr, V(0, 0, 0), V(0, 1, 0)));

    // The tolerance is on the cosine: a far point barely below is not below.
    EXPECT_FALSE(isPointBelowPlane(V(0, 1, 0), V(0, 0, 0), V(1000, -0.001, 0)));
    EXPECT_TRUE(isPointBelowPlane(V(0, 1, 0), V(0, 0, 0), V(0.001, -0.001, 0)));
    EXPECT_FALSE(isPointBelowPlane(V(0, 1, 0), V(0, 0, 0), V(0, 0, 0)));
}

TEST(Proximity, CapsuleCrossesPlaneUsesCoreSegmentEnds) {
    const V Q(0, 0, 0), n(0, 0, 1);
    ZYLcapsule cap;
    cap.axis = V(0, 0, 1);
    cap.radius = 0.5;
    // Ends at z = -0.5 and 3.5 straddle; centre and centre + axis (1.5, 2.5) would not.
    cap.centre = V(0, 0, 1.5);
    cap.length = 4.0;
    EXPECT_TRUE(capsuleCrossesPlane(cap, Q, n));
    // Lower end at z = 0.5 lies within the radius.
    cap.centre = V(0, 0, 2.5);
    EXPECT_TRUE(capsuleCrossesPlane(cap, Q, n));
    cap.centre = V(0, 0, 2.6);
    EXPECT_FALSE(capsuleCrossesPlane(cap, Q, n));
    cap.centre = V(0, 0, -2.6);
    EXPECT_FALSE(capsuleCrossesPlane(cap, Q, n));
    // Lying flat: only the radius decides.
    cap.axis = V(1, 0, 0);
    cap.centre = V(0, 0, 0.5);
    EXPECT_TRUE(capsuleCrossesPlane(cap, Q, n));
    cap.centre = V(0, 0, 0.6);
    EXPECT_FALSE(capsuleCrossesPlane(cap, Q, n));
}

TEST(Proximity, DegenerateTriangle) {
    const V a(0, 0, 0), b(1, 0, 0), c(0.5, 0.001, 0);
    EXPECT_TRUE(isDegenerateTriangle(a, b, c, true, 0.01));
    EXPECT_FALSE(isDegenerateTriangle(a, b, c, true, 0.0001));
    // Relative mode scales with the longest edge; absolute does not.
    const V B(100, 0, 0), C(50, 0.5, 0);
    EXPECT_TRUE(isDegenerateTriangle(a, B, C, true, 0.01));
    EXPECT_FALSE(isDegenerateTriangle(a, B, C, false, 0.01));
    // The height is taken over the longest edge whatever the corner order.
    EXPECT_TRUE(isDegenerateTriangle(c, a, b, true, 0.01));
    EXPECT_TRUE(isDegenerateTriangle(b, c, a, true, 0.01));
    // An edge shorter than sqrt(1e-5) is degenerate whatever tol says.
    EXPECT_TRUE(isDegenerateTriangle(a, V(0.003, 0, 0), V(0, 1, 0), false, 0.0));
    EXPECT_FALSE(isDegenerateTriangle(a, V(0.004, 0, 0), V(0, 1, 0), false, 0.0));
}

// The quick test may leave triangles to the full one, but never clears one the full
// test calls degenerate: triangles near either tolerance, at scales and offsets from
// the origin far apart.
TEST(Proximity, ClearlyNotDegenerateNeverClearsADegenerateTriangle) {
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> unit(-1.0, 1.0);
    std::uniform_real_distribution<double> exponent(-4.0, 4.0);
    int cleared = 0;
    for (int i = 0; i < 20000; ++i) {
        const double scale = std::pow(10.0, exponent(rng));
        const V origin = V(unit(rng), unit(rng), unit(rng)) * std::pow(10.0, exponent(rng) + 2.0);
        const V a = origin + V(unit(rng), unit(rng), unit(rng)) * scale;
        const V b = origin + V(unit(rng), unit(rng), unit(rng)) * scale;
        // The third corner off the line ab by 1e-8 to 1 times the scale: on both sides of
        // the height tolerance.
        const V lift = V(unit(rng), unit(rng), unit(rng)) * (scale * std::pow(10.0, exponent(rng) - 4.0));
        const V p = a + (b - a) * (0.5 + 0.7 * unit(rng)) + lift;
        const V ab = b - a;
        const V bp = p - b;
        if (clearlyNotDegenerate(a, b, p, ab, bp, ab.Cross(bp))) {
            ++cleared;
            EXPECT_FALSE(isDegenerateTriangle(a, b, p, true, 1e-5)) << i;
        }
    }
    EXPECT_GT(cleared, 2000);
}

TEST(Proximity, RaySegment) {
    double r = -1, s = -1;
    ASSERT_TRUE(intersectRaySegment(V(0, 0, 0), V(1, 0, 0), V(3, -1, 0), V(3, 3, 0), r, s));
    EXPECT_DOUBLE_EQ(r, 3.0);
    EXPECT_DOUBLE_EQ(s, 0.25);
    // The lines cross behind the origin.
    EXPECT_FALSE(intersectRaySegment(V(5, 0, 0), V(1, 0, 0), V(3, -1, 0), V(3, 3, 0), r, s));
    // Past the segment's end, and parallel.
    EXPECT_FALSE(intersectRaySegment(V(0, 0, 0), V(1, 0, 0), V(3, 1, 0), V(3, 3, 0), r, s));
    EXPECT_FALSE(intersectRaySegment(V(0, 0, 0), V(1, 0, 0), V(0, 1, 0), V(3, 1, 0), r, s));
    // Skew lines count by their closest points.
    ASSERT_TRUE(intersectRaySegment(V(0, 0, 0), V(2, 0, 0), V(4, -1, 1), V(4, 1, 1), r, s));
    EXPECT_DOUBLE_EQ(r, 2.0);
    EXPECT_DOUBLE_EQ(s, 0.5);
}

TEST(Proximity, SegmentsIntersectAndParallel) {
    EXPECT_TRUE(segmentsIntersect(V(0, 0, 0), V(2, 2, 0), V(0, 2, 0), V(2, 0, 0)));
    EXPECT_TRUE(segmentsIntersect(V(0, 0, 0), V(1, 0, 0), V(1, 0, 0), V(2, 0, 0)));  // end to end
    EXPECT_TRUE(segmentsIntersect(V(0, 0, 0), V(2, 0, 0), V(3, 0, 0), V(1, 0, 0)));  // overlap
    EXPECT_FALSE(segmentsIntersect(V(0, 0, 0), V(1, 0, 0), V(1.5, 0, 0), V(2, 0, 0)));
    EXPECT_FALSE(segmentsIntersect(V(0, 0, 0), V(1, 0, 0), V(0, 0.01, 0), V(1, 0.01, 0)));
    EXPECT_TRUE(segmentsIntersect(V(0, 0, 0), V(2, 0, 0), V(1, 0, 0), V(1, 1, 0)));  // T touch
    EXPECT_FALSE(segmentsIntersect(V(0, 0, 0), V(2, 0, 0), V(1, 0.1, 0), V(1, 1, 0)));
    EXPECT_FALSE(segmentsIntersect(V(0, 0, 0), V(2, 2, 0), V(0, 2, 1), V(2, 0, 1)));  // skew
    EXPECT_FALSE(segmentsIntersect(V(0, 0, 0), V(1, 1, 0), V(3, 0, 0), V(2, 1, 0)));  // lines cross outside
    // A point segment is judged against the other segment, without NaN.
    EXPECT_TRUE(segmentsIntersect(V(1, 0, 0), V(1, 0, 0), V(0, 0, 0), V(2, 0, 0)));
    EXPECT_TRUE(segmentsIntersect(V(0, 0, 0), V(2, 0, 0), V(1, 0, 0), V(1, 0, 0)));
    EXPECT_FALSE(segmentsIntersect(V(1, 1, 0), V(1, 1, 0), V(0, 0, 0), V(2, 0, 0)));
    EXPECT_FALSE(segmentsIntersect(V(3, 0, 0), V(3, 0, 0), V(0, 0, 0), V(2, 0, 0)));
    EXPECT_TRUE(segmentsIntersect(V(1, 1, 1), V(1, 1, 1), V(1, 1, 1), V(1, 1, 1)));

    EXPECT_TRUE(segmentsParallel(V(0, 0, 0), V(1, 0, 0), V(5, 3, 0), V(2, 3, 0)));
    EXPECT_FALSE(segmentsParallel(V(0, 0, 0), V(1, 0, 0), V(0, 0, 0), V(1, 0.01, 0)));
}

TEST(Proximity, PointTriangleRegions) {
    double s = -1, t = -1;
    EXPECT_EQ(sqrDistancePointTriangle(V(0, 0, 0), tri01, s, t), 0.0);
    EXPECT_EQ(s, 0.0);
    EXPECT_EQ(t, 0.0);
    struct Case {
        V p;
        double dist, s, t;
    };
    const Case cases[] = {
        {V(0.25, 0.25, 2), 4.0, 0.25, 0.25},   // inside
        {V(0.5, -1, 0), 1.0, 0.5, 0.0},        // below edge V0V1
        {V(-1, 0.5, 0), 1.0, 0.0, 0.5},        // left of edge V0V2
        {V(1, 1, 0), 0.5, 0.5, 0.5},           // beyond the hypotenuse
        {V(-1, -1, 0), 2.0, 0.0, 0.0},         // corner V0
        {V(3, -1, 0), 5.0, 1.0, 0.0},          // corner V1
        {V(-1, 3, 0), 5.0, 0.0, 1.0},          // corner V2
        {V(1.5, 0.75, 0), 0.78125, 0.875, 0.125},  // hypotenuse, near V1
        {V(2, 0.5, 0), 1.25, 1.0, 0.0},        // past V1, beyond the hypotenuse
        {V(0.5, 2, 0), 1.25, 0.0, 1.0},        // past V2, beyond the hypotenuse
        {V(2, -0.25, 0), 1.0625, 1.0, 0.0},    // below V0V1 and beyond the hypotenuse
        {V(-0.25, 2, 0), 1.0625, 0.0, 1.0},    // left of V0V2 and beyond the hypotenuse
    };
    for (const Case& c : cases) {
        EXPECT_NEAR(sqrDistancePointTriangle(c.p, tri01, s, t), c.dist, 1e-12) << c.p.x << "," << c.p.y;
        EXPECT_NEAR(s, c.s, 1e-12) << c.p.x << "," << c.p.y;
        EXPECT_NEAR(t, c.t, 1e-12) << c.p.x << "," << c.p.y;
    }
}

TEST(Proximity, PointTriangleCollapsedGivesEdgeDistance) {
    double s = -1, t = -1;
    const V twoCorners[3] = {V(0, 0, 0), V(0, 0, 0), V(4, 0, 0)};
    EXPECT_DOUBLE_EQ(sqrDistancePointTriangle(V(1, 2, 0), twoCorners, s, t), 4.0);
    expectNear(twoCorners[0] + (twoCorners[1] - twoCorners[0]) * s + (twoCorners[2] - twoCorners[0]) * t,
               V(1, 0, 0));
    const V collinear[3] = {V(0, 0, 0), V(1, 0, 0), V(2, 0, 0)};
    EXPECT_DOUBLE_EQ(sqrDistancePointTriangle(V(0.5, 1, 0), collinear, s, t), 1.0);
    EXPECT_FALSE(std::isnan(s) || std::isnan(t));
    const V point[3] = {V(1, 1, 1), V(1, 1, 1), V(1, 1, 1)};
    EXPECT_DOUBLE_EQ(sqrDistancePointTriangle(V(1, 1, 3), point, s, t), 4.0);
}

TEST(Proximity, SegmentSegmentCases) {
    double s = -1, t = -1;
    EXPECT_NEAR(sqrDistanceSegmentSegment(V(0, 0, 0), V(2, 0, 0), V(1, -1, 1), V(1, 1, 1), s, t), 1.0, 1e-12);
    EXPECT_NEAR(s, 0.5, 1e-12);
    EXPECT_NEAR(t, 0.5, 1e-12);
    // Parallel, same and opposite directions, overlapping and apart.
    EXPECT_NEAR(sqrDistanceSegmentSegment(V(0, 1, 0), V(10, 1, 0), V(12, 0, 0), V(20, 0, 0), s, t), 5.0, 1e-12);
    EXPECT_EQ(s, 1.0);
    EXPECT_EQ(t, 0.0);
    EXPECT_NEAR(sqrDistanceSegmentSegment(V(0, 1, 0), V(10, 1, 0), V(5, 0, 0), V(-5, 0, 0), s, t), 1.0, 1e-12);
    EXPECT_NEAR(s, 0.5, 1e-12);
    EXPECT_EQ(t, 0.0);
    EXPECT_NEAR(sqrDistanceSegmentSegment(V(0, 1, 0), V(10, 1, 0), V(-3, 0, 0), V(-1, 0, 0), s, t), 2.0, 1e-12);
    EXPECT_EQ(s, 0.0);
    EXPECT_EQ(t, 1.0);
    // A point segment is measured as a point: (5, 1, 0) is 1 from the segment, not 26.
    EXPECT_NEAR(sqrDistanceSegmentSegment(V(5, 1, 0), V(5, 1, 0), V(0, 0, 0), V(10, 0, 0), s, t), 1.0, 1e-12);
    EXPECT_EQ(s, 0.0);
    EXPECT_NEAR(t, 0.5, 1e-12);
    EXPECT_NEAR(sqrDistanceSegmentSegment(V(0, 0, 0), V(10, 0, 0), V(12, 1, 0), V(12, 1, 0), s, t), 5.0, 1e-12);
    EXPECT_EQ(s, 1.0);
    EXPECT_EQ(t, 0.0);
    EXPECT_NEAR(sqrDistanceSegmentSegment(V(1, 1, 1), V(1, 1, 1), V(1, 3, 1), V(1, 3, 1), s, t), 4.0, 1e-12);
    // Short segments square to each other with P1 level with Q0: no 0/0.
    const double dist = sqrDistanceSegmentSegment(V(-0.01, 0.005, 0), V(0, 0.005, 0), V(0, 0, 0), V(0, 0.01, 0), s, t);
    EXPECT_NEAR(dist, 0.0, 1e-15);
    EXPECT_EQ(s, 1.0);
    EXPECT_NEAR(t, 0.5, 1e-12);
}

TEST(Proximity, LineQueries) {
    double r = -1, s = -1, t = -1;
    // Segment of length 10: parameter 1 is its end point B.
    EXPECT_NEAR(sqrDistanceLineSegment(V(0, 20, 3), V(1, 0, 0), V(0, 0, 0), V(0, 10, 0), r, s), 109.0, 1e-12);
    EXPECT_EQ(s, 1.0);
    EXPECT_NEAR(r, 0.0, 1e-12);
    EXPECT_NEAR(sqrDistanceLineSegment(V(0, 4, 3), V(2, 0, 0), V(5, 0, 0), V(5, 10, 0), r, s), 9.0, 1e-12);
    EXPECT_NEAR(s, 0.4, 1e-12);
    EXPECT_NEAR(r, 2.5, 1e-12);
    EXPECT_NEAR(sqrDistanceLineSegment(V(0, 0, 2), V(1, 0, 0), V(-7, 0, 0), V(7, 0, 0), r, s), 4.0, 1e-12);
    // A zero direction is the point P alone.
    EXPECT_NEAR(sqrDistanceLineSegment(V(5, 1, 0), V(0, 0, 0), V(0, 0, 0), V(10, 0, 0), r, s), 1.0, 1e-12);
    EXPECT_EQ(r, 0.0);
    EXPECT_NEAR(s, 0.5, 1e-12);

    EXPECT_NEAR(sqrDistanceLineLine(V(0, 0, 0), V(1, 0, 0), V(3, 5, 2), V(0, 2, 0), s, t), 4.0, 1e-12);
    EXPECT_NEAR(s, 3.0, 1e-12);
    EXPECT_NEAR(t, -2.5, 1e-12);
    EXPECT_NEAR(sqrDistanceLineLine(V(0, 0, 0), V(1, 0, 0), V(7, 3, 0), V(-2, 0, 0), s, t), 9.0, 1e-12);
    EXPECT_NEAR(sqrDistanceLineLine(V(0, 3, 0), V(0, 0, 0), V(7, 0, 0), V(1, 0, 0), s, t), 9.0, 1e-12);
    EXPECT_NEAR(t, -7.0, 1e-12);
}

TEST(Proximity, LineTriangle) {
    double r = -1, s = -1, t = -1;
    // Piercing: distance 0 at the hit.
    EXPECT_EQ(sqrDistanceLineTriangle(V(0.25, 0.5, 3), V(0, 0, -2), tri01, r, s, t), 0.0);
    EXPECT_NEAR(r, 1.5, 1e-12);
    EXPECT_NEAR(s, 0.25, 1e-12);
    EXPECT_NEAR(t, 0.5, 1e-12);
    // Missing beyond the hypotenuse: nearest on edge V1V2.
    EXPECT_NEAR(sqrDistanceLineTriangle(V(1, 1, 5), V(0, 0, 1), tri01, r, s, t), 0.5, 1e-12);
    EXPECT_NEAR(s, 0.5, 1e-12);
    EXPECT_NEAR(t, 0.5, 1e-12);
    EXPECT_NEAR(r, -5.0, 1e-12);
    // In the triangle's plane: of the touching edges the first along the line wins.
    EXPECT_NEAR(sqrDistanceLineTriangle(V(-5, 0.25, 0), V(1, 0, 0), tri01, r, s, t), 0.0, 1e-12);
    EXPECT_NEAR(r, 5.0, 1e-12);
    EXPECT_NEAR(s, 0.0, 1e-12);
    EXPECT_NEAR(t, 0.25, 1e-12);
    EXPECT_NEAR(sqrDistanceLineTriangle(V(5, 0.25, 0), V(-1, 0, 0), tri01, r, s, t), 0.0, 1e-12);
    EXPECT_NEAR(r, 4.25, 1e-12);
    EXPECT_NEAR(s, 0.75, 1e-12);
    EXPECT_NEAR(t, 0.25, 1e-12);
    // Parallel above the plane.
    EXPECT_NEAR(sqrDistanceLineTriangle(V(0, 0.5, 2), V(1, 0, 0), tri01, r, s, t), 4.0, 1e-12);
    // Degenerate inputs give finite answers: a zero direction, a collapsed triangle.
    EXPECT_NEAR(sqrDistanceLineTriangle(V(0.25, 0.25, 2), V(0, 0, 0), tri01, r, s, t), 4.0, 1e-12);
    EXPECT_EQ(r, 0.0);
    const V collinear[3] = {V(0, 0, 0), V(1, 0, 0), V(2, 0, 0)};
    EXPECT_NEAR(sqrDistanceLineTriangle(V(1.5, 3, 1), V(0, 0, 1), collinear, r, s, t), 9.0, 1e-12);
    EXPECT_FALSE(std::isnan(r) || std::isnan(s) || std::isnan(t));
}

// Random configurations against the brute references; the returned parameters must
// rebuild points at the returned distance.
TEST(Proximity, DistancesMatchReferences) {
    std::mt19937 rng(12345);
    for (int i = 0; i < 4000; ++i) {
        const V p0 = randomPoint(rng), p1 = randomPoint(rng), q0 = randomPoint(rng), q1 = randomPoint(rng);
        const V tri[3] = {q0, q1, randomPoint(rng)};
        double r = 0, s = 0, t = 0;

        double d = sqrDistanceSegmentSegment(p0, p1, q0, q1, s, t);
        ASSERT_NEAR(d, distref::segmentSegment(p0, p1, q0, q1), 1e-7) << "segment-segment " << i;
        ASSERT_NEAR(d, (p0 + (p1 - p0) * s - q0 - (q1 - q0) * t).SquaredLength(), 1e-7) << i;

        // Parallel partners of either direction and point segments take the other branch.
        std::uniform_real_distribution<double> k(-2.0, 2.0);
        const V shift = randomPoint(rng);
        const V q2 = i % 8 == 0 ? q0 : q0 + (p1 - p0) * k(rng);
        const V p2 = i % 16 == 0 ? p0 : p1;
        d = sqrDistanceSegmentSegment(p0 + shift * 0.1, p2 + shift * 0.1, q0, q2, s, t);
        ASSERT_NEAR(d, distref::segmentSegment(p0 + shift * 0.1, p2 + shift * 0.1, q0, q2), 1e-7) << "parallel " << i;
        ASSERT_NEAR(d, (p0 + shift * 0.1 + (p2 - p0) * s - q0 - (q2 - q0) * t).SquaredLength(), 1e-7) << i;

        d = sqrDistancePointTriangle(p0, tri, s, t);
        ASSERT_NEAR(d, distref::pointTriangle(p0, tri), 1e-9) << "point-triangle " << i;
        ASSERT_NEAR(d, (tri[0] + (tri[1] - tri[0]) * s + (tri[2] - tri[0]) * t - p0).SquaredLength(), 1e-9) << i;

        const V dir = p1 - p0;
        d = sqrDistanceLineSegment(p0, dir, q0, q1, r, s);
        ASSERT_NEAR(d, refLineSegment(p0, dir, q0, q1), 1e-9) << "line-segment " << i;
        ASSERT_NEAR(d, (p0 + dir * r - q0 - (q1 - q0) * s).SquaredLength(), 1e-9) << i;

        d = sqrDistanceLineTriangle(p0, dir, tri, r, s, t);
        const double ref = std::min({refLineSegment(p0, dir, tri[0], tri[1]), refLineSegment(p0, dir, tri[1], tri[2]),
                                     refLineSegment(p0, dir, tri[2], tri[0])});
        if (d != 0.0) {
            ASSERT_NEAR(d, ref, 1e-9) << "line-triangle " << i;
        }
        ASSERT_NEAR(d, (p0 + dir * r - tri[0] - (tri[1] - tri[0]) * s - (tri[2] - tri[0]) * t).SquaredLength(), 1e-9)
            << i;
    }
}

// ---- properties at every size, against the exact references ------------------------

namespace {

using exact::L3;

class ProximityAtSize : public ::testing::TestWithParam<double> {
protected:
    // Squared distances agree to 1e-9 of the squared size of the inputs.
    double tol() const { return 1e-9 * GetParam() * GetParam(); }
};

bool inUnit(double u) { return u >= 0.0 && u <= 1.0; }

}  // namespace

// Distances match, parameters stay on their segments and rebuild the distance, and
// the answer does not depend on the order of the segments or of their ends.
TEST_P(ProximityAtSize, SegmentSegment) {
    exact::Generator gen(GetParam(), 21);
    const double size2 = GetParam() * GetParam();
    for (int i = 0; i < 3500; ++i) {
        const auto [p0, p1, q0, q1] = gen.segmentPair(i % 7);
        double s = -1, t = -1;
        const double d = sqrDistanceSegmentSegment(p0, p1, q0, q1, s, t);
        const double ref = static_cast<double>(exact::segmentSegment(p0, p1, q0, q1));
        ASSERT_NEAR(d, ref, tol()) << "case " << i;
        ASSERT_TRUE(inUnit(s) && inUnit(t)) << "case " << i << ": " << s << " " << t;
        ASSERT_NEAR((p0 + (p1 - p0) * s - q0 - (q1 - q0) * t).SquaredLength(), d, tol()) << "case " << i;
        ASSERT_NEAR(sqrDistanceSegmentSegment(q0, q1, p0, p1, s, t), d, tol()) << "case " << i;
        ASSERT_NEAR(sqrDistanceSegmentSegment(p1, p0, q1, q0, s, t), d, tol()) << "case " << i;

        // Meeting: exactly when they do, never when clearly apart, in every order.
        const bool meet = segmentsIntersect(p0, p1, q0, q1);
        if (ref <= 1e-24 * size2 || ref > 1e-3 * size2) {
            ASSERT_EQ(meet, ref <= 1e-24 * size2) << "case " << i;
        }
        ASSERT_EQ(segmentsIntersect(q0, q1, p0, p1), meet) << "case " << i;
        ASSERT_EQ(segmentsIntersect(p1, p0, q1, q0), meet) << "case " << i;
    }
}

// Line against segment, line and triangle, with lines of any direction length.
TEST_P(ProximityAtSize, LineQueries) {
    exact::Generator gen(GetParam(), 22);
    for (int i = 0; i < 3000; ++i) {
        const auto [p0, p1, q0, q1] = gen.segmentPair(i % 7);
        const V dir = (p1 - p0) * std::pow(10.0, gen.uniform(-3, 3)) / GetParam();
        double r = 0, s = -1, t = -1;
        double d = sqrDistanceLineSegment(p0, dir, q0, q1, r, s);
        ASSERT_NEAR(d, static_cast<double>(exact::lineSegment(p0, dir, q0, q1)), tol()) << "case " << i;
        ASSERT_TRUE(inUnit(s)) << "case " << i;
        ASSERT_NEAR((p0 + dir * r - q0 - (q1 - q0) * s).SquaredLength(), d, tol()) << "case " << i;

        const V dirQ = (q1 - q0) * std::pow(10.0, gen.uniform(-3, 3)) / GetParam();
        d = sqrDistanceLineLine(p0, dir, q0, dirQ, s, t);
        ASSERT_NEAR(d, static_cast<double>(exact::lineLine(p0, dir, q0, dirQ)), tol()) << "case " << i;
        if ((dir * s).Length() < 100.0 * GetParam()) {  // closest points far out lose digits
            ASSERT_NEAR((p0 + dir * s - q0 - dirQ * t).SquaredLength(), d, tol()) << "case " << i;
        }

        // The triangle shares the second segment, so the line meets it in every
        // relation the pairs have.
        const auto tri = gen.triangle(i % 4);
        const V T[3] = {q0, q1, tri[2]};
        const L3 LT[3] = {T[0], T[1], T[2]};
        d = sqrDistanceLineTriangle(p0, dir, T, r, s, t);
        const double ref = static_cast<double>(exact::lineTriangle(p0, dir, LT));
        // Lines parallel to the plane report the first edge they touch (within 1e-5 of
        // the triangle's size) rather than the nearest.
        const double touch = 1e-5 * std::fmax((T[1] - T[0]).SquaredLength(), (T[2] - T[0]).SquaredLength());
        if (!(d <= touch && ref <= touch)) {
            ASSERT_NEAR(d, ref, tol()) << "case " << i;
        }
        ASSERT_TRUE(s >= 0.0 && t >= 0.0 && s + t <= 1.0 + 1e-12) << "case " << i;
        ASSERT_NEAR((p0 + dir * r - trianglePoint(T, s, t)).SquaredLength(), d, tol()) << "case " << i;
    }
}

TEST_P(ProximityAtSize, PointTriangle) {
    exact::Generator gen(GetParam(), 23);
    for (int i = 0; i < 3000; ++i) {
        const auto T = gen.triangle(i % 4);
        const L3 LT[3] = {T[0], T[1], T[2]};
        // Points anywhere, and points just off the triangle's face.
        const V p = i % 2 ? gen.point() : trianglePoint(T.data(), 0.3, 0.3) + gen.direction() * (GetParam() * 1e-4);
        double s = -1, t = -1;
        const double d = sqrDistancePointTriangle(p, T.data(), s, t);
        ASSERT_NEAR(d, static_cast<double>(exact::pointTriangle(p, LT)), tol()) << "case " << i;
        ASSERT_TRUE(s >= 0.0 && t >= 0.0 && s + t <= 1.0 + 1e-12) << "case " << i;
        ASSERT_NEAR((trianglePoint(T.data(), s, t) - p).SquaredLength(), d, tol()) << "case " << i;
    }
}

// The smallest cases that went wrong with thresholds taken absolutely, at their size.
TEST(Proximity, ThresholdsFollowTheInputsSize) {
    double s = -1, t = -1, r = -1;
    EXPECT_EQ(sqrDistanceSegmentSegment(V(-0.01, 0, 0), V(0.01, 0, 0), V(0, -0.01, 0), V(0, 0.01, 0), s, t), 0.0);
    EXPECT_TRUE(segmentsIntersect(V(-0.01, 0, 0), V(0.01, 0, 0), V(0, -0.01, 0), V(0, 0.01, 0)));
    const V u = distref::unit(V(0.3, 0.5, 0.7));
    EXPECT_NEAR(sqrDistanceSegmentSegment(V(), u * 600, u * 300, u * 900, s, t), 0.0, 1e-6);
    EXPECT_TRUE(inUnit(s));
    EXPECT_NEAR(sqrDistanceSegmentSegment(V(0, 0, 0), V(1, 0, 0), V(0, -0.0005, 0), V(1, 0.0005, 0), s, t), 0.0, 1e-20);
    const double beside =
        sqrDistanceSegmentSegment(V(0, 0, 0), V(0.1, 0, 0), V(-0.005, -0.05, 0.01), V(-0.005, 0.05, 0.01), s, t);
    EXPECT_NEAR(beside, 1.25e-4, 1e-15);
    EXPECT_EQ(s, 0.0);
    const V collinear[3] = {V(0, 0, 0), V(0.1, 0.1, 0.1), V(0.07, 0.07, 0.07)};
    EXPECT_NEAR(sqrDistancePointTriangle(V(1, 0, 0), collinear, s, t), 0.83, 1e-12);
    EXPECT_NEAR(sqrDistanceLineSegment(V(0, 0, 0), V(0.001, 0, 0), V(0.5, -1, 1), V(0.5, 1, 1), r, s), 1.0, 1e-12);
    EXPECT_NEAR(sqrDistanceLineLine(V(0, 0, 0), V(0.001, 0, 0), V(0.5, -1, 1), V(0, 2, 0), s, t), 1.0, 1e-12);
}

INSTANTIATE_TEST_SUITE_P(Sizes, ProximityAtSize, ::testing::ValuesIn(exact::SIZES));

// Inputs so small that the relative thresholds round to zero must not divide by a
// zero determinant: the answers stay finite (found by fuzzing).
TEST(Proximity, DenormalInputsGiveFiniteDistances) {
    const V P{5.686073566141173e-270, 5.686073566141173e-270, 1.31563746506e-312};
    const V D{0.0, 6.1520264e-317, -6.325318765938314e-81};
    const V A{3.39409906809307e-310, 0.0, -6.3913522781407085e-81};
    const V B{1.4996641649091414e-154, 5.139209035e-315, 0.0};
    double r = 0, s = 0;
    EXPECT_TRUE(std::isfinite(sqrDistanceLineSegment(P, D, A, B, r, s)));
    EXPECT_TRUE(std::isfinite(r) && std::isfinite(s));
}
