// The quick answer of the nearly-convex test: wherever it says yes, the hull that the
// full test builds agrees to within a hair; and it declines open, doubled, concave,
// flat and thin meshes.

#include "geometry/hull/convexSolid.h"

#include <gtest/gtest.h>

#include <memory>
#include <random>

#include "geometry/hull/convexHull.h"
#include "geometry/mesh/massProperties.h"
#include "geometry/testMeshes.h"

namespace {

using Qmt::QmtVector3;

// Hull volume over mesh volume, as the full test measures them; 0 without a hull.
double hullRatio(const ZYL_DFmesh& mesh) {
    const std::unique_ptr<ZYLmesh> hull(buildConvexHullMesh(mesh.vertices, mesh.numVertices));
    return hull && hull->numVertices > 0 ? computeMeshVolume(hull.get()) / computeMeshVolume(&mesh) : 0.0;
}

TEST(ConvexSolid, WhereverItSaysYesTheHullHasTheMeshVolume) {
    std::mt19937 rng(31);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    int yes = 0;
    for (int round = 0; round < 300; ++round) {
        auto mesh = round % 2 == 0 ? meshtest::makeDFMesh(meshtest::box({-1, -1, -1}, {1, 1, 1}))
                                   : meshtest::makeDFMesh(meshtest::sphere(9, 16, 1.0));
        // Convex cells: random planes through points near the centre, some nearly
        // parallel to one another or to the faces.
        for (int k = 0; k < 2 + round % 12; ++k) {
            QmtVector3 n(u(rng), u(rng), u(rng));
            if (k % 5 == 4) n = QmtVector3(1.0, 1e-3 * u(rng), 1e-3 * u(rng));
            const QmtVector3 p(0.6 * u(rng), 0.6 * u(rng), 0.6 * u(rng));
            if (n.SquaredLength() > 1e-6 && meshtest::cutDF(mesh.get(), n, p).first < 0) break;
        }
        const double V = computeMeshVolume(mesh.get());
        if (surelyConvexSolid(*mesh, V)) {
            ++yes;
            const double ratio = hullRatio(*mesh);
            EXPECT_GT(ratio, 0.99) << round;
            EXPECT_LT(ratio, 1.01) << round;
        }
    }
    EXPECT_GT(yes, 200);
}

TEST(ConvexSolid, DeclinesWhatItCannotVouchFor) {
    const auto cube = meshtest::box({-1, -1, -1}, {1, 1, 1});
    const auto yes = [](const meshtest::Shape& s) {
        auto m = meshtest::makeDFMesh(s);
        return surelyConvexSolid(*m, computeMeshVolume(m.get()));
    };
    EXPECT_TRUE(yes(cube));
    meshtest::Shape open = cube;
    open.faces.pop_back();
    EXPECT_FALSE(yes(open));
    meshtest::Shape doubled = cube;
    doubled.faces.insert(doubled.faces.end(), cube.faces.begin(), cube.faces.end());
    EXPECT_FALSE(yes(doubled));
    EXPECT_FALSE(yes(meshtest::extruded({{0, 0}, {3, 0}, {3, 1}, {1, 1}, {1, 3}, {0, 3}}, 1.0)));
    EXPECT_FALSE(yes(meshtest::box({-1, -1, -1e-4}, {1, 1, 1e-4})));  // too thin for the hull's tolerances
    EXPECT_FALSE(yes(meshtest::box({0, 0, 0}, {1e-3, 1e-3, 1e-3})));  // too small
    meshtest::Shape inside = cube;  // a vertex off the surface, outside a face's plane
    inside.vertices.push_back({0, 0, 1.5});
    EXPECT_FALSE(yes(inside));
    meshtest::Shape inverted = cube;
    for (auto& face : inverted.faces) std::reverse(face.begin(), face.end());
    auto m = meshtest::makeDFMesh(inverted);
    EXPECT_FALSE(surelyConvexSolid(*m, computeMeshVolume(m.get())));
}

}  // namespace
