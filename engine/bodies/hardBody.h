#pragma once

#include <cstdint>

#include "engine/bodies/bodyFiling.h"
#include "engine/bodies/rbDynamics.h"
#include "geometry/bounds/boundingVolumes.h"
#include "geometry/mesh/meshRecords.h"
#include "math/qmtMatrix3.h"
#include "math/qmtVector3.h"
#include "math/quaternion.h"

class DynamicStress;

// Body kind codes. 4 is not used.
enum eHBodyType : std::int32_t {
    HB_PHANTOM = 0,   // box body
    HB_CAPSULE = 1,
    HB_HULL = 2,
    HB_TRIMESH = 3,
    HB_FRACTURE = 5,  // compound of fragments
    HB_CRACKER = 6,
    HB_BARRIER = 7,   // infinite plane
};

// Contact state written by contact generation; collision management returns every
// value but MOTION_HELD to MOTION_FREE.
enum EMotionState : std::int32_t {
    MOTION_FREE = 0,
    MOTION_TOUCHING = 1,
    MOTION_HELD = 2,
};

// Bits of HardBody::flags. Bits not named here are free for the body kinds.
inline constexpr std::uint32_t BODY_ACTIVE = 1;         // integrated and collided
inline constexpr std::uint32_t BODY_STATIC = 2;         // never moves
inline constexpr std::uint32_t BODY_WORLD_UPDATED = 4;  // world box and bound are current
inline constexpr std::uint32_t BODY_JOINED = 8;         // part of a compound body
inline constexpr std::uint32_t BODY_IN_CONTACT = 16;
inline constexpr std::uint32_t BODY_FIRST_HIT = 32;     // starts static, waits to be hit
inline constexpr std::uint32_t BODY_PROCESSED = 64;     // handled in the current pass
inline constexpr std::uint32_t BODY_JAGGED = 256;       // carries jagged cut faces

// Number of worker lanes (the calling thread is lane 0).
inline constexpr int BODY_LANES = 32;

// Interface of every simulated body. Holds all of a body's data in public fields (the
// world, the collision and fracture code and the host layer use them directly) and
// declares the 42 virtual operations; PrivateHardBody implements the shape-independent
// ones and the body kinds the rest.
//
// Mesh ownership: a body owns the mesh it was given by setMesh or modify and deletes
// it; a copied body shares its source's mesh without owning it, so the two can be
// destroyed in any order without freeing the mesh twice.
class HardBody {
public:
    std::int32_t contactStage = 0;  // contact stage: 0 ground, k reached through k contacts, -1 none
    std::int32_t layer = 0;
    std::int32_t groupID = 0;
    HardBody* parent = nullptr;     // compound this body belongs to; not owned
    std::uint32_t flags = 0;
    std::uint8_t processedThread[BODY_LANES] = {};  // 1 = claimed or processed by that lane
    eHBodyType type = HB_PHANTOM;
    Qmt::QmtMatrix3 invInertiaLocal = Qmt::QmtMatrix3::IDENTITY;
    Qmt::QmtMatrix3 inertiaLocal = Qmt::QmtMatrix3::IDENTITY;
    Qmt::QmtMatrix3 matrixPivotCm = Qmt::QmtMatrix3::IDENTITY;
    Qmt::QmtVector3 transPivotCm;
    double restitution = 0.0;
    double restitutionInit = 0.0;
    double friction = 0.0;
    double frictionInit = 0.0;
    double extraction = 0.0;   // margin of position corrections; 1 or more: unlimited
    double airDamping = 0.0;   // velocity factor (1 - c) per 1/100 s
    double airDamping2 = 0.0;  // the same on the angular momentum
    double linearEnergy = 0.0;
    double angularEnergy = 0.0;
    double minEnergy = 0.0;
    std::int32_t sleepCount = 0;
    RBDynamics dynInit;
    RBDynamics lastDyn;
    RBDynamics dyn;
    RBDynamics savedLastDyn;
    RBDynamics savedDyn;
    EMotionState collisionState = MOTION_FREE;
    ZYLmesh* mesh = nullptr;
    ZYLcapsule capsule;  // centre, main axis, length along it, width in the radius field
    ZYLbox bbox;         // world oriented box
    BodyTransformRecord transform;
    std::uint32_t cellCode = 0;  // stress-tree cell of a fragment
    // The body's entry in the broad phase of the detection that tracks it; a copy
    // starts without one.
    std::int32_t broadPhaseEntry = -1;
    // The world lists that hold the body; a copy starts in none.
    BodyFiling filing;

    HardBody();
    HardBody(const HardBody& other);
    HardBody& operator=(const HardBody& other);

