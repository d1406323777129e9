// Contact manifolds of the convex solver: hull against plane, capsule and hull, and
// the kernels they are built from.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>
#include <vector>

#include "engine/collision/convex/pkJump.h"
#include "geometry/query/proximity.h"
#include "tests/engine/collision/convex/testHulls.h"
#include "tests/testSupport.h"

using Qmt::QmtMatrix3;
using Qmt::QmtVector3;
using namespace hulltest;

namespace {

ZYLcapsule makeCapsule(const QmtVector3& c, QmtVector3 axis, double length, double radius) {
    axis.Unitize(QmtMatrix3::EPSILON);
    return ZYLcapsule{c, axis, length, radius};
}

// The outputs of one query, pre-filled with a marker to see what was written.
struct Manifold {
    QmtVector3 points[PK_MAX_CONTACTS];
    QmtVector3 normals[PK_MAX_CONTACTS];
    double values[PK_MAX_CONTACTS];
    QmtVector3 feature{7, 7, 7};
    std::uint32_t count = 99, idA = 99, idB = 99;
    Manifold() {
        std::fill(std::begin(values), std::end(values), 42.0);
        std::fill(std::begin(normals), std::end(normals), QmtVector3(7, 7, 7));
    }
    bool hullHull(const Pk_jump& s, const Hull& a, const Hull& b, ProximityCache& c) {
        return s.contactHullHull(a.volume, b.volume, c, points, normals, count, values, idA, idB, &feature);
    }
    bool hullCapsule(const Pk_jump& s, const Hull& a, const ZYLcapsule& cap, ProximityCache& c) {
        return s.contactHullCapsule(a.volume, cap, c, points, normals, count, values, idA);
    }
    bool hullPlane(const Pk_jump& s, const Hull& a, const QmtVector3& p, const QmtVector3& n, ProximityCache& c) {
        return s.contactHullPlane(a.volume, p, n, c, points, normals, count, values, idA);
    }
    bool untouched() const { return count == 99 && values[0] == 42.0; }
};

void expectNear(const QmtVector3& a, const QmtVector3& b, double tol = 1e-9) {
    EXPECT_NEAR(a.x, b.x, tol);
    EXPECT_NEAR(a.y, b.y, tol);
    EXPECT_NEAR(a.z, b.z, tol);
}

}  // namespace

