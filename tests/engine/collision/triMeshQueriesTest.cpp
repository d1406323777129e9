#include "engine/collision/triMeshQueries.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "engine/collision/collisionManager.h"
#include "engine/collision/collisionPair.h"
#include "engine/collision/treeShapeFits.h"
#include "geometry/bounds/boundingVolumes.h"
#include "tests/engine/collision/collisionTestBodies.h"
#include "tests/engine/collision/convex/testHulls.h"
#include "tests/engine/collision/triMeshTestBodies.h"
#include "tests/testSupport.h"

namespace {

using Qmt::QmtMatrix3;
using Qmt::QmtVector3;
using trimeshtest::placedBody;

// 24-entry contact arrays.
struct Contacts {
    QmtVector3 points[24];
    QmtVector3 normals[24];
    double depths[24] = {};
    ContactFeature features[24];
    std::uint32_t count = 0;
    TreeContacts view() { return {points, normals, depths, features, count}; }
    void add(const QmtVector3& p, const QmtVector3& n, double d) {
        points[count] = p;
        normals[count] = n;
        depths[count] = d;
        features[count].featureA = count;
        ++count;
    }
};

const QmtVector3 UP(0.0, 1.0, 0.0);

// A box hull with its bounding sphere (the box builder leaves it out).
std::unique_ptr<hulltest::Hull> boxHull(const QmtVector3& c, const QmtVector3& half) {
    auto hull = hulltest::boxHull(c, half);
    hull->mesh->worldCentre = c;
    hull->mesh->worldRadius = half.Length();
    return hull;
}

std::unique_ptr<TriMeshBody> cubeBody(const QmtVector3& centre) {
    return placedBody(trimeshtest::triangulated(meshtest::cube(1.0, centre - QmtVector3(0.5, 0.5, 0.5))), centre);
}

}  // namespace

TEST(TriMeshQueries, TreeOnPlane) {
    Contacts c;
    // Sunk 0.1: the four bottom corners, each once.
    const auto sunk = cubeBody({0.0, 0.4, 0.0});
    ASSERT_TRUE(treePlaneContacts(*sunk->tree, *sunk->bound, {0.0, 0.0, 0.0}, UP, c.points, c.normals, c.depths,
                                  c.features, c.count, 0));
    ASSERT_EQ(c.count, 4u);
    for (std::uint32_t i = 0; i < 4; ++i) {
        EXPECT_NEAR(c.depths[i], -0.1, 1e-12);
        EXPECT_EQ(c.normals[i], UP);
        EXPECT_EQ(c.features[i].featureB, 0xFFFFFFFFu);
    }
    // The first hit finds a leaf and finds it again from there.
    BinaryTreeNode* leaf = nullptr;
    ASSERT_TRUE(nodePlaneFirstHit(sunk->tree->root, *sunk->bound, {0.0, 0.0, 0.0}, UP, leaf, 0));
    BinaryTreeNode* again = nullptr;
    EXPECT_TRUE(nodePlaneFirstHit(leaf, *sunk->bound, {0.0, 0.0, 0.0}, UP, again, 0));
    EXPECT_EQ(again, leaf);

    // Resting exactly on the plane: nothing is below it.
    const auto resting = cubeBody({0.0, 0.5, 0.0});
    EXPECT_FALSE(treePlaneContacts(*resting->tree, *resting->bound, {0.0, 0.0, 0.0}, UP, c.points, c.normals,
                                   c.depths, c.features, c.count, 0));
    EXPECT_EQ(c.count, 0u);
    EXPECT_FALSE(nodePlaneFirstHit(resting->tree->root, *resting->bound, {0.0, 0.0, 0.0}, UP, leaf, 0));
    EXPECT_EQ(leaf, nullptr);
}

