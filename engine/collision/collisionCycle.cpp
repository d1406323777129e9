// The collision-management cycle: the serial detection that grows contact stages from
// the ground bodies outward, the cracker detection, and the resolution drivers that
// hand pairs to fracture impacts, splits and pair resolution.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "engine/bodies/barrierBody.h"
#include "engine/bodies/privateHardBody.h"
#include "engine/collision/collisionManager.h"
#include "engine/collision/pairListMoves.h"
#include "engine/fracture/fractureBody.h"
#include "engine/fracture/fractureWorldFiling.h"
#include "geometry/bounds/boxFit.h"

using Qmt::QmtVector3;

namespace {

constexpr double TOLERANCE = 1e-5;
constexpr double LARGEST_FLOAT = 3.4028234663852886e38;
constexpr std::uint32_t ALL_BITS = 0xFFFFFFFFu;

bool sameOwner(const HardBody* a, const HardBody* b) {
    return a->getParent() && a->getParent() == b->getParent();
}

// The running detection result: a new contact (1) wins over everything, otherwise the
// first non-zero result stays.
void combine(int& result, int t) {
    if (t == 1 || result == 0) {
        result = t;
    }
}

void toGround(BodyList& ground, HardBody* body) {
    body->disableInContact();
    body->setContactStage(0);
    ground.pushFront(body);
}

// Every fragment of `owner` in `from` takes the reached body's stage and joins the
// frontier: a fracture body is reached as a whole.
void propagateToFragments(BodyList& frontier, BodyList& from) {
    for (BodyList::Node* f = firstListNode(frontier); f; f = f->next) {
        const HardBody* const reached = f->value;
        if (!reached->getParent()) {
            continue;
        }
        for (BodyList::Node* n = firstListNode(from); n;) {
            BodyList::Node* const next = n->next;
            HardBody* const fragment = n->value;
            if (fragment->getParent() == reached->getParent()) {
                fragment->setContactStage(reached->getContactStage());
                unlinkListNode(from, n);
                frontier.pushFront(fragment);
            }
            n = next;
        }
    }
}

using Role = BroadPhase::Role;
using Candidates = std::vector<BroadPhase::Candidate>;

// Files every body of the list in the broad phase with the role, keyed by its place.
void trackList(BroadPhase& broadPhase, BodyList& list, Role role) {
    std::int32_t key = 0;
    for (HardBody* body : list) {
        broadPhase.track(body, role, key++);
    }
}

void keyList(BroadPhase& broadPhase, BodyList& list, Role role) {
    std::int32_t key = 0;
    for (HardBody* body : list) {
        broadPhase.setRole(body, role, key++);
    }
}

// Calls visit(b) for the bodies b of `list` after `after` (all of them when null), in
// list order, leaving out those whose world boxes the pair test would find apart from
// `outer`'s: visiting them would find nothing and change nothing.
template <class Visit>
void visitCandidates(BroadPhase& broadPhase, Candidates& scratch, HardBody* outer, const BodyList& list,
                     const BodyList::Node* after, Role role, Visit&& visit) {
    if (!broadPhase.usable()) {
        for (const BodyList::Node* n = after ? after->next : firstListNode(list); n; n = n->next) {
            visit(n->value);
        }
        return;
    }
    broadPhase.walk(outer, role, after ? broadPhase.key(after->value) : -1, scratch, visit);
}

}  // namespace

