#include "host/scene/meshShape.h"

#include <cmath>
#include <memory>

#include "host/core/runtime.h"
#include "host/scene/curveData.h"
#include "host/scene/geometryBox.h"

namespace host {

namespace {

PlugKey plugOf(std::uint64_t id, const char* name, int index = -1) {
    Node* n = runtime().scene.find(id);
    const Attribute* a = n ? runtime().scene.findAttribute(*n, name) : nullptr;
    return a ? PlugKey{id, runtime().scene.attributePtr(*n, a), index} : PlugKey{};
}

template <typename T>
std::shared_ptr<T> dataOf(const Value& v) {
    auto d = std::get_if<std::shared_ptr<DataObject>>(&v);
    return d ? std::dynamic_pointer_cast<T>(*d) : nullptr;
}

}  // namespace

std::shared_ptr<MeshData> shapeMeshData(std::uint64_t shape) {
    const PlugKey out = plugOf(shape, "outMesh");
    if (!out.attr) return nullptr;
    return dataOf<MeshData>(runtime().scene.read(out));
}

bool hasTweaks(std::uint64_t shape) {
    Node* n = runtime().scene.find(shape);
    const Attribute* pnts = n ? runtime().scene.findAttribute(*n, "pnts") : nullptr;
    return pnts && runtime().scene.lastElementIndex(*n, pnts) >= 0;
}

MeshGeometry tweakedGeometry(std::uint64_t shape) {
    auto data = shapeMeshData(shape);
    MeshGeometry g = data ? data->geometry : MeshGeometry();
    Scene& scene = runtime().scene;
    Node* n = scene.find(shape);
    const Attribute* pnts = n ? scene.findAttribute(*n, "pnts") : nullptr;
    if (!pnts) return g;
    for (const int i : scene.elementIndices(*n, pnts)) {
        if (i < 0 || static_cast<std::size_t>(i) >= g.points.size()) continue;
        const Value v = scene.read(PlugKey{shape, scene.attributePtr(*n, pnts), i});
        if (auto t = std::get_if<Vec3>(&v))
            for (int c = 0; c < 3; ++c) g.points[static_cast<std::size_t>(i)][c] += static_cast<float>((*t)[c]);
    }
    return g;
}

void transformGeometry(MeshGeometry& mesh, const MMatrix& m) {
    if (m == MMatrix()) return;
    for (auto& p : mesh.points) {
        const MPoint q = MPoint(p[0], p[1], p[2]) * m;
        p = {static_cast<float>(q.x), static_cast<float>(q.y), static_cast<float>(q.z)};
    }
    const MMatrix normalMatrix = m.inverse().transpose();
    for (std::size_t k = 0; k < mesh.lockedNormals.size(); ++k) {
        if (!mesh.normalLocked[k]) continue;
        auto& n = mesh.lockedNormals[k];
        const MVector v = (MVector(n[0], n[1], n[2]) * normalMatrix).normal();
        n = {static_cast<float>(v.x), static_cast<float>(v.y), static_cast<float>(v.z)};
    }
}

MStatus setShapeGeometry(std::uint64_t shape, const MeshGeometry& mesh) {
    Scene& scene = runtime().scene;
    const PlugKey in = plugOf(shape, "inMesh");
    const PlugKey out = plugOf(shape, "outMesh");
    if (!out.attr) return MStatus(MS::kInvalidParameter, "not a mesh");
    if (!scene.sourceOf(in)) {
        auto data = std::make_shared<MeshData>();
        data->geometry = mesh;
        return scene.write(out, std::shared_ptr<DataObject>(data));
    }
    // With history the points go in as tweaks over the evaluated input.
    auto base = shapeMeshData(shape);
    if (!base) return MStatus(MS::kFailure, "no input mesh");
    for (std::size_t i = 0; i < mesh.points.size() && i < base->geometry.points.size(); ++i) {
        Vec3 d;
        for (int c = 0; c < 3; ++c) d[c] = double(mesh.points[i][c]) - base->geometry.points[i][c];
        const MStatus st = scene.write(plugOf(shape, "pnts", static_cast<int>(i)), d);
        if (!st) return st;
    }
    return MS::kSuccess;
}

MBoundingBox geometryBoundingBox(std::uint64_t id) {
    MBoundingBox box;
    Node* n = runtime().scene.find(id);
    if (!n) return box;
    if (n->type->apiType == MFn::kMesh) {
        // Without tweaks the stored points themselves: the geometry is not copied.
        const auto data = hasTweaks(id) ? nullptr : shapeMeshData(id);
        const auto tweaked = data ? nullptr : std::make_unique<MeshGeometry>(tweakedGeometry(id));
        for (const auto& p : (data ? data->geometry : *tweaked).points) box.expand(MPoint(p[0], p[1], p[2]));
    } else if (n->type->apiType == MFn::kNurbsCurve) {
        if (auto c = dataOf<CurveData>(runtime().scene.read(plugOf(id, "local"))))
            for (const auto& p : c->geometry.cvs) box.expand(MPoint(p[0], p[1], p[2]));
    }
    return box;
}

}  // namespace host
