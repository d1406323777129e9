#include <cmath>

#include "host/api/fnMesh.h"
#include "host/core/runtime.h"
#include "host/scene/builtinNodes.h"
#include "host/scene/dag.h"
#include "host/scene/meshShape.h"

using host::runtime;

namespace {

MStatus invalid(const char* why) { return MStatus(MS::kInvalidParameter, why); }

host::PlugKey shapePlug(std::uint64_t id, const char* name, int index = -1) {
    host::Scene& scene = runtime().scene;
    host::Node* n = scene.find(id);
    const host::Attribute* a = n ? scene.findAttribute(*n, name) : nullptr;
    return a ? host::PlugKey{id, scene.attributePtr(*n, a), index} : host::PlugKey{};
}

// Geometry from counts and connects; fails on any index or count that does not fit.
MStatus buildGeometry(int numVertices, int numPolygons, const MFloatPointArray& vertices, const MIntArray& counts,
                      const MIntArray& connects, host::MeshGeometry& g) {
    if (numVertices < 0 || numPolygons < 0 || vertices.length() < static_cast<unsigned>(numVertices) ||
        counts.length() != static_cast<unsigned>(numPolygons))
        return invalid("vertex or polygon count does not match the arrays");
    unsigned at = 0;
    for (const int n : counts) {
        if (n < 3 || at + static_cast<unsigned>(n) > connects.length()) return invalid("bad polygon count");
        for (int k = 0; k < n; ++k, ++at) {
            const int v = connects[at];
            if (v < 0 || v >= numVertices) return invalid("polygon vertex out of range");
        }
    }
    if (at != connects.length()) return invalid("polygon connects do not match the counts");
    // Each polygon one loop, as addPolygon would append them.
    g = host::MeshGeometry();
    g.points.resize(static_cast<std::size_t>(numVertices));
    for (int i = 0; i < numVertices; ++i) g.points[static_cast<std::size_t>(i)] = {vertices[i].x, vertices[i].y, vertices[i].z};
    g.uvSets.push_back(host::UVSetData{"map1", {}, {}, std::vector<int>(at, -1)});
    if (numPolygons == 0) return MS::kSuccess;
    g.loopSizes.assign(counts.begin(), counts.end());
    g.polygonLoops.assign(static_cast<std::size_t>(numPolygons), 1);
    g.faceVertices.assign(connects.begin(), connects.end());
    g.polygonStart.resize(static_cast<std::size_t>(numPolygons) + 1);
    g.polygonFirstLoop.resize(static_cast<std::size_t>(numPolygons) + 1);
    for (int p = 0; p < numPolygons; ++p) {
        g.polygonStart[static_cast<std::size_t>(p) + 1] = g.polygonStart[static_cast<std::size_t>(p)] + counts[static_cast<unsigned>(p)];
        g.polygonFirstLoop[static_cast<std::size_t>(p) + 1] = p + 1;
    }
    g.lockedNormals.assign(at, {0, 0, 0});
    g.normalLocked.assign(at, 0);
    return MS::kSuccess;
}

// The face-vertex of polygon `p` using vertex `v`, or -1.
int cornerOf(const host::MeshGeometry& g, int p, int v) {
    if (p < 0 || p >= g.numPolygons()) return -1;
    for (int k = g.polygonStart[p]; k < g.polygonStart[p + 1]; ++k)
        if (g.faceVertices[static_cast<std::size_t>(k)] == v) return k;
    return -1;
}

}  // namespace

MStatus MFnMesh::edit(const std::function<MStatus(host::MeshGeometry&)>& change) {
    if (data_.kind() == MObject::Kind::Data) return change(std::static_pointer_cast<host::MeshData>(data_.data())->geometry);
    if (!object().hasFn(MFn::kMesh)) return invalid("not a mesh");
    const std::uint64_t id = object().id();
    // Geometry that the shape alone holds is changed where it lies, which is why every
    // change checks what it is given before it changes anything; shared geometry is
    // copied first.
    auto data = host::shapeMeshData(id);
    if (!data || data.use_count() != 2) {
        auto copy = std::make_shared<host::MeshData>();
        if (data) copy->geometry = data->geometry;
        data = std::move(copy);
    }
    if (MStatus st = change(data->geometry); !st) return st;
    // With history the next evaluation replaces outMesh: the edit is kept as an overlay.
    if (runtime().scene.sourceOf(shapePlug(id, "inMesh")))
        if (host::Node* n = runtime().scene.find(id))
            if (auto* shape = dynamic_cast<host::builtin::MeshNode*>(n->user.get())) {
                shape->overlay = std::make_shared<const host::MeshGeometry>(data->geometry);
                if (MStatus st = runtime().scene.write(shapePlug(id, "overlaid"), 1); !st) return st;
            }
    return runtime().scene.write(shapePlug(id, "outMesh"), std::shared_ptr<host::DataObject>(data));
}

MObject MFnMesh::create(int numVertices, int numPolygons, const MFloatPointArray& vertices, const MIntArray& counts,
                        const MIntArray& connects, const MObject& parentOrOwner, MStatus* status) {
    return create(numVertices, numPolygons, vertices, counts, connects, MFloatArray(), MFloatArray(), parentOrOwner,
                  status);
}

