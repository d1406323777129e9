#include "geometry/bounds/boxFit.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <random>
#include <vector>

#include "tests/testSupport.h"

namespace {

using Qmt::QmtMatrix3;
using Qmt::QmtVector2;
using Qmt::QmtVector3;
using zyltest::axisRotation;
using zyltest::expectNear;

// |a . b| == 1 for unit vectors: the same axis up to sign.
void expectSameAxis(const QmtVector3& a, const QmtVector3& b) { EXPECT_NEAR(std::fabs(a.Dot(b)), 1.0, 1e-12); }

std::vector<QmtVector3> boxCorners(const QmtVector3& c, const QmtMatrix3& R, const QmtVector3& e) {
    std::vector<QmtVector3> out;
    for (int i = 0; i < 8; ++i) {
        const QmtVector3 local((i & 1) ? e.x : -e.x, (i & 2) ? e.y : -e.y, (i & 4) ? e.z : -e.z);
        out.push_back(c + R * local);
    }
    return out;
}

ZYLbox cube(const QmtVector3& centre, double half) { return {centre, QmtMatrix3::IDENTITY, {half, half, half}}; }

}  // namespace

TEST(BoxFit, EigenSolver) {
    double diag[3] = {3.0, 1.0, 2.0};
    QmtMatrix3 Q(1.0, 2.0, 3.0, 4.0, 5.0, 6.0, 7.0, 8.0, 9.0);
    sortEigenIncreasing(3, diag, Q);
    EXPECT_TRUE(diag[0] == 1.0 && diag[1] == 2.0 && diag[2] == 3.0);
    EXPECT_EQ(Q, QmtMatrix3(2.0, 3.0, 1.0, 5.0, 6.0, 4.0, 8.0, 9.0, 7.0));
    // Equal values are not exchanged (strict comparison).
    double tied[3] = {1.0, 0.0, 1.0};
    Q = QmtMatrix3(1.0, 2.0, 3.0, 4.0, 5.0, 6.0, 7.0, 8.0, 9.0);
    sortEigenIncreasing(3, tied, Q);
    EXPECT_EQ(Q, QmtMatrix3(2.0, 1.0, 3.0, 5.0, 4.0, 6.0, 8.0, 7.0, 9.0));

    double subd[3];
    QmtMatrix3 M(4.0, 1.0, 0.0, 1.0, 3.0, 0.5, 0.0, 0.5, 5.0);
    tridiagonalize3(M, diag, subd);
    EXPECT_EQ(M, QmtMatrix3::IDENTITY);
    EXPECT_TRUE(diag[0] == 4.0 && diag[1] == 3.0 && diag[2] == 5.0);
    EXPECT_TRUE(subd[0] == 1.0 && subd[1] == 0.5 && subd[2] == 0.0);

    const QmtMatrix3 A(4.0, 1.0, 2.0, 1.0, 3.0, 0.5, 2.0, 0.5, 5.0);
    M = A;
    tridiagonalize3(M, diag, subd);
    const QmtMatrix3 Tri = M.TransposeTimes(A) * M;
    const QmtMatrix3 expected(diag[0], subd[0], 0.0, subd[0], diag[1], subd[1], 0.0, subd[1], diag[2]);
    for (unsigned i = 0; i < 9; ++i) {
        EXPECT_NEAR(Tri(i / 3, i % 3), expected(i / 3, i % 3), 1e-12);
    }

    M = A;
    double values[3];
    eigenSolveSymmetric3(M, values);
    EXPECT_TRUE(values[0] <= values[1] && values[1] <= values[2]);
    EXPECT_NEAR(values[0] + values[1] + values[2], 12.0, 1e-12);  // trace
    for (unsigned k = 0; k < 3; ++k) {
        const QmtVector3 c = M.GetColumn(k);
        EXPECT_NEAR(c.Length(), 1.0, 1e-12);
        expectNear(A * c, c * values[k]);
    }

    EXPECT_FALSE(solveQL(4, diag, subd, M));
    EXPECT_FALSE(solveQL(0, diag, subd, M));
}