TEST(PkJumpContact, Kernels) {
    const Pk_jump solver;
    EXPECT_TRUE(solver.notify(3));
    const ZYLcapsule cap = makeCapsule({1, 2, 3}, {0, 0, 1}, 4.0, 0.5);
    QmtVector3 p;
    solver.capsuleSupport(cap, {0, 0, 2e-5}, p);  // plus end only above 1e-5
    expectNear(p, {1, 2, 5 + 1e-5});
    solver.capsuleSupport(cap, {1, 0, 5e-6}, p);  // near-perpendicular: minus end
    expectNear(p, {1.5, 2, 1 + 2.5e-6});

    EXPECT_DOUBLE_EQ(solver.segmentOriginSqrDistance({1, 1, 0}, {3, 1, 0}), 2.0);   // before a
    EXPECT_DOUBLE_EQ(solver.segmentOriginSqrDistance({-3, 1, 0}, {-1, 1, 0}), 2.0); // past b
    EXPECT_DOUBLE_EQ(solver.segmentOriginSqrDistance({-1, 2, 0}, {1, 2, 0}), 4.0);  // inside
    EXPECT_DOUBLE_EQ(solver.segmentOriginSqrDistance({0, 3, 0}, {0, 3, 0}), 9.0);   // a point

    // Plane cache: vertex 4 (-1, -1, -1) is the first whose direction from p points
    // down; vertex 2 (1, -1, -1) lies only a hair below and far off, so it does not.
    const auto cube = cubeHull({0, 0, 0});
    ProximityCache cache{{}, 77, 0, {}};
    const QmtVector3 up(0, 0, 1);
    EXPECT_FALSE(solver.initPlaneCache(cube->volume, {0, 0, -1.5}, up, cache));
    EXPECT_EQ(cache.vertexA, 77u);
    EXPECT_TRUE(solver.initPlaneCache(cube->volume, {0, 0, -0.5}, up, cache));
    EXPECT_EQ(cache.vertexA, 1u);
    EXPECT_EQ(cache.direction, up);
    EXPECT_FALSE(solver.initPlaneCache(cube->volume, {-1e6, 0, -1 + 1e-3}, up, cache));

    // Plane features of the cube on z = -1: corners 1, 2, 4, 5 touch.
    QmtVector3 pts[PK_MAX_CONTACTS], nrm[PK_MAX_CONTACTS];
    double val[PK_MAX_CONTACTS];
    std::uint32_t count = 0, id = 0;
    const QmtVector3 base(0, 0, -1);
    const std::uint32_t one[] = {1}, edge[] = {1, 2}, across[] = {1, 4}, three[] = {1, 2, 4};
    solver.hullPlaneFeature(cube->volume, base, up, one, 1, pts, nrm, val, count, id);
    EXPECT_EQ(count, 1u);
    EXPECT_EQ(nrm[0], up);
    EXPECT_EQ(val[0], 0.0);
    solver.hullPlaneFeature(cube->volume, base, up, edge, 2, pts, nrm, val, count, id);
    EXPECT_EQ(count, 2u);
    solver.hullPlaneFeature(cube->volume, base, up, across, 2, pts, nrm, val, count, id);
    EXPECT_EQ(count, 3u);  // no edge joins them: the face they share
    for (std::uint32_t i = 0; i < 3; ++i) EXPECT_EQ(pts[i].z, -1.0);
    solver.hullPlaneFeature(cube->volume, {0, 0, -2}, up, three, 3, pts, nrm, val, count, id);
    EXPECT_EQ(count, 3u);
    EXPECT_EQ(val[0], 1.0);
    const std::uint32_t four[] = {1, 2, 4, 5};
    solver.hullPlaneFeature(cube->volume, base, up, four, 4, pts, nrm, val, count, id);
    EXPECT_EQ(count, 0u);
}

TEST(PkJumpContact, CapsuleOverlapTestsMatchSegmentBoxDistance) {
    const Pk_jump solver;
    const auto cube = cubeHull({0, 0, 0});
    ZYLbox record = makeBox({0, 0, 0}, {1, 1, 1});
    const BVbox box(&record);
    // Far: 0 with the exact centre-line cache.
    const ZYLcapsule far = makeCapsule({5, 0, 0}, {0, 1, 0}, 1.0, 0.5);
    ProximityCache cache;
    EXPECT_EQ(solver.testHullCapsule(cube->volume, far, cache), 0u);
    EXPECT_EQ(cache.direction, QmtVector3(1, 0, 0));
    ProximityCache boxCache;
    EXPECT_EQ(solver.testCapsuleBox(box, far, boxCache), 0u);
    EXPECT_EQ(boxCache.direction, QmtVector3(1, 0, 0));
    // Coincident centres.
    ProximityCache centred;
    EXPECT_EQ(solver.testHullCapsule(cube->volume, makeCapsule({0, 0, 0}, {1, 1, 0}, 1, 0.1), centred), 1u);

    zyltest::Lcg rng(5);
    for (std::uint32_t k = 0; k < 1000; ++k) {
        const ZYLcapsule cap = makeCapsule(unitDirection(rng) * rng.Range(0.0, 3.5), unitDirection(rng), rng.Range(0.0, 2.0),
                                           rng.Range(0.05, 0.8));
        // Distance from the core segment to the box by dense sampling of the segment
        // (exact enough away from touching).
        double gap = 1e300;
        for (int i = 0; i <= 400; ++i) {
            const QmtVector3 q = cap.centre + cap.axis * (cap.length * (i / 400.0 - 0.5));
            const double dx = std::max(std::abs(q.x) - 1, 0.0), dy = std::max(std::abs(q.y) - 1, 0.0),
                         dz = std::max(std::abs(q.z) - 1, 0.0);
            gap = std::min(gap, std::sqrt(dx * dx + dy * dy + dz * dz));
        }
        gap -= cap.radius;
        if (std::abs(gap) < 1e-2) continue;
        ProximityCache c1, c2;
        EXPECT_EQ(solver.testHullCapsule(cube->volume, cap, c1), gap < 0 ? 1u : 0u) << k;
        EXPECT_EQ(solver.testCapsuleBox(box, cap, c2), gap < 0 ? 1u : 0u) << k;
    }
}

