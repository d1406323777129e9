#include "src/frameCache.h"

#include <algorithm>
#include <new>

#include "engine/bodies/hardBody.h"

namespace {

using Positions = std::unique_ptr<std::array<double, 3>[]>;
using Orientations = std::unique_ptr<std::array<double, 4>[]>;

// Positions start zeroed; orientations are only read below the count, so they are not.
Positions newPositions(int n) { return Positions(new (std::nothrow) std::array<double, 3>[n]()); }
Orientations newOrientations(int n) { return Orientations(new (std::nothrow) std::array<double, 4>[n]); }

}  // namespace

bool RigidBodyFrameCache::allocate(int n) {
    if (n <= 0) return true;
    positions.reset();
    orientations.reset();
    count = 0;
    capacity = n;
    positions = newPositions(n);
    if (positions) orientations = newOrientations(n);
    return positions && orientations;
}

bool RigidBodyFrameCache::resize(int n) {
    if (!positions || !orientations || n < 1) return true;
    // Frames past the new capacity cannot be kept: the cache is cut to fit.
    const std::uint32_t kept = std::min(count, static_cast<std::uint32_t>(n));
    Positions oldPositions = std::move(positions);
    Orientations oldOrientations = std::move(orientations);
    capacity = n;
    positions = newPositions(n);
    if (positions) orientations = newOrientations(n);
    if (!positions || !orientations) {
        count = 0;
        return false;
    }
    std::copy_n(oldPositions.get(), kept, positions.get());
    std::copy_n(oldOrientations.get(), kept, orientations.get());
    count = kept;
    return true;
}

void RigidBodyFrameCache::append(const HardBody* body) {
    if (!body || !positions || !orientations || count >= static_cast<std::uint32_t>(std::max(capacity, 0))) return;
    const RBDynamics& state = body->getDyn();
    positions[count] = {state.position.x, state.position.y, state.position.z};
    const Qmt::Quaternion& q = state.orientation;
    orientations[count] = {q.W(), q.X(), q.Y(), q.Z()};
    ++count;
}

bool RigidBodyFrameCache::holdsStartPose(std::int64_t k) const {
    if (k < 0 || k >= count || !positions || !orientations) return false;
    return positions[k] == positions[0] && orientations[k] == orientations[0];
}
