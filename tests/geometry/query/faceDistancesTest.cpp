#include "geometry/query/faceDistances.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <memory>
#include <random>
#include <tuple>
#include <utility>
#include <vector>

#include "geometry/mesh/bvMesh.h"
#include "geometry/query/capsuleProximity.h"
#include "geometry/hull/convexHull.h"
#include "geometry/mesh/meshPlacement.h"
#include "math/qmtMatrix3.h"
#include "tests/geometry/query/distanceReferences.h"
#include "tests/geometry/testMeshes.h"
#include "tests/testSupport.h"

namespace {

using Qmt::QmtMatrix3;
using Qmt::QmtVector3;
using V = QmtVector3;
using meshtest::Indices;

constexpr std::uint32_t NONE = 0xFFFFFFFFu;
constexpr double FLT_MAX_D = 3.4028234663852886e38;
constexpr std::uint32_t LINKS = BVMESH_EDGES | BVMESH_VERTICES;

std::unique_ptr<ZYLmesh> cube(const V& minCorner, double side = 1.0) {
    auto mesh = std::make_unique<ZYLmesh>();
    ZYLAAbox box;
    box.minCorner = minCorner;
    box.maxCorner = minCorner + V(side, side, side);
    buildAABoxMesh(box, mesh.get());
    return mesh;
}

// A unit cube turned by `angle` about z, then moved by `centre`.
std::unique_ptr<ZYLmesh> turnedCube(const V& centre, double angle) {
    auto mesh = std::make_unique<ZYLmesh>();
    buildBoxMesh(ZYLbox{centre, zyltest::axisRotation(V::UNIT_Z, angle), {0.5, 0.5, 0.5}}, mesh.get());
    return mesh;
}

// World positions and faces given directly; every face gets the given world normal.
std::unique_ptr<ZYLmesh> makeMesh(const meshtest::Points& points, const meshtest::Faces& faces,
                                  const meshtest::Points& normals) {
    return meshtest::MeshBuilder({points, faces}, normals).mesh();
}

std::uint32_t faceWithNormal(const ZYLmesh& mesh, const V& n) {
    for (std::uint32_t f = 0; f < mesh.numFaces; ++f) {
        if (mesh.worldNormals[f].Dot(n) > 0.999) {
            return f;
        }
    }
    return NONE;
}

TEST(FaceDistances, ConvexPiecesShareFaceTolerances) {
    const auto a = cube({0, 0, 0});
    EXPECT_TRUE(convexPiecesShareFace(a.get(), cube({1, 0, 0}).get(), 1e-5));
    const auto apart = cube({1.1, 0, 0});
    EXPECT_FALSE(convexPiecesShareFace(a.get(), apart.get(), 0.01));
    EXPECT_TRUE(convexPiecesShareFace(a.get(), apart.get(), 0.2));
    // The gap must lie strictly below the tolerance.
    const auto half = cube({1.5, 0, 0});
    EXPECT_FALSE(convexPiecesShareFace(a.get(), half.get(), 0.5));
    EXPECT_TRUE(convexPiecesShareFace(a.get(), half.get(), 0.5000001));
    // A cube whose edge touches a's right face, tilted so the faces meet at -cos(angle):
    // opposed enough at -0.9995, not at -0.998.
    for (const double c : {0.9995, 0.998}) {
        const double t = std::acos(c);
        const auto tilted = turnedCube({1.0 + 0.5 * (std::cos(t) + std::sin(t)), 0.5, 0.5}, t);
        EXPECT_EQ(convexPiecesShareFace(a.get(), tilted.get(), 1e-3), c > 0.999) << c;
    }
    ZYLmesh empty;
    EXPECT_FALSE(convexPiecesShareFace(a.get(), &empty, 1.0));
    EXPECT_FALSE(convexPiecesShareFace(nullptr, a.get(), 1.0));
}

TEST(FaceDistances, PolygonEdgesAndParallelFaceOverlap) {
    const V square[4] = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};
    const V reversed[4] = {square[3], square[2], square[1], square[0]};
    for (const V* loop : {square, reversed}) {
        EXPECT_TRUE(pointWithinPolygonEdges({0.5, 0.5, 3.0}, loop, 4, V::UNIT_Z));
        EXPECT_TRUE(pointWithinPolygonEdges({1.0, 0.5, 0.0}, loop, 4, V::UNIT_Z));  // on an edge
        EXPECT_FALSE(pointWithinPolygonEdges({1.1, 0.5, 0.0}, loop, 4, V::UNIT_Z));
        EXPECT_FALSE(pointWithinPolygonEdges({0.5, -0.1, 0.0}, loop, 4, V::UNIT_Z));
    }
    EXPECT_TRUE(pointWithinPolygonEdges({9, 9, 9}, square, 0, V::UNIT_Z));