TEST(PkJumpContact, HullPlane) {
    const Pk_jump solver;
    const QmtVector3 up(0, 0, 1);
    // Face flush, sunk 0.25: three points of the bottom face.
    const auto cube = cubeHull({0, 0, 0.75});
    Manifold m;
    ProximityCache cache;
    ASSERT_TRUE(m.hullPlane(solver, *cube, {0, 0, 0}, up, cache));
    EXPECT_EQ(m.count, 3u);
    EXPECT_EQ(m.normals[0], up);
    EXPECT_DOUBLE_EQ(m.values[0], -0.25);
    for (std::uint32_t i = 0; i < 3; ++i) EXPECT_DOUBLE_EQ(m.points[i].z, -0.25);
    // Edge flush: turned 45 degrees about x.
    const auto edge = cubeHull({0, 0, 1.3}, turnAbout({1, 0, 0}, M_PI / 4));
    Manifold e;
    ProximityCache edgeCache;
    ASSERT_TRUE(e.hullPlane(solver, *edge, {0, 0, 0}, up, edgeCache));
    EXPECT_EQ(e.count, 2u);
    EXPECT_NEAR(e.values[0], 1.3 - std::sqrt(2.0), 1e-12);
    // Above: without history nothing; with history a positive value.
    const auto above = cubeHull({0, 0, 3});
    Manifold none;
    ProximityCache fresh;
    EXPECT_FALSE(none.hullPlane(solver, *above, {0, 0, 0}, up, fresh));
    EXPECT_TRUE(none.untouched());
    ProximityCache history{{}, 1000, 0, up};  // start beyond the vertices: climbs from 0
    Manifold pos;
    ASSERT_TRUE(pos.hullPlane(solver, *above, {0, 0, 0}, up, history));
    EXPECT_EQ(history.vertexA, 0u);
    EXPECT_DOUBLE_EQ(pos.values[0], 2.0);
    EXPECT_EQ(pos.count, 3u);
}

