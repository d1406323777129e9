#include <algorithm>
#include <fstream>
#include <sstream>
#include <map>

#include "host/api/component.h"
#include "host/api/messages.h"
#include "host/core/runtime.h"
#include "host/io/sceneFile.h"
#include "host/io/sceneWriters.h"
#include "host/scene/animationData.h"
#include "host/scene/meshGeometry.h"

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

std::string plugText(const Attribute& a, int index) {
    std::string s = a.parent ? a.parent->longName : a.longName;
    if (index >= 0) s.append("[").append(std::to_string(index)).append("]");
    if (a.parent) s.append(".").append(a.longName);
    return s;
}

void writeMesh(std::ostream& out, const MeshGeometry& g) {
    out << "mesh\n";
    for (const auto& p : g.points) out << "  p " << number(p[0]) << ' ' << number(p[1]) << ' ' << number(p[2]) << '\n';
    for (int p = 0; p < g.numPolygons(); ++p) {
        out << "  f " << g.polygonLoops[p];
        int k = g.polygonStart[p];
        for (int l = g.polygonFirstLoop[p]; l < g.polygonFirstLoop[p + 1]; ++l) {
            out << ' ' << g.loopSizes[l];
            for (int i = 0; i < g.loopSizes[l]; ++i) out << ' ' << g.faceVertices[k++];
        }
        out << '\n';
    }
    for (int k = 0; k < g.numFaceVertices(); ++k)
        if (g.normalLocked[k]) {
            const auto& n = g.lockedNormals[k];
            out << "  n " << k << ' ' << number(n[0]) << ' ' << number(n[1]) << ' ' << number(n[2]) << '\n';
        }
    for (const auto& set : g.uvSets) {
        out << "  uvset " << quoted(set.name) << '\n';
        for (std::size_t i = 0; i < set.u.size(); ++i) out << "  uv " << number(set.u[i]) << ' ' << number(set.v[i]) << '\n';
        for (int p = 0; p < g.numPolygons(); ++p) {
            out << "  uvf";
            for (int k = g.polygonStart[p]; k < g.polygonStart[p + 1]; ++k) out << ' ' << set.ids[k];
            out << '\n';
        }
    }
    out << "  curuv " << g.currentUVSet << '\n';
    for (const auto& set : g.colorSets) {
        out << "  colorset " << quoted(set.name) << '\n';
        for (std::size_t i = 0; i < set.colors.size(); ++i) {
            const auto& c = set.colors[i];
            out << "  c " << int(set.has[i]) << ' ' << number(c[0]) << ' ' << number(c[1]) << ' ' << number(c[2]) << ' '
                << number(c[3]) << '\n';
        }
    }
    out << "  curcolor " << g.currentColorSet << '\n';
    for (const auto& [type, kinds] : g.blindData)
        for (const auto& [kind, comps] : kinds)
            for (const auto& [comp, attrs] : comps)
                for (const auto& [name, v] : attrs) {
                    out << "  b " << type << ' ' << kind << ' ' << comp << ' ' << quoted(name) << ' ';
                    if (const int* i = std::get_if<int>(&v)) out << "i " << *i;
                    else if (const double* d = std::get_if<double>(&v)) out << "d " << number(*d);
                    else out << "s " << quoted(valueAsString(v));
                    out << '\n';
                }
    out << "end";
}

// The value's text after the plug; false for values a file cannot hold.
bool writeValue(std::ostream& out, const Value& v) {
    if (const int* i = std::get_if<int>(&v)) out << "i " << *i;
    else if (const double* d = std::get_if<double>(&v)) out << "d " << number(*d);
    else if (const Vec3* x = std::get_if<Vec3>(&v)) out << "v " << number((*x)[0]) << ' ' << number((*x)[1]) << ' ' << number((*x)[2]);
    else if (const std::string* s = std::get_if<std::string>(&v)) out << "s " << quoted(*s);
    else if (const MTime* t = std::get_if<MTime>(&v)) out << "t " << number(t->value()) << ' ' << int(t->unit());
    else if (const auto* data = std::get_if<std::shared_ptr<DataObject>>(&v)) {
        if (!*data) return false;
        if (const auto* mesh = dynamic_cast<const MeshData*>(data->get())) writeMesh(out, mesh->geometry);
        else if (const auto* keys = dynamic_cast<const AnimKeysData*>(data->get())) {
            out << "keys\n";
            for (const auto& k : keys->keys)
                out << "  k " << number(k.time.value()) << ' ' << int(k.time.unit()) << ' ' << number(k.value) << ' '
                    << int(k.stepped) << '\n';
            out << "end";
        } else if ((*data)->kind() == MFn::kMeshPolygonComponent) {
            out << "faces";
            for (const int f : componentIndices(MObject::fromData(*data))) out << ' ' << f;
        } else
            return false;
    } else
        return false;
    return true;
}

bool sameValue(const Value& a, const Value& b) {
    if (a.index() != b.index()) return false;
    if (const auto* t = std::get_if<MTime>(&a)) return t->value() == std::get<MTime>(b).value() && t->unit() == std::get<MTime>(b).unit();
    return a == b;
}

void flatten(const std::vector<AttributePtr>& list, std::vector<const Attribute*>& out) {
    for (const auto& a : list) {
        out.push_back(a.get());
        flatten(a->children, out);
    }
}

