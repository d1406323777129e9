#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <vector>

#include "geometry/hull/besideThread.h"
#include "geometry/hull/convexHullContext.h"
#include "geometry/hull/hullPointTree.h"
#include "math/qmtVector3.h"

// Bookkeeping that lets the hull builders avoid testing every remaining point against
// every face on each step, with results identical to those full scans.
//
// Each live face keeps the candidates that lie above its plane or less than a depth D
// below it (its conflict block), in three parts: the candidates outside it (strict
// mode: more than 1e-5 above, as the growth pass tests; face mode: near enough to
// that to be the point of largest projection that passes it), the others that may see
// it (less than the visibility test of addPointToHull allows below, see
// visibilityDepth), and the rest down to D. Each candidate links the faces of its
// first two parts, newest first, so a chosen point knows every face it may see.
//
// A new face is tested only against the candidates of the face it replaces and of the
// face across its horizon edge: its normal lies between theirs, so a point that is
// deeper than D below both is deeper than D below it. Each new face proves that from
// the normals and planes of the two (with an allowance for rounding); where it cannot
// (a reflex or degenerate horizon), its block is found through the point tree.
//
// Internally the candidates are renumbered along a Morton curve of their coordinates
// (their rank), with a copy of their coordinates in that order: a block's points lie
// close together in space, and so do their records. The API speaks input indices, and
// every tie is broken by the input index.
//
// In strict mode an indexed max-heap holds every candidate's projection on the newest
// face it is outside of (a projection that drops is brought down only when its entry
// reaches the top), and a candidate outside no face is dropped, as the growth pass
// drops it, unless the tracker keeps it (see start).
//
// A face that no candidate lies outside of may keep no block at all (a lazy face, see
// lazy_): every candidate is then taken to see it.
class HullConflictTracker {
public:
    static constexpr std::uint32_t NONE = 0xFFFFFFFFu;

    HullConflictTracker() = default;
    HullConflictTracker(const HullConflictTracker&) = delete;

    // Classifies the candidates (distinct indices) against every face of the context.
    // vertices is the hull mesh's vertex array; roundingSlack bounds the rounding of a
    // dot product of a point with a unit normal. With keepCandidates, strict mode keeps
    // a candidate that is outside no face, out of the heap until a face made later has
    // it outside. With treeBeside, face mode builds the point tree over many candidates
    // on a second thread from the start (see TREE_BESIDE_FROM).
    void start(const Qmt::QmtVector3* points, std::uint32_t pointCount,
               const std::vector<std::uint32_t>& candidates, const ConvexHullContext& context,
               const Qmt::QmtVector3* vertices, bool strictMode, double roundingSlack, bool keepCandidates = false,
               bool treeBeside = false);

    // Strict mode: removes and returns the candidate with the largest projection on
    // the newest face it lies outside of (the highest input index among equal
    // values), or NONE when no candidate projects above -3.4028234663852886e38.
    std::uint32_t takeBest();

    // Face mode: the live candidate with the largest p.Dot(n) among those that may lie
    // more than 1e-5 above the face (the highest input index among equal values), or
    // NONE when there is none: then no remaining candidate ever passes the face.
    std::uint32_t bestOutside(std::uint32_t face, const ConvexHullContext& context) const;

    // Faces the candidate may see (a superset of those it does see), in no set order.
    void facesSeenBy(std::uint32_t candidate, std::vector<std::uint32_t>& out);

    // Removes a candidate for good.
    void drop(std::uint32_t candidate);

    // Takes in the faces the last addPointToHull made and removed.
    void update(const ConvexHullContext& context);

    // Starts over as start did, on the context's faces as they stand now, with the
    // live candidates and `more` (ascending input indices, none of them a candidate).
    void restartWith(const Qmt::QmtVector3* points, std::uint32_t pointCount, const std::vector<std::uint32_t>& more,
                     const ConvexHullContext& context);

