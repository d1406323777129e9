#include "geometry/bounds/boxTree.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "tests/testSupport.h"

namespace {

using Qmt::QmtMatrix3;
using Qmt::QmtVector3;
using Codes = std::vector<std::uint32_t>;

// A tree whose element list holds the points in order. The points and cell codes
// outlive the tree (declared last, destroyed first), as its elements never own them.
struct Scene {
    std::vector<QmtVector3> points;
    Codes codes;
    Binary_Tree<BVbox> tree;

    explicit Scene(std::vector<QmtVector3> p) : points(std::move(p)), codes(points.size(), 0) {
        BoxTreeElementList::Node* tail = tree.elements.head;
        for (std::size_t i = 0; i < points.size(); ++i) {
            tree.elements.insertAfter(new BoxTreeElement{&points[i], &codes[i]}, tail);
            tail = tail->next;
        }
    }

    bool build() { return tree.build(tree.elements); }

    // Indices of the node's elements in list order.
    std::vector<std::size_t> indicesOf(const BinaryTreeNode& node) const {
        std::vector<std::size_t> out;
        for (const BoxTreeElement* e : node.elements) {
            out.push_back(static_cast<std::size_t>(e->point - points.data()));
        }
        return out;
    }
};

std::vector<QmtVector3> onXAxis(std::initializer_list<double> xs) {
    std::vector<QmtVector3> out;
    for (const double x : xs) {
        out.emplace_back(x, 0.0, 0.0);
    }
    return out;
}

// Three points around each of x = 0, 10, 100, 110.
std::vector<QmtVector3> fourClusters() {
    std::vector<QmtVector3> out;
    for (const double cx : {0.0, 10.0, 100.0, 110.0}) {
        out.emplace_back(cx, 0.0, 0.0);
        out.emplace_back(cx + 0.1, 0.1, 0.0);
        out.emplace_back(cx - 0.1, 0.0, 0.1);
    }
    return out;
}

TEST(BoxTreeBuild, UnsplitSets) {
    Binary_Tree<BVbox> empty;
    EXPECT_FALSE(empty.build(empty.elements));
    EXPECT_EQ(empty.root, nullptr);

    // Four elements: one leaf holding all four.
    Scene four(onXAxis({0, 1, 2, 30}));
    ASSERT_TRUE(four.build());
    EXPECT_TRUE(four.tree.root->isLeaf());
    EXPECT_EQ(four.indicesOf(*four.tree.root), (std::vector<std::size_t>{0, 1, 2, 3}));
    EXPECT_EQ(four.tree.root->elementCount, 4u);
    EXPECT_EQ(four.tree.leafCount, 1u);
    EXPECT_EQ(four.tree.levelCount, 1u);
    EXPECT_NE(four.tree.leaves, nullptr);
    EXPECT_NEAR(four.tree.root->localRadius, 15.0, 1e-9);  // |half extents| over 0..30

    // A later empty build leaves the tree as it was.
    EXPECT_FALSE(four.tree.build(empty.elements));
    EXPECT_NE(four.tree.root, nullptr);

    // Six identical points: no plane gets past the dead band, the root keeps all six.
    Scene same(std::vector<QmtVector3>(6, QmtVector3(1, 2, 3)));
    ASSERT_TRUE(same.build());
    EXPECT_TRUE(same.tree.root->isLeaf());
    EXPECT_EQ(same.tree.root->elements.count, 6u);

    // An element without a point is refused before anything is touched.
    QmtVector3 p;
    Binary_Tree<BVbox> broken;
    broken.elements.pushFront(new BoxTreeElement{nullptr, nullptr});
    broken.elements.pushFront(new BoxTreeElement{&p, nullptr});
    EXPECT_FALSE(broken.build(broken.elements));
    EXPECT_EQ(broken.root, nullptr);
}

TEST(BoxTreeBuild, SplitsAtTheMeanProjection) {
    // Five points over a line of length 10: q = 5, the point on the plane goes right.
    Scene line(onXAxis({0, 2.5, 5, 7.5, 10}));
    ASSERT_TRUE(line.build());
    const BinaryTreeNode& root = *line.tree.root;
    ASSERT_TRUE(root.left && root.right);
    EXPECT_EQ(root.elementCount, 0u);
    EXPECT_EQ(root.elements.count, 0u);
    EXPECT_EQ(line.tree.leafCount, 2u);
    EXPECT_EQ(line.tree.levelCount, 2u);
    EXPECT_EQ(root.left->id, 1u);
    EXPECT_EQ(root.right->id, 2u);
    EXPECT_EQ(root.right->depth, 1u);
    // The fit does not fix the axis's sign.
    const bool alongX = root.localBox.getAxis(2).x > 0.0;
    EXPECT_EQ(line.indicesOf(*root.left),
              alongX ? (std::vector<std::size_t>{0, 1}) : (std::vector<std::size_t>{3, 4}));
    EXPECT_EQ(line.indicesOf(*root.right),
              alongX ? (std::vector<std::size_t>{2, 3, 4}) : (std::vector<std::size_t>{0, 1, 2}));
    EXPECT_EQ(root.left->elementCount, 2u);
    EXPECT_EQ(root.right->elementCount, 3u);
    EXPECT_NEAR(root.right->localRadius, 2.5, 1e-9);

    // A spread far below 1 still splits: the two sides' reaches compare by ratio.
    Scene small(onXAxis({0, 0.1, 0.2, 0.3, 0.4}));
    ASSERT_TRUE(small.build());
    EXPECT_EQ(small.tree.leafCount, 2u);
    // Twelve points at 0 and one at 0.5: reaches 0.5/13 and 6/13, a ratio of 1/12.
    Scene uneven(onXAxis({0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0.5}));
    ASSERT_TRUE(uneven.build());
    EXPECT_EQ(uneven.tree.leafCount, 2u);

    // Four points 8e-6 below the mean lie in the dead band, leaving that side empty
    // against the fifth point 3.2e-5 above it: refused on every axis.
    Scene lopsided(onXAxis({0, 0, 0, 0, 4e-5}));
    ASSERT_TRUE(lopsided.build());
    EXPECT_EQ(lopsided.tree.root->elementCount, 5u);

    // One far point against 200000 at the origin: the sides reach 800000 and 4, a
    // ratio of 5e-6, but both reach beyond 1, which accepts the plane at once.
    const std::size_t many = 200000;
    std::vector<QmtVector3> far(many, QmtVector3());
    far.emplace_back(-4.0 * static_cast<double>(many + 1), 0.0, 0.0);
    Scene outlier(std::move(far));
    ASSERT_TRUE(outlier.build());
    EXPECT_EQ(outlier.tree.leafCount, 2u);
}

TEST(BoxTreeBuild, ClustersNumberedInPreOrder) {
    Scene clusters(fourClusters());
    for (int pass = 0; pass < 2; ++pass) {  // a rebuild restarts the numbering
        ASSERT_TRUE(clusters.build());
        EXPECT_EQ(clusters.tree.leafCount, 4u);
        EXPECT_EQ(clusters.tree.levelCount, 3u);
        const BinaryTreeNode& root = *clusters.tree.root;
        ASSERT_TRUE(root.left && root.right && root.left->left && root.right->right);
        // Pre-order: L, LL, LR, R, RL, RR.
        const std::vector<std::uint32_t> ids{root.id, root.left->id, root.left->left->id,
                                             root.left->right->id, root.right->id,
                                             root.right->left->id, root.right->right->id};
        EXPECT_EQ(ids, (std::vector<std::uint32_t>{0, 1, 2, 3, 4, 5, 6}));
        EXPECT_EQ(binaryTreeNodeIdCounter, 7u);
        for (const BinaryTreeNode* leaf : {root.left->left, root.left->right, root.right->left,
                                           root.right->right}) {
            EXPECT_EQ(leaf->depth, 2u);
            // Each leaf is one whole cluster, in list order.
            const auto idx = clusters.indicesOf(*leaf);
            EXPECT_EQ(idx, (std::vector<std::size_t>{idx[0], idx[0] + 1, idx[0] + 2}));
            EXPECT_EQ(idx[0] % 3, 0u);
        }
    }
}

TEST(BoxTreeCellCodes, CodesPerDepthLimit) {
    Scene clusters(fourClusters());
    ASSERT_TRUE(clusters.build());
    const BinaryTreeNode& root = *clusters.tree.root;
    // Cluster (0..3, in point order) of each leaf from left to right.
    std::vector<std::size_t> order;
    for (const BinaryTreeNode* leaf : {root.left->left, root.left->right, root.right->left,
                                       root.right->right}) {
        order.push_back(clusters.indicesOf(*leaf)[0] / 3);
    }
    auto codesFor = [&](std::uint32_t limit, std::uint32_t start) {
        std::fill(clusters.codes.begin(), clusters.codes.end(), 0u);
        std::uint32_t code = start;
        root.assignCellCodes(limit, code);
        Codes perLeaf;
        for (const std::size_t cluster : order) {
            // Every element of a cluster carries its leaf's code.
            const std::uint32_t c = clusters.codes[cluster * 3];
            EXPECT_EQ(clusters.codes[cluster * 3 + 1], c);
            EXPECT_EQ(clusters.codes[cluster * 3 + 2], c);
            perLeaf.push_back(c);
        }
        return perLeaf;
    };
    EXPECT_EQ(codesFor(0, 1), (Codes{1, 1, 1, 1}));
    EXPECT_EQ(codesFor(1, 1), (Codes{2, 2, 3, 3}));
    EXPECT_EQ(codesFor(2, 1), (Codes{4, 5, 12, 13}));
    EXPECT_EQ(codesFor(7, 1), (Codes{4, 5, 12, 13}));
    EXPECT_EQ(codesFor(2, 3), (Codes{12, 13, 28, 29}));

    // The caller's code carries the changes made above the limit.
    std::uint32_t code = 1;
    root.assignCellCodes(2, code);
    EXPECT_EQ(code, 13u);
}

TEST(BoxTreeTransform, PlacesEveryNode) {
    Scene line(onXAxis({0, 2.5, 5, 7.5, 10}));
    ASSERT_TRUE(line.build());

    const QmtMatrix3 R = zyltest::axisRotation(QmtVector3(0, 0, 1), std::acos(0.0));  // 90 degrees about z
    const QmtVector3 T(1, 2, 3);
    const QmtVector3 S(2, 1, 1);
    line.tree.root->transformSRT(T, R, S);
    for (const BinaryTreeNode* node : {line.tree.root, line.tree.root->left, line.tree.root->right}) {
        ASSERT_NE(node->worldBox.getBox(), nullptr);
        EXPECT_DOUBLE_EQ(node->worldRadius, 2.0 * node->localRadius);
        const ZYLbox& local = *node->localBox.getBox();
        const ZYLbox& world = *node->worldBox.getBox();
        const QmtVector3 c = local.centre;
        const QmtVector3 expected = R * QmtVector3(2 * c.x, c.y, c.z) + T;
        EXPECT_NEAR((world.centre - expected).Length(), 0.0, 1e-12);
        // The scale acts along the box's own axes: the extent of the axis that lies
        // on x doubles, the others stay.
        const double localExtents[3] = {local.halfExtents.x, local.halfExtents.y, local.halfExtents.z};
        const double worldExtents[3] = {world.halfExtents.x, world.halfExtents.y, world.halfExtents.z};
        for (unsigned i = 0; i < 3; ++i) {
            const double factor = std::fabs(local.axes.GetColumn(i).x) > 0.5 ? 2.0 : 1.0;
            EXPECT_NEAR(worldExtents[i], factor * localExtents[i], 1e-12);
        }
    }
    // The largest component decides, wherever it stands.
    line.tree.root->transformSRT(QmtVector3(), QmtMatrix3::IDENTITY, QmtVector3(0.5, 1, 3));
    EXPECT_DOUBLE_EQ(line.tree.root->right->worldRadius, 3.0 * line.tree.root->right->localRadius);

    // A node that was never fitted has no box to place but still gets its radius.
    BinaryTreeNode bare;
    bare.localRadius = 2.0;
    bare.transformSRT(T, R, QmtVector3(1, 4, 1));
    EXPECT_EQ(bare.worldBox.getBox(), nullptr);
    EXPECT_DOUBLE_EQ(bare.worldRadius, 8.0);
}

// Random clouds under random rotations, translations and unequal scales (some
// mirrored): every element's placed point lies in the world box of each node above
// it, and a uniform scale gives the plain scaled box.
TEST(BoxTreeTransform, WorldBoxesHoldTheirPlacedPoints) {
    zyltest::Lcg random(15);
    const auto randomVector = [&](double lo, double hi) {
        return QmtVector3(random.Range(lo, hi), random.Range(lo, hi), random.Range(lo, hi));
    };
    for (int trial = 0; trial < 60; ++trial) {
        const QmtVector3 stretch = randomVector(0.01, 100.0);
        std::vector<QmtVector3> cloud(40 + trial);
        for (QmtVector3& p : cloud) {
            const QmtVector3 r = randomVector(-1.0, 1.0);
            p = QmtVector3(stretch.x * r.x, stretch.y * r.y, stretch.z * r.z);
        }
        Scene scene(std::move(cloud));
        ASSERT_TRUE(scene.build());
        QmtVector3 axis = randomVector(-1.0, 1.0);
        axis.Unitize(QmtMatrix3::EPSILON);
        const QmtMatrix3 R = zyltest::axisRotation(axis, random.Range(-3.0, 3.0));
        const QmtVector3 T = randomVector(-100.0, 100.0);
        QmtVector3 S = randomVector(0.1, 10.0);
        if (trial % 3 == 2) {
            S.y = -S.y;
        }
        scene.tree.root->transformSRT(T, R, S);

        // Checks the node's world box against the points below it and returns them.
        const auto check = [&](const auto& self, const BinaryTreeNode& node) -> std::vector<std::size_t> {
            std::vector<std::size_t> below = scene.indicesOf(node);
            for (const BinaryTreeNode* child : {node.left, node.right}) {
                if (child != nullptr) {
                    const std::vector<std::size_t> more = self(self, *child);
                    below.insert(below.end(), more.begin(), more.end());
                }
            }
            const ZYLbox& world = *node.worldBox.getBox();
            const double extents[3] = {world.halfExtents.x, world.halfExtents.y, world.halfExtents.z};
            for (const std::size_t i : below) {
                const QmtVector3& p = scene.points[i];
                const QmtVector3 placed = R * QmtVector3(S.x * p.x, S.y * p.y, S.z * p.z) + T;
                for (unsigned j = 0; j < 3; ++j) {
                    const double reach = std::fabs((placed - world.centre).Dot(world.axes.GetColumn(j)));
                    EXPECT_LE(reach, extents[j] + 1e-9 * (1.0 + placed.Length())) << "trial " << trial;
                }
            }
            return below;
        };
        check(check, *scene.tree.root);
    }

    // One scale for all axes: exactly the scaled local extents.
    Scene line(onXAxis({0, 2.5, 5, 7.5, 10}));
    ASSERT_TRUE(line.build());
    line.tree.root->transformSRT(QmtVector3(1, 2, 3), zyltest::axisRotation(QmtVector3(0, 1, 0), 0.3),
                                 QmtVector3(3, 3, 3));
    const ZYLbox& local = *line.tree.root->localBox.getBox();
    const ZYLbox& world = *line.tree.root->worldBox.getBox();
    EXPECT_EQ(world.halfExtents, QmtVector3(3 * local.halfExtents.x, 3 * local.halfExtents.y, 3 * local.halfExtents.z));
}

TEST(BoxTreeOwnership, NodesAndElements) {
    // The destructor frees the element records (LeakSanitizer) but not the points
    // and codes they refer to (AddressSanitizer on the reads below).
    auto* point = new QmtVector3(4, 5, 6);
    auto* code = new std::uint32_t(0);
    {
        Binary_Tree<BVbox> tree;
        for (int i = 0; i < 5; ++i) {
            tree.elements.pushFront(new BoxTreeElement{point, code});
        }
        ASSERT_TRUE(tree.build(tree.elements));
        std::uint32_t start = 2;
        tree.root->assignCellCodes(0, start);
    }
    EXPECT_EQ(point->y, 5.0);
    EXPECT_EQ(*code, 2u);
    delete point;
    delete code;

    // destroy empties a node completely and leaves it usable; a box that merely
    // refers to a record leaves that record alive.
    ZYLbox foreign{};
    foreign.halfExtents = QmtVector3(1, 1, 1);
    BinaryTreeNode node;
    node.left = new BinaryTreeNode;
    node.right = new BinaryTreeNode;
    node.left->left = new BinaryTreeNode;
    node.faceIndices = new std::uint32_t[3]{1, 2, 3};
    node.vertexIndices = new std::uint32_t[2]{4, 5};
    node.vertexCount = 2;
    node.worldBox = BVbox(&foreign);
    ASSERT_TRUE(node.localBox.createBox());
    QmtVector3 p;
    BoxTreeElement element{&p, nullptr};
    node.elements.pushFront(&element);
    node.elementCount = 1;
    node.destroy();
    EXPECT_TRUE(!node.left && !node.right && !node.faceIndices && !node.vertexIndices);
    EXPECT_EQ(node.vertexCount + node.elementCount + node.elements.count, 0u);
    EXPECT_EQ(node.localBox.getBox(), nullptr);
    EXPECT_EQ(node.localBox.state, -1);
    EXPECT_EQ(foreign.halfExtents.x, 1.0);
    node.elements.pushFront(&element);
    EXPECT_EQ(node.elements.count, 1u);
}

TEST(BoxTreeWalks, MissingChildrenAndMissingRoot) {
    // Without a root the counts stay as they were.
    Binary_Tree<BVbox> tree;
    tree.leafCount = 7;
    tree.levelCount = 9;
    tree.countLeaves();
    tree.computeDepth();
    EXPECT_EQ(tree.leafCount, 7u);
    EXPECT_EQ(tree.levelCount, 9u);

    // A childless node of count 0 counts as split; walks skip its absent children.
    QmtVector3 p(1, 1, 1);
    std::uint32_t cell = 0;
    BoxTreeElement element{&p, &cell};
    tree.root = new BinaryTreeNode;
    tree.root->right = new BinaryTreeNode;  // a split node with only one child
    tree.root->right->depth = 1;
    BinaryTreeNode* hollow = tree.root->right;
    hollow->left = new BinaryTreeNode;  // count 0, no children
    hollow->left->depth = 2;
    hollow->right = new BinaryTreeNode;
    hollow->right->depth = 2;
    hollow->right->elements.pushFront(&element);
    hollow->right->elementCount = 1;
    tree.countLeaves();
    tree.computeDepth();
    EXPECT_EQ(tree.leafCount, 1u);
    EXPECT_EQ(tree.levelCount, 3u);
    std::uint32_t code = 1;
    tree.root->assignCellCodes(5, code);
    // root: 2, then 3 to the right; hollow: 6, its empty left child doubles to 12 and
    // adds 1, then 14 to the right.
    EXPECT_EQ(cell, 14u);
    tree.root->transformSRT(QmtVector3(), QmtMatrix3::IDENTITY, QmtVector3(1, 1, 1));
    EXPECT_EQ(tree.root->worldBox.getBox(), nullptr);
}

}  // namespace
