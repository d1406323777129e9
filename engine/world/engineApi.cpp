#include "engine/world/engineApi.h"

#include <algorithm>
#include <iterator>
#include <memory>
#include <new>

#include "geometry/convexHull.h"
#include "geometry/massProperties.h"
#include "geometry/reducedHull.h"
#include "math/qmtVector3.h"

using Qmt::QmtVector3;

// ---- Meshes and convexity tests ----------------------------------------------------

namespace {

// n zeroed vectors; null for n = 0 (and on failure: callers tell the two apart by n).
QmtVector3* zeroedVectors(std::uint32_t n) {
    return n > 0 ? new (std::nothrow) QmtVector3[n] : nullptr;
}

// Deep copies of a mesh's vector arrays, remembering whether one that exists could
// not be copied.
class ArrayCopier {
public:
    // A copy of from[0..n); null for a null source or n = 0.
    QmtVector3* operator()(const QmtVector3* from, std::uint32_t n) {
        if (!from || n == 0) {
            return nullptr;
        }
        QmtVector3* to = zeroedVectors(n);
        if (to) {
            std::copy(from, from + n, to);
        }
        failed_ = failed_ || !to;
        return to;
    }
    bool failed() const { return failed_; }

private:
    bool failed_ = false;
};

ZYLmesh* buildMesh(std::uint32_t vertexCount, std::uint32_t uvCount, std::uint32_t faceCount) {
    if (vertexCount == 0 || faceCount == 0) {
        return nullptr;
    }
    std::unique_ptr<ZYLmesh> mesh(new (std::nothrow) ZYLmesh);
    if (!mesh) {
        return nullptr;
    }
    mesh->numVertices = vertexCount;
    mesh->vertices = zeroedVectors(vertexCount);
    mesh->worldVertices = zeroedVectors(vertexCount);
    mesh->vertexVelocities = zeroedVectors(vertexCount);
    mesh->velocityFlag = 0;
    mesh->numUVs = uvCount;
    mesh->uvs = zeroedVectors(uvCount);
    mesh->numFaces = faceCount;
    mesh->faces = new (std::nothrow) ZYLface[faceCount];
    mesh->normals = zeroedVectors(faceCount);
    mesh->worldNormals = zeroedVectors(faceCount);
    if (!mesh->vertices || !mesh->worldVertices || !mesh->vertexVelocities || (uvCount > 0 && !mesh->uvs) ||
        !mesh->faces || !mesh->normals || !mesh->worldNormals) {
        return nullptr;
    }
    for (std::uint32_t f = 0; f < faceCount; ++f) {
        mesh->faces[f].marker = 1;
    }
    return mesh.release();
}

// Hull of the mesh's local vertices as the convexity tests take it.
template <class Mesh, class Reduced>
bool nearlyConvex(const Mesh* mesh, Reduced reducedHull) {
    if (!mesh || !mesh->vertices || mesh->numVertices == 0) {
        return false;
    }
    const double V = computeMeshVolume(mesh);
    if (V == 0.0) {
        return false;  // the answer is no whatever the hull
    }
    const std::unique_ptr<ZYLmesh> hull(mesh->numVertices < 512
                                            ? buildConvexHullMesh(mesh->vertices, mesh->numVertices)
                                            : reducedHull(mesh, 512));
    if (!hull || hull->numVertices == 0) {
        return false;
    }
    const double H = computeMeshVolume(hull.get());
    return 0.9 * V <= H && V / H >= 0.8;
}

}  // namespace

ZYLmesh* createMesh(std::uint32_t vertexCount, std::uint32_t faceCount) {
    return buildMesh(vertexCount, 0, faceCount);
}

ZYLmesh* createMeshWithUVs(std::uint32_t vertexCount, std::uint32_t uvCount, std::uint32_t faceCount) {
    return buildMesh(vertexCount, uvCount, faceCount);
}

ZYLmesh* copyMesh(const ZYLmesh* mesh) {
    if (!mesh || mesh->numVertices == 0 || mesh->numFaces == 0 || !mesh->faces) {
        return nullptr;
    }
    std::unique_ptr<ZYLmesh> copy(new (std::nothrow) ZYLmesh);
    if (!copy) {
        return nullptr;
    }
    // Member by member first (counts, placement, words), then every array made anew;
    // the pointers the member copy shares are nulled before anything can fail.
    *copy = *mesh;
    copy->faces = nullptr;
    copy->vertices = copy->worldVertices = copy->uvs = nullptr;
    copy->normals = copy->worldNormals = copy->vertexVelocities = nullptr;

    copy->faces = new (std::nothrow) ZYLface[mesh->numFaces];
    if (!copy->faces) {
        return nullptr;
    }
    std::copy(mesh->faces, mesh->faces + mesh->numFaces, copy->faces);
    ArrayCopier arrays;
    copy->vertices = arrays(mesh->vertices, mesh->numVertices);
    copy->worldVertices = arrays(mesh->worldVertices, mesh->numVertices);
    copy->vertexVelocities = arrays(mesh->vertexVelocities, mesh->numVertices);
    copy->uvs = arrays(mesh->uvs, mesh->numUVs);
    copy->normals = arrays(mesh->normals, mesh->numFaces);
    copy->worldNormals = arrays(mesh->worldNormals, mesh->numFaces);
    return arrays.failed() ? nullptr : copy.release();
}

