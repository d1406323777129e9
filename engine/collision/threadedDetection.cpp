// The threaded detection: the loose bodies are shared out among the lanes, tested
// against the ground, among themselves and as fragments, each phase in parallel with
// the calling thread; the stages are then grown over the pairs found. Whatever a phase
// writes to bodies that other lanes read (extraction, waking, contact stages and bits
// of shared bodies) the calling thread writes after the join.
//
// Every walk over a list visits only the bodies the broad phase finds near, in list
// order, as the walk over the whole list would: the others fail the pair test's world
// boxes and leave nothing behind. During a phase nothing moves, so the lanes only read
// the broad phase; a lane writes only the near lists of its own share's bodies, in
// the first phase.

#include "engine/collision/workerTable.h"

#include <algorithm>

#include "engine/bodies/capsuleBody.h"
#include "engine/bodies/privateHardBody.h"
#include "engine/collision/pairListMoves.h"
#include "engine/fracture/fractureBody.h"

namespace {

constexpr std::uint32_t MIN_SHARE = 8;

using Role = BroadPhase::Role;
using Candidates = std::vector<BroadPhase::Candidate>;

constexpr std::uint32_t rolesOf(Role role) { return 1u << role; }

bool sameOwner(const HardBody* a, const HardBody* b) { return a->getParent() && a->getParent() == b->getParent(); }

// World box, bound, centre and capsule brought up to date before other lanes read
// them, so they only read (a centre or capsule is stored only when it changed).
void refreshWorldState(HardBody* body) {
    if (!body->isWorldModified()) {
        body->updateWorldState();
    }
    body->computeWCenter();
    if (body->getType() == HB_CAPSULE || body->getType() == HB_CRACKER) {
        static_cast<CapsuleBody*>(body)->getWorldCapsule();
    }
}

void refreshWorldStates(const BodyList& list) {
    for (HardBody* body : list) {
        refreshWorldState(body);
    }
}

// Ranks of the broad phase's answers: the bodies of one role (and share), after a key,
// by key; or the bodies of the shares from `first` on, by their place in the scratch
// list.
auto byKey(Role role, std::int32_t share, std::int64_t after = -1) {
    return [=](Role r, std::int32_t key, std::int32_t s, std::int32_t) -> std::int64_t {
        return r == role && s == share && key > after ? key : -1;
    };
}
auto byOrderFrom(std::int32_t first) {
    return [=](Role r, std::int32_t, std::int32_t s, std::int32_t order) -> std::int64_t {
        return r == BroadPhase::LOOSE && s >= first ? order : -1;
    };
}

// Visits the bodies from `first` to the end of its list that may touch `outer`, in
// list order, as `rank` orders them; every body when the broad phase cannot be used.
template <class Rank, class Visit>
void visitNear(const BroadPhase& broadPhase, Candidates& scratch, const HardBody* outer,
               const BodyList::Node* first, std::uint32_t roles, Rank&& rank, Visit&& visit) {
    if (!broadPhase.usable()) {
        for (const BodyList::Node* n = first; n; n = n->next) {
            visit(n->value);
        }
        return;
    }
    broadPhase.gather(outer, roles, rank, scratch);
    for (const BroadPhase::Candidate& c : scratch) {
        visit(c.body);
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
    record->resetForDetection(a, b);
    const int t = m.testBoundedPair(a, b, record, lane);
    if (t == 0) {
        m.returnPairToLane(record, lane);
    } else {
        output.pushFront(record);
    }
    return t;
}

void trackList(BroadPhase& broadPhase, const BodyList& list, Role role) {
    std::int32_t key = 0;
    for (HardBody* body : list) {
        broadPhase.track(body, role, key++);
    }
}

// Keys the list's bodies by place, in the role and share.
void keyShare(BroadPhase& broadPhase, const BodyList& list, Role role, std::int32_t share) {
    std::int32_t key = 0;
    for (HardBody* body : list) {
        broadPhase.setRole(body, role, key++);
        broadPhase.setShare(body, share, 0);
    }
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
    BroadPhase& broadPhase = m.broadPhase;
    const int lane = record->laneNumber;
    Candidates& scratch = m.laneCandidates[lane];
    record->output->clear();
    const auto againstGround = [&](HardBody* a, bool fragment) {
        refreshWorldState(a);
        broadPhase.measure(a);
        broadPhase.prepare(a);
        visitNear(broadPhase, scratch, a, firstListNode(*record->listA), rolesOf(BroadPhase::GROUND),
                  byKey(BroadPhase::GROUND, 0), [&](HardBody* g) {
                      if (fragment && sameOwner(a, g)) {
                          return;
                      }
                      const int t = testOnLane(m, a, g, lane, *record->output);
                      if (t != 0) {
                          a->enableInContact();
                          a->setContactStage(std::max(a->getContactStage(), g->getContactStage() + 1));
                          combineLaneResult(record->laneWord, static_cast<std::uint32_t>(t));
                      }
                  });
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
    const BroadPhase& broadPhase = m.broadPhase;
    const int lane = record->laneNumber;
    const std::int32_t share = lane - 1;
    Candidates& scratch = m.laneCandidates[lane];
    record->output->clear();
    const auto test = [&](HardBody* a, HardBody* b) {
        const int t = testOnLane(m, a, b, lane, *record->output);
        if (t != 0) {
            combineLaneResult(record->laneWord, static_cast<std::uint32_t>(t));
        }
    };
    const BodyList& own = *record->listA;
    if (own.count == 0) {
        return 0;
    }
    const Role role = broadPhase.usable() ? broadPhase.role(firstListNode(own)->value) : BroadPhase::LOOSE;
    for (BodyList::Node* n1 = firstListNode(own); n1; n1 = n1->next) {
        HardBody* const a = n1->value;
        const std::int64_t after = broadPhase.usable() ? broadPhase.key(a) : -1;
        visitNear(broadPhase, scratch, a, n1->next, rolesOf(role), byKey(role, share, after), [&](HardBody* b) {
            if (!sameOwner(a, b)) {
                test(a, b);
            }
        });
    }
    if (record->cursor) {
        const std::int32_t first = broadPhase.usable() ? broadPhase.share(record->cursor->value) : 0;
        for (HardBody* a : own) {
            visitNear(broadPhase, scratch, a, record->cursor, rolesOf(BroadPhase::LOOSE), byOrderFrom(first),
                      [&](HardBody* b) { test(a, b); });
        }
    }
    for (HardBody* b : *record->listB) {
        visitNear(broadPhase, scratch, b, firstListNode(own), rolesOf(role), byKey(role, share),
                  [&](HardBody* a) { test(b, a); });
    }
    return 0;
}

bool CollisionManager::detectCollisionsThreaded(const BodyList& bodies, const BodyList& staticBodies,
                                                const BodyList& reactivationBodies, const BodyList& barriers) {
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
    const int threads = threadsFor(looseBodies.count + looseFragments.count, detectionBodiesPerThread);
    fillDetectionShares(k, bodies.count);
    recycleGroupsBeforeDetection();
    frontier.clear();
    groupPairs.clear();

    // The ground is filed here; the loose bodies by shares (the caller's is -1), each
    // measured by the lane that owns it in the first phase.
    broadPhase.begin();
    trackList(broadPhase, groundBodies, BroadPhase::GROUND);
    const auto fileShare = [&](const BodyList& list, Role role, std::int32_t share) {
        std::int32_t key = 0;
        for (HardBody* body : list) {
            broadPhase.trackUnmeasured(body, role, key++, share);
        }
    };
    fileShare(looseBodies, BroadPhase::LOOSE, -1);
    fileShare(looseFragments, BroadPhase::FRAGMENT, -1);
    for (int i = 0; i < k; ++i) {
        fileShare(bodyShares[i], BroadPhase::LOOSE, i);
        fileShare(fragmentShares[i], BroadPhase::FRAGMENT, i);
    }
    broadPhase.commit();
    Candidates& scratch = laneCandidates[0];
    // What extraction moved, brought up to date before the next phase's lanes read it.
    const auto refreshMoved = [&] {
        for (HardBody* body : broadPhase.movedBodies()) {
            refreshWorldState(body);
        }
        broadPhase.clearMovedBodies();
    };
    std::uint32_t r = 0;
    std::uint32_t merged = 0;

    // Phase 1: every loose body and fragment against the ground. Each lane brings its
    // own bodies up to date; the ground bodies, which every lane reads, come first.
    refreshWorldStates(groundBodies);
    broadPhase.clearMovedBodies();
    {
        LanePhase phase(table, k, threads);
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
        phase.launch();
        for (BodyList* loose : {&looseBodies, &looseFragments}) {
            for (HardBody* d : *loose) {
                refreshWorldState(d);
                broadPhase.measure(d);
                broadPhase.prepare(d);
                visitNear(broadPhase, scratch, d, firstListNode(groundBodies), rolesOf(BroadPhase::GROUND),
                          byKey(BroadPhase::GROUND, 0), [&](HardBody* g) {
                              CollisionPair* const record = takePairRecord(0);
                              if (!record) {
                                  return;
                              }
                              const int t = testPair(d, g, record, 0);
                              if (t == 0) {
                                  returnPairToLane(record, 0);
                                  return;
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
                          });
            }
        }
    }
    broadPhase.settle();
    // Every extraction up to the next phase waits for the batch run before it: until
    // then only the ground bodies' poses are read, which no extraction moves.
    beginExtractionBatch();
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
        const auto meet = [&](HardBody* g2) {
            const HardBody* const owner1 = g1->getParent();
            const HardBody* const owner2 = g2->getParent();
            if ((owner1 && (owner1 == owner2 || owner1->getParent() == g2)) || (owner2 && owner2->getParent() == g1)) {
                return;
            }
            if (!g1->hasMoved() && !g2->hasMoved()) {
                return;
            }
            if (!(!g1->isActive() || !g2->isActive() || g2->isFirstHit(true) || g1->isFirstHit(true) || owner1 ||
                  owner2)) {
                return;
            }
            const bool firstHit1 = g1->isFirstHit(true);
            CollisionPair* const record = takePairRecord(0);
            if (!record) {
                return;
            }
            const int t = testPair(firstHit1 ? g1 : g2, firstHit1 ? g2 : g1, record, 0);
            if (t == 0) {
                returnPairToLane(record, 0);
                return;
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
        };
        if (!broadPhase.usable()) {
            for (BodyList::Node* n2 = n1->next; n2; n2 = n2->next) {
                meet(n2->value);
            }
            continue;
        }
        broadPhase.walk(g1, BroadPhase::GROUND, broadPhase.key(g1), scratch, meet);
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

    runExtractionBatch();

    // Phase 2: loose bodies among themselves. Worker i also tests the shares of all
    // following workers, which begin at its cursor in the scratch list.
    BodyList& scratchList = bodyShares[k];
    table.records[k - 1].cursor = nullptr;
    scratchList.clear();
    scratchList.pushFrontAll(bodyShares[k - 1]);
    for (int i = k - 2; i >= 0; --i) {
        table.records[i].cursor = firstListNode(scratchList);
        scratchList.pushFrontAll(bodyShares[i]);
    }
    {
        std::int32_t order = 0;
        for (HardBody* body : scratchList) {
            broadPhase.setShare(body, broadPhase.share(body), order++);
        }
    }
    if (scratchList.count != 0) {
        refreshMoved();
        const std::uint32_t before = newPairs.count;
        {
            LanePhase phase(table, k, threads);
            for (int i = 0; i < k; ++i) {
                if (bodyShares[i].count != 0) {
                    WorkerRecord& record = table.records[i];
                    record.listA = &bodyShares[i];
                    record.listB = &looseBodies;
                    record.laneWord = r;
                    phase.start(i, detectLooseLaneProc);
                }
            }
            phase.launch();
            for (BodyList::Node* n1 = firstListNode(looseBodies); n1; n1 = n1->next) {
                HardBody* const a = n1->value;
                const std::int64_t after = broadPhase.usable() ? broadPhase.key(a) : -1;
                visitNear(broadPhase, scratch, a, n1->next, rolesOf(BroadPhase::LOOSE),
                          byKey(BroadPhase::LOOSE, -1, after), [&](HardBody* b) { callerTest(a, b); });
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
        for (int i = 0; i < k; ++i) {
            keyShare(broadPhase, fragmentShares[i], BroadPhase::FRAGMENT, i);
        }
        refreshMoved();
        const std::uint32_t before = newPairs.count;
        {
            LanePhase phase(table, k, threads);
            for (int i = 0; i < k; ++i) {
                if (fragmentShares[i].count != 0) {
                    WorkerRecord& record = table.records[i];
                    record.listA = &fragmentShares[i];
                    record.listB = &looseBodies;
                    record.cursor = firstListNode(scratchList);
                    record.laneWord = r;
                    phase.start(i, detectLooseLaneProc);
                }
            }
            phase.launch();
            for (int i = 0; i < k; ++i) {
                for (HardBody* a : fragmentShares[i]) {
                    const auto laterFragment = [&](HardBody* b) {
                        if (!sameOwner(a, b)) {
                            callerTest(a, b);
                        }
                    };
                    if (!broadPhase.usable()) {
                        for (int later = i + 1; later < k; ++later) {
                            for (HardBody* b : fragmentShares[later]) {
                                laterFragment(b);
                            }
                        }
                        continue;
                    }
                    // The later shares one after another, each in its order.
                    const auto laterShares = [i](Role role, std::int32_t key, std::int32_t share,
                                                 std::int32_t) -> std::int64_t {
                        return role == BroadPhase::FRAGMENT && share > i
                                   ? (static_cast<std::int64_t>(share) << 32) + key
                                   : -1;
                    };
                    broadPhase.gather(a, rolesOf(BroadPhase::FRAGMENT), laterShares, scratch);
                    for (const BroadPhase::Candidate& c : scratch) {
                        laterFragment(c.body);
                    }
                }
            }
        }
        stageCallerHits(before);
        combineLaneResult(r, static_cast<std::uint32_t>(mergeLaneHitsStaged(1)));
    }
    broadPhase.end();

    // The stage passes read no pose once their first has built its contact groups.
    beginExtractionBatch();
    growStagesOverFoundPairs();
    for (CollisionPair* pair : newPairs) {
        if (!pair->bodyA->isStatic() && !pair->bodyB->isStatic()) {
            extractPair(pair);
        }
    }
    runExtractionBatch();
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
