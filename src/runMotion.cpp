#include "src/runMotion.h"

#include <algorithm>
#include <bit>
#include <iterator>

#include "host/api/dgContext.h"
#include "host/api/plug.h"
#include "src/bodyShared.h"

namespace {

// The channels a connection drives, on the transforms and every transform above them.
std::vector<MPlug> channelsAbove(const std::vector<MDagPath>& transforms) {
    std::vector<MPlug> channels;
    for (MDagPath path : transforms)
        for (; path.isValid() && path.length() > 0; path.pop())
            if (path.hasFn(MFn::kTransform))
                std::ranges::copy(drivenChannels(path.node()), std::back_inserter(channels));
    return channels;
}

// FNV-1a over the bytes of a 64-bit word.
std::uint64_t mix(std::uint64_t digest, std::uint64_t word) {
    for (int i = 0; i < 8; ++i) {
        digest ^= (word >> (8 * i)) & 0xffu;
        digest *= 1099511628211ull;
    }
    return digest;
}

// The channels' values at t, read at that time whatever the current time is.
std::uint64_t mixValues(std::uint64_t digest, const std::vector<MPlug>& channels, const MTime& t) {
    const MDGContext at(t);
    digest = mix(digest, channels.size());
    for (const MPlug& channel : channels) digest = mix(digest, std::bit_cast<std::uint64_t>(channel.asDouble(at)));
    return digest;
}

}  // namespace

void RunMotion::clear() {
    times_.clear();
    digest_ = kSeed;
}

void RunMotion::record(const std::vector<MDagPath>& transforms, const MTime& t) {
    times_.push_back(t);
    digest_ = mixValues(digest_, channelsAbove(transforms), t);
}

bool RunMotion::matches(const std::vector<MDagPath>& transforms) const {
    const std::vector<MPlug> channels = channelsAbove(transforms);
    std::uint64_t digest = kSeed;
    for (const MTime& t : times_) digest = mixValues(digest, channels, t);
    return digest == digest_;
}
