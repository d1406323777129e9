#include "geometry/bounds/boundingVolumes.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "tests/testSupport.h"

namespace {

using Qmt::QmtMatrix3;
using Qmt::QmtVector3;
using zyltest::expectNear;

QmtMatrix3 rotationZ(double angle) { return zyltest::axisRotation(QmtVector3::UNIT_Z, angle); }

}  // namespace

TEST(BoundingVolumes, BoxMeasuresAndCornerOrder) {
    ZYLbox cube{QmtVector3::ZERO, QmtMatrix3::IDENTITY, {0.5, 0.5, 0.5}};
    BVbox unit(&cube);
    EXPECT_DOUBLE_EQ(unit.getRadio(), std::sqrt(0.75));
    EXPECT_DOUBLE_EQ(unit.getVolumen(), 1.0);

    // Distinct extents on rotated axes pin down every corner of the order.
    const QmtMatrix3 R = rotationZ(0.3);
    ZYLbox record{{1.0, 2.0, 3.0}, R, {1.0, 2.0, 3.0}};
    BVbox box(&record);
    EXPECT_DOUBLE_EQ(box.getVolumen(), 48.0);
    EXPECT_DOUBLE_EQ(box.getRadio(), std::sqrt(14.0));
    expectNear(box.getAxis(1), R.GetColumn(1), 0.0);
    EXPECT_EQ(box.getAxis(3), QmtVector3::ZERO);

    const QmtVector3 X = R.GetColumn(0) * 1.0, Y = R.GetColumn(1) * 2.0, Z = R.GetColumn(2) * 3.0;
    const double signs[8][3] = {{1, 1, 1}, {1, 1, -1}, {1, -1, -1}, {1, -1, 1},
                                {-1, -1, -1}, {-1, 1, -1}, {-1, 1, 1}, {-1, -1, 1}};
    QmtVector3 corners[8];
    ASSERT_EQ(box.computeVertexes(corners), 8u);
    for (int i = 0; i < 8; ++i) {
        expectNear(corners[i], record.centre + X * signs[i][0] + Y * signs[i][1] + Z * signs[i][2]);
    }

    box.translate({1.0, 0.0, 0.0});
    EXPECT_EQ(record.centre, QmtVector3(2.0, 2.0, 3.0));
    box.setCenter({0.0, 0.0, 1.0});
    EXPECT_EQ(box.getCenter(), QmtVector3(0.0, 0.0, 1.0));
}

TEST(BoundingVolumes, BoxOwnership) {
    BVbox empty;
    EXPECT_TRUE(empty.state == -1 && empty.getBox() == nullptr);

    // A volume over a record it does not own never frees it: a stack record would
    // crash the free, and ASan reports a heap one.
    ZYLbox external{{1.0, 1.0, 1.0}, QmtMatrix3::IDENTITY, {1.0, 1.0, 1.0}};
    {
        BVbox ref(&external);
        EXPECT_EQ(ref.state, 0);
        BVbox copy(ref);
        EXPECT_TRUE(copy.state == 0 && copy.getBox() == &external);
    }
    BVbox ref(&external);
    ref.deleteBox();
    EXPECT_TRUE(ref.getBox() == nullptr && ref.state == 0);
    EXPECT_EQ(external.centre, QmtVector3(1.0, 1.0, 1.0));

    // init writes into a referenced record, and creates an owned one when none is held.
    BVbox writer(&external);
    writer.init(ZYLbox{{5.0, 0.0, 0.0}, QmtMatrix3::IDENTITY, {2.0, 2.0, 2.0}});
    EXPECT_TRUE(writer.getBox() == &external && external.centre.x == 5.0);

    BVbox owner;
    ASSERT_TRUE(owner.createBox());
    EXPECT_TRUE(owner.state == 1 && owner.getBox()->axes == QmtMatrix3::ZERO &&
                owner.getBox()->halfExtents == QmtVector3::ZERO);
    owner.deleteBox();
    EXPECT_TRUE(owner.getBox() == nullptr && owner.state == 1);

    BVbox fresh;
    fresh.init(external);
    EXPECT_TRUE(fresh.state == 1 && fresh.getBox() != &external && fresh.getBox()->centre.x == 5.0);
}

