#include "geometry/hullConflictTracker.h"

#include <algorithm>
#include <cmath>

#include "math/qmtMatrix3.h"

namespace {

// Outside a face: more than this above its plane.
constexpr double OUTSIDE_TOLERANCE = 1e-5;
// Start value of the growth pass's best projection: the negated largest float.
constexpr double NO_PROJECTION = -3.4028234663852886e38;

// How far below a face's plane a point at distance d from the face's first corner can
// lie and still see the face: 1e-5 d, or d itself while d is too short to normalise.
// Widened a little for the rounding of the distance and of the normalisation.
double visibilityDepth(double d) {
    return 1.001 * std::max(OUTSIDE_TOLERANCE * d, std::min(d, Qmt::QmtMatrix3::EPSILON));
}

}  // namespace

void HullConflictTracker::start(const Qmt::QmtVector3* points, std::uint32_t pointCount,
                                const std::vector<std::uint32_t>& candidates,
                                const ConvexHullContext& context, const Qmt::QmtVector3* vertices,
                                bool strictMode, double roundingSlack) {
    points_ = points;
    vertices_ = vertices;
    strict_ = strictMode;
    slack_ = roundingSlack;
    // The largest distance between two points bounds the distance from any point to a
    // face's corner.
    if (pointCount > 0) {
        Qmt::QmtVector3 lo = points[0];
        Qmt::QmtVector3 hi = points[0];
        for (std::uint32_t i = 1; i < pointCount; ++i) {
            lo = {std::min(lo.x, points[i].x), std::min(lo.y, points[i].y), std::min(lo.z, points[i].z)};
            hi = {std::max(hi.x, points[i].x), std::max(hi.y, points[i].y), std::max(hi.z, points[i].z)};
        }
        deepest_ = visibilityDepth((hi - lo).Length() * (1.0 + 1e-12));
    }
    lists_.assign(std::size_t{2} * pointCount, List{});
    pushedSeq_.assign(pointCount, NONE);
    dirtyStamp_.assign(pointCount, 0);
    dirty_.clear();
    stamp_ = 0;
    faceLinks_.clear();
    faceRange_.assign(context.slotCount(), Range{});
    liveFaceLinks_ = 0;
    heap_.clear();
    heapPos_.assign(pointCount, NONE);
    value_.assign(pointCount, 0.0);

    // Oldest face first, so that every list stays in creation order.
    std::vector<std::uint32_t> faces;
    for (std::uint32_t s = context.frontFace(); s != NONE; s = context.face(s).next) {
        faces.push_back(s);
    }
    std::reverse(faces.begin(), faces.end());
    for (const std::uint32_t s : faces) {
        const ConvexHullContext::Face& f = context.face(s);
        const Qmt::QmtVector3& corner = vertices_[f.corners[0]];
        const double vn = corner.Dot(f.normal);
        faceRange_[s] = {static_cast<std::uint32_t>(faceLinks_.size()), 0, f.seq};
        for (const std::uint32_t c : candidates) {
            if (classify(c, s, context, corner, vn)) {
                faceLinks_.push_back(c);
            }
        }
        faceRange_[s].end = static_cast<std::uint32_t>(faceLinks_.size());
    }
    liveFaceLinks_ = faceLinks_.size();

    std::vector<std::uint32_t> kept;
    kept.reserve(candidates.size());
    for (const std::uint32_t c : candidates) {
        if (!strict_ || !lists_[2 * c].faces.empty()) {
            kept.push_back(c);
        } else {
            lists_[2 * c + 1] = List{};
        }
    }
    tree_.build(points, pointCount, kept);
    if (strict_) {
        heap_.reserve(kept.size());
        for (const std::uint32_t c : kept) {
            const FaceRef newest = lists_[2 * c].faces.back();
            pushedSeq_[c] = newest.seq;
            heapSet(c, points_[c].Dot(context.face(newest.face).normal));
        }
    }
}

