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

    static void run(const std::string& text) { ASSERT_TRUE(mel(text)) << text << "\n" << rt().log.text(); }
    static MObject node(const std::string& name) {
        MSelectionList list;
        MObject obj;
        if (list.add(MString(name.c_str())) && list.length() == 1) list.getDependNode(0, obj);
        return obj;
    }
    static double number(const std::string& plug) {
        host::Result r;
        EXPECT_TRUE(mel("getAttr " + plug, &r)) << plug;
        return MString(host::resultText(r)).asDouble();
    }
    static PublicWorld* world() { return engineWorld(); }

    // The solver zylSolverNode1, fed the scene's time.
    static zylSolverNode* makeSolver() {
        EXPECT_TRUE(mel("createNode zylSolverNode; connectAttr time1.outTime zylSolverNode1.inTime"));
        return userNodeAs<zylSolverNode>(node("zylSolverNode1"), zylSolverNode::id);
    }
    // A collision shape `<mesh>Collision` fed by the mesh and a body `<mesh>Body` under
    // its transform; with a solver the body joins it. The body is built.
    static rigidBodyNode* wire(const std::string& mesh, int type = 2, bool toSolver = true) {
        const std::string shape = mesh + "Collision", body = mesh + "Body";
        EXPECT_TRUE(mel("createNode zylCollisionShape -n " + shape + "; createNode zylRigidBody -n " + body + " -p " +
                        mesh + "; connectAttr " + mesh + "Shape.worldMesh[0] " + shape + ".inShape; setAttr " +
                        shape + ".type " + std::to_string(type) + "; connectAttr " + shape + ".outCollisionType " +
                        body + ".inCollisionType; connectAttr " + shape + ".ac " + body + ".anim"));
        if (toSolver) {
            EXPECT_TRUE(mel("connectAttr zylSolverNode1.rigidBodies " + body + ".solver"));
        }
        EXPECT_TRUE(mel("getAttr " + body + ".carb"));
        return userNodeAs<rigidBodyNode>(node(body), rigidBodyNode::id);
    }
    // A unit box at height y.
    static rigidBodyNode* box(const std::string& name, double y) {
        EXPECT_TRUE(mel("makeMesh -cube -s 1 -n " + name + "; xform -t 0 " + std::to_string(y) + " 0 " + name));
        return wire(name);
    }
    static void frame(double f) { MAnimControl::setCurrentTime(MTime(f, MTime::uiUnit())); }
    static bool logged(host::LogKind kind, const std::string& text) { return rt().log.contains(kind, text); }
};

}  // namespace zyltest
