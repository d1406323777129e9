// Contact manifold of two hulls: polytope expansion to the touching features, their
// promotion to faces where faces meet, and the contact of the feature pair.
#include "engine/collision/convex/pkJump.h"
#include "engine/collision/convex/pkJumpHullFeatures.h"
#include "engine/collision/convex/pkJumpHullPairs.h"
#include "engine/collision/convex/pkJumpLoop.h"
#include "engine/collision/convex/pkJumpPolytope.h"
#include "geometry/query/capsuleProximity.h"
#include "geometry/query/proximity.h"
#include "geometry/query/triangleTests.h"

using PkJumpDetail::absolute;
using PkJumpDetail::HullFeature;
using PkJumpDetail::HullHullSupport;
using PkJumpDetail::HullSide;
using PkJumpDetail::HullTopology;
using PkJumpDetail::PK_EPS;
using PkJumpDetail::unit;

namespace {

constexpr double SAME_WAY = 0.99999;

// Both hulls' features, promoted to faces where two faces meet across them.
void promote(const HullTopology& A, const HullTopology& B, HullFeature& fa, HullFeature& fb) {
    const auto validFace = [](const HullTopology& h, std::uint32_t f) { return f < h.faceCount(); };
    if (fa.kind == HullFeature::EDGE && fb.kind == HullFeature::EDGE) {
        const connect_edge& eA = A.edge(fa.id);
        const connect_edge& eB = B.edge(fb.id);
        const std::uint32_t fA0 = eA.faceA, fA1 = eA.faceB, fB0 = eB.faceA, fB1 = eB.faceB;
        if (!validFace(A, fA0) || !validFace(A, fA1) || !validFace(B, fB0) || !validFace(B, fB1)) {
            return;
        }
        const auto score = [&](std::uint32_t f, std::uint32_t g) { return A.faceNormal(f).Dot(-B.faceNormal(g)); };
        const double s00 = score(fA0, fB0), s11 = score(fA1, fB1);
        const double c10 = score(fA1, fB0), c01 = score(fA0, fB1);
        const bool crossed = absolute(c10) + absolute(c01) > absolute(s00) + absolute(s11);
        // The first pair holds fB0 (score u), the second fB1 (score w).
        const std::uint32_t firstA = crossed ? fA1 : fA0, secondA = crossed ? fA0 : fA1;
        const double u = crossed ? c10 : s00, w = crossed ? c01 : s11;

        enum { STAY, FIRST, SECOND, BY_DISTANCE } choice = STAY;
        const Qmt::QmtVector3 dirA = unit(A.vertex(fa.vertices[1]) - A.vertex(fa.vertices[0]));
        const Qmt::QmtVector3 dirB = unit(B.vertex(fb.vertices[1]) - B.vertex(fb.vertices[0]));
        if (dirA.Cross(dirB).SquaredLength() >= PK_EPS) {
            if (u > SAME_WAY && w > SAME_WAY) {
                choice = BY_DISTANCE;
            } else if (u > SAME_WAY) {
                choice = FIRST;
            } else if (w > SAME_WAY) {
                choice = SECOND;
            }
        } else if (absolute(u - w) > SAME_WAY) {
            choice = BY_DISTANCE;
        } else if (u <= w) {
            choice = u <= SAME_WAY ? SECOND : BY_DISTANCE;
        } else {
            choice = w <= SAME_WAY ? FIRST : BY_DISTANCE;
        }
        if (choice == BY_DISTANCE) {
            const Qmt::QmtVector3 gap = A.vertex(eA.v0) - B.vertex(eB.v0);
            const double g0 = gap.Dot(B.faceNormal(fB0)), g1 = gap.Dot(B.faceNormal(fB1));
            choice = absolute(g1) <= absolute(g0) ? SECOND : FIRST;
        }
        if (choice == FIRST) {
            fa = A.faceFeature(firstA);
            fb = B.faceFeature(fB0);
        } else if (choice == SECOND) {
            fa = A.faceFeature(secondA);
            fb = B.faceFeature(fB1);
        }
    } else if (fa.kind == HullFeature::EDGE && fb.kind == HullFeature::FACE) {
        const connect_edge& eA = A.edge(fa.id);
        for (const std::uint32_t f : {eA.faceA, eA.faceB}) {
            if (validFace(A, f) && B.faceNormal(fb.id).Dot(-A.faceNormal(f)) > SAME_WAY) {
                fa = A.faceFeature(f);
                break;
            }
        }
    } else if (fa.kind == HullFeature::FACE && fb.kind == HullFeature::EDGE) {
        const connect_edge& eB = B.edge(fb.id);
        for (const std::uint32_t f : {eB.faceA, eB.faceB}) {
            if (validFace(B, f) && A.faceNormal(fa.id).Dot(-B.faceNormal(f)) > SAME_WAY) {
                fb = B.faceFeature(f);
                break;
            }
        }
    }
}

// Index of the point with the smallest (lowest) or largest projection on n; the
// first wins ties.
std::uint32_t extreme(const Qmt::QmtVector3* p, std::uint32_t n, const Qmt::QmtVector3& axis, bool largest) {
    std::uint32_t best = 0;
    for (std::uint32_t k = 1; k < n; ++k) {
        const double d = p[k].Dot(axis) - p[best].Dot(axis);
        if (largest ? d > 0.0 : d < 0.0) {
            best = k;
        }
    }
    return best;
}

}  // namespace

