// Tree walks and entries of the triangle-mesh tree queries.
#include "engine/collision/triMeshQueries.h"

#include "engine/collision/collisionPair.h"
#include "engine/collision/convex/pkJumpQueries.h"
#include "geometry/bounds/boundingVolumes.h"
#include "geometry/mesh/bvMesh.h"
#include "geometry/mesh/meshRecords.h"

using Qmt::QmtVector3;

namespace {

constexpr double kEps = 1e-5;

// A world mesh the walks can read triangles from; null otherwise (an empty bound).
const ZYLmesh* worldMesh(const BVmesh& bound) {
    const ZYLmesh* m = bound.mesh;
    return m && m->faces && m->worldVertices && m->worldNormals ? m : nullptr;
}

bool hasBox(const BinaryTreeNode* node) { return node != nullptr && node->worldBox.getBox() != nullptr; }

// The node's bounding sphere against the sphere (c, r).
bool spheresTouch(const BinaryTreeNode& node, const QmtVector3& c, double r) {
    const double reach = node.worldRadius + r;
    return (node.worldBox.getCenter() - c).SquaredLength() - reach * reach < kEps;
}

bool nodesTouch(const BinaryTreeNode& a, const BinaryTreeNode& b) {
    return spheresTouch(a, b.worldBox.getCenter(), b.worldRadius) && nodeBoxesOverlap(a.worldBox, b.worldBox);
}

bool reachesPlane(const BinaryTreeNode& node, const QmtVector3& p, const QmtVector3& n) {
    return node.worldRadius > (node.worldBox.getCenter() - p).Dot(n) && nodeBoxCrossesPlane(node.worldBox, p, n);
}

bool touchesCapsule(const BinaryTreeNode& node, const BCapsule& capsule) {
    return spheresTouch(node, capsule.capsule->centre, capsule.getRadio()) &&
           nodeBoxOverlapsCapsule(node.worldBox, capsule);
}

bool touchesHull(const BinaryTreeNode& node, const BVmesh& hull, int lane) {
    return spheresTouch(node, hull.mesh->worldCentre, hull.mesh->worldRadius) &&
           pkJumpHullBoxQuery(&hull, &node.worldBox, lane) != 0;
}

// 8 times the product of the half extents.
double boxVolume(const BinaryTreeNode& node) {
    const QmtVector3& e = node.worldBox.getBox()->halfExtents;
    return 8.0 * e.x * e.y * e.z;
}

// Which of the two nodes the pair walks descend: b when a is a leaf, a when b is,
// else the one of larger box volume (a on a tie).
bool descendB(const BinaryTreeNode& a, const BinaryTreeNode& b) {
    if (a.isLeaf()) {
        return true;
    }
    if (b.isLeaf()) {
        return false;
    }
    return boxVolume(b) > boxVolume(a);
}

// The set cleaning every contact entry ends with.
bool finish(TreeContacts& out, bool withOutliers) {
    dropOpposedContacts(out);
    mergeCloseContacts(out);
    if (withOutliers) {
        dropContactDepthOutliers(out);
    }
    return out.count > 0;
}

// A first-hit search from a cached leaf, then from the root.
template <class Search>
bool cachedThenRoot(BinaryTreeNode* root, BinaryTreeNode*& leaf, Search search) {
    if (leaf != nullptr && search(leaf, leaf)) {
        return true;
    }
    return search(root, leaf);
}

}  // namespace

// ------------------------------------------------------------------ recursions

bool nodePlaneContacts(const BinaryTreeNode* node, const ZYLmesh& mesh, const QmtVector3& p, const QmtVector3& n,
                       TreeContacts& out) {
    if (!hasBox(node) || !reachesPlane(*node, p, n)) {
        return false;
    }
    if (node->isLeaf()) {
        return leafBelowPlane(*node, mesh, p, n) && leafPlaneContacts(*node, mesh, p, n, out);
    }
    const bool left = nodePlaneContacts(node->left, mesh, p, n, out);
    const bool right = nodePlaneContacts(node->right, mesh, p, n, out);
    return left || right;
}

bool nodeCapsuleContacts(const BinaryTreeNode* node, const ZYLmesh& mesh, const BCapsule& capsule,
                         TreeContacts& out, int lane) {
    if (!hasBox(node) || !touchesCapsule(*node, capsule)) {
        return false;
    }
    if (node->isLeaf()) {
        return leafOverlapsCapsule(*node, mesh, capsule) && leafCapsuleContacts(*node, mesh, capsule, out);
    }
    const bool left = nodeCapsuleContacts(node->left, mesh, capsule, out, lane);
    const bool right = nodeCapsuleContacts(node->right, mesh, capsule, out, lane);
    return left || right;
}

