#pragma once

#include <string>

#include "host/api/status.h"
#include "host/io/png.h"

namespace host::view {

// The view's current picture, top row first (GL reads rows bottom-up). False
// without a view.
bool readViewPixels(io::RgbaImage& image);

// Refreshes the view and writes its picture as PNG. Fails, saying why, without a view.
MStatus writeViewImage(const std::string& path);

}  // namespace host::view
