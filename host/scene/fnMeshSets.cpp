// UV sets, colour sets and blind data written through a mesh function set.

#include "host/api/fnMesh.h"
#include "host/core/runtime.h"
#include "host/scene/meshGeometry.h"

using host::runtime;

namespace {

MStatus invalid(const std::string& why) { return MStatus(MS::kInvalidParameter, why); }

host::UVSetData* uvSet(host::MeshGeometry& g, const MString* name) {
    if (!name || name->length() == 0) {
        const auto i = static_cast<std::size_t>(g.currentUVSet);
        return i < g.uvSets.size() ? &g.uvSets[i] : nullptr;
    }
    for (auto& s : g.uvSets)
        if (s.name == name->str()) return &s;
    return nullptr;
}

int colorSetIndex(const host::MeshGeometry& g, const std::string& name) {
    for (std::size_t i = 0; i < g.colorSets.size(); ++i)
        if (g.colorSets[i].name == name) return static_cast<int>(i);
    return -1;
}

}  // namespace

MStatus MFnMesh::renameUVSet(const MString& from, const MString& to, MDGModifier*) {
    return edit([&](host::MeshGeometry& g) {
        host::UVSetData* s = uvSet(g, &from);
        if (!s || from.length() == 0) return invalid("no UV set " + from.str());
        if (to.length() == 0) return invalid("a UV set needs a name");
        if (from.str() != to.str() && uvSet(g, &to)) return invalid("UV set " + to.str() + " exists");
        s->name = to.str();
        return MStatus(MS::kSuccess);
    });
}

MString MFnMesh::createUVSetWithName(const MString& name, MDGModifier*, MStatus* status) {
    const MStatus st = edit([&](host::MeshGeometry& g) {
        if (name.length() == 0) return invalid("a UV set needs a name");
        if (uvSet(g, &name)) return invalid("UV set " + name.str() + " exists");
        g.uvSets.push_back(host::UVSetData{name.str(), {}, {}, std::vector<int>(g.faceVertices.size(), -1)});
        return MStatus(MS::kSuccess);
    });
    if (status) *status = st;
    return st ? name : MString();
}

MString MFnMesh::createUVSetDataMeshWithName(const MString& name, MStatus* status) {
    if (data_.kind() != MObject::Kind::Data) {
        if (status) *status = invalid("not mesh data");
        return MString();
    }
    return createUVSetWithName(name, nullptr, status);
}

MStatus MFnMesh::setCurrentUVSetName(const MString& name, MDGModifier*) {
    return edit([&](host::MeshGeometry& g) {
        for (std::size_t i = 0; i < g.uvSets.size(); ++i)
            if (g.uvSets[i].name == name.str()) {
                g.currentUVSet = static_cast<int>(i);
                return MStatus(MS::kSuccess);
            }
        return invalid("no UV set " + name.str());
    });
}

MStatus MFnMesh::clearUVs(const MString* set) {
    return edit([&](host::MeshGeometry& g) {
        host::UVSetData* s = uvSet(g, set);
        if (!s) return invalid("no such UV set");
        s->u.clear();
        s->v.clear();
        s->ids.assign(g.faceVertices.size(), -1);
        return MStatus(MS::kSuccess);
    });
}

MStatus MFnMesh::setUVs(const MFloatArray& u, const MFloatArray& v, const MString* set) {
    if (u.length() != v.length()) return invalid("u and v differ in length");
    return edit([&](host::MeshGeometry& g) {
        host::UVSetData* s = uvSet(g, set);
        if (!s) return invalid("no such UV set");
        s->u.assign(u.begin(), u.end());
        s->v.assign(v.begin(), v.end());
        // Corners pointing past the new table lose their UV rather than read beyond it.
        for (int& id : s->ids)
            if (id >= static_cast<int>(s->u.size())) id = -1;
        return MStatus(MS::kSuccess);
    });
}

