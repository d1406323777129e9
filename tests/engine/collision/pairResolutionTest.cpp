#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "tests/engine/collision/collisionScenes.h"

namespace {

using Qmt::QmtVector3;
using scenes::OVERLAP;
using scenes::Scene;

CollisionPair* firstActive(Scene& s) { return *s.manager().activePairs.begin(); }

// A box falling onto the slab bounces to e |v| after detection (mode 1) and is only
// stopped inside a step (mode 2).
TEST(PairResolution, RestitutionActsOnlyRightAfterDetection) {
    for (int mode : {1, 2}) {
        Scene s;
        HullBody* const slab = s.slab();
        HullBody* const box = s.boxOn(0.0);
        slab->setRestitutionCoeff(0.8);
        box->setRestitutionCoeff(0.5);
        scenes::moving(box, {0.0, -2.0, 0.0});
        s.world->enableDetectMode();
        s.world->manageCollisions(scenes::HOST_DT);
        ASSERT_EQ(s.manager().activePairs.count, 1u);
        std::uint32_t flags = 0;
        s.manager().resolveActivePairs(s.world->aBodies.nodes(), mode, {0.0, -1.0, 0.0}, flags);
        EXPECT_NEAR(box->getDyn().v.y, mode == 1 ? 1.0 : 0.0, 1e-9) << mode;
        EXPECT_NEAR(box->getDyn().w.Length(), 0.0, 1e-9) << mode;
        EXPECT_EQ(firstActive(s)->state, mode == 1 ? 0u : 2u) << mode;
        EXPECT_EQ(flags, 0u);
    }
}

TEST(PairResolution, EqualBoxesMeetKeepingMomentum) {
    Scene s(0.0);
    HullBody* const a = s.box({0.0, 10.0, 0.0});
    HullBody* const b = s.box({1.0 - OVERLAP, 10.0, 0.0});
    scenes::moving(a, {1.0, 0.0, 0.0});
    s.world->manageCollisions(scenes::HOST_DT);
    EXPECT_NEAR(a->getDyn().v.x, 0.5, 1e-9);
    EXPECT_NEAR(b->getDyn().v.x, 0.5, 1e-9);
    EXPECT_NEAR(a->getDyn().v.x + b->getDyn().v.x, 1.0, 1e-12);
    EXPECT_NEAR(a->getDyn().L.Length() + b->getDyn().L.Length(), 0.0, 1e-9);
}

// A box a hundred times heavier than the box it rests on, on the plane, with contact
// groups off and on: the load stays on the light box and the light box on the plane,
// within 1 cm, and nothing is flung up (the load never rises faster than it settles).
TEST(PairResolution, AHundredfoldLoadRestsOnALightBox) {
    for (const bool groups : {false, true}) {
        Scene s;
        s.manager().contactGroupsEnabled = groups;
        s.world->addBody(coltest::floorPlane().release(), 0);
        HullBody* const light = s.box({0.0, 0.5, 0.0});
        HullBody* const load = s.box({0.0, 1.5, 0.0});
        load->setMass(100.0f);
        double overlap = 0.0;
        double sunk = 0.0;
        double rising = 0.0;
        for (int frame = 0; frame < 600; ++frame) {
            s.frame();
            overlap = std::max(overlap, (light->getDyn().position.y + 0.5) - (load->getDyn().position.y - 0.5));
            sunk = std::max(sunk, 0.5 - light->getDyn().position.y);
            rising = std::max(rising, load->getDyn().v.y);
        }
        EXPECT_LT(overlap, 0.01) << groups;
        EXPECT_LT(sunk, 0.01) << groups;
        EXPECT_LT(rising, 0.01) << groups;
    }
}

TEST(PairResolution, InactivePairsRestAndFirstHitBodiesWake) {
    Scene s(0.0);
    HullBody* const a = s.box({0.0, 10.0, 0.0});
    HullBody* const b = s.box({1.0 - OVERLAP, 10.0, 0.0});
    s.world->enableDetectMode();
    s.world->manageCollisions(scenes::HOST_DT);
    CollisionPair* const pair = firstActive(s);
    a->deActivate();
    b->deActivate();
    pair->state = 1;
    EXPECT_EQ(s.manager().resolvePair(pair, 1, 0), 0u);
    EXPECT_EQ(pair->state, 0u);

    // A static first-hit box struck by a falling one stops being static.
    Scene hit;
    HullBody* const waiting = hit.box({0.0, 0.5, 0.0}, {0.5, 0.5, 0.5}, true, "waiting");
    waiting->enableFirstHit();
    HullBody* const falling = hit.boxOn(1.0);
    scenes::moving(falling, {0.0, -1.0, 0.0});
    hit.frame();
    EXPECT_FALSE(waiting->isStatic());
    EXPECT_TRUE(hit.world->isBodyChangeState());
    hit.frame();
    EXPECT_TRUE(listContains(hit.world->aBodies, waiting));
    EXPECT_LT(waiting->getDyn().position.y, 0.5);
}

// A box sliding at 1 m/s on a slab with friction 0.5 stops after about v^2 / (2 mu g).
TEST(PairResolution, FrictionStopsASlidingBoxWithoutReversing) {
    Scene s;
    HullBody* const slab = s.slab();
    HullBody* const box = s.boxOn(0.0);
    slab->setFrictionCoeff(0.5);
    box->setFrictionCoeff(0.5);
    scenes::moving(box, {1.0, 0.0, 0.0});
    double smallest = 1.0;
    for (int frame = 0; frame < 90; ++frame) {
        s.frame();
        smallest = std::min(smallest, box->getDyn().v.x);
    }
    EXPECT_GE(smallest, -1e-9);
    EXPECT_NEAR(box->getDyn().v.x, 0.0, 1e-6);
    EXPECT_NEAR(box->getDyn().position.x, 0.1, 0.02);
    EXPECT_GT(box->getDyn().position.y, 0.49);
}

// Contacts pressed unevenly by a sliding, turning box leave the friction cone: the
// normal stage gives pushes only.
TEST(PairResolution, TheNormalStagePushesOnly) {
    Scene s;
    HullBody* const slab = s.slab();
    HullBody* const box = s.boxOn(0.0);
    slab->setFrictionCoeff(0.3);
    scenes::moving(box, {2.0, -1.0, 0.0});
    box->setAngularVelocity({0.0, 0.0, 3.0});
    box->getLastDyn().w = box->getDyn().w;
    s.world->enableDetectMode();
    s.world->manageCollisions(scenes::HOST_DT);
    CollisionPair* const pair = firstActive(s);
    const double speed = box->getDyn().v.x;
    s.manager().resolvePair(pair, 1, 0);
    ASSERT_GT(pair->contactCount, 0u);
    double pushes = 0.0;
    for (std::uint32_t i = 0; i < pair->contactCount; ++i) {
        const QmtVector3& j = pair->impulseVectors[i];
        EXPECT_GE(j.Dot(pair->normals[i]), 0.0) << i;
        pushes += j.Dot(pair->normals[i]);
    }
    // The sliding push beat the free solve's largest push: a second pass without
    // friction in the rows, and friction mu j added on its own.
    EXPECT_EQ(pair->secondPass, 1);
    EXPECT_NEAR(box->getDyn().v.x, speed - 0.3 * pushes, 1e-12);
    EXPECT_NEAR(box->getDyn().v.y, 0.0, 1e-9);
}

TEST(PairResolution, ContactStateFollowsApproachNowAndBefore) {
    CollisionManager m;
    auto a = coltest::hullBox({0.0, 0.5, 0.0});
    auto b = coltest::hullBox({0.0, -0.5, 0.0});
    a->activate();
    b->activate();
    CollisionPair pair;
    coltest::resetPair(pair, a.get(), b.get());
    pair.contactCount = 1;
    pair.points[0] = {0.0, -0.5, 0.0};
    pair.pointsB[0] = {0.0, 0.5, 0.0};
    pair.normals[0] = {0.0, 1.0, 0.0};
    pair.armsA[0] = {0.0, -0.5, 0.0};
    pair.armsB[0] = {0.0, 0.5, 0.0};
    struct Row {
        double now, before;
        bool staticB;
        int mode;
        std::uint32_t stateIn, stateOut;
    };
    const Row rows[] = {
        {-1.0, -1.0, false, 1, 2, 1},  // approaching now and before: impact
        {-1.0, 0.0, false, 1, 1, 2},   // approaching only now: creeping
        {0.5, -1.0, false, 1, 2, 0},   // separating
        {-1.0, 0.0, true, 1, 0, 1},    // a static partner: the speed decides
        {-1.5e-5, 0.0, true, 1, 0, 2},
        {-1.0, -1.0, false, 2, 0, 2},  // inside a step only creeping is raised
        {0.5, -1.0, false, 2, 1, 1},   // and nothing is lowered
    };
    for (const Row& r : rows) {
        if (r.staticB) {
            b->enableStatic();
        } else {
            b->disableStatic();
        }
        a->setLinearVelocity({0.0, r.now, 0.0});
        a->getLastDyn().v = {0.0, r.before, 0.0};
        pair.state = r.stateIn;
        CollisionManager::refreshContactState(&pair, r.mode);
        EXPECT_EQ(pair.state, r.stateOut) << r.now << " " << r.before << " " << r.staticB << " " << r.mode;
    }
    // Speeds below 1e-5 vanish; a tangential slide gives the opposite friction direction.
    a->setLinearVelocity({2e-6, 0.0, 0.0});
    CollisionManager::refreshContactState(&pair, 2);
    EXPECT_EQ(pair.relativeVelocities[0], QmtVector3::ZERO);
    a->setLinearVelocity({3.0, -1.0, 0.0});
    CollisionManager::refreshContactState(&pair, 2);
    EXPECT_EQ(pair.frictionDirections[0], QmtVector3(-1.0, 0.0, 0.0));
}

TEST(PairResolution, ImpulseAtPointOnStaticAndDynamicBodies) {
    CollisionManager m;
    auto target = coltest::hullBox({0.0, 0.0, 0.0});
    target->activate();
    const QmtVector3 up{0.0, 1.0, 0.0};
    // A static body reflects the point mass (restitution 1) or stops it (0).
    target->enableStatic();
    target->setRestitutionCoeff(1.0);
    QmtVector3 v{0.0, -2.0, 0.0};
    m.applyImpulseAtPoint(1.0, 0.0, {0.0, 0.5, 0.0}, 1.0, up, v, target.get());
    EXPECT_NEAR(v.y, 2.0, 1e-12);
    // Outside the friction cone the tangential part is cut to mu times the normal part.
    v = {1.0, -1.0, 0.0};
    m.applyImpulseAtPoint(0.0, 0.0, {0.0, 0.5, 0.0}, 1.0, up, v, target.get());
    EXPECT_NEAR(v.y, 0.0, 1e-12);
    EXPECT_NEAR(v.x, 1.0, 1e-12);
    // A point moving away changes nothing.
    v = {0.0, 1.0, 0.0};
    m.applyImpulseAtPoint(0.0, 1.0, {0.0, 0.5, 0.0}, 1.0, up, v, target.get());
    EXPECT_EQ(v, QmtVector3(0.0, 1.0, 0.0));

    // Off the centre of a mass-2 cube with full grip and no bounce, the point ends with
    // the body's own velocity there.
    target->disableStatic();
    target->setRestitutionCoeff(0.0);
    target->setMass(2.0f);
    target->setLinearVelocity(QmtVector3::ZERO);
    target->setAngularVelocity(QmtVector3::ZERO);
    const QmtVector3 point{0.5, 0.5, 0.0};
    v = {0.0, -1.0, 0.0};
    m.applyImpulseAtPoint(0.0, 100.0, point, 1.0, up, v, target.get());
    const QmtVector3 bodyPoint = target->getPointVelocity(point);
    EXPECT_NEAR((v - bodyPoint).Length(), 0.0, 1e-9);
    EXPECT_NEAR(v.x, 1.0 / 6.0, 1e-9);
    EXPECT_NEAR(v.y, -0.5, 1e-9);
    EXPECT_NEAR(target->getDyn().v.y * 2.0 + v.y, -1.0, 1e-12);  // momentum kept
}

}  // namespace
