#pragma once

#include <cstdint>

namespace host {

class Registry;

// The host's own node types: transform, mesh, curves, surfaces, camera,
// animation curves, motion path, fields, rigid body and the pass-through kinds.
void registerSceneTypes(Registry& registry);
// The view's camera "viewCamera" (transform) with its shape; returns the shape.
std::uint64_t createViewCamera();

}  // namespace host
