#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <memory>
#include <random>
#include <type_traits>
#include <utility>
#include <vector>

#include "geometry/mesh/massProperties.h"
#include "tests/geometry/testMeshes.h"
#include "tests/testSupport.h"

using namespace meshtest;
using zyltest::randomDirection;
using Qmt::QmtVector3;

namespace {

constexpr double kPi = 3.14159265358979323846;

// Thick ring around z: regular n-gons of radius R (outside) and r (inside), height h.
Shape ring(std::uint32_t n, double R, double r, double h) {
    Shape s;
    for (double radius : {R, r}) {
        for (double z : {0.0, h}) {
            for (std::uint32_t i = 0; i < n; ++i) {
                const double a = 2.0 * kPi * i / n;
                s.vertices.push_back({radius * std::cos(a), radius * std::sin(a), z});
            }
        }
    }
    const auto at = [n](std::uint32_t block, std::uint32_t i) { return block * n + i % n; };
    for (std::uint32_t i = 0; i < n; ++i) {
        s.faces.push_back({at(0, i), at(0, i + 1), at(1, i + 1), at(1, i)});  // outer wall
        s.faces.push_back({at(2, i + 1), at(2, i), at(3, i), at(3, i + 1)});  // inner wall
        s.faces.push_back({at(1, i), at(1, i + 1), at(3, i + 1), at(3, i)});  // top
        s.faces.push_back({at(0, i), at(2, i), at(2, i + 1), at(0, i + 1)});  // bottom
    }
    return s;
}

// Five teeth of width 0.1 rising from a base of height 0.3 to y = 1, counter-clockwise.
std::vector<std::pair<double, double>> combPolygon() {
    std::vector<std::pair<double, double>> comb = {{0, 0}, {1, 0}};
    for (int t = 4; t >= 0; --t) {
        comb.insert(comb.end(), {{0.2 * t + 0.15, 1}, {0.2 * t + 0.05, 1}, {0.2 * t + 0.05, 0.3}, {0.2 * t, 0.3}});
    }
    comb.pop_back();
    comb.pop_back();
    return comb;
}

double regularPolygonArea(std::uint32_t n, double radius) {
    return 0.5 * n * radius * radius * std::sin(2.0 * kPi / n);
}

// UVs that name the corner's position (set s shifted by 10 s in v).
DFOptions positionUVs(bool cornerNormals) {
    return {.uvSets = 1, .cornerNormals = cornerNormals, .uv = [](auto, const QmtVector3& p, auto set) {
        return QmtVector3(p.x, p.y + 10.0 * set, p.z);
    }};
}

std::unique_ptr<ZYLmesh> makeMeshWithPositionUVs(const Shape& s) {
    auto m = makeMesh(s, true);
    for (std::uint32_t f = 0; f < m->numFaces; ++f) {
        for (std::uint32_t k = 0; k < m->faces[f].numVertices; ++k) {
            m->uvs[m->faces[f].uvs[k]] = m->worldVertices[m->faces[f].vertices[k]];
        }
    }
    return m;
}

// Every directed edge is met once, and its reverse once: the mesh is closed and
// consistently wound.
template <class Mesh>
void expectClosed(const Mesh& m) {
    std::map<std::pair<std::uint32_t, std::uint32_t>, int> directed;
    for (std::uint32_t f = 0; f < m.numFaces; ++f) {
        const auto& face = m.faces[f];
        for (std::uint32_t k = 0; k < face.numVertices; ++k) {
            ++directed[{face.vertices[k], face.vertices[(k + 1) % face.numVertices]}];
        }
    }
    ASSERT_FALSE(directed.empty());
    for (const auto& [edge, count] : directed) {
        EXPECT_EQ(count, 1) << edge.first << "->" << edge.second;
        const auto reverse = directed.find({edge.second, edge.first});
        EXPECT_TRUE(reverse != directed.end() && reverse->second == 1) << edge.first << "->" << edge.second;
    }
}

template <class Face>
std::vector<QmtVector3> facePoints(const Face& face, const QmtVector3* vertices) {
    std::vector<QmtVector3> points;
    for (std::uint32_t k = 0; k < face.numVertices; ++k) {
        points.push_back(vertices[face.vertices[k]]);
    }
    return points;
}

// Area of a planar polygon, positive when it winds counter-clockwise about `normal`.
double areaAbout(const std::vector<QmtVector3>& points, const QmtVector3& normal) {
    return -computePolygonArea(points.data(), static_cast<unsigned>(points.size()), normal);
}

// Cap faces of a cut mesh: their indices and their total area about -n, each cap
// winding counter-clockwise about -n and lying in the plane.
template <class Mesh>
std::vector<std::uint32_t> capFaces(const Mesh& m, const QmtVector3& n, double planeOffset, double& area) {
    std::vector<std::uint32_t> caps;
    area = 0.0;
    for (std::uint32_t f = 0; f < m.numFaces; ++f) {
        if (!(m.faces[f].flags & FACE_CAP)) {
            continue;
        }
        caps.push_back(f);
        EXPECT_EQ(m.worldNormals[f], -n) << f;
        const std::vector<QmtVector3> points = facePoints(m.faces[f], m.worldVertices);
        for (const QmtVector3& p : points) {
            EXPECT_NEAR(n.Dot(p), planeOffset, 1e-9) << f;
        }
        const double a = areaAbout(points, -n);
        EXPECT_GT(a, 0.0) << f;
        area += a;
    }
    return caps;
}

// Each corner of the cap turns the same way: the cap is convex.
bool convexAbout(const std::vector<QmtVector3>& points, const QmtVector3& normal) {
    const std::size_t m = points.size();
    for (std::size_t k = 0; k < m; ++k) {
        const QmtVector3 a = points[(k + 1) % m] - points[k];
        const QmtVector3 b = points[(k + 2) % m] - points[(k + 1) % m];
        if (a.Cross(b).Dot(normal) < -1e-12) {
            return false;
        }
    }
    return true;
}

// Some reflex corner has a straight neighbour. A loop is split only at a reflex corner
// directly followed by a convex one, so a cap left non-convex has such a corner.
bool straightBesideReflex(const std::vector<QmtVector3>& points, const QmtVector3& normal) {
    const std::size_t m = points.size();
    std::vector<int> turns(m);
    for (std::size_t k = 0; k < m; ++k) {
        QmtVector3 a = points[(k + 1) % m] - points[k];
        QmtVector3 b = points[(k + 2) % m] - points[(k + 1) % m];
        a.Unitize(Qmt::QmtMatrix3::EPSILON);
        b.Unitize(Qmt::QmtMatrix3::EPSILON);
        const double turn = a.Cross(b).Dot(normal);
        turns[(k + 1) % m] = turn > 1e-5 ? 1 : (turn < -1e-5 ? -1 : 0);
    }
    for (std::size_t k = 0; k < m; ++k) {
        if (turns[k] == -1 && (turns[(k + 1) % m] == 0 || turns[(k + m - 1) % m] == 0)) {
            return true;
        }
    }
    return false;
}

template <class Mesh>
void expectCapUVsNameTheirCorners(const Mesh& m) {
    for (std::uint32_t f = 0; f < m.numFaces; ++f) {
        const auto& face = m.faces[f];
        if (!(face.flags & FACE_CAP)) {
            continue;
        }
        for (std::uint32_t k = 0; k < face.numVertices; ++k) {
            ASSERT_LT(face.uvs[k], m.numUVs) << f;
            const QmtVector3 d = m.uvs[face.uvs[k]] - m.worldVertices[face.vertices[k]];
            EXPECT_LT(d.Length(), 1e-9) << "face " << f << " corner " << k;
        }
    }
}

// What a capped cut by the plane n.x = offset must leave: valid indices, caps as capFaces
// checks them, each cap corner's UV naming its position, and a closed mesh of the given
// volume. Returns the caps and their total area.
template <class Mesh>
std::vector<std::uint32_t> expectCappedCut(const Mesh& m, const QmtVector3& n, double offset, double volume,
                                           double tol, double& area) {
    expectValidIndices(m);
    std::vector<std::uint32_t> caps = capFaces(m, n, offset, area);
    expectCapUVsNameTheirCorners(m);
    expectClosed(m);
    EXPECT_NEAR(computeMeshVolume(&m), volume, tol);
    return caps;
}

struct CutCounts {
    std::int32_t result = 1;
    std::uint32_t normalCount = 0;    // the clipper's, before the write-back compacts them
    std::uint32_t capFaces = 0;       // working faces past the split face count
    std::uint32_t diagonalCount = 0;
};

// Cuts through the mesh's own volume, finish step included.
template <class Mesh>
CutCounts cut(Mesh* mesh, const QmtVector3& n, const QmtVector3& p) {
    const auto volume = clipperVolume(mesh);
    Clipper& c = *volume->getClipper();
    CutCounts counts;
    if constexpr (std::is_same_v<Mesh, ZYLmesh>) {
        counts.result = volume->clip(n, p * c.getScale(), CLIP_BUILD_CAPS);
    } else {
        counts.result = c.clipDF(mesh, n, p * c.getScale(), CLIP_BUILD_CAPS);
    }
    counts.normalCount = c.getNormalCount();
    counts.capFaces = c.getFaceCount() - c.getSplitFaceCount();
    counts.diagonalCount = c.getDiagonalCount();
    volume->finishClip(counts.result);
    return counts;
}

}  // namespace

