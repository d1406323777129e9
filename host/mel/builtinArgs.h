#pragma once

#include <initializer_list>
#include <map>
#include <string>
#include <vector>

#include "host/mel/interpreter.h"

namespace host::mel {

struct FlagSpec {
    const char* shortName;
    const char* longName;
    int args;
};

// A built-in's words split into flags (by short name) and the rest.
struct ParsedArgs {
    std::map<std::string, std::vector<std::string>> flags;
    std::vector<Arg> words;
    bool has(const char* flag) const { return flags.count(flag) != 0; }
    std::string value(const char* flag, std::size_t i = 0) const;
};

MStatus parseArgs(const std::string& command, const std::vector<Arg>& args, std::initializer_list<FlagSpec> specs,
                  ParsedArgs& out);
// Logs the error (with the command) and returns a failure.
MStatus commandError(const std::string& command, const std::string& text);
// on/off, true/false, yes/no, 1/0; anything else is false.
bool truthy(const std::string& text);

}  // namespace host::mel
