#include "engine/bodies/triMeshTree.h"

#include <memory>
#include <new>
#include <vector>

#include "geometry/bounds/boxTreeLeaves.h"
#include "geometry/bounds/treeGeometry.h"

using Qmt::QmtVector3;

namespace {

// Nodes of this many triangles or fewer are leaves.
constexpr std::uint32_t kLeafFaces = 12;
// Incentres within this distance of the splitting plane go to the second child.
constexpr double kPlaneBand = 1e-5;

// The triangle's incentre: each corner weighted by the length of the opposite edge
// over the perimeter. A triangle whose corners coincide has no perimeter; its first
// corner stands in, so one such face cannot turn the mean into NaN and keep every
// node above it from splitting.
QmtVector3 incentre(const ZYLmesh& mesh, std::uint32_t f) {
    const ZYLface& face = mesh.faces[f];
    const QmtVector3& A = mesh.vertices[face.vertices[0]];
    const QmtVector3& B = mesh.vertices[face.vertices[1]];
    const QmtVector3& C = mesh.vertices[face.vertices[2]];
    const double a = (C - B).Length();
    const double b = (A - C).Length();
    const double c = (B - A).Length();
    const double perimeter = a + b + c;
    if (!(perimeter > 0.0)) {
        return A;
    }
    return (A * a + B * b + C * c) / perimeter;
}

bool triangleIndicesInRange(const ZYLmesh& mesh) {
    for (std::uint32_t f = 0; f < mesh.numFaces; ++f) {
        for (std::uint32_t k = 0; k < 3; ++k) {
            if (mesh.faces[f].vertices[k] >= mesh.numVertices) {
                return false;
            }
        }
    }
    return true;
}

// Working data of one build: the incentre of every mesh face, a gather buffer for
// the incentres of the node being split (used only before recursing) and a stamp per
// vertex for collecting a node's distinct vertices.
struct BuildScratch {
    const ZYLmesh& mesh;
    std::vector<QmtVector3> incentres;
    std::vector<QmtVector3> gathered;
    std::vector<std::uint32_t> stamp;
    std::uint32_t stampValue = 0;
};

// The node's distinct vertex indices: all of them when it holds every face, else in
// order of first appearance face by face.
bool collectVertices(BinaryTreeNode& node, BuildScratch& s) {
    const ZYLmesh& mesh = s.mesh;
    delete[] node.vertexIndices;
    node.vertexIndices = nullptr;
    node.vertexCount = 0;
    if (node.faceCount == mesh.numFaces) {
        node.vertexIndices = new (std::nothrow) std::uint32_t[mesh.numVertices];
        if (!node.vertexIndices) {
            return false;
        }
        for (std::uint32_t v = 0; v < mesh.numVertices; ++v) {
            node.vertexIndices[v] = v;
        }
        node.vertexCount = mesh.numVertices;
        return true;
    }
    ++s.stampValue;
    std::uint32_t distinct = 0;
    for (std::uint32_t i = 0; i < node.faceCount; ++i) {
        const ZYLface& face = mesh.faces[node.faceIndices[i]];
        for (std::uint32_t k = 0; k < 3; ++k) {
            std::uint32_t& mark = s.stamp[face.vertices[k]];
            if (mark != s.stampValue) {
                mark = s.stampValue;
                ++distinct;
            }
        }
    }
    node.vertexIndices = new (std::nothrow) std::uint32_t[distinct];
    if (!node.vertexIndices) {
        return false;
    }
    ++s.stampValue;
    for (std::uint32_t i = 0; i < node.faceCount; ++i) {
        const ZYLface& face = mesh.faces[node.faceIndices[i]];
        for (std::uint32_t k = 0; k < 3; ++k) {
            const std::uint32_t v = face.vertices[k];
            if (s.stamp[v] != s.stampValue) {
                s.stamp[v] = s.stampValue;
                node.vertexIndices[node.vertexCount++] = v;
            }
        }
    }
    return true;
}

// A child node holding `count` faces; null when memory runs out.
std::unique_ptr<BinaryTreeNode> newChild(std::uint32_t count) {
    std::unique_ptr<BinaryTreeNode> child(new (std::nothrow) BinaryTreeNode);
    if (!child) {
        return nullptr;
    }
    child->faceIndices = new (std::nothrow) std::uint32_t[count == 0 ? 1 : count];
    if (!child->faceIndices) {
        return nullptr;
    }
    return child;
}

bool splitNode(BinaryTreeNode& node, BuildScratch& s) {
    const std::uint32_t n = node.faceCount;
    if (n == 0 || !node.faceIndices) {
        return false;
    }
    if (!collectVertices(node, s) ||
        !refitBoxFromIndexedPoints(node.localBox, s.mesh.vertices, node.vertexIndices, node.vertexCount)) {
        return false;
    }
    node.localRadius = node.localBox.getRadio();
    node.elementCount = n;
    if (n <= kLeafFaces) {
        return true;
    }

    QmtVector3 sum;
    for (std::uint32_t i = 0; i < n; ++i) {
        s.gathered[i] = s.incentres[node.faceIndices[i]];
        sum += s.gathered[i];
    }
    const QmtVector3 mean = sum / static_cast<double>(n);
    const QmtVector3 c = node.localBox.getCenter();
    for (int k = 2; k >= 0; --k) {
        const QmtVector3 a = node.localBox.getAxis(k);
        const QmtVector3 q = c + a * ((mean - c).Dot(a));
        if (!planeSplitsWell(s.gathered.data(), n, q, a)) {
            continue;
        }
        std::uint32_t below = 0;
        for (std::uint32_t i = 0; i < n; ++i) {
            below += (s.gathered[i] - q).Dot(a) < -kPlaneBand ? 1u : 0u;
        }
        std::unique_ptr<BinaryTreeNode> first = newChild(below);
        std::unique_ptr<BinaryTreeNode> second = newChild(n - below);
        if (!first || !second) {
            return true;  // no room for the children: the node stays a leaf
        }
        for (std::uint32_t i = 0; i < n; ++i) {
            BinaryTreeNode& to = (s.gathered[i] - q).Dot(a) < -kPlaneBand ? *first : *second;
            to.faceIndices[to.faceCount++] = node.faceIndices[i];
        }
        delete[] node.faceIndices;
        node.faceIndices = nullptr;
        node.faceCount = 0;
        delete[] node.vertexIndices;
        node.vertexIndices = nullptr;
        node.vertexCount = 0;
        node.elementCount = 0;
        node.left = first.release();
        node.right = second.release();
        for (BinaryTreeNode* child : {node.left, node.right}) {
            child->depth = node.depth + 1;
            child->id = binaryTreeNodeIdCounter++;
        }
        return splitNode(*node.left, s) && splitNode(*node.right, s);
    }
    return true;  // no axis splits well
}

void refitNode(BinaryTreeNode& node, const ZYLmesh& mesh) {
    if (node.left == nullptr && node.right == nullptr) {
        if (refitBoxFromIndexedPoints(node.localBox, mesh.vertices, node.vertexIndices, node.vertexCount)) {
            node.localRadius = node.localBox.getRadio();
        }
        return;
    }
    node.cornerCount = 0;
    for (BinaryTreeNode* child : {node.left, node.right}) {
        if (child != nullptr) {
            refitNode(*child, mesh);
            if (child->localBox.getBox() != nullptr) {
                node.cornerCount += child->localBox.computeVertexes(node.corners + node.cornerCount);
            }
        }
    }
    if (refitBoxFromPoints(node.localBox, node.corners, node.cornerCount)) {
        node.localRadius = node.localBox.getRadio();
    }
}

}  // namespace

