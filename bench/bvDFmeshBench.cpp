#include <benchmark/benchmark.h>

#include <cmath>
#include <numbers>

#include "geometry/bvDFmesh.h"

namespace {

using Qmt::QmtVector3;

// A closed DF torus of rings x segments quads with one UV and one corner normal per
// vertex.
ZYL_DFmesh makeTorus(std::uint32_t rings, std::uint32_t segments) {
    ZYL_DFmesh mesh;
    const std::uint32_t V = rings * segments;
    mesh.numVertices = V;
    mesh.vertices = new QmtVector3[V];
    mesh.worldVertices = new QmtVector3[V];
    mesh.numUVs = V;
    mesh.uvs = new QmtVector3[V];
    mesh.numCornerNormals = V;
    mesh.cornerNormals = new QmtVector3[V];
    mesh.numUVSets = 1;
    const double pi = std::numbers::pi;
    for (std::uint32_t r = 0; r < rings; ++r) {
        const double u = 2.0 * pi * r / rings;
        for (std::uint32_t s = 0; s < segments; ++s) {
            const double v = 2.0 * pi * s / segments;
            const QmtVector3 p((3.0 + std::cos(v)) * std::cos(u), (3.0 + std::cos(v)) * std::sin(u), std::sin(v));
            const std::uint32_t i = r * segments + s;
            mesh.vertices[i] = p;
            mesh.worldVertices[i] = p;
            mesh.uvs[i] = QmtVector3(static_cast<double>(r) / rings, static_cast<double>(s) / segments, 0);
            mesh.cornerNormals[i] = QmtVector3(std::cos(v) * std::cos(u), std::cos(v) * std::sin(u), std::sin(v));
        }
    }
    mesh.numFaces = V;
    mesh.faces = new ZYL_DFface[V];
    mesh.normals = new QmtVector3[V]();
    mesh.worldNormals = new QmtVector3[V]();
    for (std::uint32_t r = 0; r < rings; ++r) {
        for (std::uint32_t s = 0; s < segments; ++s) {
            ZYL_DFface& face = mesh.faces[r * segments + s];
            const std::uint32_t r1 = (r + 1) % rings;
            const std::uint32_t s1 = (s + 1) % segments;
            const std::uint32_t corners[4] = {r * segments + s, r1 * segments + s, r1 * segments + s1,
                                              r * segments + s1};
            face.allocate(4, 1);
            face.numVertices = 4;
            for (std::uint32_t k = 0; k < 4; ++k) {
                face.vertices[k] = corners[k];
                face.uvs[k] = corners[k];
                face.normals[k] = corners[k];
            }
        }
    }
    return mesh;
}

// Eight unit cubes in a row, each a piece of its own.
ZYL_DFmesh makeCubes(std::uint32_t count) {
    static constexpr std::uint32_t faces[6][4] = {{0, 3, 2, 1}, {4, 5, 6, 7}, {0, 1, 5, 4},
                                                  {1, 2, 6, 5}, {2, 3, 7, 6}, {3, 0, 4, 7}};
    ZYL_DFmesh mesh;
    mesh.numVertices = 8 * count;
    mesh.vertices = new QmtVector3[mesh.numVertices];
    mesh.worldVertices = new QmtVector3[mesh.numVertices];
    mesh.numFaces = 6 * count;
    mesh.faces = new ZYL_DFface[mesh.numFaces];
    mesh.normals = new QmtVector3[mesh.numFaces]();
    mesh.worldNormals = new QmtVector3[mesh.numFaces]();
    mesh.numUVs = 24 * count;
    mesh.uvs = new QmtVector3[mesh.numUVs]();
    mesh.numUVSets = 1;
    for (std::uint32_t c = 0; c < count; ++c) {
        for (std::uint32_t v = 0; v < 8; ++v) {
            const QmtVector3 p(2.0 * c + (v == 1 || v == 2 || v == 5 || v == 6), (v % 4 == 2 || v % 4 == 3), v / 4);
            mesh.vertices[8 * c + v] = p;
            mesh.worldVertices[8 * c + v] = p;
        }
        for (std::uint32_t f = 0; f < 6; ++f) {
            ZYL_DFface& face = mesh.faces[6 * c + f];
            face.allocate(4, 1);
            face.numVertices = 4;
            for (std::uint32_t k = 0; k < 4; ++k) {
                face.vertices[k] = 8 * c + faces[f][k];
                face.uvs[k] = 24 * c + 4 * f + k;
                face.normals[k] = 0;
            }
        }
    }
    return mesh;
}

// init building the edge table, the vertex records and the piece labels of a
// 10 000-face mesh.
void BM_BVDFmeshInit(benchmark::State& state) {
    ZYL_DFmesh mesh = makeTorus(100, 100);
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
    ZYL_DFmesh mesh = makeCubes(8);
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
