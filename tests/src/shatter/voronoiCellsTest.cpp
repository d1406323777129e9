// The Voronoi cell core: shard ids and volumes, degenerate seed counts, seeds very close,
// equal, far or not numbers, cells that fall apart, cancelling, and the planes it leaves
// out changing no shard by a single bit.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "engine/tools/meshTools.h"
#include "engine/world/engineApi.h"
#include "geometry/mesh/massProperties.h"
#include "geometry/testMeshes.h"
#include "src/shatter/voronoiCells.h"

namespace {

using Qmt::QmtVector3;
using Seeds = std::vector<QmtVector3>;

// Every field of a shard that the shard builder reads, bit for bit.
struct Snapshot {
    std::uint16_t id = 0;
    double volume = 0.0;
    std::vector<double> reals;
    std::vector<std::uint32_t> ints;
    bool operator==(const Snapshot& o) const {
        return id == o.id && reals.size() == o.reals.size() &&
               std::memcmp(reals.data(), o.reals.data(), reals.size() * sizeof(double)) == 0 && ints == o.ints;
    }
};

Snapshot snapshot(const ZYL_DFmesh& m) {
    Snapshot s;
    s.id = m.shardId;
    s.volume = computeMeshVolume(&m);
    const auto add = [&s](const QmtVector3* v, std::uint32_t n) {
        for (std::uint32_t i = 0; v && i < n; ++i) s.reals.insert(s.reals.end(), {v[i].x, v[i].y, v[i].z});
    };
    add(m.vertices, m.numVertices);
    add(m.worldVertices, m.numVertices);
    add(m.normals, m.numFaces);
    add(m.worldNormals, m.numFaces);
    add(m.uvs, m.numUVs);
    add(m.cornerNormals, m.numCornerNormals);
    add(&m.centre, 1);
    s.ints = {m.numVertices, m.numFaces, m.numUVs, m.numCornerNormals, m.numPieces, m.numUVSets, m.flags};
    for (std::uint32_t f = 0; f < m.numFaces; ++f) {
        const ZYL_DFface& face = m.faces[f];
        s.ints.insert(s.ints.end(), {face.numVertices, face.flags, face.alive, face.piece, face.material});
        for (std::uint32_t k = 0; k < face.numVertices; ++k) {
            s.ints.insert(s.ints.end(), {face.vertices[k], face.normals ? face.normals[k] : 0u, face.uvs ? face.uvs[k] : 0u});
        }
    }
    return s;
}

std::vector<Snapshot> cells(ZYL_DFmesh& mesh, Seeds& seeds) {
    std::vector<Snapshot> shards;
    VoronoiCellHooks hooks;
    hooks.shard = [&shards](ZYL_DFmesh& shard) { shards.push_back(snapshot(shard)); };
    EXPECT_TRUE(cutVoronoiCells(mesh, seeds, hooks));
    return shards;
}

// The cutting as written down: the working array re-sorted stably for every cell and
// every bisector plane clipped; a seed repeating an earlier one makes no cell.
std::vector<Snapshot> literalCells(ZYL_DFmesh& mesh, Seeds seeds) {
    const bool pieceAware = dfmeshHasSeveralPieces(&mesh);
    std::vector<Snapshot> shards;
    if (seeds.empty()) return shards;
    setSeedReferencePoint(seeds[0]);
    sortSeedsByDistance(seeds.data(), seeds.size());
    Seeds working = seeds;
    for (std::size_t i = 0; i < seeds.size(); ++i) {
        if (std::find(seeds.begin(), seeds.begin() + i, seeds[i]) != seeds.begin() + i) continue;
        ZYL_DFmesh* copy = copyDFmesh(&mesh);
        setSeedReferencePoint(seeds[i]);
        sortSeedsByDistance(working.data(), working.size());
        bool kept = seeds.size() >= 2;
        for (std::size_t j = 1; j < working.size() && kept; ++j) {
            kept = clipDFmeshByPlane(copy, seeds[i] - working[j], (seeds[i] + working[j]) * 0.5, pieceAware) >= 0;
        }
        const auto c = static_cast<std::uint32_t>(i + 1);
        ZYL_DFmesh** pieces = nullptr;
        const int count = !kept || isNearlyConvex(copy) ? 0 : splitDFmeshPieces(copy, &pieces);
        if (kept && count <= 1) {
            copy->shardId = static_cast<std::uint16_t>(c);
            shards.push_back(snapshot(*copy));
        }
        for (int k = 0; count > 1 && k < count; ++k) {
            pieces[k]->shardId = static_cast<std::uint16_t>(k * 10000u + c);
            shards.push_back(snapshot(*pieces[k]));
            deleteDFmesh(&pieces[k]);
        }
        delete[] pieces;
        deleteDFmesh(&copy);
    }
    return shards;
}

std::unique_ptr<ZYL_DFmesh> twoUnitCube() { return meshtest::makeDFMesh(meshtest::box({-1, -1, -1}, {1, 1, 1})); }

// A bar along x with three teeth standing up in y, one unit thick in z.
std::unique_ptr<ZYL_DFmesh> comb() {
    return meshtest::makeDFMesh(meshtest::extruded(
        {{0, 0}, {5, 0}, {5, 3}, {4, 3}, {4, 1}, {3, 1}, {3, 3}, {2, 3}, {2, 1}, {1, 1}, {1, 3}, {0, 3}}, 1.0));
}

Seeds randomSeeds(std::mt19937& rng, std::size_t n, double lo, double hi) {
    std::uniform_real_distribution<double> u(lo, hi);
    Seeds seeds(n);
    for (QmtVector3& s : seeds) s = {u(rng), u(rng), u(rng)};
    return seeds;
}

TEST(VoronoiCells, TwoSeedsSplitTheCubeByTheirBisectorIntoShardsOneAndTwo) {
    auto cube = twoUnitCube();
    Seeds seeds = {{0.5, 0.25, 0}, {-0.5, 0.25, 0}};
    const auto shards = cells(*cube, seeds);
    ASSERT_EQ(shards.size(), 2u);
    EXPECT_EQ(shards[0].id, 1);
    EXPECT_EQ(shards[1].id, 2);
    EXPECT_NEAR(shards[0].volume, 4.0, 1e-12);
    EXPECT_NEAR(shards[1].volume, 4.0, 1e-12);
    // Sorted from the first seed: it stays first.
    EXPECT_EQ(seeds[0], QmtVector3(0.5, 0.25, 0));
}

TEST(VoronoiCells, FewerThanTwoSeedsMakeNoShardAndTheRunSucceeds) {
    for (std::size_t n : {0u, 1u}) {
        auto cube = twoUnitCube();
        Seeds seeds(n, QmtVector3(0.1, 0.2, 0.3));
        int built = 0;
        VoronoiCellHooks hooks;
        hooks.cellBuilt = [&built](std::uint32_t, std::uint32_t) { ++built; };
        EXPECT_TRUE(cells(*cube, seeds).empty()) << n;
        EXPECT_TRUE(cutVoronoiCells(*cube, seeds, hooks));
        EXPECT_EQ(built, 0);
    }
}

TEST(VoronoiCells, ACellThatFallsApartGivesEachPieceItsOwnId) {
    auto mesh = comb();
    Seeds seeds = {{2.5, 0.5, 0.5}, {2.5, 3.5, 0.5}};  // bisector y = 2 cuts the three teeth
    const auto shards = cells(*mesh, seeds);
    ASSERT_EQ(shards.size(), 4u);
    EXPECT_EQ(shards[0].id, 1);
    EXPECT_NEAR(shards[0].volume, 8.0, 1e-9);
    for (int k = 0; k < 3; ++k) {
        EXPECT_EQ(shards[1 + k].id, k * 10000 + 2);
        EXPECT_NEAR(shards[1 + k].volume, 1.0, 1e-9);
    }
}

TEST(VoronoiCells, ShardsFillTheMeshAndCapFacesAreTheCutFaces) {
    std::mt19937 rng(11);
    auto cube = twoUnitCube();
    cube->faces[3].flags |= FACE_CUT;  // the face x = 1 is an older cut
    Seeds seeds = randomSeeds(rng, 40, -1.0, 1.0);
    std::vector<QmtVector3> capNormals;
    double volume = 0.0, olderCutArea = 0.0;
    int built = 0;
    VoronoiCellHooks hooks;
    hooks.shard = [&](ZYL_DFmesh& shard) {
        volume += computeMeshVolume(&shard);
        for (std::uint32_t f = 0; f < shard.numFaces; ++f) {
            const ZYL_DFface& face = shard.faces[f];
            const QmtVector3& n = shard.worldNormals[f];
            const bool onSurface = std::fabs(std::fabs(n.x) + std::fabs(n.y) + std::fabs(n.z) - 1.0) < 1e-12 &&
                                   std::fabs(shard.worldVertices[face.vertices[0]].Dot(n) - 1.0) < 1e-12;
            EXPECT_EQ((face.flags & FACE_CAP) != 0, !onSurface);
            if (face.flags & FACE_CUT) {
                EXPECT_DOUBLE_EQ(n.x, 1.0);
                olderCutArea += 1.0;
            }
        }
    };
    hooks.cellBuilt = [&built](std::uint32_t, std::uint32_t count) {
        EXPECT_EQ(count, 40u);
        ++built;
    };
    ASSERT_TRUE(cutVoronoiCells(*cube, seeds, hooks));
    EXPECT_EQ(built, 40);
    EXPECT_NEAR(volume, 8.0, 1e-9);
    EXPECT_GT(olderCutArea, 0.0);
}

TEST(VoronoiCells, SeedsVeryCloseTogetherStillSplitTheMeshAndCoincidingOnesMakeOneCell) {
    const auto cube = [] { return meshtest::makeDFMesh(meshtest::box({-0.5, -0.5, -0.5}, {0.5, 0.5, 0.5})); };
    // About 2e-9 apart: the bisector's normal is far shorter than the clipper normalises.
    Seeds pair = {{-0.26936713444040417, -0.34324916002197869, 0.083293777812964653},
                  {-0.26936713270835339, -0.34324915915595328, 0.083293777812964653}};
    auto mesh = cube();
    std::vector<double> volumes;
    VoronoiCellHooks hooks;
    hooks.shard = [&volumes](ZYL_DFmesh& shard) {
        EXPECT_TRUE(meshtest::closed(shard));
        volumes.push_back(computeMeshVolume(&shard));
    };
    ASSERT_TRUE(cutVoronoiCells(*mesh, pair, hooks));
    ASSERT_EQ(volumes.size(), 2u);
    EXPECT_NEAR(volumes[0] + volumes[1], 1.0, 1e-12);
    EXPECT_GT(std::min(volumes[0], volumes[1]), 0.05);
    // One unit in the last place apart, and equal: one cell, the whole cube.
    for (const double x : {std::nextafter(0.1, 1.0), 0.1}) {
        Seeds seeds = {{0.1, 0.2, 0.3}, {x, 0.2, 0.3}};
        mesh = cube();
        const auto shards = cells(*mesh, seeds);
        ASSERT_EQ(shards.size(), 1u);
        EXPECT_NEAR(shards[0].volume, 1.0, 1e-12);
    }
}

TEST(VoronoiCells, FarSeedsChangeNoCellAndSeedsThatAreNoNumbersAreRefused) {
    // Seeds around 1e160 act as seeds merely outside the mesh: their squared distances
    // would overflow.
    std::mt19937 rng(85);
    const Seeds near = randomSeeds(rng, 10, -1.0, 1.0);
    Seeds far = near, outside = near;
    far.insert(far.end(), {{1e160, 0.1, 0.1}, {0.3, -2e160, 5.0}});
    outside.insert(outside.end(), {{1e3, 0.1, 0.1}, {0.3, -2e3, 5.0}});
    auto a = twoUnitCube();
    auto b = twoUnitCube();
    EXPECT_EQ(cells(*a, far), cells(*b, outside));
    // Two far seeds alone still halve the cube between them.
    Seeds apart = {{1e160, 0.0, 0.0}, {-1e160, 0.0, 0.0}};
    a = twoUnitCube();
    const auto halves = cells(*a, apart);
    ASSERT_EQ(halves.size(), 2u);
    EXPECT_NEAR(halves[0].volume, 4.0, 1e-12);
    EXPECT_NEAR(halves[1].volume, 4.0, 1e-12);

    const double nan = std::nan("");
    Seeds bad = near;
    bad.insert(bad.end(), {{nan, 0.1, 0.1}, {0.2, nan, -nan}, {0.0, 0.0, 0.5}});
    EXPECT_EQ(countNonFiniteSeeds(bad), 2u);
    int shards = 0;
    VoronoiCellHooks hooks;
    hooks.shard = [&shards](ZYL_DFmesh&) { ++shards; };
    EXPECT_FALSE(cutVoronoiCells(*b, bad, hooks));
    EXPECT_EQ(shards, 0);
}

TEST(VoronoiCells, ACancelStopsBeforeTheNextCell) {
    auto cube = twoUnitCube();
    std::mt19937 rng(5);
    Seeds seeds = randomSeeds(rng, 6, -1.0, 1.0);
    int asked = 0, shards = 0;
    VoronoiCellHooks hooks;
    hooks.cancelled = [&asked] { return ++asked == 3; };
    hooks.shard = [&shards](ZYL_DFmesh&) { ++shards; };
    EXPECT_FALSE(cutVoronoiCells(*cube, seeds, hooks));
    EXPECT_EQ(asked, 3);
    EXPECT_EQ(shards, 2);
}

// Random seeds, duplicates, seeds outside the mesh and a lattice full of equal
// distances, in a cube, a concave comb and two separate boxes (cut piece by piece).
TEST(VoronoiCells, LeavingOutPlanesThatMissTheCellChangesNoShard) {
    std::mt19937 rng(2024);
    const std::vector<std::function<std::unique_ptr<ZYL_DFmesh>()>> meshes = {
        twoUnitCube, comb, [] {
            return meshtest::makeDFMesh(
                meshtest::joined(meshtest::box({-1, -1, -1}, {0, 1, 1}), meshtest::box({0.5, -1, -1}, {1.5, 1, 1})));
        }};
    Seeds lattice;
    for (int i = 0; i < 27; ++i) lattice.push_back({0.5 * (i % 3) - 0.5, 0.5 * (i / 3 % 3) - 0.5, 0.5 * (i / 9) - 0.5});
    for (const auto& make : meshes) {
        for (int round = 0; round < 4; ++round) {
            Seeds seeds = round == 0 ? lattice : randomSeeds(rng, 10 + 15 * round, -1.5, 2.5);
            if (round == 2) seeds.insert(seeds.end(), {seeds[3], seeds[3], QmtVector3(), QmtVector3()});
            auto a = make();
            auto b = make();
            Seeds copy = seeds;
            EXPECT_EQ(cells(*a, copy), literalCells(*b, seeds)) << "round " << round;
        }
    }
}

}  // namespace