    // Becomes a copy of other, whose hull mesh's vertex array was copied to vertices;
    // this tracker then follows that copy.
    void copyFrom(const HullConflictTracker& other, const Qmt::QmtVector3* vertices);

    // Links the tracker may hold at once (by default as many as a sixteenth of the
    // machine's memory takes, and never more than its 32-bit indices reach); a build
    // that needs more fails as an allocation fails, with std::bad_alloc. A cloud about
    // as thin as the visibility tolerance (a slab whose thickness is 1e-5 of its
    // length) puts nearly every point in the block of every face, and its links would
    // otherwise grow until the system ends the process.
    void limitLinks(std::size_t links) { linkLimit_ = std::min(links, MAX_LINKS); }

    std::uint32_t liveCount() const { return liveCount_; }
    bool isLive(std::uint32_t candidate) const {
        return candidate < rankOf_.size() && rankOf_[candidate] != NONE && mark_[rankOf_[candidate]] != DEAD;
    }

private:
    HullConflictTracker& operator=(const HullConflictTracker&) = default;

    // An array made without setting its entries (each is written before it is read);
    // a copy copies them.
    class UnsetArray {
    public:
        UnsetArray() = default;
        explicit UnsetArray(std::size_t n) : data_(std::make_unique_for_overwrite<std::uint32_t[]>(n)), size_(n) {}
        UnsetArray(const UnsetArray& other) : UnsetArray(other.size_) {
            std::copy(other.data_.get(), other.data_.get() + size_, data_.get());
        }
        UnsetArray& operator=(const UnsetArray& other) {
            UnsetArray copy(other);
            std::swap(data_, copy.data_);
            std::swap(size_, copy.size_);
            return *this;
        }
        UnsetArray(UnsetArray&&) = default;
        UnsetArray& operator=(UnsetArray&&) = default;
        std::uint32_t* get() const { return data_.get(); }

    private:
        std::unique_ptr<std::uint32_t[]> data_;
        std::size_t size_ = 0;
    };

    struct Link {
        // Left unset: the arena grows by resize and is written right after.
        Link() {}
        Link(std::uint32_t p, std::uint32_t n, std::uint32_t f) : point(p), next(n), face(f) {}
        std::uint32_t point;
        std::uint32_t next;  // next link of the point's chain, older
        std::uint32_t face;  // NONE once the face is gone
    };
    // A face's block in links_: outside [begin, outsideEnd), may see [.., seeEnd),
    // above its depth [.., end). While its face stands (seq is the face's), the face's
    // record in the context holds its normal, which never changes; half a cache line a
    // block keeps more of them in the caches.
    struct Block {
        std::uint32_t begin = 0;
        std::uint32_t outsideEnd = 0;
        std::uint32_t seeEnd = 0;
        std::uint32_t end = 0;
        std::uint32_t seq = NONE;      // creation number of the face; NONE when gone
        double floor = 0.0;            // candidates with p.n above it are in the block
    };
    static_assert(sizeof(Block) == 32);
    struct BlockRef {
        std::uint32_t slot;
        std::uint32_t seq;
    };
    enum Part : std::uint8_t { OUTSIDE, SEES, ABOVE_FLOOR };

    struct Staged {
        std::uint32_t slot;
        std::uint32_t first;      // into stagedPoints_: the parts one after another
        std::uint32_t counts[3];
        double floor;
    };
    // Staged::first of a face that went lazy instead: nothing to commit.
    static constexpr std::uint32_t WENT_LAZY = NONE;

