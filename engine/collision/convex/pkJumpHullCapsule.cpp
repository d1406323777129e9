// Contact manifolds of a hull against a capsule (by polytope expansion) and against
// a plane (by a climb to the deepest vertex).
#include "engine/collision/convex/pkJump.h"
#include "engine/collision/convex/pkJumpHullFeatures.h"
#include "engine/collision/convex/pkJumpHullPairs.h"
#include "engine/collision/convex/pkJumpLoop.h"
#include "engine/collision/convex/pkJumpPolytope.h"
#include "geometry/query/proximity.h"
#include "geometry/query/triangleTests.h"

using PkJumpDetail::absolute;
using PkJumpDetail::CapsuleSide;
using PkJumpDetail::HullCapsuleSupport;
using PkJumpDetail::HullFeature;
using PkJumpDetail::HullSide;
using PkJumpDetail::HullTopology;
using PkJumpDetail::PK_EPS;
using PkJumpDetail::unit;

namespace {

// Radial direction from the capsule's axis to p (not normalised).
Qmt::QmtVector3 radial(const ZYLcapsule& capsule, const Qmt::QmtVector3& p) {
    const Qmt::QmtVector3 r = p - capsule.centre;
    return r - capsule.axis * r.Dot(capsule.axis);
}

}  // namespace

bool Pk_jump::buildStartTetrahedronHullCapsule(const BVmesh& hull, const ZYLcapsule& capsule,
                                               const ProximityCache& cache, Polytope& polytope) const {
    const HullSide a(hull);
    const CapsuleSide b(capsule);
    if (a.empty() || cache.vertexA >= a.size()) {
        return false;
    }
    const HullCapsuleSupport pair(a, b);
    return PkJumpDetail::buildStartTetrahedron(pair, PkJumpDetail::startRecord(pair, cache), polytope);
}

bool Pk_jump::expandPolytopeHullCapsule(const BVmesh& /*hull*/, const ZYLcapsule& /*capsule*/,
                                        const SupportRecord& search, Polytope& polytope) const {
    return polytope.expand(search);
}

