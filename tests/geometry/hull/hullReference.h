#pragma once

// A deliberately plain hull builder for differential tests: linear scans over vectors
// that follow the build rules of the first build step by step, with no indexing of
// any kind. The fast builders must produce bit-identical meshes wherever that build
// is kept (Result::rebuilt false).

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "geometry/query/proximity.h"
#include "math/qmtMatrix3.h"
#include "math/qmtVector3.h"

namespace hullref {

using Qmt::QmtVector3;
constexpr double TOL = 1e-5;

struct Face {
    std::vector<std::uint32_t> v;
    QmtVector3 n;
};
struct Edge {
    std::uint32_t a, b;
    bool is(std::uint32_t x, std::uint32_t y) const { return (a == x && b == y) || (a == y && b == x); }
};

struct Result {
    bool ok = false;
    std::vector<QmtVector3> vertices;
    std::vector<std::vector<std::uint32_t>> faces;
    std::vector<QmtVector3> normals;
    // The first build did not close, or came out not convex within the tolerances:
    // the builders then build again by the rebuild rules, which this builder lacks.
    bool rebuilt = false;
};

inline QmtVector3 unit(QmtVector3 v) {
    v.Unitize(Qmt::QmtMatrix3::EPSILON);
    return v;
}

// A horizon triangle too thin for the tolerances is still made: its own plane while
// the corners span one to rounding precision, else the plane through edge (a, b)
// nearest to the replaced visible face.
inline QmtVector3 sliverNormal(const QmtVector3& a, const QmtVector3& b, const QmtVector3& p,
                               const QmtVector3& visible, const QmtVector3& toInterior) {
    const double l = std::max({(b - a).SquaredLength(), (p - b).SquaredLength(), (a - p).SquaredLength()});
    QmtVector3 n = (b - a).Cross(p - b);
    if (n.SquaredLength() >= 1e-10 * l * l && n.Unitize(0.0) > 0.0) return toInterior.Dot(n) > 0.0 ? -n : n;
    QmtVector3 u = b - a;
    u.Unitize(0.0);
    n = visible - u * visible.Dot(u);
    return n.Unitize(0.0) > 0.0 ? n : visible;
}

struct Builder {
    std::vector<QmtVector3> verts;
    std::vector<Face> faces;  // front first
    std::vector<Edge> edges;  // front first
    std::uint32_t simplex[4] = {};

    bool degen(std::uint32_t a, std::uint32_t b, std::uint32_t c) const {
        return isDegenerateTriangle(verts[a], verts[b], verts[c], true, TOL);
    }

    bool buildSimplex(const QmtVector3* pts, std::uint32_t n) {
        std::uint32_t P = 0, Q = 1, R = 2;
        if (n > 3) {
            for (std::uint32_t i = 1; i < n; ++i)
                if (pts[i].Dot(QmtVector3::UNIT_X) > pts[P].Dot(QmtVector3::UNIT_X)) P = i;
            Q = 0;
            for (std::uint32_t i = 1; i < n; ++i)
                if ((pts[i] - pts[P]).SquaredLength() > (pts[Q] - pts[P]).SquaredLength()) Q = i;
            R = 0xFFFFFFFF;
            double best = 0.0;
            for (std::uint32_t i = 0; i < n; ++i) {
                if ((pts[i] - pts[P]).SquaredLength() < TOL) continue;
                const double s = (pts[i] - pts[P]).Cross(pts[Q] - pts[P]).SquaredLength();
                if (s > best) { best = s; R = i; }
            }
            if (R == 0xFFFFFFFF) return false;
        }
        verts = {pts[P], pts[Q], pts[R]};
        QmtVector3 N = (verts[1] - verts[0]).Cross(verts[2] - verts[1]);
        const bool tooShort = N.Unitize(Qmt::QmtMatrix3::EPSILON) == 0.0;
        if (n == 3 ? N.x == 0.0 && N.y == 0.0 && N.z == 0.0 : tooShort) return false;
        faces.insert(faces.begin(), Face{{0, 1, 2}, N});
        for (const Edge e : {Edge{0, 1}, Edge{1, 2}, Edge{2, 0}}) edges.insert(edges.begin(), e);
        simplex[0] = P; simplex[1] = Q; simplex[2] = R; simplex[3] = 0xFFFFFFFF;
        if (n == 3) return true;
        std::uint32_t S = 0xFFFFFFFF;
        double bestAbs = -1.0, bestSigned = 0.0;
        for (std::uint32_t i = 0; i < n; ++i) {
            if (i == P || i == Q || i == R) continue;
            const double d = (pts[i] - verts[0]).Dot(N);
            if (std::fabs(d) > bestAbs) { bestAbs = std::fabs(d); bestSigned = d; S = i; }
        }
        if (S == 0xFFFFFFFF || bestAbs <= TOL) return false;
        if (bestSigned > TOL) faces[0].n = -N;
        verts.push_back(pts[S]);
        const std::uint32_t sides[3][3] = {{0, 1, 2}, {1, 2, 0}, {2, 0, 1}};
        for (const auto& s : sides) {
            QmtVector3 nf = unit((verts[s[1]] - verts[s[0]]).Cross(verts[3] - verts[s[1]]));
            if ((verts[s[2]] - verts[3]).Dot(nf) > TOL) nf = -nf;
            faces.insert(faces.begin(), Face{{s[0], s[1], 3}, nf});
        }
        for (const Edge e : {Edge{1, 3}, Edge{3, 0}, Edge{3, 2}}) edges.insert(edges.begin(), e);
        simplex[3] = S;
        return true;
    }

