#pragma once

// Fragments and joints for the fracture-body tests. The rig owns what it makes
// unless a test hands the joints over (clearFragmentJointLists deletes them).

#include <memory>
#include <vector>

#include "engine/bodies/sampleBody.h"
#include "engine/fracture/dynamicStress.h"
#include "engine/fracture/fractureBody.h"

namespace zyltest {

// A unit-cube fragment: inertia m/6 on the diagonal.
inline void makeCube(SampleBody& body, const Qmt::QmtVector3& p, double mass) {
    body.moments = Qmt::QmtVector3(1.0, 1.0, 1.0) * (1.0 / 6.0);
    place(body, p);
    body.setMass(static_cast<float>(mass));
    body.activate();
}

class FractureRig {
public:
    std::vector<std::unique_ptr<SampleBody>> bodies;
    std::vector<DynamicStress*> joints;  // deleted by the rig unless released

    FractureRig() = default;
    FractureRig(const FractureRig&) = delete;
    FractureRig& operator=(const FractureRig&) = delete;
    ~FractureRig() {
        for (DynamicStress* j : joints) {
            delete j;
        }
    }

    SampleBody* cube(const Qmt::QmtVector3& p, double mass = 1.0) {
        bodies.push_back(std::make_unique<SampleBody>(HB_HULL));
        makeCube(*bodies.back(), p, mass);
        return bodies.back().get();
    }

    // A joint at the midpoint: a is the PNode, b the CNode.
    DynamicStress* join(SampleBody* a, SampleBody* b, unsigned index = 0) {
        auto* j = new DynamicStress();
        j->attach((a->getDyn().position + b->getDyn().position) * 0.5, 1, a, b);
        j->setIndex(index);
        joints.push_back(j);
        return j;
    }

    // A row of unit cubes from the origin, `step` apart, joined neighbour to
    // neighbour (joint i between cubes i - 1 and i) and added to the body.
    void row(FractureBody& body, int n, double mass = 1.0, const Qmt::QmtVector3& step = {1.0, 0.0, 0.0}) {
        SampleBody* previous = nullptr;
        for (int i = 0; i < n; ++i) {
            SampleBody* c = cube(step * static_cast<double>(i), mass);
            if (previous) {
                body.addJoint(join(previous, c, static_cast<unsigned>(i)));
            }
            previous = c;
        }
    }

    // The body now deletes the joints.
    void releaseJoints() { joints.clear(); }
};

// The body's list as a vector, first to last.
template <class T, bool I>
std::vector<T> listOf(const PooledList<T, I>& list) {
    return {list.begin(), list.end()};
}

}  // namespace zyltest
