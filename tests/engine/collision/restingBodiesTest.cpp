#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>
#include <vector>

#include "tests/engine/collision/collisionScenes.h"
#include "tests/geometry/testMeshes.h"

namespace {

using Qmt::QmtVector3;
using scenes::Scene;

TEST(RestingBodies, RestTestCountsFivePassesOfSquaredSpeeds) {
    auto body = coltest::hullBox({});
    struct Row {
        QmtVector3 last, now;
        float limit;
        bool passes;
        int count;
    };
    const Row rows[] = {
        {{}, {0.99, 0.0, 0.0}, 1.0f, false, 0},  // |v|^2 below 1 but grown: count kept
        {{0.99, 0.0, 0.0}, {0.99, 0.0, 0.0}, 1.0f, false, 1},
        {{1.0, 0.0, 0.0}, {0.9, 0.0, 0.0}, 1.0f, false, 1},   // slowing down: count kept
        {{3.1, 0.0, 0.0}, {3.1, 0.0, 0.0}, 10.0f, false, 2},  // 9.61 < 10
        {{}, {}, 1.0f, true, 5},                               // the fifth pass in a row
        {{1.0, 0.0, 0.0}, {1.0, 0.0, 0.0}, 1.0f, false, 0},  // at the limit: reset
        {{}, {}, 1.0f, false, 1},
    };
    body->sleepCount = 0;
    int index = 0;
    for (const Row& r : rows) {
        if (index == 4) {
            body->sleepCount = 4;
        }
        body->getLastDyn().v = r.last;
        body->getDyn().v = r.now;
        EXPECT_EQ(CollisionManager::testBodyAtRest(body.get(), r.limit), r.passes) << index;
        EXPECT_EQ(body->getsleepCount(), r.count) << index;
        ++index;
    }
    // A sleeping partner keeps counting past five.
    body->sleepCount = 7;
    body->getLastDyn().v = QmtVector3::ZERO;
    body->getDyn().v = QmtVector3::ZERO;
    EXPECT_TRUE(CollisionManager::testBodyAtRest(body.get(), 1.0f));
    EXPECT_EQ(body->getsleepCount(), 8);
}

TEST(RestingBodies, ABoxOnTheSlabSleepsAtTheFifthManagement) {
    Scene s;
    s.slab();
    HullBody* const box = s.boxOn(0.0);
    s.world->enableBodyDeactivation();
    for (int frame = 1; frame <= 5; ++frame) {
        s.world->manageCollisions(scenes::HOST_DT);
        ASSERT_EQ(box->isActive(), frame < 5) << frame;
        if (frame < 5) {
            s.world->step(scenes::HOST_DT, nullptr);
        }
    }
    EXPECT_EQ(box->getDyn().v, QmtVector3::ZERO);
    EXPECT_EQ(box->getDyn().w, QmtVector3::ZERO);
    s.world->step(scenes::HOST_DT, nullptr);
    EXPECT_TRUE(listContains(s.world->adeActivatedBodies, box));
    EXPECT_TRUE(listContains(s.world->aReactivationBodies, box));
    EXPECT_FALSE(listContains(s.world->aBodies, box));
}

TEST(RestingBodies, PairsWithFewerThanThreeContactsNeverSettle) {
    CollisionManager m;
    auto slab = coltest::hullBox({0.0, -0.5, 0.0}, {5.0, 0.5, 5.0});
    slab->enableStatic();
    auto box = coltest::hullBox({0.0, 0.5, 0.0});
    box->activate();
    CollisionPair* const pair = m.takePairRecord(0);
    coltest::resetPair(*pair, box.get(), slab.get());
    pair->contactCount = 2;
    m.activePairs.pushFront(pair);
    for (int i = 0; i < 10; ++i) {
        m.settleRestingBodies();
    }
    EXPECT_TRUE(box->isActive());
    EXPECT_EQ(box->getsleepCount(), 0);
    pair->contactCount = 3;
    for (int i = 0; i < 5; ++i) {
        m.settleRestingBodies();
    }
    EXPECT_FALSE(box->isActive());
}

TEST(RestingBodies, PairsAreOrderedFromEachRootUp) {
    CollisionManager m;
    // Two stacks on two ground bodies at the same energy; the lower ground is the
    // first root.
    auto groundLow = coltest::hullBox({0.0, -1.0, 0.0});
    auto groundHigh = coltest::hullBox({10.0, 0.0, 0.0});
    auto a1 = coltest::hullBox({0.0, 0.0, 0.0});
    auto a2 = coltest::hullBox({0.0, 1.0, 0.0});
    auto b1 = coltest::hullBox({10.0, 1.0, 0.0});
    groundLow->enableStatic();
    groundHigh->enableStatic();
    std::vector<CollisionPair*> made;
    const auto link = [&](HardBody* x, HardBody* y) {
        CollisionPair* const p = m.takePairRecord(0);
        coltest::resetPair(*p, x, y);
        made.push_back(p);
        return p;
    };
    CollisionPair* const top = link(a2.get(), a1.get());
    CollisionPair* const other = link(b1.get(), groundHigh.get());
    CollisionPair* const bottom = link(a1.get(), groundLow.get());
    PairList input;
    PairList output;
    for (CollisionPair* p : {bottom, other, top}) {
        input.pushFront(p);
    }
    std::uint32_t counter = 3;
    m.orderPairsByStage(input, output, counter);
    EXPECT_EQ(input.count, 0u);
    EXPECT_EQ(counter, 6u);
    EXPECT_EQ(std::vector<CollisionPair*>(output.begin(), output.end()),
              (std::vector<CollisionPair*>{other, top, bottom}));
    EXPECT_EQ(groundLow->getContactStage(), 3);
    EXPECT_EQ(a1->getContactStage(), 4);
    EXPECT_EQ(a2->getContactStage(), 5);
    EXPECT_EQ(groundHigh->getContactStage(), 5);
    EXPECT_EQ(b1->getContactStage(), 6);
    for (CollisionPair* p : made) {
        m.returnPairToLane(p, 0);
    }
}

TEST(RestingBodies, AlignmentLeavesABodyBeyondTheSphereAlone) {
    CollisionManager m;
    auto body = coltest::hullBox({0.0, 0.0, 5.0});
    auto target = coltest::hullBox({0.0, 0.0, 0.0});
    target->computeWCenter();
    CollisionPair* const pair = m.takePairRecord(0);
    coltest::resetPair(*pair, body.get(), target.get());
    m.crackerPairs.pushFront(pair);
    EXPECT_TRUE(m.alignListedBodies());
    EXPECT_EQ(body->getDyn().position, QmtVector3(0.0, 0.0, 5.0));
    EXPECT_EQ(body->getDyn().rotation, Qmt::QmtMatrix3::IDENTITY);

    // Inside the reach it lands on the sphere's chord.
    body->setPosition({0.3, 0.0, 0.4});
    EXPECT_TRUE(m.alignListedBodies());
    const QmtVector3 p = body->getDyn().position;
    EXPECT_TRUE(std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z));
    m.crackerPairs.clear();
    m.returnPairToLane(pair, 0);
}

