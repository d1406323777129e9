#pragma once

#include <bit>
#include <cmath>
#include <cstdint>
#include <vector>

#include "math/qmtVector3.h"

// Four-lane node and leaf tests, chosen at run time where the processor has them.
#if defined(__GNUC__) && defined(__x86_64__)
#define HULL_POINT_TREE_WIDE 1
#else
#define HULL_POINT_TREE_WIDE 0
#endif

// The remaining candidate points of a hull build, with removal, answering which points
// project above a threshold on a direction. Pruning keeps a margin for rounding, so
// no point a linear scan would report is missed.
//
// Queries start as linear scans of the live points. Once the scans have cost L log L
// point visits for L live points, times the build cost (a fraction of a k-d tree
// build, as queries rarely stop soon after), a tree is built over the live points; it is dropped again when
// seven eighths of them have died, and the scans decide anew. A build that soon
// leaves few candidates never pays for a tree; one that keeps many gets one early.
class HullPointTree {
public:
    static constexpr std::uint32_t NONE = 0xFFFFFFFFu;

    // How the point indices relate to space. SPATIAL says that points with nearby
    // indices lie close together (as along a space-filling curve): the tree then keeps
    // the live points in index order and splits each run near its middle, where the
    // curve jumps, instead of selecting medians. Either way every query reports every
    // point it must; only the cost differs.
    enum class IndexOrder { ARBITRARY, SPATIAL };

    // Leaves of the growth's tree: on 100,000-point spheres, 16 ran 3-4 % faster than 8
    // and 32 (the widened steps' searches walk fewer nodes, each a likely cache miss).
    static constexpr std::uint32_t LEAF_SIZE = 16;
    static constexpr std::uint32_t ONE_BY_ONE = 8;
    // Point visits of scans after which a tree is built, per live point and level. A
    // build costs more, but the queries that follow it are mostly many more than those
    // before: measured, charging one leaves the fewest instructions on spheres and
    // cubes of 1e4 and 1e5 points, and 0.2 % more on 1e3.
    static constexpr double BUILD_COST = 1.0;

    // Starts over points[indices[i]]; every listed point starts live. indices must be
    // distinct and below pointCount; the points array must stay valid while in use.
    // Leaves hold leafSize / 2 to leafSize points (at least 2): larger ones suit
    // anyAbove, whose leaf tests cost far less than a node's. buildCost sets when the
    // scans give way to a tree (see BUILD_COST).
    void build(const Qmt::QmtVector3* points, std::uint32_t pointCount,
               const std::vector<std::uint32_t>& indices, IndexOrder order = IndexOrder::ARBITRARY,
               std::uint32_t leafSize = LEAF_SIZE, double buildCost = BUILD_COST);

    // The same points copied elsewhere (their array, with the same indices): queries
    // read them there from now on.
    void movePoints(const Qmt::QmtVector3* points) { points_ = points; }

    // Builds the tree at once when scanning the live points for `directions` more
    // directions would cost more: a caller that knows its queries skips the scans the
    // first of them would otherwise make. anyAbove's verdicts are the same either way;
    // visitAbove reports in the tree's order once it is built.
    void expect(std::uint32_t directions);

    // reserveTree makes room for a tree over the live points; buildNow builds it now,
    // unless there is one or the points are few. Built on another thread in room
    // reserved on this one, the tree fills memory this thread's allocator handed out
    // (most often recycled) instead of fresh pages of the other thread's.
    void reserveTree();
    void buildNow();

    // Marks a point dead; it is never reported again. Unknown points are ignored.
    void remove(std::uint32_t index);
    bool isLive(std::uint32_t index) const {
        return index < livePosition_.size() && livePosition_[index] != NONE;
    }
    std::uint32_t liveCount() const { return static_cast<std::uint32_t>(live_.size()); }

