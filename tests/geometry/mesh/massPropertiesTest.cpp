#include "geometry/mesh/massProperties.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "tests/geometry/testMeshes.h"
#include "tests/testSupport.h"

namespace {

using Qmt::QmtMatrix3;
using Qmt::QmtVector3;
using namespace meshtest;
using zyltest::expectNear;

// The shape's faces wound the other way: its volume counts negative.
Shape inverted(Shape s) {
    for (Indices& face : s.faces) {
        std::reverse(face.begin(), face.end());
    }
    return s;
}

// The L (0,0) (2,0) (2,1) (1,1) (1,2) (0,2) extruded over z in [0, 1]: volume 3.
Shape ell(bool inward) {
    const Shape l = extruded({{0, 0}, {2, 0}, {2, 1}, {1, 1}, {1, 2}, {0, 2}}, 1.0);
    return inward ? inverted(l) : l;
}

// The unit cube about the origin plus two small inverted cubes far out on x: positive
// volume (0.75), centroid inside the bounds, but a negative principal moment.
Shape cubeWithFarHoles() {
    const Shape right = inverted(box({9.75, -0.25, -0.25}, {10.25, 0.25, 0.25}));
    const Shape left = inverted(box({-10.25, -0.25, -0.25}, {-9.75, 0.25, 0.25}));
    return joined(joined(box({-0.5, -0.5, -0.5}, {0.5, 0.5, 0.5}), right), left);
}

// Positions and faces only.
std::unique_ptr<ZYLmesh> meshOf(const Shape& s) { return MeshBuilder(s).mesh(); }

}  // namespace

TEST(MassProperties, VolumeAndCentre) {
    const auto cube = meshOf(box({1, -1, 2}, {3, 1, 4}));
    const auto dfCube = MeshBuilder(box({1, -1, 2}, {3, 1, 4})).dfMesh();
    QmtVector3 centre, dfCentre;
    EXPECT_NEAR(ComputeMassProperties(cube.get(), centre), 8.0, 1e-12);
    expectNear(centre, {2, 0, 3});
    EXPECT_EQ(ComputeMassProperties(dfCube.get(), dfCentre), ComputeMassProperties(cube.get(), centre));
    EXPECT_EQ(dfCentre, centre);
    EXPECT_EQ(computeMeshVolume(cube.get()), ComputeMassProperties(cube.get(), centre));
    EXPECT_EQ(computeMeshVolume(dfCube.get()), computeMeshVolume(cube.get()));

    // An L: the centroid, not the bounds' centre. Inverted: negative volume and the
    // bounds' centre, while computeMeshCentroid still gives the centroid.
    for (bool inward : {false, true}) {
        const auto l = meshOf(ell(inward));
        EXPECT_NEAR(ComputeMassProperties(l.get(), centre), inward ? -3.0 : 3.0, 1e-12);
        expectNear(centre, inward ? QmtVector3(1, 1, 0.5) : QmtVector3(2.5 / 3, 2.5 / 3, 0.5));
        EXPECT_NEAR(computeMeshCentroid(l.get(), centre), inward ? -3.0 : 3.0, 1e-12);
        expectNear(centre, {2.5 / 3, 2.5 / 3, 0.5});
    }

    // Flat and degenerate faces (collinear, fewer than three corners): volume 0, the
    // bounds' centre.
    const auto flat = meshOf({{{0, 0, 0}, {2, 0, 0}, {2, 4, 0}, {0, 4, 0}}, {{0, 1, 2, 3}}});
    EXPECT_EQ(ComputeMassProperties(flat.get(), centre), 0.0);
    EXPECT_EQ(centre, QmtVector3(1, 2, 0));
    const auto degenerate = meshOf({{{0, 0, 0}, {1, 1, 1}, {2, 2, 2}, {4, 0, 2}}, {{0, 1, 2}, {3, 1}, {0}}});
    EXPECT_EQ(ComputeMassProperties(degenerate.get(), centre), 0.0);
    EXPECT_EQ(centre, QmtVector3(2, 1, 1));

    // No vertices: volume 0 and the origin, whatever the faces say.
    ZYLmesh empty;
    empty.numFaces = 1;
    empty.faces = new ZYLface[1];
    empty.faces[0].numVertices = 3;
    centre = {7, 7, 7};
    EXPECT_EQ(ComputeMassProperties(&empty, centre), 0.0);
    EXPECT_EQ(centre, QmtVector3::ZERO);
    ZYL_DFmesh dfEmpty;
    dfCentre = {7, 7, 7};
    EXPECT_EQ(ComputeMassProperties(&dfEmpty, dfCentre), 0.0);
    EXPECT_EQ(dfCentre, QmtVector3::ZERO);
}

TEST(MassProperties, MeshVolumeByTetrahedraFromOrigin) {
    // An open triangle at z = 1: the cone to the origin, 1/6, in both mesh forms; the
    // surface integral would see no x-extent in its normal and give 0.
    const Shape open{{{0, 0, 1}, {1, 0, 1}, {0, 1, 1}}, {{0, 1, 2}}};
    EXPECT_NEAR(computeMeshVolume(meshOf(open).get()), 1.0 / 6.0, 1e-15);
    EXPECT_NEAR(computeMeshVolume(MeshBuilder(open).dfMesh().get()), 1.0 / 6.0, 1e-15);
    EXPECT_NEAR(computeMeshVolume(meshOf(inverted(open)).get()), -1.0 / 6.0, 1e-15);

    // Closed meshes: the origin's place does not matter.
    EXPECT_NEAR(computeMeshVolume(meshOf(cube(1.0)).get()), 1.0, 1e-15);
    EXPECT_NEAR(computeMeshVolume(meshOf(box({-0.5, -0.5, -0.5}, {0.5, 0.5, 0.5})).get()), 1.0, 1e-15);
    EXPECT_NEAR(computeMeshVolume(meshOf(ell(true)).get()), -3.0, 1e-12);
    EXPECT_EQ(computeMeshVolume(static_cast<const ZYLmesh*>(nullptr)), 0.0);
}