MObject MFnMesh::create(int numVertices, int numPolygons, const MFloatPointArray& vertices, const MIntArray& counts,
                        const MIntArray& connects, const MFloatArray& u, const MFloatArray& v,
                        const MObject& parentOrOwner, MStatus* status) {
    auto fail = [status](MStatus st) {
        if (status) *status = st;
        return MObject();
    };
    // Scripts and tests make creation fail on purpose, after a number of meshes made.
    int& meshesLeft = runtime().options.failMeshCreateAfter;
    if (meshesLeft == 0) return fail(MStatus(MS::kFailure, "mesh creation made to fail"));
    auto data = std::make_shared<host::MeshData>();
    if (MStatus st = buildGeometry(numVertices, numPolygons, vertices, counts, connects, data->geometry); !st)
        return fail(st);
    if (u.length() != v.length()) return fail(invalid("u and v differ in length"));
    if (meshesLeft > 0) --meshesLeft;
    data->geometry.uvSets[0].u.assign(u.begin(), u.end());
    data->geometry.uvSets[0].v.assign(v.begin(), v.end());

    if (parentOrOwner.kind() == MObject::Kind::Data) {
        if (!parentOrOwner.hasFn(MFn::kMeshData)) return fail(invalid("owner is not mesh data"));
        std::static_pointer_cast<host::MeshData>(parentOrOwner.data())->geometry = std::move(data->geometry);
        if (MStatus st = setObject(parentOrOwner); !st) return fail(st);
        if (status) *status = MS::kSuccess;
        return parentOrOwner;
    }
    std::uint64_t parent = 0;
    if (!parentOrOwner.isNull()) {
        if (!parentOrOwner.hasFn(MFn::kTransform)) return fail(invalid("parent is not a transform"));
        parent = parentOrOwner.id();
    }
    MStatus st;
    host::NodeType* type = runtime().registry.findType("mesh");
    const auto made = type ? host::dag::createNode(*type, {}, parent, false, &st) : std::vector<std::uint64_t>{};
    if (made.empty()) return fail(st ? MStatus(MS::kFailure, "mesh not created") : st);
    const MObject shape = MObject::fromNode(made.back());
    if (st = runtime().scene.write(shapePlug(made.back(), "outMesh"), std::shared_ptr<host::DataObject>(data)); !st)
        return fail(st);
    MDagPath path;
    if (st = MDagPath::getAPathTo(shape, path); !st) return fail(st);
    if (st = setObject(path); !st) return fail(st);
    if (status) *status = MS::kSuccess;
    return MObject::fromNode(made.front());
}

MStatus MFnMesh::createInPlace(int numVertices, int numPolygons, const MFloatPointArray& vertices,
                               const MIntArray& counts, const MIntArray& connects) {
    host::MeshGeometry fresh;
    if (MStatus st = buildGeometry(numVertices, numPolygons, vertices, counts, connects, fresh); !st) return st;
    return edit([&](host::MeshGeometry& g) {
        // The sets keep their names and order; their contents belong to the old topology.
        fresh.uvSets.clear();
        for (const auto& s : g.uvSets) fresh.uvSets.push_back(host::UVSetData{s.name, {}, {}, {}});
        if (fresh.uvSets.empty()) fresh.uvSets.push_back(host::UVSetData{"map1", {}, {}, {}});
        for (auto& s : fresh.uvSets) s.ids.assign(fresh.faceVertices.size(), -1);
        fresh.currentUVSet = g.currentUVSet < static_cast<int>(fresh.uvSets.size()) ? g.currentUVSet : 0;
        g = std::move(fresh);
        return MStatus(MS::kSuccess);
    });
}

MStatus MFnMesh::setPoints(const MPointArray& points, MSpace::Space space) {
    MFloatPointArray f;
    for (const MPoint& p : points) f.append(MFloatPoint(p.x, p.y, p.z));
    return setPoints(f, space);
}

MStatus MFnMesh::setPoints(const MFloatPointArray& points, MSpace::Space space) {
    MStatus st;
    const auto current = geometryPtr(MSpace::kObject, &st);
    if (!st) return st;
    if (points.length() != current->points.size()) return invalid("point count differs from the mesh");
    const bool world = space == MSpace::kWorld && data_.kind() != MObject::Kind::Data;
    const MMatrix toObject = world ? path_.inclusiveMatrix().inverse() : MMatrix();
    std::vector<host::Float3> local;
    local.reserve(points.length());
    for (const MFloatPoint& p : points) {
        const MPoint q = world ? MPoint(p.x, p.y, p.z) * toObject : MPoint(p.x, p.y, p.z);
        local.push_back({static_cast<float>(q.x), static_cast<float>(q.y), static_cast<float>(q.z)});
    }
    if (data_.kind() == MObject::Kind::Data)
        return edit([&](host::MeshGeometry& g) {
            g.points = local;
            return MStatus(MS::kSuccess);
        });
    host::Scene& scene = runtime().scene;
    const std::uint64_t id = object().id();
    if (scene.sourceOf(shapePlug(id, "inMesh"))) {
        // With history the points become tweaks over the evaluated input.
        host::MeshGeometry g = *current;
        g.points = local;
        return host::setShapeGeometry(id, g);
    }
    // Without history: the points themselves, and no tweak left to move them.
    host::Node* n = scene.find(id);
    if (const host::Attribute* pnts = n ? scene.findAttribute(*n, "pnts") : nullptr)
        for (const int i : scene.elementIndices(*n, pnts))
            if (st = scene.write(shapePlug(id, "pnts", i), host::Vec3{0, 0, 0}); !st) return st;
    return edit([&](host::MeshGeometry& g) {
        g.points = local;
        return MStatus(MS::kSuccess);
    });
}