    // For up to 64 directions at once: calls visit(k, index, point) at least for every
    // live point p with p.Dot(normals[k]) > thresholds[k] (possibly for others too).
    // Each point's calls come in ascending k. Up to ONE_BY_ONE directions go one after
    // the other, each reporting exactly its points, in the order a wider query's
    // calls for it would come (a wide walk's node tests cost more than a lone one's).
    template <class Visit>
    void visitAbove(const Qmt::QmtVector3* normals, const double* thresholds, std::uint32_t count,
                    Visit&& visit) {
        if (count == 0 || live_.empty()) {
            return;
        }
        if (nodes_.empty()) {
            considerTree(count);
        }
        if (nodes_.empty()) {
            if (count <= ONE_BY_ONE) {
                // A direction at a time: a tight loop, and still each point's calls in
                // ascending k. Locals, as visit may write anywhere.
                const std::uint32_t* const begin = live_.data();
                const std::uint32_t* const end = begin + live_.size();
                const Qmt::QmtVector3* const points = points_;
                for (std::uint32_t k = 0; k < count; ++k) {
                    const Qmt::QmtVector3 n = normals[k];
                    const double threshold = thresholds[k];
                    for (const std::uint32_t* at = begin; at != end; ++at) {
                        const Qmt::QmtVector3& p = points[*at];
                        if (p.Dot(n) > threshold) {
                            visit(k, *at, p);
                        }
                    }
                }
                return;
            }
            for (const std::uint32_t index : live_) {
                const Qmt::QmtVector3& p = points_[index];
                for (std::uint32_t k = 0; k < count; ++k) {
                    if (p.Dot(normals[k]) > thresholds[k]) {
                        visit(k, index, p);
                    }
                }
            }
            return;
        }
        if (count <= ONE_BY_ONE) {
            for (std::uint32_t k = 0; k < count; ++k) {
                const auto visitK = [&](std::uint32_t, std::uint32_t index, const Qmt::QmtVector3& p) {
                    visit(k, index, p);
                };
                visitAboveOne(normals[k], thresholds[k], visitK);
            }
            return;
        }
        walk(prepareWalk(normals, thresholds, count), [&](const Node& leaf, std::uint64_t kept) {
            for (std::uint32_t i = leaf.begin; i < leaf.end; ++i) {
                if (!entryLive_[i]) {
                    continue;
                }
                for (std::uint64_t m = kept; m != 0; m &= m - 1) {
                    visit(static_cast<std::uint32_t>(std::countr_zero(m)), entries_[i].index, entries_[i].p);
                }
            }
            return false;
        });
    }

    // Whether some live point p has (p - corners[k]).Dot(normals[k]) > limits[k] for a
    // k below count, testing every pair visitAbove must report (p.Dot(normals[k]) >
    // thresholds[k]) and possibly others: thresholds that bound the test from below
    // give the verdict of a full scan. A leaf's tests run several points at a time.
    bool anyAbove(const Qmt::QmtVector3* normals, const double* thresholds, std::uint32_t count,
                  const Qmt::QmtVector3* corners, const double* limits);

private:
    // Each node bounds its live points three times: by an axis-aligned box; by a slab
    // around the line through the box centre along the direction away from the centre
    // of all points (heights hLo..hHi along the axis, distance `radial` from it); and
    // by a cone about that direction from the centre of all points (its half-angle
    // and its reach R from the apex held as R cos and R sin of the angle). The slab is
    // thin for points on a curved surface, where a tilted patch has a thick box; the
    // cone also knows that the patch curves away from a plane tilted against it.
    // Leaves fit their slab and cone to their entries; the nodes above bound those of
    // their children (see composeBounds), which is looser by little and spares a pass
    // over every entry at each level.
    // Two cache lines: the first holds what every visit reads and the box, the second
    // what only nodes that pass the box read. Siblings are adjacent.
    struct alignas(64) Node {
        std::uint32_t live = 0;         // live points below
        std::uint32_t children = NONE;  // the left child, the right one next to it; NONE for a leaf
        std::uint32_t begin = 0;        // range of entries
        std::uint32_t end = 0;
        Qmt::QmtVector3 centre;         // of the box
        Qmt::QmtVector3 half;           // half the box's extent along each axis
        Qmt::QmtVector3 axis;           // unit
        double hLo = 0.0;
        double hHi = 0.0;
        double radial = 0.0;
        double coneRCos = 0.0;          // -infinity: no cone bound
        double coneRSin = 0.0;
    };
    static_assert(sizeof(Node) == 128);
    struct Entry {
        Qmt::QmtVector3 p;
        std::uint32_t index;
    };

