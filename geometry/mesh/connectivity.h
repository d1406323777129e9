#pragma once

#include <cstdint>
#include <type_traits>

// Index value that stands for "no face / vertex / edge / position".
inline constexpr std::uint32_t ABSENT_INDEX = 0xFFFFFFFFu;

// connect_edge::flags bits.
inline constexpr std::uint16_t EDGE_SPLIT = 1;    // split by the current tessellation pass
inline constexpr std::uint16_t EDGE_UV_SETS = 4;  // carries extra UV-set indices

// Slot codes selecting one end of an edge on one side: they index normals[] and
// uvs[] directly; for the extra UV sets start-A/start-B are uvSetStart[s][0]/[1]
// and end-A/end-B are uvSetEnd[s][0]/[1].
inline constexpr std::uint32_t EDGE_SLOT_START_A = 0;
inline constexpr std::uint32_t EDGE_SLOT_START_B = 1;
inline constexpr std::uint32_t EDGE_SLOT_END_A = 2;
inline constexpr std::uint32_t EDGE_SLOT_END_B = 3;

// One distinct undirected edge of a mesh and the two faces it separates. A plain
// record: tables of it are allocated with malloc and each builder fills only the
// fields it needs, leaving the others as they were.
//
// Face A is the first face met that has the edge, face B the second; while the edge
// has only one face (open or boundary edge) faceB == faceA and posB == posA.
struct connect_edge {
    std::uint32_t v0;                // start vertex, in face A's walking direction
    std::uint32_t v1;                // end vertex
    std::uint32_t normals[4];        // corner-normal index by slot code
    std::uint32_t uvs[4];            // UV index by slot code
    std::uint32_t uvSetStart[8][2];  // per extra UV set (sets 2..9): start in A, in B
    std::uint32_t uvSetEnd[8][2];    // per extra UV set: end in A, in B
    std::uint32_t faceA;             // ABSENT_INDEX where a builder marks no face
    std::uint32_t faceB;
    std::uint32_t posA;              // the edge's slot in face A's edge list
    std::uint32_t posB;
    std::int16_t dirA;               // 1 along face A's winding, -1 against it
    std::int16_t dirB;
    std::uint16_t flags;             // EDGE_SPLIT, EDGE_UV_SETS
    std::uint8_t active;             // 1 = at or above the current cutting plane
    std::uint8_t numUVSets;          // UV sets of the faces the edge came from
};

// A blank record: vertices, attribute indices, faces and positions absent, no
// direction or flags, one UV set, active.
inline void clearConnectEdge(connect_edge& e) {
    e.v0 = e.v1 = ABSENT_INDEX;
    for (std::uint32_t slot = 0; slot < 4; ++slot) {
        e.normals[slot] = ABSENT_INDEX;
        e.uvs[slot] = ABSENT_INDEX;
    }
    for (std::uint32_t s = 0; s < 8; ++s) {
        e.uvSetStart[s][0] = e.uvSetStart[s][1] = ABSENT_INDEX;
        e.uvSetEnd[s][0] = e.uvSetEnd[s][1] = ABSENT_INDEX;
    }
    e.faceA = e.faceB = ABSENT_INDEX;
    e.posA = e.posB = ABSENT_INDEX;
    e.dirA = e.dirB = 0;
    e.flags = 0;
    e.active = 1;
    e.numUVSets = 1;
}

// The faces and edges meeting at one vertex. The arrays belong to whoever holds the
// record array, which frees them before the records.
struct connect_vertex {
    std::uint32_t numFaces;
    std::uint32_t* faces;  // one entry per corner that sits on the vertex
    std::uint32_t numEdges;
    std::uint32_t* edges;  // edges ending at the vertex
};

static_assert(std::is_trivial_v<connect_edge> && std::is_standard_layout_v<connect_edge>);
static_assert(std::is_trivial_v<connect_vertex> && std::is_standard_layout_v<connect_vertex>);
