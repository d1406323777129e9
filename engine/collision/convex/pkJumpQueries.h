#pragma once

#include <cstdint>

class BVbox;
class BVmesh;

// One-shot overlap queries on the process-wide convex solver, each from a fresh
// search state (the first direction runs between the two centres). Both answer 1
// (overlap) while no solver instance exists, 0 when a separating direction was found
// or the search could not decide, and 1 otherwise. A null argument answers 1.

// Hull against oriented box. The lane is not read.
std::uint32_t pkJumpHullBoxQuery(const BVmesh* hull, const BVbox* box, int lane);

// Hull against hull; hill-climbing on a hull needs its edge table and vertex lists.
std::uint32_t pkJumpHullHullQuery(const BVmesh* hullA, const BVmesh* hullB);
