#include "host/view/viewState.h"

#include <cstdlib>

#include "host/core/runtime.h"
#include "host/view/glContext.h"

namespace host::view {

namespace {

// EGL is terminated before Mesa's own exit handlers run: they are installed while
// the display initialises, so a handler installed after that runs first.
void releaseContextAtExit() { state().context.reset(); }

}  // namespace

ViewState& state() {
    static ViewState s;
    return s;
}

void resetViewState() {
    ViewState& s = state();
    s.width = 640;
    s.height = 480;
    s.style = M3dView::kFlatShaded;
    s.drawColor = MColor(1, 1, 1, 1);
    s.texts.clear();
    s.glDepth = 0;
    s.drawing = false;
    s.warnedUnbalanced.clear();
    if (s.context) {
        std::string error;
        s.context->resize(s.width, s.height, error);
    }
}

GlContext* currentContext() {
    ViewState& s = state();
    if (runtime().options.batch) return nullptr;
    if (!s.context && !s.contextFailed) {
        std::string error;
        s.context = GlContext::create(s.width, s.height, error);
        if (!s.context) {
            s.contextFailed = true;
            s.contextError = error;
            runtime().log.add(LogKind::Warning, "No 3D view: " + error + "; running without pictures.");
            return nullptr;
        }
        std::atexit(releaseContextAtExit);
    }
    if (!s.context || !s.context->makeCurrent()) return nullptr;
    return s.context.get();
}

std::string contextFailure() { return state().contextError; }

bool setPortSize(int width, int height) {
    if (width < 1 || height < 1 || width > 16384 || height > 16384) return false;
    ViewState& s = state();
    s.width = width;
    s.height = height;
    std::string error;
    if (s.context && !s.context->resize(width, height, error)) {
        s.width = s.context->width();
        s.height = s.context->height();
        runtime().log.add(LogKind::Warning, "The view cannot take the size " + std::to_string(width) + "x" +
                                                std::to_string(height) + ": " + error + ".");
        return false;
    }
    return true;
}

}  // namespace host::view
