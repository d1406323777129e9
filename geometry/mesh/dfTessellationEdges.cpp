// Edge-table edits of the tessellation variant that keeps the volume's edge table
// instead of rebuilding it: each split edge keeps its first half and gains a record for
// its second half, every quad gets two spokes to its centre, and the faces named in the
// records follow the new face order.

#include <cstdlib>

#include "geometry/mesh/dfTessellationPass.h"

namespace {

// Moves a record's position in face f from one slot to another (both sides of an open
// edge, which name the same face and slot).
void moveSlot(connect_edge& e, std::uint32_t f, std::uint32_t from, std::uint32_t to) {
    if (e.faceA == f && e.posA == from) {
        e.posA = to;
    }
    if (e.faceB == f && e.posB == from) {
        e.posB = to;
    }
}

}  // namespace

bool DFTessellationPass::growEdgeTable() {
    // One record per second half, one spoke per quad.
    const std::size_t total = static_cast<std::size_t>(E_) + splits_.size() + numQuads_;
    void* grown = std::realloc(volume_.edges, sizeof(connect_edge) * total);
    if (!grown) {
        return false;
    }
    volume_.edges = static_cast<connect_edge*>(grown);
    return true;
}

void DFTessellationPass::beginEdgeSplit(std::uint32_t splitIndex) {
    const SplitEdge& split = splits_[splitIndex];
    connect_edge& first = volume_.edges[split.edge];
    connect_edge& second = volume_.edges[E_ + splitIndex];

    // second = midpoint -> old end, first = old start -> midpoint (face A's direction).
    second = first;
    second.flags = static_cast<std::uint16_t>(second.flags & ~EDGE_SPLIT);
    second.v0 = split.vertex;
    second.uvs[EDGE_SLOT_START_A] = split.uv[0];
    second.uvs[EDGE_SLOT_START_B] = split.uv[1];
    first.v1 = split.vertex;
    first.uvs[EDGE_SLOT_END_A] = split.uv[0];
    first.uvs[EDGE_SLOT_END_B] = split.uv[1];
}

void DFTessellationPass::openEdgeSlot(std::uint32_t f, std::uint32_t splitIndex, int side) {
    const SplitEdge& split = splits_[splitIndex];
    const std::uint32_t secondIndex = E_ + splitIndex;
    const std::uint32_t total = E_ + static_cast<std::uint32_t>(splits_.size()) + numQuads_;
    ZYL_DFface& face = mesh_.faces[f];
    const connect_edge& first = volume_.edges[split.edge];
    const std::uint32_t p = side == 0 ? first.posA : first.posB;
    if (p >= face.numEdges || face.edges[p] != split.edge || face.edgeCapacity < face.numEdges + 1) {
        return;  // the face's list does not hold the edge where the record says
    }

    // A face walking the edge forwards meets the first half first; one walking it
    // backwards meets the second half first.
    const std::uint32_t q = split.dir[side] == 1 ? p + 1 : p;
    for (std::uint32_t t = face.numEdges; t > q; --t) {
        const std::uint32_t moved = face.edges[t - 1];
        face.edges[t] = moved;
        if (moved < total) {
            moveSlot(volume_.edges[moved], f, t - 1, t);
        }
    }
    face.edges[q] = secondIndex;
    ++face.numEdges;

    connect_edge& second = volume_.edges[secondIndex];
    if (side == 0) {
        second.posA = q;
        if (second.faceB == second.faceA) {
            second.posB = q;
        }
    } else {
        second.posB = q;
    }
}

