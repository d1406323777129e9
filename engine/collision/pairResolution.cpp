// Pair resolution: whether a pair still needs work, the contact state, and the impulses
// of a pair's contacts solved as one small least-squares system; and the impulse
// between a point mass and a body.

#include <algorithm>
#include <cmath>

#include "engine/collision/collisionManager.h"
#include "engine/collision/contactBlocks.h"
#include "engine/collision/impulseWork.h"
#include "engine/fracture/fractureBody.h"
#include "engine/solver/lsqSystem.h"
#include "geometry/mesh/debugLog.h"

using Qmt::QmtMatrix3;
using Qmt::QmtVector3;

namespace {

constexpr double TOLERANCE = 1e-5;
constexpr double UNIT_TOLERANCE = 9.999999974752427e-7;
constexpr double STILL_SPEED = 1e-10;          // squared relative speeds below it count as rest
constexpr double STATIC_IMPACT_SPEED = -2e-5;  // approach against a static body that counts as creeping
constexpr double MIN_FRICTION_SCALE = 0.01;
constexpr int NORMAL_STAGE_PASSES = 2;
constexpr std::uint32_t RESULT_BODY_CHANGED = 64;
// A load this many times heavier than the body it rests on is held up by that body.
constexpr double HELD_LOAD_RATIO = 10.0;

QmtVector3 blockOf(const dvec* v, std::uint32_t i) {
    return {v->elements[3 * i], v->elements[3 * i + 1], v->elements[3 * i + 2]};
}

// n_i . (K_ij v) for the 3 x 3 block (i, j) of K.
double projectBlock(const MatrixView& k, std::uint32_t i, std::uint32_t j, const QmtVector3& n,
                    const QmtVector3& v) {
    double out = 0.0;
    for (int r = 0; r < 3; ++r) {
        double row = 0.0;
        for (int c = 0; c < 3; ++c) {
            row += k.at(static_cast<int>(3 * i) + r, static_cast<int>(3 * j) + c) * v[c];
        }
        out += n[r] * row;
    }
    return out;
}

void applyPairImpulse(HardBody* a, HardBody* b, const QmtVector3& impulse, const QmtVector3& point,
                      const HardBody* held = nullptr) {
    if (a != held) {
        a->applyImpulse(impulse, point);
    }
    if (!b->isStatic() && b != held) {
        b->applyImpulse(-impulse, point);
    }
}

// The body a heavy load rests on, when the pair's impulses should leave it alone: a
// pair solved by itself shares the load's velocity with the light body, which its own
// support can only take back a substep later, so the load keeps most of its approach
// substep after substep and sinks through. The light body is held when it lies below
// the load in the contact stages, the load outweighs it HELD_LOAD_RATIO-fold, it does
// not move towards the load and the contacts press more than they slide; the load then
// only loses approach speed, so no energy is gained. Null when the pair is solved as
// usual.
const HardBody* heldSupport(const CollisionPair& pair) {
    HardBody* const a = pair.bodyA;
    HardBody* const b = pair.bodyB;
    if (a->isStatic() || b->isStatic() || a->getContactStage() == b->getContactStage()) {
        return nullptr;
    }
    HardBody* const lower = a->getContactStage() < b->getContactStage() ? a : b;
    const HardBody* const load = lower == a ? b : a;
    if (lower->getContactStage() < 1 || load->getMass() < HELD_LOAD_RATIO * lower->getMass()) {
        return nullptr;
    }
    // The normals point from bodyB towards bodyA.
    const double towardsLoad = load == a ? 1.0 : -1.0;
    const QmtVector3* const arms = lower == a ? pair.armsA : pair.armsB;
    const RBDynamics& d = lower->getDyn();
    for (std::uint32_t i = 0; i < pair.contactCount; ++i) {
        const QmtVector3& n = pair.normals[i];
        if ((d.v + d.w.Cross(arms[i])).Dot(n) * towardsLoad > TOLERANCE) {
            return nullptr;
        }
        const QmtVector3& rel = pair.relativeVelocities[i];
        const double pressing = rel.Dot(n);
        if ((rel - n * pressing).SquaredLength() > pressing * pressing) {
            return nullptr;
        }
    }
    return lower;
}

// The block system of the pair's n contacts: targets that stop each contact and bounce
// it back by e along the normal when it approaches faster than `bounceSpeed`, and the
// blocks K weighted by the mass product.
bool setupPairBlockSystem(CollisionPair* pair, ContactLsqWorkspace& ws, double restitution, double bounceSpeed,
                          double massProduct, const HardBody* held, MatrixView*& k, dvec*& rhs, dvec*& x) {
    const int n = static_cast<int>(pair->contactCount);
    if (!ws.setupRows(n, 0, k, rhs, x)) {
        return false;
    }
    dvec_zero_range(rhs, 0, rhs->length - 1);
    for (int i = 0; i < n; ++i) {
        pair->dropMarks[i] = 0;
        const QmtVector3& normal = pair->normals[i];
        const QmtVector3& rel = pair->relativeVelocities[i];
        const double along = rel.Dot(normal);
        const double e = -along > bounceSpeed ? restitution : 0.0;
        const QmtVector3 target = (rel + normal * (e * along)) * -massProduct;
        if (target.Dot(normal) > TOLERANCE) {
            for (int c = 0; c < 3; ++c) {
                rhs->elements[3 * i + c] = target[c];
            }
        }
    }
    HardBody* const a = pair->bodyA;
    HardBody* const b = pair->bodyB;
    pair->massWeightA = a == held ? 0.0 : massProduct / a->getMass();
    pair->massWeightB = b == held ? 0.0 : massProduct / b->getMass();
    pair->massProductA = a == held ? 0.0 : massProduct;
    pair->massProductB = b == held ? 0.0 : massProduct;
    MatrixView::setZero(*k, 1.0);
    CollisionManager::buildContactBlockRows(pair, k);
    return true;
}

}  // namespace

