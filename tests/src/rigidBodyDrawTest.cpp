// The rigid-body locator's drawing, captured in GL feedback mode the way the view
// draws it: when it draws, in which colour, and where its outline lies.

#include <algorithm>
#include <string>
#include <vector>

#include "engine/bodies/hardBody.h"
#include "host/view/feedback.h"
#include "host/view/projection.h"
#include "host/view/viewState.h"
#include "moduleTestSupport.h"
#include "src/fractureBodyNode.h"
#include "src/nodeHelpers.h"
#include "src/rigidBodyNode.h"
#include "src/solverNode.h"

namespace zyltest {
namespace {

using hosttest::FeedbackPrimitive;

class RigidBodyDraw : public ModuleTest {
protected:
    void SetUp() override {
        ModuleTest::SetUp();
        loadModule();
        if (std::string why; !hosttest::haveView(why)) GTEST_SKIP() << why;
    }

    // The mesh wired to a collision shape of the type and a body under its transform,
    // built at once.
    static rigidBodyNode* body(const std::string& mesh, int type) {
        const std::string shape = mesh + "Collision", name = mesh + "Body";
        run("createNode zylCollisionShape -n " + shape + "; createNode zylRigidBody -n " + name + " -p " + mesh);
        run("connectAttr " + mesh + "Shape.worldMesh[0] " + shape + ".inShape");
        run("setAttr " + shape + ".type " + std::to_string(type));
        run("connectAttr " + shape + ".outCollisionType " + name + ".inCollisionType");
        auto* rb = user<rigidBodyNode>(name);
        EXPECT_TRUE(rb && rb->getBody(true));
        return rb;
    }
    static std::vector<FeedbackPrimitive> draw(const std::string& name) { return hosttest::feedbackDraw(name); }

    // The colour of the first primitive drawn.
    static std::vector<float> colour(const std::vector<FeedbackPrimitive>& prims) {
        if (prims.empty() || prims[0].vertices.empty()) return {};
        const float* c = prims[0].vertices[0].color;
        return {c[0], c[1], c[2], c[3]};
    }

