#pragma once

#include "geometry/mesh/meshRecords.h"

// Face copy used when a tessellation pass rebuilds a mesh's face array: the same as
// copyDFmeshFace(source, destination), except that the corner-normal indices are taken
// only from a source that has a normal-index array. Returns the destination.
ZYL_DFface& assignDFmeshFace(ZYL_DFface& destination, const ZYL_DFface& source);