    const auto a = makeMesh({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}}, {{0, 1, 2, 3}},
                            {V::UNIT_Z});
    // b's first face is tilted off parallel, its second overlaps a far above it.
    const double s = std::sqrt(1.0 - 0.9999 * 0.9999);
    auto quadsAt = [&](double x0) {
        return makeMesh({{x0, 0, 5}, {x0 + 1, 0, 5}, {x0 + 1, 1, 5}, {x0, 1, 5}},
                        {{0, 1, 2, 3}, {3, 2, 1, 0}}, {{s, 0, -0.9999}, -V::UNIT_Z});
    };
    std::uint32_t fa = 7, fb = 7;
    EXPECT_TRUE(findOverlappingParallelFaces(a.get(), quadsAt(0.25).get(), fa, fb));
    EXPECT_EQ(fa, 0u);
    EXPECT_EQ(fb, 1u);
    // Shifted so a's centroid falls outside b's face.
    EXPECT_FALSE(findOverlappingParallelFaces(a.get(), quadsAt(0.75).get(), fa, fb));
    EXPECT_EQ(fa, NONE);
    EXPECT_EQ(fb, NONE);
    // A face without corners overlaps nothing.
    const auto hollow = makeMesh({{0, 0, 5}}, std::vector<Indices>(1), {-V::UNIT_Z});
    EXPECT_FALSE(findOverlappingParallelFaces(a.get(), hollow.get(), fa, fb));
    EXPECT_FALSE(findOverlappingParallelFaces(hollow.get(), a.get(), fa, fb));
}

TEST(FaceDistances, ClosestVertexPairUsesIncidentFacePlanes) {
    const auto a = cube({0, 0, 0});
    const V axis = V::UNIT_X;
    EXPECT_TRUE(closestVertexPair(a.get(), cube({1, 0, 0}).get(), axis, 1e-5));
    // Corner to corner, 0.5 off every incident face plane.
    const auto diagonal = cube({1.5, 1.5, 1.5});
    EXPECT_FALSE(closestVertexPair(a.get(), diagonal.get(), axis, 0.4));
    EXPECT_FALSE(closestVertexPair(a.get(), diagonal.get(), axis, 0.5));
    EXPECT_TRUE(closestVertexPair(a.get(), diagonal.get(), axis, 0.6));
    // Vertices 0.707 apart, yet the y faces' planes hold both: a plane test, not a
    // vertex-distance test.
    EXPECT_TRUE(closestVertexPair(a.get(), cube({1.5, 0, 1.5}).get(), axis, 0.1));
    ZYLmesh empty;
    empty.worldVertices = new V[1];
    empty.worldNormals = new V[1];
    EXPECT_FALSE(closestVertexPair(a.get(), &empty, axis, 1e9));
}

