#pragma once

#include <string>

#include "host/api/status.h"
#include "host/core/attribute.h"
#include "host/core/value.h"

// Checks on what scripts and scene files give the host, before it is stored:
// a value must suit its attribute (the kind of data, finite numbers within the
// attribute's type: whole numbers in range, floats in single precision), an
// element index needs an array, and a connection must not join data of
// different kinds. Errors name the plug as given (`plug`).
namespace host {

MStatus checkIndex(const Attribute& a, int index, const std::string& plug);
MStatus checkValue(const Attribute& a, const Value& v, const std::string& plug);
MStatus checkConnection(const Attribute& src, const Attribute& dst, const std::string& srcPlug,
                        const std::string& dstPlug);
// A finite number within int range, for a whole-number attribute.
bool fitsInt(double v);
// Whether a number of a numeric type (`MFnNumericData::Type`, any component count)
// holds v as it is read back: whole types a number within their range (bool within
// int range), float types one within single precision, others a finite one.
bool fitsNumeric(int numericType, double v);

}  // namespace host
