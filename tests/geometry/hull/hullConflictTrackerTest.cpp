#include "geometry/hull/hullConflictTracker.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <new>
#include <random>
#include <vector>

#include "geometry/hull/stagedHull.h"
#include "tests/geometry/hull/hullClouds.h"

namespace {

using Qmt::QmtVector3;

// A slab whose thickness is about the visibility tolerance over its length: every
// point lies within the depth that the blocks keep below each face, so every face's
// block holds nearly every point.
TEST(HullConflictTracker, LinksBeyondTheLimitFailAsAnAllocationDoes) {
    std::mt19937 rng(5);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    std::vector<QmtVector3> points;
    for (int i = 0; i < 2000; ++i) points.emplace_back(1e3 * u(rng), u(rng), 1e-2 * u(rng));
    const auto n = static_cast<std::uint32_t>(points.size());
    StagedHull<ZYL_DFmesh> hull(points);
    ASSERT_TRUE(hull.started);
    std::vector<std::uint32_t> candidates;
    for (std::uint32_t i = 0; i < n; ++i) {
        if (!hull.inSimplex(i)) candidates.push_back(i);
    }
    const auto start = [&](HullConflictTracker& tracker) {
        tracker.start(points.data(), n, candidates, hull.context, hull.mesh.vertices, false, 1e-12);
    };
    HullConflictTracker limited;
    limited.limitLinks(candidates.size());  // the four faces' blocks need more
    EXPECT_THROW(start(limited), std::bad_alloc);
    HullConflictTracker unlimited;
    EXPECT_NO_THROW(start(unlimited));
    EXPECT_EQ(unlimited.liveCount(), candidates.size());
}

// Growth that takes back points it had left out starts its tracker over on the hull
// as it stands: every face must keep the answer it had while the tracker followed the
// growth.
TEST(HullConflictTracker, StartedPartWayAnswersAsOneThatFollowedTheGrowth) {
    const std::vector<QmtVector3> points = cubeCloud(3000, 11);
    const auto n = static_cast<std::uint32_t>(points.size());
    StagedHull<ZYL_DFmesh> hull(points);
    ASSERT_TRUE(hull.started);
    const ConvexHullContext& context = hull.context;
    std::vector<std::uint32_t> candidates;
    for (std::uint32_t i = 0; i < n; ++i) {
        if (!hull.inSimplex(i)) candidates.push_back(i);
    }
    const auto passes = [&](std::uint32_t face, std::uint32_t p) {
        const ConvexHullContext::Face& f = context.face(face);
        return p != HullConflictTracker::NONE && (points[p] - hull.mesh.vertices[f.corners[0]]).Dot(f.normal) > 1e-5;
    };
    HullConflictTracker followed;
    followed.start(points.data(), n, candidates, context, hull.mesh.vertices, false, 1e-11);
    for (int step = 0; step < 80; ++step) {
        std::uint32_t best = HullConflictTracker::NONE;
        for (std::uint32_t s = context.frontFace(); s != ConvexHullContext::NONE && best == HullConflictTracker::NONE;
             s = context.face(s).next) {
            const std::uint32_t b = followed.bestOutside(s, context);
            if (passes(s, b)) best = b;
        }
        ASSERT_NE(best, HullConflictTracker::NONE);
        hull.add(best);
        followed.drop(best);
        followed.update(context);
    }
    std::vector<std::uint32_t> answers;
    for (std::uint32_t s = context.frontFace(); s != ConvexHullContext::NONE; s = context.face(s).next) {
        answers.push_back(followed.bestOutside(s, context));
    }
    const std::uint32_t live = followed.liveCount();
    followed.restartWith(points.data(), n, {}, context);
    EXPECT_EQ(followed.liveCount(), live);
    int passing = 0;
    std::size_t k = 0;
    for (std::uint32_t s = context.frontFace(); s != ConvexHullContext::NONE; s = context.face(s).next, ++k) {
        const std::uint32_t a = answers[k];
        const std::uint32_t b = followed.bestOutside(s, context);
        ASSERT_EQ(passes(s, a), passes(s, b));
        if (passes(s, a)) {
            ASSERT_EQ(a, b);
            ++passing;
        }
    }
    EXPECT_GT(passing, 10);
}

}  // namespace
