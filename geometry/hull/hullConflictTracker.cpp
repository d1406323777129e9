#include "geometry/hull/hullConflictTracker.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <memory>
#include <numeric>
#include <type_traits>
#include <utility>

#include <unistd.h>

#include "math/qmtMatrix3.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

using Qmt::QmtVector3;

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

// Cells along each axis of the grid that orders the candidates.
constexpr std::uint32_t GRID = 256;

// Per cell coordinate: its bits spread to every third bit.
constexpr auto SPREAD_BITS = [] {
    std::array<std::uint32_t, GRID> table{};
    for (std::uint32_t c = 0; c < GRID; ++c) {
        for (std::uint32_t bit = 0; bit < 8; ++bit) {
            table[c] |= (c >> bit & 1u) << (3 * bit);
        }
    }
    return table;
}();

// Cell of v along an axis from lo. Halves keep the differences of huge coordinates
// finite; a NaN or out-of-range cell only costs locality.
std::uint32_t cellOf(double v, double lo, double scale) {
    const double t = (0.5 * v - 0.5 * lo) * scale;
    return t > 0.0 ? (t < GRID - 1.0 ? static_cast<std::uint32_t>(t) : GRID - 1) : 0u;
}

// What the points of a face's block are sorted by.
struct FaceTest {
    QmtVector3 normal;
    QmtVector3 corner;
    double cornerProjection;
    double floor;
    double outsideAbove;  // the outside test's bound
    double slack;
};

// A face's three parts while its points are sorted into them: the outside part goes
// straight to its place among the staged points, the other two wait in a buffer. The
// outside part has room for every point placed, so a point can be written there before
// it is known whether it stays.
struct PartCursors {
    std::uint32_t* const outsideStart;
    std::uint32_t* const seesStart;
    std::uint32_t* const aboveStart;
    std::uint32_t* outside = outsideStart;
    std::uint32_t* sees = seesStart;
    std::uint32_t* above = aboveStart;

    // Point p at q, with p.n = pn: above the floor, outside when p.n is above
    // outsideAbove, seeing the face when less than the visibility depth below its
    // plane, else above the floor only; at or below the floor, or not wanted, it is
    // left out.
    [[gnu::always_inline]] void place(const FaceTest& t, std::uint32_t p, const QmtVector3& q, double pn,
                                      bool wanted = true) {
        const bool aboveFloor = wanted & (pn > t.floor);
        const bool outsideIt = aboveFloor & (pn > t.outsideAbove);
        if (aboveFloor == outsideIt) {
            // Left out or outside, as nearly every point is, the one as often as the
            // other: no branch tells them apart.
            keepOutsideIf(p, outsideIt);
            return;
        }
        if (pn > t.cornerProjection - visibilityDepth((q - t.corner).Length()) - t.slack) {
            *sees++ = p;
        } else {
            *above++ = p;
        }
    }
    // Writes p to the outside part, where it stays only when kept (the cursor moves
    // past it).
    [[gnu::always_inline]] void keepOutsideIf(std::uint32_t p, bool kept) {
        *outside = p;
        outside += kept;
    }
    // The parts' counts, and the two waiting parts moved after the outside part;
    // returns the end of the three.
    std::uint32_t* close(std::uint32_t& outsideCount, std::uint32_t& seesCount, std::uint32_t& aboveCount) const {
        outsideCount = static_cast<std::uint32_t>(outside - outsideStart);
        seesCount = static_cast<std::uint32_t>(sees - seesStart);
        aboveCount = static_cast<std::uint32_t>(above - aboveStart);
        return std::copy(aboveStart, above, std::copy(seesStart, sees, outside));
    }
};

// The points a face is tested with, by place k: the candidates' own records...
template <class IndexAt>
struct PointsAt {
    const QmtVector3* points;
    IndexAt indexAt;
    std::uint32_t index(std::size_t k) const { return indexAt(k); }
    QmtVector3 point(std::size_t k) const { return points[indexAt(k)]; }
#if defined(__SSE2__)
    // The coordinates of places k and k + 1, by axis.
    void pair(std::size_t k, __m128d& x, __m128d& y, __m128d& z) const {
        const double* const a = &points[indexAt(k)].x;
        const double* const b = &points[indexAt(k + 1)].x;
        const __m128d ab = _mm_loadu_pd(a);
        const __m128d cd = _mm_loadu_pd(b);
        x = _mm_unpacklo_pd(ab, cd);
        y = _mm_unpackhi_pd(ab, cd);
        z = _mm_loadh_pd(_mm_load_sd(a + 2), b + 2);
    }
#endif
};

// ...or points gathered with their coordinates by axis.
struct PointsByAxis {
    const double* xs;
    const double* ys;
    const double* zs;
    const std::uint32_t* indices;
    std::uint32_t index(std::size_t k) const { return indices[k]; }
    QmtVector3 point(std::size_t k) const { return {xs[k], ys[k], zs[k]}; }
#if defined(__SSE2__)
    void pair(std::size_t k, __m128d& x, __m128d& y, __m128d& z) const {
        x = _mm_loadu_pd(xs + k);
        y = _mm_loadu_pd(ys + k);
        z = _mm_loadu_pd(zs + k);
    }
#endif
};

// Sorts the points of places [0, n) into a face's parts.
template <class Points>
[[gnu::always_inline]] inline void classifyRun(const Points& points, const FaceTest& t, std::size_t n,
                                               PartCursors& parts) {
    const double nx = t.normal.x;
    const double ny = t.normal.y;
    const double nz = t.normal.z;
    std::size_t k = 0;
#if defined(__SSE2__)
    // Two points at a time, each lane the same terms in the same order; a pair whose
    // points are each below the floor or outside needs nothing else.
    const __m128d vx = _mm_set1_pd(nx);
    const __m128d vy = _mm_set1_pd(ny);
    const __m128d vz = _mm_set1_pd(nz);
    const __m128d vOutside = _mm_set1_pd(t.outsideAbove);
    const __m128d vFloor = _mm_set1_pd(t.floor);
    for (; k + 2 <= n; k += 2) {
        __m128d x;
        __m128d y;
        __m128d z;
        points.pair(k, x, y, z);
        const __m128d pn = _mm_add_pd(_mm_add_pd(_mm_mul_pd(x, vx), _mm_mul_pd(y, vy)), _mm_mul_pd(z, vz));
        const __m128d aboveFloor = _mm_cmpgt_pd(pn, vFloor);
        const int above = _mm_movemask_pd(aboveFloor);
        const int outside = _mm_movemask_pd(_mm_and_pd(_mm_cmpgt_pd(pn, vOutside), aboveFloor));
        if (above == outside) {
            // The usual case, the two mixed as often as not (see place).
            parts.keepOutsideIf(points.index(k), (outside & 1) != 0);
            parts.keepOutsideIf(points.index(k + 1), (outside & 2) != 0);
            continue;
        }
        double lanes[2];
        _mm_storeu_pd(lanes, pn);
        parts.place(t, points.index(k), points.point(k), lanes[0]);
        parts.place(t, points.index(k + 1), points.point(k + 1), lanes[1]);
    }
#endif
    for (; k < n; ++k) {
        const QmtVector3 q = points.point(k);
        parts.place(t, points.index(k), q, q.x * nx + q.y * ny + q.z * nz);  // q.Dot(normal), term by term
    }
}

}  // namespace

