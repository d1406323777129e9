#pragma once

#include "host/api/boundingBox.h"
#include "host/api/matrix.h"

// How the view maps the world to its pixels. Needs no GL context: screen
// selection and the camera fit use it in every mode.
namespace host::view {

struct ViewProjection {
    int width = 640, height = 480;  // port size in pixels
    double fovY = 0;                // vertical field of view, radians
    double nearClip = 0.1, farClip = 1000;
    MMatrix cameraWorld;    // the camera's world matrix (row vectors)
    MMatrix worldToCamera;  // its inverse
    // Camera space to clip space for row vectors: clip = p · worldToCamera · projection.
    // Its rows laid out in memory are OpenGL's column-major projection matrix.
    MMatrix projection;
    MBoundingBox sceneBox;  // what near and far were fitted to: visibleSceneBox()
};

// The projection of "viewCamera" for the current port size, near and far planes
// fitted to the scene's visible content.
ViewProjection currentProjection();

// A world point to view pixels (origin bottom left, pixel centres at +0.5).
// False when the point lies behind the camera.
bool worldToPort(const ViewProjection& projection, double x, double y, double z, double& px, double& py);

// The world box of every visible, non-intermediate mesh instance and of every
// visible bounded locator; empty for an empty scene.
MBoundingBox visibleSceneBox();

// Moves "viewCamera", keeping its direction, so that the visible scene box lies
// inside the view (its bounding sphere centred, touching the narrower side). False when there is nothing to fit.
bool fitViewCamera();

}  // namespace host::view
