// Construction, copying, accessors, iteration and the single-joint moves of the
// fracture body.

#include "engine/fracture/fractureBody.h"

#include <algorithm>
#include <cmath>

#include "engine/bodies/privateHardBody.h"
#include "engine/fracture/dynamicStress.h"
#include "engine/fracture/fractureLists.h"
#include "geometry/bounds/boxTree.h"

namespace fl = fracture_lists;

namespace {

enum IterationMark { OFF_WALK = 0, ACTIVE_WALK = 1, BODY_WALK = 2, CHILD_WALK = 3 };

// "First" of an iteration pair: an empty list leaves cursor and mark as they were.
template <class T, bool I>
T firstOf(const PooledList<T, I>& list, typename PooledList<T, I>::Node*& cursor, std::uint8_t& mark) {
    typename PooledList<T, I>::Node* const first = fl::firstNode(list);
    if (!first) {
        return nullptr;
    }
    cursor = first;
    mark = 1;
    return first->value;
}

// "Next": the following element, or null with the mark cleared at the end.
template <class Node>
auto nextOf(Node*& cursor, std::uint8_t& mark) -> decltype(cursor->value) {
    if (cursor) {
        cursor = cursor->next;
    }
    if (!cursor) {
        mark = 0;
        return nullptr;
    }
    return cursor->value;
}

bool touches(const DynamicStress* joint, const HardBody* body) {
    return joint->getCNode() == body || joint->getPNode() == body;
}

}  // namespace

FractureBody::FractureBody() { type = HB_FRACTURE; }

FractureBody::FractureBody(const FractureBody& other)
    : HardBody(other),
      ownJoints(other.ownJoints),
      disconnectedBodies(other.disconnectedBodies),
      fragments(other.fragments),
      deactivatedJoints(other.deactivatedJoints),
      activeJoints(other.activeJoints),
      offJoints(other.offJoints),
      children(other.children) {
    copyFrom(other);
}

FractureBody& FractureBody::operator=(const FractureBody& other) {
    if (this == &other) {
        return *this;
    }
    HardBody::operator=(other);
    if (stressTree != other.stressTree) {
        releaseStressTree();
    }
    if (fragmentBuffer != other.fragmentBuffer) {
        releaseFragmentBuffer();
    }
    ownJoints = other.ownJoints;
    disconnectedBodies = other.disconnectedBodies;
    fragments = other.fragments;
    deactivatedJoints = other.deactivatedJoints;
    activeJoints = other.activeJoints;
    offJoints = other.offJoints;
    children = other.children;
    copyFrom(other);
    return *this;
}

// Counters, thresholds and saved state are copied; the tree and the buffer are
// shared, owned by the source alone; the cursors would point into the source's
// nodes, so the copy starts with none.
void FractureBody::copyFrom(const FractureBody& other) {
    const bool keepsTree = stressTree == other.stressTree && ownsStressTree_ && stressTree;
    const bool keepsBuffer = fragmentBuffer == other.fragmentBuffer && ownsFragmentBuffer_ && fragmentBuffer;
    pendingBreaks = other.pendingBreaks;
    brokenCount = other.brokenCount;
    childCounter = other.childCounter;
    jointCursor = nullptr;
    bodyCursor = nullptr;
    childCursor = nullptr;
    std::fill(std::begin(iterationMarks), std::end(iterationMarks), std::uint8_t{0});
    crackCount = other.crackCount;
    maxCracks = other.maxCracks;
    stressTree = other.stressTree;
    ownsStressTree_ = keepsTree;
    propagationType = other.propagationType;
    initialCentreOffset = other.initialCentreOffset;
    initialBoxSize = other.initialBoxSize;
    initialLocalAxes = other.initialLocalAxes;
    fragmentBuffer = other.fragmentBuffer;
    ownsFragmentBuffer_ = keepsBuffer;
    bufferOrder_ = other.bufferOrder_;
    globalStressThreshold = other.globalStressThreshold;
    randomThreshold = other.randomThreshold;
    secImpactPercent = other.secImpactPercent;
    secImpactReferenceMass = other.secImpactReferenceMass;
}

FractureBody::~FractureBody() {
    for (PrivateHardBody* f : fragments) {
        f->setParent(nullptr);
    }
    pendingBreaks = 0;
    brokenCount = 0;
    childCounter = 0;
    releaseStressTree();
    releaseFragmentBuffer();
}

