// Scene utilities on scenes built in the host: shatter groups, mesh history walks,
// shading lookups, curve sampling, polygon UVs and transform copies. Stand-in node
// types take the module's ids until the real ones exist.

#include <gtest/gtest.h>

#include <string>

#include "moduleTestSupport.h"
#include "host/scene/curveData.h"
#include "src/sceneUtils.h"
#include "src/typeIds.h"

namespace {

struct StandInLocator : MPxLocatorNode {
    static void* creator() { return new StandInLocator; }
};
struct StandInNode : MPxNode {
    static void* creator() { return new StandInNode; }
};

MStatus withMeshInput() { return MPxNode::addAttribute(MFnTypedAttribute().create("inMesh", "im", MFnData::kMesh)); }
MStatus withMeshOutput() { return MPxNode::addAttribute(MFnTypedAttribute().create("outMesh", "om", MFnData::kMesh)); }
MStatus withNothing() { return MS::kSuccess; }

const MTypeId kOtherOp(0x7F001);

MStatus registerStandIns(MObject obj) {
    MFnPlugin plugin(obj);
    plugin.registerNode(zylTypes::kVoronoiName, zylTypes::kVoronoi, StandInLocator::creator, withMeshInput,
                        MPxNode::kLocatorNode);
    plugin.registerNode(zylTypes::kMeshOpName, zylTypes::kMeshOp, StandInNode::creator, withMeshOutput);
    plugin.registerNode("otherOpNode", kOtherOp, StandInNode::creator, withMeshOutput);
    return plugin.registerNode(zylTypes::kRigidBodyName, zylTypes::kRigidBody, StandInLocator::creator, withNothing,
                               MPxNode::kLocatorNode);
}

MStatus deregisterStandIns(MObject obj) {
    MFnPlugin plugin(obj);
    for (const MTypeId& id : {zylTypes::kVoronoi, zylTypes::kMeshOp, kOtherOp}) plugin.deregisterNode(id);
    return plugin.deregisterNode(zylTypes::kRigidBody);
}

class SceneUtils : public zyltest::ModuleTest {
protected:
    void SetUp() override {
        ModuleTest::SetUp();
        ASSERT_TRUE(rt().loadStaticModule(registerStandIns, deregisterStandIns, "standIns"));
    }