// Lane 0 solves in the manager's own workspace, a worker lane in its own.
ContactLsqWorkspace* CollisionManager::laneWorkspace(int lane) {
    if (lane == 0) {
        return workspace.get();
    }
    if (lane > 0 && lane <= getCollisionWorkerCount() && laneWorkspaces) {
        return &laneWorkspaces[lane - 1];
    }
    return nullptr;
}

double CollisionManager::pairEnergy(const CollisionPair* pair, int lane) {
    if (!pair || !pair->bodyA || !pair->bodyB) {
        return -1.0;
    }
    double translational = 0.0;
    double rotational = 0.0;
    QmtVector3 linearMomentum = QmtVector3::ZERO;
    QmtVector3 angularMomentum = QmtVector3::ZERO;
    for (const HardBody* body : {pair->bodyA, pair->bodyB}) {
        const RBDynamics& d = body->getDyn();
        const double m = body->getMass();
        translational += m * d.v.SquaredLength();
        rotational += d.L.Dot(d.w);
        linearMomentum += d.v * m;
        angularMomentum += d.L + d.position.Cross(d.v) * m;
    }
    const double total = translational + rotational;
    // The statistics are one record of the manager: worker lanes measure in parallel,
    // so only the calling thread's lane keeps its measurement there.
    if (lane == 0) {
        translationalEnergy = translational;
        rotationalEnergy = rotational;
        totalLinearMomentum = linearMomentum;
        totalAngularMomentum = angularMomentum;
        totalEnergy = total;
    }
    return total;
}

