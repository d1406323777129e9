// The flat creation and deletion functions of fracture bodies.

#include <new>

#include "engine/fracture/fractureBody.h"
#include "engine/world/engineApi.h"
#include "engine/world/publicWorld.h"

HardBody* createFractureBody() {
    auto* const body = new (std::nothrow) FractureBody();
    if (!body) {
        return nullptr;
    }
    // A list whose head could not be made would silently drop everything filed in it.
    const bool complete = body->ownJoints.head && body->disconnectedBodies.head && body->fragments.head &&
                          body->deactivatedJoints.head && body->activeJoints.head && body->offJoints.head &&
                          body->children.head;
    if (!complete) {
        delete body;
        return nullptr;
    }
    return body;
}

void deleteFractureBody(FractureBody** body) {
    if (!body || !*body) {
        return;
    }
    if (PublicWorld* const world = engineWorld()) {
        world->removeBody(*body);
    }
    (*body)->clearFragmentJointLists();
    delete *body;
    *body = nullptr;
}
