#pragma once

#include "geometry/bounds/boxTree.h"
#include "geometry/mesh/meshRecords.h"

// The box tree of a triangle-mesh body over the local triangles of its mesh (face i
// is triangle i; its first three corners count). A node of more than 12 triangles is
// split across one of its box axes at the mean triangle incentre; leaves keep their
// face and vertex lists, inner nodes the 16 corners of their children's boxes.

// Builds the tree afresh: clears the built flag, replaces the root, numbers the nodes
// (root 0; both children of a node before either is split), sizes and fills the leaf
// array, and sets the built flag whatever the outcome. False when a split failed (a
// node without faces, a failed box fit or memory running out); the caller then drops
// the tree.
bool buildTriMeshTree(Binary_Tree<BVbox>& tree, const ZYLmesh& mesh);

// Fits every node again to the mesh's current local vertices, leaves first, each
// inner node around its children's 16 corners. A leaf whose fit fails keeps its box.
// False when the tree has no root.
bool refitTriMeshTree(Binary_Tree<BVbox>& tree, const ZYLmesh& mesh);

// Moves every node's local box (and an inner node's corners) by d.
void shiftTriMeshTree(BinaryTreeNode* node, const Qmt::QmtVector3& d);