bool Pk_jump::buildStartTetrahedronHullHull(const BVmesh& hullA, const BVmesh& hullB,
                                            const ProximityCache& cache, Polytope& polytope) const {
    const HullSide a(hullA);
    const HullSide b(hullB);
    if (a.empty() || b.empty() || cache.vertexA >= a.size() || cache.vertexB >= b.size()) {
        return false;
    }
    const HullHullSupport pair(a, b);
    return PkJumpDetail::buildStartTetrahedron(pair, PkJumpDetail::startRecord(pair, cache), polytope);
}

bool Pk_jump::expandPolytopeHullHull(const BVmesh& /*hullA*/, const BVmesh& /*hullB*/,
                                     const SupportRecord& search, Polytope& polytope) const {
    return polytope.expand(search);
}

bool Pk_jump::contactHullHull(const BVmesh& hullA, const BVmesh& hullB, ProximityCache& cache,
                              Qmt::QmtVector3* points, Qmt::QmtVector3* normals, std::uint32_t& count,
                              double* values, std::uint32_t& featureIdA, std::uint32_t& featureIdB,
                              Qmt::QmtVector3* featureVector) const {
    const HullSide a(hullA);
    const HullSide b(hullB);
    if (a.empty() || b.empty() || HullTopology(hullA).empty() || HullTopology(hullB).empty()) {
        return false;
    }
    if (cache.direction.SquaredLength() < PK_EPS && testHullHull(hullA, hullB, cache) == 0) {
        return false;
    }
    if (cache.vertexA >= a.size()) cache.vertexA = 0;
    if (cache.vertexB >= b.size()) cache.vertexB = 0;
    const HullHullSupport pair(a, b);
    Polytope polytope;
    PkJumpDetail::ExpansionEnd end;
    const auto done = [&](const SupportRecord& s, const PolytopeFace& f) {
        return isExpansionDoneHullHull(hullA, hullB, s, f, polytope.vertices.data(), polytope.vertices.size());
    };
    if (!PkJumpDetail::expandFromCache(pair, cache, polytope, done, end)) {
        return false;
    }
    count = 0;
    if (end.found) {
        const PolytopeFace& F = end.face;
        const std::uint32_t corner[3] = {F.i0, F.i1, F.i2};
        std::uint32_t ha[3], hb[3];
        for (std::uint32_t i = 0; i < 3; ++i) {
            ha[i] = polytope.vertices[corner[i]].vertexA;
            hb[i] = polytope.vertices[corner[i]].vertexB;
        }
        const PkJumpDetail::FaceFeature feature = PkJumpDetail::selectFaceFeature(*this, polytope, F);
        std::uint32_t fa[3], fb[3];
        const std::uint32_t na = PkJumpDetail::featureVertices(ha, feature, fa);
        const std::uint32_t nb = PkJumpDetail::featureVertices(hb, feature, fb);
        hullHullManifold(hullA, hullB, fa, na, fb, nb, points, normals, count, values, featureIdA, featureIdB);
        if (count > 0 && !PkJumpDetail::isUnitNormal(normals[0])) {
            count = 0;
        }
        if (count > 0 && featureVector) {
            *featureVector = F.normal;
        }
    }
    if (count == 0) {
        cache.direction = Qmt::QmtVector3(0.0, 0.0, 0.0);
        return false;
    }
    return true;
}

