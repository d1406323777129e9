// The shatter preview: zylShatterPreview filling the locator, the locator placing its
// points again when a centre moves, the manipulator, the drawing, and shatters that
// cut with the preview: again over an earlier shatter, back with -undoLast, and undone.

#include <gtest/gtest.h>

#include <GL/gl.h>

#include <string>
#include <vector>

#include "host/view/feedback.h"
#include "host/view/interaction.h"
#include "shatterTestSupport.h"
#include "src/shatter/shatterLocator.h"
#include "src/shatter/voronoiNode.h"

namespace {

class ShatterPreview : public zyltest::ShatterTest {
protected:
    void SetUp() override {
        ShatterTest::SetUp();
        ASSERT_TRUE(mel("makeMesh -cube -size 2 -name block; setAttr block.translate 3 0 0;"
                        "createNode ShatterLocator -n loc -p block"));
    }

    static ShatterLocatorNode& locator() {
        return *static_cast<ShatterLocatorNode*>(MFnDependencyNode(node("loc")).userNode());
    }
    static MStatus run(const std::string& text) {
        const MStatus status = mel(text);
        rt().idle.flush();
        return status;
    }
    // The history node of the group's history holder.
    static voronoiNode* historyIn(const std::string& group) {
        const MDagPath p = path(group);
        for (unsigned i = 0; i < p.childCount(); ++i) {
            const MFnDagNode child(p.child(i));
            if (child.childCount() == 1)
                if (auto* vor = dynamic_cast<voronoiNode*>(MFnDependencyNode(child.child(0)).userNode())) return vor;
        }
        return nullptr;
    }
    static MPoint centre(unsigned k) {
        const MPlug e = MPlug(node("loc"), ShatterLocatorNode::shatter_pos).elementByLogicalIndex(k);
        return MPoint(e.child(0).asDouble(), e.child(1).asDouble(), e.child(2).asDouble());
    }
    static bool inBlock(const MPoint& local) {  // the locator's space is the block's
        return std::abs(local.x) <= 1.0 && std::abs(local.y) <= 1.0 && std::abs(local.z) <= 1.0;
    }
};

TEST_F(ShatterPreview, ThePreviewFillsTheLocatorOnlyWhenAskedToDrawPoints) {
    EXPECT_TRUE(mel("zylShatterPreview -ns 6 -sed 2 block"));
    EXPECT_EQ(locator().record.points.length(), 0u);
    EXPECT_FALSE(mel("zylShatterPreview -ns 6 -st 5 -dp block"));
    EXPECT_TRUE(rt().log.contains(host::LogKind::Error, "path not present"));
    ASSERT_TRUE(mel("createNode transform -n empty; makeMesh -cube -n bare"));
    EXPECT_FALSE(mel("zylShatterPreview -dp empty"));
    EXPECT_TRUE(rt().log.contains(host::LogKind::Info, " no poly object selected"));
    EXPECT_TRUE(mel("zylShatterPreview -ns 4 -dp bare"));

    ASSERT_TRUE(mel("zylShatterPreview -ns 6 -sed 2 -nr 2 -dp block"));
    const ShatterLocatorNode& loc = locator();
    ASSERT_EQ(loc.record.points.length(), 6u);
    for (const MPoint& p : loc.record.points) EXPECT_TRUE(inBlock(p)) << p.x << " " << p.y << " " << p.z;
    EXPECT_EQ(loc.record.rings, 3);
    EXPECT_EQ(loc.record.style, 0xFFFF);
    EXPECT_DOUBLE_EQ(loc.width, double(0.01f));
    EXPECT_TRUE(loc.boundingBox().contains(loc.record.points[3]));
    // The five centre slots, the first the centre of the block's world box.
    EXPECT_EQ(MPlug(node("loc"), ShatterLocatorNode::shatter_pos).numElements(), 5u);
    EXPECT_TRUE(centre(0).isEquivalent(MPoint(3, 0, 0), 1e-6));
    EXPECT_EQ(MPlug(node("loc"), ShatterLocatorNode::numLoc).asInt(), 1);
}

TEST_F(ShatterPreview, TheManipulatorMovesTheCentresAndTheLocatorFollowsWithSeedOne) {
    ASSERT_TRUE(mel("zylShatterPreview -ns 12 -st 2 -noc 2 -sed 4 -dp block"));
    EXPECT_EQ(MPlug(node("loc"), ShatterLocatorNode::numLoc).asInt(), 2);
    ASSERT_TRUE(mel("showManip loc"));
    const auto containers = rt().interaction().shownContainers();
    ASSERT_EQ(containers.size(), 1u);
    const auto triads = rt().interaction().triadsOf(containers[0]);
    ASSERT_EQ(triads.size(), 5u);
    for (unsigned k = 0; k < 5; ++k) {
        EXPECT_EQ(triads[k]->visible, k < 2) << k;
        EXPECT_EQ(triads[k]->name, "pointManip");
        EXPECT_EQ(triads[k]->pointName, "freePoint");
    }
    EXPECT_TRUE(triads[1]->point.isEquivalent(centre(1)));

    const MPoint start = centre(0);
    ASSERT_TRUE(mel("dragManip 0 3.5 0.5 0"));
    EXPECT_TRUE(centre(0).isEquivalent(MPoint(3.5, 0.5, 0)));
    const MPointArray moved = locator().record.points;
    ASSERT_EQ(moved.length(), 12u);
    ASSERT_TRUE(mel("dragManip 0 " + std::to_string(start.x) + " " + std::to_string(start.y) + " " +
                    std::to_string(start.z)));
    EXPECT_FALSE(locator().record.points == moved);
    ASSERT_TRUE(mel("dragManip 0 3.5 0.5 0"));
    EXPECT_TRUE(locator().record.points == moved);
}

TEST_F(ShatterPreview, TheLocatorDrawsItsPointsAndItsLabel) {
    rt().reset();
    rt().options.scriptPath = {HOST_UI_DIR};
    loadModule(false);
    std::string why;
    if (!hosttest::haveView(why)) GTEST_SKIP() << why;
    ASSERT_TRUE(mel("makeMesh -cube -size 2 -name block; setAttr block.translate 3 0 0;"
                    "createNode ShatterLocator -n loc -p block; zylShatterPreview -ns 5 -sed 2 -dp block"));
    const Qmt::QmtVector3 previous[] = {{3, 0, 0}, {3.5, 0, 0}};
    locator().setPreviousPointsLocal(previous, 2);

    host::view::state().texts.clear();
    const auto drawn = hosttest::feedbackDraw("loc");
    std::vector<const hosttest::FeedbackPrimitive*> points;
    for (const auto& p : drawn)
        if (p.token == GL_POINT_TOKEN) points.push_back(&p);
    ASSERT_EQ(points.size(), 7u);
    for (std::size_t i = 0; i < points.size(); ++i) {
        const float* c = points[i]->vertices[0].color;
        EXPECT_EQ(c[1], i < 5 ? 1.0f : 0.0f) << i;
        EXPECT_EQ(c[2], 1.0f) << i;
    }
    ASSERT_EQ(host::view::state().texts.size(), 1u);
    const auto& label = host::view::state().texts[0];
    EXPECT_EQ(label.text, "Kelvane Preview Mode");
    EXPECT_EQ(label.color, MColor(0, 1, 0, 1));
    EXPECT_EQ(label.alignment, M3dView::kLeft);
    EXPECT_TRUE(label.position.isEquivalent(MPoint(3, 0, 0)));
}

TEST_F(ShatterPreview, APreviewShatterCutsAgainGoesBackWithUndoLastAndUndoesToThePreview) {
    ASSERT_TRUE(mel("zylShatterPreview -ns 6 -sed 2 -dp block"));
    ASSERT_EQ(shatter("block").size(), 6u);
    voronoiNode* first = historyIn("zylShatterGroup");
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->record.previousPoints.length(), 0u);
    EXPECT_FALSE(mel("zylShatter -udl blockShape_shard1"));
    EXPECT_TRUE(rt().log.contains(host::LogKind::Info, "shatter history not found, use undoAll"));
    std::vector<MPoint> firstSeeds;
    for (unsigned i = 0; i < first->numPoints(); ++i) firstSeeds.push_back(first->getPoint(i, false));

