// Moving fragments and joints out of a fracture body's lists and keeping the lists
// consistent with each other; teardown of the joints and of the children.

#include <algorithm>
#include <vector>

#include "engine/bodies/privateHardBody.h"
#include "engine/fracture/dynamicStress.h"
#include "engine/fracture/fractureBody.h"
#include "engine/fracture/fractureLists.h"

namespace fl = fracture_lists;

namespace {

bool touches(const DynamicStress* joint, const HardBody* body) {
    return joint->getCNode() == body || joint->getPNode() == body;
}

DynamicStress* firstJointTouching(const FractureBody::JointList& list, const HardBody* body) {
    for (DynamicStress* joint : list) {
        if (touches(joint, body)) {
            return joint;
        }
    }
    return nullptr;
}

// The list's joints with the body at an end, in list order.
void jointsTouching(const FractureBody::JointList& list, const HardBody* body, std::vector<DynamicStress*>& out) {
    out.clear();
    for (DynamicStress* joint : list) {
        if (touches(joint, body)) {
            out.push_back(joint);
        }
    }
}

// The body no longer belongs to any joint of a fracture body.
void detach(PrivateHardBody* body) {
    body->joints.clear();
    body->jointCount = 0;
    body->disableJoined();
    body->setParent(nullptr);
}

void deleteJoints(FractureBody::JointList& list) {
    for (DynamicStress* joint : list) {
        delete joint;
    }
    list.clear();
    list.releaseSpares();
}

}  // namespace

void FractureBody::deActivateFragmentJoints(PrivateHardBody* fragment) {
    if (!fragment) {
        return;
    }
    for (DynamicStress* joint = fragment->getFirstJoint(); joint; joint = fragment->getNextJoint()) {
        deActivateJoint(joint);
    }
}

void FractureBody::removeFragment(HardBody* body) {
    if (!body) {
        return;
    }
    if (PrivateHardBody* const fragment = fl::find(fragments, body)) {
        fragment->deActivate();
        fragments.remove(fragment);
        // Every joint that holds the fragment goes, first to last, and with it every
        // neighbour that it leaves without a joint. A removal only ever takes joints
        // out, so one walk finds them in the order repeated walks from the front would.
        std::vector<DynamicStress*> holding;
        for (JointList* list : {&activeJoints, &deactivatedJoints}) {
            jointsTouching(*list, fragment, holding);
            for (DynamicStress* joint : holding) {
                if (list->contains(joint)) {
                    joint->deActivate();
                    removeJoint(joint);
                }
            }
            // A joint filed twice may still be there: the removals go on from the front.
            if (std::any_of(holding.begin(), holding.end(), [&](DynamicStress* j) { return list->contains(j); })) {
                for (DynamicStress* joint = firstJointTouching(*list, fragment); joint;
                     joint = firstJointTouching(*list, fragment)) {
                    joint->deActivate();
                    removeJoint(joint);
                }
            }
        }
        detach(fragment);
        return;
    }
    if (PrivateHardBody* const loose = fl::find(disconnectedBodies, body)) {
        loose->deActivate();
        disconnectedBodies.remove(loose);
        detach(loose);
        return;
    }
    for (FractureBody* child : children) {
        child->removeFragment(body);
    }
}

void FractureBody::removeJointlessFragment(HardBody* body) {
    PrivateHardBody* const fragment = body ? fl::find(fragments, body) : nullptr;
    if (!fragment) {
        removeFragment(body);
        return;
    }
    fragment->deActivate();
    fragments.remove(fragment);
    detach(fragment);
}

void FractureBody::removeJoint(DynamicStress* joint) {
    if (!joint) {
        return;
    }
    if (fl::unlink(deactivatedJoints, joint)) {
        joint->deActivate();
        --pendingBreaks;
    } else if (fl::unlink(ownJoints, joint) || fl::unlink(activeJoints, joint)) {
        joint->deActivate();
    }
    // The joint no longer holds this body's fragments; a child that the split handed it
    // to keeps it in its own fragments' lists.
    for (PrivateHardBody* side : {joint->getPNode(), joint->getCNode()}) {
        if (side && (side->getParent() == this || !side->getParent())) {
            unlinkJoint(side, joint);
        }
    }
    for (PrivateHardBody* side : {joint->getPNode(), joint->getCNode()}) {
        // A side that removeFragment would find in no list is not asked about.
        if (!side || (!fragments.contains(side) && !disconnectedBodies.contains(side) && children.count == 0)) {
            continue;
        }
        if (!holdsJointOf(side)) {
            removeJointlessFragment(side);
        }
    }
}

