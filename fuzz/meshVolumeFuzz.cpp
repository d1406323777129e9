// Arbitrary face lists (any corner count from 0 to 40, out-of-range indices, short UV
// tables) handed to the validating entry points: BVmesh::init and BVDFmesh::init with
// the option bits from the input, and BVDFmesh::checkIndices. They refuse or accept;
// what they accept goes on through connectivity, islands, pieces, the piece merge,
// tessellation and subdivision. Tessellation and subdivision read every UV index and
// ask for a mesh whose indices are all valid, so they run only on meshes that
// checkIndices accepts.
//
// Input: a flag byte (bit 0 UVs, bits 1-3 extra UV sets, bit 4 raw face normals, bit 5
// short UV table), the option byte of the two inits, a byte of tessellation level and
// face selection, a byte the UV table is shortened by, then the mesh (FuzzMesh,
// corners 0..40, raw indices).
#include <cstdint>
#include <memory>

#include "fuzz/fuzzCheck.h"
#include "fuzz/fuzzInput.h"
#include "fuzz/fuzzMesh.h"
#include "geometry/mesh/bvDFmesh.h"
#include "geometry/mesh/bvMesh.h"
#include "geometry/mesh/dmeshSubdivision.h"

namespace {

template <class Mesh>
void deletePieces(Mesh** pieces, std::uint32_t count) {
    if (!pieces) return;
    for (std::uint32_t i = 0; i < count; ++i) delete pieces[i];
    delete[] pieces;
}

void compact(const FuzzMesh& source, std::uint32_t options) {
    const std::unique_ptr<ZYLmesh> mesh = source.mesh();
    BVmesh volume;
    if (!volume.init(mesh.get(), options)) {
        fuzzRequire(volume.getMesh() == nullptr, "a refused mesh is not held");
        return;
    }
    volume.buildConnectivity(BVMESH_EDGES | BVMESH_VERTICES);
    volume.hasOpenEdge();
    volume.labelIslands();
    fuzzRequire(mesh->numFaces == 0 || mesh->numMeshGroups >= 1, "faces make an island");
    volume.computeVolume();
    deletePieces(volume.splitByIslands(), mesh->numMeshGroups);
}

// Subdivision of the valid mesh (a fresh copy: what tessellation made is not
// multiplied again), a second level only for small meshes. The editable form points
// at the mesh's faces; the faces subdivision makes are the caller's.
void subdivide(const FuzzMesh& source, bool twoLevels) {
    const std::unique_ptr<ZYL_DFmesh> mesh = source.dfMesh();
    ZYL_DMesh editable(mesh.get());
    editable.rotation = Qmt::QmtMatrix3::IDENTITY;
    editable.scale = {1.0, 1.0, 1.0};
    std::uint64_t corners = 0;
    for (const auto& face : source.faces) corners += face.size();
    const std::uint32_t made = subdivideDMeshFaces(&editable, twoLevels && corners <= 4096 ? 2 : 1);
    std::uint32_t listed = 0;
    for (auto* node = editable.faces.head->next; node; node = node->next, ++listed) {
        for (std::uint32_t k = 0; k < node->value->numVertices; ++k) {
            fuzzRequire(node->value->vertices[k] < editable.vertices.count, "subdivided index in range");
        }
        delete node->value;
    }
    fuzzRequire(made == 0 || made == listed, "subdivision counts its faces");
}

void detailed(const FuzzMesh& source, std::uint32_t options, std::uint8_t tessellation) {
    const std::unique_ptr<ZYL_DFmesh> mesh = source.dfMesh();
    for (std::uint32_t f = 0; f < mesh->numFaces; ++f) {
        if (tessellation >> (f % 5 + 3) & 1) mesh->faces[f].flags |= FACE_CAP;
    }
    BVDFmesh volume;
    if (!volume.init(mesh.get(), options)) {
        fuzzRequire(volume.getMesh() == nullptr, "a refused mesh is not held");
        return;
    }
    volume.buildElementAdjacency(BVDF_EDGES | BVDF_VERTICES);
    volume.hasOpenEdge();
    volume.labelPieces();
    std::uint32_t count = mesh->numPieces;
    ZYL_DFmesh** pieces = volume.findPieces();
    if (pieces) volume.mergeOverlappingPieces(pieces, &count);
    deletePieces(pieces, mesh->numPieces);

    if (!volume.checkIndices()) return;
    const auto level = static_cast<std::uint16_t>(tessellation & 3);
    if (tessellation & 4) {
        volume.tessellateFacesKeepEdges(level);
    } else {
        volume.tessellateFaces(level);
    }
    fuzzRequire(volume.checkIndices(), "tessellation keeps the indices valid");

    subdivide(source, tessellation >> 7);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput in(data, size);
    const std::uint8_t flags = in.u8();
    const std::uint32_t options = in.u8();
    const std::uint8_t tessellation = in.u8();
    const std::uint8_t shortBy = in.u8();
    FuzzMesh source(in, 0, false, (flags & 16) != 0);
    source.uvs = (flags & 1) != 0;
    source.uvSets = 1 + (flags >> 1 & 7);
    if (flags & 32) source.uvLimit = shortBy < source.points.size() ? source.points.size() - shortBy : 0;

    compact(source, options);
    detailed(source, options, tessellation);
    return 0;
}
