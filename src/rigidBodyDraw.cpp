// The rigid-body locator's drawing: its engine body outlined in the viewport.

#include <GL/gl.h>

#include <array>

#include "engine/bodies/hardBody.h"
#include "host/api/fnDagNode.h"
#include "host/api/global.h"
#include "host/api/messages.h"
#include "src/clusterNode.h"
#include "src/fractureBodyNode.h"
#include "src/glDraw.h"
#include "src/nodeHelpers.h"
#include "src/rigidBodyNode.h"
#include "src/solverNode.h"

namespace {

// Loaded first so the drawing nests inside a push of its own.
constexpr float kIdentity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};

// Kind 4 is not an engine body kind; the branch is kept for a hull-like kind.
constexpr int kAutoKind = 4;

using Point = std::array<float, 3>;

struct Colour {
    float r, g, b;
};

// v · M's rotation part (no translation).
MVector rotate(const MVector& v, const MMatrix& m) {
    return {v.x * m[0][0] + v.y * m[1][0] + v.z * m[2][0], v.x * m[0][1] + v.y * m[1][1] + v.z * m[2][1],
            v.x * m[0][2] + v.y * m[1][2] + v.z * m[2][2]};
}

Point toPoint(const MVector& v) {
    return {static_cast<float>(v.x), static_cast<float>(v.y), static_cast<float>(v.z)};
}

// Each face of the body's mesh, its local vertices v drawn at (v + t) · M's rotation.
void drawMeshFaces(const ZYLmesh& mesh, const MVector& t, const MMatrix& m) {
    float buffer[ZYLFACE_MAX_CORNERS][3];
    for (std::uint32_t f = 0; f < mesh.numFaces; ++f) {
        const ZYLface& face = mesh.faces[f];
        const std::uint32_t n = face.numVertices < ZYLFACE_MAX_CORNERS ? face.numVertices : ZYLFACE_MAX_CORNERS;
        for (std::uint32_t k = 0; k < n; ++k) {
            const Qmt::QmtVector3& v = mesh.vertices[face.vertices[k]];
            const Point p = toPoint(rotate(MVector(v.x, v.y, v.z) + t, m));
            for (int c = 0; c < 3; ++c) buffer[k][c] = p[static_cast<std::size_t>(c)];
        }
        if (n == 3)
            drawTriangle(buffer[0], buffer[1], buffer[2]);
        else if (n == 4)
            drawQuad(buffer[0], buffer[1], buffer[2], buffer[3]);
        else
            drawPolygon(buffer, static_cast<int>(n));
    }
}

// The body's capsule as a wire, its core running from end to end about c.
void drawCapsule(const ZYLcapsule& capsule, const MVector& t, const MMatrix& m) {
    const MVector c = rotate(t, m);
    const MVector a = rotate(MVector(capsule.axis.x, capsule.axis.y, capsule.axis.z), m);
    drawWireCapsule(c - a * (capsule.length * 0.5), c + a * (capsule.length * 0.5), capsule.radius);
}

}  // namespace

bool rigidBodyNode::isSelected() const {
    MSelectionList active;
    MGlobal::getActiveSelectionList(active);
    const MObject self = thisMObject();

    // Selected plug-in locators, when there are any, decide alone.
    bool anyLocator = false;
    for (MItSelectionList it(active, MFn::kPluginLocatorNode); !it.isDone(); it.next()) {
        anyLocator = true;
        MObject node;
        it.getDependNode(node);
        if (node == self && hasTypeId(node, id)) return true;
    }
    if (anyLocator) return false;

    for (MItSelectionList it(active, MFn::kTransform); !it.isDone(); it.next()) {
        MObject transform;
        it.getDependNode(transform);
        const MFnDagNode fn(transform);
        for (unsigned i = 0; i < fn.childCount(); ++i) {
            const MObject child = fn.child(i);
            if (child == self && hasTypeId(child, id)) return true;
        }
    }
    return false;
}

void rigidBodyNode::draw(M3dView& view, const MDagPath&, M3dView::DisplayStyle style, M3dView::DisplayStatus) {
    if (style == M3dView::kWireFrame) return;
    if (MConditionMessage::getConditionState("playingBack") || MConditionMessage::getConditionState("busy")) return;
    const FractureBodyNode* owner = getOwner();
    if (owner) {
        const MPlug stresses = MFnDependencyNode(owner->thisMObject()).findPlug("displayStressses");
        if (!stresses.isNull() && stresses.asBool()) return;
    }
    const bool selectedHere = isSelected();
    if (displaySelected && !selectedHere && !(owner && owner->isMemberSelected())) return;
    if (!body_) return;

    view.beginGL();
    glPushAttrib(GL_ALL_ATTRIB_BITS);
    pushGLMatrix(kIdentity);

    // The body's mesh and capsule are local to the body; the locator's matrix already
    // places the body, so they are drawn through the inverse offset only.
    const MMatrix m = offset_.inverse();
    const MVector t(m[3][0], m[3][1], m[3][2]);
    glFrontPolygonMode(1);
    glBackPolygonMode(1);

    const bool isStatic = (body_->flags & BODY_STATIC) != 0;
    Colour colour{};
    if (owner) {
        if (auto* cluster = userNodeAs<clusterFractureNode>(getClusterNode(), clusterFractureNode::id)) {
            colour = cluster->isSelected() ? Colour{1.0f, 0.7f, 0.0f} : Colour{0.7f, 0.4f, 0.0f};
        } else if (owner->isMemberSelected() || selectedHere) {
            colour = isStatic ? Colour{0.0f, 1.0f, 1.0f} : Colour{1.0f, 0.7f, 0.0f};
        } else {
            colour = isStatic ? Colour{0.0f, 0.0f, 1.0f} : Colour{0.7f, 0.4f, 0.0f};
        }
    } else if (selectedHere) {
        colour = isStatic ? Colour{0.0f, 1.0f, 1.0f} : Colour{0.0f, 1.0f, 0.0f};
    } else {
        colour = isStatic ? Colour{0.0f, 0.0f, 1.0f} : Colour{0.0f, 0.5f, 0.0f};
    }
    glSetColor(colour.r, colour.g, colour.b, 1.0f);

    const int kind = body_->getType();
    if (kind == HB_HULL || kind == HB_TRIMESH || kind == kAutoKind) {
        if (const ZYLmesh* mesh = body_->getMesh()) drawMeshFaces(*mesh, t, m);
    } else if (kind == HB_CAPSULE) {
        if (const ZYLcapsule* capsule = body_->computeBboxAndAxis(false)) drawCapsule(*capsule, t, m);
    }

    popGLMatrix();
    glPopAttrib();
    view.endGL();
}