    // Sets rankOf_, inputOf_ and rankPoints_ for the candidates.
    void rankCandidates(const Qmt::QmtVector3* points, std::uint32_t pointCount,
                        const std::vector<std::uint32_t>& candidates, const Qmt::QmtVector3& lo,
                        const Qmt::QmtVector3& hi);
    double startFloor(double cornerProjection) const;
    // The floor a new face can prove from the face it replaces (from) and the face
    // across its first edge; false when it cannot.
    bool inheritedFloor(const Qmt::QmtVector3& normal, double cornerProjection, const ConvexHullContext& context,
                        std::uint32_t from, std::uint32_t across, double& floor) const;
    std::uint32_t faceAcross(std::uint32_t slot, std::uint32_t firstNewSeq, const ConvexHullContext& context) const;
    // A new face whose block is inherited: its staged_ entry, the face across its
    // first edge and the terms its points are sorted by.
    struct GroupFace {
        std::uint32_t staged;
        std::uint32_t across;
        Qmt::QmtVector3 normal;
        Qmt::QmtVector3 corner;
        double cornerProjection;
        double floor;
    };
    // Stages the blocks of group_, the new faces made on the horizon of `source`.
    void stageGroup(std::uint32_t source);
    template <class IndexAt>
    void stageFace(Staged& staged, const ConvexHullContext::Face& face, std::size_t n, IndexAt indexAt);
    // Appends staged links as their faces' blocks and heads the chains with them. With
    // mayGoLazy, a face with a large block and no outside part goes lazy instead.
    void commitBlocks(std::size_t first, std::size_t last, const ConvexHullContext& context, bool mayGoLazy);
    void retireFaces(const std::vector<std::uint32_t>& slots);
    // Lazy faces (see lazy_).
    bool isLazy(std::uint32_t slot, const ConvexHullContext& context) const {
        return slot != NONE && lazy_[slot].seq == context.face(slot).seq;
    }
    // The bound of the outside test for a face whose corner projects to cornerProjection.
    double outsideAbove(double cornerProjection) const;
    // Makes a new face lazy when no candidate can lie outside it, proved from `source`,
    // the lazy face it replaces (NONE when it replaces none), or else through the point
    // tree; false when that fails.
    bool tryLazy(std::uint32_t slot, const ConvexHullContext::Face& face, double cornerProjection,
                 std::uint32_t source, const ConvexHullContext& context);
    bool lazyByTree(std::uint32_t slot, const ConvexHullContext::Face& face, double cornerProjection);
    void makeLazy(std::uint32_t slot, std::uint32_t seq, double bound);
    void compactLinks();
    void dropRank(std::uint32_t candidate);
    // Leaf size and build cost of the point tree in face mode (see start).
    static constexpr std::uint32_t FACE_MODE_LEAF_SIZE = 32;
    static constexpr double FACE_MODE_BUILD_COST = 0.25;
    // Face mode keeps every candidate in the tree, so the tree a caller expects to
    // query (a plain build's widened steps make faces that only the tree can prove,
    // from its first steps on) can be built beside the start's classifying, in room
    // reserved on the caller's thread; the first query takes it (adoptTree). With
    // 10,000 candidates the build is short, and no gain could be measured.
    static constexpr std::uint32_t TREE_BESIDE_FROM = std::uint32_t{1} << 15;
    void adoptTree();
    void dropTreeBuild();
    // How far ahead the ranking and the compaction fetch.
    static constexpr std::uint32_t PREFETCH_AHEAD = 8;
    // Candidates from which the compaction fetches ahead.
    static constexpr std::size_t COMPACT_FETCH_FROM = std::size_t{1} << 15;
    // Candidates below which the ranking sorts by 8-bit digits.
    static constexpr std::uint32_t SMALL_RANKING = 4096;
    void nextStampValue();
    // Strict mode: brings the heap entries of the candidates listed in dirty_ to the
    // newest live face each lies outside of, dropping those outside none.
    void refreshDirty(const ConvexHullContext& context);

