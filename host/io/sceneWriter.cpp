#include <algorithm>
#include <cmath>
#include <map>
#include <sstream>

#include "host/api/messages.h"
#include "host/core/runtime.h"
#include "host/core/valueCheck.h"
#include "host/io/fileReplace.h"
#include "host/io/sceneAttributes.h"
#include "host/io/sceneFile.h"
#include "host/io/sceneText.h"
#include "host/io/sceneWriters.h"

namespace host::io {

std::string quoted(const std::string& text) {
    std::string out = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') out += '\\';
        if (c == '\n') {
            out += "\\n";
            continue;
        }
        out += c;
    }
    return out + '"';
}

namespace {

// The view camera and its transform are the host's own, as is every undeletable node.
bool hostOwned(const Node& n) {
    if (!n.type->deletable) return true;
    const std::uint64_t cam = runtime().cameraNode;
    if (n.id == cam) return true;
    const Node* c = runtime().scene.find(cam);
    return c && std::find(c->parents.begin(), c->parents.end(), n.id) != c->parents.end();
}

// The plug's path after `prefix` (a node name and a dot, or a dot alone).
std::string plugText(const Attribute& a, int index, std::string s = {}) {
    s.append(a.parent ? a.parent->longName : a.longName);
    if (index >= 0) s.append("[").append(std::to_string(index)).append("]");
    if (a.parent) s.append(".").append(a.longName);
    return s;
}

bool sameValue(const Value& a, const Value& b) {
    if (a.index() != b.index()) return false;
    if (const auto* t = std::get_if<MTime>(&a))
        return t->value() == std::get<MTime>(b).value() && t->unit() == std::get<MTime>(b).unit();
    return a == b;
}

void flatten(const std::vector<AttributePtr>& list, std::vector<const Attribute*>& out) {
    for (const auto& a : list) {
        out.push_back(a.get());
        flatten(a->children, out);
    }
}

std::vector<const Attribute*> attributesOf(const Node& n) {
    std::vector<const Attribute*> attrs;
    flatten(n.type->attributes, attrs);
    flatten(n.dynamicAttributes, attrs);
    return attrs;
}

// A parent made after the node cannot be named when the node is made: every
// parent then follows as a "parent -add" statement.
bool parentAtCreation(const Node& n) { return !n.parents.empty() && n.parents.front() < n.id; }

MStatus notFinite(const std::string& what) {
    return MStatus(MS::kFailure, what + " holds a number that is not finite, which a scene file cannot hold");
}

MStatus writeNode(std::ostream& out, const Node& n) {
    Scene& scene = runtime().scene;
    out << "createNode " << n.type->name << " -n " << quoted(n.name);
    if (parentAtCreation(n)) out << " -p " << quoted(scene.find(n.parents.front())->name);
    out << ";\n";
    for (const auto& a : n.dynamicAttributes)
        if (!writeAttributeDefinition(out, *a, nullptr))
            return notFinite("the definition of '" + n.name + "." + a->longName + "'");
    for (const Attribute* a : attributesOf(n)) {
        if (a->storage() != a || !a->storable || a->isMessage() || a->kind == AttrKind::Compound) continue;
        for (const auto& [key, slot] : n.slots) {
            if (key.attr != a || sameValue(slot.value, a->defaultValue)) continue;
            if (scene.sourceOf(PlugKey{n.id, scene.attributePtr(n, a), key.index})) continue;
            std::ostringstream value;
            const ValueText written = writeValue(value, slot.value);
            if (written == ValueText::NotFinite) {
                const std::string name = plugText(*a, key.index, n.name + ".");
                return notFinite("'" + name + "'");
            }
            if (written == ValueText::Unwritable) continue;
            // A value set through the API skips the checks a script or a file meets (a
            // float beyond single precision, say): the reader would refuse it, so the
            // save fails rather than write a file that no longer opens.
            if (MStatus st = checkValue(*a, slot.value, plugText(*a, key.index, n.name + ".")); !st) return st;
            out << "setAttr " << quoted(plugText(*a, key.index, ".")) << ' ' << value.str() << ";\n";
        }
    }
    return MS::kSuccess;
}

}  // namespace

