#include "host/api/selectionList.h"

#include "host/core/runtime.h"
#include "host/scene/dag.h"

using host::runtime;

namespace {

bool geometricFamily(MFn::Type filter) {
    return filter == MFn::kGeometric || filter == MFn::kMesh || filter == MFn::kNurbsCurve || filter == MFn::kNurbsSurface;
}

}  // namespace

MItSelectionList::MItSelectionList(const MSelectionList& list, MFn::Type filter, MStatus* status)
    : list_(list), filter_(filter) {
    build();
    if (status) *status = MS::kSuccess;
}

MStatus MItSelectionList::setFilter(MFn::Type filter) {
    filter_ = filter;
    build();
    return MS::kSuccess;
}

MStatus MItSelectionList::reset() {
    build();
    return MS::kSuccess;
}

void MItSelectionList::build() {
    items_.clear();
    at_ = 0;
    for (const auto& item : list_.items()) {
        if (item.node.isNull()) continue;
        if (filter_ == MFn::kInvalid || item.node.hasFn(filter_)) {
            items_.push_back(item);
            continue;
        }
        if (!geometricFamily(filter_) || item.path.empty() || !item.node.hasFn(MFn::kTransform)) continue;
        const host::Node* n = runtime().scene.find(item.node.id());
        for (const auto c : n->children)
            if (MObject::fromNode(c).hasFn(filter_)) {
                auto path = item.path;
                path.push_back(c);
                items_.push_back(MSelectionList::Item{MObject::fromNode(c), MPlug(), std::move(path), MObject()});
            }
    }
}

bool MItSelectionList::isDone(MStatus* status) const {
    if (status) *status = MS::kSuccess;
    return at_ >= items_.size();
}

MStatus MItSelectionList::next() {
    if (at_ < items_.size()) ++at_;
    return MS::kSuccess;
}

MStatus MItSelectionList::getDagPath(MDagPath& path, MObject& component) const {
    if (isDone() || items_[at_].path.empty()) return MStatus(MS::kFailure, "not a DAG item");
    path = MDagPath(items_[at_].path);
    component = items_[at_].component;
    return MS::kSuccess;
}

MStatus MItSelectionList::getDagPath(MDagPath& path) const {
    MObject component;
    return getDagPath(path, component);
}

MStatus MItSelectionList::getDependNode(MObject& node) const {
    if (isDone()) return MStatus(MS::kFailure, "iterator done");
    node = items_[at_].node;
    return MS::kSuccess;
}

MStatus MItSelectionList::getPlug(MPlug& plug) const {
    if (isDone() || !items_[at_].plug.attr()) return MStatus(MS::kFailure, "not a plug");
    plug = items_[at_].plug;
    return MS::kSuccess;
}

bool MItSelectionList::hasComponents(MStatus* status) const {
    if (status) *status = MS::kSuccess;
    return !isDone() && !items_[at_].component.isNull();
}

MItSelectionList::selItemType MItSelectionList::itemType(MStatus* status) const {
    if (status) *status = isDone() ? MStatus(MS::kFailure, "iterator done") : MStatus(MS::kSuccess);
    if (isDone()) return kUnknownItem;
    if (items_[at_].plug.attr()) return kPlugSelectionItem;
    return items_[at_].path.empty() ? kDNselectionItem : kDagSelectionItem;
}
