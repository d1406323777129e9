#pragma once

// Brute-force squared distances the proximity tests check the library against: clamped
// feet, plane projections and boundary minima, written the plain way.

#include <algorithm>

#include "math/qmtVector3.h"

namespace distref {

using Qmt::QmtVector3;

inline QmtVector3 unit(QmtVector3 v) {
    v.Unitize(0.0);
    return v;
}

inline double pointSegment(const QmtVector3& p, const QmtVector3& a, const QmtVector3& b) {
    const QmtVector3 e = b - a;
    const double ee = e.Dot(e);
    const double u = ee > 0.0 ? std::clamp((p - a).Dot(e) / ee, 0.0, 1.0) : 0.0;
    return (a + e * u - p).SquaredLength();
}

// The four end-to-segment distances, and the interior pair when the lines are not
// (nearly) parallel and it lies on both segments.
inline double segmentSegment(const QmtVector3& p0, const QmtVector3& p1, const QmtVector3& q0, const QmtVector3& q1) {
    double best = std::min({pointSegment(p0, q0, q1), pointSegment(p1, q0, q1), pointSegment(q0, p0, p1),
                            pointSegment(q1, p0, p1)});
    const QmtVector3 e = p1 - p0, f = q1 - q0, w = p0 - q0;
    const double a = e.Dot(e), b = e.Dot(f), c = f.Dot(f), d = e.Dot(w), g = f.Dot(w);
    const double det = a * c - b * b;
    if (det > 1e-12) {
        const double s = (b * g - c * d) / det, t = (a * g - b * d) / det;
        if (s >= 0 && s <= 1 && t >= 0 && t <= 1) {
            best = std::min(best, (p0 + e * s - q0 - f * t).SquaredLength());
        }
    }
    return best;
}

// p, in the triangle's plane, lies on the inner side of every edge about the normal n.
inline bool insideTriangle(const QmtVector3& p, const QmtVector3* tri, const QmtVector3& n) {
    for (int i = 0; i < 3; ++i) {
        if ((tri[(i + 1) % 3] - tri[i]).Cross(p - tri[i]).Dot(n) < 0.0) {
            return false;
        }
    }
    return true;
}

inline double pointTriangle(const QmtVector3& p, const QmtVector3* tri) {
    const QmtVector3 n = unit((tri[1] - tri[0]).Cross(tri[2] - tri[0]));
    const double h = (p - tri[0]).Dot(n);
    if (insideTriangle(p - n * h, tri, n)) {
        return h * h;
    }
    return std::min(
        {pointSegment(p, tri[0], tri[1]), pointSegment(p, tri[1], tri[2]), pointSegment(p, tri[2], tri[0])});
}

}  // namespace distref

// Exact references in long double for the property tests: every query by its feature
// pairs (distances) or by every separating axis (overlaps), with no threshold of its
// own. Inputs come from a generator that mixes general positions with the
// near-degenerate ones (parallel and nearly parallel, crossing, touching, collapsed)
// at a chosen size.

#include <array>
#include <cmath>
#include <random>
#include <vector>

