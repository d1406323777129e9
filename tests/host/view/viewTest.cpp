// The view's drawing: locators through the view's matrices and saved state,
// meshes in the picture, pictures as PNG. Skipped, saying why, without EGL.

#include <GL/gl.h>

#include <cstdlib>
#include <filesystem>

#include "host/io/png.h"
#include "host/view/capture.h"
#include "hostTestSupport.h"
#include "view/feedback.h"

namespace hosttest {
namespace {

class View : public HostTest {
protected:
    void SetUp() override {
        HostTest::SetUp();
        host::view::resetViewState();
        toy::ToyDrawLocator::draws = 0;
        toy::ToyDrawLocator::leaveUnbalanced = false;
    }
    // The pixel (origin bottom left) of the picture after a refresh.
    static std::array<int, 3> pixel(int x, int y) {
        M3dView::active3dView().refresh(false, true);
        host::io::RgbaImage image;
        EXPECT_TRUE(host::view::readViewPixels(image));
        const auto at = (static_cast<std::size_t>(image.height - 1 - y) * image.width + x) * 4;
        return {image.pixels[at], image.pixels[at + 1], image.pixels[at + 2]};
    }
    static std::array<int, 3> centre() { return pixel(host::view::state().width / 2, host::view::state().height / 2); }
    static int distance(const std::array<int, 3>& a, const std::array<int, 3>& b) {
        return std::abs(a[0] - b[0]) + std::abs(a[1] - b[1]) + std::abs(a[2] - b[2]);
    }
    static constexpr std::array<int, 3> kBackground{77, 84, 97};  // the clear colour (0.3, 0.33, 0.38)
};

TEST_F(View, ToyLocatorDrawsThroughTheViewMatricesWithItsStyleAndStatus) {
    loadToy();
    std::string why;
    if (!haveView(why)) GTEST_SKIP() << why;
    mel("createNode transform -n loc; setAttr loc.translate 1 2 3; setAttr loc.scale 2 1 1;"
        "createNode toyDrawLocator -n locShape -p loc; makeMesh -cube -n other");
    auto prims = feedbackDraw("locShape");
    ASSERT_EQ(prims.size(), 1u);
    ASSERT_EQ(prims[0].token, static_cast<GLenum>(GL_POLYGON_TOKEN));
    ASSERT_EQ(prims[0].vertices.size(), 3u);
    const auto projection = host::view::currentProjection();
    const MMatrix world = MFnDagNode(node("locShape")).dagPath().inclusiveMatrix();
    const MPoint corners[3] = {MPoint(0, 0, 0), MPoint(1, 0, 0), MPoint(0, 1, 0)};
    for (int k = 0; k < 3; ++k) {
        const MPoint w = corners[k] * world;
        double px = 0, py = 0;
        ASSERT_TRUE(host::view::worldToPort(projection, w.x, w.y, w.z, px, py));
        EXPECT_NEAR(prims[0].vertices[k].x, px, 0.01) << k;
        EXPECT_NEAR(prims[0].vertices[k].y, py, 0.01) << k;
        EXPECT_FLOAT_EQ(prims[0].vertices[k].color[1], 0.5f);
    }
    EXPECT_EQ(toy::ToyDrawLocator::lastStatus, M3dView::kDormant);
    EXPECT_EQ(toy::ToyDrawLocator::lastStyle, M3dView::kFlatShaded);

    // The label is recorded with its place, alignment and the draw colour.
    const auto& texts = host::view::state().texts;
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_EQ(texts[0].text, "toy");
    EXPECT_TRUE(texts[0].position.isEquivalent(MPoint(0, 1, 0)));
    EXPECT_EQ(texts[0].alignment, M3dView::kLeft);
    EXPECT_EQ(texts[0].color, MColor(0, 1, 0, 1));
    EXPECT_EQ(host::view::state().drawColor, MColor(1, 1, 1, 1));  // the view's colour is back

    // Status from the active selection: the transform selected last is the lead.
    mel("select loc");
    feedbackDraw("locShape");
    EXPECT_EQ(toy::ToyDrawLocator::lastStatus, M3dView::kLead);
    mel("select locShape other");
    feedbackDraw("locShape");
    EXPECT_EQ(toy::ToyDrawLocator::lastStatus, M3dView::kActive);

    // Balanced draws leave the stacks as they were; an unbalanced one is repaired and reported once.
    GLint modelView = 0, attributes = 0;
    glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &modelView);
    glGetIntegerv(GL_ATTRIB_STACK_DEPTH, &attributes);
    EXPECT_EQ(count(host::LogKind::Warning), 0u);
    toy::ToyDrawLocator::leaveUnbalanced = true;
    feedbackDraw("locShape");
    feedbackDraw("locShape");
    GLint after = 0;
    glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &after);
    EXPECT_EQ(after, modelView);
    glGetIntegerv(GL_ATTRIB_STACK_DEPTH, &after);
    EXPECT_EQ(after, attributes);
    EXPECT_EQ(count(host::LogKind::Warning), 1u);
    EXPECT_TRUE(rt().log.contains(host::LogKind::Warning, "model-view matrix stack +1; repaired"));

