#include "engine/bodies/triMeshBody.h"

#include <gtest/gtest.h>

#include <memory>

#include "engine/world/engineApi.h"
#include "geometry/boxFit.h"
#include "geometry/massProperties.h"
#include "tests/engine/bodies/bodyKindMeshes.h"

namespace {

using Qmt::QmtVector3;
using meshtest::corners;
using meshtest::Indices;

std::unique_ptr<TriMeshBody> triMeshOf(const ZYLmesh* mesh) {
    return std::unique_ptr<TriMeshBody>(static_cast<TriMeshBody*>(createTriMeshBody(mesh)));
}

}  // namespace

TEST(TriMeshBody, CreatorFansFacesAndKeepsTheirNormals) {
    // Pentagonal prism: five quads, then the two pentagons.
    const auto source = meshtest::makeMesh(meshtest::prism(5, 1.0, 2.0));
    source->faces[0].numEdges = 4;
    const auto body = triMeshOf(source.get());
    ASSERT_NE(body, nullptr);
    EXPECT_EQ(body->getType(), HB_TRIMESH);
    const ZYLmesh& mesh = *body->mesh;
    ASSERT_EQ(mesh.numFaces, 5u * 2u + 2u * 3u);
    const Indices quad = corners(source->faces[0]);
    EXPECT_EQ(corners(mesh.faces[0]), (Indices{quad[0], quad[1], quad[2]}));
    EXPECT_EQ(corners(mesh.faces[1]), (Indices{quad[0], quad[2], quad[3]}));
    const Indices top = corners(source->faces[6]);
    EXPECT_EQ(corners(mesh.faces[15]), (Indices{top[0], top[3], top[4]}));
    for (std::uint32_t f = 0; f < mesh.numFaces; ++f) {
        EXPECT_EQ(mesh.faces[f].numEdges, 3u);
        EXPECT_EQ(mesh.normals[f], source->normals[f < 10 ? f / 2 : 5 + (f - 10) / 3]);
    }
    // The radius comes from the vertex mean; the bound's volume pass then puts the
    // centre on the centroid.
    EXPECT_NEAR(mesh.radius, std::sqrt(2.0), 1e-12);
    ASSERT_NE(body->bound, nullptr);
    EXPECT_EQ(body->bound->mesh, body->mesh);
    QmtVector3 centroid;
    EXPECT_NEAR(body->bound->volume, ComputeMassProperties(&mesh, centroid), 1e-12);
    zyltest::expectWithin(mesh.centre, centroid, 1e-12);
    ASSERT_NE(body->tree, nullptr);
    EXPECT_EQ(body->tree->root, nullptr);
    // The record is the input mesh's box.
    const ZYLbox box = fitOrientedBox(source->numVertices, source->vertices);
    zyltest::expectWithin(body->transform.boxSize, box.halfExtents * 2.0, 0.0);
    zyltest::expectWithin(body->transform.centreOffset, box.centre, 0.0);
}

TEST(TriMeshBody, TrianglesAreCopiedWholeAndBadIndicesLeaveTheBoundEmpty) {
    const auto source = meshtest::makeMesh(meshtest::tetrahedron());
    source->faces[2].flags = FACE_CUT;
    source->faces[2].numEdges = 2;
    source->faces[3].vertices[1] = 4;  // one past the last vertex
    const auto body = triMeshOf(source.get());
    ASSERT_NE(body, nullptr);
    ASSERT_EQ(body->mesh->numFaces, 4u);
    EXPECT_EQ(body->mesh->faces[2].flags, FACE_CUT);
    EXPECT_EQ(body->mesh->faces[2].numEdges, 2u);
    ASSERT_NE(body->bound, nullptr);
    EXPECT_EQ(body->bound->mesh, nullptr);
}