std::size_t HullConflictTracker::defaultLinkLimit() {
    static const std::size_t limit = [] {
        std::size_t bytes = std::size_t{1} << 30;  // where the memory size cannot be had
#if defined(_SC_PHYS_PAGES) && defined(_SC_PAGESIZE)
        const long pages = sysconf(_SC_PHYS_PAGES);
        const long pageSize = sysconf(_SC_PAGESIZE);
        if (pages > 0 && pageSize > 0) {
            bytes = static_cast<std::size_t>(pages) / 16 * static_cast<std::size_t>(pageSize);
        }
#endif
        return std::min(std::max(bytes, std::size_t{256} << 20) / sizeof(Link), MAX_LINKS);
    }();
    return limit;
}

void HullConflictTracker::start(const QmtVector3* points, std::uint32_t pointCount,
                                const std::vector<std::uint32_t>& candidates, const ConvexHullContext& context,
                                const QmtVector3* vertices, bool strictMode, double roundingSlack,
                                bool keepCandidates, bool treeBeside) {
    // A build still running reads the ranked points about to be replaced.
    dropTreeBuild();
    vertices_ = vertices;
    strict_ = strictMode;
    prunes_ = strictMode && !keepCandidates;
    slack_ = roundingSlack;
    // The largest distance between two points bounds the distance from any point to a
    // face's corner.
    deepest_ = 0.0;
    pointNorm_ = 0.0;
    QmtVector3 lo;
    QmtVector3 hi;
    if (pointCount > 0) {
        lo = points[0];
        hi = points[0];
        for (std::uint32_t i = 0; i < pointCount; ++i) {
            const QmtVector3& p = points[i];
            lo = {std::min(lo.x, p.x), std::min(lo.y, p.y), std::min(lo.z, p.z)};
            hi = {std::max(hi.x, p.x), std::max(hi.y, p.y), std::max(hi.z, p.z)};
            pointNorm_ = std::max(pointNorm_, std::fabs(p.x) + std::fabs(p.y) + std::fabs(p.z));
        }
        deepest_ = visibilityDepth((hi - lo).Length() * (1.0 + 1e-12));
    }
    // A dot product of three terms with a normal of components at most 1 is off by less
    // than 3.4e-16 times the point's |x| + |y| + |z|.
    dotError_ = 2e-15 * pointNorm_ + 1e-300;
    headroom_ = 0.01 * (deepest_ + slack_) + 4.0 * dotError_;

    rankCandidates(points, pointCount, candidates, lo, hi);
    points_ = rankPoints_.data();
    const auto count = static_cast<std::uint32_t>(candidates.size());
    if (treeBeside && !strict_ && count >= TREE_BESIDE_FROM) {
        // Every candidate, as tree_ below starts with them.
        std::vector<std::uint32_t> all(count);
        std::iota(all.begin(), all.end(), 0u);
        besideTree_ = std::make_shared<HullPointTree>();
        besideTree_->build(points_, count, all, HullPointTree::IndexOrder::SPATIAL, FACE_MODE_LEAF_SIZE,
                           FACE_MODE_BUILD_COST);
        besideTree_->reserveTree();
        treeBuild_ = std::make_shared<MadeBeside<bool>>();
        treeBuild_->start([tree = besideTree_.get()](bool& built) {
            tree->buildNow();
            built = true;
        });
    }
    mark_.assign(count, 0);
    outsideHead_.assign(count, NONE);
    seesHead_.assign(count, NONE);
    liveInChains_.assign(count, 0);
    // Only the growth pass's heap reads these.
    heapStates_.clear();
    if (strict_) {
        heapStates_.reserve(count);
        for (std::uint32_t r = 0; r < count; ++r) {
            heapStates_.push_back({0.0, 0.0, NONE, NONE, inputOf_[r]});
        }
    }
    liveCount_ = 0;
    stampValue_ = 0;
    // Written before it is read, and only by the growth pass: no zero fill.
    dirty_ = strict_ ? UnsetArray(std::size_t{count} + 1) : UnsetArray();
    dirtyCount_ = 0;
    // Room reserved up front is only address space until written, and spares the
    // arena the copies and fresh pages of its first doublings (capped at 16M links).
    links_.clear();
    links_.reserve(std::min(8 * std::size_t{count} + 4096, std::size_t{1} << 24));
    stagedPoints_.resize(std::max<std::size_t>(stagedPoints_.size(), count));
    blocks_.assign(context.slotCount(), Block{});
    lazy_.assign(context.slotCount(), LazyState{});
    chunksOf_.clear();
    chunkBoxes_.clear();
    lazyFaces_.clear();
    blockOrder_.clear();
    liveLinks_ = 0;
    heap_.clear();

    // Oldest face first, so that every chain runs newest first.
    std::vector<std::uint32_t> faces;
    for (std::uint32_t s = context.frontFace(); s != NONE; s = context.face(s).next) {
        faces.push_back(s);
    }
    std::reverse(faces.begin(), faces.end());
    for (const std::uint32_t s : faces) {
        const ConvexHullContext::Face& f = context.face(s);
        const double cp = vertices_[f.corners[0]].Dot(f.normal);
        staged_.clear();
        stagedCount_ = 0;
        staged_.push_back({s, 0, {}, startFloor(cp)});
        stageFace(staged_.back(), f, count, [](std::size_t k) { return static_cast<std::uint32_t>(k); });
        commitBlocks(0, 1, context, false);
    }

    std::vector<std::uint32_t> kept;
    kept.reserve(count);
    for (std::uint32_t r = 0; r < count; ++r) {
        if (!prunes_ || outsideHead_[r] != NONE) {
            kept.push_back(r);
            mark_[r] = 0;
        } else {
            mark_[r] = DEAD;
        }
    }
    liveCount_ = static_cast<std::uint32_t>(kept.size());
    // In face mode a candidate leaves only by joining the hull, so the tree holds every
    // point of a solid cloud to the end, most of them deep inside and never reported:
    // larger leaves make fewer nodes to build and fit there, at no cost on surfaces,
    // and the scans of every point give way to the tree sooner.
    tree_.build(points_, count, kept, HullPointTree::IndexOrder::SPATIAL,
                strict_ ? HullPointTree::LEAF_SIZE : FACE_MODE_LEAF_SIZE,
                strict_ ? HullPointTree::BUILD_COST : FACE_MODE_BUILD_COST);
    if (strict_) {
        // Every entry at once, then heapified from the bottom: linear, and the order
        // takeBest gives depends only on the values and input indices.
        heap_.reserve(kept.size());
        for (const std::uint32_t c : kept) {
            if (outsideHead_[c] == NONE) {
                continue;  // kept outside the heap (keepCandidates)
            }
            const std::uint32_t face = links_[outsideHead_[c]].face;
            const Block& newest = blocks_[face];
            const double value = points_[c].Dot(context.face(face).normal);
            HeapState& state = heapStates_[c];
            state.current = value;
            state.held = value;
            state.pushedSeq = newest.seq;
            state.heapPos = static_cast<std::uint32_t>(heap_.size());
            heap_.push_back({value, state.input, c});
        }
        const auto size = static_cast<std::uint32_t>(heap_.size());
        for (std::uint32_t at = size > 1 ? (size - 2) / HEAP_ARITY + 1 : 0; at-- > 0;) {
            siftDown(at, heap_[at]);
        }
    }
    dirtyCount_ = 0;
}

