#include "geometry/hull/hullInteriorCull.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <iterator>
#include <numeric>
#include <random>
#include <utility>
#include <vector>

#include "tests/geometry/hull/hullClouds.h"

namespace {

using Qmt::QmtVector3;
constexpr std::uint32_t NONE = InteriorCull::NONE;
constexpr double TOLERANCE = 1e-5;
constexpr double ROUNDING = 1e-11;  // the builders' allowance for a cloud of unit coordinates

struct Culled {
    std::vector<QmtVector3> points;
    std::vector<std::uint32_t> kept;
    InteriorCull cull;
};

// Every point of a cloud in [-1, 1]^3 a candidate, then culled.
void cullCloud(Culled& c, std::vector<QmtVector3> points) {
    c.points = std::move(points);
    const auto n = static_cast<std::uint32_t>(c.points.size());
    c.kept.resize(n);
    std::iota(c.kept.begin(), c.kept.end(), 0u);
    c.cull.apply(c.points.data(), n, c.kept, {-1, -1, -1}, {1, 1, 1}, 3.5e-3, ROUNDING);
}

void cullCube(Culled& c, std::uint32_t n, std::uint32_t seed) { cullCloud(c, cubeCloud(n, seed)); }

// The growth's order of answers: larger dot product, then higher index.
bool ranksAbove(const std::vector<QmtVector3>& pts, std::uint32_t a, std::uint32_t b, const QmtVector3& n) {
    if (b == NONE) return a != NONE;
    if (a == NONE) return false;
    const double da = pts[a].Dot(n);
    const double db = pts[b].Dot(n);
    return da > db || (da == db && a > b);
}

TEST(InteriorCull, LeavesOutMostOfASolidCloudAndGivesItBack) {
    Culled c;
    cullCube(c, 20000, 4);
    ASSERT_TRUE(c.cull.active());
    EXPECT_TRUE(std::is_sorted(c.kept.begin(), c.kept.end()));
    const std::vector<std::uint32_t> out = c.cull.release();
    EXPECT_FALSE(c.cull.active());
    EXPECT_TRUE(std::is_sorted(out.begin(), out.end()));
    EXPECT_GT(out.size(), 20000u * 3 / 4);
    std::vector<std::uint32_t> all;
    std::merge(c.kept.begin(), c.kept.end(), out.begin(), out.end(), std::back_inserter(all));
    std::vector<std::uint32_t> expected(20000);
    std::iota(expected.begin(), expected.end(), 0u);
    EXPECT_EQ(all, expected);

    // A shell has no inside to leave out; small clouds are not culled at all.
    Culled shell;
    cullCloud(shell, sphereCloud(20000, 4));
    EXPECT_FALSE(shell.cull.active());
    EXPECT_EQ(shell.kept.size(), 20000u);
    Culled small;
    cullCube(small, InteriorCull::CULL_FROM - 1, 4);
    EXPECT_FALSE(small.cull.active());
}

// Faces through the cloud, tilted every way, answered by a kept point or by none: the
// verdict must agree with a search of every point left out, and a point taken and
// joined is never offered again.
TEST(InteriorCull, ChallengeAgreesWithAFullSearch) {
    Culled c;
    cullCube(c, 20000, 9);
    std::vector<std::uint32_t> out = c.cull.release();
    cullCube(c, 20000, 9);
    std::mt19937 rng(3);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    int taken = 0;
    for (int trial = 0; trial < 2000; ++trial) {
        QmtVector3 normal(u(rng), u(rng), u(rng));
        normal = normal * ((0.1 + std::abs(u(rng))) / normal.Length());  // not always unit
        const QmtVector3 corner(u(rng), u(rng), u(rng));
        std::uint32_t best = NONE;
        if (trial % 3 != 0) {
            // The highest of a few kept points.
            for (int k = 0; k < 1 + trial % 7; ++k) {
                const std::uint32_t q = c.kept[rng() % c.kept.size()];
                if (ranksAbove(c.points, q, best, normal)) best = q;
            }
        }
        std::uint32_t top = NONE;
        for (const std::uint32_t p : out) {
            if (ranksAbove(c.points, p, top, normal)) top = p;
        }
        const auto passes = [&](std::uint32_t p) {
            return p != NONE && (c.points[p] - corner).Dot(normal) > TOLERANCE;
        };
        std::uint32_t answer = NONE;
        const auto verdict = c.cull.challenge(c.points.data(), normal, corner, best, TOLERANCE, answer);
        const std::uint32_t truth = ranksAbove(c.points, top, best, normal) ? top : best;
        if (verdict == InteriorCull::Verdict::TAKEN) {
            ASSERT_EQ(answer, top);
            ASSERT_TRUE(passes(top));
            ASSERT_NE(truth, best);
            c.cull.joined(top);
            out.erase(std::find(out.begin(), out.end(), top));
            ++taken;
        } else {
            ASSERT_EQ(verdict, InteriorCull::Verdict::STANDS);
            ASSERT_TRUE(truth == best || (!passes(truth) && !passes(best)));
        }
    }
    EXPECT_GT(taken, 10);
    EXPECT_EQ(c.cull.release(), out);
}

}  // namespace
