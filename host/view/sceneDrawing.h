#pragma once

#include "host/api/view3d.h"
#include "host/view/projection.h"

namespace host::view {

// The view's own drawing, with its GL context current and the camera's matrices
// loaded: the picture cleared, the grid on the up-axis plane (when shown), and
// every visible, non-intermediate mesh instance flat-shaded under a head light in
// the colours of its current colour set (grey without one); wireframe style draws
// the meshes' edges instead.
void drawSceneGeometry(const ViewProjection& projection, M3dView::DisplayStyle style);

// Loads the projection and model-view = model · inverse camera matrix (row vectors).
void loadViewMatrices(const ViewProjection& projection, const MMatrix& model = MMatrix());

}  // namespace host::view
