#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>

#include "host/api/argList.h"
#include "host/core/runtime.h"
#include "host/mel/builtinArgs.h"

namespace host::mel {

std::string ParsedArgs::value(const char* flag, std::size_t i) const {
    const auto it = flags.find(flag);
    return it != flags.end() && i < it->second.size() ? it->second[i] : std::string();
}

MStatus parseArgs(const std::string& command, const std::vector<Arg>& args, std::initializer_list<FlagSpec> specs,
                  ParsedArgs& out) {
    // In query mode the flags name what is asked and take no value.
    const bool query = std::any_of(args.begin(), args.end(),
                                   [](const Arg& a) { return !a.quoted && (a.text == "-q" || a.text == "-query"); });
    out.words.reserve(args.size());
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (!args[i].isFlag()) {
            out.words.push_back(args[i]);
            continue;
        }
        const std::string_view name = std::string_view(args[i].text).substr(1);
        const FlagSpec* flag = nullptr;
        for (const auto& s : specs)
            if (name == s.shortName || name == s.longName) flag = &s;
        if (!flag) return commandError(command, "Invalid flag '" + args[i].text + "'");
        auto& values = out.flags[flag->shortName];
        for (int k = 0; k < (query ? 0 : flag->args); ++k) {
            if (++i >= args.size()) return commandError(command, "Flag '-" + std::string(name) + "' needs an argument");
            values.push_back(args[i].text);
        }
    }
    return MS::kSuccess;
}

MStatus commandError(const std::string& command, const std::string& text) {
    runtime().log.add(LogKind::Error, command + ": " + text, command);
    return MStatus(MS::kFailure, text);
}

MStatus realArg(const std::string& command, const std::string& what, const std::string& text, double& out) {
    const MString word(text);
    if (!text.empty() && !std::isspace(static_cast<unsigned char>(text[0])) && word.isDouble() &&
        std::isfinite(word.asDouble())) {
        out = word.asDouble();
        return MS::kSuccess;
    }
    return commandError(command, what + " needs a finite number, not '" + text + "'");
}

MStatus realFlags(const std::string& command, const ParsedArgs& p, std::initializer_list<const char*> flags) {
    for (const char* f : flags) {
        const auto it = p.flags.find(f);
        if (it == p.flags.end()) continue;
        for (const std::string& v : it->second)
            if (double x = 0; !realArg(command, std::string("-") + f, v, x)) return MS::kFailure;
    }
    return MS::kSuccess;
}

MStatus intArg(const std::string& command, const std::string& what, const std::string& text, int min, int max,
               int& out) {
    const MString word(text);
    if (word.isInt() && word.asInt() >= min && word.asInt() <= max) {
        out = word.asInt();
        return MS::kSuccess;
    }
    return commandError(command, what + " needs a whole number from " + std::to_string(min) + " to " +
                                     std::to_string(max) + ", not '" + text + "'");
}

bool truthy(const std::string& text) {
    bool b = false;
    return parseBool(text, b) && b;
}

