#include <cmath>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "engine/world/privateWorld.h"
#include "src/collisionShapeNode.h"
#include "src/sceneCallbacks.h"
#include "solverTestSupport.h"

namespace zyltest {
namespace {

class SolverFrame : public SolverTest {
protected:
    // A unit box 3 above the ground plane, caching every frame of the play range.
    rigidBodyNode* fallingBox() {
        makeSolver();
        rigidBodyNode* rb = box("box", 3);
        run("setAttr zylSolverNode1.ugrid 1; setAttr zylSolverNode1.cacheSize 48; getAttr zylSolverNode1.cchs");
        return rb;
    }
    static double height() { return number("box.ty"); }
};

// An engine world of the test's own, set up as the solver sets up its world, holding a
// copy of the box built from the same collision mesh.
struct ReferenceWorld {
    PrivateWorld world;
    HardBody* body = nullptr;

    explicit ReferenceWorld(const HardBody& original, ZYLmesh* mesh, double mass) {
        world.reset();
        world.SetGravity(Qmt::QmtVector3(0.0, static_cast<float>(-9.81), 0.0));
        world.worldFlags |= WORLD_GRAVITY | WORLD_BODY_DEACTIVATION;
        world.enableContactGroups();
        body = createHullBody(mesh);
        body->setMass(static_cast<float>(mass));
        body->setRestitutionCoeff(original.getRestitutionCoeff());
        body->setFrictionCoeff(original.getFrictionCoeff());
        body->setAirDampingCoeff(original.getAirDampingCoeff());
        body->setAirDampingCoeff2(original.getAirDampingCoeff2());
        Qmt::QmtMatrix3 rotation;
        original.getDyn().orientation.ToRotationMatrix(rotation);
        body->init(original.getDyn().position, rotation, Qmt::QmtVector3(1, 1, 1));
        body->transform.index = original.transform.index;
        Qmt::QmtVector3 up(0, 1, 0);
        world.addBody(body, 0);
        world.addBody(createBarrierBody(Qmt::QmtVector3::ZERO, up), 0);
        world.clear();
    }
    // One frame of 1/24 s in the solver's five substeps.
    void stepFrame() {
        const double dt = MTime(1.0, MTime::kFilm).as(MTime::kSeconds) / 5;
        for (int i = 0; i < 5; ++i) {
            world.manageCollisions(dt);
            world.step(dt, nullptr);
        }
    }
};

// The first frame resets, the second starts the run's clock, and from the third on each
// frame is five steps of the world; the body's pose is that of a world stepped by hand.
TEST_F(SolverFrame, FramesAreFiveWorldStepsEach) {
    rigidBodyNode* rb = fallingBox();
    frame(1);
    frame(2);
    EXPECT_EQ(height(), 3.0);
    HardBody* body = rb->getBody(false);
    auto* shape = userNodeAs<collisionShapeNode>(node("boxCollision"), collisionShapeNode::id);
    ReferenceWorld reference(*body, shape->getCollisionMesh(), number("boxBody.mass"));
    for (int f = 3; f <= 48; ++f) {
        frame(f);
        reference.stepFrame();
        ASSERT_EQ(body->getDyn().position, reference.body->getDyn().position) << "frame " << f;
        ASSERT_EQ(body->getDyn().orientation, reference.body->getDyn().orientation) << "frame " << f;
    }
    EXPECT_LT(height(), 3.0);
    EXPECT_NEAR(height(), 0.5, 1e-3);


    // The end of the range prints the run's time and turns cached play-back on.
    EXPECT_EQ(number("zylSolverNode1.cm"), 1);
    rt().idle.flush();
    EXPECT_TRUE(logged(host::LogKind::Print, "\n simulation time 0::0::"));
    EXPECT_TRUE(logged(host::LogKind::Print, " ZYL bake cached mode is active "));
}

// No substeps at all still steps once a frame.
TEST_F(SolverFrame, ZeroSubstepsStillStepOnceAFrame) {
    fallingBox();
    run("setAttr zylSolverNode1.substeps 0");
    for (int f = 1; f <= 5; ++f) frame(f);
    EXPECT_TRUE(std::isfinite(height()) && height() < 3.0);
}

// A box placed beyond single precision builds no body, and says so; one whose rotate
// pivot lies beyond it steps with its transform finite.
TEST_F(SolverFrame, TransformsBeyondSinglePrecisionNeverTurnInfinite) {
    makeSolver();
    run("makeMesh -cube -s 1 -n far; xform -t 0 0 1e39 far");
    EXPECT_FALSE(wire("far")->getBody(false));
    EXPECT_TRUE(logged(host::LogKind::Warning, "body farBody lies beyond single-precision range: no body is built"));
    run("makeMesh -cube -s 1 -n pivoted; setAttr pivoted.rotatePivot 0 3.4028236e38 0; xform -t 0 3 0 pivoted");
    ASSERT_TRUE(wire("pivoted")->getBody(false));
    for (int f = 1; f <= 4; ++f) frame(f);
    for (const char* channel : {"translateX", "translateY", "translateZ"})
        EXPECT_TRUE(std::isfinite(number(std::string("pivoted.") + channel))) << channel;
}

// Scrubbing back replays cached frames, a jump of two frames ahead does nothing, and
// without caches only the start frame moves the box.
TEST_F(SolverFrame, CachesServeTheFramesAlreadySimulated) {
    rigidBodyNode* rb = fallingBox();
    double heights[11] = {};
    for (int f = 1; f <= 10; ++f) {
        frame(f);
        heights[f] = height();
    }
    EXPECT_EQ(heights[1], heights[2]);
    EXPECT_LT(heights[3], heights[2]);
    frame(12);
    EXPECT_EQ(height(), heights[10]);
    frame(4);
    EXPECT_EQ(height(), heights[4]);
    frame(5);
    EXPECT_EQ(height(), heights[5]);
    // Frames the cache does not hold leave the transform alone.
    rb->playBackFrame(static_cast<int>(rb->frameCache.count));
    rb->playBackFrame(-1);
    EXPECT_EQ(height(), heights[5]);

    run("setAttr zylSolverNode1.cacheActive 0");
    frame(3);
    EXPECT_EQ(height(), heights[5]);
    frame(1);
    EXPECT_EQ(height(), 3.0);
}

// The play range sets the cache size and raises the start frame; save and export go
// back to the start.
TEST_F(SolverFrame, PlayRangeAndSceneMessagesMoveTheStart) {
    fallingBox();
    run("playbackOptions -min 5 -max 100");
    EXPECT_EQ(number("zylSolverNode1.cacheSize"), 96);
    EXPECT_EQ(number("zylSolverNode1.startFrame"), 5);
    rt().idle.flush();
    EXPECT_TRUE(logged(host::LogKind::Recorded, "updateZylSolverPanel"));
    run("playbackOptions -min 2");
    EXPECT_EQ(number("zylSolverNode1.cacheSize"), 99);
    EXPECT_EQ(number("zylSolverNode1.startFrame"), 5);

    for (int f = 5; f <= 9; ++f) frame(f);
    EXPECT_LT(height(), 3.0);
    run("sceneMessage 9");
    EXPECT_EQ(MAnimControl::currentTime().value(), 2.0);
    EXPECT_EQ(height(), 3.0);
}

class BatchSolverFrame : public SolverFrame {
protected:
    bool batch() const override { return true; }
};

TEST_F(BatchSolverFrame, EachTimeChangePrintsItsNumber) {
    frame(2);
    makeSolver();
    frame(3);
    EXPECT_TRUE(logged(host::LogKind::Print, "\nbaking frame..0"));
    EXPECT_TRUE(logged(host::LogKind::Print, "\nbaking frame..1"));
    EXPECT_EQ(bakedFrameCounter, 2);
}

// A body keyed along x and set to follow its animation moves with its keys: the
// engine body gets the frame's velocity and reaches the transform's pose.
TEST_F(SolverFrame, AnimatedBodyFollowsItsKeys) {
    makeSolver();
    run("makeMesh -cube -s 1 -n box; xform -t 0 3 0 box");
    run("setKeyframe -at translateX -t 1 -v 0 box; setKeyframe -at translateX -t 11 -v 10 box");
    rigidBodyNode* rb = wire("box");
    run("setAttr boxBody.passive 2; getAttr boxBody.caas");
    HardBody* body = rb->getBody(false);
    ASSERT_TRUE(body && body->isStatic());
    for (int f = 1; f <= 4; ++f) frame(f);
    EXPECT_NEAR(body->getDyn().v.x, 24.0, 1e-9);
    EXPECT_EQ(body->getDyn().w, Qmt::QmtVector3::ZERO);
    EXPECT_NEAR(body->getDyn().position.x, 3.0, 1e-6);
    EXPECT_NEAR(body->getDyn().position.y, 3.0, 1e-6);

    // Through the next frame's motion, with the solver held at frame 4.
    run("disconnectAttr time1.outTime zylSolverNode1.inTime; currentTime 5");
    rb->captureKinematicTarget();
    for (const double s : {0.0, 0.5, 1.0}) {
        rb->interpolateKinematic(s, MTime(4.0), MTime(5.0));
        EXPECT_NEAR(body->getDyn().position.x, 3.0 + s, 1e-6);
    }
}

// A deforming triangle mesh whose collision mesh has more points than the body's mesh:
// only the shared points get velocities.
TEST_F(SolverFrame, DeformingMeshWithMorePointsStaysInBounds) {
    makeSolver();
    run("makeMesh -cube -s 1 -n box");
    std::string points, faces;
    for (int t = 0; t < 6; ++t) {
        const std::string x = std::to_string(3 * t);
        points += x + " 0 0 " + x + " 1 0 " + x + " 0 1 ";
        faces += std::to_string(3 * t) + " " + std::to_string(3 * t + 1) + " " + std::to_string(3 * t + 2) + ";";
    }
    run("makeMesh -n tris -pts \"" + points + "\" -fc \"" + faces + "\"");
    rigidBodyNode* rb = wire("box", 3);
    run("setAttr boxCollision.ac 1; connectAttr -f trisShape.worldMesh[0] boxCollision.inShape");
    ZYLmesh* mesh = rb->getBody(false)->getMesh();
    ASSERT_EQ(mesh->numVertices, 8u);
    rb->setKinematicVelocity(1.0 / 24.0, MTime(1.0), MTime(2.0));
    EXPECT_EQ(mesh->velocityFlag, 1);
}

// Field forces add up on a body that takes them; a resting first-hit body that a field
// pushes wakes up; and a field in the scene ends cached play-back at the start.
TEST_F(SolverFrame, FieldsPushBodiesThatTakeThem) {
    rigidBodyNode* rb = fallingBox();
    run("makeField -t uniform -m 10 -d 1 0 0 -n east; makeField -t uniform -m 5 -d 0 0 1 -n north");
    run("connectAttr east.message boxBody.fieldList[0]; connectAttr north.message boxBody.fieldList[1]");
    run("makeMesh -cube -s 1 -n rock; xform -t 5 0.5 0 rock");
    rigidBodyNode* rock = wire("rock");
    run("setAttr rockBody.passive 1; setAttr rockBody.firstHitActive 1; getAttr rockBody.caas");
    run("connectAttr east.message rockBody.fieldList[0]");
    for (int f = 1; f <= 3; ++f) frame(f);
    EXPECT_EQ(rb->getBody(false)->getExternalForces(), Qmt::QmtVector3::ZERO);
    EXPECT_TRUE(rock->getBody(false)->isStatic());

    run("setAttr boxBody.affectForceFields 1; getAttr boxBody.caff");
    run("setAttr rockBody.affectForceFields 1; getAttr rockBody.caff");
    frame(4);
    EXPECT_EQ(rb->getBody(false)->getExternalForces(), Qmt::QmtVector3(10, 0, 5));
    // Woken in the frame's first substep, the rock takes the field from the next one.
    EXPECT_FALSE(rock->getBody(false)->isStatic());
    EXPECT_EQ(rock->getBody(false)->getExternalForces(), Qmt::QmtVector3(10, 0, 0));

    run("setAttr zylSolverNode1.cm 1");
    frame(1);
    EXPECT_EQ(number("zylSolverNode1.cm"), 0);
}

// Two runs of the same scene write the same frames, byte for byte.
TEST(SolverRuns, RepeatRunsWriteTheSameFrames) {
    // The scene scripts sit next to the user-interface script's folder's parent.
    const std::filesystem::path scene = std::filesystem::path(HOST_UI_DIR) / "../../tests/scenes/solverFalls.mel";
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("zylSolverRuns" + std::to_string(getpid()));
    std::filesystem::remove_all(dir);
    const auto runTo = [&](const std::string& out) {
        const std::string cmd = "cd '" + dir.parent_path().string() + "' && '" HOSTRUN_PATH "' --batch --plugin '" +
                                std::string(ZYL_MODULE_PATH) + "' --frames 1:48 --out '" + (dir / out).string() +
                                "' --obj --csv '" + scene.string() + "' > /dev/null 2>&1";
        const int status = std::system(cmd.c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    };
    ASSERT_EQ(runTo("a"), 0);
    ASSERT_EQ(runTo("b"), 0);
    const auto read = [](const std::filesystem::path& path) {
        std::ifstream in(path, std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    };
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir / "a")) {
        EXPECT_EQ(read(entry.path()), read(dir / "b" / entry.path().filename())) << entry.path().filename();
        ++files;
    }
    EXPECT_EQ(files, 49);  // 48 frames and the transforms
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace zyltest