    static bool hasBoth(const Face& f, std::uint32_t a, std::uint32_t b) {
        const auto in = [&f](std::uint32_t x) { return f.v[0] == x || f.v[1] == x || f.v[2] == x; };
        return in(a) && in(b);
    }

    // Whether the edges held by one listed face only form a single simple loop.
    static bool oneLoop(const std::vector<Face>& list) {
        std::vector<std::pair<std::uint32_t, std::uint32_t>> horizon;
        for (std::size_t i = 0; i < list.size(); ++i) {
            const std::uint32_t es[3][2] = {{list[i].v[0], list[i].v[1]}, {list[i].v[1], list[i].v[2]}, {list[i].v[0], list[i].v[2]}};
            for (const auto& e : es) {
                int holders = 0;
                for (const Face& f : list) holders += hasBoth(f, e[0], e[1]) ? 1 : 0;
                if (holders == 1) horizon.push_back({e[0], e[1]});
            }
        }
        if (horizon.empty()) return false;
        for (const auto& e : horizon) {
            if (e.first == e.second) return false;
            for (const std::uint32_t x : {e.first, e.second}) {
                int degree = 0;
                for (const auto& g : horizon) degree += (g.first == x) + (g.second == x);
                if (degree != 2) return false;
            }
        }
        std::uint32_t start = horizon[0].first, previous = start, current = horizon[0].second;
        std::size_t steps = 1;
        while (current != start && steps <= horizon.size()) {
            for (const auto& g : horizon) {
                const std::uint32_t other = g.first == current ? g.second : g.second == current ? g.first : current;
                if (other != current && other != previous) { previous = current; current = other; break; }
            }
            ++steps;
        }
        return current == start && steps == horizon.size();
    }

