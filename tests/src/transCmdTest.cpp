// zylTrans: curves parked on a body's key attributes and put back, the names and modes
// that do nothing, and the start state a body takes when it turns dynamic.

#include <array>
#include <string>

#include "host/core/result.h"
#include "moduleTestSupport.h"
#include "src/rigidBodyNode.h"

namespace zyltest {
namespace {

class ZylTrans : public ModuleTest {
protected:
    void SetUp() override {
        ModuleTest::SetUp();
        loadModule(true);
    }
    static void run(const std::string& text) { ASSERT_TRUE(mel(text)) << text << "\n" << rt().log.text(); }
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
    static std::array<std::string, 12> wiring(const std::string& transform, const std::string& keys) {
        static const std::array<const char*, 6> channels = {"tx", "ty", "tz", "rx", "ry", "rz"};
        static const std::array<const char*, 6> keyAttrs = {"keysTX", "keysTY", "keysTZ", "keysRX", "keysRY", "keysRZ"};
        std::array<std::string, 12> out;
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
    wireBody("box");
    const std::string tx = source("box.tx"), ry = source("box.ry");
    ASSERT_FALSE(tx.empty());
    ASSERT_FALSE(ry.empty());
    const std::array<std::string, 12> keyed = {"", "", "", "", "", ""};
    std::array<std::string, 12> onTransform{}, onKeys{};
    onTransform[0] = onKeys[6] = tx;
    onTransform[4] = onKeys[10] = ry;
    EXPECT_EQ(wiring("box", "boxBody"), onTransform);

    run("zylTrans -node boxBody -dynamics -frame 3");
    EXPECT_EQ(wiring("box", "boxBody"), onKeys);
    EXPECT_EQ(MPlug(nodeNamed("boxBody"), rigidBodyNode::hasZylKeys).asBool(), false);  // left to the caller
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
    EXPECT_EQ(count(host::LogKind::Error), 0u);
}

TEST_F(ZylTrans, OnlyAMissingNameFails) {
    run("makeMesh -cube -n box; setKeyframe -t 1 -v 0 box.tx");
    wireBody("box");
    const std::array<std::string, 12> before = wiring("box", "boxBody");
    EXPECT_FALSE(mel("zylTrans -dynamics"));
    EXPECT_FALSE(mel("zylTrans -node \"\" -fnode \"\" -animation"));
    // No message of its own: only the host's report of a failed command.
    const std::string hostReport = "zylTrans: " + MStatus(MS::kFailure).errorString().str();
    EXPECT_EQ(count(host::LogKind::Error), 2u);
    for (const host::LogRecord& r : rt().log.records())
        if (r.kind == host::LogKind::Error) {
            EXPECT_EQ(r.text, hostReport);
        }
    for (const char* call : {"zylTrans -node boxBody", "zylTrans -node nothing -dynamics",
                             "zylTrans -fnode nothing -dynamics", "zylTrans -fnode boxBody -dynamics"}) {
        EXPECT_TRUE(mel(call)) << call;
        EXPECT_EQ(wiring("box", "boxBody"), before) << call;
    }
}

}  // namespace
}  // namespace zyltest