bool Pk_jump::contactHullCapsule(const BVmesh& hull, const ZYLcapsule& capsule, ProximityCache& cache,
                                 Qmt::QmtVector3* points, Qmt::QmtVector3* normals, std::uint32_t& count,
                                 double* values, std::uint32_t& featureId,
                                 Qmt::QmtVector3* featureVector) const {
    const HullSide a(hull);
    const HullTopology topology(hull);
    if (a.empty() || topology.empty()) {
        return false;
    }
    if (cache.direction.SquaredLength() < PK_EPS && testHullCapsule(hull, capsule, cache) == 0) {
        return false;
    }
    if (cache.vertexA >= a.size()) {
        cache.vertexA = 0;
    }
    const CapsuleSide b(capsule);
    const HullCapsuleSupport pair(a, b);
    Polytope polytope;
    PkJumpDetail::ExpansionEnd end;
    const auto done = [&](const SupportRecord& s, const PolytopeFace& f) {
        return isExpansionDoneHullCapsule(hull, capsule, s, f, polytope.vertices.data(), polytope.vertices.size());
    };
    if (!PkJumpDetail::expandFromCache(pair, cache, polytope, done, end)) {
        return false;
    }
    count = 0;
    if (end.found) {
        const PolytopeFace& F = end.face;
        const std::uint32_t corner[3] = {F.i0, F.i1, F.i2};
        std::uint32_t h[3];
        Qmt::QmtVector3 c[3];
        for (std::uint32_t i = 0; i < 3; ++i) {
            h[i] = polytope.vertices[corner[i]].vertexA;
            c[i] = polytope.point(corner[i]) + a.point(h[i]);
        }
        Qmt::QmtVector3 capsuleFeature[2];
        std::uint32_t capsuleCount = 1;
        const PkJumpDetail::FaceFeature feature = PkJumpDetail::selectFaceFeature(*this, polytope, F);
        std::uint32_t hullFeature[3];
        const std::uint32_t hullCount = PkJumpDetail::featureVertices(h, feature, hullFeature);
        if (feature.kind == PkJumpDetail::FaceFeature::FACE) {
            // The capsule pair with the largest spread along the axis; two points when
            // they lie on both sides of the centre.
            static constexpr std::uint32_t pairs[3][2] = {{0, 1}, {0, 2}, {1, 2}};
            std::uint32_t best = 0;
            double spread = -1.0;
            for (std::uint32_t p = 0; p < 3; ++p) {
                const double s = absolute((c[pairs[p][1]] - c[pairs[p][0]]).Dot(capsule.axis));
                if (s > spread) {
                    spread = s;
                    best = p;
                }
            }
            const Qmt::QmtVector3& p0 = c[pairs[best][0]];
            const Qmt::QmtVector3& p1 = c[pairs[best][1]];
            if ((p0 - capsule.centre).Dot(capsule.axis) * (p1 - capsule.centre).Dot(capsule.axis) < -PK_EPS) {
                capsuleFeature[0] = p0;
                capsuleFeature[1] = p1;
                capsuleCount = 2;
            } else {
                capsuleFeature[0] = c[0];
            }
        } else if (feature.kind == PkJumpDetail::FaceFeature::EDGE) {
            const std::uint32_t j = feature.first, j1 = (j + 1) % 3;
            capsuleFeature[0] = c[j];
            if (absolute((c[j1] - c[j]).Dot(capsule.axis)) > PK_EPS) {
                capsuleFeature[1] = c[j1];
                capsuleCount = 2;
            }
        } else {
            capsuleFeature[0] = c[feature.first];
        }
        hullCapsuleManifold(hull, capsule, hullFeature, hullCount, capsuleFeature, capsuleCount, points,
                            normals, count, values, featureId);
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

void Pk_jump::hullCapsuleManifold(const BVmesh& hull, const ZYLcapsule& capsule,
                                  const std::uint32_t* hullFeature, std::uint32_t hullCount,
                                  const Qmt::QmtVector3* capsuleFeature, std::uint32_t capsuleCount,
                                  Qmt::QmtVector3* points, Qmt::QmtVector3* normals, std::uint32_t& count,
                                  double* values, std::uint32_t& featureId) const {
    const HullTopology h(hull);
    count = 0;
    if (h.empty() || hullCount < 1 || hullCount > 3 || capsuleCount < 1 || capsuleCount > 2) {
        return;
    }
    const HullFeature f = h.name(hullFeature, hullCount);
    const Qmt::QmtVector3& axis = capsule.axis;
    const Qmt::QmtVector3 halfAxis = axis * (capsule.length * 0.5);
    Qmt::QmtVector3 c0 = capsuleFeature[0];
    Qmt::QmtVector3 c1 = capsuleCount == 2 ? capsuleFeature[1] : c0;
    std::uint32_t capsulePoints = capsuleCount;
    // A capsule lying flat on the face touches it along its length: widen its one
    // point to the same radial offset at the other end.
    if (f.kind == HullFeature::FACE && capsulePoints == 1 && axis.SquaredLength() > PK_EPS &&
        absolute(h.faceNormal(f.id).Dot(axis)) < PK_EPS) {
        const double s = (c0 - capsule.centre).Dot(axis);
        const Qmt::QmtVector3 r = (c0 - capsule.centre) - axis * s;
        c1 = s < -PK_EPS ? capsule.centre + halfAxis + r : capsule.centre - halfAxis + r;
        capsulePoints = 2;
    }
    const std::uint32_t H0 = f.vertices[0];
    const Qmt::QmtVector3& V0 = h.vertex(H0);
    featureId = h.firstFace(H0);

    if (f.kind == HullFeature::VERTEX && capsulePoints == 1) {
        const Qmt::QmtVector3 gap = c0 - V0;
        const double length = gap.Length();
        points[0] = V0;
        if (length < PK_EPS) {
            normals[0] = unit(-h.vertexNormalSum(H0));
            values[0] = 0.0;
        } else {
            normals[0] = unit(gap);
            values[0] = -length;
        }
        count = 1;
    } else if (f.kind == HullFeature::VERTEX) {
        points[0] = V0;
        normals[0] = unit(radial(capsule, c0));
        values[0] = (V0 - c0).Dot(normals[0]);
        count = 1;
    } else if (f.kind == HullFeature::EDGE && capsulePoints == 1) {
        const Qmt::QmtVector3 e = h.vertex(f.vertices[1]) - V0;
        const double ee = e.SquaredLength();
        const double t = ee > 0.0 ? (c0 - V0).Dot(e) / ee : 0.0;
        points[0] = V0 + e * t;
        const connect_edge& edge = h.edge(f.id);
        normals[0] = unit(-(h.faceNormal(edge.faceA) + h.faceNormal(edge.faceB)));
        values[0] = (points[0] - c0).Dot(normals[0]);
        count = 1;
    } else if (f.kind == HullFeature::EDGE) {
        const Qmt::QmtVector3& V1 = h.vertex(f.vertices[1]);
        const Qmt::QmtVector3 e = V1 - V0;
        double s = 0.0, t = 0.0;
        sqrDistanceSegmentSegment(V0, V1, c0, c1, s, t);
        points[0] = V0 + e * s;
        Qmt::QmtVector3 n = e.Cross(c1 - c0);
        if (n.SquaredLength() < PK_EPS) {
            n = radial(capsule, points[0]);
        }
        n = unit(n);
        if (radial(capsule, c0).Dot(n) < -PK_EPS) {
            n = -n;
        }
        normals[0] = n;
        const Qmt::QmtVector3& q = V0.Dot(n) < V1.Dot(n) ? V0 : V1;
        const Qmt::QmtVector3& sp = c0.Dot(n) > c1.Dot(n) ? c0 : c1;
        values[0] = (q - sp).Dot(n);
        count = 1;
    } else if (capsulePoints == 1) {
        const Qmt::QmtVector3 n = -h.faceNormal(f.id);
        const double value = -((c0 - V0).Dot(n));
        points[0] = c0 + n * value;
        normals[0] = n;
        values[0] = value;
        count = 1;
    } else {
        const Qmt::QmtVector3 n = -h.faceNormal(f.id);
        Qmt::QmtVector3 polygon[ZYLFACE_MAX_CORNERS];
        const std::uint32_t corners = h.facePolygon(f.id, polygon);
        std::uint32_t lowest = 0;
        for (std::uint32_t k = 1; k < corners; ++k) {
            if (polygon[k].Dot(n) < polygon[lowest].Dot(n)) {
                lowest = k;
            }
        }
        const Qmt::QmtVector3& sp = c0.Dot(n) > c1.Dot(n) ? c0 : c1;
        const double value = (polygon[lowest] - sp).Dot(n);
        // The segment moves by the depth onto the face plane before the clip, so the
        // points lie on the hull's surface like every other row's.
        const Qmt::QmtVector3 o = n * value;
        Qmt::QmtVector3 clipped[2];
        count = clipSegmentToPolygon(c0 + o, c1 + o, polygon, corners, n, clipped);
        for (std::uint32_t k = 0; k < count; ++k) {
            points[k] = clipped[k];
        }
        normals[0] = n;
        values[0] = value;
    }
}

bool Pk_jump::contactHullPlane(const BVmesh& hull, const Qmt::QmtVector3& p, const Qmt::QmtVector3& n,
                               ProximityCache& cache, Qmt::QmtVector3* points, Qmt::QmtVector3* normals,
                               std::uint32_t& count, double* values, std::uint32_t& featureId,
                               Qmt::QmtVector3* featureVector, double level) const {
    const HullSide a(hull);
    const HullTopology h(hull);
    if (a.empty() || h.empty()) {
        return false;
    }
    if (cache.direction.SquaredLength() < PK_EPS && !initPlaneCache(hull, p, n, cache)) {
        return false;
    }
    if (cache.vertexA >= a.size()) {
        cache.vertexA = 0;
    }
    const std::uint32_t t0 = a.support(cache.vertexA, -n);
    const double depth = (a.point(t0) - p).Dot(n);
    std::uint32_t touching[3] = {t0, 0, 0};
    std::uint32_t touchingCount = 1;
    const connect_vertex& links = h.links(t0);
    for (std::uint32_t k = 0; k < links.numEdges && touchingCount < 3; ++k) {
        const connect_edge& e = h.edge(links.edges[k]);
        const std::uint32_t w = e.v0 == t0 ? e.v1 : e.v0;
        if (absolute((a.point(w) - p).Dot(n) - depth) < level) {
            touching[touchingCount++] = w;
        }
    }
    hullPlaneFeature(hull, p, n, touching, touchingCount, points, normals, values, count, featureId);
    if (count == 0) {
        cache.direction = Qmt::QmtVector3(0.0, 0.0, 0.0);
        return false;
    }
    if (featureVector) {
        *featureVector = n;
    }
    return true;
}