    // Whether the fan from p over the horizon of `list` folds: two faces along an edge
    // (two fan faces, or a fan face and the face that stays) turning the same way.
    bool folds(const std::vector<Face>& list, const QmtVector3& p, const QmtVector3& c) const {
        std::vector<std::pair<std::uint32_t, std::uint32_t>> ends;
        for (const Face& f : list) {
            const std::uint32_t es[3][2] = {{f.v[0], f.v[1]}, {f.v[1], f.v[2]}, {f.v[0], f.v[2]}};
            for (const auto& e : es) {
                int holders = 0;
                for (const Face& g : list) holders += hasBoth(g, e[0], e[1]) ? 1 : 0;
                if (holders == 1) { ends.push_back({e[0], e[1]}); ends.push_back({e[1], e[0]}); }
            }
        }
        std::sort(ends.begin(), ends.end());
        const auto fanNormal = [&](std::uint32_t a, std::uint32_t b, QmtVector3& n) {
            if (isDegenerateTriangle(verts[a], verts[b], p, true, TOL)) return false;
            n = (verts[b] - verts[a]).Cross(p - verts[b]);
            if (n.Dot(c - p) > 0.0) n = -n;
            return true;
        };
        const auto turn = [&](std::uint32_t a, const QmtVector3& b, std::uint32_t x, const QmtVector3& n) {
            return (b - verts[a]).Cross(verts[x] - verts[a]).Dot(n);
        };
        for (std::size_t j = 0; j < ends.size(); j += 2) {
            const std::uint32_t a = ends[j].first, side[2] = {ends[j].second, ends[j + 1].second};
            QmtVector3 n[2];
            const bool judged[2] = {fanNormal(side[0], a, n[0]), fanNormal(a, side[1], n[1])};
            if (judged[0] && judged[1] && turn(a, p, side[0], n[0]) * turn(a, p, side[1], n[1]) > 0.0) return true;
            for (int k = 0; k < 2; ++k) {
                const std::uint32_t w = side[k];
                if (!judged[k] || a > w) continue;
                for (const Face& f : faces) {
                    if (f.v.size() != 3 || !hasBoth(f, a, w)) continue;
                    const std::uint32_t third = f.v[0] != a && f.v[0] != w ? f.v[0] : f.v[1] != a && f.v[1] != w ? f.v[1] : f.v[2];
                    const double stays = (verts[w] - verts[a]).Cross(verts[third] - verts[a]).Dot(f.n);
                    const double fan = (verts[w] - verts[a]).Cross(p - verts[a]).Dot(n[k]);
                    if (stays * fan > 0.0) return true;
                }
            }
        }
        return false;
    }

    bool add(const QmtVector3& p, const QmtVector3& c) {
        verts.push_back(p);
        const auto ip = static_cast<std::uint32_t>(verts.size() - 1);
        std::vector<Face> visible;
        for (std::size_t i = 0; i < faces.size();) {
            if (unit(p - verts[faces[i].v[0]]).Dot(faces[i].n) > -TOL) {
                visible.insert(visible.begin(), faces[i]);
                faces.erase(faces.begin() + static_cast<long>(i));
            } else {
                ++i;
            }
        }
        if (visible.empty()) return false;
        const std::vector<Face> original = visible;
        const std::vector<Face> before = faces;
        for (const Face& V : original) {
            for (std::size_t i = 0; i < faces.size();) {
                const Face& f = faces[i];
                bool shares = false;
                for (int a = 0; a < 3; ++a)
                    for (int b = 0; b < 3; ++b) shares = shares || f.v[a] == V.v[b];
                if (f.n.Dot(V.n) > 0.99999 && shares) {
                    visible.insert(visible.begin(), f);
                    faces.erase(faces.begin() + static_cast<long>(i));
                } else {
                    ++i;
                }
            }
        }
        if (visible.size() > original.size() && (!oneLoop(visible) || folds(visible, p, c))) {
            // Widening that pinches the horizon is undone.
            faces = before;
            visible = original;
        }
        const QmtVector3 d = unit(c - p);
        std::vector<Edge> removed, created;
        for (std::size_t k = 0; k < visible.size(); ++k) {
            const Face V = visible[k];
            const std::uint32_t es[3][2] = {{V.v[0], V.v[1]}, {V.v[1], V.v[2]}, {V.v[2], V.v[0]}};
            for (const auto& e : es) {
                const std::uint32_t a = e[0], b = e[1];
                if (std::any_of(removed.begin(), removed.end(), [&](const Edge& r) { return r.is(a, b); })) continue;
                bool later = false;
                for (std::size_t j = k + 1; j < visible.size(); ++j) later = later || hasBoth(visible[j], a, b);
                if (later) {
                    for (std::size_t j = 0; j < edges.size(); ++j) {
                        if (edges[j].is(a, b)) {
                            removed.push_back(edges[j]);
                            edges.erase(edges.begin() + static_cast<long>(j));
                            break;
                        }
                    }
                    continue;
                }
                const bool sliver = degen(a, b, ip);
                QmtVector3 n = unit((verts[b] - verts[a]).Cross(p - verts[b]));
                if (!(d.Dot(n) < -TOL)) n = -n;
                if (sliver) n = sliverNormal(verts[a], verts[b], p, V.n, d);
                for (const Edge ne : {Edge{a, ip}, Edge{ip, b}}) {
                    if (std::none_of(created.begin(), created.end(), [&](const Edge& x) { return x.is(ne.a, ne.b); }))
                        created.push_back(ne);
                }
                faces.insert(faces.begin(), Face{{a, b, ip}, n});
            }
        }
        edges.insert(edges.begin(), created.begin(), created.end());
        return true;
    }

