#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "engine/collision/collisionManager.h"
#include "engine/fracture/fractureBody.h"
#include "geometry/query/capsuleProximity.h"
#include "tests/engine/collision/collisionTestBodies.h"

namespace {

const ::testing::Environment* const singleLane =
    ::testing::AddGlobalTestEnvironment(new coltest::SingleLaneEnvironment);

using coltest::QmtVector3;
using coltest::resetPair;

void expectNear(const QmtVector3& a, const QmtVector3& b, double tol = 1e-12) {
    EXPECT_NEAR(a.x, b.x, tol);
    EXPECT_NEAR(a.y, b.y, tol);
    EXPECT_NEAR(a.z, b.z, tol);
}

TEST(PairKind, TableOverAllKindCodes) {
    // Rows bodyA, columns bodyB, kind codes 0..7 (4 unused).
    const int expected[8][8] = {
        {0, 0, 0, 0, 0, 0, 0, 0},  {0, 1, 2, 4, 0, 0, 1, 10}, {0, 3, 6, 7, 0, 0, 3, 11},
        {0, 5, 8, 9, 0, 0, 5, 12}, {0, 0, 0, 0, 0, 0, 0, 0},  {0, 0, 0, 0, 0, 0, 0, 0},
        {0, 1, 2, 4, 0, 0, 1, 10}, {0, 0, 0, 0, 0, 0, 0, 0},
    };
    for (int a = 0; a < 8; ++a) {
        for (int b = 0; b < 8; ++b) {
            EXPECT_EQ(CollisionManager::pairKind(eHBodyType(a), eHBodyType(b)), expected[a][b]) << a << " " << b;
        }
    }
}

TEST(OverlapTest, PerKindWithCacheRules) {
    const auto owned = std::make_unique<CollisionManager>();
    CollisionManager& m = *owned;
    CollisionPair pair;
    auto floor = coltest::floorPlane();
    auto low = coltest::hullBox({0.1, 0.49, 0.2});
    auto high = coltest::hullBox({0.1, 2.0, 0.2});
    auto onTop = coltest::hullBox({0.1, 1.48, 0.2});
    auto rod = coltest::capsuleAlong({-1, 0.9, -0.2}, {1, 1.3, 0.2});
    auto crossRod = coltest::capsuleAlong({0.0, 0.6, -1.0}, {0.4, 1.0, 1.0}, true);
    auto farRod = coltest::capsuleAlong({-1, 5.0, -0.2}, {1, 5.4, 0.2});

    // Hull-plane: the plane cache is taken only when the test passes.
    resetPair(pair, high.get(), floor.get());
    pair.cacheVertexA = 77;
    EXPECT_FALSE(m.overlapTestByKind(high.get(), floor.get(), &pair, 0));
    EXPECT_EQ(pair.cacheVertexA, 77u);
    EXPECT_TRUE(m.overlapTestByKind(low.get(), floor.get(), &pair, 0));
    EXPECT_NE(pair.cacheVertexA, 77u);
    EXPECT_FALSE(m.overlapTestByKind(floor.get(), low.get(), &pair, 0));  // a barrier is never bodyA

    // Hull-hull writes its cache back; hull-capsule leaves the pair's cache alone.
    resetPair(pair, onTop.get(), low.get());
    EXPECT_TRUE(m.overlapTestByKind(onTop.get(), low.get(), &pair, 0));
    EXPECT_GT(pair.cacheDirection.SquaredLength(), 0.0);
    EXPECT_FALSE(m.overlapTestByKind(high.get(), low.get(), &pair, 0));
    // Octahedra whose boxes overlap while they do not: the search runs, fails and
    // still leaves its end in the pair.
    auto octahedron = [](const QmtVector3& c) {
        ZYLmesh mesh;
        mesh.numVertices = 6;
        mesh.vertices = new QmtVector3[6]{{1, 0, 0}, {-1, 0, 0}, {0, 1, 0}, {0, -1, 0}, {0, 0, 1}, {0, 0, -1}};
        std::unique_ptr<HullBody> body(static_cast<HullBody*>(createHullBody(&mesh)));
        delete[] mesh.vertices;
        mesh.vertices = nullptr;
        body->init({}, coltest::QmtMatrix3::IDENTITY, coltest::UNIT_SCALE);
        body->setPosition(c);
        return body;
    };
    auto octA = octahedron({0, 0, 0});
    auto octB = octahedron({1.2, 1.2, 0});
    resetPair(pair, octA.get(), octB.get());
    pair.cacheVertexA = 77;
    EXPECT_FALSE(m.overlapTestByKind(octA.get(), octB.get(), &pair, 0));
    EXPECT_NE(pair.cacheVertexA, 77u);
    for (bool capsuleFirst : {true, false}) {
        HardBody* a = capsuleFirst ? static_cast<HardBody*>(rod.get()) : low.get();
        HardBody* b = capsuleFirst ? static_cast<HardBody*>(low.get()) : rod.get();
        resetPair(pair, a, b);
        pair.cacheVertexA = 3;
        pair.cacheDirection = {1, 2, 3};
        EXPECT_TRUE(m.overlapTestByKind(a, b, &pair, 0));
        EXPECT_EQ(pair.cacheVertexA, 3u);
        EXPECT_EQ(pair.cacheDirection, QmtVector3(1, 2, 3));
        EXPECT_FALSE(m.overlapTestByKind(capsuleFirst ? farRod.get() : a, capsuleFirst ? b : farRod.get(), &pair, 0));
    }

    // Capsule-capsule (a cracker counts as a capsule) and capsule-plane.
    EXPECT_TRUE(m.overlapTestByKind(rod.get(), crossRod.get(), &pair, 0));
    EXPECT_FALSE(m.overlapTestByKind(farRod.get(), crossRod.get(), &pair, 0));
    auto raised = coltest::floorPlane(0.7);
    EXPECT_TRUE(m.overlapTestByKind(crossRod.get(), raised.get(), &pair, 0));
    EXPECT_FALSE(m.overlapTestByKind(crossRod.get(), floor.get(), &pair, 0));

    // Two static bodies meet only when one waits for its first hit.
    onTop->enableStatic();
    low->enableStatic();
    EXPECT_FALSE(m.overlapTestByKind(onTop.get(), low.get(), &pair, 0));
    low->enableFirstHit();
    EXPECT_TRUE(m.overlapTestByKind(onTop.get(), low.get(), &pair, 0));

    // A stale world state is refreshed before the test.
    high->translate({0.0, -1.52, 0.0});
    high->disableWorldUpdate();
    EXPECT_TRUE(m.overlapTestByKind(high.get(), floor.get(), &pair, 0));
    EXPECT_TRUE(high->isWorldModified());
}

TEST(GenerateContacts, CapsuleHullBothOrdersSingleCapsulePairAndKindZero) {
    const auto owned = std::make_unique<CollisionManager>();
    CollisionManager& m = *owned;
    auto box = coltest::hullBox({0.1, 0.49, 0.2});
    auto rod = coltest::capsuleAlong({-1, 0.9, -0.2}, {1, 1.3, 0.2});
    CollisionPair capsuleFirst;
    CollisionPair hullFirst;
    resetPair(capsuleFirst, rod.get(), box.get());
    resetPair(hullFirst, box.get(), rod.get());
    ASSERT_TRUE(m.generateContacts(rod.get(), box.get(), &capsuleFirst, 0));
    ASSERT_TRUE(m.generateContacts(box.get(), rod.get(), &hullFirst, 0));
    ASSERT_EQ(capsuleFirst.contactCount, hullFirst.contactCount);
    ASSERT_GE(hullFirst.contactCount, 2u);
    const QmtVector3 n = hullFirst.normals[0];
    const double d = hullFirst.depths[0];
    EXPECT_EQ(capsuleFirst.points[0], hullFirst.points[0] - n * d);
    for (std::uint32_t i = 0; i < hullFirst.contactCount; ++i) {
        EXPECT_EQ(capsuleFirst.normals[i], -n);
        EXPECT_EQ(hullFirst.normals[i], n);
        EXPECT_EQ(capsuleFirst.depths[i], d);
        EXPECT_EQ(capsuleFirst.features[i].featureB, hullFirst.features[i].featureA);
        if (i > 0) {
            EXPECT_EQ(capsuleFirst.points[i], hullFirst.points[i]);
        }
    }
    // The cache goes back in pair order: swapped vertices, reversed direction.
    EXPECT_EQ(capsuleFirst.cacheVertexA, hullFirst.cacheVertexB);
    EXPECT_EQ(capsuleFirst.cacheDirection, -hullFirst.cacheDirection);

    // Capsule-capsule: one contact whose normal points towards bodyA.
    auto crossRod = coltest::capsuleAlong({0.0, 0.6, -1.0}, {0.4, 1.0, 1.0});
    CollisionPair pair;
    for (auto [a, b] : {std::pair{rod.get(), crossRod.get()}, std::pair{crossRod.get(), rod.get()}}) {
        resetPair(pair, a, b);
        ASSERT_TRUE(m.generateContacts(a, b, &pair, 0));
        EXPECT_EQ(pair.contactCount, 1u);
        EXPECT_GE((a->computeWCenter() - pair.points[0]).Dot(pair.normals[0]), 1e-5);
    }

    // Kind 0 never touches, also without an overlap test before it.
    auto floor = coltest::floorPlane();
    std::unique_ptr<HardBody> phantom(createPhantomBody(nullptr));
    EXPECT_FALSE(m.generateContacts(floor.get(), box.get(), &pair, 0));
    EXPECT_FALSE(m.generateContacts(phantom.get(), floor.get(), &pair, 0));
    EXPECT_FALSE(m.generateContacts(nullptr, floor.get(), &pair, 0));
}

TEST(GenerateContacts, FragmentsOfAFractureBody) {
    const auto owned = std::make_unique<CollisionManager>();
    CollisionManager& m = *owned;
    auto floor = coltest::floorPlane();
    auto left = coltest::hullBox({-2.0, 0.49, 0.0});
    auto middle = coltest::hullBox({0.0, 0.49, 0.0});
    auto right = coltest::hullBox({2.0, 0.495, 0.0});
    std::unique_ptr<FractureBody> compound(static_cast<FractureBody*>(createFractureBody()));
    for (HullBody* fragment : {left.get(), middle.get(), right.get()}) {
        compound->fragments.pushFront(fragment);
    }
    CollisionPair pair;
    resetPair(pair, compound.get(), floor.get());
    ASSERT_TRUE(m.generatePairContacts(compound.get(), floor.get(), &pair, 0));
    // Every fragment's contacts; the shallower ones are depth outliers of the set.
    EXPECT_EQ(pair.contactCount, 6u);
    for (std::uint32_t i = 0; i < pair.contactCount; ++i) {
        EXPECT_NEAR(pair.depths[i], -0.01, 1e-12);
    }
    EXPECT_EQ(m.pairPool.count, 16u);  // the sub-pair went back

    // A lane without a pool has no sub-pair record: nothing is generated.
    pair.contactCount = 5;
    EXPECT_FALSE(m.generatePairContacts(compound.get(), floor.get(), &pair, 1));
    EXPECT_EQ(pair.contactCount, 0u);
}

TEST(ContactFilters, ReductionAndDepthOutliers) {
    CollisionPair pair;
    pair.contactCount = 10;
    for (std::uint32_t i = 0; i < 10; ++i) {
        pair.points[i] = QmtVector3(std::cos(i * 0.7) * (1 + i), std::sin(i * 0.7), 0.1 * i);
        pair.depths[i] = -0.01 * i;
        pair.features[i].featureA = i;
    }
    QmtVector3 before[10];
    std::copy_n(pair.points, 10, before);
    std::uint32_t chosen[6];
    std::uint32_t k = 6;
    selectExtremePoints(before, 10, chosen, k);
    CollisionManager::reduceContacts(&pair);
    ASSERT_EQ(pair.contactCount, 6u);
    for (std::uint32_t i = 0; i < 6; ++i) {
        EXPECT_EQ(pair.points[i], before[chosen[i]]);
        EXPECT_EQ(pair.features[i].featureA, chosen[i]);
    }
    CollisionManager::reduceContacts(&pair);  // six or fewer: unchanged
    EXPECT_EQ(pair.contactCount, 6u);

    // 1, 1, 1, 1, 5: mean 1.8, deviation 1.6; the 5 goes and the rest keep order.
    const double depths[5] = {1, 1, 5, 1, 1};
    pair.contactCount = 5;
    for (std::uint32_t i = 0; i < 5; ++i) {
        pair.depths[i] = depths[i];
        pair.relativeVelocities[i] = QmtVector3(i, 0, 0);
    }
    CollisionManager::dropDepthOutliers(&pair);
    ASSERT_EQ(pair.contactCount, 4u);
    EXPECT_EQ(pair.relativeVelocities[2], QmtVector3(3, 0, 0));
    EXPECT_EQ(pair.dropMarks[4], 0);

    // Equal depths keep every contact, also when the mean lands an ulp off them.
    const double equal = -0.006365296598280357;
    pair.contactCount = 14;
    std::fill_n(pair.depths, 14, equal);
    double sum = 0.0;
    for (int i = 0; i < 14; ++i) {
        sum += equal;
    }
    ASSERT_NE(sum / 14, equal);
    CollisionManager::dropDepthOutliers(&pair);
    EXPECT_EQ(pair.contactCount, 14u);
}

// A hull box resting 0.01 deep on a floor and a box resting on another box: the
// manifold carries everything the solver reads, and the report and its queries see it.
TEST(BuildManifold, BoxOnFloorAndBoxOnBoxThenReport) {
    const auto owned = std::make_unique<CollisionManager>();
    CollisionManager& m = *owned;
    m.clear();
    auto floor = coltest::floorPlane();
    auto box = coltest::hullBox({0.1, 0.49, 0.2});
    box->setLinearVelocity({1.0, -2.0, 0.0});
    box->setAngularVelocity({0.0, 1.0, 0.0});
    box->setRestitutionCoeff(0.5);
    box->setFrictionCoeff(0.2);
    CollisionPair* const pair = m.takePairRecord(0);
    resetPair(*pair, box.get(), floor.get());
    ASSERT_TRUE(m.overlapTestByKind(box.get(), floor.get(), pair, 0));
    ASSERT_TRUE(m.generatePairContacts(box.get(), floor.get(), pair, 0));
    CollisionManager::buildManifold(pair);
    ASSERT_EQ(pair->contactCount, 3u);
    const QmtVector3 centre = box->getDyn().position;
    for (std::uint32_t i = 0; i < 3; ++i) {
        EXPECT_EQ(pair->normals[i], QmtVector3(0, 1, 0));
        EXPECT_NEAR(pair->depths[i], -0.01, 1e-12);
        const QmtVector3& local = pair->points[i];
        EXPECT_NEAR(std::fabs(local.x), 0.5, 1e-12);
        EXPECT_NEAR(local.y, -0.5, 1e-12);
        EXPECT_NEAR(std::fabs(local.z), 0.5, 1e-12);
        const QmtVector3 world = local + centre;
        expectNear(pair->pointsB[i], {world.x, 0.0, world.z});
        EXPECT_EQ(pair->armsA[i], world - centre);
        EXPECT_EQ(pair->armsB[i], world - floor->getDyn().position);
        EXPECT_EQ(pair->staticPointVelocities[i], QmtVector3::ZERO);
        const QmtVector3 rel = QmtVector3(1, -2, 0) + QmtVector3(0, 1, 0).Cross(pair->armsA[i]);
        EXPECT_EQ(pair->relativeVelocities[i], rel);
        QmtVector3 slide(-rel.x, 0.0, -rel.z);
        slide.Unitize(9.999999974752427e-7);
        expectNear(pair->frictionDirections[i], slide);
    }
    EXPECT_EQ(pair->state, 1u);
    EXPECT_EQ(pair->restitution, std::min(0.5, double(0.3f)));
    EXPECT_EQ(pair->friction, double(0.7f));
    EXPECT_EQ(box->getCollisionState(), MOTION_TOUCHING);
    EXPECT_EQ(floor->getCollisionState(), MOTION_TOUCHING);

    // Box on box: a static bottom lends its own motion, a resting dynamic one none.
    auto top = coltest::hullBox({0.1, 1.48, 0.2});
    for (bool bottomStatic : {true, false}) {
        auto bottom = coltest::hullBox({0.1, 0.49, 0.2});
        if (bottomStatic) {
            bottom->enableStatic();
            bottom->setLinearVelocity({0.0, 0.0, 1.0});
        }
        CollisionPair stack;
        resetPair(stack, top.get(), bottom.get());
        ASSERT_TRUE(m.overlapTestByKind(top.get(), bottom.get(), &stack, 0));
        ASSERT_TRUE(m.generatePairContacts(top.get(), bottom.get(), &stack, 0));
        CollisionManager::buildManifold(&stack);
        ASSERT_EQ(stack.contactCount, 4u);
        for (std::uint32_t i = 0; i < 4; ++i) {
            EXPECT_EQ(stack.normals[i], QmtVector3(0, 1, 0));
            EXPECT_NEAR(stack.depths[i], -0.01, 1e-12);
            EXPECT_NEAR(stack.pointsB[i].y, 0.5, 1e-12);
            EXPECT_EQ(stack.relativeVelocities[i], bottomStatic ? QmtVector3(0, 0, -1) : QmtVector3::ZERO);
            EXPECT_EQ(stack.frictionDirections[i], bottomStatic ? QmtVector3(0, 0, 1) : QmtVector3::ZERO);
        }
    }

    // Report, queries and release of the floor pair.
    m.activePairs.pushFront(pair);
    m.pairCount = 1;
    m.updateCollisionReport();
    m.updateCollisionReport();  // the same bodies: the record is overwritten
    ASSERT_EQ(m.collisionReport.count, 1u);
    QmtVector3* points = nullptr;
    ASSERT_EQ(m.getReportedContactPoints(floor.get(), box.get(), &points), 3);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(points[i], box->getDyn().rotation * pair->points[i] + centre);
    }
    QmtVector3* normals = nullptr;
    double* depths = nullptr;
    EXPECT_EQ(m.getPairContactPoints(floor.get(), box.get(), &normals, &depths), 0);
    EXPECT_EQ(normals[2], QmtVector3(0, -1, 0));
    EXPECT_EQ(depths[2], pair->depths[2]);
    HardBody** colliding = nullptr;
    ASSERT_EQ(m.getCollidingBodies(box.get(), &colliding), 1);
    EXPECT_EQ(colliding[0], floor.get());
    m.releasePairs();
    EXPECT_EQ(m.activePairs.count, 0u);
    EXPECT_EQ(m.collisionReport.count, 1u);  // the report keeps its copy
}