    // Sets transform.index; the index of a body in the world's lists changes only here,
    // so the lists ordered by index keep track of their order.
    void setIndex(std::int32_t index);

    // ---- virtual operations, in slot order ----
    virtual void setRestitutionCoeff(double value) = 0;
    virtual void setFrictionCoeff(double value) = 0;
    virtual void setAirDampingCoeff(double value);
    virtual void setAirDampingCoeff2(double value);
    virtual void init(const Qmt::QmtVector3& position, const Qmt::QmtMatrix3& rotation,
                      const Qmt::QmtVector3& scale) = 0;
    virtual void activate() = 0;
    virtual void deActivate() = 0;
    virtual bool isFirstHit(bool askParent) const = 0;
    virtual void clearProcessed() = 0;
    virtual void computeInertiaTensor() = 0;
    virtual void setMassCenter(const Qmt::QmtVector3& centre) = 0;
    virtual void modify(ZYLmesh* newMesh) = 0;
    virtual void updateWorldState() = 0;
    virtual double computeEnergy() = 0;
    virtual bool hasMoved() = 0;
    virtual void ApplyBreakEnergy(DynamicStress* joint) = 0;
    virtual void setScale(const Qmt::QmtVector3& scale) = 0;
    virtual void setMass(float mass) = 0;
    virtual void updateInertiaTensor() = 0;
    virtual void setAngularVelocity(const Qmt::QmtVector3& w) = 0;
    virtual void resetDynamics();
    virtual void setOrientation(const Qmt::Quaternion& q) = 0;
    virtual void setRotationMatrix(const Qmt::QmtMatrix3& R) = 0;
    virtual void setPosition(const Qmt::QmtVector3& p) = 0;
    virtual void setLinearVelocity(const Qmt::QmtVector3& v) = 0;
    virtual const ZYLbox& computeBbox() = 0;
    virtual ZYLcapsule* computeBboxAndAxis(bool world) = 0;
    virtual ZYLmesh* getMesh() = 0;
    virtual void storeInitialState(unsigned int mask);
    virtual void applyInitialState();
    virtual void storeDynState() = 0;
    virtual void integrateVelocities(double dt, bool damping) = 0;
    virtual void integratePositions(double dt) = 0;
    virtual void restoreDynState() = 0;
    virtual void clearExternalForces();
    virtual void applyExternalForce(Qmt::QmtVector3 force, Qmt::QmtVector3 point);
    virtual void applyExternalForce(Qmt::QmtVector3 force);
    virtual void applyExternalTorque(Qmt::QmtVector3 torque);
    virtual void applyDisplacement(const Qmt::QmtVector3& d, const Qmt::QmtVector3& a) = 0;
    virtual void translate(const Qmt::QmtVector3& d) = 0;
    virtual void rotate(const Qmt::QmtVector3& a) = 0;
    virtual ~HardBody();

    // ---- coefficients and counters ----
    double getRestitutionCoeff() const { return restitution; }
    double getFrictionCoeff() const { return friction; }
    void setExtractionCoeff(double value) { extraction = value; }
    double getExtractionCoeff() const { return extraction; }
    double getAirDampingCoeff() const { return airDamping; }
    double getAirDampingCoeff2() const { return airDamping2; }
    // One more resting check passed; returns the new count.
    int countSleeping() { return ++sleepCount; }
    void resetCountSleeping() { sleepCount = 0; }
    int getsleepCount() const { return sleepCount; }
    void setMinEnergy(double value) { minEnergy = value; }
    double getMinEnergy() const { return minEnergy; }

    bool hasParent() const { return parent != nullptr; }
    HardBody* getParent() const { return parent; }
    void setParent(HardBody* body) { parent = body; }
    std::int32_t getContactStage() const { return contactStage; }
    void setContactStage(std::int32_t stage) { contactStage = stage; }
    std::int32_t getLayer() const { return layer; }
    void setLayer(std::int32_t value) { layer = value; }
    std::int32_t getGroupID() const { return groupID; }
    void setGroupID(std::int32_t value) { groupID = value; }
    eHBodyType getType() const { return type; }
    EMotionState getCollisionState() const { return collisionState; }
    void setCollisionState(EMotionState state) { collisionState = state; }
    std::uint32_t getCellCode() const { return cellCode; }
    void setCellCode(std::uint32_t code) { cellCode = code; }

