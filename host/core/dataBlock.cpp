#include "host/api/dataBlock.h"

#include "host/core/runtime.h"
#include "host/scene/timedRead.h"

using host::runtime;

namespace {

// The value a handle stands for: the plug's slot, or its scratch entry at another time.
host::Value* valueOf(std::uint64_t node, const host::Attribute* attr, int index, host::TimedValues* timed) {
    host::Node* n = runtime().scene.find(node);
    if (!n || !attr) return nullptr;
    if (timed) return &timed->entry(node, attr, index).value;
    return &runtime().scene.slot(*n, attr, index, true)->value;
}

double component(const host::Value* v, int i) {
    if (!v) return 0;
    if (auto p = std::get_if<host::Vec3>(v)) return (*p)[i];
    return host::valueAsDouble(*v);
}

}  // namespace


bool MDataHandle::asBool() const { return asInt() != 0; }

int MDataHandle::asInt() const {
    const host::Value* v = valueOf(node_, attr_, index_, timed_);
    if (!v) return 0;
    if (attr_ != attr_->storage()) return static_cast<int>(component(v, attr_->childIndex));
    return host::valueAsInt(*v);
}

short MDataHandle::asShort() const { return static_cast<short>(asInt()); }

double MDataHandle::asDouble() const {
    const host::Value* v = valueOf(node_, attr_, index_, timed_);
    if (!v) return 0;
    if (attr_ != attr_->storage()) return component(v, attr_->childIndex);
    return host::valueAsDouble(*v);
}

float MDataHandle::asFloat() const { return static_cast<float>(asDouble()); }

MVector MDataHandle::asVector() const {
    const host::Value* v = valueOf(node_, attr_, index_, timed_);
    if (!v) return {};
    if (auto p = std::get_if<host::Vec3>(v)) return MVector((*p)[0], (*p)[1], (*p)[2]);
    return {};
}

MFloatVector MDataHandle::asFloatVector() const { return MFloatVector(asVector()); }

MString MDataHandle::asString() const {
    const host::Value* v = valueOf(node_, attr_, index_, timed_);
    return v ? MString(host::valueAsString(*v)) : MString();
}

MTime MDataHandle::asTime() const {
    const host::Value* v = valueOf(node_, attr_, index_, timed_);
    return v ? host::valueAsTime(*v) : MTime();
}

MObject MDataHandle::data() const {
    host::Value* v = valueOf(node_, attr_, index_, timed_);
    if (!v) return {};
    auto p = std::get_if<std::shared_ptr<host::DataObject>>(v);
    if (!p || !*p) return {};
    // An output may share its data with the input it was set from: edits made
    // through the returned object must reach the output only.
    if (output_ && p->use_count() > 1) *p = (*p)->clone();
    return MObject::fromData(*p);
}

MDataHandle MDataHandle::child(const MObject& attr) const {
    if (!attr_ || !attr.attribute() || attr.attribute()->parent != attr_) return {};
    return MDataHandle(node_, attr.attribute().get(), index_, false, timed_);
}

namespace {

void put(std::uint64_t node, const host::Attribute* attr, int index, host::TimedValues* timed, host::Value v) {
    host::Node* n = runtime().scene.find(node);
    if (!n || !attr) return;
    if (!timed) {
        runtime().scene.store(*n, attr, index, std::move(v));
        return;
    }
    host::Value& to = timed->entry(node, attr, index).value;
    if (attr == attr->storage()) {
        to = std::move(v);
        return;
    }
    host::Vec3 vec = std::holds_alternative<host::Vec3>(to) ? std::get<host::Vec3>(to) : host::Vec3{};
    vec[attr->childIndex] = host::valueAsDouble(v);
    to = vec;
}

void markClean(std::uint64_t node, const host::Attribute* attr, int index, host::TimedValues* timed) {
    host::Node* n = runtime().scene.find(node);
    if (!n || !attr) return;
    if (timed)
        timed->entry(node, attr, index).clean = true;
    else
        runtime().scene.markClean(*n, attr, index);
}

}  // namespace

