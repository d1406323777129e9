// The fixed-substep step, collision management and the passes they run over the lists.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <new>

#include "engine/fracture/fractureWorldFiling.h"
#include "engine/world/privateWorld.h"
#include "geometry/mesh/debugLog.h"

using Qmt::QmtVector3;

namespace {

// dt / SUBSTEP truncated toward zero as a 32-bit integer; a value out of that range
// (NaN included) gives INT32_MIN, as the processor's conversion does, so the
// substep loop then runs no substep.
std::int32_t truncateToInt32(double r) {
    if (r > -2147483649.0 && r < 2147483648.0) {
        return static_cast<std::int32_t>(r);
    }
    return INT32_MIN;
}

// Bodies that a pass over one body may not write alone: a fracture body moves its
// fragments along, and a fragment moves with its fracture body.
bool carriesOthers(const HardBody* body) { return body->getType() == HB_FRACTURE || body->getParent(); }

QmtVector3 gravityDirection(const QmtVector3& gravity) {
    QmtVector3 g = gravity;
    g.Unitize(PrivateWorld::GRAVITY_TOLERANCE);
    return g;
}

}  // namespace

bool PrivateWorld::step(double dt, std::uint64_t* out) {
    currentDt = SUBSTEP;
    double r = dt / SUBSTEP;
    std::int32_t n = truncateToInt32(r);
    if (n == 0) {
        // Shorter than one substep: a single substep of dt.
        r = 1.0;
        currentDt = dt;
        n = 1;
    }
    syncFirstHitBodies();
    storeDynStates();
    const QmtVector3 g = gravityDirection(gravity);
    for (std::int64_t i = 0; i <= n; ++i) {
        if (i == n) {
            if (r == static_cast<double>(n)) {
                break;
            }
            currentDt = (r - n) * SUBSTEP;
        }
        integrateVelocitiesPass(currentDt);
        if (collisionManager) {
            std::uint32_t flags = 0;
            collisionManager->resolveActivePairs(aBodies.nodes(), RESOLVE_IN_SUBSTEP, g, flags);
        }
        updateBodyActivity(currentDt);
    }
    if (out) {
        *out = 0;
    }
    return true;
}

bool PrivateWorld::advance(double dt, std::uint64_t* out) { return step(dt, out); }

// Each body on its own: shared out over the collision lanes unless a body of the list
// moves others along.
template <class Work>
void PrivateWorld::forEachBodyAlone(const BodyList& list, Work&& work) {
    if (!collisionManager || collisionManager->threadCount <= 1) {
        for (HardBody* body : list) {
            work(body);
        }
        return;
    }
    passBodies_.assign(list.begin(), list.end());
    const bool alone = std::none_of(passBodies_.begin(), passBodies_.end(), carriesOthers);
    if (alone) {
        collisionManager->forEachBodyOnLanes(passBodies_, work);
    } else {
        for (HardBody* body : passBodies_) {
            work(body);
        }
    }
    passBodies_.clear();
}

void PrivateWorld::integrateVelocitiesPass(double dt) {
    const bool damping = isAirDampingActive();
    const bool withGravity = isGravityActive();
    const QmtVector3 g = gravity;
    forEachBodyAlone(aBodies.nodes(), [=](HardBody* body) {
        if (!body->isActive()) {
            return;
        }
        body->clearDynForces();
        body->clearDynTorques();
        if (withGravity) {
            body->addDynForces(g * (1.0 / body->getInvMass()));
        }
        body->integrateVelocities(dt, damping);
    });
}

void PrivateWorld::storeDynStates() {
    // List by list: a body in two lists is stored twice in this order.
    for (const WorldBodyList* list : {&aBodies, &adeActivatedBodies, &aStaticBodies}) {
        forEachBodyAlone(list->nodes(), [](HardBody* body) { body->storeDynState(); });
    }
}

void PrivateWorld::syncFirstHitBodies() {
    // Collected first: each switch moves the body to the other list.
    scratch_.clear();
    for (HardBody* body : aStaticBodies) {
        if (body->isFirstHit(false) && !body->isStatic()) {
            scratch_.push_back(body);
        }
    }
    for (HardBody* body : scratch_) {
        switchStaticDynamic(body, true);
    }
    scratch_.clear();
    for (HardBody* body : aBodies) {
        if (body->isFirstHit(false) && body->isStatic()) {
            scratch_.push_back(body);
        }
    }
    for (HardBody* body : scratch_) {
        switchStaticDynamic(body, false);
    }
    scratch_.clear();
}

