#include <string>

#include "moduleTestSupport.h"
#include "src/uiScript.h"

namespace zyltest {
namespace {

using UiScript = ModuleTest;

// The script defines every procedure and global the module's texts use, and each
// text the module runs against it runs cleanly.
TEST_F(UiScript, DefinesEverythingTheModuleCalls) {
    ASSERT_TRUE(MGlobal::executeCommand(uiScript::kSourceScript));
    for (const auto proc : uiScript::kProcedures) EXPECT_TRUE(rt().mel().hasProc(std::string(proc))) << proc;
    for (const auto global : uiScript::kGlobals) EXPECT_TRUE(mel("print " + std::string(global))) << global;
    for (const char* text :
         {uiScript::kInitialize, uiScript::kDeleteAllBodies, uiScript::kUpdateSolverPanel, uiScript::kDeleteLocators,
          uiScript::kUpdateBasicFracturesPanel, uiScript::kUpdateManagePanel, uiScript::kUpdateAdvancedFracturesPanel,
          uiScript::kUpdateCrackersPanel, uiScript::kSetGravityAxis, uiScript::kSelectPath,
          uiScript::kDisablePreviewMode, uiScript::kClearBodiesList, uiScript::kShowAdvancedFracturesWindow,
          uiScript::kAutoCreateOff, uiScript::kBatchBanner})
        EXPECT_TRUE(MGlobal::executeCommand(text)) << text;
    for (const char* window :
         {uiScript::kBasicFracturesWindow, uiScript::kManageWorldWindow, uiScript::kCrackersWindow}) {
        int open = -1;
        EXPECT_TRUE(MGlobal::executeCommand(std::string(uiScript::kWindowExists) + window, open)) << window;
        EXPECT_EQ(open, 0) << window;
    }
    EXPECT_EQ(count(host::LogKind::Error), 0u);
}

}  // namespace
}  // namespace zyltest
