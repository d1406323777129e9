#pragma once

// Runs one locator's draw the way the view's refresh does, in GL feedback mode,
// and returns what it drew in window coordinates (origin bottom left).

#include <GL/gl.h>

#include <string>
#include <vector>

#include "host/core/runtime.h"
#include "host/scene/dag.h"
#include "host/view/glContext.h"
#include "host/view/locatorDrawing.h"
#include "host/view/projection.h"
#include "host/view/viewState.h"

namespace hosttest {

struct FeedbackVertex {
    double x = 0, y = 0, z = 0;  // window coordinates, depth in 0..1
    float color[4] = {0, 0, 0, 0};
};

struct FeedbackPrimitive {
    GLenum token = 0;  // GL_POINT_TOKEN, GL_LINE_TOKEN (or its reset form), GL_POLYGON_TOKEN, ...
    std::vector<FeedbackVertex> vertices;
};

// The view when there is one; the reason for a skip otherwise.
inline bool haveView(std::string& why) {
    if (host::view::currentContext()) return true;
    why = "no OpenGL view (EGL): " + host::view::contextFailure();
    return false;
}

// The primitives of a GL_3D_COLOR feedback buffer holding `count` values.
inline std::vector<FeedbackPrimitive> readFeedback(const std::vector<GLfloat>& buffer, GLint count) {
    std::vector<FeedbackPrimitive> out;
    auto vertex = [&](GLint& i) {
        FeedbackVertex v;
        v.x = buffer[static_cast<std::size_t>(i++)];
        v.y = buffer[static_cast<std::size_t>(i++)];
        v.z = buffer[static_cast<std::size_t>(i++)];
        for (float& c : v.color) c = buffer[static_cast<std::size_t>(i++)];
        return v;
    };
    for (GLint i = 0; i < count;) {
        FeedbackPrimitive p;
        p.token = static_cast<GLenum>(buffer[static_cast<std::size_t>(i++)]);
        int vertices = 0;
        switch (p.token) {
            case GL_POINT_TOKEN: case GL_BITMAP_TOKEN: case GL_DRAW_PIXEL_TOKEN: case GL_COPY_PIXEL_TOKEN: vertices = 1; break;
            case GL_LINE_TOKEN: case GL_LINE_RESET_TOKEN: vertices = 2; break;
            case GL_POLYGON_TOKEN: vertices = static_cast<int>(buffer[static_cast<std::size_t>(i++)]); break;
            case GL_PASS_THROUGH_TOKEN: ++i; continue;
            default: return out;  // not a feedback token: stop
        }
        for (int k = 0; k < vertices; ++k) p.vertices.push_back(vertex(i));
        out.push_back(std::move(p));
    }
    return out;
}

// A world point in the view's window coordinates, as the feedback gives them.
inline MPoint windowPoint(const MPoint& p) {
    const host::view::ViewProjection v = host::view::currentProjection();
    const MMatrix clipSpace = v.worldToCamera * v.projection;
    double clip[4];
    for (int k = 0; k < 4; ++k)
        clip[k] = p.x * clipSpace[0][k] + p.y * clipSpace[1][k] + p.z * clipSpace[2][k] + clipSpace[3][k];
    return {(clip[0] / clip[3] + 1) * v.width / 2, (clip[1] / clip[3] + 1) * v.height / 2, 0};
}

// The locator shape's first instance drawn in feedback mode; empty when nothing was drawn.
inline std::vector<FeedbackPrimitive> feedbackDraw(const std::string& shapeName) {
    host::Node* n = host::runtime().scene.findByName(shapeName);
    if (!n || !n->user || n->user->type() != MPxNode::kLocatorNode || !host::view::currentContext()) return {};
    const host::view::ViewProjection projection = host::view::currentProjection();
    glViewport(0, 0, projection.width, projection.height);
    std::vector<GLfloat> buffer(1 << 16);
    glFeedbackBuffer(static_cast<GLsizei>(buffer.size()), GL_3D_COLOR, buffer.data());
    glRenderMode(GL_FEEDBACK);
    M3dView view = M3dView::active3dView();
    host::view::drawLocator(view, projection, host::dag::pathsTo(n->id).front(), *static_cast<MPxLocatorNode*>(n->user.get()));
    return readFeedback(buffer, glRenderMode(GL_RENDER));
}

}  // namespace hosttest
