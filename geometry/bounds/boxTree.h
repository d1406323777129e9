#pragma once

#include <cstdint>

#include "geometry/bounds/boundingVolumes.h"
#include "geometry/mesh/pooledList.h"
#include "math/qmtMatrix3.h"
#include "math/qmtVector3.h"

// Binary hierarchy of oriented boxes over elements that each carry one
// representative point. A node of more than 4 elements is split by a plane across
// one of its box axes; afterwards the tree knows its leaf count and depth, can be
// placed in the world with one SRT transform and can stamp each element with the
// code of the cell it ended in.

// One element of a box tree. The tree owns these records (allocate them with new);
// it never owns what they point to.
struct BoxTreeElement {
    const Qmt::QmtVector3* point;  // representative point
    std::uint32_t* cellCode;       // receives the element's cell code
};

using BoxTreeElementList = PooledList<BoxTreeElement*>;

// Process-wide node numbering. Every tree build resets it to 1 (the root is 0).
// Binary_Tree::build hands out ids in pre-order (each child just before its
// subtree); the triangle-mesh tree numbers both children of a node before it splits
// either (root 0, children 1 and 2, then 3 and 4 under child 1). Builds therefore
// never run concurrently.
extern std::uint32_t binaryTreeNodeIdCounter;

// Whether the plane through q with unit normal a splits the points well (points within
// 1e-5 of it count as on it): at once when both sides reach beyond 1.0, otherwise when
// the smaller side's reach is more than 1e-5 of the larger's (a plane with an empty
// side is refused, while a small cloud still splits on its relative spread). Both
// box-tree builders split by it.
bool planeSplitsWell(const Qmt::QmtVector3* points, std::uint32_t n, const Qmt::QmtVector3& q,
                     const Qmt::QmtVector3& a);

class BinaryTreeNode {
public:
    std::uint32_t depth = 0;      // root 0, child = parent + 1
    BoxTreeElementList elements;  // a leaf's elements; emptied on split; not owned
    std::uint32_t id = 0;         // number within the last build (see binaryTreeNodeIdCounter)
    BVbox localBox;               // fitted around the elements' points; owns its record
    BVbox worldBox;               // localBox after the last transformSRT
    double localRadius = 0.0;     // length of localBox's half-extent vector
    double worldRadius = 0.0;     // localRadius * largest scale component
    BinaryTreeNode* left = nullptr;
    BinaryTreeNode* right = nullptr;
    std::uint32_t elementCount = 0;  // elements of a leaf; 0 on a split node

    // Filled by the builders of other trees (mesh face and vertex indices, the
    // corners of the two child boxes); this class only zeroes and releases them.
    std::uint32_t* faceIndices = nullptr;  // array new; released by destroy
    std::uint32_t faceCount = 0;
    std::uint32_t* vertexIndices = nullptr;  // array new; released by destroy
    std::uint32_t vertexCount = 0;
    std::uint32_t cornerCount = 0;
    Qmt::QmtVector3 corners[16];

    BinaryTreeNode() = default;
    BinaryTreeNode(const BinaryTreeNode&) = delete;
    BinaryTreeNode& operator=(const BinaryTreeNode&) = delete;
    ~BinaryTreeNode() { destroy(); }

    // A leaf has no children and a non-zero element count; every other node counts
    // as split (its missing children are skipped by the walks).
    bool isLeaf() const { return left == nullptr && right == nullptr && elementCount != 0; }

    // Deletes both subtrees, releases the index arrays, empties the element list
    // (freeing its nodes) and releases owned box records. The node stays usable.
    void destroy();

    // For this node and every node below: world box = localBox placed by
    // R * (S o x) + T, world radius = max(S) * local radius. The world box keeps the
    // placed centre and axes R * axes; under a scale that is not one non-negative
    // value its half extents grow to hold the whole placed (sheared) box.
    void transformSRT(const Qmt::QmtVector3& T, const Qmt::QmtMatrix3& R,
                      const Qmt::QmtVector3& S);

    // Writes cell codes into the elements of every leaf below. Above depthLimit the
    // code doubles towards the left child and then gains 1 towards the right (the
    // left subtree's changes carry over); from depthLimit down a whole subtree
    // shares the current code. From code 1, a complete tree of depth 2 with limit 2
    // gives 4, 5, 12, 13 from left to right.
    void assignCellCodes(std::uint32_t depthLimit, std::uint32_t& code) const;
};

template <class Box>
class Binary_Tree;

template <>
class Binary_Tree<BVbox> {
public:
    BoxTreeElementList elements;      // owned element records
    BinaryTreeNode** leaves = nullptr;  // one slot per leaf, sized by build, filled by users
    std::uint32_t leafCount = 0;
    std::uint32_t levelCount = 0;     // deepest leaf depth + 1
    std::uint32_t built = 0;          // set by tree builders outside this class
    BinaryTreeNode* root = nullptr;

    Binary_Tree() = default;
    Binary_Tree(const Binary_Tree&) = delete;
    Binary_Tree& operator=(const Binary_Tree&) = delete;
    // Deletes the nodes, the leaf array and the element records of `elements`
    // (never what they point to).
    ~Binary_Tree();

    // Builds the tree over the elements of list (usually `elements`). False for an
    // empty list or an element without a point (the tree is then left as it was),
    // and on allocation failure.
    bool build(const BoxTreeElementList& list);

    // Number of leaves / deepest leaf depth + 1. Without a root nothing changes.
    void countLeaves();
    void computeDepth();
};
