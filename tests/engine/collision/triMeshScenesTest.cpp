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

namespace {

// An open grid of n x n triangulated 1 m cells at y = 0 around the origin, facing up,
// as a static ground.
TriMeshBody* gridGround(scenes::Scene& scene, int n) {
    meshtest::Shape grid;
    const double h = 0.5 * n;
    for (int i = 0; i <= n; ++i) {
        for (int j = 0; j <= n; ++j) {
            grid.vertices.push_back({i - h, 0.0, j - h});
        }
    }
    const auto at = [n](int i, int j) { return static_cast<std::uint32_t>(i * (n + 1) + j); };
    for (int i = 0; i < n; ++i) {
        for (int j = 0; j < n; ++j) {
            grid.faces.push_back({at(i, j), at(i, j + 1), at(i + 1, j + 1)});
            grid.faces.push_back({at(i, j), at(i + 1, j + 1), at(i + 1, j)});
        }
    }
    TriMeshBody* const ground = trimeshtest::placedBody(grid, {0.0, 0.0, 0.0}).release();
    ground->enableStatic();
    scene.world->addBody(ground, 0);
    return ground;
}

}  // namespace

// Boxes set down on an open triangle grid, turned so that the cells' edges and
// diagonals run under them every which way, rest for 5 s as they would on a plane:
// they neither creep nor sink by a millimetre.
TEST(TriMeshScenes, BoxesRestOnAnOpenGridAsOnAPlane) {
    scenes::Scene scene;
    gridGround(scene, 8);
    std::vector<HardBody*> boxes;
    std::vector<QmtVector3> start;
    for (int i = 0; i < 4; ++i) {
        HardBody* const box = scene.box({-2.7 + 1.55 * i, 0.5, 0.35 * i - 0.6});
        Qmt::QmtMatrix3 turn;
        turn.FromAxisAngle({0.0, 1.0, 0.0}, 0.2 + 0.67 * i);
        box->setRotationMatrix(turn);
        boxes.push_back(box);
        start.push_back(box->getDyn().position);
    }
    for (int frame = 0; frame < 750; ++frame) {
        scene.frame();
    }
    for (std::size_t i = 0; i < boxes.size(); ++i) {
        const QmtVector3 moved = boxes[i]->getDyn().position - start[i];
        EXPECT_LT(std::hypot(moved.x, moved.z), 1e-3) << i;
        EXPECT_NEAR(moved.y, 0.0, 1e-3) << i;
    }
}
