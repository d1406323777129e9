#include "geometry/mesh/meshSurgery.h"

#include <algorithm>
#include <climits>
#include <memory>
#include <new>
#include <vector>

#include "geometry/clip/clipper.h"
#include "geometry/hull/convexHull.h"
#include "geometry/query/convexMeshQueries.h"
#include "geometry/mesh/faceEdits.h"

using Qmt::QmtMatrix3;
using Qmt::QmtVector3;

namespace {

// A long face of a finished cut is fanned from corner 0 with this first limit.
constexpr std::uint32_t kLongFaceFanLimit = 16;

std::uint32_t cornersOf(const ZYLface& face) {
    return std::min(face.numVertices, ZYLFACE_MAX_CORNERS);
}

std::uint32_t facesOf(const ZYLmesh& mesh) {
    return mesh.faces ? mesh.numFaces : 0;
}

// n zeroed records in `slot` (null for n = 0); false when memory runs out.
template <class T>
bool allocateArray(T*& slot, std::uint32_t n) {
    if (n == 0) {
        slot = nullptr;
        return true;
    }
    slot = new (std::nothrow) T[n]();
    return slot != nullptr;
}

template <class T>
void copyRun(const T* from, std::uint32_t n, T* to) {
    if (from && n > 0) {
        std::copy(from, from + n, to);
    }
}

// index + offset when the sum lies below `limit`, else 0 (no wrap-around of the sum).
std::uint32_t shiftIndex(std::uint32_t index, std::uint32_t offset, std::uint32_t limit) {
    const std::uint64_t shifted = std::uint64_t{index} + offset;
    return shifted < limit ? static_cast<std::uint32_t>(shifted) : 0;
}

void copyPlacement(const ZYLmesh& from, ZYLmesh& to) {
    to.scale = from.scale;
    to.translation = from.translation;
    to.rotation = from.rotation;
}

// All world vertices of `inner` lie strictly inside `outer`.
bool liesInside(const ZYLmesh* inner, const ZYLmesh* outer) {
    if (!inner || !outer || (inner->numVertices > 0 && !inner->worldVertices)) {
        return false;
    }
    const int n = static_cast<int>(std::min<std::uint32_t>(inner->numVertices, INT_MAX));
    return pointsInsideConvexMesh(outer, inner->worldVertices, n);
}

// Sorted distinct indices below `limit` that the island's faces use through `indicesOf`,
// written to `used`; remap[index] := its position there.
template <class IndicesOf>
void collectIslandIndices(const ZYLmesh& mesh, const std::uint32_t* islandFaces, std::uint32_t faceCount,
                          std::uint32_t limit, IndicesOf indicesOf, std::vector<std::uint32_t>& used,
                          std::vector<std::uint32_t>& remap) {
    used.clear();
    for (std::uint32_t q = 0; q < faceCount; ++q) {
        const ZYLface& face = mesh.faces[islandFaces[q]];
        const std::uint32_t* indices = indicesOf(face);
        for (std::uint32_t k = 0; k < cornersOf(face); ++k) {
            if (indices[k] < limit) {
                used.push_back(indices[k]);
            }
        }
    }
    std::sort(used.begin(), used.end());
    used.erase(std::unique(used.begin(), used.end()), used.end());
    for (std::uint32_t i = 0; i < used.size(); ++i) {
        remap[used[i]] = i;
    }
}

// The island made of the listed faces (index order) as a new mesh holding only the
// vertices and UV entries those faces use. The remap tables are scratch of the source's
// vertex and UV counts. Null when memory runs out.
std::unique_ptr<ZYLmesh> extractIsland(const ZYLmesh& source, const std::uint32_t* islandFaces,
                                       std::uint32_t faceCount, std::vector<std::uint32_t>& used,
                                       std::vector<std::uint32_t>& vertexRemap,
                                       std::vector<std::uint32_t>& uvRemap) {
    std::unique_ptr<ZYLmesh> piece(new (std::nothrow) ZYLmesh());
    if (!piece) {
        return nullptr;
    }
    const std::uint32_t V = source.numVertices;
    const std::uint32_t U = source.numUVs;

    collectIslandIndices(source, islandFaces, faceCount, V, [](const ZYLface& f) { return f.vertices; },
                         used, vertexRemap);
    const auto vertexCount = static_cast<std::uint32_t>(used.size());
    if (!allocateArray(piece->vertices, vertexCount) || !allocateArray(piece->worldVertices, vertexCount)) {
        return nullptr;
    }
    piece->numVertices = vertexCount;
    for (std::uint32_t i = 0; i < vertexCount; ++i) {
        if (source.vertices) {
            piece->vertices[i] = source.vertices[used[i]];
        }
        if (source.worldVertices) {
            piece->worldVertices[i] = source.worldVertices[used[i]];
        }
    }

    collectIslandIndices(source, islandFaces, faceCount, U, [](const ZYLface& f) { return f.uvs; }, used,
                         uvRemap);
    const auto uvCount = static_cast<std::uint32_t>(used.size());
    if (!allocateArray(piece->uvs, uvCount)) {
        return nullptr;
    }
    piece->numUVs = uvCount;
    for (std::uint32_t i = 0; i < uvCount && source.uvs; ++i) {
        piece->uvs[i] = source.uvs[used[i]];
    }

    if (!allocateArray(piece->faces, faceCount) || !allocateArray(piece->normals, faceCount) ||
        !allocateArray(piece->worldNormals, faceCount)) {
        return nullptr;
    }
    piece->numFaces = faceCount;
    for (std::uint32_t q = 0; q < faceCount; ++q) {
        const std::uint32_t f = islandFaces[q];
        ZYLface& face = piece->faces[q];
        copyMeshFace(source.faces[f], face);
        for (std::uint32_t k = 0; k < cornersOf(face); ++k) {
            face.vertices[k] = face.vertices[k] < V ? vertexRemap[face.vertices[k]] : 0;
            face.uvs[k] = face.uvs[k] < U ? uvRemap[face.uvs[k]] : 0;
        }
        if (source.normals) {
            piece->normals[q] = source.normals[f];
        }
        if (source.worldNormals) {
            piece->worldNormals[q] = source.worldNormals[f];
        }
    }
    copyPlacement(source, *piece);
    return piece;
}

// Undoes the clipper's scale, fans faces too long for a ZYLface and rebuilds the face
// normals of a cut mesh. The mesh keeps its faces when memory runs out.
void completeCut(ZYLmesh& mesh, double s) {
    for (std::uint32_t i = 0; i < mesh.numVertices; ++i) {
        if (mesh.worldVertices) {
            mesh.worldVertices[i] = mesh.worldVertices[i] / s;
        }
        if (mesh.vertices) {
            mesh.vertices[i] = mesh.vertices[i] / s;
        }
    }
    mesh.worldCentre = mesh.worldCentre / s;

    // A face within the record's limit stays one face; a longer one may fan out into
    // as many pieces as it has corners.
    const std::uint32_t F = facesOf(mesh);
    std::uint64_t budget = 0;
    for (std::uint32_t f = 0; f < F; ++f) {
        const std::uint32_t n = mesh.faces[f].numVertices;
        budget += n > ZYLFACE_MAX_CORNERS ? n : 1;
    }
    if (budget > UINT32_MAX) {
        return;
    }
    const auto capacity = static_cast<std::uint32_t>(budget);
    std::unique_ptr<ZYLface[]> faces(new (std::nothrow) ZYLface[std::max(capacity, 1u)]);
    std::unique_ptr<QmtVector3[]> worldNormals(new (std::nothrow) QmtVector3[std::max(capacity, 1u)]());
    std::unique_ptr<QmtVector3[]> localNormals(new (std::nothrow) QmtVector3[std::max(capacity, 1u)]());
    if (!faces || !worldNormals || !localNormals) {
        return;
    }

    int count = 0;
    for (std::uint32_t f = 0; f < F; ++f) {
        const ZYLface& face = mesh.faces[f];
        const QmtVector3 normal = mesh.worldNormals ? mesh.worldNormals[f] : QmtVector3::ZERO;
        if (face.numVertices > ZYLFACE_MAX_CORNERS) {
            // The record holds only its first 32 corners: those are what can be fanned.
            const int first = count;
            splitPolygonFanPtrs(face.vertices[0], face.vertices + 1, face.uvs[0], face.uvs + 1,
                                static_cast<int>(ZYLFACE_MAX_CORNERS - 1), faces.get(), &count,
                                kLongFaceFanLimit);
            for (int q = first; q < count; ++q) {
                // The pieces stay what the face was: cap, island, extra.
                faces[q].flags = face.flags;
                faces[q].island = face.island;
                faces[q].extra = face.extra;
                worldNormals[q] = normal;
            }
        } else {
            copyMeshFace(face, faces[count]);
            worldNormals[count] = normal;
            ++count;
        }
    }
    for (int q = 0; q < count; ++q) {
        QmtVector3 n = worldNormals[q] * mesh.rotation;  // R^T * world normal
        n.Unitize(QmtMatrix3::EPSILON);
        localNormals[q] = n;
    }

    delete[] mesh.faces;
    delete[] mesh.worldNormals;
    delete[] mesh.normals;
    mesh.faces = faces.release();
    mesh.worldNormals = worldNormals.release();
    mesh.normals = localNormals.release();
    mesh.numFaces = static_cast<std::uint32_t>(count);
}

}  // namespace

