// MEL commands over the DAG: creation under parents, parenting, grouping,
// instancing, visibility, transforms, selection and deletion by path.

#include <algorithm>
#include <cmath>

#include "host/api/component.h"
#include "host/api/fnTransform.h"
#include "host/api/selectionList.h"
#include "host/core/runtime.h"
#include "host/mel/builtinArgs.h"
#include "host/scene/dag.h"
#include "host/scene/dagEdit.h"
#include "host/scene/duplicate.h"
#include "host/scene/transformChannels.h"

namespace host::mel {

namespace {

constexpr double kDegrees = 180.0 / 3.14159265358979323846;

MStatus noObject(const std::string& cmd, const std::string& text) {
    return commandError(cmd, "No object matches name: " + text);
}

std::uint64_t nodeNamed(const std::string& text) {
    const auto path = resolveName(text);
    return path.empty() ? 0 : path.back();
}

// A shape stands for its transform.
std::uint64_t transformOf(std::uint64_t id) {
    const Node* n = runtime().scene.find(id);
    if (n && dag::isShapeType(*n->type) && !n->parents.empty()) return n->parents.front();
    return id;
}

// `words`: a command's arguments or the words among them.
template <class Words>
MStatus namesOrSelection(const std::string& cmd, const Words& words, std::vector<std::uint64_t>& out) {
    for (const auto& w : words) {
        const std::uint64_t id = nodeNamed(w.text);
        if (!id) return noObject(cmd, w.text);
        out.push_back(id);
    }
    if (words.empty()) out = runtime().selection;
    return MS::kSuccess;
}

std::string nameOf(std::uint64_t id) {
    const Node* n = runtime().scene.find(id);
    return n ? n->name : std::string();
}

MStatus createNodeCmd(Interpreter&, const std::vector<Arg>& args, Result& result) {
    ParsedArgs p;
    if (MStatus st = parseArgs("createNode", args, {{"n", "name", 1}, {"p", "parent", 1}, {"ss", "skipSelect", 0}}, p);
        !st)
        return st;
    if (p.words.empty()) return commandError("createNode", "No node type given");
    NodeType* type = runtime().registry.findType(p.words[0].text);
    if (!type) return commandError("createNode", "Unknown object type: " + p.words[0].text);
    std::uint64_t parent = 0;
    if (p.has("p") && !(parent = nodeNamed(p.value("p")))) return noObject("createNode", p.value("p"));
    MStatus st;
    const auto made = dag::createNode(*type, p.value("n"), parent, false, &st);
    if (made.empty()) return commandError("createNode", st.errorString().str());
    if (!p.has("ss")) runtime().selection = {made.back()};
    result = nameOf(made.back());
    return MS::kSuccess;
}

MStatus parentCmd(Interpreter&, const std::vector<Arg>& args, Result& result) {
    ParsedArgs p;
    if (MStatus st = parseArgs("parent", args, {{"w", "world", 0}, {"r", "relative", 0}, {"a", "absolute", 0}}, p); !st)
        return st;
    std::vector<std::uint64_t> ids;
    if (MStatus st = namesOrSelection("parent", p.words, ids); !st) return st;
    std::uint64_t parent = 0;
    if (!p.has("w")) {
        if (ids.size() < 2) return commandError("parent", "Not enough objects or values.");
        parent = transformOf(ids.back());
        ids.pop_back();
    }
    std::vector<std::string> names;
    for (const auto id : ids) {
        const std::uint64_t t = transformOf(id);
        MStatus st;
        if (p.has("r")) {
            // Relative: the local values stay, the world placement follows the new parent.
            for (const auto old : std::vector<std::uint64_t>(runtime().scene.find(t)->parents)) dag::removeChild(old, t);
            st = dag::addChild(parent, t);
        } else {
            st = dag::reparentKeepingWorld(t, parent);
        }
        if (!st) return commandError("parent", st.errorString().str());
        names.push_back(nameOf(t));
    }
    result = names;
    return MS::kSuccess;
}

MStatus groupCmd(Interpreter&, const std::vector<Arg>& args, Result& result) {
    ParsedArgs p;
    if (MStatus st = parseArgs("group", args, {{"n", "name", 1}, {"p", "parent", 1}, {"em", "empty", 0}, {"w", "world", 0}}, p);
        !st)
        return st;
    std::vector<std::uint64_t> ids;
    if (!p.has("em"))
        if (MStatus st = namesOrSelection("group", p.words, ids); !st) return st;
    std::uint64_t parent = 0;
    if (p.has("p") && !(parent = nodeNamed(p.value("p")))) return noObject("group", p.value("p"));
    MStatus st;
    const auto made = dag::createNode(*runtime().registry.findType("transform"),
                                      p.has("n") ? p.value("n") : std::string("group1"), parent, false, &st);
    if (made.empty()) return commandError("group", st.errorString().str());
    const MMatrix groupWorld = dag::firstPathMatrix(made.front());
    for (const auto id : ids)
        if (MStatus s = dag::reparentKeepingWorld(transformOf(id), made.front(), groupWorld); !s)
            return commandError("group", s.errorString().str());
    runtime().selection = {made.front()};
    result = nameOf(made.front());
    return MS::kSuccess;
}

MStatus instanceCmd(Interpreter&, const std::vector<Arg>& args, Result& result) {
    ParsedArgs p;
    if (MStatus st = parseArgs("instance", args, {{"n", "name", 1}}, p); !st) return st;
    std::vector<std::uint64_t> ids;
    if (MStatus st = namesOrSelection("instance", p.words, ids); !st) return st;
    std::vector<std::string> names;
    for (const auto id : ids) {
        const std::uint64_t t = transformOf(id);
        const Node* src = runtime().scene.find(t);
        MStatus st;
        const auto made = dag::createNode(*src->type, p.has("n") ? p.value("n") : src->name, 0, false, &st);
        if (made.empty()) return commandError("instance", st.errorString().str());
        dag::writeChannels(made.front(), dag::readChannels(t));
        for (const auto c : std::vector<std::uint64_t>(runtime().scene.find(t)->children)) dag::addChild(made.front(), c);
        names.push_back(nameOf(made.front()));
    }
    result = names;
    return MS::kSuccess;
}

MStatus visibilityCmd(const char* cmd, const std::vector<Arg>& args, int value) {
    ParsedArgs p;
    if (MStatus st = parseArgs(cmd, args, {}, p); !st) return st;
    std::vector<std::uint64_t> ids;
    if (MStatus st = namesOrSelection(cmd, p.words, ids); !st) return st;
    for (const auto id : ids) {
        Node* n = runtime().scene.find(id);
        const Attribute* v = n ? runtime().scene.findAttribute(*n, "visibility") : nullptr;
        if (!v) continue;
        if (MStatus st = runtime().scene.write(PlugKey{id, runtime().scene.attributePtr(*n, v), -1}, value); !st)
            return commandError(cmd, st.errorString().str());
    }
    return MS::kSuccess;
}

MStatus xformCmd(Interpreter&, const std::vector<Arg>& args, Result& result) {
    ParsedArgs p;
    if (MStatus st = parseArgs("xform", args,
                               {{"t", "translation", 3}, {"ro", "rotation", 3}, {"s", "scale", 3}, {"ws", "worldSpace", 0},
                                {"os", "objectSpace", 0}, {"q", "query", 0}, {"cp", "centerPivots", 0},
                                {"r", "relative", 0}, {"rp", "rotatePivot", 3}},
                               p);
        !st)
        return st;
    std::vector<std::uint64_t> ids;
    if (MStatus st = namesOrSelection("xform", p.words, ids); !st) return st;
    if (ids.empty()) return commandError("xform", "No object given");
    if (!p.has("q"))
        if (MStatus st = realFlags("xform", p, {"t", "ro", "s", "rp"}); !st) return st;
    const auto value = [&](const char* f) {
        return MVector(MString(p.value(f, 0)).asDouble(), MString(p.value(f, 1)).asDouble(), MString(p.value(f, 2)).asDouble());
    };
    const bool world = p.has("ws");
    for (const auto id : ids) {
        const std::uint64_t t = transformOf(id);
        MStatus st;
        MFnTransform fn(MObject::fromNode(t), &st);
        if (!st) return commandError("xform", "Not a transform: " + nameOf(t));
        if (p.has("q")) {
            MVector v;
            if (p.has("t")) v = fn.getTranslation(world ? MSpace::kWorld : MSpace::kTransform);
            if (p.has("ro")) {
                MQuaternion q;
                fn.getRotation(q, world ? MSpace::kWorld : MSpace::kTransform);
                v = (world ? q.asEulerRotation().asVector() : dag::readVector(t, "rotate")) * kDegrees;
            }
            if (p.has("s")) v = dag::readVector(t, "scale");
            if (p.has("rp")) v = MVector(fn.rotatePivot(world ? MSpace::kWorld : MSpace::kTransform));
            result = std::vector<double>{v.x, v.y, v.z};
            return MS::kSuccess;
        }
        if (p.has("t")) {
            const MVector v = value("t");
            st = p.has("r") ? fn.translateBy(v, world ? MSpace::kWorld : MSpace::kTransform)
                            : fn.setTranslation(v, world ? MSpace::kWorld : MSpace::kTransform);
        }
        if (st && p.has("ro")) {
            const MVector deg = value("ro");
            const MEulerRotation e(deg.x / kDegrees, deg.y / kDegrees, deg.z / kDegrees);
            st = world ? fn.setRotation(e.asQuaternion(), MSpace::kWorld) : fn.setRotation(e);
        }
        if (st && p.has("s")) {
            const MVector v = value("s");
            const double s[3] = {v.x, v.y, v.z};
            st = fn.setScale(s);
        }
        if (st && p.has("cp")) {
            // Both pivots to the centre of the object-space box; the balance keeps the world matrix.
            const MBoundingBox box = fn.boundingBox();
            const MPoint c = box.isEmpty() ? MPoint() : box.center();
            st = fn.setScalePivot(c, MSpace::kTransform, true);
            if (st) st = fn.setRotatePivot(c, MSpace::kTransform, true);
        }
        if (!st) return commandError("xform", st.errorString().str());
    }
    return MS::kSuccess;
}

MStatus selectCmd(Interpreter&, const std::vector<Arg>& args, Result&) {
    ParsedArgs p;
    if (MStatus st = parseArgs("select", args,
                               {{"r", "replace", 0}, {"add", "add", 0}, {"d", "deselect", 0}, {"cl", "clear", 0},
                                {"ne", "noExpand", 0}},
                               p);
        !st)
        return st;
    auto& sel = runtime().selection;
    auto& components = runtime().selectionComponents;
    if (p.has("cl")) {
        sel.clear();
        components.clear();
        return MS::kSuccess;
    }
    MSelectionList list;
    for (const auto& w : p.words)
        if (!list.add(MString(w.text))) return noObject("select", w.text);
    if (!p.has("add") && !p.has("d")) {
        sel.clear();
        components.clear();
    }
    for (const auto& item : list.items()) {
        if (item.node.isNull()) continue;
        const std::uint64_t id = item.node.id();
        const auto it = std::find(sel.begin(), sel.end(), id);
        if (p.has("d")) {
            if (it != sel.end()) sel.erase(it);
            components.erase(id);
            continue;
        }
        if (it == sel.end()) sel.push_back(id);
        if (!item.component.isNull()) {
            auto merged = componentIndices(components.count(id) ? components[id] : MObject());
            const auto more = componentIndices(item.component);
            merged.insert(merged.end(), more.begin(), more.end());
            components[id] = makeComponent(item.component.apiType(), std::move(merged));
        }
    }
    return MS::kSuccess;
}

MStatus deleteCmd(Interpreter&, const std::vector<Arg>& args, Result&) {
    std::vector<std::uint64_t> ids;
    if (MStatus st = namesOrSelection("delete", args, ids); !st) return st;
    for (const auto id : ids) {
        if (!runtime().scene.find(id)) continue;  // already gone with an earlier one
        const MStatus st = runtime().scene.deleteNode(id);
        if (!st) return commandError("delete", st.errorString().str());
    }
    return MS::kSuccess;
}

// Copies of the named (else selected) nodes at the world root; the copies become the selection.
MStatus duplicateCmd(Interpreter&, const std::vector<Arg>& args, Result& result) {
    ParsedArgs p;
    if (MStatus st = parseArgs("duplicate", args, {{"rr", "returnRootsOnly", 0}, {"n", "name", 1}}, p); !st) return st;
    std::vector<std::uint64_t> sources;
    for (const Arg& w : p.words) {
        Node* n = runtime().scene.findByName(w.text);
        if (!n) return commandError("duplicate", "No object matches name: " + w.text);
        sources.push_back(n->id);
    }
    if (p.words.empty()) sources = runtime().selection;
    if (sources.empty()) return commandError("duplicate", "Nothing to duplicate");
    std::vector<std::string> names;
    std::vector<std::uint64_t> made;
    for (const std::uint64_t id : sources) {
        MStatus st;
        const std::uint64_t copy = dag::duplicate(id, &st);
        if (!copy) return commandError("duplicate", st.errorString().str());
        if (p.has("n")) runtime().scene.rename(copy, p.value("n"));
        made.push_back(copy);
        names.push_back(runtime().scene.find(copy)->name);
    }
    runtime().selection = made;
    result = names;
    return MS::kSuccess;
}

}  // namespace

void addDagBuiltins(std::map<std::string, Builtin>& table) {
    table["createNode"] = createNodeCmd;
    table["duplicate"] = duplicateCmd;
    table["parent"] = parentCmd;
    table["group"] = groupCmd;
    table["instance"] = instanceCmd;
    table["hide"] = [](Interpreter&, const std::vector<Arg>& args, Result&) { return visibilityCmd("hide", args, 0); };
    table["showHidden"] = [](Interpreter&, const std::vector<Arg>& args, Result&) {
        return visibilityCmd("showHidden", args, 1);
    };
    table["xform"] = xformCmd;
    table["select"] = selectCmd;
    table["delete"] = deleteCmd;
}

}  // namespace host::mel