// Ranks by the Morton code of the grid cell about the points that holds the
// candidate, ties in input order (a stable radix sort on the code's 24 bits).
void HullConflictTracker::rankCandidates(const QmtVector3* points, std::uint32_t pointCount,
                                         const std::vector<std::uint32_t>& candidates, const QmtVector3& lo,
                                         const QmtVector3& hi) {
    const auto count = static_cast<std::uint32_t>(candidates.size());
    // Cells per unit of half the coordinate; a flat axis or an extent of denormals
    // gives an infinite scale and NaN or infinite cells, which cellOf clamps.
    const QmtVector3 scale(GRID / (0.5 * hi.x - 0.5 * lo.x), GRID / (0.5 * hi.y - 0.5 * lo.y),
                           GRID / (0.5 * hi.z - 0.5 * lo.z));
    const auto keyed = std::make_unique_for_overwrite<std::uint64_t[]>(count);
    const auto sorted = std::make_unique_for_overwrite<std::uint64_t[]>(count);
    // Three 8-bit digits on small clouds, two 12-bit digits on large ones: every build
    // clears and sums a table per digit and moves the keys once per digit.
    const bool small = count < SMALL_RANKING;
    const int digit = small ? 8 : 12;
    const int passes = small ? 3 : 2;
    const std::uint32_t digits = 1u << digit;
    std::vector<std::uint32_t> start(passes * digits, 0);
    std::uint32_t* const bucket = start.data();
    for (std::uint32_t i = 0; i < count; ++i) {
        const QmtVector3& p = points[candidates[i]];
        const std::uint32_t code = SPREAD_BITS[cellOf(p.x, lo.x, scale.x)] |
                                   SPREAD_BITS[cellOf(p.y, lo.y, scale.y)] << 1 |
                                   SPREAD_BITS[cellOf(p.z, lo.z, scale.z)] << 2;
        keyed[i] = std::uint64_t{code} << 32 | candidates[i];
        if (small) {
            ++bucket[code & 255u];
            ++bucket[256 + (code >> 8 & 255u)];
            ++bucket[512 + (code >> 16)];
        } else {
            ++bucket[code & 4095u];
            ++bucket[4096 + (code >> 12)];
        }
    }
    std::uint64_t* from = keyed.get();
    std::uint64_t* to = sorted.get();
    for (int pass = 0; pass < passes; ++pass) {
        std::uint32_t* const at = bucket + pass * digits;
        std::uint32_t sum = 0;
        for (std::uint32_t d = 0; d < digits; ++d) {
            sum += std::exchange(at[d], sum);
        }
        const int shift = 32 + pass * digit;
        for (std::uint32_t i = 0; i < count; ++i) {
            to[at[from[i] >> shift & (digits - 1)]++] = from[i];
        }
        std::swap(from, to);
    }
    // Appended rather than sized first: these arrays are fresh memory, written once.
    rankOf_.assign(pointCount, NONE);
    inputOf_.clear();
    inputOf_.reserve(count);
    rankPoints_.clear();
    rankPoints_.reserve(count);
    // Small clouds stay in cache: no fetching ahead.
    const std::uint32_t fetched = small ? 0 : count - std::min(count, 2 * PREFETCH_AHEAD);
    std::uint32_t r = 0;
    for (; r < fetched; ++r) {
        const auto ahead = static_cast<std::uint32_t>(from[r + 2 * PREFETCH_AHEAD]);
        __builtin_prefetch(points + ahead);
        __builtin_prefetch(&rankOf_[ahead], 1);
        const auto input = static_cast<std::uint32_t>(from[r]);
        inputOf_.push_back(input);
        rankOf_[input] = r;
        rankPoints_.push_back(points[input]);
    }
    for (; r < count; ++r) {
        const auto input = static_cast<std::uint32_t>(from[r]);
        inputOf_.push_back(input);
        rankOf_[input] = r;
        rankPoints_.push_back(points[input]);
    }
}

// Inlined: every face staged asks it.
[[gnu::always_inline]] inline double HullConflictTracker::outsideAbove(double cornerProjection) const {
    return strict_ ? cornerProjection + OUTSIDE_TOLERANCE : cornerProjection + OUTSIDE_TOLERANCE - slack_;
}

double HullConflictTracker::startFloor(double cornerProjection) const {
    return cornerProjection - deepest_ - slack_ - headroom_;
}

// Classifies n candidates, the k-th indexAt(k), against the face below the staged
// entry's floor and appends them to stagedPoints_ as its three parts.
template <class IndexAt>
void HullConflictTracker::stageFace(Staged& staged, const ConvexHullContext::Face& face, std::size_t n,
                                    IndexAt indexAt) {
    const QmtVector3& corner = vertices_[face.corners[0]];
    const double cp = corner.Dot(face.normal);
    const FaceTest test{face.normal, corner, cp, staged.floor,
                        outsideAbove(cp), slack_};
    // The shared part buffer when it has room, else one of its own, freed at once:
    // growing the shared one to all candidates at the start left the heap so that
    // it was trimmed and faulted in afresh on every face-mode build.
    std::unique_ptr<std::uint32_t[]> own;
    std::uint32_t* seesStart = partBuffer_.get();
    if (partRoom_ < 2 * n) {
        own = std::make_unique_for_overwrite<std::uint32_t[]>(2 * n);
        seesStart = own.get();
    }
    PartCursors parts{stagedRoom(n), seesStart, seesStart + n};
    classifyRun(PointsAt<IndexAt>{points_, indexAt}, test, n, parts);
    staged.first = stagedCount_;
    stagedCount_ = static_cast<std::uint32_t>(
        parts.close(staged.counts[OUTSIDE], staged.counts[SEES], staged.counts[ABOVE_FLOOR]) - stagedPoints_.data());
}

