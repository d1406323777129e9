#include "engine/collision/collisionManager.h"

// Detection and resolution come with the contact pipeline; until then a manager finds
// no contact and changes nothing.

CollisionManager::CollisionManager() = default;

CollisionManager::~CollisionManager() = default;

void CollisionManager::notifyConvexSolver(int) {}

void CollisionManager::releasePairs() {}

void CollisionManager::releaseContactGroups() {}

void CollisionManager::clear() {}

bool CollisionManager::detectCollisions(BodyList&, BodyList&, BodyList&, BodyList&) { return false; }

int CollisionManager::detectPairs(BodyList&, BodyList&, BodyList&) { return 0; }

bool CollisionManager::detectCollisionsThreaded(BodyList&, BodyList&, BodyList&, BodyList&) {
    return false;
}

void CollisionManager::updateCollisionReport() {}

void CollisionManager::resolveCollisions(int, const Qmt::QmtVector3&, BodyList&, BodyList&,
                                         std::uint32_t&) {}

void CollisionManager::settleRestingBodies() {}

void CollisionManager::resolveActivePairs(BodyList&, int, const Qmt::QmtVector3&, std::uint32_t&) {}

void CollisionManager::applyImpulseAtPoint(double, double, const Qmt::QmtVector3&, double,
                                           const Qmt::QmtVector3&, Qmt::QmtVector3&, HardBody*) {}

bool CollisionManager::alignListedBodies() { return true; }

int CollisionManager::getCollidingBodies(HardBody*, HardBody***) { return 0; }

int CollisionManager::getReportedContactPoints(HardBody*, HardBody*, Qmt::QmtVector3**) { return 0; }

int CollisionManager::getPairContactPoints(HardBody*, HardBody*, Qmt::QmtVector3**, double**) {
    return 0;
}

void CollisionManager::clearCollisionReport() {}

void CollisionManager::updateLaneCount() { threadCount = 1; }
