#pragma once

#include <memory>

class HardBody;

// The shared array behind getCollidingBodies: made on its first use, reused by every
// later query and freed with the manager that owns the module-level state.
std::unique_ptr<HardBody*[]>& collidingBodiesArray();
