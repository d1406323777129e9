#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "geometry/bvMesh.h"
#include "geometry/openEdgeIndex.h"

namespace {

// An edge while the table is being built.
struct WorkEdge {
    std::uint32_t v0;
    std::uint32_t v1;
    std::uint32_t faceA;
    std::uint32_t faceB;
    std::uint32_t posA;
    std::uint32_t posB;
    std::uint32_t uvs[4];
};

// Matches the corner edges of every face in face and corner order. Each corner edge
// either closes the open edge with the same two vertices (the face becomes its face B)
// or opens a new edge (face A). Records the closing order and sets every face's edge
// count; with vertexCounts (2 per vertex: faces, edges) counts the corners on each
// start vertex and both ends of each new edge.
void matchEdges(ZYLmesh& mesh, std::vector<WorkEdge>& work, std::vector<std::uint32_t>& closedOrder,
                std::uint32_t* vertexCounts) {
    std::uint32_t corners = 0;
    for (std::uint32_t f = 0; f < mesh.numFaces; ++f) {
        corners += mesh.faces[f].numVertices;
    }
    work.reserve(corners);
    closedOrder.reserve(corners / 2 + 1);
    OpenEdgeIndex open;
    open.reset(corners);
    const bool hasUVs = mesh.numUVs > 0;

    for (std::uint32_t f = 0; f < mesh.numFaces; ++f) {
        ZYLface& face = mesh.faces[f];
        const std::uint32_t n = face.numVertices;
        for (std::uint32_t k = 0; k < n; ++k) {
            const std::uint32_t next = k + 1 == n ? 0 : k + 1;
            const std::uint32_t a = face.vertices[k];
            const std::uint32_t b = face.vertices[next];
            const std::uint32_t ua = hasUVs ? face.uvs[k] : 0;
            const std::uint32_t ub = hasUVs ? face.uvs[next] : 0;
            if (vertexCounts) {
                ++vertexCounts[2 * a];
            }
            const auto id = static_cast<std::uint32_t>(work.size());
            const std::uint32_t match = open.matchOrOpen(a, b, id);
            if (match != ABSENT_INDEX) {
                WorkEdge& e = work[match];
                e.faceB = f;
                e.posB = k;
                if (hasUVs) {
                    // The second face usually walks the edge backwards: its UVs then
                    // go crossed into the face-B slots.
                    const bool along = a == e.v0;
                    e.uvs[EDGE_SLOT_START_B] = along ? ua : ub;
                    e.uvs[EDGE_SLOT_END_B] = along ? ub : ua;
                }
                closedOrder.push_back(match);
            } else {
                work.push_back(WorkEdge{a, b, f, f, k, k, {ua, 0, ub, 0}});
                if (vertexCounts) {
                    ++vertexCounts[2 * a + 1];
                    ++vertexCounts[2 * b + 1];
                }
            }
        }
        face.numEdges = n;
    }
}

// Work edge of every table index: the edges left open in creation order, then the
// closed ones in closing order. (Handed out from the top index down, first to the
// closed list and then to the open list, each walked from its newest entry, the
// indices come out in this order.)
std::vector<std::uint32_t> tableOrder(const std::vector<WorkEdge>& work,
                                      const std::vector<std::uint32_t>& closedOrder) {
    std::vector<std::uint8_t> closed(work.size(), 0);
    for (const std::uint32_t w : closedOrder) {
        closed[w] = 1;
    }
    std::vector<std::uint32_t> order;
    order.reserve(work.size());
    for (std::uint32_t w = 0; w < work.size(); ++w) {
        if (!closed[w]) {
            order.push_back(w);
        }
    }
    order.insert(order.end(), closedOrder.begin(), closedOrder.end());
    return order;
}

}  // namespace

bool BVmesh::indicesValid(const ZYLmesh& candidate) {
    if (candidate.numFaces != 0 && !candidate.faces) {
        return false;
    }
    for (std::uint32_t f = 0; f < candidate.numFaces; ++f) {
        const ZYLface& face = candidate.faces[f];
        if (face.numVertices > ZYLFACE_MAX_CORNERS) {
            return false;
        }
        for (std::uint32_t k = 0; k < face.numVertices; ++k) {
            if (face.vertices[k] >= candidate.numVertices) {
                return false;
            }
        }
    }
    return true;
}

