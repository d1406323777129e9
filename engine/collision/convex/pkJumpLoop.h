#pragma once

// Internals of the convex overlap tests: the shapes as the search sees them, the
// pair policy, the per-call direction pool, and the reflection loop and fan test
// written once over any pair policy.
//
// A pair policy P offers:
//   Qmt::QmtVector3 centreA() const, centreB() const;
//   bool usable() const;                                   // both shapes readable
//   void takeSupports(SupportRecord& s) const;             // supports along s.direction,
//                                                          // climbing from s's vertices;
//                                                          // writes vertices and difference
//   bool stalled(const SupportRecord& s, const SupportRecord& last) const;
//   bool revisits(const SupportRecord& s, const SupportRecord& earlier) const;
//   bool noBetter(const SupportRecord& s, const SupportRecord& record) const;
//   Qmt::QmtVector3 recordDifference(const SupportRecord& record) const;
// IndexedPairPolicy covers pairs whose second shape has indexed supports (a hull or a
// box); a shape whose support is a point computed from the direction brings its own
// policy with its stall and cycle rules and reuses the loop unchanged.

#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <utility>

#include "engine/collision/convex/pkJump.h"
#include "engine/collision/convex/pkJumpExact.h"
#include "engine/collision/convex/pkJumpTolerances.h"
#include "geometry/bounds/boundingVolumes.h"
#include "geometry/bounds/boxFit.h"
#include "geometry/mesh/bvMesh.h"
#include "math/qmtMatrix3.h"
#include "math/qmtVector3.h"

namespace PkJumpDetail {

// Passes of the reflection loop before the exact decision takes over.
inline constexpr std::uint32_t PK_MAX_PASSES = 256;
inline constexpr std::uint32_t PK_POOL_BLOCK = 32;
// Squared in-plane length below which a fan record counts as lying along the axis.
// The projections come from unit vectors, so only rounding noise (|q| < 1e-12) is
// caught; a real offset, however small, keeps its direction for the winding order.
inline constexpr double PK_AXIAL_SQR = 1e-24;

// A hull read in world space. Supports climb over the vertex links when both the
// edge table and the vertex lists are present, else scan every vertex.
class HullSide {
public:
    explicit HullSide(const BVmesh& hull);

    bool empty() const { return count_ == 0; }
    std::uint32_t size() const { return count_; }
    const Qmt::QmtVector3& centre() const { return centre_; }
    const Qmt::QmtVector3& point(std::uint32_t i) const { return vertices_[i]; }
    // A vertex maximal along d; moves only to strictly larger projections.
    std::uint32_t support(std::uint32_t start, const Qmt::QmtVector3& d) const;

private:
    const Qmt::QmtVector3* vertices_ = nullptr;
    std::uint32_t count_ = 0;
    const connect_vertex* links_ = nullptr;  // null: no usable vertex links
    const connect_edge* edges_ = nullptr;
    // The same links as neighbour lists, when the hull has them.
    const std::uint32_t* neighbours_ = nullptr;
    const std::uint32_t* neighbourStarts_ = nullptr;
    Qmt::QmtVector3 centre_;
};

// An oriented box through its eight corners; the support index is the corner index.
class BoxSide {
public:
    explicit BoxSide(const BVbox& box);
    // The same through an axis-aligned box's corners; the centre is the midpoint of
    // its minimum and maximum corners.
    explicit BoxSide(const BVAAbox& box);

    bool empty() const { return !valid_; }
    const Qmt::QmtVector3& centre() const { return centre_; }
    const Qmt::QmtVector3& point(std::uint32_t i) const { return corners_[i]; }
    // The corner with the largest projection on d; the lowest index wins ties. The
    // start index plays no part: eight corners are always scanned.
    std::uint32_t support(std::uint32_t start, const Qmt::QmtVector3& d) const;

private:
    Qmt::QmtVector3 corners_[8];
    Qmt::QmtVector3 centre_;
    bool valid_ = false;
};

// Both shapes give vertex indices: the stall and cycle rules compare index pairs and
// the record's support points are read back by index.
template <class ShapeA, class ShapeB>
class IndexedPairPolicy {
public:
    IndexedPairPolicy(const ShapeA& a, const ShapeB& b) : a_(a), b_(b) {}

    bool usable() const { return !a_.empty() && !b_.empty(); }
    const Qmt::QmtVector3& centreA() const { return a_.centre(); }
    const Qmt::QmtVector3& centreB() const { return b_.centre(); }