ZYL_DFmesh* createDFmesh(std::uint32_t vertexCount, std::uint32_t uvCount, std::uint32_t faceCount,
                         std::uint32_t uvSetCount) {
    if (vertexCount == 0 || faceCount == 0) {
        return nullptr;
    }
    std::unique_ptr<ZYL_DFmesh> mesh(new (std::nothrow) ZYL_DFmesh);
    if (!mesh) {
        return nullptr;
    }
    mesh->numVertices = vertexCount;
    mesh->vertices = zeroedVectors(vertexCount);
    mesh->worldVertices = zeroedVectors(vertexCount);
    mesh->numUVs = uvCount;
    mesh->uvs = zeroedVectors(uvCount);
    bool ok = mesh->vertices && mesh->worldVertices && (uvCount == 0 || mesh->uvs);
    // The record has eight extra-set slots: more than nine sets in all cannot be kept.
    const std::uint32_t sets = std::min(uvSetCount, MAX_UV_SETS);
    mesh->numUVSets = sets;
    if (sets > 1) {
        mesh->flags |= MESH_UV_SETS;
        for (std::uint32_t s = 0; s + 1 < sets; ++s) {
            mesh->uvSets[s] = zeroedVectors(uvCount);
            ok = ok && (uvCount == 0 || mesh->uvSets[s]);
        }
    }
    mesh->numFaces = faceCount;
    mesh->faces = new (std::nothrow) ZYL_DFface[faceCount];
    mesh->normals = zeroedVectors(faceCount);
    mesh->worldNormals = zeroedVectors(faceCount);
    if (!ok || !mesh->faces || !mesh->normals || !mesh->worldNormals) {
        return nullptr;
    }
    return mesh.release();
}

ZYL_DFmesh* copyDFmesh(const ZYL_DFmesh* mesh) {
    if (!mesh || mesh->numVertices == 0 || mesh->numFaces == 0 || !mesh->faces) {
        return nullptr;
    }
    std::unique_ptr<ZYL_DFmesh> copy(new (std::nothrow) ZYL_DFmesh);
    if (!copy) {
        return nullptr;
    }
    *copy = *mesh;
    copy->faces = nullptr;
    copy->vertices = copy->worldVertices = copy->normals = copy->worldNormals = nullptr;
    copy->uvs = copy->cornerNormals = copy->vertexData = nullptr;
    std::fill(std::begin(copy->uvSets), std::end(copy->uvSets), nullptr);

    ArrayCopier arrays;
    copy->vertices = arrays(mesh->vertices, mesh->numVertices);
    copy->worldVertices = arrays(mesh->worldVertices, mesh->numVertices);
    copy->normals = arrays(mesh->normals, mesh->numFaces);
    copy->worldNormals = arrays(mesh->worldNormals, mesh->numFaces);
    copy->cornerNormals = arrays(mesh->cornerNormals, mesh->numCornerNormals);
    copy->uvs = arrays(mesh->uvs, mesh->numUVs);
    const std::uint32_t sets = meshExtraUVSets(*mesh);
    for (std::uint32_t s = 0; s < sets; ++s) {
        copy->uvSets[s] = arrays(mesh->uvSets[s], mesh->numUVs);
    }
    if (arrays.failed()) {
        return nullptr;
    }

    copy->faces = new (std::nothrow) ZYL_DFface[mesh->numFaces];
    if (!copy->faces) {
        return nullptr;
    }
    for (std::uint32_t f = 0; f < mesh->numFaces; ++f) {
        const ZYL_DFface& from = mesh->faces[f];
        ZYL_DFface& to = copy->faces[f];
        copyDFmeshFace(from, to);
        if (to.capacity < std::max(from.numVertices, from.numEdges)) {
            return nullptr;  // the face's arrays could not be made
        }
    }
    return copy.release();
}

bool allocDFmeshNormals(ZYL_DFmesh* mesh, std::uint32_t n) {
    if (!mesh) {
        return false;
    }
    QmtVector3* fresh = zeroedVectors(n);
    if (n > 0 && !fresh) {
        return false;
    }
    // The array replaced is the mesh's own: dropping it without freeing it would leak.
    delete[] mesh->cornerNormals;
    mesh->cornerNormals = fresh;
    return true;
}

void deleteMesh(ZYLmesh** mesh) {
    if (mesh) {
        delete *mesh;
        *mesh = nullptr;
    }
}

void deleteDFmesh(ZYL_DFmesh** mesh) {
    if (mesh) {
        delete *mesh;
        *mesh = nullptr;
    }
}

bool isNearlyConvex(const ZYL_DFmesh* mesh) {
    return nearlyConvex(mesh, buildReducedHullMeshDF);
}

bool isNearlyConvexMesh(const ZYLmesh* mesh) {
    return nearlyConvex(mesh, buildReducedHullMesh);
}
