// Capsule-triangle contacts (capsule bodies against triangle-mesh leaves) and the
// triangle-pair distance of the face-pair searches.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

#include "bench/benchSupport.h"
#include "geometry/bounds/boundingVolumes.h"
#include "geometry/query/capsuleProximity.h"
#include "math/qmtMatrix3.h"
#include "math/qmtVector3.h"

namespace {

using Qmt::QmtVector3;

constexpr std::size_t COUNT = 1024;

struct Triangle {
    QmtVector3 v[3];
    QmtVector3 normal;
};

// Corners uniform in [-2, 2)^3.
std::vector<Triangle> randomTriangles(std::size_t n, unsigned seed) {
    const auto corners = benchdata::randomPoints(3 * n, seed, -2.0, 2.0);
    std::vector<Triangle> tris(n);
    for (std::size_t i = 0; i < n; ++i) {
        std::copy_n(&corners[3 * i], 3, tris[i].v);
        tris[i].normal = benchdata::triangleNormal(tris[i].v);
    }
    return tris;
}

std::vector<ZYLcapsule> randomCapsules(std::size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> u(-2.0, 2.0);
    std::vector<ZYLcapsule> caps(n);
    for (auto& c : caps) {
        c.centre = QmtVector3(u(rng), u(rng), u(rng));
        c.axis = QmtVector3(u(rng), u(rng), u(rng));
        c.axis.Unitize(Qmt::QmtMatrix3::EPSILON);
        c.length = 1.0 + 0.25 * u(rng);
        c.radius = 0.5;
    }
    return caps;
}

void BM_CapsuleTriangleContact(benchmark::State& state) {
    const auto tris = randomTriangles(COUNT, 1);
    const auto caps = randomCapsules(COUNT, 2);
    benchdata::sumOverItems(state, COUNT, [&](std::size_t i) {
        QmtVector3 points[2];
        QmtVector3 normal;
        std::uint32_t count = 0;
        double depth = 0.0;
        capsuleTriangleContact(caps[i], tris[i].v, tris[i].normal, points, normal, count, depth);
        return depth + points[0].x + count;
    });
}
BENCHMARK(BM_CapsuleTriangleContact);

void BM_SqrDistanceTriangleTriangle(benchmark::State& state) {
    const auto a = randomTriangles(COUNT, 3);
    const auto b = randomTriangles(COUNT, 4);
    benchdata::sumOverItems(state, COUNT, [&](std::size_t i) {
        double wA0 = 0.0, wA1 = 0.0, wB0 = 0.0, wB1 = 0.0;
        return sqrDistanceTriangleTriangle(a[i].v, a[i].normal, b[i].v, b[i].normal, wA0, wA1, wB0, wB1) + wA0 + wB1;
    });
}
BENCHMARK(BM_SqrDistanceTriangleTriangle);

}  // namespace
