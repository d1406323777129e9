#include <benchmark/benchmark.h>

#include <cmath>
#include <numbers>

#include "geometry/bvMesh.h"

namespace {

using Qmt::QmtVector3;

// A closed torus of rings x segments quads.
ZYLmesh makeTorus(std::uint32_t rings, std::uint32_t segments) {
    ZYLmesh mesh;
    mesh.numVertices = rings * segments;
    mesh.vertices = new QmtVector3[mesh.numVertices];
    mesh.worldVertices = new QmtVector3[mesh.numVertices];
    const double pi = std::numbers::pi;
    for (std::uint32_t r = 0; r < rings; ++r) {
        const double u = 2.0 * pi * r / rings;
        for (std::uint32_t s = 0; s < segments; ++s) {
            const double v = 2.0 * pi * s / segments;
            const QmtVector3 p((3.0 + std::cos(v)) * std::cos(u), (3.0 + std::cos(v)) * std::sin(u),
                               std::sin(v));
            mesh.vertices[r * segments + s] = p;
            mesh.worldVertices[r * segments + s] = p;
        }
    }
    mesh.numFaces = rings * segments;
    mesh.faces = new ZYLface[mesh.numFaces];
    for (std::uint32_t r = 0; r < rings; ++r) {
        for (std::uint32_t s = 0; s < segments; ++s) {
            ZYLface& face = mesh.faces[r * segments + s];
            const std::uint32_t r1 = (r + 1) % rings;
            const std::uint32_t s1 = (s + 1) % segments;
            const std::uint32_t corners[4] = {r * segments + s, r1 * segments + s,
                                              r1 * segments + s1, r * segments + s1};
            face.numVertices = 4;
            for (std::uint32_t k = 0; k < 4; ++k) {
                face.vertices[k] = corners[k];
                face.uvs[k] = corners[k];
            }
        }
    }
    return mesh;
}

// init with the edge table and vertex lists (and islands) on a 10 000-face mesh.
void BM_BVmeshInitConnectivity(benchmark::State& state) {
    ZYLmesh mesh = makeTorus(100, 100);
    const auto options = static_cast<std::uint32_t>(state.range(0));
    for (auto _ : state) {
        BVmesh volume;
        benchmark::DoNotOptimize(volume.init(&mesh, options));
        benchmark::DoNotOptimize(volume.getEdgeCount());
    }
    state.SetItemsProcessed(state.iterations() * mesh.numFaces);
}
BENCHMARK(BM_BVmeshInitConnectivity)
    ->Arg(BVMESH_EDGES)
    ->Arg(BVMESH_EDGES | BVMESH_VERTICES)
    ->Arg(BVMESH_EDGES | BVMESH_VERTICES | BVMESH_ISLANDS)
    ->Unit(benchmark::kMicrosecond);

}  // namespace