// Whether the world-axis boxes around the two oriented boxes can meet. Every overlap
// test of a pair whose second body is not a plane, save capsule against capsule,
// starts with the oriented boxes' separating-axis test, so two boxes apart along a
// world axis by more than rounding can only be a miss: the pair is dropped here, at
// a few comparisons, instead of going through the whole test. NaN never drops.
bool CollisionManager::boundsMayTouch(HardBody* a, HardBody* b) {
    const auto capsuleLike = [](const HardBody* body) {
        return body->getType() == HB_CAPSULE || body->getType() == HB_CRACKER;
    };
    if (b->getType() == HB_BARRIER || a->getType() == HB_BARRIER || (capsuleLike(a) && capsuleLike(b))) {
        return true;
    }
    for (HardBody* body : {a, b}) {
        if (!body->isWorldModified()) {
            body->updateWorldState();
        }
    }
    const ZYLbox& A = a->bbox;
    const ZYLbox& B = b->bbox;
    for (unsigned k = 0; k < 3; ++k) {
        const double rA = std::fabs(A.axes(k, 0)) * A.halfExtents.x + std::fabs(A.axes(k, 1)) * A.halfExtents.y +
                          std::fabs(A.axes(k, 2)) * A.halfExtents.z;
        const double rB = std::fabs(B.axes(k, 0)) * B.halfExtents.x + std::fabs(B.axes(k, 1)) * B.halfExtents.y +
                          std::fabs(B.axes(k, 2)) * B.halfExtents.z;
        const double gap = std::fabs(B.centre[k] - A.centre[k]) - (rA + rB);
        const double scale = 1.0 + std::fabs(A.centre[k]) + std::fabs(B.centre[k]) + rA + rB;
        if (gap > 1e-6 * scale) {
            return false;
        }
    }
    return true;
}

int CollisionManager::testPair(HardBody* a, HardBody* b, CollisionPair* pair, int lane) {
    if (!a || !b || !pair) {
        return 0;
    }
    pair->resetForDetection(a, b);
    if (!boundsMayTouch(a, b)) {
        return 0;
    }
    return testBoundedPair(a, b, pair, lane);
}

// testPair past the world boxes' test, on a reset pair.
int CollisionManager::testBoundedPair(HardBody* a, HardBody* b, CollisionPair* pair, int lane) {
    if (overlapTest(a, b, pair, lane) == 0) {
        pair->state = 0;
        return 0;
    }
    if (generatePairContacts(a, b, pair, lane)) {
        buildManifold(pair);
    }
    return static_cast<int>(pair->state);
}

int CollisionManager::testAndRecordPair(HardBody* a, HardBody* b) {
    if (!a || !b || !boundsMayTouch(a, b)) {
        return 0;
    }
    CollisionPair* const record = takePairRecord(0);
    if (!record) {
        return 0;
    }
    record->resetForDetection(a, b);
    const int state = testBoundedPair(a, b, record, 0);
    if (state != 0) {
        const std::uint32_t listed = newPairs.count;
        newPairs.pushFront(record);
        if (newPairs.count != listed) {
            ++pairCount;
            return state;
        }
        // Without a list node the pair cannot be kept: it is skipped.
    }
    returnPairToLane(record, 0);
    return 0;
}

int CollisionManager::overlapTest(HardBody* a, HardBody* b, CollisionPair* pair, int lane) {
    FractureBody* const fractureA = asFractureBody(a);
    FractureBody* const fractureB = asFractureBody(b);
    if (!fractureA && !fractureB) {
        return overlapTestByKind(a, b, pair, lane) ? 1 : 0;
    }
    FractureBody* const owner = fractureA ? fractureA : fractureB;
    HardBody* const other = fractureA ? b : a;
    for (HardBody* body : {a, b}) {
        if (!body->isWorldModified()) {
            body->updateWorldState();
        }
    }
    if (b->getType() != HB_BARRIER) {
        QmtVector3 ca, cb;
        double ra = 0.0, rb = 0.0;
        a->getBSphere(ca, ra);
        b->getBSphere(cb, rb);
        const double reach = ra + rb;
        if (!((cb - ca).SquaredLength() - reach * reach < TOLERANCE) || !orientedBoxesOverlap(a->bbox, b->bbox)) {
            return 0;
        }
    } else {
        const auto* const plane = static_cast<const BarrierBody*>(b);
        QmtVector3 ca;
        double ra = 0.0;
        a->getBSphere(ca, ra);
        if (!(ra > plane->planeNormal.Dot(ca - plane->planePoint)) ||
            !orientedBoxCrossesPlane(a->bbox, plane->planePoint, plane->planeNormal)) {
            return 0;
        }
    }
    // The fragments answer for their fracture body: the first one that may touch.
    int result = 0;
    for (HardBody* fragment : owner->fragments) {
        if (result != 0) {
            break;
        }
        CollisionPair* const record = takePairRecord(lane);
        if (!record) {
            // No record on this lane: this fragment cannot be tested and counts as apart.
            continue;
        }
        record->bodyA = fractureA ? fragment : other;
        record->bodyB = fractureA ? other : fragment;
        record->state = 0;
        record->cacheDirection = QmtVector3::ZERO;
        record->cacheVertexA = ALL_BITS;
        record->cacheVertexB = ALL_BITS;
        record->treeLeafA = nullptr;
        record->treeLeafB = nullptr;
        result = overlapTest(record->bodyA, record->bodyB, record, lane);
        returnPairToLane(record, lane);
    }
    return result;
}

