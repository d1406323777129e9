// Both hull builders must keep giving the same meshes to the last bit: vertex order,
// face order, corner order and every coordinate and normal. A hash of each result on
// fixed clouds is compared with the one the builders gave when it was recorded; a
// faster builder must reproduce it exactly.

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "geometry/hull/convexHull.h"

namespace {

using Qmt::QmtVector3;
using Cloud = std::vector<QmtVector3>;

// Directions of three normal draws, unit length, times the radius (as the benchmark).
Cloud sphere(std::uint32_t n, double radius, std::uint32_t seed = 12345) {
    std::mt19937 rng(seed);
    std::normal_distribution<double> g(0.0, 1.0);
    Cloud pts;
    while (pts.size() < n) {
        QmtVector3 p(g(rng), g(rng), g(rng));
        if (p.Unitize(1e-9) > 0.0) pts.push_back(p * radius);
    }
    return pts;
}

Cloud cube(std::uint32_t n, std::uint32_t seed = 12345) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    Cloud pts;
    for (std::uint32_t i = 0; i < n; ++i) pts.emplace_back(u(rng), u(rng), u(rng));
    return pts;
}

// Degenerate kinds: exact ties and coplanar runs, repeated points, a side pressed
// flat, points on the faces of a box, a thin turned box, a rippled shell.
Cloud lattice(std::uint32_t n) {
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> u(-3, 3);
    Cloud pts;
    for (std::uint32_t i = 0; i < n; ++i) pts.emplace_back(u(rng), u(rng), u(rng));
    return pts;
}

Cloud withDuplicates(std::uint32_t n) {
    Cloud pts = sphere(n, 1.0, 5);
    for (std::uint32_t i = 0; i < n; ++i) pts.push_back(pts[(i * 7) % n]);
    return pts;
}

Cloud flattened(std::uint32_t n) {
    Cloud pts = sphere(n, 1.0, 6);
    for (QmtVector3& p : pts) p.z = p.z < 0.0 ? p.z * 1e-6 : p.z;
    return pts;
}

Cloud boxSurface(std::uint32_t n) {
    Cloud pts = cube(n, 9);
    for (std::uint32_t i = 0; i < n; ++i) {
        double* c[3] = {&pts[i].x, &pts[i].y, &pts[i].z};
        *c[i % 3] = (i / 3) % 2 ? 1.0 : -1.0;
    }
    return pts;
}

Cloud thinBox() {
    const double h[3] = {0.00117087, 0.0909242, 0.145748};
    const double a = 0.7, b = 0.4;  // turned about z, then x
    Cloud pts;
    for (int i = 0; i < 8; ++i) {
        const double x = i & 1 ? h[0] : -h[0], y = i & 2 ? h[1] : -h[1], z = i & 4 ? h[2] : -h[2];
        const double x1 = std::cos(a) * x - std::sin(a) * y, y1 = std::sin(a) * x + std::cos(a) * y;
        pts.emplace_back(x1, std::cos(b) * y1 - std::sin(b) * z, std::sin(b) * y1 + std::cos(b) * z);
    }
    return pts;
}

Cloud rippled(std::uint32_t n) {
    Cloud pts = sphere(n, 1.0, 5);
    for (QmtVector3& p : pts) p = p * (1.0 + 3e-6 * std::sin(37.0 * p.x));
    return pts;
}

Cloud planar(std::uint32_t n) {
    Cloud pts = cube(n, 3);
    for (QmtVector3& p : pts) p.z = 0.5;
    return pts;
}

// FNV-1a over the result's counts, vertices, face corners and normals.
constexpr std::uint64_t NO_HULL = 0xcbf29ce484222325ull;  // the hash of a null result

struct Hash {
    std::uint64_t h = NO_HULL;
    void add(std::uint64_t x) {
        for (int i = 0; i < 8; ++i) {
            h = (h ^ ((x >> (8 * i)) & 0xFF)) * 0x100000001b3ull;
        }
    }
    void add(const QmtVector3& v) {
        add(std::bit_cast<std::uint64_t>(v.x));
        add(std::bit_cast<std::uint64_t>(v.y));
        add(std::bit_cast<std::uint64_t>(v.z));
    }
};

template <class Mesh>
std::uint64_t hashOf(const Mesh* m) {
    Hash hash;
    if (!m) return hash.h;
    hash.add(m->numVertices);
    for (std::uint32_t i = 0; i < m->numVertices; ++i) hash.add(m->vertices[i]);
    hash.add(m->numFaces);
    for (std::uint32_t f = 0; f < m->numFaces; ++f) {
        hash.add(m->faces[f].numVertices);
        for (std::uint32_t k = 0; k < m->faces[f].numVertices; ++k) hash.add(m->faces[f].vertices[k]);
        hash.add(m->normals[f]);
        hash.add(m->worldNormals[f]);
    }
    return hash.h;
}

