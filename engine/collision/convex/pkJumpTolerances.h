#pragma once

namespace PkJumpDetail {

// Geometric tolerance of every sign and progress test of the convex solver.
inline constexpr double PK_EPS = 1e-5;

}  // namespace PkJumpDetail