// The serial and the threaded detection start from the same ground and loose lists.
void CollisionManager::listGroundAndLooseBodies(const BodyList& bodies, const BodyList& staticBodies,
                                                const BodyList& reactivationBodies, const BodyList& barriers) {
    groundBodies.clear();
    for (HardBody* body : barriers) {
        toGround(groundBodies, body);
    }
    for (const BodyList* list : {&staticBodies, &reactivationBodies}) {
        for (HardBody* body : *list) {
            if (FractureBody* const fracture = asFractureBody(body)) {
                fracture->crackCount = 0;
                for (HardBody* fragment : fracture->fragments) {
                    toGround(groundBodies, fragment);
                }
            } else {
                toGround(groundBodies, body);
            }
        }
    }
    looseBodies.clear();
    looseFragments.clear();
    for (HardBody* body : bodies) {
        if (FractureBody* const fracture = asFractureBody(body)) {
            fracture->crackCount = 0;
            for (HardBody* fragment : fracture->fragments) {
                fragment->disableInContact();
                fragment->setContactStage(-1);
                looseFragments.pushFront(fragment);
            }
        } else {
            looseBodies.pushFront(body);
        }
        body->disableInContact();
        body->setContactStage(-1);
    }
}

void CollisionManager::recycleGroupsBeforeDetection() {
    if (contactGroupsEnabled) {
        if (usedGroups.count != 0) {
            for (ContactGroup* group : usedGroups) {
                freeGroups.pushFront(group);
            }
            usedGroups.clear();
            usedGroupCount = 0;
        }
        groupCounter = 0;
    }
}

void CollisionManager::recycleGroupsAfterDetection() {
    if (contactGroupsEnabled) {
        if (usedGroups.count != 0) {
            for (ContactGroup* group : usedGroups) {
                freeGroups.pushFront(group);
            }
            usedGroups.clear();
        }
        usedGroupCount = 0;
        lastLinkCount = 0;
    } else {
        usedGroups.clear();
        usedGroupCount = 0;
    }
}

void CollisionManager::trackDetectionBodies() {
    broadPhase.begin();
    trackList(broadPhase, groundBodies, BroadPhase::GROUND);
    trackList(broadPhase, looseBodies, BroadPhase::LOOSE);
    trackList(broadPhase, looseFragments, BroadPhase::FRAGMENT);
    broadPhase.commit();
    // A body's key finds its node, for the move to the frontier.
    for (int k = 0; k < 2; ++k) {
        looseNodes_[k].clear();
        for (BodyList::Node* n = firstListNode(k == 0 ? looseBodies : looseFragments); n; n = n->next) {
            looseNodes_[k].push_back(n);
        }
    }
}

// The loose bodies reached in a stage pass join the next frontier, each list walked in
// its order. Reached bodies are the only loose ones in contact, so without duplicates
// in the lists the walk need only visit them, sorted by their keys.
void CollisionManager::moveReachedToFrontier() {
    if (!broadPhase.usable()) {
        for (BodyList* loose : {&looseBodies, &looseFragments}) {
            for (BodyList::Node* n = firstListNode(*loose); n;) {
                BodyList::Node* const next = n->next;
                if (n->value->isInContact()) {
                    HardBody* const d = n->value;
                    unlinkListNode(*loose, n);
                    frontier.pushFront(d);
                }
                n = next;
            }
        }
        reached_.clear();
        return;
    }
    const auto byPlace = [this](const HardBody* a, const HardBody* b) {
        const bool fragmentA = broadPhase.role(a) == BroadPhase::FRAGMENT;
        const bool fragmentB = broadPhase.role(b) == BroadPhase::FRAGMENT;
        return fragmentA != fragmentB ? fragmentB : broadPhase.key(a) < broadPhase.key(b);
    };
    std::sort(reached_.begin(), reached_.end(), byPlace);
    for (HardBody* d : reached_) {
        const bool fragment = broadPhase.role(d) == BroadPhase::FRAGMENT;
        BodyList& loose = fragment ? looseFragments : looseBodies;
        unlinkListNode(loose, looseNodes_[fragment ? 1 : 0][static_cast<std::size_t>(broadPhase.key(d))]);
        frontier.pushFront(d);
    }
    reached_.clear();
}