    static std::uint32_t edgePos(const Face& f, const Edge& e) {
        if (e.is(f.v[0], f.v[1])) return 0;
        if (e.is(f.v[1], f.v[2])) return 1;
        if (e.is(f.v[0], f.v[2])) return 2;
        return 0xFFFFFFFF;
    }

    void merge() {
        bool merged = true;
        while (merged) {
            merged = false;
            for (std::size_t ei = 0; ei < edges.size();) {
                const Edge e = edges[ei];
                std::size_t F = faces.size(), G = faces.size();
                for (std::size_t i = 0; i < faces.size(); ++i) {
                    if (edgePos(faces[i], e) == 0xFFFFFFFF) continue;
                    if (F == faces.size()) F = i;
                    else { G = i; break; }
                }
                if (G == faces.size() || !(faces[F].n.Dot(faces[G].n) > 0.99999)) { ++ei; continue; }
                const std::vector<std::uint32_t> fv = faces[F].v, gv = faces[G].v;
                const std::uint32_t f = static_cast<std::uint32_t>(fv.size()), g = static_cast<std::uint32_t>(gv.size());
                const std::uint32_t r = edgePos(faces[F], e), t = edgePos(faces[G], e);
                std::vector<std::uint32_t> L;
                for (std::uint32_t i = 0; i + 3 <= f; ++i) L.push_back(fv[(r + 2 + i) % f]);
                L.push_back(fv[r]);
                if (fv[r] == gv[t]) {
                    for (std::uint32_t i = 0; i + 3 <= g; ++i) L.push_back(gv[(g - i + t - 1) % g]);
                    L.push_back(gv[(t + 1) % g]);
                } else {
                    for (std::uint32_t i = 0; i + 3 <= g; ++i) L.push_back(gv[(t + 2 + i) % g]);
                    L.push_back(gv[t]);
                }
                std::vector<std::uint32_t> sorted = L;
                std::sort(sorted.begin(), sorted.end());
                if (std::adjacent_find(sorted.begin(), sorted.end()) != sorted.end()) { ++ei; continue; }
                const std::size_t m = L.size();
                std::vector<std::uint32_t> kept, gone;
                for (std::size_t i = 1; i + 1 < m; ++i)
                    (degen(L[i - 1], L[i], L[i + 1]) ? gone : kept).push_back(L[i]);
                (degen(L[m - 2], L[m - 1], L[0]) ? gone : kept).push_back(L[m - 1]);
                (degen(L[m - 1], L[0], L[1]) ? gone : kept).push_back(L[0]);
                if (kept.size() < 3) { ++ei; continue; }  // would vanish and leave a hole
                dropped.insert(dropped.end(), gone.begin(), gone.end());
                faces[F].v = kept;
                edges.erase(edges.begin() + static_cast<long>(ei));
                faces.erase(faces.begin() + static_cast<long>(G));
                merged = true;
            }
        }
        reinsertDropped();
    }

