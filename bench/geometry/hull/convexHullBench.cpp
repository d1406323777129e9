#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <random>
#include <vector>

#include "geometry/hull/convexHull.h"

#if defined(ZYL_HAVE_QHULL)
extern "C" {
#include <libqhull_r/qhull_ra.h>
}
#endif

namespace {

using Qmt::QmtVector3;

// Unit sphere: at 100,000 points neighbours come closer than the hull's absolute
// tolerances (edges below sqrt(1e-5) make no face), which the wide sphere avoids.
std::vector<QmtVector3> onSphere(std::uint32_t n, double radius) {
    std::mt19937 rng(12345);
    std::normal_distribution<double> g(0.0, 1.0);
    std::vector<QmtVector3> pts;
    pts.reserve(n);
    while (pts.size() < n) {
        QmtVector3 p(g(rng), g(rng), g(rng));
        if (p.Unitize(1e-9) > 0.0) {
            pts.push_back(p * radius);
        }
    }
    return pts;
}

std::vector<QmtVector3> onUnitSphere(std::uint32_t n) { return onSphere(n, 1.0); }
std::vector<QmtVector3> onWideSphere(std::uint32_t n) { return onSphere(n, 100.0); }

std::vector<QmtVector3> inCube(std::uint32_t n) {
    std::mt19937 rng(12345);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    std::vector<QmtVector3> pts;
    pts.reserve(n);
    for (std::uint32_t i = 0; i < n; ++i) {
        pts.emplace_back(u(rng), u(rng), u(rng));
    }
    return pts;
}

// A cylinder's vertices: two rings of n / 2 even segments, radius 1, 2 apart. Each
// point that joins a ring sees the whole cap within the tolerance, so every step makes
// the cap's fan again, and every face of the fan keeps every candidate of its ring.
std::vector<QmtVector3> onCylinder(std::uint32_t n) {
    const std::uint32_t segments = std::max(n / 2, 1u);
    std::vector<QmtVector3> pts;
    pts.reserve(2 * segments);
    for (std::uint32_t i = 0; i < 2 * segments; ++i) {
        const double t = 6.283185307179586 * (i % segments) / segments;
        pts.emplace_back(std::cos(t), std::sin(t), i < segments ? -1.0 : 1.0);
    }
    return pts;
}

template <class Mesh>
std::uint32_t faceCount(const Mesh* mesh) {
    const std::uint32_t faces = mesh ? mesh->numFaces : 0;
    delete mesh;
    return faces;
}

template <std::vector<QmtVector3> (*Make)(std::uint32_t)>
void BM_buildConvexHullMesh(benchmark::State& state) {
    const auto pts = Make(static_cast<std::uint32_t>(state.range(0)));
    std::uint32_t faces = 0;
    for (auto _ : state) {
        faces = faceCount(buildConvexHullMesh(pts.data(), static_cast<std::uint32_t>(pts.size())));
        benchmark::DoNotOptimize(faces);
    }
    state.counters["hullFaces"] = faces;
}

// The face-by-face builder once stalled on the dense unit sphere (10,000 points): holes
// left by dropped slivers kept feeding it faces to grow from.
template <std::vector<QmtVector3> (*Make)(std::uint32_t)>
void BM_buildConvexHullDFmesh(benchmark::State& state) {
    const auto pts = Make(static_cast<std::uint32_t>(state.range(0)));
    std::uint32_t faces = 0;
    for (auto _ : state) {
        faces = faceCount(buildConvexHullDFmesh(pts.data(), static_cast<std::uint32_t>(pts.size())));
        benchmark::DoNotOptimize(faces);
    }
    state.counters["hullFaces"] = faces;
}

// ---- Side by side with qhull ----

#if defined(ZYL_HAVE_QHULL)
// qhull's hull of the same doubles with option Qt (triangulated output); the facet
// count, or 0 on failure.
std::uint32_t qhullFacets(std::vector<double>& coords) {
    qhT qh;
    qh_zero(&qh, stderr);
    char options[] = "qhull Qt";
    const int code = qh_new_qhull(&qh, 3, static_cast<int>(coords.size() / 3), coords.data(), False, options,
                                  nullptr, stderr);
    const std::uint32_t facets = code == 0 ? static_cast<std::uint32_t>(qh.num_facets) : 0;
    qh_freeqhull(&qh, !qh_ALL);
    int curlong = 0;
    int totlong = 0;
    qh_memfreeshort(&qh, &curlong, &totlong);
    return facets;
}
#endif

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0.0 : v[v.size() / 2];
}

