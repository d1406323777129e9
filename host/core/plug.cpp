#include "host/api/plug.h"

#include "host/core/numericData.h"
#include "host/core/runtime.h"
#include "host/scene/timedRead.h"

using host::runtime;

namespace host {

MPlug makePlug(const PlugKey& key) { return MPlug(MObject::fromNode(key.node), key.attr, key.index); }
PlugKey keyOf(const MPlug& plug) { return PlugKey{plug.node().id(), plug.attr(), plug.index()}; }

}  // namespace host

namespace {

host::Node* nodeOf(const MPlug& p) {
    return p.node().kind() == MObject::Kind::Node ? runtime().scene.find(p.node().id()) : nullptr;
}

template <typename T>
MStatus readAs(const MPlug& p, T& out, const MDGContext& ctx) {
    if (p.isNull()) return MStatus(MS::kInvalidParameter, "invalid plug");
    MStatus st;
    const host::Value v = host::readInContext(host::keyOf(p), ctx, &st);
    if constexpr (std::is_same_v<T, MString>)
        out = MString(host::valueAsString(v));
    else if constexpr (std::is_same_v<T, MTime>)
        out = host::valueAsTime(v);
    else if constexpr (std::is_same_v<T, bool>)
        out = host::valueAsInt(v) != 0;
    else if constexpr (std::is_integral_v<T>)
        out = static_cast<T>(host::valueAsInt(v));
    else
        out = static_cast<T>(host::valueAsDouble(v));
    return st;
}

MStatus writeValue(const MPlug& p, host::Value v) {
    if (p.isNull()) return MStatus(MS::kInvalidParameter, "invalid plug");
    return runtime().scene.write(host::keyOf(p), std::move(v));
}

}  // namespace

MPlug::MPlug(const MObject& node, const MObject& attribute) : node_(node), attr_(attribute.attribute()) {}
MPlug::MPlug(const MObject& node, std::shared_ptr<host::Attribute> attr, int index)
    : node_(node), attr_(std::move(attr)), index_(index) {}

bool MPlug::isNull() const { return !attr_ || !nodeOf(*this); }

MString MPlug::name() const {
    const host::Node* n = nodeOf(*this);
    if (!n || !attr_) return {};
    return MString(n->name + "." + partialName().str());
}

MString MPlug::partialName(bool includeNodeName, bool, bool, bool, bool, bool) const {
    if (!attr_) return {};
    // Always long names: they are what scripts and messages use.
    const host::Attribute* a = attr_.get();
    std::string s = a->parent ? a->parent->longName : a->longName;
    if (index_ >= 0) s.append("[").append(std::to_string(index_)).append("]");
    if (a->parent) s.append(".").append(a->longName);
    if (includeNodeName)
        if (const host::Node* n = nodeOf(*this)) s = n->name + "." + s;
    return MString(s);
}

bool MPlug::isArray() const { return attr_ && attr_->array && index_ < 0; }
bool MPlug::isCompound() const { return attr_ && !attr_->children.empty(); }
bool MPlug::isChild() const { return attr_ && attr_->parent; }

MPlug MPlug::elementByLogicalIndex(unsigned index, MStatus* status) const {
    host::Node* n = nodeOf(*this);
    if (!n || !attr_ || !attr_->array) {
        if (status) *status = MStatus(MS::kInvalidParameter, "not an array plug");
        return {};
    }
    runtime().scene.slot(*n, attr_.get(), static_cast<int>(index), true);
    if (status) *status = MS::kSuccess;
    return MPlug(node_, attr_, static_cast<int>(index));
}

MPlug MPlug::elementByPhysicalIndex(unsigned index, MStatus* status) const {
    host::Node* n = nodeOf(*this);
    if (!n || !attr_ || !attr_->array) {
        if (status) *status = MStatus(MS::kInvalidParameter, "not an array plug");
        return {};
    }
    const auto indices = runtime().scene.elementIndices(*n, attr_.get());
    if (index >= indices.size()) {
        if (status) *status = MStatus(MS::kInvalidParameter, "index out of range");
        return {};
    }
    if (status) *status = MS::kSuccess;
    return MPlug(node_, attr_, indices[index]);
}

unsigned MPlug::numElements(MStatus* status) const {
    host::Node* n = nodeOf(*this);
    if (status) *status = n && isArray() ? MStatus(MS::kSuccess) : MStatus(MS::kInvalidParameter, "not an array");
    return n && isArray() ? static_cast<unsigned>(runtime().scene.elementIndices(*n, attr_.get()).size()) : 0;
}

MPlug MPlug::array() const { return index_ >= 0 ? MPlug(node_, attr_, -1) : MPlug(); }

unsigned MPlug::numChildren() const { return attr_ ? static_cast<unsigned>(attr_->children.size()) : 0; }

MPlug MPlug::child(unsigned index, MStatus* status) const {
    if (!attr_ || index >= attr_->children.size()) {
        if (status) *status = MStatus(MS::kInvalidParameter, "no such child");
        return {};
    }
    if (status) *status = MS::kSuccess;
    return MPlug(node_, attr_->children[index], index_);
}

MPlug MPlug::child(const MObject& attr, MStatus* status) const {
    for (unsigned i = 0; attr_ && i < attr_->children.size(); ++i)
        if (attr_->children[i] == attr.attribute()) return child(i, status);
    if (status) *status = MStatus(MS::kInvalidParameter, "no such child");
    return {};
}

MPlug MPlug::parent(MStatus* status) const {
    const host::Node* n = nodeOf(*this);
    if (!n || !attr_ || !attr_->parent) {
        if (status) *status = MStatus(MS::kInvalidParameter, "not a child plug");
        return {};
    }
    if (status) *status = MS::kSuccess;
    return MPlug(node_, runtime().scene.attributePtr(*n, attr_->parent), index_);
}

