#pragma once

// The expanding polytope of the contact queries: a polytope inside the Minkowski
// difference B - A, grown towards its face nearest the origin until that face cannot
// be pushed further. Written once over a support policy, so every shape pair that
// offers one reuses the start tetrahedron, the expansion and the feature selection.
//
// A support policy P offers:
//   SupportRecord climb(const SupportRecord& from, const Qmt::QmtVector3& d) const;
//       // the Minkowski point extreme towards -d: A climbed along d from
//       // from.vertexA, B's support along -d (climbed from from.vertexB for a hull);
//       // direction d, both vertices and the difference filled in
//   Qmt::QmtVector3 difference(std::uint32_t vA, std::uint32_t vB, const Qmt::QmtVector3& d) const;
//       // B's point along -d (vertex vB for a hull) minus A's vertex vA
//   bool sameSupports(const SupportRecord& a, const SupportRecord& b) const;

#include <cstdint>
#include <cstring>
#include <memory>
#include <new>

#include "engine/collision/convex/pkJump.h"
#include "engine/collision/convex/pkJumpTolerances.h"
#include "math/qmtMatrix3.h"
#include "math/qmtVector3.h"

namespace PkJumpDetail {

// Expansion steps of one query; past them the query goes on as after an expansion
// that found no visible face.
inline constexpr std::uint32_t PK_MAX_EXPANSIONS = 256;
// Start of a running minimum: the single-precision maximum as a double.
inline constexpr double PK_RUNNING_MIN = 3.4028234663852886e38;

// v made unit length; a vector too short to turn stays as it is.
inline Qmt::QmtVector3 unit(Qmt::QmtVector3 v) {
    v.Unitize(Qmt::QmtMatrix3::EPSILON);
    return v;
}

inline double absolute(double x) { return x < 0.0 ? -x : x; }

// True for a contact normal of unit length. A degenerate feature (a collapsed face,
// points that coincide) leaves a normal too short to turn, and gives no contact.
inline bool isUnitNormal(const Qmt::QmtVector3& n) { return absolute(n.SquaredLength() - 1.0) <= 1e-6; }

// An array of trivially copyable records: 32 in place, then heap blocks grown by 32.
// A growth that cannot be had leaves the array as it was and answers false.
template <class T>
class BlockArray {
public:
    static constexpr std::uint32_t BLOCK = 32;

    BlockArray() = default;
    BlockArray(const BlockArray&) = delete;
    BlockArray& operator=(const BlockArray&) = delete;

    std::uint32_t size() const { return count_; }
    T* data() { return items_; }
    const T* data() const { return items_; }
    T& operator[](std::uint32_t i) { return items_[i]; }
    const T& operator[](std::uint32_t i) const { return items_[i]; }
    void clear() { count_ = 0; }
    // Keeps the first n items (n at most the size).
    void resize(std::uint32_t n) { count_ = n < count_ ? n : count_; }

    bool push(const T& item) {
        if (count_ == capacity_) {
            const std::uint32_t grown = count_ + BLOCK;
            std::unique_ptr<T[]> block(new (std::nothrow) T[grown]);
            if (!block) {
                return false;
            }
            std::memcpy(static_cast<void*>(block.get()), items_, count_ * sizeof(T));
            heap_ = std::move(block);
            items_ = heap_.get();
            capacity_ = grown;
        }
        items_[count_++] = item;
        return true;
    }

private:
    T local_[BLOCK];
    std::unique_ptr<T[]> heap_;
    T* items_ = local_;
    std::uint32_t count_ = 0;
    std::uint32_t capacity_ = BLOCK;
};

}  // namespace PkJumpDetail

// The polytope of one query: its vertices (Minkowski points with the supports that
// made them), faces and edges, and the interior point every face normal points away
// from. Faces and edges form lists whose head is the newest entry: they are stored
// oldest first and walked from the back.
class Polytope {
public:
    PkJumpDetail::BlockArray<SupportRecord> vertices;
    PkJumpDetail::BlockArray<PolytopeFace> faces;
    PkJumpDetail::BlockArray<PolytopeEdge> edges;
    Qmt::QmtVector3 interior;
    bool outOfMemory = false;  // some storage could not be had; the query gives up