    static std::string nameOf(const MObject& obj) { return obj.isNull() ? "" : MFnDependencyNode(obj).name().str(); }
    static std::string nameOf(const MDagPath& p) { return p.partialPathName().str(); }
};

TEST_F(SceneUtils, SplitSecondsActsOnlyAboveAMinuteAndKeepsWhatItDoesNotSet) {
    struct Case {
        double seconds;
        double wantSeconds;
        int wantMinutes, wantHours;
    };
    // Minutes and hours start at 7 and 9: only what the rules set changes.
    for (const Case& c : {Case{60.0, 60.0, 7, 9}, Case{12.5, 12.5, 7, 9}, Case{61.25, 1.25, 1, 9},
                          Case{3725.5, 5.5, 2, 1}, Case{3600.5, 0.5, 60, 9}, Case{3660.0, 0.0, 1, 1}}) {
        double seconds = c.seconds;
        int minutes = 7, hours = 9;
        splitSeconds(seconds, minutes, hours);
        EXPECT_DOUBLE_EQ(seconds, c.wantSeconds) << c.seconds;
        EXPECT_EQ(minutes, c.wantMinutes) << c.seconds;
        EXPECT_EQ(hours, c.wantHours) << c.seconds;
    }
}

// top ─┬ topHold ─ topVor                 (top is a shatter group)
//      ├ inner ─┬ innerHold ─ innerVor     (a shard shattered again, inside it)
//      │        └ shardB ─ shardBShape
//      └ shardA ─ shardAShape
// plain ─┬ crowdHold ─┬ crowdVor           (two children: no history holder)
//        │            └ extraVor
//        └ loose ─ looseShape
TEST_F(SceneUtils, NestedShatterGroupsResolveToTheOutermostAndMeshesFindTheirHistory) {
    run("createNode transform -n top; createNode transform -n topHold -p top; createNode voronoiNode -n topVor -p topHold;"
        "createNode transform -n inner -p top; createNode transform -n innerHold -p inner;"
        "createNode voronoiNode -n innerVor -p innerHold; makeMesh -cube -n shardB -p inner; makeMesh -cube -n shardA -p top;"
        "createNode transform -n plain; createNode transform -n crowdHold -p plain;"
        "createNode voronoiNode -n crowdVor -p crowdHold; createNode voronoiNode -n extraVor -p crowdHold;"
        "makeMesh -cube -n loose -p plain");
    EXPECT_TRUE(isShatterGroup(path("top")));
    EXPECT_TRUE(isShatterGroup(path("inner")));
    EXPECT_FALSE(isShatterGroup(path("shardA")));
    EXPECT_FALSE(isShatterGroup(path("plain")));
    EXPECT_FALSE(isShatterGroup(MDagPath()));
    EXPECT_TRUE(isInShatterGroup(path("shardA")));
    EXPECT_FALSE(isInShatterGroup(path("shardAShape")));
    EXPECT_FALSE(isInShatterGroup(path("loose")));

    MObject voronoi;
    findVoronoiNodeChild(path("inner"), voronoi);
    EXPECT_EQ(nameOf(voronoi), "innerVor");
    findVoronoiNodeChild(path("plain"), voronoi);
    EXPECT_TRUE(voronoi.isNull());

    MDagPath group;
    for (const char* start : {"shardBShape", "shardB", "inner", "top", "shardAShape"}) {
        EXPECT_TRUE(findTopShatterGroup(path(start), group)) << start;
        EXPECT_EQ(nameOf(group), "top") << start;
        EXPECT_TRUE(findShatterGroupVoronoiNode(path(start), voronoi, group)) << start;
        EXPECT_EQ(nameOf(voronoi), "topVor") << start;
    }
    EXPECT_FALSE(findTopShatterGroup(path("looseShape"), group));
    voronoi = node("topVor");
    EXPECT_FALSE(findShatterGroupVoronoiNode(path("looseShape"), voronoi, group));
    EXPECT_TRUE(voronoi.isNull());

    // Through the group two levels up, or first through the mesh's own worldMesh consumer.
    findWorldMeshConsumer(path("shardBShape"), voronoi);
    EXPECT_TRUE(voronoi.isNull());
    findVoronoiNodeForMesh(path("shardBShape"), voronoi);
    EXPECT_EQ(nameOf(voronoi), "innerVor");
    findVoronoiNodeForMesh(path("looseShape"), voronoi);
    EXPECT_TRUE(voronoi.isNull());
    run("makeMesh -cube -n source; connectAttr sourceShape.worldMesh[0] "
        "innerVor.inMesh; connectAttr sourceShape.worldMesh[0] extraVor.inMesh");
    findVoronoiNodeForMesh(path("sourceShape"), voronoi);
    EXPECT_EQ(nameOf(voronoi), "innerVor");
    findWorldMeshConsumer(path("looseShape"), voronoi);
    EXPECT_TRUE(voronoi.isNull());
}

TEST_F(SceneUtils, RigidBodyChildrenAreFoundByTypeNameOrId) {
    run("createNode transform -n t; createNode rigidBody -n hostBody -p t; createNode zylRigidBody -n zylBody -p t;"
        "createNode transform -n empty; createNode otherOpNode -n dg");
    MObject child;
    EXPECT_TRUE(findHostRigidBodyChild(node("t"), child));
    EXPECT_EQ(nameOf(child), "hostBody");
    EXPECT_TRUE(findZylRigidBodyChild(node("t"), child));
    EXPECT_EQ(nameOf(child), "zylBody");
    EXPECT_FALSE(findZylRigidBodyChild(node("empty"), child));
    EXPECT_TRUE(child.isNull());
    EXPECT_FALSE(findHostRigidBodyChild(node("dg"), child));
}

TEST_F(SceneUtils, MeshOpHistoryIsFoundThroughItsChainAndBrokenChainsEndFalse) {
    run("createNode zylMeshOpNode -n op; createNode otherOpNode -n other; createNode polyCreator -n creator");
    auto mesh = [](const std::string& name) {
        run("makeMesh -cube -n " + name);
        return node(name + "Shape");
    };
    // Directly, and through tweaks, a merge fed by a tweak and a UV tweak.
    const MObject direct = mesh("direct"), chained = mesh("chained");
    run("connectAttr op.outMesh directShape.inMesh; createNode tweak -n t1; createNode tweak -n t2;"
        "createNode polyMerge -n merge; createNode polyTweakUV -n uv; connectAttr op.outMesh t1.inputGeometry;"
        "connectAttr t1.outputGeometry t2.inputGeometry; connectAttr t2.outputGeometry merge.inMesh;"
        "connectAttr merge.output uv.inputPolymesh; connectAttr uv.output chainedShape.inMesh");
    EXPECT_TRUE(hasMeshOpUpstream(direct));
    EXPECT_TRUE(hasMeshOpUpstream(chained));

    // A merge must be fed by a tweak; another plug-in node is no mesh op.
    const MObject mergeFromOp = mesh("mergeFromOp"), fromOther = mesh("fromOther");
    run("createNode polyMerge -n merge2; createNode polyTweakUV -n uv2; connectAttr op.outMesh merge2.inMesh;"
        "connectAttr merge2.output uv2.inputPolymesh; connectAttr uv2.output mergeFromOpShape.inMesh;"
        "connectAttr other.outMesh fromOtherShape.inMesh");
    EXPECT_FALSE(hasMeshOpUpstream(mergeFromOp));
    EXPECT_FALSE(hasMeshOpUpstream(fromOther));
    EXPECT_FALSE(hasMeshOpUpstream(mesh("bare")));
    EXPECT_FALSE(hasMeshOpUpstream(MObject()));

    // Inputs left unconnected anywhere along the chain, and a cycle of tweaks: false, no hang.
    const MObject openTweak = mesh("openTweak"), openUV = mesh("openUV"), openMerge = mesh("openMerge");
    const MObject cycle = mesh("cycle");
    run("createNode tweak -n t3; connectAttr t3.outputGeometry openTweakShape.inMesh;"
        "createNode polyTweakUV -n uv3; connectAttr uv3.output openUVShape.inMesh;"
        "createNode polyMerge -n merge4; createNode polyTweakUV -n uv4; connectAttr merge4.output uv4.inputPolymesh;"
        "connectAttr uv4.output openMergeShape.inMesh;"
        "createNode tweak -n ta; createNode tweak -n tb; connectAttr ta.outputGeometry tb.inputGeometry;"
        "connectAttr tb.outputGeometry ta.inputGeometry; connectAttr ta.output cycleShape.inMesh");
    for (const MObject& broken : {openTweak, openUV, openMerge, cycle}) EXPECT_FALSE(hasMeshOpUpstream(broken)) << nameOf(broken);

    const MObject created = mesh("created");
    run("connectAttr creator.output createdShape.inMesh");
    EXPECT_TRUE(isInMeshFedByType989(created));
    EXPECT_FALSE(isInMeshFedByType989(direct));

    // The farthest mesh upstream, through other nodes; none: the start itself.
    run("makeMesh -cube -n a; makeMesh -cube -n b; makeMesh -cube -n c; createNode tweak -n t4;"
        "connectAttr aShape.outMesh t4.inputGeometry; connectAttr t4.outputGeometry bShape.inMesh;"
        "connectAttr bShape.outMesh cShape.inMesh");
    EXPECT_EQ(nameOf(findFarthestUpstreamMesh(path("cShape"))), "aShape");
    EXPECT_EQ(findFarthestUpstreamMesh(path("chainedShape")), path("chainedShape"));
    EXPECT_EQ(findFarthestUpstreamMesh(path("aShape")), path("aShape"));
}

TEST_F(SceneUtils, ShadingLookupsStopAtAnotherShape) {
    run("makeMesh -cube -n a; sets -renderable true -noSurfaceShader true -empty -name cutSG;"
        "sets -e -fe cutSG a.f[2]");
    MObjectArray shaders;
    MIntArray indices;
    ASSERT_TRUE(getMeshShaders(path("aShape"), shaders, indices));
    ASSERT_EQ(shaders.length(), 2u);
    EXPECT_EQ(nameOf(shaders[1]), "cutSG");
    EXPECT_EQ(indices.length(), 6u);

    MString name = "unchanged";
    EXPECT_TRUE(findShadingEngineName(path("aShape"), "cut", name));
    EXPECT_EQ(name.str(), "cutSG");
    EXPECT_TRUE(findShadingEngineName(path("aShape"), "aSh", name));  // the start node is tested too
    EXPECT_EQ(name.str(), "aShape");
    EXPECT_FALSE(findShadingEngineName(path("aShape"), "noSuch", name));

    // A mesh fed by this one is met before the cut group: the search ends there.
    run("makeMesh -cube -n b; makeMesh -cube -n c; connectAttr bShape.outMesh cShape.inMesh;"
        "sets -e -fe cutSG b.f[0]");
    name = "unchanged";
    EXPECT_FALSE(findShadingEngineName(path("bShape"), "cut", name));
    EXPECT_EQ(name.str(), "unchanged");
    EXPECT_TRUE(findShadingEngineName(path("bShape"), "initial", name));  // met before the other shape
}

TEST_F(SceneUtils, CurvesAreSampledEvenlyInWorldSpace) {
    run("makeCurve -d 3 -pt 0 0 0 -pt 1 2 0 -pt 3 2 0 -pt 4 0 1 -n crv; setAttr crv.translate 0 0 5");
    MDagPath shape = path("crvShape");
    const MFnNurbsCurve curve(shape);
    const Qmt::QmtVector3 sentinel(-7, -7, -7);
    Qmt::QmtVector3 points[5] = {sentinel, sentinel, sentinel, sentinel, sentinel};

    ASSERT_TRUE(sampleCurvePoints(curve, points, 4));
    double start = 0, end = 0;
    curve.getKnotDomain(start, end);
    for (int i = 0; i < 4; ++i) {
        MPoint want;
        curve.getPointAtParam(start + (end - start) * i / 3.0, want, MSpace::kWorld);
        EXPECT_NEAR(points[i].x, want.x, 1e-12) << i;
        EXPECT_NEAR(points[i].y, want.y, 1e-12) << i;
        EXPECT_NEAR(points[i].z, want.z, 1e-12) << i;
    }
    EXPECT_NEAR(points[0].z, 5.0, 1e-12);  // the first CV, moved by the transform
    EXPECT_NEAR(points[3].x, 4.0, 1e-12);
    EXPECT_NEAR(points[3].z, 6.0, 1e-12);
    EXPECT_EQ(points[4], sentinel);

    points[0] = points[1] = sentinel;
    ASSERT_TRUE(sampleCurvePoints(curve, points, 1));  // the start point only
    EXPECT_NEAR(points[0].z, 5.0, 1e-12);
    EXPECT_EQ(points[1], sentinel);
    points[0] = sentinel;
    EXPECT_TRUE(sampleCurvePoints(curve, points, 0));
    EXPECT_EQ(points[0], sentinel);

    // A knot domain shorter than 1e-5: false, nothing written.
    auto degenerate = std::make_shared<host::CurveData>();
    degenerate->geometry.degree = 1;
    degenerate->geometry.cvs = {{0, 0, 0}, {1, 0, 0}};
    degenerate->geometry.knots = {0.0, 0.000009};
    EXPECT_FALSE(sampleCurvePoints(MFnNurbsCurve(MObject::fromData(degenerate)), points, 4));
    EXPECT_EQ(points[0], sentinel);
}

TEST_F(SceneUtils, PolygonUVFollowsAnAffineMapFromEveryAnchor) {
    run("makeMesh -points \"0 0 0 2 0 0 2 1 0 0 1 0\" -faces \"0 1 2 3\" -n quad");
    MFnMesh mesh(path("quadShape"));
    // u = 0.5x + 0.25y, v = y - 0.1x at the corners.
    const MString set = "quadUV";
    ASSERT_TRUE(mesh.createUVSetWithName(set) == set);
    ASSERT_TRUE(mesh.setUVs(MFloatArray{0.0f, 1.0f, 1.25f, 0.25f}, MFloatArray{0.0f, -0.2f, 0.8f, 1.0f}, &set));
    ASSERT_TRUE(mesh.assignUVs(MIntArray{4}, MIntArray{0, 1, 2, 3}, &set));
    for (int anchor = 0; anchor < 4; ++anchor) {
        float u = 0, v = 0;
        ASSERT_TRUE(interpolatePolygonUV(MPoint(1.5, 0.25, 0), 0, anchor, mesh, set, u, v)) << anchor;
        EXPECT_NEAR(u, 0.8125f, 1e-5f) << anchor;
        EXPECT_NEAR(v, 0.1f, 1e-5f) << anchor;
    }
    // Stopped early: nothing written.
    float u = 42, v = 43;
    EXPECT_FALSE(interpolatePolygonUV(MPoint(1, 1, 0), 5, 0, mesh, set, u, v));
    EXPECT_FALSE(interpolatePolygonUV(MPoint(1, 1, 0), 0, 4, mesh, set, u, v));
    EXPECT_FALSE(interpolatePolygonUV(MPoint(1, 1, 0), 0, 0, mesh, "noSuchSet", u, v));
    EXPECT_EQ(u, 42.0f);
    EXPECT_EQ(v, 43.0f);
}

TEST_F(SceneUtils, TransformValuesAreCopiedInSinglePrecisionAndTheViewLooksDownItsCamera) {
    run("createNode transform -n from; createNode transform -n to; setAttr from.translate 0.1 -2 3.3;"
        "setAttr from.rotate 0.7 0 -1.1; setAttr to.scale 2 2 2");
    MStatus status = MS::kFailure;
    copyTransformValues(status, MFnDependencyNode(node("from")), MFnDependencyNode(node("to")));
    ASSERT_TRUE(status);
    const MFnDependencyNode to(node("to"));
    const double translate[3] = {0.1, -2, 3.3}, rotate[3] = {0.7, 0, -1.1};
    for (unsigned i = 0; i < 3; ++i) {
        EXPECT_EQ(to.findPlug("translate").child(i).asDouble(), static_cast<double>(static_cast<float>(translate[i])));
        EXPECT_EQ(to.findPlug("rotate").child(i).asDouble(), static_cast<double>(static_cast<float>(rotate[i])));
    }
    EXPECT_EQ(to.findPlug("scale").child(0).asDouble(), 2.0);
    copyTransformValues(status, MFnDependencyNode(node("from")), MFnDependencyNode(node("initialShadingGroup")));
    EXPECT_FALSE(status);

    MDagPath camera;
    ASSERT_TRUE(M3dView::active3dView().getCamera(camera));
    MVector direction(9, 9, 9);
    getActiveViewDirection(direction);
    EXPECT_TRUE(direction == MFnCamera(camera).viewDirection(MSpace::kWorld));
    EXPECT_NEAR(direction * direction, 1.0, 1e-9);
}

}  // namespace
