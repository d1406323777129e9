#pragma once

#include <cstdint>
#include <vector>

#include "geometry/convexHullContext.h"
#include "geometry/hullPointTree.h"
#include "math/qmtVector3.h"

// Bookkeeping that lets the hull builders avoid testing every remaining point against
// every face on each step, with results identical to those full scans.
//
// For each candidate point it keeps the faces the point may see: every face whose
// plane it lies above, or below by less than the visibility test of addPointToHull
// allows (unit(p - v) . n > -1e-5, v the face's first corner, so at most 1e-5 |p - v|
// below, or |p - v| when that is too short to normalise), plus a rounding allowance.
// These lists therefore hold every face a chosen point can see. A new face finds its
// points through a k-d tree query; removed faces leave stale entries that are
// recognised by their creation numbers and pruned as the lists grow.
//
// In strict mode the faces a candidate lies more than 1e-5 outside of
// (p.Dot(n) > v.Dot(n) + 1e-5) are kept in a list of their own, oldest first, each
// such face also lists its points, and an indexed max-heap holds every candidate's
// projection on the newest face it is outside of. A candidate outside no face is
// dropped, as the growth pass drops it.
class HullConflictTracker {
public:
    static constexpr std::uint32_t NONE = 0xFFFFFFFFu;

    // Classifies the candidates against every face of the context and builds the
    // tree over the ones kept. vertices is the hull mesh's vertex array; roundingSlack
    // bounds the rounding of a dot product of a point with a unit normal.
    void start(const Qmt::QmtVector3* points, std::uint32_t pointCount,
               const std::vector<std::uint32_t>& candidates, const ConvexHullContext& context,
               const Qmt::QmtVector3* vertices, bool strictMode, double roundingSlack);

    // Strict mode: removes and returns the candidate with the largest projection on
    // the newest face it lies outside of (the highest index among equal values), or
    // NONE when no candidate projects above -3.4028234663852886e38.
    std::uint32_t takeBest();

    // Faces the candidate may see (a superset of those it does see), in no set order.
    void facesSeenBy(std::uint32_t candidate, const ConvexHullContext& context,
                     std::vector<std::uint32_t>& out) const;

    // Removes a candidate for good.
    void drop(std::uint32_t candidate);

    // Takes in the faces the last addPointToHull made and removed.
    void update(const ConvexHullContext& context);

    std::uint32_t liveCount() const { return tree_.liveCount(); }
    bool isLive(std::uint32_t candidate) const { return tree_.isLive(candidate); }
    HullPointTree& tree() { return tree_; }

private:
    struct FaceRef {
        std::uint32_t face;
        std::uint32_t seq;
    };
    // List 2c holds the faces candidate c is strictly outside of, list 2c + 1 the
    // other faces it may see; both in creation order.
    struct List {
        std::vector<FaceRef> faces;
        std::uint32_t kept = 0;  // live entries after the last prune
    };
    struct Range {               // a face's strict points in faceLinks_
        std::uint32_t begin = 0;
        std::uint32_t end = 0;
        std::uint32_t seq = NONE;
    };

    // Files the face in one of the candidate's lists; true when the candidate lies
    // strictly outside it.
    bool classify(std::uint32_t candidate, std::uint32_t slot, const ConvexHullContext& context,
                  const Qmt::QmtVector3& corner, double cornerProjection);
    // Offers new faces (in creation order) to the candidates that may lie near or
    // above their planes.
    void classifyFaces(const std::vector<std::uint32_t>& slots, const ConvexHullContext& context);
    // Appends a face to one of a candidate's lists; a list that has grown to twice its
    // live length since it was last pruned loses its stale entries.
    void addToList(std::uint32_t list, std::uint32_t face, std::uint32_t seq,
                   const ConvexHullContext& context);
    void markDirty(std::uint32_t candidate);
    // Drops stale faces off the newest end of the strict list; updates the candidate's
    // heap value when its newest face changed, or drops the candidate when none is left.
    void refresh(std::uint32_t candidate, const ConvexHullContext& context);
    // Copies the live faces' point ranges to the front of faceLinks_.
    void compactFaceLinks(const ConvexHullContext& context);

    // Indexed max-heap of candidates by (value, index): one entry per candidate.
    bool heapAbove(std::uint32_t a, std::uint32_t b) const {
        return value_[a] > value_[b] || (value_[a] == value_[b] && a > b);
    }
    void heapSet(std::uint32_t candidate, double value);
    void heapRemove(std::uint32_t candidate);
    void siftUp(std::uint32_t at);
    void siftDown(std::uint32_t at);
    void heapPlace(std::uint32_t at, std::uint32_t candidate) {
        heap_[at] = candidate;
        heapPos_[candidate] = at;
    }

    const Qmt::QmtVector3* points_ = nullptr;
    const Qmt::QmtVector3* vertices_ = nullptr;
    bool strict_ = false;
    double slack_ = 0.0;
    double deepest_ = 0.0;                     // visibility depth at the points' diameter
    HullPointTree tree_;

    std::vector<List> lists_;                  // two per candidate
    std::vector<std::uint32_t> pushedSeq_;     // per candidate, face of its heap value
    std::vector<std::uint32_t> dirtyStamp_;    // per candidate
    std::vector<std::uint32_t> dirty_;
    std::uint32_t stamp_ = 0;

    std::vector<std::uint32_t> faceLinks_;     // strict points of the faces, by range
    std::vector<Range> faceRange_;             // per face slot
    std::uint64_t liveFaceLinks_ = 0;
    std::vector<std::uint32_t> batchLinks_[64];  // strict points per face of a batch
    std::vector<Qmt::QmtVector3> batchNormals_;
    std::vector<double> batchThresholds_;

    std::vector<std::uint32_t> heap_;
    std::vector<std::uint32_t> heapPos_;       // per candidate, NONE when not in the heap
    std::vector<double> value_;                // per candidate
};