    const Qmt::QmtVector3& point(std::uint32_t i) const { return vertices[i].difference; }
    double distance(const PolytopeFace& f) const { return point(f.i0).Dot(f.normal); }

    bool addVertex(const SupportRecord& r) { return keep(vertices.push(r)); }
    bool pushFace(const PolytopeFace& f) { return keep(faces.push(f)); }
    // Adds the edge unless the list holds it already (either orientation).
    bool addEdge(std::uint32_t a, std::uint32_t b);

    // The expansion step with the new point w: false when no face sees it (the point
    // stays in the vertex array) or when storage runs out.
    bool expand(const SupportRecord& w);

    // Face (in list order) with the smallest distance, strictly smaller replacing;
    // null for an empty list.
    const PolytopeFace* nearestFace() const;
    // Face with the smallest absolute distance, running from PK_RUNNING_MIN.
    const PolytopeFace* nearestFaceAbsolute() const;

private:
    // Adds the edge unless one of the edges from index first on is the same.
    bool addEdgeFrom(std::uint32_t first, std::uint32_t a, std::uint32_t b);
    bool keep(bool ok) {
        outOfMemory = outOfMemory || !ok;
        return ok;
    }
};

namespace PkJumpDetail {

// Which feature of the final face touches: the face itself (polytope vertices i0, i1,
// i2), one of its edges (vertices j, j + 1 mod 3 of the face) or one vertex (k).
struct FaceFeature {
    enum Kind { FACE, EDGE, VERTEX } kind = FACE;
    std::uint32_t first = 0;  // j for an edge, k for a vertex (0..2 on the face)
};

// The feature of face F nearest the origin by the squared distances of its vertices,
// edges and plane. Ties go to the face, then the edge; with strict they go to the
// vertex, then the edge (a single contact point prefers the smaller feature).
FaceFeature selectFaceFeature(const Pk_jump& solver, const Polytope& polytope, const PolytopeFace& F,
                              bool strict = false);

// The polytope vertex index of corner c (0..2) of the face.
inline std::uint32_t faceCorner(const PolytopeFace& f, std::uint32_t c) {
    return c == 0 ? f.i0 : (c == 1 ? f.i1 : f.i2);
}

// The starting tetrahedron around vertex 0 (the cache's supports, not climbed) along
// the cache direction d. False when storage runs out.
template <class Policy>
bool buildStartTetrahedron(const Policy& pair, const SupportRecord& v0, Polytope& P) {
    P.vertices.clear();
    P.faces.clear();
    P.edges.clear();
    const Qmt::QmtVector3 d = v0.direction;
    P.addVertex(v0);
    const Qmt::QmtVector3 m = -d;
    const double ax = m.x < 0 ? -m.x : m.x, ay = m.y < 0 ? -m.y : m.y, az = m.z < 0 ? -m.z : m.z;
    Qmt::QmtVector3 e;
    if (ay > ax) {
        e = az > ax ? Qmt::QmtVector3(1.0, 0.0, 0.0) : Qmt::QmtVector3(0.0, 0.0, 1.0);
    } else {
        e = az > ay ? Qmt::QmtVector3(0.0, 1.0, 0.0) : Qmt::QmtVector3(0.0, 0.0, 1.0);
    }
    Qmt::QmtVector3 d1 = unit(e.Cross(m));
    SupportRecord v1 = pair.climb(v0, d1);
    if (pair.sameSupports(v1, v0)) {
        d1 = -d1;
        v1 = pair.climb(v0, d1);
    }
    P.addVertex(v1);
    const Qmt::QmtVector3& P0 = v0.difference;
    const Qmt::QmtVector3& P1 = v1.difference;
    const Qmt::QmtVector3 u = P1 - P0;
    const double du = d1.Dot(u), mu = m.Dot(u);
    const Qmt::QmtVector3 d2 = unit((du < 0 ? -du : du) > (mu < 0 ? -mu : mu) ? m.Cross(u) : d1.Cross(u));
    const SupportRecord c2p = pair.climb(v0, d2);
    const SupportRecord c2m = pair.climb(v0, -d2);
    const double areaP = u.Cross(c2p.difference - P1).Length();
    const double areaM = u.Cross(c2m.difference - P1).Length();
    const SupportRecord v2 = areaM > areaP ? c2m : c2p;
    P.addVertex(v2);
    const Qmt::QmtVector3& P2 = v2.difference;
    const Qmt::QmtVector3 m3 = unit(u.Cross(P2 - P1));
    const SupportRecord c3p = pair.climb(v0, m3);
    const SupportRecord c3m = pair.climb(v0, -m3);
    const double hp = (c3p.difference - P0).Dot(m3), hm = (c3m.difference - P0).Dot(m3);
    const bool minus = (hm < 0 ? -hm : hm) > (hp < 0 ? -hp : hp);
    const SupportRecord v3 = minus ? c3m : c3p;
    P.addVertex(v3);
    const Qmt::QmtVector3& P3 = v3.difference;

    PolytopeFace base;
    base.i0 = 0;
    base.i1 = 1;
    base.i2 = 2;
    base.normal = minus ? -m3 : m3;
    P.pushFace(base);
    const Qmt::QmtVector3 pts[3] = {P0, P1, P2};
    for (std::uint32_t a = 0; a < 3; ++a) {
        const std::uint32_t b = (a + 1) % 3, other = (a + 2) % 3;
        PolytopeFace f;
        f.i0 = a;
        f.i1 = b;
        f.i2 = 3;
        f.normal = unit((pts[b] - pts[a]).Cross(P3 - pts[b]));
        if ((pts[other] - pts[a]).Dot(f.normal) > PK_EPS) {
            f.normal = -f.normal;
        }
        P.pushFace(f);
    }
    static constexpr std::uint32_t pairs[6][2] = {{0, 1}, {1, 2}, {2, 0}, {0, 3}, {1, 3}, {2, 3}};
    for (const auto& e2 : pairs) {
        P.addEdge(e2[0], e2[1]);
    }
    P.interior = (P0 + P1 + P2 + P3) * 0.25;
    return !P.outOfMemory;
}

// The end of the expansion: the final face and the search record (direction -normal
// and the supports) the cache and the features are read from.
struct ExpansionEnd {
    PolytopeFace face;
    SupportRecord search;
    bool found = false;  // false: no face left, or storage ran out
};

// Expands until the stop test holds, an expansion finds no visible face, or the step
// cap is reached. done(search, face) is the stop test.
template <class Policy, class Done>
ExpansionEnd expandToNearestFace(const Policy& pair, Polytope& P, Done done) {
    ExpansionEnd end;
    for (std::uint32_t step = 0; step < PK_MAX_EXPANSIONS; ++step) {
        const PolytopeFace* F = P.nearestFace();
        if (!F) {
            return end;
        }
        end.face = *F;
        end.found = true;
        end.search = pair.climb(P.vertices[F->i0], -F->normal);
        if (done(end.search, end.face)) {
            const PolytopeFace* G = P.nearestFaceAbsolute();
            if (G) {
                end.face = *G;
            }
            const SupportRecord& v = P.vertices[end.face.i0];
            end.search.direction = -end.face.normal;
            end.search.vertexA = v.vertexA;
            end.search.vertexB = v.vertexB;
            end.search.difference = pair.difference(v.vertexA, v.vertexB, end.search.direction);
            return end;
        }
        if (!P.expand(end.search)) {
            break;
        }
    }
    end.found = end.found && !P.outOfMemory;
    return end;
}

}  // namespace PkJumpDetail
