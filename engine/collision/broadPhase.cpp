#include "engine/collision/broadPhase.h"

#include <algorithm>
#include <cmath>

#include "engine/bodies/hardBody.h"

namespace {

// A leaf's box reaches this share of the body's largest side beyond the body, so a
// body that moves less than that keeps its leaf.
constexpr double FAT_MARGIN = 0.05;

bool capsuleLike(const HardBody* body) { return body->getType() == HB_CAPSULE || body->getType() == HB_CRACKER; }

}  // namespace

void BroadPhase::sortCandidates(std::vector<Candidate>& out) {
    const auto byKey = [](const Candidate& a, const Candidate& b) { return a.key < b.key; };
    if (out.size() > 16) {
        std::sort(out.begin(), out.end(), byKey);
        return;
    }
    // Short lists: insertion sort.
    for (std::size_t i = 1; i < out.size(); ++i) {
        const Candidate c = out[i];
        std::size_t j = i;
        for (; j > 0 && byKey(c, out[j - 1]); --j) {
            out[j] = out[j - 1];
        }
        out[j] = c;
    }
}

void BroadPhase::begin() {
    ++stamp_;
    moved_.clear();
    std::fill(std::begin(roleCounts_), std::end(roleCounts_), 0);
    std::fill(std::begin(treeCounts_), std::end(treeCounts_), 0);
    tracking_ = true;
    usable_ = true;
}

// The body's entry, given a slot when it has none yet, marked as filed in this
// detection; a body filed twice makes the answers unusable.
std::int32_t BroadPhase::fileEntry(HardBody* body, Role role, std::int32_t key) {
    std::int32_t index = body->broadPhaseEntry;
    if (index < 0 || static_cast<std::size_t>(index) >= entries_.size() ||
        entries_[static_cast<std::size_t>(index)].body != body) {
        if (freeEntries_.empty()) {
            index = static_cast<std::int32_t>(entries_.size());
            entries_.emplace_back();
        } else {
            index = freeEntries_.back();
            freeEntries_.pop_back();
        }
        entries_[static_cast<std::size_t>(index)].body = body;
        body->broadPhaseEntry = index;
    }
    Entry& e = entries_[static_cast<std::size_t>(index)];
    if (e.seen == stamp_) {
        usable_ = false;
    }
    e.seen = stamp_;
    e.role = role;
    e.key = key;
    return index;
}

void BroadPhase::track(HardBody* body, Role role, std::int32_t key) {
    const std::int32_t index = fileEntry(body, role, key);
    Entry& e = entries_[static_cast<std::size_t>(index)];
    e.share = 0;
    e.order = 0;
    refresh(e, index);
    ++roleCounts_[role];
    treeCounts_[role] += e.always ? 0 : 1;
}

void BroadPhase::trackUnmeasured(HardBody* body, Role role, std::int32_t key, std::int32_t share) {
    Entry& e = entries_[static_cast<std::size_t>(fileEntry(body, role, key))];
    e.share = share;
    e.order = 0;
    e.unplaced = true;
    e.misplaced = false;
    ++roleCounts_[role];  // its tree count waits for settle
}

void BroadPhase::measure(HardBody* body) {
    Entry& e = entries_[slot(body)];
    if (e.unplaced) {
        e.misplaced = measureEntry(e);
    }
}

void BroadPhase::settle() {
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        Entry& e = entries_[i];
        if (!e.body || e.seen != stamp_ || !e.unplaced) {
            continue;
        }
        if (e.misplaced) {
            placeEntry(e, static_cast<std::int32_t>(i));
        }
        treeCounts_[e.role] += e.always ? 0 : 1;
        e.unplaced = false;
        e.misplaced = false;
    }
    listSpecialEntries();
}

void BroadPhase::commit() {
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        Entry& e = entries_[i];
        if (e.body && e.seen != stamp_) {
            // The body left the lists (or the world, and may be gone): not touched.
            clearEntry(e);
            freeEntries_.push_back(static_cast<std::int32_t>(i));
        }
    }
    listSpecialEntries();
}

// Back to a free entry, keeping the near list's storage for the next body.
void BroadPhase::clearEntry(Entry& e) {
    if (e.leaf != DynamicBoxTree::NONE) {
        tree_.remove(e.leaf);
        ++epoch_;
    }
    std::vector<std::int32_t> near = std::move(e.near);
    near.clear();
    e = Entry{};
    e.near = std::move(near);
}

