#pragma once

// A seeded world of many bodies for the trajectory hashes: turned hull boxes of random
// sizes and a few capsules on a jittered grid, thrown at small random speeds onto a
// plane and a static slab, with a fracture body of four cubes among them. The hash of
// every body's pose and velocities after a number of frames pins the whole trajectory
// to the last bit.

#include <cstdint>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "engine/bodies/capsuleBody.h"
#include "engine/fracture/dynamicStress.h"
#include "engine/fracture/fractureBody.h"
#include "engine/threads/processorCount.h"
#include "engine/world/engineApi.h"
#include "engine/world/privateWorld.h"
#include "tests/geometry/testMeshes.h"

namespace seededpile {

using Qmt::QmtMatrix3;
using Qmt::QmtVector3;

constexpr double FRAME = 1.0 / 300.0;

class Pile {
public:
    // `bodies` bodies (capsules every seventh) in layers of side x side; a world that
    // sees `processors` processors and uses `lanes` lanes. With `fractureEvery`, every
    // so many places hold a small fracture body of four cubes instead.
    Pile(int bodies, int side, unsigned lanes = 1, int processors = 1, bool groups = false,
         std::uint64_t seed = 20240601, int fractureEvery = 0) {
        setProcessorCountOverride(processors);
        world_ = std::make_unique<PrivateWorld>();
        setProcessorCountOverride(0);
        world_->setThreadCount(lanes);
        world_->collisionManager->contactGroupsEnabled = groups;
        world_->SetGravity({0.0, -9.81, 0.0});
        world_->enableBodyDeactivation();
        std::mt19937_64 random(seed);
        // Raw draws scaled by hand: the standard fixes mt19937_64's sequence, not the
        // distributions'.
        const auto uniform = [&random](double lo, double hi) {
            return lo + (hi - lo) * static_cast<double>(random() >> 11) * 0x1.0p-53;
        };

        QmtVector3 up = QmtVector3::UNIT_Y;
        add(createBarrierBody({0.0, 0.0, 0.0}, up));
        HardBody* const slab = hull({3.0, 0.4, 3.0}, {1.5, 0.4, 1.5}, turn(QmtVector3(0.0, 0.0, 1.0), 0.15));
        slab->enableStatic();
        add(slab);

        const double spacing = 1.4;
        const double start = -0.5 * spacing * (side - 1);
        for (int i = 0; i < bodies; ++i) {
            const int layer = i / (side * side);
            const QmtVector3 centre(start + spacing * (i % side) + uniform(-0.15, 0.15),
                                    1.2 + spacing * layer + uniform(-0.1, 0.1),
                                    start + spacing * ((i / side) % side) + uniform(-0.15, 0.15));
            if (fractureEvery > 0 && i % fractureEvery == fractureEvery - 1) {
                addFractureBody(centre - QmtVector3(0.25, 0.0, 0.25), 0.25);
                continue;
            }
            const QmtMatrix3 R = turn(QmtVector3(uniform(-1, 1), uniform(-1, 1), uniform(-1, 1)), uniform(0.0, 3.0));
            HardBody* body = nullptr;
            if (i % 7 == 3) {
                body = capsule(centre, uniform(0.2, 0.35), uniform(0.3, 0.6), R);
            } else {
                body = hull(centre, {uniform(0.3, 0.6), uniform(0.3, 0.6), uniform(0.3, 0.6)}, R);
            }
            body->setFrictionCoeff(uniform(0.2, 0.6));
            body->setRestitutionCoeff(uniform(0.0, 0.3));
            body->setLinearVelocity({uniform(-1.5, 1.5), uniform(-1.0, 0.5), uniform(-1.5, 1.5)});
            body->setAngularVelocity({uniform(-2, 2), uniform(-2, 2), uniform(-2, 2)});
            add(body);
        }
        addFractureBody({start - 2.5, 2.0, 0.0});
    }

    // The world deletes the bodies its lists hold; fragments still inside a fracture
    // body survive it and are deleted here, as are the joints.
    ~Pile() {
        std::vector<HardBody*> kept;
        for (HardBody* cube : fragments_) {
            const PrivateWorld& w = *world_;
            if (!listContains(w.aBodies, cube) && !listContains(w.adeActivatedBodies, cube) &&
                !listContains(w.aStaticBodies, cube)) {
                kept.push_back(cube);
            }
        }
        world_.reset();
        for (HardBody* cube : kept) {
            delete cube;
        }
        for (DynamicStress* joint : joints_) {
            delete joint;
        }
    }
    Pile(const Pile&) = delete;
    Pile& operator=(const Pile&) = delete;