    void takeSupports(SupportRecord& s) const {
        s.vertexA = a_.support(s.vertexA, s.direction);
        s.vertexB = b_.support(s.vertexB, -s.direction);
        s.difference = b_.point(s.vertexB) - a_.point(s.vertexA);
    }
    bool stalled(const SupportRecord& s, const SupportRecord& last) const {
        return s.vertexA == last.vertexA && s.vertexB == last.vertexB;
    }
    bool revisits(const SupportRecord& s, const SupportRecord& earlier) const {
        return s.vertexA == earlier.vertexA && s.vertexB == earlier.vertexB;
    }
    // Neither side beats the record along s.direction: A's support is not higher and
    // B's is not lower.
    bool noBetter(const SupportRecord& s, const SupportRecord& record) const {
        const Qmt::QmtVector3& d = s.direction;
        const bool aNoBetter = a_.point(s.vertexA).Dot(d) - a_.point(record.vertexA).Dot(d) < PK_EPS;
        const bool bNoBetter = b_.point(s.vertexB).Dot(d) - b_.point(record.vertexB).Dot(d) > -PK_EPS;
        return aNoBetter && bNoBetter;
    }
    Qmt::QmtVector3 recordDifference(const SupportRecord& record) const {
        return b_.point(record.vertexB) - a_.point(record.vertexA);
    }

private:
    const ShapeA& a_;
    const ShapeB& b_;
};

// A capsule: its support is a point computed from the direction.
class CapsuleSide {
public:
    explicit CapsuleSide(const ZYLcapsule& capsule) : capsule_(capsule) {}

    const Qmt::QmtVector3& centre() const { return capsule_.centre; }
    // The end on the axis side of d (the minus end unless axis . d > 1e-5), pushed out
    // by radius * d; d is not normalised.
    Qmt::QmtVector3 support(const Qmt::QmtVector3& d) const {
        const Qmt::QmtVector3 half = capsule_.axis * (capsule_.length * 0.5);
        const Qmt::QmtVector3 end =
            capsule_.axis.Dot(d) > PK_EPS ? capsule_.centre + half : capsule_.centre - half;
        return end + d * capsule_.radius;
    }

private:
    const ZYLcapsule& capsule_;
};

// An indexed first shape (hull or box) against a capsule (or a sphere, a capsule of
// no length). The capsule has no support index, so the stall and cycle rules look at
// the first shape's vertex, the stall also at the direction.
template <class ShapeA>
class CapsulePairPolicy {
public:
    CapsulePairPolicy(const ShapeA& a, const CapsuleSide& b) : a_(a), b_(b) {}

    bool usable() const { return !a_.empty(); }
    const Qmt::QmtVector3& centreA() const { return a_.centre(); }
    const Qmt::QmtVector3& centreB() const { return b_.centre(); }

    void takeSupports(SupportRecord& s) const {
        s.vertexA = a_.support(s.vertexA, s.direction);
        s.difference = b_.support(-s.direction) - a_.point(s.vertexA);
    }
    bool stalled(const SupportRecord& s, const SupportRecord& last) const {
        return s.vertexA == last.vertexA && s.direction.Dot(last.direction) > 0.99999;
    }
    bool revisits(const SupportRecord& s, const SupportRecord& earlier) const {
        return s.vertexA == earlier.vertexA;
    }
    bool noBetter(const SupportRecord& s, const SupportRecord& record) const {
        const Qmt::QmtVector3& d = s.direction;
        const bool aNoBetter = a_.point(s.vertexA).Dot(d) - a_.point(record.vertexA).Dot(d) < PK_EPS;
        const bool bNoBetter = d.Dot(b_.support(-d) - b_.support(-record.direction)) > -PK_EPS;
        return aNoBetter && bNoBetter;
    }
    Qmt::QmtVector3 recordDifference(const SupportRecord& record) const {
        return b_.support(-record.direction) - a_.point(record.vertexA);
    }

private:
    const ShapeA& a_;
    const CapsuleSide& b_;
};

// The visited directions of one call: 32 records in place, then heap blocks grown by
// 32 at a time.
class SupportPool {
public:
    SupportPool() = default;
    SupportPool(const SupportPool&) = delete;
    SupportPool& operator=(const SupportPool&) = delete;

    const SupportRecord* data() const { return records_; }
    std::uint32_t size() const { return count_; }
    const SupportRecord& operator[](std::uint32_t i) const { return records_[i]; }