void CollisionManager::refreshContactState(CollisionPair* pair, int mode) {
    if (!pair || pair->contactCount == 0) {
        return;
    }
    HardBody* const a = pair->bodyA;
    HardBody* const b = pair->bodyB;
    const std::uint32_t n = std::min(pair->contactCount, CollisionPair::MAX_CONTACTS);
    pair->keptCount = n;
    const RBDynamics& da = a->getDyn();
    const RBDynamics& db = b->getDyn();
    const bool staticB = b->isStatic();
    const bool movingB = b->computeEnergy() > TOLERANCE;
    for (std::uint32_t i = 0; i < n; ++i) {
        QmtVector3 velocityB;
        if (movingB) {
            velocityB = staticB ? pair->staticPointVelocities[i] : db.v + db.w.Cross(pair->armsB[i]);
        }
        QmtVector3 rel = (da.v + da.w.Cross(pair->armsA[i])) - velocityB;
        if (rel.SquaredLength() < STILL_SPEED) {
            rel = QmtVector3::ZERO;
        }
        pair->relativeVelocities[i] = rel;
        const QmtVector3& normal = pair->normals[i];
        QmtVector3 tangent = rel - normal * rel.Dot(normal);
        if (tangent.SquaredLength() > STILL_SPEED) {
            tangent = -tangent;
            tangent.Unitize(UNIT_TOLERANCE);
            pair->frictionDirections[i] = tangent;
        } else {
            pair->frictionDirections[i] = QmtVector3::ZERO;
        }
    }
    if (mode == 2) {
        // Inside a step a pair can only become (or stay) a creeping contact.
        for (std::uint32_t i = 0; i < n; ++i) {
            if (pair->relativeVelocities[i].Dot(pair->normals[i]) < -TOLERANCE) {
                pair->state = 2;
                break;
            }
        }
        return;
    }
    // An impact approaches now and approached at the start of the step as well; a
    // contact that approaches only now creeps.
    const RBDynamics& la = a->getLastDyn();
    const RBDynamics& lb = b->getLastDyn();
    pair->state = 0;
    for (std::uint32_t i = 0; i < n && pair->state != 1; ++i) {
        const double approach = pair->relativeVelocities[i].Dot(pair->normals[i]);
        if (approach >= -TOLERANCE) {
            continue;
        }
        const QmtVector3 armA = (la.rotation * pair->points[i] + la.position) - la.position;
        QmtVector3 last = la.v + la.w.Cross(armA);
        if (!staticB) {
            const QmtVector3 armB = (lb.rotation * pair->pointsB[i] + lb.position) - lb.position;
            last -= lb.v + lb.w.Cross(armB);
            pair->state = last.Dot(pair->normals[i]) > -TOLERANCE ? 2 : 1;
        } else if (movingB) {
            pair->state = approach > STATIC_IMPACT_SPEED ? 2 : 1;
        } else {
            pair->state = last.Dot(pair->normals[i]) > -TOLERANCE ? 2 : 1;
        }
    }
}

void CollisionManager::dropSeparatingContacts(CollisionPair* pair) {
    std::fill(std::begin(pair->dropMarks), std::end(pair->dropMarks), std::uint8_t{0});
    const std::uint32_t n = std::min(pair->contactCount, CollisionPair::MAX_CONTACTS);
    for (std::uint32_t i = 0; i < n; ++i) {
        if (pair->relativeVelocities[i].Dot(pair->normals[i]) > TOLERANCE) {
            pair->dropMarks[i] = 1;
        }
    }
    pair->compactUnmarkedContacts();
}

void CollisionManager::dropMarkedContacts(CollisionPair* pair) { pair->compactUnmarkedContacts(); }

void CollisionManager::buildContactBlockRows(const CollisionPair* pair, MatrixView* matrix) {
    const HardBody* const a = pair->bodyA;
    const HardBody* const b = pair->bodyB;
    const bool staticB = b->isStatic();
    const double diagonal = staticB ? pair->massWeightA : pair->massWeightA + pair->massWeightB;
    const QmtMatrix3 inverseA = a->getDyn().invInertiaWorld * pair->massProductA;
    const QmtMatrix3 inverseB = b->getDyn().invInertiaWorld * pair->massProductB;
    fillContactBlocks(*matrix, pair->contactCount, diagonal, inverseA, pair->armsA, staticB ? nullptr : &inverseB,
                      pair->armsB);
}

void CollisionManager::normalTargets(const CollisionPair* pair, const dvec* blockRhs, dvec* rhs) {
    for (std::uint32_t i = 0; i < pair->contactCount; ++i) {
        rhs->elements[i] = blockOf(blockRhs, i).Dot(pair->normals[i]);
    }
}

void CollisionManager::buildNormalRows(const CollisionPair* pair, const MatrixView* blockMatrix, MatrixView* matrix,
                                       double scale) {
    const double slide = scale * pair->friction;
    for (std::uint32_t j = 0; j < pair->contactCount; ++j) {
        const QmtVector3 push = pair->normals[j] + pair->frictionDirections[j] * slide;
        for (std::uint32_t i = 0; i < pair->contactCount; ++i) {
            matrix->at(static_cast<int>(i), static_cast<int>(j)) =
                projectBlock(*blockMatrix, i, j, pair->normals[i], push);
        }
    }
}

void CollisionManager::buildFrictionlessNormalRows(const CollisionPair* pair, const MatrixView* blockMatrix,
                                                   MatrixView* matrix) {
    MatrixView::setZero(*matrix, 0.0);
    for (std::uint32_t j = 0; j < pair->contactCount; ++j) {
        for (std::uint32_t i = 0; i < pair->contactCount; ++i) {
            matrix->at(static_cast<int>(i), static_cast<int>(j)) =
                projectBlock(*blockMatrix, i, j, pair->normals[i], pair->normals[j]);
        }
    }
}

