#include "host/io/png.h"

#include <png.h>

namespace host::io {

MStatus writePng(const std::string& path, const RgbaImage& image) {
    if (image.width <= 0 || image.height <= 0 ||
        image.pixels.size() != static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.height) * 4)
        return MStatus(MS::kInvalidParameter, "Cannot write '" + path + "': the picture has no valid size.");
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    png.width = static_cast<png_uint_32>(image.width);
    png.height = static_cast<png_uint_32>(image.height);
    // The view's pictures are opaque: stored as RGB.
    std::vector<std::uint8_t> rgb(static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.height) * 3);
    for (std::size_t i = 0, j = 0; i < image.pixels.size(); i += 4, j += 3)
        for (std::size_t c = 0; c < 3; ++c) rgb[j + c] = image.pixels[i + c];
    png.format = PNG_FORMAT_RGB;
    if (!png_image_write_to_file(&png, path.c_str(), 0, rgb.data(), 0, nullptr)) {
        const std::string reason = png.message;
        png_image_free(&png);
        return MStatus(MS::kFailure, "Cannot write '" + path + "': " + reason + ".");
    }
    return MS::kSuccess;
}

MStatus readPng(const std::string& path, RgbaImage& image) {
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&png, path.c_str()))
        return MStatus(MS::kFailure, "Cannot read '" + path + "': " + std::string(png.message) + ".");
    png.format = PNG_FORMAT_RGBA;
    std::vector<std::uint8_t> pixels(PNG_IMAGE_SIZE(png));
    if (!png_image_finish_read(&png, nullptr, pixels.data(), 0, nullptr)) {
        const std::string reason = png.message;
        png_image_free(&png);
        return MStatus(MS::kFailure, "Cannot read '" + path + "': " + reason + ".");
    }
    image.width = static_cast<int>(png.width);
    image.height = static_cast<int>(png.height);
    image.pixels = std::move(pixels);
    return MS::kSuccess;
}

}  // namespace host::io
