#include "src/shatter/seedPatterns.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

#include "geometry/testMeshes.h"
#include "math/qmtMath.h"
#include "tests/testSupport.h"

namespace {

using Qmt::QmtVector3;
using Points = std::vector<QmtVector3>;

// The 4 x 2 x 1 box about the origin.
std::unique_ptr<ZYL_DFmesh> boxMesh(double x = 2.0, double y = 1.0, double z = 0.5) {
    return meshtest::makeDFMesh(meshtest::box({-x, -y, -z}, {x, y, z}));
}

// A record as the shatter command fills it, for n seeds of the style.
struct PatternRun {
    Points points;
    Points samples;
    zyl_shatter_params params;

    PatternRun(std::uint16_t style, std::uint32_t n, std::uint32_t seed = 7) : points(n) {
        params.points = points.data();
        params.requested = params.produced = n;
        params.style = style;
        params.seed = seed;
        params.width = 0.5;
        params.maxRings = params.minRings = 3;
        params.numCentres = 2;
        params.centres[0] = {-1.0, 0.0, 0.0};
        params.centres[1] = {1.0, 0.2, 0.1};
        params.maxNoise = params.minNoise = 0.2;
        params.radialAxis = 2;
        params.numSamples = 0;
    }
    // Moves keep the arrays, and so the record's pointers into them.
    PatternRun(PatternRun&&) = default;
    PatternRun(const PatternRun&) = delete;
    void path(const QmtVector3& from, const QmtVector3& to, std::uint32_t count) {
        for (std::uint32_t i = 0; i < count; ++i) {
            samples.push_back(from + (to - from) * (i / double(count - 1)));
        }
        params.samples = samples.data();
        params.numSamples = count;
    }
    bool run(ZYL_DFmesh* mesh, const ZYLbox* box = nullptr) { return runSeedPattern(params, mesh, box); }
};

bool insideBox(const QmtVector3& p, double x, double y, double z, double tol = 1e-6) {
    return std::fabs(p.x) <= x + tol && std::fabs(p.y) <= y + tol && std::fabs(p.z) <= z + tol;
}

// One number per point set that any change to a pattern moves.
double fingerprint(const Points& points) {
    double sum = 0.0;
    for (std::size_t i = 0; i < points.size(); ++i) {
        sum += (i + 1) * (points[i].x + 2.0 * points[i].y + 3.0 * points[i].z);
    }
    return sum;
}

TEST(SeedPatterns, RecordDefaultsAndShallowCopies) {
    zyl_shatter_params p;
    EXPECT_EQ(p.points, nullptr);
    EXPECT_EQ(p.samples, nullptr);
    EXPECT_EQ(p.pushFlag, 0);
    EXPECT_EQ(p.centre, QmtVector3::ZERO);
    for (const QmtVector3& c : p.centres) EXPECT_EQ(c, QmtVector3::ZERO);
    QmtVector3 out[2];
    p.points = out;
    p.style = 3;
    const zyl_shatter_params copy = p;
    EXPECT_EQ(copy.points, out);
    EXPECT_EQ(copy.style, 3);
}

// Every style: points in the mesh, repeatable from its seed, and seed 0 going on with
// the sequence the caller started. Golden numbers of seed 7 guard each pattern.
TEST(SeedPatterns, EveryStyleIsRepeatableAndGolden) {
    struct Golden {
        std::uint16_t style;
        std::uint32_t samples;  // along the path: 25 leave fewer seeds than segments, 7 more
        std::uint32_t produced;
        double fingerprint;
    };
    const Golden golden[] = {{0, 25, 12, -13.050752281258575},   {1, 25, 12, -21.277000406627948},
                             {2, 25, 12, 3.6935115936292742},    {3, 25, 12, -47.453288983783409},
                             {4, 25, 8, 9.6404250529957558},     {4, 7, 10, -4.1153340551309885},
                             {0xFFFF, 25, 12, -13.050752281258575}};
    auto mesh = boxMesh();
    for (const Golden& g : golden) {
        SCOPED_TRACE(g.style);
        const auto make = [&](std::uint32_t seed) {
            PatternRun r(g.style, 12, seed);
            r.path({-3.0, 0.1, 0.0}, {3.0, -0.1, 0.1}, g.samples);
            return r;
        };
        PatternRun a = make(7);
        ASSERT_TRUE(a.run(mesh.get()));
        EXPECT_EQ(a.params.produced, g.produced);
        for (std::uint32_t i = 0; i < a.params.produced; ++i) {
            EXPECT_TRUE(insideBox(a.points[i], 2.0, 1.0, 0.5, 0.05)) << i;
        }
        EXPECT_NEAR(fingerprint(a.points), g.fingerprint, 1e-9);

        PatternRun again = make(7);
        ASSERT_TRUE(again.run(mesh.get()));
        EXPECT_EQ(again.points, a.points);

        PatternRun continued = make(0);
        Qmt::Math::SeedRandom(7);
        ASSERT_TRUE(continued.run(mesh.get()));
        EXPECT_EQ(continued.points, a.points);
    }
}

TEST(SeedPatterns, RadialRingsAndTheirCounts) {
    auto mesh = boxMesh();
    // 10 seeds on 3 rings: 3 per ring, the tenth stays at the origin.
    PatternRun three(2, 10);
    ASSERT_TRUE(three.run(mesh.get()));
    EXPECT_EQ(three.params.produced, 10u);
    for (int i = 0; i < 9; ++i) EXPECT_NE(three.points[i], QmtVector3::ZERO) << i;
    EXPECT_EQ(three.points[9], QmtVector3::ZERO);

    // One ring without noise: every point at the ring spacing from the centre.
    PatternRun one(2, 6);
    one.params.maxRings = one.params.minRings = 1;
    one.params.maxNoise = one.params.minNoise = 0.0;
    ASSERT_TRUE(one.run(mesh.get()));
    for (const QmtVector3& p : one.points) EXPECT_NEAR(p.Length(), 0.5 / 1 * 0.5, 1e-12);

    // Ring and noise bounds that differ are drawn into the maximum fields.
    PatternRun drawn(2, 40);
    drawn.params.minRings = 2;
    drawn.params.maxRings = 6;
    drawn.params.minNoise = 0.1;
    ASSERT_TRUE(drawn.run(mesh.get()));
    EXPECT_GE(drawn.params.maxRings, 2);
    EXPECT_LE(drawn.params.maxRings, 6);
    EXPECT_NE(drawn.params.maxNoise, 0.2);

    // No ring at all (also drawn as 0), or too few points for two: failure, nothing made.
    for (const auto& [rings, n] : {std::pair{0, 10u}, std::pair{1, 1u}, std::pair{4, 3u}}) {
        PatternRun none(2, n);
        none.params.maxRings = none.params.minRings = rings;
        EXPECT_FALSE(none.run(mesh.get()));
        EXPECT_EQ(none.params.produced, 0u);
        EXPECT_EQ(none.points, Points(n));
    }
}

TEST(SeedPatterns, ClusteredLeavesUnfilledPlacesAtTheOrigin) {
    auto mesh = boxMesh();
    PatternRun seven(1, 7);
    seven.params.numCentres = 1;
    seven.params.centres[0] = {0.5, 0.2, 0.0};
    seven.params.pushFlag = 1;
    ASSERT_TRUE(seven.run(mesh.get()));
    EXPECT_EQ(seven.params.centre, seven.params.centres[0]);
    EXPECT_EQ(seven.params.pushFlag, 0);
    EXPECT_EQ(seven.params.produced, 7u);
    int zeros = 0;
    for (const QmtVector3& p : seven.points) zeros += p == QmtVector3::ZERO;
    EXPECT_EQ(zeros, 1);

    // More centres than seeds: no quota, no point; the centre count is capped at 5.
    PatternRun few(1, 4);
    few.params.numCentres = 9;
    ASSERT_TRUE(few.run(mesh.get()));
    EXPECT_EQ(few.params.numCentres, 5);
    EXPECT_EQ(few.points, Points(4));
}

TEST(SeedPatterns, PlanarStaysInItsSlab) {
    auto mesh = boxMesh();
    PatternRun slab(3, 20);
    slab.params.centre = {0.3, 0.0, 0.0};
    ASSERT_TRUE(slab.run(mesh.get()));
    // Axis 2 is the box's longest axis (x): the slab is 0.01 of its half extent thick.
    for (const QmtVector3& p : slab.points) EXPECT_NEAR(p.x, 0.3, 0.02 + 1e-6);
}

TEST(SeedPatterns, PathFollowsTheCurveInsideTheMesh) {
    auto mesh = boxMesh();
    PatternRun through(4, 20);
    through.path({-3.0, 0.0, 0.0}, {3.0, 0.0, 0.0}, 31);
    through.params.width = 0.1;
    ASSERT_TRUE(through.run(mesh.get()));
    EXPECT_GE(through.params.produced, 2u);
    EXPECT_LT(through.params.produced, 20u);
    for (std::uint32_t i = 0; i < through.params.produced; ++i) {
        EXPECT_LT(std::hypot(through.points[i].y, through.points[i].z), 0.5) << i;
    }

    // Fewer seeds than segments: uniform points pulled onto the path (width 0: onto it).
    PatternRun pulled(4, 3);
    pulled.path({-1.5, 0.0, 0.0}, {1.5, 0.0, 0.0}, 40);
    pulled.params.width = 0.0;
    ASSERT_TRUE(pulled.run(mesh.get()));
    EXPECT_EQ(pulled.params.produced, 3u);
    for (const QmtVector3& p : pulled.points) EXPECT_LT(std::hypot(p.y, p.z), 1e-3);

    PatternRun outside(4, 20);
    outside.path({-3.0, 5.0, 0.0}, {3.0, 5.0, 0.0}, 31);
    EXPECT_FALSE(outside.run(mesh.get()));
    EXPECT_EQ(outside.params.produced, 0u);

    PatternRun noCurve(4, 20);
    EXPECT_FALSE(noCurve.run(mesh.get()));
}

TEST(SeedPatterns, UniformSamplesThePartTheBoxCovers) {
    auto mesh = boxMesh();
    ZYLbox half;
    half.centre = {1.0, 0.0, 0.0};
    half.axes = Qmt::QmtMatrix3::IDENTITY;
    half.halfExtents = {1.0, 5.0, 5.0};
    PatternRun run(0, 30);
    ASSERT_TRUE(run.run(mesh.get(), &half));
    for (const QmtVector3& p : run.points) EXPECT_GE(p.x, -1e-3);

    // A box far outside: its centre is brought to the hull box grown by half.
    half.centre = {40.0, 0.0, 0.0};
    PatternRun far(0, 10);
    ASSERT_TRUE(far.run(mesh.get(), &half));
    for (const QmtVector3& p : far.points) EXPECT_TRUE(insideBox(p, 2.0, 1.0, 0.5, 0.05));
}

TEST(SeedPatterns, FlatMeshesFailEveryStyle) {
    // A sheet has no hull; a sliver has a hull whose box is too thin.
    std::unique_ptr<ZYL_DFmesh> meshes[] = {boxMesh(2.0, 1.0, 0.0), boxMesh(0.01, 0.01, 0.05)};
    for (auto& mesh : meshes) {
        for (const std::uint16_t style : {0, 1, 2, 3, 4}) {
            PatternRun run(style, 8);
            run.path({-3.0, 0.0, 0.0}, {3.0, 0.0, 0.0}, 31);
            EXPECT_FALSE(run.run(mesh.get())) << style;
            EXPECT_EQ(run.params.produced, 0u);
        }
        Points out(4);
        EXPECT_FALSE(generateSeedsInHull(mesh.get(), out.data(), 4, 7, false));
    }
}

TEST(SeedPatterns, HullSeedsAndCompactTwins) {
    auto mesh = boxMesh();
    Points a(6), b(6);
    ASSERT_TRUE(generateSeedsInHull(mesh.get(), a.data(), 6, 3, false));
    ASSERT_TRUE(generateSeedsInHull(mesh.get(), b.data(), 6, 3, false));
    EXPECT_EQ(a, b);
    for (const QmtVector3& p : a) EXPECT_TRUE(insideBox(p, 2.0, 1.0, 0.5, 0.05));

    const auto compact = meshtest::makeMesh(meshtest::box({-2, -1, -0.5}, {2, 1, 0.5}));
    const QmtVector3 centres[5] = {{-1, 0, 0}, {1, 0, 0}};
    Points samples;
    for (int i = 0; i <= 20; ++i) samples.push_back({-3.0 + 0.3 * i, 0.0, 0.0});
    Points out(10);
    std::uint32_t produced = 0;
    EXPECT_TRUE(uniformSeeds(compact.get(), out.data(), 10, 7));
    EXPECT_TRUE(clusteredSeeds(compact.get(), out.data(), 10, 7, {}, centres, 2, 0.5, false));
    EXPECT_TRUE(radialSeeds(compact.get(), out.data(), 10, 7, {}, 2, 0.2, 0, 0.5));
    EXPECT_TRUE(pathSeeds(compact.get(), out.data(), 10, 7, samples.data(), 21, 0.2, produced));
    EXPECT_GE(produced, 2u);
    for (const QmtVector3& p : out) EXPECT_TRUE(insideBox(p, 2.0, 1.0, 0.5, 0.05));
}

}  // namespace
