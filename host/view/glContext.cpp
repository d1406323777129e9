#include "host/view/glContext.h"

#include <EGL/egl.h>
#include <EGL/eglext.h>

#include <dlfcn.h>
#include <link.h>

#include <cstdio>
#include <cstring>

namespace host::view {

namespace {

std::string eglFailure(const char* step) {
    char code[16];
    std::snprintf(code, sizeof code, "0x%04X", static_cast<unsigned>(eglGetError()));
    return std::string(step) + " failed (EGL error " + code + ")";
}

// Keeps the Mesa driver that eglInitialize loaded mapped until the process ends.
// Terminating the display unloads it otherwise, and what it keeps allocated to the
// end would then be reported (under LeakSanitizer) against an unknown module that
// no suppression can name.
void pinDriver() {
    dl_iterate_phdr(
        [](dl_phdr_info* info, std::size_t, void*) {
            const char* name = info->dlpi_name;
            if (name && (std::strstr(name, "_dri.so") || std::strstr(name, "libgallium")))
                dlopen(name, RTLD_LAZY | RTLD_NOLOAD | RTLD_NODELETE);
            return 0;
        },
        nullptr);
}

}  // namespace

std::unique_ptr<GlContext> GlContext::create(int width, int height, std::string& error) {
    std::unique_ptr<GlContext> gl(new GlContext);
    const auto getPlatformDisplay =
        reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(eglGetProcAddress("eglGetPlatformDisplayEXT"));
    if (!getPlatformDisplay) {
        error = "eglGetPlatformDisplayEXT is not available";
        return nullptr;
    }
    EGLDisplay display = getPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
    if (display == EGL_NO_DISPLAY) {
        error = eglFailure("eglGetPlatformDisplayEXT(EGL_PLATFORM_SURFACELESS_MESA)");
        return nullptr;
    }
    EGLint major = 0, minor = 0;
    if (!eglInitialize(display, &major, &minor)) {
        error = eglFailure("eglInitialize");
        return nullptr;
    }
    gl->display_ = display;  // from here on the destructor terminates the display
    pinDriver();
    const EGLint configAttribs[] = {EGL_SURFACE_TYPE, EGL_PBUFFER_BIT, EGL_RENDERABLE_TYPE, EGL_OPENGL_BIT,
                                    EGL_RED_SIZE, 8, EGL_GREEN_SIZE, 8, EGL_BLUE_SIZE, 8, EGL_ALPHA_SIZE, 8,
                                    EGL_DEPTH_SIZE, 24, EGL_NONE};
    EGLConfig config = nullptr;
    EGLint count = 0;
    if (!eglChooseConfig(display, configAttribs, &config, 1, &count) || count < 1) {
        error = count < 1 ? "no EGL config with an RGBA8 pbuffer, depth 24 and desktop OpenGL" : eglFailure("eglChooseConfig");
        return nullptr;
    }
    gl->config_ = config;
    if (!eglBindAPI(EGL_OPENGL_API)) {
        error = eglFailure("eglBindAPI(EGL_OPENGL_API)");
        return nullptr;
    }
    const EGLint contextAttribs[] = {EGL_CONTEXT_OPENGL_PROFILE_MASK, EGL_CONTEXT_OPENGL_COMPATIBILITY_PROFILE_BIT,
                                     EGL_NONE};
    EGLContext context = eglCreateContext(display, config, EGL_NO_CONTEXT, contextAttribs);
    if (context == EGL_NO_CONTEXT) {
        error = eglFailure("eglCreateContext (compatibility profile)");
        return nullptr;
    }
    gl->context_ = context;
    if (!gl->makeSurface(width, height, error)) return nullptr;
    return gl;
}

bool GlContext::makeSurface(int width, int height, std::string& error) {
    const EGLint attribs[] = {EGL_WIDTH, width, EGL_HEIGHT, height, EGL_NONE};
    EGLSurface surface = eglCreatePbufferSurface(display_, config_, attribs);
    if (surface == EGL_NO_SURFACE) {
        error = eglFailure("eglCreatePbufferSurface");
        return false;
    }
    if (!eglMakeCurrent(display_, surface, surface, context_)) {
        error = eglFailure("eglMakeCurrent");
        eglDestroySurface(display_, surface);
        return false;
    }
    if (surface_) eglDestroySurface(display_, surface_);
    surface_ = surface;
    width_ = width;
    height_ = height;
    return true;
}

bool GlContext::resize(int width, int height, std::string& error) {
    if (width == width_ && height == height_) return makeCurrent();
    return makeSurface(width, height, error);
}

bool GlContext::makeCurrent() {
    return eglGetCurrentContext() == context_ || eglMakeCurrent(display_, surface_, surface_, context_);
}

GlContext::~GlContext() {
    if (!display_) return;
    eglMakeCurrent(display_, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    if (surface_) eglDestroySurface(display_, surface_);
    if (context_) eglDestroyContext(display_, context_);
    eglTerminate(display_);
    eglReleaseThread();
}

}  // namespace host::view
