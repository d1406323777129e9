#include "engine/collision/convex/pkJumpPolytope.h"

#include "geometry/query/proximity.h"

namespace {

using PkJumpDetail::BlockArray;
using PkJumpDetail::PK_EPS;
using PkJumpDetail::unit;

struct EdgeKey {
    std::uint32_t a = 0, b = 0;
};

bool sameEdge(std::uint32_t a0, std::uint32_t b0, std::uint32_t a1, std::uint32_t b1) {
    return (a0 == a1 && b0 == b1) || (a0 == b1 && b0 == a1);
}

bool faceHasEdge(const PolytopeFace& f, std::uint32_t a, std::uint32_t b) {
    return sameEdge(f.i0, f.i1, a, b) || sameEdge(f.i1, f.i2, a, b) || sameEdge(f.i2, f.i0, a, b);
}

}  // namespace

bool Polytope::addEdge(std::uint32_t a, std::uint32_t b) { return addEdgeFrom(0, a, b); }

bool Polytope::addEdgeFrom(std::uint32_t first, std::uint32_t a, std::uint32_t b) {
    for (std::uint32_t i = first; i < edges.size(); ++i) {
        if (sameEdge(edges[i].i0, edges[i].i1, a, b)) {
            return true;
        }
    }
    PolytopeEdge e;
    e.i0 = a;
    e.i1 = b;
    return keep(edges.push(e));
}

bool Polytope::expand(const SupportRecord& w) {
    if (!addVertex(w)) {
        return false;
    }
    const std::uint32_t added = vertices.size() - 1;
    const Qmt::QmtVector3& W = w.difference;

    // Faces that see w leave the face list for the visible list. Both lists take new
    // entries at their head, so the visible list runs oldest face first.
    BlockArray<PolytopeFace> visible;
    std::uint32_t kept = 0;
    for (std::uint32_t i = 0; i < faces.size(); ++i) {
        if (unit(W - point(faces[i].i0)).Dot(faces[i].normal) > PK_EPS) {
            if (!keep(visible.push(faces[i]))) {
                return false;
            }
        } else {
            faces[kept++] = faces[i];
        }
    }
    if (visible.size() == 0) {
        return false;
    }
    faces.resize(kept);

    // The horizon: edges of exactly one visible face. An edge shared with a later
    // visible face makes no face; the later face then finds it handled.
    BlockArray<EdgeKey> handled, horizon;
    for (std::uint32_t v = 0; v < visible.size(); ++v) {
        const PolytopeFace& f = visible[v];
        const EdgeKey sides[3] = {{f.i0, f.i1}, {f.i1, f.i2}, {f.i2, f.i0}};
        for (const EdgeKey& e : sides) {
            bool seen = false;
            for (std::uint32_t h = 0; h < handled.size() && !seen; ++h) {
                seen = sameEdge(handled[h].a, handled[h].b, e.a, e.b);
            }
            if (seen) {
                continue;
            }
            if (!keep(handled.push(e))) {
                return false;
            }
            bool shared = false;
            for (std::uint32_t later = v + 1; later < visible.size() && !shared; ++later) {
                shared = faceHasEdge(visible[later], e.a, e.b);
            }
            if (!shared && !keep(horizon.push(e))) {
                return false;
            }
        }
    }

    // New faces from the horizon list, walked from its head (the last edge found).
    // Every edge to the new vertex is made in this step, so only this step's edges
    // need checking for repeats.
    const std::uint32_t stepEdges = edges.size();
    for (std::uint32_t h = horizon.size(); h-- > 0;) {
        const std::uint32_t a = horizon[h].a, b = horizon[h].b;
        Qmt::QmtVector3 normal = unit((point(b) - point(a)).Cross(W - point(b)));
        if (!(unit(interior - W).Dot(normal) < -PK_EPS)) {
            normal = -normal;
        }
        if (!addEdgeFrom(stepEdges, a, added) || !addEdgeFrom(stepEdges, b, added)) {
            return false;
        }
        if (isDegenerateTriangle(point(a), point(b), W, true, PK_EPS)) {
            continue;
        }
        PolytopeFace f;
        f.i0 = a;
        f.i1 = b;
        f.i2 = added;
        f.normal = normal;
        if (!pushFace(f)) {
            return false;
        }
    }
    return true;
}

const PolytopeFace* Polytope::nearestFace() const {
    const PolytopeFace* best = nullptr;
    double bestDistance = 0.0;
    for (std::uint32_t i = faces.size(); i-- > 0;) {
        const double d = distance(faces[i]);
        if (!best || d < bestDistance) {
            best = &faces[i];
            bestDistance = d;
        }
    }
    return best;
}

const PolytopeFace* Polytope::nearestFaceAbsolute() const {
    const PolytopeFace* best = nullptr;
    double bestDistance = PkJumpDetail::PK_RUNNING_MIN;
    for (std::uint32_t i = faces.size(); i-- > 0;) {
        const double d = distance(faces[i]);
        const double a = d < 0.0 ? -d : d;
        if (a < bestDistance) {
            best = &faces[i];
            bestDistance = a;
        }
    }
    return best;
}

namespace PkJumpDetail {

FaceFeature selectFaceFeature(const Pk_jump& solver, const Polytope& polytope, const PolytopeFace& F,
                              bool strict) {
    const Qmt::QmtVector3 P[3] = {polytope.point(F.i0), polytope.point(F.i1), polytope.point(F.i2)};
    const double s0 = P[0].SquaredLength(), s1 = P[1].SquaredLength(), s2 = P[2].SquaredLength();
    std::uint32_t k;
    if (s1 > s0) {
        k = s2 > s0 ? 0 : 2;
    } else {
        k = s2 > s1 ? 1 : 2;
    }
    const double d[3] = {solver.segmentOriginSqrDistance(P[0], P[1]),
                         solver.segmentOriginSqrDistance(P[1], P[2]),
                         solver.segmentOriginSqrDistance(P[2], P[0])};
    std::uint32_t j;
    if (d[1] > d[0]) {
        j = d[2] > d[0] ? 0 : 2;
    } else {
        j = d[2] > d[1] ? 1 : 2;
    }
    const double h = P[0].Dot(F.normal);
    const double h2 = h * h;
    const double pk = P[k].SquaredLength();
    FaceFeature feature;
    if (strict) {
        if (d[j] > h2) {
            feature.kind = pk > h2 ? FaceFeature::FACE : FaceFeature::VERTEX;
            feature.first = pk > h2 ? 0 : k;
        } else if (pk > d[j]) {
            feature.kind = FaceFeature::EDGE;
            feature.first = j;
        } else {
            feature.kind = FaceFeature::VERTEX;
            feature.first = k;
        }
        return feature;
    }
    if (d[j] >= h2 && pk >= h2) {
        feature.kind = FaceFeature::FACE;
    } else if (pk >= d[j] && h2 >= d[j]) {
        feature.kind = FaceFeature::EDGE;
        feature.first = j;
    } else {
        feature.kind = FaceFeature::VERTEX;
        feature.first = k;
    }
    return feature;
}

}  // namespace PkJumpDetail