TEST(PkJumpContact, HullHullBoxes) {
    const Pk_jump solver;
    // Face on face, both stacking orders: four corners on A's face, B's face normal.
    for (const double side : {1.0, -1.0}) {
        const auto a = cubeHull({0, 0, 0});
        const auto b = cubeHull({0, 0, side * 1.9});
        Manifold m;
        ProximityCache cache;
        ASSERT_TRUE(m.hullHull(solver, *a, *b, cache)) << side;
        EXPECT_EQ(m.count, 4u);
        expectNear(m.normals[0], {0, 0, -side});
        expectNear(m.feature, m.normals[0]);  // the final polytope face faces the same way
        EXPECT_NEAR(m.values[0], -0.1, 1e-12);
        for (std::uint32_t i = 0; i < m.count; ++i) {
            EXPECT_NEAR(m.points[i].z, side, 1e-12);
            EXPECT_NEAR(std::abs(m.points[i].x), 1.0, 1e-12);
        }
        // Again from the returned cache: the same manifold, without the overlap test.
        Manifold again;
        ASSERT_TRUE(again.hullHull(solver, *a, *b, cache));
        ASSERT_EQ(again.count, m.count);
        EXPECT_NEAR(again.values[0], m.values[0], 1e-12);
        for (std::uint32_t i = 0; i < m.count; ++i) EXPECT_EQ(again.points[i], m.points[i]);
    }
    // Offset: the overlap rectangle [0.5, 1] x [-0.7, 1].
    {
        const auto a = cubeHull({0, 0, 0});
        const auto b = cubeHull({1.5, 0.3, 1.95});
        Manifold m;
        ProximityCache cache;
        ASSERT_TRUE(m.hullHull(solver, *a, *b, cache));
        ASSERT_EQ(m.count, 4u);
        EXPECT_NEAR(m.values[0], -0.05, 1e-12);
        double minX = 9, maxX = -9, minY = 9, maxY = -9;
        for (std::uint32_t i = 0; i < m.count; ++i) {
            minX = std::min(minX, m.points[i].x);
            maxX = std::max(maxX, m.points[i].x);
            minY = std::min(minY, m.points[i].y);
            maxY = std::max(maxY, m.points[i].y);
        }
        EXPECT_NEAR(minX, 0.5, 1e-12);
        EXPECT_NEAR(maxX, 1.0, 1e-12);
        EXPECT_NEAR(minY, -0.7, 1e-12);
        EXPECT_NEAR(maxY, 1.0, 1e-12);
    }
    // Crossed edges: A's top edge along x against B's bottom edge along y.
    {
        const QmtMatrix3 ridgeA = turnAbout({1, 0, 0}, M_PI / 4), ridgeB = turnAbout({0, 1, 0}, M_PI / 4);
        const auto a = cubeHull({0, 0, 0}, ridgeA);
        const auto b = cubeHull({0, 0, 2 * std::sqrt(2.0) - 0.01}, ridgeB);
        Manifold m;
        ProximityCache cache;
        ASSERT_TRUE(m.hullHull(solver, *a, *b, cache));
        ASSERT_EQ(m.count, 1u);
        expectNear(m.points[0], {0, 0, std::sqrt(2.0)});  // on A's edge
        expectNear(m.normals[0], {0, 0, -1});
        EXPECT_NEAR(m.values[0], -0.01, 1e-12);
    }
    // Far: false, outputs untouched, the cache holds a separating direction.
    {
        const auto a = cubeHull({0, 0, 0});
        const auto b = cubeHull({5, 0, 0});
        Manifold m;
        ProximityCache cache;
        EXPECT_FALSE(m.hullHull(solver, *a, *b, cache));
        EXPECT_TRUE(m.untouched());
        EXPECT_EQ(cache.direction, QmtVector3(1, 0, 0));
    }
}

TEST(PkJumpContact, HullCapsule) {
    // The expansion stops within 1e-5 of the capsule's round surface, so depths hold
    // to about that and points on a round end to about its square root.
    const Pk_jump solver;
    const auto cube = cubeHull({0, 0, 0});
    // Lying flat on the top face, sunk 0.1: two points on the face, normal -N_f.
    {
        const ZYLcapsule cap = makeCapsule({0.2, 0, 1.4}, {1, 0.3, 0}, 1.0, 0.5);
        Manifold m;
        ProximityCache cache;
        ASSERT_TRUE(m.hullCapsule(solver, *cube, cap, cache));
        ASSERT_EQ(m.count, 2u);
        expectNear(m.normals[0], {0, 0, -1});
        EXPECT_NEAR(m.values[0], -0.1, 1e-5);
        for (std::uint32_t i = 0; i < 2; ++i) EXPECT_NEAR(m.points[i].z, 1.0, 1e-5);
        // From the returned cache: the history path, the same contact to the
        // expansion's tolerance.
        Manifold again;
        ASSERT_TRUE(again.hullCapsule(solver, *cube, cap, cache));
        ASSERT_EQ(again.count, m.count);
        EXPECT_NEAR(again.values[0], m.values[0], 1e-5);
        for (std::uint32_t i = 0; i < m.count; ++i) expectNear(again.points[i], m.points[i], 1e-2);
    }
    // An end poking 0.2 into the top face: one point, its projection.
    {
        const ZYLcapsule cap = makeCapsule({0.3, -0.2, 2.3}, {0, 0, 1}, 2.0, 0.5);
        Manifold m;
        ProximityCache cache;
        ASSERT_TRUE(m.hullCapsule(solver, *cube, cap, cache));
        ASSERT_EQ(m.count, 1u);
        expectNear(m.points[0], {0.3, -0.2, 1.0}, 1e-2);
        EXPECT_NEAR(m.points[0].z, 1.0, 1e-12);
        expectNear(m.normals[0], {0, 0, -1});
        EXPECT_NEAR(m.values[0], -0.2, 1e-5);
    }
    // Far: nothing written.
    {
        Manifold m;
        ProximityCache cache;
        EXPECT_FALSE(m.hullCapsule(solver, *cube, makeCapsule({0, 0, 4}, {1, 0, 0}, 1, 0.5), cache));
        EXPECT_TRUE(m.untouched());
    }
}

