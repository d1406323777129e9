#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "engine/collision/convex/pkJump.h"
#include "engine/collision/convex/pkJumpLoop.h"
#include "geometry/bounds/boundingVolumes.h"
#include "tests/engine/collision/convex/testHulls.h"
#include "tests/testSupport.h"

namespace {

using Qmt::QmtVector3;

// A pair whose record differences are stored in the records.
struct DifferencePolicy {
    QmtVector3 recordDifference(const SupportRecord& r) const { return r.difference; }
};

struct Manifold {
    QmtVector3 points[24];
    QmtVector3 normals[24];
    double values[24] = {};
    std::uint32_t count = 0;
    std::uint32_t featureId = 0;
};

}  // namespace

TEST(PkJumpSphere, HullSphereRows) {
    const Pk_jump solver;
    const auto cube = hulltest::cubeHull({0.0, 0.0, 0.0});  // half size 1
    const ZYLmesh& m = *cube->mesh;

    // Face: sunk 0.1 into the middle of the top face.
    ProximityCache cache;
    Manifold f;
    ASSERT_TRUE(solver.contactHullSphere(cube->volume, {0.2, 1.4, -0.1}, 0.5, cache, f.points, f.normals, f.count,
                                         f.values, f.featureId));
    ASSERT_EQ(f.count, 1u);
    // The polytope only approximates the sphere's round side: its face normal leans a
    // little, so the point sits a little off the centre's foot.
    zyltest::expectWithin(f.points[0], {0.2, 1.0, -0.1}, 1e-5);
    EXPECT_EQ(f.points[0].y, 1.0);
    zyltest::expectWithin(f.normals[0], {0.0, -1.0, 0.0}, 1e-12);
    EXPECT_NEAR(f.values[0], -0.1, 1e-5);

    // Vertex within 1e-5 of the sphere point: value 0, normal against the vertex's faces.
    const std::uint32_t v = 6;
    Manifold vm;
    solver.hullSphereManifold(cube->volume, {}, 0.0, &v, 1, m.worldVertices[v], vm.points, vm.normals, vm.count,
                              vm.values, vm.featureId);
    ASSERT_EQ(vm.count, 1u);
    EXPECT_EQ(vm.points[0], m.worldVertices[v]);
    EXPECT_EQ(vm.values[0], 0.0);
    QmtVector3 out = m.worldVertices[v];
    out.Unitize(1e-6);
    zyltest::expectWithin(vm.normals[0], -out, 1e-9);

    // Edge: the foot of the sphere point on the edge line, the normal against both
    // ends' unit normal sums, the signed distance along it.
    const std::uint32_t edge[2] = {5, 6};
    const QmtVector3 a = m.worldVertices[5], b = m.worldVertices[6];
    const QmtVector3 mid = (a + b) * 0.5;
    QmtVector3 outward = mid;
    outward.Unitize(1e-6);
    const QmtVector3 c0 = mid - outward * 0.05 + (b - a) * 0.1;
    Manifold em;
    solver.hullSphereManifold(cube->volume, {}, 0.0, edge, 2, c0, em.points, em.normals, em.count, em.values,
                              em.featureId);
    ASSERT_EQ(em.count, 1u);
    zyltest::expectWithin(em.points[0], mid + (b - a) * 0.1, 1e-9);
    zyltest::expectWithin(em.normals[0], -outward, 1e-9);
    EXPECT_NEAR(em.values[0], -0.05, 1e-9);

    // Far sphere: no overlap, outputs untouched.
    ProximityCache fresh;
    Manifold none;
    EXPECT_FALSE(solver.contactHullSphere(cube->volume, {0.0, 3.0, 0.0}, 0.5, fresh, none.points, none.normals,
                                          none.count, none.values, none.featureId));
    EXPECT_EQ(none.count, 0u);
}

