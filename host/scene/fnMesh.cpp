#include "host/api/fnMesh.h"

#include <algorithm>

#include "host/core/runtime.h"
#include "host/scene/meshShape.h"
#include "host/scene/shading.h"

using host::runtime;

namespace {

MStatus noMesh() { return MStatus(MS::kInvalidParameter, "not a mesh"); }

template <typename T>
T answer(MStatus* status, const MStatus& st, T value) {
    if (status) *status = st;
    return value;
}

const host::UVSetData* findSet(const host::MeshGeometry& g, const MString* name) {
    if (!name || name->length() == 0) {
        const auto i = static_cast<std::size_t>(g.currentUVSet);
        return i < g.uvSets.size() ? &g.uvSets[i] : nullptr;
    }
    for (const auto& s : g.uvSets)
        if (s.name == name->str()) return &s;
    return nullptr;
}

// One component's stored value of a blind-data attribute, or the failure naming what
// is missing.
MStatus findBlindValue(const host::MeshGeometry& g, int component, MFn::Type componentType, int blindDataId,
                       const MString& attr, const host::Value*& out) {
    const auto t = g.blindData.find(blindDataId);
    if (t == g.blindData.end()) return MStatus(MS::kFailure, "no blind data of that type");
    const auto k = t->second.find(componentType);
    if (k == t->second.end()) return MStatus(MS::kFailure, "no blind data on those components");
    const auto c = k->second.find(component);
    if (c == k->second.end()) return MStatus(MS::kFailure, "component has no blind data");
    const auto a = c->second.find(attr.str());
    if (a == c->second.end()) return MStatus(MS::kFailure, "component has no value for " + attr.str());
    out = &a->second;
    return MS::kSuccess;
}

}  // namespace

MObject MFnMeshData::create(MStatus* status) {
    if (status) *status = MS::kSuccess;
    return MObject::fromData(std::make_shared<host::MeshData>());
}

MFnMesh::MFnMesh(const MObject& object, MStatus* status) {
    const MStatus st = setObject(object);
    if (status) *status = st;
}

MFnMesh::MFnMesh(const MDagPath& path, MStatus* status) {
    const MStatus st = setObject(path);
    if (status) *status = st;
}

MStatus MFnMesh::setObject(const MObject& object) {
    data_ = MObject();
    if (object.kind() == MObject::Kind::Data) {
        if (!object.hasFn(MFn::kMeshData)) return noMesh();
        data_ = object;
        return MS::kSuccess;
    }
    if (!object.hasFn(MFn::kMesh)) return noMesh();
    return MFnDagNode::setObject(object);
}

MStatus MFnMesh::setObject(const MDagPath& path) {
    data_ = MObject();
    if (!path.hasFn(MFn::kMesh)) return noMesh();
    return MFnDagNode::setObject(path);
}

std::shared_ptr<const host::MeshGeometry> MFnMesh::geometryPtr(MSpace::Space space, MStatus* status) const {
    if (data_.kind() == MObject::Kind::Data) {
        if (status) *status = MS::kSuccess;
        auto data = std::static_pointer_cast<host::MeshData>(data_.data());
        return std::shared_ptr<const host::MeshGeometry>(data, &data->geometry);
    }
    if (!object().hasFn(MFn::kMesh)) {
        if (status) *status = noMesh();
        return std::make_shared<const host::MeshGeometry>();
    }
    if (status) *status = MS::kSuccess;
    // The stored geometry itself when nothing is to be applied: reads do not copy it.
    if (space != MSpace::kWorld && !host::hasTweaks(object().id()))
        if (auto data = host::shapeMeshData(object().id()))
            return std::shared_ptr<const host::MeshGeometry>(data, &data->geometry);
    auto g = std::make_shared<host::MeshGeometry>(host::tweakedGeometry(object().id()));
    if (space == MSpace::kWorld) host::transformGeometry(*g, path_.inclusiveMatrix());
    return g;
}

host::MeshGeometry MFnMesh::geometry(MSpace::Space space, MStatus* status) const { return *geometryPtr(space, status); }