bool HullConflictTracker::classify(std::uint32_t candidate, std::uint32_t slot,
                                   const ConvexHullContext& context, const Qmt::QmtVector3& corner,
                                   double cornerProjection) {
    const ConvexHullContext::Face& f = context.face(slot);
    const Qmt::QmtVector3& p = points_[candidate];
    const double pn = p.Dot(f.normal);
    if (strict_ && pn > cornerProjection + OUTSIDE_TOLERANCE) {
        addToList(2 * candidate, slot, f.seq, context);
        markDirty(candidate);
        return true;
    }
    if (pn > cornerProjection - visibilityDepth((p - corner).Length()) - slack_) {
        addToList(2 * candidate + 1, slot, f.seq, context);
    }
    return false;
}

// One tree walk per batch of 64 faces. A node is skipped for a face when even its
// highest projection lies below the face's plane by more than the visibility depth at
// the points' diameter; each point it reaches gets the exact tests.
void HullConflictTracker::classifyFaces(const std::vector<std::uint32_t>& slots,
                                        const ConvexHullContext& context) {
    for (std::size_t first = 0; first < slots.size(); first += 64) {
        const auto count = static_cast<std::uint32_t>(std::min<std::size_t>(64, slots.size() - first));
        batchNormals_.clear();
        batchThresholds_.clear();
        for (std::uint32_t k = 0; k < count; ++k) {
            const ConvexHullContext::Face& f = context.face(slots[first + k]);
            batchNormals_.push_back(f.normal);
            batchThresholds_.push_back(vertices_[f.corners[0]].Dot(f.normal) - deepest_ - slack_);
            batchLinks_[k].clear();
        }
        tree_.visitAbove(batchNormals_.data(), batchThresholds_.data(), count,
                         [&](std::uint32_t k, std::uint32_t candidate, const Qmt::QmtVector3&) {
                             const std::uint32_t slot = slots[first + k];
                             const ConvexHullContext::Face& f = context.face(slot);
                             const Qmt::QmtVector3& corner = vertices_[f.corners[0]];
                             if (classify(candidate, slot, context, corner, corner.Dot(f.normal))) {
                                 batchLinks_[k].push_back(candidate);
                             }
                         });
        for (std::uint32_t k = 0; k < count; ++k) {
            const std::uint32_t slot = slots[first + k];
            const auto begin = static_cast<std::uint32_t>(faceLinks_.size());
            faceLinks_.insert(faceLinks_.end(), batchLinks_[k].begin(), batchLinks_[k].end());
            faceRange_[slot] = {begin, static_cast<std::uint32_t>(faceLinks_.size()), context.face(slot).seq};
            liveFaceLinks_ += batchLinks_[k].size();
        }
    }
}

void HullConflictTracker::addToList(std::uint32_t list, std::uint32_t face, std::uint32_t seq,
                                    const ConvexHullContext& context) {
    List& l = lists_[list];
    l.faces.push_back({face, seq});
    if (l.faces.size() > 2 * std::size_t{l.kept} + 16) {
        std::erase_if(l.faces, [&context](const FaceRef& r) { return !context.isLiveFace(r.face, r.seq); });
        l.kept = static_cast<std::uint32_t>(l.faces.size());
    }
}

void HullConflictTracker::markDirty(std::uint32_t candidate) {
    if (dirtyStamp_[candidate] != stamp_) {
        dirtyStamp_[candidate] = stamp_;
        dirty_.push_back(candidate);
    }
}

std::uint32_t HullConflictTracker::takeBest() {
    if (heap_.empty() || !(value_[heap_[0]] > NO_PROJECTION)) {
        return NONE;
    }
    const std::uint32_t best = heap_[0];
    heapRemove(best);
    return best;
}

void HullConflictTracker::facesSeenBy(std::uint32_t candidate, const ConvexHullContext& context,
                                      std::vector<std::uint32_t>& out) const {
    for (std::uint32_t list = 2 * candidate; list < 2 * candidate + 2; ++list) {
        for (const FaceRef& r : lists_[list].faces) {
            if (context.isLiveFace(r.face, r.seq)) {
                out.push_back(r.face);
            }
        }
    }
}

void HullConflictTracker::drop(std::uint32_t candidate) {
    lists_[2 * candidate] = List{};
    lists_[2 * candidate + 1] = List{};
    heapRemove(candidate);
    tree_.remove(candidate);
}