bool nodeHullContacts(const BinaryTreeNode* node, const ZYLmesh& mesh, const BVmesh& hull, TreeContacts& out,
                      int lane) {
    if (!hasBox(node) || !touchesHull(*node, hull, lane)) {
        return false;
    }
    if (node->isLeaf()) {
        if (out.corners) {
            gatherHullCorners(*node, mesh, hull, *out.corners);
        }
        const bool crossed = leafIntersectsHull(*node, mesh, hull) && leafHullContacts(*node, mesh, hull, out);
        return crossed || (out.corners && out.corners->count != 0);
    }
    const bool left = nodeHullContacts(node->left, mesh, hull, out, lane);
    const bool right = nodeHullContacts(node->right, mesh, hull, out, lane);
    return left || right;
}

bool nodeNodeContacts(const BinaryTreeNode* a, const ZYLmesh& meshA, const BinaryTreeNode* b, const ZYLmesh& meshB,
                      TreeContacts& out) {
    if (!hasBox(a) || !hasBox(b) || !nodesTouch(*a, *b)) {
        return false;
    }
    if (a->isLeaf() && b->isLeaf()) {
        return leavesIntersect(*a, meshA, *b, meshB) && leafLeafContacts(*a, meshA, *b, meshB, out);
    }
    bool first, second;
    if (descendB(*a, *b)) {
        first = nodeNodeContacts(a, meshA, b->left, meshB, out);
        second = nodeNodeContacts(a, meshA, b->right, meshB, out);
    } else {
        first = nodeNodeContacts(a->left, meshA, b, meshB, out);
        second = nodeNodeContacts(a->right, meshA, b, meshB, out);
    }
    return first || second;
}

// ------------------------------------------------------------------ first hits

bool nodePlaneFirstHit(BinaryTreeNode* node, const BVmesh& bound, const QmtVector3& p, const QmtVector3& n,
                       BinaryTreeNode*& leaf, int lane) {
    leaf = nullptr;
    const ZYLmesh* const mesh = worldMesh(bound);
    if (!mesh || !hasBox(node) || !reachesPlane(*node, p, n)) {
        return false;
    }
    if (node->isLeaf()) {
        if (!leafBelowPlane(*node, *mesh, p, n)) {
            return false;
        }
        leaf = node;
        return true;
    }
    return nodePlaneFirstHit(node->left, bound, p, n, leaf, lane) ||
           nodePlaneFirstHit(node->right, bound, p, n, leaf, lane);
}

bool nodeCapsuleFirstHit(BinaryTreeNode* node, const ZYLmesh& mesh, const BCapsule& capsule, BinaryTreeNode*& leaf,
                         int lane) {
    leaf = nullptr;
    if (!hasBox(node) || !touchesCapsule(*node, capsule)) {
        return false;
    }
    if (node->isLeaf()) {
        if (!leafOverlapsCapsule(*node, mesh, capsule)) {
            return false;
        }
        leaf = node;
        return true;
    }
    return nodeCapsuleFirstHit(node->left, mesh, capsule, leaf, lane) ||
           nodeCapsuleFirstHit(node->right, mesh, capsule, leaf, lane);
}

bool nodeHullFirstHit(BinaryTreeNode* node, const ZYLmesh& mesh, const BVmesh& hull, BinaryTreeNode*& leaf,
                      int lane) {
    leaf = nullptr;
    if (!hasBox(node) || !touchesHull(*node, hull, lane)) {
        return false;
    }
    if (node->isLeaf()) {
        if (!leafIntersectsHull(*node, mesh, hull)) {
            return false;
        }
        leaf = node;
        return true;
    }
    return nodeHullFirstHit(node->left, mesh, hull, leaf, lane) ||
           nodeHullFirstHit(node->right, mesh, hull, leaf, lane);
}

bool nodeNodeFirstHit(BinaryTreeNode* a, const ZYLmesh& meshA, BinaryTreeNode* b, const ZYLmesh& meshB,
                      BinaryTreeNode*& leafA, BinaryTreeNode*& leafB) {
    leafA = nullptr;
    leafB = nullptr;
    if (!hasBox(a) || !hasBox(b) || !nodesTouch(*a, *b)) {
        return false;
    }
    if (a->isLeaf() && b->isLeaf()) {
        if (!leavesIntersect(*a, meshA, *b, meshB)) {
            return false;
        }
        leafA = a;
        leafB = b;
        return true;
    }
    if (descendB(*a, *b)) {
        return nodeNodeFirstHit(a, meshA, b->left, meshB, leafA, leafB) ||
               nodeNodeFirstHit(a, meshA, b->right, meshB, leafA, leafB);
    }
    return nodeNodeFirstHit(a->left, meshA, b, meshB, leafA, leafB) ||
           nodeNodeFirstHit(a->right, meshA, b, meshB, leafA, leafB);
}

bool treeCapsuleFirstHit(const Binary_Tree<BVbox>& tree, const BVmesh& bound, const BCapsule& capsule,
                         BinaryTreeNode*& leaf, int lane) {
    const ZYLmesh* const mesh = worldMesh(bound);
    if (!mesh || !tree.root || !capsule.capsule) {
        leaf = nullptr;
        return false;
    }
    return cachedThenRoot(tree.root, leaf, [&](BinaryTreeNode* from, BinaryTreeNode*& out) {
        return nodeCapsuleFirstHit(from, *mesh, capsule, out, lane);
    });
}

