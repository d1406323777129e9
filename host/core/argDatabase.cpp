#include "host/api/argDatabase.h"

#include <cctype>
#include <cmath>

#include "host/api/global.h"

namespace {

bool isFlagWord(const MArgList::Word& w) {
    return !w.quoted && w.text.size() >= 2 && w.text[0] == '-' && std::isalpha(static_cast<unsigned char>(w.text[1]));
}

std::string flagName(const char* flag) {
    std::string t = flag ? flag : "";
    return !t.empty() && t[0] == '-' ? t.substr(1) : t;
}

bool valid(MSyntax::MArgType type, const std::string& text) {
    const MString s(text);
    bool b;
    switch (type) {
        case MSyntax::kBoolean: return host::parseBool(text, b);
        case MSyntax::kLong: return s.isInt();
        case MSyntax::kUnsigned: return s.isInt() && s.asInt() >= 0;
        case MSyntax::kDouble:
        case MSyntax::kDistance:
        case MSyntax::kAngle:
        case MSyntax::kTime: return s.isDouble() && std::isfinite(s.asDouble());
        default: return true;
    }
}

}  // namespace

MArgDatabase::MArgDatabase(const MSyntax& syntax, const MArgList& args, MStatus* status) : syntax_(syntax) {
    const MStatus st = parse(syntax, args);
    if (status) *status = st;
}

MStatus MArgDatabase::parse(const MSyntax& syntax, const MArgList& args) {
    auto fail = [](const std::string& text) { return MStatus(MS::kInvalidParameter, text); };
    const auto& words = args.words();
    for (std::size_t i = 0; i < words.size(); ++i) {
        if (isFlagWord(words[i])) {
            const MSyntax::Flag* flag = syntax.findFlag(words[i].text.substr(1));
            if (!flag) return fail("Invalid flag '" + words[i].text + "'");
            std::vector<std::string> values;
            for (const MSyntax::MArgType t : flag->args) {
                if (++i >= words.size())
                    return fail("Flag '" + words[i - 1 - values.size()].text + "' needs " +
                                std::to_string(flag->args.size()) + " argument(s)");
                if (!valid(t, words[i].text))
                    return fail("Invalid argument '" + words[i].text + "' for flag '-" + flag->longName + "'");
                values.push_back(words[i].text);
            }
            flags_[flag->shortName].push_back(std::move(values));
        } else if (commandArgs_.size() < syntax.commandArgs().size()) {
            if (!valid(syntax.commandArgs()[commandArgs_.size()], words[i].text))
                return fail("Invalid argument '" + words[i].text + "'");
            commandArgs_.push_back(words[i].text);
        } else {
            objects_.push_back(words[i].text);
        }
    }
    if (syntax.objectFormat() == MSyntax::kNone || syntax.objectFormat() == MSyntax::kInvalidObjectFormat) {
        if (!objects_.empty()) return fail("Too many arguments: '" + objects_.front() + "'");
    } else {
        std::size_t count = objects_.size();
        if (count == 0 && syntax.selectionDefault()) {
            MSelectionList sel;
            MGlobal::getActiveSelectionList(sel);
            count = sel.length();
            objectsFromSelection_ = true;
        }
        if (count < syntax.minObjects()) return fail("Too few objects: at least " + std::to_string(syntax.minObjects()));
        if (count > syntax.maxObjects()) return fail("Too many objects: at most " + std::to_string(syntax.maxObjects()));
    }
    return MS::kSuccess;
}

bool MArgDatabase::isFlagSet(const char* flag, MStatus* status) const {
    if (status) *status = MS::kSuccess;
    return numberOfFlagUses(flag) > 0;
}

unsigned MArgDatabase::numberOfFlagUses(const char* flag) const {
    const MSyntax::Flag* f = syntax_.findFlag(flagName(flag));
    if (!f) return 0;
    const auto it = flags_.find(f->shortName);
    return it == flags_.end() ? 0 : static_cast<unsigned>(it->second.size());
}

const std::vector<std::string>* MArgDatabase::flagArgs(const char* flag, unsigned index, MStatus& st) const {
    const MSyntax::Flag* f = syntax_.findFlag(flagName(flag));
    const auto it = f ? flags_.find(f->shortName) : flags_.end();
    if (it == flags_.end() || it->second.empty() || index >= it->second.back().size()) {
        st = MStatus(MS::kInvalidParameter, "flag not set");
        return nullptr;
    }
    st = MS::kSuccess;
    return &it->second.back();
}

