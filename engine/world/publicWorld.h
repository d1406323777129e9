#pragma once

#include <cstdint>

#include "math/qmtVector3.h"

class HardBody;
class DynamicStress;

// Bits of PublicWorld::worldFlags.
inline constexpr std::uint32_t WORLD_AIR_DAMPING = 1;
inline constexpr std::uint32_t WORLD_FRICTION = 2;  // a setting for the host; the engine never reads it
inline constexpr std::uint32_t WORLD_GRAVITY = 4;
inline constexpr std::uint32_t WORLD_DETECT_MODE = 8;         // detect contacts, resolve nothing
inline constexpr std::uint32_t WORLD_REPORT_COLLISIONS = 16;  // keep the collision report
inline constexpr std::uint32_t WORLD_BODY_CHANGE_STATE = 64;  // a body changed state in the last cycle
inline constexpr std::uint32_t WORLD_BODY_DEACTIVATION = 128;  // resting bodies go to sleep

// Public interface of the engine world: the world-wide settings, counts and momentum
// figures as plain public data (the host reads gravity, flags and the body count
// directly) and the 42 virtual operations that PrivateWorld implements.
class PublicWorld {
public:
    Qmt::QmtVector3 momentumLineal;   // sum of m v over the dynamic bodies
    Qmt::QmtVector3 momentumAngular;  // sum of L + m (x cross v)
    double energy = 0.0;              // linearEnergy + rotationalEnergy
    double linearEnergy = 0.0;        // sum of m |v|^2
    double rotationalEnergy = 0.0;    // sum of L . w
    double minEnergy = 0.0;
    Qmt::QmtVector3 gravity;
    std::uint32_t worldFlags = WORLD_AIR_DAMPING | WORLD_FRICTION | WORLD_GRAVITY;
    double timeScale = 1.0;  // carried along; nothing in the engine reads it
    std::int32_t nDynamicBodies = 0;
    std::int32_t nStaticBodies = 0;
    std::int32_t nBodies = 0;
    std::uint64_t reserved[4] = {};  // carried along by the copy operations

    // Momenta and gravity zero, flags 7 (air damping, friction, gravity).
    PublicWorld();
    // Member-wise, the reserved words and the time scale included.
    PublicWorld(const PublicWorld& other);
    PublicWorld& operator=(const PublicWorld& other);

    // ---- virtual operations, in slot order ----
    virtual bool bboxOverlap(HardBody* a, HardBody* b) = 0;
    virtual double bodyDistance(HardBody* a, HardBody* b, std::uint32_t& vertexA,
                                std::uint32_t& vertexB, std::uint32_t& faceA, std::uint32_t& faceB,
                                Qmt::QmtVector3& pointA, Qmt::QmtVector3& pointB) = 0;
    virtual void restoreInitialState(HardBody* body) = 0;
    virtual bool reinsertBodyTree(HardBody* body) = 0;
    virtual bool reset() = 0;
    virtual void clear() = 0;
    virtual bool step(double dt, std::uint64_t* out) = 0;
    virtual bool alignListedBodies() = 0;
    virtual bool advance(double dt, std::uint64_t* out) = 0;
    virtual bool manageCollisions(double dt) = 0;
    virtual void postCollisionUpdate() = 0;
    virtual void applyImpulseAtPoint(HardBody* body, double restitution, double friction,
                                     Qmt::QmtVector3 point, double pointMass,
                                     Qmt::QmtVector3 normal, Qmt::QmtVector3& pointVelocity) = 0;
    virtual bool contains(HardBody* body) = 0;
    virtual bool addBody(HardBody* body, unsigned int flag) = 0;
    virtual bool removeBody(HardBody* body) = 0;
    virtual bool reinsertBody(HardBody* body) = 0;
    virtual bool deactivateBody(HardBody* body) = 0;
    virtual void makeDynamic(HardBody* body, HardBody* fractureBody) = 0;
    virtual void makeStatic(HardBody* body, HardBody* fractureBody) = 0;
    virtual bool breakFractureJoint(DynamicStress* joint, HardBody* fractureBody) = 0;
    virtual bool addFractureJoint(DynamicStress* joint, HardBody* fractureBody) = 0;
    virtual void checkWorld() = 0;
    virtual int clearDynamicLists() = 0;
    virtual int deleteFreeBodies() = 0;
    virtual void clearAllLists() = 0;
    virtual void deleteAllBodies() = 0;
    virtual unsigned int countBodies() = 0;
    virtual int getCollidingBodies(HardBody* body, HardBody*** bodies) = 0;
    virtual int getReportedContactPoints(HardBody* a, HardBody* b, Qmt::QmtVector3** points) = 0;
    virtual int getPairContactPoints(HardBody* a, HardBody* b, Qmt::QmtVector3** normals,
                                     double** depths) = 0;
    virtual void clearCollisionReport() = 0;
    virtual HardBody* findBodyByName(const char* name) = 0;
    virtual void switchStaticDynamic(HardBody* body, bool dynamic) = 0;
    virtual void startTimer() = 0;
    virtual void stopTimer() = 0;
    virtual double getLastStepTime() = 0;
    virtual void useAllThreads() = 0;
    virtual void useSingleThread() = 0;
    virtual void setThreadCount(unsigned int n) = 0;
    virtual unsigned int getThreadCount() = 0;
    virtual int getProcessorCount() = 0;
    virtual ~PublicWorld();

