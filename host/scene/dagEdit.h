#pragma once

#include <cstdint>

#include "host/api/matrix.h"
#include "host/api/status.h"

namespace host::dag {

// Sets a transform's channels so that its local matrix becomes `local`; the
// pivots stay, the translation absorbs them (shear is lost).
MStatus setLocalMatrix(std::uint64_t transform, const MMatrix& local);
// The world matrix of the node's first path.
MMatrix firstPathMatrix(std::uint64_t node);
// Moves the node under a new parent (0: the world) and keeps its world matrix.
MStatus reparentKeepingWorld(std::uint64_t node, std::uint64_t parent);
// The same with the parent's world matrix (firstPathMatrix) known: moving nodes that
// are not its ancestors under it leaves that matrix as it is.
MStatus reparentKeepingWorld(std::uint64_t node, std::uint64_t parent, const MMatrix& parentWorld);

}  // namespace host::dag
