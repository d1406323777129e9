#include "host/scene/shading.h"

#include <algorithm>
#include <iterator>

#include "host/api/component.h"
#include "host/core/runtime.h"
#include "host/scene/meshShape.h"

namespace host::shading {

namespace {

PlugKey plugOf(std::uint64_t id, const char* name, int index = -1) {
    Node* n = runtime().scene.find(id);
    const Attribute* a = n ? runtime().scene.findAttribute(*n, name) : nullptr;
    return a ? PlugKey{id, runtime().scene.attributePtr(*n, a), index} : PlugKey{};
}

std::vector<int> storedFaces(std::uint64_t set, int element) {
    const Value v = runtime().scene.read(plugOf(set, "memberFaces", element));
    auto d = std::get_if<std::shared_ptr<DataObject>>(&v);
    return d && *d ? componentIndices(MObject::fromData(*d)) : std::vector<int>{};
}

MStatus storeFaces(std::uint64_t set, int element, const std::vector<int>& faces) {
    Value v;
    if (!faces.empty()) v = makeComponent(MFn::kMeshPolygonComponent, faces).data();
    return runtime().scene.write(plugOf(set, "memberFaces", element), std::move(v));
}

int polygonCount(std::uint64_t mesh) {
    const auto data = shapeMeshData(mesh);
    return data ? data->geometry.numPolygons() : 0;
}

MStatus drop(const Membership& m, std::uint64_t mesh, int instance) {
    storeFaces(m.set, m.element, {});
    return runtime().scene.disconnect(plugOf(mesh, "instObjGroups", instance), plugOf(m.set, "dagSetMembers", m.element));
}

// Keeps the faces of `m` not in `gone` (sorted); drops the membership when none stay.
MStatus subtract(const Membership& m, std::uint64_t mesh, int instance, const std::vector<int>& gone) {
    std::vector<int> had = m.faces;
    if (had.empty())
        for (int f = 0; f < polygonCount(mesh); ++f) had.push_back(f);
    std::vector<int> kept;
    std::set_difference(had.begin(), had.end(), gone.begin(), gone.end(), std::back_inserter(kept));
    if (kept.empty()) return drop(m, mesh, instance);
    return kept.size() == had.size() ? MStatus(MS::kSuccess) : storeFaces(m.set, m.element, kept);
}

}  // namespace

bool isShadingGroup(std::uint64_t node) {
    const Node* n = runtime().scene.find(node);
    return n && n->type && n->type->apiType == MFn::kShadingEngine;
}

std::vector<Membership> membershipsOf(std::uint64_t mesh, int instance) {
    std::vector<Membership> out;
    for (const Connection& c : runtime().scene.connectionsOf(mesh))
        if (c.src.node == mesh && c.src.attr && c.src.attr->longName == "instObjGroups" && c.src.index == instance &&
            c.dst.attr && c.dst.attr->longName == "dagSetMembers")
            out.push_back(Membership{c.dst.node, c.dst.index, storedFaces(c.dst.node, c.dst.index)});
    return out;
}

MStatus addMembers(std::uint64_t set, std::uint64_t mesh, int instance, bool whole, std::vector<int> faces,
                   bool force) {
    const PlugKey groups = plugOf(mesh, "instObjGroups", instance);
    if (!groups.attr || !plugOf(set, "dagSetMembers").attr) return MStatus(MS::kInvalidParameter, "not a mesh and a set");
    std::sort(faces.begin(), faces.end());
    faces.erase(std::unique(faces.begin(), faces.end()), faces.end());
    if (!whole && faces.empty()) return MS::kSuccess;
    if (force && isShadingGroup(set))
        for (const Membership& m : membershipsOf(mesh, instance)) {
            if (m.set == set || !isShadingGroup(m.set)) continue;
            if (MStatus st = whole ? drop(m, mesh, instance) : subtract(m, mesh, instance, faces); !st) return st;
        }
    for (const Membership& m : membershipsOf(mesh, instance)) {
        if (m.set != set) continue;
        if (m.faces.empty()) return MS::kSuccess;  // already the whole object
        if (whole) return storeFaces(set, m.element, {});
        std::vector<int> all;
        std::set_union(m.faces.begin(), m.faces.end(), faces.begin(), faces.end(), std::back_inserter(all));
        return storeFaces(set, m.element, all);
    }
    Node* s = runtime().scene.find(set);
    // Past every element used so far (a connected element always has its slot).
    const int next = runtime().scene.lastElementIndex(*s, runtime().scene.findAttribute(*s, "dagSetMembers")) + 1;
    if (MStatus st = runtime().scene.connect(groups, plugOf(set, "dagSetMembers", next)); !st) return st;
    return storeFaces(set, next, whole ? std::vector<int>{} : faces);
}

MStatus removeMembers(std::uint64_t set, std::uint64_t mesh, int instance, bool whole, std::vector<int> faces) {
    std::sort(faces.begin(), faces.end());
    faces.erase(std::unique(faces.begin(), faces.end()), faces.end());
    for (const Membership& m : membershipsOf(mesh, instance))
        if (m.set == set) return whole ? drop(m, mesh, instance) : subtract(m, mesh, instance, faces);
    return MS::kSuccess;
}

void forgetMembers(const std::vector<Connection>& broken) {
    const Scene& scene = runtime().scene;
    for (const Connection& c : broken)
        if (c.dst.attr && c.dst.attr->longName == "dagSetMembers" && scene.find(c.dst.node) && !scene.sourceOf(c.dst))
            storeFaces(c.dst.node, c.dst.index, {});
}

std::vector<std::uint64_t> faceGroups(std::uint64_t mesh, int instance, int count) {
    std::vector<std::uint64_t> out(static_cast<std::size_t>(std::max(count, 0)), 0);
    for (const Membership& m : membershipsOf(mesh, instance)) {
        if (!isShadingGroup(m.set)) continue;
        if (m.faces.empty())
            std::fill(out.begin(), out.end(), m.set);
        else
            for (const int f : m.faces)
                if (f >= 0 && f < count) out[static_cast<std::size_t>(f)] = m.set;
    }
    return out;
}

void createDefaults() {
    Scene& scene = runtime().scene;
    NodeType* lambert = runtime().registry.findType("lambert");
    NodeType* group = runtime().registry.findType("shadingEngine");
    if (!lambert || !group) return;
    const std::uint64_t shader = scene.createNode(*lambert, "lambert1", false, nullptr);
    const std::uint64_t initial = scene.createNode(*group, "initialShadingGroup", false, nullptr);
    scene.connect(plugOf(shader, "outColor"), plugOf(initial, "surfaceShader"));
}

}  // namespace host::shading
