#include "engine/bodies/triMeshBody.h"

#include <gtest/gtest.h>

#include <memory>

#include "engine/world/engineApi.h"
#include "geometry/bounds/boxFit.h"
#include "geometry/mesh/massProperties.h"
#include "engine/bodies/triMeshTree.h"
#include "engine/collision/collisionPair.h"
#include "engine/collision/triMeshQueries.h"
#include "engine/tools/meshTools.h"
#include "tests/engine/bodies/bodyKindMeshes.h"
#include "tests/engine/collision/triMeshTestBodies.h"

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

namespace {

using trimeshtest::placedBody;

// Nodes of the tree depth first, first child first.
void nodesOf(BinaryTreeNode* node, std::vector<BinaryTreeNode*>& out) {
    if (node) {
        out.push_back(node);
        nodesOf(node->left, out);
        nodesOf(node->right, out);
    }
}

std::vector<BinaryTreeNode*> nodesOf(const TriMeshBody& body) {
    std::vector<BinaryTreeNode*> out;
    nodesOf(body.tree->root, out);
    return out;
}

}  // namespace

TEST(TriMeshTree, LeafSizeIdsLevelsAndLeafArray) {
    // Twelve triangles stay one leaf.
    const auto cube = placedBody(trimeshtest::triangulated(meshtest::cube()), {0.5, 0.5, 0.5});
    ASSERT_NE(cube->tree, nullptr);
    EXPECT_TRUE(cube->tree->root->isLeaf());
    EXPECT_EQ(cube->tree->root->elementCount, 12u);
    EXPECT_EQ(cube->tree->built, 1u);

    // 28 triangles: 14 | 14, then 7 | 7 on both sides; both children are numbered
    // before either is split.
    const auto strip = placedBody(trimeshtest::strip(14), {7.0, 0.5, 0.0});
    ASSERT_NE(strip->tree, nullptr);
    const Binary_Tree<BVbox>& tree = *strip->tree;
    EXPECT_EQ(tree.levelCount, 3u);
    ASSERT_EQ(tree.leafCount, 4u);
    const std::vector<BinaryTreeNode*> nodes = nodesOf(*strip);
    std::vector<std::uint32_t> ids;
    for (const BinaryTreeNode* n : nodes) {
        ids.push_back(n->id);
    }
    EXPECT_EQ(ids, (std::vector<std::uint32_t>{0, 1, 3, 4, 2, 5, 6}));
    std::uint32_t leaf = 0;
    for (BinaryTreeNode* n : nodes) {
        if (n->isLeaf()) {
            EXPECT_EQ(n->elementCount, 7u);
            EXPECT_EQ(n->faceCount, 7u);
            EXPECT_EQ(tree.leaves[leaf++], n);
        } else {
            EXPECT_EQ(n->elementCount, 0u);
            EXPECT_EQ(n->faceIndices, nullptr);
            EXPECT_EQ(n->vertexIndices, nullptr);
        }
    }

    // The leaves of a subtree lie together in the leaf array.
    BinaryTreeNode** out = nullptr;
    EXPECT_EQ(collectTreeLeaves(strip.get(), &out, -1), 4u);
    EXPECT_EQ(out, tree.leaves);
    EXPECT_EQ(collectTreeLeaves(strip.get(), &out, 2), 2u);
    EXPECT_EQ(out, tree.leaves + 2);
    EXPECT_EQ(collectTreeLeaves(strip.get(), &out, 4), 1u);
    EXPECT_EQ(out, tree.leaves + 1);
    EXPECT_EQ(collectTreeLeaves(strip.get(), &out, 99), 0u);
}

