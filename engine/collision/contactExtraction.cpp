// Contact extraction: impulses stop approach but leave the penetration that already
// happened, so detection pushes the upper body of a penetrating pair out by a position
// and orientation correction solved like the impulses.

#include <algorithm>

#include "engine/collision/collisionManager.h"
#include "engine/collision/contactBlocks.h"
#include "engine/bodies/privateHardBody.h"
#include "engine/fracture/fractureBody.h"
#include "engine/fracture/fractureWorldFiling.h"
#include "engine/solver/lsqSystem.h"
#include "geometry/mesh/debugLog.h"

using Qmt::QmtMatrix3;
using Qmt::QmtVector3;

namespace {

constexpr double TOLERANCE = 1e-5;
constexpr double EXTRACTION_FACTOR = 100.0;

// The mass that moves a body out, or 0 when the body is not to move: a fragment moves
// with its whole fracture body's mass, and a static fracture body holds its fragments.
double extractionMass(const HardBody* body) {
    const HardBody* const owner = body->getParent();
    if (owner) {
        return owner->isStatic() ? 0.0 : owner->getMass();
    }
    return body->getMass();
}

// The body a correction moves: a fragment is placed by its fracture body at every
// step, so the fracture body itself is moved (its fragments follow, unturned).
HardBody* extractionMover(HardBody* body) {
    HardBody* const owner = body->getParent();
    return owner ? owner : body;
}

}  // namespace

void CollisionManager::buildExtractionRows(HardBody* bodyA, HardBody* bodyB, double weightA, double weightB,
                                           double factor, const QmtVector3* armsA, const QmtVector3* armsB,
                                           MatrixView* matrix, std::uint32_t count) {
    const bool staticB = bodyB->isStatic();
    const double diagonal = factor * (staticB ? weightA : weightA + weightB);
    const QmtMatrix3 inverseA = bodyA->getDyn().invInertiaWorld * weightA;
    const QmtMatrix3 inverseB = bodyB->getDyn().invInertiaWorld * weightB;
    fillContactBlocks(*matrix, count, diagonal, inverseA, armsA, staticB ? nullptr : &inverseB, armsB);
}

void CollisionManager::extractPair(CollisionPair* pair) {
    if (!pair || !pair->bodyA || !pair->bodyB || pair->bodyB->getType() == HB_CRACKER) {
        return;
    }
    const std::int32_t stageA = pair->bodyA->getContactStage();
    const std::int32_t stageB = pair->bodyB->getContactStage();
    if (batchingExtractions_) {
        extractionBatch_.push_back({pair, stageA, stageB, 0});
        return;
    }
    noteExtractionMoves(pair, extractPairOnLane(pair, stageA, stageB, 0));
}

void CollisionManager::noteExtractionMoves(const CollisionPair* pair, std::uint8_t moved) {
    for (HardBody* body : {(moved & MOVED_A) ? pair->bodyA : nullptr, (moved & MOVED_B) ? pair->bodyB : nullptr}) {
        if (!body) {
            continue;
        }
        broadPhase.moved(body);
        // A fragment was lifted with its whole fracture body, which places every one of
        // its fragments (its disconnected pieces are bodies of their own and stay).
        if (const FractureBody* const owner = asFractureBody(body->getParent())) {
            for (PrivateHardBody* fragment : owner->fragments) {
                if (fragment != body) {
                    broadPhase.moved(fragment);
                }
            }
        }
    }
}

