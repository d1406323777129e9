#pragma once

#include "host/api/fnDagNode.h"

// A force field: uniform (m · dir), gravity (m · dir · mass), radial
// (m · unit(p − c), falling off linearly to zero at maxDistance when that is positive).
class MFnField : public MFnDagNode {
public:
    MFnField() = default;
    explicit MFnField(const MObject& node, MStatus* status = nullptr);
    MStatus setObject(const MObject& node);

    // Resizes and overwrites `forces`, one per point.
    MStatus getForceAtPoint(const MPointArray& points, const MVectorArray& velocities, const MDoubleArray& masses,
                            MVectorArray& forces, double deltaTime = 1.0 / 24.0);
    double magnitude(MStatus* status = nullptr) const;
    MStatus setMagnitude(double m);
};