TEST(FaceDistances, TrianglePairsAndPolygonLoops) {
    const V A[3] = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
    const V side[3] = {{2, 0, 0}, {3, 0, 0}, {2, 1, 0}};
    V ca, cb;
    EXPECT_DOUBLE_EQ(distanceSq_tri2tri(A, V::UNIT_Z, side, V::UNIT_Z, ca, cb), 1.0);
    EXPECT_NEAR((ca - V(1, 0, 0)).Length(), 0.0, 1e-12);
    EXPECT_NEAR((cb - V(2, 0, 0)).Length(), 0.0, 1e-12);
    // B's lowest corner hangs above A's interior.
    const V above[3] = {{0.25, 0.25, 0.5}, {0.25, 1.25, 1.5}, {1.25, 0.25, 1.5}};
    EXPECT_NEAR(distanceSq_tri2tri(A, V::UNIT_Z, above, V::UNIT_Z, ca, cb), 0.25, 1e-12);
    EXPECT_NEAR((ca - V(0.25, 0.25, 0)).Length(), 0.0, 1e-12);
    EXPECT_NEAR((cb - above[0]).Length(), 0.0, 1e-12);

    // Two unit squares, one 3 along x and 2 above: every closest pair is 8 apart.
    const V lower[4] = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};
    const V upper[4] = {{3, 0, 2}, {4, 0, 2}, {4, 1, 2}, {3, 1, 2}};
    EXPECT_DOUBLE_EQ(distanceSqConvexPolygons(lower, 4, V::UNIT_Z, upper, 4, -V::UNIT_Z, ca, cb),
                     8.0);
    EXPECT_DOUBLE_EQ((cb - ca).SquaredLength(), 8.0);
    EXPECT_NEAR(ca.x, 1.0, 1e-12);
    EXPECT_NEAR(cb.x, 3.0, 1e-12);

    // Loops of fewer than 3 points: nothing to measure, outputs untouched.
    for (std::uint32_t n : {0u, 1u, 2u}) {
        V pa(7, 7, 7), pb(8, 8, 8);
        EXPECT_EQ(distanceSqConvexPolygons(lower, n, V::UNIT_Z, upper, 4, V::UNIT_Z, pa, pb),
                  FLT_MAX_D);
        EXPECT_EQ(distanceSqConvexPolygons(lower, 4, V::UNIT_Z, upper, n, V::UNIT_Z, pa, pb),
                  FLT_MAX_D);
        EXPECT_EQ(pa, V(7, 7, 7));
        EXPECT_EQ(pb, V(8, 8, 8));
    }
}

TEST(FaceDistances, FacingFacesOfTwoCubesHalfApart) {
    const auto a = cube({0, 0, 0});
    BVmesh va;
    ASSERT_TRUE(va.init(a.get(), LINKS));
    std::uint32_t fa = 0, fb = 0, ua = 0, ub = 0;
    V pa, pb;
    for (int c = 0; c < 3; ++c) {
        V offset, axis;
        offset[c] = 1.5;
        axis[c] = 1.0;
        const auto b = cube(offset);
        EXPECT_DOUBLE_EQ(closestFacingFaces(a.get(), b.get(), fa, fb, pa, pb), 0.25);
        ASSERT_LT(fa, a->numFaces);
        ASSERT_LT(fb, b->numFaces);
        EXPECT_LT(a->worldNormals[fa].Dot(b->worldNormals[fb]), 1e-5);
        EXPECT_DOUBLE_EQ((pb - pa).SquaredLength(), 0.25);

        // The sampled search names the right face of a and the left face of b.
        BVmesh vb;
        ASSERT_TRUE(vb.init(b.get(), LINKS));
        EXPECT_DOUBLE_EQ(closestFacingFacesSampled(&va, &vb, ua, ub, fa, fb, pa, pb), 0.25);
        EXPECT_EQ(fa, faceWithNormal(*a, axis)) << c;
        EXPECT_EQ(fb, faceWithNormal(*b, -axis)) << c;
        EXPECT_EQ(a->worldVertices[ua][c], 1.0);
        EXPECT_EQ(b->worldVertices[ub][c], 1.5);
        EXPECT_EQ(pa[c], 1.0);
        EXPECT_EQ(pb[c], 1.5);
    }
    const auto b = cube({1.5, 0, 0});
    BVmesh vb;
    ASSERT_TRUE(vb.init(b.get(), LINKS));

    // Without vertex face lists nothing is sampled.
    BVmesh edgesOnly;
    ASSERT_TRUE(edgesOnly.init(a.get(), BVMESH_EDGES));
    EXPECT_EQ(closestFacingFacesSampled(&edgesOnly, &vb, ua, ub, fa, fb, pa, pb), FLT_MAX_D);
    EXPECT_EQ(ua, NONE);
    EXPECT_EQ(fb, NONE);

    // Perpendicular faces count as facing; faces turned ever so slightly the same way
    // do not.
    const auto floor = makeMesh({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2}}, {V::UNIT_Z});
    const double t = 2e-5;
    for (const double lean : {0.0, t}) {
        const auto wall = makeMesh({{2, 0, 0}, {2, 1, 0}, {2, 0, 1}}, {{0, 1, 2}},
                                   {{std::sqrt(1.0 - lean * lean), 0, lean}});
        const double d = closestFacingFaces(floor.get(), wall.get(), fa, fb, pa, pb);
        if (lean == 0.0) {
            EXPECT_DOUBLE_EQ(d, 1.0);
            EXPECT_EQ(fa, 0u);
        } else {
            EXPECT_EQ(d, FLT_MAX_D);
            EXPECT_EQ(fa, NONE);
            EXPECT_EQ(fb, NONE);
        }
    }
}

