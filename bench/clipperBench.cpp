#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <memory>
#include <random>
#include <vector>

#include "geometry/bvDFmesh.h"
#include "geometry/clipper.h"
#include "geometry/meshRecords.h"
#include "math/qmtMatrix3.h"
#include "math/qmtVector3.h"

// Shatter workload: one closed detailed mesh cut by many planes, each cut on a fresh
// copy through the volume (set-up, clipDF, finish), as one Voronoi cell's bisectors.

namespace {

using Qmt::QmtVector3;

// Latitude-longitude sphere of radius 1 with per-corner UVs and corner normals:
// 2 + rings * segments vertices, segments * (rings + 1) faces.
std::unique_ptr<ZYL_DFmesh> makeSphere(std::uint32_t rings, std::uint32_t segments) {
    constexpr double pi = 3.14159265358979323846;
    std::vector<QmtVector3> vertices{{0, 0, 1}};
    for (std::uint32_t i = 1; i <= rings; ++i) {
        const double theta = pi * i / (rings + 1);
        for (std::uint32_t j = 0; j < segments; ++j) {
            const double phi = 2.0 * pi * j / segments;
            const double r = std::sin(theta);
            vertices.push_back({r * std::cos(phi), r * std::sin(phi), std::cos(theta)});
        }
    }
    const auto south = static_cast<std::uint32_t>(vertices.size());
    vertices.push_back({0, 0, -1});
    const auto at = [segments](std::uint32_t ring, std::uint32_t j) {
        return 1 + (ring - 1) * segments + j % segments;
    };
    std::vector<std::vector<std::uint32_t>> faces;
    for (std::uint32_t j = 0; j < segments; ++j) {
        faces.push_back({0, at(1, j), at(1, j + 1)});
        for (std::uint32_t i = 1; i < rings; ++i) {
            faces.push_back({at(i, j), at(i + 1, j), at(i + 1, j + 1), at(i, j + 1)});
        }
        faces.push_back({south, at(rings, j + 1), at(rings, j)});
    }

    auto mesh = std::make_unique<ZYL_DFmesh>();
    mesh->numVertices = static_cast<std::uint32_t>(vertices.size());
    mesh->vertices = new QmtVector3[mesh->numVertices];
    mesh->worldVertices = new QmtVector3[mesh->numVertices];
    mesh->numCornerNormals = mesh->numVertices;
    mesh->cornerNormals = new QmtVector3[mesh->numVertices];
    for (std::uint32_t i = 0; i < mesh->numVertices; ++i) {
        mesh->vertices[i] = mesh->worldVertices[i] = mesh->cornerNormals[i] = vertices[i];
    }
    mesh->numFaces = static_cast<std::uint32_t>(faces.size());
    mesh->faces = new ZYL_DFface[mesh->numFaces];
    mesh->normals = new QmtVector3[mesh->numFaces];
    mesh->worldNormals = new QmtVector3[mesh->numFaces];
    std::uint32_t corners = 0;
    for (const auto& f : faces) {
        corners += static_cast<std::uint32_t>(f.size());
    }
    mesh->numUVs = corners;
    mesh->numUVSets = 1;
    mesh->uvs = new QmtVector3[corners];
    std::uint32_t corner = 0;
    for (std::uint32_t f = 0; f < mesh->numFaces; ++f) {
        const auto n = static_cast<std::uint32_t>(faces[f].size());
        ZYL_DFface& face = mesh->faces[f];
        face.allocate(n, 1);
        face.numVertices = n;
        face.alive = 1;
        face.piece = 1;
        QmtVector3 normal;
        for (std::uint32_t k = 0; k < n; ++k, ++corner) {
            const std::uint32_t v = faces[f][k];
            face.vertices[k] = v;
            face.normals[k] = v;
            face.uvs[k] = corner;
            mesh->uvs[corner] = {vertices[v].x, vertices[v].y, 0};
            normal += vertices[v].Cross(vertices[faces[f][(k + 1) % n]]);
        }
        normal.Unitize(Qmt::QmtMatrix3::EPSILON);
        mesh->normals[f] = mesh->worldNormals[f] = normal;
    }
    return mesh;
}

std::unique_ptr<ZYL_DFmesh> copyMesh(const ZYL_DFmesh& source) {
    auto mesh = std::make_unique<ZYL_DFmesh>();
    const auto copy = [](const QmtVector3* from, std::uint32_t n) {
        auto* to = new QmtVector3[n];
        std::copy(from, from + n, to);
        return to;
    };
    mesh->numVertices = source.numVertices;
    mesh->vertices = copy(source.vertices, source.numVertices);
    mesh->worldVertices = copy(source.worldVertices, source.numVertices);
    mesh->numCornerNormals = source.numCornerNormals;
    mesh->cornerNormals = copy(source.cornerNormals, source.numCornerNormals);
    mesh->numUVs = source.numUVs;
    mesh->numUVSets = source.numUVSets;
    mesh->uvs = copy(source.uvs, source.numUVs);
    mesh->numFaces = source.numFaces;
    mesh->normals = copy(source.normals, source.numFaces);
    mesh->worldNormals = copy(source.worldNormals, source.numFaces);
    mesh->faces = new ZYL_DFface[source.numFaces];
    for (std::uint32_t f = 0; f < source.numFaces; ++f) {
        copyDFmeshFace(source.faces[f], mesh->faces[f]);
        mesh->faces[f].alive = 1;
    }
    return mesh;
}

struct Plane {
    QmtVector3 n;
    QmtVector3 p;
};

// Bisector-like planes through points near the middle, in every direction.
std::vector<Plane> makePlanes(std::uint32_t count, double offset) {
    std::mt19937 random(2024);
    std::uniform_real_distribution<double> unit(-1.0, 1.0);
    std::vector<Plane> planes;
    while (planes.size() < count) {
        QmtVector3 n(unit(random), unit(random), unit(random));
        if (n.SquaredLength() < 0.01 || n.SquaredLength() > 1.0) {
            continue;
        }
        n.Unitize(Qmt::QmtMatrix3::EPSILON);
        planes.push_back({n, n * (offset * unit(random))});
    }
    return planes;
}

std::int32_t cut(ZYL_DFmesh* mesh, const Plane& plane) {
    BVDFmesh volume;
    volume.init(mesh, 0);
    volume.initClipper();
    Clipper* clipper = volume.getClipper();
    const double scale = clipper->getScale();
    const std::int32_t result = clipper->clipDF(mesh, plane.n, plane.p * scale, CLIP_BUILD_CAPS);
    volume.finishClip(result);
    return result;
}

void BM_CutFreshCopies(benchmark::State& state) {
    const auto rings = static_cast<std::uint32_t>(state.range(0));
    const std::unique_ptr<ZYL_DFmesh> source = makeSphere(rings, 2 * rings);
    const std::vector<Plane> planes = makePlanes(64, 0.5);
    std::size_t i = 0;
    for (auto _ : state) {
        std::unique_ptr<ZYL_DFmesh> mesh = copyMesh(*source);
        benchmark::DoNotOptimize(cut(mesh.get(), planes[i++ % planes.size()]));
        benchmark::DoNotOptimize(mesh->numFaces);
    }
    state.counters["faces"] = source->numFaces;
}
// 20 rings x 40 segments: 840 faces; 25 x 50: 1300 faces.
BENCHMARK(BM_CutFreshCopies)->Arg(20)->Arg(25)->Unit(benchmark::kMicrosecond);

// The copy alone, to read the cut's share off the figure above.
void BM_CopyOnly(benchmark::State& state) {
    const auto rings = static_cast<std::uint32_t>(state.range(0));
    const std::unique_ptr<ZYL_DFmesh> source = makeSphere(rings, 2 * rings);
    for (auto _ : state) {
        std::unique_ptr<ZYL_DFmesh> mesh = copyMesh(*source);
        benchmark::DoNotOptimize(mesh->numFaces);
    }
}
BENCHMARK(BM_CopyOnly)->Arg(20)->Arg(25)->Unit(benchmark::kMicrosecond);

// Planes that miss the mesh: decided by the classification alone.
void BM_PlanesThatMiss(benchmark::State& state) {
    const std::unique_ptr<ZYL_DFmesh> source = makeSphere(25, 50);
    std::vector<Plane> planes = makePlanes(64, 0.0);
    for (Plane& plane : planes) {
        plane.p = plane.n * -2.0;
    }
    std::size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(cut(source.get(), planes[i++ % planes.size()]));
    }
}
BENCHMARK(BM_PlanesThatMiss)->Unit(benchmark::kMicrosecond);

}  // namespace
