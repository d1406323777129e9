#include "engine/collision/dynamicBoxTree.h"

#include <algorithm>
#include <cmath>

namespace {

using Box = DynamicBoxTree::Box;

Box unite(const Box& a, const Box& b) {
    Box u;
    for (int k = 0; k < 3; ++k) {
        u.lo[k] = std::min(a.lo[k], b.lo[k]);
        u.hi[k] = std::max(a.hi[k], b.hi[k]);
    }
    return u;
}

// Half the surface area: what a box costs every query that passes near it.
float cost(const Box& b) {
    const float x = b.hi[0] - b.lo[0];
    const float y = b.hi[1] - b.lo[1];
    const float z = b.hi[2] - b.lo[2];
    return x * y + y * z + z * x;
}

}  // namespace

Box DynamicBoxTree::widen(const double lo[3], const double hi[3]) {
    Box b;
    for (int k = 0; k < 3; ++k) {
        b.lo[k] = static_cast<float>(lo[k]);
        if (static_cast<double>(b.lo[k]) > lo[k]) {
            b.lo[k] = std::nextafter(b.lo[k], -HUGE_VALF);
        }
        b.hi[k] = static_cast<float>(hi[k]);
        if (static_cast<double>(b.hi[k]) < hi[k]) {
            b.hi[k] = std::nextafter(b.hi[k], HUGE_VALF);
        }
    }
    return b;
}

int DynamicBoxTree::allocate() {
    if (free_ == NONE) {
        nodes_.emplace_back();
        return static_cast<int>(nodes_.size()) - 1;
    }
    const int node = free_;
    free_ = at(node).parent;
    at(node) = Node{};
    return node;
}

void DynamicBoxTree::release(int node) {
    at(node).height = -1;
    at(node).parent = free_;
    free_ = node;
}

int DynamicBoxTree::insert(const Box& box, std::int32_t item) {
    const int leaf = allocate();
    Node& n = at(leaf);
    n.box = box;
    n.item = item;
    insertLeaf(leaf);
    ++leaves_;
    return leaf;
}

void DynamicBoxTree::remove(int leaf) {
    removeLeaf(leaf);
    release(leaf);
    --leaves_;
}

void DynamicBoxTree::move(int leaf, const Box& box) {
    removeLeaf(leaf);
    at(leaf).box = box;
    insertLeaf(leaf);
}

void DynamicBoxTree::insertLeaf(int leaf) {
    if (root_ == NONE) {
        root_ = leaf;
        at(leaf).parent = NONE;
        return;
    }
    // Down to the sibling that grows the tree's surface least.
    const Box box = at(leaf).box;
    int index = root_;
    while (at(index).left != NONE) {
        const Node& node = at(index);
        const float combined = cost(unite(node.box, box));
        const float here = 2.0f * combined;
        const float inherited = 2.0f * (combined - cost(node.box));
        const auto descend = [&](int child) {
            const Node& c = at(child);
            const float grown = cost(unite(c.box, box));
            return (c.left == NONE ? grown : grown - cost(c.box)) + inherited;
        };
        const float left = descend(node.left);
        const float right = descend(node.right);
        if (here < left && here < right) {
            break;
        }
        index = left < right ? node.left : node.right;
    }

    const int sibling = index;
    const int oldParent = at(sibling).parent;
    const int parent = allocate();
    Node& p = at(parent);
    p.parent = oldParent;
    p.box = unite(box, at(sibling).box);
    p.height = at(sibling).height + 1;
    p.left = sibling;
    p.right = leaf;
    at(sibling).parent = parent;
    at(leaf).parent = parent;
    if (oldParent == NONE) {
        root_ = parent;
    } else if (at(oldParent).left == sibling) {
        at(oldParent).left = parent;
    } else {
        at(oldParent).right = parent;
    }
    refit(at(leaf).parent);
}

void DynamicBoxTree::removeLeaf(int leaf) {
    if (leaf == root_) {
        root_ = NONE;
        return;
    }
    const int parent = at(leaf).parent;
    const int grand = at(parent).parent;
    const int sibling = at(parent).left == leaf ? at(parent).right : at(parent).left;
    if (grand == NONE) {
        root_ = sibling;
        at(sibling).parent = NONE;
        release(parent);
        return;
    }
    if (at(grand).left == parent) {
        at(grand).left = sibling;
    } else {
        at(grand).right = sibling;
    }
    at(sibling).parent = grand;
    release(parent);
    refit(grand);
}

// Boxes and heights again from `node` up to the root, rebalancing on the way.
void DynamicBoxTree::refit(int node) {
    while (node != NONE) {
        node = balance(node);
        Node& n = at(node);
        n.height = 1 + std::max(at(n.left).height, at(n.right).height);
        n.box = unite(at(n.left).box, at(n.right).box);
        node = n.parent;
    }
}

int DynamicBoxTree::balance(int a) {
    Node& A = at(a);
    if (A.left == NONE || A.height < 2) {
        return a;
    }
    const int b = A.left;
    const int c = A.right;
    const int tilt = at(c).height - at(b).height;
    if (tilt >= -1 && tilt <= 1) {
        return a;
    }
    // The taller child `up` takes A's place; A keeps its other child and the shorter
    // of up's children, up keeps A and its taller child.
    const int up = tilt > 1 ? c : b;
    const int other = tilt > 1 ? b : c;
    Node& U = at(up);
    const int f = U.left;
    const int g = U.right;
    const int taller = at(f).height > at(g).height ? f : g;
    const int shorter = taller == f ? g : f;

    U.parent = A.parent;
    if (U.parent == NONE) {
        root_ = up;
    } else if (at(U.parent).left == a) {
        at(U.parent).left = up;
    } else {
        at(U.parent).right = up;
    }
    A.parent = up;
    U.left = a;
    U.right = taller;
    if (tilt > 1) {
        A.right = shorter;
    } else {
        A.left = shorter;
    }
    at(shorter).parent = a;

    A.box = unite(at(other).box, at(shorter).box);
    A.height = 1 + std::max(at(other).height, at(shorter).height);
    U.box = unite(A.box, at(taller).box);
    U.height = 1 + std::max(A.height, at(taller).height);
    return up;
}