TEST(ClipperCaps, CubeCutAtMidHeightGetsOneQuadCap) {
    const QmtVector3 up(0, 0, 1);
    const auto detailed = makeDFMesh(cube(), positionUVs(true));
    const CutCounts counts = cut(detailed.get(), up, {0, 0, 0.5});
    ASSERT_EQ(counts.result, 0);
    // Six corner normals, two per crossing edge, one cap normal.
    EXPECT_EQ(counts.normalCount, 6u + 8u + 1u);
    EXPECT_EQ(counts.capFaces, 1u);
    EXPECT_EQ(counts.diagonalCount, 0u);
    ASSERT_EQ(detailed->numFaces, 6u);
    double area = 0.0;
    const std::vector<std::uint32_t> caps = expectCappedCut(*detailed, up, 0.5, 0.5, 1e-12, area);
    ASSERT_EQ(caps.size(), 1u);
    const ZYL_DFface& cap = detailed->faces[caps[0]];
    EXPECT_EQ(cap.numVertices, 4u);
    EXPECT_EQ(cap.flags, FACE_CAP);
    EXPECT_EQ(cap.numEdges, 0u);
    EXPECT_NEAR(area, 1.0, 1e-12);
    for (std::uint32_t k = 0; k < 4; ++k) {
        EXPECT_EQ(cap.normals[k], cap.normals[0]);  // one normal for all corners
    }
    EXPECT_EQ(detailed->cornerNormals[cap.normals[0]], -up);

    // The compact path: no corner normals, yet the cap still counts its normal slot.
    const auto compact = makeMeshWithPositionUVs(cube());
    const CutCounts compactCounts = cut(compact.get(), up, {0, 0, 0.5});
    ASSERT_EQ(compactCounts.result, 0);
    EXPECT_EQ(compactCounts.normalCount, 1u);
    ASSERT_EQ(compact->numFaces, 6u);
    const std::vector<std::uint32_t> compactCaps = expectCappedCut(*compact, up, 0.5, 0.5, 1e-12, area);
    ASSERT_EQ(compactCaps.size(), 1u);
    EXPECT_EQ(compact->faces[compactCaps[0]].numVertices, 4u);
    EXPECT_NEAR(area, 1.0, 1e-12);
}

