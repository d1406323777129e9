#include "src/meshWriter.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <string>
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

void run(const MString& command) { MGlobal::executeCommand(command); }

// Appends " " + mesh + ".f[" + polygon + "]", a face item of the module's MEL.
void appendFaceItem(std::string& out, const std::string& mesh, int polygon) {
    char digits[16];
    const auto end = std::to_chars(digits, digits + sizeof digits, polygon).ptr;
    out += ' ';
    out += mesh;
    out += ".f[";
    out.append(digits, end);
    out += ']';
}

// The polyBlindData command for the polygons of one cut-face value, up to its list.
std::string blindDataCommand(int value) {
    std::string command = "polyBlindData -id " + std::to_string(cutFace::kBlindDataId) +
                          " -associationType \"face\" -ldn \"" + cutFace::kLongName + "\" -ind ";
    command += static_cast<char>('0' + value);
    command += ' ';
    return command;
}

// Runs one polyBlindData per cut-face value that some polygon has, in the order 0, 1, 2;
// true when every one of them succeeded.
bool declareCutFaces(const std::vector<std::uint8_t>& values, const std::string& name) {
    bool succeeded = true;
    for (int value = 0; value < 3; ++value) {
        std::string command;
        for (std::size_t i = 0; i < values.size(); ++i) {
            if (values[i] == value) {
                if (command.empty()) {
                    command = blindDataCommand(value);
                    command.reserve(command.size() + (values.size() - i) * (name.size() + 10));
                }
                appendFaceItem(command, name, static_cast<int>(i));
            }
        }
        if (!command.empty()) {
            succeeded = MGlobal::executeCommand(MString(command)) && succeeded;
        }
    }
    return succeeded;
}

}  // namespace

MString uvSetNamePlug(unsigned k) { return MString(".uvSet[") + std::to_string(k) + "].uvSetName"; }

MStatus createMeshFromDFmesh(MStatus& status, const ZYL_DFmesh* mesh, MFnMesh& fn, const MStringArray& uvSetNames,
                             MObject* target) {
    if (!mesh) {
        return status = MS::kFailure;
    }
    return createMeshFromArrays(status, makeHostMeshArrays(*mesh, uvSetNames.length()), fn, uvSetNames, target);
}

