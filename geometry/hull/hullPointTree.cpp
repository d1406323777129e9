#include "geometry/hull/hullPointTree.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <type_traits>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if HULL_POINT_TREE_WIDE
#include <immintrin.h>
#endif

namespace {

// Relative rounding allowance of the node bounds, far above the few ulps they can
// actually be off by.
constexpr double ROUNDING = 1e-12;

#if HULL_POINT_TREE_WIDE
// Whether the four-lane tests run here (the system must save the wide registers too,
// which the check includes).
const bool wideLanes = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx") != 0;
}();
#endif

#if defined(__SSE2__)
// A vector's coordinates, each in both lanes.
struct Lanes3 {
    __m128d x;
    __m128d y;
    __m128d z;
};
Lanes3 broadcast(const Qmt::QmtVector3& v) { return {_mm_set1_pd(v.x), _mm_set1_pd(v.y), _mm_set1_pd(v.z)}; }
// v.Dot((x, y, z)) in each lane, the terms added in the scalar order.
__m128d dot(const Lanes3& v, __m128d x, __m128d y, __m128d z) {
    return _mm_add_pd(_mm_add_pd(_mm_mul_pd(v.x, x), _mm_mul_pd(v.y, y)), _mm_mul_pd(v.z, z));
}
#endif

}  // namespace

void HullPointTree::build(const Qmt::QmtVector3* points, std::uint32_t pointCount,
                          const std::vector<std::uint32_t>& indices, IndexOrder order, std::uint32_t leafSize,
                          double buildCost) {
    points_ = points;
    order_ = order;
    leafSize_ = std::max(leafSize, std::uint32_t{2});
    buildCost_ = buildCost;
    live_ = indices;
    livePosition_.assign(pointCount, NONE);
    for (std::uint32_t i = 0; i < live_.size(); ++i) {
        livePosition_[live_[i]] = i;
    }
    nodes_.clear();
    // Read only for points of a tree, which buildTree sets.
    if (entryOf_.size() < pointCount) {
        entryOf_.resize(pointCount);
    }
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
    for (std::uint32_t id = leafOf_[k]; id != NONE; id = parents_[id]) {
        --nodes_[id].live;
    }
    // Mostly dead: the bounds have grown loose, so the scans decide again. Walks skip
    // dead subtrees, so dropping later saves more builds than it costs in walks
    // (measured against dropping at a half and a quarter).
    if (8 * live_.size() <= treeSize_) {
        nodes_.clear();
        scanned_ = 0.0;
    }
}

void HullPointTree::expect(std::uint32_t directions) {
    const auto live = static_cast<double>(live_.size());
    if (live * directions > buildCost_ * live * std::log2(live)) {
        buildNow();
    }
}

void HullPointTree::reserveTree() {
    const std::size_t count = live_.size();
    entries_.reserve(count);
    entryLive_.reserve(count);
    leafOf_.reserve(count);
    // Leaves hold at least leafSize_ / 2 points: at most 2 count / leafSize_ leaves.
    nodes_.reserve(2 * (2 * count / leafSize_ + 1));
    parents_.reserve(nodes_.capacity());
    if (order_ == IndexOrder::SPATIAL) {
        steps_.reserve(count);
    }
}

void HullPointTree::buildNow() {
    if (nodes_.empty() && live_.size() > 2 * leafSize_) {
        buildTree();
    }
}

void HullPointTree::considerTree(std::uint32_t directions) {
    const auto live = static_cast<double>(live_.size());
    scanned_ += live * directions;
    if (scanned_ > buildCost_ * live * std::log2(live)) {
        buildNow();
    }
}

void HullPointTree::buildTree() {
    entries_.clear();
    nodes_.clear();
    parents_.clear();
    reserveTree();
    if (order_ == IndexOrder::SPATIAL) {
        // Removals have shuffled live_: ascending indices again, by a walk over all
        // points while most are live, else by sorting.
        if (live_.size() >= livePosition_.size() / 16) {
            for (std::uint32_t i = 0; i < livePosition_.size(); ++i) {
                if (livePosition_[i] != NONE) {
                    entries_.push_back({points_[i], i});
                }
            }
        } else {
            std::vector<std::uint32_t> sorted = live_;
            std::sort(sorted.begin(), sorted.end());
            for (const std::uint32_t i : sorted) {
                entries_.push_back({points_[i], i});
            }
        }
    } else {
        for (const std::uint32_t i : live_) {
            entries_.push_back({points_[i], i});
        }
    }
    const auto count = static_cast<std::uint32_t>(entries_.size());
    // Every bound term is at most a few times the largest coordinate or the diameter
    // (unit normals) and is computed to within a few ulps of that.
    Qmt::QmtVector3 sum;
    Qmt::QmtVector3 lo = entries_[0].p;
    Qmt::QmtVector3 hi = entries_[0].p;
    for (const Entry& e : entries_) {
        sum += e.p;
        lo = {std::min(lo.x, e.p.x), std::min(lo.y, e.p.y), std::min(lo.z, e.p.z)};
        hi = {std::max(hi.x, e.p.x), std::max(hi.y, e.p.y), std::max(hi.z, e.p.z)};
    }
    centre_ = sum * (1.0 / count);
    const double magnitude = std::max({std::fabs(lo.x), std::fabs(lo.y), std::fabs(lo.z), std::fabs(hi.x),
                                       std::fabs(hi.y), std::fabs(hi.z)});
    margin_ = ROUNDING * (4.0 * magnitude + 4.0 * (hi - lo).Length()) + 1e-300;
    entryLive_.assign(count, 1);
    leafOf_.resize(count);  // every entry gets its leaf
    nodes_.emplace_back();
    parents_.push_back(NONE);
    if (order_ == IndexOrder::SPATIAL) {
        steps_.resize(count);
        steps_[0] = 0.0f;
        for (std::uint32_t k = 1; k < count; ++k) {
            // Clamped: a step beyond the float range converts to no defined value.
            const double step = (entries_[k].p - entries_[k - 1].p).SquaredLength();
            steps_[k] = static_cast<float>(std::min(step, static_cast<double>(std::numeric_limits<float>::max())));
        }
        buildRun(0, 0, count, lo, hi);
    } else {
        buildNode(0, 0, count, lo, hi);
    }
    // The slabs and cones once the entries have their final order. The cones take
    // directions from differences scaled to at most 1, which neither overflow nor
    // underflow when squared (a difference that loses bits to underflow is off by less
    // than margin_); subtraction rounds monotonically, so the largest difference is
    // that of the box.
    const Qmt::QmtVector3 lowest = lo - centre_;
    const Qmt::QmtVector3 highest = hi - centre_;
    coneScale_ = std::max({-lowest.x, -lowest.y, -lowest.z, highest.x, highest.y, highest.z});
    fitBounds(0);
    for (std::uint32_t k = 0; k < count; ++k) {
        entryOf_[entries_[k].index] = k;
    }
    treeSize_ = count;
    entriesApart_ = false;
}

