#include "engine/collision/convex/pkJump.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>
#include <vector>

#include "engine/collision/convex/pkJumpLoop.h"
#include "geometry/hull/convexHull.h"
#include "tests/engine/collision/convex/testHulls.h"
#include "tests/testSupport.h"

using Qmt::QmtMatrix3;
using Qmt::QmtVector3;
using namespace hulltest;

namespace {

QmtMatrix3 rotation(QmtVector3 axis, double angle) {
    axis.Unitize(QmtMatrix3::EPSILON);
    return zyltest::axisRotation(axis, angle);
}

// A unit direction from a point drawn in the unit ball, not within 0.1 of its centre.
QmtVector3 randomUnit(zyltest::Lcg& rng) {
    for (;;) {
        QmtVector3 v{rng.Range(-1.0, 1.0), rng.Range(-1.0, 1.0), rng.Range(-1.0, 1.0)};
        if (v.SquaredLength() > 0.01 && v.SquaredLength() <= 1.0) {
            v.Unitize(QmtMatrix3::EPSILON);
            return v;
        }
    }
}

// Hull of n points on the unit sphere, placed by R and T.
std::unique_ptr<Hull> sphereHull(std::uint32_t n, std::uint64_t seed, const QmtVector3& T,
                                 const QmtMatrix3& R = QmtMatrix3::IDENTITY,
                                 std::uint32_t options = LINKS) {
    zyltest::Lcg rng(seed);
    std::vector<QmtVector3> points(n);
    for (QmtVector3& p : points) {
        p = randomUnit(rng);
    }
    auto hull = std::make_unique<Hull>();
    hull->mesh.reset(buildConvexHullMesh(points.data(), n));
    if (!hull->mesh) {
        ADD_FAILURE() << "hull build failed";
        return hull;
    }
    hull->mesh->worldVertices = new QmtVector3[hull->mesh->numVertices];
    meshTransformSRT(hull->mesh.get(), T, R, {1.0, 1.0, 1.0});
    EXPECT_TRUE(hull->volume.init(hull->mesh.get(), options));
    return hull;
}

// Whatever the answer, the cache holds a unit direction and the difference of its
// stored supports.
void expectWrittenBack(const ProximityCache& c, const ZYLmesh& a, const QmtVector3* b,
                       std::uint32_t bCount) {
    ASSERT_LT(c.vertexA, a.numVertices);
    ASSERT_LT(c.vertexB, bCount);
    EXPECT_EQ(c.difference, b[c.vertexB] - a.worldVertices[c.vertexA]);
    EXPECT_NEAR(c.direction.Length(), 1.0, 1e-12);
}

}  // namespace

TEST(PkJump, InstanceIsNullUntilPublished) {
    EXPECT_EQ(getPkJumpInstance(), nullptr);
    Pk_jump solver;
    setPkJumpInstance(&solver);
    EXPECT_EQ(getPkJumpInstance(), &solver);
    setPkJumpInstance(nullptr);
    EXPECT_EQ(getPkJumpInstance(), nullptr);
}

TEST(PkJump, SupportClimbsScansAndKeepsTies) {
    const Pk_jump solver;
    auto linked = sphereHull(200, 7, {0.5, -1.0, 2.0});
    auto bare = sphereHull(200, 7, {0.5, -1.0, 2.0}, QmtMatrix3::IDENTITY, 0);
    auto freed = sphereHull(200, 7, {0.5, -1.0, 2.0});
    freed->volume.destroy();  // built flags stay set, the tables are gone
    ASSERT_TRUE(freed->volume.isConnectVertex());
    const ZYLmesh& mesh = *linked->mesh;
    zyltest::Lcg rng(99);
    for (std::uint32_t k = 0; k < 200; ++k) {
        const QmtVector3 d = randomUnit(rng);
        double best = mesh.worldVertices[0].Dot(d);
        for (std::uint32_t i = 1; i < mesh.numVertices; ++i) {
            best = std::max(best, mesh.worldVertices[i].Dot(d));
        }
        const std::uint32_t s = solver.hullSupportVertex(linked->volume, k * 37 % mesh.numVertices, d);
        ASSERT_LT(s, mesh.numVertices);
        EXPECT_EQ(mesh.worldVertices[s].Dot(d), best);
        EXPECT_EQ(solver.hullSupportVertex(linked->volume, s, d), s);
        EXPECT_EQ(solver.hullSupportVertex(bare->volume, 0, d), s);
        EXPECT_EQ(solver.hullSupportVertex(freed->volume, 0, d), s);
    }

    // Cube corners 0..3 tie along +x: the climb keeps its start.
    auto cube = cubeHull({0.0, 0.0, 0.0});
    auto bareCube = cubeHull({0.0, 0.0, 0.0}, QmtMatrix3::IDENTITY, 0);
    const QmtVector3 x(1.0, 0.0, 0.0);
    for (std::uint32_t c = 0; c < 4; ++c) {
        EXPECT_EQ(solver.hullSupportVertex(cube->volume, c, x), c);
        EXPECT_EQ(solver.hullSupportVertex(bareCube->volume, c, x), c);
    }
    // From corner 4 the one better neighbour is corner 2, whose neighbours only tie;
    // the scan takes the first maximal vertex instead.
    EXPECT_EQ(solver.hullSupportVertex(cube->volume, 4, x), 2u);
    EXPECT_EQ(solver.hullSupportVertex(bareCube->volume, 4, x), 0u);
    // A start outside the hull climbs from 0 to corner 6, the first with x = -1.
    EXPECT_EQ(solver.hullSupportVertex(cube->volume, 1000, -x), 6u);
}

