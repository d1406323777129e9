#pragma once

#include <algorithm>
#include <cstdint>
#include <new>
#include <vector>

#include "geometry/mesh/meshRecords.h"
#include "math/qmtVector3.h"

// Per-corner attribute tables (corner normals, UVs, extra UV sets) of the faces a cut
// writes back, compacted to the entries the alive faces use: indices not below `count`
// read as 0, the used entries are numbered in index order into a new array of
// max(used, minimumLength, 1) entries (the tail zero). A compaction is planned first
// and applied to the faces only once every allocation of the write-back has succeeded.
struct Compacted {
    Qmt::QmtVector3* values = nullptr;  // null when memory ran out
    std::uint32_t used = 0;             // entries the faces use
    std::uint32_t length = 0;           // entries allocated in values
    std::uint32_t count = 0;            // entries before compaction
    std::vector<std::uint32_t> newIndex;
};

// indicesOf(face) gives the face's index array, or null for a face that does not carry
// the attribute.
template <class IndicesOf>
Compacted planCompaction(const ZYL_DFface* faces, std::uint32_t faceCount, const Qmt::QmtVector3* values,
                         std::uint32_t count, std::uint32_t minimumLength, IndicesOf indicesOf) {
    Compacted result;
    result.count = count;
    result.newIndex.assign(count, ABSENT_INDEX);
    for (std::uint32_t f = 0; f < faceCount && count > 0; ++f) {
        const ZYL_DFface& face = faces[f];
        const std::uint32_t* indices = face.alive == 1 ? indicesOf(face) : nullptr;
        if (!indices) {
            continue;
        }
        for (std::uint32_t k = 0; k < face.numVertices; ++k) {
            result.newIndex[indices[k] < count ? indices[k] : 0] = 0;
        }
    }
    for (std::uint32_t& index : result.newIndex) {
        if (index != ABSENT_INDEX) {
            index = result.used++;
        }
    }
    result.length = std::max({result.used, minimumLength, 1u});
    result.values = new (std::nothrow) Qmt::QmtVector3[result.length]();
    if (result.values) {
        for (std::uint32_t i = 0; i < count; ++i) {
            if (result.newIndex[i] != ABSENT_INDEX) {
                result.values[result.newIndex[i]] = values[i];
            }
        }
    }
    return result;
}

template <class IndicesOf>
void applyCompaction(ZYL_DFface* faces, std::uint32_t faceCount, const Compacted& plan, IndicesOf indicesOf) {
    for (std::uint32_t f = 0; f < faceCount; ++f) {
        ZYL_DFface& face = faces[f];
        std::uint32_t* indices = face.alive == 1 ? indicesOf(face) : nullptr;
        if (!indices) {
            continue;
        }
        for (std::uint32_t k = 0; k < face.numVertices; ++k) {
            indices[k] = plan.count == 0 ? 0 : plan.newIndex[indices[k] < plan.count ? indices[k] : 0];
        }
    }
}

// Makes room for at least `length` entries, the new ones zero; false when memory runs out.
inline bool growCompacted(Compacted& table, std::uint32_t length) {
    if (length <= table.length) {
        return true;
    }
    auto* grown = new (std::nothrow) Qmt::QmtVector3[length]();
    if (!grown) {
        return false;
    }
    std::copy(table.values, table.values + table.length, grown);
    delete[] table.values;
    table.values = grown;
    table.length = length;
    return true;
}

// Appends one used entry; its index, or ABSENT_INDEX when memory runs out.
inline std::uint32_t appendCompacted(Compacted& table, const Qmt::QmtVector3& value) {
    if (!table.values || (table.used >= table.length && !growCompacted(table, 2 * table.length + 1))) {
        return ABSENT_INDEX;
    }
    table.values[table.used] = value;
    return table.used++;
}
