#include "host/api/fnAttribute.h"

#include "host/core/attribute.h"
#include "host/core/runtime.h"

namespace {

class StringData : public host::DataObject {
public:
    explicit StringData(std::string s) : text(std::move(s)) {}
    MFn::Type kind() const override { return MFn::kStringData; }
    std::shared_ptr<DataObject> clone() const override { return std::make_shared<StringData>(text); }
    std::string text;
};

bool isComponentCount3(MFnNumericData::Type t) {
    return t == MFnNumericData::k3Short || t == MFnNumericData::k3Int || t == MFnNumericData::k3Float ||
           t == MFnNumericData::k3Double;
}

bool isIntegral(int t) { return t > 0 && t < MFnNumericData::kFloat; }

MStatus noAttr() { return MStatus(MS::kInvalidParameter, "no attribute"); }

}  // namespace

MObject MFnStringData::create(const MString& text, MStatus* status) {
    if (status) *status = MS::kSuccess;
    return MObject::fromData(std::make_shared<StringData>(text.str()));
}

MFnAttribute::MFnAttribute(const MObject& attr, MStatus* status) {
    const MStatus st = setObject(attr);
    if (status) *status = st;
}

MStatus MFnAttribute::setObject(const MObject& attr) {
    if (attr.kind() != MObject::Kind::Attribute) return noAttr();
    obj_ = attr;
    return MS::kSuccess;
}

host::Attribute* MFnAttribute::attr() const { return obj_.attribute().get(); }

MObject MFnAttribute::create(int kind, const MString& longName, const MString& shortName, MStatus* status) {
    auto a = std::make_shared<host::Attribute>();
    a->kind = static_cast<host::AttrKind>(kind);
    a->longName = longName.str();
    a->shortName = shortName.str();
    obj_ = MObject::fromAttribute(a);
    if (status) *status = MS::kSuccess;
    return obj_;
}

MString MFnAttribute::name() const { return attr() ? MString(attr()->longName) : MString(); }
MString MFnAttribute::shortName() const { return attr() ? MString(attr()->shortName) : MString(); }

#define HOST_ATTR_FLAG(Setter, Getter, field)                                \
    MStatus MFnAttribute::Setter(bool v) {                                   \
        if (!attr()) return noAttr();                                        \
        attr()->field = v;                                                   \
        for (auto& c : attr()->children) c->field = v;                       \
        return MS::kSuccess;                                                 \
    }                                                                        \
    bool MFnAttribute::Getter() const { return attr() && attr()->field; }
HOST_ATTR_FLAG(setReadable, isReadable, readable)
HOST_ATTR_FLAG(setWritable, isWritable, writable)
HOST_ATTR_FLAG(setConnectable, isConnectable, connectable)
HOST_ATTR_FLAG(setStorable, isStorable, storable)
HOST_ATTR_FLAG(setKeyable, isKeyable, keyable)
HOST_ATTR_FLAG(setHidden, isHidden, hidden)
HOST_ATTR_FLAG(setArray, isArray, array)
#undef HOST_ATTR_FLAG

MStatus MFnAttribute::setCached(bool v) {
    if (!attr()) return noAttr();
    attr()->cached = v;
    return MS::kSuccess;
}

MStatus MFnAttribute::setInternal(bool v) {
    if (!attr()) return noAttr();
    attr()->internal = v;
    return MS::kSuccess;
}

bool MFnAttribute::isDynamic() const { return attr() && attr()->dynamic; }

MObject MFnNumericAttribute::create(const MString& longName, const MString& shortName, MFnNumericData::Type type,
                                    double defaultValue, MStatus* status) {
    MObject o = MFnAttribute::create(static_cast<int>(host::AttrKind::Numeric), longName, shortName, status);
    host::Attribute* a = attr();
    a->numericType = type;
    if (isComponentCount3(type)) {
        a->defaultValue = host::Vec3{defaultValue, defaultValue, defaultValue};
        const char* suffix[3] = {"X", "Y", "Z"};
        const char* shortSuffix[3] = {"x", "y", "z"};
        const int childType = type == MFnNumericData::k3Double ? MFnNumericData::kDouble
                              : type == MFnNumericData::k3Float ? MFnNumericData::kFloat
                                                                : MFnNumericData::kInt;
        for (int i = 0; i < 3; ++i) {
            auto c = std::make_shared<host::Attribute>();
            c->kind = host::AttrKind::Numeric;
            c->numericType = childType;
            c->longName = a->longName + suffix[i];
            c->shortName = a->shortName + shortSuffix[i];
            c->defaultValue = defaultValue;
            c->parent = a;
            c->childIndex = i;
            a->children.push_back(c);
        }
    } else if (isIntegral(type)) {
        a->defaultValue = static_cast<int>(defaultValue);
    } else {
        a->defaultValue = defaultValue;
    }
    return o;
}

MObject MFnNumericAttribute::createPoint(const MString& longName, const MString& shortName, MStatus* status) {
    return create(longName, shortName, MFnNumericData::k3Float, 0.0, status);
}

MObject MFnNumericAttribute::createColor(const MString& longName, const MString& shortName, MStatus* status) {
    MObject o = create(longName, shortName, MFnNumericData::k3Float, 0.0, status);
    const char* suffix[3] = {"R", "G", "B"};
    const char* shortSuffix[3] = {"r", "g", "b"};
    for (int i = 0; i < 3; ++i) {
        attr()->children[i]->longName = attr()->longName + suffix[i];
        attr()->children[i]->shortName = attr()->shortName + shortSuffix[i];
    }
    return o;
}

