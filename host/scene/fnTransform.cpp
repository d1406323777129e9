#include "host/api/fnTransform.h"

#include "host/core/runtime.h"
#include "host/scene/dag.h"
#include "host/scene/transformChannels.h"

using host::runtime;

namespace {

MStatus notTransform() { return MStatus(MS::kInvalidParameter, "not a transform"); }

}  // namespace

MFnTransform::MFnTransform(const MObject& node, MStatus* status) {
    MStatus st = MFnDagNode::setObject(node);
    if (st && !host::dag::hasChannels(node.id())) st = notTransform();
    if (status) *status = st;
}

MFnTransform::MFnTransform(const MDagPath& path, MStatus* status) {
    MStatus st = MFnDagNode::setObject(path);
    if (st && !host::dag::hasChannels(path.node().id())) st = notTransform();
    if (status) *status = st;
}

MObject MFnTransform::create(const MObject& parent, MStatus* status) { return MFnDagNode::create("transform", parent, status); }

MMatrix MFnTransform::parentWorld() const { return path_.exclusiveMatrix(); }

MTransformationMatrix MFnTransform::transformation(MStatus* status) const {
    if (status) *status = host::dag::hasChannels(object().id()) ? MStatus(MS::kSuccess) : notTransform();
    return host::dag::readChannels(object().id());
}

MStatus MFnTransform::set(const MTransformationMatrix& m) { return host::dag::writeChannels(object().id(), m); }

MVector MFnTransform::getTranslation(MSpace::Space space, MStatus* status) const {
    if (status) *status = host::dag::hasChannels(object().id()) ? MStatus(MS::kSuccess) : notTransform();
    if (space == MSpace::kWorld) {
        const MMatrix w = path_.inclusiveMatrix();
        return {w[3][0], w[3][1], w[3][2]};
    }
    return host::dag::readVector(object().id(), "translate");
}

MStatus MFnTransform::setTranslation(const MVector& v, MSpace::Space space) {
    if (space != MSpace::kWorld) return host::dag::writeVector(object().id(), "translate", v);
    return translateBy(v - getTranslation(MSpace::kWorld), MSpace::kWorld);
}

MStatus MFnTransform::translateBy(const MVector& v, MSpace::Space space) {
    // A world move is a parent-space move through the parent's inverse (rotation and scale alike).
    const MVector local = space == MSpace::kWorld ? v * parentWorld().inverse() : v;
    return host::dag::writeVector(object().id(), "translate", host::dag::readVector(object().id(), "translate") + local);
}

MStatus MFnTransform::getRotation(MQuaternion& q, MSpace::Space space) const {
    if (!host::dag::hasChannels(object().id())) return notTransform();
    if (space == MSpace::kWorld) {
        q = MTransformationMatrix(path_.inclusiveMatrix()).rotation();
    } else {
        q = MEulerRotation(host::dag::readVector(object().id(), "rotate")).asQuaternion();
    }
    return MS::kSuccess;
}

MStatus MFnTransform::getRotation(MEulerRotation& e) const {
    if (!host::dag::hasChannels(object().id())) return notTransform();
    e = MEulerRotation(host::dag::readVector(object().id(), "rotate"));
    return MS::kSuccess;
}

MStatus MFnTransform::setRotation(const MQuaternion& q, MSpace::Space space) {
    MQuaternion local = q;
    if (space == MSpace::kWorld) {
        // Local rotation r with r then the parent's rotation p giving q: r = p⁻¹ applied after q.
        const MQuaternion p = MTransformationMatrix(parentWorld()).rotation();
        local = p.inverse() * q;
    }
    return host::dag::writeVector(object().id(), "rotate", local.normal().asEulerRotation().asVector());
}

MStatus MFnTransform::setRotation(const MEulerRotation& e) {
    return host::dag::writeVector(object().id(), "rotate", e.asVector());
}

MStatus MFnTransform::getScale(double scale[3]) const {
    if (!host::dag::hasChannels(object().id())) return notTransform();
    host::dag::readVector(object().id(), "scale").get(scale);
    return MS::kSuccess;
}

