#pragma once

#include "host/api/global.h"
#include "host/api/pxContextCommand.h"
#include "host/api/pxSelectionContext.h"
#include "host/api/selectionMask.h"

// The viewport tool that picks objects by click or marquee and hands the selection to
// the user-interface script, which turns it into the entities its open window works on.
// While the tool is on it leaves the host in object mode after each pick; switching it
// off gives back the mode and mask the user had.
class SelectZylContext : public MPxSelectionContext {
public:
    SelectZylContext();

    void toolOnSetup(MEvent& event) override;
    void toolOffCleanup() override;
    MStatus doPress(MEvent& event) override;
    MStatus doRelease(MEvent& event) override;
    MStatus doHold(MEvent& event) override;

private:
    MGlobal::MSelectionMode savedMode_ = MGlobal::kSelectObjectMode;
    // Only the mask of the saved mode's kind is saved and restored.
    MSelectionMask savedComponentMask_;
    MSelectionMask savedObjectMask_;
};

// Makes the tool: `selectZylContext` in MEL.
class SelectZylContextCmd : public MPxContextCommand {
public:
    static void* creator();
    MPxContext* makeObj() override;
};