TEST(ClipperCaps, SeparateSolidsGetACapEach) {
    const QmtVector3 up(0, 0, 1);
    const auto mesh = makeDFMesh(joined(cube(), cube(1.0, {3, 0, 0})), positionUVs(false));
    const CutCounts counts = cut(mesh.get(), up, {0, 0, 0.25});
    ASSERT_EQ(counts.result, 0);
    EXPECT_EQ(counts.capFaces, 2u);
    EXPECT_EQ(counts.normalCount, 2u);  // counted although the mesh has no normal array
    double area = 0.0;
    const std::vector<std::uint32_t> caps = expectCappedCut(*mesh, up, 0.25, 1.5, 1e-12, area);
    ASSERT_EQ(caps.size(), 2u);
    EXPECT_NEAR(area, 2.0, 1e-12);
    // One cap under each cube.
    const double x0 = mesh->worldVertices[mesh->faces[caps[0]].vertices[0]].x;
    const double x1 = mesh->worldVertices[mesh->faces[caps[1]].vertices[0]].x;
    EXPECT_TRUE((x0 <= 1.0 && x1 >= 3.0) || (x1 <= 1.0 && x0 >= 3.0));
}

TEST(ClipperCaps, RingGetsItsHoleBridged) {
    const QmtVector3 up(0, 0, 1);
    constexpr std::uint32_t n = 16;
    const double annulus = regularPolygonArea(n, 2.0) - regularPolygonArea(n, 1.0);
    const Shape thick = ring(n, 2.0, 1.0, 1.0);

    const auto detailed = makeDFMesh(thick, positionUVs(true));
    const CutCounts counts = cut(detailed.get(), up, {0, 0, 0.5});
    ASSERT_EQ(counts.result, 0);
    // The bridged loop is not convex: it is split along diagonals, two records each.
    EXPECT_GT(counts.diagonalCount, 0u);
    EXPECT_EQ(counts.diagonalCount % 2, 0u);
    EXPECT_GT(counts.capFaces, 1u);
    EXPECT_EQ(counts.normalCount, 4u * n + 4u * n + counts.capFaces);
    double area = 0.0;
    const std::vector<std::uint32_t> caps = expectCappedCut(*detailed, up, 0.5, 0.5 * annulus, 1e-9, area);
    EXPECT_EQ(caps.size(), counts.capFaces);
    EXPECT_NEAR(area, annulus, 1e-9);
    for (const std::uint32_t f : caps) {
        EXPECT_TRUE(convexAbout(facePoints(detailed->faces[f], detailed->worldVertices), -up)) << f;
    }

    const auto compact = makeMeshWithPositionUVs(thick);
    ASSERT_EQ(cut(compact.get(), up, {0, 0, 0.5}).result, 0);
    expectCappedCut(*compact, up, 0.5, 0.5 * annulus, 1e-9, area);
    EXPECT_NEAR(area, annulus, 1e-9);
}

