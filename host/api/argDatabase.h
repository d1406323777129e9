#pragma once

#include <map>
#include <string>
#include <vector>

#include "host/api/argList.h"
#include "host/api/selectionList.h"
#include "host/api/syntax.h"

// A command's arguments parsed against its syntax: flags with their typed
// arguments, command arguments and objects.
class MArgDatabase {
public:
    MArgDatabase() = default;
    MArgDatabase(const MSyntax& syntax, const MArgList& args, MStatus* status = nullptr);

    bool isFlagSet(const char* flag, MStatus* status = nullptr) const;
    unsigned numberOfFlagUses(const char* flag) const;
    MStatus getFlagArgument(const char* flag, unsigned index, bool& v) const;
    MStatus getFlagArgument(const char* flag, unsigned index, int& v) const;
    MStatus getFlagArgument(const char* flag, unsigned index, unsigned& v) const;
    MStatus getFlagArgument(const char* flag, unsigned index, double& v) const;
    MStatus getFlagArgument(const char* flag, unsigned index, MString& v) const;
    MStatus getFlagArgument(const char* flag, unsigned index, MTime& v) const;
    MStatus getFlagArgument(const char* flag, unsigned index, MSelectionList& v) const;
    bool flagArgumentBool(const char* flag, unsigned index, MStatus* status = nullptr) const;
    int flagArgumentInt(const char* flag, unsigned index, MStatus* status = nullptr) const;
    double flagArgumentDouble(const char* flag, unsigned index, MStatus* status = nullptr) const;
    MString flagArgumentString(const char* flag, unsigned index, MStatus* status = nullptr) const;
    MStatus getCommandArgument(unsigned index, int& v) const;
    MStatus getCommandArgument(unsigned index, double& v) const;
    MStatus getCommandArgument(unsigned index, MString& v) const;
    MStatus getObjects(MSelectionList& out) const;
    MStatus getObjects(MStringArray& out) const;
    bool isQuery() const { return false; }
    bool isEdit() const { return false; }

private:
    MStatus parse(const MSyntax& syntax, const MArgList& args);
    const std::vector<std::string>* flagArgs(const char* flag, unsigned index, MStatus& st) const;

    MSyntax syntax_;  // a copy: callers pass temporaries
    std::map<std::string, std::vector<std::vector<std::string>>> flags_;  // by short name, one entry per use
    std::vector<std::string> commandArgs_;
    std::vector<std::string> objects_;
    bool objectsFromSelection_ = false;
};
