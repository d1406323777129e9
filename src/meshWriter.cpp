#include "src/meshWriter.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "host/api/fnDependencyNode.h"
#include "host/api/global.h"
#include "host/api/meshIterators.h"
#include "host/api/vectors.h"

std::vector<int> cutFaceValues(const MFnMesh& fn) {
    std::vector<int> values(static_cast<std::size_t>(std::max(fn.numPolygons(), 0)), cutFace::kSurface);
    MIntArray polygons, stored;
    if (fn.getIntBlindData(MFn::kMeshPolygonComponent, cutFace::kBlindDataId, cutFace::kLongName, polygons, stored)) {
        for (unsigned i = 0; i < polygons.length(); ++i) {
            if (polygons[i] >= 0 && static_cast<std::size_t>(polygons[i]) < values.size()) {
                values[static_cast<std::size_t>(polygons[i])] = stored[i];
            }
        }
    }
    return values;
}

namespace {

// An index into a table of `size` entries; anything outside it reads entry 0.
int inRange(std::uint32_t index, std::uint32_t size) { return index < size ? static_cast<int>(index) : 0; }

// The host arrays of an engine mesh: positions, polygons and the UV ids of every set.
struct HostArrays {
    MFloatPointArray points;
    MIntArray counts;
    MIntArray connects;
    MIntArray uvIds;                   // set 0
    std::vector<MIntArray> extraUVIds;  // extra set s

    explicit HostArrays(const ZYL_DFmesh& mesh) : extraUVIds(meshExtraUVSets(mesh)) {
        for (std::uint32_t i = 0; i < mesh.numVertices; ++i) {
            const Qmt::QmtVector3& p = mesh.worldVertices[i];
            points.append(MFloatPoint(static_cast<float>(p.x), static_cast<float>(p.y), static_cast<float>(p.z)));
        }
        for (std::uint32_t f = 0; f < mesh.numFaces; ++f) {
            const ZYL_DFface& face = mesh.faces[f];
            counts.append(static_cast<int>(face.numVertices));
            for (std::uint32_t k = 0; k < face.numVertices; ++k) {
                connects.append(inRange(face.vertices[k], mesh.numVertices));
                uvIds.append(face.uvs ? inRange(face.uvs[k], mesh.numUVs) : 0);
            }
            // A face without arrays of its own for a set gives its corners UV 0 there.
            const std::uint32_t own = faceExtraUVSets(face);
            for (std::uint32_t s = 0; s < extraUVIds.size(); ++s) {
                const std::uint32_t* ids = s < own ? face.uvSets[s] : nullptr;
                for (std::uint32_t k = 0; k < face.numVertices; ++k) {
                    extraUVIds[s].append(ids ? inRange(ids[k], mesh.numUVs) : 0);
                }
            }
        }
    }
};

void fillUVs(const Qmt::QmtVector3* uvs, std::uint32_t count, MFloatArray& u, MFloatArray& v) {
    u.clear();
    v.clear();
    for (std::uint32_t i = 0; i < count; ++i) {
        u.append(uvs ? static_cast<float>(uvs[i].x) : 0.0f);
        v.append(uvs ? static_cast<float>(uvs[i].y) : 0.0f);
    }
}

// The engine's corner normals on the host polygons, for the corners whose normal index
// names an entry.
void writeCornerNormals(const ZYL_DFmesh& mesh, MFnMesh& fn) {
    if (mesh.numCornerNormals == 0 || !mesh.cornerNormals) {
        return;
    }
    MVectorArray normals;
    MIntArray faces, vertices;
    const auto polygons = static_cast<std::uint32_t>(std::max(fn.numPolygons(), 0));
    for (std::uint32_t p = 0; p < std::min(mesh.numFaces, polygons); ++p) {
        const ZYL_DFface& face = mesh.faces[p];
        MIntArray corners;
        fn.getPolygonVertices(static_cast<int>(p), corners);
        for (std::uint32_t k = 0; k < corners.length() && k < face.numVertices && face.normals; ++k) {
            if (face.normals[k] >= mesh.numCornerNormals) {
                continue;
            }
            const Qmt::QmtVector3& n = mesh.cornerNormals[face.normals[k]];
            faces.append(static_cast<int>(p));
            vertices.append(corners[k]);
            normals.append(MVector(n.x, n.y, n.z));
        }
    }
    if (normals.length() > 0) {
        fn.setFaceVertexNormals(normals, faces, vertices, MSpace::kObject);
    }
}

void run(const MString& command) { MGlobal::executeCommand(command); }

MString faceItem(const MString& mesh, int polygon) { return MString(" ") + mesh + ".f[" + std::to_string(polygon) + "]"; }

}  // namespace

MString uvSetNamePlug(unsigned k) { return MString(".uvSet[") + std::to_string(k) + "].uvSetName"; }

