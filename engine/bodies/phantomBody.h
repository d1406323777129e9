#pragma once

#include "engine/bodies/privateHardBody.h"
#include "math/qmtMatrix3.h"
#include "math/qmtVector3.h"

// Box body (kind 0): its mesh is always the box mesh of its record's box.
class PhantomBody : public PrivateHardBody {
public:
    PhantomBody();

    // Rebuilds the mesh as the record's world box, brings mesh and record into the
    // frame of P, R, S and activates the body.
    void init(const Qmt::QmtVector3& position, const Qmt::QmtMatrix3& rotation,
              const Qmt::QmtVector3& scale) override;
    // Solid box of the scaled sides, turned by the box axes and moved to the centre
    // offset.
    void computeInertiaTensor() override;
    // Makes the world point the reference point; the box stays where it is.
    void setMassCenter(const Qmt::QmtVector3& centre) override;
    // Refits the box to the mesh's vertices (given in the world); the mesh is read,
    // not kept. Nothing for a null mesh.
    void modify(ZYLmesh* newMesh) override;
};