    // ---- flag word ----
    bool isActive() const { return (flags & BODY_ACTIVE) != 0; }
    void enableStatic() { flags |= BODY_STATIC; }
    void disableStatic() { flags &= ~BODY_STATIC; }
    bool isStatic() const { return (flags & BODY_STATIC) != 0; }
    void enableWorldUpdate() { flags |= BODY_WORLD_UPDATED; }
    void disableWorldUpdate() { flags &= ~BODY_WORLD_UPDATED; }
    bool isWorldModified() const { return (flags & BODY_WORLD_UPDATED) != 0; }
    void enableJoined() { flags |= BODY_JOINED; }
    void disableJoined() { flags &= ~BODY_JOINED; }
    bool isJoined() const { return (flags & BODY_JOINED) != 0; }
    void enableInContact() { flags |= BODY_IN_CONTACT; }
    void disableInContact() { flags &= ~BODY_IN_CONTACT; }
    bool isInContact() const { return (flags & BODY_IN_CONTACT) != 0; }
    void enableFirstHit() { flags |= BODY_FIRST_HIT; }
    void disableFirstHit() { flags &= ~BODY_FIRST_HIT; }
    void enableProcessed() { flags |= BODY_PROCESSED; }
    void disableProcessed() { flags &= ~BODY_PROCESSED; }
    bool isProcessed() const { return (flags & BODY_PROCESSED) != 0; }
    void enableJagginess() { flags |= BODY_JAGGED; }
    void disableJagginess() { flags &= ~BODY_JAGGED; }
    bool hasJagginess() const { return (flags & BODY_JAGGED) != 0; }

    // Lane marks; lanes are 0 to BODY_LANES - 1.
    void enableProcessedThread(int lane) { processedThread[lane] = 1; }
    void disableProcessedThread(int lane) { processedThread[lane] = 0; }
    bool isProcessedThread(int lane) const { return processedThread[lane] != 0; }
    // Lowest marked lane, or -1 when no lane is marked.
    int getProcessedThreadID() const;

    // ---- geometry and state ----
    // Stores the pointer and takes ownership of the mesh; the old mesh is not deleted.
    void setMesh(ZYLmesh* newMesh) {
        mesh = newMesh;
        meshOwned = true;
    }
    // Whether this body deletes its mesh (false for a copy that shares its source's).
    bool ownsMesh() const { return meshOwned; }
    const ZYLbox& getBbox() const { return bbox; }
    RBDynamics& getDyn() { return dyn; }
    const RBDynamics& getDyn() const { return dyn; }
    RBDynamics& getLastDyn() { return lastDyn; }
    const RBDynamics& getLastDyn() const { return lastDyn; }
    RBDynamics& getDynInit() { return dynInit; }
    const RBDynamics& getDynInit() const { return dynInit; }
    Qmt::QmtMatrix3 getLocalInertiaTensor() const { return inertiaLocal; }
    const Qmt::QmtMatrix3& getMatrixPivotCm() const { return matrixPivotCm; }
    void setMatrixPivotCm(const Qmt::QmtMatrix3& m) { matrixPivotCm = m; }
    const Qmt::QmtVector3& getTransPivotCm() const { return transPivotCm; }
    void setTransPivotCm(const Qmt::QmtVector3& t) { transPivotCm = t; }

    double getMass() const { return 1.0 / dyn.invMass; }
    double getInvMass() const { return dyn.invMass; }

    // dyn.position + dyn.rotation * (scale o centreOffset); also kept in the record.
    Qmt::QmtVector3 computeWCenter();
    void getBSphere(Qmt::QmtVector3& centre, double& radius);
    // dyn.v + dyn.w x (p - dyn.position).
    Qmt::QmtVector3 getPointVelocity(const Qmt::QmtVector3& p) const {
        return dyn.v + dyn.w.Cross(p - dyn.position);
    }

    // ---- accumulators of the step ----
    void clearDynForces() { dyn.force = Qmt::QmtVector3::ZERO; }
    void clearDynTorques() { dyn.torque = Qmt::QmtVector3::ZERO; }
    void addDynForces(const Qmt::QmtVector3& f) { dyn.force += f; }
    void addDynTorques(const Qmt::QmtVector3& t) { dyn.torque += t; }

    // ---- external loads ----
    Qmt::QmtVector3 getExternalForces() const { return dyn.externalForce; }
    Qmt::QmtVector3 getExternalTorques() const { return dyn.externalTorque; }
    bool isExternalForces() const {
        return dyn.externalTorque.SquaredLength() + dyn.externalForce.SquaredLength() > 0.0;
    }

    // ---- impulses: change the current state at once and wake the body ----
    void applyImpulse(const Qmt::QmtVector3& J);
    void applyImpulse(const Qmt::QmtVector3& J, const Qmt::QmtVector3& P);
    void applyTorque(const Qmt::QmtVector3& T);

protected:
    // Deletes the mesh when this body owns it; the pointer is left as it is.
    void releaseOwnedMesh();
    bool meshOwned = false;

private:
    void copyFields(const HardBody& other);
};