void copyMeshFace(const ZYLface& source, ZYLface& destination) {
    destination.numEdges = source.numEdges;
    const std::uint32_t edges = std::min(source.numEdges, ZYLFACE_MAX_CORNERS);
    std::copy(source.edges, source.edges + edges, destination.edges);
    destination.numVertices = source.numVertices;
    const std::uint32_t corners = cornersOf(source);
    std::copy(source.vertices, source.vertices + corners, destination.vertices);
    std::copy(source.uvs, source.uvs + corners, destination.uvs);
    destination.flags = source.flags;
    destination.island = source.island;
    destination.extra = source.extra;
}

ZYLmesh* mergeMeshPieces(const BVmesh* /*volume*/, const ZYLmesh* a, const ZYLmesh* b) {
    if (!a || !b) {
        return nullptr;
    }
    const std::uint64_t vertexSum = std::uint64_t{a->numVertices} + b->numVertices;
    const std::uint64_t uvSum = std::uint64_t{a->numUVs} + b->numUVs;
    const std::uint64_t faceSum = std::uint64_t{facesOf(*a)} + facesOf(*b);
    if (vertexSum > UINT32_MAX || uvSum > UINT32_MAX || faceSum > UINT32_MAX) {
        return nullptr;
    }
    const auto V = static_cast<std::uint32_t>(vertexSum);
    const auto U = static_cast<std::uint32_t>(uvSum);
    const auto F = static_cast<std::uint32_t>(faceSum);

    std::unique_ptr<ZYLmesh> merged(new (std::nothrow) ZYLmesh());
    if (!merged || !allocateArray(merged->vertices, V) || !allocateArray(merged->worldVertices, V) ||
        !allocateArray(merged->uvs, U) || !allocateArray(merged->faces, F) ||
        !allocateArray(merged->normals, F) || !allocateArray(merged->worldNormals, F)) {
        return nullptr;
    }
    merged->numVertices = V;
    merged->numUVs = U;
    merged->numFaces = F;

    copyRun(a->vertices, a->numVertices, merged->vertices);
    copyRun(b->vertices, b->numVertices, merged->vertices + a->numVertices);
    copyRun(a->worldVertices, a->numVertices, merged->worldVertices);
    copyRun(b->worldVertices, b->numVertices, merged->worldVertices + a->numVertices);
    copyRun(a->uvs, a->numUVs, merged->uvs);
    copyRun(b->uvs, b->numUVs, merged->uvs + a->numUVs);

    const std::uint32_t facesA = facesOf(*a);
    for (std::uint32_t f = 0; f < facesA; ++f) {
        copyMeshFace(a->faces[f], merged->faces[f]);
    }
    copyRun(a->normals, facesA, merged->normals);
    copyRun(a->worldNormals, facesA, merged->worldNormals);

    const auto island = static_cast<std::uint16_t>(facesA > 0 ? a->faces[0].island & 0xFF : 0);
    const std::uint32_t facesB = facesOf(*b);
    for (std::uint32_t f = 0; f < facesB; ++f) {
        ZYLface& face = merged->faces[facesA + f];
        copyMeshFace(b->faces[f], face);
        face.island = island;
        for (std::uint32_t k = 0; k < cornersOf(face); ++k) {
            face.vertices[k] = shiftIndex(face.vertices[k], a->numVertices, V);
            face.uvs[k] = shiftIndex(face.uvs[k], a->numUVs, U);
        }
    }
    copyRun(b->normals, facesB, merged->normals + facesA);
    copyRun(b->worldNormals, facesB, merged->worldNormals + facesA);

    copyPlacement(*a, *merged);
    return merged.release();
}

