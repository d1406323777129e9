#include "host/core/valueCheck.h"

#include <cmath>
#include <limits>
#include <sstream>

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

MStatus outOfRange(const Attribute& a, const std::string& plug, double v) {
    const char* type = a.numericType >= MFnNumericData::kFloat && a.numericType <= MFnNumericData::k3Float
                           ? "single-precision"
                           : "whole-number";
    std::ostringstream text;
    text << "takes no " << v << ": it lies outside the " << type << " range of '" << a.longName << "'";
    return bad(plug, text.str());
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

bool fitsNumeric(int numericType, double v) {
    const auto within = [v](auto low, auto high) {
        return std::isfinite(v) && v >= static_cast<double>(low) && v <= static_cast<double>(high);
    };
    switch (numericType) {
        case MFnNumericData::kByte: return within(0, 255);
        case MFnNumericData::kChar: return within(-128, 127);
        case MFnNumericData::kShort:
        case MFnNumericData::k2Short:
        case MFnNumericData::k3Short:
            return within(std::numeric_limits<short>::min(), std::numeric_limits<short>::max());
        case MFnNumericData::kBoolean:
        case MFnNumericData::kInt:
        case MFnNumericData::k2Int:
        case MFnNumericData::k3Int: return fitsInt(v);
        // Beyond the largest float a single-precision read gives infinity.
        case MFnNumericData::kFloat:
        case MFnNumericData::k2Float:
        case MFnNumericData::k3Float:
            return within(-std::numeric_limits<float>::max(), std::numeric_limits<float>::max());
        default: return std::isfinite(v);
    }
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
        if (a.kind == AttrKind::Numeric && !fitsNumeric(a.numericType, d)) return outOfRange(a, plug, d);
        return MS::kSuccess;
    }
    if (const Vec3* x = std::get_if<Vec3>(&v)) {
        if (!vector) return bad(plug, "takes no three numbers");
        for (const double c : *x)
            if (!std::isfinite(c)) return bad(plug, "needs finite numbers");
        // A float3 takes the double3 a file spells it with, within single precision.
        for (std::size_t i = 0; i < x->size() && i < a.children.size(); ++i)
            if (!fitsNumeric(a.children[i]->numericType, (*x)[i])) return outOfRange(*a.children[i], plug, (*x)[i]);
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
