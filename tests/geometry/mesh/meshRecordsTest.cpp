#include "geometry/mesh/meshRecords.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <type_traits>
#include <utility>
#include <vector>

#include "tests/allocationHooks.h"

namespace {

using Qmt::QmtVector3;
using Indices = std::vector<std::uint32_t>;
using Points = std::vector<QmtVector3>;

Indices indices(const std::uint32_t* p, std::uint32_t n) { return p ? Indices(p, p + n) : Indices{}; }

std::uint32_t extraArrays(const ZYL_DFface& face) {
    std::uint32_t n = 0;
    for (const std::uint32_t* set : face.uvSets) {
        n += set != nullptr;
    }
    return n;
}

bool isMatrix(const Qmt::QmtMatrix3& m, double diagonal) {
    for (unsigned i = 0; i < 9; ++i) {
        if (m(i / 3, i % 3) != (i % 4 == 0 ? diagonal : 0.0)) {
            return false;
        }
    }
    return true;
}

}  // namespace

TEST(MeshRecords, FaceAllocation) {
    ZYL_DFface face(4, 3);
    EXPECT_TRUE(face.alive == 1 && face.flags == FACE_UV_SETS && face.numUVSets == 3);
    EXPECT_TRUE(face.capacity == 4 && face.edgeCapacity == 4 && face.edges && extraArrays(face) == 2);

    std::uint32_t* const kept = face.vertices;
    face.allocate(0, 1);
    EXPECT_TRUE(face.vertices == kept && face.numUVSets == 3 && extraArrays(face) == 2);
    face.allocate(5, 1);  // flag 4 stays, the extra arrays go
    EXPECT_TRUE(face.flags == FACE_UV_SETS && extraArrays(face) == 0 && face.capacity == 5);

    const ZYL_DFface none(3, 0), one(3, 1);
    EXPECT_TRUE(none.flags == 0 && extraArrays(none) == 0 && one.flags == 0 && extraArrays(one) == 0);
    ZYL_DFface many(3, 12);  // the eight slots hold sets 2 to 9
    EXPECT_TRUE(many.numUVSets == 9 && extraArrays(many) == 8);
    many.uvSets[7][2] = 1;

    zyltest::failNextNothrowArrayNew = true;
    many.allocate(4, 2);  // a half-built face would be written out of bounds
    EXPECT_TRUE(many.capacity == 0 && many.edgeCapacity == 0 && !many.vertices && !many.uvs);
}

TEST(MeshRecords, FaceCopy) {
    ZYL_DFface source(5, 3);
    source.numVertices = 3;
    source.numEdges = 5;
    for (std::uint32_t i = 0; i < 5; ++i) {
        source.edges[i] = 60 + i;
    }
    for (std::uint32_t i = 0; i < 3; ++i) {
        source.vertices[i] = 10 + i, source.normals[i] = 20 + i, source.uvs[i] = 30 + i;
        source.uvSets[0][i] = 40 + i, source.uvSets[1][i] = 50 + i;
    }
    source.flags = FACE_UV_SETS | FACE_CAP;
    source.piece = 7;
    source.material = 2;
    source.spare = QmtVector3(1.0, 2.0, 3.0);

    ZYL_DFface copy;
    copyDFmeshFace(source, copy);
    EXPECT_TRUE(copy.capacity == 5 && copy.numVertices == 3 && copy.numEdges == 5);
    EXPECT_EQ(indices(copy.edges, 5), indices(source.edges, 5));
    for (auto array : {&ZYL_DFface::vertices, &ZYL_DFface::normals, &ZYL_DFface::uvs}) {
        EXPECT_EQ(indices(copy.*array, 3), indices(source.*array, 3));
    }
    EXPECT_EQ(indices(copy.uvSets[0], 3), indices(source.uvSets[0], 3));
    EXPECT_EQ(indices(copy.uvSets[1], 3), indices(source.uvSets[1], 3));
    EXPECT_TRUE(copy.flags == source.flags && copy.numUVSets == 3 && copy.piece == 7 && copy.material == 2);
    EXPECT_TRUE(copy.alive == 0 && copy.spare == QmtVector3::ZERO);  // neither is copied
    copyDFmeshFace(copy, copy);
    EXPECT_EQ(indices(copy.edges, 5), indices(source.edges, 5));

    // Flag 4 with no extra set, a missing extra array, a count past nine: all safe.
    ZYL_DFface odd(3, 0);
    odd.flags = FACE_UV_SETS;
    odd.numVertices = 3;
    copyDFmeshFace(odd, copy);
    EXPECT_TRUE(extraArrays(copy) == 0 && copy.numUVSets == 0);
    delete[] std::exchange(source.uvSets[1], nullptr);
    source.numUVSets = 200;
    copyDFmeshFace(source, copy);
    EXPECT_TRUE(copy.numUVSets == 9 && extraArrays(copy) == 8);
    EXPECT_EQ(indices(copy.uvSets[0], 3), indices(source.uvSets[0], 3));

    zyltest::failNextNothrowArrayNew = true;
    copyDFmeshFace(source, copy);
    EXPECT_TRUE(copy.capacity == 0 && copy.numVertices == 0 && copy.numEdges == 0);
}

