#pragma once

// A deliberately plain hull builder for differential tests: linear scans over vectors
// that follow the build rules step by step, with no indexing of any kind. The fast
// builders must produce bit-identical meshes.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "geometry/proximity.h"
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
};

inline QmtVector3 unit(QmtVector3 v) {
    v.Unitize(Qmt::QmtMatrix3::EPSILON);
    return v;
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
                QmtVector3 n = unit((verts[b] - verts[a]).Cross(p - verts[b]));
                if (!(d.Dot(n) < -TOL)) n = -n;
                for (const Edge ne : {Edge{a, ip}, Edge{ip, b}}) {
                    if (std::none_of(created.begin(), created.end(), [&](const Edge& x) { return x.is(ne.a, ne.b); }))
                        created.push_back(ne);
                }
                if (!degen(a, b, ip)) faces.insert(faces.begin(), Face{{a, b, ip}, n});
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
                const std::size_t m = L.size();
                std::vector<std::uint32_t> kept;
                for (std::size_t i = 1; i + 1 < m; ++i)
                    if (!degen(L[i - 1], L[i], L[i + 1])) kept.push_back(L[i]);
                if (!degen(L[m - 2], L[m - 1], L[0])) kept.push_back(L[m - 1]);
                if (!degen(L[m - 1], L[0], L[1])) kept.push_back(L[0]);
                faces[F].v = kept;
                edges.erase(edges.begin() + static_cast<long>(ei));
                faces.erase(faces.begin() + static_cast<long>(G));
                if (kept.size() < 3) faces.erase(faces.begin() + static_cast<long>(F));
                merged = true;
            }
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
            g = unit(g);
            const bool keep = g.Dot(f.n) < -TOL;
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

inline QmtVector3 centre(const QmtVector3* pts, const std::uint32_t* s) {
    return (pts[s[0]] + pts[s[1]] + pts[s[2]] + pts[s[3]]) * 0.25;
}

// Growth by the largest projection on the newest face a candidate is outside of.
inline Result buildMesh(const QmtVector3* pts, std::uint32_t n) {
    Builder b;
    if (n < 3 || !b.buildSimplex(pts, n)) return {};
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
    return b.output(false);
}

// Face-driven growth.
inline Result buildDF(const QmtVector3* pts, std::uint32_t n) {
    Builder b;
    if (n < 3 || !b.buildSimplex(pts, n)) return {};
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
    return b.output(false);
}

}  // namespace hullref
