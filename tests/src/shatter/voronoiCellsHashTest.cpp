// The Voronoi cell core's shards, bit for bit: a hash over every field the shard
// builder can read, for a cube, a comb that falls apart, two separate boxes (cut piece
// by piece) and a placed sphere with corner normals and two UV sets, under random,
// lattice, duplicate and outlying seeds (a repeated seed makes no cell of its own). Any
// change to the cutting that moves a bit of a shard changes a hash.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "geometry/testMeshes.h"
#include "src/shatter/voronoiCells.h"

namespace {

using Qmt::QmtVector3;
using Seeds = std::vector<QmtVector3>;

// FNV-1a over raw bytes.
class Hash {
public:
    void bytes(const void* data, std::size_t n) {
        const auto* p = static_cast<const unsigned char*>(data);
        for (std::size_t i = 0; i < n; ++i) {
            value_ = (value_ ^ p[i]) * 1099511628211ull;
        }
    }
    template <class T>
    void add(const T& v) {
        bytes(&v, sizeof v);
    }
    void vectors(const QmtVector3* v, std::uint32_t n) {
        add(v != nullptr);
        for (std::uint32_t i = 0; v && i < n; ++i) {
            add(v[i].x), add(v[i].y), add(v[i].z);
        }
    }
    void indices(const std::uint32_t* v, std::uint32_t n) {
        add(v != nullptr);
        if (v) bytes(v, sizeof(std::uint32_t) * n);
    }
    std::uint64_t value() const { return value_; }

private:
    std::uint64_t value_ = 14695981039346656037ull;
};

// Everything but the faces' capacities and edge lists (these index the edge table of
// a clipper or volume that is gone by the time the shard is handed over).
void hashShard(Hash& h, const ZYL_DFmesh& m) {
    h.add(m.shardId), h.add(m.flags), h.add(m.numPieces), h.add(m.numUVSets), h.add(m.auxFlag);
    h.add(m.numVertices), h.add(m.numFaces), h.add(m.numUVs), h.add(m.numCornerNormals);
    h.vectors(m.vertices, m.numVertices);
    h.vectors(m.worldVertices, m.numVertices);
    h.vectors(m.vertexData, m.numVertices);
    h.vectors(m.normals, m.numFaces);
    h.vectors(m.worldNormals, m.numFaces);
    h.vectors(m.uvs, m.numUVs);
    for (const QmtVector3* set : m.uvSets) h.vectors(set, m.numUVs);
    h.vectors(m.cornerNormals, m.numCornerNormals);
    h.vectors(&m.centre, 1), h.vectors(&m.worldCentre, 1), h.vectors(&m.translation, 1), h.vectors(&m.scale, 1);
    h.add(m.radius), h.add(m.worldRadius);
    for (unsigned r = 0; r < 3; ++r) h.bytes(m.rotation[r], 3 * sizeof(double));
    for (std::uint32_t f = 0; f < m.numFaces; ++f) {
        const ZYL_DFface& face = m.faces[f];
        h.add(face.numVertices), h.add(face.flags), h.add(face.alive), h.add(face.piece), h.add(face.material);
        h.add(face.numUVSets), h.vectors(&face.spare, 1);
        h.indices(face.vertices, face.numVertices);
        h.indices(face.normals, face.numVertices);
        h.indices(face.uvs, face.numVertices);
        for (std::uint32_t s = 0; s < faceExtraUVSets(face); ++s) h.indices(face.uvSets[s], face.numVertices);
    }
}

// Doubles in [lo, hi) straight from the engine's raw output, which the standard fixes.
Seeds randomSeeds(std::uint32_t seed, std::size_t n, double lo, double hi) {
    std::mt19937 rng(seed);
    const auto u = [&] { return lo + (hi - lo) * (rng() / 4294967296.0); };
    Seeds seeds(n);
    for (QmtVector3& s : seeds) s.x = u(), s.y = u(), s.z = u();
    return seeds;
}

// k^3 seeds on a lattice filling [lo, hi]^3: ties everywhere.
Seeds lattice(int k, double lo, double hi) {
    Seeds seeds;
    for (int i = 0; i < k * k * k; ++i) {
        const auto at = [&](int c) { return lo + (hi - lo) * (c + 0.5) / k; };
        seeds.push_back({at(i % k), at(i / k % k), at(i / (k * k))});
    }
    return seeds;
}

// Random seeds with repeats of a few of them and of the origin.
Seeds withDuplicates(Seeds seeds) {
    const Seeds twice = {seeds[1], seeds[4], seeds[4], QmtVector3(), QmtVector3()};
    seeds.insert(seeds.begin() + 3, twice.begin(), twice.end());
    return seeds;
}

meshtest::DFOptions attributes() {
    meshtest::DFOptions o;
    o.uvSets = 2;
    o.cornerNormals = true;
    o.uv = [](std::uint32_t f, const QmtVector3& p, std::uint32_t set) {
        return set == 0 ? QmtVector3(p.x + 0.5 * p.z, p.y - 0.25 * p.z, 0) : QmtVector3(0.1 * f, p.z, 0);
    };
    return o;
}

std::unique_ptr<ZYL_DFmesh> cube() { return meshtest::makeDFMesh(meshtest::box({-1, -1, -1}, {1, 1, 1}), attributes()); }

// A bar along x with three teeth standing up in y.
std::unique_ptr<ZYL_DFmesh> comb() {
    return meshtest::makeDFMesh(
        meshtest::extruded({{0, 0}, {5, 0}, {5, 3}, {4, 3}, {4, 1}, {3, 1}, {3, 3}, {2, 3}, {2, 1}, {1, 1}, {1, 3}, {0, 3}},
                           1.0),
        attributes());
}

std::unique_ptr<ZYL_DFmesh> twoBoxes() {
    return meshtest::makeDFMesh(
        meshtest::joined(meshtest::box({-1, -1, -1}, {0, 1, 1}), meshtest::box({0.5, -1, -1}, {1.5, 1, 1})));
}

// A sphere of 12 x 24 faces placed away from the origin, turned and scaled.
std::unique_ptr<ZYL_DFmesh> sphere() {
    auto m = meshtest::makeDFMesh(meshtest::sphere(11, 24, 1.0), attributes());
    m->rotation.FromAxisAngle(QmtVector3(1, 2, 3) / std::sqrt(14.0), 0.7);
    m->translation = {0.25, -0.5, 2.0};
    m->scale = {1.0, 2.0, 0.5};
    return m;
}

struct Case {
    std::string name;
    std::function<std::unique_ptr<ZYL_DFmesh>()> mesh;
    Seeds seeds;
    std::size_t shards;
    std::uint64_t hash;
};

TEST(VoronoiCellsHash, ShardsStayBitForBitTheSame) {
    const std::vector<Case> cases = {
        {"cube random", cube, randomSeeds(1, 60, -1.0, 1.0), 60, 0xd090cbffbfcb5b01ull},
        {"cube lattice", cube, lattice(4, -1.0, 1.0), 64, 0x4398d35c23c79d5eull},
        {"cube duplicates", cube, withDuplicates(randomSeeds(2, 25, -1.0, 1.0)), 26, 0x122aaa9fd32487caull},
        {"cube outlying", cube, randomSeeds(3, 30, -2.5, 2.5), 15, 0xa57e8d5975fe716full},
        {"comb random", comb, randomSeeds(4, 40, -0.5, 5.5), 21, 0xa078486321e559d9ull},
        {"comb lattice", comb, lattice(3, 0.0, 5.0), 6, 0xf77d207e5a3e72e6ull},
        {"two boxes random", twoBoxes, randomSeeds(5, 30, -1.5, 2.0), 32, 0x6ef3fa70ccfadbe0ull},
        {"two boxes duplicates", twoBoxes, withDuplicates(randomSeeds(6, 15, -1.0, 1.5)), 23, 0xd1b4d90c115aa308ull},
        {"sphere random", sphere, randomSeeds(7, 50, -1.0, 1.0), 46, 0xfedfc85fae6ee7ecull},
        {"sphere lattice", sphere, lattice(3, -0.9, 0.9), 27, 0x5707abdd86aa839bull},
        {"sphere duplicates", sphere, withDuplicates(randomSeeds(8, 20, -0.8, 0.8)), 21, 0xd99fc008b6ca3e5eull},
    };
    for (const Case& c : cases) {
        auto mesh = c.mesh();
        Seeds seeds = c.seeds;
        Hash h;
        std::size_t shards = 0;
        VoronoiCellHooks hooks;
        hooks.shard = [&](ZYL_DFmesh& shard) {
            hashShard(h, shard);
            ++shards;
        };
        ASSERT_TRUE(cutVoronoiCells(*mesh, seeds, hooks));
        h.vectors(seeds.data(), static_cast<std::uint32_t>(seeds.size()));
        EXPECT_EQ(shards, c.shards) << c.name;
        EXPECT_EQ(h.value(), c.hash) << c.name << ": 0x" << std::hex << h.value() << "ull";
    }
}

}  // namespace
