// The Voronoi cells partition the mesh whatever the seeds: over a cube, a triangulated
// sphere and a torus, with a thousand seeds uniform, clustered, on a plane and repeated,
// and with seeds on lattices whose planes pass through vertices or touch the surface,
// every shard is closed, the shards' volumes add up to the mesh's, and random points of
// the mesh each lie in exactly one shard.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <random>
#include <string>
#include <vector>

#include "geometry/mesh/massProperties.h"
#include "geometry/testMeshes.h"
#include "src/shatter/voronoiCells.h"

namespace {

using Qmt::QmtVector3;
using Seeds = std::vector<QmtVector3>;

// A closed mesh as triangles (fans from each face's first corner), with its box.
struct Solid {
    std::vector<QmtVector3> corners;  // three per triangle
    QmtVector3 lo{1e300, 1e300, 1e300}, hi{-1e300, -1e300, -1e300};

    explicit Solid(const ZYL_DFmesh& m) {
        for (std::uint32_t f = 0; f < m.numFaces; ++f) {
            const ZYL_DFface& face = m.faces[f];
            for (std::uint32_t k = 1; k + 1 < face.numVertices; ++k) {
                for (const std::uint32_t v : {face.vertices[0], face.vertices[k], face.vertices[k + 1]}) {
                    corners.push_back(m.worldVertices[v]);
                }
            }
        }
        for (const QmtVector3& p : corners) {
            lo = {std::min(lo.x, p.x), std::min(lo.y, p.y), std::min(lo.z, p.z)};
            hi = {std::max(hi.x, p.x), std::max(hi.y, p.y), std::max(hi.z, p.z)};
        }
    }

    // Winding number of the surface about q (solid angles of its triangles over 4 pi).
    bool contains(const QmtVector3& q) const {
        if (q.x < lo.x || q.y < lo.y || q.z < lo.z || q.x > hi.x || q.y > hi.y || q.z > hi.z) return false;
        double angle = 0.0;
        for (std::size_t t = 0; t < corners.size(); t += 3) {
            const QmtVector3 a = corners[t] - q, b = corners[t + 1] - q, c = corners[t + 2] - q;
            const double la = a.Length(), lb = b.Length(), lc = c.Length();
            angle += 2.0 * std::atan2(a.Dot(b.Cross(c)), la * lb * lc + a.Dot(b) * lc + a.Dot(c) * lb + b.Dot(c) * la);
        }
        return angle > 2.0 * std::numbers::pi;
    }
};

meshtest::Shape triangulated(const meshtest::Shape& s) {
    meshtest::Shape out{s.vertices, {}};
    for (const auto& face : s.faces) {
        for (std::size_t k = 1; k + 1 < face.size(); ++k) out.faces.push_back({face[0], face[k], face[k + 1]});
    }
    return out;
}

// Points uniform in a box, and seed sets of the four kinds.
struct Sampler {
    QmtVector3 lo, hi;
    std::mt19937 rng{6};

    QmtVector3 uniform() {
        std::uniform_real_distribution<double> u(0.0, 1.0);
        return {lo.x + (hi.x - lo.x) * u(rng), lo.y + (hi.y - lo.y) * u(rng), lo.z + (hi.z - lo.z) * u(rng)};
    }
    Seeds seeds(const std::string& kind, std::size_t n) {
        Seeds out;
        if (kind.ends_with("lattice")) {
            // Axis-aligned: planes through rings of vertices, touching the torus's inner
            // ring at a vertex, and (the coarse one, reaching past the mesh) lying on the
            // cube's faces and tangent to the sphere's poles and the torus's outer ring.
            const int side = kind == "lattice" ? 10 : 6;
            const double step = kind == "lattice" ? 0.1 : 0.25;
            for (int i = 0; i < side * side * side; ++i) {
                const auto at = [&](int k) { return k * step - 0.5 * (side - 1) * step; };
                out.push_back({at(i % side), at(i / side % side), at(i / (side * side))});
            }
            return out;
        }
        std::normal_distribution<double> g(0.0, 0.03 * (hi - lo).Length());
        const Seeds centres = {uniform(), uniform(), uniform()};
        while (out.size() < n) {
            if (kind == "uniform") {
                out.push_back(uniform());
            } else if (kind == "clustered") {
                out.push_back(centres[out.size() % 3] + QmtVector3(g(rng), g(rng), g(rng)));
            } else if (kind == "plane") {
                out.push_back({uniform().x, uniform().y, 0.0});
            } else {  // a quarter repeat earlier seeds
                out.push_back(out.size() % 4 == 3 ? out[rng() % out.size()] : uniform());
            }
        }
        return out;
    }
};

TEST(VoronoiCellsPartition, ShardsAreClosedAndFillTheMeshOnce) {
    const std::vector<std::pair<std::string, meshtest::Shape>> shapes = {
        {"cube", meshtest::box({-0.5, -0.5, -0.5}, {0.5, 0.5, 0.5})},
        {"sphere", triangulated(meshtest::sphere(10, 20, 0.5))},
        {"torus", meshtest::torus(24, 12, 0.35, 0.15)},
    };
    for (const auto& [name, shape] : shapes) {
        auto source = meshtest::makeDFMesh(shape);
        const Solid whole(*source);
        const double volume = computeMeshVolume(source.get());
        Sampler sample{whole.lo, whole.hi};
        std::vector<QmtVector3> points;
        while (points.size() < 5000) {
            const QmtVector3 q = sample.uniform();
            if (whole.contains(q)) points.push_back(q);
        }
        for (const std::string kind : {"uniform", "clustered", "plane", "repeated", "lattice", "coarse lattice"}) {
            Seeds seeds = sample.seeds(kind, 1000);
            std::vector<Solid> shards;
            double total = 0.0;
            int open = 0;
            VoronoiCellHooks hooks;
            hooks.shard = [&](ZYL_DFmesh& shard) {
                if (!meshtest::closed(shard)) ++open;
                total += computeMeshVolume(&shard);
                shards.emplace_back(shard);
            };
            ASSERT_TRUE(cutVoronoiCells(*source, seeds, hooks));
            const std::string what = name + " " + kind;
            EXPECT_EQ(open, 0) << what;
            EXPECT_NEAR(total, volume, 1e-6 * volume) << what;
            int wrong = 0;
            for (const QmtVector3& q : points) {
                const auto holds = [&q](const Solid& s) { return s.contains(q); };
                wrong += std::count_if(shards.begin(), shards.end(), holds) != 1;
            }
            EXPECT_EQ(wrong, 0) << what;
        }
    }
}

}  // namespace
