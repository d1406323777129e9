#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>
#include <random>
#include <vector>

#include "bench/benchSupport.h"
#include "geometry/mesh/bvDFmesh.h"
#include "geometry/clip/clipper.h"
#include "geometry/mesh/meshRecords.h"
#include "math/qmtMatrix3.h"
#include "math/qmtVector3.h"

// Shatter workload: one closed detailed mesh cut by many planes, each cut on a fresh
// copy through the volume (set-up, clipDF, finish), as one Voronoi cell's bisectors.

namespace {

using Qmt::QmtVector3;

// Latitude-longitude sphere of radius 1 with per-corner UVs and corner normals:
// 2 + rings * segments vertices, segments * (rings + 1) faces.
std::unique_ptr<ZYL_DFmesh> makeSphere(std::uint32_t rings, std::uint32_t segments) {
    const benchdata::Shape sphere = benchdata::latLongSphere(rings, segments);
    auto mesh = std::make_unique<ZYL_DFmesh>();
    benchdata::fillMesh(*mesh, sphere);
    // A vertex's corner normal is its position; every corner has a UV of its own.
    mesh->numCornerNormals = mesh->numVertices;
    mesh->cornerNormals = new QmtVector3[mesh->numVertices];
    std::copy(sphere.points.begin(), sphere.points.end(), mesh->cornerNormals);
    std::vector<QmtVector3> uvs;
    for (std::uint32_t f = 0; f < mesh->numFaces; ++f) {
        ZYL_DFface& face = mesh->faces[f];
        for (std::uint32_t k = 0; k < face.numVertices; ++k) {
            face.uvs[k] = static_cast<std::uint32_t>(uvs.size());
            uvs.push_back({sphere.points[face.vertices[k]].x, sphere.points[face.vertices[k]].y, 0});
        }
    }
    mesh->numUVs = static_cast<std::uint32_t>(uvs.size());
    mesh->uvs = new QmtVector3[uvs.size()];
    std::copy(uvs.begin(), uvs.end(), mesh->uvs);
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