void MDataHandle::setBool(bool v) { put(node_, attr_, index_, timed_, v ? 1 : 0); }
void MDataHandle::setInt(int v) { put(node_, attr_, index_, timed_, v); }
void MDataHandle::setShort(short v) { put(node_, attr_, index_, timed_, static_cast<int>(v)); }
void MDataHandle::setDouble(double v) { put(node_, attr_, index_, timed_, v); }
void MDataHandle::setFloat(float v) { put(node_, attr_, index_, timed_, static_cast<double>(v)); }
void MDataHandle::set3Double(double x, double y, double z) { put(node_, attr_, index_, timed_, host::Vec3{x, y, z}); }
void MDataHandle::set3Float(float x, float y, float z) { put(node_, attr_, index_, timed_, host::Vec3{x, y, z}); }
void MDataHandle::setString(const MString& v) { put(node_, attr_, index_, timed_, v.str()); }
void MDataHandle::setMTime(const MTime& v) { put(node_, attr_, index_, timed_, v); }
void MDataHandle::setMObject(const MObject& data) {
    if (data.kind() == MObject::Kind::Data) put(node_, attr_, index_, timed_, data.data());
}

void MDataHandle::setClean() { markClean(node_, attr_, index_, timed_); }

MDataHandle MDataBlock::inputValue(const MPlug& plug, MStatus* status) {
    MStatus st;
    host::Node* n = timed_ && !plug.isNull() ? runtime().scene.find(node_) : nullptr;
    if (n) {
        // The whole stored plug at that time, into the scratch entry the handle reads.
        const host::PlugKey key = host::keyOf(plug);
        const host::Attribute* whole = key.attr->storage();
        host::Value v = host::readTimed(host::PlugKey{node_, runtime().scene.attributePtr(*n, whole), key.index}, *timed_);
        timed_->entry(node_, whole, key.index).value = std::move(v);
    } else {
        runtime().scene.read(host::keyOf(plug), &st);
    }
    if (status) *status = plug.isNull() ? MStatus(MS::kInvalidParameter, "invalid plug") : st;
    return MDataHandle(node_, plug.attr().get(), plug.index(), false, timed_);
}

MDataHandle MDataBlock::inputValue(const MObject& attr, MStatus* status) {
    return inputValue(MPlug(MObject::fromNode(node_), attr), status);
}

MDataHandle MDataBlock::outputValue(const MPlug& plug, MStatus* status) {
    if (status) *status = plug.isNull() ? MStatus(MS::kInvalidParameter, "invalid plug") : MStatus(MS::kSuccess);
    return MDataHandle(node_, plug.attr().get(), plug.index(), true, timed_);
}

MDataHandle MDataBlock::outputValue(const MObject& attr, MStatus* status) {
    return outputValue(MPlug(MObject::fromNode(node_), attr), status);
}

MStatus MDataBlock::setClean(const MPlug& plug) {
    host::Node* n = runtime().scene.find(node_);
    if (!n || !plug.attr()) return MStatus(MS::kInvalidParameter, "invalid plug");
    markClean(node_, plug.attr().get(), plug.index(), timed_);
    return MS::kSuccess;
}

MStatus MDataBlock::setClean(const MObject& attr) { return setClean(MPlug(MObject::fromNode(node_), attr)); }

bool MDataBlock::isClean(const MObject& attr, MStatus* status) {
    host::Node* n = runtime().scene.find(node_);
    if (status) *status = n ? MStatus(MS::kSuccess) : MStatus(MS::kInvalidParameter, "no node");
    if (!n || !attr.attribute()) return false;
    if (timed_) return timed_->entry(node_, attr.attribute().get(), -1).clean;
    return !runtime().scene.slot(*n, attr.attribute().get(), -1, true)->dirty;
}

MDGContext MDataBlock::context() const { return timed_ ? MDGContext(timed_->time()) : MDGContext::fsNormal; }
