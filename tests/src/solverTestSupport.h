#pragma once

// A solver wired by hand to rigid bodies, as the solver and body commands wire them.

#include <string>

#include "engine/bodies/hardBody.h"
#include "engine/world/engineApi.h"
#include "engine/world/publicWorld.h"
#include "host/api/animControl.h"
#include "moduleTestSupport.h"
#include "src/nodeHelpers.h"
#include "src/rigidBodyNode.h"
#include "src/solverNode.h"

namespace zyltest {

class SolverTest : public ModuleTest {
protected:
    void SetUp() override {
        ModuleTest::SetUp();
        loadModule(batch());
    }
    virtual bool batch() const { return false; }

    static PublicWorld* world() { return engineWorld(); }

    // The solver zylSolverNode1, fed the scene's time.
    static zylSolverNode* makeSolver() {
        EXPECT_TRUE(mel("createNode zylSolverNode; connectAttr time1.outTime zylSolverNode1.inTime"));
        return user<zylSolverNode>("zylSolverNode1");
    }
    // wireBody's body, joining the solver unless told not to, and built.
    static rigidBodyNode* wire(const std::string& mesh, int type = 2, bool toSolver = true) {
        rigidBodyNode* rb = wireBody(mesh, type);
        if (toSolver) run("connectAttr zylSolverNode1.rigidBodies " + mesh + "Body.solver");
        run("getAttr " + mesh + "Body.carb");
        return rb;
    }
    // A unit box at height y.
    static rigidBodyNode* box(const std::string& name, double y) {
        EXPECT_TRUE(mel("makeMesh -cube -s 1 -n " + name + "; xform -t 0 " + std::to_string(y) + " 0 " + name));
        return wire(name);
    }
    static void frame(double f) { MAnimControl::setCurrentTime(MTime(f, MTime::uiUnit())); }
};

}  // namespace zyltest
