#include "src/shatter/shatterCentres.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <map>
#include <memory>
#include <vector>

#include "geometry/testMeshes.h"
#include "moduleTestSupport.h"
#include "math/qmtMath.h"
#include "src/meshWriter.h"
#include "src/shatter/seedPatterns.h"
#include "tests/testSupport.h"

namespace {

using Qmt::QmtVector3;
using Points = std::vector<QmtVector3>;

class ShatterCentresTest : public zyltest::ModuleTest {
protected:

    // The engine mesh as a host mesh under a new transform moved by `offset`.
    static MDagPath hostMesh(const ZYL_DFmesh& mesh, const MVector& offset) {
        MStatus status;
        MFnMesh fn;
        MObject transform;
        EXPECT_TRUE(createMeshFromDFmesh(status, &mesh, fn, MStringArray(), &transform));
        MFnTransform(transform).setTranslation(offset, MSpace::kTransform);
        MDagPath path;
        fn.getPath(path);
        return path;
    }
};

// The cube [-1, 1]^3 with every side split into 2 x 2 quads: 8 corners (score 0), 12
// edge middles (1/3) and 6 side middles (1).
meshtest::Shape splitCube() {
    meshtest::Shape s;
    std::map<std::array<int, 3>, std::uint32_t> index;
    const auto vertex = [&](const std::array<int, 3>& p) {
        const auto [at, added] = index.try_emplace(p, static_cast<std::uint32_t>(s.vertices.size()));
        if (added) s.vertices.push_back({double(p[0]), double(p[1]), double(p[2])});
        return at->second;
    };
    for (int axis = 0; axis < 3; ++axis) {
        for (const int side : {-1, 1}) {
            for (int i = -1; i < 1; ++i) {
                for (int j = -1; j < 1; ++j) {
                    meshtest::Indices quad;
                    for (const auto& [du, dv] : {std::pair{0, 0}, {1, 0}, {1, 1}, {0, 1}}) {
                        std::array<int, 3> p{};
                        p[axis] = side;
                        p[(axis + 1) % 3] = i + du;
                        p[(axis + 2) % 3] = j + dv;
                        quad.push_back(vertex(p));
                    }
                    if (side < 0) std::reverse(quad.begin(), quad.end());
                    s.faces.push_back(quad);
                }
            }
        }
    }
    return s;
}

Points hullSeeds(const ZYL_DFmesh& mesh, std::uint32_t n, std::uint32_t seed) {
    Points out(n);
    EXPECT_TRUE(generateSeedsInHull(&mesh, out.data(), n, seed, false));
    return out;
}

TEST_F(ShatterCentresTest, SharpestCornersOfACubeThenPointsInside) {
    const meshtest::Shape shape = splitCube();
    const auto mesh = meshtest::makeDFMesh(shape);
    const MVector offset(10.0, 0.0, 0.0);
    const MDagPath path = hostMesh(*mesh, offset);

    // Candidates with equal scores stand in reverse order of meeting; edge middles
    // score above the mean of the 16 best and are dropped.
    Points corners;
    for (const QmtVector3& v : shape.vertices) {
        if (std::fabs(v.x) == 1.0 && std::fabs(v.y) == 1.0 && std::fabs(v.z) == 1.0) {
            corners.insert(corners.begin(), v + QmtVector3(offset.x, offset.y, offset.z));
        }
    }
    ASSERT_EQ(corners.size(), 8u);
    Qmt::Math::SeedRandom(7);
    const auto start = static_cast<std::size_t>(8 * Qmt::Math::UnitRandom());
    Points expected;
    for (std::size_t j = 0; j < 8; ++j) expected.push_back(corners[(start + j) % 8]);

    Points out(16);
    std::uint32_t count = 16;
    findSharpCornerVertices(path, out.data(), count, 7);
    ASSERT_EQ(count, 8u);
    EXPECT_EQ(Points(out.begin(), out.begin() + 8), expected);

    // Five centres: two corners, then three points inside (the hull fill restarts the
    // generator with the same seed).
    Points centres(5);
    generateShatterCenters(5, centres.data(), 7, path, mesh.get());
    EXPECT_EQ(Points(centres.begin(), centres.begin() + 2), Points(expected.begin(), expected.begin() + 2));
    EXPECT_EQ(Points(centres.begin() + 2, centres.end()), hullSeeds(*mesh, 3, 7));
}

TEST_F(ShatterCentresTest, NoCornerCandidateWritesNothing) {
    // Two triangles apart: every vertex lies on a single face.
    const auto mesh = meshtest::makeDFMesh(
        {{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {1, 0, 1}, {0, 1, 1}}, {{0, 1, 2}, {3, 4, 5}}});
    const MDagPath path = hostMesh(*mesh, MVector());
    const QmtVector3 untouched(-7.0, -7.0, -7.0);
    Points out(4, untouched);
    std::uint32_t count = 4;
    findSharpCornerVertices(path, out.data(), count, 3);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(out, Points(4, untouched));

    // All centres then come from inside the hull: five, the last three replaced.
    Points centres(5);
    generateShatterCenters(5, centres.data(), 3, path, mesh.get());
    const Points five = hullSeeds(*mesh, 5, 3);
    EXPECT_EQ(Points(centres.begin(), centres.begin() + 2), Points(five.begin(), five.begin() + 2));
    EXPECT_EQ(Points(centres.begin() + 2, centres.end()), hullSeeds(*mesh, 3, 3));
}

}  // namespace
