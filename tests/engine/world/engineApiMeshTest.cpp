#include "engine/world/engineApi.h"

#include <gtest/gtest.h>

#include <memory>

#include "tests/allocationHooks.h"
#include "tests/geometry/testMeshes.h"
#include "tests/testSupport.h"

namespace {

using Qmt::QmtVector3;
using meshtest::cube;
using zyltest::ROT_Z90;

bool allZero(const QmtVector3* v, std::uint32_t n) {
    for (std::uint32_t i = 0; i < n; ++i) {
        if (v[i] != QmtVector3::ZERO) {
            return false;
        }
    }
    return v != nullptr;
}

std::uint32_t extraSetArrays(const ZYL_DFmesh& m) {
    std::uint32_t n = 0;
    for (const QmtVector3* set : m.uvSets) {
        n += set != nullptr;
    }
    return n;
}

}  // namespace

TEST(EngineApiMeshes, CompactCreatorsAndCopies) {
    EXPECT_EQ(createMesh(0, 5), nullptr);
    EXPECT_EQ(createMesh(5, 0), nullptr);
    EXPECT_EQ(copyMesh(nullptr), nullptr);
    std::unique_ptr<ZYLmesh> m(createMeshWithUVs(4, 3, 2));
    ASSERT_NE(m, nullptr);
    EXPECT_TRUE(allZero(m->vertices, 4) && allZero(m->worldVertices, 4) && allZero(m->vertexVelocities, 4));
    EXPECT_TRUE(allZero(m->uvs, 3) && allZero(m->normals, 2) && allZero(m->worldNormals, 2));
    EXPECT_EQ(m->velocityFlag, 0);
    EXPECT_EQ(m->faces[1].marker, 1);

    // A deep copy outlives its source.
    auto source = meshtest::makeMesh(cube(), true);
    source->radius = 0.75;
    std::unique_ptr<ZYLmesh> copy(copyMesh(source.get()));
    ASSERT_NE(copy, nullptr);
    const ZYLface face3 = source->faces[3];
    const QmtVector3 uv5 = source->uvs[5];
    source.reset();
    EXPECT_EQ(meshtest::corners(copy->faces[3]), meshtest::corners(face3));
    EXPECT_EQ(copy->uvs[5], uv5);
    EXPECT_EQ(copy->radius, 0.75);
}

TEST(EngineApiMeshes, DetailedCreatorsClampUVSets) {
    EXPECT_EQ(createDFmesh(4, 0, 0, 1), nullptr);
    EXPECT_EQ(createDFmesh(0, 4, 2, 1), nullptr);
    std::unique_ptr<ZYL_DFmesh> one(createDFmesh(4, 6, 2, 1));
    ASSERT_NE(one, nullptr);
    EXPECT_EQ(one->flags & MESH_UV_SETS, 0);
    EXPECT_EQ(extraSetArrays(*one), 0u);
    EXPECT_TRUE(allZero(one->uvs, 6) && allZero(one->vertices, 4) && allZero(one->worldNormals, 2));
    std::unique_ptr<ZYL_DFmesh> three(createDFmesh(4, 6, 2, 3));
    ASSERT_NE(three, nullptr);
    EXPECT_EQ(three->flags & MESH_UV_SETS, MESH_UV_SETS);
    EXPECT_EQ(extraSetArrays(*three), 2u);

    // More sets than the record has slots for: held at nine, the eight slots filled
    // and nothing written past them (ASan).
    std::unique_ptr<ZYL_DFmesh> many(createDFmesh(4, 6, 2, 20));
    ASSERT_NE(many, nullptr);
    EXPECT_EQ(many->numUVSets, MAX_UV_SETS);
    EXPECT_EQ(extraSetArrays(*many), MAX_EXTRA_UV_SETS);

    zyltest::failNextNothrowArrayNew = true;
    EXPECT_EQ(createDFmesh(4, 6, 2, 3), nullptr);  // the partial mesh is freed (LSan)
}

