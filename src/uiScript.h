#pragma once

#include <array>
#include <string_view>

#include "host/api/global.h"
#include "host/api/text.h"

// The module's tie to its user-interface script. The script lives outside the module;
// the module calls its procedures by name only, never passes arguments, and uses no
// answer but the integer of a "window -ex" query. Every text here is run exactly as
// written.
namespace uiScript {

// Load and unload.
inline constexpr const char* kSourceScript = "source zylProUI_35.mel";
inline constexpr const char* kMainWindowQuery = "window -ex MayaWindow";
inline constexpr const char* kInitialize = "zylUI_initialize";
inline constexpr const char* kBatchBanner = "print \"ZYL batch bake utility 3.5\\n\"";
inline constexpr const char* kAutoCreateOff = "dynPref -autoCreate off";
inline constexpr const char* kDeleteAllBodies = "deleteAllBodiesFromZylWorldWithoutConfirm";

// Panels and tools.
inline constexpr const char* kUpdateSolverPanel = "updateZylSolverPanel()";
inline constexpr const char* kDeleteLocators = "deleteZylLocators()";
inline constexpr const char* kUpdateBasicFracturesPanel = "updateZylBasicFracturesPanel";
inline constexpr const char* kUpdateManagePanel = "updateZylManagePanel";
inline constexpr const char* kUpdateAdvancedFracturesPanel = "updateZylAdvancedFracturesPanel";
inline constexpr const char* kUpdateCrackersPanel = "updateZylCrackersPanel";
inline constexpr const char* kSetGravityAxis = "zylSetGravityAxis";
inline constexpr const char* kSelectPath = "zylSelectPath()";
inline constexpr const char* kDisablePreviewMode = "disableKelvanePreviewMode()";

// Windows, asked with kWindowExists + name; an answer of 1 or more means open.
inline constexpr const char* kWindowExists = "window -ex ";
inline constexpr const char* kBasicFracturesWindow = "winZylBasicFractures";
inline constexpr const char* kManageWorldWindow = "winZylManageWorld";
inline constexpr const char* kCrackersWindow = "zylCrakersWin";

// Whether the script's window is open: its "window -ex" query answers 1 or more.
inline bool isWindowOpen(const char* window) {
    int open = 0;
    MGlobal::executeCommand(MString(kWindowExists) + window, open);
    return open >= 1;
}

// Controls held in the script's globals.
inline constexpr const char* kClearBodiesList = "textScrollList -edit -removeAll $zylBodiesList;";
inline constexpr const char* kShowAdvancedFracturesWindow = "showWindow $zylAdvancedFracturesWindow";

// What the script must define for the texts above to run.
inline constexpr std::array<std::string_view, 11> kProcedures = {
    "zylUI_initialize",
    "deleteAllBodiesFromZylWorldWithoutConfirm",
    "updateZylSolverPanel",
    "deleteZylLocators",
    "updateZylBasicFracturesPanel",
    "updateZylManagePanel",
    "updateZylAdvancedFracturesPanel",
    "updateZylCrackersPanel",
    "zylSetGravityAxis",
    "zylSelectPath",
    "disableKelvanePreviewMode",
};
inline constexpr std::array<std::string_view, 2> kGlobals = {"$zylBodiesList", "$zylAdvancedFracturesWindow"};

}  // namespace uiScript