    // Indexed 4-ary max-heap of candidates by (value, input index): one entry per
    // candidate, the value and both numbers kept together so that sifting reads one
    // array; the four children of an entry lie side by side and the heap is half as
    // deep.
    static constexpr std::uint32_t HEAP_ARITY = 4;
    struct HeapEntry {
        double value;
        std::uint32_t input;      // breaks ties
        std::uint32_t candidate;  // rank
    };
    // Without short cuts, so that it can be used where a branch would go either way.
    static bool heapAbove(const HeapEntry& a, const HeapEntry& b) {
        return (a.value > b.value) | ((a.value == b.value) & (a.input > b.input));
    }
    void heapRaise(std::uint32_t candidate, double value);
    void heapRemove(std::uint32_t candidate);
    void siftUp(std::uint32_t at, HeapEntry entry);
    void siftDown(std::uint32_t at, HeapEntry entry);
    void heapPlace(std::uint32_t at, const HeapEntry& entry) {
        heap_[at] = entry;
        heapStates_[entry.candidate].heapPos = at;
    }

    // The per-candidate arrays below are indexed by rank unless they say otherwise.
    const Qmt::QmtVector3* points_ = nullptr;  // rankPoints_
    std::vector<Qmt::QmtVector3> rankPoints_;
    std::vector<std::uint32_t> inputOf_;
    std::vector<std::uint32_t> rankOf_;        // per input point; NONE if not a candidate
    const Qmt::QmtVector3* vertices_ = nullptr;
    bool strict_ = false;
    bool prunes_ = false;      // strict mode drops candidates outside no face
    double slack_ = 0.0;
    double deepest_ = 0.0;     // visibility depth at the points' diameter
    double dotError_ = 0.0;    // bound on the rounding of p.n for any point
    double pointNorm_ = 0.0;   // largest |x| + |y| + |z| of the points
    double headroom_ = 0.0;    // how far below the least depth a face's floor starts
    HullPointTree tree_;
    // The tree built beside (see TREE_BESIDE_FROM) and its build, which reads
    // rankPoints_ and writes the tree: declared after both, so that the build is
    // waited for before either is freed.
    std::shared_ptr<HullPointTree> besideTree_;
    std::shared_ptr<MadeBeside<bool>> treeBuild_;

    // Per point: the step's stamp, or DEAD once it has left (one small array serves
    // both tests of the inner loops, and stays in cache on large clouds).
    static constexpr std::uint32_t DEAD = NONE;
    std::vector<std::uint32_t> mark_;
    std::uint32_t liveCount_ = 0;
    std::vector<std::uint32_t> outsideHead_;   // per candidate: chain of outside links
    std::vector<std::uint32_t> seesHead_;      // per candidate: chain of may-see links
    // Per candidate: the links of its two chains whose faces are live. Dead links stay
    // in the chains until a walk passes them, and outnumber the live ones several
    // times by the time a candidate is taken: its walk stops at the last live one.
    std::vector<std::uint32_t> liveInChains_;
    // Per candidate, together so that a refresh and its heap update touch one cache
    // line: the state of its heap entry.
    struct alignas(32) HeapState {
        double current = 0.0;              // its projection
        double held = 0.0;                 // the value its heap entry holds (never less)
        std::uint32_t pushedSeq = NONE;    // face of its heap value
        std::uint32_t heapPos = NONE;      // NONE when not in the heap
        std::uint32_t input = NONE;        // inputOf_'s entry, kept in the same cache line
    };
    std::vector<HeapState> heapStates_;
    std::uint32_t stampValue_ = 0;
    // Candidates to refresh, each listed once per step (its mark takes the stamp): room
    // for all of them and one more, as the lists are written before it is known
    // whether the entry counts.
    UnsetArray dirty_;
    std::uint32_t dirtyCount_ = 0;

