#include "geometry/hullPointTree.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr std::uint32_t LEAF_SIZE = 8;

// Relative rounding allowance of the node bounds, far above the few ulps they can
// actually be off by.
constexpr double ROUNDING = 1e-12;

// Point visits a tree build is taken to cost, per point and level.
constexpr double BUILD_COST = 4.0;

}  // namespace

void HullPointTree::build(const Qmt::QmtVector3* points, std::uint32_t pointCount,
                          const std::vector<std::uint32_t>& indices) {
    points_ = points;
    live_ = indices;
    livePosition_.assign(pointCount, NONE);
    for (std::uint32_t i = 0; i < live_.size(); ++i) {
        livePosition_[live_[i]] = i;
    }
    nodes_.clear();
    entryOf_.assign(pointCount, NONE);
    scanned_ = 0.0;
}

void HullPointTree::remove(std::uint32_t index) {
    if (!isLive(index)) {
        return;
    }
    const std::uint32_t at = livePosition_[index];
    live_[at] = live_.back();
    livePosition_[live_[at]] = at;
    live_.pop_back();
    livePosition_[index] = NONE;
    if (nodes_.empty()) {
        return;
    }
    const std::uint32_t k = entryOf_[index];
    entryLive_[k] = 0;
    for (std::uint32_t id = leafOf_[k]; id != NONE; id = nodeLinks_[id].parent) {
        --nodeLinks_[id].live;
    }
    // Half dead: boxes have grown loose, so the scans decide again.
    if (2 * live_.size() <= treeSize_) {
        nodes_.clear();
        scanned_ = 0.0;
    }
}

void HullPointTree::considerTree(std::uint32_t directions) {
    const auto live = static_cast<double>(live_.size());
    scanned_ += live * directions;
    if (live_.size() > 2 * LEAF_SIZE && scanned_ > BUILD_COST * live * std::log2(live)) {
        buildTree();
    }
}

void HullPointTree::buildTree() {
    entries_.clear();
    entries_.reserve(live_.size());
    centre_ = Qmt::QmtVector3();
    for (const std::uint32_t i : live_) {
        entries_.push_back({points_[i], i});
        centre_ += points_[i];
    }
    const auto count = static_cast<std::uint32_t>(entries_.size());
    centre_ = centre_ * (1.0 / count);
    // Every bound term is at most a few times the largest coordinate or the diameter
    // (unit normals) and is computed to within a few ulps of that.
    double magnitude = 0.0;
    Qmt::QmtVector3 lo = entries_[0].p;
    Qmt::QmtVector3 hi = entries_[0].p;
    for (const Entry& e : entries_) {
        magnitude = std::max({magnitude, std::fabs(e.p.x), std::fabs(e.p.y), std::fabs(e.p.z)});
        lo = {std::min(lo.x, e.p.x), std::min(lo.y, e.p.y), std::min(lo.z, e.p.z)};
        hi = {std::max(hi.x, e.p.x), std::max(hi.y, e.p.y), std::max(hi.z, e.p.z)};
    }
    margin_ = ROUNDING * (4.0 * magnitude + 4.0 * (hi - lo).Length()) + 1e-300;
    entryLive_.assign(count, 1);
    leafOf_.assign(count, NONE);
    nodes_.clear();
    // Leaves hold at least LEAF_SIZE / 2 points: at most 2 count / LEAF_SIZE leaves.
    nodes_.reserve(2 * (2 * count / LEAF_SIZE + 1));
    nodeLinks_.clear();
    nodeLinks_.reserve(nodes_.capacity());
    buildNode(0, count, NONE);
    for (std::uint32_t k = 0; k < count; ++k) {
        entryOf_[entries_[k].index] = k;
    }
    treeSize_ = count;
}

std::uint32_t HullPointTree::buildNode(std::uint32_t begin, std::uint32_t end, std::uint32_t parent) {
    const auto id = static_cast<std::uint32_t>(nodes_.size());
    nodes_.emplace_back();
    nodeLinks_.push_back({parent, end - begin});
    Node node;
    node.begin = begin;
    node.end = end;
    fit(node);
    if (end - begin > LEAF_SIZE) {
        const Qmt::QmtVector3& ext = node.half;
        const int axis = ext.x >= ext.y ? (ext.x >= ext.z ? 0 : 2) : (ext.y >= ext.z ? 1 : 2);
        const std::uint32_t mid = begin + (end - begin) / 2;
        std::nth_element(entries_.begin() + begin, entries_.begin() + mid, entries_.begin() + end,
                         [axis](const Entry& a, const Entry& b) { return a.p[axis] < b.p[axis]; });
        node.left = buildNode(begin, mid, id);
        node.right = buildNode(mid, end, id);
    } else {
        for (std::uint32_t k = begin; k < end; ++k) {
            leafOf_[k] = id;
        }
    }
    nodes_[id] = node;
    return id;
}

void HullPointTree::fit(Node& node) const {
    Qmt::QmtVector3 lo = entries_[node.begin].p;
    Qmt::QmtVector3 hi = lo;
    for (std::uint32_t k = node.begin + 1; k < node.end; ++k) {
        const Qmt::QmtVector3& p = entries_[k].p;
        lo = {std::min(lo.x, p.x), std::min(lo.y, p.y), std::min(lo.z, p.z)};
        hi = {std::max(hi.x, p.x), std::max(hi.y, p.y), std::max(hi.z, p.z)};
    }
    // Halved before adding: no overflow for coordinates near the largest double.
    const Qmt::QmtVector3 g = lo * 0.5 + hi * 0.5;
    node.centre = g;
    node.half = hi * 0.5 - lo * 0.5;
    node.axis = g - centre_;
    if (node.axis.Unitize(1e-300) == 0.0) {
        node.axis = Qmt::QmtVector3::UNIT_Z;
    }
    node.hLo = node.hHi = 0.0;
    // The root of the largest square is the largest root: one square root a node.
    double radialSquared = 0.0;
    for (std::uint32_t k = node.begin; k < node.end; ++k) {
        const Qmt::QmtVector3 d = entries_[k].p - g;
        const double h = d.Dot(node.axis);
        node.hLo = std::min(node.hLo, h);
        node.hHi = std::max(node.hHi, h);
        radialSquared = std::max(radialSquared, (d - node.axis * h).SquaredLength());
    }
    node.radial = std::sqrt(radialSquared);
}
