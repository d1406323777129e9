#include "geometry/massProperties.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <type_traits>
#include <vector>

namespace {

using Qmt::QmtMatrix3;
using Qmt::QmtVector3;
using Faces = std::vector<std::vector<std::uint32_t>>;
using Points = std::vector<QmtVector3>;

template <class Mesh>
void fill(Mesh& mesh, const Points& points, const Faces& faces) {
    mesh.numVertices = static_cast<std::uint32_t>(points.size());
    mesh.vertices = new QmtVector3[points.size()];
    std::copy(points.begin(), points.end(), mesh.vertices);
    mesh.numFaces = static_cast<std::uint32_t>(faces.size());
    mesh.faces = new std::remove_pointer_t<decltype(mesh.faces)>[faces.size()];
    for (std::size_t f = 0; f < faces.size(); ++f) {
        if constexpr (std::is_same_v<Mesh, ZYL_DFmesh>) {
            mesh.faces[f].allocate(static_cast<std::uint32_t>(faces[f].size()), 1);
        }
        mesh.faces[f].numVertices = static_cast<std::uint32_t>(faces[f].size());
        std::copy(faces[f].begin(), faces[f].end(), mesh.faces[f].vertices);
    }
}

// Box [lo, hi] (vertices from base on) with faces counter-clockwise seen from outside.
void addBox(Points& points, Faces& faces, const QmtVector3& lo, const QmtVector3& hi,
            bool inward = false) {
    const auto base = static_cast<std::uint32_t>(points.size());
    points.insert(points.end(), {{lo.x, lo.y, lo.z}, {hi.x, lo.y, lo.z}, {hi.x, hi.y, lo.z},
                                 {lo.x, hi.y, lo.z}, {lo.x, lo.y, hi.z}, {hi.x, lo.y, hi.z},
                                 {hi.x, hi.y, hi.z}, {lo.x, hi.y, hi.z}});
    for (std::vector<std::uint32_t> face : Faces{{0, 3, 2, 1}, {4, 5, 6, 7}, {0, 1, 5, 4},
                                                 {2, 3, 7, 6}, {0, 4, 7, 3}, {1, 2, 6, 5}}) {
        for (auto& i : face) {
            i += base;
        }
        if (inward) {
            std::reverse(face.begin(), face.end());
        }
        faces.push_back(face);
    }
}

// The L (0,0) (2,0) (2,1) (1,1) (1,2) (0,2) extruded over z in [0, 1]: volume 3.
void addL(Points& points, Faces& faces, bool inward) {
    const double xy[6][2] = {{0, 0}, {2, 0}, {2, 1}, {1, 1}, {1, 2}, {0, 2}};
    for (double z : {0.0, 1.0}) {
        for (const auto& p : xy) {
            points.push_back({p[0], p[1], z});
        }
    }
    faces = {{5, 4, 3, 2, 1, 0}, {6, 7, 8, 9, 10, 11}};
    for (std::uint32_t i = 0; i < 6; ++i) {
        faces.push_back({i, (i + 1) % 6, (i + 1) % 6 + 6, i + 6});
    }
    for (auto& face : faces) {
        if (inward) {
            std::reverse(face.begin(), face.end());
        }
    }
}

// The unit cube about the origin plus two small inverted cubes far out on x: positive
// volume (0.75), centroid inside the bounds, but a negative principal moment.
void addCubeWithFarHoles(Points& points, Faces& faces) {
    addBox(points, faces, {-0.5, -0.5, -0.5}, {0.5, 0.5, 0.5});
    addBox(points, faces, {9.75, -0.25, -0.25}, {10.25, 0.25, 0.25}, true);
    addBox(points, faces, {-10.25, -0.25, -0.25}, {-9.75, 0.25, 0.25}, true);
}

void expectNear(const QmtVector3& a, const QmtVector3& b, double tol = 1e-12) {
    EXPECT_NEAR(a.x, b.x, tol);
    EXPECT_NEAR(a.y, b.y, tol);
    EXPECT_NEAR(a.z, b.z, tol);
}

void expectNear(const QmtMatrix3& a, const QmtMatrix3& b, double tol = 1e-12) {
    for (unsigned i = 0; i < 9; ++i) {
        EXPECT_NEAR(a(i / 3, i % 3), b(i / 3, i % 3), tol) << "entry " << i;
    }
}

}  // namespace