TEST(ClipperCaps, HoleTouchingTheOutlineAtVerticesStaysAHole) {
    // A torus cut at x = -0.2 keeps its inner ring, which touches the cut at one vertex;
    // a cut at y = -0.2 as well makes it touch at two. Through the middle rings (z = 0)
    // the hole meets the outline there: it must stay open, and where it touches twice
    // the section falls into two pieces meeting at those points.
    using Plane = std::pair<QmtVector3, QmtVector3>;
    const Plane alongX{{1, 0, 0}, {-0.2, 0, 0}};
    const Plane alongY{{0, 1, 0}, {0, -0.2, 0}};
    const QmtVector3 up(0, 0, 1);
    for (const std::vector<Plane>& first : {std::vector<Plane>{alongX}, std::vector<Plane>{alongX, alongY}}) {
        SCOPED_TRACE(testing::Message() << first.size() << " touching vertices");
        const auto piece = [&first](const QmtVector3* side) {
            auto m = makeDFMesh(torus(24, 12, 0.35, 0.15), positionUVs(false));
            for (const auto& [n, p] : first) {
                EXPECT_EQ(cut(m.get(), n, p).result, 0);
            }
            EXPECT_EQ(side ? cut(m.get(), *side, {0, 0, 0}).result : 0, 0);
            return m;
        };
        const double whole = computeMeshVolume(piece(nullptr).get());
        double volume = 0.0;
        std::vector<double> areas;
        for (const QmtVector3& side : {up, -up}) {
            const auto half = piece(&side);
            areas.push_back(0.0);
            for (std::uint32_t f = 0; f < half->numFaces; ++f) {
                if ((half->faces[f].flags & FACE_CAP) && half->worldNormals[f] == -side) {
                    areas.back() += areaAbout(facePoints(half->faces[f], half->worldVertices), -side);
                }
            }
            expectValidIndices(*half);
            expectCapUVsNameTheirCorners(*half);
            expectClosed(*half);
            volume += computeMeshVolume(half.get());
        }
        EXPECT_NEAR(volume, whole, 1e-9 * whole);
        EXPECT_NEAR(areas[0], areas[1], 1e-9);
    }
}

