#pragma once

#include "engine/bodies/privateHardBody.h"
#include "geometry/bounds/boundingVolumes.h"
#include "math/qmtMatrix3.h"
#include "math/qmtVector3.h"

// Capsule body (kind 1). Besides the box record and box mesh every body has, it keeps
// its capsule twice: localCapsule in the body frame (its own record, made by init)
// and worldCapsule in the world. worldCapsule works on the body's capsule record, so
// what computeBboxAndAxis(true) returns is the placed capsule.
class CapsuleBody : public PrivateHardBody {
public:
    BCapsule localCapsule;  // owns its record once init has run
    BCapsule worldCapsule;  // refers to the body's capsule record

    CapsuleBody();
    CapsuleBody(const CapsuleBody&) = delete;
    CapsuleBody& operator=(const CapsuleBody&) = delete;
    ~CapsuleBody() override = default;

    // Rebuilds the mesh as the record's world box, brings mesh, record and the world
    // capsule (as set by setCapsuleFromSegment) into the frame of P, R, S, and
    // activates the body.
    void init(const Qmt::QmtVector3& position, const Qmt::QmtMatrix3& rotation,
              const Qmt::QmtVector3& scale) override;
    void computeInertiaTensor() override;
    void setMassCenter(const Qmt::QmtVector3& centre) override;
    // Refits capsule, box and box mesh to the mesh's vertices (given in the world);
    // nothing for a null mesh.
    void modify(ZYLmesh* newMesh) override;
    // world: places localCapsule into worldCapsule and returns the placed record;
    // otherwise the local capsule's record.
    ZYLcapsule* computeBboxAndAxis(bool world) override;

    // localCapsule placed in the world (position, rotation and scale) into worldCapsule.
    BCapsule& getWorldCapsule();

private:
    // What getWorldCapsule last wrote: the capsule is written again only when it
    // would change.
    ZYLcapsule lastPlaced_;
    bool placedOnce_ = false;
};

// A capsule body in all but its kind code (6).
class ZylCrackerBody : public CapsuleBody {
public:
    ZylCrackerBody();
};
