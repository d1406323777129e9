// The stress node: defaults, messages, joint pushes with and without an owner, the
// start-frame snapshot, and the lifetimes of the node and of a joint it owns.

#include <string>
#include <vector>

#include "fractureTestSupport.h"

namespace zyltest {
namespace {

using Stress = FractureTest;

TEST_F(Stress, NewNodeDefaultsAndUnknownNames) {
    run("createNode stressNode -n s");
    SceneStress* s = user<SceneStress>("s");
    ASSERT_TRUE(s);
    EXPECT_TRUE(s->getBoolProperty("breakByForce"));
    for (const char* name : {"enabled", "torsion", "breakByFrame"}) EXPECT_FALSE(s->getBoolProperty(name)) << name;
    EXPECT_EQ(s->frameToBreakMember(), -1);
    EXPECT_EQ(s->getIntProperty("frameToBreak"), 0);
    EXPECT_EQ(s->frameToBreakMember(), 0);
    EXPECT_FALSE(s->getOwner());
    EXPECT_FALSE(s->getJoint());

    // Getters glue the name to "ppty", setters put a blank between; setters still say yes.
    EXPECT_EQ(s->getDoubleProperty("strength"), 0.0);
    EXPECT_FALSE(s->getBoolProperty("strength"));
    EXPECT_TRUE(s->setDoubleProperty("strength", 3.0));
    EXPECT_TRUE(s->setBoolProperty("strength", true));
    EXPECT_TRUE(s->setIntProperty("strength", 3));
    std::vector<std::string> errors;
    for (const host::LogRecord& r : rt().log.records())
        if (r.kind == host::LogKind::Error) errors.push_back(r.text);
    const std::string getter = "sceneStrNode pptystrength not found", setter = "sceneStrNode ppty strength not found";
    EXPECT_EQ(errors, (std::vector<std::string>{getter, getter, setter, setter, setter}));
    // "locked" is known, and the node has no such plug to write.
    EXPECT_TRUE(s->setBoolProperty("locked", true));
    EXPECT_EQ(count(host::LogKind::Error), 5u);
}

TEST_F(Stress, WithoutOwnerTheJointTakesEachBitAndTheSnapshotComesBack) {
    run("createNode stressNode -n s; setAttr s.frameToBreak 7");
    SceneStress* s = user<SceneStress>("s");
    DynamicStress* joint = createDynamicStress();
    s->setJoint(joint, true);  // the node deletes it

    s->setBoolProperty("enabled", true);
    EXPECT_EQ(joint->flags, JOINT_ACTIVE);
    EXPECT_EQ(joint->initialFlags, JOINT_ACTIVE);
    s->setBoolProperty("breakByFrame", true);
    EXPECT_TRUE(s->isBreakByFrame());
    EXPECT_EQ(s->frameToBreakMember(), 7);
    s->setBoolProperty("torsion", true);
    // The strength is pushed again even when unchanged.
    s->setDoubleProperty("forceStrenght", 12.0);
    joint->set_break_tolerance(3.0);
    s->setBoolProperty("breakByForce", true);
    EXPECT_EQ(joint->get_break_tolerance(), 12.0);
    const std::uint32_t snapped = JOINT_ACTIVE | JOINT_BREAK_BY_FRAME | JOINT_BREAK_BY_FORCE | JOINT_TORSION;
    EXPECT_EQ(joint->flags, snapped);

    // Only the low sixteen bits are copied, each as it is (not all of them for one set bit).
    joint->initialFlags = 0x10000u | JOINT_PROCESSED;
    s->storeInitialState();
    EXPECT_EQ(joint->initialFlags, 0x10000u | snapped);
    s->setBoolProperty("torsion", false);
    s->setBoolProperty("breakByForce", false);
    s->setDoubleProperty("breakEnergy", 2.0);
    s->restoreInitialState();
    EXPECT_EQ(joint->flags, 0x10000u | snapped);
    // A double setter refreshes its snapshot: the new energy stays.
    EXPECT_EQ(joint->getBreakEnergy(), 2.0);
    EXPECT_TRUE(s->getBoolProperty("torsion"));
    // The start position comes back as the plug held it, not narrowed to single precision.
    run("setAttr s.position 0.1 -3e38 7");
    s->storeInitialState();
    s->setPosition(1, 2, 3);
    s->restoreInitialState();
    EXPECT_EQ(plug("s.position").child(0).asDouble(), 0.1);
    EXPECT_EQ(plug("s.position").child(1).asDouble(), -3e38);

    // Through the change flags.
    run("setAttr s.forceStrenght 20; setAttr s.enabled 0");
    EXPECT_TRUE(flag("s.cfrv"));
    EXPECT_TRUE(flag("s.cebl"));
    EXPECT_EQ(joint->get_break_tolerance(), 20.0);
    EXPECT_FALSE(joint->isActive());

    // Another joint replaces an owned one, which goes.
    s->setJoint(createDynamicStress(), true);
    EXPECT_TRUE(s->ownsJoint());
}

TEST_F(Stress, WithAnOwnerEnablingAndByFrameGoThroughIt) {
    buildRow();
    SceneStress* s = stresses[1];
    DynamicStress* joint = s->getJoint();
    FractureBody* body = fb->fractureBody;

    s->setBoolProperty("enabled", false);
    EXPECT_FALSE(joint->isActive());
    EXPECT_EQ(body->deactivatedJoints.count, 1u);
    s->setBoolProperty("enabled", true);
    EXPECT_TRUE(joint->isActive());
    EXPECT_EQ(body->deactivatedJoints.count, 0u);
    // A joint that is not among the broken ones stays as it is, bit included.
    joint->deActivate();
    s->setBoolProperty("enabled", true);
    EXPECT_FALSE(joint->isActive());

    s->setBoolProperty("breakByFrame", true);
    s->setBoolProperty("breakByFrame", true);
    EXPECT_EQ(fb->byFrameStresses, std::vector<SceneStress*>{s});
    EXPECT_TRUE(joint->isBreakableByFrame());
    s->setBoolProperty("breakByFrame", false);
    EXPECT_TRUE(fb->byFrameStresses.empty());
    EXPECT_FALSE(s->isBreakByFrame());
    EXPECT_FALSE(joint->isBreakableByFrame());

    // Clearing a node that is not in the list keeps its member and bit.
    SceneStress* other = stresses[2];
    other->setBreakByFrameMember(true);
    other->getJoint()->enableBreakableByFrame();
    other->setBoolProperty("breakByFrame", false);
    EXPECT_TRUE(other->isBreakByFrame());
    EXPECT_TRUE(other->getJoint()->isBreakableByFrame());
}

// A node deleted on its own leaves its owner's by-frame list; a joint it owns goes with
// it; the fracture body's deletion lets every node go before its joints are deleted.
TEST_F(Stress, LifetimesOfNodesAndJoints) {
    buildRow();
    stresses[0]->setBoolProperty("breakByFrame", true);
    stresses[3]->setBoolProperty("breakByFrame", true);
    run("delete s0");
    EXPECT_EQ(fb->byFrameStresses, std::vector<SceneStress*>{stresses[3]});

    run("createNode stressNode -n loose");
    user<SceneStress>("loose")->setJoint(createDynamicStress(), true);
    run("delete loose");

    // The owner takes its stress nodes with it. A node cut off by hand outlives it: it
    // reads neither owner nor joint then.
    run("disconnectAttr fb.stresses s2.fracture");
    run("delete fb");
    host::Result left;
    mel("ls -typ stressNode", &left);
    EXPECT_EQ(host::resultWords(left), std::vector<std::string>{"s2"});
    EXPECT_FALSE(stresses[2]->getOwner());
    EXPECT_FALSE(stresses[2]->getJoint());
    run("setAttr s2.enabled 0; setAttr s2.forceStrenght 4");
    EXPECT_TRUE(flag("s2.cebl") && flag("s2.cfrv"));
    run("delete s2");
}

}  // namespace
}  // namespace zyltest
