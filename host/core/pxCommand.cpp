#include "host/api/pxCommand.h"

#include "host/core/runtime.h"

using host::runtime;

namespace {

host::Result* current() { return runtime().resultStack.empty() ? nullptr : runtime().resultStack.back(); }

std::string commandName() { return runtime().commandStack.empty() ? std::string() : runtime().commandStack.back(); }

}  // namespace

MSyntax MPxCommand::syntax() const {
    const host::CommandType* c = runtime().registry.findCommand(name_);
    return c && c->syntax ? c->syntax() : MSyntax();
}

void MPxCommand::setResult(bool v) { setResult(v ? 1 : 0); }
void MPxCommand::setResult(int v) {
    if (auto* r = current()) *r = v;
}
void MPxCommand::setResult(double v) {
    if (auto* r = current()) *r = v;
}
void MPxCommand::setResult(const MString& v) {
    if (auto* r = current()) *r = v.str();
}
void MPxCommand::setResult(const MStringArray& v) {
    std::vector<std::string> out;
    for (const auto& s : v) out.push_back(s.str());
    if (auto* r = current()) *r = out;
}
void MPxCommand::setResult(const MIntArray& v) {
    if (auto* r = current()) *r = v.values();
}
void MPxCommand::setResult(const MDoubleArray& v) {
    if (auto* r = current()) *r = v.values();
}

void MPxCommand::appendToResult(const MString& v) {
    auto* r = current();
    if (!r) return;
    if (auto* a = std::get_if<std::vector<std::string>>(r))
        a->push_back(v.str());
    else if (auto* s = std::get_if<std::string>(r))
        *r = std::vector<std::string>{*s, v.str()};
    else
        *r = std::vector<std::string>{v.str()};
}

void MPxCommand::appendToResult(double v) {
    auto* r = current();
    if (!r) return;
    if (auto* a = std::get_if<std::vector<double>>(r))
        a->push_back(v);
    else if (auto* d = std::get_if<double>(r))
        *r = std::vector<double>{*d, v};
    else
        *r = std::vector<double>{v};
}

void MPxCommand::clearResult() {
    if (auto* r = current()) *r = std::monostate{};
}

void MPxCommand::displayInfo(const MString& text) { runtime().log.add(host::LogKind::Info, text.str(), commandName()); }
void MPxCommand::displayWarning(const MString& text, bool) {
    runtime().log.add(host::LogKind::Warning, text.str(), commandName());
}
void MPxCommand::displayError(const MString& text, bool) {
    runtime().log.add(host::LogKind::Error, text.str(), commandName());
}
