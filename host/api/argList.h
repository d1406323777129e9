#pragma once

#include <string>
#include <vector>

#include "host/api/hostTime.h"
#include "host/api/status.h"
#include "host/api/text.h"

// The words a command was called with, in order.
class MArgList {
public:
    MArgList() = default;

    unsigned length(MStatus* status = nullptr) const;
    bool asBool(unsigned index, MStatus* status = nullptr) const;
    int asInt(unsigned index, MStatus* status = nullptr) const;
    double asDouble(unsigned index, MStatus* status = nullptr) const;
    MString asString(unsigned index, MStatus* status = nullptr) const;
    MTime asTime(unsigned index, MStatus* status = nullptr) const;
    // Index of the flag given by its short or long name (without '-'), or UINT_MAX.
    unsigned flagIndex(const char* shortFlag, const char* longFlag = nullptr) const;
    MArgList& addArg(const MString& word);

    // Host side.
    struct Word {
        std::string text;
        bool quoted = false;
    };
    void append(std::string text, bool quoted) { words_.push_back(Word{std::move(text), quoted}); }
    const std::vector<Word>& words() const { return words_; }

private:
    std::vector<Word> words_;
};

namespace host {
// MEL boolean spellings: true/false, on/off, yes/no, 1/0.
bool parseBool(const std::string& text, bool& out);
}  // namespace host
