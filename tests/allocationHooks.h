#pragma once

// Replaces the nothrow forms of operator new and new[] for the test program whose one
// source file includes this header: a test can count the allocations of either form and
// make the next allocation of one form, or the k-th nothrow allocation of any form,
// fail.

#include <cstddef>
#include <new>
#include <utility>

namespace zyltest {

inline int nothrowAllocations = 0;       // nothrow operator new calls that succeeded
inline int nothrowArrayAllocations = 0;  // nothrow operator new[] calls that succeeded
inline bool failNextNothrowNew = false;       // the next nothrow operator new returns null
inline bool failNextNothrowArrayNew = false;  // the next nothrow operator new[] returns null
// When set to k > 0, the k-th nothrow allocation from now (either form) returns null;
// every nothrow allocation counts it down, so it is 0 again afterwards.
inline int failNthNothrowAllocation = 0;

// Whether the allocation now asked for fails; failNext is the flag of its form.
inline bool nothrowAllocationFails(bool& failNext) {
    if (failNthNothrowAllocation > 0 && --failNthNothrowAllocation == 0) {
        return true;
    }
    return std::exchange(failNext, false);
}

}  // namespace zyltest

void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    if (zyltest::nothrowAllocationFails(zyltest::failNextNothrowNew)) {
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
    if (zyltest::nothrowAllocationFails(zyltest::failNextNothrowArrayNew)) {
        return nullptr;
    }
    ++zyltest::nothrowArrayAllocations;
    try {
        return ::operator new[](size);
    } catch (...) {
        return nullptr;
    }
}
