// MEL commands that stand in for the mouse: tools and manipulators.

#include <limits>

#include "host/core/runtime.h"
#include "host/mel/builtinArgs.h"
#include "host/view/interaction.h"

namespace host::mel {

namespace {

using view::interaction;

bool toShort(const std::string& text, short& out) {
    const MString s(text);
    if (!s.isInt()) return false;
    const int v = s.asInt();
    if (v < std::numeric_limits<short>::min() || v > std::numeric_limits<short>::max()) return false;
    out = static_cast<short>(v);
    return true;
}

// useTool NAME: the named context becomes the current tool. Without a name the
// current tool is switched off; -q answers its name.
MStatus useToolCmd(Interpreter&, const std::vector<Arg>& args, Result& result) {
    ParsedArgs p;
    if (MStatus st = parseArgs("useTool", args, {{"q", "query", 0}}, p); !st) return st;
    if (p.has("q")) {
        result = interaction().currentTool();
        return MS::kSuccess;
    }
    const std::string name = p.words.empty() ? std::string() : p.words[0].text;
    const MStatus st = interaction().useTool(name);
    if (!st) return commandError("useTool", st.errorString().str());
    result = name;
    return MS::kSuccess;
}

// toolEvent -press|-drag|-hold|-release X Y [-shift] [-control] [-button 1|2|3]:
// one mouse event for the current tool at view pixels (origin bottom left).
MStatus toolEventCmd(Interpreter&, const std::vector<Arg>& args, Result&) {
    ParsedArgs p;
    if (MStatus st = parseArgs("toolEvent", args,
                               {{"p", "press", 2}, {"d", "drag", 2}, {"h", "hold", 2}, {"r", "release", 2},
                                {"sh", "shift", 0}, {"ctl", "control", 0}, {"b", "button", 1}},
                               p);
        !st)
        return st;
    static const std::pair<const char*, view::ToolEvent> kinds[] = {{"p", view::ToolEvent::Press},
                                                                     {"d", view::ToolEvent::Drag},
                                                                     {"h", view::ToolEvent::Hold},
                                                                     {"r", view::ToolEvent::Release}};
    const char* flag = nullptr;
    view::ToolEvent kind = view::ToolEvent::Press;
    for (const auto& [f, k] : kinds) {
        if (!p.has(f)) continue;
        if (flag) return commandError("toolEvent", "Give one of -press, -drag, -hold and -release");
        flag = f;
        kind = k;
    }
    if (!flag) return commandError("toolEvent", "Give one of -press, -drag, -hold and -release");
    short x = 0, y = 0;
    if (!toShort(p.value(flag, 0), x) || !toShort(p.value(flag, 1), y))
        return commandError("toolEvent", "The position needs two integer pixel coordinates");
    const int modifiers = (p.has("sh") ? MEvent::shiftKey : 0) | (p.has("ctl") ? MEvent::controlKey : 0);
    MEvent::MouseButtonType button = MEvent::kLeftMouse;
    if (p.has("b")) {
        const std::string b = p.value("b");
        if (b != "1" && b != "2" && b != "3") return commandError("toolEvent", "The button is 1, 2 or 3");
        button = b == "1" ? MEvent::kLeftMouse : (b == "2" ? MEvent::kMiddleMouse : MEvent::kRightMouse);
    }
    MEvent event(x, y, modifiers, button);
    const MStatus st = interaction().sendEvent(kind, event);
    if (!st) return commandError("toolEvent", st.errorString().str());
    return MS::kSuccess;
}

// showManip NODE: the manipulator of the node's type, connected to it. Without a node
// the shown manipulator goes.
MStatus showManipCmd(Interpreter&, const std::vector<Arg>& args, Result&) {
    ParsedArgs p;
    if (MStatus st = parseArgs("showManip", args, {}, p); !st) return st;
    if (p.words.empty()) {
        interaction().hideManips();
        return MS::kSuccess;
    }
    const auto ids = resolveName(p.words[0].text);
    if (ids.empty()) return commandError("showManip", "No object matches name: " + p.words[0].text);
    const MStatus st = interaction().showManip(ids.back());
    if (!st) return commandError("showManip", st.errorString().str());
    return MS::kSuccess;
}

// dragManip INDEX X Y Z: moves a triad of the shown manipulator to the world point
// and releases it.
MStatus dragManipCmd(Interpreter&, const std::vector<Arg>& args, Result&) {
    ParsedArgs p;
    if (MStatus st = parseArgs("dragManip", args, {}, p); !st) return st;
    if (p.words.size() != 4 || !MString(p.words[0].text).isInt() || MString(p.words[0].text).asInt() < 0)
        return commandError("dragManip", "Give a triad index and a point: dragManip INDEX X Y Z");
    double xyz[3] = {};
    for (int k = 0; k < 3; ++k)
        if (MStatus st = realArg("dragManip", "the point", p.words[k + 1].text, xyz[k]); !st) return st;
    const MStatus st =
        interaction().dragManip(static_cast<unsigned>(MString(p.words[0].text).asInt()), MPoint(xyz[0], xyz[1], xyz[2]));
    if (!st) return commandError("dragManip", st.errorString().str());
    return MS::kSuccess;
}

}  // namespace

void addToolBuiltins(std::map<std::string, Builtin>& table) {
    table["useTool"] = useToolCmd;
    table["toolEvent"] = toolEventCmd;
    table["showManip"] = showManipCmd;
    table["dragManip"] = dragManipCmd;
}

}  // namespace host::mel
