#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "engine/bodies/sampleBody.h"
#include "engine/fracture/dynamicStress.h"
#include "geometry/testMeshes.h"
#include "testSupport.h"

using Qmt::QmtMatrix3;
using Qmt::QmtVector3;
using zyltest::expectNear;
using zyltest::expectVec;
using zyltest::place;
using zyltest::SampleBody;

TEST(PrivateHardBody, SetScaleKeepsTheDensity) {
    SampleBody hull(HB_HULL, {1, 2, 3});
    place(hull);
    hull.setMesh(meshtest::makeMesh(meshtest::cube()).release());
    hull.setScale({2, 2, 2});
    EXPECT_EQ(hull.getMass(), 8.0);
    EXPECT_EQ(hull.inertiaLocal(0, 0), 8.0);
    EXPECT_DOUBLE_EQ(hull.transform.radius, 0.5 * std::sqrt(4.0 + 16.0 + 36.0));
    expectVec(hull.mesh->scale, 2, 2, 2);  // the hull's bound follows

    const double radius = 0.25;
    struct Case {
        eHBodyType type;
        double radius;
    };
    for (const Case c : {Case{HB_PHANTOM, radius}, Case{HB_CAPSULE, 0.5 * std::sqrt(4.0 + 36.0)},
                         Case{HB_CRACKER, 0.5 * std::sqrt(4.0 + 36.0)}, Case{HB_BARRIER, 1.0},
                         Case{HB_TRIMESH, 0.5 * std::sqrt(4.0 + 16.0 + 36.0)}}) {
        SampleBody b(c.type, {1, 2, 3});
        place(b);
        b.transform.radius = radius;
        b.setScale({2, 2, 2});
        EXPECT_DOUBLE_EQ(b.transform.radius, c.radius) << c.type;
    }

    // A flat box has no volume to take a density from: the mass stays.
    SampleBody flat(HB_HULL, {1, 1, 0});
    place(flat);
    flat.setMass(3.0f);
    flat.setScale({2, 2, 2});
    EXPECT_EQ(flat.getMass(), 3.0);
    expectVec(flat.transform.scale, 2, 2, 2);
    EXPECT_DOUBLE_EQ(flat.transform.radius, 0.5 * std::sqrt(8.0));
}

TEST(PrivateHardBody, BoxAndMainAxis) {
    struct Case {
        QmtVector3 size;
        int axis;
        double width;
    };
    // Ties go to z, then y.
    for (const Case c : {Case{{1, 1, 1}, 2, 1}, Case{{2, 2, 1}, 1, 2}, Case{{2, 1, 1}, 0, 1},
                         Case{{1, 2, 2}, 2, 2}, Case{{3, 1, 2}, 0, 2}}) {
        SampleBody b(HB_HULL, c.size);
        b.transform.centreOffset = {1, 0, 0};
        b.init({0, 0, 5}, zyltest::ROT_Z90, {1, 1, 1});
        const ZYLcapsule* cap = b.computeBboxAndAxis(true);
        expectNear(cap->centre, {0, 1, 5});
        expectNear(cap->axis, zyltest::ROT_Z90.GetColumn(static_cast<unsigned>(c.axis)));
        EXPECT_EQ(cap->length, c.size[c.axis]);
        EXPECT_EQ(cap->radius, c.width);
        expectNear(b.getBbox().halfExtents, c.size * 0.5);
    }
}

TEST(PrivateHardBody, WorldStateAndMeshPlacement) {
    SampleBody phantom;
    place(phantom, {1, 0, 0});
    phantom.setMesh(meshtest::makeMesh(meshtest::cube()).release());
    phantom.updateWorldState();
    EXPECT_FALSE(phantom.isWorldModified());  // a phantom is placed again at every getMesh
    expectVec(phantom.getMesh()->worldVertices[0], phantom.mesh->vertices[0].x + 1,
              phantom.mesh->vertices[0].y, phantom.mesh->vertices[0].z);

    SampleBody hull(HB_HULL);
    place(hull);
    hull.setMesh(meshtest::makeMesh(meshtest::cube()).release());
    hull.updateWorldState();
    EXPECT_TRUE(hull.isWorldModified());
    hull.dyn.position = {5, 0, 0};  // moved behind the body's back: the bit says current
    EXPECT_EQ(hull.getMesh()->translation.x, 0.0);

    ZYLmesh* other = meshtest::makeMesh(meshtest::cube()).release();
    hull.modify(hull.mesh);  // its own mesh: nothing
    EXPECT_TRUE(hull.ownsMesh());
    hull.modify(other);
    EXPECT_EQ(hull.mesh, other);
}

TEST(PrivateHardBody, Energy) {
    SampleBody b;
    place(b);
    b.setMass(2.0f);
    b.setLinearVelocity({3, 0, 0});
    b.setAngularVelocity({0, 1, 0});
    EXPECT_EQ(b.computeEnergy(), 18.0 + 2.0);
    EXPECT_EQ(b.linearEnergy, 18.0);
    EXPECT_EQ(b.angularEnergy, 2.0);
    b.laneDyn[4] = b.dyn;
    b.laneDyn[4].v = {1, 0, 0};
    EXPECT_EQ(b.computeLaneEnergy(4), 4.0);
    EXPECT_EQ(b.linearEnergy, 2.0);
    b.enableStatic();
    EXPECT_EQ(b.computeEnergy(), 3.4028234663852886e38);
    EXPECT_EQ(b.linearEnergy, 2.0);

    b.storeDynState();
    b.setLinearVelocity({3, 4, 0});
    EXPECT_EQ(b.velocityChangeMeasure(2.0), 8.0);
}

TEST(PrivateHardBody, JointsAndLanes) {
    SampleBody a, b;
    place(a, {0, 0, 0});
    place(b, {2, 0, 0});
    std::vector<DynamicStress> joints(3);
    for (DynamicStress& j : joints) {
        j.attach({1, 0, 0}, 1, &a, &b);
        a.joints.pushFront(&j);
        ++a.jointCount;
    }
    EXPECT_EQ(a.countActiveJoints(), 3);
    joints[0].deActivate();
    joints[2].deActivate();
    EXPECT_EQ(a.countActiveJoints(), 1);
    // The answer comes at the first active joint; the walk is over all the same.
    EXPECT_TRUE(a.hasActiveJoint());
    EXPECT_EQ(a.jointCursorActive, 0);
    joints[1].deActivate();
    EXPECT_FALSE(a.hasActiveJoint());
    EXPECT_EQ(a.jointCursorActive, 0);
    EXPECT_EQ(b.getFirstJoint(), nullptr);

    // Breaking pushes the PNode (a) along the axis from the CNode and the CNode back.
    joints[0].setBreakEnergy(2.0);
    a.ApplyBreakEnergy(&joints[0]);
    b.ApplyBreakEnergy(&joints[0]);
    expectVec(a.dyn.v, -4, 0, 0);
    expectVec(b.dyn.v, 4, 0, 0);
    EXPECT_TRUE(a.isActive());
    joints[1].setBreakEnergy(1e-5);
    b.ApplyBreakEnergy(&joints[1]);
    expectVec(b.dyn.v, 4, 0, 0);

    a.enableProcessedThread(7);
    a.enableProcessedThread(3);
    EXPECT_EQ(a.getProcessedThreadID(), 3);
    a.enableProcessed();
    a.clearProcessed();
    EXPECT_EQ(a.getProcessedThreadID(), -1);
    EXPECT_FALSE(a.isProcessed());
}