void mergeNestedPieces(const BVmesh* volume, ZYLmesh** pieces, std::uint32_t& count) {
    if (!pieces) {
        return;
    }
    // First pair i < j in scan order where one piece lies inside the other.
    const auto findNested = [&](std::uint32_t& i, std::uint32_t& j) {
        for (i = 0; i < count; ++i) {
            for (j = i + 1; j < count; ++j) {
                if (liesInside(pieces[i], pieces[j]) || liesInside(pieces[j], pieces[i])) {
                    return true;
                }
            }
        }
        return false;
    };
    std::uint32_t i = 0;
    std::uint32_t j = 0;
    while (count > 0 && findNested(i, j)) {
        ZYLmesh* const merged = mergeMeshPieces(volume, pieces[i], pieces[j]);
        if (!merged) {
            return;
        }
        delete pieces[i];
        delete pieces[j];
        pieces[i] = merged;
        for (std::uint32_t slot = j; slot + 1 < count; ++slot) {
            ZYLmesh* const moved = pieces[slot + 1];
            pieces[slot] = moved;
            for (std::uint32_t f = 0; moved && f < facesOf(*moved); ++f) {
                moved->faces[f].island = static_cast<std::uint16_t>(slot);
            }
        }
        pieces[count - 1] = nullptr;
        --count;
    }
}

