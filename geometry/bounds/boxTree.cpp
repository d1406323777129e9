#include "geometry/bounds/boxTree.h"

#include <cmath>
#include <initializer_list>
#include <memory>
#include <new>

#include "geometry/bounds/treeGeometry.h"

using Qmt::QmtMatrix3;
using Qmt::QmtVector3;

std::uint32_t binaryTreeNodeIdCounter = 0;

namespace {

// Nodes of more than this many elements are split.
constexpr std::uint32_t kLeafLimit = 4;
// Signed distances within this band lie on the splitting plane.
constexpr double kPlaneBand = 1e-5;
// Smallest accepted ratio of the nearer side's reach to the farther side's.
constexpr double kMinReachRatio = 1e-5;

// Half extents, along the placed axes R * axes, of the box that holds a box with
// these axes and half extents once it is scaled by S and rotated by R. The rotation
// drops out: placed axis j takes |axis_j . (S o axis_i)| * e_i from every axis i,
// and these couplings are symmetric in i and j.
QmtVector3 enclosingHalfExtents(const QmtMatrix3& axes, const QmtVector3& e, const QmtVector3& S) {
    const QmtVector3 a0 = axes.GetColumn(0), a1 = axes.GetColumn(1), a2 = axes.GetColumn(2);
    const QmtVector3 s1(S.x * a1.x, S.y * a1.y, S.z * a1.z);
    const QmtVector3 s2(S.x * a2.x, S.y * a2.y, S.z * a2.z);
    const double c00 = std::fabs(a0.Dot(QmtVector3(S.x * a0.x, S.y * a0.y, S.z * a0.z)));
    const double c11 = std::fabs(a1.Dot(s1));
    const double c22 = std::fabs(a2.Dot(s2));
    const double c01 = std::fabs(a0.Dot(s1));
    const double c02 = std::fabs(a0.Dot(s2));
    const double c12 = std::fabs(a1.Dot(s2));
    return {c00 * e.x + c01 * e.y + c02 * e.z, c01 * e.x + c11 * e.y + c12 * e.z,
            c02 * e.x + c12 * e.y + c22 * e.z};
}

// Moves the node's list nodes, in order, to the ends of the children's lists:
// those of points below the plane (beyond the dead band) to the left, the rest
// (points on the plane included) to the right. Relinking the nodes gives the same
// lists as copying the values and releasing the parent's nodes, without an
// allocation per element and level.
void partition(BinaryTreeNode& node, const QmtVector3* points, const QmtVector3& q,
               const QmtVector3& a, BinaryTreeNode& left, BinaryTreeNode& right) {
    BoxTreeElementList& from = node.elements;
    BoxTreeElementList::Node* leftTail = left.elements.head;
    BoxTreeElementList::Node* rightTail = right.elements.head;
    for (std::uint32_t i = 0; from.begin() != from.end(); ++i) {
        if ((points[i] - q).Dot(a) < -kPlaneBand) {
            from.moveFrontToBack(left.elements, leftTail);
        } else {
            from.moveFrontToBack(right.elements, rightTail);
        }
    }
    from.releaseSpares();
}

// Fits the node's box and splits it recursively. `scratch` has room for the node's
// elements; each node overwrites it, but only uses it before recursing.
bool buildNode(BinaryTreeNode& node, QmtVector3* scratch) {
    const std::uint32_t n = node.elements.count;
    if (n == 0) {
        return false;
    }
    std::uint32_t gathered = 0;
    for (const BoxTreeElement* e : node.elements) {
        scratch[gathered++] = *e->point;
    }
    if (!refitBoxFromPoints(node.localBox, scratch, n)) {
        return false;
    }
    node.localRadius = node.localBox.getRadio();
    if (node.elementCount <= kLeafLimit) {
        return true;
    }

    // Largest spread first: the fit orders its axes by ascending spread.
    const QmtVector3 c = node.localBox.getCenter();
    for (int k = 2; k >= 0; --k) {
        const QmtVector3 a = node.localBox.getAxis(k);
        QmtVector3 sum;
        for (std::uint32_t i = 0; i < n; ++i) {
            sum += c + a * ((scratch[i] - c).Dot(a));
        }
        const QmtVector3 q = sum / static_cast<double>(n);
        if (!planeSplitsWell(scratch, n, q, a)) {
            continue;
        }

        std::unique_ptr<BinaryTreeNode> left(new (std::nothrow) BinaryTreeNode);
        std::unique_ptr<BinaryTreeNode> right(new (std::nothrow) BinaryTreeNode);
        if (!left || !right || !left->elements.head || !right->elements.head) {
            return false;
        }
        partition(node, scratch, q, a, *left, *right);
        left->elementCount = left->elements.count;
        right->elementCount = right->elements.count;
        node.elementCount = 0;
        node.left = left.release();
        node.right = right.release();

        // Pre-order numbering: each child takes its id just before its subtree.
        for (BinaryTreeNode* child : {node.left, node.right}) {
            child->depth = node.depth + 1;
            child->id = binaryTreeNodeIdCounter++;
            if (!buildNode(*child, scratch)) {
                return false;
            }
        }
        return true;
    }
    return true;  // no plane splits well: the node stays a leaf with all its elements
}

std::uint32_t leavesBelow(const BinaryTreeNode& node) {
    if (node.isLeaf()) {
        return 1;
    }
    std::uint32_t n = 0;
    if (node.left != nullptr) {
        n += leavesBelow(*node.left);
    }
    if (node.right != nullptr) {
        n += leavesBelow(*node.right);
    }
    return n;
}

// Deepest leaf depth + 1 below the node; 0 when there is no leaf.
std::uint32_t levelsBelow(const BinaryTreeNode& node) {
    if (node.isLeaf()) {
        return node.depth + 1;
    }
    std::uint32_t levels = 0;
    for (const BinaryTreeNode* child : {node.left, node.right}) {
        if (child != nullptr) {
            const std::uint32_t l = levelsBelow(*child);
            if (l > levels) {
                levels = l;
            }
        }
    }
    return levels;
}

}  // namespace