    // Every outline vertex lies on a corner of the mesh in the view, and every corner is met.
    static void expectOutlineOnMesh(const std::vector<FeedbackPrimitive>& prims, const std::string& mesh) {
        MPointArray corners;
        MFnMesh(path(mesh + "Shape")).getPoints(corners, MSpace::kWorld);
        std::vector<bool> met(corners.length());
        ASSERT_FALSE(prims.empty());
        for (const FeedbackPrimitive& p : prims) {
            for (const auto& v : p.vertices) {
                double best = 1e9;
                unsigned nearest = 0;
                for (unsigned i = 0; i < corners.length(); ++i) {
                    const MPoint w = hosttest::windowPoint(corners[i]);
                    const double d = std::hypot(w.x - v.x, w.y - v.y);
                    if (d < best) best = d, nearest = i;
                }
                EXPECT_LT(best, 0.01) << mesh;
                met[nearest] = true;
            }
        }
        EXPECT_TRUE(std::ranges::all_of(met, [](bool b) { return b; })) << mesh;
    }
};

TEST_F(RigidBodyDraw, ShowsOnlyWhatItShouldInTheStateColours) {
    run("makeMesh -cube -n crate; xform -t 0 1 0 crate; makeMesh -cube -n wall; xform -t 2 0 0 wall");
    body("crate", 2);
    rigidBodyNode* wall = body("wall", 2);
    run("setAttr wallBody.passive 1");
    MPlug(wall->thisMObject(), rigidBodyNode::ca_activeState).asBool();
    run("select -cl");

    // Only selected bodies are shown at first: selecting the transform shows its body.
    EXPECT_TRUE(draw("crateBody").empty());
    run("select -r crate");
    EXPECT_EQ(draw("crateBody").size(), 24u);  // six quads as outlines
    EXPECT_EQ(colour(draw("crateBody")), (std::vector<float>{0, 1, 0, 1}));
    run("select -r wall");
    EXPECT_EQ(colour(draw("wallBody")), (std::vector<float>{0, 1, 1, 1}));

    displaySelected = false;
    run("select -cl");
    EXPECT_EQ(colour(draw("crateBody")), (std::vector<float>{0, 0.5f, 0, 1}));
    EXPECT_EQ(colour(draw("wallBody")), (std::vector<float>{0, 0, 1, 1}));

    // Selected locators decide alone: the body's transform beside another locator does not count.
    run("select -r crate wallBody");
    EXPECT_EQ(colour(draw("crateBody")), (std::vector<float>{0, 0.5f, 0, 1}));
    EXPECT_EQ(colour(draw("wallBody")), (std::vector<float>{0, 1, 1, 1}));

    // Nothing in wireframe, while playing back, or while the host is busy.
    host::view::state().style = M3dView::kWireFrame;
    EXPECT_TRUE(draw("crateBody").empty());
    host::view::state().style = M3dView::kFlatShaded;
    rt().playingBack = true;
    EXPECT_TRUE(draw("crateBody").empty());
    rt().playingBack = false;
    run("hostOption -busy 1");
    EXPECT_TRUE(draw("crateBody").empty());
    run("hostOption -busy 0");
    EXPECT_FALSE(draw("crateBody").empty());
    EXPECT_EQ(count(host::LogKind::Warning), 0u);  // every draw left the GL state balanced
}

TEST_F(RigidBodyDraw, OutlinesLieOnTheMeshAndCapsulesAreWired) {
    displaySelected = false;
    // Rotated and scaled about its centre, and a mesh lying off its transform's origin.
    run("makeMesh -cube -n crate; xform -t 1 2 -1 -ro 0.3 0.5 0.2 -s 0.5 1 2 crate");
    run("makeMesh -cube -n shard; xform -t 3 0 1 shard; makeIdentity -a 1 shard");
    body("crate", 2);
    body("shard", 2);
    expectOutlineOnMesh(draw("crateBody"), "crate");
    expectOutlineOnMesh(draw("shardBody"), "shard");
    // The transform moves with the body: the outline follows.
    run("xform -t 4 0 0 -ro 0 1 0 crate");
    expectOutlineOnMesh(draw("crateBody"), "crate");

    // A capsule: four lines along it, a ring and two half rings at each end.
    run("makeMesh -cube -n pill; xform -s 1 3 1 pill");
    body("pill", 1);
    const auto prims = draw("pillBody");
    EXPECT_EQ(prims.size(), 4u + 2 * (360 + 180 + 180));
    EXPECT_EQ(count(host::LogKind::Warning), 0u);
}

// Members of a fracture body show whether the body has a selected member: then every
// member is drawn, in the bright colours.
TEST_F(RigidBodyDraw, MembersShowTheirFractureBodysSelection) {
    run("makeMesh -cube -n a; makeMesh -cube -n b; xform -t 2 0 0 b; createNode fBodyNode -n fb");
    rigidBodyNode* members[] = {body("a", 2), body("b", 2)};
    MSelectionList list;
    MObject node;
    list.add("fb");
    list.getDependNode(0, node);
    auto* fb = userNodeAs<FractureBodyNode>(node, FractureBodyNode::id);
    for (rigidBodyNode* rb : members) rb->setOwner(fb);
    members[1]->getBody(false)->enableStatic();

    run("select -r aBody");
    EXPECT_TRUE(draw("bBody").empty());  // the fracture body does not show its selection
    run("setAttr fb.selected 1");
    EXPECT_EQ(colour(draw("aBody")), (std::vector<float>{1, 0.7f, 0, 1}));
    EXPECT_EQ(colour(draw("bBody")), (std::vector<float>{0, 1, 1, 1}));

    displaySelected = false;
    run("select -cl");
    EXPECT_EQ(colour(draw("aBody")), (std::vector<float>{0.7f, 0.4f, 0, 1}));
    EXPECT_EQ(colour(draw("bBody")), (std::vector<float>{0, 0, 1, 1}));
    run("setAttr fb.selected 0; select -r bBody");
    EXPECT_EQ(colour(draw("aBody")), (std::vector<float>{0.7f, 0.4f, 0, 1}));
    EXPECT_EQ(colour(draw("bBody")), (std::vector<float>{0, 1, 1, 1}));
    for (rigidBodyNode* rb : members) rb->setOwner(nullptr);
}

}  // namespace
}  // namespace zyltest