// Appends the links of staged_[first, last) as their faces' blocks, in that order.
void HullConflictTracker::commitBlocks(std::size_t first, std::size_t last, const ConvexHullContext& context,
                                       bool mayGoLazy) {
    std::size_t total = 0;
    for (std::size_t k = first; k < last; ++k) {
        Staged& staged = staged_[k];
        const std::uint32_t size = staged.counts[OUTSIDE] + staged.counts[SEES] + staged.counts[ABOVE_FLOOR];
        if (mayGoLazy && size >= LAZY_FROM && staged.counts[OUTSIDE] == 0) {
            const ConvexHullContext::Face& f = context.face(staged.slot);
            if (lazyByTree(staged.slot, f, vertices_[f.corners[0]].Dot(f.normal))) {
                staged.first = WENT_LAZY;
                continue;
            }
        }
        total += size;
    }
    checkRoom(links_.size(), total);
    auto at = static_cast<std::uint32_t>(links_.size());
    links_.resize(at + total);
    liveLinks_ += total;
    // Arrays, the stamp and the dirty count in registers over the stores.
    Link* out = links_.data() + at;
    std::uint32_t* const heads = outsideHead_.data();
    std::uint32_t* const seesHeads = seesHead_.data();
    std::uint32_t* const inChains = liveInChains_.data();
    std::uint32_t* const mark = mark_.data();
    std::uint32_t* const dirty = dirty_.get();
    std::uint32_t dirtyCount = dirtyCount_;
    const std::uint32_t stamp = stampValue_;
    const bool strict = strict_;
    for (std::size_t k = first; k < last; ++k) {
        const Staged& staged = staged_[k];
        if (staged.first == WENT_LAZY) {
            continue;
        }
        const ConvexHullContext::Face& f = context.face(staged.slot);
        const std::uint32_t slot = staged.slot;
        const std::uint32_t* p = stagedPoints_.data() + staged.first;
        Block& b = blocks_[slot];
        const std::uint32_t blockBegin = at;
        b.begin = at;
        // Threads the links of [p, end) at the front of their chains; with `list`, each
        // point is listed once for refresh (face mode reads no marks).
        const auto thread = [&](auto list, const std::uint32_t* end, std::uint32_t* chains) {
            for (; p < end; ++p, ++out, ++at) {
                const std::uint32_t q = *p;
                out->point = q;
                out->next = chains[q];
                out->face = slot;
                chains[q] = at;
                ++inChains[q];
                if constexpr (decltype(list)::value) {
                    // Without a branch: whether the point is listed already is a
                    // toss-up. A staged point is live, so its mark may be overwritten.
                    dirty[dirtyCount] = q;
                    dirtyCount += mark[q] != stamp;
                    mark[q] = stamp;
                }
            }
        };
        const std::uint32_t* const outsideEnd = p + staged.counts[OUTSIDE];
        if (strict) {
            thread(std::true_type{}, outsideEnd, heads);
        } else {
            thread(std::false_type{}, outsideEnd, heads);
        }
        b.outsideEnd = at;
        thread(std::false_type{}, p + staged.counts[SEES], seesHeads);
        b.seeEnd = at;
        const std::uint32_t* const aboveEnd = p + staged.counts[ABOVE_FLOOR];
        for (; p < aboveEnd; ++p, ++out, ++at) {
            *out = Link(*p, NONE, slot);
        }
        b.end = at;
        b.seq = f.seq;
        b.floor = staged.floor;
        if (at - blockBegin >= CHUNKED_FROM) {
            boxChunks(slot, blockBegin, at);
        }
        blockOrder_.push_back({slot, f.seq});
    }
    dirtyCount_ = dirtyCount;
}

void HullConflictTracker::retireFaces(const std::vector<std::uint32_t>& slots) {
    // One pass over each block's outside links unthreads them and, in strict mode,
    // lists for refresh the candidates whose heap value came from its face (the arrays
    // and the count in registers over the stores).
    Link* const links = links_.data();
    std::uint32_t* const mark = mark_.data();
    std::uint32_t* const inChains = liveInChains_.data();
    const HeapState* const states = heapStates_.data();
    std::uint32_t* const dirty = dirty_.get();
    std::uint32_t dirtyCount = dirtyCount_;
    const std::uint32_t stamp = stampValue_;
    for (const std::uint32_t slot : slots) {
        Block& b = blocks_[slot];
        if (b.seq == NONE) {
            if (lazy_[slot].seq != NONE) {
                const std::uint32_t at = lazy_[slot].at;
                const std::uint32_t moved = lazyFaces_.back();
                lazyFaces_[at] = moved;
                lazy_[moved].at = at;
                lazyFaces_.pop_back();
                lazy_[slot] = LazyState{};
            }
            continue;
        }
        // The block's bounds are copied: the links' stores could otherwise change them.
        const std::uint32_t begin = b.begin;
        const std::uint32_t outsideEnd = b.outsideEnd;
        const std::uint32_t seeEnd = b.seeEnd;
        const std::uint32_t seq = b.seq;
        if (strict_) {
            for (std::uint32_t l = begin; l < outsideEnd; ++l) {
                links[l].face = NONE;
                const std::uint32_t p = links[l].point;
                --inChains[p];
                // No mark exceeds the stamp but DEAD: one test leaves out the dead and
                // the listed.
                if (mark[p] < stamp && states[p].pushedSeq == seq) {
                    mark[p] = stamp;
                    dirty[dirtyCount++] = p;
                }
            }
        } else {
            for (std::uint32_t l = begin; l < outsideEnd; ++l) {
                links[l].face = NONE;
                --inChains[links[l].point];
            }
        }
        for (std::uint32_t l = outsideEnd; l < seeEnd; ++l) {
            links[l].face = NONE;
            --inChains[links[l].point];
        }
        liveLinks_ -= b.end - begin;
        b.seq = NONE;
    }
    dirtyCount_ = dirtyCount;
}

// A live face other than the new ones that shares the new face's first edge (the first
// the walk meets; on a surface that is not a manifold there can be more). Any live
// face's block makes inheritedFloor's proof sound; the one across the edge makes it
// tight, its normal lying on the great circle of the new face's and the replaced one's.
// Inlined, as inheritedFloor: they run for every new face.
[[gnu::always_inline]] inline std::uint32_t HullConflictTracker::faceAcross(std::uint32_t slot,
                                                                            std::uint32_t firstNewSeq,
                                                                            const ConvexHullContext& context) const {
    const std::uint32_t* c = context.face(slot).corners;
    const std::uint32_t a = c[0];
    const std::uint32_t b = c[1];
    if (a == b || c[2] == a || c[2] == b) {
        return NONE;
    }
    if (context.sidesRecorded()) {
        // The edge's record knows its other face, the only one the walk could find.
        const std::uint32_t recorded = context.otherSide(slot);
        if (recorded != ConvexHullContext::MANY) {
            return recorded;
        }
    }
    const std::uint32_t walk = context.incidenceCount(a) <= context.incidenceCount(b) ? a : b;
    const std::uint32_t other = walk == a ? b : a;
    for (std::uint32_t link = context.firstIncidence(walk); link != NONE; link = context.nextIncidence(link)) {
        const std::uint32_t s = ConvexHullContext::faceOfLink(link);
        const std::uint32_t* corners = context.linkedCorners(s);
        // Tests joined without short cuts: one branch, taken once.
        if (((corners[0] == other) | (corners[1] == other) | (corners[2] == other)) &
            (context.face(s).seq < firstNewSeq)) {
            return s;
        }
    }
    return NONE;
}