TEST(FaceDistances, SampledSearchPrefersMoreOpposedFacesAndStrides) {
    // b's first face lies 1 above a, exactly opposed; its second is nearer (0.5) but
    // only 0.8 opposed, and loses.
    const auto a = makeMesh({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2}}, {V::UNIT_Z});
    const auto b = makeMesh({{0, 0, 1}, {0, 1, 1}, {1, 0, 1}, {0, 0, 0.5}, {0, 1, 0.5}, {1, 0, 0.5}},
                            {{0, 1, 2}, {3, 4, 5}}, {-V::UNIT_Z, {0, 0.6, -0.8}});
    BVmesh va, vb;
    ASSERT_TRUE(va.init(a.get(), LINKS));
    ASSERT_TRUE(vb.init(b.get(), LINKS));
    std::uint32_t ua, ub, fa, fb;
    V pa, pb;
    EXPECT_DOUBLE_EQ(closestFacingFacesSampled(&va, &vb, ua, ub, fa, fb, pa, pb), 1.0);
    EXPECT_EQ(fb, 0u);
    EXPECT_LT(ub, 3u);

    // A 1024-vertex ring samples every second vertex: a face on odd vertices is unseen.
    std::vector<V> ring(1024);
    for (std::size_t i = 0; i < ring.size(); ++i) {
        const double t = 2.0 * M_PI * static_cast<double>(i) / 1024.0;
        ring[i] = {std::cos(t), std::sin(t), 0.0};
    }
    const auto roof = makeMesh({{-1, -1, 1}, {-1, 3, 1}, {3, -1, 1}}, {{0, 1, 2}}, {-V::UNIT_Z});
    BVmesh vroof;
    ASSERT_TRUE(vroof.init(roof.get(), LINKS));
    auto sampled = [&](const std::vector<V>& points, const Indices& face) {
        const auto m = makeMesh(points, {face}, {V::UNIT_Z});
        BVmesh v;
        EXPECT_TRUE(v.init(m.get(), LINKS));
        return closestFacingFacesSampled(&v, &vroof, ua, ub, fa, fb, pa, pb);
    };
    EXPECT_EQ(sampled(ring, {1, 3, 5}), FLT_MAX_D);
    EXPECT_DOUBLE_EQ(sampled(ring, {0, 2, 4}), 1.0);
    EXPECT_EQ(ua, 0u);
    // 1023 vertices: stride 1, so only the first 512 are sampled.
    std::vector<V> shorter(ring.begin(), ring.end() - 1);
    EXPECT_EQ(sampled(shorter, {600, 601, 602}), FLT_MAX_D);
    EXPECT_DOUBLE_EQ(sampled(shorter, {509, 510, 511}), 1.0);
}

// The sampled search as a plain scan of every sampled (vertex, face) pair:
// (distance, vertexA, vertexB, faceA, faceB, pointA, pointB).
using Sampled = std::tuple<double, std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t, V, V>;

