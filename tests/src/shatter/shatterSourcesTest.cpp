// zylShatter on the meshes users bring: thin plates, closed meshes whose faces do not
// share their corners, open meshes, and a host that fails to make a shard. Every run
// ends in sound shards (closed, right side out, filling the source) or in a clear error
// with nothing made; an open mesh is shattered with a warning.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <map>
#include <numbers>
#include <random>
#include <string>
#include <vector>

#include "shatterTestSupport.h"

namespace {

using Points = std::vector<MFloatPoint>;
using Faces = std::vector<std::vector<int>>;

// Faces wound outwards.
const Points kCubePoints = {{-0.5f, -0.5f, -0.5f}, {0.5f, -0.5f, -0.5f}, {0.5f, 0.5f, -0.5f}, {-0.5f, 0.5f, -0.5f},
                            {-0.5f, -0.5f, 0.5f},  {0.5f, -0.5f, 0.5f},  {0.5f, 0.5f, 0.5f},  {-0.5f, 0.5f, 0.5f}};
const Faces kCubeFaces = {{0, 3, 2, 1}, {4, 5, 6, 7}, {0, 1, 5, 4}, {1, 2, 6, 5}, {2, 3, 7, 6}, {3, 0, 4, 7}};

// A prism over a regular n-gon, and a triangulated latitude-longitude sphere.
void prism(int n, Points& points, Faces& faces) {
    for (int i = 0; i < 2 * n; ++i) {
        const double a = 2.0 * std::numbers::pi * (i % n) / n;
        points.push_back(MFloatPoint(static_cast<float>(0.5 * std::cos(a)), static_cast<float>(0.5 * std::sin(a)),
                                     i < n ? -0.5f : 0.5f));
    }
    std::vector<int> bottom, top;
    for (int i = 0; i < n; ++i) {
        bottom.push_back(n - 1 - i);
        top.push_back(n + i);
        faces.push_back({i, (i + 1) % n, n + (i + 1) % n, n + i});
    }
    faces.push_back(bottom);
    faces.push_back(top);
}
void sphere(int rings, int segments, Points& points, Faces& faces) {
    points.push_back(MFloatPoint(0, 0, 0.5f));
    for (int i = 1; i <= rings; ++i) {
        for (int j = 0; j < segments; ++j) {
            const double t = std::numbers::pi * i / (rings + 1), f = 2.0 * std::numbers::pi * j / segments;
            points.push_back(MFloatPoint(static_cast<float>(0.5 * std::sin(t) * std::cos(f)),
                                         static_cast<float>(0.5 * std::sin(t) * std::sin(f)),
                                         static_cast<float>(0.5 * std::cos(t))));
        }
    }
    const int south = static_cast<int>(points.size());
    points.push_back(MFloatPoint(0, 0, -0.5f));
    const auto at = [segments](int ring, int j) { return 1 + (ring - 1) * segments + j % segments; };
    for (int j = 0; j < segments; ++j) {
        faces.push_back({0, at(1, j), at(1, j + 1)});
        for (int i = 1; i < rings; ++i) {
            faces.push_back({at(i, j), at(i + 1, j), at(i + 1, j + 1)});
            faces.push_back({at(i, j), at(i + 1, j + 1), at(i, j + 1)});
        }
        faces.push_back({south, at(rings, j + 1), at(rings, j)});
    }
}

// The same faces, each with corners of its own.
void splitCorners(Points& points, Faces& faces) {
    Points split;
    for (auto& face : faces) {
        for (int& v : face) {
            split.push_back(points[static_cast<std::size_t>(v)]);
            v = static_cast<int>(split.size()) - 1;
        }
    }
    points = split;
}

class ShatterSources : public zyltest::ShatterTest {
protected:
    // A mesh "name" with shape "nameShape".
    static void makeMesh(const std::string& name, const Points& points, const Faces& faces) {
        MFloatPointArray p;
        for (const MFloatPoint& q : points) p.append(q);
        MIntArray counts, connects;
        for (const auto& face : faces) {
            counts.append(static_cast<int>(face.size()));
            for (const int v : face) connects.append(v);
        }
        MFnMesh fn;
        const MObject transform = fn.create(static_cast<int>(p.length()), static_cast<int>(counts.length()), p, counts,
                                            connects, MObject::kNullObj);
        ASSERT_FALSE(transform.isNull());
        MFnDependencyNode(transform).setName(MString(name.c_str()));
        MFnDependencyNode(fn.object()).setName(MString((name + "Shape").c_str()));
    }
    static bool visible(const std::string& name) { return MFnDependencyNode(node(name)).findPlug("visibility").asBool(); }