bool planeSplitsWell(const QmtVector3* points, std::uint32_t n, const QmtVector3& q,
                     const QmtVector3& a) {
    double mostBelow = 0.0;
    double mostAbove = 0.0;
    for (std::uint32_t i = 0; i < n; ++i) {
        const double d = (points[i] - q).Dot(a);
        if (d < -kPlaneBand) {
            if (d < mostBelow) {
                mostBelow = d;
            }
        } else if (d > kPlaneBand) {
            if (d > mostAbove) {
                mostAbove = d;
            }
        }
        if (mostAbove > 1.0 && mostBelow < -1.0) {
            return true;
        }
    }
    const double below = -mostBelow;
    const double above = mostAbove;
    const double smaller = below < above ? below : above;
    const double larger = below < above ? above : below;
    // Both 0 gives 0/0, which compares false like an empty side.
    return smaller / larger > kMinReachRatio;
}

// ---------------------------------------------------------------- BinaryTreeNode

void BinaryTreeNode::destroy() {
    delete left;
    left = nullptr;
    delete right;
    right = nullptr;
    delete[] faceIndices;
    faceIndices = nullptr;
    faceCount = 0;
    delete[] vertexIndices;
    vertexIndices = nullptr;
    vertexCount = 0;
    elementCount = 0;
    localBox.deleteBox();
    localBox.state = -1;
    worldBox.deleteBox();
    worldBox.state = -1;
    elements.clear();
    elements.releaseSpares();
}

void BinaryTreeNode::transformSRT(const QmtVector3& T, const QmtMatrix3& R, const QmtVector3& S) {
    double s = S.x;
    if (S.y > s) {
        s = S.y;
    }
    if (S.z > s) {
        s = S.z;
    }
    // Under one non-negative scale the scaled half extents bound the placed box as
    // they are; any other scale shears the box against its own axes.
    const bool evenScale = S.x == S.y && S.y == S.z && S.x >= 0.0;
    // A node whose fit never ran has no box to place.
    if (localBox.getBox() != nullptr) {
        localBox.transformSRT(T, R, S, worldBox);
        if (!evenScale && worldBox.getBox() != nullptr) {
            const ZYLbox& local = *localBox.getBox();
            worldBox.getBox()->halfExtents = enclosingHalfExtents(local.axes, local.halfExtents, S);
        }
    }
    worldRadius = s * localRadius;
    if (left != nullptr) {
        left->transformSRT(T, R, S);
    }
    if (right != nullptr) {
        right->transformSRT(T, R, S);
    }
}

void BinaryTreeNode::assignCellCodes(std::uint32_t depthLimit, std::uint32_t& code) const {
    const BinaryTreeNode* node = this;
    while (!node->isLeaf()) {
        if (depthLimit <= node->depth) {
            // Nothing at or below the limit changes the code: both halves share it.
            std::uint32_t shared = code;
            if (node->left != nullptr) {
                node->left->assignCellCodes(depthLimit, shared);
            }
            if (node->right != nullptr) {
                node->right->assignCellCodes(depthLimit, shared);
            }
            return;
        }
        code = code * 2;
        if (node->left != nullptr) {
            node->left->assignCellCodes(depthLimit, code);
        }
        code = code + 1;
        node = node->right;
        if (node == nullptr) {
            return;
        }
    }
    for (const BoxTreeElement* e : node->elements) {
        if (e->cellCode != nullptr) {
            *e->cellCode = code;
        }
    }
}

// ---------------------------------------------------------------- Binary_Tree<BVbox>

Binary_Tree<BVbox>::~Binary_Tree() {
    delete root;
    root = nullptr;
    delete[] leaves;
    leaves = nullptr;
    for (BoxTreeElement* e : elements) {
        delete e;
    }
    elements.destroy();
}

bool Binary_Tree<BVbox>::build(const BoxTreeElementList& list) {
    if (list.count == 0 || list.head == nullptr) {
        return false;
    }
    for (const BoxTreeElement* e : list) {
        if (e == nullptr || e->point == nullptr) {
            return false;
        }
    }

    // The old leaf array points into the old nodes; it goes with them, and the
    // counts with it, so that a failed build leaves nothing stale behind.
    delete root;
    root = nullptr;
    delete[] leaves;
    leaves = nullptr;
    leafCount = 0;
    levelCount = 0;

    root = new (std::nothrow) BinaryTreeNode;
    if (root == nullptr) {
        return false;
    }
    binaryTreeNodeIdCounter = 1;
    root->id = 0;
    root->elements = list;
    root->elementCount = list.count;
    if (root->elements.count != list.count) {
        return false;
    }

    const std::unique_ptr<QmtVector3[]> scratch(new (std::nothrow) QmtVector3[list.count]);
    if (!scratch || !buildNode(*root, scratch.get())) {
        return false;
    }

    computeDepth();
    countLeaves();
    if (leafCount != 0) {
        leaves = new (std::nothrow) BinaryTreeNode*[leafCount]();
        if (leaves == nullptr) {
            return false;
        }
    }
    return true;
}

void Binary_Tree<BVbox>::countLeaves() {
    if (root != nullptr) {
        leafCount = leavesBelow(*root);
    }
}

void Binary_Tree<BVbox>::computeDepth() {
    if (root != nullptr) {
        levelCount = levelsBelow(*root);
    }
}
