// The threaded detection: the loose bodies are shared out among the lanes, tested
// against the ground, among themselves and as fragments, each phase in parallel with
// the calling thread; the stages are then grown over the pairs found. Whatever a phase
// writes to bodies that other lanes read (extraction, waking, contact stages and bits
// of shared bodies) the calling thread writes after the join.

#include "engine/collision/workerTable.h"

#include <algorithm>

#include "engine/bodies/capsuleBody.h"
#include "engine/bodies/privateHardBody.h"
#include "engine/collision/pairListMoves.h"
#include "engine/fracture/fractureBody.h"

namespace {

constexpr std::uint32_t MIN_SHARE = 8;

bool sameOwner(const HardBody* a, const HardBody* b) { return a->getParent() && a->getParent() == b->getParent(); }

// World boxes, bounds, centres and capsules brought up to date before the lanes read
// them, so no lane writes them (a centre or capsule is stored only when it changed).
void refreshWorldStates(const BodyList& list) {
    for (HardBody* body : list) {
        if (!body->isWorldModified()) {
            body->updateWorldState();
        }
        body->computeWCenter();
        if (body->getType() == HB_CAPSULE || body->getType() == HB_CRACKER) {
            static_cast<CapsuleBody*>(body)->getWorldCapsule();
        }
    }
}

// Tests a against b with a record of the lane; the record goes back on a miss and to
// `output` on a hit. Returns the test result.
int testOnLane(CollisionManager& m, HardBody* a, HardBody* b, int lane, PairList& output) {
    if (!CollisionManager::boundsMayTouch(a, b)) {
        return 0;
    }
    CollisionPair* const record = m.takePairRecord(lane);
    if (!record) {
        return 0;
    }
    const int t = m.testPair(a, b, record, lane);
    if (t == 0) {
        m.returnPairToLane(record, lane);
    } else {
        output.pushFront(record);
    }
    return t;
}

}  // namespace

void CollisionManager::fillDetectionShares(int k, std::uint32_t bodyCount) {
    const auto shareUnit = [k](std::uint32_t count) {
        const auto lanes = static_cast<std::uint32_t>((k + 2) * (k + 1));
        return std::max(MIN_SHARE, 2 * count / lanes);
    };
    const std::uint32_t c = shareUnit(bodyCount);
    for (int i = 0; i < k; ++i) {
        bodyShares[i].clear();
        for (std::uint32_t taken = 0; taken < static_cast<std::uint32_t>(i + 2) * c && looseBodies.count; ++taken) {
            moveFirstToFront(looseBodies, bodyShares[i]);
        }
    }
    const std::uint32_t f = shareUnit(looseFragments.count);
    for (int i = 0; i < k; ++i) {
        fragmentShares[i].clear();
        for (std::uint32_t taken = 0; taken < static_cast<std::uint32_t>(i + 2) * f && looseFragments.count;
             ++taken) {
            moveFirstToFront(looseFragments, fragmentShares[i]);
        }
    }
}

int detectGroundLaneProc(WorkerRecord* record) {
    CollisionManager& m = *record->manager;
    const int lane = record->laneNumber;
    record->output->clear();
    const auto againstGround = [&](HardBody* a, bool fragment) {
        for (HardBody* g : *record->listA) {
            if (fragment && sameOwner(a, g)) {
                continue;
            }
            const int t = testOnLane(m, a, g, lane, *record->output);
            if (t != 0) {
                a->enableInContact();
                a->setContactStage(std::max(a->getContactStage(), g->getContactStage() + 1));
                combineLaneResult(record->laneWord, static_cast<std::uint32_t>(t));
            }
        }
    };
    for (HardBody* a : *record->listB) {
        againstGround(a, false);
    }
    for (HardBody* a : *record->listC) {
        againstGround(a, true);
    }
    return 0;
}

