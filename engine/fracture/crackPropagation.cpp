// Crack propagation over the joints of a fracture body. A struck fragment's changed
// motion is tested joint by joint: the impulse a joint would have to carry to keep its
// two ends together becomes a change of velocity and spin that is compared with the
// joint's tolerance. A joint that cannot carry it loses its active bit (the lists and
// the split follow later); one that holds passes the impulse on to the body behind it.
//
// The lane walk keeps its visit marks and dynamic copies per lane; the serial walk
// uses the processed bits and the lane-0 copies. Neither allocates.

#include <cfloat>

#include "engine/bodies/privateHardBody.h"
#include "engine/fracture/dynamicStress.h"
#include "engine/fracture/fractureBody.h"
#include "math/qmtMatrix3.h"

using Qmt::QmtVector3;

namespace {

constexpr double PASS_ON_LIMIT = 1e-5;
constexpr double ENERGY_LIMIT = 1e-5;
// Spin is damped before it is measured against the tolerance.
constexpr double SPIN_FACTOR = 0.1;
constexpr double NO_INCOMING_LIMIT = FLT_MAX;

// Fragments are always plain bodies; a fracture body is never one.
PrivateHardBody* asFragment(HardBody* body) {
    if (!body || body->getType() == HB_FRACTURE) {
        return nullptr;
    }
    return static_cast<PrivateHardBody*>(body);
}

PrivateHardBody* otherBody(const DynamicStress* joint, const PrivateHardBody* from) {
    return joint->CNode == from ? joint->PNode : joint->CNode;
}

// A missing other body is a fixed world point: it cannot move either.
bool isFixed(const PrivateHardBody* body) { return !body || body->isStatic(); }

// The squared velocity and spin changes an impulse makes on the body in the lane.
struct StressChange {
    double linear2 = 0.0;
    double angular2 = 0.0;
};

StressChange stressChange(const StressImpulse& J, const PrivateHardBody* body, int lane) {
    const QmtVector3 u = QmtVector3(J[0], J[1], J[2]) * body->dyn.invMass;
    const QmtVector3 a = (body->laneDyn[lane].invInertiaWorld * SPIN_FACTOR) * QmtVector3(J[3], J[4], J[5]);
    return {u.SquaredLength(), a.SquaredLength()};
}

// The common break decision: against a static side both measures count; against a
// moving side linear motion counts only when the joint is weaker than the one the walk
// came through.
bool breaks(const StressChange& c, double threshold, double incomingLimit, bool staticOther) {
    if (staticOther) {
        return c.linear2 >= threshold || c.angular2 >= threshold;
    }
    return (incomingLimit > threshold && c.linear2 >= threshold) || c.angular2 >= threshold;
}

bool passesSomething(const StressChange& c) { return c.linear2 >= PASS_ON_LIMIT || c.angular2 >= PASS_ON_LIMIT; }

// The fragment's joints that are active and not yet processed.
template <class Fn>
void forOpenJoints(PrivateHardBody* fragment, Fn&& fn) {
    for (DynamicStress* joint : fragment->joints) {
        if (joint->isActive() && !joint->isProcessed()) {
            fn(joint);
        }
    }
}

}  // namespace

void FractureBody::resetStepFlags() {
    for (PrivateHardBody* f : fragments) {
        f->disableProcessed();
        f->laneDyn[0] = f->dyn;
    }
    for (DynamicStress* joint : activeJoints) {
        joint->disableProcessed();
    }
}

void FractureBody::beginCrackThread(int lane) {
    for (PrivateHardBody* f : fragments) {
        f->disableProcessedThread(lane);
        f->laneDyn[lane] = f->dyn;
    }
    ++crackCount;
    for (DynamicStress* joint : activeJoints) {
        joint->disableProcessedThread(lane);
    }
}

void FractureBody::propagateStressFromJointThread(HardBody* body, DynamicStress* joint, bool secondary, int lane,
                                                  double incomingLimit) {
    PrivateHardBody* const F = asFragment(body);
    if (!F || !joint || !joint->isBreakableByForce() || joint->isBreakableByFrame() ||
        joint->isProcessedThread(lane)) {
        return;
    }
    PrivateHardBody* const O = otherBody(joint, F);
    double threshold = joint->breakTolerance * joint->breakTolerance;
    if (secondary && isSecImpacts() && propagationType == 1 && checkSecImpactsCond()) {
        threshold = 0.0;
    }
    if (isFixed(O)) {
        const StressChange c = stressChange(joint->computeStressImpulse(F, lane), F, lane);
        if (!breaks(c, threshold, incomingLimit, true)) {
            joint->enableProcessedThread(lane);
            return;
        }
    } else {
        const StressImpulse J = joint->computeStressImpulse(O, lane);
        const StressChange c = stressChange(J, O, lane);
        if (!breaks(c, threshold, incomingLimit, false)) {
            if (passesSomething(c) && !O->isProcessedThread(lane)) {
                joint->applyImpulseToBody(J, O, 1.0);
            }
            joint->enableProcessedThread(lane);
            return;
        }
        if (joint->breakEnergy > ENERGY_LIMIT && !O->isProcessedThread(lane)) {
            joint->applyImpulse(J, -joint->breakEnergy);
        }
    }
    joint->deActivate();
    ++pendingBreaks;
    joint->enableProcessedThread(lane);
}

