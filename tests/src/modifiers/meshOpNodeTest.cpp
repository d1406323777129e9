// The mesh-operation node on hand-wired graphs: a shard's cut faces subdivided and
// tagged, the other operations, the no-effect state and its attributes.

#include "src/modifiers/meshOpNode.h"

#include <algorithm>

#include "modifierTestSupport.h"
#include "src/nodeHelpers.h"
#include "src/typeIds.h"

namespace zyltest {
namespace {

class MeshOpNode : public ModifierTest {
protected:
    // A node "op" fed by the mesh, with the operation and iteration count set.
    static void wire(const std::string& mesh, int operation, int iterations = 0) {
        run("createNode zylMeshOpNode -n op; connectAttr " + mesh + "Shape.outMesh op.inMesh");
        run("setAttr op.operationType " + std::to_string(operation));
        run("setAttr op.operationIter " + std::to_string(iterations));
    }
    static zylMeshOpNode& op() { return *userNodeAs<zylMeshOpNode>(node("op"), zylTypes::kMeshOp); }
    static MObject output() { return plug("op", "outMesh").asMObject(); }
    // Per face whether every corner's normal is locked.
    static std::vector<bool> lockedFaces(const MFnMesh& fn) {
        std::vector<bool> out;
        int corner = 0;
        for (int f = 0; f < fn.numPolygons(); ++f) {
            bool all = true;
            for (int k = 0; k < fn.polygonVertexCount(f); ++k) all = all && fn.isNormalLocked(corner++);
            out.push_back(all);
        }
        return out;
    }
};

TEST_F(MeshOpNode, OneCutFaceIsSubdividedTaggedAndSoftenedAtLevelsOneToThreeOnly) {
    makeShard("s", 5);
    wire("s", 1);
    for (const int level : {0, 1, 4}) {
        run("setAttr op.operationIter " + std::to_string(level));
        const MFnMesh out(output());
        const MIntArray& changed = op().changedFaces();
        const int faces = level == 1 ? 6 - 1 + 4 : 6;
        ASSERT_EQ(out.numPolygons(), faces) << level;
        ASSERT_EQ(changed.length(), level == 1 ? 4u : 1u) << level;
        EXPECT_TRUE(std::is_sorted(changed.begin(), changed.end()));
        EXPECT_EQ(op().faceSetIndices().length(), static_cast<unsigned>(faces));
        // 1 on the changed faces, 0 below the largest of them, nothing above it.
        const std::vector<int> values = cutValues(out);
        const std::vector<bool> locked = lockedFaces(out);
        const int largest = changed[changed.length() - 1];
        for (int f = 0; f < faces; ++f) {
            const bool isChanged = std::find(changed.begin(), changed.end(), f) != changed.end();
            EXPECT_EQ(values[static_cast<std::size_t>(f)], isChanged ? 1 : (f < largest ? 0 : -1)) << level << " " << f;
            EXPECT_EQ(locked[static_cast<std::size_t>(f)], !isChanged) << level << " " << f;
        }
    }
    EXPECT_EQ(cutValues(MFnMesh(shapePath("s"))), (std::vector<int>{0, 0, 0, 0, 0, 1}));  // the input stays
}

TEST_F(MeshOpNode, AMeshWithoutCutFacesIsRebuiltWithNothingSubdividedOrWritten) {
    run("makeMesh -cube -n plain");
    wire("plain", 1, 2);
    const MFnMesh out(output());
    EXPECT_EQ(out.numPolygons(), 6);
    EXPECT_EQ(op().changedFaces().length(), 0u);
    EXPECT_FALSE(out.hasBlindData(MFn::kMeshPolygonComponent));
    EXPECT_EQ(lockedFaces(out), std::vector<bool>(6, true));
}

TEST_F(MeshOpNode, EdgeSubdivisionKeepsTheLastOutputAndNoEffectPassesTheInputOn) {
    makeShard("s", 0);
    wire("s", 1, 1);
    EXPECT_EQ(MFnMesh(output()).numPolygons(), 9);
    run("setAttr op.operationType 2");
    EXPECT_EQ(MFnMesh(output()).numPolygons(), 9);
    run("setAttr op.state 1; setAttr op.operationType 1");
    EXPECT_EQ(MFnMesh(output()).numPolygons(), 6);
    run("setAttr op.operationType 0; setAttr op.state 0");
    EXPECT_EQ(MFnMesh(output()).numPolygons(), 6);
}

TEST_F(MeshOpNode, UVsAreAssignedAtGivenPointsOnACopyOfTheInput) {
    run("makeMesh -plane -s 2 -n p");
    wire("p", 3);
    MFloatPointArray corners;
    MFnMesh(shapePath("p")).getPoints(corners);
    const MPlug points = plug("op", "jaggyPoints");
    for (unsigned i = 0; i < corners.length(); ++i) {
        MFnNumericData d;
        const MObject value = d.create(MFnNumericData::k3Float);
        const bool centre = i == 2;
        d.setData(centre ? 0.0f : corners[i].x, centre ? 0.0f : corners[i].y, centre ? 0.0f : corners[i].z);
        points.elementByLogicalIndex(i).setValue(value);
    }
    const MPlug pairs = plug("op", "indexBPoints");
    const int pairValues[][2] = {{0, 2}, {0, 9}, {7, 1}};  // vertex 9 has no point, face 7 does not exist
    for (unsigned i = 0; i < 3; ++i) {
        MFnNumericData d;
        const MObject value = d.create(MFnNumericData::k2Int);
        d.setData(pairValues[i][0], pairValues[i][1]);
        pairs.elementByLogicalIndex(i).setValue(value);
    }
    const MFnMesh in(shapePath("p"));
    const MFnMesh out(output());
    MIntArray face;
    out.getPolygonVertices(0, face);
    const auto corner = static_cast<int>(std::find(face.begin(), face.end(), 2) - face.begin());
    int id = -1;
    ASSERT_TRUE(out.getPolygonUVid(0, corner, id));
    MFloatArray u, v, inU, inV;
    out.getUVs(u, v);
    in.getUVs(inU, inV);
    EXPECT_NEAR(u[static_cast<unsigned>(id)], 0.5f, 1e-6f);
    EXPECT_NEAR(v[static_cast<unsigned>(id)], 0.5f, 1e-6f);
    EXPECT_NE(inU[static_cast<unsigned>(id)], u[static_cast<unsigned>(id)]);
    for (unsigned k = 0; k < u.length(); ++k) {
        if (k != static_cast<unsigned>(id)) {
            EXPECT_EQ(u[k], inU[k]);
        }
    }
}

TEST_F(MeshOpNode, FaceSetIndicesShorterThanTheInputReadAsTheFirstGroup) {
    run("makeMesh -n p -pts \"0 0 0 1 0 0 2 0 0 0 1 0 1 1 0 2 1 0\" -fc \"0 1 4 3; 1 2 5 4\"");
    run("sets -renderable true -empty -n sgA; sets -renderable true -empty -n sgB");
    run("sets -e -fe sgB pShape.f[0]; sets -e -fe sgA pShape.f[1]");
    makeShard("s", 5);
    wire("s", 0);
    op().saveShadingAndUVSets(shapePath("p"));
    ASSERT_EQ(op().faceSetIndices().length(), 2u);
    run("setAttr op.operationType 1; setAttr op.operationIter 1");
    EXPECT_EQ(MFnMesh(output()).numPolygons(), 9);
    const MIntArray& indices = op().faceSetIndices();
    ASSERT_EQ(indices.length(), 9u);
    EXPECT_EQ(std::count(indices.begin(), indices.end(), 1), 1);
    EXPECT_EQ(std::count(indices.begin(), indices.end(), 0), 8);
}

TEST_F(MeshOpNode, AttributesAsRegistered) {
    run("createNode zylMeshOpNode -n op");
    const MFnDependencyNode fn(node("op"));
    EXPECT_EQ(fn.typeId(), zylTypes::kMeshOp);
    EXPECT_EQ(fn.typeName(), "zylMeshOpNode");
    const char* names[][2] = {{"inputComponents", "ics"}, {"operationType", "oprt"}, {"operationMode", "opmd"},
                              {"operationIter", "oit"},   {"inMesh", "im"},         {"outMesh", "om"},
                              {"jaggyPoints", "jgp"},     {"indexBPoints", "ibp"}};
    for (const auto& [longName, shortName] : names)
        EXPECT_EQ(MFnAttribute(fn.attribute(longName)).shortName(), shortName);
    const MFnEnumAttribute type(fn.attribute("operationType"));
    EXPECT_EQ(type.fieldName(2), "SubdivideEdges");
    EXPECT_EQ(type.fieldName(3), "assignUVs");
    EXPECT_EQ(MFnEnumAttribute(fn.attribute("operationMode")).fieldName(1), "soft_faces");
    const MFnAttribute out(fn.attribute("outMesh"));
    EXPECT_FALSE(out.isWritable());
    EXPECT_FALSE(out.isStorable());
    EXPECT_TRUE(MFnAttribute(fn.attribute("jaggyPoints")).isArray());
    EXPECT_FALSE(MFnAttribute(fn.attribute("operationIter")).isKeyable());
    EXPECT_TRUE(MFnAttribute(fn.attribute("operationType")).isKeyable());
}

}  // namespace
}  // namespace zyltest
