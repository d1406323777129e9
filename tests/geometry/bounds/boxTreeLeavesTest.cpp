#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "geometry/bounds/boxTree.h"
#include "geometry/bounds/boxTreeLeaves.h"

using Qmt::QmtVector3;

namespace {

void depthFirst(BinaryTreeNode* node, std::vector<BinaryTreeNode*>& out) {
    if (!node) {
        return;
    }
    if (node->isLeaf()) {
        out.push_back(node);
        return;
    }
    depthFirst(node->left, out);
    depthFirst(node->right, out);
}

}  // namespace

// Every slot the build sized holds a leaf, in depth-first order, left first.
TEST(BoxTreeLeaves, FilledDepthFirst) {
    std::vector<QmtVector3> points;
    std::vector<std::uint32_t> codes(37);
    for (int i = 0; i < 37; ++i) {
        points.emplace_back(i * i * 0.1, 0.3 * i, 0.0);
    }
    Binary_Tree<BVbox> tree;
    EXPECT_EQ(fillLeafArray(tree), 0u);
    for (std::size_t i = 0; i < points.size(); ++i) {
        tree.elements.pushFront(new BoxTreeElement{&points[i], &codes[i]});
    }
    ASSERT_TRUE(tree.build(tree.elements));
    ASSERT_GT(tree.leafCount, 4u);
    EXPECT_EQ(fillLeafArray(tree), tree.leafCount);
    std::vector<BinaryTreeNode*> expected;
    depthFirst(tree.root, expected);
    ASSERT_EQ(expected.size(), tree.leafCount);
    for (std::uint32_t i = 0; i < tree.leafCount; ++i) {
        EXPECT_EQ(tree.leaves[i], expected[i]);
    }
}