// The lane records its hits only: the in-contact bits and stages of both bodies, which
// may belong to other shares, are set by the caller after the join.
int detectLooseLaneProc(WorkerRecord* record) {
    CollisionManager& m = *record->manager;
    const int lane = record->laneNumber;
    record->output->clear();
    const auto test = [&](HardBody* a, HardBody* b) {
        const int t = testOnLane(m, a, b, lane, *record->output);
        if (t != 0) {
            combineLaneResult(record->laneWord, static_cast<std::uint32_t>(t));
        }
    };
    for (BodyList::Node* n1 = firstListNode(*record->listA); n1; n1 = n1->next) {
        for (BodyList::Node* n2 = n1->next; n2; n2 = n2->next) {
            if (!sameOwner(n1->value, n2->value)) {
                test(n1->value, n2->value);
            }
        }
    }
    for (HardBody* a : *record->listA) {
        for (BodyList::Node* n = record->cursor; n; n = n->next) {
            test(a, n->value);
        }
    }
    for (HardBody* b : *record->listB) {
        for (HardBody* a : *record->listA) {
            test(b, a);
        }
    }
    return 0;
}

bool CollisionManager::detectCollisionsThreaded(BodyList& bodies, BodyList& staticBodies,
                                                BodyList& reactivationBodies, BodyList& barriers) {
    const int lanes = usableLanes(threadCount);
    if (lanes == 1) {
        return detectCollisions(bodies, staticBodies, reactivationBodies, barriers);
    }
    WorkerTable& table = *getWorkerTable();
    const int k = lanes - 1;
    table.activeWorkerCount = k;
    pairCount = 0;
    distributePairStore();
    newPairs.clear();
    for (int i = 0; i < k; ++i) {
        workerPairs[i].clear();
        table.records[i].started = false;
    }

    // Reactivated bodies are ground here too, so moving bodies do not pass through
    // sleeping ones.
    listGroundAndLooseBodies(bodies, staticBodies, reactivationBodies, barriers);
    fillDetectionShares(k, bodies.count);
    recycleGroupsBeforeDetection();
    frontier.clear();
    groupPairs.clear();

    const auto refreshAll = [&] {
        refreshWorldStates(groundBodies);
        refreshWorldStates(looseBodies);
        refreshWorldStates(looseFragments);
        for (int i = 0; i < k; ++i) {
            refreshWorldStates(bodyShares[i]);
            refreshWorldStates(fragmentShares[i]);
        }
    };
    std::uint32_t r = 0;
    std::uint32_t merged = 0;

    // Phase 1: every loose body and fragment against the ground.
    refreshAll();
    {
        LanePhase phase(table, k);
        for (int i = 0; i < k; ++i) {
            if (bodyShares[i].count != 0 || fragmentShares[i].count != 0) {
                WorkerRecord& record = table.records[i];
                record.listA = &groundBodies;
                record.listB = &bodyShares[i];
                record.listC = &fragmentShares[i];
                record.laneWord = 0;
                phase.start(i, detectGroundLaneProc);
            }
        }
        for (BodyList* loose : {&looseBodies, &looseFragments}) {
            for (HardBody* d : *loose) {
                for (HardBody* g : groundBodies) {
                    CollisionPair* const record = takePairRecord(0);
                    if (!record) {
                        continue;
                    }
                    const int t = testPair(d, g, record, 0);
                    if (t == 0) {
                        returnPairToLane(record, 0);
                        continue;
                    }
                    d->setContactStage(std::max(d->getContactStage(), g->getContactStage() + 1));
                    d->enableInContact();
                    if (!contactGroupsEnabled) {
                        pushResolvedPair(record);  // extracted after the join
                    } else {
                        groupPairs.pushFront(record);
                    }
                    combineLaneResult(r, static_cast<std::uint32_t>(t));
                    ++pairCount;
                }
            }
        }
    }
    // The caller's own ground hits are extracted now, in the order found: extraction
    // writes the pose of both bodies, and the lanes were reading the ground ones.
    newPairs.reverse();
    for (CollisionPair* pair : newPairs) {
        extractPair(pair);
    }
    newPairs.reverse();
    // Ground bodies the lanes hit wake up, as in the serial detection; the lanes only
    // read them, so they are woken now.
    for (PairList* hits : {&newPairs, &groupPairs}) {
        for (CollisionPair* pair : *hits) {
            pair->bodyB->activate();
        }
    }
    for (int i = 0; i < k; ++i) {
        for (CollisionPair* pair : workerPairs[i]) {
            pair->bodyB->activate();
        }
    }
    // Moving ground bodies, after the join: their extraction moves bodies the lanes read.
    for (BodyList::Node* n1 = firstListNode(groundBodies); n1; n1 = n1->next) {
        HardBody* const g1 = n1->value;
        for (BodyList::Node* n2 = n1->next; n2; n2 = n2->next) {
            HardBody* const g2 = n2->value;
            const HardBody* const owner1 = g1->getParent();
            const HardBody* const owner2 = g2->getParent();
            if ((owner1 && (owner1 == owner2 || owner1->getParent() == g2)) || (owner2 && owner2->getParent() == g1)) {
                continue;
            }
            if (!g1->hasMoved() && !g2->hasMoved()) {
                continue;
            }
            if (!(!g1->isActive() || !g2->isActive() || g2->isFirstHit(true) || g1->isFirstHit(true) || owner1 ||
                  owner2)) {
                continue;
            }
            const bool firstHit1 = g1->isFirstHit(true);
            CollisionPair* const record = takePairRecord(0);
            if (!record) {
                continue;
            }
            const int t = testPair(firstHit1 ? g1 : g2, firstHit1 ? g2 : g1, record, 0);
            if (t == 0) {
                returnPairToLane(record, 0);
                continue;
            }
            const std::int32_t stage = std::max(g1->getContactStage(), g2->getContactStage());
            for (HardBody* g : {g1, g2}) {
                g->setContactStage(stage);
                g->enableInContact();
            }
            pushResolvedPair(record);
            extractPair(record);
            combineLaneResult(r, static_cast<std::uint32_t>(t));
            ++pairCount;
        }
    }
    combineLaneResult(r, static_cast<std::uint32_t>(mergeLaneHits(merged)));

    // The first frontier: every body that touched the ground.
    bool fragmentReached = false;
    const auto gather = [&](const BodyList& list, bool fragments) {
        for (HardBody* body : list) {
            if (body->isInContact()) {
                frontier.pushFront(body);
                fragmentReached = fragmentReached || fragments;
            }
        }
    };
    gather(looseBodies, false);
    gather(looseFragments, true);
    for (int i = 0; i < k; ++i) {
        gather(bodyShares[i], false);
        gather(fragmentShares[i], true);
    }
    if (fragmentReached) {
        for (BodyList::Node* f = firstListNode(frontier); f; f = f->next) {
            const HardBody* const reached = f->value;
            if (!reached->getParent()) {
                continue;
            }
            for (BodyList::Node* n = firstListNode(looseFragments); n;) {
                BodyList::Node* const next = n->next;
                if (n->value->getParent() == reached->getParent()) {
                    HardBody* const fragment = n->value;
                    fragment->setContactStage(reached->getContactStage());
                    unlinkListNode(looseFragments, n);
                    frontier.pushFront(fragment);
                }
                n = next;
            }
            for (int i = 0; i < k; ++i) {
                for (HardBody* fragment : fragmentShares[i]) {
                    if (fragment->getParent() == reached->getParent()) {
                        fragment->setContactStage(reached->getContactStage());
                        frontier.pushFront(fragment);
                    }
                }
            }
        }
    }
    for (CollisionPair* pair : groupPairs) {
        extractPair(pair);
    }

    // Stage 1 for the caller's own hits of a later phase, once the lanes are joined.
    const auto stageCallerHits = [&](std::uint32_t before) {
        std::uint32_t fresh = newPairs.count - before;
        for (PairList::Node* n = firstListNode(newPairs); n && fresh; n = n->next, --fresh) {
            for (HardBody* body : {n->value->bodyA, n->value->bodyB}) {
                body->setContactStage(1);
                body->enableInContact();
            }
        }
    };
    const auto callerTest = [&](HardBody* a, HardBody* b) {
        CollisionPair* const record = takePairRecord(0);
        if (!record) {
            return;
        }
        const int t = testPair(a, b, record, 0);
        if (t == 0) {
            returnPairToLane(record, 0);
            return;
        }
        ++pairCount;
        pushResolvedPair(record);
        combineLaneResult(r, static_cast<std::uint32_t>(t));
    };

    // Phase 2: loose bodies among themselves. Worker i also tests the shares of all
    // following workers, which begin at its cursor in the scratch list.
    BodyList& scratch = bodyShares[k];
    table.records[k - 1].cursor = nullptr;
    scratch.clear();
    scratch.pushFrontAll(bodyShares[k - 1]);
    for (int i = k - 2; i >= 0; --i) {
        table.records[i].cursor = firstListNode(scratch);
        scratch.pushFrontAll(bodyShares[i]);
    }
    if (scratch.count != 0) {
        refreshAll();
        const std::uint32_t before = newPairs.count;
        {
            LanePhase phase(table, k);
            for (int i = 0; i < k; ++i) {
                if (bodyShares[i].count != 0) {
                    WorkerRecord& record = table.records[i];
                    record.listA = &bodyShares[i];
                    record.listB = &looseBodies;
                    record.laneWord = r;
                    phase.start(i, detectLooseLaneProc);
                }
            }
            for (BodyList::Node* n1 = firstListNode(looseBodies); n1; n1 = n1->next) {
                for (BodyList::Node* n2 = n1->next; n2; n2 = n2->next) {
                    callerTest(n1->value, n2->value);
                }
            }
        }
        stageCallerHits(before);
        combineLaneResult(r, static_cast<std::uint32_t>(mergeLaneHitsStaged(1)));
    }

    // Phase 3: fragments, among themselves and against every loose body.
    fragmentShares[0].pushFrontAll(looseFragments);
    looseFragments.clear();
    bool anyFragments = false;
    for (int i = 0; i < k; ++i) {
        anyFragments = anyFragments || fragmentShares[i].count != 0;
    }
    if (anyFragments) {
        refreshAll();
        const std::uint32_t before = newPairs.count;
        {
            LanePhase phase(table, k);
            for (int i = 0; i < k; ++i) {
                if (fragmentShares[i].count != 0) {
                    WorkerRecord& record = table.records[i];
                    record.listA = &fragmentShares[i];
                    record.listB = &looseBodies;
                    record.cursor = firstListNode(scratch);
                    record.laneWord = r;
                    phase.start(i, detectLooseLaneProc);
                }
            }
            for (int i = 0; i < k; ++i) {
                for (HardBody* a : fragmentShares[i]) {
                    for (int later = i + 1; later < k; ++later) {
                        for (HardBody* b : fragmentShares[later]) {
                            if (!sameOwner(a, b)) {
                                callerTest(a, b);
                            }
                        }
                    }
                }
            }
        }
        stageCallerHits(before);
        combineLaneResult(r, static_cast<std::uint32_t>(mergeLaneHitsStaged(1)));
    }

    // Stages over the found pairs, frontier by frontier.
    fragmentPairs.clear();
    while (frontier.count != 0) {
        lastLinkCount = linkContactGroups();
        linkCountSum += lastLinkCount;
        buildContactGroups();
        for (CollisionPair* pair : groupPairs) {
            fragmentPairs.pushFront(pair);
        }
        groupPairs.clear();
        looseBodies.clear();
        for (HardBody* f : frontier) {
            for (PairList::Node* n = firstListNode(newPairs); n;) {
                PairList::Node* const next = n->next;
                CollisionPair* const pair = n->value;
                if (pair->bodyA == f || pair->bodyB == f) {
                    HardBody* const reached = pair->bodyA == f ? pair->bodyB : pair->bodyA;
                    // A ground body keeps its stage: the pass grows stages away from it.
                    // Its pair was extracted when the ground phase found it; a second
                    // extraction would move the body again, which the serial detection
                    // does not, and a body's motion would depend on the lane count.
                    if (reached->getContactStage() != 0) {
                        reached->setContactStage(f->getContactStage() + 1);
                        looseBodies.pushFront(reached);
                        extractPair(pair);
                    }
                    // Held with the group pairs until the stages are done.
                    unlinkListNode(newPairs, n);
                    fragmentPairs.pushFront(pair);
                }
                n = next;
            }
        }
        frontier = looseBodies;
    }
    for (CollisionPair* pair : newPairs) {
        if (!pair->bodyA->isStatic() && !pair->bodyB->isStatic()) {
            extractPair(pair);
        }
    }
    newPairs.pushFrontAll(fragmentPairs);
    fragmentPairs.clear();

    newPairs.reverse();
    activePairs.clear();
    for (CollisionPair* pair : newPairs) {
        activePairs.pushFront(pair);
    }
    newPairs.clear();
    recycleGroupsAfterDetection();

    looseBodies.clear();
    for (int i = 0; i <= k; ++i) {
        bodyShares[i].clear();
        fragmentShares[i].clear();
    }
    collectLanePairs();
    return r != 0;
}
