#pragma once

// The exact decision of the convex overlap tests, for the rare pairs on which the
// reflection search cannot decide by itself (a fan direction that comes out zero, a
// cycle it cannot leave, a winding that does not enclose the origin, the pass cap).
//
// It walks towards the point of the Minkowski difference B - A nearest the origin,
// keeping a simplex of at most four support differences, and answers only on a
// certificate: 0 with a direction along which every support difference lies more
// than 1e-5 ahead (the shapes are apart), 1 with the origin inside the simplex (the
// shapes share a point). A walk that stops making progress without either
// certificate has come within the tolerance of touching and answers 0, undecided.
//
// Works over any pair policy of the reflection loop: only takeSupports is used.

#include <cstdint>

#include "engine/collision/convex/pkJump.h"
#include "engine/collision/convex/pkJumpTolerances.h"
#include "math/qmtMatrix3.h"
#include "math/qmtVector3.h"

namespace PkJumpDetail {

// Steps of the exact walk. Each step strictly shortens the distance to the origin, so
// a polytope pair needs only a few; the cap guards against rounding loops.
inline constexpr std::uint32_t PK_EXACT_STEPS = 64;

// The simplex of the walk and the point of its hull nearest the origin.
class NearestSimplex {
public:
    std::uint32_t size() const { return count_; }
    const Qmt::QmtVector3& nearest() const { return nearest_; }
    // Largest squared length of a simplex point: the scale for the relative tests.
    double scale() const {
        double m = 0.0;
        for (std::uint32_t i = 0; i < count_; ++i) {
            const double l = points_[i].SquaredLength();
            m = l > m ? l : m;
        }
        return m;
    }
    bool holds(const Qmt::QmtVector3& w) const {
        for (std::uint32_t i = 0; i < count_; ++i) {
            if (points_[i] == w) {
                return true;
            }
        }
        return false;
    }
    void reset(const Qmt::QmtVector3& w) {
        points_[0] = w;
        count_ = 1;
        nearest_ = w;
    }
    // Adds w and shrinks the simplex to the smallest face holding the nearest point.
    // True when the origin lies strictly inside the tetrahedron of four points.
    bool add(const Qmt::QmtVector3& w) {
        points_[count_++] = w;
        switch (count_) {
            case 2: segment(points_[0], points_[1]); return false;
            case 3: triangle(points_[0], points_[1], points_[2]); return false;
            default: return tetrahedron();
        }
    }

private:
    void keep(const Qmt::QmtVector3& a) {
        points_[0] = a;
        count_ = 1;
        nearest_ = a;
    }
    void keep(const Qmt::QmtVector3& a, const Qmt::QmtVector3& b, const Qmt::QmtVector3& v) {
        points_[0] = a;
        points_[1] = b;
        count_ = 2;
        nearest_ = v;
    }

    // The corners come by value: keep() overwrites the slots they may come from.
    void segment(const Qmt::QmtVector3 a, const Qmt::QmtVector3 b) {
        const Qmt::QmtVector3 ab = b - a;
        const double t = -a.Dot(ab);
        const double l = ab.SquaredLength();
        if (t <= 0.0 || l <= 0.0) {
            keep(a);
        } else if (t >= l) {
            keep(b);
        } else {
            keep(a, b, a + ab * (t / l));
        }
    }

    // Nearest point of the triangle by its Voronoi regions; a triangle without area
    // is handled as its three edges.
    void triangle(const Qmt::QmtVector3 a, const Qmt::QmtVector3 b, const Qmt::QmtVector3 c) {
        const Qmt::QmtVector3 ab = b - a, ac = c - a;
        const double d1 = -ab.Dot(a), d2 = -ac.Dot(a);
        if (d1 <= 0.0 && d2 <= 0.0) {
            keep(a);
            return;
        }
        const double d3 = -ab.Dot(b), d4 = -ac.Dot(b);
        if (d3 >= 0.0 && d4 <= d3) {
            keep(b);
            return;
        }
        const double vc = d1 * d4 - d3 * d2;
        if (vc <= 0.0 && d1 >= 0.0 && d3 <= 0.0) {
            keep(a, b, a + ab * (d1 / (d1 - d3)));
            return;
        }
        const double d5 = -ab.Dot(c), d6 = -ac.Dot(c);
        if (d6 >= 0.0 && d5 <= d6) {
            keep(c);
            return;
        }
        const double vb = d5 * d2 - d1 * d6;
        if (vb <= 0.0 && d2 >= 0.0 && d6 <= 0.0) {
            keep(a, c, a + ac * (d2 / (d2 - d6)));
            return;
        }
        const double va = d3 * d6 - d5 * d4;
        if (va <= 0.0 && d4 - d3 >= 0.0 && d5 - d6 >= 0.0) {
            keep(b, c, b + (c - b) * ((d4 - d3) / ((d4 - d3) + (d5 - d6))));
            return;
        }
        const double sum = va + vb + vc;
        if (!(sum > 0.0)) {
            flatTriangle(a, b, c);
            return;
        }
        points_[0] = a;
        points_[1] = b;
        points_[2] = c;
        count_ = 3;
        nearest_ = a + ab * (vb / sum) + ac * (vc / sum);
    }