namespace {

// The main window's name; it answers 1 unless the host runs in batch mode.
constexpr const char* kMainWindow = "MayaWindow";

MStatus sourceCmd(Interpreter& in, const std::vector<Arg>& args, Result&) {
    if (args.empty()) return commandError("source", "No file given");
    return in.source(args[0].text);
}

MStatus errorCmd(Interpreter&, const std::vector<Arg>& args, Result&) {
    const std::string text = args.empty() ? std::string() : args.back().text;
    runtime().log.add(LogKind::Error, text);
    return MStatus(MS::kFailure, text);
}

MStatus warningCmd(Interpreter&, const std::vector<Arg>& args, Result&) {
    runtime().log.add(LogKind::Warning, args.empty() ? std::string() : args.back().text);
    return MS::kSuccess;
}

MStatus windowCmd(Interpreter&, const std::vector<Arg>& args, Result& result) {
    ParsedArgs p;
    if (MStatus st = parseArgs("window", args,
                               {{"ex", "exists", 0}, {"t", "title", 1}, {"e", "edit", 0}, {"q", "query", 0},
                                {"wh", "widthHeight", 2}, {"rtf", "resizeToFitChildren", 1}, {"s", "sizeable", 1}},
                               p);
        !st)
        return st;
    const std::string name = p.words.empty() ? std::string() : p.words[0].text;
    if (p.has("ex")) {
        const Options& o = runtime().options;
        result = (name == kMainWindow && !o.batch) || o.openWindows.count(name) ? 1 : 0;
        return MS::kSuccess;
    }
    result = name;
    return MS::kSuccess;
}

MStatus undoInfoCmd(Interpreter&, const std::vector<Arg>& args, Result& result) {
    ParsedArgs p;
    if (MStatus st = parseArgs("undoInfo", args, {{"swf", "stateWithoutFlush", 1}, {"q", "query", 0},
                                                  {"st", "state", 1}},
                               p);
        !st)
        return st;
    UndoQueue& u = runtime().undo;
    if (p.has("q")) {
        result = u.recording ? 1 : 0;
        return MS::kSuccess;
    }
    if (p.has("swf")) u.recording = truthy(p.value("swf"));
    if (p.has("st")) {
        u.recording = truthy(p.value("st"));
        if (!u.recording) u.flush();
    }
    return MS::kSuccess;
}

MStatus flushUndoCmd(Interpreter&, const std::vector<Arg>&, Result&) {
    runtime().undo.flush();
    return MS::kSuccess;
}

MStatus undoCmd(Interpreter&, const std::vector<Arg>&, Result&) {
    const MStatus st = runtime().undo.undo();
    if (!st && runtime().undo.size() == 0 && st.errorString() == "There are no more commands to undo.")
        runtime().log.add(LogKind::Warning, st.errorString().str(), "undo");
    else if (!st)
        return commandError("undo", st.errorString().str());
    return MS::kSuccess;
}

MStatus redoCmd(Interpreter&, const std::vector<Arg>&, Result&) {
    const MStatus st = runtime().undo.redo();
    if (!st && st.errorString() == "There are no more commands to redo.")
        runtime().log.add(LogKind::Warning, st.errorString().str(), "redo");
    else if (!st)
        return commandError("redo", st.errorString().str());
    return MS::kSuccess;
}

MStatus loadPluginCmd(Interpreter&, const std::vector<Arg>& args, Result& result) {
    ParsedArgs p;
    if (MStatus st = parseArgs("loadPlugin", args, {{"qt", "quiet", 0}}, p); !st) return st;
    if (p.words.empty()) return commandError("loadPlugin", "No plug-in given");
    const std::string& path = p.words[0].text;
    const MStatus st = runtime().modules.load(path);
    if (!st) return commandError("loadPlugin", st.errorString().str());
    // Scene files that require a module find it where the user loaded it from.
    if (const auto slash = path.rfind('/'); slash != std::string::npos) {
        auto& folders = runtime().options.modulePath;
        const std::string folder = slash == 0 ? "/" : path.substr(0, slash);
        if (std::find(folders.begin(), folders.end(), folder) == folders.end()) folders.push_back(folder);
    }
    if (const Module* m = runtime().modules.find(p.words[0].text)) result = std::vector<std::string>{m->name};
    return MS::kSuccess;
}

MStatus unloadPluginCmd(Interpreter&, const std::vector<Arg>& args, Result&) {
    ParsedArgs p;
    if (MStatus st = parseArgs("unloadPlugin", args, {{"f", "force", 0}}, p); !st) return st;
    if (p.words.empty()) return commandError("unloadPlugin", "No plug-in given");
    if (!runtime().modules.find(p.words[0].text))
        return commandError("unloadPlugin", "Plug-in '" + p.words[0].text + "' is not loaded.");
    return runtime().modules.unload(p.words[0].text);
}

MStatus displayColorCmd(Interpreter&, const std::vector<Arg>& args, Result& result) {
    ParsedArgs p;
    if (MStatus st = parseArgs("displayColor", args, {{"d", "dormant", 0}, {"q", "query", 0}, {"a", "active", 0}},
                               p);
        !st)
        return st;
    if (p.words.empty()) return commandError("displayColor", "No color name given");
    // Only the grid colour is kept; other names are accepted and remembered nowhere.
    if (p.has("q")) {
        result = p.words[0].text == "grid" ? runtime().gridColor : 0;
        return MS::kSuccess;
    }
    if (p.words.size() < 2) return commandError("displayColor", "No color index given");
    if (p.words[0].text == "grid") runtime().gridColor = MString(p.words[1].text).asInt();
    return MS::kSuccess;
}

MStatus hostOptionCmd(Interpreter&, const std::vector<Arg>& args, Result& result) {
    ParsedArgs p;
    if (MStatus st = parseArgs("hostOption", args,
                               {{"ow", "openWindows", 1}, {"cw", "closeWindows", 1}, {"cf", "confirm", 1},
                                {"b", "busy", 1}, {"pc", "progressCancel", 1}, {"ua", "upAxis", 1},
                                {"cpa", "cancelProgressAfter", 1}, {"fpc", "failProgressCall", 1},
                                {"fmc", "failMeshCreateAfter", 1}, {"g", "grid", 1}, {"h", "history", 1}, {"q", "query", 0}, {"bt", "batch", 1}},
                               p);
        !st)
        return st;
    Options& o = runtime().options;
    if (p.has("q")) {
        if (p.flags.count("b")) result = o.busy ? 1 : 0;
        if (p.flags.count("ua")) result = o.upAxis;
        if (p.flags.count("cf")) result = o.confirmAnswer;
        return MS::kSuccess;
    }
    for (const auto& w : p.flags["ow"]) o.openWindows.insert(w);
    for (const auto& w : p.flags["cw"]) o.openWindows.erase(w);
    if (p.has("cf")) o.confirmAnswer = p.value("cf");
    if (p.has("b")) o.busy = truthy(p.value("b"));
    if (p.has("pc")) o.progressCancel = truthy(p.value("pc"));
    if (p.has("cpa")) o.cancelProgressAfter = MString(p.value("cpa")).asInt();
    if (p.has("fpc")) o.failProgressCall = p.value("fpc");
    if (p.has("fmc")) o.failMeshCreateAfter = MString(p.value("fmc")).asInt();
    if (p.has("ua")) o.upAxis = p.value("ua");
    if (p.has("g")) o.gridShown = truthy(p.value("g"));
    if (p.has("h")) o.historyOn = truthy(p.value("h"));
    if (p.has("bt")) o.batch = truthy(p.value("bt"));
    return MS::kSuccess;
}

MStatus flushIdleCmd(Interpreter&, const std::vector<Arg>&, Result&) {
    runtime().idle.flush();
    return MS::kSuccess;
}

MStatus sceneMessageCmd(Interpreter&, const std::vector<Arg>& args, Result&) {
    if (args.empty() || !MString(args[0].text).isInt()) return commandError("sceneMessage", "No message code given");
    runtime().messages.sceneMessage(MString(args[0].text).asInt());
    return MS::kSuccess;
}

MStatus upAxisCmd(Interpreter&, const std::vector<Arg>& args, Result& result) {
    ParsedArgs p;
    if (MStatus st = parseArgs("upAxis", args, {{"q", "query", 0}, {"ax", "axis", 1}}, p); !st) return st;
    if (p.has("q"))
        result = runtime().options.upAxis;
    else if (p.has("ax"))
        runtime().options.upAxis = p.value("ax");
    return MS::kSuccess;
}

MStatus gridCmd(Interpreter&, const std::vector<Arg>& args, Result& result) {
    ParsedArgs p;
    if (MStatus st = parseArgs("grid", args, {{"q", "query", 0}, {"tgl", "toggle", 1}}, p); !st) return st;
    if (p.has("q") && p.has("tgl"))
        result = runtime().options.gridShown ? 1 : 0;
    else if (p.has("tgl"))
        runtime().options.gridShown = truthy(p.value("tgl"));
    return MS::kSuccess;
}

}  // namespace

