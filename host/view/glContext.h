#pragma once

#include <memory>
#include <string>

namespace host::view {

// The view's offscreen OpenGL context: Mesa's surfaceless EGL platform, a pbuffer
// of the port size, a compatibility-profile desktop GL context. No display server
// is needed. Destroying it terminates the EGL display.
class GlContext {
public:
    // Null, with the reason in `error`, when any step fails.
    static std::unique_ptr<GlContext> create(int width, int height, std::string& error);
    ~GlContext();
    GlContext(const GlContext&) = delete;
    GlContext& operator=(const GlContext&) = delete;

    bool makeCurrent();
    // A new pbuffer of the size; the context keeps its objects.
    bool resize(int width, int height, std::string& error);
    int width() const { return width_; }
    int height() const { return height_; }

private:
    GlContext() = default;
    bool makeSurface(int width, int height, std::string& error);

    void* display_ = nullptr;  // EGLDisplay
    void* config_ = nullptr;   // EGLConfig
    void* context_ = nullptr;  // EGLContext
    void* surface_ = nullptr;  // EGLSurface
    int width_ = 0, height_ = 0;
};

}  // namespace host::view
