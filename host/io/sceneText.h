#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "host/api/hostTime.h"
#include "host/api/status.h"
#include "host/core/value.h"
#include "host/mel/interpreter.h"

// How scene files spell values: what the writer prints after a plug and the
// reader parses back into the same value (same variant, same bits).
namespace host::io {

// A double that always reads back as a double: "2.0", never "2".
std::string real(double v);
const char* timeUnitName(MTime::Unit unit);
bool timeUnitFrom(const std::string& name, MTime::Unit& unit);

// Writes "-type T data" (or a bare number) for setAttr; data that spans lines puts
// one vertex, face, key or CV per line. A value with a number that is not finite is
// written all the same and answered NotFinite: the caller drops the text.
enum class ValueText { Written, Unwritable, NotFinite };
ValueText writeValue(std::ostream& out, const Value& value);
// Parses the words after the plug: `type` is the -type value ("" when absent).
MStatus readValue(const std::string& type, const std::vector<mel::Arg>& words, Value& out);
// A bare number: integral text is an int, anything else a double.
MStatus readNumber(const std::string& text, Value& out);
MStatus readReal(const std::string& text, double& out);
MStatus readInt(const std::string& text, int& out);

}  // namespace host::io
