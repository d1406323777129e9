#pragma once

#include "host/api/hostTime.h"
#include "host/api/object.h"
#include "host/api/status.h"

namespace host {
struct Attribute;
}

class MFnNumericData {
public:
    enum Type {
        kInvalid = 0,
        kBoolean = 1,
        kByte = 2,
        kChar = 3,
        kShort = 4,
        k2Short = 5,
        k3Short = 6,
        kInt = 7,
        kLong = kInt,
        k2Int = 8,
        k2Long = k2Int,
        k3Int = 9,
        k3Long = k3Int,
        kFloat = 10,
        k2Float = 11,
        k3Float = 12,
        kDouble = 13,
        k2Double = 14,
        k3Double = 15,
        kLast
    };

    // Numeric data objects: a plug value of one to three numbers (three-float ones
    // are what compound elements such as "pnts[i]" take and give).
    MFnNumericData() = default;
    explicit MFnNumericData(const MObject& data, MStatus* status = nullptr);
    MStatus setObject(const MObject& data);
    MObject create(Type type, MStatus* status = nullptr);
    Type numericType(MStatus* status = nullptr) const;
    MStatus setData(float x, float y, float z);
    MStatus setData(double x, double y, double z);
    MStatus setData(int x, int y);
    MStatus getData(float& x, float& y, float& z) const;
    MStatus getData(double& x, double& y, double& z) const;
    MStatus getData(int& x, int& y) const;

private:
    MObject object_;
};

class MFnData {
public:
    enum Type {
        kInvalid = 0,
        kNumeric = 1,
        kPlugin = 2,
        kPluginGeometry = 3,
        kString = 4,
        kMatrix = 5,
        kStringArray = 6,
        kDoubleArray = 7,
        kIntArray = 8,
        kPointArray = 9,
        kVectorArray = 10,
        kComponentList = 12,
        kMesh = 13,
        kLattice = 14,
        kNurbsCurve = 15,
        kNurbsSurface = 16,
        kLast
    };
};

// String data for typed attribute defaults.
class MFnStringData {
public:
    MObject create(const MString& text, MStatus* status = nullptr);
};

// Properties common to every attribute.
class MFnAttribute {
public:
    MFnAttribute() = default;
    explicit MFnAttribute(const MObject& attr, MStatus* status = nullptr);
    MStatus setObject(const MObject& attr);
    MObject object() const { return obj_; }

    MString name() const;
    MString shortName() const;
    MStatus setReadable(bool v);
    MStatus setWritable(bool v);
    MStatus setConnectable(bool v);
    MStatus setStorable(bool v);
    MStatus setKeyable(bool v);
    MStatus setHidden(bool v);
    MStatus setArray(bool v);
    MStatus setCached(bool v);
    MStatus setInternal(bool v);
    MStatus setIndexMatters(bool) { return MS::kSuccess; }
    MStatus setUsesArrayDataBuilder(bool) { return MS::kSuccess; }
    MStatus setAffectsAppearance(bool) { return MS::kSuccess; }
    bool isReadable() const;
    bool isWritable() const;
    bool isConnectable() const;
    bool isStorable() const;
    bool isKeyable() const;
    bool isHidden() const;
    bool isArray() const;
    bool isDynamic() const;

protected:
    host::Attribute* attr() const;
    MObject create(int kind, const MString& longName, const MString& shortName, MStatus* status);

    MObject obj_;
};

class MFnNumericAttribute : public MFnAttribute {
public:
    using MFnAttribute::MFnAttribute;
    MObject create(const MString& longName, const MString& shortName, MFnNumericData::Type type,
                   double defaultValue = 0, MStatus* status = nullptr);
    // Three floats with children <name>X, <name>Y, <name>Z.
    MObject createPoint(const MString& longName, const MString& shortName, MStatus* status = nullptr);
    MObject createColor(const MString& longName, const MString& shortName, MStatus* status = nullptr);
    MStatus setDefault(bool v);
    MStatus setDefault(int v);
    MStatus setDefault(double v);
    MStatus setDefault(float v) { return setDefault(static_cast<double>(v)); }
    MStatus setDefault(double x, double y, double z);
    MStatus setDefault(float x, float y, float z) { return setDefault(double(x), double(y), double(z)); }
    // Written values are clamped to the range.
    MStatus setMin(double v);
    MStatus setMax(double v);
    bool hasMin() const;
    bool hasMax() const;
    MFnNumericData::Type unitType() const;
};

class MFnTypedAttribute : public MFnAttribute {
public:
    using MFnAttribute::MFnAttribute;
    MObject create(const MString& longName, const MString& shortName, MFnData::Type type,
                   const MObject& defaultData = MObject::kNullObj, MStatus* status = nullptr);
    MObject create(const MString& longName, const MString& shortName, MFnData::Type type, MStatus* status) {
        return create(longName, shortName, type, MObject::kNullObj, status);
    }
    MFnData::Type attrType() const;
};

class MFnMessageAttribute : public MFnAttribute {
public:
    using MFnAttribute::MFnAttribute;
    MObject create(const MString& longName, const MString& shortName, MStatus* status = nullptr);
};

class MFnEnumAttribute : public MFnAttribute {
public:
    using MFnAttribute::MFnAttribute;
    MObject create(const MString& longName, const MString& shortName, short defaultValue = 0,
                   MStatus* status = nullptr);
    MStatus addField(const MString& name, short value);
    MString fieldName(short value, MStatus* status = nullptr) const;
    short fieldIndex(const MString& name, MStatus* status = nullptr) const;
    MStatus setDefault(short value);
};

class MFnUnitAttribute : public MFnAttribute {
public:
    enum Type { kInvalid = 0, kAngle, kDistance, kTime, kLast };
    using MFnAttribute::MFnAttribute;
    MObject create(const MString& longName, const MString& shortName, Type type, double defaultValue = 0,
                   MStatus* status = nullptr);
    MObject create(const MString& longName, const MString& shortName, const MTime& defaultValue,
                   MStatus* status = nullptr);
    Type unitType() const;
};
