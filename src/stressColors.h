#pragma once

#include "host/api/color.h"

// Hue, saturation and value (each 0 to 1) as an opaque colour, computed in single
// precision.
MColor hsvToRgb(double h, double s, double v);