TEST(BoxFit, OrientedBox) {
    const auto aligned = boxCorners({2.0, 1.0, 0.5}, QmtMatrix3::IDENTITY, {2.0, 1.0, 0.5});
    const ZYLbox box = fitOrientedBox(8, aligned.data());
    expectNear(box.centre, {2.0, 1.0, 0.5});
    expectNear(box.halfExtents, {0.5, 1.0, 2.0});  // ascending spread
    expectSameAxis(box.axes.GetColumn(0), QmtVector3::UNIT_Z);
    expectSameAxis(box.axes.GetColumn(1), QmtVector3::UNIT_Y);
    expectSameAxis(box.axes.GetColumn(2), QmtVector3::UNIT_X);

    const QmtMatrix3 R = axisRotation(QmtVector3::UNIT_Z, std::numbers::pi / 4.0);
    const auto turned = boxCorners({1.0, 2.0, 3.0}, R, {3.0, 1.0, 0.5});
    const ZYLbox fitted = fitOrientedBox(8, turned.data());
    expectNear(fitted.centre, {1.0, 2.0, 3.0});
    expectNear(fitted.halfExtents, {0.5, 1.0, 3.0});
    expectSameAxis(fitted.axes.GetColumn(2), R.GetColumn(0));

    // The indexed form reads only the picked points.
    std::vector<QmtVector3> mixed = turned;
    mixed.insert(mixed.begin() + 3, QmtVector3(100.0, 100.0, 100.0));
    const std::uint32_t picks[8] = {0, 1, 2, 4, 5, 6, 7, 8};
    const ZYLbox indexed = fitOrientedBoxIndexed(8, picks, mixed.data());
    EXPECT_TRUE(indexed.centre == fitted.centre && indexed.axes == fitted.axes &&
                indexed.halfExtents == fitted.halfExtents);

    const QmtVector3 single(1.5, -2.0, 7.0);
    const ZYLbox point = fitOrientedBox(1, &single);
    EXPECT_TRUE(point.centre == single && point.halfExtents == QmtVector3::ZERO);

    // The mean uses 1/n in single precision: (0 + 3 + 6) * (double)(1.0f / 3.0f).
    const QmtVector3 row[3] = {{0.0, 0.0, 0.0}, {3.0, 0.0, 0.0}, {6.0, 0.0, 0.0}};
    ZYLbox axes;
    fitBoxAxes(3, row, axes);
    EXPECT_EQ(axes.centre.x, 3.000000089406967);
    EXPECT_TRUE(axes.halfExtents.x == 0.0 && axes.halfExtents.y == 0.0);
    EXPECT_NEAR(axes.halfExtents.z, 6.0, 1e-6);  // the variance, left for the caller

    // No points: the zeroed box, nothing read.
    const ZYLbox none = fitOrientedBox(0, nullptr);
    EXPECT_TRUE(none.centre == QmtVector3::ZERO && none.axes == QmtMatrix3::ZERO &&
                none.halfExtents == QmtVector3::ZERO);
    axes.centre = QmtVector3(1.0, 1.0, 1.0);
    fitBoxAxesIndexed(0, nullptr, nullptr, axes);
    EXPECT_EQ(axes.centre, QmtVector3::ZERO);
}

