// Fracture impacts: a contact on a fragment of a fracture body hands its impulse to the
// lane copies of the two bodies and starts crack propagation from each struck fragment
// that may crack.

#include <cfloat>

#include "engine/bodies/privateHardBody.h"
#include "engine/collision/collisionManager.h"
#include "engine/collision/fractureImpact.h"
#include "engine/fracture/dynamicStress.h"
#include "engine/fracture/fractureBody.h"
#include "engine/fracture/fractureWorldFiling.h"

using Qmt::QmtVector3;

namespace {

constexpr double SEPARATING_SPEED = 1e-5;
constexpr double IMPACT_THRESHOLD = 100.0;
// A forced impact is made large enough that every struck joint breaks.
constexpr double FORCED_SCALE = FLT_MAX;

// The owning fracture body of a fragment; null for any other body.
FractureBody* ownerOf(const HardBody* body) {
    return body ? asFractureBody(body->getParent()) : nullptr;
}

// Pairs hold plain bodies and fragments, never compounds.
PrivateHardBody* asPlain(HardBody* body) {
    return body && body->getType() != HB_FRACTURE ? static_cast<PrivateHardBody*>(body) : nullptr;
}

// k's share of one body: n . ((Iinv (r x n)) x r).
double angularTerm(const RBDynamics& d, const QmtVector3& r, const QmtVector3& n) {
    return n.Dot((d.invInertiaWorld * r.Cross(n)).Cross(r));
}

}  // namespace

void CollisionManager::resolveFractureImpacts(CollisionPair* pair, int lane, bool force) {
    if (!pair || pair->contactCount == 0) {
        return;
    }
    PrivateHardBody* const A = asPlain(pair->bodyA);
    PrivateHardBody* const B = asPlain(pair->bodyB);
    if (!A || !B) {
        return;
    }
    FractureImpact impact;
    FractureBody* const ownerA = ownerOf(A);
    FractureBody* const ownerB = ownerOf(B);
    if (ownerA) {
        impact.sides[0] = {ownerA, A, false};
        if (ownerB) {
            impact.sides[1] = {ownerB, B, false};
        }
    } else if (ownerB) {
        impact.sides[0] = {ownerB, B, false};
    } else {
        return;
    }
    for (FractureImpact::Side& side : impact.sides) {
        side.cracks = side.owner && !side.fragment->isStatic() && side.owner->isBreakable();
    }
    if (!impact.sides[0].cracks && !impact.sides[1].cracks) {
        return;
    }
    const QmtVector3 P = A->dyn.rotation * pair->points[0] + A->dyn.position;
    A->laneDyn[lane] = A->dyn;
    B->laneDyn[lane] = B->dyn;

    FractureBody* const owner = impact.sides[0].owner;
    HardBody* const other = impact.sides[0].fragment == A ? static_cast<HardBody*>(B) : A;
    if (owner->isStatic()) {
        force = force || other->isStatic();
    }
    const double threshold = owner->getGlobalStressThreshold() < 1.0
                                 ? owner->getGlobalStressThreshold() * IMPACT_THRESHOLD
                                 : IMPACT_THRESHOLD;
    if (!(pair->sortKey > threshold) && !force) {
        return;
    }
    if (other->isStatic() && !other->hasMoved() && owner->isSecImpacts() && owner->checkSecImpactsCond()) {
        owner->applySecondaryCracks();
        force = true;
    }
    if (applyImpactImpulseThread(A, B, P, pair->normals[0], 1.0, lane, force)) {
        propagateImpactCracks(impact, force, lane);
    }
}

bool CollisionManager::applyImpactImpulseThread(HardBody* a, HardBody* b, const QmtVector3& point,
                                                const QmtVector3& normal, double restitution, int lane,
                                                bool force) {
    PrivateHardBody* const A = asPlain(a);
    PrivateHardBody* const B = asPlain(b);
    if (!A || !B) {
        return false;
    }
    const RBDynamics& da = A->dyn;
    const RBDynamics& db = B->dyn;
    const QmtVector3 rA = point - da.position;
    const QmtVector3 rB = point - db.position;
    QmtVector3 rel = da.v + da.w.Cross(rA);
    if (B->hasMoved()) {
        rel -= db.v + db.w.Cross(rB);
    }
    const double vn = rel.Dot(normal);
    if (vn > SEPARATING_SPEED) {
        return false;
    }
    double k = da.invMass + angularTerm(da, rA, normal);
    const bool bMoves = !B->isStatic();
    if (bMoves) {
        k += db.invMass + angularTerm(db, rB, normal);
    }
    const double j = (restitution + 1.0) * vn / k;
    QmtVector3 J = normal * -j;
    if (force) {
        J *= FORCED_SCALE;
    }
    applyImpulseThread(A, J, point, lane);
    if (bMoves) {
        applyImpulseThread(B, -J, point, lane);
    }
    return true;
}

void CollisionManager::propagateImpactCracks(const FractureImpact& impact, bool force, int lane) {
    for (const FractureImpact::Side& side : impact.sides) {
        if (!side.cracks) {
            continue;
        }
        // The struck fragment's lane copy already carries the contact impulse; the
        // crack start would overwrite it with the current state.
        const RBDynamics struck = side.fragment->laneDyn[lane];
        side.owner->beginCrackThread(lane);
        side.fragment->laneDyn[lane] = struck;
        side.owner->propagateStressThread(side.fragment, force, lane, FORCED_SCALE);
    }
}
