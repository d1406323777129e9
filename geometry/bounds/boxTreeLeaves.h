#pragma once

#include <cstdint>

#include "geometry/bounds/boxTree.h"

// Fills the tree's leaf array (the leafCount slots its build made) with its leaves,
// depth first, the left child before the right. Returns the number of slots written;
// 0 for a tree without a root or a leaf array. Walks stop at leafCount slots.
std::uint32_t fillLeafArray(Binary_Tree<BVbox>& tree);