TEST(BoxFit, LineAndCapsule) {
    const QmtVector3 dir(1.0 / 3.0, 2.0 / 3.0, 2.0 / 3.0);
    std::vector<QmtVector3> line;
    for (double t : {-2.0, -1.0, 0.0, 1.0, 3.0}) {
        line.push_back(QmtVector3(1.0, 2.0, 3.0) + dir * t);
    }
    QmtVector3 origin, direction;
    fitLine(5, line.data(), origin, direction);
    expectSameAxis(direction, dir);
    expectNear(origin, QmtVector3(1.0, 2.0, 3.0) + dir * 0.2, 1e-6);

    // On a line: radius 0, ends at the extreme points in the fitted direction's order.
    const QmtVector3 onX[4] = {{0.0, 0.0, 0.0}, {2.5, 0.0, 0.0}, {10.0, 0.0, 0.0}, {7.0, 0.0, 0.0}};
    QmtVector3 end0, end1;
    double radius = -1.0;
    fitCapsule(4, onX, end0, end1, radius);
    fitLine(4, onX, origin, direction);
    EXPECT_EQ(radius, 0.0);
    EXPECT_GT((end1 - end0).Dot(direction), 0.0);
    EXPECT_NEAR(std::fmin(end0.x, end1.x), 0.0, 1e-12);
    EXPECT_NEAR(std::fmax(end0.x, end1.x), 10.0, 1e-12);

    // A point beyond the cylinder's ends pulls its end out by what its cap needs.
    const QmtVector3 tube[5] = {{0.0, 1.0, 0.0}, {0.0, -1.0, 0.0}, {10.0, 1.0, 0.0}, {10.0, -1.0, 0.0}, {-2.0, 0.0, 0.0}};
    fitCapsule(5, tube, end0, end1, radius);
    EXPECT_NEAR(radius, 1.0, 1e-12);
    EXPECT_NEAR(std::fmin(end0.x, end1.x), -1.0, 1e-9);
    EXPECT_NEAR(std::fmax(end0.x, end1.x), 10.0, 1e-9);
    EXPECT_TRUE(std::fabs(end0.y) < 1e-12 && std::fabs(end1.y) < 1e-12);

    // Ends that would cross collapse into a sphere at their midpoint.
    const QmtVector3 blob[5] = {{1.0, 0.0, 0.0}, {-1.0, 0.0, 0.0}, {1.0, 0.0, 0.0}, {-1.0, 0.0, 0.0}, {0.0, 1.5, 0.0}};
    fitCapsule(5, blob, end0, end1, radius);
    EXPECT_EQ(end0, end1);
    expectNear(end0, {0.0, 0.3, 0.0}, 1e-7);
    EXPECT_NEAR(radius, 1.2, 1e-7);

    const QmtVector3 single(4.0, 5.0, 6.0);
    fitCapsule(1, &single, end0, end1, radius);
    EXPECT_TRUE(end0 == single && end1 == single && radius == 0.0);

    const std::uint32_t picks[3] = {4, 0, 1};
    QmtVector3 i0, i1;
    double iradius = 0.0;
    fitCapsuleIndexed(3, picks, tube, i0, i1, iradius);
    const QmtVector3 gathered[3] = {tube[4], tube[0], tube[1]};
    fitCapsule(3, gathered, end0, end1, radius);
    EXPECT_TRUE(i0 == end0 && i1 == end1 && iradius == radius);

    // No points: zero capsule and zero line, nothing read.
    fitCapsule(0, nullptr, end0, end1, radius);
    EXPECT_TRUE(end0 == QmtVector3::ZERO && end1 == QmtVector3::ZERO && radius == 0.0);
    fitLineIndexed(0, nullptr, nullptr, origin, direction);
    EXPECT_TRUE(origin == QmtVector3::ZERO && direction == QmtVector3::ZERO);
}

TEST(BoxFit, BoxTests) {
    const QmtMatrix3 R = axisRotation(QmtVector3::UNIT_Z, 0.5);
    const ZYLbox box{{1.0, 2.0, 3.0}, R, {1.0, 2.0, 3.0}};
    const QmtVector3 onFace = box.centre + R.GetColumn(0) * 1.0 + R.GetColumn(2) * 1.0;
    EXPECT_TRUE(pointInOrientedBox(onFace, box, 0.0));
    EXPECT_FALSE(pointInOrientedBox(onFace + R.GetColumn(0) * 0.01, box, 0.0));
    EXPECT_TRUE(pointInOrientedBox(onFace + R.GetColumn(0) * 0.01, box, 0.02));
    EXPECT_FALSE(pointInOrientedBox(box.centre - R.GetColumn(2) * 3.5, box, 0.25));

    const QmtVector3 up = QmtVector3::UNIT_Z;
    EXPECT_FALSE(orientedBoxCrossesPlane(cube({0.0, 0.0, 5.0}, 1.0), {0.0, 0.0, 2.0}, up));  // above
    EXPECT_FALSE(orientedBoxCrossesPlane(cube({0.0, 0.0, 3.0}, 1.0), {0.0, 0.0, 2.0}, up));  // touching
    EXPECT_TRUE(orientedBoxCrossesPlane(cube({0.0, 0.0, 2.5}, 1.0), {0.0, 0.0, 2.0}, up));
    EXPECT_TRUE(orientedBoxCrossesPlane(cube({0.0, 0.0, -5.0}, 1.0), {0.0, 0.0, 2.0}, up));  // below
    EXPECT_TRUE(orientedBoxCrossesPlane(box, {0.0, 0.0, 0.5}, up));  // z half extent 3 reaches 0

    EXPECT_TRUE(orientedBoxesOverlap(cube({0.0, 0.0, 0.0}, 1.0), cube({2.0, 0.0, 0.0}, 1.0)));
    EXPECT_FALSE(orientedBoxesOverlap(cube({0.0, 0.0, 0.0}, 1.0), cube({2.001, 0.0, 0.0}, 1.0)));
    EXPECT_FALSE(orientedBoxesOverlap(cube({0.0, 0.0, 0.0}, 1.0), cube({0.0, -2.5, 0.5}, 1.0)));

    // Edge against crossed edge: A's vertical edge points along +x, B's edge along y
    // points back at it. No face axis separates them; only A_z x B_y does.
    const QmtMatrix3 Ra = axisRotation(QmtVector3::UNIT_Z, std::numbers::pi / 4.0);
    const QmtMatrix3 Rb = axisRotation(QmtVector3::UNIT_Y, std::numbers::pi / 4.0);
    const ZYLbox A{QmtVector3::ZERO, Ra, {1.0, 1.0, 1.0}};
    const double gap = 2.0 * std::numbers::sqrt2;
    EXPECT_FALSE(orientedBoxesOverlap(A, ZYLbox{{gap + 0.01, 0.0, 0.0}, Rb, {1.0, 1.0, 1.0}}));
    EXPECT_TRUE(orientedBoxesOverlap(A, ZYLbox{{gap - 0.01, 0.0, 0.0}, Rb, {1.0, 1.0, 1.0}}));
}

