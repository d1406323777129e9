// Whether grown hull faces are sure to stay open after the merge, told without merging.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <unordered_map>
#include <utility>
#include <vector>

#include "geometry/hull/convexHull.h"
#include "geometry/query/proximity.h"

namespace {

using Qmt::QmtVector3;

// The vertices a merge of the grown triangles may drop as corners (T), and how many
// faces they have.
//
// A merge drops corner b of a loop only where degenerate holds for b and its two loop
// neighbours, which the quick test (clearlyNotDegenerate) rules out. A loop's sides are
// sides of grown faces, or sides left where a run of corners dropped: each corner of
// the run failed the quick test with the corners before and after it. So T is found
// from the grown sides and then, until nothing changes, from the sides that runs
// through T can leave. Each step answers false where the question stays open.
class DropBound {
public:
    DropBound(const ConvexHullContext& context, const QmtVector3* v, std::uint32_t vertexCount, std::int64_t excess)
        : context_(context),
          v_(v),
          vertexCount_(vertexCount),
          excess_(excess),
          mayDrop_(vertexCount, 0),
          seen_(vertexCount, 0) {}

    // Lists every vertex's grown neighbours. Both ends of a side too short for the
    // quick test join T (it fails with any third corner): on a cloud with many, the
    // faces at them soon outnumber the excess.
    bool listSides() {
        at_.resize(std::size_t{vertexCount_} + 1);
        std::uint32_t total = 0;
        for (std::uint32_t x = 0; x < vertexCount_; ++x) {
            at_[x] = total;
            total += 2 * context_.incidenceCount(x);
        }
        at_[vertexCount_] = total;
        around_.resize(total);
        std::vector<std::uint32_t> next(at_.begin(), at_.end() - 1);
        // False where x has no room left: its links do not match its faces.
        const auto list = [&](std::uint32_t x, std::uint32_t after, std::uint32_t before) {
            if (next[x] + 2 > at_[x + 1]) {
                return false;
            }
            around_[next[x]++] = after;
            around_[next[x]++] = before;
            return true;
        };
        for (std::uint32_t s = 0; s < context_.slotCount(); ++s) {
            const std::uint32_t k = context_.face(s).count;
            if (k == 0) {
                continue;
            }
            // A face of other size than three (none is grown) leaves the question open.
            const std::uint32_t* c = context_.face(s).corners;
            if (k != 3 || c[0] >= vertexCount_ || c[1] >= vertexCount_ || c[2] >= vertexCount_ ||
                !list(c[0], c[1], c[2]) || !list(c[1], c[2], c[0]) || !list(c[2], c[0], c[1])) {
                return false;
            }
            for (std::uint32_t i = 0; i < 3; ++i) {
                const std::uint32_t x = c[i];
                const std::uint32_t y = c[i == 2 ? 0 : i + 1];
                if (!clearlyLongSide((v_[y] - v_[x]).SquaredLength()) && !(join(x) && join(y))) {
                    return false;
                }
            }
        }
        return true;
    }

    // Tests every vertex with its grown neighbours.
    bool testAll() {
        for (std::uint32_t b = 0; b < vertexCount_; ++b) {
            if (at_[b] != at_[b + 1] && !test(b)) {
                return false;
            }
        }
        return true;
    }

