#pragma once

#include <vector>

#include "host/api/fnNurbsCurve.h"
#include "host/api/selectionList.h"
#include "math/qmtVector3.h"
#include "src/shatter/seedPatterns.h"

// What the shatter and its preview share in preparing a seed pattern.

// The pattern width: at least the single-precision 0.01.
double patternWidth(double width);

// Attaches the curve function set to the first NURBS curve of the list; false when none.
bool findPathCurve(const MSelectionList& list, MFnNurbsCurve& curve);

// The curve sampled at 4 x its CV count points, handed to the record on success; the
// record borrows the returned array, which must outlive the pattern run.
std::vector<Qmt::QmtVector3> samplePathForPattern(const MFnNurbsCurve& curve, zyl_shatter_params& params);

// The radial pattern keeps at most 300 points per ring: with more, the ring count rises
// to count / 300 and the user is told. Without rings there is nothing to check (the
// pattern then fails on its own).
void limitPointsPerRing(zyl_shatter_params& params, unsigned count);
