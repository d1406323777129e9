#pragma once

#include <cstdint>
#include <vector>

// Sorts items stably by key(item), a key of `bytes` bytes (at most 8), a byte at a time
// through `other`, skipping the bytes all keys share. Items of equal keys keep their
// order.
template <class Item, class Key>
void radixSort(std::vector<Item>& items, std::vector<Item>& other, unsigned bytes, Key key) {
    if (items.empty()) {
        return;
    }
    std::uint32_t counts[8][256] = {};
    for (const Item& item : items) {
        const std::uint64_t k = key(item);
        for (unsigned d = 0; d < bytes; ++d) {
            ++counts[d][k >> 8 * d & 255];
        }
    }
    other.resize(items.size());
    const std::uint64_t first = key(items.front());
    for (unsigned d = 0; d < bytes; ++d) {
        if (counts[d][first >> 8 * d & 255] == items.size()) {
            continue;
        }
        std::uint32_t at[256];
        std::uint32_t sum = 0;
        for (unsigned b = 0; b < 256; ++b) {
            at[b] = sum;
            sum += counts[d][b];
        }
        for (const Item& item : items) {
            other[at[key(item) >> 8 * d & 255]++] = item;
        }
        items.swap(other);
    }
}