// With n = a nV + b nN + r (a, b >= 0), a point that is in neither block lies at most
// a floorV + b floorN + |p|1 |r|inf (plus rounding) along n; that bound is the new
// face's floor, unless it would not reach below the depth the face needs.
[[gnu::always_inline]] inline bool HullConflictTracker::inheritedFloor(const QmtVector3& n,
                                                                      double cornerProjection,
                                                                      const ConvexHullContext& context,
                                                                      std::uint32_t from, std::uint32_t across,
                                                                      double& floor) const {
    const Block& V = blocks_[from];
    const Block& N = blocks_[across];
    if (V.seq == NONE || N.seq == NONE) {
        return false;
    }
    // The replaced face's record keeps its normal until its slot is reused, after this
    // step.
    const QmtVector3& nv = context.face(from).normal;
    const QmtVector3& nn = context.face(across).normal;
    const double g11 = nv.Dot(nv);
    const double g12 = nv.Dot(nn);
    const double g22 = nn.Dot(nn);
    const double b1 = n.Dot(nv);
    const double b2 = n.Dot(nn);
    const double det = g11 * g22 - g12 * g12;
    double a = -1.0;
    double b = -1.0;
    if (det > 1e-20) {
        const double inverse = 1.0 / det;
        a = (b1 * g22 - b2 * g12) * inverse;
        b = (b2 * g11 - b1 * g12) * inverse;
    }
    const auto residual = [&](double x, double y) {
        const QmtVector3 r = n - nv * x - nn * y;
        return std::max({std::fabs(r.x), std::fabs(r.y), std::fabs(r.z)}) + 1e-15 * (1.0 + x + y);
    };
    double rest = 0.0;
    if (a >= 0.0 && b >= 0.0) {
        rest = residual(a, b);
    } else {
        // Nearly parallel neighbours, or a normal just outside their span: one of them.
        const double av = b1 > 0.0 && g11 > 0.0 ? b1 / g11 : -1.0;
        const double bn = b2 > 0.0 && g22 > 0.0 ? b2 / g22 : -1.0;
        const double rv = av >= 0.0 ? residual(av, 0.0) : HUGE_VAL;
        const double rn = bn >= 0.0 ? residual(0.0, bn) : HUGE_VAL;
        if (rv == HUGE_VAL && rn == HUGE_VAL) {
            return false;
        }
        a = rv <= rn ? av : 0.0;
        b = rv <= rn ? 0.0 : bn;
        rest = std::min(rv, rn);
    }
    const double terms = a * V.floor + b * N.floor + (a + b + 1.0) * dotError_ + pointNorm_ * rest;
    const double bound = terms + 1e-14 * (a * std::fabs(V.floor) + b * std::fabs(N.floor) + (a + b + 1.0) * dotError_ +
                                          pointNorm_ * rest) + 1e-300;
    const double least = cornerProjection - deepest_ - slack_;
    if (!(bound <= least)) {
        return false;
    }
    floor = std::max(bound, least - headroom_);
    return true;
}

// Inlined: it runs for every group of new faces.
[[gnu::always_inline]] inline void HullConflictTracker::nextStampValue() {
    if (++stampValue_ == DEAD) {
        for (std::uint32_t& m : mark_) {
            m = m == DEAD ? DEAD : 0;
        }
        stampValue_ = 1;
    }
}

std::uint32_t HullConflictTracker::takeBest() {
    // Entries may hold a value above the candidate's own (see refresh): the top is
    // brought down to its own value until it holds it, and is then the largest.
    while (!heap_.empty() && heap_[0].value != heapStates_[heap_[0].candidate].current) {
        HeapEntry top = heap_[0];
        HeapState& state = heapStates_[top.candidate];
        state.held = state.current;
        top.value = state.current;
        siftDown(0, top);
    }
    if (heap_.empty() || !(heap_[0].value > NO_PROJECTION)) {
        return NONE;
    }
    // heapRemove of the top: the last entry sifts down from the root.
    const HeapEntry best = heap_[0];
    heapStates_[best.candidate].heapPos = NONE;
    const HeapEntry last = heap_.back();
    heap_.pop_back();
    if (!heap_.empty()) {
        siftDown(0, last);
    }
    return best.input;
}

std::uint32_t HullConflictTracker::bestOutside(std::uint32_t face, const ConvexHullContext& context) const {
    const Block& b = blocks_[face];
    const QmtVector3& n = context.face(face).normal;
    std::uint32_t best = NONE;
    double bestValue = 0.0;
    for (std::uint32_t l = b.begin; l < b.outsideEnd; ++l) {
        const std::uint32_t p = links_[l].point;
        if (mark_[p] == DEAD) {
            continue;
        }
        const double value = points_[p].Dot(n);
        if (best == NONE || value > bestValue || (value == bestValue && inputOf_[p] > inputOf_[best])) {
            best = p;
            bestValue = value;
        }
    }
    return best == NONE ? NONE : inputOf_[best];
}

void HullConflictTracker::facesSeenBy(std::uint32_t input, std::vector<std::uint32_t>& out) {
    if (input >= rankOf_.size() || rankOf_[input] == NONE) {
        return;
    }
    const std::uint32_t candidate = rankOf_[input];
    // Once the live links are all found, the rest of the chains is dead.
    std::uint32_t live = liveInChains_[candidate];
    for (std::uint32_t* head : {&outsideHead_[candidate], &seesHead_[candidate]}) {
        std::uint32_t* at = head;
        while (live != 0 && *at != NONE) {
            Link& link = links_[*at];
            if (link.face == NONE) {
                *at = link.next;  // the face is gone: unlink
                continue;
            }
            out.push_back(link.face);
            --live;
            at = &link.next;
        }
    }
    if (!lazyFaces_.empty()) {
        out.insert(out.end(), lazyFaces_.begin(), lazyFaces_.end());
    }
}

// Both lists ascend: merged by walking the input indices. In face mode no candidate
// leaves unless it joins, and without a tree ready the first search builds one.
void HullConflictTracker::restartWith(const QmtVector3* points, std::uint32_t pointCount,
                                      const std::vector<std::uint32_t>& more, const ConvexHullContext& context) {
    std::vector<std::uint32_t> candidates;
    candidates.reserve(more.size() + liveCount_);
    auto next = more.begin();
    for (std::uint32_t i = 0; i < pointCount; ++i) {
        if (next != more.end() && *next == i) {
            candidates.push_back(i);
            ++next;
        } else if (isLive(i)) {
            candidates.push_back(i);
        }
    }
    start(points, pointCount, candidates, context, vertices_, strict_, slack_, !prunes_);
}

void HullConflictTracker::copyFrom(const HullConflictTracker& other, const QmtVector3* vertices) {
    // The assignment below would free a tree this tracker may still be building.
    dropTreeBuild();
    *this = other;
    // The copy's own arrays, not other's.
    points_ = rankPoints_.data();
    tree_.movePoints(points_);
    vertices_ = vertices;
    // A tree other is building is other's: this copy builds its own when it needs one.
    dropTreeBuild();
}

void HullConflictTracker::dropTreeBuild() {
    treeBuild_.reset();  // waits for the build, if this holds it last
    besideTree_.reset();
}

// A value that drops is only recorded: the entry keeps its larger value, an upper
// bound, until it reaches the top (takeBest). Most changes are such drops. The arrays
// stay in registers over the loop: nothing in it moves them.
void HullConflictTracker::refreshDirty(const ConvexHullContext& context) {
    const std::uint32_t count = dirtyCount_;
    const std::uint32_t* const dirty = dirty_.get();
    std::uint32_t* const heads = outsideHead_.data();
    const Link* const links = links_.data();
    const Block* const blocks = blocks_.data();
    HeapState* const states = heapStates_.data();
    const QmtVector3* const points = points_;
    // Every listed candidate is live: only live ones are listed, and none leaves
    // before this loop, where each is listed once. Whether a candidate's value rises
    // goes either way as often as not: the ones that do are listed without a branch,
    // over the entries of the list already read, and raised after it (the top of the
    // heap is the same whatever the order of the raises).
    std::uint32_t* const rising = dirty_.get();
    std::uint32_t risen = 0;
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::uint32_t candidate = dirty[i];
        // Its newest live outside face; links of gone faces are unlinked on the way.
        std::uint32_t* at = &heads[candidate];
        std::uint32_t newest = NONE;
        while (*at != NONE) {
            const Link& link = links[*at];
            if (link.face != NONE) {
                newest = link.face;
                break;
            }
            *at = link.next;
        }
        if (newest == NONE) {
            if (prunes_) {
                dropRank(candidate);
            } else {
                // Back in the heap once a face made later has it outside.
                heapRemove(candidate);
                states[candidate].pushedSeq = NONE;
            }
            continue;
        }
        const Block& b = blocks[newest];
        HeapState& state = states[candidate];
        if (b.seq == state.pushedSeq) {
            continue;
        }
        state.pushedSeq = b.seq;
        const double value = points[candidate].Dot(context.face(newest).normal);
        state.current = value;
        rising[risen] = candidate;
        risen += (state.heapPos == NONE) | (value > state.held);
    }
    for (std::uint32_t i = 0; i < risen; ++i) {
        heapRaise(rising[i], states[rising[i]].current);
    }
}

