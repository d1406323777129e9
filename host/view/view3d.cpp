#include "host/api/view3d.h"

#include <GL/gl.h>

#include "host/core/runtime.h"
#include "host/view/glContext.h"
#include "host/view/locatorDrawing.h"
#include "host/view/manipDrawing.h"
#include "host/view/sceneDrawing.h"
#include "host/view/viewState.h"

using host::runtime;
using host::view::state;

M3dView M3dView::active3dView(MStatus* status) {
    if (status) *status = MS::kSuccess;
    return {};
}

MStatus M3dView::getCamera(MDagPath& camera) const {
    return MDagPath::getAPathTo(MObject::fromNode(runtime().cameraNode), camera);
}

MStatus M3dView::refresh(bool all, bool force) {
    host::view::ViewState& s = state();
    // A draw asking for a refresh gets the one in progress.
    if (s.drawing) return MS::kSuccess;
    if (!host::view::currentContext()) {
        runtime().viewLog.push_back(std::string("refresh") + (all ? " all" : "") + (force ? " force" : ""));
        return MS::kSuccess;
    }
    s.drawing = true;
    s.texts.clear();
    const host::view::ViewProjection projection = host::view::currentProjection();
    host::view::drawSceneGeometry(projection, s.style);
    host::view::drawLocators(*this, projection);
    host::view::withSavedGlState("manipulators", 0, [&] {
        host::view::loadViewMatrices(projection);
        host::view::drawManipulators(*this);
    });
    glFlush();
    s.drawing = false;
    return MS::kSuccess;
}

MStatus M3dView::beginGL() {
    if (!host::view::currentContext()) {
        runtime().viewLog.push_back("beginGL");
        return MS::kSuccess;
    }
    ++state().glDepth;
    return MS::kSuccess;
}

MStatus M3dView::endGL() {
    host::view::ViewState& s = state();
    if (!s.context || runtime().options.batch) {
        runtime().viewLog.push_back("endGL");
        return MS::kSuccess;
    }
    if (s.glDepth == 0) return MStatus(MS::kFailure, "endGL without beginGL");
    --s.glDepth;
    return MS::kSuccess;
}

MStatus M3dView::drawText(const MString& text, const MPoint& position, TextPosition align) {
    host::view::ViewState& s = state();
    s.texts.push_back({text.str(), position, align, s.drawColor});
    if (!s.context || runtime().options.batch) runtime().viewLog.push_back("drawText " + text.str());
    return MS::kSuccess;
}

MStatus M3dView::setDrawColor(const MColor& color) {
    host::view::ViewState& s = state();
    s.drawColor = color;
    if (s.glDepth > 0 || s.drawing) glColor4f(color.r, color.g, color.b, color.a);
    return MS::kSuccess;
}

M3dView::DisplayStyle M3dView::displayStyle(MStatus* status) const {
    if (status) *status = MS::kSuccess;
    return state().style;
}

int M3dView::portWidth(MStatus* status) const {
    if (status) *status = MS::kSuccess;
    return state().width;
}

int M3dView::portHeight(MStatus* status) const {
    if (status) *status = MS::kSuccess;
    return state().height;
}
