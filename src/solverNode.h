#pragma once

#include "host/api/pxNode.h"
#include "src/typeIds.h"

// The scene's one solver: it owns the engine world and advances it with the time line.
// Bodies follow its `solver` plug to it for their mass scaling and to drop cached
// play-back when they change.
class zylSolverNode : public MPxNode {
public:
    static constexpr MTypeId id = zylTypes::kSolver;

    // Whether masses and gravity are fitted to the host's unit scale.
    bool getFitUnits();
    // Leaves cached play-back, warning when it was on: the cached frames no longer
    // match the scene.
    void disableCachedMode();
};

// Whether bodies are drawn only while selected: the solver's `ca_displaySelected`
// copies its `displaySelected` here. True from load.
extern bool displaySelected;
