#include "host/api/view3d.h"

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
