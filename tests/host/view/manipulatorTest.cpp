// Manipulator containers: showManip, dragManip, and their lifetime.

#include "hostTestSupport.h"
#include "host/view/interaction.h"

namespace {

using host::view::interaction;

class ManipulatorTest : public hosttest::HostTest {
protected:
    void SetUp() override {
        HostTest::SetUp();
        toy::ToolStats::reset();
    }
    // A point locator showing `count` of its three points (k, k + 1, k + 2) · 10.
    static void makeLocator(const std::string& name, int count) {
        std::string script = "createNode toyPointLocator -n " + name + "; setAttr " + name + ".count " +
                             std::to_string(count) + ";";
        for (int k = 0; k < 3; ++k)
            script += " setAttr " + name + ".points[" + std::to_string(k) + "] " + std::to_string(10 * k) + " " +
                      std::to_string(10 * k + 1) + " " + std::to_string(10 * k + 2) + ";";
        ASSERT_TRUE(mel(script)) << script;
    }
    static std::vector<const host::view::Triad*> triads() {
        const auto shown = interaction().shownContainers();
        return shown.size() == 1 ? interaction().triadsOf(shown[0]) : std::vector<const host::view::Triad*>{};
    }
};

TEST_F(ManipulatorTest, ShowManipConnectsTheWantedTriadsAndDragWritesThenReleases) {
    loadToy();
    makeLocator("pl", 2);
    EXPECT_FALSE(mel("showManip time1"));  // not in the connect table
    ASSERT_TRUE(mel("showManip pl"));
    const auto t = triads();
    ASSERT_EQ(t.size(), 3u);
    for (int k = 0; k < 3; ++k) {
        EXPECT_EQ(t[k]->name, "pointManip");
        EXPECT_EQ(t[k]->pointName, "freePoint");
        EXPECT_EQ(t[k]->visible, k < 2) << k;
        EXPECT_EQ(t[k]->plug.isNull(), k >= 2) << k;
    }
    EXPECT_EQ(t[1]->plug.name(), MString("pl.points[1]"));
    EXPECT_TRUE(t[1]->point.isEquivalent(MPoint(10, 11, 12)));

    melText("getAttr pl.changed");  // clean now
    const int computes = toy::ToolStats::pointComputes;
    ASSERT_TRUE(mel("dragManip 0 -1 2.5 7"));
    EXPECT_EQ(melText("getAttr pl.points[0]"), "-1\n2.5\n7\n");
    EXPECT_TRUE(t[0]->point.isEquivalent(MPoint(-1, 2.5, 7)));
    // The release pulled the output, which the write had dirtied: it saw the moved point.
    EXPECT_EQ(toy::ToolStats::releases, 1);
    EXPECT_EQ(toy::ToolStats::pointComputes, computes + 1);
    EXPECT_TRUE(toy::ToolStats::computedPoint.isEquivalent(MPoint(-1, 2.5, 7)));

    EXPECT_FALSE(mel("dragManip 2 0 0 0"));  // hidden
    EXPECT_FALSE(mel("dragManip 3 0 0 0"));
    EXPECT_FALSE(mel("dragManip 0 0 0"));
    EXPECT_EQ(toy::ToolStats::releases, 1);
    EXPECT_EQ(melText("getAttr pl.points[2]"), "20\n21\n22\n");

    // The view draws shown containers; without a GL context this only records.
    EXPECT_TRUE(M3dView::active3dView().refresh(false, true));
    EXPECT_EQ(count(host::LogKind::Warning), 0u) << rt().log.text();
}

TEST_F(ManipulatorTest, ContainerGoesWithItsNodeWithTheNextShowAndBeforeTheModule) {
    loadToy();
    const std::size_t callbacks = rt().messages.entries().size();
    makeLocator("a", 1);
    makeLocator("b", 3);
    ASSERT_TRUE(mel("showManip a"));
    EXPECT_EQ(toy::ToolStats::containersAlive, 1);
    ASSERT_TRUE(mel("delete a"));
    EXPECT_EQ(toy::ToolStats::containersAlive, 0);
    EXPECT_TRUE(interaction().shownContainers().empty());
    EXPECT_EQ(rt().messages.entries().size(), callbacks);
    EXPECT_FALSE(mel("dragManip 0 1 1 1"));

    ASSERT_TRUE(mel("showManip b"));
    ASSERT_TRUE(mel("showManip b"));  // the one shown before goes
    EXPECT_EQ(toy::ToolStats::containersAlive, 1);
    EXPECT_EQ(triads().size(), 3u);
    ASSERT_TRUE(mel("showManip"));
    EXPECT_EQ(toy::ToolStats::containersAlive, 0);

    ASSERT_TRUE(mel("showManip b"));
    ASSERT_TRUE(rt().modules.unload("toyModule"));
    EXPECT_EQ(toy::ToolStats::containersAlive, 0);
    EXPECT_TRUE(interaction().shownContainers().empty());
    EXPECT_EQ(rt().messages.entries().size(), 0u);
}

// With a module that is really unmapped: its tools and manipulators go first.
TEST_F(ManipulatorTest, UnloadPluginDestroysToolsAndManipulatorsBeforeUnmapping) {
    ASSERT_TRUE(mel(std::string("loadPlugin \"") + TOY_MODULE_PATH + "\""));
    makeLocator("pl", 2);
    ASSERT_TRUE(mel("showManip pl; dragManip 1 1 2 3; toySelectContext t; useTool t; toolEvent -press 1 1"));
    ASSERT_TRUE(mel("unloadPlugin toyModule"));
    EXPECT_TRUE(interaction().shownContainers().empty());
    EXPECT_EQ(melText("useTool -q"), "");
    EXPECT_FALSE(mel("toolEvent -release 1 1"));
    EXPECT_EQ(count(host::LogKind::Warning), 0u) << rt().log.text();
}

}  // namespace
