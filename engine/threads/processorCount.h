#pragma once

// Processors this process may run on: the size of its CPU affinity set, or, when that
// cannot be read, the processors online. Never below 1.
int getSystemProcessorCount();

// Lets tests choose the processor count from which the collision manager derives its
// worker count; n <= 0 clears the choice. Nothing else sees it: getSystemProcessorCount
// keeps reporting the machine.
void setProcessorCountOverride(int n);
// The chosen count, or 0 when none is set.
int getProcessorCountOverride();
