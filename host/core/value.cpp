#include "host/core/value.h"

#include <cstdio>

namespace host {

int valueAsInt(const Value& v) {
    if (auto p = std::get_if<int>(&v)) return *p;
    if (auto p = std::get_if<double>(&v)) return static_cast<int>(*p);
    if (auto p = std::get_if<MTime>(&v)) return static_cast<int>(p->value());
    if (auto p = std::get_if<std::string>(&v)) return std::atoi(p->c_str());
    return 0;
}

double valueAsDouble(const Value& v) {
    if (auto p = std::get_if<int>(&v)) return *p;
    if (auto p = std::get_if<double>(&v)) return *p;
    if (auto p = std::get_if<MTime>(&v)) return p->value();
    if (auto p = std::get_if<std::string>(&v)) return std::strtod(p->c_str(), nullptr);
    return 0;
}

std::string valueAsString(const Value& v) {
    if (auto p = std::get_if<std::string>(&v)) return *p;
    if (auto p = std::get_if<int>(&v)) return std::to_string(*p);
    char buf[32];
    if (auto p = std::get_if<double>(&v)) {
        std::snprintf(buf, sizeof buf, "%.17g", *p);
        return buf;
    }
    if (auto p = std::get_if<MTime>(&v)) {
        std::snprintf(buf, sizeof buf, "%.17g", p->value());
        return buf;
    }
    return {};
}

MTime valueAsTime(const Value& v) {
    if (auto p = std::get_if<MTime>(&v)) return *p;
    return MTime(valueAsDouble(v), MTime::uiUnit());
}

}  // namespace host
