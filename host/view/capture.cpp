#include "host/view/capture.h"

#include <GL/gl.h>

#include <cstring>

#include "host/api/view3d.h"
#include "host/core/runtime.h"
#include "host/view/glContext.h"
#include "host/view/viewState.h"

namespace host::view {

bool readViewPixels(io::RgbaImage& image) {
    GlContext* gl = currentContext();
    if (!gl) return false;
    const auto w = static_cast<std::size_t>(gl->width()), h = static_cast<std::size_t>(gl->height());
    std::vector<std::uint8_t> raw(w * h * 4);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, gl->width(), gl->height(), GL_RGBA, GL_UNSIGNED_BYTE, raw.data());
    image.width = gl->width();
    image.height = gl->height();
    image.pixels.resize(raw.size());
    const std::size_t row = w * 4;
    for (std::size_t y = 0; y < h; ++y) std::memcpy(&image.pixels[y * row], &raw[(h - 1 - y) * row], row);
    return true;
}

MStatus writeViewImage(const std::string& path) {
    if (runtime().options.batch) return MStatus(MS::kFailure, "No picture in batch mode: there is no view.");
    M3dView view = M3dView::active3dView();
    view.refresh(false, true);
    io::RgbaImage image;
    if (!readViewPixels(image))
        return MStatus(MS::kFailure, "No picture: there is no view (" + contextFailure() + ").");
    return io::writePng(path, image);
}

}  // namespace host::view