    // Dropped corners still used by another face go back between the ends of the
    // merged face's edge, following open edges through dropped corners only.
    std::vector<std::uint32_t> dropped;
    static std::uint64_t key(std::uint32_t a, std::uint32_t b) {
        return a < b ? (std::uint64_t{a} << 32) | b : (std::uint64_t{b} << 32) | a;
    }
    bool path(const std::vector<std::uint64_t>& open, std::vector<bool>& used, const std::vector<bool>& stale,
              std::uint32_t from, std::uint32_t to, std::vector<std::uint32_t>& p, std::vector<std::size_t>& taken) {
        if (p.size() > 32) return false;
        for (std::size_t e = 0; e < open.size(); ++e) {
            const auto lo = static_cast<std::uint32_t>(open[e] >> 32), hi = static_cast<std::uint32_t>(open[e]);
            if (used[e] || (lo != from && hi != from)) continue;
            const std::uint32_t other = lo == from ? hi : lo;
            if (other == to && !p.empty()) { taken.push_back(e); return true; }
            if (other == to || !stale[other] || std::find(p.begin(), p.end(), other) != p.end()) continue;
            used[e] = true; p.push_back(other); taken.push_back(e);
            if (path(open, used, stale, other, to, p, taken)) return true;
            used[e] = false; p.pop_back(); taken.pop_back();
        }
        return false;
    }
    void reinsertDropped() {
        std::vector<bool> stale(verts.size(), false), referenced(verts.size(), false);
        for (const Face& f : faces) for (const std::uint32_t x : f.v) referenced[x] = true;
        bool any = false;
        for (const std::uint32_t x : dropped) if (referenced[x]) stale[x] = any = true;
        if (!any) return;
        std::vector<std::pair<std::uint64_t, std::size_t>> all;  // (edge, face)
        for (std::size_t i = 0; i < faces.size(); ++i)
            for (std::size_t k = 0; k < faces[i].v.size(); ++k)
                all.push_back({key(faces[i].v[k], faces[i].v[(k + 1) % faces[i].v.size()]), i});
        std::sort(all.begin(), all.end());
        std::vector<std::uint64_t> open;
        std::vector<std::size_t> owner;
        for (std::size_t i = 0; i < all.size(); ++i) {
            const bool single = (i == 0 || all[i - 1].first != all[i].first) &&
                                (i + 1 == all.size() || all[i + 1].first != all[i].first);
            if (single) { open.push_back(all[i].first); owner.push_back(all[i].second); }
        }
        std::vector<bool> used(open.size(), false);
        for (std::size_t e = 0; e < open.size(); ++e) {
            if (used[e]) continue;
            const auto x = static_cast<std::uint32_t>(open[e] >> 32), y = static_cast<std::uint32_t>(open[e]);
            std::vector<std::uint32_t> p;
            std::vector<std::size_t> taken;
            used[e] = true;
            std::vector<std::uint32_t>& c = faces[owner[e]].v;
            if (!path(open, used, stale, x, y, p, taken) ||
                std::any_of(p.begin(), p.end(), [&c](std::uint32_t q) { return std::find(c.begin(), c.end(), q) != c.end(); })) {
                used[e] = false;
                for (const std::size_t t : taken) used[t] = false;
                continue;
            }
            for (const std::size_t t : taken) used[t] = true;
            std::vector<std::uint32_t> grown;
            for (std::size_t i = 0; i < c.size(); ++i) {
                grown.push_back(c[i]);
                const std::uint32_t next = c[(i + 1) % c.size()];
                if (c[i] == x && next == y) grown.insert(grown.end(), p.begin(), p.end());
                else if (c[i] == y && next == x) grown.insert(grown.end(), p.rbegin(), p.rend());
            }
            c = grown;
        }
    }

    // Compaction by the decrement rule.
    void compact() {
        const std::size_t count = verts.size();
        std::vector<std::uint16_t> unused(count, 1);
        for (const Face& f : faces)
            for (const std::uint32_t x : f.v) unused[x] = 0;
        std::uint32_t kept = 0;
        for (std::size_t i = 0; i < count; ++i) {
            if (!unused[i]) {
                verts[kept++] = verts[i];
            } else {
                for (Face& f : faces)
                    for (std::uint32_t& x : f.v)
                        if (x > kept) --x;
            }
        }
        verts.resize(kept);
    }

    double slack = TOL;