MStatus MFnMesh::setSomeUVs(const MIntArray& ids, const MFloatArray& u, const MFloatArray& v, const MString* set) {
    if (ids.length() != u.length() || u.length() != v.length()) return invalid("id, u and v lists differ in length");
    return edit([&](host::MeshGeometry& g) {
        host::UVSetData* s = uvSet(g, set);
        if (!s) return invalid("no such UV set");
        for (const int id : ids)
            if (id < 0 || id >= static_cast<int>(s->u.size())) return invalid("no such UV");
        for (unsigned i = 0; i < ids.length(); ++i) {
            s->u[static_cast<std::size_t>(ids[i])] = u[i];
            s->v[static_cast<std::size_t>(ids[i])] = v[i];
        }
        return MStatus(MS::kSuccess);
    });
}

MStatus MFnMesh::assignUVs(const MIntArray& counts, const MIntArray& ids, const MString* set) {
    return edit([&](host::MeshGeometry& g) {
        host::UVSetData* s = uvSet(g, set);
        if (!s) return invalid("no such UV set");
        if (counts.length() != static_cast<unsigned>(g.numPolygons()) ||
            ids.length() != static_cast<unsigned>(g.numFaceVertices()))
            return invalid("UV counts do not match the mesh");
        for (int p = 0; p < g.numPolygons(); ++p)
            if (counts[static_cast<unsigned>(p)] != g.polygonSize(p)) return invalid("UV counts do not match the mesh");
        for (const int id : ids)
            if (id < 0 || id >= static_cast<int>(s->u.size())) return invalid("no such UV");
        s->ids.assign(ids.begin(), ids.end());
        return MStatus(MS::kSuccess);
    });
}

MStatus MFnMesh::createBlindDataType(int blindDataId, const MStringArray& longNames, const MStringArray& shortNames,
                                     const MStringArray& formatNames) {
    if (longNames.length() == 0 || longNames.length() != shortNames.length() ||
        longNames.length() != formatNames.length())
        return invalid("blind data names and formats differ in count");
    auto& types = runtime().blindDataTypes;
    if (types.count(blindDataId)) return MStatus(MS::kFailure, "blind data type " + std::to_string(blindDataId) + " exists");
    host::BlindDataType t;
    for (unsigned i = 0; i < longNames.length(); ++i) {
        t.longNames.push_back(longNames[i].str());
        t.shortNames.push_back(shortNames[i].str());
        t.formats.push_back(formatNames[i].str());
    }
    types.emplace(blindDataId, std::move(t));
    return MS::kSuccess;
}

MStatus MFnMesh::setIntBlindData(int component, MFn::Type componentType, int blindDataId, const MString& attr,
                                 int value) {
    MIntArray one;
    one.append(component);
    return setIntBlindData(one, componentType, blindDataId, attr, value);
}

MStatus MFnMesh::setIntBlindData(const MIntArray& components, MFn::Type componentType, int blindDataId,
                                 const MString& attr, int value) {
    const auto type = runtime().blindDataTypes.find(blindDataId);
    if (type == runtime().blindDataTypes.end()) return invalid("no blind data type " + std::to_string(blindDataId));
    const int a = type->second.find(attr.str());
    if (a < 0 || type->second.formats[static_cast<std::size_t>(a)] != "int")
        return invalid("blind data type has no int attribute " + attr.str());
    const std::string longName = type->second.longNames[static_cast<std::size_t>(a)];
    return edit([&](host::MeshGeometry& g) {
        std::size_t limit = 0;
        if (componentType == MFn::kMeshPolygonComponent) limit = static_cast<std::size_t>(g.numPolygons());
        else if (componentType == MFn::kMeshVertComponent) limit = g.points.size();
        else return invalid("blind data goes on faces or vertices");
        for (const int c : components)
            if (c < 0 || static_cast<std::size_t>(c) >= limit) return invalid("no such component");
        auto& byComponent = g.blindData[blindDataId][componentType];
        // Components come mostly in ascending order: each goes in next to the one before.
        auto at = byComponent.end();
        for (const int c : components) {
            at = byComponent.try_emplace(at, c);
            at->second.insert_or_assign(longName, value);
            ++at;
        }
        return MStatus(MS::kSuccess);
    });
}

