#include "host/api/argList.h"

#include <cctype>
#include <climits>

namespace host {

bool parseBool(const std::string& text, bool& out) {
    std::string t;
    for (const char c : text) t += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (t == "true" || t == "on" || t == "yes" || t == "1") {
        out = true;
        return true;
    }
    if (t == "false" || t == "off" || t == "no" || t == "0") {
        out = false;
        return true;
    }
    return false;
}

}  // namespace host

namespace {

MStatus outOfRange() { return MStatus(MS::kInvalidParameter, "argument index out of range"); }

}  // namespace

unsigned MArgList::length(MStatus* status) const {
    if (status) *status = MS::kSuccess;
    return static_cast<unsigned>(words_.size());
}

bool MArgList::asBool(unsigned index, MStatus* status) const {
    bool v = false;
    const bool ok = index < words_.size() && host::parseBool(words_[index].text, v);
    if (status) *status = ok ? MStatus(MS::kSuccess) : MStatus(MS::kInvalidParameter, "not a boolean");
    return v;
}

int MArgList::asInt(unsigned index, MStatus* status) const {
    const bool ok = index < words_.size() && MString(words_[index].text).isInt();
    if (status) *status = ok ? MStatus(MS::kSuccess) : MStatus(MS::kInvalidParameter, "not an integer");
    return ok ? MString(words_[index].text).asInt() : 0;
}

double MArgList::asDouble(unsigned index, MStatus* status) const {
    const bool ok = index < words_.size() && MString(words_[index].text).isDouble();
    if (status) *status = ok ? MStatus(MS::kSuccess) : MStatus(MS::kInvalidParameter, "not a number");
    return ok ? MString(words_[index].text).asDouble() : 0;
}

MString MArgList::asString(unsigned index, MStatus* status) const {
    if (status) *status = index < words_.size() ? MStatus(MS::kSuccess) : outOfRange();
    return index < words_.size() ? MString(words_[index].text) : MString();
}

MTime MArgList::asTime(unsigned index, MStatus* status) const { return MTime(asDouble(index, status)); }

unsigned MArgList::flagIndex(const char* shortFlag, const char* longFlag) const {
    auto strip = [](const char* s) {
        std::string t = s ? s : "";
        return !t.empty() && t[0] == '-' ? t.substr(1) : t;
    };
    const std::string s = strip(shortFlag), l = strip(longFlag);
    for (unsigned i = 0; i < words_.size(); ++i) {
        const auto& w = words_[i];
        if (w.quoted || w.text.size() < 2 || w.text[0] != '-') continue;
        const std::string name = w.text.substr(1);
        if (name == s || (!l.empty() && name == l)) return i;
    }
    return UINT_MAX;
}

MArgList& MArgList::addArg(const MString& word) {
    append(word.str(), false);
    return *this;
}
