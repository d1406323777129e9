#pragma once

#include <cstdint>

#include "host/api/status.h"

namespace host::dag {

// Copies a transform with everything below it, or a shape under a copy of its
// transform, at the world root. Dynamic attributes and stored values are copied;
// connections are not. A node instanced within the copied tree is copied once
// and instanced the same way in the copy. Returns the new top transform, 0 on
// failure.
std::uint64_t duplicate(std::uint64_t node, MStatus* status = nullptr);

}  // namespace host::dag