void DFTessellationPass::buildSpokes(const ZYL_DFface& face, std::uint32_t centre,
                                     std::uint32_t centreUV, std::uint32_t firstQuad,
                                     std::uint32_t numQuads) {
    const std::uint32_t n = face.numVertices;
    const std::uint32_t base = E_ + static_cast<std::uint32_t>(splits_.size()) + numSpokes_;
    // Spoke r runs from the midpoint after corner 2r to the centre: side A in quad r
    // (slot 1), side B in quad r + 1 (slot 2).
    for (std::uint32_t r = 0; r < numQuads; ++r) {
        const std::uint32_t corner = (2 * r + 1) % n;
        const std::uint32_t cornerUV = hasUVs_ ? face.uvs[corner] : 0;
        connect_edge& spoke = volume_.edges[base + r];
        spoke = connect_edge{};
        spoke.v0 = face.vertices[corner];
        spoke.v1 = centre;
        spoke.uvs[EDGE_SLOT_START_A] = cornerUV;
        spoke.uvs[EDGE_SLOT_START_B] = cornerUV;
        spoke.uvs[EDGE_SLOT_END_A] = centreUV;
        spoke.uvs[EDGE_SLOT_END_B] = centreUV;
        spoke.faceA = firstQuad + r;
        spoke.faceB = firstQuad + (r + 1) % numQuads;
        spoke.posA = 1;
        spoke.posB = 2;
        spoke.dirA = 1;
        spoke.dirB = -1;
        spoke.active = 1;
        spoke.numUVSets = face.numUVSets;
    }
    // Quad r: the half edge leaving corner 2r, its two spokes, the half edge arriving.
    const auto slot = [&](std::uint32_t k) { return k < face.numEdges ? face.edges[k] : 0; };
    for (std::uint32_t r = 0; r < numQuads; ++r) {
        ZYL_DFface& quad = out_.faces[firstQuad + r];
        if (quad.edgeCapacity < 4) {
            continue;
        }
        quad.edges[0] = slot(2 * r);
        quad.edges[1] = base + r;
        quad.edges[2] = base + (r + numQuads - 1) % numQuads;
        quad.edges[3] = slot((2 * r + n - 1) % n);
        quad.numEdges = 4;
    }
    numSpokes_ += numQuads;
}

void DFTessellationPass::renumberEdgeFaces() {
    // Records made before the spokes still name old faces; spokes already name quads.
    const std::uint32_t count = E_ + static_cast<std::uint32_t>(splits_.size());
    std::fill_n(newFaceA_.begin(), count, ABSENT_INDEX);
    std::fill_n(newFaceB_.begin(), count, ABSENT_INDEX);

    // The selected faces' edge lists (with the second halves in them) hand each record
    // side to the quad that now holds it: slot k even is slot 0 of quad k/2, slot k odd
    // is slot 3 of the quad after it.
    for (std::uint32_t j = 0; j < selected_.size(); ++j) {
        const std::uint32_t f = selected_[j];
        const ZYL_DFface& face = mesh_.faces[f];
        const std::uint32_t quads = (face.numVertices + 1) / 2;
        if (quads == 0) {
            continue;
        }
        for (std::uint32_t k = 0; k < face.numEdges; ++k) {
            const std::uint32_t r = face.edges[k];
            if (r >= count) {
                continue;
            }
            const std::uint32_t quad = firstQuad_[j] + (k % 2 == 0 ? k / 2 : ((k + 1) / 2) % quads);
            const std::uint32_t quadSlot = k % 2 == 0 ? 0 : 3;
            connect_edge& e = volume_.edges[r];
            if (e.faceA == f) {
                newFaceA_[r] = quad;
                e.posA = quadSlot;
            }
            if (e.faceB == f) {
                newFaceB_[r] = quad;
                e.posB = quadSlot;
            }
        }
    }
    const auto remap = [this](std::uint32_t f) { return f < F_ && faceMap_[f] != ABSENT_INDEX ? faceMap_[f] : f; };
    for (std::uint32_t r = 0; r < count; ++r) {
        connect_edge& e = volume_.edges[r];
        e.faceA = newFaceA_[r] != ABSENT_INDEX ? newFaceA_[r] : remap(e.faceA);
        e.faceB = newFaceB_[r] != ABSENT_INDEX ? newFaceB_[r] : remap(e.faceB);
    }
}

void DFTessellationPass::finishEdgeTable() {
    volume_.numEdges = E_ + static_cast<std::uint32_t>(splits_.size()) + numSpokes_;
    for (std::uint32_t r = 0; r < volume_.numEdges; ++r) {
        volume_.edges[r].flags = static_cast<std::uint16_t>(volume_.edges[r].flags & ~EDGE_SPLIT);
    }
    // The vertex records describe the mesh before the pass.
    volume_.flags &= ~BVDF_BUILT_VERTICES;
}