TEST(MeshRecords, Records) {
    ZYLmesh mesh;
    EXPECT_TRUE(!mesh.faces && isMatrix(mesh.rotation, 1.0) && mesh.scale == QmtVector3(1.0, 1.0, 1.0));
    mesh.numFaces = 2;
    mesh.faces = new ZYLface[2];
    mesh.vertexVelocities = new QmtVector3[3];
    EXPECT_TRUE(mesh.faces[1].numVertices == 0 && mesh.faces[1].flags == 0);
    mesh.release();
    mesh.release();
    EXPECT_TRUE(!mesh.faces && !mesh.vertexVelocities && mesh.numFaces == 2);

    ZYL_DFmesh detailed;
    detailed.numFaces = 2;
    detailed.faces = new ZYL_DFface[2];
    detailed.faces[0].allocate(3, 2);
    detailed.numVertices = detailed.numUVs = detailed.numCornerNormals = detailed.numUVSets = 2;
    detailed.uvSets[0] = new QmtVector3[2];
    detailed.cornerNormals = new QmtVector3[2];
    detailed.vertexData = new QmtVector3[2];
    detailed.shardId = detailed.flags = MESH_UV_SETS;
    detailed.release();
    detailed.release();
    EXPECT_TRUE(!detailed.faces && !detailed.uvSets[0] && !detailed.cornerNormals && !detailed.vertexData);
    EXPECT_TRUE(detailed.numVertices == 0 && detailed.numUVs == 0 && detailed.numCornerNormals == 0);
    EXPECT_TRUE(detailed.numUVSets == 0 && detailed.shardId == 0 && detailed.flags == 0);
    EXPECT_EQ(detailed.numFaces, 2u);

    const QmtVector3 points[] = {{1.0, 0.0, 0.0}, {0.0, 2.0, 0.0}, {2.0, 1.0, 3.0}, {1.0, 1.0, 1.0}};
    EXPECT_EQ(computeFaceCenter(points, 4), QmtVector3(1.0, 1.0, 1.0));
    EXPECT_EQ(computeFaceCenter(points, 0), QmtVector3::ZERO);
}

TEST(MeshRecords, EditableMesh) {
    EXPECT_TRUE(isMatrix(ZYL_DMesh().rotation, 0.0) && ZYL_DMesh().scale == QmtVector3::ZERO);

    ZYL_DFmesh m;
    m.numFaces = 3;
    m.faces = new ZYL_DFface[3];
    m.faces[2].allocate(3, 1);
    m.numVertices = 3;
    m.vertices = new QmtVector3[3]{{0.0, 0.0, 0.0}, {1.0, 0.0, 0.0}, {2.0, 0.0, 0.0}};
    m.worldVertices = new QmtVector3[3]{{0.0, 9.0, 0.0}, {1.0, 9.0, 0.0}, {2.0, 9.0, 0.0}};
    m.normals = new QmtVector3[3]{{1.0, 0.0, 0.0}, {0.0, 1.0, 0.0}, {0.0, 0.0, 1.0}};
    m.numUVs = 2;
    m.uvSets[1] = new QmtVector3[2]{{0.3, 0.3, 0.0}, {0.4, 0.4, 0.0}};
    m.numUVSets = 3;
    m.shardId = 11;
    m.translation = QmtVector3(5.0, 5.0, 5.0);
    {
        const ZYL_DMesh editable(&m);
        ZYL_DMesh copy(editable);
        copy = editable;
        const auto same = [](const PooledList<QmtVector3>& list, const QmtVector3* p, std::uint32_t n) {
            return Points(list.begin(), list.end()) == Points(p, p + n);
        };
        for (const ZYL_DMesh* d : {&editable, static_cast<const ZYL_DMesh*>(&copy)}) {
            EXPECT_EQ(std::vector<ZYL_DFface*>(d->faces.begin(), d->faces.end()),
                      (std::vector<ZYL_DFface*>{&m.faces[0], &m.faces[1], &m.faces[2]}));
            EXPECT_TRUE(same(d->vertices, m.vertices, 3) && same(d->worldVertices, m.worldVertices, 3));
            EXPECT_TRUE(same(d->normals, m.normals, 3) && same(d->uvSets[1], m.uvSets[1], 2));
            EXPECT_TRUE(d->uvSets[0].count == 0 && d->worldNormals.count == 0 && d->uvs.count == 0);
            EXPECT_TRUE(d->numUVSets == 3 && d->shardId == 11 && d->translation == QmtVector3::ZERO);
        }
    }
    EXPECT_EQ(m.faces[2].capacity, 3u);  // the faces outlive the editable meshes

    m.numUVSets = 0;
    EXPECT_EQ(ZYL_DMesh(&m).uvSets[1].count, 0u);
    m.numUVSets = 12;
    EXPECT_EQ(ZYL_DMesh(&m).uvSets[1].count, 2u);
    EXPECT_EQ(ZYL_DMesh(nullptr).vertices.count, 0u);
}

TEST(MeshRecords, Layout) {
    EXPECT_EQ(sizeof(ZYLface), 400u);
    EXPECT_TRUE(offsetof(ZYLface, uvs) == 132 && offsetof(ZYLface, edges) == 264 && offsetof(ZYLface, extra) == 398);
    EXPECT_TRUE(std::is_trivially_copyable_v<ZYLface> && std::is_trivially_copyable_v<connect_edge>);
    EXPECT_TRUE(sizeof(connect_edge) == 192 && offsetof(connect_edge, faceA) == 168);
}