// Bodies dropped turned onto the ground plane, in a world set up as the module sets it
// (gravity 9.81, contact groups, sleeping, the default damping, restitution 0.3 and
// friction 0.7): a cube, a tetrahedron and a shard-like hull of random points each
// lie still and asleep by frame 600 of a 30 frames per second host, and stay put.
TEST(RestingBodies, TurnedBodiesComeToRestOnTheGround) {
    const double d = std::numbers::pi / 180.0;
    Qmt::QmtMatrix3 Rx = Qmt::QmtMatrix3::IDENTITY, Ry = Rx, Rz = Rx;
    Rx(1, 1) = Rx(2, 2) = std::cos(20.0 * d);
    Rx(2, 1) = std::sin(20.0 * d);
    Rx(1, 2) = -Rx(2, 1);
    Ry(0, 0) = Ry(2, 2) = std::cos(30.0 * d);
    Ry(0, 2) = std::sin(30.0 * d);
    Ry(2, 0) = -Ry(0, 2);
    Rz(0, 0) = Rz(1, 1) = std::cos(10.0 * d);
    Rz(1, 0) = std::sin(10.0 * d);
    Rz(0, 1) = -Rz(1, 0);
    const Qmt::QmtMatrix3 turn = Rz * Ry * Rx;

    std::mt19937 rng(5);
    std::uniform_real_distribution<double> u(-0.5, 0.5);
    std::vector<QmtVector3> shard(12);
    for (QmtVector3& v : shard) {
        v = QmtVector3(u(rng), 0.6 * u(rng), 0.8 * u(rng));
    }
    const std::vector<QmtVector3> shapes[] = {meshtest::cube(1.0, {-0.5, -0.5, -0.5}).vertices,
                                              meshtest::tetrahedron().vertices, shard};
    for (const std::vector<QmtVector3>& points : shapes) {
        Scene s(-9.81);
        s.world->enableContactGroups();
        s.world->enableBodyDeactivation();
        s.world->addBody(coltest::floorPlane().release(), 0);
        const QmtVector3 centre(0.0, 1.5, 0.0);
        ZYLmesh mesh;
        mesh.numVertices = static_cast<std::uint32_t>(points.size());
        mesh.vertices = new QmtVector3[points.size()];
        QmtVector3 middle;
        for (const QmtVector3& p : points) {
            middle += p / static_cast<double>(points.size());
        }
        for (std::size_t i = 0; i < points.size(); ++i) {
            mesh.vertices[i] = centre + turn * (points[i] - middle);
        }
        auto* const body = static_cast<HullBody*>(createHullBody(&mesh));
        body->init(centre, turn, coltest::UNIT_SCALE);
        body->setMass(1.0f);
        body->setRestitutionCoeff(0.3);
        body->setFrictionCoeff(0.7);
        body->setAirDampingCoeff(0.001);
        body->setAirDampingCoeff2(0.001);
        s.world->addBody(body, 0);
        for (int frame = 0; frame < 600 * 5; ++frame) {
            s.frame();
        }
        EXPECT_FALSE(body->isActive()) << points.size();
        const QmtVector3 atRest = body->getDyn().position;
        for (int frame = 0; frame < 100 * 5; ++frame) {
            s.frame();
        }
        EXPECT_LT((body->getDyn().position - atRest).Length(), 1e-3) << points.size();
        EXPECT_GT(body->getDyn().position.y, 0.0) << points.size();
    }
}

}  // namespace