TEST(PkJump, HullBoxCacheIsExactAndReused) {
    const Pk_jump solver;
    auto hull = cubeHull({0.0, 0.0, 0.0});
    ZYLbox record = makeBox({10.0, 0.0, 0.0}, {1.0, 1.0, 1.0}, QmtMatrix3::IDENTITY);
    const BVbox box(&record);

    // Fresh: along the centre line; hull corner 0 keeps its tie, box corners 4..7
    // tie and the lowest wins.
    ProximityCache cache;
    EXPECT_EQ(solver.testHullBox(hull->volume, box, cache), 0u);
    EXPECT_EQ(cache.direction, QmtVector3(1.0, 0.0, 0.0));
    EXPECT_EQ(cache.vertexA, 0u);
    EXPECT_EQ(cache.vertexB, 4u);
    EXPECT_EQ(cache.difference, QmtVector3(8.0, -2.0, -2.0));

    // Warm: a separating direction off the centre line is kept and the hull climbs
    // from the cached corner 4 to corner 1 (1, 1, -1).
    QmtVector3 tilted(1.0, 0.2, 0.0);
    tilted.Unitize(QmtMatrix3::EPSILON);
    ProximityCache warm{{}, 4, 6, tilted};
    EXPECT_EQ(solver.testHullBox(hull->volume, box, warm), 0u);
    EXPECT_EQ(warm.direction, tilted);
    EXPECT_EQ(warm.vertexA, 1u);
    EXPECT_EQ(warm.vertexB, 4u);
    EXPECT_EQ(warm.difference, QmtVector3(8.0, -2.0, 0.0));
}

TEST(PkJump, HullBoxOverlapAndSeparation) {
    const Pk_jump solver;
    auto hull = cubeHull({0.0, 0.0, 0.0});
    const QmtMatrix3 tilt = rotation({1.0, 1.0, 0.0}, 0.7);
    const QmtMatrix3 turn = rotation({0.0, 0.0, 1.0}, M_PI / 4.0);
    struct Case {
        QmtVector3 centre, half;
        QmtMatrix3 axes;
        std::uint32_t expected;
    };
    const Case cases[] = {
        {{0.3, 0.1, -0.2}, {1.0, 1.0, 1.0}, QmtMatrix3::IDENTITY, 1},
        {{0.0, 0.0, 0.0}, {1.0, 1.0, 1.0}, QmtMatrix3::IDENTITY, 1},  // coincident centres
        {{0.0, 0.0, 0.0}, {0.2, 0.3, 0.4}, tilt, 1},  // inside: an axial fan record
        {{0.0, 0.0, 0.0}, {5.0, 5.0, 5.0}, QmtMatrix3::IDENTITY, 1},
        {{1.5, 0.5, 0.0}, {1.0, 0.5, 0.5}, turn, 1},
        {{2.6, 0.0, 0.0}, {1.0, 1.0, 1.0}, turn, 0},  // 0.19 apart
        {{2.5, 2.5, 0.3}, {1.0, 0.5, 0.5}, tilt, 0},
    };
    for (const Case& c : cases) {
        ZYLbox record = makeBox(c.centre, c.half, c.axes);
        const BVbox box(&record);
        QmtVector3 corners[8];
        box.computeVertexes(corners);
        ProximityCache cache;
        EXPECT_EQ(solver.testHullBox(hull->volume, box, cache), c.expected) << c.centre.x;
        expectWrittenBack(cache, *hull->mesh, corners, 8);
    }
}