    // visitAbove for one direction on the tree: a scalar node test without lanes or
    // masks, and leaves that report exactly the points above the threshold. Leaves come
    // in the order of walk, so each point is reported where the batch walk reports it.
    template <class Visit>
    void visitAboveOne(const Qmt::QmtVector3& n, double threshold, Visit&& visit) const {
        const Qmt::QmtVector3 absN(std::fabs(n.x), std::fabs(n.y), std::fabs(n.z));
        const double lowered = threshold - margin_;
        const double coneNeed = lowered - centre_.Dot(n);
        // Each split leaves at least a third on either side: far fewer than 2 * 64 open
        // nodes for any 32-bit count.
        std::uint32_t stack[128];
        std::uint32_t top = 0;
        stack[top++] = 0;
        // Locals, as visit may write anywhere.
        const Node* const nodes = nodes_.data();
        const Entry* const entries = entries_.data();
        const std::uint8_t* const entryLive = entryLive_.data();
        while (top != 0) {
            const Node& node = nodes[stack[--top]];
            if (node.live == 0) {
                continue;
            }
            if (node.children != NONE) {
                if (mayExceed(node, n, absN, lowered, coneNeed)) {
                    stack[top++] = node.children;
                    stack[top++] = node.children + 1;
                }
                continue;
            }
            if (!(node.half.Dot(absN) > lowered - node.centre.Dot(n))) {
                continue;
            }
            for (std::uint32_t i = node.begin, end = node.end; i < end; ++i) {
                const Entry& e = entries[i];
                if (e.p.Dot(n) > threshold && entryLive[i] != 0) {
                    visit(0u, e.index, e.p);
                }
            }
        }
    }

    // Walks the tree for the directions of `all` (set up by prepareWalk), calling
    // leaf(node, kept) for every leaf with live points and directions that may be
    // exceeded there, until one returns true; returns whether one did. Without
    // testRoot every direction goes past the root untested.
    template <class Leaf>
    bool walk(std::uint64_t all, Leaf&& leaf, bool testRoot = true) {
        masks_.clear();
        stack_.clear();
        const Node& root = nodes_[0];
        if (testRoot || root.live == 0) {
            stack_.push_back(0);
            masks_.push_back(all);
        } else if (root.children == NONE) {
            return leaf(root, all);
        } else {
            stack_.push_back(root.children);
            masks_.push_back(all);
            stack_.push_back(root.children + 1);
            masks_.push_back(all);
        }
        while (!stack_.empty()) {
            const Node& node = nodes_[stack_.back()];
            const std::uint64_t mask = masks_.back();
            stack_.pop_back();
            masks_.pop_back();
            if (node.live == 0) {
                continue;
            }
            const std::uint64_t kept = keptOf(node, mask);
            if (kept == 0) {
                continue;
            }
            if (node.children == NONE) {
                if (leaf(node, kept)) {
                    return true;
                }
            } else {
                stack_.push_back(node.children);
                masks_.push_back(kept);
                stack_.push_back(node.children + 1);
                masks_.push_back(kept);
            }
        }
        return false;
    }
    // Fills the walk's lanes from the directions of a walk; returns the mask of all of them.
    std::uint64_t prepareWalk(const Qmt::QmtVector3* normals, const double* thresholds, std::uint32_t count);
    // The directions of `mask` for which mayExceed holds at `node`.
    std::uint64_t keptOf(const Node& node, std::uint64_t mask) const;
    // The same, a direction at a time through mayExceed.
    std::uint64_t keptOneByOne(const Node& node, std::uint64_t mask) const;
    // The test of anyAbove on the entries of a leaf whose points all live.
    bool leafAbove(const Node& leaf, std::uint64_t kept, const double* thresholds, const Qmt::QmtVector3* corners,
                   const double* limits) const;
#if HULL_POINT_TREE_WIDE
    // keptOf and leafAbove four lanes at a time, for processors that have them: each
    // lane computes what the two-lane code does.
    __attribute__((target("avx"))) std::uint64_t keptOfWide(const Node& node, std::uint64_t mask) const;
    __attribute__((target("avx"))) bool leafAboveWide(const Node& leaf, std::uint64_t kept, const double* thresholds,
                                                      const Qmt::QmtVector3* corners, const double* limits) const;
#endif
    // The same test a point and a direction at a time, skipping dead entries.
    bool leafAboveOneByOne(const Node& leaf, std::uint64_t kept, const Qmt::QmtVector3* corners,
                           const double* limits) const;
    // mayExceed for direction k of the walk, read from its lanes.
    bool mayExceedLane(const Node& node, std::uint32_t k) const {
        const Qmt::QmtVector3 n(lanes_.x[k], lanes_.y[k], lanes_.z[k]);
        const Qmt::QmtVector3 absN(lanes_.absX[k], lanes_.absY[k], lanes_.absZ[k]);
        return mayExceed(node, n, absN, lanes_.lowered[k], lanes_.cone[k]);
    }

