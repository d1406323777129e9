#include "engine/tools/meshTools.h"

#include <memory>
#include <new>

#include "geometry/mesh/bvDFmesh.h"
#include "geometry/mesh/bvMesh.h"
#include "geometry/query/capsuleProximity.h"

using Qmt::QmtVector3;

namespace {

// The temporary volume of one call; null when it cannot be made.
template <class Volume>
std::unique_ptr<Volume> temporaryVolume() {
    return std::unique_ptr<Volume>(new (std::nothrow) Volume);
}

void setFaceFlag(ZYL_DFmesh& mesh, std::uint16_t flag, bool on) {
    for (std::uint32_t f = 0; f < mesh.numFaces; ++f) {
        if (on) {
            mesh.faces[f].flags |= flag;
        } else {
            mesh.faces[f].flags &= static_cast<std::uint16_t>(~flag);
        }
    }
}

}  // namespace

bool dfmeshHasSeveralPieces(ZYL_DFmesh* mesh) {
    const auto volume = temporaryVolume<BVDFmesh>();
    return volume && volume->init(mesh, BVDF_PIECES) && mesh->numPieces > 1;
}

bool tessellateDFmesh(ZYL_DFmesh* mesh, std::uint16_t level, bool onlyFlagged) {
    const auto volume = temporaryVolume<BVDFmesh>();
    if (!volume || !volume->init(mesh, BVDF_EDGES)) {
        return false;
    }
    if (!onlyFlagged) {
        setFaceFlag(*mesh, FACE_CAP, true);
    }
    volume->tessellateFaces(level);  // a refused level leaves the mesh as it was
    if (!onlyFlagged) {
        setFaceFlag(*mesh, FACE_CAP, false);
    }
    return true;
}

int splitDFmeshPieces(ZYL_DFmesh* mesh, ZYL_DFmesh*** out) {
    const auto volume = temporaryVolume<BVDFmesh>();
    if (!volume || !volume->init(mesh, BVDF_PIECES)) {
        return -1;
    }
    const std::uint32_t found = mesh->numPieces;
    if (found <= 1) {
        return static_cast<int>(found);
    }
    ZYL_DFmesh** pieces = volume->findPieces();
    if (!pieces) {
        return -1;  // a count above 1 with no array would send the caller into nothing
    }
    std::uint32_t count = found;
    volume->mergeOverlappingPieces(pieces, &count);
    if (count <= 1 || !out) {
        // Callers read a count of 1 as "the mesh is one piece" and take nothing over,
        // so what was made is freed here.
        for (std::uint32_t i = 0; i < found; ++i) {
            delete pieces[i];
        }
        delete[] pieces;
        return static_cast<int>(count);
    }
    *out = pieces;
    return static_cast<int>(count);
}

double pointSegmentDistanceSq(const QmtVector3& p, const QmtVector3& a, const QmtVector3& b, QmtVector3& out) {
    const QmtVector3 ab = b - a;
    const double lengthSq = ab.SquaredLength();
    // A segment of zero length has no direction to project on: its point is a.
    const double t = lengthSq > 0.0 ? (p - a).Dot(ab) / lengthSq : 0.0;
    QmtVector3 closest;
    if (t < 0.0) {
        closest = a;
    } else if (t > 1.0) {
        closest = b;
    } else {
        closest = a + ab * t;
    }
    out = closest - p;
    return out.SquaredLength();
}

int compareSquaredLength(const void* a, const void* b) {
    const double la = static_cast<const QmtVector3*>(a)->SquaredLength();
    const double lb = static_cast<const QmtVector3*>(b)->SquaredLength();
    if (la > lb) {
        return 1;
    }
    return lb > la ? -1 : 0;
}

bool meshHasSeveralIslands(ZYLmesh* mesh) {
    const auto volume = temporaryVolume<BVmesh>();
    return volume && volume->init(mesh, BVMESH_ISLANDS) && mesh->numMeshGroups > 1;
}

bool rayHitsFrontFace(const ZYL_DFmesh* mesh, const QmtVector3& origin, const QmtVector3& direction,
                      QmtVector3& point, QmtVector3& normal) {
    if (!mesh || !mesh->faces || !mesh->worldVertices || !mesh->worldNormals) {
        return false;
    }
    for (std::uint32_t f = 0; f < mesh->numFaces; ++f) {
        const ZYL_DFface& face = mesh->faces[f];
        const QmtVector3& n = mesh->worldNormals[f];
        if (direction.Dot(n) > 1e-5 || face.numVertices < 3 || !face.vertices) {
            continue;
        }
        const auto corner = [&](std::uint32_t k) { return face.vertices[k]; };
        if (corner(0) >= mesh->numVertices) {
            continue;
        }
        for (std::uint32_t k = 1; k + 1 < face.numVertices; ++k) {
            if (corner(k) >= mesh->numVertices || corner(k + 1) >= mesh->numVertices) {
                continue;
            }
            const QmtVector3 triangle[3] = {mesh->worldVertices[corner(0)], mesh->worldVertices[corner(k)],
                                            mesh->worldVertices[corner(k + 1)]};
            QmtVector3 hit;
            if (intersectLineTriangle(origin, direction, triangle, hit)) {
                point = hit;
                normal = n;
                return true;
            }
        }
    }
    return false;
}

float engineVersion() { return 3.89f; }
