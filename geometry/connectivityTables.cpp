#include "geometry/connectivityTables.h"

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

void ConnectivityTables::releaseEdges() {
    std::free(edges);
    edges = nullptr;
    numEdges = 0;
}

void ConnectivityTables::releaseVertexRecords() {
    delete[] vertexFacePool;
    delete[] vertexEdgePool;
    vertexFacePool = nullptr;
    vertexEdgePool = nullptr;
    delete[] vertexRecords;
    vertexRecords = nullptr;
    numVertexRecords = 0;
}

bool ConnectivityTables::allocateVertexRecords(std::uint32_t n) {
    releaseVertexRecords();
    vertexRecords = new (std::nothrow) connect_vertex[n]();
    if (!vertexRecords) {
        return false;
    }
    numVertexRecords = n;
    return true;
}

bool ConnectivityTables::anyOpenEdge() const {
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