void PrivateWorld::updateBodyActivity(double dt) {
    for (BodyList::Node* n = aReactivationBodies.head ? aReactivationBodies.head->next : nullptr; n;) {
        BodyList::Node* const next = n->next;
        HardBody* const body = n->value;
        if (body->isActive()) {
            debugLog(stdout, "reactivated %s\n", body->transform.name);
            aReactivationBodies.unlink(n);
            adeActivatedBodies.remove(body);
            aBodies.pushFront(body);
        }
        n = next;
    }
    activeBodyCount = 0;
    // The sleepers leave first; a body's position step touches no list and no other
    // body, so the active ones are then stepped on their own.
    for (BodyList::Node* n = aBodies.head ? aBodies.head->next : nullptr; n;) {
        BodyList::Node* const next = n->next;
        HardBody* const body = n->value;
        if (body->isActive()) {
            ++activeBodyCount;
        } else {
            debugLog(stdout, "deactivated %s\n", body->transform.name);
            aBodies.unlink(n);
            aReactivationBodies.pushFront(body);
            adeActivatedBodies.pushFront(body);
        }
        n = next;
    }
    forEachBodyAlone(aBodies.nodes(), [dt](HardBody* body) { body->integratePositions(dt); });
    activeBodyCount += static_cast<std::uint32_t>(nStaticBodies);
}

void PrivateWorld::resetContactStates() {
    const auto releaseState = [](HardBody* body) {
        if (body->getCollisionState() != MOTION_HELD) {
            body->setCollisionState(MOTION_FREE);
        }
    };
    for (HardBody* body : aStaticBodies) {
        if (body->isFirstHit(false) && !body->isStatic()) {
            body->setContactStage(0);
            body->enableStatic();
            body->disableWorldUpdate();
        }
        body->disableInContact();
        releaseState(body);
    }
    for (const WorldBodyList* list : {&aBodies, &aCrackers, &aBarriers}) {
        forEachBodyAlone(list->nodes(), [&](HardBody* body) {
            body->disableInContact();
            body->setContactStage(0);
            body->disableWorldUpdate();
            releaseState(body);
        });
    }
    for (HardBody* body : adeActivatedBodies) {
        body->disableInContact();
        body->setContactStage(0);
        const QmtVector3 position = body->getDyn().position;
        body->setPosition(position);
        releaseState(body);
    }
    if (collisionManager) {
        collisionManager->releasePairs();
    }
}

bool PrivateWorld::manageCollisions(double dt) {
    if (isDetectModeActive()) {
        for (HardBody* body : aBodies) {
            body->disableWorldUpdate();
        }
        for (HardBody* body : aStaticBodies) {
            body->disableWorldUpdate();
        }
        currentDt = dt;
        resetContactStates();
        return collisionManager &&
               collisionManager->detectCollisions(aBodies.nodes(), aStaticBodies.nodes(),
                                                  aReactivationBodies.nodes(), aBarriers.nodes());
    }
    currentDt = dt;
    resetContactStates();
    disableBodyChangeState();
    if (!collisionManager) {
        return true;
    }
    // A resting body gains g dt between two managements and sinks by g dt^2: twice
    // that still counts as resting.
    const double fall = isGravityActive() ? gravity.Length() * std::fabs(dt) : 0.0;
    collisionManager->restingApproach = 2.0 * fall;
    collisionManager->restingDepth = 2.0 * fall * std::fabs(dt);
    try {
        CollisionManager& manager = *collisionManager;
        const int s = manager.detectPairs(aCrackers.nodes(), aBodies.nodes(), aStaticBodies.nodes());
        const int t = manager.detectCollisionsThreaded(aBodies.nodes(), aStaticBodies.nodes(),
                                                       aReactivationBodies.nodes(), aBarriers.nodes())
                          ? 1
                          : 0;
        const int status = t != 0 ? t : s;
        if (status == 1) {
            if (isRepportCollisionsActive()) {
                manager.updateCollisionReport();
            }
            const QmtVector3 g = gravityDirection(gravity);
            std::uint32_t flags = 0;
            manager.resolveCollisions(RESOLVE_AFTER_DETECTION, g, aBodies.nodes(), aStaticBodies.nodes(), flags);
            if (isBodyDeactivationEnabled()) {
                manager.settleRestingBodies();
            }
            if (flags & WORLD_BODY_CHANGE_STATE) {
                enableBodyChangeState();
            }
            postCollisionUpdate();
        }
    } catch (const std::bad_alloc&) {
        clear();
        return false;
    }
    return true;
}

