#include <gtest/gtest.h>

#include <cmath>

#include "host/api/hostApi.h"

namespace {

MMatrix rigid(const MEulerRotation& r, const MVector& t, const double s[3]) {
    MTransformationMatrix tm;
    tm.rotateTo(r);
    tm.setTranslation(t);
    tm.setScale(s);
    return tm.asMatrix();
}

TEST(ValueTypes, RowVectorProductsAndInverse) {
    const double s[3] = {2, 3, 0.5};
    const MMatrix m = rigid(MEulerRotation(0.3, -1.1, 2.0), MVector(1, 2, 3), s);
    // Translation lives in the last row and moves points, not directions.
    EXPECT_TRUE((MPoint(0, 0, 0) * m).isEquivalent(MPoint(1, 2, 3), 1e-12));
    EXPECT_TRUE((MVector(0, 0, 0) * m).isEquivalent(MVector(0, 0, 0), 0));
    // p · A · B applies A first.
    MMatrix a, b;
    a[3][0] = 5;
    b[0][0] = 2;
    EXPECT_DOUBLE_EQ((MPoint(1, 0, 0) * (a * b)).x, 12);
    EXPECT_TRUE((m * m.inverse()).isEquivalent(MMatrix::identity, 1e-12));
    const MPoint p(0.7, -2, 4);
    EXPECT_TRUE((p * m * m.inverse()).isEquivalent(p, 1e-12));
}

TEST(ValueTypes, DecomposeComposeRoundTrip) {
    const double s[3] = {1.5, 0.25, 4};
    const MMatrix m = rigid(MEulerRotation(-0.4, 0.9, 2.5), MVector(-3, 7, 0.5), s);
    const MTransformationMatrix tm(m);
    double back[3];
    tm.getScale(back);
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(back[i], s[i], 1e-12);
    EXPECT_TRUE(tm.getTranslation().isEquivalent(MVector(-3, 7, 0.5), 1e-12));
    EXPECT_TRUE(tm.eulerRotation().isEquivalent(MEulerRotation(-0.4, 0.9, 2.5), 1e-12));
    EXPECT_TRUE(tm.asMatrix().isEquivalent(m, 1e-12));
}

TEST(ValueTypes, EulerXyzToQuaternion) {
    // x first, then y, then z: the x axis turned a quarter about z after a quarter about x stays on y.
    const MEulerRotation e(M_PI / 2, 0, M_PI / 2);
    EXPECT_TRUE((MVector(1, 0, 0) * e.asMatrix()).isEquivalent(MVector(0, 1, 0), 1e-12));
    EXPECT_TRUE((MVector(0, 1, 0) * e.asMatrix()).isEquivalent(MVector(0, 0, 1), 1e-12));
    const MQuaternion q = e.asQuaternion();
    EXPECT_TRUE(q.asMatrix().isEquivalent(e.asMatrix(), 1e-12));
    EXPECT_TRUE(MQuaternion(q.asMatrix()).isEquivalent(q, 1e-12));
    const MQuaternion qx(0.5, MVector(1, 0, 0));
    EXPECT_NEAR(qx.x, std::sin(0.25), 1e-15);
    EXPECT_NEAR(qx.w, std::cos(0.25), 1e-15);
}

TEST(ValueTypes, EquivalenceComparesRotationMatrices) {
    EXPECT_TRUE(MEulerRotation(0, 0, 0).isEquivalent(MEulerRotation(0, 0, 0), 0.0));
    EXPECT_TRUE(MEulerRotation(0, 0, 0).isEquivalent(MEulerRotation(2 * M_PI, 0, 0), 1e-12));
    EXPECT_FALSE(MEulerRotation(0, 0, 0).isEquivalent(MEulerRotation(0.01, 0, 0), 1e-3));
}

TEST(ValueTypes, TimeKeepsWholeFramesExact) {
    const MTime d = MTime(25, MTime::kFilm) - MTime(1, MTime::kFilm);
    EXPECT_EQ(d.value(), 24.0);
    EXPECT_EQ(d.unit(), MTime::kFilm);
    EXPECT_EQ(MTime(1, MTime::kSeconds).as(MTime::kFilm), 24.0);
    EXPECT_TRUE(MTime(48, MTime::kFilm) == MTime(2, MTime::kSeconds));
    MTime t(0, MTime::kFilm);
    for (int i = 0; i < 1000; ++i) t += MTime(1, MTime::kFilm);
    EXPECT_EQ(t.value(), 1000.0);
}

TEST(ValueTypes, KindFamiliesAndBoxes) {
    EXPECT_TRUE(MFn::isA(MFn::kPluginLocatorNode, MFn::kDagNode));
    EXPECT_TRUE(MFn::isA(MFn::kMesh, MFn::kGeometric));
    EXPECT_TRUE(MFn::isA(MFn::kVolumeAxisField, MFn::kField));
    EXPECT_FALSE(MFn::isA(MFn::kPluginDependNode, MFn::kPluginLocatorNode));
    EXPECT_FALSE(MFn::isA(MFn::kPluginLocatorNode, MFn::kPluginDependNode));
    MBoundingBox box(MPoint(-1, -1, -1), MPoint(1, 1, 1));
    MMatrix m;
    m[3][0] = 10;
    box.transformUsing(m);
    EXPECT_TRUE(box.center().isEquivalent(MPoint(10, 0, 0)));
    EXPECT_EQ(MStatus(MS::kUnknownParameter).statusCode(), 5);
    EXPECT_FALSE(MStatus(MS::kUnknownParameter).error());
}

}  // namespace
