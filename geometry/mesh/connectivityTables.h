#pragma once

#include <cstdint>
#include <cstdlib>
#include <new>
#include <vector>

#include "geometry/mesh/connectivity.h"
#include "geometry/mesh/openEdgeIndex.h"

// Every face's corner count passes `cornersFit` and every corner index lies below the
// vertex count (a mesh with faces must have its face array).
template <class Mesh, class CornersFit>
bool cornerIndicesValid(const Mesh& mesh, CornersFit cornersFit) {
    if (mesh.numFaces != 0 && !mesh.faces) {
        return false;
    }
    for (std::uint32_t f = 0; f < mesh.numFaces; ++f) {
        const auto& face = mesh.faces[f];
        if (!cornersFit(face)) {
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

// An edge while a table is being built: the corner of v0 in face A (its slot in A's
// edge list) and, once a second face walks the edge, the same in face B.
struct WorkEdge {
    std::uint32_t v0;
    std::uint32_t v1;
    std::uint32_t faceA;
    std::uint32_t posA;
    std::uint32_t faceB;  // ABSENT_INDEX while the edge is open
    std::uint32_t posB;

    bool shared() const { return faceB != ABSENT_INDEX; }
};

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

// The corner pair of the edge (v0, ...) in `face`, whose slot `pos` holds it.
template <class Face>
CornerPair cornerPairOf(const Face& face, std::uint32_t pos, std::uint32_t v0) {
    return {pos, pos + 1 == face.numVertices ? 0 : pos + 1, face.vertices[pos] == v0};
}

// Matches the corner edges of every face in face and corner order: each closes the
// open edge with the same two vertices (either direction), becoming its face B, or
// opens a new edge. Records the closing order and sets every face's edge count. With
// counts (faces, edges: two per vertex) counts the corners on each start vertex and
// both ends of every new edge. May throw std::bad_alloc.
template <class Mesh>
void matchCornerEdges(Mesh& mesh, std::vector<WorkEdge>& work, std::vector<std::uint32_t>& closedOrder,
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
        auto& face = mesh.faces[f];
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
std::vector<std::uint32_t> edgeTableOrder(const std::vector<WorkEdge>& work,
                                          const std::vector<std::uint32_t>& closedOrder);

// What rebuildTables made; the volumes' built-flag bits share these values.
inline constexpr std::uint32_t TABLES_BUILT_EDGES = 1;
inline constexpr std::uint32_t TABLES_BUILT_VERTICES = 2;

// The edge table and per-vertex records of a mesh volume (BVmesh, BVDFmesh), borrowed
// by the routines the volumes share. Each volume keeps these fields as its own members
// and builds a view on the fly for one call. The volume releases them; copies of a
// volume share them.
//
// Edge table order: the open (border) edges first, in the order they were made, then
// the shared edges in the order their second face was met. Slot k of a face's edge
// list holds the edge from corner k to corner k + 1.
struct ConnectivityFields {
    std::uint32_t& numEdges;           // records in edges
    std::uint32_t& numVertexRecords;   // records in vertexRecords while it exists
    connect_edge*& edges;              // malloc / free
    connect_vertex*& vertexRecords;    // array new
    // Backing blocks of the vertex records' face and edge arrays (array new): every
    // record's arrays point into them and are released with them, never one by one.
    std::uint32_t*& vertexFacePool;
    std::uint32_t*& vertexEdgePool;
};

// Frees the edge table; the count becomes 0.
void releaseEdges(const ConnectivityFields& t);
// Frees the vertex records with their blocks; the count becomes 0.
void releaseVertexRecords(const ConnectivityFields& t);
// Replaces the vertex records by n zeroed ones. False, with none held, when the
// allocation fails.
bool allocateVertexRecords(const ConnectivityFields& t, std::uint32_t n);
// True when the table holds an edge with a single face.
bool anyOpenEdge(const connect_edge* edges, std::uint32_t numEdges);

// Rebuilds the edge table over the mesh's faces: writeRecord(work edge, record) fills
// each record in table order, and each face's edge slots receive the indices of its
// edges. counts as for matchCornerEdges. False when the mesh has no edge or the table
// cannot be allocated; may throw std::bad_alloc.
template <class Mesh, class WriteRecord>
bool buildEdgeTable(const ConnectivityFields& t, Mesh& mesh, std::uint32_t* counts, WriteRecord writeRecord) {
    std::vector<WorkEdge> work;
    std::vector<std::uint32_t> closedOrder;
    matchCornerEdges(mesh, work, closedOrder, counts);

    releaseEdges(t);
    const auto total = static_cast<std::uint32_t>(work.size());
    if (total != 0) {
        t.edges = static_cast<connect_edge*>(std::malloc(std::size_t{total} * sizeof(connect_edge)));
    }
    if (!t.edges) {
        return false;
    }
    t.numEdges = total;
    connect_edge* const edges = t.edges;
    const std::vector<std::uint32_t> order = edgeTableOrder(work, closedOrder);
    for (std::uint32_t i = 0; i < total; ++i) {
        const WorkEdge& w = work[order[i]];
        writeRecord(w, edges[i]);
        mesh.faces[w.faceA].edges[w.posA] = i;
        if (w.shared()) {
            mesh.faces[w.faceB].edges[w.posB] = i;
        }
    }
    return true;
}

// Sizes the vertex records' lists from counts (as gathered by buildEdgeTable) and
// fills them: one face entry per corner on the vertex, and with withEdges the table
// edges at both ends. Null counts leave the records without entries. False when a
// backing block cannot be had; its lists then stay without entries.
template <class Mesh>
bool fillVertexRecords(const ConnectivityFields& t, const Mesh& mesh, const std::uint32_t* counts,
                       bool withEdges) {
    if (!counts) {
        return true;
    }
    const std::uint32_t numRecords = t.numVertexRecords;
    connect_vertex* const records = t.vertexRecords;
    std::size_t faceTotal = 0;
    std::size_t edgeTotal = 0;
    for (std::uint32_t v = 0; v < numRecords; ++v) {
        faceTotal += counts[2 * v];
        edgeTotal += counts[2 * v + 1];
    }
    std::uint32_t* const facePool = faceTotal != 0 ? new (std::nothrow) std::uint32_t[faceTotal] : nullptr;
    std::uint32_t* const edgePool = edgeTotal != 0 ? new (std::nothrow) std::uint32_t[edgeTotal] : nullptr;
    t.vertexFacePool = facePool;
    t.vertexEdgePool = edgePool;
    std::size_t faceAt = 0;
    std::size_t edgeAt = 0;
    for (std::uint32_t v = 0; v < numRecords; ++v) {
        connect_vertex& record = records[v];
        if (facePool && counts[2 * v] != 0) {
            record.faces = facePool + faceAt;
            faceAt += counts[2 * v];
        }
        if (edgePool && counts[2 * v + 1] != 0) {
            record.edges = edgePool + edgeAt;
            edgeAt += counts[2 * v + 1];
        }
    }
    if (facePool) {
        for (std::uint32_t f = 0; f < mesh.numFaces; ++f) {
            const auto& face = mesh.faces[f];
            for (std::uint32_t k = 0; k < face.numVertices; ++k) {
                const std::uint32_t v = face.vertices[k];
                connect_vertex& record = records[v];
                if (record.numFaces < counts[2 * v]) {
                    record.faces[record.numFaces++] = f;
                }
            }
        }
    }
    if (withEdges && edgePool) {
        const connect_edge* const edges = t.edges;
        for (std::uint32_t i = 0; i < t.numEdges; ++i) {
            for (const std::uint32_t v : {edges[i].v0, edges[i].v1}) {
                connect_vertex& record = records[v];
                if (record.numEdges < counts[2 * v + 1]) {
                    record.edges[record.numEdges++] = i;
                }
            }
        }
    }
    return (faceTotal == 0 || facePool) && (edgeTotal == 0 || edgePool);
}

// Rebuilds the edge table (withEdges; writeRecord(work edge, record) fills each
// record, and each face's edge slots receive the indices of its edges) and the vertex
// records (withVertices; they receive entries only with the edge table: one face per
// corner on the vertex, the edges ending there), OR-ing TABLES_BUILT_EDGES /
// TABLES_BUILT_VERTICES into builtFlags as each is made. False on allocation failure
// and when the edge table is asked for and the mesh has no edge. With strictVertices
// a vertex block that cannot be had fails the build and a failed build drops the
// vertex records; without it such lists stay without entries and the records stay.
template <class Mesh, class WriteRecord>
bool rebuildTables(const ConnectivityFields& t, Mesh& mesh, bool withEdges, bool withVertices,
                   bool strictVertices, std::uint32_t& builtFlags, WriteRecord writeRecord) {
    if (withVertices && !allocateVertexRecords(t, mesh.numVertices)) {
        return false;
    }
    const auto fail = [&t, strictVertices] {
        if (strictVertices) {
            releaseVertexRecords(t);
        }
        return false;
    };
    try {
        // Face and edge counts per vertex, gathered while the edges are matched.
        std::vector<std::uint32_t> counts(withVertices && withEdges ? std::size_t{2} * mesh.numVertices : 0, 0);
        std::uint32_t* const countsOrNull = counts.empty() ? nullptr : counts.data();
        if (withEdges) {
            if (!buildEdgeTable(t, mesh, countsOrNull, writeRecord)) {
                return fail();
            }
            builtFlags |= TABLES_BUILT_EDGES;
        }
        if (withVertices) {
            if (!fillVertexRecords(t, mesh, countsOrNull, withEdges) && strictVertices) {
                return fail();
            }
            builtFlags |= TABLES_BUILT_VERTICES;
        }
    } catch (const std::bad_alloc&) {
        return fail();
    }
    return true;
}

// Breadth-first spread of the seed's label over the shared edges of the table, with
// the caller's frontier buffers. A face is open to it while labelled[face] is 0, or
// without that array while its label is 0.
template <class Mesh, class LabelOf, class EdgeSlots>
void spreadLabel(Mesh& mesh, const connect_edge* edges, std::uint32_t numEdges, std::uint32_t seed,
                 LabelOf labelOf, EdgeSlots edgeSlots, std::vector<std::uint32_t>& frontier,
                 std::vector<std::uint32_t>& next, std::uint8_t* labelled) {
    if (!edges) {
        return;
    }
    const std::uint16_t label = labelOf(mesh.faces[seed]);
    frontier.assign(1, seed);
    while (!frontier.empty()) {
        next.clear();
        for (const std::uint32_t g : frontier) {
            const auto& face = mesh.faces[g];
            const std::uint32_t slots = edgeSlots(face);
            for (std::uint32_t k = 0; k < slots; ++k) {
                const std::uint32_t e = face.edges[k];
                if (e >= numEdges || edges[e].faceA == edges[e].faceB) {
                    continue;
                }
                const std::uint32_t other = edges[e].faceA == g ? edges[e].faceB : edges[e].faceA;
                if (other >= mesh.numFaces) {
                    continue;
                }
                if (labelled ? labelled[other] == 0 : labelOf(mesh.faces[other]) == 0) {
                    labelOf(mesh.faces[other]) = label;
                    if (labelled) {
                        labelled[other] = 1;
                    }
                    next.push_back(other);
                }
            }
        }
        frontier.swap(next);
    }
}

// Numbers the faces joined by shared edges of the table from 1, in the order of their
// lowest face, into labelOf(face) (a 16-bit field) and returns the count. Faces are
// marked apart from their numbers, so that a number that wraps to 0 past 65535 still
// counts as labelled. edgeSlots(face) is the number of readable edge slots. Out of
// memory, the faces labelled so far keep their numbers.
template <class Mesh, class LabelOf, class EdgeSlots>
std::uint32_t labelConnectedFaces(Mesh& mesh, const connect_edge* edges, std::uint32_t numEdges,
                                  LabelOf labelOf, EdgeSlots edgeSlots) {
    const std::uint32_t F = mesh.faces ? mesh.numFaces : 0;
    for (std::uint32_t f = 0; f < F; ++f) {
        labelOf(mesh.faces[f]) = 0;
    }
    std::uint32_t count = 0;
    try {
        std::vector<std::uint8_t> labelled(F, 0);
        std::vector<std::uint32_t> frontier;
        std::vector<std::uint32_t> next;
        // Labels only grow, so the lowest unlabelled face is found by one forward scan.
        for (std::uint32_t f = 0; f < F; ++f) {
            if (!labelled[f]) {
                ++count;
                labelOf(mesh.faces[f]) = static_cast<std::uint16_t>(count);
                labelled[f] = 1;
                spreadLabel(mesh, edges, numEdges, f, labelOf, edgeSlots, frontier, next, labelled.data());
            }
        }
    } catch (const std::bad_alloc&) {
    }
    return count;
}

// Gives face `seed`'s label to every face connected to it through shared edges of the
// table whose label is still 0. Out of memory, the faces reached so far keep it.
template <class Mesh, class LabelOf, class EdgeSlots>
void fillLabelFrom(Mesh& mesh, const connect_edge* edges, std::uint32_t numEdges, std::uint32_t seed,
                   LabelOf labelOf, EdgeSlots edgeSlots) {
    try {
        std::vector<std::uint32_t> frontier;
        std::vector<std::uint32_t> next;
        spreadLabel(mesh, edges, numEdges, seed, labelOf, edgeSlots, frontier, next, nullptr);
    } catch (const std::bad_alloc&) {
    }
}
