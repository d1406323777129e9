// The overlap tests decide every clear-cut pair right: deep needles through a cube,
// thin separated slabs, and random hull pairs against a separating-axis reference,
// from a fresh cache, from their own cache, and with the shapes swapped.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>
#include <vector>

#include "engine/collision/convex/pkJump.h"
#include "tests/engine/collision/convex/testHulls.h"
#include "tests/testSupport.h"

using Qmt::QmtMatrix3;
using Qmt::QmtVector3;
using namespace hulltest;

namespace {

// Separating-axis reference in long double over both hulls' face normals and the
// cross products of their edges: the largest gap along any of them, negative (the
// least overlap) when none separates.
struct Lv {
    long double x, y, z;
};
Lv lv(const QmtVector3& v) { return {v.x, v.y, v.z}; }
Lv sub(const Lv& a, const Lv& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
Lv cross(const Lv& a, const Lv& b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
long double dot(const Lv& a, const Lv& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

struct RefShape {
    std::vector<Lv> points, normals, edges;
};

RefShape refShape(const ZYLmesh& m) {
    RefShape r;
    for (std::uint32_t i = 0; i < m.numVertices; ++i) {
        r.points.push_back(lv(m.worldVertices[i]));
    }
    for (std::uint32_t f = 0; f < m.numFaces; ++f) {
        const ZYLface& face = m.faces[f];
        Lv n{0, 0, 0};
        for (std::uint32_t k = 0; k < face.numVertices; ++k) {
            const Lv a = r.points[face.vertices[k]];
            const Lv b = r.points[face.vertices[(k + 1) % face.numVertices]];
            const Lv c = cross(a, b);
            n = {n.x + c.x, n.y + c.y, n.z + c.z};
            if (face.vertices[k] < face.vertices[(k + 1) % face.numVertices]) {
                r.edges.push_back(sub(b, a));  // each edge once, from one of its two faces
            }
        }
        r.normals.push_back(n);
    }
    return r;
}

// A closed convex mesh: Euler characteristic 2 and no vertex ahead of a face plane.
// (Hulls of many points on very flat ellipsoids do not always come out so; the
// overlap tests need true hulls, so such inputs are skipped.)
bool closedConvex(const ZYLmesh& m, const RefShape& r) {
    std::uint32_t corners = 0;
    for (std::uint32_t f = 0; f < m.numFaces; ++f) {
        corners += m.faces[f].numVertices;
        const Lv& p0 = r.points[m.faces[f].vertices[0]];
        const long double l = std::sqrt(dot(r.normals[f], r.normals[f]));
        for (const Lv& p : r.points) {
            if (dot(sub(p, p0), r.normals[f]) > 2e-5L * l) {
                return false;
            }
        }
    }
    return static_cast<long long>(m.numVertices) - corners / 2 + m.numFaces == 2;
}

long double separation(const RefShape& a, const RefShape& b) {
    long double best = -1e300L;
    const auto axis = [&](const Lv& d) {
        const long double l = std::sqrt(dot(d, d));
        if (l < 1e-12L) {
            return;
        }
        long double minA = 1e300L, maxA = -1e300L, minB = 1e300L, maxB = -1e300L;
        for (const Lv& p : a.points) {
            minA = std::min(minA, dot(p, d));
            maxA = std::max(maxA, dot(p, d));
        }
        for (const Lv& p : b.points) {
            minB = std::min(minB, dot(p, d));
            maxB = std::max(maxB, dot(p, d));
        }
        best = std::max(best, std::max(minB - maxA, minA - maxB) / l);
    };
    for (const Lv& n : a.normals) axis(n);
    for (const Lv& n : b.normals) axis(n);
    for (const Lv& ea : a.edges) {
        for (const Lv& eb : b.edges) axis(cross(ea, eb));
    }
    return best;
}

// Half extents of the shape families: round, flat, long and boxy.
QmtVector3 familyExtents(std::uint32_t family, zyltest::Lcg& rng) {
    switch (family) {
        case 0: return {rng.Range(0.3, 1.0), rng.Range(0.3, 1.0), rng.Range(0.3, 1.0)};
        case 1: return {1.0, rng.Range(0.5, 1.0), 0.005};
        default: return {rng.Range(0.5, 1.0), 0.01, 0.01};
    }
}

std::unique_ptr<Hull> randomHull(zyltest::Lcg& rng, const QmtVector3& T) {
    const std::uint32_t family = static_cast<std::uint32_t>(rng.Range(0.0, 4.0));
    const QmtMatrix3 R = turnAbout(unitDirection(rng), rng.Range(0.0, M_PI));
    const QmtVector3 e = familyExtents(family == 3 ? 0 : family, rng);
    if (family == 3) {
        return boxHull(T, e, R);
    }
    std::vector<QmtVector3> points(static_cast<std::size_t>(rng.Range(8.0, 20.0)));
    for (QmtVector3& p : points) {
        const QmtVector3 u = unitDirection(rng);
        p = {u.x * e.x, u.y * e.y, u.z * e.z};
    }
    return pointHull(points, T, R);
}

double radius(const ZYLmesh& m) {
    double r = 0.0;
    for (std::uint32_t i = 0; i < m.numVertices; ++i) {
        r = std::max(r, (m.worldVertices[i] - m.worldCentre).Length());
    }
    return r;
}

// Second centre: on the first, a hair off it, or anywhere up to about twice apart.
QmtVector3 randomOffset(zyltest::Lcg& rng) {
    const double pick = rng.Unit();
    if (pick < 0.15) return {};
    if (pick < 0.3) return unitDirection(rng) * 1e-3;
    return unitDirection(rng) * rng.Range(0.0, 2.0);
}

}  // namespace

TEST(PkJumpDecision, NeedlesThroughACubeOverlap) {
    const Pk_jump solver;
    const auto cube = boxHull({0, 0, 0}, {0.5, 0.5, 0.5});
    const QmtMatrix3 turned = turnAbout({1, 0, 0}, 40.0 * M_PI / 180.0);
    const struct {
        QmtVector3 half;
        QmtMatrix3 axes;
    } needles[] = {{{0.01, 1.0, 0.01}, QmtMatrix3::IDENTITY}, {{1.0, 0.01, 0.01}, turned}};
    for (const auto& n : needles) {
        ZYLbox record = makeBox({0, 0, 0}, n.half, n.axes);
        const BVbox box(&record);
        const auto needle = boxHull({0, 0, 0}, n.half, n.axes);
        ProximityCache c1, c2, c3;
        EXPECT_EQ(solver.testHullBox(cube->volume, box, c1), 1u);
        EXPECT_EQ(solver.testHullHull(cube->volume, needle->volume, c2), 1u);
        EXPECT_EQ(solver.testHullHull(needle->volume, cube->volume, c3), 1u);
    }
}

TEST(PkJumpDecision, TiltedNeedleAboveASlabStaysApart) {
    const Pk_jump solver;
    const auto slab = boxHull({0, 0, 0}, {1.0, 1.0, 0.005});
    const QmtVector3 half(0.5, 0.005, 0.005);
    zyltest::Lcg rng(31);
    for (std::uint32_t k = 0; k < 20000; ++k) {
        const QmtMatrix3 R = turnAbout(unitDirection(rng), rng.Range(0.0, M_PI));
        // Lift the needle so that its lowest corner is 1e-3 above the slab.
        double reach = 0.0;
        for (int i = 0; i < 3; ++i) {
            reach += std::abs(R[2][i]) * half[i];
        }
        ZYLbox record = makeBox({rng.Range(-0.3, 0.3), rng.Range(-0.3, 0.3), 0.006 + reach}, half, R);
        const BVbox box(&record);
        ProximityCache cache;
        ASSERT_EQ(solver.testHullBox(slab->volume, box, cache), 0u) << k;
    }
}

TEST(PkJumpDecision, RandomPairsAgreeWithSeparatingAxes) {
    const Pk_jump solver;
    zyltest::Lcg rng(2026);
    std::uint32_t clear = 0;
    for (std::uint32_t k = 0; k < 4500; ++k) {
        const bool withBox = k % 2 == 1;
        const auto a = randomHull(rng, {0, 0, 0});
        std::unique_ptr<Hull> b;
        ZYLbox record;
        if (withBox) {
            record = makeBox(randomOffset(rng), familyExtents(static_cast<std::uint32_t>(rng.Range(0.0, 3.0)), rng),
                             turnAbout(unitDirection(rng), rng.Range(0.0, M_PI)));
            b = boxHull(record.centre, record.halfExtents, record.axes);
        } else {
            b = randomHull(rng, randomOffset(rng));
        }
        const RefShape ra = refShape(*a->mesh), rb = refShape(*b->mesh);
        if (!closedConvex(*a->mesh, ra) || !closedConvex(*b->mesh, rb)) {
            continue;
        }
        const long double sep = separation(ra, rb);
        const double size = std::max(radius(*a->mesh), radius(*b->mesh));
        if (std::abs(static_cast<double>(sep)) < 1e-4 * size) {
            continue;  // within the margin either answer stands
        }
        ++clear;
        const std::uint32_t expected = sep < 0 ? 1u : 0u;
        ProximityCache cache, swapped;
        if (withBox) {
            const BVbox box(&record);
            ASSERT_EQ(solver.testHullBox(a->volume, box, cache), expected) << k << " cold";
            ASSERT_EQ(solver.testHullBox(a->volume, box, cache), expected) << k << " warm";
        } else {
            ASSERT_EQ(solver.testHullHull(a->volume, b->volume, cache), expected) << k << " cold";
            ASSERT_EQ(solver.testHullHull(a->volume, b->volume, cache), expected) << k << " warm";
        }
        ASSERT_EQ(solver.testHullHull(b->volume, a->volume, swapped), expected) << k << " swapped";
    }
    EXPECT_GT(clear, 2000u);
}
