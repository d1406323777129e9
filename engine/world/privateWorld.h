#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "engine/collision/collisionManager.h"
#include "engine/world/publicWorld.h"
#include "engine/world/worldBodyList.h"

// Next body index to hand out; shared by every world of the process and never reset.
extern std::int32_t bodyIndexCounter;

// A body without an index (-1) takes the counter's value and the counter moves on; a
// body that already has one lifts the counter past it.
void assignBodyIndex(HardBody* body);

// The engine world: bodies filed by state in pooled lists (dynamic and static ones
// ordered by body index), the filing and lookup operations, and the fixed-substep
// step with collision management.
//
// Every body sits in at most one of aBodies, aStaticBodies and adeActivatedBodies;
// a sleeping body is in adeActivatedBodies and aReactivationBodies at once; crackers
// and barriers are only in their own lists.
class PrivateWorld : public PublicWorld {
public:
    // Internal substep of step: 1/300 s.
    static constexpr double SUBSTEP = 0.0033333333333333335;
    // Gravity is handed to resolution as a unit vector made with this tolerance.
    static constexpr double GRAVITY_TOLERANCE = 9.999999974752427e-7;
    // Resolution modes: right after detection, and inside a substep.
    static constexpr int RESOLVE_AFTER_DETECTION = 1;
    static constexpr int RESOLVE_IN_SUBSTEP = 2;
    // Notice handed to the convex solver when the world is reset.
    static constexpr int RESET_NOTICE = 8;

    std::unique_ptr<CollisionManager> collisionManager;  // owned; operations skip it when absent
    double currentDt = 0.0;      // time step in force (the last substep's length after step)
    double lastStepTime = 0.0;   // seconds between startTimer and stopTimer
    std::uint32_t activeBodyCount = 0;  // bodies integrated in the last substep + nStaticBodies
    WorldBodyList aBodies{WorldBodyList::DYNAMIC};
    WorldBodyList aStaticBodies{WorldBodyList::STATIC};
    // Out of the simulation: asleep, split, deactivated.
    WorldBodyList adeActivatedBodies{WorldBodyList::DEACTIVATED};
    // Asleep and watched for waking.
    WorldBodyList aReactivationBodies{WorldBodyList::REACTIVATION};
    WorldBodyList aCrackers{WorldBodyList::CRACKERS};
    WorldBodyList aBarriers{WorldBodyList::BARRIERS};

    // Gravity (0, -10, 0) and a new collision manager; throws std::bad_alloc when the
    // manager cannot be made.
    PrivateWorld();
    PrivateWorld(const PrivateWorld&) = delete;
    PrivateWorld& operator=(const PrivateWorld&) = delete;
    // Deletes the manager, then every body the world holds.
    ~PrivateWorld() override;

    bool bboxOverlap(HardBody* a, HardBody* b) override;
    double bodyDistance(HardBody* a, HardBody* b, std::uint32_t& vertexA, std::uint32_t& vertexB,
                        std::uint32_t& faceA, std::uint32_t& faceB, Qmt::QmtVector3& pointA,
                        Qmt::QmtVector3& pointB) override;
    void restoreInitialState(HardBody* body) override;
    bool reinsertBodyTree(HardBody* body) override;
    bool reset() override;
    void clear() override;
    bool step(double dt, std::uint64_t* out) override;
    bool alignListedBodies() override;
    bool advance(double dt, std::uint64_t* out) override;
    bool manageCollisions(double dt) override;
    void postCollisionUpdate() override;
    void applyImpulseAtPoint(HardBody* body, double restitution, double friction,
                             Qmt::QmtVector3 point, double pointMass, Qmt::QmtVector3 normal,
                             Qmt::QmtVector3& pointVelocity) override;
    bool contains(HardBody* body) override;
    bool addBody(HardBody* body, unsigned int flag) override;
    bool removeBody(HardBody* body) override;
    bool reinsertBody(HardBody* body) override;
    bool deactivateBody(HardBody* body) override;
    void makeDynamic(HardBody* body, HardBody* fractureBody) override;
    void makeStatic(HardBody* body, HardBody* fractureBody) override;
    bool breakFractureJoint(DynamicStress* joint, HardBody* fractureBody) override;
    bool addFractureJoint(DynamicStress* joint, HardBody* fractureBody) override;
    void checkWorld() override;
    int clearDynamicLists() override;
    int deleteFreeBodies() override;
    void clearAllLists() override;
    void deleteAllBodies() override;
    unsigned int countBodies() override;
    int getCollidingBodies(HardBody* body, HardBody*** bodies) override;
    int getReportedContactPoints(HardBody* a, HardBody* b, Qmt::QmtVector3** points) override;
    int getPairContactPoints(HardBody* a, HardBody* b, Qmt::QmtVector3** normals,
                             double** depths) override;
    void clearCollisionReport() override;
    HardBody* findBodyByName(const char* name) override;
    void switchStaticDynamic(HardBody* body, bool dynamic) override;
    void startTimer() override;
    void stopTimer() override;
    double getLastStepTime() override;
    void useAllThreads() override;
    void useSingleThread() override;
    void setThreadCount(unsigned int n) override;
    unsigned int getThreadCount() override;
    int getProcessorCount() override;

    void enableContactGroups();
    void disableContactGroups();
    // Fills the momentum and energy members from aBodies and returns energy.
    double computeEnergyAndMomentum();
    // restoreDynState on every body of aBodies.
    void restoreDynStates();

    // ---- passes of step and manageCollisions ----
    // Gravity and velocity integration of every active body of aBodies.
    void integrateVelocitiesPass(double dt);
    // storeDynState on aBodies, adeActivatedBodies and aStaticBodies.
    void storeDynStates();
    // Static bodies hit for the first time become dynamic, dynamic ones marked first-hit
    // and static become static.
    void syncFirstHitBodies();
    // Wakes reactivated sleepers, integrates positions of the active bodies and puts
    // the inactive ones to sleep.
    void updateBodyActivity(double dt);
    // Contact stages, in-contact and world-state bits back to their start before
    // detection; the manager's pairs released.
    void resetContactStates();

private:
    // Unlinks the body from adeActivatedBodies and, when it was there, from
    // aReactivationBodies as well: a sleeper that is filed elsewhere or deleted must
    // not be woken into aBodies later. True when it was in adeActivatedBodies.
    bool unlinkDeactivated(HardBody* body);

    // Scratch of the collecting passes, kept to avoid an allocation per step.
    std::vector<HardBody*> scratch_;
    std::vector<HardBody*> passBodies_;  // the bodies of a pass over each body alone
    template <class Work>
    void forEachBodyAlone(const BodyList& list, Work&& work);
};
