#include "host/api/global.h"

#include <algorithm>

#include "host/core/runtime.h"
#include "host/mel/interpreter.h"

using host::runtime;

namespace {

MStatus run(const MString& command, bool display, bool undoable, host::Result& result) {
    runtime().commandTrace.push_back(command.str());
    if (display) runtime().log.add(host::LogKind::Echo, command.str());
    return runtime().mel().run(command.str(), undoable, &result);
}

std::vector<double> numbers(const host::Result& r) {
    std::vector<double> out;
    if (auto p = std::get_if<int>(&r)) out.push_back(*p);
    if (auto p = std::get_if<double>(&r)) out.push_back(*p);
    if (auto p = std::get_if<std::string>(&r)) out.push_back(MString(*p).asDouble());
    if (auto p = std::get_if<std::vector<int>>(&r)) out.assign(p->begin(), p->end());
    if (auto p = std::get_if<std::vector<double>>(&r)) out = *p;
    if (auto p = std::get_if<std::vector<std::string>>(&r))
        for (const auto& s : *p) out.push_back(MString(s).asDouble());
    return out;
}

}  // namespace

MStatus MGlobal::executeCommand(const MString& command, bool display, bool undoable) {
    host::Result r;
    return run(command, display, undoable, r);
}

MStatus MGlobal::executeCommand(const MString& command, int& result, bool display, bool undoable) {
    host::Result r;
    const MStatus st = run(command, display, undoable, r);
    if (auto p = std::get_if<int>(&r))
        result = *p;
    else if (const auto n = numbers(r); !n.empty())
        result = static_cast<int>(n[0]);
    return st;
}

MStatus MGlobal::executeCommand(const MString& command, double& result, bool display, bool undoable) {
    host::Result r;
    const MStatus st = run(command, display, undoable, r);
    if (const auto n = numbers(r); !n.empty()) result = n[0];
    return st;
}

MStatus MGlobal::executeCommand(const MString& command, MString& result, bool display, bool undoable) {
    host::Result r;
    const MStatus st = run(command, display, undoable, r);
    const auto words = host::resultWords(r);
    if (!words.empty()) result = MString(words[0]);
    if (std::holds_alternative<std::string>(r)) result = MString(std::get<std::string>(r));
    return st;
}

MStatus MGlobal::executeCommand(const MString& command, MIntArray& result, bool display, bool undoable) {
    host::Result r;
    const MStatus st = run(command, display, undoable, r);
    if (std::holds_alternative<std::monostate>(r)) return st;
    result.clear();
    for (const double d : numbers(r)) result.append(static_cast<int>(d));
    return st;
}

MStatus MGlobal::executeCommand(const MString& command, MDoubleArray& result, bool display, bool undoable) {
    host::Result r;
    const MStatus st = run(command, display, undoable, r);
    if (std::holds_alternative<std::monostate>(r)) return st;
    result.clear();
    for (const double d : numbers(r)) result.append(d);
    return st;
}

MStatus MGlobal::executeCommand(const MString& command, MStringArray& result, bool display, bool undoable) {
    host::Result r;
    const MStatus st = run(command, display, undoable, r);
    if (std::holds_alternative<std::monostate>(r)) return st;
    result.clear();
    for (const auto& w : host::resultWords(r)) result.append(MString(w));
    return st;
}

MStatus MGlobal::executeCommandOnIdle(const MString& command, bool display) {
    runtime().commandTrace.push_back(command.str());
    if (display) runtime().log.add(host::LogKind::Echo, command.str());
    runtime().idle.push(command.str());
    return MS::kSuccess;
}

void MGlobal::displayInfo(const MString& text) { runtime().log.add(host::LogKind::Info, text.str()); }
void MGlobal::displayWarning(const MString& text) { runtime().log.add(host::LogKind::Warning, text.str()); }
void MGlobal::displayError(const MString& text) { runtime().log.add(host::LogKind::Error, text.str()); }

MStatus MGlobal::deleteNode(const MObject& node) {
    if (node.kind() != MObject::Kind::Node) return MStatus(MS::kInvalidParameter, "not a node");
    return runtime().scene.deleteNode(node.id());
}

MStatus MGlobal::getActiveSelectionList(MSelectionList& out) {
    out.clear();
    for (const auto id : runtime().selection) {
        const auto c = runtime().selectionComponents.find(id);
        MDagPath path;
        if (c != runtime().selectionComponents.end() && MDagPath::getAPathTo(MObject::fromNode(id), path))
            out.add(path, c->second);
        else
            out.add(MObject::fromNode(id));
    }
    return MS::kSuccess;
}

MStatus MGlobal::setActiveSelectionList(const MSelectionList& list, ListAdjustment mode) {
    auto& sel = runtime().selection;
    if (mode == kReplaceList) {
        sel.clear();
        runtime().selectionComponents.clear();
    }
    for (unsigned i = 0; i < list.length(); ++i) {
        MObject node;
        if (!list.getDependNode(i, node) || node.isNull()) continue;
        if (const auto& c = list.items()[i].component; !c.isNull() && mode != kRemoveFromList)
            runtime().selectionComponents[node.id()] = c;
        const auto it = std::find(sel.begin(), sel.end(), node.id());
        if (mode == kRemoveFromList || (mode == kXORWithList && it != sel.end())) {
            if (it != sel.end()) sel.erase(it);
        } else if (it == sel.end()) {
            if (mode == kAddToHeadOfList)
                sel.insert(sel.begin(), node.id());
            else
                sel.push_back(node.id());
        }
    }
    return MS::kSuccess;
}

MStatus MGlobal::getSelectionListByName(const MString& name, MSelectionList& out) {
    out.clear();
    return out.add(name);
}
