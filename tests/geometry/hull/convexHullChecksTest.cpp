// The containment check gives the same verdict whether it makes its own point tree or
// walks a tree of the whole cloud made ahead.

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "geometry/hull/convexHull.h"
#include "geometry/hull/convexHullChecks.h"
#include "geometry/hull/hullClouds.h"

namespace {

using Qmt::QmtVector3;

// A built hull's records as the check reads them.
OutputFaces recordsOf(const ZYLmesh& mesh) {
    OutputFaces out;
    out.first.push_back(0);
    for (std::uint32_t f = 0; f < mesh.numFaces; ++f) {
        const ZYLface& face = mesh.faces[f];
        out.corners.insert(out.corners.end(), face.vertices, face.vertices + face.numVertices);
        out.first.push_back(static_cast<std::uint32_t>(out.corners.size()));
        out.normals.push_back(&mesh.normals[f]);
    }
    return out;
}

// Both ways of walking the cloud, which must agree.
bool holdsBothWays(const ZYLmesh& mesh, const std::vector<QmtVector3>& pts) {
    const auto n = static_cast<std::uint32_t>(pts.size());
    const OutputFaces records = recordsOf(mesh);
    const CloudBox box = cloudBox(pts.data(), n);
    const double slack = 1e-5 * cloudSize(box);
    const bool own = holdsCloud(records, mesh.vertices, pts.data(), n, box, slack);
    HullPointTree tree;
    makeCheckTree(tree, pts.data(), n, records.count());
    const bool walked = holdsCloud(records, mesh.vertices, pts.data(), n, box, slack, &tree);
    EXPECT_EQ(own, walked);
    return own;
}

}  // namespace

// Hulls of clouds on a sphere (no core) and in a cube (most points in the core) hold
// their clouds, and stop holding them once one point is moved out of the hull.
TEST(ConvexHullChecks, TreeMadeAheadGivesTheSameVerdict) {
    for (const bool onSphere : {true, false}) {
        for (std::uint32_t seed = 1; seed <= 3; ++seed) {
            std::vector<QmtVector3> pts = onSphere ? sphereCloud(3000, seed) : cubeCloud(3000, seed);
            const std::unique_ptr<ZYLmesh> mesh(buildConvexHullMesh(pts.data(), static_cast<std::uint32_t>(pts.size())));
            ASSERT_TRUE(mesh);
            EXPECT_TRUE(holdsBothWays(*mesh, pts));
            pts[seed * 101] = QmtVector3(2.0, 0.0, 0.0);
            EXPECT_FALSE(holdsBothWays(*mesh, pts));
        }
    }
}
