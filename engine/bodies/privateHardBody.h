#pragma once

#include <cstdint>

#include "engine/bodies/hardBody.h"
#include "engine/bodies/laneDynamics.h"
#include "geometry/mesh/pooledList.h"

// Shape-independent half of every body: activation, time integration, inertia
// updates, energy and motion tests, state save and restore, setters, the world box and
// the position corrections of contact resolution. The body kinds supply init,
// computeInertiaTensor and setMassCenter.
//
// Besides the body data it carries the joints that hold the body as a fragment of a
// fracture body, walked with a cursor kept in the body, and one copy of the dynamic
// state per worker lane for the threaded fracture code (made when a lane first uses it).
class PrivateHardBody : public HardBody {
public:
    using JointList = PooledList<DynamicStress*>;

    std::int32_t jointCount = 0;  // kept by the fracture code beside the list's own count
    JointList joints;             // joints that have this body as one of their two bodies
    JointList::Node* jointCursor = nullptr;
    std::uint8_t jointCursorActive = 0;  // 1 while an iteration over joints is under way
    LaneDynamics laneDyn;

    // A kind's init must run before the body is usable: until then dyn and lastDyn
    // are zero (rotations included) with unit inverse mass.
    PrivateHardBody();
    // Copies the joint list (the pointers) and the lane states; the copy starts with
    // no iteration under way.
    PrivateHardBody(const PrivateHardBody& other);
    PrivateHardBody& operator=(const PrivateHardBody& other);
    ~PrivateHardBody() override = default;

    void setRestitutionCoeff(double value) override;
    void setFrictionCoeff(double value) override;
    void activate() override;
    void deActivate() override;
    bool isFirstHit(bool askParent) const override;
    void clearProcessed() override;
    void modify(ZYLmesh* newMesh) override;
    void updateWorldState() override;
    double computeEnergy() override;
    bool hasMoved() override;
    void ApplyBreakEnergy(DynamicStress* joint) override;
    void setScale(const Qmt::QmtVector3& scale) override;
    void setMass(float mass) override;
    void updateInertiaTensor() override;
    void setAngularVelocity(const Qmt::QmtVector3& w) override;
    void resetDynamics() override;
    void setOrientation(const Qmt::Quaternion& q) override;
    void setRotationMatrix(const Qmt::QmtMatrix3& R) override;
    void setPosition(const Qmt::QmtVector3& p) override;
    void setLinearVelocity(const Qmt::QmtVector3& v) override;
    const ZYLbox& computeBbox() override;
    ZYLcapsule* computeBboxAndAxis(bool world) override;
    ZYLmesh* getMesh() override;
    void storeDynState() override;
    void integrateVelocities(double dt, bool damping) override;
    void integratePositions(double dt) override;
    void restoreDynState() override;
    void applyDisplacement(const Qmt::QmtVector3& d, const Qmt::QmtVector3& a) override;
    void translate(const Qmt::QmtVector3& d) override;
    void rotate(const Qmt::QmtVector3& a) override;

    // Joint iteration with the body's cursor. First: null on an empty list (cursor
    // and mark untouched), else the first joint with the mark set. Next: the
    // following joint, or null at the end with the mark cleared. Walks that share
    // the cursor must not be nested.
    DynamicStress* getFirstJoint();
    DynamicStress* getNextJoint();
    // Whether any attached joint holds. Ends its walk either way, so the cursor is
    // free afterwards.
    bool hasActiveJoint();
    int countActiveJoints();

    // computeEnergy on the lane's copy of the dynamic state; the two terms are stored
    // as computeEnergy stores them.
    double computeLaneEnergy(int lane);
    // (|dyn.v - lastDyn.v|^2 + |dyn.w - lastDyn.w|^2) / k.
    double velocityChangeMeasure(double k) const;

protected:
    // Places a hull's world bound: its bound is the body mesh itself.
    void placeHullBound();
    // dyn.inertiaWorld and dyn.invInertiaWorld from dyn.rotation.
    void updateWorldTensors();

private:
    double energyOf(const RBDynamics& state);
};