MStatus writeScene(std::ostream& out) {
    Runtime& rt = runtime();
    Scene& scene = rt.scene;
    // The path lets an open load a module that is missing; linked-in modules have none.
    for (const auto& m : rt.modules.loaded()) {
        out << "requires ";
        if (m->path != m->name) out << "-p " << quoted(m->path) << ' ';
        out << quoted(m->name) << ";\n";
    }
    const MTime::Unit unit = rt.options.timeUnit;
    const double range[] = {rt.time.minTime.as(unit), rt.time.maxTime.as(unit), rt.time.animationStart.as(unit),
                            rt.time.animationEnd.as(unit), rt.time.playbackSpeed};
    if (!std::ranges::all_of(range, [](double v) { return std::isfinite(v); })) return notFinite("The play range");
    out << "currentUnit -l centimeter -a radian -t " << timeUnitName(unit) << ";\n";
    out << "playbackOptions -min " << real(rt.time.minTime.as(unit)) << " -max " << real(rt.time.maxTime.as(unit))
        << " -ast " << real(rt.time.animationStart.as(unit)) << " -aet " << real(rt.time.animationEnd.as(unit))
        << " -ps " << real(rt.time.playbackSpeed) << ";\n";
    if (const Node* t = scene.find(rt.timeNode()))
        for (const auto& [key, slot] : t->slots)
            if (const MTime* now = std::get_if<MTime>(&slot.value)) {
                if (!std::isfinite(now->value())) return notFinite("The current time");
                out << "currentTime " << real(now->value()) << " -u " << timeUnitName(now->unit()) << ";\n";
            }
    for (const auto& [id, type] : rt.blindDataTypes) {
        out << "blindDataType -id " << id;
        for (std::size_t i = 0; i < type.longNames.size(); ++i)
            out << " -dt " << quoted(type.formats[i]) << " -ldn " << quoted(type.longNames[i]) << " -sdn "
                << quoted(type.shortNames[i]);
        out << ";\n";
    }
    std::vector<const Node*> written;
    for (const auto id : scene.nodeIds()) {
        const Node* n = scene.find(id);
        if (!n || hostOwned(*n)) continue;
        if (MStatus st = writeNode(out, *n); !st) return st;
        written.push_back(n);
    }
    // Further instances (and parents made after their child), in instance order.
    for (const Node* n : written)
        for (std::size_t i = parentAtCreation(*n) ? 1 : 0; i < n->parents.size(); ++i)
            out << "parent -add " << quoted(n->name) << ' ' << quoted(scene.find(n->parents[i])->name) << ";\n";
    const auto nameOf = [&](const PlugKey& k) { return plugText(*k.attr, k.index, scene.find(k.node)->name + "."); };
    std::map<std::uint64_t, Connection> connections;
    for (const auto id : scene.nodeIds())
        for (const auto& c : scene.connectionsOf(id)) connections.emplace(c.order, c);
    for (const auto& [order, c] : connections) {
        const Node* s = scene.find(c.src.node);
        const Node* d = scene.find(c.dst.node);
        if (!s || !d || s->id == rt.cameraNode || d->id == rt.cameraNode) continue;
        out << "connectAttr " << quoted(nameOf(c.src)) << ' ' << quoted(nameOf(c.dst)) << ";\n";
    }
    // Locks last: a locked plug or node would refuse the statements above.
    for (const Node* n : written) {
        for (const Attribute* a : attributesOf(*n))
            for (const auto& [key, slot] : n->slots)
                if (key.attr == a && slot.locked)
                    out << "setAttr -l true " << quoted(plugText(*a, key.index, n->name + ".")) << ";\n";
        if (n->locked) out << "lockNode -l true " << quoted(n->name) << ";\n";
    }
    out << kEndOfScene << ";\n";
    return MS::kSuccess;
}

MStatus saveScene(const std::string& path) {
    runtime().messages.sceneMessage(MSceneMessage::kBeforeSave);
    return exportScene(path);
}

MStatus exportScene(const std::string& path) {
    std::ostringstream out;
    if (MStatus st = writeScene(out); !st)
        return MStatus(MS::kFailure, "Cannot write '" + path + "': " + st.errorString().str() + ".");
    return replaceFile(path, out.str());
}

}  // namespace host::io
