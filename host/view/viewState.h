#pragma once

#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "host/api/color.h"
#include "host/api/view3d.h"

namespace host::view {

class GlContext;

// One drawText call as the view received it.
struct TextRecord {
    std::string text;
    MPoint position;  // in the space the caller's model-view maps from
    M3dView::TextPosition alignment = M3dView::kLeft;
    MColor color;     // the draw colour at the call
};

// The state of the process's one view. The GL context lives as long as the
// process (it is made once, on first use in interactive mode); everything else
// returns to its defaults with resetViewState().
struct ViewState {
    int width = 640, height = 480;
    M3dView::DisplayStyle style = M3dView::kFlatShaded;
    MColor drawColor{1, 1, 1, 1};
    std::vector<TextRecord> texts;  // drawText calls since the last refresh began
    int glDepth = 0;                // beginGL calls without their endGL
    bool drawing = false;           // a refresh is drawing now
    bool contextFailed = false;     // EGL could not be set up; never tried again
    std::string contextError;       // why
    std::set<std::uint64_t> warnedUnbalanced;  // draws already reported for unbalanced GL state
    std::unique_ptr<GlContext> context;
};

ViewState& state();
// Back to the default port size, style and colour; the records are cleared. The context stays.
void resetViewState();

// The GL context made current, made first when the host is interactive and none
// exists yet. Null in batch mode and when EGL failed (one warning, the first time).
GlContext* currentContext();
// Why there is no context: empty when there is one or none was tried yet.
std::string contextFailure();
// Sets the port size; an existing context resizes its surface.
bool setPortSize(int width, int height);

}  // namespace host::view
