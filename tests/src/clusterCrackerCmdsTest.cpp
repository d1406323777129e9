#include <string>
#include <vector>

#include "engine/bodies/capsuleBody.h"
#include "engine/world/bodyList.h"
#include "engine/world/engineApi.h"
#include "engine/world/privateWorld.h"
#include "host/api/animControl.h"
#include "moduleTestSupport.h"
#include "src/crackerNode.h"
#include "src/nodeHelpers.h"

namespace zyltest {
namespace {

class CrackerCmd : public ModuleTest {
protected:
    void SetUp() override {
        ModuleTest::SetUp();
        loadModule(true);
    }
    static void run(const std::string& text) { ASSERT_TRUE(mel(text)) << text << "\n" << rt().log.text(); }
    static std::string answer(const std::string& text) {
        host::Result r;
        EXPECT_TRUE(mel(text, &r)) << text << "\n" << rt().log.text();
        return host::resultText(r);
    }
    static std::vector<std::string> nodes(const std::string& type) {
        host::Result r;
        mel("ls -typ " + type, &r);
        return host::resultWords(r);
    }
    static std::string source(const std::string& name) {
        MSelectionList list;
        MPlug p;
        if (list.add(MString(name.c_str()))) list.getPlug(0, p);
        const MPlug from = p.source();
        return from.isNull() ? "" : from.name().asChar();
    }
    static zylCrackerNode* cracker(const std::string& name) {
        MSelectionList list;
        MObject node;
        if (list.add(MString(name.c_str()))) list.getDependNode(0, node);
        return userNodeAs<zylCrackerNode>(node, zylCrackerNode::id);
    }
    static std::uint32_t crackersInWorld() { return static_cast<PrivateWorld*>(engineWorld())->aCrackers.count; }
};

TEST_F(CrackerCmd, MakesAWiredCrackerPerSelectedMesh) {
    run("zylSolver; makeMesh -sphere -n striker; makeMesh -cube -n pCylinder1; select -r striker pCylinder1");
    // -diameter and -new change nothing.
    EXPECT_EQ(answer("zylCracker -dia 2.5 -new"), "ZylpCylinder1");
    EXPECT_EQ(nodes("zylCracker"), (std::vector<std::string>{"Zylstriker", "ZylpCylinder1"}));
    EXPECT_EQ(source("Zylstriker.solver"), "zylSolverNode1.crackers");
    EXPECT_EQ(source("Zylstriker.inCollisionType"), "ZylstrikerShape.outCollisionType");
    EXPECT_EQ(source("ZylstrikerShape.inShape"), "strikerShape.worldMesh[0]");
    EXPECT_EQ(answer("getAttr ZylstrikerShape.type"), "6");
    zylCrackerNode* c = cracker("Zylstriker");
    ASSERT_TRUE(c && c->getBody());
    EXPECT_TRUE(c->isActive());
    EXPECT_EQ(crackersInWorld(), 2u);
    EXPECT_EQ(answer("getAttr Zylstriker.usercommand"), "0");
    EXPECT_EQ(count(host::LogKind::Error) + count(host::LogKind::Warning), 0u);
}

TEST_F(CrackerCmd, RefusesWithoutSolverAndPassesOverWhatIsNoMesh) {
    run("makeMesh -cube -n crate");
    EXPECT_FALSE(mel("zylCracker crate"));
    EXPECT_TRUE(rt().log.contains(host::LogKind::Error, "no zyl solver found"));

    // Surfaces silently, then the failure.
    run("zylSolver; createNode transform -n sheet; createNode nurbsSurface -p sheet");
    rt().log.clear();
    EXPECT_FALSE(mel("zylCracker sheet"));
    ASSERT_EQ(count(host::LogKind::Info), 1u);
    EXPECT_TRUE(rt().log.contains(host::LogKind::Info, " error creating cracker"));

    // An instance is refused by name, yet the command succeeds with nothing made.
    run("instance -n crateCopy crate");
    EXPECT_TRUE(mel("zylCracker crateCopy"));
    EXPECT_TRUE(rt().log.contains(host::LogKind::Error, "Object crateShape is an instance, convert it to object"));
    EXPECT_TRUE(nodes("zylCracker").empty());

    // An animated selection is taken at the start of the play range.
    run("makeMesh -sphere -n ball; setKeyframe -t 1 -at translateX -v 0 ball; setKeyframe -t 10 -at translateX -v 9 "
        "ball; currentTime 5");
    run("zylCracker ball");
    EXPECT_TRUE(rt().log.contains(host::LogKind::Warning, " time set to start frame becouse animated object selected"));
    EXPECT_EQ(MAnimControl::currentTime(), MAnimControl::minTime());
    EXPECT_NEAR(cracker("Zylball")->getBody()->getDyn().position.x, 0.0, 1e-6);
}

TEST_F(CrackerCmd, UndoTakesCrackersBackAndRedoMakesThemAgain) {
    run("zylSolver; makeMesh -sphere -n striker; makeMesh -cube -n box; select -r box");
    run("zylCracker striker");
    ASSERT_EQ(crackersInWorld(), 1u);
    run("select -cl; undo");
    EXPECT_TRUE(nodes("zylCracker").empty());
    EXPECT_TRUE(nodes("zylCollisionShape").empty());
    EXPECT_EQ(crackersInWorld(), 0u);
    host::Result selected;
    mel("ls -sl", &selected);
    EXPECT_EQ(host::resultWords(selected), std::vector<std::string>{"striker"});
    run("redo");
    EXPECT_EQ(nodes("zylCracker"), std::vector<std::string>{"Zylstriker"});
    ASSERT_TRUE(cracker("Zylstriker")->getBody());
    EXPECT_EQ(crackersInWorld(), 1u);
    run("undo; redo; undo");
    EXPECT_EQ(crackersInWorld(), 0u);
}

}  // namespace
}  // namespace zyltest