MStatus MArgDatabase::getFlagArgument(const char* flag, unsigned index, bool& v) const {
    MStatus st;
    if (auto a = flagArgs(flag, index, st)) host::parseBool((*a)[index], v);
    return st;
}

MStatus MArgDatabase::getFlagArgument(const char* flag, unsigned index, int& v) const {
    MStatus st;
    if (auto a = flagArgs(flag, index, st)) v = MString((*a)[index]).asInt();
    return st;
}

MStatus MArgDatabase::getFlagArgument(const char* flag, unsigned index, unsigned& v) const {
    MStatus st;
    if (auto a = flagArgs(flag, index, st)) v = static_cast<unsigned>(MString((*a)[index]).asInt());
    return st;
}

MStatus MArgDatabase::getFlagArgument(const char* flag, unsigned index, double& v) const {
    MStatus st;
    if (auto a = flagArgs(flag, index, st)) v = MString((*a)[index]).asDouble();
    return st;
}

MStatus MArgDatabase::getFlagArgument(const char* flag, unsigned index, MString& v) const {
    MStatus st;
    if (auto a = flagArgs(flag, index, st)) v = MString((*a)[index]);
    return st;
}

MStatus MArgDatabase::getFlagArgument(const char* flag, unsigned index, MTime& v) const {
    MStatus st;
    if (auto a = flagArgs(flag, index, st)) v = MTime(MString((*a)[index]).asDouble(), MTime::uiUnit());
    return st;
}

MStatus MArgDatabase::getFlagArgument(const char* flag, unsigned index, MSelectionList& v) const {
    MStatus st;
    if (auto a = flagArgs(flag, index, st)) return v.add(MString((*a)[index]));
    return st;
}

bool MArgDatabase::flagArgumentBool(const char* flag, unsigned index, MStatus* status) const {
    bool v = false;
    const MStatus st = getFlagArgument(flag, index, v);
    if (status) *status = st;
    return v;
}

int MArgDatabase::flagArgumentInt(const char* flag, unsigned index, MStatus* status) const {
    int v = 0;
    const MStatus st = getFlagArgument(flag, index, v);
    if (status) *status = st;
    return v;
}

double MArgDatabase::flagArgumentDouble(const char* flag, unsigned index, MStatus* status) const {
    double v = 0;
    const MStatus st = getFlagArgument(flag, index, v);
    if (status) *status = st;
    return v;
}

MString MArgDatabase::flagArgumentString(const char* flag, unsigned index, MStatus* status) const {
    MString v;
    const MStatus st = getFlagArgument(flag, index, v);
    if (status) *status = st;
    return v;
}

MStatus MArgDatabase::getCommandArgument(unsigned index, int& v) const {
    if (index >= commandArgs_.size()) return MStatus(MS::kInvalidParameter, "no such argument");
    v = MString(commandArgs_[index]).asInt();
    return MS::kSuccess;
}

MStatus MArgDatabase::getCommandArgument(unsigned index, double& v) const {
    if (index >= commandArgs_.size()) return MStatus(MS::kInvalidParameter, "no such argument");
    v = MString(commandArgs_[index]).asDouble();
    return MS::kSuccess;
}

MStatus MArgDatabase::getCommandArgument(unsigned index, MString& v) const {
    if (index >= commandArgs_.size()) return MStatus(MS::kInvalidParameter, "no such argument");
    v = MString(commandArgs_[index]);
    return MS::kSuccess;
}

MStatus MArgDatabase::getObjects(MSelectionList& out) const {
    out.clear();
    if (objectsFromSelection_) return MGlobal::getActiveSelectionList(out);
    for (const auto& name : objects_) {
        const MStatus st = out.add(MString(name));
        if (!st) return st;
    }
    return MS::kSuccess;
}

MStatus MArgDatabase::getObjects(MStringArray& out) const {
    out.clear();
    if (objectsFromSelection_) {
        MSelectionList sel;
        MGlobal::getActiveSelectionList(sel);
        return sel.getSelectionStrings(out);
    }
    for (const auto& name : objects_) out.append(MString(name));
    return MS::kSuccess;
}