int MFnMesh::numVertices(MStatus* status) const {
    MStatus st;
    const auto gp = geometryPtr(MSpace::kObject, &st);
    const host::MeshGeometry& g = *gp;
    return answer(status, st, static_cast<int>(g.points.size()));
}

int MFnMesh::numPolygons(MStatus* status) const {
    MStatus st;
    const auto gp = geometryPtr(MSpace::kObject, &st);
    const host::MeshGeometry& g = *gp;
    return answer(status, st, g.numPolygons());
}

int MFnMesh::numFaceVertices(MStatus* status) const {
    MStatus st;
    const auto gp = geometryPtr(MSpace::kObject, &st);
    const host::MeshGeometry& g = *gp;
    return answer(status, st, g.numFaceVertices());
}

int MFnMesh::numNormals(MStatus* status) const { return numFaceVertices(status); }

int MFnMesh::polygonVertexCount(int polygon, MStatus* status) const {
    MStatus st;
    const auto gp = geometryPtr(MSpace::kObject, &st);
    const host::MeshGeometry& g = *gp;
    if (st && (polygon < 0 || polygon >= g.numPolygons())) st = MStatus(MS::kInvalidParameter, "no such polygon");
    return answer(status, st, st ? g.polygonSize(polygon) : 0);
}

MStatus MFnMesh::getPoints(MFloatPointArray& points, MSpace::Space space) const {
    MStatus st;
    const auto gp = geometryPtr(space, &st);
    const host::MeshGeometry& g = *gp;
    points.clear();
    for (const auto& p : g.points) points.append(MFloatPoint(p[0], p[1], p[2]));
    return st;
}

MStatus MFnMesh::getPoints(MPointArray& points, MSpace::Space space) const {
    MStatus st;
    // Double points go to world space in double: only the stored points are floats.
    const auto gp = geometryPtr(MSpace::kObject, &st);
    const bool world = space == MSpace::kWorld && data_.kind() != MObject::Kind::Data;
    const MMatrix m = world ? path_.inclusiveMatrix() : MMatrix();
    points.clear();
    for (const auto& p : gp->points) points.append(world ? MPoint(p[0], p[1], p[2]) * m : MPoint(p[0], p[1], p[2]));
    return st;
}

MStatus MFnMesh::getPoint(int vertex, MPoint& point, MSpace::Space space) const {
    MStatus st;
    const auto gp = geometryPtr(MSpace::kObject, &st);
    const host::MeshGeometry& g = *gp;
    if (!st) return st;
    if (vertex < 0 || static_cast<std::size_t>(vertex) >= g.points.size())
        return MStatus(MS::kInvalidParameter, "no such vertex");
    const auto& p = g.points[static_cast<std::size_t>(vertex)];
    point = MPoint(p[0], p[1], p[2]);
    if (space == MSpace::kWorld && data_.kind() != MObject::Kind::Data) point = point * path_.inclusiveMatrix();
    return MS::kSuccess;
}

MStatus MFnMesh::getPolygonVertices(int polygon, MIntArray& vertices) const {
    MStatus st;
    const auto gp = geometryPtr(MSpace::kObject, &st);
    const host::MeshGeometry& g = *gp;
    if (!st) return st;
    if (polygon < 0 || polygon >= g.numPolygons()) return MStatus(MS::kInvalidParameter, "no such polygon");
    vertices.clear();
    for (int k = g.polygonStart[polygon]; k < g.polygonStart[polygon + 1]; ++k) vertices.append(g.faceVertices[k]);
    return MS::kSuccess;
}

MStatus MFnMesh::getVertices(MIntArray& counts, MIntArray& vertices) const {
    MStatus st;
    const auto gp = geometryPtr(MSpace::kObject, &st);
    const host::MeshGeometry& g = *gp;
    counts.clear();
    vertices.clear();
    for (int p = 0; p < g.numPolygons(); ++p) counts.append(g.polygonSize(p));
    for (const int v : g.faceVertices) vertices.append(v);
    return st;
}

