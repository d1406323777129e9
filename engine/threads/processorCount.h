#pragma once

// Processors this process may run on: the size of its CPU affinity set, or, when that
// cannot be read, the processors online. Never below 1.
int getSystemProcessorCount();
