// The time line as a user drives it: bakes kept until something changes, changes that
// reach the next run, moved and refused ranges, far times, the cache size, and steps
// taken from the frame the scene was built at.

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "host/api/itDag.h"
#include "solverTestSupport.h"
#include "tests/allocationHooks.h"

namespace zyltest {
namespace {

// What a frame shows: every transform's world matrix, in DAG order.
using Frame = std::vector<double>;

class SolverTimeLine : public SolverTest {
protected:
    bool batch() const override { return true; }

    static Frame shown() {
        Frame out;
        for (MItDag it(MItDag::kDepthFirst, MFn::kTransform); !it.isDone(); it.next()) {
            MDagPath p;
            it.getPath(p);
            const MMatrix m = p.inclusiveMatrix();
            for (int r = 0; r < 4; ++r)
                for (int c = 0; c < 4; ++c) out.push_back(m[r][c]);
        }
        return out;
    }
    // The frames from..to, each shown after its time change; index 0 is `from`.
    static std::vector<Frame> play(int from, int to) {
        std::vector<Frame> frames;
        for (int f = from; f <= to; ++f) {
            frame(f);
            frames.push_back(shown());
        }
        return frames;
    }
    // The largest distance any transform's origin moves between two frames.
    static double largestMove(const Frame& a, const Frame& b) {
        double largest = 0;
        for (std::size_t i = 12; i < a.size(); i += 16)
            largest = std::max(largest, std::hypot(a[i] - b[i], a[i + 1] - b[i + 1], a[i + 2] - b[i + 2]));
        return largest;
    }
    // "" when the runs show the same frames, else where they first differ.
    static std::string difference(const std::vector<Frame>& a, const std::vector<Frame>& b) {
        if (a.size() != b.size()) return "frame counts " + std::to_string(a.size()) + ", " + std::to_string(b.size());
        for (std::size_t f = 0; f < a.size(); ++f)
            if (a[f] != b[f])
                return "frame index " + std::to_string(f) + ", move " + std::to_string(largestMove(a[f], b[f]));
        return "";
    }
    static void newScene() { run("file -f -new"); }
    // The module's demo: a wall of shards with a cracker sweeping through it.
    static void demo(int last) {
        std::ifstream in(std::filesystem::path(HOST_UI_DIR) / "../../scenes/demo.mel");
        std::stringstream text;
        text << in.rdbuf();
        run(text.str());
        run("playbackOptions -max " + std::to_string(last) + " -aet " + std::to_string(last));
    }
    // A crate and a lid dropped onto it, over the ground, built at frame 1.
    static void crates() {
        run("playbackOptions -min 1 -max 60 -ast 1 -aet 60; currentTime 1; zylSolver; "
            "setAttr zylSolverNode1.useGroundGrid 1");
        run("makeMesh -cube -name crate; xform -ws -t 4 3 0 -s 0.5 0.5 0.5 crate; new_ZYLBody -st 2 -a 0 crate");
        run("makeMesh -cube -name lid; xform -ws -t 4.1 4 0 -s 0.6 0.2 0.6 lid; new_ZYLBody -st 2 -a 0 lid");
    }
    static bool cachedMode() { return number("zylSolverNode1.cachedMode") != 0; }
    static bool warnedOff() { return logged(host::LogKind::Warning, " ZYL bake cached mode has been deactivated "); }
};

// A bake of a scene with a fracture body is served again after returns to the start
// frame, frame for frame, until a real change ends it.
TEST_F(SolverTimeLine, BakeSurvivesReturnsToTheStartUntilARealChange) {
    demo(60);
    const std::vector<Frame> baked = play(1, 60);
    ASSERT_TRUE(cachedMode());
    frame(1);
    frame(45);
    EXPECT_TRUE(shown() == baked[44]);
    EXPECT_EQ(difference(play(1, 4), std::vector<Frame>(baked.begin(), baked.begin() + 4)), "");
    EXPECT_TRUE(cachedMode());
    EXPECT_FALSE(warnedOff());

    run("setAttr str_meshZylBody1_meshZylBody2.forceStrenght 0.5");
    frame(1);
    EXPECT_FALSE(cachedMode());
    EXPECT_TRUE(warnedOff());
}

// Each change after a bake reaches the next run, which equals a first run of the scene
// made with the new value from the start.
TEST_F(SolverTimeLine, ChangesReachTheNextRun) {
    struct Change {
        std::function<void()> scene;
        std::string edit;
        int last;
    };
    const std::vector<Change> changes = {
        {crates, "setAttr crateZylBody.initialVelocity 3 0 0", 40},
        {crates, "setAttr crateZylBody.mass 40", 40},
        {crates, "setAttr lidZylBody.bounciness 0.9", 40},
        {[] { demo(60); }, "setKeyframe -t 30 -at translateX -v 1.5 striker", 60},
    };
    for (const Change& change : changes) {
        SCOPED_TRACE(change.edit);
        newScene();
        change.scene();
        const std::vector<Frame> bake = play(1, change.last);
        run(change.edit);
        const std::vector<Frame> next = play(1, change.last);
        EXPECT_NE(difference(next, bake), "");
        newScene();
        change.scene();
        run(change.edit);
        EXPECT_EQ(difference(play(1, change.last), next), "");
    }
}

// A run over a moved range starts from every body's and cracker's pose at its new start:
// no first step moves anything further than the scene's speeds carry it.
TEST_F(SolverTimeLine, MovedRangeStartsFromThePosesThere) {
    demo(60);
    play(1, 3);
    run("playbackOptions -min 10 -max 60 -ast 10 -aet 60");
    const std::vector<Frame> frames = play(10, 30);
    frame(10);
    EXPECT_NEAR(number("striker.tx"), -4 + 9 * 6.5 / 29, 1e-6);
    for (std::size_t i = 1; i < frames.size(); ++i)
        EXPECT_LT(largestMove(frames[i - 1], frames[i]), 0.5) << "frame " << 10 + i;
}

// Times beyond the int range are before or after the range like any other time.
TEST_F(SolverTimeLine, TimesBeyondTheIntRange) {
    crates();
    const std::vector<Frame> straight = play(1, 12);
    play(1, 10);
    frame(3e9);
    frame(11);
    EXPECT_TRUE(shown() == straight[10]);
    frame(-3e9);
    const Frame before = shown();
    frame(12);
    EXPECT_TRUE(shown() == before);
}

// A cache size set in the session takes effect at the next run's start, with its
// warning, as it does when the saved scene is opened; a size beyond the play range is
// taken as the range's length, and a cache that cannot be had is reported.
TEST_F(SolverTimeLine, CacheSizeActsInTheSessionAsAfterReopening) {
    const std::string file =
        (std::filesystem::temp_directory_path() / ("zylCacheSize" + std::to_string(getpid()) + ".scene")).string();
    crates();
    play(1, 60);
    const auto runs = [&] {
        std::vector<Frame> frames = play(1, 60);
        frame(50);
        frames.push_back(shown());
        EXPECT_EQ(user<rigidBodyNode>("crateZylBody")->frameCache.capacity, 20);
        EXPECT_TRUE(logged(host::LogKind::Warning, " ZYL cache size is less than current time range "));
        return frames;
    };
    rt().log.clear();
    run("setAttr zylSolverNode1.cacheSize 20; file -rename \"" + file + "\"; file -save");
    const std::vector<Frame> session = runs();
    rt().log.clear();
    run("file -f -o \"" + file + "\"");
    EXPECT_EQ(difference(runs(), session), "");
    std::filesystem::remove(file);

    run("setAttr zylSolverNode1.cacheSize 2000000000");
    frame(1);
    EXPECT_EQ(user<rigidBodyNode>("crateZylBody")->frameCache.capacity, 60);
    EXPECT_TRUE(logged(host::LogKind::Warning,
                       " ZYL cache size 2000000000 is more than the play range needs: 60 frames are cached "));
    failNextNothrowArrayNew = true;
    run("setAttr zylSolverNode1.cacheSize 30");
    frame(1);
    EXPECT_FALSE(user<rigidBodyNode>("crateZylBody")->frameCache.positions);
    EXPECT_TRUE(logged(host::LogKind::Error, " ZYL frame caches of 30 frames could not be allocated"));
}

// Stepping on from the frame the scene was built at runs with the scene as it stands,
// ground and all: the same frames as a run from the start.
TEST_F(SolverTimeLine, SteppingFromTheBuildFrameEqualsARunFromTheStart) {
    for (const std::function<void()>& scene : std::vector<std::function<void()>>{crates, [] { demo(40); }}) {
        newScene();
        scene();
        const std::vector<Frame> stepped = play(2, 40);
        newScene();
        scene();
        frame(1);
        EXPECT_EQ(difference(play(2, 40), stepped), "");
    }
    EXPECT_NEAR(number("crate.ty"), 0.25, 1e-3);
}

}  // namespace
}  // namespace zyltest