TEST(MassProperties, VolumeAndCentre) {
    Points p;
    Faces f;
    addBox(p, f, {1, -1, 2}, {3, 1, 4});
    ZYLmesh cube;
    ZYL_DFmesh dfCube;
    fill(cube, p, f);
    fill(dfCube, p, f);
    QmtVector3 centre, dfCentre;
    EXPECT_NEAR(ComputeMassProperties(&cube, centre), 8.0, 1e-12);
    expectNear(centre, {2, 0, 3});
    EXPECT_EQ(ComputeMassProperties(&dfCube, dfCentre), ComputeMassProperties(&cube, centre));
    EXPECT_EQ(dfCentre, centre);
    EXPECT_EQ(computeMeshVolume(&cube), ComputeMassProperties(&cube, centre));
    EXPECT_EQ(computeMeshVolume(&dfCube), computeMeshVolume(&cube));

    // An L: the centroid, not the bounds' centre. Inverted: negative volume and the
    // bounds' centre, while computeMeshCentroid still gives the centroid.
    for (bool inward : {false, true}) {
        Points lp;
        Faces lf;
        addL(lp, lf, inward);
        ZYLmesh l;
        fill(l, lp, lf);
        EXPECT_NEAR(ComputeMassProperties(&l, centre), inward ? -3.0 : 3.0, 1e-12);
        expectNear(centre, inward ? QmtVector3(1, 1, 0.5) : QmtVector3(2.5 / 3, 2.5 / 3, 0.5));
        EXPECT_NEAR(computeMeshCentroid(&l, centre), inward ? -3.0 : 3.0, 1e-12);
        expectNear(centre, {2.5 / 3, 2.5 / 3, 0.5});
    }

    // Flat and degenerate faces (collinear, fewer than three corners): volume 0, the
    // bounds' centre.
    ZYLmesh flat;
    fill(flat, {{0, 0, 0}, {2, 0, 0}, {2, 4, 0}, {0, 4, 0}}, {{0, 1, 2, 3}});
    EXPECT_EQ(ComputeMassProperties(&flat, centre), 0.0);
    EXPECT_EQ(centre, QmtVector3(1, 2, 0));
    ZYLmesh degenerate;
    fill(degenerate, {{0, 0, 0}, {1, 1, 1}, {2, 2, 2}, {4, 0, 2}}, {{0, 1, 2}, {3, 1}, {0}});
    EXPECT_EQ(ComputeMassProperties(&degenerate, centre), 0.0);
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

TEST(MassProperties, ValidityThresholds) {
    // A stray vertex at z = 5 stretches the bounds so that a rejected centroid shows.
    QmtVector3 centre;
    Points p;
    Faces f;
    addBox(p, f, {-0.5, -0.5, -0.5}, {0.5, 0.5, 0.5});
    p.push_back({0, 0, 5});
    ZYLmesh plain;
    fill(plain, p, f);
    EXPECT_NEAR(ComputeMassProperties(&plain, centre), 1.0, 1e-12);
    expectNear(centre, {0, 0, 0});

    Points hp;
    Faces hf;
    addCubeWithFarHoles(hp, hf);
    hp.push_back({0, 0, 5});
    ZYLmesh holes;
    fill(holes, hp, hf);
    EXPECT_NEAR(ComputeMassProperties(&holes, centre), 0.75, 1e-12);
    expectNear(centre, {0, 0, 2.25});

    // Volume 1e-5 is the limit: a cube of side 0.02 (8e-6) is rejected, 0.03 is not.
    for (double side : {0.02, 0.03}) {
        Points tp;
        Faces tf;
        addBox(tp, tf, {0, 0, 0}, {side, side, side});
        tp.push_back({0, 0, 1});
        ZYLmesh tiny;
        fill(tiny, tp, tf);
        EXPECT_NEAR(ComputeMassProperties(&tiny, centre), side * side * side, 1e-15);
        expectNear(centre, {side / 2, side / 2, side < 0.025 ? 0.5 : side / 2});
    }
}

TEST(MassProperties, ScaledInertia) {
    Points p;
    Faces f;
    addBox(p, f, {-0.5, -0.5, -0.5}, {0.5, 0.5, 0.5});
    ZYLmesh cube;
    fill(cube, p, f);
    QmtMatrix3 inertia(9, 9, 9, 9, 9, 9, 9, 9, 9);

    // The 2 x 1 x 1 box of mass 6: m/12 (b^2 + c^2) on the diagonal; then the shift to
    // (1, 2, 3) subtracts on the diagonal and adds m ci cj off it.
    EXPECT_EQ(&computeScaledMassProperties(inertia, &cube, 6.0, {0, 0, 0}, {2, 1, 1}), &inertia);
    expectNear(inertia, QmtMatrix3(1, 0, 0, 0, 2.5, 0, 0, 0, 2.5));
    computeScaledMassProperties(inertia, &cube, 6.0, {1, 2, 3}, {2, 1, 1});
    expectNear(inertia, QmtMatrix3(-77, 12, 18, 12, -57.5, 36, 18, 36, -27.5));

    // Inverted cube: point model, mass / 8 at each corner.
    Points ip;
    Faces inside;
    addBox(ip, inside, {-0.5, -0.5, -0.5}, {0.5, 0.5, 0.5}, true);
    ZYLmesh inverted;
    fill(inverted, ip, inside);
    computeScaledMassProperties(inertia, &inverted, 8.0, {0, 0, 0}, {1, 1, 1});
    expectNear(inertia, QmtMatrix3(4, 0, 0, 0, 4, 0, 0, 0, 4));

    // Zero volume with products, scaled (2, 1, 1): points (2,1,0) (4,3,0) (0,1,0).
    ZYLmesh flat;
    fill(flat, {{1, 1, 0}, {2, 3, 0}, {0, 1, 0}}, {{0, 1, 2}});
    computeScaledMassProperties(inertia, &flat, 3.0, {0, 0, 0}, {2, 1, 1});
    expectNear(inertia, QmtMatrix3(11, -14, 0, -14, 20, 0, 0, 0, 31));

    // Positive volume with a negative principal moment: point model too, so (1,1) is
    // the positive sum of x^2 + z^2 over the 24 corners (mass 24: factor 1).
    Points hp;
    Faces hf;
    addCubeWithFarHoles(hp, hf);
    ZYLmesh holes;
    fill(holes, hp, hf);
    computeScaledMassProperties(inertia, &holes, 24.0, {0, 0, 0}, {1, 1, 1});
    double sum = 0;
    for (const QmtVector3& v : hp) {
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