FractureBody::DroppedParts FractureBody::dropBody(HardBody* body, bool renewTrees) {
    DroppedParts out;
    if (!body) {
        return out;
    }
    collectJointsOf(body, out.joints);
    for (DynamicStress* joint : out.joints) {
        takeJointOut(joint);
    }
    dropFromLists(body);
    dropLeftoverFragments(out.joints, out.bodies);
    if (renewTrees) {
        renewStressTrees();
    }
    return out;
}

// Each joint of any list of the tree that ties the body, once.
void FractureBody::collectJointsOf(const HardBody* body, std::vector<DynamicStress*>& out) const {
    for (const JointList* list : {&activeJoints, &deactivatedJoints, &ownJoints, &offJoints}) {
        for (DynamicStress* joint : *list) {
            if (touches(joint, body) && std::find(out.begin(), out.end(), joint) == out.end()) {
                out.push_back(joint);
            }
        }
    }
    for (const FractureBody* child : children) {
        child->collectJointsOf(body, out);
    }
}

// Out of every list of the tree and of both ends' joint lists, with the counts that
// go with the lists.
void FractureBody::takeJointOut(DynamicStress* joint) {
    if (fl::unlink(deactivatedJoints, joint) && pendingBreaks > 0) {
        --pendingBreaks;
    }
    fl::unlink(ownJoints, joint);
    fl::unlink(activeJoints, joint);
    if (fl::unlink(offJoints, joint) && brokenCount > 0) {
        --brokenCount;
    }
    for (FractureBody* child : children) {
        child->takeJointOut(joint);
    }
    unlinkJoint(joint->getCNode(), joint);
    unlinkJoint(joint->getPNode(), joint);
}

// Out of the fragment or disconnected list of whichever body of the tree holds it.
bool FractureBody::dropFromLists(HardBody* body) {
    PrivateHardBody* held = fl::find(fragments, body);
    FragmentList* list = &fragments;
    if (!held) {
        held = fl::find(disconnectedBodies, body);
        list = &disconnectedBodies;
    }
    if (held) {
        held->deActivate();
        list->remove(held);
        detach(held);
        return true;
    }
    for (FractureBody* child : children) {
        if (child->dropFromLists(body)) {
            return true;
        }
    }
    return false;
}

// A fragment that the dropped joints leave without a joint goes as well.
void FractureBody::dropLeftoverFragments(const std::vector<DynamicStress*>& joints,
                                         std::vector<PrivateHardBody*>& left) {
    for (DynamicStress* joint : joints) {
        for (PrivateHardBody* side : {joint->getCNode(), joint->getPNode()}) {
            if (side && fragments.contains(side) && !holdsJointOf(side)) {
                removeJointlessFragment(side);
                left.push_back(side);
            }
        }
    }
    for (FractureBody* child : children) {
        child->dropLeftoverFragments(joints, left);
    }
}

void FractureBody::renewStressTrees() {
    releaseFragmentBuffer();
    if (stressTree) {
        buildStressTree();
    }
    for (FractureBody* child : children) {
        child->renewStressTrees();
    }
}

// A joint filed under the body and still in one of the lists answers at once; only a
// body without one (about to be removed, or joined by joints it does not list) walks
// the lists.
bool FractureBody::holdsJointOf(const PrivateHardBody* body) const {
    for (DynamicStress* joint : body->joints) {
        if (touches(joint, body) &&
            (activeJoints.contains(joint) || deactivatedJoints.contains(joint) || ownJoints.contains(joint))) {
            return true;
        }
    }
    return findJointOfBody(body) != nullptr;
}

void FractureBody::setPropagationType(unsigned int value) {
    propagationType = value <= 1 ? static_cast<std::int32_t>(value) : 2;
    for (FractureBody* child : children) {
        child->setPropagationType(value);
    }
}

void FractureBody::clearFragmentJointLists() {
    for (PrivateHardBody* f : fragments) {
        detach(f);
    }
    deleteJoints(deactivatedJoints);
    offJoints.clear();
    offJoints.releaseSpares();
    brokenCount = 0;
    pendingBreaks = 0;
    deleteJoints(ownJoints);
    deleteJoints(activeJoints);
    // The descendants' fragments held joints deleted above: they are detached too.
    destroyChildren(true);
}

// A child's destructor leaves its own children alone, so the whole subtree is taken
// down here, deepest first. The joints stay: they are also filed in this body's own
// joint list, which the child's split inherited them from.
void FractureBody::destroyChildren(bool detachFragments) {
    for (FractureBody* child : children) {
        child->destroyChildren(detachFragments);
        if (detachFragments) {
            for (PrivateHardBody* f : child->fragments) {
                detach(f);
            }
        }
        delete child;
    }
    children.clear();
    childCursor = nullptr;
    iterationMarks[3] = 0;
}