TEST(MassProperties, ValidityThresholds) {
    // A stray vertex at z = 5 stretches the bounds so that a rejected centroid shows.
    QmtVector3 centre;
    const auto withStray = [](Shape s, const QmtVector3& stray) {
        s.vertices.push_back(stray);
        return meshOf(s);
    };
    const auto plain = withStray(box({-0.5, -0.5, -0.5}, {0.5, 0.5, 0.5}), {0, 0, 5});
    EXPECT_NEAR(ComputeMassProperties(plain.get(), centre), 1.0, 1e-12);
    expectNear(centre, {0, 0, 0});

    const auto holes = withStray(cubeWithFarHoles(), {0, 0, 5});
    EXPECT_NEAR(ComputeMassProperties(holes.get(), centre), 0.75, 1e-12);
    expectNear(centre, {0, 0, 2.25});

    // Volume 1e-5 is the limit: a cube of side 0.02 (8e-6) is rejected, 0.03 is not.
    for (double side : {0.02, 0.03}) {
        const auto tiny = withStray(cube(side), {0, 0, 1});
        EXPECT_NEAR(ComputeMassProperties(tiny.get(), centre), side * side * side, 1e-15);
        expectNear(centre, {side / 2, side / 2, side < 0.025 ? 0.5 : side / 2});
    }
}

TEST(MassProperties, ScaledInertia) {
    const Shape unit = box({-0.5, -0.5, -0.5}, {0.5, 0.5, 0.5});
    const auto cube = meshOf(unit);
    QmtMatrix3 inertia(9, 9, 9, 9, 9, 9, 9, 9, 9);

    // The 2 x 1 x 1 box of mass 6: m/12 (b^2 + c^2) on the diagonal; then the shift to
    // (1, 2, 3) subtracts on the diagonal and adds m ci cj off it.
    EXPECT_EQ(&computeScaledMassProperties(inertia, cube.get(), 6.0, {0, 0, 0}, {2, 1, 1}), &inertia);
    expectNear(inertia, QmtMatrix3(1, 0, 0, 0, 2.5, 0, 0, 0, 2.5));
    computeScaledMassProperties(inertia, cube.get(), 6.0, {1, 2, 3}, {2, 1, 1});
    expectNear(inertia, QmtMatrix3(-77, 12, 18, 12, -57.5, 36, 18, 36, -27.5));

    // Inverted cube: point model, mass / 8 at each corner.
    computeScaledMassProperties(inertia, meshOf(inverted(unit)).get(), 8.0, {0, 0, 0}, {1, 1, 1});
    expectNear(inertia, QmtMatrix3(4, 0, 0, 0, 4, 0, 0, 0, 4));

    // Zero volume with products, scaled (2, 1, 1): points (2,1,0) (4,3,0) (0,1,0).
    const auto flat = meshOf({{{1, 1, 0}, {2, 3, 0}, {0, 1, 0}}, {{0, 1, 2}}});
    computeScaledMassProperties(inertia, flat.get(), 3.0, {0, 0, 0}, {2, 1, 1});
    expectNear(inertia, QmtMatrix3(11, -14, 0, -14, 20, 0, 0, 0, 31));

    // Positive volume with a negative principal moment: point model too, so (1,1) is
    // the positive sum of x^2 + z^2 over the 24 corners (mass 24: factor 1).
    const Shape holes = cubeWithFarHoles();
    computeScaledMassProperties(inertia, meshOf(holes).get(), 24.0, {0, 0, 0}, {1, 1, 1});
    double sum = 0;
    for (const QmtVector3& v : holes.vertices) {
        sum += v.x * v.x + v.z * v.z;
    }
    EXPECT_NEAR(inertia(1, 1), sum, 1e-9);

    // No vertices: a zero tensor, not NaN, even with a shift.
    ZYLmesh empty;
    computeScaledMassProperties(inertia, &empty, 5.0, {1, 2, 3}, {1, 1, 1});
    EXPECT_EQ(inertia, QmtMatrix3::ZERO);
}

TEST(MassProperties, PolygonArea) {
    const QmtVector3 ccw[4] = {{0, 0, 0}, {2, 0, 0}, {2, 3, 0}, {0, 3, 0}};
    // Positive when the loop runs clockwise seen from the normal's tip.
    EXPECT_NEAR(computePolygonArea(ccw, 4, {0, 0, 1}), -6.0, 1e-12);
    EXPECT_NEAR(computePolygonArea(ccw, 4, {0, 0, -1}), 6.0, 1e-12);
    EXPECT_NEAR(computePolygonArea(ccw, 3, {0, 0, -1}), 3.0, 1e-12);
    EXPECT_EQ(computePolygonArea(ccw, 2, {0, 0, -1}), 0.0);
}
