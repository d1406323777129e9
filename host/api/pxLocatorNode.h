#pragma once

#include "host/api/boundingBox.h"
#include "host/api/pxNode.h"
#include "host/api/view3d.h"

// A module node drawn in the view. The view calls draw with the locator's world
// matrix (times the inverse camera matrix) as model-view and restores GL state after it.
class MPxLocatorNode : public MPxNode {
public:
    Type type() const override { return kLocatorNode; }
    virtual void draw(M3dView& view, const MDagPath& path, M3dView::DisplayStyle style,
                      M3dView::DisplayStatus status) {
        (void)view, (void)path, (void)style, (void)status;
    }
    // A bounded locator's box (object space) takes part in the view's culling and fit.
    virtual bool isBounded() const { return false; }
    virtual MBoundingBox boundingBox() const { return {}; }
    virtual bool excludeAsLocator() const { return false; }
    // Transparent locators draw after the opaque ones, blended, without depth writes.
    virtual bool isTransparent() const { return false; }
};
