#include "hostTestSupport.h"

namespace hosttest {
namespace {

using toy::Stats;
using toy::ToyNode;

class GraphEdit : public HostTest {
protected:
    void SetUp() override {
        HostTest::SetUp();
        loadToy();
    }
    static std::vector<std::string> names() {
        std::vector<std::string> out;
        for (MItDependencyNodes it(MFn::kPluginDependNode); !it.isDone(); it.next())
            out.push_back(MFnDependencyNode(it.thisNode()).name().str());
        return out;
    }
};

TEST_F(GraphEdit, LocksRefuseWritesDeleteAndRename) {
    MFnDependencyNode fn;
    const MObject a = fn.create("toyNode", "a");
    MPlug input(a, ToyNode::input);
    input.setValue(2.0);
    input.setLocked(true);
    EXPECT_FALSE(input.setValue(5.0));
    EXPECT_EQ(input.asDouble(), 2.0);
    EXPECT_FALSE(mel("setAttr a.input 9"));
    input.setLocked(false);
    EXPECT_TRUE(input.setValue(5.0));

    fn.setLocked(true);
    EXPECT_FALSE(MGlobal::deleteNode(a));
    MStatus st;
    EXPECT_EQ(fn.setName("b", false, &st), MString("a"));
    EXPECT_FALSE(st);
    EXPECT_FALSE(mel("delete a"));
    fn.setLocked(false);
    EXPECT_EQ(fn.setName("b"), MString("b"));
    // The time node stays.
    EXPECT_FALSE(mel("delete time1"));
    EXPECT_TRUE(node("time1").hasFn(MFn::kTime));
}

TEST_F(GraphEdit, NamesAreUniqueAndRaised) {
    EXPECT_EQ(melText("createNode toyNode"), "toyNode1");
    EXPECT_EQ(melText("createNode toyNode"), "toyNode2");
    EXPECT_EQ(melText("createNode toyNode -n toyNode2"), "toyNode3");
    EXPECT_EQ(melText("createNode toyNode -n solo"), "solo");
    EXPECT_EQ(melText("createNode toyNode -n solo"), "solo1");
    EXPECT_EQ(melText("rename solo1 toyNode1"), "toyNode4");
}

TEST_F(GraphEdit, WhatPostConstructorWritesStaysWhicheverWayTheNodeIsMade) {
    EXPECT_EQ(melText("createNode toyNode -n byMel; getAttr byMel.started"), "1");
    MDGModifier mod;
    const MObject byModifier = mod.createNode(ToyNode::id);
    EXPECT_EQ(MPlug(byModifier, ToyNode::started).asInt(), 1);  // before doIt too
    ASSERT_TRUE(mod.doIt());
    EXPECT_EQ(MPlug(byModifier, ToyNode::started).asInt(), 1);
    EXPECT_EQ(MPlug(MFnDependencyNode().create("toyNode"), ToyNode::started).asInt(), 1);

    // Made by a command run from MEL: undo takes the node away with what it wrote, redo brings both.
    EXPECT_EQ(melText("toyCmd -s byCmd; getAttr byCmd.started"), "1");
    const MObject made = node("byCmd");
    ASSERT_TRUE(mel("undo"));
    EXPECT_TRUE(rt().scene.findByName("byCmd") == nullptr);
    MStatus st;
    MPlug(made, ToyNode::started).asInt(MDGContext::fsNormal, &st);
    EXPECT_FALSE(st);
    ASSERT_TRUE(mel("redo"));
    EXPECT_EQ(MPlug(made, ToyNode::started).asInt(), 1);
    EXPECT_EQ(melText("getAttr byCmd.started"), "1");
}

TEST_F(GraphEdit, ModifierUndoRestoresNamesConnectionsValuesAndOrder) {
    MFnDependencyNode fn;
    const MObject a = fn.create("toyNode", "a");
    const MObject b = fn.create("toyNode", "b");
    const MObject c = fn.create("toyNode", "c");
    MPlug(b, ToyNode::input).setValue(4.0);
    mel("connectAttr a.owned c.msgIn; connectAttr b.output c.input");

    MDGModifier mod;
    const MObject d = mod.createNode("toyNode");
    mod.renameNode(a, "renamed");
    mod.newPlugValueDouble(MPlug(b, ToyNode::input), 1.0);
    mod.connect(MPlug(b, ToyNode::owned), MPlug(c, ToyNode::list).elementByLogicalIndex(0));
    mod.deleteNode(b);
    EXPECT_EQ(names(), (std::vector<std::string>{"a", "b", "c"}));  // nothing happens before doIt
    ASSERT_TRUE(mod.doIt());
    EXPECT_TRUE(MObject(b).isNull());
    EXPECT_EQ(names(), (std::vector<std::string>{"renamed", "c", "toyNode1"}));
    EXPECT_FALSE(MPlug(c, ToyNode::input).isConnected());

    ASSERT_TRUE(mod.undoIt());
    EXPECT_TRUE(d.isNull());
    EXPECT_EQ(names(), (std::vector<std::string>{"a", "b", "c"}));  // b back in its place
    EXPECT_EQ(MPlug(b, ToyNode::input).asDouble(), 4.0);
    EXPECT_EQ(MPlug(c, ToyNode::input).source().node(), b);
    MPlugArray in;
    MPlug(c, ToyNode::msgIn).connectedTo(in, true, false);
    ASSERT_EQ(in.length(), 1u);
    EXPECT_EQ(in[0].node(), a);
    EXPECT_EQ(MPlug(c, ToyNode::output).asDouble(), 16.0);

    // Redo, then let the modifier go: the deleted node dies with it.
    ASSERT_TRUE(mod.doIt());
    const int destroyed = Stats::destroyed;
    {
        MDGModifier gone;
        gone.deleteNode(node("c"));
        gone.doIt();
        EXPECT_EQ(Stats::destroyed, destroyed);
    }
    EXPECT_EQ(Stats::destroyed, destroyed + 1);
}

TEST_F(GraphEdit, DeletionIsReentrant) {
    // a owns b and c; b owns c too. a's destructor deletes b, whose destructor deletes c.
    mel("createNode toyNode -n a; createNode toyNode -n b; createNode toyNode -n c");
    mel("connectAttr a.owned b.msgIn; connectAttr a.owned c.input; connectAttr b.owned c.msgIn");
    const int removedBefore = Stats::nodeRemovedCalls;
    EXPECT_TRUE(mel("delete a"));
    EXPECT_EQ(Stats::destroyed, 3);
    EXPECT_EQ(Stats::nodeRemovedCalls - removedBefore, 3);
    EXPECT_TRUE(names().empty());
    EXPECT_EQ(rt().idle.size(), 3u);  // each destructor queued MEL
    rt().idle.flush();
    EXPECT_EQ(count(host::LogKind::Print), 3u);
    EXPECT_EQ(count(host::LogKind::Error), 0u);
}

TEST_F(GraphEdit, DynamicAttributesAndQueries) {
    mel("createNode toyNode -n a; createNode toyNode -n b; select b");
    EXPECT_TRUE(mel("addAttr -ln extra -at double a"));
    EXPECT_TRUE(mel("addAttr -ln picked -at bool"));  // the selection
    EXPECT_FALSE(mel("addAttr -ln extra -at double a"));
    EXPECT_EQ(melText("attributeQuery -node a -ex extra"), "1");
    EXPECT_EQ(melText("attributeQuery -node a -ex picked"), "0");
    EXPECT_EQ(melText("attributeQuery -node b -ex picked"), "1");
    mel("setAttr a.extra 2.5");
    EXPECT_EQ(melText("getAttr a.extra"), "2.5");
    mel("setAttr a.animated(Mesh) true");
    EXPECT_EQ(melText("getAttr a.animated(Mesh)"), "1");
    EXPECT_EQ(melText("ls -type toyNode"), "a\nb\n");
    EXPECT_EQ(melText("ls -et time"), "time1\n");
    EXPECT_EQ(melText("ls \"?\""), "a\nb\n");
    EXPECT_TRUE(mel("lockNode -l on a"));
    EXPECT_EQ(melText("lockNode -q a"), "1\n");
    EXPECT_FALSE(mel("connectAttr a.output b.input; connectAttr a.input b.input"));
    EXPECT_TRUE(mel("connectAttr -f a.input b.input"));
    EXPECT_EQ(MPlug(node("b"), ToyNode::input).source().attribute(), ToyNode::input);
    EXPECT_TRUE(mel("disconnectAttr a.input b.input"));
    EXPECT_FALSE(MPlug(node("b"), ToyNode::input).isConnected());
}

TEST_F(GraphEdit, GraphWalks) {
    mel("createNode toyNode -n a; createNode toyNode -n b; createNode toyNode -n c; createNode toyLocator -n l");
    mel("connectAttr a.output b.input; connectAttr b.output c.input; connectAttr a.owned l.message");
    std::vector<std::string> down;
    for (MItDependencyGraph it(node("a")); !it.isDone(); it.next())
        down.push_back(MFnDependencyNode(it.currentItem()).name().str());
    EXPECT_EQ(down, (std::vector<std::string>{"a", "b", "c", "l"}));
    std::vector<std::string> up;
    for (MItDependencyGraph it(node("c"), MFn::kPluginDependNode, MItDependencyGraph::kUpstream); !it.isDone();
         it.next())
        up.push_back(MFnDependencyNode(it.currentItem()).name().str());
    EXPECT_EQ(up, (std::vector<std::string>{"c", "b", "a"}));
    MItDependencyGraph locators(node("a"), MFn::kPluginLocatorNode);
    ASSERT_FALSE(locators.isDone());
    EXPECT_EQ(locators.thisPlug().name(), MString("l.message"));
}

}  // namespace
}  // namespace hosttest
