#include "host/api/object.h"

#include "host/core/attribute.h"
#include "host/core/registry.h"
#include "host/core/runtime.h"

const MObject MObject::kNullObj;

MObject MObject::fromNode(std::uint64_t id) {
    MObject o;
    o.kind_ = Kind::Node;
    o.id_ = id;
    return o;
}

MObject MObject::fromAttribute(std::shared_ptr<host::Attribute> attr) {
    MObject o;
    if (!attr) return o;
    o.kind_ = Kind::Attribute;
    o.attr_ = std::move(attr);
    return o;
}

MObject MObject::fromData(std::shared_ptr<host::DataObject> data) {
    MObject o;
    if (!data) return o;
    o.kind_ = Kind::Data;
    o.data_ = std::move(data);
    return o;
}

MObject MObject::fromPlugin(std::uint64_t moduleId) {
    MObject o;
    o.kind_ = Kind::Plugin;
    o.id_ = moduleId;
    return o;
}

bool MObject::isNull() const {
    switch (kind_) {
        case Kind::Null: return true;
        case Kind::Node: return host::runtime().scene.find(id_) == nullptr;
        case Kind::Plugin: return host::runtime().modules.find(id_) == nullptr;
        default: return false;
    }
}

MFn::Type MObject::apiType() const {
    switch (kind_) {
        case Kind::Null: return MFn::kInvalid;
        case Kind::Node: {
            const host::Node* n = host::runtime().scene.find(id_);
            return n ? n->type->apiType : MFn::kInvalid;
        }
        case Kind::Attribute: return attr_->apiType();
        case Kind::Data: return data_->kind();
        case Kind::Plugin: return MFn::kPlugin;
    }
    return MFn::kInvalid;
}

bool MObject::operator==(const MObject& o) const {
    if (kind_ != o.kind_) return false;
    switch (kind_) {
        case Kind::Null: return true;
        case Kind::Attribute: return attr_ == o.attr_;
        case Kind::Data: return data_ == o.data_;
        default: return id_ == o.id_;
    }
}
