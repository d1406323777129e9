#pragma once

#include <memory>

#include "engine/bodies/hardBody.h"
#include "engine/bodies/rbDynamics.h"

// One copy of a body's dynamic state per worker lane. The fracture code works on the
// copy of its lane; within a cycle only lane 0 is used, so its copy lives in the body
// and each other lane's copy is made the first time that lane writes it (until then
// it reads as a zero state). A lane makes only its own copy, so lanes never race.
class LaneDynamics {
public:
    LaneDynamics() = default;
    LaneDynamics(const LaneDynamics& other) { *this = other; }
    LaneDynamics& operator=(const LaneDynamics& other) {
        if (this != &other) {
            first_ = other.first_;
            for (int lane = 1; lane < BODY_LANES; ++lane) {
                const auto& from = other.others_[lane - 1];
                auto& to = others_[lane - 1];
                if (!from) {
                    to.reset();
                } else if (to) {
                    *to = *from;
                } else {
                    to = std::make_unique<RBDynamics>(*from);
                }
            }
        }
        return *this;
    }

    RBDynamics& operator[](int lane) {
        if (lane == 0) {
            return first_;
        }
        auto& copy = others_[lane - 1];
        if (!copy) {
            copy = std::make_unique<RBDynamics>();
        }
        return *copy;
    }
    const RBDynamics& operator[](int lane) const {
        if (lane == 0) {
            return first_;
        }
        const auto& copy = others_[lane - 1];
        return copy ? *copy : zero();
    }

private:
    static const RBDynamics& zero() {
        static const RBDynamics state;
        return state;
    }

    RBDynamics first_;
    std::unique_ptr<RBDynamics> others_[BODY_LANES - 1];
};
