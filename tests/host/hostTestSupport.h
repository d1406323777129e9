#pragma once

// A fresh host per test, with the toy module linked in.

#include <gtest/gtest.h>

#include <string>

#include "host/api/hostApi.h"
#include "host/core/runtime.h"
#include "host/mel/interpreter.h"
#include "toyModule.h"

namespace hosttest {

class HostTest : public ::testing::Test {
protected:
    void SetUp() override {
        rt().reset();
        rt().log.setQuiet(true);
        rt().options.scriptPath = {HOST_UI_DIR};
        toy::Stats::reset();
    }
    void TearDown() override {
        rt().reset();
        rt().log.setQuiet(true);
    }

    static host::Runtime& rt() { return host::runtime(); }

    void loadToy(bool batch = false) {
        rt().options.batch = batch;
        ASSERT_TRUE(rt().loadStaticModule(initializePlugin, uninitializePlugin, "toyModule"));
    }
    // Runs MEL as a script statement would (undoable commands are queued).
    static MStatus mel(const std::string& text, host::Result* result = nullptr) {
        return rt().mel().run(text, true, result);
    }
    static std::string melText(const std::string& text) {
        host::Result r;
        EXPECT_TRUE(mel(text, &r)) << text;
        return host::resultText(r);
    }
    static MObject node(const std::string& name) {
        MSelectionList list;
        MObject obj;
        if (list.add(MString(name.c_str())) && list.length() == 1) list.getDependNode(0, obj);
        return obj;
    }
    static MPlug plug(const std::string& nodeName, const MObject& attr) { return MPlug(node(nodeName), attr); }
    static std::size_t count(host::LogKind kind) { return rt().log.count(kind); }
};

}  // namespace hosttest
