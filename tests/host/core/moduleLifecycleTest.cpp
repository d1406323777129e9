#include <dlfcn.h>

#include "hostTestSupport.h"

namespace hosttest {
namespace {

using toy::Stats;

// A second module that asks for names the toy module already has.
MStatus dupInitialize(MObject obj) {
    MFnPlugin plugin(obj, "Dup", "1.0", "Any");
    plugin.registerNode("toyNode", MTypeId(0x7101), toy::ToyLocator::creator, toy::ToyLocator::initialize);
    plugin.registerNode("dupNode", toy::ToyNode::id, toy::ToyLocator::creator, toy::ToyLocator::initialize);
    plugin.registerNode("dupFresh", MTypeId(0x7102), toy::ToyLocator::creator, toy::ToyLocator::initialize);
    plugin.registerCommand("toyCmd", toy::ToyCommand::creator, toy::ToyCommand::newSyntax);
    return plugin.registerCommand("dupCmd", toy::ToyCommand::creator, toy::ToyCommand::newSyntax);
}
MStatus dupUninitialize(MObject) { return MS::kSuccess; }

class ModuleLifecycle : public HostTest {
protected:
    static bool registered() {
        return rt().registry.findType("toyNode") || rt().registry.findType("toyLocator") ||
               rt().registry.findCommand("toyCmd");
    }
};

TEST_F(ModuleLifecycle, InteractiveLoadAndCleanUnload) {
    loadToy(false);
    EXPECT_EQ(Stats::mainWindowExists, 1);
    EXPECT_FALSE(rt().log.contains(host::LogKind::Print, "batch bake"));
    EXPECT_TRUE(registered());
    EXPECT_EQ(rt().registry.findType("toyLocator")->apiType, MFn::kPluginLocatorNode);
    EXPECT_EQ(rt().registry.findType("toyLocator")->classification, "drawdb/geometry/toyLocator");
    EXPECT_EQ(rt().messages.entries().size(), 5u);
    const host::Module* m = rt().modules.find("toyModule");
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->vendor, "Toy");
    EXPECT_TRUE(rt().modules.unload("toyModule"));
    EXPECT_FALSE(registered());
    EXPECT_TRUE(rt().messages.entries().empty());
    EXPECT_EQ(count(host::LogKind::Error) + count(host::LogKind::Warning), 0u);
}

TEST_F(ModuleLifecycle, BatchLoadPrintsTheBanner) {
    loadToy(true);
    EXPECT_EQ(Stats::mainWindowExists, 0);
    EXPECT_TRUE(rt().log.contains(host::LogKind::Print, "Toy batch bake utility"));
    EXPECT_TRUE(rt().log.contains(host::LogKind::Echo, "print"));
}

TEST_F(ModuleLifecycle, FailedRegistrationsDoNotStopTheLoad) {
    loadToy();
    EXPECT_TRUE(rt().loadStaticModule(dupInitialize, dupUninitialize, "dup"));
    EXPECT_NE(rt().registry.findType("dupFresh"), nullptr);
    EXPECT_EQ(rt().registry.findType("dupNode"), nullptr);
    EXPECT_EQ(rt().registry.findType(toy::ToyNode::id)->name, "toyNode");
    EXPECT_EQ(count(host::LogKind::Error), 3u);
    EXPECT_TRUE(rt().modules.unload("dup"));  // takes what it registered, not the toy's
    EXPECT_EQ(rt().registry.findType("dupFresh"), nullptr);
    EXPECT_NE(rt().registry.findCommand("toyCmd"), nullptr);
}

TEST_F(ModuleLifecycle, MissingUiScriptIsReportedAndLoadGoesOn) {
    rt().options.scriptPath.clear();
    loadToy();
    EXPECT_TRUE(rt().log.contains(host::LogKind::Error, "zylProUI_35.mel"));
    EXPECT_TRUE(registered());
}

TEST_F(ModuleLifecycle, UnloadDeletesLiveNodesAndLeftovers) {
    loadToy();
    mel("createNode toyNode; createNode toyNode; createNode toyLocator; toyCmd");
    Stats::leaveCallback = true;
    const int removed = Stats::nodeRemovedCalls;
    EXPECT_TRUE(rt().modules.unload("toyModule"));
    EXPECT_EQ(Stats::destroyed, Stats::constructed);
    EXPECT_EQ(Stats::nodeRemovedCalls - removed, 3);  // its callbacks ran while it was loaded
    EXPECT_EQ(Stats::commandsAlive, 0);
    EXPECT_TRUE(rt().messages.entries().empty());
    EXPECT_TRUE(rt().log.contains(host::LogKind::Warning, "callback left installed"));
    // The locator's transform is the host's own: it stays.
    EXPECT_EQ(melText("ls"), "time1\nviewCamera\nviewCameraShape\nlambert1\ninitialShadingGroup\ntoyLocator1\n");
}

TEST_F(ModuleLifecycle, ExitSequence) {
    loadToy();
    mel("createNode toyNode; toyCmd");
    rt().shutdown();
    EXPECT_EQ(Stats::exitingCalls, 1);
    EXPECT_EQ(Stats::destroyed, Stats::constructed);
    EXPECT_TRUE(rt().modules.loaded().empty());
    EXPECT_EQ(rt().gridColor, 3);
}

TEST_F(ModuleLifecycle, DlopenReloadStartsWithFreshStatics) {
    auto constructed = [] {
        void* h = dlopen(TOY_MODULE_PATH, RTLD_NOW | RTLD_NOLOAD);
        if (!h) return -1;
        auto fn = reinterpret_cast<int (*)()>(dlsym(h, "toyConstructedCount"));
        const int n = fn ? fn() : -2;
        dlclose(h);
        return n;
    };
    ASSERT_TRUE(mel(std::string("loadPlugin \"") + TOY_MODULE_PATH + "\""));
    EXPECT_TRUE(mel("createNode toyNode -n a; toyCmd -s b"));
    EXPECT_EQ(constructed(), 2);
    EXPECT_TRUE(mel("unloadPlugin toyModule"));
    EXPECT_EQ(constructed(), -1);  // unmapped
    EXPECT_EQ(melText("ls"), "time1\nviewCamera\nviewCameraShape\nlambert1\ninitialShadingGroup\n");
    ASSERT_TRUE(mel(std::string("loadPlugin \"") + TOY_MODULE_PATH + "\""));
    EXPECT_EQ(constructed(), 0);
    EXPECT_EQ(count(host::LogKind::Error), 0u);
}

}  // namespace
}  // namespace hosttest
