#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <random>
#include <string>
#include <type_traits>
#include <vector>

#include "geometry/hull/convexHull.h"
#include "geometry/mesh/massProperties.h"
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
        // A vertex exactly on the plane stays where it is.
        const double d = std::fabs(n.Dot(v - p)) * scale;
        if (d > 0.0 && d < 2e-5) return false;
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

// The mesh as a shape: its world vertices (local ones when it has none) and faces.
template <class Mesh>
Shape shapeOf(const Mesh& m) {
    const QmtVector3* v = m.worldVertices ? m.worldVertices : m.vertices;
    Shape s{Points(v, v + m.numVertices), {}};
    for (std::uint32_t f = 0; f < m.numFaces; ++f) s.faces.push_back(corners(m.faces[f]));
    return s;
}

// The hull of the same 200 points as built: merged faces, flat only to the merge angle.
Shape rawHull() {
    const Shape triangles = triangulatedHull();
    const std::unique_ptr<ZYLmesh> hull(buildConvexHullMesh(triangles.vertices.data(), 200));
    return shapeOf(*hull);
}

// Σ(corners - 2) - (2V - 4) over the vertices the faces use: 0 for a closed surface of
// genus 0 whose faces are simple polygons.
template <class Mesh>
long eulerDefect(const Mesh& m) {
    Indices used;
    long sum = 0;
    for (std::uint32_t f = 0; f < m.numFaces; ++f) {
        const Indices c = corners(m.faces[f]);
        used.insert(used.end(), c.begin(), c.end());
        sum += static_cast<long>(c.size()) - 2;
    }
    std::sort(used.begin(), used.end());
    used.erase(std::unique(used.begin(), used.end()), used.end());
    return sum - (2 * static_cast<long>(used.size()) - 4);
}

// Faces whose corners lie on one line or at one point: no area for their size.
template <class Mesh>
long facesWithoutArea(const Mesh& m) {
    long count = 0;
    for (std::uint32_t f = 0; f < m.numFaces; ++f) {
        const Indices c = corners(m.faces[f]);
        QmtVector3 area;
        double reach = 0.0;
        for (std::size_t k = 0; k < c.size(); ++k) {
            const QmtVector3& a = m.worldVertices[c[k]];
            area += a.Cross(m.worldVertices[c[(k + 1) % c.size()]]);
            for (const std::uint32_t v : c) reach = std::max(reach, (m.worldVertices[v] - a).SquaredLength());
        }
        count += area.Length() <= 1e-9 * reach;
    }
    return count;
}

// One cut of a chain: a random normal through a point between the vertex mean and a
// used vertex of the current mesh; one plane in ten goes exactly through that vertex,
// one in ten has an axis-aligned normal. The normal keeps the side of the vertex mean.
struct ChainCut {
    QmtVector3 n;
    QmtVector3 p;
    bool throughVertex = false;
    bool inputClosed = true;  // every cut before it in the chain left a closed surface
    bool unmoved = true;      // no cut of the chain so far, this one included, moved a vertex
};

ChainCut chainPlane(const Shape& s, std::mt19937& rng) {
    std::normal_distribution<double> g(0.0, 1.0);
    std::uniform_real_distribution<double> u(0.0, 1.0);
    Indices used;
    for (const Indices& face : s.faces) used.insert(used.end(), face.begin(), face.end());
    std::sort(used.begin(), used.end());
    used.erase(std::unique(used.begin(), used.end()), used.end());
    QmtVector3 mean;
    for (const std::uint32_t v : used) mean += s.vertices[v];
    mean = mean * (1.0 / static_cast<double>(used.size()));
    const QmtVector3 vertex = s.vertices[used[rng() % used.size()]];
    ChainCut cut;
    const unsigned kind = rng() % 10;
    if (kind == 1) {
        const unsigned axis = rng() % 3;
        cut.n = {axis == 0 ? 1.0 : 0.0, axis == 1 ? 1.0 : 0.0, axis == 2 ? 1.0 : 0.0};
    } else {
        cut.n = {g(rng), g(rng), g(rng)};
        cut.n.Unitize(1e-12);
    }
    cut.throughVertex = kind == 0;
    cut.p = cut.throughVertex ? vertex : mean + (vertex - mean) * u(rng);
    if (cut.n.Dot(mean - cut.p) < 0.0) cut.n = -cut.n;
    return cut;
}