namespace exact {

using Qmt::QmtVector3;
using Real = long double;

struct L3 {
    Real x = 0, y = 0, z = 0;
    L3() = default;
    L3(Real x_, Real y_, Real z_) : x(x_), y(y_), z(z_) {}
    L3(const QmtVector3& v) : x(v.x), y(v.y), z(v.z) {}  // NOLINT: exact widening
    L3 operator+(const L3& o) const { return {x + o.x, y + o.y, z + o.z}; }
    L3 operator-(const L3& o) const { return {x - o.x, y - o.y, z - o.z}; }
    L3 operator*(Real k) const { return {x * k, y * k, z * k}; }
    Real dot(const L3& o) const { return x * o.x + y * o.y + z * o.z; }
    L3 cross(const L3& o) const { return {y * o.z - z * o.y, z * o.x - x * o.z, x * o.y - y * o.x}; }
    Real sq() const { return dot(*this); }
};

inline Real clamp01(Real u) { return u < 0 ? 0 : (u > 1 ? 1 : u); }

inline Real pointSegment(const L3& p, const L3& a, const L3& b) {
    const L3 e = b - a;
    const Real ee = e.sq();
    return (a + e * (ee > 0 ? clamp01((p - a).dot(e) / ee) : 0) - p).sq();
}

inline Real segmentSegment(const L3& p0, const L3& p1, const L3& q0, const L3& q1) {
    Real best = std::min({pointSegment(p0, q0, q1), pointSegment(p1, q0, q1), pointSegment(q0, p0, p1),
                          pointSegment(q1, p0, p1)});
    const L3 e = p1 - p0, f = q1 - q0, w = p0 - q0;
    const Real a = e.sq(), b = e.dot(f), c = f.sq(), d = e.dot(w), g = f.dot(w);
    const Real det = e.cross(f).sq();
    if (det > 0) {
        const Real s = (b * g - c * d) / det, t = (a * g - b * d) / det;
        if (s >= 0 && s <= 1 && t >= 0 && t <= 1) {
            best = std::min(best, (p0 + e * s - q0 - f * t).sq());
        }
    }
    return best;
}

// Part of v across the unit direction u.
inline L3 across(const L3& v, const L3& u) { return v - u * v.dot(u); }

inline L3 unitOf(const L3& v) { return v * (1 / std::sqrt(v.sq())); }

inline Real lineSegment(const L3& p, const L3& dir, const L3& a, const L3& b) {
    if (dir.sq() == 0) {
        return pointSegment(p, a, b);
    }
    const L3 u = unitOf(dir);
    const L3 w = across(a - p, u), e = across(b - a, u);
    const Real ee = e.sq();
    return (w + e * (ee > 0 ? clamp01(-w.dot(e) / ee) : 0)).sq();
}

// Lines within 1e-7 rad of parallel (sin² 1e-14) count as parallel: their closest
// points would lie beyond what double precision can place.
inline Real lineLine(const L3& p0, const L3& d0, const L3& p1, const L3& d1) {
    const L3 n = d0.cross(d1);
    if (n.sq() > 1e-14L * d0.sq() * d1.sq()) {
        const Real h = (p0 - p1).dot(n);
        return h * h / n.sq();
    }
    if (d0.sq() > 0) {
        return across(p1 - p0, unitOf(d0)).sq();  // measured at p1, as a parallel pair is
    }
    return d1.sq() > 0 ? across(p0 - p1, unitOf(d1)).sq() : (p0 - p1).sq();
}

inline bool insideTriangle(const L3& x, const L3* t, const L3& n) {
    for (int i = 0; i < 3; ++i) {
        if ((t[(i + 1) % 3] - t[i]).cross(x - t[i]).dot(n) < 0) return false;
    }
    return true;
}

inline Real pointTriangle(const L3& p, const L3* t) {
    const L3 n = (t[1] - t[0]).cross(t[2] - t[0]);
    if (n.sq() > 0) {
        const Real h = (p - t[0]).dot(n);
        if (insideTriangle(p - n * (h / n.sq()), t, n)) return h * h / n.sq();
    }
    return std::min({pointSegment(p, t[0], t[1]), pointSegment(p, t[1], t[2]), pointSegment(p, t[2], t[0])});
}

// Zero when the line (or, bounded, the segment p0 + r·dir, r in [0, 1]) crosses the
// triangle's plane inside it.
inline bool pierces(const L3& p0, const L3& dir, const L3* t, bool bounded) {
    const L3 n = (t[1] - t[0]).cross(t[2] - t[0]);
    const Real dn = dir.dot(n);
    if (n.sq() == 0 || dn == 0) return false;
    const Real r = (t[0] - p0).dot(n) / dn;
    return (!bounded || (r >= 0 && r <= 1)) && insideTriangle(p0 + dir * r, t, n);
}

inline Real segmentTriangle(const L3& p0, const L3& p1, const L3* t) {
    if (pierces(p0, p1 - p0, t, true)) return 0;
    return std::min({pointTriangle(p0, t), pointTriangle(p1, t), segmentSegment(p0, p1, t[0], t[1]),
                     segmentSegment(p0, p1, t[1], t[2]), segmentSegment(p0, p1, t[2], t[0])});
}

inline Real lineTriangle(const L3& p, const L3& dir, const L3* t) {
    if (dir.sq() == 0) return pointTriangle(p, t);
    if (pierces(p, dir, t, false)) return 0;
    return std::min(
        {lineSegment(p, dir, t[0], t[1]), lineSegment(p, dir, t[1], t[2]), lineSegment(p, dir, t[2], t[0])});
}

inline Real triangleTriangle(const L3* a, const L3* b) {
    Real best = segmentTriangle(a[0], a[1], b);
    for (int i = 0; i < 3; ++i) {
        best = std::min({best, segmentTriangle(a[i], a[(i + 1) % 3], b), segmentTriangle(b[i], b[(i + 1) % 3], a)});
    }
    return best;
}

// Separating axes of two triangles: the face normals, the nine edge pairs and the
// in-plane edge normals. Answers the largest gap along a unit axis (positive:
// separated by that much) or, when no axis separates, minus the least overlap.
inline Real triangleGap(const L3* a, const L3* b) {
    const L3 na = (a[1] - a[0]).cross(a[2] - a[0]), nb = (b[1] - b[0]).cross(b[2] - b[0]);
    std::array<L3, 17> axes;
    std::size_t n = 0;
    axes[n++] = na;
    axes[n++] = nb;
    for (int i = 0; i < 3; ++i) {
        const L3 e = a[(i + 1) % 3] - a[i], f = b[(i + 1) % 3] - b[i];
        axes[n++] = na.cross(e);
        axes[n++] = nb.cross(f);
        for (int j = 0; j < 3; ++j) axes[n++] = e.cross(b[(j + 1) % 3] - b[j]);
    }
    Real gap = -INFINITY;
    for (std::size_t k = 0; k < n; ++k) {
        if (axes[k].sq() == 0) continue;
        const L3 u = unitOf(axes[k]);
        Real amin = INFINITY, amax = -INFINITY, bmin = INFINITY, bmax = -INFINITY;
        for (int i = 0; i < 3; ++i) {
            amin = std::min(amin, a[i].dot(u)), amax = std::max(amax, a[i].dot(u));
            bmin = std::min(bmin, b[i].dot(u)), bmax = std::max(bmax, b[i].dot(u));
        }
        gap = std::max(gap, std::max(bmin - amax, amin - bmax));
    }
    return gap;
}

// Overlap of two convex polygons in the plane z = 0 (x, y read), counter-clockwise
// or clockwise: clipped in long double, returned as its area.
inline Real overlapArea(std::vector<L3> poly, const std::vector<L3>& clip) {
    Real orient = 0;
    for (std::size_t i = 0; i < clip.size(); ++i) {
        const L3& p = clip[i];
        const L3& q = clip[(i + 1) % clip.size()];
        orient += p.x * q.y - q.x * p.y;
    }
    for (std::size_t i = 0; i < clip.size() && !poly.empty(); ++i) {
        const L3& p = clip[i];
        const L3& q = clip[(i + 1) % clip.size()];
        const auto side = [&](const L3& v) { return ((q.x - p.x) * (v.y - p.y) - (q.y - p.y) * (v.x - p.x)) * orient; };
        std::vector<L3> kept;
        for (std::size_t j = 0; j < poly.size(); ++j) {
            const L3& u = poly[j];
            const L3& v = poly[(j + 1) % poly.size()];
            const Real su = side(u), sv = side(v);
            if (su >= 0) kept.push_back(u);
            if ((su > 0 && sv < 0) || (su < 0 && sv > 0)) kept.push_back(u + (v - u) * (su / (su - sv)));
        }
        poly = kept;
    }
    Real area = 0;
    for (std::size_t i = 0; i < poly.size(); ++i) {
        const L3& p = poly[i];
        const L3& q = poly[(i + 1) % poly.size()];
        area += p.x * q.y - q.x * p.y;
    }
    return std::fabs(area) / 2;
}

// ---- inputs ----------------------------------------------------------------------

// Random inputs of one size: points in a cube of that size, and shapes of the kinds
// that break thresholds (parallel within 1e-3 or 1e-8 rad, crossing, touching at a
// point, collapsed onto a line or a point).
class Generator {
public:
    Generator(double size, unsigned seed) : size_(size), rng_(seed) {}

