#include "src/shatter/shatterLocatorManip.h"

#include <GL/gl.h>

#include "host/api/fnFreePointTriadManip.h"
#include "host/api/plug.h"
#include "src/shatter/shatterLocator.h"

void* ShatterLocatorManip::creator() { return new ShatterLocatorManip; }

MStatus ShatterLocatorManip::createChildren() {
    for (MDagPath& triad : triads_) triad = addFreePointTriadManip("pointManip", "freePoint");
    return MS::kSuccess;
}

MStatus ShatterLocatorManip::connectToDependNode(const MObject& node) {
    if (node.isNull()) return MS::kFailure;
    node_ = node;
    shown_ = MPlug(node, ShatterLocatorNode::numLoc).asInt();
    const MPlug positions(node, ShatterLocatorNode::shatter_pos);
    for (unsigned k = 0; k < kTriads; ++k) {
        MFnFreePointTriadManip triad(triads_[k]);
        if (static_cast<int>(k) < shown_) {
            const MPlug element = positions.elementByLogicalIndex(k);
            triad.connectToPointPlug(element);
            const MPoint at(element.child(0).asDouble(), element.child(1).asDouble(), element.child(2).asDouble());
            triad.setPoint(at);
            startPoints_[k] = at;
            triad.show();
        } else {
            triad.hide();
        }
    }
    const MStatus status = finishAddingManips();
    MPxManipContainer::connectToDependNode(node);
    return status;
}

void ShatterLocatorManip::draw(M3dView& view, const MDagPath& path, M3dView::DisplayStyle style,
                               M3dView::DisplayStatus status) {
    view.beginGL();
    glPushAttrib(GL_CURRENT_BIT);
    MPxManipContainer::draw(view, path, style, status);
    glPopAttrib();
    view.endGL();
}

MStatus ShatterLocatorManip::doRelease() {
    // Reading the flag makes the locator place its points around the moved centres.
    MPlug(node_, ShatterLocatorNode::ca_shatter_pos).asBool();
    return MPxManipContainer::doRelease();
}
