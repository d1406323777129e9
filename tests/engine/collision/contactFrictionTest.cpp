// Coulomb friction against the analytic answers: a box on a turned static slab holds
// below the friction angle and slides above it with a = g (sin t - mu cos t), never
// sinking into the slab; a box sliding on a flat slab stops at v^2 / (2 mu g).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>

#include "tests/engine/collision/collisionScenes.h"
#include "tests/geometry/testMeshes.h"

namespace {

using Qmt::QmtMatrix3;
using Qmt::QmtVector3;

constexpr double G = 9.81;
constexpr double DEGREE = std::numbers::pi / 180.0;
constexpr int FRAMES = 30;  // one second of a 30 frames per second host, 5 substeps each
const double SINK = 2.0 * G * scenes::HOST_DT * scenes::HOST_DT;

QmtMatrix3 turnedAboutZ(double angle) {
    QmtMatrix3 R = QmtMatrix3::IDENTITY;
    R(0, 0) = std::cos(angle);
    R(0, 1) = -std::sin(angle);
    R(1, 0) = std::sin(angle);
    R(1, 1) = std::cos(angle);
    return R;
}

// A box with the half sides around `centre`, turned by R, filed in the world.
HullBody* turnedBox(scenes::Scene& s, const QmtVector3& centre, const QmtMatrix3& R, const QmtVector3& half,
                    double mu, bool isStatic = false) {
    meshtest::Shape shape = meshtest::box(-half, half);
    for (QmtVector3& v : shape.vertices) {
        v = centre + R * v;
    }
    const auto mesh = meshtest::makeMesh(shape);
    auto* const body = static_cast<HullBody*>(createHullBody(mesh.get()));
    body->init(centre, R, coltest::UNIT_SCALE);
    body->setMass(1.0f);
    body->setFrictionCoeff(mu);
    if (isStatic) {
        body->enableStatic();
    }
    s.world->addBody(body, 0);
    return body;
}

// A world as the module makes it, without air damping: a box of 0.8 x 0.2 x 0.8 on
// a static slab of 8 x 0.4 x 4 turned by `angle` about z, both with friction mu, the
// box `from` along the slope from the slab's middle, OVERLAP into its face.
struct Slope {
    scenes::Scene s{-G};
    QmtVector3 down;    // down the slope
    QmtVector3 normal;  // out of the slab's face
    QmtVector3 start;
    HullBody* box = nullptr;

    Slope(double angle, double mu, double from = 0.0) {
        s.world->disableAirDamping();
        s.world->enableBodyDeactivation();
        s.world->enableContactGroups();
        const QmtMatrix3 R = turnedAboutZ(angle);
        down = -R.GetColumn(0);
        normal = R.GetColumn(1);
        turnedBox(s, QmtVector3::ZERO, R, {4.0, 0.2, 2.0}, mu, true);
        start = normal * (0.3 - scenes::OVERLAP) - down * from;
        box = turnedBox(s, start, R, {0.4, 0.1, 0.4}, mu);
    }

    double along() const { return (box->getDyn().position - start).Dot(down); }
    // How far the box's lowest corner lies below the slab's face (the face is 0.2 out).
    double depth() const {
        const RBDynamics& d = box->getDyn();
        double lowest = 1e300;
        for (const double x : {-0.4, 0.4}) {
            for (const double y : {-0.1, 0.1}) {
                for (const double z : {-0.4, 0.4}) {
                    lowest = std::min(lowest, (d.position + d.rotation * QmtVector3(x, y, z)).Dot(normal));
                }
            }
        }
        return 0.2 - lowest;
    }
};

// Below the friction angle the box holds; above it, it slides with the Coulomb
// acceleration, within 10 % over a second, and from 30 to 70 degrees. At no host step
// does it sink into the slab deeper than it was put in plus twice what gravity lets a
// resting body sink in a step.
TEST(ContactFriction, BoxesHoldBelowTheFrictionAngleAndSlideAboveIt) {
    for (const double mu : {0.2, 0.5, 1.0}) {
        const double friction = std::atan(mu) / DEGREE;
        for (const double degrees : {friction - 5.0, friction - 2.0, friction + 3.0, friction + 15.0, 70.0}) {
            Slope slope(degrees * DEGREE, mu, 3.0);
            double deepest = 0.0;
            for (int frame = 0; frame < FRAMES * 5; ++frame) {
                slope.s.frame();
                deepest = std::max(deepest, slope.depth());
            }
            const double angle = degrees * DEGREE;
            const double a = G * (std::sin(angle) - mu * std::cos(angle));
            if (a < 0.0) {
                EXPECT_LT(std::fabs(slope.along()), 1e-3) << mu << " " << degrees;
            } else {
                EXPECT_NEAR(slope.along(), 0.5 * a, 0.05 * a) << mu << " " << degrees;
            }
            EXPECT_LE(deepest, scenes::OVERLAP + SINK) << mu << " " << degrees;
        }
    }
}

// A box sliding at 3 m/s on a flat slab stops within 10 % of v^2 / (2 mu g), does not
// creep back, and falls asleep.
TEST(ContactFriction, ASlidingBoxStopsAtTheFrictionDistance) {
    for (const double mu : {0.2, 0.5, 1.0}) {
        Slope flat(0.0, mu);
        scenes::moving(flat.box, flat.down * 3.0);
        double furthest = 0.0;
        for (int frame = 0; frame < 3 * FRAMES * 5 && flat.box->isActive(); ++frame) {
            flat.s.frame();
            furthest = std::max(furthest, flat.along());
        }
        const double distance = 9.0 / (2.0 * mu * G);
        EXPECT_NEAR(flat.along(), distance, 0.1 * distance) << mu;
        EXPECT_GT(flat.along(), furthest - 1e-3) << mu;
        EXPECT_FALSE(flat.box->isActive()) << mu;
    }
}

}  // namespace
