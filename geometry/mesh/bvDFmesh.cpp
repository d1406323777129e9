#include "geometry/mesh/bvDFmesh.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

#include "geometry/bounds/boundingVolumes.h"
#include "geometry/clip/clipper.h"
#include "geometry/hull/convexHull.h"
#include "geometry/mesh/massProperties.h"
#include "math/qmtMatrix3.h"

using Qmt::QmtMatrix3;
using Qmt::QmtVector3;

namespace {

// Every face's corner indices fit its arrays and lie below the vertex count.
bool meshIndicesValid(const ZYL_DFmesh& mesh) {
    return cornerIndicesValid(mesh, [](const ZYL_DFface& face) {
        return face.numVertices <= face.capacity && (face.numVertices == 0 || face.vertices);
    });
}

// Every face can hold one edge index per corner.
bool reserveEdgeSlots(ZYL_DFmesh& mesh) {
    for (std::uint32_t f = 0; f < mesh.numFaces; ++f) {
        ZYL_DFface& face = mesh.faces[f];
        if (face.edgeCapacity < face.numVertices || (face.numVertices != 0 && !face.edges)) {
            face.resize(face.numVertices, face.numUVSets);
            if (face.edgeCapacity < face.numVertices || !face.edges) {
                return false;
            }
        }
    }
    return true;
}

// Fills one table record from its work edge: corner-normal, UV and extra UV-set
// indices of both sides. Fields the build does not fill are zero.
void writeEdgeRecord(const ZYL_DFmesh& mesh, const WorkEdge& w, connect_edge& record) {
    std::memset(&record, 0, sizeof record);
    record.v0 = w.v0;
    record.v1 = w.v1;
    const bool shared = w.shared();
    record.faceA = w.faceA;
    record.posA = w.posA;
    record.faceB = shared ? w.faceB : w.faceA;
    record.posB = shared ? w.posB : w.posA;

    const ZYL_DFface& a = mesh.faces[w.faceA];
    const CornerPair sideA = cornerPairOf(a, w.posA, w.v0);
    const ZYL_DFface* b = shared ? &mesh.faces[w.faceB] : nullptr;
    const CornerPair sideB = b ? cornerPairOf(*b, w.posB, w.v0) : CornerPair{0, 0, true};

    if (mesh.numCornerNormals > 0) {
        if (a.normals) {
            sideA.read(a.normals, record.normals[EDGE_SLOT_START_A], record.normals[EDGE_SLOT_END_A]);
        }
        if (b && b->normals) {
            sideB.read(b->normals, record.normals[EDGE_SLOT_START_B], record.normals[EDGE_SLOT_END_B]);
        }
    }
    if (mesh.numUVs > 0) {
        if (a.uvs) {
            sideA.read(a.uvs, record.uvs[EDGE_SLOT_START_A], record.uvs[EDGE_SLOT_END_A]);
        }
        if (b && b->uvs) {
            sideB.read(b->uvs, record.uvs[EDGE_SLOT_START_B], record.uvs[EDGE_SLOT_END_B]);
        }
    }
    const std::uint32_t sets = faceExtraUVSets(a);
    if (sets > 0) {
        record.flags = EDGE_UV_SETS;
        const std::uint32_t setsB = b ? faceExtraUVSets(*b) : 0;
        for (std::uint32_t s = 0; s < sets; ++s) {
            if (a.uvSets[s]) {
                sideA.read(a.uvSets[s], record.uvSetStart[s][0], record.uvSetEnd[s][0]);
            }
            if (s < setsB && b->uvSets[s]) {
                sideB.read(b->uvSets[s], record.uvSetStart[s][1], record.uvSetEnd[s][1]);
            }
        }
    }
    record.numUVSets = a.numUVSets;
}

// A kept face as copyDFmeshFace would leave it, without copying: its arrays move over
// and the fields a copy does not carry are reset. The arrays may be longer than the
// capacity that a copy would have, which is what the face states.
void takeFace(ZYL_DFface& from, ZYL_DFface& to) {
    if (!from.vertices || !from.normals || !from.uvs || !from.edges) {
        copyDFmeshFace(from, to);  // a copy makes the arrays the face lacks
        return;
    }
    moveDFmeshFace(from, to);
    to.capacity = to.edgeCapacity = std::max(to.numVertices, to.numEdges);
    to.spare = QmtVector3::ZERO;
    to.alive = 0;
}

// Drops the faces of fewer than 3 corners, keeping the order of the others and their
// world normals, in a new face array. On allocation failure the mesh keeps its faces.
void dropDegenerateFaces(ZYL_DFmesh& mesh) {
    std::uint32_t kept = 0;
    for (std::uint32_t f = 0; f < mesh.numFaces; ++f) {
        if (mesh.faces[f].numVertices >= 3) {
            ++kept;
        }
    }
    ZYL_DFface* const faces = new (std::nothrow) ZYL_DFface[kept];
    QmtVector3* const worldNormals = new (std::nothrow) QmtVector3[kept]();
    QmtVector3* const normals = new (std::nothrow) QmtVector3[kept]();
    if (!faces || !worldNormals || !normals) {
        delete[] faces;
        delete[] worldNormals;
        delete[] normals;
        return;
    }
    std::uint32_t next = 0;
    for (std::uint32_t f = 0; f < mesh.numFaces; ++f) {
        if (mesh.faces[f].numVertices >= 3) {
            takeFace(mesh.faces[f], faces[next]);
            if (mesh.worldNormals) {
                worldNormals[next] = mesh.worldNormals[f];
            }
            ++next;
        }
    }
    delete[] mesh.faces;
    delete[] mesh.worldNormals;
    delete[] mesh.normals;
    mesh.faces = faces;
    mesh.worldNormals = worldNormals;
    mesh.normals = normals;
    mesh.numFaces = kept;
}

}  // namespace

