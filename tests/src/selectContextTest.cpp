// The selection tool: its texts, the mode and mask it saves and gives back, and what
// a marquee or a click selects before the script's procedure runs.

#include <algorithm>
#include <string>
#include <vector>

#include "host/core/result.h"
#include "host/view/interaction.h"
#include "host/view/projection.h"
#include "moduleTestSupport.h"

namespace zyltest {
namespace {

using Strings = std::vector<std::string>;

class SelectContext : public ModuleTest {
protected:
    void SetUp() override {
        ModuleTest::SetUp();
        loadModule();
    }
    static Strings selected() {
        MSelectionList list;
        MGlobal::getActiveSelectionList(list);
        MStringArray names;
        list.getSelectionStrings(names);
        Strings out;
        for (const auto& n : names) out.push_back(n.str());
        return out;
    }
    // Where a transform's origin lands in the view, in whole pixels.
    static void pixel(const std::string& transform, int& x, int& y) {
        const MPoint c = MPoint() * path(transform).inclusiveMatrix();
        double px = 0, py = 0;
        ASSERT_TRUE(host::view::worldToPort(host::view::currentProjection(), c.x, c.y, c.z, px, py));
        x = static_cast<int>(px);
        y = static_cast<int>(py);
    }
    static std::size_t selectPathCalls() {
        const auto& rec = rt().mel().recorded();
        return static_cast<std::size_t>(std::count(rec.begin(), rec.end(), "zylSelectPath"));
    }
};

TEST_F(SelectContext, GivesBackTheModeAndOnlyTheMaskOfThatMode) {
    host::Result made;
    ASSERT_TRUE(mel("selectZylContext", &made));
    EXPECT_EQ(host::resultText(made), "selectZylContext1");
    const MPxContext* tool = host::view::interaction().findContext("selectZylContext1");
    ASSERT_NE(tool, nullptr);
    EXPECT_EQ(tool->titleString(), MString(" Zyl interactive selection"));
    EXPECT_EQ(tool->image(MPxContext::kImage1), MString("zylToolIcon.xpm"));

    const MSelectionMask verts(MSelectionMask::kSelectMeshVerts), faces(MSelectionMask::kSelectMeshFaces);
    const MSelectionMask toolMask(MSelectionMask::kSelectToolComponent);
    for (const auto mode : {MGlobal::kSelectComponentMode, MGlobal::kSelectObjectMode}) {
        SCOPED_TRACE(mode);
        MGlobal::setSelectionMode(mode);
        MGlobal::setComponentSelectionMask(verts);
        MGlobal::setObjectSelectionMask(faces);
        ASSERT_TRUE(mel("useTool selectZylContext1"));
        EXPECT_EQ(tool->helpString(), MString("select zyl entities interactively when a zyl window is open"));
        EXPECT_EQ(tool->cursor(), MCursor::doubleCrossHairCursor);
        ASSERT_TRUE(mel("toolEvent -press 10 10; toolEvent -hold 40 30; toolEvent -release 50 60"));
        EXPECT_EQ(MGlobal::selectionMode(), MGlobal::kSelectObjectMode);
        EXPECT_EQ(MGlobal::componentSelectionMask(), toolMask);
        MGlobal::setObjectSelectionMask(MSelectionMask(MSelectionMask::kSelectCameras));
        ASSERT_TRUE(mel("useTool"));
        EXPECT_EQ(MGlobal::selectionMode(), mode);
        if (mode == MGlobal::kSelectComponentMode) {
            EXPECT_EQ(MGlobal::componentSelectionMask(), verts);
        } else {
            EXPECT_EQ(MGlobal::objectSelectionMask(), faces);
            EXPECT_EQ(MGlobal::componentSelectionMask(), toolMask);  // left as the release set it
        }
    }
    EXPECT_EQ(selectPathCalls(), 2u);
}

TEST_F(SelectContext, MarqueeAndClickReplaceTheSelectionThenRunTheScript) {
    ASSERT_TRUE(mel("makeMesh -cube -n a; makeMesh -cube -n b; setAttr b.translate 3 0.5 0; select b"));
    int ax = 0, ay = 0, bx = 0, by = 0;
    pixel("a", ax, ay);
    pixel("b", bx, by);
    ASSERT_GT(bx - ax, 20);
    ASSERT_TRUE(mel("selectZylContext tool; useTool tool"));

    // Dragged from the top right to the bottom left around a only: a tall, narrow box
    // that finds a only when the marquee's corners reach the screen selection in order.
    const std::string right = std::to_string(ax + 3), top = std::to_string(ay + 40);
    const std::string left = std::to_string(ax - 3), bottom = std::to_string(ay - 2);
    ASSERT_TRUE(mel("toolEvent -press " + right + " " + top + "; toolEvent -hold 0 0; toolEvent -release " + left +
                    " " + bottom));
    EXPECT_EQ(selected(), Strings{"a"});
    EXPECT_EQ(selectPathCalls(), 1u);

    // A click without a drag picks the object nearest to the point.
    const std::string at = std::to_string(bx) + " " + std::to_string(by);
    ASSERT_TRUE(mel("toolEvent -press " + at + "; toolEvent -release " + at));
    EXPECT_EQ(selected(), Strings{"b"});
    EXPECT_EQ(selectPathCalls(), 2u);

    // A click on nothing empties the selection and still hands over to the script.
    ASSERT_TRUE(mel("toolEvent -press 0 0; toolEvent -release 0 0"));
    EXPECT_TRUE(selected().empty());
    EXPECT_EQ(selectPathCalls(), 3u);
    EXPECT_EQ(count(host::LogKind::Error), 0u);
}

}  // namespace
}  // namespace zyltest