MString MFnMesh::createColorSetWithName(const MString& name, MDGModifier*, MStatus* status) {
    const MStatus st = edit([&](host::MeshGeometry& g) {
        if (name.length() == 0) return invalid("a colour set needs a name");
        if (colorSetIndex(g, name.str()) >= 0) return invalid("colour set " + name.str() + " exists");
        g.colorSets.push_back(host::ColorSetData{name.str(), std::vector<std::array<float, 4>>(g.points.size(), {0, 0, 0, 1}),
                                                 std::vector<char>(g.points.size(), 0)});
        return MStatus(MS::kSuccess);
    });
    if (status) *status = st;
    return st ? name : MString();
}

MStatus MFnMesh::deleteColorSet(const MString& name, MDGModifier*) {
    return edit([&](host::MeshGeometry& g) {
        const int i = colorSetIndex(g, name.str());
        if (i < 0) return invalid("no colour set " + name.str());
        g.colorSets.erase(g.colorSets.begin() + i);
        if (g.currentColorSet == i) g.currentColorSet = -1;
        else if (g.currentColorSet > i) --g.currentColorSet;
        return MStatus(MS::kSuccess);
    });
}

MStatus MFnMesh::setCurrentColorSetName(const MString& name, MDGModifier*) {
    return edit([&](host::MeshGeometry& g) {
        const int i = colorSetIndex(g, name.str());
        if (i < 0) return invalid("no colour set " + name.str());
        g.currentColorSet = i;
        return MStatus(MS::kSuccess);
    });
}

MString MFnMesh::currentColorSetName(MStatus* status) const {
    MStatus st;
    const auto g = geometryPtr(MSpace::kObject, &st);
    if (status) *status = st;
    const auto i = static_cast<std::size_t>(g->currentColorSet);
    return g->currentColorSet >= 0 && i < g->colorSets.size() ? MString(g->colorSets[i].name) : MString();
}

MStatus MFnMesh::getColorSetNames(MStringArray& names) const {
    MStatus st;
    const auto g = geometryPtr(MSpace::kObject, &st);
    names.clear();
    for (const auto& s : g->colorSets) names.append(MString(s.name));
    return st;
}

int MFnMesh::numColorSets(MStatus* status) const {
    MStatus st;
    const auto g = geometryPtr(MSpace::kObject, &st);
    if (status) *status = st;
    return static_cast<int>(g->colorSets.size());
}

MStatus MFnMesh::setVertexColors(const MColorArray& colors, const MIntArray& vertices, MDGModifier*) {
    if (colors.length() != vertices.length()) return invalid("colour and vertex lists differ in length");
    return edit([&](host::MeshGeometry& g) {
        if (g.currentColorSet < 0 || static_cast<std::size_t>(g.currentColorSet) >= g.colorSets.size())
            return invalid("no current colour set");
        auto& set = g.colorSets[static_cast<std::size_t>(g.currentColorSet)];
        set.colors.resize(g.points.size(), {0, 0, 0, 1});
        set.has.resize(g.points.size(), 0);
        for (const int v : vertices)
            if (v < 0 || static_cast<std::size_t>(v) >= g.points.size()) return invalid("no such vertex");
        for (unsigned i = 0; i < vertices.length(); ++i) {
            const auto k = static_cast<std::size_t>(vertices[i]);
            set.colors[k] = {colors[i].r, colors[i].g, colors[i].b, colors[i].a};
            set.has[k] = 1;
        }
        return MStatus(MS::kSuccess);
    });
}

MStatus MFnMesh::getVertexColors(MColorArray& colors, const MString* set) const {
    MStatus st;
    const auto g = geometryPtr(MSpace::kObject, &st);
    if (!st) return st;
    const int i = set && set->length() ? colorSetIndex(*g, set->str()) : g->currentColorSet;
    if (i < 0 || static_cast<std::size_t>(i) >= g->colorSets.size()) return invalid("no such colour set");
    colors.clear();
    for (const auto& c : g->colorSets[static_cast<std::size_t>(i)].colors) colors.append(MColor(c[0], c[1], c[2], c[3]));
    return MS::kSuccess;
}