    PrivateWorld& world() { return *world_; }

    void frames(int n) {
        for (int i = 0; i < n; ++i) {
            world_->manageCollisions(FRAME);
            world_->step(FRAME, nullptr);
        }
    }

    // FNV-1a over the pose and velocities of every body in the order made.
    std::uint64_t hash() const {
        std::uint64_t h = 0xcbf29ce484222325ull;
        const auto mix = [&h](double value) {
            unsigned char bytes[sizeof value];
            std::memcpy(bytes, &value, sizeof value);
            for (unsigned char b : bytes) {
                h = (h ^ b) * 0x100000001b3ull;
            }
        };
        for (const HardBody* body : made_) {
            const RBDynamics& d = body->getDyn();
            for (int k = 0; k < 3; ++k) {
                mix(d.position[k]);
                mix(d.v[k]);
                mix(d.w[k]);
                for (int j = 0; j < 3; ++j) {
                    mix(d.rotation(k, j));
                }
            }
        }
        return h;
    }

private:
    static QmtMatrix3 turn(QmtVector3 axis, double angle) {
        QmtMatrix3 R = QmtMatrix3::IDENTITY;
        if (axis.Length() > 1e-3) {
            axis.Unitize(1e-9);
            R.FromAxisAngle(axis, angle);
        }
        return R;
    }

    static HardBody* hull(const QmtVector3& centre, const QmtVector3& half, const QmtMatrix3& R) {
        const auto mesh = meshtest::makeMesh(meshtest::box(centre - half, centre + half));
        HardBody* const body = createHullBody(mesh.get());
        body->init(centre, QmtMatrix3::IDENTITY, {1.0, 1.0, 1.0});
        body->setRotationMatrix(R);
        body->setMass(static_cast<float>(8.0 * half.x * half.y * half.z));
        return body;
    }

    static HardBody* capsule(const QmtVector3& centre, double radius, double halfLength, const QmtMatrix3& R) {
        const QmtVector3 half(radius, halfLength + radius, radius);
        const auto mesh = meshtest::makeMesh(meshtest::box(centre - half, centre + half));
        HardBody* const body = createCapsuleBody(mesh.get());
        body->init(centre, QmtMatrix3::IDENTITY, {1.0, 1.0, 1.0});
        body->setRotationMatrix(R);
        body->setMass(1.0f);
        return body;
    }

    void add(HardBody* body) {
        world_->addBody(body, 0);
        made_.push_back(body);
    }

    // Four cubes of half side `half` in a square, joined side to side and breakable.
    void addFractureBody(const QmtVector3& corner, double half = 0.5) {
        std::vector<HardBody*> cubes;
        for (int i = 0; i < 4; ++i) {
            const QmtVector3 centre = corner + QmtVector3(i % 2, 0.0, i / 2) * (2.0 * half);
            cubes.push_back(hull(centre, {half, half, half}, QmtMatrix3::IDENTITY));
        }
        auto* const fracture = static_cast<FractureBody*>(createFractureBody());
        const auto join = [&](int a, int b) {
            DynamicStress* const joint = createDynamicStress();
            joint->attach((cubes[a]->getDyn().position + cubes[b]->getDyn().position) * 0.5, 1,
                          static_cast<PrivateHardBody*>(cubes[a]), static_cast<PrivateHardBody*>(cubes[b]));
            joint->enableBreakableByForce();
            joint->set_break_tolerance(2.0);
            fracture->addJoint(joint);
            joints_.push_back(joint);
        };
        join(0, 1);
        join(2, 3);
        join(0, 2);
        join(1, 3);
        fracture->setUp();
        fracture->storeInitialState(1);
        for (HardBody* cube : cubes) {
            add(cube);
            fragments_.push_back(cube);
        }
        world_->addBody(fracture, 0);
    }

    std::unique_ptr<PrivateWorld> world_;
    std::vector<HardBody*> made_;  // owned by the world
    std::vector<HardBody*> fragments_;
    std::vector<DynamicStress*> joints_;
};

}  // namespace seededpile
