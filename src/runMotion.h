#pragma once

#include <cstdint>
#include <vector>

#include "host/api/dagPath.h"
#include "host/api/hostTime.h"

// The animation that moved a run's crackers and animated bodies, kept as a digest of the
// values their driven channels had at each time the run took. A cached run holds only
// while the animation still gives those values: new keys, a moved key or a reshaped
// motion path make its frames wrong.
class RunMotion {
public:
    // A new run: nothing recorded yet.
    void clear();
    // Adds the values that the channels driven by connections (keys, motion paths) of
    // the transforms and their parents have at t.
    void record(const std::vector<MDagPath>& transforms, const MTime& t);
    // Whether the transforms' animation gives at every recorded time the recorded values.
    bool matches(const std::vector<MDagPath>& transforms) const;

private:
    static constexpr std::uint64_t kSeed = 14695981039346656037ull;

    std::vector<MTime> times_;
    std::uint64_t digest_ = kSeed;
};