TEST(BoundingVolumes, BoxTransforms) {
    const QmtMatrix3 R = rotationZ(std::numbers::pi / 2.0);
    const QmtVector3 T(1.0, 2.0, 3.0), S(2.0, 3.0, 4.0);
    ZYLbox record{{1.0, 0.0, 0.0}, QmtMatrix3::IDENTITY, {1.0, 2.0, 3.0}};
    BVbox box(&record);

    BVbox srt;
    box.transformSRT(T, R, S, srt);
    ASSERT_EQ(srt.state, 1);
    expectNear(srt.getCenter(), {1.0, 4.0, 3.0});  // R * (2, 0, 0) + T
    EXPECT_TRUE(srt.getBox()->axes == R * record.axes);
    // Scaled by index, not along the rotated axes.
    EXPECT_EQ(srt.getBox()->halfExtents, QmtVector3(2.0, 6.0, 12.0));

    BVbox trs;
    box.transformTRS(T, R, S, trs);
    expectNear(trs.getCenter(), {-4.0, 6.0, 12.0});  // S o (R * (2, 2, 3))

    // In place: the result is computed before the record is overwritten.
    box.transformSRT(T, R, S, box);
    expectNear(record.centre, {1.0, 4.0, 3.0});
    EXPECT_EQ(record.halfExtents, QmtVector3(2.0, 6.0, 12.0));
}

TEST(BoundingVolumes, AxisAlignedBox) {
    ZYLAAbox record{{0.0, 0.0, 0.0}, {2.0, 4.0, 6.0}};
    BVAAbox box(&record);
    EXPECT_EQ(box.getCenter(), QmtVector3(1.0, 2.0, 3.0));
    EXPECT_DOUBLE_EQ(box.getVolumen(), 48.0);
    EXPECT_DOUBLE_EQ(box.getRadio(), std::sqrt(14.0));
    EXPECT_EQ(box.getAxis(2), QmtVector3::UNIT_Z);
    EXPECT_EQ(box.getAxis(-1), QmtVector3::ZERO);

    QmtVector3 corners[8];
    ASSERT_EQ(box.computeVertexes(corners), 8u);
    EXPECT_EQ(corners[0], QmtVector3(2.0, 4.0, 6.0));
    EXPECT_EQ(corners[1], QmtVector3(2.0, 4.0, 0.0));
    EXPECT_EQ(corners[2], QmtVector3(2.0, 0.0, 0.0));
    EXPECT_EQ(corners[5], QmtVector3(0.0, 4.0, 0.0));
    EXPECT_EQ(corners[7], QmtVector3(0.0, 0.0, 6.0));

    box.translate({1.0, 0.0, 0.0});
    EXPECT_TRUE(record.minCorner == QmtVector3(1.0, 0.0, 0.0) && record.maxCorner == QmtVector3(3.0, 4.0, 6.0));

    // A quarter turn moves the centre but leaves the extents unswapped.
    BVAAbox turned;
    box.transformSRT(QmtVector3::ZERO, rotationZ(std::numbers::pi / 2.0), {1.0, 1.0, 1.0}, turned);
    ASSERT_EQ(turned.state, 1);
    expectNear(turned.getCenter(), {-2.0, 2.0, 3.0});
    expectNear(turned.box->maxCorner - turned.box->minCorner, {2.0, 4.0, 6.0});

    BVAAbox trs;
    box.transformTRS({1.0, 0.0, 0.0}, QmtMatrix3::IDENTITY, {2.0, 1.0, 1.0}, trs);
    expectNear(trs.box->minCorner, {4.0, 0.0, 0.0});  // centre (6, 2, 3), half size (2, 2, 3)
    expectNear(trs.box->maxCorner, {8.0, 4.0, 6.0});

    ZYLAAbox fitted{{9.0, 9.0, 9.0}, {9.0, 9.0, 9.0}};
    const QmtVector3 points[4] = {{5.0, 5.0, 5.0}, {1.0, -2.0, 3.0}, {-1.0, 4.0, 0.0}, {0.0, 0.0, 7.0}};
    const std::uint32_t picks[3] = {3, 1, 2};
    fitAxisAlignedBoxIndexed(fitted, 3, picks, points);
    EXPECT_TRUE(fitted.minCorner == QmtVector3(-1.0, -2.0, 0.0) && fitted.maxCorner == QmtVector3(1.0, 4.0, 7.0));
    fitAxisAlignedBoxIndexed(fitted, 1, picks + 1, points);
    EXPECT_TRUE(fitted.minCorner == points[1] && fitted.maxCorner == points[1]);
    // No points: the zeroed box, nothing read.
    fitAxisAlignedBoxIndexed(fitted, 0, nullptr, nullptr);
    EXPECT_TRUE(fitted.minCorner == QmtVector3::ZERO && fitted.maxCorner == QmtVector3::ZERO);
}

