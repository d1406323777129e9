#include "host/core/result.h"

#include <cstdio>

namespace host {

namespace {

std::string number(double d) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.15g", d);
    return buf;
}

}  // namespace

std::vector<std::string> resultWords(const Result& r) {
    std::vector<std::string> out;
    if (auto p = std::get_if<int>(&r)) out.push_back(std::to_string(*p));
    if (auto p = std::get_if<double>(&r)) out.push_back(number(*p));
    if (auto p = std::get_if<std::string>(&r)) out.push_back(*p);
    if (auto p = std::get_if<std::vector<int>>(&r))
        for (int v : *p) out.push_back(std::to_string(v));
    if (auto p = std::get_if<std::vector<double>>(&r))
        for (double v : *p) out.push_back(number(v));
    if (auto p = std::get_if<std::vector<std::string>>(&r)) out = *p;
    return out;
}

std::string resultText(const Result& r) {
    const bool array = std::holds_alternative<std::vector<int>>(r) || std::holds_alternative<std::vector<double>>(r) ||
                       std::holds_alternative<std::vector<std::string>>(r);
    std::string out;
    for (const auto& w : resultWords(r)) out += array ? w + "\n" : w;
    return out;
}

}  // namespace host
