// The world record and the operations that file bodies in its lists.

#include "engine/world/privateWorld.h"

#include "engine/bodies/privateHardBody.h"
#include "engine/fracture/dynamicStress.h"
#include "engine/fracture/fractureBody.h"
#include "engine/fracture/fractureWorldFiling.h"

using Qmt::QmtVector3;

std::int32_t bodyIndexCounter = 0;

void assignBodyIndex(HardBody* body) {
    const std::int32_t index = body->transform.index;
    if (index == -1) {
        body->setIndex(bodyIndexCounter++);
    } else if (index >= bodyIndexCounter) {
        bodyIndexCounter = index + 1;
    }
}

PrivateWorld::PrivateWorld() : collisionManager(std::make_unique<CollisionManager>()) {
    gravity = QmtVector3(0.0, -10.0, 0.0);
}

PrivateWorld::~PrivateWorld() {
    collisionManager.reset();
    deleteAllBodies();
}

bool PrivateWorld::unlinkDeactivated(HardBody* body) {
    if (!adeActivatedBodies.remove(body)) {
        return false;
    }
    aReactivationBodies.remove(body);
    return true;
}

bool PrivateWorld::addBody(HardBody* body, unsigned int flag) {
    if (!body) {
        return false;
    }
    if (body->getType() == HB_HULL) {
        const ZYLmesh* const placed = body->getMesh();
        if (collisionManager) {
            collisionManager->notifyConvexSolver(placed ? static_cast<int>(placed->numVertices) : 0);
        }
    }
    if (body->getType() == HB_CRACKER || body->getType() == HB_BARRIER) {
        WorldBodyList& list = body->getType() == HB_CRACKER ? aCrackers : aBarriers;
        if (!list.contains(body)) {
            list.pushFront(body);
            body->activate();
        }
        return true;
    }
    if (flag != 0) {
        // A fragment of a fracture body: the fracture body files it.
        return true;
    }
    body->setLayer(0);
    if (body->isStatic()) {
        body->setAngularVelocity(QmtVector3::ZERO);
        body->setLinearVelocity(QmtVector3::ZERO);
        body->setContactStage(0);
        if (aBodies.contains(body)) {
            removeBody(body);
        }
        unlinkDeactivated(body);
        if (!aStaticBodies.contains(body)) {
            assignBodyIndex(body);
            aStaticBodies.insertByIndex(body);
            body->activate();
            ++nStaticBodies;
        }
    } else {
        if (aStaticBodies.contains(body)) {
            removeBody(body);
        }
        unlinkDeactivated(body);
        if (!aBodies.contains(body)) {
            assignBodyIndex(body);
            aBodies.insertByIndex(body);
            body->activate();
            ++nDynamicBodies;
        }
    }
    // Counted again when it was filed already.
    ++nBodies;
    // A fracture body's fragments leave the lists and its disconnected bodies join them.
    if (FractureBody* const compound = asFractureBody(body)) {
        fileFractureBodyParts(*this, *compound);
    }
    return true;
}

bool PrivateWorld::removeBody(HardBody* body) {
    if (!body) {
        return false;
    }
    if (body->getType() == HB_CRACKER || body->getType() == HB_BARRIER) {
        WorldBodyList& list = body->getType() == HB_CRACKER ? aCrackers : aBarriers;
        if (list.contains(body)) {
            if (collisionManager) {
                collisionManager->releasePairs();
                collisionManager->releaseContactGroups();
            }
            list.remove(body);
        }
        return true;
    }
    if (body->getLayer() != 0) {
        return true;
    }
    if (aBodies.contains(body)) {
        if (collisionManager) {
            collisionManager->releasePairs();
            collisionManager->releaseContactGroups();
        }
        aBodies.remove(body);
        --nDynamicBodies;
        --nBodies;
    } else if (aStaticBodies.contains(body)) {
        if (collisionManager) {
            collisionManager->releasePairs();
            collisionManager->releaseContactGroups();
        }
        aStaticBodies.remove(body);
        --nStaticBodies;
        --nBodies;
    } else {
        unlinkDeactivated(body);
    }
    // A fracture body's children leave with it and its fragments are filed on their own.
    if (FractureBody* const compound = asFractureBody(body)) {
        returnFractureBodyParts(*this, *compound);
    }
    return true;
}

