#include "host/api/view3d.h"

#include "host/core/runtime.h"

using host::runtime;

M3dView M3dView::active3dView(MStatus* status) {
    if (status) *status = MS::kSuccess;
    return {};
}

MStatus M3dView::getCamera(MDagPath& camera) const {
    return MDagPath::getAPathTo(MObject::fromNode(runtime().cameraNode), camera);
}

MStatus M3dView::refresh(bool all, bool force) {
    runtime().viewLog.push_back(std::string("refresh") + (all ? " all" : "") + (force ? " force" : ""));
    return MS::kSuccess;
}

MStatus M3dView::beginGL() {
    runtime().viewLog.push_back("beginGL");
    return MS::kSuccess;
}

MStatus M3dView::endGL() {
    runtime().viewLog.push_back("endGL");
    return MS::kSuccess;
}

MStatus M3dView::drawText(const MString& text, const MPoint&, TextPosition) {
    runtime().viewLog.push_back("drawText " + text.str());
    return MS::kSuccess;
}

M3dView::DisplayStyle M3dView::displayStyle(MStatus* status) const {
    if (status) *status = MS::kSuccess;
    return kGouraudShaded;
}

int M3dView::portWidth(MStatus* status) const {
    if (status) *status = MS::kSuccess;
    return 640;
}

int M3dView::portHeight(MStatus* status) const {
    if (status) *status = MS::kSuccess;
    return 480;
}

MFnCamera::MFnCamera(const MDagPath& path, MStatus* status) {
    MStatus st = path.hasFn(MFn::kCamera) ? setObject(path) : MStatus(MS::kInvalidParameter, "not a camera");
    if (status) *status = st;
}

MFnCamera::MFnCamera(const MObject& node, MStatus* status) {
    MStatus st = node.hasFn(MFn::kCamera) ? setObject(node) : MStatus(MS::kInvalidParameter, "not a camera");
    if (status) *status = st;
}

MVector MFnCamera::viewDirection(MSpace::Space space, MStatus* status) const {
    if (status) *status = object().hasFn(MFn::kCamera) ? MStatus(MS::kSuccess) : MStatus(MS::kInvalidParameter, "not a camera");
    const MVector local(0, 0, -1);
    return space == MSpace::kWorld ? (local * path_.inclusiveMatrix()).normal() : local;
}

MPoint MFnCamera::eyePoint(MSpace::Space space, MStatus* status) const {
    if (status) *status = object().hasFn(MFn::kCamera) ? MStatus(MS::kSuccess) : MStatus(MS::kInvalidParameter, "not a camera");
    return space == MSpace::kWorld ? MPoint() * path_.inclusiveMatrix() : MPoint();
}