    // Builds the tree once the scans since the last build decision cost more than it.
    void considerTree(std::uint32_t directions);
    void buildTree();
    // Takes the next two node slots for the children of node `parent`.
    std::uint32_t openChildren(std::uint32_t parent);
    // Builds node `id` over entries [begin, end), whose box is lo..hi, splitting at the
    // median along the box's longest axis.
    void buildNode(std::uint32_t id, std::uint32_t begin, std::uint32_t end, const Qmt::QmtVector3& lo,
                   const Qmt::QmtVector3& hi);
    // Builds node `id` over entries [begin, end), kept in index order, and returns
    // their box in lo..hi.
    void buildRun(std::uint32_t id, std::uint32_t begin, std::uint32_t end, Qmt::QmtVector3& lo, Qmt::QmtVector3& hi);
    // Sets the box and the slab's axis; the slab is fitted afterwards.
    void setBox(Node& node, const Qmt::QmtVector3& lo, const Qmt::QmtVector3& hi) const;
    // The box of entries [begin, end) in lo..hi.
    void boxOf(std::uint32_t begin, std::uint32_t end, Qmt::QmtVector3& lo, Qmt::QmtVector3& hi) const;
    // Fits the node's slab to its entries.
    void fitSlab(Node& node) const;
    // A cone as fitted: the cosine of its half-angle and its reach.
    struct Cone {
        double cosine;
        double reach;
    };
    // Fits the slabs and cones of node `id` and those below; returns its cone.
    Cone fitBounds(std::uint32_t id);
    // The cone of the node's entries.
    Cone fitCone(const Node& node) const;
    // Sets the node's slab to hold its children's slabs and boxes, and returns a cone
    // that holds theirs; false when the bounds are not finite (the node is then fitted
    // to its entries).
    bool composeBounds(Node& node, const Cone childCones[2], Cone& cone) const;
    // Sets the node's cone terms.
    static void setCone(Node& node, const Cone& cone);
    // Whether some point of the node may have p.Dot(n) > threshold: the box bound is
    // tried first, then the slab bound, then the cone bound, each only when the ones
    // before do not settle it. Box and slab start from centre.n; the box adds half.|n|
    // (absN), which is the corner the box bound takes up to rounding far inside
    // margin_. lowered is threshold - margin_, coneNeed is lowered - centre_.n.
    bool mayExceed(const Node& node, const Qmt::QmtVector3& n, const Qmt::QmtVector3& absN, double lowered,
                   double coneNeed) const {
        const double centre = node.centre.Dot(n);
        const double need = lowered - centre;
        if (!(node.half.Dot(absN) > need)) {
            return false;
        }
        // The slab bound is centre.n + h along + radial |n - axis along|; the radial
        // term is compared squared, which saves a square root per node and direction.
        const double along = node.axis.Dot(n);
        const double rest = need - (along >= 0.0 ? node.hHi : node.hLo) * along;
        if (!(rest >= 0.0)) {
            return true;  // NaN from overflowing bounds prunes nothing
        }
        const double acrossSquared = (n - node.axis * along).SquaredLength();
        if (!exceedsSquared(node.radial, acrossSquared, rest)) {
            return false;
        }
        // The cone bound: centre_.n + R |n| max(0, cos(psi - half-angle)) for the
        // angle psi between n and the axis once it exceeds the half-angle, else
        // centre_.n + R |n|. cos psi |n| is `along`, sin psi |n| the root of
        // acrossSquared, and the cosine of the difference expands into their products.
        if (!(coneNeed >= 0.0)) {
            return true;
        }
        // Whether psi is within the half-angle: cos psi against its cosine, squared.
        const double normSquared = along * along + acrossSquared;
        const double reachSquared = node.coneRCos * node.coneRCos + node.coneRSin * node.coneRSin;
        const double alongSquared = along * along * reachSquared;
        const double cosSquared = node.coneRCos * node.coneRCos * normSquared;
        const bool inside = node.coneRCos >= 0.0 ? along >= 0.0 && alongSquared >= cosSquared
                                                 : along >= 0.0 || alongSquared <= cosSquared;
        if (inside) {
            if (reachSquared > 1e-200 && reachSquared < 1e200 && coneNeed > 1e-100 && coneNeed < 1e100) {
                return reachSquared * normSquared > coneNeed * coneNeed;
            }
            return exceedsSquared(std::sqrt(reachSquared), normSquared, coneNeed);
        }
        return exceedsSquared(node.coneRSin, acrossSquared, coneNeed - along * node.coneRCos);
    }
    // Whether r sqrt(acrossSquared) > rest, for r >= 0; true for a NaN rest. The
    // squares are compared unless they could overflow or underflow.
    static bool exceedsSquared(double r, double acrossSquared, double rest) {
        if (!(rest >= 0.0)) {
            return true;
        }
        if (r > 1e-100 && r < 1e100 && rest > 1e-100 && rest < 1e100) {
            return r * r * acrossSquared > rest * rest;
        }
        return r * std::sqrt(acrossSquared) > rest;
    }

