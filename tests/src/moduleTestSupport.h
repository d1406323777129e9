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
};

}  // namespace zyltest
