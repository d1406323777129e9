// Sphere queries of the convex solver: hull against sphere (overlap and contact),
// sphere against sphere, and capsule against axis-aligned box. A sphere is read as a
// capsule of no length, so the capsule pair policy, the reflection loop, the start
// tetrahedron, the expansion and its stop test serve it unchanged.
#include "engine/collision/convex/pkJump.h"
#include "engine/collision/convex/pkJumpHullFeatures.h"
#include "engine/collision/convex/pkJumpHullPairs.h"
#include "engine/collision/convex/pkJumpLoop.h"
#include "engine/collision/convex/pkJumpPolytope.h"

using PkJumpDetail::BoxSide;
using PkJumpDetail::CapsulePairPolicy;
using PkJumpDetail::CapsuleSide;
using PkJumpDetail::HullCapsuleSupport;
using PkJumpDetail::HullFeature;
using PkJumpDetail::HullSide;
using PkJumpDetail::HullTopology;
using PkJumpDetail::PK_EPS;
using PkJumpDetail::unit;

namespace {

// The sphere as a capsule of no length: its support along d is exactly c + r d.
ZYLcapsule sphereRecord(const Qmt::QmtVector3& c, double r) {
    ZYLcapsule s;
    s.centre = c;
    s.axis = Qmt::QmtVector3(0.0, 0.0, 0.0);
    s.length = 0.0;
    s.radius = r;
    return s;
}

// The sphere pairs' fan tests close a winding at -1e-5 instead of 1e-5.
template <class Base>
struct SphereFan : Base {
    using Base::Base;
    static constexpr double FAN_WINDING_THRESHOLD = -PK_EPS;
};

using HullSpherePolicy = SphereFan<CapsulePairPolicy<HullSide>>;

// Two spheres: no support indices, so the stall and cycle rules compare directions.
class SpherePairPolicy {
public:
    static constexpr double FAN_WINDING_THRESHOLD = -PK_EPS;

    SpherePairPolicy(const CapsuleSide& a, const CapsuleSide& b) : a_(a), b_(b) {}

    bool usable() const { return true; }
    const Qmt::QmtVector3& centreA() const { return a_.centre(); }
    const Qmt::QmtVector3& centreB() const { return b_.centre(); }
    void takeSupports(SupportRecord& s) const { s.difference = recordDifference(s); }
    bool stalled(const SupportRecord& s, const SupportRecord& last) const { return sameWay(s, last); }
    bool revisits(const SupportRecord& s, const SupportRecord& earlier) const { return sameWay(s, earlier); }
    bool noBetter(const SupportRecord& s, const SupportRecord& record) const { return sameWay(s, record); }
    Qmt::QmtVector3 recordDifference(const SupportRecord& record) const {
        return b_.support(-record.direction) - a_.support(record.direction);
    }

private:
    static bool sameWay(const SupportRecord& x, const SupportRecord& y) {
        return x.direction.Dot(y.direction) > 0.99999;
    }
    const CapsuleSide& a_;
    const CapsuleSide& b_;
};

}  // namespace

PkJumpDetail::BoxSide::BoxSide(const BVAAbox& box) {
    if (!box.box) {
        return;
    }
    box.computeVertexes(corners_);
    centre_ = (box.box->minCorner + box.box->maxCorner) * 0.5;
    valid_ = true;
}

bool Pk_jump::fanTestHullSphere(const BVmesh& hull, const Qmt::QmtVector3& c, double r, const Qmt::QmtVector3& n,
                                Qmt::QmtVector3& fan, const SupportRecord* pool, std::uint32_t count) const {
    const HullSide a(hull);
    const ZYLcapsule sphere = sphereRecord(c, r);
    const CapsuleSide b(sphere);
    const HullSpherePolicy pair(a, b);
    return PkJumpDetail::fanTest(pair, n, fan, pool, count, nullptr, HullSpherePolicy::FAN_WINDING_THRESHOLD);
}