    // A mesh's world polygons: closed (each edge once each way), its volume and area, and
    // how far single-precision points may have moved it.
    struct Measure {
        bool closed = true;
        double volume = 0.0, area = 0.0, rounding = 0.0;
    };
    static Measure measure(const std::string& name) {
        const MFnMesh fn(shapePath(name));
        MPointArray points;
        fn.getPoints(points, MSpace::kWorld);
        Measure m;
        std::map<std::pair<int, int>, int> edges;
        double reach = 0.0;
        for (const MPoint& p : points) reach = std::max({reach, std::fabs(p.x), std::fabs(p.y), std::fabs(p.z)});
        for (int f = 0; f < fn.numPolygons(); ++f) {
            MIntArray v;
            fn.getPolygonVertices(f, v);
            MVector twice;
            for (unsigned k = 0; k < v.length(); ++k) {
                const MVector a(points[v[k]]), b(points[v[(k + 1) % v.length()]]);
                ++edges[{v[k], v[(k + 1) % v.length()]}];
                twice += a ^ b;
                if (k >= 2) m.volume += MVector(points[v[0]]) * (MVector(points[v[k - 1]]) ^ MVector(points[v[k]])) / 6.0;
            }
            m.area += twice.length() / 2.0;
        }
        for (const auto& [e, n] : edges) {
            const auto reverse = edges.find({e.second, e.first});
            m.closed = m.closed && n == 1 && reverse != edges.end() && reverse->second == 1;
        }
        m.rounding = 4.0 * 0x1p-24 * reach * m.area;
        return m;
    }
    static std::size_t meshes() { return nodesOfType("mesh").size(); }

