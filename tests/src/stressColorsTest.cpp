// Stress colours on the hand-built row of cubes, and the colour ramp.

#include <cmath>
#include <string>

#include "fractureTestSupport.h"
#include "host/api/fnMesh.h"
#include "src/stressColors.h"

namespace zyltest {
namespace {

void expectColor(const MColor& c, const MColor& want, const std::string& where) {
    EXPECT_TRUE(std::abs(c.r - want.r) < 1e-5 && std::abs(c.g - want.g) < 1e-5 && std::abs(c.b - want.b) < 1e-5 &&
                c.a == 1.0f)
        << where << ": " << c.r << " " << c.g << " " << c.b << " " << c.a;
}

// At the stress hue, saturation fades blue to white and value darkens it to black.
TEST(StressColorRamp, HsvToRgbRunsFromWhiteOverBlueToBlack) {
    for (int i = 0; i <= 10; ++i) {
        const float x = static_cast<float>(i) / 10;
        expectColor(hsvToRgb(0.666667, x, 1.0), {1 - x, 1 - x, 1}, "saturation " + std::to_string(x));
        expectColor(hsvToRgb(0.666667, 1.0, x), {0, 0, x}, "value " + std::to_string(x));
    }
    expectColor(hsvToRgb(5.0 / 6, 0.5, 1.0), {1, 0.5f, 1}, "magenta");
}

class StressColors : public FractureTest {
protected:
    static MFnMesh mesh(int i) { return MFnMesh(path(numbered('c', i) + "Shape")); }
    // Cube i's mesh gets the colour set, every vertex grey.
    static void colourSet(int i) {
        MFnMesh fn = mesh(i);
        fn.createColorSetWithName("colorStresses");
        fn.setCurrentColorSetName("colorStresses");
        fn.setVertexColors(MColorArray(8, MColor(0.2f, 0.2f, 0.2f)), {0, 1, 2, 3, 4, 5, 6, 7});
    }
    void expectCube(int i, short mode, const MColor& want) {
        if (mode >= 0) fb->colorStresses(node(numbered('c', i) + "Body"), mode);
        MColorArray colors;
        ASSERT_TRUE(mesh(i).getVertexColors(colors));
        ASSERT_EQ(colors.length(), 8u);
        for (unsigned v = 0; v < 8; ++v) expectColor(colors[v], want, numbered('c', i) + "." + std::to_string(v));
    }
};

// With the threshold 50: strength 25 pales to (0.5, 0.5, 1), 100 darkens to (0, 0, 0.5);
// break energy turns it red, highlight green; a static member is black, highlighted or
// not; a member without joints or without the colour set keeps what it has.
TEST_F(StressColors, VerticesShowTheirNearestJoint) {
    buildRow();
    for (int i : {0, 1, 2, 5}) colourSet(i);
    stresses[0]->setDoubleProperty("forceStrenght", 25);
    stresses[4]->setDoubleProperty("forceStrenght", 100);
    fb->recolorStresses();
    expectCube(0, -1, {0.5f, 0.5f, 1});
    expectCube(5, -1, {0, 0, 0.5f});
    EXPECT_EQ(mesh(3).numColorSets(), 0);
    stresses[4]->setDoubleProperty("breakEnergy", 3);
    expectCube(5, 0, {1, 0, 0});
    expectCube(0, 1, {0, 0.75f, 1});
    bodies[2]->enableStatic();
    expectCube(2, 1, {0, 0, 0});

    // s1, filed last, heads c1's joint list: at s0's anchor it decides.
    const Qmt::QmtVector3 anchor(0.5, 0, 0);
    stresses[1]->getJoint()->setAnchorsFromPoint(&anchor);
    stresses[1]->setDoubleProperty("forceStrenght", 100);
    expectCube(1, 0, {0, 0, 0.5f});
    cube(6);
    colourSet(6);
    expectCube(6, 0, {0.2f, 0.2f, 0.2f});
}

}  // namespace
}  // namespace zyltest
