#include "engine/collision/convex/pkJump.h"

#include "engine/collision/convex/pkJumpLoop.h"

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
using PkJumpDetail::HullSide;
using PkJumpDetail::IndexedPairPolicy;

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
