// Moving fragments and joints out of a fracture body's lists and keeping the lists
// consistent with each other; teardown of the joints and of the children.

#include <algorithm>

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

// The body no longer belongs to any joint of a fracture body.
void detach(PrivateHardBody* body) {
    body->joints.clear();
    body->jointCount = 0;
    body->disableJoined();
    body->setParent(nullptr);
}

PrivateHardBody* findIn(const FractureBody::FragmentList& list, const HardBody* body) {
    for (PrivateHardBody* b : list) {
        if (b == body) {
            return b;
        }
    }
    return nullptr;
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
    if (PrivateHardBody* const fragment = findIn(fragments, body)) {
        fragment->deActivate();
        fragments.remove(fragment);
        // Every joint that holds the fragment goes, and with it every neighbour that
        // it leaves without a joint.
        for (JointList* list : {&activeJoints, &deactivatedJoints}) {
            while (DynamicStress* const joint = firstJointTouching(*list, fragment)) {
                joint->deActivate();
                removeJoint(joint);
            }
        }
        detach(fragment);
        return;
    }
    if (PrivateHardBody* const loose = findIn(disconnectedBodies, body)) {
        loose->deActivate();
        disconnectedBodies.remove(loose);
        detach(loose);
        return;
    }
    for (FractureBody* child : children) {
        child->removeFragment(body);
    }
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
        if (side && !findJointOfBody(side)) {
            removeFragment(side);
        }
    }
}

FractureBody::DroppedParts FractureBody::dropBody(HardBody* body) {
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
    renewStressTrees();
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
    PrivateHardBody* held = findIn(fragments, body);
    FragmentList* list = &fragments;
    if (!held) {
        held = findIn(disconnectedBodies, body);
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
            if (side && findIn(fragments, side) && !findJointOfBody(side)) {
                removeFragment(side);
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
