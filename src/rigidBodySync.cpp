// Keeping the rigid-body node's engine body and its host transform in step.

#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>

#include "engine/bodies/hardBody.h"
#include "engine/world/engineApi.h"
#include "host/api/fnTransform.h"
#include "host/api/transformationMatrix.h"
#include "math/quaternion.h"
#include "src/bodyShared.h"
#include "src/collisionShapeNode.h"
#include "src/nodeHelpers.h"
#include "src/rigidBodyNode.h"

MPoint rigidBodyNode::worldRotatePivot(const MDagPath& path) {
    MDagPath transform = path;
    transform.pop();
    return MFnTransform(transform).rotatePivot(MSpace::kWorld);
}

void rigidBodyNode::decompose(const MMatrix& m, Vec3f& position, Quatf& rotation) {
    const MTransformationMatrix parts(m);
    const MVector t = parts.getTranslation(MSpace::kTransform);
    const MQuaternion q = parts.rotation();
    position = {toSingle(t.x), toSingle(t.y), toSingle(t.z)};
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
    if (!nodeDagPath(thisMObject(), path)) return;
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

// ---- Frame sync with the solver ---------------------------------------------------

namespace {

constexpr double kMinSquaredSpeed = 1e-5;

Qmt::QmtVector3 toEngine(const MVector& v) { return {v.x, v.y, v.z}; }

}  // namespace

void rigidBodyNode::showVelocities() {
    const RBDynamics& state = body_->getDyn();
    const MPlug linear(thisMObject(), velocity);
    const MPlug angular(thisMObject(), welocity);
    for (int i = 0; i < 3; ++i) {
        linear.child(static_cast<unsigned>(i)).setValue(state.v[i]);
        angular.child(static_cast<unsigned>(i)).setValue(state.w[i]);
    }
}

void rigidBodyNode::placeTransform(const MMatrix& pose) {
    MFnTransform transform;
    if (!transformAbove(thisMObject(), transform)) return;
    const MMatrix world = offset_ * pose;
    decompose(world, posePosition_, poseRotation_);
    // The pivot the body carries goes onto the transform's pivot, and the transform
    // turns about it.
    const MPoint pivot = MPoint(pivot_[0], pivot_[1], pivot_[2]) * pose;
    transform.translateBy(pivot - transform.rotatePivot(MSpace::kWorld), MSpace::kWorld);
    transform.setRotation(MTransformationMatrix(world).rotation(), MSpace::kWorld);
}

void rigidBodyNode::resetToRest() {
    poseRotation_ = targetRotation_ = startRotation_;
    posePosition_ = targetPosition_ = startPosition_;
    if (body_) {
        body_->applyInitialState();
        showVelocities();
    }
    MFnTransform transform;
    if (transformAbove(thisMObject(), transform)) resetFromRest(transform);
}

void rigidBodyNode::captureKinematicTarget() {
    MDagPath path;
    if (nodeDagPath(thisMObject(), path)) decompose(path.exclusiveMatrix(), targetPosition_, targetRotation_);
}

void rigidBodyNode::setKinematicVelocity(double dt, const MTime&, const MTime&) {
    if (!body_) return;
    const Qmt::QmtVector3 v = toEngine((asVector(targetPosition_) - asVector(posePosition_)) / dt);
    body_->setLinearVelocity(v);
    const Qmt::QmtVector3 w = spinBetween(asQuaternion(poseRotation_), asQuaternion(targetRotation_), dt);
    body_->setAngularVelocity(w);
    if (body_->getType() == HB_TRIMESH && (isAnimatedFlag() || isAnimatedAspect(2))) followDeformingMesh(v, w, dt);
}

void rigidBodyNode::followDeformingMesh(const Qmt::QmtVector3& v, const Qmt::QmtVector3& w, double dt) {
    const ZYLmesh* shape = getCollisionMesh();
    if (!shape) return;
    const std::vector<Qmt::QmtVector3> fresh(shape->vertices, shape->vertices + shape->numVertices);
    ZYLmesh* mesh = body_->getMesh();
    if (!mesh) return;
    // The two meshes are meant to match; where they do not, only the vertices they share
    // move, and without any there is nothing to average.
    const std::uint32_t n = std::min(mesh->numVertices, static_cast<std::uint32_t>(fresh.size()));
    if (n == 0 || !mesh->worldVertices || !mesh->vertexVelocities) return;

    const Qmt::QmtVector3 centre = body_->getDyn().position;
    Qmt::QmtVector3 sumV;
    Qmt::QmtVector3 sumL;
    for (std::uint32_t i = 0; i < n; ++i) {
        const Qmt::QmtVector3& old = mesh->worldVertices[i];
        const Qmt::QmtVector3 u = (fresh[i] - old) / dt;
        if (u.SquaredLength() > kMinSquaredSpeed) {
            sumV += u;
            sumL += (old - centre).Cross(u);
        }
        mesh->vertexVelocities[i] = u;
    }
    mesh->velocityFlag = 1;
    // A transform that stands still leaves the motion to the mesh's mean vertex motion.
    if (v.SquaredLength() < kMinSquaredSpeed) body_->setLinearVelocity(sumV / static_cast<double>(n));
    if (w.SquaredLength() < kMinSquaredSpeed) {
        const Qmt::QmtVector3 momentum = sumL * (body_->getMass() / static_cast<double>(n));
        body_->setAngularVelocity(body_->getDyn().invInertiaWorld * momentum);
    }
}

void rigidBodyNode::interpolateKinematic(double s, const MTime&, const MTime&) {
    if (!body_) return;
    const MVector p = blendVectors(asVector(posePosition_), asVector(targetPosition_), s);
    const MQuaternion q = blendRotations(asQuaternion(poseRotation_), asQuaternion(targetRotation_), s);
    placeBody(offset_.inverse() * poseMatrix(q, p));
}

void rigidBodyNode::writeBackTransform() {
    if (!body_) return;
    const RBDynamics& state = body_->getDyn();
    const Qmt::Quaternion& q = state.orientation;
    placeTransform(poseMatrix(MQuaternion(q.X(), q.Y(), q.Z(), q.W()),
                              MVector(state.position.x, state.position.y, state.position.z)));
    showVelocities();
}

void rigidBodyNode::playBackFrame(int k) {
    if (static_cast<std::uint32_t>(k) >= frameCache.count || !body_) return;
    const std::array<double, 3>& p = frameCache.positions[k];
    const std::array<double, 4>& q = frameCache.orientations[k];  // w, x, y, z
    placeTransform(poseMatrix(MQuaternion(q[1], q[2], q[3], q[0]), MVector(p[0], p[1], p[2])));
}

void rigidBodyNode::applyInitialVelocities() {
    if (!body_ || getPassive() != 0) return;
    const auto read = [this](const MObject& attr) {
        return singleVector(MPlug(thisMObject(), attr)).value_or(Qmt::QmtVector3::ZERO);
    };
    body_->setLinearVelocity(read(initialVelocity));
    body_->storeInitialState(2);
    body_->setAngularVelocity(read(initialSpin));
    body_->storeInitialState(4);
}

void rigidBodyNode::releaseBody() {
    if (!body_) return;
    deleteBody(&body_);
    // Writing the collision shape's type back to itself dirties the build flag: the next
    // read of the body builds it again, into whatever world there is then.
    const MObject shape = firstConnectedNode(MPlug(thisMObject(), inCollisionType), ConnectionSide::source);
    if (!hasTypeId(shape, collisionShapeNode::id)) return;
    MPlug type(shape, collisionShapeNode::type);
    type.setValue(type.asInt());
}