// Cuts the shape on both mesh kinds (the detailed one first, with position UVs and
// optional corner normals) and hands each cut's counts and mesh to check.
template <class Check>
void cutBothKinds(const Shape& shape, bool cornerNormals, const QmtVector3& n, const QmtVector3& p,
                  Check check) {
    {
        SCOPED_TRACE("detailed");
        const auto detailed = makeDFMesh(shape, positionUVs(cornerNormals));
        check(cut(detailed.get(), n, p), *detailed);
    }
    {
        SCOPED_TRACE("compact");
        const auto compact = makeMeshWithPositionUVs(shape);
        check(cut(compact.get(), n, p), *compact);
    }
}

template <class Mesh>
constexpr bool isCompact = std::is_same_v<std::decay_t<Mesh>, ZYLmesh>;

TEST(ClipperCaps, LPrismGetsTwoConvexCaps) {
    const QmtVector3 up(0, 0, 1);
    const Shape ell = extruded({{0, 0}, {2, 0}, {2, 1}, {1, 1}, {1, 2}, {0, 2}}, 1.0);
    cutBothKinds(ell, false, up, {0, 0, 0.5}, [&](const CutCounts& counts, const auto& m) {
        ASSERT_EQ(counts.result, 0);
        // One split along the ray from the reflex corner: one diagonal pair, two caps.
        EXPECT_EQ(counts.diagonalCount, 2u);
        EXPECT_EQ(counts.capFaces, 2u);
        EXPECT_EQ(counts.normalCount, 2u);
        double area = 0.0;
        const std::vector<std::uint32_t> caps = expectCappedCut(m, up, 0.5, 1.5, 1e-12, area);
        ASSERT_EQ(caps.size(), 2u);
        EXPECT_NEAR(area, 3.0, 1e-12);
        std::uint32_t capCorners = 0;
        for (const std::uint32_t f : caps) {
            capCorners += m.faces[f].numVertices;
            EXPECT_TRUE(convexAbout(facePoints(m.faces[f], m.worldVertices), -up)) << f;
        }
        EXPECT_EQ(capCorners, 6u + 2u);  // the loop's corners, the diagonal's ends twice
    });
}