void BroadPhase::prepare(const HardBody* body) {
    Entry& e = entries_[slot(body)];
    if (e.always || e.leaf == DynamicBoxTree::NONE || e.nearEpoch == epoch_) {
        return;
    }
    e.near.clear();
    const std::int32_t self = body->broadPhaseEntry;
    tree_.query(tree_.box(e.leaf), [&](std::int32_t item) {
        if (item != self) {
            e.near.push_back(item);
        }
    });
    e.nearEpoch = epoch_;
}

void BroadPhase::listSpecialEntries() {
    always_.clear();
    capsules_.clear();
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        const Entry& e = entries_[i];
        if (!e.body || e.seen != stamp_) {
            continue;
        }
        if (e.always) {
            always_.push_back(static_cast<std::int32_t>(i));
        } else if (e.capsuleLike) {
            capsules_.push_back(static_cast<std::int32_t>(i));
        }
    }
}

void BroadPhase::moved(HardBody* body) {
    const std::int32_t index = body->broadPhaseEntry;
    if (!tracking_ || index < 0 || static_cast<std::size_t>(index) >= entries_.size()) {
        return;
    }
    Entry& e = entries_[static_cast<std::size_t>(index)];
    if (e.body != body || e.seen != stamp_) {
        return;
    }
    const bool wasAlways = e.always;
    refresh(e, index);
    ++e.moves;
    ++moveCount_;
    moved_.push_back(body);
    if (e.always != wasAlways) {
        treeCounts_[e.role] += e.always ? -1 : 1;
        listSpecialEntries();
    }
}

void BroadPhase::setRole(HardBody* body, Role role, std::int32_t key) {
    Entry& e = entries_[slot(body)];
    --roleCounts_[e.role];
    ++roleCounts_[role];
    if (!e.always) {
        --treeCounts_[e.role];
        ++treeCounts_[role];
    }
    e.role = role;
    e.key = key;
}

// The world-axis box the pair test builds from the oriented box, grown on each axis by
// twice this body's share of the test's tolerance, 1e-6 (1 + |centre| + reach): where
// two grown boxes are apart, the test finds a gap beyond its tolerance.
bool BroadPhase::measureEntry(Entry& e) {
    HardBody* const body = e.body;
    e.capsuleLike = capsuleLike(body);
    bool always = body->getType() == HB_BARRIER;
    // The box the test will see; the rest of the world state (a hull's placed
    // vertices) waits for a test that needs it.
    const ZYLbox& B = body->isWorldModified() ? body->bbox : body->computeBbox();
    double lo[3];
    double hi[3];
    double largest = 0.0;
    for (unsigned k = 0; k < 3; ++k) {
        const double r = std::fabs(B.axes(k, 0)) * B.halfExtents.x + std::fabs(B.axes(k, 1)) * B.halfExtents.y +
                         std::fabs(B.axes(k, 2)) * B.halfExtents.z;
        const double c = B.centre[k];
        const double reach = r + 2e-6 * (1.0 + std::fabs(c) + r);
        lo[k] = c - reach;
        hi[k] = c + reach;
        largest = std::max(largest, 2.0 * r);
        always = always || !std::isfinite(lo[k]) || !std::isfinite(hi[k]);
    }
    e.always = always;
    if (always) {
        return e.leaf != DynamicBoxTree::NONE;
    }
    e.tight = DynamicBoxTree::widen(lo, hi);
    if (e.leaf != DynamicBoxTree::NONE && DynamicBoxTree::contains(tree_.box(e.leaf), e.tight)) {
        return false;
    }
    const double margin = FAT_MARGIN * largest;
    for (unsigned k = 0; k < 3; ++k) {
        lo[k] -= margin;
        hi[k] += margin;
    }
    e.fat = DynamicBoxTree::widen(lo, hi);
    return true;
}

void BroadPhase::placeEntry(Entry& e, std::int32_t index) {
    if (e.always) {
        if (e.leaf != DynamicBoxTree::NONE) {
            tree_.remove(e.leaf);
            e.leaf = DynamicBoxTree::NONE;
            ++epoch_;
        }
        return;
    }
    if (e.leaf == DynamicBoxTree::NONE) {
        e.leaf = tree_.insert(e.fat, index);
    } else {
        tree_.move(e.leaf, e.fat);
    }
    ++epoch_;
}

void BroadPhase::refresh(Entry& e, std::int32_t index) {
    if (measureEntry(e)) {
        placeEntry(e, index);
    }
}
