// The view's refresh of a typical frame: grid, eight shaded meshes and one
// locator drawing through the saved-state discipline, rasterised to the end
// (glFinish) so the software renderer's work is counted.

#include <GL/gl.h>
#include <benchmark/benchmark.h>

#include "host/api/hostApi.h"
#include "host/core/runtime.h"
#include "host/mel/interpreter.h"
#include "host/view/viewState.h"

namespace {

const MTypeId kBenchLocatorId(0x7101);

// Draws a wire box and a label, the way the module's locators draw.
class BenchLocator : public MPxLocatorNode {
public:
    static void* creator() { return new BenchLocator; }
    static MStatus initialize() { return MS::kSuccess; }
    void draw(M3dView& view, const MDagPath&, M3dView::DisplayStyle style, M3dView::DisplayStatus) override {
        if (style == M3dView::kWireFrame) return;
        view.beginGL();
        glPushAttrib(0xFFFFF);
        glPushMatrix();
        glColor4f(0, 1, 1, 1);
        glBegin(GL_LINES);
        for (int axis = 0; axis < 3; ++axis)
            for (int c = 0; c < 4; ++c) {
                float a[3], b[3];
                const float u = c & 1 ? 1.f : -1.f, v = c & 2 ? 1.f : -1.f;
                a[axis] = -1, b[axis] = 1;
                a[(axis + 1) % 3] = b[(axis + 1) % 3] = u;
                a[(axis + 2) % 3] = b[(axis + 2) % 3] = v;
                glVertex3fv(a);
                glVertex3fv(b);
            }
        glEnd();
        view.setDrawColor(MColor(0, 1, 0, 1));
        view.drawText("bench", MPoint(0, 0, 0));
        glPopMatrix();
        glPopAttrib();
        view.endGL();
    }
};

MStatus initialize(MObject obj) {
    MFnPlugin plugin(obj, "bench", "1.0", "Any");
    return plugin.registerNode("benchLocator", kBenchLocatorId, BenchLocator::creator, BenchLocator::initialize,
                               MPxNode::kLocatorNode);
}

MStatus uninitialize(MObject obj) {
    MFnPlugin plugin(obj, "bench", "1.0", "Any");
    return plugin.deregisterNode(kBenchLocatorId);
}

void BM_RefreshEightMeshesAndALocator(benchmark::State& state) {
    host::Runtime& rt = host::runtime();
    rt.reset();
    rt.log.setQuiet(true);
    rt.loadStaticModule(initialize, uninitialize, "bench");
    for (int i = 0; i < 8; ++i) {
        const std::string n = std::to_string(i);
        rt.mel().run((i % 2 ? "makeMesh -sphere -d 24 -n m" : "makeMesh -cube -size 1.5 -n m") + n + "; setAttr m" + n +
                         ".translate " + std::to_string(i % 4 * 2.5 - 4) + " 0.75 " + std::to_string(i / 4 * 3 - 1.5),
                     false);
    }
    rt.mel().run("createNode transform -n loc; setAttr loc.translate 0 2.5 0; createNode benchLocator -p loc", false);
    if (!host::view::currentContext()) {
        state.SkipWithError(("no OpenGL view: " + host::view::contextFailure()).c_str());
        return;
    }
    M3dView view = M3dView::active3dView();
    for (auto _ : state) {
        view.refresh(false, false);
        glFinish();
    }
    rt.reset();
}
BENCHMARK(BM_RefreshEightMeshesAndALocator)->Unit(benchmark::kMillisecond);

}  // namespace
