#pragma once

#include <cstdint>
#include <utility>
#include <vector>

struct ZYLbox;

// The pairs (i, j), i < j, of boxes that may overlap once each box's half extents grow by
// `grow`: every pair that orientedBoxesOverlap accepts is among them, in the order of
// the loops "for i, for j > i". A sweep over the boxes' axis-aligned bounds finds them
// without trying every pair; the joint builders test only these and so find the same
// joints, in the same order, as they would trying all pairs.
//
// Bounds are widened by a margin well above rounding, so a pair is left out only when
// its boxes are clearly apart. A box that is not finite, or whose axes are not
// orthonormal, is paired with every other box.
std::vector<std::pair<std::uint32_t, std::uint32_t>> overlapCandidates(const std::vector<const ZYLbox*>& boxes,
                                                                      double grow);
