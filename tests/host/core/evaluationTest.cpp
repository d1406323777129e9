#include "hostTestSupport.h"

namespace hosttest {
namespace {

using toy::Stats;
using toy::ToyNode;

class Evaluation : public HostTest {
protected:
    void SetUp() override {
        HostTest::SetUp();
        loadToy();
        a = makeNode("a");
        b = makeNode("b");
    }
    static MObject makeNode(const char* name) {
        MFnDependencyNode fn;
        return fn.create("toyNode", name);
    }
    MObject a, b;
};

TEST_F(Evaluation, ChainsInsideANodeAndAcrossConnections) {
    MPlug(a, ToyNode::input).setValue(3.0);
    EXPECT_EQ(MPlug(a, ToyNode::output).asDouble(), 6.0);
    // a.output feeds b.input: a change upstream reaches b's output.
    MDGModifier mod;
    mod.connect(MPlug(a, ToyNode::output), MPlug(b, ToyNode::input));
    ASSERT_TRUE(mod.doIt());
    EXPECT_EQ(MPlug(b, ToyNode::output).asDouble(), 12.0);
    MPlug(a, ToyNode::input).setValue(1.0);
    EXPECT_EQ(MPlug(b, ToyNode::output).asDouble(), 4.0);
    // Input affecting input: chainIn dirties chainMid (not handled: its stored value
    // stands, kUnknownParameter) which dirties chainOut.
    MPlug(a, ToyNode::chainMid).child(0).setValue(1.0);
    EXPECT_EQ(MPlug(a, ToyNode::chainOut).asDouble(), 2.0);
    MPlug(a, ToyNode::chainMid).child(2).setValue(2.0);
    MPlug(a, ToyNode::chainIn).setValue(4);
    EXPECT_EQ(MPlug(a, ToyNode::chainOut).asDouble(), 3.5);
    EXPECT_EQ(MPlug(a, ToyNode::chainMid).child(1).asDouble(), 0.5);
    // Children of a compound fed one by one.
    mel("connectAttr b.output a.chainMid.chainMidY; connectAttr b.input a.chainMidZ");
    MPlug(b, ToyNode::input).setValue(3.0);
    EXPECT_EQ(MPlug(a, ToyNode::chainOut).asDouble(), 1.0 + 6.0 + 3.0);
    EXPECT_EQ(count(host::LogKind::Error), 0u);
}

TEST_F(Evaluation, ComputeRules) {
    // An output not marked clean recomputes on every read.
    const MPlug unmarked(a, ToyNode::unmarked);
    EXPECT_EQ(unmarked.asInt(), 1);
    EXPECT_EQ(unmarked.asInt(), 2);
    // Nested compute: nested reads output through a plug.
    MPlug(a, ToyNode::input).setValue(2.0);
    EXPECT_EQ(MPlug(a, ToyNode::nested).asDouble(), 5.0);
    // setValue inside compute on an input that affects the plug being computed.
    EXPECT_TRUE(MPlug(a, ToyNode::writer).asBool());
    EXPECT_EQ(MPlug(a, ToyNode::scratch).asDouble(), 12.0);
    // Reading a plug inside its own compute gives the stored value and logs a cycle.
    EXPECT_EQ(MPlug(a, ToyNode::selfRead).asDouble(), 8.0);
    EXPECT_TRUE(rt().log.contains(host::LogKind::Warning, "Cycle on 'a.selfRead'"));
    // A failed compute keeps the stored value, stays dirty, and is logged once.
    MStatus st;
    EXPECT_EQ(MPlug(a, ToyNode::failing).asDouble(MDGContext::fsNormal, &st), 3.0);
    EXPECT_FALSE(st);
    MPlug(a, ToyNode::failing).asDouble();
    EXPECT_EQ(count(host::LogKind::Error), 1u);
}

TEST_F(Evaluation, MessageDestinationPullsItsSource) {
    MDGModifier mod;
    mod.connect(MPlug(a, ToyNode::msgOut), MPlug(b, ToyNode::msgIn));
    ASSERT_TRUE(mod.doIt());
    EXPECT_EQ(Stats::messageComputes, 0);
    MPlug(b, ToyNode::output).asDouble();
    EXPECT_EQ(Stats::messageComputes, 1);
    MPlug(a, ToyNode::input).setValue(5.0);  // dirties a.msgOut, hence b.msgIn and b.output
    EXPECT_EQ(MPlug(b, ToyNode::output).asDouble(), 2.0);
    EXPECT_EQ(Stats::messageComputes, 2);
}

TEST_F(Evaluation, AttributesHooksAndState) {
    EXPECT_EQ(Stats::postConstructed, 2);
    EXPECT_EQ(Stats::nodeAddedCalls, 2);
    EXPECT_FALSE(MPxNode::addAttribute(MFnNumericAttribute().create("late", "lt", MFnNumericData::kInt)));
    EXPECT_FALSE(MPxNode::attributeAffects(ToyNode::input, ToyNode::output));
    MFnDependencyNode fn(a);
    EXPECT_TRUE(fn.hasAttribute("animated(Mesh)"));
    EXPECT_TRUE(static_cast<MPxNode*>(fn.userNode())->existWithoutOutConnections());
    MPlug clamped(a, ToyNode::clamped);
    clamped.setValue(3.0);
    EXPECT_EQ(clamped.asDouble(), 1.0);
    clamped.setValue(-2.0);
    EXPECT_EQ(clamped.asDouble(), 0.0);
    MFnEnumAttribute kind(ToyNode::kind);
    EXPECT_EQ(kind.fieldName(6), MString("Cracker"));
    EXPECT_EQ(MPlug(a, ToyNode::kind).asInt(), 2);
    const int dirtyCalls = Stats::dependentsDirtyCalls, internalCalls = Stats::internalValueCalls;
    MPlug(a, ToyNode::input).setValue(2.0);
    EXPECT_GT(Stats::dependentsDirtyCalls, dirtyCalls);
    EXPECT_EQ(Stats::internalValueCalls, internalCalls + 1);
    // State 1 (no effect): output equals input.
    MPlug(a, MPxNode::state).setValue(1);
    EXPECT_EQ(MPlug(a, ToyNode::output).asDouble(), 2.0);
}

TEST_F(Evaluation, ArraysAndConnectionOrder) {
    MPlug list(a, ToyNode::list);
    list.elementByLogicalIndex(7);
    list.elementByLogicalIndex(2);
    EXPECT_EQ(list.numElements(), 2u);
    EXPECT_EQ(list.elementByPhysicalIndex(0).logicalIndex(), 2u);
    EXPECT_EQ(list.elementByPhysicalIndex(1).logicalIndex(), 7u);
    MObject c = makeNode("c");
    MDGModifier mod;
    mod.connect(MPlug(a, ToyNode::owned), MPlug(c, ToyNode::msgIn));
    mod.connect(MPlug(a, ToyNode::owned), MPlug(b, ToyNode::msgIn));
    mod.doIt();
    MPlugArray targets;
    MPlug(a, ToyNode::owned).connectedTo(targets, false, true);
    ASSERT_EQ(targets.length(), 2u);
    EXPECT_EQ(targets[0].node(), c);  // connection order, not creation order
    EXPECT_EQ(targets[1].node(), b);
    // Creation order for the iterator; the first toy node is "a".
    MItDependencyNodes it(MFn::kPluginDependNode);
    EXPECT_EQ(it.thisNode(), a);
}

}  // namespace
}  // namespace hosttest
