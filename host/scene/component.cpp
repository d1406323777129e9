#include "host/api/component.h"

#include <algorithm>
#include <memory>

#include "host/core/value.h"

namespace host {
namespace {

class ComponentData : public DataObject {
public:
    explicit ComponentData(MFn::Type t) : type(t) {}
    MFn::Type kind() const override { return type; }
    std::shared_ptr<DataObject> clone() const override { return std::make_shared<ComponentData>(*this); }
    MFn::Type type;
    std::vector<int> indices;  // ascending, no repeats
};

ComponentData* dataOf(const MObject& o) {
    return o.kind() == MObject::Kind::Data ? dynamic_cast<ComponentData*>(o.data().get()) : nullptr;
}

}  // namespace

std::vector<int> componentIndices(const MObject& component) {
    const ComponentData* d = dataOf(component);
    return d ? d->indices : std::vector<int>{};
}

MObject makeComponent(MFn::Type type, std::vector<int> indices) {
    auto d = std::make_shared<ComponentData>(type);
    std::sort(indices.begin(), indices.end());
    indices.erase(std::unique(indices.begin(), indices.end()), indices.end());
    d->indices = std::move(indices);
    return MObject::fromData(d);
}

}  // namespace host

MFnSingleIndexedComponent::MFnSingleIndexedComponent(const MObject& component, MStatus* status) {
    const MStatus st = setObject(component);
    if (status) *status = st;
}

MStatus MFnSingleIndexedComponent::setObject(const MObject& component) {
    if (!host::dataOf(component)) return MStatus(MS::kInvalidParameter, "not a component");
    object_ = component;
    return MS::kSuccess;
}

MObject MFnSingleIndexedComponent::create(MFn::Type type, MStatus* status) {
    const bool ok = MFn::isA(type, MFn::kComponent);
    if (status) *status = ok ? MStatus(MS::kSuccess) : MStatus(MS::kInvalidParameter, "not a component type");
    object_ = ok ? host::makeComponent(type, {}) : MObject();
    return object_;
}

MStatus MFnSingleIndexedComponent::addElement(int index) {
    host::ComponentData* d = host::dataOf(object_);
    if (!d) return MStatus(MS::kInvalidParameter, "no component");
    const auto it = std::lower_bound(d->indices.begin(), d->indices.end(), index);
    if (it == d->indices.end() || *it != index) d->indices.insert(it, index);
    return MS::kSuccess;
}

MStatus MFnSingleIndexedComponent::addElements(const MIntArray& indices) {
    for (const int i : indices)
        if (const MStatus st = addElement(i); !st) return st;
    return MS::kSuccess;
}

MStatus MFnSingleIndexedComponent::getElements(MIntArray& indices) const {
    const host::ComponentData* d = host::dataOf(object_);
    if (!d) return MStatus(MS::kInvalidParameter, "no component");
    indices.clear();
    for (const int i : d->indices) indices.append(i);
    return MS::kSuccess;
}

int MFnSingleIndexedComponent::element(int i, MStatus* status) const {
    const host::ComponentData* d = host::dataOf(object_);
    const bool ok = d && i >= 0 && static_cast<std::size_t>(i) < d->indices.size();
    if (status) *status = ok ? MStatus(MS::kSuccess) : MStatus(MS::kInvalidParameter, "no such element");
    return ok ? d->indices[static_cast<std::size_t>(i)] : -1;
}

int MFnSingleIndexedComponent::elementCount(MStatus* status) const {
    const host::ComponentData* d = host::dataOf(object_);
    if (status) *status = d ? MStatus(MS::kSuccess) : MStatus(MS::kInvalidParameter, "no component");
    return d ? static_cast<int>(d->indices.size()) : 0;
}

MFn::Type MFnSingleIndexedComponent::componentType() const {
    const host::ComponentData* d = host::dataOf(object_);
    return d ? d->type : MFn::kInvalid;
}