void writeAttributeDefinition(std::ostream& out, const Attribute& a) {
    out << "addAttr " << quoted(a.longName) << ' ' << quoted(a.shortName) << ' ' << int(a.kind) << ' ' << a.numericType
        << ' ' << a.dataType << ' ' << a.unitType << ' ' << a.array << a.storable << a.keyable << a.hidden << a.connectable;
    for (const auto& [name, value] : a.fields) out << ' ' << quoted(name) << ' ' << value;
    out << '\n';
    if (!std::holds_alternative<std::monostate>(a.defaultValue)) {
        out << "default " << quoted(a.longName) << ' ';
        writeValue(out, a.defaultValue);
        out << '\n';
    }
}

// Dynamic attributes a file can define: those without children.
std::vector<AttributePtr> definable(const Node& n) {
    std::vector<AttributePtr> out;
    for (const auto& a : n.dynamicAttributes)
        if (a->children.empty()) out.push_back(a);
    return out;
}

void writeNode(std::ostream& out, const Node& n) {
    Scene& scene = runtime().scene;
    out << "createNode " << quoted(n.type->name) << ' ' << quoted(n.name);
    if (!n.parents.empty()) out << ' ' << quoted(scene.find(n.parents.front())->name);
    out << '\n';
    const auto dynamic = definable(n);
    for (const auto& a : dynamic) writeAttributeDefinition(out, *a);
    std::vector<const Attribute*> attrs;
    flatten(n.type->attributes, attrs);
    flatten(dynamic, attrs);
    for (const Attribute* a : attrs) {
        if (a->storage() != a || !a->storable || a->isMessage() || a->kind == AttrKind::Compound) continue;
        for (const auto& [key, slot] : n.slots) {
            if (key.attr != a || sameValue(slot.value, a->defaultValue)) continue;
            if (scene.sourceOf(PlugKey{n.id, scene.attributePtr(n, a), key.index})) continue;
            std::ostringstream value;
            if (!writeValue(value, slot.value)) continue;
            out << "setAttr " << quoted(plugText(*a, key.index)) << ' ' << value.str() << '\n';
        }
    }
}

}  // namespace

void writeScene(std::ostream& out) {
    Runtime& rt = runtime();
    Scene& scene = rt.scene;
    for (const auto& m : rt.modules.loaded()) out << "requires " << quoted(m->name) << '\n';
    out << "currentUnit " << int(rt.options.timeUnit) << '\n';
    out << "playbackOptions " << number(rt.time.minTime.value()) << ' ' << number(rt.time.maxTime.value()) << ' '
        << number(rt.time.animationStart.value()) << ' ' << number(rt.time.animationEnd.value()) << ' '
        << number(rt.time.playbackSpeed) << '\n';
    if (const Node* t = scene.find(rt.timeNode()))
        for (const auto& [key, slot] : t->slots)
            if (const MTime* now = std::get_if<MTime>(&slot.value))
                out << "currentTime " << number(now->value()) << ' ' << int(now->unit()) << '\n';
    for (const auto& [id, type] : rt.blindDataTypes) {
        out << "blindDataType " << id;
        for (std::size_t i = 0; i < type.longNames.size(); ++i)
            out << ' ' << quoted(type.longNames[i]) << ' ' << quoted(type.shortNames[i]) << ' ' << quoted(type.formats[i]);
        out << '\n';
    }
    std::map<std::uint64_t, Connection> connections;
    std::vector<const Node*> written;
    for (const auto id : scene.nodeIds()) {
        const Node* n = scene.find(id);
        if (!n || hostOwned(*n)) continue;
        writeNode(out, *n);
        written.push_back(n);
    }
    const auto nameOf = [&](const PlugKey& k) {
        const Node* n = scene.find(k.node);
        return n->name + "." + plugText(*k.attr, k.index);
    };
    for (const auto id : scene.nodeIds())
        for (const auto& c : scene.connectionsOf(id)) connections.emplace(c.order, c);
    for (const auto& [order, c] : connections) {
        const Node* s = scene.find(c.src.node);
        const Node* d = scene.find(c.dst.node);
        if (!s || !d || s->id == rt.cameraNode || d->id == rt.cameraNode) continue;
        out << "connectAttr " << quoted(nameOf(c.src)) << ' ' << quoted(nameOf(c.dst)) << '\n';
    }
    // Locks last: a locked plug or node would refuse the statements above.
    for (const Node* n : written) {
        std::vector<const Attribute*> attrs;
        flatten(n->type->attributes, attrs);
        flatten(definable(*n), attrs);
        for (const Attribute* a : attrs)
            for (const auto& [key, slot] : n->slots)
                if (key.attr == a && slot.locked) out << "lockAttr " << quoted(n->name + "." + plugText(*a, key.index)) << '\n';
        if (n->locked) out << "lockNode " << quoted(n->name) << '\n';
    }
}

MStatus saveScene(const std::string& path) {
    runtime().messages.sceneMessage(MSceneMessage::kBeforeSave);
    return exportScene(path);
}

MStatus exportScene(const std::string& path) {
    std::ofstream out(path, std::ios::binary);
    if (!out) return MStatus(MS::kFailure, "Cannot write '" + path + "'.");
    writeScene(out);
    return out ? MStatus(MS::kSuccess) : MStatus(MS::kFailure, "Cannot write '" + path + "'.");
}

}  // namespace host::io