void HullConflictTracker::update(const ConvexHullContext& context) {
    if (faceRange_.size() < context.slotCount()) {
        faceRange_.resize(context.slotCount());
    }
    if (++stamp_ == 0) {
        std::fill(dirtyStamp_.begin(), dirtyStamp_.end(), 0u);
        stamp_ = 1;
    }
    dirty_.clear();

    // Points of a removed face may have lost the newest face they are outside of.
    for (const std::uint32_t s : context.destroyedFaces) {
        Range& range = faceRange_[s];
        for (std::uint32_t k = range.begin; k < range.end; ++k) {
            if (tree_.isLive(faceLinks_[k])) {
                markDirty(faceLinks_[k]);
            }
        }
        liveFaceLinks_ -= range.end - range.begin;
        range = Range{};
    }
    if (faceLinks_.size() > 2 * liveFaceLinks_ + context.faceCount() + 4096) {
        compactFaceLinks(context);
    }

    classifyFaces(context.createdFaces, context);

    if (strict_) {
        for (const std::uint32_t c : dirty_) {
            refresh(c, context);
        }
    }
}

void HullConflictTracker::compactFaceLinks(const ConvexHullContext& context) {
    std::vector<std::uint32_t> packed;
    packed.reserve(liveFaceLinks_ + 1024);
    for (std::uint32_t s = context.frontFace(); s != NONE; s = context.face(s).next) {
        if (s >= faceRange_.size()) {
            continue;  // made by the step being taken in; its range comes next
        }
        Range& range = faceRange_[s];
        if (range.seq != context.face(s).seq) {
            continue;
        }
        const auto begin = static_cast<std::uint32_t>(packed.size());
        packed.insert(packed.end(), faceLinks_.begin() + range.begin, faceLinks_.begin() + range.end);
        range.begin = begin;
        range.end = static_cast<std::uint32_t>(packed.size());
    }
    faceLinks_.swap(packed);
    liveFaceLinks_ = faceLinks_.size();
}

void HullConflictTracker::refresh(std::uint32_t candidate, const ConvexHullContext& context) {
    std::vector<FaceRef>& strict = lists_[2 * candidate].faces;
    while (!strict.empty() && !context.isLiveFace(strict.back().face, strict.back().seq)) {
        strict.pop_back();
    }
    if (strict.empty()) {
        drop(candidate);
        return;
    }
    const FaceRef newest = strict.back();
    if (newest.seq == pushedSeq_[candidate]) {
        return;
    }
    pushedSeq_[candidate] = newest.seq;
    heapSet(candidate, points_[candidate].Dot(context.face(newest.face).normal));
}

void HullConflictTracker::heapSet(std::uint32_t candidate, double value) {
    value_[candidate] = value;
    std::uint32_t at = heapPos_[candidate];
    if (at == NONE) {
        at = static_cast<std::uint32_t>(heap_.size());
        heap_.push_back(candidate);
        heapPos_[candidate] = at;
    }
    siftUp(at);
    siftDown(heapPos_[candidate]);
}

void HullConflictTracker::heapRemove(std::uint32_t candidate) {
    const std::uint32_t at = heapPos_[candidate];
    if (at == NONE) {
        return;
    }
    heapPos_[candidate] = NONE;
    const std::uint32_t last = heap_.back();
    heap_.pop_back();
    if (last != candidate) {
        heapPlace(at, last);
        siftUp(at);
        siftDown(heapPos_[last]);
    }
}

void HullConflictTracker::siftUp(std::uint32_t at) {
    const std::uint32_t c = heap_[at];
    while (at > 0) {
        const std::uint32_t parent = (at - 1) / 2;
        if (!heapAbove(c, heap_[parent])) {
            break;
        }
        heapPlace(at, heap_[parent]);
        at = parent;
    }
    heapPlace(at, c);
}

void HullConflictTracker::siftDown(std::uint32_t at) {
    const std::uint32_t c = heap_[at];
    const auto size = static_cast<std::uint32_t>(heap_.size());
    while (true) {
        std::uint32_t child = 2 * at + 1;
        if (child >= size) {
            break;
        }
        if (child + 1 < size && heapAbove(heap_[child + 1], heap_[child])) {
            ++child;
        }
        if (!heapAbove(heap_[child], c)) {
            break;
        }
        heapPlace(at, heap_[child]);
        at = child;
    }
    heapPlace(at, c);
}
