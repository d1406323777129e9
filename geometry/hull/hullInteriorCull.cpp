#include "geometry/hull/hullInteriorCull.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

using Qmt::QmtVector3;

namespace {

// A tetrahedron of cloud points, by the unit outward normals of its faces: a point
// whose distance below each face plane is at least `depth` lies that deep inside it.
class Tetrahedron {
public:
    // False when it is too flat to hold a point that deep, or its sides lie so nearly
    // in line that rounding would tilt a plane by more than a sliver of the depth.
    bool set(const QmtVector3 (&v)[4], double depth) {
        for (int k = 0; k < 4; ++k) {
            const QmtVector3& a = v[(k + 1) % 4];
            const QmtVector3 ab = v[(k + 2) % 4] - a;
            const QmtVector3 ac = v[(k + 3) % 4] - a;
            QmtVector3 normal = ab.Cross(ac);
            const double length = normal.Length();
            if (!(length > 1e-6 * ab.Length() * ac.Length())) {
                return false;
            }
            normal = normal * (1.0 / length);
            double height = (v[k] - a).Dot(normal);
            if (height > 0.0) {
                normal = -normal;
                height = -height;
            }
            if (!(-height > 2.0 * depth)) {
                return false;
            }
            at_[k] = a;
            normal_[k] = normal;
        }
        depth_ = depth;
        return true;
    }

    bool holdsDeep(const QmtVector3& p) const {
        return (p - at_[0]).Dot(normal_[0]) <= -depth_ && (p - at_[1]).Dot(normal_[1]) <= -depth_ &&
               (p - at_[2]).Dot(normal_[2]) <= -depth_ && (p - at_[3]).Dot(normal_[3]) <= -depth_;
    }

private:
    QmtVector3 at_[4];
    QmtVector3 normal_[4];
    double depth_ = 0.0;
};

// The extreme point along each diagonal of the box spread by `s` (the inverse
// extents), the first of equals; corner index bit 0 holds the sign of x in the
// direction, bit 1 that of y, bit 2 that of z (set: positive). Along the box's
// diagonals rather than the cube's, a long or flat cloud gets its own corners.
void diagonalExtremes(const QmtVector3* points, std::uint32_t n, const QmtVector3& s, std::uint32_t (&corner)[8]) {
    double most[8];
    std::fill(most, most + 8, -std::numeric_limits<double>::infinity());
    std::fill(corner, corner + 8, 0u);
    const auto take = [&](int c, double value, std::uint32_t i) {
        if (value > most[c]) {
            most[c] = value;
            corner[c] = i;
        }
    };
    for (std::uint32_t i = 0; i < n; ++i) {
        const double x = points[i].x * s.x;
        const double y = points[i].y * s.y;
        const double z = points[i].z * s.z;
        const double xyz = x + y + z;
        const double xyZ = x + y - z;
        const double xYz = x - y + z;
        const double xYZ = x - y - z;
        take(7, xyz, i);
        take(0, -xyz, i);
        take(3, xyZ, i);
        take(4, -xyZ, i);
        take(5, xYz, i);
        take(2, -xYz, i);
        take(1, xYZ, i);
        take(6, -xYZ, i);
    }
}

}  // namespace