TEST(PkJump, HullHullCubes) {
    const Pk_jump solver;
    auto a = cubeHull({0.0, 0.0, 0.0});
    auto bareA = cubeHull({0.0, 0.0, 0.0}, QmtMatrix3::IDENTITY, 0);
    const QmtMatrix3 tilt = rotation({0.3, 1.0, 0.2}, 0.9);
    // In exact or near contact the answer may hang on which tied vertex a support
    // takes, so only clear cases must agree without vertex links.
    struct Case {
        QmtVector3 centre;
        QmtMatrix3 axes;
        std::uint32_t expected;
        bool clear;
    };
    const Case cases[] = {
        {{3.0, 0.0, 0.0}, QmtMatrix3::IDENTITY, 0, true},
        {{3.5, 3.5, 0.0}, tilt, 0, true},
        // Touching: the support difference vanishes and gives no axis to turn about.
        {{2.0, 0.0, 0.0}, QmtMatrix3::IDENTITY, 0, false},
        {{2.0, 2.0, 2.0}, QmtMatrix3::IDENTITY, 0, false},
        {{1.95, 1.95, 1.95}, QmtMatrix3::IDENTITY, 1, false},
        {{1.2, 0.3, -0.4}, QmtMatrix3::IDENTITY, 1, true},
        {{0.0, 0.0, 0.0}, QmtMatrix3::IDENTITY, 1, true},  // coincident centres
        {{0.0, 0.0, 0.0}, tilt, 1, true},
        {{1.5, -1.5, 0.5}, tilt, 1, true},
    };
    for (const Case& c : cases) {
        auto b = cubeHull(c.centre, c.axes);
        ProximityCache cache;
        EXPECT_EQ(solver.testHullHull(a->volume, b->volume, cache), c.expected) << c.centre.x;
        expectWrittenBack(cache, *a->mesh, b->mesh->worldVertices, 8);
        if (c.clear) {
            auto bareB = cubeHull(c.centre, c.axes, 0);
            ProximityCache bareCache;
            EXPECT_EQ(solver.testHullHull(bareA->volume, bareB->volume, bareCache), c.expected);
        }
    }
}

TEST(PkJump, HullHullRandomHullsApartOrDeep) {
    const Pk_jump solver;
    zyltest::Lcg rng(2024);
    for (std::uint32_t k = 0; k < 60; ++k) {
        // Within radius 1 and around a ball of radius well above 0.25: 2.2 apart is
        // clear, 0.5 apart is deep.
        const bool apart = k % 2 == 0;
        const QmtVector3 centre = randomUnit(rng) * (apart ? 2.2 : 0.5);
        auto a = sphereHull(40, 100 + k, {0.0, 0.0, 0.0}, rotation(randomUnit(rng), 0.1 * k));
        auto b = sphereHull(40, 500 + k, centre, rotation(randomUnit(rng), 0.2 * k));
        ProximityCache cache;
        EXPECT_EQ(solver.testHullHull(a->volume, b->volume, cache), apart ? 0u : 1u) << k;
        expectWrittenBack(cache, *a->mesh, b->mesh->worldVertices, b->mesh->numVertices);
        EXPECT_EQ(solver.testHullHull(a->volume, b->volume, cache), apart ? 0u : 1u) << k;
    }
}