TEST(ClipperCaps, LPrismWithStraightCornersBesideItsReflexCornerIsCappedWhole) {
    // The reflex corner (1, 1) is followed by a straight corner either way round, so no
    // corner turns back and then on: the whole loop becomes one non-convex cap, which
    // the write-back must still turn to face -n.
    const QmtVector3 up(0, 0, 1);
    const Shape ell = extruded({{0, 0}, {2, 0}, {2, 1}, {1.5, 1}, {1, 1}, {1, 1.5}, {1, 2}, {0, 2}}, 1.0);
    cutBothKinds(ell, true, up, {0, 0, 0.5}, [&](const CutCounts& counts, const auto& m) {
        ASSERT_EQ(counts.result, 0);
        EXPECT_EQ(counts.diagonalCount, 0u);
        EXPECT_EQ(counts.capFaces, 1u);
        // Closed, the right volume, and the cap winding counter-clockwise about -n.
        double area = 0.0;
        const std::vector<std::uint32_t> caps = expectCappedCut(m, up, 0.5, 1.5, 1e-12, area);
        ASSERT_EQ(caps.size(), 1u);
        EXPECT_NEAR(area, 3.0, 1e-12);
        const auto& cap = m.faces[caps[0]];
        EXPECT_EQ(cap.numVertices, 8u);
        EXPECT_FALSE(convexAbout(facePoints(cap, m.worldVertices), -up));
        if constexpr (isCompact<decltype(m)>) {
            EXPECT_EQ(counts.normalCount, 1u);
        } else {
            EXPECT_EQ(counts.normalCount, 10u + 2u * 8u + 1u);  // one per face, two per crossing edge, the cap
            const ZYL_DFface& last = m.faces[m.numFaces - 1];
            ASSERT_EQ(last.flags, FACE_CAP);
            EXPECT_EQ(m.cornerNormals[last.normals[0]], -up);
        }
    });
}

TEST(ClipperCaps, CapsOfMeshesWithoutUVsTakeUVIndexZero) {
    // Split caps and a cap made whole, on both mesh kinds: the cap corners have no UV to
    // read, and their UV indices must still be set.
    const QmtVector3 up(0, 0, 1);
    const Shape ells[] = {extruded({{0, 0}, {2, 0}, {2, 1}, {1, 1}, {1, 2}, {0, 2}}, 1.0),
                          extruded({{0, 0}, {2, 0}, {2, 1}, {1.5, 1}, {1, 1}, {1, 1.5}, {1, 2}, {0, 2}}, 1.0)};
    for (const Shape& ell : ells) {
        SCOPED_TRACE(ell.vertices.size());
        const auto expectZeroCapUVs = [](const auto& m, std::uint32_t expectedCaps) {
            std::uint32_t caps = 0;
            for (std::uint32_t f = 0; f < m.numFaces; ++f) {
                if (m.faces[f].flags & FACE_CAP) {
                    ++caps;
                    EXPECT_EQ(cornerUVs(m.faces[f]), Indices(m.faces[f].numVertices, 0u)) << f;
                }
            }
            EXPECT_EQ(caps, expectedCaps);
        };
        const auto detailed = makeDFMesh(ell);
        const CutCounts counts = cut(detailed.get(), up, {0, 0, 0.5});
        ASSERT_EQ(counts.result, 0);
        ASSERT_EQ(detailed->uvs, nullptr);
        expectZeroCapUVs(*detailed, counts.capFaces);
        expectClosed(*detailed);

        const auto compact = makeMesh(ell);
        ASSERT_EQ(cut(compact.get(), up, {0, 0, 0.5}).result, 0);
        ASSERT_EQ(compact->uvs, nullptr);
        expectZeroCapUVs(*compact, counts.capFaces);
        expectClosed(*compact);
    }
}

TEST(ClipperCaps, LoopsOfTwoEdgesMakeNoFaceAndSliverTrianglesCloseTheCut) {
    const QmtVector3 up(0, 0, 1);

    // A double-sided vertical triangle: each side leaves one closing edge between the
    // same two cut vertices, a loop of two edges, which gets no cap and no cap normal.
    Shape fin;
    fin.vertices = {{0, 0, 0}, {2, 0, 0}, {1, 0, 2}};
    fin.faces = {{0, 1, 2}, {0, 2, 1}};
    const auto thin = makeDFMesh(fin, positionUVs(true));
    const CutCounts finCounts = cut(thin.get(), up, {0, 0, 1});
    ASSERT_EQ(finCounts.result, 0);
    EXPECT_EQ(finCounts.capFaces, 0u);
    EXPECT_EQ(finCounts.normalCount, 2u + 2u * 2u);  // two crossing edges, no cap normal
    ASSERT_EQ(thin->numFaces, 2u);
    for (std::uint32_t f = 0; f < 2; ++f) {
        EXPECT_EQ(thin->faces[f].flags & FACE_CAP, 0) << f;
        EXPECT_EQ(thin->faces[f].numVertices, 3u) << f;
    }

    // A prism over a 100 x 5e-4 triangle: its cap triangle is degenerate relative to its
    // longest side (5e-4 < 1e-5 x 100), yet it is the cut's only cover: it is made, with
    // its normal slot, and the piece stays closed.
    const Shape sliver = extruded({{0, 0}, {100, 0}, {50, 5e-4}}, 1.0);
    const auto mesh = makeDFMesh(sliver, positionUVs(true));
    const CutCounts counts = cut(mesh.get(), up, {0, 0, 0.5});
    ASSERT_EQ(counts.result, 0);
    EXPECT_EQ(counts.capFaces, 1u);
    EXPECT_EQ(counts.normalCount, 5u + 2u * 3u + 1u);
    expectClosed(*mesh);
}

