#include "host/view/projection.h"

#include <algorithm>
#include <cmath>

#include "host/api/pxLocatorNode.h"
#include "host/core/runtime.h"
#include "host/scene/dag.h"
#include "host/scene/geometryBox.h"
#include "host/scene/meshShape.h"
#include "host/scene/transformChannels.h"
#include "host/view/viewState.h"

namespace host::view {

namespace {

// The camera's film gate height in millimetres: with the focal length it gives the
// vertical field of view.
constexpr double kFilmHeightMm = 24.0;

double focalLength(std::uint64_t camera) {
    Scene& scene = runtime().scene;
    Node* n = scene.find(camera);
    const Attribute* a = n ? scene.findAttribute(*n, "focalLength") : nullptr;
    const double f = a ? valueAsDouble(scene.read(PlugKey{camera, scene.attributePtr(*n, a), -1})) : 35.0;
    return f > 1e-3 ? f : 35.0;
}

MMatrix cameraWorldMatrix() {
    const std::uint64_t camera = runtime().cameraNode;
    if (!runtime().scene.find(camera)) return MMatrix();
    const auto paths = dag::pathsTo(camera);
    return paths.empty() ? MMatrix() : dag::pathMatrix(paths.front(), paths.front().size());
}

// OpenGL's perspective matrix, transposed for row vectors.
MMatrix perspective(double fovY, double aspect, double zNear, double zFar) {
    const double f = 1.0 / std::tan(fovY / 2);
    MMatrix p;
    p[0][0] = f / aspect;
    p[1][1] = f;
    p[2][2] = (zFar + zNear) / (zNear - zFar);
    p[2][3] = -1;
    p[3][2] = 2 * zFar * zNear / (zNear - zFar);
    p[3][3] = 0;
    return p;
}

// Read in place unless tweaks have to be applied.
MBoundingBox meshBox(std::uint64_t id) {
    if (hasTweaks(id)) return geometryBoundingBox(id);
    MBoundingBox box;
    if (const auto data = shapeMeshData(id))
        for (const auto& p : data->geometry.points) box.expand(MPoint(p[0], p[1], p[2]));
    return box;
}

}  // namespace

MBoundingBox visibleSceneBox() {
    MBoundingBox box;
    Scene& scene = runtime().scene;
    for (const auto id : scene.nodeIds()) {
        const Node* n = scene.find(id);
        if (!n) continue;
        const bool mesh = n->type->apiType == MFn::kMesh && !dag::isIntermediate(id);
        const auto* locator = n->user && n->user->type() == MPxNode::kLocatorNode
                                  ? static_cast<const MPxLocatorNode*>(n->user.get())
                                  : nullptr;
        if (!mesh && !(locator && locator->isBounded())) continue;
        const MBoundingBox local = mesh ? meshBox(id) : locator->boundingBox();
        if (local.isEmpty()) continue;
        for (const auto& path : dag::pathsTo(id)) {
            if (dag::hidden(path)) continue;
            MBoundingBox world = local;
            box.expand(world.transformUsing(dag::pathMatrix(path, path.size())));
        }
    }
    return box;
}

ViewProjection currentProjection() {
    ViewProjection v;
    v.width = std::max(1, state().width);
    v.height = std::max(1, state().height);
    v.fovY = 2 * std::atan(kFilmHeightMm / 2 / focalLength(runtime().cameraNode));
    v.cameraWorld = cameraWorldMatrix();
    v.worldToCamera = v.cameraWorld.inverse();
    // Near and far enclose the scene's bounding sphere (at least a unit one at the
    // origin, so the grid shows in an empty scene) with room for the grid around it.
    v.sceneBox = visibleSceneBox();
    MBoundingBox box = v.sceneBox;
    box.expand(MPoint(-1, -1, -1));
    box.expand(MPoint(1, 1, 1));
    const MPoint c = box.center();
    const double r = (box.max() - box.min()).length() / 2;
    const MPoint eye = MPoint() * v.cameraWorld;
    const double d = (c - eye).length();
    v.farClip = (d + r) * 3;
    v.nearClip = std::max(v.farClip * 1e-4, (d - r) * 0.5);
    v.projection = perspective(v.fovY, double(v.width) / v.height, v.nearClip, v.farClip);
    return v;
}

bool worldToPort(const ViewProjection& projection, double x, double y, double z, double& px, double& py) {
    const MMatrix m = projection.worldToCamera * projection.projection;
    double clip[4];
    for (int k = 0; k < 4; ++k) clip[k] = x * m[0][k] + y * m[1][k] + z * m[2][k] + m[3][k];
    if (clip[3] <= 1e-12) return false;
    px = (clip[0] / clip[3] + 1) / 2 * projection.width;
    py = (clip[1] / clip[3] + 1) / 2 * projection.height;
    return true;
}

bool fitViewCamera() {
    const MBoundingBox box = visibleSceneBox();
    if (box.isEmpty()) return false;
    const ViewProjection v = currentProjection();
    const MVector dir = (MVector(0, 0, -1) * v.cameraWorld).normal();
    // The distance at which the box's bounding sphere touches the narrower half angle.
    const double halfY = v.fovY / 2;
    const double halfX = std::atan(std::tan(halfY) * v.width / v.height);
    const double r = std::max((box.max() - box.min()).length() / 2, 1e-3);
    const double distance = r / std::sin(std::min(halfX, halfY)) * 1.05;
    const MPoint eye = box.center() - dir * distance;
    // The eye goes into the camera transform's parent space.
    const auto paths = dag::pathsTo(runtime().cameraNode);
    if (paths.empty() || paths.front().size() < 2) return false;
    const std::uint64_t transform = paths.front()[paths.front().size() - 2];
    const MMatrix parent = dag::pathMatrix(paths.front(), paths.front().size() - 2);
    const MPoint local = eye * parent.inverse();
    return static_cast<bool>(dag::writeVector(transform, "translate", MVector(local)));
}

}  // namespace host::view
