#pragma once

#include <array>
#include <cstdint>
#include <memory>

class HardBody;

// The poses a rigid body had after each simulated frame, kept for replay without
// stepping the engine. Entry i is the i-th pose appended since the cache was emptied;
// a null array means no cache. The arrays go with the cache.
struct RigidBodyFrameCache {
    std::uint32_t count = 0;     // frames stored, never above capacity
    std::int32_t capacity = 0;   // frames the arrays can hold
    std::unique_ptr<std::array<double, 3>[]> positions;     // centre of mass x, y, z
    std::unique_ptr<std::array<double, 4>[]> orientations;  // engine quaternion w, x, y, z

    // A fresh, empty cache of n frames; n <= 0 changes nothing. When the positions
    // cannot be had, the cache keeps the capacity but holds no arrays. False when an
    // array could not be had.
    bool allocate(int n);
    // n frames, keeping the stored ones (those past the new capacity are dropped).
    // Only for a cache that holds both arrays, and n >= 1. False when the new arrays
    // could not be had: the cache is then empty.
    bool resize(int n);
    // Stores the body's current pose as the next frame; a full cache, a missing body or
    // missing arrays refuse silently.
    void append(const HardBody* body);
    // Whether frame k is stored and holds the same pose as frame 0, bit for bit.
    bool holdsStartPose(std::int64_t k) const;
};
