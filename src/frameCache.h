#pragma once

#include <array>
#include <cstdint>
#include <memory>

// The poses a rigid body had after each simulated frame, kept for replay without
// stepping the engine. Entry i is the i-th pose appended since the cache was emptied;
// a null array means no cache. The arrays go with the cache.
struct RigidBodyFrameCache {
    std::uint32_t count = 0;     // frames stored, never above capacity
    std::int32_t capacity = 0;   // frames the arrays can hold
    std::unique_ptr<std::array<double, 3>[]> positions;     // centre of mass x, y, z
    std::unique_ptr<std::array<double, 4>[]> orientations;  // engine quaternion w, x, y, z
};