MStatus MFnTransform::setScale(const double scale[3]) {
    return host::dag::writeVector(object().id(), "scale", MVector(scale));
}

MPoint MFnTransform::rotatePivot(MSpace::Space space, MStatus* status) const {
    if (status) *status = host::dag::hasChannels(object().id()) ? MStatus(MS::kSuccess) : notTransform();
    const MVector rp = host::dag::readVector(object().id(), "rotatePivot");
    if (space != MSpace::kWorld) return MPoint(rp);
    // The pivot goes through rotation unchanged: its place is rp + rpt + t in the parent.
    const MVector inParent =
        rp + host::dag::readVector(object().id(), "rotatePivotTranslate") + host::dag::readVector(object().id(), "translate");
    return MPoint(inParent) * parentWorld();
}

MStatus MFnTransform::setRotatePivot(const MPoint& p, MSpace::Space space, bool balance) {
    // Pivots are points of the object's own space.
    const MPoint local = space == MSpace::kWorld ? p * path_.inclusiveMatrix().inverse() : p;
    const MVector old = host::dag::readVector(object().id(), "rotatePivot");
    MStatus st = host::dag::writeVector(object().id(), "rotatePivot", MVector(local));
    if (st && balance) {
        // Keep the matrix: (x − Rp)·R + Rp + Rt fixed means Rt grows by d·R − d.
        const MEulerRotation r(host::dag::readVector(object().id(), "rotate"));
        const MVector d = MVector(local) - old;
        const MVector rpt = host::dag::readVector(object().id(), "rotatePivotTranslate") + d * r.asMatrix() - d;
        st = host::dag::writeVector(object().id(), "rotatePivotTranslate", rpt);
    }
    return st;
}

MVector MFnTransform::rotatePivotTranslation(MSpace::Space, MStatus* status) const {
    if (status) *status = host::dag::hasChannels(object().id()) ? MStatus(MS::kSuccess) : notTransform();
    return host::dag::readVector(object().id(), "rotatePivotTranslate");
}

MPoint MFnTransform::scalePivot(MSpace::Space space, MStatus* status) const {
    if (status) *status = host::dag::hasChannels(object().id()) ? MStatus(MS::kSuccess) : notTransform();
    const MPoint sp(host::dag::readVector(object().id(), "scalePivot"));
    return space == MSpace::kWorld ? sp * path_.inclusiveMatrix() : sp;
}

MStatus MFnTransform::setScalePivot(const MPoint& p, MSpace::Space space, bool balance) {
    const MPoint local = space == MSpace::kWorld ? p * path_.inclusiveMatrix().inverse() : p;
    const MVector old = host::dag::readVector(object().id(), "scalePivot");
    MStatus st = host::dag::writeVector(object().id(), "scalePivot", MVector(local));
    if (st && balance) {
        // Keep the matrix: (x − Sp)·S + Sp + St fixed means St grows by d·S − d.
        const MVector s = host::dag::readVector(object().id(), "scale");
        const MVector d = MVector(local) - old;
        const MVector spt = host::dag::readVector(object().id(), "scalePivotTranslate") +
                            MVector(d.x * s.x, d.y * s.y, d.z * s.z) - d;
        st = host::dag::writeVector(object().id(), "scalePivotTranslate", spt);
    }
    return st;
}

MStatus MFnTransform::setRestPosition(const MTransformationMatrix& m) {
    if (!host::dag::hasChannels(object().id())) return notTransform();
    runtime().restPositions[object().id()] = m;
    return MS::kSuccess;
}

MTransformationMatrix MFnTransform::restPosition(MStatus* status) const {
    const auto it = runtime().restPositions.find(object().id());
    if (status) *status = host::dag::hasChannels(object().id()) ? MStatus(MS::kSuccess) : notTransform();
    return it == runtime().restPositions.end() ? MTransformationMatrix() : it->second;
}

MStatus MFnTransform::resetFromRestPosition() {
    if (!host::dag::hasChannels(object().id())) return notTransform();
    return set(restPosition());
}
