#pragma once

#include "host/core/scene.h"

namespace host {

// Keys the plug at the time: the animation curve feeding it takes the key, or a
// new one "<node>_<attribute>" is made, fed by the time node and connected.
MStatus setKeyframe(const PlugKey& plug, const MTime& time, double value, bool stepped);
// The animation curve feeding the plug, or 0.
std::uint64_t animCurveOf(const PlugKey& plug);

}  // namespace host
