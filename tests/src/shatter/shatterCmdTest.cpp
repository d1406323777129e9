// zylShatter in the host: shards, their group and history, the MEL it runs, counts,
// refusals, undo and cancel, and the progress window left free whatever happens.

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include "host/io/sceneFile.h"
#include "shatterTestSupport.h"
#include "src/meshWriter.h"
#include "src/shatter/patternSetup.h"
#include "src/shatter/shatterCmd.h"
#include "src/shatter/shatterLocator.h"
#include "src/shatter/voronoiNode.h"

namespace {

class ShatterCmd : public zyltest::ShatterTest {
protected:
    void SetUp() override {
        ShatterTest::SetUp();
        rt().commandTrace.clear();
    }

    static bool visible(const std::string& name) {
        return MFnDependencyNode(node(name)).findPlug("visibility").asBool();
    }
    static std::size_t tracedCount(const std::string& prefix) {
        return std::ranges::count_if(rt().commandTrace, [&](const std::string& t) { return t.starts_with(prefix); });
    }
    static std::vector<std::string> childNames(const std::string& group) {
        std::vector<std::string> names;
        const MDagPath p = path(group);
        for (unsigned i = 0; i < p.childCount(); ++i) names.push_back(MFnDependencyNode(p.child(i)).name().str());
        return names;
    }
    // Volume of a shard from its world polygons, by fans from each polygon's first corner.
    static double volume(const std::string& shard) {
        const MFnMesh mesh(path(shard));
        MPointArray points;
        mesh.getPoints(points, MSpace::kWorld);
        double sum = 0.0;
        for (int f = 0; f < mesh.numPolygons(); ++f) {
            MIntArray v;
            mesh.getPolygonVertices(f, v);
            for (unsigned k = 1; k + 1 < v.length(); ++k) {
                const MVector a(points[v[0]]), b(points[v[k]]), c(points[v[k + 1]]);
                sum += a * (b ^ c);
            }
        }
        return sum / 6.0;
    }
    static int cutValue(const MFnMesh& mesh, int polygon) {
        int value = 0;
        mesh.getIntBlindData(polygon, MFn::kMeshPolygonComponent, cutFace::kBlindDataId, cutFace::kLongName, value);
        return value;
    }
};

TEST_F(ShatterCmd, ACubeBreaksIntoEightShardsFillingItWithTheirCutFacesTagged) {
    ASSERT_TRUE(mel("makeMesh -cube -size 2 -name block"));
    const auto shards = shatter("-ns 8 -sed 3 block");
    ASSERT_EQ(shards.size(), 8u);
    EXPECT_FALSE(visible("block"));

    // After idle the group holds the shards' transforms and the history's transform.
    const auto members = childNames("zylShatterGroup");
    ASSERT_EQ(members.size(), 9u);
    const MObject history = MFnDagNode(node(members.back())).child(0);
    auto* vor = dynamic_cast<voronoiNode*>(MFnDependencyNode(history).userNode());
    ASSERT_NE(vor, nullptr);
    EXPECT_EQ(vor->getIndex(), 1);
    EXPECT_EQ(vor->numPoints(), 8u);
    EXPECT_EQ(vor->record.previousPoints.length(), 0u);
    EXPECT_TRUE(MPlug(history, voronoiNode::inShape).isDestination());

    double total = 0.0;
    for (const std::string& shard : shards) {
        total += volume(shard);
        const MFnMesh mesh(path(shard));
        MPointArray points;
        mesh.getPoints(points, MSpace::kWorld);
        for (int f = 0; f < mesh.numPolygons(); ++f) {
            MIntArray v;
            mesh.getPolygonVertices(f, v);
            // A face on the cube's surface has every corner on one of its planes.
            bool onSurface = false;
            for (unsigned axis = 0; axis < 3 && !onSurface; ++axis) {
                for (const double side : {-1.0, 1.0}) {
                    bool all = true;
                    for (int k : v) all = all && std::abs(points[k][axis] - side) < 1e-6;
                    onSurface = onSurface || all;
                }
            }
            EXPECT_EQ(cutValue(mesh, f), onSurface ? 0 : 1) << shard << " face " << f;
        }
    }
    EXPECT_NEAR(total, 8.0, 1e-6);  // host points are single precision
    EXPECT_TRUE(traced("blindDataType -id 70111001 -dataType \"int\" -longDataName \"zylCutFace\" -shortDataName \"zcut\""));
}

TEST_F(ShatterCmd, UndoAndCancelLeaveNothingAndTheProgressWindowStaysFree) {
    ASSERT_TRUE(mel("makeMesh -cube -size 2 -name block"));
    ASSERT_EQ(shatter("-ns 8 -sed 3 block").size(), 8u);
    ASSERT_TRUE(mel("undo"));
    EXPECT_FALSE(exists("zylShatterGroup"));
    EXPECT_FALSE(exists("blockShape_shard1"));
    EXPECT_FALSE(exists("voronoiNode1"));
    std::ostringstream scene;
    host::io::writeScene(scene);
    EXPECT_EQ(scene.str().find("memberFaces"), std::string::npos);  // no shard's faces stay in a group
    EXPECT_TRUE(visible("block"));
    EXPECT_TRUE(traced("showHidden  block"));
    EXPECT_TRUE(traced("flushUndo"));

    // A cancel after three questions stops at the fourth cell and takes its shards back.
    ASSERT_TRUE(mel("hostOption -cancelProgressAfter 3"));
    EXPECT_FALSE(mel("zylShatter -ns 8 -sed 3 block"));
    EXPECT_TRUE(rt().log.contains(host::LogKind::Info, "Shatter interrupted!"));
    EXPECT_FALSE(exists("blockShape_shard1"));
    EXPECT_FALSE(exists("zylShatterGroup"));
    EXPECT_TRUE(visible("block"));

    // Refusals before any cut release the window too.
    ASSERT_TRUE(mel("hostOption -cancelProgressAfter -1; select -cl"));
    EXPECT_FALSE(mel("zylShatter -ns 4"));
    EXPECT_FALSE(mel("zylShatter -ns 4 -st 5 block"));
    EXPECT_FALSE(mel("zylShatter -udl block"));
    EXPECT_TRUE(rt().log.contains(host::LogKind::Error, "path not present"));
    EXPECT_FALSE(rt().log.contains(host::LogKind::Error, "Progress window already in use."));
    EXPECT_FALSE(rt().progressWindow.reserved);
    EXPECT_EQ(shatter("-ns 4 -sed 1 block").size(), 4u);
}

TEST_F(ShatterCmd, AnEmptyCutMaterialNameAndSeedsThatAreNoNumbersAreRefusedBeforeAnythingIsMade) {
    ASSERT_TRUE(mel("makeMesh -cube -size 2 -name crate; createNode ShatterLocator -n loc -p crate"));
    EXPECT_FALSE(mel("zylShatter -ns 4 -nm true -cmn \"\" crate"));
    EXPECT_TRUE(rt().log.contains(host::LogKind::Error, "the cut material needs a name (-cutMatName)"));
    EXPECT_EQ(tracedCount("shadingNode"), 0u);
    EXPECT_EQ(tracedCount("blindDataType"), 0u);

    auto& record = static_cast<ShatterLocatorNode*>(MFnDependencyNode(node("loc")).userNode())->record;
    const double nan = std::nan("");
    for (const MPoint& p : {MPoint(0.5, 0, 0), MPoint(-0.5, 0, 0), MPoint(nan, 0.1, 0.1), MPoint(0.2, nan, -nan)})
        record.points.append(p);
    EXPECT_FALSE(mel("zylShatter crate"));
    EXPECT_TRUE(rt().log.contains(host::LogKind::Error, "crateShape: 2 of 4 seed points are not finite numbers"));
    EXPECT_FALSE(exists("crateShape_shard1"));
    EXPECT_FALSE(exists("voronoiNode1"));
    EXPECT_TRUE(visible("crate"));
}

TEST_F(ShatterCmd, ShardCountsFollowTheBoundsAndTheAreas) {
    ASSERT_TRUE(mel("makeMesh -cube -size 1 -name small; makeMesh -cube -size 3 -name big;"
                    "setAttr big.translateX 5"));
    // Swapped bounds are taken the right way round.
    const auto drawn = shatter("-min 9 -man 4 -sed 2 small");
    EXPECT_GE(drawn.size(), 4u);
    EXPECT_LE(drawn.size(), 9u);
    ASSERT_TRUE(mel("undo"));
    // Equal bounds without -numShards give its default, 0: nothing but the history.
    EXPECT_TRUE(shatter("-min 10 -man 10 small").empty());
    ASSERT_TRUE(mel("undo"));
    // By area: the smallest object gets the lower bound, the largest the upper one.
    const auto byArea = shatter("-min 3 -man 6 -vol true -sed 4 small big");
    EXPECT_EQ(byArea.size(), 9u);
    EXPECT_EQ(std::ranges::count_if(byArea, [](const std::string& s) { return s.starts_with("smallShape"); }), 3);
}

TEST_F(ShatterCmd, ObjectsThatCannotBeShatteredAreReportedAndTheOthersCut) {
    ASSERT_TRUE(mel("createNode nurbsSurface -n surf; makeMesh -cube -name keyed; makeMesh -cube -name spun;"
                    "makeMesh -cube -name plain; setKeyframe -t 1 -v 0 -at rotateY spun;"
                    "setKeyframe -t 9 -v 2 -at rotateY spun"));
    ASSERT_TRUE(mel("connectAttr spun.rotateY keyedShape.pnts[0].pntsX"));
    const auto shards = shatter("-ns 3 -sed 5 surf keyed spun plain");
    EXPECT_TRUE(rt().log.contains(host::LogKind::Info, " ZYL doesnt work on NURBS, convert it to poly."));
    EXPECT_TRUE(rt().log.contains(host::LogKind::Warning, "keyedShape excluded from shattering because has animation keys"));
    EXPECT_EQ(shards.size(), 6u);
    // The animated transform keeps its shards in a group of its own, and only its shape hides.
    EXPECT_TRUE(traced("hide spunShape"));
    EXPECT_TRUE(exists("spun_s1"));
    EXPECT_EQ(MFnDagNode(node("spun_s1")).parent(0), node("spun"));
    EXPECT_TRUE(exists("zylShatterGroup"));

    // A mesh shattered before is cut again only in preview mode.
    EXPECT_TRUE(shatter("-ns 3 plain").empty());
    EXPECT_TRUE(rt().log.contains(host::LogKind::Warning, "reshattering allowed in preview mode only"));
}

TEST_F(ShatterCmd, ACutMaterialIsMadeOnceAndAShardCutAgainKeepsItsCutGroup) {
    ASSERT_TRUE(mel("makeMesh -cube -size 2 -name block"));
    ASSERT_EQ(shatter("-ns 2 -sed 3 -nm true -cmn zylCutMat block").size(), 2u);
    for (const char* text :
         {"ls -et lambert", "shadingNode -asShader lambert -n zylCutMat", "addAttr -sn \"cm\" -ln \"cutmat\" -at \"message\" ",
          "sets -renderable true -noSurfaceShader true -empty -name zylCutMatSG",
          "connectAttr -f zylCutMat.outColor zylCutMatSG.surfaceShader", "setAttr zylCutMat.color 0 0.5 0"})
        EXPECT_TRUE(traced(text)) << text;
    EXPECT_EQ(tracedCount("blindDataType -id"), 1u);

    rt().commandTrace.clear();
    ASSERT_EQ(shatter("-ns 2 -sed 3 -nm true -cmn zylCutMat blockShape_shard1").size(), 2u);
    EXPECT_TRUE(traced("attributeQuery -node zylCutMat -ex \"cutmat\""));
    EXPECT_EQ(tracedCount("shadingNode"), 0u);
    EXPECT_EQ(tracedCount("blindDataType -id"), 0u);
    // The cut group is found below the shard: its cut faces still go there.
    EXPECT_GE(tracedCount("sets -e -fe zylCutMatSG "), 2u);
    EXPECT_EQ(tracedCount("sets -e -fe  "), 0u);
    EXPECT_TRUE(exists("zylShatterGroup_s1"));
}

TEST_F(ShatterCmd, EveryStyleCutsAndPatternsThatCannotAreReported) {
    ASSERT_TRUE(mel("makeMesh -cube -size 2 -name a; makeCurve -d 1 -pt -1.5 0.1 0.2 -pt 1.5 0.1 0.2 -n through;"
                    "makeCurve -d 1 -pt -3 5 0 -pt 3 5 0 -n away"));
    const auto volumes = [](const std::vector<std::string>& shards) {
        std::vector<double> v;
        for (const std::string& s : shards) v.push_back(volume(s));
        return v;
    };
    // Style flags 0 and 1 both give the uniform pattern.
    const auto uniform = volumes(shatter("-ns 6 -sed 9 -st 0 a"));
    ASSERT_EQ(uniform.size(), 6u);
    ASSERT_TRUE(mel("undo"));
    EXPECT_EQ(volumes(shatter("-ns 6 -sed 9 -st 1 a")), uniform);
    ASSERT_TRUE(mel("undo"));
    for (const char* style : {"-st 2 -noc 2", "-st 3 -nr 2", "-st 4 -ra 1", "-st 5 -spl through"}) {
        EXPECT_FALSE(shatter(std::string("-ns 6 -sed 9 ") + style + " a").empty()) << style;
        ASSERT_TRUE(mel("undo"));
    }
    // A radial pattern without rings, and a path that misses the mesh, cut nothing.
    EXPECT_FALSE(mel("zylShatter -ns 6 -st 3 a"));
    EXPECT_TRUE(rt().log.contains(host::LogKind::Warning, "a cannot be shattered with those params"));
    EXPECT_TRUE(traced("showHidden a"));
    EXPECT_FALSE(mel("zylShatter -ns 6 -st 5 -spl away a"));
    EXPECT_TRUE(rt().log.contains(host::LogKind::Warning, " the path is not crossing the objects, shatter fail"));

    // More than 300 points a ring raise the ring count; without rings nothing is checked.
    zyl_shatter_params params;
    params.maxRings = 2;
    limitPointsPerRing(params, 1000);
    EXPECT_EQ(params.maxRings, 3);
    EXPECT_TRUE(rt().log.contains(host::LogKind::Warning,
                                  "number of rings increased to prevent from too little fragments in dynamics"));
    params.maxRings = 0;
    limitPointsPerRing(params, 1000);
    EXPECT_EQ(params.maxRings, 0);
}

TEST_F(ShatterCmd, TheRunTimeLineSplitsMinutesAndHours) {
    EXPECT_EQ(shatterTimeCommand(3725.5).str(), " \n print  \"shatter time 1::2::5.50\"\n");
    EXPECT_EQ(shatterTimeCommand(60.0).str(), " \n print  \"shatter time 0::0::60.00\"\n");
    ASSERT_TRUE(mel("makeMesh -cube -name block"));
    shatter("-ns 2 -ver block");
    EXPECT_EQ(tracedCount(" \n print  \"shatter time 0::0::"), 1u);
}

}  // namespace
