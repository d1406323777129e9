#include "geometry/bounds/boxTreeLeaves.h"

namespace {

void collectLeaves(BinaryTreeNode* node, BinaryTreeNode** slots, std::uint32_t capacity, std::uint32_t& filled) {
    if (!node || filled == capacity) {
        return;
    }
    if (node->isLeaf()) {
        slots[filled++] = node;
        return;
    }
    collectLeaves(node->left, slots, capacity, filled);
    collectLeaves(node->right, slots, capacity, filled);
}

}  // namespace

std::uint32_t fillLeafArray(Binary_Tree<BVbox>& tree) {
    std::uint32_t filled = 0;
    if (tree.root && tree.leaves) {
        collectLeaves(tree.root, tree.leaves, tree.leafCount, filled);
    }
    return filled;
}
