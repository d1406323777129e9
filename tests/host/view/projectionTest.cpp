// The view's projection without a GL context: the camera's direction, the
// mapping to view pixels, and the camera fit.

#include <random>

#include "host/scene/transformChannels.h"
#include "host/view/projection.h"
#include "host/view/viewState.h"
#include "hostTestSupport.h"

namespace hosttest {
namespace {

class Projection : public HostTest {
protected:
    void SetUp() override {
        HostTest::SetUp();
        rt().options.batch = true;
        host::view::resetViewState();
    }
};

MVector cameraDirection() {
    MDagPath camera;
    M3dView::active3dView().getCamera(camera);
    return MFnCamera(camera).viewDirection(MSpace::kWorld);
}

TEST_F(Projection, FitBringsEveryVisibleMeshIntoTheViewAlongTheSameDirection) {
    const char* const kNames[] = {"m0", "m1", "m2", "m3"};
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> unit(-1, 1);
    for (int round = 0; round < 40; ++round) {
        rt().reset();
        rt().options.batch = true;
        const std::uint64_t cameraTransform = node("viewCamera").id();
        ASSERT_TRUE(host::view::setPortSize(100 + round * 37 % 600, 80 + round * 53 % 400));
        const MVector rotation(unit(rng) * 3, unit(rng) * 3, unit(rng) * 3);
        ASSERT_TRUE(host::dag::writeVector(cameraTransform, "rotate", rotation));
        const int meshes = 1 + round % 4;
        for (int m = 0; m < meshes; ++m) {
            const std::string name = kNames[m];
            mel("makeMesh -cube -size " + std::to_string(0.5 + (unit(rng) + 1) * 3) + " -n " + name);
            mel("setAttr " + name + ".translate " + std::to_string(unit(rng) * 20) + " " + std::to_string(unit(rng) * 20) +
                " " + std::to_string(unit(rng) * 20));
        }
        mel("makeMesh -cube -n far; setAttr far.translate 500 0 0; hide far");  // hidden: not fitted
        const MVector before = cameraDirection();
        ASSERT_TRUE(host::view::fitViewCamera());
        EXPECT_TRUE(cameraDirection().isEquivalent(before, 1e-9));
        EXPECT_TRUE(cameraDirection().isEquivalent((MVector(0, 0, -1) * host::dag::readChannels(cameraTransform).asMatrix()).normal(), 1e-9));

        const auto projection = host::view::currentProjection();
        for (int m = 0; m < meshes; ++m) {
            MFnDagNode shape(node(std::string(kNames[m]) + "Shape"));
            MBoundingBox box = shape.boundingBox();
            box.transformUsing(shape.dagPath().inclusiveMatrix());
            for (int c = 0; c < 8; ++c) {
                const MPoint p(c & 1 ? box.max().x : box.min().x, c & 2 ? box.max().y : box.min().y,
                               c & 4 ? box.max().z : box.min().z);
                double px = 0, py = 0;
                ASSERT_TRUE(host::view::worldToPort(projection, p.x, p.y, p.z, px, py));
                EXPECT_GE(px, 0);
                EXPECT_LE(px, projection.width);
                EXPECT_GE(py, 0);
                EXPECT_LE(py, projection.height);
            }
        }
        // The view direction runs through the middle of the port.
        const MPoint ahead = MPoint() * projection.cameraWorld + cameraDirection() * 10;
        double px = 0, py = 0;
        ASSERT_TRUE(host::view::worldToPort(projection, ahead.x, ahead.y, ahead.z, px, py));
        EXPECT_NEAR(px, projection.width / 2.0, 1e-6);
        EXPECT_NEAR(py, projection.height / 2.0, 1e-6);
        const MPoint behind = MPoint() * projection.cameraWorld - cameraDirection() * 10;
        EXPECT_FALSE(host::view::worldToPort(projection, behind.x, behind.y, behind.z, px, py));
    }
    EXPECT_EQ(count(host::LogKind::Error), 0u);
}

}  // namespace
}  // namespace hosttest
