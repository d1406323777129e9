#pragma once

#include <cstdint>

#include "geometry/bounds/boxTree.h"
#include "math/qmtVector3.h"

class BCapsule;
class BVmesh;
struct ContactFeature;
struct ZYLmesh;

// Queries between a triangle-mesh body's box tree and a plane, a capsule, a convex
// hull or another tree. The contact queries fill the caller's 24-entry arrays and
// answer count > 0; the first-hit searches answer whether the shapes touch and keep
// the leaf where they did (null leaves on a miss). `bound` is the tree body's convex
// bound, whose world mesh holds the triangles: triangle i is the first three corners
// of face i with its world normal. A bound without a mesh touches nothing.
//
// Culling runs from cheap to exact at every node: bounding spheres, then the node's
// box, then triangles at the leaves. Everything lives on the stack or in the caller's
// arrays, so detection lanes may call these at the same time; the lane is handed on
// to the box tests and changes no result.

bool treePlaneContacts(const Binary_Tree<BVbox>& tree, const BVmesh& bound, const Qmt::QmtVector3& planePoint,
                       const Qmt::QmtVector3& planeNormal, Qmt::QmtVector3* points, Qmt::QmtVector3* normals,
                       double* depths, ContactFeature* features, std::uint32_t& count, int lane);
bool capsuleTreeContacts(const Binary_Tree<BVbox>& tree, const BVmesh& bound, const BCapsule& capsule,
                         Qmt::QmtVector3* points, Qmt::QmtVector3* normals, double* depths,
                         ContactFeature* features, std::uint32_t& count, int lane);
bool hullTreeContacts(const Binary_Tree<BVbox>& tree, const BVmesh& bound, const BVmesh& hull,
                      Qmt::QmtVector3* points, Qmt::QmtVector3* normals, double* depths,
                      ContactFeature* features, std::uint32_t& count, int lane);
bool treeTreeContacts(const Binary_Tree<BVbox>& treeA, const BVmesh& boundA, const BVmesh& boundB,
                      const Binary_Tree<BVbox>& treeB, Qmt::QmtVector3* points, Qmt::QmtVector3* normals,
                      double* depths, ContactFeature* features, std::uint32_t& count, int lane);

bool nodePlaneFirstHit(BinaryTreeNode* node, const BVmesh& bound, const Qmt::QmtVector3& planePoint,
                       const Qmt::QmtVector3& planeNormal, BinaryTreeNode*& leaf, int lane);
bool treeCapsuleFirstHit(const Binary_Tree<BVbox>& tree, const BVmesh& bound, const BCapsule& capsule,
                         BinaryTreeNode*& leaf, int lane);
bool treeHullFirstHit(const Binary_Tree<BVbox>& tree, const BVmesh& bound, const BVmesh& hull,
                      BinaryTreeNode*& leaf, int lane);
bool treeTreeFirstHit(const Binary_Tree<BVbox>& treeA, const BVmesh& boundA, const BVmesh& boundB,
                      const Binary_Tree<BVbox>& treeB, BinaryTreeNode*& leafA, BinaryTreeNode*& leafB,
                      int lane);

// ------------------------------------------------------------ the pieces of the walks

// Corners of a hull found under the triangles of the leaves the hull query reaches, each
// corner once (with the first triangle that holds it). The query adds them after its
// walk, so the cuts of the walk's batches cannot drop them.
struct HullCorners {
    static constexpr std::uint32_t CAPACITY = 24;
    std::uint32_t vertex[CAPACITY];
    std::uint32_t triangle[CAPACITY];
    double depth[CAPACITY];
    Qmt::QmtVector3 normal[CAPACITY];
    std::uint32_t count = 0;
};

// The caller's contact arrays (24 entries each) and their count; the hull query also
// gathers corners.
struct TreeContacts {
    Qmt::QmtVector3* points;
    Qmt::QmtVector3* normals;
    double* depths;
    ContactFeature* features;
    std::uint32_t& count;
    HullCorners* corners = nullptr;
};

// Recursions: every one visits both children and answers whether either produced
// contacts. `mesh` is a world mesh holding the node's triangles.
bool nodePlaneContacts(const BinaryTreeNode* node, const ZYLmesh& mesh, const Qmt::QmtVector3& p,
                       const Qmt::QmtVector3& n, TreeContacts& out);
bool nodeCapsuleContacts(const BinaryTreeNode* node, const ZYLmesh& mesh, const BCapsule& capsule,
                         TreeContacts& out, int lane);
