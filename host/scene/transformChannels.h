#pragma once

#include <cstdint>

#include "host/api/dgContext.h"
#include "host/api/transformationMatrix.h"

namespace host::dag {

// A transform node's channels as one transformation (Euler angles as stored).
bool hasChannels(std::uint64_t id);
MTransformationMatrix readChannels(std::uint64_t id, const MDGContext& ctx = MDGContext::fsNormal);
MStatus writeChannels(std::uint64_t id, const MTransformationMatrix& m);
// Whether a connection feeds any of the channels (or a part of one).
bool channelsFed(std::uint64_t id);
MVector readVector(std::uint64_t id, const char* attr, const MDGContext& ctx = MDGContext::fsNormal);
MStatus writeVector(std::uint64_t id, const char* attr, const MVector& v);

}  // namespace host::dag
