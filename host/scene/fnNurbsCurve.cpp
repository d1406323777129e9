#include "host/api/fnNurbsCurve.h"

#include "host/core/runtime.h"
#include "host/scene/curveData.h"

using host::runtime;

namespace {

MStatus noCurve() { return MStatus(MS::kInvalidParameter, "not a curve"); }

}  // namespace

MFnNurbsCurve::MFnNurbsCurve(const MObject& object, MStatus* status) {
    const MStatus st = setObject(object);
    if (status) *status = st;
}

MFnNurbsCurve::MFnNurbsCurve(const MDagPath& path, MStatus* status) {
    const MStatus st = setObject(path);
    if (status) *status = st;
}

MStatus MFnNurbsCurve::setObject(const MObject& object) {
    data_ = MObject();
    if (object.kind() == MObject::Kind::Data) {
        if (!object.hasFn(MFn::kNurbsCurveData)) return noCurve();
        data_ = object;
        return MS::kSuccess;
    }
    if (!object.hasFn(MFn::kNurbsCurve)) return noCurve();
    return MFnDagNode::setObject(object);
}

MStatus MFnNurbsCurve::setObject(const MDagPath& path) {
    data_ = MObject();
    if (!path.hasFn(MFn::kNurbsCurve)) return noCurve();
    return MFnDagNode::setObject(path);
}

bool MFnNurbsCurve::curve(host::CurveGeometry& out, MSpace::Space space) const {
    if (data_.kind() == MObject::Kind::Data) {
        out = static_cast<const host::CurveData&>(*data_.data()).geometry;
        return true;
    }
    if (!object().hasFn(MFn::kNurbsCurve)) return false;
    const MPlug local = findPlug("local");
    MObject d;
    if (!local.getValue(d) || d.isNull()) return false;
    out = static_cast<const host::CurveData&>(*d.data()).geometry;
    if (space == MSpace::kWorld) {
        const MMatrix m = path_.inclusiveMatrix();
        for (auto& cv : out.cvs) {
            const MPoint p = MPoint(cv[0], cv[1], cv[2]) * m;
            cv = {p.x, p.y, p.z};
        }
    }
    return true;
}

int MFnNurbsCurve::numCVs(MStatus* status) const {
    host::CurveGeometry c;
    const bool ok = curve(c, MSpace::kObject);
    if (status) *status = ok ? MStatus(MS::kSuccess) : noCurve();
    return static_cast<int>(c.cvs.size());
}

int MFnNurbsCurve::degree(MStatus* status) const {
    host::CurveGeometry c;
    const bool ok = curve(c, MSpace::kObject);
    if (status) *status = ok ? MStatus(MS::kSuccess) : noCurve();
    return c.degree;
}

int MFnNurbsCurve::numKnots(MStatus* status) const {
    host::CurveGeometry c;
    const bool ok = curve(c, MSpace::kObject);
    if (status) *status = ok ? MStatus(MS::kSuccess) : noCurve();
    return static_cast<int>(c.knots.size());
}

MStatus MFnNurbsCurve::getKnotDomain(double& start, double& end) const {
    host::CurveGeometry c;
    if (!curve(c, MSpace::kObject)) return noCurve();
    start = c.domainStart();
    end = c.domainEnd();
    return MS::kSuccess;
}

MStatus MFnNurbsCurve::getPointAtParam(double param, MPoint& point, MSpace::Space space) const {
    host::CurveGeometry c;
    if (!curve(c, space)) return noCurve();
    if (param < c.domainStart() || param > c.domainEnd()) return MStatus(MS::kInvalidParameter, "parameter out of range");
    const auto p = c.point(param);
    point = MPoint(p[0], p[1], p[2]);
    return MS::kSuccess;
}

MStatus MFnNurbsCurve::getCVs(MPointArray& cvs, MSpace::Space space) const {
    host::CurveGeometry c;
    if (!curve(c, space)) return noCurve();
    cvs.clear();
    for (const auto& p : c.cvs) cvs.append(MPoint(p[0], p[1], p[2]));
    return MS::kSuccess;
}
