// Welding the corners a mesh writes once per face: twins become the first of them, the
// rest keep their order, and corners or faces the weld makes degenerate go.

#include <gtest/gtest.h>

#include "geometry/testMeshes.h"
#include "src/shatter/shardChecks.h"
#include "src/shatter/vertexWeld.h"

namespace {

TEST(VertexWeld, TwinCornersBecomeOneAndDegenerateFacesGo) {
    meshtest::Shape cube = meshtest::cube();
    meshtest::Shape split{{}, cube.faces};
    for (auto& face : split.faces) {
        for (std::uint32_t& v : face) {
            split.vertices.push_back(cube.vertices[v]);
            v = static_cast<std::uint32_t>(split.vertices.size() - 1);
        }
    }
    // A twin of corner 0 written as -0: a quad through it loses the repeat, a triangle
    // over it folds to an edge.
    split.vertices.push_back({-0.0, -0.0, -0.0});
    const std::uint32_t twin = static_cast<std::uint32_t>(split.vertices.size() - 1);
    split.faces.push_back({0, twin, 1, 2});
    split.faces.push_back({0, twin, 1});
    auto mesh = meshtest::makeDFMesh(split);
    ASSERT_FALSE(isClosedSurface(*mesh));

    EXPECT_EQ(weldCoincidentVertices(*mesh), 25u - 8u);
    ASSERT_EQ(mesh->numVertices, 8u);
    ASSERT_EQ(mesh->numFaces, 7u);
    EXPECT_EQ(meshtest::corners(mesh->faces[6]).size(), 3u);
    // The first of each set of twins stays, in order: the first face's corners lead.
    for (std::uint32_t k = 0; k < 4; ++k) {
        EXPECT_EQ(mesh->worldVertices[k], cube.vertices[cube.faces[0][k]]) << k;
    }
    mesh->numFaces = 6;  // without the extra quad the cube is closed again
    EXPECT_TRUE(isClosedSurface(*mesh));
    EXPECT_EQ(weldCoincidentVertices(*mesh), 0u);
}

}  // namespace
