#include "src/selectContext.h"

#include <new>

#include "host/api/cursor.h"
#include "src/uiScript.h"

SelectZylContext::SelectZylContext() {
    setTitleString(" Zyl interactive selection");
    setImage("zylToolIcon.xpm", MPxContext::kImage1);
}

void SelectZylContext::toolOnSetup(MEvent&) {
    setHelpString("select zyl entities interactively when a zyl window is open");
    setCursor(MCursor::doubleCrossHairCursor);
    savedMode_ = MGlobal::selectionMode();
    if (savedMode_ == MGlobal::kSelectComponentMode)
        savedComponentMask_ = MGlobal::componentSelectionMask();
    else
        savedObjectMask_ = MGlobal::objectSelectionMask();
}

void SelectZylContext::toolOffCleanup() {
    MGlobal::setSelectionMode(savedMode_);
    if (savedMode_ == MGlobal::kSelectComponentMode)
        MGlobal::setComponentSelectionMask(savedComponentMask_);
    else
        MGlobal::setObjectSelectionMask(savedObjectMask_);
}

MStatus SelectZylContext::doPress(MEvent& event) { return beginMarquee(event); }

MStatus SelectZylContext::doHold(MEvent& event) { return dragMarquee(event); }

// A click without a drag gives a rectangle of one point, which the host's screen
// selection resolves to the nearest object. The script's answer is not used.
MStatus SelectZylContext::doRelease(MEvent& event) {
    short top = 0, left = 0, bottom = 0, right = 0;
    releaseMarquee(event, top, left, bottom, right);
    MGlobal::setSelectionMode(MGlobal::kSelectObjectMode);
    MGlobal::setComponentSelectionMask(MSelectionMask(MSelectionMask::kSelectToolComponent));
    MGlobal::selectFromScreen(left, top, right, bottom, MGlobal::kReplaceList, MGlobal::kWireframeSelectMethod);
    MString result;
    MGlobal::executeCommand(uiScript::kSelectPath, result, false, false);
    return MS::kSuccess;
}

void* SelectZylContextCmd::creator() {
    return static_cast<MPxContextCommand*>(new (std::nothrow) SelectZylContextCmd);
}

MPxContext* SelectZylContextCmd::makeObj() { return new SelectZylContext; }
