#include "host/api/componentListData.h"

#include <memory>
#include <vector>

#include "host/core/value.h"

namespace {

class ComponentListData : public host::DataObject {
public:
    MFn::Type kind() const override { return MFn::kComponentListData; }
    std::shared_ptr<host::DataObject> clone() const override { return std::make_shared<ComponentListData>(*this); }
    std::vector<MObject> components;
};

ComponentListData* listOf(const MObject& o) {
    return o.kind() == MObject::Kind::Data ? dynamic_cast<ComponentListData*>(o.data().get()) : nullptr;
}

MStatus noList() { return MStatus(MS::kInvalidParameter, "no component list"); }

}  // namespace

MFnComponentListData::MFnComponentListData(const MObject& data, MStatus* status) {
    const MStatus st = setObject(data);
    if (status) *status = st;
}

MStatus MFnComponentListData::setObject(const MObject& data) {
    if (!listOf(data)) return noList();
    object_ = data;
    return MS::kSuccess;
}

MObject MFnComponentListData::create(MStatus* status) {
    if (status) *status = MS::kSuccess;
    object_ = MObject::fromData(std::make_shared<ComponentListData>());
    return object_;
}

MStatus MFnComponentListData::add(const MObject& component) {
    ComponentListData* d = listOf(object_);
    if (!d) return noList();
    if (!component.hasFn(MFn::kComponent)) return MStatus(MS::kInvalidParameter, "not a component");
    d->components.push_back(component);
    return MS::kSuccess;
}

MStatus MFnComponentListData::clear() {
    ComponentListData* d = listOf(object_);
    if (!d) return noList();
    d->components.clear();
    return MS::kSuccess;
}

unsigned MFnComponentListData::length(MStatus* status) const {
    const ComponentListData* d = listOf(object_);
    if (status) *status = d ? MStatus(MS::kSuccess) : noList();
    return d ? static_cast<unsigned>(d->components.size()) : 0;
}

MObject MFnComponentListData::operator[](unsigned index) const {
    const ComponentListData* d = listOf(object_);
    return d && index < d->components.size() ? d->components[index] : MObject();
}
