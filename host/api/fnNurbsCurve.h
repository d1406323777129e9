#pragma once

#include "host/api/fnDagNode.h"
#include "host/api/space.h"

namespace host {
struct CurveGeometry;
}

// Reads a NURBS curve shape (on a path: world space through the path) or curve data.
class MFnNurbsCurve : public MFnDagNode {
public:
    MFnNurbsCurve() = default;
    explicit MFnNurbsCurve(const MObject& object, MStatus* status = nullptr);
    explicit MFnNurbsCurve(const MDagPath& path, MStatus* status = nullptr);
    MStatus setObject(const MObject& object);
    MStatus setObject(const MDagPath& path);

    int numCVs(MStatus* status = nullptr) const;
    int degree(MStatus* status = nullptr) const;
    int numKnots(MStatus* status = nullptr) const;
    MStatus getKnotDomain(double& start, double& end) const;
    MStatus knotDomain(double& start, double& end) const { return getKnotDomain(start, end); }
    MStatus getPointAtParam(double param, MPoint& point, MSpace::Space space = MSpace::kObject) const;
    MStatus getCVs(MPointArray& cvs, MSpace::Space space = MSpace::kObject) const;

private:
    bool curve(host::CurveGeometry& out, MSpace::Space space) const;
    MObject data_;
};