    // Wireframe (3) set by a script reaches the draw, which then draws nothing.
    mel("viewOption -style 3");
    EXPECT_TRUE(feedbackDraw("locShape").empty());
    EXPECT_EQ(toy::ToyDrawLocator::lastStyle, M3dView::kWireFrame);
    EXPECT_EQ(melText("viewOption -q -style"), "3");
}

TEST_F(View, BatchModeDrawsNothing) {
    loadToy(true);
    mel("createNode toyDrawLocator");
    M3dView view = M3dView::active3dView();
    view.refresh(false, false);
    EXPECT_EQ(toy::ToyDrawLocator::draws, 0);
    EXPECT_EQ(rt().viewLog, std::vector<std::string>{"refresh"});
    EXPECT_FALSE(mel("writeImage -file x.png"));
}

TEST_F(View, MeshesFillTheirPixelsUnlessHiddenOrIntermediateInTheirColourSet) {
    loadToy();
    std::string why;
    if (!haveView(why)) GTEST_SKIP() << why;
    mel("grid -toggle 0");
    EXPECT_LT(distance(centre(), kBackground), 4);
    mel("makeMesh -cube -size 4 -n box");
    const auto grey = centre();
    EXPECT_GT(distance(grey, kBackground), 40);
    EXPECT_LT(std::abs(grey[0] - grey[2]), 4);  // no colour set: grey
    mel("hide box");
    EXPECT_LT(distance(centre(), kBackground), 4);
    mel("setAttr box.visibility 1; setAttr boxShape.intermediateObject 1");
    EXPECT_LT(distance(centre(), kBackground), 4);
    mel("setAttr boxShape.intermediateObject 0");

    MFnMesh mesh(node("boxShape"));
    mesh.createColorSetWithName("paint");
    ASSERT_TRUE(mesh.setCurrentColorSetName("paint"));
    MColorArray colors;
    MIntArray vertices;
    for (int v = 0; v < mesh.numVertices(); ++v) {
        colors.append(MColor(1, 0, 0));
        vertices.append(v);
    }
    ASSERT_TRUE(mesh.setVertexColors(colors, vertices));
    const auto red = centre();
    EXPECT_GT(red[0], 60);
    EXPECT_LT(red[1], 10);
    EXPECT_LT(red[2], 10);
}

TEST_F(View, PicturesKeepTheirSizeAndOrientation) {
    loadToy();
    std::string why;
    if (!haveView(why)) GTEST_SKIP() << why;
    // Looking down −Z from (0, 0, 20): a cube up and to the left lands top left.
    mel("grid -toggle 0; viewOption -size 64 48; setAttr viewCamera.translate 0 0 20; setAttr viewCamera.rotate 0 0 0;"
        "makeMesh -cube -n marker; setAttr marker.translate -5 4 0");
    EXPECT_EQ(melText("viewOption -q -size"), "64\n48\n");
    double px = 0, py = 0;
    ASSERT_TRUE(host::view::worldToPort(host::view::currentProjection(), -5, 4, 0, px, py));
    ASSERT_LT(px, 32);
    ASSERT_GT(py, 24);
    const std::string file = ::testing::TempDir() + "view_orientation_" + std::to_string(getpid()) + ".png";
    ASSERT_TRUE(mel("writeImage -file \"" + file + "\""));
    host::io::RgbaImage image;
    ASSERT_TRUE(host::io::readPng(file, image));
    std::filesystem::remove(file);
    ASSERT_EQ(image.width, 64);
    ASSERT_EQ(image.height, 48);
    auto at = [&](int column, int row) {  // file rows run top down
        const auto i = (static_cast<std::size_t>(row) * 64 + column) * 4;
        return std::array<int, 3>{image.pixels[i], image.pixels[i + 1], image.pixels[i + 2]};
    };
    const int column = static_cast<int>(px), rowFromTop = 47 - static_cast<int>(py);
    EXPECT_GT(distance(at(column, rowFromTop), kBackground), 40);
    EXPECT_LT(distance(at(column, 47 - rowFromTop), kBackground), 4);  // not upside down
    EXPECT_LT(distance(at(63 - column, rowFromTop), kBackground), 4);  // not mirrored
}

}  // namespace
}  // namespace hosttest