// Boxes that share an axis direction, their frames made through different products so
// that the shared axis differs in the last bits, one of them often left-handed: the
// test agrees, both ways round, with the boxes' overlap along the shared axis and in
// the plane across it (where no cross product is needed).
TEST(BoxFit, BoxesSharingAnAxisOverlapAsTheirCrossSections) {
    std::mt19937 rng(3);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    int overlapping = 0;
    for (int trial = 0; trial < 2000; ++trial) {
        const QmtVector3 axis = QmtVector3(u(rng), u(rng), u(rng)) + QmtVector3(0.0, 0.0, 2.0);
        const QmtMatrix3 common = axisRotation(axis / axis.Length(), 3.0 * u(rng));
        const double turnA = 3.0 * u(rng);
        const double turnB = 3.0 * u(rng);
        const QmtMatrix3 frameA = common * axisRotation(QmtVector3::UNIT_Y, turnA);
        QmtMatrix3 frameB = common * axisRotation(QmtVector3::UNIT_Y, turnB);
        if (trial % 2 == 1) {  // B's frame with its x and z columns exchanged
            for (int r = 0; r < 3; ++r) {
                std::swap(frameB(r, 0), frameB(r, 2));
            }
        }
        const QmtVector3 halfA(0.2 + std::fabs(u(rng)), 0.2 + std::fabs(u(rng)), 0.2 + std::fabs(u(rng)));
        const QmtVector3 halfB(0.2 + std::fabs(u(rng)), 0.2 + std::fabs(u(rng)), 0.2 + std::fabs(u(rng)));
        const QmtVector3 local(2.5 * u(rng), 2.0 * u(rng), 2.5 * u(rng));  // B's centre in A's unturned frame
        const ZYLbox A{QmtVector3(u(rng), u(rng), u(rng)), frameA, halfA};
        const ZYLbox B{A.centre + common * local, frameB, halfB};

        // Along the shared axis, and in the plane across it by the four edge normals.
        const QmtVector2 cornersB[4] = {{-1, -1}, {1, -1}, {1, 1}, {-1, 1}};
        const auto projected = [&](double angle, const QmtVector3& half, bool swapped, const QmtVector2& c) {
            const double hx = swapped ? half.z : half.x;
            const double hz = swapped ? half.x : half.z;
            return QmtVector2(std::cos(angle) * c.x * hx + std::sin(angle) * c.y * hz,
                              -std::sin(angle) * c.x * hx + std::cos(angle) * c.y * hz);
        };
        double margin = halfA.y + halfB.y - std::fabs(local.y);
        for (const double angle : {turnA, turnB}) {
            const QmtVector2 dirs[2] = {{std::cos(angle), -std::sin(angle)}, {std::sin(angle), std::cos(angle)}};
            for (const QmtVector2& d : dirs) {
                double reachA = 0.0;
                double reachB = 0.0;
                for (const QmtVector2& c : cornersB) {
                    reachA = std::max(reachA, std::fabs(projected(turnA, halfA, false, c).Dot(d)));
                    reachB = std::max(reachB, std::fabs(projected(turnB, halfB, trial % 2 == 1, c).Dot(d)));
                }
                margin = std::min(margin, reachA + reachB - std::fabs(QmtVector2(local.x, local.z).Dot(d)));
            }
        }
        if (std::fabs(margin) < 1e-9) {
            continue;  // touching: rounding decides
        }
        overlapping += margin > 0.0 ? 1 : 0;
        EXPECT_EQ(orientedBoxesOverlap(A, B), margin > 0.0) << trial;
        EXPECT_EQ(orientedBoxesOverlap(B, A), margin > 0.0) << trial;
    }
    EXPECT_GT(overlapping, 200);
    EXPECT_LT(overlapping, 1800);
}

