#include "hostTestSupport.h"

namespace hosttest {
namespace {

using toy::Stats;
using toy::ToyNode;

class Commands : public HostTest {
protected:
    void SetUp() override {
        HostTest::SetUp();
        loadToy();
    }
    static std::string nodes() { return melText("ls -type toyNode"); }
};

TEST_F(Commands, UndoAndRedo) {
    EXPECT_EQ(melText("toyCmd -s first -d 2.5"), "first");
    EXPECT_EQ(MPlug(node("first"), ToyNode::input).asDouble(), 2.5);
    EXPECT_EQ(rt().undo.size(), 1u);
    EXPECT_TRUE(mel("undo"));
    EXPECT_EQ(nodes(), "");
    EXPECT_TRUE(mel("redo"));
    EXPECT_EQ(nodes(), "first\n");
    EXPECT_EQ(MPlug(node("first"), ToyNode::input).asDouble(), 2.5);
    // A new command drops what could be redone.
    mel("undo");
    mel("toyCmd -s second");
    EXPECT_EQ(rt().undo.redoSize(), 0u);
    EXPECT_EQ(Stats::commandsAlive, 1);
    EXPECT_TRUE(mel("undo; undo"));  // the second undo finds nothing: a warning, not a failure
    EXPECT_TRUE(rt().log.contains(host::LogKind::Warning, "no more commands to undo"));
}

TEST_F(Commands, WhatEntersTheQueue) {
    mel("undoInfo -swf off; toyCmd; undoInfo -swf on");
    EXPECT_EQ(rt().undo.size(), 0u);
    EXPECT_EQ(Stats::commandsAlive, 0);
    EXPECT_TRUE(MGlobal::executeCommand("toyCmd"));
    EXPECT_EQ(rt().undo.size(), 0u);
    EXPECT_FALSE(mel("toyCmd -i notANumber"));  // failed doIt: destroyed, not queued
    EXPECT_EQ(rt().undo.size(), 0u);
    mel("setAttr toyNode1.input 3; createNode toyNode");  // built-in edits never queue
    EXPECT_EQ(rt().undo.size(), 0u);
    mel("toyCmd; toyCmd");
    EXPECT_EQ(Stats::commandsAlive, 2);
    EXPECT_TRUE(mel("flushUndo"));
    EXPECT_EQ(Stats::commandsAlive, 0);
    EXPECT_EQ(melText("undoInfo -q -swf"), "1");
}

TEST_F(Commands, FlushInsideUndoKeepsTheRunningCommandAlive) {
    mel("toyCmd -s a; toyCmd -s b");
    Stats::flushInUndo = true;
    EXPECT_TRUE(mel("undo"));  // b's undoIt flushes: a goes at once, b when undoIt returns
    EXPECT_EQ(Stats::commandsAlive, 0);
    EXPECT_EQ(rt().undo.size() + rt().undo.redoSize(), 0u);
    EXPECT_EQ(nodes(), "a\n");
}

TEST_F(Commands, ArgumentParsing) {
    MSyntax syntax = toy::ToyCommand::newSyntax();
    auto parse = [&](std::initializer_list<const char*> words, MStatus* st) {
        MArgList args;
        for (const char* w : words) args.addArg(w);
        return MArgDatabase(syntax, args, st);
    };
    MStatus st;
    mel("createNode toyNode -n x; createNode toyNode -n y; createNode toyNode -n z");
    MArgDatabase db = parse({"-b", "on", "-long", "-3", "-u", "4", "-d", "-0.5", "-s", "text", "-t", "12", "-di",
                             "1.5", "-an", "0.25", "-sel", "x", "-n", "y", "z"},
                            &st);
    ASSERT_TRUE(st) << st.errorString();
    bool b = false;
    int i = 0;
    unsigned u = 0;
    double d = 0;
    MString s;
    MTime t;
    EXPECT_TRUE(db.getFlagArgument("-bool", 0, b) && b);
    EXPECT_TRUE(db.getFlagArgument("i", 0, i) && i == -3);
    EXPECT_TRUE(db.getFlagArgument("u", 0, u) && u == 4u);
    EXPECT_TRUE(db.getFlagArgument("d", 0, d) && d == -0.5);
    EXPECT_TRUE(db.getFlagArgument("s", 0, s) && s == "text");
    EXPECT_TRUE(db.getFlagArgument("t", 0, t) && t.value() == 12.0);
    EXPECT_EQ(db.flagArgumentDouble("an", 0), 0.25);
    MSelectionList item, objects;
    EXPECT_TRUE(db.getFlagArgument("sel", 0, item));
    EXPECT_EQ(item.length(), 1u);
    EXPECT_TRUE(db.isFlagSet("none"));
    EXPECT_TRUE(db.getObjects(objects));
    EXPECT_EQ(objects.length(), 2u);
    for (const char* spelling : {"true", "off", "yes", "no", "1", "0"}) {
        parse({"-b", spelling}, &st);
        EXPECT_TRUE(st) << spelling;
    }
    parse({"-b", "maybe"}, &st);
    EXPECT_FALSE(st);
    parse({"-u", "-1"}, &st);
    EXPECT_FALSE(st);
    parse({"-nope"}, &st);
    EXPECT_FALSE(st);
    parse({"-d"}, &st);
    EXPECT_FALSE(st);
    parse({"x", "y", "z"}, &st);  // at most two objects
    EXPECT_FALSE(st);
    EXPECT_FALSE(mel("toyCmd -s"));
    EXPECT_TRUE(rt().log.contains(host::LogKind::Error, "needs 1 argument"));
}

TEST_F(Commands, ExecuteCommandResultsConvert) {
    int i = 0;
    double d = 0;
    MString s;
    MIntArray ia;
    MStringArray sa;
    mel("createNode toyNode -n a; setAttr a.input 4");
    EXPECT_TRUE(MGlobal::executeCommand("getAttr a.input", i));
    EXPECT_EQ(i, 4);
    EXPECT_TRUE(MGlobal::executeCommand("getAttr a.kind", d));
    EXPECT_EQ(d, 2.0);
    EXPECT_TRUE(MGlobal::executeCommand("lockNode -q a", i));  // a one-element array
    EXPECT_EQ(i, 0);
    EXPECT_TRUE(MGlobal::executeCommand("window -ex MayaWindow", ia));
    EXPECT_EQ(ia.length(), 1u);
    EXPECT_TRUE(MGlobal::executeCommand("ls -type toyNode", sa));
    EXPECT_EQ(sa.length(), 1u);
    EXPECT_TRUE(MGlobal::executeCommand("toyCmd -s made", s));
    EXPECT_EQ(s, "made");
    s = "kept";
    EXPECT_TRUE(MGlobal::executeCommand("showWindow someWindow", s));  // answers nothing
    EXPECT_EQ(s, "kept");
}

}  // namespace
}  // namespace hosttest