std::uint32_t HullPointTree::openChildren(std::uint32_t parent) {
    const auto id = static_cast<std::uint32_t>(nodes_.size());
    nodes_.resize(id + 2);
    parents_.resize(id + 2, parent);
    return id;
}

void HullPointTree::buildNode(std::uint32_t id, std::uint32_t begin, std::uint32_t end, const Qmt::QmtVector3& lo,
                              const Qmt::QmtVector3& hi) {
    Node node;
    node.live = end - begin;
    node.begin = begin;
    node.end = end;
    setBox(node, lo, hi);
    Qmt::QmtVector3 childLo[2];
    Qmt::QmtVector3 childHi[2];
    if (end - begin > leafSize_) {
        const std::uint32_t mid = begin + (end - begin) / 2;
        const Qmt::QmtVector3& ext = node.half;
        const int axis = ext.x >= ext.y ? (ext.x >= ext.z ? 0 : 2) : (ext.y >= ext.z ? 1 : 2);
        std::nth_element(entries_.begin() + begin, entries_.begin() + mid, entries_.begin() + end,
                         [axis](const Entry& a, const Entry& b) { return a.p[axis] < b.p[axis]; });
        boxOf(begin, mid, childLo[0], childHi[0]);
        boxOf(mid, end, childLo[1], childHi[1]);
        node.children = openChildren(id);
        buildNode(node.children, begin, mid, childLo[0], childHi[0]);
        buildNode(node.children + 1, mid, end, childLo[1], childHi[1]);
    } else {
        for (std::uint32_t k = begin; k < end; ++k) {
            leafOf_[k] = id;
        }
    }
    nodes_[id] = node;
}

void HullPointTree::buildRun(std::uint32_t id, std::uint32_t begin, std::uint32_t end, Qmt::QmtVector3& lo,
                             Qmt::QmtVector3& hi) {
    Node node;
    node.live = end - begin;
    node.begin = begin;
    node.end = end;
    if (end - begin > leafSize_) {
        // Split at the widest step between consecutive points in the middle third: along
        // a space-filling curve that is where the run leaves one large cell for the next.
        // Both sides keep at least leafSize_ / 2 points.
        const std::uint32_t count = end - begin;
        const std::uint32_t reach = std::min(count / 6, (count - leafSize_) / 2);
        std::uint32_t mid = begin + count / 2 - reach;
        float widest = -1.0f;
        for (std::uint32_t k = mid, last = begin + count / 2 + reach; k <= last; ++k) {
            if (steps_[k] > widest) {
                widest = steps_[k];
                mid = k;
            }
        }
        // The box is the union of the children's, which the same extremes make exact.
        Qmt::QmtVector3 rightLo;
        Qmt::QmtVector3 rightHi;
        node.children = openChildren(id);
        buildRun(node.children, begin, mid, lo, hi);
        buildRun(node.children + 1, mid, end, rightLo, rightHi);
        lo = {std::min(lo.x, rightLo.x), std::min(lo.y, rightLo.y), std::min(lo.z, rightLo.z)};
        hi = {std::max(hi.x, rightHi.x), std::max(hi.y, rightHi.y), std::max(hi.z, rightHi.z)};
    } else {
        boxOf(begin, end, lo, hi);
        for (std::uint32_t k = begin; k < end; ++k) {
            leafOf_[k] = id;
        }
    }
    setBox(node, lo, hi);
    nodes_[id] = node;
}

void HullPointTree::boxOf(std::uint32_t begin, std::uint32_t end, Qmt::QmtVector3& lo, Qmt::QmtVector3& hi) const {
    // Accumulated in locals: through the references every step would be stored.
    Qmt::QmtVector3 low = entries_[begin].p;
    Qmt::QmtVector3 high = low;
    for (std::uint32_t k = begin; k < end; ++k) {
        const Qmt::QmtVector3& p = entries_[k].p;
        low = {std::min(low.x, p.x), std::min(low.y, p.y), std::min(low.z, p.z)};
        high = {std::max(high.x, p.x), std::max(high.y, p.y), std::max(high.z, p.z)};
    }
    lo = low;
    hi = high;
}

HullPointTree::Cone HullPointTree::fitBounds(std::uint32_t id) {
    Node& node = nodes_[id];  // the recursion adds no nodes
    Cone cone{};
    if (node.children != NONE) {
        const Cone childCones[2] = {fitBounds(node.children), fitBounds(node.children + 1)};
        if (composeBounds(node, childCones, cone)) {
            setCone(node, cone);
            return cone;
        }
    }
    fitSlab(node);
    cone = fitCone(node);
    setCone(node, cone);
    return cone;
}

void HullPointTree::setCone(Node& node, const Cone& cone) {
    if (!(cone.reach <= std::numeric_limits<double>::max()) || !(cone.cosine >= -1.0)) {
        node.coneRCos = -std::numeric_limits<double>::infinity();
        node.coneRSin = 0.0;
    } else {
        node.coneRCos = cone.reach * cone.cosine;
        node.coneRSin = cone.reach * std::sqrt((1.0 - cone.cosine) * (1.0 + cone.cosine));
    }
}

namespace {

// Distance of the point at `offset` from the line through the origin along the unit
// `axis`.
double fromAxis(const Qmt::QmtVector3& offset, const Qmt::QmtVector3& axis) {
    return (offset - axis * offset.Dot(axis)).Length();
}

}  // namespace

