#include "src/meshArrays.h"

#include <algorithm>

namespace {

// An index into a table of `size` entries; anything outside it reads entry 0.
int inRange(std::uint32_t index, std::uint32_t size) { return index < size ? static_cast<int>(index) : 0; }

void fillUVs(const Qmt::QmtVector3* uvs, std::uint32_t count, MFloatArray& u, MFloatArray& v) {
    u.setLength(count);
    v.setLength(count);
    for (std::uint32_t i = 0; i < count; ++i) {
        u[i] = uvs ? static_cast<float>(uvs[i].x) : 0.0f;
        v[i] = uvs ? static_cast<float>(uvs[i].y) : 0.0f;
    }
}

}  // namespace

HostMeshArrays makeHostMeshArrays(const ZYL_DFmesh& mesh, unsigned uvSetNames) {
    HostMeshArrays out;
    out.shardId = mesh.shardId;
    out.refused = mesh.numVertices < 4 || (mesh.numVertices == 4 && mesh.numFaces > 4);
    if (out.refused) {
        return out;
    }
    out.points.setLength(mesh.numVertices);
    for (std::uint32_t i = 0; i < mesh.numVertices; ++i) {
        const Qmt::QmtVector3& p = mesh.worldVertices[i];
        out.points[i] = MFloatPoint(static_cast<float>(p.x), static_cast<float>(p.y), static_cast<float>(p.z));
    }
    std::uint32_t corners = 0;
    for (std::uint32_t f = 0; f < mesh.numFaces; ++f) {
        corners += mesh.faces[f].numVertices;
    }
    out.extraUVIds.resize(meshExtraUVSets(mesh));
    out.counts.setLength(mesh.numFaces);
    out.connects.setLength(corners);
    out.uvIds.setLength(corners);
    for (MIntArray& ids : out.extraUVIds) {
        ids.setLength(corners);
    }
    out.cutValues.resize(mesh.numFaces);
    out.materials.resize(mesh.numFaces);
    const bool cornerNormals = mesh.numCornerNormals != 0 && mesh.cornerNormals;
    std::uint32_t at = 0;
    for (std::uint32_t f = 0; f < mesh.numFaces; ++f) {
        const ZYL_DFface& face = mesh.faces[f];
        out.counts[f] = static_cast<int>(face.numVertices);
        // A face without arrays of its own for a set gives its corners UV 0 there.
        const std::uint32_t own = faceExtraUVSets(face);
        for (std::uint32_t k = 0; k < face.numVertices; ++k) {
            const int vertex = inRange(face.vertices[k], mesh.numVertices);
            out.connects[at + k] = vertex;
            out.uvIds[at + k] = face.uvs ? inRange(face.uvs[k], mesh.numUVs) : 0;
            for (std::uint32_t s = 0; s < out.extraUVIds.size(); ++s) {
                const std::uint32_t* ids = s < own ? face.uvSets[s] : nullptr;
                out.extraUVIds[s][at + k] = ids ? inRange(ids[k], mesh.numUVs) : 0;
            }
            if (cornerNormals && face.normals && face.normals[k] < mesh.numCornerNormals) {
                const Qmt::QmtVector3& n = mesh.cornerNormals[face.normals[k]];
                out.normalFaces.append(static_cast<int>(f));
                out.normalVertices.append(vertex);
                out.normals.append(MVector(n.x, n.y, n.z));
            }
        }
        at += face.numVertices;
        out.cutValues[f] = (face.flags & FACE_CAP) ? 1 : (face.flags & FACE_CUT) ? 2 : 0;
        out.materials[f] = face.material;
    }

    out.extraSets = (mesh.flags & MESH_UV_SETS) != 0;
    out.hasUVs = mesh.numUVs != 0;
    if (out.hasUVs) {
        fillUVs(mesh.uvs, mesh.numUVs, out.u, out.v);
    }
    if (out.extraSets && uvSetNames >= 2) {
        // Names past the eighth have no engine data.
        const auto sets = std::min<std::size_t>({uvSetNames - 1, 7, out.extraUVIds.size()});
        out.extraU.resize(sets);
        out.extraV.resize(sets);
        for (std::size_t s = 0; s < sets; ++s) {
            fillUVs(mesh.uvSets[s], mesh.numUVs, out.extraU[s], out.extraV[s]);
        }
    }
    return out;
}