bool CollisionManager::detectCollisions(const BodyList& bodies, const BodyList& staticBodies,
                                        const BodyList& reactivationBodies, const BodyList& barriers) {
    newPairs.clear();
    listGroundAndLooseBodies(bodies, staticBodies, reactivationBodies, barriers);
    recycleGroupsBeforeDetection();
    frontier.clear();
    groupPairs.clear();
    trackDetectionBodies();
    // Every walk below visits only the pairs whose world boxes may touch, in the order
    // of a walk over all pairs.
    const auto visit = [this](HardBody* outer, const BodyList& list, const BodyList::Node* after, Role role,
                              auto&& fn) { visitCandidates(broadPhase, candidates_, outer, list, after, role, fn); };

    int result = 0;
    // A pair just found sits at the head of newPairs: it is pushed out at once, or
    // handed to contact-group building when contact groups keep the contacts.
    const auto handOn = [this] {
        if (contactGroupsEnabled) {
            moveFirstToFront(newPairs, groupPairs);
        } else {
            extractPair(firstListNode(newPairs)->value);
        }
    };
    // A loose body touched from a reached one takes the next stage.
    const auto reach = [&](HardBody* d, HardBody* from) {
        const int t = testAndRecordPair(d, from);
        if (t == 0) {
            return false;
        }
        d->setContactStage(std::max(d->getContactStage(), from->getContactStage() + 1));
        if (!d->isInContact()) {
            reached_.push_back(d);
        }
        d->enableInContact();
        combine(result, t);
        return true;
    };

    // Seed: every loose body against the ground.
    bool fragmentReached = false;
    for (BodyList* loose : {&looseBodies, &looseFragments}) {
        for (BodyList::Node* n = firstListNode(*loose); n;) {
            BodyList::Node* const next = n->next;
            HardBody* const d = n->value;
            bool touched = false;
            visit(d, groundBodies, nullptr, BroadPhase::GROUND, [&](HardBody* g) {
                if (reach(d, g)) {
                    g->activate();
                    handOn();
                    touched = true;
                }
            });
            if (touched) {
                fragmentReached = fragmentReached || loose == &looseFragments;
                unlinkListNode(*loose, n);
                frontier.pushFront(d);
            }
            n = next;
        }
    }

    reached_.clear();  // the seeded bodies are in the frontier already

    // Ground bodies meet each other only when one of them moves and one can respond.
    for (BodyList::Node* n1 = firstListNode(groundBodies); n1; n1 = n1->next) {
        HardBody* const g1 = n1->value;
        const bool moved1 = g1->hasMoved();
        visit(g1, groundBodies, n1, BroadPhase::GROUND, [&](HardBody* g2) {
            const HardBody* const owner1 = g1->getParent();
            const HardBody* const owner2 = g2->getParent();
            if ((owner1 && (owner1 == owner2 || owner1->getParent() == g2)) || (owner2 && owner2->getParent() == g1)) {
                return;
            }
            if (!moved1 && !g2->hasMoved()) {
                return;
            }
            const bool responds = !g1->isActive() || !g2->isActive() || g2->isFirstHit(true) ||
                                  g1->isFirstHit(true) || owner1 || owner2;
            if (!responds) {
                return;
            }
            const bool firstHit1 = g1->isFirstHit(true);
            HardBody* const first = firstHit1 ? g1 : g2;
            HardBody* const second = firstHit1 ? g2 : g1;
            const int t = testAndRecordPair(first, second);
            if (t == 0) {
                return;
            }
            ++pairCount;
            const std::int32_t stage = std::max(g1->getContactStage(), g2->getContactStage());
            for (HardBody* g : {g1, g2}) {
                g->setContactStage(stage);
                g->enableInContact();
            }
            extractPair(firstListNode(newPairs)->value);
            combine(result, t);
        });
    }
    if (fragmentReached) {
        propagateToFragments(frontier, looseFragments);
    }

    // Stage passes: each frontier reaches the loose bodies it touches.
    std::uint32_t passes = 0;
    while (frontier.count != 0) {
        ++passes;
        if (contactGroupsEnabled) {
            prepareContactGroups();
            groupPairs.clear();
        }
        keyList(broadPhase, frontier, BroadPhase::FRONTIER);
        for (BodyList::Node* n1 = firstListNode(frontier); n1; n1 = n1->next) {
            HardBody* const f1 = n1->value;
            visit(f1, frontier, n1, BroadPhase::FRONTIER, [&](HardBody* f2) {
                if (sameOwner(f1, f2)) {
                    return;
                }
                const int t = testAndRecordPair(f1, f2);
                if (t != 0) {
                    extractPair(firstListNode(newPairs)->value);
                    combine(result, t);
                }
            });
        }
        fragmentReached = false;
        for (HardBody* f : frontier) {
            visit(f, looseBodies, nullptr, BroadPhase::LOOSE, [&](HardBody* d) {
                if (reach(d, f)) {
                    handOn();
                }
            });
        }
        for (HardBody* f : frontier) {
            visit(f, looseFragments, nullptr, BroadPhase::FRAGMENT, [&](HardBody* d) {
                if (reach(d, f)) {
                    handOn();
                    fragmentReached = true;
                }
            });
        }
        keyList(broadPhase, frontier, BroadPhase::NONE);
        frontier.clear();
        moveReachedToFrontier();
        if (fragmentReached) {
            propagateToFragments(frontier, looseFragments);
        }
    }

    // Bodies never reached from the ground: all against all, at the final stage.
    const std::int32_t last = static_cast<std::int32_t>(passes + 1);
    const auto leftOver = [&](HardBody* first, HardBody* second) {
        const int t = testAndRecordPair(first, second);
        if (t == 0) {
            return;
        }
        for (HardBody* body : {first, second}) {
            body->setContactStage(last);
            body->enableInContact();
        }
        combine(result, t);
    };
    for (BodyList::Node* n1 = firstListNode(looseBodies); n1; n1 = n1->next) {
        HardBody* const d1 = n1->value;
        visit(d1, looseBodies, n1, BroadPhase::LOOSE, [&](HardBody* d2) { leftOver(d1, d2); });
    }
    for (BodyList::Node* n1 = firstListNode(looseFragments); n1; n1 = n1->next) {
        HardBody* const f1 = n1->value;
        visit(f1, looseFragments, n1, BroadPhase::FRAGMENT, [&](HardBody* f2) {
            if (!sameOwner(f1, f2)) {
                leftOver(f1, f2);
            }
        });
    }
    for (HardBody* d : looseBodies) {
        visit(d, looseFragments, nullptr, BroadPhase::FRAGMENT, [&](HardBody* f) { leftOver(d, f); });
    }
    broadPhase.end();
    // The left-over pairs are the newest: handed on like the staged ones, though with
    // equal stages their extraction moves nothing.
    groupPairs.clear();
    for (PairList::Node* n = firstListNode(newPairs); n;) {
        PairList::Node* const next = n->next;
        CollisionPair* const pair = n->value;
        if (pair->bodyA->getContactStage() < last || pair->bodyB->getContactStage() < last) {
            break;
        }
        if (contactGroupsEnabled) {
            pair->groupNumber = groupCounter++;
            unlinkListNode(newPairs, n);
            groupPairs.pushFront(pair);
        } else {
            extractPair(pair);
        }
        n = next;
    }
    if (groupPairs.count != 0) {
        std::uint32_t counter = static_cast<std::uint32_t>(last);
        orderPairsByStage(groupPairs, newPairs, counter);
    }
    activePairs.clear();
    for (CollisionPair* pair : newPairs) {
        activePairs.pushFront(pair);
    }
    newPairs.clear();
    recycleGroupsAfterDetection();
    return result != 0;
}

