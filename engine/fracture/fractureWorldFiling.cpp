#include "engine/fracture/fractureWorldFiling.h"

#include <cstdio>

#include "engine/bodies/privateHardBody.h"
#include "engine/fracture/dynamicStress.h"
#include "engine/fracture/fractureBody.h"
#include "engine/world/publicWorld.h"
#include "geometry/mesh/debugLog.h"

FractureBody* asFractureBody(HardBody* body) {
    // The class decides, not the kind code alone: a body of another class that carries
    // the fracture kind must not be treated as a compound.
    return body && body->getType() == HB_FRACTURE ? dynamic_cast<FractureBody*>(body) : nullptr;
}

void fileFractureBodyParts(PublicWorld& world, FractureBody& body) {
    for (PrivateHardBody* f : body.fragments) {
        world.removeBody(f);
    }
    for (PrivateHardBody* d : body.disconnectedBodies) {
        world.addBody(d, 0);
    }
    body.removeDisconectBodies();
}

void returnFractureBodyParts(PublicWorld& world, FractureBody& body) {
    for (FractureBody* child : body.children) {
        world.removeBody(child);
    }
    for (PrivateHardBody* f : body.fragments) {
        world.addBody(f, 0);
    }
}

bool breakFractureBodyJoint(PublicWorld& world, FractureBody& body, DynamicStress* joint) {
    if (!joint) {
        return true;
    }
    body.removeJoint(joint);
    for (PrivateHardBody* side : {joint->getCNode(), joint->getPNode()}) {
        if (side && !body.hasFragment(side)) {
            world.addBody(side, 0);
        }
    }
    return true;
}

void reinsertFractureBodyTree(PublicWorld& world, FractureBody& body) {
    if (!body.isSplitted()) {
        if (body.isActive()) {
            world.reinsertBody(&body);
        }
        return;
    }
    for (PrivateHardBody* d : body.disconnectedBodies) {
        world.reinsertBody(d);
    }
    for (FractureBody* child : body.children) {
        world.reinsertBodyTree(child);
    }
}

int fractureBodyCountBeyondItself(const FractureBody& body) {
    return static_cast<int>(body.getNJointBodies()) - 1;
}

void logFractureBody(FractureBody& body) {
    debugLog(stdout, "fracture body %s\n", body.transform.name);
    for (PrivateHardBody* f = body.getFirstBody(); f; f = body.getNextBody()) {
        debugLog(stdout, "  fragment %s\n", f->transform.name);
    }
    for (PrivateHardBody* d = body.getFirstDisconectBody(); d; d = body.getNextDisconectBody()) {
        debugLog(stdout, "  disconnected %s\n", d->transform.name);
    }
    for (DynamicStress* j = body.getFirstActiveJoint(); j; j = body.getNextActiveJoint()) {
        debugLog(stdout, "  joint %s\n", j->getName());
    }
}

bool isSplitFractureBody(HardBody* body) {
    const FractureBody* const fb = asFractureBody(body);
    return fb && fb->isSplitted();
}
