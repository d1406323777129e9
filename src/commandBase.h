#pragma once

#include <memory>

#include "host/api/argDatabase.h"
#include "host/api/dagModifier.h"
#include "host/api/pxCommand.h"
#include "host/api/selectionList.h"

// The shape most of the module's scene-editing commands share: doIt parses the
// arguments against the command's syntax and runs redoIt; every edit goes through one
// DAG modifier made on first use; undo puts back the selection the command worked on
// and then reverts the modifier. Edits made outside the modifier stay.
class ZylCommandBase : public MPxCommand {
public:
    // A parse failure is returned as it is; otherwise redoIt's status.
    MStatus doIt(const MArgList& args) override;
    // The stored selection becomes the active one (replacing it), then the modifier's
    // work is reverted and the modifier dropped; a later redo starts a fresh one.
    MStatus undoIt() override;
    bool isUndoable() const override { return true; }
    bool hasSyntax() const override { return true; }

protected:
    const MArgDatabase& args() const { return *argData_; }
    // The modifier, made when first asked for.
    MDagModifier& modifier();
    // Bodies are built at the start of the play range, where animated objects rest: when
    // the time is elsewhere and a selected object (or a parent) is animated, the time
    // moves there, with a warning.
    void moveToStartForAnimatedSelection() const;

    MSelectionList selection_;  // the objects the command was given

private:
    std::unique_ptr<MArgDatabase> argData_;
    std::unique_ptr<MDagModifier> modifier_;
};