    // False when a larger block cannot be had; the pool keeps what it holds.
    bool push(const SupportRecord& r) {
        if (count_ == capacity_) {
            const std::uint32_t grown = count_ + PK_POOL_BLOCK;
            std::unique_ptr<SupportRecord[]> block(new (std::nothrow) SupportRecord[grown]);
            if (!block) {
                return false;
            }
            std::memcpy(static_cast<void*>(block.get()), records_, count_ * sizeof(SupportRecord));
            heap_ = std::move(block);
            records_ = heap_.get();
            capacity_ = grown;
        }
        records_[count_++] = r;
        return true;
    }

private:
    SupportRecord local_[PK_POOL_BLOCK];
    std::unique_ptr<SupportRecord[]> heap_;
    SupportRecord* records_ = local_;
    std::uint32_t count_ = 0;
    std::uint32_t capacity_ = PK_POOL_BLOCK;
};

// Fan test: true when the pool's support differences, projected on the plane normal
// to the axis n, wind around it. Otherwise updates the fan direction f.
//
// When it answers true and winding is given, winding[0..2] receive the pool indices
// of the three records whose projections wind around the axis.
//
// A further record turned back past edge 0 (b <= -1e-5) closes the winding when its
// turn from edge 1 reaches windingThreshold (a >= windingThreshold), else it becomes
// edge 0. The sphere pairs close it already at -1e-5.
template <class Policy>
bool fanTest(const Policy& pair, const Qmt::QmtVector3& n, Qmt::QmtVector3& f,
             const SupportRecord* pool, std::uint32_t count,
             std::uint32_t* winding = nullptr, double windingThreshold = PK_EPS) {
    if (count < 2) {
        f = f + n;
        if (f.SquaredLength() >= PK_EPS) {
            f.Unitize(Qmt::QmtMatrix3::EPSILON);
        } else {
            const double ax = n.x < 0.0 ? -n.x : n.x;
            const double ay = n.y < 0.0 ? -n.y : n.y;
            const double az = n.z < 0.0 ? -n.z : n.z;
            if (ax > ay || az > ay) {
                f = Qmt::QmtVector3(-n.z, 0.0, n.x);
            } else {
                f = Qmt::QmtVector3(n.y, -n.x, 0.0);
            }
            f.Unitize(Qmt::QmtMatrix3::EPSILON);
        }
        return false;
    }
    if (f.Dot(n) > PK_EPS) {
        return false;
    }

    Qmt::QmtMatrix3 R;
    frameFromNormal(n, R);
    // Unit support difference of a record (a too-short one stays as it is) and its
    // projection on the plane normal to n. A difference along the axis carries no
    // winding; its projection is made exactly zero so that rounding noise cannot
    // order it as a fan edge and leave the fan direction parallel to the axis.
    const auto project = [&](const SupportRecord& r, Qmt::QmtVector3& e, Qmt::QmtVector3& q) {
        e = pair.recordDifference(r);
        e.Unitize(Qmt::QmtMatrix3::EPSILON);
        q = R * e;
        q.z = 0.0;
        if (q.x * q.x + q.y * q.y < PK_AXIAL_SQR) {
            q = Qmt::QmtVector3(0.0, 0.0, 0.0);
        }
    };

    Qmt::QmtVector3 e0, q0, e1, q1;
    std::uint32_t i0 = 0, i1 = 1;
    project(pool[0], e0, q0);
    project(pool[1], e1, q1);
    if (q1.y * q0.x - q1.x * q0.y < 0.0) {
        std::swap(e0, e1);
        std::swap(q0, q1);
        std::swap(i0, i1);
    }
    for (std::uint32_t i = 2; i < count; ++i) {
        Qmt::QmtVector3 e, q;
        project(pool[i], e, q);
        const double a = q.y * q1.x - q.x * q1.y;
        const double b = q.y * q0.x - q.x * q0.y;
        if (b <= -PK_EPS) {
            if (a >= windingThreshold) {
                if (winding) {
                    winding[0] = i0;
                    winding[1] = i1;
                    winding[2] = i;
                }
                return true;
            }
            e0 = e;
            q0 = q;
            i0 = i;
        } else if (a > -PK_EPS) {
            e1 = e;
            q1 = q;
            i1 = i;
        }
    }
    f = e0.Cross(n);
    f.Unitize(Qmt::QmtMatrix3::EPSILON);
    if (e1.Dot(f) < 0.0) {
        f = -f;
    }
    return false;
}

// The winding threshold of a pair's fan test: the policy's FAN_WINDING_THRESHOLD
// when it names one, else 1e-5.
template <class Policy>
constexpr double fanWindingThreshold() {
    if constexpr (requires { Policy::FAN_WINDING_THRESHOLD; }) {
        return Policy::FAN_WINDING_THRESHOLD;
    } else {
        return PK_EPS;
    }
}

// Whether the winding the fan test found proves an overlap. The three records'
// differences wind around the axis n of the current difference w = |w| n, so the
// line along n meets their triangle; where it meets it at or behind the origin, the
// origin lies between that point and w, inside the Minkowski difference. A triangle
// met ahead of the origin proves nothing.
template <class Policy>
[[gnu::noinline]] bool windingHoldsOrigin(const Policy& pair, const Qmt::QmtVector3& n,
                                          const SupportRecord* pool, const std::uint32_t* winding) {
    const Qmt::QmtVector3 w0 = pair.recordDifference(pool[winding[0]]);
    const Qmt::QmtVector3 w1 = pair.recordDifference(pool[winding[1]]);
    const Qmt::QmtVector3 w2 = pair.recordDifference(pool[winding[2]]);
    // Barycentric weights (unscaled) of the axis point in the projected triangle.
    double l0 = n.Dot(w1.Cross(w2));
    double l1 = n.Dot(w2.Cross(w0));
    double l2 = n.Dot(w0.Cross(w1));
    if (l0 + l1 + l2 < 0.0) {
        l0 = -l0;
        l1 = -l1;
        l2 = -l2;
    }
    if (l0 < 0.0 || l1 < 0.0 || l2 < 0.0 || !(l0 + l1 + l2 > 0.0)) {
        return false;
    }
    return l0 * w0.Dot(n) + l1 * w1.Dot(n) + l2 * w2.Dot(n) <= 0.0;
}

// The search itself on the working record s (the cache's four fields): 1 overlap,
// 0 separated or undecided. s ends holding the last direction, supports and
// difference.
//
// The reflection search answers by itself where its answer is proven: a direction
// that separates, a stall (the reflected direction keeps both supports, so one of the
// two directions separates unless the shapes touch within the tolerance), a winding
// whose triangle holds the origin. Where it would otherwise guess (a fan direction
// that points nowhere, a cycle the fan direction cannot leave, a winding ahead of the
// origin, the pass cap) the exact decision answers.
template <class Policy>
std::uint32_t reflectionSearch(const Policy& pair, SupportRecord& s) {
    if (s.direction.SquaredLength() < PK_EPS) {
        s.direction = pair.centreB() - pair.centreA();
        // Coincident centres leave no direction; a skew one cannot stall on the
        // axis-symmetric shapes an axis direction would.
        if (s.direction.Unitize(Qmt::QmtMatrix3::EPSILON) == 0.0) {
            s.direction = Qmt::QmtVector3(1.0, 2.0, 3.0);
            s.direction.Unitize(Qmt::QmtMatrix3::EPSILON);
        }
        s.vertexA = 0;
        s.vertexB = 0;
        s.difference = Qmt::QmtVector3(0.0, 0.0, 0.0);
    }
    pair.takeSupports(s);
    if (s.direction.Dot(s.difference) > PK_EPS) {
        return 0;
    }

    SupportPool pool;
    Qmt::QmtVector3 fan(0.0, 0.0, 0.0);
    for (std::uint32_t pass = 0; pass < PK_MAX_PASSES; ++pass) {
        Qmt::QmtVector3 n = s.difference;
        n.Unitize(Qmt::QmtMatrix3::EPSILON);
        std::uint32_t winding[3];
        if (fanTest(pair, n, fan, pool.data(), pool.size(), winding, fanWindingThreshold<Policy>())) {
            return windingHoldsOrigin(pair, n, pool.data(), winding) ? 1 : exactDecision(pair, s);
        }
        if (!pool.push(s)) {
            return 0;
        }
        const std::uint32_t last = pool.size() - 1;

        s.direction = s.direction - n * (2.0 * s.direction.Dot(n));
        s.direction.Unitize(Qmt::QmtMatrix3::EPSILON);
        pair.takeSupports(s);
        if (pair.stalled(s, pool[last])) {
            return 0;
        }

        if (last > 0) {
            bool cycled = false;
            for (std::uint32_t i = 0; i < last && !cycled; ++i) {
                cycled = pair.revisits(s, pool[i]);
            }
            if (cycled) {
                // A fan direction that could not be made unit (an edge record along
                // the axis) points nowhere.
                if (fan.SquaredLength() < 0.5) {
                    return exactDecision(pair, s);
                }
                s.direction = fan;
                pair.takeSupports(s);
                for (std::uint32_t i = 0; i < pool.size(); ++i) {
                    if (pair.noBetter(s, pool[i])) {
                        // The search would go round again; only a separating fan
                        // direction settles it.
                        if (s.direction.Dot(s.difference) > PK_EPS) {
                            return 0;
                        }
                        return exactDecision(pair, s);
                    }
                }
            }
        }

        if (s.direction.Dot(s.difference) > PK_EPS) {
            return 0;
        }
    }
    return exactDecision(pair, s);
}

// Runs the search from the cache and writes its end back, whatever the answer.
template <class Policy>
std::uint32_t reflectionTest(const Policy& pair, ProximityCache& cache) {
    if (!pair.usable()) {
        return 0;
    }
    SupportRecord s{cache.difference, cache.vertexA, cache.vertexB, cache.direction};
    const std::uint32_t result = reflectionSearch(pair, s);
    cache.difference = s.difference;
    cache.vertexA = s.vertexA;
    cache.vertexB = s.vertexB;
    cache.direction = s.direction;
    return result;
}

}  // namespace PkJumpDetail