void FractureBody::propagateStressThread(HardBody* body, bool secondary, int lane, double incomingLimit) {
    PrivateHardBody* const B = asFragment(body);
    if (!B || B->isProcessedThread(lane)) {
        return;
    }
    B->enableProcessedThread(lane);
    for (DynamicStress* joint : B->joints) {
        propagateStressFromJointThread(B, joint, secondary, lane, incomingLimit);
    }
    if (propagationType == 1 || crackCount > maxCracks) {
        return;
    }
    for (DynamicStress* joint : B->joints) {
        PrivateHardBody* const O = otherBody(joint, B);
        if (!isFixed(O)) {
            propagateStressThread(O, secondary, lane, joint->breakTolerance * joint->breakTolerance);
        }
    }
}

void FractureBody::propagateStressFromJoint(HardBody* body, DynamicStress* joint, double incomingLimit) {
    PrivateHardBody* const F = asFragment(body);
    if (!F || !joint || !joint->isBreakableByForce() || !joint->isActive() || joint->isProcessed()) {
        return;
    }
    PrivateHardBody* const O = otherBody(joint, F);
    const double threshold = joint->breakTolerance * joint->breakTolerance;
    if (isFixed(O)) {
        const StressChange c = stressChange(joint->computeStressImpulse(F, 0), F, 0);
        if (!breaks(c, threshold, incomingLimit, true)) {
            joint->enableProcessed();
            return;
        }
    } else {
        const StressImpulse J = joint->computeStressImpulse(O, 0);
        const StressChange c = stressChange(J, O, 0);
        if (!breaks(c, threshold, incomingLimit, false)) {
            if (passesSomething(c) && !O->isProcessed()) {
                joint->applyImpulseToBody(J, O, 1.0);
            }
            joint->enableProcessed();
            return;
        }
        if (joint->breakEnergy > ENERGY_LIMIT && !O->isProcessed()) {
            joint->applyImpulse(J, -joint->breakEnergy);
        }
    }
    joint->deActivate();
    ++pendingBreaks;
    joint->enableProcessed();
}

void FractureBody::propagateStress(HardBody* body, double incomingLimit) {
    PrivateHardBody* const B = asFragment(body);
    if (!B || B->isProcessed()) {
        return;
    }
    B->enableProcessed();
    if (B->jointCursorActive) {
        return;
    }
    for (DynamicStress* joint = B->getFirstJoint(); joint; joint = B->getNextJoint()) {
        propagateStressFromJoint(B, joint, incomingLimit);
    }
    if (propagationType == 1) {
        return;
    }
    for (DynamicStress* joint = B->getFirstJoint(); joint; joint = B->getNextJoint()) {
        PrivateHardBody* const O = otherBody(joint, B);
        if (!isFixed(O)) {
            propagateStress(O, joint->breakTolerance * joint->breakTolerance);
        }
    }
}

// The flags are reset before the joint's own impulse goes onto the lane-0 copies:
// resetting afterwards would overwrite the impulse with the current state and the walk
// would never feel it.
void FractureBody::propagateJointBreak(DynamicStress* joint) {
    if (!joint) {
        return;
    }
    storeDynState();
    resetStepFlags();
    joint->applyImpulse(joint->solveStressImpulse(), -1.0);
    propagateStress(joint->CNode, NO_INCOMING_LIMIT);
    propagateStress(joint->PNode, NO_INCOMING_LIMIT);
    restoreDynState();
}

// No open joint gives 0 rather than a division by zero.
double FractureBody::getAverageJointTolerance(HardBody* fragment) {
    PrivateHardBody* const F = asFragment(fragment);
    if (!F) {
        return 0.0;
    }
    double sum = 0.0;
    int count = 0;
    forOpenJoints(F, [&](DynamicStress* joint) {
        sum += joint->breakTolerance;
        ++count;
    });
    return count == 0 ? 0.0 : sum / count;
}

void FractureBody::setFragmentJointTolerance(HardBody* fragment, double value, bool mark) {
    PrivateHardBody* const F = asFragment(fragment);
    if (!F) {
        return;
    }
    forOpenJoints(F, [&](DynamicStress* joint) {
        joint->breakTolerance = value;
        if (mark) {
            joint->enableProcessed();
        }
    });
}

void FractureBody::equalizeJointTolerance(HardBody* fragment) {
    PrivateHardBody* const F = asFragment(fragment);
    if (!F) {
        return;
    }
    setFragmentJointTolerance(F, getAverageJointTolerance(F), true);
    F->enableProcessed();
}

void FractureBody::breakFragmentJointRecursive(HardBody* fragment) {
    PrivateHardBody* const F = asFragment(fragment);
    if (!F || F->isProcessed()) {
        return;
    }
    F->enableProcessed();
    DynamicStress* last = nullptr;
    forOpenJoints(F, [&](DynamicStress* joint) {
        joint->enableProcessed();
        last = joint;
    });
    if (last) {
        deActivateJoint(last);
    }
}