TEST(TriMeshTree, UnsplittableDegenerateAndEmptyMeshes) {
    // Thirteen copies of one triangle share every incentre: no plane splits them.
    meshtest::Shape same{{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {}};
    for (int i = 0; i < 13; ++i) {
        same.faces.push_back({0, 1, 2});
    }
    const auto one = placedBody(same, {0.0, 0.0, 0.0});
    ASSERT_NE(one->tree, nullptr);
    EXPECT_TRUE(one->tree->root->isLeaf());
    EXPECT_EQ(one->tree->root->elementCount, 13u);

    // A triangle of three coincident corners still lets the strip split.
    meshtest::Shape withPoint = trimeshtest::strip(14);
    withPoint.faces.push_back({3, 3, 3});
    const auto split = placedBody(withPoint, {7.0, 0.5, 0.0});
    ASSERT_NE(split->tree, nullptr);
    EXPECT_FALSE(split->tree->root->isLeaf());
    EXPECT_GT(split->tree->leafCount, 2u);

    // No faces: the build fails, and the body keeps no tree.
    ZYLmesh empty;
    Binary_Tree<BVbox> tree;
    EXPECT_FALSE(buildTriMeshTree(tree, empty));
    EXPECT_EQ(tree.built, 1u);
}

TEST(TriMeshBody, SetMassCenterKeepsWorldBoxesAndMesh) {
    for (const double scale : {1.0, 2.0}) {
        const auto body = placedBody(trimeshtest::strip(14), {7.0, 0.5, 0.0}, kindtest::QmtMatrix3::IDENTITY,
                                     {scale, scale, scale});
        ASSERT_NE(body->tree, nullptr);
        std::vector<QmtVector3> centres;
        for (const BinaryTreeNode* n : nodesOf(*body)) {
            centres.push_back(n->worldBox.getCenter());
        }
        const std::vector<QmtVector3> mesh = kindtest::worldVertices(*body);
        body->setMassCenter({3.0, -1.0, 2.0});
        std::size_t i = 0;
        for (const BinaryTreeNode* n : nodesOf(*body)) {
            zyltest::expectWithin(n->worldBox.getCenter(), centres[i++], 1e-9);
        }
        kindtest::expectSamePoints(kindtest::worldVertices(*body), mesh, 1e-9);
    }
}

TEST(TriMeshBody, ModifyFansQuadsAndRebuildsTreeForMoreTriangles) {
    const auto body = placedBody(trimeshtest::triangulated(meshtest::cube()), {0.5, 0.5, 0.5});
    // A quad becomes two triangles sharing its first vertex.
    auto quad = meshtest::makeMesh({{{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}}, {{0, 1, 2, 3}}});
    body->modify(quad.get());
    ASSERT_EQ(body->mesh->numFaces, 2u);
    EXPECT_EQ(corners(body->mesh->faces[0]), (Indices{0, 1, 2}));
    EXPECT_EQ(corners(body->mesh->faces[1]), (Indices{0, 2, 3}));
    EXPECT_EQ(body->mesh->numVertices, 4u);

    // Many more triangles than the body had: the arrays and the tree follow them.
    const auto body2 = placedBody(trimeshtest::triangulated(meshtest::cube()), {0.5, 0.5, 0.5});
    auto longStrip = meshtest::makeMesh(trimeshtest::strip(3));
    body2->modify(longStrip.get());
    ASSERT_EQ(body2->mesh->numFaces, 6u);
    ASSERT_NE(body2->tree, nullptr);
    EXPECT_EQ(body2->tree->root->elementCount, 6u);
    QmtVector3 points[24], normals[24];
    double depths[24];
    ContactFeature features[24];
    std::uint32_t count = 0;
    EXPECT_TRUE(treePlaneContacts(*body2->tree, *body2->bound, {0.0, 0.0, 0.5}, {0.0, 0.0, 1.0}, points, normals,
                                  depths, features, count, 0));
    EXPECT_EQ(count, 8u);

    // An index past the vertices empties the bound and drops the tree.
    auto bad = meshtest::makeMesh(trimeshtest::strip(1));
    bad->faces[1].vertices[2] = 7;
    body2->modify(bad.get());
    EXPECT_EQ(body2->bound->mesh, nullptr);
    EXPECT_EQ(body2->tree, nullptr);
}

TEST(TriMeshBody, EmptyBoundBodyHasNoTree) {
    const auto mesh = meshtest::makeMesh(trimeshtest::triangulated(meshtest::cube()));
    mesh->faces[3].vertices[1] = 8;  // one past the last vertex
    const auto body = triMeshOf(mesh.get());
    body->setPosition({0.5, 0.5, 0.5});
    body->init({0.5, 0.5, 0.5}, Qmt::QmtMatrix3::IDENTITY, {1.0, 1.0, 1.0});
    EXPECT_EQ(body->bound->mesh, nullptr);
    EXPECT_EQ(body->tree, nullptr);
    // It cannot be integrated, so it turns as its box.
    EXPECT_NEAR(body->inertiaLocal(0, 0), 1.0 / 6.0 / body->getDyn().invMass, 1e-12);
    BinaryTreeNode** out = nullptr;
    EXPECT_EQ(collectTreeLeaves(body.get(), &out, -1), 0u);
}