void HullConflictTracker::drop(std::uint32_t input) {
    if (input < rankOf_.size() && rankOf_[input] != NONE) {
        dropRank(rankOf_[input]);
    }
}

void HullConflictTracker::dropRank(std::uint32_t candidate) {
    if (mark_[candidate] == DEAD) {
        return;
    }
    mark_[candidate] = DEAD;
    --liveCount_;
    if (strict_) {
        heapRemove(candidate);
    }
    tree_.remove(candidate);
}

bool HullConflictTracker::tryLazy(std::uint32_t slot, const ConvexHullContext::Face& face, double cornerProjection,
                                  std::uint32_t source, const ConvexHullContext& context) {
    if (source != NONE) {
        // p.n moves from the replaced face's by at most |p|1 |n - nV|inf, and each of
        // the two rounded products is off by at most dotError_; the sum is rounded up.
        const QmtVector3 d = face.normal - context.face(source).normal;
        const double spread = std::max({std::fabs(d.x), std::fabs(d.y), std::fabs(d.z)}) + 1e-15;
        const double from = lazy_[source].bound;
        const double bound =
            from + (2.0 * dotError_ + pointNorm_ * spread) * (1.0 + 1e-14) + 1e-14 * std::fabs(from) + 1e-300;
        // Half the tolerance kept in reserve; a bound that has crept past it is found
        // afresh.
        if (bound <= cornerProjection + 0.75 * OUTSIDE_TOLERANCE && bound <= outsideAbove(cornerProjection)) {
            makeLazy(slot, face.seq, bound);
            return true;
        }
    }
    return lazyByTree(slot, face, cornerProjection);
}

bool HullConflictTracker::lazyByTree(std::uint32_t slot, const ConvexHullContext::Face& face,
                                     double cornerProjection) {
    const double outside = outsideAbove(cornerProjection);
    const double threshold = std::min(cornerProjection + 0.5 * OUTSIDE_TOLERANCE, outside);
    double bound = threshold;
    const QmtVector3 n = face.normal;
    adoptTree();
    tree_.visitAbove(&n, &threshold, 1, [&](std::uint32_t, std::uint32_t, const QmtVector3& p) {
        bound = std::max(bound, p.Dot(n));
    });
    if (!(bound <= outside)) {
        return false;
    }
    makeLazy(slot, face.seq, bound);
    return true;
}

void HullConflictTracker::adoptTree() {
    if (!treeBuild_) {
        return;
    }
    if (treeBuild_->wait()) {
        // Candidates that joined the hull meanwhile left tree_ alone.
        const auto count = static_cast<std::uint32_t>(mark_.size());
        for (std::uint32_t r = 0; r < count; ++r) {
            if (!tree_.isLive(r)) {
                besideTree_->remove(r);
            }
        }
        tree_ = std::move(*besideTree_);
    }
    // Without a thread or memory for it, tree_ builds its own.
    dropTreeBuild();
}

void HullConflictTracker::makeLazy(std::uint32_t slot, std::uint32_t seq, double bound) {
    Block& b = blocks_[slot];
    b.begin = b.outsideEnd = b.seeEnd = b.end = 0;
    b.seq = NONE;
    lazy_[slot] = {seq, static_cast<std::uint32_t>(lazyFaces_.size()), bound};
    lazyFaces_.push_back(slot);
}

void HullConflictTracker::update(const ConvexHullContext& context) {
    if (blocks_.size() < context.slotCount()) {
        blocks_.resize(context.slotCount());
        lazy_.resize(context.slotCount());
    }
    const std::vector<std::uint32_t>& created = context.createdFaces;
    const std::vector<std::uint32_t>& from = context.createdFrom;
    const std::uint32_t firstNewSeq = created.empty() ? NONE : context.face(created.front()).seq;
    staged_.clear();
    stagedCount_ = 0;
    searched_.clear();

    // New faces proved from the faces they replace and border. The faces made on one
    // replaced face's horizon edges share its block, which is read once for all of
    // them; each then adds the points of the block across its edge.
    for (std::size_t i = 0; i < created.size();) {
        const std::uint32_t source = i < from.size() ? from[i] : NONE;
        std::size_t end = i + 1;
        while (source != NONE && end < created.size() && end < from.size() && from[end] == source) {
            ++end;
        }
        group_.clear();
        for (std::size_t j = i; j < end; ++j) {
            const std::uint32_t slot = created[j];
            const ConvexHullContext::Face& f = context.face(slot);
            const QmtVector3& corner = vertices_[f.corners[0]];
            const double cp = corner.Dot(f.normal);
            const std::uint32_t across = source != NONE ? faceAcross(slot, firstNewSeq, context) : NONE;
            double floor = 0.0;
            if (across == NONE || !inheritedFloor(f.normal, cp, context, source, across, floor)) {
                // Replacing or bordering a lazy face, whose block there is none to read.
                const bool lazySource = isLazy(source, context);
                if ((lazySource || isLazy(across, context)) &&
                    tryLazy(slot, f, cp, lazySource ? source : NONE, context)) {
                    continue;
                }
                staged_.push_back({slot, 0, {0, 0, 0}, startFloor(cp)});
                searched_.push_back(static_cast<std::uint32_t>(staged_.size() - 1));
                continue;
            }
            // A placeholder keeps the faces' commit order; stageGroup fills it in.
            staged_.push_back({slot, 0, {0, 0, 0}, floor});
            group_.push_back({static_cast<std::uint32_t>(staged_.size() - 1), across, f.normal, corner, cp, floor});
        }
        if (!group_.empty()) {
            stageGroup(source);
        }
        i = end;
    }

    // The others through the tree, up to 64 at a time.
    if (!searched_.empty()) {
        adoptTree();
    }
    for (std::size_t first = 0; first < searched_.size(); first += 64) {
        const auto count = static_cast<std::uint32_t>(std::min<std::size_t>(64, searched_.size() - first));
        batchNormals_.clear();
        batchThresholds_.clear();
        for (std::uint32_t k = 0; k < count; ++k) {
            const Staged& s = staged_[searched_[first + k]];
            batchNormals_.push_back(context.face(s.slot).normal);
            batchThresholds_.push_back(s.floor);
            batchHits_[k].clear();
        }
        tree_.visitAbove(batchNormals_.data(), batchThresholds_.data(), count,
                         [&](std::uint32_t k, std::uint32_t candidate, const QmtVector3&) {
                             batchHits_[k].push_back(candidate);
                         });
        for (std::uint32_t k = 0; k < count; ++k) {
            Staged& s = staged_[searched_[first + k]];
            const std::uint32_t* const hits = batchHits_[k].data();
            stageFace(s, context.face(s.slot), batchHits_[k].size(), [hits](std::size_t i) { return hits[i]; });
        }
    }

    nextStampValue();
    dirtyCount_ = 0;
    retireFaces(context.destroyedFaces);
    commitBlocks(0, staged_.size(), context, true);
    // Compaction copies every live link; letting the arena reach four times the live
    // links copies a third as much as at twice, for twice the memory at the peak.
    if (links_.size() > 4 * liveLinks_ + 4096) {
        compactLinks();
    }
    if (strict_) {
        refreshDirty(context);
    }
}

