#include "engine/collision/convex/pkJump.h"

#include "engine/collision/convex/pkJumpHullFeatures.h"
#include "engine/collision/convex/pkJumpLoop.h"
#include "engine/collision/convex/pkJumpPolytope.h"

namespace {

// Published by the collision manager; nothing here creates it.
Pk_jump* pkJumpInstance = nullptr;

}  // namespace

Pk_jump* getPkJumpInstance() { return pkJumpInstance; }

void setPkJumpInstance(Pk_jump* instance) { pkJumpInstance = instance; }

namespace PkJumpDetail {

HullSide::HullSide(const BVmesh& hull) {
    const ZYLmesh* mesh = hull.getMesh();
    if (!mesh || !mesh->worldVertices) {
        return;
    }
    vertices_ = mesh->worldVertices;
    count_ = mesh->numVertices;
    centre_ = mesh->worldCentre;
    // The flags alone do not prove the tables exist (destroy() keeps them), and a
    // vertex table shorter than the mesh cannot be climbed safely.
    const bool linked = hull.isConnectEdges() && hull.isConnectVertex() && hull.edges &&
                        hull.vertexRecords && hull.numVertexRecords >= count_;
    if (linked) {
        links_ = hull.vertexRecords;
        edges_ = hull.edges;
        if (hull.vertexNeighbours && hull.vertexNeighbourStarts) {
            neighbours_ = hull.vertexNeighbours;
            neighbourStarts_ = hull.vertexNeighbourStarts;
        }
    }
}

std::uint32_t HullSide::support(std::uint32_t start, const Qmt::QmtVector3& d) const {
    if (count_ == 0) {
        return 0;
    }
    std::uint32_t current = start < count_ ? start : 0;
    double best = vertices_[current].Dot(d);

    if (!links_) {
        std::uint32_t found = current;
        for (std::uint32_t i = 0; i < count_; ++i) {
            const double p = vertices_[i].Dot(d);
            if (p > best) {
                best = p;
                found = i;
            }
        }
        return found;
    }

    // Every move strictly raises best, so the climb ends; on a convex hull it ends
    // at a global maximum.
    if (neighbours_) {
        for (;;) {
            std::uint32_t next = current;
            for (std::uint32_t k = neighbourStarts_[current], end = neighbourStarts_[current + 1]; k < end; ++k) {
                const std::uint32_t w = neighbours_[k];
                const double p = vertices_[w].Dot(d);
                if (p > best) {
                    best = p;
                    next = w;
                }
            }
            if (next == current) {
                return current;
            }
            current = next;
        }
    }
    for (;;) {
        const connect_vertex& links = links_[current];
        std::uint32_t next = current;
        for (std::uint32_t k = 0; k < links.numEdges; ++k) {
            const connect_edge& edge = edges_[links.edges[k]];
            const std::uint32_t w = edge.v0 == current ? edge.v1 : edge.v0;
            const double p = vertices_[w].Dot(d);
            if (p > best) {
                best = p;
                next = w;
            }
        }
        if (next == current) {
            return current;
        }
        current = next;
    }
}

BoxSide::BoxSide(const BVbox& box) {
    if (!box.getBox()) {
        return;
    }
    box.computeVertexes(corners_);
    centre_ = box.getCenter();
    valid_ = true;
}

std::uint32_t BoxSide::support(std::uint32_t /*start*/, const Qmt::QmtVector3& d) const {
    std::uint32_t found = 0;
    double best = corners_[0].Dot(d);
    for (std::uint32_t i = 1; i < 8; ++i) {
        const double p = corners_[i].Dot(d);
        if (p > best) {
            best = p;
            found = i;
        }
    }
    return found;
}

}  // namespace PkJumpDetail

using PkJumpDetail::BoxSide;
using PkJumpDetail::CapsulePairPolicy;
using PkJumpDetail::CapsuleSide;
using PkJumpDetail::HullSide;
using PkJumpDetail::IndexedPairPolicy;
using PkJumpDetail::PK_EPS;

Pk_jump::~Pk_jump() = default;

std::uint32_t Pk_jump::hullSupportVertex(const BVmesh& hull, std::uint32_t start,
                                         const Qmt::QmtVector3& d) const {
    return HullSide(hull).support(start, d);
}

std::uint32_t Pk_jump::testHullHull(const BVmesh& hullA, const BVmesh& hullB,
                                    ProximityCache& cache) const {
    const HullSide a(hullA);
    const HullSide b(hullB);
    return PkJumpDetail::reflectionTest(IndexedPairPolicy(a, b), cache);
}

std::uint32_t Pk_jump::testHullBox(const BVmesh& hull, const BVbox& box,
                                   ProximityCache& cache) const {
    const HullSide a(hull);
    const BoxSide b(box);
    return PkJumpDetail::reflectionTest(IndexedPairPolicy(a, b), cache);
}

bool Pk_jump::fanTestHullHull(const BVmesh& hullA, const BVmesh& hullB,
                              const Qmt::QmtVector3& n, Qmt::QmtVector3& fan,
                              const SupportRecord* pool, std::uint32_t count) const {
    const HullSide a(hullA);
    const HullSide b(hullB);
    return PkJumpDetail::fanTest(IndexedPairPolicy(a, b), n, fan, pool, count);
}

bool Pk_jump::fanTestHullBox(const BVmesh& hull, const BVbox& box, const Qmt::QmtVector3& n,
                             Qmt::QmtVector3& fan, const SupportRecord* pool,
                             std::uint32_t count) const {
    const HullSide a(hull);
    const BoxSide b(box);
    return PkJumpDetail::fanTest(IndexedPairPolicy(a, b), n, fan, pool, count);
}