    // Closed: each directed edge once with its reverse once, no corner twice in a face,
    // sum(corners - 2) = 2V - 4.
    bool closed(const Result& r) const {
        std::vector<std::pair<std::uint32_t, std::uint32_t>> directed;
        long turns = 0;
        for (const auto& f : r.faces) {
            turns += static_cast<long>(f.size()) - 2;
            for (std::size_t i = 0; i < f.size(); ++i) {
                if (std::count(f.begin(), f.end(), f[i]) != 1) return false;
                directed.push_back({f[i], f[(i + 1) % f.size()]});
            }
        }
        std::sort(directed.begin(), directed.end());
        if (std::adjacent_find(directed.begin(), directed.end()) != directed.end()) return false;
        for (const auto& e : directed)
            if (!std::binary_search(directed.begin(), directed.end(), std::make_pair(e.second, e.first))) return false;
        return turns == 2 * static_cast<long>(r.vertices.size()) - 4;
    }

    // Convex: flat convex faces, and at every shared edge the corners next to it in one
    // face lie below the other face's plane.
    bool convex() const {
        const auto below = [&](const Face& f, const QmtVector3& p) {
            double extent = 0.0;
            for (const std::uint32_t x : f.v) extent = std::max(extent, (verts[x] - verts[f.v[0]]).Length());
            return (p - verts[f.v[0]]).Dot(f.n) <= slack + (f.v.size() > 3 ? 0.0045 * extent : 0.0);
        };
        for (const Face& f : faces) {
            const std::size_t k = f.v.size();
            double sense = 0.0;
            for (std::size_t i = 0; i < k; ++i) {
                const QmtVector3 e1 = verts[f.v[(i + 1) % k]] - verts[f.v[i]];
                const QmtVector3 e2 = verts[f.v[(i + 2) % k]] - verts[f.v[(i + 1) % k]];
                const double turn = e1.Cross(e2).Dot(f.n), bend = 0.0045 * e1.Length() * e2.Length();
                if (std::fabs(turn) > bend) {
                    if (sense != 0.0 && (turn > 0.0) != (sense > 0.0)) return false;
                    sense = turn;
                }
                if (!below(f, verts[f.v[i]])) return false;
            }
            for (const Face& g : faces) {
                const std::size_t m = g.v.size();
                for (std::size_t i = 0; &g != &f && i < k; ++i)
                    for (std::size_t j = 0; j < m; ++j)
                        if (key(f.v[i], f.v[(i + 1) % k]) == key(g.v[j], g.v[(j + 1) % m]) &&
                            (!below(g, verts[f.v[(i + k - 1) % k]]) || !below(g, verts[f.v[(i + 2) % k]])))
                            return false;
            }
        }
        return true;
    }

    Result finish() const {
        Result out = output(false);
        out.rebuilt = !closed(out) || !convex();
        return out;
    }

