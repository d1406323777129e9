// Plane cuts of the flat interface: clipDFmeshByPlane and clipMeshByPlane.

#include <algorithm>
#include <memory>
#include <new>
#include <type_traits>
#include <utility>
#include <vector>

#include "engine/tools/meshTools.h"
#include "geometry/mesh/bvDFmesh.h"
#include "geometry/mesh/bvMesh.h"
#include "geometry/clip/clipper.h"
#include "geometry/query/convexMeshQueries.h"
#include "geometry/mesh/meshSurgery.h"

using Qmt::QmtVector3;

namespace {

// Cuts the volume's mesh with a clipper of its own and finishes the cut. The clipper
// works in its own scaled space, so the plane point goes there too. -1, the mesh
// untouched, when no clipper can be made.
template <class Volume>
std::int32_t cutWithVolume(Volume& volume, const QmtVector3& normal, const QmtVector3& point) {
    volume.initClipper();
    Clipper* const clipper = volume.getClipper();
    if (!clipper) {
        volume.finishClip(-1);
        return -1;
    }
    const QmtVector3 scaled = point * clipper->getScale();
    std::int32_t result;
    if constexpr (std::is_same_v<Volume, BVDFmesh>) {
        result = clipper->clipDF(volume.getMesh(), normal, scaled, CLIP_BUILD_CAPS);
    } else {
        result = clipper->clip(volume.getMesh(), normal, scaled, CLIP_BUILD_CAPS);
    }
    volume.finishClip(result);
    return result;
}

// Owns a piece array from findPieces / splitByIslands: `size` slots, some of which
// the merges of nested pieces may have nulled.
template <class Mesh>
class PieceArray {
public:
    PieceArray(Mesh** pieces, std::uint32_t size) : pieces_(pieces), size_(size) {}
    PieceArray(const PieceArray&) = delete;
    PieceArray& operator=(const PieceArray&) = delete;
    ~PieceArray() {
        if (pieces_) {
            for (std::uint32_t i = 0; i < size_; ++i) {
                delete pieces_[i];
            }
            delete[] pieces_;
        }
    }
    Mesh*& operator[](std::uint32_t i) { return pieces_[i]; }
    Mesh** data() { return pieces_; }

private:
    Mesh** pieces_;
    std::uint32_t size_;
};

// Counts of the entries a piece brings into the rebuilt mesh.
struct PieceCounts {
    std::uint32_t vertices = 0;
    std::uint32_t cornerNormals = 0;
    std::uint32_t uvs = 0;
    std::uint32_t faces = 0;
};

void copyInto(const QmtVector3* from, std::uint32_t n, QmtVector3* to) {
    if (from && to) {
        std::copy(from, from + n, to);
    }
}

// Replaces the mesh's vertices, attributes and faces by those of the kept pieces, in
// piece order, with every face index moved past the entries of the pieces before it.
// Everything is built aside first: when memory runs out the mesh is left as it was
// and false returned.
bool rebuildFromPieces(ZYL_DFmesh& mesh, ZYL_DFmesh* const* pieces, const std::vector<std::int32_t>& results) {
    const bool hasCornerNormals = mesh.cornerNormals || mesh.numCornerNormals > 0;
    const std::uint32_t sets = meshExtraUVSets(mesh);
    PieceCounts total;
    for (std::size_t i = 0; i < results.size(); ++i) {
        if (results[i] >= 0) {
            total.vertices += pieces[i]->numVertices;
            total.cornerNormals += hasCornerNormals ? pieces[i]->numCornerNormals : 0;
            total.uvs += pieces[i]->numUVs;
            total.faces += pieces[i]->numFaces;
        }
    }

    ZYL_DFmesh fresh;
    fresh.vertices = new QmtVector3[total.vertices];
    fresh.worldVertices = new QmtVector3[total.vertices];
    if (hasCornerNormals) {
        fresh.cornerNormals = new QmtVector3[total.cornerNormals];
    }
    fresh.uvs = total.uvs > 0 ? new QmtVector3[total.uvs] : nullptr;
    for (std::uint32_t s = 0; s < sets; ++s) {
        fresh.uvSets[s] = total.uvs > 0 ? new QmtVector3[total.uvs] : nullptr;
    }
    fresh.faces = new ZYL_DFface[total.faces];
    fresh.normals = new QmtVector3[total.faces];
    fresh.worldNormals = new QmtVector3[total.faces];

    PieceCounts before;
    for (std::size_t i = 0; i < results.size(); ++i) {
        if (results[i] < 0) {
            continue;
        }
        const ZYL_DFmesh& piece = *pieces[i];
        copyInto(piece.vertices, piece.numVertices, fresh.vertices + before.vertices);
        copyInto(piece.worldVertices, piece.numVertices, fresh.worldVertices + before.vertices);
        if (hasCornerNormals) {
            copyInto(piece.cornerNormals, piece.numCornerNormals, fresh.cornerNormals + before.cornerNormals);
        }
        if (fresh.uvs) {
            copyInto(piece.uvs, piece.numUVs, fresh.uvs + before.uvs);
            for (std::uint32_t s = 0; s < sets; ++s) {
                copyInto(piece.uvSets[s], piece.numUVs, fresh.uvSets[s] + before.uvs);
            }
        }
        copyInto(piece.normals, piece.numFaces, fresh.normals + before.faces);
        copyInto(piece.worldNormals, piece.numFaces, fresh.worldNormals + before.faces);
        for (std::uint32_t f = 0; f < piece.numFaces; ++f) {
            const ZYL_DFface& from = piece.faces[f];
            ZYL_DFface& to = fresh.faces[before.faces + f];
            copyDFmeshFace(from, to);
            if (to.capacity < std::max(from.numVertices, from.numEdges)) {
                return false;
            }
            to.alive = from.alive;
            const std::uint32_t faceSets = faceExtraUVSets(to);
            for (std::uint32_t k = 0; k < to.numVertices; ++k) {
                to.vertices[k] += before.vertices;
                to.normals[k] += before.cornerNormals;
                to.uvs[k] += before.uvs;
                for (std::uint32_t s = 0; s < faceSets; ++s) {
                    if (to.uvSets[s]) {
                        to.uvSets[s][k] += before.uvs;
                    }
                }
            }
        }
        before.vertices += piece.numVertices;
        before.cornerNormals += hasCornerNormals ? piece.numCornerNormals : 0;
        before.uvs += piece.numUVs;
        before.faces += piece.numFaces;
    }

    // Hand the new arrays over; `fresh` takes the old ones away with it. The
    // per-vertex data no longer matches the vertices and goes too.
    std::swap(mesh.vertices, fresh.vertices);
    std::swap(mesh.worldVertices, fresh.worldVertices);
    std::swap(mesh.normals, fresh.normals);
    std::swap(mesh.worldNormals, fresh.worldNormals);
    std::swap(mesh.uvs, fresh.uvs);
    std::swap(mesh.uvSets, fresh.uvSets);
    std::swap(mesh.cornerNormals, fresh.cornerNormals);
    std::swap(mesh.vertexData, fresh.vertexData);
    std::swap(mesh.faces, fresh.faces);
    mesh.numVertices = total.vertices;
    mesh.numUVs = total.uvs;
    mesh.numFaces = total.faces;
    if (hasCornerNormals) {
        mesh.numCornerNormals = total.cornerNormals;
    }
    mesh.centre = computeFaceCenter(mesh.vertices, mesh.numVertices);
    return true;
}

// Cuts every piece of a mesh of two or more pieces on its own and rebuilds the mesh
// from the pieces that keep something. -1, the mesh untouched, when the pieces cannot
// be made.
std::int32_t cutPieceByPiece(BVDFmesh& volume, ZYL_DFmesh& mesh, const QmtVector3& normal,
                             const QmtVector3& point) {
    const std::uint32_t found = mesh.numPieces;
    PieceArray<ZYL_DFmesh> pieces(volume.findPieces(), found);
    if (!pieces.data()) {
        return -1;
    }
    std::uint32_t count = found;
    volume.mergeOverlappingPieces(pieces.data(), &count);

    try {
        std::vector<std::int32_t> results(count, -1);
        std::int32_t overall = -1;
        for (std::uint32_t i = 0; i < count; ++i) {
            BVDFmesh pieceVolume;
            if (pieceVolume.init(pieces[i], 0)) {
                results[i] = cutWithVolume(pieceVolume, normal, point);
            }
            overall = std::max(overall, results[i]);
        }
        return rebuildFromPieces(mesh, pieces.data(), results) ? overall : -1;
    } catch (const std::bad_alloc&) {
        return -1;
    }
}

// Replaces the cut mesh's arrays by those of its islands joined back one after the
// other (nested islands joined first). Nothing changes when memory runs out.
void regroupIslands(BVmesh& volume, ZYLmesh& mesh) {
    if (!volume.init(&mesh, BVMESH_ISLANDS) || mesh.numMeshGroups == 0) {
        return;
    }
    const std::uint32_t found = mesh.numMeshGroups;
    PieceArray<ZYLmesh> pieces(volume.splitByIslands(), found);
    if (!pieces.data()) {
        return;
    }
    std::uint32_t count = found;
    mergeNestedPieces(&volume, pieces.data(), count);

    std::unique_ptr<ZYLmesh> joined(std::exchange(pieces[0], nullptr));
    for (std::uint32_t i = 1; i < count && joined; ++i) {
        joined.reset(mergeMeshPieces(&volume, joined.get(), pieces[i]));
    }
    if (!joined) {
        return;
    }
    std::swap(mesh.faces, joined->faces);
    std::swap(mesh.vertices, joined->vertices);
    std::swap(mesh.worldVertices, joined->worldVertices);
    std::swap(mesh.uvs, joined->uvs);
    std::swap(mesh.normals, joined->normals);
    std::swap(mesh.worldNormals, joined->worldNormals);
    std::swap(mesh.vertexVelocities, joined->vertexVelocities);
    mesh.velocityFlag = 0;
    mesh.numFaces = joined->numFaces;
    mesh.numVertices = joined->numVertices;
    mesh.numUVs = joined->numUVs;
    mesh.numMeshGroups = count;
}

}  // namespace