// Each iteration builds the cloud's hull with both builders and with qhull, in an order
// that turns with the iteration so that no side always runs on a warm or cold cache;
// the counters are median milliseconds and the ratios of the medians to qhull's.
template <std::vector<QmtVector3> (*Make)(std::uint32_t)>
void BM_versusQhull(benchmark::State& state) {
    const auto pts = Make(static_cast<std::uint32_t>(state.range(0)));
    const auto n = static_cast<std::uint32_t>(pts.size());
    std::vector<double> coords;
    for (const QmtVector3& p : pts) {
        coords.insert(coords.end(), {p.x, p.y, p.z});
    }
    std::vector<double> times[3];
    const auto timed = [&times](int side, auto&& build) {
        const auto start = std::chrono::steady_clock::now();
        benchmark::DoNotOptimize(build());
        times[side].push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    };
    int turn = 0;
    for (auto _ : state) {
        for (int k = 0; k < 3; ++k) {
            switch ((turn + k) % 3) {
            case 0:
                timed(0, [&] { return faceCount(buildConvexHullMesh(pts.data(), n)); });
                break;
            case 1:
                timed(1, [&] { return faceCount(buildConvexHullDFmesh(pts.data(), n)); });
                break;
            default:
#if defined(ZYL_HAVE_QHULL)
                timed(2, [&] { return qhullFacets(coords); });
#endif
                break;
            }
        }
        ++turn;
    }
    state.counters["mesh_ms"] = median(times[0]);
    state.counters["df_ms"] = median(times[1]);
#if defined(ZYL_HAVE_QHULL)
    const double qhull = median(times[2]);
    state.counters["qhull_ms"] = qhull;
    state.counters["mesh_ratio"] = median(times[0]) / qhull;
    state.counters["df_ratio"] = median(times[1]) / qhull;
#else
    state.SetLabel("qhull absent: no comparison");
#endif
}

}  // namespace

BENCHMARK_TEMPLATE(BM_buildConvexHullDFmesh, onUnitSphere)->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_buildConvexHullMesh, onUnitSphere)->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_buildConvexHullMesh, onUnitSphere)->Arg(512)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_buildConvexHullMesh, onWideSphere)->Arg(512)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_buildConvexHullMesh, inCube)->Arg(512)->Arg(100000)->Unit(benchmark::kMillisecond);

// Fixed iteration counts: every iteration runs all three builds, so the medians need
// no time threshold of their own.
#define ZYL_VERSUS_QHULL(cloud)                                                                        \
    BENCHMARK_TEMPLATE(BM_versusQhull, cloud)->Arg(1000)->Iterations(21)->Unit(benchmark::kMillisecond); \
    BENCHMARK_TEMPLATE(BM_versusQhull, cloud)->Arg(10000)->Iterations(9)->Unit(benchmark::kMillisecond);  \
    BENCHMARK_TEMPLATE(BM_versusQhull, cloud)->Arg(100000)->Iterations(3)->Unit(benchmark::kMillisecond)
ZYL_VERSUS_QHULL(onUnitSphere);
ZYL_VERSUS_QHULL(onWideSphere);
ZYL_VERSUS_QHULL(inCube);
BENCHMARK_TEMPLATE(BM_versusQhull, onCylinder)->Arg(512)->Arg(1024)->Iterations(3)->Unit(benchmark::kMillisecond);