// A chain of 1 to `longest` capped cuts from `start`, each also tried with -n; the chain
// goes on with the kept side. check(cut, whole, kept, other) sees every cut that cuts on
// both sides (whole: the input's volume).
template <class Mesh, class Check>
void cutChain(const Shape& start, std::uint32_t seed, std::uint32_t longest, const Check& check) {
    std::mt19937 rng(seed);
    Shape shape = start;
    bool closedSoFar = true;
    bool unmovedSoFar = true;
    const std::uint32_t length = 1 + rng() % longest;
    for (std::uint32_t step = 0; step < length; ++step) {
        ChainCut cut = chainPlane(shape, rng);
        const auto kept = meshOf<Mesh>(shape);
        const auto other = meshOf<Mesh>(shape);
        const double whole = computeMeshVolume(kept.get());
        const double scale = clipperVolume(meshOf<Mesh>(shape).get())->getClipper()->getScale();
        const bool keptCut = cappedCut(kept.get(), cut.n, cut.p) == 0;
        const bool otherCut = cappedCut(other.get(), -cut.n, cut.p) == 0;
        cut.inputClosed = closedSoFar;
        cut.unmoved = unmovedSoFar = unmovedSoFar && nothingMerged(shape, cut.n, cut.p, scale);
        if (keptCut && otherCut) {
            check(cut, whole, *kept, *other);
        }
        if (keptCut) {
            closedSoFar = closedSoFar && closed(*kept);
            shape = shapeOf(*kept);
        }
    }
}

// The five closed meshes of the chains: whether each is convex, and whether its faces
// are flat (the raw hull's merged faces are flat only to the merge angle, so a cut
// across one changes the volume by more than rounding).
struct ChainMesh {
    const char* name;
    Shape shape;
    bool convex;
    bool flat;
};

// The seed of a chain of mesh i of chainMeshes().
std::uint32_t chainSeed(std::uint32_t i, bool compact, std::uint32_t chain) {
    return 1000 * (2 * i + (compact ? 0 : 1)) + chain;
}