    // ---- data accessors ----
    int getNumberOfBodies() const { return nBodies; }
    int getNumberOfStaticBodies() const { return nStaticBodies; }
    Qmt::QmtVector3 GetMomentumLineal() const { return momentumLineal; }
    Qmt::QmtVector3 GetMomentumAngular() const { return momentumAngular; }
    double GetEnergy() const { return energy; }
    double GetMinEnergy() const { return minEnergy; }
    void SetMinEnergy(double value) { minEnergy = value; }
    Qmt::QmtVector3 GetGravity() const { return gravity; }
    void SetGravity(const Qmt::QmtVector3& g) { gravity = g; }

    // ---- flag word ----
    void enableAirDamping() { worldFlags |= WORLD_AIR_DAMPING; }
    void disableAirDamping() { worldFlags &= ~WORLD_AIR_DAMPING; }
    bool isAirDampingActive() const { return (worldFlags & WORLD_AIR_DAMPING) != 0; }
    void enableFriction() { worldFlags |= WORLD_FRICTION; }
    void disableFriction() { worldFlags &= ~WORLD_FRICTION; }
    bool isFrictionActive() const { return (worldFlags & WORLD_FRICTION) != 0; }
    void enableGravity() { worldFlags |= WORLD_GRAVITY; }
    void disableGravity() { worldFlags &= ~WORLD_GRAVITY; }
    bool isGravityActive() const { return (worldFlags & WORLD_GRAVITY) != 0; }
    void enableDetectMode() { worldFlags |= WORLD_DETECT_MODE; }
    void disableDetectMode() { worldFlags &= ~WORLD_DETECT_MODE; }
    bool isDetectModeActive() const { return (worldFlags & WORLD_DETECT_MODE) != 0; }
    void enableRepportCollisions() { worldFlags |= WORLD_REPORT_COLLISIONS; }
    void disableRepportCollisions() { worldFlags &= ~WORLD_REPORT_COLLISIONS; }
    bool isRepportCollisionsActive() const { return (worldFlags & WORLD_REPORT_COLLISIONS) != 0; }
    void enableBodyChangeState() { worldFlags |= WORLD_BODY_CHANGE_STATE; }
    void disableBodyChangeState() { worldFlags &= ~WORLD_BODY_CHANGE_STATE; }
    bool isBodyChangeState() const { return (worldFlags & WORLD_BODY_CHANGE_STATE) != 0; }
    void enableBodyDeactivation() { worldFlags |= WORLD_BODY_DEACTIVATION; }
    void disableBodyDeactivation() { worldFlags &= ~WORLD_BODY_DEACTIVATION; }
    bool isBodyDeactivationEnabled() const { return (worldFlags & WORLD_BODY_DEACTIVATION) != 0; }
};
