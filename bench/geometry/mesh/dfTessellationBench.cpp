#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "bench/benchSupport.h"
#include "geometry/mesh/bvDFmesh.h"
#include "geometry/mesh/meshRecords.h"
#include "math/qmtVector3.h"

// Jagginess workload: every face of a closed detailed mesh tessellated two levels deep,
// on a fresh copy each time (set-up with the edge table, then the passes).

namespace {

using Qmt::QmtVector3;

// Closed box whose sides are grids of g x g quads (6 g^2 faces), with per-corner UVs
// and corner normals; every face selected.
std::unique_ptr<ZYL_DFmesh> makeGridBox(std::uint32_t g) {
    benchdata::Shape box;
    // Shared vertices by position: index of each lattice point on the box surface.
    const std::uint32_t side = g + 1;
    std::vector<std::uint32_t> index(static_cast<std::size_t>(side) * side * side, ~0u);
    const auto vertex = [&](std::uint32_t x, std::uint32_t y, std::uint32_t z) {
        std::uint32_t& slot = index[(static_cast<std::size_t>(z) * side + y) * side + x];
        if (slot == ~0u) {
            slot = static_cast<std::uint32_t>(box.points.size());
            box.points.push_back({static_cast<double>(x), static_cast<double>(y), static_cast<double>(z)});
        }
        return slot;
    };
    for (std::uint32_t a = 0; a < g; ++a) {
        for (std::uint32_t b = 0; b < g; ++b) {
            box.faces.push_back({vertex(a, b, 0), vertex(a, b + 1, 0), vertex(a + 1, b + 1, 0), vertex(a + 1, b, 0)});
            box.faces.push_back({vertex(a, b, g), vertex(a + 1, b, g), vertex(a + 1, b + 1, g), vertex(a, b + 1, g)});
            box.faces.push_back({vertex(a, 0, b), vertex(a + 1, 0, b), vertex(a + 1, 0, b + 1), vertex(a, 0, b + 1)});
            box.faces.push_back({vertex(a, g, b), vertex(a, g, b + 1), vertex(a + 1, g, b + 1), vertex(a + 1, g, b)});
            box.faces.push_back({vertex(0, a, b), vertex(0, a, b + 1), vertex(0, a + 1, b + 1), vertex(0, a + 1, b)});
            box.faces.push_back({vertex(g, a, b), vertex(g, a + 1, b), vertex(g, a + 1, b + 1), vertex(g, a, b + 1)});
        }
    }

    auto mesh = std::make_unique<ZYL_DFmesh>();
    benchdata::fillMesh(*mesh, box);
    const std::uint32_t corners = 4 * mesh->numFaces;
    mesh->numUVs = corners;
    mesh->uvs = new QmtVector3[corners];
    mesh->numCornerNormals = corners;
    mesh->cornerNormals = new QmtVector3[corners];
    std::uint32_t corner = 0;
    for (std::uint32_t f = 0; f < mesh->numFaces; ++f) {
        ZYL_DFface& face = mesh->faces[f];
        face.flags = FACE_CAP;
        for (std::uint32_t k = 0; k < 4; ++k, ++corner) {
            face.uvs[k] = corner;
            face.normals[k] = corner;
            mesh->uvs[corner] = {0.25 * k, 0.125 * f, 0.0};
            mesh->cornerNormals[corner] = {0.0, 0.0, 1.0};
        }
    }
    return mesh;
}

void BM_TessellateAllFacesTwoLevels(benchmark::State& state) {
    const auto g = static_cast<std::uint32_t>(state.range(0));
    std::uint32_t faces = 0;
    for (auto _ : state) {
        state.PauseTiming();
        auto mesh = makeGridBox(g);
        state.ResumeTiming();
        BVDFmesh volume;
        volume.init(mesh.get(), BVDF_EDGES);
        benchmark::DoNotOptimize(volume.tessellateFaces(2));
        faces = mesh->numFaces;
    }
    state.counters["facesIn"] = 6.0 * g * g;
    state.counters["facesOut"] = faces;
}

}  // namespace

// 13 x 13 per side: 1014 faces in, 16224 quads out.
BENCHMARK(BM_TessellateAllFacesTwoLevels)->Arg(13)->Unit(benchmark::kMillisecond);