void FractureBody::releaseStressTree() {
    if (ownsStressTree_) {
        delete stressTree;
    }
    stressTree = nullptr;
    ownsStressTree_ = true;
}

void FractureBody::releaseFragmentBuffer() {
    if (ownsFragmentBuffer_) {
        delete[] fragmentBuffer;
    }
    fragmentBuffer = nullptr;
    ownsFragmentBuffer_ = true;
    bufferOrder_.clear();
}

void FractureBody::adquireVelocity(HardBody* other) {
    if (!other) {
        return;
    }
    setLinearVelocity(other->getDyn().v);
    setAngularVelocity(other->getDyn().w);
}

// ---- iteration ----

DynamicStress* FractureBody::getFirstActiveJoint() {
    return firstOf(activeJoints, jointCursor, iterationMarks[ACTIVE_WALK]);
}
DynamicStress* FractureBody::getNextActiveJoint() { return nextOf(jointCursor, iterationMarks[ACTIVE_WALK]); }
DynamicStress* FractureBody::getFirstOffJoint() { return firstOf(offJoints, jointCursor, iterationMarks[OFF_WALK]); }
DynamicStress* FractureBody::getNextOffJoint() { return nextOf(jointCursor, iterationMarks[OFF_WALK]); }
PrivateHardBody* FractureBody::getFirstBody() { return firstOf(fragments, bodyCursor, iterationMarks[BODY_WALK]); }
PrivateHardBody* FractureBody::getNextBody() { return nextOf(bodyCursor, iterationMarks[BODY_WALK]); }
PrivateHardBody* FractureBody::getFirstDisconectBody() {
    return firstOf(disconnectedBodies, bodyCursor, iterationMarks[BODY_WALK]);
}
PrivateHardBody* FractureBody::getNextDisconectBody() { return getNextBody(); }
FractureBody* FractureBody::getFirstFBody() { return firstOf(children, childCursor, iterationMarks[CHILD_WALK]); }
FractureBody* FractureBody::getNextFBody() { return nextOf(childCursor, iterationMarks[CHILD_WALK]); }

// ---- joint moves ----

bool FractureBody::deActivateJoint(DynamicStress* joint) {
    if (!joint) {
        return false;
    }
    if (fl::unlink(activeJoints, joint)) {
        fl::append(deactivatedJoints, joint);
        ++pendingBreaks;
        joint->deActivate();
        return true;
    }
    for (FractureBody* child : children) {
        if (child->deActivateJoint(joint)) {
            return true;
        }
    }
    return false;
}

void FractureBody::activateJoint(DynamicStress* joint) {
    if (!joint || !fl::unlink(deactivatedJoints, joint)) {
        return;
    }
    fl::append(activeJoints, joint);
    --pendingBreaks;
    joint->activate();
}

void FractureBody::removeDeactivatedJointsFromActiveList() {
    JointList::Node* n = fl::firstNode(activeJoints);
    while (n) {
        JointList::Node* const next = n->next;
        DynamicStress* const joint = n->value;
        if (!joint->isActive()) {
            activeJoints.remove(joint);
            deactivatedJoints.pushFront(joint);
        }
        n = next;
    }
    pendingBreaks = deactivatedJoints.count;
}

void FractureBody::gatherBrokenJoints() {
    for (FractureBody* child : children) {
        child->gatherBrokenJoints();
        for (DynamicStress* joint : child->offJoints) {
            offJoints.pushFront(joint);
            ++brokenCount;
        }
        child->offJoints.clear();
        child->brokenCount = 0;
    }
}

void FractureBody::ClearBrokenJointsList() {
    offJoints.clear();
    brokenCount = 0;
}

void FractureBody::removeDisconectBodies() { disconnectedBodies.clear(); }

void FractureBody::setUpActiveJoints() { registerJoints(activeJoints); }

void FractureBody::adoptJointSides(PrivateHardBody* const (&sides)[2]) {
    for (PrivateHardBody* body : sides) {
        if (body && !fl::contains(fragments, body)) {
            fragments.pushFront(body);
            disconnectedBodies.remove(body);
        }
    }
}

