// The selection mode and masks, and picking transforms from view pixels.

#include <algorithm>
#include <cmath>
#include <limits>

#include "host/api/global.h"
#include "host/api/pxLocatorNode.h"
#include "host/core/runtime.h"
#include "host/scene/dag.h"
#include "host/scene/geometryBox.h"
#include "host/view/interaction.h"
#include "host/view/projection.h"

using host::view::interaction;

namespace {

// How far from a click a shape's centre may project and still be picked, in pixels.
constexpr double kPickRadius = 4.0;

// The centre of the shape's box in its own space; the origin for a locator
// without a box and for a shape without geometry.
MPoint localCentre(const host::Node& node) {
    if (node.user && node.user->type() == MPxNode::kLocatorNode) {
        const auto* locator = static_cast<const MPxLocatorNode*>(node.user.get());
        const MBoundingBox box = locator->isBounded() ? locator->boundingBox() : MBoundingBox();
        return box.isEmpty() ? MPoint() : box.center();
    }
    const MBoundingBox box = host::geometryBoundingBox(node.id);
    return box.isEmpty() ? MPoint() : box.center();
}

struct Candidate {
    std::uint64_t transform = 0;
    double x = 0, y = 0;  // view pixels
};

// Every pickable shape instance: visible, not intermediate, not the camera;
// with the transform right above it and where its centre lands in the view.
std::vector<Candidate> candidates() {
    using namespace host;
    std::vector<Candidate> out;
    const view::ViewProjection projection = view::currentProjection();
    Scene& scene = runtime().scene;
    for (const auto id : scene.nodeIds()) {
        const Node* n = scene.find(id);
        if (!n || !dag::isShapeType(*n->type) || MFn::isA(n->type->apiType, MFn::kCamera) || dag::isIntermediate(id))
            continue;
        const MPoint centre = localCentre(*n);
        for (const auto& path : dag::pathsTo(id)) {
            if (path.size() < 2 || dag::hidden(path)) continue;
            const MPoint world = centre * dag::pathMatrix(path, path.size());
            Candidate c;
            c.transform = path[path.size() - 2];
            if (view::worldToPort(projection, world.x, world.y, world.z, c.x, c.y)) out.push_back(c);
        }
    }
    return out;
}

}  // namespace

MGlobal::MSelectionMode MGlobal::selectionMode(MStatus* status) {
    if (status) *status = MS::kSuccess;
    return interaction().selectionMode;
}

MStatus MGlobal::setSelectionMode(MSelectionMode mode) {
    if (mode != kSelectObjectMode && mode != kSelectComponentMode)
        return MStatus(MS::kInvalidParameter, "unknown selection mode");
    interaction().selectionMode = mode;
    return MS::kSuccess;
}

MSelectionMask MGlobal::objectSelectionMask(MStatus* status) {
    if (status) *status = MS::kSuccess;
    return interaction().objectMask;
}

MStatus MGlobal::setObjectSelectionMask(const MSelectionMask& mask) {
    interaction().objectMask = mask;
    return MS::kSuccess;
}

MSelectionMask MGlobal::componentSelectionMask(MStatus* status) {
    if (status) *status = MS::kSuccess;
    return interaction().componentMask;
}

MStatus MGlobal::setComponentSelectionMask(const MSelectionMask& mask) {
    interaction().componentMask = mask;
    return MS::kSuccess;
}

// Pixel (x, y) covers [x, x + 1) x [y, y + 1); a click is at the pixel's centre.
MStatus MGlobal::selectFromScreen(short left, short top, short right, short bottom, ListAdjustment mode,
                                  MSelectionMethod) {
    const double x0 = std::min(left, right), x1 = std::max(left, right) + 1.0;
    const double y0 = std::min(top, bottom), y1 = std::max(top, bottom) + 1.0;
    const bool click = left == right && top == bottom;
    std::vector<std::uint64_t> picked;
    if (click) {
        double best = kPickRadius;
        std::uint64_t nearest = 0;
        for (const Candidate& c : candidates()) {
            const double d = std::hypot(c.x - (left + 0.5), c.y - (bottom + 0.5));
            if (d <= best && (nearest == 0 || d < best)) {
                best = d;
                nearest = c.transform;
            }
        }
        if (nearest) picked.push_back(nearest);
    } else {
        for (const Candidate& c : candidates())
            if (c.x >= x0 && c.x < x1 && c.y >= y0 && c.y < y1 &&
                std::find(picked.begin(), picked.end(), c.transform) == picked.end())
                picked.push_back(c.transform);
    }
    MSelectionList list;
    for (const auto id : picked) list.add(MObject::fromNode(id));
    return setActiveSelectionList(list, mode);
}