void InteriorCull::apply(const QmtVector3* points, std::uint32_t n, std::vector<std::uint32_t>& candidates,
                         const QmtVector3& lo, const QmtVector3& hi, double depth, double rounding) {
    *this = InteriorCull();
    depth_ = depth;
    rounding_ = rounding;
    if (n < CULL_FROM) {
        return;
    }
    const auto inverse = [](double extent) { return extent > 0.0 ? 1.0 / extent : 0.0; };
    const QmtVector3 s(inverse(hi.x - lo.x), inverse(hi.y - lo.y), inverse(hi.z - lo.z));
    std::uint32_t corner[8];
    diagonalExtremes(points, n, s, corner);
    const auto tetrahedronOf = [&](int a, int b, int c, int d, Tetrahedron& t) {
        const QmtVector3 v[4] = {points[corner[a]], points[corner[b]], points[corner[c]], points[corner[d]]};
        return t.set(v, depth);
    };
    // Six tetrahedra around the diagonal from corner 0 to corner 7, one per order in
    // which the path between them turns each sign: for a cloud in a box they fill it.
    Tetrahedron around[6];
    std::uint32_t count = 0;
    constexpr int ORDERS[6][3] = {{0, 1, 2}, {0, 2, 1}, {1, 0, 2}, {1, 2, 0}, {2, 0, 1}, {2, 1, 0}};
    for (const auto& order : ORDERS) {
        const int second = 1 << order[0];
        count += tetrahedronOf(0, second, second | 1 << order[1], 7, around[count]);
    }
    if (count == 0) {
        return;
    }
    const auto inTetrahedra = [&](const QmtVector3& p) {
        return std::any_of(around, around + count, [&](const Tetrahedron& t) { return t.holdsDeep(p); });
    };
    // The corners' hull less the depth is convex: a box whose eight corners lie that
    // deep in tetrahedra of corners lies that deep in the hull. The largest such box
    // about the cloud's centre, scaled from its box, settles most points in six
    // comparisons. Its corners lie on the six tetrahedra's shared edge or near the
    // cloud's corners: each is tested also in the tetrahedron that a corner makes with
    // its three neighbours.
    Tetrahedron atCorner[8];
    bool hasCorner[8];
    for (int c = 0; c < 8; ++c) {
        hasCorner[c] = tetrahedronOf(c, c ^ 1, c ^ 2, c ^ 4, atCorner[c]);
    }
    const QmtVector3 centre = (lo + hi) * 0.5;
    const QmtVector3 half = (hi - lo) * 0.5;
    QmtVector3 boxLo;
    QmtVector3 boxHi;
    bool hasBox = false;
    double below = 0.0;
    double above = 1.0;
    for (int step = 0; step < 16; ++step) {
        const double scale = 0.5 * (below + above);
        const QmtVector3 bLo = centre - half * scale;
        const QmtVector3 bHi = centre + half * scale;
        bool deep = true;
        for (int c = 0; c < 8 && deep; ++c) {
            const QmtVector3 p(c & 1 ? bHi.x : bLo.x, c & 2 ? bHi.y : bLo.y, c & 4 ? bHi.z : bLo.z);
            deep = (hasCorner[c] && atCorner[c].holdsDeep(p)) || inTetrahedra(p);
        }
        if (deep) {
            below = scale;
            boxLo = bLo;
            boxHi = bHi;
            hasBox = true;
        } else {
            above = scale;
        }
    }
    const auto deepInside = [&](const QmtVector3& p) {
        return (hasBox && p.x >= boxLo.x && p.x <= boxHi.x && p.y >= boxLo.y && p.y <= boxHi.y &&
                p.z >= boxLo.z && p.z <= boxHi.z) ||
               inTetrahedra(p);
    };
    // A sample first: where the tetrahedra hold few points, their tests would cost
    // more than the points left out save.
    std::size_t sampled = 0;
    std::size_t deep = 0;
    for (std::size_t k = 0; k < candidates.size(); k += SAMPLE_STRIDE, ++sampled) {
        deep += deepInside(points[candidates[k]]);
    }
    if (deep * 4 < sampled) {
        return;
    }
    std::size_t kept = 0;
    for (const std::uint32_t i : candidates) {
        if (deepInside(points[i])) {
            culled_.push_back(i);
        } else {
            candidates[kept++] = i;
        }
    }
    if (culled_.empty()) {
        return;
    }
    candidates.resize(kept);
    for (const std::uint32_t c : corner) {
        if (std::find(corners_, corners_ + cornerCount_, c) == corners_ + cornerCount_) {
            corners_[cornerCount_++] = c;
        }
    }
    joined_.assign(culled_.size(), 0);
    remaining_ = static_cast<std::uint32_t>(culled_.size());
    // The grid spans the box; a flat side gets one layer of cells.
    gridLo_ = lo;
    gridScale_ = s * static_cast<double>(GRID);
}

std::uint32_t InteriorCull::cellOf(const QmtVector3& p) const {
    // Clamped before the conversion, which would be undefined beyond the range.
    const auto along = [](double v, double lo, double scale) {
        const double at = (v - lo) * scale;
        return static_cast<std::uint32_t>(at >= 0.0 ? std::min(at, GRID - 1.0) : 0.0);
    };
    return along(p.x, gridLo_.x, gridScale_.x) + GRID * (along(p.y, gridLo_.y, gridScale_.y) +
                                                           GRID * along(p.z, gridLo_.z, gridScale_.z));
}

