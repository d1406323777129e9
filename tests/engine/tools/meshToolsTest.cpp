#include "engine/tools/meshTools.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <new>
#include <vector>

#include "engine/threads/processorCount.h"
#include "geometry/mesh/bvDFmesh.h"
#include "geometry/mesh/massProperties.h"
#include "tests/geometry/testMeshes.h"
#include "tests/testSupport.h"
#include "tests/allocationHooks.h"

// Array new of this program counts its calls and can be made to throw at one of them,
// to reach allocation failures inside the piece finder.
namespace {
int arrayNewCalls = 0;
int failingArrayNew = -1;  // the call number that throws; -1 none
}  // namespace

void* operator new[](std::size_t size) {
    if (arrayNewCalls++ == failingArrayNew) {
        throw std::bad_alloc();
    }
    if (void* p = std::malloc(size > 0 ? size : 1)) {
        return p;
    }
    throw std::bad_alloc();
}
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

namespace {

using Qmt::QmtVector3;
using meshtest::cube;
using meshtest::joined;
using zyltest::expectNear;
using zyltest::expectVec;

const QmtVector3 UP{0, 0, 1};
const QmtVector3 RIGHT{1, 0, 0};

// Corner normals and two UV sets on every corner, so the piece rebuild has every
// index kind to move.
std::unique_ptr<ZYL_DFmesh> attributed(const meshtest::Shape& s) {
    meshtest::DFOptions o;
    o.uvSets = 2;
    o.cornerNormals = true;
    o.uv = [](std::uint32_t f, const QmtVector3& p, std::uint32_t set) { return QmtVector3(p.x + set, p.y, f); };
    return meshtest::makeDFMesh(s, o);
}

std::unique_ptr<ZYL_DFmesh> twoCubes() { return attributed(joined(cube(1.0), cube(1.0, {3, 0, 0}))); }

std::uint32_t flaggedFaces(const ZYL_DFmesh& m) {
    std::uint32_t n = 0;
    for (std::uint32_t f = 0; f < m.numFaces; ++f) {
        n += (m.faces[f].flags & FACE_CAP) != 0;
    }
    return n;
}

}  // namespace

TEST(ClipDFmeshByPlane, CutCapsAndMisses) {
    for (const bool pieceAware : {false, true}) {
        auto m = attributed(cube(2.0, {-1, -1, -1}));
        EXPECT_EQ(clipDFmeshByPlane(m.get(), UP, {0, 0, 0.5}, pieceAware), 0);
        EXPECT_EQ(m->numFaces, 6u);
        EXPECT_NEAR(computeMeshVolume(m.get()), 2.0, 1e-9);
        EXPECT_EQ(flaggedFaces(*m), 1u);  // the cap
        meshtest::expectValidIndices(*m);
    }
    // Misses leave the mesh: wholly below, wholly above.
    auto m = attributed(cube(2.0, {-1, -1, -1}));
    EXPECT_EQ(clipDFmeshByPlane(m.get(), UP, {0, 0, 2}, false), -1);
    EXPECT_EQ(clipDFmeshByPlane(m.get(), UP, {0, 0, -2}, true), 1);
    EXPECT_EQ(m->numFaces, 6u);
    EXPECT_NEAR(computeMeshVolume(m.get()), 8.0, 1e-12);
}

TEST(ClipDFmeshByPlane, PiecesAreCutOneByOne) {
    // x = 0.5 halves the first cube and misses the second: best result 1.
    auto m = twoCubes();
    EXPECT_EQ(clipDFmeshByPlane(m.get(), RIGHT, {0.5, 0, 0}, true), 1);
    EXPECT_EQ(m->numFaces, 12u);
    EXPECT_NEAR(computeMeshVolume(m.get()), 1.5, 1e-9);
    meshtest::expectValidIndices(*m);
    for (std::uint32_t f = 0; f < m->numFaces; ++f) {  // both UV sets moved alike (caps have one)
        const ZYL_DFface& face = m->faces[f];
        if (faceExtraUVSets(face) > 0) {
            EXPECT_EQ(meshtest::Indices(face.uvSets[0], face.uvSets[0] + face.numVertices), meshtest::cornerUVs(face));
        }
    }
    expectNear(m->centre, ::computeFaceCenter(m->vertices, m->numVertices));

    // x = 2 takes the first cube away: only the second is rebuilt.
    m = twoCubes();
    EXPECT_EQ(clipDFmeshByPlane(m.get(), RIGHT, {2, 0, 0}, true), 1);
    EXPECT_EQ(m->numFaces, 6u);
    EXPECT_EQ(m->numVertices, 8u);
    EXPECT_NEAR(computeMeshVolume(m.get()), 1.0, 1e-12);
    meshtest::expectValidIndices(*m);

    // Everything cut away.
    m = twoCubes();
    EXPECT_EQ(clipDFmeshByPlane(m.get(), RIGHT, {10, 0, 0}, true), -1);
    EXPECT_EQ(m->numFaces, 0u);
}

