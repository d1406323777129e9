// The main job's pictures: the demo scene run interactively over frames 1-40 writes a
// picture per frame, and where the wall stands in the first one the last one differs.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "host/io/png.h"

namespace {

namespace fs = std::filesystem;

std::string pictureName(int frame) {
    char name[32];
    std::snprintf(name, sizeof name, "frame_%04d.png", frame);
    return name;
}

const std::uint8_t* pixel(const host::io::RgbaImage& image, int x, int y) {
    return &image.pixels[4 * (static_cast<std::size_t>(y) * image.width + x)];
}

TEST(DemoPictures, TheWallBreaksInTheView) {
    const fs::path dir = fs::path(::testing::TempDir()) / ("zylDemoPictures" + std::to_string(getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    const std::string cmd = "cd '" + dir.string() + "' && '" HOSTRUN_PATH "' --plugin '" ZYL_MODULE_PATH
                            "' --frames 1:40 --out out --png '" DEMO_SCENE "' > out.txt 2> err.txt";
    const int status = std::system(cmd.c_str());
    std::stringstream err;
    err << std::ifstream(dir / "err.txt").rdbuf();
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << err.str();
    if (err.str().find("No 3D view") != std::string::npos) {
        fs::remove_all(dir);
        GTEST_SKIP() << "no GL context, so no pictures: " << err.str();
    }

    host::io::RgbaImage first, last;
    int pictures = 0;
    for (const auto& entry : fs::directory_iterator(dir / "out")) pictures += entry.path().extension() == ".png";
    EXPECT_EQ(pictures, 40);
    ASSERT_TRUE(host::io::readPng((dir / "out" / pictureName(1)).string(), first));
    ASSERT_TRUE(host::io::readPng((dir / "out" / pictureName(40)).string(), last));
    ASSERT_EQ(first.width, last.width);
    ASSERT_EQ(first.height, last.height);

    // The wall is where the first picture shows the fracture body's outline colour.
    const std::uint8_t outline[3] = {178, 102, 0};
    int x0 = first.width, y0 = first.height, x1 = -1, y1 = -1;
    for (int y = 0; y < first.height; ++y) {
        for (int x = 0; x < first.width; ++x) {
            if (std::equal(outline, outline + 3, pixel(first, x, y))) {
                x0 = std::min(x0, x);
                x1 = std::max(x1, x);
                y0 = std::min(y0, y);
                y1 = std::max(y1, y);
            }
        }
    }
    ASSERT_GE(x1, x0) << "the wall is not drawn";
    int changed = 0;
    for (int y = y0; y <= y1; ++y) {
        for (int x = x0; x <= x1; ++x) {
            changed += !std::equal(pixel(first, x, y), pixel(first, x, y) + 3, pixel(last, x, y));
        }
    }
    // The broken wall scatters over most of the place where it stood.
    EXPECT_GT(4 * changed, (x1 - x0 + 1) * (y1 - y0 + 1)) << changed << " pixels changed";
    fs::remove_all(dir);
}

}  // namespace
