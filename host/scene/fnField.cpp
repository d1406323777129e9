#include "host/api/fnField.h"

#include "host/core/runtime.h"
#include "host/scene/transformChannels.h"

MFnField::MFnField(const MObject& node, MStatus* status) {
    const MStatus st = setObject(node);
    if (status) *status = st;
}

MStatus MFnField::setObject(const MObject& node) {
    if (!node.hasFn(MFn::kField)) return MStatus(MS::kInvalidParameter, "not a field");
    return MFnDagNode::setObject(node);
}

double MFnField::magnitude(MStatus* status) const { return findPlug("magnitude").asDouble(MDGContext::fsNormal, status); }

MStatus MFnField::setMagnitude(double m) {
    MPlug p = findPlug("magnitude");
    return p.setValue(m);
}

MStatus MFnField::getForceAtPoint(const MPointArray& points, const MVectorArray&, const MDoubleArray& masses,
                                  MVectorArray& forces, double) {
    const MObject node = object();
    if (!node.hasFn(MFn::kField)) return MStatus(MS::kInvalidParameter, "not a field");
    const double m = magnitude();
    const MVector dir = host::dag::readVector(node.id(), "direction");
    const double maxDistance = findPlug("maxDistance").asDouble();
    const MMatrix world = path_.inclusiveMatrix();
    const MPoint centre(world[3][0], world[3][1], world[3][2]);
    forces.setLength(points.length());
    for (unsigned i = 0; i < points.length(); ++i) {
        MVector f;
        switch (node.apiType()) {
            case MFn::kUniformField: f = dir * m; break;
            case MFn::kGravityField: f = dir * (m * (i < masses.length() ? masses[i] : 1.0)); break;
            case MFn::kRadialField: {
                const MVector d = points[i] - centre;
                const double len = d.length();
                double fall = 1.0;
                if (maxDistance > 0) fall = len < maxDistance ? 1.0 - len / maxDistance : 0.0;
                f = len > 0 ? d / len * (m * fall) : MVector();
                break;
            }
            default: break;
        }
        forces[i] = f;
    }
    return MS::kSuccess;
}
