#pragma once

// What the contact queries of a hull against a capsule, a sphere or another hull share:
// their support policies for the polytope, the expansion from the cache, and the hull
// vertices of the touching feature.

#include <cstdint>

#include "engine/collision/convex/pkJump.h"
#include "engine/collision/convex/pkJumpLoop.h"
#include "engine/collision/convex/pkJumpPolytope.h"

namespace PkJumpDetail {

// Minkowski points of a hull (A) and a capsule (B); the capsule has no vertex, so every
// climb keeps the vertexB it starts from. A sphere is a capsule of no length.
class HullCapsuleSupport {
public:
    HullCapsuleSupport(const HullSide& a, const CapsuleSide& b) : a_(a), b_(b) {}

    SupportRecord climb(const SupportRecord& from, const Qmt::QmtVector3& d) const {
        SupportRecord r;
        r.direction = d;
        r.vertexA = a_.support(from.vertexA, d);
        r.vertexB = from.vertexB;
        r.difference = difference(r.vertexA, r.vertexB, d);
        return r;
    }
    Qmt::QmtVector3 difference(std::uint32_t vA, std::uint32_t /*vB*/, const Qmt::QmtVector3& d) const {
        return b_.support(-d) - a_.point(vA);
    }
    bool sameSupports(const SupportRecord& x, const SupportRecord& y) const { return x.vertexA == y.vertexA; }

private:
    const HullSide& a_;
    const CapsuleSide& b_;
};

// Minkowski points of two hulls: B's vertex minus A's.
class HullHullSupport {
public:
    HullHullSupport(const HullSide& a, const HullSide& b) : a_(a), b_(b) {}

    SupportRecord climb(const SupportRecord& from, const Qmt::QmtVector3& d) const {
        SupportRecord r;
        r.direction = d;
        r.vertexA = a_.support(from.vertexA, d);
        r.vertexB = b_.support(from.vertexB, -d);
        r.difference = difference(r.vertexA, r.vertexB, d);
        return r;
    }
    Qmt::QmtVector3 difference(std::uint32_t vA, std::uint32_t vB, const Qmt::QmtVector3& /*d*/) const {
        return b_.point(vB) - a_.point(vA);
    }
    bool sameSupports(const SupportRecord& x, const SupportRecord& y) const {
        return x.vertexA == y.vertexA && x.vertexB == y.vertexB;
    }

private:
    const HullSide& a_;
    const HullSide& b_;
};

// The start record of a query: the cache's direction and vertices, not climbed.
template <class Support>
SupportRecord startRecord(const Support& pair, const ProximityCache& cache) {
    SupportRecord r;
    r.direction = cache.direction;
    r.vertexA = cache.vertexA;
    r.vertexB = cache.vertexB;
    r.difference = pair.difference(r.vertexA, r.vertexB, r.direction);
    return r;
}

// The expansion of a contact query from its cache: the start tetrahedron on the cache's
// supports, the expansion to the nearest face with the stop test done, and the cache
// moved to the end's supports when their gap is the smaller. False when storage runs
// out, and the query gives up; else end.found tells whether a face was reached.
template <class Support, class Done>
bool expandFromCache(const Support& pair, ProximityCache& cache, Polytope& polytope, Done done,
                     ExpansionEnd& end) {
    const Qmt::QmtVector3 d = cache.direction;
    const double g0 = (PK_EPS - d.Dot(pair.difference(cache.vertexA, cache.vertexB, d))) * 0.5;
    if (!buildStartTetrahedron(pair, startRecord(pair, cache), polytope)) {
        return false;
    }
    end = expandToNearestFace(pair, polytope, done);
    if (polytope.outOfMemory) {
        return false;
    }
    if (end.found) {
        const SupportRecord& S = end.search;
        const double g1 = (PK_EPS - S.direction.Dot(pair.difference(S.vertexA, S.vertexB, S.direction))) * 0.5;
        if (absolute(g0) > absolute(g1)) {
            cache.direction = S.direction;
            cache.vertexA = S.vertexA;
            // Against a capsule this is the cache's own vertexB (see HullCapsuleSupport).
            cache.vertexB = S.vertexB;
        }
    }
    return true;
}

// The distinct hull vertices h (one per corner of the final face) of its touching
// feature, in corner order from the feature's first corner: three for the face, two for
// an edge, one for a vertex. Returns how many were written to out.
inline std::uint32_t featureVertices(const std::uint32_t* h, const FaceFeature& feature, std::uint32_t* out) {
    const std::uint32_t corners =
        feature.kind == FaceFeature::FACE ? 3 : (feature.kind == FaceFeature::EDGE ? 2 : 1);
    std::uint32_t n = 0;
    for (std::uint32_t c = 0; c < corners; ++c) {
        const std::uint32_t v = h[(feature.first + c) % 3];
        bool seen = false;
        for (std::uint32_t k = 0; k < n; ++k) {
            seen = seen || out[k] == v;
        }
        if (!seen) {
            out[n++] = v;
        }
    }
    return n;
}

}  // namespace PkJumpDetail
