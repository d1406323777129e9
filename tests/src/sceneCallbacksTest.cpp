// What the module does when a scene is opened or made new and when nodes are added.

#include <algorithm>
#include <string>
#include <vector>

#include "engine/bodies/hardBody.h"
#include "moduleTestSupport.h"
#include "src/nodeHelpers.h"
#include "src/rigidBodyNode.h"

namespace zyltest {
namespace {

class SceneCallbacks : public ModuleTest {
protected:
    void SetUp() override {
        ModuleTest::SetUp();
        loadModule(true);
        run("zylSolver");
    }
    static void run(const std::string& text) { ASSERT_TRUE(mel(text)) << text << "\n" << rt().log.text(); }
    static std::string attr(const std::string& plug) {
        host::Result r;
        EXPECT_TRUE(mel("getAttr " + plug, &r)) << plug;
        return host::resultText(r);
    }
    // The plug feeding a plug, or "".
    static std::string source(const std::string& name) {
        MSelectionList list;
        MPlug plug;
        if (!list.add(MString(name.c_str())) || !list.getPlug(0, plug)) return "";
        return plug.source().isNull() ? "" : plug.source().name().asChar();
    }
    static std::string file(const char* name) {
        std::string quoted(1, '"');
        quoted += ::testing::TempDir();
        quoted += name;
        return quoted += '"';
    }
    static bool exists(const std::string& name) {
        host::Result r;
        return mel("ls " + name, &r) && !host::resultWords(r).empty();
    }
    static void save(const char* name) { run("file -rename " + file(name) + "; file -save"); }
    static void shatter(const std::string& mesh) { run("makeMesh -cube -n " + mesh + "; zylShatter -ns 2 " + mesh); }
    static std::string lastIndex() {
        host::Result nodes;
        mel("ls -type voronoiNode", &nodes);
        return attr(host::resultWords(nodes).back() + ".index");
    }
};

TEST_F(SceneCallbacks, FieldsJoinTheBodiesAndHostRigidBodiesAreRefused) {
    run("makeMesh -cube -n a; makeMesh -cube -n b; new_ZYLBody a b; setAttr aZylBody.affectForceFields 1");
    run("makeField -n wind");
    EXPECT_EQ(source("aZylBody.fieldList[0]"), "wind.zylfield");
    EXPECT_EQ(source("bZylBody.fieldList[0]"), "");
    run("createNode rigidBody -n ours -p a; makeMesh -cube -n c; createNode rigidBody -n theirs -p c");
    rt().idle.flush();
    EXPECT_TRUE(rt().log.contains(host::LogKind::Error, "cannot add a Maya rigid body to a Zyl object"));
    EXPECT_FALSE(exists("ours"));
    EXPECT_TRUE(exists("theirs"));
}

// The counter follows the opened scene's largest index, also down; a scene without
// history leaves it. Bodies are rebuilt with the masses and centres the user gave.
TEST_F(SceneCallbacks, OpenedScenesResumeTheShatterIndexAndRebuildBodies) {
    run("makeMesh -cube -n a; new_ZYLBody a; setAttr aZylBody.mass 7; setAttr aZylBody.massCenter 0.25 0 0");
    shatter("s");
    save("one.scene");
    shatter("t");
    shatter("u");
    run("file -open " + file("one.scene"));
    shatter("v");
    EXPECT_EQ(lastIndex(), "3");
    auto* rb = userNodeAs<rigidBodyNode>(
        [] { MSelectionList l; MObject o; l.add("aZylBody"); l.getDependNode(0, o); return o; }(), rigidBodyNode::id);
    ASSERT_TRUE(rb && rb->getBody(false));
    EXPECT_EQ(1.0 / rb->getBody(false)->getInvMass(), 7.0);
    EXPECT_EQ(attr("aZylBody.mass") + " " + attr("aZylBody.massCenterX"), "7 0.25");
    run("file -new; zylSolver");
    save("none.scene");
    run("file -open " + file("none.scene"));
    shatter("w");
    EXPECT_EQ(lastIndex(), "4");
}

// Older scenes tied collision shapes through `animated` and `inCollisionShape`; a
// fracture member's group was not its shatter's index.
TEST_F(SceneCallbacks, OlderScenesAreUpgradedOnce) {
    run("createNode zylCollisionShape -n shape; setAttr shape.type 3; makeMesh -cube -n box");
    run("createNode zylRigidBody -n body -p box; connectAttr shape.ac body.anim");
    run("connectAttr zylSolverNode1.rigidBodies body.solver");
    run("createNode zylCollisionShape -n crackShape; makeMesh -cube -n striker");
    run("createNode zylCracker -n cracker -p striker; connectAttr crackShape.outCollisionShape cracker.incs");
    run("connectAttr zylSolverNode1.crackers cracker.solver");
    run("makeMesh -cube -n s; string $shards[] = `zylShatter -ns 2 s`; new_ZYLBody -st 2 $shards");
    rt().idle.flush();  // the shards join their group
    run("zylFractureBody -dTh 0.01 -n fb meshZylBody1 meshZylBody2");
    run("lockNode -l 0 meshZylBody1; setAttr meshZylBody1.groupid 5");
    run("setAttr zylSolverNode1.version -type \"string\" \"0.0\"");
    save("old.scene");
    run("file -open " + file("old.scene"));
    EXPECT_EQ(source("body.inCollisionType"), "shape.outCollisionType");
    EXPECT_EQ(source("cracker.inCollisionType"), "crackShape.outCollisionType");
    EXPECT_EQ(source("cracker.inCollisionShape"), "");
    EXPECT_EQ(attr("zylSolverNode1.version"), "3.5");
    EXPECT_EQ(attr("meshZylBody1.groupid"), "1");
    save("new.scene");
    run("file -open " + file("new.scene"));
    EXPECT_EQ(rt().log.count(host::LogKind::Info), 1u);
}

// Fracture bodies go before the scene does (clean under the address sanitizer).
TEST_F(SceneCallbacks, NewSceneTearsFractureBodiesDown) {
    run("makeMesh -cube -n a; makeMesh -cube -n b; xform -t 1 0 0 b; new_ZYLBody -st 2 a b");
    run("zylFractureBody -dTh 0.01 aZylBody bZylBody; hostOption -ow winZylManageWorld");
    run("file -new; file -new");
    EXPECT_EQ(std::ranges::count(rt().commandTrace, "textScrollList -edit -removeAll $zylBodiesList;"), 1);
}

}  // namespace
}  // namespace zyltest