    // zylShatter on the named source, which is sound shards that fill it or a clear
    // error with nothing made; the shard count or -1.
    static int shatterSoundly(const std::string& source, unsigned shards, unsigned seed) {
        const Measure whole = measure(source);
        const std::size_t before = meshes();
        rt().log.clear();
        host::Result result;
        const bool made = static_cast<bool>(mel("zylShatter -ns " + std::to_string(shards) + " -sed " + std::to_string(seed) + " " +
                              source, &result));
        rt().idle.flush();
        const std::string what = source + " -ns " + std::to_string(shards) + " -sed " + std::to_string(seed);
        if (!made) {
            EXPECT_TRUE(rt().log.contains(host::LogKind::Error, source + "Shape")) << what << "\n" << rt().log.text();
            EXPECT_EQ(meshes(), before) << what;
            EXPECT_TRUE(nodesOfType("voronoiNode").empty()) << what;
            EXPECT_TRUE(visible(source)) << what;
            return -1;
        }
        const auto* names = std::get_if<std::vector<std::string>>(&result);
        EXPECT_NE(names, nullptr) << what;
        if (!names) return -1;
        double volume = 0.0, allowed = 1e-4 * whole.volume + whole.rounding;
        for (const std::string& shard : *names) {
            const Measure m = measure(shard);
            EXPECT_TRUE(m.closed) << what << " " << shard;
            EXPECT_GT(m.volume, m.rounding) << what << " " << shard;
            volume += m.volume;
            allowed += m.rounding;
        }
        EXPECT_NEAR(volume, whole.volume, allowed) << what;
        EXPECT_FALSE(rt().log.contains(host::LogKind::Error, "")) << what << "\n" << rt().log.text();
        return static_cast<int>(names->size());
    }
};

TEST_F(ShatterSources, APlateTooThinForTheCutIsRefusedWithItsThicknessAndAThickerOneCut) {
    ASSERT_TRUE(mel("makeMesh -cube -name src; xform -ws -s 2 0.0001 2 src"));
    EXPECT_EQ(shatterSoundly("src", 20, 7), -1);
    EXPECT_TRUE(rt().log.contains(host::LogKind::Error, "srcShape is too thin to shatter: 0.0001 thick for a size of "));
    EXPECT_FALSE(rt().log.contains(host::LogKind::Warning, "cannot be shattered"));

    ASSERT_TRUE(mel("makeMesh -cube -name plate; xform -ws -s 2 0.001 2 plate; setAttr plate.rotateX 30"));
    EXPECT_EQ(shatterSoundly("plate", 20, 7), 20);
}

TEST_F(ShatterSources, AClosedMeshWithCornersOfItsOwnPerFaceShattersLikeItsWeldedTwin) {
    Points points = kCubePoints;
    Faces faces = kCubeFaces;
    makeMesh("welded", points, faces);
    splitCorners(points, faces);
    makeMesh("split", points, faces);
    ASSERT_EQ(MFnMesh(shapePath("split")).numVertices(), 24);

    const auto volumes = [](const std::string& source) {
        std::vector<double> out;
        for (const std::string& shard : shatter("-ns 10 -sed 7 " + source)) out.push_back(measure(shard).volume);
        std::ranges::sort(out);
        return out;
    };
    const std::vector<double> twin = volumes("welded");
    ASSERT_EQ(twin.size(), 10u);
    const std::vector<double> mine = volumes("split");
    ASSERT_EQ(mine.size(), twin.size());
    for (std::size_t i = 0; i < twin.size(); ++i) EXPECT_NEAR(mine[i], twin[i], 1e-6) << i;
    // The source itself is left as it was.
    EXPECT_EQ(MFnMesh(shapePath("split")).numVertices(), 24);
}

TEST_F(ShatterSources, AnOpenMeshIsShatteredWithOneWarning) {
    Faces faces = kCubeFaces;
    faces.pop_back();
    makeMesh("box", kCubePoints, faces);
    makeMesh("other", kCubePoints, faces);
    ASSERT_TRUE(mel("setAttr other.translateX 3"));
    EXPECT_EQ(shatter("-ns 6 -sed 2 box other").size(), 12u);
    std::size_t warned = 0;
    for (const host::LogRecord& r : rt().log.records()) {
        warned += r.kind == host::LogKind::Warning && r.text.find("is not closed") != std::string::npos;
    }
    EXPECT_EQ(warned, 2u);
    EXPECT_TRUE(rt().log.contains(host::LogKind::Warning, "boxShape is not closed: its shards will not be closed either"));
}

TEST_F(ShatterSources, AShardTheHostCannotMakeTakesBackTheShardsOfItsSourceAndFailsTheCommand) {
    ASSERT_TRUE(mel("makeMesh -cube -size 2 -name a; makeMesh -cube -size 2 -name b; setAttr b.translateX 4"));
    ASSERT_TRUE(mel("hostOption -failMeshCreateAfter 10"));
    host::Result result;
    EXPECT_FALSE(mel("zylShatter -ns 8 -sed 3 a b", &result));
    rt().idle.flush();
    EXPECT_TRUE(rt().log.contains(host::LogKind::Error, "bShape: Unable to create mesh, none of its shards was kept"));
    // The first mesh's shards stand; none of the second's is left, and it shows again.
    EXPECT_TRUE(exists("aShape_shard1"));
    for (int i = 1; i <= 8; ++i) EXPECT_FALSE(exists("bShape_shard" + std::to_string(i))) << i;
    EXPECT_EQ(nodesOfType("voronoiNode").size(), 1u);
    EXPECT_TRUE(visible("b"));
    EXPECT_FALSE(visible("a"));
    EXPECT_EQ(meshes(), 2u + 8u);
}

// Random thin boxes, closed meshes with split corners and open meshes, each with 10 and
// 100 seeds.
TEST_F(ShatterSources, ThinUnweldedAndOpenMeshesGiveSoundShardsOrAClearError) {
    std::mt19937 rng(89);
    std::uniform_real_distribution<double> u(0.0, 1.0);
    int refused = 0;
    int cut = 0;
    const auto place = [&](const std::string& name) {
        ASSERT_TRUE(mel("setAttr " + name + ".rotate " + std::to_string(360 * u(rng)) + " " +
                        std::to_string(360 * u(rng)) + " " + std::to_string(360 * u(rng)) + "; setAttr " + name +
                        ".translate " + std::to_string(4 * u(rng)) + " " + std::to_string(4 * u(rng)) + " 0"));
    };
    for (int i = 0; i < 30; ++i) {
        const double a = 1 + 3 * u(rng), b = 1 + 3 * u(rng);
        const double thickness = std::min(a, b) * std::pow(10.0, -6 + 4 * u(rng));
        // Plates well within the cut's tolerances are cut, those far beyond them refused.
        const double share = thickness / std::max(a, b);
        const std::string name = "thin" + std::to_string(i);
        makeMesh(name, kCubePoints, kCubeFaces);
        ASSERT_TRUE(mel("setAttr " + name + ".scale " + std::to_string(a) + " " + std::to_string(thickness) + " " +
                        std::to_string(b)));
        place(name);
        for (const unsigned shards : {10u, 100u}) {
            const int made = shatterSoundly(name, shards, 1 + rng() % 1000);
            (made < 0 ? refused : cut) += 1;
            if (share > 2e-4) {
                EXPECT_GE(made, 0) << name << " " << share;
            } else if (share < 5e-5) {
                EXPECT_LT(made, 0) << name << " " << share;
            }
            if (made >= 0) {
                ASSERT_TRUE(mel("undo"));
            }
        }
    }
    EXPECT_GT(refused, 0);
    EXPECT_GT(cut, 0);
    std::printf("thin boxes: %d runs cut, %d refused\n", cut, refused);

    for (int shape = 0; shape < 3; ++shape) {
        Points points;
        Faces faces;
        if (shape == 0) {
            points = kCubePoints;
            faces = kCubeFaces;
        } else if (shape == 1) {
            prism(7, points, faces);
        } else {
            sphere(8, 16, points, faces);
        }
        splitCorners(points, faces);
        const std::string name = "split" + std::to_string(shape);
        makeMesh(name, points, faces);
        place(name);
        for (const unsigned shards : {10u, 100u}) {
            // Closed once its corners are shared, it is cut (a seed or two may make no shard).
            ASSERT_GT(shatterSoundly(name, shards, 1 + rng() % 1000), static_cast<int>(shards) * 9 / 10) << name;
            ASSERT_TRUE(mel("undo"));
        }
        // Without one face it is open: shattered all the same, with a warning.
        faces.pop_back();
        const std::string open = "open" + std::to_string(shape);
        makeMesh(open, points, faces);
        place(open);
        for (const unsigned shards : {10u, 100u}) {
            rt().log.clear();
            EXPECT_FALSE(shatter("-ns " + std::to_string(shards) + " -sed 5 " + open).empty()) << open;
            EXPECT_TRUE(rt().log.contains(host::LogKind::Warning, open + "Shape is not closed")) << open;
            ASSERT_TRUE(mel("undo"));
        }
    }
}

}  // namespace