    // A new preview around the shards shows the history's seeds too; the shatter cuts
    // with both lists and replaces the old group.
    ASSERT_TRUE(mel("zylShatterPreview -ns 4 -sed 3 -xmn 2 -ymn -1 -zmn -1 -xmx 4 -ymx 1 -zmx 1 -dp block"));
    ASSERT_EQ(locator().record.previousPoints.length(), 6u);
    const auto second = shatter("block");
    EXPECT_EQ(second.size(), 10u);
    voronoiNode* replacing = historyIn("zylShatterGroup");
    ASSERT_NE(replacing, nullptr);
    EXPECT_EQ(replacing->getIndex(), 2);
    ASSERT_EQ(replacing->record.previousPoints.length(), 6u);

    // -undoLast cuts the block again with the seeds of the first shatter.
    rt().commandTrace.clear();
    ASSERT_TRUE(run("zylShatter -udl " + second[0]));
    voronoiNode* back = historyIn("zylShatterGroup");
    ASSERT_NE(back, nullptr);
    ASSERT_EQ(back->numPoints(), 6u);
    EXPECT_EQ(back->record.style, 0);
    EXPECT_TRUE(back->cutMaterialName().empty());
    for (unsigned i = 0; i < 6; ++i) {
        const MPoint p = back->getPoint(i, false);
        EXPECT_TRUE(std::ranges::any_of(firstSeeds, [&](const MPoint& q) { return p.isEquivalent(q, 1e-5); })) << i;
    }
    EXPECT_FALSE(exists(second[0]));
    ASSERT_TRUE(run("undo"));
    ASSERT_TRUE(exists(second[0]));
    // The group comes back from the modifier while the new one still holds its name.
    const MObject restored = MFnDagNode(MFnDagNode(node(second[0])).parent(0)).parent(0);
    EXPECT_EQ(historyIn(MFnDependencyNode(restored).name().str()), replacing);

    // Undoing a shatter made from the preview hides the locator and leaves preview mode;
    // the source stays hidden for it.
    const auto third = shatter("block");
    ASSERT_EQ(third.size(), 10u);
    rt().commandTrace.clear();
    ASSERT_TRUE(run("undo"));
    EXPECT_FALSE(exists(third[0]));
    EXPECT_FALSE(exists("zylShatterGroup"));
    EXPECT_EQ(rt().commandTrace, (std::vector<std::string>{"hide loc", "disableKelvanePreviewMode()", "flushUndo"}));
    EXPECT_FALSE(MFnDependencyNode(node("block")).findPlug("visibility").asBool());
}

}  // namespace
