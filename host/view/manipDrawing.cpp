#include "host/view/manipDrawing.h"

#include <GL/gl.h>

#include <algorithm>
#include <cstdint>

#include "host/api/view3d.h"
#include "host/view/interaction.h"
#include "host/view/locatorDrawing.h"
#include "host/view/projection.h"

namespace host::view {

namespace {

// A triad's axes span about a tenth of its distance to the eye: the same size on screen anywhere.
constexpr double kAxisScale = 0.1;

void drawTriad(const Triad& triad, const MPoint& eye) {
    const MPoint& p = triad.point;
    const double length = std::max(1e-6, (p - eye).length() * kAxisScale);
    glLineWidth(2.0f);
    glBegin(GL_LINES);
    for (int axis = 0; axis < 3; ++axis) {
        glColor3f(axis == 0 ? 1.0f : 0.0f, axis == 1 ? 1.0f : 0.0f, axis == 2 ? 1.0f : 0.0f);
        glVertex3d(p.x, p.y, p.z);
        glVertex3d(p.x + (axis == 0 ? length : 0), p.y + (axis == 1 ? length : 0), p.z + (axis == 2 ? length : 0));
    }
    glEnd();
    glPointSize(6.0f);
    glColor3f(1.0f, 1.0f, 0.0f);
    glBegin(GL_POINTS);
    glVertex3d(p.x, p.y, p.z);
    glEnd();
}

}  // namespace

void drawManipulators(M3dView& view) {
    Interaction& in = interaction();
    const auto containers = in.shownContainers();
    if (containers.empty()) return;
    const ViewProjection projection = currentProjection();
    const MPoint eye = MPoint() * projection.cameraWorld;
    for (MPxManipContainer* container : containers) {
        MDagPath path;
        if (const MObject node = container->connectedNode(); !node.isNull()) MDagPath::getAPathTo(node, path);
        // The container's own drawing is module code: the view's state is saved around it.
        withSavedGlState("manipulator", reinterpret_cast<std::uintptr_t>(container),
                         [&] { container->draw(view, path, view.displayStyle(), M3dView::kActive); });
        // Triads stay in front of the scene, as manipulators do.
        glDisable(GL_LIGHTING);
        glDisable(GL_DEPTH_TEST);
        for (const Triad* triad : in.triadsOf(container))
            if (triad->visible) drawTriad(*triad, eye);
    }
}

}  // namespace host::view
