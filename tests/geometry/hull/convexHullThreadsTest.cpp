// Large hull builds run their careful rebuild on a second thread beside the first
// build. Whichever finishes first, the result must be the one a build after the other
// gives; these run under the thread sanitizer too.

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

#include "geometry/hull/convexHull.h"
#include "geometry/hull/hullClouds.h"

namespace {

using Qmt::QmtVector3;

template <class Mesh>
bool sameMesh(const Mesh& a, const Mesh& b) {
    if (a.numVertices != b.numVertices || a.numFaces != b.numFaces) return false;
    for (std::uint32_t i = 0; i < a.numVertices; ++i) {
        const QmtVector3 &p = a.vertices[i], &q = b.vertices[i];
        if (p.x != q.x || p.y != q.y || p.z != q.z) return false;
    }
    for (std::uint32_t f = 0; f < a.numFaces; ++f) {
        if (a.faces[f].numVertices != b.faces[f].numVertices) return false;
        for (std::uint32_t k = 0; k < a.faces[f].numVertices; ++k) {
            if (a.faces[f].vertices[k] != b.faces[f].vertices[k]) return false;
        }
    }
    return true;
}

// Both builders give a hull, and the same one when asked again.
void expectSameHullTwice(const std::vector<QmtVector3>& pts) {
    const auto n = static_cast<std::uint32_t>(pts.size());
    const std::unique_ptr<ZYLmesh> m1(buildConvexHullMesh(pts.data(), n));
    const std::unique_ptr<ZYLmesh> m2(buildConvexHullMesh(pts.data(), n));
    const std::unique_ptr<ZYL_DFmesh> d1(buildConvexHullDFmesh(pts.data(), n));
    const std::unique_ptr<ZYL_DFmesh> d2(buildConvexHullDFmesh(pts.data(), n));
    ASSERT_TRUE(m1 && m2 && d1 && d2);
    EXPECT_TRUE(sameMesh(*m1, *m2));
    EXPECT_TRUE(sameMesh(*d1, *d2));
}

}  // namespace

// The first build is accepted: the careful one beside it is stopped and dropped.
TEST(ConvexHullThreads, AcceptedFirstBuildStopsTheCarefulOne) {
    for (std::uint32_t seed = 1; seed <= 4; ++seed) {
        std::vector<QmtVector3> pts = cubeCloud(3000, seed, 0.9);
        for (int i = 0; i < 8; ++i) pts.emplace_back(i & 1 ? 1.0 : -1.0, i & 2 ? 1.0 : -1.0, i & 4 ? 1.0 : -1.0);
        const std::unique_ptr<ZYLmesh> m(buildConvexHullMesh(pts.data(), static_cast<std::uint32_t>(pts.size())));
        const std::unique_ptr<ZYL_DFmesh> d(buildConvexHullDFmesh(pts.data(), static_cast<std::uint32_t>(pts.size())));
        ASSERT_TRUE(m && d);
        EXPECT_EQ(m->numVertices, 8u);
        EXPECT_EQ(d->numVertices, 8u);
        ASSERT_EQ(m->numFaces, 6u);
        ASSERT_EQ(d->numFaces, 6u);
        for (std::uint32_t f = 0; f < 6; ++f) {
            EXPECT_EQ(m->faces[f].numVertices, 4u);
            EXPECT_EQ(d->faces[f].numVertices, 4u);
        }
    }
}

// The first build is rejected: the careful one gives the result, the same every time.
TEST(ConvexHullThreads, RejectedFirstBuildGivesTheSameCarefulResult) {
    const std::vector<QmtVector3> pts = cubeCloud(3000, 3);
    expectSameHullTwice(pts);
}

// Thousands of faces and a first build that is rejected: the careful build's
// containment check is shared between two threads, and its records are written on a
// third meanwhile.
TEST(ConvexHullThreads, SharedContainmentCheckGivesTheSameResult) {
    const std::vector<QmtVector3> pts = sphereCloud(5000, 4);
    const auto n = static_cast<std::uint32_t>(pts.size());
    const std::unique_ptr<ZYLmesh> m1(buildConvexHullMesh(pts.data(), n));
    const std::unique_ptr<ZYLmesh> m2(buildConvexHullMesh(pts.data(), n));
    ASSERT_TRUE(m1 && m2);
    EXPECT_GT(m1->numFaces, 8192u);
    EXPECT_TRUE(sameMesh(*m1, *m2));
}

// A thin rod fails the careful and strict builds: the last two run side by side, and
// the last one gives the result, the same every time.
TEST(ConvexHullThreads, LastBuildsBesideGiveTheSameResult) {
    std::vector<QmtVector3> pts;
    for (std::uint32_t i = 0; i < 300; ++i) {
        const double t = 6.283185307179586 * (i % 150) / 150;
        pts.emplace_back(0.1 * std::cos(t), 0.1 * std::sin(t), i < 150 ? -1.0 : 1.0);
    }
    expectSameHullTwice(pts);
}
