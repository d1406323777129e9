// Meshes of either kind (faces of 3-40 corners, UVs and extra UV sets sometimes, valid
// indices) cut by any plane: the volume's init, a clipper, the cut with or without
// caps, the finish step, then the island split (compact mesh) or the piece search
// (detailed mesh). The result is -1, 0 or 1, and afterwards every index the mesh holds
// is in range, which for a detailed mesh BVDFmesh::checkIndices must agree with. The
// same cut also runs through the flat mesh tools (clipMeshByPlane / clipDFmeshByPlane).
//
// Input: a flag byte (bit 0 detailed mesh, bit 1 caps, bit 2 UVs, bits 3-5 extra UV
// sets, bit 6 raw face normals, bit 7 through the mesh tools), the mesh (FuzzMesh,
// corners 3..40, indices in range), then the plane's normal and world point.
#include <cstdint>
#include <memory>

#include "engine/tools/meshTools.h"
#include "fuzz/fuzzCheck.h"
#include "fuzz/fuzzInput.h"
#include "fuzz/fuzzMesh.h"
#include "geometry/mesh/bvDFmesh.h"
#include "geometry/mesh/bvMesh.h"
#include "geometry/clip/clipper.h"

namespace {

void checkCompact(const ZYLmesh& m) {
    fuzzRequire(m.numFaces == 0 || (m.faces && m.normals), "cut mesh keeps its face arrays");
    for (std::uint32_t f = 0; f < m.numFaces; ++f) {
        const ZYLface& face = m.faces[f];
        fuzzRequire(face.numVertices <= ZYLFACE_MAX_CORNERS, "compact face within 32 corners");
        for (std::uint32_t k = 0; k < face.numVertices; ++k) {
            fuzzRequire(face.vertices[k] < m.numVertices, "vertex index in range");
            fuzzRequire(m.numUVs == 0 || face.uvs[k] < m.numUVs, "UV index in range");
        }
    }
}

void checkDetailed(ZYL_DFmesh& m) {
    if (m.numFaces == 0) return;
    for (std::uint32_t f = 0; f < m.numFaces; ++f) {
        const ZYL_DFface& face = m.faces[f];
        for (std::uint32_t k = 0; k < face.numVertices; ++k) {
            fuzzRequire(face.vertices[k] < m.numVertices, "vertex index in range");
            fuzzRequire(!m.cornerNormals || !face.normals || face.normals[k] < m.numCornerNormals,
                        "corner normal index in range");
        }
    }
    BVDFmesh check;
    fuzzRequire(check.init(&m, BVDF_EDGES), "cut mesh accepted again");
    fuzzRequire(check.checkIndices(), "checkIndices agrees");
}

template <class Mesh>
void splitPieces(Mesh** pieces, std::uint32_t count) {
    if (!pieces) return;
    for (std::uint32_t i = 0; i < count; ++i) delete pieces[i];
    delete[] pieces;
}

void cutCompact(ZYLmesh& mesh, const Qmt::QmtVector3& n, const Qmt::QmtVector3& p, std::uint32_t flags) {
    {
        BVmesh volume;
        if (!volume.init(&mesh, 0)) return;
        volume.initClipper();
        std::int32_t result = -1;
        if (Clipper* clipper = volume.getClipper()) {
            result = clipper->clip(&mesh, n, p * clipper->getScale(), flags);
        }
        fuzzRequire(result >= -1 && result <= 1, "clip result is -1, 0 or 1");
        volume.finishClip(result);
    }
    checkCompact(mesh);
    BVmesh islands;
    if (islands.init(&mesh, BVMESH_ISLANDS)) {
        splitPieces(islands.splitByIslands(), mesh.numMeshGroups);
    }
}

void cutDetailed(ZYL_DFmesh& mesh, const Qmt::QmtVector3& n, const Qmt::QmtVector3& p, std::uint32_t flags) {
    {
        BVDFmesh volume;
        if (!volume.init(&mesh, 0)) return;
        volume.initClipper();
        std::int32_t result = -1;
        if (Clipper* clipper = volume.getClipper()) {
            result = clipper->clipDF(&mesh, n, p * clipper->getScale(), flags);
        }
        fuzzRequire(result >= -1 && result <= 1, "clip result is -1, 0 or 1");
        volume.finishClip(result);
    }
    checkDetailed(mesh);
    BVDFmesh pieces;
    if (pieces.init(&mesh, BVDF_PIECES)) {
        std::uint32_t count = mesh.numPieces;
        ZYL_DFmesh** found = pieces.findPieces();
        if (found) pieces.mergeOverlappingPieces(found, &count);
        splitPieces(found, count);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput in(data, size);
    const std::uint8_t flags = in.u8();
    FuzzMesh source(in, 3, true, (flags & 64) != 0);
    source.uvs = (flags & 4) != 0;
    source.uvSets = 1 + (flags >> 3 & 7);
    const Qmt::QmtVector3 normal = in.vector();
    const Qmt::QmtVector3 point = in.vector();
    const std::uint32_t clipFlags = (flags & 2) ? CLIP_BUILD_CAPS : 0;
    const bool tools = (flags & 128) != 0;

    if (flags & 1) {
        const std::unique_ptr<ZYL_DFmesh> mesh = source.dfMesh();
        if (tools) {
            const int result = clipDFmeshByPlane(mesh.get(), normal, point, true);
            fuzzRequire(result >= -1 && result <= 1, "clip result is -1, 0 or 1");
            checkDetailed(*mesh);
        } else {
            cutDetailed(*mesh, normal, point, clipFlags);
        }
    } else {
        const std::unique_ptr<ZYLmesh> mesh = source.mesh();
        if (tools) {
            const int result = clipMeshByPlane(mesh.get(), normal, point, true);
            fuzzRequire(result >= -1 && result <= 1, "clip result is -1, 0 or 1");
            checkCompact(*mesh);
        } else {
            cutCompact(*mesh, normal, point, clipFlags);
        }
    }
    return 0;
}
