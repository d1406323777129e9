#include "geometry/query/convexMeshQueries.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <type_traits>
#include <utility>
#include <vector>

#include "geometry/mesh/meshPlacement.h"
#include "math/qmtMath.h"
#include "tests/testSupport.h"

namespace {

using Qmt::Math;
using Qmt::QmtMatrix3;
using Qmt::QmtVector3;
using Qmt::Quaternion;
using zyltest::expectWithin;
using zyltest::ROT_Z90;

// Corner index = x bit + 2 y bit + 4 z bit; faces -x, +x, -y, +y, -z, +z, outward.
constexpr std::uint32_t CUBE_FACES[6][4] = {{0, 4, 6, 2}, {1, 3, 7, 5}, {0, 1, 5, 4},
                                            {2, 6, 7, 3}, {0, 2, 3, 1}, {4, 5, 7, 6}};

// The local cube [lo, hi], placed by SRT (which also fills the world data).
template <class Mesh>
void makeCube(Mesh& mesh, const QmtVector3& lo, const QmtVector3& hi, const QmtVector3& T = {},
              const QmtMatrix3& R = QmtMatrix3::IDENTITY, const QmtVector3& S = {1, 1, 1}) {
    mesh.numVertices = 8;
    mesh.vertices = new QmtVector3[8];
    mesh.worldVertices = new QmtVector3[8];
    for (std::uint32_t i = 0; i < 8; ++i) {
        mesh.vertices[i] = {(i & 1) ? hi.x : lo.x, (i & 2) ? hi.y : lo.y, (i & 4) ? hi.z : lo.z};
    }
    mesh.numFaces = 6;
    mesh.faces = new std::remove_pointer_t<decltype(mesh.faces)>[6];
    mesh.normals = new QmtVector3[6];
    mesh.worldNormals = new QmtVector3[6];
    for (std::uint32_t f = 0; f < 6; ++f) {
        if constexpr (std::is_same_v<Mesh, ZYL_DFmesh>) {
            mesh.faces[f].allocate(4, 1);
        }
        mesh.faces[f].numVertices = 4;
        std::copy(CUBE_FACES[f], CUBE_FACES[f] + 4, mesh.faces[f].vertices);
        mesh.normals[f][static_cast<int>(f / 2)] = (f % 2) ? 1.0 : -1.0;
    }
    meshTransformSRT(&mesh, T, R, S);
}

// A mesh of one triangle in world data only.
void makeTriangle(ZYLmesh& mesh, const QmtVector3 (&corners)[3], const QmtVector3& normal) {
    mesh.numVertices = 3;
    mesh.worldVertices = new QmtVector3[3]{corners[0], corners[1], corners[2]};
    mesh.numFaces = 1;
    mesh.faces = new ZYLface[1];
    mesh.faces[0].numVertices = 3;
    mesh.faces[0].vertices[1] = 1;
    mesh.faces[0].vertices[2] = 2;
    mesh.worldNormals = new QmtVector3[1]{normal};
}

// Checks that exactly `draws` draws were made since the generator was seeded with seed.
void expectDrawsSince(unsigned seed, int draws) {
    const int next = Math::Rand();
    Math::SeedRandom(seed);
    for (int i = 0; i < draws; ++i) {
        Math::Rand();
    }
    EXPECT_EQ(next, Math::Rand()) << "seed " << seed << ", " << draws << " draws";
}

TEST(ConvexMeshQueries, PointAndSegmentAgainstUnitCube) {
    ZYLmesh cube;
    makeCube(cube, {0, 0, 0}, {1, 1, 1});
    // Face plane, edge and corner are inside for tol 0; beyond, the tolerance decides.
    for (const QmtVector3& p : {QmtVector3{0.5, 0.5, 0.5}, {1, 0.5, 0.5}, {0, 1, 0.5}, {1, 1, 1}}) {
        EXPECT_TRUE(pointInConvexMesh(p, &cube, 0.0));
    }
    EXPECT_FALSE(pointInConvexMesh({0.5, -0.2, 0.5}, &cube, 0.1));
    EXPECT_TRUE(pointInConvexMesh({0.5, -0.2, 0.5}, &cube, 0.3));
    ZYLmesh empty;
    EXPECT_TRUE(pointInConvexMesh({100, 0, 0}, &empty, 0.0));
    EXPECT_FALSE(pointInConvexMesh({0.5, 0.5, 0.5}, nullptr, 1.0));

    // A segment is ruled out only when one plane has both ends more than 1e-5 beyond.
    EXPECT_FALSE(segmentMayTouchConvexMesh({0.2, 0.2, 1.5}, {3, -2, 1.1}, &cube));
    EXPECT_TRUE(segmentMayTouchConvexMesh({0.5, 0.5, 1 + 5e-6}, {0.5, 0.5, 4}, &cube));
    EXPECT_TRUE(segmentMayTouchConvexMesh({2, 0.5, 0.5}, {0.5, 0.5, 2}, &cube));
    EXPECT_FALSE(segmentMayTouchConvexMesh({0, 0, 0}, {1, 1, 1}, nullptr));

    // A face whose first vertex is out of range has no plane: never "inside".
    cube.faces[3].vertices[0] = 8;
    EXPECT_FALSE(pointInConvexMesh({0.5, 0.5, 0.5}, &cube, 0.0));
}

// Local cube [0,1]^3 with S = (2,1,1), R = 90 degrees about z, T = (10,0,0): the world
// box is x in [9,10], y in [0,2], z in [0,1], with world y = 2 * local x.
TEST(ConvexMeshQueries, LocalSpaceRoutinesOnPlacedMesh) {
    ZYLmesh mesh;
    makeCube(mesh, {0, 0, 0}, {1, 1, 1}, {10, 0, 0}, ROT_Z90, {2, 1, 1});
    EXPECT_TRUE(pointInConvexMesh({9.5, 1.5, 0.5}, &mesh, 0.0));
    EXPECT_FALSE(pointInConvexMesh({0.5, 0.5, 0.5}, &mesh, 0.0));  // inside only if unmapped
    // World y 2.1 is local x 1.05: the tolerance is in local units.
    EXPECT_FALSE(pointInConvexMesh({9.5, 2.1, 0.5}, &mesh, 0.04));
    EXPECT_TRUE(pointInConvexMesh({9.5, 2.1, 0.5}, &mesh, 0.06));

    EXPECT_FALSE(segmentMayTouchConvexMesh({9.5, 2.5, 0.2}, {9.2, 2.5, 0.8}, &mesh));
    EXPECT_TRUE(segmentMayTouchConvexMesh({9.5, 2.5, 0.5}, {9.5, 1.5, 0.5}, &mesh));
    EXPECT_FALSE(segmentMayTouchConvexMesh({0.5, 0.5, 0.2}, {0.5, 0.5, 0.8}, &mesh));

    QmtVector3 p{9.5, 2.5, 0.5};
    pushPointInsideConvexMesh(&mesh, p, 0.0, false);
    expectWithin(p, {9.5, 2.0, 0.5});
    p = {9.5, 1.9, 0.5};  // local x 0.95 goes to 1.05 with margin 1
    pushPointInsideConvexMesh(&mesh, p, 1.0, true);
    expectWithin(p, {9.5, 2.1, 0.5});
}

TEST(ConvexMeshQueries, PushRandomStartMode) {
    ZYLmesh cube;
    makeCube(cube, {0, 0, 0}, {1, 1, 1});
    // Beyond +x by 0.5 and -y by 0.25: each violated face moves p by (1 + margin) d.
    QmtVector3 p{1.5, -0.25, 0.5};
    pushPointInsideConvexMesh(&cube, p, 0.01, false);
    EXPECT_EQ(p, QmtVector3(1.5 - (1.0 + 0.01) * 0.5, -0.25 + (1.0 + 0.01) * 0.25, 0.5));

    // Inside (one face within the tolerance), or no faces: unchanged, one draw each.
    ZYLmesh empty;
    Math::SeedRandom(321);
    p = {0.3, 1 + 5e-6, 0.7};
    pushPointInsideConvexMesh(&cube, p, 0.01, false);
    pushPointInsideConvexMesh(&empty, p, 0.01, false);
    EXPECT_EQ(p, QmtVector3(0.3, 1 + 5e-6, 0.7));
    expectDrawsSince(321, 2);

    // Inside points of a rotated, scaled, moved mesh come back bit for bit.
    ZYLmesh placed;
    const QmtMatrix3 R = zyltest::axisRotation(QmtVector3{1, 2, 3} / std::sqrt(14.0), 0.7);
    const QmtVector3 T{0.3, -7.1, 2.9};
    makeCube(placed, {-1, -1, -1}, {1, 1, 1}, T, R, {3, 0.7, 1.3});
    for (int i = 0; i < 27; ++i) {
        const QmtVector3 scaled{0.9 * (i % 3 - 1), 0.21 * (i / 3 % 3 - 1), 0.39 * (i / 9 - 1)};
        const QmtVector3 world = R * scaled + T;
        p = world;
        pushPointInsideConvexMesh(&placed, p, 0.01, false);
        EXPECT_EQ(p, world) << i;
    }
}

// Planes x <= 0 (face 0) and x + y <= 0 (face 1) through the origin. From (1,0,0),
// face 0 first ends at the origin, face 1 first at (0,-0.5,0); start = trunc(2 draw).
TEST(ConvexMeshQueries, PushStartFaceFollowsTheDraw) {
    ZYLmesh wedge;
    wedge.numVertices = 1;
    wedge.vertices = new QmtVector3[1]{};
    wedge.numFaces = 2;
    wedge.faces = new ZYLface[2];
    wedge.normals = new QmtVector3[2]{{1, 0, 0}, {std::sqrt(0.5), std::sqrt(0.5), 0}};
    unsigned seeds[2] = {0, 0};
    for (unsigned s = 1; s < 1000000 && (seeds[0] == 0 || seeds[1] == 0); ++s) {
        const double r = Math::UnitRandom(s);  // reseeds with s, then draws
        if (r < 1.0) {  // a draw of exactly 1 starts past the end, i.e. at face 0
            seeds[r < 0.5 ? 0 : 1] = s;
        }
    }
    const QmtVector3 expected[2] = {{0, 0, 0}, {0, -0.5, 0}};
    for (int k = 0; k < 2; ++k) {
        ASSERT_NE(seeds[k], 0u);
        Math::SeedRandom(seeds[k]);
        QmtVector3 p{1, 0, 0};
        pushPointInsideConvexMesh(&wedge, p, 0.0, false);
        expectWithin(p, expected[k]);
        expectDrawsSince(seeds[k], 1);
    }
}

TEST(ConvexMeshQueries, PushNearestFaceMode) {
    ZYLmesh cube;
    makeCube(cube, {0, 0, 0}, {1, 1, 1});
    // An inside point crosses its nearest face to margin * |d| beyond it; no draw.
    Math::SeedRandom(5);
    QmtVector3 p{0.9, 0.4, 0.5};
    pushPointInsideConvexMesh(&cube, p, 0.01, true);
    expectWithin(p, {1.0 + 0.01 * 0.1, 0.4, 0.5});
    expectDrawsSince(5, 0);
    // Ties: the first face (-x) wins.
    p = {0.5, 0.5, 0.5};
    pushPointInsideConvexMesh(&cube, p, 0.5, true);
    EXPECT_EQ(p, QmtVector3(-0.25, 0.5, 0.5));

    // No faces (or no mesh): nothing is nearest, p unchanged.
    ZYLmesh empty;
    p = {0.25, -3, 8};
    pushPointInsideConvexMesh(&empty, p, 0.01, true);
    pushPointInsideConvexMesh(nullptr, p, 0.01, true);
    EXPECT_EQ(p, QmtVector3(0.25, -3, 8));

    // A face without a plane is never the nearest one.
    cube.faces[1].vertices[0] = 42;
    p = {0.9, 0.5, 0.45};
    pushPointInsideConvexMesh(&cube, p, 0.0, true);
    expectWithin(p, {0.9, 0.5, 0.0});
}

template <class Mesh>
void checkWorldQueries() {
    Mesh cube;  // world [10,11] x [0,1] x [5,6]
    makeCube(cube, {0, 0, 0}, {1, 1, 1}, {10, 0, 5});
    const QmtVector3 inside[2] = {{10.5, 0.5, 5.5}, {10.1, 0.9, 5.2}};
    const QmtVector3 deep{10.5, 0.5, 6 - 2e-5}, shallow{10.5, 0.5, 6 - 1e-6}, surface{11, 0.5, 5.5};
    const QmtVector3 local{0.5, 0.5, 0.5};
    EXPECT_TRUE(pointsInsideConvexMesh(&cube, inside, 2));
    EXPECT_TRUE(pointsInsideConvexMesh(&cube, &deep, 1));
    for (const QmtVector3* p : {&shallow, &surface, &local}) {
        EXPECT_FALSE(pointsInsideConvexMesh(&cube, p, 1));
    }
    EXPECT_FALSE(pointsInsideConvexMesh(static_cast<const Mesh*>(nullptr), inside, 1));

    const QmtVector3 up{0, 0, 1};
    EXPECT_EQ(classifyMeshAgainstPlane(&cube, up, {0, 0, 5.5}), 0);
    EXPECT_EQ(classifyMeshAgainstPlane(&cube, up, {0, 0, 4}), 1);
    EXPECT_EQ(classifyMeshAgainstPlane(&cube, up, {0, 0, 7}), -1);
    EXPECT_EQ(classifyMeshAgainstPlane(&cube, up, {0, 0, 5}), 1);   // on-plane vertices
    EXPECT_EQ(classifyMeshAgainstPlane(&cube, up, {0, 0, 6}), -1);  // count on neither side
    EXPECT_EQ(classifyMeshAgainstPlane(&cube, up, {0, 0, 0.5}), 1);
    // (0,0,5) is normalised: the top is 3e-6 above, not 1.5e-5.
    EXPECT_EQ(classifyMeshAgainstPlane(&cube, {0, 0, 5}, {0, 0, 6 - 3e-6}), -1);
    // A near-unit normal is used as it is: 1.000004 * 0.999998e-5 >= 1e-5.
    EXPECT_EQ(classifyMeshAgainstPlane(&cube, {0, 0, 1.000004}, {0, 0, 6 - 0.999998e-5}), 0);
    EXPECT_EQ(classifyMeshAgainstPlane(&cube, up, {0, 0, 6 - 0.999998e-5}), -1);
    Mesh empty;
    EXPECT_EQ(classifyMeshAgainstPlane(&empty, up, {0, 0, 100}), 1);

    cube.faces[5].vertices[0] = 8;  // a face without a plane
    EXPECT_FALSE(pointsInsideConvexMesh(&cube, inside, 0));
}

TEST(ConvexMeshQueries, PointsInsideAndClassifyReadWorldData) {
    checkWorldQueries<ZYLmesh>();
    checkWorldQueries<ZYL_DFmesh>();
    ZYL_DFmesh cube;
    makeCube(cube, {0, 0, 0}, {1, 1, 1});
    cube.faces[2].release();  // a detailed face without corners has no plane
    const QmtVector3 inside{0.5, 0.5, 0.5};
    EXPECT_FALSE(pointsInsideConvexMesh(&cube, &inside, 1));
    ZYLmesh flat;  // everything within 1e-5 of the plane: nothing below
    makeCube(flat, {0, 0, 0}, {1, 1, 4e-6});
    EXPECT_EQ(classifyMeshAgainstPlane(&flat, {0, 0, 1}, {0, 0, 2e-6}), 1);
}

TEST(ConvexMeshQueries, MeshesIntersect) {
    ZYLmesh a;
    makeCube(a, {0, 0, 0}, {1, 1, 1});
    const auto against = [&](const QmtVector3& T, double size = 1.0) {
        ZYLmesh b;
        makeCube(b, {0, 0, 0}, {size, size, size}, T);
        return convexMeshesIntersect(&a, &b);
    };
    EXPECT_TRUE(against({0.5, 0.5, 0.5}));
    EXPECT_TRUE(against({0.5, -0.25, 0}));
    EXPECT_TRUE(against({1, 0, 0}));  // touching faces
    EXPECT_FALSE(against({2, 0, 0}));
    EXPECT_FALSE(against({0, 0, 50}));               // world data, not the shared local data
    EXPECT_FALSE(against({-0.5, -0.5, -0.5}, 2.0));  // a inside b: no faces meet
    EXPECT_FALSE(convexMeshesIntersect(&a, nullptr));

    // Crossing triangles meet only while their normals face each other.
    ZYLmesh floor, ramp;
    makeTriangle(floor, {{-1, -1, 0}, {2, -1, 0}, {-1, 2, 0}}, {0, 0, 1});
    makeTriangle(ramp, {{0, -1, -0.75}, {0, 1, 0.75}, {1, 1, 0.75}}, {0, 0.6, -0.8});
    EXPECT_TRUE(convexMeshesIntersect(&floor, &ramp));
    ramp.worldNormals[0] = {0, -0.6, 0.8};
    EXPECT_FALSE(convexMeshesIntersect(&floor, &ramp));
}

TEST(ConvexMeshQueries, PointInConvexPolygonBothWindings) {
    const std::vector<QmtVector3> ccw{{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};
    const std::vector<QmtVector3> cw{{0, 0, 0}, {0, 1, 0}, {1, 1, 0}, {1, 0, 0}};
    const QmtVector3 up{0, 0, 1};
    for (const auto* loop : {&ccw, &cw}) {
        for (const QmtVector3& n : {up, -up, up * 3.0}) {
            for (const QmtVector3& p :
                 {QmtVector3{0.5, 0.5, 0}, {0.5, 0.5, 7}, {1, 1, 0}, {-5e-6, 0.5, 0}}) {
                EXPECT_TRUE(pointInConvexPolygon(p, loop->data(), 4, n));
            }
            for (const QmtVector3& p :
                 {QmtVector3{0.5, -0.1, 0}, {1.1, 0.5, 0}, {0.5, 1.1, 0}, {-2e-5, 0.5, 0}}) {
                EXPECT_FALSE(pointInConvexPolygon(p, loop->data(), 4, n));
            }
        }
    }
    const QmtVector3 tri[3] = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
    EXPECT_FALSE(pointInConvexPolygon({0.6, 0.6, 0}, tri, 3, up));
    EXPECT_FALSE(pointInConvexPolygon({-0.01, 0.5, 0}, tri, 3, up));  // closing edge
    EXPECT_FALSE(pointInConvexPolygon({0, 0, 0}, tri, 2, up));
}

TEST(ConvexMeshQueries, GaussianPointsInFrame) {
    // Three polar-method pairs (a, b, c), drawn here the long way.
    Math::SeedRandom(2024);
    double pairs[3][2];
    for (auto& pair : pairs) {
        double u = 0, v = 0, s = 1;
        while (!(s < 1.0)) {
            u = Math::SymmetricRandom(0);
            v = Math::SymmetricRandom(0);
            s = u * u + v * v;
        }
        const double f = std::sqrt(-2.0 * std::log(s) / s);
        pair[0] = u * f;
        pair[1] = v * f;
    }
    const int next = Math::Rand();

    // frame * g = (g.y, g.z, g.x): rotation first, then the spread, then the centre.
    const QmtMatrix3 frame(0, 1, 0, 0, 0, 1, 1, 0, 0);
    QmtVector3 out[2];
    Math::SeedRandom(2024);
    gaussianPointInBox({1, 2, 3}, {2, 3, 4}, frame, out);
    EXPECT_EQ(Math::Rand(), next);
    for (int k = 0; k < 2; ++k) {
        const QmtVector3 expected{1 + 2 * pairs[1][k], 2 + 3 * pairs[2][k], 3 + 4 * pairs[0][k]};
        EXPECT_EQ(out[k], expected) << k;
    }
}

TEST(ConvexMeshQueries, Clamps) {
    ZYLbox box{{1, 2, 3}, ROT_Z90, {1, 0.5, 0.25}};
    const QmtVector3 axis0 = box.axes.GetColumn(0);
    Math::SeedRandom(11);
    QmtVector3 p = box.centre + axis0 * 3.0;  // 2 beyond: back inside by margin 1e-5 of that
    clampPointToOrientedBox(box, p);
    expectWithin(p, box.centre + axis0 * (1.0 - 2e-5));
    expectDrawsSince(11, 1);
    const QmtVector3 inside = box.centre + QmtVector3{0.3, -0.7, 0.1};
    p = inside;
    clampPointToOrientedBox(box, p);
    EXPECT_EQ(p, inside);

    // Axis box, corners in either order: snapped to lo / hi once beyond the margin.
    const QmtVector3 lo{0, 0, 0}, hi{1, 1, 1};
    for (const auto& [a, b] : {std::pair{lo, hi}, std::pair{hi, lo}}) {
        QmtVector3 result;
        p = {0.5, 1.05, -0.2};
        clampPointToBox(result, p, a, b, 0.1);
        EXPECT_EQ(p, QmtVector3(0.5, 1.05, 0));
        EXPECT_EQ(result, p);
        p = {2, -1, 0.5};
        clampPointToBox(result, p, a, b, 0.0);
        EXPECT_EQ(result, QmtVector3(1, 0, 0.5));
    }
    Quaternion q(1.5, -0.5, 0.5, 1.05), out;
    clampPointToBounds(out, q, Quaternion(1, 1, 1, 1), Quaternion(0, 0, 0, 0), 0.1);
    EXPECT_EQ(q, Quaternion(1, 0, 0.5, 1.05));
    EXPECT_EQ(out, q);
}

TEST(ConvexMeshQueries, DegenerateEdges) {
    const std::uint32_t equal[2] = {3, 3}, shortEdge[2] = {0, 1}, longer[2] = {2, 0};
    EXPECT_TRUE(isDegenerateEdge(equal, nullptr));  // the vertices are not read
    const QmtVector3 v[3] = {{0, 0, 0}, {0.003, 0, 0}, {0, 0.004, 0}};
    EXPECT_TRUE(isDegenerateEdge(shortEdge, v));  // 9e-6
    EXPECT_FALSE(isDegenerateEdge(longer, v));    // 1.6e-5
}

}  // namespace