    Result output(bool single) const {
        Result out;
        out.ok = true;
        out.vertices = verts;
        if (single) {
            out.faces.push_back(faces[0].v);
            out.normals.push_back(faces[0].n);
            return out;
        }
        for (const Face& f : faces) {
            const std::size_t k = f.v.size();
            QmtVector3 g;
            for (std::size_t i = 0; i + 2 < k; ++i) {
                const QmtVector3 w = (verts[f.v[i + 2]] - verts[f.v[i + 1]]).Cross(verts[f.v[i + 1]] - verts[f.v[i]]);
                if (w.SquaredLength() > g.SquaredLength()) g = w;
            }
            const bool tiny = g.Length() <= Qmt::QmtMatrix3::EPSILON;
            g = unit(g);
            bool keep = tiny ? g.Dot(f.n) < -TOL * g.Length() : g.Dot(f.n) < -TOL;
            QmtVector3 area;  // clear area vectors decide
            for (std::size_t i = 1; i + 1 < k; ++i)
                area += (verts[f.v[i]] - verts[f.v[0]]).Cross(verts[f.v[i + 1]] - verts[f.v[0]]);
            if (std::fabs(area.Dot(f.n)) > TOL * area.Length()) {
                keep = area.Dot(f.n) > 0.0;
            }
            if (k <= 32) {
                std::vector<std::uint32_t> v = f.v;
                if (!keep) std::reverse(v.begin(), v.end());
                out.faces.push_back(v);
                out.normals.push_back(f.n);
            } else {
                for (std::size_t i = 0; i + 2 < k; ++i) {
                    out.faces.push_back(keep ? std::vector<std::uint32_t>{f.v[0], f.v[i + 1], f.v[i + 2]}
                                             : std::vector<std::uint32_t>{f.v[0], f.v[i + 2], f.v[i + 1]});
                    out.normals.push_back(f.n);
                }
            }
        }
        out.ok = !out.faces.empty();
        return out;
    }
};

inline double cloudSize(const QmtVector3* pts, std::uint32_t n) {
    QmtVector3 lo = pts[0], hi = pts[0];
    for (std::uint32_t i = 1; i < n; ++i) {
        lo = {std::min(lo.x, pts[i].x), std::min(lo.y, pts[i].y), std::min(lo.z, pts[i].z)};
        hi = {std::max(hi.x, pts[i].x), std::max(hi.y, pts[i].y), std::max(hi.z, pts[i].z)};
    }
    return std::max((hi - lo).Length(), 1.0);
}

inline QmtVector3 centre(const QmtVector3* pts, const std::uint32_t* s) {
    return (pts[s[0]] + pts[s[1]] + pts[s[2]] + pts[s[3]]) * 0.25;
}

// Growth by the largest projection on the newest face a candidate is outside of.
inline Result buildMesh(const QmtVector3* pts, std::uint32_t n) {
    Builder b;
    if (n < 3 || !b.buildSimplex(pts, n)) return {};
    b.slack = TOL * cloudSize(pts, n);
    if (b.verts.size() == 3) return b.output(true);
    std::vector<std::uint32_t> cands;  // front first: n-1 down to 0
    for (std::uint32_t i = n; i-- > 0;)
        if (std::find(b.simplex, b.simplex + 4, i) == b.simplex + 4) cands.push_back(i);
    const QmtVector3 c = centre(pts, b.simplex);
    while (true) {
        double best = -3.4028234663852886e38;
        constexpr std::size_t NO_CHOICE = ~std::size_t{0};
        std::size_t choice = NO_CHOICE;
        for (std::size_t i = 0; i < cands.size();) {
            const QmtVector3& p = pts[cands[i]];
            bool outside = false;
            for (const Face& f : b.faces) {
                if (p.Dot(f.n) > b.verts[f.v[0]].Dot(f.n) + TOL) {
                    outside = true;
                    if (p.Dot(f.n) > best) { best = p.Dot(f.n); choice = i; }
                    break;
                }
            }
            if (outside) {
                ++i;
            } else {
                cands.erase(cands.begin() + static_cast<long>(i));  // never before the choice
            }
        }
        if (choice == NO_CHOICE || b.verts.size() >= n) break;
        if (!b.add(pts[cands[choice]], c)) break;
        cands.erase(cands.begin() + static_cast<long>(choice));
        if (cands.empty()) break;
    }
    b.merge();
    b.compact();
    return b.finish();
}

// Face-driven growth.
inline Result buildDF(const QmtVector3* pts, std::uint32_t n) {
    Builder b;
    if (n < 3 || !b.buildSimplex(pts, n)) return {};
    b.slack = TOL * cloudSize(pts, n);
    if (b.verts.size() == 3) return b.output(true);
    std::vector<std::uint32_t> cands;
    for (std::uint32_t i = n; i-- > 0;)
        if (std::find(b.simplex, b.simplex + 4, i) == b.simplex + 4) cands.push_back(i);
    const QmtVector3 c = centre(pts, b.simplex);
    bool added = true;
    while (added && !cands.empty()) {
        added = false;
        for (std::size_t fi = 0; fi < b.faces.size() && !added; ++fi) {
            const Face f = b.faces[fi];
            std::size_t best = 0;
            for (std::size_t i = 1; i < cands.size(); ++i)
                if (pts[cands[i]].Dot(f.n) > pts[cands[best]].Dot(f.n)) best = i;
            if ((pts[cands[best]] - b.verts[f.v[0]]).Dot(f.n) > TOL && b.verts.size() < n) {
                if (b.add(pts[cands[best]], c)) {
                    cands.erase(cands.begin() + static_cast<long>(best));
                    added = true;
                }
            }
        }
    }
    b.merge();
    b.compact();
    return b.finish();
}

}  // namespace hullref