void addViewBuiltins(std::map<std::string, Builtin>& table);  // viewBuiltins.cpp
void addToolBuiltins(std::map<std::string, Builtin>& table);  // toolBuiltins.cpp

void addBuiltins(std::map<std::string, Builtin>& table) {
    addViewBuiltins(table);
    addToolBuiltins(table);
    table["source"] = sourceCmd;
    table["error"] = errorCmd;
    table["warning"] = warningCmd;
    table["window"] = windowCmd;
    table["undoInfo"] = undoInfoCmd;
    table["flushUndo"] = flushUndoCmd;
    table["undo"] = undoCmd;
    table["redo"] = redoCmd;
    table["loadPlugin"] = loadPluginCmd;
    table["unloadPlugin"] = unloadPluginCmd;
    table["displayColor"] = displayColorCmd;
    table["hostOption"] = hostOptionCmd;
    table["flushIdle"] = flushIdleCmd;
    table["sceneMessage"] = sceneMessageCmd;
    table["upAxis"] = upAxisCmd;
    table["grid"] = gridCmd;
    // Interface commands: accepted and answered with nothing.
    for (const std::string name : {"dynPref", "savePrefs", "textScrollList", "showWindow", "waitCursor"})
        table[name] = [name](Interpreter& in, const std::vector<Arg>& args, Result&) {
            in.record(name, args);
            return MStatus(MS::kSuccess);
        };
}

}  // namespace host::mel
