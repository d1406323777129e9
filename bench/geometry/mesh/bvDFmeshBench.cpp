#include <benchmark/benchmark.h>

#include <cmath>
#include <numbers>

#include "bench/benchSupport.h"
#include "geometry/mesh/bvDFmesh.h"

namespace {

using Qmt::QmtVector3;

// A closed detailed torus of rings x segments quads with one UV and one corner normal
// per vertex.
void makeTorus(ZYL_DFmesh& mesh, std::uint32_t rings, std::uint32_t segments) {
    benchdata::fillMesh(mesh, benchdata::torus(rings, segments));
    mesh.numUVs = mesh.numCornerNormals = mesh.numVertices;
    mesh.uvs = new QmtVector3[mesh.numVertices];
    mesh.cornerNormals = new QmtVector3[mesh.numVertices];
    for (std::uint32_t r = 0; r < rings; ++r) {
        const double u = 2.0 * std::numbers::pi * r / rings;
        for (std::uint32_t s = 0; s < segments; ++s) {
            const double v = 2.0 * std::numbers::pi * s / segments;
            mesh.uvs[r * segments + s] = {static_cast<double>(r) / rings, static_cast<double>(s) / segments, 0};
            mesh.cornerNormals[r * segments + s] = {std::cos(v) * std::cos(u), std::cos(v) * std::sin(u), std::sin(v)};
        }
    }
}

// Unit cubes in a row, each a piece of its own, with a UV entry per corner.
void makeCubes(ZYL_DFmesh& mesh, std::uint32_t count) {
    static constexpr std::uint32_t faces[6][4] = {{0, 3, 2, 1}, {4, 5, 6, 7}, {0, 1, 5, 4},
                                                  {1, 2, 6, 5}, {2, 3, 7, 6}, {3, 0, 4, 7}};
    benchdata::Shape cubes;
    for (std::uint32_t c = 0; c < count; ++c) {
        for (std::uint32_t v = 0; v < 8; ++v) {
            const bool right = v % 4 == 1 || v % 4 == 2;
            cubes.points.emplace_back(2.0 * c + right, v % 4 >= 2, v / 4);
        }
        for (const auto& face : faces) {
            cubes.faces.push_back({8 * c + face[0], 8 * c + face[1], 8 * c + face[2], 8 * c + face[3]});
        }
    }
    benchdata::fillMesh(mesh, cubes);
    mesh.numUVs = 4 * mesh.numFaces;
    mesh.uvs = new QmtVector3[mesh.numUVs]();
    for (std::uint32_t f = 0; f < mesh.numFaces; ++f) {
        for (std::uint32_t k = 0; k < 4; ++k) {
            mesh.faces[f].uvs[k] = 4 * f + k;
            mesh.faces[f].normals[k] = 0;
        }
    }
}

// init building the edge table, the vertex records and the piece labels of a
// 10 000-face mesh.
void BM_BVDFmeshInit(benchmark::State& state) {
    ZYL_DFmesh mesh;
    makeTorus(mesh, 100, 100);
    const auto flags = static_cast<std::uint32_t>(state.range(0));
    for (auto _ : state) {
        BVDFmesh volume;
        benchmark::DoNotOptimize(volume.init(&mesh, flags));
        benchmark::DoNotOptimize(volume.getEdgeCount());
    }
    state.SetItemsProcessed(state.iterations() * mesh.numFaces);
}
BENCHMARK(BM_BVDFmeshInit)->Arg(BVDF_EDGES)->Arg(BVDF_EDGES | BVDF_VERTICES | BVDF_PIECES);

// Splits a labelled mesh of 8 cubes into 8 meshes.
void BM_BVDFmeshFindPieces(benchmark::State& state) {
    ZYL_DFmesh mesh;
    makeCubes(mesh, 8);
    BVDFmesh volume;
    volume.init(&mesh, BVDF_PIECES);
    const std::uint32_t count = mesh.numPieces;
    for (auto _ : state) {
        ZYL_DFmesh** pieces = volume.findPieces();
        benchmark::DoNotOptimize(pieces);
        for (std::uint32_t p = 0; pieces && p < count; ++p) {
            delete pieces[p];
        }
        delete[] pieces;
    }
    state.SetItemsProcessed(state.iterations() * count);
}
BENCHMARK(BM_BVDFmeshFindPieces);

}  // namespace