void CollisionManager::solvePairImpulses(CollisionPair* pair, int mode, MatrixView** blockMatrix,
                                         double massProduct, int lane, const HardBody* held) {
    if (!pair || pair->contactCount == 0) {
        return;
    }
    ContactLsqWorkspace* const ws = laneWorkspace(lane);
    MatrixView* k = nullptr;
    dvec* rhs = nullptr;
    dvec* x = nullptr;
    HardBody* const a = pair->bodyA;
    HardBody* const b = pair->bodyB;
    const double restitution = mode == 1 ? std::min(a->getRestitutionCoeff(), b->getRestitutionCoeff()) : 0.0;
    if (!ws || !setupPairBlockSystem(pair, *ws, restitution, restingApproach, massProduct, held, k, rhs, x)) {
        return;
    }
    if (blockMatrix) {
        *blockMatrix = k;
    }
    const int n = static_cast<int>(pair->contactCount);
    solveContactBlockSystem(*ws, n, k, rhs, x, pair->normals, pair->dropMarks);
    pair->secondPass = 0;

    // The friction cone bounds the pair's friction by mu times its normal push, over
    // its contacts together: the solve spreads the friction evenly, so a contact that
    // carries little of the load would fail a cone of its own while the patch holds.
    // The solve keeps its contacts compacted to the front, in order.
    const double mu = pair->friction;
    double friction = 0.0;
    double push = 0.0;
    double largest = 0.0;
    for (std::uint32_t i = 0, kept = 0; i < pair->contactCount; ++i) {
        if (pair->dropMarks[i] != 0) {
            continue;
        }
        const QmtVector3 xi = blockOf(x, kept++);
        const double normalPart = xi.Dot(pair->normals[i]);
        largest = std::max(largest, normalPart);
        friction += (xi - pair->normals[i] * normalPart).Length();
        push += normalPart;
    }
    const QmtVector3 centreA = a->getDyn().position;
    QmtVector3 impulses[CollisionPair::MAX_CONTACTS];
    if (friction <= push * mu) {
        dropMarkedContacts(pair);
        const std::uint32_t m = pair->contactCount;
        // The contacts' impulses are one solution: applied only in part they would turn
        // the body. Spread over many contacts, or carried by a light body, each can be
        // small while together they hold the body up, so only a pair whose impulses add
        // up to nothing is skipped.
        QmtVector3 total;
        for (std::uint32_t i = 0; i < m; ++i) {
            total += blockOf(x, i);
        }
        const bool together = total.SquaredLength() > TOLERANCE;
        bool applied[CollisionPair::MAX_CONTACTS];
        for (std::uint32_t i = 0; i < m; ++i) {
            const QmtVector3 xi = blockOf(x, i);
            applied[i] = together || xi.SquaredLength() > TOLERANCE;
            impulses[i] = applied[i] ? xi : QmtVector3::ZERO;
        }
        // Each contact bounces along its own normal; where the contacts turn the bodies
        // that can ask for more energy than the approach brought. Without a bounce the
        // solve only stops the contacts.
        const double safe =
            restitution > 0.0 ? ImpulseWork(*pair, *k, massProduct).energySafeScale(impulses) : 1.0;
        for (std::uint32_t i = 0; i < m; ++i) {
            pair->impulseVectors[i] = impulses[i] * safe;
            if (applied[i]) {
                applyPairImpulse(a, b, pair->impulseVectors[i], pair->armsA[i] + centreA, held);
            }
        }
        return;
    }
    // The contacts the sticking solve let go pulled only to stop the sliding, which
    // friction cannot do: a sliding body keeps them, and the normal stage below drops
    // those that pull in its own solve.
    if (!setupPairBlockSystem(pair, *ws, restitution, restingApproach, massProduct, held, k, rhs, x)) {
        return;
    }
    const std::uint32_t m = pair->contactCount;

    // Outside the friction cone: solve for normal impulses that carry friction along the
    // sliding direction, scaled down when that would push harder than the free solve.
    MatrixView* normalMatrix = nullptr;
    dvec* normalRhs = nullptr;
    dvec* normalX = nullptr;
    std::uint8_t* skip = nullptr;
    double scale = 2.0;
    for (int pass = 0; pass < NORMAL_STAGE_PASSES; ++pass) {
        scale *= 0.5;
        if (scale < MIN_FRICTION_SCALE) {
            scale = 0.0;
        }
        if (!ws->setup(static_cast<int>(m), normalMatrix, normalRhs, normalX, skip)) {
            return;
        }
        normalTargets(pair, rhs, normalRhs);
        MatrixView::setZero(*normalMatrix, 1.0);
        buildNormalRows(pair, k, normalMatrix, scale);
        solveMaskedContactSystem(*ws, static_cast<int>(m), 0, normalMatrix, normalRhs, normalX, pair->dropMarks,
                                 skip);
        bool exceeded = false;
        for (int i = 0; i < normalX->length; ++i) {
            exceeded = exceeded || normalX->elements[i] > largest;
        }
        if (!exceeded) {
            break;
        }
        scale = 0.0;
        pair->secondPass = 1;
    }
    compactBlockSystem(*ws, static_cast<int>(m), k, x, rhs, pair->dropMarks);
    dropMarkedContacts(pair);
    // Friction at most stops the slip, and no impulse makes energy.
    const ImpulseWork work(*pair, *k, massProduct);
    const double sliding = mu * work.slidingFrictionShare(*normalX, TOLERANCE);
    for (std::uint32_t i = 0; i < pair->contactCount; ++i) {
        const double j = normalX->elements[i];
        impulses[i] =
            j > TOLERANCE ? (pair->normals[i] + pair->frictionDirections[i] * sliding) * j : QmtVector3::ZERO;
    }
    const double safe = work.energySafeScale(impulses);
    for (std::uint32_t i = 0; i < pair->contactCount; ++i) {
        if (normalX->elements[i] <= TOLERANCE) {
            pair->impulseVectors[i] = QmtVector3::ZERO;
            continue;
        }
        const double j = normalX->elements[i] * safe;
        const QmtVector3& normal = pair->normals[i];
        const QmtVector3& slide = pair->frictionDirections[i];
        const QmtVector3 impulse = (normal + slide * (scale * sliding)) * j;
        const QmtVector3 point = pair->armsA[i] + centreA;
        pair->impulseVectors[i] = impulse;
        applyPairImpulse(a, b, impulse, point, held);
        if (scale < TOLERANCE) {
            applyPairImpulse(a, b, slide * (j * sliding), point, held);
        }
    }
}