namespace {

// Least overlap of two boxes over the 15 separating axes, and its axis oriented from
// b towards a; a negative overlap is a gap.
double leastBoxOverlap(const ZYLbox& a, const ZYLbox& b, QmtVector3& axis) {
    QmtVector3 candidates[15];
    std::uint32_t n = 0;
    for (int i = 0; i < 3; ++i) {
        candidates[n++] = {a.axes[0][i], a.axes[1][i], a.axes[2][i]};
        candidates[n++] = {b.axes[0][i], b.axes[1][i], b.axes[2][i]};
    }
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            candidates[n++] = QmtVector3(a.axes[0][i], a.axes[1][i], a.axes[2][i])
                                  .Cross({b.axes[0][j], b.axes[1][j], b.axes[2][j]});
        }
    }
    double least = 1e300;
    for (QmtVector3 L : candidates) {
        if (L.SquaredLength() < 1e-6) continue;
        L.Unitize(QmtMatrix3::EPSILON);
        double r = 0.0;
        for (int i = 0; i < 3; ++i) {
            r += std::abs(L.Dot({a.axes[0][i], a.axes[1][i], a.axes[2][i]})) * a.halfExtents[i];
            r += std::abs(L.Dot({b.axes[0][i], b.axes[1][i], b.axes[2][i]})) * b.halfExtents[i];
        }
        const double along = L.Dot(a.centre - b.centre);
        const double overlap = r - std::abs(along);
        if (overlap < least) {
            least = overlap;
            axis = along < 0.0 ? -L : L;
        }
    }
    return least;
}

}  // namespace

TEST(PkJumpContact, RandomBoxPairsGiveTheLeastOverlap) {
    const Pk_jump solver;
    zyltest::Lcg rng(77);
    std::uint32_t overlapping = 0;
    for (std::uint32_t k = 0; k < 2000; ++k) {
        const ZYLbox ra = makeBox({0, 0, 0}, {rng.Range(0.3, 1.0), rng.Range(0.3, 1.0), rng.Range(0.3, 1.0)},
                                  turnAbout(unitDirection(rng), rng.Range(0.0, M_PI)));
        const ZYLbox rb = makeBox(unitDirection(rng) * rng.Range(0.0, 2.0),
                                  {rng.Range(0.3, 1.0), rng.Range(0.3, 1.0), rng.Range(0.3, 1.0)},
                                  turnAbout(unitDirection(rng), rng.Range(0.0, M_PI)));
        QmtVector3 axis;
        const double overlap = leastBoxOverlap(ra, rb, axis);
        if (std::abs(overlap) < 1e-3) continue;
        const auto a = boxHull(ra.centre, ra.halfExtents, ra.axes);
        const auto b = boxHull(rb.centre, rb.halfExtents, rb.axes);
        Manifold m;
        ProximityCache cache;
        const bool hit = m.hullHull(solver, *a, *b, cache);
        if (overlap < 0.0) {
            EXPECT_FALSE(hit) << k;
            continue;
        }
        ++overlapping;
        ASSERT_TRUE(hit) << k;
        ASSERT_GE(m.count, 1u);
        ASSERT_LE(m.count, PK_MAX_CONTACTS);
        EXPECT_NEAR(-m.values[0], overlap, 1e-9) << k;
        expectNear(m.normals[0], axis, 1e-9);
        for (std::uint32_t i = 0; i < m.count; ++i) {
            ASSERT_TRUE(std::isfinite(m.points[i].x + m.points[i].y + m.points[i].z)) << k;
        }
        Manifold again;  // the history path repeats the manifold
        ASSERT_TRUE(again.hullHull(solver, *a, *b, cache));
        ASSERT_EQ(again.count, m.count);
        EXPECT_NEAR(again.values[0], m.values[0], 1e-12);
    }
    EXPECT_GT(overlapping, 500u);
}

