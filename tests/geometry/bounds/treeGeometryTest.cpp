#include "geometry/bounds/treeGeometry.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <vector>

#include "geometry/bounds/boundingVolumes.h"
#include "geometry/hull/planarHull.h"
#include "tests/allocationHooks.h"
#include "tests/geometry/hull/chainHullReference.h"
#include "tests/testSupport.h"

namespace {

using Qmt::QmtVector3;
using Indices = std::vector<std::uint32_t>;

// The hull in an array of exactly n + 1 entries, so that AddressSanitizer sees any
// write beyond the documented room.
Indices hullOf(const std::vector<Qmt::QmtVector2>& points) {
    const auto n = points.size();
    const std::unique_ptr<std::uint32_t[]> out(new std::uint32_t[n + 1]);
    const std::uint32_t m = convexHull2D(points.data(), static_cast<std::int32_t>(n), out.get());
    return m <= n + 1 ? Indices(out.get(), out.get() + m) : Indices(n + 2, 0);
}

TEST(ConvexHull2D, ClosedCounterClockwiseChainsOfStrictTurns) {
    // A vertical run: its ends, closed; a single point or a repeat closes on itself.
    EXPECT_EQ(hullOf({{0, 0}, {0, 1}}), (Indices{0, 1, 0}));
    EXPECT_EQ(hullOf({{0, 0}, {0, 0}}), (Indices{0, 0}));
    EXPECT_EQ(hullOf({{3, 4}}), (Indices{0, 0}));
    EXPECT_EQ(hullOf({{0, 0}, {0, 1}, {0, 2}}), (Indices{0, 2, 0}));
    EXPECT_EQ(convexHull2D(nullptr, 0, nullptr), 0u);

    EXPECT_EQ(hullOf({{0, 0}, {0, 1}, {1, 0}, {1, 1}}), (Indices{0, 2, 3, 1, 0}));  // unit square
    EXPECT_EQ(hullOf({{0, 0}, {1, 0}, {0.5, 1}}), (Indices{0, 1, 2, 0}));
    EXPECT_EQ(hullOf({{0, 0}, {1, 1}, {2, 2}}), (Indices{0, 2, 0}));
    // Every point on the lower chain: the closing entry is the (n+1)-th.
    EXPECT_EQ(hullOf({{0, 4}, {1, 1}, {2, 0}, {3, 1}, {4, 4}}), (Indices{0, 1, 2, 3, 4, 0}));
    // Edge midpoints, centre and a repeated corner (taken from the end of its run).
    EXPECT_EQ(hullOf({{0, 0}, {0, 0.5}, {0, 1}, {0.5, 0}, {0.5, 0.5}, {0.5, 1}, {1, 0}, {1, 1}, {1, 1}}),
              (Indices{0, 6, 8, 2, 0}));
    // Repeats at either end appear once; three collinear points whose rounded turns
    // disagree in sign give their two ends.
    EXPECT_EQ(hullOf({{0, 0}, {0, 0}, {0.5, 1}, {1, 0}}), (Indices{0, 3, 2, 0}));
    EXPECT_EQ(hullOf({{0, 0}, {0.5, 1}, {1, 0}, {1, 0}}), (Indices{0, 2, 1, 0}));
    EXPECT_EQ(hullOf({{0.1, 0.3}, {0.2, 0.6}, {0.8, 2.4}}), (Indices{0, 2, 0}));
    // Points that never compare cannot push past the room.
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(hullOf({{0, 0}, {1, nan}, {2, nan}, {3, nan}, {4, 0}}).size(), 6u);
}

// Random, repeated, collinear and nearly collinear sets from 2^-40 to 2^46 across,
// sorted: the hull holds the plain chain's corners once each, closed on index 0.
TEST(ConvexHull2D, MatchesAPlainChainOnHardSets) {
    zyltest::Lcg random(15);
    for (int trial = 0; trial < 2800; ++trial) {
        const int n = 2 + trial % 23;
        const double unit = std::ldexp(1.0, -40 + 10 * (trial % 7));
        std::vector<Qmt::QmtVector2> points = zyltest::gridPoints(random, n, trial / 7 % 4, unit);
        std::sort(points.begin(), points.end(),
                  [](const Qmt::QmtVector2& a, const Qmt::QmtVector2& b) { return comparePoints2D(&a, &b) < 0; });
        const Indices hull = hullOf(points);
        const Indices corners = zyltest::chainHullReference(points);
        ASSERT_EQ(hull.size(), corners.size() + 1) << "trial " << trial;
        EXPECT_EQ(hull.back(), 0u);
        for (std::size_t k = 0; k < corners.size(); ++k) {
            const Qmt::QmtVector2 &got = points[hull[k]], &want = points[corners[k]];
            EXPECT_TRUE(got.x == want.x && got.y == want.y) << "trial " << trial << " corner " << k;
        }
    }
}

// Corners of [0,4] x [0,2] x [0,1], after one point the index list skips.
const std::vector<QmtVector3> kCloud = {{9, 9, 9}, {0, 0, 0}, {4, 0, 0}, {0, 2, 0}, {4, 2, 0},
                                        {0, 0, 1}, {4, 0, 1}, {0, 2, 1}, {4, 2, 1}};
const QmtVector3* const kCorners = kCloud.data() + 1;

void expectCornerBox(const ZYLbox& box) {
    EXPECT_NEAR((box.centre - QmtVector3(2, 1, 0.5)).Length(), 0.0, 1e-12);
    EXPECT_NEAR((box.halfExtents - QmtVector3(0.5, 1, 2)).Length(), 0.0, 1e-12);
    EXPECT_NEAR(std::fabs(box.axes.GetColumn(0).z), 1.0, 1e-12);
    EXPECT_NEAR(std::fabs(box.axes.GetColumn(2).x), 1.0, 1e-12);
}

TEST(RefitBox, FitsIntoANewOrABorrowedRecord) {
    BVbox fresh;
    ASSERT_TRUE(refitBoxFromPoints(fresh, kCorners, 8));
    ASSERT_NE(fresh.getBox(), nullptr);
    EXPECT_EQ(fresh.state, 1);
    expectCornerBox(*fresh.getBox());

    ZYLbox external;
    BVbox borrowed(&external);
    const Indices picks = {1, 2, 3, 4, 5, 6, 7, 8};
    ASSERT_TRUE(refitBoxFromIndexedPoints(borrowed, kCloud.data(), picks.data(), 8));
    EXPECT_EQ(borrowed.getBox(), &external);
    EXPECT_EQ(borrowed.state, 0);
    expectCornerBox(external);
}

TEST(RefitBox, FailuresReportFalseAndLeaveTheBoxAlone) {
    BVbox empty;
    EXPECT_FALSE(refitBoxFromPoints(empty, kCorners, 0));
    EXPECT_FALSE(refitBoxFromIndexedPoints(empty, kCorners, nullptr, 0));
    zyltest::failNextNothrowNew = true;
    EXPECT_FALSE(refitBoxFromPoints(empty, kCorners, 8));
    EXPECT_FALSE(zyltest::failNextNothrowNew);
    EXPECT_EQ(empty.getBox(), nullptr);
    EXPECT_EQ(empty.state, -1);

    ZYLbox external;
    external.centre = {7, 8, 9};
    BVbox borrowed(&external);
    EXPECT_FALSE(refitBoxFromPoints(borrowed, kCorners, 0));
    EXPECT_EQ(external.centre, QmtVector3(7, 8, 9));
}

}  // namespace
