// The manipulator container base and the free-point triad function set.

#include "host/api/fnFreePointTriadManip.h"
#include "host/api/pxManipContainer.h"
#include "host/core/runtime.h"
#include "host/view/interaction.h"

using host::view::interaction;

MStatus MPxManipContainer::initialize() { return MS::kSuccess; }

MStatus MPxManipContainer::createChildren() { return MS::kSuccess; }

MStatus MPxManipContainer::connectToDependNode(const MObject& node) {
    if (node.isNull()) return MStatus(MS::kInvalidParameter, "no node to connect to");
    if (!finished_) return MStatus(MS::kFailure, "finishAddingManips was not called");
    node_ = node;
    return MS::kSuccess;
}

void MPxManipContainer::draw(M3dView&, const MDagPath&, M3dView::DisplayStyle, M3dView::DisplayStatus) {}

MStatus MPxManipContainer::doRelease() { return MS::kSuccess; }

MDagPath MPxManipContainer::addFreePointTriadManip(const MString& manipName, const MString& pointName) {
    return MDagPath(std::vector<std::uint64_t>{interaction().addTriad(this, manipName.str(), pointName.str())});
}

MStatus MPxManipContainer::finishAddingManips() {
    finished_ = true;
    return MS::kSuccess;
}

// Called from a type's initialize: the entry goes with the module being loaded.
MStatus MPxManipContainer::addToManipConnectTable(const MTypeId& nodeType) {
    interaction().addConnectable(nodeType, host::runtime().modules.current);
    return MS::kSuccess;
}

MStatus MPxManipContainer::removeFromManipConnectTable(const MTypeId& nodeType) {
    return interaction().removeConnectable(nodeType) ? MStatus(MS::kSuccess)
                                                     : MStatus(MS::kFailure, "type not in the connect table");
}

MFnFreePointTriadManip::MFnFreePointTriadManip(const MDagPath& manip, MStatus* status) {
    const MStatus st = setObject(manip);
    if (status) *status = st;
}

MFnFreePointTriadManip::MFnFreePointTriadManip(const MObject& manip, MStatus* status) {
    const MStatus st = setObject(manip);
    if (status) *status = st;
}

MStatus MFnFreePointTriadManip::setObject(const MDagPath& manip) {
    id_ = manip.nodes().empty() ? 0 : manip.nodes().back();
    if (interaction().triad(id_)) return MS::kSuccess;
    id_ = 0;
    return MStatus(MS::kInvalidParameter, "not a free-point triad manipulator");
}

MStatus MFnFreePointTriadManip::setObject(const MObject& manip) {
    return setObject(MDagPath(std::vector<std::uint64_t>{manip.kind() == MObject::Kind::Node ? manip.id() : 0}));
}

namespace {

host::view::Triad* triadOrNull(std::uint64_t id) { return id ? interaction().triad(id) : nullptr; }

MStatus noTriad() { return MStatus(MS::kInvalidParameter, "not a free-point triad manipulator"); }

}  // namespace

MStatus MFnFreePointTriadManip::connectToPointPlug(const MPlug& pointPlug) {
    host::view::Triad* t = triadOrNull(id_);
    if (!t) return noTriad();
    if (pointPlug.isNull() || (pointPlug.isArray() && !pointPlug.isElement()) || pointPlug.numChildren() != 3)
        return MStatus(MS::kInvalidParameter, "a point plug has three numeric children");
    t->plug = pointPlug;
    return MS::kSuccess;
}

MStatus MFnFreePointTriadManip::setPoint(const MPoint& point) {
    host::view::Triad* t = triadOrNull(id_);
    if (!t) return noTriad();
    t->point = point;
    return MS::kSuccess;
}

MPoint MFnFreePointTriadManip::point(MStatus* status) const {
    const host::view::Triad* t = triadOrNull(id_);
    if (status) *status = t ? MStatus(MS::kSuccess) : noTriad();
    return t ? t->point : MPoint();
}

MStatus MFnFreePointTriadManip::setVisible(bool visible) {
    host::view::Triad* t = triadOrNull(id_);
    if (!t) return noTriad();
    t->visible = visible;
    return MS::kSuccess;
}

bool MFnFreePointTriadManip::isVisible(MStatus* status) const {
    const host::view::Triad* t = triadOrNull(id_);
    if (status) *status = t ? MStatus(MS::kSuccess) : noTriad();
    return t && t->visible;
}
