#include <fstream>

#include "hostTestSupport.h"

namespace hosttest {
namespace {

class Interpreter : public HostTest {
protected:
    static std::string printed() {
        std::string out;
        for (const auto& r : rt().log.records())
            if (r.kind == host::LogKind::Print) out += r.text;
        return out;
    }
};

TEST_F(Interpreter, ProcsVariablesAndPrint) {
    EXPECT_TRUE(rt().mel().runScript(
        "global proc hello() { print \"hi \"; }\n"
        "hello; hello(); hello ();\n"
        "string $s = \"a\"; int $i = 3; float $f = 0.5;\n"
        "print $s; print ($s + $i + $f + \"\\n\");\n"
        "string $names[] = `ls -et time`; print $names[0];\n"
        "$s = `window -ex MayaWindow`; print $s;"));
    EXPECT_EQ(printed(), "hi hi hi aa30.5\ntime11");
}

TEST_F(Interpreter, UiScriptStubs) {
    EXPECT_TRUE(mel("source zylProUI_35.mel"));
    for (const char* proc : {"zylUI_initialize", "deleteAllBodiesFromZylWorldWithoutConfirm", "updateZylSolverPanel()",
                             "deleteZylLocators()", "updateZylBasicFracturesPanel", "updateZylManagePanel",
                             "updateZylAdvancedFracturesPanel", "updateZylCrackersPanel", "zylSetGravityAxis",
                             "zylSelectPath()", "disableKelvanePreviewMode()",
                             "textScrollList -edit -removeAll $zylBodiesList;",
                             "showWindow $zylAdvancedFracturesWindow"})
        EXPECT_TRUE(MGlobal::executeCommand(proc)) << proc;
    EXPECT_EQ(count(host::LogKind::Error), 0u);
    const auto& calls = rt().mel().recorded();
    EXPECT_NE(std::find(calls.begin(), calls.end(), "updateZylManagePanel"), calls.end());
    EXPECT_NE(std::find(calls.begin(), calls.end(), "textScrollList -edit -removeAll "), calls.end());
    // Found from another working directory too: by the script path.
    rt().options.scriptPath = {};
    EXPECT_FALSE(mel("source zylProUI_35.mel"));
    EXPECT_TRUE(rt().log.contains(host::LogKind::Error, "Cannot find file \"zylProUI_35.mel\""));
}

TEST_F(Interpreter, ErrorsStopTheScript) {
    EXPECT_FALSE(rt().mel().runScript("print \"1\"; error \"stop here\"; print \"2\";"));
    EXPECT_EQ(printed(), "1");
    EXPECT_TRUE(rt().log.contains(host::LogKind::Error, "stop here"));
    EXPECT_FALSE(mel("noSuchProc"));
    EXPECT_TRUE(rt().log.contains(host::LogKind::Error, "Cannot find procedure \"noSuchProc\"."));
    EXPECT_FALSE(mel("print $undeclared"));
    EXPECT_FALSE(mel("window -bogus"));
}

TEST_F(Interpreter, DeepOrUnclosedInputIsASyntaxErrorAtItsLine) {
    // Deep nesting and endless sourcing end in an error, not a stack overflow.
    const std::string self = ::testing::TempDir() + "selfSourcing.mel";
    std::ofstream(self) << "source \"" << self << "\";\n";
    const std::pair<std::string, std::string> refused[] = {
        {"print " + std::string(100000, '(') + "1", "braces or parentheses open at once"},
        {std::string(100000, '{') + std::string(100000, '}'), "braces or parentheses open at once"},
        {"\nsource \"" + self + "\";", "Files sourced too deeply"},
        {"source \"" + ::testing::TempDir() + "\";", "not a regular file"},
        {"print \"a\";\n/* never closed\nprint \"b\";", "Unterminated comment starting on line 2"},
        {"print \"a\";\n{ print \"b\";\nprint \"c\";", "the block opened on line 2 is not closed"},
        {"print \"a\";\nglobal proc p() {\n print \"b\";", "the block opened on line 2 is not closed"},
        {"print \"a\";\nprint \"open\n;", "Unterminated string starting on line 2"}};
    for (const auto& [script, error] : refused) {
        rt().log.clear();
        EXPECT_FALSE(rt().mel().runScript(script, "s.mel")) << error;
        EXPECT_TRUE(rt().log.contains(host::LogKind::Error, error)) << rt().log.text();
        EXPECT_EQ(printed(), "") << error;  // refused before anything ran
    }
    // Every error of a script names its file and the statement's line; a byte-order mark is no command.
    rt().log.clear();
    EXPECT_FALSE(rt().mel().runScript("\xEF\xBB\xBFprint \"a\";\n\nsetAttr nothing.tx 1;", "s.mel"));
    EXPECT_EQ(printed(), "a");
    EXPECT_EQ(rt().log.text(), "a\ns.mel:3: Error: setAttr: No object matches name: nothing.tx [setAttr]\n");
}

TEST_F(Interpreter, IdleQueueOrder) {
    // Entries run in order after each top-level statement; one that fails is
    // logged and the rest still run; entries queued meanwhile run in the same flush.
    MGlobal::executeCommandOnIdle("print \"a\"");
    MGlobal::executeCommandOnIdle("noSuchProc");
    MGlobal::executeCommandOnIdle("print \"b\"; flushIdle");
    EXPECT_TRUE(rt().mel().runScript("print \"0\"; print \"1\";"));
    EXPECT_EQ(printed(), "0ab1");
    EXPECT_EQ(count(host::LogKind::Error), 1u);
    MGlobal::executeCommandOnIdle("global proc again() { print \"c\"; } again");
    EXPECT_TRUE(mel("flushIdle"));
    EXPECT_EQ(printed(), "0ab1c");
}

TEST_F(Interpreter, CommandTraceHoldsWhatWasRunOrQueuedThroughTheApi) {
    MGlobal::executeCommand("print \"a\"");
    MGlobal::executeCommandOnIdle("print \"b\"");
    EXPECT_TRUE(mel("print \"c\"; flushIdle"));  // script statements and idle runs are not traced
    EXPECT_EQ(rt().commandTrace, (std::vector<std::string>{"print \"a\"", "print \"b\""}));
    rt().reset();
    EXPECT_TRUE(rt().commandTrace.empty());
}

TEST_F(Interpreter, HostAnswers) {
    EXPECT_EQ(melText("window -ex MayaWindow"), "1");
    EXPECT_EQ(melText("window -ex winZylManageWorld"), "0");
    mel("hostOption -openWindows winZylManageWorld -busy on");
    EXPECT_EQ(melText("window -ex winZylManageWorld"), "1");
    EXPECT_TRUE(MConditionMessage::getConditionState("busy"));
    EXPECT_EQ(melText("hostOption -q -busy"), "1");
    rt().options.batch = true;
    EXPECT_EQ(melText("window -ex MayaWindow"), "0");
    mel("displayColor -dormant \"grid\" 15");
    EXPECT_EQ(melText("displayColor -q -dormant \"grid\""), "15");
    EXPECT_EQ(melText("upAxis -q -axis"), "y");
    EXPECT_EQ(melText("grid -q -toggle"), "1");
}

}  // namespace
}  // namespace hosttest