bool Pk_jump::fanTestSphereSphere(const Qmt::QmtVector3& cA, double rA, const Qmt::QmtVector3& cB, double rB,
                                  const Qmt::QmtVector3& n, Qmt::QmtVector3& fan, const SupportRecord* pool,
                                  std::uint32_t count) const {
    const ZYLcapsule sA = sphereRecord(cA, rA), sB = sphereRecord(cB, rB);
    const CapsuleSide a(sA), b(sB);
    return PkJumpDetail::fanTest(SpherePairPolicy(a, b), n, fan, pool, count, nullptr,
                                 SpherePairPolicy::FAN_WINDING_THRESHOLD);
}

std::uint32_t Pk_jump::testHullSphere(const BVmesh& hull, const Qmt::QmtVector3& c, double r,
                                      ProximityCache& cache) const {
    const HullSide a(hull);
    const ZYLcapsule sphere = sphereRecord(c, r);
    const CapsuleSide b(sphere);
    return PkJumpDetail::reflectionTest(HullSpherePolicy(a, b), cache);
}

std::uint32_t Pk_jump::testSphereSphere(const Qmt::QmtVector3& cA, double rA, const Qmt::QmtVector3& cB,
                                        double rB) const {
    SupportRecord s;
    s.direction = cB - cA;
    // Coincident centres give no direction to search along, and the spheres share
    // their centre.
    if (s.direction.Unitize(Qmt::QmtMatrix3::EPSILON) == 0.0) {
        return 1;
    }
    const ZYLcapsule sA = sphereRecord(cA, rA), sB = sphereRecord(cB, rB);
    const CapsuleSide a(sA), b(sB);
    return PkJumpDetail::reflectionSearch(SpherePairPolicy(a, b), s);
}

std::uint32_t Pk_jump::testCapsuleAAbox(const BVAAbox& box, const ZYLcapsule& capsule,
                                        ProximityCache& cache) const {
    const BoxSide a(box);
    const CapsuleSide b(capsule);
    return PkJumpDetail::reflectionTest(CapsulePairPolicy(a, b), cache);
}

bool Pk_jump::buildStartTetrahedronHullSphere(const BVmesh& hull, const Qmt::QmtVector3& c, double r,
                                              const ProximityCache& cache, Polytope& polytope) const {
    return buildStartTetrahedronHullCapsule(hull, sphereRecord(c, r), cache, polytope);
}

bool Pk_jump::expandPolytopeHullSphere(const BVmesh& /*hull*/, const Qmt::QmtVector3& /*c*/, double /*r*/,
                                       const SupportRecord& search, Polytope& polytope) const {
    return polytope.expand(search);
}

bool Pk_jump::isExpansionDoneHullSphere(const BVmesh& hull, const Qmt::QmtVector3& c, double r,
                                        const SupportRecord& search, const PolytopeFace& face,
                                        const SupportRecord* vertices, std::uint32_t count) const {
    return isExpansionDoneHullCapsule(hull, sphereRecord(c, r), search, face, vertices, count);
}