void CollisionManager::resolveGroupContacts(CollisionPair* pair, int mode, MatrixView* blockMatrix,
                                            double massProduct, int lane) {
    refreshContactState(pair, mode);
    pair->groupContactCount = 0;
    for (ContactGroup* group : pair->groupLinks) {
        group->flags |= ContactGroup::ACTIVE;
        pair->groupContactCount += group->count;
    }
    if (pair->contactCount != 0) {
        solvePairWithGroups(pair, mode, blockMatrix, &pair->contactCount, massProduct, lane);
    }
}

std::uint32_t CollisionManager::resolvePair(CollisionPair* pair, int mode, int lane) {
    if (!pair || !pair->bodyA || !pair->bodyB) {
        return 0;
    }
    std::uint32_t result = 0;
    const double before = pairEnergy(pair, lane);
    HardBody* const a = pair->bodyA;
    HardBody* const b = pair->bodyB;
    if (!a->isActive() && !b->isActive()) {
        pair->state = 0;
        return 0;
    }
    // A body waiting for its first hit stops being static when struck.
    if (a->isStatic() && a->isFirstHit(false)) {
        a->disableStatic();
        result = RESULT_BODY_CHANGED;
    }
    if (b->isStatic()) {
        if (!a->isActive()) {
            pair->state = 0;
            return result;
        }
        if (b->isFirstHit(false)) {
            const auto* const fracture = b->getType() == HB_FRACTURE ? dynamic_cast<const FractureBody*>(b) : nullptr;
            if (!fracture || !fracture->hasStaticBodies()) {
                b->disableStatic();
                result |= RESULT_BODY_CHANGED;
            }
        }
    }
    const double massA = a->getMass();
    double massProduct = b->isStatic() ? massA : massA * b->getMass();
    const bool groupsOn = contactGroupsEnabled;
    refreshContactState(pair, mode);
    dropSeparatingContacts(pair);
    // Without contact groups to carry a heavy load down to the ground, the light body
    // under it is held for the substep's impulses.
    const HardBody* const held = mode == 2 && !groupsOn ? heldSupport(*pair) : nullptr;
    if (held) {
        massProduct = (held == a ? b : a)->getMass();
    }
    pair->groupContactCount = 0;
    if (pair->groupLinkCount != 0) {
        for (ContactGroup* group : pair->groupLinks) {
            group->flags |= ContactGroup::ACTIVE;
            pair->groupContactCount += group->count;
        }
    }
    MatrixView* blockMatrix = nullptr;
    if (pair->state != 0) {
        solvePairImpulses(pair, mode, &blockMatrix, massProduct, lane, held);
        if (mode == 1 && groupsOn) {
            solvePairGroups(pair, massProduct, lane);
        }
    }
    // The groups take part whatever the two masses: a load far heavier than the body it
    // rests on is exactly what a pair solved alone cannot hold.
    if (groupsOn && pair->state != 0) {
        resolveGroupContacts(pair, mode, blockMatrix, massProduct, lane);
    }
    if (mode == 1) {
        if (pair->state == 1) {
            pair->state = 0;
        }
    } else if (mode == 2 && pair->state != 0) {
        pair->state = 2;
    }
    const double after = pairEnergy(pair, lane);
    if (after > 3.0 * before) {
        debugLog(stdout, "energy gain %s %s %g %g %g\n", a->transform.name, b->transform.name, before, after,
                 after * 100.0 / before);
    }
    return result;
}

