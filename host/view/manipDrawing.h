#pragma once

class M3dView;

namespace host::view {

// Draws every shown manipulator container: its own draw, then each visible
// free-point triad (three axis lines and a point). GL calls: the caller holds a
// current GL context (the view's refresh calls it only then).
void drawManipulators(M3dView& view);

}  // namespace host::view
