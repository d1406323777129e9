// Saving and restoring the start state of a fracture body, and rebuilding its pose
// and velocities from its fragments after the host edited them.

#include "engine/bodies/privateHardBody.h"
#include "engine/fracture/dynamicStress.h"
#include "engine/fracture/fractureBody.h"
#include "engine/fracture/fractureLists.h"

using Qmt::QmtMatrix3;
using Qmt::QmtVector3;

namespace fl = fracture_lists;

namespace {

std::uint32_t jointIndex(const DynamicStress* joint) { return joint->getIndex(); }

void unlinkJoints(PrivateHardBody* body) {
    body->joints.clear();
    body->jointCount = 0;
    body->disableJoined();
}

// The compound centre a fragment implies: its centre less its offset turned by R.
QmtVector3 impliedCentre(const HardBody& f, const QmtMatrix3& R) {
    const QmtMatrix3 Q = f.getMatrixPivotCm().Transpose();
    return f.getDyn().position + R * (Q * f.getTransPivotCm());
}

}  // namespace

void FractureBody::storeInitialState(unsigned int mask) {
    // The dynamics, restitution and friction are stored as for any body; a full store
    // keeps the compound's box as well.
    HardBody::storeInitialState(mask);
    if (mask & 1u) {
        initialCentreOffset = transform.centreOffset;
        initialBoxSize = transform.boxSize;
        initialLocalAxes = transform.localAxes;
    } else if (mask & 8u) {
        // A new mass shares out anew over the fragments and changes the inertia: the
        // start state takes the inertia that goes with it, at its own rotation.
        const QmtMatrix3& R = dynInit.rotation;
        dynInit.inertiaWorld = (R * inertiaLocal).TimesTranspose(R);
        dynInit.invInertiaWorld = (R * invInertiaLocal).TimesTranspose(R);
    }
    for (PrivateHardBody* f : fragments) {
        f->storeInitialState(mask);
    }
    for (PrivateHardBody* d : disconnectedBodies) {
        d->storeInitialState(mask);
    }
}

// The start-frame reset: every joint the run took away holds again, the fragment
// list is rebuilt from the joints, the children the splits made are destroyed, and
// the compound and its pieces return to their stored states.
void FractureBody::applyInitialState() {
    // Joints handed on or recorded by splits, and broken joints no split has taken
    // yet, all go back to the active list.
    for (JointList* taken : {&ownJoints, &deactivatedJoints}) {
        for (DynamicStress* joint : *taken) {
            fl::insertOrdered(activeJoints, joint, jointIndex);
            joint->activate();
        }
        taken->clear();
    }
    for (PrivateHardBody* f : fragments) {
        unlinkJoints(f);
        f->setParent(nullptr);
    }
    for (PrivateHardBody* d : disconnectedBodies) {
        unlinkJoints(d);
    }
    fragments.clear();
    for (DynamicStress* joint : activeJoints) {
        PrivateHardBody* const sides[2] = {joint->getCNode(), joint->getPNode()};
        adoptJointSides(sides);
        for (PrivateHardBody* body : sides) {
            linkJoint(body, joint);
        }
    }
    pendingBreaks = 0;
    offJoints.clear();
    brokenCount = 0;
    destroyChildren(false);
    childCounter = 0;

    dyn = dynInit;
    lastDyn = dynInit;
    transform.centreOffset = initialCentreOffset;
    transform.boxSize = initialBoxSize;
    transform.setRotation(initialLocalAxes);
    transform.scale = QmtVector3(1.0, 1.0, 1.0);
    transform.unscaledRadius = 0.5 * transform.boxSize.Length();
    transform.radius = transform.unscaledRadius;
    restitution = restitutionInit;
    friction = frictionInit;
    sleepCount = 0;

    // The pivots are taken against the restored compound rotation, so the next
    // placement leaves every fragment where its own reset put it.
    const QmtMatrix3& R = dyn.rotation;
    for (PrivateHardBody* f : fragments) {
        f->setParent(this);
        f->applyInitialState();
        const QmtMatrix3& Rf = f->getDyn().rotation;
        f->setMatrixPivotCm(Rf.TransposeTimes(R));
        f->setTransPivotCm((dyn.position - f->getDyn().position) * Rf);
    }
    for (PrivateHardBody* d : disconnectedBodies) {
        d->applyInitialState();
    }
    if (isFirstHit(false)) {
        enableStatic();
    }
    updateWorldState();
}

// ---- rebuilding from the fragments ----

void FractureBody::recomputeCenterFromFragments(bool recurse) {
    // Without fragments there is nothing to take a centre from: it stays.
    if (fragments.count != 0) {
        QmtVector3 sum;
        for (const PrivateHardBody* f : fragments) {
            sum += impliedCentre(*f, dyn.rotation);
        }
        dyn.position = sum / static_cast<double>(fragments.count);
        lastDyn.position = dyn.position;
    }
    if (recurse) {
        for (FractureBody* child : children) {
            child->recomputeCenterFromFragments(true);
        }
    }
    disableWorldUpdate();
}

void FractureBody::recomputeRotationFromFragments(bool recurse) {
    // Without fragments the rotation stays rather than collapsing to zero.
    if (const FragmentList::Node* const first = fl::firstNode(fragments)) {
        const HardBody& f = *first->value;
        const QmtMatrix3 R = f.getDyn().rotation * f.getMatrixPivotCm();
        for (RBDynamics* state : {&lastDyn, &dyn}) {
            state->rotation = R;
            state->orientation.FromRotationMatrix(R);
            state->inertiaWorld = (R * inertiaLocal).TimesTranspose(R);
            state->invInertiaWorld = (R * invInertiaLocal).TimesTranspose(R);
        }
    }
    if (recurse) {
        for (FractureBody* child : children) {
            child->recomputeRotationFromFragments(true);
        }
    }
    disableWorldUpdate();
}

void FractureBody::recomputeVelocityFromFragments(bool recurse) {
    QmtVector3 P;
    QmtVector3 L;
    for (const PrivateHardBody* f : fragments) {
        const RBDynamics& s = f->getDyn();
        const double m = 1.0 / s.invMass;
        P += s.v * m;
        L += (s.position - dyn.position).Cross(s.v) * m + s.L;
    }
    dyn.v = P * dyn.invMass;
    dyn.L = L;
    dyn.w = dyn.invInertiaWorld * L;
    setAngularVelocity(dyn.w);
    if (recurse) {
        for (FractureBody* child : children) {
            child->recomputeVelocityFromFragments(true);
        }
    }
}
