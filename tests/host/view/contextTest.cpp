// Selection tools: context commands, useTool, tool events, the marquee and
// picking from view pixels.

#include <algorithm>
#include <cmath>
#include <random>

#include "hostTestSupport.h"
#include "host/view/interaction.h"
#include "host/view/projection.h"

namespace {

using host::view::interaction;

class ContextTest : public hosttest::HostTest {
protected:
    void SetUp() override {
        HostTest::SetUp();
        toy::ToolStats::reset();
        loadToy();
    }
    static std::vector<std::string> selected() {
        MSelectionList list;
        MGlobal::getActiveSelectionList(list);
        MStringArray names;
        list.getSelectionStrings(names);
        std::vector<std::string> out;
        for (const auto& n : names) out.push_back(n.str());
        return out;
    }
    // Where a transform's shape centre lands in the view (pixel coordinates, unrounded).
    static void project(const std::string& transform, double& x, double& y) {
        MDagPath path;
        MSelectionList list;
        list.add(MString(transform.c_str()));
        list.getDagPath(0, path);
        path.extendToShape();
        const MPoint c = MFnDagNode(path).boundingBox().center() * path.inclusiveMatrix();
        ASSERT_TRUE(host::view::worldToPort(host::view::currentProjection(), c.x, c.y, c.z, x, y));
    }
};

TEST_F(ContextTest, ContextCommandMakesNamedContextsThatUseToolSwitches) {
    EXPECT_EQ(melText("toySelectContext"), "toySelectContext1");
    EXPECT_EQ(melText("toySelectContext"), "toySelectContext2");
    EXPECT_EQ(melText("toySelectContext myTool"), "myTool");
    EXPECT_FALSE(mel("toySelectContext myTool"));
    EXPECT_FALSE(mel("toySelectContext -badFlag"));
    EXPECT_EQ(toy::ToolStats::contextsAlive, 3);
    const MPxContext* ctx = interaction().findContext("myTool");
    ASSERT_NE(ctx, nullptr);
    EXPECT_EQ(ctx->titleString(), MString(" Toy selection"));
    EXPECT_EQ(ctx->image(MPxContext::kImage1), MString("toyIcon.xpm"));

    EXPECT_FALSE(mel("useTool nothingLikeThis"));
    EXPECT_FALSE(mel("toolEvent -press 1 1"));  // no tool in use
    EXPECT_TRUE(mel("useTool myTool"));
    EXPECT_EQ(melText("useTool -q"), "myTool");
    EXPECT_EQ(ctx->helpString(), MString("select toys"));
    EXPECT_EQ(ctx->cursor(), MCursor::doubleCrossHairCursor);
    EXPECT_TRUE(mel("useTool toySelectContext1"));
    EXPECT_EQ(toy::ToolStats::calls, (std::vector<std::string>{"setup", "cleanup", "setup"}));
    EXPECT_FALSE(mel("toolEvent -press 1"));
    EXPECT_FALSE(mel("toolEvent -press 1 1 -release 2 2"));

    // Contexts are module code: they go (the current one cleaned up) before the module does.
    ASSERT_TRUE(rt().modules.unload("toyModule"));
    EXPECT_EQ(toy::ToolStats::contextsAlive, 0);
    EXPECT_EQ(toy::ToolStats::calls.back(), "cleanup");
    EXPECT_EQ(melText("useTool -q"), "");
    EXPECT_FALSE(mel("toySelectContext"));
}

TEST_F(ContextTest, SetupSavesAndCleanupRestoresModeAndMaskOfThatMode) {
    ASSERT_TRUE(mel("toySelectContext tool"));
    for (const auto mode : {MGlobal::kSelectComponentMode, MGlobal::kSelectObjectMode}) {
        const MSelectionMask mask(MSelectionMask::kSelectMeshVerts);
        MGlobal::setSelectionMode(mode);
        if (mode == MGlobal::kSelectComponentMode)
            MGlobal::setComponentSelectionMask(mask);
        else
            MGlobal::setObjectSelectionMask(mask);
        ASSERT_TRUE(mel("useTool tool; toolEvent -press 5 5; toolEvent -release 5 5"));
        // A release leaves object mode and the tool's component mask, whatever was there.
        EXPECT_EQ(MGlobal::selectionMode(), MGlobal::kSelectObjectMode);
        EXPECT_EQ(MGlobal::componentSelectionMask(), MSelectionMask(MSelectionMask::kSelectToolComponent));
        MGlobal::setObjectSelectionMask(MSelectionMask(MSelectionMask::kSelectCameras));
        ASSERT_TRUE(mel("useTool"));
        EXPECT_EQ(MGlobal::selectionMode(), mode);
        EXPECT_EQ(mode == MGlobal::kSelectComponentMode ? MGlobal::componentSelectionMask()
                                                        : MGlobal::objectSelectionMask(),
                  mask);
    }
}

TEST_F(ContextTest, MarqueeComesInEventOrderAndSelectsTheTransformsInside) {
    ASSERT_TRUE(mel("makeMesh -cube -n a; makeMesh -cube -n b; setAttr b.translate 3 0 0; makeMesh -cube -n c; "
                    "setAttr c.translate -3 0 0; select c"));
    double ax, ay, bx, by, cx, cy;
    project("a", ax, ay);
    project("b", bx, by);
    project("c", cx, cy);
    ASSERT_LT(cx + 10, ax);
    ASSERT_LT(ax + 10, bx);
    // Dragged from right-top to left-bottom: the rectangle is the same.
    const int l = int(ax) - 3, r = int(bx) + 3, b = int(std::min(ay, by)) - 3, t = int(std::max(ay, by)) + 3;
    ASSERT_TRUE(mel("toySelectContext tool; useTool tool; toolEvent -press " + std::to_string(r) + " " +
                    std::to_string(t) + " -shift; toolEvent -drag 100 100; toolEvent -hold " + std::to_string(l) +
                    " 7; toolEvent -release " + std::to_string(l) + " " + std::to_string(b)));
    const std::vector<std::string> expected = {
        "setup", "press " + std::to_string(r) + " " + std::to_string(t) + " 1", "hold " + std::to_string(l) + " 7",
        "release " + std::to_string(t) + " " + std::to_string(l) + " " + std::to_string(b) + " " + std::to_string(r)};
    EXPECT_EQ(toy::ToolStats::calls, expected);
    EXPECT_EQ(selected(), (std::vector<std::string>{"a", "b"}));
    const auto& rec = rt().mel().recorded();
    EXPECT_NE(std::find(rec.begin(), rec.end(), "zylSelectPath"), rec.end());
    // A release with no press gives the point and still selects from it.
    EXPECT_TRUE(mel("toolEvent -release 0 0"));
    EXPECT_EQ(toy::ToolStats::calls.back(), "release 0 0 0 0");
    EXPECT_TRUE(selected().empty());
}

TEST_F(ContextTest, ClickPicksTheNearestCentreWithinFourPixelsOnlyOfPickableShapes) {
    ASSERT_TRUE(mel("makeMesh -cube -n a; makeMesh -cube -n b; setAttr b.translate 0.2 0 0; makeMesh -cube -n h; "
                    "setAttr h.translate -3 0 0; hide h; makeMesh -cube -n i; setAttr i.translate 3 0 0; "
                    "setAttr iShape.intermediateObject 1"));
    double ax, ay, bx, by;
    project("a", ax, ay);
    project("b", bx, by);
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> offset(-8, 8);
    for (int n = 0; n < 200; ++n) {
        const short x = short(std::floor(ax + offset(rng))), y = short(std::floor(ay + offset(rng)));
        MGlobal::selectFromScreen(x, y, x, y, MGlobal::kReplaceList);
        const double da = std::hypot(ax - (x + 0.5), ay - (y + 0.5)), db = std::hypot(bx - (x + 0.5), by - (y + 0.5));
        const std::string want = std::min(da, db) > 4 ? "" : (da <= db ? "a" : "b");
        const auto got = selected();
        EXPECT_EQ(got.empty() ? "" : got[0], want) << x << " " << y;
        EXPECT_LE(got.size(), 1u);
    }
    // Hidden and intermediate shapes are never picked, neither by click nor by rectangle.
    for (const char* name : {"h", "i"}) {
        MSelectionList list;
        list.add(MString(name));
        MDagPath path;
        list.getDagPath(0, path);
        const MPoint c = MPoint() * path.inclusiveMatrix();
        double x = 0, y = 0;
        ASSERT_TRUE(host::view::worldToPort(host::view::currentProjection(), c.x, c.y, c.z, x, y));
        MGlobal::selectFromScreen(short(x), short(y), short(x), short(y));
        EXPECT_TRUE(selected().empty()) << name;
        MGlobal::selectFromScreen(short(x - 5), short(y + 5), short(x + 5), short(y - 5));
        EXPECT_TRUE(selected().empty()) << name;
    }
    // List adjustments: add, then toggle off. Each rectangle spans the two pixels around one centre.
    const auto around = [](double x, double y, MGlobal::ListAdjustment mode) {
        const short px = short(std::floor(x)), py = short(std::floor(y));
        MGlobal::selectFromScreen(short(px - 1), py, px, short(py - 1), mode);
    };
    ASSERT_GT(std::hypot(bx - ax, by - ay), 2);
    around(ax, ay, MGlobal::kAddToList);
    around(bx, by, MGlobal::kAddToList);
    EXPECT_EQ(selected(), (std::vector<std::string>{"a", "b"}));
    around(ax, ay, MGlobal::kXORWithList);
    EXPECT_EQ(selected(), (std::vector<std::string>{"b"}));
}

}  // namespace
