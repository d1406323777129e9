// The world record and the operations that file bodies in its lists.

#include "engine/world/privateWorld.h"

#include "engine/bodies/privateHardBody.h"
#include "engine/fracture/dynamicStress.h"
#include "engine/fracture/fractureBody.h"
#include "engine/fracture/fractureWorldFiling.h"

using Qmt::QmtVector3;

std::int32_t bodyIndexCounter = 0;

void assignBodyIndex(HardBody* body) {
    std::int32_t& index = body->transform.index;
    if (index == -1) {
        index = bodyIndexCounter++;
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
    if (!unlinkBody(adeActivatedBodies, body)) {
        return false;
    }
    unlinkBody(aReactivationBodies, body);
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
        BodyList& list = body->getType() == HB_CRACKER ? aCrackers : aBarriers;
        if (!listContains(list, body)) {
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
        if (listContains(aBodies, body)) {
            removeBody(body);
        }
        unlinkDeactivated(body);
        if (!listContains(aStaticBodies, body)) {
            assignBodyIndex(body);
            insertByIndex(aStaticBodies, body);
            body->activate();
            ++nStaticBodies;
        }
    } else {
        if (listContains(aStaticBodies, body)) {
            removeBody(body);
        }
        unlinkDeactivated(body);
        if (!listContains(aBodies, body)) {
            assignBodyIndex(body);
            insertByIndex(aBodies, body);
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
        BodyList& list = body->getType() == HB_CRACKER ? aCrackers : aBarriers;
        if (listContains(list, body)) {
            if (collisionManager) {
                collisionManager->releasePairs();
                collisionManager->releaseContactGroups();
            }
            unlinkBody(list, body);
        }
        return true;
    }
    if (body->getLayer() != 0) {
        return true;
    }
    if (listContains(aBodies, body)) {
        if (collisionManager) {
            collisionManager->releasePairs();
            collisionManager->releaseContactGroups();
        }
        unlinkBody(aBodies, body);
        --nDynamicBodies;
        --nBodies;
    } else if (listContains(aStaticBodies, body)) {
        if (collisionManager) {
            collisionManager->releasePairs();
            collisionManager->releaseContactGroups();
        }
        unlinkBody(aStaticBodies, body);
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
        unlinkBody(aStaticBodies, body);
    }
    addBody(body, 0);
    return true;
}

bool PrivateWorld::deactivateBody(HardBody* body) {
    if (!body) {
        return false;
    }
    if (body->isStatic()) {
        if (unlinkBody(aStaticBodies, body)) {
            --nStaticBodies;
        }
    } else if (unlinkBody(aBodies, body)) {
        --nDynamicBodies;
    } else if (unlinkBody(aStaticBodies, body)) {
        --nStaticBodies;
    }
    if (!listContains(adeActivatedBodies, body)) {
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
        if (unlinkBody(aStaticBodies, body)) {
            --nStaticBodies;
        }
        if (listContains(aBodies, body) || listContains(adeActivatedBodies, body)) {
            return;
        }
        insertByIndex(aBodies, body);
        body->activate();
        ++nDynamicBodies;
        return;
    }
    body->enableStatic();
    if (unlinkBody(aBodies, body) || unlinkDeactivated(body)) {
        --nDynamicBodies;
    }
    if (listContains(aStaticBodies, body)) {
        return;
    }
    body->setAngularVelocity(QmtVector3::ZERO);
    body->setLinearVelocity(QmtVector3::ZERO);
    body->setContactStage(0);
    insertByIndex(aStaticBodies, body);
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