    // Until T and the sides stop growing: a run from a side (p, w), w in T, on through
    // corners each failing with the corners either side of it, may leave a side from p
    // to any corner it reaches. Long runs, many new sides or a long search (none seen
    // where T's faces stay below the excess) leave the question open.
    bool followRuns() {
        bool grew = true;
        while (grew) {
            grew = false;
            failingAt_.clear();
            std::vector<std::vector<std::uint32_t>> sideEnds(dropping_.size());
            for (std::size_t i = 0; i < dropping_.size(); ++i) {
                const std::uint32_t w = dropping_[i];
                if (!gather(w)) {
                    return false;
                }
                for (std::size_t j = 0; j < endCount_; ++j) {
                    sideEnds[i].push_back(ends_[j].vertex);
                }
                auto& pairs = failingAt_[w];
                forFailing(w, [&](std::uint32_t a, std::uint32_t c) {
                    pairs.emplace_back(a, c);
                    return false;
                });
            }
            changed_.clear();
            for (std::size_t i = 0; i < sideEnds.size(); ++i) {
                for (const std::uint32_t p : sideEnds[i]) {
                    run_.assign({p, dropping_[i]});
                    if (!extendRun(grew)) {
                        return false;
                    }
                }
            }
            for (const std::uint32_t b : changed_) {
                if (!test(b)) {
                    return false;
                }
            }
        }
        return true;
    }

private:
    // The quick test of corner b between a and c reads the squares of b - a, c - b,
    // a - c, of the farthest corner and of (b - a) x (c - b). With each end's difference
    // e = x - b, b - a is -e(a) exactly: those squares are |e(a)|^2, |e(c)|^2 and
    // |e(a) x e(c)|^2, the same in either order of a and c.
    struct End {
        std::uint32_t vertex;
        QmtVector3 at;
        QmtVector3 e;
        double side;    // |e|^2
        double origin;  // |at|^2
    };
    // The pairs grow with the square of a vertex's side ends: one with more than MOST
    // (the centre of a flat fan) leaves the question open.
    static constexpr std::size_t MOST = 64;
    static constexpr std::size_t LONGEST_RUN = 8;
    static constexpr std::size_t MOST_ADDED = 4096;

    // Adds b to T; false where T's faces reach the excess (the merge may then close
    // the count) or the excess is negative (no corner may drop at all).
    bool join(std::uint32_t b) {
        if (mayDrop_[b] == 0) {
            mayDrop_[b] = 1;
            dropping_.push_back(b);
            droppable_ += context_.incidenceCount(b);
        }
        return excess_ > droppable_;
    }

    // Gathers the distinct ends of b's sides; false when there are too many.
    bool gather(std::uint32_t b) {
        endCount_ = 0;
        seen_[b] = ++stamp_;
        const auto take = [&](std::uint32_t x) {
            if (seen_[x] == stamp_) {
                return true;
            }
            if (endCount_ == MOST) {
                return false;
            }
            seen_[x] = stamp_;
            const QmtVector3 e = v_[x] - v_[b];
            ends_[endCount_++] = {x, v_[x], e, e.SquaredLength(), v_[x].SquaredLength()};
            return true;
        };
        for (std::uint32_t j = at_[b]; j < at_[b + 1]; ++j) {
            if (!take(around_[j])) {
                return false;
            }
        }
        if (added_.empty()) {
            return true;
        }
        if (const auto more = added_.find(b); more != added_.end()) {
            for (const std::uint32_t x : more->second) {
                if (!take(x)) {
                    return false;
                }
            }
        }
        return true;
    }

    // Calls failing(a, c) for the gathered ends of b that fail the quick test with it,
    // until it returns true.
    template <class Failing>
    void forFailing(std::uint32_t b, Failing&& failing) const {
        const double centreOrigin = v_[b].SquaredLength();
        for (std::size_t i = 0; i < endCount_; ++i) {
            const End& a = ends_[i];
            for (std::size_t j = i + 1; j < endCount_; ++j) {
                const End& c = ends_[j];
                if (!clearlyNotDegenerateSquares(a.side, c.side, (a.at - c.at).SquaredLength(),
                                                 std::max({a.origin, centreOrigin, c.origin}),
                                                 a.e.Cross(c.e).SquaredLength()) &&
                    failing(a.vertex, c.vertex)) {
                    return;
                }
            }
        }
    }

    // Whether b is in T, or joins it, with its sides as they stand.
    bool test(std::uint32_t b) {
        if (mayDrop_[b] != 0) {
            return true;
        }
        if (!gather(b)) {
            return false;
        }
        bool fails = false;
        forFailing(b, [&](std::uint32_t, std::uint32_t) { return fails = true; });
        return !fails || join(b);
    }

