#pragma once

#include <cstdint>

#include "engine/world/bodyList.h"
#include "math/qmtVector3.h"

// Contact detection and resolution for one world: the operations the world drives.
// The world calls none of them while it has no manager.
class CollisionManager {
public:
    bool contactGroupsEnabled = false;  // keep contacts in contact groups between steps
    std::uint32_t threadCount = 1;      // lanes the passes use; 1 runs every pass serially

    CollisionManager();
    CollisionManager(const CollisionManager&) = delete;
    CollisionManager& operator=(const CollisionManager&) = delete;
    virtual ~CollisionManager();

    void notifyConvexSolver(int value);
    void releasePairs();
    void releaseContactGroups();
    void clear();

    bool detectCollisions(BodyList& bodies, BodyList& staticBodies, BodyList& reactivationBodies,
                          BodyList& barriers);
    int detectPairs(BodyList& crackers, BodyList& bodies, BodyList& staticBodies);
    bool detectCollisionsThreaded(BodyList& bodies, BodyList& staticBodies,
                                  BodyList& reactivationBodies, BodyList& barriers);
    void updateCollisionReport();
    void resolveCollisions(int mode, const Qmt::QmtVector3& gravityDirection, BodyList& bodies,
                           BodyList& staticBodies, std::uint32_t& flags);
    void settleRestingBodies();
    void resolveActivePairs(BodyList& bodies, int mode, const Qmt::QmtVector3& gravityDirection,
                            std::uint32_t& flags);
    void applyImpulseAtPoint(double restitution, double friction, const Qmt::QmtVector3& point,
                             double pointMass, const Qmt::QmtVector3& normal,
                             Qmt::QmtVector3& pointVelocity, HardBody* body);
    bool alignListedBodies();

    int getCollidingBodies(HardBody* body, HardBody*** bodies);
    int getReportedContactPoints(HardBody* a, HardBody* b, Qmt::QmtVector3** points);
    int getPairContactPoints(HardBody* a, HardBody* b, Qmt::QmtVector3** normals, double** depths);
    void clearCollisionReport();
    void updateLaneCount();
};