MStatus MFnMesh::getNormals(MFloatVectorArray& normals, MSpace::Space space) const {
    MStatus st;
    // Normals come from the object-space shape; world ones through the inverse transpose.
    const auto gp = geometryPtr(MSpace::kObject, &st);
    const host::MeshGeometry& g = *gp;
    normals.clear();
    const bool world = space == MSpace::kWorld && data_.kind() != MObject::Kind::Data;
    const MMatrix m = world ? path_.inclusiveMatrix().inverse().transpose() : MMatrix();
    for (const auto& n : g.faceVertexNormals()) {
        MVector v(n[0], n[1], n[2]);
        if (world) v = (v * m).normal();
        normals.append(MFloatVector(v));
    }
    return st;
}

MStatus MFnMesh::getPolygonNormal(int polygon, MVector& normal, MSpace::Space space) const {
    MStatus st;
    const auto gp = geometryPtr(MSpace::kObject, &st);
    const host::MeshGeometry& g = *gp;
    if (!st) return st;
    if (polygon < 0 || polygon >= g.numPolygons()) return MStatus(MS::kInvalidParameter, "no such polygon");
    const auto n = g.polygonNormal(polygon);
    normal = MVector(n[0], n[1], n[2]);
    if (space == MSpace::kWorld && data_.kind() != MObject::Kind::Data)
        normal = (normal * path_.inclusiveMatrix().inverse().transpose()).normal();
    return MS::kSuccess;
}

MStatus MFnMesh::getFaceNormalIds(int polygon, MIntArray& ids) const {
    MStatus st;
    const auto gp = geometryPtr(MSpace::kObject, &st);
    const host::MeshGeometry& g = *gp;
    if (!st) return st;
    if (polygon < 0 || polygon >= g.numPolygons()) return MStatus(MS::kInvalidParameter, "no such polygon");
    ids.clear();
    for (int k = g.polygonStart[polygon]; k < g.polygonStart[polygon + 1]; ++k) ids.append(k);
    return MS::kSuccess;
}

int MFnMesh::numUVSets(MStatus* status) const {
    MStatus st;
    const auto gp = geometryPtr(MSpace::kObject, &st);
    const host::MeshGeometry& g = *gp;
    return answer(status, st, static_cast<int>(g.uvSets.size()));
}

int MFnMesh::numUVs(MStatus* status) const { return numUVs(MString(), status); }

int MFnMesh::numUVs(const MString& set, MStatus* status) const {
    MStatus st;
    const auto gp = geometryPtr(MSpace::kObject, &st);
    const host::MeshGeometry& g = *gp;
    const host::UVSetData* s = findSet(g, &set);
    return answer(status, s ? st : MStatus(MS::kInvalidParameter, "no such UV set"),
                  s ? static_cast<int>(s->u.size()) : 0);
}

MStatus MFnMesh::getUVSetNames(MStringArray& names) const {
    MStatus st;
    const auto gp = geometryPtr(MSpace::kObject, &st);
    const host::MeshGeometry& g = *gp;
    names.clear();
    for (const auto& s : g.uvSets) names.append(MString(s.name));
    return st;
}

MString MFnMesh::currentUVSetName(MStatus* status) const {
    MString name;
    const MStatus st = getCurrentUVSetName(name);
    return answer(status, st, name);
}

MStatus MFnMesh::getCurrentUVSetName(MString& name) const {
    MStatus st;
    const auto gp = geometryPtr(MSpace::kObject, &st);
    const host::MeshGeometry& g = *gp;
    const host::UVSetData* s = findSet(g, nullptr);
    name = s ? MString(s->name) : MString();
    return st;
}

MStatus MFnMesh::getUVs(MFloatArray& u, MFloatArray& v, const MString* set) const {
    MStatus st;
    const auto gp = geometryPtr(MSpace::kObject, &st);
    const host::MeshGeometry& g = *gp;
    if (!st) return st;
    const host::UVSetData* s = findSet(g, set);
    if (!s) return MStatus(MS::kInvalidParameter, "no such UV set");
    u.clear();
    v.clear();
    for (std::size_t i = 0; i < s->u.size(); ++i) {
        u.append(s->u[i]);
        v.append(s->v[i]);
    }
    return MS::kSuccess;
}

