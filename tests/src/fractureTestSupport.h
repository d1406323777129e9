#pragma once

// A fracture body built by hand: a row of six unit cubes along x (hull bodies of wired
// rigid-body nodes), joined neighbour to neighbour by five joints, one stress node per
// joint, in an engine world of the test's own.

#include <array>
#include <string>

#include "engine/bodies/privateHardBody.h"
#include "engine/fracture/dynamicStress.h"
#include "engine/fracture/fractureBody.h"
#include "engine/world/engineApi.h"
#include "engine/world/publicWorld.h"
#include "moduleTestSupport.h"
#include "src/fractureBodyNode.h"
#include "src/nodeHelpers.h"
#include "src/rigidBodyNode.h"
#include "src/stressNode.h"

namespace zyltest {

class FractureTest : public OwnWorldTest {
protected:
    static constexpr int kBodies = 6;
    static constexpr int kJoints = kBodies - 1;

    static std::string numbered(char prefix, int i) {
        std::string name(1, prefix);
        name += std::to_string(i);
        return name;
    }
    // Stress node i's force strength.
    static double strength(int i) { return user<SceneStress>(numbered('s', i))->getDoubleProperty("forceStrenght"); }
    static bool flag(const std::string& plug) { return MString(answer("getAttr " + plug).c_str()).asInt() != 0; }

    // Cube i: mesh "c<i>" at (i, y, 0), body node "c<i>Body", engine body out of the
    // world's free lists (it is a fragment).
    rigidBodyNode* cube(int i, double y = 0) {
        const std::string mesh = numbered('c', i);
        run("makeMesh -cube -s 1 -n " + mesh + "; xform -t " + std::to_string(i) + " " + std::to_string(y) + " 0 " +
            mesh);
        rigidBodyNode* rb = wireBody(mesh);
        HardBody* engineBody = rb->getBody(true);
        engineWorld()->removeBody(engineBody);
        return rb;
    }

    // The row at height y under fracture-body node "fb", stress nodes "s0".."s4" (owned,
    // with joints).
    void buildRow(double y = 0) {
        run("createNode fBodyNode -n fb");
        fb = user<FractureBodyNode>("fb");
        ASSERT_TRUE(fb && fb->fractureBody);
        for (int i = 0; i < kBodies; ++i) {
            rigidBodyNode* rb = cube(i, y);
            bodies[i] = static_cast<PrivateHardBody*>(rb->getBody(false));
            run("connectAttr fb.rigidBodies " + numbered('c', i) + "Body.fracture");
        }
        for (int i = 0; i < kJoints; ++i) {
            DynamicStress* joint = createDynamicStress();
            joint->attach(Qmt::QmtVector3(i + 0.5, y, 0), 1, bodies[i], bodies[i + 1]);
            joint->enableBreakableByForce();
            engineWorld()->addFractureJoint(joint, fb->fractureBody);
            const std::string name = numbered('s', i);
            run("createNode stressNode -n " + name + "; connectAttr fb.stresses " + name + ".fracture");
            stresses[i] = user<SceneStress>(name);
            stresses[i]->setJoint(joint);
            stresses[i]->setOwner(fb);
            // As a build stores it, so that the scene builds the same body again.
            stresses[i]->setBody1Name(MString((numbered('c', i + 1) + "Body").c_str()));
            stresses[i]->setBody2Name(MString((numbered('c', i) + "Body").c_str()));
            stresses[i]->setPosition(static_cast<float>(i + 0.5), static_cast<float>(y), 0.0f);
            run("setAttr " + name + ".enabled 1; setAttr " + name + ".breakByForce 1; setAttr " + name + ".torsion 1");
        }
        ASSERT_TRUE(fb->fractureBody->setUp());
        fb->stressCount = kJoints;
    }

    FractureBodyNode* fb = nullptr;
    std::array<PrivateHardBody*, kBodies> bodies{};
    std::array<SceneStress*, kJoints> stresses{};
};

}  // namespace zyltest
