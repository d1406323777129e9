// The list and query commands: their refusals, the solver found only by its default
// name, the collision report of stacked boxes, degenerate volumes, world membership and
// the member transforms of a fracture body.

#include <string>
#include <vector>

#include "solverTestSupport.h"

namespace zyltest {
namespace {

using Strings = std::vector<std::string>;

class QueryCmds : public SolverTest {
protected:
    bool batch() const override { return true; }

    static host::Result answer(const std::string& text) {
        host::Result r;
        EXPECT_TRUE(mel(text, &r)) << text << "\n" << rt().log.text();
        return r;
    }
    // The command fails with exactly this error of its own.
    static void refused(const std::string& text, const std::string& error) {
        const std::size_t before = rt().log.count(host::LogKind::Error);
        EXPECT_FALSE(mel(text)) << text;
        EXPECT_EQ(rt().log.count(host::LogKind::Error), before + 1) << text;
        EXPECT_EQ(rt().log.records().back().text, error) << text;
    }
    static Strings names(HardBody* body) {
        HardBody** colliding = nullptr;
        const int n = world()->getCollidingBodies(body, &colliding);
        Strings out;
        for (int k = 0; k < n; ++k) out.emplace_back(colliding[k]->transform.name);
        return out;
    }
};

TEST_F(QueryCmds, RefusalsAndTheSolverOnlyUnderItsDefaultName) {
    refused("ManageZylListCmd", "invalid selection");
    refused("queryZylBody -cl", "invalid selection");
    refused("queryZylFBody -gtn", "not fracture body selected");
    makeSolver();
    box("a", 3);
    refused("queryZylBody -cp aBody", "expected two objects");  // asked before the solver
    refused("queryZylFBody -gtn aBody", "not fracture body selected");
    EXPECT_TRUE(std::holds_alternative<std::monostate>(answer("queryZylFBody aBody")));  // nothing asked
    run("rename zylSolverNode1 mySolver");
    refused("ManageZylListCmd aBody", "no ZYL solver found");
    refused("queryZylBody -cl aBody", "zyl solver not found");
    run("select mySolver");
    refused("queryZylBody -itr", "zyl solver not found");
}

TEST_F(QueryCmds, StackedBoxesAnswerFromTheCollisionReport) {
    zylSolverNode* solver = makeSolver();
    rigidBodyNode* low = box("low", 0.5);
    rigidBodyNode* high = box("high", 1.5);
    box("aloft", 50);
    run("setAttr aloftBody.passive 1; setAttr zylSolverNode1.ugrid 1");
    solver->setCollisionReporting(true);
    for (int f = 1; f <= 4; ++f) frame(f);

    EXPECT_EQ(host::resultWords(answer("queryZylBody -cl highBody")), Strings{"lowBody"});
    // Several bodies gather into one list; the ground counts as a body.
    Strings both = names(low->getBody(false));
    both.emplace_back("lowBody");
    EXPECT_NE(std::find(both.begin(), both.end(), "groundGrid"), both.end());
    EXPECT_EQ(host::resultWords(answer("queryZylBody -collisionList lowBody highBody")), both);
    EXPECT_TRUE(std::holds_alternative<std::monostate>(answer("queryZylBody -cl aloftBody")));
    refused("queryZylBody -cl low high", "not zyl bodies selected");

    Qmt::QmtVector3* points = nullptr;
    const int n = world()->getReportedContactPoints(low->getBody(false), high->getBody(false), &points);
    ASSERT_GT(n, 0);
    std::vector<double> expected;
    for (int k = 0; k < n; ++k) expected.insert(expected.end(), {points[k].x, points[k].y, points[k].z});
    const host::Result contact = answer("queryZylBody -cp -cl lowBody highBody");  // -cl decides
    EXPECT_EQ(host::resultWords(contact), both);
    EXPECT_EQ(std::get<std::vector<double>>(answer("queryZylBody -collisionPoints lowBody highBody")), expected);
    EXPECT_TRUE(std::holds_alternative<std::monostate>(answer("queryZylBody -cp lowBody aloftBody")));
    refused("queryZylBody -cp lowBody high", "not zyl bodies selected");

    // A body that has no engine body answers as one that touched nothing.
    run("makeMesh -cube -n ghost; createNode zylRigidBody -n ghostBody -p ghost");
    EXPECT_TRUE(std::holds_alternative<std::monostate>(answer("queryZylBody -cl ghostBody")));
    EXPECT_TRUE(std::holds_alternative<std::monostate>(answer("queryZylBody -cp ghostBody lowBody")));
    EXPECT_EQ(host::resultText(answer("queryZylBody -imn ghostBody")), "0");

    EXPECT_EQ(host::resultText(answer("queryZylBody -itr lowBody")), "0");
    EXPECT_EQ(host::resultText(answer("queryZylBody -imn lowBody highBody")), "0");
    run("makeMesh -plane -s 2 -n flat");
    wire("flat", 3, false);
    EXPECT_EQ(host::resultText(answer("queryZylBody -imn lowBody flatBody")), "1");
    EXPECT_TRUE(std::holds_alternative<std::monostate>(answer("queryZylBody lowBody")));
}

// Bodies leave and join the world; each change ends cached play-back.
TEST_F(QueryCmds, ManageListFilesTheSelectedBodies) {
    makeSolver();
    rigidBodyNode* a = box("a", 3);
    rigidBodyNode* b = box("b", 5);
    run("setAttr zylSolverNode1.cm 1; select aBody bBody");
    EXPECT_TRUE(mel("ManageZylListCmd"));
    EXPECT_FALSE(world()->contains(a->getBody(false)));
    EXPECT_FALSE(world()->contains(b->getBody(false)));
    EXPECT_EQ(number("zylSolverNode1.cm"), 0);
    EXPECT_TRUE(logged(host::LogKind::Warning, " ZYL bake cached mode has been deactivated "));
    EXPECT_TRUE(mel("ManageZylListCmd -additems true bBody a"));  // a transform is no body
    EXPECT_FALSE(world()->contains(a->getBody(false)));
    EXPECT_TRUE(world()->contains(b->getBody(false)));
}

// Transform names, not paths: the members first, then each cluster's. The cluster here
// is a stand-in node carrying the two plugs a cluster is reached by.
TEST_F(QueryCmds, FractureBodyListsMemberTransformsThenClusterMembers) {
    run("createNode fBodyNode -n fb; createNode transform -n cl; addAttr -ln fracture -at message cl; "
        "addAttr -ln rigidBodies -at message cl; connectAttr fb.clusters cl.fracture");
    for (const char* m : {"m0", "m1", "m2"}) {
        const std::string name = m;
        run("makeMesh -cube -n " + name + "; createNode zylRigidBody -n " + name + "Body -p " + name);
    }
    run("group -n grp m0 m1 m2; connectAttr fb.rigidBodies m2Body.fracture; connectAttr fb.rigidBodies "
        "m0Body.fracture; connectAttr cl.rigidBodies m1Body.fracture; select fb");
    EXPECT_EQ(host::resultWords(answer("queryZylFBody -getTransformNodes")), (Strings{"m2", "m0", "m1"}));
    run("delete fb");
}

}  // namespace
}  // namespace zyltest
