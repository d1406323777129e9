// Keeping the rigid-body node's engine body and its host transform in step.

#include "engine/bodies/hardBody.h"
#include "host/api/fnTransform.h"
#include "host/api/transformationMatrix.h"
#include "src/nodeHelpers.h"
#include "src/rigidBodyNode.h"

bool rigidBodyNode::dagPath(MDagPath& path) const {
    const MStatus status = MDagPath::getAPathTo(thisMObject(), path);
    if (!status) printHostError(status, "retrieven dagPath of rigid node");
    return static_cast<bool>(status);
}

MPoint rigidBodyNode::worldRotatePivot(const MDagPath& path) {
    MDagPath transform = path;
    transform.pop();
    return MFnTransform(transform).rotatePivot(MSpace::kWorld);
}

MMatrix rigidBodyNode::bodyMatrix() const {
    const RBDynamics& state = body_->getDyn();
    const Qmt::Quaternion& q = state.orientation;
    MTransformationMatrix pose;
    const double scale[3] = {body_->transform.scale.x, body_->transform.scale.y, body_->transform.scale.z};
    pose.setScale(scale);
    pose.rotateTo(MQuaternion(q.X(), q.Y(), q.Z(), q.W()));
    pose.setTranslation(MVector(state.position.x, state.position.y, state.position.z));
    return pose.asMatrix();
}

void rigidBodyNode::decompose(const MMatrix& m, Vec3f& position, Quatf& rotation) {
    const MTransformationMatrix parts(m);
    const MVector t = parts.getTranslation(MSpace::kTransform);
    const MQuaternion q = parts.rotation();
    position = {static_cast<float>(t.x), static_cast<float>(t.y), static_cast<float>(t.z)};
    rotation = {static_cast<float>(q.x), static_cast<float>(q.y), static_cast<float>(q.z), static_cast<float>(q.w)};
}

void rigidBodyNode::placeBody(const MMatrix& pose) {
    Vec3f b;
    Quatf r;
    decompose(pose, b, r);
    body_->setPosition(Qmt::QmtVector3(b[0], b[1], b[2]));
    body_->setOrientation(Qmt::Quaternion(r[3], r[0], r[1], r[2]));
}

void rigidBodyNode::readAnimatedTransform(const MTime&, bool refreshMesh) {
    if (!body_) return;
    MDagPath path;
    if (!dagPath(path)) return;
    const MMatrix w = path.exclusiveMatrix();
    decompose(w, posePosition_, poseRotation_);
    placeBody(offset_.inverse() * w);
    if (refreshMesh || isAnimatedFlag() || isAnimatedAspect(2)) updateBodyMesh();
}

void rigidBodyNode::setRestFromCurrent(const MTime& time) {
    if (body_) {
        readAnimatedTransform(time, false);
        body_->storeInitialState(1);
    }
    startPosition_ = posePosition_;
    startRotation_ = poseRotation_;
    MDagPath path;
    if (!MDagPath::getAPathTo(thisMObject(), path)) return;
    path.pop();
    MFnTransform transform(path);
    transform.setRestPosition(transform.transformation());
}
