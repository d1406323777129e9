// Emptying the lists, deleting the bodies, counting and walking them.

#include <cstdint>
#include <cstdio>

#include "engine/fracture/fractureBody.h"
#include "engine/fracture/fractureWorldFiling.h"
#include "engine/world/privateWorld.h"
#include "geometry/mesh/debugLog.h"

int PrivateWorld::clearDynamicLists() {
    const int previous = nDynamicBodies;
    aBodies.clear();
    aReactivationBodies.clear();
    adeActivatedBodies.clear();
    nBodies -= nDynamicBodies;
    nDynamicBodies = 0;
    return previous;
}

int PrivateWorld::deleteFreeBodies() {
    const int previous = nDynamicBodies;
    // Sleepers are also in adeActivatedBodies and are deleted from there; their
    // list lets go of them before any body is deleted.
    aReactivationBodies.clear();
    aReactivationBodies.releaseSpares();
    aBodies.deleteBodies();
    adeActivatedBodies.deleteBodies();
    nBodies -= nDynamicBodies;
    nDynamicBodies = 0;
    return previous;
}

void PrivateWorld::clearAllLists() {
    clearDynamicLists();
    aStaticBodies.clear();
    aCrackers.clear();
    aBarriers.clear();
    nStaticBodies = 0;
    nBodies = 0;
    timeScale = 1.0;
}

void PrivateWorld::deleteAllBodies() {
    deleteFreeBodies();
    aStaticBodies.deleteBodies();
    aCrackers.deleteBodies();
    aBarriers.deleteBodies();
    nStaticBodies = 0;
    nBodies = 0;
    timeScale = 1.0;
}

unsigned int PrivateWorld::countBodies() {
    // A fracture body adds its joined fragments less itself; plain bodies count once.
    std::int64_t total = nBodies;
    for (const WorldBodyList* list : {&aBodies, &adeActivatedBodies, &aStaticBodies}) {
        for (HardBody* body : *list) {
            if (const FractureBody* const compound = asFractureBody(body)) {
                total += fractureBodyCountBeyondItself(*compound);
            }
        }
    }
    return static_cast<unsigned int>(total);
}

void PrivateWorld::checkWorld() {
    debugLog(stdout, "static bodies: %u\n", aStaticBodies.count);
    for (const HardBody* body : aStaticBodies) {
        debugLog(stdout, "  %s\n", body->transform.name);
    }
    debugLog(stdout, "dynamic bodies: %u\n", aBodies.count);
    for (HardBody* body : aBodies) {
        debugLog(stdout, "  %s\n", body->transform.name);
        if (FractureBody* const compound = asFractureBody(body)) {
            logFractureBody(*compound);
        }
    }
    debugLog(stdout, "deactivated bodies: %u\n", adeActivatedBodies.count);
    for (const HardBody* body : adeActivatedBodies) {
        debugLog(stdout, "  %s\n", body->transform.name);
    }
}
