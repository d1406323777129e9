#pragma once

#include <climits>
#include <string>
#include <vector>

#include "host/api/status.h"

// A command's flags and objects.
class MSyntax {
public:
    enum MArgType {
        kInvalidArgType = 0,
        kNoArg,
        kBoolean,
        kLong,
        kDouble,
        kString,
        kUnsigned,
        kDistance,
        kAngle,
        kTime,
        kSelectionItem,
        kLastArgType
    };
    enum MObjectFormat { kInvalidObjectFormat = 0, kNone, kStringObjects, kSelectionList, kLastObjectFormat };

    MStatus addFlag(const char* shortName, const char* longName, MArgType a1 = kNoArg, MArgType a2 = kNoArg,
                    MArgType a3 = kNoArg, MArgType a4 = kNoArg, MArgType a5 = kNoArg, MArgType a6 = kNoArg);
    MStatus makeFlagMultiUse(const char* flag);
    MStatus addArg(MArgType type);
    MStatus setObjectType(MObjectFormat format, unsigned minObjects = 0, unsigned maxObjects = UINT_MAX);
    void useSelectionAsDefault(bool use) { selectionDefault_ = use; }
    MStatus enableQuery(bool on = true) { query_ = on; return MS::kSuccess; }
    MStatus enableEdit(bool on = true) { edit_ = on; return MS::kSuccess; }

    // Host side.
    struct Flag {
        std::string shortName, longName;
        std::vector<MArgType> args;
        bool multiUse = false;
    };
    const Flag* findFlag(const std::string& name) const;
    const std::vector<MArgType>& commandArgs() const { return commandArgs_; }
    MObjectFormat objectFormat() const { return objectFormat_; }
    unsigned minObjects() const { return minObjects_; }
    unsigned maxObjects() const { return maxObjects_; }
    bool selectionDefault() const { return selectionDefault_; }

private:
    std::vector<Flag> flags_;
    std::vector<MArgType> commandArgs_;
    MObjectFormat objectFormat_ = kNone;
    unsigned minObjects_ = 0, maxObjects_ = UINT_MAX;
    bool selectionDefault_ = false, query_ = false, edit_ = false;
};
