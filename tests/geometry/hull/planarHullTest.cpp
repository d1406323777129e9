#include "geometry/hull/planarHull.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <vector>

#include "math/qmtVector2.h"
#include "tests/geometry/hull/chainHullReference.h"
#include "tests/testSupport.h"

namespace {

using Qmt::QmtVector3;
using Indices = std::vector<std::uint32_t>;
using Points = std::vector<QmtVector3>;
const QmtVector3 kUp(0, 0, 1);

// The corners, or {count, 0xFFFFFFFF} when no index array was made.
Indices run(const Points& points, const QmtVector3& normal = kUp) {
    std::uint32_t sentinel = 0;
    std::uint32_t* indices = &sentinel;
    const std::int32_t count = convexHull2DOfPlanarPoints(
        points.data(), static_cast<std::uint32_t>(points.size()), normal, &indices);
    if (indices == nullptr) {
        return {static_cast<std::uint32_t>(count), 0xFFFFFFFFu};
    }
    Indices corners(indices, indices + count);
    delete[] indices;
    return corners;
}
const Indices kNoArray = {0, 0xFFFFFFFFu};

TEST(PlanarHull, Comparators) {
    const Qmt::QmtVector2 a(1, 5), b(2, 0), c(1, 6);
    EXPECT_EQ(comparePoints2D(&a, &b), -1);
    EXPECT_EQ(comparePoints2D(&b, &a), 1);
    EXPECT_EQ(comparePoints2D(&c, &a), 1);
    EXPECT_EQ(comparePoints2D(&a, &c), -1);
    EXPECT_EQ(comparePoints2D(&a, &a), 0);
    Indices values = {0x80000000u, 3, 0xFFFFFFFFu, 0};  // unsigned order
    std::qsort(values.data(), values.size(), sizeof(std::uint32_t), compareIndices);
    EXPECT_EQ(values, (Indices{0, 3, 0x80000000u, 0xFFFFFFFFu}));
    EXPECT_EQ(compareIndices(&values[1], &values[1]), 0);
}

TEST(PlanarHull, CornersRunClockwiseAboutTheNormal) {
    const Points square = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {0.5, 0.5, 0}};
    EXPECT_EQ(run(square), (Indices{3, 2, 1, 0}));
    EXPECT_EQ(run(square, -kUp), (Indices{0, 1, 2, 3}));
    const Points ell = {{0, 0, 0}, {2, 0, 0}, {2, 1, 0}, {1, 1, 0}, {1, 2, 0}, {0, 2, 0}};
    EXPECT_EQ(run(ell), (Indices{5, 4, 2, 1, 0}));  // reflex corner 3 left out

    // The same L on a tilted plane far from the origin, with a non-unit normal.
    const QmtVector3 u = QmtVector3(1, -1, 0) / std::sqrt(2.0), v = QmtVector3(1, 1, -2) / std::sqrt(6.0);
    Points tilted;
    for (const QmtVector3& p : ell) {
        tilted.push_back(QmtVector3(100, -50, 30) + u * p.x + v * p.y);
    }
    Indices corners = run(tilted, u.Cross(v) * 3.0);
    ASSERT_EQ(corners.size(), 5u);
    std::rotate(corners.begin(), std::find(corners.begin(), corners.end(), 5u), corners.end());
    EXPECT_EQ(corners, (Indices{5, 4, 2, 1, 0}));
}

TEST(PlanarHull, SmallCollinearAndRepeatedSets) {
    // n = 2 and 3 fill the whole index array (n + 1 entries) before repeats go.
    EXPECT_EQ(run({{0, 0, 0}, {1, 0, 0}}), (Indices{0, 1}));
    EXPECT_EQ(run({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}), (Indices{2, 1, 0}));
    EXPECT_EQ(run({{0, 0, 0}, {1, 0, 0}, {2, 0, 0}}), (Indices{0, 2}));
    // A repeated corner is reported by its first index; a point 1.4e-3 beyond the
    // corner is a corner of its own and leaves the other inside.
    Points repeated = {{1, 1, 0}, {0, 0, 0}, {1, 0, 0}, {0, 0, 0}, {0, 1, 0}};
    EXPECT_EQ(run(repeated), (Indices{0, 2, 1, 4}));
    repeated[3] = {-1e-3, -1e-3, 0};
    EXPECT_EQ(run(repeated), (Indices{0, 2, 3, 4}));

    // Points closer than sqrt(1e-5) keep their own corners, and a point just inside
    // a corner is none.
    EXPECT_EQ(run({{2e-3, 0, 0}, {0, 0, 0}, {4e-3, 0, 0}}), (Indices{1, 2}));
    EXPECT_EQ(run({{0.0005, 0.0005, 0}, {0, 0, 0}, {1, 0, 0}, {0, 1, 0}}), (Indices{3, 2, 1}));
    EXPECT_EQ(run({{0, 0, 0}, {0.001, 0, 0}, {0, 1, 0}}), (Indices{1, 0, 2}));
    EXPECT_EQ(run({{0, 0, 0}, {1, 0, 0}, {1, 0.001, 0}, {0, 0.001, 0}}), (Indices{3, 2, 1, 0}));
    EXPECT_EQ(run({{0, 0, 0}, {0.5, -1e-4, 0}, {1, 0, 0}, {1, 1e-3, 0}, {0.5, 1.1e-3, 0}, {0, 1e-3, 0}}),
              (Indices{5, 4, 3, 2, 1, 0}));
}

// Random, repeated, collinear and nearly collinear sets from 4e-3 to 7e7 across in
// the plane z = 0, their first pair along x so that the projection is exact: the
// corners of the plain chain over the projections, lowest indices, same order.
TEST(PlanarHull, MatchesAPlainChainOnHardSets) {
    zyltest::Lcg random(12);
    for (int trial = 0; trial < 2400; ++trial) {
        const int n = 3 + trial % 22;
        const double unit = std::ldexp(1.0, -34 + 10 * (trial % 4));
        const std::vector<Qmt::QmtVector2> grid = zyltest::gridPoints(random, n - 1, trial / 4 % 4, unit);
        const double along = random.Unit() < 0.5 ? 1.0 : -1.0;
        const double up = random.Unit() < 0.5 ? 1.0 : -1.0;
        Points points = {{grid[0].x, grid[0].y, 0}, {grid[0].x + along * std::max(0x1p-8, unit), grid[0].y, 0}};
        for (std::size_t k = 1; k < grid.size(); ++k) {
            points.emplace_back(grid[k].x, grid[k].y, 0);
        }
        // The frame is x = (along, 0, 0), y = x × normal = (0, -along * up, 0).
        std::vector<Qmt::QmtVector2> projected;
        for (const QmtVector3& p : points) {
            projected.emplace_back(along * p.x, -along * up * p.y);
        }
        EXPECT_EQ(run(points, QmtVector3(0, 0, up)), zyltest::chainHullReference(projected)) << "trial " << trial;
    }
}

TEST(PlanarHull, DegenerateSetsGiveZero) {
    EXPECT_EQ(run({{2, 2, 2}, {2, 2, 2}, {2, 2, 2}}), kNoArray);
    EXPECT_EQ(run({{0, 0, 0}, {1e-3, 0, 0}, {2e-3, 0, 0}}), kNoArray);
    EXPECT_EQ(run({{5, 0, 0}}), kNoArray);
    EXPECT_EQ(run({}), kNoArray);
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(run({{0, 0, 0}, {1, 0, 0}, {nan, 1, 0}}), kNoArray);
}

}  // namespace