    double size() const { return size_; }
    double uniform(double lo, double hi) { return std::uniform_real_distribution<double>(lo, hi)(rng_); }
    int pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng_); }
    QmtVector3 point() { return QmtVector3(uniform(-1, 1), uniform(-1, 1), uniform(-1, 1)) * size_; }
    QmtVector3 direction() {
        QmtVector3 d(uniform(-1, 1), uniform(-1, 1), uniform(-1, 1));
        d.Unitize(0.0);
        return d;
    }
    // d turned by about `angle` radians.
    QmtVector3 tilt(const QmtVector3& d, double angle) {
        QmtVector3 side = d.Cross(direction());
        side.Unitize(0.0);
        return d + side * (angle * d.Length());
    }

    // A segment pair in a random relation; kind in [0, 7).
    std::array<QmtVector3, 4> segmentPair(int kind) {
        const QmtVector3 p0 = point(), p1 = point();
        const QmtVector3 e = p1 - p0;
        const QmtVector3 mid = p0 + e * uniform(0, 1);
        const double angle = pick(2) ? 1e-3 : 1e-8;
        switch (kind) {
            case 1: {  // crossing inside both
                const QmtVector3 f = direction() * (size_ * uniform(0.1, 1));
                return {p0, p1, mid - f * uniform(0, 1), mid + f * uniform(0, 1)};
            }
            case 2: {  // nearly parallel, crossing or passing close
                const QmtVector3 f = tilt(e, angle) * uniform(0.2, 1.5);
                const QmtVector3 q0 = mid - f * uniform(0, 1) + direction() * (size_ * angle * uniform(0, 2));
                return {p0, p1, q0, q0 + f};
            }
            case 3: {  // parallel or collinear, overlapping or apart, either direction
                const QmtVector3 off = pick(2) ? QmtVector3() : direction() * (size_ * uniform(0, 0.5));
                const QmtVector3 q0 = p0 + e * uniform(-1, 2) + off;
                return {p0, p1, q0, q0 + e * uniform(-1.5, 1.5)};
            }
            case 4:  // touching at an end
                return {p0, p1, pick(2) ? p1 : p0, point()};
            case 5:  // one a point
                return {p0, p1, mid, mid + direction() * (pick(2) ? 0.0 : size_ * 1e-9)};
            default:
                return {p0, p1, point(), point()};
        }
    }

    // A triangle of a random shape; kind in [0, 4).
    std::array<QmtVector3, 3> triangle(int kind) {
        const QmtVector3 a = point(), b = point();
        switch (kind) {
            case 1:  // collapsed onto its edge
                return {a, b, a + (b - a) * uniform(-0.5, 1.5)};
            case 2:  // sliver
                return {a, b, a + (b - a) * uniform(0, 1) + direction() * ((b - a).Length() * 1e-4)};
            case 3:  // a corner repeated
                return {a, b, b};
            default:
                return {a, b, point()};
        }
    }

private:
    double size_;
    std::mt19937 rng_;
};

// Sizes of the property tests.
inline constexpr double SIZES[] = {1e-3, 1.0, 1e3};

}  // namespace exact
