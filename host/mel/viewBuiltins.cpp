// MEL commands over the view: pictures and the view's settings (host-only).

#include "host/core/runtime.h"
#include "host/mel/builtinArgs.h"
#include "host/view/capture.h"
#include "host/view/projection.h"
#include "host/view/viewState.h"

namespace host::mel {

namespace {

// writeImage -file PATH: refreshes the view and writes its picture as PNG.
MStatus writeImageCmd(Interpreter&, const std::vector<Arg>& args, Result& result) {
    ParsedArgs p;
    if (MStatus st = parseArgs("writeImage", args, {{"f", "file", 1}}, p); !st) return st;
    const std::string path = p.has("f") ? p.value("f") : (p.words.empty() ? std::string() : p.words[0].text);
    if (path.empty()) return commandError("writeImage", "No file given");
    if (const MStatus st = view::writeViewImage(path); !st) return commandError("writeImage", st.errorString().str());
    result = path;
    return MS::kSuccess;
}

// viewOption [-q] -style N | -size W H | -fit: the display style (wireframe is 3),
// the port size, and a camera fit to the visible scene.
MStatus viewOptionCmd(Interpreter&, const std::vector<Arg>& args, Result& result) {
    ParsedArgs p;
    if (MStatus st = parseArgs("viewOption", args, {{"q", "query", 0}, {"st", "style", 1}, {"sz", "size", 2}, {"f", "fit", 0}},
                               p);
        !st)
        return st;
    view::ViewState& s = view::state();
    if (p.has("q")) {
        if (p.has("sz"))
            result = std::vector<int>{s.width, s.height};
        else
            result = static_cast<int>(s.style);
        return MS::kSuccess;
    }
    if (p.has("st")) {
        const MString style(p.value("st"));
        if (!style.isInt() || style.asInt() < M3dView::kBoundingBox || style.asInt() > M3dView::kPoints)
            return commandError("viewOption", "Invalid display style '" + p.value("st") + "'");
        s.style = static_cast<M3dView::DisplayStyle>(style.asInt());
    }
    if (p.has("sz")) {
        const MString w(p.value("sz", 0)), h(p.value("sz", 1));
        if (!w.isInt() || !h.isInt() || !view::setPortSize(w.asInt(), h.asInt()))
            return commandError("viewOption", "Invalid size '" + p.value("sz", 0) + " " + p.value("sz", 1) + "'");
    }
    if (p.has("f") && !view::fitViewCamera()) runtime().log.add(LogKind::Warning, "viewOption: nothing visible to fit");
    return MS::kSuccess;
}

}  // namespace

void addViewBuiltins(std::map<std::string, Builtin>& table) {
    table["writeImage"] = writeImageCmd;
    table["viewOption"] = viewOptionCmd;
}

}  // namespace host::mel
