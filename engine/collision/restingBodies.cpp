// Resting bodies: the rest test, the settling of resting bodies over the active pairs,
// the bottom-up ordering of a contact graph, and the alignment of cracker pairs.

#include <algorithm>
#include <cmath>

#include "engine/collision/collisionManager.h"
#include "engine/collision/pairListMoves.h"

using Qmt::QmtVector3;

namespace {

constexpr double TOLERANCE = 1e-5;
constexpr double UNIT_TOLERANCE = 9.999999974752427e-7;
constexpr std::int32_t SLEEP_PASSES = 5;
constexpr std::uint32_t SETTLING_CONTACTS = 3;
constexpr float WAKE_LIMIT = 1.0f;
constexpr float PARTNER_LIMIT = 10.0f;

void putToSleep(HardBody* body) {
    body->setAngularVelocity(QmtVector3::ZERO);
    body->setLinearVelocity(QmtVector3::ZERO);
    body->deActivate();
}

}  // namespace

bool CollisionManager::testBodyAtRest(HardBody* body, float limit) {
    const double bound = limit;
    const RBDynamics& now = body->getDyn();
    const RBDynamics& last = body->getLastDyn();
    const double speed = now.v.SquaredLength();
    const double spin = now.w.SquaredLength();
    // A body whose speed changes is not resting, but it has not shown motion either:
    // its count stays. That holds for a body slowing down too: one sliding to a stop
    // slows all the way.
    if (std::fabs(speed - last.v.SquaredLength()) >= TOLERANCE ||
        std::fabs(spin - last.w.SquaredLength()) >= TOLERANCE) {
        return false;
    }
    if (speed < bound && spin < bound) {
        return body->countSleeping() >= SLEEP_PASSES;
    }
    body->resetCountSleeping();
    return false;
}

void CollisionManager::settleRestingBodies() {
    for (CollisionPair* pair : activePairs) {
        if (pair->contactCount < SETTLING_CONTACTS) {
            continue;
        }
        HardBody* const a = pair->bodyA;
        HardBody* const b = pair->bodyB;
        if (b->isStatic()) {
            if (a->isActive() && testBodyAtRest(a, WAKE_LIMIT)) {
                putToSleep(a);
            }
        } else if (b->isActive()) {
            if (a->isActive()) {
                continue;
            }
            // A sleeper under a moving body wakes; a resting one lets the body on it sleep.
            if (!testBodyAtRest(a, WAKE_LIMIT)) {
                a->activate();
            } else if (testBodyAtRest(b, PARTNER_LIMIT)) {
                putToSleep(b);
            }
        } else {
            if (!a->isActive()) {
                continue;
            }
            if (!testBodyAtRest(b, WAKE_LIMIT)) {
                b->activate();
            } else if (testBodyAtRest(a, PARTNER_LIMIT)) {
                putToSleep(a);
            }
        }
    }
}

void CollisionManager::orderPairsByStage(PairList& input, PairList& output, std::uint32_t& counter) {
    for (CollisionPair* pair : input) {
        for (HardBody* body : {pair->bodyA, pair->bodyB}) {
            body->setContactStage(-1);
            body->disableInContact();
        }
    }
    while (input.count != 0 && firstListNode(input)) {
        // Root of the next stack: the most energetic body (the ground reports the
        // largest energy); near ties go to the lower body.
        HardBody* root = nullptr;
        double best = 0.0;
        for (CollisionPair* pair : input) {
            for (HardBody* body : {pair->bodyA, pair->bodyB}) {
                const double energy = body->computeEnergy();
                if (!root) {
                    root = body;
                    best = energy;
                } else if (std::fabs(energy - best) <= TOLERANCE) {
                    if (body->getDyn().position.y < root->getDyn().position.y) {
                        root = body;
                        best = energy;
                    }
                } else if (energy > best) {
                    root = body;
                    best = energy;
                }
            }
        }
        root->enableInContact();
        root->setContactStage(static_cast<std::int32_t>(counter));
        for (;;) {
            PairList::Node* n = firstListNode(input);
            while (n && !n->value->bodyA->isInContact() && !n->value->bodyB->isInContact()) {
                n = n->next;
            }
            if (!n) {
                break;
            }
            CollisionPair* const pair = n->value;
            HardBody* const a = pair->bodyA;
            HardBody* const b = pair->bodyB;
            if (a->isInContact() != b->isInContact()) {
                HardBody* const reached = a->isInContact() ? a : b;
                HardBody* const other = a->isInContact() ? b : a;
                other->setContactStage(std::max(other->getContactStage(), reached->getContactStage() + 1));
            }
            unlinkListNode(input, n);
            output.pushFront(pair);
            if (PairList::Node* const first = firstListNode(output)) {
                first->value->bodyA->enableInContact();
                first->value->bodyB->enableInContact();
            }
            ++counter;
        }
    }
}

bool CollisionManager::alignListedBodies() {
    for (CollisionPair* pair : crackerPairs) {
        HardBody* const a = pair->bodyA;
        HardBody* const b = pair->bodyB;
        if (!a || !b) {
            continue;
        }
        QmtVector3 z{0.0, 0.0, 1.0};
        if (a->getDyn().rotation.GetColumn(2).Dot(z) <= static_cast<double>(0.98f)) {
            continue;
        }
        const QmtVector3 c = b->transform.worldCentre;
        const double r = b->transform.radius;
        const QmtVector3 x = a->getDyn().position;
        double d = (x - c).Dot(z);
        if (d < 0.0) {
            z = -z;
            d = -d;
        }
        // Beyond the sphere's reach the chord has no real length: nothing to align to.
        const double chord = r * r - d * d;
        if (chord < 0.0) {
            continue;
        }
        const QmtVector3 p = c + z * d;
        QmtVector3 u = x - p;
        u.Unitize(UNIT_TOLERANCE);
        const QmtVector3 q = p + u * (2.0 * std::sqrt(chord));
        QmtVector3 t = (c + z * r) - q;
        t.Unitize(UNIT_TOLERANCE);
        const QmtVector3 k = u.Cross(t);
        const double s = k.Length();
        const double angle = std::asin(std::min(s, 1.0));
        if (angle > TOLERANCE) {
            // rotate divides by the inertia, so the turn is handed over multiplied by it.
            const QmtVector3 turn = (k / s) * -angle;
            a->rotate(a->getDyn().inertiaWorld * turn);
        }
        const double length = (x - q).Length();
        a->translate((q + t * length) - x);
    }
    return true;
}