TEST(TriMeshQueries, Filters) {
    const QmtVector3 z(0.0, 0.0, 1.0);
    {  // Opposed normals with equal depths: the later one stays.
        Contacts c;
        c.add({0, 0, 0}, z, -0.1);
        c.add({5, 0, 0}, -z, -0.1);
        TreeContacts v = c.view();
        dropOpposedContacts(v);
        ASSERT_EQ(c.count, 1u);
        EXPECT_EQ(c.features[0].featureA, 1u);
    }
    {  // Two at one point merge into the larger depth; a tie keeps the earlier.
        Contacts c;
        c.add({0, 0, 0}, z, -0.2);
        c.add({0, 0, 0}, z, -0.1);
        c.add({3, 0, 0}, z, -0.3);
        c.add({3, 0, 0}, z, -0.3);
        TreeContacts v = c.view();
        mergeCloseContacts(v);
        ASSERT_EQ(c.count, 2u);
        EXPECT_EQ(c.features[0].featureA, 1u);
        EXPECT_EQ(c.features[1].featureA, 2u);
    }
    {  // 1, 1, 1, 1, 5: mean 1.8, deviation 1.6, so 5 goes.
        Contacts c;
        for (const double d : {1.0, 1.0, 1.0, 1.0, 5.0}) {
            c.add({d, 0, 0}, z, d);
        }
        TreeContacts v = c.view();
        dropContactDepthOutliers(v);
        EXPECT_EQ(c.count, 4u);
    }
    for (const double depth : {-0.45, -0.9}) {  // equal depths whose variance rounds to 0 or below
        Contacts c;
        for (int i = 0; i < 7; ++i) {
            c.add({double(i), 0, 0}, z, depth);
        }
        TreeContacts v = c.view();
        dropContactDepthOutliers(v);
        EXPECT_EQ(c.count, 7u) << depth;
    }
    {  // Six kept, in their order.
        Contacts c;
        std::mt19937 rng(3);
        std::uniform_real_distribution<double> u(-1.0, 1.0);
        for (int i = 0; i < 20; ++i) {
            c.add({u(rng), u(rng), u(rng)}, z, -0.1);
        }
        TreeContacts v = c.view();
        reduceContactsToSix(v);
        ASSERT_EQ(c.count, 6u);
        for (std::uint32_t i = 1; i < 6; ++i) {
            EXPECT_LT(c.features[i - 1].featureA, c.features[i].featureA);
        }
    }
}

TEST(TriMeshQueries, FacingTrianglesTouchWithMarginSameFacingNever) {
    // Two sheets of triangles in the plane z = 0, one facing up, one down: only the
    // facing pair gives contacts (tested with the margin); same-facing sheets never do.
    const auto up = placedBody(trimeshtest::strip(2, 0.0, false), {1.0, 0.5, 0.0});
    const auto down = placedBody(trimeshtest::strip(2, 0.0, true), {1.0, 0.5, 0.0});
    const auto upAgain = placedBody(trimeshtest::strip(2, 0.0, false), {1.0, 0.5, 0.0});
    Contacts c;
    EXPECT_TRUE(treeTreeContacts(*down->tree, *down->bound, *up->bound, *up->tree, c.points, c.normals, c.depths,
                                 c.features, c.count, 0));
    EXPECT_GT(c.count, 0u);
    EXPECT_FALSE(treeTreeContacts(*upAgain->tree, *upAgain->bound, *up->bound, *up->tree, c.points, c.normals,
                                  c.depths, c.features, c.count, 0));
}

TEST(TriMeshQueries, CapsuleAndHullOnSlab) {
    const auto slab = placedBody(trimeshtest::triangulated(meshtest::box({-3, -1, -3}, {3, 0, 3})), {0, -0.5, 0});
    // A capsule lying on the slab, sunk 0.05.
    ZYLcapsule record{{0.0, 0.45, 0.0}, {1.0, 0.0, 0.0}, 2.0, 0.5};
    BCapsule capsule(&record);
    Contacts c;
    ASSERT_TRUE(capsuleTreeContacts(*slab->tree, *slab->bound, capsule, c.points, c.normals, c.depths, c.features,
                                    c.count, 0));
    for (std::uint32_t i = 0; i < c.count; ++i) {
        EXPECT_NEAR(c.depths[i], -0.05, 1e-9);
    }
    BinaryTreeNode* leaf = nullptr;
    EXPECT_TRUE(treeCapsuleFirstHit(*slab->tree, *slab->bound, capsule, leaf, 0));
    EXPECT_NE(leaf, nullptr);

    // A unit cube hull sunk 0.1 into the slab's top.
    const auto hull = boxHull({0.0, 0.4, 0.0}, {0.5, 0.5, 0.5});
    ASSERT_TRUE(hullTreeContacts(*slab->tree, *slab->bound, hull->volume, c.points, c.normals, c.depths,
                                 c.features, c.count, 0));
    ASSERT_EQ(c.count, 4u);  // the bottom corners
    for (std::uint32_t i = 0; i < c.count; ++i) {
        EXPECT_NEAR(c.depths[i], -0.1, 1e-12);
        EXPECT_NEAR(c.points[i].y, 0.0, 1e-12);
        zyltest::expectWithin(c.normals[i], -UP);
    }
    leaf = nullptr;
    EXPECT_TRUE(treeHullFirstHit(*slab->tree, *slab->bound, hull->volume, leaf, 0));
    ASSERT_NE(leaf, nullptr);
    BinaryTreeNode* cached = leaf;
    EXPECT_TRUE(treeHullFirstHit(*slab->tree, *slab->bound, hull->volume, cached, 0));
    EXPECT_EQ(cached, leaf);

    // Far away: nothing, and null leaves.
    const auto far = boxHull({0.0, 10.0, 0.0}, {0.5, 0.5, 0.5});
    EXPECT_FALSE(treeHullFirstHit(*slab->tree, *slab->bound, far->volume, leaf, 0));
    EXPECT_EQ(leaf, nullptr);
}