TEST(ClipDFmeshByPlane, FailuresAreMinusOneAndTouchNothing) {
    auto m = attributed(cube(2.0, {-1, -1, -1}));
    zyltest::failNextNothrowNew = true;  // the temporary volume
    EXPECT_EQ(clipDFmeshByPlane(m.get(), UP, {0, 0, 0.5}, false), -1);
    EXPECT_EQ(m->numFaces, 6u);
    EXPECT_NEAR(computeMeshVolume(m.get()), 8.0, 1e-12);

    m->faces[2].vertices[1] = m->numVertices;  // out of range
    EXPECT_EQ(clipDFmeshByPlane(m.get(), UP, {0, 0, 0.5}, true), -1);
    EXPECT_EQ(splitDFmeshPieces(m.get(), nullptr), -1);
    EXPECT_FALSE(dfmeshHasSeveralPieces(m.get()));
    EXPECT_FALSE(tessellateDFmesh(m.get(), 1, false));
    EXPECT_EQ(m->numFaces, 6u);
    EXPECT_EQ(flaggedFaces(*m), 0u);
    EXPECT_EQ(clipDFmeshByPlane(nullptr, UP, {}, true), -1);
}

TEST(TessellateDFmesh, CountsAndFlags) {
    auto m = meshtest::makeDFMesh(cube());
    EXPECT_TRUE(tessellateDFmesh(m.get(), 1, false));
    EXPECT_EQ(m->numFaces, 24u);
    EXPECT_EQ(m->numVertices, 8u + 18u);
    EXPECT_EQ(flaggedFaces(*m), 0u);
    EXPECT_TRUE(tessellateDFmesh(m.get(), 1, false));
    EXPECT_EQ(m->numFaces, 96u);

    for (const std::uint16_t level : {0, 4}) {  // refused levels: still true, nothing done
        auto plain = meshtest::makeDFMesh(cube());
        EXPECT_TRUE(tessellateDFmesh(plain.get(), level, false));
        EXPECT_EQ(plain->numFaces, 6u);
        EXPECT_EQ(flaggedFaces(*plain), 0u);
    }

    // Only the flagged face: four quads that keep the flag, five faces that gain a corner.
    auto one = meshtest::makeDFMesh(cube());
    one->faces[0].flags |= FACE_CAP;
    EXPECT_TRUE(tessellateDFmesh(one.get(), 1, true));
    EXPECT_EQ(one->numFaces, 9u);
    EXPECT_EQ(flaggedFaces(*one), 4u);
}

TEST(SplitDFmeshPieces, PiecesCountsAndHandOver) {
    auto two = twoCubes();
    EXPECT_TRUE(dfmeshHasSeveralPieces(two.get()));
    ZYL_DFmesh** pieces = nullptr;
    ASSERT_EQ(splitDFmeshPieces(two.get(), &pieces), 2);
    ASSERT_NE(pieces, nullptr);
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(pieces[i]->numVertices, 8u);
        EXPECT_EQ(pieces[i]->numFaces, 6u);
        meshtest::expectValidIndices(*pieces[i]);
        delete pieces[i];
    }
    delete[] pieces;

    // One piece, and two that merge into one (small cube inside a large one): the count,
    // nothing handed over, nothing leaked.
    ZYL_DFmesh** untouched = reinterpret_cast<ZYL_DFmesh**>(&pieces);
    ZYL_DFmesh** out = untouched;
    auto single = meshtest::makeDFMesh(cube());
    EXPECT_FALSE(dfmeshHasSeveralPieces(single.get()));
    EXPECT_EQ(splitDFmeshPieces(single.get(), &out), 1);
    EXPECT_EQ(out, untouched);
    auto nested = attributed(joined(cube(4.0), cube(1.0, {1, 1, 1})));
    EXPECT_TRUE(dfmeshHasSeveralPieces(nested.get()));
    EXPECT_EQ(splitDFmeshPieces(nested.get(), &out), 1);
    EXPECT_EQ(out, untouched);

    // The piece finder runs out of memory: -1, not a count with no array behind it.
    BVDFmesh probe;
    const int start = arrayNewCalls;
    probe.init(two.get(), BVDF_PIECES);
    failingArrayNew = arrayNewCalls + (arrayNewCalls - start);  // the first one past init
    EXPECT_EQ(splitDFmeshPieces(two.get(), &out), -1);
    EXPECT_GT(arrayNewCalls, failingArrayNew);
    EXPECT_EQ(out, untouched);
    failingArrayNew = -1;
}

