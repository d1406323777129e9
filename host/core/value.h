#pragma once

#include <array>
#include <memory>
#include <string>
#include <variant>

#include "host/api/fn.h"
#include "host/api/hostTime.h"

namespace host {

// Shared, copy-on-write data carried by typed attributes (strings are plain values).
class DataObject {
public:
    virtual ~DataObject() = default;
    virtual MFn::Type kind() const = 0;
    virtual std::shared_ptr<DataObject> clone() const = 0;
};

using Vec3 = std::array<double, 3>;

// One plug's stored value. Booleans, integers and enums are ints; floats are doubles.
using Value = std::variant<std::monostate, int, double, Vec3, std::string, MTime, std::shared_ptr<DataObject>>;

int valueAsInt(const Value& v);
double valueAsDouble(const Value& v);
std::string valueAsString(const Value& v);
MTime valueAsTime(const Value& v);

}  // namespace host
