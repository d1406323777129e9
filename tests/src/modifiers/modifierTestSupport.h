#pragma once

// Scenes for the mesh modifier tests: the module loaded in process, meshes by name,
// cut-face tags and shading groups set up by MEL, plugs and connections read back.

#include <string>
#include <vector>

#include "moduleTestSupport.h"
#include "src/meshWriter.h"

namespace zyltest {

class ModifierTest : public ModuleTest {
protected:
    void SetUp() override {
        ModuleTest::SetUp();
        loadModule();
        run(std::string("blindDataType -id ") + std::to_string(cutFace::kBlindDataId) +
            " -dataType \"int\" -longDataName \"zylCutFace\" -shortDataName \"zcut\"");
        rt().commandTrace.clear();
    }

    static MPlug plug(const std::string& nodeName, const char* attr) {
        return MFnDependencyNode(node(nodeName)).findPlug(attr);
    }
    // The node feeding a plug ("" when none).
    static std::string sourceOf(const MPlug& p) {
        const MPlug s = p.source();
        return s.isNull() ? std::string() : MFnDependencyNode(s.node()).name().str();
    }
    static std::string typeOf(const std::string& name) { return MFnDependencyNode(node(name)).typeName().str(); }
    // A 2-unit cube "name" whose face `cut` carries cut-face value 1 and the rest 0.
    static void makeShard(const std::string& name, int cut) {
        run("makeMesh -cube -s 2 -n " + name);
        run("polyBlindData -id " + std::to_string(cutFace::kBlindDataId) +
            " -associationType \"face\" -ldn \"zylCutFace\" -ind 0 " + name + "Shape.f[0:5]");
        run("polyBlindData -id " + std::to_string(cutFace::kBlindDataId) +
            " -associationType \"face\" -ldn \"zylCutFace\" -ind 1 " + name + "Shape.f[" + std::to_string(cut) + "]");
    }
    static MFloatPointArray points(const std::string& name) {
        MFloatPointArray p;
        MFnMesh(shapePath(name)).getPoints(p);
        return p;
    }
    static std::vector<std::string> trace(const std::string& prefix) {
        std::vector<std::string> out;
        for (const auto& t : rt().commandTrace)
            if (t.rfind(prefix, 0) == 0) out.push_back(t);
        return out;
    }
    static std::vector<std::string> errors() { return messages(host::LogKind::Error); }
};

}  // namespace zyltest
