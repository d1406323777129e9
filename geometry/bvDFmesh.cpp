#include "geometry/bvDFmesh.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "geometry/clipper.h"
#include "geometry/convexHull.h"
#include "geometry/massProperties.h"
#include "geometry/openEdgeIndex.h"
#include "math/qmtMatrix3.h"

using Qmt::QmtMatrix3;
using Qmt::QmtVector3;

namespace {

// Every face's corner indices fit its arrays and lie below the vertex count.
bool meshIndicesValid(const ZYL_DFmesh& mesh) {
    if (mesh.numFaces != 0 && !mesh.faces) {
        return false;
    }
    for (std::uint32_t f = 0; f < mesh.numFaces; ++f) {
        const ZYL_DFface& face = mesh.faces[f];
        if (face.numVertices > face.capacity || (face.numVertices != 0 && !face.vertices)) {
            return false;
        }
        for (std::uint32_t k = 0; k < face.numVertices; ++k) {
            if (face.vertices[k] >= mesh.numVertices) {
                return false;
            }
        }
    }
    return true;
}

// An edge while the table is being built: the corner of v0 in face A (its slot in
// A's edge list) and, once a second face walks it, the same in face B.
struct WorkEdge {
    std::uint32_t v0;
    std::uint32_t v1;
    std::uint32_t faceA;
    std::uint32_t posA;
    std::uint32_t faceB;  // ABSENT_INDEX while the edge is open
    std::uint32_t posB;
};

// Extra UV sets (sets 2..9) whose indices a face carries in edge records.
std::uint32_t faceExtraSets(const ZYL_DFface& face) {
    if (!(face.flags & FACE_UV_SETS) || face.numUVSets == 1) {
        return 0;
    }
    return face.numUVSets >= 2 ? std::min<std::uint32_t>(face.numUVSets, MAX_UV_SETS) - 1 : 0;
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

// Matches the corner edges of every face in face and corner order: each closes the
// open edge with the same two vertices (either direction), becoming its face B, or
// opens a new edge. Records the closing order and sets every face's edge count. With
// counts (faces, edges per vertex) counts the corners on each start vertex and both
// ends of every new edge.
void matchEdges(ZYL_DFmesh& mesh, std::vector<WorkEdge>& work, std::vector<std::uint32_t>& closedOrder,
                std::uint32_t* counts) {
    std::uint32_t corners = 0;
    for (std::uint32_t f = 0; f < mesh.numFaces; ++f) {
        corners += mesh.faces[f].numVertices;
    }
    work.reserve(corners);
    closedOrder.reserve(corners / 2 + 1);
    OpenEdgeIndex open;
    open.reset(corners);

    for (std::uint32_t f = 0; f < mesh.numFaces; ++f) {
        ZYL_DFface& face = mesh.faces[f];
        const std::uint32_t n = face.numVertices;
        for (std::uint32_t k = 0; k < n; ++k) {
            const std::uint32_t a = face.vertices[k];
            const std::uint32_t b = face.vertices[k + 1 == n ? 0 : k + 1];
            if (counts) {
                ++counts[2 * a];
            }
            const auto id = static_cast<std::uint32_t>(work.size());
            const std::uint32_t match = open.matchOrOpen(a, b, id);
            if (match != ABSENT_INDEX) {
                work[match].faceB = f;
                work[match].posB = k;
                closedOrder.push_back(match);
            } else {
                work.push_back(WorkEdge{a, b, f, k, ABSENT_INDEX, ABSENT_INDEX});
                if (counts) {
                    ++counts[2 * a + 1];
                    ++counts[2 * b + 1];
                }
            }
        }
        face.numEdges = n;
    }
}

// Work edge of every table index: the edges left open in creation order, then the
// shared ones in closing order.
std::vector<std::uint32_t> tableOrder(const std::vector<WorkEdge>& work,
                                      const std::vector<std::uint32_t>& closedOrder) {
    std::vector<std::uint32_t> order;
    order.reserve(work.size());
    for (std::uint32_t w = 0; w < work.size(); ++w) {
        if (work[w].faceB == ABSENT_INDEX) {
            order.push_back(w);
        }
    }
    order.insert(order.end(), closedOrder.begin(), closedOrder.end());
    return order;
}

// The attribute pair (start, end) of an edge as one face walks it from corner k:
// taken along, or crossed when the face runs the edge backwards.
struct CornerPair {
    std::uint32_t k;
    std::uint32_t next;
    bool along;

    void read(const std::uint32_t* values, std::uint32_t& start, std::uint32_t& end) const {
        start = values[along ? k : next];
        end = values[along ? next : k];
    }
};

// Fills one table record from its work edge. Fields the build does not fill are zero.
void writeEdgeRecord(const ZYL_DFmesh& mesh, const WorkEdge& w, connect_edge& record) {
    std::memset(&record, 0, sizeof record);
    record.v0 = w.v0;
    record.v1 = w.v1;
    const bool shared = w.faceB != ABSENT_INDEX;
    record.faceA = w.faceA;
    record.posA = w.posA;
    record.faceB = shared ? w.faceB : w.faceA;
    record.posB = shared ? w.posB : w.posA;

    const ZYL_DFface& a = mesh.faces[w.faceA];
    const CornerPair sideA{w.posA, w.posA + 1 == a.numVertices ? 0 : w.posA + 1, true};
    const ZYL_DFface* b = shared ? &mesh.faces[w.faceB] : nullptr;
    CornerPair sideB{0, 0, true};
    if (b) {
        sideB.k = w.posB;
        sideB.next = w.posB + 1 == b->numVertices ? 0 : w.posB + 1;
        sideB.along = b->vertices[w.posB] == w.v0;
    }

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
    const std::uint32_t sets = faceExtraSets(a);
    if (sets > 0) {
        record.flags = EDGE_UV_SETS;
        const std::uint32_t setsB = b ? faceExtraSets(*b) : 0;
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

// Drops the faces of fewer than 3 corners, keeping the order of the others and their
// world normals. The faces are copied even when none is dropped, as every face of a
// finished cut is. On allocation failure the mesh keeps its faces.
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
            copyDFmeshFace(mesh.faces[f], faces[next]);
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
    if (mesh && state == 1) {
        delete mesh;
    }
    mesh = nullptr;
}

void BVDFmesh::releaseVertexRecords() {
    delete[] vertexFacePool;
    delete[] vertexEdgePool;
    vertexFacePool = nullptr;
    vertexEdgePool = nullptr;
    delete[] vertexRecords;
    vertexRecords = nullptr;
    numVertexRecords = 0;
}

void BVDFmesh::clear() {
    std::free(edges);
    edges = nullptr;
    numEdges = 0;
    releaseVertexRecords();
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
    releaseVertexRecords();
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
    const std::uint32_t vertexCount = mesh->numVertices;
    if (withVertices) {
        releaseVertexRecords();
        vertexRecords = new (std::nothrow) connect_vertex[vertexCount]();
        if (!vertexRecords) {
            return false;
        }
        numVertexRecords = vertexCount;
    }

    try {
        // Face and edge counts per vertex, gathered while the edges are matched.
        std::vector<std::uint32_t> counts(withVertices && withEdges ? std::size_t{2} * vertexCount : 0, 0);
        if (withEdges) {
            std::vector<WorkEdge> work;
            std::vector<std::uint32_t> closedOrder;
            matchEdges(*mesh, work, closedOrder, counts.empty() ? nullptr : counts.data());

            std::free(edges);
            edges = nullptr;
            const auto total = static_cast<std::uint32_t>(work.size());
            if (total != 0) {
                edges = static_cast<connect_edge*>(std::malloc(std::size_t{total} * sizeof(connect_edge)));
            }
            if (!edges) {
                releaseVertexRecords();
                return false;
            }
            numEdges = total;
            const std::vector<std::uint32_t> order = tableOrder(work, closedOrder);
            for (std::uint32_t i = 0; i < total; ++i) {
                const WorkEdge& w = work[order[i]];
                writeEdgeRecord(*mesh, w, edges[i]);
                mesh->faces[w.faceA].edges[w.posA] = i;
                if (w.faceB != ABSENT_INDEX) {
                    mesh->faces[w.faceB].edges[w.posB] = i;
                }
            }
            flags |= BVDF_BUILT_EDGES;
        }
        if (withVertices) {
            fillVertexRecords(counts, withEdges);
            flags |= BVDF_BUILT_VERTICES;
        }
    } catch (const std::bad_alloc&) {
        releaseVertexRecords();
        return false;
    }
    return true;
}

void BVDFmesh::fillVertexRecords(const std::vector<std::uint32_t>& counts, bool withEdges) {
    if (counts.empty()) {
        return;  // no edge build: records without entries
    }
    std::size_t faceTotal = 0;
    std::size_t edgeTotal = 0;
    for (std::uint32_t v = 0; v < numVertexRecords; ++v) {
        faceTotal += counts[2 * v];
        edgeTotal += counts[2 * v + 1];
    }
    if (faceTotal != 0) {
        vertexFacePool = new std::uint32_t[faceTotal];
    }
    if (edgeTotal != 0) {
        vertexEdgePool = new std::uint32_t[edgeTotal];
    }
    std::size_t faceAt = 0;
    std::size_t edgeAt = 0;
    for (std::uint32_t v = 0; v < numVertexRecords; ++v) {
        connect_vertex& record = vertexRecords[v];
        if (counts[2 * v] != 0) {
            record.faces = vertexFacePool + faceAt;
            faceAt += counts[2 * v];
        }
        if (counts[2 * v + 1] != 0) {
            record.edges = vertexEdgePool + edgeAt;
            edgeAt += counts[2 * v + 1];
        }
    }
    for (std::uint32_t f = 0; f < mesh->numFaces; ++f) {
        const ZYL_DFface& face = mesh->faces[f];
        for (std::uint32_t k = 0; k < face.numVertices; ++k) {
            const std::uint32_t v = face.vertices[k];
            connect_vertex& record = vertexRecords[v];
            if (record.numFaces < counts[2 * v]) {
                record.faces[record.numFaces++] = f;
            }
        }
    }
    if (withEdges) {
        for (std::uint32_t i = 0; i < numEdges; ++i) {
            for (const std::uint32_t v : {edges[i].v0, edges[i].v1}) {
                connect_vertex& record = vertexRecords[v];
                if (record.numEdges < counts[2 * v + 1]) {
                    record.edges[record.numEdges++] = i;
                }
            }
        }
    }
}

bool BVDFmesh::initHull(const QmtVector3* points, std::uint32_t n) {
    if (mesh && state == 1) {
        delete mesh;
    }
    mesh = nullptr;
    state = -1;
    // Tables of the mesh held before must not be read against the hull.
    clear();
    flags &= ~(BVDF_BUILT_EDGES | BVDF_BUILT_VERTICES);
    mesh = buildConvexHullDFmesh(points, n);
    if (!mesh) {
        return false;
    }
    state = 1;
    return true;
}

bool BVDFmesh::initHull(const QmtVector3* points, std::uint32_t /*unused*/, std::uint32_t n) {
    return initHull(points, n);
}

bool BVDFmesh::hasOpenEdge() const {
    if (!mesh || !edges) {
        return false;
    }
    for (std::uint32_t i = 0; i < numEdges; ++i) {
        if (edges[i].faceB == edges[i].faceA) {
            return true;
        }
    }
    return false;
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