MStatus MFnMesh::getPolygonUVid(int polygon, int corner, int& id, const MString* set) const {
    MStatus st;
    const auto gp = geometryPtr(MSpace::kObject, &st);
    const host::MeshGeometry& g = *gp;
    if (!st) return st;
    const host::UVSetData* s = findSet(g, set);
    if (!s || polygon < 0 || polygon >= g.numPolygons() || corner < 0 || corner >= g.polygonSize(polygon))
        return MStatus(MS::kInvalidParameter, "no such corner");
    const int uv = s->ids[static_cast<std::size_t>(g.polygonStart[polygon] + corner)];
    if (uv < 0) return MStatus(MS::kFailure, "corner has no UV");
    id = uv;
    return MS::kSuccess;
}

bool MFnMesh::hasBlindData(MFn::Type componentType, int blindDataId, MStatus* status) const {
    MStatus st;
    const auto gp = geometryPtr(MSpace::kObject, &st);
    const host::MeshGeometry& g = *gp;
    bool any = false;
    for (const auto& [type, kinds] : g.blindData)
        if (blindDataId < 0 || type == blindDataId)
            if (const auto it = kinds.find(componentType); it != kinds.end() && !it->second.empty()) any = true;
    return answer(status, st, any);
}

bool MFnMesh::isBlindDataTypeUsed(int blindDataId, MStatus* status) const {
    if (status) *status = MS::kSuccess;
    return runtime().blindDataTypes.count(blindDataId) != 0;
}

MStatus MFnMesh::getIntBlindData(int component, MFn::Type componentType, int blindDataId, const MString& attr,
                                 int& value) const {
    MStatus st;
    const auto gp = geometryPtr(MSpace::kObject, &st);
    const host::MeshGeometry& g = *gp;
    if (!st) return st;
    const host::Value* stored = nullptr;
    if (const MStatus found = findBlindValue(g, component, componentType, blindDataId, attr, stored); !found)
        return found;
    value = host::valueAsInt(*stored);
    return MS::kSuccess;
}

MStatus MFnMesh::getIntBlindData(MFn::Type componentType, int blindDataId, const MString& attr,
                                 MIntArray& components, MIntArray& values) const {
    MStatus st;
    const auto gp = geometryPtr(MSpace::kObject, &st);
    const host::MeshGeometry& g = *gp;
    components.clear();
    values.clear();
    if (!st) return st;
    const auto t = g.blindData.find(blindDataId);
    if (t == g.blindData.end()) return MStatus(MS::kFailure, "no blind data of that type");
    if (const auto k = t->second.find(componentType); k != t->second.end())
        for (const auto& [id, attrs] : k->second)
            if (const auto a = attrs.find(attr.str()); a != attrs.end()) {
                components.append(id);
                values.append(host::valueAsInt(a->second));
            }
    return MS::kSuccess;
}

MStatus MFnMesh::getDoubleBlindData(int component, MFn::Type componentType, int blindDataId, const MString& attr,
                                    double& value) const {
    MStatus st;
    const auto gp = geometryPtr(MSpace::kObject, &st);
    const host::MeshGeometry& g = *gp;
    if (!st) return st;
    const host::Value* stored = nullptr;
    if (const MStatus found = findBlindValue(g, component, componentType, blindDataId, attr, stored); !found)
        return found;
    value = host::valueAsDouble(*stored);
    return MS::kSuccess;
}

MStatus MFnMesh::getConnectedShaders(unsigned instance, MObjectArray& shaders, MIntArray& indices) const {
    MStatus st;
    const auto gp = geometryPtr(MSpace::kObject, &st);
    const int count = gp->numPolygons();
    shaders.clear();
    indices = MIntArray(static_cast<unsigned>(count), -1);
    if (!st || data_.kind() == MObject::Kind::Data) return st;
    // Groups in the order of their first face.
    const auto groups = host::shading::faceGroups(object().id(), static_cast<int>(instance), count);
    std::vector<std::uint64_t> seen;
    for (int f = 0; f < count; ++f) {
        const std::uint64_t g = groups[static_cast<std::size_t>(f)];
        if (!g) continue;
        auto it = std::find(seen.begin(), seen.end(), g);
        if (it == seen.end()) {
            seen.push_back(g);
            shaders.append(MObject::fromNode(g));
            it = seen.end() - 1;
        }
        indices[static_cast<unsigned>(f)] = static_cast<int>(it - seen.begin());
    }
    return st;
}
