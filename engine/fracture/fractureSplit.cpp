#include "engine/fracture/fractureBody.h"

// Splitting comes with crack propagation; until then a fracture body stays whole.
void FractureBody::split() {}
