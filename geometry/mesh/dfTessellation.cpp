#include "geometry/mesh/dfTessellation.h"

#include "geometry/mesh/bvDFmesh.h"
#include "geometry/mesh/dfTessellationPass.h"

using Qmt::QmtVector3;

namespace {

constexpr std::uint16_t MAX_TESSELLATION_LEVEL = 3;

// Mean of the values picked for corners 0..n-1; zero for a face without corners.
template <class Pick>
QmtVector3 cornerMean(std::uint32_t n, Pick pick) {
    if (n == 0) {
        return QmtVector3::ZERO;
    }
    QmtVector3 sum = pick(0);
    for (std::uint32_t k = 1; k < n; ++k) {
        sum += pick(k);
    }
    return sum / static_cast<double>(n);
}

// Runs one pass per level, each over the quads the one before selected. The variant
// that keeps edge directions leaves the edge table as the pass left it; the other
// rebuilds it after each pass. False when the first pass cannot run.
bool tessellateLevels(BVDFmesh& volume, std::uint16_t level, bool keepEdges) {
    if (!volume.mesh || !(volume.flags & BVDF_BUILT_EDGES) || !volume.edges || volume.numEdges == 0 ||
        level == 0 || level > MAX_TESSELLATION_LEVEL) {
        return false;
    }
    DFTessellationPass pass(volume, keepEdges);
    if (!pass.run()) {
        return false;
    }
    if (!keepEdges) {
        volume.buildElementAdjacency(BVDF_EDGES);
    }
    tessellateLevels(volume, static_cast<std::uint16_t>(level - 1), keepEdges);
    return true;
}

}  // namespace

ZYL_DFface& assignDFmeshFace(ZYL_DFface& destination, const ZYL_DFface& source) {
    // copyDFmeshFace already leaves the normal indices alone when the source has none.
    copyDFmeshFace(source, destination);
    return destination;
}

bool BVDFmesh::tessellateFaces(std::uint16_t level) { return tessellateLevels(*this, level, false); }

bool BVDFmesh::tessellateFacesKeepEdges(std::uint16_t level) { return tessellateLevels(*this, level, true); }

QmtVector3 BVDFmesh::computeFaceCenter(const ZYL_DFface* face) const {
    if (!face || !mesh || !mesh->worldVertices || !face->vertices) {
        return QmtVector3::ZERO;
    }
    const QmtVector3* world = mesh->worldVertices;
    const std::uint32_t count = mesh->numVertices;
    return cornerMean(face->numVertices, [&](std::uint32_t k) {
        const std::uint32_t v = face->vertices[k];
        return v < count ? world[v] : QmtVector3::ZERO;
    });
}

QmtVector3 BVDFmesh::computeFaceUVCenter(const ZYL_DFface* face, std::uint32_t set) const {
    if (!face || !mesh || set >= MAX_EXTRA_UV_SETS || !mesh->uvSets[set] || !face->uvSets[set]) {
        return QmtVector3::ZERO;
    }
    const QmtVector3* entries = mesh->uvSets[set];
    const std::uint32_t count = mesh->numUVs;
    const std::uint32_t* indices = face->uvSets[set];
    return cornerMean(face->numVertices, [&](std::uint32_t k) {
        return indices[k] < count ? entries[indices[k]] : QmtVector3::ZERO;
    });
}

void BVDFmesh::computeEdgeDirections(std::uint32_t edge) {
    if (!mesh || !mesh->faces || !edges || edge >= numEdges) {
        return;
    }
    // 1 when the edge at the slot hands its end vertex on to the next edge of the face.
    const auto direction = [this](std::uint32_t f, std::uint32_t slot) -> std::int16_t {
        if (f >= mesh->numFaces) {
            return -1;
        }
        const ZYL_DFface& face = mesh->faces[f];
        if (slot >= face.numEdges || !face.edges) {
            return -1;
        }
        const std::uint32_t here = face.edges[slot];
        const std::uint32_t next = face.edges[(slot + 1) % face.numEdges];
        if (here >= numEdges || next >= numEdges) {
            return -1;
        }
        const std::uint32_t end = edges[here].v1;
        return end == edges[next].v0 || end == edges[next].v1 ? 1 : -1;
    };
    connect_edge& e = edges[edge];
    e.dirA = direction(e.faceA, e.posA);
    e.dirB = direction(e.faceB, e.posB);
}
