#include "host/scene/builtinNodes.h"

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
    static const char* const channels[] = {"translate", "rotate", "scale", "rotatePivot", "rotatePivotTranslate",
                                           "scalePivot", "scalePivotTranslate"};
    const host::Attribute* a = plug.attr()->storage();
    for (const char* c : channels)
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
        const PlugKey in = plugOf(id, "inMesh");
        if (scene.sourceOf(in)) {
            const Value v = scene.read(in);
            if (auto d = std::get_if<std::shared_ptr<DataObject>>(&v); d && *d) {
                storeClean(plug, (*d)->clone());
                return MS::kSuccess;
            }
        }
        // Unfed: the value set directly, or the last input (kept on disconnect).
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
