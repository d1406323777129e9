#include "geometry/hull/reducedHull.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <memory>
#include <random>
#include <vector>

#include "geometry/hull/convexHull.h"

namespace {

using Qmt::QmtVector3;
using V = QmtVector3;
using MeshPtr = std::unique_ptr<ZYLmesh>;

// Meshes that own copies of the given vertices (no faces: only vertices are read).
std::unique_ptr<ZYLmesh> meshOf(const std::vector<V>& v) {
    auto m = std::make_unique<ZYLmesh>();
    m->numVertices = static_cast<std::uint32_t>(v.size());
    m->vertices = new V[v.size()];
    std::copy(v.begin(), v.end(), m->vertices);
    return m;
}
std::unique_ptr<ZYL_DFmesh> dfMeshOf(const std::vector<V>& v) {
    auto m = std::make_unique<ZYL_DFmesh>();
    m->numVertices = static_cast<std::uint32_t>(v.size());
    m->vertices = new V[v.size()];
    std::copy(v.begin(), v.end(), m->vertices);
    return m;
}

std::vector<V> sphereCloud(std::uint32_t n, std::uint32_t seed) {
    std::mt19937 rng(seed);
    std::normal_distribution<double> g(0.0, 1.0);
    std::vector<V> pts;
    while (pts.size() < n) {
        V p(g(rng), g(rng), g(rng));
        if (p.Unitize(1e-9) > 0.0) pts.push_back(p * (1.0 + 0.2 * std::sin(5.0 * p.x)));
    }
    return pts;
}

std::vector<V> cubeCorners() {
    std::vector<V> c;
    for (int i = 0; i < 8; ++i) c.emplace_back(i & 1 ? 1.0 : -1.0, i & 2 ? 1.0 : -1.0, i & 4 ? 1.0 : -1.0);
    return c;
}

bool same(const V& a, const V& b) { return a.x == b.x && a.y == b.y && a.z == b.z; }

void expectSameMesh(const ZYLmesh* a, const ZYLmesh* b) {
    ASSERT_TRUE(a);
    ASSERT_TRUE(b);
    ASSERT_EQ(a->numVertices, b->numVertices);
    for (std::uint32_t i = 0; i < a->numVertices; ++i) EXPECT_TRUE(same(a->vertices[i], b->vertices[i]));
    ASSERT_EQ(a->numFaces, b->numFaces);
    for (std::uint32_t f = 0; f < a->numFaces; ++f) {
        ASSERT_EQ(a->faces[f].numVertices, b->faces[f].numVertices);
        for (std::uint32_t k = 0; k < a->faces[f].numVertices; ++k)
            EXPECT_EQ(a->faces[f].vertices[k], b->faces[f].vertices[k]);
        EXPECT_TRUE(same(a->normals[f], b->normals[f]));
    }
}

TEST(ReducedHull, SmallMeshesGetTheFullHull) {
    for (const std::uint32_t count : {100u, 512u}) {
        const std::vector<V> pts = sphereCloud(count, count);
        const MeshPtr full(buildConvexHullMesh(pts.data(), count));
        const MeshPtr reduced(buildReducedHullMesh(meshOf(pts).get(), 512));
        expectSameMesh(reduced.get(), full.get());
        const MeshPtr reducedDF(buildReducedHullMeshDF(dfMeshOf(pts).get(), 512));
        expectSameMesh(reducedDF.get(), full.get());
    }
}

TEST(ReducedHull, LargeMeshHullsStrideSampleWidenedByOutsidePoints) {
    // 1000 vertices, m = 512: h = 256, the first hull takes vertices 0, 3, 6, ...
    const std::vector<V> pts = sphereCloud(1000, 7);
    std::vector<V> first;
    for (std::uint32_t i = 0; i < 256; ++i) first.push_back(pts[3 * i]);
    const MeshPtr h1(buildConvexHullMesh(first.data(), 256));
    ASSERT_TRUE(h1);
    // Outside points from the last vertex down, the distance rounded to float.
    std::vector<V> outside;
    for (std::uint32_t i = 1000; i-- > 0;) {
        for (std::uint32_t f = 0; f < h1->numFaces; ++f) {
            const double d = (pts[i] - h1->vertices[h1->faces[f].vertices[0]]).Dot(h1->normals[f]);
            if (static_cast<float>(d) > 0.0001) {
                outside.push_back(pts[i]);
                break;
            }
        }
    }
    ASSERT_GT(outside.size(), 0u);
    const std::size_t step = std::max<std::size_t>(outside.size() / 256, 1);
    std::vector<V> final(h1->vertices, h1->vertices + h1->numVertices);
    for (std::size_t k = 0; k < std::min<std::size_t>(outside.size(), 256); ++k) final.push_back(outside[k * step]);
    const MeshPtr expected(buildConvexHullMesh(final.data(), static_cast<std::uint32_t>(final.size())));

    const MeshPtr reduced(buildReducedHullMesh(meshOf(pts).get(), 512));
    expectSameMesh(reduced.get(), expected.get());
    EXPECT_LE(reduced->numVertices, h1->numVertices + 256);
}

TEST(ReducedHull, SampleWithEveryCornerLeavesNothingOutside) {
    // 18 vertices, m = 17: h = 8, stride 2 takes the even indices, which hold the cube's
    // corners; the odd ones and the last two are inside, so the second sample is empty.
    std::vector<V> pts;
    const std::vector<V> corners = cubeCorners();
    for (std::uint32_t i = 0; i < 8; ++i) {
        pts.push_back(corners[i]);
        pts.push_back(corners[i] * 0.5);
    }
    pts.push_back({0.1, 0.2, 0.3});
    pts.push_back({-0.3, 0.0, 0.2});
    const MeshPtr first(buildConvexHullMesh(corners.data(), 8));
    ASSERT_TRUE(first);
    const MeshPtr again(buildConvexHullMesh(first->vertices, first->numVertices));
    const MeshPtr reduced(buildReducedHullMesh(meshOf(pts).get(), 17));
    expectSameMesh(reduced.get(), again.get());
    EXPECT_EQ(reduced->numFaces, 6u);
    EXPECT_EQ(reduced->numVertices, 8u);
    const MeshPtr reducedDF(buildReducedHullMeshDF(dfMeshOf(pts).get(), 17));
    expectSameMesh(reducedDF.get(), again.get());
}

TEST(ReducedHull, OutsideThresholdRoundsToFloatOnlyForMeshInput) {
    // As above, with vertex 1 (not sampled) moved 1.00000001e-4 beyond the corner
    // (1,1,1) along each axis: a double comparison finds it outside, the same distance
    // rounded to float does not. Taken in, it replaces that corner.
    std::vector<V> pts;
    const std::vector<V> corners = cubeCorners();
    for (std::uint32_t i = 0; i < 8; ++i) {
        pts.push_back(corners[i]);
        pts.push_back(corners[i] * 0.5);
    }
    const double lift = 1.0 + 1.00000001e-4;
    pts[1] = {lift, lift, lift};
    pts.push_back({0.1, 0.2, 0.3});
    pts.push_back({-0.3, 0.0, 0.2});
    const double d = lift - 1.0;
    ASSERT_GT(d, 0.0001);
    ASSERT_FALSE(static_cast<float>(d) > 0.0001);
    const auto holds = [](const ZYLmesh& m, const V& p) {
        for (std::uint32_t i = 0; i < m.numVertices; ++i)
            if (same(m.vertices[i], p)) return true;
        return false;
    };

    const MeshPtr fromMesh(buildReducedHullMesh(meshOf(pts).get(), 17));
    ASSERT_TRUE(fromMesh);
    EXPECT_EQ(fromMesh->numVertices, 8u);
    EXPECT_TRUE(holds(*fromMesh, V(1, 1, 1)));
    EXPECT_FALSE(holds(*fromMesh, pts[1]));
    const MeshPtr fromDF(buildReducedHullMeshDF(dfMeshOf(pts).get(), 17));
    ASSERT_TRUE(fromDF);
    EXPECT_EQ(fromDF->numVertices, 8u);
    EXPECT_TRUE(holds(*fromDF, pts[1]));
    EXPECT_FALSE(holds(*fromDF, V(1, 1, 1)));
}

TEST(ReducedHull, FailuresGiveNull) {
    EXPECT_EQ(buildReducedHullMesh(nullptr, 512), nullptr);
    EXPECT_EQ(buildReducedHullMeshDF(nullptr, 512), nullptr);
    // No sample size for a mesh larger than m when m < 2.
    const std::vector<V> corners = cubeCorners();
    EXPECT_EQ(buildReducedHullMesh(meshOf(corners).get(), 1), nullptr);
    EXPECT_EQ(buildReducedHullMeshDF(dfMeshOf(corners).get(), 0), nullptr);
    // A first sample without three non-collinear points has no hull.
    std::vector<V> line;
    for (int i = 0; i < 40; ++i) line.push_back({i * 0.1, i * 0.2, 0.0});
    line.push_back({0.0, 0.0, 5.0});
    EXPECT_EQ(buildReducedHullMesh(meshOf(line).get(), 16), nullptr);
    EXPECT_EQ(buildReducedHullMeshDF(dfMeshOf(line).get(), 16), nullptr);
    // An empty or too small mesh within m.
    EXPECT_EQ(buildReducedHullMesh(meshOf({}).get(), 512), nullptr);
    EXPECT_EQ(buildReducedHullMesh(meshOf({{0, 0, 0}, {1, 0, 0}}).get(), 512), nullptr);
}

}  // namespace
