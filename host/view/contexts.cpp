// The tool base classes: texts, cursor and the marquee.

#include <algorithm>

#include "host/api/pxContext.h"
#include "host/api/pxSelectionContext.h"

const MCursor MCursor::defaultCursor("default");
const MCursor MCursor::crossHairCursor("crossHair");
const MCursor MCursor::doubleCrossHairCursor("doubleCrossHair");

void MPxContext::toolOnSetup(MEvent&) {}
void MPxContext::toolOffCleanup() {}
MStatus MPxContext::doPress(MEvent&) { return MS::kSuccess; }
MStatus MPxContext::doRelease(MEvent&) { return MS::kSuccess; }
MStatus MPxContext::doDrag(MEvent&) { return MS::kSuccess; }
MStatus MPxContext::doHold(MEvent&) { return MS::kSuccess; }

MStatus MPxContext::setTitleString(const MString& title) {
    title_ = title;
    return MS::kSuccess;
}

MStatus MPxContext::setImage(const MString& image, ImageIndex index) {
    if (index < kImage1 || index > kImage3) return MStatus(MS::kInvalidParameter, "no such image slot");
    images_[index] = image;
    return MS::kSuccess;
}

MString MPxContext::image(ImageIndex index) const {
    return index >= kImage1 && index <= kImage3 ? images_[index] : MString();
}

MStatus MPxContext::setHelpString(const MString& help) {
    help_ = help;
    return MS::kSuccess;
}

MStatus MPxContext::setCursor(const MCursor& cursor) {
    cursor_ = cursor;
    return MS::kSuccess;
}

MStatus MPxContext::beginMarquee(const MEvent& event) {
    event.getPosition(startX_, startY_);
    marquee_ = true;
    return MS::kSuccess;
}

// There is no window to draw the rectangle in: a drag only checks that one was begun.
MStatus MPxContext::dragMarquee(const MEvent&) {
    return marquee_ ? MStatus(MS::kSuccess) : MStatus(MS::kFailure, "no marquee begun");
}

MStatus MPxContext::releaseMarquee(const MEvent& event, short& top, short& left, short& bottom, short& right) {
    short x = 0, y = 0;
    event.getPosition(x, y);
    const bool begun = marquee_;
    const short x0 = begun ? startX_ : x, y0 = begun ? startY_ : y;
    marquee_ = false;
    left = std::min(x0, x);
    right = std::max(x0, x);
    bottom = std::min(y0, y);
    top = std::max(y0, y);
    return begun ? MStatus(MS::kSuccess) : MStatus(MS::kFailure, "no marquee begun");
}

MStatus MPxSelectionContext::doPress(MEvent& event) { return beginMarquee(event); }
MStatus MPxSelectionContext::doDrag(MEvent& event) { return dragMarquee(event); }
MStatus MPxSelectionContext::doHold(MEvent& event) { return dragMarquee(event); }

MStatus MPxSelectionContext::doRelease(MEvent& event) {
    short top = 0, left = 0, bottom = 0, right = 0;
    return releaseMarquee(event, top, left, bottom, right);
}