TEST(PkJumpSphere, SpherePairsAgreeWithCentreDistance) {
    const Pk_jump solver;
    EXPECT_EQ(solver.testSphereSphere({0, 0, 0}, 1.0, {2.1, 0, 0}, 1.0), 0u);
    EXPECT_EQ(solver.testSphereSphere({0, 0, 0}, 1.0, {1.9, 0, 0}, 1.0), 1u);
    EXPECT_EQ(solver.testSphereSphere({1, 2, 3}, 0.5, {1, 2, 3}, 0.25), 1u);  // coincident centres
    std::mt19937 rng(5);
    std::uniform_real_distribution<double> u(-2.0, 2.0), r(0.1, 1.0);
    for (int i = 0; i < 300; ++i) {
        const QmtVector3 cA(u(rng), u(rng), u(rng)), cB(u(rng), u(rng), u(rng));
        const double rA = r(rng), rB = r(rng);
        const double gap = (cB - cA).Length() - rA - rB;
        if (std::fabs(gap) < 1e-3) {
            continue;
        }
        EXPECT_EQ(solver.testSphereSphere(cA, rA, cB, rB), gap < 0.0 ? 1u : 0u) << i;
        // The hull-sphere test against a box hull agrees with the box's distance.
        const auto cube = hulltest::cubeHull(cA);
        ProximityCache cache;
        const QmtVector3 d = cB - cA;
        const QmtVector3 q(std::fmax(std::fabs(d.x) - 1.0, 0.0), std::fmax(std::fabs(d.y) - 1.0, 0.0),
                           std::fmax(std::fabs(d.z) - 1.0, 0.0));
        const double boxGap = q.Length() - rB;
        if (std::fabs(boxGap) > 1e-3 && std::fmax(std::fmax(std::fabs(d.x), std::fabs(d.y)), std::fabs(d.z)) > 1.0) {
            EXPECT_EQ(solver.testHullSphere(cube->volume, cB, rB, cache), boxGap < 0.0 ? 1u : 0u) << i;
        }
    }
}

TEST(PkJumpSphere, SphereFanClosesWindingAtMinusTolerance) {
    // With both centres at the origin and radii summing to 1 a record's difference is
    // minus its direction. Third record: turned back past edge 0 (b <= -1e-5) while
    // exactly in line with edge 1 (a = 0).
    const Pk_jump solver;
    SupportRecord pool[3];
    pool[0].direction = {-1.0, 0.0, 0.0};
    pool[1].direction = {0.0, -1.0, 0.0};
    pool[2].direction = {0.0, 1.0, 0.0};
    const QmtVector3 n(0.0, 0.0, 1.0);
    QmtVector3 fan;
    EXPECT_TRUE(solver.fanTestSphereSphere({}, 0.5, {}, 0.5, n, fan, pool, 3));
    // The shared fan test at its usual 1e-5 takes the same record as the new edge 0.
    SupportRecord differences[3];
    for (int i = 0; i < 3; ++i) {
        differences[i].difference = -pool[i].direction;
    }
    QmtVector3 fan2;
    EXPECT_FALSE(PkJumpDetail::fanTest(DifferencePolicy{}, n, fan2, differences, 3));
    QmtVector3 fan3;
    EXPECT_TRUE(PkJumpDetail::fanTest(DifferencePolicy{}, n, fan3, differences, 3, nullptr, -1e-5));
}

TEST(PkJumpSphere, CapsuleAgainstAxisAlignedBoxAsAgainstBox) {
    const Pk_jump solver;
    ZYLAAbox aa{{-1.0, -0.5, -2.0}, {1.0, 0.5, 2.0}};
    BVAAbox aabox(&aa);
    ZYLbox ob{{0.0, 0.0, 0.0}, Qmt::QmtMatrix3::IDENTITY, {1.0, 0.5, 2.0}};
    BVbox obox(&ob);
    QmtVector3 ca[8], cb[8];
    aabox.computeVertexes(ca);
    obox.computeVertexes(cb);
    for (int i = 0; i < 8; ++i) {
        ASSERT_EQ(ca[i], cb[i]);
    }
    std::mt19937 rng(9);
    std::uniform_real_distribution<double> u(-3.0, 3.0);
    for (int i = 0; i < 200; ++i) {
        QmtVector3 axis(u(rng), u(rng), u(rng));
        axis.Unitize(1e-6);
        const ZYLcapsule capsule{{u(rng), u(rng), u(rng)}, axis, 1.0 + 0.3 * u(rng), 0.4};
        ProximityCache c1, c2;
        EXPECT_EQ(solver.testCapsuleAAbox(aabox, capsule, c1), solver.testCapsuleBox(obox, capsule, c2)) << i;
        EXPECT_EQ(c1.direction, c2.direction);
        EXPECT_EQ(c1.vertexA, c2.vertexA);
    }
}