int CollisionManager::detectPairs(const BodyList& crackers, const BodyList& bodies, const BodyList& staticBodies) {
    if (crackers.count == 0) {
        return 0;
    }
    crackerPairs.clear();
    looseBodies.clear();
    looseFragments.clear();
    // Crackers strike fragments, not their fracture bodies; of the static bodies only
    // fracture bodies can be struck.
    for (HardBody* body : bodies) {
        if (FractureBody* const fracture = asFractureBody(body)) {
            for (HardBody* fragment : fracture->fragments) {
                looseBodies.pushFront(fragment);
            }
        } else {
            looseBodies.pushFront(body);
        }
    }
    for (HardBody* body : staticBodies) {
        if (FractureBody* const fracture = asFractureBody(body)) {
            for (HardBody* fragment : fracture->fragments) {
                looseBodies.pushFront(fragment);
            }
        }
    }
    bool hit = false;
    for (HardBody* cracker : crackers) {
        for (HardBody* body : looseBodies) {
            CollisionPair* const record = takePairRecord(0);
            if (!record) {
                break;
            }
            record->resetForDetection(body, cracker);
            if (overlapTest(body, cracker, record, 0) == 0 || !generatePairContacts(body, cracker, record, 0)) {
                returnPairToLane(record, 0);
                continue;
            }
            buildManifold(record);
            crackerPairs.pushFront(record);
            hit = true;
        }
    }
    return hit ? 1 : 0;
}