struct Case {
    const char* name;
    std::function<Cloud()> cloud;
    std::uint64_t mesh;  // hash of buildConvexHullMesh
    std::uint64_t df;    // hash of buildConvexHullDFmesh
};

void expectHashes(const std::vector<Case>& cases) {
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Cloud pts = c.cloud();
        const auto n = static_cast<std::uint32_t>(pts.size());
        const std::unique_ptr<ZYLmesh> m(buildConvexHullMesh(pts.data(), n));
        const std::unique_ptr<ZYL_DFmesh> d(buildConvexHullDFmesh(pts.data(), n));
        EXPECT_EQ(hashOf(m.get()), c.mesh) << std::hex << "0x" << hashOf(m.get());
        EXPECT_EQ(hashOf(d.get()), c.df) << std::hex << "0x" << hashOf(d.get());
    }
}

TEST(ConvexHullHash, BuildersGiveRecordedMeshes) {
    expectHashes({
        {"unit sphere 1e3", [] { return sphere(1000, 1.0); }, 0xeba679f60d9ef1, 0x26ed94bd6e15c43f},
        {"unit sphere 1e4", [] { return sphere(10000, 1.0); }, 0x7931c699d5e20af4, 0xaea859b6f00004cc},
        {"radius-100 sphere 1e3", [] { return sphere(1000, 100.0); }, 0xb8a552514a8dd914, 0xae8746d0c38faba4},
        {"radius-100 sphere 1e4", [] { return sphere(10000, 100.0); }, 0x35605900f356e7f9, 0x7ebdc09a4aa92885},
        {"cube 1e3", [] { return cube(1000); }, 0x843712662b1a446e, 0x4ad9375a25e8cfdb},
        {"cube 1e4", [] { return cube(10000); }, 0x7bdb8117daa83c91, 0xf237291e0cfc0f98},
        // Its plain DF build takes three points from deep inside the cloud.
        {"cube 5000 seed 18", [] { return cube(5000, 18); }, 0x6b1bce4216295e01, 0x2ed0ba894be1ebb3},
        {"unit sphere 200 seed 28", [] { return sphere(200, 1.0, 28); }, 0x2a734324f03f4be3, 0xf4b53895b4ab4a32},
        {"unit sphere 1e3 seed 1", [] { return sphere(1000, 1.0, 1); }, 0x45a8cb0c517a0e97, 0xcba25f4f43f2cffa},
        {"small sphere", [] { return sphere(500, 1e-3, 1); }, NO_HULL, NO_HULL},
        {"dense small sphere", [] { return sphere(500, 0.02, 1); }, 0xcabe6c94d9354804, 0xbf88764d9a9da318},
        {"lattice", [] { return lattice(1000); }, 0xf849c565d4a93e8b, 0x19629aef1915327},
        {"duplicates", [] { return withDuplicates(400); }, 0x53748459dbf7ba58, 0x262bb4849a94c90d},
        {"flattened", [] { return flattened(400); }, 0xca88d8aea8e4d8df, 0x2d2e60815db1a3d},
        {"box surface", [] { return boxSurface(2000); }, 0x3a04d59e0ae15d22, 0xafb155e38e058a92},
        {"thin box", [] { return thinBox(); }, 0x74cb5b61b3f25c28, 0x245271d9879a4f7},
        {"rippled", [] { return rippled(300); }, 0x7496ae1208784cc8, 0x2a3de0d116778a31},
        {"planar", [] { return planar(100); }, NO_HULL, NO_HULL},
        {"triangle", [] { return Cloud{{0, 0, 0}, {2, 0, 0}, {0, 3, 0}}; }, 0xdf003010099aff2f, 0xdf003010099aff2f},
    });
}

#if !defined(__SANITIZE_ADDRESS__)
// Uniform in [-1, 1]^3, 33,000 to 103,000 points as the generator draws.
Cloud cubeOfDrawnSize(std::uint32_t seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    const std::uint32_t n = 33000 + rng() % 70000;
    Cloud pts;
    while (pts.size() < n) {
        const QmtVector3 q(u(rng), u(rng), u(rng));
        pts.push_back(q);
    }
    return pts;
}

// A large cloud only in optimised builds (the large spheres are benchmarked).
TEST(ConvexHullHash, LargeCloudGivesRecordedMeshes) {
    expectHashes({
        {"cube 1e5", [] { return cube(100000); }, 0x57cc3814ba109113, 0xc419fa707562e8cf},
        // Both first builds fail: the last builds make its hull.
        {"cube of 59,044", [] { return cubeOfDrawnSize(0); }, 0xad3c203e530caa78, 0x05c8055c2b96b0f3},
    });
}
#endif

}  // namespace
