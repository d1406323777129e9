#pragma once

#include <array>

#include "host/api/fnAttribute.h"
#include "host/core/value.h"

namespace host {

// Up to three numbers of one numeric type, as a data object.
class NumericData : public DataObject {
public:
    explicit NumericData(MFnNumericData::Type t) : type(t) {}
    MFn::Type kind() const override { return MFn::kNumericData; }
    std::shared_ptr<DataObject> clone() const override { return std::make_shared<NumericData>(*this); }
    MFnNumericData::Type type;
    std::array<double, 3> values{0, 0, 0};
};

// The number of values a numeric type holds (0 for none handled here).
int numericWidth(MFnNumericData::Type type);

}  // namespace host