Sampled sampledByFullScan(const BVmesh& a, const BVmesh& b) {
    auto samples = [](const BVmesh& v) {
        std::vector<std::pair<std::uint32_t, std::uint32_t>> out;  // (vertex, face)
        const std::uint32_t n = v.mesh->numVertices, stride = n < 512 ? 1 : n / 512;
        for (std::uint32_t i = 0; i < std::min(n, 512u); ++i) {
            const connect_vertex& links = v.vertexRecords[i * stride];
            for (std::uint32_t k = 0; k < links.numFaces; ++k) {
                out.emplace_back(i * stride, links.faces[k]);
            }
        }
        return out;
    };
    const ZYLmesh& ma = *a.mesh;
    const ZYLmesh& mb = *b.mesh;
    double D = FLT_MAX_D, K = FLT_MAX_D;
    std::uint32_t ua = NONE, ub = NONE, fa = NONE, fb = NONE;
    for (const auto& [u, f] : samples(a)) {
        for (const auto& [v, g] : samples(b)) {
            const double k = ma.worldNormals[f].Dot(mb.worldNormals[g]);
            const V pu = ma.worldVertices[u], pv = mb.worldVertices[v];
            const double along = (pu - pv).Dot(ma.worldNormals[f]);
            const double e = along * along;
            if (k < -1e-5 && ((e < D && k <= K) ||
                              (std::fabs(e - D) < 1e-5 && K >= k &&
                               (ma.worldVertices[ua] - mb.worldVertices[ub]).SquaredLength() >
                                   (pu - pv).SquaredLength()))) {
                D = e, K = k, ua = u, ub = v, fa = f, fb = g;
            }
        }
    }
    if (ua == NONE) {
        return {FLT_MAX_D, NONE, NONE, NONE, NONE, V(), V()};
    }
    std::vector<V> la, lb;
    for (std::uint32_t k = 0; k < ma.faces[fa].numVertices; ++k) {
        la.push_back(ma.worldVertices[ma.faces[fa].vertices[k]]);
    }
    for (std::uint32_t k = 0; k < mb.faces[fb].numVertices; ++k) {
        lb.push_back(mb.worldVertices[mb.faces[fb].vertices[k]]);
    }
    V pa, pb;
    const double d = distanceSqConvexPolygons(la.data(), static_cast<std::uint32_t>(la.size()),
                                              ma.worldNormals[fa], lb.data(),
                                              static_cast<std::uint32_t>(lb.size()),
                                              mb.worldNormals[fb], pa, pb);
    return {d, ua, ub, fa, fb, pa, pb};
}

// Hull of n random points (on a unit sphere, so all are hull vertices, or in a
// flattened Gaussian cloud), turned at random and placed at T.
std::unique_ptr<ZYLmesh> randomHull(std::mt19937& rng, std::uint32_t n, bool sphere, const V& T) {
    std::normal_distribution<double> g(0.0, 1.0);
    std::vector<V> points(n);
    for (V& p : points) {
        p = {g(rng), 0.5 * g(rng), g(rng)};
        if (sphere) {
            p.Unitize(1e-9);
        }
    }
    std::unique_ptr<ZYLmesh> mesh(buildConvexHullMesh(points.data(), n));
    mesh->worldVertices = new V[mesh->numVertices];
    V axis(g(rng), g(rng), g(rng));
    axis.Unitize(1e-9);
    meshTransformSRT(mesh.get(), T, zyltest::axisRotation(axis, g(rng)), {1.0, 1.0, 1.0});
    return mesh;
}

}  // namespace

TEST(FaceDistances, SampledSearchMatchesFullScan) {
    std::mt19937 rng(11);
    std::uniform_real_distribution<double> u(-3.0, 3.0);
    for (int trial = 0; trial < 40; ++trial) {
        // Every eighth pair has over 512 hull vertices, so it is strided; cubes for ties.
        const bool cubes = trial % 5 == 4;
        const std::uint32_t n = trial % 8 == 0 ? 1100 : 12 + 17 * trial;
        const auto a = cubes ? cube({0, 0, 0}) : randomHull(rng, n, trial % 2 == 0, {0, 0, 0});
        const V T(u(rng), u(rng), u(rng));
        const auto b = cubes ? cube(T) : randomHull(rng, n, trial % 3 == 0, T);
        BVmesh va, vb;
        ASSERT_TRUE(va.init(a.get(), LINKS));
        ASSERT_TRUE(vb.init(b.get(), LINKS));
        Sampled got;
        auto& [d, ua, ub, fa, fb, pa, pb] = got;
        d = closestFacingFacesSampled(&va, &vb, ua, ub, fa, fb, pa, pb);
        EXPECT_TRUE(got == sampledByFullScan(va, vb)) << trial;
    }
}