namespace {

// Object-space normals: a world normal goes back through the transpose of the world matrix.
std::vector<host::Float3> localNormals(const MVectorArray& normals, bool world, const MMatrix& m) {
    const MMatrix back = world ? m.transpose() : MMatrix();
    std::vector<host::Float3> out;
    out.reserve(normals.length());
    for (const MVector& n : normals) {
        const MVector v = world ? (n * back).normal() : n;
        out.push_back({static_cast<float>(v.x), static_cast<float>(v.y), static_cast<float>(v.z)});
    }
    return out;
}

}  // namespace

MStatus MFnMesh::setFaceVertexNormals(const MVectorArray& normals, const MIntArray& faces, const MIntArray& vertices,
                                      MSpace::Space space) {
    if (normals.length() != faces.length() || faces.length() != vertices.length())
        return invalid("normal, face and vertex lists differ in length");
    const bool world = space == MSpace::kWorld && data_.kind() != MObject::Kind::Data;
    const auto local = localNormals(normals, world, world ? path_.inclusiveMatrix() : MMatrix());
    return edit([&](host::MeshGeometry& g) {
        std::vector<int> corners;
        corners.reserve(faces.length());
        for (unsigned i = 0; i < faces.length(); ++i) {
            const int k = cornerOf(g, faces[i], vertices[i]);
            if (k < 0) return invalid("vertex is not on that face");
            corners.push_back(k);
        }
        for (std::size_t i = 0; i < corners.size(); ++i) {
            g.lockedNormals[static_cast<std::size_t>(corners[i])] = local[i];
            g.normalLocked[static_cast<std::size_t>(corners[i])] = 1;
        }
        return MStatus(MS::kSuccess);
    });
}

MStatus MFnMesh::setVertexNormals(const MVectorArray& normals, const MIntArray& vertices, MSpace::Space space) {
    if (normals.length() != vertices.length()) return invalid("normal and vertex lists differ in length");
    const bool world = space == MSpace::kWorld && data_.kind() != MObject::Kind::Data;
    const auto local = localNormals(normals, world, world ? path_.inclusiveMatrix() : MMatrix());
    return edit([&](host::MeshGeometry& g) {
        std::vector<int> slot(g.points.size(), -1);
        for (unsigned i = 0; i < vertices.length(); ++i) {
            if (vertices[i] < 0 || static_cast<std::size_t>(vertices[i]) >= g.points.size())
                return invalid("no such vertex");
            slot[static_cast<std::size_t>(vertices[i])] = static_cast<int>(i);
        }
        for (std::size_t k = 0; k < g.faceVertices.size(); ++k)
            if (const int i = slot[static_cast<std::size_t>(g.faceVertices[k])]; i >= 0) {
                g.lockedNormals[k] = local[static_cast<std::size_t>(i)];
                g.normalLocked[k] = 1;
            }
        return MStatus(MS::kSuccess);
    });
}

MStatus MFnMesh::unlockFaceVertexNormals(const MIntArray& faces, const MIntArray& vertices) {
    if (faces.length() != vertices.length()) return invalid("face and vertex lists differ in length");
    return edit([&](host::MeshGeometry& g) {
        std::vector<int> corners;
        for (unsigned i = 0; i < faces.length(); ++i) {
            const int k = cornerOf(g, faces[i], vertices[i]);
            if (k < 0) return invalid("vertex is not on that face");
            corners.push_back(k);
        }
        for (const int k : corners) g.normalLocked[static_cast<std::size_t>(k)] = 0;
        return MStatus(MS::kSuccess);
    });
}

bool MFnMesh::isNormalLocked(int faceVertex, MStatus* status) const {
    MStatus st;
    const auto g = geometryPtr(MSpace::kObject, &st);
    const bool ok = st && faceVertex >= 0 && faceVertex < g->numFaceVertices();
    if (status) *status = ok ? st : (st ? invalid("no such face-vertex") : st);
    return ok && g->normalLocked[static_cast<std::size_t>(faceVertex)];
}

MStatus MFnMesh::updateSurface() { return data_.kind() == MObject::Kind::Data || object().hasFn(MFn::kMesh) ? MStatus(MS::kSuccess) : invalid("not a mesh"); }

MStatus MFnMesh::syncObject() { return updateSurface(); }
