#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "engine/world/engineApi.h"
#include "moduleTestSupport.h"
#include "host/mel/interpreter.h"
#include "src/meshReader.h"
#include "src/meshWriter.h"

namespace {

struct DFmeshDeleter {
    void operator()(ZYL_DFmesh* mesh) const { deleteDFmesh(&mesh); }
};
using DFmeshPtr = std::unique_ptr<ZYL_DFmesh, DFmeshDeleter>;

class MeshReader : public zyltest::ModuleTest {
protected:

    static void mel(const std::string& text) { ASSERT_TRUE(host::runtime().mel().run(text, false)) << text; }

    static MDagPath shape(const char* name) {
        MSelectionList list;
        list.add(name);
        MDagPath path;
        list.getDagPath(0, path);
        path.extendToShape();
        return path;
    }
    static DFmeshPtr readShape(const char* name, const MIntArray& shading = {}) {
        MFnMesh fn(shape(name));
        MStringArray names;
        return DFmeshPtr(readMeshIntoDFmesh(fn, shading, names));
    }
    // The makeMesh point list of an n-sided quad strip: polygon k has corners 4k .. 4k+3.
    static void makeQuads(const char* name, int quads) {
        std::string pts, faces;
        for (int k = 0; k < quads; ++k) {
            const std::string x0 = std::to_string(2 * k), x1 = std::to_string(2 * k + 1);
            pts += x0 + " 0 0 " + x1 + " 0 0 " + x1 + " 1 0 " + x0 + " 1 0 ";
            for (int c = 0; c < 4; ++c) faces += std::to_string(4 * k + c) + " ";
            faces += ";";
        }
        mel("makeMesh -n " + std::string(name) + " -pts \"" + pts + "\" -fc \"" + faces + "\"");
    }
};

TEST_F(MeshReader, TransformedCubeReadsWorldPointsAndObjectNormals) {
    mel("makeMesh -cube -s 2 -n c; xform -t 10 0 0 -ro 0 0 90 -s 1 3 1 c");
    MFnMesh fn(shape("c"));
    MStringArray names;
    const DFmeshPtr mesh(readMeshIntoDFmesh(fn, MIntArray{0, 1, 0, 1, 2, 1}, names));
    ASSERT_TRUE(mesh);
    EXPECT_EQ(names, (MStringArray{"map1"}));
    ASSERT_EQ(mesh->numVertices, 8u);
    EXPECT_NEAR(mesh->vertices[0].x, 13.0, 1e-6);
    EXPECT_NEAR(mesh->vertices[0].y, -1.0, 1e-6);
    EXPECT_NEAR(mesh->vertices[0].z, 1.0, 1e-6);
    EXPECT_EQ(mesh->worldVertices[0].x, mesh->vertices[0].x);
    EXPECT_NEAR(mesh->centre.x, 10.0, 1e-6);
    EXPECT_EQ(mesh->worldCentre.x, mesh->centre.x);
    EXPECT_EQ(mesh->numCornerNormals, 24u);
    EXPECT_NEAR(mesh->cornerNormals[0].Length(), 1.0, 1e-6);
    EXPECT_EQ(mesh->numUVs, 4u);
    EXPECT_EQ(mesh->numUVSets, 1u);
    EXPECT_EQ(mesh->flags & MESH_UV_SETS, 0);
    ASSERT_EQ(mesh->numFaces, 6u);
    // Face 2 looks down -z in its own space, whatever the transform does to it.
    EXPECT_NEAR(mesh->normals[2].z, -1.0, 1e-12);
    EXPECT_EQ(mesh->worldNormals[2].z, mesh->normals[2].z);
    const std::uint8_t materials[] = {0, 1, 0, 1, 2, 1};
    for (std::uint32_t f = 0; f < 6; ++f) {
        const ZYL_DFface& face = mesh->faces[f];
        ASSERT_EQ(face.numVertices, 4u);
        EXPECT_EQ(face.material, materials[f]);
        EXPECT_EQ(face.flags & FACE_CUT, 0);
        for (std::uint32_t c = 0; c < 4; ++c) EXPECT_EQ(face.normals[c], 4 * f + c);
    }
    EXPECT_EQ(mesh->faces[2].uvs[2], 2u);
}

TEST_F(MeshReader, ShapeAndDataReadersAgree) {
    mel("makeMesh -cube -s 3 -n c");
    const DFmeshPtr fromShape = readShape("c");
    MObject data = MPlug(shape("c").node(), MFnDependencyNode(shape("c").node()).attribute("outMesh")).asMObject();
    MStringArray names;
    const DFmeshPtr fromData(readMeshPolygonsIntoDFmesh(data, {}, names));
    ASSERT_TRUE(fromShape && fromData);
    EXPECT_EQ(names, (MStringArray{"map1"}));
    ASSERT_EQ(fromData->numFaces, fromShape->numFaces);
    ASSERT_EQ(fromData->numVertices, fromShape->numVertices);
    ASSERT_EQ(fromData->numCornerNormals, fromShape->numCornerNormals);
    EXPECT_EQ(fromData->numUVs, fromShape->numUVs);
    for (std::uint32_t i = 0; i < fromShape->numVertices; ++i) EXPECT_EQ(fromData->vertices[i], fromShape->vertices[i]);
    for (std::uint32_t i = 0; i < fromShape->numCornerNormals; ++i)
        EXPECT_EQ(fromData->cornerNormals[i], fromShape->cornerNormals[i]);
    for (std::uint32_t f = 0; f < fromShape->numFaces; ++f) {
        const ZYL_DFface& a = fromShape->faces[f];
        const ZYL_DFface& b = fromData->faces[f];
        ASSERT_EQ(a.numVertices, b.numVertices);
        EXPECT_EQ(fromData->normals[f], fromShape->normals[f]);
        for (std::uint32_t c = 0; c < a.numVertices; ++c) {
            EXPECT_EQ(a.vertices[c], b.vertices[c]);
            EXPECT_EQ(a.normals[c], b.normals[c]);
            EXPECT_EQ(a.uvs[c], b.uvs[c]);
        }
    }
    // Neither reader makes a mesh of nothing.
    EXPECT_EQ(readMeshPolygonsIntoDFmesh(MFnMeshData().create(), {}, names), nullptr);
}

TEST_F(MeshReader, MeshWithoutUVSetsStillGetsCornerIndices) {
    makeQuads("q", 2);
    const DFmeshPtr mesh = readShape("q");
    ASSERT_TRUE(mesh);
    EXPECT_EQ(mesh->numUVs, 0u);
    EXPECT_EQ(mesh->numUVSets, 0u);
    EXPECT_EQ(mesh->uvSets[0], nullptr);
    ASSERT_EQ(mesh->numFaces, 2u);
    EXPECT_EQ(mesh->faces[1].vertices[3], 7u);
    EXPECT_EQ(mesh->faces[1].normals[3], 7u);
    EXPECT_EQ(mesh->faces[1].uvs[3], 0u);
    EXPECT_EQ(mesh->faces[1].flags & FACE_UV_SETS, 0);
}

// Ten sets: set k holds k + 1 UVs (k, i) and gives corner c the id min(c, k); the
// fourth set has UVs but none assigned.
TEST_F(MeshReader, ReadsEightOfTenUVSetsAndZeroesCornersWithoutUVs) {
    makeQuads("q", 1);
    MFnMesh fn(shape("q"));
    for (int k = 0; k < 10; ++k) {
        MString set("s");
        set += k;
        fn.createUVSetWithName(set);
        MFloatArray u, v;
        for (int i = 0; i <= k; ++i) {
            u.append(static_cast<float>(k));
            v.append(static_cast<float>(i));
        }
        ASSERT_TRUE(fn.setUVs(u, v, &set));
        if (k == 3) continue;
        MIntArray ids;
        for (int c = 0; c < 4; ++c) ids.append(std::min(c, k));
        ASSERT_TRUE(fn.assignUVs(MIntArray{4}, ids, &set));
    }
    MStringArray names;
    const DFmeshPtr mesh(readMeshIntoDFmesh(fn, {}, names));
    ASSERT_TRUE(mesh);
    EXPECT_EQ(names.length(), 10u);
    EXPECT_EQ(mesh->numUVSets, 8u);
    EXPECT_NE(mesh->flags & MESH_UV_SETS, 0);
    EXPECT_EQ(mesh->numUVs, 8u);  // the eighth set's count; the tenth set's 10 is not read
    EXPECT_EQ(mesh->uvs[0], Qmt::QmtVector3(0, 0, 0));
    EXPECT_EQ(mesh->uvSets[6][7], Qmt::QmtVector3(7, 7, 0));
    EXPECT_EQ(mesh->uvSets[1][2], Qmt::QmtVector3(2, 2, 0));
    EXPECT_EQ(mesh->uvSets[1][3], Qmt::QmtVector3(0, 0, 0));  // past the set's own three UVs
    EXPECT_EQ(mesh->uvSets[7], nullptr);
    const ZYL_DFface& face = mesh->faces[0];
    EXPECT_NE(face.flags & FACE_UV_SETS, 0);
    EXPECT_EQ(face.numUVSets, 8u);
    for (std::uint32_t c = 0; c < 4; ++c) {
        EXPECT_EQ(face.uvs[c], 0u);
        EXPECT_EQ(face.uvSets[1][c], std::min(c, 2u));
        EXPECT_EQ(face.uvSets[2][c], 0u) << "corner " << c << " has no UV in the fourth set";
        EXPECT_EQ(face.uvSets[6][c], c);
    }
    EXPECT_EQ(face.uvSets[7], nullptr);
}

// A holed quad, then three quads; cut values 1 on the holed quad, none on the next,
// 2 and 0 on the last two.
TEST_F(MeshReader, HoledPolygonTrianglesCarryItsNormalMaterialAndCutTag) {
    mel("makeMesh -n m -pts \"0 0 0 4 0 0 4 4 0 0 4 0 1 1 0 3 1 0 3 3 0 1 3 0"
        "  10 0 0 11 0 0 11 1 0 10 1 0  12 0 0 13 0 0 13 1 0 12 1 0  14 0 0 15 0 0 15 1 0 14 1 0\""
        " -fc \"0 1 2 3, 4 7 6 5; 8 9 10 11; 12 13 14 15; 16 17 18 19\"");
    mel("blindDataType -id 70111001 -dt \"int\" -ldn \"zylCutFace\" -sdn \"zcut\"");
    mel("polyBlindData -id 70111001 -at face -ldn zylCutFace -ind 1 m.f[0]");
    mel("polyBlindData -id 70111001 -at face -ldn zylCutFace -ind 2 m.f[2]");
    mel("polyBlindData -id 70111001 -at face -ldn zylCutFace -ind 0 m.f[3]");
    const DFmeshPtr mesh = readShape("m", MIntArray{3, 1});
    ASSERT_TRUE(mesh);
    ASSERT_EQ(mesh->numFaces, 8u + 3u);
    const MIntArray holedCorners{0, 1, 2, 3, 4, 7, 6, 5};
    for (std::uint32_t f = 0; f < 8; ++f) {
        const ZYL_DFface& face = mesh->faces[f];
        ASSERT_EQ(face.numVertices, 3u);
        EXPECT_EQ(mesh->normals[f].z, 1.0);
        EXPECT_EQ(face.material, 3);
        EXPECT_NE(face.flags & FACE_CUT, 0);
        // The holed quad is polygon 0: a corner's normal id is its place in the polygon.
        for (std::uint32_t c = 0; c < 3; ++c)
            EXPECT_EQ(static_cast<std::uint32_t>(holedCorners[face.normals[c]]), face.vertices[c]);
    }
    EXPECT_EQ(mesh->faces[8].material, 1);
    for (std::uint32_t f = 8; f < 11; ++f) EXPECT_EQ(mesh->faces[f].flags & FACE_CUT, 0) << f;
    EXPECT_EQ(mesh->faces[10].material, 0);  // past the end of the shading indices
}

TEST_F(MeshReader, NoCutTagsWithoutBlindData) {
    makeQuads("q", 2);
    mel("blindDataType -id 70111001 -dt \"int\" -ldn \"zylCutFace\" -sdn \"zcut\"");
    const DFmeshPtr mesh = readShape("q");
    ASSERT_TRUE(mesh);
    for (std::uint32_t f = 0; f < mesh->numFaces; ++f) EXPECT_EQ(mesh->faces[f].flags & FACE_CUT, 0);
}

TEST_F(MeshReader, TriangleVertexMissingFromItsPolygonHasNoPlaces) {
    int places[3] = {-7, -7, -7};
    EXPECT_TRUE(findTrianglePlaces(MIntArray{5, 9, 2, 9, 4}, MIntArray{4, 9, 5}, places));
    EXPECT_EQ(places[0], 4);
    EXPECT_EQ(places[1], 1);
    EXPECT_EQ(places[2], 0);
    EXPECT_FALSE(findTrianglePlaces(MIntArray{5, 9, 2}, MIntArray{5, 8, 2}, places));
    EXPECT_FALSE(findTrianglePlaces(MIntArray{5, 9, 2}, MIntArray{5, 9}, places));
}

}  // namespace