TEST(SeedHelpers, SegmentDistanceAndLengthOrder) {
    QmtVector3 out;
    EXPECT_EQ(pointSegmentDistanceSq({3, 1, 0}, {0, 0, 0}, {2, 0, 0}, out), 2.0);  // beyond b
    expectVec(out, -1, -1, 0);
    EXPECT_EQ(pointSegmentDistanceSq({1, 2, 0}, {0, 0, 0}, {2, 0, 0}, out), 4.0);  // inside
    // A segment of zero length is its point.
    EXPECT_EQ(pointSegmentDistanceSq({1, 2, 2}, {1, 0, 0}, {1, 0, 0}, out), 8.0);
    expectVec(out, 0, -2, -2);

    const QmtVector3 x3{3, 0, 0}, z3{0, 0, 3};
    EXPECT_EQ(compareSquaredLength(&x3, &z3), 0);
    std::vector<QmtVector3> seeds = {{0, 0, 3}, {1, 0, 0}, {0, 2, 0}, {0, 0, -0.5}};
    std::qsort(seeds.data(), seeds.size(), sizeof(QmtVector3), compareSquaredLength);
    EXPECT_EQ(seeds.front().z, -0.5);
    EXPECT_EQ(seeds.back().z, 3.0);
}

TEST(ClipMeshByPlane, ClassifiesThenCuts) {
    auto m = meshtest::makeMesh(cube(2.0, {-1, -1, -1}));
    EXPECT_EQ(clipMeshByPlane(m.get(), UP, {0, 0, 2}, false), -1);
    EXPECT_EQ(clipMeshByPlane(m.get(), UP, {0, 0, -2}, false), 1);
    EXPECT_EQ(m->numFaces, 6u);
    EXPECT_EQ(clipMeshByPlane(m.get(), UP, {0, 0, 0.5}, false), 0);
    EXPECT_EQ(m->numFaces, 6u);
    EXPECT_NEAR(computeMeshVolume(m.get()), 2.0, 1e-9);

    // Island-aware: both cubes cut, re-joined piece after piece.
    auto two = meshtest::makeMesh(joined(cube(1.0), cube(1.0, {3, 0, 0})));
    EXPECT_TRUE(meshHasSeveralIslands(two.get()));
    EXPECT_EQ(clipMeshByPlane(two.get(), UP, {0, 0, 0.5}, true), 0);
    EXPECT_EQ(two->numMeshGroups, 2u);
    EXPECT_EQ(two->numFaces, 12u);
    EXPECT_NEAR(computeMeshVolume(two.get()), 1.0, 1e-9);
    meshtest::expectValidIndices(*two);
    EXPECT_FALSE(meshHasSeveralIslands(m.get()));
}

TEST(MeshToolsMisc, RayVersionAndProcessors) {
    auto m = meshtest::makeDFMesh(cube());
    QmtVector3 point, normal;
    // The bottom face looks along the ray and is passed over; the top face is met.
    ASSERT_TRUE(rayHitsFrontFace(m.get(), {0.5, 0.5, 5}, {0, 0, -1}, point, normal));
    expectNear(point, {0.5, 0.5, 1});
    expectVec(normal, 0, 0, 1);
    EXPECT_FALSE(rayHitsFrontFace(m.get(), {5, 5, 5}, {0, 0, -1}, point, normal));
    EXPECT_FALSE(rayHitsFrontFace(nullptr, {}, {0, 0, -1}, point, normal));

    EXPECT_EQ(static_cast<double>(engineVersion()), 3.890000104904175);
    EXPECT_GE(getSystemProcessorCount(), 1);
}