    bool isGrownSide(std::uint32_t a, std::uint32_t b) const {
        return std::find(around_.begin() + at_[a], around_.begin() + at_[a + 1], b) != around_.begin() + at_[a + 1];
    }

    // Extends run_ (its last corner in T, entered from the one before) by each corner
    // the two fail the quick test with, recording the sides the run may leave.
    bool extendRun(bool& grew) {
        if (run_.size() > LONGEST_RUN || budget_-- == 0) {
            return false;
        }
        const std::uint32_t from = run_[run_.size() - 2];
        for (const auto& [a, c] : failingAt_[run_.back()]) {
            if (a != from && c != from) {
                continue;
            }
            const std::uint32_t to = a == from ? c : a;
            if (std::find(run_.begin(), run_.end(), to) != run_.end()) {
                continue;
            }
            const std::uint32_t start = run_.front();
            std::vector<std::uint32_t>& sides = added_[start];
            if (!isGrownSide(start, to) && std::find(sides.begin(), sides.end(), to) == sides.end()) {
                if (++addedCount_ > MOST_ADDED) {
                    return false;
                }
                sides.push_back(to);
                added_[to].push_back(start);
                changed_.push_back(start);
                changed_.push_back(to);
                grew = true;
            }
            if (mayDrop_[to] != 0) {
                run_.push_back(to);
                const bool known = extendRun(grew);
                run_.pop_back();
                if (!known) {
                    return false;
                }
            }
        }
        return true;
    }

    const ConvexHullContext& context_;
    const QmtVector3* v_;
    std::uint32_t vertexCount_;
    std::int64_t excess_;
    std::vector<std::uint8_t> mayDrop_;
    std::vector<std::uint32_t> dropping_;  // T
    std::int64_t droppable_ = 0;           // the faces at T's vertices
    // Each vertex's grown neighbours, around_[at_[x], at_[x + 1]): the corners before
    // and after it in each of its faces.
    std::vector<std::uint32_t> at_;
    std::vector<std::uint32_t> around_;
    std::vector<std::uint32_t> seen_;  // the last gathering that met each vertex
    std::uint32_t stamp_ = 0;
    End ends_[MOST];
    std::size_t endCount_ = 0;
    // Sides runs of dropped corners may leave, beyond the grown ones (both ways), and
    // the pairs of side ends each vertex of T fails the quick test with.
    std::unordered_map<std::uint32_t, std::vector<std::uint32_t>> added_;
    std::unordered_map<std::uint32_t, std::vector<std::pair<std::uint32_t, std::uint32_t>>> failingAt_;
    std::size_t addedCount_ = 0;
    std::size_t budget_ = std::size_t{1} << 16;  // steps of the runs
    std::vector<std::uint32_t> run_;
    std::vector<std::uint32_t> changed_;  // vertices given new sides
};

}  // namespace

bool mergeCannotClose(const ConvexHullContext& context, const QmtVector3* v, std::uint32_t vertexCount) {
    // The grown faces are triangles, each linked at its three corners: the count is
    // the number of faces, and the vertices used are those with a face.
    std::int64_t used = 0;
    for (std::uint32_t x = 0; x < vertexCount; ++x) {
        used += context.incidenceCount(x) != 0;
    }
    // The count's excess over a closed surface's. Merging keeps it; each corner a merge
    // drops takes one off it, each corner put back adds one, and each vertex left
    // unused adds two. So a positive excess can fall only by the corners dropped, at
    // most all the faces each droppable vertex had; a negative one stays as it is
    // where no corner can drop.
    const std::int64_t excess = std::int64_t{context.faceCount()} - (2 * used - 4);
    if (excess == 0) {
        return false;
    }
    DropBound bound(context, v, vertexCount, excess);
    return bound.listSides() && bound.testAll() && bound.followRuns();
}
