#include <benchmark/benchmark.h>

#include <cmath>
#include <numbers>

#include "geometry/massProperties.h"
#include "geometry/meshPlacement.h"

namespace {

using Qmt::QmtMatrix3;
using Qmt::QmtVector3;

// A closed latitude-longitude sphere: rings x segments vertices plus two poles,
// quads between rings and triangle fans at the poles, wound outward.
void buildSphere(ZYLmesh& mesh, std::uint32_t rings, std::uint32_t segments) {
    const std::uint32_t count = rings * segments + 2;
    mesh.numVertices = count;
    mesh.vertices = new QmtVector3[count];
    mesh.worldVertices = new QmtVector3[count];
    const double pi = std::numbers::pi;
    for (std::uint32_t r = 0; r < rings; ++r) {
        const double theta = pi * (r + 1) / (rings + 1);
        for (std::uint32_t s = 0; s < segments; ++s) {
            const double phi = 2.0 * pi * s / segments;
            mesh.vertices[r * segments + s] = {std::sin(theta) * std::cos(phi),
                                               std::sin(theta) * std::sin(phi), std::cos(theta)};
        }
    }
    const std::uint32_t north = count - 2;
    const std::uint32_t south = count - 1;
    mesh.vertices[north] = {0, 0, 1};
    mesh.vertices[south] = {0, 0, -1};

    mesh.numFaces = (rings - 1) * segments + 2 * segments;
    mesh.faces = new ZYLface[mesh.numFaces];
    mesh.normals = new QmtVector3[mesh.numFaces];
    mesh.worldNormals = new QmtVector3[mesh.numFaces];
    std::uint32_t f = 0;
    const auto add = [&](std::initializer_list<std::uint32_t> corners) {
        ZYLface& face = mesh.faces[f];
        face.numVertices = 0;
        for (std::uint32_t c : corners) {
            face.vertices[face.numVertices++] = c;
        }
        const QmtVector3* v = mesh.vertices;
        const std::uint32_t* i = face.vertices;
        QmtVector3 n = (v[i[1]] - v[i[0]]).Cross(v[i[2]] - v[i[0]]);
        n.Unitize(QmtMatrix3::EPSILON);
        mesh.normals[f++] = n;
    };
    for (std::uint32_t r = 0; r + 1 < rings; ++r) {
        for (std::uint32_t s = 0; s < segments; ++s) {
            const std::uint32_t s1 = (s + 1) % segments;
            add({r * segments + s, (r + 1) * segments + s, (r + 1) * segments + s1, r * segments + s1});
        }
    }
    for (std::uint32_t s = 0; s < segments; ++s) {
        const std::uint32_t s1 = (s + 1) % segments;
        add({north, s, s1});
        add({south, (rings - 1) * segments + s1, (rings - 1) * segments + s});
    }
    mesh.radius = 1.0;
}

QmtMatrix3 someRotation() {
    QmtMatrix3 R;
    R.FromAxisAngle(QmtVector3(1, 2, 3) / std::sqrt(14.0), 0.7);
    return R;
}

void BM_MeshTransformSRT(benchmark::State& state) {
    ZYLmesh mesh;
    buildSphere(mesh, 100, 100);
    const QmtMatrix3 R = someRotation();
    const QmtVector3 T(1, 2, 3);
    const QmtVector3 S(1.5, 1.5, 1.5);
    for (auto _ : state) {
        meshTransformSRT(&mesh, T, R, S);
        benchmark::DoNotOptimize(mesh.worldVertices);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * mesh.numVertices);
}
BENCHMARK(BM_MeshTransformSRT);

void BM_MeshTransformTRS(benchmark::State& state) {
    ZYLmesh mesh;
    buildSphere(mesh, 100, 100);
    const QmtMatrix3 R = someRotation();
    const QmtVector3 T(1, 2, 3);
    const QmtVector3 S(1.5, 1.5, 1.5);
    for (auto _ : state) {
        meshTransformTRS(&mesh, T, R, S);
        benchmark::DoNotOptimize(mesh.worldVertices);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * mesh.numVertices);
}
BENCHMARK(BM_MeshTransformTRS);

void BM_ComputeMassProperties(benchmark::State& state) {
    ZYLmesh mesh;
    buildSphere(mesh, 100, 100);
    QmtVector3 centre;
    for (auto _ : state) {
        benchmark::DoNotOptimize(ComputeMassProperties(&mesh, centre));
        benchmark::DoNotOptimize(centre);
    }
    state.SetItemsProcessed(state.iterations() * mesh.numFaces);
}
BENCHMARK(BM_ComputeMassProperties);

void BM_ComputeScaledMassProperties(benchmark::State& state) {
    ZYLmesh mesh;
    buildSphere(mesh, 100, 100);
    QmtMatrix3 inertia;
    const double mass = 2.0;
    for (auto _ : state) {
        computeScaledMassProperties(inertia, &mesh, mass, {0, 0, 0}, {1.5, 1, 2});
        benchmark::DoNotOptimize(inertia);
    }
    state.SetItemsProcessed(state.iterations() * mesh.numFaces);
}
BENCHMARK(BM_ComputeScaledMassProperties);

}  // namespace
