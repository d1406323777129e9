#pragma once

#include "src/commandBase.h"

// `zylSolver`: answers the scene's solver node, making and wiring one when there is
// none, and switches the world's collision reporting or clears its report. Only a
// call that made the solver has anything to undo: undo takes that solver back (the node
// waits in the modifier until the modifier goes, and the world goes with it).
class SolverCmd : public ZylEditCommand<MDGModifier> {
public:
    static void* creator();
    static MSyntax newSyntax();

    MStatus redoIt() override;

private:
    // The flag asked for on the solver: reporting on or off, or the report cleared;
    // else its name as the result.
    void applyFlags(const MObject& solver);
    // A new solver node, timed by the scene's time node, with caches for the play range.
    MObject createSolver();
};
