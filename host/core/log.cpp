#include "host/core/log.h"

#include <cstdio>

namespace host {

std::string Log::prefix(LogKind kind) {
    switch (kind) {
        case LogKind::Info: return "Info: ";
        case LogKind::Warning: return "Warning: ";
        case LogKind::Error: return "Error: ";
        case LogKind::Echo: return "Echo: ";
        case LogKind::Recorded: return "Recorded: ";
        case LogKind::Print: return "";
    }
    return "";
}

void Log::add(LogKind kind, const std::string& text, const std::string& command) {
    std::string where;
    if (kind == LogKind::Error && !file_.empty()) where = file_ + ":" + std::to_string(line_);
    records_.push_back(LogRecord{kind, text, command, where});
    if (quiet_ || kind == LogKind::Recorded) return;
    if (kind == LogKind::Print) {
        std::fputs(text.c_str(), stdout);
        std::fflush(stdout);
    } else {
        std::fprintf(stderr, "%s%s%s\n", where.empty() ? "" : (where + ": ").c_str(), prefix(kind).c_str(),
                     text.c_str());
    }
}

bool Log::contains(LogKind kind, const std::string& fragment) const {
    for (const auto& r : records_)
        if (r.kind == kind && r.text.find(fragment) != std::string::npos) return true;
    return false;
}

std::size_t Log::count(LogKind kind) const {
    std::size_t n = 0;
    for (const auto& r : records_) n += r.kind == kind;
    return n;
}

std::string Log::text() const {
    std::string out;
    for (const auto& r : records_) {
        if (!r.where.empty()) out += r.where + ": ";
        out += prefix(r.kind) + r.text;
        if (!r.command.empty()) out += " [" + r.command + "]";
        if (out.empty() || out.back() != '\n') out += '\n';
    }
    return out;
}

}  // namespace host
