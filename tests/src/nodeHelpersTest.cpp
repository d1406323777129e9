#include <string>

#include "moduleTestSupport.h"
#include "src/nodeHelpers.h"
#include "src/typeIds.h"

namespace zyltest {
namespace {

// Stand-ins: a node under the solver's id, and a body with a "solver" plug and two
// change flags (the second connectable).
struct SolverStandIn : MPxNode {
    static void* creator() { return new SolverStandIn; }
};

struct BodyStandIn : MPxNode {
    static void* creator() { return new BodyStandIn; }
    static MStatus initialize() {
        MFnMessageAttribute msg;
        solver = msg.create("solver", "sol");
        addAttribute(solver);
        MFnNumericAttribute num;
        input = num.create("input", "in", MFnNumericData::kDouble);
        addAttribute(input);
        MStatus st;
        flag = addChangeFlag("ca_input", "cain", &st);
        connectableFlag = addConnectableChangeFlag("ca_other", "caot");
        attributeAffects(input, flag);
        return st;
    }
    MStatus compute(const MPlug& plug, MDataBlock& data) override {
        if (plug != MPlug(thisMObject(), flag)) return MS::kUnknownParameter;
        ++computes;
        markFlagDone(data, plug);
        return MS::kSuccess;
    }
    inline static MObject solver, input, flag, connectableFlag;
    inline static int computes = 0;
};

constexpr MTypeId kBodyId{0x7F0001};

MStatus initializeTest(MObject obj) {
    MFnPlugin plugin(obj, "Test", "1.0", "Any");
    plugin.registerNode("testSolver", zylTypes::kSolver, SolverStandIn::creator, nullptr);
    return plugin.registerNode("testBody", kBodyId, BodyStandIn::creator, BodyStandIn::initialize);
}
MStatus uninitializeTest(MObject) { return MS::kSuccess; }

class NodeHelpers : public ModuleTest {
protected:
    void SetUp() override {
        ModuleTest::SetUp();
        BodyStandIn::computes = 0;
        ASSERT_TRUE(rt().loadStaticModule(initializeTest, uninitializeTest, "test"));
    }
    static MObject create(const std::string& type, const std::string& name) {
        EXPECT_TRUE(mel("createNode " + type + " -n " + name)) << name;
        return node(name);
    }
};

TEST_F(NodeHelpers, ChangeFlagsAreHiddenTransientAndComputeOnce) {
    for (const MObject& attr : {BodyStandIn::flag, BodyStandIn::connectableFlag}) {
        const MFnAttribute fn(attr);
        EXPECT_TRUE(fn.isHidden());
        EXPECT_FALSE(fn.isStorable());
        EXPECT_FALSE(fn.isKeyable());
        EXPECT_EQ(fn.isConnectable(), attr == BodyStandIn::connectableFlag);
    }
    const MObject body = create("testBody", "b");
    const MPlug flag(body, BodyStandIn::flag);
    EXPECT_TRUE(flag.asBool());
    EXPECT_TRUE(flag.asBool());
    EXPECT_EQ(BodyStandIn::computes, 1);  // marked clean
    MPlug(body, BodyStandIn::input).setValue(2.0);
    EXPECT_TRUE(flag.asBool());
    EXPECT_EQ(BodyStandIn::computes, 2);
}

TEST_F(NodeHelpers, SolversAndFirstConnections) {
    EXPECT_TRUE(findFirstSolver().isNull());
    EXPECT_TRUE(findLastSolver().isNull());
    const MObject first = create("testSolver", "s1");
    const MObject body = create("testBody", "zylSolverNode1");  // the name alone does not make a solver
    const MObject last = create("testSolver", "s2");
    EXPECT_EQ(findFirstSolver(), first);
    EXPECT_EQ(findLastSolver(), last);
    EXPECT_TRUE(findSolverByName().isNull());
    EXPECT_TRUE(mel("rename zylSolverNode1 b; rename s2 zylSolverNode1"));
    EXPECT_EQ(findSolverByName(), last);

    const MPlug solverPlug(body, BodyStandIn::solver);
    EXPECT_TRUE(solverOf(body).isNull());
    EXPECT_TRUE(firstConnectedPlug(solverPlug).isNull());
    EXPECT_TRUE(mel("connectAttr b.message s1.message; connectAttr zylSolverNode1.message b.solver"));
    EXPECT_EQ(solverOf(body), last);
    EXPECT_EQ(firstConnectedNode(solverPlug, ConnectionSide::source), last);
    EXPECT_TRUE(firstConnectedNode(solverPlug, ConnectionSide::destination).isNull());
    EXPECT_EQ(firstConnectedPlug(MPlug(last, MPxNode::message), ConnectionSide::destination), solverPlug);
    // Either side: the first connection made.
    EXPECT_EQ(firstConnectedNode(MPlug(body, MPxNode::message)), first);
    EXPECT_TRUE(mel("disconnectAttr zylSolverNode1.message b.solver; connectAttr s1.message b.solver"));
    EXPECT_EQ(solverOf(body), first);
    EXPECT_TRUE(solverOf(first).isNull());  // no "solver" plug
    EXPECT_TRUE(solverOf(MObject()).isNull());
}

TEST_F(NodeHelpers, UserNodesByTypeIdAndLocks) {
    const MObject body = create("testBody", "b");
    const MObject solver = create("testSolver", "s");
    EXPECT_NE(userNodeAs<BodyStandIn>(body, kBodyId), nullptr);
    EXPECT_EQ(userNodeAs<BodyStandIn>(body, zylTypes::kSolver), nullptr);
    EXPECT_EQ(userNodeAs<BodyStandIn>(solver, zylTypes::kSolver), nullptr);  // right id, other class
    EXPECT_EQ(userNodeAs<BodyStandIn>(MObject(), kBodyId), nullptr);
    EXPECT_EQ(userNodeAs<BodyStandIn>(BodyStandIn::input, kBodyId), nullptr);  // not a node

    MFnDependencyNode fn(body);
    fn.setLocked(true);
    {
        const ScopedNodeUnlock unlock(body);
        EXPECT_TRUE(unlock.wasLocked());
        EXPECT_FALSE(fn.isLocked());
    }
    EXPECT_TRUE(fn.isLocked());
    fn.setLocked(false);
    {
        const ScopedNodeUnlock unlock(body);
        EXPECT_FALSE(unlock.wasLocked());
    }
    EXPECT_FALSE(fn.isLocked());
}

TEST_F(NodeHelpers, ErrorReportsGoToTheirStreams) {
    ::testing::internal::CaptureStdout();
    ::testing::internal::CaptureStderr();
    printHostError(MStatus(MS::kFailure, "no plug"), "reading mass");
    printApiError(MS::kInvalidParameter, "src/shatter/cut.cpp", 42);
    printApiError(MS::kFailure, "f.cpp", 7, "while cutting");
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "maya error: no plug while: reading mass\n");
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "\nAPI error detected in src/shatter/cut.cpp at line 42\nInvalid parameter\n"
              "\nAPI error detected in f.cpp at line 7\nwhile cutting: Failure\n");
}

}  // namespace
}  // namespace zyltest
