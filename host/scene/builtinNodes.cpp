#include "host/scene/builtinNodes.h"

#include <algorithm>
#include <string_view>

#include "host/core/runtime.h"
#include "host/scene/animationData.h"
#include "host/scene/curveData.h"
#include "host/scene/dag.h"
#include "host/scene/meshShape.h"

namespace host::builtin {

namespace {

PlugKey plugOf(std::uint64_t id, const char* name, int index = -1) {
    Node* n = runtime().scene.find(id);
    const Attribute* a = n ? runtime().scene.findAttribute(*n, name) : nullptr;
    return a ? PlugKey{id, runtime().scene.attributePtr(*n, a), index} : PlugKey{};
}

void storeClean(const MPlug& plug, Value v) {
    Node* n = runtime().scene.find(plug.node().id());
    if (!n) return;
    runtime().scene.store(*n, plug.attr().get(), plug.index(), std::move(v));
    runtime().scene.markClean(*n, plug.attr().get(), plug.index());
}

MMatrix instanceMatrix(std::uint64_t id, int instance) {
    const auto paths = dag::pathsTo(id);
    if (instance < 0 || static_cast<std::size_t>(instance) >= paths.size()) return {};
    return dag::pathMatrix(paths[static_cast<std::size_t>(instance)], paths[static_cast<std::size_t>(instance)].size());
}

// The overlay without its entries past the mesh's faces, vertices and
// face-vertices; null when everything fits.
std::shared_ptr<const MeshGeometry> overlayWithin(const MeshGeometry& overlay, const MeshGeometry& mesh) {
    const std::size_t faces = static_cast<std::size_t>(mesh.numPolygons());
    const std::size_t vertices = mesh.points.size();
    const std::size_t corners = mesh.faceVertices.size();
    const auto limit = [&](int kind) {
        return static_cast<int>(kind == MFn::kMeshPolygonComponent ? faces : vertices);
    };
    bool beyond = overlay.normalLocked.size() > corners || overlay.lockedNormals.size() > corners;
    for (const auto& set : overlay.uvSets) beyond = beyond || set.ids.size() > corners;
    for (const auto& set : overlay.colorSets)
        beyond = beyond || set.colors.size() > vertices || set.has.size() > vertices;
    for (const auto& [type, kinds] : overlay.blindData)
        for (const auto& [kind, values] : kinds)
            beyond = beyond || (!values.empty() && values.rbegin()->first >= limit(kind));
    if (!beyond) return nullptr;
    auto fitted = std::make_shared<MeshGeometry>(overlay);
    fitted->normalLocked.resize(std::min(fitted->normalLocked.size(), corners));
    fitted->lockedNormals.resize(std::min(fitted->lockedNormals.size(), corners));
    for (auto& set : fitted->uvSets) set.ids.resize(std::min(set.ids.size(), corners));
    for (auto& set : fitted->colorSets) {
        set.colors.resize(std::min(set.colors.size(), vertices));
        set.has.resize(std::min(set.has.size(), vertices));
    }
    for (auto& [type, kinds] : fitted->blindData)
        for (auto& [kind, values] : kinds) values.erase(values.lower_bound(limit(kind)), values.end());
    return fitted;
}

// An opened shape whose edits were kept as an overlay when it was saved: the outMesh the
// file set, before the first evaluation replaces it, holds those edits.
std::shared_ptr<const MeshGeometry> savedOverlay(std::uint64_t id) {
    Scene& scene = runtime().scene;
    Node* n = scene.find(id);
    if (!n) return nullptr;
    const Attribute* flag = scene.findAttribute(*n, "overlaid");
    const Slot* set = flag ? scene.slot(*n, flag, -1, false) : nullptr;
    const int* on = set ? std::get_if<int>(&set->value) : nullptr;
    if (!on || *on == 0) return nullptr;
    const Slot* out = scene.slot(*n, scene.findAttribute(*n, "outMesh"), -1, false);
    const auto* data = out ? std::get_if<std::shared_ptr<DataObject>>(&out->value) : nullptr;
    const auto mesh = data ? std::dynamic_pointer_cast<const MeshData>(*data) : nullptr;
    return mesh ? std::shared_ptr<const MeshGeometry>(mesh, &mesh->geometry) : nullptr;
}

}  // namespace

MStatus TransformNode::compute(const MPlug& plug, MDataBlock&) {
    const std::uint64_t id = thisMObject().id();
    if (plug.attr()->longName == "worldMatrix") {
        storeClean(plug, std::make_shared<MatrixData>(instanceMatrix(id, plug.index())));
        return MS::kSuccess;
    }
    return MS::kUnknownParameter;
}

MStatus TransformNode::setDependentsDirty(const MPlug& plug, MPlugArray&) {
    static constexpr std::string_view channels[] = {"translate",  "rotate",     "scale",
                                                    "rotatePivot", "rotatePivotTranslate",
                                                    "scalePivot", "scalePivotTranslate"};
    const host::Attribute* a = plug.attr()->storage();
    for (const std::string_view c : channels)
        if (a->longName == c) {
            dag::dirtyBelow(thisMObject().id());
            break;
        }
    return MS::kSuccess;
}

MStatus MeshNode::compute(const MPlug& plug, MDataBlock& data) {
    Scene& scene = runtime().scene;
    const std::uint64_t id = thisMObject().id();
    const std::string& name = plug.attr()->longName;
    if (name == "outMesh") {
        // Fed or not, only a change of the input makes outMesh stale: it takes the
        // input, which keeps the last value it received after a disconnect.
        const Value v = scene.read(plugOf(id, "inMesh"));
        if (auto d = std::get_if<std::shared_ptr<DataObject>>(&v); d && *d) {
            if (!overlay) overlay = savedOverlay(id);
            auto copy = (*d)->clone();
            if (auto mesh = std::dynamic_pointer_cast<MeshData>(copy); mesh && overlay) {
                // An input that shrank takes the edits past its end away for good.
                if (auto fitted = overlayWithin(*overlay, mesh->geometry)) overlay = std::move(fitted);
                applyOverlay(*overlay, mesh->geometry);
            }
            storeClean(plug, copy);
            return MS::kSuccess;
        }
        // No input yet: the value set directly.
        if (Node* n = scene.find(id)) scene.markClean(*n, plug.attr().get(), -1);
        return MS::kSuccess;
    }
    if (name == "worldMesh") {
        scene.read(plugOf(id, "outMesh"));
        auto world = std::make_shared<MeshData>();
        world->geometry = tweakedGeometry(id);
        transformGeometry(world->geometry, instanceMatrix(id, plug.index()));
        storeClean(plug, std::shared_ptr<DataObject>(world));
        return MS::kSuccess;
    }
    if (name == "uvSetName") {
        const auto mesh = shapeMeshData(id);
        const auto k = static_cast<std::size_t>(std::max(0, plug.index()));
        storeClean(plug, mesh && k < mesh->geometry.uvSets.size() ? mesh->geometry.uvSets[k].name : std::string());
        return MS::kSuccess;
    }
    return TransformNode::compute(plug, data);
}

void applyOverlay(const MeshGeometry& overlay, MeshGeometry& mesh) {
    const std::size_t faces = static_cast<std::size_t>(mesh.numPolygons());
    const std::size_t vertices = mesh.points.size();
    const std::size_t corners = mesh.faceVertices.size();
    mesh.blindData.clear();
    for (const auto& [type, kinds] : overlay.blindData)
        for (const auto& [kind, values] : kinds) {
            const std::size_t limit = kind == MFn::kMeshPolygonComponent ? faces : vertices;
            for (const auto& [component, attrs] : values)
                if (component >= 0 && static_cast<std::size_t>(component) < limit)
                    mesh.blindData[type][kind][component] = attrs;
        }
    for (std::size_t k = 0; k < corners && k < overlay.normalLocked.size(); ++k) {
        mesh.normalLocked[k] = overlay.normalLocked[k];
        mesh.lockedNormals[k] = overlay.lockedNormals[k];
    }
    mesh.uvSets = overlay.uvSets;
    for (auto& set : mesh.uvSets) {
        set.ids.resize(corners, -1);
        for (int& id : set.ids)
            if (id >= static_cast<int>(set.u.size())) id = -1;
    }
    mesh.currentUVSet = overlay.currentUVSet < static_cast<int>(mesh.uvSets.size()) ? overlay.currentUVSet : 0;
    mesh.colorSets = overlay.colorSets;
    for (auto& set : mesh.colorSets) {
        set.colors.resize(vertices, {0, 0, 0, 1});
        set.has.resize(vertices, 0);
    }
    mesh.currentColorSet = overlay.currentColorSet < static_cast<int>(mesh.colorSets.size()) ? overlay.currentColorSet : -1;
}

MStatus MeshNode::setDependentsDirty(const MPlug& plug, MPlugArray& affected) {
    // The names follow the geometry; their elements are not reached by the attribute table.
    const std::string& name = plug.attr()->longName;
    if (name == "inMesh" || name == "outMesh") {
        Scene& scene = runtime().scene;
        Node* n = scene.find(thisMObject().id());
        const Attribute* uvName = n ? scene.findAttribute(*n, "uvSetName") : nullptr;
        if (uvName)
            for (const int k : scene.elementIndices(*n, uvName))
                affected.append(makePlug(PlugKey{n->id, scene.attributePtr(*n, uvName), k}));
    }
    return TransformNode::setDependentsDirty(plug, affected);
}

MStatus CurveNode::compute(const MPlug& plug, MDataBlock& data) {
    Scene& scene = runtime().scene;
    const std::uint64_t id = thisMObject().id();
    const std::string& name = plug.attr()->longName;
    auto curveOf = [&](const PlugKey& k) -> std::shared_ptr<CurveData> {
        const Value v = scene.read(k);
        auto d = std::get_if<std::shared_ptr<DataObject>>(&v);
        return d ? std::dynamic_pointer_cast<CurveData>(*d) : nullptr;
    };
    if (name == "local") {
        const PlugKey create = plugOf(id, "create");
        if (auto c = scene.sourceOf(create) ? curveOf(create) : nullptr)
            storeClean(plug, std::shared_ptr<DataObject>(c->clone()));
        else if (Node* n = scene.find(id))
            scene.markClean(*n, plug.attr().get(), -1);
        return MS::kSuccess;
    }
    if (name == "worldSpace") {
        auto local = curveOf(plugOf(id, "local"));
        auto world = std::make_shared<CurveData>();
        if (local) world->geometry = local->geometry;
        const MMatrix m = instanceMatrix(id, plug.index());
        for (auto& cv : world->geometry.cvs) {
            const MPoint p = MPoint(cv[0], cv[1], cv[2]) * m;
            cv = {p.x, p.y, p.z};
        }
        storeClean(plug, std::shared_ptr<DataObject>(world));
        return MS::kSuccess;
    }
    return TransformNode::compute(plug, data);
}

MStatus PassThroughNode::compute(const MPlug& plug, MDataBlock&) {
    const std::string& name = plug.attr()->longName;
    if (name != "output" && name != "outputGeometry") return MS::kUnknownParameter;
    Scene& scene = runtime().scene;
    const std::uint64_t id = thisMObject().id();
    Node* n = scene.find(id);
    std::shared_ptr<MeshData> in;
    for (const char* input : {"inputPolymesh", "inMesh", "inputGeometry"})
        if (const PlugKey k = plugOf(id, input); k.attr) {
            const Value v = scene.read(k);
            if (auto d = std::get_if<std::shared_ptr<DataObject>>(&v)) in = std::dynamic_pointer_cast<MeshData>(*d);
            break;
        }
    if (!in) {
        storeClean(plug, Value());
        return MS::kSuccess;
    }
    auto out = std::make_shared<MeshData>(*in);
    if (const Attribute* tweak = scene.findAttribute(*n, "tweak"))
        for (const int i : scene.elementIndices(*n, tweak)) {
            if (i < 0 || static_cast<std::size_t>(i) >= out->geometry.points.size()) continue;
            const Value t = scene.read(PlugKey{id, scene.attributePtr(*n, tweak), i});
            if (auto d = std::get_if<Vec3>(&t))
                for (int c = 0; c < 3; ++c) out->geometry.points[static_cast<std::size_t>(i)][c] += static_cast<float>((*d)[c]);
        }
    storeClean(plug, std::shared_ptr<DataObject>(out));
    return MS::kSuccess;
}

MStatus LambertNode::compute(const MPlug& plug, MDataBlock&) {
    if (plug.attr()->storage()->longName != "outColor") return MS::kUnknownParameter;
    const std::uint64_t id = thisMObject().id();
    const Value c = runtime().scene.read(plugOf(id, "color"));
    Node* n = runtime().scene.find(id);
    const Attribute* out = runtime().scene.findAttribute(*n, "outColor");
    runtime().scene.store(*n, out, -1, c);
    runtime().scene.markClean(*n, out, -1);
    return MS::kSuccess;
}

MStatus AnimCurveNode::compute(const MPlug& plug, MDataBlock&) {
    if (plug.attr()->longName != "output") return MS::kUnknownParameter;
    Scene& scene = runtime().scene;
    const std::uint64_t id = thisMObject().id();
    const MTime t = valueAsTime(scene.read(plugOf(id, "input")));
    const Value keys = scene.read(plugOf(id, "keys"));
    auto d = std::get_if<std::shared_ptr<DataObject>>(&keys);
    auto k = d ? std::dynamic_pointer_cast<AnimKeysData>(*d) : nullptr;
    storeClean(plug, k ? k->evaluate(t) : 0.0);
    return MS::kSuccess;
}

MStatus MotionPathNode::compute(const MPlug& plug, MDataBlock&) {
    if (plug.attr()->storage()->longName != "allCoordinates") return MS::kUnknownParameter;
    Scene& scene = runtime().scene;
    const std::uint64_t id = thisMObject().id();
    const double u = valueAsDouble(scene.read(plugOf(id, "uValue")));
    const Value v = scene.read(plugOf(id, "geometryPath"));
    auto d = std::get_if<std::shared_ptr<DataObject>>(&v);
    auto c = d ? std::dynamic_pointer_cast<CurveData>(*d) : nullptr;
    const auto p = c ? c->geometry.point(u) : std::array<double, 3>{0, 0, 0};
    Node* n = scene.find(id);
    const Attribute* all = scene.findAttribute(*n, "allCoordinates");
    scene.store(*n, all, -1, Vec3{p[0], p[1], p[2]});
    scene.markClean(*n, all, -1);
    return MS::kSuccess;
}

}  // namespace host::builtin
