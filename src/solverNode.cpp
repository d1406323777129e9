#include "src/solverNode.h"

bool zylSolverNode::getFitUnits() { return false; }

void zylSolverNode::disableCachedMode() {}
