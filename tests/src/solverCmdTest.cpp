#include <algorithm>
#include <string>

#include "engine/world/engineApi.h"
#include "engine/world/publicWorld.h"
#include "moduleTestSupport.h"

namespace zyltest {
namespace {

class SolverCmd : public BatchModuleTest {
protected:
    static std::size_t solvers() { return host::resultWords(result("ls -typ zylSolverNode")).size(); }
    static host::Result result(const std::string& text) {
        host::Result r;
        mel(text, &r);
        return r;
    }
    static std::size_t gravityAxisCalls() {
        return static_cast<std::size_t>(std::ranges::count(rt().commandTrace, std::string("zylSetGravityAxis")));
    }
};

TEST_F(SolverCmd, MakesOneWiredSolverAndAnswersItsName) {
    EXPECT_EQ(answer("zylSolver"), "zylSolverNode1");
    EXPECT_EQ(solvers(), 1u);
    EXPECT_EQ(answer("getAttr zylSolverNode1.version"), "3.5");
    EXPECT_EQ(answer("getAttr zylSolverNode1.cacheSize"), "48");  // the play range 1-48, both ends counted
    MSelectionList list;
    MPlug inTime;
    list.add("zylSolverNode1.inTime");
    list.getPlug(0, inTime);
    EXPECT_EQ(inTime.source().name(), "time1.outTime");
    ASSERT_TRUE(engineWorld());
    EXPECT_EQ(gravityAxisCalls(), 1u);

    EXPECT_EQ(answer("zylSolver"), "zylSolverNode1");
    EXPECT_EQ(answer("zylSolver -repportCollisions true"), "repport collisions enabled");
    EXPECT_NE(engineWorld()->worldFlags & WORLD_REPORT_COLLISIONS, 0u);
    EXPECT_EQ(answer("zylSolver -rc false"), "repport collisions disabled");
    EXPECT_EQ(engineWorld()->worldFlags & WORLD_REPORT_COLLISIONS, 0u);
    EXPECT_EQ(answer("zylSolver -cac"), "");
    EXPECT_EQ(solvers(), 1u);
    EXPECT_EQ(gravityAxisCalls(), 1u);  // only a creation sets the gravity axis
}

TEST_F(SolverCmd, UndoTakesBackOnlyTheSolverItMade) {
    EXPECT_EQ(answer("zylSolver -cac"), "");  // makes the solver first
    EXPECT_EQ(solvers(), 1u);
    ASSERT_TRUE(mel("zylSolver -rc true"));
    ASSERT_TRUE(mel("undo"));  // nothing to take back
    EXPECT_EQ(solvers(), 1u);
    ASSERT_TRUE(mel("undo"));
    EXPECT_EQ(solvers(), 0u);
    rt().undo.flush();  // the node waiting in the modifier goes, and the world with it
    EXPECT_EQ(engineWorld(), nullptr);
    EXPECT_EQ(answer("zylSolver"), "zylSolverNode1");
    ASSERT_TRUE(mel("undo; redo"));
    EXPECT_EQ(solvers(), 1u);
    EXPECT_TRUE(engineWorld());
    EXPECT_EQ(count(host::LogKind::Error), 0u);
}

}  // namespace
}  // namespace zyltest