std::uint32_t Pk_jump::testHullCapsule(const BVmesh& hull, const ZYLcapsule& capsule,
                                       ProximityCache& cache) const {
    const HullSide a(hull);
    const CapsuleSide b(capsule);
    return PkJumpDetail::reflectionTest(CapsulePairPolicy(a, b), cache);
}

std::uint32_t Pk_jump::testCapsuleBox(const BVbox& box, const ZYLcapsule& capsule,
                                      ProximityCache& cache) const {
    const BoxSide a(box);
    const CapsuleSide b(capsule);
    return PkJumpDetail::reflectionTest(CapsulePairPolicy(a, b), cache);
}

void Pk_jump::capsuleSupport(const ZYLcapsule& capsule, const Qmt::QmtVector3& d,
                             Qmt::QmtVector3& point) const {
    point = CapsuleSide(capsule).support(d);
}

bool Pk_jump::fanTestHullCapsule(const BVmesh& hull, const ZYLcapsule& capsule,
                                 const Qmt::QmtVector3& n, Qmt::QmtVector3& fan,
                                 const SupportRecord* pool, std::uint32_t count) const {
    const HullSide a(hull);
    const CapsuleSide b(capsule);
    return PkJumpDetail::fanTest(CapsulePairPolicy(a, b), n, fan, pool, count);
}

bool Pk_jump::fanTestCapsuleBox(const BVbox& box, const ZYLcapsule& capsule,
                                const Qmt::QmtVector3& n, Qmt::QmtVector3& fan,
                                const SupportRecord* pool, std::uint32_t count) const {
    const BoxSide a(box);
    const CapsuleSide b(capsule);
    return PkJumpDetail::fanTest(CapsulePairPolicy(a, b), n, fan, pool, count);
}

bool Pk_jump::initPlaneCache(const BVmesh& hull, const Qmt::QmtVector3& p,
                             const Qmt::QmtVector3& n, ProximityCache& cache) const {
    const HullSide h(hull);
    for (std::uint32_t s = 0; s < h.size(); ++s) {
        Qmt::QmtVector3 u = h.point(s) - p;
        u.Unitize(Qmt::QmtMatrix3::EPSILON);
        if (u.Dot(n) < -PK_EPS) {
            cache.vertexA = s;
            cache.direction = n;
            return true;
        }
    }
    return false;
}

void Pk_jump::hullPlaneFeature(const BVmesh& hull, const Qmt::QmtVector3& p,
                               const Qmt::QmtVector3& n, const std::uint32_t* touching,
                               std::uint32_t touchingCount, Qmt::QmtVector3* points,
                               Qmt::QmtVector3* normals, double* values, std::uint32_t& count,
                               std::uint32_t& featureId) const {
    const PkJumpDetail::HullTopology h(hull);
    if (touchingCount < 1 || touchingCount > 3 || h.empty()) {
        count = 0;
        return;
    }
    const std::uint32_t t0 = touching[0];
    count = touchingCount;
    for (std::uint32_t i = 0; i < touchingCount; ++i) {
        points[i] = h.vertex(touching[i]);
    }
    // Two vertices without an edge between them lie across a face: take that face's
    // first three corners.
    if (touchingCount == 2 && h.edgeJoining(t0, touching[1]) == PkJumpDetail::NO_FEATURE) {
        const std::uint32_t f = h.faceWith(t0, touching[1]);
        if (f != PkJumpDetail::NO_FEATURE) {
            for (std::uint32_t i = 0; i < 3; ++i) {
                points[i] = h.vertex(h.face(f).vertices[i]);
            }
            count = 3;
        }
    }
    normals[0] = n;
    values[0] = (points[0] - p).Dot(n);
    featureId = h.firstFace(t0);
}

double Pk_jump::segmentOriginSqrDistance(const Qmt::QmtVector3& a, const Qmt::QmtVector3& b) const {
    const Qmt::QmtVector3 d = b - a;
    const double dd = d.Dot(d);
    // Coincident ends: the segment is the point a (no division by zero).
    if (dd == 0.0) {
        return a.SquaredLength();
    }
    const double t = -a.Dot(d) / dd;
    if (t < 0.0) {
        return a.SquaredLength();
    }
    if (t > 1.0) {
        return b.SquaredLength();
    }
    return (a + d * t).SquaredLength();
}

namespace {

bool expansionDone(const Qmt::QmtVector3& w, const PolytopeFace& face, const SupportRecord* vertices,
                   std::uint32_t count) {
    if (face.normal.Dot(w - vertices[face.i0].difference) < PK_EPS) {
        return true;
    }
    for (std::uint32_t i = 0; i < count; ++i) {
        if ((vertices[i].difference - w).SquaredLength() < PK_EPS) {
            return true;
        }
    }
    return false;
}

}  // namespace

bool Pk_jump::isExpansionDoneHullCapsule(const BVmesh& hull, const ZYLcapsule& capsule,
                                         const SupportRecord& search, const PolytopeFace& face,
                                         const SupportRecord* vertices, std::uint32_t count) const {
    const HullSide a(hull);
    const Qmt::QmtVector3 w = CapsuleSide(capsule).support(-search.direction) - a.point(search.vertexA);
    return expansionDone(w, face, vertices, count);
}

bool Pk_jump::isExpansionDoneHullHull(const BVmesh& hullA, const BVmesh& hullB,
                                      const SupportRecord& search, const PolytopeFace& face,
                                      const SupportRecord* vertices, std::uint32_t count) const {
    const HullSide a(hullA);
    const HullSide b(hullB);
    const Qmt::QmtVector3 w = b.point(search.vertexB) - a.point(search.vertexA);
    return expansionDone(w, face, vertices, count);
}

bool Pk_jump::notify(int /*event*/) const { return true; }