namespace {

// Retires the split fracture bodies of one list to the front of adeActivatedBodies,
// each after its parts were re-filed; returns how many left the list.
int retireSplitFractureBodies(PrivateWorld& world, WorldBodyList& list) {
    int retired = 0;
    BodyList::Node* node = list.head ? list.head->next : nullptr;
    while (node) {
        HardBody* const body = node->value;
        if (!isSplitFractureBody(body)) {
            node = node->next;
            continue;
        }
        world.reinsertBodyTree(body);
        // Whatever the re-filing put before it is walked as well: go on from the
        // node before the unlinked one.
        BodyList::Node* const before = node->previous;
        list.unlink(node);
        body->deActivate();
        world.adeActivatedBodies.pushFront(body);
        ++retired;
        node = before->next;
    }
    return retired;
}

}  // namespace

void PrivateWorld::postCollisionUpdate() {
    nDynamicBodies -= retireSplitFractureBodies(*this, aBodies);
    nStaticBodies -= retireSplitFractureBodies(*this, aStaticBodies);
}

bool PrivateWorld::reinsertBodyTree(HardBody* body) {
    if (!body) {
        return false;
    }
    // A fracture body re-files its disconnected parts and child bodies instead.
    if (FractureBody* const compound = asFractureBody(body)) {
        reinsertFractureBodyTree(*this, *compound);
    } else {
        reinsertBody(body);
    }
    return true;
}

bool PrivateWorld::reset() {
    if (collisionManager) {
        collisionManager->notifyConvexSolver(RESET_NOTICE);
    }
    deleteAllBodies();
    timeScale = 1.0;
    clear();
    return true;
}

namespace {

// Refills an emptied list with the bodies in index order. Inserting them one by one
// after the last body of no greater index gives a stable sort by index, so a stable
// sort and ordered insertions, each at the tail, give the same list in O(n log n).
void refileByIndex(WorldBodyList& list, std::vector<HardBody*>& bodies) {
    std::stable_sort(bodies.begin(), bodies.end(), [](const HardBody* a, const HardBody* b) {
        return a->transform.index < b->transform.index;
    });
    for (HardBody* body : bodies) {
        list.insertByIndex(body);
    }
}

}  // namespace

void PrivateWorld::clear() {
    if (collisionManager) {
        collisionManager->clear();
    }
    // Split fracture bodies were retired for good: they leave the sleeping list.
    for (BodyList::Node* node = adeActivatedBodies.head ? adeActivatedBodies.head->next : nullptr; node;) {
        BodyList::Node* const next = node->next;
        if (isSplitFractureBody(node->value)) {
            adeActivatedBodies.unlink(node);
        }
        node = next;
    }

    // Every sleeper wakes at the front of aBodies.
    for (HardBody* body : aReactivationBodies) {
        body->activate();
        aBodies.pushFront(body);
        adeActivatedBodies.remove(body);
    }
    aReactivationBodies.clear();

    // Bodies waiting for their first hit start static again.
    scratch_.clear();
    for (HardBody* body : aBodies) {
        if (body->isFirstHit(false)) {
            aStaticBodies.pushFront(body);
        } else {
            scratch_.push_back(body);
        }
    }
    aBodies.clear();
    nDynamicBodies = static_cast<std::int32_t>(scratch_.size());
    refileByIndex(aBodies, scratch_);

    scratch_.assign(aStaticBodies.begin(), aStaticBodies.end());
    aStaticBodies.clear();
    nStaticBodies = static_cast<std::int32_t>(scratch_.size());
    refileByIndex(aStaticBodies, scratch_);
    scratch_.clear();

    nBodies = nStaticBodies + nDynamicBodies;
    lastStepTime = 0.0;
}
