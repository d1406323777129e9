#pragma once

// A minimal body kind for the body tests: a box of the record's size whose inertia is
// the mass times a fixed diagonal.

#include "engine/bodies/privateHardBody.h"
#include "math/qmtMatrix3.h"
#include "math/qmtVector3.h"

namespace zyltest {

class SampleBody : public PrivateHardBody {
public:
    Qmt::QmtVector3 moments{1.0, 1.0, 1.0};  // principal moments per unit mass

    explicit SampleBody(eHBodyType kind = HB_PHANTOM, Qmt::QmtVector3 boxSize = {1.0, 1.0, 1.0}) {
        type = kind;
        transform.boxSize = boxSize;
    }

    void init(const Qmt::QmtVector3& position, const Qmt::QmtMatrix3& rotation,
              const Qmt::QmtVector3& scale) override {
        transform.scale = scale;
        setPosition(position);
        setRotationMatrix(rotation);
        computeInertiaTensor();
        lastDyn = dyn;
    }

    void computeInertiaTensor() override {
        const double m = 1.0 / dyn.invMass;
        inertiaLocal.MakeDiagonal(m * moments.x, m * moments.y, m * moments.z);
        invInertiaLocal = inertiaLocal.Inverse(9.9999998245167e-15);
        updateWorldTensors();
        setAngularVelocity(dyn.w);
    }

    void setMassCenter(const Qmt::QmtVector3&) override {}
};

// A placed body at p with identity rotation and unit scale.
inline void place(SampleBody& body, const Qmt::QmtVector3& p = {}) {
    body.init(p, Qmt::QmtMatrix3::IDENTITY, {1.0, 1.0, 1.0});
}

}  // namespace zyltest