TEST(TriMeshQueries, DenseRandomMeshesStayWithinTheArrays) {
    std::mt19937 rng(11);
    for (int round = 0; round < 6; ++round) {
        const auto a = placedBody(trimeshtest::soup(300, {0, 0, 0}, 1.0, rng), {0, 0, 0});
        const auto b = placedBody(trimeshtest::soup(300, {0.3, 0.2, 0.1}, 1.0, rng), {0.3, 0.2, 0.1});
        ASSERT_NE(a->tree, nullptr);
        ASSERT_NE(b->tree, nullptr);
        Contacts c;
        treeTreeContacts(*a->tree, *a->bound, *b->bound, *b->tree, c.points, c.normals, c.depths, c.features,
                         c.count, 0);
        EXPECT_LE(c.count, 24u);
        treePlaneContacts(*a->tree, *a->bound, {0, 0.2, 0}, UP, c.points, c.normals, c.depths, c.features, c.count,
                          0);
        EXPECT_LE(c.count, 24u);
        EXPECT_GT(c.count, 0u);
        const auto hull = boxHull({0.2, 0.0, 0.0}, {0.6, 0.6, 0.6});
        hullTreeContacts(*a->tree, *a->bound, hull->volume, c.points, c.normals, c.depths, c.features, c.count, 0);
        EXPECT_LE(c.count, 24u);
        BinaryTreeNode* la = nullptr;
        BinaryTreeNode* lb = nullptr;
        if (treeTreeFirstHit(*a->tree, *a->bound, *b->bound, *b->tree, la, lb, 0)) {
            EXPECT_TRUE(la->isLeaf() && lb->isLeaf());
        }
    }
}

TEST(TriMeshQueries, PairDispatchReachesEveryTreeKind) {
    const auto owned = std::make_unique<CollisionManager>();
    CollisionManager& m = *owned;
    // A triangle-mesh slab with its top at y = 0 and shapes sunk into it.
    const auto slab = placedBody(trimeshtest::triangulated(meshtest::box({-3, -1, -3}, {3, 0, 3})), {0, -0.5, 0});
    const auto cube = cubeBody({0.1, 0.45, 0.2});
    auto hull = coltest::hullBox({-0.3, 0.45, 0.1});
    auto rod = coltest::capsuleAlong({-1, -0.05, -0.2}, {1, 0.35, 0.2});
    auto floor = coltest::floorPlane(0.0);
    const auto check = [&](HardBody* a, HardBody* b) {
        CollisionPair pair;
        coltest::resetPair(pair, a, b);
        EXPECT_TRUE(m.overlapTestByKind(a, b, &pair, 0)) << a->getType() << " " << b->getType();
        EXPECT_TRUE(m.generateContacts(a, b, &pair, 0)) << a->getType() << " " << b->getType();
        EXPECT_GT(pair.contactCount, 0u);
        EXPECT_LE(pair.contactCount, 24u);
    };
    check(rod.get(), slab.get());    // 4
    check(slab.get(), rod.get());    // 5
    check(hull.get(), slab.get());   // 7
    check(slab.get(), hull.get());   // 8
    check(cube.get(), slab.get());   // 9
    check(cube.get(), floor.get());  // 12
}

TEST(TriMeshQueries, CapsuleBoundFits) {
    const QmtVector3 points[4] = {{-1.0, 0.0, 0.0}, {1.0, 0.0, 0.0}, {0.0, 0.2, 0.0}, {0.0, -0.2, 0.0}};
    BCapsule capsule;
    ASSERT_TRUE(fitCapsuleBound(capsule, points, 4));
    ASSERT_NE(capsule.capsule, nullptr);
    EXPECT_EQ(capsule.state, 1);
    EXPECT_NEAR(std::fabs(capsule.capsule->axis.x), 1.0, 1e-9);
    EXPECT_NEAR(capsule.u.Dot(capsule.capsule->axis), 0.0, 1e-12);
    EXPECT_NEAR(capsule.v.Dot(capsule.capsule->axis), 0.0, 1e-12);
    // One point: no axis to fit, so (1, 0, 0) with length 0.
    const std::uint32_t same[2] = {2, 2};
    ASSERT_TRUE(fitCapsuleBoundIndexed(capsule, points, same, 2));
    EXPECT_EQ(capsule.capsule->axis, QmtVector3(1.0, 0.0, 0.0));
    EXPECT_EQ(capsule.capsule->length, 0.0);
    zyltest::expectWithin(capsule.capsule->centre, points[2]);
}
