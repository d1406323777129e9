#include "engine/collision/convex/pkJumpQueries.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>

#include "engine/collision/convex/pkJump.h"
#include "geometry/boundingVolumes.h"
#include "geometry/bvMesh.h"
#include "geometry/meshPlacement.h"
#include "math/qmtMatrix3.h"

namespace {

using Qmt::QmtMatrix3;
using Qmt::QmtVector3;

constexpr std::uint32_t LINKS = BVMESH_EDGES | BVMESH_VERTICES;

ZYLbox makeBox(const QmtVector3& centre, double half) {
    ZYLbox box;
    box.centre = centre;
    box.axes = QmtMatrix3::IDENTITY;
    box.halfExtents = {half, half, half};
    return box;
}

// A cube-shaped hull volume over a mesh it keeps alive.
struct CubeHull {
    ZYLmesh mesh;
    BVmesh volume;
    CubeHull(const QmtVector3& centre, std::uint32_t options) {
        buildBoxMesh(makeBox(centre, 1.0), &mesh);
        EXPECT_TRUE(volume.init(&mesh, options));
    }
};

// Publishes a solver for one test and withdraws it however the test ends.
struct PublishedSolver {
    Pk_jump solver;
    PublishedSolver() { setPkJumpInstance(&solver); }
    ~PublishedSolver() { setPkJumpInstance(nullptr); }
};

}  // namespace

TEST(PkJumpQueries, WithoutSolverEverythingOverlaps) {
    ASSERT_EQ(getPkJumpInstance(), nullptr);
    const CubeHull hull({0, 0, 0}, LINKS);
    const CubeHull far({10, 0, 0}, LINKS);
    ZYLbox record = makeBox({10, 0, 0}, 1.0);
    const BVbox box(&record);
    EXPECT_EQ(pkJumpHullBoxQuery(&hull.volume, &box, 0), 1u);
    EXPECT_EQ(pkJumpHullHullQuery(&hull.volume, &far.volume), 1u);
}

TEST(PkJumpQueries, PublishedSolverSeparatesAndOverlaps) {
    const PublishedSolver published;
    for (const std::uint32_t options : {LINKS, 0u}) {  // climbing and scanning hulls
        const CubeHull hull({0, 0, 0}, options);
        ZYLbox farRecord = makeBox({3, 0.5, 0}, 1.0);
        ZYLbox nearRecord = makeBox({1.5, 0.5, 0}, 1.0);
        const BVbox farBox(&farRecord);
        const BVbox nearBox(&nearRecord);
        EXPECT_EQ(pkJumpHullBoxQuery(&hull.volume, &farBox, 3), 0u);
        EXPECT_EQ(pkJumpHullBoxQuery(&hull.volume, &nearBox, 3), 1u);

        const CubeHull farHull({0.5, 3, 0}, options);
        const CubeHull nearHull({0.5, 1.5, 0}, options);
        EXPECT_EQ(pkJumpHullHullQuery(&hull.volume, &farHull.volume), 0u);
        EXPECT_EQ(pkJumpHullHullQuery(&hull.volume, &nearHull.volume), 1u);
        EXPECT_EQ(pkJumpHullBoxQuery(nullptr, &nearBox, 0), 1u);
        EXPECT_EQ(pkJumpHullHullQuery(&hull.volume, nullptr), 1u);
    }
}