bool PrivateWorld::reinsertBody(HardBody* body) {
    if (!body) {
        return false;
    }
    if (!unlinkDeactivated(body) && !body->isStatic()) {
        aStaticBodies.remove(body);
    }
    addBody(body, 0);
    return true;
}

bool PrivateWorld::deactivateBody(HardBody* body) {
    if (!body) {
        return false;
    }
    if (body->isStatic()) {
        if (aStaticBodies.remove(body)) {
            --nStaticBodies;
        }
    } else if (aBodies.remove(body)) {
        --nDynamicBodies;
    } else if (aStaticBodies.remove(body)) {
        --nStaticBodies;
    }
    if (!adeActivatedBodies.contains(body)) {
        adeActivatedBodies.pushFront(body);
    }
    --nBodies;
    body->deActivate();
    return true;
}

void PrivateWorld::switchStaticDynamic(HardBody* body, bool dynamic) {
    if (!body) {
        return;
    }
    if (dynamic) {
        body->disableStatic();
        if (aStaticBodies.remove(body)) {
            --nStaticBodies;
        }
        if (aBodies.contains(body) || adeActivatedBodies.contains(body)) {
            return;
        }
        aBodies.insertByIndex(body);
        body->activate();
        ++nDynamicBodies;
        return;
    }
    body->enableStatic();
    if (aBodies.remove(body) || unlinkDeactivated(body)) {
        --nDynamicBodies;
    }
    if (aStaticBodies.contains(body)) {
        return;
    }
    body->setAngularVelocity(QmtVector3::ZERO);
    body->setLinearVelocity(QmtVector3::ZERO);
    body->setContactStage(0);
    aStaticBodies.insertByIndex(body);
    body->activate();
    ++nStaticBodies;
}

namespace {

bool isStaticNode(const PrivateHardBody* body) { return body && body->isStatic(); }

}  // namespace

void PrivateWorld::makeStatic(HardBody* body, HardBody* fractureBody) {
    if (!body) {
        return;
    }
    body->enableStatic();
    removeBody(body);
    addBody(body, 0);
    if (!fractureBody) {
        return;
    }
    // A joint between two static bodies can no longer be broken by a force. Only
    // fragments carry joint lists; a compound passed as the body has none to walk.
    if (auto* const owner = dynamic_cast<PrivateHardBody*>(body)) {
        for (DynamicStress* joint = owner->getFirstJoint(); joint; joint = owner->getNextJoint()) {
            if (isStaticNode(joint->getCNode()) && isStaticNode(joint->getPNode())) {
                joint->disableBreakableByForce();
            }
        }
    }
    if (FractureBody* const compound = asFractureBody(fractureBody)) {
        compound->updateFromFragments();
    }
}

void PrivateWorld::makeDynamic(HardBody* body, HardBody* fractureBody) {
    if (!body) {
        return;
    }
    body->disableStatic();
    removeBody(body);
    addBody(body, 0);
    if (!fractureBody) {
        return;
    }
    if (auto* const owner = dynamic_cast<PrivateHardBody*>(body)) {
        for (DynamicStress* joint = owner->getFirstJoint(); joint; joint = owner->getNextJoint()) {
            joint->enableBreakableByForce();
        }
    }
    if (FractureBody* const compound = asFractureBody(fractureBody)) {
        compound->updateFromFragments();
    }
}

bool PrivateWorld::breakFractureJoint(DynamicStress* joint, HardBody* fractureBody) {
    if (!fractureBody) {
        return false;
    }
    if (collisionManager) {
        collisionManager->releasePairs();
        collisionManager->releaseContactGroups();
    }
    // Only a fracture body has joints to remove.
    if (FractureBody* const compound = asFractureBody(fractureBody)) {
        return breakFractureBodyJoint(*this, *compound, joint);
    }
    return true;
}

bool PrivateWorld::addFractureJoint(DynamicStress* joint, HardBody* fractureBody) {
    if (!joint || !fractureBody) {
        return false;
    }
    if (FractureBody* const compound = asFractureBody(fractureBody)) {
        compound->addJoint(joint);
    }
    return true;
}

void PrivateWorld::restoreInitialState(HardBody* body) {
    if (!body) {
        return;
    }
    if (body->getType() == HB_FRACTURE) {
        // Its fragments are re-filed with it.
        removeBody(body);
        body->applyInitialState();
        addBody(body, 0);
        return;
    }
    body->applyInitialState();
}