// A child's points lie within its box and within its slab: a cylinder about its axis,
// which meets the node's axis at cosine k and sine s. Along the node's axis they lie
// where the cylinder's axis segment does, give or take its radius times s, and within
// the reach of the box; around it, no farther than the farther end of the segment
// plus the radius, nor than the farthest box corner. Their directions from the centre
// lie within the child's cone turned by the angle between the axes. Each bound is off
// by a few ulps per level, far inside margin_; the cone keeps an allowance per level.
bool HullPointTree::composeBounds(Node& node, const Cone childCones[2], Cone& cone) const {
    const Qmt::QmtVector3 axis = node.axis;
    const Qmt::QmtVector3 absAxis(std::fabs(axis.x), std::fabs(axis.y), std::fabs(axis.z));
    double hLo = 0.0;
    double hHi = 0.0;
    double radial = 0.0;
    double cosine = 1.0;
    double reach = 0.0;
    for (std::uint32_t i = 0; i < 2; ++i) {
        const Node& child = nodes_[node.children + i];
        const Qmt::QmtVector3 offset = child.centre - node.centre;
        const double base = offset.Dot(axis);
        const double k = child.axis.Dot(axis);
        const double s = child.axis.Cross(axis).Length();
        const double alongLo = child.hLo * k;
        const double alongHi = child.hHi * k;
        const double spread = child.radial * s;
        const double boxReach = child.half.Dot(absAxis);
        hLo = std::min(hLo, std::max(base + std::min(alongLo, alongHi) - spread, base - boxReach));
        hHi = std::max(hHi, std::min(base + std::max(alongLo, alongHi) + spread, base + boxReach));
        const double ends = std::max(fromAxis(offset + child.axis * child.hLo, axis),
                                     fromAxis(offset + child.axis * child.hHi, axis)) + child.radial;
        double corners = 0.0;
        for (std::uint32_t c = 0; c < 8; ++c) {
            const Qmt::QmtVector3 corner(c & 1 ? child.half.x : -child.half.x, c & 2 ? child.half.y : -child.half.y,
                                         c & 4 ? child.half.z : -child.half.z);
            corners = std::max(corners, fromAxis(offset + corner, axis));
        }
        radial = std::max(radial, std::min(ends, corners));
        // The half-angles add: cos(alpha + theta) unless the sum reaches a half turn.
        const Cone& c = childCones[i];
        const double sine = std::sqrt((1.0 - c.cosine) * (1.0 + c.cosine));
        const double turned = c.cosine <= -k ? -1.0 : k * c.cosine - s * sine - 4e-15;
        cosine = std::min(cosine, std::max(turned, -1.0));
        reach = std::max(reach, c.reach);
    }
    const double limit = std::numeric_limits<double>::max();
    if (!(std::fabs(hLo) <= limit && std::fabs(hHi) <= limit && radial <= limit && cosine >= -1.0)) {
        return false;
    }
    node.hLo = hLo;
    node.hHi = hHi;
    node.radial = radial;
    cone = {cosine, reach};
    return true;
}

void HullPointTree::setBox(Node& node, const Qmt::QmtVector3& lo, const Qmt::QmtVector3& hi) const {
    // Halved before adding: no overflow for coordinates near the largest double.
    node.centre = lo * 0.5 + hi * 0.5;
    node.half = hi * 0.5 - lo * 0.5;
    node.axis = node.centre - centre_;
    if (node.axis.Unitize(1e-300) == 0.0) {
        node.axis = Qmt::QmtVector3::UNIT_Z;
    }
}

// The half-angle's cosine is the least of the entries' direction.axis, less an
// allowance far above its rounding (a few ulps of 1): that widens the angle by at
// least the rounding's effect on it, also for the smallest angles. The reach is the
// largest distance from centre_. Each is off by a few ulps of the reach at most,
// far inside margin_.
HullPointTree::Cone HullPointTree::fitCone(const Node& node) const {
    const double scale = coneScale_;
    if (!(scale >= 1e-300 && scale <= std::numeric_limits<double>::max())) {
        return {-1.0, std::numeric_limits<double>::infinity()};  // no cones at all
    }
    const Qmt::QmtVector3 axis = node.axis;
    double least = 1.0;
    double reach = 0.0;
    for (std::uint32_t k = node.begin; k < node.end; ++k) {
        const Qmt::QmtVector3 d = (entries_[k].p - centre_) * (1.0 / scale);
        const double length = d.Length();
        // A point at the apex (to within far less than margin_) is in every cone: it is
        // passed over, as is a NaN point (never reported).
        if (length >= 1e-300) {
            least = std::min(least, (d * (1.0 / length)).Dot(axis));
        }
        reach = std::max(reach, length * scale);
    }
    return {std::max(least - 4e-15, -1.0), reach};
}

#if defined(__SSE2__)

namespace {

double lowest(__m128d v) { return _mm_cvtsd_f64(_mm_min_sd(_mm_unpackhi_pd(v, v), v)); }
double highest(__m128d v) { return _mm_cvtsd_f64(_mm_max_sd(_mm_unpackhi_pd(v, v), v)); }

}  // namespace

// Two points at a time, one in each lane. Every lane operation is the scalar one
// (same operands, same order, min and max keeping the old value against NaN), so the
// bounds are those of a plain loop.
void HullPointTree::fitSlab(Node& node) const {
    const Lanes3 centreLanes = broadcast(node.centre);
    const Lanes3 axisLanes = broadcast(node.axis);
    __m128d hLo = _mm_setzero_pd();
    __m128d hHi = _mm_setzero_pd();
    __m128d radialSquared = _mm_setzero_pd();
    const Entry* const entries = entries_.data();
    const auto pair = [&](const Qmt::QmtVector3& a, const Qmt::QmtVector3& b) __attribute__((always_inline)) {
        const __m128d pa = _mm_loadu_pd(&a.x);
        const __m128d pb = _mm_loadu_pd(&b.x);
        const __m128d dx = _mm_sub_pd(_mm_unpacklo_pd(pa, pb), centreLanes.x);
        const __m128d dy = _mm_sub_pd(_mm_unpackhi_pd(pa, pb), centreLanes.y);
        const __m128d dz = _mm_sub_pd(_mm_loadh_pd(_mm_load_sd(&a.z), &b.z), centreLanes.z);
        const __m128d along = dot(axisLanes, dx, dy, dz);
        hLo = _mm_min_pd(along, hLo);
        hHi = _mm_max_pd(along, hHi);
        const __m128d ex = _mm_sub_pd(dx, _mm_mul_pd(axisLanes.x, along));
        const __m128d ey = _mm_sub_pd(dy, _mm_mul_pd(axisLanes.y, along));
        const __m128d ez = _mm_sub_pd(dz, _mm_mul_pd(axisLanes.z, along));
        const __m128d across =
            _mm_add_pd(_mm_add_pd(_mm_mul_pd(ex, ex), _mm_mul_pd(ey, ey)), _mm_mul_pd(ez, ez));
        radialSquared = _mm_max_pd(across, radialSquared);
    };
    // An odd range's last point fills both lanes.
    std::uint32_t k = node.begin;
    for (; k + 2 <= node.end; k += 2) {
        pair(entries[k].p, entries[k + 1].p);
    }
    if (k < node.end) {
        pair(entries[k].p, entries[k].p);
    }
    node.hLo = lowest(hLo);
    node.hHi = highest(hHi);
    // The root of the largest square is the largest root: one square root a node.
    node.radial = std::sqrt(highest(radialSquared));
}

