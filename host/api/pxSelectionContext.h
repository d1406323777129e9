#pragma once

#include "host/api/pxContext.h"

// A selection tool: press begins a marquee, drag and hold drag it, release ends it.
class MPxSelectionContext : public MPxContext {
public:
    MStatus doPress(MEvent& event) override;
    MStatus doRelease(MEvent& event) override;
    MStatus doDrag(MEvent& event) override;
    MStatus doHold(MEvent& event) override;
};
