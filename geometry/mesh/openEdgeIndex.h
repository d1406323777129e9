#pragma once

#include <cstdint>
#include <vector>

#include "geometry/mesh/connectivity.h"

// Finds the partner of a polygon edge among the still-open edges of a connectivity
// build in constant time.
//
// The builders keep their open edges as a list and close, for each corner edge (a, b),
// the first open edge with the same two vertices in either direction; an edge that
// finds no partner opens. So a key {a, b} never has more than one open edge, and a
// hash table from the key to that edge gives the list walk's results without its
// quadratic cost. A key whose edge has closed opens again on its next corner edge
// (edges shared by more than two faces).
//
// Edge ids are the caller's own numbers (normally creation order).
class OpenEdgeIndex {
public:
    // Prepares for up to maxEdges corner edges; forgets everything held. May throw
    // std::bad_alloc.
    void reset(std::uint32_t maxEdges);

    // When an open edge joins a and b (either direction), closes it and returns its id; otherwise records `id` as a new open edge (a, b) and returns
    // ABSENT_INDEX.
    std::uint32_t matchOrOpen(std::uint32_t a, std::uint32_t b, std::uint32_t id);

private:
    struct Slot {
        std::uint32_t lo;   // smaller vertex; ABSENT_INDEX marks an empty slot
        std::uint32_t hi;
        std::uint32_t open;  // open edge of the key, ABSENT_INDEX when none
    };

    std::vector<Slot> slots_;
    std::uint32_t mask_ = 0;
};
