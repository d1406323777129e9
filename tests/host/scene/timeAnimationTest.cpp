#include <cmath>

#include "host/scene/animationData.h"
#include "hostTestSupport.h"

namespace hosttest {
namespace {

struct Events {
    std::vector<std::string> seen;
    int nestedSets = 0;
};
Events* events = nullptr;

void onTime(void*) {
    events->seen.push_back("time " + std::to_string(MAnimControl::currentTime().value()) +
                           (MConditionMessage::getConditionState("playingBack") ? " playing" : ""));
    // Handlers set the time themselves; nesting is capped.
    if (events->nestedSets > 0) {
        --events->nestedSets;
        MAnimControl::setCurrentTime(MTime(1.0));
    }
}
void onRange(void*) {
    events->seen.push_back("range " + std::to_string(MAnimControl::minTime().value()) + " " +
                           std::to_string(MAnimControl::maxTime().value()));
}

class TimeAnimation : public HostTest {
protected:
    void SetUp() override {
        HostTest::SetUp();
        events = &state;
        MEventMessage::addEventCallback("timeChanged", onTime);
        MEventMessage::addEventCallback("playbackRangeChanged", onRange);
    }
    void TearDown() override {
        HostTest::TearDown();
        events = nullptr;
    }
    static double tx(const char* name, const MDGContext& ctx = MDGContext::fsNormal) {
        return MPlug(node(name), MFnDependencyNode(node(name)).attribute("translateX")).asDouble(ctx);
    }
    Events state;
};

TEST_F(TimeAnimation, EventsRangeAndPlayback) {
    mel("currentTime 5; currentTime 5");
    EXPECT_EQ(state.seen, (std::vector<std::string>{"time 5.000000", "time 5.000000"}));
    state.seen.clear();
    mel("playbackOptions -min 2 -max 4; playbackOptions -min 2 -max 4");
    EXPECT_EQ(state.seen, (std::vector<std::string>{"range 2.000000 4.000000"}));
    EXPECT_EQ(melText("playbackOptions -q -max"), "4");
    state.seen.clear();
    EXPECT_FALSE(MConditionMessage::getConditionState("playingBack"));
    mel("play -w");
    EXPECT_EQ(state.seen, (std::vector<std::string>{"time 2.000000 playing", "time 3.000000 playing", "time 4.000000 playing"}));
    EXPECT_FALSE(MConditionMessage::getConditionState("playingBack"));
    mel("hostOption -busy 1");
    EXPECT_TRUE(MConditionMessage::getConditionState("busy"));
    MAnimControl::setPlaybackSpeed(0);
    EXPECT_EQ(MAnimControl::playbackSpeed(), 0.0);

    // Nested sets from handlers stop at the cap instead of recursing forever.
    state.seen.clear();
    state.nestedSets = 100;
    EXPECT_TRUE(MAnimControl::setCurrentTime(MTime(3.0)));
    EXPECT_EQ(state.seen.size(), 16u);
}

// A range that would end before it starts is refused with an error, and nothing
// changes: not the range, not the other range given with it, no range event.
TEST_F(TimeAnimation, InvertedRangesAreRefused) {
    mel("playbackOptions -min 1 -max 48 -ast 1 -aet 48");
    state.seen.clear();
    for (const char* given : {"playbackOptions -min 100 -max 10", "playbackOptions -min 60",
                              "playbackOptions -ast 60 -aet 50 -min 2", "playbackOptions -max 5 -aet 0"}) {
        rt().log.clear();
        EXPECT_FALSE(mel(given)) << given;
        EXPECT_TRUE(rt().log.contains(host::LogKind::Error, "would end before it starts")) << given;
    }
    EXPECT_TRUE(state.seen.empty());
    EXPECT_EQ(melText("playbackOptions -q -min") + " " + melText("playbackOptions -q -max") + " " +
                  melText("playbackOptions -q -ast") + " " + melText("playbackOptions -q -aet"),
              "1 48 1 48");
    EXPECT_TRUE(mel("playbackOptions -min 5 -max 5"));
}

TEST_F(TimeAnimation, WholeFramesStayExact) {
    const MTime one(1.0, MTime::uiUnit());
    MTime t(0.0, MTime::kFilm);
    for (int frame = 1; frame <= 1000; ++frame) {
        t += one;
        ASSERT_EQ(static_cast<int>(t.value()), frame);
        ASSERT_EQ(static_cast<int>(MTime(t.as(MTime::kSeconds), MTime::kSeconds).as(MTime::kFilm) + 1e-9), frame);
    }
}

TEST_F(TimeAnimation, KeysTimedReadsAndIsAnimated) {
    mel("makeMesh -cube -n box; setKeyframe -t 1 -v 0 -at translateX box; setKeyframe -t 11 -v 10 -at translateX box;"
        "setKeyframe -t 1 -v 0 -ott step -at translateY box; setKeyframe -t 11 -v 5 -at translateY box;"
        "currentTime 6");
    EXPECT_DOUBLE_EQ(tx("box"), 5.0);
    EXPECT_EQ(melText("getAttr box.translateY"), "0");  // stepped
    EXPECT_EQ(melText("currentTime 20; getAttr box.translateX"), "10");
    // Timed reads leave the normal value alone, before and after.
    mel("currentTime 6");
    EXPECT_DOUBLE_EQ(tx("box", MDGContext(MTime(2.0))), 1.0);
    EXPECT_DOUBLE_EQ(tx("box", MDGContext(MTime(9.0))), 8.0);
    EXPECT_DOUBLE_EQ(tx("box"), 5.0);

    // Upstream and through the node's own dependencies, never through DAG parents.
    mel("group -n g box");
    MDagPath shape;
    MDagPath::getAPathTo(node("boxShape"), shape);
    EXPECT_TRUE(MAnimUtil::isAnimated(MPlug(node("box"), MFnDependencyNode(node("box")).attribute("translateX"))));
    EXPECT_FALSE(MAnimUtil::isAnimated(MPlug(node("box"), MFnDependencyNode(node("box")).attribute("scaleX"))));
    EXPECT_TRUE(MAnimUtil::isAnimated(node("box")));
    EXPECT_FALSE(MAnimUtil::isAnimated(shape));
    EXPECT_FALSE(MAnimUtil::isAnimated(MPlug(node("boxShape"), MFnDependencyNode(node("boxShape")).attribute("worldMesh"))));
    EXPECT_TRUE(MAnimUtil::isAnimated(shape, true));
    EXPECT_FALSE(MAnimUtil::isAnimated(shape, false));
}

// A value written over a keyed channel holds until the time changes; the keys then
// drive the channel again (in batch mode too, where no view pulls the scene).
TEST_F(TimeAnimation, KeysWinOverAWrittenValueAtTheNextTime) {
    rt().options.batch = true;
    mel("makeMesh -cube -n box; setKeyframe -t 1 -v 0 -at translateX box; setKeyframe -t 11 -v 10 -at translateX box;"
        "currentTime 2; setAttr box.translateX 5");
    EXPECT_DOUBLE_EQ(tx("box"), 5.0);
    mel("currentTime 4");
    EXPECT_DOUBLE_EQ(tx("box"), 3.0);
}

TEST_F(TimeAnimation, AKeyReadsItsValueAtItsTimeInEveryUnit) {
    const MTime::Unit units[] = {MTime::kSeconds, MTime::kMilliseconds, MTime::kGames, MTime::kFilm, MTime::kPALFrame,
                                 MTime::kNTSCFrame, MTime::kShowScan, MTime::kPALField, MTime::kNTSCField};
    for (const MTime::Unit keyed : units)
        for (const MTime::Unit read : units)
            for (long k = 0; k < 400; ++k) {
                host::AnimKeysData keys;
                const double t = static_cast<double>(k);
                keys.setKey({MTime(t - 1 - static_cast<double>(k % 3), keyed), 0.1});
                keys.setKey({MTime(t, keyed), 0.7});
                keys.setKey({MTime(t + 5, keyed), -0.3});
                MTime at(t, keyed);
                at.setUnit(read);
                ASSERT_EQ(keys.evaluate(at), 0.7) << keyed << ' ' << read << ' ' << k;
                // A whole frame there too (the scene's unit changed after keying) reads it as well.
                const long scaled = k * std::lround(MTime::unitsPerSecond(read) * 1000);
                const long per = std::lround(MTime::unitsPerSecond(keyed) * 1000);
                if (scaled % per == 0) {
                    ASSERT_EQ(keys.evaluate(MTime(static_cast<double>(scaled / per), read)), 0.7) << k;
                }
            }
}

TEST_F(TimeAnimation, IsAnimatedAnswersPerChild) {
    mel("createNode transform -n mover; setKeyframe -t 1 -v 0 mover.translateX; setKeyframe -t 9 -v 4 mover.translateX;"
        "createNode transform -n follower; connectAttr mover.translate follower.translate");
    auto animated = [](const char* name, const char* attr) {
        return MAnimUtil::isAnimated(MPlug(node(name), MFnDependencyNode(node(name)).attribute(attr)));
    };
    EXPECT_TRUE(animated("mover", "translateX"));
    EXPECT_FALSE(animated("mover", "translateY"));
    EXPECT_FALSE(animated("mover", "translateZ"));
    EXPECT_TRUE(animated("mover", "translate"));  // one child keyed
    EXPECT_FALSE(animated("mover", "rotate"));
    // Fed as a whole by an animated compound: every child is.
    EXPECT_TRUE(animated("follower", "translateY"));
    EXPECT_TRUE(animated("follower", "translate"));
    EXPECT_FALSE(animated("follower", "rotateX"));
}

TEST_F(TimeAnimation, MotionPathMovesItsObjectAlongTheCurve) {
    mel("makeCurve -d 1 -pt 0 0 0 -pt 10 0 0 -n path; xform -t 0 5 0 path; makeMesh -cube -n rider;"
        "makeMotionPath -c path -st 1 -et 11 rider; currentTime 6");
    MFnTransform fn(node("rider"));
    EXPECT_TRUE(fn.getTranslation(MSpace::kTransform).isEquivalent(MVector(5, 5, 0), 1e-12));
    EXPECT_TRUE(MAnimUtil::isAnimated(node("rider")));
    // The curve is found upstream of the manipulator location.
    MPlug sml(node("rider"), MFnDependencyNode(node("rider")).attribute("specifiedManipLocation"));
    MPlugArray src;
    ASSERT_TRUE(sml.connectedTo(src, true, false));
    EXPECT_EQ(MFnDependencyNode(src[0].node()).typeName(), "motionPath");
    MPlug tx(node("rider"), MFnDependencyNode(node("rider")).attribute("translateX"));
    EXPECT_DOUBLE_EQ(tx.asDouble(MDGContext(MTime(11.0))), 10.0);
    EXPECT_DOUBLE_EQ(tx.asDouble(), 5.0);
}

TEST_F(TimeAnimation, TimedReadComputesModuleNodesAtThatTimeApartFromTheNormalValues) {
    loadToy();
    // b.output = 2 a.output = 4 a.input, with a.input keyed 2 (f - 1).
    mel("createNode toyNode -n a; createNode toyNode -n b; connectAttr a.output b.input;"
        "setKeyframe -t 1 -v 0 a.input; setKeyframe -t 11 -v 20 a.input; currentTime 5");
    EXPECT_EQ(melText("getAttr b.output"), "32");
    const MPlug out = plug("b", toy::ToyNode::output);
    EXPECT_DOUBLE_EQ(out.asDouble(MDGContext(MTime(8.0))), 56.0);
    EXPECT_DOUBLE_EQ(plug("a", toy::ToyNode::output).asDouble(MDGContext(MTime(2.0))), 4.0);
    // The normal values and their cache are as they were: clean, not computed again.
    for (const char* name : {"a", "b"}) {
        const host::Node* n = rt().scene.findByName(name);
        const host::Slot& slot = n->slots.at(host::SlotKey{toy::ToyNode::output.attribute().get(), -1});
        EXPECT_FALSE(slot.dirty) << name;
        EXPECT_DOUBLE_EQ(host::valueAsDouble(slot.value), name[0] == 'a' ? 16.0 : 32.0);
    }
    EXPECT_DOUBLE_EQ(out.asDouble(), 32.0);
}

}  // namespace
}  // namespace hosttest

namespace hosttest {
namespace {

using EndToEnd = HostTest;

TEST_F(EndToEnd, ModuleNodeFollowsAKeyframedCubeThroughWorldMesh) {
    loadToy();
    mel("makeMesh -cube -n box; group -n g box; setKeyframe -t 1 -v 0 -at translateX g; setKeyframe -t 5 -v 8 -at translateX g;"
        "createNode toyNode -n shape; connectAttr boxShape.worldMesh[0] shape.inShape");
    const MPlug centre(node("shape"), toy::ToyNode::shapeCenter);
    for (int frame = 1; frame <= 5; ++frame) {
        MAnimControl::setCurrentTime(MTime(frame));
        EXPECT_DOUBLE_EQ(centre.child(0).asDouble(), 2.0 * (frame - 1)) << frame;
    }
    // A transform moved by hand reaches it too.
    mel("setAttr box.translateY 3");
    EXPECT_DOUBLE_EQ(centre.child(1).asDouble(), 3.0);
}

}  // namespace
}  // namespace hosttest
