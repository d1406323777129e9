// The stage passes of the threaded detection over the pairs its phases found: each
// frontier body, in frontier order, reaches the other bodies of its pairs, which form
// the next frontier.

#include <algorithm>

#include "engine/collision/collisionManager.h"
#include "engine/collision/pairListMoves.h"

// One round of stages starts: the contact groups are linked and built, their pairs
// are held with the fragment pairs, and the next frontier starts empty.
void CollisionManager::startStageRound() {
    lastLinkCount = linkContactGroups();
    linkCountSum += lastLinkCount;
    buildContactGroups();
    for (CollisionPair* pair : groupPairs) {
        fragmentPairs.pushFront(pair);
    }
    groupPairs.clear();
    looseBodies.clear();
}

// The frontier body f reaches the other body of the pair at n, which joins the next
// frontier one stage further out; the pair leaves newPairs and is held with the
// group pairs until the stages are done.
void CollisionManager::reachOver(HardBody* f, PairList::Node* n) {
    CollisionPair* const pair = n->value;
    HardBody* const reached = pair->bodyA == f ? pair->bodyB : pair->bodyA;
    // A ground body keeps its stage: the pass grows stages away from it. Its pair was
    // extracted when the ground phase found it; a second extraction would move the
    // body again, which the serial detection does not, and a body's motion would
    // depend on the lane count.
    if (reached->getContactStage() != 0) {
        reached->setContactStage(f->getContactStage() + 1);
        looseBodies.pushFront(reached);
        extractPair(pair);
    }
    unlinkListNode(newPairs, n);
    fragmentPairs.pushFront(pair);
}

// Stages over the found pairs, frontier by frontier: each frontier body, in frontier
// order, reaches the other bodies of its pairs still in newPairs, in newPairs order;
// every pair so used is extracted (unless it reaches a ground body) and held in
// fragmentPairs. Each body's pairs are listed once beforehand, so a frontier body
// finds its pairs without a walk over all of them.
void CollisionManager::growStagesOverFoundPairs() {
    fragmentPairs.clear();
    foundPairs_.clear();
    for (PairList::Node* n = firstListNode(newPairs); n; n = n->next) {
        foundPairs_.push_back(n);
    }
    // Pairs by body: the offsets of each body's run, then the runs in newPairs order.
    // The detection filed every body of its pairs in the broad phase, whose slots name
    // the bodies here.
    const auto slotOf = [](const HardBody* body) { return static_cast<std::size_t>(body->broadPhaseEntry); };
    std::size_t slots = 0;
    for (const PairList::Node* n : foundPairs_) {
        if (n->value->bodyA->broadPhaseEntry < 0 || n->value->bodyB->broadPhaseEntry < 0) {
            slots = 0;
            break;
        }
        slots = std::max({slots, slotOf(n->value->bodyA) + 1, slotOf(n->value->bodyB) + 1});
    }
    if (slots == 0 && !foundPairs_.empty()) {
        growStagesByWalks();
        return;
    }
    pairStarts_.assign(slots + 1, 0);
    for (const PairList::Node* n : foundPairs_) {
        ++pairStarts_[slotOf(n->value->bodyA) + 1];
        ++pairStarts_[slotOf(n->value->bodyB) + 1];
    }
    for (std::size_t s = 0; s < slots; ++s) {
        pairStarts_[s + 1] += pairStarts_[s];
    }
    pairsByBody_.resize(pairStarts_[slots]);
    pairFill_.assign(pairStarts_.begin(), pairStarts_.end() - 1);
    for (std::uint32_t i = 0; i < foundPairs_.size(); ++i) {
        pairsByBody_[pairFill_[slotOf(foundPairs_[i]->value->bodyA)]++] = i;
        pairsByBody_[pairFill_[slotOf(foundPairs_[i]->value->bodyB)]++] = i;
    }
    pairUsed_.assign(foundPairs_.size(), 0);
    // Every body of a found pair has its slot in this detection's broad phase, so the
    // slots name them; a frontier body without pairs has none to reach.
    const auto pairsOf = [&](const HardBody* body) {
        const std::size_t s = slotOf(body);
        const bool listed = body->broadPhaseEntry >= 0 && s < slots;
        return std::pair{listed ? pairStarts_[s] : 0u, listed ? pairStarts_[s + 1] : 0u};
    };

    while (frontier.count != 0) {
        startStageRound();
        for (HardBody* f : frontier) {
            const auto [begin, end] = pairsOf(f);
            for (std::uint32_t j = begin; j < end; ++j) {
                const std::uint32_t i = pairsByBody_[j];
                PairList::Node* const n = foundPairs_[i];
                CollisionPair* const pair = n->value;
                // A body listed with pairs of another entry is not this one.
                if (pairUsed_[i] || (pair->bodyA != f && pair->bodyB != f)) {
                    continue;
                }
                pairUsed_[i] = 1;
                reachOver(f, n);
            }
        }
        frontier = looseBodies;
    }
}

// The same by walks over newPairs, for pairs whose bodies have no broad-phase slot.
void CollisionManager::growStagesByWalks() {
    while (frontier.count != 0) {
        startStageRound();
        for (HardBody* f : frontier) {
            for (PairList::Node* n = firstListNode(newPairs); n;) {
                PairList::Node* const next = n->next;
                CollisionPair* const pair = n->value;
                if (pair->bodyA == f || pair->bodyB == f) {
                    reachOver(f, n);
                }
                n = next;
            }
        }
        frontier = looseBodies;
    }
}