void HullConflictTracker::stageGroup(std::uint32_t source) {
    const auto count = static_cast<std::uint32_t>(group_.size());
    nextStampValue();
    const Block& shared = blocks_[source];
    const Link* links = links_.data();
    std::uint32_t* mark = mark_.data();
    // Locals, and the normal's terms below, stay in registers over the stores of the
    // loops.
    const QmtVector3* const points = points_;
    const std::uint32_t stamp = stampValue_;
    // Face by face, so that one buffer takes the three parts: first the shared block's
    // live points, which are marked before any block across is read, then the points
    // across the face's edge that are not among them. A lone face reads the shared
    // block as it stands; several read its live points gathered once with their
    // coordinates.
    // Calls use(p, wanted) for every point of links [begin, end), wanted when its mark
    // is below `skip` (DEAD or this stamp): no live mark exceeds the stamp, so one test
    // leaves out both the dead and, with the stamp, the marked points. Which points are
    // wanted goes either way as often as not: the uses take it without a branch.
    const auto forPoints = [&](std::uint32_t begin, std::uint32_t end, std::uint32_t skip, auto&& use) {
        for (std::uint32_t l = begin; l < end; ++l) {
            const std::uint32_t p = links[l].point;
            use(p, mark[p] < skip);
        }
    };
    // forPoints over block b of face `slot`; a large one passes over the runs whose box
    // below(box) finds wholly below every floor that matters.
    const auto forBlock = [&](const Block& b, std::uint32_t slot, std::uint32_t skip, auto&& below, auto&& use) {
        if (b.end - b.begin < CHUNKED_FROM) {
            forPoints(b.begin, b.end, skip, use);
            return;
        }
        const ChunkBox* box = chunkBoxes_.data() + chunksOf_[slot];
        for (std::uint32_t begin = b.begin; begin < b.end; begin += CHUNK, ++box) {
            if (!below(*box)) {
                forPoints(begin, std::min(b.end, begin + CHUNK), skip, use);
            }
        }
    };
    // Whether every point of the box lies at or below the floor along the normal, as
    // the classification rounds p.n: the box's farthest corner along it, widened by
    // the rounding of that product and of any point's (each within dotError_, as no
    // coordinate exceeds pointNorm_).
    const auto boxBelow = [this](const ChunkBox& box, const QmtVector3& n, double floor) {
        const QmtVector3 corner(n.x >= 0.0 ? box.hi.x : box.lo.x, n.y >= 0.0 ? box.hi.y : box.lo.y,
                                n.z >= 0.0 ? box.hi.z : box.lo.z);
        return corner.Dot(n) + 8.0 * dotError_ <= floor;
    };
    // The arrays only grow; the first sharedCount entries hold the points.
    std::size_t sharedCount = 0;
    if (count > 1) {
        if (sharedIndex_.size() < shared.end - shared.begin) {
            const std::size_t size = std::max<std::size_t>(shared.end - shared.begin, 2 * sharedIndex_.size());
            sharedX_.resize(size);
            sharedY_.resize(size);
            sharedZ_.resize(size);
            sharedIndex_.resize(size);
        }
        double* const xs = sharedX_.data();
        double* const ys = sharedY_.data();
        double* const zs = sharedZ_.data();
        std::uint32_t* const index = sharedIndex_.data();
        // Every point is written and only the wanted ones counted; one not wanted
        // here is dead, and its mark stays so.
        const auto gather = [&](std::uint32_t p, bool wanted) {
            mark[p] = wanted ? stamp : DEAD;
            xs[sharedCount] = points[p].x;
            ys[sharedCount] = points[p].y;
            zs[sharedCount] = points[p].z;
            index[sharedCount] = p;
            sharedCount += wanted;
        };
        const auto belowAll = [&](const ChunkBox& box) {
            for (std::uint32_t g = 0; g < count; ++g) {
                if (!boxBelow(box, group_[g].normal, group_[g].floor)) {
                    return false;
                }
            }
            return true;
        };
        forBlock(shared, source, DEAD, belowAll, gather);
    }
    for (std::uint32_t g = 0; g < count; ++g) {
        const GroupFace& face = group_[g];
        const Block& across = blocks_[face.across];
        // Room in each part for every point the face is tested with.
        const std::size_t room =
            (count > 1 ? sharedCount : shared.end - shared.begin) + (across.end - across.begin);
        reservePartRoom(room);
        const double cp = face.cornerProjection;
        const FaceTest test{face.normal, face.corner, cp, face.floor,
                            outsideAbove(cp), slack_};
        PartCursors parts{stagedRoom(room), partBuffer_.get(), partBuffer_.get() + room};
        // classifyRun's test for the points of a block.
        const double nx = face.normal.x;
        const double ny = face.normal.y;
        const double nz = face.normal.z;
        const auto place = [&](std::uint32_t p, bool wanted) {
            const QmtVector3& q = points[p];
            parts.place(test, p, q, q.x * nx + q.y * ny + q.z * nz, wanted);  // q.Dot(normal), term by term
        };
        const auto belowFace = [&](const ChunkBox& box) { return boxBelow(box, face.normal, face.floor); };
        if (count > 1) {
            classifyRun(PointsByAxis{sharedX_.data(), sharedY_.data(), sharedZ_.data(), sharedIndex_.data()}, test,
                        sharedCount, parts);
        } else {
            const auto markAndPlace = [&](std::uint32_t p, bool wanted) {
                mark[p] = wanted ? stamp : DEAD;
                place(p, wanted);
            };
            forBlock(shared, source, DEAD, belowFace, markAndPlace);
        }
        // Points of the shared block are not wanted again; those left out above lie
        // below this face's floor, and are left out again where the block across
        // holds them.
        forBlock(across, face.across, stamp, belowFace, place);
        Staged& staged = staged_[face.staged];
        staged.first = stagedCount_;
        stagedCount_ = static_cast<std::uint32_t>(
            parts.close(staged.counts[OUTSIDE], staged.counts[SEES], staged.counts[ABOVE_FLOOR]) -
            stagedPoints_.data());
    }
}

