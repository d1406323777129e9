#pragma once

#include <cstdint>

#include "host/api/object.h"
#include "host/api/plug.h"
#include "host/api/vectors.h"

namespace host {
struct Attribute;
class TimedValues;
}

// A value inside a compute: an input (already evaluated) or an output to fill.
class MDataHandle {
public:
    MDataHandle() = default;

    bool asBool() const;
    int asInt() const;
    short asShort() const;
    long asLong() const { return asInt(); }
    double asDouble() const;
    float asFloat() const;
    MVector asVector() const;
    MFloatVector asFloatVector() const;
    MString asString() const;
    MTime asTime() const;
    MObject data() const;
    MDataHandle child(const MObject& attr) const;

    void setBool(bool v);
    void setInt(int v);
    void setShort(short v);
    void setDouble(double v);
    void setFloat(float v);
    void set3Double(double x, double y, double z);
    void set3Float(float x, float y, float z);
    void setString(const MString& v);
    void setMTime(const MTime& v);
    void setMObject(const MObject& data);
    // The output now holds a valid value; without it, the plug is computed again on each read.
    void setClean();

    // Host side.
    MDataHandle(std::uint64_t node, const host::Attribute* attr, int index, bool output = false,
                host::TimedValues* timed = nullptr)
        : node_(node), attr_(attr), index_(index), output_(output), timed_(timed) {}

private:
    std::uint64_t node_ = 0;
    const host::Attribute* attr_ = nullptr;
    int index_ = -1;
    bool output_ = false;  // data read through an output handle is the plug's own (detached)
    host::TimedValues* timed_ = nullptr;  // a compute at another time: its scratch values
};

// A node's data during its compute.
class MDataBlock {
public:
    explicit MDataBlock(std::uint64_t node, host::TimedValues* timed = nullptr) : node_(node), timed_(timed) {}

    // Evaluates the plug when dirty (nested computes) and gives its value.
    MDataHandle inputValue(const MPlug& plug, MStatus* status = nullptr);
    MDataHandle inputValue(const MObject& attr, MStatus* status = nullptr);
    MDataHandle outputValue(const MPlug& plug, MStatus* status = nullptr);
    MDataHandle outputValue(const MObject& attr, MStatus* status = nullptr);
    MStatus setClean(const MPlug& plug);
    MStatus setClean(const MObject& attr);
    bool isClean(const MObject& attr, MStatus* status = nullptr);
    MDGContext context() const;

private:
    std::uint64_t node_;
    host::TimedValues* timed_;
};
