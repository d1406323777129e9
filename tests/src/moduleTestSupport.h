#pragma once

// A fresh host per test, with the module's core linked in and registered in-process,
// and the ways the module tests run statements and read the scene back.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <string>
#include <vector>

#include "engine/bodies/hardBody.h"
#include "engine/world/engineApi.h"
#include "host/api/hostApi.h"
#include "host/api/transformationMatrix.h"
#include "host/core/runtime.h"
#include "host/mel/interpreter.h"
#include "src/meshWriter.h"
#include "src/moduleRegistry.h"
#include "src/nodeHelpers.h"
#include "src/rigidBodyNode.h"

namespace zyltest {

class ModuleTest : public ::testing::Test {
protected:
    void SetUp() override {
        rt().reset();
        rt().log.setQuiet(true);
        rt().options.scriptPath = {HOST_UI_DIR};
    }
    void TearDown() override {
        rt().reset();
        rt().log.setQuiet(true);
    }

    static host::Runtime& rt() { return host::runtime(); }
    static constexpr const char* kModule = "zylMaya3x";

    static void loadModule(bool batch = false) {
        rt().options.batch = batch;
        ASSERT_TRUE(rt().loadStaticModule(initializeModule, uninitializeModule, kModule));
    }
    static const host::Module* module() { return rt().modules.find(kModule); }
    // Callbacks installed while the module loaded.
    static std::size_t moduleCallbacks() {
        const host::Module* m = module();
        if (!m) return 0;
        return static_cast<std::size_t>(std::ranges::count_if(
            rt().messages.entries(), [&](const host::CallbackEntry& e) { return e.module == m->id; }));
    }
    // Runs MEL as a script statement would.
    static MStatus mel(const std::string& text, host::Result* result = nullptr) {
        return rt().mel().run(text, true, result);
    }
    static std::size_t count(host::LogKind kind) { return rt().log.count(kind); }
    static void run(const std::string& text) { ASSERT_TRUE(mel(text)) << text << "\n" << rt().log.text(); }
    // The words of a statement's result; a failed statement fails the test.
    static std::vector<std::string> words(const std::string& text) {
        host::Result r;
        EXPECT_TRUE(mel(text, &r)) << text << "\n" << rt().log.text();
        return host::resultWords(r);
    }
    static std::string attr(const std::string& plug) {
        const std::vector<std::string> w = words("getAttr " + plug);
        return w.empty() ? "" : w.front();
    }
    // A statement's result as one text; a failed statement fails the test.
    static std::string answer(const std::string& text) {
        host::Result r;
        EXPECT_TRUE(mel(text, &r)) << text << "\n" << rt().log.text();
        return host::resultText(r);
    }
    static double number(const std::string& plug) { return MString(answer("getAttr " + plug).c_str()).asDouble(); }
    static std::vector<std::string> nodesOfType(const std::string& type) { return words("ls -typ " + type); }
    // A node by name, and the module's object of it when it is a T.
    static MObject node(const std::string& name) {
        MSelectionList list;
        MObject obj;
        if (list.add(MString(name.c_str())) && list.length() == 1) list.getDependNode(0, obj);
        return obj;
    }
    static MDagPath path(const std::string& name) {
        MDagPath p;
        MDagPath::getAPathTo(node(name), p);
        return p;
    }
    // The shape of a mesh named by itself or by its transform.
    static MDagPath shapePath(const std::string& name) {
        MDagPath p = path(name);
        p.extendToShape();
        return p;
    }
    // A mesh's cut-face value per polygon (-1 where it has none), and its shading
    // group's name per polygon ("" for none).
    static std::vector<int> cutValues(const MFnMesh& fn) {
        std::vector<int> out;
        for (int i = 0; i < fn.numPolygons(); ++i) {
            int v = -1;
            const MStatus tagged =
                fn.getIntBlindData(i, MFn::kMeshPolygonComponent, cutFace::kBlindDataId, cutFace::kLongName, v);
            out.push_back(tagged ? v : -1);
        }
        return out;
    }
    static std::vector<std::string> groupsOf(const std::string& mesh) {
        MObjectArray groups;
        MIntArray indices;
        MFnMesh(shapePath(mesh)).getConnectedShaders(0, groups, indices);
        std::vector<std::string> out;
        for (const int i : indices)
            out.push_back(i < 0 ? "" : MFnDependencyNode(groups[static_cast<unsigned>(i)]).name().str());
        return out;
    }
    template <class T>
    static T* user(const std::string& name) {
        return userNodeAs<T>(node(name), T::id);
    }
    // A plug by name ("node.attribute"), or a null plug; the name of the plug feeding
    // it, or "".
    static MPlug plug(const std::string& name) {
        MSelectionList list;
        MPlug p;
        if (list.add(MString(name.c_str()))) list.getPlug(0, p);
        return p;
    }
    static std::string source(const std::string& plugName) {
        const MPlug from = plug(plugName).source();
        return from.isNull() ? "" : from.name().asChar();
    }
    static bool logged(host::LogKind kind, const std::string& text) { return rt().log.contains(kind, text); }
    // The texts of the log's records of that kind, in order.
    static std::vector<std::string> messages(host::LogKind kind) {
        std::vector<std::string> out;
        for (const auto& r : rt().log.records())
            if (r.kind == kind) out.push_back(r.text);
        return out;
    }
    // A body's placement as a host matrix, and the world matrix of the transform above
    // a DAG node.
    static MMatrix placement(const HardBody& body) {
        const Qmt::Quaternion& q = body.getDyn().orientation;
        const Qmt::QmtVector3& p = body.getDyn().position;
        MTransformationMatrix m;
        m.rotateTo(MQuaternion(q.X(), q.Y(), q.Z(), q.W()));
        m.setTranslation(MVector(p.x, p.y, p.z));
        return m.asMatrix();
    }
    static MMatrix worldMatrix(const MPxNode& node) {
        MDagPath path;
        MDagPath::getAPathTo(node.thisMObject(), path);
        return path.exclusiveMatrix();
    }
    // A collision shape `<mesh>Collision` of the type fed by the mesh, and a body
    // `<mesh>Body` under the mesh's transform, wired as the body command wires them
    // (without typeLink the body's type is its own); the body is not built yet.
    static rigidBodyNode* wireBody(const std::string& mesh, int type = 2, bool typeLink = true) {
        const std::string shape = mesh + "Collision", body = mesh + "Body";
        run("createNode zylCollisionShape -n " + shape + "; createNode zylRigidBody -n " + body + " -p " + mesh);
        run("connectAttr " + mesh + "Shape.worldMesh[0] " + shape + ".inShape; setAttr " + shape + ".type " +
            std::to_string(type));
        if (typeLink) run("connectAttr " + shape + ".outCollisionType " + body + ".inCollisionType");
        run("connectAttr " + shape + ".ac " + body + ".anim");
        return user<rigidBodyNode>(body);
    }
    // Whether the module ran (or queued) exactly this MEL.
    static bool traced(const std::string& text) { return std::ranges::count(rt().commandTrace, text) > 0; }
    // Whether the statement fails with this error.
    static bool failsWith(const std::string& text, const std::string& error) {
        return !mel(text) && rt().log.contains(host::LogKind::Error, error);
    }
};

// The module loaded in batch mode.
class BatchModuleTest : public ModuleTest {
protected:
    void SetUp() override {
        ModuleTest::SetUp();
        loadModule(true);
    }
};

// The same over an engine world of the test's own. Every node goes before the world
// does, a fracture body first (its fragments must still exist), a solver last (it takes
// its world with it).
class OwnWorldTest : public BatchModuleTest {
protected:
    void SetUp() override {
        BatchModuleTest::SetUp();
        ASSERT_TRUE(createWorld());
    }
    void TearDown() override {
        for (const char* type : {"fBodyNode", "stressNode", "zylRigidBody", "zylCollisionShape", "zylSolverNode"}) {
            host::Result nodes;
            mel(std::string("ls -typ ") + type, &nodes);
            for (const std::string& name : host::resultWords(nodes)) mel("delete " + name);
        }
        destroyWorld(&engineWorld());
        BatchModuleTest::TearDown();
    }
};

}  // namespace zyltest