namespace {

// Fracture impacts of the fragment pairs, most energetic first; a moved static partner
// (a kinematic body driving into the fracture body) comes before everything.
void resolveFragmentImpacts(CollisionManager& m) {
    m.groupPairs.clear();
    for (CollisionPair* pair : m.fragmentPairs) {
        pair->sortKey = pair->bodyA->computeEnergy();
        if (!pair->bodyB->isStatic()) {
            pair->sortKey += pair->bodyB->computeEnergy();
        } else if (pair->bodyB->hasMoved()) {
            pair->sortKey = LARGEST_FLOAT;
        }
        PairList::Node* position = m.groupPairs.head;
        for (PairList::Node* n = firstListNode(m.groupPairs); n && n->value->sortKey >= pair->sortKey; n = n->next) {
            position = n;
        }
        m.groupPairs.insertAfter(pair, position);
    }
    for (CollisionPair* pair : m.groupPairs) {
        m.resolveFractureImpacts(pair, 0, false);
    }
}

// The fragment pairs moved over to the bodies that now carry their fragments, merged
// per body pair and appended to the active pairs. Runs after the splits of the pass,
// so a fragment struck loose, or carried off in a child, takes its contact's impulse
// with it instead of leaving it to the compound it has just left.
void moveFragmentPairsToOwners(CollisionManager& m) {
    for (CollisionPair* pair : m.fragmentPairs) {
        m.dropInternalFaceContacts(pair);
        HardBody* const fragmentA = pair->bodyA;
        HardBody* const fragmentB = pair->bodyB;
        if (fragmentA->getParent()) {
            pair->bodyA = fragmentA->getParent();
        }
        if (fragmentB->getParent()) {
            pair->bodyB = fragmentB->getParent();
        }
        const RBDynamics& df = fragmentA->getDyn();
        const RBDynamics& da = pair->bodyA->getDyn();
        const RBDynamics& db = pair->bodyB->getDyn();
        for (std::uint32_t i = 0; i < pair->contactCount; ++i) {
            const QmtVector3 w = df.rotation * pair->points[i] + df.position;
            pair->points[i] = (w - da.position) * da.rotation;
            pair->pointsB[i] = (w - db.position) * db.rotation;
            pair->armsA[i] = w - da.position;
            pair->armsB[i] = w - db.position;
        }
    }
    // One pair per two bodies: the later pairs' contacts join the first.
    m.groupPairs.clear();
    for (PairList::Node* p = firstListNode(m.fragmentPairs); p; p = p->next) {
        CollisionPair* const pair = p->value;
        m.groupPairs.pushFront(pair);
        for (PairList::Node* q = p->next; q;) {
            PairList::Node* const next = q->next;
            CollisionPair* const other = q->value;
            const bool same = other->bodyA == pair->bodyA && other->bodyB == pair->bodyB;
            const bool swapped = other->bodyA == pair->bodyB && other->bodyB == pair->bodyA;
            if (same || swapped) {
                m.mergePairContacts(pair, other, same ? 1.0f : -1.0f);
                unlinkListNode(m.fragmentPairs, q);
                // The merged record is finished with: back to the pool, not lost.
                other->groupLinks.clear();
                other->groupLinkCount = 0;
                m.returnPairToLane(other, 0);
            }
            q = next;
        }
    }
    // The surviving pairs follow the other active pairs, in this order.
    m.activePairs.reverse();
    for (CollisionPair* pair : m.groupPairs) {
        m.mergeCoincidentContacts(pair);
        m.resolveOpposingNormals(pair);
        m.activePairs.pushFront(pair);
    }
    m.activePairs.reverse();
    m.groupPairs.clear();
}

}  // namespace

