#pragma once

#include "host/api/argList.h"
#include "host/api/pxCommand.h"
#include "host/api/status.h"
#include "host/api/syntax.h"

// zylShatterPreview: fills the ShatterLocator under the selected mesh's transform with
// the points a shatter with the same settings would cut with, and with the seeds of
// the mesh's current history. Not undoable.
class shatterLocatorCmd : public MPxCommand {
public:
    static void* creator();
    static MSyntax newSyntax();

    MStatus doIt(const MArgList& args) override;
    bool isUndoable() const override { return false; }
    bool hasSyntax() const override { return true; }
};
