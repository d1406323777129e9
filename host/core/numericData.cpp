#include "host/core/numericData.h"

namespace host {

int numericWidth(MFnNumericData::Type type) {
    switch (type) {
        case MFnNumericData::kBoolean:
        case MFnNumericData::kByte:
        case MFnNumericData::kChar:
        case MFnNumericData::kShort:
        case MFnNumericData::kInt:
        case MFnNumericData::kFloat:
        case MFnNumericData::kDouble: return 1;
        case MFnNumericData::k2Short:
        case MFnNumericData::k2Int:
        case MFnNumericData::k2Float:
        case MFnNumericData::k2Double: return 2;
        case MFnNumericData::k3Short:
        case MFnNumericData::k3Int:
        case MFnNumericData::k3Float:
        case MFnNumericData::k3Double: return 3;
        default: return 0;
    }
}

}  // namespace host

namespace {

host::NumericData* numeric(const MObject& o) {
    return o.kind() == MObject::Kind::Data ? dynamic_cast<host::NumericData*>(o.data().get()) : nullptr;
}

MStatus noData() { return MStatus(MS::kInvalidParameter, "no numeric data"); }

// Stores up to three values when the object holds exactly that many.
MStatus put(const MObject& o, int count, double x, double y, double z) {
    host::NumericData* d = numeric(o);
    if (!d) return noData();
    if (host::numericWidth(d->type) != count) return MStatus(MS::kInvalidParameter, "wrong number of values");
    d->values = {x, y, z};
    return MS::kSuccess;
}

}  // namespace

MFnNumericData::MFnNumericData(const MObject& data, MStatus* status) {
    const MStatus st = setObject(data);
    if (status) *status = st;
}

MStatus MFnNumericData::setObject(const MObject& data) {
    if (!numeric(data)) return noData();
    object_ = data;
    return MS::kSuccess;
}

MObject MFnNumericData::create(Type type, MStatus* status) {
    const bool ok = host::numericWidth(type) > 0;
    if (status) *status = ok ? MStatus(MS::kSuccess) : MStatus(MS::kInvalidParameter, "not a numeric type");
    object_ = ok ? MObject::fromData(std::make_shared<host::NumericData>(type)) : MObject();
    return object_;
}

MFnNumericData::Type MFnNumericData::numericType(MStatus* status) const {
    const host::NumericData* d = numeric(object_);
    if (status) *status = d ? MStatus(MS::kSuccess) : noData();
    return d ? d->type : kInvalid;
}

MStatus MFnNumericData::setData(float x, float y, float z) { return put(object_, 3, x, y, z); }
MStatus MFnNumericData::setData(double x, double y, double z) { return put(object_, 3, x, y, z); }
MStatus MFnNumericData::setData(int x, int y) { return put(object_, 2, x, y, 0); }

MStatus MFnNumericData::getData(float& x, float& y, float& z) const {
    double a, b, c;
    const MStatus st = getData(a, b, c);
    if (st) x = static_cast<float>(a), y = static_cast<float>(b), z = static_cast<float>(c);
    return st;
}

MStatus MFnNumericData::getData(double& x, double& y, double& z) const {
    const host::NumericData* d = numeric(object_);
    if (!d) return noData();
    if (host::numericWidth(d->type) != 3) return MStatus(MS::kInvalidParameter, "wrong number of values");
    x = d->values[0], y = d->values[1], z = d->values[2];
    return MS::kSuccess;
}

MStatus MFnNumericData::getData(int& x, int& y) const {
    const host::NumericData* d = numeric(object_);
    if (!d) return noData();
    if (host::numericWidth(d->type) != 2) return MStatus(MS::kInvalidParameter, "wrong number of values");
    x = static_cast<int>(d->values[0]), y = static_cast<int>(d->values[1]);
    return MS::kSuccess;
}
