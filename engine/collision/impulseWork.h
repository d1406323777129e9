#pragma once

// The kinetic energy a set of contact impulses puts into a pair. With J_i applied at
// contact i (bodyA receives J_i, bodyB -J_i) and v_i the contacts' relative velocities
// before, the pair's kinetic energy changes by exactly J . v + J . W J / 2, where W is
// the contacts' impulse response: the pair's block matrix K divided by its mass product.

#include <cstdint>

#include "engine/collision/collisionPair.h"
#include "engine/solver/matrixView.h"
#include "math/qmtVector3.h"

struct dvec;

class ImpulseWork {
public:
    // k holds the blocks of the pair's contacts, in the pair's order.
    ImpulseWork(const CollisionPair& pair, const MatrixView& k, double massProduct)
        : pair_(pair), k_(k), massProduct_(massProduct) {}

    // The share s in [0, 1] of the sliding friction F_i = j_i mu d_i that leaves the
    // pair the least energy, given the normal pushes j_i n_i (j from `normalImpulses`,
    // contacts at or below `least` push nothing). Friction opposes the slip the contacts
    // had before the impulses, but the pushes turn the bodies and can stop or reverse
    // that slip: the full friction would then drive the contacts on.
    double slidingFrictionShare(const dvec& normalImpulses, double least) const;

    // The factor in [0, 1] that keeps the impulses from adding kinetic energy to the pair:
    // 1 when they do not, else the factor at which their work is nil.
    double energySafeScale(const Qmt::QmtVector3* impulses) const;

private:
    // sum_i p_i . v_i and sum_i p_i . (W q)_i.
    double alongVelocities(const Qmt::QmtVector3* p) const;
    double response(const Qmt::QmtVector3* p, const Qmt::QmtVector3* q) const;

    const CollisionPair& pair_;
    const MatrixView& k_;
    double massProduct_;
};