void CollisionManager::resolveCollisions(int mode, const QmtVector3& gravityDirection, const BodyList& bodies,
                                         const BodyList& staticBodies, std::uint32_t& flags) {
    bool impacted = false;
    for (CollisionPair* pair : crackerPairs) {
        if (pair->bodyA && pair->bodyA->getParent()) {
            resolveFractureImpacts(pair, 0, true);
            impacted = true;
        }
    }
    fragmentPairs.clear();
    if (pairCount != 0) {
        for (PairList::Node* n = firstListNode(activePairs); n;) {
            PairList::Node* const next = n->next;
            CollisionPair* const pair = n->value;
            if (pair->bodyA->getParent() || pair->bodyB->getParent()) {
                unlinkListNode(activePairs, n);
                fragmentPairs.pushFront(pair);
            }
            n = next;
        }
        if (fragmentPairs.count != 0) {
            resolveFragmentImpacts(*this);
            impacted = true;
        }
    }
    if (impacted) {
        for (const BodyList* list : {&bodies, &staticBodies}) {
            for (HardBody* body : *list) {
                FractureBody* const fracture = asFractureBody(body);
                if (!fracture || !fracture->isSplitReady()) {
                    continue;
                }
                fracture->removeDeactivatedJointsFromActiveList();
                fracture->split();
                if (fracture->isStatic() && fracture->isSplitted()) {
                    flags |= 64;
                }
            }
        }
    }
    if (fragmentPairs.count != 0) {
        moveFragmentPairsToOwners(*this);
    }
    resolveActivePairs(bodies, mode, gravityDirection, flags);
    resolveCrackerPairs();
}

void CollisionManager::resolveActivePairs(const BodyList& bodies, int mode, const QmtVector3& gravityDirection,
                                          std::uint32_t& flags) {
    if (activePairs.count == 0) {
        return;
    }
    for (CollisionPair* pair : activePairs) {
        if (mode == 2) {
            pair->groupLinks.clear();
            pair->groupLinkCount = 0;
        } else if (mode == 1) {
            refreshPairGroups(pair, gravityDirection);
        }
    }
    // Without workers the pairs are resolved on the calling thread, in list order.
    if (threadCount == 1 || getCollisionWorkerCount() == 0) {
        for (CollisionPair* pair : activePairs) {
            flags |= resolvePair(pair, mode, 0);
        }
        return;
    }
    activePairs.reverse();
    resolveActivePairsThreaded(activePairs, bodies, mode);
}

void CollisionManager::resolveCrackerPairs() {
    for (CollisionPair* pair : crackerPairs) {
        pair->groupLinks.clear();
        pair->groupLinkCount = 0;
        if (!pair->bodyA->getParent()) {
            // The cracker pushes a whole body.
            resolvePair(pair, 1, 0);
        } else {
            // A struck fragment was handled by the fracture impacts.
            pair->state = 0;
        }
    }
}
