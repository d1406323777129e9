#pragma once

#include <cstdint>
#include <vector>

// A balanced tree of axis-aligned boxes kept from frame to frame: leaves are inserted,
// moved and removed one at a time, each where it adds the least surface, and the tree
// is rebalanced by rotations on the way up, so its height stays logarithmic. Boxes are
// single precision, rounded outward by whoever makes them (see widen), so a query
// never misses a leaf whose exact box it touches.
class DynamicBoxTree {
public:
    struct Box {
        float lo[3];
        float hi[3];
    };

    static constexpr int NONE = -1;

    // The smallest float box around [lo, hi] per axis.
    static Box widen(const double lo[3], const double hi[3]);
    static bool overlap(const Box& a, const Box& b) {
        return a.lo[0] <= b.hi[0] && b.lo[0] <= a.hi[0] && a.lo[1] <= b.hi[1] && b.lo[1] <= a.hi[1] &&
               a.lo[2] <= b.hi[2] && b.lo[2] <= a.hi[2];
    }
    static bool contains(const Box& outer, const Box& inner) {
        return outer.lo[0] <= inner.lo[0] && outer.lo[1] <= inner.lo[1] && outer.lo[2] <= inner.lo[2] &&
               inner.hi[0] <= outer.hi[0] && inner.hi[1] <= outer.hi[1] && inner.hi[2] <= outer.hi[2];
    }

    // A new leaf holding `item`; returns its node.
    int insert(const Box& box, std::int32_t item);
    void remove(int leaf);
    // The leaf takes the new box (re-inserted where it now fits best).
    void move(int leaf, const Box& box);

    const Box& box(int node) const { return nodes_[static_cast<std::size_t>(node)].box; }
    std::int32_t item(int leaf) const { return nodes_[static_cast<std::size_t>(leaf)].item; }
    int height() const { return root_ == NONE ? 0 : nodes_[static_cast<std::size_t>(root_)].height; }
    int leafCount() const { return leaves_; }

    // Calls visit(item) for every leaf whose box overlaps `box`. Reads only, so lanes
    // may query at once.
    template <class Visit>
    void query(const Box& box, Visit&& visit) const {
        if (root_ == NONE) {
            return;
        }
        // The tree's height bounds the stack: at most one pending sibling per level.
        int stack[STACK_DEPTH];
        int top = 0;
        stack[top++] = root_;
        while (top != 0) {
            const Node& node = nodes_[static_cast<std::size_t>(stack[--top])];
            if (!overlap(node.box, box)) {
                continue;
            }
            if (node.left == NONE) {
                visit(node.item);
            } else {
                stack[top++] = node.left;
                stack[top++] = node.right;
            }
        }
    }

private:
    // Rotations keep sibling heights within one of each other, so a tree of 2^31
    // leaves stays below 1.45 * 31 levels.
    static constexpr int STACK_DEPTH = 96;

    struct Node {
        Box box;
        int parent = NONE;
        int left = NONE;  // NONE for a leaf
        int right = NONE;
        int height = 0;   // 0 for a leaf; -1 for a free node
        std::int32_t item = 0;
    };

    int allocate();
    void release(int node);
    void insertLeaf(int leaf);
    void removeLeaf(int leaf);
    // Rotates the subtree at `node` when its children's heights differ by more than
    // one; returns the subtree's new root.
    int balance(int node);
    void refit(int node);
    Node& at(int node) { return nodes_[static_cast<std::size_t>(node)]; }

    std::vector<Node> nodes_;
    int root_ = NONE;
    int free_ = NONE;  // free nodes chained through `parent`
    int leaves_ = 0;
};
