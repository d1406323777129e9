#include <algorithm>
#include <string>
#include <vector>

#include "host/view/interaction.h"
#include "moduleTestSupport.h"

namespace zyltest {
namespace {

using Strings = std::vector<std::string>;

class ModuleRegistry : public ModuleTest {
protected:
    // The installed callbacks, in installation order, as "kind what".
    static Strings callbacks() {
        Strings out;
        for (const auto& e : rt().messages.entries()) {
            switch (e.kind) {
                case host::CallbackKind::Scene: out.push_back("scene " + std::to_string(e.code)); break;
                case host::CallbackKind::Event: out.push_back("event " + e.name); break;
                case host::CallbackKind::NodeAdded: out.push_back("added " + e.name); break;
                case host::CallbackKind::NodeRemoved: out.push_back("removed " + e.name); break;
            }
            EXPECT_EQ(e.clientData, nullptr);
        }
        return out;
    }
    static std::size_t banners() {
        std::size_t n = 0;
        for (const auto& r : rt().log.records())
            n += r.kind == host::LogKind::Print && r.text.find("ZYL batch bake utility") != std::string::npos;
        return n;
    }
};

TEST_F(ModuleRegistry, InteractiveLoadUnloadAndReload) {
    loadModule();
    EXPECT_EQ(mainWindowExists(), 1);
    EXPECT_EQ(module()->vendor, "Kavrentis");
    EXPECT_EQ(module()->version, "3.5");
    EXPECT_EQ(rt().commandTrace, (Strings{"source zylProUI_35.mel", "window -ex MayaWindow", "zylUI_initialize",
                                          "dynPref -autoCreate off"}));
    EXPECT_EQ(rt().mel().recorded(), (Strings{"zylUI_initialize", "dynPref -autoCreate off"}));
    EXPECT_EQ(banners(), 0u);
    EXPECT_EQ(moduleCallbacks(), 16u);
    EXPECT_EQ(callbacks(), (Strings{"removed zylCollisionShape", "event timeChanged", "removed fBodyNode",
                                    "removed zylRigidBody", "removed zylCracker", "event playbackRangeChanged",
                                    "scene 11", "scene 9", "scene 6", "scene 4", "scene 23", "scene 24",
                                    "added dependNode", "scene 29", "scene 1", "scene 5"}));

    EXPECT_EQ(rt().modules.unload(kModule), MS::kSuccess);
    EXPECT_EQ(rt().mel().recorded().back(), "deleteAllBodiesFromZylWorldWithoutConfirm");
    EXPECT_TRUE(rt().messages.entries().empty());
    EXPECT_EQ(count(host::LogKind::Error) + count(host::LogKind::Warning), 0u);  // nothing left for the host to remove

    loadModule();
    EXPECT_EQ(moduleCallbacks(), 16u);
    EXPECT_EQ(rt().modules.unload(kModule), MS::kSuccess);
    EXPECT_TRUE(rt().messages.entries().empty());
    EXPECT_EQ(count(host::LogKind::Error) + count(host::LogKind::Warning), 0u);
}

TEST_F(ModuleRegistry, BatchLoadPrintsTheBannerOnceWithEcho) {
    loadModule(true);
    EXPECT_EQ(mainWindowExists(), 0);
    EXPECT_EQ(banners(), 1u);
    EXPECT_TRUE(rt().log.contains(host::LogKind::Echo, "print \"ZYL batch bake utility"));
    EXPECT_EQ(rt().commandTrace[3].rfind("print ", 0), 0u);  // after zylUI_initialize, before dynPref
    EXPECT_EQ(rt().commandTrace[4], "dynPref -autoCreate off");
    EXPECT_EQ(moduleCallbacks(), 16u);
    EXPECT_EQ(count(host::LogKind::Error) + count(host::LogKind::Warning), 0u);
}

TEST_F(ModuleRegistry, UnloadWithANullObjectFailsBeforeAnyStep) {
    loadModule();
    const Strings recorded = rt().mel().recorded();
    const Strings trace = rt().commandTrace;
    EXPECT_EQ(uninitializeModule(MObject()), MS::kFailure);
    EXPECT_EQ(rt().mel().recorded(), recorded);
    EXPECT_EQ(rt().commandTrace, trace);
    EXPECT_EQ(moduleCallbacks(), 16u);
}

TEST_F(ModuleRegistry, LoadsWithoutTheUserInterfaceScript) {
    rt().options.scriptPath.clear();
    loadModule();
    EXPECT_TRUE(rt().log.contains(host::LogKind::Error, "zylProUI_35.mel"));  // the host's own report
    EXPECT_EQ(moduleCallbacks(), 16u);
    EXPECT_EQ(rt().mel().recorded(), Strings{"dynPref -autoCreate off"});
    EXPECT_EQ(rt().modules.unload(kModule), MS::kSuccess);
    EXPECT_TRUE(rt().messages.entries().empty());
}

}  // namespace
}  // namespace zyltest

