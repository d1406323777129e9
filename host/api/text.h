#pragma once

#include <ostream>
#include <string>
#include <string_view>

#include "host/api/arrays.h"

class MStatus;
class MStringArray;

// A host string: owns its characters, converts to and from numbers.
class MString {
public:
    MString() = default;
    MString(const char* s) : s_(s ? s : "") {}  // NOLINT: literals convert implicitly
    MString(const std::string& s) : s_(s) {}    // NOLINT
    MString(std::string_view s) : s_(s) {}      // NOLINT

    const char* asChar() const { return s_.c_str(); }
    const std::string& str() const { return s_; }
    unsigned length() const { return static_cast<unsigned>(s_.size()); }
    unsigned numChars() const { return length(); }
    bool empty() const { return s_.empty(); }

    MString& operator+=(const MString& o) { s_ += o.s_; return *this; }
    MString& operator+=(const char* o) { s_ += o ? o : ""; return *this; }
    MString& operator+=(char c) { s_ += c; return *this; }
    MString& operator+=(int v) { s_ += std::to_string(v); return *this; }
    MString& operator+=(unsigned v) { s_ += std::to_string(v); return *this; }
    MString& operator+=(double v);
    MString& operator+=(float v) { return *this += static_cast<double>(v); }
    MString& set(double v, int precision);

    friend MString operator+(MString a, const MString& b) { return a += b; }
    friend MString operator+(MString a, const char* b) { return a += b; }
    friend MString operator+(const char* a, const MString& b) { return MString(a) += b; }
    bool operator==(const MString& o) const { return s_ == o.s_; }
    bool operator==(const char* o) const { return s_ == (o ? o : ""); }
    bool operator<(const MString& o) const { return s_ < o.s_; }

    // Characters first..last inclusive.
    MString substring(int first, int last) const;
    int index(char c) const;
    int rindex(char c) const;
    bool isInt() const;
    bool isDouble() const;
    int asInt() const;
    double asDouble() const;
    float asFloat() const { return static_cast<float>(asDouble()); }
    MString toLowerCase() const;
    MStatus split(char c, MStringArray& out) const;

private:
    std::string s_;
};

inline std::ostream& operator<<(std::ostream& os, const MString& s) { return os << s.str(); }

class MStringArray : public host::ValueArray<MString> {
public:
    using ValueArray::ValueArray;
};