bool Pk_jump::contactHullSphere(const BVmesh& hull, const Qmt::QmtVector3& c, double r, ProximityCache& cache,
                                Qmt::QmtVector3* points, Qmt::QmtVector3* normals, std::uint32_t& count,
                                double* values, std::uint32_t& featureId) const {
    const HullSide a(hull);
    const HullTopology topology(hull);
    if (a.empty() || topology.empty()) {
        return false;
    }
    if (cache.direction.SquaredLength() < PK_EPS && testHullSphere(hull, c, r, cache) == 0) {
        return false;
    }
    if (cache.vertexA >= a.size()) {
        cache.vertexA = 0;
    }
    const ZYLcapsule sphere = sphereRecord(c, r);
    const CapsuleSide b(sphere);
    // The sphere is a capsule of no length, so the hull-capsule support serves it.
    const HullCapsuleSupport pair(a, b);
    Polytope polytope;
    PkJumpDetail::ExpansionEnd end;
    const auto done = [&](const SupportRecord& s, const PolytopeFace& f) {
        return isExpansionDoneHullSphere(hull, c, r, s, f, polytope.vertices.data(), polytope.vertices.size());
    };
    if (!PkJumpDetail::expandFromCache(pair, cache, polytope, done, end)) {
        return false;
    }
    count = 0;
    if (end.found) {
        const PolytopeFace& F = end.face;
        const std::uint32_t corner[3] = {F.i0, F.i1, F.i2};
        std::uint32_t h[3];
        for (std::uint32_t i = 0; i < 3; ++i) {
            h[i] = polytope.vertices[corner[i]].vertexA;
        }
        Qmt::QmtVector3 u;
        const PkJumpDetail::FaceFeature feature = PkJumpDetail::selectFaceFeature(*this, polytope, F, true);
        std::uint32_t hullFeature[3];
        const std::uint32_t hullCount = PkJumpDetail::featureVertices(h, feature, hullFeature);
        if (feature.kind == PkJumpDetail::FaceFeature::FACE) {
            u = F.normal;
        } else if (feature.kind == PkJumpDetail::FaceFeature::EDGE) {
            const std::uint32_t j = feature.first, j1 = (j + 1) % 3;
            // The point of the edge's line nearest the origin.
            const Qmt::QmtVector3& Pj = polytope.point(corner[j]);
            const Qmt::QmtVector3 e = polytope.point(corner[j1]) - Pj;
            const double ee = e.SquaredLength();
            const double s = ee > 0.0 ? -(Pj.Dot(e)) / ee : 0.0;
            u = unit(Pj + e * s);
        } else {
            u = unit(polytope.point(corner[feature.first]));
        }
        hullSphereManifold(hull, c, r, hullFeature, hullCount, c + u * r, points, normals, count, values,
                           featureId);
    }
    if (count == 0) {
        cache.direction = Qmt::QmtVector3(0.0, 0.0, 0.0);
        return false;
    }
    return true;
}

void Pk_jump::hullSphereManifold(const BVmesh& hull, const Qmt::QmtVector3& /*c*/, double /*r*/,
                                 const std::uint32_t* hullFeature, std::uint32_t hullCount,
                                 const Qmt::QmtVector3& c0, Qmt::QmtVector3* points, Qmt::QmtVector3* normals,
                                 std::uint32_t& count, double* values, std::uint32_t& featureId) const {
    const HullTopology h(hull);
    count = 0;
    if (h.empty() || hullCount < 1 || hullCount > 3) {
        return;
    }
    const HullFeature f = h.name(hullFeature, hullCount);
    const std::uint32_t H0 = f.vertices[0];
    const Qmt::QmtVector3& V0 = h.vertex(H0);
    featureId = h.firstFace(H0);
    if (f.kind == HullFeature::VERTEX) {
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
    } else if (f.kind == HullFeature::EDGE) {
        // The normal comes from the faces around both ends: the edge's own faces are
        // not needed for a single point.
        const std::uint32_t H1 = f.vertices[1];
        const Qmt::QmtVector3 e = h.vertex(H1) - V0;
        const double ee = e.SquaredLength();
        const double t = ee > 0.0 ? (c0 - V0).Dot(e) / ee : 0.0;
        points[0] = V0 + e * t;
        normals[0] = unit(-(unit(h.vertexNormalSum(H0)) + unit(h.vertexNormalSum(H1))));
        values[0] = (points[0] - c0).Dot(normals[0]);
    } else {
        const Qmt::QmtVector3 n = -h.faceNormal(f.id);
        const double value = -((c0 - V0).Dot(n));
        points[0] = c0 + n * value;
        normals[0] = n;
        values[0] = value;
    }
    count = 1;
}
