#pragma once

#include <cstdint>
#include <vector>

#include "engine/bodies/hardBody.h"
#include "engine/collision/dynamicBoxTree.h"

// The broad phase under the staged detection: which bodies of a detection's lists can
// pass the world-box test of a pair (CollisionManager::boundsMayTouch) with a given
// body. It only ever leaves out pairs that test would reject, so the detection tests
// the same pairs in the same order as one that tries every pair, and finds the same.
//
// Every body of a detection has an entry: its world-axis box grown by the test's
// tolerance ("tight"), a leaf in a tree of boxes grown further by a margin ("fat") so
// the leaf need not move while the body stays inside it, and the body's role in the
// detection with a key that orders bodies as their list does. The tree is kept from
// detection to detection; a body that left every list loses its entry at the next one.
// Planes, and bodies whose boxes are not finite, pass the test with everything; two
// capsule-like bodies always pass it too: those are added to every answer as the test
// would take them.
//
// A body also keeps the leaves its own leaf overlaps ("near"), found once and good for
// as long as no leaf changes (a body that moves inside its leaf changes none), often
// for many frames: answers then come from that list instead of the tree.
class BroadPhase {
public:
    // Roles a body can play in a detection; NONE for one that is done with.
    enum Role : std::uint8_t { NONE, GROUND, LOOSE, FRAGMENT, FRONTIER };

    struct Candidate {
        std::int64_t key;
        HardBody* body;
    };

    // A detection starts: every body it lists is then tracked once.
    void begin();
    // Files the body with its role and key, its box brought up to date.
    void track(HardBody* body, Role role, std::int32_t key);
    // Files the body with its role, key and share, its box to be measured by the lane
    // that owns it (measure) and its leaf placed by settle. Until then the body may
    // only ask, not be named.
    void trackUnmeasured(HardBody* body, Role role, std::int32_t key, std::int32_t share);
    // Brings the box of a body filed unmeasured up to date; writes its entry only.
    void measure(HardBody* body);
    // Places the leaves of the measured bodies.
    void settle();
    // Drops the entries of bodies the detection did not track; the answers begin.
    void commit();
    // The detection is over: moves are no longer followed.
    void end() { tracking_ = false; }
    // False when some body was tracked twice in one detection: keys cannot order it,
    // so the caller walks its lists instead.
    bool usable() const { return usable_; }

    // A tracked body moved during the detection: its boxes follow it.
    void moved(HardBody* body);
    // The bodies moved since the list was last cleared (a body may repeat).
    const std::vector<HardBody*>& movedBodies() const { return moved_; }
    void clearMovedBodies() { moved_.clear(); }
    // Finds the body's near leaves again when a leaf changed since they were found.
    // Writes the body's entry only.
    void prepare(const HardBody* body);
    // Counts the moves of the body, so a walk can tell when to ask again.
    std::uint32_t moves(const HardBody* body) const { return entries_[slot(body)].moves; }

    void setRole(HardBody* body, Role role, std::int32_t key);
    void setShare(HardBody* body, std::int32_t share, std::int32_t order) {
        Entry& e = entries_[slot(body)];
        e.share = share;
        e.order = order;
    }
    Role role(const HardBody* body) const { return entries_[slot(body)].role; }
    std::int32_t key(const HardBody* body) const { return entries_[slot(body)].key; }
    std::int32_t share(const HardBody* body) const { return entries_[slot(body)].share; }
    std::int32_t order(const HardBody* body) const { return entries_[slot(body)].order; }

    // Fills `out` with the bodies that may touch `body`, other than itself, that
    // `accept(role, key, share, order)` takes, with the sort key it returns (below
    // zero: not taken), in ascending key order; `roles` (bits 1 << role) names every
    // role accept may take. Reads only: lanes may ask at once.
    template <class Accept>
    void gather(const HardBody* body, std::uint32_t roles, Accept&& accept, std::vector<Candidate>& out) const;

    // Visits the bodies of the role keyed after `after` that may touch `outer`, in key
    // order, as a walk over the role's list from there would, with `scratch` holding
    // the answers. A visit may move bodies (an extraction): a move of any body but the
    // one visited (`outer`, or the other fragments of a fracture body lifted whole)
    // makes the rest be asked again from the boxes as they now are.
    template <class Visit>
    void walk(const HardBody* outer, Role role, std::int64_t after, std::vector<Candidate>& scratch, Visit&& visit);

    int trackedCount() const { return tree_.leafCount() + static_cast<int>(always_.size()); }
    const DynamicBoxTree& tree() const { return tree_; }

private:
    using Box = DynamicBoxTree::Box;