MStatus createMeshFromDFmesh(MStatus& status, const ZYL_DFmesh* mesh, MFnMesh& fn, const MStringArray& uvSetNames,
                             MObject* target) {
    if (!mesh || mesh->numVertices < 4 || (mesh->numVertices == 4 && mesh->numFaces > 4)) {
        return status = MS::kFailure;
    }
    const HostArrays arrays(*mesh);
    const auto numVertices = static_cast<int>(mesh->numVertices);
    const auto numPolygons = static_cast<int>(mesh->numFaces);
    if (!target) {
        if (MStatus made = fn.createInPlace(numVertices, numPolygons, arrays.points, arrays.counts, arrays.connects);
            !made) {
            return status = made;
        }
    } else {
        MStatus made;
        const MObject object =
            fn.create(numVertices, numPolygons, arrays.points, arrays.counts, arrays.connects, *target, &made);
        if (!made) {
            return status = MS::kFailure;
        }
        if (target->isNull()) {
            *target = object;
        }
    }
    writeCornerNormals(*mesh, fn);

    // The status reported is that of the last of the UV calls below that counts.
    MStatus last = MS::kSuccess;
    const bool extraSets = (mesh->flags & MESH_UV_SETS) != 0;
    MString working;
    MDagPath path;
    if (fn.getPath(path)) {
        const MString current = fn.currentUVSetName();
        if (uvSetNames.length() > 0 && !(current == uvSetNames[0])) {
            last = fn.renameUVSet(current, uvSetNames[0]);
        }
        for (unsigned i = 1; extraSets && i < uvSetNames.length(); ++i) {
            fn.createUVSetWithName(uvSetNames[i]);
        }
        working = uvSetNames.length() > 0 ? uvSetNames[0] : current;
    } else {
        // Mesh data has no path: that is no failure of the mesh built.
        working = fn.currentUVSetName();
        for (unsigned i = 1; extraSets && i < uvSetNames.length(); ++i) {
            fn.createUVSetDataMeshWithName(uvSetNames[i]);
        }
    }
    MFloatArray u, v;
    if (mesh->numUVs != 0) {
        fillUVs(mesh->uvs, mesh->numUVs, u, v);
        last = fn.clearUVs(&working);
        last = fn.setUVs(u, v, &working);
        fn.assignUVs(arrays.counts, arrays.uvIds, &working);
    }
    if (extraSets && uvSetNames.length() >= 2) {
        // Names past the eighth have no engine data.
        const auto sets = std::min<std::size_t>({uvSetNames.length() - 1, 7, arrays.extraUVIds.size()});
        for (std::size_t s = 0; s < sets; ++s) {
            const MString& name = uvSetNames[static_cast<unsigned>(s + 1)];
            fillUVs(mesh->uvSets[s], mesh->numUVs, u, v);
            last = fn.setUVs(u, v, &name);
            last = fn.assignUVs(arrays.counts, arrays.extraUVIds[s], &name);
        }
    }
    fn.updateSurface();
    return status = last;
}

void declareCutFaceBlindData(const ZYL_DFmesh* mesh, MFnMesh& fn) {
    if (!mesh) {
        return;
    }
    const MString prefix = MString("polyBlindData -id ") + std::to_string(cutFace::kBlindDataId) +
                           " -associationType \"face\" -ldn \"" + cutFace::kLongName + "\" -ind ";
    MString lists[3] = {"0 ", "1 ", "2 "};
    bool used[3] = {false, false, false};
    const MString name = fn.name();
    const int polygons = fn.numPolygons();
    for (int i = 0; i < polygons; ++i) {
        const std::uint16_t flags = static_cast<std::uint32_t>(i) < mesh->numFaces ? mesh->faces[i].flags : 0;
        const int value = (flags & FACE_CAP) ? cutFace::kCut : (flags & FACE_CUT) ? cutFace::kOlderCut : cutFace::kSurface;
        lists[value] += faceItem(name, i);
        used[value] = true;
    }
    for (int value = 0; value < 3; ++value) {
        if (used[value]) {
            run(prefix + lists[value]);
        }
    }
}