    const Qmt::QmtVector3* points_ = nullptr;
    IndexOrder order_ = IndexOrder::ARBITRARY;
    std::uint32_t leafSize_ = LEAF_SIZE;
    double buildCost_ = BUILD_COST;
    std::vector<std::uint32_t> live_;          // live point indices, in no order
    std::vector<std::uint32_t> livePosition_;  // per point: place in live_ or NONE
    double scanned_ = 0.0;                     // point visits of scans since the last decision

    std::vector<Node> nodes_;                  // empty while queries scan
    std::vector<std::uint32_t> parents_;       // per node; a removal walks them from a leaf up
    std::vector<Entry> entries_;               // the tree's points in tree order
    std::vector<std::uint8_t> entryLive_;
    std::vector<double> entryX_;               // the entries' coordinates apart, made by the first
    std::vector<double> entryY_;               // anyAbove on a tree, with three padding entries
    std::vector<double> entryZ_;
    bool entriesApart_ = false;                // whether entryX_.. hold the current tree's entries
#if HULL_POINT_TREE_WIDE
    // The entries in single precision, with seven padding entries, for a sift of eight
    // points a lane: made with entryX_.. when every coordinate is within 1e30 in
    // magnitude (floatSift_), where the sift's rounding has a bound.
    std::vector<float> entryXf_;
    std::vector<float> entryYf_;
    std::vector<float> entryZf_;
    bool floatSift_ = false;
    bool floatBatch_ = false;                  // whether the current batch sifts so
    double floatMagnitude_ = 0.0;              // the largest coordinate magnitude of the entries
    // Per direction of an anyAbove batch: its normal, and its threshold lowered by the
    // sift's rounding, in single precision.
    struct alignas(32) FloatLanes {
        float x[64];
        float y[64];
        float z[64];
        float threshold[64];
    } floatLanes_;
#endif
    std::vector<std::uint32_t> leafOf_;        // per entry
    std::vector<float> steps_;                 // per entry: squared distance from the one before
    std::vector<std::uint32_t> entryOf_;       // per point: entry or NONE
    std::uint32_t treeSize_ = 0;               // live points when the tree was built
    Qmt::QmtVector3 centre_;                   // mean of the tree's points
    double coneScale_ = 0.0;                   // largest coordinate difference from centre_
    double margin_ = 0.0;                      // rounding allowance of the bounds
    std::vector<std::uint32_t> stack_;
    std::vector<std::uint64_t> masks_;
    // The directions of a walk, one array per quantity so that a node tests two or four
    // at once; padded to a multiple of four.
    struct alignas(32) Lanes {
        double x[64];
        double y[64];
        double z[64];
        double absX[64];
        double absY[64];
        double absZ[64];
        double lowered[64];     // threshold - margin_
        double cone[64];        // coneNeed of mayExceed
        double coneSquared[64];
        double coneOdd[64];     // all bits set where cone >= 0 is outside the range squared
    } lanes_;
};
