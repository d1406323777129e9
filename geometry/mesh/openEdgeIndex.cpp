#include "geometry/mesh/openEdgeIndex.h"

#include <cstddef>

void OpenEdgeIndex::reset(std::uint32_t maxEdges) {
    // At most one key per corner edge; a table of 1.5 times that many slots or more
    // keeps linear probing short even then (a closed mesh has half as many keys).
    std::size_t size = 16;
    while (size < std::size_t{maxEdges} + maxEdges / 2 + 1) {
        size *= 2;
    }
    slots_.assign(size, Slot{ABSENT_INDEX, ABSENT_INDEX, ABSENT_INDEX});
    mask_ = static_cast<std::uint32_t>(size - 1);
}

std::uint32_t OpenEdgeIndex::matchOrOpen(std::uint32_t a, std::uint32_t b, std::uint32_t id) {
    const std::uint32_t lo = a < b ? a : b;
    const std::uint32_t hi = a < b ? b : a;
    // Vertex indices are below 0xFFFFFFFF, so lo never equals the empty mark.
    const std::uint64_t key = (std::uint64_t{lo} << 32) | hi;
    std::uint32_t i = static_cast<std::uint32_t>((key * 0x9E3779B97F4A7C15ull) >> 32);
    for (;; ++i) {
        Slot& slot = slots_[i & mask_];
        if (slot.lo == lo && slot.hi == hi) {
            const std::uint32_t match = slot.open;
            slot.open = match == ABSENT_INDEX ? id : ABSENT_INDEX;
            return match;
        }
        if (slot.lo == ABSENT_INDEX) {
            slot = Slot{lo, hi, id};
            return ABSENT_INDEX;
        }
    }
}
