#pragma once

#include <cstdint>

#include "host/api/boundingBox.h"

namespace host {

// The object-space box of a shape's geometry (tweaks included); empty for other nodes.
MBoundingBox geometryBoundingBox(std::uint64_t id);

}  // namespace host
