#pragma once

#include <ostream>
#include <string>

#include "host/api/status.h"

namespace host::io {

// Shortest text that reads back as the same double.
std::string number(double v);
// Shortest text that reads back as the same float (mesh points are floats).
std::string number(float v);

// Every visible, non-intermediate mesh instance in world space, one object each.
// Faces of fewer than three corners are left out (a warning counts them); the
// stream form returns their number.
MStatus writeObj(const std::string& path);
int writeObj(std::ostream& out);

// One row per transform (the view camera excepted): frame, node, local
// translate, rotate (radians), scale, world translation.
void writeTransformsHeader(std::ostream& out);
void writeTransformRows(std::ostream& out, double frame);
MStatus writeTransforms(const std::string& path, double frame);

}  // namespace host::io