#else

void HullPointTree::fitSlab(Node& node) const {
    const Qmt::QmtVector3 g = node.centre;
    const Qmt::QmtVector3 axis = node.axis;
    double hLo = 0.0;
    double hHi = 0.0;
    double radialSquared = 0.0;
    for (std::uint32_t k = node.begin; k < node.end; ++k) {
        const Qmt::QmtVector3 d = entries_[k].p - g;
        const double along = d.Dot(axis);
        hLo = std::min(hLo, along);
        hHi = std::max(hHi, along);
        radialSquared = std::max(radialSquared, (d - axis * along).SquaredLength());
    }
    node.hLo = hLo;
    node.hHi = hHi;
    node.radial = std::sqrt(radialSquared);
}

#endif

std::uint64_t HullPointTree::prepareWalk(const Qmt::QmtVector3* normals, const double* thresholds,
                                         std::uint32_t count) {
    const std::uint32_t padded = (count + 3) & ~std::uint32_t{3};
    for (std::uint32_t k = 0; k < padded; ++k) {
        // The padding lanes repeat the last direction: they compute nothing new.
        const std::uint32_t j = k < count ? k : count - 1;
        const Qmt::QmtVector3& n = normals[j];
        lanes_.x[k] = n.x;
        lanes_.y[k] = n.y;
        lanes_.z[k] = n.z;
        lanes_.absX[k] = std::fabs(n.x);
        lanes_.absY[k] = std::fabs(n.y);
        lanes_.absZ[k] = std::fabs(n.z);
        const double lowered = thresholds[j] - margin_;
        const double cone = lowered - centre_.Dot(n);
        lanes_.lowered[k] = lowered;
        lanes_.cone[k] = cone;
        lanes_.coneSquared[k] = cone * cone;
        const bool odd = cone >= 0.0 && !(cone > 1e-100 && cone < 1e100);
        lanes_.coneOdd[k] = std::bit_cast<double>(odd ? ~std::uint64_t{0} : std::uint64_t{0});
    }
    return count >= 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << count) - 1;
}

bool HullPointTree::anyAbove(const Qmt::QmtVector3* normals, const double* thresholds, std::uint32_t count,
                             const Qmt::QmtVector3* corners, const double* limits) {
    if (count == 0 || live_.empty()) {
        return false;
    }
    if (nodes_.empty()) {
        considerTree(count);
    }
    const auto above = [normals, corners, limits](std::uint32_t k, const Qmt::QmtVector3& p) {
        return (p - corners[k]).Dot(normals[k]) > limits[k];
    };
    if (nodes_.empty()) {
        for (const std::uint32_t index : live_) {
            const Qmt::QmtVector3& p = points_[index];
            for (std::uint32_t k = 0; k < count; ++k) {
                if (p.Dot(normals[k]) > thresholds[k] && above(k, p)) {
                    return true;
                }
            }
        }
        return false;
    }
    if (!entriesApart_) {
        const std::size_t size = entries_.size();
        entryX_.resize(size + 3);
        entryY_.resize(size + 3);
        entryZ_.resize(size + 3);
        for (std::size_t i = 0; i < size; ++i) {
            entryX_[i] = entries_[i].p.x;
            entryY_[i] = entries_[i].p.y;
            entryZ_[i] = entries_[i].p.z;
        }
        for (std::size_t i = size; i < size + 3; ++i) {
            entryX_[i] = entryY_[i] = entryZ_[i] = 0.0;
        }
#if HULL_POINT_TREE_WIDE
        if (wideLanes) {
            double magnitude = 0.0;  // NaN coordinates, never reported, passed over
            for (std::size_t i = 0; i < size; ++i) {
                magnitude = std::max({magnitude, std::fabs(entryX_[i]), std::fabs(entryY_[i]), std::fabs(entryZ_[i])});
            }
            floatMagnitude_ = magnitude;
            floatSift_ = magnitude <= 1e30;
            if (floatSift_) {
                entryXf_.resize(size + 7);
                entryYf_.resize(size + 7);
                entryZf_.resize(size + 7);
                for (std::size_t i = 0; i < size; ++i) {
                    entryXf_[i] = static_cast<float>(entryX_[i]);
                    entryYf_[i] = static_cast<float>(entryY_[i]);
                    entryZf_[i] = static_cast<float>(entryZ_[i]);
                }
                for (std::size_t i = size; i < size + 7; ++i) {
                    entryXf_[i] = entryYf_[i] = entryZf_[i] = 0.0f;
                }
            }
        }
#endif
        entriesApart_ = true;
    }
    const std::uint64_t all = prepareWalk(normals, thresholds, count);
#if HULL_POINT_TREE_WIDE
    // The single-precision p.n is off from the double one by at most 5 float roundings
    // of each term, 3e-7 sum |p_i n_i| <= 3e-7 M |n|_1, plus where values are subnormal
    // in single precision a few 1.4e-45 (times |n|_1 for a coordinate): with
    // 1e-30 <= |n|_1 <= 1e4 a point above the threshold is above it lowered by
    // 4e-7 M |n|_1 + 1e-40 in single precision too. The lowered value is rounded down
    // to a float. A batch with a normal outside that range, or whose products could
    // overflow (or NaN), sifts in double precision.
    floatBatch_ = floatSift_;
    if (floatSift_) {
        for (std::uint32_t k = 0; k < count; ++k) {
            const double l1 = lanes_.absX[k] + lanes_.absY[k] + lanes_.absZ[k];
            if (!(l1 >= 1e-30 && l1 <= 1e4 && floatMagnitude_ * l1 <= 1e36)) {
                floatBatch_ = false;
                break;
            }
            floatLanes_.x[k] = static_cast<float>(lanes_.x[k]);
            floatLanes_.y[k] = static_cast<float>(lanes_.y[k]);
            floatLanes_.z[k] = static_cast<float>(lanes_.z[k]);
            const double lowered = thresholds[k] - (4e-7 * floatMagnitude_ * l1 + 1e-40);
            float t;
            if (lowered < -3e38) {
                t = -std::numeric_limits<float>::infinity();
            } else if (lowered > 3e38) {
                t = 3e38f;  // no sum of products within 1e36 comes near
            } else {
                t = static_cast<float>(lowered);
                if (static_cast<double>(t) > lowered) {  // the next float down, finite here
                    const auto bits = std::bit_cast<std::uint32_t>(t);
                    t = t > 0.0f   ? std::bit_cast<float>(bits - 1)
                        : t < 0.0f ? std::bit_cast<float>(bits + 1)
                                   : -std::numeric_limits<float>::denorm_min();
                }
            }
            floatLanes_.threshold[k] = t;
        }
    }
#endif
    return walk(all, [&](const Node& leaf, std::uint64_t kept) {
        // The paired test reads every entry: a leaf with dead points goes one by one.
        return leaf.live != leaf.end - leaf.begin ? leafAboveOneByOne(leaf, kept, corners, limits)
                                                  : leafAbove(leaf, kept, thresholds, corners, limits);
    }, false);
}