TEST(BuildManifold, StaticMeshWithVertexVelocitiesInterpolatesTheTouchedFace) {
    const auto shape = meshtest::makeMesh(meshtest::box({-1, -1, -1}, {1, 0, 1}));
    std::unique_ptr<HardBody> ground(createTriMeshBody(shape.get()));
    ground->init({}, coltest::QmtMatrix3::IDENTITY, coltest::UNIT_SCALE);
    ground->enableStatic();
    ZYLmesh& mesh = *ground->getMesh();
    // A linear velocity field: interpolation over a face reproduces it exactly.
    const auto field = [](const QmtVector3& p) { return QmtVector3(p.x, 0.0, 2.0 * p.z); };
    if (!mesh.vertexVelocities) {
        mesh.vertexVelocities = new QmtVector3[mesh.numVertices];
    }
    for (std::uint32_t k = 0; k < mesh.numVertices; ++k) {
        mesh.vertexVelocities[k] = field(mesh.worldVertices[k]);
    }
    mesh.velocityFlag = 1;
    std::uint32_t face = 0;
    const auto corner = [&](std::uint32_t f, int k) { return mesh.worldVertices[mesh.faces[f].vertices[k]]; };
    while (face < mesh.numFaces && (corner(face, 0).y != 0.0 || corner(face, 1).y != 0.0 || corner(face, 2).y != 0.0)) {
        ++face;
    }
    ASSERT_LT(face, mesh.numFaces);
    const QmtVector3 touch = (corner(face, 0) + corner(face, 1) + corner(face, 2)) / 3.0;

    auto box = coltest::hullBox({0.0, 0.5, 0.0});
    CollisionPair pair;
    resetPair(pair, box.get(), ground.get());
    pair.contactCount = 2;
    pair.points[0] = touch - box->getDyn().position;  // already in A's frame
    pair.features[0].featureB = face;
    pair.points[1] = pair.points[0];
    pair.features[1].featureB = mesh.numFaces;  // no such face: the body's own motion
    ground->setLinearVelocity({0.0, 0.0, 3.0});
    CollisionManager::computeStaticPointVelocities(&pair);
    expectNear(pair.staticPointVelocities[0], field(touch));
    EXPECT_EQ(pair.staticPointVelocities[1], QmtVector3(0, 0, 3));
    EXPECT_EQ(pair.armsB[1], touch);
}

}  // namespace
