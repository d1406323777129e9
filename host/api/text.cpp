#include "host/api/text.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <limits>

#include "host/api/status.h"

MString& MString::operator+=(double v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%g", v);
    s_ += buf;
    return *this;
}

MString& MString::set(double v, int precision) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*f", precision, v);
    s_ = buf;
    return *this;
}

MString MString::substring(int first, int last) const {
    if (first < 0) first = 0;
    if (last >= static_cast<int>(s_.size())) last = static_cast<int>(s_.size()) - 1;
    if (last < first) return {};
    return MString(s_.substr(first, last - first + 1));
}

int MString::index(char c) const {
    const auto p = s_.find(c);
    return p == std::string::npos ? -1 : static_cast<int>(p);
}

int MString::rindex(char c) const {
    const auto p = s_.rfind(c);
    return p == std::string::npos ? -1 : static_cast<int>(p);
}

bool MString::isInt() const {
    int v = 0;
    const char* b = s_.data();
    const char* e = b + s_.size();
    if (b != e && *b == '+') ++b;
    const auto r = std::from_chars(b, e, v);
    return b != e && r.ec == std::errc() && r.ptr == e;
}

bool MString::isDouble() const {
    if (s_.empty()) return false;
    char* end = nullptr;
    std::strtod(s_.c_str(), &end);
    return end == s_.c_str() + s_.size();
}

int MString::asInt() const {
    // Clamped to the int range: atoi's overflow is undefined.
    const long v = std::strtol(s_.c_str(), nullptr, 10);
    return static_cast<int>(std::clamp<long>(v, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}
double MString::asDouble() const { return std::strtod(s_.c_str(), nullptr); }

MString MString::toLowerCase() const {
    std::string r = s_;
    for (auto& c : r) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return MString(r);
}

MStatus MString::split(char c, MStringArray& out) const {
    out.clear();
    std::string cur;
    for (const char ch : s_) {
        if (ch == c) {
            if (!cur.empty()) out.append(MString(cur));
            cur.clear();
        } else {
            cur += ch;
        }
    }
    if (!cur.empty()) out.append(MString(cur));
    return MS::kSuccess;
}
