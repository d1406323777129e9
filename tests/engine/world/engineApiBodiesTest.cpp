#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <utility>

#include "engine/bodies/capsuleBody.h"
#include "engine/bodies/hullBody.h"
#include "engine/fracture/dynamicStress.h"
#include "engine/world/engineApi.h"
#include "engine/world/privateWorld.h"
#include "tests/engine/bodies/bodyKindMeshes.h"

namespace {

using kindtest::UNIT_SCALE;
using meshtest::Shape;
using Qmt::QmtMatrix3;
using Qmt::QmtVector3;

eHBodyType bestKindFor(const Shape& shape) {
    const auto mesh = meshtest::makeMesh(shape);
    const std::unique_ptr<HardBody> body(createBestMeshBody(mesh.get()));
    return body ? body->getType() : HB_FRACTURE;
}

Shape inverted(Shape s) {
    for (meshtest::Indices& face : s.faces) {
        std::reverse(face.begin(), face.end());
    }
    return s;
}

// Every test leaves the process without a world.
class EngineApiWorld : public ::testing::Test {
protected:
    void TearDown() override { destroyWorld(&engineWorld()); }
};

}  // namespace

TEST(EngineApiBodies, BestMeshKeepsTheHullOnlyForNearlyConvexMeshes) {
    EXPECT_EQ(bestKindFor(meshtest::cube()), HB_HULL);
    // An L of area 5 whose hull has area 7: V / H = 5/7 < 0.8.
    const Shape ell = meshtest::extruded({{0, 0}, {3, 0}, {3, 1}, {1, 1}, {1, 3}, {0, 3}}, 1.0);
    EXPECT_EQ(bestKindFor(ell), HB_TRIMESH);
    const Shape quad{{{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}}, {{0, 1, 2, 3}}};
    EXPECT_EQ(bestKindFor(quad), HB_TRIMESH);
    EXPECT_EQ(bestKindFor(inverted(meshtest::cube())), HB_TRIMESH);
}

TEST(EngineApiBodies, SmallCreatorsAndVolumeTest) {
    // No mesh: an empty body of the kind asked for.
    for (auto [create, kind] : {std::pair{&createPhantomBody, HB_PHANTOM}, {&createHullBody, HB_HULL},
                                {&createCapsuleBody, HB_CAPSULE}, {&createCrackerBody, HB_CRACKER},
                                {&createTriMeshBody, HB_TRIMESH}, {&createBestMeshBody, HB_TRIMESH}}) {
        const std::unique_ptr<HardBody> empty(create(nullptr));
        ASSERT_NE(empty, nullptr);
        EXPECT_EQ(empty->getType(), kind);
        EXPECT_EQ(empty->mesh, nullptr);
    }

    EXPECT_FALSE(isDegenerateVolume(nullptr));
    const auto cube = meshtest::makeMesh(meshtest::cube());
    const std::unique_ptr<HardBody> hull(createHullBody(cube.get()));
    EXPECT_FALSE(isDegenerateVolume(hull.get()));
    const auto flipped = meshtest::makeMesh(inverted(meshtest::cube()));
    const std::unique_ptr<HardBody> inside(createTriMeshBody(flipped.get()));
    EXPECT_TRUE(isDegenerateVolume(inside.get()));

    // Two lengths: above 1e-5 the record has an axis, at or below it none.
    CapsuleBody capsule;
    setCapsuleFromSegment(&capsule, {0, 0, 0}, {0, 0, 2e-5}, 0.5);
    zyltest::expectWithin(capsule.capsule.axis, {0, 0, 1}, 1e-12);
    setCapsuleFromSegment(&capsule, {0, 0, 0}, {0, 0, 1e-5}, 0.5);
    zyltest::expectVec(capsule.capsule.axis, 0, 0, 0);
    zyltest::expectVec(capsule.capsule.centre, 0, 0, 0.5e-5);
    EXPECT_EQ(capsule.capsule.radius, 0.5);
    setCapsuleFromSegment(nullptr, {}, {}, 1.0);

    std::unique_ptr<DynamicStress> joint(createDynamicStress());
    ASSERT_NE(joint, nullptr);
    EXPECT_EQ(joint->getCNode(), nullptr);
}