BVDFmesh::~BVDFmesh() {
    clear();
    releaseHeldRecord(mesh, state);
}

void BVDFmesh::clear() {
    releaseEdges(tables());
    releaseVertexRecords(tables());
    delete clipper;
    clipper = nullptr;
}

bool BVDFmesh::init(ZYL_DFmesh* newMesh, std::uint32_t initFlags) {
    // A mesh the volume owns is let go of, unless it is the one given again.
    const bool stillOwned = newMesh && newMesh == mesh && state == 1;
    if (mesh && state == 1 && !stillOwned) {
        delete mesh;
    }
    mesh = nullptr;
    if (!newMesh || !meshIndicesValid(*newMesh)) {
        if (stillOwned) {
            delete newMesh;
        }
        state = -1;
        return false;
    }
    mesh = newMesh;
    state = stillOwned ? 1 : 0;
    // Vertex records sized for an earlier mesh go before the count names the new one.
    releaseVertexRecords(tables());
    numVertexRecords = newMesh->numVertices;

    buildElementAdjacency(initFlags);
    if (initFlags & BVDF_PIECES) {
        labelPieces();
    }
    if (initFlags & BVDF_VOLUME) {
        volume = ComputeMassProperties(mesh, mesh->centre);
    }
    return true;
}

bool BVDFmesh::buildElementAdjacency(std::uint32_t buildFlags) {
    if (!mesh) {
        return false;
    }
    flags &= ~(BVDF_BUILT_EDGES | BVDF_BUILT_VERTICES);
    numEdges = 0;
    const bool withEdges = (buildFlags & BVDF_EDGES) != 0;
    const bool withVertices = (buildFlags & BVDF_VERTICES) != 0;
    if (!withEdges && !withVertices) {
        return true;
    }
    // The mesh may have changed since init: indices are read as array positions below.
    if (!meshIndicesValid(*mesh) || (withEdges && !reserveEdgeSlots(*mesh))) {
        return false;
    }
    const ZYL_DFmesh& source = *mesh;
    return rebuildTables(tables(), *mesh, withEdges, withVertices, true, flags,
                         [&source](const WorkEdge& w, connect_edge& record) { writeEdgeRecord(source, w, record); });
}

bool BVDFmesh::initHull(const QmtVector3* points, std::uint32_t n) {
    // Built before the old mesh goes: the points may be that mesh's own vertices.
    ZYL_DFmesh* const hull = buildConvexHullDFmesh(points, n);
    releaseHeldRecord(mesh, state);
    // Tables of the mesh held before must not be read against the hull.
    clear();
    flags &= ~(BVDF_BUILT_EDGES | BVDF_BUILT_VERTICES);
    mesh = hull;
    state = hull ? 1 : -1;
    return hull != nullptr;
}

bool BVDFmesh::initHull(const QmtVector3* points, std::uint32_t /*unused*/, std::uint32_t n) {
    return initHull(points, n);
}

bool BVDFmesh::hasOpenEdge() const {
    return mesh && anyOpenEdge(edges, numEdges);
}

void BVDFmesh::initClipper() {
    delete clipper;
    clipper = new (std::nothrow) Clipper();
    if (clipper) {
        clipper->initDF(this);
    }
}

void BVDFmesh::finishClip(std::int32_t result) {
    if (result == 0 && mesh && clipper) {
        const double s = clipper->getScale();
        for (std::uint32_t i = 0; i < mesh->numVertices; ++i) {
            if (mesh->worldVertices) {
                mesh->worldVertices[i] = mesh->worldVertices[i] / s;
            }
            if (mesh->vertices) {
                mesh->vertices[i] = mesh->vertices[i] / s;
            }
        }
        mesh->worldCentre = mesh->worldCentre / s;

        dropDegenerateFaces(*mesh);
        if (mesh->normals && mesh->worldNormals) {
            for (std::uint32_t f = 0; f < mesh->numFaces; ++f) {
                QmtVector3 n = mesh->worldNormals[f] * mesh->rotation;  // Rᵀ · world normal
                n.Unitize(QmtMatrix3::EPSILON);
                mesh->normals[f] = n;
            }
        }
    }
    clear();
}