std::uint8_t CollisionManager::extractPairOnLane(CollisionPair* pair, std::int32_t stageA, std::int32_t stageB,
                                                 int lane) {
    HardBody* const a = pair->bodyA;
    HardBody* const b = pair->bodyB;
    const RBDynamics& da = a->getDyn();
    const RBDynamics& db = b->getDyn();
    const std::uint32_t n = std::min(pair->contactCount, CollisionPair::MAX_CONTACTS);
    bool penetrating = false;
    for (std::uint32_t i = 0; i < n; ++i) {
        const QmtVector3 pa = da.rotation * pair->points[i] + da.position;
        const QmtVector3 pb = db.rotation * pair->pointsB[i] + db.position;
        const double d = (pa - pb).Dot(pair->normals[i]);
        if (d >= -TOLERANCE) {
            pair->depths[i] = 0.0;
        } else {
            pair->depths[i] = d;
            penetrating = true;
        }
    }
    pair->massWeightA = pair->massProductA = 0.0;
    pair->massWeightB = pair->massProductB = 0.0;
    if (!penetrating) {
        return 0;
    }
    // Only the body further from the ground moves, so a body resting on the ground
    // stays put and the one on top of it is lifted.
    if (!a->isStatic() && stageB < stageA) {
        pair->massWeightA = pair->massProductA = extractionMass(a);
    }
    if (!b->isStatic() && stageA < stageB) {
        pair->massWeightB = pair->massProductB = extractionMass(b);
    }
    if (pair->massWeightA == 0.0 && pair->massProductA == 0.0 && pair->massWeightB == 0.0 &&
        pair->massProductB == 0.0) {
        return 0;
    }
    // A fragment is moved, not turned.
    QmtVector3 armsA[CollisionPair::MAX_CONTACTS];
    QmtVector3 armsB[CollisionPair::MAX_CONTACTS];
    const bool fragmentA = a->getParent() != nullptr;
    const bool fragmentB = b->getParent() != nullptr;
    for (std::uint32_t i = 0; i < n; ++i) {
        armsA[i] = fragmentA ? QmtVector3::ZERO : pair->armsA[i];
        armsB[i] = fragmentB ? QmtVector3::ZERO : pair->armsB[i];
    }
    debugLog(stdout, "extract %s %s %u\n", a->transform.name, b->transform.name, n);

    MatrixView* matrix = nullptr;
    dvec* rhs = nullptr;
    dvec* x = nullptr;
    ContactLsqWorkspace* const ws = laneWorkspace(lane);
    if (!ws || !ws->setupRows(static_cast<int>(n), 0, matrix, rhs, x)) {
        return 0;
    }
    for (std::uint32_t i = 0; i < n; ++i) {
        const QmtVector3 target = pair->normals[i] * -pair->depths[i];
        for (int k = 0; k < 3; ++k) {
            rhs->elements[3 * i + k] = target[k];
        }
    }
    MatrixView::setZero(*matrix, 1.0);
    buildExtractionRows(a, b, pair->massWeightA, pair->massWeightB, EXTRACTION_FACTOR, armsA, armsB, matrix, n);
    solveContactBlockSystem(*ws, static_cast<int>(n), matrix, rhs, x, pair->normals, pair->dropMarks);

    // The solution holds the kept contacts only, in order.
    QmtVector3 moveA, turnA, moveB, turnB;
    const bool movesA = !a->isStatic();
    const bool movesB = !b->isStatic();
    std::uint32_t k = 0;
    for (std::uint32_t i = 0; i < n; ++i) {
        if (pair->dropMarks[i] == 1) {
            continue;
        }
        const QmtVector3 xi{x->elements[3 * k], x->elements[3 * k + 1], x->elements[3 * k + 2]};
        ++k;
        if (movesA) {
            moveA += xi * (pair->massWeightA * EXTRACTION_FACTOR);
            turnA += armsA[i].Cross(xi) * pair->massProductA;
        }
        if (movesB) {
            moveB -= xi * (pair->massWeightB * EXTRACTION_FACTOR);
            turnB -= armsB[i].Cross(xi) * pair->massProductB;
        }
    }
    // A static body takes no correction; leaving it alone also keeps its world bound
    // current for the many bodies that rest on it.
    // A static fracture body holds its fragments.
    HardBody* const moverA = extractionMover(a);
    HardBody* const moverB = extractionMover(b);
    if (movesA && !moverA->isStatic()) {
        moverA->applyDisplacement(moveA, turnA);
    }
    if (movesB && !moverB->isStatic()) {
        moverB->applyDisplacement(moveB, turnB);
    }
    return static_cast<std::uint8_t>((movesA ? MOVED_A : 0) | (movesB ? MOVED_B : 0));
}