MStatus createShardMeshes(MStatus& status, const ZYL_DFmesh* cell, bool cutMaterial, const MString& baseName,
                          const MString& cutShadingGroup, const MObjectArray& shadingGroups,
                          const MStringArray& uvSetNames, const MStringArray (&uvLinks)[8],
                          MObjectArray& createdObjects, MStringArray& createdNames) {
    MFnMesh fn;
    MObject transform;
    createMeshFromDFmesh(status, cell, fn, uvSetNames, &transform);
    // Declared under the name the host gave the new shape, before it is renamed.
    if (status == MS::kSuccess) {
        declareCutFaceBlindData(cell, fn);
    }
    if (status == MS::kFailure) {
        status.perror("Unable to create mesh");
        return MS::kFailure;
    }

    const MString meshName = fn.setName(baseName + "_shard" + std::to_string(cell->shardId));
    createdNames.append(meshName);
    fn.updateSurface();
    run("undoInfo -swf off");

    const std::vector<int> values = cutFaceValues(fn);
    const int polygons = static_cast<int>(values.size());
    const unsigned groups = shadingGroups.length();
    const auto groupName = [&](unsigned index) { return MFnDependencyNode(shadingGroups[index]).name(); };
    // The group of polygon i by its engine face's material; an index naming no group
    // (a polygon that had none) takes the main group.
    const auto faceGroup = [&](int i) {
        const unsigned material = static_cast<std::uint32_t>(i) < cell->numFaces ? cell->faces[i].material : 0;
        return groupName(material < groups ? material : 0);
    };
    if (cutMaterial) {
        MString cutCommand = MString("sets -e -fe ") + cutShadingGroup;
        if (groups > 1) {
            for (int i = 0; i < polygons; ++i) {
                if (values[static_cast<std::size_t>(i)] > 0) {
                    cutCommand += faceItem(meshName, i);
                } else {
                    run(MString("sets -e -fe ") + faceGroup(i) + faceItem(meshName, i));
                }
            }
        } else {
            MString mainCommand = MString("sets -e -fe ") + (groups == 1 ? groupName(0) : MString("initialShadingGroup"));
            for (int i = 0; i < polygons; ++i) {
                (values[static_cast<std::size_t>(i)] > 0 ? cutCommand : mainCommand) += faceItem(meshName, i);
            }
            run(mainCommand);
        }
        run(cutCommand);
    } else if (groups == 0) {
        run(MString("sets -e -fe initialShadingGroup ") + meshName);
    } else if (groups == 1) {
        MString command = MString("sets -e -fe ") + groupName(0);
        for (int i = 0; i < polygons; ++i) {
            command += faceItem(meshName, i);
        }
        run(command);
    } else {
        for (int i = 0; i < polygons; ++i) {
            run(MString("sets -e  -fe ") + faceGroup(i) + faceItem(meshName, i));
        }
    }

    if (uvSetNames.length() >= 2) {
        for (unsigned k = 0; k < std::min(8u, uvSetNames.length()); ++k) {
            for (unsigned t = 0; t < uvLinks[k].length(); ++t) {
                run(MString("uvLink -uvSet ") + meshName + uvSetNamePlug(k) + " -texture " + uvLinks[k][t]);
            }
        }
    }
    fn.syncObject();
    run("undoInfo -swf on");
    run(MString("xform -cp ") + MFnDependencyNode(transform).name());
    createdObjects.append(transform);
    return status;
}

void tagCutFaces(const ZYL_DFmesh* mesh, const MDagPath& parent) {
    if (!mesh) {
        return;
    }
    struct CutPlane {
        Qmt::QmtVector3 point;
        Qmt::QmtVector3 normal;
    };
    std::vector<CutPlane> cuts;
    for (std::uint32_t f = 0; f < mesh->numFaces; ++f) {
        const ZYL_DFface& face = mesh->faces[f];
        if ((face.flags & FACE_CUT) && face.numVertices > 0 && face.vertices[0] < mesh->numVertices) {
            cuts.push_back({mesh->worldVertices[face.vertices[0]], mesh->worldNormals[f]});
        }
    }
    if (cuts.empty() || parent.apiType() != MFn::kTransform) {
        return;
    }
    for (unsigned c = 0; c < parent.childCount(); ++c) {
        MDagPath path = parent;
        path.push(parent.child(c));
        if (path.apiType() == MFn::kTransform && !path.extendToShape()) {
            continue;
        }
        if (path.apiType() != MFn::kMesh) {
            continue;
        }
        MFnMesh fn(path);
        const std::vector<int> values = cutFaceValues(fn);
        MIntArray against;
        for (MItMeshPolygon it(path); !it.isDone(); it.next()) {
            const auto i = static_cast<int>(it.index());
            if (values[static_cast<std::size_t>(i)] != cutFace::kCut) {
                continue;
            }
            MVector n;
            it.getNormal(n, MSpace::kWorld);
            MPoint q;
            fn.getPoint(it.vertexIndex(0), q, MSpace::kWorld);
            const Qmt::QmtVector3 normal(n.x, n.y, n.z);
            const Qmt::QmtVector3 first(q.x, q.y, q.z);
            const bool lies = std::any_of(cuts.begin(), cuts.end(), [&](const CutPlane& cut) {
                return normal.Dot(cut.normal) < -0.99 && std::fabs((first - cut.point).Dot(cut.normal)) < 1e-4;
            });
            if (lies) {
                against.append(i);
            }
        }
        if (against.length() > 0) {
            fn.setIntBlindData(against, MFn::kMeshPolygonComponent, cutFace::kBlindDataId, cutFace::kLongName,
                               cutFace::kOlderCut);
        }
    }
}