MStatus MFnNumericAttribute::setDefault(bool v) { return setDefault(v ? 1 : 0); }

MStatus MFnNumericAttribute::setDefault(int v) {
    if (!attr()) return noAttr();
    if (isIntegral(attr()->numericType))
        attr()->defaultValue = v;
    else
        attr()->defaultValue = static_cast<double>(v);
    return MS::kSuccess;
}

MStatus MFnNumericAttribute::setDefault(double v) {
    if (!attr()) return noAttr();
    if (isIntegral(attr()->numericType))
        attr()->defaultValue = static_cast<int>(v);
    else
        attr()->defaultValue = v;
    return MS::kSuccess;
}

MStatus MFnNumericAttribute::setDefault(double x, double y, double z) {
    if (!attr() || attr()->children.size() != 3) return noAttr();
    attr()->defaultValue = host::Vec3{x, y, z};
    return MS::kSuccess;
}

MStatus MFnNumericAttribute::setMin(double v) {
    if (!attr()) return noAttr();
    attr()->minValue = v;
    return MS::kSuccess;
}

MStatus MFnNumericAttribute::setMax(double v) {
    if (!attr()) return noAttr();
    attr()->maxValue = v;
    return MS::kSuccess;
}

bool MFnNumericAttribute::hasMin() const { return attr() && attr()->minValue.has_value(); }
bool MFnNumericAttribute::hasMax() const { return attr() && attr()->maxValue.has_value(); }
MFnNumericData::Type MFnNumericAttribute::unitType() const {
    return attr() ? static_cast<MFnNumericData::Type>(attr()->numericType) : MFnNumericData::kInvalid;
}

MObject MFnTypedAttribute::create(const MString& longName, const MString& shortName, MFnData::Type type,
                                  const MObject& defaultData, MStatus* status) {
    MObject o = MFnAttribute::create(static_cast<int>(host::AttrKind::Typed), longName, shortName, status);
    attr()->dataType = type;
    if (type == MFnData::kString) {
        attr()->defaultValue = std::string();
        if (defaultData.kind() == MObject::Kind::Data)
            if (auto s = std::dynamic_pointer_cast<StringData>(defaultData.data())) attr()->defaultValue = s->text;
    } else if (defaultData.kind() == MObject::Kind::Data) {
        attr()->defaultValue = defaultData.data();
    }
    return o;
}

MFnData::Type MFnTypedAttribute::attrType() const {
    return attr() ? static_cast<MFnData::Type>(attr()->dataType) : MFnData::kInvalid;
}

MObject MFnMessageAttribute::create(const MString& longName, const MString& shortName, MStatus* status) {
    MObject o = MFnAttribute::create(static_cast<int>(host::AttrKind::Message), longName, shortName, status);
    attr()->storable = false;
    return o;
}

MObject MFnEnumAttribute::create(const MString& longName, const MString& shortName, short defaultValue,
                                 MStatus* status) {
    MObject o = MFnAttribute::create(static_cast<int>(host::AttrKind::Enum), longName, shortName, status);
    attr()->defaultValue = static_cast<int>(defaultValue);
    return o;
}

MStatus MFnEnumAttribute::addField(const MString& name, short value) {
    if (!attr()) return noAttr();
    for (const auto& f : attr()->fields)
        if (f.first == name.str() || f.second == value) return MStatus(MS::kInvalidParameter, "field exists");
    attr()->fields.emplace_back(name.str(), value);
    return MS::kSuccess;
}

MString MFnEnumAttribute::fieldName(short value, MStatus* status) const {
    for (const auto& f : attr() ? attr()->fields : decltype(attr()->fields){})
        if (f.second == value) {
            if (status) *status = MS::kSuccess;
            return MString(f.first);
        }
    if (status) *status = MStatus(MS::kInvalidParameter, "no such field");
    return {};
}

short MFnEnumAttribute::fieldIndex(const MString& name, MStatus* status) const {
    for (const auto& f : attr() ? attr()->fields : decltype(attr()->fields){})
        if (f.first == name.str()) {
            if (status) *status = MS::kSuccess;
            return static_cast<short>(f.second);
        }
    if (status) *status = MStatus(MS::kInvalidParameter, "no such field");
    return 0;
}

MStatus MFnEnumAttribute::setDefault(short value) {
    if (!attr()) return noAttr();
    attr()->defaultValue = static_cast<int>(value);
    return MS::kSuccess;
}

MObject MFnUnitAttribute::create(const MString& longName, const MString& shortName, Type type, double defaultValue,
                                 MStatus* status) {
    MObject o = MFnAttribute::create(static_cast<int>(host::AttrKind::Unit), longName, shortName, status);
    attr()->unitType = type;
    if (type == kTime)
        attr()->defaultValue = MTime(defaultValue, MTime::kFilm);
    else
        attr()->defaultValue = defaultValue;
    return o;
}

MObject MFnUnitAttribute::create(const MString& longName, const MString& shortName, const MTime& defaultValue,
                                 MStatus* status) {
    MObject o = create(longName, shortName, kTime, 0.0, status);
    attr()->defaultValue = defaultValue;
    return o;
}

MFnUnitAttribute::Type MFnUnitAttribute::unitType() const {
    return attr() ? static_cast<Type>(attr()->unitType) : kInvalid;
}
