#include "engine/bodies/triMeshBody.h"
#include "engine/fracture/fractureBody.h"
#include "engine/tools/meshTools.h"
#include "geometry/bounds/boxTree.h"

namespace {

std::uint32_t leavesBelow(const BinaryTreeNode* node) {
    if (node == nullptr) {
        return 0;
    }
    return node->isLeaf() ? 1 : leavesBelow(node->left) + leavesBelow(node->right);
}

// Depth first, first child first: counts the leaves before the node numbered id
// (into `before`) and, once found, the leaves below it (into `below`).
bool findSubtree(const BinaryTreeNode* node, std::uint32_t id, std::uint32_t& before, std::uint32_t& below) {
    if (node == nullptr) {
        return false;
    }
    if (node->id == id) {
        below = leavesBelow(node);
        return true;
    }
    if (node->isLeaf()) {
        ++before;
        return false;
    }
    return findSubtree(node->left, id, before, below) || findSubtree(node->right, id, before, below);
}

}  // namespace

std::uint32_t collectTreeLeaves(HardBody* body, BinaryTreeNode*** out, int nodeId) {
    if (!body || !out) {
        return 0;
    }
    Binary_Tree<BVbox>* tree = nullptr;
    if (auto* const mesh = dynamic_cast<TriMeshBody*>(body)) {
        if (!mesh->isWorldModified()) {
            mesh->updateWorldState();
        }
        tree = mesh->tree;
    } else if (auto* const fracture = dynamic_cast<FractureBody*>(body)) {
        tree = fracture->getTreeMesh();
    }
    if (!tree || !tree->root || !tree->leaves) {
        return 0;
    }
    if (nodeId < 0) {
        *out = tree->leaves;
        return tree->leafCount;
    }
    std::uint32_t before = 0;
    std::uint32_t below = 0;
    if (!findSubtree(tree->root, static_cast<std::uint32_t>(nodeId), before, below) || before + below > tree->leafCount) {
        return 0;
    }
    *out = tree->leaves + before;
    return below;
}