TEST(PkJumpContact, RandomHullsTerminateWithinTheArrays) {
    const Pk_jump solver;
    zyltest::Lcg rng(123);
    const auto randomHull = [&](const QmtVector3& T) {
        std::vector<QmtVector3> points(static_cast<std::size_t>(rng.Range(8.0, 200.0)));
        const QmtVector3 e(rng.Range(0.2, 1.0), rng.Range(0.2, 1.0), rng.Range(0.2, 1.0));
        for (QmtVector3& p : points) {
            const QmtVector3 u = unitDirection(rng);
            p = {u.x * e.x, u.y * e.y, u.z * e.z};
        }
        return pointHull(points, T, turnAbout(unitDirection(rng), rng.Range(0.0, M_PI)));
    };
    for (std::uint32_t k = 0; k < 150; ++k) {
        const auto a = randomHull({0, 0, 0});
        const auto b = randomHull(unitDirection(rng) * rng.Range(0.0, 1.5));
        Manifold m;
        ProximityCache cache;
        if (m.hullHull(solver, *a, *b, cache)) {
            ASSERT_GE(m.count, 1u);
            ASSERT_LE(m.count, PK_MAX_CONTACTS);
            ASSERT_TRUE(std::isfinite(m.values[0]) && std::isfinite(m.normals[0].Length())) << k;
        }
        const ZYLcapsule cap = makeCapsule(unitDirection(rng) * rng.Range(0.0, 1.5), unitDirection(rng), rng.Range(0.0, 1.5),
                                           rng.Range(0.05, 0.5));
        Manifold c;
        ProximityCache capCache;
        if (c.hullCapsule(solver, *a, cap, capCache)) {
            ASSERT_GE(c.count, 1u);
            ASSERT_LE(c.count, 2u);
            ASSERT_TRUE(std::isfinite(c.values[0]) && std::isfinite(c.normals[0].Length())) << k;
        }
    }
}

// A hull collapsed to a sliver triangle has no normal to turn: the capsule query gives
// no contact rather than one with a short normal (found by fuzzing).
TEST(PkJumpContact, CollapsedHullGivesNoContactWithoutUnitNormal) {
    const auto hull = pointHull({{0, 0, 0},
                                 {1.4857248720144987e-151, 6.0134700169990685e-154, 6.0134700169990685e-154},
                                 {6.0134700169990685e-154, 4.4850508363635352e-308, 0.10000000004947651}},
                                {});
    ZYLcapsule capsule;
    capsule.centre = {6.3797317671118478e-304, 5.2998088236266445e-315, 0};
    Pk_jump solver;
    ProximityCache cache;
    for (int pass = 0; pass < 2; ++pass) {  // the second pass starts from the first's cache
        QmtVector3 points[PK_MAX_CONTACTS], normals[PK_MAX_CONTACTS];
        double values[PK_MAX_CONTACTS];
        std::uint32_t count = 0, feature = 0;
        if (solver.contactHullCapsule(hull->volume, capsule, cache, points, normals, count, values, feature)) {
            EXPECT_NEAR(normals[0].SquaredLength(), 1.0, 1e-6) << pass;
        }
    }
}