TEST(ClipperCaps, RandomPlanesLeaveClosedPiecesThatAddUp) {
    // Each plane cuts two copies, keeping either side: both pieces must be closed, their
    // caps must read UVs of their own corners, and their volumes must add up to the whole.
    std::mt19937 random(2024);
    std::uniform_real_distribution<double> unit(-1.0, 1.0);
    const Shape shapes[] = {sphere(8, 12, 1.0), prism(12, 1.0, 0.8), ring(12, 1.0, 0.5, 0.6),
                            extruded({{0, 0}, {1, 0}, {1, 0.4}, {0.4, 0.4}, {0.4, 1}, {0, 1}}, 0.7),
                            extruded(combPolygon(), 0.6)};
    int cuts = 0;
    for (const Shape& shape : shapes) {
        const auto whole = makeDFMesh(shape, positionUVs(true));
        const double total = computeMeshVolume(whole.get());
        for (int i = 0; i < 80; ++i) {
            // Planes passing right by a vertex leave slivers that the write-back drops,
            // opening the mesh there; those are not drawn.
            QmtVector3 n;
            QmtVector3 p;
            bool clear = false;
            while (!clear) {
                n = randomDirection(random);
                p = {0.3 * unit(random), 0.3 * unit(random), 0.3 + 0.2 * unit(random)};
                clear = true;
                for (const QmtVector3& v : shape.vertices) {
                    clear = clear && std::fabs(n.Dot(v - p)) > 1e-3;
                }
            }
            SCOPED_TRACE(testing::Message() << "shape " << (&shape - shapes) << " plane " << i);
            const auto above = makeDFMesh(shape, positionUVs(true));
            const auto below = makeDFMesh(shape, positionUVs(true));
            const std::int32_t resultAbove = cut(above.get(), n, p).result;
            const std::int32_t resultBelow = cut(below.get(), -n, p).result;
            if (resultAbove != 0) {
                EXPECT_EQ(resultBelow, -resultAbove);
                continue;
            }
            ASSERT_EQ(resultBelow, 0);
            ++cuts;
            for (const ZYL_DFmesh* piece : {above.get(), below.get()}) {
                expectValidIndices(*piece);
                expectCapUVsNameTheirCorners(*piece);
                for (std::uint32_t f = 0; f < piece->numFaces; ++f) {
                    if (piece->faces[f].flags & FACE_CAP) {
                        const std::vector<QmtVector3> points = facePoints(piece->faces[f], piece->worldVertices);
                        EXPECT_GT(areaAbout(points, piece->worldNormals[f]), 0.0) << f;
                        EXPECT_TRUE(convexAbout(points, piece->worldNormals[f]) ||
                                    straightBesideReflex(points, piece->worldNormals[f]))
                            << f;
                    }
                }
                expectClosed(*piece);
            }
            EXPECT_NEAR(computeMeshVolume(above.get()) + computeMeshVolume(below.get()), total, 1e-9 * total + 1e-12);
            EXPECT_GT(computeMeshVolume(above.get()), 0.0);
            EXPECT_GT(computeMeshVolume(below.get()), 0.0);
        }
    }
    EXPECT_GT(cuts, 300);
}