TEST(EngineApiMeshes, DetailedCopiesAreDeep) {
    ZYL_DFmesh empty;
    EXPECT_EQ(copyDFmesh(&empty), nullptr);
    EXPECT_EQ(copyDFmesh(nullptr), nullptr);

    meshtest::DFOptions o{3, true, [](std::uint32_t f, const QmtVector3& p, std::uint32_t set) {
                              return QmtVector3(p.x, set, f);
                          }};
    auto source = meshtest::makeDFMesh(cube(), o);
    source->rotation = ROT_Z90;
    std::unique_ptr<ZYL_DFmesh> copy(copyDFmesh(source.get()));
    ASSERT_NE(copy, nullptr);
    EXPECT_NE(copy->faces[2].uvSets[1], source->faces[2].uvSets[1]);
    EXPECT_EQ(meshtest::corners(copy->faces[2]), meshtest::corners(source->faces[2]));
    EXPECT_EQ(copy->uvSets[1][7], source->uvSets[1][7]);
    EXPECT_EQ(copy->cornerNormals[3], source->cornerNormals[3]);
    zyltest::expectNear(copy->rotation, ROT_Z90, 0.0);

    // Freed apart: the copy stays whole without its source, and a copy of the copy too.
    source.reset();
    std::unique_ptr<ZYL_DFmesh> second(copyDFmesh(copy.get()));
    copy.reset();
    ASSERT_NE(second, nullptr);
    meshtest::expectValidIndices(*second);
    EXPECT_EQ(second->numUVSets, 3u);
}

TEST(EngineApiMeshes, NormalsDeletionAndRecords) {
    EXPECT_FALSE(allocDFmeshNormals(nullptr, 3));
    auto m = meshtest::makeDFMesh(cube());
    ASSERT_TRUE(allocDFmeshNormals(m.get(), 3));
    m->cornerNormals[0] = {1, 2, 3};
    ASSERT_TRUE(allocDFmeshNormals(m.get(), 5));  // the first array is freed (LSan)
    EXPECT_TRUE(allZero(m->cornerNormals, 5));
    EXPECT_EQ(m->numCornerNormals, 0u);  // the count is the caller's
    QmtVector3* const kept = m->cornerNormals;
    zyltest::failNextNothrowArrayNew = true;
    EXPECT_FALSE(allocDFmeshNormals(m.get(), 7));
    EXPECT_EQ(m->cornerNormals, kept);

    ZYL_DFmesh* detailed = m.release();
    deleteDFmesh(&detailed);
    deleteDFmesh(&detailed);
    EXPECT_EQ(detailed, nullptr);
    ZYLmesh* compact = createMesh(3, 1);
    deleteMesh(&compact);
    EXPECT_EQ(compact, nullptr);
    int* pointer = &zyltest::nothrowAllocations;
    clearPointer(&pointer);
    EXPECT_EQ(pointer, nullptr);

    BodyTransformRecord record;
    record.setRotation(ROT_Z90);
    zyltest::expectNear(record.localAxes, ROT_Z90, 0.0);
    Qmt::Quaternion expected;
    expected.FromRotationMatrix(ROT_Z90);
    EXPECT_TRUE(zyltest::Near(record.localOrientation, expected, 0.0));
}

TEST(EngineApiMeshes, NearlyConvex) {
    // L-prism: volume 5 against a hull of 7. Flat: one quad both ways, volume 0.
    const meshtest::Shape L = meshtest::extruded({{0, 0}, {3, 0}, {3, 1}, {1, 1}, {1, 3}, {0, 3}}, 1.0);
    meshtest::Shape flat = cube();
    flat.faces = {{0, 1, 2, 3}, {0, 3, 2, 1}};
    EXPECT_TRUE(isNearlyConvex(meshtest::makeDFMesh(cube()).get()));
    EXPECT_TRUE(isNearlyConvexMesh(meshtest::makeMesh(cube()).get()));
    EXPECT_FALSE(isNearlyConvex(meshtest::makeDFMesh(L).get()));
    EXPECT_FALSE(isNearlyConvexMesh(meshtest::makeMesh(flat).get()));
    EXPECT_FALSE(isNearlyConvex(nullptr));
    // 602 vertices: the reduced hull is taken.
    EXPECT_TRUE(isNearlyConvex(meshtest::makeDFMesh(meshtest::sphere(20, 30, 1.0)).get()));
}