void HullConflictTracker::boxChunks(std::uint32_t slot, std::uint32_t begin, std::uint32_t end) {
    if (slot >= chunksOf_.size()) {
        chunksOf_.resize(blocks_.size());
    }
    chunksOf_[slot] = static_cast<std::uint32_t>(chunkBoxes_.size());
    chunkBoxes_.resize(chunkBoxes_.size() + (end - begin + CHUNK - 1) / CHUNK);
    ChunkBox* box = chunkBoxes_.data() + chunksOf_[slot];
    const Link* const links = links_.data();
    for (std::uint32_t first = begin; first < end; first += CHUNK, ++box) {
        const std::uint32_t last = std::min(end, first + CHUNK);
        const QmtVector3& q = points_[links[first].point];
#if defined(__SSE2__)
        // x and y of a point in one register, z in another: min and max lane by lane.
        __m128d loXY = _mm_loadu_pd(&q.x);
        __m128d hiXY = loXY;
        __m128d loZ = _mm_load_sd(&q.z);
        __m128d hiZ = loZ;
        for (std::uint32_t l = first + 1; l < last; ++l) {
            const QmtVector3& p = points_[links[l].point];
            const __m128d xy = _mm_loadu_pd(&p.x);
            const __m128d z = _mm_load_sd(&p.z);
            loXY = _mm_min_pd(loXY, xy);
            hiXY = _mm_max_pd(hiXY, xy);
            loZ = _mm_min_sd(loZ, z);
            hiZ = _mm_max_sd(hiZ, z);
        }
        _mm_storeu_pd(&box->lo.x, loXY);
        _mm_store_sd(&box->lo.z, loZ);
        _mm_storeu_pd(&box->hi.x, hiXY);
        _mm_store_sd(&box->hi.z, hiZ);
#else
        QmtVector3 lo = q;
        QmtVector3 hi = q;
        for (std::uint32_t l = first + 1; l < last; ++l) {
            const QmtVector3& p = points_[links[l].point];
            lo = {std::min(lo.x, p.x), std::min(lo.y, p.y), std::min(lo.z, p.z)};
            hi = {std::max(hi.x, p.x), std::max(hi.y, p.y), std::max(hi.z, p.z)};
        }
        *box = {lo, hi};
#endif
    }
}

// Moves the live blocks, in creation order, to the front of the arena and threads the
// chains again, newest first; links of dropped candidates go. The blocks lie in the
// arena in creation order, so every link moves towards the front, over links already
// read: no second arena.
void HullConflictTracker::compactLinks() {
    std::fill(outsideHead_.begin(), outsideHead_.end(), NONE);
    std::fill(seesHead_.begin(), seesHead_.end(), NONE);
    std::size_t kept = 0;
    Link* const links = links_.data();
    const std::uint32_t* const mark = mark_.data();
    std::uint32_t out = 0;
    // Moves the live links of [l, end) to the front and threads them at the front of
    // their chains (heads; null for the part below the others); returns the new end.
    // Only arrays too large for the cache are fetched ahead.
    const auto movePart = [&](std::uint32_t l, std::uint32_t end, std::uint32_t slot, std::uint32_t* heads,
                              auto fetchAhead) {
        for (; l < end; ++l) {
            if constexpr (decltype(fetchAhead)::value) {
                if (l + PREFETCH_AHEAD < end) {
                    const std::uint32_t ahead = links[l + PREFETCH_AHEAD].point;
                    __builtin_prefetch(&mark[ahead]);
                    if (heads != nullptr) {
                        __builtin_prefetch(&heads[ahead]);
                    }
                }
            }
            const std::uint32_t p = links[l].point;
            if (mark[p] == DEAD) {
                continue;
            }
            std::uint32_t next = NONE;
            if (heads != nullptr) {
                std::uint32_t& h = heads[p];
                next = h;
                h = out;
            }
            links[out++] = Link(p, next, slot);
        }
        return out;
    };
    const auto moveBlocks = [&](auto fetchAhead) {
        for (const BlockRef& ref : blockOrder_) {
            Block& b = blocks_[ref.slot];
            if (b.seq != ref.seq) {
                continue;
            }
            blockOrder_[kept++] = ref;
            const std::uint32_t begin = b.begin;
            b.begin = out;
            const std::uint32_t outsideEnd = movePart(begin, b.outsideEnd, ref.slot, outsideHead_.data(), fetchAhead);
            const std::uint32_t seeEnd = movePart(b.outsideEnd, b.seeEnd, ref.slot, seesHead_.data(), fetchAhead);
            const std::uint32_t end = movePart(b.seeEnd, b.end, ref.slot, nullptr, fetchAhead);
            b.end = end;
            b.outsideEnd = outsideEnd;
            b.seeEnd = seeEnd;
            if (end - b.begin >= CHUNKED_FROM) {
                boxChunks(ref.slot, b.begin, end);
            }
        }
    };
    chunkBoxes_.clear();
    if (mark_.size() >= COMPACT_FETCH_FROM) {
        moveBlocks(std::true_type{});
    } else {
        moveBlocks(std::false_type{});
    }
    blockOrder_.resize(kept);
    links_.resize(out);
    liveLinks_ = out;
}

// A value that rises, or a candidate not in the heap: sifted up (refreshDirty handles
// the drops). Inlined into refreshDirty, its only caller.
[[gnu::always_inline]] inline void HullConflictTracker::heapRaise(std::uint32_t candidate, double value) {
    HeapState& v = heapStates_[candidate];
    v.held = value;
    const HeapEntry entry{value, v.input, candidate};
    std::uint32_t at = v.heapPos;
    if (at == NONE) {
        at = static_cast<std::uint32_t>(heap_.size());
        heap_.push_back(entry);
    }
    siftUp(at, entry);
}

void HullConflictTracker::heapRemove(std::uint32_t candidate) {
    const std::uint32_t at = heapStates_[candidate].heapPos;
    if (at == NONE) {
        return;
    }
    heapStates_[candidate].heapPos = NONE;
    const HeapEntry last = heap_.back();
    heap_.pop_back();
    if (last.candidate != candidate) {
        if (at > 0 && heapAbove(last, heap_[(at - 1) / HEAP_ARITY])) {
            siftUp(at, last);
        } else {
            siftDown(at, last);
        }
    }
}

// Moves the hole at `at` up until entry fits there.
void HullConflictTracker::siftUp(std::uint32_t at, HeapEntry entry) {
    while (at > 0) {
        const std::uint32_t parent = (at - 1) / HEAP_ARITY;
        if (!heapAbove(entry, heap_[parent])) {
            break;
        }
        heapPlace(at, heap_[parent]);
        at = parent;
    }
    heapPlace(at, entry);
}

void HullConflictTracker::siftDown(std::uint32_t at, HeapEntry entry) {
    const auto size = static_cast<std::uint32_t>(heap_.size());
    while (true) {
        const std::uint32_t first = HEAP_ARITY * at + 1;
        if (first >= size) {
            break;
        }
        std::uint32_t child = first;
        if (first + HEAP_ARITY <= size) {
            // Four children: the larger of each pair, then of the two, chosen without
            // branches (which child is largest is a toss-up). Entries are distinct, so
            // the order of the comparisons does not change the one chosen.
            static_assert(HEAP_ARITY == 4, "the tournament below takes four children");
            const HeapEntry* const c = heap_.data() + first;
            const std::uint32_t a = heapAbove(c[1], c[0]) ? 1 : 0;
            const std::uint32_t b = heapAbove(c[3], c[2]) ? 3 : 2;
            child += heapAbove(c[b], c[a]) ? b : a;
        } else {
            for (std::uint32_t c = first + 1; c < size; ++c) {
                if (heapAbove(heap_[c], heap_[child])) {
                    child = c;
                }
            }
        }
        if (!heapAbove(heap_[child], entry)) {
            break;
        }
        heapPlace(at, heap_[child]);
        at = child;
    }
    heapPlace(at, entry);
}
