#pragma once

#include "engine/bodies/privateHardBody.h"
#include "math/qmtMatrix3.h"
#include "math/qmtVector3.h"

// Infinite plane (kind 7): a body that is static from the moment it is placed. Its
// geometry is the plane through planePoint with normal planeNormal; the normal is kept
// as given, whatever its length.
class BarrierBody : public PrivateHardBody {
public:
    Qmt::QmtVector3 planePoint;
    Qmt::QmtVector3 planeNormal{0.0, 0.0, 1.0};

    BarrierBody();

    // Places the plane's body at P (the plane point) with rotation R and scale S,
    // activates it and makes it static.
    void init(const Qmt::QmtVector3& position, const Qmt::QmtMatrix3& rotation,
              const Qmt::QmtVector3& scale) override;
    // The same for the plane through point with the given normal, unturned and unscaled.
    void initPlane(const Qmt::QmtVector3& point, const Qmt::QmtVector3& normal);

    // Identity rotated by the box axes and moved to the centre offset.
    void computeInertiaTensor() override;
    // Moves only the plane point.
    void setMassCenter(const Qmt::QmtVector3& centre) override;
    // A plane has no mesh to refit: nothing happens.
    void modify(ZYLmesh* newMesh) override;
};
