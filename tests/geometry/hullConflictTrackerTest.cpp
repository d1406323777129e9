#include "geometry/hullConflictTracker.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <new>
#include <random>
#include <vector>

#include "geometry/stagedHull.h"

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

}  // namespace
