#include "host/view/locatorDrawing.h"

#include <GL/gl.h>

#include <array>
#include <vector>

#include "host/core/runtime.h"
#include "host/view/sceneDrawing.h"
#include "host/view/viewState.h"

namespace host::view {

namespace {

struct StackDepths {
    std::array<GLint, 4> depth{-1, -1, -1, -1};  // model-view, projection, attributes, client attributes
    static constexpr std::array<GLenum, 4> queries{GL_MODELVIEW_STACK_DEPTH, GL_PROJECTION_STACK_DEPTH,
                                                   GL_ATTRIB_STACK_DEPTH, GL_CLIENT_ATTRIB_STACK_DEPTH};
    static constexpr std::array<const char*, 4> names{"model-view matrix", "projection matrix", "attribute",
                                                      "client attribute"};
    static StackDepths read() {
        StackDepths d;
        for (std::size_t i = 0; i < queries.size(); ++i) glGetIntegerv(queries[i], &d.depth[i]);
        return d;
    }
};

void popOne(std::size_t stack) {
    switch (stack) {
        case 0: glMatrixMode(GL_MODELVIEW); glPopMatrix(); break;
        case 1: glMatrixMode(GL_PROJECTION); glPopMatrix(); break;
        case 2: glPopAttrib(); break;
        default: glPopClientAttrib(); break;
    }
}

// Whether the box, through the matrix into clip space, lies wholly outside one clip plane.
bool outsideView(const MBoundingBox& box, const MMatrix& toClip) {
    std::array<int, 6> outside{};
    for (int c = 0; c < 8; ++c) {
        const MPoint lo = box.min(), hi = box.max();
        const double p[3] = {c & 1 ? hi.x : lo.x, c & 2 ? hi.y : lo.y, c & 4 ? hi.z : lo.z};
        double clip[4];
        for (int k = 0; k < 4; ++k) clip[k] = p[0] * toClip[0][k] + p[1] * toClip[1][k] + p[2] * toClip[2][k] + toClip[3][k];
        for (int axis = 0; axis < 3; ++axis) {
            outside[static_cast<std::size_t>(2 * axis)] += clip[axis] < -clip[3];
            outside[static_cast<std::size_t>(2 * axis + 1)] += clip[axis] > clip[3];
        }
    }
    for (const int n : outside)
        if (n == 8) return true;
    return false;
}

}  // namespace

void withSavedGlState(const std::string& who, std::uint64_t key, const std::function<void()>& draw) {
    ViewState& s = state();
    const StackDepths before = StackDepths::read();
    glPushAttrib(GL_ALL_ATTRIB_BITS);
    glPushClientAttrib(GL_CLIENT_ALL_ATTRIB_BITS);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    const int glDepth = s.glDepth;
    const MColor color = s.drawColor;

    draw();

    std::string problems;
    StackDepths after = StackDepths::read();
    if (after.depth[0] < 0) {  // the queries fail inside glBegin
        glEnd();
        after = StackDepths::read();
        problems += ", an unfinished glBegin";
    }
    bool lost[4] = {};
    for (std::size_t i = 0; i < after.depth.size(); ++i) {
        const GLint expected = before.depth[i] + 1;
        if (after.depth[i] == expected) continue;
        problems += std::string(", the ") + StackDepths::names[i] + " stack " + (after.depth[i] > expected ? "+" : "") +
                    std::to_string(after.depth[i] - expected);
        for (GLint d = after.depth[i]; d > expected; --d) popOne(i);
        lost[i] = after.depth[i] < expected;  // the draw popped what the view pushed
    }
    if (s.glDepth != glDepth) {
        problems += ", beginGL " + std::to_string(s.glDepth - glDepth) + " without endGL";
        s.glDepth = glDepth;
    }
    for (std::size_t i = 4; i-- > 0;)
        if (!lost[i]) popOne(i);
    glMatrixMode(GL_MODELVIEW);
    while (glGetError() != GL_NO_ERROR) {
    }
    s.drawColor = color;
    if (!problems.empty() && s.warnedUnbalanced.insert(key).second)
        runtime().log.add(LogKind::Warning, "The draw of '" + who + "' left " + problems.substr(2) + "; repaired.");
}

M3dView::DisplayStatus displayStatus(const dag::Path& path) {
    const auto& selection = runtime().selection;
    for (std::size_t i = selection.size(); i-- > 0;)
        for (const auto id : path)
            if (selection[i] == id) return i + 1 == selection.size() ? M3dView::kLead : M3dView::kActive;
    return M3dView::kDormant;
}

void drawLocator(M3dView& view, const ViewProjection& projection, const dag::Path& path, MPxLocatorNode& locator) {
    const MMatrix world = dag::pathMatrix(path, path.size());
    if (locator.isBounded()) {
        const MBoundingBox box = locator.boundingBox();
        if (!box.isEmpty() && outsideView(box, world * projection.worldToCamera * projection.projection)) return;
    }
    const Node* node = runtime().scene.find(path.back());
    const M3dView::DisplayStatus status = displayStatus(path);
    withSavedGlState(node ? node->name : std::string(), path.back(), [&] {
        loadViewMatrices(projection, world);
        locator.draw(view, MDagPath(path), state().style, status);
    });
}

void drawLocators(M3dView& view, const ViewProjection& projection) {
    struct Instance {
        dag::Path path;
        std::uint64_t id;
    };
    std::vector<Instance> opaque, transparent;
    Scene& scene = runtime().scene;
    for (const auto id : scene.nodeIds()) {
        const Node* n = scene.find(id);
        if (!n || !n->user || n->user->type() != MPxNode::kLocatorNode) continue;
        const bool clear = static_cast<const MPxLocatorNode*>(n->user.get())->isTransparent();
        for (auto& path : dag::pathsTo(id))
            if (!dag::hidden(path)) (clear ? transparent : opaque).push_back({std::move(path), id});
    }
    // A draw may delete nodes: each one is looked up again just before it draws.
    auto drawAll = [&](const std::vector<Instance>& list) {
        for (const auto& item : list) {
            const Node* n = scene.find(item.id);
            if (n && n->user && n->user->type() == MPxNode::kLocatorNode)
                drawLocator(view, projection, item.path, *static_cast<MPxLocatorNode*>(n->user.get()));
        }
    };
    drawAll(opaque);
    if (transparent.empty()) return;
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glDepthMask(GL_FALSE);
    drawAll(transparent);
    glDepthMask(GL_TRUE);
    glDisable(GL_BLEND);
}

}  // namespace host::view
