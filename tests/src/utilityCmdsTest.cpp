#include <string>

#include "moduleTestSupport.h"

namespace zyltest {
namespace {

class UtilityCmds : public BatchModuleTest {
protected:
    static bool exists(const std::string& name) { return !answer("ls " + name).empty(); }
    // A uniform field; the module gives it the link attribute that bodies connect to.
    static void field(const std::string& name) { run("makeField -n " + name); }
};

TEST_F(UtilityCmds, RotationsCompareWithinTheTolerance) {
    EXPECT_EQ(answer("dComputeRotDist"), "1");  // two zero rotations, tolerance 0
    EXPECT_EQ(answer("dComputeRotDist -rx 0.1 -tol 0.2"), "1");
    EXPECT_EQ(answer("dComputeRotDist -rx 0.1 -tol 0.05"), "0");
    EXPECT_EQ(answer("dComputeRotDist -rotY 0.3 -rotY2 0.3 -rz2 0.001 -tolerance 0.01"), "1");
    EXPECT_EQ(rt().undo.size(), 0u);  // not undoable
}

TEST_F(UtilityCmds, DeleteUserNodeSkipsNodesGoneWithAnEarlierOne) {
    run("makeMesh -cube -n crate; makeMesh -cube -n other");
    run("deleteUserNode crate crateShape");
    EXPECT_FALSE(exists("crate"));
    EXPECT_FALSE(exists("crateShape"));
    EXPECT_TRUE(exists("other"));
    run("select -r other; deleteUserNode");  // the selection by default
    EXPECT_FALSE(exists("other"));
    EXPECT_FALSE(mel("select -cl; deleteUserNode"));
    EXPECT_TRUE(rt().log.contains(host::LogKind::Error, "Too few objects: at least 1"));
    EXPECT_EQ(rt().undo.size(), 0u);
}

// The named rigid body is found among the plug-in locators, where rigid bodies live:
// looking among plug-in dependency nodes would never find one.
TEST_F(UtilityCmds, ConnectReplacesTheRigidBodysFieldsAndUndoes) {
    run("zylSolver; makeMesh -cube -n crate; createNode zylRigidBody -n crateBody -p crate");
    field("windA");
    field("windB");
    run("makeMesh -cube -n notAField");
    run("select -r crate");

    run("zylConnectForceFields -con -bn crateBody windA notAField windB");
    EXPECT_EQ(source("crateBody.fieldList[0]"), "windA.zylfield");
    EXPECT_EQ(source("crateBody.fieldList[1]"), "windB.zylfield");

    run("select -cl");
    run("zylConnectForceFields -con -bodyName crateBody windB");
    EXPECT_EQ(source("crateBody.fieldList[0]"), "windB.zylfield");
    EXPECT_EQ(source("crateBody.fieldList[1]"), "");

    // Undo brings back the old connections and selects the command's objects.
    run("undo");
    EXPECT_EQ(source("crateBody.fieldList[0]"), "windA.zylfield");
    EXPECT_EQ(source("crateBody.fieldList[1]"), "windB.zylfield");
    MSelectionList active;
    MGlobal::getActiveSelectionList(active);
    MStringArray selected;
    active.getSelectionStrings(selected);
    ASSERT_EQ(selected.length(), 1u);
    EXPECT_EQ(selected[0], "windB");
    run("redo");
    EXPECT_EQ(source("crateBody.fieldList[0]"), "windB.zylfield");

    // A missing name, or a fracture-body name (which wins over the body's), changes nothing.
    run("zylConnectForceFields -con -bn nobody windA");
    run("zylConnectForceFields -con -fbn noFractureBody -bn crateBody windA");
    run("zylConnectForceFields -con windA");
    EXPECT_EQ(source("crateBody.fieldList[0]"), "windB.zylfield");
    EXPECT_EQ(count(host::LogKind::Error), 0u);
}

TEST_F(UtilityCmds, ConnectRefusesWhatItCannotDo) {
    EXPECT_FALSE(mel("zylConnectForceFields -bn crateBody"));
    EXPECT_TRUE(rt().log.contains(host::LogKind::Error, "invalid arguments"));
    EXPECT_FALSE(mel("zylConnectForceFields -cal windA"));
    EXPECT_TRUE(rt().log.contains(host::LogKind::Error, "no field found"));
    run("makeField -n windA");
    MSelectionList list;
    MPlug link;
    ASSERT_TRUE(list.add("windA.zylfield") && list.getPlug(0, link));
    MFnDependencyNode(link.node()).removeAttribute(link.attribute());
    EXPECT_FALSE(mel("zylConnectForceFields -cal windA"));
    EXPECT_TRUE(rt().log.contains(host::LogKind::Error, " zylfield attribute not found"));
    run("addAttr -ln zylfield -sn zylf -at message windA");
    EXPECT_FALSE(mel("zylConnectForceFields -cal windA"));
    EXPECT_TRUE(rt().log.contains(host::LogKind::Error, "no zyl solver found"));
}

// The field goes after what each body has, on every body of the solver taking fields.
TEST_F(UtilityCmds, ConnectAllAppendsTheFieldToBodiesTakingFields) {
    run("zylSolver; makeMesh -cube -n a; makeMesh -cube -n b; new_ZYLBody a b");
    field("windA");
    field("windB");
    run("setAttr aZylBody.affectForceFields 1");
    run("zylConnectForceFields -con -bn aZylBody windA");
    run("zylConnectForceFields -connectAll windB");
    EXPECT_EQ(source("aZylBody.fieldList[0]"), "windA.zylfield");
    EXPECT_EQ(source("aZylBody.fieldList[1]"), "windB.zylfield");
    EXPECT_EQ(source("bZylBody.fieldList[0]"), "");
    run("undo");
    EXPECT_EQ(source("aZylBody.fieldList[0]"), "windA.zylfield");
    EXPECT_EQ(source("aZylBody.fieldList[1]"), "");
}

}  // namespace
}  // namespace zyltest