    struct Entry {
        HardBody* body = nullptr;  // null for a free entry
        int leaf = DynamicBoxTree::NONE;
        Box tight{};
        std::vector<std::int32_t> near;  // entries whose leaves overlap this one's leaf
        std::uint64_t nearEpoch = 0;     // the tree's epoch when near was found
        std::uint32_t seen = 0;   // the detection that tracked it last
        std::uint32_t moves = 0;
        std::int32_t key = 0;
        std::int32_t share = 0;
        std::int32_t order = 0;
        Role role = NONE;
        bool capsuleLike = false;
        bool always = false;   // a plane, or a box that is not finite
        bool unplaced = false;  // measured (or to be) but its leaf not yet placed
        bool misplaced = false; // measured and its leaf must move
        Box fat{};              // the leaf to place when misplaced
    };

    std::size_t slot(const HardBody* body) const { return static_cast<std::size_t>(body->broadPhaseEntry); }
    void clearEntry(Entry& e);
    std::int32_t fileEntry(HardBody* body, Role role, std::int32_t key);
    static void sortCandidates(std::vector<Candidate>& out);
    void listSpecialEntries();
    void refresh(Entry& entry, std::int32_t index);
    // The boxes of the entry's body: entry-local; true when its leaf must change.
    bool measureEntry(Entry& entry);
    void placeEntry(Entry& entry, std::int32_t index);
    template <class Accept>
    void offer(const Entry& e, Accept& accept, std::vector<Candidate>& out) const {
        const std::int64_t k = accept(e.role, e.key, e.share, e.order);
        if (k >= 0) {
            out.push_back({k, e.body});
        }
    }

    std::vector<Entry> entries_;
    std::vector<std::int32_t> freeEntries_;
    std::vector<std::int32_t> always_;     // entries passing with everything
    std::vector<std::int32_t> capsules_;   // capsule-like entries (also in the tree)
    std::vector<HardBody*> moved_;
    DynamicBoxTree tree_;
    std::int32_t roleCounts_[FRONTIER + 1] = {};
    std::int32_t treeCounts_[FRONTIER + 1] = {};  // of those, the bodies in the tree
    std::uint32_t stamp_ = 0;
    std::uint32_t moveCount_ = 0;  // the moves of every body
    std::uint64_t epoch_ = 1;  // counts the changes of the tree
    bool tracking_ = false;
    bool usable_ = true;
};

template <class Accept>
void BroadPhase::gather(const HardBody* body, std::uint32_t roles, Accept&& accept,
                        std::vector<Candidate>& out) const {
    out.clear();
    const std::size_t self = slot(body);
    const Entry& e = entries_[self];
    if (e.always) {
        for (const Entry& other : entries_) {
            if (other.body && other.seen == stamp_ && &other != &e) {
                offer(other, accept, out);
            }
        }
    } else {
        bool inTree = false;
        for (int r = NONE; r <= FRONTIER; ++r) {
            inTree = inTree || ((roles >> r & 1u) != 0 && treeCounts_[r] != 0);
        }
        // The role comes first: a lane may be measuring a body of another role meanwhile.
        const auto consider = [&](std::int32_t item) {
            const Entry& other = entries_[static_cast<std::size_t>(item)];
            if (&other == &e) {
                return;
            }
            const std::int64_t k = accept(other.role, other.key, other.share, other.order);
            if (k >= 0 && !(e.capsuleLike && other.capsuleLike)) {
                out.push_back({k, other.body});
            }
        };
        if (inTree && e.nearEpoch == epoch_ && !e.unplaced) {
            for (std::int32_t item : e.near) {
                consider(item);
            }
        } else if (inTree) {
            tree_.query(e.tight, consider);
        }
        for (std::int32_t item : always_) {
            offer(entries_[static_cast<std::size_t>(item)], accept, out);
        }
        if (e.capsuleLike) {
            for (std::int32_t item : capsules_) {
                if (static_cast<std::size_t>(item) != self) {
                    offer(entries_[static_cast<std::size_t>(item)], accept, out);
                }
            }
        }
    }
    sortCandidates(out);
}

template <class Visit>
void BroadPhase::walk(const HardBody* outer, Role role, std::int64_t after, std::vector<Candidate>& scratch,
                      Visit&& visit) {
    if (roleCounts_[role] == 0) {
        return;
    }
    const auto accept = [role, &after](Role r, std::int32_t key, std::int32_t, std::int32_t) -> std::int64_t {
        return r == role && key > after ? key : -1;
    };
    prepare(outer);
    gather(outer, 1u << role, accept, scratch);
    for (std::size_t i = 0; i < scratch.size(); ++i) {
        const Candidate c = scratch[i];
        const std::uint32_t all = moveCount_;
        const std::uint32_t own = moves(c.body);
        visit(c.body);
        // The visited body is behind the walk: its own moves change nothing ahead.
        if (moveCount_ - all != moves(c.body) - own) {
            after = c.key;
            prepare(outer);
            gather(outer, 1u << role, accept, scratch);
            i = static_cast<std::size_t>(-1);
        }
    }
}