#if defined(__SSE2__)

namespace {

__m128d within(__m128d v, __m128d lo, __m128d hi) { return _mm_and_pd(_mm_cmpgt_pd(v, lo), _mm_cmplt_pd(v, hi)); }
__m128d select(__m128d m, __m128d a, __m128d b) { return _mm_or_pd(_mm_and_pd(m, a), _mm_andnot_pd(m, b)); }

}  // namespace

// mayExceed for two directions at a time, without branches: every lane computes what
// the scalar test computes, in the same order. A lane whose squares could leave the
// range where they are compared (rare) is settled by the scalar test; so is a node
// whose own bounds are outside it.
std::uint64_t HullPointTree::keptOf(const Node& node, std::uint64_t mask) const {
#if HULL_POINT_TREE_WIDE
    if (wideLanes) {
        return keptOfWide(node, mask);
    }
#endif
    const double reachSquared = node.coneRCos * node.coneRCos + node.coneRSin * node.coneRSin;
    if (!(node.radial > 1e-100 && node.radial < 1e100 && reachSquared > 1e-200 && reachSquared < 1e200 &&
          node.coneRSin > 1e-100 && node.coneRSin < 1e100)) {
        return keptOneByOne(node, mask);
    }
    const Lanes3 centreLanes = broadcast(node.centre);
    const Lanes3 halfLanes = broadcast(node.half);
    const Lanes3 axisLanes = broadcast(node.axis);
    const __m128d hLo = _mm_set1_pd(node.hLo);
    const __m128d hHi = _mm_set1_pd(node.hHi);
    const __m128d radialSquared = _mm_set1_pd(node.radial * node.radial);
    const __m128d reach = _mm_set1_pd(reachSquared);
    const __m128d rCos = _mm_set1_pd(node.coneRCos);
    const __m128d rCosSquared = _mm_set1_pd(node.coneRCos * node.coneRCos);
    const __m128d rSinSquared = _mm_set1_pd(node.coneRSin * node.coneRSin);
    const __m128d forward = _mm_castsi128_pd(_mm_set1_epi64x(node.coneRCos >= 0.0 ? -1 : 0));
    const __m128d zero = _mm_setzero_pd();
    const __m128d tiny = _mm_set1_pd(1e-100);
    const __m128d huge = _mm_set1_pd(1e100);
    std::uint64_t kept = 0;
    std::uint64_t odd = 0;
    for (std::uint64_t pairs = (mask | mask >> 1) & 0x5555555555555555u; pairs != 0; pairs &= pairs - 1) {
        const int k = std::countr_zero(pairs);
        const __m128d nx = _mm_load_pd(lanes_.x + k);
        const __m128d ny = _mm_load_pd(lanes_.y + k);
        const __m128d nz = _mm_load_pd(lanes_.z + k);
        const __m128d centre = dot(centreLanes, nx, ny, nz);
        const __m128d need = _mm_sub_pd(_mm_load_pd(lanes_.lowered + k), centre);
        const __m128d box =
            dot(halfLanes, _mm_load_pd(lanes_.absX + k), _mm_load_pd(lanes_.absY + k), _mm_load_pd(lanes_.absZ + k));
        const __m128d inBox = _mm_cmpgt_pd(box, need);
        if (_mm_movemask_pd(inBox) == 0) {
            continue;  // both out of the box: nothing more to learn
        }
        const __m128d along = dot(axisLanes, nx, ny, nz);
        const __m128d ahead = _mm_cmpge_pd(along, zero);
        const __m128d rest = _mm_sub_pd(need, _mm_mul_pd(select(ahead, hHi, hLo), along));
        const __m128d restOpen = _mm_cmpnge_pd(rest, zero);
        const __m128d ex = _mm_sub_pd(nx, _mm_mul_pd(axisLanes.x, along));
        const __m128d ey = _mm_sub_pd(ny, _mm_mul_pd(axisLanes.y, along));
        const __m128d ez = _mm_sub_pd(nz, _mm_mul_pd(axisLanes.z, along));
        const __m128d across = _mm_add_pd(_mm_add_pd(_mm_mul_pd(ex, ex), _mm_mul_pd(ey, ey)), _mm_mul_pd(ez, ez));
        const __m128d inSlab = _mm_cmpgt_pd(_mm_mul_pd(radialSquared, across), _mm_mul_pd(rest, rest));
        const __m128d restOdd = _mm_andnot_pd(_mm_or_pd(restOpen, within(rest, tiny, huge)), inBox);
        const __m128d cone = _mm_load_pd(lanes_.cone + k);
        const __m128d coneOpen = _mm_cmpnge_pd(cone, zero);
        const __m128d alongSquared = _mm_mul_pd(along, along);
        const __m128d norm = _mm_add_pd(alongSquared, across);
        const __m128d a2 = _mm_mul_pd(alongSquared, reach);
        const __m128d c2 = _mm_mul_pd(rCosSquared, norm);
        const __m128d inside = select(forward, _mm_and_pd(ahead, _mm_cmpge_pd(a2, c2)),
                                      _mm_or_pd(ahead, _mm_cmple_pd(a2, c2)));
        const __m128d insideExceeds = _mm_cmpgt_pd(_mm_mul_pd(reach, norm), _mm_load_pd(lanes_.coneSquared + k));
        const __m128d sideNeed = _mm_sub_pd(cone, _mm_mul_pd(along, rCos));
        const __m128d sideOpen = _mm_cmpnge_pd(sideNeed, zero);
        const __m128d sideExceeds =
            _mm_or_pd(sideOpen, _mm_cmpgt_pd(_mm_mul_pd(rSinSquared, across), _mm_mul_pd(sideNeed, sideNeed)));
        const __m128d sideOdd = _mm_andnot_pd(_mm_or_pd(sideOpen, within(sideNeed, tiny, huge)),
                                              _mm_castsi128_pd(_mm_set1_epi64x(-1)));
        const __m128d inCone = select(inside, insideExceeds, sideExceeds);
        const __m128d coneOdd = select(inside, _mm_load_pd(lanes_.coneOdd + k), sideOdd);
        // kept: in the box, and an open slab or in the slab and an open or passing cone.
        const __m128d pass =
            _mm_and_pd(inBox, _mm_or_pd(restOpen, _mm_and_pd(inSlab, _mm_or_pd(coneOpen, inCone))));
        const __m128d unsure = _mm_or_pd(
            restOdd, _mm_and_pd(_mm_andnot_pd(restOpen, inBox), _mm_andnot_pd(coneOpen, _mm_and_pd(inSlab, coneOdd))));
        kept |= static_cast<std::uint64_t>(_mm_movemask_pd(pass)) << k;
        odd |= static_cast<std::uint64_t>(_mm_movemask_pd(unsure)) << k;
    }
    kept &= mask;
    for (std::uint64_t m = odd & mask; m != 0; m &= m - 1) {
        const int k = std::countr_zero(m);
        const std::uint64_t bit = std::uint64_t{1} << k;
        kept = mayExceedLane(node, static_cast<std::uint32_t>(k)) ? kept | bit : kept & ~bit;
    }
    return kept;
}