void BVmesh::releaseVertexRecords() {
    delete[] vertexFacePool;
    delete[] vertexEdgePool;
    vertexFacePool = nullptr;
    vertexEdgePool = nullptr;
    delete[] vertexRecords;
    vertexRecords = nullptr;
    numVertexRecords = 0;
}

bool BVmesh::buildConnectivity(std::uint32_t options) {
    if (!mesh) {
        return false;
    }
    if (!indicesValid(*mesh)) {
        builtFlags &= ~(BVMESH_BUILT_EDGES | BVMESH_BUILT_VERTICES);
        numEdges = 0;
        return false;
    }
    return buildTables(options);
}

bool BVmesh::buildTables(std::uint32_t options) {
    builtFlags &= ~(BVMESH_BUILT_EDGES | BVMESH_BUILT_VERTICES);
    numEdges = 0;
    const bool withEdges = (options & BVMESH_EDGES) != 0;
    const bool withVertices = (options & BVMESH_VERTICES) != 0;
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
        // Capacities of the vertex lists, counted only while edges are matched.
        std::vector<std::uint32_t> counts(withVertices ? std::size_t{2} * vertexCount : 0, 0);

        if (withEdges) {
            std::vector<WorkEdge> work;
            std::vector<std::uint32_t> closedOrder;
            matchEdges(*mesh, work, closedOrder, withVertices ? counts.data() : nullptr);

            std::free(edges);
            edges = nullptr;
            const auto total = static_cast<std::uint32_t>(work.size());
            if (total != 0) {
                edges = static_cast<connect_edge*>(std::malloc(std::size_t{total} * sizeof(connect_edge)));
            }
            if (!edges) {
                return false;
            }
            numEdges = total;

            const std::vector<std::uint32_t> order = tableOrder(work, closedOrder);
            const bool hasUVs = mesh->numUVs > 0;
            for (std::uint32_t i = 0; i < total; ++i) {
                const WorkEdge& e = work[order[i]];
                connect_edge& record = edges[i];
                // Fields this build does not fill are zero rather than stale bytes.
                std::memset(&record, 0, sizeof record);
                record.v0 = e.v0;
                record.v1 = e.v1;
                record.faceA = e.faceA;
                record.faceB = e.faceB;
                if (hasUVs) {
                    for (int s = 0; s < 4; ++s) {
                        record.uvs[s] = e.uvs[s];
                    }
                }
                mesh->faces[e.faceA].edges[e.posA] = i;
                mesh->faces[e.faceB].edges[e.posB] = i;
            }
            builtFlags |= BVMESH_BUILT_EDGES;
        }

        if (withVertices) {
            fillVertexRecords(counts.data(), withEdges);
            builtFlags |= BVMESH_BUILT_VERTICES;
        }
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

void BVmesh::fillVertexRecords(const std::uint32_t* counts, bool withEdges) {
    const std::uint32_t vertexCount = numVertexRecords;
    std::size_t faceTotal = 0;
    std::size_t edgeTotal = 0;
    for (std::uint32_t v = 0; v < vertexCount; ++v) {
        faceTotal += counts[2 * v];
        edgeTotal += counts[2 * v + 1];
    }
    // A block that cannot be had leaves its lists without entries.
    if (faceTotal != 0) {
        vertexFacePool = new (std::nothrow) std::uint32_t[faceTotal];
    }
    if (edgeTotal != 0) {
        vertexEdgePool = new (std::nothrow) std::uint32_t[edgeTotal];
    }
    std::size_t faceAt = 0;
    std::size_t edgeAt = 0;
    for (std::uint32_t v = 0; v < vertexCount; ++v) {
        connect_vertex& record = vertexRecords[v];
        if (vertexFacePool && counts[2 * v] != 0) {
            record.faces = vertexFacePool + faceAt;
            faceAt += counts[2 * v];
        }
        if (vertexEdgePool && counts[2 * v + 1] != 0) {
            record.edges = vertexEdgePool + edgeAt;
            edgeAt += counts[2 * v + 1];
        }
    }
    if (vertexFacePool) {
        for (std::uint32_t f = 0; f < mesh->numFaces; ++f) {
            const ZYLface& face = mesh->faces[f];
            for (std::uint32_t k = 0; k < face.numVertices; ++k) {
                const std::uint32_t v = face.vertices[k];
                connect_vertex& record = vertexRecords[v];
                if (record.numFaces < counts[2 * v]) {
                    record.faces[record.numFaces++] = f;
                }
            }
        }
    }
    if (withEdges && vertexEdgePool) {
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

void BVmesh::labelIslands() {
    if (!mesh) {
        return;
    }
    if (!isConnectEdges()) {
        buildConnectivity(BVMESH_EDGES);
    }
    for (std::uint32_t f = 0; f < mesh->numFaces; ++f) {
        mesh->faces[f].island = 0;
    }
    std::uint32_t count = 0;
    try {
        // Faces are marked apart from their 16-bit numbers, so that past 65535 islands
        // a number that wraps to 0 still counts as labelled.
        std::vector<std::uint8_t> labelled(mesh->numFaces, 0);
        std::vector<std::uint32_t> frontier;
        std::vector<std::uint32_t> next;
        // Labels only grow, so the lowest unlabelled face is found by one forward scan.
        for (std::uint32_t f = 0; f < mesh->numFaces; ++f) {
            if (!labelled[f]) {
                ++count;
                mesh->faces[f].island = static_cast<std::uint16_t>(count);
                labelled[f] = 1;
                spreadIsland(f, frontier, next, labelled.data());
            }
        }
    } catch (const std::bad_alloc&) {
        // Out of memory: the faces labelled so far keep their numbers.
    }
    mesh->numMeshGroups = count;
}

void BVmesh::fillIsland(ZYLface* face) {
    if (!mesh || !face || face < mesh->faces || face >= mesh->faces + mesh->numFaces) {
        return;
    }
    // 0 means "unlabelled": spreading it would bounce between neighbours forever.
    if (face->island == 0) {
        return;
    }
    std::vector<std::uint32_t> frontier;
    std::vector<std::uint32_t> next;
    try {
        spreadIsland(static_cast<std::uint32_t>(face - mesh->faces), frontier, next, nullptr);
    } catch (const std::bad_alloc&) {
        // Out of memory: the faces reached so far keep the number.
    }
}

void BVmesh::spreadIsland(std::uint32_t seed, std::vector<std::uint32_t>& frontier,
                          std::vector<std::uint32_t>& next, std::uint8_t* labelled) {
    if (!edges) {
        return;
    }
    const std::uint16_t island = mesh->faces[seed].island;
    frontier.assign(1, seed);
    while (!frontier.empty()) {
        next.clear();
        for (const std::uint32_t g : frontier) {
            const ZYLface& current = mesh->faces[g];
            const std::uint32_t slots =
                current.numEdges < ZYLFACE_MAX_CORNERS ? current.numEdges : ZYLFACE_MAX_CORNERS;
            for (std::uint32_t k = 0; k < slots; ++k) {
                const std::uint32_t e = current.edges[k];
                if (e >= numEdges) {
                    continue;
                }
                const connect_edge& record = edges[e];
                if (record.faceA == record.faceB) {
                    continue;
                }
                const std::uint32_t neighbour = record.faceA == g ? record.faceB : record.faceA;
                if (neighbour >= mesh->numFaces) {
                    continue;
                }
                if (labelled ? labelled[neighbour] == 0 : mesh->faces[neighbour].island == 0) {
                    mesh->faces[neighbour].island = island;
                    if (labelled) {
                        labelled[neighbour] = 1;
                    }
                    next.push_back(neighbour);
                }
            }
        }
        frontier.swap(next);
    }
}
