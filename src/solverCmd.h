#pragma once

#include <memory>

#include "host/api/argDatabase.h"
#include "host/api/dgModifier.h"
#include "host/api/pxCommand.h"

// `zylSolver`: answers the scene's solver node, making and wiring one when there is
// none, and switches the world's collision reporting or clears its report. Only a
// call that made the solver has anything to undo.
class SolverCmd : public MPxCommand {
public:
    static void* creator();
    static MSyntax newSyntax();

    MStatus doIt(const MArgList& args) override;
    MStatus redoIt() override;
    // Takes back the solver this call made: the node waits in the modifier until the
    // modifier goes, and the world goes with it.
    MStatus undoIt() override;
    bool isUndoable() const override { return true; }
    bool hasSyntax() const override { return true; }

private:
    // The flag asked for on the solver: reporting on or off, or the report cleared;
    // else its name as the result.
    void applyFlags(const MObject& solver);
    // A new solver node, timed by the scene's time node, with caches for the play range.
    MObject createSolver();

    std::unique_ptr<MArgDatabase> argData_;
    std::unique_ptr<MDGModifier> modifier_;
};