namespace {

// closestFacingFaces as every facing pair measured in face order finds it.
using Facing = std::tuple<double, std::uint32_t, std::uint32_t, V, V>;
Facing facingByFullScan(const ZYLmesh& a, const ZYLmesh& b) {
    Facing best{FLT_MAX_D, NONE, NONE, V(), V()};
    for (std::uint32_t i = 0; i < a.numFaces; ++i) {
        for (std::uint32_t j = 0; j < b.numFaces; ++j) {
            if (!(a.worldNormals[i].Dot(b.worldNormals[j]) < 1e-5)) continue;
            std::vector<V> la, lb;
            for (std::uint32_t k = 0; k < a.faces[i].numVertices; ++k)
                la.push_back(a.worldVertices[a.faces[i].vertices[k]]);
            for (std::uint32_t k = 0; k < b.faces[j].numVertices; ++k)
                lb.push_back(b.worldVertices[b.faces[j].vertices[k]]);
            V pa, pb;
            const auto nA = static_cast<std::uint32_t>(la.size());
            const auto nB = static_cast<std::uint32_t>(lb.size());
            const double d =
                distanceSqConvexPolygons(la.data(), nA, a.worldNormals[i], lb.data(), nB, b.worldNormals[j], pa, pb);
            if (d < std::get<0>(best)) best = {d, i, j, pa, pb};
        }
    }
    return best;
}

}  // namespace

// Hulls apart, near, touching and overlapping, far from the origin too, and cubes face to
// face (ties) or a gap apart (facing faces whose boxes lie as near as the faces): the
// facing faces, their distance and points are those of the full scan; with a bound,
// exactly those when the distance is below it, and no distance below it otherwise.
TEST(FaceDistances, FacingFacesMatchFullScan) {
    std::mt19937 rng(5);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    for (int trial = 0; trial < 60; ++trial) {
        const V far = trial % 4 == 3 ? V(1000.0, -250.0, 40.0) : V();
        const double reach = trial % 3 == 0 ? 2.2 : 1.2;
        const V T = far + V(u(rng), u(rng), u(rng)) * reach;
        const bool cubes = trial % 6 == 5;
        const auto a = cubes ? cube(far) : randomHull(rng, 10 + trial, trial % 2 == 0, far);
        const double step = trial % 12 == 11 ? 1.3 : 1.0;
        const auto b =
            cubes ? cube(far + V(step, trial % 4 * 0.25, 0.0)) : randomHull(rng, 8 + trial, trial % 3 == 0, T);
        Facing got;
        auto& [d, fa, fb, pa, pb] = got;
        d = closestFacingFaces(a.get(), b.get(), fa, fb, pa, pb);
        const Facing full = facingByFullScan(*a, *b);
        EXPECT_TRUE(got == full) << trial;
        for (const double scale : {0.5, 1.0, 1.5}) {
            const double bound = std::get<0>(full) * scale + (trial % 2) * 1e-3;
            Facing bounded;
            auto& [bd, bfa, bfb, bpa, bpb] = bounded;
            bd = closestFacingFaces(a.get(), b.get(), bfa, bfb, bpa, bpb, bound);
            if (std::get<0>(full) < bound)
                EXPECT_TRUE(bounded == full) << trial << " bound " << bound;
            else
                EXPECT_FALSE(bd < bound) << trial << " bound " << bound;
        }
    }
}

// ---- properties at every size, against the exact references ------------------------

