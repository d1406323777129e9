#pragma once

// A fresh host per test, with the module's core linked in and registered in-process.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <string>

#include "host/api/hostApi.h"
#include "host/core/runtime.h"
#include "host/mel/interpreter.h"
#include "src/moduleRegistry.h"

namespace zyltest {

class ModuleTest : public ::testing::Test {
protected:
    void SetUp() override {
        rt().reset();
        rt().log.setQuiet(true);
        rt().options.scriptPath = {HOST_UI_DIR};
    }
    void TearDown() override {
        rt().reset();
        rt().log.setQuiet(true);
    }

    static host::Runtime& rt() { return host::runtime(); }
    static constexpr const char* kModule = "zylMaya3x";

    static void loadModule(bool batch = false) {
        rt().options.batch = batch;
        ASSERT_TRUE(rt().loadStaticModule(initializeModule, uninitializeModule, kModule));
    }
    static const host::Module* module() { return rt().modules.find(kModule); }
    // Callbacks installed while the module loaded.
    static std::size_t moduleCallbacks() {
        const host::Module* m = module();
        if (!m) return 0;
        return static_cast<std::size_t>(std::ranges::count_if(
            rt().messages.entries(), [&](const host::CallbackEntry& e) { return e.module == m->id; }));
    }
    // Runs MEL as a script statement would.
    static MStatus mel(const std::string& text, host::Result* result = nullptr) {
        return rt().mel().run(text, true, result);
    }
    static std::size_t count(host::LogKind kind) { return rt().log.count(kind); }
    static MObject nodeNamed(const std::string& name) {
        MSelectionList list;
        MObject obj;
        if (list.add(MString(name.c_str())) && list.length() == 1) list.getDependNode(0, obj);
        return obj;
    }
    // A collision shape `<mesh>Collision` fed by the mesh and typed `type`, and a body
    // `<mesh>Body` under the mesh's transform, wired as the body command wires them.
    static MObject wireBody(const std::string& mesh, int type = 2) {
        const std::string shape = mesh + "Collision", body = mesh + "Body";
        EXPECT_TRUE(mel("createNode zylCollisionShape -n " + shape + "; createNode zylRigidBody -n " + body + " -p " +
                        mesh + "; connectAttr " + mesh + "Shape.worldMesh[0] " + shape + ".inShape; setAttr " + shape +
                        ".type " + std::to_string(type) + "; connectAttr " + shape + ".outCollisionType " + body +
                        ".inCollisionType; connectAttr " + shape + ".ac " + body + ".anim"));
        return nodeNamed(body);
    }
};

}  // namespace zyltest