namespace zyltest {
namespace {

// Every node type with its id, kind and draw classification, every command and the
// selection context are known while the module is loaded, and none of them after.
TEST_F(ModuleRegistry, RegistersEveryTypeCommandAndTheContextThenNothing) {
    struct Type {
        const char* name;
        unsigned id;
        int kind;
        const char* classification;
    };
    const Type types[] = {
        {"zylSolverNode", 0x113A60, MPxNode::kDependNode, ""},
        {"zylRigidBody", 0x113A70, MPxNode::kLocatorNode, "drawdb/geometry/rigidBodyNode"},
        {"zylCollisionShape", 0x113A50, MPxNode::kDependNode, ""},
        {"fBodyNode", 0x113A80, MPxNode::kDependNode, ""},
        {"stressNode", 0x113A82, MPxNode::kDependNode, ""},
        {"ClusterZylNode", 0x113A81, MPxNode::kDependNode, ""},
        {"zylCracker", 0x113A71, MPxNode::kLocatorNode, ""},
        {"voronoiNode", 0x113A84, MPxNode::kLocatorNode, "drawdb/geometry/voronoiPoints"},
        {"ShatterLocator", 0x113A86, MPxNode::kLocatorNode, "drawdb/geometry/ShatterLocator"},
        {"ShatterLocatorManip", 0x113A88, MPxNode::kManipContainer, ""},
        {"zylMeshOpNode", 0x113A83, MPxNode::kDependNode, ""},
    };
    const Strings commands = {"Detach_FBody",      "ManageZylListCmd",     "dComputeRotDist", "deleteUserNode",
                              "deleteZylFBody",    "fBody_selStresses",    "new_ZYLBody",     "queryZylBody",
                              "queryZylFBody",     "selectZylContext",     "update_dFBody",   "zylCluster",
                              "zylConnectForceFields", "zylCracker",       "zylFractureBody", "zylJagginess",
                              "zylShatter",        "zylShatterPreview",    "zylSolver",       "zylTrans"};
    loadModule();
    Strings moduleTypes;
    for (const auto& t : rt().registry.types())
        if (t->module == module()->id) moduleTypes.push_back(t->name);
    ASSERT_EQ(moduleTypes.size(), std::size(types));
    for (std::size_t i = 0; i < std::size(types); ++i) {
        const host::NodeType* t = rt().registry.findType(types[i].name);
        ASSERT_TRUE(t) << types[i].name;
        EXPECT_EQ(moduleTypes[i], types[i].name);  // registered in this order
        EXPECT_EQ(t->id.id(), types[i].id) << types[i].name;
        EXPECT_EQ(t->pxType, types[i].kind) << types[i].name;
        EXPECT_EQ(t->classification, types[i].classification) << types[i].name;
    }
    Strings names = rt().registry.commandNames(module()->id);
    std::ranges::sort(names);
    EXPECT_EQ(names, commands);
    EXPECT_TRUE(rt().interaction().isContextCommand("selectZylContext"));

    const std::uint64_t id = module()->id;
    EXPECT_EQ(rt().modules.unload(kModule), MS::kSuccess);
    for (const Type& t : types) EXPECT_FALSE(rt().registry.findType(t.name)) << t.name;
    EXPECT_TRUE(rt().registry.commandNames(id).empty());
    EXPECT_FALSE(rt().interaction().isContextCommand("selectZylContext"));
    EXPECT_TRUE(rt().messages.entries().empty());
}

}  // namespace
}  // namespace zyltest