// Two points a lane. p.n > threshold, which every point the test passes exceeds, sifts
// the leaf for a plane at less cost; only a plane with such a point runs the test
// itself, every lane computing (p - corner).Dot(normal) as the scalar test.
bool HullPointTree::leafAbove(const Node& leaf, std::uint64_t kept, const double* thresholds,
                              const Qmt::QmtVector3* corners, const double* limits) const {
#if HULL_POINT_TREE_WIDE
    if (wideLanes) {
        return leafAboveWide(leaf, kept, thresholds, corners, limits);
    }
#endif
    const double* px = entryX_.data();
    const double* py = entryY_.data();
    const double* pz = entryZ_.data();
    // An odd leaf's last pair takes the next entry too (or the padding); its lane is not read.
    const int lastLane = (leaf.end - leaf.begin) % 2 == 1 ? 1 : 3;
    for (std::uint64_t m = kept; m != 0; m &= m - 1) {
        const int k = std::countr_zero(m);
        const __m128d nx = _mm_set1_pd(lanes_.x[k]);
        const __m128d ny = _mm_set1_pd(lanes_.y[k]);
        const __m128d nz = _mm_set1_pd(lanes_.z[k]);
        const __m128d threshold = _mm_set1_pd(thresholds[k]);
        const auto may = [&](std::uint32_t i) {
            const __m128d d = _mm_add_pd(_mm_add_pd(_mm_mul_pd(_mm_loadu_pd(px + i), nx),
                                                    _mm_mul_pd(_mm_loadu_pd(py + i), ny)),
                                         _mm_mul_pd(_mm_loadu_pd(pz + i), nz));
            return _mm_cmpgt_pd(d, threshold);
        };
        __m128d near = _mm_setzero_pd();
        std::uint32_t i = leaf.begin;
        for (; i + 4 < leaf.end; i += 4) {
            near = _mm_or_pd(near, _mm_or_pd(may(i), may(i + 2)));
        }
        if (i + 2 < leaf.end) {
            near = _mm_or_pd(near, may(i));
            i += 2;
        }
        if ((_mm_movemask_pd(near) | (_mm_movemask_pd(may(i)) & lastLane)) == 0) {
            continue;
        }
        const Lanes3 cornerLanes = broadcast(corners[k]);
        const __m128d limit = _mm_set1_pd(limits[k]);
        // Entries i and i + 1 against the plane.
        const auto exceeds = [&](std::uint32_t i) {
            const __m128d d = _mm_add_pd(_mm_add_pd(_mm_mul_pd(_mm_sub_pd(_mm_loadu_pd(px + i), cornerLanes.x), nx),
                                                    _mm_mul_pd(_mm_sub_pd(_mm_loadu_pd(py + i), cornerLanes.y), ny)),
                                         _mm_mul_pd(_mm_sub_pd(_mm_loadu_pd(pz + i), cornerLanes.z), nz));
            return _mm_cmpgt_pd(d, limit);
        };
        __m128d hit = _mm_setzero_pd();
        for (i = leaf.begin; i + 2 < leaf.end; i += 2) {
            hit = _mm_or_pd(hit, exceeds(i));
        }
        if ((_mm_movemask_pd(hit) | (_mm_movemask_pd(exceeds(i)) & lastLane)) != 0) {
            return true;
        }
    }
    return false;
}

#else

bool HullPointTree::leafAbove(const Node& leaf, std::uint64_t kept, const double*, const Qmt::QmtVector3* corners,
                              const double* limits) const {
    return leafAboveOneByOne(leaf, kept, corners, limits);
}

std::uint64_t HullPointTree::keptOf(const Node& node, std::uint64_t mask) const {
    return keptOneByOne(node, mask);
}

#endif

#if HULL_POINT_TREE_WIDE

namespace {

#define HULL_WIDE __attribute__((target("avx")))

HULL_WIDE inline __m256d wideDot(__m256d vx, __m256d vy, __m256d vz, __m256d x, __m256d y, __m256d z) {
    return _mm256_add_pd(_mm256_add_pd(_mm256_mul_pd(vx, x), _mm256_mul_pd(vy, y)), _mm256_mul_pd(vz, z));
}
HULL_WIDE inline __m256d wideGreater(__m256d a, __m256d b) { return _mm256_cmp_pd(a, b, _CMP_GT_OS); }
HULL_WIDE inline __m256d wideWithin(__m256d v, __m256d lo, __m256d hi) {
    return _mm256_and_pd(_mm256_cmp_pd(v, lo, _CMP_GT_OS), _mm256_cmp_pd(v, hi, _CMP_LT_OS));
}
HULL_WIDE inline __m256d wideSelect(__m256d m, __m256d a, __m256d b) {
    return _mm256_or_pd(_mm256_and_pd(m, a), _mm256_andnot_pd(m, b));
}
// Whether each of points i..i + 3 has p.n > threshold.
HULL_WIDE inline __m256d wideMay(const double* px, const double* py, const double* pz, std::uint32_t i, __m256d nx,
                                 __m256d ny, __m256d nz, __m256d threshold) {
    const __m256d d = _mm256_add_pd(
        _mm256_add_pd(_mm256_mul_pd(_mm256_loadu_pd(px + i), nx), _mm256_mul_pd(_mm256_loadu_pd(py + i), ny)),
        _mm256_mul_pd(_mm256_loadu_pd(pz + i), nz));
    return wideGreater(d, threshold);
}
// The same in single precision for points i..i + 7.
HULL_WIDE inline __m256 wideMayFloat(const float* px, const float* py, const float* pz, std::uint32_t i, __m256 nx,
                                     __m256 ny, __m256 nz, __m256 threshold) {
    const __m256 d = _mm256_add_ps(
        _mm256_add_ps(_mm256_mul_ps(_mm256_loadu_ps(px + i), nx), _mm256_mul_ps(_mm256_loadu_ps(py + i), ny)),
        _mm256_mul_ps(_mm256_loadu_ps(pz + i), nz));
    return _mm256_cmp_ps(d, threshold, _CMP_GT_OS);
}
// Whether each of points i..i + 3 has (p - corner).n > limit.
HULL_WIDE inline __m256d wideExceeds(const double* px, const double* py, const double* pz, std::uint32_t i,
                                     __m256d nx, __m256d ny, __m256d nz, __m256d qx, __m256d qy, __m256d qz,
                                     __m256d limit) {
    const __m256d d =
        _mm256_add_pd(_mm256_add_pd(_mm256_mul_pd(_mm256_sub_pd(_mm256_loadu_pd(px + i), qx), nx),
                                    _mm256_mul_pd(_mm256_sub_pd(_mm256_loadu_pd(py + i), qy), ny)),
                      _mm256_mul_pd(_mm256_sub_pd(_mm256_loadu_pd(pz + i), qz), nz));
    return wideGreater(d, limit);
}

}  // namespace

