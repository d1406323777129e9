#pragma once

#include <memory>

#include "host/api/dgContext.h"
#include "host/api/matrix.h"
#include "host/api/object.h"
#include "host/api/status.h"

class MPlugArray;

// A node's attribute, or one element of an array attribute, addressed weakly.
// Reading evaluates what is dirty; writing stores the value and dirties what it affects.
class MPlug {
public:
    MPlug() = default;
    MPlug(const MObject& node, const MObject& attribute);

    bool isNull() const;
    MObject node() const { return node_; }
    MObject attribute() const { return MObject::fromAttribute(attr_); }
    MString name() const;         // node.longName, with [index] for elements
    MString partialName(bool includeNodeName = false, bool = false, bool = false, bool = false, bool = false,
                        bool useLongNames = false) const;
    MString info() const { return name(); }

    bool isArray() const;
    bool isElement() const { return index_ >= 0; }
    bool isCompound() const;
    bool isChild() const;
    unsigned logicalIndex() const { return index_ < 0 ? 0u : static_cast<unsigned>(index_); }
    // Creates the element when it does not exist yet.
    MPlug elementByLogicalIndex(unsigned index, MStatus* status = nullptr) const;
    // Elements in ascending logical order.
    MPlug elementByPhysicalIndex(unsigned index, MStatus* status = nullptr) const;
    unsigned numElements(MStatus* status = nullptr) const;
    unsigned evaluateNumElements(MStatus* status = nullptr) const { return numElements(status); }
    MPlug array() const;
    unsigned numChildren() const;
    MPlug child(unsigned index, MStatus* status = nullptr) const;
    MPlug child(const MObject& attr, MStatus* status = nullptr) const;
    MPlug parent(MStatus* status = nullptr) const;

    bool isConnected() const;
    bool isDestination() const;
    bool isSource() const;
    // The plugs at the other end, in connection order.
    bool connectedTo(MPlugArray& out, bool asDst, bool asSrc, MStatus* status = nullptr) const;
    MPlug source() const;

    bool isLocked() const;
    void setLocked(bool locked);
    bool isKeyable() const;

    MStatus getValue(bool& v, const MDGContext& ctx = MDGContext::fsNormal) const;
    MStatus getValue(int& v, const MDGContext& ctx = MDGContext::fsNormal) const;
    MStatus getValue(short& v, const MDGContext& ctx = MDGContext::fsNormal) const;
    MStatus getValue(double& v, const MDGContext& ctx = MDGContext::fsNormal) const;
    MStatus getValue(float& v, const MDGContext& ctx = MDGContext::fsNormal) const;
    MStatus getValue(MString& v, const MDGContext& ctx = MDGContext::fsNormal) const;
    MStatus getValue(MTime& v, const MDGContext& ctx = MDGContext::fsNormal) const;
    MStatus getValue(MObject& v, const MDGContext& ctx = MDGContext::fsNormal) const;
    bool asBool(const MDGContext& ctx = MDGContext::fsNormal, MStatus* status = nullptr) const;
    int asInt(const MDGContext& ctx = MDGContext::fsNormal, MStatus* status = nullptr) const;
    short asShort(const MDGContext& ctx = MDGContext::fsNormal, MStatus* status = nullptr) const;
    double asDouble(const MDGContext& ctx = MDGContext::fsNormal, MStatus* status = nullptr) const;
    float asFloat(const MDGContext& ctx = MDGContext::fsNormal, MStatus* status = nullptr) const;
    MString asString(const MDGContext& ctx = MDGContext::fsNormal, MStatus* status = nullptr) const;
    MTime asMTime(const MDGContext& ctx = MDGContext::fsNormal, MStatus* status = nullptr) const;
    MObject asMObject(const MDGContext& ctx = MDGContext::fsNormal, MStatus* status = nullptr) const;

    MStatus setValue(bool v);
    MStatus setValue(int v);
    MStatus setValue(short v);
    MStatus setValue(double v);
    MStatus setValue(float v);
    MStatus setValue(const MString& v);
    MStatus setValue(const char* v) { return setValue(MString(v)); }
    MStatus setValue(const MTime& v);
    MStatus setValue(const MObject& data);
    MStatus setBool(bool v) { return setValue(v); }
    MStatus setInt(int v) { return setValue(v); }
    MStatus setShort(short v) { return setValue(v); }
    MStatus setDouble(double v) { return setValue(v); }
    MStatus setFloat(float v) { return setValue(v); }
    MStatus setString(const MString& v) { return setValue(v); }
    MStatus setMTime(const MTime& v) { return setValue(v); }
    MStatus setMObject(const MObject& v) { return setValue(v); }

    bool operator==(const MPlug& o) const;
    bool operator!=(const MPlug& o) const { return !(*this == o); }

    // Host side.
    MPlug(const MObject& node, std::shared_ptr<host::Attribute> attr, int index);
    const std::shared_ptr<host::Attribute>& attr() const { return attr_; }
    int index() const { return index_; }

private:
    MObject node_;
    std::shared_ptr<host::Attribute> attr_;
    int index_ = -1;
};

class MPlugArray : public host::ValueArray<MPlug> {
public:
    using ValueArray::ValueArray;
};
