#include "engine/collision/convex/pkJumpQueries.h"

#include <gtest/gtest.h>

#include <cstdint>

#include "engine/collision/convex/pkJump.h"
#include "tests/engine/collision/convex/testHulls.h"

namespace {

using Qmt::QmtMatrix3;
using namespace hulltest;

// Publishes a solver for one test and withdraws it however the test ends.
struct PublishedSolver {
    Pk_jump solver;
    PublishedSolver() { setPkJumpInstance(&solver); }
    ~PublishedSolver() { setPkJumpInstance(nullptr); }
};

}  // namespace

TEST(PkJumpQueries, WithoutSolverEverythingOverlaps) {
    ASSERT_EQ(getPkJumpInstance(), nullptr);
    const auto hull = cubeHull({0, 0, 0});
    const auto far = cubeHull({10, 0, 0});
    ZYLbox record = makeBox({10, 0, 0}, {1, 1, 1});
    const BVbox box(&record);
    EXPECT_EQ(pkJumpHullBoxQuery(&hull->volume, &box, 0), 1u);
    EXPECT_EQ(pkJumpHullHullQuery(&hull->volume, &far->volume), 1u);
}

TEST(PkJumpQueries, PublishedSolverSeparatesAndOverlaps) {
    const PublishedSolver published;
    for (const std::uint32_t options : {LINKS, 0u}) {  // climbing and scanning hulls
        const auto hull = cubeHull({0, 0, 0}, QmtMatrix3::IDENTITY, options);
        ZYLbox farRecord = makeBox({3, 0.5, 0}, {1, 1, 1});
        ZYLbox nearRecord = makeBox({1.5, 0.5, 0}, {1, 1, 1});
        const BVbox farBox(&farRecord);
        const BVbox nearBox(&nearRecord);
        EXPECT_EQ(pkJumpHullBoxQuery(&hull->volume, &farBox, 3), 0u);
        EXPECT_EQ(pkJumpHullBoxQuery(&hull->volume, &nearBox, 3), 1u);

        const auto farHull = cubeHull({0.5, 3, 0}, QmtMatrix3::IDENTITY, options);
        const auto nearHull = cubeHull({0.5, 1.5, 0}, QmtMatrix3::IDENTITY, options);
        EXPECT_EQ(pkJumpHullHullQuery(&hull->volume, &farHull->volume), 0u);
        EXPECT_EQ(pkJumpHullHullQuery(&hull->volume, &nearHull->volume), 1u);
        EXPECT_EQ(pkJumpHullBoxQuery(nullptr, &nearBox, 0), 1u);
        EXPECT_EQ(pkJumpHullHullQuery(&hull->volume, nullptr), 1u);
    }
}