std::vector<ChainMesh> chainMeshes() {
    return {{"cube", cube(), true, true},
            {"triangulated hull", triangulatedHull(), true, true},
            {"40-gon prism", prism(40, 1.0, 1.0), true, true},
            {"24x12 torus", torus(24, 12, 1.0, 0.4), false, true},
            {"raw hull", rawHull(), true, false}};
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

TEST(ClipperClosure, ChainsOfCutsThroughVerticesStayClosed) {
    // Chains of capped cuts through their own results, one plane in ten exactly through
    // a vertex of the current mesh: every piece closed, with an area in every face,
    // Σ(corners - 2) = 2V - 4 on the convex meshes, and where no cut of the chain moved or
    // merged a vertex, the halves' volumes make up the whole. The first three chains of
    // each mesh and kind of the survey below, cut short, and survey chains that opened
    // a surface through a vertex before.
    struct Reported {
        std::uint32_t mesh;
        bool compact;
        std::uint32_t chain;
    };
    const Reported reported[] = {{0, true, 165}, {0, false, 14}, {1, false, 112}, {2, false, 158},
                                 {3, true, 36},  {3, false, 170}, {4, true, 120}};
    const std::vector<ChainMesh> meshes = chainMeshes();
    const auto run = [&meshes](std::uint32_t i, bool compact, std::uint32_t chain, std::uint32_t longest) {
        const ChainMesh& mesh = meshes[i];
        SCOPED_TRACE(testing::Message() << mesh.name << (compact ? " ZYLmesh" : " ZYL_DFmesh") << " chain " << chain);
        const auto checks = [&mesh](const ChainCut& cut, double whole, const auto& kept, const auto& other) {
            SCOPED_TRACE(testing::Message() << "n " << cut.n.x << " " << cut.n.y << " " << cut.n.z << " p " << cut.p.x
                                            << " " << cut.p.y << " " << cut.p.z);
            for (const auto* piece : {&kept, &other}) {
                expectValidIndices(*piece);
                EXPECT_TRUE(closed(*piece));
                EXPECT_EQ(facesWithoutArea(*piece), 0);
                if (mesh.convex) {
                    EXPECT_EQ(eulerDefect(*piece), 0);
                }
            }
            if (mesh.flat && cut.unmoved) {
                EXPECT_NEAR(computeMeshVolume(&kept) + computeMeshVolume(&other), whole, 1e-6 * whole);
            }
        };
        if (compact) {
            cutChain<ZYLmesh>(mesh.shape, chainSeed(i, compact, chain), longest, checks);
        } else {
            cutChain<ZYL_DFmesh>(mesh.shape, chainSeed(i, compact, chain), longest, checks);
        }
    };
    for (std::uint32_t i = 0; i < meshes.size(); ++i) {
        for (std::uint32_t chain = 0; chain < 3; ++chain) {
            run(i, true, chain, 12);
            run(i, false, chain, 12);
        }
    }
    for (const Reported& r : reported) {
        run(r.mesh, r.compact, r.chain, 30);
    }
}

// The measure of the chains above at scale: about 75,000 cuts (240 chains of up to 30
// cuts per mesh and kind, both sides of every cut). It counts the cuts that leave a
// surface open from a closed input, those through a vertex among them, and the pieces
// open at all, with area-less faces, off Euler's count or off the volume. Run it by name:
//   test_geometry_clipperClosureTest --gtest_also_run_disabled_tests --gtest_filter='*Survey*'
TEST(ClipperClosure, DISABLED_SurveyChainsOfCuts) {
    struct Counts {
        long cuts = 0, through = 0, open = 0, opened = 0, openedThrough = 0, flat = 0, euler = 0, volume = 0;
        void add(const Counts& c) {
            cuts += c.cuts, through += c.through, open += c.open, opened += c.opened;
            openedThrough += c.openedThrough, flat += c.flat, euler += c.euler, volume += c.volume;
        }
        void print(const std::string& what) const {
            std::printf("%-28s cuts %6ld (%5ld through a vertex): open %4ld, opened %4ld (%4ld through a vertex); "
                        "with area-less faces %ld, Euler off %ld, volume off %ld\n",
                        what.c_str(), cuts, through, open, opened, openedThrough, flat, euler, volume);
        }
    };
    Counts total;
    const std::vector<ChainMesh> meshes = chainMeshes();
    for (std::uint32_t i = 0; i < meshes.size(); ++i) {
        for (const bool compact : {true, false}) {
            const ChainMesh& mesh = meshes[i];
            Counts c;
            const auto count = [&](const ChainCut& cut, double whole, const auto& kept, const auto& other) {
                for (const auto* piece : {&kept, &other}) {
                    const bool isClosed = closed(*piece);
                    ++c.cuts;
                    c.through += cut.throughVertex;
                    c.open += !isClosed;
                    c.opened += !isClosed && cut.inputClosed;
                    c.openedThrough += !isClosed && cut.inputClosed && cut.throughVertex;
                    c.flat += facesWithoutArea(*piece) > 0;
                    c.euler += isClosed && mesh.convex && eulerDefect(*piece) != 0;
                }
                const double halves = computeMeshVolume(&kept) + computeMeshVolume(&other);
                c.volume += mesh.flat && cut.unmoved && std::fabs(halves - whole) > 1e-6 * whole;
            };
            for (std::uint32_t chain = 0; chain < 240; ++chain) {
                if (compact) {
                    cutChain<ZYLmesh>(mesh.shape, chainSeed(i, compact, chain), 30, count);
                } else {
                    cutChain<ZYL_DFmesh>(mesh.shape, chainSeed(i, compact, chain), 30, count);
                }
            }
            c.print(std::string(mesh.name) + (compact ? " ZYLmesh" : " ZYL_DFmesh"));
            total.add(c);
        }
    }
    total.print("all");
}

}  // namespace