namespace {

using exact::L3;

class PolygonDistancesAtSize : public ::testing::TestWithParam<double> {};

// A convex n-gon of the given radius about c in the plane with normal along w.
std::vector<V> polygonAt(exact::Generator& gen, const V& c, const V& w, double radius, std::uint32_t n) {
    V u = w.Cross(gen.direction());
    u.Unitize(0.0);
    const V v = w.Cross(u) * (1.0 / w.Length());
    const double turn = gen.uniform(0, 1);
    std::vector<V> loop(n);
    for (std::uint32_t i = 0; i < n; ++i) {
        const double t = 2.0 * M_PI * (i + turn) / n;
        loop[i] = c + (u * std::cos(t) + v * std::sin(t)) * radius;
    }
    return loop;
}

// Least exact distance over the fan triangles of two loops.
double fanDistance(const std::vector<V>& a, const std::vector<V>& b) {
    exact::Real best = INFINITY;
    for (std::size_t k = 1; k + 1 < a.size(); ++k) {
        const L3 ta[3] = {a[0], a[k], a[k + 1]};
        for (std::size_t m = 1; m + 1 < b.size(); ++m) {
            const L3 tb[3] = {b[0], b[m], b[m + 1]};
            best = std::min(best, exact::triangleTriangle(ta, tb));
        }
    }
    return static_cast<double>(best);
}

// How far p lies from the loop's fan triangles.
double offLoop(const V& p, const std::vector<V>& loop) {
    exact::Real best = INFINITY;
    for (std::size_t k = 1; k + 1 < loop.size(); ++k) {
        const L3 t[3] = {loop[0], loop[k], loop[k + 1]};
        best = std::min(best, exact::pointTriangle(p, t));
    }
    return static_cast<double>(best);
}

}  // namespace

// Polygon pairs (facing, coplanar, crossing, tilted a hair, anywhere) and segments
// against polygons: exact distances, closest points on their polygons and as far
// apart as the distance says.
TEST_P(PolygonDistancesAtSize, ConvexPolygonsAndSegments) {
    exact::Generator gen(GetParam(), 51);
    const double size = GetParam();
    const double tol = 1e-9 * size * size;
    for (int i = 0; i < 1500; ++i) {
        const V wA = gen.direction();
        const auto A = polygonAt(gen, gen.point(), wA, size * gen.uniform(0.1, 1), 3 + i % 5);
        V wB = gen.direction();
        V cB = gen.point();
        switch (i % 4) {
            case 0:  // facing, a little apart or in the same plane
                wB = -wA;
                cB = A[0] + wA * (size * (gen.pick(2) ? 0.0 : gen.uniform(0, 0.1))) + gen.direction() * (size * 0.3);
                cB = cB - wA * (cB - A[0]).Dot(wA) + wA * (size * gen.uniform(0, 0.1));
                break;
            case 1:  // tilted off A's plane by 1e-3 or 1e-8 rad
                wB = gen.tilt(wA, gen.pick(2) ? 1e-3 : 1e-8);
                cB = A[1] + gen.direction() * (size * 0.2);
                break;
            case 2:  // through A
                cB = A[0] * 0.5 + A[1] * 0.5;
                break;
            default:
                break;
        }
        const auto B = polygonAt(gen, cB, wB, size * gen.uniform(0.1, 1), 3 + (i / 5) % 5);
        V onA, onB;
        const double d = distanceSqConvexPolygons(A.data(), static_cast<std::uint32_t>(A.size()), wA, B.data(),
                                                  static_cast<std::uint32_t>(B.size()), wB, onA, onB);
        ASSERT_NEAR(d, fanDistance(A, B), tol) << "case " << i;
        ASSERT_LE(offLoop(onA, A), tol) << "case " << i;
        ASSERT_LE(offLoop(onB, B), tol) << "case " << i;
        ASSERT_NEAR((onA - onB).SquaredLength(), d, tol) << "case " << i;

        const V triA[3] = {A[0], A[1], A[2]}, triB[3] = {B[0], B[1], B[2]};
        const double dt = distanceSq_tri2tri(triA, wA, triB, wB, onA, onB);
        ASSERT_NEAR(dt, fanDistance({A[0], A[1], A[2]}, {B[0], B[1], B[2]}), tol) << "case " << i;
        ASSERT_NEAR((onA - onB).SquaredLength(), dt, tol) << "case " << i;

        const V s0 = B[0], s1 = i % 2 ? B[1] : gen.point();
        const auto nA = static_cast<std::uint32_t>(A.size());
        const double ds = sqrDistanceSegmentPolygon(s0, s1, A.data(), nA, wA, onB, onA);
        ASSERT_NEAR(ds, fanDistance(A, {s0, s1, s0}), tol) << "case " << i;
        ASSERT_LE(offLoop(onA, A), tol) << "case " << i;
        ASSERT_NEAR((onA - onB).SquaredLength(), ds, tol) << "case " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(Sizes, PolygonDistancesAtSize, ::testing::ValuesIn(exact::SIZES));