bool MPlug::connectedTo(MPlugArray& out, bool asDst, bool asSrc, MStatus* status) const {
    out.clear();
    if (isNull()) {
        if (status) *status = MStatus(MS::kInvalidParameter, "invalid plug");
        return false;
    }
    const host::PlugKey me = host::keyOf(*this);
    // In connection order: the plug's source (if asked) among the plugs it feeds.
    const host::Connection* source = asDst ? runtime().scene.sourceOf(me) : nullptr;
    if (asSrc)
        runtime().scene.forEachConnectionFrom(me, [&](const host::Connection& c) {
            if (source && source->order <= c.order) {
                out.append(host::makePlug(source->src));
                source = nullptr;
            }
            out.append(host::makePlug(c.dst));
        });
    if (source) out.append(host::makePlug(source->src));
    if (status) *status = MS::kSuccess;
    return out.length() > 0;
}

MPlug MPlug::source() const {
    MPlugArray a;
    connectedTo(a, true, false);
    return a.length() ? a[0] : MPlug();
}

bool MPlug::isConnected() const {
    MPlugArray a;
    return connectedTo(a, true, true);
}

bool MPlug::isDestination() const {
    MPlugArray a;
    return connectedTo(a, true, false);
}

bool MPlug::isSource() const {
    MPlugArray a;
    return connectedTo(a, false, true);
}

bool MPlug::isLocked() const { return !isNull() && runtime().scene.plugLocked(host::keyOf(*this)); }
void MPlug::setLocked(bool locked) {
    if (!isNull()) runtime().scene.setPlugLocked(host::keyOf(*this), locked);
}
bool MPlug::isKeyable() const { return attr_ && attr_->keyable; }

MStatus MPlug::getValue(bool& v, const MDGContext& ctx) const { return readAs(*this, v, ctx); }
MStatus MPlug::getValue(int& v, const MDGContext& ctx) const { return readAs(*this, v, ctx); }
MStatus MPlug::getValue(short& v, const MDGContext& ctx) const { return readAs(*this, v, ctx); }
MStatus MPlug::getValue(double& v, const MDGContext& ctx) const { return readAs(*this, v, ctx); }
MStatus MPlug::getValue(float& v, const MDGContext& ctx) const { return readAs(*this, v, ctx); }
MStatus MPlug::getValue(MString& v, const MDGContext& ctx) const { return readAs(*this, v, ctx); }
MStatus MPlug::getValue(MTime& v, const MDGContext& ctx) const { return readAs(*this, v, ctx); }

MStatus MPlug::getValue(MObject& v, const MDGContext& ctx) const {
    if (isNull()) return MStatus(MS::kInvalidParameter, "invalid plug");
    MStatus st;
    const host::Value val = host::readInContext(host::keyOf(*this), ctx, &st);
    if (auto p = std::get_if<std::shared_ptr<host::DataObject>>(&val)) {
        v = MObject::fromData(*p);
    } else if (auto t = std::get_if<host::Vec3>(&val)) {
        // A compound number reads as numeric data of the attribute's own type.
        const auto type = static_cast<MFnNumericData::Type>(attr_->numericType);
        auto d = std::make_shared<host::NumericData>(host::numericWidth(type) > 1 ? type : MFnNumericData::k3Double);
        d->values = *t;
        v = MObject::fromData(d);
    } else {
        v = MObject();
    }
    return st;
}

#define HOST_PLUG_AS(T, Name)                                       \
    T MPlug::Name(const MDGContext& ctx, MStatus* status) const {   \
        T v{};                                                      \
        const MStatus st = getValue(v, ctx);                        \
        if (status) *status = st;                                   \
        return v;                                                   \
    }
HOST_PLUG_AS(bool, asBool)
HOST_PLUG_AS(int, asInt)
HOST_PLUG_AS(short, asShort)
HOST_PLUG_AS(double, asDouble)
HOST_PLUG_AS(float, asFloat)
HOST_PLUG_AS(MString, asString)
HOST_PLUG_AS(MTime, asMTime)
HOST_PLUG_AS(MObject, asMObject)
#undef HOST_PLUG_AS

MStatus MPlug::setValue(bool v) { return writeValue(*this, v ? 1 : 0); }
MStatus MPlug::setValue(int v) { return writeValue(*this, v); }
MStatus MPlug::setValue(short v) { return writeValue(*this, static_cast<int>(v)); }
MStatus MPlug::setValue(double v) {
    if (attr_ && (attr_->kind == host::AttrKind::Enum || (attr_->kind == host::AttrKind::Numeric &&
                                                          attr_->numericType > 0 && attr_->numericType < 10)))
        return writeValue(*this, static_cast<int>(v));
    return writeValue(*this, v);
}
MStatus MPlug::setValue(float v) { return setValue(static_cast<double>(v)); }
MStatus MPlug::setValue(const MString& v) { return writeValue(*this, v.str()); }
MStatus MPlug::setValue(const MTime& v) { return writeValue(*this, v); }
MStatus MPlug::setValue(const MObject& data) {
    if (data.kind() != MObject::Kind::Data) return MStatus(MS::kInvalidParameter, "not a data object");
    if (auto n = dynamic_cast<const host::NumericData*>(data.data().get()))
        return host::numericWidth(n->type) == 1 ? setValue(n->values[0]) : writeValue(*this, host::Vec3(n->values));
    return writeValue(*this, data.data());
}

bool MPlug::operator==(const MPlug& o) const {
    return node_ == o.node_ && attr_ == o.attr_ && index_ == o.index_;
}