TEST(BoundingVolumes, Capsule) {
    ZYLcapsule zeroAxis{{1.0, 2.0, 3.0}, QmtVector3::ZERO, 2.0, 0.5};
    BCapsule degenerate(&zeroAxis);
    EXPECT_TRUE(degenerate.u == QmtVector3::ZERO && degenerate.v == QmtVector3::ZERO);

    ZYLcapsule record{{1.0, 0.0, 0.0}, QmtVector3::UNIT_Z, 4.0, 0.5};
    BCapsule cap(&record);
    EXPECT_EQ(cap.state, 0);
    EXPECT_NEAR(cap.u.Length(), 1.0, 1e-15);
    EXPECT_NEAR(cap.v.Length(), 1.0, 1e-15);
    EXPECT_NEAR(cap.u.Dot(cap.v), 0.0, 1e-15);
    EXPECT_EQ(cap.u.z, 0.0);
    EXPECT_EQ(cap.v.z, 0.0);
    EXPECT_DOUBLE_EQ(cap.getRadio(), 2.5);
    EXPECT_DOUBLE_EQ(cap.getSize(), 4.0);
    EXPECT_DOUBLE_EQ(cap.getVolumen(), 4.0);  // 4 r^2 L
    EXPECT_TRUE(cap.getAxis(0) == cap.u && cap.getAxis(1) == cap.v && cap.getAxis(2) == QmtVector3::UNIT_Z);

    QmtVector3 points[4];
    ASSERT_EQ(cap.computeVertexes(points), 4u);
    EXPECT_EQ(points[0], QmtVector3(1.0, 0.0, -2.5));
    EXPECT_EQ(points[1], QmtVector3(1.0, 0.0, 2.5));
    expectNear(points[2], record.centre + cap.u * 0.5);
    expectNear(points[3], record.centre + cap.v * 0.5);

    // The largest scale component multiplies length and radius; the axis turns
    // without renormalisation.
    BCapsule world;
    cap.transformSRT({0.0, 0.0, 1.0}, rotationZ(std::numbers::pi / 2.0), {1.0, 2.0, 3.0}, world);
    ASSERT_EQ(world.state, 1);
    expectNear(world.capsule->centre, {0.0, 1.0, 1.0});
    EXPECT_TRUE(world.capsule->length == 12.0 && world.capsule->radius == 1.5);
    expectNear(world.capsule->axis, QmtVector3::UNIT_Z);
    EXPECT_NEAR(world.u.Dot(world.capsule->axis), 0.0, 1e-15);

    BCapsule trs;
    record.axis = QmtVector3(0.0, 0.0, 2.0);
    cap.transformTRS({1.0, 0.0, 0.0}, QmtMatrix3::IDENTITY, {2.0, 1.0, 1.0}, trs);
    EXPECT_EQ(trs.capsule->centre, QmtVector3(4.0, 0.0, 0.0));
    EXPECT_EQ(trs.capsule->axis, QmtVector3(0.0, 0.0, 2.0));

    // Copies are shallow and carry the frame.
    BCapsule copy(world);
    EXPECT_TRUE(copy.capsule == world.capsule && copy.state == 1 && copy.u == world.u);
    copy.state = 0;  // so that only world frees the record

    BCapsule made;
    ASSERT_TRUE(made.createCap());
    EXPECT_TRUE(made.state == 1 && made.capsule->centre == QmtVector3::ZERO && made.capsule->axis == QmtVector3::ZERO);
}
