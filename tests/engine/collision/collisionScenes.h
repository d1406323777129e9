#pragma once

// Small worlds of boxes for the collision-cycle tests: a static slab whose top is the
// plane y = 0 and unit boxes of mass 1 placed on it or above it.

#include <cstdio>
#include <memory>

#include "engine/world/privateWorld.h"
#include "tests/engine/collision/collisionTestBodies.h"

namespace scenes {

using Qmt::QmtVector3;

// One host substep of a 30 frames per second host with 5 substeps.
inline const double HOST_DT = (1.0 / 30.0) / 5.0;
// Boxes placed this much into the body below them, so detection finds them touching.
constexpr double OVERLAP = 1e-4;

struct Scene {
    std::unique_ptr<PrivateWorld> world = std::make_unique<PrivateWorld>();

    explicit Scene(double gravity = -10.0) { world->SetGravity({0.0, gravity, 0.0}); }

    CollisionManager& manager() { return *world->collisionManager; }

    // A box filed in the world (which owns it), dynamic unless isStatic.
    HullBody* box(const QmtVector3& centre, const QmtVector3& half = {0.5, 0.5, 0.5}, bool isStatic = false,
                  const char* name = "box") {
        HullBody* const body = coltest::hullBox(centre, half).release();
        std::snprintf(body->transform.name, sizeof body->transform.name, "%s", name);
        if (isStatic) {
            body->enableStatic();
        }
        world->addBody(body, 0);
        return body;
    }

    // The static slab whose top face lies at y = 0.
    HullBody* slab() { return box({0.0, -0.5, 0.0}, {5.0, 0.5, 5.0}, true, "slab"); }

    // A unit box resting on y = base with its bottom OVERLAP below it.
    HullBody* boxOn(double base, double x = 0.0, const char* name = "box") {
        return box({x, base + 0.5 - OVERLAP, 0.0}, {0.5, 0.5, 0.5}, false, name);
    }

    // One host substep: collision management, then the step.
    void frame() {
        world->manageCollisions(HOST_DT);
        world->step(HOST_DT, nullptr);
    }
};

// Sets the body's velocity in its current and its last state, as a body that has been
// moving so for a while.
inline void moving(HardBody* body, const QmtVector3& v) {
    body->setLinearVelocity(v);
    body->getLastDyn().v = v;
}

}  // namespace scenes
