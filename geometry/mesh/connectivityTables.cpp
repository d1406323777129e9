#include "geometry/mesh/connectivityTables.h"

std::vector<std::uint32_t> edgeTableOrder(const std::vector<WorkEdge>& work,
                                          const std::vector<std::uint32_t>& closedOrder) {
    std::vector<std::uint32_t> order;
    order.reserve(work.size());
    for (std::uint32_t w = 0; w < work.size(); ++w) {
        if (!work[w].shared()) {
            order.push_back(w);
        }
    }
    order.insert(order.end(), closedOrder.begin(), closedOrder.end());
    return order;
}

void releaseEdges(const ConnectivityFields& t) {
    std::free(t.edges);
    t.edges = nullptr;
    t.numEdges = 0;
}

void releaseVertexRecords(const ConnectivityFields& t) {
    delete[] t.vertexFacePool;
    delete[] t.vertexEdgePool;
    t.vertexFacePool = nullptr;
    t.vertexEdgePool = nullptr;
    delete[] t.vertexRecords;
    t.vertexRecords = nullptr;
    t.numVertexRecords = 0;
}

bool allocateVertexRecords(const ConnectivityFields& t, std::uint32_t n) {
    releaseVertexRecords(t);
    t.vertexRecords = new (std::nothrow) connect_vertex[n]();
    if (!t.vertexRecords) {
        return false;
    }
    t.numVertexRecords = n;
    return true;
}

bool anyOpenEdge(const connect_edge* edges, std::uint32_t numEdges) {
    if (!edges) {
        return false;
    }
    for (std::uint32_t i = 0; i < numEdges; ++i) {
        if (edges[i].faceA == edges[i].faceB) {
            return true;
        }
    }
    return false;
}