TEST(BoxFit, Frames) {
    QmtVector3 u, v;
    generateOrthonormalBasis(QmtVector3::UNIT_Y, u, v);
    EXPECT_TRUE(u == QmtVector3(0.0, 0.0, -1.0) && v == QmtVector3(-1.0, 0.0, 0.0));
    const QmtVector3 w = QmtVector3(0.3, -0.5, 0.8) / std::sqrt(0.98);
    generateOrthonormalBasis(w, u, v);
    EXPECT_NEAR(u.Length(), 1.0, 1e-15);
    EXPECT_NEAR(v.Length(), 1.0, 1e-15);
    EXPECT_NEAR(u.Dot(w), 0.0, 1e-15);
    EXPECT_NEAR(v.Dot(u), 0.0, 1e-15);
    EXPECT_EQ(u.x, 0.0);  // |w.y| > |w.x| branch

    QmtMatrix3 R;
    frameFromNormal({0.0, 0.0, 2.0}, R);
    EXPECT_EQ(R, QmtMatrix3(-1.0, 0.0, 0.0, 0.0, -1.0, 0.0, 0.0, 0.0, 1.0));
    // Short normals and those just above unit length are used as they are.
    frameFromNormal({0.0, 0.0, 0.5}, R);
    EXPECT_EQ(R.GetColumn(2).z, 0.5);
    frameFromNormal({0.0, 0.0, 1.000004}, R);
    EXPECT_EQ(R(2, 2), 1.000004);
}

TEST(BoxFit, InterpolateUVOnPlane) {
    float u = -1.0f, v = -1.0f;
    interpolateUVOnPlane({0.25, 0.5, 0.0}, QmtVector3::UNIT_Z, {2.0, 0.0, 0.0}, {0.0, 1.0, 0.0},
                         QmtVector2(1.0, 0.0), QmtVector2(0.0, 1.0), u, v);
    EXPECT_FLOAT_EQ(u, 0.125f);
    EXPECT_FLOAT_EQ(v, 0.5f);

    // On a tilted face the edge vectors themselves reproduce their UV differences.
    const QmtVector3 n = QmtVector3(1.0, 1.0, 1.0) / std::sqrt(3.0);
    const QmtVector3 a(1.0, -1.0, 0.0), b(1.0, 1.0, -2.0);
    const QmtVector2 U(0.3, -0.7), V(1.1, 0.4);
    interpolateUVOnPlane(a, n, a, b, U, V, u, v);
    EXPECT_FLOAT_EQ(u, 0.3f);
    EXPECT_FLOAT_EQ(v, 1.1f);
    interpolateUVOnPlane(a * 0.5 + b * 0.25, n, a, b, U, V, u, v);
    EXPECT_NEAR(u, -0.025f, 1e-6f);
    EXPECT_NEAR(v, 0.65f, 1e-6f);

    // Parallel edges and a zero normal both give 0, never NaN.
    interpolateUVOnPlane(a, n, a, a * 2.0, U, V, u, v);
    EXPECT_TRUE(u == 0.0f && v == 0.0f);
    u = v = 1.0f;
    interpolateUVOnPlane(a, QmtVector3::ZERO, a, b, U, V, u, v);
    EXPECT_TRUE(u == 0.0f && v == 0.0f);
}

// A spread of 1e-158 across a unit one underflows in the eigen rotations; the box still
// holds its points on orthonormal axes (found by fuzzing).
TEST(BoxFit, UnderflowingSpreadKeepsTheBoxAroundItsPoints) {
    const Qmt::QmtVector3 points[] = {{0, 0, 0.5}, {0, 0, 0}, {8.8544945874389708e-159, 0, 0}};
    const ZYLbox box = fitOrientedBox(3, points);
    for (const Qmt::QmtVector3& p : points) {
        EXPECT_TRUE(pointInOrientedBox(p, box, 1e-12));
    }
    for (int k = 0; k < 3; ++k) {
        EXPECT_NEAR(box.axes.GetColumn(k).Length(), 1.0, 1e-9);
    }
}
