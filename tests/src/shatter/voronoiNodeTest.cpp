// The shatter history node: its shatter index, its seed lists and their placement.

#include <gtest/gtest.h>

#include <string>

#include "moduleTestSupport.h"
#include "src/shatter/voronoiNode.h"
#include "src/typeIds.h"

namespace {

using Qmt::QmtVector3;

class VoronoiNode : public zyltest::ModuleTest {
protected:
    void SetUp() override {
        ModuleTest::SetUp();
        loadModule();
    }

    static voronoiNode& history(const std::string& name) {
        return *static_cast<voronoiNode*>(MFnDependencyNode(node(name)).userNode());
    }
};

TEST_F(VoronoiNode, TheShatterIndexStartsAtZeroOnLoadAndIsSharedByEveryNode) {
    run("createNode voronoiNode -n first; createNode voronoiNode -n second");
    voronoiNode& first = history("first");
    voronoiNode& second = history("second");
    EXPECT_EQ(first.getIndex(), -1);
    first.bumpIndex();
    EXPECT_EQ(first.getIndex(), 1);
    second.bumpIndex();
    EXPECT_EQ(second.getIndex(), 2);
    first.setCurrentIndex(10);
    second.bumpIndex();
    EXPECT_EQ(second.getIndex(), 11);
    EXPECT_EQ(first.getIndex(), 1);

    // A new load starts over.
    host::runtime().reset();
    ASSERT_TRUE(host::runtime().loadStaticModule(initializeModule, uninitializeModule, "zylMaya3x"));
    run("createNode voronoiNode -n third");
    history("third").bumpIndex();
    EXPECT_EQ(history("third").getIndex(), 1);
}

TEST_F(VoronoiNode, FewerSeedsKeepTheOlderElementsAndPreviousSeedsAccumulate) {
    run("createNode voronoiNode -n vor");
    voronoiNode& vor = history("vor");
    const QmtVector3 three[] = {{1, 2, 3}, {4, 5, 6}, {7, 8, 9}};
    const QmtVector3 two[] = {{-1, -2, -3}, {0.5, 0.25, 0.125}};
    vor.setPoints(three, 3);
    vor.setPoints(two, 2);
    EXPECT_EQ(vor.numPoints(), 3u);
    EXPECT_EQ(vor.record.points.length(), 2u);
    EXPECT_EQ(vor.getPoint(0, false), MPoint(-1, -2, -3));
    EXPECT_EQ(vor.getPoint(1, false), MPoint(0.5, 0.25, 0.125));
    EXPECT_EQ(vor.getPoint(2, false), MPoint(7, 8, 9));
    EXPECT_EQ(vor.getPoint(3, false), MPoint(0, 0, 0));
    EXPECT_EQ(vor.record.points[1], MPoint(0.5, 0.25, 0.125, 1));

    vor.setPreviousPoints(two, 2);
    vor.setPreviousPoints(three, 1);
    MPointArray previous;
    vor.getPreviousPoints(previous, false);
    ASSERT_EQ(previous.length(), 3u);
    EXPECT_EQ(previous[2], MPoint(1, 2, 3));

    // The seeds' flag is computed clean; the shape's is not the node's to handle.
    MDataBlock block(0);
    EXPECT_EQ(vor.compute(MPlug(node("vor"), voronoiNode::ca_shape), block), MS::kUnknownParameter);
    EXPECT_FALSE(MPlug(node("vor"), voronoiNode::ca_shape).asBool());
}

TEST_F(VoronoiNode, WorldPointsArePlacedByTheNodesParentTransforms) {
    run("createNode transform -n group; createNode transform -n holder -p group; createNode voronoiNode -n vor -p holder;"
        "setAttr group.translate 1 2 3; setAttr holder.scale 2 2 2");
    voronoiNode& vor = history("vor");
    const QmtVector3 seed[] = {{1, 1, 1}};
    vor.setPoints(seed, 1);
    vor.setPreviousPoints(seed, 1);
    EXPECT_EQ(vor.getPoint(0, true), MPoint(3, 4, 5));
    MPointArray previous(1, MPoint(9, 9, 9));
    vor.getPreviousPoints(previous, true);
    ASSERT_EQ(previous.length(), 2u);
    EXPECT_EQ(previous[1], MPoint(3, 4, 5));
}

}  // namespace
