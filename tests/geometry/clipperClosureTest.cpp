#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <random>
#include <type_traits>
#include <vector>

#include "geometry/convexHull.h"
#include "geometry/massProperties.h"
#include "tests/geometry/testMeshes.h"

using namespace meshtest;
using Qmt::QmtVector3;

namespace {

// The hull of 200 points on the unit sphere, its faces split into triangles.
Shape triangulatedHull() {
    std::mt19937 rng(1);
    std::normal_distribution<double> g(0.0, 1.0);
    Points points;
    while (points.size() < 200) {
        QmtVector3 p(g(rng), g(rng), g(rng));
        if (p.Unitize(1e-9) > 0.0) points.push_back(p);
    }
    const std::unique_ptr<ZYLmesh> hull(buildConvexHullMesh(points.data(), 200));
    Shape s;
    s.vertices.assign(hull->vertices, hull->vertices + hull->numVertices);
    for (std::uint32_t f = 0; f < hull->numFaces; ++f) {
        const ZYLface& face = hull->faces[f];
        for (std::uint32_t k = 1; k + 1 < face.numVertices; ++k) {
            s.faces.push_back({face.vertices[0], face.vertices[k], face.vertices[k + 1]});
        }
    }
    return s;
}

// Faces of more than 32 corners as fans, for the compact mesh.
Shape fitsCompact(const Shape& s) {
    Shape t{s.vertices, {}};
    for (const Indices& face : s.faces) {
        if (face.size() <= ZYLFACE_MAX_CORNERS) {
            t.faces.push_back(face);
            continue;
        }
        for (std::size_t k = 1; k + 1 < face.size(); ++k) t.faces.push_back({face[0], face[k], face[k + 1]});
    }
    return t;
}

template <class Mesh>
std::unique_ptr<Mesh> meshOf(const Shape& s) {
    if constexpr (std::is_same_v<Mesh, ZYLmesh>) {
        return makeMesh(fitsCompact(s));
    } else {
        return makeDFMesh(s);
    }
}

// A capped cut through the mesh's own volume, finish step included; the clip result.
template <class Mesh>
std::int32_t cappedCut(Mesh* mesh, const QmtVector3& n, const QmtVector3& p) {
    const auto volume = clipperVolume(mesh);
    Clipper& c = *volume->getClipper();
    std::int32_t result;
    if constexpr (std::is_same_v<Mesh, ZYLmesh>) {
        result = volume->clip(n, p * c.getScale(), CLIP_BUILD_CAPS);
    } else {
        result = c.clipDF(mesh, n, p * c.getScale(), CLIP_BUILD_CAPS);
    }
    volume->finishClip(result);
    return result;
}

// How far the highest vertex lies above the plane of a face (by its Newell normal
// through its first corner), over all faces: at most rounding for a convex mesh.
template <class Mesh>
double convexityDefect(const Mesh& m) {
    double defect = 0.0;
    const Points vertices(m.vertices, m.vertices + m.numVertices);
    for (std::uint32_t f = 0; f < m.numFaces; ++f) {
        const auto& face = m.faces[f];
        const QmtVector3 n = newellNormal(vertices, Indices(face.vertices, face.vertices + face.numVertices));
        for (const QmtVector3& v : vertices) defect = std::max(defect, (v - vertices[face.vertices[0]]).Dot(n));
    }
    return defect;
}

// Whether the cut moves no vertex: no vertex within the snap distance of the plane and
// no two crossing points within the merge distance (both in the clipper's units).
bool nothingMerged(const Shape& s, const QmtVector3& n, const QmtVector3& p, double scale) {
    Points crossings;
    for (const QmtVector3& v : s.vertices) {
        if (std::fabs(n.Dot(v - p)) * scale < 2e-5) return false;
    }
    for (const Indices& face : s.faces) {
        for (std::size_t k = 0; k < face.size(); ++k) {
            const QmtVector3& a = s.vertices[face[k]];
            const QmtVector3& b = s.vertices[face[(k + 1) % face.size()]];
            const double da = n.Dot(a - p);
            const double db = n.Dot(b - p);
            if ((da < 0.0) != (db < 0.0)) crossings.push_back(a + (b - a) * (da / (da - db)));
        }
    }
    for (std::size_t i = 0; i < crossings.size(); ++i) {
        for (std::size_t j = i + 1; j < crossings.size(); ++j) {
            const double d = (crossings[i] - crossings[j]).Length() * scale;
            if (d > 1e-12 && d < 4e-3) return false;  // distinct crossings merged, or nearly
        }
    }
    return true;
}

template <class Mesh>
void cutEverySide(const Shape& shape, bool convexShape, std::mt19937& rng, int planes) {
    std::normal_distribution<double> g(0.0, 1.0);
    std::uniform_real_distribution<double> u(0.0, 1.0);
    QmtVector3 lo = shape.vertices[0], hi = lo, mean;
    for (const QmtVector3& v : shape.vertices) {
        lo = {std::min(lo.x, v.x), std::min(lo.y, v.y), std::min(lo.z, v.z)};
        hi = {std::max(hi.x, v.x), std::max(hi.y, v.y), std::max(hi.z, v.z)};
        mean += v;
    }
    mean = mean * (1.0 / static_cast<double>(shape.vertices.size()));
    const double whole = computeMeshVolume(meshOf<Mesh>(shape).get());
    // The hull's merged faces are flat only to the merge angle: a cut may not add to that.
    const double defect = convexityDefect(*meshOf<Mesh>(shape)) + 1e-9;
    const double scale = clipperVolume(meshOf<Mesh>(shape).get())->getClipper()->getScale();
    for (int i = 0; i < planes; ++i) {
        QmtVector3 n(g(rng), g(rng), g(rng));
        n.Unitize(1e-12);
        const QmtVector3 p(lo.x + (hi.x - lo.x) * u(rng), lo.y + (hi.y - lo.y) * u(rng), lo.z + (hi.z - lo.z) * u(rng));
        if (n.Dot(mean - p) < 0.0) n = -n;  // keep the side of the vertex mean
        SCOPED_TRACE(testing::Message() << "plane " << i << " n " << n.x << " " << n.y << " " << n.z << " p " << p.x
                                        << " " << p.y << " " << p.z);
        const auto kept = meshOf<Mesh>(shape);
        const auto other = meshOf<Mesh>(shape);
        const std::int32_t result = cappedCut(kept.get(), n, p);
        const std::int32_t otherResult = cappedCut(other.get(), -n, p);
        if (result != 0 || otherResult != 0) {
            continue;
        }
        for (const Mesh* piece : {kept.get(), other.get()}) {
            expectValidIndices(*piece);
            EXPECT_TRUE(closed(*piece));
            if (convexShape) {
                EXPECT_LE(convexityDefect(*piece), defect);
            }
        }
        if (nothingMerged(shape, n, p, scale)) {
            EXPECT_NEAR(computeMeshVolume(kept.get()) + computeMeshVolume(other.get()), whole, 1e-6 * whole);
        }
    }
}

TEST(ClipperClosure, CappedCutsLeaveClosedPieces) {
    // The cube of the smallest reported hole: the bottom face keeps a right triangle
    // with legs 1e-4, far smaller than the write-back's old sliver bound.
    QmtVector3 n(-1.0, -1.0, 1.5);
    n.Unitize(1e-12);
    const auto compact = makeMesh(cube());
    const auto detailed = makeDFMesh(cube());
    ASSERT_EQ(cappedCut(compact.get(), n, {1e-4, 0, 0}), 0);
    ASSERT_EQ(cappedCut(detailed.get(), n, {1e-4, 0, 0}), 0);
    EXPECT_TRUE(closed(*compact));
    EXPECT_TRUE(closed(*detailed));

    struct Reported {
        Shape shape;
        QmtVector3 n;
        QmtVector3 p;
    };
    const Reported reported[] = {
        // A plane past the hull's vertex 0.0019 (clipper units) from a cut vertex: the
        // cap loop drops that short edge, and the faces beside it must lose the vertex.
        {triangulatedHull(),
         {-0.58237510825013761, 0.56177971725464293, 0.58757364012686442},
         {-0.056813645869348117, -0.056387470213157709, -0.22549203237550408}},
        // A slanted plane through the torus: the faceted outer loop is dented, and its
        // half-planes reject the inner loop, which is still a hole of it.
        {torus(24, 12, 1.0, 0.4),
         {-0.0042820433797887388, 0.34089932605044404, -0.94009005611316132},
         {1.2583001071720963, 0.054008164613400078, -0.040028653605702624}},
        // A plane 5e-6 past a prism corner: the corner piece, 3e-5 across, is smaller
        // than the cut-vertex merge distance, and the merge folds its fragments.
        {prism(40, 1.0, 1.0),
         {-0.6444654666415317, -0.70631107013436956, 0.29289748123217912},
         {-0.58209594846585277, -0.90836351418406058, 0.77293050084841974}},
    };
    for (const Reported& r : reported) {
        for (const QmtVector3& side : {r.n, -r.n}) {
            SCOPED_TRACE(testing::Message() << "reported plane n " << side.x << " " << side.y << " " << side.z);
            const auto compactPiece = meshOf<ZYLmesh>(r.shape);
            const auto detailedPiece = meshOf<ZYL_DFmesh>(r.shape);
            ASSERT_EQ(cappedCut(compactPiece.get(), side, r.p), 0);
            ASSERT_EQ(cappedCut(detailedPiece.get(), side, r.p), 0);
            expectValidIndices(*compactPiece);
            expectValidIndices(*detailedPiece);
            EXPECT_TRUE(closed(*compactPiece));
            EXPECT_TRUE(closed(*detailedPiece));
        }
    }

    std::mt19937 rng(7);
    const std::pair<Shape, bool> shapes[] = {{cube(), true},
                                             {triangulatedHull(), true},
                                             {prism(40, 1.0, 1.0), true},
                                             {torus(24, 12, 1.0, 0.4), false}};
    for (const auto& [shape, isConvex] : shapes) {
        SCOPED_TRACE(testing::Message() << "shape with " << shape.vertices.size() << " vertices");
        cutEverySide<ZYLmesh>(shape, isConvex, rng, 40);
        cutEverySide<ZYL_DFmesh>(shape, isConvex, rng, 40);
    }
}

}  // namespace
