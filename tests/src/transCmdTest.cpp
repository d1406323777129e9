// zylTrans: curves parked on a body's or fracture body's key attributes and put back,
// the start state a body takes when it turns dynamic, members switched with their
// group, and the names and modes that do nothing.

#include <array>
#include <string>

#include "solverTestSupport.h"
#include "src/fractureBodyNode.h"

namespace zyltest {
namespace {

using Wiring = std::array<std::string, 12>;

class ZylTrans : public SolverTest {
protected:
    bool batch() const override { return true; }

    // The node feeding the plug, or "" when nothing does.
    static std::string source(const std::string& plugName) {
        MSelectionList list;
        MPlug plug;
        if (!list.add(MString(plugName.c_str())) || !list.getPlug(0, plug)) return "?";
        MPlugArray from;
        plug.connectedTo(from, true, false);
        return from.length() ? MFnDependencyNode(from[0].node()).name().str() : "";
    }
    // The sources of the six transform channels, then of the six key attributes.
    static Wiring wiring(const std::string& transform, const std::string& keys) {
        static const std::array<const char*, 6> channels = {"tx", "ty", "tz", "rx", "ry", "rz"};
        static const std::array<const char*, 6> keyAttrs = {"keysTX", "keysTY", "keysTZ",
                                                            "keysRX", "keysRY", "keysRZ"};
        Wiring out;
        for (int i = 0; i < 6; ++i) {
            out[i] = source(transform + "." + channels[i]);
            out[i + 6] = source(keys + "." + keyAttrs[i]);
        }
        return out;
    }
};

TEST_F(ZylTrans, BodyCurvesMoveToTheKeyAttributesAndBackChannelByChannel) {
    run("makeMesh -cube -n box; setKeyframe -t 1 -v 0 box.tx; setKeyframe -t 10 -v 5 box.tx; "
        "setKeyframe -t 1 -v 0 box.ry; setKeyframe -t 10 -v 1 box.ry");
    wire("box", 2, false);
    const std::string tx = source("box.tx"), ry = source("box.ry");
    ASSERT_FALSE(tx.empty());
    ASSERT_FALSE(ry.empty());
    Wiring onTransform{}, onKeys{};
    onTransform[0] = onKeys[6] = tx;
    onTransform[4] = onKeys[10] = ry;
    EXPECT_EQ(wiring("box", "boxBody"), onTransform);

    run("zylTrans -node boxBody -dynamics -frame 3");
    EXPECT_EQ(wiring("box", "boxBody"), onKeys);
    EXPECT_FALSE(MPlug(node("boxBody"), rigidBodyNode::hasZylKeys).asBool());  // left to the caller
    run("zylTrans -node boxBody -animation");
    EXPECT_EQ(wiring("box", "boxBody"), onTransform);

    // Keyed again while the curves were parked: the new key stays, the parked curve goes.
    run("zylTrans -node boxBody -dynamics; setKeyframe -t 1 -v 2 box.tx");
    const std::string again = source("box.tx");
    ASSERT_FALSE(again.empty());
    ASSERT_NE(again, tx);
    run("zylTrans -node boxBody -animation");
    onTransform[0] = again;
    EXPECT_EQ(wiring("box", "boxBody"), onTransform);
}

// With a solver the body starts at its transform's pose; each initial velocity counts
// only above a squared length of 1e-5. A body never built is switched all the same.
TEST_F(ZylTrans, DynamicsPlacesTheBodyAndSetsOnlyVelocitiesAboveTheThreshold) {
    makeSolver();
    rigidBodyNode* rb = box("box", 3);
    HardBody* body = rb->getBody(true);
    ASSERT_TRUE(body);
    const Qmt::QmtVector3 placed = body->getDyn().position;
    run("setAttr boxBody.initialVelocity 0 0 0.001; setAttr boxBody.initialSpin 0 2 0");
    const Qmt::QmtVector3 marker(7, 0, 0);
    body->setLinearVelocity(marker);
    body->setPosition(Qmt::QmtVector3(100, 100, 100));
    run("zylTrans -node boxBody -dynamics");
    EXPECT_NEAR((body->getDyn().position - placed).Length(), 0.0, 1e-6);
    EXPECT_EQ(body->getDyn().v, marker);
    EXPECT_EQ(body->getDyn().w, Qmt::QmtVector3(0, 2, 0));

    run("makeMesh -cube -n ghost; setKeyframe -t 1 -v 0 ghost.tx; createNode zylRigidBody -n ghostBody -p ghost");
    ASSERT_FALSE(userNodeAs<rigidBodyNode>(node("ghostBody"), rigidBodyNode::id)->getBody(true));
    run("zylTrans -node ghostBody -dynamics");
    EXPECT_FALSE(source("ghostBody.keysTX").empty());
}

// A fracture body's curves live on its group, two levels above the members; the
// members, kept locked, switch between dynamic and passive and are locked again.
TEST_F(ZylTrans, FractureBodyMovesItsGroupCurvesAndSwitchesLockedMembers) {
    makeSolver();
    std::array<rigidBodyNode*, 2> members = {box("m0", 3), box("m1", 5)};
    run("group -n grp m0 m1; setKeyframe -t 1 -v 0 grp.ty; setKeyframe -t 10 -v 4 grp.ty; createNode fBodyNode -n fb; "
        "connectAttr fb.rigidBodies m0Body.fracture; connectAttr fb.rigidBodies m1Body.fracture");
    for (rigidBodyNode* rb : members) {
        rb->lockAttributes(true);
        run("lockNode -l 1 " + MFnDependencyNode(rb->thisMObject()).name().str());
    }
    const std::string ty = source("grp.ty");
    ASSERT_FALSE(ty.empty());
    Wiring onGroup{}, onKeys{};
    onGroup[1] = onKeys[7] = ty;
    const auto expectMembers = [&](int passive) {
        for (rigidBodyNode* rb : members) {
            const MPlug state(rb->thisMObject(), rigidBodyNode::passive);
            EXPECT_EQ(state.asInt(), passive);
            EXPECT_TRUE(state.isLocked());
            EXPECT_TRUE(MFnDependencyNode(rb->thisMObject()).isLocked());
            EXPECT_EQ(rb->getBody(false)->isStatic(), passive != 0);
        }
    };

    run("zylTrans -fnode fb -dynamics");
    EXPECT_EQ(wiring("grp", "fb"), onKeys);
    expectMembers(0);
    // Both names: only the body is handled, so the fracture body stays as it is.
    run("zylTrans -node m0Body -fnode fb -animation");
    EXPECT_EQ(wiring("grp", "fb"), onKeys);
    expectMembers(0);
    run("zylTrans -fnode fb -animation");
    EXPECT_EQ(wiring("grp", "fb"), onGroup);
    expectMembers(1);

    for (rigidBodyNode* rb : members) run("lockNode -l 0 " + MFnDependencyNode(rb->thisMObject()).name().str());
    run("delete fb");
}

TEST_F(ZylTrans, OnlyAMissingNameFails) {
    run("makeMesh -cube -n box; setKeyframe -t 1 -v 0 box.tx");
    wire("box", 2, false);
    const Wiring before = wiring("box", "boxBody");
    EXPECT_FALSE(mel("zylTrans -dynamics"));
    EXPECT_FALSE(mel("zylTrans -node \"\" -fnode \"\" -animation"));
    // No message of its own: only the host's report of a failed command.
    const std::string hostReport = "zylTrans: " + MStatus(MS::kFailure).errorString().str();
    EXPECT_EQ(rt().log.count(host::LogKind::Error), 2u);
    for (const host::LogRecord& r : rt().log.records()) {
        if (r.kind == host::LogKind::Error) {
            EXPECT_EQ(r.text, hostReport);
        }
    }
    for (const char* call : {"zylTrans -node boxBody", "zylTrans -node nothing -dynamics",
                             "zylTrans -fnode nothing -dynamics", "zylTrans -fnode boxBody -dynamics"}) {
        EXPECT_TRUE(mel(call)) << call;
        EXPECT_EQ(wiring("box", "boxBody"), before) << call;
    }
}

}  // namespace
}  // namespace zyltest
