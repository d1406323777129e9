#include <cstring>
#include <new>

#include "geometry/mesh/bvMesh.h"

namespace {

// Fills one table record from its work edge: vertices, faces (face B repeats face A
// on an open edge) and, when the mesh has UVs, the UV indices of both sides. Fields
// this build does not fill are zero rather than stale bytes.
void writeEdgeRecord(const ZYLmesh& mesh, const WorkEdge& w, connect_edge& record) {
    std::memset(&record, 0, sizeof record);
    record.v0 = w.v0;
    record.v1 = w.v1;
    record.faceA = w.faceA;
    record.faceB = w.shared() ? w.faceB : w.faceA;
    if (mesh.numUVs > 0) {
        const ZYLface& a = mesh.faces[w.faceA];
        cornerPairOf(a, w.posA, w.v0).read(a.uvs, record.uvs[EDGE_SLOT_START_A], record.uvs[EDGE_SLOT_END_A]);
        if (w.shared()) {
            // The second face usually walks the edge backwards: its UVs then go
            // crossed into the face-B slots.
            const ZYLface& b = mesh.faces[w.faceB];
            cornerPairOf(b, w.posB, w.v0).read(b.uvs, record.uvs[EDGE_SLOT_START_B], record.uvs[EDGE_SLOT_END_B]);
        }
    }
}

std::uint16_t& islandOf(ZYLface& face) { return face.island; }

std::uint32_t edgeSlotsOf(const ZYLface& face) {
    return face.numEdges < ZYLFACE_MAX_CORNERS ? face.numEdges : ZYLFACE_MAX_CORNERS;
}

}  // namespace

bool BVmesh::indicesValid(const ZYLmesh& candidate) {
    return cornerIndicesValid(candidate,
                              [](const ZYLface& face) { return face.numVertices <= ZYLFACE_MAX_CORNERS; });
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
    releaseNeighbours();
    builtFlags &= ~(BVMESH_BUILT_EDGES | BVMESH_BUILT_VERTICES);
    numEdges = 0;
    const bool withEdges = (options & BVMESH_EDGES) != 0;
    const bool withVertices = (options & BVMESH_VERTICES) != 0;
    const ZYLmesh& source = *mesh;
    // A vertex block that cannot be had leaves its lists without entries.
    const bool built =
        rebuildTables(tables(), *mesh, withEdges, withVertices, false, builtFlags,
                      [&source](const WorkEdge& w, connect_edge& record) { writeEdgeRecord(source, w, record); });
    buildNeighbours();
    return built;
}

void BVmesh::releaseNeighbours() {
    delete[] vertexNeighbours;
    delete[] vertexNeighbourStarts;
    vertexNeighbours = nullptr;
    vertexNeighbourStarts = nullptr;
}

// The neighbour lists read one compact block where walking the edge records reads one
// large record per step: hill-climbing supports over a hull's vertices go through them.
void BVmesh::buildNeighbours() {
    if (!isConnectEdges() || !isConnectVertex() || !edges || !vertexRecords) {
        return;
    }
    std::uint32_t total = 0;
    for (std::uint32_t v = 0; v < numVertexRecords; ++v) {
        total += vertexRecords[v].numEdges;
    }
    vertexNeighbourStarts = new (std::nothrow) std::uint32_t[numVertexRecords + 1];
    vertexNeighbours = new (std::nothrow) std::uint32_t[total == 0 ? 1 : total];
    if (!vertexNeighbourStarts || !vertexNeighbours) {
        releaseNeighbours();
        return;
    }
    std::uint32_t at = 0;
    for (std::uint32_t v = 0; v < numVertexRecords; ++v) {
        vertexNeighbourStarts[v] = at;
        const connect_vertex& links = vertexRecords[v];
        for (std::uint32_t k = 0; k < links.numEdges; ++k) {
            const connect_edge& edge = edges[links.edges[k]];
            vertexNeighbours[at++] = edge.v0 == v ? edge.v1 : edge.v0;
        }
    }
    vertexNeighbourStarts[numVertexRecords] = at;
}

void BVmesh::labelIslands() {
    if (!mesh) {
        return;
    }
    if (!isConnectEdges()) {
        buildConnectivity(BVMESH_EDGES);
    }
    mesh->numMeshGroups = labelConnectedFaces(*mesh, edges, numEdges, islandOf, edgeSlotsOf);
}

void BVmesh::fillIsland(ZYLface* face) {
    if (!mesh || !face || face < mesh->faces || face >= mesh->faces + mesh->numFaces) {
        return;
    }
    // 0 means "unlabelled": spreading it would bounce between neighbours forever.
    if (face->island == 0) {
        return;
    }
    fillLabelFrom(*mesh, edges, numEdges, static_cast<std::uint32_t>(face - mesh->faces), islandOf, edgeSlotsOf);
}
