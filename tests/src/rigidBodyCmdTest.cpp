#include <algorithm>
#include <string>

#include "engine/bodies/hardBody.h"
#include "engine/world/engineApi.h"
#include "engine/world/publicWorld.h"
#include "host/api/animControl.h"
#include "host/api/fnAttribute.h"
#include "moduleTestSupport.h"
#include "src/nodeHelpers.h"
#include "src/rigidBodyCmd.h"
#include "src/rigidBodyNode.h"

namespace zyltest {
namespace {

class RigidBodyCmd : public BatchModuleTest {
protected:
    static rigidBodyNode* body(const std::string& name) { return user<rigidBodyNode>(name); }
    static std::size_t panelUpdates() {
        return static_cast<std::size_t>(std::ranges::count(rt().commandTrace, std::string("updateZylManagePanel")));
    }
};

TEST_F(RigidBodyCmd, BodyNamesTakeZylBodyBeforeTheTrailingDigits) {
    EXPECT_EQ(zylBodyName("pCube12"), "pCubeZylBody12");
    EXPECT_EQ(zylBodyName("wall"), "wallZylBody");
    EXPECT_EQ(zylBodyName("123"), "ZylBody123");
    EXPECT_EQ(zylBodyName("a1b"), "a1bZylBody");
}

TEST_F(RigidBodyCmd, MakesAWiredBodyAndUpdatesIt) {
    run("zylSolver; makeMesh -cube -n crate1; xform -t 0 3 0 crate1; select -r crate1");
    run("new_ZYLBody -st 2 -a 1");
    EXPECT_EQ(nodesOfType("zylRigidBody"), std::vector<std::string>{"crateZylBody1"});
    EXPECT_EQ(nodesOfType("zylCollisionShape"), std::vector<std::string>{"crateZylBody1Shape"});
    EXPECT_EQ(source("crateZylBody1.solver"), "zylSolverNode1.rigidBodies");
    EXPECT_EQ(source("crateZylBody1.inCollisionType"), "crateZylBody1Shape.outCollisionType");
    EXPECT_EQ(source("crateZylBody1.animated"), "crateZylBody1Shape.animated(Mesh)");
    EXPECT_EQ(source("crateZylBody1Shape.inShape"), "crate1Shape.worldMesh[0]");
    EXPECT_EQ(answer("getAttr crateZylBody1Shape.type"), "2");
    EXPECT_EQ(answer("getAttr crateZylBody1.passive"), "1");
    rigidBodyNode* rb = body("crateZylBody1");
    ASSERT_TRUE(rb && rb->getBody(false));
    const HardBody* engineBody = rb->getBody(false);
    EXPECT_EQ(engineBody->getType(), HB_HULL);
    EXPECT_TRUE(engineBody->hasJagginess());
    EXPECT_TRUE(engineBody->isStatic());
    EXPECT_EQ(engineWorld()->findBodyByName("crateZylBody1"), engineBody);
    EXPECT_EQ(rb->frameCache.capacity, 48);
    EXPECT_EQ(panelUpdates(), 1u);

    // Again without -multiple: the body is updated, its mass taken from the mesh anew.
    run("setAttr crateZylBody1.mass 7; new_ZYLBody -st 3 -a 0 crate1");
    EXPECT_EQ(nodesOfType("zylRigidBody").size(), 1u);
    EXPECT_EQ(answer("getAttr crateZylBody1.mass"), "500");
    EXPECT_EQ(answer("getAttr crateZylBody1.passive"), "0");
    EXPECT_EQ(rb->getBody(false)->getType(), HB_TRIMESH);
    EXPECT_EQ(panelUpdates(), 1u);
    // With -multiple a second body joins; with no cache size it gets no frame cache.
    run("setAttr zylSolverNode1.cacheActive 0; setAttr zylSolverNode1.cacheSize 0");
    run("new_ZYLBody -mul true crate1");
    EXPECT_EQ(nodesOfType("zylRigidBody"), (std::vector<std::string>{"crateZylBody1", "crateZylBody2"}));
    EXPECT_EQ(body("crateZylBody2")->frameCache.capacity, 0);
    EXPECT_EQ(count(host::LogKind::Error) + count(host::LogKind::Warning), 0u);
}

TEST_F(RigidBodyCmd, UndoTakesBodiesBackAndRedoMakesThemAgain) {
    run("zylSolver; makeMesh -cube -n crate; makeMesh -cube -n box; select -r box");
    run("new_ZYLBody crate");
    const std::string index = attr("crateZylBody.index");
    run("select -cl; undo");
    EXPECT_TRUE(nodesOfType("zylRigidBody").empty());
    EXPECT_TRUE(nodesOfType("zylCollisionShape").empty());
    host::Result selected;
    mel("ls -sl", &selected);
    EXPECT_EQ(host::resultWords(selected), std::vector<std::string>{"crate"});
    run("redo");
    EXPECT_EQ(nodesOfType("zylRigidBody"), std::vector<std::string>{"crateZylBody"});
    ASSERT_TRUE(body("crateZylBody")->getBody(false));
    EXPECT_EQ(engineWorld()->findBodyByName("crateZylBody"), body("crateZylBody")->getBody(false));
    EXPECT_EQ(attr("crateZylBody.index"), index);  // the world files it as before
}

TEST_F(RigidBodyCmd, PassesOverWhatCannotBecomeABody) {
    run("makeMesh -cube -n crate");
    EXPECT_FALSE(mel("new_ZYLBody crate"));
    EXPECT_TRUE(rt().log.contains(host::LogKind::Error, "no zyl solver found, abort"));
    run("zylSolver; select -cl");
    EXPECT_FALSE(mel("new_ZYLBody"));
    EXPECT_TRUE(rt().log.contains(host::LogKind::Error, "Too few objects: at least 1"));

    // Only surfaces: one line each, then the failure.
    run("createNode transform -n sheet; createNode nurbsSurface -p sheet; createNode nurbsSurface -p sheet");
    rt().log.clear();
    EXPECT_FALSE(mel("new_ZYLBody sheet"));
    const auto lines = std::ranges::count_if(rt().log.records(), [](const host::LogRecord& r) {
        return r.kind == host::LogKind::Info && r.text == " ZYL doesnt work on NURBS, convert it to poly.";
    });
    EXPECT_EQ(lines, 2);
    EXPECT_TRUE(rt().log.contains(host::LogKind::Info, " Select one or more polygonal objects( not instances)."));

    // An instance is refused by name but counts as a polygonal selection: success, nothing made.
    run("instance -n crateCopy crate");
    EXPECT_TRUE(mel("new_ZYLBody crateCopy"));
    EXPECT_TRUE(rt().log.contains(host::LogKind::Error, "Object crateShape is an instance, convert it to object"));
    // The host's own rigid body, and a mesh feeding a mesh generator, are left alone silently.
    run("makeMesh -cube -n hosted; createNode rigidBody -p hosted");
    run("makeMesh -cube -n feeder; createNode polyCreator -n maker");
    MSelectionList list;
    MObject maker;
    list.add("maker");
    list.getDependNode(0, maker);
    MFnTypedAttribute input;
    MFnDependencyNode(maker).addAttribute(input.create("inMesh", "im", MFnData::kMesh));
    run("connectAttr feederShape.worldMesh[0] maker.inMesh");
    rt().log.clear();
    EXPECT_TRUE(mel("new_ZYLBody hosted feeder"));
    EXPECT_TRUE(nodesOfType("zylRigidBody").empty());
    EXPECT_EQ(rt().log.count(host::LogKind::Error) + rt().log.count(host::LogKind::Warning), 0u);
    EXPECT_EQ(panelUpdates(), 0u);
}

TEST_F(RigidBodyCmd, AnimationMovesTimeToTheStartAndShapesTheBody) {
    run("zylSolver");
    // An animated parent: the time goes back to the start, the body waits for its first hit.
    run("makeMesh -cube -n crate; group -n rig crate");
    run("setKeyframe -at translateY -t 1 -v 0 rig; setKeyframe -at translateY -t 10 -v 2 rig; currentTime 5");
    run("new_ZYLBody crate");
    EXPECT_EQ(MAnimControl::currentTime().value(), 1.0);
    EXPECT_TRUE(rt().log.contains(host::LogKind::Warning, " time set to start frame becouse animated object selected"));
    EXPECT_EQ(answer("getAttr crateZylBody.firstHitActive"), "1");

    // A mesh deformed by a keyed joint becomes a mesh body that follows it.
    run("makeMesh -cube -n skinned; createNode transform -n joint; createNode skinCluster -n skin");
    run("connectAttr joint.worldMatrix[0] skin.matrix[0]; connectAttr skin.outputGeometry skinnedShape.inMesh");
    run("setKeyframe -at translateX -t 1 -v 0 joint; setKeyframe -at translateX -t 5 -v 1 joint");
    run("new_ZYLBody -st 2 skinned");
    EXPECT_EQ(answer("getAttr skinnedZylBodyShape.type"), "3");
    EXPECT_EQ(answer("getAttr skinnedZylBodyShape.animated(Mesh)"), "1");
    EXPECT_EQ(body("skinnedZylBody")->getBody(false)->getType(), HB_TRIMESH);
}

}  // namespace
}  // namespace zyltest