HULL_WIDE std::uint64_t HullPointTree::keptOfWide(const Node& node, std::uint64_t mask) const {
    const double reachSquared = node.coneRCos * node.coneRCos + node.coneRSin * node.coneRSin;
    if (!(node.radial > 1e-100 && node.radial < 1e100 && reachSquared > 1e-200 && reachSquared < 1e200 &&
          node.coneRSin > 1e-100 && node.coneRSin < 1e100)) {
        return keptOneByOne(node, mask);
    }
    const __m256d centreX = _mm256_set1_pd(node.centre.x);
    const __m256d centreY = _mm256_set1_pd(node.centre.y);
    const __m256d centreZ = _mm256_set1_pd(node.centre.z);
    const __m256d halfX = _mm256_set1_pd(node.half.x);
    const __m256d halfY = _mm256_set1_pd(node.half.y);
    const __m256d halfZ = _mm256_set1_pd(node.half.z);
    const __m256d axisX = _mm256_set1_pd(node.axis.x);
    const __m256d axisY = _mm256_set1_pd(node.axis.y);
    const __m256d axisZ = _mm256_set1_pd(node.axis.z);
    const __m256d hLo = _mm256_set1_pd(node.hLo);
    const __m256d hHi = _mm256_set1_pd(node.hHi);
    const __m256d radialSquared = _mm256_set1_pd(node.radial * node.radial);
    const __m256d reach = _mm256_set1_pd(reachSquared);
    const __m256d rCos = _mm256_set1_pd(node.coneRCos);
    const __m256d rCosSquared = _mm256_set1_pd(node.coneRCos * node.coneRCos);
    const __m256d rSinSquared = _mm256_set1_pd(node.coneRSin * node.coneRSin);
    const __m256d forward = _mm256_castsi256_pd(_mm256_set1_epi64x(node.coneRCos >= 0.0 ? -1 : 0));
    const __m256d zero = _mm256_setzero_pd();
    const __m256d tiny = _mm256_set1_pd(1e-100);
    const __m256d huge = _mm256_set1_pd(1e100);
    const __m256d all = _mm256_castsi256_pd(_mm256_set1_epi64x(-1));
    std::uint64_t kept = 0;
    std::uint64_t odd = 0;
    for (std::uint64_t quads = (mask | mask >> 1 | mask >> 2 | mask >> 3) & 0x1111111111111111u; quads != 0;
         quads &= quads - 1) {
        const int k = std::countr_zero(quads);
        const __m256d nx = _mm256_loadu_pd(lanes_.x + k);
        const __m256d ny = _mm256_loadu_pd(lanes_.y + k);
        const __m256d nz = _mm256_loadu_pd(lanes_.z + k);
        const __m256d centre = wideDot(centreX, centreY, centreZ, nx, ny, nz);
        const __m256d need = _mm256_sub_pd(_mm256_loadu_pd(lanes_.lowered + k), centre);
        const __m256d box = wideDot(halfX, halfY, halfZ, _mm256_loadu_pd(lanes_.absX + k),
                                    _mm256_loadu_pd(lanes_.absY + k), _mm256_loadu_pd(lanes_.absZ + k));
        const __m256d inBox = wideGreater(box, need);
        if (_mm256_movemask_pd(inBox) == 0) {
            continue;
        }
        const __m256d along = wideDot(axisX, axisY, axisZ, nx, ny, nz);
        const __m256d ahead = _mm256_cmp_pd(along, zero, _CMP_GE_OS);
        const __m256d rest = _mm256_sub_pd(need, _mm256_mul_pd(wideSelect(ahead, hHi, hLo), along));
        const __m256d restOpen = _mm256_cmp_pd(rest, zero, _CMP_NGE_US);
        const __m256d ex = _mm256_sub_pd(nx, _mm256_mul_pd(axisX, along));
        const __m256d ey = _mm256_sub_pd(ny, _mm256_mul_pd(axisY, along));
        const __m256d ez = _mm256_sub_pd(nz, _mm256_mul_pd(axisZ, along));
        const __m256d across =
            _mm256_add_pd(_mm256_add_pd(_mm256_mul_pd(ex, ex), _mm256_mul_pd(ey, ey)), _mm256_mul_pd(ez, ez));
        const __m256d inSlab = wideGreater(_mm256_mul_pd(radialSquared, across), _mm256_mul_pd(rest, rest));
        const __m256d restOdd = _mm256_andnot_pd(_mm256_or_pd(restOpen, wideWithin(rest, tiny, huge)), inBox);
        const __m256d cone = _mm256_loadu_pd(lanes_.cone + k);
        const __m256d coneOpen = _mm256_cmp_pd(cone, zero, _CMP_NGE_US);
        const __m256d alongSquared = _mm256_mul_pd(along, along);
        const __m256d norm = _mm256_add_pd(alongSquared, across);
        const __m256d a2 = _mm256_mul_pd(alongSquared, reach);
        const __m256d c2 = _mm256_mul_pd(rCosSquared, norm);
        const __m256d inside = wideSelect(forward, _mm256_and_pd(ahead, _mm256_cmp_pd(a2, c2, _CMP_GE_OS)),
                                          _mm256_or_pd(ahead, _mm256_cmp_pd(a2, c2, _CMP_LE_OS)));
        const __m256d insideExceeds = wideGreater(_mm256_mul_pd(reach, norm), _mm256_loadu_pd(lanes_.coneSquared + k));
        const __m256d sideNeed = _mm256_sub_pd(cone, _mm256_mul_pd(along, rCos));
        const __m256d sideOpen = _mm256_cmp_pd(sideNeed, zero, _CMP_NGE_US);
        const __m256d sideExceeds =
            _mm256_or_pd(sideOpen, wideGreater(_mm256_mul_pd(rSinSquared, across), _mm256_mul_pd(sideNeed, sideNeed)));
        const __m256d sideOdd = _mm256_andnot_pd(_mm256_or_pd(sideOpen, wideWithin(sideNeed, tiny, huge)), all);
        const __m256d inCone = wideSelect(inside, insideExceeds, sideExceeds);
        const __m256d coneOdd = wideSelect(inside, _mm256_loadu_pd(lanes_.coneOdd + k), sideOdd);
        const __m256d pass =
            _mm256_and_pd(inBox, _mm256_or_pd(restOpen, _mm256_and_pd(inSlab, _mm256_or_pd(coneOpen, inCone))));
        const __m256d unsure =
            _mm256_or_pd(restOdd, _mm256_and_pd(_mm256_andnot_pd(restOpen, inBox),
                                                _mm256_andnot_pd(coneOpen, _mm256_and_pd(inSlab, coneOdd))));
        kept |= static_cast<std::uint64_t>(_mm256_movemask_pd(pass)) << k;
        odd |= static_cast<std::uint64_t>(_mm256_movemask_pd(unsure)) << k;
    }
    kept &= mask;
    for (std::uint64_t m = odd & mask; m != 0; m &= m - 1) {
        const int k = std::countr_zero(m);
        const std::uint64_t bit = std::uint64_t{1} << k;
        kept = mayExceedLane(node, static_cast<std::uint32_t>(k)) ? kept | bit : kept & ~bit;
    }
    return kept;
}

