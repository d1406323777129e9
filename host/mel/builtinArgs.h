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
// A number given to a command: the whole word, finite; else the error (logged)
// names `what`, the flag or plug it was for.
MStatus realArg(const std::string& command, const std::string& what, const std::string& text, double& out);
// Every value given to the flags (short names) checked by realArg.
MStatus realFlags(const std::string& command, const ParsedArgs& p, std::initializer_list<const char*> flags);
// A whole number from `min` to `max`; else the error (logged) names `what` and the range.
MStatus intArg(const std::string& command, const std::string& what, const std::string& text, int min, int max,
               int& out);
// on/off, true/false, yes/no, 1/0; anything else is false.
bool truthy(const std::string& text);

}  // namespace host::mel