void CollisionManager::applyImpulseAtPoint(double restitution, double friction, const QmtVector3& point,
                                           double pointMass, const QmtVector3& normal, QmtVector3& pointVelocity,
                                           HardBody* body) {
    if (!body || !lsqSystem) {
        return;
    }
    const RBDynamics& d = body->getDyn();
    const QmtVector3 arm = point - d.position;
    const double e = std::min(restitution, body->getRestitutionCoeff());
    const double mu = std::max(friction, body->getFrictionCoeff());
    QmtVector3 bodyVelocity;
    if (body->computeEnergy() > TOLERANCE) {
        bodyVelocity = d.v + d.w.Cross(arm);
    }
    const QmtVector3 rel = pointVelocity - bodyVelocity;
    const double vn = rel.Dot(normal);
    if (vn > TOLERANCE) {
        return;
    }
    const bool staticBody = body->isStatic();
    const double bodyMass = body->getMass();
    const double k = staticBody ? pointMass : pointMass * bodyMass;
    // Both sides scaled by m M: (M + m) J - m M [r] I^-1 [r] J = m M (target change of
    // the relative velocity); a static body only lets the point mass bounce.
    QmtMatrix3 system = QmtMatrix3::IDENTITY;
    if (!staticBody) {
        const QmtMatrix3 turn = crossSandwich(arm, d.invInertiaWorld * (pointMass * bodyMass), arm);
        for (unsigned r = 0; r < 3; ++r) {
            for (unsigned c = 0; c < 3; ++c) {
                system(r, c) = (r == c ? bodyMass + pointMass : 0.0) - turn(r, c);
            }
        }
    }
    MatrixView* matrix = nullptr;
    dvec* rhs = nullptr;
    dvec* x = nullptr;
    if (!lsqSystem->setup(3, matrix, rhs, x)) {
        return;
    }
    const QmtVector3 target = (normal * (-e * vn) - rel) * k;
    for (unsigned r = 0; r < 3; ++r) {
        rhs->elements[r] = target[static_cast<int>(r)];
        for (unsigned c = 0; c < 3; ++c) {
            matrix->at(static_cast<int>(r), static_cast<int>(c)) = system(r, c);
        }
    }
    lsqSystem->solve(matrix, rhs, x);
    QmtVector3 impulse{x->elements[0], x->elements[1], x->elements[2]};
    QmtVector3 tangent = rel - normal * vn;
    if (tangent.Length() > TOLERANCE) {
        tangent.Unitize(UNIT_TOLERANCE);
        const double jn = impulse.Dot(normal);
        if ((impulse - normal * jn).Length() > jn * mu) {
            // Sliding: the impulse lies on the edge of the friction cone.
            const QmtVector3 direction = normal - tangent * mu;
            const double j = -k * vn * (1.0 + e) / normal.Dot(system * direction);
            impulse = direction * j;
        }
    }
    pointVelocity += impulse / pointMass;
    if (!staticBody) {
        body->applyImpulse(-impulse, point);
    }
}