ZYLmesh** BVmesh::splitByIslands() {
    if (!mesh || mesh->numMeshGroups == 0) {
        return nullptr;
    }
    const ZYLmesh& source = *mesh;
    const std::uint32_t k = source.numMeshGroups;
    const std::uint32_t F = facesOf(source);
    try {
        // Faces grouped by island, index order kept: island i owns [start[i-1], start[i]).
        std::vector<std::uint32_t> start(std::size_t{k} + 1, 0);
        for (std::uint32_t f = 0; f < F; ++f) {
            const std::uint32_t island = source.faces[f].island;
            if (island >= 1 && island <= k) {
                ++start[island];
            }
        }
        for (std::uint32_t i = 1; i <= k; ++i) {
            start[i] += start[i - 1];
        }
        std::vector<std::uint32_t> order(start[k]);
        std::vector<std::uint32_t> cursor(start.begin(), start.end() - 1);
        for (std::uint32_t f = 0; f < F; ++f) {
            const std::uint32_t island = source.faces[f].island;
            if (island >= 1 && island <= k) {
                order[cursor[island - 1]++] = f;
            }
        }

        // Every island gets its own copy of each vertex and UV entry its faces use, so
        // pieces meeting at a vertex never share one.
        std::vector<std::uint32_t> used;
        std::vector<std::uint32_t> vertexRemap(source.numVertices);
        std::vector<std::uint32_t> uvRemap(source.numUVs);
        std::vector<std::unique_ptr<ZYLmesh>> pieces(k);
        for (std::uint32_t i = 0; i < k; ++i) {
            pieces[i] = extractIsland(source, order.data() + start[i], start[i + 1] - start[i], used,
                                      vertexRemap, uvRemap);
            if (!pieces[i]) {
                return nullptr;
            }
        }
        ZYLmesh** const result = new (std::nothrow) ZYLmesh*[k];
        if (!result) {
            return nullptr;
        }
        for (std::uint32_t i = 0; i < k; ++i) {
            result[i] = pieces[i].release();
        }
        return result;
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

void BVmesh::finishClip(std::int32_t result) {
    // Without a clipper nothing was cut here, so there is no scale to undo.
    if (result == 0 && mesh && clipper) {
        completeCut(*mesh, clipper->getScale());
    }
    destroy();
}

bool BVmesh::hasOpenEdge() const {
    return mesh && anyOpenEdge(edges, numEdges);
}

bool BVmesh::setConvexHull(const QmtVector3* points, std::uint32_t count) {
    // Built before the old mesh goes: the points may be that mesh's own vertices.
    ZYLmesh* const hull = points ? buildConvexHullMesh(points, count) : nullptr;
    if (!hull) {
        return false;
    }
    adoptMesh(hull);
    return true;
}

bool BVmesh::setConvexHull(const QmtVector3* points, std::uint32_t /*unused*/, std::uint32_t count) {
    return setConvexHull(points, count);
}