bool buildTriMeshTree(Binary_Tree<BVbox>& tree, const ZYLmesh& mesh) {
    tree.built = 0;
    delete tree.root;
    tree.root = nullptr;
    delete[] tree.leaves;
    tree.leaves = nullptr;
    tree.leafCount = 0;
    tree.levelCount = 0;

    bool ok = false;
    std::unique_ptr<BinaryTreeNode> root(new (std::nothrow) BinaryTreeNode);
    if (root && mesh.faces && mesh.vertices && triangleIndicesInRange(mesh)) {
        root->faceIndices = new (std::nothrow) std::uint32_t[mesh.numFaces == 0 ? 1 : mesh.numFaces];
    }
    if (root && root->faceIndices) {
        for (std::uint32_t f = 0; f < mesh.numFaces; ++f) {
            root->faceIndices[f] = f;
        }
        root->faceCount = mesh.numFaces;
        binaryTreeNodeIdCounter = 1;
        root->id = 0;
        BuildScratch scratch{mesh, {}, {}, {}, 0};
        scratch.incentres.resize(mesh.numFaces);
        scratch.gathered.resize(mesh.numFaces);
        scratch.stamp.assign(mesh.numVertices, 0);
        for (std::uint32_t f = 0; f < mesh.numFaces; ++f) {
            scratch.incentres[f] = incentre(mesh, f);
        }
        tree.root = root.release();
        ok = splitNode(*tree.root, scratch);
        if (ok) {
            tree.computeDepth();
            tree.countLeaves();
            tree.leaves = new (std::nothrow) BinaryTreeNode*[tree.leafCount == 0 ? 1 : tree.leafCount];
            ok = tree.leaves != nullptr;
            if (ok) {
                fillLeafArray(tree);
            }
        }
    }
    tree.built = 1;
    return ok;
}

bool refitTriMeshTree(Binary_Tree<BVbox>& tree, const ZYLmesh& mesh) {
    if (tree.root == nullptr || !mesh.vertices) {
        return false;
    }
    refitNode(*tree.root, mesh);
    return true;
}

void shiftTriMeshTree(BinaryTreeNode* node, const QmtVector3& d) {
    if (node == nullptr) {
        return;
    }
    if (node->localBox.getBox() != nullptr) {
        node->localBox.translate(d);
    }
    for (std::uint32_t i = 0; i < node->cornerCount; ++i) {
        node->corners[i] += d;
    }
    shiftTriMeshTree(node->left, d);
    shiftTriMeshTree(node->right, d);
}
