#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "tests/engine/collision/collisionScenes.h"
#include "tests/engine/collision/triMeshTestBodies.h"

namespace {

using Qmt::QmtVector3;

enum class Dropped { HULL, TREE };
enum class Ground { TREE_SLAB, BARRIER };

// A unit cube dropped from 0.2 above the ground (top at y = 0), after 150 substeps
// of the world: its centre.
QmtVector3 drop(Dropped dropped, Ground ground) {
    scenes::Scene scene;
    if (ground == Ground::TREE_SLAB) {
        auto slab = trimeshtest::placedBody(trimeshtest::triangulated(meshtest::box({-3, -1, -3}, {3, 0, 3})),
                                            {0.0, -0.5, 0.0});
        slab->enableStatic();
        scene.world->addBody(slab.release(), 0);
    } else {
        scene.world->addBody(coltest::floorPlane(0.0).release(), 0);
    }
    const QmtVector3 start(0.1, 0.7, -0.05);
    HardBody* body;
    if (dropped == Dropped::HULL) {
        body = scene.box(start);
    } else {
        auto cube = trimeshtest::placedBody(
            trimeshtest::triangulated(meshtest::cube(1.0, start - QmtVector3(0.5, 0.5, 0.5))), start);
        cube->setMass(1.0f);
        body = cube.release();
        scene.world->addBody(body, 0);
    }
    for (int i = 0; i < 150; ++i) {
        scene.frame();
    }
    return body->getDyn().position;
}

}  // namespace

TEST(TriMeshScenes, CubesComeToRestOnTreesAndBarriersRepeatably) {
    const std::vector<std::pair<Dropped, Ground>> cases = {
        {Dropped::HULL, Ground::TREE_SLAB}, {Dropped::TREE, Ground::BARRIER}, {Dropped::TREE, Ground::TREE_SLAB}};
    for (const auto& [dropped, ground] : cases) {
        const QmtVector3 rest = drop(dropped, ground);
        EXPECT_NEAR(rest.y, 0.5, 0.02) << int(dropped) << " " << int(ground);
        EXPECT_NEAR(rest.x, 0.1, 0.02);
        EXPECT_NEAR(rest.z, -0.05, 0.02);
        const QmtVector3 again = drop(dropped, ground);
        EXPECT_EQ(again, rest);  // bit for bit
    }
}

// A ground whose tree is rebuilt under a resting cube (modify with more triangles)
// still holds it up: the pair searches the new tree from its root.
TEST(TriMeshScenes, RestingPairSurvivesTheGroundsTreeBeingRebuilt) {
    scenes::Scene scene;
    const meshtest::Shape slabShape = meshtest::box({-3, -1, -3}, {3, 0, 3});
    auto slabBody = trimeshtest::placedBody(trimeshtest::triangulated(slabShape), {0.0, -0.5, 0.0});
    slabBody->enableStatic();
    TriMeshBody* const slab = slabBody.get();
    scene.world->addBody(slabBody.release(), 0);
    HullBody* const cube = scene.box({0.1, 0.55, -0.05});
    for (int i = 0; i < 100; ++i) {
        scene.frame();
    }
    const std::uint32_t leaves = slab->tree->leafCount;

    // The same vertices with every face twice: more triangles, so a new tree.
    meshtest::Shape more = slabShape;
    more.faces.insert(more.faces.end(), slabShape.faces.begin(), slabShape.faces.end());
    slab->modify(meshtest::makeMesh(more).get());
    ASSERT_TRUE(slab->tree);
    ASSERT_GT(slab->tree->leafCount, leaves);
    for (int i = 0; i < 50; ++i) {
        scene.frame();
    }
    EXPECT_NEAR(cube->getDyn().position.y, 0.5, 0.02);
}