TEST(ClipperCaps, DiagonalsEndAtVerticesTheCornerSees) {
    // A slot rises from the bottom to the reflex corner (0, 0), the deepest of the loop.
    // The ray on from it hits the top edge, whose far end (3, 4) hides behind a notch in
    // the right wall, so the diagonal must end at the near end (-2, 4). With a second
    // notch in the left wall that end hides too, and a later loop vertex must be taken.
    // A diagonal crossing a notch leaves a piece overlapping itself and a lost cap.
    const std::vector<std::pair<double, double>> rightNotch = {
        {-0.1, -5}, {3, -5}, {3, 2.8}, {0.5, 3.2}, {3, 3.5}, {3, 4}, {-2, 4}, {-2, -5}, {-0.3, -5}, {0, 0}};
    std::vector<std::pair<double, double>> bothNotches = rightNotch;
    bothNotches.insert(bothNotches.begin() + 7, {{-2, 3.5}, {-0.5, 3.2}, {-2, 2.8}});
    for (const auto& polygon : {rightNotch, bothNotches}) {
        SCOPED_TRACE(polygon.size());
        const Shape shape = extruded(polygon, 1.0);
        const double whole = computeMeshVolume(makeDFMesh(shape).get());  // height 1: also the section's area
        for (const double side : {1.0, -1.0}) {
            SCOPED_TRACE(side);
            const QmtVector3 n(0, 0, side);
            const auto mesh = makeDFMesh(shape, positionUVs(true));
            const CutCounts counts = cut(mesh.get(), n, {0, 0, 0.5});
            ASSERT_EQ(counts.result, 0);
            EXPECT_GT(counts.diagonalCount, 0u);
            EXPECT_EQ(counts.diagonalCount / 2 + 1, counts.capFaces);  // each split adds one cap
            double area = 0.0;
            const std::vector<std::uint32_t> caps = expectCappedCut(*mesh, n, 0.5 * side, 0.5 * whole, 1e-9, area);
            EXPECT_NEAR(area, whole, 1e-9);
            for (const std::uint32_t f : caps) {
                EXPECT_TRUE(convexAbout(facePoints(mesh->faces[f], mesh->worldVertices), -n)) << f;
            }
        }
    }
}

TEST(ClipperCaps, LoopWhoseRayMissesEveryEdgeIsStillCapped) {
    // Cut obliquely, the comb's tooth roots stay in line. The ray from one reflex root runs
    // along that line through the next roots and, by rounding, meets none of their edges;
    // the corner must still be split off along a diagonal it sees.
    const QmtVector3 n(0.66380019498322484, -0.18113623028169795, -0.72564382945048767);
    const QmtVector3 p(0.093822397485660389, 0.2035097309723313, 0.14051415181486465);
    const Shape comb = extruded(combPolygon(), 0.6);
    const double whole = computeMeshVolume(makeDFMesh(comb).get());
    const auto above = makeDFMesh(comb, positionUVs(true));
    const auto below = makeDFMesh(comb, positionUVs(true));
    ASSERT_EQ(cut(above.get(), n, p).result, 0);
    const CutCounts counts = cut(below.get(), -n, p);
    ASSERT_EQ(counts.result, 0);
    EXPECT_GT(counts.diagonalCount, 0u);
    double area[2] = {};
    for (const ZYL_DFmesh* piece : {above.get(), below.get()}) {
        const double sign = piece == above.get() ? 1.0 : -1.0;
        expectValidIndices(*piece);
        capFaces(*piece, n * sign, sign * n.Dot(p), area[piece == below.get()]);
        expectCapUVsNameTheirCorners(*piece);
        expectClosed(*piece);
    }
    EXPECT_NEAR(area[0], area[1], 1e-9);  // both sides close the same section
    EXPECT_NEAR(computeMeshVolume(above.get()) + computeMeshVolume(below.get()), whole, 1e-9 * whole);
}