void FractureBody::registerJoints(const JointList& list) {
    for (DynamicStress* joint : list) {
        PrivateHardBody* const sides[2] = {joint->getCNode(), joint->getPNode()};
        adoptJointSides(sides);
        for (PrivateHardBody* body : sides) {
            if (body) {
                linkJoint(body, joint);
                body->setParent(this);
            }
        }
    }
}

void FractureBody::addJoint(DynamicStress* joint) {
    if (!joint || !joint->getCNode() || !joint->getPNode()) {
        return;
    }
    if (fl::contains(activeJoints, joint) || fl::contains(deactivatedJoints, joint) ||
        fl::contains(ownJoints, joint)) {
        return;
    }
    fl::insertOrdered(activeJoints, joint, [](const DynamicStress* j) { return j->getIndex(); });
    PrivateHardBody* const sides[2] = {joint->getCNode(), joint->getPNode()};
    for (PrivateHardBody* body : sides) {
        if (!fl::contains(fragments, body)) {
            fl::append(fragments, body);
        }
        disconnectedBodies.remove(body);
    }
    for (PrivateHardBody* body : sides) {
        linkJoint(body, joint);
        body->setParent(this);
    }
    joint->activate();
}

void FractureBody::addDisconectBody(PrivateHardBody* body) {
    if (body && !fl::contains(disconnectedBodies, body)) {
        fl::append(disconnectedBodies, body);
    }
}

bool FractureBody::hasFragment(const HardBody* body) const { return body && fl::contains(fragments, body); }

unsigned int FractureBody::getTreeNodeCount() const { return stressTree ? stressTree->levelCount : 0; }

void FractureBody::linkJoint(PrivateHardBody* body, DynamicStress* joint) {
    if (!body || fl::contains(body->joints, joint)) {
        return;
    }
    ++body->jointCount;
    body->joints.pushFront(joint);
    body->enableJoined();
}

void FractureBody::unlinkJoint(PrivateHardBody* body, DynamicStress* joint) {
    if (!body || !fl::unlink(body->joints, joint)) {
        return;
    }
    // A walk over the list must not go on from a node that left it.
    body->jointCursor = nullptr;
    body->jointCursorActive = 0;
    if (body->jointCount > 0) {
        --body->jointCount;
    }
    if (body->joints.count == 0) {
        body->disableJoined();
    }
}

DynamicStress* FractureBody::findFragmentJoint(const PrivateHardBody* fragment, const HardBody* body) {
    if (!fragment) {
        return nullptr;
    }
    for (DynamicStress* joint : fragment->joints) {
        if (touches(joint, body)) {
            return joint;
        }
    }
    return nullptr;
}

DynamicStress* FractureBody::findJointOfBody(const HardBody* body) const {
    for (const JointList* list : {&activeJoints, &deactivatedJoints, &ownJoints}) {
        for (DynamicStress* joint : *list) {
            if (touches(joint, body)) {
                return joint;
            }
        }
    }
    return nullptr;
}

void FractureBody::updateStaticBit() {
    if (isFirstHit(false) || hasStaticBodies()) {
        enableStatic();
    } else {
        disableStatic();
    }
}

// ---- queries ----

bool FractureBody::hasStaticBodies() const {
    return std::any_of(fragments.begin(), fragments.end(), [](const PrivateHardBody* f) { return f->isStatic(); });
}

bool FractureBody::validateDisconnectBodiesGroups() const {
    for (const PrivateHardBody* d : disconnectedBodies) {
        for (const PrivateHardBody* f : fragments) {
            if (d->getGroupID() == f->getGroupID()) {
                return true;
            }
        }
    }
    return false;
}

// Whether the body is heavy enough, against the reference mass, to take secondary
// cracks. A body with a stress tree has had them; without a reference mass the
// quotient means nothing.
bool FractureBody::checkSecImpactsCond() const {
    if (stressTree || secImpactReferenceMass == 0.0) {
        return false;
    }
    const double percent = getMass() / secImpactReferenceMass * 100.0;
    // The truncated quotient compared as a double: no overflow for huge masses.
    return std::trunc(percent) >= static_cast<double>(secImpactPercent);
}

void FractureBody::disableStaticParts() {
    disableStatic();
    for (FractureBody* child : children) {
        child->disableStaticParts();
    }
}
