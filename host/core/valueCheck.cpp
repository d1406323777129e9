#include "host/core/valueCheck.h"

#include <cmath>
#include <limits>

#include "host/api/fnAttribute.h"

namespace host {

namespace {

MStatus bad(const std::string& plug, const std::string& text) {
    return MStatus(MS::kInvalidParameter, "'" + plug + "' " + text);
}

bool integral(const Attribute& a) {
    return a.kind == AttrKind::Enum ||
           (a.kind == AttrKind::Numeric && a.numericType > 0 && a.numericType < MFnNumericData::kFloat);
}

// The typed-attribute data type a data value is, or kInvalid for kinds any typed attribute takes.
int dataTypeOf(const DataObject& d) {
    switch (d.kind()) {
        case MFn::kMeshData: return MFnData::kMesh;
        case MFn::kNurbsCurveData: return MFnData::kNurbsCurve;
        case MFn::kMatrixData: return MFnData::kMatrix;
        case MFn::kNumericData: return MFnData::kNumeric;
        case MFn::kStringData: return MFnData::kString;
        case MFn::kComponentListData:
        case MFn::kMeshPolygonComponent:
        case MFn::kMeshEdgeComponent:
        case MFn::kMeshVertComponent: return MFnData::kComponentList;
        default: return MFnData::kInvalid;
    }
}

// What an attribute carries, for connections: numbers, one kind of data, messages.
int carried(const Attribute& a) {
    if (a.kind == AttrKind::Message) return -1;
    if (a.kind == AttrKind::Typed) return a.dataType;
    return -2;  // numbers, in every numeric, unit, enum and compound form
}

}  // namespace

bool fitsInt(double v) {
    return std::isfinite(v) && v >= std::numeric_limits<int>::min() && v <= std::numeric_limits<int>::max();
}

MStatus checkIndex(const Attribute& a, int index, const std::string& plug) {
    if (index < 0 || a.array || (a.parent && a.parent->array)) return MS::kSuccess;
    return bad(plug, "is not an array: it takes no element index");
}

MStatus checkValue(const Attribute& a, const Value& v, const std::string& plug) {
    const bool vector = a.kind == AttrKind::Numeric && !a.children.empty();
    const bool number = !vector && (a.kind == AttrKind::Numeric || a.kind == AttrKind::Enum ||
                                    (a.kind == AttrKind::Unit && a.unitType != MFnUnitAttribute::kTime));
    if (std::holds_alternative<int>(v) || std::holds_alternative<double>(v)) {
        if (!number) return bad(plug, "takes no single number");
        const double d = valueAsDouble(v);
        if (!std::isfinite(d)) return bad(plug, "needs a finite number");
        if (integral(a) && !fitsInt(d)) return bad(plug, "needs a whole number within the integer range");
        return MS::kSuccess;
    }
    if (const Vec3* x = std::get_if<Vec3>(&v)) {
        if (!vector) return bad(plug, "takes no three numbers");
        for (const double c : *x)
            if (!std::isfinite(c)) return bad(plug, "needs finite numbers");
        return MS::kSuccess;
    }
    if (const MTime* t = std::get_if<MTime>(&v)) {
        if (a.kind != AttrKind::Unit || a.unitType != MFnUnitAttribute::kTime) return bad(plug, "takes no time");
        return std::isfinite(t->value()) ? MStatus(MS::kSuccess) : bad(plug, "needs a finite time");
    }
    if (std::holds_alternative<std::string>(v)) {
        if (a.kind != AttrKind::Typed || (a.dataType != MFnData::kString && a.dataType != MFnData::kInvalid))
            return bad(plug, "takes no text");
        return MS::kSuccess;
    }
    if (const auto* data = std::get_if<std::shared_ptr<DataObject>>(&v)) {
        if (a.kind != AttrKind::Typed || !*data) return bad(plug, "takes no data");
        const int type = dataTypeOf(**data);
        if (type != MFnData::kInvalid && a.dataType != MFnData::kInvalid && a.dataType != type)
            return bad(plug, "takes data of another kind");
        return MS::kSuccess;
    }
    return bad(plug, "takes no such value");
}

MStatus checkConnection(const Attribute& src, const Attribute& dst, const std::string& srcPlug,
                        const std::string& dstPlug) {
    const int s = carried(src), d = carried(dst);
    // Messages and untyped data join anything; numbers join numbers; data joins data of its kind.
    if (s == d || s == -1 || d == -1 || s == MFnData::kInvalid || d == MFnData::kInvalid) return MS::kSuccess;
    return MStatus(MS::kInvalidParameter,
                   "'" + srcPlug + "' and '" + dstPlug + "' carry different kinds of data and cannot be connected");
}

}  // namespace host
