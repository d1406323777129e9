// Lookups, box and distance tests, the collision-report and thread forwards, the step
// timer and the momentum figures.

#include <chrono>
#include <cstring>

#include <omp.h>

#include "engine/bodies/bodyDistance.h"
#include "engine/world/privateWorld.h"
#include "geometry/bounds/boxFit.h"

using Qmt::QmtVector3;

namespace {

// Milliseconds of the step timer, kept as 32-bit values so that the difference wraps
// like the counter it measures.
std::int32_t timerStart = 0;
std::int32_t timerStop = 0;

std::int32_t timerNow() {
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<std::int32_t>(
        static_cast<std::uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(now).count()));
}

}  // namespace

bool PrivateWorld::bboxOverlap(HardBody* a, HardBody* b) {
    if (!a || !b) {
        return false;
    }
    // The test runs on boxes of half the bodies' size.
    ZYLbox boxA = a->getBbox();
    ZYLbox boxB = b->getBbox();
    boxA.halfExtents *= 0.5;
    boxB.halfExtents *= 0.5;
    return orientedBoxesOverlap(boxA, boxB);
}

double PrivateWorld::bodyDistance(HardBody* a, HardBody* b, std::uint32_t& vertexA, std::uint32_t& vertexB,
                                  std::uint32_t& faceA, std::uint32_t& faceB, QmtVector3& pointA,
                                  QmtVector3& pointB) {
    // Only hull and triangle-mesh bodies with their convex bounds have a distance.
    return boundDistance(a, b, vertexA, vertexB, faceA, faceB, pointA, pointB);
}

bool PrivateWorld::contains(HardBody* body) {
    if (!body) {
        return false;
    }
    if (body->getType() == HB_BARRIER) {
        return aBarriers.contains(body);
    }
    return aBodies.contains(body) || adeActivatedBodies.contains(body) ||
           aStaticBodies.contains(body);
}

HardBody* PrivateWorld::findBodyByName(const char* name) {
    if (!name) {
        return nullptr;
    }
    for (const WorldBodyList* list : {&aBodies, &adeActivatedBodies, &aStaticBodies}) {
        for (HardBody* body : *list) {
            if (std::strncmp(body->transform.name, name, sizeof body->transform.name) == 0) {
                return body;
            }
        }
    }
    return nullptr;
}

bool PrivateWorld::alignListedBodies() {
    if (collisionManager) {
        collisionManager->alignListedBodies();
    }
    return true;
}

void PrivateWorld::applyImpulseAtPoint(HardBody* body, double restitution, double friction,
                                       QmtVector3 point, double pointMass, QmtVector3 normal,
                                       QmtVector3& pointVelocity) {
    if (collisionManager) {
        collisionManager->applyImpulseAtPoint(restitution, friction, point, pointMass, normal,
                                              pointVelocity, body);
    }
}

int PrivateWorld::getCollidingBodies(HardBody* body, HardBody*** bodies) {
    return collisionManager ? collisionManager->getCollidingBodies(body, bodies) : 0;
}

int PrivateWorld::getReportedContactPoints(HardBody* a, HardBody* b, QmtVector3** points) {
    return collisionManager ? collisionManager->getReportedContactPoints(a, b, points) : 0;
}

int PrivateWorld::getPairContactPoints(HardBody* a, HardBody* b, QmtVector3** normals,
                                       double** depths) {
    return collisionManager ? collisionManager->getPairContactPoints(a, b, normals, depths) : 0;
}

void PrivateWorld::clearCollisionReport() {
    if (collisionManager) {
        collisionManager->clearCollisionReport();
    }
}

void PrivateWorld::startTimer() { timerStart = timerNow(); }

void PrivateWorld::stopTimer() {
    timerStop = timerNow();
    const auto elapsed =
        static_cast<std::int32_t>(static_cast<std::uint32_t>(timerStop) - static_cast<std::uint32_t>(timerStart));
    lastStepTime = elapsed / 1000.0;
}

double PrivateWorld::getLastStepTime() { return lastStepTime; }

void PrivateWorld::useAllThreads() {
    if (collisionManager) {
        collisionManager->updateLaneCount();
    }
}

void PrivateWorld::useSingleThread() {
    if (collisionManager) {
        collisionManager->threadCount = 1;
    }
}

void PrivateWorld::setThreadCount(unsigned int n) {
    if (collisionManager) {
        collisionManager->threadCount = n;
    }
}

unsigned int PrivateWorld::getThreadCount() {
    return collisionManager ? collisionManager->threadCount : 0;
}

int PrivateWorld::getProcessorCount() { return omp_get_num_procs(); }

void PrivateWorld::enableContactGroups() {
    if (collisionManager) {
        collisionManager->contactGroupsEnabled = true;
    }
}

void PrivateWorld::disableContactGroups() {
    if (collisionManager) {
        collisionManager->contactGroupsEnabled = false;
    }
}

double PrivateWorld::computeEnergyAndMomentum() {
    momentumLineal = QmtVector3::ZERO;
    momentumAngular = QmtVector3::ZERO;
    linearEnergy = 0.0;
    rotationalEnergy = 0.0;
    for (const HardBody* body : aBodies) {
        const RBDynamics& d = body->getDyn();
        const double m = 1.0 / d.invMass;
        momentumLineal += d.v * m;
        momentumAngular += d.L + d.position.Cross(d.v) * m;
        linearEnergy += m * d.v.SquaredLength();
        rotationalEnergy += d.L.Dot(d.w);
    }
    energy = linearEnergy + rotationalEnergy;
    return energy;
}

void PrivateWorld::restoreDynStates() {
    for (HardBody* body : aBodies) {
        body->restoreDynState();
    }
}
