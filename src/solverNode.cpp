#include "src/solverNode.h"

bool displaySelected = true;

bool zylSolverNode::getFitUnits() { return false; }

void zylSolverNode::disableCachedMode() {}