MStatus createMeshFromArrays(MStatus& status, const HostMeshArrays& arrays, MFnMesh& fn,
                             const MStringArray& uvSetNames, MObject* target) {
    if (arrays.refused) {
        return status = MS::kFailure;
    }
    const int numVertices = arrays.numVertices();
    const int numPolygons = arrays.numPolygons();
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
    // The host's polygons are the counts and connects as given, so each corner's vertex
    // is its entry of the connects.
    if (arrays.normals.length() > 0) {
        fn.setFaceVertexNormals(arrays.normals, arrays.normalFaces, arrays.normalVertices, MSpace::kObject);
    }

    // The status reported is that of the last of the UV calls below that counts.
    MStatus last = MS::kSuccess;
    MString working;
    MDagPath path;
    if (fn.getPath(path)) {
        const MString current = fn.currentUVSetName();
        if (uvSetNames.length() > 0 && !(current == uvSetNames[0])) {
            last = fn.renameUVSet(current, uvSetNames[0]);
        }
        for (unsigned i = 1; arrays.extraSets && i < uvSetNames.length(); ++i) {
            fn.createUVSetWithName(uvSetNames[i]);
        }
        working = uvSetNames.length() > 0 ? uvSetNames[0] : current;
    } else {
        // Mesh data has no path: that is no failure of the mesh built.
        working = fn.currentUVSetName();
        for (unsigned i = 1; arrays.extraSets && i < uvSetNames.length(); ++i) {
            fn.createUVSetDataMeshWithName(uvSetNames[i]);
        }
    }
    if (arrays.hasUVs) {
        last = fn.clearUVs(&working);
        last = fn.setUVs(arrays.u, arrays.v, &working);
        fn.assignUVs(arrays.counts, arrays.uvIds, &working);
    }
    if (arrays.extraSets && uvSetNames.length() >= 2) {
        for (std::size_t s = 0; s < arrays.extraU.size(); ++s) {
            const MString& name = uvSetNames[static_cast<unsigned>(s + 1)];
            last = fn.setUVs(arrays.extraU[s], arrays.extraV[s], &name);
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
    std::vector<std::uint8_t> values(static_cast<std::size_t>(std::max(fn.numPolygons(), 0)));
    for (std::size_t i = 0; i < values.size(); ++i) {
        const std::uint16_t flags = i < mesh->numFaces ? mesh->faces[i].flags : 0;
        values[i] = (flags & FACE_CAP) ? cutFace::kCut : (flags & FACE_CUT) ? cutFace::kOlderCut : cutFace::kSurface;
    }
    declareCutFaces(values, fn.name().str());
}

MStatus createShardMeshes(MStatus& status, const ZYL_DFmesh* cell, bool cutMaterial, const MString& baseName,
                          const MString& cutShadingGroup, const MObjectArray& shadingGroups,
                          const MStringArray& uvSetNames, const MStringArray (&uvLinks)[8],
                          MObjectArray& createdObjects, MStringArray& createdNames) {
    if (!cell) {
        status = MS::kFailure;
        status.perror("Unable to create mesh");
        return MS::kFailure;
    }
    return createShardMeshes(status, makeHostMeshArrays(*cell, uvSetNames.length()), cutMaterial, baseName,
                             cutShadingGroup, shadingGroups, uvSetNames, uvLinks, createdObjects, createdNames);
}

MStatus createShardMeshes(MStatus& status, const HostMeshArrays& arrays, bool cutMaterial, const MString& baseName,
                          const MString& cutShadingGroup, const MObjectArray& shadingGroups,
                          const MStringArray& uvSetNames, const MStringArray (&uvLinks)[8],
                          MObjectArray& createdObjects, MStringArray& createdNames) {
    MFnMesh fn;
    MObject transform;
    createMeshFromArrays(status, arrays, fn, uvSetNames, &transform);
    // Declared under the name the host gave the new shape, before it is renamed.
    bool declared = false;
    if (status == MS::kSuccess) {
        declared = declareCutFaces(arrays.cutValues, fn.name().str());
    }
    if (status == MS::kFailure) {
        status.perror("Unable to create mesh");
        // A mesh whose UVs could not be set is no shard: it goes, so nothing is made.
        if (!transform.isNull()) MGlobal::deleteNode(transform);
        return MS::kFailure;
    }

    const MString meshName = fn.setName(baseName + "_shard" + std::to_string(arrays.shardId));
    createdNames.append(meshName);
    fn.updateSurface();
    run("undoInfo -swf off");

    // The values just declared, as the new mesh holds them once every declaration took.
    const std::vector<int> values =
        declared ? std::vector<int>(arrays.cutValues.begin(), arrays.cutValues.end()) : cutFaceValues(fn);
    const int polygons = static_cast<int>(values.size());
    const unsigned groups = shadingGroups.length();
    std::vector<std::string> groupNames(groups);
    for (unsigned g = 0; g < groups; ++g) {
        groupNames[g] = MFnDependencyNode(shadingGroups[g]).name().str();
    }
    // The group of polygon i by its engine face's material; an index naming no group
    // (a polygon that had none) takes the main group.
    const auto faceGroup = [&](int i) -> const std::string& {
        const unsigned material = static_cast<std::size_t>(i) < arrays.materials.size() ? arrays.materials[i] : 0;
        return groupNames[material < groups ? material : 0];
    };
    const std::string& mesh = meshName.str();
    const auto runFaceCommand = [&](const char* head, const std::string& group, int i) {
        std::string command = head;
        command += group;
        appendFaceItem(command, mesh, i);
        run(MString(command));
    };
    // Room for every face item of the mesh in a command.
    const std::size_t items = static_cast<std::size_t>(polygons) * (mesh.size() + 10);
    if (cutMaterial) {
        std::string cutCommand = "sets -e -fe " + cutShadingGroup.str();
        cutCommand.reserve(cutCommand.size() + items);
        if (groups > 1) {
            for (int i = 0; i < polygons; ++i) {
                if (values[static_cast<std::size_t>(i)] > 0) {
                    appendFaceItem(cutCommand, mesh, i);
                } else {
                    runFaceCommand("sets -e -fe ", faceGroup(i), i);
                }
            }
        } else {
            std::string mainCommand = "sets -e -fe " + (groups == 1 ? groupNames[0] : std::string("initialShadingGroup"));
            mainCommand.reserve(mainCommand.size() + items);
            for (int i = 0; i < polygons; ++i) {
                appendFaceItem(values[static_cast<std::size_t>(i)] > 0 ? cutCommand : mainCommand, mesh, i);
            }
            run(MString(mainCommand));
        }
        run(MString(cutCommand));
    } else if (groups == 0) {
        run(MString("sets -e -fe initialShadingGroup ") + meshName);
    } else if (groups == 1) {
        std::string command = "sets -e -fe " + groupNames[0];
        command.reserve(command.size() + items);
        for (int i = 0; i < polygons; ++i) {
            appendFaceItem(command, mesh, i);
        }
        run(MString(command));
    } else {
        for (int i = 0; i < polygons; ++i) {
            runFaceCommand("sets -e  -fe ", faceGroup(i), i);
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
