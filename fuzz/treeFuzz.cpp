// Point clouds of any shape and value into the oriented-box tree: build, a world
// placement by any SRT transform, cell codes, and destroy. Every element ends in
// exactly one leaf, the leaf count and depth agree with the nodes, and every leaf's
// box holds its points (for finite clouds below 1e30, within 1e-9 of the cloud's size).
//
// Input: a byte (cell-code depth limit), the cloud (FuzzInput::points), then T, the
// nine entries of R (row-major) and S.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "fuzz/fuzzCheck.h"
#include "fuzz/fuzzInput.h"
#include "geometry/bounds/boxFit.h"
#include "geometry/bounds/boxTree.h"

namespace {

struct Walk {
    std::uint32_t leaves = 0;
    std::uint32_t deepest = 0;
    std::uint32_t elements = 0;
};

void walk(const BinaryTreeNode* node, double margin, Walk& w) {
    if (!node) return;
    if (node->isLeaf()) {
        ++w.leaves;
        w.deepest = std::max(w.deepest, node->depth);
        w.elements += node->elements.count;
        fuzzRequire(node->elements.count == node->elementCount, "leaf counts its elements");
        for (auto* e = node->elements.head->next; e; e = e->next) {
            if (margin > 0.0 && node->localBox.box) {
                fuzzRequire(pointInOrientedBox(*e->value->point, *node->localBox.box, margin), "leaf box holds its points");
            }
        }
        return;
    }
    fuzzRequire(node->elements.count == 0, "a split node keeps no elements");
    walk(node->left, margin, w);
    walk(node->right, margin, w);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput in(data, size);
    const std::uint32_t depthLimit = in.u8() % 24;
    std::vector<Qmt::QmtVector3> points = in.points();
    const Qmt::QmtVector3 T = in.vector();
    double entries[9];
    for (double& e : entries) e = in.real();
    const Qmt::QmtMatrix3 R(entries);
    const Qmt::QmtVector3 S = in.vector();

    std::vector<std::uint32_t> codes(points.size(), 0);
    Binary_Tree<BVbox> tree;
    BoxTreeElementList::Node* tail = tree.elements.head;
    for (std::size_t i = 0; i < points.size(); ++i) {
        tree.elements.insertAfter(new BoxTreeElement{&points[i], &codes[i]}, tail);
        tail = tail->next;
    }
    const bool built = tree.build(tree.elements);
    fuzzRequire(built == !points.empty(), "a cloud with points builds");
    if (!built) return 0;

    double reach = 0.0;
    for (const Qmt::QmtVector3& p : points) {
        reach = std::max({reach, std::fabs(p.x), std::fabs(p.y), std::fabs(p.z)});
    }
    const bool tame = std::isfinite(reach) && reach <= 1e30;
    Walk w;
    walk(tree.root, tame ? 1e-9 * std::max(reach, 1.0) : 0.0, w);
    fuzzRequire(w.elements == points.size(), "every element in one leaf");
    fuzzRequire(w.leaves == tree.leafCount, "leaf count");
    fuzzRequire(w.deepest + 1 == tree.levelCount, "depth");

    tree.root->transformSRT(T, R, S);
    std::uint32_t code = 1;
    tree.root->assignCellCodes(depthLimit, code);
    tree.root->destroy();
    return 0;
}