    void flatTriangle(const Qmt::QmtVector3 a, const Qmt::QmtVector3 b, const Qmt::QmtVector3 c) {
        const Qmt::QmtVector3 ends[3][2] = {{a, b}, {b, c}, {c, a}};
        std::uint32_t best = 0;
        double bestLength = 0.0;
        for (std::uint32_t k = 0; k < 3; ++k) {
            segment(ends[k][0], ends[k][1]);
            const double l = nearest_.SquaredLength();
            if (k == 0 || l < bestLength) {
                best = k;
                bestLength = l;
            }
        }
        segment(ends[best][0], ends[best][1]);
    }

    // Inside only when the origin lies strictly on the inner side of all four faces
    // of a tetrahedron with volume; otherwise the nearest of the faces the origin may
    // lie beyond (all four for a flat tetrahedron).
    bool tetrahedron() {
        const Qmt::QmtVector3 p[4] = {points_[0], points_[1], points_[2], points_[3]};
        static constexpr std::uint32_t faces[4][4] = {{0, 1, 2, 3}, {0, 3, 1, 2}, {0, 2, 3, 1}, {1, 3, 2, 0}};
        bool beyond[4];
        bool inside = true;
        for (std::uint32_t f = 0; f < 4; ++f) {
            const Qmt::QmtVector3& a = p[faces[f][0]];
            const Qmt::QmtVector3 n = (p[faces[f][1]] - a).Cross(p[faces[f][2]] - a);
            const double origin = -a.Dot(n);
            const double opposite = (p[faces[f][3]] - a).Dot(n);
            beyond[f] = !(origin * opposite > 0.0);
            inside = inside && !beyond[f];
        }
        if (inside) {
            nearest_ = Qmt::QmtVector3(0.0, 0.0, 0.0);
            return true;
        }
        NearestSimplex best;
        bool found = false;
        for (std::uint32_t f = 0; f < 4; ++f) {
            if (!beyond[f]) {
                continue;
            }
            NearestSimplex face;
            face.triangle(p[faces[f][0]], p[faces[f][1]], p[faces[f][2]]);
            if (!found || face.nearest_.SquaredLength() < best.nearest_.SquaredLength()) {
                best = face;
                found = true;
            }
        }
        *this = best;
        return false;
    }

    Qmt::QmtVector3 points_[4];
    Qmt::QmtVector3 nearest_;
    std::uint32_t count_ = 0;
};

// The walk from the working record s; s ends holding the last direction and its
// supports, so the cache stays a direction with the supports taken along it.
// Kept out of line: it is rare, and inlined it would crowd the reflection loop.
template <class Policy>
[[gnu::noinline]] std::uint32_t exactDecision(const Policy& pair, SupportRecord& s) {
    NearestSimplex simplex;
    simplex.reset(s.difference);
    SupportRecord t = s;
    for (std::uint32_t step = 0; step < PK_EXACT_STEPS; ++step) {
        const Qmt::QmtVector3 v = simplex.nearest();
        const double vv = v.SquaredLength();
        // The origin lies in the hull of support differences (or a rounding away
        // from it): the shapes share a point.
        if (vv <= 1e-24 * simplex.scale()) {
            return 1;
        }
        t.direction = v;
        t.direction.Unitize(Qmt::QmtMatrix3::EPSILON);
        pair.takeSupports(t);
        s = t;
        if (t.direction.Dot(t.difference) > PK_EPS) {
            return 0;
        }
        // No support difference nearer along v than the simplex already reached:
        // the distance is |v|, within the tolerance of touching.
        if (vv - v.Dot(t.difference) <= 1e-12 * vv || simplex.holds(t.difference)) {
            return 0;
        }
        if (simplex.add(t.difference)) {
            return 1;
        }
        if (simplex.nearest().SquaredLength() >= vv) {
            return 0;  // rounding stopped the progress: as near as the walk gets
        }
    }
    return 0;
}

}  // namespace PkJumpDetail