    // Lazy faces, kept without a block: no live candidate lies outside them (each lies
    // below `bound`, its p.n as rounded, which the outside test does not exceed), so
    // they never feed the heap or face mode's answers, and facesSeenBy lists every one
    // of them for every candidate. The faces of a plane that a point on its rim sees
    // whole are made again at every step (the cap of a cylinder): with blocks, each
    // would hold every candidate on the rim, step after step, and a cylinder of n
    // segments would cost about n^3. A face goes lazy when its block would be large, or
    // when it replaces or borders a lazy face, whose block there is none to inherit.
    struct LazyState {
        std::uint32_t seq = NONE;  // the face's creation number while it is lazy
        std::uint32_t at = NONE;   // its place in lazyFaces_
        double bound = 0.0;
    };
    std::vector<LazyState> lazy_;  // per face slot
    std::vector<std::uint32_t> lazyFaces_;
    // A face with no outside part and a block at least this large goes lazy.
    static constexpr std::uint32_t LAZY_FROM = 64;

    std::vector<Link> links_;
    static constexpr std::size_t MAX_LINKS = NONE - 1;
    static std::size_t defaultLinkLimit();
    std::size_t linkLimit_ = defaultLinkLimit();
    // Fails as the allocation of `links` more links or staged points would.
    void checkRoom(std::size_t used, std::size_t links) const {
        if (links > linkLimit_ - std::min(used, linkLimit_)) {
            throw std::bad_alloc();
        }
    }
    std::vector<Block> blocks_;                // per face slot
    // Large blocks keep the bounding box of each run of CHUNK links from their begin,
    // so that a face tested with the block passes over the runs that lie wholly below
    // its floor. On a solid cloud the early faces hold thousands of points each: the
    // new faces over a replaced one leave most of its points inside, and a new face
    // across an old one's edge, turned away about that edge, keeps few of the old one's.
    struct ChunkBox {
        Qmt::QmtVector3 lo;
        Qmt::QmtVector3 hi;
    };
    static constexpr std::uint32_t CHUNK = 32;
    static constexpr std::uint32_t CHUNKED_FROM = 4096;
    std::vector<ChunkBox> chunkBoxes_;
    std::vector<std::uint32_t> chunksOf_;      // per face slot: its first box, if its block is large
    // Boxes for the links [begin, end) of the large block of `slot`.
    void boxChunks(std::uint32_t slot, std::uint32_t begin, std::uint32_t end);
    std::vector<BlockRef> blockOrder_;         // faces in the order of their blocks
    std::uint64_t liveLinks_ = 0;

    std::vector<Staged> staged_;
    // Staged points: the first stagedCount_ entries; the vector only grows, and is
    // written without being cleared.
    std::vector<std::uint32_t> stagedPoints_;
    std::uint32_t stagedCount_ = 0;
    // Room for n more staged points, where they start.
    std::uint32_t* stagedRoom(std::size_t n) {
        if (stagedPoints_.size() < stagedCount_ + n) {
            checkRoom(stagedCount_, n);
            stagedPoints_.resize(std::max(stagedCount_ + n, 2 * stagedPoints_.size()));
        }
        return stagedPoints_.data() + stagedCount_;
    }
    std::vector<std::uint32_t> searched_;      // staged entries found through the tree
    std::vector<GroupFace> group_;
    // Live points of a group's shared block, coordinates by axis so that two points'
    // projections are formed at once.
    std::vector<double> sharedX_;
    std::vector<double> sharedY_;
    std::vector<double> sharedZ_;
    std::vector<std::uint32_t> sharedIndex_;
    UnsetArray partBuffer_;  // one face's last two parts while staging
    std::size_t partRoom_ = 0;
    // Room in partBuffer_ for both parts of a face tested with n points.
    void reservePartRoom(std::size_t n) {
        if (partRoom_ < 2 * n) {
            partRoom_ = std::max(2 * n, partRoom_ + partRoom_ / 2);
            partBuffer_ = UnsetArray(partRoom_);
        }
    }
    std::vector<Qmt::QmtVector3> batchNormals_;
    std::vector<double> batchThresholds_;
    std::vector<std::uint32_t> batchHits_[64];

    std::vector<HeapEntry> heap_;
};
