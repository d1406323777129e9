// Collisions of two free hulls without gravity: contact resolution never adds kinetic
// energy to the pair, whatever their shapes, sizes, speeds, offsets, turns, masses,
// restitution and friction; and two equal hulls meeting bounce by their restitution.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>

#include "tests/engine/collision/collisionScenes.h"
#include "tests/geometry/testMeshes.h"

namespace {

using Qmt::QmtMatrix3;
using Qmt::QmtVector3;

double kineticEnergy(const HardBody* body) {
    const RBDynamics& d = body->getDyn();
    return body->getMass() * d.v.SquaredLength() + d.L.Dot(d.w);
}

// The shape placed around `centre`, turned by R, filed in the world.
HullBody* hullAt(scenes::Scene& s, meshtest::Shape shape, const QmtVector3& centre, const QmtMatrix3& R,
                 double mass) {
    QmtVector3 middle;
    for (const QmtVector3& v : shape.vertices) {
        middle += v;
    }
    middle = middle / static_cast<double>(shape.vertices.size());
    for (QmtVector3& v : shape.vertices) {
        v = centre + R * (v - middle);
    }
    const auto mesh = meshtest::makeMesh(shape);
    auto* const body = static_cast<HullBody*>(createHullBody(mesh.get()));
    body->init(centre, R, coltest::UNIT_SCALE);
    body->setMass(static_cast<float>(mass));
    s.world->addBody(body, 0);
    return body;
}

// The host's sphere of radius r: 8 segments, 3 rings of vertices between the poles,
// the middle one on the equator.
meshtest::Shape facetedSphere(double r) {
    meshtest::Shape s;
    constexpr int SEGMENTS = 8;
    constexpr int RINGS = 4;
    s.vertices.push_back({0.0, -r, 0.0});
    for (int j = 1; j < RINGS; ++j) {
        for (int i = 0; i < SEGMENTS; ++i) {
            const double phi = std::numbers::pi * j / RINGS - std::numbers::pi / 2.0;
            const double theta = 2.0 * std::numbers::pi * i / SEGMENTS;
            s.vertices.push_back({r * std::cos(phi) * std::cos(theta), r * std::sin(phi),
                                  -r * std::cos(phi) * std::sin(theta)});
        }
    }
    s.vertices.push_back({0.0, r, 0.0});
    const auto ring = [](int j, int i) { return static_cast<std::uint32_t>(1 + (j - 1) * SEGMENTS + i % SEGMENTS); };
    const auto top = static_cast<std::uint32_t>(s.vertices.size() - 1);
    for (int i = 0; i < SEGMENTS; ++i) {
        s.faces.push_back({0, ring(1, i + 1), ring(1, i)});
        for (int j = 1; j < RINGS - 1; ++j) {
            s.faces.push_back({ring(j, i), ring(j, i + 1), ring(j + 1, i + 1), ring(j + 1, i)});
        }
        s.faces.push_back({ring(RINGS - 1, i), ring(RINGS - 1, i + 1), top});
    }
    return s;
}

QmtMatrix3 randomTurn(std::mt19937& rng) {
    std::normal_distribution<double> n;
    Qmt::Quaternion q(n(rng), n(rng), n(rng), n(rng));
    q.Normalize();
    QmtMatrix3 R;
    q.ToRotationMatrix(R);
    return R;
}

meshtest::Shape randomHull(std::mt19937& rng, double size) {
    std::uniform_real_distribution<double> u(0.5, 1.5);
    switch (rng() % 4) {
        case 0:
            return meshtest::box(QmtVector3(u(rng), u(rng), u(rng)) * (-0.5 * size),
                                 QmtVector3(u(rng), u(rng), u(rng)) * (0.5 * size));
        case 1:
            return facetedSphere(0.5 * size);
        case 2:
            return meshtest::sphere(4, 8, 0.5 * size);
        default:
            return meshtest::prism(3 + rng() % 5, 0.5 * size, size * u(rng));
    }
}

// Random pairs thrown at each other: at no host step does the pair's kinetic energy
// exceed what it started with by more than 0.1 %.
TEST(CollisionEnergy, NoCollisionOfTwoHullsAddsEnergy) {
    std::mt19937 rng(11);
    std::uniform_real_distribution<double> u(0.0, 1.0);
    for (int trial = 0; trial < 160; ++trial) {
        scenes::Scene s(0.0);
        s.world->disableAirDamping();
        if (trial % 2 == 1) {
            s.world->enableContactGroups();
        }
        const double sizeA = 0.3 + 1.5 * u(rng);
        const double sizeB = 0.3 + 1.5 * u(rng);
        const double speed = 1.0 + 9.0 * u(rng);
        const double gap = 1.2 * (sizeA + sizeB);
        const QmtVector3 offset(0.0, 0.9 * (u(rng) - 0.5) * (sizeA + sizeB), 0.5 * (u(rng) - 0.5) * (sizeA + sizeB));
        const double restitution = 0.5 + 0.5 * u(rng);
        const double friction = 0.2 + u(rng);
        const double massB = (0.2 + 5.0 * u(rng)) * (trial % 4 == 0 ? 100.0 : 1.0);
        // Half the pairs come unturned, as shapes are made: faceted spheres then meet
        // vertex on vertex.
        const bool turned = trial % 4 >= 2;
        const QmtMatrix3 turnA = turned ? randomTurn(rng) : QmtMatrix3::IDENTITY;
        const QmtMatrix3 turnB = turned ? randomTurn(rng) : QmtMatrix3::IDENTITY;
        HullBody* const a = hullAt(s, randomHull(rng, sizeA), {-gap, 0.0, 0.0}, turnA, 0.2 + 5.0 * u(rng));
        HullBody* const b = hullAt(s, randomHull(rng, sizeB), QmtVector3(gap, 0.0, 0.0) + offset, turnB, massB);
        for (HullBody* body : {a, b}) {
            body->setRestitutionCoeff(restitution);
            body->setFrictionCoeff(friction);
        }
        scenes::moving(a, {speed, 0.0, 0.0});
        scenes::moving(b, {-speed, 0.0, 0.0});
        const double start = kineticEnergy(a) + kineticEnergy(b);
        double most = start;
        for (int step = 0; step < 100; ++step) {
            s.frame();
            most = std::max(most, kineticEnergy(a) + kineticEnergy(b));
        }
        EXPECT_LE(most, 1.001 * start) << "trial " << trial;
    }
}

// Two faceted spheres meeting vertex on vertex at 8 m/s: the pair is resolved right
// after detection, where restitution acts, and the contact separates at e times the
// speed it approached with.
TEST(CollisionEnergy, TwoDynamicHullsBounceByTheirRestitution) {
    for (const double restitution : {0.3, 0.9}) {
        scenes::Scene s(0.0);
        s.world->enableContactGroups();
        HullBody* const a = hullAt(s, facetedSphere(0.5), {-1.0, 0.0, 0.0}, QmtMatrix3::IDENTITY, 1.0);
        HullBody* const b = hullAt(s, facetedSphere(0.5), {1.0, 0.0, 0.0}, QmtMatrix3::IDENTITY, 1.0);
        for (HullBody* body : {a, b}) {
            body->setRestitutionCoeff(restitution);
            body->setFrictionCoeff(0.7);
        }
        scenes::moving(a, {4.0, 0.0, 0.0});
        scenes::moving(b, {-4.0, 0.0, 0.0});
        const auto relative = [&](const QmtVector3& p) {
            const RBDynamics& da = a->getDyn();
            const RBDynamics& db = b->getDyn();
            return (da.v + da.w.Cross(p - da.position)) - (db.v + db.w.Cross(p - db.position));
        };
        bool met = false;
        for (int step = 0; step < 100 && !met; ++step) {
            const RBDynamics before_a = a->getDyn();
            const RBDynamics before_b = b->getDyn();
            s.world->manageCollisions(scenes::HOST_DT);
            if (s.manager().activePairs.count == 0) {
                s.world->step(scenes::HOST_DT, nullptr);
                continue;
            }
            met = true;
            const CollisionPair* const pair = *s.manager().activePairs.begin();
            const QmtVector3 n = pair->bodyA == a ? pair->normals[0] : -pair->normals[0];
            const QmtVector3 p = pair->armsA[0] + pair->bodyA->getDyn().position;
            const double approach =
                ((before_a.v + before_a.w.Cross(p - before_a.position)) - (before_b.v + before_b.w.Cross(p - before_b.position)))
                    .Dot(n);
            EXPECT_LT(approach, -1.0);
            EXPECT_NEAR(relative(p).Dot(n), -restitution * approach, 0.01 * std::fabs(approach)) << restitution;
        }
        EXPECT_TRUE(met);
    }
}

}  // namespace