TEST_F(EngineApiWorld, GlobalWorldSwitchesAndDeletion) {
    EXPECT_EQ(engineWorld(), nullptr);
    EXPECT_FALSE(enableContactGroups());
    EXPECT_FALSE(disableContactGroups());
    // Deleting a body needs no world.
    HardBody* loose = createPhantomBody(nullptr);
    deleteBodyRef(loose);
    EXPECT_EQ(loose, nullptr);

    PublicWorld* world = createWorld();
    ASSERT_NE(world, nullptr);
    EXPECT_EQ(engineWorld(), world);
    auto* const manager = dynamic_cast<PrivateWorld*>(world);
    ASSERT_NE(manager, nullptr);
    EXPECT_TRUE(enableContactGroups());
    EXPECT_TRUE(disableContactGroups());

    const auto cube = meshtest::makeMesh(meshtest::cube());
    HardBody* a = createHullBody(cube.get());
    HardBody* b = createPhantomBody(cube.get());
    HardBody* c = createCapsuleBody(cube.get());
    for (HardBody* body : {a, b, c}) {
        body->init({0, 0, 0}, QmtMatrix3::IDENTITY, UNIT_SCALE);
        world->addBody(body, 0);
    }
    EXPECT_EQ(world->nBodies, 3);
    deleteBody(&a);
    auto* p = static_cast<PrivateHardBody*>(b);
    deleteBodyPtr(&p);
    deleteBodyRef(c);
    EXPECT_EQ(a, nullptr);
    EXPECT_EQ(p, nullptr);
    EXPECT_EQ(c, nullptr);
    EXPECT_EQ(world->nBodies, 0);
    EXPECT_TRUE(manager->aBodies.count == 0);

    // A null address still clears the global; *world itself is the caller's.
    PublicWorld* other = world;
    destroyWorld(nullptr);
    EXPECT_EQ(engineWorld(), nullptr);
    engineWorld() = world;
    destroyWorld(&other);
    EXPECT_EQ(engineWorld(), nullptr);
    EXPECT_EQ(other, world);
}

TEST_F(EngineApiWorld, BodiesFallOneStepAndGoWithTheWorld) {
    PublicWorld* const world = createWorld();
    ASSERT_NE(world, nullptr);
    const auto box = meshtest::makeMesh(meshtest::box({0, 0, 0}, {1, 2, 1}));
    const auto cube = meshtest::makeMesh(meshtest::cube(1.0, {4, 0, 0}));
    HardBody* const phantom = createPhantomBody(box.get());
    HardBody* const hull = createHullBody(cube.get());
    phantom->init({0.5, 1.0, 0.5}, QmtMatrix3::IDENTITY, UNIT_SCALE);
    hull->init({4.5, 0.5, 0.5}, QmtMatrix3::IDENTITY, UNIT_SCALE);
    QmtVector3 up(0, 1, 0);
    HardBody* const ground = createBarrierBody({0, -50, 0}, up);
    for (HardBody* body : {phantom, hull, ground}) {
        body->setMass(2.0f);
        world->addBody(body, 0);
    }

    world->step(1.0 / 30.0, nullptr);
    // Ten substeps of 1/300 s under g = 10, each moving by the mean of the velocity
    // at the step's start and now.
    EXPECT_NEAR(phantom->getDyn().position.y, 1.0 - 0.0030555555555555557, 1e-15);
    EXPECT_NEAR(hull->getDyn().position.y, 0.5 - 0.0030555555555555557, 1e-15);
    EXPECT_EQ(ground->getDyn().position.y, -50.0);
    // The bodies are the world's now: the fixture's destroyWorld frees them.
}