// A counting sort by cell, each cell's points in ascending index order.
void InteriorCull::buildGrid(const QmtVector3* points) {
    std::vector<Cell> cells(GRID * GRID * GRID);
    std::vector<std::uint32_t> cellIds(culled_.size());
    for (std::size_t k = 0; k < culled_.size(); ++k) {
        cellIds[k] = cellOf(points[culled_[k]]);
        ++cells[cellIds[k]].end;
    }
    std::uint32_t at = 0;
    for (Cell& cell : cells) {
        cell.begin = at;
        at += cell.end;
        cell.end = cell.begin;
    }
    xs_.resize(culled_.size());
    ys_.resize(culled_.size());
    zs_.resize(culled_.size());
    position_.resize(culled_.size());
    for (std::size_t k = 0; k < culled_.size(); ++k) {
        Cell& cell = cells[cellIds[k]];
        const QmtVector3& p = points[culled_[k]];
        if (cell.end == cell.begin) {
            cell.lo = p;
            cell.hi = p;
        }
        cell.lo = {std::min(cell.lo.x, p.x), std::min(cell.lo.y, p.y), std::min(cell.lo.z, p.z)};
        cell.hi = {std::max(cell.hi.x, p.x), std::max(cell.hi.y, p.y), std::max(cell.hi.z, p.z)};
        xs_[cell.end] = p.x;
        ys_[cell.end] = p.y;
        zs_[cell.end] = p.z;
        position_[cell.end] = static_cast<std::uint32_t>(k);
        ++cell.end;
    }
    std::erase_if(cells, [](const Cell& cell) { return cell.begin == cell.end; });
    cells_ = std::move(cells);
}

// With h(p) = (p - corner).Dot(normal) and e the rounding allowance below, a point
// left out only matters when it ranks above best (then h(p) >= h(best) - e) and lies
// near the tolerance or above it (h(p) >= tolerance - 2e): a point that ranks above
// best but lies lower makes both it and best fail the outside test. The highest
// ranked such point, C, is the face's answer when it ranks above best; it joins when
// h(C) clears the tolerance by e, and nothing joins when h(C) falls short of it by e.
InteriorCull::Verdict InteriorCull::challenge(const QmtVector3* points, const QmtVector3& normal,
                                              const QmtVector3& corner, std::uint32_t best, double tolerance,
                                              std::uint32_t& taken) {
    const double length = normal.Length();
    // Every point left out lies at least the depth below the highest corner: most
    // faces are settled by the corners alone.
    double highest = -std::numeric_limits<double>::infinity();
    for (std::uint32_t k = 0; k < cornerCount_; ++k) {
        highest = std::max(highest, (points[corners_[k]] - corner).Dot(normal));
    }
    const double bound = highest - 0.5 * depth_ * length;
    const double bestHeight =
        best != NONE ? (points[best] - corner).Dot(normal) : -std::numeric_limits<double>::infinity();
    if (bound <= 0.0 || bestHeight >= bound) {
        return Verdict::STANDS;
    }
    if (cells_.empty()) {
        buildGrid(points);
    }
    const double e = 8.0 * rounding_ * length;
    const double floor = std::max(tolerance - 2.0 * e, bestHeight - e);
    const double bestDot = best != NONE ? points[best].Dot(normal) : -std::numeric_limits<double>::infinity();
    std::uint32_t top = NONE;
    double topDot = -std::numeric_limits<double>::infinity();
    double topHeight = 0.0;
    for (const Cell& cell : cells_) {
        const QmtVector3 far(normal.x >= 0.0 ? cell.hi.x : cell.lo.x, normal.y >= 0.0 ? cell.hi.y : cell.lo.y,
                             normal.z >= 0.0 ? cell.hi.z : cell.lo.z);
        if ((far - corner).Dot(normal) + e < floor) {
            continue;
        }
        for (std::uint32_t k = cell.begin; k < cell.end; ++k) {
            const QmtVector3 p(xs_[k], ys_[k], zs_[k]);
            const double height = (p - corner).Dot(normal);
            if (height < floor || joined_[position_[k]]) {
                continue;
            }
            const std::uint32_t index = culled_[position_[k]];
            const double dot = p.Dot(normal);
            if (dot > topDot || (dot == topDot && index > top)) {
                top = index;
                topDot = dot;
                topHeight = height;
            }
        }
    }
    if (top == NONE || (best != NONE && (topDot < bestDot || (topDot == bestDot && top < best)))) {
        return Verdict::STANDS;
    }
    if (topHeight > tolerance + e) {
        taken = top;
        return Verdict::TAKEN;
    }
    return topHeight < tolerance - e ? Verdict::STANDS : Verdict::UNSURE;
}

void InteriorCull::joined(std::uint32_t index) {
    const auto at = std::lower_bound(culled_.begin(), culled_.end(), index);
    if (at != culled_.end() && *at == index && !joined_[at - culled_.begin()]) {
        joined_[at - culled_.begin()] = 1;
        --remaining_;
    }
}

std::vector<std::uint32_t> InteriorCull::release() {
    std::vector<std::uint32_t> out;
    out.reserve(remaining_);
    for (std::size_t k = 0; k < culled_.size(); ++k) {
        if (!joined_[k]) {
            out.push_back(culled_[k]);
        }
    }
    *this = InteriorCull();
    return out;
}
