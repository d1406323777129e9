#pragma once

// A fresh host per test, with the module's core linked in and registered in-process.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <string>
#include <vector>

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
    static void run(const std::string& text) { ASSERT_TRUE(mel(text)) << text << "\n" << rt().log.text(); }
    // The words of a statement's result; a failed statement fails the test.
    static std::vector<std::string> words(const std::string& text) {
        host::Result r;
        EXPECT_TRUE(mel(text, &r)) << text << "\n" << rt().log.text();
        return host::resultWords(r);
    }
    static std::string attr(const std::string& plug) {
        const std::vector<std::string> w = words("getAttr " + plug);
        return w.empty() ? "" : w.front();
    }
    // A node by name, and the module's object of it when it is a T.
    static MObject nodeNamed(const std::string& name) {
        MSelectionList list;
        MObject obj;
        if (list.add(MString(name.c_str())) && list.length() == 1) list.getDependNode(0, obj);
        return obj;
    }
    template <class T>
    static T* userNamed(const std::string& name) {
        const MObject obj = nodeNamed(name);
        return obj.isNull() ? nullptr : dynamic_cast<T*>(MFnDependencyNode(obj).userNode());
    }
    // Whether the module ran (or queued) exactly this MEL.
    static bool traced(const std::string& text) { return std::ranges::count(rt().commandTrace, text) > 0; }
    // Whether the statement fails with this error.
    static bool failsWith(const std::string& text, const std::string& error) {
        return !mel(text) && rt().log.contains(host::LogKind::Error, error);
    }
};

}  // namespace zyltest
