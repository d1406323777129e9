#pragma once

// Crackers wired by hand to a solver, as the zylCracker command wires them.

#include <string>

#include "engine/bodies/capsuleBody.h"
#include "engine/world/bodyList.h"
#include "engine/world/privateWorld.h"
#include "solverTestSupport.h"
#include "src/crackerNode.h"

namespace zyltest {

class CrackerTest : public SolverTest {
protected:
    void SetUp() override {
        SolverTest::SetUp();
        makeSolver();
    }

    // A cracker `Zyl<mesh>` under the mesh's transform, with its collision shape
    // `Zyl<mesh>Shape` of type 6 fed by the mesh, on the solver's `crackers`; its
    // change flags are pulled, so the body is built.
    static zylCrackerNode* cracker(const std::string& mesh) {
        const std::string name = "Zyl" + mesh, shape = name + "Shape";
        run("createNode zylCracker -n " + name + " -p " + mesh + "; connectAttr zylSolverNode1.crackers " + name +
            ".solver; createNode zylCollisionShape -n " + shape + "; connectAttr " + shape + ".outCollisionType " +
            name + ".inCollisionType; connectAttr " + mesh + "Shape.worldMesh[0] " + shape + ".inShape; setAttr " +
            shape + ".type 6; getAttr " + shape + ".ca_collisionShape");
        auto* node = userNodeAs<zylCrackerNode>(SolverTest::node(name), zylCrackerNode::id);
        if (node) node->evaluateAttributes();
        return node;
    }
    // A unit sphere at (x, y, z) carrying a cracker.
    static zylCrackerNode* striker(const std::string& name, double x, double y, double z) {
        run("makeMesh -sphere -n " + name + "; xform -t " + std::to_string(x) + " " + std::to_string(y) + " " +
            std::to_string(z) + " " + name);
        return cracker(name);
    }
    static bool inWorld(const HardBody* body) {
        auto* w = static_cast<PrivateWorld*>(world());
        return w && listContains(w->aCrackers, body);
    }
    static Qmt::QmtVector3 velocity(const zylCrackerNode& c) { return c.getBody()->getDyn().v; }
    static Qmt::QmtVector3 spin(const zylCrackerNode& c) { return c.getBody()->getDyn().w; }
};

}  // namespace zyltest
