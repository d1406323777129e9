#pragma once

// Replaces the nothrow forms of operator new and new[] for the test program whose one
// source file includes this header: a test can count the single-object allocations
// and make the next allocation of either form fail.

#include <cstddef>
#include <new>
#include <utility>

namespace zyltest {

inline int nothrowAllocations = 0;      // nothrow operator new calls that succeeded
inline bool failNextNothrowNew = false;       // the next nothrow operator new returns null
inline bool failNextNothrowArrayNew = false;  // the next nothrow operator new[] returns null

}  // namespace zyltest

void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    if (std::exchange(zyltest::failNextNothrowNew, false)) {
        return nullptr;
    }
    ++zyltest::nothrowAllocations;
    try {
        return ::operator new(size);
    } catch (...) {
        return nullptr;
    }
}

void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    if (std::exchange(zyltest::failNextNothrowArrayNew, false)) {
        return nullptr;
    }
    try {
        return ::operator new[](size);
    } catch (...) {
        return nullptr;
    }
}