TEST(PkJump, FanTests) {
    const Pk_jump solver;
    // Hull A is the origin alone, so a record's difference is B's vertex: three
    // directions 120 degrees apart around the axis, then three within 45 degrees.
    ZYLmesh origin;
    origin.numVertices = 1;
    origin.worldVertices = new QmtVector3[1]{};
    const BVmesh a(&origin);
    ZYLmesh spread;
    spread.numVertices = 6;
    spread.worldVertices = new QmtVector3[6];
    for (int i = 0; i < 3; ++i) {
        const double t = 2.0 * M_PI * i / 3.0, s = M_PI * i / 8.0;
        spread.worldVertices[i] = {std::cos(t), std::sin(t), -0.5};
        spread.worldVertices[3 + i] = {std::cos(s), std::sin(s), -0.5};
    }
    const BVmesh b(&spread);
    const QmtVector3 n(0.0, 0.0, -1.0);

    // Fewer than two records only turn the fan: to the axis, or square to it when
    // the sum cancels; a fan along the axis is left alone.
    SupportRecord pool[3] = {{{}, 0, 0, {}}, {{}, 0, 1, {}}, {{}, 0, 2, {}}};
    QmtVector3 fan;
    EXPECT_FALSE(solver.fanTestHullHull(a, b, n, fan, pool, 0));
    EXPECT_EQ(fan, n);
    fan = -n;
    EXPECT_FALSE(solver.fanTestHullHull(a, b, n, fan, pool, 1));
    EXPECT_EQ(fan, QmtVector3(1.0, 0.0, 0.0));
    fan = n;
    EXPECT_FALSE(solver.fanTestHullHull(a, b, n, fan, pool, 3));
    EXPECT_EQ(fan, n);

    fan = QmtVector3(1.0, 0.0, 0.0);
    EXPECT_TRUE(solver.fanTestHullHull(a, b, n, fan, pool, 3));
    std::swap(pool[0], pool[1]);  // either winding
    EXPECT_TRUE(solver.fanTestHullHull(a, b, n, fan, pool, 3));

    // One-sided: the fan turns square to the axis and to one outer record, leaning
    // to the other (which is which depends on the frame's handedness).
    for (std::uint32_t i = 0; i < 3; ++i) {
        pool[i].vertexB = 3 + i;
    }
    EXPECT_FALSE(solver.fanTestHullHull(a, b, n, fan, pool, 3));
    QmtVector3 first = spread.worldVertices[3], last = spread.worldVertices[5];
    first.Unitize(QmtMatrix3::EPSILON);
    last.Unitize(QmtMatrix3::EPSILON);
    EXPECT_NEAR(fan.Length(), 1.0, 1e-12);
    EXPECT_NEAR(fan.Dot(n), 0.0, 1e-12);
    EXPECT_TRUE((std::abs(fan.Dot(first)) < 1e-12 && fan.Dot(last) > 0.1) ||
                (std::abs(fan.Dot(last)) < 1e-12 && fan.Dot(first) > 0.1));

    // The box variant reads a record's box side by corner index. Off the axis, so no
    // two corners face each other across it: corners 0, 5, 2 lie on one side, 0, 5, 4
    // go around.
    ZYLbox record = makeBox({0.5, 0.3, -3.0}, {1.0, 1.0, 1.0}, QmtMatrix3::IDENTITY);
    const BVbox box(&record);
    SupportRecord corners[3] = {{{}, 0, 0, {}}, {{}, 0, 5, {}}, {{}, 0, 2, {}}};
    fan = QmtVector3(1.0, 0.0, 0.0);
    EXPECT_FALSE(solver.fanTestHullBox(a, box, n, fan, corners, 3));
    corners[2].vertexB = 4;
    fan = QmtVector3(1.0, 0.0, 0.0);
    EXPECT_TRUE(solver.fanTestHullBox(a, box, n, fan, corners, 3));
}

TEST(PkJump, FanTestOrdersATinyRealOffset) {
    // Record 0 leans only 3e-6 off the axis: still a direction, so the two records
    // swap and the fan turns square to record 1, leaning towards record 0.
    const Pk_jump solver;
    auto a = cubeHull({0.0, 0.0, 0.0});
    auto b = cubeHull({3e-6, 0.0, 3.0});
    const auto vertexAt = [](const ZYLmesh& m, const QmtVector3& p) {
        for (std::uint32_t i = 0; i < m.numVertices; ++i) {
            if ((m.worldVertices[i] - p).SquaredLength() < 1e-24) return i;
        }
        ADD_FAILURE() << "no vertex at " << p.x << ' ' << p.y << ' ' << p.z;
        return 0u;
    };
    const std::uint32_t top = vertexAt(*a->mesh, {1.0, 1.0, 1.0});
    SupportRecord pool[2] = {{{}, top, vertexAt(*b->mesh, {1.0 + 3e-6, 1.0, 2.0}), {}},
                             {{}, top, vertexAt(*b->mesh, {1.0 + 3e-6, -1.0, 2.0}), {}}};
    const QmtVector3 n(0.0, 0.0, 1.0);
    QmtVector3 fan;
    EXPECT_FALSE(solver.fanTestHullHull(a->volume, b->volume, n, fan, pool, 2));
    EXPECT_NEAR(fan.x, 1.0, 1e-11);  // a unit vector: 1 - 1.125e-12
    EXPECT_NEAR(fan.y, 1.5e-6, 1e-15);
    EXPECT_EQ(fan.z, 0.0);
}

TEST(PkJump, PoolGrowsInBlocksKeepingRecords) {
    PkJumpDetail::SupportPool pool;
    for (std::uint32_t i = 0; i < 100; ++i) {
        ASSERT_TRUE(pool.push({{static_cast<double>(i), 0.0, 0.0}, i, 1000 + i, {}}));
    }
    ASSERT_EQ(pool.size(), 100u);
    for (std::uint32_t i = 0; i < 100; ++i) {
        EXPECT_EQ(pool[i].vertexA, i);
        EXPECT_EQ(pool[i].vertexB, 1000 + i);
        EXPECT_EQ(pool.data()[i].difference.x, static_cast<double>(i));
    }
}
