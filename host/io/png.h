#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "host/api/status.h"

namespace host::io {

// An 8-bit RGBA picture, top row first.
struct RgbaImage {
    int width = 0, height = 0;
    std::vector<std::uint8_t> pixels;  // width · height · 4
};

// Writes an RGB PNG (alpha dropped).
MStatus writePng(const std::string& path, const RgbaImage& image);
// Reads any PNG as 8-bit RGBA.
MStatus readPng(const std::string& path, RgbaImage& image);

}  // namespace host::io