HULL_WIDE bool HullPointTree::leafAboveWide(const Node& leaf, std::uint64_t kept, const double* thresholds,
                                            const Qmt::QmtVector3* corners, const double* limits) const {
    const double* px = entryX_.data();
    const double* py = entryY_.data();
    const double* pz = entryZ_.data();
    // The last four take up to three entries past the leaf (or the padding), whose lanes
    // are not read.
    const std::uint32_t whole = leaf.begin + ((leaf.end - leaf.begin) & ~std::uint32_t{3});
    const int lastLanes = (1 << ((leaf.end - leaf.begin) & 3)) - 1;
    // The sift in single precision: eight points a lane.
    const float* fx = entryXf_.data();
    const float* fy = entryYf_.data();
    const float* fz = entryZf_.data();
    const std::uint32_t wholeEights = leaf.begin + ((leaf.end - leaf.begin) & ~std::uint32_t{7});
    const int lastEight = (1 << ((leaf.end - leaf.begin) & 7)) - 1;
    for (std::uint64_t m = kept; m != 0; m &= m - 1) {
        const int k = std::countr_zero(m);
        const __m256d nx = _mm256_set1_pd(lanes_.x[k]);
        const __m256d ny = _mm256_set1_pd(lanes_.y[k]);
        const __m256d nz = _mm256_set1_pd(lanes_.z[k]);
        if (floatBatch_) {
            const __m256 gx = _mm256_set1_ps(floatLanes_.x[k]);
            const __m256 gy = _mm256_set1_ps(floatLanes_.y[k]);
            const __m256 gz = _mm256_set1_ps(floatLanes_.z[k]);
            const __m256 threshold = _mm256_set1_ps(floatLanes_.threshold[k]);
            __m256 near = _mm256_setzero_ps();
            for (std::uint32_t i = leaf.begin; i < wholeEights; i += 8) {
                near = _mm256_or_ps(near, wideMayFloat(fx, fy, fz, i, gx, gy, gz, threshold));
            }
            if ((_mm256_movemask_ps(near) |
                 (lastEight != 0
                      ? _mm256_movemask_ps(wideMayFloat(fx, fy, fz, wholeEights, gx, gy, gz, threshold)) & lastEight
                      : 0)) == 0) {
                continue;
            }
        } else {
            const __m256d threshold = _mm256_set1_pd(thresholds[k]);
            __m256d near = _mm256_setzero_pd();
            for (std::uint32_t i = leaf.begin; i < whole; i += 4) {
                near = _mm256_or_pd(near, wideMay(px, py, pz, i, nx, ny, nz, threshold));
            }
            if ((_mm256_movemask_pd(near) |
                 (lastLanes != 0 ? _mm256_movemask_pd(wideMay(px, py, pz, whole, nx, ny, nz, threshold)) & lastLanes
                                 : 0)) == 0) {
                continue;
            }
        }
        const __m256d qx = _mm256_set1_pd(corners[k].x);
        const __m256d qy = _mm256_set1_pd(corners[k].y);
        const __m256d qz = _mm256_set1_pd(corners[k].z);
        const __m256d limit = _mm256_set1_pd(limits[k]);
        __m256d hit = _mm256_setzero_pd();
        for (std::uint32_t i = leaf.begin; i < whole; i += 4) {
            hit = _mm256_or_pd(hit, wideExceeds(px, py, pz, i, nx, ny, nz, qx, qy, qz, limit));
        }
        if ((_mm256_movemask_pd(hit) |
             (lastLanes != 0
                  ? _mm256_movemask_pd(wideExceeds(px, py, pz, whole, nx, ny, nz, qx, qy, qz, limit)) & lastLanes
                  : 0)) != 0) {
            return true;
        }
    }
    return false;
}

#undef HULL_WIDE

#endif

bool HullPointTree::leafAboveOneByOne(const Node& leaf, std::uint64_t kept, const Qmt::QmtVector3* corners,
                                      const double* limits) const {
    for (std::uint32_t i = leaf.begin; i < leaf.end; ++i) {
        if (!entryLive_[i]) {
            continue;
        }
        for (std::uint64_t m = kept; m != 0; m &= m - 1) {
            const int k = std::countr_zero(m);
            const Qmt::QmtVector3 n(lanes_.x[k], lanes_.y[k], lanes_.z[k]);
            if ((entries_[i].p - corners[k]).Dot(n) > limits[k]) {
                return true;
            }
        }
    }
    return false;
}

std::uint64_t HullPointTree::keptOneByOne(const Node& node, std::uint64_t mask) const {
    std::uint64_t kept = 0;
    for (std::uint64_t m = mask; m != 0; m &= m - 1) {
        const int k = std::countr_zero(m);
        if (mayExceedLane(node, static_cast<std::uint32_t>(k))) {
            kept |= std::uint64_t{1} << k;
        }
    }
    return kept;
}