void Pk_jump::hullHullManifold(const BVmesh& hullA, const BVmesh& hullB, const std::uint32_t* featureA,
                               std::uint32_t countA, const std::uint32_t* featureB, std::uint32_t countB,
                               Qmt::QmtVector3* points, Qmt::QmtVector3* normals, std::uint32_t& count,
                               double* values, std::uint32_t& featureIdA, std::uint32_t& featureIdB) const {
    const HullTopology A(hullA);
    const HullTopology B(hullB);
    count = 0;
    if (A.empty() || B.empty() || countA < 1 || countA > 3 || countB < 1 || countB > 3) {
        return;
    }
    HullFeature fa = A.name(featureA, countA);
    HullFeature fb = B.name(featureB, countB);
    promote(A, B, fa, fb);
    featureIdA = A.firstFace(fa.vertices[0]);
    featureIdB = B.firstFace(fb.vertices[0]);

    const Qmt::QmtVector3& A0 = A.vertex(fa.vertices[0]);
    const Qmt::QmtVector3& A1 = A.vertex(fa.kind == HullFeature::VERTEX ? fa.vertices[0] : fa.vertices[1]);
    const Qmt::QmtVector3& B0 = B.vertex(fb.vertices[0]);
    const Qmt::QmtVector3& B1 = B.vertex(fb.kind == HullFeature::VERTEX ? fb.vertices[0] : fb.vertices[1]);
    const auto edgeNormalSum = [](const HullTopology& h, std::uint32_t e) {
        return h.faceNormal(h.edge(e).faceA) + h.faceNormal(h.edge(e).faceB);
    };
    const HullFeature::Kind ka = fa.kind, kb = fb.kind;
    Qmt::QmtVector3 n;
    double value = 0.0;

    if (ka == HullFeature::VERTEX && kb == HullFeature::VERTEX) {
        const Qmt::QmtVector3 gap = B0 - A0;
        const double length = gap.Length();
        points[0] = A0;
        n = length < PK_EPS ? unit(B.vertexNormalSum(fb.vertices[0])) : unit(gap);
        value = length < PK_EPS ? 0.0 : -length;
        count = 1;
    } else if (ka == HullFeature::VERTEX && kb == HullFeature::EDGE) {
        points[0] = A0;
        n = unit(edgeNormalSum(B, fb.id));
        value = (A0 - B0).Dot(n);
        count = 1;
    } else if (ka == HullFeature::EDGE && kb == HullFeature::VERTEX) {
        const Qmt::QmtVector3 e = A1 - A0;
        const double ee = e.SquaredLength();
        points[0] = A0 + e * (ee > 0.0 ? (B0 - A0).Dot(e) / ee : 0.0);
        n = unit(-edgeNormalSum(A, fa.id));
        value = (points[0] - B0).Dot(n);
        count = 1;
    } else if (ka == HullFeature::VERTEX && kb == HullFeature::FACE) {
        points[0] = A0;
        n = B.faceNormal(fb.id);
        value = (A0 - B0).Dot(n);
        count = 1;
    } else if (ka == HullFeature::FACE && kb == HullFeature::VERTEX) {
        n = -A.faceNormal(fa.id);
        value = -((B0 - A0).Dot(n));
        points[0] = B0 + n * value;
        count = 1;
    } else if (ka == HullFeature::EDGE && kb == HullFeature::EDGE) {
        double s = 0.0, t = 0.0;
        sqrDistanceSegmentSegment(A0, A1, B0, B1, s, t);
        points[0] = A0 + (A1 - A0) * s;
        n = unit((A1 - A0).Cross(B1 - B0));
        const connect_edge& eB = B.edge(fb.id);
        const Qmt::QmtVector3 n0 = B.faceNormal(eB.faceA), n1 = B.faceNormal(eB.faceB);
        const Qmt::QmtVector3& aligned = absolute(n1.Dot(n)) > absolute(n0.Dot(n)) ? n1 : n0;
        if (aligned.Dot(n) < -PK_EPS) {
            n = -n;
        }
        const Qmt::QmtVector3& q = A0.Dot(n) < A1.Dot(n) ? A0 : A1;
        const Qmt::QmtVector3& sp = B0.Dot(n) > B1.Dot(n) ? B0 : B1;
        value = (q - sp).Dot(n);
        count = 1;
    } else if (ka == HullFeature::EDGE) {  // against B's face
        n = B.faceNormal(fb.id);
        Qmt::QmtVector3 polygon[ZYLFACE_MAX_CORNERS];
        const std::uint32_t corners = B.facePolygon(fb.id, polygon);
        const Qmt::QmtVector3& q = A0.Dot(n) < A1.Dot(n) ? A0 : A1;
        const Qmt::QmtVector3 o = n * (q - polygon[extreme(polygon, corners, n, true)]).Dot(n);
        value = o.Dot(n);
        if (absolute(unit(A1 - A0).Dot(n)) < PK_EPS) {
            Qmt::QmtVector3 clipped[2];
            count = clipSegmentToPolygon(A0 - o, A1 - o, polygon, corners, n, clipped);
            for (std::uint32_t k = 0; k < count; ++k) {
                points[k] = clipped[k] + o;
            }
        } else {
            Qmt::QmtVector3 onSegment, onPolygon;
            if (sqrDistanceSegmentPolygon(A0, A1, polygon, corners, n, onSegment, onPolygon) <
                CAPSULE_PROXIMITY_NO_DISTANCE) {
                points[0] = onSegment;
                count = 1;
            }
        }
    } else if (kb == HullFeature::EDGE) {  // A's face against B's edge
        n = -A.faceNormal(fa.id);
        Qmt::QmtVector3 polygon[ZYLFACE_MAX_CORNERS];
        const std::uint32_t corners = A.facePolygon(fa.id, polygon);
        const Qmt::QmtVector3& sp = B0.Dot(n) > B1.Dot(n) ? B0 : B1;
        const Qmt::QmtVector3 o = n * (polygon[extreme(polygon, corners, n, false)] - sp).Dot(n);
        value = o.Dot(n);
        if (absolute(unit(B1 - B0).Dot(A.faceNormal(fa.id))) < PK_EPS) {
            // B's edge moved by o lies on A's face: the points sit on A's surface.
            Qmt::QmtVector3 clipped[2];
            count = clipSegmentToPolygon(B0 + o, B1 + o, polygon, corners, n, clipped);
            for (std::uint32_t k = 0; k < count; ++k) {
                points[k] = clipped[k];
            }
        } else {
            Qmt::QmtVector3 onSegment, onPolygon;
            if (sqrDistanceSegmentPolygon(B0, B1, polygon, corners, n, onSegment, onPolygon) <
                CAPSULE_PROXIMITY_NO_DISTANCE) {
                points[0] = onPolygon;
                count = 1;
            }
        }
    } else {  // face against face
        n = B.faceNormal(fb.id);
        Qmt::QmtVector3 polygonA[ZYLFACE_MAX_CORNERS], polygonB[ZYLFACE_MAX_CORNERS];
        const std::uint32_t cornersA = A.facePolygon(fa.id, polygonA);
        const std::uint32_t cornersB = B.facePolygon(fb.id, polygonB);
        const Qmt::QmtVector3 o = n * (polygonA[extreme(polygonA, cornersA, n, false)] -
                                       polygonB[extreme(polygonB, cornersB, n, true)])
                                          .Dot(n);
        value = o.Dot(n);
        for (std::uint32_t k = 0; k < cornersB; ++k) {
            polygonB[k] -= o;
        }
        // The overlap may have up to 64 corners; the pair holds 24, so the most
        // extreme 24 are kept.
        Qmt::QmtVector3 overlap[CLIP_MAX_VERTICES];
        const std::uint32_t found = coplanarPolygonOverlap(polygonA, cornersA, n, polygonB, cornersB, overlap);
        if (found <= PK_MAX_CONTACTS) {
            for (std::uint32_t k = 0; k < found; ++k) {
                points[k] = overlap[k];
            }
            count = found;
        } else {
            std::uint32_t chosen[PK_MAX_CONTACTS];
            std::uint32_t kept = PK_MAX_CONTACTS;
            selectExtremePoints(overlap, found, chosen, kept);
            for (std::uint32_t k = 0; k < kept; ++k) {
                points[k] = overlap[chosen[k]];
            }
            count = kept;
        }
    }
    if (count > 0) {
        normals[0] = n;
        values[0] = value;
    }
}
