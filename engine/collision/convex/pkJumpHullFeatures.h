#pragma once

// A hull's vertices, edges and faces as the contact builders name them: the edge or
// face that a few touching vertices span, and the face normals around them.

#include <cstdint>

#include "geometry/mesh/bvMesh.h"
#include "math/qmtVector3.h"

namespace PkJumpDetail {

// No edge or face: also the marker the feature ids are compared against.
inline constexpr std::uint32_t NO_FEATURE = 2147483647u;

// A named hull feature: one vertex, an edge (two vertices and its edge id) or a face
// (its first three corners, or the touching vertices, and its face id).
struct HullFeature {
    enum Kind { VERTEX, EDGE, FACE } kind = VERTEX;
    std::uint32_t vertices[3] = {};
    std::uint32_t id = NO_FEATURE;
};

class HullTopology {
public:
    explicit HullTopology(const BVmesh& hull);

    // No vertices, or no vertex links to name features by.
    bool empty() const { return count_ == 0 || !links_; }
    std::uint32_t vertexCount() const { return count_; }
    const Qmt::QmtVector3& vertex(std::uint32_t i) const { return vertices_[i]; }
    const ZYLface& face(std::uint32_t f) const { return mesh_->faces[f]; }
    std::uint32_t faceCount() const { return mesh_->numFaces; }
    Qmt::QmtVector3 faceNormal(std::uint32_t f) const;
    const connect_edge& edge(std::uint32_t e) const { return edges_[e]; }
    const connect_vertex& links(std::uint32_t v) const { return links_[v]; }

    // The first face around v (0 when it has none).
    std::uint32_t firstFace(std::uint32_t v) const;
    // The edge between a and b from a's edge list, or NO_FEATURE.
    std::uint32_t edgeJoining(std::uint32_t a, std::uint32_t b) const;
    // The first face around a that holds b, or NO_FEATURE.
    std::uint32_t faceWith(std::uint32_t a, std::uint32_t b) const;
    // The incident edge of a, then of b, most parallel to b - a (largest |cos|).
    std::uint32_t mostParallelEdge(std::uint32_t a, std::uint32_t b) const;
    // The face of three vertices: the first face holding all three around the vertex
    // with the fewest faces (the later on ties), else the face whose plane fits them
    // best.
    std::uint32_t faceOfThree(const std::uint32_t* v) const;
    // Sum of the world normals of the faces around v (not normalised).
    Qmt::QmtVector3 vertexNormalSum(std::uint32_t v) const;
    // The face's corners in world space; the count (at most 32).
    std::uint32_t facePolygon(std::uint32_t f, Qmt::QmtVector3* out) const;

    // Names 1 to 3 touching vertices. Two vertices: their edge; else the face around
    // the first that holds the second (becoming its first three corners); else an
    // edge of the vertices' own (id by mostParallelEdge). Three: their face.
    HullFeature name(const std::uint32_t* v, std::uint32_t count) const;
    // The face f as a feature: its first three corners and its id.
    HullFeature faceFeature(std::uint32_t f) const;

private:
    const ZYLmesh* mesh_ = nullptr;
    const Qmt::QmtVector3* vertices_ = nullptr;
    std::uint32_t count_ = 0;
    const connect_vertex* links_ = nullptr;
    const connect_edge* edges_ = nullptr;
    std::uint32_t edgeCount_ = 0;
};

}  // namespace PkJumpDetail
