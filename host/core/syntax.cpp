#include "host/api/syntax.h"

MStatus MSyntax::addFlag(const char* shortName, const char* longName, MArgType a1, MArgType a2, MArgType a3,
                         MArgType a4, MArgType a5, MArgType a6) {
    auto strip = [](const char* s) {
        std::string t = s ? s : "";
        return !t.empty() && t[0] == '-' ? t.substr(1) : t;
    };
    Flag f{strip(shortName), strip(longName), {}, false};
    if (f.shortName.empty() || findFlag(f.shortName) || findFlag(f.longName))
        return MStatus(MS::kInvalidParameter, "flag exists");
    for (const MArgType t : {a1, a2, a3, a4, a5, a6})
        if (t != kNoArg && t != kInvalidArgType) f.args.push_back(t);
    flags_.push_back(std::move(f));
    return MS::kSuccess;
}

MStatus MSyntax::makeFlagMultiUse(const char* flag) {
    std::string name = flag ? flag : "";
    if (!name.empty() && name[0] == '-') name = name.substr(1);
    for (auto& f : flags_)
        if (f.shortName == name || f.longName == name) {
            f.multiUse = true;
            return MS::kSuccess;
        }
    return MStatus(MS::kInvalidParameter, "no such flag");
}

MStatus MSyntax::addArg(MArgType type) {
    commandArgs_.push_back(type);
    return MS::kSuccess;
}

MStatus MSyntax::setObjectType(MObjectFormat format, unsigned minObjects, unsigned maxObjects) {
    objectFormat_ = format;
    minObjects_ = minObjects;
    maxObjects_ = maxObjects;
    return MS::kSuccess;
}

const MSyntax::Flag* MSyntax::findFlag(const std::string& name) const {
    if (name.empty()) return nullptr;
    for (const auto& f : flags_)
        if (f.shortName == name || f.longName == name) return &f;
    return nullptr;
}
