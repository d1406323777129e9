// MEL commands over time: the current time and unit, play-back ranges, play and keys.

#include <string>
#include <tuple>

#include "host/api/animControl.h"
#include "host/core/runtime.h"
#include "host/mel/builtinArgs.h"
#include "host/scene/keyframes.h"
#include "host/scene/timedRead.h"

namespace host::mel {

namespace {

// A time in frames given to `command` by `flag`.
MStatus frames(const char* command, const std::string& flag, const std::string& text, MTime& out) {
    double v = 0;
    if (MStatus st = realArg(command, flag, text, v); !st) return st;
    out = MTime(v, MTime::uiUnit());
    return MS::kSuccess;
}

double inUi(const MTime& t) { return t.as(MTime::uiUnit()); }

std::string number(double v) { return (MString() += v).asChar(); }

MStatus currentTimeCmd(Interpreter&, const std::vector<Arg>& args, Result& result) {
    ParsedArgs p;
    if (MStatus st = parseArgs("currentTime", args, {{"q", "query", 0}, {"e", "edit", 0}, {"u", "update", 1}}, p); !st)
        return st;
    if (p.has("q") || p.words.empty()) {
        result = inUi(MAnimControl::currentTime());
        return MS::kSuccess;
    }
    MTime time;
    if (MStatus st = frames("currentTime", "the time", p.words[0].text, time); !st) return st;
    const MStatus st = MAnimControl::setCurrentTime(time);
    if (!st) return commandError("currentTime", st.errorString().str());
    result = inUi(MAnimControl::currentTime());
    return MS::kSuccess;
}

MStatus currentUnitCmd(Interpreter&, const std::vector<Arg>& args, Result& result) {
    ParsedArgs p;
    if (MStatus st = parseArgs("currentUnit", args, {{"t", "time", 1}, {"l", "linear", 1}, {"a", "angle", 1}, {"q", "query", 0}},
                               p);
        !st)
        return st;
    static const std::pair<const char*, MTime::Unit> units[] = {
        {"game", MTime::kGames}, {"film", MTime::kFilm}, {"pal", MTime::kPALFrame}, {"ntsc", MTime::kNTSCFrame},
        {"show", MTime::kShowScan}, {"palf", MTime::kPALField}, {"ntscf", MTime::kNTSCField}, {"sec", MTime::kSeconds}};
    if (p.has("q")) {
        if (p.has("l")) result = std::string("cm");
        if (p.has("a")) result = std::string("deg");
        if (p.has("t"))
            for (const auto& [name, unit] : units)
                if (unit == runtime().options.timeUnit) result = std::string(name);
        return MS::kSuccess;
    }
    if (p.has("t")) {
        for (const auto& [name, unit] : units)
            if (p.value("t") == name) {
                runtime().options.timeUnit = unit;
                return MS::kSuccess;
            }
        return commandError("currentUnit", "Unknown time unit '" + p.value("t") + "'");
    }
    return MS::kSuccess;  // linear and angle units are fixed: centimetres, degrees
}

MStatus playbackOptionsCmd(Interpreter&, const std::vector<Arg>& args, Result& result) {
    ParsedArgs p;
    if (MStatus st = parseArgs("playbackOptions", args,
                               {{"min", "minTime", 1}, {"max", "maxTime", 1}, {"ast", "animationStartTime", 1},
                                {"aet", "animationEndTime", 1}, {"ps", "playbackSpeed", 1}, {"q", "query", 0}},
                               p);
        !st)
        return st;
    if (p.has("q")) {
        if (p.has("min")) result = inUi(MAnimControl::minTime());
        if (p.has("max")) result = inUi(MAnimControl::maxTime());
        if (p.has("ast")) result = inUi(MAnimControl::animationStartTime());
        if (p.has("aet")) result = inUi(MAnimControl::animationEndTime());
        if (p.has("ps")) result = MAnimControl::playbackSpeed();
        return MS::kSuccess;
    }
    MTime ast = MAnimControl::animationStartTime(), aet = MAnimControl::animationEndTime();
    MTime min = MAnimControl::minTime(), max = MAnimControl::maxTime();
    double speed = MAnimControl::playbackSpeed();
    for (auto [flag, target] : {std::pair{"ast", &ast}, std::pair{"aet", &aet}, std::pair{"min", &min}, std::pair{"max", &max}})
        if (p.has(flag))
            if (MStatus st = frames("playbackOptions", std::string("-") + flag, p.value(flag), *target); !st) return st;
    if (p.has("ps"))
        if (MStatus st = realArg("playbackOptions", "-ps", p.value("ps"), speed); !st) return st;
    // A range that would end before it starts is refused, and nothing changes.
    for (const auto& [range, from, to, first, last] :
         {std::tuple{"play range", min, max, "-min", "-max"}, std::tuple{"animation range", ast, aet, "-ast", "-aet"}})
        if (from > to)
            return commandError("playbackOptions", std::string("the ") + range + " would end before it starts (" +
                                                       first + " " + number(inUi(from)) + ", " + last + " " +
                                                       number(inUi(to)) + ")");
    if (p.has("ast") || p.has("aet")) MAnimControl::setAnimationStartEndTime(ast, aet);
    if (p.has("min") || p.has("max")) MAnimControl::setMinMaxTime(min, max);
    if (p.has("ps")) MAnimControl::setPlaybackSpeed(speed);
    return MS::kSuccess;
}

MStatus playCmd(Interpreter&, const std::vector<Arg>& args, Result&) {
    ParsedArgs p;
    if (MStatus st = parseArgs("play", args, {{"w", "wait", 0}, {"f", "forward", 1}, {"st", "state", 1}}, p); !st)
        return st;
    if (p.has("st") && !truthy(p.value("st"))) return MS::kSuccess;
    const MStatus st = MAnimControl::playForward();
    return st ? st : commandError("play", st.errorString().str());
}

MStatus setKeyframeCmd(Interpreter&, const std::vector<Arg>& args, Result& result) {
    ParsedArgs p;
    if (MStatus st = parseArgs("setKeyframe", args,
                               {{"t", "time", 1}, {"v", "value", 1}, {"at", "attribute", 1}, {"ott", "outTangentType", 1},
                                {"itt", "inTangentType", 1}},
                               p);
        !st)
        return st;
    MTime time = MAnimControl::currentTime();
    if (p.has("t"))
        if (MStatus st = frames("setKeyframe", "-t", p.value("t"), time); !st) return st;
    double given = 0;
    if (p.has("v"))
        if (MStatus st = realArg("setKeyframe", "-v", p.value("v"), given); !st) return st;
    const bool stepped = p.value("ott") == "step";
    std::vector<std::string> targets;
    for (const auto& w : p.words) targets.push_back(w.text);
    if (targets.empty())
        for (const auto id : runtime().selection) targets.push_back(runtime().scene.find(id)->name);
    static const char* const channels[] = {"translateX", "translateY", "translateZ", "rotateX", "rotateY",
                                           "rotateZ",    "scaleX",     "scaleY",     "scaleZ"};
    int keyed = 0;
    for (const auto& target : targets) {
        std::vector<std::string> plugs;
        if (target.find('.') != std::string::npos) {
            plugs.push_back(target);
        } else if (p.has("at")) {
            for (const auto& a : p.flags["at"]) plugs.push_back(target + "." + a);
        } else {
            for (const char* c : channels) plugs.push_back(target + "." + c);
        }
        for (const auto& text : plugs) {
            const auto dot = text.find('.');
            Node* n = runtime().scene.findByName(text.substr(0, dot));
            const Attribute* a = n ? runtime().scene.findAttribute(*n, text.substr(dot + 1)) : nullptr;
            if (!a) return commandError("setKeyframe", "No object matches name: " + text);
            const PlugKey key{n->id, runtime().scene.attributePtr(*n, a), -1};
            const double value = p.has("v") ? given : valueAsDouble(runtime().scene.read(key));
            const MStatus st = setKeyframe(key, time, value, stepped);
            if (!st) return commandError("setKeyframe", st.errorString().str());
            ++keyed;
        }
    }
    result = keyed;
    return MS::kSuccess;
}

}  // namespace

void addTimeBuiltins(std::map<std::string, Builtin>& table) {
    table["currentTime"] = currentTimeCmd;
    table["currentUnit"] = currentUnitCmd;
    table["playbackOptions"] = playbackOptionsCmd;
    table["play"] = playCmd;
    table["setKeyframe"] = setKeyframeCmd;
}

}  // namespace host::mel