bool treeHullFirstHit(const Binary_Tree<BVbox>& tree, const BVmesh& bound, const BVmesh& hull, BinaryTreeNode*& leaf,
                      int lane) {
    const ZYLmesh* const mesh = worldMesh(bound);
    if (!mesh || !tree.root || !hull.mesh) {
        leaf = nullptr;
        return false;
    }
    return cachedThenRoot(tree.root, leaf, [&](BinaryTreeNode* from, BinaryTreeNode*& out) {
        return nodeHullFirstHit(from, *mesh, hull, out, lane);
    });
}

bool treeTreeFirstHit(const Binary_Tree<BVbox>& treeA, const BVmesh& boundA, const BVmesh& boundB,
                      const Binary_Tree<BVbox>& treeB, BinaryTreeNode*& leafA, BinaryTreeNode*& leafB, int /*lane*/) {
    const ZYLmesh* const meshA = worldMesh(boundA);
    const ZYLmesh* const meshB = worldMesh(boundB);
    if (!meshA || !meshB || !treeA.root || !treeB.root) {
        leafA = nullptr;
        leafB = nullptr;
        return false;
    }
    if (leafA != nullptr && leafB != nullptr && nodeNodeFirstHit(leafA, *meshA, leafB, *meshB, leafA, leafB)) {
        return true;
    }
    return nodeNodeFirstHit(treeA.root, *meshA, treeB.root, *meshB, leafA, leafB);
}

// ------------------------------------------------------------------ entries

bool treePlaneContacts(const Binary_Tree<BVbox>& tree, const BVmesh& bound, const QmtVector3& planePoint,
                       const QmtVector3& planeNormal, QmtVector3* points, QmtVector3* normals, double* depths,
                       ContactFeature* features, std::uint32_t& count, int /*lane*/) {
    count = 0;
    const ZYLmesh* const mesh = worldMesh(bound);
    if (!mesh || !tree.root) {
        return false;
    }
    TreeContacts out{points, normals, depths, features, count};
    nodePlaneContacts(tree.root, *mesh, planePoint, planeNormal, out);
    return finish(out, false);
}

bool capsuleTreeContacts(const Binary_Tree<BVbox>& tree, const BVmesh& bound, const BCapsule& capsule,
                         QmtVector3* points, QmtVector3* normals, double* depths, ContactFeature* features,
                         std::uint32_t& count, int lane) {
    count = 0;
    const ZYLmesh* const mesh = worldMesh(bound);
    if (!mesh || !tree.root || !capsule.capsule) {
        return false;
    }
    TreeContacts out{points, normals, depths, features, count};
    nodeCapsuleContacts(tree.root, *mesh, capsule, out, lane);
    return finish(out, false);
}

bool hullTreeContacts(const Binary_Tree<BVbox>& tree, const BVmesh& bound, const BVmesh& hull, QmtVector3* points,
                      QmtVector3* normals, double* depths, ContactFeature* features, std::uint32_t& count,
                      int lane) {
    count = 0;
    const ZYLmesh* const mesh = worldMesh(bound);
    if (!mesh || !tree.root || !worldMesh(hull)) {
        return false;
    }
    HullCorners corners;
    TreeContacts out{points, normals, depths, features, count, &corners};
    nodeHullContacts(tree.root, *mesh, hull, out, lane);
    // The hull's corners under the triangles, when it has any there, are its contact, as
    // against a plane. A face lying just under the triangles' planes crosses them only
    // with its sides, and a side that reaches a triangle by a sliver may give nothing:
    // the hull stands on a few points along the triangles' edges, tips and creeps. The
    // crossings also give the deepest corner's depth to every point along a side, which
    // props a resting hull up askew, and their depth filter drops the corner that dips
    // deepest, the one the hull must be pushed out by. Without corners (an edge across
    // a ridge, a mesh corner poking into a face) the crossings are the contact.
    if (corners.count != 0) {
        out.count = 0;
    } else {
        finish(out, true);
    }
    appendHullCorners(hull, out);
    mergeCloseContacts(out);
    return out.count > 0;
}

bool treeTreeContacts(const Binary_Tree<BVbox>& treeA, const BVmesh& boundA, const BVmesh& boundB,
                      const Binary_Tree<BVbox>& treeB, QmtVector3* points, QmtVector3* normals, double* depths,
                      ContactFeature* features, std::uint32_t& count, int /*lane*/) {
    count = 0;
    const ZYLmesh* const meshA = worldMesh(boundA);
    const ZYLmesh* const meshB = worldMesh(boundB);
    if (!meshA || !meshB || !treeA.root || !treeB.root) {
        return false;
    }
    TreeContacts out{points, normals, depths, features, count};
    nodeNodeContacts(treeA.root, *meshA, treeB.root, *meshB, out);
    return finish(out, true);
}