bool nodeHullContacts(const BinaryTreeNode* node, const ZYLmesh& mesh, const BVmesh& hull, TreeContacts& out,
                      int lane);
// Descends b while a is a leaf, a while b is, else the node of larger box volume (a
// on equal volumes).
bool nodeNodeContacts(const BinaryTreeNode* a, const ZYLmesh& meshA, const BinaryTreeNode* b,
                      const ZYLmesh& meshB, TreeContacts& out);
bool nodeCapsuleFirstHit(BinaryTreeNode* node, const ZYLmesh& mesh, const BCapsule& capsule,
                         BinaryTreeNode*& leaf, int lane);
bool nodeHullFirstHit(BinaryTreeNode* node, const ZYLmesh& mesh, const BVmesh& hull, BinaryTreeNode*& leaf,
                      int lane);
bool nodeNodeFirstHit(BinaryTreeNode* a, const ZYLmesh& meshA, BinaryTreeNode* b, const ZYLmesh& meshB,
                      BinaryTreeNode*& leafA, BinaryTreeNode*& leafB);

// Leaf tests.
// Some vertex w of the leaf's triangles with unit(w - p) . n < -1e-5.
bool leafBelowPlane(const BinaryTreeNode& leaf, const ZYLmesh& mesh, const Qmt::QmtVector3& p,
                    const Qmt::QmtVector3& n);
bool leafOverlapsCapsule(const BinaryTreeNode& leaf, const ZYLmesh& mesh, const BCapsule& capsule);
// Triangle against the hull's faces, skipping faces turned the triangle's way and
// stopping at the first face the triangle lies wholly above.
bool leafIntersectsHull(const BinaryTreeNode& leaf, const ZYLmesh& mesh, const BVmesh& hull);
bool leavesIntersect(const BinaryTreeNode& a, const ZYLmesh& meshA, const BinaryTreeNode& b,
                     const ZYLmesh& meshB);

// Leaf builders: append to out, cutting the set so far to six before a batch would
// fill the arrays.
bool leafPlaneContacts(const BinaryTreeNode& leaf, const ZYLmesh& mesh, const Qmt::QmtVector3& p,
                       const Qmt::QmtVector3& n, TreeContacts& out);
bool leafCapsuleContacts(const BinaryTreeNode& leaf, const ZYLmesh& mesh, const BCapsule& capsule,
                         TreeContacts& out);
bool leafHullContacts(const BinaryTreeNode& leaf, const ZYLmesh& mesh, const BVmesh& hull, TreeContacts& out);
// The hull's corners that lie under the leaf's triangles, gathered for the hull query.
void gatherHullCorners(const BinaryTreeNode& leaf, const ZYLmesh& mesh, const BVmesh& hull, HullCorners& corners);
// Appends the gathered corners: each on its triangle's plane over the corner, with the
// triangle's normal reversed and the corner's depth below the plane.
void appendHullCorners(const BVmesh& hull, TreeContacts& out);
bool leafLeafContacts(const BinaryTreeNode& a, const ZYLmesh& meshA, const BinaryTreeNode& b,
                      const ZYLmesh& meshB, TreeContacts& out);

// Set filters; each keeps the order of what it keeps.
// Of two contacts with opposed normals the one of smaller depth goes (the earlier on
// a tie).
void dropOpposedContacts(TreeContacts& out);
// Of two contacts closer than sqrt(1e-5) the one of smaller depth goes (the later
// on a tie).
void mergeCloseContacts(TreeContacts& out);
// Drops depths farther than 1.1 standard deviations from the mean; nothing when the
// depths do not spread.
void dropContactDepthOutliers(TreeContacts& out);
// Keeps the six most extreme points, in their order; for sets of more than six.
void reduceContactsToSix(TreeContacts& out);

// Node tests on the nodes' world boxes.
bool nodeBoxesOverlap(const BVbox& a, const BVbox& b);
bool nodeBoxCrossesPlane(const BVbox& box, const Qmt::QmtVector3& p, const Qmt::QmtVector3& n);
// Through the process-wide convex solver; true while there is none.
bool nodeBoxOverlapsCapsule(const BVbox& box, const BCapsule& capsule);
bool capsuleBodyOverlapsTriangle(const BCapsule& capsule, const Qmt::QmtVector3* triangle,
                                 const Qmt::QmtVector3& normal);