int clipDFmeshByPlane(ZYL_DFmesh* mesh, const QmtVector3& normal, const QmtVector3& point, bool pieceAware) {
    // A volume that cannot be made is a failed cut, not a cut made: -1 like a refusal.
    std::unique_ptr<BVDFmesh> volume(new (std::nothrow) BVDFmesh);
    if (!volume || !volume->init(mesh, pieceAware ? BVDF_PIECES : 0)) {
        return -1;
    }
    // Without pieceAware the piece count is the one the mesh was last labelled with.
    const std::int32_t result = mesh->numPieces < 2 ? cutWithVolume(*volume, normal, point)
                                                    : cutPieceByPiece(*volume, *mesh, normal, point);
    volume.reset();
    return mesh->numFaces > 0 ? result : -1;
}

int clipMeshByPlane(ZYLmesh* mesh, const QmtVector3& normal, const QmtVector3& point, bool islandAware) {
    // A plane that misses costs only the classification.
    const int side = classifyMeshAgainstPlane(mesh, normal, point);
    if (side != 0) {
        return side;
    }
    std::unique_ptr<BVmesh> volume(new (std::nothrow) BVmesh);
    if (!volume || !volume->init(mesh, 0)) {
        return -1;
    }
    const std::int32_t result = cutWithVolume(*volume, normal, point);
    if (result == 0 && islandAware) {
        regroupIslands(*volume, *mesh);
    }
    return result;
}
