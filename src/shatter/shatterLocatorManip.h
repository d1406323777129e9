#pragma once

#include "host/api/dagPath.h"
#include "host/api/object.h"
#include "host/api/pxManipContainer.h"
#include "host/api/status.h"
#include "host/api/vectors.h"

// The shatter preview's manipulator: up to five free-point triads on the pattern's
// centres (shatter_pos). As many are shown as the locator's numLoc says; letting one go
// makes the locator place its points again.
class ShatterLocatorManip : public MPxManipContainer {
public:
    static constexpr unsigned kTriads = 5;

    static void* creator();

    MStatus createChildren() override;
    MStatus connectToDependNode(const MObject& node) override;
    void draw(M3dView& view, const MDagPath& path, M3dView::DisplayStyle style,
              M3dView::DisplayStatus status) override;
    MStatus doRelease() override;

private:
    MDagPath triads_[kTriads];
    int shown_ = 0;
    MPoint startPoints_[kTriads];
    MObject node_;
};
